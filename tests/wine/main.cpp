// wine_tests.exe. Started as "wine_tests.exe --idle" (usually a copy under another name) it
// does nothing but wait to be terminated, standing in for a running program; with
// "--idle-guarded" it first lets everyone only terminate it and wait for it.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/win32/win32.h"

namespace {

// Replaces this process's DACL by one that grants everyone PROCESS_TERMINATE and SYNCHRONIZE
// only: opening it for query or read is then refused with 5.
void GuardThisProcess() {
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  if (!::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone))
    return;
  alignas(DWORD) unsigned char aclBytes[256];
  ACL* acl = reinterpret_cast<ACL*>(aclBytes);
  SECURITY_DESCRIPTOR descriptor;
  if (::InitializeAcl(acl, sizeof aclBytes, ACL_REVISION) &&
      ::AddAccessAllowedAce(acl, ACL_REVISION, PROCESS_TERMINATE | SYNCHRONIZE, everyone) &&
      ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
      ::SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE))
    ::SetKernelObjectSecurity(::GetCurrentProcess(), DACL_SECURITY_INFORMATION, &descriptor);
  ::FreeSid(everyone);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--idle-guarded") == 0) GuardThisProcess();
  if (argc == 2 && (std::strcmp(argv[1], "--idle") == 0 ||
                    std::strcmp(argv[1], "--idle-guarded") == 0)) {
    for (;;) ::Sleep(INFINITE);
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
