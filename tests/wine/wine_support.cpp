#include "tests/wine/wine_support.h"

#include <psapi.h>

#include <cstring>
#include <stdexcept>
#include <vector>

namespace winetest {
namespace {

void Check(bool ok, const std::string& what) {
  if (!ok) throw std::runtime_error(what + " failed, error " + std::to_string(::GetLastError()));
}

std::string OwnPath() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameA(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (length < path.size()) return path.substr(0, length);
    path.resize(path.size() * 2);
  }
}

bool IsListed(HANDLE process, const std::string& exeName) {
  HMODULE module = nullptr;
  DWORD needed = 0;
  if (!::EnumProcessModules(process, &module, sizeof module, &needed)) return false;
  char name[MAX_PATH] = {};
  return ::GetModuleBaseNameA(process, module, name, MAX_PATH) != 0 &&
         ::lstrcmpiA(name, exeName.c_str()) == 0;
}

}  // namespace

void MakeDir(const std::string& path) {
  const bool made = ::CreateDirectoryA(path.c_str(), nullptr) != 0;
  Check(made || ::GetLastError() == ERROR_ALREADY_EXISTS, "CreateDirectoryA " + path);
}

std::string ScratchFolder(const std::string& name) {
  MakeDir("C:\\qmtest");
  const std::string folder =
      "C:\\qmtest\\" + name + "-" + std::to_string(::GetCurrentProcessId()) + "\\";
  MakeDir(folder);
  return folder;
}

void MakeFile(const std::string& path, const std::string& content, DWORD attributes) {
  qm::unique_file file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  Check(static_cast<bool>(file), "CreateFileA " + path);
  DWORD written = 0;
  Check(::WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written,
                    nullptr) != 0,
        "WriteFile " + path);
  file.reset();
  Check(::SetFileAttributesA(path.c_str(), attributes) != 0, "SetFileAttributesA " + path);
}

bool Exists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

qm::unique_kernel StartIdleProgram(const std::string& exeName, Guard guard) {
  MakeDir("C:\\qmtest");
  MakeDir("C:\\qmtest\\bin");
  const std::string path = "C:\\qmtest\\bin\\" + exeName;
  if (!Exists(path)) Check(::CopyFileA(OwnPath().c_str(), path.c_str(), TRUE) != 0, "CopyFileA");
  const char* const modes[] = {" --idle", " --idle-unreadable", " --idle-locked"};
  std::string commandLine = "\"" + path + "\"" + modes[static_cast<int>(guard)];
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  Check(::CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                         nullptr, &startup, &info) != 0,
        "CreateProcessA " + path);
  qm::unique_kernel thread(info.hThread);
  qm::unique_kernel process(info.hProcess);
  for (int i = 0; i < 200 && !IsListed(process.get(), exeName); ++i) ::Sleep(50);
  return process;
}

bool HasEnded(HANDLE process, DWORD waitMs) {
  return ::WaitForSingleObject(process, waitMs) == WAIT_OBJECT_0;
}

namespace {

// symlink(2) made by the program's own Linux process (a Wine program is one), which Windows
// functions cannot do here: system call 88 through `syscall` on x86_64, 83 through int 0x80 on
// i386, where Wine runs i686 programs.
long UnixSymlink(const char* target, const char* link) {
  long result = -1;
#if defined(__x86_64__) && defined(__GNUC__)
  __asm__ volatile("syscall"
                   : "=a"(result)
                   : "a"(88L), "D"(target), "S"(link)
                   : "rcx", "r11", "memory");
#elif defined(__i386__) && defined(__GNUC__)
  __asm__ volatile("int $0x80" : "=a"(result) : "a"(83L), "b"(target), "c"(link) : "memory");
#else
  (void)target;
  (void)link;
#endif
  return result;
}

}  // namespace

bool MakeUnixSymlink(const std::string& linkPath, const std::string& targetPath) {
  using UnixNameFn = char*(CDECL*)(const WCHAR*);
  const FARPROC entry =
      ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
  if (entry == nullptr) return false;
  UnixNameFn unixName;
  static_assert(sizeof unixName == sizeof entry, "code pointers");
  std::memcpy(&unixName, &entry, sizeof unixName);
  auto toUnix = [&](const std::string& path) {
    std::vector<WCHAR> wide(path.size() + 1);
    ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
    char* text = unixName(wide.data());
    std::string result = text ? text : "";
    if (text) ::HeapFree(::GetProcessHeap(), 0, text);
    return result;
  };
  const std::string link = toUnix(linkPath), target = toUnix(targetPath);
  if (link.empty() || target.empty()) return false;
  return UnixSymlink(target.c_str(), link.c_str()) == 0;
}

}  // namespace winetest
