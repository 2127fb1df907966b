// The registry: keys and value names without regard to case, the size
// protocol of value queries and enumeration, deletion rules.
#include "check.h"
#include "support.h"

using conf::WString;

namespace {

// A fresh scratch key below HKEY_CURRENT_USER, removed again by the case.
struct ScratchKey {
  HKEY key = nullptr;
  ScratchKey() {
    RegDeleteTreeW(HKEY_CURRENT_USER, CONF_REG_ROOT);
    RegCreateKeyExW(HKEY_CURRENT_USER, CONF_REG_ROOT, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  }
  ~ScratchKey() {
    if (key) RegCloseKey(key);
    RegDeleteTreeW(HKEY_CURRENT_USER, CONF_REG_ROOT);
  }
};

LSTATUS setString(HKEY k, LPCWSTR name, LPCWSTR text) {
  return RegSetValueExW(k, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text),
                        DWORD((lstrlenW(text) + 1) * sizeof(WCHAR)));
}

LSTATUS setDword(HKEY k, LPCWSTR name, DWORD v) {
  return RegSetValueExW(k, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&v), sizeof v);
}

}  // namespace

CONF_CASE(Registry, CreateReportsWhetherTheKeyWasNew) {
  ScratchKey s;
  REQUIRE(s.key != nullptr);
  HKEY k = nullptr;
  DWORD disposition = 0;
  CHECK_EQ(RegCreateKeyExW(s.key, TEXT("Card\\Printer"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, &disposition),
           ERROR_SUCCESS);
  CHECK_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
  RegCloseKey(k);
  // Another spelling of the same path opens the same key.
  CHECK_EQ(RegCreateKeyExW(s.key, TEXT("CARD\\printer"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, &disposition),
           ERROR_SUCCESS);
  CHECK_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));
  RegCloseKey(k);
}

CONF_CASE(Registry, OpenMissingKey) {
  ScratchKey s;
  HKEY k = reinterpret_cast<HKEY>(1);
  CHECK_EQ(RegOpenKeyExW(s.key, TEXT("Absent"), 0, KEY_READ, &k), ERROR_FILE_NOT_FOUND);
}

CONF_CASE(Registry, KeysAndValueNamesIgnoreCase) {
  ScratchKey s;
  HKEY k = nullptr;
  REQUIRE(RegCreateKeyExW(s.key, TEXT("Ribbon"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) == ERROR_SUCCESS);
  CHECK_EQ(setDword(k, TEXT("PanelCount"), 5), ERROR_SUCCESS);
  RegCloseKey(k);
  REQUIRE(RegOpenKeyExW(s.key, TEXT("RIBBON"), 0, KEY_READ, &k) == ERROR_SUCCESS);
  DWORD v = 0, type = 0, size = sizeof v;
  CHECK_EQ(RegQueryValueExW(k, TEXT("panelcount"), nullptr, &type, reinterpret_cast<BYTE *>(&v), &size), ERROR_SUCCESS);
  CHECK_EQ(type, DWORD(REG_DWORD));
  CHECK_EQ(v, 5u);
  RegCloseKey(k);
  // The stored spelling of a name is kept: enumeration shows it.
  REQUIRE(RegOpenKeyExW(s.key, TEXT("ribbon"), 0, KEY_ALL_ACCESS, &k) == ERROR_SUCCESS);
  CHECK_EQ(setDword(k, TEXT("PANELCOUNT"), 6), ERROR_SUCCESS);
  WCHAR name[32];
  DWORD nameLen = 32;
  CHECK_EQ(RegEnumValueW(k, 0, name, &nameLen, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  CHECK_WSTR(name, TEXT("PanelCount"));
  nameLen = 32;
  CHECK_EQ(RegEnumValueW(k, 1, name, &nameLen, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  RegCloseKey(k);
}

CONF_CASE(Registry, QueryValueSizeProtocol) {
  ScratchKey s;
  REQUIRE(s.key != nullptr);
  CHECK_EQ(setString(s.key, TEXT("Model"), TEXT("CA3")), ERROR_SUCCESS);
  // No buffer: the size, with success.
  DWORD type = 0, size = 0;
  CHECK_EQ(RegQueryValueExW(s.key, TEXT("Model"), nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  CHECK_EQ(type, DWORD(REG_SZ));
  CHECK_EQ(size, 4 * sizeof(WCHAR));
  // One byte short: ERROR_MORE_DATA and the size again.
  BYTE buf[64];
  size = 4 * sizeof(WCHAR) - 1;
  CHECK_EQ(RegQueryValueExW(s.key, TEXT("Model"), nullptr, &type, buf, &size), ERROR_MORE_DATA);
  CHECK_EQ(size, 4 * sizeof(WCHAR));
  // Exact.
  size = 4 * sizeof(WCHAR);
  CHECK_EQ(RegQueryValueExW(s.key, TEXT("Model"), nullptr, &type, buf, &size), ERROR_SUCCESS);
  CHECK_EQ(size, 4 * sizeof(WCHAR));
  CHECK_WSTR(reinterpret_cast<LPCWSTR>(buf), TEXT("CA3"));
  // A missing value.
  size = sizeof buf;
  CHECK_EQ(RegQueryValueExW(s.key, TEXT("Absent"), nullptr, &type, buf, &size), ERROR_FILE_NOT_FOUND);
}

CONF_CASE(Registry, ValueTypesKeepTheirBytes) {
  ScratchKey s;
  REQUIRE(s.key != nullptr);
  const BYTE bin[5] = {0x1B, 0x00, 0xFF, 0x5B, 0x0D};
  CHECK_EQ(RegSetValueExW(s.key, TEXT("Bin"), 0, REG_BINARY, bin, sizeof bin), ERROR_SUCCESS);
  // A multi-string: two strings and the closing empty one.
  const WCHAR multi[] = TEXT("YMCKO\0KrO\0");
  CHECK_EQ(RegSetValueExW(s.key, TEXT("Multi"), 0, REG_MULTI_SZ, reinterpret_cast<const BYTE *>(multi), sizeof multi),
           ERROR_SUCCESS);
  ULONGLONG q = 0x0123456789ABCDEFull;
  CHECK_EQ(RegSetValueExW(s.key, TEXT("Quad"), 0, REG_QWORD, reinterpret_cast<const BYTE *>(&q), sizeof q),
           ERROR_SUCCESS);
  // The default value has the empty name.
  CHECK_EQ(setString(s.key, nullptr, TEXT("default")), ERROR_SUCCESS);

  BYTE out[64];
  DWORD type = 0, size = sizeof out;
  CHECK_EQ(RegQueryValueExW(s.key, TEXT("Bin"), nullptr, &type, out, &size), ERROR_SUCCESS);
  CHECK_EQ(type, DWORD(REG_BINARY));
  CHECK_EQ(size, 5u);
  CHECK(memcmp(out, bin, 5) == 0);
  size = sizeof out;
  CHECK_EQ(RegQueryValueExW(s.key, TEXT("Multi"), nullptr, &type, out, &size), ERROR_SUCCESS);
  CHECK_EQ(type, DWORD(REG_MULTI_SZ));
  CHECK_EQ(size, sizeof multi);
  CHECK(memcmp(out, multi, sizeof multi) == 0);
  size = sizeof out;
  CHECK_EQ(RegQueryValueExW(s.key, TEXT("Quad"), nullptr, &type, out, &size), ERROR_SUCCESS);
  CHECK_EQ(type, DWORD(REG_QWORD));
  CHECK_EQ(size, 8u);
  CHECK(memcmp(out, &q, 8) == 0);
  size = sizeof out;
  CHECK_EQ(RegQueryValueExW(s.key, TEXT(""), nullptr, &type, out, &size), ERROR_SUCCESS);
  CHECK_WSTR(reinterpret_cast<LPCWSTR>(out), TEXT("default"));
}

CONF_CASE(Registry, GetValueChecksTheType) {
  ScratchKey s;
  REQUIRE(s.key != nullptr);
  CHECK_EQ(setString(s.key, TEXT("Text"), TEXT("abc")), ERROR_SUCCESS);
  CHECK_EQ(setDword(s.key, TEXT("Number"), 7), ERROR_SUCCESS);
  DWORD v = 0, size = sizeof v, type = 0;
  CHECK_EQ(RegGetValueW(s.key, nullptr, TEXT("Number"), RRF_RT_REG_DWORD, &type, &v, &size), ERROR_SUCCESS);
  CHECK_EQ(v, 7u);
  CHECK_EQ(type, DWORD(REG_DWORD));
  // A value of another type than asked for.
  size = sizeof v;
  CHECK_EQ(RegGetValueW(s.key, nullptr, TEXT("Text"), RRF_RT_REG_DWORD, &type, &v, &size), ERROR_UNSUPPORTED_TYPE);
  // Through a subkey path, with the size protocol.
  HKEY sub = nullptr;
  REQUIRE(RegCreateKeyExW(s.key, TEXT("Sub"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr) == ERROR_SUCCESS);
  CHECK_EQ(setString(sub, TEXT("Name"), TEXT("Card")), ERROR_SUCCESS);
  RegCloseKey(sub);
  size = 0;
  CHECK_EQ(RegGetValueW(s.key, TEXT("sub"), TEXT("name"), RRF_RT_REG_SZ, nullptr, nullptr, &size), ERROR_SUCCESS);
  CHECK_EQ(size, 5 * sizeof(WCHAR));
  WCHAR text[8];
  size = 4 * sizeof(WCHAR);
  CHECK_EQ(RegGetValueW(s.key, TEXT("sub"), TEXT("name"), RRF_RT_REG_SZ, nullptr, text, &size), ERROR_MORE_DATA);
  size = sizeof text;
  CHECK_EQ(RegGetValueW(s.key, TEXT("sub"), TEXT("name"), RRF_RT_REG_SZ, nullptr, text, &size), ERROR_SUCCESS);
  CHECK_WSTR(text, TEXT("Card"));
}

CONF_CASE(Registry, GetValueTerminatesAStringStoredWithout) {
  ScratchKey s;
  REQUIRE(s.key != nullptr);
  const WCHAR raw[3] = {TEXT('a'), TEXT('b'), TEXT('c')};
  CHECK_EQ(RegSetValueExW(s.key, TEXT("Raw"), 0, REG_SZ, reinterpret_cast<const BYTE *>(raw), sizeof raw),
           ERROR_SUCCESS);
  WCHAR text[8];
  for (auto &c : text) c = TEXT('#');
  DWORD size = sizeof text;
  CHECK_EQ(RegGetValueW(s.key, nullptr, TEXT("Raw"), RRF_RT_REG_SZ, nullptr, text, &size), ERROR_SUCCESS);
  CHECK_WSTR(text, TEXT("abc"));
}

CONF_CASE(Registry, EnumerationSizeProtocol) {
  ScratchKey s;
  REQUIRE(s.key != nullptr);
  HKEY k = nullptr;
  LPCWSTR names[] = {TEXT("Alpha"), TEXT("BetaLonger"), TEXT("G")};
  for (LPCWSTR n : names) {
    REQUIRE(RegCreateKeyExW(s.key, n, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) == ERROR_SUCCESS);
    RegCloseKey(k);
  }
  CHECK_EQ(setString(s.key, TEXT("Value"), TEXT("12345678")), ERROR_SUCCESS);
  DWORD subKeys = 0, maxSubKey = 0, values = 0, maxValueName = 0, maxValue = 0;
  CHECK_EQ(RegQueryInfoKeyW(s.key, nullptr, nullptr, nullptr, &subKeys, &maxSubKey, nullptr, &values, &maxValueName,
                            &maxValue, nullptr, nullptr),
           ERROR_SUCCESS);
  CHECK_EQ(subKeys, 3u);
  CHECK_EQ(maxSubKey, 10u);  // characters, without the terminator
  CHECK_EQ(values, 1u);
  CHECK_EQ(maxValueName, 5u);
  CHECK_EQ(maxValue, 9 * sizeof(WCHAR));  // bytes

  // Every subkey once, whatever the order.
  int seen[3] = {0, 0, 0};
  WCHAR name[32];
  DWORD i = 0, len = 32;
  LSTATUS st;
  while ((st = RegEnumKeyExW(s.key, i, name, &len, nullptr, nullptr, nullptr, nullptr)) == ERROR_SUCCESS) {
    CHECK_EQ(len, DWORD(lstrlenW(name)));
    for (int n = 0; n < 3; ++n)
      if (lstrcmpW(name, names[n]) == 0) ++seen[n];
    ++i;
    len = 32;
  }
  CHECK_EQ(st, ERROR_NO_MORE_ITEMS);
  CHECK_EQ(i, 3u);
  CHECK(seen[0] == 1 && seen[1] == 1 && seen[2] == 1);
  // A name buffer too small for "BetaLonger" and its terminator.
  bool shortSeen = false;
  for (i = 0; i < 3; ++i) {
    len = 10;
    st = RegEnumKeyExW(s.key, i, name, &len, nullptr, nullptr, nullptr, nullptr);
    if (st == ERROR_MORE_DATA)
      shortSeen = true;
    else
      CHECK_EQ(st, ERROR_SUCCESS);
  }
  CHECK(shortSeen);
  // Values: the name length in characters and the data size in bytes.
  DWORD type = 0, dataSize = 0;
  len = 32;
  CHECK_EQ(RegEnumValueW(s.key, 0, name, &len, nullptr, &type, nullptr, &dataSize), ERROR_SUCCESS);
  CHECK_EQ(len, 5u);
  CHECK_EQ(type, DWORD(REG_SZ));
  CHECK_EQ(dataSize, 9 * sizeof(WCHAR));
  len = 5;
  CHECK_EQ(RegEnumValueW(s.key, 0, name, &len, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
}

CONF_CASE(Registry, DeleteRules) {
  ScratchKey s;
  REQUIRE(s.key != nullptr);
  HKEY k = nullptr;
  REQUIRE(RegCreateKeyExW(s.key, TEXT("Parent\\Child"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) ==
          ERROR_SUCCESS);
  RegCloseKey(k);
  // A key with subkeys is not deleted by RegDeleteKey.
  CHECK(RegDeleteKeyW(s.key, TEXT("Parent")) != ERROR_SUCCESS);
  CHECK_EQ(RegOpenKeyExW(s.key, TEXT("Parent\\Child"), 0, KEY_READ, &k), ERROR_SUCCESS);
  RegCloseKey(k);
  CHECK_EQ(RegDeleteKeyW(s.key, TEXT("PARENT\\child")), ERROR_SUCCESS);
  CHECK_EQ(RegDeleteKeyW(s.key, TEXT("Parent")), ERROR_SUCCESS);
  CHECK_EQ(RegDeleteKeyW(s.key, TEXT("Parent")), ERROR_FILE_NOT_FOUND);
  // RegDeleteTree takes the whole tree and the values.
  REQUIRE(RegCreateKeyExW(s.key, TEXT("Tree\\A\\B"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) ==
          ERROR_SUCCESS);
  CHECK_EQ(setDword(k, TEXT("V"), 1), ERROR_SUCCESS);
  RegCloseKey(k);
  CHECK_EQ(RegDeleteTreeW(s.key, TEXT("Tree")), ERROR_SUCCESS);
  CHECK_EQ(RegOpenKeyExW(s.key, TEXT("Tree"), 0, KEY_READ, &k), ERROR_FILE_NOT_FOUND);
  // Values.
  CHECK_EQ(setDword(s.key, TEXT("Gone"), 1), ERROR_SUCCESS);
  CHECK_EQ(RegDeleteValueW(s.key, TEXT("GONE")), ERROR_SUCCESS);
  CHECK_EQ(RegDeleteValueW(s.key, TEXT("Gone")), ERROR_FILE_NOT_FOUND);
}
