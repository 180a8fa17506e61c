#include "tools/stage/layout.h"

#include "tools/stage/winops.h"

namespace qmstage {

const RootKey kClassesRoot{HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT\\"};
const RootKey kLocalMachine{HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE\\"};
const RootKey kCurrentUser{HKEY_CURRENT_USER, "HKEY_CURRENT_USER\\"};
const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kSharedDllsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const char kServiceName[] = "TEVSvc";
const char kBystanderProcess[] = "Vecino.exe";
const char kHolderProcess[] = "Visor.exe";
const char kBystanderService[] = "VecinoSvc";

namespace {

const char kComponents[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Components\\";

std::string StartMenuDir(const std::string& windows_dir, const std::string& program) {
  return windows_dir.substr(0, 1) +
         ":\\Documents and Settings\\All Users\\Men\xFA Inicio\\Programas\\" + program + "\\";
}

}  // namespace

Locations LocateFolders() {
  Locations where;
  where.windows_dir = WindowsDirectory();
  // Where the product's installer put it: the Program Files folder its process saw, which
  // is "Program Files (x86)" for a 32-bit program on 64-bit Windows.
  where.install_dir = ProgramFilesDirectory() + "\\Brantivo\\Tev32\\";
  where.product_dirs = {
      where.install_dir,
      StartMenuDir(where.windows_dir, "TEV32 para Windows"),
      where.windows_dir +
          "\\Downloaded Installations\\{FE4F5263-11D5-4724-95BA-A978983B6369}\\",
      where.windows_dir + "\\Installer\\{DDC012F8-A786-4584-856D-044BC1F49414}\\",
  };
  where.driver_file = where.windows_dir + "\\system32\\drivers\\TEVF.sys";
  return where;
}

std::vector<KeyPath> ProductKeyTrees() {
  std::vector<KeyPath> keys;
  for (const char* k :
       {".tev121", "TEV.Ftptev", "TEVSvc.TEVDriver", "TEVSvc.TEVDriver.1", "TEVSvc.TEVService",
        "TEVSvc.TEVService.1", "AppID\\TEVSvc.EXE",
        "AppID\\{DE2BA9C8-CF2E-41DF-8B64-441C516B64AE}",
        "CLSID\\{BC322BD5-6359-47D4-9926-363FE6A11024}",
        "CLSID\\{A222643E-744A-46F8-85FE-02883EC5C2E3}",
        "Installer\\Features\\8F210CDD687A485458D640B41C4F4941",
        "Installer\\Products\\8F210CDD687A485458D640B41C4F4941",
        "TypeLib\\{775D096D-0F0F-45FA-8EE1-4C1FD194910B}"})
    keys.push_back({kClassesRoot, k});
  keys.push_back({kLocalMachine, "SYSTEM\\CurrentControlSet\\Services\\TEVF"});
  keys.push_back({kLocalMachine, "SYSTEM\\CurrentControlSet\\Services\\TEVSvc"});
  keys.push_back({kLocalMachine, "SOFTWARE\\Brantivo\\TEV32"});
  for (const char* c :
       {"FA4C9C665284CB0F07586926F223D39F", "CEC500401863FAE3B3141340EE74D7CA",
        "F35F7B606ECDD74316C01C0EECB0ABA9", "ABFEF34D1FD6322B239745856A143AF6",
        "FE397E005F15B89428AB33A3339762A9", "AC12A43128679B7706AB6151137259AD",
        "F6342C785996483B5C617F4EC9CAF811", "BFE271322CA029B73D87E92C3331B820"})
    keys.push_back({kLocalMachine, std::string(kComponents) + c});
  keys.push_back({kLocalMachine,
                  "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\"
                  "Products\\8F210CDD687A485458D640B41C4F4941"});
  keys.push_back({kLocalMachine,
                  "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                  "{DDC012F8-A786-4584-856D-044BC1F49414}"});
  keys.push_back({kCurrentUser, "Software\\Brantivo\\TEV32"});
  return keys;
}

std::vector<std::string> ProductRunValues() { return {"TEV32PP", "TEV32PT"}; }

std::vector<std::string> ProductSharedDllValues(const Locations& where) {
  std::vector<std::string> names;
  for (const char* f : {"Tev32.exe", "TevPT.exe", "TEVSvc.exe", "TevTray.exe", "TevUpdate.exe"})
    names.push_back(where.install_dir + f);
  return names;
}

std::vector<std::string> ProductProcessNames() { return {"TevTray.exe", "Tev32.exe", "TevPT.exe"}; }

std::vector<StagedFile> ProductDataFiles(const Locations& where) {
  const DWORD ro = FILE_ATTRIBUTE_READONLY, hid = FILE_ATTRIBUTE_HIDDEN,
              sys = FILE_ATTRIBUTE_SYSTEM, normal = FILE_ATTRIBUTE_ARCHIVE;
  const std::string& inst = where.product_dirs[0];
  const std::string& menu = where.product_dirs[1];
  const std::string& dl = where.product_dirs[2];
  const std::string& msi = where.product_dirs[3];
  return {
      {inst + "leame.txt", normal},
      {inst + "Datos\\firmas.dat", ro},
      {inst + "Datos\\Cuarentena\\muestra.q", hid},
      {inst + "Datos\\Cuarentena\\indice.idx", hid | sys | ro},
      {inst + "Idiomas\\es\\mensajes.dll", sys},
      {menu + "Tev32.lnk", normal},
      {menu + "Desinstalar Tev32.lnk", normal},
      {menu + "Ayuda\\Manual de Tev32.lnk", ro},
      {dl + "Tev32.msi", normal},
      {dl + "1034.mst", normal},
      {dl + "Setup.ini", hid},
      {msi + "ARPPRODUCTICON.exe", normal},
      {msi + "tev32.ico", hid | sys},
      {msi + "Parches\\parche1.msp", ro},
      {where.driver_file, normal},
  };
}

std::vector<std::string> ProductEmptyDirs(const Locations& where) {
  return {where.install_dir + "Registros\\"};
}

std::vector<BystanderKey> BystanderKeys() {
  return {
      {{kLocalMachine, "SOFTWARE\\Brantivo"}, false},
      {{kLocalMachine, "SOFTWARE\\Brantivo\\TEV32Old"}, true},
      {{kCurrentUser, "Software\\Brantivo\\Preferencias"}, true},
      {{kClassesRoot, ".tev120"}, true},
      {{kClassesRoot, "TEVSvc.TEVDriver.2"}, true},
      {{kClassesRoot, "CLSID\\{BC322BD5-6359-47D4-9926-363FE6A11025}"}, true},
      {{kClassesRoot, "Installer\\Products\\8F210CDD687A485458D640B41C4F4942"}, true},
      {{kLocalMachine, std::string(kComponents) + "FA4C9C665284CB0F07586926F223D39E"}, true},
      {{kLocalMachine,
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
        "{DDC012F8-A786-4584-856D-044BC1F49415}"},
       true},
      {{kLocalMachine, "SYSTEM\\CurrentControlSet\\Services\\TEVF2"}, true},
  };
}

std::vector<BystanderValue> BystanderValues(const Locations& where) {
  const std::string otro = BystanderProgramDir(where);
  const KeyPath run{kLocalMachine, kRunKey};
  const KeyPath shared{kLocalMachine, kSharedDllsKey};
  std::vector<BystanderValue> values;
  // Programs that do not exist: a restart under Wine starts the Run programs again, and a
  // bystander program started anew would hide that the restart ended it.
  values.push_back({run, SzValue("OtroPrograma", "\"" + otro + "Otro.exe\" /minimizado")});
  values.push_back({run, SzValue("TEV32PPX", "\"" + otro + "Otro.exe\" /ppx")});
  values.push_back({shared, DwordValue("C:\\Program Files\\Brantivo\\Tev32Old\\Tev32.exe", 1)});
  values.push_back({shared, DwordValue(otro + "comun.dll", 3)});
  values.push_back({shared, DwordValue(where.install_dir + "Tev32.exe.bak", 1)});
  return values;
}

std::string BystanderProgramDir(const Locations&) { return "C:\\Program Files\\Otro\\"; }

std::vector<StagedFile> BystanderFiles(const Locations& where) {
  const DWORD ro = FILE_ATTRIBUTE_READONLY, hid = FILE_ATTRIBUTE_HIDDEN,
              normal = FILE_ATTRIBUTE_ARCHIVE;
  const std::string old = "C:\\Program Files\\Brantivo\\Tev32Old\\";
  return {
      {old + "Tev32.exe", normal},
      {old + "Datos\\firmas.dat", ro},
      {old + "Datos\\Cuarentena\\muestra.q", hid},
      {"C:\\Program Files\\Brantivo\\leeme.txt", normal},
      {BystanderProgramDir(where) + "comun.dll", ro},
      {StartMenuDir(where.windows_dir, "Otro Programa") + "Otro.lnk", normal},
      {where.windows_dir + "\\Downloaded Installations\\{FE4F5263-11D5-4724-95BA-A978983B6368}\\"
                           "Setup.ini",
       normal},
      {where.windows_dir + "\\Installer\\{DDC012F8-A786-4584-856D-044BC1F49415}\\cache.msi", hid},
      {where.windows_dir + "\\system32\\drivers\\TEVF2.sys", normal},
  };
}

std::vector<std::string> BystanderFolders(const Locations& where) {
  return {
      "C:\\Program Files\\Brantivo\\Tev32Old\\",
      "C:\\Program Files\\Brantivo\\leeme.txt",
      BystanderProgramDir(where),
      StartMenuDir(where.windows_dir, "Otro Programa"),
      where.windows_dir + "\\Downloaded Installations\\{FE4F5263-11D5-4724-95BA-A978983B6368}\\",
      where.windows_dir + "\\Installer\\{DDC012F8-A786-4584-856D-044BC1F49415}\\",
      where.windows_dir + "\\system32\\drivers\\TEVF2.sys",
  };
}

}  // namespace qmstage
