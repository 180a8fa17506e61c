#include "ntservice/ntexception.h"

#include <algorithm>
#include <vector>

#include "platform/win32/win32.h"

namespace Ntexception {

void CreateException() {
  const DWORD code = ::GetLastError();
  if (code == 0) return;
  throw ENTException(GetLastErrorString(code), code);
}

void RaiseException(const std::string& message, std::int32_t code) {
  throw ENTException(message, static_cast<std::uint32_t>(code));
}

std::string GetLastErrorString(std::uint32_t code) {
  constexpr DWORD kBufferSize = 1024;
  std::vector<char> buffer(kBufferSize, '\0');
  ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                   buffer.data(), kBufferSize, nullptr);
  // The system may fill the buffer to its last byte without a terminating zero.
  const std::string text(buffer.begin(), std::find(buffer.begin(), buffer.end(), '\0'));
  return std::to_string(static_cast<std::int32_t>(code)) + ": " + text;
}

}  // namespace Ntexception
