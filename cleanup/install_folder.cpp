#include "cleanup/install_folder.h"

#include <algorithm>
#include <string>
#include <utility>

#include "cleanup/plan.h"
#include "cleanup/registry.h"
#include "cleanup/resolved_path.h"
#include "platform/bind.h"
#include "platform/paths.h"
#include "platform/raii.h"
#include "platform/system_library.h"
#include "platform/win32/win32.h"

namespace cleanup {
namespace {

bool IsLetter(WCHAR c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The components after "X:\", split at backslashes; one trailing backslash is allowed.
std::vector<qm::WString> Components(const qm::WString& folder) {
  qm::WString rest = folder.substr(3);
  if (!rest.empty() && rest.back() == qm::kBackslash) rest.pop_back();
  std::vector<qm::WString> parts;
  qm::WString::size_type start = 0;
  for (;;) {
    const auto end = rest.find(qm::kBackslash, start);
    parts.push_back(rest.substr(start, end - start));
    if (end == qm::WString::npos) return parts;
    start = end + 1;
  }
}

bool IsPlainName(const qm::WString& name) {
  static const qm::WString special = qm::Widen("*?/:<>\"|~");
  static const qm::WString dot = qm::Widen("."), dots = qm::Widen("..");
  if (name.empty() || name == dot || name == dots) return false;
  if (name.back() == WCHAR('.') || name.back() == WCHAR(' ')) return false;  // Windows strips them
  for (const WCHAR c : name)
    if (c < 0x20 || special.find(c) != qm::WString::npos) return false;
  return true;
}

bool IsWellKnownRootFolder(const qm::WString& name) {
  // A Spanish-language system names Program Files "Archivos de programa".
  static const char* const names[] = {"PROGRAM FILES",
                                      "PROGRAM FILES (X86)",
                                      "ARCHIVOS DE PROGRAMA",
                                      "ARCHIVOS DE PROGRAMA (X86)",
                                      "DOCUMENTS AND SETTINGS",
                                      "USERS",
                                      "PROGRAMDATA",
                                      "WINDOWS",
                                      "WINNT"};
  const qm::WString upper = FoldCase(name);
  return std::any_of(std::begin(names), std::end(names),
                     [&](const char* n) { return upper == qm::Widen(n); });
}

// The form compared: letters folded, no trailing backslash.
qm::WString Comparable(const qm::WString& path) {
  return FoldCase(qm::WithoutFinalBackslashes(path));
}

// `inner` equals `outer` or lies below it; both in Comparable form.
bool IsSameOrBelow(const qm::WString& inner, const qm::WString& outer) {
  if (outer.empty()) return false;
  if (inner.size() < outer.size() || inner.compare(0, outer.size(), outer) != 0) return false;
  return inner.size() == outer.size() || inner[outer.size()] == qm::kBackslash;
}

bool TouchesWindowsDir(const qm::WString& candidate, const qm::WString& windowsDir) {
  const qm::WString windows = Comparable(windowsDir);
  return IsSameOrBelow(candidate, windows) || IsSameOrBelow(windows, candidate);
}

bool TouchesShellFolder(const qm::WString& candidate, const ShellFolders& shell) {
  for (const qm::WString& folder : shell.folders)
    if (IsSameOrBelow(Comparable(folder), candidate)) return true;
  for (const qm::WString& root : shell.profileRoots) {
    const qm::WString profiles = Comparable(root);
    if (IsSameOrBelow(profiles, candidate) || IsSameOrBelow(candidate, profiles)) return true;
  }
  return false;
}

// The shell folders asked for, for the machine and for the running user.
constexpr int kShellFolderIds[] = {
    0x0026,  // CSIDL_PROGRAM_FILES
    0x002a,  // CSIDL_PROGRAM_FILESX86
    0x002b,  // CSIDL_PROGRAM_FILES_COMMON
    0x002c,  // CSIDL_PROGRAM_FILES_COMMONX86
    0x0023,  // CSIDL_COMMON_APPDATA
    0x001a,  // CSIDL_APPDATA
    0x001c,  // CSIDL_LOCAL_APPDATA
    0x002e,  // CSIDL_COMMON_DOCUMENTS
    0x0005,  // CSIDL_PERSONAL
    0x0019,  // CSIDL_COMMON_DESKTOPDIRECTORY
    0x0010,  // CSIDL_DESKTOPDIRECTORY
    0x0016,  // CSIDL_COMMON_STARTMENU
    0x000b,  // CSIDL_STARTMENU
    0x0017,  // CSIDL_COMMON_PROGRAMS
    0x0002,  // CSIDL_PROGRAMS
    0x0028,  // CSIDL_PROFILE
    0x0024,  // CSIDL_WINDOWS
    0x0025,  // CSIDL_SYSTEM
};
constexpr DWORD kCurrentPath = 0;  // SHGFP_TYPE_CURRENT

using SHGetFolderPathWFn = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);

// Every shell folder one system library's SHGetFolderPathW reports; false when the library
// or the export is missing.
bool AddShellFolders(const char* libraryName, std::vector<qm::WString>& folders) {
  const qm::unique_library library = qm::LoadSystemLibrary(libraryName);
  if (!library) return false;
  const auto getFolderPath = qm::BindExport<SHGetFolderPathWFn>(library.get(), "SHGetFolderPathW");
  if (!getFolderPath) return false;
  for (const int id : kShellFolderIds) {
    qm::WString path(MAX_PATH, WCHAR{});  // the function's documented buffer size
    if (getFolderPath(nullptr, id, nullptr, kCurrentPath, &path[0]) != 0) continue;
    path.resize(path.find(WCHAR{}));
    if (!path.empty()) folders.push_back(path);
  }
  return true;
}

// `text` with its %VARIABLES% expanded; the empty text when the expansion fails.
qm::WString ExpandEnvironment(const qm::WString& text) {
  qm::WString expanded(MAX_PATH, WCHAR{});
  for (;;) {
    const DWORD needed = ::ExpandEnvironmentStringsW(text.c_str(), &expanded[0],
                                                     static_cast<DWORD>(expanded.size()));
    if (needed == 0) return {};
    if (needed <= expanded.size()) {
      expanded.resize(needed - 1);  // needed counts the terminating zero
      return expanded;
    }
    expanded.assign(needed, WCHAR{});
  }
}

// Adds `text`, expanded, when it then names a folder by its drive ("X:\...").
void AddExpanded(std::vector<qm::WString>& folders, const qm::WString& text) {
  const qm::WString expanded = text.empty() ? qm::WString() : ExpandEnvironment(text);
  if (expanded.size() >= 3 && IsLetter(expanded[0]) && expanded[1] == WCHAR(':') &&
      expanded[2] == qm::kBackslash)
    folders.push_back(expanded);
}

const char* const kProfileList = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
// Registry key names hold at most 255 characters, so this buffer holds any of them.
constexpr DWORD kKeyNameChars = 256;

// The profiles folder and the profile of every account that has one, whoever runs the
// program: as SYSTEM, the shell reports SYSTEM's own folders only.
std::vector<qm::WString> ProfileFolders() {
  std::vector<qm::WString> folders;
  const qm::WString list = qm::Widen(kProfileList);
  AddExpanded(folders,
              ReadRegistryString(HKEY_LOCAL_MACHINE, list, qm::Widen("ProfilesDirectory")));
  qm::unique_hkey key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, list.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
    return folders;
  for (DWORD index = 0;; ++index) {
    qm::WString account(kKeyNameChars, WCHAR{});
    DWORD length = kKeyNameChars;
    if (::RegEnumKeyExW(key.get(), index, &account[0], &length, nullptr, nullptr, nullptr,
                        nullptr) != ERROR_SUCCESS)
      return folders;
    account.resize(length);
    AddExpanded(folders, ReadRegistryString(key.get(), account, qm::Widen("ProfileImagePath")));
  }
}

// Each folder, and where it leads when a link on its way takes it elsewhere (a profiles
// folder moved to another drive and left behind as a junction, for one).
std::vector<qm::WString> WithResolvedForms(std::vector<qm::WString> folders) {
  const size_t reported = folders.size();
  for (size_t i = 0; i < reported; ++i) {
    qm::WString resolved;
    if (ResolveFolderPath(folders[i], resolved) == Resolution::Resolved &&
        Comparable(resolved) != Comparable(folders[i]))
      folders.push_back(resolved);
  }
  return folders;
}

// The checks on the text alone, for the path as written and as resolved.
bool IsSafeAsWritten(const qm::WString& folder, const qm::WString& windowsDir,
                     const ShellFolders& shell) {
  if (folder.size() < 4 || !IsLetter(folder[0]) || folder[1] != WCHAR(':') ||
      folder[2] != qm::kBackslash)
    return false;
  const std::vector<qm::WString> parts = Components(folder);
  if (!std::all_of(parts.begin(), parts.end(), IsPlainName)) return false;
  if (parts.size() == 1 && IsWellKnownRootFolder(parts[0])) return false;
  const qm::WString candidate = Comparable(folder);
  return !TouchesWindowsDir(candidate, windowsDir) && !TouchesShellFolder(candidate, shell);
}

}  // namespace

qm::WString FoldCase(qm::WString text) {
  if (!text.empty()) ::CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
  return text;
}

ShellFolders MachineShellFolders() {
  ShellFolders shell;
  if (!AddShellFolders("shell32.dll", shell.folders)) AddShellFolders("shfolder.dll", shell.folders);
  shell.folders = WithResolvedForms(std::move(shell.folders));
  shell.profileRoots = WithResolvedForms(ProfileFolders());
  return shell;
}

bool IsSafeInstallDir(const qm::WString& folder, const qm::WString& windowsDir,
                      const ShellFolders& shell) {
  if (!IsSafeAsWritten(folder, windowsDir, shell)) return false;
  qm::WString resolved;
  switch (ResolveFolderPath(folder, resolved)) {
    case Resolution::Resolved:
      return IsSafeAsWritten(resolved, windowsDir, shell);
    case Resolution::Unreadable:
    case Resolution::Unfollowable:
    case Resolution::TooManyLinks:
      break;
  }
  return false;
}

qm::WString CheckedInstallDir(const qm::WString& read, const qm::WString& windowsDir,
                              const ShellFolders& shell) {
  if (!IsSafeInstallDir(read, windowsDir, shell)) return qm::Widen(DefaultInstallDir);
  return qm::WithFinalBackslash(read);
}

}  // namespace cleanup
