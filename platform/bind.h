// Binding one export of a library loaded at run time.
#pragma once

#include <cstring>

#include "platform/win32/win32.h"

namespace qm {

// The entry point `name` of `library` as a function pointer of type Fn; null when the export
// is missing. Fn must be the export's exact signature: the pointer is only reinterpreted.
template <typename Fn>
Fn BindExport(HMODULE library, const char* name) {
  const FARPROC address = ::GetProcAddress(library, name);
  Fn function = nullptr;
  static_assert(sizeof function == sizeof address, "entry points are plain code pointers");
  std::memcpy(&function, &address, sizeof function);
  return function;
}

}  // namespace qm
