// Who besides an administrator could change an object: its owner and access list, read from
// a handle the program holds, judged against the principals only administrators act as. The
// single-instance lock and the deletions left to the restart both go by it. Functions of
// Windows NT 4 and 2000 only (GetSecurityInfo, AllocateAndInitializeSid, EqualSid,
// GetTokenInformation, InitializeAcl, AddAccessAllowedAce, GetAce, MapGenericMask).
#pragma once

#include <vector>

#include "platform/raii.h"
#include "platform/win32/win32.h"

namespace cleanup {

// An object's owner and, when asked, its access list, read from `object` (GetSecurityInfo),
// which must have been opened with READ_CONTROL. Empty (false) when it cannot be read.
class SecurityInfo {
 public:
  // `what`: OWNER_SECURITY_INFORMATION, with or without DACL_SECURITY_INFORMATION.
  SecurityInfo(HANDLE object, SE_OBJECT_TYPE type, SECURITY_INFORMATION what);
  explicit operator bool() const { return static_cast<bool>(descriptor_); }
  PSID Owner() const { return owner_; }  // null: the object has no owner
  // Read only when asked; null: no list at all, so anyone may do anything.
  PACL Dacl() const { return dacl_; }

 private:
  qm::unique_local descriptor_;
  PSID owner_ = nullptr;
  PACL dacl_ = nullptr;
};

// The principals only administrators act as: Administrators, SYSTEM, TrustedInstaller (the
// owner of system files from Vista on), Power Users (who may modify Program Files and the
// Windows folder on 2000, XP and 2003 and can become administrators there) and the account
// this program runs as (its token's user: under Wine every file belongs to it). Anything else
// is another principal: Users, Everyone, Authenticated Users, Terminal Server User,
// CREATOR OWNER, any other account.
class TrustedPrincipals {
 public:
  TrustedPrincipals();
  TrustedPrincipals(const TrustedPrincipals&) = delete;
  TrustedPrincipals& operator=(const TrustedPrincipals&) = delete;

  bool IsTrusted(PSID sid) const;  // false for null

 private:
  std::vector<qm::unique_sid> wellKnown_;
  std::vector<ULONG_PTR> tokenUser_;  // a TOKEN_USER; empty when the token could not be read
};

// What lets a principal other than the trusted ones remove, rename or re-permission a file or
// folder (which is what swapping it for a link takes).
enum class Exposure {
  None,            // nothing: only trusted principals hold the rights asked about
  Unreadable,      // its owner and list could not be read
  ForeignOwner,    // another principal owns it (an owner may always rewrite the list)
  NoAccessList,    // it has no list at all: anyone may do anything
  GrantedToOther,  // an entry gives another principal one of the rights asked about
  UnknownEntry,    // an allowing entry of a kind this judgement does not read
};

// Rights on a file or folder that let their holder remove, rename or re-permission it.
constexpr ACCESS_MASK kRightsOverObject = DELETE | WRITE_DAC | WRITE_OWNER;
// The right on a folder that lets its holder remove or rename anything it holds.
constexpr ACCESS_MASK kRightsOverContents = FILE_DELETE_CHILD;

// Judges a file or folder by `security` (owner and list): Exposure::None only when the owner
// is trusted and no effective entry gives another principal one of `rights`. Generic rights
// in an entry count as they map for files (GENERIC_ALL includes DELETE and FILE_DELETE_CHILD;
// GENERIC_WRITE neither). Inherit-only entries do not apply to the object and are skipped.
// Denying entries are not credited: whom one reaches depends on group memberships this
// judgement cannot see, so a right that an allowing entry gives is taken as given.
Exposure FileExposure(const SecurityInfo& security, const TrustedPrincipals& trusted,
                      ACCESS_MASK rights);

// An absolute security descriptor owned by Administrators whose list grants SYSTEM and
// Administrators `rights` and nobody anything else. Only a token holding Administrators as a
// group it may own with (an administrator's or the system's) can create an object with it.
class AdministratorsOnly {
 public:
  explicit AdministratorsOnly(ACCESS_MASK rights);
  AdministratorsOnly(const AdministratorsOnly&) = delete;
  AdministratorsOnly& operator=(const AdministratorsOnly&) = delete;

  // Null when it could not be built.
  PSECURITY_DESCRIPTOR Descriptor() { return built_ ? &descriptor_ : nullptr; }

 private:
  qm::unique_sid administrators_, system_;
  std::vector<DWORD> acl_;  // the list, DWORD-aligned as Windows wants it
  SECURITY_DESCRIPTOR descriptor_{};
  bool built_ = false;
};

// Whether the kernel object behind `object` (opened with READ_CONTROL) is owned by
// Administrators or SYSTEM. A standard user can create objects owned only by SIDs of their own
// token that it marks as owner-able (their user SID), so such an owner shows an administrator's
// or the system's program. False when the owner cannot be read, or is anyone else.
bool OwnedByAdministrators(HANDLE object);

}  // namespace cleanup
