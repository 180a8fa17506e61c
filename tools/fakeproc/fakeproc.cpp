// A stand-in for a running program: it does nothing but wait until it is terminated.
// Copied under the product's executable names (and a bystander's) so that the process list
// shows those names, as a real installation would.
//
//   fakeproc.exe                  wait forever
//   fakeproc.exe --hold PATH      open PATH without delete sharing and keep it open while
//                                 waiting, so deleting that file fails with a sharing
//                                 violation; exits with status 2 when PATH cannot be opened
#include <cstring>

#include "platform/raii.h"

namespace {

[[noreturn]] void WaitForever() {
  for (;;) ::Sleep(INFINITE);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--hold") == 0) {
    qm::unique_file held(::CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!held) return 2;
    WaitForever();
  }
  WaitForever();
}
