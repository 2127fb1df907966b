// The registry: values and the size protocol, enumeration sizes, REGEDIT4
// text, and the OS version as the registry shows it.
#include <gtest/gtest.h>
#include <winsim/testing.h>

#include <string>

#include "../fixtures.h"

namespace {

using winsim_test::Winsim;
using winsim_test::WinsimMore;

TEST_F(Winsim, RegistryValuesAndSizeProtocol) {
  HKEY k;
  DWORD disp = 0;
  ASSERT_EQ(
      RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Card\\Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, &disp),
      ERROR_SUCCESS);
  EXPECT_EQ(disp, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  const WCHAR text[] = u"Pellor";
  ASSERT_EQ(RegSetValueExW(k, u"Name", 0, REG_SZ, reinterpret_cast<const BYTE *>(text), sizeof text), ERROR_SUCCESS);
  DWORD one = 1;
  ASSERT_EQ(RegSetValueExW(k, u"Init", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&one), 4), ERROR_SUCCESS);
  RegCloseKey(k);

  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"software\\CARD\\sub", 0, KEY_READ, &k), ERROR_SUCCESS);
  DWORD type = 0, size = 0;
  ASSERT_EQ(RegQueryValueExW(k, u"NAME", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, sizeof text);
  BYTE small[4];
  size = sizeof small;
  EXPECT_EQ(RegQueryValueExW(k, u"Name", nullptr, &type, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, sizeof text);
  EXPECT_EQ(RegQueryValueExW(k, u"Missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  RegCloseKey(k);

  EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Card"), ERROR_ACCESS_DENIED);  // has a subkey
  EXPECT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Card"), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Card", 0, KEY_READ, &k), ERROR_FILE_NOT_FOUND);
}

TEST_F(Winsim, RegistryRoundTripsThroughRegedit4Text) {
  const std::string text =
      "REGEDIT4\n\n"
      "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Card Language Monitor]\n"
      "\"Driver\"=\"usbmon.dll\"\n"
      "\"Quote \\\"and\\\\ slash\"=\"C:\\\\Windows\\\\x \\\"y\\\"\"\n"
      "\"Init\"=dword:00000001\n"
      "\"Blob\"=hex:45,5a,00,ff\n"
      "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\n"
      "@=\"default\"\n\n"
      "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Card Language Monitor\\Ports]\n"
      "\"Long\"=hex:01,02,03,\\\n"
      "  04,05\n";
  ASSERT_TRUE(winsim::importRegistry(text));
  HKEY k;
  ASSERT_EQ(
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\card language monitor",
                    0, KEY_READ, &k),
      ERROR_SUCCESS);
  BYTE data[64];
  DWORD type, size = sizeof data;
  ASSERT_EQ(RegQueryValueExW(k, u"Quote \"and\\ slash", nullptr, &type, data, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(data)), u"C:\\Windows\\x \"y\"");
  size = sizeof data;
  ASSERT_EQ(RegQueryValueExW(k, u"Blob", nullptr, &type, data, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(data[3], 0xFF);
  RegCloseKey(k);

  const std::u16string path =
      u"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Card Language Monitor";
  std::string exported = winsim::exportRegistry(path);
  EXPECT_NE(exported.find("\"Long\"=hex:01,02,03,04,05"), std::string::npos);
  winsim::resetMachine();
  ASSERT_TRUE(winsim::importRegistry(exported));
  EXPECT_EQ(winsim::exportRegistry(path), exported);

  // A leading minus removes a key.
  ASSERT_TRUE(winsim::importRegistry("REGEDIT4\n\n[-" + winsim::toUtf8(path) + "]\n"));
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.substr(19).c_str(), 0, KEY_READ, &k), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(winsim::importRegistry("not a registry file"));
}

TEST_F(Winsim, OsVersionIsSeenInApiAndRegistry) {
  OSVERSIONINFOW v{};
  v.dwOSVersionInfoSize = sizeof v;
  ASSERT_TRUE(GetVersionExW(&v));
  EXPECT_EQ(v.dwMajorVersion, 10u);
  auto currentVersion = [] {
    WCHAR buf[16] = {};
    DWORD size = sizeof buf;
    HKEY k;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0, KEY_READ, &k);
    RegQueryValueExW(k, u"CurrentVersion", nullptr, nullptr, reinterpret_cast<BYTE *>(buf), &size);
    RegCloseKey(k);
    return std::u16string(buf);
  };
  EXPECT_EQ(currentVersion(), u"6.3");
  winsim::setOsVersion(5, 1);
  ASSERT_TRUE(GetVersionExW(&v));
  EXPECT_EQ(v.dwMajorVersion, 5u);
  EXPECT_EQ(v.dwMinorVersion, 1u);
  EXPECT_EQ(currentVersion(), u"5.1");
  v.dwOSVersionInfoSize = 12;
  EXPECT_FALSE(GetVersionExW(&v));
  SYSTEM_INFO si;
  GetNativeSystemInfo(&si);
  EXPECT_EQ(si.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_AMD64);
}

TEST_F(WinsimMore, RegistryEnumerationSizes) {
  ASSERT_TRUE(winsim::importRegistry(
      "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Card\\Ports\\USB001]\n\"Ribbon\"=dword:00000005\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Card\\Ports\\Network_192.168.0.10]\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Card]\n\"Name\"=\"Pellor\"\n\"Empty\"=\"\"\n"));
  HKEY k;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Card\\Ports", 0, KEY_READ, &k), ERROR_SUCCESS);
  DWORD subKeys = 0, maxLen = 0;
  ASSERT_EQ(RegQueryInfoKeyW(k, nullptr, nullptr, nullptr, &subKeys, &maxLen, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subKeys, 2u);
  EXPECT_EQ(maxLen, 20u);  // "Network_192.168.0.10"
  WCHAR name[32];
  DWORD len = 6;  // too short for either name
  EXPECT_EQ(RegEnumKeyExW(k, 0, name, &len, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  int seen = 0;
  for (DWORD i = 0;; ++i) {
    len = 32;
    LONG rc = RegEnumKeyExW(k, i, name, &len, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(rc, ERROR_SUCCESS);
    EXPECT_EQ(DWORD(lstrlenW(name)), len);  // the length comes back without the terminator
    ++seen;
  }
  EXPECT_EQ(seen, 2);
  RegCloseKey(k);

  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Card", 0, KEY_READ, &k), ERROR_SUCCESS);
  DWORD type = 0, data = 2;
  BYTE buf[64];
  len = 32;
  EXPECT_EQ(RegEnumValueW(k, 0, name, &len, nullptr, &type, buf, &data), ERROR_MORE_DATA);
  EXPECT_EQ(data, 14u);  // "Pellor" and its terminator
  len = 32;
  data = sizeof buf;
  ASSERT_EQ(RegEnumValueW(k, 0, name, &len, nullptr, &type, buf, &data), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(name), u"Name");
  EXPECT_EQ(type, DWORD(REG_SZ));
  len = 32;
  data = sizeof buf;
  ASSERT_EQ(RegEnumValueW(k, 1, name, &len, nullptr, &type, buf, &data), ERROR_SUCCESS);
  EXPECT_EQ(data, 2u);
  len = 32;
  EXPECT_EQ(RegEnumValueW(k, 2, name, &len, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  // A string read through RegGetValueW comes back terminated.
  WCHAR text[16];
  DWORD bytes = sizeof text;
  ASSERT_EQ(RegGetValueW(k, nullptr, u"Name", RRF_RT_REG_SZ, nullptr, text, &bytes), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(text), u"Pellor");
  bytes = sizeof text;
  EXPECT_NE(RegGetValueW(k, nullptr, u"Name", RRF_RT_REG_DWORD, nullptr, text, &bytes), ERROR_SUCCESS);
  RegCloseKey(k);
  // A key deleted under an open handle reports it.
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Card\\Ports\\USB001", 0, KEY_READ, &k), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Card"), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExW(k, u"Ribbon", nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
  RegCloseKey(k);
}

}  // namespace
