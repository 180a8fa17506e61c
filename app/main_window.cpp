#include "app/main_window.h"

#include <stdexcept>

#include "app/about_box.h"
#include "app/help_file.h"
#include "app/layouts.h"
#include "app/log_viewer.h"
#include "cleanup/delay_delete.h"
#include "cleanup/install_folder.h"
#include "cleanup/log.h"
#include "cleanup/plan.h"
#include "cleanup/preview.h"
#include "cleanup/pump.h"
#include "cleanup/registry.h"
#include "platform/end_process.h"
#include "platform/raii.h"

const char* const kRefusalText =
    "Sistema operativo no soportado\n"
    "La aplicaci\xF3n solo puede ser ejecutada en windows NT, 2000, XP o 2003";
const char* const kRefusalCaption = "Quelmark error";
const char* const kEndMessageText =
    "El producto antivirus Tev32 12.1 ha sido desinstalado correctamente\n"
    "Para que los cambios realizados tengan efecto debe reiniciar el sistema\n"
    "\n"
    "Presione \"Aceptar\" para reiniciar ahora o \"Cancelar\" para reiniciar m\xE1s tarde";
const char* const kEndMessageCaption = "Informaci\xF3n";

namespace {

const char* const kStartCaption = "Comenzar Limpieza";
const char* const kShowLogCaption = "Mostrar Fichero log";

const char* const kOptionCreateLog = " /CREATELOG";
const char* const kOptionRebootAuto = " /REBOOT_AUTO";
const char* const kOptionRebootConfirm = " /REBOOT_CONFIRM";

const char* const kErrorPrefix = "Error: ";

// One log line for an exception text: the system's texts end with a line break, and a line of
// the log holds none.
std::string ErrorLine(const std::string& text) {
  std::string line = kErrorPrefix + text;
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  for (char& c : line)
    if (c == '\r' || c == '\n') c = ' ';
  return line;
}

template <typename T>
T* Require(const ui::Form& form, const char* name) {
  T* c = form.Find<T>(name);
  if (c == nullptr) throw std::logic_error(std::string("layout lacks ") + name);
  return c;
}

// Enables the button when the scope ends, also when the run inside it throws, so that the
// log of what was done stays reachable.
class EnableOnExit {
 public:
  explicit EnableOnExit(ui::Control& c) : c_(c) {}
  ~EnableOnExit() { c_.SetEnabled(true); }
  EnableOnExit(const EnableOnExit&) = delete;
  EnableOnExit& operator=(const EnableOnExit&) = delete;

 private:
  ui::Control& c_;
};

}  // namespace

TForm1::TForm1(ui::Application& app, std::unique_ptr<MainWindowServices> services)
    : ui::Form(app, layout::MainForm(), layout::MainControls(), layout::MainMenu()),
      services_(std::move(services)) {
  Label1 = Require<ui::Label>(*this, "Label1");
  Label2 = Require<ui::Label>(*this, "Label2");
  Label3 = Require<ui::Label>(*this, "Label3");
  Label4 = Require<ui::Label>(*this, "Label4");
  Label5 = Require<ui::Label>(*this, "Label5");
  Shape1 = Require<ui::Shape>(*this, "Shape1");
  Image1 = Require<ui::Image>(*this, "Image1");
  ImgSrvFallo = Require<ui::Image>(*this, "ImgSrvFallo");
  ImgSrvOk = Require<ui::Image>(*this, "ImgSrvOk");
  ImgPrcFallo = Require<ui::Image>(*this, "ImgPrcFallo");
  ImgPrcOk = Require<ui::Image>(*this, "ImgPrcOk");
  ImgRegFallo = Require<ui::Image>(*this, "ImgRegFallo");
  ImgRegOk = Require<ui::Image>(*this, "ImgRegOk");
  ImgFileFallo = Require<ui::Image>(*this, "ImgFileFallo");
  ImgFileOk = Require<ui::Image>(*this, "ImgFileOk");
  Button1 = Require<ui::Button>(*this, "Button1");

  OnCreate = [this] { FormCreate(); };
  OnShow = [this] { FormShow(); };
  OnActivate = [this] { FormActivate(); };
  OnCloseQuery = [this](bool& canClose) { FormCloseQuery(canClose); };
  OnDestroy = [this] { FormDestroy(); };
  Button1->OnClick = [this] { Button1Click(); };
  FindMenuItem("Cerrar1")->OnClick = [this] { Cerrar1Click(); };
  FindMenuItem("Temasdeayuda1")->OnClick = [this] { Temasdeayuda1Click(); };
  FindMenuItem("Acercade1")->OnClick = [this] { Acercade1Click(); };

  cleanup::SetMessagePump([&app] { app.ProcessMessages(); });
  OsVersion.Query();
}

TForm1::~TForm1() {
  cleanup::SetMessagePump(nullptr);
  // What is raised after the window is gone is lost, as the log was already written; still
  // no box may wait for a person.
  if (keepsErrors_) App().SetExceptionSink([](const std::string&) {});
}

// The snapshot of an unattended run reports its failure through the log, not through a box:
// the command line is looked at here already, before FormShow reads it.
void TForm1::FormCreate() {
  if (fleet::SelectsUnattendedRun(fleet::UpperCommandLine())) KeepErrorsForTheLog();
  services_->RefreshServiceList();
}

void TForm1::KeepErrorsForTheLog() {
  keepsErrors_ = true;
  App().SetExceptionSink([this](const std::string& text) { errors_.push_back(text); });
}

void TForm1::FormShow() {
  RestartNeeded = false;
  CloseAllowed = true;
  RebootMode = RebootNone;
  AutoMode = false;
  CreateLogFile = false;

  if (CheckPlatform()) {
    MessageBoxA(nullptr, kRefusalText, kRefusalCaption, MB_OK | MB_ICONERROR);
    App().Terminate();
    return;
  }

  // The options first: a run whose folders cannot be located still knows how it must end.
  CommandLine = fleet::UpperCommandLine();
  ParseCommandLine();
  ExitCodeOption = fleet::HasOption(CommandLine, fleet::kOptionExitCode);
  DelayDeleteOption = fleet::HasOption(CommandLine, fleet::kOptionDelayDelete);
  PreviewOption = fleet::HasOption(CommandLine, fleet::kOptionPreview);
  if (PreviewOption) return Preview();
  if (AutoMode && !keepsErrors_) KeepErrorsForTheLog();
  run_ = LocatedRun();
}

std::unique_ptr<cleanup::CleanupRun> TForm1::LocatedRun() {
  auto run = std::make_unique<cleanup::CleanupRun>(*this, *services_);
  run->LocateProductFolders();
  return run;
}

// Looks, writes what it saw to its own file and ends: no run, no restart, no Quelmark.log.
// The status is set only by a look that completed; once the folders are located, whatever
// failed ends the file as "Error: " lines. The program ends all the same.
void TForm1::Preview() {
  AutoMode = false;
  CreateLogFile = false;
  RebootMode = RebootNone;
  if (!keepsErrors_) KeepErrorsForTheLog();
  std::optional<std::vector<cleanup::ItemLook>> items;
  App().Guarded([&] {
    run_ = LocatedRun();
    items = LookAtProduct();
    if (ExitStatus != nullptr)
      *ExitStatus = cleanup::AnyLeft(*items) ? fleet::kPreviewSomethingPresent
                                             : fleet::kPreviewNothingPresent;
  });
  if (run_) App().Guarded([&] { WritePreviewLog(items ? &*items : nullptr); });
  App().Terminate();
}

void TForm1::WritePreviewLog(const std::vector<cleanup::ItemLook>* items) const {
  const qm::WString read = cleanup::ReadRegistryString(
      HKEY_LOCAL_MACHINE, qm::Widen(cleanup::ProductKey), qm::Widen(cleanup::InstallDirValue));
  const qm::WString used = run_->DirList.empty() ? qm::WString() : run_->DirList.front();
  cleanup::StringList lines = cleanup::PreviewLines(
      cleanup::InstallFolderLine(read, used), items ? *items : std::vector<cleanup::ItemLook>());
  for (const std::string& text : errors_) lines.push_back(ErrorLine(text));
  cleanup::WriteLogLines(cleanup::PreviewLogPath(run_->WindowsDir), lines);
}

cleanup::ProductPlaces TForm1::Places() const {
  cleanup::ProductPlaces places;
  places.folders = run_->DirList;
  places.driverFile = cleanup::DriverFilePath(run_->WindowsDir);
  return places;
}

std::vector<cleanup::ItemLook> TForm1::LookAtProduct() const {
  cleanup::RunKnowledge known;
  known.serviceMarkedForDeletion = [this](const std::string& name) {
    return services_->MarkedForDeletion(name);
  };
  known.scheduledAtRestart = scheduled_;
  return cleanup::LookAtProduct(Places(), known);
}

bool TForm1::CheckPlatform() const {
  return OsVersion.IsWindows95() || OsVersion.IsWindows98() || OsVersion.IsWindowsMe();
}

bool TForm1::SelectsAutomaticRun(const std::string& upperCommandLine) {
  for (const char* option : {kOptionRebootAuto, kOptionRebootConfirm, kOptionCreateLog})
    if (upperCommandLine.find(option) != std::string::npos) return true;
  return false;
}

void TForm1::ParseCommandLine() {
  const auto present = [this](const char* option) {
    return CommandLine.find(option) != std::string::npos;
  };
  if (!SelectsAutomaticRun(CommandLine)) return;
  AutoMode = true;
  if (present(kOptionCreateLog)) CreateLogFile = true;
  if (present(kOptionRebootAuto))
    RebootMode = RebootAuto;
  else if (present(kOptionRebootConfirm))
    RebootMode = RebootConfirm;
}

void TForm1::RunCleanup() {
  runStarted_ = true;
  if (ExitCodeOption) before_ = LookAtProduct();
  try {
    run_->RunCleanup();
  } catch (...) {
    AfterTheRun();
    throw;
  }
  AfterTheRun();
}

// Also after a run that an exception ended: what is left is what the status tells.
void TForm1::AfterTheRun() {
  RestartNeeded = run_->RestartNeeded;
  if (DelayDeleteOption) {
    cleanup::LeftoverSchedule schedule = cleanup::ScheduleLeftoversAtRestart(Places());
    scheduled_ = std::move(schedule.scheduled);
    leftInPlace_ = std::move(schedule.left);
  }
  if (ExitCodeOption) {
    after_ = LookAtProduct();
    status_ = StatusOfTheRun();
  }
}

// 1605 means that the look before the run found nothing of the product at all (no service,
// process, key, value, folder or driver file); 3010 covers a service found by the run (it is
// removed for good only by the restart) and deletions that wait for the restart.
fleet::ExitStatus TForm1::StatusOfTheRun() const {
  if (cleanup::AnyPresent(after_)) return fleet::ExitStatus::ProductRemains;
  if (!cleanup::AnyLeft(before_)) return fleet::ExitStatus::NothingFound;
  if (RestartNeeded || cleanup::AnyGoesAtRestart(after_)) return fleet::ExitStatus::RestartCompletes;
  return fleet::ExitStatus::Removed;
}

unsigned TForm1::FinalStatus(bool restartStarted) const {
  if (!ExitCodeOption) return 0;
  if (!status_) return fleet::StatusCode(fleet::ExitStatus::ProductRemains);
  if (restartStarted && *status_ == fleet::ExitStatus::RestartCompletes)
    return fleet::StatusCode(fleet::ExitStatus::RestartStarted);
  return fleet::StatusCode(*status_);
}

cleanup::StringList TForm1::ExitCodeBlock() const {
  cleanup::StringList block{cleanup::Separator,
                            "Comprobaci\xF3n final ........................................................",
                            cleanup::Separator};
  for (const cleanup::ItemLook& item : after_) {
    if (item.presence == cleanup::Presence::Present) {
      block.push_back("  Queda " + item.name);
      for (const cleanup::LeftInPlace& left : leftInPlace_)
        if (qm::Narrow(left.place) == item.name) block.push_back(cleanup::LeftInPlaceLine(left));
    }
    if (item.presence == cleanup::Presence::GoesAtRestart)
      block.push_back("  Queda " + item.name + " (se eliminar\xE1 al reiniciar)");
  }
  std::string status = "  C\xF3" "digo de salida: " + std::to_string(FinalStatus(false));
  // The restart is decided before the log is written: only Windows refusing it can still
  // turn this 1641 into 3010.
  if (status_ == fleet::ExitStatus::RestartCompletes && WillRequestRestart())
    status = "  C\xF3" "digo de salida: 1641 (3010 si Windows no acepta el reinicio)";
  block.push_back(status);
  return block;
}

// The automatic run happens once, and it always ends with the window closing, without
// waiting for anybody: a failure of the run ends the log file as its last line (after what
// was done), a log file that cannot be created loses it, and the window becomes closable.
// A run whose folders could not be located does not start, and the window closes all the same.
void TForm1::FormActivate() {
  if (!AutoMode || runStarted_) return;
  if (run_) {
    Button1->SetEnabled(false);
    CloseAllowed = false;
    AutomaticRun();
    CloseAllowed = true;
  }
  Close();
}

void TForm1::AutomaticRun() {
  try {
    RunCleanup();
  } catch (const std::exception& e) {
    App().ShowException(e.what());
  }
  // The log's status line depends on the answer, so it is asked for first.
  if (CreateLogFile && ExitCodeOption && RestartNeeded && RebootMode == RebootConfirm)
    restartAccepted_ = AskForRestart();
  if (CreateLogFile) App().Guarded([this] { WriteLogFile(); });
}

void TForm1::WriteLogFile() const {
  if (errors_.empty() && !ExitCodeOption) return run_->WriteLogFile();
  cleanup::StringList lines = run_->LogList;
  if (ExitCodeOption) {
    const cleanup::StringList block = ExitCodeBlock();
    lines.insert(lines.end(), block.begin(), block.end());
  }
  for (const std::string& text : errors_) lines.push_back(ErrorLine(text));
  cleanup::WriteLogLines(cleanup::LogFilePath(run_->WindowsDir), lines);
}

void TForm1::Button1Click() {
  const std::string caption = Button1->Caption();
  if (caption == kStartCaption) {
    if (runStarted_ || !run_) return;
    Button1->SetEnabled(false);
    Button1->SetCaption(kShowLogCaption);
    EnableOnExit enable(*Button1);
    RunCleanup();
  } else if (caption == kShowLogCaption) {
    if (LogViewer != nullptr) LogViewer->Show();
  }
}

void TForm1::Cerrar1Click() { Close(); }

void TForm1::Temasdeayuda1Click() {
  App().SetHelpFile(HelpFilePath());
  App().HelpCommand(HELP_CONTENTS, 0);
}

void TForm1::Acercade1Click() {
  if (AboutBox != nullptr) AboutBox->Show();
}

void TForm1::FormCloseQuery(bool& CanClose) { CanClose = CloseAllowed; }

void TForm1::FormDestroy() {
  // A window closed without a run: the status tells what is there.
  if (ExitCodeOption && !runStarted_ && run_ && !PreviewOption) {
    App().Guarded([this] {
      before_ = after_ = LookAtProduct();
      status_ = StatusOfTheRun();
    });
  }
  services_->FreeServiceSnapshot();
  run_.reset();
  OfferRestart();
  if (ExitStatus != nullptr && ExitCodeOption && !PreviewOption) *ExitStatus = FinalStatus(false);
}

void TForm1::OfferRestart() {
  if (!AutoMode || (RestartNeeded && RebootMode == RebootConfirm)) {
    ConfirmRestart();
  } else if (RestartNeeded && RebootMode == RebootAuto) {
    RestartNeeded = RestartWindows();
    if (RestartNeeded) qm::EndProcess(FinalStatus(true));
  } else if (RebootMode == RebootNone) {
    qm::EndProcess(FinalStatus(false));
  }
}

void TForm1::ConfirmRestart() {
  if (!RestartNeeded) return;
  RestartNeeded = false;
  const bool accepted = restartAccepted_ ? *restartAccepted_ : AskForRestart();
  if (accepted) RestartNeeded = RestartWindows();
  if (RestartNeeded) qm::EndProcess(FinalStatus(true));
}

bool TForm1::AskForRestart() const {
  return MessageBoxA(nullptr, kEndMessageText, kEndMessageCaption,
                     MB_OKCANCEL | MB_ICONINFORMATION) != IDCANCEL;
}

bool TForm1::WillRequestRestart() const {
  if (!AutoMode || !RestartNeeded) return false;
  return RebootMode == RebootAuto || (RebootMode == RebootConfirm && restartAccepted_ == true);
}

bool RestartWindows() {
  qm::unique_kernel token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put()))
    return false;
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid);
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
  if (GetLastError() != 0) return false;
  return ExitWindowsEx(EWX_REBOOT | EWX_FORCE, 0) != 0;
}

ui::Label& TForm1::StageLabel(cleanup::Stage stage) const {
  switch (stage) {
    case cleanup::Stage::Services:
      return *Label2;
    case cleanup::Stage::Processes:
      return *Label3;
    case cleanup::Stage::Registry:
      return *Label4;
    case cleanup::Stage::Files:
      break;
  }
  return *Label5;
}

void TForm1::StageStarted(cleanup::Stage stage) { StageLabel(stage).SetFontColor(cleanup::clBlue); }

// The label turns black and the mark shows; the services and registry stages turn the label
// black first, the processes and files stages show the mark first.
void TForm1::StageFinished(cleanup::Stage stage, bool ok) {
  const bool labelFirst = stage == cleanup::Stage::Services || stage == cleanup::Stage::Registry;
  if (labelFirst) StageLabel(stage).SetFontColor(cleanup::clBlack);
  ShowStageMark(stage, ok);
  if (!labelFirst) StageLabel(stage).SetFontColor(cleanup::clBlack);
}

void TForm1::ShowStageMark(cleanup::Stage stage, bool ok) {
  ui::Image* okMark = ImgFileOk;
  ui::Image* falloMark = ImgFileFallo;
  switch (stage) {
    case cleanup::Stage::Services:
      okMark = ImgSrvOk, falloMark = ImgSrvFallo;
      break;
    case cleanup::Stage::Processes:
      okMark = ImgPrcOk, falloMark = ImgPrcFallo;
      break;
    case cleanup::Stage::Registry:
      okMark = ImgRegOk, falloMark = ImgRegFallo;
      break;
    case cleanup::Stage::Files:
      break;
  }
  okMark->SetVisible(ok);
  falloMark->SetVisible(!ok);
}

void TForm1::HideAllMarks() {
  for (ui::Image* mark : {ImgSrvFallo, ImgSrvOk, ImgPrcFallo, ImgPrcOk, ImgRegFallo, ImgRegOk,
                          ImgFileFallo, ImgFileOk})
    mark->SetVisible(false);
}

const cleanup::StringList* TForm1::LogList() const { return run_ ? &run_->LogList : nullptr; }
