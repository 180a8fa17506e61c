// Small facts about Windows paths held as wide text, one helper per fact.
#pragma once

#include "platform/text.h"

namespace qm {

inline constexpr WCHAR kBackslash = WCHAR('\\');

// `path` without one final backslash, if it has one. A drive root ("C:\") keeps its backslash:
// without it, "C:" names the drive's current folder.
inline WString WithoutFinalBackslash(WString path) {
  if (path.size() > 3 && path.back() == kBackslash) path.pop_back();
  return path;
}

// `path` without any of its final backslashes.
inline WString WithoutFinalBackslashes(WString path) {
  while (!path.empty() && path.back() == kBackslash) path.pop_back();
  return path;
}

// `path` with exactly one final backslash added when it has none.
inline WString WithFinalBackslash(WString path) {
  if (path.empty() || path.back() != kBackslash) path += kBackslash;
  return path;
}

}  // namespace qm
