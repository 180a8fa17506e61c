// The cleanup run: the four stages over the fixed plan, the run log, and the state the run
// shares with the main window that hosts it.
//
// The run never depends on the toolkit: it reports to its host through RunHost and lets the
// host's message loop turn through cleanup::ProcessMessages (pump.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/text.h"

namespace cleanup {

using StringList = std::vector<std::string>;   // texts in Windows-1252 bytes (the log)
using WStringList = std::vector<qm::WString>;  // names as Windows holds them

enum class Stage { Services, Processes, Registry, Files };

// Toolkit colour values, 0x00BBGGRR.
constexpr std::uint32_t clBlue = 0xFF0000;
constexpr std::uint32_t clBlack = 0x000000;

// What the run tells the window that hosts it; the window decides how to show it (label
// colours, marks).
class RunHost {
 public:
  virtual void StageStarted(Stage stage) = 0;
  // `ok`: the stage counted no failure.
  virtual void StageFinished(Stage stage, bool ok) = 0;
  virtual void HideAllMarks() = 0;

 protected:
  ~RunHost() = default;
};

// The services stage's operations. StopService answers 0 or 500..505 and may throw the
// service component's exception, which ends the run.
class ServiceOperations {
 public:
  virtual bool ServiceExists(const std::string& name) = 0;
  virtual int StopService(const std::string& name) = 0;
  virtual void RemoveService(const std::string& name) = 0;

 protected:
  ~ServiceOperations() = default;
};

class CleanupRun {
 public:
  CleanupRun(RunHost& host, ServiceOperations& services);

  // Reads the install folder from the registry and derives the four product folders and
  // WindowsDir. An install folder that is empty, not a string, or unsafe to empty recursively
  // (see install_folder.h) is replaced by the default one; a usable one gets a trailing
  // backslash.
  void LocateProductFolders();

  // Runs the four stages over DirList (its first entry is the install folder) and WindowsDir.
  // Clears LogList first; appends to DeletedFileList and never clears it. Only an exception
  // from the services stage ends it early.
  void RunCleanup();

  // Writes LogList to WindowsDir + "\Temp\Quelmark.log", each line followed by CR LF. An
  // existing file (or a link planted there) is deleted first, never written through.
  // Throws EFCreateError when the file cannot be created.
  void WriteLogFile() const;

  StringList LogList;
  StringList DeletedFileList;
  WStringList DirList;      // the product folders, each ending with a backslash
  qm::WString WindowsDir;
  bool RestartNeeded = false;

 private:
  RunHost& host_;
  ServiceOperations& services_;
};

}  // namespace cleanup
