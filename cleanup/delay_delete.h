// /DELAYDELETE: what the files stage could not delete is handed to Windows, which deletes it
// early in the next restart (MoveFileExW with MOVEFILE_DELAY_UNTIL_REBOOT; the entries join
// PendingFileRenameOperations, in the order scheduled).
//
// The restart resolves each name again, as SYSTEM, through whatever links stand on its way
// then. So a name is handed over only when nobody but an administrator can change what it
// leads to: it and every folder above it up to the volume root must be safe from
// non-administrators (cleanup/security.h: owned by a trusted principal, no entry giving another
// principal DELETE, WRITE_DAC or WRITE_OWNER on it, nor FILE_DELETE_CHILD on a folder that
// holds it), as read from the handles the walk holds on them.
#pragma once

#include <string>
#include <vector>

#include "cleanup/verify.h"

namespace cleanup {

// Why the leftovers of a product place stay where they are.
enum class Refusal {
  ForeignOwner,         // `path` belongs to a principal that is not trusted
  OpenToOthers,         // another principal may delete, rename or re-permission `path`
  ContentsOpenToOthers, // another principal may delete or rename what the folder `path` holds
  NoAccessList,         // `path` has no access list: anyone may do anything with it
  UnknownEntry,         // `path`'s list holds an allowing entry of a kind not judged here
  Unreadable,           // `path` could not be opened, or its security not read
  ThroughLink,          // `path`, a folder on the way, is a junction or other reparse point
};

// The first refusal met in one product place (a product folder or the driver file).
struct LeftInPlace {
  qm::WString place;  // as ProductPlaces names it
  qm::WString path;   // the file or folder the refusal is about, without a final backslash
  Refusal reason = Refusal::Unreadable;
};

struct LeftoverSchedule {
  std::vector<qm::WString> scheduled;  // each path without a final backslash, in order
  std::vector<LeftInPlace> left;       // at most one per place
};

// Schedules every file and folder still present in the product folders, children before
// their folder, then the folder itself, then the driver file when it is still there (the real
// system folder's, also for a 32-bit program on 64-bit Windows). Never a
// name outside the product folders and the driver path, and never through a link: a link
// met inside a folder, or a product folder that is itself a link, is scheduled itself (the
// restart removes the link) and its target is never walked. Read-only marks are cleared on
// what is scheduled, since the restart's deletion does not clear them.
//
// Every folder from the volume root down is held open (PinFolder, with READ_CONTROL) from
// before its security is read until its contents and itself are scheduled, so what was judged
// is what stays at that name. A name that is not safe from non-administrators, or that lies
// below a folder that is not, is not scheduled; the first such refusal in each place is
// returned. A folder is scheduled only when everything in it was, so that the restart can
// really remove it.
LeftoverSchedule ScheduleLeftoversAtRestart(const ProductPlaces& places);

// The final check's line under a place's "Queda" line: why its leftovers stay (Windows-1252,
// the path written through qm::Narrow).
std::string LeftInPlaceLine(const LeftInPlace& left);

}  // namespace cleanup
