// The desktop toolkit layer: an application object, forms built from layout tables, and the
// few kinds of control the program's windows use.
//
// The objects here hold the whole state of the user interface (captions, fonts, colours,
// positions, visibility, enabled state). A backend mirrors that state: the win32 backend into
// real windows, the headless backend nowhere (tests read the state and raise events through
// platform/ui/headless.h). Forms and their handlers are written once against this layer.
//
// Events. Every handler that the toolkit calls on behalf of the user or the system (clicks,
// mouse moves, menu commands, show, activate, close query, create) runs inside the
// application's guard: an exception derived from std::exception that escapes it is shown in
// the exception box and the program goes on. Anything else passes through the guard.
//
// Threads: one, the GUI thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/picture.h"

namespace ui {

class Application;
class Backend;
class Form;

// Colours as 0x00BBGGRR; a value with the top bit set names a system colour by its index.
using Color = std::uint32_t;
constexpr Color clBlack = 0x000000;
constexpr Color clWhite = 0xFFFFFF;
constexpr Color clBlue = 0xFF0000;
constexpr Color clRed = 0x0000FF;
constexpr Color clBtnFace = 0x8000000F;
constexpr Color clWindowText = 0x80000008;
constexpr Color clWindow = 0x80000005;

// Message identifiers that the toolkit itself produces (the Windows values).
constexpr std::uint32_t kMsgActivate = 0x0006;
constexpr std::uint32_t kMsgClose = 0x0010;
constexpr std::uint32_t kMsgKeyDown = 0x0100;
constexpr std::uint32_t kMsgCommand = 0x0111;
constexpr std::uint32_t kMsgMouseMove = 0x0200;
constexpr std::uint32_t kMsgLButtonDown = 0x0201;
constexpr std::uint32_t kMsgLButtonUp = 0x0202;

// A message as the application's hook sees it, taken from the queue before it is dispatched.
struct Message {
  void* window = nullptr;  // the native window, null in the headless backend
  std::uint32_t id = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
};

struct Bounds {
  int left = 0, top = 0, width = 0, height = 0;
};

// A font: face, character height in pixels (96 per inch), colour and style.
struct Font {
  std::string name = "MS Sans Serif";
  int height = 11;
  Color color = clWindowText;
  bool bold = false;
  bool underline = false;
};

enum class ControlKind { Label, Button, Image, Shape, Memo, Panel };

// What a label draws behind its text.
enum class LabelBackground { Parent, White };

// One row of a layout table. Helpers below build rows in a few readable words.
struct ControlSpec {
  ControlKind kind = ControlKind::Label;
  std::string name;
  std::string parent;  // empty: the form itself
  Bounds bounds;
  std::string caption;
  int fontHeight = 0;  // 0: the form's font
  bool bold = false;
  bool underline = false;
  ui::Color textColor = clWindowText;
  LabelBackground background = LabelBackground::Parent;
  bool handCursor = false;
  bool visible = true;
  bool enabled = true;
  int tabOrder = -1;  // -1: takes no keyboard focus
  bool isDefault = false;
  std::string picture;  // resource name of the picture
  bool stretch = false;
  ui::Color pictureBackdrop = clBtnFace;  // what shows around a picture smaller than its control

  ControlSpec FontOf(int height, bool isBold = false) const;
  ControlSpec Colored(ui::Color c) const;
  ControlSpec OnWhite() const;
  ControlSpec Hand() const;
  ControlSpec Hidden() const;
  ControlSpec Tab(int order) const;
  ControlSpec Default() const;
  ControlSpec In(const std::string& container) const;
  ControlSpec Stretched() const;
  ControlSpec Backdrop(ui::Color c) const;
};

ControlSpec LabelRow(const std::string& name, Bounds b, const std::string& caption);
ControlSpec ButtonRow(const std::string& name, Bounds b, const std::string& caption);
ControlSpec ImageRow(const std::string& name, Bounds b, const std::string& picture);
ControlSpec ShapeRow(const std::string& name, Bounds b);
ControlSpec MemoRow(const std::string& name, Bounds b);
ControlSpec PanelRow(const std::string& name, Bounds b);

enum class BorderStyle { Single, Sizeable, Dialog };
enum class Placement { DesktopCenter, ScreenCenter };

struct FormSpec {
  std::string name;
  std::string caption;
  // Client size when clientSize is true, else the outer size including the frame.
  int width = 0, height = 0;
  bool clientSize = true;
  BorderStyle border = BorderStyle::Single;
  bool minimizeBox = false;
  bool maximizeBox = false;
  Placement placement = Placement::DesktopCenter;
  ui::Color color = clBtnFace;
  ui::Font font;
};

struct MenuSpec {
  std::string name;
  std::string caption;
  std::string picture;  // resource name, may be empty
  std::vector<MenuSpec> items;
};

class Control {
 public:
  Control(Form& owner, const ControlSpec& spec);
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  ControlKind Kind() const { return kind_; }
  const std::string& Name() const { return name_; }
  Form& Owner() const { return owner_; }
  Control* Parent() const { return parent_; }  // null: the form
  const Bounds& GetBounds() const { return bounds_; }
  int TabOrder() const { return tabOrder_; }
  // A control with a place in the tab order takes the keyboard focus, except a panel: its
  // place orders the controls inside it, and it never takes the focus itself.
  bool TakesFocus() const { return tabOrder_ >= 0 && kind_ != ControlKind::Panel; }

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& text);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);

  std::function<void()> OnClick;
  std::function<void()> OnMouseMove;

  // Runs the click handler directly, outside the guard (as code calling Click() would).
  void Click();

  void* peer = nullptr;  // the backend's native object

 protected:
  void Changed();

 private:
  friend class Form;
  Form& owner_;
  Control* parent_ = nullptr;
  ControlKind kind_;
  std::string name_;
  Bounds bounds_;
  std::string caption_;
  bool visible_;
  bool enabled_;
  int tabOrder_;
};

class Label : public Control {
 public:
  Label(Form& owner, const ControlSpec& spec, const ui::Font& font);
  const ui::Font& GetFont() const { return font_; }
  void SetFontColor(ui::Color c);
  void SetFontStyle(bool bold, bool underline);
  LabelBackground Background() const { return background_; }
  bool HandCursor() const { return handCursor_; }

 private:
  ui::Font font_;
  LabelBackground background_;
  bool handCursor_;
};

class Button : public Control {
 public:
  Button(Form& owner, const ControlSpec& spec);
  bool IsDefault() const { return default_; }

 private:
  bool default_;
};

class Image : public Control {
 public:
  Image(Form& owner, const ControlSpec& spec, Picture picture);
  const ui::Picture& GetPicture() const { return picture_; }
  bool Stretch() const { return stretch_; }
  ui::Color Backdrop() const { return backdrop_; }

 private:
  ui::Picture picture_;
  bool stretch_;
  ui::Color backdrop_;
};

// A rectangle filled white and outlined by a one-pixel black pen.
class Shape : public Control {
 public:
  using Control::Control;
};

// A multi-line text box with both scroll bars; long lines wrap at the box's width; the
// user may edit the text.
class Memo : public Control {
 public:
  using Control::Control;
  const std::vector<std::string>& Lines() const { return lines_; }
  void AddLine(const std::string& line);
  void AddLines(const std::vector<std::string>& lines);
  // The whole text, lines joined by CR LF, as the user sees and edits it.
  std::string Text() const;
  void SetText(const std::string& text);
  // The backend reports text the user typed; it is not echoed back to the window.
  void TextEditedByUser(const std::string& text);

 private:
  std::vector<std::string> lines_;
};

// A container with a raised inner bevel inside a lowered outer bevel.
class Panel : public Control {
 public:
  using Control::Control;
};

class MenuItem {
 public:
  MenuItem(const MenuSpec& spec, Application& app, MenuItem* parent);
  const std::string& Name() const { return name_; }
  const std::string& Caption() const { return caption_; }
  const ui::Picture& GetPicture() const { return picture_; }
  MenuItem* Parent() const { return parent_; }
  const std::vector<std::unique_ptr<MenuItem>>& Items() const { return items_; }
  std::function<void()> OnClick;

 private:
  std::string name_, caption_;
  ui::Picture picture_;
  MenuItem* parent_;
  std::vector<std::unique_ptr<MenuItem>> items_;
};

class Form {
 public:
  Form(Application& app, const FormSpec& spec, const std::vector<ControlSpec>& controls,
       const std::vector<MenuSpec>& menu = {});
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  Application& App() const { return app_; }
  const FormSpec& Spec() const { return spec_; }
  const std::string& Caption() const { return spec_.caption; }
  const std::vector<std::unique_ptr<Control>>& Controls() const { return controls_; }
  const std::vector<std::unique_ptr<MenuItem>>& Menu() const { return menu_; }

  Control* FindControl(const std::string& name) const;
  template <typename T>
  T* Find(const std::string& name) const {
    return dynamic_cast<T*>(FindControl(name));
  }
  MenuItem* FindMenuItem(const std::string& name) const;

  bool Visible() const { return visible_; }
  // Makes the form visible (OnShow first, then the window appears and is activated). Does
  // nothing while the form is visible; it is not brought to the front.
  void Show();
  void Hide();
  // A close request: OnCloseQuery decides. An accepted close of the main form ends the
  // message loop (the form stays until the application destroys it); any other form hides.
  void Close();

  std::function<void()> OnCreate;
  std::function<void()> OnShow;
  std::function<void()> OnActivate;
  std::function<void(bool& canClose)> OnCloseQuery;
  std::function<void()> OnDestroy;

  void* peer = nullptr;  // the backend's native window

 private:
  friend class Control;
  friend class Application;
  void Add(const ControlSpec& spec);
  Application& app_;
  FormSpec spec_;
  std::vector<std::unique_ptr<Control>> controls_;
  std::vector<std::unique_ptr<MenuItem>> menu_;
  bool visible_ = false;
};

class Application {
 public:
  Application();  // with the backend of this build
  explicit Application(std::unique_ptr<Backend> backend);
  ~Application();  // frees the forms that DestroyForms left, without their OnDestroy
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  void Initialize();
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& title);
  const std::string& HelpFile() const { return helpFile_; }
  void SetHelpFile(const std::string& file) { helpFile_ = file; }

  // Creates a form hidden, builds its windows and runs its OnCreate inside the guard. The
  // first form created becomes the main form.
  template <typename T, typename... Args>
  T& CreateForm(Args&&... args) {
    auto form = std::make_unique<T>(*this, std::forward<Args>(args)...);
    T& ref = *form;
    Adopt(std::move(form));
    return ref;
  }
  Form* MainForm() const { return forms_.empty() ? nullptr : forms_.front().get(); }
  Form* ActiveForm() const { return active_; }

  // Shows the main form and runs the message loop until the main form closes or Terminate.
  void Run();
  // One pass over the pending messages; returns when the queue is empty.
  void ProcessMessages();
  void Terminate();
  bool Terminated() const { return terminated_; }

  // Runs the forms' OnDestroy handlers, last created first, each form freed right after its
  // handler. A handler may end the process; the forms not yet destroyed are then freed by
  // the destructor without their handlers. From the start of the destruction on, input no
  // longer reaches any handler: a box shown by a destroy handler leaves the windows that
  // still stand usable, and their handlers may refer to windows already freed.
  void DestroyForms();

  // The application-wide hook: sees each queued message before it is dispatched; setting
  // handled stops the dispatch.
  using MessageHook = std::function<void(const Message&, bool& handled)>;
  // Returns an id for RemoveMessageHook; an object that installs a hook removes it before
  // it goes away.
  int AddMessageHook(MessageHook hook);
  void RemoveMessageHook(int id);
  // Runs the hooks; true when one of them handled the message.
  bool RunMessageHooks(const Message& msg);

  // The exception box: the message (with "." appended when it is not empty and its last
  // character's code is greater than that of "."), the title as caption, the error icon, OK.
  // With a sink installed the box is never shown: the sink receives the box's text instead
  // (an unattended run, which nobody is there to answer).
  void ShowException(const std::string& message);
  static std::string ExceptionText(const std::string& message);
  using ExceptionSink = std::function<void(const std::string& text)>;
  void SetExceptionSink(ExceptionSink sink) { exceptionSink_ = std::move(sink); }
  bool HasExceptionSink() const { return static_cast<bool>(exceptionSink_); }
  // Runs the action inside the guard.
  void Guarded(const std::function<void()>& action);

  // Help through the help system, with the current help file; nothing without one.
  void HelpCommand(unsigned command, std::uintptr_t data);

  // The bytes of a resource of the program; empty when it has none of that name.
  std::string LoadResourceBytes(const std::string& name) const;
  Picture LoadPicture(const std::string& name) const;

  // Event delivery, used by the backends for what the user or the system did.
  void DeliverClick(Control& control);
  void DeliverMouseMove(Control& control);
  void DeliverMenuClick(MenuItem& item);
  void DeliverActivate(Form& form);
  void DeliverCloseRequest(Form& form);
  // F1 while a menu of the program is open: help context 0 in the current help file.
  void DeliverMenuHelp();

  Backend& GetBackend() const { return *backend_; }

 private:
  friend class Form;
  void Adopt(std::unique_ptr<Form> form);
  void FormHidden(Form& form);

  std::unique_ptr<Backend> backend_;
  std::string title_;
  std::string helpFile_;
  std::vector<std::unique_ptr<Form>> forms_;
  std::vector<std::pair<int, MessageHook>> hooks_;
  int nextHookId_ = 1;
  Form* active_ = nullptr;
  bool terminated_ = false;
  bool destroying_ = false;
  ExceptionSink exceptionSink_;
};

}  // namespace ui
