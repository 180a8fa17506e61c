#include "cleanup/verify.h"

#include <algorithm>

#include "cleanup/log.h"
#include "cleanup/plan.h"
#include "cleanup/processes.h"
#include "platform/fs_redirection.h"
#include "platform/raii.h"
#include "platform/win32/win32.h"

namespace cleanup {
namespace {

const char* const kServicePrefix = "Servicio ";
const char* const kProcessPrefix = "Proceso ";

const std::string kServicesKey = "SYSTEM\\CurrentControlSet\\Services\\";

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

bool Scheduled(const RunKnowledge& known, const qm::WString& path) {
  return std::find(known.scheduledAtRestart.begin(), known.scheduledAtRestart.end(), path) !=
         known.scheduledAtRestart.end();
}

// A folder is looked at without its final backslash, so a link reports itself.
qm::WString Bare(const qm::WString& path) {
  if (path.size() > 3 && path.back() == WCHAR('\\')) return path.substr(0, path.size() - 1);
  return path;
}

Presence PathPresence(const qm::WString& path, const RunKnowledge& known) {
  const qm::WString bare = Bare(path);
  if (GetFileAttributesW(bare.c_str()) == INVALID_FILE_ATTRIBUTES && Missing(GetLastError()))
    return Presence::Absent;
  return Scheduled(known, bare) ? Presence::GoesAtRestart : Presence::Present;
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
  for (const qm::WString& folder : places.folders)
    items.push_back({qm::Narrow(folder), PathPresence(folder, known)});
  // Looked at in the real system folder, as the files stage deleted it.
  items.push_back({qm::Narrow(places.driverFile), qm::WithoutFsRedirection([&] {
                     return PathPresence(places.driverFile, known);
                   })});
  return items;
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
