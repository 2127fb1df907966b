// Security of files on the virtual drive: identifiers, access control lists
// merged by SetEntriesInAclW, and descriptors read back after a change.
#include <gtest/gtest.h>
#include <winsim/testing.h>

#include <aclapi.h>

#include <vector>

#include "../fixtures.h"

namespace {

using winsim_test::Winsim;

constexpr DWORD kReadBits = FILE_READ_DATA | FILE_READ_ATTRIBUTES;

struct Entry {
  BYTE type;
  BYTE flags;
  DWORD mask;
  PSID sid;
};

std::vector<Entry> entriesOf(PACL acl) {
  std::vector<Entry> v;
  for (DWORD i = 0; acl && i < acl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE *ace = nullptr;
    if (!GetAce(acl, i, reinterpret_cast<LPVOID *>(&ace))) break;
    v.push_back({ace->Header.AceType, ace->Header.AceFlags, ace->Mask, &ace->SidStart});
  }
  return v;
}

PSID worldSid() {
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID sid = nullptr;
  AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &sid);
  return sid;
}

PSID usersSid() {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID sid = nullptr;
  AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS, 0, 0, 0, 0, 0, 0, &sid);
  return sid;
}

EXPLICIT_ACCESS_W access(PSID sid, DWORD mask, ACCESS_MODE mode, DWORD inheritance = NO_INHERITANCE) {
  EXPLICIT_ACCESS_W e{};
  e.grfAccessPermissions = mask;
  e.grfAccessMode = mode;
  e.grfInheritance = inheritance;
  e.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  e.Trustee.ptstrName = static_cast<LPWSTR>(sid);
  return e;
}

TEST_F(Winsim, SidsAreBuiltComparedAndMeasured) {
  PSID world = worldSid();
  PSID users = usersSid();
  ASSERT_NE(world, nullptr);
  EXPECT_TRUE(IsValidSid(world));
  EXPECT_EQ(GetLengthSid(world), 12u);
  EXPECT_EQ(GetLengthSid(users), 16u);
  EXPECT_FALSE(EqualSid(world, users));
  PSID again = worldSid();
  EXPECT_TRUE(EqualSid(world, again));
  EXPECT_EQ(FreeSid(world), nullptr);
  FreeSid(users);
  FreeSid(again);
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID none = nullptr;
  SetLastError(0);
  EXPECT_FALSE(AllocateAndInitializeSid(&nt, 9, 0, 0, 0, 0, 0, 0, 0, 0, &none));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(Winsim, SetEntriesInAclPlacesDenialsFirstAndGrantsBeforeTheOldGrants) {
  PSID world = worldSid();
  PSID users = usersSid();
  EXPLICIT_ACCESS_W first = access(users, kReadBits, GRANT_ACCESS);
  PACL old = nullptr;
  ASSERT_EQ(SetEntriesInAclW(1, &first, nullptr, &old), DWORD(ERROR_SUCCESS));
  EXPLICIT_ACCESS_W more[] = {access(world, FILE_ALL_ACCESS, GRANT_ACCESS, SUB_CONTAINERS_AND_OBJECTS_INHERIT),
                              access(world, FILE_WRITE_DATA, DENY_ACCESS)};
  PACL merged = nullptr;
  ASSERT_EQ(SetEntriesInAclW(2, more, old, &merged), DWORD(ERROR_SUCCESS));
  std::vector<Entry> e = entriesOf(merged);
  ASSERT_EQ(e.size(), 3u);
  EXPECT_EQ(e[0].type, ACCESS_DENIED_ACE_TYPE);
  EXPECT_TRUE(EqualSid(e[0].sid, world));
  EXPECT_EQ(e[1].type, ACCESS_ALLOWED_ACE_TYPE);
  EXPECT_TRUE(EqualSid(e[1].sid, world));
  EXPECT_EQ(e[1].flags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
  EXPECT_EQ(e[1].mask, DWORD(FILE_ALL_ACCESS));
  EXPECT_TRUE(EqualSid(e[2].sid, users));
  // A grant adds to the trustee's rights; a set replaces them; a revoke
  // takes them away.
  EXPLICIT_ACCESS_W grant = access(users, FILE_WRITE_DATA, GRANT_ACCESS);
  PACL granted = nullptr;
  ASSERT_EQ(SetEntriesInAclW(1, &grant, old, &granted), DWORD(ERROR_SUCCESS));
  e = entriesOf(granted);
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].mask, DWORD(kReadBits | FILE_WRITE_DATA));
  EXPLICIT_ACCESS_W set = access(world, FILE_READ_DATA, SET_ACCESS);
  PACL replaced = nullptr;
  ASSERT_EQ(SetEntriesInAclW(1, &set, merged, &replaced), DWORD(ERROR_SUCCESS));
  e = entriesOf(replaced);
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].type, ACCESS_ALLOWED_ACE_TYPE);
  EXPECT_EQ(e[0].mask, DWORD(FILE_READ_DATA));
  EXPLICIT_ACCESS_W revoke = access(world, 0, REVOKE_ACCESS);
  PACL revoked = nullptr;
  ASSERT_EQ(SetEntriesInAclW(1, &revoke, replaced, &revoked), DWORD(ERROR_SUCCESS));
  EXPECT_EQ(entriesOf(revoked).size(), 1u);
  for (PACL a : {old, merged, granted, replaced, revoked}) EXPECT_EQ(LocalFree(a), nullptr);
  FreeSid(world);
  FreeSid(users);
}

TEST_F(Winsim, SetEntriesInAclNamesAndErrors) {
  EXPLICIT_ACCESS_W byName{};
  byName.grfAccessPermissions = FILE_ALL_ACCESS;
  byName.grfAccessMode = SET_ACCESS;
  byName.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
  byName.Trustee.ptstrName = const_cast<LPWSTR>(u"Everyone");
  PACL acl = nullptr;
  ASSERT_EQ(SetEntriesInAclW(1, &byName, nullptr, &acl), DWORD(ERROR_SUCCESS));
  PSID world = worldSid();
  std::vector<Entry> e = entriesOf(acl);
  ASSERT_EQ(e.size(), 1u);
  EXPECT_TRUE(EqualSid(e[0].sid, world));
  LocalFree(acl);
  FreeSid(world);
  byName.Trustee.ptstrName = const_cast<LPWSTR>(u"Nobody Known");
  EXPECT_EQ(SetEntriesInAclW(1, &byName, nullptr, &acl), DWORD(ERROR_NONE_MAPPED));
  EXPECT_EQ(SetEntriesInAclW(1, &byName, nullptr, nullptr), DWORD(ERROR_INVALID_PARAMETER));
  ACL broken{0, 0, 8, 0, 0};
  EXPECT_EQ(SetEntriesInAclW(0, nullptr, &broken, &acl), DWORD(ERROR_INVALID_ACL));
}

TEST_F(Winsim, AFilesAccessListRoundTrips) {
  HANDLE f = CreateFileW(u"C:\\ProgramData\\shared.ini", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  CloseHandle(f);
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  ASSERT_EQ(GetNamedSecurityInfoW(u"C:\\ProgramData\\shared.ini", SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                  nullptr, &dacl, nullptr, &sd),
            DWORD(ERROR_SUCCESS));
  std::vector<Entry> before = entriesOf(dacl);
  ASSERT_FALSE(before.empty());  // what the folder passes on
  for (const Entry &x : before) EXPECT_TRUE(x.flags & INHERITED_ACE);
  PSID world = worldSid();
  EXPLICIT_ACCESS_W all = access(world, FILE_ALL_ACCESS, SET_ACCESS, SUB_CONTAINERS_AND_OBJECTS_INHERIT);
  PACL changed = nullptr;
  ASSERT_EQ(SetEntriesInAclW(1, &all, dacl, &changed), DWORD(ERROR_SUCCESS));
  ASSERT_EQ(SetNamedSecurityInfoW(const_cast<LPWSTR>(u"C:\\PROGRAMDATA\\SHARED.INI"), SE_FILE_OBJECT,
                                  DACL_SECURITY_INFORMATION, nullptr, nullptr, changed, nullptr),
            DWORD(ERROR_SUCCESS));
  LocalFree(changed);
  LocalFree(sd);
  ASSERT_EQ(GetNamedSecurityInfoW(u"C:\\ProgramData\\shared.ini", SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                  nullptr, &dacl, nullptr, &sd),
            DWORD(ERROR_SUCCESS));
  std::vector<Entry> after = entriesOf(dacl);
  ASSERT_EQ(after.size(), before.size() + 1);
  EXPECT_TRUE(EqualSid(after[0].sid, world));
  EXPECT_EQ(after[0].mask, DWORD(FILE_ALL_ACCESS));
  EXPECT_FALSE(after[0].flags & INHERITED_ACE);
  for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(after[i + 1].mask, before[i].mask);
  LocalFree(sd);
  // A file made again in the place of a deleted one starts over.
  ASSERT_TRUE(DeleteFileW(u"C:\\ProgramData\\shared.ini"));
  f = CreateFileW(u"C:\\ProgramData\\shared.ini", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  CloseHandle(f);
  ASSERT_EQ(GetNamedSecurityInfoW(u"C:\\ProgramData\\shared.ini", SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                  nullptr, &dacl, nullptr, &sd),
            DWORD(ERROR_SUCCESS));
  EXPECT_EQ(entriesOf(dacl).size(), before.size());
  LocalFree(sd);
  FreeSid(world);
}

TEST_F(Winsim, NamedSecurityErrors) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  EXPECT_EQ(GetNamedSecurityInfoW(u"C:\\ProgramData\\absent.ini", SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                  nullptr, &dacl, nullptr, &sd),
            DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(sd, nullptr);
  EXPECT_EQ(GetNamedSecurityInfoW(u"C:\\NoFolder\\absent.ini", SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                  nullptr, &dacl, nullptr, &sd),
            DWORD(ERROR_PATH_NOT_FOUND));
  // The descriptor is where the parts point into: it cannot be left out.
  EXPECT_EQ(GetNamedSecurityInfoW(u"C:\\ProgramData", SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                  &dacl, nullptr, nullptr),
            DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(SetNamedSecurityInfoW(const_cast<LPWSTR>(u"C:\\ProgramData\\absent.ini"), SE_FILE_OBJECT,
                                  DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr),
            DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_NE(GetProcAddress(LoadLibraryW(u"advapi32.dll"), "SetEntriesInAclW"), nullptr);
}

}  // namespace
