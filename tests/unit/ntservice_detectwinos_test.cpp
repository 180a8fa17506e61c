// The version predicates, over the simulated machine's version record.
#include <gtest/gtest.h>

#include <string>

#include "ntservice/detectwinos.h"
#include "platform/exception.h"
#include "platform/sim/machine.h"

namespace {

struct VersionCase {
  DWORD platform, major, minor;
  bool nt, w2000, w2000OrHigher, xpOrHigher;
};

TEST(DetectwinosPredicates, FollowTheVersionRules) {
  const VersionCase cases[] = {
      {VER_PLATFORM_WIN32_WINDOWS, 4, 10, false, false, false, false},
      {VER_PLATFORM_WIN32_WINDOWS, 5, 1, false, false, false, false},
      {VER_PLATFORM_WIN32_NT, 4, 0, true, false, false, false},
      {VER_PLATFORM_WIN32_NT, 5, 0, true, true, true, false},
      {VER_PLATFORM_WIN32_NT, 5, 1, true, true, true, true},
      {VER_PLATFORM_WIN32_NT, 5, 2, true, true, true, true},
      {VER_PLATFORM_WIN32_NT, 6, 0, true, false, true, true},
      {VER_PLATFORM_WIN32_NT, 10, 0, true, false, true, true},
  };
  for (const VersionCase& c : cases) {
    sim::Machine machine;
    machine.version.dwPlatformId = c.platform;
    machine.version.dwMajorVersion = c.major;
    machine.version.dwMinorVersion = c.minor;
    SCOPED_TRACE(std::to_string(c.platform) + " " + std::to_string(c.major) + "." +
                 std::to_string(c.minor));
    EXPECT_EQ(Detectwinos::IsWindowsNt(), c.nt);
    EXPECT_EQ(Detectwinos::IsWindows2000(), c.w2000);
    EXPECT_EQ(Detectwinos::IsWindows2000orHigher(), c.w2000OrHigher);
    EXPECT_EQ(Detectwinos::IsWindowsXPOrHigher(), c.xpOrHigher);
  }
}

TEST(DetectwinosPredicates, AFailedVersionQueryRaises) {
  sim::Machine machine;
  machine.versionQueryFails = true;
  EXPECT_THROW(Detectwinos::IsWindowsNt(), EOSError);
}

}  // namespace
