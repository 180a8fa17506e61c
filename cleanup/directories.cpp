#include "cleanup/directories.h"

#include "cleanup/pump.h"
#include "platform/raii.h"

namespace cleanup {
namespace {

bool IsDotEntry(const char* name) { return std::string(name) == "." || std::string(name) == ".."; }

// Deletes one file (or file link) and writes its line; answers whether it went.
bool DeleteOneFile(const std::string& path, bool isLink, StringList& deletedFiles) {
  // A link's attributes are not cleared: on some systems that would reach its target.
  if (!isLink) ClearFileAttributes(path);
  const bool deleted = ::DeleteFileA(path.c_str()) != 0;
  deletedFiles.push_back("  " + path + (deleted ? " ...OK" : " ...FALLO"));
  return deleted;
}

class TreeWalk {
 public:
  TreeWalk(StringList& deletedFiles, int& fileCounter)
      : deletedFiles_(deletedFiles), fileCounter_(fileCounter) {}

  int Run(const std::string& directory) {
    EmptyDirectory(directory);
    return result_;
  }

 private:
  void EmptyDirectory(const std::string& directory) {
    ProcessMessages();
    WIN32_FIND_DATAA entry{};
    qm::unique_find search(::FindFirstFileA((directory + "*.*").c_str(), &entry));
    if (!search) {
      result_ = kListingFailed;
      return;
    }
    do {
      if (!IsDotEntry(entry.cFileName)) HandleEntry(directory + entry.cFileName, entry);
    } while (::FindNextFileA(search.get(), &entry));
  }

  void HandleEntry(const std::string& path, const WIN32_FIND_DATAA& entry) {
    const bool isDirectory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool isLink = IsReparsePoint(entry.dwFileAttributes);
    if (isDirectory && isLink) {
      ProcessMessages();  // a sub-directory like any other, though never entered
      ::RemoveDirectoryA(path.c_str());  // removes the link only; a failure leaves it
    } else if (isDirectory) {
      EmptySubDirectory(path + "\\");
    } else {
      ++fileCounter_;
      if (!DeleteOneFile(path, isLink, deletedFiles_)) result_ = kFileNotDeleted;
      ProcessMessages();
    }
  }

  void EmptySubDirectory(const std::string& directory) {
    ProcessMessages();
    ClearFileAttributes(directory);
    EmptyDirectory(directory);
    ::RemoveDirectoryA(directory.c_str());  // one that still holds something stays
  }

  StringList& deletedFiles_;
  int& fileCounter_;
  int result_ = kDirectoryEmptied;
};

}  // namespace

int DeleteDirectoryContents(const std::string& directory, StringList& deletedFiles,
                            int& fileCounter) {
  if (directory.empty()) return kDirectoryEmptied;
  return TreeWalk(deletedFiles, fileCounter).Run(directory);
}

void ClearFileAttributes(const std::string& path) {
  ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_ARCHIVE);
}

}  // namespace cleanup
