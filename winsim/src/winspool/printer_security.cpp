// A printer's security descriptor, as GetPrinter levels 2 and 3 return it:
// self-relative, owned by the administrators, with the access every
// printer gets when it is added (full control for the administrators and
// the system, printing for everyone).
#include <cstring>

#include "core/internal.h"
#include "winspool/client.h"

namespace winsim::spool {

namespace {

std::vector<BYTE> sid(BYTE authority, std::initializer_list<DWORD> subs) {
  std::vector<BYTE> s(8 + 4 * subs.size(), 0);
  s[0] = SID_REVISION;
  s[1] = BYTE(subs.size());
  s[7] = authority;
  size_t at = 8;
  for (DWORD sub : subs) {
    std::memcpy(s.data() + at, &sub, 4);
    at += 4;
  }
  return s;
}

void allow(std::vector<BYTE> &acl, ACCESS_MASK mask, const std::vector<BYTE> &who) {
  ACCESS_ALLOWED_ACE ace{};
  ace.Header.AceType = ACCESS_ALLOWED_ACE_TYPE;
  ace.Header.AceSize = WORD(offsetof(ACCESS_ALLOWED_ACE, SidStart) + who.size());
  ace.Mask = mask;
  const BYTE *b = reinterpret_cast<const BYTE *>(&ace);
  acl.insert(acl.end(), b, b + offsetof(ACCESS_ALLOWED_ACE, SidStart));
  acl.insert(acl.end(), who.begin(), who.end());
}

}  // namespace

std::vector<BYTE> printerSecurityDescriptor() {
  const auto admins = sid(5, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS});
  const auto system = sid(5, {SECURITY_LOCAL_SYSTEM_RID});
  const auto everyone = sid(1, {SECURITY_WORLD_RID});
  std::vector<BYTE> aces;
  allow(aces, PRINTER_ALL_ACCESS, admins);
  allow(aces, PRINTER_ALL_ACCESS, system);
  allow(aces, PRINTER_EXECUTE, everyone);
  ACL acl{};
  acl.AclRevision = ACL_REVISION;
  acl.AclSize = WORD(sizeof(ACL) + aces.size());
  acl.AceCount = 3;

  SECURITY_DESCRIPTOR_RELATIVE sd{};
  sd.Revision = SECURITY_DESCRIPTOR_REVISION;
  sd.Control = SE_SELF_RELATIVE | SE_DACL_PRESENT;
  std::vector<BYTE> out(sizeof(sd));
  auto append = [&](const void *p, size_t n) {
    DWORD at = DWORD(out.size());
    out.insert(out.end(), static_cast<const BYTE *>(p), static_cast<const BYTE *>(p) + n);
    return at;
  };
  sd.Owner = append(admins.data(), admins.size());
  sd.Group = append(system.data(), system.size());
  sd.Dacl = append(&acl, sizeof(acl));
  append(aces.data(), aces.size());
  std::memcpy(out.data(), &sd, sizeof(sd));
  return out;
}

size_t securityDescriptorLength(const void *descriptor) {
  if (!descriptor) return 0;
  const auto *sd = static_cast<const SECURITY_DESCRIPTOR_RELATIVE *>(descriptor);
  if (!(sd->Control & SE_SELF_RELATIVE)) return 0;
  const BYTE *base = static_cast<const BYTE *>(descriptor);
  size_t end = sizeof(*sd);
  auto sidEnd = [&](DWORD at) { return at ? at + 8 + 4 * size_t(base[at + 1]) : 0; };
  auto aclEnd = [&](DWORD at) {
    if (!at) return size_t(0);
    ACL acl;
    std::memcpy(&acl, base + at, sizeof(acl));
    return at + size_t(acl.AclSize);
  };
  end = std::max({end, sidEnd(sd->Owner), sidEnd(sd->Group), aclEnd(sd->Dacl), aclEnd(sd->Sacl)});
  return end;
}

}  // namespace winsim::spool
