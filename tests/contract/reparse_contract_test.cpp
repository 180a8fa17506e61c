// Reading a link on the way to a folder, as the install-folder check reads each one: the
// handle is opened on the link itself and its reparse data asked for.
#include <gtest/gtest.h>

#include <string>

#include "cleanup/install_folder.h"
#include "cleanup/resolved_path.h"
#include "platform/raii.h"
#include "platform/text.h"
#include "tests/contract/world.h"

namespace {

using cleanup::ReparseRead;
using cleanup::Resolution;
using contract::World;

// The engine's way of opening a name on the way: the object itself, for its attributes only.
qm::unique_file OpenItself(const std::string& path) {
  return qm::unique_file(CreateFileW(
      qm::Widen(path).c_str(), FILE_READ_ATTRIBUTES,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// A plain folder is no reparse point in both worlds. Windows hands out a junction's data:
// its target as "\??\C:\..." and for people. Wine 8 opens a unix symbolic link's target even
// with FILE_FLAG_OPEN_REPARSE_POINT, so it has no data to hand out (4390) although the link's
// name is marked 0x410: the folder is then refused, never taken for the plain folder its name
// suggests.
TEST(ReparseContract, AJunctionReadOnItselfNamesItsTargetAndAPlainFolderIsNone) {
  World world;
  const std::string dir = world.Folder();
  ASSERT_TRUE(CreateDirectoryA((dir + "\\Target").c_str(), nullptr)) << GetLastError();
  ASSERT_TRUE(CreateDirectoryA((dir + "\\Target\\Inner").c_str(), nullptr)) << GetLastError();
  cleanup::ReparseData data;
  EXPECT_EQ(ReparseRead::NotALink,
            cleanup::ReadReparsePoint(OpenItself(dir + "\\Target").get(), data));
  if (!world.MakeFolderLink(dir + "\\Link", dir + "\\Target"))
    GTEST_SKIP() << "no directory link can be made here";
  const qm::unique_file link = OpenItself(dir + "\\Link");
  ASSERT_TRUE(link) << GetLastError();
  const ReparseRead read = cleanup::ReadReparsePoint(link.get(), data);
  qm::WString resolved;
  const Resolution resolution =
      cleanup::ResolveFolderPath(qm::Widen(dir + "\\Link\\Inner\\New"), resolved);
  if (read == ReparseRead::NotALink && !World::Simulated()) {
    EXPECT_EQ(Resolution::Unreadable, resolution);
    return;
  }
  ASSERT_EQ(ReparseRead::Link, read);
  EXPECT_EQ(static_cast<DWORD>(IO_REPARSE_TAG_MOUNT_POINT), data.tag);
  EXPECT_EQ(qm::Widen("\\??\\" + dir + "\\Target"), data.substituteName);
  EXPECT_EQ(qm::Widen(dir + "\\Target"), data.printName);
  EXPECT_FALSE(data.relative);
  ASSERT_EQ(Resolution::Resolved, resolution);
  EXPECT_EQ(cleanup::FoldCase(qm::Widen(dir + "\\Target\\Inner\\New")),
            cleanup::FoldCase(resolved));
}

}  // namespace
