// qmdriver: drives Quelmark's windows from another process, as a user would, for the
// interactive end-to-end scenario. Windows are found by their caption, controls by their
// window class and text, so the driver depends on nothing but what a user sees.
//
//   qmdriver wait-window CAPTION SECONDS     a visible top-level window with this caption
//   qmdriver wait-gone CAPTION SECONDS       no visible top-level window with this caption
//   qmdriver click CAPTION TEXT              click the button TEXT (posted: a click handler
//                                            that runs a whole cleanup must not block us)
//   qmdriver wait-enabled CAPTION TEXT SECONDS
//                                            the button TEXT exists and is enabled
//   qmdriver buttons CAPTION                 one line per button: text, enabled, visible
//   qmdriver marks CAPTION                   the mark of each stage line: Ok, Fallo or none
//   qmdriver text CAPTION                    the text of the window's edit box, raw bytes
//   qmdriver message CAPTION                 the text of a message box
//   qmdriver answer CAPTION ID               press the message box button with this id
//                                            (1 OK, 2 Cancel)
//   qmdriver close CAPTION                   ask the window to close (WM_CLOSE)
//   qmdriver rect CAPTION                    the window's screen rectangle: X Y WIDTH HEIGHT
//
// Exit status: 0 done, 1 not found or timed out (reason on standard error), 2 usage.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/win32.h"
#include "tools/common/windows.h"

namespace {

using tools::Children;
using tools::ClassOf;
using tools::TextOf;

std::string SentText(HWND w) {
  DWORD_PTR len = 0;
  if (!::SendMessageTimeoutA(w, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 10000, &len))
    return "";
  std::string text(len + 1, '\0');
  DWORD_PTR got = 0;
  if (!::SendMessageTimeoutA(w, WM_GETTEXT, len + 1, reinterpret_cast<LPARAM>(&text[0]),
                             SMTO_ABORTIFHUNG, 10000, &got))
    return "";
  text.resize(got);
  return text;
}

bool EqualsNoCase(const std::string& a, const char* b) { return _stricmp(a.c_str(), b) == 0; }

// A visible top-level window with this caption. A visible window of no size (an
// application's taskbar window) is not what a user sees.
HWND FindTop(const std::string& caption) {
  return tools::FindTopLevel([&caption](HWND w) {
    RECT r{};
    ::GetWindowRect(w, &r);
    const bool hasSize = r.right > r.left && r.bottom > r.top;
    return ::IsWindowVisible(w) && hasSize && TextOf(w) == caption;
  });
}

HWND FindButton(HWND top, const std::string& text) {
  for (HWND c : Children(top))
    if (EqualsNoCase(ClassOf(c), "Button") && TextOf(c) == text) return c;
  return nullptr;
}

HWND FindEdit(HWND top) {
  for (HWND c : Children(top)) {
    std::string cls = ClassOf(c);
    if (EqualsNoCase(cls, "Edit") || cls.find("Edit") != std::string::npos ||
        cls.find("EDIT") != std::string::npos)
      return c;
  }
  return nullptr;
}

int Fail(const std::string& why) {
  std::fprintf(stderr, "qmdriver: %s\n", why.c_str());
  return 1;
}

void Out(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

template <typename Ready>
bool WaitFor(double seconds, Ready ready) {
  for (DWORD waited = 0;; waited += 100) {
    if (ready()) return true;
    if (waited >= seconds * 1000) return false;
    ::Sleep(100);
  }
}

// Samples the 16 x 16 mark area of one stage line and names its colour: the Ok mark is
// green, the Fallo mark red, and an empty place shows the white panel.
const char* MarkAt(HDC dc, POINT origin) {
  int red = 0, green = 0;
  for (int y = 1; y < 16; ++y) {
    for (int x = 2; x < 16; ++x) {
      COLORREF c = ::GetPixel(dc, origin.x + x, origin.y + y);
      if (c == CLR_INVALID) continue;
      int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
      if (r >= 150 && g <= 110 && b <= 110) ++red;
      if (g >= 110 && r <= 110 && b <= 130) ++green;
    }
  }
  if (red >= 8 && red > green) return "Fallo";
  if (green >= 8) return "Ok";
  return "none";
}

int Marks(HWND top) {
  static const struct { const char* stage; int top; } kLines[] = {
      {"services", 33}, {"processes", 59}, {"registry", 85}, {"files", 111}};
  // The screen's pixels are what a user sees, whoever paints the marks (child windows or
  // the form itself).
  HDC dc = ::GetDC(nullptr);
  if (!dc) return Fail("no screen device context");
  for (const auto& line : kLines) {
    POINT p{340, line.top};
    ::ClientToScreen(top, &p);
    std::printf("%s %s\n", line.stage, MarkAt(dc, p));
  }
  ::ReleaseDC(nullptr, dc);
  return 0;
}

int Buttons(HWND top) {
  for (HWND c : Children(top)) {
    if (!EqualsNoCase(ClassOf(c), "Button")) continue;
    Out(TextOf(c));
    std::printf(" | %s | %s\n", ::IsWindowEnabled(c) ? "enabled" : "disabled",
                ::IsWindowVisible(c) ? "visible" : "hidden");
  }
  return 0;
}

// A message box's text is its static control with id 0xFFFF on Windows and on Wine.
int MessageText(HWND box) {
  HWND text = ::GetDlgItem(box, 0xFFFF);
  if (!text) return Fail("the message box has no text control");
  Out(SentText(text));
  return 0;
}

int Run(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string cmd = argv[1];
  const std::string caption = argv[2];
  if (cmd == "wait-window" && argc == 4) {
    return WaitFor(std::atof(argv[3]), [&] { return FindTop(caption) != nullptr; })
               ? 0
               : Fail("no window \"" + caption + "\"");
  }
  if (cmd == "wait-gone" && argc == 4) {
    return WaitFor(std::atof(argv[3]), [&] { return FindTop(caption) == nullptr; })
               ? 0
               : Fail("window \"" + caption + "\" still there");
  }
  HWND top = FindTop(caption);
  if (!top) return Fail("no window \"" + caption + "\"");
  if (cmd == "click" && argc == 4) {
    HWND b = FindButton(top, argv[3]);
    if (!b) return Fail(std::string("no button \"") + argv[3] + "\"");
    ::PostMessageA(b, BM_CLICK, 0, 0);
    return 0;
  }
  if (cmd == "wait-enabled" && argc == 5) {
    return WaitFor(std::atof(argv[4]),
                   [&] {
                     HWND b = FindButton(top, argv[3]);
                     return b && ::IsWindowEnabled(b);
                   })
               ? 0
               : Fail(std::string("button \"") + argv[3] + "\" not enabled");
  }
  if (cmd == "buttons" && argc == 3) return Buttons(top);
  if (cmd == "marks" && argc == 3) return Marks(top);
  if (cmd == "text" && argc == 3) {
    HWND edit = FindEdit(top);
    if (!edit) return Fail("no edit box in \"" + caption + "\"");
    Out(SentText(edit));
    return 0;
  }
  if (cmd == "message" && argc == 3) return MessageText(top);
  if (cmd == "answer" && argc == 4) {
    HWND b = ::GetDlgItem(top, std::atoi(argv[3]));
    if (!b) return Fail(std::string("no button with id ") + argv[3]);
    ::PostMessageA(b, BM_CLICK, 0, 0);
    return 0;
  }
  if (cmd == "close" && argc == 3) {
    ::PostMessageA(top, WM_CLOSE, 0, 0);
    return 0;
  }
  if (cmd == "rect" && argc == 3) {
    RECT r{};
    ::GetWindowRect(top, &r);
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return 0;
  }
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Bytes go out as the system holds them: no CR inserted before LF.
  _setmode(_fileno(stdout), _O_BINARY);
  int rc = Run(argc, argv);
  if (rc == 2) std::fputs("usage: see the comment at the top of tools/driver/driver.cpp\n", stderr);
  std::fflush(stdout);
  return rc;
}
