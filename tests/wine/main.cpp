// wine_tests.exe. Started as "wine_tests.exe --idle" (usually a copy under another name) it
// does nothing but wait to be terminated, standing in for a running program.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/win32/win32.h"

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--idle") == 0) {
    for (;;) ::Sleep(INFINITE);
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
