// The install folder read from the product's registry key decides what the files stage
// empties recursively, so it is checked before anything is derived from it.
#pragma once

#include <vector>

#include "platform/text.h"

namespace cleanup {

// The machine's folders that no install folder may be or contain.
struct ShellFolders {
  // Each folder the shell reports (program files, application data, documents, desktop, start
  // menu, profile, Windows, system, ...): refused, and so is each of its ancestors.
  std::vector<qm::WString> folders;
  // The profiles folder (C:\Documents and Settings, C:\Users): refused with its ancestors and
  // every folder directly inside it (one user's profile, All Users, Public, Default).
  std::vector<qm::WString> profileRoots;
};

// What this machine reports for the machine and the running user: SHGetFolderPathW (bound at
// run time from shell32.dll, else shfolder.dll; a folder it cannot report adds nothing) and
// the ProfileList's ProfilesDirectory, expanded. Empty lists when neither can be read.
ShellFolders MachineShellFolders();

// True when `folder` may be emptied recursively: a drive letter, a colon, a backslash and at
// least one folder name, every component a plain name (not "." or "..", no wildcard, no
// character Windows treats specially in a path, no trailing dot or blank that Windows would
// strip, no short-name tilde that could alias a protected folder); not a UNC or device path;
// not the Windows directory, a folder inside it or one of its ancestors; not one of the
// system's well-known folders directly below a drive root ("Program Files" and its Spanish
// name "Archivos de programa", "Users", ...); not one of `shell`'s folders or an ancestor of
// one, nor a folder directly inside a profiles folder.
// Letters compare without regard to case, as the file system does (ASCII, Latin-1, Greek and
// Cyrillic letters). A trailing backslash is allowed.
bool IsSafeInstallDir(const qm::WString& folder, const qm::WString& windowsDir,
                      const ShellFolders& shell);

// The install folder the plan uses, from the text read from the registry: the default folder
// when the text is empty or unsafe, otherwise the text with a trailing backslash ensured.
qm::WString CheckedInstallDir(const qm::WString& read, const qm::WString& windowsDir,
                              const ShellFolders& shell);

// `text` with every letter upper-cased as the file system compares names.
qm::WString FoldCase(qm::WString text);

}  // namespace cleanup
