// Run-time binding of the service library's entry points.
//
// The program never links the service functions directly: Initialize loads the library
// ("advapi32.dll" on the NT family, "radmin32.dll" otherwise) by its full path in the system
// folder (qm::LoadSystemLibrary) and resolves every entry point by name, so the program still
// starts on a system that lacks some of them. Each wrapper has the arguments and result of the
// Windows function it stands for and forwards to the resolved entry point unchanged. A wrapper whose entry point is unbound (the library failed to load,
// or lacks that one export) raises ENTException "Cannot load library "<name>" or linked
// libraries" with code 0.
//
// Initialize and Finalize nest: only the first Initialize binds and only the matching last
// Finalize unbinds. The program binds once at start-up, before any window exists; tests bind
// and unbind around each simulated machine.
#pragma once

#include <string>

#include "platform/win32/win32.h"

#ifdef _WIN32
#include <wincred.h>
#endif

namespace Advapi32 {

void Initialize();
void Finalize();

// Binds for its lifetime.
class Binding {
 public:
  Binding() { Initialize(); }
  ~Binding() { Finalize(); }
  Binding(const Binding&) = delete;
  Binding& operator=(const Binding&) = delete;
};

// The library chosen by the first Initialize; empty while unbound.
const std::string& LibraryName();

BOOL ChangeServiceConfig(SC_HANDLE service, DWORD serviceType, DWORD startType,
                         DWORD errorControl, LPCSTR binaryPathName, LPCSTR loadOrderGroup,
                         LPDWORD tagId, LPCSTR dependencies, LPCSTR serviceStartName,
                         LPCSTR password, LPCSTR displayName);
BOOL ChangeServiceConfig2W(SC_HANDLE service, DWORD infoLevel, LPVOID info);
BOOL CloseServiceHandle(SC_HANDLE handle);
BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status);
SC_HANDLE CreateService(SC_HANDLE manager, LPCSTR serviceName, LPCSTR displayName,
                        DWORD desiredAccess, DWORD serviceType, DWORD startType,
                        DWORD errorControl, LPCSTR binaryPathName, LPCSTR loadOrderGroup,
                        LPDWORD tagId, LPCSTR dependencies, LPCSTR serviceStartName,
                        LPCSTR password);
BOOL DeleteService(SC_HANDLE service);
BOOL EnumDependentServices(SC_HANDLE service, DWORD serviceState,
                           LPENUM_SERVICE_STATUSA services, DWORD bufSize, LPDWORD bytesNeeded,
                           LPDWORD servicesReturned);
BOOL EnumServicesStatus(SC_HANDLE manager, DWORD serviceType, DWORD serviceState,
                        LPENUM_SERVICE_STATUSA services, DWORD bufSize, LPDWORD bytesNeeded,
                        LPDWORD servicesReturned, LPDWORD resumeHandle);
BOOL GetServiceDisplayName(SC_HANDLE manager, LPCSTR serviceName, LPSTR displayName,
                           LPDWORD bufferSize);
BOOL GetServiceKeyName(SC_HANDLE manager, LPCSTR displayName, LPSTR serviceName,
                       LPDWORD bufferSize);
SC_LOCK LockServiceDatabase(SC_HANDLE manager);
BOOL NotifyBootConfigStatus(BOOL bootAcceptable);
SC_HANDLE OpenSCManager(LPCSTR machineName, LPCSTR databaseName, DWORD desiredAccess);
SC_HANDLE OpenService(SC_HANDLE manager, LPCSTR serviceName, DWORD desiredAccess);
BOOL QueryServiceConfig(SC_HANDLE service, LPQUERY_SERVICE_CONFIGA config, DWORD bufSize,
                        LPDWORD bytesNeeded);
BOOL QueryServiceConfig2(SC_HANDLE service, DWORD infoLevel, LPBYTE buffer, DWORD bufSize,
                         LPDWORD bytesNeeded);
BOOL QueryServiceLockStatus(SC_HANDLE manager, LPQUERY_SERVICE_LOCK_STATUSA lockStatus,
                            DWORD bufSize, LPDWORD bytesNeeded);
BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status);
BOOL StartService(SC_HANDLE service, DWORD numServiceArgs, LPCSTR* serviceArgVectors);
BOOL QueryServiceObjectSecurity(SC_HANDLE service, SECURITY_INFORMATION securityInformation,
                                PSECURITY_DESCRIPTOR securityDescriptor, DWORD bufSize,
                                LPDWORD bytesNeeded);
BOOL SetServiceObjectSecurity(SC_HANDLE service, SECURITY_INFORMATION securityInformation,
                              PSECURITY_DESCRIPTOR securityDescriptor);
BOOL UnlockServiceDatabase(SC_LOCK lock);
LONG RegConnectRegistry(LPCSTR machineName, HKEY key, PHKEY result);
LONG RegOpenKeyEx(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, PHKEY result);
LONG RegCloseKey(HKEY key);
LONG RegEnumKeyEx(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,
                  LPSTR className, LPDWORD classSize, PFILETIME lastWriteTime);
LONG RegQueryValueEx(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                     LPDWORD dataSize);
BOOL InitiateSystemShutdownEx(LPSTR machineName, LPSTR message, DWORD timeout,
                              BOOL forceAppsClosed, BOOL rebootAfterShutdown, DWORD reason);
LONG RegEnumValue(HKEY key, DWORD index, LPSTR valueName, LPDWORD valueNameSize,
                  LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize);
LONG RegQueryInfoKey(HKEY key, LPSTR className, LPDWORD classSize, LPDWORD reserved,
                     LPDWORD subKeys, LPDWORD maxSubKeyLen, LPDWORD maxClassLen,
                     LPDWORD values, LPDWORD maxValueNameLen, LPDWORD maxValueLen,
                     LPDWORD securityDescriptorSize, PFILETIME lastWriteTime);
BOOL CredEnumerate(LPCWSTR filter, DWORD flags, DWORD* count, PCREDENTIALW** credentials);

}  // namespace Advapi32
