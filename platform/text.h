// Names as Windows holds them, and the bytes the log writes for them.
//
// The engine works on wide names (the "W" functions) so that no name is ever passed through
// the ANSI code page's best-fit mapping, which can turn a harmless character into a path
// separator, a dot or a wildcard. Texts of the program's own (plan tables, log lines) stay
// Windows-1252 bytes; a name becomes bytes only to be written to the log, and a path is never
// rebuilt from those bytes.
#pragma once

#include <optional>
#include <string>

#include "platform/exception.h"
#include "platform/win32/win32.h"

namespace qm {

using WString = std::basic_string<WCHAR>;

// The code page of the program's own texts and of its logs: Windows-1252 by definition,
// whatever the machine's ANSI code page (1251, 932, or 65001 with Windows' system-wide UTF-8
// option, would read "Men\xFA Inicio" as another name or as no valid text at all).
inline constexpr UINT kOwnCodePage = 1252;

// The program's own Windows-1252 bytes as the wide text they stand for. Every byte has a
// character in code page 1252, so this fails only when the system cannot convert at all; it
// then throws rather than answer an empty or shortened name, which would make a plan item
// drop out or a folder never be looked at.
inline WString Widen(const std::string& bytes) {
  if (bytes.empty()) return {};
  const int size = static_cast<int>(bytes.size());
  const int chars = ::MultiByteToWideChar(kOwnCodePage, 0, bytes.data(), size, nullptr, 0);
  WString wide(static_cast<WString::size_type>(chars > 0 ? chars : 0), WCHAR{});
  if (chars <= 0 ||
      ::MultiByteToWideChar(kOwnCodePage, 0, bytes.data(), size, &wide[0], chars) != chars)
    throw Exception("Cannot convert text from code page 1252");
  return wide;
}

// A name as the log shows it: code page 1252 with no best-fit mapping, so a character it
// cannot hold is written '?' and never becomes '\', '/', '.', '*' or another character.
// Should the system refuse the conversion, each character outside ASCII is written '?': the
// line keeps its place and its length, never an empty name.
inline std::string Narrow(const WString& name) {
  if (name.empty()) return {};
  const int size = static_cast<int>(name.size());
  const int bytes = ::WideCharToMultiByte(kOwnCodePage, WC_NO_BEST_FIT_CHARS, name.data(), size,
                                          nullptr, 0, "?", nullptr);
  std::string text(static_cast<std::string::size_type>(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0 && ::WideCharToMultiByte(kOwnCodePage, WC_NO_BEST_FIT_CHARS, name.data(), size,
                                         &text[0], bytes, "?", nullptr) == bytes)
    return text;
  text.clear();
  for (const WCHAR c : name) text += c < 0x80 ? static_cast<char>(c) : '?';
  return text;
}

// True when the name survives the trip through the log's bytes unchanged.
inline bool HoldsInCodePage(const WString& name) { return Widen(Narrow(name)) == name; }

// `name` as the machine's ANSI code page writes it, for an "A" function that must take a name
// (the help engine's); none when that code page cannot hold it exactly, since a best-fit form
// could name another file. Whatever the code page, 65001 included, a name holds exactly when
// it reads back unchanged.
inline std::optional<std::string> AnsiExactly(const WString& name) {
  if (name.empty()) return std::string();
  const int size = static_cast<int>(name.size());
  const int bytes = ::WideCharToMultiByte(CP_ACP, 0, name.data(), size, nullptr, 0, nullptr,
                                          nullptr);
  if (bytes <= 0) return std::nullopt;
  std::string text(static_cast<std::string::size_type>(bytes), '\0');
  if (::WideCharToMultiByte(CP_ACP, 0, name.data(), size, &text[0], bytes, nullptr, nullptr) !=
      bytes)
    return std::nullopt;
  WString back(name.size(), WCHAR{});
  const int chars = ::MultiByteToWideChar(CP_ACP, 0, text.data(), bytes, &back[0], size);
  if (chars != size || back != name) return std::nullopt;
  return text;
}

}  // namespace qm
