// Initialisation files read with GetPrivateProfileStringA, and the ANSI form
// of the printer driver folder.
#include <windows.h>
#include <winspool.h>

#include <cstring>

#include "check.h"
#include "support.h"

using conf::WString;

namespace {

// The file's path in the ANSI code page, for the A calls.
bool ansiPath(const WString &path, char *out, int size) {
  return WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, out, size, nullptr, nullptr) > 0;
}

}  // namespace

CONF_CASE(Profile, ReadsKeysWithoutRegardToCase) {
  WString dir = conf::scratchDir();
  REQUIRE(!dir.empty());
  const char text[] =
      "; names\r\n[Other]\r\n17=Wrong\r\n[Ribbon Type]\r\n17 = KrO Ribbon \r\n19=Hologram\r\n"
      "21=\"Clear Varnish\"\r\n";
  REQUIRE(conf::writeFile(dir + TEXT("ribbons.ini"), text, sizeof text - 1));
  char path[MAX_PATH];
  REQUIRE(ansiPath(dir + TEXT("ribbons.ini"), path, MAX_PATH));
  char out[64];
  CHECK_EQ(GetPrivateProfileStringA("Ribbon Type", "17", "None", out, sizeof out, path), DWORD(10));
  CHECK(std::strcmp(out, "KrO Ribbon") == 0);
  CHECK_EQ(GetPrivateProfileStringA("ribbon type", "19", "None", out, sizeof out, path), DWORD(8));
  CHECK(std::strcmp(out, "Hologram") == 0);
  CHECK_EQ(GetPrivateProfileStringA("Ribbon Type", "21", "None", out, sizeof out, path), DWORD(13));
  CHECK(std::strcmp(out, "Clear Varnish") == 0);
  // A missing key gives the default without its trailing blanks.
  CHECK_EQ(GetPrivateProfileStringA("Ribbon Type", "99", "None  ", out, sizeof out, path), DWORD(4));
  CHECK(std::strcmp(out, "None") == 0);
  // Cut to the buffer: size - 1 characters.
  CHECK_EQ(GetPrivateProfileStringA("Ribbon Type", "19", "None", out, 4, path), DWORD(3));
  CHECK(std::strcmp(out, "Hol") == 0);
  // The keys of a section, each terminated, then a second zero.
  char keys[64];
  std::memset(keys, 'x', sizeof keys);
  CHECK_EQ(GetPrivateProfileStringA("Ribbon Type", nullptr, "", keys, sizeof keys, path), DWORD(9));
  CHECK(std::memcmp(keys,
                    "17\0"
                    "19\0"
                    "21\0\0",
                    10) == 0);
}

CONF_CASE(Profile, MissingFileGivesTheDefault) {
  WString dir = conf::scratchDir();
  REQUIRE(!dir.empty());
  char path[MAX_PATH];
  REQUIRE(ansiPath(dir + TEXT("absent.ini"), path, MAX_PATH));
  char out[16] = "zzz";
  CHECK_EQ(GetPrivateProfileStringA("Ribbon Type", "17", "None", out, sizeof out, path), DWORD(4));
  CHECK(std::strcmp(out, "None") == 0);
  CHECK_EQ(GetPrivateProfileStringA("Ribbon Type", "17", nullptr, out, sizeof out, path), DWORD(0));
  CHECK_EQ(out[0], '\0');
}

CONF_CASE(Spooler, DriverDirectoryAnsi) {
  DWORD need = 0;
  SetLastError(0);
  CHECK(!GetPrinterDriverDirectoryA(nullptr, nullptr, 1, nullptr, 0, &need));
  CHECK_ERROR(ERROR_INSUFFICIENT_BUFFER);
  REQUIRE(need > 1 && need < MAX_PATH);
  char dir[MAX_PATH];
  DWORD again = 0;
  SetLastError(0);
  CHECK(!GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<BYTE *>(dir), need - 1, &again));
  CHECK_ERROR(ERROR_INSUFFICIENT_BUFFER);
  CHECK(GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<BYTE *>(dir), need, &again));
  CHECK_EQ(DWORD(std::strlen(dir) + 1), need);
  WCHAR wide[MAX_PATH];
  REQUIRE(GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<BYTE *>(wide), sizeof wide, &again));
  char converted[MAX_PATH];
  REQUIRE(WideCharToMultiByte(CP_ACP, 0, wide, -1, converted, MAX_PATH, nullptr, nullptr) > 0);
  CHECK(std::strcmp(dir, converted) == 0);
}
