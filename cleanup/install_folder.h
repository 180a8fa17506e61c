// The install folder read from the product's registry key decides what the files stage
// empties recursively, so it is checked before anything is derived from it.
#pragma once

#include <string>

namespace cleanup {

// True when `folder` may be emptied recursively: a drive letter, a colon, a backslash and at
// least one folder name, every component a plain name (not "." or "..", no wildcard, no
// character Windows treats specially in a path, no trailing dot or blank that Windows would
// strip, no short-name tilde that could alias a protected folder); not a UNC or device path;
// not the Windows directory, a folder inside it or one of its ancestors; not one of the
// system's well-known folders directly below a drive root ("Program Files" and its Spanish
// name "Archivos de programa", "Users", ...).
// Letters compare without regard to case. A trailing backslash is allowed.
bool IsSafeInstallDir(const std::string& folder, const std::string& windowsDir);

// The install folder the plan uses, from the text read from the registry: the default folder
// when the text is empty or unsafe, otherwise the text with a trailing backslash ensured.
std::string CheckedInstallDir(const std::string& read, const std::string& windowsDir);

}  // namespace cleanup
