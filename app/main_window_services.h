// The service stage as the main window drives it: the run's operations plus the snapshot
// that FormCreate takes and FormDestroy frees. The program uses the real service stage;
// tests may hand the window their own.
#pragma once

#include <memory>

#include "cleanup/run.h"

class MainWindowServices : public cleanup::ServiceOperations {
 public:
  virtual ~MainWindowServices() = default;
  // May throw the service component's exception; the snapshot then stays absent.
  virtual void RefreshServiceList() = 0;
  virtual void FreeServiceSnapshot() = 0;
  // Whether RemoveService marked the service for deletion (or found it marked already):
  // it may stay listed until the restart, which removes it.
  virtual bool MarkedForDeletion(const std::string&) const { return false; }
};

// The program's service stage (NTServiceManager1 and ServiceSnapshot).
std::unique_ptr<MainWindowServices> MakeServiceStage();
