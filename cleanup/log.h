// The run log: its stage headers, its separator, the message line each stage result turns
// into (and whether that result is a failure of its stage), and the log file.
//
// A message line starts with exactly two blanks; a separator is one blank, never an empty
// line. Every text is Windows-1252 bytes.
#pragma once

#include <optional>
#include <string>

#include "cleanup/processes.h"
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
Outcome KeyTreeOutcome(const std::string& rootPrefix, const std::string& key, LONG code,
                       bool absenceExpected);
// A value's deletion under `keyDisplay` (the key's full display name followed by a blank).
Outcome ValueOutcome(const std::string& keyDisplay, const std::string& value, int code);

std::string DirectoryNotFoundLine(const std::string& directory);
// DeleteDirectoryContents' result after the empty-folder rule (401).
Outcome DirectoryContentsOutcome(const std::string& directory, int code);
// The removal of a product folder itself.
Outcome DirectoryRemovalOutcome(const std::string& directory, bool removed);
Outcome DriverFileOutcome(const std::string& path, bool deleted);

// Writes `lines` to `path`, each followed by CR LF, as the bytes held. An existing file is
// deleted first and the file is then created new and written with no sharing, so a link
// planted at `path` is never followed. Throws EFCreateError ("Cannot create file <path>")
// when the file cannot be created, and Exception when it cannot be written whole.
void WriteLogLines(const std::string& path, const StringList& lines);

}  // namespace cleanup
