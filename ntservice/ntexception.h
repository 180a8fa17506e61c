// The component library's one exception class and the helpers that turn a failed Windows
// call into it. Nothing here catches: every ENTException travels to the caller of the
// component operation.
#pragma once

#include <cstdint>
#include <string>

#include "platform/exception.h"

class ENTException : public Exception {
 public:
  ENTException(const std::string& message, std::uint32_t errorCode)
      : Exception(message), ErrorCode(errorCode) {}

  // The Windows error number; 0 for failures that have none; all bits set for a refused
  // property change.
  std::uint32_t ErrorCode;
};

namespace Ntexception {

// Raises an ENTException for the calling thread's last Windows error, or returns when that
// error is 0. Call it right after the failed Windows call, on the same thread.
void CreateException();

// Raises an ENTException with this message; the code is stored as its unsigned bit pattern.
[[noreturn]] void RaiseException(const std::string& message, std::int32_t code);

// The code as a signed decimal number, ": ", and the system's text for it with its trailing
// line break (empty when the system has none).
std::string GetLastErrorString(std::uint32_t code);

}  // namespace Ntexception
