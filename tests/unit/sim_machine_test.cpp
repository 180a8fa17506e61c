// The simulated machine's own hooks: scripted services, fault injection, links, listing
// order, the loader's switches and the recorded calls that the contract tests cannot reach.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "platform/raii.h"
#include "platform/sim/machine.h"

namespace {

class SimMachine : public ::testing::Test {
 protected:
  SC_HANDLE Manager() {
    return OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE);
  }
  std::vector<std::string> Listing(const std::string& pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    qm::unique_find find(FindFirstFileA(pattern.c_str(), &data));
    if (find) {
      do names.push_back(data.cFileName);
      while (FindNextFileA(find.get(), &data));
    }
    return names;
  }

  sim::Machine machine;
};

// ---- services over virtual time

TEST_F(SimMachine, AStopRequestPassesThroughStopPendingForTheScriptedDelay) {
  sim::ServiceSpec spec;
  spec.name = "Tev";
  spec.script.stopDelayMs = 1500;
  machine.AddService(spec);
  SC_HANDLE manager = Manager();
  SC_HANDLE service = OpenServiceA(manager, "tev", SERVICE_ALL_ACCESS);
  machine.Advance(100);
  SERVICE_STATUS status{};
  ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(static_cast<DWORD>(SERVICE_STOP_PENDING), status.dwCurrentState);
  EXPECT_EQ(std::vector<DWORD>{100}, machine.stopRequestTimes);
  Sleep(1000);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_STOP_PENDING), machine.ServiceState("Tev"));
  Sleep(1000);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), machine.ServiceState("Tev"));
  EXPECT_EQ((std::vector<DWORD>{1000, 1000}), machine.Sleeps());
  EXPECT_EQ(2100u, machine.Now());
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  EXPECT_EQ(0, machine.OpenServiceHandles());
}

TEST_F(SimMachine, ScriptsCanStallInStopPendingIgnoreStopsAndStartLate) {
  sim::ServiceSpec stuck, deaf, late;
  stuck.name = "Stuck";
  stuck.script.stopDelayMs = -1;
  deaf.name = "Deaf";
  deaf.script.ignoresStop = true;
  late.name = "Late";
  late.script.startPendingUntilMs = 3000;
  for (auto& s : {stuck, deaf, late}) machine.AddService(s);
  SC_HANDLE manager = Manager();
  for (const char* name : {"Stuck", "Deaf"}) {
    SC_HANDLE service = OpenServiceA(manager, name, SERVICE_ALL_ACCESS);
    SERVICE_STATUS status{};
    EXPECT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status)) << name;
    CloseServiceHandle(service);
  }
  SC_HANDLE late1 = OpenServiceA(manager, "Late", SERVICE_ALL_ACCESS);
  SERVICE_STATUS status{};
  EXPECT_FALSE(ControlService(late1, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_CANNOT_ACCEPT_CTRL), GetLastError());
  machine.Advance(60000);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_STOP_PENDING), machine.ServiceState("Stuck"));
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), machine.ServiceState("Deaf"));
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), machine.ServiceState("Late"));
  CloseServiceHandle(late1);
  CloseServiceHandle(manager);
}

TEST_F(SimMachine, ControlErrorsFollowTheServiceState) {
  sim::ServiceSpec paused, noStop;
  paused.name = "Paused";
  paused.state = SERVICE_STOPPED;
  noStop.name = "NoStop";
  noStop.controlsAccepted = 0;
  machine.AddService(paused);
  machine.AddService(noStop);
  SC_HANDLE manager = Manager();
  SC_HANDLE a = OpenServiceA(manager, "Paused", SERVICE_ALL_ACCESS);
  SC_HANDLE b = OpenServiceA(manager, "NoStop", SERVICE_ALL_ACCESS);
  SERVICE_STATUS status{};
  EXPECT_FALSE(ControlService(a, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE), GetLastError());
  EXPECT_FALSE(ControlService(b, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_SERVICE_CONTROL), GetLastError());
  CloseServiceHandle(a);
  CloseServiceHandle(b);
  CloseServiceHandle(manager);
}

// ---- service enumeration

TEST_F(SimMachine, EnumerationPacksRecordsFirstAndResumesWhereTheBufferFilledUp) {
  for (int i = 0; i < 30; ++i) {
    sim::ServiceSpec spec;
    spec.name = "Svc" + std::to_string(100 + i);
    spec.displayName = "Display " + std::to_string(i);
    machine.AddService(spec);
  }
  sim::ServiceSpec driver;
  driver.name = "Drv";
  driver.type = SERVICE_KERNEL_DRIVER;
  machine.AddService(driver);
  SC_HANDLE manager = Manager();
  std::vector<std::uint64_t> storage(512 / 8);
  auto* records = reinterpret_cast<ENUM_SERVICE_STATUSA*>(storage.data());
  DWORD needed = 0, returned = 0, resume = 0;
  ASSERT_FALSE(EnumServicesStatusA(manager, SERVICE_WIN32, SERVICE_STATE_ALL, records, 512,
                                   &needed, &returned, &resume));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MORE_DATA), GetLastError());
  ASSERT_GT(returned, 0u);
  const char* buffer = reinterpret_cast<const char*>(records);
  for (DWORD i = 0; i < returned; ++i) {
    EXPECT_GE(records[i].lpServiceName, buffer + returned * sizeof(ENUM_SERVICE_STATUSA));
    EXPECT_LT(records[i].lpServiceName, buffer + 512);
  }
  EXPECT_STREQ("Svc100", records[0].lpServiceName);
  const DWORD perRecord = sizeof(ENUM_SERVICE_STATUSA) + 7 + 10;  // "SvcNNN" and "Display N"
  EXPECT_LE(needed, (30 - returned) * (perRecord + 1));
  EXPECT_EQ(returned + 1, resume) << "Drv sorts first and is skipped by the mask";

  machine.enumLosesResumePosition = true;
  DWORD lost = resume;
  EXPECT_FALSE(EnumServicesStatusA(manager, SERVICE_WIN32, SERVICE_STATE_ALL, records, 512,
                                   &needed, &returned, &lost));
  EXPECT_EQ(0u, lost);
  CloseServiceHandle(manager);
}

// ---- deletion and access injection

TEST_F(SimMachine, AMarkedServiceAndItsKeyGoWithTheLastHandle) {
  sim::ServiceSpec spec;
  spec.name = "Tev";
  machine.AddService(spec);
  const std::string key = "SYSTEM\\CurrentControlSet\\Services\\Tev";
  ASSERT_TRUE(machine.KeyExists(HKEY_LOCAL_MACHINE, key));
  SC_HANDLE manager = Manager();
  SC_HANDLE a = OpenServiceA(manager, "Tev", SERVICE_ALL_ACCESS);
  SC_HANDLE b = OpenServiceA(manager, "Tev", SERVICE_ALL_ACCESS);
  ASSERT_TRUE(DeleteService(a));
  EXPECT_TRUE(machine.ServiceMarkedForDeletion("Tev"));
  CloseServiceHandle(a);
  EXPECT_TRUE(machine.ServiceInstalled("Tev"));
  CloseServiceHandle(b);
  EXPECT_FALSE(machine.ServiceInstalled("Tev"));
  EXPECT_FALSE(machine.KeyExists(HKEY_LOCAL_MACHINE, key));
  CloseServiceHandle(manager);
}

TEST_F(SimMachine, ServiceFaultsAnswerAccessDenied) {
  sim::ServiceSpec spec;
  spec.name = "Tev";
  machine.AddService(spec);
  spec.name = "Other";
  machine.AddService(spec);
  machine.DenyServiceOpen("Other");
  machine.DenyServiceControl("Tev");
  machine.DenyServiceDelete("Tev");
  SC_HANDLE manager = Manager();
  EXPECT_EQ(nullptr, OpenServiceA(manager, "Other", SERVICE_ALL_ACCESS));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  SC_HANDLE service = OpenServiceA(manager, "Tev", SERVICE_ALL_ACCESS);
  SERVICE_STATUS status{};
  EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_FALSE(DeleteService(service));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  machine.DenyManagerOpen();
  EXPECT_EQ(nullptr, Manager());
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
}

// ---- registry faults

TEST_F(SimMachine, KeyFaultsRefuseOpenAndDeleteAndHandlesAreCounted) {
  machine.SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tev\\Locked", "v", "x");
  machine.DenyKeyOpen(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tev\\Locked");
  machine.DenyKeyDelete(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tev\\Kept");
  HKEY key = nullptr;
  EXPECT_EQ(ERROR_ACCESS_DENIED,
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\tev\\locked", 0, KEY_READ, &key));
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tev", 0, KEY_ALL_ACCESS, &key));
  EXPECT_EQ(1, machine.OpenKeyHandles());
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(key, "Kept"));
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
  EXPECT_EQ(0, machine.OpenKeyHandles());
  EXPECT_TRUE(machine.KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tev\\Kept"));
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key)) << "a second close is caught";
}

TEST_F(SimMachine, ClassesRootIsTheMachineClassesKey) {
  machine.CreateKey(HKEY_CLASSES_ROOT, "TevFile\\shell");
  EXPECT_TRUE(machine.KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\TevFile\\shell"));
  EXPECT_EQ((std::vector<std::string>{"TevFile"}), machine.SubKeyNames(HKEY_CLASSES_ROOT, ""));
}

// ---- file system hooks

TEST_F(SimMachine, ADirectoryLinkIsListedThroughButRemovedAsItself) {
  machine.MakeFile("C:\\Target\\kept.txt");
  machine.MakeLink("C:\\Prod\\Link", "C:\\Target");
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT),
            GetFileAttributesA("C:\\Prod\\Link"));
  EXPECT_EQ((std::vector<std::string>{".", "..", "kept.txt"}), Listing("C:\\Prod\\Link\\*.*"));
  EXPECT_TRUE(RemoveDirectoryA("C:\\Prod\\Link\\"));
  EXPECT_FALSE(machine.PathExists("C:\\Prod\\Link"));
  EXPECT_TRUE(machine.PathExists("C:\\Target\\kept.txt"));
}

TEST_F(SimMachine, AFileLinkIsDeletedWithoutItsTarget) {
  machine.MakeFile("C:\\Target\\real.dll", "bytes");
  machine.MakeLink("C:\\Prod\\alias.dll", "C:\\Target\\real.dll", false);
  EXPECT_EQ("bytes", machine.FileContent("C:\\Prod\\alias.dll"));
  EXPECT_TRUE(DeleteFileA("C:\\Prod\\alias.dll"));
  EXPECT_TRUE(machine.PathExists("C:\\Target\\real.dll"));
}

TEST_F(SimMachine, ListingOrderIsSettableAndDotsComeFirst) {
  for (const char* name : {"b.txt", "C.txt", "a.txt"}) machine.MakeFile(std::string("C:\\D\\") + name);
  EXPECT_EQ((std::vector<std::string>{".", "..", "a.txt", "b.txt", "C.txt"}), Listing("C:\\D\\*.*"));
  machine.SetListingOrder(sim::ListingOrder::ReverseAlphabetical);
  EXPECT_EQ((std::vector<std::string>{".", "..", "C.txt", "b.txt", "a.txt"}), Listing("C:\\D\\*"));
  machine.SetListingOrder(sim::ListingOrder::Creation);
  EXPECT_EQ((std::vector<std::string>{"b.txt", "C.txt", "a.txt"}), machine.ListNames("C:\\D"));
  EXPECT_EQ((std::vector<std::string>{"C.txt"}), Listing("C:\\D\\c*.T?T"));
  EXPECT_EQ(0, machine.OpenFindHandles());
}

TEST_F(SimMachine, HeldFilesAndDeniedListingsFail) {
  machine.MakeFile("C:\\P\\busy.exe");
  machine.MakeDirectory("C:\\P\\Secret");
  machine.HoldOpen("C:\\P\\busy.exe");
  machine.DenyListing("C:\\P\\Secret");
  EXPECT_FALSE(DeleteFileA("C:\\P\\busy.exe"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
  WIN32_FIND_DATAA data;
  EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileA("C:\\P\\Secret\\*.*", &data));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  machine.Release("C:\\P\\busy.exe");
  EXPECT_TRUE(DeleteFileA("C:\\P\\busy.exe"));
}

// ---- processes

TEST_F(SimMachine, ProcessFaultsDenyOpeningAndTermination) {
  sim::ProcessSpec hidden, guarded, stubborn;
  hidden.exe = "Hidden.exe";
  hidden.queryDenied = true;
  guarded.exe = "Guarded.exe";
  guarded.terminateDenied = true;
  stubborn.exe = "Stubborn.exe";
  stubborn.terminateFails = true;
  const DWORD h = machine.StartProcess(hidden);
  const DWORD g = machine.StartProcess(guarded);
  const DWORD s = machine.StartProcess(stubborn);
  EXPECT_EQ(nullptr, OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, h));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_EQ(nullptr, OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, 4));
  EXPECT_EQ(nullptr, OpenProcess(PROCESS_TERMINATE, FALSE, g));
  qm::unique_kernel process(OpenProcess(PROCESS_TERMINATE, FALSE, s));
  ASSERT_TRUE(process);
  EXPECT_FALSE(TerminateProcess(process.get(), 0));
  EXPECT_TRUE(machine.IsRunning(s));
  EXPECT_EQ(1, machine.OpenKernelHandles());
}

TEST_F(SimMachine, ToolhelpListsModulesOfEveryProcessAndTheSystemFirst) {
  sim::ProcessSpec tray;
  tray.exe = "TevTray.exe";
  tray.modules = {"tevhook.dll"};
  const DWORD pid = machine.StartProcess(tray);
  qm::unique_snapshot modules(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid));
  ASSERT_TRUE(modules);
  MODULEENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  std::vector<std::string> names;
  for (BOOL more = Module32First(modules.get(), &entry); more; more = Module32Next(modules.get(), &entry))
    names.push_back(entry.szModule);
  EXPECT_EQ((std::vector<std::string>{"TevTray.exe", "tevhook.dll"}), names);
  DWORD ids[8];
  DWORD bytes = 0;
  ASSERT_TRUE(EnumProcesses(ids, sizeof(ids), &bytes));
  ASSERT_EQ(3 * sizeof(DWORD), bytes);
  EXPECT_EQ(0u, ids[0]);
  EXPECT_EQ(4u, ids[1]);
  EXPECT_EQ(pid, ids[2]);
}

// ---- loader

TEST_F(SimMachine, LoaderSwitchesRemoveExportsAndFailLoads) {
  machine.RemoveExport("psapi.dll", "EnumProcessModules");
  machine.FailLoad("KERNEL32.DLL");
  HMODULE psapi = LoadLibraryA("C:\\WINDOWS\\system32\\PSAPI");
  ASSERT_NE(nullptr, psapi);
  EXPECT_EQ(nullptr, GetProcAddress(psapi, "EnumProcessModules"));
  EXPECT_NE(nullptr, GetProcAddress(psapi, "EnumProcesses"));
  EXPECT_EQ(nullptr, LoadLibraryA("C:\\WINDOWS\\system32\\Kernel32.DLL"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
  EXPECT_EQ(1, machine.LoadedLibraries());
  EXPECT_TRUE(FreeLibrary(psapi));
  EXPECT_EQ(2, machine.LoadLibraryCalls());
  EXPECT_EQ(1, machine.FreeLibraryCalls());
  EXPECT_EQ(0, machine.LoadedLibraries());
}

// Windows would search for these and could load a planted copy: the simulation refuses every
// load that does not name the system folder, and keeps each one asked for.
TEST_F(SimMachine, TheLoaderServesLibrariesOnlyByTheirPathInTheSystemFolder) {
  machine.windowsDirectory = "D:\\WINNT";
  const std::pair<std::u16string, bool> rows[] = {
      {u"d:\\winnt\\SYSTEM32\\psapi", true},  {u"psapi.dll", false},
      {u"C:\\WINDOWS\\system32\\psapi.dll", false}, {u"C:\\Temp\\psapi.dll", false},
      {u"D:\\WINNT\\system32\\x\\psapi.dll", false}, {u"D:\\WINNT\\system32\\radmin32.dll", false}};
  for (const auto& [path, served] : rows) {
    qm::unique_library library(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    EXPECT_EQ(served, static_cast<bool>(library)) << std::string(path.begin(), path.end());
  }
  ASSERT_EQ(std::size(rows), machine.libraryLoads.size());
  EXPECT_EQ(rows[1].first, machine.libraryLoads[1].path);
  EXPECT_EQ(static_cast<DWORD>(LOAD_WITH_ALTERED_SEARCH_PATH), machine.libraryLoads[1].flags);
}

TEST_F(SimMachine, UnmodelledServiceEntryPointsAnswer120) {
  qm::unique_library advapi(LoadLibraryA("C:\\WINDOWS\\system32\\ADVAPI32.DLL"));
  using Start = BOOL (*)(SC_HANDLE, DWORD, LPCSTR*);
  auto start = reinterpret_cast<Start>(reinterpret_cast<void (*)()>(GetProcAddress(advapi.get(), "StartServiceA")));
  ASSERT_NE(nullptr, start);
  EXPECT_FALSE(start(nullptr, 0, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED), GetLastError());
}

// ---- system

TEST_F(SimMachine, WithoutTheShutdownPrivilegeAdjustingSucceedsWith1300) {
  machine.shutdownPrivilege = false;
  qm::unique_kernel token;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put()));
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  ASSERT_TRUE(LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid));
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  EXPECT_TRUE(AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ALL_ASSIGNED), GetLastError());
  EXPECT_FALSE(machine.ShutdownPrivilegeEnabled());
}

TEST_F(SimMachine, RecordedCallsAndScriptedAnswers) {
  machine.messageBoxAnswers = {IDCANCEL};
  EXPECT_EQ(IDCANCEL, MessageBoxA(nullptr, "text", "Informaci\xF3n", 0x41));
  EXPECT_EQ(IDOK, MessageBoxA(nullptr, "again", "c", MB_OK));
  ASSERT_EQ(2u, machine.messageBoxes.size());
  EXPECT_EQ("Informaci\xF3n", machine.messageBoxes[0].caption);
  EXPECT_TRUE(ExitWindowsEx(EWX_REBOOT | EWX_FORCE, 0));
  EXPECT_EQ(std::vector<UINT>{6}, machine.exitWindowsRequests);
  machine.commandLine = "Quelmark.exe /reboot_auto";
  EXPECT_STREQ("Quelmark.exe /reboot_auto", GetCommandLineA());
  try {
    ExitProcess(0);
    FAIL() << "ExitProcess returned";
  } catch (const sim::ProcessExit& e) {
    EXPECT_EQ(0u, e.code);
  }
}

TEST_F(SimMachine, TheVersionIsSettableAndItsQueryCanFail) {
  machine.version.dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
  machine.version.dwMinorVersion = 90;
  OSVERSIONINFOA v{};
  v.dwOSVersionInfoSize = sizeof(v);
  ASSERT_TRUE(GetVersionExA(&v));
  EXPECT_EQ(90u, v.dwMinorVersion);
  machine.versionQueryFails = true;
  EXPECT_FALSE(GetVersionExA(&v));
}

// ---- wide names, listing races, deletion at the restart, shell folders

TEST_F(SimMachine, TheNarrowSetUpNamesTheSameEntriesAsTheWideOne) {
  machine.MakeFile("C:\\Prod\\Caf\xE9.txt");
  machine.CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Se\xF1or");
  EXPECT_TRUE(machine.PathExistsW(u"C:\\prod\\CAF\u00C9.TXT"));
  EXPECT_TRUE(machine.KeyExistsW(HKEY_LOCAL_MACHINE, u"software\\SE\u00D1OR"));
  machine.MakeDirectoryW(u"C:\\Prod\\\u0416");
  EXPECT_EQ((std::vector<std::string>{"Caf\xE9.txt", "?"}), machine.ListNames("C:\\Prod"));
}

// The ANSI code page steers CP_ACP and the narrow functions, as on Windows; an explicit code
// page 1252 and the wide functions do not move.
TEST(SimCodePages, TheAnsiCodePageSteersCpAcpAndTheNarrowFunctions) {
  struct Case {
    UINT codePage;
    char16_t fromFa;     // MultiByteToWideChar(CP_ACP) of the lone byte 0xFA
    const char* listed;  // FindFirstFileA's name for "Menú"
    const char* logged;  // WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, "?") of "ú"
  } const cases[] = {{1252, 0x00FA, "Men\xFA", "\xFA"},
                     {1251, 0x044A, "Menu", "?"},
                     {932, 0x30FB, "Menu", "?"},
                     {65001, 0xFFFD, "Men\xC3\xBA", nullptr}};
  for (const Case& c : cases) {
    sim::Machine machine;
    machine.ansiCodePage = c.codePage;
    machine.MakeDirectoryW(u"C:\\Men\u00FA");
    WCHAR wide[4] = {};
    EXPECT_EQ(1, MultiByteToWideChar(CP_ACP, 0, "\xFA", 1, wide, 4));
    EXPECT_EQ(c.fromFa, wide[0]) << c.codePage;
    EXPECT_EQ(1, MultiByteToWideChar(1252, 0, "\xFA", 1, wide, 4));
    EXPECT_EQ(u'\u00FA', wide[0]) << c.codePage;
    WIN32_FIND_DATAA data;
    qm::unique_find find(FindFirstFileA("C:\\M*", &data));
    ASSERT_TRUE(find) << c.codePage;
    EXPECT_STREQ(c.listed, data.cFileName) << c.codePage;
    // A best-fit name leads back to nothing, an exact one to the folder.
    const bool exact = std::string(c.listed) != "Menu";
    EXPECT_EQ(exact, GetFileAttributesA((std::string("C:\\") + data.cFileName).c_str()) !=
                         INVALID_FILE_ATTRIBUTES)
        << c.codePage;
    char bytes[8] = {};
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, u"\u00FA", 1, bytes,
                                      sizeof bytes, "?", nullptr);
    if (c.logged == nullptr) {
      EXPECT_EQ(0, n);
      EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    } else {
      EXPECT_EQ(std::string(c.logged), std::string(bytes, n > 0 ? n : 0)) << c.codePage;
    }
  }
}

TEST_F(SimMachine, AListingRaceRunsOnceRightAfterItsEntryIsHandedOut) {
  machine.MakeFile("C:\\Prod\\Sub\\inside.txt");
  machine.MakeFile("C:\\Victim\\keep.txt");
  int runs = 0;
  machine.OnListed(u"c:\\PROD\\sub", [&] {
    ++runs;
    machine.MakeLinkW(u"C:\\Prod\\Sub", u"C:\\Victim");
  });
  WIN32_FIND_DATAW data;
  qm::unique_find find(FindFirstFileW(u"C:\\Prod\\*", &data));
  ASSERT_TRUE(find);
  while (std::u16string(data.cFileName) != u"Sub") ASSERT_TRUE(FindNextFileW(find.get(), &data));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY), data.dwFileAttributes)
      << "the entry shows the folder as it was listed";
  EXPECT_EQ(1, runs);
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT),
            GetFileAttributesW(u"C:\\Prod\\Sub"));
  EXPECT_EQ(1, runs) << "once only";
}

TEST_F(SimMachine, TheRestartDeletesThePendingEntriesInOrderAndKeepsAFolderThatIsNotEmpty) {
  machine.MakeFile("C:\\Prod\\a.dll");
  machine.MakeFile("C:\\Prod\\Kept\\in-use.dat");
  machine.HoldOpen("C:\\Prod\\a.dll");  // a restart ends every process
  for (const char16_t* path : {u"C:\\Prod\\a.dll", u"C:\\Prod\\Kept", u"C:\\Prod"})
    EXPECT_TRUE(MoveFileExW(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_TRUE(machine.PathExists("C:\\Prod\\a.dll"));
  EXPECT_EQ((std::vector<std::u16string>{u"C:\\Prod\\Kept", u"C:\\Prod"}),
            machine.PerformPendingFileOperations());
  EXPECT_FALSE(machine.PathExists("C:\\Prod\\a.dll"));
  EXPECT_TRUE(machine.PathExists("C:\\Prod\\Kept\\in-use.dat"));
  EXPECT_FALSE(machine.ValueExists(HKEY_LOCAL_MACHINE,
                                   "SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                                   "PendingFileRenameOperations"));
}

TEST_F(SimMachine, OnlyAnAdministratorSchedulesADeletionAtTheRestart) {
  machine.administrator = false;
  machine.MakeFile("C:\\Prod\\a.dll");
  EXPECT_FALSE(MoveFileExW(u"C:\\Prod\\a.dll", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_TRUE(machine.PerformPendingFileOperations().empty());
  EXPECT_TRUE(machine.PathExists("C:\\Prod\\a.dll"));
}

TEST_F(SimMachine, ShellFoldersAnswerWhatIsSetAndFailForWhatIsNot) {
  machine.SetShellFolder(CSIDL_PROGRAM_FILES, u"D:\\Programas");
  machine.SetShellFolder(CSIDL_PERSONAL, u"");
  machine.RemoveExport("shell32.dll", "SHGetFolderPathW");
  qm::unique_library shell32(LoadLibraryA("C:\\WINDOWS\\system32\\shell32.dll"));
  EXPECT_EQ(nullptr, GetProcAddress(shell32.get(), "SHGetFolderPathW"));
  qm::unique_library shfolder(LoadLibraryA("C:\\WINDOWS\\system32\\shfolder.dll"));
  using GetFolderPath = HRESULT (*)(HWND, int, HANDLE, DWORD, LPWSTR);
  auto get = reinterpret_cast<GetFolderPath>(
      reinterpret_cast<void (*)()>(GetProcAddress(shfolder.get(), "SHGetFolderPathW")));
  ASSERT_NE(nullptr, get);
  struct Row {
    int csidl;
    HRESULT result;
    std::u16string path;
  };
  const Row rows[] = {
      {CSIDL_PROGRAM_FILES, S_OK, u"D:\\Programas"},
      {CSIDL_PROGRAM_FILES | CSIDL_FLAG_CREATE, S_OK, u"D:\\Programas"},
      {CSIDL_PERSONAL, E_FAIL, u""},
      {CSIDL_PROGRAM_FILESX86, E_FAIL, u""},  // a 32-bit system has none
      {CSIDL_SYSTEM, S_OK, u"C:\\WINDOWS\\system32"},
      {0x7E, E_INVALIDARG, u""},
  };
  for (const Row& row : rows) {
    WCHAR path[MAX_PATH] = {u'x'};
    EXPECT_EQ(row.result, get(nullptr, row.csidl, nullptr, SHGFP_TYPE_CURRENT, path)) << row.csidl;
    EXPECT_EQ(row.path, std::u16string(path)) << row.csidl;
  }
}

TEST_F(SimMachine, TheProfilesFolderAndTheEnvironmentFollowTheMachine) {
  machine.SetEnvironment(u"SystemDrive", u"E:");
  WCHAR expanded[MAX_PATH] = {};
  EXPECT_EQ(20u, ExpandEnvironmentStringsW(u"%SYSTEMDRIVE%\\x %unknown% 100%", expanded, MAX_PATH));
  EXPECT_EQ(std::u16string(u"E:\\x %unknown% 100%"), std::u16string(expanded));
  machine.SetProfilesDirectory(u"");
  EXPECT_FALSE(machine.ValueExistsW(HKEY_LOCAL_MACHINE,
                                    u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
                                    u"ProfilesDirectory"));
}

TEST_F(SimMachine, A32BitProgramOn64BitWindowsSeesSysWow64UntilItsThreadTurnsThatOff) {
  machine.wow64 = true;
  machine.MakeFile("C:\\WINDOWS\\system32\\drivers\\a.sys");
  machine.MakeFile("C:\\WINDOWS\\SysWOW64\\drivers\\b.sys");
  machine.MakeFile("C:\\WINDOWS\\system32\\drivers\\etc\\hosts");
  struct Row {
    const char* path;
    bool redirected, native;  // whether the program sees it with the redirection on, off
  };
  const Row rows[] = {
      {"C:\\WINDOWS\\system32\\drivers\\a.sys", false, true},
      {"c:\\windows\\Temp\\..\\SYSTEM32\\Drivers\\b.sys", true, false},
      {"C:\\WINDOWS\\system32\\drivers\\etc\\hosts", true, true},  // exempt
  };
  HMODULE kernel32 = GetModuleHandleW(u"kernel32.dll");
  EXPECT_EQ(0, machine.LoadedLibraries());  // found, not loaded
  auto disable = reinterpret_cast<BOOL (*)(PVOID*)>(reinterpret_cast<void (*)()>(
      GetProcAddress(kernel32, "Wow64DisableWow64FsRedirection")));
  auto revert = reinterpret_cast<BOOL (*)(PVOID)>(reinterpret_cast<void (*)()>(
      GetProcAddress(kernel32, "Wow64RevertWow64FsRedirection")));
  ASSERT_TRUE(disable && revert);
  auto sees = [](const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; };
  for (const Row& row : rows) EXPECT_EQ(row.redirected, sees(row.path)) << row.path;
  PVOID old = nullptr;
  ASSERT_TRUE(disable(&old));
  for (const Row& row : rows) EXPECT_EQ(row.native, sees(row.path)) << row.path;
  EXPECT_TRUE(revert(old));
  EXPECT_FALSE(machine.FsRedirectionOff());
}

}  // namespace
