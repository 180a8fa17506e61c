#include "platform/ui/ui.h"

#include <algorithm>
#include <stdexcept>

#include "platform/ui/backend.h"
#include "platform/win32/win32.h"

namespace ui {

// ---- layout rows

ControlSpec ControlSpec::FontOf(int height, bool isBold) const {
  ControlSpec s = *this;
  s.fontHeight = height;
  s.bold = isBold;
  return s;
}
ControlSpec ControlSpec::Colored(ui::Color c) const {
  ControlSpec s = *this;
  s.textColor = c;
  return s;
}
ControlSpec ControlSpec::OnWhite() const {
  ControlSpec s = *this;
  s.background = LabelBackground::White;
  return s;
}
ControlSpec ControlSpec::Hand() const {
  ControlSpec s = *this;
  s.handCursor = true;
  return s;
}
ControlSpec ControlSpec::Hidden() const {
  ControlSpec s = *this;
  s.visible = false;
  return s;
}
ControlSpec ControlSpec::Tab(int order) const {
  ControlSpec s = *this;
  s.tabOrder = order;
  return s;
}
ControlSpec ControlSpec::Default() const {
  ControlSpec s = *this;
  s.isDefault = true;
  return s;
}
ControlSpec ControlSpec::In(const std::string& container) const {
  ControlSpec s = *this;
  s.parent = container;
  return s;
}
ControlSpec ControlSpec::Stretched() const {
  ControlSpec s = *this;
  s.stretch = true;
  return s;
}
ControlSpec ControlSpec::Backdrop(ui::Color c) const {
  ControlSpec s = *this;
  s.pictureBackdrop = c;
  return s;
}

namespace {
ControlSpec Row(ControlKind kind, const std::string& name, Bounds b) {
  ControlSpec s;
  s.kind = kind;
  s.name = name;
  s.bounds = b;
  return s;
}
}  // namespace

ControlSpec LabelRow(const std::string& name, Bounds b, const std::string& caption) {
  ControlSpec s = Row(ControlKind::Label, name, b);
  s.caption = caption;
  return s;
}
ControlSpec ButtonRow(const std::string& name, Bounds b, const std::string& caption) {
  ControlSpec s = Row(ControlKind::Button, name, b);
  s.caption = caption;
  return s;
}
ControlSpec ImageRow(const std::string& name, Bounds b, const std::string& picture) {
  ControlSpec s = Row(ControlKind::Image, name, b);
  s.picture = picture;
  return s;
}
ControlSpec ShapeRow(const std::string& name, Bounds b) {
  return Row(ControlKind::Shape, name, b);
}
ControlSpec MemoRow(const std::string& name, Bounds b) { return Row(ControlKind::Memo, name, b); }
ControlSpec PanelRow(const std::string& name, Bounds b) {
  return Row(ControlKind::Panel, name, b);
}

// ---- controls

Control::Control(Form& owner, const ControlSpec& spec)
    : owner_(owner),
      kind_(spec.kind),
      name_(spec.name),
      bounds_(spec.bounds),
      caption_(spec.caption),
      visible_(spec.visible),
      enabled_(spec.enabled),
      tabOrder_(spec.tabOrder) {}

Control::~Control() = default;

void Control::Changed() { owner_.App().GetBackend().ControlChanged(*this); }

void Control::SetCaption(const std::string& text) {
  if (caption_ == text) return;
  caption_ = text;
  Changed();
}

void Control::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  Changed();
}

void Control::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  Changed();
}

void Control::Click() {
  if (OnClick) OnClick();
}

Label::Label(Form& owner, const ControlSpec& spec, const ui::Font& font)
    : Control(owner, spec),
      font_(font),
      background_(spec.background),
      handCursor_(spec.handCursor) {}

void Label::SetFontColor(ui::Color c) {
  if (font_.color == c) return;
  font_.color = c;
  Changed();
}

void Label::SetFontStyle(bool bold, bool underline) {
  if (font_.bold == bold && font_.underline == underline) return;
  font_.bold = bold;
  font_.underline = underline;
  Changed();
}

Button::Button(Form& owner, const ControlSpec& spec)
    : Control(owner, spec), default_(spec.isDefault) {}

Image::Image(Form& owner, const ControlSpec& spec, Picture picture)
    : Control(owner, spec),
      picture_(std::move(picture)),
      stretch_(spec.stretch),
      backdrop_(spec.pictureBackdrop) {}

namespace {
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}
}  // namespace

void Memo::AddLine(const std::string& line) {
  lines_.push_back(line);
  Changed();
}

void Memo::AddLines(const std::vector<std::string>& lines) {
  lines_.insert(lines_.end(), lines.begin(), lines.end());
  Changed();
}

std::string Memo::Text() const {
  std::string text;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (i > 0) text += "\r\n";
    text += lines_[i];
  }
  return text;
}

void Memo::SetText(const std::string& text) {
  lines_ = SplitLines(text);
  Changed();
}

void Memo::TextEditedByUser(const std::string& text) { lines_ = SplitLines(text); }

MenuItem::MenuItem(const MenuSpec& spec, Application& app, MenuItem* parent)
    : name_(spec.name),
      caption_(spec.caption),
      picture_(app.LoadPicture(spec.picture)),
      parent_(parent) {
  for (const MenuSpec& child : spec.items)
    items_.push_back(std::make_unique<MenuItem>(child, app, this));
}

// ---- forms

Form::Form(Application& app, const FormSpec& spec, const std::vector<ControlSpec>& controls,
           const std::vector<MenuSpec>& menu)
    : app_(app), spec_(spec) {
  for (const ControlSpec& c : controls) Add(c);
  for (const MenuSpec& m : menu) menu_.push_back(std::make_unique<MenuItem>(m, app, nullptr));
}

Form::~Form() {
  app_.GetBackend().FormDestroyed(*this);
}

void Form::Add(const ControlSpec& spec) {
  std::unique_ptr<Control> c;
  switch (spec.kind) {
    case ControlKind::Label: {
      ui::Font font = spec_.font;
      if (spec.fontHeight != 0) font.height = spec.fontHeight;
      font.bold = spec.bold;
      font.underline = spec.underline;
      font.color = spec.textColor;
      c = std::make_unique<Label>(*this, spec, font);
      break;
    }
    case ControlKind::Button:
      c = std::make_unique<Button>(*this, spec);
      break;
    case ControlKind::Image:
      c = std::make_unique<Image>(*this, spec, app_.LoadPicture(spec.picture));
      break;
    case ControlKind::Shape:
      c = std::make_unique<Shape>(*this, spec);
      break;
    case ControlKind::Memo:
      c = std::make_unique<Memo>(*this, spec);
      break;
    case ControlKind::Panel:
      c = std::make_unique<Panel>(*this, spec);
      break;
  }
  if (!spec.parent.empty()) {
    c->parent_ = FindControl(spec.parent);
    if (c->parent_ == nullptr || c->parent_->Kind() != ControlKind::Panel)
      throw std::logic_error("layout: container " + spec.parent + " of " + spec.name +
                             " is not a panel listed before it");
  }
  controls_.push_back(std::move(c));
}

Control* Form::FindControl(const std::string& name) const {
  for (const auto& c : controls_)
    if (c->Name() == name) return c.get();
  return nullptr;
}

namespace {
MenuItem* FindIn(const std::vector<std::unique_ptr<MenuItem>>& items, const std::string& name) {
  for (const auto& item : items) {
    if (item->Name() == name) return item.get();
    if (MenuItem* found = FindIn(item->Items(), name)) return found;
  }
  return nullptr;
}
}  // namespace

MenuItem* Form::FindMenuItem(const std::string& name) const { return FindIn(menu_, name); }

void Form::Show() {
  if (visible_) return;
  visible_ = true;
  if (OnShow) app_.Guarded(OnShow);
  app_.GetBackend().FormShown(*this);
}

void Form::Hide() {
  if (!visible_) return;
  visible_ = false;
  app_.FormHidden(*this);
  app_.GetBackend().FormHidden(*this);
}

void Form::Close() {
  bool canClose = true;
  if (OnCloseQuery) OnCloseQuery(canClose);
  if (!canClose) return;
  if (app_.MainForm() == this)
    app_.Terminate();
  else
    Hide();
}

// ---- application

Application::Application() : Application(MakeDefaultBackend()) {}

Application::Application(std::unique_ptr<Backend> backend) : backend_(std::move(backend)) {}

Application::~Application() {
  // Last created first, as DestroyForms does; the handlers do not run here.
  while (!forms_.empty()) forms_.pop_back();
}

void Application::Initialize() {}

void Application::SetTitle(const std::string& title) {
  title_ = title;
  backend_->TitleChanged(title);
}

void Application::Adopt(std::unique_ptr<Form> form) {
  forms_.push_back(std::move(form));
  Form& f = *forms_.back();
  backend_->FormCreated(f);
  if (f.OnCreate) Guarded(f.OnCreate);
}

void Application::Run() {
  if (Form* main = MainForm(); main != nullptr && !terminated_) main->Show();
  if (!terminated_) backend_->RunLoop(*this);
}

void Application::ProcessMessages() { backend_->ProcessMessages(*this); }

void Application::Terminate() {
  terminated_ = true;
  backend_->Wake();
}

void Application::DestroyForms() {
  destroying_ = true;
  while (!forms_.empty()) {
    std::unique_ptr<Form> form = std::move(forms_.back());
    forms_.pop_back();
    if (active_ == form.get()) active_ = nullptr;
    if (form->OnDestroy) Guarded(form->OnDestroy);
  }
}

int Application::AddMessageHook(MessageHook hook) {
  hooks_.emplace_back(nextHookId_, std::move(hook));
  return nextHookId_++;
}

void Application::RemoveMessageHook(int id) {
  hooks_.erase(std::remove_if(hooks_.begin(), hooks_.end(),
                              [id](const auto& h) { return h.first == id; }),
               hooks_.end());
}

bool Application::RunMessageHooks(const Message& msg) {
  bool handled = false;
  // A copy: a hook may add or remove hooks.
  const auto hooks = hooks_;
  for (const auto& hook : hooks) {
    Guarded([&] { hook.second(msg, handled); });
    if (handled) break;
  }
  return handled;
}

std::string Application::ExceptionText(const std::string& message) {
  std::string text = message;
  if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
  return text;
}

void Application::ShowException(const std::string& message) {
  if (exceptionSink_) {
    exceptionSink_(ExceptionText(message));
    return;
  }
  MessageBoxA(static_cast<HWND>(backend_->MainWindow()), ExceptionText(message).c_str(),
              title_.c_str(), MB_OK | MB_ICONERROR);
}

void Application::Guarded(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& e) {
    ShowException(e.what());
  }
}

void Application::HelpCommand(unsigned command, std::uintptr_t data) {
  if (helpFile_.empty()) return;  // no file to name: the help system is not asked to search
  WinHelpA(static_cast<HWND>(backend_->MainWindow()), helpFile_.c_str(), command,
           static_cast<ULONG_PTR>(data));
}

std::string Application::LoadResourceBytes(const std::string& name) const {
  return name.empty() ? std::string() : backend_->LoadResourceBytes(name);
}

Picture Application::LoadPicture(const std::string& name) const {
  return DecodePicture(LoadResourceBytes(name));
}

void Application::DeliverClick(Control& control) {
  if (destroying_) return;
  if (!control.Enabled() || !control.Visible() || !control.OnClick) return;
  Guarded(control.OnClick);
}

void Application::DeliverMouseMove(Control& control) {
  if (!destroying_ && control.OnMouseMove) Guarded(control.OnMouseMove);
}

void Application::DeliverMenuClick(MenuItem& item) {
  if (!destroying_ && item.OnClick) Guarded(item.OnClick);
}

void Application::DeliverActivate(Form& form) {
  if (destroying_ || active_ == &form) return;
  active_ = &form;
  if (form.OnActivate) Guarded(form.OnActivate);
}

void Application::DeliverCloseRequest(Form& form) {
  if (destroying_) return;
  Guarded([&form] { form.Close(); });
}

void Application::DeliverMenuHelp() {
  constexpr unsigned kHelpContext = 1;  // HELP_CONTEXT
  if (!destroying_) HelpCommand(kHelpContext, 0);
}

void Application::FormHidden(Form& form) {
  if (active_ == &form) active_ = nullptr;
}

}  // namespace ui
