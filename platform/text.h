// Names as Windows holds them, and the bytes the log writes for them.
//
// The engine works on wide names (the "W" functions) so that no name is ever passed through
// the ANSI code page's best-fit mapping, which can turn a harmless character into a path
// separator, a dot or a wildcard. Texts of the program's own (plan tables, log lines) stay
// Windows-1252 bytes; a name becomes bytes only to be written to the log, and a path is never
// rebuilt from those bytes.
#pragma once

#include <string>

#include "platform/win32/win32.h"

namespace qm {

using WString = std::basic_string<WCHAR>;

// The program's own bytes as the "A" functions would read them (the ANSI code page).
inline WString Widen(const std::string& bytes) {
  if (bytes.empty()) return {};
  const int size = static_cast<int>(bytes.size());
  const int chars = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
  WString wide(static_cast<WString::size_type>(chars > 0 ? chars : 0), WCHAR{});
  if (chars > 0) ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, &wide[0], chars);
  return wide;
}

// A name as the log shows it: the ANSI code page with no best-fit mapping, so a character it
// cannot hold is written '?' and never becomes '\', '/', '.', '*' or another character.
inline std::string Narrow(const WString& name) {
  if (name.empty()) return {};
  const int size = static_cast<int>(name.size());
  const int bytes = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name.data(), size,
                                          nullptr, 0, "?", nullptr);
  std::string text(static_cast<std::string::size_type>(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0)
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name.data(), size, &text[0], bytes, "?",
                          nullptr);
  return text;
}

// True when the name survives the trip through the log's bytes unchanged.
inline bool HoldsInCodePage(const WString& name) { return Widen(Narrow(name)) == name; }

}  // namespace qm
