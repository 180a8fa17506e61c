// File-system behaviour the directory-tree removal, the install-folder lookup, the driver
// file and the log file rely on. Listings are compared as sets: Wine lists in the host's
// directory order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "cleanup/directories.h"
#include "cleanup/install_folder.h"
#include "cleanup/plan.h"
#include "cleanup/resolved_path.h"
#include "cleanup/security.h"
#include "cleanup/verify.h"
#include "platform/fs_redirection.h"
#include "platform/paths.h"
#include "platform/raii.h"
#include "platform/text.h"
#include "tests/contract/world.h"

namespace {

using contract::World;

class FilesContract : public ::testing::Test {
 protected:
  void MakeFile(const std::string& path, const std::string& content = "data") {
    qm::unique_file file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file) << path << " error " << GetLastError();
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()),
                          &written, nullptr));
  }
  void MakeFolder(const std::string& path) {
    ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path << " error " << GetLastError();
  }
  std::set<std::string> List(const std::string& pattern) {
    std::set<std::string> names;
    WIN32_FIND_DATAA data;
    qm::unique_find find(FindFirstFileA(pattern.c_str(), &data));
    if (!find) return names;
    do {
      names.insert(data.cFileName);
    } while (FindNextFileA(find.get(), &data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), GetLastError());
    return names;
  }
  // Fails the Win32 call and returns its last error.
  template <typename F>
  DWORD ErrorOf(F call) {
    SetLastError(0);
    EXPECT_FALSE(call());
    return GetLastError();
  }

  World world;
  const std::string dir = world.Folder();
};

// ---- listing

TEST_F(FilesContract, AListingOfAFolderHoldsDotDotDotFilesAndFolders) {
  MakeFile(dir + "\\a.txt");
  MakeFile(dir + "\\README");
  MakeFolder(dir + "\\Sub");
  const std::set<std::string> expected{".", "..", "a.txt", "README", "Sub"};
  EXPECT_EQ(expected, List(dir + "\\*.*")) << "*.* also matches names without a dot";
  EXPECT_EQ(expected, List(dir + "\\*"));
}

TEST_F(FilesContract, AnEmptyFolderListsOnlyDotAndDotDot) {
  EXPECT_EQ((std::set<std::string>{".", ".."}), List(dir + "\\*.*"));
}

TEST_F(FilesContract, ListingAMissingFolderAnswers3) {
  WIN32_FIND_DATAA data;
  qm::unique_find find(FindFirstFileA((dir + "\\Missing\\*.*").c_str(), &data));
  EXPECT_FALSE(find);
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
}

TEST_F(FilesContract, EntriesCarryTheirAttributes) {
  MakeFile(dir + "\\f.txt");
  MakeFolder(dir + "\\Sub");
  WIN32_FIND_DATAA data;
  qm::unique_find find(FindFirstFileA((dir + "\\*.*").c_str(), &data));
  ASSERT_TRUE(find);
  int seen = 0;
  do {
    const std::string name = data.cFileName;
    const bool directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    EXPECT_EQ(name != "f.txt", directory) << name;
    ++seen;
  } while (FindNextFileA(find.get(), &data));
  EXPECT_EQ(4, seen);
}

TEST_F(FilesContract, DeletingEntriesDuringAListingDoesNotDisturbIt) {
  for (int i = 0; i < 20; ++i) MakeFile(dir + "\\file" + std::to_string(i) + ".dat");
  std::set<std::string> seen;
  WIN32_FIND_DATAA data;
  qm::unique_find find(FindFirstFileA((dir + "\\*.*").c_str(), &data));
  ASSERT_TRUE(find);
  do {
    const std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    EXPECT_TRUE(seen.insert(name).second) << name << " listed twice";
    EXPECT_TRUE(DeleteFileA((dir + "\\" + name).c_str())) << name;
  } while (FindNextFileA(find.get(), &data));
  EXPECT_EQ(20u, seen.size());
  EXPECT_EQ((std::set<std::string>{".", ".."}), List(dir + "\\*.*"));
}

TEST_F(FilesContract, NamesCompareWithoutCaseAndKeepTheirCase) {
  MakeFile(dir + "\\MixedCase.TXT");
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((dir + "\\mixedcase.txt").c_str()));
  EXPECT_EQ(1u, List(dir + "\\*.*").count("MixedCase.TXT"));
}

// ---- attributes

TEST_F(FilesContract, ANewFileIsArchiveAndANewFolderIsDirectory) {
  MakeFile(dir + "\\new.txt");
  MakeFolder(dir + "\\NewDir");
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesA((dir + "\\new.txt").c_str()));
  EXPECT_TRUE(GetFileAttributesA((dir + "\\NewDir").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(FilesContract, ArchiveAloneClearsReadOnlyHiddenAndSystem) {
  const std::string path = dir + "\\marked.sys";
  MakeFile(path);
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                   FILE_ATTRIBUTE_SYSTEM));
  DWORD marks = GetFileAttributesA(path.c_str());
  // Windows replaces every mark with the ones given; Wine reports ARCHIVE on every file.
  if (!World::Simulated()) marks &= ~static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
            marks);
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesA(path.c_str()));
}

TEST_F(FilesContract, AttributesOfAMissingPathAnswer2OrForAMissingFolder3) {
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((dir + "\\none.txt").c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((dir + "\\none\\x.txt").c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND),
            ErrorOf([&] { return SetFileAttributesA((dir + "\\none.txt").c_str(), FILE_ATTRIBUTE_ARCHIVE); }));
}

// ---- deleting files

TEST_F(FilesContract, AReadOnlyFileResistsDeletionUntilItsMarkIsCleared) {
  const std::string path = dir + "\\ro.txt";
  MakeFile(path);
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), ErrorOf([&] { return DeleteFileA(path.c_str()); }));
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_TRUE(DeleteFileA(path.c_str()));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str()));
}

TEST_F(FilesContract, DeleteFileRefusesAFolder) {
  MakeFolder(dir + "\\Sub");
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED),
            ErrorOf([&] { return DeleteFileA((dir + "\\Sub").c_str()); }));
}

TEST_F(FilesContract, DeletingAMissingFileAnswers2OrForAMissingFolder3) {
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND),
            ErrorOf([&] { return DeleteFileA((dir + "\\none.txt").c_str()); }));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND),
            ErrorOf([&] { return DeleteFileA((dir + "\\none\\x.txt").c_str()); }));
}

TEST_F(FilesContract, AFileOpenWithoutDeleteSharingCannotBeDeleted) {
  const std::string path = dir + "\\inuse.log";
  MakeFile(path);
  {
    qm::unique_file open(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(open);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION),
              ErrorOf([&] { return DeleteFileA(path.c_str()); }));
  }
  EXPECT_TRUE(DeleteFileA(path.c_str())) << "deletable once closed";
}

// ---- removing folders

TEST_F(FilesContract, RemovingAFolderThatHoldsSomethingAnswers145) {
  MakeFolder(dir + "\\Full");
  MakeFile(dir + "\\Full\\x.txt");
  EXPECT_EQ(static_cast<DWORD>(ERROR_DIR_NOT_EMPTY),
            ErrorOf([&] { return RemoveDirectoryA((dir + "\\Full").c_str()); }));
  ASSERT_TRUE(DeleteFileA((dir + "\\Full\\x.txt").c_str()));
  EXPECT_TRUE(RemoveDirectoryA((dir + "\\Full\\").c_str())) << "a trailing backslash is accepted";
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((dir + "\\Full").c_str()));
}

TEST_F(FilesContract, RemovingAMissingFolderAnswers2OrForAMissingParent3) {
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND),
            ErrorOf([&] { return RemoveDirectoryA((dir + "\\Missing").c_str()); }));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND),
            ErrorOf([&] { return RemoveDirectoryA((dir + "\\Missing\\Deeper").c_str()); }));
}

TEST_F(FilesContract, RemoveDirectoryRefusesAFile) {
  MakeFile(dir + "\\plain.txt");
  EXPECT_EQ(static_cast<DWORD>(ERROR_DIRECTORY),
            ErrorOf([&] { return RemoveDirectoryA((dir + "\\plain.txt").c_str()); }));
}

TEST_F(FilesContract, AReadOnlyFolderIsRemovedOnlyAfterItsMarkIsCleared) {
  const std::string path = dir + "\\Locked";
  MakeFolder(path);
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  const BOOL removed = RemoveDirectoryA(path.c_str());
  if (World::Simulated() || !removed) {
    // Windows refuses a read-only folder; Wine removes it (see the report of disagreements).
    EXPECT_FALSE(removed);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_TRUE(RemoveDirectoryA(path.c_str()));
  }
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str()));
}

// ---- creating

TEST_F(FilesContract, CreatingAnExistingFolderAnswers183AndUnderAMissingParent3) {
  MakeFolder(dir + "\\Once");
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS),
            ErrorOf([&] { return CreateDirectoryA((dir + "\\Once").c_str(), nullptr); }));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND),
            ErrorOf([&] { return CreateDirectoryA((dir + "\\No\\Such").c_str(), nullptr); }));
}

TEST_F(FilesContract, CreateAlwaysReplacesTheContentAndReports183ForAnExistingFile) {
  const std::string path = dir + "\\Quelmark.log";
  MakeFile(path, "an older and longer content");
  qm::unique_file file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file);
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
  const std::string text = "line\r\n";
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
  EXPECT_EQ(text.size(), written);
  file.reset();

  qm::unique_file in(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(in);
  EXPECT_EQ(text.size(), GetFileSize(in.get(), nullptr));
  char buffer[64] = {};
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(in.get(), buffer, sizeof(buffer), &read, nullptr));
  EXPECT_EQ(text, std::string(buffer, read));
}

TEST_F(FilesContract, AFileOpenedWithoutSharingCannotBeOpenedAgain) {
  const std::string path = dir + "\\exclusive.txt";
  qm::unique_file first(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(first);
  qm::unique_file second(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  EXPECT_FALSE(second);
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
}

TEST_F(FilesContract, OpeningAMissingFileAnswers2) {
  qm::unique_file file(CreateFileA((dir + "\\absent.txt").c_str(), GENERIC_READ, 0, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  EXPECT_FALSE(file);
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

// ---- path lengths of the ANSI functions

TEST_F(FilesContract, APathThatDoesNotFitMaxPathAnswers206) {
  std::string path = dir + "\\";
  path += std::string(MAX_PATH + 1 - path.size(), 'n');  // 261 characters
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), GetLastError());
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), ErrorOf([&] { return DeleteFileA(path.c_str()); }));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), ErrorOf([&] { return RemoveDirectoryA(path.c_str()); }));
  WIN32_FIND_DATAA data;
  qm::unique_find find(FindFirstFileA(path.c_str(), &data));
  EXPECT_FALSE(find);
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), GetLastError());

  path.pop_back();  // 260 characters: Windows leaves no room for the zero
  ASSERT_EQ(static_cast<size_t>(MAX_PATH), path.size());
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str()));
  if (World::Simulated()) {
    // Wine accepts 260 characters and looks the path up (2); Windows answers 206.
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), GetLastError());
  }
  path.pop_back();  // 259 characters fit
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

// ---- paths past MAX_PATH: the wide functions through qm::FileCallPath

std::set<qm::WString> ListW(const qm::WString& pattern);  // below

// The form the engine hands the wide functions reaches a folder and a file past MAX_PATH, and
// lists the folder by a pattern past it; without it Windows cannot even make the name a path
// (3), which Wine takes anyway. The form takes "." and ".." as names: a path through ".." is
// not the folder it would otherwise name.
TEST_F(FilesContract, AWidePathPastMaxPathIsReachedInTheExtendedForm) {
  const qm::WString folder = qm::Widen(dir + "\\") + qm::WString(250, WCHAR('d'));
  const qm::WString name(20, WCHAR('f'));
  const qm::WString file = folder + WCHAR('\\') + name;
  ASSERT_GE(folder.size(), static_cast<size_t>(MAX_PATH));
  if (World::Simulated()) {
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND),
              ErrorOf([&] { return CreateDirectoryW(folder.c_str(), nullptr); }));
  }
  ASSERT_TRUE(CreateDirectoryW(qm::FileCallPath(folder).c_str(), nullptr)) << GetLastError();
  {
    qm::unique_file made(CreateFileW(qm::FileCallPath(file).c_str(), GENERIC_WRITE, 0, nullptr,
                                     CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(made) << GetLastError();
  }
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(qm::FileCallPath(file).c_str()));
  if (World::Simulated()) {
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(file.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
  }
  const qm::WString around = folder + qm::Widen("\\..\\") + qm::WString(250, WCHAR('d'));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(qm::FileCallPath(around).c_str()));
  EXPECT_EQ(ListW(qm::FileCallPath(folder + qm::Widen("\\*"))),
            (std::set<qm::WString>{qm::Widen("."), qm::Widen(".."), name}));
  EXPECT_TRUE(SetFileAttributesW(qm::FileCallPath(file).c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(SetFileAttributesW(qm::FileCallPath(file).c_str(), FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_TRUE(DeleteFileW(qm::FileCallPath(file).c_str())) << GetLastError();
  EXPECT_TRUE(RemoveDirectoryW(qm::FileCallPath(folder).c_str())) << GetLastError();
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(qm::FileCallPath(folder).c_str()));
}

TEST_F(FilesContract, CreateDirectoryLeavesRoomForAnEightDotThreeName) {
  std::string path = dir + "\\";
  path += std::string(MAX_PATH - 11 - path.size(), 'd');  // 249 characters
  const BOOL created = CreateDirectoryA(path.c_str(), nullptr);
  if (World::Simulated() || !created) {
    // Windows refuses more than MAX_PATH - 12 characters; Wine creates the folder.
    EXPECT_FALSE(created);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), GetLastError());
  }
  path.pop_back();  // 248 characters
  RemoveDirectoryA(path.c_str());
  EXPECT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << GetLastError();
}

// ---- the Windows folder

TEST_F(FilesContract, TheWindowsFolderExistsAndItsLengthIsReportedAsDocumented) {
  char buffer[MAX_PATH];
  const UINT length = GetWindowsDirectoryA(buffer, sizeof(buffer));
  ASSERT_GT(length, 0u);
  ASSERT_LT(length, sizeof(buffer));
  EXPECT_EQ(std::string(buffer).size(), length);
  EXPECT_NE('\\', buffer[length - 1]);
  EXPECT_TRUE(GetFileAttributesA(buffer) & FILE_ATTRIBUTE_DIRECTORY);
  const DWORD temp = GetFileAttributesA((std::string(buffer) + "\\Temp").c_str());
  EXPECT_TRUE(temp != INVALID_FILE_ATTRIBUTES && (temp & FILE_ATTRIBUTE_DIRECTORY))
      << "the log file goes there";
  char small[2];
  EXPECT_EQ(length + 1, GetWindowsDirectoryA(small, sizeof(small))) << "too small: size with zero";
}

// ---- names the code page cannot hold, and handles on folders

// A name as Windows holds it (WCHAR is wchar_t on Windows and char16_t off it).
qm::WString W(const std::u16string& text) { return qm::WString(text.begin(), text.end()); }

std::set<qm::WString> ListW(const qm::WString& pattern) {
  std::set<qm::WString> names;
  WIN32_FIND_DATAW data;
  qm::unique_find find(FindFirstFileW(pattern.c_str(), &data));
  if (!find) return names;
  do {
    names.insert(data.cFileName);
  } while (FindNextFileW(find.get(), &data));
  return names;
}

// Names a product folder may hold that the ANSI functions' best-fit mapping turns into a
// separator, dots or a wildcard, and a name with no Windows-1252 form at all.
struct CraftedName {
  std::u16string wide;
  std::string listedByA;
};
const CraftedName kCraftedNames[] = {
    {u"..\uFF3Cvictim", "..\\victim"},        // full-width reverse solidus
    {u"\uFF0E\uFF0E", ".."},                  // two full-width full stops
    {u"a\uFF0Ab", "a*b"},                     // full-width asterisk
    {u"\u0416\u0443\u043A", "???"},           // Cyrillic: no mapping at all
};

TEST_F(FilesContract, TheWideListingHoldsCraftedNamesIntactAndTheAnsiListingBestFitsThem) {
  const qm::WString folder = qm::Widen(dir) + W(u"\\");
  std::set<qm::WString> wide{W(u"."), W(u"..")};
  std::set<std::string> narrow{".", ".."};
  for (const CraftedName& name : kCraftedNames) {
    ASSERT_TRUE(CreateDirectoryW((folder + W(name.wide)).c_str(), nullptr))
        << name.listedByA << " error " << GetLastError();
    wide.insert(W(name.wide));
    narrow.insert(name.listedByA);
  }
  EXPECT_EQ(wide, ListW(folder + W(u"*")));
  EXPECT_EQ(narrow, List(dir + "\\*"));
}

TEST_F(FilesContract, ACraftedNameIsRemovedWhereItIsOnlyByItsWideForm) {
  MakeFolder(dir + "\\prod");
  MakeFolder(dir + "\\victim");
  MakeFile(dir + "\\victim\\keep.txt");
  const qm::WString crafted = qm::Widen(dir) + W(u"\\prod\\..\uFF3Cvictim");
  ASSERT_TRUE(CreateDirectoryW(crafted.c_str(), nullptr)) << GetLastError();
  const qm::WString inside = crafted + W(u"\\f.txt");
  qm::unique_file file(CreateFileW(inside.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file) << GetLastError();
  file.reset();
  // The name the ANSI listing gives leads out of the product folder, to the bystander.
  EXPECT_TRUE(GetFileAttributesA((dir + "\\prod\\..\\victim\\keep.txt").c_str()) !=
              INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(DeleteFileW(inside.c_str())) << GetLastError();
  EXPECT_TRUE(RemoveDirectoryW(crafted.c_str())) << GetLastError();
  EXPECT_EQ((std::set<std::string>{".", "..", "keep.txt"}), List(dir + "\\victim\\*"));
  EXPECT_EQ((std::set<std::string>{".", ".."}), List(dir + "\\prod\\*"));
}

TEST_F(FilesContract, NamesBeyondTheCodePageCompareWithoutCase) {
  const qm::WString folder = qm::Widen(dir);
  ASSERT_TRUE(CreateDirectoryW((folder + W(u"\\\u0436\u0443\u043A")).c_str(), nullptr));
  const DWORD a = GetFileAttributesW((folder + W(u"\\\u0416\u0423\u041A")).c_str());
  EXPECT_TRUE(a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) << GetLastError();
}

struct FolderOpen {
  const char* what;
  DWORD flags;
  DWORD share;
  DWORD openError;    // 0: opens
  DWORD removeError;  // RemoveDirectoryW while the handle is open; 0: removed
};
const FolderOpen kFolderOpens[] = {
    {"held without delete sharing", FILE_FLAG_BACKUP_SEMANTICS,
     FILE_SHARE_READ | FILE_SHARE_WRITE, 0, ERROR_SHARING_VIOLATION},
    {"held with delete sharing", FILE_FLAG_BACKUP_SEMANTICS,
     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0, 0},
    {"without backup semantics", 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
     ERROR_ACCESS_DENIED, 0},
};

TEST_F(FilesContract, AFolderHeldOpenWithoutDeleteSharingCannotBeRemoved) {
  for (const FolderOpen& row : kFolderOpens) {
    const qm::WString folder = qm::Widen(dir + "\\" + world.UniqueName("Held"));
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr)) << row.what;
    SetLastError(0);
    qm::unique_file handle(CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY | SYNCHRONIZE,
                                       row.share, nullptr, OPEN_EXISTING, row.flags, nullptr));
    EXPECT_EQ(row.openError, handle ? 0u : GetLastError()) << row.what;
    if (!handle) continue;
    SetLastError(0);
    const BOOL removed = RemoveDirectoryW(folder.c_str());
    EXPECT_EQ(row.removeError, removed ? 0u : GetLastError()) << row.what;
    handle.reset();
    if (!removed) {
      EXPECT_TRUE(RemoveDirectoryW(folder.c_str())) << row.what << " after closing";
    }
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(folder.c_str())) << row.what;
  }
}

// Windows weighs share modes only between opens that both ask for data or delete rights (a
// rename opens for DELETE). The engine's pin of a folder (listing rights, no delete sharing)
// keeps anyone from renaming it and putting a junction in its place; an open for attributes
// alone, as the pin once was, holds nothing.
struct SharedOpen {
  const char* what;
  DWORD heldAccess, heldShare;  // the first open; no rights: the engine's pin of a folder
  DWORD access, share;          // the second open, of a file; no rights: a rename of a folder
  DWORD error;                  // 0: the second step succeeds
};
const SharedOpen kSharedOpens[] = {
    {"read, read", GENERIC_READ, 0, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
     ERROR_SHARING_VIOLATION},
    {"read, attributes", GENERIC_READ, 0, FILE_READ_ATTRIBUTES, 0, 0},
    {"attributes, read", FILE_READ_ATTRIBUTES, 0, GENERIC_READ, 0, 0},
    {"data, delete", FILE_READ_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, DELETE, 7,
     ERROR_SHARING_VIOLATION},
    {"delete, write", DELETE, FILE_SHARE_READ, GENERIC_WRITE, 7, ERROR_SHARING_VIOLATION},
    {"attributes, rename", FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, 0, 0, 0},
    {"the engine's pin, rename", 0, 0, 0, 0, ERROR_SHARING_VIOLATION},
};

TEST_F(FilesContract, OnlyOpensForDataOrDeletionTakePartInSharing) {
  for (const SharedOpen& row : kSharedOpens) {
    const std::string path = dir + "\\" + world.UniqueName("shared");
    const bool folder = row.access == 0;
    folder ? MakeFolder(path) : MakeFile(path);
    cleanup::PinnedFolder held;
    if (row.heldAccess == 0) {
      held = cleanup::PinFolder(qm::Widen(path));
    } else {
      held.handle.reset(CreateFileA(path.c_str(), row.heldAccess, row.heldShare, nullptr,
                                    OPEN_EXISTING,
                                    folder ? FILE_FLAG_BACKUP_SEMANTICS : FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
    }
    ASSERT_TRUE(held.handle) << row.what << " error " << GetLastError();
    SetLastError(0);
    const bool done =
        folder ? MoveFileW(qm::Widen(path).c_str(), qm::Widen(path + ".old").c_str()) != 0
               : static_cast<bool>(qm::unique_file(CreateFileA(path.c_str(), row.access, row.share,
                                                               nullptr, OPEN_EXISTING,
                                                               FILE_ATTRIBUTE_NORMAL, nullptr)));
    EXPECT_EQ(row.error, done ? 0u : GetLastError()) << row.what;
  }
}

// While the engine pins a folder its contents stay open to the walk; let go, it can be
// renamed.
TEST_F(FilesContract, AFolderPinnedByTheEngineIsOpenToTheWalkAndFreeOnceLetGo) {
  const qm::WString path = qm::Widen(dir + "\\Pinned");
  MakeFolder(dir + "\\Pinned");
  MakeFile(dir + "\\Pinned\\inside.txt");
  cleanup::PinnedFolder pinned = cleanup::PinFolder(path);
  ASSERT_EQ(cleanup::FolderKind::Directory, pinned.kind);
  EXPECT_EQ((std::set<std::string>{".", "..", "inside.txt"}), List(dir + "\\Pinned\\*"));
  EXPECT_TRUE(DeleteFileA((dir + "\\Pinned\\inside.txt").c_str())) << GetLastError();
  pinned.handle.reset();
  EXPECT_TRUE(MoveFileW(path.c_str(), (path + qm::Widen(".old")).c_str())) << GetLastError();
}

// One file, two names: the engine reads the count from the name itself, the attributes are
// the file's, and each name goes on its own.
TEST_F(FilesContract, AHardLinkIsASecondNameOfOneFile) {
  const qm::WString first = qm::Widen(dir + "\\first.dll");
  const qm::WString second = qm::Widen(dir + "\\second.dll");
  MakeFile(dir + "\\first.dll");
  EXPECT_EQ(1u, cleanup::LinkCountOf(first));
  ASSERT_TRUE(CreateHardLinkW(second.c_str(), first.c_str(), nullptr)) << GetLastError();
  EXPECT_EQ(2u, cleanup::LinkCountOf(first));
  EXPECT_EQ(2u, cleanup::LinkCountOf(second));
  ASSERT_TRUE(SetFileAttributesW(first.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(GetFileAttributesW(second.c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED),
            ErrorOf([&] { return DeleteFileW(second.c_str()); }))
      << "no name of a read-only file can go";
  ASSERT_TRUE(SetFileAttributesW(second.c_str(), FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_TRUE(DeleteFileW(second.c_str())) << GetLastError();
  EXPECT_EQ(1u, cleanup::LinkCountOf(first));
  EXPECT_EQ(0u, cleanup::LinkCountOf(second));
}

// The file identity and attributes a handle reports.
BY_HANDLE_FILE_INFORMATION InformationOf(const qm::WString& path, DWORD flags) {
  BY_HANDLE_FILE_INFORMATION info{};
  qm::unique_file handle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, flags, nullptr));
  EXPECT_TRUE(handle) << "open error " << GetLastError();
  if (handle) {
    EXPECT_TRUE(GetFileInformationByHandle(handle.get(), &info)) << GetLastError();
  }
  return info;
}

TEST_F(FilesContract, AHandleOnALinkItselfReportsTheReparsePointAndOtherwiseTheTarget) {
  MakeFolder(dir + "\\Target");
  MakeFile(dir + "\\Target\\inside.txt");
  if (!world.MakeFolderLink(dir + "\\Link", dir + "\\Target"))
    GTEST_SKIP() << "no directory link can be made here";
  const BY_HANDLE_FILE_INFORMATION target =
      InformationOf(qm::Widen(dir + "\\Target"), FILE_FLAG_BACKUP_SEMANTICS);
  const BY_HANDLE_FILE_INFORMATION itself = InformationOf(
      qm::Widen(dir + "\\Link"), FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
  const BY_HANDLE_FILE_INFORMATION followed =
      InformationOf(qm::Widen(dir + "\\Link"), FILE_FLAG_BACKUP_SEMANTICS);
  auto index = [](const BY_HANDLE_FILE_INFORMATION& i) {
    return (static_cast<uint64_t>(i.nFileIndexHigh) << 32) | i.nFileIndexLow;
  };
  EXPECT_FALSE(followed.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
  EXPECT_TRUE(followed.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(index(target), index(followed)) << "without the flag the link leads to its target";
  // Windows opens a junction itself with the flag. Wine 8 follows a unix symbolic link even
  // then (the handle reports the target: no reparse mark, the target's index), although its
  // listing marks the link 0x410; a program must also heed the listing's mark.
  if (World::Simulated()) {
    EXPECT_TRUE(itself.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) << itself.dwFileAttributes;
    EXPECT_NE(index(target), index(itself));
  }
}

// ---- deletion at the next restart

const char16_t kSessionManager[] = u"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char16_t kPending[] = u"PendingFileRenameOperations";

// The strings of a REG_MULTI_SZ, without the list's closing empty string.
std::vector<qm::WString> PendingOperations(HKEY key, DWORD* type) {
  DWORD size = 0;
  std::vector<qm::WString> items;
  if (RegQueryValueExW(key, W(kPending).c_str(), nullptr, type, nullptr, &size) != ERROR_SUCCESS)
    return items;
  std::vector<WCHAR> units(size / sizeof(WCHAR) + 1, 0);
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, W(kPending).c_str(), nullptr, type,
                                            reinterpret_cast<BYTE*>(units.data()), &size));
  qm::WString item;
  for (size_t i = 0; i < size / sizeof(WCHAR); ++i) {
    if (units[i] != 0) {
      item += units[i];
      continue;
    }
    items.push_back(item);
    item.clear();
  }
  return items;
}

TEST_F(FilesContract, DeletionAtTheRestartIsAPairInPendingFileRenameOperations) {
  const qm::WString path = qm::Widen(dir + "\\later.txt");
  MakeFile(dir + "\\later.txt");
  qm::unique_hkey key;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(kSessionManager).c_str(), 0,
                                         KEY_QUERY_VALUE | KEY_SET_VALUE, key.put()));
  DWORD type = REG_NONE;
  std::vector<BYTE> before(1 << 16);
  DWORD beforeSize = static_cast<DWORD>(before.size());
  const bool existed = RegQueryValueExW(key.get(), W(kPending).c_str(), nullptr, &type,
                                        before.data(), &beforeSize) == ERROR_SUCCESS;
  ASSERT_TRUE(MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) << GetLastError();
  const std::vector<qm::WString> items = PendingOperations(key.get(), &type);
  EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), type);
  size_t at = 0;
  while (at < items.size() && items[at] != W(u"\\??\\") + path) ++at;
  ASSERT_LT(at + 1, items.size()) << "the entry and its new name";
  EXPECT_EQ(qm::WString(), items[at + 1]) << "an empty new name: deleted at the restart";
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(path.c_str())) << "still there now";
  // The look after the run reads the entry back as a deletion of that very path.
  const std::vector<qm::WString> deletions = cleanup::PendingDeletions();
  EXPECT_NE(deletions.end(), std::find(deletions.begin(), deletions.end(), path));
  // Leave the machine's restart as it was.
  if (existed)
    RegSetValueExW(key.get(), W(kPending).c_str(), 0, REG_MULTI_SZ, before.data(), beforeSize);
  else
    RegDeleteValueW(key.get(), W(kPending).c_str());
}

// ---- links on the way to a folder, as the install-folder check reads each one

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
TEST_F(FilesContract, AJunctionReadOnItselfNamesItsTargetAndAPlainFolderIsNone) {
  using cleanup::ReparseRead;
  using cleanup::Resolution;
  MakeFolder(dir + "\\Target");
  MakeFolder(dir + "\\Target\\Inner");
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

// ---- the deletions left to the restart: who could change what the program made

// What this program creates, and every folder above it up to the volume root, is safe from
// non-administrators as read through the walk's own handles: the pin of each folder, an open
// of the file itself. Without READ_CONTROL in the open, nothing can be read.
TEST_F(FilesContract, WhatThisProgramMakesIsSafeUpToTheRootThroughThePins) {
  MakeFolder(dir + "\\Prod");
  MakeFile(dir + "\\Prod\\a.dat");
  const qm::WString folder = qm::Widen(dir + "\\Prod\\"), file = folder + qm::Widen("a.dat");
  const cleanup::TrustedPrincipals trusted;
  const auto exposure = [&](HANDLE handle) {
    const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    return cleanup::FileExposure(cleanup::SecurityInfo(handle, SE_FILE_OBJECT, what), trusted,
                                 cleanup::kRightsOverObject | cleanup::kRightsOverContents);
  };
  for (size_t at = folder.find(WCHAR('\\')); at != qm::WString::npos;
       at = folder.find(WCHAR('\\'), at + 1)) {
    const qm::WString above = folder.substr(0, at == 2 ? 3 : at);  // "C:\", then no backslash
    const cleanup::PinnedFolder pin = cleanup::PinFolder(above, READ_CONTROL);
    ASSERT_EQ(cleanup::FolderKind::Directory, pin.kind) << qm::Narrow(above);
    EXPECT_EQ(cleanup::Exposure::None, exposure(pin.handle.get())) << qm::Narrow(above);
  }
  qm::unique_file itself(CreateFileW(file.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING,
                                     FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                     nullptr));
  ASSERT_TRUE(itself) << GetLastError();
  EXPECT_EQ(cleanup::Exposure::None, exposure(itself.get()));
  qm::unique_file attributesOnly(CreateFileW(file.c_str(), FILE_READ_ATTRIBUTES,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(attributesOnly);
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED),
            GetSecurityInfo(attributesOnly.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                            &owner, nullptr, nullptr, nullptr, &descriptor));
  qm::unique_local freed(descriptor);
}

// ---- the system folder as the driver file's operations see it

// A 32-bit program on 64-bit Windows names System32 and reaches SysWOW64, except inside the
// engine's FsRedirectionOff scope, which reaches the real System32 and gives the thread its
// own view back at its end. Elsewhere the scope changes nothing.
bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void CheckTheDriverFolderViews(World& world) {
  const std::string name = world.UniqueName("qmview") + ".sys";
  const std::string windows = qm::Narrow(cleanup::ReadWindowsDirectory());
  const std::string system32 = windows + "\\system32\\drivers\\" + name;
  const std::string sysWow64 = windows + "\\SysWOW64\\drivers\\" + name;
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

// This machine as it is, then (in the simulation) 64-bit Windows running this program as a
// 32-bit one; a real machine is what it is, and the i686 build runs this under 64-bit Wine.
TEST(FsRedirectionContract, TheScopeReachesTheRealSystemFolder) {
  World world;
  CheckTheDriverFolderViews(world);
  if (!world.Simulate64BitWindows()) return;
  ASSERT_TRUE(world.Wow64());
  CheckTheDriverFolderViews(world);
}

}  // namespace
