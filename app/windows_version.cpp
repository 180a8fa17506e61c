#include "app/windows_version.h"

#include <cstring>

namespace {
constexpr DWORD kWindows9xPlatform = 1;
}

WindowsVersion::WindowsVersion() { std::memset(&Info, 0, sizeof Info); }

void WindowsVersion::Query() {
  static_assert(sizeof(OSVERSIONINFOA) == 148, "the record's size is fixed");
  Info.dwOSVersionInfoSize = sizeof Info;
  GetVersionExA(&Info);
}

bool WindowsVersion::IsWindows95() const {
  return Info.dwPlatformId == kWindows9xPlatform && Info.dwMinorVersion == 0;
}

bool WindowsVersion::IsWindows98() const {
  return Info.dwPlatformId == kWindows9xPlatform && Info.dwMinorVersion == 10;
}

bool WindowsVersion::IsWindowsMe() const {
  return Info.dwPlatformId == kWindows9xPlatform && Info.dwMinorVersion == 90;
}
