// /DELAYDELETE: what the files stage could not delete is handed to Windows, which deletes it
// early in the next restart (MoveFileExW with MOVEFILE_DELAY_UNTIL_REBOOT; the entries join
// PendingFileRenameOperations, in the order scheduled).
#pragma once

#include <vector>

#include "cleanup/verify.h"

namespace cleanup {

// Schedules every file and folder still present in the product folders, children before
// their folder, then the folder itself, then the driver file when it is still there (the real
// system folder's, also for a 32-bit program on 64-bit Windows). Never a
// name outside the product folders and the driver path, and never through a link: a link
// met inside a folder, or a product folder that is itself a link, is scheduled itself (the
// restart removes the link) and its target is never walked. Read-only marks are cleared on
// what is scheduled, since the restart's deletion does not clear them.
//
// Returns what was scheduled, each path without a final backslash. A folder is scheduled only
// when everything in it was, so that the restart can really remove it.
std::vector<qm::WString> ScheduleLeftoversAtRestart(const ProductPlaces& places);

}  // namespace cleanup
