#include "ntservice/detectwinos.h"

#include "platform/exception.h"
#include "platform/win32/win32.h"

namespace Detectwinos {
namespace {

OSVERSIONINFOA ReadVersion() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof(info);
  ::SetLastError(0);
  if (!::GetVersionExA(&info)) throw EOSError(::GetLastError());
  return info;
}

bool IsNtFamily(const OSVERSIONINFOA& info) {
  return info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

}  // namespace

bool IsWindowsNt() { return IsNtFamily(ReadVersion()); }

bool IsWindows2000() {
  const OSVERSIONINFOA info = ReadVersion();
  return IsNtFamily(info) && info.dwMajorVersion == 5;
}

bool IsWindows2000orHigher() {
  const OSVERSIONINFOA info = ReadVersion();
  return IsNtFamily(info) && info.dwMajorVersion >= 5;
}

bool IsWindowsXPOrHigher() {
  const OSVERSIONINFOA info = ReadVersion();
  return IsNtFamily(info) && ((info.dwMajorVersion >= 5 && info.dwMinorVersion >= 1) ||
                              info.dwMajorVersion >= 6);
}

}  // namespace Detectwinos
