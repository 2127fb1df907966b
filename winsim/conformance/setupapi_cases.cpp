// INF files read through setupapi.dll: the syntax, the line calls and their
// "required size" protocol, and the errors of a file that is missing or not
// a Windows 4 INF.
#include <windows.h>
#include <setupapi.h>

#include "check.h"
#include "support.h"

using conf::WString;

namespace {

const char kInf[] =
    "[Version]\r\n"
    "Signature=\"$Windows NT$\" ; the style\r\n"
    "Class=Printer\r\n"
    "[Files]\r\n"
    "first.dll\r\n"
    "Key = a, \"b, with comma\" ,  c  \r\n"
    "Long = one, \\\r\n"
    "       two\r\n"
    "Names = %Mfg% Card\r\n"
    "[Strings]\r\n"
    "mfg = \"Pello\"\r\n";

HINF openSample(const WString &dir) {
  if (!conf::writeFile(dir + TEXT("t.inf"), kInf, sizeof kInf - 1)) return INVALID_HANDLE_VALUE;
  return SetupOpenInfFileW((dir + TEXT("t.inf")).c_str(), nullptr, INF_STYLE_WIN4, nullptr);
}

}  // namespace

CONF_CASE(SetupApi, OpenRefusesAMissingFileAndAnOldStyleOne) {
  WString dir = conf::scratchDir();
  REQUIRE(!dir.empty());
  UINT errorLine = 0;
  CHECK(SetupOpenInfFileW((dir + TEXT("none.inf")).c_str(), nullptr, INF_STYLE_WIN4, &errorLine) ==
        INVALID_HANDLE_VALUE);
  CHECK_ERROR(DWORD(ERROR_FILE_NOT_FOUND));
  const char old[] = "[Files]\r\na.dll\r\n";
  REQUIRE(conf::writeFile(dir + TEXT("old.inf"), old, sizeof old - 1));
  CHECK(SetupOpenInfFileW((dir + TEXT("old.inf")).c_str(), nullptr, INF_STYLE_WIN4, nullptr) == INVALID_HANDLE_VALUE);
  CHECK_ERROR(DWORD(ERROR_WRONG_INF_STYLE));
}

CONF_CASE(SetupApi, LinesFieldsAndStrings) {
  WString dir = conf::scratchDir();
  REQUIRE(!dir.empty());
  HINF inf = openSample(dir);
  REQUIRE(inf != INVALID_HANDLE_VALUE);
  CHECK_EQ(SetupGetLineCountW(inf, TEXT("files")), 4);
  CHECK_EQ(SetupGetLineCountW(inf, TEXT("Nowhere")), -1);

  INFCONTEXT c{};
  WCHAR text[64];
  // No key: the first line of the section.
  REQUIRE(SetupFindFirstLineW(inf, TEXT("FILES"), nullptr, &c));
  CHECK(SetupGetStringFieldW(&c, 1, text, 64, nullptr));
  CHECK_WSTR(text, TEXT("first.dll"));
  REQUIRE(SetupFindFirstLineW(inf, TEXT("Files"), TEXT("KEY"), &c));
  CHECK_EQ(SetupGetFieldCount(&c), DWORD(3));
  CHECK(SetupGetStringFieldW(&c, 0, text, 64, nullptr));
  CHECK_WSTR(text, TEXT("Key"));
  CHECK(SetupGetStringFieldW(&c, 2, text, 64, nullptr));
  CHECK_WSTR(text, TEXT("b, with comma"));
  CHECK(SetupGetStringFieldW(&c, 3, text, 64, nullptr));
  CHECK_WSTR(text, TEXT("c"));
  REQUIRE(SetupFindFirstLineW(inf, TEXT("Files"), TEXT("Long"), &c));
  CHECK(SetupGetLineTextW(&c, nullptr, nullptr, nullptr, text, 64, nullptr));
  CHECK_WSTR(text, TEXT("one,two"));
  REQUIRE(SetupFindNextLine(&c, &c));
  CHECK(SetupGetStringFieldW(&c, 1, text, 64, nullptr));
  CHECK_WSTR(text, TEXT("Pello Card"));
  CHECK(!SetupFindNextLine(&c, &c));
  CHECK_ERROR(DWORD(ERROR_LINE_NOT_FOUND));

  CHECK(!SetupFindFirstLineW(inf, TEXT("Nowhere"), nullptr, &c));
  CHECK_ERROR(DWORD(ERROR_LINE_NOT_FOUND));  // the section's lines are missing too
  CHECK(!SetupFindFirstLineW(inf, TEXT("Files"), TEXT("Absent"), &c));
  CHECK_ERROR(DWORD(ERROR_LINE_NOT_FOUND));
  SetupCloseInfFile(inf);
}

CONF_CASE(SetupApi, LineTextGivesTheSizeItNeeds) {
  WString dir = conf::scratchDir();
  REQUIRE(!dir.empty());
  HINF inf = openSample(dir);
  REQUIRE(inf != INVALID_HANDLE_VALUE);
  DWORD needed = 0;
  CHECK(SetupGetLineTextW(nullptr, inf, TEXT("Files"), TEXT("Key"), nullptr, 0, &needed));
  CHECK_EQ(needed, DWORD(18));  // "a,b, with comma,c" and the terminator
  WCHAR small[4];
  CHECK(!SetupGetLineTextW(nullptr, inf, TEXT("Files"), TEXT("Key"), small, 4, &needed));
  CHECK_ERROR(DWORD(ERROR_INSUFFICIENT_BUFFER));
  CHECK_EQ(needed, DWORD(18));
  WCHAR text[18];
  CHECK(SetupGetLineTextW(nullptr, inf, TEXT("Files"), TEXT("Key"), text, 18, nullptr));
  CHECK_WSTR(text, TEXT("a,b, with comma,c"));
  SetupCloseInfFile(inf);
}

CONF_CASE(SetupApi, FieldsOfALineWithoutAKey) {
  WString dir = conf::scratchDir();
  REQUIRE(!dir.empty());
  HINF inf = openSample(dir);
  REQUIRE(inf != INVALID_HANDLE_VALUE);
  INFCONTEXT c{};
  REQUIRE(SetupFindFirstLineW(inf, TEXT("Files"), nullptr, &c));
  WCHAR text[32];
  CHECK_EQ(SetupGetFieldCount(&c), DWORD(1));
  // Field 0 of a line without a key is its first field.
  CHECK(SetupGetStringFieldW(&c, 0, text, 32, nullptr));
  CHECK_WSTR(text, TEXT("first.dll"));
  CHECK(!SetupGetStringFieldW(&c, 2, text, 32, nullptr));
  DWORD needed = 0;
  CHECK(SetupGetStringFieldW(&c, 1, nullptr, 0, &needed));
  CHECK_EQ(needed, DWORD(10));
  CHECK(!SetupGetStringFieldW(&c, 1, text, 9, &needed));
  CHECK_ERROR(DWORD(ERROR_INSUFFICIENT_BUFFER));
  SetupCloseInfFile(inf);
}

CONF_CASE(SetupApi, DeviceSetsNeedAClassAndCountTheirMembers) {
  CHECK(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT) == INVALID_HANDLE_VALUE);
  CHECK_ERROR(DWORD(ERROR_INVALID_PARAMETER));
  // {4d36e979-e325-11ce-bfc1-08002be10318}, the Printer class: no printer
  // device is plugged in here.
  const GUID printers = {0x4d36e979, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
  HDEVINFO set = SetupDiGetClassDevsW(&printers, nullptr, nullptr, DIGCF_PRESENT);
  REQUIRE(set != INVALID_HANDLE_VALUE);
  SP_DEVINFO_DATA d{};
  d.cbSize = sizeof d + 1;
  CHECK(!SetupDiEnumDeviceInfo(set, 0, &d));
  CHECK_ERROR(DWORD(ERROR_INVALID_USER_BUFFER));
  d.cbSize = sizeof d;
  CHECK(!SetupDiEnumDeviceInfo(set, 0, &d));
  CHECK_ERROR(DWORD(ERROR_NO_MORE_ITEMS));
  CHECK(SetupDiDestroyDeviceInfoList(set));
}

CONF_CASE(SetupApi, CopyOemInfStoresAnInfOnce) {
  if (conf::underWine()) {
    conf::recordSkip("Wine stores the INF under its own name, not as oem<n>.inf");
    return;
  }
  WString dir = conf::scratchDir();
  REQUIRE(!dir.empty());
  REQUIRE(conf::writeFile(dir + TEXT("t.inf"), kInf, sizeof kInf - 1));
  WCHAR dest[MAX_PATH] = {};
  DWORD needed = 0;
  PWSTR component = nullptr;
  REQUIRE(SetupCopyOEMInfW((dir + TEXT("t.inf")).c_str(), nullptr, SPOST_PATH, 0, dest, MAX_PATH, &needed, &component));
  CHECK_EQ(needed, DWORD(lstrlenW(dest) + 1));
  REQUIRE(component != nullptr);
  CHECK((component[0] | 0x20) == 'o' && (component[1] | 0x20) == 'e' && (component[2] | 0x20) == 'm');
  WString first = dest;
  // The same INF again is the stored one; SP_COPY_NOOVERWRITE refuses it.
  WCHAR again[MAX_PATH] = {};
  CHECK(SetupCopyOEMInfW((dir + TEXT("t.inf")).c_str(), nullptr, SPOST_PATH, 0, again, MAX_PATH, nullptr, nullptr));
  CHECK_WSTR(again, first.c_str());
  CHECK(!SetupCopyOEMInfW((dir + TEXT("t.inf")).c_str(), nullptr, SPOST_PATH, SP_COPY_NOOVERWRITE, again, MAX_PATH,
                          nullptr, nullptr));
  CHECK_ERROR(DWORD(ERROR_FILE_EXISTS));
  CHECK_WSTR(again, first.c_str());
  CHECK(SetupUninstallOEMInfW(component, 0, nullptr));
  CHECK_EQ(GetFileAttributesW(first.c_str()), INVALID_FILE_ATTRIBUTES);
}

CONF_CASE(SetupApi, DirectoryIdsBecomeFolders) {
  WString dir = conf::scratchDir();
  REQUIRE(!dir.empty());
  const char text[] = "[Version]\r\nSignature=\"$Windows NT$\"\r\n[Dest]\r\nFiles=%11%\\cardrend.dll,%10%\r\n";
  REQUIRE(conf::writeFile(dir + TEXT("d.inf"), text, sizeof text - 1));
  HINF inf = SetupOpenInfFileW((dir + TEXT("d.inf")).c_str(), nullptr, INF_STYLE_WIN4, nullptr);
  REQUIRE(inf != INVALID_HANDLE_VALUE);
  WCHAR system[MAX_PATH], windows[MAX_PATH], field[MAX_PATH];
  REQUIRE(GetSystemDirectoryW(system, MAX_PATH) > 0);
  REQUIRE(GetWindowsDirectoryW(windows, MAX_PATH) > 0);
  INFCONTEXT c{};
  REQUIRE(SetupFindFirstLineW(inf, TEXT("Dest"), TEXT("Files"), &c));
  CHECK(SetupGetStringFieldW(&c, 1, field, MAX_PATH, nullptr));
  CHECK_WSTR(field, (WString(system) + TEXT("\\cardrend.dll")).c_str());
  CHECK(SetupGetStringFieldW(&c, 2, field, MAX_PATH, nullptr));
  CHECK_WSTR(field, windows);
  SetupCloseInfFile(inf);
}
