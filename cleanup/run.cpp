#include "cleanup/run.h"

#include "cleanup/directories.h"
#include "cleanup/install_folder.h"
#include "cleanup/log.h"
#include "cleanup/plan.h"
#include "cleanup/processes.h"
#include "cleanup/pump.h"
#include "cleanup/registry.h"
#include "platform/win32/win32.h"

namespace cleanup {
namespace {

std::string WithoutTrailingBackslash(const std::string& path) {
  if (path.size() > 3 && path.back() == '\\') return path.substr(0, path.size() - 1);
  return path;
}

// One run of the four stages over a CleanupRun's lists.
class Stages {
 public:
  Stages(CleanupRun& run, RunHost& host, ServiceOperations& services)
      : run_(run), host_(host), services_(services) {}

  void Services();
  void Processes();
  void Registry(const StringList& sharedDllValueNames);
  void Files();

 private:
  void Begin(Stage stage, const char* header, bool separatorFirst);
  void ShowMark(Stage stage) { host_.ShowStageMark(stage, failures_ == 0); }
  void EndLabel(Stage stage) { host_.SetStageColor(stage, clBlack); }
  void Append(const std::string& line) { run_.LogList.push_back(line); }
  void Record(const Outcome& outcome);

  void KeyTrees(HKEY root, const char* prefix, const StringList& keys, std::size_t tolerated);
  void Values(const char* key, const StringList& names);
  void Folder(const std::string& directory, int& fileCounter);

  CleanupRun& run_;
  RunHost& host_;
  ServiceOperations& services_;
  int failures_ = 0;
};

void Stages::Begin(Stage stage, const char* header, bool separatorFirst) {
  host_.SetStageColor(stage, clBlue);
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
  EndLabel(Stage::Services);
  ShowMark(Stage::Services);
}

void Stages::Processes() {
  Begin(Stage::Processes, ProcessesHeader, true);
  for (const std::string& exe : PlanProcesses) {
    ProcessMessages();  // lets the window repaint between two names
    Record(ProcessOutcome(exe, TerminateProcessByName(exe)));
  }
  ShowMark(Stage::Processes);
  EndLabel(Stage::Processes);
}

void Stages::KeyTrees(HKEY root, const char* prefix, const StringList& keys,
                      std::size_t tolerated) {
  for (std::size_t i = 0; i < keys.size(); ++i)
    Record(KeyTreeOutcome(prefix, keys[i], DeleteRegistryKeyTree(root, keys[i]), i < tolerated));
}

void Stages::Values(const char* key, const StringList& names) {
  const std::string display = std::string(LocalMachinePrefix) + key + " ";
  for (const std::string& name : names)
    Record(ValueOutcome(display, name, DeleteRegistryValue(HKEY_LOCAL_MACHINE, key, name)));
}

void Stages::Registry(const StringList& sharedDllValueNames) {
  Begin(Stage::Registry, RegistryHeader, true);
  KeyTrees(HKEY_CLASSES_ROOT, ClassesRootPrefix, PlanClassesRootKeys, 0);
  // The service removal may already have deleted the driver's and the service's keys.
  KeyTrees(HKEY_LOCAL_MACHINE, LocalMachinePrefix, PlanLocalMachineKeys, 2);
  KeyTrees(HKEY_CURRENT_USER, CurrentUserPrefix, PlanCurrentUserKeys, 0);
  Values(RunKey, PlanRunValues);
  Values(SharedDllsKey, sharedDllValueNames);
  EndLabel(Stage::Registry);
  ShowMark(Stage::Registry);
}

// One product folder: emptied unless it is itself a link, then removed. A folder in which,
// as in every earlier folder of the stage, no file was met counts as empty (401).
void Stages::Folder(const std::string& directory, int& fileCounter) {
  // Asked without its final backslash, a link reports itself rather than its target.
  const std::string bare = WithoutTrailingBackslash(directory);
  const DWORD attributes = ::GetFileAttributesA(bare.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    Record({DirectoryNotFoundLine(directory), true});
    return;
  }
  const bool isLink = IsReparsePoint(attributes);
  if (!isLink) {
    int code = DeleteDirectoryContents(directory, run_.DeletedFileList, fileCounter);
    if (fileCounter == 0) code = 401;
    Record(DirectoryContentsOutcome(directory, code));
    ClearFileAttributes(directory);
  }
  const bool removed = ::RemoveDirectoryA((isLink ? bare : directory).c_str()) != 0;
  Record(DirectoryRemovalOutcome(directory, removed));
}

void Stages::Files() {
  Begin(Stage::Files, FilesHeader, true);
  int fileCounter = 0;  // accumulates over the folders
  for (const std::string& directory : run_.DirList) Folder(directory, fileCounter);
  const std::string driver = DriverFilePath(run_.WindowsDir);
  Record(DriverFileOutcome(driver, ::DeleteFileA(driver.c_str()) != 0));
  run_.LogList.insert(run_.LogList.end(), run_.DeletedFileList.begin(), run_.DeletedFileList.end());
  ShowMark(Stage::Files);
  EndLabel(Stage::Files);
}

}  // namespace

CleanupRun::CleanupRun(RunHost& host, ServiceOperations& services)
    : host_(host), services_(services) {}

void CleanupRun::LocateProductFolders() {
  const std::string read = ReadRegistryString(HKEY_LOCAL_MACHINE, ProductKey, InstallDirValue);
  WindowsDir = ReadWindowsDirectory();
  DirList = ProductFolders(CheckedInstallDir(read, WindowsDir), WindowsDir);
}

void CleanupRun::RunCleanup() {
  const StringList sharedDllValueNames =
      SharedDllValueNames(DirList.empty() ? std::string() : DirList.front());
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
