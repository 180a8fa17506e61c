// The service manager component: a wrapper of the Windows service control manager that holds
// at most one open manager handle and one open service handle, enumerates services into lists
// of status records, and sends controls to or deletes the open service.
//
// Every Windows call goes through the run-time binding (advapi32.h); every failed call raises
// ENTException with the system's message and error number, and nothing here catches. Outside
// loading, ActiveManager is true exactly while the manager handle is open and ActiveService
// exactly while the service handle is open; closing the manager leaves an open service open
// and usable.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/win32.h"

// A set with one bit per value of an enumeration of at most 32 values.
template <typename E>
class TSet {
 public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> values) {
    for (E value : values) Include(value);
  }
  constexpr bool Contains(E value) const { return (bits_ & Bit(value)) != 0; }
  constexpr void Include(E value) { bits_ |= Bit(value); }
  constexpr bool Empty() const { return bits_ == 0; }
  friend constexpr bool operator==(TSet a, TSet b) { return a.bits_ == b.bits_; }
  friend constexpr bool operator!=(TSet a, TSet b) { return a.bits_ != b.bits_; }

 private:
  static constexpr std::uint32_t Bit(E value) {
    return std::uint32_t{1} << static_cast<unsigned>(value);
  }
  std::uint32_t bits_ = 0;
};

enum class TServiceType {
  KERNEL_DRIVER,
  FILE_SYSTEM_DRIVER,
  ADAPTER,
  RECOGNIZER_DRIVER,
  WIN32_OWN_PROCESS,
  WIN32_SHARE_PROCESS,
  INTERACTIVE_PROCESS
};
using TServiceTypes = TSet<TServiceType>;

enum class TCurrentState {
  STOPPED,
  START_PENDING,
  STOP_PENDING,
  RUNNING,
  CONTINUE_PENDING,
  PAUSE_PENDING,
  PAUSED
};

enum class TControlAccepted { ACCEPT_STOP, ACCEPT_PAUSE_CONTINUE, ACCEPT_SHUTDOWN };
using TControlAcceptedSet = TSet<TControlAccepted>;

enum class TControlCode {
  CONTROL_STOP,
  CONTROL_PAUSE,
  CONTROL_CONTINUE,
  CONTROL_INTERROGATE,
  CONTROL_SHUTDOWN
};

// The enumeration's state filter.
enum class TServiceState { STATE_ACTIVE, STATE_INACTIVE };
using TServiceStates = TSet<TServiceState>;

// The enumeration's kind filter: DRIVER stands for kernel, file-system and recognizer
// drivers, PROCESS for own-process and shared-process Win32 services.
enum class TEnumSevice { DRIVER, PROCESS };
using TEnumSevices = TSet<TEnumSevice>;

// Windows bits without a value here are dropped.
TServiceTypes DWORDToServiceTypes(DWORD bits);
TControlAcceptedSet DWORDToControlsAccepted(DWORD bits);
// A Windows state outside 2 to 7 reads as STOPPED.
TCurrentState DWORDToCurrentState(DWORD state);
// A value outside the enumeration gives 0.
DWORD ControlCodeToDWORD(TControlCode code);
DWORD ServiceStatesToDWORD(TServiceStates states);
DWORD EnumSevicesToDWORD(TEnumSevices kinds);

// One service as an enumeration reported it.
class TServiceStatusClass {
 public:
  std::string ServiceName;  // key name
  std::string DisplayName;
  TServiceTypes ServiceType;
  TCurrentState CurrentState = TCurrentState::STOPPED;
  TControlAcceptedSet ControlsAccepted;
  std::uint32_t Win32ExitCode = 0;
  std::uint32_t ServiceSpecificExitCode = 0;
  std::uint32_t CheckPoint = 0;
  std::uint32_t WaitHint = 0;
};

// An owning list of status records. An index outside 0 to count-1 raises EListError.
class TEnumList {
 public:
  int GetCount() const;
  TServiceStatusClass& GetItem(int index) const;
  // Destroys the record at index and stores item (not null) in its place.
  void SetItem(int index, std::unique_ptr<TServiceStatusClass> item);
  // Appends an empty record and returns it.
  TServiceStatusClass& Add();
  // The index of the first record whose key name equals name when the letters a to z are
  // upper-cased on both sides (other bytes compare as they are), or -1.
  int IndexOf(const std::string& name) const;
  void Delete(int index);
  void Clear();
  // Every record's display name, in order. The list keeps the returned lines.
  const std::vector<std::string>& GetLines();

 private:
  void CheckIndex(int index) const;

  std::vector<std::unique_ptr<TServiceStatusClass>> items_;
  std::vector<std::string> lines_;
};

// The component base: the machine the component works on, and the loading state during
// which stored values are read before Loaded.
class TNTPersistent {
 public:
  virtual ~TNTPersistent() = default;

  // Empty: the local machine. Connections to a remote machine are not supported.
  virtual std::string GetMachineName() const { return machineName_; }
  virtual void SetMachineName(const std::string& value) { machineName_ = value; }

  // Stored values are being read: the open-state setters only record, parameter setters never
  // refuse. Loaded ends it.
  void BeginLoading() { loading_ = true; }
  bool IsLoading() const { return loading_; }
  virtual void Loaded() { loading_ = false; }

 private:
  std::string machineName_;
  bool loading_ = false;
};

// The base of the security-aware components: the name of the object they describe.
class TNTAbstractSecurity : public TNTPersistent {
 public:
  const std::string& GetObjectName() const { return objectName_; }

 protected:
  void SetObjectName(const std::string& value) { objectName_ = value; }

 private:
  std::string objectName_;
};

class TNTServiceManager : public TNTAbstractSecurity {
 public:
  // Manager access 1 (connect), service access 983551 (all service rights); closed.
  TNTServiceManager();
  // Closes an open service, then an open manager; a failure to close is not reported.
  ~TNTServiceManager() override;
  TNTServiceManager(const TNTServiceManager&) = delete;
  TNTServiceManager& operator=(const TNTServiceManager&) = delete;

  // Refused while the manager is open, unless equal to the current value.
  void SetMachineName(const std::string& value) override;
  void SetDatabaseName(const std::string& value);
  const std::string& GetDatabaseName() const { return databaseName_; }
  // Opens (true) or closes (false) the manager; an open service stays open either way.
  void SetActiveManager(bool value);
  bool GetActiveManager() const { return activeManager_; }
  // Opens the service named by ServiceName, opening the manager first when it is closed; or
  // closes the service.
  void SetActiveService(bool value);
  bool GetActiveService() const { return activeService_; }
  // Refused while the manager is open, even for an equal value.
  void SetManagerAccess(DWORD value);
  DWORD GetManagerAccess() const { return managerAccess_; }
  // Refused while a service is open, even for an equal value.
  void SetServiceAccess(DWORD value);
  DWORD GetServiceAccess() const { return serviceAccess_; }
  // Never refused: an open service stays the one that was opened.
  void SetServiceName(const std::string& value);
  const std::string& GetServiceName() const { return serviceName_; }

  SC_HANDLE GetManagerHandle() const { return managerHandle_; }
  SC_HANDLE GetServiceHandle() const { return serviceHandle_; }

  void OpenSCmanager();
  void CloseSCManager();
  void Openservice();
  void CloseService();
  // The next read of a configuration, description or failure-option property fetches it
  // from the service again.
  void ClearReadIndicators();

  // Sends the control to the open service; the status Windows writes back is discarded.
  void ControlService(TControlCode code);
  // Opens what is not open, deletes the open service and closes it; the manager stays open.
  // On failure both stay open.
  void DeleteService();

  // Every service of the kinds and states on MachineName. The enumeration uses a manager
  // handle of its own (connect and enumerate rights) and never touches the component's.
  // Entries without a key name are skipped; a missing display name reads as empty. A round
  // that asks for more room without moving its resume position on fails with 234.
  std::unique_ptr<TEnumList> GetServiceList(TServiceStates states, TEnumSevices kinds);
  std::unique_ptr<TEnumList> GetServiceListEx(const std::string& machine, TServiceStates states,
                                              TEnumSevices kinds);

  // Opens what the stored ActiveManager and ActiveService ask for.
  void Loaded() override;

 private:
  void UpdateObjectName();

  SC_HANDLE managerHandle_ = nullptr;
  SC_HANDLE serviceHandle_ = nullptr;
  std::string databaseName_;
  std::string serviceName_;
  bool activeManager_ = false;
  bool activeService_ = false;
  DWORD managerAccess_ = 0;
  DWORD serviceAccess_ = 0;
  bool configRead_ = false;
  bool descriptionRead_ = false;
  bool failureOptionsRead_ = false;
};
