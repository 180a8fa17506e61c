// The directory operations against a real file system: staged folder trees in the prefix.
#include <gtest/gtest.h>

#include <algorithm>

#include "cleanup/directories.h"
#include "tests/wine/wine_support.h"

namespace {

using cleanup::StringList;

// Listing order is the host's directory order here: compare lines as sets.
StringList Sorted(StringList lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

TEST(WineDirectories, EmptiesNestedTreeWithMarkedFiles) {
  const std::string root = winetest::ScratchFolder("tree");
  winetest::MakeDir(root + "Sub");
  winetest::MakeDir(root + "Sub\\Deeper");
  winetest::MakeDir(root + "EmptySub");
  winetest::MakeFile(root + "plain.txt", "a");
  winetest::MakeFile(root + "ro.dll", "b", FILE_ATTRIBUTE_READONLY);
  winetest::MakeFile(root + "Sub\\hidden.sys", "c", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  winetest::MakeFile(root + "Sub\\Deeper\\deep.exe", "d", FILE_ATTRIBUTE_READONLY);
  StringList lines;
  int counter = 5;
  EXPECT_EQ(cleanup::DeleteDirectoryContents(root, lines, counter), cleanup::kDirectoryEmptied);
  EXPECT_EQ(counter, 9);
  EXPECT_EQ(Sorted(lines), Sorted({"  " + root + "plain.txt ...OK", "  " + root + "ro.dll ...OK",
                                   "  " + root + "Sub\\hidden.sys ...OK",
                                   "  " + root + "Sub\\Deeper\\deep.exe ...OK"}));
  EXPECT_TRUE(winetest::Exists(root));
  EXPECT_FALSE(winetest::Exists(root + "Sub"));
  EXPECT_FALSE(winetest::Exists(root + "EmptySub"));
  cleanup::ClearFileAttributes(root);
  EXPECT_TRUE(::RemoveDirectoryA(root.c_str()));
}

TEST(WineDirectories, FileInUseFailsAndItsFolderStays) {
  const std::string root = winetest::ScratchFolder("inuse");
  winetest::MakeDir(root + "Busy");
  winetest::MakeFile(root + "Busy\\held.dat", "h");
  winetest::MakeFile(root + "free.dat", "f");
  qm::unique_file held(::CreateFileA((root + "Busy\\held.dat").c_str(), GENERIC_READ,
                                     FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  StringList lines;
  int counter = 0;
  EXPECT_EQ(cleanup::DeleteDirectoryContents(root, lines, counter), cleanup::kFileNotDeleted);
  EXPECT_EQ(counter, 2);
  EXPECT_EQ(Sorted(lines),
            Sorted({"  " + root + "Busy\\held.dat ...FALLO", "  " + root + "free.dat ...OK"}));
  EXPECT_TRUE(winetest::Exists(root + "Busy\\held.dat"));
  EXPECT_FALSE(winetest::Exists(root + "free.dat"));
}

TEST(WineDirectories, MissingFolderCannotBeListed) {
  StringList lines;
  int counter = 0;
  EXPECT_EQ(cleanup::DeleteDirectoryContents("C:\\qmtest\\no-such-folder\\", lines, counter),
            cleanup::kListingFailed);
  EXPECT_TRUE(lines.empty());
}

TEST(WineDirectories, LinkToBystanderIsNeverFollowed) {
  const std::string bystander = winetest::ScratchFolder("bystander");
  winetest::MakeFile(bystander + "precious.txt", "keep me");
  winetest::MakeDir(bystander + "Inner");
  winetest::MakeFile(bystander + "Inner\\also.txt", "keep me too");
  const std::string product = winetest::ScratchFolder("product");
  winetest::MakeFile(product + "own.dll", "x");
  if (!winetest::MakeUnixSymlink(product + "Link", bystander.substr(0, bystander.size() - 1)))
    GTEST_SKIP() << "no way to make a link here";
  const DWORD attributes = ::GetFileAttributesA((product + "Link").c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  ASSERT_TRUE(cleanup::IsReparsePoint(attributes)) << std::hex << attributes;
  StringList lines;
  int counter = 0;
  EXPECT_EQ(cleanup::DeleteDirectoryContents(product, lines, counter), cleanup::kDirectoryEmptied);
  EXPECT_EQ(lines, StringList{"  " + product + "own.dll ...OK"});
  EXPECT_EQ(counter, 1);
  // Wine cannot remove a unix link whose target holds files (145): the link may stay, but
  // what it points to must be whole.
  EXPECT_TRUE(winetest::Exists(bystander + "precious.txt"));
  EXPECT_TRUE(winetest::Exists(bystander + "Inner\\also.txt"));
}

}  // namespace
