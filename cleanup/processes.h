// Forced termination of a running program by its executable name.
#pragma once

#include <string>

namespace cleanup {

// Result codes of TerminateProcessByName.
enum class ProcessResult : int {
  kTerminated = 0,
  kTerminateFailed = 602,
  kNotRunning = 603,
  kOpenForTerminateFailed = 604,
  kPsapiNotLoaded = 605,
  kVersionUnreadable = 606,
  kUnknownPlatform = 607,
  kBadName = 632,
  kPsapiExportMissing = 700,
  kListFailed = 701,
  kKernel32NotLoaded = 702,
  kToolhelpExportMissing = 703,
  kSnapshotFailed = 704,
};

// Terminates (exit code 0) every running process whose executable name equals `exeName` when
// the letters a to z are compared without regard to case; every other byte must match
// exactly. `exeName` holds 1 to 260 characters, no folder.
//
// The way of listing processes follows the platform the system reports: on the NT family the
// process-status functions of PSAPI.DLL compare each process's executable base name, read as
// Windows holds it (GetModuleBaseNameW, Process32FirstW/NextW), so that no ANSI code page's
// best-fit mapping makes a bystander's name read as the product's on some machines, and
// every running process is examined however many there are. A process is opened once, for
// query, read and termination together (when that is refused: for query and read, and, for a
// match or a process it cannot read, for termination while the query handle is still open);
// its name is read and it is terminated through that same handle, and an identifier is never
// opened again once its handle was closed, so an identifier that Windows reuses meanwhile
// never leads to another process. A process that cannot be read (another session, SYSTEM,
// protected, another bitness) is named by a Toolhelp snapshot of Kernel32.DLL taken while
// its handle is held; when Toolhelp cannot be bound or its snapshot fails such a process is
// compared as "UNKNOWN". On the Windows 95 family the Toolhelp functions compare every module of each
// process, its name exactly as reported, with the upper-cased name. The libraries are bound
// at run time and released before returning.
//
// Every copy is tried. The result is kTerminated when every copy ended, kNotRunning when none
// runs, otherwise the code of the first copy in the system's order that did not end:
// kOpenForTerminateFailed when it cannot be opened for termination, kTerminateFailed when
// TerminateProcess fails. A listing failure returns its own code; on the Windows 95 way a
// module snapshot that fails ends the walk with kSnapshotFailed after the copies found so far
// were ended. Pumps no messages.
ProcessResult TerminateProcessByName(const std::string& exeName);

// How many running processes TerminateProcessByName(exeName) would try to end: the same
// listing and matching (readable names, names from Toolhelp, "UNKNOWN"). 0 for a name that no
// process can have (empty or longer than 260 characters), -1 when the processes cannot be
// listed (a library, export, version or snapshot failure). Changes nothing on the machine.
int CountProcessesByName(const std::string& exeName);

}  // namespace cleanup
