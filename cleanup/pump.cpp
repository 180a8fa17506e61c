#include "cleanup/pump.h"

#include <utility>

namespace cleanup {
namespace {

std::function<void()>& Pump() {
  static std::function<void()> pump;
  return pump;
}

}  // namespace

void SetMessagePump(std::function<void()> pump) { Pump() = std::move(pump); }

void ProcessMessages() {
  if (Pump()) Pump()();
}

}  // namespace cleanup
