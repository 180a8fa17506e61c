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
  // The profiles folder (C:\Documents and Settings, C:\Users) and each account's profile:
  // refused with their ancestors and everything below them (a profile belongs to its user,
  // whoever runs the program).
  std::vector<qm::WString> profileRoots;
};

// What this machine reports: SHGetFolderPathW (bound at run time from shell32.dll, else
// shfolder.dll; a folder it cannot report adds nothing) for the running account, and the
// ProfileList's ProfilesDirectory and every account's ProfileImagePath, expanded. Each folder
// reached through a link is listed as resolved too. Empty lists when nothing can be read.
ShellFolders MachineShellFolders();

// True when `folder` may be emptied recursively: a drive letter, a colon, a backslash and at
// least one folder name, every component a plain name (not "." or "..", no wildcard, no
// character Windows treats specially in a path, no trailing dot or blank that Windows would
// strip, no short-name tilde that could alias a protected folder); not a UNC or device path;
// not the Windows directory, a folder inside it or one of its ancestors; not one of the
// system's well-known folders directly below a drive root ("Program Files" and its Spanish
// name "Archivos de programa", "Users", ...); not one of `shell`'s folders or an ancestor of
// one, nor a profile folder, a folder below one or an ancestor of one.
// The path as written and the path it resolves to (every junction and symbolic link on the
// way followed, see ResolveFolderPath) must both pass; a folder whose way cannot be resolved
// is refused. Letters compare as the system upper-cases them (FoldCase). A trailing
// backslash is allowed.
bool IsSafeInstallDir(const qm::WString& folder, const qm::WString& windowsDir,
                      const ShellFolders& shell);

// The install folder the plan uses, from the text read from the registry: the default folder
// when the text is empty or unsafe, otherwise the text with a trailing backslash ensured.
qm::WString CheckedInstallDir(const qm::WString& read, const qm::WString& windowsDir,
                              const ShellFolders& shell);

// `text` upper-cased by the system (CharUpperBuffW: the same for every locale, so "i" always
// becomes "I"), as names are compared without regard to case.
qm::WString FoldCase(qm::WString text);

}  // namespace cleanup
