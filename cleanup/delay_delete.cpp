#include "cleanup/delay_delete.h"

#include "platform/fs_redirection.h"
#include "platform/raii.h"
#include "platform/win32/win32.h"

namespace cleanup {
namespace {

const WCHAR kBackslash = WCHAR('\\');

bool IsDotName(const WCHAR* name) {
  return name[0] == WCHAR('.') &&
         (name[1] == WCHAR{} || (name[1] == WCHAR('.') && name[2] == WCHAR{}));
}

// The attributes of the name itself, through a handle opened on the link rather than on what
// it leads to; the listed ones when it cannot be opened (a file in use by another program).
DWORD OwnAttributes(const qm::WString& path, DWORD listed) {
  qm::unique_file file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING,
                                   FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                   nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file || !GetFileInformationByHandle(file.get(), &info)) return listed;
  return info.dwFileAttributes;
}

class Scheduler {
 public:
  // One path, file, folder or link: true when Windows took it.
  bool Schedule(const qm::WString& path, DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_READONLY)
      SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    if (!MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) return false;
    scheduled_.push_back(path);
    return true;
  }

  // A real folder (not a link), `folder` without its final backslash: its contents first.
  bool Folder(const qm::WString& folder, DWORD attributes) {
    bool all = true;
    const qm::WString pattern = folder + kBackslash + WCHAR('*');
    WIN32_FIND_DATAW found{};
    qm::unique_find find(FindFirstFileW(pattern.c_str(), &found));
    if (!find) return false;  // cannot list it: the restart could not empty it either
    do {
      if (IsDotName(found.cFileName)) continue;
      all = Entry(folder + kBackslash + found.cFileName, found.dwFileAttributes) && all;
    } while (FindNextFileW(find.get(), &found));
    return all && Schedule(folder, attributes);
  }

  // An entry as the listing reported it. Before a folder is walked, the name itself is
  // opened without following a link and asked through its handle: a folder replaced by a link
  // since it was listed is scheduled as the link it now is, never walked.
  bool Entry(const qm::WString& path, DWORD listed) {
    const DWORD attributes = OwnAttributes(path, listed);
    const bool link = ((listed | attributes) & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (!link && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return Folder(path, attributes);
    return Schedule(path, attributes);
  }

  std::vector<qm::WString> scheduled_;
};

qm::WString Bare(const qm::WString& path) {
  if (path.size() > 3 && path.back() == kBackslash) return path.substr(0, path.size() - 1);
  return path;
}

}  // namespace

std::vector<qm::WString> ScheduleLeftoversAtRestart(const ProductPlaces& places) {
  Scheduler scheduler;
  for (const qm::WString& folder : places.folders) {
    const qm::WString bare = Bare(folder);
    const DWORD attributes = GetFileAttributesW(bare.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
      continue;  // gone, or a file of that name that is nothing of the product's
    scheduler.Entry(bare, attributes);
  }
  // The driver file of the real system folder, also for a 32-bit program on 64-bit Windows.
  qm::WithoutFsRedirection([&] {
    const DWORD driver = GetFileAttributesW(places.driverFile.c_str());
    if (driver != INVALID_FILE_ATTRIBUTES && (driver & FILE_ATTRIBUTE_DIRECTORY) == 0)
      scheduler.Schedule(places.driverFile, driver);
  });
  return scheduler.scheduled_;
}

}  // namespace cleanup
