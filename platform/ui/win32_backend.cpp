// The win32 backend: every form is a top-level window and every control a child window, so
// that tools can read captions, rectangles and visibility with the ordinary window calls.
// Labels, pictures, the shape and panels are drawn by the backend itself (their colours and
// fonts change at run time); buttons and the text box are the system's own controls.
//
// Control identifiers follow the layout order from 100 on; menu commands start at 1000.
// Painting: later controls of a layout are drawn over earlier ones; controls that take the
// keyboard focus stand above the others, in their tab order.
#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "platform/raii.h"
#include "platform/ui/backend.h"
#include "platform/ui/ui.h"

namespace ui {

namespace {

struct GdiObjectTraits {
  using type = HGDIOBJ;
  static type invalid() { return nullptr; }
  static void close(type h) { ::DeleteObject(h); }
};
using unique_gdi = qm::unique_handle<GdiObjectTraits>;

const char kFormClass[] = "QuelmarkForm";
const char kPaintClass[] = "QuelmarkControl";
constexpr int kFirstControlId = 100;
constexpr int kFirstMenuId = 1000;

struct FormPeer {
  HWND hwnd = nullptr;
  std::map<int, Control*> controls;
  std::map<int, MenuItem*> menuItems;
  std::vector<unique_gdi> menuBitmaps;  // freed after the window (and its menu) is gone
  int defaultButton = 0;
};

COLORREF Resolve(Color c) {
  return (c & 0x80000000u) ? GetSysColor(static_cast<int>(c & 0xFF)) : static_cast<COLORREF>(c);
}

Color ContainerColor(const Control& c) {
  return c.Parent() != nullptr ? clBtnFace : c.Owner().Spec().color;
}

class Win32Backend final : public Backend {
 public:
  Win32Backend();
  ~Win32Backend() override;

  void FormCreated(Form& form) override;
  void FormDestroyed(Form& form) override;
  void FormShown(Form& form) override;
  void FormHidden(Form& form) override;
  void ControlChanged(Control& control) override;
  void TitleChanged(const std::string&) override {}
  void RunLoop(Application& app) override;
  void ProcessMessages(Application& app) override;
  void Wake() override { PostThreadMessageA(GetCurrentThreadId(), WM_NULL, 0, 0); }
  void* MainWindow() const override { return mainWindow_; }
  std::string LoadResourceBytes(const std::string& name) const override;

  static LRESULT CALLBACK FormProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK PaintProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

 private:
  HFONT FontFor(const Font& font);
  HBRUSH BrushFor(Color c);
  HBITMAP BitmapFor(const Picture& picture);
  void CreateControl(Form& form, FormPeer& peer, Control& control, int id);
  void CreateMenu(Form& form, FormPeer& peer);
  void AppendMenuItems(HMENU menu, const std::vector<std::unique_ptr<MenuItem>>& items,
                       FormPeer& peer, int& nextId);
  void ArrangeZOrder(const Form& form);
  void Dispatch(Application& app, MSG& msg);
  void Paint(Control& control, HDC dc, const RECT& rc);
  void FitLabel(Label& label);
  void HandleCommand(Form& form, WPARAM wParam, LPARAM lParam);
  FormPeer* PeerOf(const Form& form) const;

  HINSTANCE instance_;
  HWND mainWindow_ = nullptr;
  std::map<const Form*, std::unique_ptr<FormPeer>> forms_;
  std::map<std::tuple<std::string, int, bool, bool>, unique_gdi> fonts_;
  std::map<Color, unique_gdi> brushes_;
  bool syncingMemo_ = false;
};

Win32Backend* g_backend = nullptr;

Win32Backend::Win32Backend() : instance_(GetModuleHandleA(nullptr)) {
  g_backend = this;
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = FormProc;
  wc.hInstance = instance_;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hIcon = LoadIconA(instance_, "MAINICON");
  wc.lpszClassName = kFormClass;
  RegisterClassExA(&wc);

  WNDCLASSEXA pc{};
  pc.cbSize = sizeof pc;
  pc.lpfnWndProc = PaintProc;
  pc.hInstance = instance_;
  pc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  pc.lpszClassName = kPaintClass;
  RegisterClassExA(&pc);
}

Win32Backend::~Win32Backend() {
  forms_.clear();
  g_backend = nullptr;
}

FormPeer* Win32Backend::PeerOf(const Form& form) const {
  auto it = forms_.find(&form);
  return it == forms_.end() ? nullptr : it->second.get();
}

HFONT Win32Backend::FontFor(const Font& font) {
  auto key = std::make_tuple(font.name, font.height, font.bold, font.underline);
  auto it = fonts_.find(key);
  if (it != fonts_.end()) return static_cast<HFONT>(it->second.get());
  HFONT f = CreateFontA(-font.height, 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, FALSE,
                        font.underline ? TRUE : FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                        font.name.c_str());
  fonts_.emplace(key, unique_gdi(f));
  return f;
}

HBRUSH Win32Backend::BrushFor(Color c) {
  auto it = brushes_.find(c);
  if (it != brushes_.end()) return static_cast<HBRUSH>(it->second.get());
  HBRUSH b = CreateSolidBrush(Resolve(c));
  brushes_.emplace(c, unique_gdi(b));
  return b;
}

BITMAPINFO DibInfo(const Picture& picture) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = picture.width;
  bi.bmiHeader.biHeight = -picture.height;  // top row first
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  return bi;
}

HBITMAP Win32Backend::BitmapFor(const Picture& picture) {
  if (picture.Empty()) return nullptr;
  BITMAPINFO bi = DibInfo(picture);
  HDC screen = GetDC(nullptr);
  HBITMAP bmp = CreateDIBitmap(screen, &bi.bmiHeader, CBM_INIT, picture.bgrx.data(), &bi,
                               DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  return bmp;
}

DWORD FormStyle(const FormSpec& spec) {
  DWORD style = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  switch (spec.border) {
    case BorderStyle::Single:
      style |= WS_OVERLAPPED;
      break;
    case BorderStyle::Sizeable:
      style |= WS_OVERLAPPED | WS_THICKFRAME;
      break;
    case BorderStyle::Dialog:
      style |= WS_POPUP | DS_MODALFRAME;
      break;
  }
  if (spec.minimizeBox) style |= WS_MINIMIZEBOX;
  if (spec.maximizeBox) style |= WS_MAXIMIZEBOX;
  return style;
}

DWORD FormExStyle(const FormSpec& spec) {
  DWORD ex = WS_EX_CONTROLPARENT;
  if (spec.border == BorderStyle::Dialog) ex |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
  return ex;
}

void Win32Backend::FormCreated(Form& form) {
  auto peer = std::make_unique<FormPeer>();
  const FormSpec& spec = form.Spec();
  const DWORD style = FormStyle(spec);
  const DWORD ex = FormExStyle(spec);
  RECT r{0, 0, spec.width, spec.height};
  if (spec.clientSize) AdjustWindowRectEx(&r, style, form.Menu().empty() ? FALSE : TRUE, ex);
  const int w = r.right - r.left;
  const int h = r.bottom - r.top;
  const int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;

  peer->hwnd = CreateWindowExA(ex, kFormClass, spec.caption.c_str(), style, x, y, w, h, nullptr,
                               nullptr, instance_, &form);
  form.peer = peer->hwnd;
  if (mainWindow_ == nullptr) mainWindow_ = peer->hwnd;
  FormPeer& p = *peer;
  forms_[&form] = std::move(peer);
  if (!form.Menu().empty()) CreateMenu(form, p);
  int id = kFirstControlId;
  for (const auto& c : form.Controls()) CreateControl(form, p, *c, id++);
  ArrangeZOrder(form);
  // With the menu in place the client area can be set exactly.
  if (spec.clientSize) {
    RECT client{0, 0, spec.width, spec.height};
    AdjustWindowRectEx(&client, style, form.Menu().empty() ? FALSE : TRUE, ex);
    SetWindowPos(p.hwnd, nullptr, 0, 0, client.right - client.left, client.bottom - client.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void Win32Backend::CreateControl(Form& form, FormPeer& peer, Control& control, int id) {
  HWND parent = control.Parent() != nullptr ? static_cast<HWND>(control.Parent()->peer)
                                            : peer.hwnd;
  const Bounds& b = control.GetBounds();
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
  if (control.Visible()) style |= WS_VISIBLE;
  if (!control.Enabled()) style |= WS_DISABLED;
  if (control.TakesFocus()) style |= WS_TABSTOP;
  DWORD ex = 0;
  const char* cls = kPaintClass;
  switch (control.Kind()) {
    case ControlKind::Button: {
      cls = "BUTTON";
      const bool isDefault = static_cast<Button&>(control).IsDefault();
      style |= isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
      if (isDefault) peer.defaultButton = id;
      break;
    }
    case ControlKind::Memo:
      cls = "EDIT";
      style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_HSCROLL;
      ex |= WS_EX_CLIENTEDGE;
      break;
    case ControlKind::Panel:
      style |= WS_CLIPCHILDREN;
      ex |= WS_EX_CONTROLPARENT;
      break;
    default:
      break;
  }
  HWND hwnd = CreateWindowExA(ex, cls, control.Caption().c_str(), style, b.left, b.top, b.width,
                              b.height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                              instance_, nullptr);
  SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&control));
  control.peer = hwnd;
  peer.controls[id] = &control;
  if (control.Kind() == ControlKind::Button || control.Kind() == ControlKind::Memo)
    SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(form.Spec().font)), FALSE);
  if (control.Kind() == ControlKind::Memo) {
    SendMessageA(hwnd, EM_SETLIMITTEXT, 0, 0);
    ControlChanged(control);
  }
  if (control.Kind() == ControlKind::Label) FitLabel(static_cast<Label&>(control));
}

// Labels size themselves to their text in their font, from their top-left corner. With the
// fonts the layouts were made for this gives the layouts' sizes; with a substitute font the
// text stays whole.
void Win32Backend::FitLabel(Label& label) {
  HWND hwnd = static_cast<HWND>(label.peer);
  HDC dc = GetDC(hwnd);
  HGDIOBJ old = SelectObject(dc, FontFor(label.GetFont()));
  SIZE size{};
  GetTextExtentPoint32A(dc, label.Caption().c_str(), static_cast<int>(label.Caption().size()),
                        &size);
  SelectObject(dc, old);
  ReleaseDC(hwnd, dc);
  if (size.cx > 0 && size.cy > 0)
    SetWindowPos(hwnd, nullptr, 0, 0, size.cx, size.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Backend::AppendMenuItems(HMENU menu, const std::vector<std::unique_ptr<MenuItem>>& items,
                                   FormPeer& peer, int& nextId) {
  for (const auto& item : items) {
    if (!item->Items().empty()) {
      HMENU sub = CreatePopupMenu();
      AppendMenuItems(sub, item->Items(), peer, nextId);
      AppendMenuA(menu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(sub),
                  item->Caption().c_str());
      continue;
    }
    const int id = nextId++;
    AppendMenuA(menu, MF_STRING, static_cast<UINT_PTR>(id), item->Caption().c_str());
    peer.menuItems[id] = item.get();
    if (HBITMAP bmp = BitmapFor(item->GetPicture())) {
      peer.menuBitmaps.emplace_back(bmp);
      SetMenuItemBitmaps(menu, static_cast<UINT>(id), MF_BYCOMMAND, bmp, bmp);
    }
  }
}

void Win32Backend::CreateMenu(Form& form, FormPeer& peer) {
  HMENU bar = ::CreateMenu();
  int nextId = kFirstMenuId;
  AppendMenuItems(bar, form.Menu(), peer, nextId);
  SetMenu(peer.hwnd, bar);  // the window destroys its menu
}

void Win32Backend::ArrangeZOrder(const Form& form) {
  std::vector<Control*> focusable;
  for (const auto& c : form.Controls()) {
    if (c->TakesFocus())
      focusable.push_back(c.get());
    else
      SetWindowPos(static_cast<HWND>(c->peer), HWND_TOP, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  std::stable_sort(focusable.begin(), focusable.end(),
                   [](Control* a, Control* b) { return a->TabOrder() > b->TabOrder(); });
  for (Control* c : focusable)
    SetWindowPos(static_cast<HWND>(c->peer), HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void Win32Backend::FormDestroyed(Form& form) {
  auto it = forms_.find(&form);
  if (it == forms_.end()) return;
  std::unique_ptr<FormPeer> peer = std::move(it->second);
  forms_.erase(it);
  // The objects behind the windows are going away: no message may reach them any more.
  for (const auto& entry : peer->controls)
    SetWindowLongPtrA(static_cast<HWND>(entry.second->peer), GWLP_USERDATA, 0);
  SetWindowLongPtrA(peer->hwnd, GWLP_USERDATA, 0);
  if (peer->hwnd == mainWindow_) mainWindow_ = nullptr;
  DestroyWindow(peer->hwnd);
  form.peer = nullptr;
}

void Win32Backend::FormShown(Form& form) {
  HWND hwnd = static_cast<HWND>(form.peer);
  ShowWindow(hwnd, SW_SHOW);
  SetForegroundWindow(hwnd);
}

void Win32Backend::FormHidden(Form& form) {
  ShowWindow(static_cast<HWND>(form.peer), SW_HIDE);
  Form* main = form.App().MainForm();
  if (main != nullptr && main != &form && main->Visible())
    SetForegroundWindow(static_cast<HWND>(main->peer));
}

std::string WindowText(HWND hwnd) {
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(hwnd)) + 1, '\0');
  text.resize(static_cast<std::size_t>(GetWindowTextA(hwnd, &text[0], static_cast<int>(text.size()))));
  return text;
}

void Win32Backend::ControlChanged(Control& control) {
  HWND hwnd = static_cast<HWND>(control.peer);
  if (hwnd == nullptr) return;
  if (control.Kind() == ControlKind::Memo) {
    const std::string text = static_cast<Memo&>(control).Text();
    if (WindowText(hwnd) != text) {
      syncingMemo_ = true;
      SetWindowTextA(hwnd, text.c_str());
      syncingMemo_ = false;
    }
  } else if (WindowText(hwnd) != control.Caption()) {
    SetWindowTextA(hwnd, control.Caption().c_str());
    if (control.Kind() == ControlKind::Label) FitLabel(static_cast<Label&>(control));
  }
  const bool shown = (GetWindowLongA(hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
  if (shown != control.Visible()) ShowWindow(hwnd, control.Visible() ? SW_SHOWNA : SW_HIDE);
  if ((IsWindowEnabled(hwnd) != FALSE) != control.Enabled())
    EnableWindow(hwnd, control.Enabled() ? TRUE : FALSE);
  InvalidateRect(hwnd, nullptr, TRUE);
}

void Win32Backend::Paint(Control& control, HDC dc, const RECT& rc) {
  switch (control.Kind()) {
    case ControlKind::Label: {
      auto& label = static_cast<Label&>(control);
      const Color back =
          label.Background() == LabelBackground::White ? clWhite : ContainerColor(control);
      FillRect(dc, &rc, BrushFor(back));
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, Resolve(label.GetFont().color));
      HGDIOBJ old = SelectObject(dc, FontFor(label.GetFont()));
      RECT text = rc;
      DrawTextA(dc, label.Caption().c_str(), -1, &text, DT_LEFT | DT_TOP | DT_SINGLELINE);
      SelectObject(dc, old);
      break;
    }
    case ControlKind::Image: {
      auto& image = static_cast<Image&>(control);
      FillRect(dc, &rc, BrushFor(image.Backdrop()));
      const Picture& pic = image.GetPicture();
      if (pic.Empty()) break;
      BITMAPINFO bi = DibInfo(pic);
      const int w = image.Stretch() ? rc.right : pic.width;
      const int h = image.Stretch() ? rc.bottom : pic.height;
      SetStretchBltMode(dc, HALFTONE);
      SetBrushOrgEx(dc, 0, 0, nullptr);
      StretchDIBits(dc, 0, 0, w, h, 0, 0, pic.width, pic.height, pic.bgrx.data(), &bi,
                    DIB_RGB_COLORS, SRCCOPY);
      break;
    }
    case ControlKind::Shape:
      FillRect(dc, &rc, BrushFor(clWhite));
      FrameRect(dc, &rc, BrushFor(clBlack));
      break;
    case ControlKind::Panel: {
      FillRect(dc, &rc, BrushFor(clBtnFace));
      RECT edge = rc;
      DrawEdge(dc, &edge, BDR_SUNKENOUTER | BDR_RAISEDINNER, BF_RECT);
      break;
    }
    default:
      break;
  }
}

void Win32Backend::HandleCommand(Form& form, WPARAM wParam, LPARAM lParam) {
  FormPeer* peer = PeerOf(form);
  if (peer == nullptr) return;
  Application& app = form.App();
  const int id = LOWORD(wParam);
  const int code = HIWORD(wParam);
  if (lParam != 0) {
    auto* control = reinterpret_cast<Control*>(
        GetWindowLongPtrA(reinterpret_cast<HWND>(lParam), GWLP_USERDATA));
    if (control == nullptr) return;
    if (control->Kind() == ControlKind::Button && code == BN_CLICKED) {
      app.DeliverClick(*control);
    } else if (control->Kind() == ControlKind::Memo && code == EN_CHANGE && !syncingMemo_) {
      static_cast<Memo*>(control)->TextEditedByUser(WindowText(reinterpret_cast<HWND>(lParam)));
    }
    return;
  }
  if (id == IDOK && peer->defaultButton != 0) {
    app.DeliverClick(*peer->controls[peer->defaultButton]);
    return;
  }
  auto item = peer->menuItems.find(id);
  if (item != peer->menuItems.end()) app.DeliverMenuClick(*item->second);
}

Form* FormOf(HWND hwnd) {
  return reinterpret_cast<Form*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

void FocusFirstControl(Form& form) {
  Control* first = nullptr;
  for (const auto& c : form.Controls())
    if (c->TakesFocus() && c->Enabled() && c->Visible() &&
        (first == nullptr || c->TabOrder() < first->TabOrder()))
      first = c.get();
  if (first != nullptr) SetFocus(static_cast<HWND>(first->peer));
}

LRESULT CALLBACK Win32Backend::FormProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
  Form* form = FormOf(hwnd);
  if (form == nullptr || g_backend == nullptr) return DefWindowProcA(hwnd, msg, wParam, lParam);
  switch (msg) {
    case WM_ERASEBKGND: {
      RECT rc;
      GetClientRect(hwnd, &rc);
      FillRect(reinterpret_cast<HDC>(wParam), &rc, g_backend->BrushFor(form->Spec().color));
      return 1;
    }
    case WM_COMMAND:
      g_backend->HandleCommand(*form, wParam, lParam);
      return 0;
    case DM_GETDEFID: {
      FormPeer* peer = g_backend->PeerOf(*form);
      if (peer == nullptr || peer->defaultButton == 0) return 0;
      return MAKELRESULT(peer->defaultButton, DC_HASDEFID);
    }
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE) {
        FocusFirstControl(*form);
        form->App().DeliverActivate(*form);
      }
      return 0;
    case WM_CLOSE:
      form->App().DeliverCloseRequest(*form);
      return 0;
    case WM_HELP:
      if (reinterpret_cast<const HELPINFO*>(lParam)->iContextType == HELPINFO_MENUITEM) {
        form->App().DeliverMenuHelp();
        return TRUE;
      }
      return DefWindowProcA(hwnd, msg, wParam, lParam);
    default:
      return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
}

LRESULT CALLBACK Win32Backend::PaintProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* control = reinterpret_cast<Control*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (control == nullptr || g_backend == nullptr) return DefWindowProcA(hwnd, msg, wParam, lParam);
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT rc;
      GetClientRect(hwnd, &rc);
      g_backend->Paint(*control, dc, rc);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_MOUSEMOVE:
      control->Owner().App().DeliverMouseMove(*control);
      return 0;
    case WM_LBUTTONUP:
      control->Owner().App().DeliverClick(*control);
      return 0;
    case WM_SETCURSOR:
      if (control->Kind() == ControlKind::Label && static_cast<Label*>(control)->HandCursor()) {
        SetCursor(LoadCursor(nullptr, IDC_HAND));
        return TRUE;
      }
      return DefWindowProcA(hwnd, msg, wParam, lParam);
    case WM_COMMAND:  // from controls inside a panel
      g_backend->HandleCommand(control->Owner(), wParam, lParam);
      return 0;
    default:
      return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
}

void Win32Backend::Dispatch(Application& app, MSG& msg) {
  Message m;
  m.window = msg.hwnd;
  m.id = msg.message;
  m.wParam = msg.wParam;
  m.lParam = msg.lParam;
  if (app.RunMessageHooks(m)) return;
  if (msg.hwnd != nullptr) {
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    char cls[64] = {};
    GetClassNameA(root, cls, sizeof cls);
    if (std::string(cls) == kFormClass && IsDialogMessageA(root, &msg)) return;
  }
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
}

void Win32Backend::RunLoop(Application& app) {
  MSG msg;
  while (!app.Terminated()) {
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) {
      app.Terminate();
      break;
    }
    Dispatch(app, msg);
  }
}

void Win32Backend::ProcessMessages(Application& app) {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      app.Terminate();
      break;
    }
    Dispatch(app, msg);
  }
}

std::string Win32Backend::LoadResourceBytes(const std::string& name) const {
  HRSRC res = FindResourceA(instance_, name.c_str(), MAKEINTRESOURCEA(10) /* RT_RCDATA */);
  if (res == nullptr) return {};
  HGLOBAL data = LoadResource(instance_, res);
  const void* bytes = data != nullptr ? LockResource(data) : nullptr;
  if (bytes == nullptr) return {};
  return std::string(static_cast<const char*>(bytes), SizeofResource(instance_, res));
}

}  // namespace

std::unique_ptr<Backend> MakeDefaultBackend() { return std::make_unique<Win32Backend>(); }

}  // namespace ui
