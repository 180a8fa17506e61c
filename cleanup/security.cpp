#include "cleanup/security.h"

namespace cleanup {
namespace {

// S-1-5-<rids>: an identifier of the NT authority, as AllocateAndInitializeSid builds it.
qm::unique_sid NtAuthoritySid(const std::vector<DWORD>& rids) {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  DWORD r[8] = {};
  for (size_t i = 0; i < rids.size() && i < 8; ++i) r[i] = rids[i];
  PSID sid = nullptr;
  if (!::AllocateAndInitializeSid(&nt, static_cast<BYTE>(rids.size()), r[0], r[1], r[2], r[3],
                                  r[4], r[5], r[6], r[7], &sid))
    return {};
  return qm::unique_sid(sid);
}

qm::unique_sid Administrators() {
  return NtAuthoritySid({SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS});
}
qm::unique_sid LocalSystem() { return NtAuthoritySid({SECURITY_LOCAL_SYSTEM_RID}); }
// Power Users hold Modify on Program Files and the Windows folder by default on 2000, XP and
// 2003, and can make themselves administrators there: no line a standard user could cross.
qm::unique_sid PowerUsers() {
  return NtAuthoritySid({SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_POWER_USERS});
}
// NT SERVICE\TrustedInstaller: the service's identifier, derived from its name.
qm::unique_sid TrustedInstaller() {
  return NtAuthoritySid({SECURITY_SERVICE_ID_BASE_RID, 956008885u, 3418522649u, 1831038044u,
                         1853292631u, 2271478464u});
}

bool Same(PSID a, const qm::unique_sid& b) { return b && a != nullptr && ::EqualSid(a, b.get()); }

// The user of this process's token, as a TOKEN_USER; empty when the token cannot be read.
std::vector<ULONG_PTR> RunningUser() {
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
  const qm::unique_kernel token(raw);
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  if (size < sizeof(TOKEN_USER)) return {};
  std::vector<ULONG_PTR> user((size + sizeof(ULONG_PTR) - 1) / sizeof(ULONG_PTR));
  if (!::GetTokenInformation(token.get(), TokenUser, user.data(),
                             static_cast<DWORD>(user.size() * sizeof(ULONG_PTR)), &size))
    return {};
  return user;
}

enum class EntryKind { Allows, Denies, Unknown };

EntryKind KindOf(BYTE aceType) {
  switch (aceType) {
    case ACCESS_ALLOWED_ACE_TYPE:
      return EntryKind::Allows;
    case ACCESS_DENIED_ACE_TYPE:
    case ACCESS_DENIED_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
      return EntryKind::Denies;
    default:  // object and conditional allowing entries, and anything newer
      return EntryKind::Unknown;
  }
}

ACCESS_MASK MappedForFiles(ACCESS_MASK mask) {
  GENERIC_MAPPING files = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                           FILE_ALL_ACCESS};
  ::MapGenericMask(&mask, &files);
  return mask;
}

}  // namespace

SecurityInfo::SecurityInfo(HANDLE object, SE_OBJECT_TYPE type, SECURITY_INFORMATION what) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetSecurityInfo(object, type, what, &owner_, nullptr, &dacl_, nullptr, &descriptor) !=
      ERROR_SUCCESS) {
    owner_ = nullptr;
    dacl_ = nullptr;
    return;
  }
  descriptor_.reset(descriptor);
  if ((what & DACL_SECURITY_INFORMATION) == 0) dacl_ = nullptr;
}

TrustedPrincipals::TrustedPrincipals() : tokenUser_(RunningUser()) {
  wellKnown_.push_back(Administrators());
  wellKnown_.push_back(LocalSystem());
  wellKnown_.push_back(PowerUsers());
  wellKnown_.push_back(TrustedInstaller());
}

bool TrustedPrincipals::IsTrusted(PSID sid) const {
  if (sid == nullptr) return false;
  for (const qm::unique_sid& known : wellKnown_)
    if (Same(sid, known)) return true;
  if (tokenUser_.empty()) return false;
  const auto* user = reinterpret_cast<const TOKEN_USER*>(tokenUser_.data());
  return ::EqualSid(sid, user->User.Sid) != FALSE;
}

Exposure FileExposure(const SecurityInfo& security, const TrustedPrincipals& trusted,
                      ACCESS_MASK rights) {
  if (!security) return Exposure::Unreadable;
  if (!trusted.IsTrusted(security.Owner())) return Exposure::ForeignOwner;
  const PACL dacl = security.Dacl();
  if (dacl == nullptr) return Exposure::NoAccessList;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    LPVOID entry = nullptr;
    if (!::GetAce(dacl, i, &entry)) return Exposure::UnknownEntry;
    const auto* header = static_cast<const ACE_HEADER*>(entry);
    if (header->AceFlags & INHERIT_ONLY_ACE) continue;
    switch (KindOf(header->AceType)) {
      case EntryKind::Denies:
        continue;
      case EntryKind::Unknown:
        return Exposure::UnknownEntry;
      case EntryKind::Allows:
        break;
    }
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    if ((MappedForFiles(allowed->Mask) & rights) != 0 && !trusted.IsTrusted(&allowed->SidStart))
      return Exposure::GrantedToOther;
  }
  return Exposure::None;
}

AdministratorsOnly::AdministratorsOnly(ACCESS_MASK rights)
    : administrators_(Administrators()), system_(LocalSystem()) {
  if (!administrators_ || !system_) return;
  const DWORD entry = sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD);
  const DWORD size = sizeof(ACL) + 2 * entry + ::GetLengthSid(administrators_.get()) +
                     ::GetLengthSid(system_.get());
  acl_.assign((size + sizeof(DWORD) - 1) / sizeof(DWORD), 0);
  auto* acl = reinterpret_cast<PACL>(acl_.data());
  built_ = ::InitializeAcl(acl, size, ACL_REVISION) &&
           ::AddAccessAllowedAce(acl, ACL_REVISION, rights, system_.get()) &&
           ::AddAccessAllowedAce(acl, ACL_REVISION, rights, administrators_.get()) &&
           ::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
           ::SetSecurityDescriptorOwner(&descriptor_, administrators_.get(), FALSE) &&
           ::SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE);
}

bool OwnedByAdministrators(HANDLE object) {
  const SecurityInfo security(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION);
  if (!security) return false;
  return Same(security.Owner(), Administrators()) || Same(security.Owner(), LocalSystem());
}

}  // namespace cleanup
