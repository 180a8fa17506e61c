// Emptying the product's folders. Nothing here raises or shows anything.
//
// Every path is a wide name as Windows holds it; a name becomes bytes only for its log line
// (qm::Narrow), and no path is ever rebuilt from a log line.
#pragma once

#include <string>

#include "cleanup/run.h"
#include "platform/raii.h"
#include "platform/text.h"
#include "platform/win32/win32.h"

namespace cleanup {

// Results of emptying a folder, with the numbers the log and the stage's mark go by.
enum class DirectoryResult {
  Emptied = 0,         // every folder of the tree was listed and every file deleted
  ListingFailed = 400, // a folder of the tree could not be listed (or not safely entered)
  NoFileFound = 401,   // the files stage's own rule: no plain file met in this or any earlier folder
  FileNotDeleted = 402 // a file of the tree could not be deleted
};

// Deletes every file and sub-directory below `directory` (which ends with a backslash),
// depth first, in listing order; the directory itself stays. A file's attributes are cleared
// first only when it has no other name (ClearOwnFileAttributes). Each plain file met adds one
// to `fileCounter` (deleted or not) and one line to `deletedFiles`: "  " + path + " ...OK" or
// " ...FALLO", the path written through qm::Narrow ('?' for what the code page lacks).
// Sub-directories get no line, and one that cannot be removed simply stays. A tree of any
// depth is walked: a path past MAX_PATH is handed to Windows in qm::FileCallPath's form, and
// its line shows it as it is.
//
// Reparse points (junctions, mount points, symbolic links) are removed without being
// traversed: a directory link is removed with RemoveDirectoryW and gets no line, a file link
// is deleted with DeleteFileW and gets its file line; what a link points to is never listed,
// changed or deleted. A sub-directory is entered only through a handle (PinFolder) that shows
// it is still a plain directory and that stays open, refusing deletion and renaming, until its
// contents are gone; one that became a link after it was listed is removed as a link.
//
// Answers Emptied, or the result of the last failure in walk order: ListingFailed when a
// directory of the tree could not be listed or pinned, FileNotDeleted when a file could not be
// deleted. An empty path answers Emptied and touches nothing. Turns the message pump at every
// directory level, before every sub-directory and after every file. The caller should hold
// `directory` pinned itself (see PinFolder).
DirectoryResult DeleteDirectoryContents(const qm::WString& directory, StringList& deletedFiles,
                                        int& fileCounter);

// Sets the attributes of `path` to archive only, so that read-only, hidden and system
// entries can be deleted. The outcome is ignored.
void ClearFileAttributes(const qm::WString& path);

// The file, folder or link `path` itself (FILE_FLAG_OPEN_REPARSE_POINT |
// FILE_FLAG_BACKUP_SEMANTICS: a link is opened as the link, never as what it leads to), for
// `rights`, sharing everything, so that a program holding it keeps it. With the default rights
// the open also succeeds where the object's own list refuses listing (reading attributes is
// granted through the parent's listing right). Invalid when it cannot be opened.
qm::unique_file OpenItself(const qm::WString& path, DWORD rights = FILE_READ_ATTRIBUTES);

// How many names (hard links) the file or folder `path` has, read from a handle on the name
// itself (OpenItself), so a link at the name is never followed; 0 when it cannot be opened.
DWORD LinkCountOf(const qm::WString& path);

// ClearFileAttributes for a file whose attributes are its own: only when `path` is the file's
// one name. A file's attributes belong to all its names, and the others may lie outside the
// product; with more than one name (or an unknown count) they stay, and a read-only file then
// cannot be deleted by this name (Windows refuses to delete any name of a read-only file).
void ClearOwnFileAttributes(const qm::WString& path);

// True for the "." and ".." entries a folder's listing reports besides its contents.
bool IsDotEntry(const WCHAR* name);

// True when `attributes` (as GetFileAttributesW, a listing or a handle report them) mark a
// reparse point.
inline bool IsReparsePoint(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// True when `folder` (with or without its final backslash) is an existing directory or
// directory link, as GetFileAttributesW reports it without following a final link.
bool FolderExists(const qm::WString& folder);

// What a folder is, read from a handle to the folder itself (never through a link).
enum class FolderKind {
  Directory,  // a plain directory; the handle stays open and pins it
  Link,       // a reparse point (junction, mount point, symbolic link): never entered
  Other,      // gone, a file, or not openable: nothing is known, nothing is entered
};

struct PinnedFolder {
  FolderKind kind = FolderKind::Other;
  // Open only for a Directory. While it is open the folder cannot be deleted, renamed or
  // replaced (every such operation opens it for DELETE, which this open does not share), so
  // it cannot become a link; close it (reset()) before removing the folder itself.
  qm::unique_file handle;
};

// Opens `folder` (with or without its final backslash) for FILE_LIST_DIRECTORY |
// FILE_READ_ATTRIBUTES | SYNCHRONIZE with FILE_FLAG_BACKUP_SEMANTICS |
// FILE_FLAG_OPEN_REPARSE_POINT, sharing read and write only, and asks the handle
// (GetFileInformationByHandle) whether it is a directory and whether it is a reparse point.
// The listing right is what makes the pin hold: Windows checks share modes only between opens
// that ask for data (read, write, append, execute) or delete rights. A folder the program
// may not list cannot be pinned (Other).
// `moreRights` joins the rights asked for (READ_CONTROL, to read the folder's security through
// the pin); the open fails where they are refused.
PinnedFolder PinFolder(const qm::WString& folder, DWORD moreRights = 0);

// Removes a directory link itself (RemoveDirectoryW on its name without the final
// backslash); its target is never touched. True when it went.
bool RemoveFolderLink(const qm::WString& link);

}  // namespace cleanup
