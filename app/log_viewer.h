// The log viewer: a plain text window that shows the main window's run log.
#pragma once

#include "platform/ui/ui.h"

class TForm1;

class TForm3 : public ui::Form {
 public:
  // The main window outlives the viewer: the application destroys the viewer first.
  TForm3(ui::Application& app, const TForm1& mainWindow);

  // The first activation fills the box with every line of the run log, in order; later
  // activations leave the box, and whatever the user typed into it, as they are.
  void FormActivate();
  void Button1Click();

  ui::Button* Button1;
  ui::Memo* Memo1;

 private:
  const TForm1& main_;
  bool filled_ = false;
};
