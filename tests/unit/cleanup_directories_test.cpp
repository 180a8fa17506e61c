// Emptying folder trees over the simulated file system: lines, counter, result codes,
// attributes, files in use, links.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>

#include "cleanup/directories.h"
#include "cleanup/pump.h"
#include "platform/sim/machine.h"

namespace {

using cleanup::DeleteDirectoryContents;
using cleanup::StringList;

const std::string kDir = "C:\\Program Files\\Brantivo\\Tev32\\";

class Directories : public ::testing::Test {
 protected:
  void SetUp() override {
    cleanup::SetMessagePump([this] { ++pumps; });
  }
  void TearDown() override {
    cleanup::SetMessagePump(nullptr);
    EXPECT_EQ(machine.OpenFindHandles(), 0);
  }
  int Empty(const std::string& directory) {
    return static_cast<int>(DeleteDirectoryContents(qm::Widen(directory), lines, counter));
  }
  sim::Machine machine;
  StringList lines;
  int counter = 0;
  int pumps = 0;
};

TEST_F(Directories, NestedFilesGetWholePathsAndFoldersGetNoLine) {
  machine.MakeFile(kDir + "a.exe");
  machine.MakeFile(kDir + "Sub\\Deeper\\deep.dat");
  machine.MakeFile(kDir + "z.txt");
  machine.MakeDirectory(kDir + "Sub\\Empty");
  EXPECT_EQ(Empty(kDir), 0);
  EXPECT_EQ(lines,
            (StringList{"  " + kDir + "a.exe ...OK", "  " + kDir + "Sub\\Deeper\\deep.dat ...OK",
                        "  " + kDir + "z.txt ...OK"}));
  EXPECT_EQ(counter, 3);
  EXPECT_TRUE(machine.ListNames(kDir).empty());
  EXPECT_TRUE(machine.PathExists(kDir));
  // Levels: the folder, Sub, Deeper, Empty; sub-directories: Sub, Deeper, Empty; files: 3.
  EXPECT_EQ(pumps, 4 + 3 + 3);
}

TEST_F(Directories, OnlyDotEntriesLeaveEverythingUnchanged) {
  machine.MakeDirectory(kDir);
  counter = 7;
  EXPECT_EQ(Empty(kDir), 0);
  EXPECT_EQ(counter, 7);
  EXPECT_TRUE(lines.empty());
}

TEST_F(Directories, MarkedFilesAreDeleted) {
  machine.MakeFile(kDir + "ro.dll", "", FILE_ATTRIBUTE_READONLY);
  machine.MakeFile(kDir + "hidden.ini", "", FILE_ATTRIBUTE_HIDDEN);
  machine.MakeFile(kDir + "sys.sys", "", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
  machine.MakeDirectory(kDir + "RoDir");
  machine.MakeFile(kDir + "RoDir\\x", "", FILE_ATTRIBUTE_READONLY);
  ::SetFileAttributesA((kDir + "RoDir").c_str(),
                       FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(Empty(kDir), 0);
  EXPECT_EQ(counter, 4);
  EXPECT_TRUE(machine.ListNames(kDir).empty());
  for (const std::string& line : lines) EXPECT_EQ(line.substr(line.size() - 6), " ...OK");
}

TEST_F(Directories, FileInUseFailsButTheWalkGoesOn) {
  machine.MakeFile(kDir + "Busy\\held.exe");
  machine.MakeFile(kDir + "Busy\\other.dll");
  machine.MakeFile(kDir + "later.txt");
  machine.HoldOpen(kDir + "Busy\\held.exe");
  EXPECT_EQ(Empty(kDir), 402);
  EXPECT_EQ(lines,
            (StringList{"  " + kDir + "Busy\\held.exe ...FALLO",
                        "  " + kDir + "Busy\\other.dll ...OK", "  " + kDir + "later.txt ...OK"}));
  EXPECT_EQ(counter, 3);
  EXPECT_TRUE(machine.PathExists(kDir + "Busy\\held.exe"));
  // A later call on a tree that goes whole starts again at 0.
  machine.Release(kDir + "Busy\\held.exe");
  EXPECT_EQ(Empty(kDir), 0);
  EXPECT_FALSE(machine.PathExists(kDir + "Busy"));
  EXPECT_EQ(counter, 4);
}

TEST_F(Directories, LastFailureInWalkOrderIsTheResult) {
  machine.MakeFile(kDir + "A\\held.exe");
  machine.MakeFile(kDir + "B\\locked\\x");
  machine.HoldOpen(kDir + "A\\held.exe");
  machine.DenyListing(kDir + "B\\locked");
  EXPECT_EQ(Empty(kDir), 400);
  EXPECT_TRUE(machine.PathExists(kDir + "B\\locked\\x"));
  machine.Release(kDir + "A\\held.exe");
  machine.HoldOpen(kDir + "A\\held.exe");
  machine.MakeFile(kDir + "C\\late.txt");
  machine.HoldOpen(kDir + "C\\late.txt");
  EXPECT_EQ(Empty(kDir), 402);
}

TEST_F(Directories, UnlistableOrEmptyPath) {
  EXPECT_EQ(Empty("C:\\Nowhere\\"), 400);
  machine.MakeFile(kDir + "keep.txt");
  machine.DenyListing(kDir);
  EXPECT_EQ(Empty(kDir), 400);
  EXPECT_EQ(Empty(""), 0);
  EXPECT_TRUE(machine.PathExists(kDir + "keep.txt"));
  EXPECT_TRUE(lines.empty());
}

TEST_F(Directories, LinksAreRemovedNeverFollowed) {
  const std::string bystander = "C:\\Documents and Settings\\User\\Mis documentos\\";
  machine.MakeFile(bystander + "tesis.doc", "years of work");
  machine.MakeFile(bystander + "Fotos\\a.jpg", "jpeg");
  machine.MakeFile("C:\\notes.txt", "mine", FILE_ATTRIBUTE_READONLY);
  machine.MakeFile(kDir + "own.dll");
  machine.MakeLink(kDir + "Junction", bystander, true);
  machine.MakeLink(kDir + "Sub\\Mount", bystander + "Fotos", true);
  machine.MakeLink(kDir + "notes.lnk", "C:\\notes.txt", false);
  EXPECT_EQ(Empty(kDir), 0);
  EXPECT_EQ(lines, (StringList{"  " + kDir + "notes.lnk ...OK", "  " + kDir + "own.dll ...OK"}));
  EXPECT_EQ(counter, 2);
  EXPECT_TRUE(machine.ListNames(kDir).empty());
  EXPECT_EQ(machine.FileContent(bystander + "tesis.doc"), "years of work");
  EXPECT_EQ(machine.FileContent(bystander + "Fotos\\a.jpg"), "jpeg");
  EXPECT_EQ(machine.FileContent("C:\\notes.txt"), "mine");
  EXPECT_EQ(machine.Attributes("C:\\notes.txt"), DWORD{FILE_ATTRIBUTE_READONLY});
  // Levels: the folder and Sub; sub-directories, links included: Junction and Sub, then
  // Mount; files: 2.
  EXPECT_EQ(pumps, 2 + 3 + 2);
}

// Past MAX_PATH (the folder's listing pattern, a sub-folder, a file) the tree goes as any
// other; its lines show the paths as they are, without the prefix the calls needed.
TEST_F(Directories, PathsPastMaxPathAreDeletedAndLoggedAsTheyAre) {
  const std::string deep = kDir + std::string(225, 'd') + "\\";  // fits; its pattern does not
  const std::string deeper = deep + std::string(10, 'e') + "\\";
  const std::string name(40, 'f');
  ASSERT_LT(deep.size(), static_cast<size_t>(MAX_PATH));
  ASSERT_GE((deep + "*.*").size(), static_cast<size_t>(MAX_PATH));
  machine.MakeFile(deep + name, "", FILE_ATTRIBUTE_READONLY);
  machine.MakeFile(deeper + "x.dat");
  EXPECT_EQ(Empty(kDir), 0);
  EXPECT_EQ(lines, (StringList{"  " + deeper + "x.dat ...OK", "  " + deep + name + " ...OK"}));
  EXPECT_TRUE(machine.ListNames(kDir).empty());
}

// A name from code points: the crafted names below have ANSI forms that would be a separator,
// dots, a wildcard, or nothing the code page holds.
qm::WString Name(std::initializer_list<unsigned> codes) {
  qm::WString name;
  for (const unsigned code : codes) name += static_cast<WCHAR>(code);
  return name;
}

TEST_F(Directories, CraftedNamesAreDeletedAsNamedAndNothingOutsideIsReached) {
  const std::string outside = "C:\\Program Files\\Brantivo\\";
  machine.MakeFile(outside + "victim\\keep.txt", "keep");
  machine.MakeFile(outside + "keep.txt", "keep");
  machine.MakeFile(kDir + "ab", "plain neighbour of a*b");
  const qm::WString dir = qm::Widen(kDir);
  struct Entry {
    qm::WString name;   // as created below the product folder
    const char* logged; // its log line's path after the folder
  };
  const Entry entries[] = {
      {Name({'.', '.', 0xFF3C, 'v', 'i', 'c', 't', 'i', 'm', '\\', 'k', 'e', 'e', 'p', '.', 't', 'x',
             't'}),
       "..?victim\\keep.txt"},
      {Name({0xFF0E, 0xFF0E, '\\', 'k', 'e', 'e', 'p', '.', 't', 'x', 't'}), "??\\keep.txt"},
      {Name({'a', 0xFF0A, 'b'}), "a?b"},
      {Name({0x0416, 0x4E2D, '.', 't', 'x', 't'}), "??.txt"},
      {Name({'.', '.', 0xFF3C, '.', '.', 0xFF3C, 'k', 'e', 'e', 'p', '.', 't', 'x', 't'}),
       "..?..?keep.txt"},
  };
  StringList expected{"  " + kDir + "ab ...OK"};
  for (const Entry& e : entries) {
    machine.MakeFileW(dir + e.name);
    expected.push_back("  " + kDir + e.logged + " ...OK");
  }
  EXPECT_EQ(Empty(kDir), 0);
  std::sort(lines.begin(), lines.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(counter, 6);
  EXPECT_TRUE(machine.ListNamesW(dir).empty());
  EXPECT_EQ(machine.FileContent(outside + "victim\\keep.txt"), "keep");
  EXPECT_EQ(machine.FileContent(outside + "keep.txt"), "keep");
}

TEST_F(Directories, AFolderSwappedForAJunctionAfterItWasListedIsRemovedAsALink) {
  const std::string bystander = "C:\\Documents and Settings\\User\\Mis documentos\\";
  machine.MakeFile(bystander + "tesis.doc", "years of work");
  machine.MakeFile(kDir + "Sub\\old.dat");
  machine.MakeFile(kDir + "z.txt");
  const qm::WString sub = qm::Widen(kDir + "Sub");
  machine.OnListed(sub, [&] { machine.MakeLinkW(sub, qm::Widen(bystander), true); });
  EXPECT_EQ(Empty(kDir), 0);
  EXPECT_EQ(lines, StringList{"  " + kDir + "z.txt ...OK"});
  EXPECT_FALSE(machine.PathExistsW(sub));
  EXPECT_EQ(machine.FileContent(bystander + "tesis.doc"), "years of work");
}

// A name inside the product may be a hard link to a file elsewhere: the file's attributes
// belong to every name, so they are cleared only for a file with one name.
TEST_F(Directories, AHardLinkGoesAloneAndTheFileKeepsItsAttributes) {
  struct Row {
    const char* name;
    DWORD attributes;
    bool deleted;  // read-only: no name of it can go without clearing the shared mark
  };
  const Row rows[] = {
      {"hidden.sys", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE, true},
      {"ro.dll", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE, false},
  };
  StringList expected;
  machine.MakeDirectory(kDir);
  for (const Row& row : rows) {
    const std::string outside = std::string("C:\\WINDOWS\\system32\\") + row.name;
    machine.MakeFile(outside, "system", row.attributes);
    ASSERT_TRUE(CreateHardLinkW(qm::Widen(kDir + row.name).c_str(), qm::Widen(outside).c_str(),
                                nullptr));
    expected.push_back("  " + kDir + row.name + (row.deleted ? " ...OK" : " ...FALLO"));
  }
  EXPECT_EQ(Empty(kDir), 402);
  EXPECT_EQ(lines, expected);
  for (const Row& row : rows) {
    const std::string outside = std::string("C:\\WINDOWS\\system32\\") + row.name;
    EXPECT_EQ(machine.Attributes(outside), row.attributes) << row.name;
    EXPECT_EQ(machine.FileContent(outside), "system") << row.name;
    EXPECT_EQ(machine.PathExists(kDir + row.name), !row.deleted) << row.name;
    EXPECT_EQ(machine.LinkCount(outside), row.deleted ? 1 : 2) << row.name;
  }
}

TEST(ClearFileAttributes, LeavesArchiveOnlyAndIgnoresMissingPaths) {
  sim::Machine machine;
  machine.MakeFile("C:\\A\\f", "",
                   FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  cleanup::ClearFileAttributes(qm::Widen("C:\\A\\f"));
  EXPECT_EQ(machine.Attributes("C:\\A\\f"), DWORD{FILE_ATTRIBUTE_ARCHIVE});
  cleanup::ClearFileAttributes(qm::Widen("C:\\Missing\\"));
  EXPECT_FALSE(machine.PathExists("C:\\Missing"));
}

}  // namespace
