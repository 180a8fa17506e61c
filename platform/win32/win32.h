// The Win32 surface of Quelmark.
//
// On Windows this is the system's own headers. Elsewhere it declares the same names, types
// and constants for the subset the program and its tests use, and platform/sim implements
// them over a simulated machine. Types keep their Windows sizes (DWORD and LONG are 32-bit,
// handles are pointer-sized), so code that compiles here compiles for Windows unchanged.
#pragma once

#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <winsvc.h>
#include <tlhelp32.h>
#include <shellapi.h>
#include <shlobj.h>
#include <aclapi.h>

#else  // the simulated machine

#include "platform/sim/win32_decl.h"

#endif
