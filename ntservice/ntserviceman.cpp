#include "ntservice/ntserviceman.h"

#include <algorithm>
#include <utility>

#include "ntservice/advapi32.h"
#include "ntservice/ntexception.h"
#include "platform/exception.h"

namespace {

const char* const kManagerActiveMessage =
    "Can not change parameter when CONTROL SERVICE MANAGER is active";
const char* const kServiceActiveMessage = "Can not change parameter when SERVICE is active";

constexpr DWORD kEnumerationAccess = SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE;
constexpr DWORD kEnumerationBufferSize = 8192;

template <typename E>
struct BitOf {
  E value;
  DWORD bit;
};

constexpr BitOf<TServiceType> kServiceTypeBits[] = {
    {TServiceType::KERNEL_DRIVER, 0x1},        {TServiceType::FILE_SYSTEM_DRIVER, 0x2},
    {TServiceType::ADAPTER, 0x4},              {TServiceType::RECOGNIZER_DRIVER, 0x8},
    {TServiceType::WIN32_OWN_PROCESS, 0x10},   {TServiceType::WIN32_SHARE_PROCESS, 0x20},
    {TServiceType::INTERACTIVE_PROCESS, 0x100}};

constexpr BitOf<TControlAccepted> kControlAcceptedBits[] = {
    {TControlAccepted::ACCEPT_STOP, 0x1},
    {TControlAccepted::ACCEPT_PAUSE_CONTINUE, 0x2},
    {TControlAccepted::ACCEPT_SHUTDOWN, 0x4}};

template <typename E, std::size_t N>
TSet<E> BitsToSet(DWORD bits, const BitOf<E> (&table)[N]) {
  TSet<E> set;
  for (const BitOf<E>& row : table)
    if (bits & row.bit) set.Include(row.value);
  return set;
}

const char* NullWhenEmpty(const std::string& text) {
  return text.empty() ? nullptr : text.c_str();
}

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string AsciiUpper(std::string text) {
  for (char& c : text) c = AsciiUpper(c);
  return text;
}

// The enumeration's own manager handle. The normal path closes it with Close, which reports
// a failure; on a failure path the destructor closes it and ignores the result, so the
// failure that is already travelling stays the one reported.
class EnumerationManager {
 public:
  explicit EnumerationManager(SC_HANDLE handle) : handle_(handle) {}
  ~EnumerationManager() {
    if (handle_ == nullptr) return;
    try {
      Advapi32::CloseServiceHandle(handle_);
    } catch (...) {
    }
  }
  EnumerationManager(const EnumerationManager&) = delete;
  EnumerationManager& operator=(const EnumerationManager&) = delete;

  SC_HANDLE get() const { return handle_; }
  void Close() {
    if (!Advapi32::CloseServiceHandle(std::exchange(handle_, nullptr)))
      Ntexception::CreateException();
  }

 private:
  SC_HANDLE handle_;
};

void AddEntry(TEnumList& list, const ENUM_SERVICE_STATUSA& entry) {
  if (entry.lpServiceName == nullptr || entry.lpServiceName[0] == '\0') return;
  TServiceStatusClass& record = list.Add();
  record.ServiceName = entry.lpServiceName;
  record.DisplayName = entry.lpDisplayName != nullptr ? entry.lpDisplayName : "";
  const SERVICE_STATUS& status = entry.ServiceStatus;
  record.ServiceType = DWORDToServiceTypes(status.dwServiceType);
  record.CurrentState = DWORDToCurrentState(status.dwCurrentState);
  record.ControlsAccepted = DWORDToControlsAccepted(status.dwControlsAccepted);
  record.Win32ExitCode = status.dwWin32ExitCode;
  record.ServiceSpecificExitCode = status.dwServiceSpecificExitCode;
  record.CheckPoint = status.dwCheckPoint;
  record.WaitHint = status.dwWaitHint;
}

}  // namespace

// ---- conversions

TServiceTypes DWORDToServiceTypes(DWORD bits) { return BitsToSet(bits, kServiceTypeBits); }

TControlAcceptedSet DWORDToControlsAccepted(DWORD bits) {
  return BitsToSet(bits, kControlAcceptedBits);
}

TCurrentState DWORDToCurrentState(DWORD state) {
  switch (state) {
    case SERVICE_START_PENDING: return TCurrentState::START_PENDING;
    case SERVICE_STOP_PENDING: return TCurrentState::STOP_PENDING;
    case SERVICE_RUNNING: return TCurrentState::RUNNING;
    case SERVICE_CONTINUE_PENDING: return TCurrentState::CONTINUE_PENDING;
    case SERVICE_PAUSE_PENDING: return TCurrentState::PAUSE_PENDING;
    case SERVICE_PAUSED: return TCurrentState::PAUSED;
    default: return TCurrentState::STOPPED;
  }
}

DWORD ControlCodeToDWORD(TControlCode code) {
  switch (code) {
    case TControlCode::CONTROL_STOP: return SERVICE_CONTROL_STOP;
    case TControlCode::CONTROL_PAUSE: return SERVICE_CONTROL_PAUSE;
    case TControlCode::CONTROL_CONTINUE: return SERVICE_CONTROL_CONTINUE;
    case TControlCode::CONTROL_INTERROGATE: return SERVICE_CONTROL_INTERROGATE;
    case TControlCode::CONTROL_SHUTDOWN: return SERVICE_CONTROL_SHUTDOWN;
  }
  return 0;
}

DWORD ServiceStatesToDWORD(TServiceStates states) {
  DWORD mask = 0;
  if (states.Contains(TServiceState::STATE_ACTIVE)) mask += SERVICE_ACTIVE;
  if (states.Contains(TServiceState::STATE_INACTIVE)) mask += SERVICE_INACTIVE;
  return mask;
}

DWORD EnumSevicesToDWORD(TEnumSevices kinds) {
  DWORD mask = 0;
  if (kinds.Contains(TEnumSevice::DRIVER)) mask += 0x0B;
  if (kinds.Contains(TEnumSevice::PROCESS)) mask += 0x30;
  return mask;
}

// ---- TEnumList

int TEnumList::GetCount() const { return static_cast<int>(items_.size()); }

void TEnumList::CheckIndex(int index) const {
  if (index < 0 || index >= GetCount()) throw EListError(index);
}

TServiceStatusClass& TEnumList::GetItem(int index) const {
  CheckIndex(index);
  return *items_[static_cast<std::size_t>(index)];
}

void TEnumList::SetItem(int index, std::unique_ptr<TServiceStatusClass> item) {
  CheckIndex(index);
  items_[static_cast<std::size_t>(index)] = std::move(item);
}

TServiceStatusClass& TEnumList::Add() {
  items_.push_back(std::make_unique<TServiceStatusClass>());
  return *items_.back();
}

int TEnumList::IndexOf(const std::string& name) const {
  const std::string wanted = AsciiUpper(name);
  for (int i = 0; i < GetCount(); ++i)
    if (AsciiUpper(items_[static_cast<std::size_t>(i)]->ServiceName) == wanted) return i;
  return -1;
}

void TEnumList::Delete(int index) {
  CheckIndex(index);
  items_.erase(items_.begin() + index);
}

void TEnumList::Clear() { items_.clear(); }

const std::vector<std::string>& TEnumList::GetLines() {
  lines_.clear();
  for (const auto& item : items_) lines_.push_back(item->DisplayName);
  return lines_;
}

// ---- TNTServiceManager: life

TNTServiceManager::TNTServiceManager() {
  ClearReadIndicators();
  SetManagerAccess(SC_MANAGER_CONNECT);
  SetServiceAccess(SERVICE_ALL_ACCESS);
}

TNTServiceManager::~TNTServiceManager() {
  try {
    if (activeService_) SetActiveService(false);
  } catch (...) {
  }
  try {
    if (activeManager_) SetActiveManager(false);
  } catch (...) {
  }
}

void TNTServiceManager::Loaded() {
  TNTAbstractSecurity::Loaded();
  if (activeManager_) OpenSCmanager();
  if (activeService_) Openservice();
}

// ---- TNTServiceManager: properties

void TNTServiceManager::UpdateObjectName() {
  const std::string machine = GetMachineName();
  SetObjectName(machine.empty() ? serviceName_ : machine + "\\" + serviceName_);
}

void TNTServiceManager::SetMachineName(const std::string& value) {
  if (value == GetMachineName()) return;
  if (!IsLoading() && activeManager_) Ntexception::RaiseException(kManagerActiveMessage, -1);
  TNTAbstractSecurity::SetMachineName(value);
  UpdateObjectName();
}

void TNTServiceManager::SetDatabaseName(const std::string& value) {
  if (value == databaseName_) return;
  if (!IsLoading() && activeManager_) Ntexception::RaiseException(kManagerActiveMessage, -1);
  databaseName_ = value;
}

void TNTServiceManager::SetActiveManager(bool value) {
  if (value == activeManager_) return;
  if (IsLoading()) {
    activeManager_ = value;
    return;
  }
  if (value)
    OpenSCmanager();
  else
    CloseSCManager();
}

void TNTServiceManager::SetActiveService(bool value) {
  if (value == activeService_) return;
  if (IsLoading()) {
    activeService_ = value;
    return;
  }
  if (value) {
    if (!activeManager_) SetActiveManager(true);
    Openservice();
  } else {
    CloseService();
  }
  ClearReadIndicators();
}

void TNTServiceManager::SetManagerAccess(DWORD value) {
  if (!IsLoading() && activeManager_) Ntexception::RaiseException(kManagerActiveMessage, -1);
  managerAccess_ = value;
}

void TNTServiceManager::SetServiceAccess(DWORD value) {
  if (!IsLoading() && activeService_) Ntexception::RaiseException(kServiceActiveMessage, -1);
  serviceAccess_ = value;
}

void TNTServiceManager::SetServiceName(const std::string& value) {
  if (value == serviceName_) return;
  serviceName_ = value;
  UpdateObjectName();
  ClearReadIndicators();
}

// ---- TNTServiceManager: handles

void TNTServiceManager::OpenSCmanager() {
  managerHandle_ = Advapi32::OpenSCManager(NullWhenEmpty(GetMachineName()),
                                           NullWhenEmpty(databaseName_), managerAccess_);
  activeManager_ = managerHandle_ != nullptr;
  if (!activeManager_) Ntexception::CreateException();
}

void TNTServiceManager::CloseSCManager() {
  if (!Advapi32::CloseServiceHandle(managerHandle_)) {
    Ntexception::CreateException();
    return;
  }
  managerHandle_ = nullptr;
  activeManager_ = false;
}

void TNTServiceManager::Openservice() {
  if (serviceName_.empty()) Ntexception::RaiseException("Service name is empty.", 0);
  serviceHandle_ = Advapi32::OpenService(managerHandle_, serviceName_.c_str(), serviceAccess_);
  activeService_ = serviceHandle_ != nullptr;
  if (!activeService_) Ntexception::CreateException();
}

void TNTServiceManager::CloseService() {
  if (!Advapi32::CloseServiceHandle(serviceHandle_)) {
    Ntexception::CreateException();
    return;
  }
  serviceHandle_ = nullptr;
  activeService_ = false;
}

void TNTServiceManager::ClearReadIndicators() {
  configRead_ = false;
  descriptionRead_ = false;
  failureOptionsRead_ = false;
}

// ---- TNTServiceManager: operations on the open service

void TNTServiceManager::ControlService(TControlCode code) {
  SERVICE_STATUS status{};
  if (!Advapi32::ControlService(serviceHandle_, ControlCodeToDWORD(code), &status))
    Ntexception::CreateException();
}

void TNTServiceManager::DeleteService() {
  if (!activeManager_) SetActiveManager(true);
  if (!activeService_) SetActiveService(true);
  if (Advapi32::DeleteService(serviceHandle_))
    SetActiveService(false);
  else
    Ntexception::CreateException();
}

// ---- TNTServiceManager: enumeration

std::unique_ptr<TEnumList> TNTServiceManager::GetServiceList(TServiceStates states,
                                                             TEnumSevices kinds) {
  return GetServiceListEx(GetMachineName(), states, kinds);
}

std::unique_ptr<TEnumList> TNTServiceManager::GetServiceListEx(const std::string& machine,
                                                               TServiceStates states,
                                                               TEnumSevices kinds) {
  const DWORD typeMask = EnumSevicesToDWORD(kinds);
  const DWORD stateMask = ServiceStatesToDWORD(states);
  auto list = std::make_unique<TEnumList>();

  EnumerationManager manager(Advapi32::OpenSCManager(
      NullWhenEmpty(machine), NullWhenEmpty(databaseName_), kEnumerationAccess));
  if (manager.get() == nullptr) Ntexception::CreateException();

  // Entries covering the 8192 bytes handed to Windows, which writes the entries from the
  // front and their strings from the back of that space. Only whole entries inside those
  // bytes can be genuine.
  constexpr DWORD kEntrySize = sizeof(ENUM_SERVICE_STATUSA);
  std::vector<ENUM_SERVICE_STATUSA> buffer((kEnumerationBufferSize + kEntrySize - 1) / kEntrySize);
  const DWORD wholeEntries = kEnumerationBufferSize / kEntrySize;
  DWORD resume = 0;
  bool more = true;
  while (more) {
    // Wine can answer 234 with a count of entries it never wrote: zeroed, they carry no key
    // name and are skipped instead of repeating the previous round's entries.
    std::fill(buffer.begin(), buffer.end(), ENUM_SERVICE_STATUSA{});
    const DWORD resumeGiven = resume;
    DWORD bytesNeeded = 0;
    DWORD returned = 0;
    const BOOL ok =
        Advapi32::EnumServicesStatus(manager.get(), typeMask, stateMask, buffer.data(),
                                     kEnumerationBufferSize, &bytesNeeded, &returned, &resume);
    // A round that hands back the position it was given would repeat for ever: its 234 is
    // reported instead.
    more = !ok && resume != 0 && ::GetLastError() == ERROR_MORE_DATA && resume != resumeGiven;
    if (!ok && !more) Ntexception::CreateException();
    const DWORD count = returned < wholeEntries ? returned : wholeEntries;
    for (DWORD i = 0; i < count; ++i) AddEntry(*list, buffer[i]);
  }
  manager.Close();
  return list;
}
