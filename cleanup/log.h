// The run log: its stage headers, its separator, the message line each stage result turns
// into (and whether that result is a failure of its stage), and the log file.
//
// A message line starts with exactly two blanks; a separator is one blank, never an empty
// line. Every text is Windows-1252 bytes.
#pragma once

#include <optional>
#include <string>

#include "cleanup/directories.h"
#include "cleanup/processes.h"
#include "cleanup/registry.h"
#include "cleanup/run.h"
#include "platform/win32/win32.h"

namespace cleanup {

extern const char* const ServicesHeader;
extern const char* const ProcessesHeader;
extern const char* const RegistryHeader;
extern const char* const FilesHeader;
extern const char* const Separator;

// What one stage operation's result means for the log and for the stage's mark.
struct Outcome {
  std::optional<std::string> line;
  bool failure = false;
};

Outcome ServiceMissingOutcome(const std::string& service);
// StopService's result; any code other than 0 and 500..505 writes nothing.
Outcome ServiceStopOutcome(const std::string& service, int code);
// TerminateProcessByName's result.
Outcome ProcessOutcome(const std::string& exeName, ProcessResult code);

// The display prefixes of the roots: "HKEY_CLASSES_ROOT\" and so on.
extern const char* const ClassesRootPrefix;
extern const char* const LocalMachinePrefix;
extern const char* const CurrentUserPrefix;

// A key tree's deletion result. A key that was not found is a failure unless its absence is
// expected (no line then); any other Windows error is a failure with its code in the line.
// Names in these lines are log bytes: the plan's own texts, or machine names through qm::Narrow.
Outcome KeyTreeOutcome(const std::string& rootPrefix, const std::string& key, KeyTreeResult code,
                       bool absenceExpected);
// A value's deletion under `keyDisplay` (the key's full display name followed by a blank).
Outcome ValueOutcome(const std::string& keyDisplay, const std::string& value, ValueResult code);

std::string DirectoryNotFoundLine(const std::string& directory);
// DeleteDirectoryContents' result after the empty-folder rule (401).
Outcome DirectoryContentsOutcome(const std::string& directory, DirectoryResult code);
// The removal of a product folder itself.
Outcome DirectoryRemovalOutcome(const std::string& directory, bool removed);
Outcome DriverFileOutcome(const std::string& path, bool deleted);

// Writes `lines` to `path`, each followed by CR LF, as the bytes held. What is at `path` is
// deleted first (DeleteFileW: a file, a file link or one name of a hard-linked file; a folder
// or a directory link stays), and the file is then created new (CREATE_NEW) on the name
// itself (FILE_FLAG_OPEN_REPARSE_POINT) and written with no sharing: whatever stands at the
// name then, a link of any kind included, makes the creation fail rather than being followed,
// and a new file that has more than one name is removed and counts as not created. Throws
// EFCreateError ("Cannot create file <path>", its path through qm::Narrow) when the file
// cannot be created, and Exception when it cannot be written whole.
void WriteLogLines(const qm::WString& path, const StringList& lines);

}  // namespace cleanup
