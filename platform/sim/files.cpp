// The simulated file system: drive-letter paths, case-insensitive names, attributes,
// reparse points, open files with share modes, searches.
//
// Contracts kept from Windows:
// - a path handed to an ANSI function must fit MAX_PATH with its zero (else 206), and
//   CreateDirectoryA's must leave room for an 8.3 name (at most MAX_PATH - 12 characters);
// - a missing last component answers 2, a missing folder on the way 3;
// - a reparse point met on the way is followed; as the last component it is the link itself
//   (GetFileAttributesA, RemoveDirectoryA and DeleteFileA act on the link, never the target);
// - every listing of a folder that is not a drive root starts with "." and "..".
// Search patterns: "*", "*.*" (everything), and names with "*" and "?" matched without regard
// to case; the short-name (8.3) matching of Windows is not modelled.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/sim/state.h"

namespace sim {
namespace {

Machine::State& S() { return Machine::current().state(); }

constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                            FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY |
                            FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

DWORD StoredAttributes(DWORD requested) {
  DWORD a = requested & kSettable;
  return a & ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL);
}

struct ParsedPath {
  bool ok = false;
  std::string drive;  // "C:"
  std::vector<std::string> parts;
};

ParsedPath Parse(const std::string& path) {
  ParsedPath p;
  if (path.size() < 2 || !std::isalpha(static_cast<unsigned char>(path[0])) || path[1] != ':')
    return p;
  p.drive = Upper(path.substr(0, 2));
  for (const std::string& part : SplitPath(path.substr(2))) {
    if (part == ".") continue;
    if (part == "..") {
      if (!p.parts.empty()) p.parts.pop_back();
      continue;
    }
    p.parts.push_back(part);
  }
  p.ok = true;
  return p;
}

struct Lookup {
  DWORD error = ERROR_SUCCESS;  // 3 when the way is missing; 2 when only the last part is
  std::shared_ptr<FsNode> folder;  // the folder that holds (or would hold) the last part
  std::shared_ptr<FsNode> node;    // null when absent
  std::string leaf;
};

Lookup Find(const Machine::State& s, const std::string& path, bool followFinal, int depth = 0);

// The folder a node stands for when the way goes through it (links are followed).
std::shared_ptr<FsNode> Through(const Machine::State& s, std::shared_ptr<FsNode> node, int depth) {
  if (node && node->IsLink()) {
    if (depth > 32) return nullptr;
    return Find(s, node->linkTarget, true, depth + 1).node;
  }
  return node;
}

Lookup Find(const Machine::State& s, const std::string& path, bool followFinal, int depth) {
  Lookup l;
  ParsedPath p = Parse(path);
  auto drive = p.ok ? s.drives.find(p.drive) : s.drives.end();
  if (drive == s.drives.end()) {
    l.error = ERROR_PATH_NOT_FOUND;
    return l;
  }
  std::shared_ptr<FsNode> cur = drive->second;
  if (p.parts.empty()) {
    l.node = cur;
    return l;
  }
  for (size_t i = 0; i + 1 < p.parts.size(); ++i) {
    cur = Through(s, cur, depth);
    if (!cur || !cur->directory) {
      l.error = ERROR_PATH_NOT_FOUND;
      return l;
    }
    auto it = cur->children.find(Upper(p.parts[i]));
    if (it == cur->children.end()) {
      l.error = ERROR_PATH_NOT_FOUND;
      return l;
    }
    cur = it->second;
  }
  cur = Through(s, cur, depth);
  if (!cur || !cur->directory) {
    l.error = ERROR_PATH_NOT_FOUND;
    return l;
  }
  l.folder = cur;
  l.leaf = p.parts.back();
  auto it = cur->children.find(Upper(l.leaf));
  if (it == cur->children.end()) {
    l.error = ERROR_FILE_NOT_FOUND;
    return l;
  }
  l.node = followFinal ? Through(s, it->second, depth) : it->second;
  if (!l.node) l.error = ERROR_FILE_NOT_FOUND;
  return l;
}

bool TooLong(LPCSTR path, size_t limit = MAX_PATH - 1) { return std::strlen(path) > limit; }

std::shared_ptr<FsNode> AddChild(Machine::State& s, const std::shared_ptr<FsNode>& folder,
                                 const std::string& name, bool directory) {
  auto node = std::make_shared<FsNode>();
  node->name = name;
  node->directory = directory;
  node->parent = folder.get();
  node->sequence = s.nextSequence++;
  folder->children[Upper(name)] = node;
  return node;
}

void Detach(const std::shared_ptr<FsNode>& node) {
  if (node->parent) node->parent->children.erase(Upper(node->name));
  node->parent = nullptr;
  node->removed = true;
}

bool OpenWithoutDeleteSharing(const Machine::State& s, const std::shared_ptr<FsNode>& node) {
  for (auto& entry : s.kernel) {
    const KernelObject& k = entry.second;
    if (k.kind == KernelKind::File && k.file == node && !(k.share & FILE_SHARE_DELETE))
      return true;
  }
  return false;
}

std::vector<std::shared_ptr<FsNode>> Ordered(const Machine::State& s, const FsNode& folder) {
  std::vector<std::shared_ptr<FsNode>> nodes;
  for (auto& child : folder.children) nodes.push_back(child.second);  // upper-case name order
  if (s.order == ListingOrder::ReverseAlphabetical) std::reverse(nodes.begin(), nodes.end());
  if (s.order == ListingOrder::Creation)
    std::sort(nodes.begin(), nodes.end(),
              [](const auto& a, const auto& b) { return a->sequence < b->sequence; });
  return nodes;
}

bool Matches(const char* pattern, const char* name) {
  for (; *pattern; ++pattern, ++name) {
    if (*pattern == '*') {
      for (const char* rest = name;; ++rest) {
        if (Matches(pattern + 1, rest)) return true;
        if (*rest == '\0') return false;
      }
    }
    if (*name == '\0') return false;
    if (*pattern != '?' && UpperChar(*pattern) != UpperChar(*name)) return false;
  }
  return *name == '\0';
}

bool PatternMatches(const std::string& pattern, const std::string& name) {
  if (pattern == "*" || pattern == "*.*") return true;
  return Matches(pattern.c_str(), name.c_str());
}

void Fill(const FindEntry& e, WIN32_FIND_DATAA* data) {
  std::memset(data, 0, sizeof(*data));
  data->dwFileAttributes = e.node->ReportedAttributes();
  data->nFileSizeLow = e.node->directory ? 0 : static_cast<DWORD>(e.node->content.size());
  const size_t n = std::min(e.name.size(), sizeof(data->cFileName) - 1);
  std::memcpy(data->cFileName, e.name.data(), n);
}

// The next entry of a search that is still in its folder (entries deleted meanwhile are
// skipped), or null.
const FindEntry* Next(FindState& f) {
  while (f.next < f.entries.size()) {
    const FindEntry& e = f.entries[f.next++];
    if (e.name == "." || e.name == ".." || !e.node->removed) return &e;
  }
  return nullptr;
}

KernelObject* FileObject(HANDLE h) {
  auto& kernel = S().kernel;
  auto it = kernel.find(reinterpret_cast<uintptr_t>(h));
  if (it == kernel.end() || it->second.kind != KernelKind::File) return nullptr;
  return &it->second;
}

DWORD RightsOf(DWORD access) {
  DWORD r = access & 0xFFFF;
  if (access & GENERIC_READ) r |= 0x1;   // FILE_READ_DATA
  if (access & GENERIC_WRITE) r |= 0x6;  // FILE_WRITE_DATA | FILE_APPEND_DATA
  if (access & GENERIC_ALL) r |= 0x7;
  if (access & DELETE) r |= 0x10000;
  return r;
}

bool Conflicts(const KernelObject& open, DWORD rights, DWORD share) {
  const bool wantsRead = rights & 0x1, wantsWrite = rights & 0x6, wantsDelete = rights & 0x10000;
  const DWORD held = RightsOf(open.access);
  if (wantsRead && !(open.share & FILE_SHARE_READ)) return true;
  if (wantsWrite && !(open.share & FILE_SHARE_WRITE)) return true;
  if (wantsDelete && !(open.share & FILE_SHARE_DELETE)) return true;
  if ((held & 0x1) && !(share & FILE_SHARE_READ)) return true;
  if ((held & 0x6) && !(share & FILE_SHARE_WRITE)) return true;
  if ((held & 0x10000) && !(share & FILE_SHARE_DELETE)) return true;
  return false;
}

}  // namespace

DWORD FsNode::ReportedAttributes() const {
  DWORD a = attributes;
  if (directory) a |= FILE_ATTRIBUTE_DIRECTORY;
  if (IsLink()) a |= FILE_ATTRIBUTE_REPARSE_POINT;
  return a == 0 ? static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL) : a;
}

std::shared_ptr<FsNode> FileAt(const Machine::State& s, const std::string& path,
                               bool followFinal) {
  return Find(s, path, followFinal).node;
}

std::shared_ptr<FsNode> MakeDirectories(Machine::State& s, const std::string& path) {
  ParsedPath p = Parse(path);
  if (!p.ok) return nullptr;
  auto& root = s.drives[p.drive];
  if (!root) {
    root = std::make_shared<FsNode>();
    root->name = p.drive;
    root->directory = true;
  }
  std::shared_ptr<FsNode> cur = root;
  for (const std::string& part : p.parts) {
    cur = Through(s, cur, 0);
    if (!cur || !cur->directory) return nullptr;
    auto it = cur->children.find(Upper(part));
    cur = it != cur->children.end() ? it->second : AddChild(s, cur, part, true);
  }
  return Through(s, cur, 0);
}

// ---- Machine: file system set-up and inspection

void Machine::MakeDirectory(const std::string& path) { MakeDirectories(*state_, path); }

namespace {
std::shared_ptr<FsNode> MakeLeaf(Machine::State& s, const std::string& path, bool directory) {
  ParsedPath p = Parse(path);
  if (!p.ok || p.parts.empty()) return nullptr;
  std::string folder = p.drive;
  for (size_t i = 0; i + 1 < p.parts.size(); ++i) folder += "\\" + p.parts[i];
  auto parent = MakeDirectories(s, folder + "\\");
  if (!parent) return nullptr;
  auto it = parent->children.find(Upper(p.parts.back()));
  if (it != parent->children.end()) Detach(it->second);
  return AddChild(s, parent, p.parts.back(), directory);
}
}  // namespace

void Machine::MakeFile(const std::string& path, const std::string& content, DWORD attributes) {
  if (auto node = MakeLeaf(*state_, path, false)) {
    node->content = content;
    node->attributes = StoredAttributes(attributes);
  }
}

void Machine::MakeLink(const std::string& path, const std::string& target, bool directory) {
  if (auto node = MakeLeaf(*state_, path, directory)) {
    node->linkTarget = target;
    node->attributes = directory ? 0 : static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE);
  }
}

bool Machine::PathExists(const std::string& path) const {
  return Find(*state_, path, false).node != nullptr;
}

DWORD Machine::Attributes(const std::string& path) const {
  auto node = Find(*state_, path, false).node;
  return node ? node->ReportedAttributes() : INVALID_FILE_ATTRIBUTES;
}

std::string Machine::FileContent(const std::string& path) const {
  auto node = Find(*state_, path, true).node;
  return node ? node->content : std::string();
}

std::vector<std::string> Machine::ListNames(const std::string& directory) const {
  std::vector<std::string> names;
  auto node = Find(*state_, directory, true).node;
  if (node && node->directory)
    for (auto& child : Ordered(*state_, *node)) names.push_back(child->name);
  return names;
}

void Machine::HoldOpen(const std::string& path) {
  if (auto node = Find(*state_, path, true).node) ++node->heldOpen;
}

void Machine::Release(const std::string& path) {
  auto node = Find(*state_, path, true).node;
  if (node && node->heldOpen > 0) --node->heldOpen;
}

void Machine::DenyListing(const std::string& directory) {
  if (auto node = Find(*state_, directory, true).node) node->denyListing = true;
}

void Machine::SetListingOrder(ListingOrder order) { state_->order = order; }

int Machine::OpenFindHandles() const { return static_cast<int>(state_->finds.size()); }

}  // namespace sim

// ---- Win32: files

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
  const std::string& dir = sim::Machine::current().windowsDirectory;
  if (lpBuffer == nullptr || uSize <= dir.size()) return static_cast<UINT>(dir.size() + 1);
  std::memcpy(lpBuffer, dir.c_str(), dir.size() + 1);
  return static_cast<UINT>(dir.size());
}

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
  if (lpFileName == nullptr) return sim::Fail(ERROR_INVALID_PARAMETER, INVALID_FILE_ATTRIBUTES);
  if (sim::TooLong(lpFileName)) return sim::Fail(ERROR_FILENAME_EXCED_RANGE, INVALID_FILE_ATTRIBUTES);
  sim::Lookup l = sim::Find(sim::S(), lpFileName, false);
  if (!l.node) return sim::Fail(l.error, INVALID_FILE_ATTRIBUTES);
  return l.node->ReportedAttributes();
}

BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) {
  if (lpFileName == nullptr) return sim::Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (sim::TooLong(lpFileName)) return sim::Fail(ERROR_FILENAME_EXCED_RANGE, FALSE);
  sim::Lookup l = sim::Find(sim::S(), lpFileName, false);
  if (!l.node) return sim::Fail(l.error, FALSE);
  l.node->attributes = sim::StoredAttributes(dwFileAttributes);
  return TRUE;
}

HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
  auto& s = sim::S();
  if (lpFileName == nullptr || lpFindFileData == nullptr)
    return sim::Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  if (sim::TooLong(lpFileName)) return sim::Fail(ERROR_FILENAME_EXCED_RANGE, INVALID_HANDLE_VALUE);
  const std::string path = lpFileName;
  const size_t slash = path.find_last_of("\\/");
  const std::string pattern = slash == std::string::npos ? path : path.substr(slash + 1);
  if (slash == std::string::npos || pattern.empty())
    return sim::Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
  sim::Lookup l = sim::Find(s, path.substr(0, slash + 1), true);
  if (!l.node || !l.node->directory) return sim::Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
  if (l.node->denyListing) return sim::Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  sim::FindState f;
  const bool root = l.folder == nullptr;
  if (!root) {
    if (sim::PatternMatches(pattern, ".")) f.entries.push_back({".", l.node});
    if (sim::PatternMatches(pattern, "..")) f.entries.push_back({"..", l.folder});
  }
  for (auto& child : sim::Ordered(s, *l.node))
    if (sim::PatternMatches(pattern, child->name)) f.entries.push_back({child->name, child});
  const sim::FindEntry* first = sim::Next(f);
  if (first == nullptr) return sim::Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
  sim::Fill(*first, lpFindFileData);
  void* h = s.NewHandle();
  s.finds[reinterpret_cast<uintptr_t>(h)] = std::move(f);
  return h;
}

BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
  auto& finds = sim::S().finds;
  auto it = finds.find(reinterpret_cast<uintptr_t>(hFindFile));
  if (it == finds.end()) return sim::Fail(ERROR_INVALID_HANDLE, FALSE);
  const sim::FindEntry* e = sim::Next(it->second);
  if (e == nullptr) return sim::Fail(ERROR_NO_MORE_FILES, FALSE);
  sim::Fill(*e, lpFindFileData);
  return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
  if (!sim::Machine::exists()) return TRUE;
  return sim::S().finds.erase(reinterpret_cast<uintptr_t>(hFindFile))
             ? TRUE
             : sim::Fail(ERROR_INVALID_HANDLE, FALSE);
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
  auto& s = sim::S();
  if (lpFileName == nullptr) return sim::Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (sim::TooLong(lpFileName)) return sim::Fail(ERROR_FILENAME_EXCED_RANGE, FALSE);
  sim::Lookup l = sim::Find(s, lpFileName, false);
  if (!l.node) return sim::Fail(l.error, FALSE);
  if (l.node->directory || (l.node->attributes & FILE_ATTRIBUTE_READONLY))
    return sim::Fail(ERROR_ACCESS_DENIED, FALSE);
  if (l.node->heldOpen > 0 || sim::OpenWithoutDeleteSharing(s, l.node))
    return sim::Fail(ERROR_SHARING_VIOLATION, FALSE);
  sim::Detach(l.node);
  return TRUE;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName) {
  if (lpPathName == nullptr) return sim::Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (sim::TooLong(lpPathName)) return sim::Fail(ERROR_FILENAME_EXCED_RANGE, FALSE);
  sim::Lookup l = sim::Find(sim::S(), lpPathName, false);
  if (!l.node) return sim::Fail(l.error, FALSE);
  if (!l.node->directory) return sim::Fail(ERROR_DIRECTORY, FALSE);
  if (l.folder == nullptr || (l.node->attributes & FILE_ATTRIBUTE_READONLY))
    return sim::Fail(ERROR_ACCESS_DENIED, FALSE);
  if (!l.node->IsLink() && !l.node->children.empty()) return sim::Fail(ERROR_DIR_NOT_EMPTY, FALSE);
  sim::Detach(l.node);
  return TRUE;
}

BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES) {
  auto& s = sim::S();
  if (lpPathName == nullptr) return sim::Fail(ERROR_PATH_NOT_FOUND, FALSE);
  if (sim::TooLong(lpPathName, MAX_PATH - 12)) return sim::Fail(ERROR_FILENAME_EXCED_RANGE, FALSE);
  sim::Lookup l = sim::Find(s, lpPathName, false);
  if (l.node) return sim::Fail(ERROR_ALREADY_EXISTS, FALSE);
  if (l.error != ERROR_FILE_NOT_FOUND) return sim::Fail(l.error, FALSE);
  sim::AddChild(s, l.folder, l.leaf, true);
  return TRUE;
}

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE) {
  auto& s = sim::S();
  if (lpFileName == nullptr) return sim::Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
  if (sim::TooLong(lpFileName)) return sim::Fail(ERROR_FILENAME_EXCED_RANGE, INVALID_HANDLE_VALUE);
  if (dwCreationDisposition < CREATE_NEW || dwCreationDisposition > TRUNCATE_EXISTING)
    return sim::Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  sim::Lookup l = sim::Find(s, lpFileName, true);
  if (!l.node && l.error != ERROR_FILE_NOT_FOUND) return sim::Fail(l.error, INVALID_HANDLE_VALUE);
  const DWORD rights = sim::RightsOf(dwDesiredAccess);
  DWORD lastError = 0;
  std::shared_ptr<sim::FsNode> node = l.node;
  if (node) {
    if (node->directory) return sim::Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    if (dwCreationDisposition == CREATE_NEW) return sim::Fail(ERROR_FILE_EXISTS, INVALID_HANDLE_VALUE);
    const bool truncates =
        dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == TRUNCATE_EXISTING;
    if ((node->attributes & FILE_ATTRIBUTE_READONLY) && ((rights & 0x10006) || truncates))
      return sim::Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    for (auto& entry : s.kernel)
      if (entry.second.kind == sim::KernelKind::File && entry.second.file == node &&
          sim::Conflicts(entry.second, rights, dwShareMode))
        return sim::Fail(ERROR_SHARING_VIOLATION, INVALID_HANDLE_VALUE);
    if (truncates) node->content.clear();
    if (dwCreationDisposition == CREATE_ALWAYS)
      node->attributes = sim::StoredAttributes(dwFlagsAndAttributes) | FILE_ATTRIBUTE_ARCHIVE;
    if (dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS)
      lastError = ERROR_ALREADY_EXISTS;
  } else {
    if (dwCreationDisposition == OPEN_EXISTING || dwCreationDisposition == TRUNCATE_EXISTING)
      return sim::Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    node = sim::AddChild(s, l.folder, l.leaf, false);
    node->attributes = sim::StoredAttributes(dwFlagsAndAttributes) | FILE_ATTRIBUTE_ARCHIVE;
  }
  sim::KernelObject k;
  k.kind = sim::KernelKind::File;
  k.access = dwDesiredAccess;
  k.file = node;
  k.share = dwShareMode;
  void* h = s.NewHandle();
  s.kernel[reinterpret_cast<uintptr_t>(h)] = k;
  SetLastError(lastError);
  return h;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED) {
  sim::KernelObject* k = sim::FileObject(hFile);
  if (k == nullptr) return sim::Fail(ERROR_INVALID_HANDLE, FALSE);
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
  if (!(sim::RightsOf(k->access) & 0x6)) return sim::Fail(ERROR_ACCESS_DENIED, FALSE);
  std::string& content = k->file->content;
  if (content.size() < k->position) content.resize(k->position);
  content.replace(k->position, std::min<size_t>(nNumberOfBytesToWrite, content.size() - k->position),
                  static_cast<const char*>(lpBuffer), nNumberOfBytesToWrite);
  k->position += nNumberOfBytesToWrite;
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = nNumberOfBytesToWrite;
  return TRUE;
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED) {
  sim::KernelObject* k = sim::FileObject(hFile);
  if (k == nullptr) return sim::Fail(ERROR_INVALID_HANDLE, FALSE);
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
  if (!(sim::RightsOf(k->access) & 0x1)) return sim::Fail(ERROR_ACCESS_DENIED, FALSE);
  const std::string& content = k->file->content;
  const size_t available = k->position < content.size() ? content.size() - k->position : 0;
  const size_t n = std::min<size_t>(available, nNumberOfBytesToRead);
  if (n > 0) std::memcpy(lpBuffer, content.data() + k->position, n);
  k->position += n;
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = static_cast<DWORD>(n);
  return TRUE;
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
  sim::KernelObject* k = sim::FileObject(hFile);
  if (k == nullptr) return sim::Fail(ERROR_INVALID_HANDLE, INVALID_FILE_SIZE);
  if (lpFileSizeHigh) *lpFileSizeHigh = 0;
  SetLastError(0);
  return static_cast<DWORD>(k->file->content.size());
}
