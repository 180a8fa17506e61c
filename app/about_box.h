// The about box: logo, name, version, the product it removes, the rights line and the
// support address as a mail link that lights up under the mouse pointer.
#pragma once

#include "platform/ui/ui.h"

class TAboutBox : public ui::Form {
 public:
  // Installs the application-wide hook that resets the link's look; it works from start-up
  // to the box's destruction, whether the box is visible or not.
  explicit TAboutBox(ui::Application& app);
  ~TAboutBox() override;

  void Label3MouseMove();
  void Label3Click();
  void OKButtonClick();
  void ApplicationEvents1Message(const ui::Message& msg, bool& handled);

  ui::Panel* Panel1;
  ui::Image* ProgramIcon;
  ui::Label *ProductName, *Version, *Copyright, *Label1, *Label2, *Label3;
  ui::Button* OKButton;

 private:
  int hook_;
};
