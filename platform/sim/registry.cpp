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

std::shared_ptr<RegKey> Child(const std::shared_ptr<RegKey>& key, const std::u16string& name) {
  auto it = key->children.find(UpperW(name));
  return it == key->children.end() ? nullptr : it->second;
}

std::shared_ptr<RegKey> RootKey(Machine::State& s, HKEY root) {
  if (root == HKEY_LOCAL_MACHINE) return s.hklm;
  if (root == HKEY_CURRENT_USER) return s.hkcu;
  if (root == HKEY_USERS) return s.hku;
  if (root == HKEY_CLASSES_ROOT) {
    auto software = Child(s.hklm, u"SOFTWARE");
    return software ? Child(software, u"Classes") : nullptr;
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
std::shared_ptr<RegKey> Walk(std::shared_ptr<RegKey> key, const std::u16string& path) {
  for (const std::u16string& part : SplitPathW(path)) {
    key = Child(key, part);
    if (!key) return nullptr;
  }
  return key;
}

std::shared_ptr<RegKey> WalkCreating(std::shared_ptr<RegKey> key, const std::u16string& path,
                                     bool* created) {
  for (const std::u16string& part : SplitPathW(path)) {
    auto next = Child(key, part);
    if (!next) {
      next = std::make_shared<RegKey>();
      next->name = part;
      next->parent = key.get();
      key->children[UpperW(part)] = next;
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
template <typename Char>
LONG CopyName(const std::basic_string<Char>& name, Char* buffer, LPDWORD count) {
  if (count == nullptr) return ERROR_INVALID_PARAMETER;
  if (name.size() + 1 > *count || buffer == nullptr) return ERROR_MORE_DATA;
  std::memcpy(buffer, name.c_str(), (name.size() + 1) * sizeof(Char));
  *count = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

// A name as the narrow functions show it: the code page with its best-fit mapping.
std::string Shown(const std::u16string& name) { return ToAnsi(name, true); }

std::u16string UnitsOf(const std::string& bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  if (!units.empty()) std::memcpy(&units[0], bytes.data(), units.size() * 2);
  return units;
}

std::string BytesOf(const std::u16string& units) {
  return std::string(reinterpret_cast<const char*>(units.data()), units.size() * 2);
}

// Data as RegSetValueExA hands it to the registry: string types widened through the code page.
std::string StoredFromAnsi(DWORD type, const std::string& bytes) {
  return IsStringType(type) ? BytesOf(FromAnsi(bytes)) : bytes;
}

// Data as RegQueryValueExA reads it: string types narrowed through the code page.
std::string AnsiFromStored(DWORD type, const std::string& data) {
  return IsStringType(type) ? ToAnsi(UnitsOf(data), true) : data;
}

// The same three through the machine's ANSI code page, as the narrow functions convert.
std::string ShownAcp(const std::u16string& name) { return ToAcp(name, true); }
std::string StoredFromAcp(DWORD type, const std::string& bytes) {
  return IsStringType(type) ? BytesOf(FromAcp(bytes)) : bytes;
}
std::string AcpFromStored(DWORD type, const std::string& data) {
  return IsStringType(type) ? ToAcp(UnitsOf(data), true) : data;
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

bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

RegValue* RegKey::FindValue(const std::u16string& valueName) {
  for (RegValue& v : values)
    if (EqualNoCaseW(v.name, valueName)) return &v;
  return nullptr;
}

std::shared_ptr<RegKey> RegistryKeyAtW(Machine::State& s, HKEY root, const std::u16string& path) {
  auto key = RootKey(s, root);
  return key ? Walk(key, path) : nullptr;
}

std::shared_ptr<RegKey> RegistryKeyAt(Machine::State& s, HKEY root, const std::string& path) {
  return RegistryKeyAtW(s, root, FromAnsi(path));
}

void RegistryDeleteTree(const std::shared_ptr<RegKey>& key) {
  if (!key || key->deleted) return;
  RegKey* parent = key->parent;
  MarkDeleted(key);
  if (parent) parent->children.erase(UpperW(key->name));
}

// ---- Machine: registry set-up and inspection. The narrow forms read names and string data
// as the code page's characters, as the "A" functions do.

void Machine::CreateKey(HKEY root, const std::string& path) { CreateKeyW(root, FromAnsi(path)); }

void Machine::CreateKeyW(HKEY root, const std::u16string& path) {
  auto key = RootKey(*state_, root);
  if (key) WalkCreating(key, path, nullptr);
}

void Machine::SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                       const std::string& bytes) {
  SetValueW(root, FromAnsi(path), FromAnsi(name), type, StoredFromAnsi(type, bytes));
}

void Machine::SetValueW(HKEY root, const std::u16string& path, const std::u16string& name,
                        DWORD type, const std::string& bytes) {
  CreateKeyW(root, path);
  auto key = RegistryKeyAtW(*state_, root, path);
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

void Machine::SetStringW(HKEY root, const std::u16string& path, const std::u16string& name,
                         const std::u16string& text, DWORD type) {
  std::u16string units = text + u'\0';
  if (type == REG_MULTI_SZ) units += u'\0';
  SetValueW(root, path, name, type, BytesOf(units));
}

void Machine::SetDword(HKEY root, const std::string& path, const std::string& name,
                       DWORD value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  SetValue(root, path, name, REG_DWORD, bytes);
}

bool Machine::KeyExists(HKEY root, const std::string& path) const {
  return KeyExistsW(root, FromAnsi(path));
}

bool Machine::KeyExistsW(HKEY root, const std::u16string& path) const {
  return RegistryKeyAtW(*state_, root, path) != nullptr;
}

bool Machine::ValueExists(HKEY root, const std::string& path, const std::string& name) const {
  return ValueExistsW(root, FromAnsi(path), FromAnsi(name));
}

bool Machine::ValueExistsW(HKEY root, const std::u16string& path,
                           const std::u16string& name) const {
  auto key = RegistryKeyAtW(*state_, root, path);
  return key && key->FindValue(name) != nullptr;
}

std::string Machine::ValueBytes(HKEY root, const std::string& path,
                                const std::string& name) const {
  auto key = RegistryKeyAt(*state_, root, path);
  RegValue* v = key ? key->FindValue(FromAnsi(name)) : nullptr;
  return v ? AnsiFromStored(v->type, v->data) : std::string();
}

std::string Machine::ValueBytesW(HKEY root, const std::u16string& path,
                                 const std::u16string& name) const {
  auto key = RegistryKeyAtW(*state_, root, path);
  RegValue* v = key ? key->FindValue(name) : nullptr;
  return v ? v->data : std::string();
}

std::vector<std::string> Machine::SubKeyNames(HKEY root, const std::string& path) const {
  std::vector<std::string> names;
  for (const std::u16string& name : SubKeyNamesW(root, FromAnsi(path)))
    names.push_back(Shown(name));
  return names;
}

std::vector<std::u16string> Machine::SubKeyNamesW(HKEY root, const std::u16string& path) const {
  std::vector<std::u16string> names;
  if (auto key = RegistryKeyAtW(*state_, root, path))
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

void Machine::DenyKeyWrite(HKEY root, const std::string& path) {
  CreateKey(root, path);
  if (auto key = RegistryKeyAt(*state_, root, path)) key->denyWrite = true;
}

int Machine::OpenKeyHandles() const { return static_cast<int>(state_->keys.size()); }

}  // namespace sim

namespace sim {
namespace {

// An access check is all or nothing: a key that grants reading only refuses an open asking
// for any other right. The WOW64 view bits are no rights.
bool Refused(const RegKey& key, REGSAM samDesired) {
  const REGSAM rights =
      MapGeneric(samDesired) & ~static_cast<REGSAM>(KEY_WOW64_64KEY | KEY_WOW64_32KEY);
  return key.denyWrite && (rights & ~static_cast<REGSAM>(KEY_READ)) != 0;
}

LSTATUS OpenKey(HKEY hKey, const std::u16string& path, REGSAM samDesired, PHKEY phkResult) {
  auto& s = S();
  RecordOpen(s, OpenKind::Key, path, samDesired);
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  Resolved parent = Resolve(s, hKey);
  if (parent.error != ERROR_SUCCESS) return parent.error;
  if (!path.empty() && path[0] == u'\\') return ERROR_BAD_PATHNAME;
  auto key = Walk(parent.key, path);
  if (!key) return ERROR_FILE_NOT_FOUND;
  if (key->denyOpen || Refused(*key, samDesired)) return ERROR_ACCESS_DENIED;
  *phkResult = NewKeyHandle(s, key, MapGeneric(samDesired));
  return ERROR_SUCCESS;
}

LSTATUS CreateKey(HKEY hKey, const std::u16string& path, REGSAM samDesired, PHKEY phkResult,
                  LPDWORD lpdwDisposition) {
  auto& s = S();
  RecordOpen(s, OpenKind::Key, path, samDesired);
  *phkResult = nullptr;
  Resolved parent = Resolve(s, hKey);
  if (parent.error != ERROR_SUCCESS) return parent.error;
  if (!path.empty() && path[0] == u'\\') return ERROR_BAD_PATHNAME;
  auto existing = Walk(parent.key, path);
  if (existing && (existing->denyOpen || Refused(*existing, samDesired)))
    return ERROR_ACCESS_DENIED;
  if (!existing && !(parent.access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
  bool created = false;
  auto key = existing ? existing : WalkCreating(parent.key, path, &created);
  if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *phkResult = NewKeyHandle(s, key, MapGeneric(samDesired));
  return ERROR_SUCCESS;
}

// The sub-key at an index, or an error.
struct Enumerated {
  LONG error = ERROR_SUCCESS;
  const RegKey* key = nullptr;
};

Enumerated SubKeyAt(HKEY hKey, DWORD index) {
  Enumerated e;
  Resolved r = Resolve(S(), hKey);
  e.error = r.error;
  if (e.error != ERROR_SUCCESS) return e;
  if (!(r.access & KEY_ENUMERATE_SUB_KEYS)) e.error = ERROR_ACCESS_DENIED;
  else if (index >= r.key->children.size()) e.error = ERROR_NO_MORE_ITEMS;
  if (e.error != ERROR_SUCCESS) return e;
  auto it = r.key->children.begin();
  std::advance(it, index);
  e.key = it->second.get();
  return e;
}

template <typename Char>
void ClearClass(Char* lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
  if (lpClass && lpcchClass && *lpcchClass > 0) {
    lpClass[0] = 0;
    *lpcchClass = 0;
  }
  if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{0, 0};
}

LSTATUS DeleteKey(HKEY hKey, const std::u16string& path) {
  auto& s = S();
  RecordOpen(s, OpenKind::Key, path, DELETE);
  Resolved parent = Resolve(s, hKey);
  if (parent.error != ERROR_SUCCESS) return parent.error;
  std::shared_ptr<RegKey> key;
  if (path.empty()) {
    // An empty path names the key of the handle itself, which must grant DELETE.
    if (IsPredefined(hKey) || !(parent.access & DELETE)) return ERROR_ACCESS_DENIED;
    key = parent.key;
  } else {
    key = Walk(parent.key, path);
    if (!key) return ERROR_FILE_NOT_FOUND;
    if (key->denyOpen) return ERROR_ACCESS_DENIED;
  }
  if (key->denyDelete || key->denyWrite || !key->children.empty() || key->parent == nullptr)
    return ERROR_ACCESS_DENIED;
  RegistryDeleteTree(key);
  return ERROR_SUCCESS;
}

LSTATUS DeleteValue(HKEY hKey, const std::u16string& name) {
  Resolved r = Resolve(S(), hKey);
  if (r.error != ERROR_SUCCESS) return r.error;
  if (!(r.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  auto& values = r.key->values;
  auto it = std::find_if(values.begin(), values.end(),
                         [&](const RegValue& v) { return EqualNoCaseW(v.name, name); });
  if (it == values.end()) return ERROR_FILE_NOT_FOUND;
  values.erase(it);
  return ERROR_SUCCESS;
}

// The value a query names, with the key's rights checked.
struct Queried {
  LONG error = ERROR_SUCCESS;
  const RegValue* value = nullptr;
};

Queried ValueNamed(HKEY hKey, const std::u16string& name, LPBYTE lpData, LPDWORD lpcbData) {
  Queried q;
  Resolved r = Resolve(S(), hKey);
  q.error = r.error;
  if (q.error != ERROR_SUCCESS) return q;
  if (!(r.access & KEY_QUERY_VALUE)) q.error = ERROR_ACCESS_DENIED;
  else if (lpData != nullptr && lpcbData == nullptr) q.error = ERROR_INVALID_PARAMETER;
  else if ((q.value = r.key->FindValue(name)) == nullptr) q.error = ERROR_FILE_NOT_FOUND;
  return q;
}

LSTATUS SetValue(HKEY hKey, const std::u16string& name, DWORD type, const std::string& bytes) {
  Resolved r = Resolve(S(), hKey);
  if (r.error != ERROR_SUCCESS) return r.error;
  if (!(r.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  if (RegValue* v = r.key->FindValue(name)) {
    v->type = type;
    v->data = bytes;
  } else {
    r.key->values.push_back(RegValue{name, type, bytes});
  }
  return ERROR_SUCCESS;
}

Queried ValueAt(HKEY hKey, DWORD index) {
  Queried q;
  Resolved r = Resolve(S(), hKey);
  q.error = r.error;
  if (q.error != ERROR_SUCCESS) return q;
  if (!(r.access & KEY_QUERY_VALUE)) q.error = ERROR_ACCESS_DENIED;
  else if (index >= r.key->values.size()) q.error = ERROR_NO_MORE_ITEMS;
  else q.value = &r.key->values[index];
  return q;
}

std::u16string NarrowArg(LPCSTR text) { return text ? FromAcp(text) : std::u16string(); }

}  // namespace
}  // namespace sim

using sim::NarrowArg;
using sim::Resolved;
using sim::WideArg;

// ---- Win32: registry. A narrow name is read as the code page's characters, and an
// enumerated name is written with the code page's best-fit mapping: a name with no
// Windows-1252 form comes back as '?'s, which name no key.

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired,
                             PHKEY phkResult) {
  return sim::OpenKey(hKey, NarrowArg(lpSubKey), samDesired, phkResult);
}

LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired,
                             PHKEY phkResult) {
  return sim::OpenKey(hKey, WideArg(lpSubKey), samDesired, phkResult);
}

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM samDesired,
                               const SECURITY_ATTRIBUTES*, PHKEY phkResult,
                               LPDWORD lpdwDisposition) {
  if (phkResult == nullptr || lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
  return sim::CreateKey(hKey, NarrowArg(lpSubKey), samDesired, phkResult, lpdwDisposition);
}

LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD,
                               REGSAM samDesired, const SECURITY_ATTRIBUTES*, PHKEY phkResult,
                               LPDWORD lpdwDisposition) {
  if (phkResult == nullptr || lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
  return sim::CreateKey(hKey, WideArg(lpSubKey), samDesired, phkResult, lpdwDisposition);
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
  if (!sim::Machine::exists()) return ERROR_SUCCESS;
  if (sim::IsPredefined(hKey)) return ERROR_SUCCESS;
  auto& keys = sim::S().keys;
  return keys.erase(sim::Bits(hKey)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD,
                             LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
  sim::Enumerated e = sim::SubKeyAt(hKey, dwIndex);
  if (e.error != ERROR_SUCCESS) return e.error;
  LONG rc = sim::CopyName(sim::ShownAcp(e.key->name), lpName, lpcchName);
  if (rc != ERROR_SUCCESS) return rc;
  sim::ClearClass(lpClass, lpcchClass, lpftLastWriteTime);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD,
                             LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
  sim::Enumerated e = sim::SubKeyAt(hKey, dwIndex);
  if (e.error != ERROR_SUCCESS) return e.error;
  LONG rc = sim::CopyName(e.key->name, lpName, lpcchName);
  if (rc != ERROR_SUCCESS) return rc;
  sim::ClearClass(lpClass, lpcchClass, lpftLastWriteTime);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  if (lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
  return sim::DeleteKey(hKey, NarrowArg(lpSubKey));
}

LSTATUS WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
  if (lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
  return sim::DeleteKey(hKey, WideArg(lpSubKey));
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  return sim::DeleteValue(hKey, NarrowArg(lpValueName));
}

LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  return sim::DeleteValue(hKey, WideArg(lpValueName));
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData) {
  sim::Queried q = sim::ValueNamed(hKey, NarrowArg(lpValueName), lpData, lpcbData);
  if (q.error != ERROR_SUCCESS) return q.error;
  if (lpType) *lpType = q.value->type;
  return sim::CopyData(sim::AcpFromStored(q.value->type, q.value->data), lpData, lpcbData);
}

LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData) {
  sim::Queried q = sim::ValueNamed(hKey, WideArg(lpValueName), lpData, lpcbData);
  if (q.error != ERROR_SUCCESS) return q.error;
  if (lpType) *lpType = q.value->type;
  return sim::CopyData(q.value->data, lpData, lpcbData);
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType,
                              const BYTE* lpData, DWORD cbData) {
  if (lpData == nullptr && cbData != 0) return ERROR_INVALID_PARAMETER;
  const std::string bytes(reinterpret_cast<const char*>(lpData), lpData ? cbData : 0);
  return sim::SetValue(hKey, NarrowArg(lpValueName), dwType, sim::StoredFromAcp(dwType, bytes));
}

LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType,
                              const BYTE* lpData, DWORD cbData) {
  if (lpData == nullptr && cbData != 0) return ERROR_INVALID_PARAMETER;
  const std::string bytes(reinterpret_cast<const char*>(lpData), lpData ? cbData : 0);
  return sim::SetValue(hKey, WideArg(lpValueName), dwType, bytes);
}

LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                             LPDWORD, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  sim::Queried q = sim::ValueAt(hKey, dwIndex);
  if (q.error != ERROR_SUCCESS) return q.error;
  LONG rc = sim::CopyName(sim::ShownAcp(q.value->name), lpValueName, lpcchValueName);
  if (rc != ERROR_SUCCESS) return rc;
  if (lpType) *lpType = q.value->type;
  return sim::CopyData(sim::AcpFromStored(q.value->type, q.value->data), lpData, lpcbData);
}

LSTATUS WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                             LPDWORD, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  sim::Queried q = sim::ValueAt(hKey, dwIndex);
  if (q.error != ERROR_SUCCESS) return q.error;
  LONG rc = sim::CopyName(q.value->name, lpValueName, lpcchValueName);
  if (rc != ERROR_SUCCESS) return rc;
  if (lpType) *lpType = q.value->type;
  return sim::CopyData(q.value->data, lpData, lpcbData);
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
