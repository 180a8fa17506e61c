// The fixed cleanup plan: what one run removes, in the order the run walks it. The tables are
// data; the folders and the SharedDLLs value names are derived from the install folder and
// the Windows directory of the machine at hand.
//
// Every text is Windows-1252 bytes, handed unchanged to the ANSI Windows functions. Registry
// paths carry no leading backslash and are relative to the root named for their table.
#pragma once

#include <string>
#include <vector>

#include "cleanup/run.h"
#include "platform/text.h"
#include "platform/win32/win32.h"

namespace cleanup {

extern const std::vector<std::string> PlanServices;
extern const std::vector<std::string> PlanProcesses;
extern const std::vector<std::string> PlanClassesRootKeys;
// Its first two entries are the driver's and the service's keys, which the service removal
// may already have deleted: their absence is expected.
extern const std::vector<std::string> PlanLocalMachineKeys;
extern const std::vector<std::string> PlanCurrentUserKeys;
extern const std::vector<std::string> PlanRunValues;
extern const std::vector<std::string> PlanSharedDllFiles;

extern const char* const RunKey;
extern const char* const SharedDllsKey;
extern const char* const ProductKey;         // under HKEY_LOCAL_MACHINE, holds "DirInstall"
extern const char* const InstallDirValue;    // "DirInstall"
extern const char* const DefaultInstallDir;  // "C:\Program Files\Brantivo\Tev32\"

// The derived names below are wide names: the machine's folders as Windows holds them, joined
// with the plan's own texts widened (qm::Widen).

// One name per entry of PlanSharedDllFiles, in order: the install folder directly followed by
// the file name (the folder ends with a backslash once it went through CheckedInstallDir).
WStringList SharedDllValueNames(const qm::WString& installDir);

// The four product folders, each ending with a backslash: the install folder, then the Start
// menu folder on the Windows drive, the downloaded-installations folder and the Installer
// cache folder under the Windows directory.
WStringList ProductFolders(const qm::WString& installDir, const qm::WString& windowsDir);

qm::WString DriverFilePath(const qm::WString& windowsDir);
qm::WString LogFilePath(const qm::WString& windowsDir);

// The Windows directory as GetWindowsDirectoryW reports it (no trailing backslash), whatever
// its length.
qm::WString ReadWindowsDirectory();

}  // namespace cleanup
