// Helpers of both worlds, written over the Win32 calls alone.
#include <string>

#include "platform/raii.h"
#include "tests/contract/world.h"

namespace contract {

LONG DeleteKeyTree(HKEY root, const std::string& path) {
  qm::unique_hkey key;
  LONG rc = RegOpenKeyExA(root, path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS | DELETE, key.put());
  if (rc != ERROR_SUCCESS) return rc;
  for (;;) {
    char name[256];
    DWORD length = sizeof(name);
    rc = RegEnumKeyExA(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) return rc;
    rc = DeleteKeyTree(key.get(), name);
    if (rc != ERROR_SUCCESS) return rc;
  }
  key.reset();
  return RegDeleteKeyA(root, path.c_str());
}

}  // namespace contract
