// Forced termination of a running program by its executable name.
#pragma once

#include <string>

namespace cleanup {

// Result codes of TerminateProcessByName.
enum ProcessResult : int {
  kProcessTerminated = 0,
  kTerminateFailed = 602,
  kProcessNotRunning = 603,
  kOpenForTerminateFailed = 604,
  kPsapiNotLoaded = 605,
  kVersionUnreadable = 606,
  kUnknownPlatform = 607,
  kBadProcessName = 632,
  kPsapiExportMissing = 700,
  kProcessListFailed = 701,
  kKernel32NotLoaded = 702,
  kToolhelpExportMissing = 703,
  kSnapshotFailed = 704,
};

// Terminates (exit code 0) the first running process, in the system's order, whose
// executable name equals `exeName` when the letters a to z are compared without regard to
// case; every other byte must match exactly. `exeName` holds 1 to 260 characters, no folder.
//
// The way of listing processes follows the platform the system reports: on the NT family the
// process-status functions of PSAPI.DLL compare each process's executable base name (a process
// whose name cannot be read is compared as "UNKNOWN"), and every running process is examined
// however many there are; on the Windows 95 family the Toolhelp functions of Kernel32.DLL
// compare every module of each process, its name exactly as reported, with the upper-cased
// name. Both libraries are bound at run time and released before returning.
//
// The first match decides: when it cannot be opened for termination (604) or terminating it
// fails (602) no later process of the same name is tried. Pumps no messages.
int TerminateProcessByName(const std::string& exeName);

}  // namespace cleanup
