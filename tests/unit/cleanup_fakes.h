// Hosts and service operations for tests that need a CleanupRun but not what it reports.
#pragma once

#include <cstdint>
#include <string>

#include "cleanup/run.h"

namespace test {

struct NoHost : cleanup::RunHost {
  void StageStarted(cleanup::Stage) override {}
  void StageFinished(cleanup::Stage, bool) override {}
  void HideAllMarks() override {}
};

// No service of the plan is installed.
struct NoServices : cleanup::ServiceOperations {
  bool ServiceExists(const std::string&) override { return false; }
  int StopService(const std::string&) override { return 0; }
  void RemoveService(const std::string&) override {}
};

}  // namespace test
