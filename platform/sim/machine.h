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
  // OpenProcess for PROCESS_QUERY_LIMITED_INFORMATION fails with 5 too (from Vista on; before
  // Vista that right does not exist and every such open fails with 87).
  bool limitedQueryDenied = false;
  // After a successful TerminateProcess the process goes on running this long (virtual ms),
  // as one whose threads first finish pending I/O; < 0: it never ends.
  int endDelayMs = 0;
  // The executable's path: in use while the process runs (DeleteFile fails with 32).
  std::string image;
};
// The table starts with the idle process 0 (OpenProcess: 87) and System 4 (query and
// termination opens: 5; empty Toolhelp module list). The program runs as a process outside
// the table (GetCurrentProcessId); a Toolhelp module snapshot of id 0 lists its modules.

// One object opened, and the rights asked for it, whether the open succeeded or not.
enum class OpenKind { Key, Process, ServiceManager, Service, File };
struct OpenRecord {
  OpenKind kind;
  std::u16string name;  // key path below its root handle, process id, service name, file path
  DWORD access;
};

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

// One library load the program asked for: the name as given (LoadLibraryA's bytes read
// through the code page) and the LoadLibraryExW flags (0 for LoadLibraryA).
struct LibraryLoad {
  std::u16string path;
  DWORD flags;
};

struct WinHelpCall {
  HWND owner;
  std::string file;
  UINT command;
  ULONG_PTR data;
};

// A REPARSE_DATA_BUFFER as Windows lays it out: the tag, the length of what follows the
// 8-byte header, the names' offsets and lengths in bytes (then, for IO_REPARSE_TAG_SYMLINK,
// the flags) and the names, each with a terminating zero the lengths leave out. A mount point
// holds its substitute name first and a symbolic link its print name first, so a reader must
// follow the offsets.
std::string ReparseBytes(DWORD tag, const std::u16string& substituteName,
                         const std::u16string& printName, DWORD flags = 0);

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
  // The key's access list grants reading only: an open asking for any right beyond KEY_READ
  // (setting, creating, DELETE, WRITE_DAC, WRITE_OWNER; KEY_ALL_ACCESS) fails with 5, and so
  // does deleting the key.
  void DenyKeyWrite(HKEY root, const std::string& path);
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
  // FindFirstFileA in it fails with 5, and so does opening it for FILE_LIST_DIRECTORY.
  void DenyListing(const std::string& directory);
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
  // Reparse data, as DeviceIoControl(FSCTL_GET_REPARSE_POINT) hands it out on a handle opened
  // on the link itself (FILE_FLAG_OPEN_REPARSE_POINT). A link made by MakeLink(W) reads as a
  // junction: IO_REPARSE_TAG_MOUNT_POINT, substitute name "\??\" + target, print name the
  // target. MakeSymbolicLinkW makes an IO_REPARSE_TAG_SYMLINK link: an absolute target
  // ("C:\WINDOWS") reads "\??\C:\WINDOWS" and "C:\WINDOWS"; a relative one ("..\x", or
  // "\x" from the drive's root) is stored as given with SYMLINK_FLAG_RELATIVE (1) and is
  // followed from the link's folder.
  void MakeSymbolicLinkW(const std::u16string& path, const std::u16string& target, bool relative,
                         bool directory = true);
  // What the link at `path` reports from then on, where it leads staying as it was: e.g. a
  // volume mount point's "\??\Volume{...}\", another tag, or a cut buffer (see ReparseBytes).
  void SetReparseData(const std::u16string& path, const std::string& bytes);
  // Reading the link at `path` fails with `error` (a file-system filter that refuses it).
  void FailReparseRead(const std::u16string& path, DWORD error);
  // A race: runs `action` once, right after CreateFile(A/W) has created a new file at `path`
  // (case-insensitive), before the caller has the handle; e.g. to give it a second name.
  void OnCreated(const std::u16string& path, std::function<void()> action);
  // Hard links (CreateHardLinkW): the number of names of the file at `path` (0 when absent).
  int LinkCount(const std::string& path) const;
  // MoveFileExW(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT) needs an administrator (else 5).
  bool administrator = true;
  // The file part of a restart: performs HKLM\SYSTEM\CurrentControlSet\Control\Session
  // Manager\PendingFileRenameOperations in order (each "\??\path" with an empty new name is
  // deleted: a file, a link, or an empty folder; no handle survives a restart) and removes the
  // value. Returns the paths that stayed: a folder that is not empty, a read-only file, a
  // missing path, an entry with a new name (renames are not modelled).
  std::vector<std::u16string> PerformPendingFileOperations();
  // GetWindowsDirectoryA. C:\WINDOWS\Temp and C:\WINDOWS\system32 exist from the start; a
  // test that changes the value makes the folders it needs itself.
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
  // ProfileList\<sid>, value ProfileImagePath (REG_EXPAND_SZ): the profile of each account
  // that has logged on. A fresh machine holds XP's: SYSTEM (S-1-5-18,
  // "%SystemRoot%\system32\config\systemprofile"), LocalService and NetworkService (S-1-5-19,
  // S-1-5-20) and Administrator, the last three in the profiles folder.
  void AddProfile(const std::u16string& sid, const std::u16string& imagePath);
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
  // Whether a handle still holds the ended process that had `pid`: Windows keeps such an
  // identifier from reuse (and OpenProcess on it opens the ended process).
  bool IdentifierHeld(DWORD pid) const;
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

  // ---- named mutexes (CreateMutexA). A name another program holds answers with a handle and
  // ERROR_ALREADY_EXISTS when its access list grants this program MUTEX_ALL_ACCESS, else fails
  // with 5. A new mutex takes the owner and list of the security attributes given (an owner
  // other than the program's user or, for an administrator, Administrators fails with 1307),
  // else the token's defaults: owned by Administrators (an administrator) or the user, the
  // owner and SYSTEM granted everything. Names are case-sensitive. `security` is a security
  // text (see SetSecurity); the default is what a copy of this program running as an
  // administrator gives its own lock.
  void HoldMutex(const std::string& name,
                 const std::string& security = "O:BAD:(A;;GA;;;SY)(A;;GA;;;BA)");
  bool MutexExists(const std::string& name) const;

  // ---- owners and access lists (security.cpp), as GetSecurityInfo reports them. A security
  // text is "O:<sid>D:<entries>", each entry "(<A|D>;<flags>;<rights>;;;<sid>)": flags from
  // OI CI NP IO ID, rights as 0x<hex> or from GA GR GW GX FA FR FW FX SD RC WD WO, a SID as
  // S-1-... or one of BA SY BU AU WD CO PU IU. "D:NO_ACCESS_CONTROL" is no list at all (anyone
  // may do anything), "D:" an empty list (nobody may); without "O:" there is no owner. A file
  // or folder without a text of its own is owned by Administrators, with inherited entries
  // giving Administrators and SYSTEM everything and Users read and execute. The program is
  // refused (5) a descriptor its token may not read (READ_CONTROL, or owning the object), as
  // Windows refuses the open that asks for READ_CONTROL; other opens ignore the lists.
  void SetSecurity(const std::string& path, const std::string& text);  // the name itself
  // The account the program runs as (GetTokenInformation, TokenUser): "S-1-5-18" is SYSTEM.
  // Its token also holds Everyone, Authenticated Users, Users and, with `administrator`,
  // Administrators.
  std::string userSid = "S-1-5-21-1004336348-1177238915-682003330-500";
  // A standard user `user` (with Users, Authenticated Users, Everyone and INTERACTIVE in their
  // token) putting a junction to `target` where `path` is, as such a user can on Windows:
  // moving the object away needs DELETE on it or FILE_DELETE_CHILD on its folder (owning
  // either, or holding WRITE_DAC or WRITE_OWNER on it, lets them grant that to themselves),
  // the junction needs FILE_ADD_SUBDIRECTORY on the folder, and an open of the object with
  // data or delete rights that does not share delete refuses the move (32). True when the
  // junction, owned by the user, stands at `path`; the object left the tree with what it held.
  bool ReplaceWithJunctionAsUser(const std::u16string& path, const std::u16string& target,
                                 const std::string& user);

  // ---- run-time loader: "advapi32.dll", "PSAPI.DLL", "Kernel32.DLL", "shell32.dll" and
  // "SHFOLDER.DLL" (both export SHGetFolderPathW), served only by their full path in the
  // system folder, e.g. "C:\WINDOWS\system32\psapi.dll" (case-insensitive; a name without
  // extension gets ".dll"). A bare name, another folder or any other library fails with 126
  // (Windows would search the program's folder for a bare name: the simulation refuses it so
  // that no such load goes unnoticed); a missing export answers 127. Every load asked for is
  // kept in libraryLoads. The module functions below take the bare library name.
  // GetModuleHandleW finds Kernel32.DLL at any time (it is mapped into every process) and
  // another library only while a load holds it; it adds no reference.
  // advapi32 exports the 31 entry points of the service binding; those the simulation does not
  // model (configuration, locking, security, StartServiceA, CreateServiceA...) fail with 120.
  void RemoveExport(const std::string& module, const std::string& function);
  // Serves `address` for `function` from then on (a test's stand-in for a failing export).
  void ReplaceExport(const std::string& module, const std::string& function, FARPROC address);
  void FailLoad(const std::string& module);
  int LoadLibraryCalls() const;
  int FreeLibraryCalls() const;
  int LoadedLibraries() const;  // successful loads not yet freed
  std::vector<LibraryLoad> libraryLoads;
  // GetSystemDirectoryW: windowsDirectory followed by "\system32".
  std::u16string SystemDirectory() const;

  // ---- rights asked: every RegOpenKeyEx/RegCreateKeyEx, OpenProcess, OpenSCManagerA,
  // OpenServiceA and CreateFile, in order. The path-based calls that open their object
  // themselves are recorded with the rights they open it with: DeleteFile, RemoveDirectory and
  // MoveFileExW (DELETE), SetFileAttributes (FILE_WRITE_ATTRIBUTES), CreateDirectory
  // (FILE_ADD_SUBDIRECTORY), RegDeleteKey (DELETE).
  const std::vector<OpenRecord>& Opens() const;

  // ---- virtual clock. Sleep advances it at once and is recorded; so does a wait.
  DWORD Now() const;
  void Advance(DWORD ms);
  const std::vector<DWORD>& Sleeps() const;

  // ---- system
  // The ANSI code page (GetACP): what CP_ACP means to MultiByteToWideChar and
  // WideCharToMultiByte and how the narrow file, registry and process functions convert
  // names. 1252 (Western), 1251 (Cyrillic), 932 (Japanese: ASCII, half-width katakana, the
  // full-width ASCII forms, Cyrillic, U+4E2D) or 65001 (UTF-8: the system-wide UTF-8 option of
  // Windows 10 and 11). The set-up helpers' narrow names stay code page 1252 whatever it is.
  UINT ansiCodePage = 1252;
  // MultiByteToWideChar and WideCharToMultiByte fail with 8, as on a system out of memory.
  bool conversionsFail = false;
  OSVERSIONINFOA version{};  // defaults to NT 5.1 build 2600, platform 2
  bool versionQueryFails = false;
  std::string commandLine = "\"C:\\Quelmark\\Quelmark.exe\"";
  std::u16string programPath = u"C:\\Quelmark\\Quelmark.exe";  // GetModuleFileNameW(nullptr)
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
