// qmbench: the engine's removal operations against what Windows ships for the same job, on
// identical trees in one prefix.
//
//   qmbench files <folders> <files-per-folder>   DeleteDirectoryContents + RemoveDirectoryW
//                                                versus `cmd /c rd /s /q`
//   qmbench registry <keys> <sub-keys-per-key>   DeleteRegistryKeyTree versus `reg delete /f`
//
// Each mode builds tree A and tree B, times the engine on A inside this process and the
// system tool on B as a child process (less the cost of starting an empty child of the same
// tool, so process start-up is not charged to it), checks both trees are gone, and prints
// one line: "<mode> engine_s=<x> tool_s=<y> ratio=<x/y> peak_mib=<m>".
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cleanup/directories.h"
#include "cleanup/registry.h"
#include "platform/raii.h"

#include <psapi.h>  // after the Windows headers it builds on

namespace {

double Seconds() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return double(now.QuadPart) / double(frequency.QuadPart);
}

// Runs a command line to its end; answers its wall time in seconds, or -1 when it could not
// be started.
double TimeChild(std::string commandLine) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  double start = Seconds();
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                      nullptr, nullptr, &startup, &info)) {
    return -1;
  }
  qm::unique_kernel process(info.hProcess);
  qm::unique_kernel thread(info.hThread);
  WaitForSingleObject(process.get(), INFINITE);
  return Seconds() - start;
}

double PeakMiB() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return -1;
  return double(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

bool WriteFileOf(const std::string& path, const std::string& content) {
  qm::unique_file file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return WriteFile(file.get(), content.data(), DWORD(content.size()), &written, nullptr) &&
         written == content.size();
}

// <root>\dNNN\fNNNN.txt: `folders` sub-folders of `files` small files each.
bool MakeFileTree(const std::string& root, int folders, int files) {
  if (!CreateDirectoryA(root.c_str(), nullptr)) return false;
  for (int d = 0; d < folders; ++d) {
    std::string folder = root + "\\d" + std::to_string(d);
    if (!CreateDirectoryA(folder.c_str(), nullptr)) return false;
    for (int f = 0; f < files; ++f) {
      if (!WriteFileOf(folder + "\\f" + std::to_string(f) + ".txt", "quelmark bench\r\n"))
        return false;
    }
  }
  return true;
}

bool MakeKeyTree(const std::string& path, int keys, int subKeys) {
  for (int k = 0; k < keys; ++k) {
    for (int s = 0; s < subKeys; ++s) {
      std::string key = path + "\\k" + std::to_string(k) + "\\s" + std::to_string(s);
      qm::unique_hkey handle;
      if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                          handle.put(), nullptr) != ERROR_SUCCESS)
        return false;
      DWORD value = DWORD(s);
      RegSetValueExA(handle.get(), "n", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value),
                     sizeof value);
    }
  }
  return true;
}

bool KeyExists(const std::string& path) {
  qm::unique_hkey handle;
  return RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, handle.put()) ==
         ERROR_SUCCESS;
}

void Report(const char* mode, double engine, double tool) {
  std::printf("%s engine_s=%.3f tool_s=%.3f ratio=%.3f peak_mib=%.1f\n", mode, engine, tool,
              tool > 0 ? engine / tool : 0.0, PeakMiB());
}

int BenchFiles(int folders, int files) {
  const std::string a = "C:\\qmbench-a", b = "C:\\qmbench-b";
  if (!MakeFileTree(a, folders, files) || !MakeFileTree(b, folders, files)) {
    std::fprintf(stderr, "qmbench: cannot build the file trees\n");
    return 2;
  }
  cleanup::StringList lines;
  int counter = 0;
  double start = Seconds();
  // As the files stage does it: pinned while emptied, unpinned before it is removed.
  const qm::WString folder = qm::Widen(a + "\\");
  cleanup::PinnedFolder pinned = cleanup::PinFolder(folder);
  const int result = pinned.kind == cleanup::FolderKind::Directory
                         ? static_cast<int>(cleanup::DeleteDirectoryContents(folder, lines, counter))
                         : -1;
  pinned.handle.reset();
  cleanup::ClearFileAttributes(folder);
  BOOL removed = RemoveDirectoryW(folder.c_str());
  double engine = Seconds() - start;

  double baseline = TimeChild("cmd /c rem");
  double tool = TimeChild("cmd /c rd /s /q " + b) - baseline;
  bool gone = GetFileAttributesA(a.c_str()) == INVALID_FILE_ATTRIBUTES &&
              GetFileAttributesA(b.c_str()) == INVALID_FILE_ATTRIBUTES;
  if (result != 0 || !removed || !gone || counter != folders * files) {
    std::fprintf(stderr, "qmbench: files: result %d, removed %d, counter %d, both gone %d\n",
                 result, int(removed), counter, int(gone));
    return 1;
  }
  Report("files", engine, tool);
  return 0;
}

int BenchRegistry(int keys, int subKeys) {
  const std::string a = "Software\\QmBench\\A", b = "Software\\QmBench\\B";
  if (!MakeKeyTree(a, keys, subKeys) || !MakeKeyTree(b, keys, subKeys)) {
    std::fprintf(stderr, "qmbench: cannot build the key trees\n");
    return 2;
  }
  double start = Seconds();
  const LONG result = static_cast<LONG>(cleanup::DeleteRegistryKeyTree(HKEY_CURRENT_USER, qm::Widen(a)));
  double engine = Seconds() - start;

  double baseline = TimeChild("reg query HKCU\\Software\\QmBench /ve");
  double tool = TimeChild("reg delete HKCU\\" + b + " /f") - baseline;
  bool gone = !KeyExists(a) && !KeyExists(b);
  cleanup::DeleteRegistryKeyTree(HKEY_CURRENT_USER, qm::Widen("Software\\QmBench"));
  if (result != 0 || !gone) {
    std::fprintf(stderr, "qmbench: registry: result %ld, both gone %d\n", long(result),
                 int(gone));
    return 1;
  }
  Report("registry", engine, tool);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "files")
    return BenchFiles(std::atoi(argv[2]), std::atoi(argv[3]));
  if (argc == 4 && std::string(argv[1]) == "registry")
    return BenchRegistry(std::atoi(argv[2]), std::atoi(argv[3]));
  std::fprintf(stderr, "usage: qmbench files <folders> <files-per-folder>\n"
                       "       qmbench registry <keys> <sub-keys-per-key>\n");
  return 2;
}
