// Error texts and the component library's exception, over the simulated machine.
#include <gtest/gtest.h>

#include <string>

#include "ntservice/ntexception.h"
#include "platform/sim/machine.h"
#include "tests/unit/ntservice_support.h"

namespace {

TEST(NtexceptionErrors, MessagesStartWithTheCodeAsASignedNumber) {
  sim::Machine machine;
  const std::string denied = Ntexception::GetLastErrorString(5);
  EXPECT_EQ(denied.rfind("5: ", 0), 0u) << denied;
  EXPECT_GT(denied.size(), 3u);
  EXPECT_EQ(denied.back(), '\n') << "the system's text keeps its line break";
  EXPECT_EQ(Ntexception::GetLastErrorString(0x80000000u).rfind("-2147483648: ", 0), 0u);
  EXPECT_EQ(Ntexception::GetLastErrorString(0xFFFFFFFFu).rfind("-1: ", 0), 0u);
  EXPECT_EQ(Ntexception::GetLastErrorString(0x0DEAD123u), "233492771: ");
}

TEST(NtexceptionErrors, CreateExceptionRaisesOnlyForANonZeroLastError) {
  sim::Machine machine;
  ::SetLastError(0);
  EXPECT_NO_THROW(Ntexception::CreateException());

  ::SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
  const ENTException e = test::Raised([] { Ntexception::CreateException(); });
  EXPECT_EQ(e.ErrorCode, 1060u);
  EXPECT_EQ(e.Message(), Ntexception::GetLastErrorString(1060));

  const ENTException refused = test::Raised([] { Ntexception::RaiseException("refused", -1); });
  EXPECT_EQ(refused.ErrorCode, 0xFFFFFFFFu);
  EXPECT_EQ(refused.Message(), "refused");
}

}  // namespace
