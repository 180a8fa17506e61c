#include "app/fleet.h"

#include "app/main_window.h"
#include "cleanup/security.h"
#include "platform/ascii.h"
#include "platform/text.h"
#include "platform/win32/win32.h"

namespace fleet {

const char* const kOptionExitCode = " /EXITCODE";
const char* const kOptionDelayDelete = " /DELAYDELETE";
const char* const kOptionPreview = " /PREVIEW";
const char* const kAlreadyRunningText = "Quelmark ya se est\xE1 ejecutando.";

namespace {

const char* const kMutexName = "Quelmark.Tev32.Limpieza";
const char* const kGlobalPrefix = "Global\\";

// Windows NT 4 without terminal services refuses a backslash in an object name.
bool HasGlobalNamespace() {
  OSVERSIONINFOA v{};
  v.dwOSVersionInfoSize = sizeof v;
  return GetVersionExA(&v) && v.dwPlatformId == VER_PLATFORM_WIN32_NT && v.dwMajorVersion >= 5;
}

}  // namespace

// Read wide and upper-cased in its ASCII letters only, so that no ANSI code page's best-fit
// mapping or case rules can make a look-alike of an option ("/\uFF25XITCODE") one on some
// machines and not on others.
std::string UpperCommandLine() {
  const WCHAR* commandLine = GetCommandLineW();
  return qm::UpperAscii(qm::Narrow(commandLine != nullptr ? commandLine : qm::WString()));
}

bool HasOption(const std::string& upperCommandLine, const char* option) {
  return upperCommandLine.find(option) != std::string::npos;
}

bool SelectsUnattendedRun(const std::string& upperCommandLine) {
  return TForm1::SelectsAutomaticRun(upperCommandLine) ||
         HasOption(upperCommandLine, kOptionPreview) ||
         HasOption(upperCommandLine, kOptionExitCode);
}

unsigned StatusBeforeTheLook(const std::string& upperCommandLine) {
  if (HasOption(upperCommandLine, kOptionPreview) || HasOption(upperCommandLine, kOptionExitCode))
    return StatusCode(ExitStatus::ProductRemains);
  return 0;
}

unsigned StatusCode(ExitStatus status) {
  switch (status) {
    case ExitStatus::Removed:
      return 0;
    case ExitStatus::RestartCompletes:
      return 3010;  // ERROR_SUCCESS_REBOOT_REQUIRED
    case ExitStatus::RestartStarted:
      return 1641;  // ERROR_SUCCESS_REBOOT_INITIATED
    case ExitStatus::NothingFound:
      return 1605;  // ERROR_UNKNOWN_PRODUCT
    case ExitStatus::ProductRemains:
      return 1603;  // ERROR_INSTALL_FAILURE
    case ExitStatus::AnotherInstance:
      return 1618;  // ERROR_INSTALL_ALREADY_RUNNING
  }
  return 1603;
}

bool InstanceLock::Acquire() {
  const std::string name = (HasGlobalNamespace() ? kGlobalPrefix : "") + std::string(kMutexName);
  cleanup::AdministratorsOnly security(MUTEX_ALL_ACCESS);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, security.Descriptor(), FALSE};
  qm::unique_kernel mutex(
      CreateMutexA(security.Descriptor() != nullptr ? &attributes : nullptr, FALSE, name.c_str()));
  // Read at once: the error of a successful creation tells whether the mutex was there.
  const DWORD error = GetLastError();
  if (mutex && error != ERROR_ALREADY_EXISTS) {
    mutex_ = std::move(mutex);
    return true;
  }
  // Someone else's mutex of that name: another copy only when an administrator's or the
  // system's program made it. Anything else (a mutex that refuses this program, one owned by
  // another account, an object of another kind, an owner this token may not set) is ignored,
  // and the name's squatter keeps it.
  return !(mutex && cleanup::OwnedByAdministrators(mutex.get()));
}

unsigned EndSecondCopy(const std::string& upperCommandLine) {
  const bool preview = HasOption(upperCommandLine, kOptionPreview);
  if (!preview && !TForm1::SelectsAutomaticRun(upperCommandLine))
    MessageBoxA(nullptr, kAlreadyRunningText, "Quelmark", MB_OK | MB_ICONINFORMATION);
  if (preview || HasOption(upperCommandLine, kOptionExitCode))
    return StatusCode(ExitStatus::AnotherInstance);
  return 0;
}

}  // namespace fleet
