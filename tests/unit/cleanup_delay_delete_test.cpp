// What /DELAYDELETE hands to the restart: everything left in the product folders, children
// before their folder, links as links, and nothing outside.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cleanup/delay_delete.h"
#include "platform/raii.h"
#include "platform/sim/machine.h"

namespace {

const std::string kInstall = "C:\\Program Files\\Brantivo\\Tev32\\";
const std::string kDriver = "C:\\WINDOWS\\system32\\drivers\\TEVF.sys";
const std::string kBystander = "C:\\Datos\\informe.doc";

std::u16string U(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// Where `path` is in `list`; its size when it is not there.
std::size_t Index(const std::vector<qm::WString>& list, const std::string& path) {
  return static_cast<std::size_t>(std::find(list.begin(), list.end(), qm::Widen(path)) -
                                  list.begin());
}

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
  sim::Machine machine;
  cleanup::ProductPlaces places;
};

TEST_F(DelayDelete, ChildrenGoFirstLinksAsLinksAndTheRestartRemovesAll) {
  machine.HoldOpen(kInstall + "Datos\\firmas.dat");
  const std::vector<qm::WString> scheduled = cleanup::ScheduleLeftoversAtRestart(places).scheduled;
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
  const std::vector<qm::WString> scheduled = cleanup::ScheduleLeftoversAtRestart(places).scheduled;
  EXPECT_LT(Index(scheduled, kInstall + "Datos"), scheduled.size());
  EXPECT_EQ(Index(scheduled, kInstall + "Datos\\informe.doc"), scheduled.size());
  EXPECT_TRUE(machine.PerformPendingFileOperations().empty());
  EXPECT_TRUE(machine.PathExists(kBystander));
}

// Past MAX_PATH a held file is scheduled under its own name, and the restart deletes it.
TEST_F(DelayDelete, APathPastMaxPathIsScheduledAsItIs) {
  const std::string held = kInstall + std::string(240, 'd') + "\\held.dat";
  machine.MakeFile(held);
  machine.HoldOpen(held);
  const std::vector<qm::WString> scheduled = cleanup::ScheduleLeftoversAtRestart(places).scheduled;
  EXPECT_LT(Index(scheduled, held), scheduled.size());
  machine.Release(held);
  EXPECT_TRUE(machine.PerformPendingFileOperations().empty());
  EXPECT_FALSE(machine.PathExists(kInstall));
}

TEST_F(DelayDelete, WithoutTheRightToScheduleNothingIsClaimed) {
  machine.administrator = false;
  EXPECT_TRUE(cleanup::ScheduleLeftoversAtRestart(places).scheduled.empty());
}

// Another account on the machine, a standard user.
const std::string kUser = "S-1-5-21-7-8-9-1001";
// A folder that user created: theirs, with what it inherits from the drive root.
const std::string kUserOwns = "O:" + kUser + "D:(A;OICI;FA;;;" + kUser +
                              ")(A;OICIID;FA;;;BA)(A;OICIID;FA;;;SY)(A;OICIID;0x1200a9;;;BU)";

// Windows XP's drive root: Users may create folders there, not remove them.
const std::string kXpRoot =
    "O:BAD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICIIO;GA;;;CO)(A;OICI;0x1200a9;;;BU)"
    "(A;CI;0x4;;;BU)(A;;0x1200a9;;;WD)";

// What a place's security lets through: nothing is scheduled where a non-administrator could
// change a name on its way, and the first refusal says where and why.
TEST(DelayDeleteSecurity, ANameAStandardUserCouldChangeIsLeftAndTheReasonNamesIt) {
  struct Case {
    const char* name;
    std::string path;      // where the security text goes
    std::string security;
    std::string refused;   // the path the refusal names; empty: everything is scheduled
    cleanup::Refusal reason;
  };
  const std::string tev = "C:\\Program Files\\Brantivo\\Tev32";
  const Case cases[] = {
      {"Program Files made by a user (Spanish 2000/XP)", "C:\\Program Files", kUserOwns,
       "C:\\Program Files", cleanup::Refusal::ForeignOwner},
      {"Users may delete what the product folder holds", tev,
       "O:BAD:(A;OICI;FA;;;BA)(A;CI;0x40;;;BU)", tev, cleanup::Refusal::ContentsOpenToOthers},
      {"a sub-folder Users may modify", tev + "\\Datos",
       "O:BAD:(A;OICIID;FA;;;BA)(A;OICIID;0x1301bf;;;BU)", tev + "\\Datos",
       cleanup::Refusal::OpenToOthers},
      {"a denial does not take back what an entry gives", tev + "\\Datos",
       "O:BAD:(D;;SD;;;BU)(A;;FA;;;AU)", tev + "\\Datos", cleanup::Refusal::OpenToOthers},
      {"GENERIC_ALL to Everyone on a file", tev + "\\Tev32.exe", "O:SYD:(A;;GA;;;WD)",
       tev + "\\Tev32.exe", cleanup::Refusal::OpenToOthers},
      {"a file without a list", tev + "\\Tev32.exe", "O:BAD:NO_ACCESS_CONTROL",
       tev + "\\Tev32.exe", cleanup::Refusal::NoAccessList},
      {"CREATOR OWNER counts as another principal", tev + "\\Datos",
       "O:BAD:(A;;FA;;;BA)(A;;FA;;;CO)", tev + "\\Datos", cleanup::Refusal::OpenToOthers},
      {"a folder on the way that is a junction", "C:\\Program Files", "O:BAD:(A;;FA;;;BA)",
       "C:\\Program Files\\Brantivo", cleanup::Refusal::ThroughLink},
      {"a list this program may not read", tev + "\\Datos", "O:" + kUser + "D:",
       tev + "\\Datos", cleanup::Refusal::Unreadable},
      // Safe: inherit-only entries, GENERIC_WRITE (no delete), trusted owners.
      {"inherit-only entries for others", tev,
       "O:BAD:(A;;FA;;;BA)(A;OICIIO;GA;;;CO)(A;OICIIO;GA;;;BU)", "", {}},
      {"GENERIC_WRITE to Users", tev + "\\Tev32.exe", "O:BAD:(A;;GA;;;BA)(A;;GW;;;BU)", "", {}},
      {"XP's Program Files: Power Users may modify", "C:\\Program Files",
       "O:BAD:(A;CIOI;GRGX;;;BU)(A;CIOI;GRGWGXSD;;;PU)(A;CIOI;GA;;;BA)(A;CIOI;GA;;;SY)"
       "(A;CIOIIO;GA;;;CO)",
       "", {}},
      {"Terminal Server User may modify", tev, "O:BAD:(A;;FA;;;BA)(A;CIOI;GRGWGXSD;;;S-1-5-13)",
       tev, cleanup::Refusal::OpenToOthers},
      {"owned by TrustedInstaller",
       "C:\\Program Files", "O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"
       "D:(A;;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)"
       "(A;;0x1301bf;;;BA)(A;;0x1301bf;;;SY)(A;;0x1200a9;;;BU)",
       "", {}},
      {"owned by the account the program runs as", tev,
       "O:S-1-5-21-1004336348-1177238915-682003330-500D:(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;WD)",
       "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Machine m;
    m.MakeFile(kInstall + "Tev32.exe");
    m.MakeFile(kInstall + "Datos\\firmas.dat");
    cleanup::ProductPlaces places;
    places.folders = {qm::Widen(kInstall)};
    if (std::string(c.name) == "a folder on the way that is a junction") {
      m.MakeFile("C:\\Otro\\Tev32\\Tev32.exe");
      m.MakeLink("C:\\Program Files\\Brantivo", "C:\\Otro");
    }
    m.SetSecurity(c.path, c.security);
    const cleanup::LeftoverSchedule out = cleanup::ScheduleLeftoversAtRestart(places);
    if (c.refused.empty()) {
      EXPECT_TRUE(out.left.empty());
      EXPECT_LT(Index(out.scheduled, tev), out.scheduled.size());
      continue;
    }
    ASSERT_EQ(out.left.size(), 1u);
    EXPECT_EQ(out.left[0].place, qm::Widen(kInstall));
    EXPECT_EQ(out.left[0].path, qm::Widen(c.refused));
    EXPECT_EQ(out.left[0].reason, c.reason);
    EXPECT_EQ(Index(out.scheduled, tev), out.scheduled.size());  // the folder itself stays
    for (const qm::WString& path : out.scheduled)  // what went is beside the refused name
      EXPECT_NE(path.rfind(qm::Widen(c.refused), 0), 0u);
  }
}

// A standard user who may change a folder on the way swaps it for a junction before the walk
// reaches it, while its contents are listed, or after the schedule is written; whatever they
// manage, the restart deletes nothing outside the product.
TEST(DelayDeleteSecurity, AJunctionSwappedInNeverLeadsTheRestartOutsideTheProduct) {
  const std::vector<std::string> chain = {"C:\\Program Files", "C:\\Program Files\\Brantivo",
                                          "C:\\Program Files\\Brantivo\\Tev32",
                                          "C:\\Program Files\\Brantivo\\Tev32\\Datos"};
  const std::vector<std::string> files = {"C:\\Program Files\\Brantivo\\Tev32\\Tev32.exe",
                                          "C:\\Program Files\\Brantivo\\Tev32\\Datos\\firmas.dat"};
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> securities;  // path, security text
    bool productGoes;  // the restart removes the product, and every swap fails
  };
  const Case cases[] = {
      {"nothing open to users", {}, true},
      {"Program Files made by the user", {{chain[0], kUserOwns}}, false},
      {"Users may delete what Tev32 holds", {{chain[2], "O:BAD:(A;CI;FA;;;BA)(A;CI;0x44;;;BU)"}},
       false},
      {"Users may create folders in Tev32 and modify Datos",
       {{chain[2], "O:BAD:(A;;FA;;;BA)(A;;0x1200ad;;;BU)"},
        {chain[3], "O:BAD:(A;;FA;;;BA)(A;;0x1301bf;;;BU)"}},
       false},
  };
  enum class When { BeforeDatosIsWalked, WhileDatosIsListed, AfterTheSchedule };
  for (const Case& c : cases) {
    for (When when : {When::BeforeDatosIsWalked, When::WhileDatosIsListed,
                      When::AfterTheSchedule}) {
      SCOPED_TRACE(::testing::Message() << c.name << ", swap " << static_cast<int>(when));
      sim::Machine m;
      for (const std::string& file : files) m.MakeFile(file);
      m.SetSecurity("C:\\", kXpRoot);
      // Beneath each victim folder, the names the product's paths would lead to through it.
      std::vector<std::string> victims;
      for (size_t i = 0; i < chain.size(); ++i)
        for (const std::string& file : files)
          if (file.rfind(chain[i] + "\\", 0) == 0) {
            victims.push_back("C:\\Victima" + std::to_string(i) + file.substr(chain[i].size()));
            m.MakeFile(victims.back());
          }
      for (const auto& security : c.securities) m.SetSecurity(security.first, security.second);
      int swaps = 0;
      const auto attack = [&m, &chain, &swaps] {
        for (size_t i = 0; i < chain.size(); ++i)
          swaps += m.ReplaceWithJunctionAsUser(U(chain[i]), U("C:\\Victima" + std::to_string(i)),
                                               kUser);
      };
      if (when == When::BeforeDatosIsWalked) m.OnListed(U(chain[3]), attack);
      if (when == When::WhileDatosIsListed) m.OnListed(U(files[1]), attack);
      cleanup::ProductPlaces places;
      places.folders = {qm::Widen(chain[2] + "\\")};
      const cleanup::LeftoverSchedule out = cleanup::ScheduleLeftoversAtRestart(places);
      EXPECT_EQ(out.left.empty(), c.productGoes);
      if (when == When::AfterTheSchedule) attack();
      m.PerformPendingFileOperations();
      for (const std::string& victim : victims) EXPECT_TRUE(m.PathExists(victim)) << victim;
      EXPECT_EQ(m.PathExists(chain[2]), !c.productGoes);
      if (when == When::AfterTheSchedule) {
        EXPECT_EQ(swaps == 0, c.productGoes);
      }
    }
  }
}

// Each folder from the volume root down is held, refusing deletion and renaming by anyone
// else, while the folder below it is listed.
TEST_F(DelayDelete, EveryFolderOnTheWayIsHeldWhileAFolderIsListed) {
  std::string unheld;
  machine.OnListed(U(kInstall + "Datos\\firmas.dat"), [&unheld] {
    for (const char* folder : {"C:\\", "C:\\Program Files", "C:\\Program Files\\Brantivo",
                               "C:\\Program Files\\Brantivo\\Tev32",
                               "C:\\Program Files\\Brantivo\\Tev32\\Datos"}) {
      qm::unique_file other(CreateFileW(U(folder).c_str(), DELETE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                        nullptr));
      if (other || GetLastError() != ERROR_SHARING_VIOLATION) unheld += std::string(folder) + " ";
    }
  });
  cleanup::ScheduleLeftoversAtRestart(places);
  EXPECT_EQ(unheld, "");
  EXPECT_EQ(machine.OpenKernelHandles(), 0);
}

}  // namespace
