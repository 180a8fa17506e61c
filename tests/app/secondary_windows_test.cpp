#include <string>
#include <vector>

#include "app/layouts.h"
#include "shell_fixture.h"

namespace shelltest {
namespace {

using ui::headless::ActivationOf;
using ui::headless::ClickOn;
using ui::headless::CloseRequestOf;
using ui::headless::EnterIn;
using ui::headless::MenuClickOn;
using ui::headless::MouseMoveOver;

bool Hover(const ui::Label& link) {
  return link.GetFont().color == ui::clRed && link.GetFont().underline && !link.GetFont().bold;
}
bool Normal(const ui::Label& link) {
  return link.GetFont().color == ui::clBlue && !link.GetFont().underline &&
         !link.GetFont().bold;
}

// ---- log viewer

TEST_F(Shell, LogViewerShowsTheLogOnceAndKeepsTheUsersEdits) {
  CreateScripted();
  app.Run();
  Send(ClickOn(*main->Button1));
  const std::vector<std::string> log = *main->LogList();
  ASSERT_GT(log.size(), 10u);

  Send(ClickOn(*main->Button1));
  EXPECT_EQ(viewer->Memo1->Lines(), log);
  EXPECT_EQ(app.ActiveForm(), viewer);

  // Focus goes to the main window and back, then the viewer is closed and opened again.
  Send(ActivationOf(*main));
  Send(ActivationOf(*viewer));
  EXPECT_EQ(viewer->Memo1->Lines(), log);
  Send(ClickOn(*viewer->Button1));
  EXPECT_FALSE(viewer->Visible());
  EXPECT_EQ(app.ActiveForm(), main);
  Send(ClickOn(*main->Button1));
  EXPECT_TRUE(viewer->Visible());
  EXPECT_EQ(viewer->Memo1->Lines(), log);

  // What the user types stays in the box only.
  viewer->Memo1->TextEditedByUser("borrado");
  Send(CloseRequestOf(*viewer));
  Send(ClickOn(*main->Button1));
  EXPECT_EQ(viewer->Memo1->Text(), "borrado");
  EXPECT_EQ(*main->LogList(), log);
}

TEST_F(Shell, LogViewerLayout) {
  Create(std::make_unique<ScriptedServices>());
  EXPECT_EQ(viewer->Caption(), "Fichero Log");
  EXPECT_FALSE(viewer->Spec().clientSize);
  EXPECT_EQ(viewer->Spec().width, 575);
  EXPECT_EQ(viewer->Spec().height, 320);
  EXPECT_EQ(viewer->Spec().border, ui::BorderStyle::Sizeable);
  EXPECT_EQ(viewer->Button1->Caption(), "&Cerrar");
  EXPECT_EQ(viewer->Button1->TabOrder(), 0);
  EXPECT_EQ(viewer->Memo1->TabOrder(), 1);
  EXPECT_TRUE(viewer->Memo1->Lines().empty());
}

// ---- about box

TEST_F(Shell, AboutLinkLightsUpUnderThePointerThroughTheHook) {
  CreateScripted();
  app.Run();
  ui::Label& link = *about->Label3;
  EXPECT_TRUE(Normal(link));
  EXPECT_TRUE(link.HandCursor());

  Send(MenuClickOn(*main->FindMenuItem("Acercade1")));
  // The hook resets the look first, then the link's own handler sets the hover look.
  Send(MouseMoveOver(link));
  EXPECT_TRUE(Hover(link));
  Send(MouseMoveOver(link));
  EXPECT_TRUE(Hover(link));
  Send(MouseMoveOver(*about->Label2));
  EXPECT_TRUE(Normal(link));

  // Leaving every window of the program sends no move: the link stays lit, also hidden.
  Send(MouseMoveOver(link));
  Send(ClickOn(*about->OKButton));
  EXPECT_FALSE(about->Visible());
  EXPECT_TRUE(Hover(link));
  // A move over the main window reaches the hook while the box is hidden.
  Send(MouseMoveOver(*main));
  EXPECT_TRUE(Normal(link));
}

TEST_F(Shell, AboutLinkOpensAMailMessage) {
  CreateScripted();
  app.Run();
  Send(MenuClickOn(*main->FindMenuItem("Acercade1")));
  Send(ClickOn(*about->Label3));
  ASSERT_EQ(machine.shellExecutes.size(), 1u);
  const sim::ShellExecuteCall& call = machine.shellExecutes[0];
  EXPECT_EQ(call.owner, nullptr);
  EXPECT_EQ(call.verb, "open");
  EXPECT_EQ(call.file, std::string("mailto:") + about->Label3->Caption());
  EXPECT_EQ(call.parameters, "");
  EXPECT_EQ(call.directory, "");
  EXPECT_EQ(call.show, SW_RESTORE);
}

TEST_F(Shell, AboutBoxOpensOnceAndEnterPressesOk) {
  CreateScripted();
  app.Run();
  EXPECT_EQ(about->Caption(), "Acerca de...");
  EXPECT_EQ(about->Label1->Caption(), "Desisntalaci\xF3n de Tev32 12.1");
  EXPECT_TRUE(about->Label1->GetFont().bold);
  EXPECT_EQ(about->Version->Caption(), "Version: 1.0");
  EXPECT_EQ(about->Label3->Parent(), about->Panel1);
  EXPECT_EQ(about->ProgramIcon->GetPicture().width, 123);
  EXPECT_TRUE(about->OKButton->IsDefault());
  // The panel holds the first place in the tab order but the focus goes to "OK".
  std::vector<std::string> focusable;
  for (const auto& c : about->Controls())
    if (c->TakesFocus()) focusable.push_back(c->Name());
  EXPECT_EQ(focusable, std::vector<std::string>{"OKButton"});
  EXPECT_EQ(about->Panel1->TabOrder(), 0);

  Send(MenuClickOn(*main->FindMenuItem("Acercade1")));
  Send(MenuClickOn(*main->FindMenuItem("Acercade1")));
  EXPECT_TRUE(about->Visible());
  Send(EnterIn(*about));
  EXPECT_FALSE(about->Visible());
  Send(MenuClickOn(*main->FindMenuItem("Acercade1")));
  EXPECT_TRUE(about->Visible());
  Send(CloseRequestOf(*about));
  EXPECT_FALSE(about->Visible());
  EXPECT_FALSE(app.Terminated());
}

}  // namespace
}  // namespace shelltest
