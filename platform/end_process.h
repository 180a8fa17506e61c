// The program's "end the process now": the C runtime's ordinary exit, so that the exit
// handlers run (atexit functions, destructors of static objects, flushing of the runtime's
// streams) before Windows ends the process with `code`. Never returns to the caller, whose
// remaining teardown (windows, objects on the stack) is skipped.
//
// Off Windows the simulated machine records the end instead: it throws sim::ProcessExit with
// exitHandlersRun set, which unwinds to the test, as the sim's ExitProcess does without it.
#pragma once

#include "platform/win32/win32.h"

#ifdef _WIN32
#include <cstdlib>
#endif

namespace qm {

#ifdef _WIN32
[[noreturn]] inline void EndProcess(UINT code) { std::exit(static_cast<int>(code)); }
#else
[[noreturn]] void EndProcess(UINT code);
#endif

}  // namespace qm
