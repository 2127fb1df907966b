// shlwapi's SHDeleteKey: a subkey with everything beneath it.
#include <windows.h>

#include <shlwapi.h>

#include "../fixtures.h"

namespace {

class Shlwapi : public winsim_test::Winsim {};

TEST_F(Shlwapi, DeletesASubkeyWithEverythingBeneathIt) {
  ASSERT_TRUE(
      winsim::importRegistry("REGEDIT4\n\n"
                             "[HKEY_LOCAL_MACHINE\\Software\\Card]\n\"Keep\"=\"1\"\n\n"
                             "[HKEY_LOCAL_MACHINE\\Software\\Card\\Driver]\n\"v\"=\"x\"\n\n"
                             "[HKEY_LOCAL_MACHINE\\Software\\Card\\Driver\\A\\B\\C]\n\"deep\"=dword:00000001\n\n"
                             "[HKEY_LOCAL_MACHINE\\Software\\Card\\Driver\\D]\n\n"
                             "[HKEY_LOCAL_MACHINE\\Software\\Card\\Other]\n"));
  HKEY card = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Card", 0, KEY_ALL_ACCESS, &card), ERROR_SUCCESS);
  EXPECT_EQ(SHDeleteKeyW(card, u"Driver"), ERROR_SUCCESS);
  HKEY gone = nullptr;
  EXPECT_EQ(RegOpenKeyExW(card, u"Driver", 0, KEY_READ, &gone), ERROR_FILE_NOT_FOUND);
  // Its siblings and its parent's values stay.
  HKEY other = nullptr;
  EXPECT_EQ(RegOpenKeyExW(card, u"Other", 0, KEY_READ, &other), ERROR_SUCCESS);
  RegCloseKey(other);
  EXPECT_EQ(RegQueryValueExW(card, u"Keep", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(SHDeleteKeyW(card, u"Driver"), ERROR_FILE_NOT_FOUND);
  RegCloseKey(card);

  // The ANSI form, with a path of several keys, from a root key.
  EXPECT_EQ(SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Card"), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Card", 0, KEY_READ, &gone), ERROR_FILE_NOT_FOUND);
}

TEST_F(Shlwapi, IsBoundByNameFromShlwapiDll) {
  HMODULE lib = LoadLibraryW(u"shlwapi.dll");
  ASSERT_NE(lib, nullptr);
  EXPECT_NE(GetProcAddress(lib, "SHDeleteKeyW"), nullptr);
  EXPECT_NE(GetProcAddress(lib, "SHDeleteKeyA"), nullptr);
  EXPECT_EQ(GetProcAddress(lib, "RegDeleteKeyW"), nullptr);
}

}  // namespace
