// Shared by the service component's tests.
#pragma once

#include <gtest/gtest.h>

#include "ntservice/ntexception.h"

namespace test {

// Runs call, which must raise ENTException, and returns what it raised.
template <typename Call>
ENTException Raised(Call call) {
  try {
    call();
  } catch (const ENTException& e) {
    return e;
  }
  ADD_FAILURE() << "no ENTException raised";
  return ENTException("", 0);
}

}  // namespace test
