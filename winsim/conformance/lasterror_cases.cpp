// The last error and the buffer-size protocols of the calls that hand out
// text: ask for the size, pass a buffer one too small, pass the exact size.
#include "check.h"
#include "support.h"

using conf::WString;

namespace {

struct Handshake {
  HANDLE errorSet;
  HANDLE mainDone;
};

DWORD WINAPI keepsOwnError(LPVOID param) {
  auto *h = static_cast<Handshake *>(param);
  SetLastError(4321);
  SetEvent(h->errorSet);
  WaitForSingleObject(h->mainDone, 10000);
  return GetLastError();
}

}  // namespace

CONF_CASE(LastError, IsKeptPerThread) {
  Handshake h{CreateEventW(nullptr, TRUE, FALSE, nullptr), CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  REQUIRE(h.errorSet && h.mainDone);
  HANDLE t = CreateThread(nullptr, 0, keepsOwnError, &h, 0, nullptr);
  REQUIRE(t != nullptr);
  CHECK_EQ(WaitForSingleObject(h.errorSet, 10000), WAIT_OBJECT_0);
  // This thread's error changes while the other thread holds its own.
  SetLastError(1234);
  CHECK_ERROR(1234u);
  SetEvent(h.mainDone);
  CHECK_EQ(WaitForSingleObject(t, 10000), WAIT_OBJECT_0);
  DWORD code = 0;
  CHECK(GetExitCodeThread(t, &code));
  CHECK_EQ(code, 4321u);
  CloseHandle(t);
  CloseHandle(h.errorSet);
  CloseHandle(h.mainDone);
}

CONF_CASE(LastError, CloseHandleOnAnInvalidHandle) {
  SetLastError(0);
  CHECK(!CloseHandle(nullptr));
  CHECK_ERROR(ERROR_INVALID_HANDLE);
}

CONF_CASE(BufferSize, GetModuleFileNameTruncatesAndSaysSo) {
  WCHAR full[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, full, MAX_PATH);
  REQUIRE(n > 3 && n < MAX_PATH);
  CHECK_EQ(full[n], 0);
  // Exact: the length without the terminator.
  WCHAR exact[MAX_PATH];
  CHECK_EQ(GetModuleFileNameW(nullptr, exact, n + 1), n);
  CHECK_WSTR(exact, full);
  // One too small: nSize back and ERROR_INSUFFICIENT_BUFFER, the text cut
  // to nSize characters with the terminator.  Wine leaves the cut text
  // unterminated, as Windows XP did.
  WCHAR cut[MAX_PATH];
  SetLastError(0);
  CHECK_EQ(GetModuleFileNameW(nullptr, cut, n), n);
  CHECK_ERROR(ERROR_INSUFFICIENT_BUFFER);
  CHECK_EQ(cut[n - 2], full[n - 2]);
  SKIP_UNDER_WINE("GetModuleFileName does not terminate a cut name");
  CHECK_EQ(cut[n - 1], 0);
}

// The directory calls answer a size query with the size that holds the
// terminator too, and success with the length without it.
CONF_CASE(BufferSize, CurrentDirectory) {
  DWORD need = GetCurrentDirectoryW(0, nullptr);
  REQUIRE(need > 1 && need < MAX_PATH);
  WCHAR buf[MAX_PATH];
  CHECK_EQ(GetCurrentDirectoryW(need - 1, buf), need);
  CHECK_EQ(GetCurrentDirectoryW(need, buf), need - 1);
  CHECK_EQ(lstrlenW(buf), int(need - 1));
}

CONF_CASE(BufferSize, TempPath) {
  DWORD need = GetTempPathW(0, nullptr);
  REQUIRE(need > 1 && need < MAX_PATH);
  WCHAR buf[MAX_PATH];
  CHECK_EQ(GetTempPathW(need - 1, buf), need);
  CHECK_EQ(GetTempPathW(need, buf), need - 1);
  // The temp path ends with a backslash.
  CHECK_EQ(buf[need - 2], TEXT('\\'));
}

CONF_CASE(BufferSize, SystemAndWindowsDirectory) {
  WCHAR buf[MAX_PATH];
  UINT need = GetSystemDirectoryW(nullptr, 0);
  REQUIRE(need > 3 && need < MAX_PATH);
  CHECK_EQ(GetSystemDirectoryW(buf, need - 1), need);
  CHECK_EQ(GetSystemDirectoryW(buf, need), need - 1);
  // It does not end with a backslash, and it exists.
  CHECK(buf[need - 2] != TEXT('\\'));
  DWORD attrs = GetFileAttributesW(buf);
  CHECK(attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY));

  WCHAR win[MAX_PATH];
  need = GetWindowsDirectoryW(nullptr, 0);
  REQUIRE(need > 3 && need < MAX_PATH);
  CHECK_EQ(GetWindowsDirectoryW(win, need - 1), need);
  CHECK_EQ(GetWindowsDirectoryW(win, need), need - 1);
  // The system folder lies in the Windows folder.
  WString sys = buf;
  size_t winLen = size_t(lstrlenW(win));
  CHECK(sys.size() > winLen && lstrcmpiW(sys.substr(0, winLen).c_str(), win) == 0 && sys[winLen] == TEXT('\\'));
}

CONF_CASE(BufferSize, FullPathName) {
  WCHAR cwd[MAX_PATH];
  DWORD cwdLen = GetCurrentDirectoryW(MAX_PATH, cwd);
  REQUIRE(cwdLen > 0 && cwdLen < MAX_PATH - 20);
  WString expected = cwd;
  if (expected.back() != TEXT('\\')) expected += TEXT('\\');
  expected += TEXT("card.txt");
  DWORD need = GetFullPathNameW(TEXT("card.txt"), 0, nullptr, nullptr);
  CHECK_EQ(need, expected.size() + 1);
  WCHAR buf[MAX_PATH];
  LPWSTR part = nullptr;
  CHECK_EQ(GetFullPathNameW(TEXT("card.txt"), DWORD(expected.size()), buf, &part), expected.size() + 1);
  CHECK_EQ(GetFullPathNameW(TEXT("card.txt"), DWORD(expected.size() + 1), buf, &part), expected.size());
  CHECK_WSTR(buf, expected.c_str());
  // The file part points into the buffer, at the name.
  CHECK(part == buf + expected.size() - 8);
  // Dots and doubled separators are resolved.
  CHECK_EQ(GetFullPathNameW(TEXT("C:\\one\\two\\..\\.\\three.txt"), MAX_PATH, buf, &part), 16u);
  CHECK_WSTR(buf, TEXT("C:\\one\\three.txt"));
  CHECK_WSTR(part, TEXT("three.txt"));
}

CONF_CASE(BufferSize, EnvironmentVariable) {
  DWORD need = GetEnvironmentVariableW(TEXT("windir"), nullptr, 0);
  REQUIRE(need > 3 && need < MAX_PATH);
  WCHAR buf[MAX_PATH];
  CHECK_EQ(GetEnvironmentVariableW(TEXT("windir"), buf, need - 1), need);
  CHECK_EQ(GetEnvironmentVariableW(TEXT("windir"), buf, need), need - 1);
  // Names are not case-sensitive.
  WCHAR upper[MAX_PATH];
  CHECK_EQ(GetEnvironmentVariableW(TEXT("WINDIR"), upper, MAX_PATH), need - 1);
  CHECK_WSTR(upper, buf);
  SetLastError(0);
  CHECK_EQ(GetEnvironmentVariableW(TEXT("WINSIM_CONFORMANCE_UNSET"), buf, MAX_PATH), 0u);
  CHECK_ERROR(ERROR_ENVVAR_NOT_FOUND);
}

CONF_CASE(BufferSize, ExpandEnvironmentStringsCountsTheTerminator) {
  WCHAR dir[MAX_PATH];
  DWORD dirLen = GetEnvironmentVariableW(TEXT("windir"), dir, MAX_PATH);
  REQUIRE(dirLen > 0 && dirLen < MAX_PATH - 20);
  WString expected = WString(dir) + TEXT("\\card");
  WCHAR buf[MAX_PATH];
  CHECK_EQ(ExpandEnvironmentStringsW(TEXT("%windir%\\card"), nullptr, 0), expected.size() + 1);
  CHECK_EQ(ExpandEnvironmentStringsW(TEXT("%windir%\\card"), buf, DWORD(expected.size())), expected.size() + 1);
  CHECK_EQ(ExpandEnvironmentStringsW(TEXT("%windir%\\card"), buf, DWORD(expected.size() + 1)), expected.size() + 1);
  CHECK_WSTR(buf, expected.c_str());
  CHECK_EQ(ExpandEnvironmentStringsW(TEXT("plain"), buf, MAX_PATH), 6u);
  CHECK_WSTR(buf, TEXT("plain"));
}

CONF_CASE(BufferSize, ComputerNameOverflow) {
  WCHAR name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  REQUIRE(GetComputerNameW(name, &size));
  DWORD len = size;
  CHECK_EQ(DWORD(lstrlenW(name)), len);
  // Too small: ERROR_BUFFER_OVERFLOW and the size with the terminator.
  WCHAR small[MAX_COMPUTERNAME_LENGTH + 1];
  size = len;
  SetLastError(0);
  CHECK(!GetComputerNameW(small, &size));
  CHECK_ERROR(ERROR_BUFFER_OVERFLOW);
  CHECK_EQ(size, len + 1);
  // Exact: the length without it.
  size = len + 1;
  CHECK(GetComputerNameW(small, &size));
  CHECK_EQ(size, len);
  CHECK_WSTR(small, name);
}

CONF_CASE(BufferSize, UserNameCountsTheTerminator) {
  WCHAR name[257];
  DWORD size = 257;
  REQUIRE(GetUserNameW(name, &size));
  // Success counts the terminator too.
  DWORD withNull = size;
  CHECK_EQ(DWORD(lstrlenW(name)) + 1, withNull);
  WCHAR small[257];
  size = withNull - 1;
  SetLastError(0);
  CHECK(!GetUserNameW(small, &size));
  CHECK_ERROR(ERROR_INSUFFICIENT_BUFFER);
  CHECK_EQ(size, withNull);
  size = withNull;
  CHECK(GetUserNameW(small, &size));
  CHECK_EQ(size, withNull);
  CHECK_WSTR(small, name);
}
