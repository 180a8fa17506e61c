// A stand-in for a running program: it does nothing but wait until it is terminated.
// Copied under the product's executable names (and a bystander's) so that the process list
// shows those names, as a real installation would.
//
//   fakeproc.exe                  wait forever
//   fakeproc.exe --hold PATH      open PATH without delete sharing and keep it open while
//                                 waiting, so deleting that file fails with a sharing
//                                 violation; exits with status 2 when PATH cannot be opened
//   fakeproc.exe --mutex NAME default|deny-all READY
//                                 create the named mutex NAME, with the default security of
//                                 the account it runs as or with an access list that refuses
//                                 everyone, write the file READY once it exists, and hold it
//                                 while waiting (a squatter on another program's name); exits
//                                 with status 2 when the mutex or READY cannot be made
#include <cstring>
#include <vector>

#include "platform/raii.h"

namespace {

[[noreturn]] void WaitForever() {
  for (;;) ::Sleep(INFINITE);
}

// A mutex whose list is empty: nobody, its creator included, may open it again.
qm::unique_kernel CreateDenyingMutex(const char* name) {
  std::vector<DWORD> acl(sizeof(ACL) / sizeof(DWORD) + 1);
  SECURITY_DESCRIPTOR descriptor{};
  if (!::InitializeAcl(reinterpret_cast<PACL>(acl.data()),
                       static_cast<DWORD>(acl.size() * sizeof(DWORD)), ACL_REVISION) ||
      !::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !::SetSecurityDescriptorDacl(&descriptor, TRUE, reinterpret_cast<PACL>(acl.data()), FALSE))
    return {};
  SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
  return qm::unique_kernel(::CreateMutexA(&attributes, FALSE, name));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--hold") == 0) {
    qm::unique_file held(::CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!held) return 2;
    WaitForever();
  }
  if (argc == 5 && std::strcmp(argv[1], "--mutex") == 0) {
    const bool denyAll = std::strcmp(argv[3], "deny-all") == 0;
    const qm::unique_kernel mutex = denyAll ? CreateDenyingMutex(argv[2])
                                            : qm::unique_kernel(::CreateMutexA(nullptr, FALSE, argv[2]));
    if (!mutex) return 2;
    if (!qm::unique_file(::CreateFileA(argv[4], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr)))
      return 2;
    WaitForever();
  }
  WaitForever();
}
