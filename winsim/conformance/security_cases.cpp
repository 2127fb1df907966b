// File security: an access list read from a file, merged with a new entry
// and set back, keeps what it had and gains the entry.
#include <aclapi.h>

#include "check.h"
#include "support.h"

using conf::WString;

namespace {

PSID worldSid() {
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID sid = nullptr;
  if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &sid)) return nullptr;
  return sid;
}

EXPLICIT_ACCESS_W entry(PSID sid, DWORD mask, ACCESS_MODE mode, DWORD inheritance) {
  EXPLICIT_ACCESS_W e;
  ZeroMemory(&e, sizeof e);
  e.grfAccessPermissions = mask;
  e.grfAccessMode = mode;
  e.grfInheritance = inheritance;
  e.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  e.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
  e.Trustee.ptstrName = static_cast<LPWSTR>(sid);
  return e;
}

ACCESS_ALLOWED_ACE *aceAt(PACL acl, DWORD i) {
  LPVOID p = nullptr;
  return GetAce(acl, i, &p) ? static_cast<ACCESS_ALLOWED_ACE *>(p) : nullptr;
}

// Whether the list allows `mask` to `sid` in an entry of its own.
bool allows(PACL acl, PSID sid, DWORD mask) {
  for (DWORD i = 0; acl && i < acl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE *ace = aceAt(acl, i);
    if (ace && ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && ace->Mask == mask && EqualSid(&ace->SidStart, sid))
      return true;
  }
  return false;
}

// Whether every entry for another trustee than `world` in `before` is in `after`.
bool keepsOthers(PACL before, PACL after, PSID world) {
  for (DWORD i = 0; before && i < before->AceCount; ++i) {
    ACCESS_ALLOWED_ACE *ace = aceAt(before, i);
    if (!ace || ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE || EqualSid(&ace->SidStart, world)) continue;
    if (!allows(after, &ace->SidStart, ace->Mask)) return false;
  }
  return true;
}

}  // namespace

CONF_CASE(Security, AccessListRoundTrip) {
  WString dir = conf::scratchDir();
  REQUIRE(!dir.empty());
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  CHECK_EQ(GetNamedSecurityInfoW((dir + TEXT("absent.ini")).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                 nullptr, &dacl, nullptr, &sd),
           DWORD(ERROR_FILE_NOT_FOUND));
  WString path = dir + TEXT("cardribbon.INI");
  REQUIRE(conf::writeFile(path, "Ribbon=2\r", 9));
  REQUIRE(GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                nullptr, &sd) == ERROR_SUCCESS);
  PSID world = worldSid();
  REQUIRE(world != nullptr);
  // The merged list: the new entry, and what the file had for others.
  EXPLICIT_ACCESS_W all = entry(world, FILE_ALL_ACCESS, SET_ACCESS, SUB_CONTAINERS_AND_OBJECTS_INHERIT);
  PACL changed = nullptr;
  CHECK_EQ(SetEntriesInAclW(1, &all, dacl, &changed), DWORD(ERROR_SUCCESS));
  REQUIRE(changed != nullptr);
  CHECK(allows(changed, world, FILE_ALL_ACCESS));
  CHECK(keepsOthers(dacl, changed, world));
  CHECK_EQ(SetNamedSecurityInfoW(const_cast<LPWSTR>(path.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                 nullptr, changed, nullptr),
           DWORD(ERROR_SUCCESS));
  CHECK(LocalFree(changed) == nullptr);
  if (conf::underWine()) {
    conf::recordSkip("a file keeps of its access list only what the host's permission bits hold");
  } else {
    // Read back, the file's list holds both.
    PACL after = nullptr;
    PSECURITY_DESCRIPTOR sdAfter = nullptr;
    CHECK_EQ(GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &after,
                                   nullptr, &sdAfter),
             DWORD(ERROR_SUCCESS));
    CHECK(allows(after, world, FILE_ALL_ACCESS));
    CHECK(keepsOthers(dacl, after, world));
    LocalFree(sdAfter);
    // A file made anew in the place of a deleted one has none of its entries.
    CHECK(DeleteFileW(path.c_str()));
    CHECK(conf::writeFile(path, "Ribbon=2\r", 9));
    CHECK_EQ(GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &after,
                                   nullptr, &sdAfter),
             DWORD(ERROR_SUCCESS));
    CHECK(!allows(after, world, FILE_ALL_ACCESS));
    LocalFree(sdAfter);
  }
  LocalFree(sd);
  FreeSid(world);
  conf::removeTree(dir);
}
