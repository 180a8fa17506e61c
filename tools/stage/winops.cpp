#include "tools/stage/winops.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "platform/fs_redirection.h"

namespace qmstage {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool LessNoCase(const std::string& a, const std::string& b) { return Lower(a) < Lower(b); }

std::string HexBytes(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

qm::unique_hkey OpenKey(HKEY root, const std::string& path, REGSAM access) {
  qm::unique_hkey key;
  if (::RegOpenKeyExA(root, path.c_str(), 0, access, key.put()) != ERROR_SUCCESS) key.reset();
  return key;
}

std::vector<std::string> SubKeyNames(HKEY key) {
  std::vector<std::string> names;
  for (DWORD i = 0;; ++i) {
    std::string name(256, '\0');
    DWORD len = static_cast<DWORD>(name.size());
    if (::RegEnumKeyExA(key, i, &name[0], &len, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    name.resize(len);
    names.push_back(name);
  }
  std::sort(names.begin(), names.end(), LessNoCase);
  return names;
}

std::vector<RegValue> Values(HKEY key) {
  std::vector<RegValue> values;
  DWORD max_name = 0, max_data = 0;
  if (::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         &max_name, &max_data, nullptr, nullptr) != ERROR_SUCCESS)
    return values;
  for (DWORD i = 0;; ++i) {
    std::string name(max_name + 1, '\0');
    std::string data(max_data + 1, '\0');
    DWORD name_len = static_cast<DWORD>(name.size());
    DWORD data_len = static_cast<DWORD>(data.size());
    DWORD type = 0;
    if (::RegEnumValueA(key, i, &name[0], &name_len, nullptr, &type,
                        reinterpret_cast<BYTE*>(&data[0]), &data_len) != ERROR_SUCCESS)
      break;
    name.resize(name_len);
    data.resize(data_len);
    values.push_back({name, type, data});
  }
  std::sort(values.begin(), values.end(),
            [](const RegValue& a, const RegValue& b) { return LessNoCase(a.name, b.name); });
  return values;
}

std::string ValueLine(const RegValue& v) {
  return "V " + v.name + " " + std::to_string(v.type) + " " + HexBytes(v.data) + "\n";
}

void DumpKey(HKEY key, const std::string& rel, bool recurse, std::string& out) {
  out += "K " + rel + "\n";
  for (const RegValue& v : Values(key)) out += ValueLine(v);
  if (!recurse) return;
  for (const std::string& name : SubKeyNames(key)) {
    qm::unique_hkey sub = OpenKey(key, name, KEY_READ);
    if (sub) DumpKey(sub.get(), rel + "\\" + name, true, out);
  }
}

std::string ContentHash(const std::string& path) {
  qm::unique_file f(::CreateFileA(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f) return "unreadable";
  std::uint64_t h = Fnv1a("");
  std::string buf(65536, '\0');
  DWORD got = 0;
  std::uint64_t size = 0;
  while (::ReadFile(f.get(), &buf[0], static_cast<DWORD>(buf.size()), &got, nullptr) && got) {
    h = Fnv1a(buf.substr(0, got), h);
    size += got;
  }
  return std::to_string(size) + " " + Hex64(h);
}

void DumpEntry(const std::string& path, const std::string& rel, std::string& out) {
  const DWORD kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                     FILE_ATTRIBUTE_DIRECTORY;
  DWORD attrs = ::GetFileAttributesA(path.c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES) return;
  char line_attrs[16];
  std::snprintf(line_attrs, sizeof line_attrs, "%04lx", static_cast<unsigned long>(attrs & kept));
  if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
    out += "F " + rel + " " + line_attrs + " " + ContentHash(path) + "\n";
    return;
  }
  out += "D " + rel + " " + line_attrs + "\n";
  for (const std::string& name : ListDir(path)) DumpEntry(path + "\\" + name, rel + "\\" + name, out);
}

std::string ParentDir(const std::string& path) {
  std::string::size_type slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// A driver's file lives in the real system folder whatever the bitness of its installer, so
// a path there is written and read without the redirection the 32-bit build of this tool
// meets on 64-bit Windows.
template <typename Operation>
auto InRealSystemFolder(const std::string& path, Operation operation) -> decltype(operation()) {
  const std::string system = Lower(WindowsDirectory() + "\\system32\\");
  if (Lower(path).compare(0, system.size(), system) != 0) return operation();
  return qm::WithoutFsRedirection(operation);
}

}  // namespace

RegValue SzValue(const std::string& name, const std::string& text) {
  return {name, REG_SZ, text + '\0'};
}

RegValue DwordValue(const std::string& name, DWORD v) {
  return {name, REG_DWORD, std::string(reinterpret_cast<const char*>(&v), sizeof v)};
}

RegValue BinaryValue(const std::string& name, const std::string& bytes) {
  return {name, REG_BINARY, bytes};
}

void WriteKey(HKEY root, const std::string& path, const std::vector<RegValue>& values) {
  qm::unique_hkey key;
  LONG rc = ::RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
  if (rc != ERROR_SUCCESS) throw StageError("cannot create key " + path, rc);
  for (const RegValue& v : values) {
    rc = ::RegSetValueExA(key.get(), v.name.c_str(), 0, v.type,
                          reinterpret_cast<const BYTE*>(v.data.data()),
                          static_cast<DWORD>(v.data.size()));
    if (rc != ERROR_SUCCESS) throw StageError("cannot set value " + path + " " + v.name, rc);
  }
}

bool KeyExists(HKEY root, const std::string& path) {
  return static_cast<bool>(OpenKey(root, path, KEY_READ));
}

bool ValueExists(HKEY root, const std::string& path, const std::string& name) {
  qm::unique_hkey key = OpenKey(root, path, KEY_READ);
  return key && ::RegQueryValueExA(key.get(), name.c_str(), nullptr, nullptr, nullptr,
                                   nullptr) == ERROR_SUCCESS;
}

std::string DumpKeyTree(HKEY root, const std::string& path, bool recurse) {
  qm::unique_hkey key = OpenKey(root, path, KEY_READ);
  std::string out;
  if (key) DumpKey(key.get(), "", recurse, out);
  return out;
}

std::string DumpValue(HKEY root, const std::string& path, const std::string& name) {
  qm::unique_hkey key = OpenKey(root, path, KEY_READ);
  if (!key) return "";
  for (const RegValue& v : Values(key.get()))
    if (v.name == name) return ValueLine(v);
  return "";
}

void MakeDirs(const std::string& dir) {
  std::string path = dir;
  while (!path.empty() && path.back() == '\\') path.pop_back();
  if (path.empty() || IsDirectory(path)) return;
  MakeDirs(ParentDir(path));
  if (!::CreateDirectoryA(path.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
    throw StageError("cannot create folder " + path, ::GetLastError());
}

namespace {

void WriteFileInView(const std::string& path, const std::string& content, DWORD attributes) {
  MakeDirs(ParentDir(path));
  {
    qm::unique_file f(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f) throw StageError("cannot create file " + path, ::GetLastError());
    DWORD written = 0;
    if (!::WriteFile(f.get(), content.data(), static_cast<DWORD>(content.size()), &written,
                     nullptr) ||
        written != content.size())
      throw StageError("cannot write file " + path, ::GetLastError());
  }
  if (!::SetFileAttributesA(path.c_str(), attributes))
    throw StageError("cannot set attributes of " + path, ::GetLastError());
}

}  // namespace

void WriteFile(const std::string& path, const std::string& content, DWORD attributes) {
  InRealSystemFolder(path, [&] { WriteFileInView(path, content, attributes); });
}

void CopyFileTo(const std::string& from, const std::string& to) {
  MakeDirs(ParentDir(to));
  if (!::CopyFileA(from.c_str(), to.c_str(), FALSE))
    throw StageError("cannot copy " + from + " to " + to, ::GetLastError());
}

bool PathExists(const std::string& path) {
  return InRealSystemFolder(
      path, [&] { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; });
}

bool IsDirectory(const std::string& path) {
  DWORD attrs = ::GetFileAttributesA(path.c_str());
  return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::string> ListDir(const std::string& dir) {
  std::vector<std::string> names;
  std::string base = dir;
  if (!base.empty() && base.back() != '\\') base += '\\';
  WIN32_FIND_DATAA data;
  qm::unique_find find(::FindFirstFileA((base + "*").c_str(), &data));
  if (!find) return names;
  do {
    std::string name = data.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (::FindNextFileA(find.get(), &data));
  std::sort(names.begin(), names.end(), LessNoCase);
  return names;
}

std::string DumpFileTree(const std::string& path) {
  std::string out;
  std::string p = path;
  while (p.size() > 3 && p.back() == '\\') p.pop_back();
  InRealSystemFolder(p, [&] { DumpEntry(p, ".", out); });
  return out;
}

int CountProcesses(const std::string& exe_name) {
  qm::unique_snapshot snap(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snap) throw StageError("cannot list processes", ::GetLastError());
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL ok = ::Process32First(snap.get(), &entry); ok;
       ok = ::Process32Next(snap.get(), &entry)) {
    if (Lower(entry.szExeFile) == Lower(exe_name)) ++count;
  }
  return count;
}

void StartProgram(const std::string& command_line) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::string cmd = command_line;
  if (!::CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                        nullptr, &si, &pi))
    throw StageError("cannot start " + command_line, ::GetLastError());
  qm::unique_kernel process(pi.hProcess);
  qm::unique_kernel thread(pi.hThread);
}

void WaitForProcess(const std::string& exe_name, DWORD timeout_ms, int copies) {
  for (DWORD waited = 0; CountProcesses(exe_name) < copies; waited += 100) {
    if (waited >= timeout_ms) throw StageError(exe_name + " did not appear in the process list");
    ::Sleep(100);
  }
}

void CreateAndStartService(const std::string& name, const std::string& binary_path,
                           bool start, DWORD wanted_state, DWORD timeout_ms) {
  unique_service scm(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!scm) throw StageError("cannot open the service manager", ::GetLastError());
  unique_service svc(::CreateServiceA(scm.get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                      SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                      SERVICE_ERROR_NORMAL, binary_path.c_str(), nullptr,
                                      nullptr, nullptr, nullptr, nullptr));
  if (!svc) throw StageError("cannot create service " + name, ::GetLastError());
  if (!start) return;
  if (!::StartServiceA(svc.get(), 0, nullptr))
    throw StageError("cannot start service " + name, ::GetLastError());
  SERVICE_STATUS status{};
  for (DWORD waited = 0;; waited += 100) {
    if (!::QueryServiceStatus(svc.get(), &status))
      throw StageError("cannot query service " + name, ::GetLastError());
    if (status.dwCurrentState == wanted_state) return;
    if (waited >= timeout_ms)
      throw StageError("service " + name + " stays " + StateName(status.dwCurrentState) +
                       ", not " + StateName(wanted_state));
    ::Sleep(100);
  }
}

DWORD ServiceState(const std::string& name) {
  unique_service scm(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!scm) throw StageError("cannot open the service manager", ::GetLastError());
  unique_service svc(::OpenServiceA(scm.get(), name.c_str(), SERVICE_QUERY_STATUS));
  if (!svc) return 0;
  SERVICE_STATUS status{};
  if (!::QueryServiceStatus(svc.get(), &status))
    throw StageError("cannot query service " + name, ::GetLastError());
  return status.dwCurrentState;
}

const char* StateName(DWORD state) {
  switch (state) {
    case SERVICE_STOPPED: return "STOPPED";
    case SERVICE_START_PENDING: return "START_PENDING";
    case SERVICE_STOP_PENDING: return "STOP_PENDING";
    case SERVICE_RUNNING: return "RUNNING";
    case SERVICE_CONTINUE_PENDING: return "CONTINUE_PENDING";
    case SERVICE_PAUSE_PENDING: return "PAUSE_PENDING";
    case SERVICE_PAUSED: return "PAUSED";
    default: return "UNKNOWN";
  }
}

std::string WindowsDirectory() {
  std::string dir(MAX_PATH, '\0');
  UINT len = ::GetWindowsDirectoryA(&dir[0], static_cast<UINT>(dir.size()));
  if (len == 0) throw StageError("cannot read the Windows folder", ::GetLastError());
  if (len >= dir.size()) {
    dir.assign(len + 1, '\0');
    len = ::GetWindowsDirectoryA(&dir[0], static_cast<UINT>(dir.size()));
  }
  dir.resize(len);
  return dir;
}

std::string ProgramFilesDirectory() {
  std::string dir(MAX_PATH, '\0');
  const HRESULT hr = ::SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, &dir[0]);
  if (hr != S_OK) throw StageError("cannot read the Program Files folder", static_cast<DWORD>(hr));
  dir.resize(dir.find('\0'));
  return dir;
}

std::string ModuleDirectory() {
  std::string path(32768, '\0');
  DWORD len = ::GetModuleFileNameA(nullptr, &path[0], static_cast<DWORD>(path.size()));
  path.resize(len);
  return ParentDir(path);
}

std::uint64_t Fnv1a(const std::string& bytes, std::uint64_t h) {
  for (unsigned char c : bytes) {
    h ^= c;
    h *= 0x100000001b3ull;
  }
  return h;
}

std::string Hex64(std::uint64_t v) {
  char buf[17];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
  return buf;
}

}  // namespace qmstage
