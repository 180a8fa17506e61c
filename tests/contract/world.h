// What a contract test cannot set up through the Win32 calls that both worlds share.
//
// Natively a World is a fresh sim::Machine; on Windows (under Wine) it is the real machine,
// and the World removes at its end every folder, key, process and service it made.
#pragma once

#include <string>
#include <vector>

#include "platform/win32/win32.h"

namespace contract {

class World {
 public:
  World();
  ~World();
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  static bool Simulated();

  // A name no other test of this run uses: stem followed by digits.
  std::string UniqueName(const std::string& stem);
  // A fresh empty folder for this test (no trailing backslash).
  std::string Folder();
  // A fresh key path under HKEY_CURRENT_USER for this test; the key itself does not exist yet.
  std::string KeyPath();
  // A directory link at `link` that leads to the folder `target`: a junction in the
  // simulation, a unix symbolic link under Wine (which cannot make junctions). False when this
  // world cannot make one.
  bool MakeFolderLink(const std::string& link, const std::string& target);
  // Gives the existing key root\path an access list that lets everyone read it and nobody
  // write it (nor delete it, nor change its access list beyond what an owner always may).
  // False when this world cannot.
  bool GrantReadingOnly(HKEY root, const std::string& path);
  // Registers a key tree the test creates elsewhere, so that it is removed at the end.
  void RemoveAtEnd(HKEY root, const std::string& path);

  // Starts a process whose executable has the base name exeName and that runs until it is
  // terminated or the World ends. Returns its id.
  DWORD StartProcess(const std::string& exeName);
  // Installs and starts an own-process service that accepts STOP and, once asked, passes
  // through STOP_PENDING to STOPPED. It is deleted at the end when the test has not.
  void InstallRunningService(const std::string& name, const std::string& displayName);

  // Whether this program runs as a 32-bit program on 64-bit Windows (WoW64).
  bool Wow64() const;
  // In the simulation: makes the machine 64-bit Windows running this program as a 32-bit one,
  // with a SysWOW64 folder beside System32. False where the machine is real.
  bool Simulate64BitWindows();

 private:
  struct Impl;
  Impl* impl_;
};

// Removes a key tree under root, deepest keys first, by the names the registry holds (a name
// the code page cannot hold is removed too); returns the first error met.
LONG DeleteKeyTree(HKEY root, const std::string& path);

}  // namespace contract
