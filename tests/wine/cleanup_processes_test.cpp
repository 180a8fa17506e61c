// Process termination against real processes: copies of this program started under chosen
// executable names.
#include <gtest/gtest.h>

#include "cleanup/processes.h"
#include "tests/wine/wine_support.h"

namespace {

TEST(WineProcesses, TerminatesByNameIgnoringCaseThenFindsNone) {
  qm::unique_kernel program = winetest::StartIdleProgram("QmProbeA.exe");
  ASSERT_TRUE(program);
  EXPECT_EQ(cleanup::TerminateProcessByName("qmprobea.EXE"), cleanup::ProcessResult::kTerminated);
  EXPECT_TRUE(winetest::HasEnded(program.get(), 10000));
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

// A process whose DACL refuses query and read: Toolhelp names it, and the termination right
// it still grants ends it.
TEST(WineProcesses, AProcessThatRefusesReadingIsFoundAndEnded) {
  qm::unique_kernel guarded = winetest::StartIdleProgram("QmProbeD.exe", true);
  const DWORD pid = ::GetProcessId(guarded.get());
  bool refused = false;
  for (int i = 0; i < 100 && !refused; ++i) {
    const qm::unique_kernel query(
        ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
    refused = !query && ::GetLastError() == ERROR_ACCESS_DENIED;
    if (!refused) ::Sleep(50);
  }
  if (!refused) {
    ::TerminateProcess(guarded.get(), 0);
    GTEST_SKIP() << "this Wine lets a process's own DACL grant reading all the same";
  }
  EXPECT_EQ(cleanup::CountProcessesByName("QmProbeD.exe"), 1);
  EXPECT_EQ(cleanup::TerminateProcessByName("QmProbeD.exe"), cleanup::ProcessResult::kTerminated);
  EXPECT_TRUE(winetest::HasEnded(guarded.get(), 5000));
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
