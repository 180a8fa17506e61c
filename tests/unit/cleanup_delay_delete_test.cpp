// What /DELAYDELETE hands to the restart: everything left in the product folders, children
// before their folder, links as links, and nothing outside.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cleanup/delay_delete.h"
#include "platform/sim/machine.h"

namespace {

const std::string kInstall = "C:\\Program Files\\Brantivo\\Tev32\\";
const std::string kDriver = "C:\\WINDOWS\\system32\\drivers\\TEVF.sys";
const std::string kBystander = "C:\\Datos\\informe.doc";

std::u16string U(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

class DelayDelete : public ::testing::Test {
 protected:
  DelayDelete() {
    machine.MakeFile(kInstall + "Tev32.exe", "", FILE_ATTRIBUTE_READONLY);
    machine.MakeFile(kInstall + "Datos\\firmas.dat");
    machine.MakeFile(kBystander);
    machine.MakeLink(kInstall + "Enlace", "C:\\Datos");
    machine.MakeFile(kDriver);
    places.folders = {qm::Widen(kInstall), qm::Widen("C:\\WINDOWS\\Installer\\{X}\\")};
    places.driverFile = qm::Widen(kDriver);
  }
  std::size_t Index(const std::vector<qm::WString>& list, const std::string& path) {
    return static_cast<std::size_t>(
        std::find(list.begin(), list.end(), qm::Widen(path)) - list.begin());
  }

  sim::Machine machine;
  cleanup::ProductPlaces places;
};

TEST_F(DelayDelete, ChildrenGoFirstLinksAsLinksAndTheRestartRemovesAll) {
  machine.HoldOpen(kInstall + "Datos\\firmas.dat");
  const std::vector<qm::WString> scheduled = cleanup::ScheduleLeftoversAtRestart(places);
  ASSERT_EQ(scheduled.size(), 6u);  // two files, the link, the sub-folder, the folder, the driver
  EXPECT_LT(Index(scheduled, kInstall + "Datos\\firmas.dat"), Index(scheduled, kInstall + "Datos"));
  EXPECT_LT(Index(scheduled, kInstall + "Datos"), Index(scheduled, "C:\\Program Files\\Brantivo\\Tev32"));
  EXPECT_LT(Index(scheduled, kInstall + "Enlace"), scheduled.size());
  EXPECT_EQ(Index(scheduled, "C:\\Datos\\informe.doc"), scheduled.size());
  EXPECT_EQ(scheduled.back(), qm::Widen(kDriver));

  machine.Release(kInstall + "Datos\\firmas.dat");
  EXPECT_TRUE(machine.PerformPendingFileOperations().empty());
  EXPECT_FALSE(machine.PathExists(kInstall));
  EXPECT_FALSE(machine.PathExists(kDriver));
  EXPECT_TRUE(machine.PathExists(kBystander));
}

// A sub-folder swapped for a link between its listing and its walk is taken as the link.
TEST_F(DelayDelete, AFolderReplacedByALinkWhileListedIsNeverWalked) {
  machine.OnListed(U(kInstall + "Datos"), [this] {
    machine.MakeLinkW(U(kInstall + "Datos"), U("C:\\Datos"));
  });
  const std::vector<qm::WString> scheduled = cleanup::ScheduleLeftoversAtRestart(places);
  EXPECT_LT(Index(scheduled, kInstall + "Datos"), scheduled.size());
  EXPECT_EQ(Index(scheduled, kInstall + "Datos\\informe.doc"), scheduled.size());
  EXPECT_TRUE(machine.PerformPendingFileOperations().empty());
  EXPECT_TRUE(machine.PathExists(kBystander));
}

// Past MAX_PATH a held file is scheduled under its own name; Windows records it in the file
// system's form, which the restart deletes.
TEST_F(DelayDelete, APathPastMaxPathIsScheduledAsItIs) {
  const std::string held = kInstall + std::string(240, 'd') + "\\held.dat";
  machine.MakeFile(held);
  machine.HoldOpen(held);
  const std::vector<qm::WString> scheduled = cleanup::ScheduleLeftoversAtRestart(places);
  EXPECT_LT(Index(scheduled, held), scheduled.size());
  const std::string pending = machine.ValueBytesW(
      HKEY_LOCAL_MACHINE, U("SYSTEM\\CurrentControlSet\\Control\\Session Manager"),
      U("PendingFileRenameOperations"));
  const std::u16string entries(reinterpret_cast<const char16_t*>(pending.data()),
                               pending.size() / 2);
  EXPECT_NE(entries.find(U("\\??\\" + held) + u'\0'), std::u16string::npos);
  machine.Release(held);
  EXPECT_TRUE(machine.PerformPendingFileOperations().empty());
  EXPECT_FALSE(machine.PathExists(kInstall));
}

TEST_F(DelayDelete, WithoutTheRightToScheduleNothingIsClaimed) {
  machine.administrator = false;
  EXPECT_TRUE(cleanup::ScheduleLeftoversAtRestart(places).empty());
}

}  // namespace
