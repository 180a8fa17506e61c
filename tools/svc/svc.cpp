// A small Windows service whose behaviour is chosen by the arguments of its binary path:
//
//   TevSvc.exe [prompt | stuck | refuse | slowstart [START_PENDING_MS]]
//
//   prompt     (default) runs until asked to stop, then stops at once;
//   stuck      answers a stop request with STOP_PENDING and never leaves it (the process
//              stays until it is killed);
//   refuse     a self-protecting service: runs without accepting the stop control, so a stop
//              request fails (1052, ERROR_INVALID_SERVICE_CONTROL);
//   slowstart  reports START_PENDING for START_PENDING_MS milliseconds (default 5000) before
//              running, accepting no control meanwhile; then behaves as prompt.
//
// Started outside the service manager it exits with status 2.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

enum class Mode { Prompt, Stuck, Refuse, SlowStart };

struct Settings {
  Mode mode = Mode::Prompt;
  DWORD startPendingMs = 5000;
};

Settings g_settings;
SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
SERVICE_STATUS g_status{};
std::mutex g_statusLock;
HANDLE g_stopEvent = nullptr;

Settings ParseArguments(int argc, char** argv) {
  Settings settings;
  if (argc > 1 && std::strcmp(argv[1], "stuck") == 0) settings.mode = Mode::Stuck;
  if (argc > 1 && std::strcmp(argv[1], "refuse") == 0) settings.mode = Mode::Refuse;
  if (argc > 1 && std::strcmp(argv[1], "slowstart") == 0) {
    settings.mode = Mode::SlowStart;
    if (argc > 2) settings.startPendingMs = std::strtoul(argv[2], nullptr, 10);
  }
  return settings;
}

void Report(DWORD state, DWORD controlsAccepted, DWORD checkPoint = 0, DWORD waitHint = 0) {
  std::lock_guard<std::mutex> lock(g_statusLock);
  g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  g_status.dwCurrentState = state;
  g_status.dwControlsAccepted = controlsAccepted;
  g_status.dwWin32ExitCode = NO_ERROR;
  g_status.dwCheckPoint = checkPoint;
  g_status.dwWaitHint = waitHint;
  ::SetServiceStatus(g_statusHandle, &g_status);
}

DWORD WINAPI Handler(DWORD control, DWORD, LPVOID, LPVOID) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
      if (g_settings.mode == Mode::Refuse) return ERROR_INVALID_SERVICE_CONTROL;
      [[fallthrough]];
    case SERVICE_CONTROL_SHUTDOWN:
      Report(SERVICE_STOP_PENDING, 0, 1, 3000);
      if (g_settings.mode != Mode::Stuck) ::SetEvent(g_stopEvent);
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

// Reports progress every half second while the start is pending.
void PendStart(DWORD totalMs) {
  constexpr DWORD kStepMs = 500;
  DWORD checkPoint = 1;
  for (DWORD waited = 0; waited < totalMs; waited += kStepMs) {
    Report(SERVICE_START_PENDING, 0, checkPoint++, 2 * kStepMs);
    ::Sleep(totalMs - waited < kStepMs ? totalMs - waited : kStepMs);
  }
}

void WINAPI ServiceMain(DWORD, LPSTR* argv) {
  g_statusHandle = ::RegisterServiceCtrlHandlerExA(argv[0], Handler, nullptr);
  if (g_statusHandle == nullptr) return;
  g_stopEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (g_settings.mode == Mode::SlowStart)
    PendStart(g_settings.startPendingMs);
  else
    Report(SERVICE_START_PENDING, 0, 1, 2000);
  Report(SERVICE_RUNNING, g_settings.mode == Mode::Refuse
                              ? static_cast<DWORD>(SERVICE_ACCEPT_SHUTDOWN)
                              : static_cast<DWORD>(SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN));
  ::WaitForSingleObject(g_stopEvent, INFINITE);
  ::CloseHandle(g_stopEvent);
  Report(SERVICE_STOPPED, 0);
}

}  // namespace

int main(int argc, char** argv) {
  g_settings = ParseArguments(argc, argv);
  char name[] = "TEVSvc";  // ignored for an own-process service
  SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
  return ::StartServiceCtrlDispatcherA(table) ? 0 : 2;
}
