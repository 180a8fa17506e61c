// The program as deployment tools run it across machines: exit statuses from the look after
// the run, deletions left to the restart, the preview that only looks, one copy at a time.
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/quelmark.h"
#include "platform/exception.h"
#include "shell_fixture.h"

namespace shelltest {
namespace {

const std::string kInstall = "C:\\Program Files\\Brantivo\\Tev32\\";
const std::string kStartMenu =
    "C:\\Documents and Settings\\All Users\\Men\xFA Inicio\\Programas\\TEV32 para Windows\\";
const std::string kCache = "C:\\WINDOWS\\Installer\\{DDC012F8-A786-4584-856D-044BC1F49414}\\";
const std::string kDriver = "C:\\WINDOWS\\system32\\drivers\\TEVF.sys";
const std::string kRun = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kShared = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const std::string kUninstall =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{DDC012F8-A786-4584-856D-044BC1F49414}";
const std::string kLog = "C:\\WINDOWS\\Temp\\Quelmark.log";
const std::string kPreviewLog = "C:\\WINDOWS\\Temp\\Quelmark-preview.log";
const std::string kSessionManager = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const std::string kUser = "S-1-5-21-7-8-9-1001";  // a standard user of the machine

std::u16string U(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// A part of the product on each kind of plan item; `tray` is how its tray program runs.
void InstallProduct(sim::Machine& m, bool withService = true,
                    sim::ProcessSpec tray = sim::ProcessSpec()) {
  m.CreateKey(HKEY_LOCAL_MACHINE, kRun);
  m.CreateKey(HKEY_LOCAL_MACHINE, kShared);
  if (withService) {
    sim::ServiceSpec svc;
    svc.name = "TEVSvc";
    m.AddService(svc);
  }
  tray.exe = "TevTray.exe";
  if (!tray.image.empty()) m.MakeFile(tray.image);
  m.StartProcess(tray);
  m.SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\.tev121", "", "TEV.Ftptev");
  m.SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brantivo\\TEV32", "Version", "12.1");
  m.CreateKey(HKEY_LOCAL_MACHINE, kUninstall);
  m.SetString(HKEY_LOCAL_MACHINE, kRun, "TEV32PP", "C:\\x\\Tev32.exe");
  m.SetDword(HKEY_LOCAL_MACHINE, kShared, kInstall + "Tev32.exe", 1);
  m.MakeFile(kInstall + "Tev32.exe");
  m.MakeFile(kInstall + "Data\\sig.dat", "", FILE_ATTRIBUTE_READONLY);
  m.MakeFile(kStartMenu + "Tev32.lnk");
  m.MakeFile(kCache + "setup.msi");
  m.MakeFile(kDriver);
}

struct Outcome {
  unsigned status = 0;
  bool exited = false;  // through the restart step's immediate exit
};

Outcome RunMain(World& w, const ServicesFactory& makeServices = MakeServiceStage) {
  Outcome out;
  try {
    out.status = static_cast<unsigned>(QuelmarkMain(w.app, makeServices));
  } catch (const sim::ProcessExit& e) {
    out.exited = true;
    out.status = e.code;
  }
  return out;
}

class Fleet : public ::testing::Test {
 protected:
  Fleet() { ServeProgramResources(); }
  ~Fleet() override { ui::headless::ClearResources(); }
};

// Each status of /EXITCODE, reached by a machine as deployment tools meet them.
TEST_F(Fleet, ExitStatusFollowsWhatIsLeftAfterTheRun) {
  struct Case {
    const char* name;
    const char* options;
    std::function<void(sim::Machine&)> setUp;
    unsigned status;
    std::string says = "";  // lines the final block must hold
  };
  const Case cases[] = {
      {"absent", "", [](sim::Machine& m) {
         m.CreateKey(HKEY_LOCAL_MACHINE, kRun);
         m.CreateKey(HKEY_LOCAL_MACHINE, kShared);
       }, 1605},
      {"full", "", [](sim::Machine& m) { InstallProduct(m); }, 3010},
      {"full, no service", "", [](sim::Machine& m) { InstallProduct(m, false); }, 0},
      {"full, restart", " /REBOOT_AUTO", [](sim::Machine& m) { InstallProduct(m); }, 1641},
      {"restart, locked file", " /REBOOT_AUTO", [](sim::Machine& m) {
         InstallProduct(m);
         m.HoldOpen(kInstall + "Tev32.exe");
       }, 1603},
      {"locked file", "", [](sim::Machine& m) {
         InstallProduct(m);
         m.HoldOpen(kInstall + "Tev32.exe");
       }, 1603},
      {"denied key", "", [](sim::Machine& m) {
         InstallProduct(m);
         m.DenyKeyOpen(HKEY_LOCAL_MACHINE, kUninstall);
         m.DenyKeyDelete(HKEY_LOCAL_MACHINE, kUninstall);
       }, 1603},
      // Kept by the services stage, but its key goes with the registry stage: the service
      // manager forgets it at the restart.
      {"service already stopped", "", [](sim::Machine& m) {
         InstallProduct(m, false);
         sim::ServiceSpec svc;
         svc.name = "TEVSvc";
         svc.state = SERVICE_STOPPED;
         m.AddService(svc);
       }, 3010},
      {"service refuses to stop", "", [](sim::Machine& m) {
         InstallProduct(m, false);
         sim::ServiceSpec svc;
         svc.name = "TEVSvc";
         svc.script.ignoresStop = true;
         m.AddService(svc);
         // It guards its registration too: the service manager loads it again at the restart.
         m.DenyKeyDelete(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\TEVSvc");
       }, 1603},
      // Without a service no restart is requested: what the restart removes waits for the next.
      {"restart option, no service, a file in use", " /DELAYDELETE /REBOOT_AUTO",
       [](sim::Machine& m) {
         InstallProduct(m, false);
         m.HoldOpen(kInstall + "Tev32.exe");
       }, 3010},
      // An earlier /DELAYDELETE run left the folder and its file in use to the restart.
      {"deletions already waiting", "", [](sim::Machine& m) {
         InstallProduct(m, false);
         m.HoldOpen(kInstall + "Tev32.exe");
         std::u16string waiting;  // the file, then its folder; each deleted, not renamed
         for (const std::string& name :
              {kInstall + "Tev32.exe", kInstall.substr(0, kInstall.size() - 1)})
           waiting += U("\\??\\" + name) + u'\0' + u'\0';
         m.SetStringW(HKEY_LOCAL_MACHINE, U(kSessionManager), u"PendingFileRenameOperations",
                      waiting, REG_MULTI_SZ);
       }, 3010},
      // TerminateProcess returns before the process has ended: the run waits for the end, so
      // the files stage finds the tray's executable free.
      {"the tray takes a second to end", "", [](sim::Machine& m) {
         sim::ProcessSpec slow;
         slow.image = kInstall + "TevTray.exe";
         slow.endDelayMs = 1000;
         InstallProduct(m, false, slow);
       }, 0},
      // /DELAYDELETE hands the restart no name below a folder a standard user made.
      {"Program Files made by a user, a file in use", " /DELAYDELETE", [](sim::Machine& m) {
         InstallProduct(m);
         m.HoldOpen(kInstall + "Tev32.exe");
         m.SetSecurity("C:\\Program Files", "O:" + kUser + "D:(A;OICI;FA;;;" + kUser +
                                                 ")(A;OICIID;FA;;;BA)(A;OICIID;FA;;;SY)");
       }, 1603, "  Queda " + kInstall + "\r\n    No se eliminar\xE1 al reiniciar: "
                "C:\\Program Files pertenece a un usuario que no es administrador\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    World w;
    c.setUp(w.machine);
    w.machine.commandLine = std::string("Quelmark.exe /CREATELOG /EXITCODE") + c.options;
    const Outcome out = RunMain(w);
    EXPECT_EQ(out.status, c.status);
    EXPECT_TRUE(w.machine.messageBoxes.empty());
    const std::string log = w.machine.FileContent(kLog);
    EXPECT_NE(log.find(c.says), std::string::npos);
    const std::string last = "  C\xF3" "digo de salida: " + std::to_string(c.status) + "\r\n";
    if (c.status == 1641)
      EXPECT_NE(log.find("digo de salida: 1641 (3010 si Windows no acepta el reinicio)\r\n"),
                std::string::npos);
    else
      EXPECT_EQ(log.substr(log.size() - last.size()), last);
  }
}

// A whole unattended run loads every library by its full path in the system folder, never by
// a name the program's own folder or the current folder could answer.
TEST_F(Fleet, EveryLibraryOfAWholeRunComesFromTheSystemFolder) {
  World w;
  InstallProduct(w.machine);
  w.machine.commandLine = "Quelmark.exe /CREATELOG /EXITCODE /DELAYDELETE";
  EXPECT_EQ(RunMain(w).status, 3010u);
  auto upper = [](std::u16string text) {
    CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
  };
  const std::u16string folder = upper(w.machine.SystemDirectory() + u"\\");
  std::set<std::u16string> loaded;
  for (const sim::LibraryLoad& load : w.machine.libraryLoads) {
    const std::u16string path = upper(load.path);
    const std::string shown(path.begin(), path.end());
    ASSERT_EQ(path.compare(0, folder.size(), folder), 0) << shown;
    EXPECT_TRUE(load.flags & LOAD_WITH_ALTERED_SEARCH_PATH) << shown;
    loaded.insert(path.substr(folder.size()));
  }
  EXPECT_EQ(loaded, (std::set<std::u16string>{u"ADVAPI32.DLL", u"KERNEL32.DLL", u"PSAPI.DLL",
                                              u"SHELL32.DLL"}));
}

TEST_F(Fleet, ALockedFileLeftToTheRestartGivesThe3010) {
  World w;
  InstallProduct(w.machine);
  w.machine.HoldOpen(kInstall + "Tev32.exe");
  w.machine.commandLine = "Quelmark.exe /CREATELOG /EXITCODE /DELAYDELETE";
  EXPECT_EQ(RunMain(w).status, 3010u);
}

// The block names what is left and what the restart removes.
TEST_F(Fleet, LogBlockNamesWhatIsLeftAndWhatTheRestartRemoves) {
  World w;
  InstallProduct(w.machine);
  w.machine.HoldOpen(kInstall + "Tev32.exe");
  w.machine.DenyKeyOpen(HKEY_LOCAL_MACHINE, kUninstall);
  w.machine.DenyKeyDelete(HKEY_LOCAL_MACHINE, kUninstall);
  w.machine.commandLine = "Quelmark.exe /CREATELOG /EXITCODE /DELAYDELETE";
  EXPECT_EQ(RunMain(w).status, 1603u);
  const std::string log = w.machine.FileContent(kLog);
  const std::string block = log.substr(log.find(" \r\nComprobaci\xF3n final "));
  EXPECT_NE(block.find("  Queda HKEY_LOCAL_MACHINE\\" + kUninstall + "\r\n"), std::string::npos);
  EXPECT_NE(block.find("  Queda " + kInstall + " (se eliminar\xE1 al reiniciar)\r\n"),
            std::string::npos);
  EXPECT_EQ(block.find("Queda Proceso"), std::string::npos);
  // Children before their folder, nothing outside the product's folders.
  const std::string pending = w.machine.ValueBytes(
      HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager",
      "PendingFileRenameOperations");
  EXPECT_LT(pending.find("Tev32.exe"), pending.find(std::string("Tev32\0", 6)));
  w.machine.Release(kInstall + "Tev32.exe");
  w.machine.PerformPendingFileOperations();
  EXPECT_FALSE(w.machine.PathExists(kInstall));
}

// Without the new options nothing of this shows: the status stays 0.
TEST_F(Fleet, WithoutTheOptionsTheStatusStaysZero) {
  for (const char* line : {"Quelmark.exe /CREATELOG", "Quelmark.exe /REBOOT_AUTO"}) {
    SCOPED_TRACE(line);
    World w;
    InstallProduct(w.machine);
    w.machine.HoldOpen(kInstall + "Tev32.exe");
    w.machine.commandLine = line;
    EXPECT_EQ(RunMain(w).status, 0u);
    EXPECT_EQ(w.machine.FileContent(kLog).find("Comprobaci"), std::string::npos);
  }
}

TEST_F(Fleet, PreviewOnAFullMachineChangesNothingAndSaysWhatItFound) {
  World w;
  InstallProduct(w.machine);
  w.machine.MakeFile(kLog, "the last removal's log");
  w.machine.commandLine = "Quelmark.exe /PREVIEW /CREATELOG /REBOOT_AUTO";
  const std::string before = w.machine.StateDigest();
  const Outcome out = RunMain(w);
  EXPECT_FALSE(out.exited);
  EXPECT_EQ(out.status, 1u);
  const std::string preview = w.machine.FileContent(kPreviewLog);
  w.machine.Release(kPreviewLog);
  // The preview's own file is the only change.
  ASSERT_TRUE(w.machine.PathExists(kPreviewLog));
  DeleteFileA(kPreviewLog.c_str());
  EXPECT_EQ(w.machine.StateDigest(), before);
  EXPECT_TRUE(w.machine.messageBoxes.empty());
  EXPECT_EQ(preview.rfind("  Carpeta de instalaci\xF3n: " + kInstall +
                              " (por omisi\xF3n: DirInstall no existe o est\xE1 vac\xEDo)\r\n",
                          0),
            0u);
  for (const std::string& line : std::vector<std::string>{
           "  Presente: Servicio TEVSvc\r\n", "  Presente: Proceso TevTray.exe\r\n",
        "  Ausente: Proceso Tev32.exe\r\n", "  Presente: HKEY_CLASSES_ROOT\\.tev121\r\n",
        "  Ausente: HKEY_CLASSES_ROOT\\TEV.Ftptev\r\n", "  Presente: " + kInstall + "\r\n",
        "  Presente: " + kDriver + "\r\n"})
    EXPECT_NE(preview.find(line), std::string::npos) << line;
}

// DirInstall is read with read rights only: here the product key refuses writing.
TEST_F(Fleet, PreviewNamesTheInstallFolderAndWhy) {
  struct Case {
    std::string dirInstall;
    bool safe;
  };
  const Case cases[] = {
      {"D:\\Apps\\Tev", true},
      {"C:\\WINDOWS", false},
      {"C:\\Documents and Settings\\Ana\\Mis documentos", false},  // another user's
  };
  for (const Case& c : cases) {
    World w;
    w.machine.SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brantivo\\TEV32", "DirInstall", c.dirInstall);
    w.machine.DenyKeyWrite(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brantivo\\TEV32");
    w.machine.commandLine = "Quelmark.exe /preview";
    EXPECT_EQ(RunMain(w).status, 1u);  // the product key itself is there
    const std::string line =
        "  Carpeta de instalaci\xF3n: " +
        (c.safe ? c.dirInstall + "\\ (le\xED" "da de DirInstall)"
                : kInstall + " (por omisi\xF3n: la carpeta de DirInstall '" + c.dirInstall +
                      "' no es segura)");
    EXPECT_EQ(w.machine.FileContent(kPreviewLog).rfind(line + "\r\n", 0), 0u) << c.dirInstall;
  }
}

// Copies under different accounts (an administrator's, the system's) see each other.
TEST_F(Fleet, ASecondCopyEndsAtOnceTouchingNothing) {
  struct Case {
    const char* line;
    bool asSystem;
    unsigned status;
    bool box;
  };
  const Case cases[] = {
      {"Quelmark.exe", false, 0, true},
      {"Quelmark.exe /CREATELOG /REBOOT_AUTO", false, 0, false},
      {"Quelmark.exe /CREATELOG /EXITCODE", false, 1618, false},
      {"Quelmark.exe /CREATELOG /EXITCODE", true, 1618, false},
      {"Quelmark.exe /EXITCODE", true, 1618, true},
      {"Quelmark.exe /PREVIEW", false, 1618, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.line << " as SYSTEM " << c.asSystem);
    World w;
    InstallProduct(w.machine);
    w.machine.HoldMutex("Global\\Quelmark.Tev32.Limpieza");
    if (c.asSystem) w.machine.userSid = "S-1-5-18";
    w.machine.commandLine = c.line;
    const std::string before = w.machine.StateDigest();
    const Outcome out = RunMain(w);
    EXPECT_FALSE(out.exited);
    EXPECT_EQ(out.status, c.status);
    EXPECT_EQ(w.machine.StateDigest(), before);
    ASSERT_EQ(w.machine.messageBoxes.size(), c.box ? 1u : 0u);
    if (c.box) {
      EXPECT_EQ(w.machine.messageBoxes[0].text, "Quelmark ya se est\xE1 ejecutando.");
      EXPECT_EQ(w.machine.messageBoxes[0].caption, "Quelmark");
    }
    EXPECT_EQ(w.app.MainForm(), nullptr);  // no window was created
  }
}

// Anyone may create the lock's name first. Only an administrator's or the system's program
// can own it as Administrators or SYSTEM; any other holder is ignored and the run goes on as
// it would with the name free.
TEST_F(Fleet, ALockNameHeldByAnyoneButACopyDoesNotStopTheRun) {
  const std::string squatters[] = {
      "",  // nobody: the log every other run must write too
      "O:" + kUser + "D:(A;;GA;;;" + kUser + ")(A;;GA;;;SY)",  // a user's program, default security
      "O:" + kUser + "D:",                                     // a list that refuses everyone
      "O:" + kUser + "D:NO_ACCESS_CONTROL",                    // no list: it opens, a user owns it
      "D:(A;;GA;;;WD)",  // no owner, as Wine reports a mutex made without attributes
  };
  std::string freeLog;
  for (const std::string& squatter : squatters) {
    SCOPED_TRACE(squatter);
    World w;
    InstallProduct(w.machine);
    if (!squatter.empty()) w.machine.HoldMutex("Global\\Quelmark.Tev32.Limpieza", squatter);
    w.machine.commandLine = "Quelmark.exe /CREATELOG /EXITCODE";
    EXPECT_EQ(RunMain(w).status, 3010u);
    EXPECT_TRUE(w.machine.messageBoxes.empty());
    if (squatter.empty()) freeLog = w.machine.FileContent(kLog);
    EXPECT_EQ(w.machine.FileContent(kLog), freeLog);
  }
}

// Windows NT 4 has no global namespace: the name goes without its prefix there.
TEST_F(Fleet, TheInstanceNameFollowsTheSystem) {
  {
    World w;
    w.machine.version.dwMajorVersion = 4;
    w.machine.version.dwMinorVersion = 0;
    w.machine.HoldMutex("Quelmark.Tev32.Limpieza");
    w.machine.commandLine = "Quelmark.exe /CREATELOG /EXITCODE";
    EXPECT_EQ(RunMain(w).status, 1618u);
  }
  World first;
  first.machine.commandLine = "Quelmark.exe";
  EXPECT_EQ(RunMain(first).status, 0u);
  EXPECT_FALSE(first.machine.MutexExists("Global\\Quelmark.Tev32.Limpieza"));  // released
}

// ---- every answer fails closed

std::string LastLine(const std::string& text) {
  const std::string body = text.substr(0, text.size() - 2);  // without the final CR LF
  return body.substr(body.rfind("\r\n") + 2);
}

// A product process that neither PSAPI nor Toolhelp can name (NT 4 has no Toolhelp) may be
// running: the run and the preview say so instead of calling it gone.
TEST_F(Fleet, AProcessNothingCanNameIsNeverReportedGone) {
  sim::ProcessSpec guarded;
  guarded.queryDenied = true;
  for (const bool preview : {false, true}) {
    World w;
    InstallProduct(w.machine, false, guarded);
    w.machine.RemoveExport("Kernel32.DLL", "CreateToolhelp32Snapshot");
    w.machine.commandLine = preview ? "Quelmark.exe /PREVIEW" : "Quelmark.exe /CREATELOG /EXITCODE";
    EXPECT_EQ(RunMain(w).status, preview ? 1u : 1603u);
    const std::string text = w.machine.FileContent(preview ? kPreviewLog : kLog);
    EXPECT_NE(text.find(preview ? "  Presente: Proceso TevTray.exe\r\n"
                                : "  Queda Proceso TevTray.exe\r\n"),
              std::string::npos);
    EXPECT_EQ(text.find("no estaba corriendo"), std::string::npos);
  }
}

// The status is "could not look" from the first instruction on: an exception that keeps the
// window from being created, or the look from completing, leaves 1603, and never a box.
TEST_F(Fleet, AnExceptionBeforeTheLookCompletedLeaves1603AndNoBox) {
  // The service stage's knowledge fails in the preview's look, and in the look after the run
  // once the run has stopped the service.
  struct FailingLook : ScriptedServices {
    bool preview = false;
    bool MarkedForDeletion(const std::string&) const override {
      if (Counts().stops > 0 || preview) throw Exception("the look failed");
      return false;
    }
  };
  struct Case {
    const char* line;
    bool lookFails;  // else the main window's creation fails
    unsigned status;
  } const cases[] = {
      {"Quelmark.exe /CREATELOG /EXITCODE", false, 1603},
      {"Quelmark.exe /PREVIEW", false, 1603},
      {"Quelmark.exe /EXITCODE", false, 1603},
      {"Quelmark.exe /CREATELOG /REBOOT_AUTO", false, 0},
      {"Quelmark.exe /CREATELOG /EXITCODE", true, 1603},
      {"Quelmark.exe /PREVIEW", true, 1603},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.line << (c.lookFails ? ", look" : ", window"));
    World w;
    InstallProduct(w.machine);
    w.machine.commandLine = c.line;
    if (!c.lookFails)
      static_cast<ui::headless::HeadlessBackend&>(w.app.GetBackend()).onFormCreated =
          [](ui::Form& form) {
            if (dynamic_cast<TForm1*>(&form) != nullptr) throw EOSError(ERROR_NOT_ENOUGH_MEMORY);
          };
    const auto makeServices = [&c] {
      auto services = std::make_unique<FailingLook>();
      services->preview = std::string(c.line).find("PREVIEW") != std::string::npos;
      return services;
    };
    EXPECT_EQ(RunMain(w, makeServices).status, c.status);
    EXPECT_TRUE(w.machine.messageBoxes.empty());
    if (c.lookFails && w.machine.PathExists(kPreviewLog)) {
      EXPECT_EQ(LastLine(w.machine.FileContent(kPreviewLog)), "Error: the look failed.");
    }
  }
}

// The person's answer to /REBOOT_CONFIRM is taken before the log is written: its status line
// is the status the process ends with, 1641 only when the program asks Windows to restart.
TEST_F(Fleet, AConfirmedRestartsStatusLineIsTheStatusTheProcessEndsWith) {
  for (const int answer : {IDOK, IDCANCEL}) {
    SCOPED_TRACE(answer);
    World w;
    InstallProduct(w.machine);
    w.machine.HoldOpen(kInstall + "Tev32.exe");
    w.machine.messageBoxAnswers.push_back(answer);
    w.machine.commandLine = "Quelmark.exe /CREATELOG /EXITCODE /DELAYDELETE /REBOOT_CONFIRM";
    const bool restart = answer == IDOK;
    EXPECT_EQ(RunMain(w).status, restart ? 1641u : 3010u);
    EXPECT_EQ(w.machine.exitWindowsRequests.size(), restart ? 1u : 0u);
    EXPECT_EQ(LastLine(w.machine.FileContent(kLog)),
              restart ? "  C\xF3" "digo de salida: 1641 (3010 si Windows no acepta el reinicio)"
                      : "  C\xF3" "digo de salida: 3010");
  }
}

// The preview only reads: every open it makes, of keys, processes, the service manager,
// services and files, asks for read rights only (its own log file apart), and a service
// manager that refuses access ends its file as an Error line instead of a box.
TEST_F(Fleet, ThePreviewAsksForReadRightsOnlyAndShowsNoBox) {
  const std::map<sim::OpenKind, DWORD> reading = {
      {sim::OpenKind::Key, KEY_READ | KEY_WOW64_32KEY | KEY_WOW64_64KEY},
      {sim::OpenKind::Process,
       PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_QUERY_LIMITED_INFORMATION},
      {sim::OpenKind::ServiceManager,
       SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS},
      {sim::OpenKind::Service, SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG | READ_CONTROL},
      {sim::OpenKind::File, FILE_READ_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE | GENERIC_READ}};
  for (const bool managerDenied : {false, true}) {
    SCOPED_TRACE(managerDenied ? "service manager denied" : "service manager open");
    World w;
    sim::ProcessSpec guarded;
    guarded.queryDenied = true;
    InstallProduct(w.machine, true, guarded);
    if (managerDenied) w.machine.DenyManagerOpen();
    w.machine.commandLine = "Quelmark.exe /PREVIEW";
    const std::size_t before = w.machine.Opens().size();
    EXPECT_EQ(RunMain(w).status, 1u);
    EXPECT_TRUE(w.machine.messageBoxes.empty());
    std::set<sim::OpenKind> seen;
    for (std::size_t i = before; i < w.machine.Opens().size(); ++i) {
      const sim::OpenRecord& open = w.machine.Opens()[i];
      seen.insert(open.kind);
      if (open.name == U(kPreviewLog)) continue;
      EXPECT_EQ(open.access & ~reading.at(open.kind), 0u)
          << static_cast<int>(open.kind) << " " << std::string(open.name.begin(), open.name.end());
    }
    EXPECT_EQ(seen.size(), managerDenied ? 4u : 5u);  // every kind, the service's if it can
    EXPECT_EQ(LastLine(w.machine.FileContent(kPreviewLog)).rfind("Error: ", 0) == 0, managerDenied);
  }
}

}  // namespace
}  // namespace shelltest
