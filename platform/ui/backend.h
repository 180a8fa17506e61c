// What the toolkit's objects ask of a backend. A backend mirrors the state of forms and
// controls into its windows and brings the user's input back through the application's
// Deliver* operations.
#pragma once

#include <memory>
#include <string>

#include "platform/ui/ui.h"

namespace ui {

class Backend {
 public:
  virtual ~Backend() = default;

  // Builds the form's (hidden) window, its controls and its menu.
  virtual void FormCreated(Form& form) = 0;
  // Releases the form's window; the form object is freed right after.
  virtual void FormDestroyed(Form& form) = 0;
  virtual void FormShown(Form& form) = 0;
  virtual void FormHidden(Form& form) = 0;
  // Something about the control changed (caption, visibility, enabled state, font, text).
  virtual void ControlChanged(Control& control) = 0;
  virtual void TitleChanged(const std::string& title) = 0;

  // Waits for and dispatches messages until the application is terminated or the main
  // form has closed.
  virtual void RunLoop(Application& app) = 0;
  virtual void ProcessMessages(Application& app) = 0;
  // Wakes the loop so that it sees the application terminated.
  virtual void Wake() = 0;

  // The native window to own boxes and help (null when there is none).
  virtual void* MainWindow() const = 0;
  virtual std::string LoadResourceBytes(const std::string& name) const = 0;
};

// The backend of this build: win32 on Windows, headless elsewhere.
std::unique_ptr<Backend> MakeDefaultBackend();

}  // namespace ui
