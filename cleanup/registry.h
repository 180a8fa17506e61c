// Registry removal and the one registry read of the plan. None of these raises or shows
// anything; every failure is a return value, and every key opened is closed on every path.
#pragma once

#include <string>

#include "platform/win32/win32.h"

namespace cleanup {

// Deletes `subKey` under `root` and its whole tree, deepest keys first; values go with their
// key. Answers 0 when everything was deleted, 2 when the key does not exist, 1010 when
// `subKey` is empty (the root itself is never deleted), otherwise the first Windows error met
// at any level, where the deletion stopped: what was deleted before stays deleted, the key
// that failed and its remaining sub-keys stay. Turns the message pump once per pass, at every
// level.
LONG DeleteRegistryKeyTree(HKEY root, const std::string& subKey);

// Deletes one value: 0 when deleted, 1 when the key opened but the value was not deleted
// (absent or any other error), 2 when the key could not be opened.
int DeleteRegistryValue(HKEY root, const std::string& subKey, const std::string& valueName);

// The text of a REG_SZ or REG_EXPAND_SZ value up to its first zero byte, read whole whatever
// its length. The empty text when the key cannot be opened with full access, the value is
// absent or unreadable, or the value holds another type.
std::string ReadRegistryString(HKEY root, const std::string& subKey, const std::string& valueName);

}  // namespace cleanup
