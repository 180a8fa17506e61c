// The simulated service control manager.
//
// Services are kept in case-insensitive alphabetical order of their key names, the order
// EnumServicesStatusA reports. A state is a function of the virtual clock (ServiceScript), so
// a test advances time, or the program sleeps, and the service moves on. A service marked for
// deletion disappears, with its key under HKLM\SYSTEM\CurrentControlSet\Services, once its
// last handle is closed.
#include <algorithm>
#include <cstring>

#include "platform/sim/state.h"

namespace sim {
namespace {

Machine::State& S() { return Machine::current().state(); }

const char* const kServicesKey = "SYSTEM\\CurrentControlSet\\Services";

ScObject* Sc(SC_HANDLE h) {
  auto& sc = S().sc;
  auto it = sc.find(reinterpret_cast<uintptr_t>(h));
  return it == sc.end() ? nullptr : &it->second;
}

SC_HANDLE NewSc(Machine::State& s, const ScObject& o) {
  void* h = s.NewHandle();
  s.sc[reinterpret_cast<uintptr_t>(h)] = o;
  if (o.service) ++o.service->handles;
  return static_cast<SC_HANDLE>(h);
}

void FillStatus(const Service& svc, uint64_t now, LPSERVICE_STATUS status) {
  if (status == nullptr) return;
  std::memset(status, 0, sizeof(*status));
  status->dwServiceType = svc.spec.type;
  status->dwCurrentState = ServiceStateAt(svc, now);
  status->dwControlsAccepted =
      status->dwCurrentState == SERVICE_RUNNING ? svc.spec.controlsAccepted : 0;
}

bool Known(DWORD control) {
  return control >= SERVICE_CONTROL_STOP && control <= SERVICE_CONTROL_PARAMCHANGE;
}

DWORD RightFor(DWORD control) {
  switch (control) {
    case SERVICE_CONTROL_STOP: return SERVICE_STOP;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
    case SERVICE_CONTROL_PARAMCHANGE: return SERVICE_PAUSE_CONTINUE;
    case SERVICE_CONTROL_INTERROGATE: return SERVICE_INTERROGATE;
    default: return SERVICE_USER_DEFINED_CONTROL;
  }
}

DWORD AcceptFor(DWORD control) {
  switch (control) {
    case SERVICE_CONTROL_STOP: return SERVICE_ACCEPT_STOP;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE: return SERVICE_ACCEPT_PAUSE_CONTINUE;
    case SERVICE_CONTROL_PARAMCHANGE: return SERVICE_ACCEPT_PARAMCHANGE;
    default: return 0;
  }
}

// The reply of a running service to a control it accepts.
void Apply(Service& svc, DWORD control, uint64_t now, Machine& machine) {
  if (control != SERVICE_CONTROL_STOP) return;
  machine.stopRequestTimes.push_back(static_cast<DWORD>(now));
  if (!svc.spec.script.ignoresStop) svc.stopRequestedAt = static_cast<int64_t>(now);
}

}  // namespace

DWORD ServiceStateAt(const Service& svc, uint64_t now) {
  const ServiceScript& script = svc.spec.script;
  if (svc.stopRequestedAt >= 0) {
    if (script.stopDelayMs < 0) return SERVICE_STOP_PENDING;
    const uint64_t done = static_cast<uint64_t>(svc.stopRequestedAt) + script.stopDelayMs;
    return now < done ? SERVICE_STOP_PENDING : SERVICE_STOPPED;
  }
  if (script.startPendingUntilMs >= 0)
    return now < static_cast<uint64_t>(script.startPendingUntilMs) ? SERVICE_START_PENDING
                                                                   : script.stateAfterStart;
  return svc.spec.state;
}

std::shared_ptr<Service> FindService(Machine::State& s, const std::string& name) {
  for (auto& svc : s.services)
    if (!svc->gone && EqualNoCase(svc->spec.name, name)) return svc;
  return nullptr;
}

void CollectServices(Machine::State& s) {
  for (auto& svc : s.services) {
    // Windows keeps a running service listed until it stops as well; the simulation, like
    // Wine, removes it as soon as its last handle closes.
    if (svc->gone || !svc->marked || svc->handles > 0) continue;
    svc->gone = true;
    RegistryDeleteTree(RegistryKeyAt(s, HKEY_LOCAL_MACHINE,
                                     std::string(kServicesKey) + "\\" + svc->spec.name));
  }
  s.services.erase(std::remove_if(s.services.begin(), s.services.end(),
                                  [](const auto& svc) { return svc->gone; }),
                   s.services.end());
}

// ---- Machine: services

void Machine::AddService(const ServiceSpec& spec) {
  auto svc = std::make_shared<Service>();
  svc->spec = spec;
  if (svc->spec.displayName.empty()) svc->spec.displayName = spec.name;
  auto& list = state_->services;
  auto at = std::find_if(list.begin(), list.end(), [&](const auto& other) {
    return Upper(other->spec.name) > Upper(spec.name);
  });
  list.insert(at, svc);
  const std::string key = std::string(kServicesKey) + "\\" + spec.name;
  SetString(HKEY_LOCAL_MACHINE, key, "DisplayName", svc->spec.displayName);
  SetDword(HKEY_LOCAL_MACHINE, key, "Type", spec.type);
  SetDword(HKEY_LOCAL_MACHINE, key, "Start", SERVICE_AUTO_START);
  SetDword(HKEY_LOCAL_MACHINE, key, "ErrorControl", SERVICE_ERROR_NORMAL);
}

bool Machine::ServiceInstalled(const std::string& name) const {
  CollectServices(*state_);
  return FindService(*state_, name) != nullptr;
}

bool Machine::ServiceMarkedForDeletion(const std::string& name) const {
  auto svc = FindService(*state_, name);
  return svc && svc->marked;
}

DWORD Machine::ServiceState(const std::string& name) const {
  auto svc = FindService(*state_, name);
  return svc ? ServiceStateAt(*svc, state_->now) : 0;
}

void Machine::DenyManagerOpen() { state_->denyManagerOpen = true; }

void Machine::DenyServiceOpen(const std::string& name) {
  if (auto svc = FindService(*state_, name)) svc->denyOpen = true;
}

void Machine::DenyServiceControl(const std::string& name) {
  if (auto svc = FindService(*state_, name)) svc->denyControl = true;
}

void Machine::DenyServiceDelete(const std::string& name) {
  if (auto svc = FindService(*state_, name)) svc->denyDelete = true;
}

int Machine::OpenServiceHandles() const { return static_cast<int>(state_->sc.size()); }

}  // namespace sim

// ---- Win32: service control manager

SC_HANDLE WINAPI OpenSCManagerA(LPCSTR lpMachineName, LPCSTR lpDatabaseName,
                                DWORD dwDesiredAccess) {
  auto& s = sim::S();
  sim::RecordOpen(s, sim::OpenKind::ServiceManager, u"", dwDesiredAccess);
  sim::CollectServices(s);
  if (lpMachineName != nullptr && *lpMachineName != '\0')
    return sim::Fail(RPC_S_SERVER_UNAVAILABLE, SC_HANDLE{});
  if (lpDatabaseName != nullptr && *lpDatabaseName != '\0' &&
      !sim::EqualNoCase(lpDatabaseName, SERVICES_ACTIVE_DATABASEA))
    return sim::Fail(sim::EqualNoCase(lpDatabaseName, SERVICES_FAILED_DATABASEA)
                         ? ERROR_DATABASE_DOES_NOT_EXIST
                         : ERROR_INVALID_NAME,
                     SC_HANDLE{});
  if (s.denyManagerOpen) return sim::Fail(ERROR_ACCESS_DENIED, SC_HANDLE{});
  sim::ScObject o;
  o.manager = true;
  o.access = dwDesiredAccess | SC_MANAGER_CONNECT;
  return sim::NewSc(s, o);
}

SC_HANDLE WINAPI OpenServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName, DWORD dwDesiredAccess) {
  auto& s = sim::S();
  sim::RecordOpen(s, sim::OpenKind::Service, sim::FromAnsi(lpServiceName ? lpServiceName : ""),
                  dwDesiredAccess);
  sim::CollectServices(s);
  sim::ScObject* m = sim::Sc(hSCManager);
  if (m == nullptr || !m->manager) return sim::Fail(ERROR_INVALID_HANDLE, SC_HANDLE{});
  if (lpServiceName == nullptr || *lpServiceName == '\0')
    return sim::Fail(ERROR_INVALID_NAME, SC_HANDLE{});
  auto svc = sim::FindService(s, lpServiceName);
  if (!svc) return sim::Fail(ERROR_SERVICE_DOES_NOT_EXIST, SC_HANDLE{});
  if (svc->denyOpen) return sim::Fail(ERROR_ACCESS_DENIED, SC_HANDLE{});
  sim::ScObject o;
  o.manager = false;
  o.access = dwDesiredAccess;
  o.service = svc;
  return sim::NewSc(s, o);
}

BOOL WINAPI CloseServiceHandle(SC_HANDLE hSCObject) {
  if (!sim::Machine::exists()) return TRUE;
  auto& s = sim::S();
  auto it = s.sc.find(reinterpret_cast<uintptr_t>(hSCObject));
  if (it == s.sc.end()) return sim::Fail(ERROR_INVALID_HANDLE, FALSE);
  if (it->second.service) --it->second.service->handles;
  s.sc.erase(it);
  sim::CollectServices(s);
  return TRUE;
}

BOOL WINAPI ControlService(SC_HANDLE hService, DWORD dwControl, LPSERVICE_STATUS lpServiceStatus) {
  auto& machine = sim::Machine::current();
  auto& s = machine.state();
  sim::ScObject* o = sim::Sc(hService);
  if (o == nullptr || o->manager) return sim::Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!sim::Known(dwControl) && (dwControl < 128 || dwControl > 255))
    return sim::Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (dwControl == SERVICE_CONTROL_SHUTDOWN) return sim::Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (!(o->access & sim::RightFor(dwControl))) return sim::Fail(ERROR_ACCESS_DENIED, FALSE);
  sim::Service& svc = *o->service;
  if (svc.denyControl) return sim::Fail(ERROR_ACCESS_DENIED, FALSE);
  const DWORD state = sim::ServiceStateAt(svc, s.now);
  sim::FillStatus(svc, s.now, lpServiceStatus);
  if (state == SERVICE_STOPPED) return sim::Fail(ERROR_SERVICE_NOT_ACTIVE, FALSE);
  if (dwControl == SERVICE_CONTROL_INTERROGATE) return TRUE;
  if (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING)
    return sim::Fail(ERROR_SERVICE_CANNOT_ACCEPT_CTRL, FALSE);
  const DWORD accept = sim::AcceptFor(dwControl);
  if (dwControl < 128 ? !(svc.spec.controlsAccepted & accept) : false)
    return sim::Fail(ERROR_INVALID_SERVICE_CONTROL, FALSE);
  sim::Apply(svc, dwControl, s.now, machine);
  sim::FillStatus(svc, s.now, lpServiceStatus);
  return TRUE;
}

BOOL WINAPI DeleteService(SC_HANDLE hService) {
  sim::ScObject* o = sim::Sc(hService);
  if (o == nullptr || o->manager) return sim::Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!(o->access & DELETE) || o->service->denyDelete) return sim::Fail(ERROR_ACCESS_DENIED, FALSE);
  if (o->service->marked) return sim::Fail(ERROR_SERVICE_MARKED_FOR_DELETE, FALSE);
  o->service->marked = true;
  return TRUE;
}

BOOL WINAPI QueryServiceStatus(SC_HANDLE hService, LPSERVICE_STATUS lpServiceStatus) {
  sim::ScObject* o = sim::Sc(hService);
  if (o == nullptr || o->manager) return sim::Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!(o->access & SERVICE_QUERY_STATUS)) return sim::Fail(ERROR_ACCESS_DENIED, FALSE);
  if (lpServiceStatus == nullptr) return sim::Fail(ERROR_NOACCESS, FALSE);
  sim::FillStatus(*o->service, sim::S().now, lpServiceStatus);
  return TRUE;
}

BOOL WINAPI EnumServicesStatusA(SC_HANDLE hSCManager, DWORD dwServiceType, DWORD dwServiceState,
                                LPENUM_SERVICE_STATUSA lpServices, DWORD cbBufSize,
                                LPDWORD pcbBytesNeeded, LPDWORD lpServicesReturned,
                                LPDWORD lpResumeHandle) {
  auto& machine = sim::Machine::current();
  auto& s = machine.state();
  sim::CollectServices(s);
  sim::ScObject* m = sim::Sc(hSCManager);
  if (m == nullptr || !m->manager) return sim::Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!(m->access & SC_MANAGER_ENUMERATE_SERVICE)) return sim::Fail(ERROR_ACCESS_DENIED, FALSE);
  if (pcbBytesNeeded == nullptr || lpServicesReturned == nullptr)
    return sim::Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (dwServiceType == 0 || (dwServiceType & ~static_cast<DWORD>(SERVICE_TYPE_ALL)) ||
      dwServiceState == 0 || (dwServiceState & ~static_cast<DWORD>(SERVICE_STATE_ALL)))
    return sim::Fail(ERROR_INVALID_PARAMETER, FALSE);
  *pcbBytesNeeded = 0;
  *lpServicesReturned = 0;
  const DWORD start = lpResumeHandle ? *lpResumeHandle : 0;
  // Records from the start of the buffer, their strings packed downwards from its end.
  auto* bytes = reinterpret_cast<char*>(lpServices);
  size_t recordsEnd = 0, stringsStart = lpServices ? cbBufSize : 0;
  DWORD resumeAt = 0;
  bool full = false;
  for (DWORD index = start; index < s.services.size(); ++index) {
    const sim::Service& svc = *s.services[index];
    const DWORD state = sim::ServiceStateAt(svc, s.now);
    const DWORD stateBit = state == SERVICE_STOPPED ? SERVICE_INACTIVE : SERVICE_ACTIVE;
    if (!(svc.spec.type & dwServiceType) || !(stateBit & dwServiceState)) continue;
    const size_t need = sizeof(ENUM_SERVICE_STATUSA) + svc.spec.name.size() + 1 +
                        svc.spec.displayName.size() + 1;
    if (full || recordsEnd + need > stringsStart) {
      if (!full) resumeAt = index;
      full = true;
      *pcbBytesNeeded += static_cast<DWORD>(need);
      continue;
    }
    auto* record = reinterpret_cast<ENUM_SERVICE_STATUSA*>(bytes + recordsEnd);
    recordsEnd += sizeof(ENUM_SERVICE_STATUSA);
    stringsStart -= svc.spec.name.size() + 1;
    std::memcpy(bytes + stringsStart, svc.spec.name.c_str(), svc.spec.name.size() + 1);
    record->lpServiceName = bytes + stringsStart;
    stringsStart -= svc.spec.displayName.size() + 1;
    std::memcpy(bytes + stringsStart, svc.spec.displayName.c_str(), svc.spec.displayName.size() + 1);
    record->lpDisplayName = bytes + stringsStart;
    sim::FillStatus(svc, s.now, &record->ServiceStatus);
    ++*lpServicesReturned;
  }
  if (!full) {
    if (lpResumeHandle) *lpResumeHandle = 0;
    return TRUE;
  }
  // Nothing delivered: the caller's position stands, as Windows leaves it.
  if (*lpServicesReturned == 0) resumeAt = start;
  if (lpResumeHandle) *lpResumeHandle = machine.enumLosesResumePosition ? 0 : resumeAt;
  return sim::Fail(ERROR_MORE_DATA, FALSE);
}

BOOL WINAPI GetServiceDisplayNameA(SC_HANDLE hSCManager, LPCSTR lpServiceName,
                                   LPSTR lpDisplayName, LPDWORD lpcchBuffer) {
  auto& s = sim::S();
  sim::ScObject* m = sim::Sc(hSCManager);
  if (m == nullptr || !m->manager) return sim::Fail(ERROR_INVALID_HANDLE, FALSE);
  if (lpServiceName == nullptr || lpcchBuffer == nullptr)
    return sim::Fail(ERROR_INVALID_PARAMETER, FALSE);
  auto svc = sim::FindService(s, lpServiceName);
  if (!svc) return sim::Fail(ERROR_SERVICE_DOES_NOT_EXIST, FALSE);
  const std::string& name = svc->spec.displayName;
  if (lpDisplayName == nullptr || *lpcchBuffer <= name.size()) {
    *lpcchBuffer = static_cast<DWORD>(name.size());
    return sim::Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  }
  std::memcpy(lpDisplayName, name.c_str(), name.size() + 1);
  *lpcchBuffer = static_cast<DWORD>(name.size());
  return TRUE;
}

BOOL WINAPI GetServiceKeyNameA(SC_HANDLE hSCManager, LPCSTR lpDisplayName, LPSTR lpServiceName,
                               LPDWORD lpcchBuffer) {
  auto& s = sim::S();
  sim::ScObject* m = sim::Sc(hSCManager);
  if (m == nullptr || !m->manager) return sim::Fail(ERROR_INVALID_HANDLE, FALSE);
  if (lpDisplayName == nullptr || lpcchBuffer == nullptr)
    return sim::Fail(ERROR_INVALID_PARAMETER, FALSE);
  for (auto& svc : s.services) {
    if (!sim::EqualNoCase(svc->spec.displayName, lpDisplayName)) continue;
    const std::string& name = svc->spec.name;
    if (lpServiceName == nullptr || *lpcchBuffer <= name.size()) {
      *lpcchBuffer = static_cast<DWORD>(name.size());
      return sim::Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    }
    std::memcpy(lpServiceName, name.c_str(), name.size() + 1);
    *lpcchBuffer = static_cast<DWORD>(name.size());
    return TRUE;
  }
  return sim::Fail(ERROR_SERVICE_DOES_NOT_EXIST, FALSE);
}
