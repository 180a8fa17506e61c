// Last error, virtual clock, error texts, version, command line, restart and the recorded
// user-interface calls of the simulated machine.
#include <cstdlib>
#include <cstring>
#include <map>

#include "platform/sim/state.h"

namespace sim {
namespace {

thread_local DWORD t_lastError = 0;

// The system's English texts; each ends with CR LF as Windows' message table entries do.
const std::map<DWORD, const char*>& Messages() {
  static const std::map<DWORD, const char*> texts = {
      {0, "The operation completed successfully.\r\n"},
      {1, "Incorrect function.\r\n"},
      {2, "The system cannot find the file specified.\r\n"},
      {3, "The system cannot find the path specified.\r\n"},
      {5, "Access is denied.\r\n"},
      {6, "The handle is invalid.\r\n"},
      {8, "Not enough memory resources are available to process this command.\r\n"},
      {18, "There are no more files.\r\n"},
      {24, "The program issued a command but the command length is incorrect.\r\n"},
      {32, "The process cannot access the file because it is being used by another process.\r\n"},
      {53, "The network path was not found.\r\n"},
      {80, "The file exists.\r\n"},
      {87, "The parameter is incorrect.\r\n"},
      {120, "This function is not supported on this system.\r\n"},
      {122, "The data area passed to a system call is too small.\r\n"},
      {123, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
      {126, "The specified module could not be found.\r\n"},
      {127, "The specified procedure could not be found.\r\n"},
      {145, "The directory is not empty.\r\n"},
      {161, "The specified path is invalid.\r\n"},
      {183, "Cannot create a file when that file already exists.\r\n"},
      {206, "The filename or extension is too long.\r\n"},
      {234, "More data is available.\r\n"},
      {259, "No more data is available.\r\n"},
      {267, "The directory name is invalid.\r\n"},
      {299, "Only part of a ReadProcessMemory or WriteProcessMemory request was completed.\r\n"},
      {998, "Invalid access to memory location.\r\n"},
      {1010, "The configuration registry key is invalid.\r\n"},
      {1018,
       "Illegal operation attempted on a registry key that has been marked for deletion.\r\n"},
      {1051,
       "A stop control has been sent to a service that other running services are dependent "
       "on.\r\n"},
      {1052, "The requested control is not valid for this service.\r\n"},
      {1053, "The service did not respond to the start or control request in a timely "
             "fashion.\r\n"},
      {1056, "An instance of the service is already running.\r\n"},
      {1060, "The specified service does not exist as an installed service.\r\n"},
      {1061, "The service cannot accept control messages at this time.\r\n"},
      {1062, "The service has not been started.\r\n"},
      {1065, "The database specified does not exist.\r\n"},
      {1072, "The specified service has been marked for deletion.\r\n"},
      {1073, "The specified service already exists.\r\n"},
      {1300, "Not all privileges or groups referenced are assigned to the caller.\r\n"},
      {1313, "A specified privilege does not exist.\r\n"},
      {1314, "A required privilege is not held by the client.\r\n"},
      {1722, "The RPC server is unavailable.\r\n"},
  };
  return texts;
}

}  // namespace

// ---- Machine: clock

DWORD Machine::Now() const { return static_cast<DWORD>(state_->now); }

void Machine::Advance(DWORD ms) {
  state_->now += ms;
  CollectServices(*state_);
  EndDueProcesses(*state_);
}

const std::vector<DWORD>& Machine::Sleeps() const { return state_->sleeps; }

bool Machine::ShutdownPrivilegeEnabled() const { return state_->shutdownPrivilegeEnabled; }

void RecordOpen(Machine::State& s, OpenKind kind, const std::u16string& name, DWORD access) {
  s.opens.push_back({kind, name, access});
}

const std::vector<OpenRecord>& Machine::Opens() const { return state_->opens; }

}  // namespace sim

// ---- Win32: errors and time

DWORD WINAPI GetLastError() { return sim::t_lastError; }

void WINAPI SetLastError(DWORD dwErrCode) { sim::t_lastError = dwErrCode; }

void WINAPI Sleep(DWORD dwMilliseconds) {
  auto& machine = sim::Machine::current();
  machine.state().sleeps.push_back(dwMilliseconds);
  machine.Advance(dwMilliseconds);
}

DWORD WINAPI GetTickCount() { return sim::Machine::current().Now(); }

DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID, DWORD dwMessageId, DWORD, LPSTR lpBuffer,
                            DWORD nSize, void*) {
  if (!(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) || lpBuffer == nullptr)
    return sim::Fail(ERROR_INVALID_PARAMETER, DWORD{0});
  auto it = sim::Messages().find(dwMessageId);
  if (it == sim::Messages().end()) return sim::Fail(ERROR_MR_MID_NOT_FOUND, DWORD{0});
  const size_t length = std::strlen(it->second);
  if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    auto* copy = static_cast<char*>(std::malloc(std::max<size_t>(length + 1, nSize)));
    std::memcpy(copy, it->second, length + 1);
    *reinterpret_cast<char**>(lpBuffer) = copy;
    return static_cast<DWORD>(length);
  }
  if (nSize <= length) return sim::Fail(ERROR_INSUFFICIENT_BUFFER, DWORD{0});
  std::memcpy(lpBuffer, it->second, length + 1);
  return static_cast<DWORD>(length);
}

HLOCAL WINAPI LocalFree(HLOCAL hMem) {
  std::free(hMem);
  return nullptr;
}

// ---- Win32: version, command line, text

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) {
  auto& machine = sim::Machine::current();
  if (lpVersionInformation == nullptr) return sim::Fail(ERROR_NOACCESS, FALSE);
  const DWORD size = lpVersionInformation->dwOSVersionInfoSize;
  if (size != sizeof(OSVERSIONINFOA) && size != sizeof(OSVERSIONINFOEXA))
    return sim::Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  if (machine.versionQueryFails) return sim::Fail(ERROR_INVALID_PARAMETER, FALSE);
  OSVERSIONINFOA v = machine.version;
  v.dwOSVersionInfoSize = size;
  std::memcpy(lpVersionInformation, &v, sizeof(OSVERSIONINFOA));
  if (size == sizeof(OSVERSIONINFOEXA)) {
    auto* ex = reinterpret_cast<LPOSVERSIONINFOEXA>(lpVersionInformation);
    ex->wServicePackMajor = ex->wServicePackMinor = ex->wSuiteMask = 0;
    ex->wProductType = 1;  // workstation
    ex->wReserved = 0;
  }
  return TRUE;
}

LPSTR WINAPI GetCommandLineA() {
  auto& machine = sim::Machine::current();
  std::string& copy = machine.state().commandLineCopy;
  copy = sim::ToAcp(sim::FromAnsi(machine.commandLine), true);  // through the ANSI code page
  return &copy[0];
}

// Through the ANSI code page: the characters upper-cased as the file system compares them.
// Under 1252 that is UpperChar's table. A text whose upper case would change its length in
// bytes keeps its bytes but for the ASCII letters.
// The command line (code page 1252 bytes) as Windows holds it.
LPWSTR WINAPI GetCommandLineW() {
  auto& machine = sim::Machine::current();
  std::u16string& copy = machine.state().commandLineCopyW;
  copy = sim::FromAnsi(machine.commandLine);
  return &copy[0];
}

DWORD WINAPI CharUpperBuffA(LPSTR lpsz, DWORD cchLength) {
  if (lpsz == nullptr) return 0;
  const std::u16string text = sim::FromAcp(std::string(lpsz, cchLength));
  const std::string upper = sim::ToAcp(sim::UpperW(text), false);
  if (upper.size() == cchLength) {
    upper.copy(lpsz, cchLength);
    return cchLength;
  }
  for (DWORD i = 0; i < cchLength; ++i)
    if (lpsz[i] >= 'a' && lpsz[i] <= 'z') lpsz[i] = static_cast<char>(lpsz[i] - 32);
  return cchLength;
}

DWORD WINAPI CharUpperBuffW(LPWSTR lpsz, DWORD cchLength) {
  if (lpsz == nullptr) return 0;
  for (DWORD i = 0; i < cchLength; ++i) lpsz[i] = sim::UpperUnit(lpsz[i]);
  return cchLength;
}

// ---- Win32: restart and user interface, recorded

BOOL WINAPI ExitWindowsEx(UINT uFlags, DWORD) {
  auto& machine = sim::Machine::current();
  machine.exitWindowsRequests.push_back(uFlags);
  if (machine.exitWindowsFails) return sim::Fail(ERROR_PRIVILEGE_NOT_HELD, FALSE);
  return TRUE;
}

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  auto& machine = sim::Machine::current();
  machine.messageBoxes.push_back(
      sim::MessageBoxCall{hWnd, lpText ? lpText : "", lpCaption ? lpCaption : "Error", uType});
  if (machine.messageBoxAnswers.empty()) return IDOK;
  const int answer = machine.messageBoxAnswers.front();
  machine.messageBoxAnswers.pop_front();
  return answer;
}

BOOL WINAPI WinHelpA(HWND hWndMain, LPCSTR lpszHelp, UINT uCommand, ULONG_PTR dwData) {
  sim::Machine::current().winHelps.push_back(
      sim::WinHelpCall{hWndMain, lpszHelp ? lpszHelp : "", uCommand, dwData});
  return TRUE;
}

HINSTANCE WINAPI ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters,
                               LPCSTR lpDirectory, INT nShowCmd) {
  auto text = [](LPCSTR s) { return std::string(s ? s : ""); };
  sim::Machine::current().shellExecutes.push_back(sim::ShellExecuteCall{
      hwnd, text(lpOperation), text(lpFile), text(lpParameters), text(lpDirectory), nShowCmd});
  return reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(42));  // above 32: success
}
