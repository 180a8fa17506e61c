// Whole runs over the simulated machine: the log line for line, the marks, the colours and
// the failure counts the marks show.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <stdexcept>
#include <string>

#include "cleanup/pump.h"
#include "cleanup/plan.h"
#include "cleanup/run.h"
#include "cleanup/verify.h"
#include "platform/sim/machine.h"

namespace {

using cleanup::Stage;
using cleanup::StringList;

const char* Name(Stage stage) {
  switch (stage) {
    case Stage::Services: return "services";
    case Stage::Processes: return "processes";
    case Stage::Registry: return "registry";
    case Stage::Files: return "files";
  }
  return "?";
}

// Records what a window would show, in order.
struct RecordingHost : cleanup::RunHost {
  void StageStarted(Stage stage) override { events.push_back(std::string(Name(stage)) + " started"); }
  void StageFinished(Stage stage, bool ok) override {
    events.push_back(std::string(Name(stage)) + (ok ? " Ok" : " Fallo"));
    marks[stage] = ok;
  }
  void HideAllMarks() override {
    events.push_back("hide marks");
    marks.clear();
  }
  StringList events;
  std::map<Stage, bool> marks;
};

struct ScriptedServices : cleanup::ServiceOperations {
  bool ServiceExists(const std::string& name) override {
    calls.push_back("exists " + name);
    return installed;
  }
  int StopService(const std::string& name) override {
    calls.push_back("stop " + name);
    if (throws) throw std::runtime_error("refused");
    return stopResult;
  }
  void RemoveService(const std::string& name) override { calls.push_back("remove " + name); }
  bool installed = false;
  int stopResult = 0;
  bool throws = false;
  StringList calls;
};

const std::string kInstall = "C:\\Program Files\\Brantivo\\Tev32\\";
const std::string kStartMenu =
    "C:\\Documents and Settings\\All Users\\Men\xFA Inicio\\Programas\\TEV32 para Windows\\";
const std::string kDownloads =
    "C:\\WINDOWS\\Downloaded Installations\\{FE4F5263-11D5-4724-95BA-A978983B6369}\\";
const std::string kInstallerCache =
    "C:\\WINDOWS\\Installer\\{DDC012F8-A786-4584-856D-044BC1F49414}\\";
const std::string kDriver = "C:\\WINDOWS\\system32\\drivers\\TEVF.sys";
const std::string kRun = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kShared = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

class Run : public ::testing::Test {
 protected:
  void SetUp() override {
    machine.CreateKey(HKEY_LOCAL_MACHINE, kRun);
    machine.CreateKey(HKEY_LOCAL_MACHINE, kShared);
    cleanup::SetMessagePump([this] { ++pumps; });
    run.LocateProductFolders();
  }
  void TearDown() override {
    cleanup::SetMessagePump(nullptr);
    EXPECT_EQ(machine.OpenKeyHandles(), 0);
    EXPECT_EQ(machine.OpenFindHandles(), 0);
    EXPECT_EQ(machine.OpenKernelHandles(), 0);
    EXPECT_EQ(machine.LoadedLibraries(), 0);
  }
  // The log lines of the file stage: everything after its header and separator.
  StringList FileStageLines() const {
    const auto& log = run.LogList;
    for (std::size_t i = 0; i < log.size(); ++i)
      if (log[i].rfind("Ficheros Eliminados ", 0) == 0) return {log.begin() + i + 2, log.end()};
    return {};
  }
  void InstallWholeProduct();

  sim::Machine machine;
  RecordingHost host;
  ScriptedServices services;
  cleanup::CleanupRun run{host, services};
  int pumps = 0;
};

const char* const kClassesRootKeys[] = {".tev121",
                                        "TEV.Ftptev",
                                        "TEVSvc.TEVDriver",
                                        "TEVSvc.TEVDriver.1",
                                        "TEVSvc.TEVService",
                                        "TEVSvc.TEVService.1",
                                        "AppID\\TEVSvc.EXE",
                                        "AppID\\{DE2BA9C8-CF2E-41DF-8B64-441C516B64AE}",
                                        "CLSID\\{BC322BD5-6359-47D4-9926-363FE6A11024}",
                                        "CLSID\\{A222643E-744A-46F8-85FE-02883EC5C2E3}",
                                        "Installer\\Features\\8F210CDD687A485458D640B41C4F4941",
                                        "Installer\\Products\\8F210CDD687A485458D640B41C4F4941",
                                        "TypeLib\\{775D096D-0F0F-45FA-8EE1-4C1FD194910B}"};

#define QM_UD "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\"
const char* const kMachineKeys[] = {"SYSTEM\\CurrentControlSet\\Services\\TEVF",
                                    "SYSTEM\\CurrentControlSet\\Services\\TEVSvc",
                                    "SOFTWARE\\Brantivo\\TEV32",
                                    QM_UD "Components\\FA4C9C665284CB0F07586926F223D39F",
                                    QM_UD "Components\\CEC500401863FAE3B3141340EE74D7CA",
                                    QM_UD "Components\\F35F7B606ECDD74316C01C0EECB0ABA9",
                                    QM_UD "Components\\ABFEF34D1FD6322B239745856A143AF6",
                                    QM_UD "Components\\FE397E005F15B89428AB33A3339762A9",
                                    QM_UD "Components\\AC12A43128679B7706AB6151137259AD",
                                    QM_UD "Components\\F6342C785996483B5C617F4EC9CAF811",
                                    QM_UD "Components\\BFE271322CA029B73D87E92C3331B820",
                                    QM_UD "Products\\8F210CDD687A485458D640B41C4F4941",
                                    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{"
                                    "DDC012F8-A786-4584-856D-044BC1F49414}"};
#undef QM_UD

const char* const kSharedFiles[] = {"Tev32.exe", "TevPT.exe", "TEVSvc.exe", "TevTray.exe",
                                    "TevUpdate.exe"};

std::string Header(const char* words, int stops) { return words + std::string(stops, '.'); }

TEST_F(Run, AbsentProductLogMarksAndColours) {
  run.RunCleanup();

  StringList expected = {Header("Sobre los Servicios ", 60),
                         " ",
                         "  El Servicio TEVSvc no existe en el sistema",
                         " ",
                         Header("Sobre los Procesos ", 61),
                         " ",
                         "  El proceso TevTray.exe no estaba corriendo",
                         "  El proceso Tev32.exe no estaba corriendo",
                         "  El proceso TevPT.exe no estaba corriendo",
                         " ",
                         Header("Sobre las llaves del registro ", 47),
                         " "};
  for (const char* key : kClassesRootKeys)
    expected.push_back(std::string("  Error abriendo la llave 'HKEY_CLASSES_ROOT\\") + key +
                       "'. Llave no encontrada");
  for (std::size_t i = 2; i < std::size(kMachineKeys); ++i)
    expected.push_back(std::string("  Error abriendo la llave 'HKEY_LOCAL_MACHINE\\") +
                       kMachineKeys[i] + "'. Llave no encontrada");
  expected.push_back(
      "  Error abriendo la llave 'HKEY_CURRENT_USER\\Software\\Brantivo\\TEV32'. Llave no "
      "encontrada");
  for (const char* value : {"TEV32PP", "TEV32PT"})
    expected.push_back("  Error eliminando el valor 'HKEY_LOCAL_MACHINE\\" + kRun + " " + value +
                       "'. Valor no encontrado");
  for (const char* file : kSharedFiles)
    expected.push_back("  Error eliminando el valor 'HKEY_LOCAL_MACHINE\\" + kShared + " " +
                       kInstall + file + "'. Valor no encontrado");
  expected.insert(expected.end(), {" ", Header("Ficheros Eliminados ", 57), " "});
  for (const std::string& dir : {kInstall, kStartMenu, kDownloads, kInstallerCache})
    expected.push_back("  Error borrando el directorio '" + dir +
                       "'.  Directorio no encontrado...FALLO");
  expected.push_back("  " + kDriver + "'...FALLO");

  EXPECT_EQ(run.LogList, expected);
  EXPECT_EQ(run.LogList.size(), 52u);
  EXPECT_EQ(
      host.events,
      (StringList{"hide marks", "services started", "services Fallo", "processes started",
                  "processes Ok", "registry started", "registry Fallo", "files started",
                  "files Fallo"}));
  EXPECT_FALSE(run.RestartNeeded);
  EXPECT_EQ(services.calls, StringList{"exists TEVSvc"});
  EXPECT_EQ(pumps, 3);  // one before each process; absent keys and folders pump nothing
}

void Run::InstallWholeProduct() {
  services.installed = true;
  for (const char* exe : {"TevTray.exe", "Tev32.exe", "TevPT.exe"}) {
    sim::ProcessSpec spec;
    spec.exe = exe;
    machine.StartProcess(spec);
  }
  for (const char* key : kClassesRootKeys)
    machine.SetString(HKEY_LOCAL_MACHINE, std::string("SOFTWARE\\Classes\\") + key + "\\Sub", "",
                      "x");
  for (const char* key : kMachineKeys) machine.CreateKey(HKEY_LOCAL_MACHINE, key);
  machine.CreateKey(HKEY_CURRENT_USER, "Software\\Brantivo\\TEV32\\Options");
  for (const char* value : {"TEV32PP", "TEV32PT"})
    machine.SetString(HKEY_LOCAL_MACHINE, kRun, value, "x");
  for (const char* file : kSharedFiles)
    machine.SetDword(HKEY_LOCAL_MACHINE, kShared, kInstall + file, 1);
  machine.MakeFile(kInstall + "Tev32.exe");
  machine.MakeFile(kInstall + "Data\\sig.dat", "", FILE_ATTRIBUTE_READONLY);
  machine.MakeFile(kStartMenu + "Tev32.lnk");
  machine.MakeDirectory(kDownloads);
  machine.MakeFile(kInstallerCache + "setup.msi", "", FILE_ATTRIBUTE_HIDDEN);
  machine.MakeFile(kDriver);
}

TEST_F(Run, WholeProductGoesWithOkMarks) {
  InstallWholeProduct();
  run.RunCleanup();
  for (const char* mark : {"services Ok", "processes Ok", "registry Ok", "files Ok"})
    EXPECT_NE(std::find(host.events.begin(), host.events.end(), mark), host.events.end()) << mark;
  EXPECT_TRUE(run.RestartNeeded);
  EXPECT_EQ(services.calls, (StringList{"exists TEVSvc", "stop TEVSvc", "remove TEVSvc"}));
  EXPECT_EQ(run.LogList[2], "  El Servicio TEVSvc se detuvo correctamente");
  EXPECT_EQ(run.LogList[6], "  El proceso TevTray.exe se finaliz\xF3 correctamente");
  EXPECT_EQ(run.LogList[12],
            "  La llave 'HKEY_CLASSES_ROOT\\.tev121' Fue elimidada correctamente...OK");
  EXPECT_EQ(run.LogList[12 + 27], "  El valor 'HKEY_LOCAL_MACHINE\\" + kRun +
                                      " TEV32PP' Fue elimidado correctamente...OK");
  EXPECT_EQ(
      FileStageLines(),
      (StringList{"  El directorio '" + kInstall + "' fue eliminado correctamente...OK",
                  "  El directorio '" + kStartMenu + "' fue eliminado correctamente...OK",
                  "  El directorio '" + kDownloads + "' fue eliminado correctamente...OK",
                  "  El directorio '" + kInstallerCache + "' fue eliminado correctamente...OK",
                  "  " + kDriver + "'...OK", "  " + kInstall + "Data\\sig.dat ...OK",
                  "  " + kInstall + "Tev32.exe ...OK", "  " + kStartMenu + "Tev32.lnk ...OK",
                  "  " + kInstallerCache + "setup.msi ...OK"}));
  EXPECT_TRUE(machine.RunningIds("Tev32.exe").empty());
  EXPECT_FALSE(machine.KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brantivo\\TEV32"));
  EXPECT_FALSE(machine.PathExists(kInstall));
  EXPECT_FALSE(machine.PathExists(kDriver));
}

TEST_F(Run, ServiceResultsAndRestartFlag) {
  services.installed = true;
  const std::map<int, std::string> lines = {
      {500, "  El Servicio TEVSvc ya estaba detenido"},
      {501, "  El Servicio TEVSvc en este momento se est\xE1 iniciando"},
      {502, "  El Servicio TEVSvc en este momento se est\xE1 deteniendo"},
      {503, "  El estado de Servicio TEVSvc continua pendiente"},
      {504, "  El Servicio TEVSvc se est\xE1 poniendo en pausa"},
      {505, "  El Servicio TEVSvc est\xE1 en pausa"}};
  for (const auto& [code, line] : lines) {
    services.stopResult = code;
    services.calls.clear();
    run.RunCleanup();
    EXPECT_EQ(run.LogList[2], line);
    EXPECT_EQ(run.LogList[3], " ");
    EXPECT_FALSE(host.marks[Stage::Services]) << code;
    EXPECT_EQ(services.calls, (StringList{"exists TEVSvc", "stop TEVSvc"})) << code;
    EXPECT_TRUE(run.RestartNeeded);
  }
  services.stopResult = 42;  // no line, no failure, no removal
  run.RunCleanup();
  EXPECT_EQ(run.LogList[2], " ");
  EXPECT_TRUE(host.marks[Stage::Services]);
}

TEST_F(Run, AServiceExceptionEndsTheRunWithTheLabelBlue) {
  services.installed = true;
  services.throws = true;
  EXPECT_THROW(run.RunCleanup(), std::runtime_error);
  EXPECT_EQ(host.events, (StringList{"hide marks", "services started"}));
  EXPECT_EQ(run.LogList, (StringList{Header("Sobre los Servicios ", 60), " "}));
  EXPECT_TRUE(run.RestartNeeded);
}

TEST_F(Run, ProcessFailuresShowTheFalloMark) {
  sim::ProcessSpec locked;
  locked.exe = "Tev32.exe";
  locked.terminateDenied = true;
  machine.StartProcess(locked);
  run.RunCleanup();
  EXPECT_EQ(run.LogList[7], "  Insuficientes permisos para finalizar el proceso Tev32.exe");
  EXPECT_FALSE(host.marks[Stage::Processes]);
}

// One TevTray.exe per logged-on session, one of them unreadable: one line for the name, the
// success line only when every copy ended.
TEST(RunProcessCopies, OneLinePerNameAndAMarkThatTellsTheTruth) {
  struct Case {
    bool lastRefuses;
    const char* line;
    bool ok;
  } const cases[] = {
      {false, "  El proceso TevTray.exe se finaliz\xF3 correctamente", true},
      {true, "  Insuficientes permisos para finalizar el proceso TevTray.exe", false},
  };
  for (const Case& c : cases) {
    sim::Machine machine;
    RecordingHost host;
    ScriptedServices services;
    cleanup::CleanupRun run{host, services};
    sim::ProcessSpec copy;
    copy.exe = "TevTray.exe";
    machine.StartProcess(copy);
    copy.queryDenied = true;  // another session's copy
    machine.StartProcess(copy);
    copy.queryDenied = false;
    copy.terminateDenied = c.lastRefuses;
    machine.StartProcess(copy);
    run.RunCleanup();
    EXPECT_EQ(run.LogList[6], c.line);
    EXPECT_EQ(run.LogList[7], "  El proceso Tev32.exe no estaba corriendo");
    EXPECT_EQ(host.marks[Stage::Processes], c.ok);
    EXPECT_EQ(machine.RunningIds("TevTray.exe").size(), c.lastRefuses ? 1u : 0u);
  }
}

TEST_F(Run, TheEmptyFolderRuleCountsFilesOverEveryEarlierFolder) {
  machine.MakeDirectory(kInstall + "Only\\Empty");
  machine.MakeDirectory(kStartMenu);
  machine.MakeFile(kDownloads + "a.msi");
  machine.MakeDirectory(kInstallerCache);
  machine.MakeFile(kDriver);
  run.RunCleanup();
  const std::string empty =
      "  No se encontr\xF3 nungun fichero. El directorio estaba vac\xED"
      "o.";
  EXPECT_EQ(
      FileStageLines(),
      (StringList{empty, "  El directorio '" + kInstall + "' fue eliminado correctamente...OK",
                  empty, "  El directorio '" + kStartMenu + "' fue eliminado correctamente...OK",
                  "  El directorio '" + kDownloads + "' fue eliminado correctamente...OK",
                  "  El directorio '" + kInstallerCache + "' fue eliminado correctamente...OK",
                  "  " + kDriver + "'...OK", "  " + kDownloads + "a.msi ...OK"}));
  EXPECT_FALSE(host.marks[Stage::Files]);
}

TEST_F(Run, FilesInAnEarlierFolderSilenceTheEmptyFolderRule) {
  machine.MakeFile(kInstall + "x.dll");
  machine.MakeDirectory(kStartMenu);
  machine.MakeDirectory(kDownloads);
  machine.MakeDirectory(kInstallerCache);
  machine.MakeFile(kDriver);
  run.RunCleanup();
  EXPECT_EQ(FileStageLines().size(), 4u + 1 + 1);
  EXPECT_TRUE(host.marks[Stage::Files]);
}

TEST_F(Run, UnlistableFolderAndFileInUse) {
  machine.MakeFile(kInstall + "held.exe");
  machine.HoldOpen(kInstall + "held.exe");
  machine.MakeFile(kStartMenu + "x.lnk");
  machine.DenyListing(kStartMenu);
  run.RunCleanup();
  const StringList lines = FileStageLines();
  EXPECT_EQ(lines[0], "  Error borrando el directorio '" + kInstall +
                          "'. El directorio no estaba vac\xED"
                          "o...FALLO");
  EXPECT_EQ(lines[1],
            "  Error borrando el directorio '" + kStartMenu + "'. Directorio no encontrado");
  EXPECT_EQ(lines.back(), "  " + kInstall + "held.exe ...FALLO");
  EXPECT_TRUE(machine.PathExists(kStartMenu + "x.lnk"));
}

// A folder the program may not list cannot be pinned either; before any file was met it
// still counts as empty, as when only its listing failed.
TEST_F(Run, AnUnlistableFirstFolderFallsUnderTheEmptyFolderRule) {
  machine.MakeFile(kInstall + "x.exe");
  machine.DenyListing(kInstall);
  run.RunCleanup();
  EXPECT_EQ(FileStageLines()[0],
            "  No se encontr\xF3 nungun fichero. El directorio estaba vac\xED"
            "o.");
  EXPECT_TRUE(machine.PathExists(kInstall + "x.exe"));
}

TEST_F(Run, AKeyTreeThatResistsIsAFailureWithItsCode) {
  machine.CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brantivo\\TEV32\\Locked");
  machine.DenyKeyOpen(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brantivo\\TEV32\\Locked");
  machine.CreateKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\TEVF");
  machine.DenyKeyDelete(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\TEVF");
  run.RunCleanup();
  const auto line = [&](const std::string& key) {
    return "  Error eliminando la llave 'HKEY_LOCAL_MACHINE\\" + key +
           "'. C\xF3"
           "digo de error 5...FALLO";
  };
  EXPECT_EQ(run.LogList[12 + 13], line("SYSTEM\\CurrentControlSet\\Services\\TEVF"));
  EXPECT_EQ(run.LogList[12 + 14], line("SOFTWARE\\Brantivo\\TEV32"));
  EXPECT_FALSE(host.marks[Stage::Registry]);
  EXPECT_TRUE(machine.KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brantivo\\TEV32\\Locked"));
}

TEST_F(Run, AFolderLeftInPlaceIsAFailure) {
  // A read-only link inside the folder cannot be removed, so the folder stays although its
  // contents went without error.
  machine.MakeDirectory("C:\\Elsewhere");
  machine.MakeFile(kInstall + "a.exe");
  machine.MakeLink(kInstall + "Stuck", "C:\\Elsewhere", true);
  ::SetFileAttributesA((kInstall + "Stuck").c_str(), FILE_ATTRIBUTE_DIRECTORY |
                                                         FILE_ATTRIBUTE_READONLY |
                                                         FILE_ATTRIBUTE_REPARSE_POINT);
  for (const std::string& dir : {kStartMenu, kDownloads, kInstallerCache})
    machine.MakeFile(dir + "f");
  machine.MakeFile(kDriver);
  run.RunCleanup();
  EXPECT_EQ(FileStageLines()[0], "  Error borrando el directorio '" + kInstall +
                                     "'. El directorio no estaba vac\xED"
                                     "o...FALLO");
  EXPECT_FALSE(host.marks[Stage::Files]);
  EXPECT_TRUE(machine.PathExists("C:\\Elsewhere"));
}

TEST_F(Run, AJunctionInsideAProductFolderLeavesTheBystanderWhole) {
  const std::string bystander = "D:\\Datos\\Contabilidad\\";
  machine.MakeFile(bystander + "2024.xls", "cuentas");
  machine.MakeFile(bystander + "Anexos\\factura.pdf", "pdf");
  machine.MakeFile(kInstall + "Tev32.exe");
  machine.MakeLink(kInstall + "Datos", bystander, true);
  run.RunCleanup();
  EXPECT_EQ(FileStageLines()[0],
            "  El directorio '" + kInstall + "' fue eliminado correctamente...OK");
  EXPECT_EQ(machine.FileContent(bystander + "2024.xls"), "cuentas");
  EXPECT_EQ(machine.FileContent(bystander + "Anexos\\factura.pdf"), "pdf");
}

// While a folder is listed and emptied, the engine's open of it keeps anyone from renaming
// it (and putting a junction in its place): the product folder and a sub-folder alike.
TEST_F(Run, AFolderBeingEmptiedCannotBeRenamed) {
  machine.MakeFile(kInstall + "a.exe");
  machine.MakeFile(kInstall + "Sub\\b.dll");
  const std::string folders[] = {kInstall.substr(0, kInstall.size() - 1), kInstall + "Sub"};
  const std::string listed[] = {kInstall + "a.exe", kInstall + "Sub\\b.dll"};
  DWORD errors[2] = {};
  for (int i = 0; i < 2; ++i)
    machine.OnListed(qm::Widen(listed[i]), [&, i] {
      const qm::WString from = qm::Widen(folders[i]);
      if (!MoveFileW(from.c_str(), (from + qm::Widen(".old")).c_str())) errors[i] = GetLastError();
    });
  run.RunCleanup();
  EXPECT_EQ(errors[0], static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(errors[1], static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(FileStageLines()[0],
            "  El directorio '" + kInstall + "' fue eliminado correctamente...OK");
}

TEST_F(Run, AProductFolderThatIsALinkIsRemovedNotEmptied) {
  const std::string bystander = "D:\\Datos\\";
  machine.MakeFile(bystander + "tesis.doc", "years");
  machine.MakeDirectory("C:\\Program Files\\Brantivo");
  machine.MakeLink(kInstall.substr(0, kInstall.size() - 1), bystander, true);
  run.RunCleanup();
  EXPECT_EQ(FileStageLines()[0],
            "  El directorio '" + kInstall + "' fue eliminado correctamente...OK");
  EXPECT_FALSE(machine.PathExists(kInstall));
  EXPECT_EQ(machine.FileContent(bystander + "tesis.doc"), "years");
}

// The report: under the tolerated service key, a sub-key whose name the code page lacks
// made the tree read as absent and the run said nothing.
TEST_F(Run, ATreeWithForeignSubKeyNamesIsDeletedAndSaysSo) {
  qm::WString foreign = qm::Widen("SYSTEM\\CurrentControlSet\\Services\\TEVF\\Enum\\");
  foreign += static_cast<WCHAR>(0x0416);
  machine.CreateKeyW(HKEY_LOCAL_MACHINE, foreign);
  run.RunCleanup();
  EXPECT_EQ(run.LogList[12 + 13],
            "  La llave 'HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\TEVF' Fue "
            "elimidada correctamente...OK");
  EXPECT_FALSE(machine.KeyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\TEVF"));
}

// A product folder holding names the code page lacks is emptied and removed; their lines
// write '?', never a best-fit character.
TEST_F(Run, ForeignNamesInAProductFolderGoAndAreLoggedWithQuestionMarks) {
  qm::WString file = qm::Widen(kInstall);
  file += static_cast<WCHAR>(0x0416);
  file += qm::Widen(".dll");
  machine.MakeFileW(file);
  machine.MakeFile("C:\\Program Files\\Brantivo\\keep.txt", "keep");
  run.RunCleanup();
  EXPECT_EQ(FileStageLines()[0],
            "  El directorio '" + kInstall + "' fue eliminado correctamente...OK");
  EXPECT_EQ(run.LogList.back(), "  " + kInstall + "?.dll ...OK");
  EXPECT_FALSE(machine.PathExistsW(file));
  EXPECT_EQ(machine.FileContent("C:\\Program Files\\Brantivo\\keep.txt"), "keep");
}

// The plan's texts and the log are Windows-1252 whatever the machine's ANSI code page: the
// same folders are found and the log file holds the same bytes. A name 1252 lacks is '?'.
TEST(RunCodePages, EveryAnsiCodePageFindsTheSameFoldersAndWritesTheSameLog) {
  std::string reference;
  for (const UINT codePage : {1252u, 1251u, 932u, 65001u}) {
    sim::Machine machine;
    machine.ansiCodePage = codePage;
    RecordingHost host;
    ScriptedServices services;
    cleanup::CleanupRun run{host, services};
    machine.MakeFile(kInstall + "Tev32.exe");
    machine.MakeFile(kStartMenu + "Tev32.lnk");
    qm::WString foreign = qm::Widen(kStartMenu);
    foreign += static_cast<WCHAR>(0x0416);
    machine.MakeFileW(foreign + qm::Widen(".lnk"));
    run.LocateProductFolders();
    run.RunCleanup();
    run.WriteLogFile();
    EXPECT_FALSE(machine.PathExists(kStartMenu)) << codePage;
    EXPECT_TRUE(machine.PathExists("C:\\Documents and Settings\\All Users\\Men\xFA Inicio\\Programas"))
        << codePage;
    const std::string log = machine.FileContent("C:\\WINDOWS\\Temp\\Quelmark.log");
    EXPECT_NE(log.find("  " + kStartMenu + "?.lnk ...OK\r\n"), std::string::npos) << codePage;
    if (reference.empty()) reference = log;
    EXPECT_EQ(log, reference) << codePage;
  }
}

// A product tree and a Windows folder deep enough that the install folder, a 300-character
// file, the driver file and the log file all lie past MAX_PATH: all go or are written, and the
// log shows their paths as they are.
TEST(RunLongPaths, PathsPastMaxPathAreHandledAndLoggedAsTheyAre) {
  sim::Machine machine;
  machine.windowsDirectory = "C:\\" + std::string(250, 'W');
  machine.MakeDirectory(machine.windowsDirectory + "\\Temp");
  const std::string install = "C:\\Program Files\\" + std::string(245, 'P') + "\\";
  const std::string file = install + std::string(300 - install.size(), 'f');
  const std::string driver = machine.windowsDirectory + "\\system32\\drivers\\TEVF.sys";
  ASSERT_GE(install.size(), static_cast<size_t>(MAX_PATH));
  machine.SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brantivo\\TEV32", "DirInstall", install);
  machine.MakeFile(file, "", FILE_ATTRIBUTE_READONLY);
  machine.MakeFile(driver);
  RecordingHost host;
  ScriptedServices services;
  cleanup::CleanupRun run{host, services};
  run.LocateProductFolders();
  const cleanup::ProductPlaces places{run.DirList, cleanup::DriverFilePath(run.WindowsDir)};
  // The look tells a deep folder and driver file from absent ones.
  const auto presence = [&](const std::string& name) {
    for (const cleanup::ItemLook& item : cleanup::LookAtProduct(places, {}))
      if (item.name == name) return item.presence;
    ADD_FAILURE() << "no item " << name;
    return cleanup::Presence::Absent;
  };
  EXPECT_EQ(presence(install), cleanup::Presence::Present);
  EXPECT_EQ(presence(driver), cleanup::Presence::Present);
  run.RunCleanup();
  run.WriteLogFile();
  EXPECT_FALSE(machine.PathExists(install));
  EXPECT_FALSE(machine.PathExists(driver));
  const std::string log = machine.FileContent(machine.windowsDirectory + "\\Temp\\Quelmark.log");
  for (const std::string& line :
       {"  El directorio '" + install + "' fue eliminado correctamente...OK",
        "  " + driver + "'...OK", "  " + file + " ...OK"})
    EXPECT_NE(log.find("\r\n" + line + "\r\n"), std::string::npos) << line;
  EXPECT_EQ(log.find("\\\\?\\"), std::string::npos);
}

TEST_F(Run, DeletedFileListIsKeptAcrossRunsAndLogListIsNot) {
  machine.MakeFile(kInstall + "a.exe");
  run.RunCleanup();
  const std::size_t first = run.LogList.size();
  run.RunCleanup();
  EXPECT_EQ(run.LogList.size(), first);  // the folder is gone now; its file's line stays
  EXPECT_EQ(run.DeletedFileList, StringList{"  " + kInstall + "a.exe ...OK"});
  EXPECT_EQ(run.LogList.back(), "  " + kInstall + "a.exe ...OK");
}

}  // namespace
