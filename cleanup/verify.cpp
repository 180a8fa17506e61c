#include "cleanup/verify.h"

#include <algorithm>
#include <optional>

#include "cleanup/directories.h"
#include "cleanup/install_folder.h"
#include "cleanup/log.h"
#include "cleanup/plan.h"
#include "cleanup/processes.h"
#include "platform/fs_redirection.h"
#include "platform/paths.h"
#include "platform/raii.h"
#include "platform/win32/win32.h"

namespace cleanup {
namespace {

const char* const kServicePrefix = "Servicio ";
const char* const kProcessPrefix = "Proceso ";

const std::string kServicesKey = "SYSTEM\\CurrentControlSet\\Services\\";
const char* const kSessionManagerKey = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char* const kPendingValue = "PendingFileRenameOperations";
const char* const kNtPrefix = "\\??\\";

Presence KeyPresence(HKEY root, const std::string& key);

bool Missing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

Presence ServicePresence(const std::string& name, const RunKnowledge& known) {
  qm::unique_service manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return Presence::Present;  // cannot look: never claim it gone
  qm::unique_service service(OpenServiceA(manager.get(), name.c_str(), SERVICE_QUERY_STATUS));
  if (!service) {
    const DWORD error = GetLastError();
    if (error == ERROR_SERVICE_DOES_NOT_EXIST) return Presence::Absent;
  }
  if (known.serviceMarkedForDeletion && known.serviceMarkedForDeletion(name))
    return Presence::GoesAtRestart;
  // The service manager builds its list from the Services key at start-up: a service whose
  // key the registry stage deleted is still listed now, and gone after the restart.
  if (KeyPresence(HKEY_LOCAL_MACHINE, kServicesKey + name) == Presence::Absent)
    return Presence::GoesAtRestart;
  return Presence::Present;
}

Presence ProcessPresence(const std::string& exe) {
  return CountProcessesByName(exe) == 0 ? Presence::Absent : Presence::Present;
}

Presence KeyPresence(HKEY root, const std::string& key) {
  qm::unique_hkey opened;
  const LONG code = RegOpenKeyExW(root, qm::Widen(key).c_str(), 0, KEY_READ, opened.put());
  return Missing(static_cast<DWORD>(code)) ? Presence::Absent : Presence::Present;
}

Presence ValuePresence(const char* key, const qm::WString& value) {
  qm::unique_hkey opened;
  LONG code = RegOpenKeyExW(HKEY_LOCAL_MACHINE, qm::Widen(key).c_str(), 0, KEY_QUERY_VALUE,
                            opened.put());
  if (code == ERROR_SUCCESS)
    code = RegQueryValueExW(opened.get(), value.c_str(), nullptr, nullptr, nullptr, nullptr);
  return Missing(static_cast<DWORD>(code)) ? Presence::Absent : Presence::Present;
}

// The deletions waiting for the restart, in order, each name in the form compared.
class RestartDeletions {
 public:
  explicit RestartDeletions(const std::vector<qm::WString>& paths) {
    for (const qm::WString& path : paths) names_.push_back(Comparable(path));
  }

  // Whether the restart removes `path` (with its attributes as read now) by a deletion before
  // position `limit` of the list.
  bool Removes(const qm::WString& path, DWORD attributes, size_t limit) const {
    const qm::WString name = Comparable(path);
    size_t last = names_.size();
    for (size_t i = 0; i < limit && i < names_.size(); ++i)
      if (names_[i] == name) last = i;
    if (last == names_.size()) return false;
    // The restart deletes a name as it is: a read-only one stays, a folder only when empty.
    if (attributes & FILE_ATTRIBUTE_READONLY) return false;
    const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                        !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    return !folder || ContentsGoBefore(path, last);
  }

 private:
  static qm::WString Comparable(const qm::WString& path) {
    return FoldCase(qm::WithoutFinalBackslashes(path));
  }

  // Everything in `folder` is removed by deletions before position `limit`.
  bool ContentsGoBefore(const qm::WString& folder, size_t limit) const {
    WIN32_FIND_DATAW found{};
    const qm::unique_find find(
        FindFirstFileW(qm::FileCallPath(folder + qm::Widen("\\*")).c_str(), &found));
    if (!find) return false;  // cannot be listed: not known to be emptied
    do {
      if (IsDotEntry(found.cFileName)) continue;
      if (!Removes(folder + qm::kBackslash + found.cFileName, found.dwFileAttributes, limit))
        return false;
    } while (FindNextFileW(find.get(), &found));
    return true;
  }

  std::vector<qm::WString> names_;
};

Presence PathPresence(const qm::WString& path, const RestartDeletions& restart) {
  // A folder is looked at without its final backslash, so a link reports itself.
  const qm::WString bare = qm::WithoutFinalBackslash(path);
  const DWORD attributes = GetFileAttributesW(qm::FileCallPath(bare).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES && Missing(GetLastError())) return Presence::Absent;
  if (attributes == INVALID_FILE_ATTRIBUTES) return Presence::Present;
  return restart.Removes(bare, attributes, static_cast<size_t>(-1)) ? Presence::GoesAtRestart
                                                                    : Presence::Present;
}

// The value's strings, split at their terminating zeros (the list's own final zero makes a
// last empty string, which pairs with nothing).
std::vector<qm::WString> MultiStrings(const std::vector<WCHAR>& data) {
  std::vector<qm::WString> items;
  qm::WString item;
  for (const WCHAR unit : data) {
    if (unit != WCHAR{}) {
      item += unit;
      continue;
    }
    items.push_back(item);
    item.clear();
  }
  if (!item.empty()) items.push_back(item);
  return items;
}

// The value's data as UTF-16 units; none when it cannot be read as REG_MULTI_SZ.
std::optional<std::vector<WCHAR>> PendingOperationsData() {
  qm::unique_hkey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, qm::Widen(kSessionManagerKey).c_str(), 0, KEY_QUERY_VALUE,
                    key.put()) != ERROR_SUCCESS)
    return std::nullopt;
  const qm::WString value = qm::Widen(kPendingValue);
  std::vector<WCHAR> data(1024);
  for (;;) {
    DWORD type = REG_NONE;
    DWORD bytes = static_cast<DWORD>(data.size() * sizeof(WCHAR));
    const LONG code = RegQueryValueExW(key.get(), value.c_str(), nullptr, &type,
                                       reinterpret_cast<BYTE*>(data.data()), &bytes);
    if (code == ERROR_MORE_DATA) {
      data.resize(bytes / sizeof(WCHAR) + 1);
      continue;
    }
    if (code != ERROR_SUCCESS || type != REG_MULTI_SZ) return std::nullopt;
    data.resize(bytes / sizeof(WCHAR));
    return data;
  }
}

void KeyTrees(std::vector<ItemLook>& items, HKEY root, const char* prefix,
              const StringList& keys) {
  for (const std::string& key : keys) items.push_back({prefix + key, KeyPresence(root, key)});
}

void Values(std::vector<ItemLook>& items, const char* key, const std::vector<qm::WString>& names) {
  const std::string display = std::string(LocalMachinePrefix) + key + " ";
  for (const qm::WString& name : names)
    items.push_back({display + qm::Narrow(name), ValuePresence(key, name)});
}

}  // namespace

std::vector<ItemLook> LookAtProduct(const ProductPlaces& places, const RunKnowledge& known) {
  std::vector<ItemLook> items;
  for (const std::string& service : PlanServices)
    items.push_back({kServicePrefix + service, ServicePresence(service, known)});
  for (const std::string& exe : PlanProcesses)
    items.push_back({kProcessPrefix + exe, ProcessPresence(exe)});
  KeyTrees(items, HKEY_CLASSES_ROOT, ClassesRootPrefix, PlanClassesRootKeys);
  KeyTrees(items, HKEY_LOCAL_MACHINE, LocalMachinePrefix, PlanLocalMachineKeys);
  KeyTrees(items, HKEY_CURRENT_USER, CurrentUserPrefix, PlanCurrentUserKeys);
  std::vector<qm::WString> runValues;
  for (const std::string& v : PlanRunValues) runValues.push_back(qm::Widen(v));
  Values(items, RunKey, runValues);
  std::vector<qm::WString> sharedDlls;
  const qm::WString installDir = places.folders.empty() ? qm::WString() : places.folders.front();
  for (const std::string& file : PlanSharedDllFiles) sharedDlls.push_back(installDir + qm::Widen(file));
  Values(items, SharedDllsKey, sharedDlls);
  std::vector<qm::WString> waiting = PendingDeletions();
  waiting.insert(waiting.end(), known.scheduledAtRestart.begin(), known.scheduledAtRestart.end());
  const RestartDeletions restart(waiting);
  for (const qm::WString& folder : places.folders)
    items.push_back({qm::Narrow(folder), PathPresence(folder, restart)});
  // Looked at in the real system folder, as the files stage deleted it.
  items.push_back({qm::Narrow(places.driverFile), qm::WithoutFsRedirection([&] {
                     return PathPresence(places.driverFile, restart);
                   })});
  return items;
}

std::vector<qm::WString> PendingDeletions() {
  std::vector<qm::WString> deletions;
  const std::optional<std::vector<WCHAR>> data = PendingOperationsData();
  if (!data) return deletions;
  const std::vector<qm::WString> items = MultiStrings(*data);
  const qm::WString prefix = qm::Widen(kNtPrefix);
  for (size_t i = 0; i + 1 < items.size(); i += 2) {
    const qm::WString& source = items[i];
    if (!items[i + 1].empty() || source.compare(0, prefix.size(), prefix) != 0) continue;
    deletions.push_back(source.substr(prefix.size()));
  }
  return deletions;
}

bool AnyLeft(const std::vector<ItemLook>& items) {
  return std::any_of(items.begin(), items.end(),
                     [](const ItemLook& i) { return i.presence != Presence::Absent; });
}

bool AnyPresent(const std::vector<ItemLook>& items) {
  return std::any_of(items.begin(), items.end(),
                     [](const ItemLook& i) { return i.presence == Presence::Present; });
}

bool AnyGoesAtRestart(const std::vector<ItemLook>& items) {
  return std::any_of(items.begin(), items.end(),
                     [](const ItemLook& i) { return i.presence == Presence::GoesAtRestart; });
}

}  // namespace cleanup
