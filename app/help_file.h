// The program's help file: "Quelmark.hlp" in the program's own folder.
#pragma once

#include <string>

// The help file by its full path beside the program (GetModuleFileNameW's folder), as the
// machine's ANSI code page's bytes (qm::AnsiExactly): the help engine of Windows 2000 and XP reads ANSI names, and a bare
// name would let it search other folders (the current one first) for a file of that name,
// whose macros can start programs. Empty when the program's path cannot be read or holds a
// character the code page lacks: converted, such a path could name another file (a best-fit
// mapping turns a full-width letter into its plain twin, ">" opens a secondary window), so
// no help file is named at all.
std::string HelpFilePath();
