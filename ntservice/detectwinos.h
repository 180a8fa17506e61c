// Which Windows family and version the program runs on. Each predicate reads the version
// afresh; a failed version query raises EOSError for the last error.
#pragma once

namespace Detectwinos {

// Platform 2, the NT family.
bool IsWindowsNt();
// The NT family with major version exactly 5: also true on 5.1 and 5.2.
bool IsWindows2000();
// The NT family with major version 5 or higher.
bool IsWindows2000orHigher();
// The NT family with version 5.1 or higher: major at least 5 with minor at least 1, or major
// at least 6.
bool IsWindowsXPOrHigher();

}  // namespace Detectwinos
