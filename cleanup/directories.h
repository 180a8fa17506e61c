// Emptying the product's folders. Nothing here raises or shows anything.
#pragma once

#include <string>

#include "cleanup/run.h"
#include "platform/win32/win32.h"

namespace cleanup {

// Result codes of DeleteDirectoryContents.
constexpr int kDirectoryEmptied = 0;
constexpr int kListingFailed = 400;
constexpr int kFileNotDeleted = 402;

// Deletes every file and sub-directory below `directory` (which ends with a backslash),
// depth first, in listing order; the directory itself stays. Each plain file met adds one to
// `fileCounter` (deleted or not) and one line to `deletedFiles`: "  " + path + " ...OK" or
// " ...FALLO". Sub-directories get no line, and one that cannot be removed simply stays.
//
// Reparse points (junctions, mount points, symbolic links) are removed without being
// traversed: a directory link is removed with RemoveDirectoryA and gets no line, a file link
// is deleted with DeleteFileA and gets its file line; what a link points to is never listed,
// changed or deleted.
//
// Answers 0, or the code of the last failure in walk order: 400 when a directory of the tree
// could not be listed, 402 when a file could not be deleted. An empty path answers 0 and
// touches nothing. Turns the message pump at every directory level, before every
// sub-directory and after every file.
int DeleteDirectoryContents(const std::string& directory, StringList& deletedFiles,
                            int& fileCounter);

// Sets the attributes of `path` to archive only, so that read-only, hidden and system
// entries can be deleted. The outcome is ignored.
void ClearFileAttributes(const std::string& path);

// True when `attributes` (as GetFileAttributesA or a listing reports them) mark a reparse
// point.
inline bool IsReparsePoint(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace cleanup
