// Registry removal and the registry reads of the plan. None of these raises or shows
// anything; every failure is a return value, and every key opened is closed on every path.
//
// Key paths and value names are wide names as Windows holds them (the "W" functions), so a
// name the code page cannot hold is opened, enumerated and deleted like any other.
#pragma once

#include <string>

#include "platform/text.h"
#include "platform/win32/win32.h"

namespace cleanup {

// A key tree's deletion: one of the named results, or any other Windows error code (the first
// one met, where the deletion stopped).
enum class KeyTreeResult : LONG {
  Deleted = ERROR_SUCCESS,         // 0: the key and everything below it are gone
  NotFound = ERROR_FILE_NOT_FOUND, // 2: the key does not exist (as the open reports it)
  BadKey = ERROR_BADKEY,           // 1010: empty path; nothing was touched
};

// Deletes `subKey` under `root` and its whole tree, deepest keys first; values go with their
// key. Answers Deleted when everything was deleted, NotFound when the key does not exist,
// BadKey when `subKey` is empty (the root itself is never deleted), otherwise the first
// Windows error met at any level, where the deletion stopped: what was deleted before stays
// deleted, the key that failed and its remaining sub-keys stay. Turns the message pump once
// per pass, at every level.
KeyTreeResult DeleteRegistryKeyTree(HKEY root, const qm::WString& subKey);

// Results of deleting one value.
enum class ValueResult {
  Deleted = 0,       // the value was deleted
  NotDeleted = 1,    // the key opened, but the value was not deleted (absent or any error)
  KeyNotOpened = 2,  // the key could not be opened with full access
};

ValueResult DeleteRegistryValue(HKEY root, const qm::WString& subKey,
                                const qm::WString& valueName);

// Queries beside the deletions, for checks before or after a run. Each opens with read rights
// only (KEY_READ), so it changes nothing; a key or value that cannot be read is reported as
// the Windows code of the failure.
// ERROR_SUCCESS when `subKey` exists under `root`, else the open's code (2 when absent).
LONG QueryRegistryKey(HKEY root, const qm::WString& subKey);
// ERROR_SUCCESS when the value exists, else the open's or the query's code.
LONG QueryRegistryValue(HKEY root, const qm::WString& subKey, const qm::WString& valueName);

// The text of a REG_SZ or REG_EXPAND_SZ value up to its first zero character, read whole
// whatever its length, as stored (a REG_EXPAND_SZ is not expanded). The empty text when the
// key cannot be opened with `rights`, the value is absent or unreadable, or the value holds
// another type. Reads ask for read rights only, so a key whose access list refuses writing
// still reads.
qm::WString ReadRegistryString(HKEY root, const qm::WString& subKey, const qm::WString& valueName,
                               REGSAM rights = KEY_READ);

}  // namespace cleanup
