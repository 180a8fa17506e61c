// Process listing and termination as the process stage binds and uses them: PSAPI and
// Toolhelp reached through qm::LoadSystemLibrary and GetProcAddress, OpenProcess,
// TerminateProcess.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "cleanup/install_folder.h"
#include "platform/raii.h"
#include "platform/system_library.h"
#include "platform/text.h"
#include "tests/contract/world.h"

namespace {

using contract::World;

using EnumProcessesFn = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
using EnumProcessModulesFn = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, DWORD*);
using GetModuleBaseNameFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPWSTR, DWORD);
using SnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
using Process32Fn = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32*);
using Process32WFn = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32W*);

template <typename F>
F Bind(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

class ProcessesContract : public ::testing::Test {
 protected:
  void SetUp() override {
    psapi = qm::LoadSystemLibrary("PSAPI.DLL");
    ASSERT_TRUE(psapi);
    enumProcesses = Bind<EnumProcessesFn>(psapi.get(), "EnumProcesses");
    enumModules = Bind<EnumProcessModulesFn>(psapi.get(), "EnumProcessModules");
    baseName = Bind<GetModuleBaseNameFn>(psapi.get(), "GetModuleBaseNameW");
    ASSERT_TRUE(enumProcesses && enumModules && baseName);
  }
  std::vector<DWORD> Ids() {
    std::vector<DWORD> ids(1000);
    DWORD bytes = 0;
    EXPECT_TRUE(enumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes));
    ids.resize(bytes / sizeof(DWORD));
    return ids;
  }
  // The executable name as the process stage reads it, or "" when it cannot be read.
  std::string NameOf(DWORD pid) {
    qm::unique_kernel process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
    if (!process) return "";
    HMODULE module = nullptr;
    DWORD needed = 0;
    if (!enumModules(process.get(), &module, sizeof(module), &needed)) return "";
    WCHAR name[MAX_PATH] = {};
    if (baseName(process.get(), module, name, MAX_PATH) == 0) return "";
    return qm::Narrow(name);
  }
  bool Listed(DWORD pid) {
    const std::vector<DWORD> ids = Ids();
    return std::find(ids.begin(), ids.end(), pid) != ids.end();
  }

  World world;
  qm::unique_library psapi;
  EnumProcessesFn enumProcesses = nullptr;
  EnumProcessModulesFn enumModules = nullptr;
  GetModuleBaseNameFn baseName = nullptr;
};

// ---- the loader

class LoaderContract : public ::testing::Test {
 protected:
  World world;
};

TEST_F(LoaderContract, SystemLibrariesLoadFromTheSystemFolderAndAMissingOneAnswers126) {
  const std::string folder = qm::Narrow(qm::SystemDirectory());
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(folder.c_str())) << folder;
  for (const char* name : {"psapi.dll", "KERNEL32.DLL", "shell32.dll"}) {
    const qm::unique_library library = qm::LoadSystemLibrary(name);
    WCHAR file[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(library.get(), file, MAX_PATH), 0u) << name;
    EXPECT_EQ(cleanup::FoldCase(qm::Widen(folder + "\\" + name)), cleanup::FoldCase(file));
  }
  EXPECT_FALSE(qm::LoadSystemLibrary("radmin32.dll"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
}

TEST_F(LoaderContract, AMissingEntryPointAnswers127) {
  const qm::unique_library kernel = qm::LoadSystemLibrary("Kernel32.DLL");
  ASSERT_TRUE(kernel);
  EXPECT_EQ(nullptr, GetProcAddress(kernel.get(), "NoSuchFunctionAnywhere"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
}

TEST_F(LoaderContract, ToolhelpIsExportedByKernel32) {
  const qm::unique_library kernel = qm::LoadSystemLibrary("Kernel32.DLL");
  ASSERT_TRUE(kernel);
  for (const char* name : {"CreateToolhelp32Snapshot", "Process32First", "Process32Next",
                           "Module32First", "Module32Next"})
    EXPECT_NE(nullptr, GetProcAddress(kernel.get(), name)) << name;
}

TEST_F(LoaderContract, Advapi32ExportsEveryEntryPointOfTheServiceBinding) {
  const qm::unique_library advapi = qm::LoadSystemLibrary("advapi32.dll");
  ASSERT_TRUE(advapi);
  for (const char* name :
       {"ChangeServiceConfigA", "ChangeServiceConfig2W", "CloseServiceHandle", "ControlService",
        "CreateServiceA", "DeleteService", "EnumDependentServicesA", "EnumServicesStatusA",
        "GetServiceDisplayNameA", "GetServiceKeyNameA", "LockServiceDatabase",
        "NotifyBootConfigStatus", "OpenSCManagerA", "OpenServiceA", "QueryServiceConfigA",
        "QueryServiceConfig2W", "QueryServiceLockStatusA", "QueryServiceStatus", "StartServiceA",
        "QueryServiceObjectSecurity", "SetServiceObjectSecurity", "UnlockServiceDatabase",
        "RegConnectRegistryA", "RegOpenKeyExA", "RegCloseKey", "RegEnumKeyExA",
        "RegQueryValueExA", "InitiateSystemShutdownExA", "RegEnumValueA", "RegQueryInfoKeyA",
        "CredEnumerateW"})
    EXPECT_NE(nullptr, GetProcAddress(advapi.get(), name)) << name;
}

// ---- listing

TEST_F(ProcessesContract, AStartedProcessIsListedUnderItsExecutableName) {
  const DWORD pid = world.StartProcess("QmProbeList.exe");
  ASSERT_NE(0u, pid);
  EXPECT_TRUE(Listed(pid));
  EXPECT_EQ("QmProbeList.exe", NameOf(pid));
}

TEST_F(ProcessesContract, ANullModuleHandleNamesTheExecutable) {
  const DWORD pid = world.StartProcess("QmProbeNull.exe");
  qm::unique_kernel process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
  ASSERT_TRUE(process);
  WCHAR name[MAX_PATH] = {};
  EXPECT_EQ(std::strlen("QmProbeNull.exe"), baseName(process.get(), nullptr, name, MAX_PATH));
  EXPECT_EQ("QmProbeNull.exe", qm::Narrow(name));
}

TEST_F(ProcessesContract, TheIdleProcessCannotBeOpened) {
  EXPECT_EQ(nullptr, OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_EQ(nullptr, OpenProcess(PROCESS_TERMINATE, FALSE, 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(ProcessesContract, ListingsReportIdentifiersInFourByteSteps) {
  world.StartProcess("QmProbeIds.exe");
  DWORD ids[2] = {};
  DWORD bytes = 0;
  ASSERT_TRUE(enumProcesses(ids, sizeof(ids), &bytes)) << "a short list is filled, not refused";
  EXPECT_EQ(sizeof(ids), bytes);
}

TEST_F(ProcessesContract, ToolhelpListsAStartedProcess) {
  const DWORD pid = world.StartProcess("QmProbeSnap.exe");
  const qm::unique_library kernel = qm::LoadSystemLibrary("Kernel32.DLL");
  ASSERT_TRUE(kernel);
  auto snapshotOf = Bind<SnapshotFn>(kernel.get(), "CreateToolhelp32Snapshot");
  auto first = Bind<Process32WFn>(kernel.get(), "Process32FirstW");
  auto next = Bind<Process32WFn>(kernel.get(), "Process32NextW");
  qm::unique_snapshot snapshot(snapshotOf(TH32CS_SNAPPROCESS, 0));
  ASSERT_TRUE(snapshot);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  std::string found;
  for (BOOL more = first(snapshot.get(), &entry); more; more = next(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == pid) found = qm::Narrow(entry.szExeFile);
    entry.dwSize = sizeof(entry);
  }
  EXPECT_EQ("QmProbeSnap.exe", found);
}

TEST_F(ProcessesContract, ToolhelpRefusesARecordSmallerThanTheBuildsOwn) {
  const qm::unique_library kernel = qm::LoadSystemLibrary("Kernel32.DLL");
  auto snapshotOf = Bind<SnapshotFn>(kernel.get(), "CreateToolhelp32Snapshot");
  auto first = Bind<Process32Fn>(kernel.get(), "Process32First");
  qm::unique_snapshot snapshot(snapshotOf(TH32CS_SNAPPROCESS, 0));
  ASSERT_TRUE(snapshot);
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof(entry) - sizeof(void*);  // in a 64-bit build the 32-bit record's size
  EXPECT_FALSE(first(snapshot.get(), &entry));
  entry.dwSize = sizeof(entry);
  EXPECT_TRUE(first(snapshot.get(), &entry));
}

TEST_F(ProcessesContract, EveryCopyOfOneExecutableIsListedUnderItsName) {
  const std::string exe = world.UniqueName("QmProbeTwin") + ".exe";
  const DWORD pids[] = {world.StartProcess(exe), world.StartProcess(exe), world.StartProcess(exe)};
  const qm::unique_library kernel = qm::LoadSystemLibrary("Kernel32.DLL");
  auto snapshotOf = Bind<SnapshotFn>(kernel.get(), "CreateToolhelp32Snapshot");
  auto first = Bind<Process32Fn>(kernel.get(), "Process32First");
  auto next = Bind<Process32Fn>(kernel.get(), "Process32Next");
  qm::unique_snapshot snapshot(snapshotOf(TH32CS_SNAPPROCESS, 0));
  ASSERT_TRUE(snapshot);
  std::vector<DWORD> named;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = first(snapshot.get(), &entry); more; more = next(snapshot.get(), &entry)) {
    if (exe == entry.szExeFile) named.push_back(entry.th32ProcessID);
    entry.dwSize = sizeof(entry);
  }
  for (const DWORD pid : pids) {
    EXPECT_NE(0u, pid);
    EXPECT_TRUE(Listed(pid)) << pid;
    EXPECT_EQ(exe, NameOf(pid)) << pid;
    EXPECT_NE(named.end(), std::find(named.begin(), named.end(), pid)) << pid;
  }
}

// The process stage reads a name and terminates through one handle; once the process has
// ended, that handle keeps designating the ended process, whatever its identifier names now.
TEST_F(ProcessesContract, OneHandleReadsTheNameAndTerminatesAndThenKeepsTheEndedProcess) {
  const DWORD pid = world.StartProcess("QmProbeOnce.exe");
  qm::unique_kernel process(
      OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_TERMINATE, FALSE, pid));
  ASSERT_TRUE(process);
  WCHAR name[MAX_PATH] = {};
  EXPECT_NE(0u, baseName(process.get(), nullptr, name, MAX_PATH));
  EXPECT_EQ("QmProbeOnce.exe", qm::Narrow(name));
  EXPECT_TRUE(TerminateProcess(process.get(), 0));
  for (int i = 0; i < 100 && Listed(pid); ++i) Sleep(50);
  EXPECT_FALSE(Listed(pid));
  EXPECT_EQ(0u, baseName(process.get(), nullptr, name, MAX_PATH));
  // Windows refuses to terminate an ended process again (5); Wine reports success. Either
  // way the call reaches the ended process only, never another holding its identifier.
  const BOOL again = TerminateProcess(process.get(), 0);
  if (World::Simulated() || !again) {
    EXPECT_FALSE(again);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  }
}

// ---- termination

TEST_F(ProcessesContract, TerminateProcessEndsTheProcess) {
  const DWORD pid = world.StartProcess("QmProbeKill.exe");
  qm::unique_kernel process(OpenProcess(PROCESS_TERMINATE, FALSE, pid));
  ASSERT_TRUE(process);
  EXPECT_TRUE(TerminateProcess(process.get(), 0));
  bool gone = false;
  for (int i = 0; i < 100 && !gone; ++i) {
    gone = !Listed(pid);
    if (!gone) Sleep(50);
  }
  EXPECT_TRUE(gone);
}

// The process stage waits on the handle it terminated through: the wait needs SYNCHRONIZE,
// times out while the process runs, and is satisfied once it has ended and left the listing.
TEST_F(ProcessesContract, AWaitOnAProcessHandleEndsWhenTheProcessHasEnded) {
  const DWORD pid = world.StartProcess("QmProbeWait.exe");
  qm::unique_kernel end(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
  qm::unique_kernel noWait(OpenProcess(PROCESS_TERMINATE, FALSE, pid));
  ASSERT_TRUE(end && noWait);
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(end.get(), 0));
  EXPECT_EQ(static_cast<DWORD>(WAIT_FAILED), WaitForSingleObject(noWait.get(), 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_TRUE(TerminateProcess(end.get(), 0));
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(end.get(), 5000));
  EXPECT_FALSE(Listed(pid));
}

// The limited query right holds a process that refuses reading from Vista on; earlier
// systems do not know the right and refuse the open with 87, which the walk takes as no hold.
TEST_F(ProcessesContract, TheLimitedQueryRightExistsFromVistaOn) {
  const DWORD pid = world.StartProcess("QmProbeLimited.exe");
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  ASSERT_TRUE(GetVersionExA(&version));
  qm::unique_kernel limited(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (version.dwMajorVersion >= 6) {
    EXPECT_TRUE(limited);
  } else {
    EXPECT_FALSE(limited);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  }
}

TEST_F(ProcessesContract, AHandleWithoutTheTerminateRightCannotTerminate) {
  const DWORD pid = world.StartProcess("QmProbeKeep.exe");
  qm::unique_kernel process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
  ASSERT_TRUE(process);
  EXPECT_FALSE(TerminateProcess(process.get(), 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_TRUE(Listed(pid));
}

}  // namespace
