// The service manager component, its status list and conversions, over the simulated
// service control manager.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "ntservice/advapi32.h"
#include "ntservice/ntexception.h"
#include "ntservice/ntserviceman.h"
#include "platform/exception.h"
#include "platform/sim/machine.h"
#include "tests/unit/ntservice_support.h"

namespace {

const char* const kManagerActive = "Can not change parameter when CONTROL SERVICE MANAGER is active";
const char* const kServiceActive = "Can not change parameter when SERVICE is active";

// ---- conversions

TEST(ServiceConversions, StatesOutsideTwoToSevenReadAsStopped) {
  EXPECT_EQ(DWORDToCurrentState(SERVICE_START_PENDING), TCurrentState::START_PENDING);
  EXPECT_EQ(DWORDToCurrentState(SERVICE_STOP_PENDING), TCurrentState::STOP_PENDING);
  EXPECT_EQ(DWORDToCurrentState(SERVICE_RUNNING), TCurrentState::RUNNING);
  EXPECT_EQ(DWORDToCurrentState(SERVICE_CONTINUE_PENDING), TCurrentState::CONTINUE_PENDING);
  EXPECT_EQ(DWORDToCurrentState(SERVICE_PAUSE_PENDING), TCurrentState::PAUSE_PENDING);
  EXPECT_EQ(DWORDToCurrentState(SERVICE_PAUSED), TCurrentState::PAUSED);
  for (DWORD outside : {0u, 1u, 8u, 0xFFFFFFFFu})
    EXPECT_EQ(DWORDToCurrentState(outside), TCurrentState::STOPPED) << outside;
}

TEST(ServiceConversions, BitMasksDropUnknownBits) {
  const TServiceTypes types = DWORDToServiceTypes(0x1 | 0x10 | 0x40 | 0x100 | 0x200);
  EXPECT_EQ(types, (TServiceTypes{TServiceType::KERNEL_DRIVER, TServiceType::WIN32_OWN_PROCESS,
                                  TServiceType::INTERACTIVE_PROCESS}));
  EXPECT_EQ(DWORDToControlsAccepted(0x1 | 0x4 | 0x8),
            (TControlAcceptedSet{TControlAccepted::ACCEPT_STOP, TControlAccepted::ACCEPT_SHUTDOWN}));
  EXPECT_TRUE(DWORDToControlsAccepted(0x10).Empty());
}

TEST(ServiceConversions, ControlCodesAndFilters) {
  EXPECT_EQ(ControlCodeToDWORD(TControlCode::CONTROL_STOP), 1u);
  EXPECT_EQ(ControlCodeToDWORD(TControlCode::CONTROL_SHUTDOWN), 5u);
  EXPECT_EQ(ControlCodeToDWORD(static_cast<TControlCode>(9)), 0u);
  EXPECT_EQ(ServiceStatesToDWORD({TServiceState::STATE_ACTIVE, TServiceState::STATE_INACTIVE}), 3u);
  EXPECT_EQ(ServiceStatesToDWORD({TServiceState::STATE_INACTIVE}), 2u);
  EXPECT_EQ(EnumSevicesToDWORD({TEnumSevice::PROCESS}), 0x30u);
  EXPECT_EQ(EnumSevicesToDWORD({TEnumSevice::DRIVER, TEnumSevice::PROCESS}), 0x3Bu);
}

// ---- TEnumList

TEnumList ListOf(std::initializer_list<const char*> names) {
  TEnumList list;
  for (const char* name : names) {
    TServiceStatusClass& record = list.Add();
    record.ServiceName = name;
    record.DisplayName = std::string("Display ") + name;
  }
  return list;
}

TEST(TEnumListTest, IndexOfFoldsOnlyAsciiLetters) {
  TEnumList list = ListOf({"Alpha", "TEVSvc", "\xC9tude"});
  EXPECT_EQ(list.IndexOf("tevsvc"), 1);
  EXPECT_EQ(list.IndexOf("TEVSVC"), 1);
  EXPECT_EQ(list.IndexOf("\xC9TUDE"), 2);
  EXPECT_EQ(list.IndexOf("\xE9tude"), -1) << "letters outside a to z keep their case";
  EXPECT_EQ(list.IndexOf("Display Alpha"), -1) << "display names are never compared";
  EXPECT_EQ(TEnumList().IndexOf("Alpha"), -1);
}

TEST(TEnumListTest, IndexErrorsAndEditing) {
  TEnumList list = ListOf({"A", "B", "C"});
  EXPECT_THROW(list.GetItem(3), EListError);
  EXPECT_THROW(list.GetItem(-1), EListError);
  EXPECT_THROW(list.Delete(3), EListError);

  auto replacement = std::make_unique<TServiceStatusClass>();
  replacement->ServiceName = "Z";
  replacement->DisplayName = "Display Z";
  list.SetItem(1, std::move(replacement));
  list.Delete(0);
  ASSERT_EQ(list.GetCount(), 2);
  EXPECT_EQ(list.GetItem(0).ServiceName, "Z");
  EXPECT_EQ(list.GetLines(), (std::vector<std::string>{"Display Z", "Display C"}));
  list.Clear();
  EXPECT_EQ(list.GetCount(), 0);
  EXPECT_TRUE(list.GetLines().empty());
}

TEST(TEnumListTest, NewRecordsAreEmptyAndStopped) {
  TEnumList list;
  const TServiceStatusClass& record = list.Add();
  EXPECT_EQ(record.ServiceName, "");
  EXPECT_EQ(record.CurrentState, TCurrentState::STOPPED);
  EXPECT_TRUE(record.ServiceType.Empty());
  EXPECT_EQ(record.WaitHint, 0u);
}

// ---- the component over the simulated service control manager

sim::ServiceSpec Spec(const std::string& name, DWORD type = SERVICE_WIN32_OWN_PROCESS,
                      DWORD state = SERVICE_RUNNING, const std::string& displayName = "") {
  sim::ServiceSpec spec;
  spec.name = name;
  spec.displayName = displayName;
  spec.type = type;
  spec.state = state;
  return spec;
}

class ServiceManagerTest : public ::testing::Test {
 protected:
  sim::Machine machine;
  Advapi32::Binding binding;
};

TEST_F(ServiceManagerTest, StartsClosedWithItsDefaultAccess) {
  TNTServiceManager manager;
  EXPECT_FALSE(manager.GetActiveManager());
  EXPECT_FALSE(manager.GetActiveService());
  EXPECT_EQ(manager.GetManagerAccess(), 1u);
  EXPECT_EQ(manager.GetServiceAccess(), 983551u);
  EXPECT_EQ(machine.OpenServiceHandles(), 0);
}

TEST_F(ServiceManagerTest, OpeningTheServiceOpensTheManagerFirstAndDestructionClosesBoth) {
  machine.AddService(Spec("Svc"));
  {
    TNTServiceManager manager;
    manager.SetServiceName("Svc");
    manager.SetActiveService(true);
    EXPECT_TRUE(manager.GetActiveManager());
    EXPECT_NE(manager.GetManagerHandle(), nullptr);
    EXPECT_NE(manager.GetServiceHandle(), nullptr);
    EXPECT_EQ(machine.OpenServiceHandles(), 2);

    manager.SetActiveManager(false);  // the service stays open
    EXPECT_TRUE(manager.GetActiveService());
    EXPECT_EQ(machine.OpenServiceHandles(), 1);
    manager.SetActiveManager(true);
  }
  EXPECT_EQ(machine.OpenServiceHandles(), 0);
}

TEST_F(ServiceManagerTest, SettersRefuseWhileOpenEvenForAnEqualValue) {
  machine.AddService(Spec("Svc"));
  TNTServiceManager manager;
  manager.SetServiceName("Svc");
  manager.SetActiveService(true);

  ENTException e = test::Raised([&] { manager.SetManagerAccess(manager.GetManagerAccess()); });
  EXPECT_EQ(e.Message(), kManagerActive);
  EXPECT_EQ(e.ErrorCode, 0xFFFFFFFFu);
  e = test::Raised([&] { manager.SetServiceAccess(manager.GetServiceAccess()); });
  EXPECT_EQ(e.Message(), kServiceActive);
  EXPECT_EQ(e.ErrorCode, 0xFFFFFFFFu);
  EXPECT_EQ(test::Raised([&] { manager.SetDatabaseName("ServicesActive"); }).Message(), kManagerActive);
  EXPECT_EQ(test::Raised([&] { manager.SetMachineName("OTHER"); }).Message(), kManagerActive);

  // Equal values of the database and machine names are no change at all.
  EXPECT_NO_THROW(manager.SetDatabaseName(""));
  EXPECT_NO_THROW(manager.SetMachineName(""));
  // The service name is never refused; the open service stays the one opened.
  manager.SetServiceName("Other");
  EXPECT_TRUE(manager.GetActiveService());
}

TEST_F(ServiceManagerTest, ObjectNameJoinsMachineAndService) {
  TNTServiceManager manager;
  manager.SetServiceName("Svc");
  EXPECT_EQ(manager.GetObjectName(), "Svc");
  manager.SetMachineName("\\\\HOST");
  EXPECT_EQ(manager.GetObjectName(), "\\\\HOST\\Svc");
}

TEST_F(ServiceManagerTest, OpeningFailures) {
  TNTServiceManager manager;
  ENTException e = test::Raised([&] { manager.SetActiveService(true); });
  EXPECT_EQ(e.Message(), "Service name is empty.");
  EXPECT_EQ(e.ErrorCode, 0u);

  manager.SetServiceName("Missing");
  e = test::Raised([&] { manager.SetActiveService(true); });
  EXPECT_EQ(e.ErrorCode, static_cast<std::uint32_t>(ERROR_SERVICE_DOES_NOT_EXIST));
  EXPECT_EQ(e.Message(), Ntexception::GetLastErrorString(ERROR_SERVICE_DOES_NOT_EXIST));
  EXPECT_FALSE(manager.GetActiveService());
  EXPECT_EQ(manager.GetServiceHandle(), nullptr);
  EXPECT_TRUE(manager.GetActiveManager()) << "the manager opened on the way stays open";

  manager.SetActiveManager(false);
  machine.DenyManagerOpen();
  EXPECT_EQ(test::Raised([&] { manager.SetActiveManager(true); }).ErrorCode, 5u);
  EXPECT_FALSE(manager.GetActiveManager());
}

TEST_F(ServiceManagerTest, ControlServiceNeedsAnOpenService) {
  TNTServiceManager manager;
  EXPECT_EQ(test::Raised([&] { manager.ControlService(TControlCode::CONTROL_STOP); }).ErrorCode,
            static_cast<std::uint32_t>(ERROR_INVALID_HANDLE));
}

TEST_F(ServiceManagerTest, ControlServiceSendsTheStop) {
  machine.AddService(Spec("Svc"));
  TNTServiceManager manager;
  manager.SetServiceName("Svc");
  manager.SetActiveService(true);
  manager.ControlService(TControlCode::CONTROL_STOP);
  EXPECT_EQ(machine.stopRequestTimes.size(), 1u);
  machine.Advance(10);
  EXPECT_EQ(machine.ServiceState("Svc"), static_cast<DWORD>(SERVICE_STOPPED));
}

TEST_F(ServiceManagerTest, DeleteServiceOpensWhatItNeedsAndLeavesTheManagerOpen) {
  machine.AddService(Spec("Svc"));
  TNTServiceManager manager;
  manager.SetServiceName("Svc");
  manager.DeleteService();
  EXPECT_FALSE(manager.GetActiveService());
  EXPECT_TRUE(manager.GetActiveManager());
  EXPECT_FALSE(machine.ServiceInstalled("Svc")) << "no handle of the service is left";
}

TEST_F(ServiceManagerTest, DeletingAServiceMarkedForDeletionFailsAndLeavesBothOpen) {
  machine.AddService(Spec("Svc"));
  TNTServiceManager first;
  first.SetServiceName("Svc");
  first.SetActiveService(true);
  TNTServiceManager second;
  second.SetServiceName("Svc");
  second.DeleteService();
  ASSERT_TRUE(machine.ServiceMarkedForDeletion("Svc"));

  const ENTException e = test::Raised([&] { first.DeleteService(); });
  EXPECT_EQ(e.ErrorCode, static_cast<std::uint32_t>(ERROR_SERVICE_MARKED_FOR_DELETE));
  EXPECT_TRUE(first.GetActiveService());
  EXPECT_TRUE(first.GetActiveManager());
}

TEST_F(ServiceManagerTest, LoadingRecordsTheOpenStateAndLoadedOpens) {
  machine.AddService(Spec("Svc"));
  TNTServiceManager manager;
  manager.BeginLoading();
  manager.SetServiceName("Svc");
  manager.SetActiveManager(true);
  manager.SetActiveService(true);
  manager.SetServiceAccess(SERVICE_QUERY_STATUS);
  EXPECT_EQ(machine.OpenServiceHandles(), 0);
  manager.Loaded();
  EXPECT_EQ(machine.OpenServiceHandles(), 2);
  EXPECT_NE(manager.GetServiceHandle(), nullptr);
}

// ---- enumeration

TEST_F(ServiceManagerTest, ListsWin32ServicesWithTheirStatusAndNeverDrivers) {
  sim::ServiceSpec ownSpec = Spec("Own", SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING, "Own service");
  ownSpec.controlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
  machine.AddService(ownSpec);
  machine.AddService(Spec("Shared", SERVICE_WIN32_SHARE_PROCESS, SERVICE_PAUSED));
  machine.AddService(Spec("Kernel", SERVICE_KERNEL_DRIVER, SERVICE_RUNNING));
  machine.AddService(Spec("Fs", SERVICE_FILE_SYSTEM_DRIVER, SERVICE_STOPPED));
  TNTServiceManager manager;
  const std::unique_ptr<TEnumList> list = manager.GetServiceList(
      {TServiceState::STATE_ACTIVE, TServiceState::STATE_INACTIVE}, {TEnumSevice::PROCESS});

  EXPECT_EQ(list->IndexOf("Kernel"), -1);
  EXPECT_EQ(list->IndexOf("Fs"), -1);
  const int own = list->IndexOf("Own");
  ASSERT_GE(own, 0);
  const TServiceStatusClass& record = list->GetItem(own);
  EXPECT_EQ(record.DisplayName, "Own service");
  EXPECT_EQ(record.CurrentState, TCurrentState::RUNNING);
  EXPECT_EQ(record.ServiceType, TServiceTypes{TServiceType::WIN32_OWN_PROCESS});
  EXPECT_EQ(record.ControlsAccepted, (TControlAcceptedSet{TControlAccepted::ACCEPT_STOP,
                                                          TControlAccepted::ACCEPT_SHUTDOWN}));
  ASSERT_GE(list->IndexOf("Shared"), 0);
  EXPECT_EQ(list->GetItem(list->IndexOf("Shared")).CurrentState, TCurrentState::PAUSED);

  const std::unique_ptr<TEnumList> drivers = manager.GetServiceList(
      {TServiceState::STATE_ACTIVE, TServiceState::STATE_INACTIVE}, {TEnumSevice::DRIVER});
  EXPECT_GE(drivers->IndexOf("Kernel"), 0);
  EXPECT_EQ(drivers->IndexOf("Own"), -1);
  EXPECT_EQ(machine.OpenServiceHandles(), 0) << "the enumeration closes its own manager";
  EXPECT_FALSE(manager.GetActiveManager());
}

// Enough services with long names that one 8192-byte buffer cannot hold them all.
void AddManyServices(sim::Machine& machine, int count) {
  for (int i = 0; i < count; ++i) {
    const std::string name = "Service" + std::to_string(1000 + i);
    machine.AddService(Spec(name, SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED,
                            name + std::string(60, 'd')));
  }
}

TEST_F(ServiceManagerTest, AnEnumerationLargerThanTheBufferIsResumed) {
  AddManyServices(machine, 200);
  TNTServiceManager manager;
  const std::unique_ptr<TEnumList> list = manager.GetServiceList(
      {TServiceState::STATE_ACTIVE, TServiceState::STATE_INACTIVE}, {TEnumSevice::PROCESS});
  for (int i = 0; i < 200; ++i)
    EXPECT_GE(list->IndexOf("Service" + std::to_string(1000 + i)), 0) << i;
  int listed = 0;
  for (int i = 0; i < list->GetCount(); ++i)
    if (list->GetItem(i).ServiceName.rfind("Service", 0) == 0) ++listed;
  EXPECT_EQ(listed, 200) << "no service listed twice";
}

TEST_F(ServiceManagerTest, MoreDataWithoutAResumePositionFailsWith234) {
  AddManyServices(machine, 200);
  machine.enumLosesResumePosition = true;
  TNTServiceManager manager;
  const ENTException e = test::Raised([&] {
    manager.GetServiceList({TServiceState::STATE_ACTIVE, TServiceState::STATE_INACTIVE},
                           {TEnumSevice::PROCESS});
  });
  EXPECT_EQ(e.ErrorCode, static_cast<std::uint32_t>(ERROR_MORE_DATA));
  EXPECT_EQ(machine.OpenServiceHandles(), 0) << "the enumeration's manager is closed anyway";
}

// ---- enumeration over a service library that misreports what it returned

template <typename F>
FARPROC AsExport(F* function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

int enumCalls = 0;

// Fills records at the front of an enumeration buffer and their strings from its middle.
class EnumBuffer {
 public:
  explicit EnumBuffer(LPENUM_SERVICE_STATUSA records) : records_(records) {}
  void Record(std::size_t index, const char* key, const char* display) {
    ENUM_SERVICE_STATUSA& record = records_[index];
    record.lpServiceName = Put(key);
    record.lpDisplayName = Put(display);
    record.ServiceStatus.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    record.ServiceStatus.dwCurrentState = SERVICE_RUNNING;
  }
  // Only the two name pointers of a record whose status would lie past the first 8192
  // bytes.
  void Names(std::size_t index, const char* key) {
    char* at = reinterpret_cast<char*>(records_) + index * sizeof(ENUM_SERVICE_STATUSA);
    const LPSTR names[2] = {Put(key), nullptr};
    std::memcpy(at, names, sizeof(names));
  }

 private:
  LPSTR Put(const char* text) {
    if (text == nullptr) return nullptr;
    char* at = reinterpret_cast<char*>(records_) + 4096 + used_;
    std::memcpy(at, text, std::strlen(text) + 1);
    used_ += std::strlen(text) + 1;
    return at;
  }
  LPENUM_SERVICE_STATUSA records_;
  std::size_t used_ = 0;
};

constexpr std::size_t kWholeRecords = 8192 / sizeof(ENUM_SERVICE_STATUSA);

// As Wine can answer: a first round with a null display name and a null key name, then a
// round that reports 234 and a count of records it never wrote, then a last round whose
// count also covers a record straddling the end of the 8192 bytes.
BOOL WINAPI UnfilledEnumeration(SC_HANDLE, DWORD, DWORD, LPENUM_SERVICE_STATUSA services,
                                DWORD bufSize, LPDWORD needed, LPDWORD returned,
                                LPDWORD resume) {
  ++enumCalls;
  if (bufSize != 8192) return FALSE;
  EnumBuffer buffer(services);
  *needed = 100;
  switch (*resume) {
    case 0:
      buffer.Record(0, "Alpha", nullptr);
      buffer.Record(1, nullptr, "No key");
      buffer.Record(2, "Beta", "Beta service");
      *returned = 3;
      *resume = 3;
      break;
    case 3:
      *returned = 1000;
      *resume = 9;
      break;
    default:
      buffer.Record(0, "Gamma", "Gamma service");
      buffer.Names(kWholeRecords, "Straddler");
      *returned = static_cast<DWORD>(kWholeRecords + 1);
      *resume = 0;
      return TRUE;
  }
  ::SetLastError(ERROR_MORE_DATA);
  return FALSE;
}

// Asks for more room again and again without moving on; gives up after 50 calls.
BOOL WINAPI StuckEnumeration(SC_HANDLE, DWORD, DWORD, LPENUM_SERVICE_STATUSA, DWORD,
                             LPDWORD needed, LPDWORD returned, LPDWORD resume) {
  *needed = 100;
  *returned = 0;
  if (++enumCalls > 50) {
    *resume = 0;
    return TRUE;
  }
  *resume = 7;
  ::SetLastError(ERROR_MORE_DATA);
  return FALSE;
}

std::unique_ptr<TEnumList> ListAll(TNTServiceManager& manager) {
  return manager.GetServiceList({TServiceState::STATE_ACTIVE, TServiceState::STATE_INACTIVE},
                                {TEnumSevice::PROCESS});
}

TEST(ServiceManagerEnumeration, ReadsOnlyRecordsTheLibraryWroteIntoTheBuffer) {
  ASSERT_LE(kWholeRecords * sizeof(ENUM_SERVICE_STATUSA) + 2 * sizeof(LPSTR), 8192u);
  sim::Machine machine;
  machine.ReplaceExport("advapi32.dll", "EnumServicesStatusA", AsExport(&UnfilledEnumeration));
  Advapi32::Binding binding;
  enumCalls = 0;
  TNTServiceManager manager;
  const std::unique_ptr<TEnumList> list = ListAll(manager);
  EXPECT_EQ(enumCalls, 3);
  ASSERT_EQ(list->GetCount(), 3) << "no stale, keyless or straddling record is listed";
  EXPECT_EQ(list->GetItem(0).ServiceName, "Alpha");
  EXPECT_EQ(list->GetItem(0).DisplayName, "") << "a null display name reads as empty";
  EXPECT_EQ(list->GetItem(1).ServiceName, "Beta");
  EXPECT_EQ(list->GetItem(2).ServiceName, "Gamma");
  EXPECT_EQ(list->GetItem(2).DisplayName, "Gamma service");
  EXPECT_EQ(list->IndexOf("Straddler"), -1);
  EXPECT_EQ(machine.OpenServiceHandles(), 0);
}

TEST(ServiceManagerEnumeration, MoreDataThatDoesNotMoveOnFailsWith234) {
  sim::Machine machine;
  machine.ReplaceExport("advapi32.dll", "EnumServicesStatusA", AsExport(&StuckEnumeration));
  Advapi32::Binding binding;
  enumCalls = 0;
  TNTServiceManager manager;
  EXPECT_EQ(test::Raised([&] { ListAll(manager); }).ErrorCode,
            static_cast<std::uint32_t>(ERROR_MORE_DATA));
  EXPECT_EQ(enumCalls, 2) << "the second round returned the position it was given";
  EXPECT_EQ(machine.OpenServiceHandles(), 0);
}

TEST(ServiceManagerBinding, AMissingEntryPointRaisesTheCannotLoadMessage) {
  sim::Machine machine;
  machine.AddService(Spec("Svc"));
  machine.RemoveExport("advapi32.dll", "OpenServiceA");
  Advapi32::Binding binding;
  TNTServiceManager manager;
  manager.SetServiceName("Svc");
  const ENTException e = test::Raised([&] { manager.SetActiveService(true); });
  EXPECT_EQ(e.Message(), "Cannot load library \"advapi32.dll\" or linked libraries");
  EXPECT_EQ(e.ErrorCode, 0u);
  EXPECT_TRUE(manager.GetActiveManager()) << "the other wrappers work";
}

}  // namespace
