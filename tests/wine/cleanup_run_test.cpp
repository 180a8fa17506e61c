// A whole run against a real prefix: a staged product (without its service, which the
// service stage's own tests cover) goes, a bystander behind a link stays, and the log file
// holds the run's lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "cleanup/plan.h"
#include "cleanup/run.h"
#include "platform/exception.h"
#include "platform/paths.h"
#include "tests/wine/wine_support.h"

namespace {

using cleanup::Stage;
using cleanup::StringList;

struct MarkHost : cleanup::RunHost {
  void StageStarted(Stage) override {}
  void StageFinished(Stage stage, bool ok) override { marks[static_cast<int>(stage)] = ok ? 1 : 0; }
  void HideAllMarks() override { std::fill(std::begin(marks), std::end(marks), -1); }
  int marks[4] = {-1, -1, -1, -1};
};

struct NoService : cleanup::ServiceOperations {
  bool ServiceExists(const std::string&) override { return false; }
  int StopService(const std::string&) override { return 0; }
  void RemoveService(const std::string&) override {}
};

void SetString(HKEY root, const std::string& path, const std::string& name,
               const std::string& text) {
  qm::unique_hkey key;
  ASSERT_EQ(::RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                              nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(::RegSetValueExA(key.get(), name.c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>(text.size() + 1)),
            ERROR_SUCCESS);
}

bool KeyExists(HKEY root, const std::string& path) {
  qm::unique_hkey key;
  return ::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

bool Contains(const StringList& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(WineRun, StagedProductGoesAndTheLogFileHoldsTheRun) {
  const std::string scratch = winetest::ScratchFolder("run");
  const std::string install = scratch + "Tev32";  // no trailing backslash: one is added
  const std::string bystander = winetest::ScratchFolder("run-bystander");
  winetest::MakeFile(bystander + "keep.txt", "keep");
  winetest::MakeDir(install);
  winetest::MakeDir(install + "\\Data");
  winetest::MakeFile(install + "\\Tev32.exe", "x", FILE_ATTRIBUTE_READONLY);
  winetest::MakeFile(install + "\\Data\\sig.dat", "y", FILE_ATTRIBUTE_HIDDEN);
  const bool linked =
      winetest::MakeUnixSymlink(install + "\\Datos", bystander.substr(0, bystander.size() - 1));
  SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brantivo\\TEV32", "DirInstall", install);
  SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\.tev121", "", "TEV.Ftptev");
  SetString(HKEY_CURRENT_USER, "Software\\Brantivo\\TEV32\\Options", "a", "b");
  SetString(HKEY_LOCAL_MACHINE, cleanup::RunKey, "TEV32PP", "x");
  SetString(HKEY_LOCAL_MACHINE, cleanup::SharedDllsKey, install + "\\TevPT.exe", "1");
  qm::unique_kernel tray = winetest::StartIdleProgram("TevTray.exe");

  MarkHost host;
  NoService services;
  cleanup::CleanupRun run(host, services);
  run.LocateProductFolders();
  ASSERT_EQ(run.DirList[0], qm::Widen(install + "\\"));
  // A product folder that is itself a link (here in place of the Start menu folder): asked
  // with its final backslash, Wine reports the target's attributes, not the link's.
  const std::string linkedFolder = winetest::ScratchFolder("run-linked");
  const std::string victim = winetest::ScratchFolder("run-victim");
  winetest::MakeFile(victim + "precious.txt", "keep");
  if (winetest::MakeUnixSymlink(linkedFolder + "Programas", victim.substr(0, victim.size() - 1)))
    run.DirList[1] = qm::Widen(linkedFolder + "Programas\\");
  const std::string driver = qm::Narrow(cleanup::DriverFilePath(run.WindowsDir));
  winetest::MakeFile(driver, "sys");
  run.RunCleanup();

  const StringList& log = run.LogList;
  EXPECT_TRUE(Contains(log, "  El proceso TevTray.exe se finaliz\xF3 correctamente"));
  EXPECT_TRUE(winetest::HasEnded(tray.get(), 10000));
  EXPECT_TRUE(
      Contains(log, "  La llave 'HKEY_CLASSES_ROOT\\.tev121' Fue elimidada correctamente...OK"));
  EXPECT_TRUE(Contains(log,
                       "  La llave 'HKEY_LOCAL_MACHINE\\SOFTWARE\\Brantivo\\TEV32' Fue elimidada "
                       "correctamente...OK"));
  EXPECT_TRUE(Contains(log,
                       "  La llave 'HKEY_CURRENT_USER\\Software\\Brantivo\\TEV32' Fue elimidada "
                       "correctamente...OK"));
  EXPECT_TRUE(Contains(
      log,
      "  El valor 'HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs " +
          install + "\\TevPT.exe' Fue elimidado correctamente...OK"));
  EXPECT_TRUE(Contains(log, "  " + driver + "'...OK"));
  EXPECT_TRUE(Contains(log, "  " + install + "\\Tev32.exe ...OK"));
  EXPECT_TRUE(Contains(log, "  " + install + "\\Data\\sig.dat ...OK"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ".tev121"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Brantivo\\TEV32"));
  EXPECT_FALSE(winetest::Exists(driver));
  EXPECT_FALSE(winetest::Exists(install + "\\Data"));
  EXPECT_EQ(host.marks[static_cast<int>(Stage::Processes)], 1);
  EXPECT_EQ(host.marks[static_cast<int>(Stage::Services)], 0);  // the service is absent
  // What the link pointed at is whole; Wine cannot remove a unix link to a folder that
  // holds files (145), so then the install folder itself stays.
  EXPECT_TRUE(winetest::Exists(bystander + "keep.txt"));
  EXPECT_TRUE(winetest::Exists(victim + "precious.txt"));
  if (!linked) {
    EXPECT_FALSE(winetest::Exists(install));
  }

  run.WriteLogFile();
  std::ifstream in(qm::Narrow(cleanup::LogFilePath(run.WindowsDir)), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string expected;
  for (const std::string& line : log) expected += line + "\r\n";
  EXPECT_EQ(bytes, expected);
}

// A product tree deeper than MAX_PATH goes: Wine takes such paths as they are, Windows only in
// the "\\?\" form the engine hands it, and the lines show the paths without that form.
TEST(WineRun, AProductTreePastMaxPathGoesAndItsLinesAreLogged) {
  const std::string install = winetest::ScratchFolder("run-deep") + std::string(240, 'p') + "\\";
  const std::string sub = install + std::string(30, 's') + "\\";
  const std::string file = sub + "deep.dat";
  ASSERT_GE(install.size(), static_cast<size_t>(MAX_PATH));
  for (const std::string& folder : {install, sub})
    ASSERT_TRUE(::CreateDirectoryW(qm::FileCallPath(qm::Widen(folder)).c_str(), nullptr))
        << ::GetLastError();
  qm::unique_file made(::CreateFileW(qm::FileCallPath(qm::Widen(file)).c_str(), GENERIC_WRITE, 0,
                                     nullptr, CREATE_NEW, FILE_ATTRIBUTE_READONLY, nullptr));
  ASSERT_TRUE(made) << ::GetLastError();
  made.reset();
  SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brantivo\\TEV32", "DirInstall", install);

  MarkHost host;
  NoService services;
  cleanup::CleanupRun run(host, services);
  run.LocateProductFolders();
  ASSERT_EQ(run.DirList[0], qm::Widen(install));
  run.RunCleanup();
  EXPECT_TRUE(Contains(run.LogList, "  " + file + " ...OK"));
  EXPECT_TRUE(Contains(run.LogList,
                       "  El directorio '" + install + "' fue eliminado correctamente...OK"));
  EXPECT_EQ(::GetFileAttributesW(qm::FileCallPath(qm::Widen(install)).c_str()),
            INVALID_FILE_ATTRIBUTES);
}

TEST(WineRun, LogFileInAMissingFolderCannotBeCreated) {
  MarkHost host;
  NoService services;
  cleanup::CleanupRun run(host, services);
  run.WindowsDir = qm::Widen("C:\\qmtest\\no-windows-here");
  run.LogList = {"x"};
  try {
    run.WriteLogFile();
    FAIL() << "no exception";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message(), "Cannot create file C:\\qmtest\\no-windows-here\\Temp\\Quelmark.log");
  }
}

}  // namespace
