// uiprobe: a small console program that looks at Quelmark's windows from outside, with the
// ordinary window calls, for the layout checks under Wine.
//
//   uiprobe wait CAPTION SECONDS   wait until a visible Quelmark window has this caption
//   uiprobe gone CAPTION SECONDS   wait until no visible Quelmark window has this caption
//   uiprobe dump CAPTION           the window, its menu and every control (see Dump)
//   uiprobe rect CAPTION           the window's screen rectangle: left top width height
//   uiprobe menu CAPTION ITEM      choose the menu item with this caption
//   uiprobe command CAPTION ID     send the menu command ID (Wine does not share a program's
//                                  menus with other processes; the program numbers its menu
//                                  commands from 1000 in menu order)
//   uiprobe click CAPTION TEXT     press the button with this text
//   uiprobe owner CAPTION          the caption of the window's owner, or "none"
//   uiprobe taskbar CAPTION        the captions of the visible top-level windows of the
//                                  window's process that get a task-bar entry (unowned
//                                  without WS_EX_TOOLWINDOW, or WS_EX_APPWINDOW), one a line
//   uiprobe wrap CAPTION N         append a line of N characters (a path, no spaces) to the
//                                  window's text box; prints "lines L hscroll yes|no": the
//                                  box's lines the new line takes and the horizontal scrolling
//   uiprobe fit CAPTION            per control with a caption: the face Wine realises for
//                                  "MS Sans Serif", the text's width in it at 11 px, 11 px bold
//                                  and 13 px bold, and the control's client size:
//                                  fit ID "TEXT" "FACE" W11 W11BOLD W13BOLD WIDTH HEIGHT
//
// Exit status 0 on success, 1 when the window or the item is missing, 2 on bad usage.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/win32/win32.h"
#include "tools/common/windows.h"

namespace {

using tools::ClassOf;
using tools::TextOf;

const char kFormClass[] = "QuelmarkForm";

HWND FindForm(const std::string& caption) {
  return tools::FindTopLevel([&caption](HWND hwnd) {
    return ClassOf(hwnd) == kFormClass && IsWindowVisible(hwnd) && TextOf(hwnd) == caption;
  });
}

// The form's controls in creation order (their identifiers count up as they are made).
std::vector<HWND> Children(HWND form) {
  std::vector<HWND> all = tools::Children(form);
  std::stable_sort(all.begin(), all.end(),
                   [](HWND a, HWND b) { return GetDlgCtrlID(a) < GetDlgCtrlID(b); });
  return all;
}

// Text is printed between double quotes, bytes as they are.
void Quoted(const std::string& text) { std::printf("\"%s\"", text.c_str()); }

void DumpMenu(HMENU menu, int depth) {
  const int n = GetMenuItemCount(menu);
  for (int i = 0; i < n; ++i) {
    char caption[256] = {};
    GetMenuStringA(menu, static_cast<UINT>(i), caption, sizeof caption, MF_BYPOSITION);
    std::printf("menu %d ", depth);
    Quoted(caption);
    std::printf("\n");
    if (HMENU sub = GetSubMenu(menu, i)) DumpMenu(sub, depth + 1);
  }
}

// One line for the window, then one per menu entry, then one per control in layout order:
//   window "CAPTION" client WIDTH HEIGHT
//   menu DEPTH "CAPTION"
//   control ID CLASS "TEXT" LEFT TOP WIDTH HEIGHT visible|hidden enabled|disabled
// Control positions are relative to the client area of the control's parent window.
int Dump(HWND form) {
  RECT client;
  GetClientRect(form, &client);
  std::printf("window ");
  Quoted(TextOf(form));
  std::printf(" client %ld %ld\n", client.right, client.bottom);
  if (HMENU menu = GetMenu(form)) DumpMenu(menu, 0);
  for (HWND c : Children(form)) {
    RECT r;
    GetWindowRect(c, &r);
    MapWindowPoints(nullptr, GetParent(c), reinterpret_cast<POINT*>(&r), 2);
    std::printf("control %d %s ", GetDlgCtrlID(c), ClassOf(c).c_str());
    Quoted(TextOf(c));
    std::printf(" %ld %ld %ld %ld %s %s\n", r.left, r.top, r.right - r.left, r.bottom - r.top,
                IsWindowVisible(c) ? "visible" : "hidden",
                IsWindowEnabled(c) ? "enabled" : "disabled");
  }
  return 0;
}

bool ChooseMenuItem(HWND form, HMENU menu, const std::string& caption) {
  const int n = GetMenuItemCount(menu);
  for (int i = 0; i < n; ++i) {
    if (HMENU sub = GetSubMenu(menu, i)) {
      if (ChooseMenuItem(form, sub, caption)) return true;
      continue;
    }
    char text[256] = {};
    GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
    if (caption == text) {
      PostMessageA(form, WM_COMMAND, MAKEWPARAM(GetMenuItemID(menu, i), 0), 0);
      return true;
    }
  }
  return false;
}

bool WaitFor(const std::string& caption, int seconds, bool present) {
  for (int waited = 0; waited <= seconds * 10; ++waited) {
    if ((FindForm(caption) != nullptr) == present) return true;
    Sleep(100);
  }
  return false;
}

// Top-level windows that show on the task bar, in the system's order.
int Taskbar(HWND form) {
  DWORD pid = 0;
  GetWindowThreadProcessId(form, &pid);
  tools::FindTopLevel([pid](HWND hwnd) {
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if (owner != pid || !IsWindowVisible(hwnd)) return false;
    const LONG_PTR ex = GetWindowLongPtrA(hwnd, GWL_EXSTYLE);
    const bool unowned = GetWindow(hwnd, GW_OWNER) == nullptr;
    if ((ex & WS_EX_APPWINDOW) != 0 || (unowned && (ex & WS_EX_TOOLWINDOW) == 0)) {
      Quoted(TextOf(hwnd));
      std::printf("\n");
    }
    return false;  // every window
  });
  return 0;
}

int Wrap(HWND form, int length) {
  for (HWND c : Children(form)) {
    if (ClassOf(c) != "Edit" && ClassOf(c) != "EDIT") continue;
    std::string line = "C:\\Program Files\\";
    while (line.size() < static_cast<std::size_t>(length)) line += "Carpeta\\";
    line.resize(static_cast<std::size_t>(length));
    const std::string text = "\r\n" + line;
    const LRESULT end = SendMessageA(c, WM_GETTEXTLENGTH, 0, 0);
    SendMessageA(c, EM_SETSEL, static_cast<WPARAM>(end), end);
    SendMessageA(c, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    const LRESULT first = SendMessageA(c, EM_LINEFROMCHAR, static_cast<WPARAM>(end + 2), 0);
    const LRESULT count = SendMessageA(c, EM_GETLINECOUNT, 0, 0);
    const LONG_PTR style = GetWindowLongPtrA(c, GWL_STYLE);
    std::printf("lines %ld hscroll %s\n", static_cast<long>(count - first),
                (style & (WS_HSCROLL | ES_AUTOHSCROLL)) != 0 ? "yes" : "no");
    return 0;
  }
  return 1;
}

// The width of `text` drawn in "MS Sans Serif" of `height` pixels; `face` gets the name of
// the font Wine actually realised (a substitute shows here under its own name).
long TextWidth(HDC dc, const std::string& text, int height, bool bold, bool prefix,
               std::string& face) {
  HFONT font = CreateFontA(-height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                           DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "MS Sans Serif");
  HGDIOBJ old = SelectObject(dc, font);
  char name[LF_FACESIZE + 1] = {};
  GetTextFaceA(dc, sizeof name, name);
  face = name;
  RECT r{0, 0, 0, 0};
  DrawTextA(dc, text.c_str(), -1, &r, DT_CALCRECT | DT_SINGLELINE | (prefix ? 0 : DT_NOPREFIX));
  SelectObject(dc, old);
  DeleteObject(font);
  return r.right;
}

// Another process's font handle means nothing here, so each caption is measured in the
// layouts' fonts: 11 pixels normal and bold, 13 pixels bold.
int Fit(HWND form) {
  HDC dc = GetDC(nullptr);
  for (HWND c : Children(form)) {
    const std::string text = TextOf(c);
    if (text.empty()) continue;
    const bool button = ClassOf(c) == "Button" || ClassOf(c) == "BUTTON";
    std::string face;
    const long normal = TextWidth(dc, text, 11, false, button, face);
    std::string ignored;
    const long bold = TextWidth(dc, text, 11, true, button, ignored);
    const long big = TextWidth(dc, text, 13, true, button, ignored);
    RECT client;
    GetClientRect(c, &client);
    std::printf("fit %d ", GetDlgCtrlID(c));
    Quoted(text);
    std::printf(" ");
    Quoted(face);
    std::printf(" %ld %ld %ld %ld %ld\n", normal, bold, big, client.right, client.bottom);
  }
  ReleaseDC(nullptr, dc);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: uiprobe wait|gone|dump|rect|menu|command|click CAPTION [ARG]\n");
    return 2;
  }
  const std::string command = argv[1];
  const std::string caption = argv[2];
  if (command == "wait" || command == "gone") {
    const int seconds = argc > 3 ? std::atoi(argv[3]) : 10;
    return WaitFor(caption, seconds, command == "wait") ? 0 : 1;
  }
  HWND form = FindForm(caption);
  if (form == nullptr) {
    std::fprintf(stderr, "uiprobe: no visible window \"%s\"\n", caption.c_str());
    return 1;
  }
  if (command == "dump") return Dump(form);
  if (command == "rect") {
    RECT r;
    GetWindowRect(form, &r);
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return 0;
  }
  if (command == "owner") {
    HWND owner = GetWindow(form, GW_OWNER);
    if (owner == nullptr) {
      std::printf("none\n");
    } else {
      Quoted(TextOf(owner));
      std::printf("\n");
    }
    return 0;
  }
  if (command == "taskbar") return Taskbar(form);
  if (command == "fit") return Fit(form);
  if (argc < 4) return 2;
  const std::string target = argv[3];
  if (command == "wrap") return Wrap(form, std::atoi(target.c_str()));
  if (command == "menu") {
    HMENU menu = GetMenu(form);
    return menu != nullptr && ChooseMenuItem(form, menu, target) ? 0 : 1;
  }
  if (command == "command") {
    PostMessageA(form, WM_COMMAND, MAKEWPARAM(std::atoi(target.c_str()), 0), 0);
    return 0;
  }
  if (command == "click") {
    for (HWND c : Children(form)) {
      if (ClassOf(c) == "Button" || ClassOf(c) == "BUTTON") {
        if (TextOf(c) == target) {
          PostMessageA(c, BM_CLICK, 0, 0);
          return 0;
        }
      }
    }
    return 1;
  }
  return 2;
}
