// The Windows World: the real machine (a throwaway Wine prefix in this project's runs).
// Processes are copies of this test program started with --idle; services run this test
// program with --service (see main.cpp).
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "platform/bind.h"
#include "platform/raii.h"
#include "platform/text.h"
#include "tests/contract/world.h"
#include "tests/wine/wine_support.h"

#include <psapi.h>  // after the Windows headers it builds on
#include <sddl.h>

namespace contract {
namespace {

std::string OwnPath() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::string TempFolder() {
  char buffer[MAX_PATH + 1];
  const DWORD n = GetTempPathA(sizeof(buffer), buffer);
  std::string path(buffer, n);
  if (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

// By the names the file system holds, so that a name the code page cannot hold (or one its
// best-fit mapping would turn into "..\\") is removed where it is; links are removed as
// themselves, never followed.
void DeleteFolderTreeW(const qm::WString& folder) {
  const qm::WString separator = qm::Widen("\\");
  WIN32_FIND_DATAW data;
  qm::unique_find find(FindFirstFileW((folder + separator + qm::Widen("*")).c_str(), &data));
  if (find) {
    do {
      const qm::WString name = data.cFileName;
      if (name == qm::Widen(".") || name == qm::Widen("..")) continue;
      const qm::WString path = folder + separator + name;
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      const DWORD a = data.dwFileAttributes;
      if ((a & FILE_ATTRIBUTE_DIRECTORY) && !(a & FILE_ATTRIBUTE_REPARSE_POINT))
        DeleteFolderTreeW(path);
      else if (a & FILE_ATTRIBUTE_DIRECTORY)
        RemoveDirectoryW(path.c_str());
      else
        DeleteFileW(path.c_str());
    } while (FindNextFileW(find.get(), &data));
  }
  find.reset();
  SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryW(folder.c_str());
}

void DeleteFolderTree(const std::string& folder) { DeleteFolderTreeW(qm::Widen(folder)); }

// Sets the access list of root\path from its SDDL text; the owner may always do so.
bool SetKeyAccessList(HKEY root, const std::string& path, const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                            nullptr))
    return false;
  const qm::unique_local owned(descriptor);
  qm::unique_hkey key;
  if (RegOpenKeyExA(root, path.c_str(), 0, WRITE_DAC, key.put()) != ERROR_SUCCESS) return false;
  return RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
}

using ScHandle = qm::unique_service;

DWORD StateOf(SC_HANDLE service) {
  SERVICE_STATUS status{};
  return QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
}

bool WaitForState(SC_HANDLE service, DWORD state, int timeoutMs) {
  for (int waited = 0; waited <= timeoutMs; waited += 50) {
    if (StateOf(service) == state) return true;
    Sleep(50);
  }
  return false;
}

void RemoveService(const std::string& name) {
  ScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return;
  ScHandle service(OpenServiceA(manager.get(), name.c_str(), SERVICE_ALL_ACCESS));
  if (!service) return;
  if (StateOf(service.get()) != SERVICE_STOPPED) {
    SERVICE_STATUS status{};
    ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
    WaitForState(service.get(), SERVICE_STOPPED, 5000);
  }
  DeleteService(service.get());
}

}  // namespace

struct World::Impl {
  std::vector<std::string> folders;
  std::vector<std::pair<HKEY, std::string>> keys;
  std::vector<std::pair<HKEY, std::string>> readOnlyKeys;
  std::vector<PROCESS_INFORMATION> processes;
  std::vector<std::string> services;
};

World::World() : impl_(new Impl) {}

World::~World() {
  for (const std::string& name : impl_->services) RemoveService(name);
  for (PROCESS_INFORMATION& pi : impl_->processes) {
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  for (auto& key : impl_->readOnlyKeys) SetKeyAccessList(key.first, key.second, L"D:(A;;KA;;;WD)");
  for (auto& key : impl_->keys) DeleteKeyTree(key.first, key.second);
  for (const std::string& folder : impl_->folders) DeleteFolderTree(folder);
  delete impl_;
}

bool World::Simulated() { return false; }

std::string World::UniqueName(const std::string& stem) {
  // Counted across Worlds: a folder an earlier test could not remove whole (Wine leaves a
  // unix symbolic link whose target held files) must not be a later test's fresh folder, and
  // a service deleted by the previous test may still be marked for deletion, its name not
  // yet free.
  static int made = 0;
  return stem + std::to_string(GetCurrentProcessId()) + "x" + std::to_string(++made);
}

std::string World::Folder() {
  const std::string path = TempFolder() + "\\" + UniqueName("QmContract");
  CreateDirectoryA(path.c_str(), nullptr);
  impl_->folders.push_back(path);
  return path;
}

std::string World::KeyPath() {
  const std::string path = "Software\\QmContract\\" + UniqueName("K");
  impl_->keys.emplace_back(HKEY_CURRENT_USER, path);
  return path;
}

void World::RemoveAtEnd(HKEY root, const std::string& path) { impl_->keys.emplace_back(root, path); }

bool World::GrantReadingOnly(HKEY root, const std::string& path) {
  if (!SetKeyAccessList(root, path, L"D:P(A;;KR;;;WD)")) return false;
  impl_->readOnlyKeys.emplace_back(root, path);
  return true;
}

bool World::MakeFolderLink(const std::string& link, const std::string& target) {
  return winetest::MakeUnixSymlink(link, target);
}

DWORD World::StartProcess(const std::string& exeName) {
  const std::string exe = Folder() + "\\" + exeName;
  if (!CopyFileA(OwnPath().c_str(), exe.c_str(), FALSE)) return 0;
  std::string commandLine = "\"" + exe + "\" --idle";
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &si, &pi))
    return 0;
  impl_->processes.push_back(pi);
  // The listings show the process once its loader has mapped the executable.
  for (int waited = 0; waited < 5000; waited += 50) {
    char name[MAX_PATH];
    if (GetModuleBaseNameA(pi.hProcess, nullptr, name, sizeof(name)) > 0) break;
    Sleep(50);
  }
  return pi.dwProcessId;
}

void World::InstallRunningService(const std::string& name, const std::string& displayName) {
  ScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return;
  const std::string command = "\"" + OwnPath() + "\" --service";
  ScHandle service(CreateServiceA(manager.get(), name.c_str(), displayName.c_str(), SERVICE_ALL_ACCESS,
                                  SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                  SERVICE_ERROR_IGNORE, command.c_str(), nullptr, nullptr,
                                  nullptr, nullptr, nullptr));
  if (!service) return;
  impl_->services.push_back(name);
  if (StartServiceA(service.get(), 0, nullptr)) WaitForState(service.get(), SERVICE_RUNNING, 10000);
}

bool World::Wow64() const {
  // IsWow64Process exists from XP SP2 and 2003 SP1; where it is missing there is no WoW64.
  using IsWow64Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
  const auto isWow64 = qm::BindExport<IsWow64Fn>(GetModuleHandleA("kernel32.dll"), "IsWow64Process");
  BOOL wow64 = FALSE;
  return isWow64 != nullptr && isWow64(GetCurrentProcess(), &wow64) && wow64;
}

bool World::Simulate64BitWindows() { return false; }

}  // namespace contract
