#include "ntservice/advapi32.h"

#include <cstdint>
#include <utility>

#include "ntservice/detectwinos.h"
#include "ntservice/ntexception.h"
#include "platform/raii.h"
#include "platform/system_library.h"

namespace Advapi32 {
namespace {

// The entry points in the order they are resolved.
enum EntryPoint {
  kChangeServiceConfig,
  kChangeServiceConfig2W,
  kCloseServiceHandle,
  kControlService,
  kCreateService,
  kDeleteService,
  kEnumDependentServices,
  kEnumServicesStatus,
  kGetServiceDisplayName,
  kGetServiceKeyName,
  kLockServiceDatabase,
  kNotifyBootConfigStatus,
  kOpenSCManager,
  kOpenService,
  kQueryServiceConfig,
  kQueryServiceConfig2,
  kQueryServiceLockStatus,
  kQueryServiceStatus,
  kStartService,
  kQueryServiceObjectSecurity,
  kSetServiceObjectSecurity,
  kUnlockServiceDatabase,
  kRegConnectRegistry,
  kRegOpenKeyEx,
  kRegCloseKey,
  kRegEnumKeyEx,
  kRegQueryValueEx,
  kInitiateSystemShutdownEx,
  kRegEnumValue,
  kRegQueryInfoKey,
  kCredEnumerate,
  kEntryPointCount
};

constexpr const char* kExportNames[kEntryPointCount] = {
    "ChangeServiceConfigA",   "ChangeServiceConfig2W",     "CloseServiceHandle",
    "ControlService",         "CreateServiceA",            "DeleteService",
    "EnumDependentServicesA", "EnumServicesStatusA",       "GetServiceDisplayNameA",
    "GetServiceKeyNameA",     "LockServiceDatabase",       "NotifyBootConfigStatus",
    "OpenSCManagerA",         "OpenServiceA",              "QueryServiceConfigA",
    "QueryServiceConfig2W",   "QueryServiceLockStatusA",   "QueryServiceStatus",
    "StartServiceA",          "QueryServiceObjectSecurity", "SetServiceObjectSecurity",
    "UnlockServiceDatabase",  "RegConnectRegistryA",       "RegOpenKeyExA",
    "RegCloseKey",            "RegEnumKeyExA",             "RegQueryValueExA",
    "InitiateSystemShutdownExA", "RegEnumValueA",          "RegQueryInfoKeyA",
    "CredEnumerateW"};

struct BindingState {
  int initCount = 0;
  std::string libraryName;
  qm::unique_library library;  // held only when the load gave a handle above 32
  FARPROC entries[kEntryPointCount] = {};
};

BindingState& State() {
  static BindingState state;
  return state;
}

bool LoadSucceeded(HMODULE module) { return reinterpret_cast<std::uintptr_t>(module) > 32; }

[[noreturn]] void RaiseCannotLoad() {
  Ntexception::RaiseException(
      "Cannot load library \"" + State().libraryName + "\" or linked libraries", 0);
}

template <typename T>
struct NonDeduced {
  using type = T;
};

// Calls the entry point with the wrapper's own signature (the wrapper passes itself only to
// name that signature) and the system's calling convention.
template <typename R, typename... A>
R Forward(EntryPoint entry, R (*)(A...), typename NonDeduced<A>::type... args) {
  const FARPROC address = State().entries[entry];
  if (address == nullptr) RaiseCannotLoad();
  using Function = R(WINAPI*)(A...);
  // void (*)() is the generic function pointer type that converts to any other.
  using Generic = void (*)();
  return reinterpret_cast<Function>(reinterpret_cast<Generic>(address))(args...);
}

}  // namespace

void Initialize() {
  BindingState& state = State();
  if (state.initCount > 0) {
    ++state.initCount;
    return;
  }
  // A failed version query escapes uncounted: no Finalize will follow it.
  state.libraryName = Detectwinos::IsWindowsNt() ? "advapi32.dll" : "radmin32.dll";
  ++state.initCount;
  // Named by its full path in the system folder, never searched for by name.
  qm::unique_library library = qm::LoadSystemLibrary(state.libraryName.c_str());
  if (!LoadSucceeded(library.get())) return;
  state.library = std::move(library);
  const HMODULE module = state.library.get();
  for (int entry = 0; entry < kEntryPointCount; ++entry)
    state.entries[entry] = ::GetProcAddress(module, kExportNames[entry]);
}

void Finalize() {
  BindingState& state = State();
  if (state.initCount == 0 || --state.initCount > 0) return;
  for (FARPROC& entry : state.entries) entry = nullptr;
  state.library.reset();
  state.libraryName.clear();
}

const std::string& LibraryName() { return State().libraryName; }

BOOL ChangeServiceConfig(SC_HANDLE service, DWORD serviceType, DWORD startType,
                         DWORD errorControl, LPCSTR binaryPathName, LPCSTR loadOrderGroup,
                         LPDWORD tagId, LPCSTR dependencies, LPCSTR serviceStartName,
                         LPCSTR password, LPCSTR displayName) {
  return Forward(kChangeServiceConfig, &ChangeServiceConfig, service, serviceType, startType,
                 errorControl, binaryPathName, loadOrderGroup, tagId, dependencies,
                 serviceStartName, password, displayName);
}

BOOL ChangeServiceConfig2W(SC_HANDLE service, DWORD infoLevel, LPVOID info) {
  return Forward(kChangeServiceConfig2W, &ChangeServiceConfig2W, service, infoLevel, info);
}

BOOL CloseServiceHandle(SC_HANDLE handle) {
  return Forward(kCloseServiceHandle, &CloseServiceHandle, handle);
}

BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status) {
  return Forward(kControlService, &ControlService, service, control, status);
}

SC_HANDLE CreateService(SC_HANDLE manager, LPCSTR serviceName, LPCSTR displayName,
                        DWORD desiredAccess, DWORD serviceType, DWORD startType,
                        DWORD errorControl, LPCSTR binaryPathName, LPCSTR loadOrderGroup,
                        LPDWORD tagId, LPCSTR dependencies, LPCSTR serviceStartName,
                        LPCSTR password) {
  return Forward(kCreateService, &CreateService, manager, serviceName, displayName,
                 desiredAccess, serviceType, startType, errorControl, binaryPathName,
                 loadOrderGroup, tagId, dependencies, serviceStartName, password);
}

BOOL DeleteService(SC_HANDLE service) {
  return Forward(kDeleteService, &DeleteService, service);
}

BOOL EnumDependentServices(SC_HANDLE service, DWORD serviceState,
                           LPENUM_SERVICE_STATUSA services, DWORD bufSize, LPDWORD bytesNeeded,
                           LPDWORD servicesReturned) {
  return Forward(kEnumDependentServices, &EnumDependentServices, service, serviceState,
                 services, bufSize, bytesNeeded, servicesReturned);
}

BOOL EnumServicesStatus(SC_HANDLE manager, DWORD serviceType, DWORD serviceState,
                        LPENUM_SERVICE_STATUSA services, DWORD bufSize, LPDWORD bytesNeeded,
                        LPDWORD servicesReturned, LPDWORD resumeHandle) {
  return Forward(kEnumServicesStatus, &EnumServicesStatus, manager, serviceType, serviceState,
                 services, bufSize, bytesNeeded, servicesReturned, resumeHandle);
}

BOOL GetServiceDisplayName(SC_HANDLE manager, LPCSTR serviceName, LPSTR displayName,
                           LPDWORD bufferSize) {
  return Forward(kGetServiceDisplayName, &GetServiceDisplayName, manager, serviceName,
                 displayName, bufferSize);
}

BOOL GetServiceKeyName(SC_HANDLE manager, LPCSTR displayName, LPSTR serviceName,
                       LPDWORD bufferSize) {
  return Forward(kGetServiceKeyName, &GetServiceKeyName, manager, displayName, serviceName,
                 bufferSize);
}

SC_LOCK LockServiceDatabase(SC_HANDLE manager) {
  return Forward(kLockServiceDatabase, &LockServiceDatabase, manager);
}

BOOL NotifyBootConfigStatus(BOOL bootAcceptable) {
  return Forward(kNotifyBootConfigStatus, &NotifyBootConfigStatus, bootAcceptable);
}

SC_HANDLE OpenSCManager(LPCSTR machineName, LPCSTR databaseName, DWORD desiredAccess) {
  return Forward(kOpenSCManager, &OpenSCManager, machineName, databaseName, desiredAccess);
}

SC_HANDLE OpenService(SC_HANDLE manager, LPCSTR serviceName, DWORD desiredAccess) {
  return Forward(kOpenService, &OpenService, manager, serviceName, desiredAccess);
}

BOOL QueryServiceConfig(SC_HANDLE service, LPQUERY_SERVICE_CONFIGA config, DWORD bufSize,
                        LPDWORD bytesNeeded) {
  return Forward(kQueryServiceConfig, &QueryServiceConfig, service, config, bufSize,
                 bytesNeeded);
}

BOOL QueryServiceConfig2(SC_HANDLE service, DWORD infoLevel, LPBYTE buffer, DWORD bufSize,
                         LPDWORD bytesNeeded) {
  return Forward(kQueryServiceConfig2, &QueryServiceConfig2, service, infoLevel, buffer,
                 bufSize, bytesNeeded);
}

BOOL QueryServiceLockStatus(SC_HANDLE manager, LPQUERY_SERVICE_LOCK_STATUSA lockStatus,
                            DWORD bufSize, LPDWORD bytesNeeded) {
  return Forward(kQueryServiceLockStatus, &QueryServiceLockStatus, manager, lockStatus,
                 bufSize, bytesNeeded);
}

BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status) {
  return Forward(kQueryServiceStatus, &QueryServiceStatus, service, status);
}

BOOL StartService(SC_HANDLE service, DWORD numServiceArgs, LPCSTR* serviceArgVectors) {
  return Forward(kStartService, &StartService, service, numServiceArgs, serviceArgVectors);
}

BOOL QueryServiceObjectSecurity(SC_HANDLE service, SECURITY_INFORMATION securityInformation,
                                PSECURITY_DESCRIPTOR securityDescriptor, DWORD bufSize,
                                LPDWORD bytesNeeded) {
  return Forward(kQueryServiceObjectSecurity, &QueryServiceObjectSecurity, service,
                 securityInformation, securityDescriptor, bufSize, bytesNeeded);
}

BOOL SetServiceObjectSecurity(SC_HANDLE service, SECURITY_INFORMATION securityInformation,
                              PSECURITY_DESCRIPTOR securityDescriptor) {
  return Forward(kSetServiceObjectSecurity, &SetServiceObjectSecurity, service,
                 securityInformation, securityDescriptor);
}

BOOL UnlockServiceDatabase(SC_LOCK lock) {
  return Forward(kUnlockServiceDatabase, &UnlockServiceDatabase, lock);
}

LONG RegConnectRegistry(LPCSTR machineName, HKEY key, PHKEY result) {
  return Forward(kRegConnectRegistry, &RegConnectRegistry, machineName, key, result);
}

LONG RegOpenKeyEx(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, PHKEY result) {
  return Forward(kRegOpenKeyEx, &RegOpenKeyEx, key, subKey, options, desired, result);
}

LONG RegCloseKey(HKEY key) { return Forward(kRegCloseKey, &RegCloseKey, key); }

LONG RegEnumKeyEx(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,
                  LPSTR className, LPDWORD classSize, PFILETIME lastWriteTime) {
  return Forward(kRegEnumKeyEx, &RegEnumKeyEx, key, index, name, nameSize, reserved,
                 className, classSize, lastWriteTime);
}

LONG RegQueryValueEx(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                     LPDWORD dataSize) {
  return Forward(kRegQueryValueEx, &RegQueryValueEx, key, valueName, reserved, type, data,
                 dataSize);
}

BOOL InitiateSystemShutdownEx(LPSTR machineName, LPSTR message, DWORD timeout,
                              BOOL forceAppsClosed, BOOL rebootAfterShutdown, DWORD reason) {
  return Forward(kInitiateSystemShutdownEx, &InitiateSystemShutdownEx, machineName, message,
                 timeout, forceAppsClosed, rebootAfterShutdown, reason);
}

LONG RegEnumValue(HKEY key, DWORD index, LPSTR valueName, LPDWORD valueNameSize,
                  LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize) {
  return Forward(kRegEnumValue, &RegEnumValue, key, index, valueName, valueNameSize, reserved,
                 type, data, dataSize);
}

LONG RegQueryInfoKey(HKEY key, LPSTR className, LPDWORD classSize, LPDWORD reserved,
                     LPDWORD subKeys, LPDWORD maxSubKeyLen, LPDWORD maxClassLen,
                     LPDWORD values, LPDWORD maxValueNameLen, LPDWORD maxValueLen,
                     LPDWORD securityDescriptorSize, PFILETIME lastWriteTime) {
  return Forward(kRegQueryInfoKey, &RegQueryInfoKey, key, className, classSize, reserved,
                 subKeys, maxSubKeyLen, maxClassLen, values, maxValueNameLen, maxValueLen,
                 securityDescriptorSize, lastWriteTime);
}

BOOL CredEnumerate(LPCWSTR filter, DWORD flags, DWORD* count, PCREDENTIALW** credentials) {
  return Forward(kCredEnumerate, &CredEnumerate, filter, flags, count, credentials);
}

}  // namespace Advapi32
