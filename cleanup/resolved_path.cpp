#include "cleanup/resolved_path.h"

#include <algorithm>
#include <deque>
#include <vector>

#include "cleanup/directories.h"
#include "platform/paths.h"
#include "platform/raii.h"

namespace cleanup {
namespace {

// Windows follows at most 63 reparse points on one path (31 on XP and 2003): a path that
// needs more cannot be opened, so it is refused rather than followed further.
constexpr int kMostLinksFollowed = 63;
constexpr DWORD kSymlinkFlagRelative = 1;  // SYMLINK_FLAG_RELATIVE

// REPARSE_DATA_BUFFER: tag (4 bytes), data length (2), reserved (2), then the names' offsets
// and lengths in bytes (2 each); a symbolic link adds its flags (4). The names follow, their
// offsets counted from there.
constexpr size_t kHeaderBytes = 8;
constexpr size_t kSubstituteNameField = 8, kPrintNameField = 12, kFlagsField = 16;
constexpr size_t kMountPointNamesAt = 16;
constexpr size_t kSymlinkNamesAt = 20;

using Bytes = std::vector<BYTE>;

DWORD LittleEndian(const Bytes& bytes, size_t at, size_t count) {
  DWORD value = 0;
  for (size_t i = count; i-- > 0;) value = (value << 8) | bytes[at + i];
  return value;
}

// The name whose offset and length (in bytes, from `namesAt`) are stored at `fieldAt`; false
// when it does not lie whole within the first `end` bytes.
bool NameAt(const Bytes& bytes, size_t end, size_t namesAt, size_t fieldAt, qm::WString& name) {
  const size_t offset = LittleEndian(bytes, fieldAt, 2);
  const size_t length = LittleEndian(bytes, fieldAt + 2, 2);
  if (length % 2 != 0 || namesAt + offset + length > end) return false;
  name.clear();
  for (size_t at = namesAt + offset; at < namesAt + offset + length; at += 2)
    name += static_cast<WCHAR>(LittleEndian(bytes, at, 2));
  return true;
}

ReparseRead Parse(const Bytes& bytes, size_t received, ReparseData& data) {
  if (received < kHeaderBytes) return ReparseRead::Unreadable;
  data.tag = LittleEndian(bytes, 0, 4);
  const size_t end = kHeaderBytes + LittleEndian(bytes, 4, 2);
  if (end > received) return ReparseRead::Unreadable;
  if (data.tag != IO_REPARSE_TAG_MOUNT_POINT && data.tag != IO_REPARSE_TAG_SYMLINK)
    return ReparseRead::OtherTag;
  const bool symlink = data.tag == IO_REPARSE_TAG_SYMLINK;
  const size_t namesAt = symlink ? kSymlinkNamesAt : kMountPointNamesAt;
  if (end < namesAt) return ReparseRead::Unreadable;
  data.relative = symlink && (LittleEndian(bytes, kFlagsField, 4) & kSymlinkFlagRelative) != 0;
  const bool whole = NameAt(bytes, end, namesAt, kSubstituteNameField, data.substituteName) &&
                     NameAt(bytes, end, namesAt, kPrintNameField, data.printName);
  return whole ? ReparseRead::Link : ReparseRead::Unreadable;
}

// The names of `path` between backslashes; an empty one only where two backslashes meet.
std::deque<qm::WString> Names(const qm::WString& path) {
  std::deque<qm::WString> names;
  qm::WString::size_type start = 0;
  while (start < path.size()) {
    const auto end = std::min(path.find(qm::kBackslash, start), path.size());
    names.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

bool IsDrive(const qm::WString& text) {
  return text.size() == 2 && text[1] == WCHAR(':') &&
         ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z'));
}

// A path being walked: its drive, the components already walked (none of them a link) and
// those still ahead.
struct Walk {
  qm::WString drive;
  std::vector<qm::WString> walked;
  std::deque<qm::WString> ahead;

  qm::WString Path() const {
    qm::WString path = drive;
    for (const qm::WString& name : walked) path += qm::kBackslash + name;
    return path;
  }
};

// Where an absolute target ("\??\C:\a\b", a trailing backslash allowed) leads: its drive and
// names; false for anything else (a volume named by its GUID, a share, a device), and for a
// "." or ".." or an empty name, which the system would not interpret in such a path.
bool AbsoluteTarget(const qm::WString& target, qm::WString& drive, std::deque<qm::WString>& names) {
  const qm::WString prefix = qm::Widen("\\??\\");
  if (target.compare(0, prefix.size(), prefix) != 0) return false;
  const qm::WString path = qm::WithoutFinalBackslash(target.substr(prefix.size()));
  names = Names(path);
  if (names.empty() || !IsDrive(names.front())) return false;
  drive = names.front();
  names.pop_front();
  for (const qm::WString& name : names)
    if (name.empty() || name == qm::Widen(".") || name == qm::Widen("..")) return false;
  return true;
}

// Where a relative symbolic link leads: from the drive's root when the target starts with a
// backslash, else from the link's folder (`walked`, which holds no link, so ".." is its real
// parent); false when ".." climbs above the root.
bool RelativeTarget(const qm::WString& target, std::vector<qm::WString>& walked,
                    std::deque<qm::WString>& names) {
  if (!target.empty() && target[0] == qm::kBackslash) walked.clear();
  for (const qm::WString& name : Names(qm::WithoutFinalBackslashes(target))) {
    if (name.empty() || name == qm::Widen(".")) continue;
    if (name != qm::Widen("..")) {
      walked.push_back(name);
    } else if (walked.empty()) {
      return false;
    } else {
      walked.pop_back();
    }
  }
  names.assign(walked.begin(), walked.end());
  return true;
}

// Replaces the link just passed by its target: the walk starts again from the target's root
// with the target's names ahead of those not yet walked.
bool Follow(const ReparseData& link, Walk& walk) {
  std::deque<qm::WString> names;
  if (link.relative) {
    if (!RelativeTarget(link.substituteName, walk.walked, names)) return false;
  } else if (!AbsoluteTarget(link.substituteName, walk.drive, names)) {
    return false;
  }
  walk.walked.clear();
  walk.ahead.insert(walk.ahead.begin(), names.begin(), names.end());
  return true;
}

// Whether the object `handle` stands for may be a reparse point; only then is its data asked
// for (a volume without reparse points, FAT for one, need not answer that question at all).
// The name's own attributes are asked too: Wine follows a unix symbolic link even for a
// handle opened on the link itself, yet reports the link's name as a reparse point.
// Attributes that cannot be read count as a reparse point's, so that its data is asked for
// (and, when there is none, the path refused).
bool IsReparsePoint(HANDLE handle, const qm::WString& path) {
  BY_HANDLE_FILE_INFORMATION information{};
  if (!::GetFileInformationByHandle(handle, &information)) return true;
  const DWORD named = ::GetFileAttributesW(qm::FileCallPath(path).c_str());
  return (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
         (named != INVALID_FILE_ATTRIBUTES && (named & FILE_ATTRIBUTE_REPARSE_POINT) != 0);
}

}  // namespace

ReparseRead ReadReparsePoint(HANDLE handle, ReparseData& data) {
  Bytes bytes(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);  // the most any reparse point holds
  DWORD received = 0;
  if (!::DeviceIoControl(handle, FSCTL_GET_REPARSE_POINT, nullptr, 0, bytes.data(),
                         static_cast<DWORD>(bytes.size()), &received, nullptr))
    return ::GetLastError() == ERROR_NOT_A_REPARSE_POINT ? ReparseRead::NotALink
                                                         : ReparseRead::Unreadable;
  return Parse(bytes, received, data);
}

Resolution ResolveFolderPath(const qm::WString& folder, qm::WString& resolved) {
  if (folder.size() < 3 || !IsDrive(folder.substr(0, 2)) || folder[2] != qm::kBackslash)
    return Resolution::Unfollowable;
  Walk walk;
  walk.drive = folder.substr(0, 2);
  const qm::WString names = folder.size() > 3 ? folder.substr(3) : qm::WString();
  walk.ahead = Names(qm::WithoutFinalBackslashes(names));
  int linksFollowed = 0;
  while (!walk.ahead.empty()) {
    const qm::WString here = walk.Path() + qm::kBackslash + walk.ahead.front();
    const qm::unique_file item = OpenItself(here);
    if (!item) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) break;
      return Resolution::Unreadable;
    }
    if (!IsReparsePoint(item.get(), here)) {
      walk.walked.push_back(walk.ahead.front());
      walk.ahead.pop_front();
      continue;
    }
    ReparseData link;
    switch (ReadReparsePoint(item.get(), link)) {
      case ReparseRead::Link:
        break;
      case ReparseRead::NotALink:  // marked as a link, yet no link is there to read (Wine)
      case ReparseRead::Unreadable:
        return Resolution::Unreadable;
      case ReparseRead::OtherTag:
        return Resolution::Unfollowable;
    }
    if (++linksFollowed > kMostLinksFollowed) return Resolution::TooManyLinks;
    walk.ahead.pop_front();
    if (!Follow(link, walk)) return Resolution::Unfollowable;
  }
  resolved = walk.Path();
  for (const qm::WString& name : walk.ahead) resolved += qm::kBackslash + name;
  return Resolution::Resolved;
}

}  // namespace cleanup
