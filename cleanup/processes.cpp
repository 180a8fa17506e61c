#include "cleanup/processes.h"

#include <cstring>
#include <vector>

#include "platform/raii.h"
#include "platform/win32/win32.h"

namespace cleanup {
namespace {

using EnumProcessesFn = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
using EnumProcessModulesFn = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, DWORD*);
using GetModuleBaseNameFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);
using CreateSnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
using Process32Fn = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32*);
using Module32Fn = BOOL(WINAPI*)(HANDLE, MODULEENTRY32*);

constexpr std::string::size_type kMaxNameLength = 260;
constexpr DWORD kQueryRights = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;

// Binds one export of `library`; null when it is missing.
template <typename Fn>
Fn Bind(HMODULE library, const char* name) {
  const FARPROC address = ::GetProcAddress(library, name);
  Fn function = nullptr;
  static_assert(sizeof function == sizeof address, "entry points are plain code pointers");
  std::memcpy(&function, &address, sizeof function);
  return function;
}

std::string UpperAscii(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

// Terminates process `pid`; 0, 602 when TerminateProcess fails, 604 when it cannot be opened.
int Terminate(DWORD pid) {
  const qm::unique_kernel process(::OpenProcess(PROCESS_TERMINATE, FALSE, pid));
  if (!process) return kOpenForTerminateFailed;
  return ::TerminateProcess(process.get(), 0) ? kProcessTerminated : kTerminateFailed;
}

struct Psapi {
  EnumProcessesFn enumProcesses;
  EnumProcessModulesFn enumProcessModules;
  GetModuleBaseNameFn getModuleBaseName;
};

// Every running process identifier, in system order. The array grows while the system fills
// it completely, since a full array may mean that some identifiers did not fit.
bool ListProcessIds(const Psapi& psapi, std::vector<DWORD>& ids) {
  ids.assign(1024, 0);
  for (;;) {
    const DWORD capacity = static_cast<DWORD>(ids.size() * sizeof(DWORD));
    DWORD returned = 0;
    if (!psapi.enumProcesses(ids.data(), capacity, &returned)) return false;
    if (returned < capacity) {
      ids.resize(returned / sizeof(DWORD));
      return true;
    }
    ids.assign(ids.size() * 2, 0);
  }
}

// The executable base name of process `pid`, or "Unknown" when it cannot be read.
std::string ExecutableName(const Psapi& psapi, DWORD pid) {
  const qm::unique_kernel process(::OpenProcess(kQueryRights, FALSE, pid));
  HMODULE module = nullptr;
  DWORD needed = 0;
  if (!process || !psapi.enumProcessModules(process.get(), &module, sizeof module, &needed))
    return "Unknown";
  std::string name(kMaxNameLength + 2, '\0');
  for (;;) {
    const DWORD length =
        psapi.getModuleBaseName(process.get(), module, &name[0], static_cast<DWORD>(name.size()));
    if (length == 0) return "Unknown";
    // A name that fills the buffer may have been cut: read it again into a larger one.
    if (length < name.size() - 1) return name.substr(0, length);
    name.assign(name.size() * 2, '\0');
  }
}

int TerminateByPsapi(const std::string& target) {
  const qm::unique_library library(::LoadLibraryA("PSAPI.DLL"));
  if (!library) return kPsapiNotLoaded;
  const Psapi psapi{Bind<EnumProcessesFn>(library.get(), "EnumProcesses"),
                    Bind<EnumProcessModulesFn>(library.get(), "EnumProcessModules"),
                    Bind<GetModuleBaseNameFn>(library.get(), "GetModuleBaseNameA")};
  if (!psapi.enumProcesses || !psapi.enumProcessModules || !psapi.getModuleBaseName)
    return kPsapiExportMissing;
  std::vector<DWORD> ids;
  if (!ListProcessIds(psapi, ids)) return kProcessListFailed;
  for (const DWORD pid : ids)
    if (UpperAscii(ExecutableName(psapi, pid)) == target) return Terminate(pid);
  return kProcessNotRunning;
}

struct Toolhelp {
  CreateSnapshotFn createSnapshot;
  Process32Fn process32First, process32Next;
  Module32Fn module32First, module32Next;
};

enum class ModuleMatch { Found, NotFound, SnapshotFailed };

// Whether some module of process `pid` is named exactly `target`.
ModuleMatch HasModule(const Toolhelp& toolhelp, DWORD pid, const std::string& target) {
  const qm::unique_snapshot modules(toolhelp.createSnapshot(TH32CS_SNAPMODULE, pid));
  if (!modules) return ModuleMatch::SnapshotFailed;
  MODULEENTRY32 module{};
  module.dwSize = sizeof module;
  for (BOOL more = toolhelp.module32First(modules.get(), &module); more;
       more = toolhelp.module32Next(modules.get(), &module)) {
    if (target == module.szModule) return ModuleMatch::Found;
    module.dwSize = sizeof module;
  }
  return ModuleMatch::NotFound;
}

int TerminateByToolhelp(const std::string& target) {
  const qm::unique_library library(::LoadLibraryA("Kernel32.DLL"));
  if (!library) return kKernel32NotLoaded;
  const Toolhelp toolhelp{Bind<CreateSnapshotFn>(library.get(), "CreateToolhelp32Snapshot"),
                          Bind<Process32Fn>(library.get(), "Process32First"),
                          Bind<Process32Fn>(library.get(), "Process32Next"),
                          Bind<Module32Fn>(library.get(), "Module32First"),
                          Bind<Module32Fn>(library.get(), "Module32Next")};
  if (!toolhelp.createSnapshot || !toolhelp.process32First || !toolhelp.process32Next ||
      !toolhelp.module32First || !toolhelp.module32Next)
    return kToolhelpExportMissing;
  const qm::unique_snapshot processes(toolhelp.createSnapshot(TH32CS_SNAPPROCESS, 0));
  if (!processes) return kSnapshotFailed;
  PROCESSENTRY32 process{};
  process.dwSize = sizeof process;
  for (BOOL more = toolhelp.process32First(processes.get(), &process); more;
       more = toolhelp.process32Next(processes.get(), &process)) {
    switch (HasModule(toolhelp, process.th32ProcessID, target)) {
      case ModuleMatch::Found: return Terminate(process.th32ProcessID);
      case ModuleMatch::SnapshotFailed: return kSnapshotFailed;
      case ModuleMatch::NotFound: break;
    }
    process.dwSize = sizeof process;
  }
  return kProcessNotRunning;
}

}  // namespace

int TerminateProcessByName(const std::string& exeName) {
  if (exeName.empty() || exeName.size() > kMaxNameLength) return kBadProcessName;
  const std::string target = UpperAscii(exeName);
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (!::GetVersionExA(&version)) return kVersionUnreadable;
  switch (version.dwPlatformId) {
    case VER_PLATFORM_WIN32_NT: return TerminateByPsapi(target);
    case VER_PLATFORM_WIN32_WINDOWS: return TerminateByToolhelp(target);
    default: return kUnknownPlatform;
  }
}

}  // namespace cleanup
