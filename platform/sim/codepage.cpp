// Code page 1252, the simulated machine's ANSI code page, as Windows converts it.
#include <string>

#include "platform/sim/state.h"

namespace sim {
namespace {

// 0x80..0x9F; the five bytes 1252 leaves undefined map to the control characters of the same
// value, as Windows' table does.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t FromAnsiByte(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) return kHighControls[byte - 0x80];
  return byte;
}

// The byte that stands for `unit` exactly, or -1.
int ExactByte(char16_t unit) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return unit;
  for (int i = 0; i < 32; ++i)
    if (kHighControls[i] == unit) return 0x80 + i;
  return -1;
}

// The best-fit table's answer for a character the code page lacks: the full-width forms of
// the ASCII characters (U+FF01..U+FF5E) read as those characters, among them '\' (U+FF3C),
// '/' (U+FF0F), '.' (U+FF0E), '?' (U+FF1F), '*' (U+FF0A) and ':' (U+FF1A).
int BestFitByte(char16_t unit) {
  if (unit >= 0xFF01 && unit <= 0xFF5E) return unit - 0xFF01 + 0x21;
  return -1;
}

bool IsSupportedCodePage(UINT codePage) {
  return codePage == CP_ACP || codePage == CP_THREAD_ACP || codePage == 1252;
}

}  // namespace

std::u16string FromAnsi(const std::string& bytes) {
  std::u16string wide;
  wide.reserve(bytes.size());
  for (char c : bytes) wide.push_back(FromAnsiByte(static_cast<unsigned char>(c)));
  return wide;
}

std::string ToAnsi(const std::u16string& wide, bool bestFit, bool* usedDefault, char fallback) {
  std::string bytes;
  bytes.reserve(wide.size());
  for (char16_t unit : wide) {
    int byte = ExactByte(unit);
    if (byte < 0 && bestFit) byte = BestFitByte(unit);
    if (byte < 0) {
      if (usedDefault) *usedDefault = true;
      byte = static_cast<unsigned char>(fallback);
    }
    bytes.push_back(static_cast<char>(byte));
  }
  return bytes;
}

}  // namespace sim

using sim::Fail;

int WINAPI MultiByteToWideChar(UINT codePage, DWORD, LPCSTR source, int sourceBytes, LPWSTR target,
                               int targetChars) {
  if (!sim::IsSupportedCodePage(codePage) || !source || sourceBytes == 0 || targetChars < 0)
    return Fail(ERROR_INVALID_PARAMETER, 0);
  // -1: the text and its terminating zero.
  const std::string bytes =
      sourceBytes < 0 ? std::string(source, std::char_traits<char>::length(source) + 1)
                      : std::string(source, static_cast<size_t>(sourceBytes));
  const std::u16string wide = sim::FromAnsi(bytes);
  if (targetChars == 0) return static_cast<int>(wide.size());
  if (static_cast<size_t>(targetChars) < wide.size()) return Fail(ERROR_INSUFFICIENT_BUFFER, 0);
  wide.copy(target, wide.size());
  return static_cast<int>(wide.size());
}

int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceChars,
                               LPSTR target, int targetBytes, LPCSTR defaultChar,
                               LPBOOL usedDefaultChar) {
  if (!sim::IsSupportedCodePage(codePage) || !source || sourceChars == 0 || targetBytes < 0)
    return Fail(ERROR_INVALID_PARAMETER, 0);
  const std::u16string wide =
      sourceChars < 0 ? std::u16string(source, std::char_traits<char16_t>::length(source) + 1)
                      : std::u16string(source, static_cast<size_t>(sourceChars));
  bool used = false;
  const std::string bytes = sim::ToAnsi(wide, (flags & WC_NO_BEST_FIT_CHARS) == 0, &used,
                                        defaultChar ? *defaultChar : '?');
  if (usedDefaultChar) *usedDefaultChar = used ? 1 : 0;
  if (targetBytes == 0) return static_cast<int>(bytes.size());
  if (static_cast<size_t>(targetBytes) < bytes.size()) return Fail(ERROR_INSUFFICIENT_BUFFER, 0);
  bytes.copy(target, bytes.size());
  return static_cast<int>(bytes.size());
}
