#include <string>
#include <vector>

#include "shell_fixture.h"

namespace shelltest {
namespace {

const std::string kEndMessage =
    "El producto antivirus Tev32 12.1 ha sido desinstalado correctamente\n"
    "Para que los cambios realizados tengan efecto debe reiniciar el sistema\n"
    "\n"
    "Presione \"Aceptar\" para reiniciar ahora o \"Cancelar\" para reiniciar m\xE1s tarde";

struct Row {
  bool autoMode;
  bool restartNeeded;
  TRebootMode reboot;
  int answer;       // the end message's answer, when it is shown
  bool privilege;   // the account holds the shutdown privilege
  // What the user and the administrator see.
  bool messageShown;
  bool restartRequested;
  bool immediateExit;
  bool windowsRefuses = false;  // ExitWindowsEx turns the request down
};

class OfferRestart : public ::testing::Test {
 protected:
  OfferRestart() { ServeProgramResources(); }
  ~OfferRestart() override { ui::headless::ClearResources(); }

  void Check(const Row& r) {
    SCOPED_TRACE(::testing::Message() << "auto " << r.autoMode << ", restart " << r.restartNeeded
                                      << ", mode " << int(r.reboot) << ", answer " << r.answer
                                      << ", privilege " << r.privilege);
    World w;  // each row on a machine of its own
    sim::Machine& fresh = w.machine;
    fresh.shutdownPrivilege = r.privilege;
    fresh.exitWindowsFails = r.windowsRefuses;
    fresh.messageBoxAnswers.push_back(r.answer);
    TForm1& form = w.app.CreateForm<TForm1>(std::make_unique<ScriptedServices>());
    form.AutoMode = r.autoMode;
    form.RestartNeeded = r.restartNeeded;
    form.RebootMode = r.reboot;

    const Ending end = DestroyWindows(w.app);

    EXPECT_EQ(end.exited, r.immediateExit);
    EXPECT_EQ(end.code, 0u);
    // An immediate exit is the ordinary process exit: the runtime's exit handlers run.
    EXPECT_EQ(end.exitHandlersRun, r.immediateExit);
    if (r.messageShown) {
      ASSERT_EQ(fresh.messageBoxes.size(), 1u);
      EXPECT_EQ(fresh.messageBoxes[0].owner, nullptr);
      EXPECT_EQ(fresh.messageBoxes[0].text, kEndMessage);
      EXPECT_EQ(fresh.messageBoxes[0].caption, "Informaci\xF3n");
      EXPECT_EQ(fresh.messageBoxes[0].flags, 0x41u);
    } else {
      EXPECT_TRUE(fresh.messageBoxes.empty());
    }
    EXPECT_EQ(fresh.exitWindowsRequests,
              r.restartRequested ? std::vector<UINT>{6} : std::vector<UINT>{});
  }
};

TEST_F(OfferRestart, InteractiveRows) {
  //     auto   restart mode           answer    priv   message restart exit
  Check({false, false, RebootNone,    IDOK,     true,  false,  false,  false});
  Check({false, true,  RebootNone,    IDOK,     true,  true,   true,   true});
  Check({false, true,  RebootNone,    IDCANCEL, true,  true,   false,  false});
  Check({false, true,  RebootNone,    IDOK,     false, true,   false,  false});
  // Only Cancel declines: any other answer restarts.
  Check({false, true,  RebootNone,    IDYES,    true,  true,   true,   true});
  // A restart that Windows turns down ends the program normally.
  Check({false, true,  RebootNone,    IDOK,     true,  true,   true,   false, true});
}

TEST_F(OfferRestart, UnattendedRows) {
  //     auto   restart mode           answer    priv   message restart exit
  Check({true,  true,  RebootConfirm, IDOK,     true,  true,   true,   true});
  Check({true,  true,  RebootConfirm, IDCANCEL, true,  true,   false,  false});
  Check({true,  true,  RebootConfirm, IDOK,     false, true,   false,  false});
  Check({true,  true,  RebootAuto,    IDOK,     true,  false,  true,   true});
  Check({true,  true,  RebootAuto,    IDOK,     false, false,  false,  false});
  Check({true,  true,  RebootAuto,    IDOK,     true,  false,  true,   false, true});
  Check({true,  true,  RebootNone,    IDOK,     true,  false,  false,  true});
  Check({true,  false, RebootNone,    IDOK,     true,  false,  false,  true});
  Check({true,  false, RebootAuto,    IDOK,     true,  false,  false,  false});
  Check({true,  false, RebootConfirm, IDOK,     true,  false,  false,  false});
}

TEST_F(OfferRestart, RestartWindowsEnablesThePrivilegeBeforeAsking) {
  sim::Machine machine;
  machine.shutdownPrivilege = true;
  EXPECT_TRUE(RestartWindows());
  EXPECT_EQ(machine.exitWindowsRequests, std::vector<UINT>{EWX_REBOOT | EWX_FORCE});
  machine.shutdownPrivilege = false;
  EXPECT_FALSE(RestartWindows());
  EXPECT_EQ(machine.exitWindowsRequests.size(), 1u);
  EXPECT_EQ(machine.OpenKernelHandles(), 0);
}

// The whole unattended road over the simulated machine, with the real service stage.
TEST_F(Shell, UnattendedRunWithAutomaticRestartAfterTheServiceWasFound) {
  sim::ServiceSpec svc;
  svc.name = "TEVSvc";
  svc.script.stopDelayMs = 500;
  machine.AddService(svc);
  machine.commandLine = "\"C:\\Quelmark\\Quelmark.exe\" /REBOOT_AUTO";
  Create();
  app.Run();
  EXPECT_TRUE(app.Terminated());
  EXPECT_FALSE(machine.ServiceInstalled("TEVSvc"));
  EXPECT_TRUE(main->RestartNeeded);
  EXPECT_FALSE(LogFileExists());
  const Ending end = Finish();
  EXPECT_TRUE(end.exited);
  EXPECT_EQ(machine.exitWindowsRequests, std::vector<UINT>{EWX_REBOOT | EWX_FORCE});
  EXPECT_TRUE(machine.messageBoxes.empty());
}

TEST_F(Shell, UnattendedLogOnlyRunWritesTheLogAndExitsAtOnce) {
  machine.commandLine = "\"C:\\Quelmark\\Quelmark.exe\" /CREATELOG";
  Create();
  app.Run();
  ASSERT_TRUE(LogFileExists());
  EXPECT_NE(LogFile().find("  El Servicio TEVSvc no existe en el sistema\r\n"), std::string::npos);
  const Ending end = Finish();
  EXPECT_TRUE(end.exited);
  EXPECT_TRUE(machine.exitWindowsRequests.empty());
  EXPECT_TRUE(machine.messageBoxes.empty());
}

}  // namespace
}  // namespace shelltest

namespace shelltest {
namespace {

// The end message has no owner, so the main window stays usable while it is shown, after the
// about box and the log viewer have already been destroyed: what the user does there must
// reach none of the program's handlers.
TEST_F(Shell, InputWhileTheWindowsAreDestroyedReachesNoHandler) {
  class InputDuringDestroy : public ScriptedServices {
   public:
    void FreeServiceSnapshot() override {
      ScriptedServices::FreeServiceSnapshot();
      if (duringFree) duringFree();
    }
    std::function<void()> duringFree;
  };
  auto owned = std::make_unique<InputDuringDestroy>();
  InputDuringDestroy& services = *owned;
  Create(std::move(owned));
  app.Run();
  Send(ui::headless::ClickOn(*main->Button1));
  ASSERT_EQ(main->Button1->Caption(), "Mostrar Fichero log");
  ASSERT_TRUE(main->RestartNeeded);

  bool reached = false;
  services.duringFree = [&] {
    main->Button1->OnClick = [&] { reached = true; };
    Send(ui::headless::ClickOn(*main->Button1));
    Send(ui::headless::MenuClickOn(*main->FindMenuItem("Acercade1")));
    Send(ui::headless::MouseMoveOver(*main));
    Send(ui::headless::ActivationOf(*main));
    Send(ui::headless::CloseRequestOf(*main));
  };
  machine.messageBoxAnswers.push_back(IDCANCEL);
  const Ending end = Finish();
  EXPECT_FALSE(reached);
  EXPECT_FALSE(end.exited);
  ASSERT_EQ(machine.messageBoxes.size(), 1u);
  EXPECT_EQ(machine.messageBoxes[0].caption, "Informaci\xF3n");
}

}  // namespace
}  // namespace shelltest
