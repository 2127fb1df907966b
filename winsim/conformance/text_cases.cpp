// Text: wide and 8-bit conversions (UTF-8, Windows-1252, the ANSI code
// page), the lstr and Char helpers, wsprintf and the strsafe functions.
#include "check.h"
#include "support.h"

// The cases call the functions strsafe.h would mark as deprecated.
#define STRSAFE_NO_DEPRECATE
#include <strsafe.h>

using conf::WString;

// ------------------------------------------------------------ conversions

CONF_CASE(Conversion, Utf8SizeProtocol) {
  const char *utf8 =
      "Gr\xC3\xB6\xC3\x9F"
      "e \xE2\x82\xAC";  // "Größe €"
  const WCHAR expected[] = {TEXT('G'), TEXT('r'), 0x00F6, 0x00DF, TEXT('e'), TEXT(' '), 0x20AC, 0};
  // With -1 the terminator is converted and counted.
  CHECK_EQ(MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0), 8);
  WCHAR buf[16];
  SetLastError(0);
  CHECK_EQ(MultiByteToWideChar(CP_UTF8, 0, utf8, -1, buf, 7), 0);
  CHECK_ERROR(ERROR_INSUFFICIENT_BUFFER);
  CHECK_EQ(MultiByteToWideChar(CP_UTF8, 0, utf8, -1, buf, 8), 8);
  CHECK_WSTR(buf, expected);
  // With a byte count nothing is added.
  for (auto &c : buf) c = TEXT('#');
  CHECK_EQ(MultiByteToWideChar(CP_UTF8, 0, utf8, 11, buf, 16), 7);
  CHECK_EQ(buf[7], TEXT('#'));
  // And back.
  char out[16];
  CHECK_EQ(WideCharToMultiByte(CP_UTF8, 0, expected, -1, nullptr, 0, nullptr, nullptr), 12);
  SetLastError(0);
  CHECK_EQ(WideCharToMultiByte(CP_UTF8, 0, expected, -1, out, 11, nullptr, nullptr), 0);
  CHECK_ERROR(ERROR_INSUFFICIENT_BUFFER);
  CHECK_EQ(WideCharToMultiByte(CP_UTF8, 0, expected, -1, out, 12, nullptr, nullptr), 12);
  CHECK_STR(out, utf8);
}

CONF_CASE(Conversion, Utf8SurrogatePairs) {
  const char *utf8 = "\xF0\x9F\x98\x80";  // U+1F600
  WCHAR buf[4] = {};
  CHECK_EQ(MultiByteToWideChar(CP_UTF8, 0, utf8, 4, buf, 4), 2);
  CHECK_EQ(buf[0], 0xD83D);
  CHECK_EQ(buf[1], 0xDE00);
  char out[8] = {};
  CHECK_EQ(WideCharToMultiByte(CP_UTF8, 0, buf, 2, out, 8, nullptr, nullptr), 4);
  CHECK(memcmp(out, utf8, 4) == 0);
}

CONF_CASE(Conversion, InvalidInput) {
  WCHAR buf[8];
  // A lead byte without its continuation.
  SetLastError(0);
  CHECK_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "\xC3(", 2, buf, 8), 0);
  CHECK_ERROR(ERROR_NO_UNICODE_TRANSLATION);
  // Without the flag it becomes U+FFFD.
  CHECK_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xC3(", 2, buf, 8), 2);
  CHECK_EQ(buf[0], 0xFFFD);
  CHECK_EQ(buf[1], TEXT('('));
  // A lone surrogate, when asked to fail on it.
  const WCHAR lone[] = {TEXT('a'), 0xD800, TEXT('b')};
  char out[16];
  SetLastError(0);
  CHECK_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, 3, out, 16, nullptr, nullptr), 0);
  CHECK_ERROR(ERROR_NO_UNICODE_TRANSLATION);
  // No input at all.
  SetLastError(0);
  CHECK_EQ(MultiByteToWideChar(CP_UTF8, 0, "x", 0, buf, 8), 0);
  CHECK_ERROR(ERROR_INVALID_PARAMETER);
  // UTF-8 has no default character: asking for one is a bad parameter.
  // Wine ignores the default character and converts.
  SKIP_UNDER_WINE("WideCharToMultiByte takes a default character for UTF-8");
  BOOL used = FALSE;
  SetLastError(0);
  CHECK_EQ(WideCharToMultiByte(CP_UTF8, 0, TEXT("x"), 1, out, 16, "?", nullptr), 0);
  CHECK_ERROR(ERROR_INVALID_PARAMETER);
  SetLastError(0);
  CHECK_EQ(WideCharToMultiByte(CP_UTF8, 0, TEXT("x"), 1, out, 16, nullptr, &used), 0);
  CHECK_ERROR(ERROR_INVALID_PARAMETER);
}

CONF_CASE(Conversion, Windows1252) {
  const char bytes[] = "\x80\x9F\xE9\x41";
  const WCHAR wide[] = {0x20AC, 0x0178, 0x00E9, TEXT('A'), 0};
  WCHAR buf[8];
  CHECK_EQ(MultiByteToWideChar(1252, 0, bytes, -1, buf, 8), 5);
  CHECK_WSTR(buf, wide);
  char out[8];
  BOOL used = TRUE;
  CHECK_EQ(WideCharToMultiByte(1252, 0, wide, -1, out, 8, nullptr, &used), 5);
  CHECK_STR(out, bytes);
  CHECK(!used);
  // Characters the code page lacks become the default character.
  const WCHAR cjk[] = {TEXT('a'), 0x4E2D, TEXT('b'), 0};
  CHECK_EQ(WideCharToMultiByte(1252, 0, cjk, -1, out, 8, nullptr, &used), 4);
  CHECK_STR(out, "a?b");
  CHECK(used);
  CHECK_EQ(WideCharToMultiByte(1252, 0, cjk, -1, out, 8, "*", &used), 4);
  CHECK_STR(out, "a*b");
}

CONF_CASE(Conversion, AnsiCodePageIsTheOneGetACPNames) {
  const WCHAR wide[] = {TEXT('x'), 0x00E9, 0x20AC, 0};
  char viaAcp[16], viaNumber[16];
  int a = WideCharToMultiByte(CP_ACP, 0, wide, -1, viaAcp, 16, nullptr, nullptr);
  int b = WideCharToMultiByte(GetACP(), 0, wide, -1, viaNumber, 16, nullptr, nullptr);
  CHECK(a > 0);
  CHECK_EQ(a, b);
  CHECK_STR(viaAcp, viaNumber);
}

// ------------------------------------------------------------ lstr and Char

CONF_CASE(Strings, LstrHelpers) {
  CHECK_EQ(lstrlenW(nullptr), 0);
  CHECK_EQ(lstrlenW(TEXT("card")), 4);
  WCHAR buf[8];
  // lstrcpyn copies up to the size less one and terminates.
  CHECK(lstrcpynW(buf, TEXT("ABCDEFGHIJ"), 8) == buf);
  CHECK_WSTR(buf, TEXT("ABCDEFG"));
  lstrcpyW(buf, TEXT("ab"));
  lstrcatW(buf, TEXT("cd"));
  CHECK_WSTR(buf, TEXT("abcd"));
  const WCHAR upperE[] = {0x00C9, TEXT('a'), 0}, lowerE[] = {0x00E9, TEXT('A'), 0};
  CHECK_EQ(lstrcmpiW(TEXT("CardRibbon.INI"), TEXT("cardribbon.ini")), 0);
  CHECK_EQ(lstrcmpiW(upperE, lowerE), 0);
  CHECK(lstrcmpiW(TEXT("abc"), TEXT("ABD")) < 0);
  CHECK(lstrcmpW(TEXT("a"), TEXT("A")) != 0);
  CHECK_EQ(lstrcmpA("same", "same"), 0);
  CHECK_EQ(lstrcmpiA("Same", "sAME"), 0);
}

// lstrcmp compares as words are sorted, not by character codes: letters
// by the alphabet first.
CONF_CASE(Strings, LstrcmpSortsLikeWords) {
  CHECK(lstrcmpW(TEXT("a"), TEXT("B")) < 0);
  CHECK(lstrcmpW(TEXT("B"), TEXT("a")) > 0);
  CHECK(lstrcmpW(TEXT("apple"), TEXT("Banana")) < 0);
  CHECK(lstrcmpA("a", "B") < 0);
  CHECK(lstrcmpA("B", "a") > 0);
}

CONF_CASE(Strings, CharUpperAndLower) {
  WCHAR s[] = {TEXT('m'), TEXT('o'), TEXT('d'), 0x00E4, TEXT('1'), 0};
  const WCHAR up[] = {TEXT('M'), TEXT('O'), TEXT('D'), 0x00C4, TEXT('1'), 0};
  CHECK(CharUpperW(s) == s);
  CHECK_WSTR(s, up);
  CHECK_EQ(CharLowerBuffW(s, 2), 2u);
  const WCHAR half[] = {TEXT('m'), TEXT('o'), TEXT('D'), 0x00C4, TEXT('1'), 0};
  CHECK_WSTR(s, half);
  // A single character in the low word instead of a string.
  CHECK_EQ(LOWORD(reinterpret_cast<ULONG_PTR>(CharUpperW(reinterpret_cast<LPWSTR>(ULONG_PTR(TEXT('q')))))), TEXT('Q'));
}

// ------------------------------------------------------------ wsprintf

CONF_CASE(Wsprintf, TypesAndReturnValue) {
  WCHAR buf[1024];
  int n = wsprintfW(buf, TEXT("%d|%i|%u|%x|%X|%c|%s|%S|%hs|%ls|%%"), -5, 42, 4000000000u, 0xABCu, 0xABCu, TEXT('Z'),
                    TEXT("wide"), "narrow", "h8", TEXT("l16"));
  const WCHAR *want = TEXT("-5|42|4000000000|abc|ABC|Z|wide|narrow|h8|l16|%");
  CHECK_EQ(n, lstrlenW(want));
  CHECK_WSTR(buf, want);
  n = wsprintfW(buf, TEXT("%ld|%lu|%lx|%lX"), LONG(-7), ULONG(7), ULONG(0xBEEF), ULONG(0xBEEF));
  CHECK_WSTR(buf, TEXT("-7|7|beef|BEEF"));
  CHECK_EQ(n, 14);
  // 8-bit: %s is 8-bit, %S wide.
  char a[64];
  n = wsprintfA(a, "%s/%S/%c/%d", "ab", TEXT("cd"), 'e', 12);
  CHECK_STR(a, "ab/cd/e/12");
  CHECK_EQ(n, 10);
}

CONF_CASE(Wsprintf, FlagsWidthAndPrecision) {
  WCHAR buf[256];
  wsprintfW(buf, TEXT("[%5d][%-5d][%05d][%05d][%#x][%#X][%.3d][%8.3d]"), 42, 42, 42, -42, 255u, 255u, 7, 7);
  CHECK_WSTR(buf, TEXT("[   42][42   ][00042][-0042][0xff][0XFF][007][     007]"));
  wsprintfW(buf, TEXT("[%6s][%-6s][%.2s][%08X]"), TEXT("ab"), TEXT("ab"), TEXT("abcdef"), 0x1Bu);
  CHECK_WSTR(buf, TEXT("[    ab][ab    ][ab][0000001B]"));
}

CONF_CASE(Wsprintf, UnknownTypeIsCopied) {
  WCHAR buf[64];
  CHECK_EQ(wsprintfW(buf, TEXT("a%yb")), 3);
  CHECK_WSTR(buf, TEXT("ayb"));
}

// ------------------------------------------------------------ strsafe

CONF_CASE(Strsafe, PrintfTruncatesAndSaysSo) {
  WCHAR buf[8];
  CHECK_EQ(StringCchPrintfW(buf, 8, TEXT("%s-%d"), TEXT("card"), 12), S_OK);
  CHECK_WSTR(buf, TEXT("card-12"));
  // Exactly the text and its terminator fit.
  CHECK_EQ(StringCchPrintfW(buf, 8, TEXT("%s"), TEXT("1234567")), S_OK);
  // One more character: cut, terminated, reported.
  CHECK_EQ(StringCchPrintfW(buf, 8, TEXT("%s"), TEXT("12345678")), STRSAFE_E_INSUFFICIENT_BUFFER);
  CHECK_WSTR(buf, TEXT("1234567"));
  CHECK_EQ(StringCbPrintfW(buf, sizeof buf, TEXT("%d%d"), 1234, 56789), STRSAFE_E_INSUFFICIENT_BUFFER);
  CHECK_WSTR(buf, TEXT("1234567"));
  char a[6];
  CHECK_EQ(StringCchPrintfA(a, 6, "%s|%S", "ab", TEXT("cd")), S_OK);
  CHECK_STR(a, "ab|cd");
  // No room at all is a bad parameter.
  CHECK_EQ(StringCchPrintfW(buf, 0, TEXT("x")), STRSAFE_E_INVALID_PARAMETER);
}

CONF_CASE(Strsafe, CopyAndCat) {
  WCHAR buf[6];
  CHECK_EQ(StringCchCopyW(buf, 6, TEXT("abcde")), S_OK);
  CHECK_EQ(StringCchCopyW(buf, 6, TEXT("abcdef")), STRSAFE_E_INSUFFICIENT_BUFFER);
  CHECK_WSTR(buf, TEXT("abcde"));
  CHECK_EQ(StringCchCopyNW(buf, 6, TEXT("xyzzy"), 2), S_OK);
  CHECK_WSTR(buf, TEXT("xy"));
  CHECK_EQ(StringCchCatW(buf, 6, TEXT("12")), S_OK);
  CHECK_WSTR(buf, TEXT("xy12"));
  CHECK_EQ(StringCchCatW(buf, 6, TEXT("345")), STRSAFE_E_INSUFFICIENT_BUFFER);
  CHECK_WSTR(buf, TEXT("xy123"));
  CHECK_EQ(StringCbCopyW(buf, 4 * sizeof(WCHAR), TEXT("abc")), S_OK);
  CHECK_EQ(StringCbCatW(buf, sizeof buf, TEXT("d")), S_OK);
  CHECK_WSTR(buf, TEXT("abcd"));
  CHECK_EQ(StringCchCopyW(buf, 0, TEXT("x")), STRSAFE_E_INVALID_PARAMETER);
  // A destination without a terminator within its size cannot be added to.
  WCHAR full[3] = {TEXT('a'), TEXT('b'), TEXT('c')};
  CHECK_EQ(StringCchCatW(full, 3, TEXT("d")), STRSAFE_E_INVALID_PARAMETER);
}

CONF_CASE(Strsafe, Length) {
  size_t len = 99;
  CHECK_EQ(StringCchLengthW(TEXT("abc"), 4, &len), S_OK);
  CHECK_EQ(len, 3u);
  // No terminator within the maximum.
  CHECK_EQ(StringCchLengthW(TEXT("abc"), 3, &len), STRSAFE_E_INVALID_PARAMETER);
  CHECK_EQ(StringCbLengthW(TEXT("abc"), 8, &len), S_OK);
  CHECK_EQ(len, 3 * sizeof(WCHAR));
  CHECK_EQ(StringCchLengthA("abcd", STRSAFE_MAX_CCH, &len), S_OK);
  CHECK_EQ(len, 4u);
}
