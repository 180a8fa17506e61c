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

struct Kind {
  const char* name;
  bool wow64;
  bool switchExported;  // Wow64DisableWow64FsRedirection and its revert
};

const Kind kKinds[] = {
    {"32-bit Windows 2000 or XP (no switch)", false, false},
    {"32-bit Windows Vista or later (the switch refuses)", false, true},
    {"32-bit program on 64-bit Windows", true, true},
};

class DriverFile : public ::testing::TestWithParam<Kind> {
 protected:
  DriverFile() {
    machine.wow64 = GetParam().wow64;
    if (!GetParam().switchExported) {
      machine.RemoveExport("Kernel32.DLL", "Wow64DisableWow64FsRedirection");
      machine.RemoveExport("Kernel32.DLL", "Wow64RevertWow64FsRedirection");
    }
    places.folders = {qm::Widen("C:\\Program Files\\Brantivo\\Tev32\\")};
    places.driverFile = qm::Widen(kDriver);
  }

  cleanup::Presence DriverPresence() {
    const std::vector<cleanup::ItemLook> items = cleanup::LookAtProduct(places, {});
    return items.back().presence;
  }

  // After every operation the program's own view is back: on 64-bit Windows its System32 is
  // SysWOW64 again.
  void ExpectViewRestored() {
    EXPECT_FALSE(machine.FsRedirectionOff());
    const bool seesWow64 = GetFileAttributesW(qm::Widen(kDriver).c_str()) != INVALID_FILE_ATTRIBUTES;
    EXPECT_EQ(machine.PathExists(GetParam().wow64 ? kWow64Driver : kDriver), seesWow64);
  }

  sim::Machine machine;
  cleanup::ProductPlaces places;
};

TEST_P(DriverFile, EveryOperationActsOnTheRealSystemFolder) {
  machine.MakeFile(kDriver, "64-bit driver");

  EXPECT_EQ(cleanup::Presence::Present, DriverPresence());
  ExpectViewRestored();

  const std::vector<qm::WString> scheduled = cleanup::ScheduleLeftoversAtRestart(places).scheduled;
  EXPECT_NE(scheduled.end(), std::find(scheduled.begin(), scheduled.end(), qm::Widen(kDriver)));
  ExpectViewRestored();

  // From here a file of the same name in the 32-bit view too, which is not the product's.
  if (GetParam().wow64) machine.MakeFile(kWow64Driver, "not the product's");
  test::NoHost host;
  test::NoServices services;
  cleanup::CleanupRun run(host, services);
  run.LocateProductFolders();
  run.RunCleanup();
  EXPECT_FALSE(machine.PathExists(kDriver));
  // The log names the file as the plan does, whatever view it was deleted through.
  EXPECT_NE(run.LogList.end(),
            std::find(run.LogList.begin(), run.LogList.end(), "  " + kDriver + "'...OK"));
  ExpectViewRestored();

  EXPECT_EQ(cleanup::Presence::Absent, DriverPresence());
  if (GetParam().wow64) {
    EXPECT_EQ("not the product's", machine.FileContent(kWow64Driver));
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, DriverFile, ::testing::ValuesIn(kKinds),
                         [](const ::testing::TestParamInfo<Kind>& info) {
                           return std::string(info.param.wow64 ? "Wow64"
                                              : info.param.switchExported ? "Refusing"
                                                                          : "Missing");
                         });

TEST(DriverFileOn64BitWindows, AFileOnlyInThe32BitViewIsNotTheDriver) {
  sim::Machine machine;
  machine.wow64 = true;
  machine.MakeFile(kWow64Driver, "not the product's");
  cleanup::ProductPlaces places;
  places.driverFile = qm::Widen(kDriver);
  EXPECT_EQ(cleanup::Presence::Absent, cleanup::LookAtProduct(places, {}).back().presence);
  EXPECT_TRUE(cleanup::ScheduleLeftoversAtRestart(places).scheduled.empty());
  EXPECT_TRUE(machine.PathExists(kWow64Driver));
}

}  // namespace
