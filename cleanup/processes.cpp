#include "cleanup/processes.h"

#include <algorithm>
#include <map>
#include <optional>
#include <vector>

#include "platform/ascii.h"
#include "platform/bind.h"
#include "platform/raii.h"
#include "platform/system_library.h"
#include "platform/text.h"
#include "platform/win32/win32.h"

namespace cleanup {
namespace {

using qm::UpperAscii;

using EnumProcessesFn = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
using EnumProcessModulesFn = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, DWORD*);
using GetModuleBaseNameFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPWSTR, DWORD);
using CreateSnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
using Process32Fn = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32*);
using Process32WFn = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32W*);
using Module32Fn = BOOL(WINAPI*)(HANDLE, MODULEENTRY32*);

constexpr std::string::size_type kMaxNameLength = 260;
constexpr DWORD kQueryRights = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;
// Keeps an identifier from reuse where the query rights are refused (Vista and later).
constexpr DWORD kHoldRights = PROCESS_QUERY_LIMITED_INFORMATION;
constexpr DWORD kEndRights = PROCESS_TERMINATE | SYNCHRONIZE;

// A running process that the termination has to deal with: one whose name matched, or one
// that nothing could name and that may therefore be a copy.
struct Candidate {
  size_t order;  // its place in the system's list
  DWORD pid;
  bool named;
  // Open while the candidate is dealt with, so that its identifier designates it; null when
  // nothing could be opened.
  qm::unique_kernel hold;
  // Named by a snapshot while nothing held it: the name must be read again once the
  // termination handle holds the identifier.
  bool confirm;
};

// What one walk over the running processes found, in the system's order. `failure` is set
// when the processes could not be listed (whole or, on the Windows 95 way, to the end).
struct Walk {
  std::optional<ProcessResult> failure;
  std::vector<Candidate> candidates;
};

Walk Failed(ProcessResult failure) { return {failure, {}}; }

struct Toolhelp {
  qm::unique_library library;
  CreateSnapshotFn createSnapshot = nullptr;
  Process32Fn process32First = nullptr, process32Next = nullptr;
  Process32WFn process32FirstW = nullptr, process32NextW = nullptr;  // the NT family's
  Module32Fn module32First = nullptr, module32Next = nullptr;
};

// Loads Kernel32.DLL from the system folder and binds the Toolhelp functions; the library
// stays null when it does not load. Which exports must exist is the caller's question.
Toolhelp BindToolhelp() {
  Toolhelp t;
  t.library = qm::LoadSystemLibrary("Kernel32.DLL");
  if (!t.library) return t;
  const HMODULE k = t.library.get();
  t.createSnapshot = qm::BindExport<CreateSnapshotFn>(k, "CreateToolhelp32Snapshot");
  t.process32First = qm::BindExport<Process32Fn>(k, "Process32First");
  t.process32Next = qm::BindExport<Process32Fn>(k, "Process32Next");
  t.process32FirstW = qm::BindExport<Process32WFn>(k, "Process32FirstW");
  t.process32NextW = qm::BindExport<Process32WFn>(k, "Process32NextW");
  t.module32First = qm::BindExport<Module32Fn>(k, "Module32First");
  t.module32Next = qm::BindExport<Module32Fn>(k, "Module32Next");
  return t;
}

bool ListsProcesses(const Toolhelp& t) {
  return t.createSnapshot && t.process32First && t.process32Next;
}

// Calls `visit(entry)` for each process of a fresh Toolhelp snapshot, walked with `first` and
// `next`, until it answers false; false when the snapshot cannot be taken. `Entry` is
// PROCESSENTRY32 (ANSI names, through the code page's best-fit mapping) or PROCESSENTRY32W
// (names as Windows holds them).
template <typename Entry, typename Visit>
bool ForEachSnapshotEntry(const Toolhelp& t, BOOL(WINAPI* first)(HANDLE, Entry*),
                          BOOL(WINAPI* next)(HANDLE, Entry*), Visit visit) {
  const qm::unique_snapshot processes(t.createSnapshot(TH32CS_SNAPPROCESS, 0));
  if (!processes) return false;
  Entry entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = first(processes.get(), &entry); more; more = next(processes.get(), &entry)) {
    if (!visit(entry)) break;
    entry.dwSize = sizeof entry;
  }
  return true;
}

template <typename Visit>
bool ForEachSnapshotProcess(const Toolhelp& t, Visit visit) {
  return ForEachSnapshotEntry(t, t.process32First, t.process32Next, visit);
}

// ---- NT way

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

// The executable base name of the process behind `process` as the log writes it (code page
// 1252, '?' for what it lacks); none when it cannot be read. It is read wide: through the ANSI
// code page's best-fit mapping a bystander's name ("\uFF34evTray.exe", "T\xE9vTray.exe" under
// 1251) could read as a product's on one machine and not on another.
std::optional<std::string> BaseName(const Psapi& psapi, HANDLE process) {
  HMODULE module = nullptr;
  DWORD needed = 0;
  if (!psapi.enumProcessModules(process, &module, sizeof module, &needed)) return std::nullopt;
  qm::WString name(kMaxNameLength + 2, WCHAR{});
  for (;;) {
    const DWORD length =
        psapi.getModuleBaseName(process, module, &name[0], static_cast<DWORD>(name.size()));
    if (length == 0) return std::nullopt;
    // A name that fills the buffer may have been cut: read it again into a larger one.
    if (length < name.size() - 1) return qm::Narrow(name.substr(0, length));
    name.assign(name.size() * 2, WCHAR{});
  }
}

// A process that PSAPI could not name, with what holds its identifier (may be null).
struct Unnamed {
  size_t order;
  DWORD pid;
  qm::unique_kernel hold;
};

// The names of one Toolhelp snapshot by identifier, read wide and written as the log writes
// them; none when Toolhelp cannot be bound or its snapshot fails.
std::optional<std::map<DWORD, std::string>> SnapshotNames() {
  const Toolhelp toolhelp = BindToolhelp();
  if (!toolhelp.library || !toolhelp.createSnapshot || !toolhelp.process32FirstW ||
      !toolhelp.process32NextW)
    return std::nullopt;
  std::map<DWORD, std::string> names;
  const bool listed = ForEachSnapshotEntry(toolhelp, toolhelp.process32FirstW,
                                           toolhelp.process32NextW,
                                           [&](const PROCESSENTRY32W& entry) {
                                             names.emplace(entry.th32ProcessID,
                                                           qm::Narrow(entry.szExeFile));
                                             return true;
                                           });
  if (!listed) return std::nullopt;
  return names;
}

struct NtWalk {
  const Psapi& psapi;
  const std::string& target;
  std::vector<Candidate> candidates;
  std::vector<Unnamed> unnamed;

  // Opens process `pid` for query only and reads its name through that handle, which is kept
  // for a match. Where the query is refused, the process is held for limited query at most.
  void Examine(size_t order, DWORD pid) {
    qm::unique_kernel query(::OpenProcess(kQueryRights, FALSE, pid));
    if (!query) {
      if (::GetLastError() == ERROR_INVALID_PARAMETER) return;  // no such process any more
      unnamed.push_back({order, pid, qm::unique_kernel(::OpenProcess(kHoldRights, FALSE, pid))});
      return;
    }
    const std::optional<std::string> name = BaseName(psapi, query.get());
    if (!name)
      unnamed.push_back({order, pid, std::move(query)});
    else if (UpperAscii(*name) == target)
      candidates.push_back({order, pid, true, std::move(query), false});
  }

  // Names what PSAPI could not from one Toolhelp snapshot, taken while each hold keeps its
  // identifier from being reused. A process the snapshot does not list has ended; without a
  // snapshot every such process stays a candidate that nothing could name.
  void NameUnreadable() {
    if (unnamed.empty()) return;
    const std::optional<std::map<DWORD, std::string>> names = SnapshotNames();
    for (Unnamed& p : unnamed) {
      if (!names) {
        candidates.push_back({p.order, p.pid, false, std::move(p.hold), false});
        continue;
      }
      const auto named = names->find(p.pid);
      if (named == names->end() || UpperAscii(named->second) != target) continue;
      const bool held = static_cast<bool>(p.hold);
      candidates.push_back({p.order, p.pid, true, std::move(p.hold), !held});
    }
    std::sort(candidates.begin(), candidates.end(),
              [](const Candidate& a, const Candidate& b) { return a.order < b.order; });
  }
};

Walk WalkByPsapi(const std::string& target) {
  // PSAPI is no known system library: only its full path keeps a planted copy from loading.
  const qm::unique_library library = qm::LoadSystemLibrary("PSAPI.DLL");
  if (!library) return Failed(ProcessResult::kPsapiNotLoaded);
  const Psapi psapi{qm::BindExport<EnumProcessesFn>(library.get(), "EnumProcesses"),
                    qm::BindExport<EnumProcessModulesFn>(library.get(), "EnumProcessModules"),
                    qm::BindExport<GetModuleBaseNameFn>(library.get(), "GetModuleBaseNameW")};
  if (!psapi.enumProcesses || !psapi.enumProcessModules || !psapi.getModuleBaseName)
    return Failed(ProcessResult::kPsapiExportMissing);
  std::vector<DWORD> ids;
  if (!ListProcessIds(psapi, ids)) return Failed(ProcessResult::kListFailed);
  NtWalk walk{psapi, target, {}, {}};
  for (size_t order = 0; order < ids.size(); ++order) walk.Examine(order, ids[order]);
  walk.NameUnreadable();
  return {std::nullopt, std::move(walk.candidates)};
}

// ---- Windows 95 way

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

Walk WalkByToolhelp(const std::string& target) {
  const Toolhelp toolhelp = BindToolhelp();
  if (!toolhelp.library) return Failed(ProcessResult::kKernel32NotLoaded);
  if (!ListsProcesses(toolhelp) || !toolhelp.module32First || !toolhelp.module32Next)
    return Failed(ProcessResult::kToolhelpExportMissing);
  Walk walk;
  const bool listed = ForEachSnapshotProcess(toolhelp, [&](const PROCESSENTRY32& entry) {
    switch (HasModule(toolhelp, entry.th32ProcessID, target)) {
      case ModuleMatch::Found:
        walk.candidates.push_back({walk.candidates.size(), entry.th32ProcessID, true, {}, false});
        return true;
      case ModuleMatch::SnapshotFailed: walk.failure = ProcessResult::kSnapshotFailed; return false;
      case ModuleMatch::NotFound: return true;
    }
    return true;
  });
  if (!listed) return Failed(ProcessResult::kSnapshotFailed);
  return walk;
}

// ---- both ways

// The candidates for `exeName` (1 to 260 characters), as the system's platform lists the
// processes.
Walk WalkProcesses(const std::string& exeName) {
  const std::string target = UpperAscii(exeName);
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (!::GetVersionExA(&version)) return Failed(ProcessResult::kVersionUnreadable);
  switch (version.dwPlatformId) {
    case VER_PLATFORM_WIN32_NT: return WalkByPsapi(target);
    case VER_PLATFORM_WIN32_WINDOWS: return WalkByToolhelp(target);
    default: return Failed(ProcessResult::kUnknownPlatform);
  }
}

bool ValidName(const std::string& exeName) {
  return !exeName.empty() && exeName.size() <= kMaxNameLength;
}

// The name process `pid` has in a fresh Toolhelp snapshot compared with `target`: true or
// false, none when there is no snapshot.
std::optional<bool> StillNamed(DWORD pid, const std::string& target) {
  const std::optional<std::map<DWORD, std::string>> names = SnapshotNames();
  if (!names) return std::nullopt;
  const auto named = names->find(pid);
  return named != names->end() && UpperAscii(named->second) == target;
}

bool HasEnded(HANDLE process, DWORD waitMs) {
  return ::WaitForSingleObject(process, waitMs) == WAIT_OBJECT_0;
}

// Ends one candidate: kTerminated once it has ended, nothing when it turns out to be no
// running copy (it ended by itself), otherwise the code of the failure.
std::optional<ProcessResult> End(const Candidate& candidate, const std::string& target) {
  if (!candidate.named) return ProcessResult::kUnnamed;
  const qm::unique_kernel process(::OpenProcess(kEndRights, FALSE, candidate.pid));
  if (!process) {
    if (::GetLastError() == ERROR_INVALID_PARAMETER) return std::nullopt;  // it has ended
    return ProcessResult::kOpenForTerminateFailed;
  }
  if (candidate.confirm) {
    const std::optional<bool> same = StillNamed(candidate.pid, target);
    if (!same) return ProcessResult::kUnnamed;
    if (!*same) return std::nullopt;  // the copy ended; its identifier names another now
  }
  if (!::TerminateProcess(process.get(), 0)) {
    if (HasEnded(process.get(), 0)) return std::nullopt;
    return ProcessResult::kTerminateFailed;
  }
  return HasEnded(process.get(), kEndWaitMs) ? ProcessResult::kTerminated
                                             : ProcessResult::kStillRunning;
}

}  // namespace

ProcessResult TerminateProcessByName(const std::string& exeName) {
  if (!ValidName(exeName)) return ProcessResult::kBadName;
  const Walk walk = WalkProcesses(exeName);
  const std::string target = UpperAscii(exeName);
  std::optional<ProcessResult> firstFailure;
  bool ended = false;
  for (const Candidate& candidate : walk.candidates) {
    const std::optional<ProcessResult> result = End(candidate, target);
    if (!result) continue;
    if (*result == ProcessResult::kTerminated)
      ended = true;
    else if (!firstFailure)
      firstFailure = result;
  }
  if (firstFailure) return *firstFailure;
  if (walk.failure) return *walk.failure;
  return ended ? ProcessResult::kTerminated : ProcessResult::kNotRunning;
}

int CountProcessesByName(const std::string& exeName) {
  if (!ValidName(exeName)) return 0;
  const Walk walk = WalkProcesses(exeName);
  if (walk.failure) return -1;
  for (const Candidate& candidate : walk.candidates)
    if (!candidate.named) return -1;
  return static_cast<int>(walk.candidates.size());
}

}  // namespace cleanup
