// Interim: the wide entry points and set-up functions over the narrow store, for names the
// code page holds. Replaced by the store of wide names.
#include <cstring>

#include "platform/sim/state.h"

namespace sim {
namespace {
std::string N(const std::u16string& w) { return ToAnsi(w, false); }
std::string N(LPCWSTR w) { return w ? ToAnsi(std::u16string(w), false) : std::string(); }
std::u16string W(const std::string& a) { return FromAnsi(a); }
}  // namespace

void Machine::CreateKeyW(HKEY root, const std::u16string& path) { CreateKey(root, N(path)); }
void Machine::SetValueW(HKEY root, const std::u16string& path, const std::u16string& name,
                        DWORD type, const std::string& bytes) {
  SetValue(root, N(path), N(name), type, bytes);
}
void Machine::SetStringW(HKEY root, const std::u16string& path, const std::u16string& name,
                         const std::u16string& text, DWORD type) {
  std::string t = N(text);
  SetValue(root, N(path), N(name), type, std::string(t.c_str(), t.size() + 1));
}
bool Machine::KeyExistsW(HKEY root, const std::u16string& path) const {
  return KeyExists(root, N(path));
}
bool Machine::ValueExistsW(HKEY root, const std::u16string& path,
                           const std::u16string& name) const {
  return ValueExists(root, N(path), N(name));
}
std::string Machine::ValueBytesW(HKEY root, const std::u16string& path,
                                 const std::u16string& name) const {
  return ValueBytes(root, N(path), N(name));
}
std::vector<std::u16string> Machine::SubKeyNamesW(HKEY root, const std::u16string& path) const {
  std::vector<std::u16string> out;
  for (auto& n : SubKeyNames(root, N(path))) out.push_back(W(n));
  return out;
}
void Machine::MakeDirectoryW(const std::u16string& path) { MakeDirectory(N(path)); }
void Machine::MakeFileW(const std::u16string& path, const std::string& content, DWORD a) {
  MakeFile(N(path), content, a);
}
void Machine::MakeLinkW(const std::u16string& path, const std::u16string& target, bool d) {
  MakeLink(N(path), N(target), d);
}
bool Machine::PathExistsW(const std::u16string& path) const { return PathExists(N(path)); }
std::vector<std::u16string> Machine::ListNamesW(const std::u16string& directory) const {
  std::vector<std::u16string> out;
  for (auto& n : ListNames(N(directory))) out.push_back(W(n));
  return out;
}
void Machine::OnListed(const std::u16string&, std::function<void()>) {}
std::vector<std::u16string> Machine::PerformPendingFileOperations() { return {}; }
void Machine::SetShellFolder(int, const std::u16string&) {}
std::u16string Machine::ShellFolder(int) const { return {}; }
void Machine::SetProfilesDirectory(const std::u16string&) {}
void Machine::SetEnvironment(const std::u16string&, const std::u16string&) {}

}  // namespace sim

using sim::N;

UINT WINAPI GetWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize) {
  const std::u16string dir = sim::FromAnsi(sim::Machine::current().windowsDirectory);
  if (lpBuffer == nullptr || uSize <= dir.size()) return static_cast<UINT>(dir.size() + 1);
  dir.copy(lpBuffer, dir.size());
  lpBuffer[dir.size()] = 0;
  return static_cast<UINT>(dir.size());
}
DWORD WINAPI ExpandEnvironmentStringsW(LPCWSTR, LPWSTR, DWORD) {
  return sim::Fail(ERROR_CALL_NOT_IMPLEMENTED, DWORD{0});
}
DWORD WINAPI GetFileAttributesW(LPCWSTR f) { return GetFileAttributesA(N(f).c_str()); }
BOOL WINAPI SetFileAttributesW(LPCWSTR f, DWORD a) { return SetFileAttributesA(N(f).c_str(), a); }
namespace {
void ToWide(const WIN32_FIND_DATAA& a, WIN32_FIND_DATAW* w) {
  std::memset(w, 0, sizeof(*w));
  w->dwFileAttributes = a.dwFileAttributes;
  w->nFileSizeLow = a.nFileSizeLow;
  const std::u16string n = sim::FromAnsi(a.cFileName);
  n.copy(w->cFileName, n.size());
}
}  // namespace
HANDLE WINAPI FindFirstFileW(LPCWSTR f, LPWIN32_FIND_DATAW d) {
  WIN32_FIND_DATAA a;
  HANDLE h = FindFirstFileA(N(f).c_str(), &a);
  if (h != INVALID_HANDLE_VALUE && d) ToWide(a, d);
  return h;
}
BOOL WINAPI FindNextFileW(HANDLE h, LPWIN32_FIND_DATAW d) {
  WIN32_FIND_DATAA a;
  BOOL ok = FindNextFileA(h, &a);
  if (ok && d) ToWide(a, d);
  return ok;
}
BOOL WINAPI DeleteFileW(LPCWSTR f) { return DeleteFileA(N(f).c_str()); }
BOOL WINAPI RemoveDirectoryW(LPCWSTR f) { return RemoveDirectoryA(N(f).c_str()); }
BOOL WINAPI CreateDirectoryW(LPCWSTR f, LPSECURITY_ATTRIBUTES s) {
  return CreateDirectoryA(N(f).c_str(), s);
}
HANDLE WINAPI CreateFileW(LPCWSTR f, DWORD a, DWORD s, LPSECURITY_ATTRIBUTES sa, DWORD c, DWORD fl,
                          HANDLE t) {
  return CreateFileA(N(f).c_str(), a, s, sa, c, fl, t);
}
BOOL WINAPI GetFileInformationByHandle(HANDLE, LPBY_HANDLE_FILE_INFORMATION) {
  return sim::Fail(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
}
BOOL WINAPI MoveFileExW(LPCWSTR, LPCWSTR, DWORD) {
  return sim::Fail(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
}
HRESULT WINAPI SHGetFolderPathW(HWND, int, HANDLE, DWORD, LPWSTR p) {
  if (p) p[0] = 0;
  return E_FAIL;
}
LSTATUS WINAPI RegOpenKeyExW(HKEY k, LPCWSTR s, DWORD o, REGSAM m, PHKEY r) {
  return RegOpenKeyExA(k, s ? N(s).c_str() : nullptr, o, m, r);
}
LSTATUS WINAPI RegCreateKeyExW(HKEY k, LPCWSTR s, DWORD, LPWSTR, DWORD o, REGSAM m,
                               const SECURITY_ATTRIBUTES* sa, PHKEY r, LPDWORD d) {
  return RegCreateKeyExA(k, s ? N(s).c_str() : nullptr, 0, nullptr, o, m, sa, r, d);
}
LSTATUS WINAPI RegEnumKeyExW(HKEY k, DWORD i, LPWSTR n, LPDWORD c, LPDWORD, LPWSTR, LPDWORD,
                             PFILETIME t) {
  if (!c) return ERROR_INVALID_PARAMETER;
  std::string a(*c + 1, '\0');
  DWORD size = *c;
  LONG rc = RegEnumKeyExA(k, i, &a[0], &size, nullptr, nullptr, nullptr, t);
  if (rc != ERROR_SUCCESS) return rc;
  const std::u16string w = sim::FromAnsi(a.substr(0, size));
  w.copy(n, w.size());
  n[w.size()] = 0;
  *c = static_cast<DWORD>(w.size());
  return ERROR_SUCCESS;
}
LSTATUS WINAPI RegEnumValueW(HKEY, DWORD, LPWSTR, LPDWORD, LPDWORD, LPDWORD, LPBYTE, LPDWORD) {
  return ERROR_CALL_NOT_IMPLEMENTED;
}
LSTATUS WINAPI RegDeleteKeyW(HKEY k, LPCWSTR s) { return RegDeleteKeyA(k, N(s).c_str()); }
LSTATUS WINAPI RegDeleteValueW(HKEY k, LPCWSTR s) {
  return RegDeleteValueA(k, s ? N(s).c_str() : nullptr);
}
LSTATUS WINAPI RegQueryValueExW(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD) {
  return ERROR_CALL_NOT_IMPLEMENTED;
}
LSTATUS WINAPI RegSetValueExW(HKEY, LPCWSTR, DWORD, DWORD, const BYTE*, DWORD) {
  return ERROR_CALL_NOT_IMPLEMENTED;
}
