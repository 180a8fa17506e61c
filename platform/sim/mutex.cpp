// Named mutexes: enough of them for a program that makes sure only one copy of itself runs.
// A mutex lives while a handle to it is open, in this program or (HoldMutex) in another; each
// has an owner and an access list (security.cpp).
#include "platform/sim/state.h"

namespace sim {
namespace {

// The security of the mutex of that name, held by another program or open in this one; null
// when there is none.
std::shared_ptr<const ObjectSecurity> ExistingMutex(const Machine::State& s,
                                                    const std::string& name) {
  const auto held = s.heldMutexes.find(name);
  if (held != s.heldMutexes.end()) return held->second;
  for (const auto& entry : s.kernel)
    if (entry.second.kind == KernelKind::Mutex && entry.second.mutexName == name)
      return entry.second.security;
  return nullptr;
}

HANDLE NewMutexHandle(Machine::State& s, const std::string& name,
                      std::shared_ptr<const ObjectSecurity> security) {
  void* h = s.NewHandle();
  KernelObject& o = s.kernel[reinterpret_cast<uintptr_t>(h)];
  o.kind = KernelKind::Mutex;
  o.access = MUTEX_ALL_ACCESS;
  o.mutexName = name;
  o.security = std::move(security);
  return h;
}

}  // namespace

void Machine::HoldMutex(const std::string& name, const std::string& security) {
  state_->heldMutexes[name] = std::make_shared<const ObjectSecurity>(ParseSecurity(security));
}

bool Machine::MutexExists(const std::string& name) const {
  return ExistingMutex(*state_, name) != nullptr;
}

}  // namespace sim

// An existing name opens with MUTEX_ALL_ACCESS, which its list must grant (else 5); a new one
// takes the attributes' owner and list.
HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL, LPCSTR lpName) {
  auto& m = sim::Machine::current();
  auto& s = m.state();
  const std::string name = lpName != nullptr ? lpName : "";
  std::shared_ptr<const sim::ObjectSecurity> existing;
  if (!name.empty()) existing = sim::ExistingMutex(s, name);
  if (existing) {
    if (!sim::Granted(*existing, sim::ProgramSids(m), MUTEX_ALL_ACCESS, sim::kMutexMapping))
      return sim::Fail(ERROR_ACCESS_DENIED, HANDLE{});
    HANDLE h = sim::NewMutexHandle(s, name, std::move(existing));
    SetLastError(ERROR_ALREADY_EXISTS);
    return h;
  }
  sim::ObjectSecurity security;
  if (!sim::SecurityOfNewObject(m, lpMutexAttributes, security))
    return sim::Fail(ERROR_INVALID_OWNER, HANDLE{});
  HANDLE h = sim::NewMutexHandle(
      s, name, std::make_shared<const sim::ObjectSecurity>(std::move(security)));
  SetLastError(ERROR_SUCCESS);
  return h;
}
