// What an unattended run across many machines needs from the shell: the options that
// deployment tools pass, the exit statuses they read, and one copy of the program at a time.
#pragma once

#include <string>

#include "platform/raii.h"

namespace fleet {

// Options beside the three of the automatic run; each one is its text, leading blank
// included, anywhere in the upper-cased command line.
extern const char* const kOptionExitCode;     // " /EXITCODE": the statuses below
extern const char* const kOptionDelayDelete;  // " /DELAYDELETE": leftovers go at the restart
extern const char* const kOptionPreview;      // " /PREVIEW": look, change nothing

// The command line upper-cased with the system's rules, as the options are searched in it.
std::string UpperCommandLine();
bool HasOption(const std::string& upperCommandLine, const char* option);

// Whether the command line asks for a run that nobody attends: an option of the automatic
// run (" /CREATELOG", " /REBOOT_AUTO", " /REBOOT_CONFIRM"), " /PREVIEW" or " /EXITCODE". Such a
// run never shows the exception box, from its first instruction on.
bool SelectsUnattendedRun(const std::string& upperCommandLine);

// The process's exit status with " /EXITCODE", in the Windows Installer's codes that the
// deployment tools already understand. Without the option the program always ends with 0.
enum class ExitStatus : unsigned {
  Removed,            // 0: nothing of the product remains, no restart needed
  RestartCompletes,   // 3010: what remains goes at the next restart, which is needed
  RestartStarted,     // 1641: the program started the restart
  NothingFound,       // 1605: nothing of the product was there before the run
  ProductRemains,     // 1603: something remains that the restart will not remove
  AnotherInstance,    // 1618: another copy runs; the tool should retry later
};
unsigned StatusCode(ExitStatus status);

// The status the process ends with until a look at the product has completed: 1603 with
// /EXITCODE or /PREVIEW (nothing was seen, so nothing is claimed gone), else 0.
unsigned StatusBeforeTheLook(const std::string& upperCommandLine);

// Exit status of /PREVIEW: 0 when nothing of the product is present, 1 when something is.
constexpr unsigned kPreviewNothingPresent = 0;
constexpr unsigned kPreviewSomethingPresent = 1;

// One copy at a time, machine-wide: a named mutex in the global namespace where there is one
// (Windows 2000 and later, with or without terminal services), so that a copy started by a
// start-up script as SYSTEM and one started by a user in another session see each other.
//
// Anyone may create an object of that name first, so the name alone proves nothing. Each copy
// creates its mutex owned by Administrators with a list granting SYSTEM and Administrators
// only; a standard user cannot create one owned so, nor open it. An existing mutex is
// another copy only when its owner is Administrators or SYSTEM; any other (one this program
// may not open, one owned by anyone else) is a squatter, and the run goes on as if the name
// were free, without a lock.
class InstanceLock {
 public:
  // False when another copy runs; otherwise true, and the lock holds the mutex it created
  // (nothing when a squatter holds the name) while it lives.
  bool Acquire();

 private:
  qm::unique_kernel mutex_;
};

// The box an interactive second copy shows.
extern const char* const kAlreadyRunningText;

// A second copy ends at once without touching anything: a box when it is interactive, and
// the status for the command line (1618 with /EXITCODE or /PREVIEW, else 0).
unsigned EndSecondCopy(const std::string& upperCommandLine);

}  // namespace fleet
