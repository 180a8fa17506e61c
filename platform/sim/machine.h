// The simulated Windows machine behind the Win32 surface off Windows.
//
// A test builds one sim::Machine; while it lives every Win32 function of win32.h acts on it.
// Tests set the machine up through this class (or through the Win32 calls themselves), run
// product code, and inspect the machine afterwards. Results follow Windows: where the two
// could differ, the contract tests (tests/contract) run the same assertions under Wine.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/win32.h"

namespace sim {

// Thrown by ExitProcess and qm::EndProcess: the program's "end the process now" unwinds to
// the test. exitHandlersRun tells the runtime's exit (qm::EndProcess) from ExitProcess,
// which skips the exit handlers.
struct ProcessExit {
  UINT code;
  bool exitHandlersRun = false;
};

enum class ListingOrder { Alphabetical, ReverseAlphabetical, Creation };

// How a service reacts to a stop request and to the passing of (virtual) time.
struct ServiceScript {
  // After a STOP request: STOP_PENDING for stopDelayMs, then STOPPED.
  // stopDelayMs < 0: never leaves STOP_PENDING.
  int stopDelayMs = 0;
  // The service takes no notice of a STOP request and stays RUNNING (the request succeeds).
  bool ignoresStop = false;
  // While the clock is below startPendingUntilMs the state reads START_PENDING; afterwards it
  // becomes stateAfterStart.
  int startPendingUntilMs = -1;
  DWORD stateAfterStart = SERVICE_RUNNING;
};

struct ServiceSpec {
  std::string name;         // key name
  std::string displayName;  // defaults to name
  DWORD type = SERVICE_WIN32_OWN_PROCESS;
  DWORD state = SERVICE_RUNNING;
  DWORD controlsAccepted = SERVICE_ACCEPT_STOP;
  ServiceScript script;
};

struct ProcessSpec {
  std::string exe;                   // executable file name, e.g. "TevTray.exe"
  std::vector<std::string> modules;  // further module names (the exe is module 0)
  bool queryDenied = false;          // OpenProcess for query/read fails with 5 (another
                                     // session, SYSTEM, protected); Toolhelp still lists it
  // Opens for query and read, but EnumProcessModules fails with 299: a 64-bit process seen
  // by a 32-bit program on 64-bit Windows. Toolhelp still names it.
  bool modulesUnreadable = false;
  bool terminateDenied = false;      // OpenProcess for termination fails with 5
  bool terminateFails = false;       // TerminateProcess fails with 5
};
// The table starts with the idle process 0 (OpenProcess: 87) and System 4 (query and
// termination opens: 5; empty Toolhelp module list). The program runs as a process outside
// the table (GetCurrentProcessId); a Toolhelp module snapshot of id 0 lists its modules.

struct MessageBoxCall {
  HWND owner;
  std::string text;
  std::string caption;
  UINT flags;
};

struct ShellExecuteCall {
  HWND owner;
  std::string verb, file, parameters, directory;
  INT show;
};

struct WinHelpCall {
  HWND owner;
  std::string file;
  UINT command;
  ULONG_PTR data;
};

class Machine {
 public:
  Machine();  // installs itself as the current machine
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;
  static Machine& current();  // aborts with a message when no machine exists
  static bool exists();       // whether a machine is installed (release functions use it)

  // ---- registry. Roots: HKEY_CLASSES_ROOT (a view of HKLM\SOFTWARE\Classes),
  // HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER. Paths "A\B\C", case-insensitive, case kept.
  void CreateKey(HKEY root, const std::string& path);  // with every missing parent
  void SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                const std::string& bytes);  // creates the key when missing
  void SetString(HKEY root, const std::string& path, const std::string& name,
                 const std::string& text);  // REG_SZ, stored with its terminating zero
  void SetDword(HKEY root, const std::string& path, const std::string& name,
                DWORD value);  // REG_DWORD, little-endian
  bool KeyExists(HKEY root, const std::string& path) const;
  bool ValueExists(HKEY root, const std::string& path, const std::string& name) const;
  // The stored bytes of a value (a REG_SZ keeps its terminating zero); empty when absent.
  std::string ValueBytes(HKEY root, const std::string& path, const std::string& name) const;
  // Direct sub-keys in enumeration order (case-insensitive alphabetical), case as created.
  std::vector<std::string> SubKeyNames(HKEY root, const std::string& path) const;
  void DenyKeyOpen(HKEY root, const std::string& path);    // RegOpenKeyExA: 5
  void DenyKeyDelete(HKEY root, const std::string& path);  // RegDeleteKeyA on it: 5
  int OpenKeyHandles() const;
  // Wide names (UTF-16), as RegCreateKeyExW and RegSetValueExW take them. The narrow set-up
  // functions above read their bytes as code page 1252. ValueBytes gives a value as
  // RegQueryValueExA reads it (string types converted to the code page); ValueBytesW as
  // stored (string types in UTF-16 with their terminating zero).
  void CreateKeyW(HKEY root, const std::u16string& path);
  void SetValueW(HKEY root, const std::u16string& path, const std::u16string& name, DWORD type,
                 const std::string& bytes);  // bytes stored as given; creates the key
  // REG_SZ, REG_EXPAND_SZ or REG_MULTI_SZ (items separated by u'\0'), stored in UTF-16 with
  // the terminating zero(s).
  void SetStringW(HKEY root, const std::u16string& path, const std::u16string& name,
                  const std::u16string& text, DWORD type = REG_SZ);
  bool KeyExistsW(HKEY root, const std::u16string& path) const;
  bool ValueExistsW(HKEY root, const std::u16string& path, const std::u16string& name) const;
  std::string ValueBytesW(HKEY root, const std::u16string& path,
                          const std::u16string& name) const;
  std::vector<std::u16string> SubKeyNamesW(HKEY root, const std::u16string& path) const;

  // ---- file system. Drive-letter paths ("C:\A\b.txt"), case-insensitive, case kept.
  void MakeDirectory(const std::string& path);  // with every missing parent
  void MakeFile(const std::string& path, const std::string& content = {},
                DWORD attributes = FILE_ATTRIBUTE_ARCHIVE);  // parents created
  // A reparse point (junction or symbolic link) at path that points at target.
  void MakeLink(const std::string& path, const std::string& target, bool directory = true);
  bool PathExists(const std::string& path) const;
  DWORD Attributes(const std::string& path) const;  // INVALID_FILE_ATTRIBUTES when absent
  std::string FileContent(const std::string& path) const;
  std::vector<std::string> ListNames(const std::string& directory) const;  // no "." ".."
  // Search patterns: "*", "*.*" and names with "*" and "?"; short (8.3) names are not modelled.
  // A file opened with FILE_SHARE_DELETE and deleted leaves its folder at once (Windows keeps
  // the name until the last handle closes).
  void HoldOpen(const std::string& path);      // in use: DeleteFileA fails with 32
  void Release(const std::string& path);       // undoes one HoldOpen
  void DenyListing(const std::string& directory);  // FindFirstFileA in it fails with 5
  void SetListingOrder(ListingOrder order);    // default Alphabetical
  int OpenFindHandles() const;
  // Wide names, as CreateFileW and CreateDirectoryW take them.
  void MakeDirectoryW(const std::u16string& path);
  void MakeFileW(const std::u16string& path, const std::string& content = {},
                 DWORD attributes = FILE_ATTRIBUTE_ARCHIVE);
  void MakeLinkW(const std::u16string& path, const std::u16string& target,
                 bool directory = true);  // replaces what is at path
  bool PathExistsW(const std::u16string& path) const;
  std::vector<std::u16string> ListNamesW(const std::u16string& directory) const;
  // A race: runs `action` once, right after FindFirstFile(A/W) or FindNextFile(A/W) has handed
  // out the entry whose full path (folder, '\\', name) is `path` (case-insensitive), before
  // the caller sees the result; e.g. to replace a listed folder by a junction (MakeLinkW).
  void OnListed(const std::u16string& path, std::function<void()> action);
  // MoveFileExW(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT) needs an administrator (else 5).
  bool administrator = true;
  // The file part of a restart: performs HKLM\SYSTEM\CurrentControlSet\Control\Session
  // Manager\PendingFileRenameOperations in order (each "\??\path" with an empty new name is
  // deleted: a file, a link, or an empty folder; no handle survives a restart) and removes the
  // value. Returns the paths that stayed: a folder that is not empty, a read-only file, a
  // missing path, an entry with a new name (renames are not modelled).
  std::vector<std::u16string> PerformPendingFileOperations();
  // GetWindowsDirectoryA. C:\WINDOWS\Temp exists from the start; a test that changes the
  // value makes the folders it needs itself.
  std::string windowsDirectory = "C:\\WINDOWS";

  // ---- a 32-bit program on 64-bit Windows (WoW64). Set, the program's file functions
  // (attributes, listing, creating, opening, deleting, removing) see every path below
  // "<windowsDirectory>\System32" at the same place below "<windowsDirectory>\SysWOW64",
  // except the folders exempt from that redirection (drivers\etc, spool, catroot, catroot2,
  // logfiles, driverstore), until the calling thread turns the redirection off with kernel32's
  // Wow64DisableWow64FsRedirection, and again after Wow64RevertWow64FsRedirection. The set-up
  // and inspection functions of this class always see the real folders, and
  // MoveFileExW records a path as given. Unset (32-bit Windows, or a 64-bit program), both
  // functions are exported and fail with ERROR_INVALID_FUNCTION; Windows 2000 and XP (32-bit)
  // lack them: RemoveExport("Kernel32.DLL", ...).
  bool wow64 = false;
  // Whether the calling thread's redirection is off now.
  bool FsRedirectionOff() const;

  // ---- shell folders and the environment. SHGetFolderPathW (served by "shell32.dll" and
  // "shfolder.dll") answers, for any token, the path set for a CSIDL. A fresh machine holds
  // Windows XP's English layout for the user "Administrator" (C:\Program Files,
  // C:\Documents and Settings\All Users\Application Data, ...\Administrator\My Documents and
  // so on); CSIDL_WINDOWS and CSIDL_SYSTEM follow windowsDirectory unless set; the two X86
  // folders are unknown (a 32-bit system). The folders need not exist. An unknown CSIDL
  // answers E_FAIL with an empty path.
  void SetShellFolder(int csidl, const std::u16string& path);  // empty: unknown from then on
  std::u16string ShellFolder(int csidl) const;                 // empty when unknown
  // HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList, value
  // ProfilesDirectory (REG_EXPAND_SZ); a fresh machine holds
  // "%SystemDrive%\Documents and Settings". Empty: the value is removed.
  void SetProfilesDirectory(const std::u16string& value);
  // ExpandEnvironmentStringsW. SystemDrive "C:", SystemRoot and windir follow windowsDirectory,
  // USERPROFILE, ALLUSERSPROFILE, ProgramFiles, CommonProgramFiles, APPDATA follow the shell
  // folders, unless set here; an empty value removes the variable.
  void SetEnvironment(const std::u16string& name, const std::u16string& value);

  // ---- processes. The table starts with the idle process 0 and "System" (4).
  DWORD StartProcess(const ProcessSpec& spec);  // returns the new id; system order = start order
  // Starts a process under an identifier that an ended process had, as Windows reuses them
  // (Windows does so only once no handle holds the old process; this lets a test reuse it
  // sooner). A handle to the old process keeps designating the old, ended process.
  void StartProcessWithId(const ProcessSpec& spec, DWORD pid);
  void EndProcess(DWORD pid);  // the process exits by itself
  // Called with the identifier after GetModuleBaseNameA or Process32First/Next delivered a
  // process's name, so a test can act between recognition and termination.
  std::function<void(DWORD pid)> onProcessNameRead;
  bool IsRunning(DWORD pid) const;
  std::vector<DWORD> RunningIds(const std::string& exe) const;  // case-insensitive
  int OpenKernelHandles() const;  // processes, tokens, snapshots, files

  // ---- services. Each service also has its key HKLM\SYSTEM\CurrentControlSet\Services\<name>,
  // removed when a service marked for deletion loses its last handle.
  void AddService(const ServiceSpec& spec);
  bool ServiceInstalled(const std::string& name) const;
  bool ServiceMarkedForDeletion(const std::string& name) const;
  DWORD ServiceState(const std::string& name) const;  // at the current virtual time
  void DenyManagerOpen();                              // OpenSCManagerA: 5
  void DenyServiceOpen(const std::string& name);       // OpenServiceA: 5
  void DenyServiceControl(const std::string& name);    // ControlService: 5
  void DenyServiceDelete(const std::string& name);     // DeleteService: 5
  // EnumServicesStatusA answers 234 with a resume position of 0 when the buffer is short.
  bool enumLosesResumePosition = false;
  std::vector<DWORD> stopRequestTimes;  // virtual ms of every accepted STOP request
  int OpenServiceHandles() const;       // manager and service handles

  // ---- the whole state as text (registry, files with attributes, contents, links and
  // read-only marks, processes, services with their states and deletion marks, named
  // mutexes), so a test can tell that a program changed nothing: equal texts, equal machines.
  std::string StateDigest() const;

  // ---- named mutexes (CreateMutexA). A name another program of this account holds answers
  // with a handle and ERROR_ALREADY_EXISTS; one that another account or session created
  // (its security shuts this one out) fails with 5. Names are case-sensitive.
  void HoldMutex(const std::string& name, bool otherAccount = false);
  bool MutexExists(const std::string& name) const;

  // ---- run-time loader: "advapi32.dll", "PSAPI.DLL", "Kernel32.DLL", "shell32.dll" and
  // "SHFOLDER.DLL" (both export SHGetFolderPathW) (case-insensitive; a name
  // without extension gets ".dll"); anything else fails with 126, a missing export with 127.
  // GetModuleHandleW finds Kernel32.DLL at any time (it is mapped into every process) and
  // another library only while LoadLibraryA holds it; it adds no reference.
  // advapi32 exports the 31 entry points of the service binding; those the simulation does not
  // model (configuration, locking, security, StartServiceA, CreateServiceA...) fail with 120.
  void RemoveExport(const std::string& module, const std::string& function);
  // Serves `address` for `function` from then on (a test's stand-in for a failing export).
  void ReplaceExport(const std::string& module, const std::string& function, FARPROC address);
  void FailLoad(const std::string& module);
  int LoadLibraryCalls() const;
  int FreeLibraryCalls() const;
  int LoadedLibraries() const;  // successful loads not yet freed

  // ---- virtual clock. Sleep advances it at once and is recorded.
  DWORD Now() const;
  void Advance(DWORD ms);
  const std::vector<DWORD>& Sleeps() const;

  // ---- system
  OSVERSIONINFOA version{};  // defaults to NT 5.1 build 2600, platform 2
  bool versionQueryFails = false;
  std::string commandLine = "\"C:\\Quelmark\\Quelmark.exe\"";
  bool shutdownPrivilege = true;  // absent: AdjustTokenPrivileges sets last error 1300
  bool ShutdownPrivilegeEnabled() const;  // enabled through AdjustTokenPrivileges
  std::deque<int> messageBoxAnswers;  // popped per MessageBoxA; IDOK when empty
  std::vector<MessageBoxCall> messageBoxes;
  std::vector<UINT> exitWindowsRequests;  // flags of every ExitWindowsEx call (it succeeds)
  bool exitWindowsFails = false;          // ExitWindowsEx is recorded, then fails with 1314
  std::vector<ShellExecuteCall> shellExecutes;
  std::vector<WinHelpCall> winHelps;

  struct State;  // the simulation's internals, for platform/sim only

 private:
  std::unique_ptr<State> state_;

 public:
  State& state() { return *state_; }
  const State& state() const { return *state_; }
};

}  // namespace sim
