// qmstage: stages a product installation in a Wine prefix (or on a test machine) and reports
// on it, for the end-to-end runs of Quelmark.
//
//   qmstage install-absent [options]    bystanders only: data beside the product's that a
//                                       cleanup must leave untouched, a program that runs
//                                       and a service (running when --svc-exe is given)
//   qmstage install-full [options]      bystanders and the whole product
//     --service none|stopped|running|start-pending
//                                       how "TEVSvc" is left (default running); none
//                                       writes its registry key by hand instead
//     --svc-exe PATH                    the service program (copied as TEVSvc.exe and as the
//                                       bystander service); required unless --service none
//     --svc-args ARGS                   appended to TEVSvc's binary path (chooses its mode)
//     --fake-exe PATH                   the waiting program (default: fakeproc.exe beside
//                                       this program)
//     --hold                            a bystander program holds a product file open
//     --no-processes                    leave the product's programs not running
//     --copies N                        start N copies of each product program (default 1)
//   qmstage digest                      one line per bystander item with a checksum of it
//   qmstage inventory                   one line per product item still present
//   qmstage codepage                    the ANSI code page this process runs under (GetACP)
//
// Text is written as the Windows-1252 bytes the system holds. Exit status 0 on success,
// 1 when staging failed (the reason on standard error), 2 on a usage error.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/stage/layout.h"
#include "tools/stage/winops.h"

namespace qmstage {
namespace {

struct Options {
  std::string service = "running";
  std::string svc_exe;
  std::string svc_args;
  std::string fake_exe;
  bool hold = false;
  bool processes = true;
  int copies = 1;  // of each product program, as one per logged-on session
};

const char kHeldFile[] = "Datos\\firmas.dat";

void Print(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

std::string FileContent(const std::string& path) {
  // Distinct contents, so a file swapped for another shows in the digest.
  return "Staged by qmstage: " + path + "\r\n" + std::string(path.size() % 97 + 1, 'x');
}

void WriteStagedFiles(const std::vector<StagedFile>& files) {
  for (const StagedFile& f : files) WriteFile(f.path, FileContent(f.path), f.attributes);
}

std::vector<RegValue> SampleValues(const std::string& label) {
  return {SzValue("", label), DwordValue("Version", 0x0C01),
          {"Ruta", REG_EXPAND_SZ, std::string("%ProgramFiles%\\Brantivo") + '\0'},
          BinaryValue("Firma", std::string("\x01\x02\xFA\x00\xFF", 5))};
}

// A key tree three levels deep with values at each level, so removing it takes a depth-first
// walk.
void WriteSampleTree(HKEY root, const std::string& path, std::vector<RegValue> own) {
  for (RegValue& v : SampleValues(path)) own.push_back(v);
  WriteKey(root, path, own);
  WriteKey(root, path + "\\Detalle", {DwordValue("Nivel", 1), SzValue("Nombre", "Men\xFA")});
  WriteKey(root, path + "\\Detalle\\Opciones", {BinaryValue("Datos", "\x10\x20\x30")});
}

std::string ServiceBinaryPath(const std::string& exe, const std::string& args) {
  return args.empty() ? Quoted(exe) : Quoted(exe) + " " + args;
}

void InstallBystanders(const Locations& where, const Options& opt, bool hold) {
  for (const BystanderKey& k : BystanderKeys())
    WriteSampleTree(k.key.root.handle, k.key.path, {});
  for (const BystanderValue& v : BystanderValues(where))
    WriteKey(v.key.root.handle, v.key.path, {v.value});
  WriteStagedFiles(BystanderFiles(where));

  const std::string dir = BystanderProgramDir(where);
  CopyFileTo(opt.fake_exe, dir + kBystanderProcess);
  StartProgram(Quoted(dir + kBystanderProcess));
  WaitForProcess(kBystanderProcess, 10000);
  if (hold) {
    CopyFileTo(opt.fake_exe, dir + kHolderProcess);
    StartProgram(Quoted(dir + kHolderProcess) + " --hold " + Quoted(where.install_dir + kHeldFile));
    WaitForProcess(kHolderProcess, 10000);
  }

  const std::string svc = dir + kBystanderService + ".exe";
  if (!opt.svc_exe.empty()) {
    CopyFileTo(opt.svc_exe, svc);
    CreateAndStartService(kBystanderService, Quoted(svc), true, SERVICE_RUNNING, 15000);
  } else {
    CreateAndStartService(kBystanderService, Quoted(svc), false, 0, 0);
  }
}

// Confirms that the held file really resists deletion before a scenario relies on it.
void WaitUntilHeld(const std::string& path) {
  for (int i = 0; i < 100; ++i) {
    qm::unique_file probe(::CreateFileA(path.c_str(), DELETE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!probe && ::GetLastError() == ERROR_SHARING_VIOLATION) return;
    ::Sleep(100);
  }
  throw StageError(path + " is not held open");
}

void InstallProductRegistry(const Locations& where, bool manual_service_key) {
  for (const KeyPath& k : ProductKeyTrees()) {
    std::vector<RegValue> own;
    if (k.path == "SOFTWARE\\Brantivo\\TEV32") own.push_back(SzValue("DirInstall", where.install_dir));
    if (k.path == "SYSTEM\\CurrentControlSet\\Services\\TEVF")
      own = {DwordValue("Type", 1), DwordValue("Start", 3), DwordValue("ErrorControl", 1),
             SzValue("ImagePath", "system32\\drivers\\TEVF.sys")};
    if (k.path == "SYSTEM\\CurrentControlSet\\Services\\TEVSvc") {
      if (!manual_service_key) continue;  // the service manager writes it
      own = {DwordValue("Type", SERVICE_WIN32_OWN_PROCESS), DwordValue("Start", 3),
             SzValue("ImagePath", Quoted(where.install_dir + "TEVSvc.exe"))};
    }
    WriteSampleTree(k.root.handle, k.path, own);
  }
  WriteKey(HKEY_LOCAL_MACHINE, kRunKey,
           {SzValue("TEV32PP", Quoted(where.install_dir + "TevTray.exe")),
            SzValue("TEV32PT", Quoted(where.install_dir + "TevPT.exe") + " /inicio")});
  std::vector<RegValue> counts;
  for (const std::string& name : ProductSharedDllValues(where)) counts.push_back(DwordValue(name, 1));
  WriteKey(HKEY_LOCAL_MACHINE, kSharedDllsKey, counts);
}

void InstallProductService(const Locations& where, const Options& opt) {
  const std::string exe = where.install_dir + "TEVSvc.exe";
  if (opt.svc_exe.empty()) {
    WriteFile(exe, FileContent(exe), FILE_ATTRIBUTE_ARCHIVE);
  } else {
    CopyFileTo(opt.svc_exe, exe);
  }
  if (opt.service == "none") return;
  if (opt.svc_exe.empty()) throw StageError("--svc-exe is required for --service " + opt.service);
  const std::string path = ServiceBinaryPath(exe, opt.svc_args);
  if (opt.service == "stopped") {
    CreateAndStartService(kServiceName, path, false, 0, 0);
  } else if (opt.service == "start-pending") {
    CreateAndStartService(kServiceName, path, true, SERVICE_START_PENDING, 15000);
  } else {
    CreateAndStartService(kServiceName, path, true, SERVICE_RUNNING, 15000);
  }
}

void InstallFull(const Options& opt) {
  const Locations where = LocateFolders();
  InstallProductRegistry(where, opt.service == "none");
  WriteStagedFiles(ProductDataFiles(where));
  for (const std::string& d : ProductEmptyDirs(where)) MakeDirs(d);
  for (const char* exe : {"TevTray.exe", "Tev32.exe", "TevPT.exe", "TevUpdate.exe"})
    CopyFileTo(opt.fake_exe, where.install_dir + exe);
  InstallProductService(where, opt);
  InstallBystanders(where, opt, opt.hold);
  if (opt.processes) {
    for (const std::string& name : ProductProcessNames()) {
      for (int copy = 0; copy < opt.copies; ++copy) StartProgram(Quoted(where.install_dir + name));
      WaitForProcess(name, 10000, opt.copies);
    }
  }
  if (opt.hold) WaitUntilHeld(where.install_dir + kHeldFile);
}

void Digest() {
  const Locations where = LocateFolders();
  for (const BystanderKey& k : BystanderKeys()) {
    std::string dump = DumpKeyTree(k.key.root.handle, k.key.path, k.recurse);
    Print("key " + std::string(k.key.root.display) + k.key.path + " " +
          (dump.empty() ? "missing" : Hex64(Fnv1a(dump))));
  }
  for (const BystanderValue& v : BystanderValues(where)) {
    std::string dump = DumpValue(v.key.root.handle, v.key.path, v.value.name);
    Print("value " + std::string(v.key.root.display) + v.key.path + " " + v.value.name + " " +
          (dump.empty() ? "missing" : Hex64(Fnv1a(dump))));
  }
  for (const std::string& f : BystanderFolders(where)) {
    std::string dump = DumpFileTree(f);
    Print("files " + f + " " + (dump.empty() ? "missing" : Hex64(Fnv1a(dump))));
  }
  for (const char* p : {kBystanderProcess, kHolderProcess})
    Print(std::string("process ") + p + " " + std::to_string(CountProcesses(p)));
  DWORD state = ServiceState(kBystanderService);
  Print(std::string("service ") + kBystanderService + " " + (state ? StateName(state) : "missing"));
}

void ListTree(const std::string& dir) {
  for (const std::string& name : ListDir(dir)) {
    const std::string path = dir + name;
    if (IsDirectory(path)) {
      Print("dir " + path + "\\");
      ListTree(path + "\\");
    } else {
      Print("file " + path);
    }
  }
}

void Inventory() {
  const Locations where = LocateFolders();
  if (DWORD state = ServiceState(kServiceName))
    Print(std::string("service ") + kServiceName + " " + StateName(state));
  for (const std::string& name : ProductProcessNames())
    if (int n = CountProcesses(name)) Print("process " + name + " " + std::to_string(n));
  for (const KeyPath& k : ProductKeyTrees())
    if (KeyExists(k.root.handle, k.path)) Print("key " + std::string(k.root.display) + k.path);
  const std::string lm = kLocalMachine.display;
  for (const std::string& v : ProductRunValues())
    if (ValueExists(HKEY_LOCAL_MACHINE, kRunKey, v)) Print("value " + lm + kRunKey + " " + v);
  for (const std::string& v : ProductSharedDllValues(where))
    if (ValueExists(HKEY_LOCAL_MACHINE, kSharedDllsKey, v))
      Print("value " + lm + kSharedDllsKey + " " + v);
  for (const std::string& d : where.product_dirs) {
    if (!IsDirectory(d)) continue;
    Print("dir " + d);
    ListTree(d);
  }
  if (PathExists(where.driver_file)) Print("file " + where.driver_file);
}

int Usage() {
  std::fputs("usage: qmstage install-absent|install-full|digest|inventory|codepage [options]\n",
             stderr);
  return 2;
}

bool ParseOptions(int argc, char** argv, Options& opt) {
  opt.fake_exe = ModuleDirectory() + "\\fakeproc.exe";
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    const bool has_value = i + 1 < argc;
    if (a == "--service" && has_value) {
      opt.service = argv[++i];
      if (opt.service != "none" && opt.service != "stopped" && opt.service != "running" &&
          opt.service != "start-pending")
        return false;
    } else if (a == "--svc-exe" && has_value) {
      opt.svc_exe = argv[++i];
    } else if (a == "--svc-args" && has_value) {
      opt.svc_args = argv[++i];
    } else if (a == "--fake-exe" && has_value) {
      opt.fake_exe = argv[++i];
    } else if (a == "--hold") {
      opt.hold = true;
    } else if (a == "--no-processes") {
      opt.processes = false;
    } else if (a == "--copies" && has_value) {
      opt.copies = std::atoi(argv[++i]);
      if (opt.copies < 1) return false;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace
}  // namespace qmstage

int main(int argc, char** argv) {
  // Bytes go out as the system holds them: no CR inserted before LF.
  _setmode(_fileno(stdout), _O_BINARY);
  using namespace qmstage;
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  Options opt;
  if (!ParseOptions(argc, argv, opt)) return Usage();
  try {
    if (command == "install-full") {
      InstallFull(opt);
    } else if (command == "install-absent") {
      InstallBystanders(LocateFolders(), opt, false);
    } else if (command == "digest") {
      Digest();
    } else if (command == "inventory") {
      Inventory();
    } else if (command == "codepage") {
      std::printf("%u\n", ::GetACP());
    } else {
      return Usage();
    }
  } catch (const StageError& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "qmstage: %s\n", e.what());
    return 1;
  }
  std::fflush(stdout);
  return 0;
}
