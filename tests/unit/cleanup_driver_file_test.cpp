// The driver file is the one in the real system folder on every kind of Windows: the files
// stage deletes it, the look after the run reports it and /DELAYDELETE schedules it there,
// also for a 32-bit program on 64-bit Windows, whose own view of System32 is SysWOW64.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cleanup/delay_delete.h"
#include "cleanup/run.h"
#include "cleanup/verify.h"
#include "platform/sim/machine.h"
#include "tests/unit/cleanup_fakes.h"

namespace {

const std::string kDriver = "C:\\WINDOWS\\system32\\drivers\\TEVF.sys";
const std::string kWow64Driver = "C:\\WINDOWS\\SysWOW64\\drivers\\TEVF.sys";

TEST(DriverFile, EveryOperationActsOnTheRealSystemFolder) {
  struct Kind {
    const char* name;
    bool wow64;
    bool switchExported;  // Wow64DisableWow64FsRedirection and its revert
  } const kinds[] = {
      {"32-bit Windows 2000 or XP (no switch)", false, false},
      {"32-bit Windows Vista or later (the switch refuses)", false, true},
      {"32-bit program on 64-bit Windows", true, true},
  };
  for (const Kind& kind : kinds) {
    SCOPED_TRACE(kind.name);
    sim::Machine machine;
    machine.wow64 = kind.wow64;
    if (!kind.switchExported) {
      machine.RemoveExport("Kernel32.DLL", "Wow64DisableWow64FsRedirection");
      machine.RemoveExport("Kernel32.DLL", "Wow64RevertWow64FsRedirection");
    }
    cleanup::ProductPlaces places;
    places.folders = {qm::Widen("C:\\Program Files\\Brantivo\\Tev32\\")};
    places.driverFile = qm::Widen(kDriver);
    const auto driverPresence = [&] { return cleanup::LookAtProduct(places, {}).back().presence; };
    // After every operation the program's own view is back: on 64-bit Windows its System32 is
    // SysWOW64 again.
    const auto expectViewRestored = [&] {
      EXPECT_FALSE(machine.FsRedirectionOff());
      const bool seen = GetFileAttributesW(qm::Widen(kDriver).c_str()) != INVALID_FILE_ATTRIBUTES;
      EXPECT_EQ(machine.PathExists(kind.wow64 ? kWow64Driver : kDriver), seen);
    };
    machine.MakeFile(kDriver, "64-bit driver");

    EXPECT_EQ(cleanup::Presence::Present, driverPresence());
    expectViewRestored();

    const std::vector<qm::WString> scheduled =
        cleanup::ScheduleLeftoversAtRestart(places).scheduled;
    EXPECT_NE(scheduled.end(), std::find(scheduled.begin(), scheduled.end(), qm::Widen(kDriver)));
    expectViewRestored();

    // From here a file of the same name in the 32-bit view too, which is not the product's.
    if (kind.wow64) machine.MakeFile(kWow64Driver, "not the product's");
    test::NoHost host;
    test::NoServices services;
    cleanup::CleanupRun run(host, services);
    run.LocateProductFolders();
    run.RunCleanup();
    EXPECT_FALSE(machine.PathExists(kDriver));
    // The log names the file as the plan does, whatever view it was deleted through.
    EXPECT_NE(run.LogList.end(),
              std::find(run.LogList.begin(), run.LogList.end(), "  " + kDriver + "'...OK"));
    expectViewRestored();

    EXPECT_EQ(cleanup::Presence::Absent, driverPresence());
    if (kind.wow64) {
      EXPECT_EQ("not the product's", machine.FileContent(kWow64Driver));
    }
  }
}

}  // namespace
