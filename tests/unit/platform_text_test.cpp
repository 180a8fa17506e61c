// The program's own texts and the log's names when the system cannot convert at all: never an
// empty name, which would make a plan item drop out or a folder go unlooked at.
#include <gtest/gtest.h>

#include <string>

#include "platform/exception.h"
#include "platform/sim/machine.h"
#include "platform/text.h"

namespace {

TEST(Text, AFailedConversionNeverGivesAnEmptyName) {
  sim::Machine machine;
  const qm::WString name = qm::Widen("Men\xFA Inicio");
  machine.conversionsFail = true;
  EXPECT_THROW(qm::Widen("Men\xFA Inicio"), Exception);
  // The line keeps its place and its length; what is not ASCII reads '?'.
  EXPECT_EQ(qm::Narrow(name), "Men? Inicio");
}

}  // namespace
