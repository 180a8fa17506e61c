// The services stage's operations over the simulated service control manager and its
// virtual clock: every answer of StopService with the pacing it takes, the failure paths,
// the removal, the snapshot, and the log lines the run writes for each answer.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cleanup/pump.h"
#include "cleanup/run.h"
#include "cleanup/services.h"
#include "ntservice/advapi32.h"
#include "ntservice/ntexception.h"
#include "platform/exception.h"
#include "platform/raii.h"
#include "platform/sim/machine.h"

namespace {

using Sleeps = std::vector<DWORD>;

// n sleeps of ms each, then the closing pause.
Sleeps Polls(int n, DWORD ms) {
  Sleeps sleeps(static_cast<std::size_t>(n), ms);
  sleeps.push_back(2000);
  return sleeps;
}

sim::ServiceScript StopsAfter(int ms) {
  sim::ServiceScript script;
  script.stopDelayMs = ms;
  return script;
}

sim::ServiceScript IgnoresStop() {
  sim::ServiceScript script;
  script.ignoresStop = true;
  return script;
}

sim::ServiceScript StartPendingUntil(int ms, DWORD after) {
  sim::ServiceScript script;
  script.startPendingUntilMs = ms;
  script.stateAfterStart = after;
  return script;
}

class ServiceStageTest : public ::testing::Test {
 protected:
  ServiceStageTest() {
    cleanup::SetMessagePump([this] { ++pumps; });
  }
  ~ServiceStageTest() override { cleanup::SetMessagePump(nullptr); }

  void Add(const std::string& name, DWORD state, sim::ServiceScript script = StopsAfter(0)) {
    sim::ServiceSpec spec;
    spec.name = name;
    spec.state = state;
    spec.script = script;
    machine.AddService(spec);
  }

  // StopService on a fresh stage whose snapshot was taken at window creation.
  int Stop(const std::string& name) {
    stage.RefreshServiceList();
    return stage.StopService(name);
  }

  void ExpectAllClosed() {
    EXPECT_EQ(machine.OpenServiceHandles(), 0);
    EXPECT_FALSE(stage.NTServiceManager1.GetActiveManager());
    EXPECT_FALSE(stage.NTServiceManager1.GetActiveService());
  }

  sim::Machine machine;
  Advapi32::Binding binding;
  cleanup::ServiceStage stage;
  int pumps = 0;
};

TEST_F(ServiceStageTest, StartsWithTheDesignValuesAndNoSnapshot) {
  EXPECT_EQ(stage.NTServiceManager1.GetManagerAccess(), 1u);
  EXPECT_EQ(stage.NTServiceManager1.GetServiceAccess(), 983551u);
  EXPECT_FALSE(stage.ServiceSnapshot);
  EXPECT_FALSE(stage.ServiceExists("TEVSvc"));
  ExpectAllClosed();
}

// ---- a running service

TEST_F(ServiceStageTest, ARunningServiceThatStopsWithinTheFirstSecond) {
  Add("TEVSvc", SERVICE_RUNNING, StopsAfter(500));
  EXPECT_EQ(Stop("TEVSvc"), 0);
  EXPECT_EQ(machine.Sleeps(), (Sleeps{1000, 2000}));
  EXPECT_EQ(machine.stopRequestTimes.size(), 1u);
  EXPECT_EQ(pumps, 3) << "one per poll and two around the closing pause";
  ExpectAllClosed();
}

TEST_F(ServiceStageTest, ARunningServiceThatStopsAfterSomePolls) {
  Add("TEVSvc", SERVICE_RUNNING, StopsAfter(2500));
  EXPECT_EQ(Stop("TEVSvc"), 0);
  EXPECT_EQ(machine.Sleeps(), Polls(3, 1000));
}

TEST_F(ServiceStageTest, ARunningServiceStillRunningAtTheFirstPoll) {
  Add("TEVSvc", SERVICE_RUNNING, IgnoresStop());
  EXPECT_EQ(Stop("TEVSvc"), 504);
  EXPECT_EQ(machine.Sleeps(), Polls(1, 1000));
  ExpectAllClosed();
}

TEST_F(ServiceStageTest, ARunningServiceStuckInStopPending) {
  Add("TEVSvc", SERVICE_RUNNING, StopsAfter(-1));
  EXPECT_EQ(Stop("TEVSvc"), 504);
  EXPECT_EQ(machine.Sleeps(), Polls(10, 1000));
  EXPECT_EQ(pumps, 12);
  ExpectAllClosed();
}

// ---- a start-pending service

TEST_F(ServiceStageTest, AStartPendingServiceThatComesUpIsAskedToStop) {
  Add("TEVSvc", SERVICE_START_PENDING, StartPendingUntil(3000, SERVICE_RUNNING));
  EXPECT_EQ(Stop("TEVSvc"), 0);
  EXPECT_EQ(machine.Sleeps(), (Sleeps{2000, 2000, 1000, 2000}));
  EXPECT_EQ(machine.stopRequestTimes, (std::vector<DWORD>{4000}));
  const TServiceStatusClass& record =
      stage.ServiceSnapshot->GetItem(stage.ServiceSnapshot->IndexOf("TEVSvc"));
  EXPECT_EQ(record.CurrentState, TCurrentState::STOPPED) << "the snapshot record is marked";
  ExpectAllClosed();
}

TEST_F(ServiceStageTest, AStartPendingServiceThatEndsStopped) {
  Add("TEVSvc", SERVICE_START_PENDING, StartPendingUntil(3000, SERVICE_STOPPED));
  EXPECT_EQ(Stop("TEVSvc"), 501);
  EXPECT_EQ(machine.Sleeps(), Polls(2, 2000));
  EXPECT_TRUE(machine.stopRequestTimes.empty());
}

TEST_F(ServiceStageTest, AStartPendingServiceThatNeverComesUp) {
  Add("TEVSvc", SERVICE_START_PENDING, StartPendingUntil(1000000, SERVICE_RUNNING));
  EXPECT_EQ(Stop("TEVSvc"), 501);
  EXPECT_EQ(machine.Sleeps(), Polls(10, 2000));
  ExpectAllClosed();
}

// ---- states that answer at once

TEST_F(ServiceStageTest, SettledAndPendingStatesAnswerAtOnce) {
  const struct {
    const char* name;
    DWORD state;
    int code;
  } cases[] = {{"Stopped", SERVICE_STOPPED, 500},
               {"StopPending", SERVICE_STOP_PENDING, 502},
               {"ContinuePending", SERVICE_CONTINUE_PENDING, 503},
               {"PausePending", SERVICE_PAUSE_PENDING, 504},
               {"Paused", SERVICE_PAUSED, 505}};
  for (const auto& c : cases) Add(c.name, c.state);
  stage.RefreshServiceList();
  for (const auto& c : cases) {
    EXPECT_EQ(stage.StopService(c.name), c.code) << c.name;
    ExpectAllClosed();
  }
  EXPECT_EQ(machine.Sleeps(), Sleeps(5, 2000)) << "only the closing pause";
  EXPECT_TRUE(machine.stopRequestTimes.empty());
  EXPECT_TRUE(machine.ServiceInstalled("Stopped"));
}

TEST_F(ServiceStageTest, TheStateIsLookedUpWithoutRegardToAsciiCase) {
  Add("TEVSvc", SERVICE_PAUSED);
  stage.RefreshServiceList();
  EXPECT_FALSE(stage.ServiceExists("tevsvc"));
  EXPECT_EQ(stage.StopService("tevsvc"), 505);
}

// ---- failures

TEST_F(ServiceStageTest, AServiceThatCannotBeOpenedClosesEverythingAndPropagates) {
  Add("TEVSvc", SERVICE_RUNNING);
  machine.DenyServiceOpen("TEVSvc");
  try {
    Stop("TEVSvc");
    FAIL() << "no exception";
  } catch (const ENTException& e) {
    EXPECT_EQ(e.ErrorCode, 5u);
  }
  ExpectAllClosed();
  EXPECT_TRUE(machine.Sleeps().empty()) << "the closing pause is skipped";
}

TEST_F(ServiceStageTest, ARefusedStopRequestClosesEverythingAndPropagates) {
  Add("TEVSvc", SERVICE_RUNNING);
  machine.DenyServiceControl("TEVSvc");
  EXPECT_THROW(Stop("TEVSvc"), ENTException);
  ExpectAllClosed();
}

TEST_F(ServiceStageTest, AServiceMissingFromTheSnapshotClosesEverythingAndPropagates) {
  sim::ServiceSpec driver;
  driver.name = "TevDrv";
  driver.type = SERVICE_KERNEL_DRIVER;
  machine.AddService(driver);  // openable, but drivers are never in the snapshot
  EXPECT_THROW(Stop("TevDrv"), EListError);
  ExpectAllClosed();
}

TEST_F(ServiceStageTest, AFailedRefreshPropagatesAndLeavesNoSnapshot) {
  Add("TEVSvc", SERVICE_RUNNING);
  stage.RefreshServiceList();
  machine.DenyManagerOpen();
  EXPECT_THROW(stage.StopService("TEVSvc"), ENTException);
  EXPECT_FALSE(stage.ServiceSnapshot);
  EXPECT_FALSE(stage.ServiceExists("TEVSvc"));
  ExpectAllClosed();
}

// ---- removal

TEST_F(ServiceStageTest, RemoveServiceDeletesTheServiceAndPauses) {
  Add("TEVSvc", SERVICE_STOPPED);
  stage.RemoveService("TEVSvc");
  EXPECT_FALSE(machine.ServiceInstalled("TEVSvc"));
  EXPECT_EQ(machine.Sleeps(), (Sleeps{2000}));
  ExpectAllClosed();
}

// An earlier removal waits for the restart (1072): as good as removed, and the stage is left
// as after a deletion, so a later stop is not refused.
TEST_F(ServiceStageTest, RemovingAServiceMarkedForDeletionCountsAsRemovedAndClosesBoth) {
  Add("TEVSvc", SERVICE_STOPPED);
  TNTServiceManager keeper;  // its open handle keeps the marked service registered
  keeper.SetServiceName("TEVSvc");
  keeper.SetActiveService(true);
  TNTServiceManager deleter;
  deleter.SetServiceName("TEVSvc");
  deleter.DeleteService();
  ASSERT_TRUE(machine.ServiceMarkedForDeletion("TEVSvc"));

  EXPECT_NO_THROW(stage.RemoveService("TEVSvc"));
  EXPECT_FALSE(stage.NTServiceManager1.GetActiveManager());
  EXPECT_FALSE(stage.NTServiceManager1.GetActiveService());
  EXPECT_EQ(machine.Sleeps(), (Sleeps{2000}));
  EXPECT_EQ(stage.StopService("TEVSvc"), cleanup::ServiceWasStopped);
}

TEST_F(ServiceStageTest, AnyOtherFailedDeletionStillLeavesBothOpen) {
  Add("TEVSvc", SERVICE_STOPPED);
  machine.DenyServiceDelete("TEVSvc");
  try {
    stage.RemoveService("TEVSvc");
    FAIL() << "no exception";
  } catch (const ENTException& e) {
    EXPECT_EQ(e.ErrorCode, static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
  }
  EXPECT_TRUE(stage.NTServiceManager1.GetActiveManager());
  EXPECT_TRUE(stage.NTServiceManager1.GetActiveService());
  EXPECT_TRUE(machine.Sleeps().empty());
  stage.NTServiceManager1.SetActiveService(false);
}

// ---- the snapshot

TEST_F(ServiceStageTest, ServiceExistsIsCaseSensitiveAndNeverRefreshes) {
  Add("TEVSvc", SERVICE_RUNNING);
  sim::ServiceSpec driver;
  driver.name = "TevDrv";
  driver.type = SERVICE_FILE_SYSTEM_DRIVER;
  machine.AddService(driver);
  stage.RefreshServiceList();
  Add("Later", SERVICE_RUNNING);

  EXPECT_TRUE(stage.ServiceExists("TEVSvc"));
  EXPECT_FALSE(stage.ServiceExists("TEVSVC"));
  EXPECT_FALSE(stage.ServiceExists("TevDrv"));
  EXPECT_FALSE(stage.ServiceExists("Later"));
  ExpectAllClosed();
}

// ---- the run's services stage

class RecordingHost : public cleanup::RunHost {
 public:
  void StageStarted(cleanup::Stage) override {}
  void StageFinished(cleanup::Stage stage, bool ok) override {
    if (stage == cleanup::Stage::Services) servicesOk = ok;
  }
  void HideAllMarks() override {}
  bool servicesOk = false;
};

struct RunCase {
  DWORD state;
  sim::ServiceScript script;
  std::string line;
  bool removed;
};

TEST(ServiceStageRun, TheRunLogsEveryAnswer) {
  const RunCase cases[] = {
      {SERVICE_RUNNING, StopsAfter(0), "  El Servicio TEVSvc se detuvo correctamente", true},
      {SERVICE_STOPPED, StopsAfter(0), "  El Servicio TEVSvc ya estaba detenido", false},
      {SERVICE_START_PENDING, StartPendingUntil(1000000, SERVICE_RUNNING),
       "  El Servicio TEVSvc en este momento se est\xE1 iniciando", false},
      {SERVICE_STOP_PENDING, StopsAfter(0), "  El Servicio TEVSvc en este momento se est\xE1 deteniendo",
       false},
      {SERVICE_CONTINUE_PENDING, StopsAfter(0), "  El estado de Servicio TEVSvc continua pendiente", false},
      {SERVICE_RUNNING, IgnoresStop(), "  El Servicio TEVSvc se est\xE1 poniendo en pausa", false},
      {SERVICE_PAUSED, StopsAfter(0), "  El Servicio TEVSvc est\xE1 en pausa", false},
  };
  for (const RunCase& c : cases) {
    SCOPED_TRACE(c.line);
    sim::Machine runMachine;
    Advapi32::Binding binding;
    sim::ServiceSpec spec;
    spec.name = "TEVSvc";
    spec.state = c.state;
    spec.script = c.script;
    runMachine.AddService(spec);
    cleanup::ServiceStage services;
    services.RefreshServiceList();  // the snapshot of window creation
    RecordingHost host;
    cleanup::CleanupRun run(host, services);
    run.LocateProductFolders();
    run.RunCleanup();

    ASSERT_GE(run.LogList.size(), 3u);
    EXPECT_EQ(run.LogList[2], c.line);
    EXPECT_EQ(run.LogList[3], " ") << "the next stage follows";
    EXPECT_TRUE(run.RestartNeeded);
    EXPECT_EQ(host.servicesOk, c.removed);
    EXPECT_EQ(runMachine.ServiceInstalled("TEVSvc"), !c.removed);
  }
}

// An earlier removal that waits for the restart: the service still runs and is marked for
// deletion (another program holds a handle). The deletion answers 1072; the service counts
// as removed and every later stage runs.
TEST(ServiceStageRun, AServiceMarkedForDeletionCountsAsRemovedAndTheRunGoesOn) {
  sim::Machine runMachine;
  Advapi32::Binding binding;
  sim::ServiceSpec spec;
  spec.name = "TEVSvc";
  runMachine.AddService(spec);
  runMachine.MakeFile("C:\\Program Files\\Brantivo\\Tev32\\Tev32.exe");
  runMachine.SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brantivo\\TEV32", "Version", "12.1");
  sim::ProcessSpec tray;
  tray.exe = "TevTray.exe";
  runMachine.StartProcess(tray);
  qm::unique_service manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  qm::unique_service earlier(OpenServiceA(manager.get(), "TEVSvc", DELETE));
  ASSERT_TRUE(DeleteService(earlier.get()));

  cleanup::ServiceStage services;
  services.RefreshServiceList();
  RecordingHost host;
  cleanup::CleanupRun run(host, services);
  run.LocateProductFolders();
  ASSERT_NO_THROW(run.RunCleanup());

  EXPECT_EQ(run.LogList[2], "  El Servicio TEVSvc se detuvo correctamente");
  EXPECT_TRUE(host.servicesOk);
  EXPECT_TRUE(run.RestartNeeded);
  EXPECT_EQ(std::count(run.LogList.begin(), run.LogList.end(),
                       "  El proceso TevTray.exe se finaliz\xF3 correctamente"),
            1);
  EXPECT_FALSE(runMachine.KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brantivo\\TEV32"));
  EXPECT_FALSE(runMachine.PathExists("C:\\Program Files\\Brantivo\\Tev32"));
  EXPECT_EQ(runMachine.OpenServiceHandles(), 2);  // only the earlier program's
  earlier.reset();
  manager.reset();
  EXPECT_FALSE(runMachine.ServiceInstalled("TEVSvc"));
}

}  // namespace
