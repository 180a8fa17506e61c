// Named mutexes: enough of them for a program that makes sure only one copy of itself runs.
// A mutex lives while a handle to it is open, in this program or (HoldMutex) in another.
#include "platform/sim/state.h"

namespace sim {
namespace {

bool OpenInThisProgram(const Machine::State& s, const std::string& name) {
  for (const auto& entry : s.kernel)
    if (entry.second.kind == KernelKind::Mutex && entry.second.mutexName == name) return true;
  return false;
}

}  // namespace

void Machine::HoldMutex(const std::string& name, bool otherAccount) {
  state_->heldMutexes[name] = otherAccount;
}

bool Machine::MutexExists(const std::string& name) const {
  return state_->heldMutexes.count(name) != 0 || OpenInThisProgram(*state_, name);
}

}  // namespace sim

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR lpName) {
  auto& s = sim::Machine::current().state();
  const std::string name = lpName != nullptr ? lpName : "";
  const auto held = s.heldMutexes.find(name);
  if (held != s.heldMutexes.end() && held->second)
    return sim::Fail(ERROR_ACCESS_DENIED, HANDLE{});
  const bool exists = !name.empty() && (held != s.heldMutexes.end() || sim::OpenInThisProgram(s, name));
  void* h = s.NewHandle();
  sim::KernelObject& o = s.kernel[reinterpret_cast<uintptr_t>(h)];
  o.kind = sim::KernelKind::Mutex;
  o.mutexName = name;
  SetLastError(exists ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return h;
}
