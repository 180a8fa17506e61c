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

TEST(WineProcesses, OnlyTheFirstOfTwoIsTerminated) {
  qm::unique_kernel first = winetest::StartIdleProgram("QmProbeB.exe");
  qm::unique_kernel second = winetest::StartIdleProgram("QmProbeB.exe");
  EXPECT_EQ(cleanup::TerminateProcessByName("QmProbeB.exe"), cleanup::ProcessResult::kTerminated);
  const bool firstEnded = winetest::HasEnded(first.get(), 5000);
  const bool secondEnded = winetest::HasEnded(second.get(), 0);
  EXPECT_NE(firstEnded, secondEnded) << "exactly one of the two must have been terminated";
  EXPECT_EQ(cleanup::TerminateProcessByName("QmProbeB.exe"), cleanup::ProcessResult::kTerminated);
  EXPECT_TRUE(winetest::HasEnded(first.get(), 5000));
  EXPECT_TRUE(winetest::HasEnded(second.get(), 5000));
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
