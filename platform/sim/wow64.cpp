// The file-system redirection a 32-bit program meets on 64-bit Windows: its System32 is
// SysWOW64, per thread, unless the thread turns that off (Machine::wow64).
#include "platform/sim/state.h"

namespace sim {
namespace {

// Folders below System32 that every program sees in place.
const char16_t* const kExempt[][2] = {
    {u"drivers", u"etc"}, {u"spool", nullptr},   {u"catroot", nullptr},
    {u"catroot2", nullptr}, {u"logfiles", nullptr}, {u"driverstore", nullptr},
};

// The components after the drive, with "." dropped and ".." applied, as the system reads them.
std::vector<std::u16string> Components(const std::u16string& path) {
  std::vector<std::u16string> parts;
  for (const std::u16string& part : SplitPathW(path.substr(2))) {
    if (part == u".") continue;
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  return parts;
}

bool Exempt(const std::vector<std::u16string>& rest) {
  for (const auto& folder : kExempt) {
    if (rest.empty() || !EqualNoCaseW(rest[0], folder[0])) continue;
    if (folder[1] == nullptr || (rest.size() > 1 && EqualNoCaseW(rest[1], folder[1])))
      return true;
  }
  return false;
}

bool RedirectionOn(const Machine& m) { return m.wow64 && !m.FsRedirectionOff(); }

}  // namespace

std::u16string ProgramView(const std::u16string& path) {
  const Machine& m = Machine::current();
  const std::u16string windows = FromAnsi(m.windowsDirectory);
  if (!RedirectionOn(m) || path.size() < 2 || path[1] != u':' ||
      !EqualNoCaseW(path.substr(0, 2), windows.substr(0, 2)))
    return path;
  const std::vector<std::u16string> root = Components(windows);
  const std::vector<std::u16string> parts = Components(path);
  if (parts.size() <= root.size() || !EqualNoCaseW(parts[root.size()], u"System32")) return path;
  for (size_t i = 0; i < root.size(); ++i)
    if (!EqualNoCaseW(parts[i], root[i])) return path;
  const std::vector<std::u16string> rest(parts.begin() + static_cast<long>(root.size()) + 1,
                                         parts.end());
  if (Exempt(rest)) return path;
  std::u16string redirected = windows + u"\\SysWOW64";
  for (const std::u16string& part : rest) redirected += u"\\" + part;
  if (path.back() == u'\\' || path.back() == u'/') redirected += u'\\';
  return redirected;
}

bool Machine::FsRedirectionOff() const {
  return state_->fsRedirectionOff.count(std::this_thread::get_id()) != 0;
}

}  // namespace sim

// ---- Win32: kernel32's redirection switch. The old value handed out is the thread's
// previous setting (1: off), which the revert puts back.

BOOL WINAPI Wow64DisableWow64FsRedirection(PVOID* OldValue) {
  sim::Machine& m = sim::Machine::current();
  if (!m.wow64) return sim::Fail(ERROR_INVALID_FUNCTION, FALSE);
  if (OldValue == nullptr) return sim::Fail(ERROR_NOACCESS, FALSE);
  *OldValue = reinterpret_cast<PVOID>(static_cast<uintptr_t>(m.FsRedirectionOff() ? 1 : 0));
  m.state().fsRedirectionOff.insert(std::this_thread::get_id());
  return TRUE;
}

BOOL WINAPI Wow64RevertWow64FsRedirection(PVOID OldValue) {
  sim::Machine& m = sim::Machine::current();
  if (!m.wow64) return sim::Fail(ERROR_INVALID_FUNCTION, FALSE);
  if (reinterpret_cast<uintptr_t>(OldValue) == 1) return TRUE;  // it was off before
  m.state().fsRedirectionOff.erase(std::this_thread::get_id());
  return TRUE;
}
