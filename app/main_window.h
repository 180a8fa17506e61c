// The main window: the owner of the cleanup run's state, the four stage lines with their
// marks, the button and the menu, the command-line options and the restart step.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/fleet.h"
#include "app/main_window_services.h"
#include "app/windows_version.h"
#include "cleanup/delay_delete.h"
#include "cleanup/run.h"
#include "cleanup/verify.h"
#include "platform/ui/ui.h"

class TAboutBox;
class TForm3;

enum TRebootMode : std::uint8_t { RebootNone = 0, RebootAuto = 1, RebootConfirm = 2 };

class TForm1 : public ui::Form, public cleanup::RunHost {
 public:
  // Builds the window from its layout, installs the application's message pump for the
  // engine and fills OsVersion.
  explicit TForm1(ui::Application& app,
                  std::unique_ptr<MainWindowServices> services = MakeServiceStage());
  ~TForm1() override;

  // Event handlers, bound to the layout's events.
  void FormCreate();
  void FormShow();
  void FormActivate();
  void Button1Click();
  void Cerrar1Click();
  void Temasdeayuda1Click();
  void Acercade1Click();
  void FormCloseQuery(bool& CanClose);
  void FormDestroy();

  // Whether an upper-cased command line selects the automatic run (any of " /CREATELOG",
  // " /REBOOT_AUTO", " /REBOOT_CONFIRM").
  static bool SelectsAutomaticRun(const std::string& upperCommandLine);

  // True when the system is refused: Windows 95, 98 or Me.
  bool CheckPlatform() const;
  // Sets AutoMode, CreateLogFile and RebootMode from CommandLine (already upper-cased).
  void ParseCommandLine();
  // Runs the cleanup once; an exception from the run propagates after RestartNeeded has
  // been taken over from the run.
  void RunCleanup();
  // The restart step of the window's destruction; may end the process with status 0.
  void OfferRestart();

  // cleanup::RunHost
  void StageStarted(cleanup::Stage stage) override;
  void StageFinished(cleanup::Stage stage, bool ok) override;
  void HideAllMarks() override;

  // The run log; null until the window has been shown on a supported system and after the
  // window's destruction has freed the lists.
  const cleanup::StringList* LogList() const;
  const cleanup::CleanupRun* Run() const { return run_.get(); }

  // Controls.
  ui::Label *Label1, *Label2, *Label3, *Label4, *Label5;
  ui::Shape* Shape1;
  ui::Image* Image1;
  ui::Image *ImgSrvFallo, *ImgSrvOk, *ImgPrcFallo, *ImgPrcOk;
  ui::Image *ImgRegFallo, *ImgRegOk, *ImgFileFallo, *ImgFileOk;
  ui::Button* Button1;

  // The other windows, set by the main routine once they exist.
  TAboutBox* AboutBox = nullptr;
  TForm3* LogViewer = nullptr;

  std::string CommandLine;
  bool RestartNeeded = false;
  bool CloseAllowed = false;
  bool AutoMode = false;
  TRebootMode RebootMode = RebootNone;
  WindowsVersion OsVersion;
  bool CreateLogFile = false;
  // The deployment options (fleet.h), read with the others when the window is shown.
  bool ExitCodeOption = false;
  bool DelayDeleteOption = false;
  bool PreviewOption = false;
  // Where the program's normal end finds its exit status; set by the main routine, which
  // starts it failed closed. The window writes it only once a look has completed (/PREVIEW)
  // or with /EXITCODE. An immediate exit of the restart step ends the process with the same
  // status.
  unsigned* ExitStatus = nullptr;

 private:
  void ConfirmRestart();
  // The end message; true unless the person cancels.
  bool AskForRestart() const;
  // Whether the restart step will ask Windows to restart: the automatic run found the
  // service, and /REBOOT_AUTO or an accepted /REBOOT_CONFIRM asks for it.
  bool WillRequestRestart() const;
  void AutomaticRun();
  // The product's folders as located for this run; throws what the location throws.
  std::unique_ptr<cleanup::CleanupRun> LocatedRun();
  // From here on the exception box is never shown: its texts are kept for the log file,
  // which nobody has to answer.
  void KeepErrorsForTheLog();
  void WriteLogFile() const;
  cleanup::ProductPlaces Places() const;
  std::vector<cleanup::ItemLook> LookAtProduct() const;
  void AfterTheRun();
  // The status of a run (or of none) from the looks before and after it.
  fleet::ExitStatus StatusOfTheRun() const;
  // The status the process ends with: 0 without /EXITCODE; 1603 while no look after the run
  // has completed; a restart that Windows accepted turns 3010 into 1641.
  unsigned FinalStatus(bool restartStarted) const;
  cleanup::StringList ExitCodeBlock() const;
  void Preview();
  void WritePreviewLog(const std::vector<cleanup::ItemLook>* items) const;
  ui::Label& StageLabel(cleanup::Stage stage) const;
  void ShowStageMark(cleanup::Stage stage, bool ok);

  std::unique_ptr<MainWindowServices> services_;
  // The three lists, WindowsDir and the run; created by FormShow, freed by FormDestroy.
  std::unique_ptr<cleanup::CleanupRun> run_;
  // Set when a run starts: one run per program instance, whichever path starts it.
  bool runStarted_ = false;
  // The exception texts of an unattended run, in order; they end the log file as "Error: "
  // lines.
  std::vector<std::string> errors_;
  bool keepsErrors_ = false;
  // /EXITCODE: the product as found before the run and as left after it; /DELAYDELETE: what
  // the restart deletes, and why the leftovers of a place were not handed to it.
  std::vector<cleanup::ItemLook> before_, after_;
  std::vector<qm::WString> scheduled_;
  std::vector<cleanup::LeftInPlace> leftInPlace_;
  // Set once the look after the run (or, without a run, at the window's end) has completed.
  std::optional<fleet::ExitStatus> status_;
  // /REBOOT_CONFIRM with a status line in the log: the person's answer, taken before the log
  // was written so that the line can tell the status the process ends with.
  std::optional<bool> restartAccepted_;
};

// Enables the shutdown privilege and asks for a forced restart; true when Windows accepted.
bool RestartWindows();

// The texts the window shows in its boxes.
extern const char* const kRefusalText;
extern const char* const kRefusalCaption;
extern const char* const kEndMessageText;
extern const char* const kEndMessageCaption;
