// The machine's life, the current-machine pointer and the text helpers the areas share.
#include <cstdio>
#include <cstdlib>

#include "platform/sim/state.h"

namespace sim {
namespace {

Machine* g_current = nullptr;

}  // namespace

char UpperChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u >= 'a' && u <= 'z') return static_cast<char>(u - 32);
  // Windows-1252: à..þ except ÷ map to À..Þ; š œ ž ÿ to Š Œ Ž Ÿ.
  if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return static_cast<char>(u - 32);
  switch (u) {
    case 0x9A: return static_cast<char>(0x8A);
    case 0x9C: return static_cast<char>(0x8C);
    case 0x9E: return static_cast<char>(0x8E);
    case 0xFF: return static_cast<char>(0x9F);
    default: return c;
  }
}

std::string Upper(const std::string& s) {
  std::string out(s);
  for (char& c : out) c = UpperChar(c);
  return out;
}

bool EqualNoCase(const std::string& a, const std::string& b) { return Upper(a) == Upper(b); }

namespace {
// Pairs in which the upper-case letter has the even code and the lower-case one the next.
bool InEvenPairBlock(char16_t c) {
  return (c >= 0x0100 && c <= 0x012F) || (c >= 0x0132 && c <= 0x0137) ||
         (c >= 0x014A && c <= 0x0177) || (c >= 0x0460 && c <= 0x0481) ||
         (c >= 0x048A && c <= 0x04BF) || (c >= 0x04D0 && c <= 0x052F);
}
// Pairs in which the upper-case letter has the odd code.
bool InOddPairBlock(char16_t c) {
  return (c >= 0x0139 && c <= 0x0148) || (c >= 0x0179 && c <= 0x017E) ||
         (c >= 0x04C1 && c <= 0x04CE);
}
}  // namespace

char16_t UpperUnit(char16_t c) {
  if (c < 0x80) return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 32);
  if (c == 0xFF) return 0x0178;
  if (InEvenPairBlock(c)) return static_cast<char16_t>(c & ~1u);
  if (InOddPairBlock(c)) return (c & 1u) ? c : static_cast<char16_t>(c - 1);
  if ((c >= 0x03B1 && c <= 0x03C1) || (c >= 0x03C3 && c <= 0x03CB))
    return static_cast<char16_t>(c - 32);  // Greek
  if (c == 0x03C2) return 0x03A3;          // final sigma
  if (c == 0x03AC) return 0x0386;
  if (c >= 0x03AD && c <= 0x03AF) return static_cast<char16_t>(c - 37);
  if (c == 0x03CC) return 0x038C;
  if (c == 0x03CD || c == 0x03CE) return static_cast<char16_t>(c - 63);
  if (c >= 0x0430 && c <= 0x044F) return static_cast<char16_t>(c - 32);  // Cyrillic
  if (c >= 0x0450 && c <= 0x045F) return static_cast<char16_t>(c - 80);
  if (c >= 0x0561 && c <= 0x0586) return static_cast<char16_t>(c - 48);  // Armenian
  if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<char16_t>(c - 32);  // full-width
  return c;
}

std::u16string UpperW(const std::u16string& s) {
  std::u16string out(s);
  for (char16_t& c : out) c = UpperUnit(c);
  return out;
}

bool EqualNoCaseW(const std::u16string& a, const std::u16string& b) {
  return UpperW(a) == UpperW(b);
}

std::vector<std::u16string> SplitPathW(const std::u16string& path) {
  std::vector<std::u16string> parts;
  std::u16string part;
  for (char16_t c : path) {
    if (c == u'\\' || c == u'/') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

std::u16string WideArg(const WCHAR* text) { return text ? std::u16string(text) : std::u16string(); }

Machine::Machine() : state_(std::make_unique<State>()) {
  if (g_current != nullptr) {
    std::fprintf(stderr, "sim::Machine: a machine already exists; one per test\n");
    std::abort();
  }
  g_current = this;
  version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
  version.dwMajorVersion = 5;
  version.dwMinorVersion = 1;
  version.dwBuildNumber = 2600;
  version.dwPlatformId = VER_PLATFORM_WIN32_NT;
  state_->hklm = std::make_shared<RegKey>();
  state_->hklm->name = u"HKEY_LOCAL_MACHINE";
  state_->hkcu = std::make_shared<RegKey>();
  state_->hkcu->name = u"HKEY_CURRENT_USER";
  state_->hku = std::make_shared<RegKey>();
  state_->hku->name = u"HKEY_USERS";
  CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes");
  CreateKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services");
  CreateKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager");
  CreateKey(HKEY_CURRENT_USER, "Software");
  MakeDirectory(windowsDirectory + "\\Temp");
  MakeDirectory(windowsDirectory + "\\system32");
  InstallShellFolders(*this);
  Process idle;
  idle.pid = 0;
  idle.spec.exe = "[System Process]";
  idle.spec.queryDenied = idle.spec.terminateDenied = idle.spec.terminateFails = true;
  state_->processes.push_back(idle);
  Process system;
  system.pid = 4;
  system.spec.exe = "System";
  system.spec.queryDenied = system.spec.terminateDenied = system.spec.terminateFails = true;
  state_->processes.push_back(system);
  InstallModules(*state_);
  SetLastError(0);
}

Machine::~Machine() { g_current = nullptr; }

Machine& Machine::current() {
  if (g_current == nullptr) {
    std::fprintf(stderr, "sim: a Win32 function was called while no sim::Machine exists\n");
    std::abort();
  }
  return *g_current;
}

bool Machine::exists() { return g_current != nullptr; }

}  // namespace sim
