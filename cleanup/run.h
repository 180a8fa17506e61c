// The cleanup run: the four stages over the fixed plan, the run log, and the state the run
// shares with the main window that hosts it.
//
// The run never depends on the toolkit: it reports to its host through RunHost and lets the
// host's message loop turn through cleanup::ProcessMessages (pump.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cleanup {

using StringList = std::vector<std::string>;

enum class Stage { Services, Processes, Registry, Files };

// Toolkit colour values, 0x00BBGGRR.
constexpr std::uint32_t clBlue = 0xFF0000;
constexpr std::uint32_t clBlack = 0x000000;

// What the run shows while it goes: the stage label's font colour and the stage's mark.
class RunHost {
 public:
  virtual void SetStageColor(Stage stage, std::uint32_t color) = 0;
  // Shows the stage's Ok mark (ok) or its Fallo mark, and hides the other one.
  virtual void ShowStageMark(Stage stage, bool ok) = 0;
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
  StringList DirList;
  std::string WindowsDir;
  bool RestartNeeded = false;

 private:
  RunHost& host_;
  ServiceOperations& services_;
};

}  // namespace cleanup
