#include "app/main_window_services.h"

#include "cleanup/services.h"

namespace {

class ServiceStageServices final : public MainWindowServices {
 public:
  void RefreshServiceList() override { stage_.RefreshServiceList(); }
  void FreeServiceSnapshot() override { stage_.ServiceSnapshot.reset(); }
  bool ServiceExists(const std::string& name) override { return stage_.ServiceExists(name); }
  int StopService(const std::string& name) override { return stage_.StopService(name); }
  void RemoveService(const std::string& name) override { stage_.RemoveService(name); }

 private:
  cleanup::ServiceStage stage_;
};

}  // namespace

std::unique_ptr<MainWindowServices> MakeServiceStage() {
  return std::make_unique<ServiceStageServices>();
}
