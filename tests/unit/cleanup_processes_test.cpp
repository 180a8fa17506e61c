// Terminating a program by executable name, both ways of listing processes, over the
// simulated process table and loader.
#include <gtest/gtest.h>

#include <string>

#include "cleanup/processes.h"
#include "platform/sim/machine.h"

namespace {

// The result as its number, so that a failing check prints it.
int TerminateProcessByName(const std::string& exeName) {
  return static_cast<int>(cleanup::TerminateProcessByName(exeName));
}

class Processes : public ::testing::Test {
 protected:
  DWORD Start(const std::string& exe, sim::ProcessSpec spec = {}) {
    spec.exe = exe;
    return machine.StartProcess(spec);
  }
  void UseWindows95Way() { machine.version.dwPlatformId = VER_PLATFORM_WIN32_WINDOWS; }
  void TearDown() override {
    EXPECT_EQ(machine.OpenKernelHandles(), 0);
    EXPECT_EQ(machine.LoadedLibraries(), 0);
  }
  sim::Machine machine;
};

BOOL WINAPI FailingEnumProcesses(DWORD*, DWORD, DWORD*) {
  ::SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}

HANDLE WINAPI FailingProcessSnapshot(DWORD flags, DWORD pid) {
  if (flags & TH32CS_SNAPPROCESS) return INVALID_HANDLE_VALUE;
  return ::CreateToolhelp32Snapshot(flags, pid);
}

template <typename F>
FARPROC AsExport(F* function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

TEST_F(Processes, NtWayMatchesLettersWithoutCaseAndTerminatesEveryCopy) {
  const DWORD other = Start("Other.exe");
  const DWORD first = Start("TevTray.exe");
  const DWORD second = Start("TEVTRAY.EXE");
  EXPECT_EQ(TerminateProcessByName("tevtray.exe"), 0);
  EXPECT_FALSE(machine.IsRunning(first));
  EXPECT_FALSE(machine.IsRunning(second));
  EXPECT_TRUE(machine.IsRunning(other));
  EXPECT_EQ(TerminateProcessByName("TevTray.exe"), 603);
}

TEST_F(Processes, AccentedLettersMustMatchExactly) {
  const DWORD pid = Start("Men\xFA.exe");
  EXPECT_EQ(TerminateProcessByName("MEN\xDA.EXE"), 603);
  EXPECT_TRUE(machine.IsRunning(pid));
  EXPECT_EQ(TerminateProcessByName("men\xFA.exe"), 0);
}

TEST_F(Processes, NameLengthAndFolders) {
  EXPECT_EQ(TerminateProcessByName(""), 632);
  EXPECT_EQ(TerminateProcessByName(std::string(261, 'x')), 632);
  EXPECT_EQ(machine.LoadLibraryCalls(), 0);
  const std::string longest = std::string(256, 'y') + ".exe";
  const DWORD pid = Start(longest);
  const DWORD shortPid = Start("Tev32.exe");
  EXPECT_EQ(TerminateProcessByName("C:\\Apps\\Tev32.exe"), 603);
  EXPECT_TRUE(machine.IsRunning(shortPid));
  EXPECT_EQ(TerminateProcessByName(longest), 0);
  EXPECT_FALSE(machine.IsRunning(pid));
}

TEST_F(Processes, AMatchThatCannotBeOpenedOrTerminatedDecidesAndTheOthersStillEnd) {
  sim::ProcessSpec denied;
  denied.terminateDenied = true;
  const DWORD locked = Start("Tev32.exe", denied);
  const DWORD open = Start("Tev32.exe");
  EXPECT_EQ(TerminateProcessByName("Tev32.exe"), 604);
  EXPECT_FALSE(machine.IsRunning(open));

  sim::ProcessSpec failing;
  failing.terminateFails = true;
  Start("TevPT.exe", failing);
  EXPECT_EQ(TerminateProcessByName("TevPT.exe"), 602);
  EXPECT_TRUE(machine.IsRunning(locked));
}

TEST_F(Processes, WithoutToolhelpUnreadableNamesCompareAsUnknown) {
  machine.RemoveExport("Kernel32.DLL", "CreateToolhelp32Snapshot");
  sim::ProcessSpec hidden;
  hidden.queryDenied = true;
  const DWORD pid = Start("TevTray.exe", hidden);
  EXPECT_EQ(TerminateProcessByName("TevTray.exe"), 603);
  EXPECT_TRUE(machine.IsRunning(pid));
  // The idle process is the first whose name cannot be read; it cannot be opened.
  EXPECT_EQ(TerminateProcessByName("unknown"), 604);
}

TEST_F(Processes, EveryRunningProcessIsExamined) {
  for (int i = 0; i < 1500; ++i) Start("Bystander" + std::to_string(i) + ".exe");
  const DWORD late = Start("TevPT.exe");
  EXPECT_EQ(TerminateProcessByName("TevPT.exe"), 0);
  EXPECT_FALSE(machine.IsRunning(late));
}

TEST_F(Processes, NtWayLibraryFaults) {
  machine.FailLoad("PSAPI.DLL");
  EXPECT_EQ(TerminateProcessByName("TevTray.exe"), 605);
}

// Each missing export on a fresh machine: the library is released and 700 answered.
TEST(ProcessFaults, NtWayMissingExportsAndFailedListing) {
  for (const char* name : {"EnumProcesses", "EnumProcessModules", "GetModuleBaseNameA"}) {
    sim::Machine machine;
    machine.RemoveExport("PSAPI.DLL", name);
    EXPECT_EQ(TerminateProcessByName("TevTray.exe"), 700) << name;
    EXPECT_EQ(machine.LoadedLibraries(), 0) << name;
  }
  sim::Machine machine;
  machine.ReplaceExport("PSAPI.DLL", "EnumProcesses", AsExport(&FailingEnumProcesses));
  EXPECT_EQ(TerminateProcessByName("TevTray.exe"), 701);
  EXPECT_EQ(machine.LoadedLibraries(), 0);
}

TEST_F(Processes, VersionAndPlatform) {
  machine.versionQueryFails = true;
  EXPECT_EQ(TerminateProcessByName("TevTray.exe"), 606);
  machine.versionQueryFails = false;
  machine.version.dwPlatformId = VER_PLATFORM_WIN32s;
  EXPECT_EQ(TerminateProcessByName("TevTray.exe"), 607);
  machine.version.dwPlatformId = 3;
  EXPECT_EQ(TerminateProcessByName("TevTray.exe"), 607);
  EXPECT_EQ(machine.LoadLibraryCalls(), 0);
}

TEST_F(Processes, Windows95WayMatchesAnyModuleByItsReportedName) {
  UseWindows95Way();
  sim::ProcessSpec host;
  host.modules = {"TEVPT.EXE"};
  const DWORD hostPid = Start("Host.exe", host);
  const DWORD lower = Start("tevtray.exe");
  EXPECT_EQ(TerminateProcessByName("TevPT.exe"), 0);
  EXPECT_FALSE(machine.IsRunning(hostPid));
  // Module names are compared as reported, against the upper-cased name.
  EXPECT_EQ(TerminateProcessByName("TevTray.exe"), 603);
  EXPECT_TRUE(machine.IsRunning(lower));
}

TEST_F(Processes, Windows95WayOpenAndTerminateFailures) {
  UseWindows95Way();
  sim::ProcessSpec denied;
  denied.terminateDenied = true;
  Start("TEV32.EXE", denied);
  EXPECT_EQ(TerminateProcessByName("Tev32.exe"), 604);
  sim::ProcessSpec failing;
  failing.terminateFails = true;
  Start("TEVPT.EXE", failing);
  EXPECT_EQ(TerminateProcessByName("TevPT.exe"), 602);
}

TEST_F(Processes, Windows95WayModuleSnapshotFailureStopsTheWalk) {
  UseWindows95Way();
  sim::ProcessSpec hidden;
  hidden.queryDenied = true;
  Start("Guarded.exe", hidden);
  const DWORD later = Start("TEVTRAY.EXE");
  EXPECT_EQ(TerminateProcessByName("TevTray.exe"), 704);
  EXPECT_TRUE(machine.IsRunning(later));
}

TEST_F(Processes, Windows95WayLibraryFaults) {
  UseWindows95Way();
  machine.FailLoad("Kernel32.DLL");
  EXPECT_EQ(TerminateProcessByName("TevTray.exe"), 702);
}

TEST(ProcessFaults, Windows95WayMissingExportsAndFailedProcessSnapshot) {
  for (const char* name : {"CreateToolhelp32Snapshot", "Process32First", "Process32Next",
                           "Module32First", "Module32Next"}) {
    sim::Machine machine;
    machine.version.dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
    machine.RemoveExport("Kernel32.DLL", name);
    EXPECT_EQ(TerminateProcessByName("TevTray.exe"), 703) << name;
    EXPECT_EQ(machine.LoadedLibraries(), 0) << name;
  }
  sim::Machine machine;
  machine.version.dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
  machine.ReplaceExport("Kernel32.DLL", "CreateToolhelp32Snapshot",
                        AsExport(&FailingProcessSnapshot));
  EXPECT_EQ(TerminateProcessByName("TevTray.exe"), 704);
  EXPECT_EQ(machine.LoadedLibraries(), 0);
  EXPECT_EQ(machine.OpenKernelHandles(), 0);
}

}  // namespace
