#include "cleanup/services.h"

#include "cleanup/pump.h"
#include "ntservice/ntexception.h"
#include "platform/exception.h"
#include "platform/win32/win32.h"

namespace cleanup {
namespace {

constexpr DWORD kConnectAccess = SC_MANAGER_CONNECT;
constexpr DWORD kEnumerateAccess = SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE;
constexpr DWORD kAllServiceAccess = SERVICE_ALL_ACCESS;  // 983551

constexpr int kMaxPolls = 10;
constexpr DWORD kStopPollMs = 1000;
constexpr DWORD kStartPollMs = 2000;
constexpr DWORD kAfterStartStopMs = 1000;
constexpr DWORD kClosingPauseMs = 2000;
constexpr DWORD kRemovalPauseMs = 2000;

}  // namespace

ServiceStage::ServiceStage() {
  NTServiceManager1.BeginLoading();
  NTServiceManager1.SetActiveManager(false);
  NTServiceManager1.SetActiveService(false);
  NTServiceManager1.SetManagerAccess(kConnectAccess);
  NTServiceManager1.SetServiceAccess(kAllServiceAccess);
  NTServiceManager1.Loaded();
}

void ServiceStage::RefreshServiceList() {
  NTServiceManager1.SetActiveManager(false);
  NTServiceManager1.SetManagerAccess(kEnumerateAccess);
  ServiceSnapshot.reset();
  ServiceSnapshot = NTServiceManager1.GetServiceList(
      {TServiceState::STATE_ACTIVE, TServiceState::STATE_INACTIVE}, {TEnumSevice::PROCESS});
  NTServiceManager1.SetActiveManager(false);
}

bool ServiceStage::ServiceExists(const std::string& name) {
  if (!ServiceSnapshot) return false;
  for (int i = 0; i < ServiceSnapshot->GetCount(); ++i)
    if (ServiceSnapshot->GetItem(i).ServiceName == name) return true;
  return false;
}

TServiceStatusClass& ServiceStage::SnapshotRecord(const std::string& name) {
  if (!ServiceSnapshot) throw EListError(-1);
  return ServiceSnapshot->GetItem(ServiceSnapshot->IndexOf(name));
}

int ServiceStage::StopService(const std::string& name) {
  RefreshServiceList();
  NTServiceManager1.SetManagerAccess(kEnumerateAccess);
  NTServiceManager1.SetServiceAccess(kAllServiceAccess);
  NTServiceManager1.SetActiveManager(true);
  int result = ServiceStopped;
  try {
    NTServiceManager1.SetServiceName(name);
    NTServiceManager1.SetActiveService(true);
    result = StopOpenService(name);
  } catch (...) {
    NTServiceManager1.SetActiveService(false);
    NTServiceManager1.SetActiveManager(false);
    throw;
  }
  NTServiceManager1.SetActiveService(false);
  NTServiceManager1.SetActiveManager(false);
  ProcessMessages();
  ::Sleep(kClosingPauseMs);
  ProcessMessages();
  return result;
}

int ServiceStage::StopOpenService(const std::string& name) {
  switch (ReadState(name)) {
    case TCurrentState::STOPPED: return ServiceWasStopped;
    case TCurrentState::START_PENDING: return StopStartingService(name);
    case TCurrentState::STOP_PENDING: return ServiceWasStopping;
    case TCurrentState::RUNNING: return StopRunningService(name);
    case TCurrentState::CONTINUE_PENDING: return ServiceContinuePending;
    case TCurrentState::PAUSE_PENDING: return ServicePausingOrNotStopped;
    case TCurrentState::PAUSED: return ServiceWasPaused;
  }
  return ServiceWasStopped;
}

int ServiceStage::StopRunningService(const std::string& name) {
  NTServiceManager1.ControlService(TControlCode::CONTROL_STOP);
  TCurrentState state;
  int polls = 0;
  do {
    ProcessMessages();
    ::Sleep(kStopPollMs);
    RefreshServiceList();
    state = ReadState(name);
    ++polls;
  } while (state == TCurrentState::STOP_PENDING && polls < kMaxPolls);
  return state == TCurrentState::STOPPED ? ServiceStopped : ServicePausingOrNotStopped;
}

// The refreshes close the component's manager; the stop request goes through the service
// handle that is still open.
int ServiceStage::StopStartingService(const std::string& name) {
  TCurrentState state;
  int polls = 0;
  do {
    ProcessMessages();
    ::Sleep(kStartPollMs);
    RefreshServiceList();
    state = ReadState(name);
    ++polls;
  } while (state == TCurrentState::START_PENDING && polls < kMaxPolls);
  if (state != TCurrentState::RUNNING) return ServiceStillStarting;
  NTServiceManager1.ControlService(TControlCode::CONTROL_STOP);
  SnapshotRecord(name).CurrentState = TCurrentState::STOPPED;
  ::Sleep(kAfterStartStopMs);
  return ServiceStopped;
}

void ServiceStage::RemoveService(const std::string& name) {
  NTServiceManager1.SetManagerAccess(kEnumerateAccess);
  NTServiceManager1.SetServiceAccess(kAllServiceAccess);
  NTServiceManager1.SetServiceName(name);
  NTServiceManager1.SetActiveManager(true);
  NTServiceManager1.SetActiveService(true);
  try {
    NTServiceManager1.DeleteService();
  } catch (const ENTException& e) {
    // An earlier removal waits for the restart: the service is as good as removed.
    if (e.ErrorCode != ERROR_SERVICE_MARKED_FOR_DELETE) throw;
  }
  NTServiceManager1.SetActiveService(false);
  NTServiceManager1.SetActiveManager(false);
  ::Sleep(kRemovalPauseMs);
}

}  // namespace cleanup
