#include "cleanup/plan.h"

namespace cleanup {

const std::vector<std::string> PlanServices = {"TEVSvc"};

const std::vector<std::string> PlanProcesses = {"TevTray.exe", "Tev32.exe", "TevPT.exe"};

const std::vector<std::string> PlanClassesRootKeys = {
    ".tev121",
    "TEV.Ftptev",
    "TEVSvc.TEVDriver",
    "TEVSvc.TEVDriver.1",
    "TEVSvc.TEVService",
    "TEVSvc.TEVService.1",
    "AppID\\TEVSvc.EXE",
    "AppID\\{DE2BA9C8-CF2E-41DF-8B64-441C516B64AE}",
    "CLSID\\{BC322BD5-6359-47D4-9926-363FE6A11024}",
    "CLSID\\{A222643E-744A-46F8-85FE-02883EC5C2E3}",
    "Installer\\Features\\8F210CDD687A485458D640B41C4F4941",
    "Installer\\Products\\8F210CDD687A485458D640B41C4F4941",
    "TypeLib\\{775D096D-0F0F-45FA-8EE1-4C1FD194910B}",
};

namespace {
// The Windows Installer data of the LocalSystem account, where the product's packed
// component codes are registered.
std::string Component(const char* packedCode) {
  return std::string(
             "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\"
             "Components\\") +
         packedCode;
}
}  // namespace

const std::vector<std::string> PlanLocalMachineKeys = {
    "SYSTEM\\CurrentControlSet\\Services\\TEVF",
    "SYSTEM\\CurrentControlSet\\Services\\TEVSvc",
    "SOFTWARE\\Brantivo\\TEV32",
    Component("FA4C9C665284CB0F07586926F223D39F"),
    Component("CEC500401863FAE3B3141340EE74D7CA"),
    Component("F35F7B606ECDD74316C01C0EECB0ABA9"),
    Component("ABFEF34D1FD6322B239745856A143AF6"),
    Component("FE397E005F15B89428AB33A3339762A9"),
    Component("AC12A43128679B7706AB6151137259AD"),
    Component("F6342C785996483B5C617F4EC9CAF811"),
    Component("BFE271322CA029B73D87E92C3331B820"),
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products\\"
    "8F210CDD687A485458D640B41C4F4941",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    "{DDC012F8-A786-4584-856D-044BC1F49414}",
};

const std::vector<std::string> PlanCurrentUserKeys = {"Software\\Brantivo\\TEV32"};

const std::vector<std::string> PlanRunValues = {"TEV32PP", "TEV32PT"};

const std::vector<std::string> PlanSharedDllFiles = {"Tev32.exe", "TevPT.exe", "TEVSvc.exe",
                                                     "TevTray.exe", "TevUpdate.exe"};

const char* const RunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char* const SharedDllsKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const char* const ProductKey = "SOFTWARE\\Brantivo\\TEV32";
const char* const InstallDirValue = "DirInstall";
const char* const DefaultInstallDir = "C:\\Program Files\\Brantivo\\Tev32\\";

WStringList SharedDllValueNames(const qm::WString& installDir) {
  WStringList names;
  for (const std::string& file : PlanSharedDllFiles) names.push_back(installDir + qm::Widen(file));
  return names;
}

WStringList ProductFolders(const qm::WString& installDir, const qm::WString& windowsDir) {
  const qm::WString drive = windowsDir.substr(0, 1);
  return {
      installDir,
      drive + qm::Widen(":\\Documents and Settings\\All Users\\Men\xFA Inicio\\Programas\\"
                        "TEV32 para Windows\\"),
      windowsDir +
          qm::Widen("\\Downloaded Installations\\{FE4F5263-11D5-4724-95BA-A978983B6369}\\"),
      windowsDir + qm::Widen("\\Installer\\{DDC012F8-A786-4584-856D-044BC1F49414}\\"),
  };
}

qm::WString DriverFilePath(const qm::WString& windowsDir) {
  return windowsDir + qm::Widen("\\system32\\drivers\\TEVF.sys");
}

qm::WString LogFilePath(const qm::WString& windowsDir) {
  return windowsDir + qm::Widen("\\Temp\\Quelmark.log");
}

qm::WString ReadWindowsDirectory() {
  qm::WString buffer(MAX_PATH, WCHAR{});
  for (;;) {
    const UINT length = ::GetWindowsDirectoryW(&buffer[0], static_cast<UINT>(buffer.size()));
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    buffer.resize(length + 1);  // too small: length is the size needed, zero included
  }
}

}  // namespace cleanup
