// The plan tables and the folders derived from the machine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <utility>

#include "cleanup/plan.h"
#include "tests/bytes.h"
#include "cleanup/run.h"
#include "platform/sim/machine.h"
#include "tests/unit/cleanup_fakes.h"

namespace {

using cleanup::StringList;

// The packed form of a Windows Installer code: the first three groups reversed digit by
// digit, then the two digits of each following byte swapped.
std::string Packed(const std::string& code) {
  std::string hex;
  for (char c : code)
    if (std::isxdigit(static_cast<unsigned char>(c))) hex += c;
  std::string packed;
  for (auto [start, length] : {std::pair{0, 8}, {8, 4}, {12, 4}})
    packed.append(hex.rbegin() + (32 - start - length), hex.rbegin() + (32 - start));
  for (int i = 16; i < 32; i += 2) packed += std::string{hex[i + 1], hex[i]};
  return packed;
}

TEST(Plan, TablesHoldTheirEntryCounts) {
  EXPECT_EQ(cleanup::PlanServices.size(), 1u);
  EXPECT_EQ(cleanup::PlanProcesses.size(), 3u);
  EXPECT_EQ(cleanup::PlanClassesRootKeys.size(), 13u);
  EXPECT_EQ(cleanup::PlanLocalMachineKeys.size(), 13u);
  EXPECT_EQ(cleanup::PlanCurrentUserKeys.size(), 1u);
  EXPECT_EQ(cleanup::PlanRunValues.size(), 2u);
  EXPECT_EQ(cleanup::PlanSharedDllFiles.size(), 5u);
}

TEST(Plan, InstallerKeysNameTheProductCodePacked) {
  const std::string packed = Packed("{DDC012F8-A786-4584-856D-044BC1F49414}");
  ASSERT_EQ(packed, "8F210CDD687A485458D640B41C4F4941");
  EXPECT_EQ(cleanup::PlanClassesRootKeys[10], "Installer\\Features\\" + packed);
  EXPECT_EQ(cleanup::PlanClassesRootKeys[11], "Installer\\Products\\" + packed);
  EXPECT_EQ(cleanup::PlanLocalMachineKeys[11].substr(cleanup::PlanLocalMachineKeys[11].size() - 32),
            packed);
  for (std::size_t i = 3; i <= 10; ++i)
    EXPECT_NE(cleanup::PlanLocalMachineKeys[i].find("\\S-1-5-18\\Components\\"), std::string::npos);
}

TEST(Plan, NoKeyPathHasALeadingBackslashOrRepeats) {
  StringList all = cleanup::PlanClassesRootKeys;
  all.insert(all.end(), cleanup::PlanLocalMachineKeys.begin(), cleanup::PlanLocalMachineKeys.end());
  for (const std::string& key : all) EXPECT_NE(key.front(), '\\') << key;
  std::sort(all.begin(), all.end());
  EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
}

class Folders : public ::testing::Test {
 protected:
  void SetInstallDir(const std::string& text) {
    machine.SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brantivo\\TEV32", "DirInstall", text);
  }
  sim::Machine machine;
  test::NoHost host;
  test::NoServices services;
  cleanup::CleanupRun run{host, services};
};

TEST_F(Folders, AbsentInstallValueGivesTheDefaultFolders) {
  run.LocateProductFolders();
  EXPECT_EQ(qm::Narrow(run.WindowsDir), "C:\\WINDOWS");
  EXPECT_EQ(regbytes::NarrowAll(run.DirList),
            (StringList{"C:\\Program Files\\Brantivo\\Tev32\\",
                        "C:\\Documents and Settings\\All Users\\Men\xFA Inicio\\Programas\\"
                        "TEV32 para Windows\\",
                        "C:\\WINDOWS\\Downloaded Installations\\"
                        "{FE4F5263-11D5-4724-95BA-A978983B6369}\\",
                        "C:\\WINDOWS\\Installer\\{DDC012F8-A786-4584-856D-044BC1F49414}\\"}));
  EXPECT_EQ(qm::Narrow(cleanup::SharedDllValueNames(run.DirList[0]).front()),
            "C:\\Program Files\\Brantivo\\Tev32\\Tev32.exe");
}

TEST_F(Folders, WindowsElsewhereMovesTheDerivedFolders) {
  machine.windowsDirectory = "E:\\WINNT";
  SetInstallDir("D:\\Apps\\Antivirus");
  run.LocateProductFolders();
  EXPECT_EQ(qm::Narrow(run.DirList[0]), "D:\\Apps\\Antivirus\\");
  EXPECT_EQ(qm::Narrow(run.DirList[1]).substr(0, 27), "E:\\Documents and Settings\\A");
  EXPECT_EQ(qm::Narrow(run.DirList[2]).substr(0, 9), "E:\\WINNT\\");
  EXPECT_EQ(qm::Narrow(run.DirList[3]).substr(0, 9), "E:\\WINNT\\");
  EXPECT_EQ(regbytes::NarrowAll(cleanup::SharedDllValueNames(run.DirList[0])),
            (StringList{"D:\\Apps\\Antivirus\\Tev32.exe", "D:\\Apps\\Antivirus\\TevPT.exe",
                        "D:\\Apps\\Antivirus\\TEVSvc.exe", "D:\\Apps\\Antivirus\\TevTray.exe",
                        "D:\\Apps\\Antivirus\\TevUpdate.exe"}));
}

TEST_F(Folders, UnsafeOrNonStringInstallValuesGiveTheDefault) {
  SetInstallDir("C:\\WINDOWS\\system32");
  run.LocateProductFolders();
  EXPECT_EQ(qm::Narrow(run.DirList[0]), "C:\\Program Files\\Brantivo\\Tev32\\");
  machine.SetValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brantivo\\TEV32", "DirInstall", REG_BINARY,
                   "D:\\Apps\\");
  run.LocateProductFolders();
  EXPECT_EQ(qm::Narrow(run.DirList[0]), "C:\\Program Files\\Brantivo\\Tev32\\");
}

// The machine's shell folders as the simulated Windows XP reports them, through shell32 or,
// without it, shfolder; the profiles folder from the ProfileList, expanded.
TEST_F(Folders, ShellFoldersAndProfilesAreNeverTheInstallFolder) {
  struct Case {
    const char* read;
    bool accepted;
  };
  const Case cases[] = {
      {"C:\\Documents and Settings\\All Users", false},
      {"C:\\Documents and Settings\\All Users\\Application Data", false},
      {"c:\\documents and settings\\administrator\\my documents\\", false},
      {"C:\\Documents and Settings\\Administrator", false},
      {"C:\\Documents and Settings\\Default User", false},
      {"C:\\Program Files\\Common Files", false},
      {"C:\\Documents and Settings\\All Users\\Start Menu", false},
      {"C:\\Program Files\\Brantivo\\Tev32", true},
      {"C:\\Documents and Settings\\Administrator\\My Documents\\Tev32", false},
      {"C:\\Program Files\\Common Files\\Tev32", true},
  };
  const std::string kDefault = "C:\\Program Files\\Brantivo\\Tev32\\";
  for (const char* without : {"", "shell32.dll"}) {
    if (*without) machine.RemoveExport(without, "SHGetFolderPathW");
    for (const Case& c : cases) {
      SetInstallDir(c.read);
      run.LocateProductFolders();
      const std::string expected = c.accepted ? std::string(c.read) + "\\" : kDefault;
      EXPECT_EQ(qm::Narrow(run.DirList[0]), expected) << c.read << " without " << without;
    }
  }
  EXPECT_EQ(machine.LoadedLibraries(), 0);
  machine.SetProfilesDirectory(qm::Widen("%SystemDrive%\\Users"));
  for (const char* read : {"C:\\Users", "C:\\Users\\Public", "C:\\USERS\\ana"}) {
    SetInstallDir(read);
    run.LocateProductFolders();
    EXPECT_EQ(qm::Narrow(run.DirList[0]), kDefault) << read;
  }
  // Where the shell can report nothing, only the fixed rules hold.
  machine.RemoveExport("shfolder.dll", "SHGetFolderPathW");
  SetInstallDir("C:\\Program Files\\Common Files");
  run.LocateProductFolders();
  EXPECT_EQ(qm::Narrow(run.DirList[0]), "C:\\Program Files\\Common Files\\");
}

TEST_F(Folders, LongWindowsDirectoryIsReadWhole) {
  machine.windowsDirectory = "F:\\" + std::string(250, 'w');
  run.LocateProductFolders();
  EXPECT_EQ(qm::Narrow(run.WindowsDir), machine.windowsDirectory);
  EXPECT_EQ(qm::Narrow(run.DirList[3]),
            machine.windowsDirectory + "\\Installer\\{DDC012F8-A786-4584-856D-044BC1F49414}\\");
}

}  // namespace
