// The message pump the engine's long operations turn at their fixed points, so the window
// repaints and stays responsive. The host installs its toolkit's ProcessMessages; until it
// does, pumping does nothing.
#pragma once

#include <functional>

namespace cleanup {

void SetMessagePump(std::function<void()> pump);
void ProcessMessages();

}  // namespace cleanup
