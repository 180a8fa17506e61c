// The look at the product that tells a deployment tool what happened: every plan item
// (service, processes, key trees, values, folders, driver file) looked at again on the
// machine, not taken from the run's marks. The same look serves before the run (was anything
// there at all?), after it, and for /PREVIEW. It changes nothing on the machine.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/text.h"

namespace cleanup {

enum class Presence {
  Absent,
  GoesAtRestart,  // still there, but the next restart removes it
  Present,
};

// One plan item: its name as the log shows it (Windows-1252 bytes) and what is left of it.
struct ItemLook {
  std::string name;
  Presence presence = Presence::Absent;
};

// Where the product lives on this machine, as Windows holds the names.
struct ProductPlaces {
  std::vector<qm::WString> folders;  // the four product folders, each ending with '\'
  qm::WString driverFile;  // looked at in the real system folder (platform/fs_redirection.h)
};

// What the run itself knows and the machine does not show to a plain look.
struct RunKnowledge {
  // Whether the run marked this service for deletion (or found it marked): the service
  // stays listed until its last handle closes, and goes at the latest at the restart.
  std::function<bool(const std::string& service)> serviceMarkedForDeletion;
  // Paths scheduled for deletion at the restart (/DELAYDELETE), as they were scheduled; they
  // are taken as following the deletions already waiting.
  std::vector<qm::WString> scheduledAtRestart;
};

// The deletions Windows carries out early in the next restart, in its order: the source
// names of the entries of HKLM\SYSTEM\CurrentControlSet\Control\Session Manager,
// value PendingFileRenameOperations (REG_MULTI_SZ pairs: the name in the "\??\" form, then
// the new name, empty for a deletion) whose new name is empty, "\??\" removed. A rename is
// no deletion. Empty when the value is absent, unreadable or of another type. Read only.
std::vector<qm::WString> PendingDeletions();

// Looks at every plan item, in plan order: the service, the processes, the key trees of the
// three roots, the Run values, the SharedDLLs values, the folders, the driver file.
//
// An item that cannot be looked at (a key that refuses opening, processes that cannot be
// listed or named, a folder whose attributes cannot be read for another reason than its
// absence) counts as present: the look never claims the product gone without seeing it gone.
//
// A folder or the driver file still there goes at the restart when a deletion waits for it
// (PendingDeletions, then known.scheduledAtRestart), names compared as Windows does, without
// regard to case, and the restart can really carry it out: not read-only, and for a folder,
// everything in it (links as themselves) goes by an earlier deletion of that list.
std::vector<ItemLook> LookAtProduct(const ProductPlaces& places, const RunKnowledge& known);

bool AnyLeft(const std::vector<ItemLook>& items);        // anything but Absent
bool AnyPresent(const std::vector<ItemLook>& items);     // Present (the restart will not help)
bool AnyGoesAtRestart(const std::vector<ItemLook>& items);

}  // namespace cleanup
