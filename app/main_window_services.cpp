#include "app/main_window_services.h"

#include <set>
#include <string>

#include "cleanup/services.h"

namespace {

class ServiceStageServices final : public MainWindowServices {
 public:
  void RefreshServiceList() override { stage_.RefreshServiceList(); }
  void FreeServiceSnapshot() override { stage_.ServiceSnapshot.reset(); }
  bool ServiceExists(const std::string& name) override { return stage_.ServiceExists(name); }
  int StopService(const std::string& name) override { return stage_.StopService(name); }
  void RemoveService(const std::string& name) override {
    stage_.RemoveService(name);
    marked_.insert(name);
  }
  bool MarkedForDeletion(const std::string& name) const override {
    return marked_.count(name) != 0;
  }

 private:
  cleanup::ServiceStage stage_;
  std::set<std::string> marked_;
};

}  // namespace

std::unique_ptr<MainWindowServices> MakeServiceStage() {
  return std::make_unique<ServiceStageServices>();
}
