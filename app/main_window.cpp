#include "app/main_window.h"

#include <stdexcept>

#include "app/about_box.h"
#include "app/layouts.h"
#include "app/log_viewer.h"
#include "cleanup/pump.h"
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

TForm1::~TForm1() { cleanup::SetMessagePump(nullptr); }

void TForm1::FormCreate() { services_->RefreshServiceList(); }

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

  run_ = std::make_unique<cleanup::CleanupRun>(*this, *services_);
  run_->LocateProductFolders();

  const char* commandLine = GetCommandLineA();
  CommandLine = commandLine != nullptr ? commandLine : "";
  if (!CommandLine.empty())
    CharUpperBuffA(&CommandLine[0], static_cast<DWORD>(CommandLine.size()));
  ParseCommandLine();
}

bool TForm1::CheckPlatform() const {
  return OsVersion.IsWindows95() || OsVersion.IsWindows98() || OsVersion.IsWindowsMe();
}

void TForm1::ParseCommandLine() {
  const auto present = [this](const char* option) {
    return CommandLine.find(option) != std::string::npos;
  };
  if (!present(kOptionRebootAuto) && !present(kOptionRebootConfirm) &&
      !present(kOptionCreateLog))
    return;
  AutoMode = true;
  if (present(kOptionCreateLog)) CreateLogFile = true;
  if (present(kOptionRebootAuto))
    RebootMode = RebootAuto;
  else if (present(kOptionRebootConfirm))
    RebootMode = RebootConfirm;
}

void TForm1::RunCleanup() {
  runStarted_ = true;
  try {
    run_->RunCleanup();
  } catch (...) {
    RestartNeeded = run_->RestartNeeded;
    throw;
  }
  RestartNeeded = run_->RestartNeeded;
}

// The automatic run happens once, and it always ends with the window closing: a failure of
// the run or of the log file is shown in the exception box, the log holds what was done,
// and the window becomes closable again.
void TForm1::FormActivate() {
  if (!AutoMode || runStarted_ || !run_) return;
  Button1->SetEnabled(false);
  CloseAllowed = false;
  AutomaticRun();
  CloseAllowed = true;
  Close();
}

void TForm1::AutomaticRun() {
  try {
    RunCleanup();
  } catch (const std::exception& e) {
    App().ShowException(e.what());
  }
  if (CreateLogFile) App().Guarded([this] { run_->WriteLogFile(); });
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
  App().SetHelpFile("Quelmark.hlp");
  App().HelpCommand(HELP_CONTENTS, 0);
}

void TForm1::Acercade1Click() {
  if (AboutBox != nullptr) AboutBox->Show();
}

void TForm1::FormCloseQuery(bool& CanClose) { CanClose = CloseAllowed; }

void TForm1::FormDestroy() {
  services_->FreeServiceSnapshot();
  run_.reset();
  OfferRestart();
}

void TForm1::OfferRestart() {
  if (!AutoMode || (RestartNeeded && RebootMode == RebootConfirm)) {
    ConfirmRestart();
  } else if (RestartNeeded && RebootMode == RebootAuto) {
    RestartNeeded = RestartWindows();
    if (RestartNeeded) qm::EndProcess(0);
  } else if (RebootMode == RebootNone) {
    qm::EndProcess(0);
  }
}

void TForm1::ConfirmRestart() {
  if (!RestartNeeded) return;
  RestartNeeded = false;
  if (MessageBoxA(nullptr, kEndMessageText, kEndMessageCaption, MB_OKCANCEL | MB_ICONINFORMATION) !=
      IDCANCEL)
    RestartNeeded = RestartWindows();
  if (RestartNeeded) qm::EndProcess(0);
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

void TForm1::SetStageColor(cleanup::Stage stage, std::uint32_t color) {
  StageLabel(stage).SetFontColor(color);
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
