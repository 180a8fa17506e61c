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

// The form of `path` to hand to a wide file function (CreateFileW, GetFileAttributesW,
// SetFileAttributesW, DeleteFileW, RemoveDirectoryW, FindFirstFileW, MoveFileExW).
//
// Windows' file functions take a path of at most MAX_PATH characters with its terminating
// zero, 259 characters, and answer ERROR_PATH_NOT_FOUND for a longer one; FindFirstFileW's
// pattern counts with its "\*". Only the "\\?\" form lifts that limit (to about 32,767
// characters), and it also turns Windows' path parsing off: "." and ".." are names, '/' is no
// separator, trailing blanks and dots are kept. So a path that fits is handed as it is, and a
// longer one, which the caller must have built already normalised (no ".", "..", '/', or name
// ending with a blank or a dot), gets the prefix: "X:\..." becomes "\\?\X:\...", a share's
// "\\server\share\..." becomes "\\?\UNC\server\share\...". Anything else (relative, already
// prefixed, a device) is handed as it is. Logs show `path`, never this form.
// (CreateDirectoryW allows MAX_PATH - 12 characters without the prefix; the engine creates no
// folder.)
inline WString FileCallPath(const WString& path) {
  if (path.size() < MAX_PATH) return path;
  const WString extended{kBackslash, kBackslash, WCHAR('?'), kBackslash};
  const bool drive = path.size() >= 3 && path[1] == WCHAR(':') && path[2] == kBackslash;
  const bool share = path.size() > 2 && path[0] == kBackslash && path[1] == kBackslash &&
                     path[2] != WCHAR('?') && path[2] != WCHAR('.');
  if (drive) return extended + path;
  if (share) return extended + WString{WCHAR('U'), WCHAR('N'), WCHAR('C')} + path.substr(1);
  return path;
}

}  // namespace qm
