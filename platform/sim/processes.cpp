// The simulated process table with PSAPI and Toolhelp over it, process and token handles.
//
// The table holds the idle process (0: every OpenProcess of it fails with 87) and System
// (4: query and termination opens fail with 5; its module snapshot is empty), then the
// processes a test starts, in start order, which is the system order the listings report.
// The program itself runs as a process that is not in the table (GetCurrentProcessId);
// a Toolhelp module snapshot of process 0 means this current process, as on Windows.
// A process ends when TerminateProcess succeeds, or that much virtual time later for one that
// takes time to end; until then it is listed and its executable stays in use. An ended
// process stays reachable through the handles open on it, and so does its identifier:
// OpenProcess opens the ended process, and the identifier is not reused meanwhile.
#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "platform/sim/state.h"

namespace sim {
namespace {

Machine::State& S() { return Machine::current().state(); }

constexpr DWORD kCurrentProcessId = 2000;
constexpr const char* kCurrentExe = "Quelmark.exe";
constexpr DWORD kQueryRights = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;

Process* FindProcess(Machine::State& s, DWORD pid) {
  for (Process& p : s.processes)
    if (p.pid == pid && p.running) return &p;
  return nullptr;
}

// The ended process that had `pid`, while a handle still holds it.
Process* HeldEndedProcess(Machine::State& s, DWORD pid) {
  for (Process& p : s.processes) {
    if (p.pid != pid || p.running) continue;
    for (const auto& entry : s.kernel)
      if (entry.second.kind == KernelKind::Process && entry.second.pid == pid &&
          entry.second.process == p.object)
        return &p;
  }
  return nullptr;
}

// The process exits: it leaves the listings and its executable is no longer in use.
void Stop(Process& p) {
  p.running = false;
  p.endsAt = -1;
  if (p.image && p.image->heldOpen > 0) --p.image->heldOpen;
  p.image.reset();
}

KernelObject* Object(HANDLE h, KernelKind kind) {
  auto& kernel = S().kernel;
  auto it = kernel.find(reinterpret_cast<uintptr_t>(h));
  if (it == kernel.end() || it->second.kind != kind) return nullptr;
  return &it->second;
}

HANDLE NewObject(Machine::State& s, const KernelObject& k) {
  void* h = s.NewHandle();
  s.kernel[reinterpret_cast<uintptr_t>(h)] = k;
  return h;
}

// The module names of a process: the executable first.
std::vector<std::string> ModulesOf(const Process& p) {
  std::vector<std::string> names;
  if (p.pid == 4) return names;
  names.push_back(p.spec.exe);
  names.insert(names.end(), p.spec.modules.begin(), p.spec.modules.end());
  return names;
}

HMODULE ModuleHandle(size_t index) {
  return reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x400000 + 0x100000 * index));
}

// A process or module name (the test's code page 1252 bytes) as the narrow functions give it:
// through the ANSI code page with its best-fit mapping.
std::string AcpName(const std::string& name) { return ToAcp(FromAnsi(name), true); }

void CopyText(const std::string& text, char* buffer, size_t size) {
  const size_t n = std::min(text.size(), size - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

// A process or module name into a caller's buffer of `size` characters, cut to fit; answers
// the length copied. The narrow functions give it through the ANSI code page, the wide ones
// as Windows holds it.
DWORD CopyName(const std::string& name, char* buffer, size_t size) {
  CopyText(AcpName(name), buffer, size);
  return static_cast<DWORD>(std::strlen(buffer));
}
DWORD CopyName(const std::string& name, WCHAR* buffer, size_t size) {
  const std::u16string wide = FromAnsi(name);
  const size_t n = std::min(wide.size(), size - 1);
  wide.copy(buffer, n);
  buffer[n] = 0;
  return static_cast<DWORD>(n);
}

// The process object a process handle designates, running or ended: a handle keeps its
// process even when the identifier now names another.
Process* HeldProcess(const KernelObject& k) {
  for (Process& p : S().processes)
    if (p.pid == k.pid && p.object == k.process) return &p;
  return nullptr;
}

// The process a query handle designates, when the handle grants query and read.
Process* QueriedProcess(HANDLE h) {
  KernelObject* k = Object(h, KernelKind::Process);
  if (k == nullptr) return Fail(ERROR_INVALID_HANDLE, nullptr);
  if ((k->access & kQueryRights) != kQueryRights) return Fail(ERROR_ACCESS_DENIED, nullptr);
  Process* p = HeldProcess(*k);
  if (p == nullptr) return Fail(ERROR_INVALID_HANDLE, nullptr);
  return p->running ? p : Fail(ERROR_PARTIAL_COPY, nullptr);
}

void NameRead(DWORD pid) {
  auto& machine = Machine::current();
  if (machine.onProcessNameRead) machine.onProcessNameRead(pid);
}

// GetModuleBaseNameA and W: a null module handle names the executable, as on Windows.
template <typename Char>
DWORD ModuleBaseName(HANDLE process, HMODULE module, Char* buffer, DWORD size) {
  Process* p = QueriedProcess(process);
  if (p == nullptr) return 0;
  if (buffer == nullptr || size == 0) return Fail(ERROR_INSUFFICIENT_BUFFER, DWORD{0});
  const std::vector<std::string> modules = ModulesOf(*p);
  size_t index = 0;
  if (module != nullptr) {
    while (index < modules.size() && ModuleHandle(index) != module) ++index;
  }
  if (index >= modules.size()) return Fail(ERROR_INVALID_HANDLE, DWORD{0});
  const DWORD length = CopyName(modules[index], buffer, size);
  NameRead(p->pid);
  return length;
}

}  // namespace

// ---- Machine: processes

namespace {

void Start(Machine::State& s, const ProcessSpec& spec, DWORD pid) {
  Process p;
  p.pid = pid;
  p.object = s.nextProcessObject++;
  p.spec = spec;
  if (!spec.image.empty()) {
    p.image = FileAt(s, FromAnsi(spec.image), true);
    if (p.image) ++p.image->heldOpen;
  }
  s.processes.push_back(p);
}

}  // namespace

DWORD Machine::StartProcess(const ProcessSpec& spec) {
  const DWORD pid = state_->nextPid;
  state_->nextPid += 4;
  Start(*state_, spec, pid);
  return pid;
}

void Machine::StartProcessWithId(const ProcessSpec& spec, DWORD pid) {
  if (IsRunning(pid)) throw std::logic_error("sim: process identifier in use");
  if (IdentifierHeld(pid)) throw std::logic_error("sim: a handle still holds this identifier");
  Start(*state_, spec, pid);
}

bool Machine::IdentifierHeld(DWORD pid) const {
  return HeldEndedProcess(*state_, pid) != nullptr;
}

void Machine::EndProcess(DWORD pid) {
  if (Process* p = FindProcess(*state_, pid)) Stop(*p);
}

void EndDueProcesses(Machine::State& s) {
  for (Process& p : s.processes)
    if (p.running && p.endsAt >= 0 && s.now >= static_cast<uint64_t>(p.endsAt)) Stop(p);
}

bool Machine::IsRunning(DWORD pid) const {
  for (const Process& p : state_->processes)
    if (p.pid == pid && p.running) return true;
  return false;
}

std::vector<DWORD> Machine::RunningIds(const std::string& exe) const {
  std::vector<DWORD> ids;
  for (const Process& p : state_->processes)
    if (p.running && EqualNoCase(p.spec.exe, exe)) ids.push_back(p.pid);
  return ids;
}

int Machine::OpenKernelHandles() const { return static_cast<int>(state_->kernel.size()); }

}  // namespace sim

// ---- Win32: processes

HANDLE WINAPI GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)); }

DWORD WINAPI GetCurrentProcessId() { return sim::kCurrentProcessId; }

// An identifier that a handle holds still opens the ended process it had, as on Windows.
HANDLE WINAPI OpenProcess(DWORD dwDesiredAccess, BOOL, DWORD dwProcessId) {
  auto& machine = sim::Machine::current();
  auto& s = machine.state();
  sim::RecordOpen(s, sim::OpenKind::Process, sim::FromAnsi(std::to_string(dwProcessId)),
                  dwDesiredAccess);
  const bool limited = (dwDesiredAccess & PROCESS_QUERY_LIMITED_INFORMATION) != 0;
  if (limited && machine.version.dwMajorVersion < 6)
    return sim::Fail(ERROR_INVALID_PARAMETER, HANDLE{});  // no such right before Vista
  sim::Process* p = sim::FindProcess(s, dwProcessId);
  if (p == nullptr) p = sim::HeldEndedProcess(s, dwProcessId);
  if (dwProcessId == 0 || p == nullptr) return sim::Fail(ERROR_INVALID_PARAMETER, HANDLE{});
  if ((dwDesiredAccess & sim::kQueryRights) && p->spec.queryDenied)
    return sim::Fail(ERROR_ACCESS_DENIED, HANDLE{});
  if (limited && p->spec.limitedQueryDenied)
    return sim::Fail(ERROR_ACCESS_DENIED, HANDLE{});
  if ((dwDesiredAccess & PROCESS_TERMINATE) && p->spec.terminateDenied)
    return sim::Fail(ERROR_ACCESS_DENIED, HANDLE{});
  sim::KernelObject k;
  k.kind = sim::KernelKind::Process;
  k.access = dwDesiredAccess;
  k.pid = dwProcessId;
  k.process = p->object;
  return sim::NewObject(s, k);
}

BOOL WINAPI TerminateProcess(HANDLE hProcess, UINT uExitCode) {
  if (hProcess == GetCurrentProcess()) throw sim::ProcessExit{uExitCode};
  sim::KernelObject* k = sim::Object(hProcess, sim::KernelKind::Process);
  if (k == nullptr) return sim::Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!(k->access & PROCESS_TERMINATE)) return sim::Fail(ERROR_ACCESS_DENIED, FALSE);
  // An ended process cannot be terminated again: Windows answers 5.
  sim::Process* p = sim::HeldProcess(*k);
  if (p == nullptr || !p->running || p->spec.terminateFails)
    return sim::Fail(ERROR_ACCESS_DENIED, FALSE);
  const int delay = p->spec.endDelayMs;
  if (delay == 0) {
    sim::Stop(*p);
  } else if (delay > 0 && p->endsAt < 0) {
    p->endsAt = static_cast<int64_t>(sim::S().now) + delay;
  }
  return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  auto& machine = sim::Machine::current();
  sim::KernelObject* k = sim::Object(hHandle, sim::KernelKind::Process);
  if (k == nullptr) return sim::Fail(ERROR_INVALID_HANDLE, DWORD{WAIT_FAILED});
  if (!(k->access & SYNCHRONIZE)) return sim::Fail(ERROR_ACCESS_DENIED, DWORD{WAIT_FAILED});
  sim::Process* p = sim::HeldProcess(*k);
  if (p == nullptr || !p->running) return WAIT_OBJECT_0;
  const uint64_t now = machine.state().now;
  const bool endsInTime =
      p->endsAt >= 0 && (dwMilliseconds == INFINITE ||
                         static_cast<uint64_t>(p->endsAt) <= now + dwMilliseconds);
  if (endsInTime) {
    machine.Advance(static_cast<DWORD>(static_cast<uint64_t>(p->endsAt) - now));
    return WAIT_OBJECT_0;
  }
  if (dwMilliseconds == INFINITE) throw std::logic_error("sim: waits for ever on a process");
  machine.Advance(dwMilliseconds);
  return WAIT_TIMEOUT;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
  if (!sim::Machine::exists()) return TRUE;
  return sim::S().kernel.erase(reinterpret_cast<uintptr_t>(hObject))
             ? TRUE
             : sim::Fail(ERROR_INVALID_HANDLE, FALSE);
}

void WINAPI ExitProcess(UINT uExitCode) { throw sim::ProcessExit{uExitCode}; }

// ---- PSAPI

BOOL WINAPI EnumProcesses(DWORD* lpidProcess, DWORD cb, LPDWORD lpcbNeeded) {
  if (lpidProcess == nullptr || lpcbNeeded == nullptr) return sim::Fail(ERROR_NOACCESS, FALSE);
  DWORD written = 0;
  for (const sim::Process& p : sim::S().processes) {
    if (!p.running) continue;
    if ((written + 1) * sizeof(DWORD) > cb) break;
    lpidProcess[written++] = p.pid;
  }
  *lpcbNeeded = written * static_cast<DWORD>(sizeof(DWORD));
  return TRUE;
}

BOOL WINAPI EnumProcessModules(HANDLE hProcess, HMODULE* lphModule, DWORD cb, LPDWORD lpcbNeeded) {
  sim::Process* p = sim::QueriedProcess(hProcess);
  if (p == nullptr) return FALSE;
  const std::vector<std::string> modules = sim::ModulesOf(*p);
  if (modules.empty() || p->spec.modulesUnreadable) return sim::Fail(ERROR_PARTIAL_COPY, FALSE);
  const size_t fit = std::min<size_t>(modules.size(), cb / sizeof(HMODULE));
  for (size_t i = 0; i < fit; ++i) lphModule[i] = sim::ModuleHandle(i);
  if (lpcbNeeded) *lpcbNeeded = static_cast<DWORD>(modules.size() * sizeof(HMODULE));
  return TRUE;
}

DWORD WINAPI GetModuleBaseNameA(HANDLE hProcess, HMODULE hModule, LPSTR lpBaseName, DWORD nSize) {
  return sim::ModuleBaseName(hProcess, hModule, lpBaseName, nSize);
}

DWORD WINAPI GetModuleBaseNameW(HANDLE hProcess, HMODULE hModule, LPWSTR lpBaseName, DWORD nSize) {
  return sim::ModuleBaseName(hProcess, hModule, lpBaseName, nSize);
}

// ---- Toolhelp

HANDLE WINAPI CreateToolhelp32Snapshot(DWORD dwFlags, DWORD th32ProcessID) {
  auto& s = sim::S();
  sim::KernelObject k;
  k.kind = sim::KernelKind::Snapshot;
  if (dwFlags & TH32CS_SNAPPROCESS) {
    k.snapshot.ofProcesses = true;
    for (const sim::Process& p : s.processes)
      if (p.running) k.snapshot.processes.emplace_back(p.pid, p.spec.exe);
    return sim::NewObject(s, k);
  }
  if (dwFlags & TH32CS_SNAPMODULE) {
    k.snapshot.ofProcesses = false;
    if (th32ProcessID == 0 || th32ProcessID == sim::kCurrentProcessId) {
      k.snapshot.ownerPid = sim::kCurrentProcessId;
      k.snapshot.modules = {sim::kCurrentExe, "ntdll.dll", "kernel32.dll"};
      return sim::NewObject(s, k);
    }
    sim::Process* p = sim::FindProcess(s, th32ProcessID);
    if (p == nullptr) return sim::Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    if (p->spec.queryDenied && p->pid != 4) return sim::Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    k.snapshot.ownerPid = p->pid;
    k.snapshot.modules = sim::ModulesOf(*p);
    return sim::NewObject(s, k);
  }
  return sim::Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
}

namespace {

template <typename Entry>
BOOL ProcessWalk(HANDLE h, Entry* lppe, bool first) {
  sim::KernelObject* k = sim::Object(h, sim::KernelKind::Snapshot);
  if (k == nullptr || !k->snapshot.ofProcesses) return sim::Fail(ERROR_INVALID_HANDLE, FALSE);
  if (lppe == nullptr || lppe->dwSize < sizeof(Entry))
    return sim::Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  if (first) k->snapshot.next = 0;
  if (k->snapshot.next >= k->snapshot.processes.size()) return sim::Fail(ERROR_NO_MORE_FILES, FALSE);
  const auto& entry = k->snapshot.processes[k->snapshot.next++];
  const DWORD size = lppe->dwSize;
  std::memset(lppe, 0, sizeof(Entry));
  lppe->dwSize = size;
  lppe->th32ProcessID = entry.first;
  lppe->cntThreads = 1;
  sim::CopyName(entry.second, lppe->szExeFile, MAX_PATH);
  sim::NameRead(entry.first);
  return TRUE;
}

BOOL ModuleWalk(HANDLE h, LPMODULEENTRY32 lpme, bool first) {
  sim::KernelObject* k = sim::Object(h, sim::KernelKind::Snapshot);
  if (k == nullptr || k->snapshot.ofProcesses) return sim::Fail(ERROR_INVALID_HANDLE, FALSE);
  if (lpme == nullptr || lpme->dwSize < sizeof(MODULEENTRY32))
    return sim::Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  if (first) k->snapshot.next = 0;
  if (k->snapshot.next >= k->snapshot.modules.size()) return sim::Fail(ERROR_NO_MORE_FILES, FALSE);
  const size_t index = k->snapshot.next++;
  const DWORD size = lpme->dwSize;
  std::memset(lpme, 0, sizeof(MODULEENTRY32));
  lpme->dwSize = size;
  lpme->th32ModuleID = 1;
  lpme->th32ProcessID = k->snapshot.ownerPid;
  lpme->hModule = sim::ModuleHandle(index);
  lpme->modBaseAddr = reinterpret_cast<BYTE*>(lpme->hModule);
  sim::CopyText(sim::AcpName(k->snapshot.modules[index]), lpme->szModule, sizeof(lpme->szModule));
  sim::CopyText("C:\\Program Files\\" + k->snapshot.modules[index], lpme->szExePath,
                sizeof(lpme->szExePath));
  return TRUE;
}

}  // namespace

BOOL WINAPI Process32First(HANDLE hSnapshot, LPPROCESSENTRY32 lppe) {
  return ProcessWalk(hSnapshot, lppe, true);
}
BOOL WINAPI Process32Next(HANDLE hSnapshot, LPPROCESSENTRY32 lppe) {
  return ProcessWalk(hSnapshot, lppe, false);
}
BOOL WINAPI Process32FirstW(HANDLE hSnapshot, LPPROCESSENTRY32W lppe) {
  return ProcessWalk(hSnapshot, lppe, true);
}
BOOL WINAPI Process32NextW(HANDLE hSnapshot, LPPROCESSENTRY32W lppe) {
  return ProcessWalk(hSnapshot, lppe, false);
}
BOOL WINAPI Module32First(HANDLE hSnapshot, LPMODULEENTRY32 lpme) {
  return ModuleWalk(hSnapshot, lpme, true);
}
BOOL WINAPI Module32Next(HANDLE hSnapshot, LPMODULEENTRY32 lpme) {
  return ModuleWalk(hSnapshot, lpme, false);
}

// ---- token

BOOL WINAPI OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle) {
  if (TokenHandle == nullptr) return sim::Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (ProcessHandle != GetCurrentProcess() &&
      sim::Object(ProcessHandle, sim::KernelKind::Process) == nullptr)
    return sim::Fail(ERROR_INVALID_HANDLE, FALSE);
  sim::KernelObject k;
  k.kind = sim::KernelKind::Token;
  k.access = DesiredAccess;
  *TokenHandle = sim::NewObject(sim::S(), k);
  return TRUE;
}

BOOL WINAPI LookupPrivilegeValueA(LPCSTR, LPCSTR lpName, PLUID lpLuid) {
  if (lpName == nullptr || lpLuid == nullptr) return sim::Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (!sim::EqualNoCase(lpName, SE_SHUTDOWN_NAME)) return sim::Fail(ERROR_NO_SUCH_PRIVILEGE, FALSE);
  lpLuid->LowPart = 19;  // the shutdown privilege's value on Windows
  lpLuid->HighPart = 0;
  return TRUE;
}

BOOL WINAPI AdjustTokenPrivileges(HANDLE TokenHandle, BOOL DisableAllPrivileges,
                                  PTOKEN_PRIVILEGES NewState, DWORD, PTOKEN_PRIVILEGES,
                                  PDWORD ReturnLength) {
  sim::KernelObject* k = sim::Object(TokenHandle, sim::KernelKind::Token);
  if (k == nullptr) return sim::Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!(k->access & TOKEN_ADJUST_PRIVILEGES)) return sim::Fail(ERROR_ACCESS_DENIED, FALSE);
  if (ReturnLength) *ReturnLength = 0;
  auto& machine = sim::Machine::current();
  auto& s = machine.state();
  if (DisableAllPrivileges) {
    s.shutdownPrivilegeEnabled = false;
    return sim::Fail(ERROR_SUCCESS, TRUE);
  }
  if (NewState == nullptr) return sim::Fail(ERROR_INVALID_PARAMETER, FALSE);
  bool allAssigned = true;
  for (DWORD i = 0; i < NewState->PrivilegeCount; ++i) {
    const LUID_AND_ATTRIBUTES& p = NewState->Privileges[i];
    const bool shutdown = p.Luid.LowPart == 19 && p.Luid.HighPart == 0;
    if (!shutdown || !machine.shutdownPrivilege) {
      allAssigned = false;
      continue;
    }
    s.shutdownPrivilegeEnabled = (p.Attributes & SE_PRIVILEGE_ENABLED) != 0;
  }
  // Success either way; the last error tells whether every privilege was assigned.
  return sim::Fail(allAssigned ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED, TRUE);
}
