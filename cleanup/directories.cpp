#include "cleanup/directories.h"

#include "cleanup/pump.h"
#include "platform/paths.h"

namespace cleanup {
namespace {

const qm::WString& AllEntries() {
  static const qm::WString pattern = qm::Widen("*.*");
  return pattern;
}

// Deletes one file (or file link) and writes its line; answers whether it went.
bool DeleteOneFile(const qm::WString& path, bool isLink, StringList& deletedFiles) {
  // A link's attributes are not cleared: on some systems that would reach its target.
  if (!isLink) ClearOwnFileAttributes(path);
  const bool deleted = ::DeleteFileW(qm::FileCallPath(path).c_str()) != 0;
  deletedFiles.push_back("  " + qm::Narrow(path) + (deleted ? " ...OK" : " ...FALLO"));
  return deleted;
}

class TreeWalk {
 public:
  TreeWalk(StringList& deletedFiles, int& fileCounter)
      : deletedFiles_(deletedFiles), fileCounter_(fileCounter) {}

  DirectoryResult Run(const qm::WString& directory) {
    EmptyDirectory(directory);
    return result_;
  }

 private:
  void EmptyDirectory(const qm::WString& directory) {
    ProcessMessages();
    WIN32_FIND_DATAW entry{};
    const qm::WString pattern = qm::FileCallPath(directory + AllEntries());
    qm::unique_find search(::FindFirstFileW(pattern.c_str(), &entry));
    if (!search) {
      result_ = DirectoryResult::ListingFailed;
      return;
    }
    do {
      if (!IsDotEntry(entry.cFileName)) HandleEntry(directory + entry.cFileName, entry);
    } while (::FindNextFileW(search.get(), &entry));
  }

  void HandleEntry(const qm::WString& path, const WIN32_FIND_DATAW& entry) {
    const bool isDirectory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool isLink = IsReparsePoint(entry.dwFileAttributes);
    if (isDirectory && isLink) {
      ProcessMessages();  // a sub-directory like any other, though never entered
      RemoveFolderLink(path);  // a failure leaves it
    } else if (isDirectory) {
      EmptySubDirectory(path);
    } else {
      ++fileCounter_;
      if (!DeleteOneFile(path, isLink, deletedFiles_)) result_ = DirectoryResult::FileNotDeleted;
      ProcessMessages();
    }
  }

  // `path` was listed as a plain directory; what it is now is read from its own handle.
  void EmptySubDirectory(const qm::WString& path) {
    ProcessMessages();
    const qm::WString directory = qm::WithFinalBackslash(path);
    PinnedFolder pinned = PinFolder(path);
    switch (pinned.kind) {
      case FolderKind::Link:  // swapped for a link since the listing: removed as one
        RemoveFolderLink(path);
        return;
      case FolderKind::Other:  // cannot be entered safely: as if it could not be listed
        result_ = DirectoryResult::ListingFailed;
        return;
      case FolderKind::Directory:
        break;
    }
    ClearFileAttributes(directory);
    EmptyDirectory(directory);
    pinned.handle.reset();  // the pin would keep the folder itself from going
    // One that still holds something stays.
    ::RemoveDirectoryW(qm::FileCallPath(directory).c_str());
  }

  StringList& deletedFiles_;
  int& fileCounter_;
  DirectoryResult result_ = DirectoryResult::Emptied;
};

}  // namespace

bool IsDotEntry(const WCHAR* name) {
  return name[0] == WCHAR('.') && (name[1] == 0 || (name[1] == WCHAR('.') && name[2] == 0));
}

DirectoryResult DeleteDirectoryContents(const qm::WString& directory, StringList& deletedFiles,
                                        int& fileCounter) {
  if (directory.empty()) return DirectoryResult::Emptied;
  return TreeWalk(deletedFiles, fileCounter).Run(directory);
}

void ClearFileAttributes(const qm::WString& path) {
  ::SetFileAttributesW(qm::FileCallPath(path).c_str(), FILE_ATTRIBUTE_ARCHIVE);
}

qm::unique_file OpenItself(const qm::WString& path, DWORD rights) {
  return qm::unique_file(::CreateFileW(qm::FileCallPath(path).c_str(), rights,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING,
                                       FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                       nullptr));
}

DWORD LinkCountOf(const qm::WString& path) {
  const qm::unique_file name = OpenItself(path);
  BY_HANDLE_FILE_INFORMATION info{};
  if (!name || !::GetFileInformationByHandle(name.get(), &info)) return 0;
  return info.nNumberOfLinks;
}

void ClearOwnFileAttributes(const qm::WString& path) {
  if (LinkCountOf(path) == 1) ClearFileAttributes(path);
}

bool FolderExists(const qm::WString& folder) {
  // Asked without its final backslash, a link reports itself rather than its target.
  const qm::WString bare = qm::FileCallPath(qm::WithoutFinalBackslash(folder));
  const DWORD attributes = ::GetFileAttributesW(bare.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

PinnedFolder PinFolder(const qm::WString& folder, DWORD moreRights) {
  const qm::WString bare = qm::WithoutFinalBackslash(folder);
  PinnedFolder pinned;
  // Windows weighs share modes only between opens that both ask for data or delete rights:
  // without FILE_LIST_DIRECTORY the missing delete sharing would hold nothing back.
  qm::unique_file handle(::CreateFileW(qm::FileCallPath(bare).c_str(),
                                       FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE |
                                           moreRights,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                       nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!handle || !::GetFileInformationByHandle(handle.get(), &info)) return pinned;
  // Once pinned, the name cannot be given to anything else, so what the name reports now is
  // what the handle holds; asking both also catches a link that some systems open through
  // (Wine opens a unix link to a folder as its target, yet reports the link by name).
  const DWORD byName = ::GetFileAttributesW(qm::FileCallPath(bare).c_str());
  if (IsReparsePoint(info.dwFileAttributes) ||
      (byName != INVALID_FILE_ATTRIBUTES && IsReparsePoint(byName))) {
    pinned.kind = FolderKind::Link;  // the handle goes: RemoveDirectoryW needs the name free
  } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
             byName != INVALID_FILE_ATTRIBUTES) {
    pinned.kind = FolderKind::Directory;
    pinned.handle = std::move(handle);
  }
  return pinned;
}

bool RemoveFolderLink(const qm::WString& link) {
  return ::RemoveDirectoryW(qm::FileCallPath(qm::WithoutFinalBackslash(link)).c_str()) != 0;
}

}  // namespace cleanup
