#include "app/quelmark.h"

#include "app/about_box.h"
#include "app/fleet.h"
#include "app/help_file.h"
#include "app/log_viewer.h"
#include "app/main_window.h"
#include "platform/exception.h"

int QuelmarkMain(ui::Application& app, const ServicesFactory& makeServices) {
  const std::string commandLine = fleet::UpperCommandLine();
  // Nobody answers a box in an unattended run: the main window keeps the texts for its log
  // once it exists; what is raised before (its creation failing) is not written anywhere.
  if (fleet::SelectsUnattendedRun(commandLine)) app.SetExceptionSink([](const std::string&) {});
  // Fails closed: only a look at the product that completed sets another status.
  unsigned exitStatus = fleet::StatusBeforeTheLook(commandLine);
  fleet::InstanceLock lock;
  if (!lock.Acquire()) return static_cast<int>(fleet::EndSecondCopy(commandLine));
  try {
    app.Initialize();
    app.SetHelpFile(HelpFilePath());  // the help menu entry sets it again before it asks
    app.SetTitle("Quelmark");
    TForm1& main = app.CreateForm<TForm1>(makeServices());
    main.ExitStatus = &exitStatus;
    main.AboutBox = &app.CreateForm<TAboutBox>();
    main.LogViewer = &app.CreateForm<TForm3>(main);
    app.Run();
  } catch (const Exception& e) {
    app.ShowException(e.Message());
  } catch (...) {
    app.ShowException(Exception("").Message());
  }
  app.DestroyForms();
  return static_cast<int>(exitStatus);
}
