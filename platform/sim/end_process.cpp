// The runtime's exit in the simulated machine: recorded as the end of the process, with the
// exit handlers counted as run, and unwound to the test.
#include "platform/end_process.h"

#include "platform/sim/machine.h"

namespace qm {

void EndProcess(UINT code) { throw sim::ProcessExit{code, true}; }

}  // namespace qm
