// The native World: every test gets a fresh simulated machine.
#include <string>

#include "platform/sim/machine.h"
#include "tests/contract/world.h"

namespace contract {

struct World::Impl {
  sim::Machine machine;
  int counter = 0;
};

World::World() : impl_(new Impl) {
  impl_->machine.MakeDirectory(impl_->machine.windowsDirectory + "\\system32\\drivers");
}
World::~World() { delete impl_; }

bool World::Simulated() { return true; }

std::string World::UniqueName(const std::string& stem) {
  return stem + std::to_string(++impl_->counter);
}

std::string World::Folder() {
  const std::string path = "C:\\Contract\\" + UniqueName("T");
  impl_->machine.MakeDirectory(path);
  return path;
}

std::string World::KeyPath() { return "Software\\QmContract\\" + UniqueName("K"); }

void World::RemoveAtEnd(HKEY, const std::string&) {}

bool World::GrantReadingOnly(HKEY root, const std::string& path) {
  impl_->machine.DenyKeyWrite(root, path);
  return true;
}

bool World::MakeFolderLink(const std::string& link, const std::string& target) {
  impl_->machine.MakeLink(link, target, true);
  return true;
}

DWORD World::StartProcess(const std::string& exeName) {
  sim::ProcessSpec spec;
  spec.exe = exeName;
  return impl_->machine.StartProcess(spec);
}

void World::InstallRunningService(const std::string& name, const std::string& displayName) {
  sim::ServiceSpec spec;
  spec.name = name;
  spec.displayName = displayName;
  spec.script.stopDelayMs = 300;
  impl_->machine.AddService(spec);
}

bool World::Wow64() const { return impl_->machine.wow64; }

bool World::Simulate64BitWindows() {
  impl_->machine.wow64 = true;
  impl_->machine.MakeDirectory(impl_->machine.windowsDirectory + "\\SysWOW64\\drivers");
  return true;
}

}  // namespace contract
