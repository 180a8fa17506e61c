// Terminating a program by executable name, both ways of listing processes, over the
// simulated process table and loader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cleanup/processes.h"
#include "platform/sim/machine.h"

namespace {

// The result as its number, so that a failing check prints it.
int TerminateProcessByName(const std::string& exeName) {
  return static_cast<int>(cleanup::TerminateProcessByName(exeName));
}

sim::ProcessSpec Named(const std::string& exe) {
  sim::ProcessSpec spec;
  spec.exe = exe;
  return spec;
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

// A process that refuses reading (another session, SYSTEM, protected) is named by Toolhelp;
// without Toolhelp (NT 4 has none) it is reported as unnamed (608), never as absent, and
// "unknown" is no name a process is compared as. A readable copy beside it still ends. From
// Vista on the limited query right holds it; on XP, or where that right is refused too,
// nothing holds it.
TEST(UnreadableProcesses, AreFoundAndEndedOrGetTheirFailure) {
  enum class Toolhelp { Works, Missing, WalkMissing, SnapshotFails };
  struct Case {
    const char* what;
    bool openRefused;  // else it opens but its modules cannot be listed (other bitness)
    bool terminateDenied, terminateFails;
    Toolhelp toolhelp;
    int code;
    DWORD major = 5;  // 5: XP, 6: Vista
    bool limitedRefused = false;
  } const cases[] = {
      {"ended", true, false, false, Toolhelp::Works, 0},
      {"termination open refused", true, true, false, Toolhelp::Works, 604},
      {"TerminateProcess fails", true, false, true, Toolhelp::Works, 602},
      {"no Toolhelp", true, false, false, Toolhelp::Missing, 608},
      {"no Process32NextW", true, false, false, Toolhelp::WalkMissing, 608},
      {"no snapshot", true, false, false, Toolhelp::SnapshotFails, 608},
      {"other bitness, ended", false, false, false, Toolhelp::Works, 0},
      {"other bitness, TerminateProcess fails", false, false, true, Toolhelp::Works, 602},
      {"Vista, held, ended", true, false, false, Toolhelp::Works, 0, 6},
      {"Vista, held, termination open refused", true, true, false, Toolhelp::Works, 604, 6},
      {"Vista, not even limited query, ended", true, false, false, Toolhelp::Works, 0, 6, true},
      {"Vista, no snapshot", true, false, false, Toolhelp::SnapshotFails, 608, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::Machine machine;
    machine.version.dwMajorVersion = c.major;
    if (c.toolhelp == Toolhelp::Missing)
      machine.RemoveExport("Kernel32.DLL", "CreateToolhelp32Snapshot");
    if (c.toolhelp == Toolhelp::WalkMissing) machine.RemoveExport("Kernel32.DLL", "Process32NextW");
    if (c.toolhelp == Toolhelp::SnapshotFails)
      machine.ReplaceExport("Kernel32.DLL", "CreateToolhelp32Snapshot",
                            AsExport(&FailingProcessSnapshot));
    sim::ProcessSpec spec = Named("TevTray.exe");
    spec.queryDenied = c.openRefused;
    spec.modulesUnreadable = !c.openRefused;
    spec.terminateDenied = c.terminateDenied;
    spec.terminateFails = c.terminateFails;
    spec.limitedQueryDenied = c.limitedRefused;
    machine.StartProcess(Named("Other.exe"));
    const DWORD pid = machine.StartProcess(spec);
    const DWORD readable = machine.StartProcess(Named("TevTray.exe"));
    const bool named = c.toolhelp == Toolhelp::Works;
    EXPECT_EQ(cleanup::CountProcessesByName("TEVTRAY.EXE"), named ? 2 : -1);
    EXPECT_EQ(TerminateProcessByName("tevtray.exe"), c.code);
    EXPECT_EQ(machine.IsRunning(pid), c.code != 0);
    EXPECT_FALSE(machine.IsRunning(readable));
    EXPECT_EQ(TerminateProcessByName("unknown"), named ? 603 : 608);
    EXPECT_EQ(machine.IsRunning(pid), c.code != 0);
    EXPECT_EQ(machine.OpenKernelHandles(), 0);
    EXPECT_EQ(machine.LoadedLibraries(), 0);
  }
}

// Three copies of one product process, one per session; at most one resists. The result is
// the first resisting copy's code in the system's order, and every other copy still ends.
TEST(ProcessCopies, EveryCopyIsTriedAndTheFirstFailureIsReported) {
  struct Copy {
    bool unreadable, terminateDenied, terminateFails;
  };
  const Copy plain{false, false, false};
  struct Case {
    const char* what;
    Copy copies[3];
    int code;
  } const cases[] = {
      {"all three end", {plain, plain, plain}, 0},
      {"the first refuses the open", {{false, true, false}, plain, plain}, 604},
      {"the middle one fails", {plain, {false, false, true}, plain}, 602},
      {"the last, unreadable, refuses", {plain, plain, {true, true, false}}, 604},
      {"an unreadable failure before a readable one",
       {{true, false, true}, plain, {false, true, false}},
       602},
      {"a readable failure before an unreadable one",
       {{false, true, false}, {true, false, true}, plain},
       604},
      {"all unreadable", {{true, false, false}, {true, false, false}, {true, false, false}}, 0},
  };
  for (const Case& c : cases) {
    sim::Machine machine;
    std::vector<DWORD> pids;
    for (const Copy& copy : c.copies) {
      sim::ProcessSpec spec;
      spec.exe = "TevTray.exe";
      spec.queryDenied = copy.unreadable;
      spec.terminateDenied = copy.terminateDenied;
      spec.terminateFails = copy.terminateFails;
      pids.push_back(machine.StartProcess(spec));
      machine.StartProcess(Named("Bystander.exe"));
    }
    EXPECT_EQ(cleanup::CountProcessesByName("TevTray.exe"), 3) << c.what;
    EXPECT_EQ(TerminateProcessByName("TevTray.exe"), c.code) << c.what;
    for (size_t i = 0; i < pids.size(); ++i) {
      const bool resists = c.copies[i].terminateDenied || c.copies[i].terminateFails;
      EXPECT_EQ(machine.IsRunning(pids[i]), resists) << c.what << ", copy " << i;
    }
    EXPECT_EQ(machine.RunningIds("Bystander.exe").size(), 3u) << c.what;
    EXPECT_EQ(machine.OpenKernelHandles(), 0) << c.what;
  }
}

// The product process ends by itself once recognised. Where a handle held it, its identifier
// cannot go to another process before the termination is through; where nothing could hold
// it (XP, query refused), Windows may give the identifier to an unrelated process at once, and
// the name read again under the termination handle leaves that process alone.
TEST(ProcessIdentifierReuse, TheIdentifierIsHeldOrTheProcessThatGetsItSurvives) {
  struct Case {
    const char* what;
    bool unreadable;
    DWORD major;
    bool held;
  } const cases[] = {
      {"readable", false, 5, true},
      {"unreadable, Vista", true, 6, true},
      {"unreadable, XP", true, 5, false},
  };
  for (const Case& c : cases) {
    sim::Machine machine;
    machine.version.dwMajorVersion = c.major;
    sim::ProcessSpec product;
    product.exe = "TevTray.exe";
    product.queryDenied = c.unreadable;
    const DWORD pid = machine.StartProcess(product);
    bool ended = false;
    machine.onProcessNameRead = [&](DWORD read) {
      if (read != pid || ended) return;
      ended = true;
      machine.EndProcess(pid);
      EXPECT_EQ(machine.IdentifierHeld(pid), c.held) << c.what;
      if (!c.held) machine.StartProcessWithId(Named("Bystander.exe"), pid);
    };
    // The copy ended, not by us: it is no longer running.
    EXPECT_EQ(TerminateProcessByName("TevTray.exe"), 603) << c.what;
    EXPECT_TRUE(ended) << c.what;
    EXPECT_EQ(machine.RunningIds("Bystander.exe").size(), c.held ? 0u : 1u) << c.what;
    EXPECT_EQ(machine.OpenKernelHandles(), 0) << c.what;
  }
}

// Termination is asked for a copy only (never for a bystander, readable or not), by the
// identifier the walk recognised, with the right to wait for its end.
TEST_F(Processes, OnlyACopyIsOpenedForTermination) {
  sim::ProcessSpec guarded;
  guarded.queryDenied = true;
  Start("Guarded.exe", guarded);
  Start("Bystander.exe");
  std::vector<std::u16string> expected;
  for (const DWORD pid : {Start("TevTray.exe"), Start("TevTray.exe", guarded)}) {
    const std::string digits = std::to_string(pid);
    expected.emplace_back(digits.begin(), digits.end());
  }
  EXPECT_EQ(TerminateProcessByName("TevTray.exe"), 0);
  std::vector<std::u16string> ended;
  for (const sim::OpenRecord& open : machine.Opens()) {
    if (!(open.access & PROCESS_TERMINATE)) continue;
    EXPECT_EQ(open.access, static_cast<DWORD>(PROCESS_TERMINATE | SYNCHRONIZE));
    ended.push_back(open.name);
  }
  EXPECT_EQ(ended, expected);
}

// TerminateProcess only starts the end; the termination waits for it, at most 5 seconds a
// process, and a process still running then is a failure of its own (its files stay in use).
TEST(ProcessEnd, TerminationWaitsForTheEnd) {
  struct Case {
    int endDelayMs;
    int code;
    bool running;
  } const cases[] = {{1000, 0, false}, {4999, 0, false}, {6000, 609, true}, {-1, 609, true}};
  for (const Case& c : cases) {
    sim::Machine machine;
    sim::ProcessSpec slow = Named("TevTray.exe");
    slow.endDelayMs = c.endDelayMs;
    const DWORD pid = machine.StartProcess(slow);
    EXPECT_EQ(TerminateProcessByName("TevTray.exe"), c.code) << c.endDelayMs;
    EXPECT_EQ(machine.IsRunning(pid), c.running) << c.endDelayMs;
    EXPECT_LE(machine.Now(), 5000u) << c.endDelayMs;
    EXPECT_TRUE(machine.Sleeps().empty()) << c.endDelayMs;
    EXPECT_EQ(machine.OpenKernelHandles(), 0) << c.endDelayMs;
  }
}

// The query for the check after the run: the same matching, nothing changed on the machine.
TEST(ProcessCount, CountsWhatTerminationWouldTryAndChangesNothing) {
  sim::Machine machine;
  sim::ProcessSpec unreadable;
  unreadable.exe = "TEVSVC.EXE";
  unreadable.queryDenied = true;
  const std::vector<DWORD> pids = {machine.StartProcess(Named("TevSvc.exe")),
                                   machine.StartProcess(unreadable),
                                   machine.StartProcess(Named("TevSvc.exe.bak"))};
  EXPECT_EQ(cleanup::CountProcessesByName("tevsvc.exe"), 2);
  EXPECT_EQ(cleanup::CountProcessesByName("Absent.exe"), 0);
  EXPECT_EQ(cleanup::CountProcessesByName(""), 0);
  for (const DWORD pid : pids) EXPECT_TRUE(machine.IsRunning(pid));
  // The Windows 95 way cannot list the modules of the guarded copy.
  machine.version.dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
  EXPECT_EQ(cleanup::CountProcessesByName("TEVSVC.EXE"), -1);
  machine.version.dwPlatformId = VER_PLATFORM_WIN32_NT;
  machine.ReplaceExport("PSAPI.DLL", "EnumProcesses", AsExport(&FailingEnumProcesses));
  EXPECT_EQ(cleanup::CountProcessesByName("TevSvc.exe"), -1);
  machine.FailLoad("PSAPI.DLL");
  EXPECT_EQ(cleanup::CountProcessesByName("TevSvc.exe"), -1);
  EXPECT_EQ(machine.OpenKernelHandles(), 0);
  EXPECT_EQ(machine.LoadedLibraries(), 0);
}

TEST_F(Processes, EveryRunningProcessIsExamined) {
  for (int i = 0; i < 1500; ++i) Start("Bystander" + std::to_string(i) + ".exe");
  const DWORD late = Start("TevPT.exe");
  EXPECT_EQ(TerminateProcessByName("TevPT.exe"), 0);
  EXPECT_FALSE(machine.IsRunning(late));
}

// Names are compared as Windows holds them, whatever the ANSI code page: a bystander whose name
// a code page's best-fit mapping would turn into a product name ("T\xE9vTray.exe" reads
// "TevTray.exe" through 1251 and 932) is left running, read by PSAPI or, when it refuses
// reading, by Toolhelp.
TEST(ProcessCodePages, ABystanderNeverReadsAsAProductOnAnyCodePage) {
  for (const UINT codePage : {1252u, 1251u, 932u, 65001u}) {
    for (const bool readable : {true, false}) {
      sim::Machine machine;
      machine.ansiCodePage = codePage;
      sim::ProcessSpec bystander = Named("T\xE9vTray.exe");
      bystander.queryDenied = !readable;
      const DWORD pid = machine.StartProcess(bystander);
      const DWORD product = machine.StartProcess(Named("TevPT.exe"));
      EXPECT_EQ(TerminateProcessByName("TevTray.exe"), 603) << codePage << readable;
      EXPECT_TRUE(machine.IsRunning(pid)) << codePage << readable;
      EXPECT_EQ(TerminateProcessByName("TevPT.exe"), 0) << codePage << readable;
      EXPECT_FALSE(machine.IsRunning(product)) << codePage << readable;
    }
  }
}

TEST_F(Processes, NtWayLibraryFaults) {
  machine.FailLoad("PSAPI.DLL");
  EXPECT_EQ(TerminateProcessByName("TevTray.exe"), 605);
}

// Each missing export on a fresh machine: the library is released and 700 answered.
TEST(ProcessFaults, NtWayMissingExportsAndFailedListing) {
  for (const char* name : {"EnumProcesses", "EnumProcessModules", "GetModuleBaseNameW"}) {
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
