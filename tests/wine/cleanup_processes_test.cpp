// Process termination against real processes: copies of this program started under chosen
// executable names.
#include <gtest/gtest.h>

#include "cleanup/processes.h"
#include "tests/wine/wine_support.h"

namespace {

// Terminated means ended: when the call returns the process is gone and its executable is
// no longer in use.
TEST(WineProcesses, TerminatesByNameIgnoringCaseThenFindsNone) {
  qm::unique_kernel program = winetest::StartIdleProgram("QmProbeA.exe");
  ASSERT_TRUE(program);
  EXPECT_EQ(cleanup::TerminateProcessByName("qmprobea.EXE"), cleanup::ProcessResult::kTerminated);
  EXPECT_TRUE(winetest::HasEnded(program.get(), 0));
  EXPECT_TRUE(::DeleteFileA("C:\\qmtest\\bin\\QmProbeA.exe")) << ::GetLastError();
  EXPECT_EQ(cleanup::TerminateProcessByName("QmProbeA.exe"), cleanup::ProcessResult::kNotRunning);
}

TEST(WineProcesses, EveryCopyIsTerminated) {
  qm::unique_kernel copies[3];
  for (qm::unique_kernel& copy : copies) copy = winetest::StartIdleProgram("QmProbeB.exe");
  EXPECT_EQ(cleanup::CountProcessesByName("qmprobeb.exe"), 3);
  EXPECT_EQ(cleanup::TerminateProcessByName("QmProbeB.exe"), cleanup::ProcessResult::kTerminated);
  for (const qm::unique_kernel& copy : copies) EXPECT_TRUE(winetest::HasEnded(copy.get(), 5000));
  EXPECT_EQ(cleanup::CountProcessesByName("QmProbeB.exe"), 0);
  EXPECT_EQ(cleanup::TerminateProcessByName("QmProbeB.exe"), cleanup::ProcessResult::kNotRunning);
}

// Waits until the copy's own DACL refuses reading; false when this Wine grants it anyway.
bool RefusesReading(HANDLE program) {
  const DWORD pid = ::GetProcessId(program);
  for (int i = 0; i < 100; ++i) {
    const qm::unique_kernel query(
        ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
    if (!query && ::GetLastError() == ERROR_ACCESS_DENIED) return true;
    ::Sleep(50);
  }
  return false;
}

// Processes whose DACL refuses query and read are named by Toolhelp: one that still grants
// termination is ended, one that does not gets 604 (never 603), and the copy beside it ends.
TEST(WineProcesses, AProcessThatRefusesReadingIsFoundAndEndedOrReported) {
  using winetest::Guard;
  qm::unique_kernel unreadable = winetest::StartIdleProgram("QmProbeD.exe", Guard::Unreadable);
  qm::unique_kernel locked = winetest::StartIdleProgram("QmProbeE.exe", Guard::Locked);
  qm::unique_kernel plain = winetest::StartIdleProgram("QmProbeE.exe");
  if (!RefusesReading(unreadable.get()) || !RefusesReading(locked.get())) {
    for (const HANDLE h : {unreadable.get(), locked.get(), plain.get()}) ::TerminateProcess(h, 0);
    GTEST_SKIP() << "this Wine lets a process's own DACL grant reading all the same";
  }
  EXPECT_EQ(cleanup::CountProcessesByName("QmProbeD.exe"), 1);
  EXPECT_EQ(cleanup::TerminateProcessByName("QmProbeD.exe"), cleanup::ProcessResult::kTerminated);
  EXPECT_TRUE(winetest::HasEnded(unreadable.get(), 5000));
  EXPECT_EQ(cleanup::CountProcessesByName("QmProbeE.exe"), 2);
  EXPECT_EQ(cleanup::TerminateProcessByName("QmProbeE.exe"),
            cleanup::ProcessResult::kOpenForTerminateFailed);
  EXPECT_TRUE(winetest::HasEnded(plain.get(), 5000));
  EXPECT_FALSE(winetest::HasEnded(locked.get(), 0));
  ::TerminateProcess(locked.get(), 0);
}

TEST(WineProcesses, NamesThatNeverMatch) {
  qm::unique_kernel program = winetest::StartIdleProgram("QmProbeC.exe");
  EXPECT_EQ(cleanup::TerminateProcessByName("C:\\qmtest\\bin\\QmProbeC.exe"),
            cleanup::ProcessResult::kNotRunning);
  EXPECT_EQ(cleanup::TerminateProcessByName(""), cleanup::ProcessResult::kBadName);
  EXPECT_EQ(cleanup::TerminateProcessByName(std::string(261, 'a')), cleanup::ProcessResult::kBadName);
  EXPECT_EQ(cleanup::TerminateProcessByName(std::string(260, 'a')), cleanup::ProcessResult::kNotRunning);
  EXPECT_FALSE(winetest::HasEnded(program.get(), 0));
  ::TerminateProcess(program.get(), 0);
}

}  // namespace
