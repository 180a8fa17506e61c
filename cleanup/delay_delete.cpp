#include "cleanup/delay_delete.h"

#include "cleanup/directories.h"
#include "cleanup/security.h"
#include "platform/fs_redirection.h"
#include "platform/paths.h"
#include "platform/raii.h"
#include "platform/win32/win32.h"

namespace cleanup {
namespace {

const SECURITY_INFORMATION kOwnerAndList = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

bool IsPlainFolder(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !IsReparsePoint(attributes);
}

DWORD AttributesOf(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  return ::GetFileInformationByHandle(handle, &info) ? info.dwFileAttributes
                                                      : INVALID_FILE_ATTRIBUTES;
}

// The folders above `path` up to its volume root, root first ("C:\", "C:\A" for "C:\A\b");
// none for a path that is not of the drive-letter form.
std::vector<qm::WString> FoldersAbove(const qm::WString& path) {
  if (path.size() < 4 || path[1] != WCHAR(':') || path[2] != qm::kBackslash) return {};
  std::vector<qm::WString> folders{path.substr(0, 3)};
  for (size_t at = path.find(qm::kBackslash, 3); at != qm::WString::npos;
       at = path.find(qm::kBackslash, at + 1))
    folders.push_back(path.substr(0, at));
  return folders;
}

class Scheduler {
 public:
  explicit Scheduler(LeftoverSchedule& out) : out_(out) {}

  // One product place: every folder above it pinned and judged, root first, and held while
  // the place itself is walked or scheduled.
  void Place(const qm::WString& place, const qm::WString& bare, DWORD attributes) {
    place_ = place;
    refused_ = false;
    const std::vector<qm::WString> folders = FoldersAbove(bare);
    if (folders.empty()) {
      Refuse(bare, Refusal::Unreadable);
      return;
    }
    std::vector<PinnedFolder> above;
    for (const qm::WString& folder : folders) {
      above.push_back(PinFolder(folder, READ_CONTROL));
      if (!SafeFolder(folder, above.back())) return;
    }
    Entry(bare, attributes);
  }

 private:
  // An entry as the listing reported it; true when it was scheduled. A folder is walked only
  // through a pin that shows it is still a plain folder; a folder swapped for a link since
  // the listing is taken as the link it now is.
  bool Entry(const qm::WString& path, DWORD listed) {
    if (IsPlainFolder(listed)) {
      PinnedFolder pin = PinFolder(path, READ_CONTROL);
      switch (pin.kind) {
        case FolderKind::Directory:
          return Folder(path, pin);
        case FolderKind::Other:
          return Refuse(path, Refusal::Unreadable);
        case FolderKind::Link:
          break;
      }
    }
    return Item(path);
  }

  // A plain folder, pinned: judged, its contents first, then itself.
  bool Folder(const qm::WString& folder, PinnedFolder& pin) {
    if (!SafeFolder(folder, pin)) return false;
    bool all = true;
    WIN32_FIND_DATAW found{};
    qm::unique_find find(::FindFirstFileW(
        qm::FileCallPath(folder + qm::kBackslash + WCHAR('*')).c_str(), &found));
    if (!find) return false;  // cannot list it: the restart could not empty it either
    do {
      if (IsDotEntry(found.cFileName)) continue;
      all = Entry(folder + qm::kBackslash + found.cFileName, found.dwFileAttributes) && all;
    } while (::FindNextFileW(find.get(), &found));
    return all && Schedule(folder, AttributesOf(pin.handle.get()));
  }

  // A file or a link, judged and scheduled through a handle on the name itself.
  bool Item(const qm::WString& path) {
    const qm::unique_file item = OpenItself(path, READ_CONTROL | FILE_READ_ATTRIBUTES);
    const DWORD attributes = item ? AttributesOf(item.get()) : INVALID_FILE_ATTRIBUTES;
    if (attributes == INVALID_FILE_ATTRIBUTES) return Refuse(path, Refusal::Unreadable);
    const SecurityInfo security(item.get(), SE_FILE_OBJECT, kOwnerAndList);
    return Safe(path, security, kRightsOverObject, Refusal::OpenToOthers) &&
           Schedule(path, attributes);
  }

  // A folder on the way or in the tree: neither it nor anything it holds may be changed by
  // another principal.
  bool SafeFolder(const qm::WString& folder, const PinnedFolder& pin) {
    switch (pin.kind) {
      case FolderKind::Link:
        return Refuse(folder, Refusal::ThroughLink);
      case FolderKind::Other:
        return Refuse(folder, Refusal::Unreadable);
      case FolderKind::Directory:
        break;
    }
    const SecurityInfo security(pin.handle.get(), SE_FILE_OBJECT, kOwnerAndList);
    return Safe(folder, security, kRightsOverObject, Refusal::OpenToOthers) &&
           Safe(folder, security, kRightsOverContents, Refusal::ContentsOpenToOthers);
  }

  bool Safe(const qm::WString& path, const SecurityInfo& security, ACCESS_MASK rights,
            Refusal whenGranted) {
    switch (FileExposure(security, trusted_, rights)) {
      case Exposure::None:
        return true;
      case Exposure::Unreadable:
        return Refuse(path, Refusal::Unreadable);
      case Exposure::ForeignOwner:
        return Refuse(path, Refusal::ForeignOwner);
      case Exposure::NoAccessList:
        return Refuse(path, Refusal::NoAccessList);
      case Exposure::GrantedToOther:
        return Refuse(path, whenGranted);
      case Exposure::UnknownEntry:
        return Refuse(path, Refusal::UnknownEntry);
    }
    return Refuse(path, Refusal::Unreadable);
  }

  // Records the place's first refusal; always false.
  bool Refuse(const qm::WString& path, Refusal reason) {
    if (!refused_) out_.left.push_back({place_, qm::WithoutFinalBackslash(path), reason});
    refused_ = true;
    return false;
  }

  // One path, file, folder or link: true when Windows took it.
  bool Schedule(const qm::WString& path, DWORD attributes) {
    // A file with other names shares its attributes with them: they stay (see directories.h).
    if ((attributes & FILE_ATTRIBUTE_READONLY) && LinkCountOf(path) == 1)
      ::SetFileAttributesW(qm::FileCallPath(path).c_str(),
                           attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    if (!::MoveFileExW(qm::FileCallPath(path).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
      return false;
    out_.scheduled.push_back(path);
    return true;
  }

  LeftoverSchedule& out_;
  const TrustedPrincipals trusted_;
  qm::WString place_;
  bool refused_ = false;
};

std::string ReasonText(const LeftInPlace& left) {
  const std::string path = qm::Narrow(left.path);
  switch (left.reason) {
    case Refusal::ForeignOwner:
      return path + " pertenece a un usuario que no es administrador";
    case Refusal::OpenToOthers:
      return "un usuario que no es administrador puede borrar, renombrar o cambiar los permisos de " +
             path;
    case Refusal::ContentsOpenToOthers:
      return "un usuario que no es administrador puede borrar o renombrar lo que contiene " + path;
    case Refusal::NoAccessList:
      return path + " no tiene lista de permisos (acceso total para todos)";
    case Refusal::UnknownEntry:
      return "los permisos de " + path + " tienen entradas que no se pueden evaluar";
    case Refusal::Unreadable:
      return "no se pudieron leer los permisos de " + path;
    case Refusal::ThroughLink:
      return "la ruta pasa por el enlace " + path;
  }
  return "no se pudieron leer los permisos de " + path;
}

}  // namespace

LeftoverSchedule ScheduleLeftoversAtRestart(const ProductPlaces& places) {
  LeftoverSchedule out;
  Scheduler scheduler(out);
  for (const qm::WString& folder : places.folders) {
    const qm::WString bare = qm::WithoutFinalBackslash(folder);
    const DWORD attributes = ::GetFileAttributesW(qm::FileCallPath(bare).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
      continue;  // gone, or a file of that name that is nothing of the product's
    scheduler.Place(folder, bare, attributes);
  }
  // The driver file of the real system folder, also for a 32-bit program on 64-bit Windows.
  qm::WithoutFsRedirection([&] {
    const DWORD driver = ::GetFileAttributesW(qm::FileCallPath(places.driverFile).c_str());
    if (driver != INVALID_FILE_ATTRIBUTES && (driver & FILE_ATTRIBUTE_DIRECTORY) == 0)
      scheduler.Place(places.driverFile, places.driverFile, driver);
  });
  return out;
}

std::string LeftInPlaceLine(const LeftInPlace& left) {
  return "    No se eliminar\xE1 al reiniciar: " + ReasonText(left);
}

}  // namespace cleanup
