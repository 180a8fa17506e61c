// Small Win32 helpers of the staging tool: registry writes and reads, files with attributes,
// processes and services. Every helper reports failure by throwing StageError with the
// Windows error number, so a half-staged machine never passes for a staged one.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/raii.h"

namespace qmstage {

class StageError : public std::runtime_error {
 public:
  StageError(const std::string& what, DWORD code)
      : std::runtime_error(what + " (error " + std::to_string(code) + ")") {}
  explicit StageError(const std::string& what) : std::runtime_error(what) {}
};

// Service manager and service handles share the one owning template of platform/raii.h.
using qm::unique_service;

struct RegValue {
  std::string name;
  DWORD type;
  std::string data;  // raw bytes as stored, terminating zero included for string types
};
RegValue SzValue(const std::string& name, const std::string& text);
RegValue DwordValue(const std::string& name, DWORD v);
RegValue BinaryValue(const std::string& name, const std::string& bytes);

// Registry. Paths are relative to the root, without a leading backslash.
void WriteKey(HKEY root, const std::string& path, const std::vector<RegValue>& values);
bool KeyExists(HKEY root, const std::string& path);
bool ValueExists(HKEY root, const std::string& path, const std::string& name);
// Canonical text of a key tree: sub-keys and values sorted by name, data in hex.
// Empty when the key does not exist.
std::string DumpKeyTree(HKEY root, const std::string& path, bool recurse);
std::string DumpValue(HKEY root, const std::string& path, const std::string& name);

// Files. Directories are created with all their parents. Below the Windows folder's system32
// a file is written and read where 64-bit programs see it, by either build of this tool.
void MakeDirs(const std::string& dir);
void WriteFile(const std::string& path, const std::string& content, DWORD attributes);
void CopyFileTo(const std::string& from, const std::string& to);
bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);
// Names of a directory's entries (without "." and ".."), sorted case-insensitively.
std::vector<std::string> ListDir(const std::string& dir);
// Canonical text of a file or folder tree: relative names, attributes that matter
// (read-only, hidden, system, directory), sizes and content hashes. Empty when absent.
std::string DumpFileTree(const std::string& path);

// Processes.
int CountProcesses(const std::string& exe_name);  // letters compared without case
void StartProgram(const std::string& command_line);
// Waits until at least `copies` processes named exe_name run.
void WaitForProcess(const std::string& exe_name, DWORD timeout_ms, int copies = 1);

// Services.
void CreateAndStartService(const std::string& name, const std::string& binary_path,
                           bool start, DWORD wanted_state, DWORD timeout_ms);
// 0 when the service is not registered; otherwise its current state (SERVICE_STOPPED...).
DWORD ServiceState(const std::string& name);
const char* StateName(DWORD state);

std::string WindowsDirectory();
// The Program Files folder as this process sees it (CSIDL_PROGRAM_FILES): on 64-bit Windows
// "Program Files (x86)" for the 32-bit build of this tool.
std::string ProgramFilesDirectory();
std::string ModuleDirectory();
std::uint64_t Fnv1a(const std::string& bytes, std::uint64_t h = 0xcbf29ce484222325ull);
std::string Hex64(std::uint64_t v);

}  // namespace qmstage
