// Libraries the program loads at run time, taken only from the system folder.
//
// The program runs as an administrator or as the local system account, often from a folder or
// a share that other users can write (its own folder is searched first for a bare library
// name, and on Windows 2000 and XP before SP2 the current folder comes before the system
// folder too). A library found there would run with the program's rights, so no library is
// ever loaded by a bare name.
#pragma once

#include "platform/paths.h"
#include "platform/raii.h"
#include "platform/text.h"
#include "platform/win32/win32.h"

namespace qm {

// The system folder (GetSystemDirectoryW, e.g. "C:\WINDOWS\system32"), without a final
// backslash; empty when it cannot be read.
inline WString SystemDirectory() {
  WString folder(MAX_PATH, WCHAR{});
  for (;;) {
    const UINT length = ::GetSystemDirectoryW(&folder[0], static_cast<UINT>(folder.size()));
    if (length == 0) return {};
    if (length < folder.size()) {  // the length copied, without the zero
      folder.resize(length);
      return WithoutFinalBackslash(folder);
    }
    folder.assign(length, WCHAR{});  // too small: the size needed, zero included
  }
}

// Loads the system library `name` (e.g. "PSAPI.DLL") by its full path in the system folder.
// LOAD_WITH_ALTERED_SEARCH_PATH makes the loader look for the library's own dependencies in
// the folder it was loaded from, not beside the program. Null (the loader's last error set)
// when the library is missing there or the system folder cannot be read.
inline unique_library LoadSystemLibrary(const char* name) {
  const WString folder = SystemDirectory();
  if (folder.empty()) return unique_library();
  const WString path = WithFinalBackslash(folder) + Widen(name);
  return unique_library(::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

}  // namespace qm
