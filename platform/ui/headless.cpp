#include "platform/ui/headless.h"

#include <map>
#include <stdexcept>

namespace ui {

std::unique_ptr<Backend> MakeDefaultBackend() {
  return std::make_unique<headless::HeadlessBackend>();
}

namespace headless {

namespace {

std::map<std::string, std::string>& Resources() {
  static std::map<std::string, std::string> resources;
  return resources;
}

HeadlessBackend& Of(Application& app) {
  auto* backend = dynamic_cast<HeadlessBackend*>(&app.GetBackend());
  if (backend == nullptr) throw std::logic_error("the application has no headless backend");
  return *backend;
}

Button* DefaultButton(Form& form) {
  for (const auto& c : form.Controls())
    if (auto* b = dynamic_cast<Button*>(c.get()); b != nullptr && b->IsDefault()) return b;
  return nullptr;
}

// The message a real loop would take from the queue for this input, if any.
bool QueuedMessage(const Input& input, Message& msg) {
  switch (input.kind) {
    case InputKind::Click:
      msg.id = kMsgLButtonUp;
      return true;
    case InputKind::MouseMove:
    case InputKind::MouseMoveOnForm:
      msg.id = kMsgMouseMove;
      return true;
    case InputKind::Enter:
      msg.id = kMsgKeyDown;
      msg.wParam = 0x0D;
      return true;
    default:
      return false;
  }
}

}  // namespace

Input ClickOn(Control& c) { return Input{InputKind::Click, &c, nullptr, &c.Owner()}; }
Input MouseMoveOver(Control& c) { return Input{InputKind::MouseMove, &c, nullptr, &c.Owner()}; }
Input MouseMoveOver(Form& f) { return Input{InputKind::MouseMoveOnForm, nullptr, nullptr, &f}; }
Input MenuClickOn(MenuItem& item) { return Input{InputKind::MenuClick, nullptr, &item, nullptr}; }
Input EnterIn(Form& f) { return Input{InputKind::Enter, nullptr, nullptr, &f}; }
Input ActivationOf(Form& f) { return Input{InputKind::Activate, nullptr, nullptr, &f}; }
Input CloseRequestOf(Form& f) { return Input{InputKind::CloseRequest, nullptr, nullptr, &f}; }

void HeadlessBackend::FormShown(Form& form) { form.App().DeliverActivate(form); }

void HeadlessBackend::FormHidden(Form& form) {
  // The system hands the activation to the main window when it is still visible.
  Form* main = form.App().MainForm();
  if (main != nullptr && main != &form && main->Visible()) form.App().DeliverActivate(*main);
}

void HeadlessBackend::RunLoop(Application& app) {
  while (!app.Terminated() && !queue.empty()) {
    Input input = queue.front();
    queue.pop_front();
    Send(app, input);
  }
}

void HeadlessBackend::ProcessMessages(Application& app) {
  while (!queue.empty()) {
    Input input = queue.front();
    queue.pop_front();
    Send(app, input);
  }
}

std::string HeadlessBackend::LoadResourceBytes(const std::string& name) const {
  auto it = Resources().find(name);
  return it == Resources().end() ? std::string() : it->second;
}

void Send(Application& app, const Input& input) {
  Message msg;
  if (QueuedMessage(input, msg) && app.RunMessageHooks(msg)) return;
  switch (input.kind) {
    case InputKind::Click:
      app.DeliverClick(*input.control);
      break;
    case InputKind::MouseMove:
      app.DeliverMouseMove(*input.control);
      break;
    case InputKind::MouseMoveOnForm:
      break;
    case InputKind::MenuClick:
      app.DeliverMenuClick(*input.item);
      break;
    case InputKind::Enter:
      if (Button* b = DefaultButton(*input.form)) app.DeliverClick(*b);
      break;
    case InputKind::Activate:
      if (input.form->Visible()) app.DeliverActivate(*input.form);
      break;
    case InputKind::CloseRequest:
      app.DeliverCloseRequest(*input.form);
      break;
  }
}

void Post(Application& app, const Input& input) { Of(app).queue.push_back(input); }

std::size_t PendingInput(Application& app) { return Of(app).queue.size(); }

void SetResource(const std::string& name, const std::string& bytes) {
  Resources()[name] = bytes;
}

void ClearResources() { Resources().clear(); }

}  // namespace headless
}  // namespace ui
