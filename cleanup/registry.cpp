#include "cleanup/registry.h"

#include "cleanup/pump.h"
#include "platform/raii.h"

namespace cleanup {
namespace {

constexpr REGSAM kTreeRights = DELETE | KEY_ENUMERATE_SUB_KEYS;
// Registry key names hold at most 255 characters, so this buffer holds any of them.
constexpr DWORD kKeyNameChars = 256;

// The first remaining sub-key of `key`: 0 and its name, 259 when none is left, else an error.
LONG FirstSubKey(HKEY key, std::string& name) {
  name.assign(kKeyNameChars, '\0');
  DWORD length = kKeyNameChars;
  const LONG code = ::RegEnumKeyExA(key, 0, &name[0], &length, nullptr, nullptr, nullptr, nullptr);
  name.resize(code == ERROR_SUCCESS ? length : 0);
  return code;
}

}  // namespace

LONG DeleteRegistryKeyTree(HKEY root, const std::string& subKey) {
  if (subKey.empty()) return ERROR_BADKEY;
  qm::unique_hkey key;
  LONG result = ::RegOpenKeyExA(root, subKey.c_str(), 0, kTreeRights, key.put());
  if (result != ERROR_SUCCESS) return result;
  // Index 0 always names the next remaining sub-key: each one found is gone before the next
  // question.
  std::string child;
  do {
    ProcessMessages();
    const LONG answer = FirstSubKey(key.get(), child);
    if (answer == ERROR_NO_MORE_ITEMS) {
      result = ::RegDeleteKeyA(root, subKey.c_str());
      break;
    }
    result = answer == ERROR_SUCCESS ? DeleteRegistryKeyTree(key.get(), child) : answer;
  } while (result == ERROR_SUCCESS);
  return result;
}

int DeleteRegistryValue(HKEY root, const std::string& subKey, const std::string& valueName) {
  qm::unique_hkey key;
  if (::RegOpenKeyExA(root, subKey.c_str(), 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS)
    return 2;
  return ::RegDeleteValueA(key.get(), valueName.c_str()) == ERROR_SUCCESS ? 0 : 1;
}

std::string ReadRegistryString(HKEY root, const std::string& subKey, const std::string& valueName) {
  qm::unique_hkey key;
  if (::RegOpenKeyExA(root, subKey.c_str(), 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS)
    return {};
  std::string bytes(MAX_PATH, '\0');
  DWORD type = REG_NONE;
  for (;;) {
    DWORD size = static_cast<DWORD>(bytes.size());
    const LONG code = ::RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &type,
                                         reinterpret_cast<BYTE*>(&bytes[0]), &size);
    if (code == ERROR_MORE_DATA) {
      // The value may grow between two questions: ask again with the size just reported.
      bytes.assign(static_cast<std::string::size_type>(size) + 1, '\0');
      continue;
    }
    if (code != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
    bytes.resize(size);
    return bytes.substr(0, bytes.find('\0'));
  }
}

}  // namespace cleanup
