// The code pages the simulated machine converts with, as Windows converts them: 1252 (the
// set-up helpers' and, by default, the machine's ANSI code page), and as ANSI code pages 1251,
// 932 and 65001 (UTF-8, Windows' system-wide UTF-8 option) for the characters the tests use.
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

// ---- 1251: 0x80..0xFF (0x98, undefined, maps to the control character of the same value).
constexpr char16_t k1251High[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, 0x0410, 0x0411,
    0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C,
    0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432,
    0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D,
    0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, 0x0448,
    0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F};

// The best-fit answer of the code pages that lack Latin-1's letters: the letter without its
// mark ('\xFA' -> 'u'), as well as the full-width forms' ASCII characters.
int LatinBestFitByte(char16_t unit) {
  static const char kBase[] = "AAAAAA?CEEEEIIII?NOOOOO??UUUUY??aaaaaa?ceeeeiiii?nooooo??uuuuy?y";
  if (unit >= 0xC0 && unit <= 0xFF && kBase[unit - 0xC0] != '?') return kBase[unit - 0xC0];
  return BestFitByte(unit);
}

std::u16string From1251(const std::string& bytes) {
  std::u16string wide;
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    wide.push_back(byte < 0x80 ? char16_t(byte) : k1251High[byte - 0x80]);
  }
  return wide;
}

void To1251(char16_t unit, bool bestFit, std::string& out, bool& used, char fallback) {
  int byte = unit < 0x80 ? int(unit) : -1;
  for (int i = 0; byte < 0 && i < 128; ++i)
    if (k1251High[i] == unit) byte = 0x80 + i;
  if (byte < 0 && bestFit) byte = LatinBestFitByte(unit);
  if (byte < 0) {
    used = true;
    byte = static_cast<unsigned char>(fallback);
  }
  out.push_back(static_cast<char>(byte));
}

// ---- 932: ASCII, the half-width katakana 0xA1..0xDF, and of its double-byte characters the
// full-width ASCII forms, Cyrillic, U+4E2D and U+30FB (its default character), in runs.
struct DoubleByteRun {
  char16_t first;
  unsigned short code;
  unsigned short count;
};
constexpr DoubleByteRun k932Runs[] = {
    {0xFF01, 0x8149, 1},  {0xFF03, 0x8194, 1},  {0xFF04, 0x8190, 1},  {0xFF05, 0x8193, 1},
    {0xFF06, 0x8195, 1},  {0xFF08, 0x8169, 2},  {0xFF0A, 0x8196, 1},  {0xFF0B, 0x817B, 1},
    {0xFF0C, 0x8143, 1},  {0xFF0D, 0x817C, 1},  {0xFF0E, 0x8144, 1},  {0xFF0F, 0x815E, 1},
    {0xFF10, 0x824F, 10}, {0xFF1A, 0x8146, 2},  {0xFF1C, 0x8183, 1},  {0xFF1D, 0x8181, 1},
    {0xFF1E, 0x8184, 1},  {0xFF1F, 0x8148, 1},  {0xFF20, 0x8197, 1},  {0xFF21, 0x8260, 26},
    {0xFF3B, 0x816D, 1},  {0xFF3C, 0x815F, 1},  {0xFF3D, 0x816E, 1},  {0xFF3E, 0x814F, 1},
    {0xFF3F, 0x8151, 1},  {0xFF40, 0x814D, 1},  {0xFF41, 0x8281, 26}, {0xFF5B, 0x816F, 1},
    {0xFF5C, 0x8162, 1},  {0xFF5D, 0x8170, 1},  {0xFF5E, 0x8160, 1},  {0x0410, 0x8440, 6},
    {0x0416, 0x8447, 26}, {0x0430, 0x8470, 6},  {0x0436, 0x8477, 8},  {0x043E, 0x8480, 18},
    {0x0401, 0x8446, 1},  {0x0451, 0x8476, 1},  {0x4E2D, 0x9286, 1},  {0x30FB, 0x8145, 1}};
constexpr char16_t k932Default = 0x30FB;

bool Is932LeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// A lead byte takes the next byte with it, whatever it is; a pair outside the runs (or a
// lead byte at the end) reads as the default character.
std::u16string From932(const std::string& bytes) {
  std::u16string wide;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte < 0x80) {
      wide.push_back(byte);
    } else if (byte >= 0xA1 && byte <= 0xDF) {
      wide.push_back(static_cast<char16_t>(0xFF61 + (byte - 0xA1)));
    } else if (!Is932LeadByte(byte) || i + 1 == bytes.size()) {
      wide.push_back(k932Default);
    } else {
      const unsigned code = (byte << 8) | static_cast<unsigned char>(bytes[++i]);
      char16_t unit = k932Default;
      for (const DoubleByteRun& run : k932Runs)
        if (code >= run.code && code < unsigned(run.code) + run.count)
          unit = static_cast<char16_t>(run.first + (code - run.code));
      wide.push_back(unit);
    }
  }
  return wide;
}

void To932(char16_t unit, bool bestFit, std::string& out, bool& used, char fallback) {
  if (unit < 0x80) return out.push_back(static_cast<char>(unit));
  if (unit >= 0xFF61 && unit <= 0xFF9F)
    return out.push_back(static_cast<char>(unit - 0xFF61 + 0xA1));
  for (const DoubleByteRun& run : k932Runs) {
    if (unit < run.first || unit >= run.first + run.count) continue;
    const unsigned code = run.code + (unit - run.first);
    out.push_back(static_cast<char>(code >> 8));
    return out.push_back(static_cast<char>(code & 0xFF));
  }
  const int byte = bestFit ? LatinBestFitByte(unit) : -1;
  if (byte < 0) used = true;
  out.push_back(static_cast<char>(byte < 0 ? static_cast<unsigned char>(fallback) : byte));
}

// ---- 65001: a byte that starts no valid sequence (0x80..0xBF alone, 0xC0, 0xC1, 0xF5..0xFF,
// a cut sequence) reads as U+FFFD, as Windows since Vista answers; a lone surrogate is
// written as U+FFFD.
std::u16string FromUtf8(const std::string& bytes) {
  std::u16string wide;
  for (size_t i = 0; i < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    const int trail = lead < 0x80                    ? 0
                      : lead >= 0xC2 && lead <= 0xDF ? 1
                      : lead >= 0xE0 && lead <= 0xEF ? 2
                      : lead >= 0xF0 && lead <= 0xF4 ? 3
                                                     : -1;
    char32_t code = lead & (trail <= 0 ? 0x7F : 0x7F >> (trail + 1));
    bool valid = trail >= 0 && i + trail < bytes.size();
    for (int k = 1; valid && k <= trail; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      valid = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    const char32_t least = trail == 1 ? 0x80 : trail == 2 ? 0x800 : 0x10000;
    if (!valid || (trail > 1 && code < least) || code > 0x10FFFF ||
        (code >= 0xD800 && code <= 0xDFFF)) {
      wide.push_back(0xFFFD);
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      wide.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
      wide.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
    } else {
      wide.push_back(static_cast<char16_t>(code));
    }
    i += static_cast<size_t>(trail) + 1;
  }
  return wide;
}

std::string ToUtf8(const std::u16string& wide) {
  std::string out;
  for (size_t i = 0; i < wide.size(); ++i) {
    char32_t code = wide[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
        wide[i + 1] <= 0xDFFF)
      code = 0x10000 + ((code - 0xD800) << 10) + (wide[++i] - 0xDC00);
    else if (code >= 0xD800 && code <= 0xDFFF)
      code = 0xFFFD;
    if (code < 0x80) {
      out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (code >> 6)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (code >> 12)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (code >> 18)));
      out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }
  return out;
}

// Conversions need no machine (tests of pure text helpers have none): without one the ANSI
// code page is 1252 and nothing fails.
bool ConversionsFail() { return Machine::exists() && Machine::current().conversionsFail; }

// CP_ACP and CP_THREAD_ACP name the machine's ANSI code page; 0 for one not modelled.
UINT Resolved(UINT codePage) {
  if (codePage == CP_ACP || codePage == CP_THREAD_ACP)
    codePage = Machine::exists() ? Machine::current().ansiCodePage : 1252;
  switch (codePage) {
    case 1252: case 1251: case 932: case CP_UTF8: return codePage;
    default: return 0;
  }
}

std::u16string Decode(UINT codePage, const std::string& bytes) {
  switch (codePage) {
    case 1251: return From1251(bytes);
    case 932: return From932(bytes);
    case CP_UTF8: return FromUtf8(bytes);
    default: return FromAnsi(bytes);
  }
}

std::string Encode(UINT codePage, const std::u16string& wide, bool bestFit, bool* usedDefault,
                   char fallback) {
  if (codePage == CP_UTF8) return ToUtf8(wide);
  if (codePage != 1251 && codePage != 932) return ToAnsi(wide, bestFit, usedDefault, fallback);
  std::string bytes;
  bool used = false;
  for (char16_t unit : wide) {
    if (codePage == 1251) To1251(unit, bestFit, bytes, used, fallback);
    else To932(unit, bestFit, bytes, used, fallback);
  }
  if (usedDefault && used) *usedDefault = true;
  return bytes;
}

}  // namespace

std::u16string FromAcp(const std::string& bytes) { return Decode(Resolved(CP_ACP), bytes); }

std::string ToAcp(const std::u16string& wide, bool bestFit, bool* usedDefault) {
  return Encode(Resolved(CP_ACP), wide, bestFit, usedDefault, '?');
}

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

int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceBytes,
                               LPWSTR target, int targetChars) {
  if (sim::ConversionsFail()) return Fail(ERROR_NOT_ENOUGH_MEMORY, 0);
  codePage = sim::Resolved(codePage);
  if (codePage == 0 || !source || sourceBytes == 0 || targetChars < 0)
    return Fail(ERROR_INVALID_PARAMETER, 0);
  // UTF-8 takes no flag but MB_ERR_INVALID_CHARS, which the program never passes.
  if (codePage == CP_UTF8 && flags != 0) return Fail(ERROR_INVALID_FLAGS, 0);
  // -1: the text and its terminating zero.
  const std::string bytes =
      sourceBytes < 0 ? std::string(source, std::char_traits<char>::length(source) + 1)
                      : std::string(source, static_cast<size_t>(sourceBytes));
  const std::u16string wide = sim::Decode(codePage, bytes);
  if (targetChars == 0) return static_cast<int>(wide.size());
  if (static_cast<size_t>(targetChars) < wide.size()) return Fail(ERROR_INSUFFICIENT_BUFFER, 0);
  wide.copy(target, wide.size());
  return static_cast<int>(wide.size());
}

// UTF-8 has no default character: with one, or the place to report its use, the call is
// refused (87); it takes no flag but WC_ERR_INVALID_CHARS (else 1004).
int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceChars,
                               LPSTR target, int targetBytes, LPCSTR defaultChar,
                               LPBOOL usedDefaultChar) {
  if (sim::ConversionsFail()) return Fail(ERROR_NOT_ENOUGH_MEMORY, 0);
  codePage = sim::Resolved(codePage);
  if (codePage == 0 || !source || sourceChars == 0 || targetBytes < 0)
    return Fail(ERROR_INVALID_PARAMETER, 0);
  if (codePage == CP_UTF8 && (defaultChar || usedDefaultChar))
    return Fail(ERROR_INVALID_PARAMETER, 0);
  if (codePage == CP_UTF8 && flags != 0) return Fail(ERROR_INVALID_FLAGS, 0);
  const std::u16string wide =
      sourceChars < 0 ? std::u16string(source, std::char_traits<char16_t>::length(source) + 1)
                      : std::u16string(source, static_cast<size_t>(sourceChars));
  bool used = false;
  const std::string bytes = sim::Encode(codePage, wide, (flags & WC_NO_BEST_FIT_CHARS) == 0,
                                        &used, defaultChar ? *defaultChar : '?');
  if (usedDefaultChar) *usedDefaultChar = used ? 1 : 0;
  if (targetBytes == 0) return static_cast<int>(bytes.size());
  if (static_cast<size_t>(targetBytes) < bytes.size()) return Fail(ERROR_INSUFFICIENT_BUFFER, 0);
  bytes.copy(target, bytes.size());
  return static_cast<int>(bytes.size());
}
