// The contract test program. On Windows it doubles as the helper process and the helper
// service of the tests: "--idle" waits to be terminated, "--service" runs a service that
// accepts STOP and takes a moment in STOP_PENDING before it reports STOPPED.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/win32/win32.h"

#ifdef _WIN32
namespace {

SERVICE_STATUS_HANDLE g_status = nullptr;
HANDLE g_stop = nullptr;

void Report(DWORD state, DWORD accepted) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = accepted;
  status.dwWaitHint = state == SERVICE_STOP_PENDING ? 2000 : 0;
  SetServiceStatus(g_status, &status);
}

DWORD WINAPI Handler(DWORD control, DWORD, LPVOID, LPVOID) {
  if (control == SERVICE_CONTROL_STOP) {
    Report(SERVICE_STOP_PENDING, 0);
    SetEvent(g_stop);
    return NO_ERROR;
  }
  return control == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
}

void WINAPI ServiceMain(DWORD, LPSTR* argv) {
  g_stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  g_status = RegisterServiceCtrlHandlerExA(argv[0], Handler, nullptr);
  if (g_status == nullptr) return;
  Report(SERVICE_RUNNING, SERVICE_ACCEPT_STOP);
  WaitForSingleObject(g_stop, 120000);
  Sleep(300);
  Report(SERVICE_STOPPED, 0);
}

int RunHelper(const char* mode) {
  if (std::strcmp(mode, "--idle") == 0) {
    Sleep(120000);
    return 0;
  }
  char empty[] = "";
  SERVICE_TABLE_ENTRYA table[] = {{empty, ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}

}  // namespace
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
  if (argc > 1 && (std::strcmp(argv[1], "--idle") == 0 || std::strcmp(argv[1], "--service") == 0))
    return RunHelper(argv[1]);
#endif
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
