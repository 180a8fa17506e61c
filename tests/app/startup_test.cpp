#include <string>
#include <vector>

#include "app/quelmark.h"
#include "platform/exception.h"
#include "shell_fixture.h"

namespace shelltest {
namespace {

const std::string kRefusal =
    "Sistema operativo no soportado\n"
    "La aplicaci\xF3n solo puede ser ejecutada en windows NT, 2000, XP o 2003";

OSVERSIONINFOA Version(DWORD major, DWORD minor, DWORD platform, DWORD build = 1000) {
  OSVERSIONINFOA v{};
  v.dwOSVersionInfoSize = sizeof v;
  v.dwMajorVersion = major;
  v.dwMinorVersion = minor;
  v.dwPlatformId = platform;
  v.dwBuildNumber = build;
  return v;
}

class Startup : public ::testing::Test {
 protected:
  Startup() { ServeProgramResources(); }
  ~Startup() override { ui::headless::ClearResources(); }

  // Runs the main routine on w with the product's service installed and running; counts
  // records what the window asked of its service stage.
  static Ending RunProgram(World& w, ServiceCounts& counts) {
    sim::ServiceSpec svc;
    svc.name = "TEVSvc";
    w.machine.AddService(svc);
    Ending end;
    try {
      EXPECT_EQ(QuelmarkMain(w.app,
                             [&counts] { return std::make_unique<ScriptedServices>(counts); }),
                0);
    } catch (const sim::ProcessExit& e) {
      end.exited = true;
      end.code = e.code;
    }
    return end;
  }
};

TEST_F(Startup, Windows9xIsRefusedWhateverTheOptions) {
  const OSVERSIONINFOA refused[] = {Version(4, 0, 1, 950), Version(4, 0, 1, 1111),
                                    Version(4, 10, 1, 1998), Version(4, 10, 1, 2222),
                                    Version(4, 90, 1, 3000)};
  const char* const lines[] = {"Quelmark.exe /CREATELOG /REBOOT_AUTO", "Quelmark.exe /REBOOT_CONFIRM",
                               "Quelmark.exe"};
  for (const OSVERSIONINFOA& v : refused) {
    for (const char* line : lines) {
      SCOPED_TRACE(::testing::Message() << v.dwMajorVersion << "." << v.dwMinorVersion << " "
                                        << line);
      World w;
      w.machine.version = v;
      w.machine.commandLine = line;
      ServiceCounts counts;
      const Ending end = RunProgram(w, counts);
      EXPECT_FALSE(end.exited);
      ASSERT_EQ(w.machine.messageBoxes.size(), 1u);  // no end message follows
      EXPECT_EQ(w.machine.messageBoxes[0].owner, nullptr);
      EXPECT_EQ(w.machine.messageBoxes[0].text, kRefusal);
      EXPECT_EQ(w.machine.messageBoxes[0].caption, "Quelmark error");
      EXPECT_EQ(w.machine.messageBoxes[0].flags, static_cast<UINT>(MB_ICONERROR));
      EXPECT_TRUE(w.machine.exitWindowsRequests.empty());
      EXPECT_FALSE(w.machine.PathExists(w.machine.windowsDirectory + "\\Temp\\Quelmark.log"));
      EXPECT_EQ(counts.stops, 0);
      EXPECT_TRUE(w.machine.ServiceInstalled("TEVSvc"));
    }
  }
}

TEST_F(Startup, RefusedSystemCreatesNoLists) {
  World w;
  w.machine.version = Version(4, 10, 1);
  w.machine.commandLine = "Quelmark.exe /CREATELOG";
  TForm1& form = w.app.CreateForm<TForm1>(std::make_unique<ScriptedServices>());
  EXPECT_TRUE(form.CheckPlatform());
  form.Show();
  EXPECT_EQ(form.LogList(), nullptr);
  EXPECT_FALSE(form.AutoMode);
  EXPECT_TRUE(form.CommandLine.empty());
  EXPECT_TRUE(w.app.Terminated());
}

TEST_F(Startup, NtFamilyAndUnknownPlatformsPass) {
  const OSVERSIONINFOA accepted[] = {Version(4, 0, 2),  Version(5, 0, 2), Version(5, 1, 2),
                                     Version(5, 2, 2),  Version(6, 1, 2), Version(10, 0, 2),
                                     Version(3, 10, 0), Version(4, 5, 1)};
  for (const OSVERSIONINFOA& v : accepted) {
    SCOPED_TRACE(::testing::Message() << v.dwMajorVersion << "." << v.dwMinorVersion << " p"
                                      << v.dwPlatformId);
    World w;
    w.machine.version = v;
    TForm1& form = w.app.CreateForm<TForm1>(std::make_unique<ScriptedServices>());
    EXPECT_FALSE(form.CheckPlatform());
    form.Show();
    EXPECT_TRUE(w.machine.messageBoxes.empty());
    EXPECT_NE(form.LogList(), nullptr);
    EXPECT_FALSE(w.app.Terminated());
  }
}

TEST_F(Startup, FailingVersionQueryCountsAsSupported) {
  World w;
  w.machine.version = Version(4, 10, 1);
  w.machine.versionQueryFails = true;
  TForm1& form = w.app.CreateForm<TForm1>(std::make_unique<ScriptedServices>());
  EXPECT_EQ(form.OsVersion.Info.dwPlatformId, 0u);
  EXPECT_EQ(form.OsVersion.Info.dwMinorVersion, 0u);
  EXPECT_EQ(form.OsVersion.Info.dwOSVersionInfoSize, 148u);
  EXPECT_FALSE(form.CheckPlatform());
}

TEST_F(Startup, MainRoutineSetsTheApplicationUpAndEndsWithTheMainWindow) {
  World w;
  w.machine.commandLine = "Quelmark.exe";
  ServiceCounts counts;
  // No input: the headless loop ends at once, as if the user had closed the main window.
  const Ending end = RunProgram(w, counts);
  EXPECT_FALSE(end.exited);
  EXPECT_EQ(w.app.Title(), "Quelmark");
  EXPECT_EQ(w.app.HelpFile(), "C:\\Quelmark\\Quelmark.hlp");  // beside the program
  EXPECT_EQ(counts.refreshes, 1);
  EXPECT_EQ(counts.frees, 1);  // FormDestroy ran
  EXPECT_EQ(w.app.MainForm(), nullptr);
  EXPECT_TRUE(w.machine.messageBoxes.empty());
}

TEST_F(Startup, GuardShowsWhatEscapesOutsideTheHandlers) {
  World w;
  EXPECT_EQ(QuelmarkMain(w.app,
                         []() -> std::unique_ptr<MainWindowServices> {
                           throw Exception("No se pudo crear la ventana");
                         }),
            0);
  ui::Application second;
  EXPECT_EQ(QuelmarkMain(second, []() -> std::unique_ptr<MainWindowServices> { throw 42; }), 0);
  ASSERT_EQ(w.machine.messageBoxes.size(), 2u);
  EXPECT_EQ(w.machine.messageBoxes[0].text, "No se pudo crear la ventana.");
  EXPECT_EQ(w.machine.messageBoxes[0].caption, "Quelmark");
  EXPECT_EQ(w.machine.messageBoxes[0].flags, static_cast<UINT>(MB_OK | MB_ICONERROR));
  EXPECT_EQ(w.machine.messageBoxes[1].text, "");
  EXPECT_EQ(w.machine.messageBoxes[1].caption, "Quelmark");
}

TEST(ExceptionBox, FullStopRule) {
  EXPECT_EQ(ui::Application::ExceptionText(""), "");
  EXPECT_EQ(ui::Application::ExceptionText("Acceso denegado"), "Acceso denegado.");
  EXPECT_EQ(ui::Application::ExceptionText("Hecho."), "Hecho.");
  // Only characters whose code is above that of "." get one.
  EXPECT_EQ(ui::Application::ExceptionText("Error 5!"), "Error 5!");
  EXPECT_EQ(ui::Application::ExceptionText("a-"), "a-");
  EXPECT_EQ(ui::Application::ExceptionText("C:\\Temp/"), "C:\\Temp/.");
  EXPECT_EQ(ui::Application::ExceptionText("c\xF3" "digo"), "c\xF3" "digo.");
  EXPECT_EQ(ui::Application::ExceptionText("fin \xF3"), "fin \xF3.");
  EXPECT_EQ(ui::Application::ExceptionText("Code: 5\r\n"), "Code: 5\r\n");
}

}  // namespace
}  // namespace shelltest
