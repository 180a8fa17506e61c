// A simulated machine, a headless application and the program's three windows, as the main
// routine creates them; helpers to play the user and to see how the program ended.
#pragma once

#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "app/about_box.h"
#include "app/log_viewer.h"
#include "app/main_window.h"
#include "ntservice/advapi32.h"
#include "platform/sim/machine.h"
#include "platform/ui/headless.h"

namespace shelltest {

inline std::string ReadResFile(const std::string& name) {
  std::ifstream in(std::string(QM_APP_RES_DIR) + "/" + name, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// The program's pictures as the resource script names them.
inline void ServeProgramResources() {
  ui::headless::SetResource("LOGO", ReadResFile("logo.jpg"));
  ui::headless::SetResource("MARK_OK", ReadResFile("mark_ok.bmp"));
  ui::headless::SetResource("MARK_FALLO", ReadResFile("mark_fallo.bmp"));
  ui::headless::SetResource("MENU_CERRAR", ReadResFile("menu_cerrar.bmp"));
  ui::headless::SetResource("MENU_AYUDA", ReadResFile("menu_ayuda.bmp"));
  ui::headless::SetResource("MENU_ACERCA", ReadResFile("menu_acerca.bmp"));
}

// A service stage of the test's own: the product's service is always installed, and its
// stop runs what the test asks for (a look at the window in the middle of the run, an
// exception) before it answers.
struct ServiceCounts {
  int refreshes = 0, frees = 0, stops = 0;
};

class ScriptedServices : public MainWindowServices {
 public:
  ScriptedServices() = default;
  // Counts into the test's own record, which outlives the window.
  explicit ScriptedServices(ServiceCounts& counts) : counts_(counts) {}

  void RefreshServiceList() override { ++counts_.refreshes; }
  void FreeServiceSnapshot() override { ++counts_.frees; }
  bool ServiceExists(const std::string&) override { return true; }
  int StopService(const std::string&) override {
    ++counts_.stops;
    if (duringStop) duringStop();
    return 0;
  }
  void RemoveService(const std::string&) override {}

  std::function<void()> duringStop;
  const ServiceCounts& Counts() const { return counts_; }

 private:
  ServiceCounts own_;
  ServiceCounts& counts_ = own_;
};

// How the program ended: normally (the destroy step returned) or by an immediate exit.
struct Ending {
  bool exited = false;
  unsigned code = 0;
  bool exitHandlersRun = false;  // the runtime's exit, not ExitProcess
};

// One simulated machine with the service binding and a headless application, for tests
// that need several machines one after the other (the sim allows one at a time).
struct World {
  sim::Machine machine;
  Advapi32::Binding binding;
  ui::Application app;
};

// Destroys the application's windows as the program's end does.
inline Ending DestroyWindows(ui::Application& app) {
  Ending end;
  try {
    app.DestroyForms();
  } catch (const sim::ProcessExit& e) {
    end.exited = true;
    end.code = e.code;
    end.exitHandlersRun = e.exitHandlersRun;
  }
  return end;
}

class Shell : public ::testing::Test {
 protected:
  Shell() { ServeProgramResources(); }
  ~Shell() override { ui::headless::ClearResources(); }

  void Create(std::unique_ptr<MainWindowServices> services = MakeServiceStage()) {
    main = &app.CreateForm<TForm1>(std::move(services));
    about = &app.CreateForm<TAboutBox>();
    viewer = &app.CreateForm<TForm3>(*main);
    main->AboutBox = about;
    main->LogViewer = viewer;
  }
  ScriptedServices& CreateScripted() {
    auto services = std::make_unique<ScriptedServices>();
    ScriptedServices& ref = *services;
    Create(std::move(services));
    return ref;
  }

  void Post(const ui::headless::Input& input) { ui::headless::Post(app, input); }
  void Send(const ui::headless::Input& input) { ui::headless::Send(app, input); }

  Ending Finish() { return DestroyWindows(app); }

  std::string LogFile() const {
    return machine.FileContent(machine.windowsDirectory + "\\Temp\\Quelmark.log");
  }
  bool LogFileExists() const {
    return machine.PathExists(machine.windowsDirectory + "\\Temp\\Quelmark.log");
  }

  sim::Machine machine;
  Advapi32::Binding binding;  // as the program binds at start-up
  ui::Application app;
  TForm1* main = nullptr;
  TAboutBox* about = nullptr;
  TForm3* viewer = nullptr;
};

}  // namespace shelltest
