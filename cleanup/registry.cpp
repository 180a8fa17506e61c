#include "cleanup/registry.h"

#include "cleanup/pump.h"
#include "platform/raii.h"

namespace cleanup {
namespace {

constexpr REGSAM kTreeRights = DELETE | KEY_ENUMERATE_SUB_KEYS;
// Registry key names hold at most 255 characters, so this buffer holds any of them.
constexpr DWORD kKeyNameChars = 256;

// The first remaining sub-key of `key`: 0 and its name, 259 when none is left, else an error.
LONG FirstSubKey(HKEY key, qm::WString& name) {
  name.assign(kKeyNameChars, WCHAR{});
  DWORD length = kKeyNameChars;
  const LONG code = ::RegEnumKeyExW(key, 0, &name[0], &length, nullptr, nullptr, nullptr, nullptr);
  name.resize(code == ERROR_SUCCESS ? length : 0);
  return code;
}

KeyTreeResult AsResult(LONG code) { return static_cast<KeyTreeResult>(code); }

}  // namespace

KeyTreeResult DeleteRegistryKeyTree(HKEY root, const qm::WString& subKey) {
  if (subKey.empty()) return KeyTreeResult::BadKey;
  qm::unique_hkey key;
  LONG result = ::RegOpenKeyExW(root, subKey.c_str(), 0, kTreeRights, key.put());
  if (result != ERROR_SUCCESS) return AsResult(result);
  // Index 0 always names the next remaining sub-key: each one found is gone before the next
  // question.
  qm::WString child;
  do {
    ProcessMessages();
    const LONG answer = FirstSubKey(key.get(), child);
    if (answer == ERROR_NO_MORE_ITEMS) {
      result = ::RegDeleteKeyW(root, subKey.c_str());
      break;
    }
    result = answer == ERROR_SUCCESS
                 ? static_cast<LONG>(DeleteRegistryKeyTree(key.get(), child))
                 : answer;
  } while (result == ERROR_SUCCESS);
  return AsResult(result);
}

ValueResult DeleteRegistryValue(HKEY root, const qm::WString& subKey,
                                const qm::WString& valueName) {
  qm::unique_hkey key;
  if (::RegOpenKeyExW(root, subKey.c_str(), 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS)
    return ValueResult::KeyNotOpened;
  return ::RegDeleteValueW(key.get(), valueName.c_str()) == ERROR_SUCCESS
             ? ValueResult::Deleted
             : ValueResult::NotDeleted;
}

LONG QueryRegistryKey(HKEY root, const qm::WString& subKey) {
  qm::unique_hkey key;
  return ::RegOpenKeyExW(root, subKey.c_str(), 0, KEY_READ, key.put());
}

LONG QueryRegistryValue(HKEY root, const qm::WString& subKey, const qm::WString& valueName) {
  qm::unique_hkey key;
  const LONG opened = ::RegOpenKeyExW(root, subKey.c_str(), 0, KEY_READ, key.put());
  if (opened != ERROR_SUCCESS) return opened;
  return ::RegQueryValueExW(key.get(), valueName.c_str(), nullptr, nullptr, nullptr, nullptr);
}

qm::WString ReadRegistryString(HKEY root, const qm::WString& subKey, const qm::WString& valueName) {
  qm::unique_hkey key;
  if (::RegOpenKeyExW(root, subKey.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return {};
  qm::WString text(MAX_PATH, WCHAR{});
  DWORD type = REG_NONE;
  for (;;) {
    DWORD size = static_cast<DWORD>(text.size() * sizeof(WCHAR));
    const LONG code = ::RegQueryValueExW(key.get(), valueName.c_str(), nullptr, &type,
                                         reinterpret_cast<BYTE*>(&text[0]), &size);
    if (code == ERROR_MORE_DATA) {
      // The value may grow between two questions: ask again with the size just reported.
      text.assign(size / sizeof(WCHAR) + 1, WCHAR{});
      continue;
    }
    if (code != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
    text.resize(size / sizeof(WCHAR));  // an odd last byte is no character
    return text.substr(0, text.find(WCHAR{}));
  }
}

}  // namespace cleanup
