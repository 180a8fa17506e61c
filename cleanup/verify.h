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
  // Paths scheduled for deletion at the restart (/DELAYDELETE), as they were scheduled.
  std::vector<qm::WString> scheduledAtRestart;
};

// Looks at every plan item, in plan order: the service, the processes, the key trees of the
// three roots, the Run values, the SharedDLLs values, the folders, the driver file.
//
// An item that cannot be looked at (a key that refuses opening, processes that cannot be
// listed, a folder whose attributes cannot be read for another reason than its absence) counts
// as present: the look never claims the product gone without seeing it gone.
std::vector<ItemLook> LookAtProduct(const ProductPlaces& places, const RunKnowledge& known);

bool AnyLeft(const std::vector<ItemLook>& items);        // anything but Absent
bool AnyPresent(const std::vector<ItemLook>& items);     // Present (the restart will not help)
bool AnyGoesAtRestart(const std::vector<ItemLook>& items);

}  // namespace cleanup
