#include "app/about_box.h"

#include <string>

#include "app/layouts.h"
#include "platform/win32/win32.h"

TAboutBox::TAboutBox(ui::Application& app)
    : ui::Form(app, layout::AboutForm(), layout::AboutControls()),
      Panel1(Find<ui::Panel>("Panel1")),
      ProgramIcon(Find<ui::Image>("ProgramIcon")),
      ProductName(Find<ui::Label>("ProductName")),
      Version(Find<ui::Label>("Version")),
      Copyright(Find<ui::Label>("Copyright")),
      Label1(Find<ui::Label>("Label1")),
      Label2(Find<ui::Label>("Label2")),
      Label3(Find<ui::Label>("Label3")),
      OKButton(Find<ui::Button>("OKButton")) {
  Label3->OnMouseMove = [this] { Label3MouseMove(); };
  Label3->OnClick = [this] { Label3Click(); };
  OKButton->OnClick = [this] { OKButtonClick(); };
  hook_ = app.AddMessageHook(
      [this](const ui::Message& msg, bool& handled) { ApplicationEvents1Message(msg, handled); });
}

TAboutBox::~TAboutBox() { App().RemoveMessageHook(hook_); }

// The hook sees a move before the window under the pointer does, so over the link the
// normal look set here is at once replaced by the hover look.
void TAboutBox::Label3MouseMove() {
  Label3->SetFontColor(ui::clRed);
  Label3->SetFontStyle(false, true);
}

void TAboutBox::ApplicationEvents1Message(const ui::Message& msg, bool& /*handled*/) {
  if (msg.id != ui::kMsgMouseMove) return;
  Label3->SetFontColor(ui::clBlue);
  Label3->SetFontStyle(false, false);
}

void TAboutBox::Label3Click() {
  const std::string target = std::string("mailto:") + layout::kSupportAddress;
  ShellExecuteA(nullptr, "open", target.c_str(), nullptr, nullptr, SW_RESTORE);
}

void TAboutBox::OKButtonClick() { Close(); }
