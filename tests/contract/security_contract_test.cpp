// Owners and access lists as the single-instance lock and the deletions left to the restart
// read them (cleanup/security.h), through the program's own functions and flags.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cleanup/directories.h"
#include "cleanup/security.h"
#include "platform/raii.h"
#include "platform/text.h"
#include "tests/contract/world.h"

namespace {

using contract::World;

class SecurityContract : public ::testing::Test {
 protected:
  World world;
};

// The lock's mutex: owned by Administrators, its list SYSTEM and Administrators with every
// right; asked for again by name, it is the same mutex, and its owner shows a copy.
TEST_F(SecurityContract, TheAdministratorsOnlyMutexReportsItsOwnerAndItsTwoEntries) {
  const std::string name = world.UniqueName("QmLock");
  cleanup::AdministratorsOnly security(MUTEX_ALL_ACCESS);
  ASSERT_NE(security.Descriptor(), nullptr);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, security.Descriptor(), FALSE};
  SetLastError(0);
  qm::unique_kernel first(CreateMutexA(&attributes, FALSE, name.c_str()));
  ASSERT_TRUE(first) << GetLastError();
  EXPECT_EQ(0u, GetLastError());
  EXPECT_TRUE(cleanup::OwnedByAdministrators(first.get()));

  const cleanup::SecurityInfo read(first.get(), SE_KERNEL_OBJECT,
                                   OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION);
  ASSERT_TRUE(read);
  ASSERT_NE(read.Dacl(), nullptr);
  ASSERT_EQ(2u, read.Dacl()->AceCount);
  for (DWORD i = 0; i < 2; ++i) {
    LPVOID entry = nullptr;
    ASSERT_TRUE(GetAce(read.Dacl(), i, &entry));
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
    EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, allowed->Header.AceType);
    EXPECT_EQ(static_cast<DWORD>(MUTEX_ALL_ACCESS), allowed->Mask);
  }

  SetLastError(0);
  qm::unique_kernel again(CreateMutexA(nullptr, FALSE, name.c_str()));
  ASSERT_TRUE(again) << GetLastError();
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
  EXPECT_TRUE(cleanup::OwnedByAdministrators(again.get()));
}

// A mutex whose list refuses everyone cannot be created again by name, even by its creator:
// the lock meets ERROR_ACCESS_DENIED, not a handle.
TEST_F(SecurityContract, AMutexWhoseListRefusesEveryoneAnswers5ToAnotherCreate) {
  const std::string name = world.UniqueName("QmDenied");
  std::vector<DWORD> acl(sizeof(ACL) / sizeof(DWORD) + 1);
  ASSERT_TRUE(InitializeAcl(reinterpret_cast<PACL>(acl.data()),
                            static_cast<DWORD>(acl.size() * sizeof(DWORD)), ACL_REVISION));
  SECURITY_DESCRIPTOR descriptor{};
  ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, reinterpret_cast<PACL>(acl.data()),
                                        FALSE));
  SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
  qm::unique_kernel held(CreateMutexA(&attributes, FALSE, name.c_str()));
  ASSERT_TRUE(held) << GetLastError();
  SetLastError(0);
  qm::unique_kernel again(CreateMutexA(nullptr, FALSE, name.c_str()));
  EXPECT_FALSE(again);
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
}

// What this program creates, and every folder above it up to the volume root, is safe from
// non-administrators as read through the walk's own handles; without READ_CONTROL in the
// open, nothing can be read.
TEST_F(SecurityContract, WhatThisProgramMakesIsSafeUpToTheRootThroughThePins) {
  const qm::WString folder = qm::Widen(world.Folder() + "\\Prod");
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  const qm::WString file = folder + qm::Widen("\\a.dat");
  qm::unique_file made(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(made);
  made.reset();
  const cleanup::TrustedPrincipals trusted;
  const ACCESS_MASK rights = cleanup::kRightsOverObject | cleanup::kRightsOverContents;
  const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  for (size_t at = folder.find(WCHAR('\\')); at != qm::WString::npos;
       at = folder.find(WCHAR('\\'), at + 1)) {
    const qm::WString above = folder.substr(0, at == 2 ? 3 : at);
    const cleanup::PinnedFolder pin = cleanup::PinFolder(above, READ_CONTROL);
    ASSERT_EQ(cleanup::FolderKind::Directory, pin.kind) << qm::Narrow(above);
    const cleanup::SecurityInfo security(pin.handle.get(), SE_FILE_OBJECT, what);
    EXPECT_EQ(cleanup::Exposure::None, cleanup::FileExposure(security, trusted, rights))
        << qm::Narrow(above);
  }
  for (const qm::WString& path : {folder, file}) {
    qm::unique_file own(CreateFileW(path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                    nullptr));
    ASSERT_TRUE(own) << GetLastError();
    const cleanup::SecurityInfo security(own.get(), SE_FILE_OBJECT, what);
    EXPECT_EQ(cleanup::Exposure::None, cleanup::FileExposure(security, trusted, rights))
        << qm::Narrow(path);
  }
  qm::unique_file attributesOnly(CreateFileW(file.c_str(), FILE_READ_ATTRIBUTES,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(attributesOnly);
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED),
            GetSecurityInfo(attributesOnly.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                            &owner, nullptr, nullptr, nullptr, &descriptor));
  qm::unique_local freed(descriptor);
}

}  // namespace
