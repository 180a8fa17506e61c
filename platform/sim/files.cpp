// The simulated file system: drive-letter paths, case-insensitive names, attributes,
// reparse points, open files with share modes, searches.
//
// Contracts kept from Windows:
// - a path handed to an ANSI function must fit MAX_PATH with its zero (else 206), and
//   CreateDirectoryA's must leave room for an 8.3 name (at most MAX_PATH - 12 characters);
// - so must a path handed to a wide function (else 3; 206 for CreateDirectoryW past
//   MAX_PATH - 12), unless it has the "\\?\" form: "\\?\X:\..." may hold 32,767 characters
//   and is taken as written, split at '\' only, "." and ".." being invalid names (123);
//   "\\?\UNC\..." (shares) is not modelled and is not found;
// - a missing last component answers 2, a missing folder on the way 3;
// - a reparse point met on the way is followed; as the last component it is the link itself
//   (GetFileAttributesA, RemoveDirectoryA and DeleteFileA act on the link, never the target);
// - every listing of a folder that is not a drive root starts with "." and "..";
// - share modes are weighed only between opens that both ask for data rights (read, write,
//   append, execute) or DELETE, whichever name of the file they came through;
// - the hard links of a file share its attributes and content; each name goes on its own.
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
  DWORD error = ERROR_PATH_NOT_FOUND;  // why it is not ok
  std::u16string drive;  // "C:"
  std::vector<std::u16string> parts;
};

const char16_t kExtendedPrefix[] = u"\\\\?\\";

bool IsExtended(const std::u16string& path) { return path.compare(0, 4, kExtendedPrefix) == 0; }

bool IsDriveLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// "X:\..." after the "\\?\" prefix, as Windows hands it to the file system: no separator but
// '\', and "." and ".." (or a name holding '/') are names no file system accepts.
ParsedPath ParseExtended(const std::u16string& path) {
  ParsedPath p;
  if (path.size() < 2 || !IsDriveLetter(path[0]) || path[1] != u':') return p;
  p.drive = UpperW(path.substr(0, 2));
  std::u16string::size_type start = 2;
  while (start <= path.size()) {
    const auto end = std::min(path.find(u'\\', start), path.size());
    const std::u16string part = path.substr(start, end - start);
    start = end + 1;
    if (part.empty()) continue;
    if (part == u"." || part == u".." || part.find(u'/') != std::u16string::npos) {
      p.error = ERROR_INVALID_NAME;
      return p;
    }
    p.parts.push_back(part);
  }
  p.ok = true;
  return p;
}

ParsedPath Parse(const std::u16string& path) {
  if (IsExtended(path)) return ParseExtended(path.substr(4));
  ParsedPath p;
  if (path.size() < 2 || !IsDriveLetter(path[0]) || path[1] != u':') return p;
  p.drive = UpperW(path.substr(0, 2));
  for (const std::u16string& part : SplitPathW(path.substr(2))) {
    if (part == u".") continue;
    if (part == u"..") {
      if (!p.parts.empty()) p.parts.pop_back();
      continue;
    }
    p.parts.push_back(part);
  }
  p.ok = true;
  return p;
}

// The upper-case, normalised form of a path, to compare two names of one place.
std::u16string Normalised(const std::u16string& path) {
  ParsedPath p = Parse(path);
  std::u16string out = p.drive;
  for (const std::u16string& part : p.parts) out += u"\\" + UpperW(part);
  return out;
}

struct Lookup {
  DWORD error = ERROR_SUCCESS;  // 3 when the way is missing; 2 when only the last part is
  std::shared_ptr<FsNode> folder;  // the folder that holds (or would hold) the last part
  std::shared_ptr<FsNode> node;    // null when absent
  std::u16string leaf;
};

Lookup Find(const Machine::State& s, const std::u16string& path, bool followFinal,
            int depth = 0);

// The folder a node stands for when the way goes through it (links are followed).
std::shared_ptr<FsNode> Through(const Machine::State& s, std::shared_ptr<FsNode> node, int depth) {
  if (node && node->IsLink()) {
    if (depth > 32) return nullptr;
    return Find(s, node->linkTarget, true, depth + 1).node;
  }
  return node;
}

Lookup Find(const Machine::State& s, const std::u16string& path, bool followFinal, int depth) {
  Lookup l;
  ParsedPath p = Parse(path);
  auto drive = p.ok ? s.drives.find(p.drive) : s.drives.end();
  if (drive == s.drives.end()) {
    l.error = p.ok ? ERROR_PATH_NOT_FOUND : p.error;
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
    auto it = cur->children.find(UpperW(p.parts[i]));
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
  auto it = cur->children.find(UpperW(l.leaf));
  if (it == cur->children.end()) {
    l.error = ERROR_FILE_NOT_FOUND;
    return l;
  }
  l.node = followFinal ? Through(s, it->second, depth) : it->second;
  if (!l.node) l.error = ERROR_FILE_NOT_FOUND;
  return l;
}

// Why a wide function refuses `path` for its length, or 0: past MAX_PATH with its zero
// Windows cannot make it a path of the file system (3), unless it has the "\\?\" form, whose
// limit is 32,767 characters (206). CreateDirectoryW passes its own limit (MAX_PATH - 12,
// else 206).
DWORD LengthError(const std::u16string& path, size_t limit = MAX_PATH - 1) {
  if (IsExtended(path)) return path.size() > 32767 ? ERROR_FILENAME_EXCED_RANGE : 0;
  if (path.size() > MAX_PATH - 1) return ERROR_PATH_NOT_FOUND;
  return path.size() > limit ? ERROR_FILENAME_EXCED_RANGE : 0;
}

// The length error of a call's first name, else of its second, else 0.
DWORD LengthError(const std::u16string& first, const std::u16string& second) {
  const DWORD e = LengthError(first);
  return e != 0 ? e : LengthError(second);
}

// A path handed to an ANSI function, read through the ANSI code page into its buffer of
// MAX_PATH characters: false when it does not fit (206), "\\?\" or not.
bool NarrowPath(LPCSTR name, std::u16string& path) {
  path = FromAcp(name);
  return path.size() < MAX_PATH;
}

std::shared_ptr<FsNode> AddChild(Machine::State& s, const std::shared_ptr<FsNode>& folder,
                                 const std::u16string& name, bool directory) {
  auto node = std::make_shared<FsNode>();
  node->name = name;
  node->directory = directory;
  node->parent = folder.get();
  node->sequence = s.nextSequence++;
  folder->children[UpperW(name)] = node;
  return node;
}

void Detach(std::shared_ptr<FsNode> node) {  // a copy: the reference may be the map entry it erases
  if (node->parent) node->parent->children.erase(UpperW(node->name));
  node->parent = nullptr;
  node->removed = true;
}

DWORD RightsOf(DWORD access);
bool TakesPartInSharing(DWORD rights);

// Whether two names are one file: the same name, or two hard links of it. Share modes hold
// for the file, whichever name it was opened by.
bool SameFile(const std::shared_ptr<FsNode>& a, const std::shared_ptr<FsNode>& b) {
  return a == b || (a->hardLinks != nullptr && a->hardLinks == b->hardLinks);
}

// Whether an open of `node` keeps a DELETE open out (deleting, removing, renaming it).
bool OpenWithoutDeleteSharing(const Machine::State& s, const std::shared_ptr<FsNode>& node) {
  for (auto& entry : s.kernel) {
    const KernelObject& k = entry.second;
    if (k.kind == KernelKind::File && SameFile(k.file, node) && !(k.share & FILE_SHARE_DELETE) &&
        TakesPartInSharing(RightsOf(k.access)))
      return true;
  }
  return false;
}

// The names a file has in the folders now.
int LinkCountOf(const FsNode& node) {
  if (node.removed) return 0;
  if (!node.hardLinks) return 1;
  int count = 0;
  for (const std::weak_ptr<FsNode>& name : *node.hardLinks) {
    const std::shared_ptr<FsNode> other = name.lock();
    if (other && !other->removed) ++count;
  }
  return count;
}

// After a change through one name, every other name of the file shows it too.
void ShareWithOtherNames(const FsNode& changed) {
  if (!changed.hardLinks) return;
  for (const std::weak_ptr<FsNode>& name : *changed.hardLinks) {
    const std::shared_ptr<FsNode> other = name.lock();
    if (!other || other.get() == &changed) continue;
    other->attributes = changed.attributes;
    other->content = changed.content;
  }
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

bool Matches(const char16_t* pattern, const char16_t* name) {
  for (; *pattern; ++pattern, ++name) {
    if (*pattern == u'*') {
      for (const char16_t* rest = name;; ++rest) {
        if (Matches(pattern + 1, rest)) return true;
        if (*rest == 0) return false;
      }
    }
    if (*name == 0) return false;
    if (*pattern != u'?' && UpperUnit(*pattern) != UpperUnit(*name)) return false;
  }
  return *name == 0;
}

bool PatternMatches(const std::u16string& pattern, const std::u16string& name) {
  if (pattern == u"*" || pattern == u"*.*") return true;
  return Matches(pattern.c_str(), name.c_str());
}

template <typename Data>
void FillCommon(const FindEntry& e, Data* data) {
  std::memset(data, 0, sizeof(*data));
  data->dwFileAttributes = e.node->ReportedAttributes();
  data->nFileSizeLow = e.node->directory ? 0 : static_cast<DWORD>(e.node->content.size());
}

void Fill(const FindEntry& e, WIN32_FIND_DATAW* data) {
  FillCommon(e, data);
  const size_t n = std::min(e.name.size(), MAX_PATH - size_t{1});
  e.name.copy(data->cFileName, n);
}

// The narrow listing converts each name with the code page's best-fit mapping, as Windows
// does: U+FF3C comes back as '\', a character with no mapping as '?'.
void Fill(const FindEntry& e, WIN32_FIND_DATAA* data) {
  FillCommon(e, data);
  const std::string name = ToAcp(e.name, true);
  const size_t n = std::min(name.size(), sizeof(data->cFileName) - 1);
  std::memcpy(data->cFileName, name.data(), n);
}

// The next entry of a search that is still in its folder (entries deleted meanwhile are
// skipped), or null.
const FindEntry* Next(FindState& f) {
  while (f.next < f.entries.size()) {
    const FindEntry& e = f.entries[f.next++];
    if (e.name == u"." || e.name == u".." || !e.node->removed) return &e;
  }
  return nullptr;
}

// Runs (once) the test's action registered in `races` for `path`, already normalised.
void RunRace(std::vector<Machine::State::ListingRace>& races, const std::u16string& path) {
  for (auto it = races.begin(); it != races.end(); ++it) {
    if (it->path != path) continue;
    std::function<void()> action = std::move(it->action);
    races.erase(it);
    action();
    return;
  }
}

// Runs (once) a test's action registered for the entry just handed out.
void RunListingRace(Machine::State& s, const std::u16string& folder, const FindEntry& e) {
  if (s.listingRaces.empty() || e.name == u"." || e.name == u"..") return;
  RunRace(s.listingRaces, Normalised(folder + e.name));
}

KernelObject* FileObject(HANDLE h) {
  auto& kernel = S().kernel;
  auto it = kernel.find(reinterpret_cast<uintptr_t>(h));
  if (it == kernel.end() || it->second.kind != KernelKind::File) return nullptr;
  return &it->second;
}

// The specific rights an access mask asks for, generic rights mapped as for files.
DWORD RightsOf(DWORD access) {
  DWORD r = access & 0xFFFF;
  if (access & GENERIC_READ) r |= FILE_READ_DATA;
  if (access & GENERIC_WRITE) r |= FILE_WRITE_DATA | FILE_APPEND_DATA;
  if (access & GENERIC_EXECUTE) r |= FILE_EXECUTE;
  if (access & GENERIC_ALL) r |= FILE_READ_DATA | FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_EXECUTE | DELETE;
  if (access & DELETE) r |= DELETE;
  return r;
}

constexpr DWORD kReadRights = FILE_READ_DATA | FILE_EXECUTE;
constexpr DWORD kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA;

// As Windows checks share modes: only opens asking for data or delete rights take part, on
// both sides; an open for attributes alone neither is refused nor refuses anyone.
bool TakesPartInSharing(DWORD rights) { return (rights & (kReadRights | kWriteRights | DELETE)) != 0; }

bool Conflicts(const KernelObject& open, DWORD rights, DWORD share) {
  const DWORD held = RightsOf(open.access);
  if (!TakesPartInSharing(rights) || !TakesPartInSharing(held)) return false;
  if ((rights & kReadRights) && !(open.share & FILE_SHARE_READ)) return true;
  if ((rights & kWriteRights) && !(open.share & FILE_SHARE_WRITE)) return true;
  if ((rights & DELETE) && !(open.share & FILE_SHARE_DELETE)) return true;
  if ((held & kReadRights) && !(share & FILE_SHARE_READ)) return true;
  if ((held & kWriteRights) && !(share & FILE_SHARE_WRITE)) return true;
  if ((held & DELETE) && !(share & FILE_SHARE_DELETE)) return true;
  return false;
}

}  // namespace

DWORD FsNode::ReportedAttributes() const {
  DWORD a = attributes;
  if (directory) a |= FILE_ATTRIBUTE_DIRECTORY;
  if (IsLink()) a |= FILE_ATTRIBUTE_REPARSE_POINT;
  return a == 0 ? static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL) : a;
}

std::shared_ptr<FsNode> FileAt(const Machine::State& s, const std::u16string& path,
                               bool followFinal) {
  return Find(s, path, followFinal).node;
}

std::shared_ptr<FsNode> MakeDirectories(Machine::State& s, const std::u16string& path) {
  ParsedPath p = Parse(path);
  if (!p.ok) return nullptr;
  auto& root = s.drives[p.drive];
  if (!root) {
    root = std::make_shared<FsNode>();
    root->name = p.drive;
    root->directory = true;
  }
  std::shared_ptr<FsNode> cur = root;
  for (const std::u16string& part : p.parts) {
    cur = Through(s, cur, 0);
    if (!cur || !cur->directory) return nullptr;
    auto it = cur->children.find(UpperW(part));
    cur = it != cur->children.end() ? it->second : AddChild(s, cur, part, true);
  }
  return Through(s, cur, 0);
}

// ---- Machine: file system set-up and inspection. The narrow forms read their bytes as the
// code page's characters.

void Machine::MakeDirectory(const std::string& path) { MakeDirectoryW(FromAnsi(path)); }
void Machine::MakeDirectoryW(const std::u16string& path) { MakeDirectories(*state_, path); }

namespace {
std::shared_ptr<FsNode> MakeLeaf(Machine::State& s, const std::u16string& path, bool directory) {
  ParsedPath p = Parse(path);
  if (!p.ok || p.parts.empty()) return nullptr;
  std::u16string folder = p.drive;
  for (size_t i = 0; i + 1 < p.parts.size(); ++i) folder += u"\\" + p.parts[i];
  auto parent = MakeDirectories(s, folder + u"\\");
  if (!parent) return nullptr;
  auto it = parent->children.find(UpperW(p.parts.back()));
  if (it != parent->children.end()) Detach(it->second);
  return AddChild(s, parent, p.parts.back(), directory);
}
}  // namespace

void Machine::MakeFile(const std::string& path, const std::string& content, DWORD attributes) {
  MakeFileW(FromAnsi(path), content, attributes);
}

void Machine::MakeFileW(const std::u16string& path, const std::string& content,
                        DWORD attributes) {
  if (auto node = MakeLeaf(*state_, path, false)) {
    node->content = content;
    node->attributes = StoredAttributes(attributes);
  }
}

void Machine::MakeLink(const std::string& path, const std::string& target, bool directory) {
  MakeLinkW(FromAnsi(path), FromAnsi(target), directory);
}

void Machine::MakeLinkW(const std::u16string& path, const std::u16string& target,
                        bool directory) {
  if (auto node = MakeLeaf(*state_, path, directory)) {
    node->linkTarget = target;
    node->attributes = directory ? 0 : static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE);
  }
}

bool Machine::PathExists(const std::string& path) const { return PathExistsW(FromAnsi(path)); }

bool Machine::PathExistsW(const std::u16string& path) const {
  return Find(*state_, path, false).node != nullptr;
}

DWORD Machine::Attributes(const std::string& path) const {
  auto node = Find(*state_, FromAnsi(path), false).node;
  return node ? node->ReportedAttributes() : INVALID_FILE_ATTRIBUTES;
}

std::string Machine::FileContent(const std::string& path) const {
  auto node = Find(*state_, FromAnsi(path), true).node;
  return node ? node->content : std::string();
}

std::vector<std::string> Machine::ListNames(const std::string& directory) const {
  std::vector<std::string> names;
  for (const std::u16string& name : ListNamesW(FromAnsi(directory)))
    names.push_back(ToAnsi(name, true));
  return names;
}

std::vector<std::u16string> Machine::ListNamesW(const std::u16string& directory) const {
  std::vector<std::u16string> names;
  auto node = Find(*state_, directory, true).node;
  if (node && node->directory)
    for (auto& child : Ordered(*state_, *node)) names.push_back(child->name);
  return names;
}

void Machine::HoldOpen(const std::string& path) {
  if (auto node = Find(*state_, FromAnsi(path), true).node) ++node->heldOpen;
}

void Machine::Release(const std::string& path) {
  auto node = Find(*state_, FromAnsi(path), true).node;
  if (node && node->heldOpen > 0) --node->heldOpen;
}

void Machine::DenyListing(const std::string& directory) {
  if (auto node = Find(*state_, FromAnsi(directory), true).node) node->denyListing = true;
}

void Machine::SetListingOrder(ListingOrder order) { state_->order = order; }

int Machine::OpenFindHandles() const { return static_cast<int>(state_->finds.size()); }

void Machine::OnListed(const std::u16string& path, std::function<void()> action) {
  state_->listingRaces.push_back({Normalised(path), std::move(action)});
}

void Machine::OnCreated(const std::u16string& path, std::function<void()> action) {
  state_->creationRaces.push_back({Normalised(path), std::move(action)});
}

int Machine::LinkCount(const std::string& path) const {
  auto node = Find(*state_, FromAnsi(path), false).node;
  return node ? LinkCountOf(*node) : 0;
}

// ---- the wide operations, which the narrow entry points share

namespace {

DWORD AttributesOf(const std::u16string& path) {
  if (const DWORD e = LengthError(path)) return Fail(e, INVALID_FILE_ATTRIBUTES);
  Lookup l = Find(S(), path, false);
  if (!l.node) return Fail(l.error, INVALID_FILE_ATTRIBUTES);
  return l.node->ReportedAttributes();
}

BOOL SetAttributes(const std::u16string& path, DWORD attributes) {
  RecordOpen(S(), OpenKind::File, path, FILE_WRITE_ATTRIBUTES);
  if (const DWORD e = LengthError(path)) return Fail(e, FALSE);
  Lookup l = Find(S(), path, false);
  if (!l.node) return Fail(l.error, FALSE);
  l.node->attributes = StoredAttributes(attributes);
  ShareWithOtherNames(*l.node);
  return TRUE;
}

template <typename Data>
HANDLE FindFirst(const std::u16string& path, Data* data) {
  auto& s = S();
  if (const DWORD e = LengthError(path)) return Fail(e, INVALID_HANDLE_VALUE);
  const size_t slash = path.find_last_of(u"\\/");
  const std::u16string pattern = slash == std::u16string::npos ? path : path.substr(slash + 1);
  if (slash == std::u16string::npos || pattern.empty())
    return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
  FindState f;
  f.folder = path.substr(0, slash + 1);
  Lookup l = Find(s, f.folder, true);
  if (!l.node || !l.node->directory) return Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
  if (l.node->denyListing) return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  const bool root = l.folder == nullptr;
  if (!root) {
    if (PatternMatches(pattern, u".")) f.entries.push_back({u".", l.node});
    if (PatternMatches(pattern, u"..")) f.entries.push_back({u"..", l.folder});
  }
  for (auto& child : Ordered(s, *l.node))
    if (PatternMatches(pattern, child->name)) f.entries.push_back({child->name, child});
  const FindEntry* first = Next(f);
  if (first == nullptr) return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
  Fill(*first, data);
  const FindEntry handedOut = *first;
  const std::u16string folder = f.folder;
  void* h = s.NewHandle();
  s.finds[reinterpret_cast<uintptr_t>(h)] = std::move(f);
  RunListingRace(s, folder, handedOut);
  return h;
}

template <typename Data>
BOOL FindNext(HANDLE find, Data* data) {
  auto& s = S();
  auto it = s.finds.find(reinterpret_cast<uintptr_t>(find));
  if (it == s.finds.end()) return Fail(ERROR_INVALID_HANDLE, FALSE);
  const FindEntry* e = Next(it->second);
  if (e == nullptr) return Fail(ERROR_NO_MORE_FILES, FALSE);
  Fill(*e, data);
  const FindEntry handedOut = *e;
  RunListingRace(s, it->second.folder, handedOut);
  return TRUE;
}

BOOL DeleteFileNamed(const std::u16string& path) {
  RecordOpen(S(), OpenKind::File, path, DELETE);
  auto& s = S();
  if (const DWORD e = LengthError(path)) return Fail(e, FALSE);
  Lookup l = Find(s, path, false);
  if (!l.node) return Fail(l.error, FALSE);
  if (l.node->directory || (l.node->attributes & FILE_ATTRIBUTE_READONLY))
    return Fail(ERROR_ACCESS_DENIED, FALSE);
  if (l.node->heldOpen > 0 || OpenWithoutDeleteSharing(s, l.node))
    return Fail(ERROR_SHARING_VIOLATION, FALSE);
  Detach(l.node);
  return TRUE;
}

// A folder (or a directory link, as itself) opened without FILE_SHARE_DELETE cannot be
// removed while that handle is open, as with a file.
BOOL RemoveDirectoryNamed(const std::u16string& path) {
  RecordOpen(S(), OpenKind::File, path, DELETE);
  auto& s = S();
  if (const DWORD e = LengthError(path)) return Fail(e, FALSE);
  Lookup l = Find(s, path, false);
  if (!l.node) return Fail(l.error, FALSE);
  if (!l.node->directory) return Fail(ERROR_DIRECTORY, FALSE);
  if (l.folder == nullptr || (l.node->attributes & FILE_ATTRIBUTE_READONLY))
    return Fail(ERROR_ACCESS_DENIED, FALSE);
  if (!l.node->IsLink() && !l.node->children.empty()) return Fail(ERROR_DIR_NOT_EMPTY, FALSE);
  if (OpenWithoutDeleteSharing(s, l.node)) return Fail(ERROR_SHARING_VIOLATION, FALSE);
  Detach(l.node);
  return TRUE;
}

BOOL CreateDirectoryNamed(const std::u16string& path) {
  RecordOpen(S(), OpenKind::File, path, FILE_ADD_SUBDIRECTORY);
  auto& s = S();
  if (const DWORD e = LengthError(path, MAX_PATH - 12)) return Fail(e, FALSE);
  Lookup l = Find(s, path, false);
  if (l.node) return Fail(ERROR_ALREADY_EXISTS, FALSE);
  if (l.error != ERROR_FILE_NOT_FOUND) return Fail(l.error, FALSE);
  AddChild(s, l.folder, l.leaf, true);
  return TRUE;
}

HANDLE NewFileHandle(Machine::State& s, std::shared_ptr<FsNode> node, DWORD access, DWORD share) {
  KernelObject k;
  k.kind = KernelKind::File;
  k.access = access;
  k.file = std::move(node);
  k.share = share;
  void* h = s.NewHandle();
  s.kernel[reinterpret_cast<uintptr_t>(h)] = k;
  return h;
}

bool SharingConflict(const Machine::State& s, const std::shared_ptr<FsNode>& node, DWORD rights,
                     DWORD share) {
  for (auto& entry : s.kernel)
    if (entry.second.kind == KernelKind::File && SameFile(entry.second.file, node) &&
        Conflicts(entry.second, rights, share))
      return true;
  return false;
}

// Where an open or a creation at `path` lands. Following a link at the final name leads to
// its target even when nothing is there yet: a mount point aimed at a missing file makes a
// creation put the file there.
Lookup FindForOpen(const Machine::State& s, const std::u16string& path, bool follow,
                   int depth = 0) {
  Lookup l = Find(s, path, false);
  if (!follow || !l.node || !l.node->IsLink()) return l;
  if (depth > 32) {
    Lookup loop;
    loop.error = ERROR_PATH_NOT_FOUND;
    return loop;
  }
  return FindForOpen(s, l.node->linkTarget, follow, depth + 1);
}

// Runs (once) a test's action registered for a file just created at `path`.
void RunCreationRace(Machine::State& s, const std::u16string& path) {
  RunRace(s.creationRaces, Normalised(path));
}

// FILE_FLAG_OPEN_REPARSE_POINT opens a link itself; without it a link is followed. A folder
// opens only with FILE_FLAG_BACKUP_SEMANTICS and only as an existing one.
HANDLE CreateFileNamed(const std::u16string& path, DWORD access, DWORD share, DWORD disposition,
                       DWORD flags) {
  RecordOpen(S(), OpenKind::File, path, access);
  auto& s = S();
  if (const DWORD e = LengthError(path)) return Fail(e, INVALID_HANDLE_VALUE);
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING)
    return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  Lookup l = FindForOpen(s, path, (flags & FILE_FLAG_OPEN_REPARSE_POINT) == 0);
  if (!l.node && l.error != ERROR_FILE_NOT_FOUND) return Fail(l.error, INVALID_HANDLE_VALUE);
  const DWORD rights = RightsOf(access);
  DWORD lastError = 0;
  std::shared_ptr<FsNode> node = l.node;
  if (node) {
    if (node->directory) {
      if (!(flags & FILE_FLAG_BACKUP_SEMANTICS))
        return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
      if (disposition == CREATE_NEW) return Fail(ERROR_FILE_EXISTS, INVALID_HANDLE_VALUE);
      if (disposition != OPEN_EXISTING && disposition != OPEN_ALWAYS)
        return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
      if (node->denyListing && (rights & FILE_LIST_DIRECTORY))
        return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
      if (SharingConflict(s, node, rights, share))
        return Fail(ERROR_SHARING_VIOLATION, INVALID_HANDLE_VALUE);
      SetLastError(disposition == OPEN_ALWAYS ? ERROR_ALREADY_EXISTS : 0);
      return NewFileHandle(s, node, access, share);
    }
    if (disposition == CREATE_NEW) return Fail(ERROR_FILE_EXISTS, INVALID_HANDLE_VALUE);
    const bool truncates = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
    if ((node->attributes & FILE_ATTRIBUTE_READONLY) && ((rights & 0x10006) || truncates))
      return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    if (SharingConflict(s, node, rights, share))
      return Fail(ERROR_SHARING_VIOLATION, INVALID_HANDLE_VALUE);
    if (truncates) node->content.clear();
    if (disposition == CREATE_ALWAYS)
      node->attributes = StoredAttributes(flags) | FILE_ATTRIBUTE_ARCHIVE;
    ShareWithOtherNames(*node);
    if (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) lastError = ERROR_ALREADY_EXISTS;
  } else {
    if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING)
      return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    node = AddChild(s, l.folder, l.leaf, false);
    node->attributes = StoredAttributes(flags) | FILE_ATTRIBUTE_ARCHIVE;
  }
  HANDLE h = NewFileHandle(s, node, access, share);
  if (!l.node) RunCreationRace(s, path);
  SetLastError(lastError);
  return h;
}

// Why `to` cannot become a new name of `from`'s file (a hard link, a rename), or 0: it exists
// (183), the way to it is missing, or it lies on another drive (17). `target` is what `to`
// finds.
DWORD NewNameError(const Lookup& target, const std::u16string& to, const std::u16string& from) {
  if (target.node) return ERROR_ALREADY_EXISTS;
  if (target.error != ERROR_FILE_NOT_FOUND) return target.error;
  return Parse(from).drive != Parse(to).drive ? ERROR_NOT_SAME_DEVICE : 0;
}

// CreateHardLinkW: a new name `link` for the existing file `existing` (not a folder), on its
// drive. The new name starts with the file's attributes and content and stays equal to it.
BOOL CreateHardLinkNamed(const std::u16string& link, const std::u16string& existing) {
  auto& s = S();
  if (const DWORD e = LengthError(link, existing)) return Fail(e, FALSE);
  const Lookup from = Find(s, existing, false);
  if (!from.node) return Fail(from.error, FALSE);
  if (from.node->directory) return Fail(ERROR_ACCESS_DENIED, FALSE);
  const Lookup to = Find(s, link, false);
  if (const DWORD e = NewNameError(to, link, existing)) return Fail(e, FALSE);
  const std::shared_ptr<FsNode> name = AddChild(s, to.folder, to.leaf, false);
  name->attributes = from.node->attributes;
  name->content = from.node->content;
  name->linkTarget = from.node->linkTarget;
  name->sequence = from.node->sequence;  // one file: one file index
  if (!from.node->hardLinks)
    from.node->hardLinks = std::make_shared<std::vector<std::weak_ptr<FsNode>>>(
        1, std::weak_ptr<FsNode>(from.node));
  from.node->hardLinks->push_back(name);
  name->hardLinks = from.node->hardLinks;
  return TRUE;
}

// MoveFileW within one drive. The source is opened for DELETE as Windows does: an open of it
// that takes part in sharing without FILE_SHARE_DELETE refuses the rename (32). An existing
// new name answers 183; a folder is not moved into itself (5); moves between drives are not
// modelled (17).
BOOL RenameNamed(const std::u16string& from, const std::u16string& to) {
  auto& s = S();
  if (const DWORD e = LengthError(from, to)) return Fail(e, FALSE);
  const Lookup source = Find(s, from, false);
  if (!source.node) return Fail(source.error, FALSE);
  if (source.folder == nullptr) return Fail(ERROR_ACCESS_DENIED, FALSE);  // a drive's root
  const Lookup target = Find(s, to, false);
  if (const DWORD e = NewNameError(target, to, from)) return Fail(e, FALSE);
  for (const FsNode* f = target.folder.get(); f != nullptr; f = f->parent)
    if (f == source.node.get()) return Fail(ERROR_ACCESS_DENIED, FALSE);
  if (source.node->heldOpen > 0 || OpenWithoutDeleteSharing(s, source.node))
    return Fail(ERROR_SHARING_VIOLATION, FALSE);
  const std::shared_ptr<FsNode> node = source.node;
  source.folder->children.erase(UpperW(node->name));
  node->name = target.leaf;
  node->parent = target.folder.get();
  target.folder->children[UpperW(target.leaf)] = node;
  return TRUE;
}

// The deletions a restart performs; a REG_MULTI_SZ of pairs (old name, new name).
const char16_t kSessionManager[] = u"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char16_t kPendingOperations[] = u"PendingFileRenameOperations";

std::vector<std::u16string> MultiStrings(const std::string& bytes) {
  std::vector<std::u16string> items;
  std::u16string item;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                (static_cast<unsigned char>(bytes[i + 1]) << 8));
    if (unit == 0) {
      items.push_back(item);
      item.clear();
    } else {
      item += unit;
    }
  }
  if (!item.empty()) items.push_back(item);
  // The list ends with an empty string (the second zero), which is no entry.
  if (!items.empty() && items.back().empty() && items.size() % 2 == 1) items.pop_back();
  return items;
}

std::u16string WithoutNtPrefix(const std::u16string& path) {
  return path.compare(0, 4, u"\\??\\") == 0 ? path.substr(4) : path;
}

// A restart ends every process, so no open handle protects a name; a folder that is not empty
// and a read-only file stay, as the session manager's delete leaves them.
bool DeleteAtRestart(Machine::State& s, const std::u16string& path) {
  Lookup l = Find(s, path, false);
  if (!l.node || l.folder == nullptr) return false;
  if (l.node->attributes & FILE_ATTRIBUTE_READONLY) return false;
  if (l.node->directory && !l.node->IsLink() && !l.node->children.empty()) return false;
  Detach(l.node);
  return true;
}

}  // namespace

std::vector<std::u16string> Machine::PerformPendingFileOperations() {
  std::vector<std::u16string> stayed;
  auto key = RegistryKeyAtW(*state_, HKEY_LOCAL_MACHINE, kSessionManager);
  RegValue* value = key ? key->FindValue(kPendingOperations) : nullptr;
  if (value == nullptr) return stayed;
  const std::vector<std::u16string> items = MultiStrings(value->data);
  for (size_t i = 0; i + 1 < items.size(); i += 2) {
    const std::u16string path = WithoutNtPrefix(items[i]);
    if (!items[i + 1].empty() || !DeleteAtRestart(*state_, path)) stayed.push_back(path);
  }
  key->values.erase(key->values.begin() + (value - key->values.data()));
  return stayed;
}

}  // namespace sim

using sim::Fail;
using sim::FromAnsi;

// ---- Win32: files. A narrow name is read as the code page's characters; a listed name is
// written back with the code page's best-fit mapping. A name is first seen through the
// program's view of the system folder (ProgramView, wow64.cpp).

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
  const std::string dir = sim::ToAcp(FromAnsi(sim::Machine::current().windowsDirectory), true);
  if (lpBuffer == nullptr || uSize <= dir.size()) return static_cast<UINT>(dir.size() + 1);
  std::memcpy(lpBuffer, dir.c_str(), dir.size() + 1);
  return static_cast<UINT>(dir.size());
}

UINT WINAPI GetWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize) {
  const std::u16string dir = FromAnsi(sim::Machine::current().windowsDirectory);
  if (lpBuffer == nullptr || uSize <= dir.size()) return static_cast<UINT>(dir.size() + 1);
  dir.copy(lpBuffer, dir.size());
  lpBuffer[dir.size()] = 0;
  return static_cast<UINT>(dir.size());
}

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
  if (lpFileName == nullptr) return Fail(ERROR_INVALID_PARAMETER, INVALID_FILE_ATTRIBUTES);
  std::u16string path;
  if (!sim::NarrowPath(lpFileName, path))
    return Fail(ERROR_FILENAME_EXCED_RANGE, INVALID_FILE_ATTRIBUTES);
  return sim::AttributesOf(sim::ProgramView(path));
}

DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName) {
  if (lpFileName == nullptr) return Fail(ERROR_INVALID_PARAMETER, INVALID_FILE_ATTRIBUTES);
  return sim::AttributesOf(sim::ProgramView(lpFileName));
}

BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) {
  if (lpFileName == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  std::u16string path;
  if (!sim::NarrowPath(lpFileName, path)) return Fail(ERROR_FILENAME_EXCED_RANGE, FALSE);
  return sim::SetAttributes(sim::ProgramView(path), dwFileAttributes);
}

BOOL WINAPI SetFileAttributesW(LPCWSTR lpFileName, DWORD dwFileAttributes) {
  if (lpFileName == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  return sim::SetAttributes(sim::ProgramView(lpFileName), dwFileAttributes);
}

HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
  if (lpFileName == nullptr || lpFindFileData == nullptr)
    return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  std::u16string path;
  if (!sim::NarrowPath(lpFileName, path))
    return Fail(ERROR_FILENAME_EXCED_RANGE, INVALID_HANDLE_VALUE);
  return sim::FindFirst(sim::ProgramView(path), lpFindFileData);
}

HANDLE WINAPI FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
  if (lpFileName == nullptr || lpFindFileData == nullptr)
    return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  return sim::FindFirst(sim::ProgramView(lpFileName), lpFindFileData);
}

BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
  return sim::FindNext(hFindFile, lpFindFileData);
}

BOOL WINAPI FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData) {
  return sim::FindNext(hFindFile, lpFindFileData);
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
  if (!sim::Machine::exists()) return TRUE;
  return sim::S().finds.erase(reinterpret_cast<uintptr_t>(hFindFile))
             ? TRUE
             : Fail(ERROR_INVALID_HANDLE, FALSE);
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
  if (lpFileName == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  std::u16string path;
  if (!sim::NarrowPath(lpFileName, path)) return Fail(ERROR_FILENAME_EXCED_RANGE, FALSE);
  return sim::DeleteFileNamed(sim::ProgramView(path));
}

BOOL WINAPI DeleteFileW(LPCWSTR lpFileName) {
  if (lpFileName == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  return sim::DeleteFileNamed(sim::ProgramView(lpFileName));
}

BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName) {
  if (lpPathName == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  std::u16string path;
  if (!sim::NarrowPath(lpPathName, path)) return Fail(ERROR_FILENAME_EXCED_RANGE, FALSE);
  return sim::RemoveDirectoryNamed(sim::ProgramView(path));
}

BOOL WINAPI RemoveDirectoryW(LPCWSTR lpPathName) {
  if (lpPathName == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  return sim::RemoveDirectoryNamed(sim::ProgramView(lpPathName));
}

BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES) {
  if (lpPathName == nullptr) return Fail(ERROR_PATH_NOT_FOUND, FALSE);
  std::u16string path;
  if (!sim::NarrowPath(lpPathName, path)) return Fail(ERROR_FILENAME_EXCED_RANGE, FALSE);
  return sim::CreateDirectoryNamed(sim::ProgramView(path));
}

BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES) {
  if (lpPathName == nullptr) return Fail(ERROR_PATH_NOT_FOUND, FALSE);
  return sim::CreateDirectoryNamed(sim::ProgramView(lpPathName));
}

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE) {
  if (lpFileName == nullptr) return Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
  std::u16string path;
  if (!sim::NarrowPath(lpFileName, path))
    return Fail(ERROR_FILENAME_EXCED_RANGE, INVALID_HANDLE_VALUE);
  return sim::CreateFileNamed(sim::ProgramView(path), dwDesiredAccess, dwShareMode,
                              dwCreationDisposition, dwFlagsAndAttributes);
}

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE) {
  if (lpFileName == nullptr) return Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
  return sim::CreateFileNamed(sim::ProgramView(lpFileName), dwDesiredAccess, dwShareMode,
                              dwCreationDisposition, dwFlagsAndAttributes);
}

BOOL WINAPI GetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION info) {
  sim::KernelObject* k = sim::FileObject(hFile);
  if (k == nullptr) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (info == nullptr) return Fail(ERROR_NOACCESS, FALSE);
  std::memset(info, 0, sizeof(*info));
  info->dwFileAttributes = k->file->ReportedAttributes();
  info->dwVolumeSerialNumber = 0x5A17C0DE;
  info->nFileSizeLow = k->file->directory ? 0 : static_cast<DWORD>(k->file->content.size());
  info->nNumberOfLinks = static_cast<DWORD>(sim::LinkCountOf(*k->file));
  info->nFileIndexHigh = static_cast<DWORD>(k->file->sequence >> 32);
  info->nFileIndexLow = static_cast<DWORD>(k->file->sequence);
  return TRUE;
}

BOOL WINAPI CreateHardLinkW(LPCWSTR lpFileName, LPCWSTR lpExistingFileName,
                            LPSECURITY_ATTRIBUTES) {
  if (lpFileName == nullptr || lpExistingFileName == nullptr)
    return Fail(ERROR_INVALID_PARAMETER, FALSE);
  return sim::CreateHardLinkNamed(lpFileName, lpExistingFileName);
}

BOOL WINAPI MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName) {
  if (lpExistingFileName == nullptr || lpNewFileName == nullptr)
    return Fail(ERROR_INVALID_PARAMETER, FALSE);
  return sim::RenameNamed(lpExistingFileName, lpNewFileName);
}

// Only deletion at the next restart is modelled: the path goes to the session manager's
// PendingFileRenameOperations as "\??\path" followed by an empty new name. Writing that key
// needs an administrator.
BOOL WINAPI MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags) {
  auto& m = sim::Machine::current();
  if (lpExistingFileName == nullptr || *lpExistingFileName == 0)
    return Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (!(dwFlags & MOVEFILE_DELAY_UNTIL_REBOOT) || lpNewFileName != nullptr)
    return Fail(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
  if (!m.administrator) return Fail(ERROR_ACCESS_DENIED, FALSE);
  sim::RecordOpen(m.state(), sim::OpenKind::File, lpExistingFileName, DELETE);
  if (const DWORD e = sim::LengthError(lpExistingFileName)) return Fail(e, FALSE);
  // Windows records the file system's path: "\\?\X:\..." and "X:\..." both as "\??\X:\...".
  const std::u16string given = lpExistingFileName;
  const std::u16string path = sim::IsExtended(given) ? given.substr(4) : given;
  std::vector<std::u16string> items = sim::MultiStrings(
      m.ValueBytesW(HKEY_LOCAL_MACHINE, sim::kSessionManager, sim::kPendingOperations));
  items.push_back(u"\\??\\" + path);
  items.push_back(std::u16string());
  std::u16string list;
  for (const std::u16string& item : items) list += item + u'\0';
  list += u'\0';
  const std::string data(reinterpret_cast<const char*>(list.data()), list.size() * 2);
  m.SetValueW(HKEY_LOCAL_MACHINE, sim::kSessionManager, sim::kPendingOperations, REG_MULTI_SZ,
              data);
  return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED) {
  sim::KernelObject* k = sim::FileObject(hFile);
  if (k == nullptr) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
  if (k->file->directory || !(sim::RightsOf(k->access) & 0x6)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  std::string& content = k->file->content;
  if (content.size() < k->position) content.resize(k->position);
  content.replace(k->position, std::min<size_t>(nNumberOfBytesToWrite, content.size() - k->position),
                  static_cast<const char*>(lpBuffer), nNumberOfBytesToWrite);
  k->position += nNumberOfBytesToWrite;
  sim::ShareWithOtherNames(*k->file);
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = nNumberOfBytesToWrite;
  return TRUE;
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED) {
  sim::KernelObject* k = sim::FileObject(hFile);
  if (k == nullptr) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
  if (k->file->directory) return Fail(ERROR_INVALID_FUNCTION, FALSE);
  if (!(sim::RightsOf(k->access) & 0x1)) return Fail(ERROR_ACCESS_DENIED, FALSE);
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
  if (k == nullptr) return Fail(ERROR_INVALID_HANDLE, INVALID_FILE_SIZE);
  if (lpFileSizeHigh) *lpFileSizeHigh = 0;
  SetLastError(0);
  return static_cast<DWORD>(k->file->content.size());
}
