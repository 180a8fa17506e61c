// The directory operations against a real file system: staged folder trees in the prefix.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>

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
  EXPECT_EQ(cleanup::DeleteDirectoryContents(qm::Widen(root), lines, counter), cleanup::DirectoryResult::Emptied);
  EXPECT_EQ(counter, 9);
  EXPECT_EQ(Sorted(lines), Sorted({"  " + root + "plain.txt ...OK", "  " + root + "ro.dll ...OK",
                                   "  " + root + "Sub\\hidden.sys ...OK",
                                   "  " + root + "Sub\\Deeper\\deep.exe ...OK"}));
  EXPECT_TRUE(winetest::Exists(root));
  EXPECT_FALSE(winetest::Exists(root + "Sub"));
  EXPECT_FALSE(winetest::Exists(root + "EmptySub"));
  cleanup::ClearFileAttributes(qm::Widen(root));
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
  EXPECT_EQ(cleanup::DeleteDirectoryContents(qm::Widen(root), lines, counter), cleanup::DirectoryResult::FileNotDeleted);
  EXPECT_EQ(counter, 2);
  EXPECT_EQ(Sorted(lines),
            Sorted({"  " + root + "Busy\\held.dat ...FALLO", "  " + root + "free.dat ...OK"}));
  EXPECT_TRUE(winetest::Exists(root + "Busy\\held.dat"));
  EXPECT_FALSE(winetest::Exists(root + "free.dat"));
}

TEST(WineDirectories, MissingFolderCannotBeListed) {
  StringList lines;
  int counter = 0;
  EXPECT_EQ(cleanup::DeleteDirectoryContents(qm::Widen("C:\\qmtest\\no-such-folder\\"), lines, counter),
            cleanup::DirectoryResult::ListingFailed);
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
  EXPECT_EQ(cleanup::DeleteDirectoryContents(qm::Widen(product), lines, counter), cleanup::DirectoryResult::Emptied);
  EXPECT_EQ(lines, StringList{"  " + product + "own.dll ...OK"});
  EXPECT_EQ(counter, 1);
  // Wine cannot remove a unix link whose target holds files (145): the link may stay, but
  // what it points to must be whole.
  EXPECT_TRUE(winetest::Exists(bystander + "precious.txt"));
  EXPECT_TRUE(winetest::Exists(bystander + "Inner\\also.txt"));
}

// Names whose ANSI forms would be a separator, dots, a wildcard, or nothing at all.
qm::WString Crafted(std::initializer_list<unsigned> codes) {
  qm::WString name;
  for (const unsigned code : codes) name += static_cast<WCHAR>(code);
  return name;
}

void MakeWideFile(const qm::WString& path) {
  qm::unique_file file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file) << qm::Narrow(path);
}

TEST(WineDirectories, CraftedNamesAreDeletedAsNamedAndNothingOutsideIsReached) {
  const std::string outside = winetest::ScratchFolder("crafted");
  winetest::MakeDir(outside + "victim");
  winetest::MakeFile(outside + "victim\\keep.txt", "keep");
  winetest::MakeDir(outside + "prod");
  winetest::MakeFile(outside + "prod\\ab", "plain neighbour of a*b");
  const qm::WString product = qm::Widen(outside + "prod\\");
  const qm::WString escape = Crafted({'.', '.', 0xFF3C, 'v', 'i', 'c', 't', 'i', 'm'});
  const qm::WString dots = Crafted({0xFF0E, 0xFF0E});
  const qm::WString star = Crafted({'a', 0xFF0A, 'b'});
  const qm::WString foreign = Crafted({0x0416, 0x4E2D, '.', 't', 'x', 't'});  // no 1252 form
  for (const qm::WString& folder : {escape, dots})
    ASSERT_TRUE(::CreateDirectoryW((product + folder).c_str(), nullptr));
  MakeWideFile(product + escape + qm::Widen("\\keep.txt"));
  MakeWideFile(product + dots + qm::Widen("\\inner.dat"));
  MakeWideFile(product + star);
  MakeWideFile(product + foreign);
  // The ANSI listing shows what the code page's best fit makes of them (Windows does the same).
  WIN32_FIND_DATAA seen{};
  qm::unique_find ansi(::FindFirstFileA((outside + "prod\\*.*").c_str(), &seen));
  ASSERT_TRUE(ansi);
  StringList ansiNames;
  do ansiNames.push_back(seen.cFileName);
  while (::FindNextFileA(ansi.get(), &seen));
  ansi.reset();
  EXPECT_NE(std::find(ansiNames.begin(), ansiNames.end(), "..\\victim"), ansiNames.end());

  StringList lines;
  int counter = 0;
  EXPECT_EQ(cleanup::DeleteDirectoryContents(product, lines, counter),
            cleanup::DirectoryResult::Emptied);
  EXPECT_EQ(counter, 5);
  const std::string p = outside + "prod\\";
  EXPECT_EQ(Sorted(lines), Sorted({"  " + p + "..?victim\\keep.txt ...OK",
                                   "  " + p + "??\\inner.dat ...OK", "  " + p + "a?b ...OK",
                                   "  " + p + "??.txt ...OK", "  " + p + "ab ...OK"}));
  EXPECT_TRUE(winetest::Exists(outside + "victim\\keep.txt"));
  WIN32_FIND_DATAW left{};
  qm::unique_find rest(::FindFirstFileW((product + qm::Widen("*.*")).c_str(), &left));
  ASSERT_TRUE(rest);
  StringList remaining;
  do remaining.push_back(qm::Narrow(left.cFileName));
  while (::FindNextFileW(rest.get(), &left));
  EXPECT_EQ(Sorted(remaining), Sorted({".", ".."}));
}

}  // namespace
