// String tables and other resources of the program and of a module loaded
// as a data file.
#include "check.h"
#include "support.h"

using conf::WString;

namespace {

HMODULE self() { return GetModuleHandleW(nullptr); }

}  // namespace

CONF_CASE(Resources, LoadStringSizeProtocol) {
  WCHAR buf[64];
  CHECK_EQ(LoadStringW(self(), 100, buf, 64), 12);
  CHECK_WSTR(buf, TEXT("Ribbon YMCKO"));
  // Exactly the length and the terminator.
  CHECK_EQ(LoadStringW(self(), 100, buf, 13), 12);
  CHECK_WSTR(buf, TEXT("Ribbon YMCKO"));
  // One too small: cut, terminated, the characters copied.
  CHECK_EQ(LoadStringW(self(), 100, buf, 12), 11);
  CHECK_WSTR(buf, TEXT("Ribbon YMCK"));
  CHECK_EQ(LoadStringW(self(), 100, buf, 7), 6);
  CHECK_WSTR(buf, TEXT("Ribbon"));
}

CONF_CASE(Resources, LoadStringZeroSizeGivesThePointer) {
  LPCWSTR text = nullptr;
  int n = LoadStringW(self(), 100, reinterpret_cast<LPWSTR>(&text), 0);
  CHECK_EQ(n, 12);
  REQUIRE(text != nullptr);
  // Not terminated in the table: compare the counted characters.
  CHECK(n == 12 && WString(text, 12) == TEXT("Ribbon YMCKO"));
}

CONF_CASE(Resources, StringIdentifiersAcrossBlocks) {
  WCHAR buf[64];
  CHECK_EQ(LoadStringW(self(), 1, buf, 64), 3);
  CHECK_WSTR(buf, TEXT("One"));
  CHECK_EQ(LoadStringW(self(), 2, buf, 64), 3);
  CHECK_EQ(LoadStringW(self(), 17, buf, 64), 25);
  CHECK_WSTR(buf, TEXT("First of the second block"));
  CHECK_EQ(LoadStringW(self(), 65535, buf, 64), 15);
  CHECK_WSTR(buf, TEXT("Last identifier"));
  // Not in the table: an empty slot of a present block, and an absent block.
  CHECK_EQ(LoadStringW(self(), 3, buf, 64), 0);
  CHECK_EQ(LoadStringW(self(), 16, buf, 64), 0);
  CHECK_EQ(LoadStringW(self(), 500, buf, 64), 0);
}

CONF_CASE(Resources, NonAsciiText) {
  const WCHAR expected[] = {0x00DC,    TEXT('n'), 0x00EF, TEXT('c'), 0x00F6,    TEXT('d'), 0x00E9, TEXT(' '),
                            TEXT('G'), TEXT('r'), 0x00F6, 0x00DF,    TEXT('e'), TEXT(' '), 0x20AC, 0};
  WCHAR buf[64];
  CHECK_EQ(LoadStringW(self(), 101, buf, 64), 15);
  CHECK_WSTR(buf, expected);
  // The 8-bit form is the ANSI code page's.
  char ansi[64], want[64];
  int wantLen = WideCharToMultiByte(CP_ACP, 0, expected, -1, want, 64, nullptr, nullptr);
  REQUIRE(wantLen > 0);
  CHECK_EQ(LoadStringA(self(), 101, ansi, 64), wantLen - 1);
  CHECK_STR(ansi, want);
}

CONF_CASE(Resources, FindAndLockData) {
  HRSRC r = FindResourceW(self(), TEXT("CONFDATA"), RT_RCDATA);
  REQUIRE(r != nullptr);
  CHECK_EQ(SizeofResource(self(), r), 4u);
  HGLOBAL g = LoadResource(self(), r);
  REQUIRE(g != nullptr);
  const char *p = static_cast<const char *>(LockResource(g));
  REQUIRE(p != nullptr);
  CHECK(memcmp(p, "ABC\0", 4) == 0);
  // Names are found without regard to case; "#n" names the identifier n.
  CHECK(FindResourceW(self(), TEXT("confData"), RT_RCDATA) == r);
  HRSRC seven = FindResourceW(self(), TEXT("#7"), RT_RCDATA);
  CHECK(seven != nullptr);
  CHECK(seven == FindResourceW(self(), MAKEINTRESOURCEW(7), RT_RCDATA));
  if (seven) {
    CHECK_EQ(SizeofResource(self(), seven), 4u);
    const BYTE *b = static_cast<const BYTE *>(LockResource(LoadResource(self(), seven)));
    CHECK(b && b[0] == 1 && b[1] == 2 && b[2] == 3 && b[3] == 4);
  }
}

CONF_CASE(Resources, MissingResources) {
  SetLastError(0);
  CHECK(FindResourceW(self(), TEXT("NOSUCHDATA"), RT_RCDATA) == nullptr);
  CHECK_ERROR(ERROR_RESOURCE_NAME_NOT_FOUND);
  SetLastError(0);
  CHECK(FindResourceW(self(), TEXT("CONFDATA"), TEXT("NOSUCHTYPE")) == nullptr);
  CHECK_ERROR(ERROR_RESOURCE_TYPE_NOT_FOUND);
}

// The driver module the spooler cases install carries a string table too;
// loaded as a data file its strings are read without running its code.
CONF_CASE(Resources, StringsOfAModuleLoadedAsData) {
  WString path = conf::programDir() + TEXT("confdrv.dll");
  HMODULE m = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  REQUIRE(m != nullptr);
  WCHAR buf[64];
  CHECK_EQ(LoadStringW(m, 1, buf, 64), 21);
  CHECK_WSTR(buf, TEXT("Conformance card test"));
  CHECK(FreeLibrary(m));
  // Loaded as code, its exports are there.
  m = LoadLibraryW(path.c_str());
  REQUIRE(m != nullptr);
  CHECK(GetProcAddress(m, "DrvEnableDriver") != nullptr);
  SetLastError(0);
  CHECK(GetProcAddress(m, "NoSuchExport") == nullptr);
  CHECK_ERROR(ERROR_PROC_NOT_FOUND);
  CHECK_EQ(LoadStringW(m, 1, buf, 64), 21);
  CHECK(FreeLibrary(m));
}
