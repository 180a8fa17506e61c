// Owners and access lists of the simulated machine's files, folders and named mutexes: the
// identifiers, lists and descriptors in Windows' own layouts, GetSecurityInfo on a handle of
// either kind, the program's token, and a standard user's attempt to swap a name for a
// junction, which succeeds exactly when the lists would let that user do it on Windows.
//
// Not modelled: a system access list (SACL), the primary group, privileges that bypass the
// lists (backup, restore, take ownership), object entries of directory services, conditional
// entries, inheritance when something is created (a new file reports the default descriptor).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "platform/sim/state.h"

namespace sim {
namespace {

[[noreturn]] void BadText(const std::string& what, const std::string& text) {
  std::fprintf(stderr, "sim: cannot read the %s '%s'\n", what.c_str(), text.c_str());
  std::abort();
}

const char* const kUsers = "S-1-5-32-545";
const char* const kAdministrators = "S-1-5-32-544";
const char* const kEveryone = "S-1-1-0";
const char* const kAuthenticatedUsers = "S-1-5-11";
const char* const kInteractive = "S-1-5-4";

DWORD SidLength(const void* sid) { return 8 + 4 * static_cast<const BYTE*>(sid)[1]; }

std::string SidAt(const void* sid) {
  return std::string(static_cast<const char*>(sid), SidLength(sid));
}

void PutWord(std::string& out, size_t at, WORD value) {
  std::memcpy(&out[at], &value, sizeof value);
}
void PutDword(std::string& out, size_t at, DWORD value) {
  std::memcpy(&out[at], &value, sizeof value);
}

// ---- security texts

// The union of the two-letter codes `text` is made of, each one looked up in `codes`.
template <typename Bits>
Bits CodesFromText(const std::string& text, const std::map<std::string, Bits>& codes,
                   const char* what) {
  Bits bits = 0;
  for (size_t i = 0; i < text.size(); i += 2) {
    auto code = codes.find(text.substr(i, 2));
    if (code == codes.end()) BadText(what, text);
    bits |= code->second;
  }
  return bits;
}

ACCESS_MASK RightsFromText(const std::string& text) {
  if (text.compare(0, 2, "0x") == 0) return static_cast<ACCESS_MASK>(std::strtoul(text.c_str(), nullptr, 16));
  static const std::map<std::string, ACCESS_MASK> codes = {
      {"GA", GENERIC_ALL},   {"GR", GENERIC_READ},       {"GW", GENERIC_WRITE},
      {"GX", GENERIC_EXECUTE}, {"FA", FILE_ALL_ACCESS},  {"FR", FILE_GENERIC_READ},
      {"FW", FILE_GENERIC_WRITE}, {"FX", FILE_GENERIC_EXECUTE}, {"SD", DELETE},
      {"RC", READ_CONTROL},  {"WD", WRITE_DAC},          {"WO", WRITE_OWNER}};
  return CodesFromText(text, codes, "rights");
}

BYTE FlagsFromText(const std::string& text) {
  static const std::map<std::string, BYTE> codes = {{"OI", OBJECT_INHERIT_ACE},
                                                    {"CI", CONTAINER_INHERIT_ACE},
                                                    {"NP", NO_PROPAGATE_INHERIT_ACE},
                                                    {"IO", INHERIT_ONLY_ACE},
                                                    {"ID", INHERITED_ACE}};
  return CodesFromText(text, codes, "entry flags");
}

// "(A;OICI;FA;;;BU)": type, flags, rights, two unused fields, SID.
SimAce AceFromText(const std::string& text) {
  std::vector<std::string> fields(1);
  for (char c : text) {
    if (c == ';')
      fields.emplace_back();
    else
      fields.back() += c;
  }
  if (fields.size() != 6 || (fields[0] != "A" && fields[0] != "D")) BadText("entry", text);
  SimAce ace;
  ace.type = fields[0] == "A" ? ACCESS_ALLOWED_ACE_TYPE : ACCESS_DENIED_ACE_TYPE;
  ace.flags = FlagsFromText(fields[1]);
  ace.mask = RightsFromText(fields[2]);
  ace.sid = SidBytes(fields[5]);
  return ace;
}

// ---- binary forms

std::string AclBytes(const std::vector<SimAce>& aces) {
  std::string acl(sizeof(ACL), '\0');
  for (const SimAce& ace : aces) {
    const size_t at = acl.size();
    acl.resize(at + 8 + ace.sid.size());
    acl[at] = static_cast<char>(ace.type);
    acl[at + 1] = static_cast<char>(ace.flags);
    PutWord(acl, at + 2, static_cast<WORD>(8 + ace.sid.size()));
    PutDword(acl, at + 4, ace.mask);
    acl.replace(at + 8, ace.sid.size(), ace.sid);
  }
  acl[0] = ACL_REVISION;
  PutWord(acl, 2, static_cast<WORD>(acl.size()));
  PutWord(acl, 4, static_cast<WORD>(aces.size()));
  return acl;
}

// The entries of a list in Windows' layout, as a caller built it (InitializeAcl and friends).
std::vector<SimAce> AcesOf(const ACL* acl) {
  std::vector<SimAce> aces;
  const BYTE* at = reinterpret_cast<const BYTE*>(acl) + sizeof(ACL);
  for (WORD i = 0; i < acl->AceCount; ++i) {
    const auto* header = reinterpret_cast<const ACE_HEADER*>(at);
    SimAce ace;
    ace.type = header->AceType;
    ace.flags = header->AceFlags;
    std::memcpy(&ace.mask, at + 4, sizeof ace.mask);
    ace.sid = SidAt(at + 8);
    aces.push_back(ace);
    at += header->AceSize;
  }
  return aces;
}

// The owner and list of a descriptor a caller passes in, absolute or self-relative.
ObjectSecurity FromDescriptor(const void* descriptor) {
  const auto* sd = static_cast<const SECURITY_DESCRIPTOR*>(descriptor);
  const BYTE* base = static_cast<const BYTE*>(descriptor);
  const void* owner = sd->Owner;
  const void* dacl = sd->Dacl;
  if (sd->Control & SE_SELF_RELATIVE) {
    DWORD ownerOffset = 0, daclOffset = 0;
    std::memcpy(&ownerOffset, base + 4, sizeof ownerOffset);
    std::memcpy(&daclOffset, base + 16, sizeof daclOffset);
    owner = ownerOffset != 0 ? base + ownerOffset : nullptr;
    dacl = daclOffset != 0 ? base + daclOffset : nullptr;
  }
  ObjectSecurity security;
  if (owner != nullptr) security.owner = SidAt(owner);
  security.daclPresent = (sd->Control & SE_DACL_PRESENT) != 0 && dacl != nullptr;
  if (security.daclPresent) security.dacl = AcesOf(static_cast<const ACL*>(dacl));
  return security;
}

// ---- access

ACCESS_MASK Mapped(ACCESS_MASK mask, const GENERIC_MAPPING& mapping) {
  MapGenericMask(&mask, const_cast<GENERIC_MAPPING*>(&mapping));
  return mask;
}

bool Holds(const std::vector<std::string>& sids, const std::string& sid) {
  for (const std::string& held : sids)
    if (held == sid) return true;
  return false;
}

const ObjectSecurity& SecurityOf(const FsNode& node) {
  return node.security ? *node.security : DefaultFileSecurity();
}

bool HasReadControl(ACCESS_MASK access) {
  return (access & (READ_CONTROL | GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL |
                    MAXIMUM_ALLOWED)) != 0;
}

// An open that takes part in sharing (data or delete rights) and refuses delete sharing: a
// rename of the object meets it.
bool RenameRefused(const Machine::State& s, const FsNode& node) {
  if (node.heldOpen > 0) return true;
  for (const auto& entry : s.kernel) {
    const KernelObject& k = entry.second;
    if (k.kind != KernelKind::File || k.file.get() != &node || (k.share & FILE_SHARE_DELETE))
      continue;
    const ACCESS_MASK rights = Mapped(k.access, kFileMapping);
    if (rights & (FILE_READ_DATA | FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_EXECUTE | DELETE))
      return true;
  }
  return false;
}

}  // namespace

const GENERIC_MAPPING kFileMapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE,
                                      FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
const GENERIC_MAPPING kMutexMapping = {STANDARD_RIGHTS_READ | MUTANT_QUERY_STATE,
                                       STANDARD_RIGHTS_WRITE, STANDARD_RIGHTS_EXECUTE | SYNCHRONIZE,
                                       MUTEX_ALL_ACCESS};

std::string SidBytes(const std::string& text) {
  static const std::map<std::string, std::string> aliases = {
      {"BA", kAdministrators}, {"SY", "S-1-5-18"},  {"BU", kUsers},
      {"AU", kAuthenticatedUsers}, {"WD", kEveryone}, {"CO", "S-1-3-0"},
      {"PU", "S-1-5-32-547"},  {"IU", kInteractive}};
  const auto alias = aliases.find(text);
  const std::string full = alias != aliases.end() ? alias->second : text;
  if (full.compare(0, 4, "S-1-") != 0) BadText("SID", text);
  std::vector<unsigned long long> parts;
  for (size_t at = 4; at <= full.size();) {
    size_t end = full.find('-', at);
    if (end == std::string::npos) end = full.size();
    if (end == at) BadText("SID", text);
    parts.push_back(std::strtoull(full.substr(at, end - at).c_str(), nullptr, 10));
    at = end + 1;
  }
  if (parts.empty() || parts.size() > 16) BadText("SID", text);
  std::string sid(8 + 4 * (parts.size() - 1), '\0');
  sid[0] = 1;
  sid[1] = static_cast<char>(parts.size() - 1);
  for (int i = 0; i < 6; ++i) sid[2 + i] = static_cast<char>((parts[0] >> (8 * (5 - i))) & 0xFF);
  for (size_t i = 1; i < parts.size(); ++i)
    PutDword(sid, 8 + 4 * (i - 1), static_cast<DWORD>(parts[i]));
  return sid;
}

ObjectSecurity ParseSecurity(const std::string& text) {
  ObjectSecurity security;
  const size_t list = text.find("D:");
  if (list == std::string::npos) BadText("security text", text);
  if (text.compare(0, 2, "O:") == 0) security.owner = SidBytes(text.substr(2, list - 2));
  const std::string entries = text.substr(list + 2);
  if (entries == "NO_ACCESS_CONTROL") {
    security.daclPresent = false;
    return security;
  }
  for (size_t at = 0; at < entries.size();) {
    const size_t end = entries.find(')', at);
    if (entries[at] != '(' || end == std::string::npos) BadText("security text", text);
    security.dacl.push_back(AceFromText(entries.substr(at + 1, end - at - 1)));
    at = end + 1;
  }
  return security;
}

const ObjectSecurity& DefaultFileSecurity() {
  static const ObjectSecurity security =
      ParseSecurity("O:BAD:(A;OICIID;FA;;;BA)(A;OICIID;FA;;;SY)(A;OICIID;0x1200a9;;;BU)");
  return security;
}

std::vector<std::string> ProgramSids(const Machine& m) {
  std::vector<std::string> sids{SidBytes(m.userSid), SidBytes(kEveryone),
                                SidBytes(kAuthenticatedUsers), SidBytes(kUsers)};
  if (m.administrator) sids.push_back(SidBytes(kAdministrators));
  return sids;
}

bool Granted(const ObjectSecurity& security, const std::vector<std::string>& sids,
             ACCESS_MASK desired, const GENERIC_MAPPING& mapping) {
  ACCESS_MASK remaining = Mapped(desired, mapping);
  if (!security.owner.empty() && Holds(sids, security.owner))
    remaining &= ~static_cast<ACCESS_MASK>(READ_CONTROL | WRITE_DAC);
  if (!security.daclPresent) return true;
  for (const SimAce& ace : security.dacl) {
    if (remaining == 0) break;
    if ((ace.flags & INHERIT_ONLY_ACE) || !Holds(sids, ace.sid)) continue;
    const ACCESS_MASK mask = Mapped(ace.mask, mapping);
    if (ace.type == ACCESS_DENIED_ACE_TYPE && (mask & remaining)) return false;
    if (ace.type == ACCESS_ALLOWED_ACE_TYPE) remaining &= ~mask;
  }
  return remaining == 0;
}

bool SecurityOfNewObject(const Machine& m, const SECURITY_ATTRIBUTES* attributes,
                         ObjectSecurity& security) {
  const std::string user = SidBytes(m.userSid);
  const std::string defaultOwner = m.administrator ? SidBytes(kAdministrators) : user;
  if (attributes != nullptr && attributes->lpSecurityDescriptor != nullptr)
    security = FromDescriptor(attributes->lpSecurityDescriptor);
  const bool listGiven = attributes != nullptr && attributes->lpSecurityDescriptor != nullptr &&
                         (static_cast<const SECURITY_DESCRIPTOR*>(attributes->lpSecurityDescriptor)
                              ->Control & SE_DACL_PRESENT) != 0;
  if (security.owner.empty()) security.owner = defaultOwner;
  if (security.owner != user && !(m.administrator && security.owner == SidBytes(kAdministrators)))
    return false;
  if (!listGiven) {
    security.daclPresent = true;
    security.dacl = {SimAce{ACCESS_ALLOWED_ACE_TYPE, 0, GENERIC_ALL, defaultOwner},
                     SimAce{ACCESS_ALLOWED_ACE_TYPE, 0, GENERIC_ALL, SidBytes("SY")}};
  }
  return true;
}

// ---- Machine

void Machine::SetSecurity(const std::string& path, const std::string& text) {
  auto node = FileAt(*state_, FromAnsi(path), false);
  if (!node) BadText("path", path);
  node->security = std::make_shared<const ObjectSecurity>(ParseSecurity(text));
}

bool Machine::ReplaceWithJunctionAsUser(const std::u16string& path, const std::u16string& target,
                                        const std::string& user) {
  auto node = FileAt(*state_, path, false);
  if (!node || node->parent == nullptr) return false;
  const std::vector<std::string> sids{SidBytes(user), SidBytes(kUsers),
                                      SidBytes(kAuthenticatedUsers), SidBytes(kEveryone),
                                      SidBytes(kInteractive)};
  const auto may = [&](const FsNode& object, ACCESS_MASK rights) {
    return Granted(SecurityOf(object), sids, rights, kFileMapping);
  };
  const auto takesOver = [&](const FsNode& object) {
    return SecurityOf(object).owner == sids[0] || may(object, WRITE_DAC) ||
           may(object, WRITE_OWNER);
  };
  const FsNode& folder = *node->parent;
  const bool moves = may(*node, DELETE) || takesOver(*node) ||
                     may(folder, FILE_DELETE_CHILD) || takesOver(folder);
  const bool creates = may(folder, FILE_ADD_SUBDIRECTORY) || takesOver(folder);
  if (!moves || !creates) return Fail(ERROR_ACCESS_DENIED, false);
  if (RenameRefused(*state_, *node)) return Fail(ERROR_SHARING_VIOLATION, false);
  MakeLinkW(path, target, true);
  auto junction = FileAt(*state_, path, false);
  junction->security = std::make_shared<const ObjectSecurity>(
      ParseSecurity("O:" + user + "D:(A;OICI;FA;;;" + user + ")"));
  return true;
}

}  // namespace sim

using sim::Fail;

// ---- Win32: identifiers

BOOL WINAPI AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY pIdentifierAuthority,
                                     BYTE nSubAuthorityCount, DWORD n0, DWORD n1, DWORD n2,
                                     DWORD n3, DWORD n4, DWORD n5, DWORD n6, DWORD n7,
                                     PSID* pSid) {
  if (pIdentifierAuthority == nullptr || pSid == nullptr || nSubAuthorityCount > 8)
    return Fail(ERROR_INVALID_PARAMETER, FALSE);
  const DWORD rids[8] = {n0, n1, n2, n3, n4, n5, n6, n7};
  auto* sid = static_cast<BYTE*>(std::calloc(1, 8 + 4 * nSubAuthorityCount));
  sid[0] = 1;
  sid[1] = nSubAuthorityCount;
  std::memcpy(sid + 2, pIdentifierAuthority->Value, 6);
  std::memcpy(sid + 8, rids, 4 * nSubAuthorityCount);
  *pSid = sid;
  return TRUE;
}

PVOID WINAPI FreeSid(PSID pSid) {
  std::free(pSid);
  return nullptr;
}

BOOL WINAPI IsValidSid(PSID pSid) {
  return pSid != nullptr && static_cast<const BYTE*>(pSid)[0] == 1 &&
         static_cast<const BYTE*>(pSid)[1] <= 15;
}

DWORD WINAPI GetLengthSid(PSID pSid) { return IsValidSid(pSid) ? sim::SidLength(pSid) : 0; }

BOOL WINAPI EqualSid(PSID pSid1, PSID pSid2) {
  SetLastError(ERROR_SUCCESS);
  if (!IsValidSid(pSid1) || !IsValidSid(pSid2)) return FALSE;
  return sim::SidAt(pSid1) == sim::SidAt(pSid2);
}

// ---- Win32: access lists and descriptors

BOOL WINAPI InitializeAcl(PACL pAcl, DWORD nAclLength, DWORD dwAclRevision) {
  if (nAclLength < sizeof(ACL)) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  if (pAcl == nullptr || nAclLength > 0xFFFF || (dwAclRevision != 2 && dwAclRevision != 4))
    return Fail(ERROR_INVALID_PARAMETER, FALSE);
  *pAcl = ACL{static_cast<BYTE>(dwAclRevision), 0, static_cast<WORD>(nAclLength), 0, 0};
  return TRUE;
}

BOOL WINAPI AddAccessAllowedAce(PACL pAcl, DWORD dwAceRevision, DWORD AccessMask, PSID pSid) {
  if (pAcl == nullptr || !IsValidSid(pSid) || dwAceRevision > pAcl->AclRevision)
    return Fail(ERROR_INVALID_PARAMETER, FALSE);
  auto* base = reinterpret_cast<BYTE*>(pAcl);
  size_t end = sizeof(ACL);
  for (WORD i = 0; i < pAcl->AceCount; ++i)
    end += reinterpret_cast<const ACE_HEADER*>(base + end)->AceSize;
  const DWORD size = 8 + GetLengthSid(pSid);
  if (end + size > pAcl->AclSize) return Fail(ERROR_ALLOTTED_SPACE_EXCEEDED, FALSE);
  auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(base + end);
  ace->Header = ACE_HEADER{ACCESS_ALLOWED_ACE_TYPE, 0, static_cast<WORD>(size)};
  ace->Mask = AccessMask;
  std::memcpy(&ace->SidStart, pSid, GetLengthSid(pSid));
  ++pAcl->AceCount;
  return TRUE;
}

BOOL WINAPI GetAce(PACL pAcl, DWORD dwAceIndex, LPVOID* pAce) {
  if (pAcl == nullptr || pAce == nullptr || dwAceIndex >= pAcl->AceCount)
    return Fail(ERROR_INVALID_PARAMETER, FALSE);
  auto* at = reinterpret_cast<BYTE*>(pAcl) + sizeof(ACL);
  for (DWORD i = 0; i < dwAceIndex; ++i) at += reinterpret_cast<const ACE_HEADER*>(at)->AceSize;
  *pAce = at;
  return TRUE;
}

BOOL WINAPI InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                         DWORD dwRevision) {
  if (pSecurityDescriptor == nullptr || dwRevision != SECURITY_DESCRIPTOR_REVISION)
    return Fail(ERROR_INVALID_PARAMETER, FALSE);
  *static_cast<SECURITY_DESCRIPTOR*>(pSecurityDescriptor) = SECURITY_DESCRIPTOR{};
  static_cast<SECURITY_DESCRIPTOR*>(pSecurityDescriptor)->Revision = SECURITY_DESCRIPTOR_REVISION;
  return TRUE;
}

BOOL WINAPI SetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR pSecurityDescriptor, PSID pOwner,
                                       BOOL bOwnerDefaulted) {
  auto* sd = static_cast<SECURITY_DESCRIPTOR*>(pSecurityDescriptor);
  if (sd == nullptr || (sd->Control & SE_SELF_RELATIVE))
    return Fail(ERROR_INVALID_SECURITY_DESCR, FALSE);
  sd->Owner = pOwner;
  sd->Control = static_cast<WORD>((sd->Control & ~SE_OWNER_DEFAULTED) |
                                  (bOwnerDefaulted ? SE_OWNER_DEFAULTED : 0));
  return TRUE;
}

BOOL WINAPI SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                      BOOL bDaclPresent, PACL pDacl, BOOL bDaclDefaulted) {
  auto* sd = static_cast<SECURITY_DESCRIPTOR*>(pSecurityDescriptor);
  if (sd == nullptr || (sd->Control & SE_SELF_RELATIVE))
    return Fail(ERROR_INVALID_SECURITY_DESCR, FALSE);
  sd->Control = static_cast<WORD>(sd->Control & ~(SE_DACL_PRESENT | SE_DACL_DEFAULTED));
  sd->Dacl = nullptr;
  if (bDaclPresent) {
    sd->Control = static_cast<WORD>(sd->Control | SE_DACL_PRESENT |
                                    (bDaclDefaulted ? SE_DACL_DEFAULTED : 0));
    sd->Dacl = pDacl;
  }
  return TRUE;
}

VOID WINAPI MapGenericMask(PDWORD AccessMask, PGENERIC_MAPPING GenericMapping) {
  DWORD mask = *AccessMask;
  if (mask & GENERIC_READ) mask |= GenericMapping->GenericRead;
  if (mask & GENERIC_WRITE) mask |= GenericMapping->GenericWrite;
  if (mask & GENERIC_EXECUTE) mask |= GenericMapping->GenericExecute;
  if (mask & GENERIC_ALL) mask |= GenericMapping->GenericAll;
  *AccessMask = mask & ~static_cast<DWORD>(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE |
                                           GENERIC_ALL);
}

// Files (SE_FILE_OBJECT) and mutexes (SE_KERNEL_OBJECT; either type reaches either kind, as
// both end in the same query of the object). The copy is self-relative: header, owner, list.
DWORD WINAPI GetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE ObjectType,
                             SECURITY_INFORMATION SecurityInfo, PSID* ppsidOwner,
                             PSID* ppsidGroup, PACL* ppDacl, PACL* ppSacl,
                             PSECURITY_DESCRIPTOR* ppSecurityDescriptor) {
  auto& m = sim::Machine::current();
  auto& kernel = m.state().kernel;
  const auto it = kernel.find(reinterpret_cast<uintptr_t>(handle));
  if (it == kernel.end()) return ERROR_INVALID_HANDLE;
  if (ObjectType != SE_FILE_OBJECT && ObjectType != SE_KERNEL_OBJECT) return ERROR_INVALID_PARAMETER;
  const sim::KernelObject& k = it->second;
  const sim::ObjectSecurity* security = nullptr;
  if (k.kind == sim::KernelKind::File) security = &sim::SecurityOf(*k.file);
  if (k.kind == sim::KernelKind::Mutex) security = k.security.get();
  if (security == nullptr) return ERROR_INVALID_HANDLE;
  if (SecurityInfo & SACL_SECURITY_INFORMATION) return ERROR_PRIVILEGE_NOT_HELD;
  if (ppSecurityDescriptor == nullptr) return ERROR_INVALID_PARAMETER;
  const GENERIC_MAPPING& mapping =
      k.kind == sim::KernelKind::File ? sim::kFileMapping : sim::kMutexMapping;
  if (!sim::HasReadControl(k.access) ||
      !sim::Granted(*security, sim::ProgramSids(m), READ_CONTROL, mapping))
    return ERROR_ACCESS_DENIED;

  const bool withOwner = (SecurityInfo & OWNER_SECURITY_INFORMATION) && !security->owner.empty();
  const bool withDacl = (SecurityInfo & DACL_SECURITY_INFORMATION) != 0;
  std::string block(20, '\0');
  block[0] = SECURITY_DESCRIPTOR_REVISION;
  WORD control = SE_SELF_RELATIVE;
  if (withOwner) {
    sim::PutDword(block, 4, static_cast<DWORD>(block.size()));
    block += security->owner;
  }
  if (withDacl) {
    control |= SE_DACL_PRESENT;
    if (security->daclPresent) {
      sim::PutDword(block, 16, static_cast<DWORD>(block.size()));
      block += sim::AclBytes(security->dacl);
    }
  }
  sim::PutWord(block, 2, control);
  auto* copy = static_cast<BYTE*>(std::malloc(block.size()));
  std::memcpy(copy, block.data(), block.size());
  DWORD ownerAt = 0, daclAt = 0;
  std::memcpy(&ownerAt, copy + 4, sizeof ownerAt);
  std::memcpy(&daclAt, copy + 16, sizeof daclAt);
  if (ppsidOwner) *ppsidOwner = ownerAt != 0 ? copy + ownerAt : nullptr;
  if (ppsidGroup) *ppsidGroup = nullptr;
  if (ppDacl) *ppDacl = daclAt != 0 ? reinterpret_cast<PACL>(copy + daclAt) : nullptr;
  if (ppSacl) *ppSacl = nullptr;
  *ppSecurityDescriptor = copy;
  return ERROR_SUCCESS;
}

// ---- Win32: the token's user

BOOL WINAPI GetTokenInformation(HANDLE TokenHandle, TOKEN_INFORMATION_CLASS TokenInformationClass,
                                LPVOID TokenInformation, DWORD TokenInformationLength,
                                PDWORD ReturnLength) {
  auto& m = sim::Machine::current();
  auto& kernel = m.state().kernel;
  const auto it = kernel.find(reinterpret_cast<uintptr_t>(TokenHandle));
  if (it == kernel.end() || it->second.kind != sim::KernelKind::Token)
    return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!(it->second.access & TOKEN_QUERY)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  if (TokenInformationClass != TokenUser || ReturnLength == nullptr)
    return Fail(ERROR_INVALID_PARAMETER, FALSE);
  const std::string sid = sim::SidBytes(m.userSid);
  const DWORD needed = static_cast<DWORD>(sizeof(TOKEN_USER) + sid.size());
  *ReturnLength = needed;
  if (TokenInformation == nullptr || TokenInformationLength < needed)
    return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  auto* user = static_cast<TOKEN_USER*>(TokenInformation);
  auto* copy = static_cast<BYTE*>(TokenInformation) + sizeof(TOKEN_USER);
  std::memcpy(copy, sid.data(), sid.size());
  user->User.Sid = copy;
  user->User.Attributes = 0;
  return TRUE;
}
