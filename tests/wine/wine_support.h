// Staging helpers of the Windows tests: scratch folders, files, programs started under a
// chosen executable name, and (under Wine) links that Windows programs cannot make here.
#pragma once

#include <string>

#include "platform/raii.h"

namespace winetest {

// A fresh folder C:\qmtest\<name>\ (ends with a backslash), emptied of any earlier run.
std::string ScratchFolder(const std::string& name);
void MakeDir(const std::string& path);
void MakeFile(const std::string& path, const std::string& content,
              DWORD attributes = FILE_ATTRIBUTE_ARCHIVE);
bool Exists(const std::string& path);

// Starts a copy of this program, named `exeName`, that waits until it is terminated.
// Answers its process handle once the system lists it. The guards make the copy give its own
// process object a DACL first, as a process of another session, of SYSTEM or a protected one
// looks to a program: Unreadable lets everyone only terminate it and wait for it, Locked
// only wait for it. The handle answered keeps every right.
enum class Guard { None, Unreadable, Locked };
qm::unique_kernel StartIdleProgram(const std::string& exeName, Guard guard = Guard::None);
bool HasEnded(HANDLE process, DWORD waitMs);

// Under Wine: a unix symbolic link at `linkPath` to `targetPath` (both Windows paths), which
// Windows programs see as a reparse point. False when not under Wine or when it failed.
bool MakeUnixSymlink(const std::string& linkPath, const std::string& targetPath);

}  // namespace winetest
