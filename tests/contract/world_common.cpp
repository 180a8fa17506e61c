// Helpers of both worlds, written over the Win32 calls alone.
#include <string>

#include "platform/raii.h"
#include "platform/text.h"
#include "tests/contract/world.h"

namespace contract {

namespace {

LONG DeleteKeyTreeW(HKEY root, const qm::WString& path) {
  qm::unique_hkey key;
  LONG rc = RegOpenKeyExW(root, path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS | DELETE, key.put());
  if (rc != ERROR_SUCCESS) return rc;
  for (;;) {
    WCHAR name[256];
    DWORD length = sizeof(name) / sizeof(name[0]);
    rc = RegEnumKeyExW(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) return rc;
    rc = DeleteKeyTreeW(key.get(), qm::WString(name, length));
    if (rc != ERROR_SUCCESS) return rc;
  }
  key.reset();
  return RegDeleteKeyW(root, path.c_str());
}

}  // namespace

LONG DeleteKeyTree(HKEY root, const std::string& path) {
  return DeleteKeyTreeW(root, qm::Widen(path));
}

}  // namespace contract
