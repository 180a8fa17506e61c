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
  kUnnamed = 608,       // a running process that nothing could name may be a copy
  kStillRunning = 609,  // terminated, but still running when the wait for its end ran out
  kBadName = 632,
  kPsapiExportMissing = 700,
  kListFailed = 701,
  kKernel32NotLoaded = 702,
  kToolhelpExportMissing = 703,
  kSnapshotFailed = 704,
};

// How long the termination of one process waits for the process to have ended.
constexpr unsigned kEndWaitMs = 5000;

// Terminates (exit code 0) every running process whose executable name equals `exeName` when
// the letters a to z are compared without regard to case; every other byte must match
// exactly. `exeName` holds 1 to 260 characters, no folder.
//
// The way of listing processes follows the platform the system reports: on the NT family the
// process-status functions of PSAPI.DLL name each process by its executable base name, read
// as Windows holds it (GetModuleBaseNameW, Process32FirstW/NextW), so that no ANSI code
// page's best-fit mapping makes a bystander's name read as the product's on some machines,
// and every running process is examined however many there are.
//
// Rights and identifiers (NT way): every process is opened for query and read only
// (PROCESS_QUERY_INFORMATION | PROCESS_VM_READ). That handle is held while the name is read
// and, for a match only, while the process is opened again by identifier for termination
// (PROCESS_TERMINATE | SYNCHRONIZE): Windows does not reuse an identifier while a handle to
// its process is open, so both handles designate the process that was recognised. A process
// that refuses the query open is held with PROCESS_QUERY_LIMITED_INFORMATION instead (Vista
// and later; earlier systems lack that right and refuse the open, which changes nothing) and
// named by a Toolhelp snapshot of Kernel32.DLL taken while the holds are open. One that
// nothing could hold is named by that snapshot too, and once its termination handle is open
// (which now holds the identifier) a second snapshot must still give its identifier the
// name, else the copy has ended and whatever has its identifier now is left alone. An open
// refused with ERROR_INVALID_PARAMETER means that no process has the identifier any more (the
// idle process 0 included): it is not running. A process that neither PSAPI nor Toolhelp can
// name (Toolhelp missing, as on NT 4, or its snapshot failing) is not known to be another
// program: it is reported as kUnnamed, never as absent.
//
// On the Windows 95 family the Toolhelp functions compare every module of each process, its
// name exactly as reported, with the upper-cased name; a match is opened for termination by
// its identifier. The libraries are bound at run time and released before returning.
//
// After TerminateProcess the process handle is waited on, at most kEndWaitMs: a process that
// is still running then counts as not ended (kStillRunning), since its files stay in use. A
// copy that ended by itself before it could be terminated has ended all the same.
//
// Every copy is tried. The result is kTerminated when every copy ended, kNotRunning when none
// runs, otherwise the code of the first process in the system's order that did not end:
// kUnnamed for one that could not be named, kOpenForTerminateFailed when a copy cannot be
// opened for termination, kTerminateFailed when TerminateProcess fails, kStillRunning when
// the wait ran out. A listing failure returns its own code; on the Windows 95 way a module
// snapshot that fails ends the walk with kSnapshotFailed after the copies found so far were
// ended. Pumps no messages.
ProcessResult TerminateProcessByName(const std::string& exeName);

// How many running processes TerminateProcessByName(exeName) would try to end: the same
// listing and matching, with read rights only. 0 for a name that no process can have (empty
// or longer than 260 characters); -1 when it cannot be told: the processes cannot be listed
// (a library, export, version or snapshot failure) or a running process cannot be named.
// Changes nothing on the machine.
int CountProcessesByName(const std::string& exeName);

}  // namespace cleanup
