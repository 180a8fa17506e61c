#include "cleanup/run.h"

#include "cleanup/directories.h"
#include "cleanup/install_folder.h"
#include "cleanup/log.h"
#include "cleanup/plan.h"
#include "cleanup/processes.h"
#include "cleanup/pump.h"
#include "cleanup/registry.h"
#include "platform/fs_redirection.h"
#include "platform/paths.h"
#include "platform/win32/win32.h"

namespace cleanup {
namespace {

// One run of the four stages over a CleanupRun's lists.
class Stages {
 public:
  Stages(CleanupRun& run, RunHost& host, ServiceOperations& services)
      : run_(run), host_(host), services_(services) {}

  void Services();
  void Processes();
  void Registry(const WStringList& sharedDllValueNames);
  void Files();

 private:
  void Begin(Stage stage, const char* header, bool separatorFirst);
  void End(Stage stage) { host_.StageFinished(stage, failures_ == 0); }
  void Append(const std::string& line) { run_.LogList.push_back(line); }
  void Record(const Outcome& outcome);

  void KeyTrees(HKEY root, const char* prefix, const StringList& keys, std::size_t tolerated);
  void Values(const char* key, const WStringList& names);
  void Folder(const qm::WString& directory, int& fileCounter);

  CleanupRun& run_;
  RunHost& host_;
  ServiceOperations& services_;
  int failures_ = 0;
};

void Stages::Begin(Stage stage, const char* header, bool separatorFirst) {
  host_.StageStarted(stage);
  if (separatorFirst) Append(Separator);
  Append(header);
  Append(Separator);
  failures_ = 0;
}

void Stages::Record(const Outcome& outcome) {
  if (outcome.line) Append(*outcome.line);
  if (outcome.failure) ++failures_;
}

void Stages::Services() {
  Begin(Stage::Services, ServicesHeader, false);
  for (const std::string& service : PlanServices) {
    if (!services_.ServiceExists(service)) {
      Record(ServiceMissingOutcome(service));
      continue;
    }
    run_.RestartNeeded = true;  // whatever the stop's outcome
    const int code = services_.StopService(service);
    Record(ServiceStopOutcome(service, code));
    if (code == 0) services_.RemoveService(service);
  }
  End(Stage::Services);
}

void Stages::Processes() {
  Begin(Stage::Processes, ProcessesHeader, true);
  for (const std::string& exe : PlanProcesses) {
    ProcessMessages();  // lets the window repaint between two names
    Record(ProcessOutcome(exe, TerminateProcessByName(exe)));
  }
  End(Stage::Processes);
}

void Stages::KeyTrees(HKEY root, const char* prefix, const StringList& keys,
                      std::size_t tolerated) {
  for (std::size_t i = 0; i < keys.size(); ++i)
    Record(KeyTreeOutcome(prefix, keys[i], DeleteRegistryKeyTree(root, qm::Widen(keys[i])),
                          i < tolerated));
}

void Stages::Values(const char* key, const WStringList& names) {
  const std::string display = std::string(LocalMachinePrefix) + key + " ";
  const qm::WString wideKey = qm::Widen(key);
  for (const qm::WString& name : names)
    Record(ValueOutcome(display, qm::Narrow(name),
                        DeleteRegistryValue(HKEY_LOCAL_MACHINE, wideKey, name)));
}

void Stages::Registry(const WStringList& sharedDllValueNames) {
  Begin(Stage::Registry, RegistryHeader, true);
  KeyTrees(HKEY_CLASSES_ROOT, ClassesRootPrefix, PlanClassesRootKeys, 0);
  // The service removal may already have deleted the driver's and the service's keys.
  KeyTrees(HKEY_LOCAL_MACHINE, LocalMachinePrefix, PlanLocalMachineKeys, 2);
  KeyTrees(HKEY_CURRENT_USER, CurrentUserPrefix, PlanCurrentUserKeys, 0);
  WStringList runValues;
  for (const std::string& name : PlanRunValues) runValues.push_back(qm::Widen(name));
  Values(RunKey, runValues);
  Values(SharedDllsKey, sharedDllValueNames);
  End(Stage::Registry);
}

// One product folder: emptied unless it is itself a link, then removed. A folder in which,
// as in every earlier folder of the stage, no file was met counts as empty (401). It is
// emptied only while a handle shows it is a plain directory and keeps it from being replaced;
// a folder found to be a link, by its attributes or by that handle, is removed as a link.
void Stages::Folder(const qm::WString& directory, int& fileCounter) {
  const std::string logged = qm::Narrow(directory);
  if (!FolderExists(directory)) {
    Record({DirectoryNotFoundLine(logged), true});
    return;
  }
  PinnedFolder pinned = PinFolder(directory);
  bool removed = false;
  switch (pinned.kind) {
    case FolderKind::Link:
      removed = RemoveFolderLink(directory);
      break;
    case FolderKind::Other:  // could not be entered safely: as if it could not be listed,
                             // the empty-folder rule included (no listing right, no pin)
      Record(DirectoryContentsOutcome(logged, fileCounter == 0 ? DirectoryResult::NoFileFound
                                                              : DirectoryResult::ListingFailed));
      removed = ::RemoveDirectoryW(qm::FileCallPath(directory).c_str()) != 0;
      break;
    case FolderKind::Directory: {
      DirectoryResult code = DeleteDirectoryContents(directory, run_.DeletedFileList, fileCounter);
      if (fileCounter == 0) code = DirectoryResult::NoFileFound;
      Record(DirectoryContentsOutcome(logged, code));
      pinned.handle.reset();  // the pin would keep the folder itself from going
      ClearFileAttributes(directory);
      removed = ::RemoveDirectoryW(qm::FileCallPath(directory).c_str()) != 0;
      break;
    }
  }
  Record(DirectoryRemovalOutcome(logged, removed));
}

void Stages::Files() {
  Begin(Stage::Files, FilesHeader, true);
  int fileCounter = 0;  // accumulates over the folders
  for (const qm::WString& directory : run_.DirList) Folder(directory, fileCounter);
  // The driver file is the one in the real system folder, also for a 32-bit program on
  // 64-bit Windows; the log names it as the plan does.
  const qm::WString driver = DriverFilePath(run_.WindowsDir);
  const bool deleted = qm::WithoutFsRedirection(
      [&] { return ::DeleteFileW(qm::FileCallPath(driver).c_str()) != 0; });
  Record(DriverFileOutcome(qm::Narrow(driver), deleted));
  run_.LogList.insert(run_.LogList.end(), run_.DeletedFileList.begin(), run_.DeletedFileList.end());
  End(Stage::Files);
}

}  // namespace

CleanupRun::CleanupRun(RunHost& host, ServiceOperations& services)
    : host_(host), services_(services) {}

void CleanupRun::LocateProductFolders() {
  const qm::WString read =
      ReadRegistryString(HKEY_LOCAL_MACHINE, qm::Widen(ProductKey), qm::Widen(InstallDirValue));
  WindowsDir = ReadWindowsDirectory();
  DirList = ProductFolders(CheckedInstallDir(read, WindowsDir, MachineShellFolders()), WindowsDir);
}

void CleanupRun::RunCleanup() {
  const WStringList sharedDllValueNames =
      SharedDllValueNames(DirList.empty() ? qm::WString() : DirList.front());
  LogList.clear();
  host_.HideAllMarks();
  Stages stages(*this, host_, services_);
  stages.Services();
  stages.Processes();
  stages.Registry(sharedDllValueNames);
  stages.Files();
}

void CleanupRun::WriteLogFile() const { WriteLogLines(LogFilePath(WindowsDir), LogList); }

}  // namespace cleanup
