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
