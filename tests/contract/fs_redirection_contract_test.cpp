// The system folder as the driver file's operations see it: a 32-bit program on 64-bit
// Windows names System32 and reaches SysWOW64, except inside the engine's FsRedirectionOff
// scope, which reaches the real System32 and gives the thread its own view back at its end.
// Elsewhere the scope changes nothing.
#include <gtest/gtest.h>

#include <string>

#include "platform/fs_redirection.h"
#include "platform/raii.h"
#include "tests/contract/world.h"

namespace {

using contract::World;

std::string WindowsDirectory() {
  char buffer[MAX_PATH + 1] = {};
  const UINT n = GetWindowsDirectoryA(buffer, sizeof buffer);
  return std::string(buffer, n);
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void CheckTheDriverFolderViews(World& world) {
  const std::string name = world.UniqueName("qmview") + ".sys";
  const std::string system32 = WindowsDirectory() + "\\system32\\drivers\\" + name;
  const std::string sysWow64 = WindowsDirectory() + "\\SysWOW64\\drivers\\" + name;
  const bool wow64 = world.Wow64();

  {
    const qm::FsRedirectionOff off;
    qm::unique_file file(CreateFileA(system32.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file) << system32 << " error " << GetLastError();
  }
  // Outside the scope the program's own view is back: on 64-bit Windows its System32 is
  // SysWOW64, where the file is not.
  EXPECT_EQ(!wow64, Exists(system32));
  if (wow64) {
    EXPECT_FALSE(Exists(sysWow64));
  }
  EXPECT_TRUE(qm::WithoutFsRedirection([&] { return Exists(system32); }));

  // The operation's own last error comes out of the scope unchanged.
  SetLastError(0);
  EXPECT_FALSE(qm::WithoutFsRedirection([&] { return Exists(system32 + ".absent"); }));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());

  EXPECT_TRUE(qm::WithoutFsRedirection([&] { return DeleteFileA(system32.c_str()) != 0; }));
  EXPECT_FALSE(qm::WithoutFsRedirection([&] { return Exists(system32); }));
}

TEST(FsRedirectionContract, OnThisMachineTheScopeReachesTheRealSystemFolder) {
  World world;
  CheckTheDriverFolderViews(world);
}

TEST(FsRedirectionContract, OnA64BitMachineTheScopeReachesTheRealSystemFolder) {
  World world;
  if (!world.Simulate64BitWindows())
    GTEST_SKIP() << "a real machine is what it is: the i686 build runs this under 64-bit Wine";
  ASSERT_TRUE(world.Wow64());
  CheckTheDriverFolderViews(world);
}

}  // namespace
