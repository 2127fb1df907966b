// Further kernel32 behaviour the modules rely on: file moves and copies,
// module names, environment expansion, formatting sizes.
#include <gtest/gtest.h>
#include <strsafe.h>
#include <winsim/testing.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "../fixtures.h"

namespace {

using winsim_test::Winsim;
using winsim_test::WinsimMore;

TEST_F(WinsimMore, FileMovesCopiesAndPointers) {
  const char16_t *a = u"C:\\Windows\\Temp\\a.txt", *b = u"C:\\Windows\\Temp\\B.TXT";
  HANDLE f = CreateFileW(a, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  WriteFile(f, "0123456789", 10, &n, nullptr);
  EXPECT_EQ(SetFilePointer(f, 4, nullptr, FILE_BEGIN), 4u);
  ASSERT_TRUE(SetEndOfFile(f));
  EXPECT_EQ(SetFilePointer(f, -10, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NEGATIVE_SEEK));
  CloseHandle(f);
  EXPECT_EQ(CreateFileW(a, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS));

  ASSERT_TRUE(CopyFileW(a, b, TRUE));
  EXPECT_FALSE(CopyFileW(a, b, TRUE));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS));
  EXPECT_FALSE(MoveFileExW(a, b, 0));
  EXPECT_TRUE(MoveFileExW(a, b, MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(GetFileAttributesW(a), INVALID_FILE_ATTRIBUTES);
  f = CreateFileW(u"c:\\windows\\temp\\b.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileSize(f, nullptr), 4u);
  char buf[8] = {};
  ASSERT_TRUE(ReadFile(f, buf, 8, &n, nullptr));
  EXPECT_EQ(n, 4u);
  EXPECT_EQ(std::string(buf, 4), "0123");
  ASSERT_TRUE(ReadFile(f, buf, 8, &n, nullptr));  // at the end: success with nothing read
  EXPECT_EQ(n, 0u);
  EXPECT_FALSE(WriteFile(f, "x", 1, &n, nullptr));  // opened for reading only
  CloseHandle(f);
  EXPECT_FALSE(CloseHandle(f));
  EXPECT_TRUE(DeleteFileW(b));
  EXPECT_FALSE(DeleteFileW(b));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(CreateDirectoryW(u"C:\\Windows\\Temp\\dir", nullptr));
  EXPECT_FALSE(CreateDirectoryW(u"C:\\Windows\\Temp\\DIR", nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(CreateDirectoryW(u"C:\\No\\Such\\dir", nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
}

TEST_F(WinsimMore, PathsFullNamesAndEnvironment) {
  WCHAR buf[MAX_PATH];
  LPWSTR part = nullptr;
  ASSERT_EQ(GetFullPathNameW(u"c:/Windows/./Temp/../x.ini", MAX_PATH, buf, &part), 16u);
  EXPECT_EQ(std::u16string(buf), u"C:\\Windows\\x.ini");
  EXPECT_EQ(std::u16string(part), u"x.ini");
  EXPECT_EQ(GetFullPathNameW(u"C:\\a\\b", 3, buf, nullptr), 7u);  // the size needed
  EXPECT_EQ(GetFullPathNameW(u"C:\\a<b", MAX_PATH, buf, nullptr), 0u);
  // Unknown variables stay as they are; the result counts its terminator.
  EXPECT_EQ(ExpandEnvironmentStringsW(u"%NOPE%\\%windir%", buf, MAX_PATH), 18u);
  EXPECT_EQ(std::u16string(buf), u"%NOPE%\\C:\\Windows");
  EXPECT_EQ(ExpandEnvironmentStringsW(u"%windir%", buf, 4), 11u);
  EXPECT_EQ(GetEnvironmentVariableW(u"NOPE", buf, MAX_PATH), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ENVVAR_NOT_FOUND));
}

TEST_F(WinsimMore, ModuleFileNameTruncatesAndReports) {
  HMODULE self = GetModuleHandleW(nullptr);
  ASSERT_NE(self, nullptr);
  WCHAR buf[MAX_PATH];
  DWORD n = GetModuleFileNameW(self, buf, MAX_PATH);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(GetLastError(), DWORD(NO_ERROR));
  WCHAR small[5];
  EXPECT_EQ(GetModuleFileNameW(self, small, 5), 5u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(small[4], 0);
  EXPECT_EQ(GetModuleHandleW(u"nothing-loaded.dll"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
}

TEST_F(WinsimMore, FormattingOfLongsAndPointersSizes) {
  WCHAR w[64];
  // 64-bit and pointer-sized values have their own length prefixes; %ld is 32-bit.
  ASSERT_EQ(StringCchPrintfW(w, 64, u"%I64d|%lld|%Iu|%ld|%lu", INT64(-5000000000), 7LL, SIZE_T(12), LONG(-1),
                             ULONG(4294967295u)),
            S_OK);
  EXPECT_EQ(std::u16string(w), u"-5000000000|7|12|-1|4294967295");
  ASSERT_EQ(StringCchPrintfW(w, 64, u"%hs|%ls|%.2s|%%|%-3c|", "ab", u"cd", u"xyz", u'q'), S_OK);
  EXPECT_EQ(std::u16string(w), u"ab|cd|xy|%|q  |");
  char a[8];
  EXPECT_EQ(StringCbPrintfA(a, sizeof a, "%s", "0123456789"), STRSAFE_E_INSUFFICIENT_BUFFER);
  EXPECT_STREQ(a, "0123456");
  WCHAR out[1100];
  std::u16string big(2000, u'x');
  EXPECT_EQ(wsprintfW(out, u"%s", big.c_str()), 1023);  // wsprintf's own bound
}

}  // namespace
