// Run-time binding of one export of a loaded library.
#pragma once

#include <cstring>

#include "platform/win32/win32.h"

namespace qm {

// The export `name` of `library` as a function pointer of type Fn; null when it is missing.
template <typename Fn>
Fn Bind(HMODULE library, const char* name) {
  const FARPROC address = ::GetProcAddress(library, name);
  Fn function = nullptr;
  static_assert(sizeof function == sizeof address, "entry points are plain code pointers");
  std::memcpy(&function, &address, sizeof function);
  return function;
}

}  // namespace qm
