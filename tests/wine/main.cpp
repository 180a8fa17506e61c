// wine_tests.exe. Started as "wine_tests.exe --idle" (usually a copy under another name) it
// does nothing but wait to be terminated, standing in for a running program; with
// "--idle-unreadable" it first lets everyone only terminate it and wait for it, with
// "--idle-locked" only wait for it.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/win32/win32.h"

namespace {

// Replaces this process's DACL by one that grants everyone `rights` only: opening it for any
// other right is then refused with 5.
void GuardThisProcess(DWORD rights) {
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  if (!::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone))
    return;
  alignas(DWORD) unsigned char aclBytes[256];
  ACL* acl = reinterpret_cast<ACL*>(aclBytes);
  SECURITY_DESCRIPTOR descriptor;
  if (::InitializeAcl(acl, sizeof aclBytes, ACL_REVISION) &&
      ::AddAccessAllowedAce(acl, ACL_REVISION, rights, everyone) &&
      ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
      ::SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE))
    ::SetKernelObjectSecurity(::GetCurrentProcess(), DACL_SECURITY_INFORMATION, &descriptor);
  ::FreeSid(everyone);
}

}  // namespace

int main(int argc, char** argv) {
  const char* const mode = argc == 2 ? argv[1] : "";
  if (std::strcmp(mode, "--idle-unreadable") == 0) GuardThisProcess(PROCESS_TERMINATE | SYNCHRONIZE);
  if (std::strcmp(mode, "--idle-locked") == 0) GuardThisProcess(SYNCHRONIZE);
  if (std::strncmp(mode, "--idle", 6) == 0) {
    for (;;) ::Sleep(INFINITE);
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
