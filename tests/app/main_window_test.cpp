#include "app/main_window.h"

#include <string>
#include <vector>

#include "ntservice/ntexception.h"
#include "shell_fixture.h"

namespace shelltest {
namespace {

using ui::headless::ActivationOf;
using ui::headless::ClickOn;
using ui::headless::CloseRequestOf;
using ui::headless::MenuClickOn;

// ---- the window as the layout builds it

TEST_F(Shell, MainWindowCarriesTheLayoutAndDecodedPictures) {
  Create();
  EXPECT_EQ(main->Caption(), "Quelmark");
  EXPECT_EQ(main->Spec().width, 372);
  EXPECT_EQ(main->Spec().height, 171);
  EXPECT_TRUE(main->Spec().clientSize);
  EXPECT_TRUE(main->Spec().minimizeBox);
  EXPECT_FALSE(main->Spec().maximizeBox);

  EXPECT_EQ(main->Label1->Caption(), "Desinstalaci\xF3n de Tev32 12.1");
  EXPECT_EQ(main->Label1->GetFont().height, 13);
  EXPECT_TRUE(main->Label1->GetFont().bold);
  EXPECT_EQ(main->Label2->GetFont().height, 11);
  EXPECT_EQ(main->Label2->Background(), ui::LabelBackground::White);
  EXPECT_EQ(main->Button1->Caption(), "Comenzar Limpieza");
  EXPECT_EQ(main->Button1->TabOrder(), 0);
  for (const auto& c : main->Controls()) EXPECT_EQ(c->TakesFocus(), c.get() == main->Button1);

  // Later controls are drawn over earlier ones: the logo and the labels after the panel.
  std::vector<std::string> order;
  for (const auto& c : main->Controls()) order.push_back(c->Name());
  EXPECT_EQ(order.front(), "Label1");
  EXPECT_EQ(order[1], "Shape1");
  EXPECT_EQ(order.back(), "Button1");

  EXPECT_EQ(main->Image1->GetPicture().width, 123);
  EXPECT_EQ(main->Image1->GetPicture().height, 117);
  EXPECT_TRUE(main->Image1->Stretch());
  for (ui::Image* mark : {main->ImgSrvOk, main->ImgSrvFallo, main->ImgFileOk}) {
    EXPECT_FALSE(mark->Visible());
    EXPECT_EQ(mark->GetPicture().width, 16);
    EXPECT_EQ(mark->GetPicture().height, 16);
    EXPECT_FALSE(mark->Stretch());
  }
  // A green Ok mark and a red Fallo mark.
  const auto& ok = main->ImgSrvOk->GetPicture().bgrx;
  const auto& fallo = main->ImgSrvFallo->GetPicture().bgrx;
  const std::size_t at = (6 * 16 + 2) * 4;  // the stroke's start on row 6
  EXPECT_GT(ok[at + 1], ok[at + 2]);
  const std::size_t atF = (2 * 16 + 2) * 4;
  EXPECT_GT(fallo[atF + 2], fallo[atF + 1]);

  EXPECT_EQ(main->FindMenuItem("Aplicacin1")->Caption(), "Aplicaci\xF3n");
  EXPECT_EQ(main->FindMenuItem("Cerrar1")->GetPicture().width, 12);
  EXPECT_EQ(main->FindMenuItem("Cerrar1")->GetPicture().height, 16);
  EXPECT_EQ(main->FindMenuItem("Acercade1")->GetPicture().width, 16);
  EXPECT_EQ(main->FindMenuItem("Temasdeayuda1")->Caption(), "Temas de ayuda");
}

TEST_F(Shell, MissingOrCorruptPicturesLeaveTheControlsEmpty) {
  ui::headless::ClearResources();
  ui::headless::SetResource("MARK_OK", std::string("BM") + std::string(60, '\x7F'));
  std::string truncated = ReadResFile("logo.jpg");
  truncated.resize(truncated.size() / 3);
  ui::headless::SetResource("LOGO", truncated);
  Create();
  EXPECT_TRUE(main->ImgSrvOk->GetPicture().Empty());
  EXPECT_TRUE(main->ImgSrvFallo->GetPicture().Empty());
  EXPECT_TRUE(main->FindMenuItem("Cerrar1")->GetPicture().Empty());
  // A truncated JPEG decodes to nothing or to a picture of the full size, never in between.
  const ui::Picture& logo = main->Image1->GetPicture();
  EXPECT_TRUE(logo.Empty() || (logo.width == 123 && logo.height == 117));
}

// ---- command line

struct Options {
  bool autoMode;
  bool createLog;
  TRebootMode reboot;
};

class CommandLine : public Shell {
 protected:
  Options ParseLine(const std::string& line) {
    machine.commandLine = line;
    main->FormShow();
    return {main->AutoMode, main->CreateLogFile, main->RebootMode};
  }
  void ExpectOptions(const std::string& line, bool autoMode, bool createLog, TRebootMode reboot) {
    const Options o = ParseLine(line);
    EXPECT_EQ(o.autoMode, autoMode) << line;
    EXPECT_EQ(o.createLog, createLog) << line;
    EXPECT_EQ(o.reboot, reboot) << line;
  }
};

TEST_F(CommandLine, OptionsAreFoundAnywhereInTheUpperCasedLine) {
  Create(std::make_unique<ScriptedServices>());
  const std::string exe = "\"C:\\Quelmark\\Quelmark.exe\"";
  ExpectOptions(exe, false, false, RebootNone);
  ExpectOptions(exe + " /x", false, false, RebootNone);
  ExpectOptions(exe + " /createlog", true, true, RebootNone);
  ExpectOptions(exe + " /CreateLog", true, true, RebootNone);
  ExpectOptions(exe + " /REBOOT_CONFIRM", true, false, RebootConfirm);
  ExpectOptions(exe + " /reboot_auto /CREATELOG", true, true, RebootAuto);
  // Both restart options, in either order: the automatic restart wins.
  ExpectOptions(exe + " /REBOOT_CONFIRM /REBOOT_AUTO", true, false, RebootAuto);
  ExpectOptions(exe + " /REBOOT_AUTO /REBOOT_CONFIRM", true, false, RebootAuto);
  // No word boundary is required after an option.
  ExpectOptions(exe + " /CREATELOGFILE", true, true, RebootNone);
  ExpectOptions(exe + " /REBOOT_AUTOMATIC", true, false, RebootAuto);
  // The slash must follow a blank: a tab or a quotation mark does not count.
  ExpectOptions(exe + "\t/CREATELOG", false, false, RebootNone);
  ExpectOptions(exe + " \"/CREATELOG\"", false, false, RebootNone);
  ExpectOptions("\"C:\\Quelmark\\Quelmark.exe\"/REBOOT_AUTO", false, false, RebootNone);
  // The program path is searched too.
  ExpectOptions("\"C:\\Tools /REBOOT_CONFIRM\\Quelmark.exe\"", true, false, RebootConfirm);
}

// An option is its ASCII letters on every ANSI code page: a look-alike that some code page's
// best-fit mapping would turn into one (1251 and 932 read '\xC9' as 'E') is none anywhere.
TEST_F(CommandLine, OptionsAreTheSameOnEveryAnsiCodePage) {
  Create(std::make_unique<ScriptedServices>());
  for (const UINT codePage : {1252u, 1251u, 932u, 65001u}) {
    machine.ansiCodePage = codePage;
    ExpectOptions("Quelmark.exe /CR\xC9" "ATELOG", false, false, RebootNone);
    ExpectOptions("Quelmark.exe /createlog /Reboot_Auto", true, true, RebootAuto);
  }
}

TEST_F(CommandLine, ShowingTheWindowClearsTheFlagsFirst) {
  Create(std::make_unique<ScriptedServices>());
  ParseLine("Quelmark.exe /CREATELOG /REBOOT_AUTO");
  main->RestartNeeded = true;
  const Options o = ParseLine("Quelmark.exe");
  EXPECT_FALSE(o.autoMode);
  EXPECT_FALSE(o.createLog);
  EXPECT_EQ(o.reboot, RebootNone);
  EXPECT_FALSE(main->RestartNeeded);
  EXPECT_TRUE(main->CloseAllowed);
  EXPECT_EQ(main->CommandLine, "QUELMARK.EXE");
}

// ---- the button, interactive

TEST_F(Shell, ButtonRunsOnceThenShowsTheLog) {
  ScriptedServices& services = CreateScripted();
  bool sawRunningState = false;
  services.duringStop = [&] {
    sawRunningState = !main->Button1->Enabled() &&
                      main->Button1->Caption() == "Mostrar Fichero log" &&
                      main->Label2->GetFont().color == ui::clBlue;
  };
  app.Run();
  ASSERT_TRUE(main->Visible());
  EXPECT_EQ(services.Counts().refreshes, 1);
  EXPECT_TRUE(main->Button1->Enabled());

  Send(ClickOn(*main->Button1));
  EXPECT_TRUE(sawRunningState);
  EXPECT_EQ(services.Counts().stops, 1);
  EXPECT_TRUE(main->Button1->Enabled());
  EXPECT_EQ(main->Button1->Caption(), "Mostrar Fichero log");
  EXPECT_EQ(main->Label2->GetFont().color, ui::clBlack);
  EXPECT_EQ(main->ImgSrvOk->Visible() + main->ImgSrvFallo->Visible(), 1);
  EXPECT_EQ(main->ImgFileOk->Visible() + main->ImgFileFallo->Visible(), 1);
  EXPECT_FALSE(viewer->Visible());
  EXPECT_FALSE(LogFileExists());

  Send(ClickOn(*main->Button1));
  EXPECT_TRUE(viewer->Visible());
  EXPECT_EQ(services.Counts().stops, 1);
  EXPECT_EQ(viewer->Memo1->Lines(), *main->LogList());

  // The viewer is already open behind the main window: nothing changes.
  Send(ActivationOf(*main));
  Send(ClickOn(*main->Button1));
  EXPECT_TRUE(viewer->Visible());
  EXPECT_EQ(app.ActiveForm(), main);
  EXPECT_EQ(services.Counts().stops, 1);
}

TEST_F(Shell, InteractiveWindowClosesInEveryStateAndNeverWritesTheLogFile) {
  ScriptedServices& services = CreateScripted();
  bool closedDuringRun = false;
  services.duringStop = [&] {
    Send(CloseRequestOf(*main));
    closedDuringRun = app.Terminated();
  };
  app.Run();
  Send(ClickOn(*main->Button1));
  // The accepted close takes effect once the run has returned to the loop.
  EXPECT_TRUE(closedDuringRun);
  EXPECT_EQ(services.Counts().stops, 1);
  EXPECT_FALSE(LogFileExists());
}

// An exception that ends an interactive run leaves the partial log reachable.
TEST_F(Shell, FailedInteractiveRunReenablesTheButton) {
  ScriptedServices& services = CreateScripted();
  services.duringStop = [] { throw ENTException("Acceso denegado", 5); };
  app.SetTitle("Quelmark");
  app.Run();
  Send(ClickOn(*main->Button1));

  ASSERT_EQ(machine.messageBoxes.size(), 1u);
  EXPECT_EQ(machine.messageBoxes[0].text, "Acceso denegado.");
  EXPECT_EQ(machine.messageBoxes[0].caption, "Quelmark");
  EXPECT_EQ(machine.messageBoxes[0].flags, static_cast<UINT>(MB_OK | MB_ICONERROR));
  EXPECT_TRUE(main->Button1->Enabled());
  EXPECT_EQ(main->Button1->Caption(), "Mostrar Fichero log");
  // The services stage ended the run: its label stays blue, no mark.
  EXPECT_EQ(main->Label2->GetFont().color, ui::clBlue);
  EXPECT_FALSE(main->ImgSrvOk->Visible() || main->ImgSrvFallo->Visible());
  EXPECT_TRUE(main->RestartNeeded);

  Send(ClickOn(*main->Button1));
  EXPECT_TRUE(viewer->Visible());
  EXPECT_EQ(viewer->Memo1->Lines(), *main->LogList());
  EXPECT_FALSE(viewer->Memo1->Lines().empty());
  EXPECT_EQ(services.Counts().stops, 1);
}

// ---- the automatic run

TEST_F(Shell, AutomaticRunRefusesToCloseUntilItEnds) {
  machine.commandLine = "Quelmark.exe /REBOOT_CONFIRM";
  ScriptedServices& services = CreateScripted();
  bool refused = false;
  services.duringStop = [&] {
    Send(CloseRequestOf(*main));
    Send(MenuClickOn(*main->FindMenuItem("Cerrar1")));
    refused = !app.Terminated() && !main->CloseAllowed && !main->Button1->Enabled() &&
              main->Button1->Caption() == "Comenzar Limpieza";
  };
  app.Run();
  EXPECT_TRUE(refused);
  EXPECT_TRUE(app.Terminated());
  EXPECT_TRUE(main->CloseAllowed);
  EXPECT_FALSE(LogFileExists());
}

// The user opens the about box during the automatic run and closes it again: the main
// window becomes active a second time while the run is in progress.
TEST_F(Shell, AutomaticRunHappensOnceWhenTheWindowIsReactivatedMidRun) {
  machine.commandLine = "Quelmark.exe /CREATELOG";
  ScriptedServices& services = CreateScripted();
  int activationsSeen = 0;
  services.duringStop = [&] {
    Send(MenuClickOn(*main->FindMenuItem("Acercade1")));
    activationsSeen += app.ActiveForm() == about;
    Send(CloseRequestOf(*about));
    activationsSeen += app.ActiveForm() == main;
  };
  app.Run();
  EXPECT_EQ(activationsSeen, 2);
  EXPECT_EQ(services.Counts().stops, 1);
  EXPECT_TRUE(app.Terminated());

  // A later activation after the run starts nothing either.
  Send(ActivationOf(*about));
  main->FormActivate();
  EXPECT_EQ(services.Counts().stops, 1);
}

// Nobody is there to answer a box in an automatic run: the failure ends the log file.
TEST_F(Shell, FailedAutomaticRunShowsNoBoxEndsTheLogWithTheErrorAndCloses) {
  machine.commandLine = "Quelmark.exe /CREATELOG /REBOOT_AUTO";
  ScriptedServices& services = CreateScripted();
  services.duringStop = [] { throw ENTException("1061: El servicio no acepta\r\n", 1061); };
  app.SetTitle("Quelmark");
  app.Run();

  EXPECT_TRUE(machine.messageBoxes.empty());
  EXPECT_TRUE(app.Terminated());
  EXPECT_TRUE(main->CloseAllowed);
  ASSERT_TRUE(LogFileExists());
  std::string expected;
  for (const std::string& line : *main->LogList()) expected += line + "\r\n";
  expected += "Error: 1061: El servicio no acepta\r\n";
  EXPECT_EQ(LogFile(), expected);
  EXPECT_EQ(LogFile().rfind("Sobre los Servicios ", 0), 0u);

  // The service was found before the failure: the automatic restart follows.
  const Ending end = Finish();
  EXPECT_TRUE(end.exited);
  EXPECT_EQ(machine.exitWindowsRequests, std::vector<UINT>{EWX_REBOOT | EWX_FORCE});
  EXPECT_TRUE(machine.messageBoxes.empty());
}

TEST_F(Shell, LogFileThatCannotBeCreatedEndsTheRunWithoutABox) {
  machine.windowsDirectory = "C:\\NOWIN";
  machine.commandLine = "Quelmark.exe /CREATELOG";
  CreateScripted();
  app.SetTitle("Quelmark");
  app.Run();

  EXPECT_TRUE(machine.messageBoxes.empty());
  EXPECT_TRUE(app.Terminated());
  const Ending end = Finish();
  EXPECT_TRUE(end.exited);
  EXPECT_EQ(end.code, 0u);
}

// The snapshot at window creation: a box for the interactive run, the log for the automatic.
TEST_F(Shell, FailedSnapshotOfAnAutomaticRunGoesToTheLog) {
  class FailingSnapshot : public ScriptedServices {
    void RefreshServiceList() override { throw ENTException("Acceso denegado", 5); }
  };
  machine.commandLine = "Quelmark.exe /createlog";
  app.SetTitle("Quelmark");
  Create(std::make_unique<FailingSnapshot>());
  app.Run();
  EXPECT_TRUE(machine.messageBoxes.empty());
  EXPECT_TRUE(app.Terminated());
  const std::string log = LogFile();
  EXPECT_EQ(log.substr(log.size() - 27), "\r\nError: Acceso denegado.\r\n");
  EXPECT_EQ(log.rfind("Sobre los Servicios ", 0), 0u);
  EXPECT_TRUE(Finish().exited);
}

TEST_F(Shell, FailedSnapshotAtCreationIsShownAndTheWindowStillWorks) {
  class FailingSnapshot : public ScriptedServices {
    void RefreshServiceList() override { throw ENTException("Acceso denegado", 5); }
  };
  app.SetTitle("Quelmark");
  Create(std::make_unique<FailingSnapshot>());
  ASSERT_EQ(machine.messageBoxes.size(), 1u);
  EXPECT_EQ(machine.messageBoxes[0].text, "Acceso denegado.");
  app.Run();
  EXPECT_TRUE(main->Visible());
  EXPECT_NE(main->LogList(), nullptr);
}

// ---- menu

TEST_F(Shell, MenuOpensHelpAtItsContentsAndTheAboutBox) {
  CreateScripted();
  app.SetHelpFile("E:\\Desktop\\Quelmark\\Quelmark.hlp");
  app.Run();
  // F1 in an open menu before the help entry was used: context 0 of the start-up file.
  app.DeliverMenuHelp();
  Send(MenuClickOn(*main->FindMenuItem("Temasdeayuda1")));
  ASSERT_EQ(machine.winHelps.size(), 2u);
  EXPECT_EQ(machine.winHelps[0].file, "E:\\Desktop\\Quelmark\\Quelmark.hlp");
  EXPECT_EQ(machine.winHelps[0].command, 1u);
  EXPECT_EQ(machine.winHelps[0].data, 0u);
  EXPECT_EQ(machine.winHelps[1].file, "C:\\Quelmark\\Quelmark.hlp");
  EXPECT_EQ(machine.winHelps[1].command, 3u);
  EXPECT_EQ(machine.winHelps[1].data, 0u);
  EXPECT_EQ(app.HelpFile(), "C:\\Quelmark\\Quelmark.hlp");

  Send(MenuClickOn(*main->FindMenuItem("Acercade1")));
  EXPECT_TRUE(about->Visible());
  Send(MenuClickOn(*main->FindMenuItem("Cerrar1")));
  EXPECT_TRUE(app.Terminated());
}

// The help file is named by its path beside the program, never searched for; a path the code
// page cannot hold exactly names no file at all (no request is made).
TEST_F(Shell, HelpNamesTheFileBesideTheProgramOrNothing) {
  struct Row {
    std::u16string program;
    std::string helpFile;  // empty: no help request
    UINT codePage;         // the machine's ANSI code page, which the help engine reads
  };
  const Row rows[] = {
      {u"E:\\Herramientas\\Quelmark.exe", "E:\\Herramientas\\Quelmark.hlp", 1252},
      {u"\\\\srv\\soft\\Quelmark.exe", "\\\\srv\\soft\\Quelmark.hlp", 1252},
      {u"C:\\Men\u00FA\\Quelmark.exe", "C:\\Men\xFA\\Quelmark.hlp", 1252},
      {u"C:\\\u041F\u0440\\Quelmark.exe", "", 1252},  // Cyrillic: no ANSI form
      {u"C:\\Tools\\\uFF38\\Quelmark.exe", "", 1252},  // best fit would read "X"
      {u"C:\\\u041F\u0440\\Quelmark.exe", "C:\\\xCF\xF0\\Quelmark.hlp", 1251},
      {u"C:\\Men\u00FA\\Quelmark.exe", "", 1251},  // best fit would read "Menu"
  };
  CreateScripted();
  app.Run();
  for (const Row& row : rows) {
    machine.ansiCodePage = row.codePage;
    machine.programPath = row.program;
    machine.winHelps.clear();
    Send(MenuClickOn(*main->FindMenuItem("Temasdeayuda1")));
    EXPECT_EQ(app.HelpFile(), row.helpFile);
    ASSERT_EQ(machine.winHelps.size(), row.helpFile.empty() ? 0u : 1u) << row.helpFile;
    if (!row.helpFile.empty()) {
      EXPECT_EQ(machine.winHelps[0].file, row.helpFile);
    }
  }
}

}  // namespace
}  // namespace shelltest
