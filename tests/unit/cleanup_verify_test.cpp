// The look after the run: what the restart removes is read from the deletions already waiting
// for it, and judged as the restart will carry them out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cleanup/verify.h"
#include "platform/sim/machine.h"

namespace {

const std::string kInstall = "C:\\Program Files\\Brantivo\\Tev32\\";
const std::string kFolder = "C:\\Program Files\\Brantivo\\Tev32";
const std::string kDriver = "C:\\WINDOWS\\system32\\drivers\\TEVF.sys";
const std::u16string kSessionManager = u"SYSTEM\\CurrentControlSet\\Control\\Session Manager";

std::u16string U(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// A PendingFileRenameOperations entry: the name, then the new name (empty: a deletion).
struct Entry {
  std::string name, newName;
};

void Wait(sim::Machine& m, const std::vector<Entry>& entries) {
  std::u16string list;
  for (const Entry& e : entries) list += U(e.name) + u'\0' + U(e.newName) + u'\0';
  m.SetStringW(HKEY_LOCAL_MACHINE, kSessionManager, u"PendingFileRenameOperations", list,
               REG_MULTI_SZ);
}

std::string Nt(const std::string& path) { return "\\??\\" + path; }

cleanup::Presence PresenceOf(const std::vector<cleanup::ItemLook>& items, const std::string& name) {
  for (const cleanup::ItemLook& item : items)
    if (item.name == name) return item.presence;
  ADD_FAILURE() << "no item " << name;
  return cleanup::Presence::Absent;
}

// Each case leaves the product folder (a file in use) and the driver file in place, with
// deletions waiting from an earlier run. The look must say "goes at the restart" exactly when
// the restart (the sim carries the entries out as the session manager does) removes the name.
TEST(LookAfterTheRun, DeletionsWaitingCountWhenTheRestartCarriesThemOut) {
  const std::string file = kInstall + "Tev32.exe";
  struct Case {
    const char* what;
    std::vector<Entry> waiting;
    bool fileReadOnly = false;
  } const cases[] = {
      {"nothing waits", {}},
      {"the file, then its folder; the driver",
       {{Nt(file), ""}, {Nt(kFolder), ""}, {Nt(kDriver), ""}}},
      {"names in other letter cases, a final backslash",
       {{Nt("c:\\program files\\BRANTIVO\\tev32\\tev32.EXE"), ""},
        {Nt("C:\\PROGRAM FILES\\Brantivo\\Tev32\\"), ""},
        {Nt("c:\\windows\\system32\\DRIVERS\\tevf.sys"), ""}}},
      {"the folder alone: its file stays in it", {{Nt(kFolder), ""}}},
      {"the file only after its folder", {{Nt(kFolder), ""}, {Nt(file), ""}}},
      {"the folder again after its file", {{Nt(kFolder), ""}, {Nt(file), ""}, {Nt(kFolder), ""}}},
      {"renames, not deletions", {{Nt(file), Nt("C:\\x.exe")}, {Nt(kDriver), Nt("C:\\y.sys")}}},
      {"a read-only file", {{Nt(file), ""}, {Nt(kFolder), ""}}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::Machine machine;
    machine.MakeFile(file, "", c.fileReadOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_ARCHIVE);
    machine.MakeFile(kDriver);
    Wait(machine, c.waiting);
    cleanup::ProductPlaces places;
    places.folders = {qm::Widen(kInstall)};
    places.driverFile = qm::Widen(kDriver);
    const std::vector<cleanup::ItemLook> items = cleanup::LookAtProduct(places, {});

    machine.PerformPendingFileOperations();
    for (const std::string& name : {kInstall, kDriver}) {
      const bool removed = !machine.PathExists(name);
      EXPECT_EQ(PresenceOf(items, name), removed ? cleanup::Presence::GoesAtRestart
                                                 : cleanup::Presence::Present)
          << name;
    }
  }
}

}  // namespace
