// The shell's folders (SHGetFolderPathW), the profiles folder of the registry and the
// environment strings of the simulated machine. A fresh machine is an English Windows XP with
// one user, "Administrator".
#include <cstring>

#include "platform/sim/state.h"

namespace sim {
namespace {

const char16_t kAllUsers[] = u"C:\\Documents and Settings\\All Users";
const char16_t kUser[] = u"C:\\Documents and Settings\\Administrator";
const char16_t kProfileList[] = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

// Every CSIDL the shell answers on this system; the two X86 folders exist only on 64-bit
// Windows, so a 32-bit XP knows them and reports them missing.
constexpr int kKnownFolders[] = {
    CSIDL_PROGRAMS,         CSIDL_PERSONAL,           CSIDL_STARTMENU,
    CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_STARTMENU,   CSIDL_COMMON_PROGRAMS,
    CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_APPDATA,     CSIDL_LOCAL_APPDATA,
    CSIDL_COMMON_APPDATA,   CSIDL_WINDOWS,            CSIDL_SYSTEM,
    CSIDL_PROGRAM_FILES,    CSIDL_PROFILE,            CSIDL_PROGRAM_FILESX86,
    CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROGRAM_FILES_COMMONX86, CSIDL_COMMON_DOCUMENTS};

bool IsKnownFolder(int csidl) {
  for (int known : kKnownFolders)
    if (known == csidl) return true;
  return false;
}

std::u16string EnvironmentValue(const Machine& m, const std::u16string& name) {
  const Machine::State& s = m.state();
  auto set = s.environment.find(UpperW(name));
  if (set != s.environment.end()) return set->second;
  const std::u16string upper = UpperW(name);
  const std::u16string windows = FromAnsi(m.windowsDirectory);
  if (upper == u"SYSTEMDRIVE") return windows.substr(0, 2);
  if (upper == u"SYSTEMROOT" || upper == u"WINDIR") return windows;
  if (upper == u"ALLUSERSPROFILE") return kAllUsers;
  if (upper == u"USERPROFILE") return m.ShellFolder(CSIDL_PROFILE);
  if (upper == u"PROGRAMFILES") return m.ShellFolder(CSIDL_PROGRAM_FILES);
  if (upper == u"COMMONPROGRAMFILES") return m.ShellFolder(CSIDL_PROGRAM_FILES_COMMON);
  if (upper == u"APPDATA") return m.ShellFolder(CSIDL_APPDATA);
  return {};
}

// %NAME% replaced by the variable's value; an unknown variable, or a lone '%', stays as
// written, as ExpandEnvironmentStrings leaves it.
std::u16string Expand(const Machine& m, const std::u16string& text) {
  std::u16string out;
  size_t i = 0;
  while (i < text.size()) {
    const size_t open = text.find(u'%', i);
    const size_t close = open == std::u16string::npos ? open : text.find(u'%', open + 1);
    if (close == std::u16string::npos) {
      out += text.substr(i);
      break;
    }
    out += text.substr(i, open - i);
    const std::u16string name = text.substr(open + 1, close - open - 1);
    const std::u16string value = name.empty() ? std::u16string() : EnvironmentValue(m, name);
    if (value.empty()) {
      out += text.substr(open, close - open);  // keep "%NAME", the closing '%' may open another
      i = close;
    } else {
      out += value;
      i = close + 1;
    }
  }
  return out;
}

}  // namespace

void InstallShellFolders(Machine& m) {
  const std::u16string all = kAllUsers, user = kUser;
  m.SetShellFolder(CSIDL_PROGRAM_FILES, u"C:\\Program Files");
  m.SetShellFolder(CSIDL_PROGRAM_FILES_COMMON, u"C:\\Program Files\\Common Files");
  m.SetShellFolder(CSIDL_COMMON_APPDATA, all + u"\\Application Data");
  m.SetShellFolder(CSIDL_COMMON_DOCUMENTS, all + u"\\Documents");
  m.SetShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY, all + u"\\Desktop");
  m.SetShellFolder(CSIDL_COMMON_STARTMENU, all + u"\\Start Menu");
  m.SetShellFolder(CSIDL_COMMON_PROGRAMS, all + u"\\Start Menu\\Programs");
  m.SetShellFolder(CSIDL_PROFILE, user);
  m.SetShellFolder(CSIDL_APPDATA, user + u"\\Application Data");
  m.SetShellFolder(CSIDL_LOCAL_APPDATA, user + u"\\Local Settings\\Application Data");
  m.SetShellFolder(CSIDL_PERSONAL, user + u"\\My Documents");
  m.SetShellFolder(CSIDL_DESKTOPDIRECTORY, user + u"\\Desktop");
  m.SetShellFolder(CSIDL_STARTMENU, user + u"\\Start Menu");
  m.SetShellFolder(CSIDL_PROGRAMS, user + u"\\Start Menu\\Programs");
  m.SetProfilesDirectory(u"%SystemDrive%\\Documents and Settings");
  m.AddProfile(u"S-1-5-18", u"%SystemRoot%\\system32\\config\\systemprofile");
  m.AddProfile(u"S-1-5-19", u"%SystemDrive%\\Documents and Settings\\LocalService");
  m.AddProfile(u"S-1-5-20", u"%SystemDrive%\\Documents and Settings\\NetworkService");
  m.AddProfile(u"S-1-5-21-1004336348-1177238915-682003330-500",
               u"%SystemDrive%\\Documents and Settings\\Administrator");
}

// ---- Machine: shell folders and environment

void Machine::SetShellFolder(int csidl, const std::u16string& path) {
  state_->shellFolders[csidl] = path;
}

std::u16string Machine::ShellFolder(int csidl) const {
  auto it = state_->shellFolders.find(csidl);
  if (it != state_->shellFolders.end()) return it->second;
  const std::u16string windows = FromAnsi(windowsDirectory);
  if (csidl == CSIDL_WINDOWS) return windows;
  if (csidl == CSIDL_SYSTEM) return windows + u"\\system32";
  return {};
}

void Machine::SetProfilesDirectory(const std::u16string& value) {
  if (value.empty()) {
    if (auto key = RegistryKeyAtW(*state_, HKEY_LOCAL_MACHINE, kProfileList)) {
      auto& values = key->values;
      for (auto it = values.begin(); it != values.end(); ++it)
        if (EqualNoCaseW(it->name, u"ProfilesDirectory")) {
          values.erase(it);
          break;
        }
    }
    return;
  }
  SetStringW(HKEY_LOCAL_MACHINE, kProfileList, u"ProfilesDirectory", value, REG_EXPAND_SZ);
}

void Machine::AddProfile(const std::u16string& sid, const std::u16string& imagePath) {
  SetStringW(HKEY_LOCAL_MACHINE, std::u16string(kProfileList) + u"\\" + sid, u"ProfileImagePath",
             imagePath, REG_EXPAND_SZ);
}

void Machine::SetEnvironment(const std::u16string& name, const std::u16string& value) {
  if (value.empty())
    state_->environment.erase(UpperW(name));
  else
    state_->environment[UpperW(name)] = value;
}

}  // namespace sim

// ---- Win32: shell folders and environment strings

// Any token is answered alike: the machine's folders are those of its one user. A folder the
// system does not have answers E_FAIL, a CSIDL it does not know E_INVALIDARG; both leave an
// empty path.
HRESULT WINAPI SHGetFolderPathW(HWND, int csidl, HANDLE, DWORD dwFlags, LPWSTR pszPath) {
  if (pszPath == nullptr || dwFlags > SHGFP_TYPE_DEFAULT) return E_INVALIDARG;
  pszPath[0] = 0;
  const int folder = csidl & 0xFF;  // without the CSIDL_FLAG_ bits
  if (!sim::IsKnownFolder(folder)) return E_INVALIDARG;
  const std::u16string path = sim::Machine::current().ShellFolder(folder);
  if (path.empty() || path.size() >= MAX_PATH) return E_FAIL;
  path.copy(pszPath, path.size());
  pszPath[path.size()] = 0;
  return S_OK;
}

DWORD WINAPI ExpandEnvironmentStringsW(LPCWSTR lpSrc, LPWSTR lpDst, DWORD nSize) {
  if (lpSrc == nullptr) return sim::Fail(ERROR_INVALID_PARAMETER, DWORD{0});
  const std::u16string expanded = sim::Expand(sim::Machine::current(), lpSrc);
  const DWORD needed = static_cast<DWORD>(expanded.size() + 1);
  if (lpDst == nullptr || nSize < needed) return needed;
  expanded.copy(lpDst, expanded.size());
  lpDst[expanded.size()] = 0;
  return needed;
}
