// The win32 backend: every form is a top-level window and every control a child window, so
// that tools can read captions, rectangles and visibility with the ordinary window calls.
// Labels, pictures, the shape and panels are drawn by the backend itself (their colours and
// fonts change at run time); buttons and the text box are the system's own controls.
//
// Control identifiers follow the layout order from 100 on; menu commands start at 1000.
// Painting: later controls of a layout are drawn over earlier ones; controls that take the
// keyboard focus stand above the others, in their tab order.
//
// The first form is the application's main window and the only one with a task-bar entry:
// every later form is owned by it, so it stays above the main window and hides with it.
// Each window reaches the backend through its own data (GWLP_USERDATA): a form's peer, set
// at WM_NCCREATE, or a control's peer; a window whose object is gone holds null.
#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "platform/exception.h"
#include "platform/raii.h"
#include "platform/ui/backend.h"
#include "platform/ui/ui.h"

namespace ui {

namespace {

using qm::unique_gdi;

class Win32Backend;

const char kFormClass[] = "QuelmarkForm";
const char kPaintClass[] = "QuelmarkControl";
constexpr int kFirstControlId = 100;
constexpr int kFirstMenuId = 1000;

// What a control's window holds in GWLP_USERDATA.
struct ControlPeer {
  Win32Backend* backend;
  Control* control;
};

ControlPeer* ControlPeerOf(HWND hwnd) {
  return reinterpret_cast<ControlPeer*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

// What a form's window holds in GWLP_USERDATA. It owns the window; the bitmaps of the
// window's menu are freed after the window (and its menu) is gone.
struct FormPeer {
  FormPeer(Win32Backend* b, Form* f) : backend(b), form(f) {}
  FormPeer(const FormPeer&) = delete;
  FormPeer& operator=(const FormPeer&) = delete;
  // The objects behind the windows are going away: no message may reach them any more.
  ~FormPeer() {
    for (const auto& entry : controls)
      SetWindowLongPtrA(static_cast<HWND>(entry.second.control->peer), GWLP_USERDATA, 0);
    if (hwnd) SetWindowLongPtrA(hwnd.get(), GWLP_USERDATA, 0);
  }
  HWND Hwnd() const { return hwnd.get(); }

  Win32Backend* backend;
  Form* form;
  std::vector<unique_gdi> menuBitmaps;
  std::map<int, ControlPeer> controls;  // node addresses stay put: the windows point at them
  std::map<int, MenuItem*> menuItems;
  int defaultButton = 0;
  qm::unique_window hwnd;  // destroyed first, while the rest is still whole
};

FormPeer* FormPeerOf(HWND hwnd) {
  return reinterpret_cast<FormPeer*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

// A failed window call: the toolkit's operating-system error with the call's last error.
[[noreturn]] void RaiseLastError() { throw EOSError(GetLastError()); }

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
  Win32Backend(const Win32Backend&) = delete;
  Win32Backend& operator=(const Win32Backend&) = delete;

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
  void RegisterClasses();
  LRESULT FormMessage(FormPeer& peer, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT ControlMessage(Control& control, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  HINSTANCE instance_;
  bool registered_ = false;
  HWND mainWindow_ = nullptr;
  std::map<const Form*, std::unique_ptr<FormPeer>> forms_;
  std::map<std::tuple<std::string, int, bool, bool>, unique_gdi> fonts_;
  std::map<Color, unique_gdi> brushes_;
  bool syncingMemo_ = false;
};

Win32Backend::Win32Backend() : instance_(GetModuleHandleA(nullptr)) {}

// Registered with the first form, so that a failure is raised where the program reports it.
void Win32Backend::RegisterClasses() {
  if (registered_) return;
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = FormProc;
  wc.hInstance = instance_;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hIcon = LoadIconA(instance_, "MAINICON");
  wc.lpszClassName = kFormClass;
  if (RegisterClassExA(&wc) == 0) RaiseLastError();

  WNDCLASSEXA pc{};
  pc.cbSize = sizeof pc;
  pc.lpfnWndProc = PaintProc;
  pc.hInstance = instance_;
  pc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  pc.lpszClassName = kPaintClass;
  if (RegisterClassExA(&pc) == 0) {
    const DWORD error = GetLastError();
    UnregisterClassA(kFormClass, instance_);
    throw EOSError(error);
  }
  registered_ = true;
}

Win32Backend::~Win32Backend() {
  forms_.clear();
  if (registered_) {
    UnregisterClassA(kPaintClass, instance_);
    UnregisterClassA(kFormClass, instance_);
  }
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
  qm::unique_window_dc screen = qm::GetWindowDc(nullptr);
  return CreateDIBitmap(screen.get().dc, &bi.bmiHeader, CBM_INIT, picture.bgrx.data(), &bi,
                        DIB_RGB_COLORS);
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
  RegisterClasses();
  auto peer = std::make_unique<FormPeer>(this, &form);
  const FormSpec& spec = form.Spec();
  const DWORD style = FormStyle(spec);
  const DWORD ex = FormExStyle(spec);
  RECT r{0, 0, spec.width, spec.height};
  if (spec.clientSize) AdjustWindowRectEx(&r, style, form.Menu().empty() ? FALSE : TRUE, ex);
  const int w = r.right - r.left;
  const int h = r.bottom - r.top;
  const int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;

  // A top-level window's parent argument is its owner.
  HWND owner = mainWindow_;
  // WM_NCCREATE stores the peer in the window, which the peer then owns.
  peer->hwnd.reset(CreateWindowExA(ex, kFormClass, spec.caption.c_str(), style, x, y, w, h,
                                   owner, nullptr, instance_, peer.get()));
  if (!peer->hwnd) RaiseLastError();
  FormPeer& p = *peer;
  if (!form.Menu().empty()) CreateMenu(form, p);
  int id = kFirstControlId;
  for (const auto& c : form.Controls()) CreateControl(form, p, *c, id++);
  form.peer = p.Hwnd();
  if (mainWindow_ == nullptr) mainWindow_ = p.Hwnd();
  forms_[&form] = std::move(peer);
  ArrangeZOrder(form);
  // With the menu in place the client area can be set exactly.
  if (spec.clientSize) {
    RECT client{0, 0, spec.width, spec.height};
    AdjustWindowRectEx(&client, style, form.Menu().empty() ? FALSE : TRUE, ex);
    SetWindowPos(p.Hwnd(), nullptr, 0, 0, client.right - client.left, client.bottom - client.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void Win32Backend::CreateControl(Form& form, FormPeer& peer, Control& control, int id) {
  HWND parent = control.Parent() != nullptr ? static_cast<HWND>(control.Parent()->peer)
                                            : peer.Hwnd();
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
      // Long lines wrap at the box's width: a horizontal scroll bar (or ES_AUTOHSCROLL)
      // would turn wrapping off, so the box scrolls vertically only.
      style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL;
      ex |= WS_EX_CLIENTEDGE;
      break;
    case ControlKind::Panel:
      style |= WS_CLIPCHILDREN;
      ex |= WS_EX_CONTROLPARENT;
      break;
    default:
      break;
  }
  ControlPeer& cp = peer.controls.emplace(id, ControlPeer{this, &control}).first->second;
  // The child window is destroyed with its form's window.
  HWND hwnd = CreateWindowExA(ex, cls, control.Caption().c_str(), style, b.left, b.top, b.width,
                              b.height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                              instance_, &cp);
  if (hwnd == nullptr) {
    const DWORD error = GetLastError();
    peer.controls.erase(id);
    throw EOSError(error);
  }
  // The system's own controls know nothing of WM_NCCREATE's parameter: set it here (for the
  // backend's own class, WM_NCCREATE has set the same value already).
  SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&cp));
  control.peer = hwnd;
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
  SIZE size{};
  {
    qm::unique_window_dc dc = qm::GetWindowDc(hwnd);
    if (!dc) return;
    qm::SelectedObject font(dc.get().dc, FontFor(label.GetFont()));
    GetTextExtentPoint32A(dc.get().dc, label.Caption().c_str(),
                          static_cast<int>(label.Caption().size()), &size);
  }
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
  SetMenu(peer.Hwnd(), bar);  // the window destroys its menu
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
  if (peer->Hwnd() == mainWindow_) mainWindow_ = nullptr;
  form.peer = nullptr;
  peer.reset();  // detaches the windows from their objects, then destroys them
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
      qm::SelectedObject font(dc, FontFor(label.GetFont()));
      RECT text = rc;
      DrawTextA(dc, label.Caption().c_str(), -1, &text, DT_LEFT | DT_TOP | DT_SINGLELINE);
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
    ControlPeer* cp = ControlPeerOf(reinterpret_cast<HWND>(lParam));
    if (cp == nullptr) return;
    Control* control = cp->control;
    if (control->Kind() == ControlKind::Button && code == BN_CLICKED) {
      app.DeliverClick(*control);
    } else if (control->Kind() == ControlKind::Memo && code == EN_CHANGE && !syncingMemo_) {
      static_cast<Memo*>(control)->TextEditedByUser(WindowText(reinterpret_cast<HWND>(lParam)));
    }
    return;
  }
  if (id == IDOK && peer->defaultButton != 0) {
    app.DeliverClick(*peer->controls.at(peer->defaultButton).control);
    return;
  }
  auto item = peer->menuItems.find(id);
  if (item != peer->menuItems.end()) app.DeliverMenuClick(*item->second);
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
  FormPeer* peer = FormPeerOf(hwnd);
  if (peer == nullptr) return DefWindowProcA(hwnd, msg, wParam, lParam);
  if (msg == WM_NCDESTROY) {
    // Destroyed by the system (with its owner, say): the peer no longer owns a window.
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    peer->hwnd.release();
    return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
  return peer->backend->FormMessage(*peer, hwnd, msg, wParam, lParam);
}

LRESULT Win32Backend::FormMessage(FormPeer& peer, HWND hwnd, UINT msg, WPARAM wParam,
                                  LPARAM lParam) {
  Form& form = *peer.form;
  switch (msg) {
    case WM_ERASEBKGND: {
      RECT rc;
      GetClientRect(hwnd, &rc);
      FillRect(reinterpret_cast<HDC>(wParam), &rc, BrushFor(form.Spec().color));
      return 1;
    }
    case WM_COMMAND:
      HandleCommand(form, wParam, lParam);
      return 0;
    case DM_GETDEFID:
      if (peer.defaultButton == 0) return 0;
      return MAKELRESULT(peer.defaultButton, DC_HASDEFID);
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE) {
        FocusFirstControl(form);
        form.App().DeliverActivate(form);
      }
      return 0;
    case WM_CLOSE:
      form.App().DeliverCloseRequest(form);
      return 0;
    case WM_HELP:
      if (reinterpret_cast<const HELPINFO*>(lParam)->iContextType == HELPINFO_MENUITEM) {
        form.App().DeliverMenuHelp();
        return TRUE;
      }
      return DefWindowProcA(hwnd, msg, wParam, lParam);
    default:
      return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
}

LRESULT CALLBACK Win32Backend::PaintProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
  ControlPeer* cp = ControlPeerOf(hwnd);
  if (cp == nullptr) return DefWindowProcA(hwnd, msg, wParam, lParam);
  return cp->backend->ControlMessage(*cp->control, hwnd, msg, wParam, lParam);
}

LRESULT Win32Backend::ControlMessage(Control& control, HWND hwnd, UINT msg, WPARAM wParam,
                                     LPARAM lParam) {
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      qm::unique_paint_dc dc = qm::BeginPaintDc(hwnd);
      if (!dc) return 0;
      RECT rc;
      GetClientRect(hwnd, &rc);
      Paint(control, dc.get().dc, rc);
      return 0;
    }
    case WM_GETFONT:  // the font a label is drawn in, for tools that measure its caption
      if (control.Kind() == ControlKind::Label)
        return reinterpret_cast<LRESULT>(FontFor(static_cast<Label&>(control).GetFont()));
      return 0;
    case WM_MOUSEMOVE:
      control.Owner().App().DeliverMouseMove(control);
      return 0;
    case WM_LBUTTONUP:
      control.Owner().App().DeliverClick(control);
      return 0;
    case WM_SETCURSOR:
      if (control.Kind() == ControlKind::Label && static_cast<Label&>(control).HandCursor()) {
        SetCursor(LoadCursor(nullptr, IDC_HAND));
        return TRUE;
      }
      return DefWindowProcA(hwnd, msg, wParam, lParam);
    case WM_COMMAND:  // from controls inside a panel
      HandleCommand(control.Owner(), wParam, lParam);
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
