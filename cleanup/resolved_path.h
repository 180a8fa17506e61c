// Where a folder path leads once every junction and symbolic link on the way is followed, as
// Windows itself would follow them. GetFinalPathNameByHandle answers this only from Vista on,
// and the program runs on 2000 and XP too, so each reparse point is read and followed here.
#pragma once

#include "platform/text.h"
#include "platform/win32/win32.h"

namespace cleanup {

// The names one reparse point holds, as FSCTL_GET_REPARSE_POINT hands them out.
struct ReparseData {
  DWORD tag = 0;               // IO_REPARSE_TAG_MOUNT_POINT, IO_REPARSE_TAG_SYMLINK or another
  qm::WString substituteName;  // what the system follows: "\??\C:\Users", or a relative path
  qm::WString printName;       // the same for people to read
  bool relative = false;       // a symbolic link whose target starts at the link's folder
};

enum class ReparseRead {
  Link,        // a junction, volume mount point or symbolic link: `data` holds its names
  NotALink,    // the object the handle stands for is no reparse point (4390)
  OtherTag,    // a reparse point of another kind (data.tag says which): no link to follow
  Unreadable,  // the data could not be read, or its offsets and lengths do not hold together
};

// Reads the reparse point `handle` stands for. The handle must be opened on the object itself
// (CreateFileW with FILE_FLAG_OPEN_REPARSE_POINT, and FILE_FLAG_BACKUP_SEMANTICS for a
// folder); the control code asks for no access right, so FILE_READ_ATTRIBUTES will do.
ReparseRead ReadReparsePoint(HANDLE handle, ReparseData& data);

enum class Resolution {
  Resolved,      // `resolved` holds where the path leads
  Unreadable,    // a component that exists could not be opened, or a reparse point on the way
                 // could not be read
  Unfollowable,  // a reparse point on the way is no link, or leads to a volume by its name
                 // ("\??\Volume{...}\"), to a share, or to a malformed path
  TooManyLinks,  // more links than Windows follows on one path (a loop, for one)
};

// `folder` ("X:\name\name...", plain names) as Windows resolves it. From the drive's root,
// each component that exists is opened on itself and, when it is a reparse point, read and
// followed (a junction or absolute symbolic link from its "\??\X:\..." target, a relative one
// from the link's folder); the walk then starts again from the target's root, so links inside
// the target are followed too. A component that does not exist ends the walk: the rest is
// taken as written, since nothing below a missing folder can be a link yet. `resolved` has
// no trailing backslash and is set only when the answer is Resolved. A path of another form
// (a share, a device) is Unfollowable, and nothing of it is opened.
Resolution ResolveFolderPath(const qm::WString& folder, qm::WString& resolved);

}  // namespace cleanup
