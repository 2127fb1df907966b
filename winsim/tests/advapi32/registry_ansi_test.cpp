// The registry's ANSI calls: names and string data in the code page
// (Windows-1252), stored as UTF-16.
#include <windows.h>

#include <string>

#include "../fixtures.h"

namespace {

class RegistryAnsi : public winsim_test::Winsim {};

TEST_F(RegistryAnsi, StringsAreStoredAsUtf16AndReadBackInTheCodePage) {
  HKEY key = nullptr;
  ASSERT_EQ(
      RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Caf\xE9", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
      ERROR_SUCCESS);
  const char path[] = "C:\\Program Files\\Caf\xE9";
  ASSERT_EQ(RegSetValueExA(key, "Dossier", 0, REG_SZ, reinterpret_cast<const BYTE *>(path), sizeof path),
            ERROR_SUCCESS);
  DWORD number = 7;
  ASSERT_EQ(RegSetValueExA(key, "Count", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&number), sizeof number),
            ERROR_SUCCESS);
  RegCloseKey(key);

  // The wide call sees the same key and the text as UTF-16.
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Caf\u00E9", 0, KEY_READ, &key), ERROR_SUCCESS);
  WCHAR wide[64];
  DWORD size = sizeof wide;
  ASSERT_EQ(RegQueryValueExW(key, u"Dossier", nullptr, nullptr, reinterpret_cast<LPBYTE>(wide), &size), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(wide), u"C:\\Program Files\\Caf\u00E9");
  EXPECT_EQ(size, DWORD(sizeof(u"C:\\Program Files\\Caf\u00E9")));
  RegCloseKey(key);

  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\CAF\xC9", 0, KEY_READ, &key), ERROR_SUCCESS);
  // The size in the code page's bytes, the terminator included; a buffer too
  // small gets ERROR_MORE_DATA and the size needed.
  DWORD type = 0;
  size = 0;
  ASSERT_EQ(RegQueryValueExA(key, "Dossier", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, DWORD(REG_SZ));
  EXPECT_GE(size, DWORD(sizeof path));
  char text[64];
  size = 5;
  EXPECT_EQ(RegQueryValueExA(key, "Dossier", nullptr, nullptr, reinterpret_cast<LPBYTE>(text), &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, DWORD(sizeof path));
  size = sizeof text;
  ASSERT_EQ(RegQueryValueExA(key, "Dossier", nullptr, nullptr, reinterpret_cast<LPBYTE>(text), &size), ERROR_SUCCESS);
  EXPECT_EQ(std::string(text), path);
  EXPECT_EQ(size, DWORD(sizeof path));
  // Other types pass as they are.
  DWORD read = 0;
  size = sizeof read;
  ASSERT_EQ(RegQueryValueExA(key, "Count", nullptr, &type, reinterpret_cast<LPBYTE>(&read), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, DWORD(REG_DWORD));
  EXPECT_EQ(read, 7u);
  EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Nothing\xE9", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryAnsi, SubkeysAreListedInTheCodePageAndDeleted) {
  HKEY parent = nullptr, child = nullptr;
  ASSERT_EQ(
      RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Card", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &parent, nullptr),
      ERROR_SUCCESS);
  ASSERT_EQ(RegCreateKeyExW(parent, u"Pr\u00E9f\u00E9rences", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(child);
  char name[32];
  DWORD length = sizeof name;
  ASSERT_EQ(RegEnumKeyExA(parent, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(std::string(name),
            "Pr\xE9"
            "f\xE9rences");
  EXPECT_EQ(length, DWORD(11));
  // Room for the name but not its terminator.
  length = 11;
  EXPECT_EQ(RegEnumKeyExA(parent, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  length = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(parent, 1, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);

  EXPECT_EQ(RegDeleteKeyA(parent,
                          "Pr\xE9"
                          "f\xE9rences"),
            ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(parent,
                          "Pr\xE9"
                          "f\xE9rences"),
            ERROR_FILE_NOT_FOUND);
  RegCloseKey(parent);
}

}  // namespace
