// The services stage's operations: a snapshot of the installed Win32 services, a test whether
// a service is in it, a stop that waits for the service to settle, and a removal.
//
// They drive the main window's service manager component, NTServiceManager1, and its
// snapshot, ServiceSnapshot. Between two operations both the component's manager and service
// are closed. Waits are plain Sleeps of fixed length; the message pump turns before each poll's
// sleep and around the closing pause so the window repaints while a service is stopped (and
// so the window's own handlers may run in the middle of StopService).
#pragma once

#include <memory>
#include <string>

#include "cleanup/run.h"
#include "ntservice/ntserviceman.h"

namespace cleanup {

// StopService's answers.
constexpr int ServiceStopped = 0;  // a stop was requested (and, for a running one, seen)
constexpr int ServiceWasStopped = 500;
constexpr int ServiceStillStarting = 501;
constexpr int ServiceWasStopping = 502;
constexpr int ServiceContinuePending = 503;
constexpr int ServicePausingOrNotStopped = 504;
constexpr int ServiceWasPaused = 505;

class ServiceStage final : public ServiceOperations {
 public:
  // NTServiceManager1 with its stored design values (manager and service closed, manager
  // access 1, service access 983551); no snapshot yet.
  ServiceStage();

  // Retakes ServiceSnapshot: every Win32 service, own-process or shared-process, in any
  // state; drivers are not listed. A failed enumeration propagates and leaves the snapshot
  // absent, which counts as empty.
  void RefreshServiceList();

  // Whether a record with exactly this key name (case-sensitive) is in the current snapshot.
  // Never refreshes and never fails.
  bool ServiceExists(const std::string& name) override;

  // Refreshes, opens the service and acts on its state in the refreshed snapshot (looked up
  // with ASCII case folding): a running service is asked to stop and polled every second, up
  // to 10 times, while it is stop-pending (0 when it ends stopped, else 504); a start-pending
  // one is polled every 2 seconds, up to 10 times, and asked to stop if it comes up (0 after a
  // 1-second pause, unverified, its snapshot record then reads stopped; else 501); the other
  // states answer at once (stopped 500, stop-pending 502, continue-pending 503, pause-pending
  // 504, paused 505). Ends by closing service and manager and a 2-second pause between two
  // message pumps.
  //
  // A failure while refreshing or opening the manager propagates at once. A failure from the
  // opening of the service on (including a record missing from the snapshot) closes the
  // service and the manager and propagates; the closing pause is then skipped.
  int StopService(const std::string& name) override;

  // Marks the service for deletion, closes service and manager, and pauses 2 seconds. A
  // service already marked for deletion (1072: an earlier removal waits for a restart) counts
  // as removed. Any other failed deletion propagates with the manager and the service left open, so that later
  // operations are refused at their service-access step.
  void RemoveService(const std::string& name) override;

  TNTServiceManager NTServiceManager1;
  std::unique_ptr<TEnumList> ServiceSnapshot;

 private:
  int StopOpenService(const std::string& name);
  int StopRunningService(const std::string& name);
  int StopStartingService(const std::string& name);
  TServiceStatusClass& SnapshotRecord(const std::string& name);
  TCurrentState ReadState(const std::string& name) { return SnapshotRecord(name).CurrentState; }
};

}  // namespace cleanup
