// The machine's state as text, for tests that a program only looked.
#include <sstream>

#include "platform/sim/state.h"

namespace sim {
namespace {

// A name unit by unit: ASCII as it is, anything else as its code, so no two names look alike.
std::string Units(const std::u16string& name) {
  std::string out;
  for (char16_t c : name) {
    if (c >= 0x20 && c < 0x7F)
      out += static_cast<char>(c);
    else
      out += "\\u" + std::to_string(static_cast<unsigned>(c)) + ";";
  }
  return out;
}

void Key(std::ostringstream& out, const RegKey& key, const std::string& path) {
  out << "key " << path << (key.denyOpen ? " deny-open" : "") << (key.denyDelete ? " deny-delete" : "")
      << "\n";
  for (const RegValue& v : key.values)
    out << "  value " << Units(v.name) << " type " << v.type << " bytes " << v.data.size() << ":" << v.data
        << "\n";
  for (const auto& child : key.children)
    if (!child.second->deleted) Key(out, *child.second, path + "\\" + Units(child.second->name));
}

void Node(std::ostringstream& out, const FsNode& node, const std::string& path) {
  out << (node.directory ? "dir " : "file ") << path << " attr " << node.attributes << " link "
      << Units(node.linkTarget) << " held " << node.heldOpen << " content " << node.content.size() << ":"
      << node.content << "\n";
  for (const auto& child : node.children)
    if (!child.second->removed) Node(out, *child.second, path + "\\" + Units(child.second->name));
}

}  // namespace

std::string Machine::StateDigest() const {
  const State& s = *state_;
  std::ostringstream out;
  Key(out, *s.hklm, "HKLM");
  Key(out, *s.hkcu, "HKCU");
  if (s.hku) Key(out, *s.hku, "HKU");
  for (const auto& drive : s.drives) Node(out, *drive.second, Units(drive.first));
  for (const Process& p : s.processes)
    out << "process " << p.pid << " " << p.spec.exe << (p.running ? " running" : " ended") << "\n";
  for (const auto& svc : s.services)
    out << "service " << svc->spec.name << " state " << ServiceStateAt(*svc, s.now) << " stop-at "
        << svc->stopRequestedAt << (svc->marked ? " marked" : "") << (svc->gone ? " gone" : "")
        << "\n";
  for (const auto& m : s.heldMutexes) out << "mutex " << m.first << "\n";
  out << "restart requests " << exitWindowsRequests.size() << "\n";
  return out.str();
}

}  // namespace sim
