// The simulated run-time loader: five system libraries whose exports are the simulation's
// own functions, served only by their full path in the system folder. Names compare without
// regard to case, and a name without an extension gets ".dll", as LoadLibraryA does. Module
// handles are fixed per library, so a handle taken under one machine is still recognised (and
// harmless) under the next.
#include <algorithm>
#include <cstring>

#include "platform/sim/state.h"

namespace sim {
namespace {

Machine::State& S() { return Machine::current().state(); }

template <typename F>
FARPROC Export(F* function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

// The service binding's entry points that the simulation does not model: they exist, so the
// binding resolves them, and each reports ERROR_CALL_NOT_IMPLEMENTED.
template <typename R>
R NotImplemented(R failure) {
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return failure;
}

HMODULE HandleOf(size_t index) {
  return reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x70000000 + 0x1000000 * index));
}

std::string Canonical(std::string name) {
  const size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos) name = name.substr(slash + 1);
  if (name.find('.') == std::string::npos) name += ".dll";
  return Upper(name);
}

SimModule* ModuleByName(Machine::State& s, const std::string& name) {
  const std::string wanted = Canonical(name);
  for (SimModule& m : s.modules)
    if (Upper(m.name) == wanted) return &m;
  return nullptr;
}

SimModule* ModuleByHandle(Machine::State& s, HMODULE h) {
  for (size_t i = 0; i < s.modules.size(); ++i)
    if (HandleOf(i) == h) return &s.modules[i];
  return nullptr;
}

// The library a load names when `path` is a library's full path in the system folder; null
// for a bare name, a path elsewhere or a library the machine does not have.
SimModule* ModuleAtSystemPath(Machine& m, const std::u16string& path, size_t* index) {
  const std::u16string folder = m.SystemDirectory() + u"\\";
  if (path.size() <= folder.size() || !EqualNoCaseW(path.substr(0, folder.size()), folder))
    return nullptr;
  const std::u16string name = path.substr(folder.size());
  if (name.find_first_of(u"\\/") != std::u16string::npos) return nullptr;
  auto& modules = m.state().modules;
  for (size_t i = 0; i < modules.size(); ++i) {
    if (Upper(modules[i].name) != Canonical(ToAnsi(name, false))) continue;
    *index = i;
    return &modules[i];
  }
  return nullptr;
}

// Every load: recorded as asked, then served from the system folder only.
HMODULE Load(const std::u16string& path, DWORD flags) {
  Machine& m = Machine::current();
  ++m.state().loadCalls;
  m.libraryLoads.push_back({path, flags});
  size_t index = 0;
  SimModule* module = ModuleAtSystemPath(m, path, &index);
  if (module == nullptr || module->failLoad) return Fail(ERROR_MOD_NOT_FOUND, HMODULE{});
  ++module->references;
  module->loadedFrom = path;
  return HandleOf(index);
}

// A name copied to a caller's buffer as GetModuleFileNameW does: cut to fit with its zero,
// answering the buffer's size and 122 when it was cut.
DWORD CopyName(const std::u16string& name, LPWSTR buffer, DWORD size) {
  if (buffer == nullptr || size == 0) return Fail(ERROR_INSUFFICIENT_BUFFER, DWORD{0});
  const size_t n = std::min<size_t>(name.size(), size - 1);
  name.copy(buffer, n);
  buffer[n] = 0;
  if (n < name.size()) return Fail(ERROR_INSUFFICIENT_BUFFER, size);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(n);
}

}  // namespace

void InstallModules(Machine::State& s) {
  SimModule advapi{"advapi32.dll", {}, false, 0, {}};
  auto& a = advapi.exports;
  a["ChangeServiceConfigA"] = Export(&ChangeServiceConfigA);
  a["ChangeServiceConfig2W"] = Export(&ChangeServiceConfig2W);
  a["CloseServiceHandle"] = Export(&CloseServiceHandle);
  a["ControlService"] = Export(&ControlService);
  a["CreateServiceA"] = Export(&CreateServiceA);
  a["DeleteService"] = Export(&DeleteService);
  a["EnumDependentServicesA"] = Export(&EnumDependentServicesA);
  a["EnumServicesStatusA"] = Export(&EnumServicesStatusA);
  a["GetServiceDisplayNameA"] = Export(&GetServiceDisplayNameA);
  a["GetServiceKeyNameA"] = Export(&GetServiceKeyNameA);
  a["LockServiceDatabase"] = Export(&LockServiceDatabase);
  a["NotifyBootConfigStatus"] = Export(&NotifyBootConfigStatus);
  a["OpenSCManagerA"] = Export(&OpenSCManagerA);
  a["OpenServiceA"] = Export(&OpenServiceA);
  a["QueryServiceConfigA"] = Export(&QueryServiceConfigA);
  a["QueryServiceConfig2W"] = Export(&QueryServiceConfig2W);
  a["QueryServiceLockStatusA"] = Export(&QueryServiceLockStatusA);
  a["QueryServiceStatus"] = Export(&QueryServiceStatus);
  a["StartServiceA"] = Export(&StartServiceA);
  a["QueryServiceObjectSecurity"] = Export(&QueryServiceObjectSecurity);
  a["SetServiceObjectSecurity"] = Export(&SetServiceObjectSecurity);
  a["UnlockServiceDatabase"] = Export(&UnlockServiceDatabase);
  a["RegConnectRegistryA"] = Export(&RegConnectRegistryA);
  a["RegOpenKeyExA"] = Export(&RegOpenKeyExA);
  a["RegCloseKey"] = Export(&RegCloseKey);
  a["RegEnumKeyExA"] = Export(&RegEnumKeyExA);
  a["RegQueryValueExA"] = Export(&RegQueryValueExA);
  a["InitiateSystemShutdownExA"] = Export(&InitiateSystemShutdownExA);
  a["RegEnumValueA"] = Export(&RegEnumValueA);
  a["RegQueryInfoKeyA"] = Export(&RegQueryInfoKeyA);
  a["CredEnumerateW"] = Export(&CredEnumerateW);
  a["RegCreateKeyExA"] = Export(&RegCreateKeyExA);
  a["RegDeleteKeyA"] = Export(&RegDeleteKeyA);
  a["RegDeleteValueA"] = Export(&RegDeleteValueA);
  a["RegSetValueExA"] = Export(&RegSetValueExA);
  a["OpenProcessToken"] = Export(&OpenProcessToken);
  a["LookupPrivilegeValueA"] = Export(&LookupPrivilegeValueA);
  a["AdjustTokenPrivileges"] = Export(&AdjustTokenPrivileges);
  a["RegOpenKeyExW"] = Export(&RegOpenKeyExW);
  a["RegCreateKeyExW"] = Export(&RegCreateKeyExW);
  a["RegEnumKeyExW"] = Export(&RegEnumKeyExW);
  a["RegEnumValueW"] = Export(&RegEnumValueW);
  a["RegDeleteKeyW"] = Export(&RegDeleteKeyW);
  a["RegDeleteValueW"] = Export(&RegDeleteValueW);
  a["RegQueryValueExW"] = Export(&RegQueryValueExW);
  a["RegSetValueExW"] = Export(&RegSetValueExW);

  SimModule psapi{"PSAPI.DLL", {}, false, 0, {}};
  psapi.exports["EnumProcesses"] = Export(&EnumProcesses);
  psapi.exports["EnumProcessModules"] = Export(&EnumProcessModules);
  psapi.exports["GetModuleBaseNameA"] = Export(&GetModuleBaseNameA);
  psapi.exports["GetModuleBaseNameW"] = Export(&GetModuleBaseNameW);

  SimModule kernel{"Kernel32.DLL", {}, false, 0, {}};
  auto& k = kernel.exports;
  k["CreateToolhelp32Snapshot"] = Export(&CreateToolhelp32Snapshot);
  k["Process32First"] = Export(&Process32First);
  k["Process32Next"] = Export(&Process32Next);
  k["Process32FirstW"] = Export(&Process32FirstW);
  k["Process32NextW"] = Export(&Process32NextW);
  k["Module32First"] = Export(&Module32First);
  k["Module32Next"] = Export(&Module32Next);
  k["K32EnumProcesses"] = Export(&EnumProcesses);
  k["K32EnumProcessModules"] = Export(&EnumProcessModules);
  k["K32GetModuleBaseNameA"] = Export(&GetModuleBaseNameA);
  k["K32GetModuleBaseNameW"] = Export(&GetModuleBaseNameW);
  k["OpenProcess"] = Export(&OpenProcess);
  k["TerminateProcess"] = Export(&TerminateProcess);
  k["CloseHandle"] = Export(&CloseHandle);
  k["GetVersionExA"] = Export(&GetVersionExA);
  k["Sleep"] = Export(&Sleep);
  k["Wow64DisableWow64FsRedirection"] = Export(&Wow64DisableWow64FsRedirection);
  k["Wow64RevertWow64FsRedirection"] = Export(&Wow64RevertWow64FsRedirection);

  // The shell's folders: shell32 on Windows 2000 and later, shfolder.dll where it is missing.
  SimModule shell32{"shell32.dll", {}, false, 0, {}};
  shell32.exports["SHGetFolderPathW"] = Export(&SHGetFolderPathW);
  SimModule shfolder{"SHFOLDER.DLL", {}, false, 0, {}};
  shfolder.exports["SHGetFolderPathW"] = Export(&SHGetFolderPathW);

  s.modules = {advapi, psapi, kernel, shell32, shfolder};
}

// ---- Machine: loader

void Machine::RemoveExport(const std::string& module, const std::string& function) {
  if (SimModule* m = ModuleByName(*state_, module)) m->exports.erase(function);
}

void Machine::ReplaceExport(const std::string& module, const std::string& function,
                            FARPROC address) {
  if (SimModule* m = ModuleByName(*state_, module)) m->exports[function] = address;
}

void Machine::FailLoad(const std::string& module) {
  if (SimModule* m = ModuleByName(*state_, module)) m->failLoad = true;
}

int Machine::LoadLibraryCalls() const { return state_->loadCalls; }

std::u16string Machine::SystemDirectory() const { return FromAnsi(windowsDirectory) + u"\\system32"; }
int Machine::FreeLibraryCalls() const { return state_->freeCalls; }

int Machine::LoadedLibraries() const {
  int total = 0;
  for (const SimModule& m : state_->modules) total += m.references;
  return total;
}

}  // namespace sim

// ---- Win32: loader

UINT WINAPI GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize) {
  const std::u16string dir = sim::Machine::current().SystemDirectory();
  if (lpBuffer == nullptr || uSize <= dir.size()) return static_cast<UINT>(dir.size() + 1);
  dir.copy(lpBuffer, dir.size());
  lpBuffer[dir.size()] = 0;
  return static_cast<UINT>(dir.size());
}

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
  if (lpLibFileName == nullptr) return sim::Fail(ERROR_INVALID_PARAMETER, HMODULE{});
  return sim::Load(sim::FromAnsi(lpLibFileName), 0);
}

HMODULE WINAPI LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE hFile, DWORD dwFlags) {
  if (lpLibFileName == nullptr || hFile != nullptr)
    return sim::Fail(ERROR_INVALID_PARAMETER, HMODULE{});
  return sim::Load(lpLibFileName, dwFlags);
}

DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
  auto& machine = sim::Machine::current();
  if (hModule == nullptr) return sim::CopyName(machine.programPath, lpFilename, nSize);
  const sim::SimModule* m = sim::ModuleByHandle(machine.state(), hModule);
  if (m == nullptr || m->references == 0) return sim::Fail(ERROR_MOD_NOT_FOUND, DWORD{0});
  return sim::CopyName(m->loadedFrom, lpFilename, nSize);
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName) {
  auto& s = sim::S();
  if (lpModuleName == nullptr) return sim::Fail(ERROR_INVALID_PARAMETER, HMODULE{});
  const std::string wanted = sim::Canonical(sim::ToAnsi(lpModuleName, false));
  for (size_t i = 0; i < s.modules.size(); ++i) {
    const sim::SimModule& m = s.modules[i];
    if (sim::Upper(m.name) != wanted) continue;
    if (wanted == "KERNEL32.DLL" || m.references > 0) return sim::HandleOf(i);
    break;
  }
  return sim::Fail(ERROR_MOD_NOT_FOUND, HMODULE{});
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  sim::SimModule* m = sim::ModuleByHandle(sim::S(), hModule);
  if (m == nullptr) return sim::Fail(ERROR_MOD_NOT_FOUND, FARPROC{});
  // Ordinals (a name pointer below 64K) are not exported by the simulated libraries.
  if (reinterpret_cast<uintptr_t>(lpProcName) < 0x10000) return sim::Fail(ERROR_PROC_NOT_FOUND, FARPROC{});
  auto it = m->exports.find(lpProcName);
  if (it == m->exports.end()) return sim::Fail(ERROR_PROC_NOT_FOUND, FARPROC{});
  return it->second;
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
  if (!sim::Machine::exists()) return TRUE;
  auto& s = sim::S();
  ++s.freeCalls;
  sim::SimModule* m = sim::ModuleByHandle(s, hLibModule);
  if (m == nullptr || m->references == 0) return sim::Fail(ERROR_MOD_NOT_FOUND, FALSE);
  --m->references;
  return TRUE;
}

// ---- Win32: entry points of the service binding that the simulation does not model

BOOL WINAPI ChangeServiceConfigA(SC_HANDLE, DWORD, DWORD, DWORD, LPCSTR, LPCSTR, LPDWORD, LPCSTR,
                                 LPCSTR, LPCSTR, LPCSTR) {
  return sim::NotImplemented<BOOL>(FALSE);
}
BOOL WINAPI ChangeServiceConfig2W(SC_HANDLE, DWORD, LPVOID) { return sim::NotImplemented<BOOL>(FALSE); }
SC_HANDLE WINAPI CreateServiceA(SC_HANDLE, LPCSTR, LPCSTR, DWORD, DWORD, DWORD, DWORD, LPCSTR,
                                LPCSTR, LPDWORD, LPCSTR, LPCSTR, LPCSTR) {
  return sim::NotImplemented<SC_HANDLE>(nullptr);
}
BOOL WINAPI EnumDependentServicesA(SC_HANDLE, DWORD, LPENUM_SERVICE_STATUSA, DWORD, LPDWORD,
                                   LPDWORD) {
  return sim::NotImplemented<BOOL>(FALSE);
}
SC_LOCK WINAPI LockServiceDatabase(SC_HANDLE) { return sim::NotImplemented<SC_LOCK>(nullptr); }
BOOL WINAPI UnlockServiceDatabase(SC_LOCK) { return sim::NotImplemented<BOOL>(FALSE); }
BOOL WINAPI NotifyBootConfigStatus(BOOL) { return sim::NotImplemented<BOOL>(FALSE); }
BOOL WINAPI QueryServiceConfigA(SC_HANDLE, LPQUERY_SERVICE_CONFIGA, DWORD, LPDWORD) {
  return sim::NotImplemented<BOOL>(FALSE);
}
BOOL WINAPI QueryServiceConfig2W(SC_HANDLE, DWORD, LPBYTE, DWORD, LPDWORD) {
  return sim::NotImplemented<BOOL>(FALSE);
}
BOOL WINAPI QueryServiceLockStatusA(SC_HANDLE, LPQUERY_SERVICE_LOCK_STATUSA, DWORD, LPDWORD) {
  return sim::NotImplemented<BOOL>(FALSE);
}
BOOL WINAPI StartServiceA(SC_HANDLE, DWORD, LPCSTR*) { return sim::NotImplemented<BOOL>(FALSE); }
BOOL WINAPI QueryServiceObjectSecurity(SC_HANDLE, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR, DWORD,
                                       LPDWORD) {
  return sim::NotImplemented<BOOL>(FALSE);
}
BOOL WINAPI SetServiceObjectSecurity(SC_HANDLE, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR) {
  return sim::NotImplemented<BOOL>(FALSE);
}
BOOL WINAPI InitiateSystemShutdownExA(LPSTR, LPSTR, DWORD, BOOL, BOOL, DWORD) {
  return sim::NotImplemented<BOOL>(FALSE);
}
BOOL WINAPI CredEnumerateW(LPCWSTR, DWORD, DWORD* Count, PCREDENTIALW** Credential) {
  if (Count) *Count = 0;
  if (Credential) *Credential = nullptr;
  return sim::NotImplemented<BOOL>(FALSE);
}
