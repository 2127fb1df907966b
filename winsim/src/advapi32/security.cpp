// Security of files on the virtual drive: security identifiers, access control
// lists in their binary layout, and the named-object calls that read and
// change a file's descriptor.  The drive keeps each file's descriptor (core);
// a file that never had one set shows the one it would inherit from an
// all-users folder.
#include <aclapi.h>
#include <sys/stat.h>

#include <cstring>

#include "core/internal.h"

using namespace winsim;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kSidHeader = 8;  // revision, count, authority

size_t sidLength(const uint8_t *sid) { return kSidHeader + 4u * sid[1]; }

bool sidValid(const void *p) {
  if (!p) return false;
  auto *s = static_cast<const uint8_t *>(p);
  return s[0] == SID_REVISION && s[1] <= SID_MAX_SUB_AUTHORITIES;
}

Bytes makeSid(std::initializer_list<uint8_t> authority, std::initializer_list<DWORD> subs) {
  Bytes b{SID_REVISION, uint8_t(subs.size())};
  b.insert(b.end(), authority.begin(), authority.end());
  for (DWORD s : subs)
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(s >> (8 * i)));
  return b;
}

const Bytes &worldSid() {
  static const Bytes s = makeSid({0, 0, 0, 0, 0, 1}, {SECURITY_WORLD_RID});
  return s;
}
const Bytes &systemSid() {
  static const Bytes s = makeSid({0, 0, 0, 0, 0, 5}, {SECURITY_LOCAL_SYSTEM_RID});
  return s;
}
const Bytes &adminsSid() {
  static const Bytes s = makeSid({0, 0, 0, 0, 0, 5}, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS});
  return s;
}
const Bytes &usersSid() {
  static const Bytes s = makeSid({0, 0, 0, 0, 0, 5}, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS});
  return s;
}

// One entry of an access control list.  Allowed and denied entries are read
// into their parts; any other kind is kept as its bytes.
struct Ace {
  BYTE type = ACCESS_ALLOWED_ACE_TYPE;
  BYTE flags = 0;
  DWORD mask = 0;
  Bytes sid;
  Bytes raw;  // entries of other kinds, whole
  bool inherited() const { return (flags & INHERITED_ACE) != 0; }
  bool simple() const { return type == ACCESS_ALLOWED_ACE_TYPE || type == ACCESS_DENIED_ACE_TYPE; }
};

struct Acl {
  BYTE revision = ACL_REVISION;
  std::vector<Ace> aces;
};

bool parseAcl(const void *p, Acl &out) {
  auto *a = static_cast<const uint8_t *>(p);
  ACL h;
  std::memcpy(&h, a, sizeof h);
  if ((h.AclRevision != ACL_REVISION && h.AclRevision != ACL_REVISION_DS) || h.AclSize < sizeof(ACL)) return false;
  out.revision = h.AclRevision;
  out.aces.clear();
  size_t pos = sizeof(ACL);
  for (WORD i = 0; i < h.AceCount; ++i) {
    if (pos + sizeof(ACE_HEADER) > h.AclSize) return false;
    ACE_HEADER ah;
    std::memcpy(&ah, a + pos, sizeof ah);
    if (ah.AceSize < sizeof(ACE_HEADER) || pos + ah.AceSize > h.AclSize) return false;
    Ace ace;
    ace.type = ah.AceType;
    ace.flags = ah.AceFlags;
    if (ace.simple()) {
      if (ah.AceSize < 8 + kSidHeader) return false;
      const uint8_t *sid = a + pos + 8;
      if (!sidValid(sid) || 8 + sidLength(sid) > ah.AceSize) return false;
      std::memcpy(&ace.mask, a + pos + 4, 4);
      ace.sid.assign(sid, sid + sidLength(sid));
    } else {
      ace.raw.assign(a + pos, a + pos + ah.AceSize);
    }
    out.aces.push_back(std::move(ace));
    pos += ah.AceSize;
  }
  return true;
}

Bytes serialiseAcl(const Acl &acl) {
  Bytes b(sizeof(ACL), 0);
  for (const Ace &ace : acl.aces) {
    if (!ace.simple()) {
      b.insert(b.end(), ace.raw.begin(), ace.raw.end());
      continue;
    }
    WORD size = WORD(8 + ace.sid.size());
    ACE_HEADER ah{ace.type, ace.flags, size};
    const uint8_t *hp = reinterpret_cast<const uint8_t *>(&ah);
    b.insert(b.end(), hp, hp + sizeof ah);
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(ace.mask >> (8 * i)));
    b.insert(b.end(), ace.sid.begin(), ace.sid.end());
  }
  ACL h{acl.revision, 0, WORD(b.size()), WORD(acl.aces.size()), 0};
  std::memcpy(b.data(), &h, sizeof h);
  return b;
}

// What an object on the drive inherits from its folder: full access for the
// system and the administrators, reading and running for users.
std::vector<Ace> inheritedAces() {
  constexpr DWORD kReadExecute = 0x001200A9;
  std::vector<Ace> v(3);
  v[0].sid = systemSid();
  v[0].mask = FILE_ALL_ACCESS;
  v[1].sid = adminsSid();
  v[1].mask = FILE_ALL_ACCESS;
  v[2].sid = usersSid();
  v[2].mask = kReadExecute;
  for (Ace &a : v) a.flags = INHERITED_ACE;
  return v;
}

struct Descriptor {
  WORD control = SE_DACL_PRESENT | SE_DACL_AUTO_INHERITED;
  Bytes owner = adminsSid();
  Bytes group = systemSid();
  bool nullDacl = false;
  Acl dacl{ACL_REVISION, inheritedAces()};
};

// The self-relative form, holding the parts `info` asks for.
Bytes serialise(const Descriptor &d, SECURITY_INFORMATION info) {
  Bytes b(sizeof(SECURITY_DESCRIPTOR_RELATIVE), 0);
  SECURITY_DESCRIPTOR_RELATIVE h{};
  h.Revision = SECURITY_DESCRIPTOR_REVISION;
  h.Control = SE_SELF_RELATIVE;
  if (info & OWNER_SECURITY_INFORMATION) {
    h.Owner = DWORD(b.size());
    b.insert(b.end(), d.owner.begin(), d.owner.end());
  }
  if (info & GROUP_SECURITY_INFORMATION) {
    h.Group = DWORD(b.size());
    b.insert(b.end(), d.group.begin(), d.group.end());
  }
  if (info & DACL_SECURITY_INFORMATION) {
    h.Control |= WORD(d.control & (SE_DACL_PRESENT | SE_DACL_AUTO_INHERITED | SE_DACL_PROTECTED));
    if (!d.nullDacl) {
      h.Dacl = DWORD(b.size());
      Bytes acl = serialiseAcl(d.dacl);
      b.insert(b.end(), acl.begin(), acl.end());
    }
  }
  std::memcpy(b.data(), &h, sizeof h);
  return b;
}

bool parse(const Bytes &b, Descriptor &d) {
  if (b.size() < sizeof(SECURITY_DESCRIPTOR_RELATIVE)) return false;
  SECURITY_DESCRIPTOR_RELATIVE h;
  std::memcpy(&h, b.data(), sizeof h);
  d.control = h.Control & ~SE_SELF_RELATIVE;
  if (h.Owner) d.owner.assign(b.begin() + h.Owner, b.begin() + h.Owner + sidLength(b.data() + h.Owner));
  if (h.Group) d.group.assign(b.begin() + h.Group, b.begin() + h.Group + sidLength(b.data() + h.Group));
  d.nullDacl = !h.Dacl;
  return !h.Dacl || parseAcl(b.data() + h.Dacl, d.dacl);
}

constexpr SECURITY_INFORMATION kAllParts =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

// The host path of an existing file or folder, else the error to return.
DWORD objectOf(LPCWSTR name, SE_OBJECT_TYPE type, std::string &host) {
  if (!name || !*name) return ERROR_INVALID_PARAMETER;
  if (type != SE_FILE_OBJECT) return ERROR_CALL_NOT_IMPLEMENTED;
  if (!mapPath(name, host)) return ERROR_PATH_NOT_FOUND;
  struct stat st {};
  if (::stat(host.c_str(), &st) == 0) return ERROR_SUCCESS;
  std::string parent = host.substr(0, host.rfind('/'));
  return ::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

Descriptor descriptorOf(const std::string &host) {
  Descriptor d;
  Bytes stored;
  if (fileSecurity(host, stored)) parse(stored, d);
  return d;
}

template <typename T>
T *localCopy(const Bytes &b) {
  void *p = LocalAlloc(LMEM_FIXED, b.size());
  if (p) std::memcpy(p, b.data(), b.size());
  return static_cast<T *>(p);
}

// The identifier a trustee names: a SID, or one of the well-known names.
DWORD trusteeSid(const TRUSTEE_W &t, Bytes &sid) {
  if (t.pMultipleTrustee || t.MultipleTrusteeOperation != NO_MULTIPLE_TRUSTEE) return ERROR_INVALID_PARAMETER;
  if (t.TrusteeForm == TRUSTEE_IS_SID) {
    if (!sidValid(t.ptstrName)) return ERROR_INVALID_SID;
    auto *s = reinterpret_cast<const uint8_t *>(t.ptstrName);
    sid.assign(s, s + sidLength(s));
    return ERROR_SUCCESS;
  }
  if (t.TrusteeForm != TRUSTEE_IS_NAME || !t.ptstrName) return ERROR_INVALID_PARAMETER;
  std::u16string n = fromW(t.ptstrName);
  struct Known {
    const char16_t *name;
    const Bytes &(*sid)();
  };
  static const Known kKnown[] = {
      {u"Everyone", worldSid},
      {u"SYSTEM", systemSid},
      {u"NT AUTHORITY\\SYSTEM", systemSid},
      {u"Administrators", adminsSid},
      {u"BUILTIN\\Administrators", adminsSid},
      {u"Users", usersSid},
      {u"BUILTIN\\Users", usersSid},
  };
  for (const Known &k : kKnown)
    if (equalsNoCase(n, k.name)) {
      sid = k.sid();
      return ERROR_SUCCESS;
    }
  return ERROR_NONE_MAPPED;
}

}  // namespace

extern "C" {

BOOL WINAPI AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD s0, DWORD s1, DWORD s2,
                                     DWORD s3, DWORD s4, DWORD s5, DWORD s6, DWORD s7, PSID *sid) {
  if (!authority || !sid || count == 0 || count > 8) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const DWORD subs[8] = {s0, s1, s2, s3, s4, s5, s6, s7};
  Bytes b{SID_REVISION, count};
  b.insert(b.end(), authority->Value, authority->Value + 6);
  for (BYTE i = 0; i < count; ++i)
    for (int k = 0; k < 4; ++k) b.push_back(uint8_t(subs[i] >> (8 * k)));
  *sid = localCopy<void>(b);
  if (!*sid) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  return TRUE;
}

PVOID WINAPI FreeSid(PSID sid) { return LocalFree(sid); }

BOOL WINAPI IsValidSid(PSID sid) { return sidValid(sid) ? TRUE : FALSE; }

DWORD WINAPI GetLengthSid(PSID sid) { return sidValid(sid) ? DWORD(sidLength(static_cast<uint8_t *>(sid))) : 0; }

BOOL WINAPI EqualSid(PSID a, PSID b) {
  SetLastError(ERROR_SUCCESS);
  if (!sidValid(a) || !sidValid(b)) {
    SetLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  size_t n = sidLength(static_cast<uint8_t *>(a));
  return n == sidLength(static_cast<uint8_t *>(b)) && std::memcmp(a, b, n) == 0;
}

BOOL WINAPI GetAce(PACL acl, DWORD index, LPVOID *ace) {
  if (!acl || !ace || index >= acl->AceCount) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto *p = reinterpret_cast<uint8_t *>(acl) + sizeof(ACL);
  for (DWORD i = 0; i < index; ++i) p += reinterpret_cast<ACE_HEADER *>(p)->AceSize;
  *ace = p;
  return TRUE;
}

DWORD WINAPI GetNamedSecurityInfoW(LPCWSTR name, SE_OBJECT_TYPE type, SECURITY_INFORMATION info, PSID *owner,
                                   PSID *group, PACL *dacl, PACL *sacl, PSECURITY_DESCRIPTOR *sd) {
  if (owner) *owner = nullptr;
  if (group) *group = nullptr;
  if (dacl) *dacl = nullptr;
  if (sacl) *sacl = nullptr;
  if (sd) *sd = nullptr;
  if (!sd && (owner || group || dacl || sacl)) return ERROR_INVALID_PARAMETER;
  // Reading the audit list takes a privilege that no caller here holds.
  if (info & SACL_SECURITY_INFORMATION) return ERROR_PRIVILEGE_NOT_HELD;
  std::string host;
  if (DWORD e = objectOf(name, type, host)) return e;
  Bytes b = serialise(descriptorOf(host), info & kAllParts);
  if (!sd) return ERROR_SUCCESS;
  auto *p = localCopy<uint8_t>(b);
  if (!p) return ERROR_NOT_ENOUGH_MEMORY;
  SECURITY_DESCRIPTOR_RELATIVE h;
  std::memcpy(&h, p, sizeof h);
  if (owner && h.Owner) *owner = p + h.Owner;
  if (group && h.Group) *group = p + h.Group;
  if (dacl && h.Dacl) *dacl = reinterpret_cast<PACL>(p + h.Dacl);
  *sd = p;
  return ERROR_SUCCESS;
}

DWORD WINAPI SetNamedSecurityInfoW(LPWSTR name, SE_OBJECT_TYPE type, SECURITY_INFORMATION info, PSID owner, PSID group,
                                   PACL dacl, PACL) {
  if (info & SACL_SECURITY_INFORMATION) return ERROR_PRIVILEGE_NOT_HELD;
  std::string host;
  if (DWORD e = objectOf(name, type, host)) return e;
  Descriptor d = descriptorOf(host);
  if (info & OWNER_SECURITY_INFORMATION) {
    if (!sidValid(owner)) return ERROR_INVALID_SID;
    auto *s = static_cast<uint8_t *>(owner);
    d.owner.assign(s, s + sidLength(s));
  }
  if (info & GROUP_SECURITY_INFORMATION) {
    if (!sidValid(group)) return ERROR_INVALID_SID;
    auto *s = static_cast<uint8_t *>(group);
    d.group.assign(s, s + sidLength(s));
  }
  if (info & DACL_SECURITY_INFORMATION) {
    Acl given;
    if (dacl && !parseAcl(dacl, given)) return ERROR_INVALID_ACL;
    // The entries given are the object's own; the inherited ones come from
    // its folder again, unless the list is now protected from inheritance.
    // Entries marked inherited in the given list are not taken over.
    bool isProtected = (d.control & SE_DACL_PROTECTED) != 0;
    if (info & PROTECTED_DACL_SECURITY_INFORMATION)
      isProtected = true;
    else if (info & UNPROTECTED_DACL_SECURITY_INFORMATION)
      isProtected = false;
    d.control = WORD((d.control & ~SE_DACL_PROTECTED) | SE_DACL_PRESENT | (isProtected ? SE_DACL_PROTECTED : 0));
    d.nullDacl = !dacl;
    if (dacl) {
      Acl result{given.revision, {}};
      for (const Ace &a : given.aces)
        if (!a.inherited()) result.aces.push_back(a);
      if (!isProtected)
        for (const Ace &a : inheritedAces()) result.aces.push_back(a);
      d.dacl = result;
    }
  }
  if (!setFileSecurity(host, serialise(d, kAllParts))) return ERROR_FILE_NOT_FOUND;
  return ERROR_SUCCESS;
}

DWORD WINAPI SetEntriesInAclW(ULONG count, PEXPLICIT_ACCESS_W entries, PACL oldAcl, PACL *newAcl) {
  if (!newAcl) return ERROR_INVALID_PARAMETER;
  *newAcl = nullptr;
  if (count && !entries) return ERROR_INVALID_PARAMETER;
  Acl old;
  if (oldAcl && !parseAcl(oldAcl, old)) return ERROR_INVALID_ACL;
  std::vector<Ace> newDenied, newAllowed;
  for (ULONG i = 0; i < count; ++i) {
    const EXPLICIT_ACCESS_W &e = entries[i];
    if (e.grfAccessMode == NOT_USED_ACCESS) continue;
    if (e.grfAccessMode != GRANT_ACCESS && e.grfAccessMode != SET_ACCESS && e.grfAccessMode != DENY_ACCESS &&
        e.grfAccessMode != REVOKE_ACCESS)
      return ERROR_INVALID_PARAMETER;  // audit entries belong in a system list
    Bytes sid;
    if (DWORD err = trusteeSid(e.Trustee, sid)) return err;
    BYTE flags = BYTE(e.grfInheritance &
                      (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE | NO_PROPAGATE_INHERIT_ACE | INHERIT_ONLY_ACE));
    auto sameTrustee = [&](const Ace &a) { return a.simple() && !a.inherited() && a.sid == sid; };
    DWORD mask = e.grfAccessPermissions;
    std::vector<Ace> kept;
    for (Ace &a : old.aces) {
      bool drop = false;
      if (sameTrustee(a)) {
        if (e.grfAccessMode == SET_ACCESS || e.grfAccessMode == REVOKE_ACCESS) {
          // The trustee's own entries are replaced (or taken away).
          drop = true;
        } else if (a.flags == flags && ((e.grfAccessMode == GRANT_ACCESS && a.type == ACCESS_ALLOWED_ACE_TYPE) ||
                                        (e.grfAccessMode == DENY_ACCESS && a.type == ACCESS_DENIED_ACE_TYPE))) {
          // Rights granted (denied) before are combined with the new ones.
          mask |= a.mask;
          drop = true;
        }
      }
      if (!drop) kept.push_back(std::move(a));
    }
    old.aces = std::move(kept);
    if (e.grfAccessMode == REVOKE_ACCESS) continue;
    Ace ace;
    ace.type = e.grfAccessMode == DENY_ACCESS ? ACCESS_DENIED_ACE_TYPE : ACCESS_ALLOWED_ACE_TYPE;
    ace.flags = flags;
    ace.mask = mask;
    ace.sid = sid;
    (ace.type == ACCESS_DENIED_ACE_TYPE ? newDenied : newAllowed).push_back(std::move(ace));
  }
  // New denials lead the list; new grants go just before the first existing
  // grant (or the first inherited entry), so the order stays canonical.
  Acl result{old.revision, newDenied};
  bool placed = false;
  for (Ace &a : old.aces) {
    if (!placed && (a.inherited() || a.type == ACCESS_ALLOWED_ACE_TYPE)) {
      result.aces.insert(result.aces.end(), newAllowed.begin(), newAllowed.end());
      placed = true;
    }
    result.aces.push_back(std::move(a));
  }
  if (!placed) result.aces.insert(result.aces.end(), newAllowed.begin(), newAllowed.end());
  Bytes b = serialiseAcl(result);
  if (b.size() > 0xFFFF) return ERROR_INVALID_PARAMETER;
  *newAcl = localCopy<ACL>(b);
  return *newAcl ? ERROR_SUCCESS : ERROR_NOT_ENOUGH_MEMORY;
}

}  // extern "C"
