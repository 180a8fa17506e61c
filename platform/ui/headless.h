// The headless backend: the toolkit's state lives only in its objects, and tests play the
// user. Input is either sent at once (Send) or queued (Post) for the message loop and for
// ProcessMessages, so a test can have the user act while a long handler pumps messages.
//
// The headless message loop ends when its queued input runs out (or the application is
// terminated, or the main form closed).
#pragma once

#include <deque>
#include <functional>
#include <string>

#include "platform/ui/backend.h"
#include "platform/ui/ui.h"

namespace ui::headless {

enum class InputKind {
  Click,            // left button released over a control
  MouseMove,        // the pointer moves over a control
  MouseMoveOnForm,  // the pointer moves over a form where no control is
  MenuClick,
  Enter,            // the Enter key in a form: presses its default button
  Activate,         // the user brings a form to the front
  CloseRequest,     // close box, system menu or Alt+F4
};

struct Input {
  InputKind kind;
  Control* control = nullptr;
  MenuItem* item = nullptr;
  Form* form = nullptr;
};

Input ClickOn(Control& c);
Input MouseMoveOver(Control& c);
Input MouseMoveOver(Form& f);
Input MenuClickOn(MenuItem& item);
Input EnterIn(Form& f);
Input ActivationOf(Form& f);
Input CloseRequestOf(Form& f);

class HeadlessBackend : public Backend {
 public:
  // Runs onFormCreated, when set, as the system's window creation: a test may throw from it
  // as a failing CreateWindowEx does.
  void FormCreated(Form& form) override {
    if (onFormCreated) onFormCreated(form);
  }
  void FormDestroyed(Form&) override {}
  void FormShown(Form& form) override;
  void FormHidden(Form& form) override;
  void ControlChanged(Control&) override {}
  void TitleChanged(const std::string&) override {}
  void RunLoop(Application& app) override;
  void ProcessMessages(Application& app) override;
  void Wake() override {}
  void* MainWindow() const override { return nullptr; }
  std::string LoadResourceBytes(const std::string& name) const override;

  std::deque<Input> queue;
  std::function<void(Form&)> onFormCreated;
};

// Dispatches the input now: queued kinds (mouse, keys) pass the application's message hooks
// first, as in a real message loop.
void Send(Application& app, const Input& input);
// Queues the input for the message loop or the next ProcessMessages.
void Post(Application& app, const Input& input);
std::size_t PendingInput(Application& app);

// The program's resources as the headless backend serves them, process-wide.
void SetResource(const std::string& name, const std::string& bytes);
void ClearResources();

}  // namespace ui::headless
