// The engine's wide operations called with the tests' byte texts (widened as the run widens
// the plan's texts), answering plain codes and log bytes for the tests' tables.
#pragma once

#include <string>

#include "cleanup/registry.h"
#include "cleanup/run.h"

namespace regbytes {

inline LONG DeleteTree(HKEY root, const std::string& path) {
  return static_cast<LONG>(cleanup::DeleteRegistryKeyTree(root, qm::Widen(path)));
}
inline int DeleteValue(HKEY root, const std::string& path, const std::string& value) {
  return static_cast<int>(cleanup::DeleteRegistryValue(root, qm::Widen(path), qm::Widen(value)));
}
inline std::string ReadString(HKEY root, const std::string& path, const std::string& value) {
  return qm::Narrow(cleanup::ReadRegistryString(root, qm::Widen(path), qm::Widen(value)));
}

// Names as the log writes them.
inline cleanup::StringList NarrowAll(const cleanup::WStringList& names) {
  cleanup::StringList bytes;
  for (const qm::WString& name : names) bytes.push_back(qm::Narrow(name));
  return bytes;
}

}  // namespace regbytes
