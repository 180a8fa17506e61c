// Internals of the simulated machine, shared by the platform/sim sources only.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/sim/machine.h"

namespace sim {

// Windows-1252 upper case, as the system's case-insensitive name comparison and
// CharUpperBuffA apply it under a Western code page.
char UpperChar(char c);
std::string Upper(const std::string& s);
bool EqualNoCase(const std::string& a, const std::string& b);

// The same for the names the file system and the registry hold: UTF-16 upper-cased one unit
// at a time as the system's case-insensitive comparison does it (Latin, Greek, Cyrillic,
// Armenian and the full-width forms; nothing changes length, ß stays ß).
char16_t UpperUnit(char16_t c);
std::u16string UpperW(const std::u16string& s);
bool EqualNoCaseW(const std::u16string& a, const std::u16string& b);
std::vector<std::u16string> SplitPathW(const std::u16string& path);
// A wide argument of a Win32 function (null reads as empty).
std::u16string WideArg(const WCHAR* text);

// Code page 1252, as the narrow functions convert names. ToAnsi applies the best-fit table
// when `bestFit` is set, and writes `fallback` (setting *usedDefault) for what is left.
std::u16string FromAnsi(const std::string& bytes);
std::string ToAnsi(const std::u16string& wide, bool bestFit, bool* usedDefault = nullptr,
                   char fallback = '?');
// The same through the machine's ANSI code page (Machine::ansiCodePage), as the narrow Win32
// functions convert names.
std::u16string FromAcp(const std::string& bytes);
std::string ToAcp(const std::u16string& wide, bool bestFit, bool* usedDefault = nullptr);

// Sets the calling thread's last error and returns the given value, for one-line failures.
template <typename T>
T Fail(DWORD error, T result) {
  SetLastError(error);
  return result;
}

// ---- registry
// Names are UTF-16. Data of REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ is stored as Windows keeps
// it, in UTF-16; the narrow functions convert it through the code page.
bool IsStringType(DWORD type);
struct RegValue {
  std::u16string name;
  DWORD type = REG_NONE;
  std::string data;
};

struct RegKey {
  std::u16string name;
  RegKey* parent = nullptr;  // valid while the key is not deleted (children go first)
  std::map<std::u16string, std::shared_ptr<RegKey>> children;  // by upper-case name
  std::vector<RegValue> values;                             // in creation order
  bool deleted = false;
  bool denyOpen = false;
  bool denyDelete = false;
  bool denyWrite = false;  // its access list grants reading only
  RegValue* FindValue(const std::u16string& name);
};

struct KeyHandle {
  std::shared_ptr<RegKey> key;
  REGSAM access = 0;
};

// ---- security (security.cpp): owners and access lists of files, folders and mutexes
struct SimAce {
  BYTE type = ACCESS_ALLOWED_ACE_TYPE;
  BYTE flags = 0;
  ACCESS_MASK mask = 0;
  std::string sid;  // the SID's bytes
};

struct ObjectSecurity {
  std::string owner;        // the SID's bytes; empty: no owner
  bool daclPresent = true;  // false: no list at all, so everyone may do anything
  std::vector<SimAce> dacl;
};

// The descriptor a security text of Machine::SetSecurity stands for; aborts on a text it
// cannot read (a test's mistake).
ObjectSecurity ParseSecurity(const std::string& text);
// A SID's bytes from its text form ("S-1-5-32-544") or one of the aliases of
// Machine::SetSecurity; aborts on anything else.
std::string SidBytes(const std::string& text);
// What a file or folder without a descriptor of its own reports: owned by Administrators, and
// inherited-style entries giving Administrators and SYSTEM everything, Users read and execute.
const ObjectSecurity& DefaultFileSecurity();
// The SIDs of the program's token: its user, Everyone, Authenticated Users, Users and, for an
// administrator, Administrators.
std::vector<std::string> ProgramSids(const Machine& m);
// Whether a token holding `sids` gets every right of `desired` (generic rights mapped with
// `mapping`): the entries in order, inherit-only ones skipped, a denial of a right not yet
// granted ends the check; the owner holds READ_CONTROL and WRITE_DAC whatever the list says.
bool Granted(const ObjectSecurity& security, const std::vector<std::string>& sids,
             ACCESS_MASK desired, const GENERIC_MAPPING& mapping);
extern const GENERIC_MAPPING kFileMapping;
extern const GENERIC_MAPPING kMutexMapping;
// The owner and list a new object gets from the attributes its creator passes (absolute or
// self-relative descriptor) and from the program's token where they say nothing: owned by
// Administrators (an administrator) or the user, the owner and SYSTEM granted everything.
// False when the owner asked for is not one the token may set (1307 on Windows).
bool SecurityOfNewObject(const Machine& m, const SECURITY_ATTRIBUTES* attributes,
                         ObjectSecurity& security);

// ---- file system
struct FsNode {
  std::u16string name;
  bool directory = false;
  DWORD attributes = 0;       // the settable marks; DIRECTORY and REPARSE_POINT are derived
  std::u16string linkTarget;  // non-empty: a reparse point that leads there
  std::string content;
  std::map<std::u16string, std::shared_ptr<FsNode>> children;  // by upper-case name
  FsNode* parent = nullptr;
  uint64_t sequence = 0;  // creation order
  bool denyListing = false;
  int heldOpen = 0;
  bool removed = false;  // taken out of its folder; open handles and searches still hold it
  // A link's REPARSE_DATA_BUFFER when set (else a junction's to linkTarget), and the error
  // that reading it answers instead when not 0.
  std::string reparseData;
  DWORD reparseReadError = 0;
  // Hard links: every name of one file shares this list (null while the file has one name).
  // Each name keeps its own copy of the file's attributes and content, made equal to the
  // changed one's after every change (ShareWithOtherNames); all report one file index.
  std::shared_ptr<std::vector<std::weak_ptr<FsNode>>> hardLinks;
  std::shared_ptr<const ObjectSecurity> security;  // null: DefaultFileSecurity()
  bool IsLink() const { return !linkTarget.empty(); }
  DWORD ReportedAttributes() const;
};

struct FindEntry {
  std::u16string name;
  std::shared_ptr<FsNode> node;  // for "." and "..", the directory they stand for
};

struct FindState {
  std::u16string folder;  // the searched folder as the caller named it, ending in '\'
  std::vector<FindEntry> entries;
  size_t next = 0;
};

// ---- processes
struct Process {
  DWORD pid = 0;
  uint64_t object = 0;  // which process object: identifiers are reused, objects never
  ProcessSpec spec;
  bool running = true;
  int64_t endsAt = -1;             // terminated: the virtual ms it ends at
  std::shared_ptr<FsNode> image;   // its executable, held in use while it runs
};

// ---- kernel objects behind HANDLE values
enum class KernelKind { Process, Token, Snapshot, File, Mutex };

struct SnapshotData {
  bool ofProcesses = true;
  std::vector<std::pair<DWORD, std::string>> processes;
  DWORD ownerPid = 0;
  std::vector<std::string> modules;
  size_t next = 0;
};

struct KernelObject {
  KernelKind kind = KernelKind::Process;
  DWORD access = 0;
  DWORD pid = 0;                  // Process
  uint64_t process = 0;           // Process: the object it designates, even after it ended
  std::shared_ptr<FsNode> file;   // File
  DWORD share = 0;                // File
  size_t position = 0;            // File
  SnapshotData snapshot;          // Snapshot
  std::string mutexName;          // Mutex
  std::shared_ptr<const ObjectSecurity> security;  // Mutex
};

// ---- services
struct Service {
  ServiceSpec spec;
  int64_t stopRequestedAt = -1;  // virtual ms of the accepted STOP, -1 none
  bool marked = false;
  bool gone = false;
  int handles = 0;
  bool denyOpen = false;
  bool denyControl = false;
  bool denyDelete = false;
};

struct ScObject {
  bool manager = true;
  DWORD access = 0;
  std::shared_ptr<Service> service;
};

// ---- loader
struct SimModule {
  std::string name;
  std::map<std::string, FARPROC> exports;
  bool failLoad = false;
  int references = 0;
  std::u16string loadedFrom;  // the path of the last successful load (GetModuleFileNameW)
};

struct Machine::State {
  // handle values are shared by every kind so that no two objects ever look alike
  uintptr_t nextHandle = 0x1000;
  void* NewHandle() {
    nextHandle += 4;
    return reinterpret_cast<void*>(nextHandle);
  }

  // registry
  std::shared_ptr<RegKey> hklm, hkcu, hku;
  std::map<uintptr_t, KeyHandle> keys;

  // files
  std::map<std::u16string, std::shared_ptr<FsNode>> drives;  // "C:" upper-case
  uint64_t nextSequence = 1;
  ListingOrder order = ListingOrder::Alphabetical;
  std::map<uintptr_t, FindState> finds;
  struct ListingRace {
    std::u16string path;  // upper-case, normalised
    std::function<void()> action;
  };
  std::vector<ListingRace> listingRaces;
  std::vector<ListingRace> creationRaces;  // run once a file is created at the path

  // shell folders and environment
  std::map<int, std::u16string> shellFolders;  // an empty path: unknown
  std::map<std::u16string, std::u16string> environment;  // by upper-case name; set by tests

  // processes and kernel handles
  std::vector<Process> processes;
  DWORD nextPid = 1000;
  uint64_t nextProcessObject = 1;
  std::map<uintptr_t, KernelObject> kernel;

  // services
  std::vector<std::shared_ptr<Service>> services;
  std::map<uintptr_t, ScObject> sc;
  bool denyManagerOpen = false;

  // loader
  std::vector<SimModule> modules;
  int loadCalls = 0;
  int freeCalls = 0;

  // time and system
  uint64_t now = 0;
  std::vector<DWORD> sleeps;
  bool shutdownPrivilegeEnabled = false;
  std::string commandLineCopy;
  std::u16string commandLineCopyW;

  // named mutexes held by other programs, with their owners and access lists
  std::map<std::string, std::shared_ptr<const ObjectSecurity>> heldMutexes;

  std::vector<OpenRecord> opens;

  // threads whose file-system redirection is off (Machine::wow64)
  std::set<std::thread::id> fsRedirectionOff;
};

// Helpers the sources share.
std::shared_ptr<RegKey> RegistryKeyAt(Machine::State& s, HKEY root, const std::string& path);
std::shared_ptr<RegKey> RegistryKeyAtW(Machine::State& s, HKEY root, const std::u16string& path);
void RegistryDeleteTree(const std::shared_ptr<RegKey>& key);
std::shared_ptr<Service> FindService(Machine::State& s, const std::string& name);
DWORD ServiceStateAt(const Service& svc, uint64_t now);
void CollectServices(Machine::State& s);
void InstallModules(Machine::State& s);
std::shared_ptr<FsNode> FileAt(const Machine::State& s, const std::u16string& path,
                               bool followFinal);
std::shared_ptr<FsNode> MakeDirectories(Machine::State& s, const std::u16string& path);
void InstallShellFolders(Machine& m);
void RecordOpen(Machine::State& s, OpenKind kind, const std::u16string& name, DWORD access);
// Ends the terminated processes whose time has come; the clock calls it as it advances.
void EndDueProcesses(Machine::State& s);
// The path a program's file function acts on: on a WoW64 machine, with the calling thread's
// redirection on, a path below the System32 folder leads below SysWOW64 (see Machine::wow64).
std::u16string ProgramView(const std::u16string& path);

}  // namespace sim
