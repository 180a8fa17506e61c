// The simulated registry: HKLM, HKCU, HKU and HKCR as a view of HKLM\SOFTWARE\Classes.
//
// Names compare without regard to case and keep the case they were created with. Sub-keys
// enumerate in case-insensitive alphabetical order, as the system's hives do; values in
// creation order. Every handle carries the rights it was opened with, and a deleted key's
// handles answer ERROR_KEY_DELETED.
#include <algorithm>
#include <cstring>

#include "platform/sim/state.h"

namespace sim {
namespace {

Machine::State& S() { return Machine::current().state(); }

uintptr_t Bits(HKEY h) { return reinterpret_cast<uintptr_t>(h); }

std::shared_ptr<RegKey> Child(const std::shared_ptr<RegKey>& key, const std::string& name) {
  auto it = key->children.find(Upper(name));
  return it == key->children.end() ? nullptr : it->second;
}

std::shared_ptr<RegKey> RootKey(Machine::State& s, HKEY root) {
  if (root == HKEY_LOCAL_MACHINE) return s.hklm;
  if (root == HKEY_CURRENT_USER) return s.hkcu;
  if (root == HKEY_USERS) return s.hku;
  if (root == HKEY_CLASSES_ROOT) {
    auto software = Child(s.hklm, "SOFTWARE");
    return software ? Child(software, "Classes") : nullptr;
  }
  return nullptr;
}

bool IsPredefined(HKEY h) {
  return h == HKEY_LOCAL_MACHINE || h == HKEY_CURRENT_USER || h == HKEY_USERS ||
         h == HKEY_CLASSES_ROOT;
}

// The key behind a handle and the rights it grants, or an error code.
struct Resolved {
  std::shared_ptr<RegKey> key;
  REGSAM access = 0;
  LONG error = ERROR_SUCCESS;
};

Resolved Resolve(Machine::State& s, HKEY h) {
  Resolved r;
  if (IsPredefined(h)) {
    r.key = RootKey(s, h);
    r.access = KEY_ALL_ACCESS;
    if (!r.key) r.error = ERROR_FILE_NOT_FOUND;
    return r;
  }
  auto it = s.keys.find(Bits(h));
  if (it == s.keys.end()) {
    r.error = ERROR_INVALID_HANDLE;
    return r;
  }
  r.key = it->second.key;
  r.access = it->second.access;
  if (r.key->deleted) r.error = ERROR_KEY_DELETED;
  return r;
}

REGSAM MapGeneric(REGSAM sam) {
  REGSAM out = sam & ~static_cast<REGSAM>(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE |
                                          GENERIC_ALL | MAXIMUM_ALLOWED);
  if (sam & GENERIC_READ) out |= KEY_READ;
  if (sam & GENERIC_WRITE) out |= KEY_WRITE;
  if (sam & GENERIC_EXECUTE) out |= KEY_EXECUTE;
  if (sam & (GENERIC_ALL | MAXIMUM_ALLOWED)) out |= KEY_ALL_ACCESS;
  return out;
}

// Walks a relative path; stops at the first missing level.
std::shared_ptr<RegKey> Walk(std::shared_ptr<RegKey> key, const std::string& path) {
  for (const std::string& part : SplitPath(path)) {
    key = Child(key, part);
    if (!key) return nullptr;
  }
  return key;
}

std::shared_ptr<RegKey> WalkCreating(std::shared_ptr<RegKey> key, const std::string& path,
                                     bool* created) {
  for (const std::string& part : SplitPath(path)) {
    auto next = Child(key, part);
    if (!next) {
      next = std::make_shared<RegKey>();
      next->name = part;
      next->parent = key.get();
      key->children[Upper(part)] = next;
      if (created) *created = true;
    }
    key = next;
  }
  return key;
}

HKEY NewKeyHandle(Machine::State& s, std::shared_ptr<RegKey> key, REGSAM access) {
  void* h = s.NewHandle();
  s.keys[reinterpret_cast<uintptr_t>(h)] = KeyHandle{std::move(key), access};
  return static_cast<HKEY>(h);
}

// Copies a name into a caller's character buffer: ERROR_MORE_DATA when it and its zero do not
// fit, the count written back (without the zero) when they do.
LONG CopyName(const std::string& name, LPSTR buffer, LPDWORD count) {
  if (count == nullptr) return ERROR_INVALID_PARAMETER;
  if (name.size() + 1 > *count || buffer == nullptr) return ERROR_MORE_DATA;
  std::memcpy(buffer, name.c_str(), name.size() + 1);
  *count = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

// Copies value bytes the way RegQueryValueExA does: the needed size is always written back.
LONG CopyData(const std::string& data, LPBYTE buffer, LPDWORD size) {
  if (size == nullptr) return buffer == nullptr ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
  const DWORD needed = static_cast<DWORD>(data.size());
  if (buffer == nullptr) {
    *size = needed;
    return ERROR_SUCCESS;
  }
  if (*size < needed) {
    *size = needed;
    return ERROR_MORE_DATA;
  }
  if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
  *size = needed;
  return ERROR_SUCCESS;
}

void MarkDeleted(const std::shared_ptr<RegKey>& key) {
  for (auto& child : key->children) MarkDeleted(child.second);
  key->children.clear();
  key->deleted = true;
}

}  // namespace

RegValue* RegKey::FindValue(const std::string& valueName) {
  for (RegValue& v : values)
    if (EqualNoCase(v.name, valueName)) return &v;
  return nullptr;
}

std::shared_ptr<RegKey> RegistryKeyAt(Machine::State& s, HKEY root, const std::string& path) {
  auto key = RootKey(s, root);
  return key ? Walk(key, path) : nullptr;
}

void RegistryDeleteTree(const std::shared_ptr<RegKey>& key) {
  if (!key || key->deleted) return;
  RegKey* parent = key->parent;
  MarkDeleted(key);
  if (parent) parent->children.erase(Upper(key->name));
}

// ---- Machine: registry set-up and inspection

void Machine::CreateKey(HKEY root, const std::string& path) {
  auto key = RootKey(*state_, root);
  if (key) WalkCreating(key, path, nullptr);
}

void Machine::SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                       const std::string& bytes) {
  CreateKey(root, path);
  auto key = RegistryKeyAt(*state_, root, path);
  if (!key) return;
  if (RegValue* v = key->FindValue(name)) {
    v->type = type;
    v->data = bytes;
  } else {
    key->values.push_back(RegValue{name, type, bytes});
  }
}

void Machine::SetString(HKEY root, const std::string& path, const std::string& name,
                        const std::string& text) {
  SetValue(root, path, name, REG_SZ, std::string(text.c_str(), text.size() + 1));
}

void Machine::SetDword(HKEY root, const std::string& path, const std::string& name,
                       DWORD value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  SetValue(root, path, name, REG_DWORD, bytes);
}

bool Machine::KeyExists(HKEY root, const std::string& path) const {
  return RegistryKeyAt(*state_, root, path) != nullptr;
}

bool Machine::ValueExists(HKEY root, const std::string& path, const std::string& name) const {
  auto key = RegistryKeyAt(*state_, root, path);
  return key && key->FindValue(name) != nullptr;
}

std::string Machine::ValueBytes(HKEY root, const std::string& path,
                                const std::string& name) const {
  auto key = RegistryKeyAt(*state_, root, path);
  RegValue* v = key ? key->FindValue(name) : nullptr;
  return v ? v->data : std::string();
}

std::vector<std::string> Machine::SubKeyNames(HKEY root, const std::string& path) const {
  std::vector<std::string> names;
  if (auto key = RegistryKeyAt(*state_, root, path))
    for (auto& child : key->children) names.push_back(child.second->name);
  return names;
}

void Machine::DenyKeyOpen(HKEY root, const std::string& path) {
  CreateKey(root, path);
  if (auto key = RegistryKeyAt(*state_, root, path)) key->denyOpen = true;
}

void Machine::DenyKeyDelete(HKEY root, const std::string& path) {
  CreateKey(root, path);
  if (auto key = RegistryKeyAt(*state_, root, path)) key->denyDelete = true;
}

int Machine::OpenKeyHandles() const { return static_cast<int>(state_->keys.size()); }

}  // namespace sim

using sim::Resolved;

// ---- Win32: registry

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired,
                             PHKEY phkResult) {
  auto& s = sim::S();
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  Resolved parent = sim::Resolve(s, hKey);
  if (parent.error != ERROR_SUCCESS) return parent.error;
  const std::string path = lpSubKey ? lpSubKey : "";
  if (!path.empty() && (path[0] == '\\')) return ERROR_BAD_PATHNAME;
  auto key = sim::Walk(parent.key, path);
  if (!key) return ERROR_FILE_NOT_FOUND;
  if (key->denyOpen) return ERROR_ACCESS_DENIED;
  *phkResult = sim::NewKeyHandle(s, key, sim::MapGeneric(samDesired));
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM samDesired,
                               const SECURITY_ATTRIBUTES*, PHKEY phkResult,
                               LPDWORD lpdwDisposition) {
  auto& s = sim::S();
  if (phkResult == nullptr || lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  Resolved parent = sim::Resolve(s, hKey);
  if (parent.error != ERROR_SUCCESS) return parent.error;
  const std::string path = lpSubKey;
  if (!path.empty() && path[0] == '\\') return ERROR_BAD_PATHNAME;
  auto existing = sim::Walk(parent.key, path);
  if (existing && existing->denyOpen) return ERROR_ACCESS_DENIED;
  if (!existing && !(parent.access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
  bool created = false;
  auto key = existing ? existing : sim::WalkCreating(parent.key, path, &created);
  if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *phkResult = sim::NewKeyHandle(s, key, sim::MapGeneric(samDesired));
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
  if (!sim::Machine::exists()) return ERROR_SUCCESS;
  if (sim::IsPredefined(hKey)) return ERROR_SUCCESS;
  auto& keys = sim::S().keys;
  return keys.erase(sim::Bits(hKey)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD,
                             LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
  Resolved r = sim::Resolve(sim::S(), hKey);
  if (r.error != ERROR_SUCCESS) return r.error;
  if (!(r.access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
  if (dwIndex >= r.key->children.size()) return ERROR_NO_MORE_ITEMS;
  auto it = r.key->children.begin();
  std::advance(it, dwIndex);
  LONG rc = sim::CopyName(it->second->name, lpName, lpcchName);
  if (rc != ERROR_SUCCESS) return rc;
  if (lpClass && lpcchClass && *lpcchClass > 0) {
    lpClass[0] = '\0';
    *lpcchClass = 0;
  }
  if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{0, 0};
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  auto& s = sim::S();
  if (lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
  Resolved parent = sim::Resolve(s, hKey);
  if (parent.error != ERROR_SUCCESS) return parent.error;
  std::shared_ptr<sim::RegKey> key;
  if (*lpSubKey == '\0') {
    // An empty path names the key of the handle itself, which must grant DELETE.
    if (sim::IsPredefined(hKey) || !(parent.access & DELETE)) return ERROR_ACCESS_DENIED;
    key = parent.key;
  } else {
    key = sim::Walk(parent.key, lpSubKey);
    if (!key) return ERROR_FILE_NOT_FOUND;
    if (key->denyOpen) return ERROR_ACCESS_DENIED;
  }
  if (key->denyDelete || !key->children.empty() || key->parent == nullptr)
    return ERROR_ACCESS_DENIED;
  sim::RegistryDeleteTree(key);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  Resolved r = sim::Resolve(sim::S(), hKey);
  if (r.error != ERROR_SUCCESS) return r.error;
  if (!(r.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  const std::string name = lpValueName ? lpValueName : "";
  auto& values = r.key->values;
  auto it = std::find_if(values.begin(), values.end(),
                         [&](const sim::RegValue& v) { return sim::EqualNoCase(v.name, name); });
  if (it == values.end()) return ERROR_FILE_NOT_FOUND;
  values.erase(it);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData) {
  Resolved r = sim::Resolve(sim::S(), hKey);
  if (r.error != ERROR_SUCCESS) return r.error;
  if (!(r.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  if (lpData != nullptr && lpcbData == nullptr) return ERROR_INVALID_PARAMETER;
  const sim::RegValue* v = r.key->FindValue(lpValueName ? lpValueName : "");
  if (v == nullptr) return ERROR_FILE_NOT_FOUND;
  if (lpType) *lpType = v->type;
  return sim::CopyData(v->data, lpData, lpcbData);
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType,
                              const BYTE* lpData, DWORD cbData) {
  Resolved r = sim::Resolve(sim::S(), hKey);
  if (r.error != ERROR_SUCCESS) return r.error;
  if (!(r.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  if (lpData == nullptr && cbData != 0) return ERROR_INVALID_PARAMETER;
  std::string bytes(reinterpret_cast<const char*>(lpData), lpData ? cbData : 0);
  const std::string name = lpValueName ? lpValueName : "";
  if (sim::RegValue* v = r.key->FindValue(name)) {
    v->type = dwType;
    v->data = bytes;
  } else {
    r.key->values.push_back(sim::RegValue{name, dwType, bytes});
  }
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                             LPDWORD, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  Resolved r = sim::Resolve(sim::S(), hKey);
  if (r.error != ERROR_SUCCESS) return r.error;
  if (!(r.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  if (dwIndex >= r.key->values.size()) return ERROR_NO_MORE_ITEMS;
  const sim::RegValue& v = r.key->values[dwIndex];
  LONG rc = sim::CopyName(v.name, lpValueName, lpcchValueName);
  if (rc != ERROR_SUCCESS) return rc;
  if (lpType) *lpType = v.type;
  return sim::CopyData(v.data, lpData, lpcbData);
}

LSTATUS WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD,
                                LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                                LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen,
                                LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                                PFILETIME lpftLastWriteTime) {
  Resolved r = sim::Resolve(sim::S(), hKey);
  if (r.error != ERROR_SUCCESS) return r.error;
  if (!(r.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  size_t maxSub = 0, maxName = 0, maxData = 0;
  for (auto& child : r.key->children) maxSub = std::max(maxSub, child.second->name.size());
  for (auto& v : r.key->values) {
    maxName = std::max(maxName, v.name.size());
    maxData = std::max(maxData, v.data.size());
  }
  if (lpClass && lpcchClass && *lpcchClass > 0) lpClass[0] = '\0';
  if (lpcchClass) *lpcchClass = 0;
  if (lpcSubKeys) *lpcSubKeys = static_cast<DWORD>(r.key->children.size());
  if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = static_cast<DWORD>(maxSub);
  if (lpcbMaxClassLen) *lpcbMaxClassLen = 0;
  if (lpcValues) *lpcValues = static_cast<DWORD>(r.key->values.size());
  if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = static_cast<DWORD>(maxName);
  if (lpcbMaxValueLen) *lpcbMaxValueLen = static_cast<DWORD>(maxData);
  if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;
  if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{0, 0};
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegConnectRegistryA(LPCSTR lpMachineName, HKEY hKey, PHKEY phkResult) {
  auto& s = sim::S();
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  if (lpMachineName != nullptr && *lpMachineName != '\0') return ERROR_BAD_NETPATH;
  if (hKey != HKEY_LOCAL_MACHINE && hKey != HKEY_USERS) return ERROR_INVALID_HANDLE;
  *phkResult = sim::NewKeyHandle(s, sim::RootKey(s, hKey), KEY_ALL_ACCESS);
  return ERROR_SUCCESS;
}
