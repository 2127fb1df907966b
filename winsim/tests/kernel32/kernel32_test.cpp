// What the package's modules rely on from the simulated platform.
#include <gtest/gtest.h>
#include <winspool.h>
#include <strsafe.h>
#include <winsim/testing.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "../fixtures.h"

namespace {

using winsim_test::Winsim;
using winsim_test::WinsimMore;

std::u16string W(const char16_t *s) { return s; }

TEST_F(Winsim, HeapAndLocalMemoryHonourZeroFillAndReportSizes) {
  auto *p = static_cast<BYTE *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 4128));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 4128; ++i) ASSERT_EQ(p[i], 0);
  EXPECT_EQ(HeapSize(GetProcessHeap(), 0, p), 4128u);
  p = static_cast<BYTE *>(HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, p, 8000));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[7999], 0);
  EXPECT_TRUE(HeapFree(GetProcessHeap(), 0, p));
  EXPECT_TRUE(HeapFree(GetProcessHeap(), 0, nullptr));

  auto *l = static_cast<BYTE *>(LocalAlloc(LPTR, 100));
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(l[99], 0);
  EXPECT_EQ(LocalSize(l), 100u);
  EXPECT_EQ(LocalFree(l), nullptr);
  EXPECT_EQ(LocalFree(nullptr), nullptr);
}

TEST_F(Winsim, WideStringFunctions) {
  WCHAR buf[8];
  lstrcpynW(buf, u"ABCDEFGHIJ", 8);
  EXPECT_EQ(W(buf), u"ABCDEFG");
  EXPECT_EQ(lstrlenW(nullptr), 0);
  EXPECT_EQ(lstrcmpiW(u"CardRibbon.INI", u"cardribbon.ini"), 0);
  EXPECT_LT(lstrcmpiW(u"abc", u"ABD"), 0);
  EXPECT_EQ(lstrcmpiW(u"Éa", u"éA"), 0);
  EXPECT_NE(lstrcmpW(u"a", u"A"), 0);
  WCHAR up[] = u"model=ca3ä";
  CharUpperW(up);
  EXPECT_EQ(W(up), u"MODEL=CA3Ä");
}

TEST_F(Winsim, StrsafeFormattingFollowsTheWindowsRuntime) {
  WCHAR w[64];
  ASSERT_EQ(StringCchPrintfW(w, 64, u"%s|%S|%d|%ld|%u|%x|%X|%c", u"wide", "narrow", -5, LONG(-7), 4000000000u, 0xABCu,
                             0xABCu, u'Z'),
            S_OK);
  EXPECT_EQ(W(w), u"wide|narrow|-5|-7|4000000000|abc|ABC|Z");
  ASSERT_EQ(StringCchPrintfW(w, 64, u"[%5d][%-5d][%05d][%3s][%-4S][%08X]", 42, 42, -42, u"ab", "c", 0x1Bu), S_OK);
  EXPECT_EQ(W(w), u"[   42][42   ][-0042][ ab][c   ][0000001B]");
  // Command texts are built with 8-bit formatting too.
  char a[32];
  ASSERT_EQ(StringCchPrintfA(a, 32, "\x1b+$L %d %s %S", 3, "x", u"y"), S_OK);
  EXPECT_STREQ(a, "\x1b+$L 3 x y");
  // Truncation: terminated, and reported.
  EXPECT_EQ(StringCchPrintfW(w, 4, u"%s", u"abcdef"), STRSAFE_E_INSUFFICIENT_BUFFER);
  EXPECT_EQ(W(w), u"abc");
  EXPECT_EQ(StringCchCopyW(w, 3, u"xyz"), STRSAFE_E_INSUFFICIENT_BUFFER);
  EXPECT_EQ(W(w), u"xy");
  EXPECT_EQ(StringCchCopyW(w, 0, u"x"), STRSAFE_E_INVALID_PARAMETER);
  lstrcpyW(w, u"ab");
  EXPECT_EQ(StringCchCatW(w, 5, u"cde"), STRSAFE_E_INSUFFICIENT_BUFFER);
  EXPECT_EQ(W(w), u"abcd");
  size_t len = 99;
  EXPECT_EQ(StringCchLengthW(u"abc", 3, &len), STRSAFE_E_INVALID_PARAMETER);
  EXPECT_EQ(StringCchLengthW(u"abc", 4, &len), S_OK);
  EXPECT_EQ(len, 3u);
}

TEST_F(Winsim, AnsiCodePageIsWindows1252) {
  EXPECT_EQ(GetACP(), 1252u);
  const char in[] = "\x80\x93\x94\xE9\x81";
  WCHAR w[8];
  ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, in, 5, w, 8), 5);
  EXPECT_EQ(w[0], 0x20AC);  // euro sign
  EXPECT_EQ(w[1], 0x201C);
  EXPECT_EQ(w[2], 0x201D);
  EXPECT_EQ(w[3], 0x00E9);
  EXPECT_EQ(w[4], 0x0081);  // undefined byte kept as the C1 control
  char back[8];
  BOOL usedDefault = TRUE;
  ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, w, 5, back, 8, nullptr, &usedDefault), 5);
  EXPECT_EQ(std::string(back, 5), std::string(in, 5));
  EXPECT_FALSE(usedDefault);
  const WCHAR cyr[] = u"Ж";
  ASSERT_EQ(WideCharToMultiByte(1252, 0, cyr, 1, back, 8, nullptr, &usedDefault), 1);
  EXPECT_EQ(back[0], '?');
  EXPECT_TRUE(usedDefault);
  // Size protocol: -1 counts the terminator; a short buffer fails.
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0), 4);
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, w, 3), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xE2\x82\xAC", 3, w, 8), 1);
  EXPECT_EQ(w[0], 0x20AC);
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "\xC3", 1, w, 8), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
  EXPECT_EQ(MultiByteToWideChar(12345, 0, "a", 1, w, 8), 0);
}

TEST_F(Winsim, VirtualDriveResolvesPathsWithoutRegardToCase) {
  std::string root = winsim::driveRoot();
  std::filesystem::create_directories(root + "/Users/Public/Documents");
  { std::ofstream(root + "/Users/Public/Documents/cardribbon.INI") << "Ribbon=2\r\n"; }
  HANDLE f = CreateFileW(u"c:\\USERS\\public\\documents\\CARDRIBBON.ini", GENERIC_READ, FILE_SHARE_READ, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  char buf[32] = {};
  DWORD got = 0;
  ASSERT_TRUE(ReadFile(f, buf, sizeof buf, &got, nullptr));
  EXPECT_EQ(std::string(buf, got), "Ribbon=2\r\n");
  EXPECT_EQ(GetFileSize(f, nullptr), 10u);
  CloseHandle(f);

  // Writing through another spelling replaces the same file.
  f = CreateFileW(u"C:/Users/Public/Documents/CardRibbon.ini", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  DWORD put = 0;
  ASSERT_TRUE(WriteFile(f, "Model=CA3", 9, &put, nullptr));
  CloseHandle(f);
  int files = 0;
  for (auto &e : std::filesystem::directory_iterator(root + "/Users/Public/Documents")) {
    ++files;
    EXPECT_EQ(e.path().filename(), "cardribbon.INI");
  }
  EXPECT_EQ(files, 1);

  SetLastError(0);
  EXPECT_EQ(CreateFileW(u"C:\\nowhere\\x.ini", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(CreateFileW(u"C:\\Windows\\x.ini", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(CreateFileW(u"D:\\x.ini", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(winsim::hostPath(u"c:\\users\\PUBLIC\\..\\Public\\documents\\CARDRIBBON.ini"),
            root + "/Users/Public/Documents/cardribbon.INI");

  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW(u"C:\\users\\public\\documents\\*.ini", &fd);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_EQ(W(fd.cFileName), u"cardribbon.INI");
  EXPECT_FALSE(FindNextFileW(find, &fd));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  FindClose(find);
}

TEST_F(Winsim, DirectoriesAnswerWithTheSizeProtocol) {
  WCHAR buf[MAX_PATH];
  EXPECT_EQ(GetSystemDirectoryW(buf, MAX_PATH), 19u);
  EXPECT_EQ(W(buf), u"C:\\Windows\\system32");
  EXPECT_EQ(GetSystemDirectoryW(buf, 19), 20u);  // too small: size needed with the terminator
  EXPECT_EQ(GetTempPathW(MAX_PATH, buf), 16u);
  EXPECT_EQ(W(buf), u"C:\\Windows\\Temp\\");
  EXPECT_NE(GetFileAttributesW(buf), INVALID_FILE_ATTRIBUTES);
  WCHAR tmp[MAX_PATH];
  ASSERT_NE(GetTempFileNameW(buf, u"crd", 0, tmp), 0u);
  EXPECT_NE(GetFileAttributesW(tmp), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(DeleteFileW(tmp));
  EXPECT_EQ(ExpandEnvironmentStringsW(u"%SystemRoot%\\x", buf, MAX_PATH), 13u);
  EXPECT_EQ(W(buf), u"C:\\Windows\\x");
}

TEST_F(Winsim, DebugOutputIsCaptured) {
  OutputDebugStringW(u"DrvDocumentProperties:: Failed");
  OutputDebugStringA("caf\xE9");
  auto out = winsim::debugOutput();
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0], "DrvDocumentProperties:: Failed");
  EXPECT_EQ(out[1], "caf\xC3\xA9");
  winsim::clearDebugOutput();
  EXPECT_TRUE(winsim::debugOutput().empty());
}

TEST_F(Winsim, NamedObjectsAreMachineWide) {
  HANDLE m1 = CreateMutexW(nullptr, FALSE, u"Global\\CardTrayInstance");
  ASSERT_NE(m1, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR));
  HANDLE m2 = CreateMutexW(nullptr, FALSE, u"Global\\CardTrayInstance");
  ASSERT_NE(m2, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  // A handle of its own, to the same mutex: taken through one, released
  // through the other.
  EXPECT_NE(m2, m1);
  EXPECT_EQ(WaitForSingleObject(m1, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_TRUE(ReleaseMutex(m2));
  EXPECT_FALSE(ReleaseMutex(m2));
  HANDLE m3 = OpenMutexW(SYNCHRONIZE, FALSE, u"Global\\CardTrayInstance");
  EXPECT_NE(m3, nullptr);
  // A name in use by another kind of object cannot be opened as an event.
  EXPECT_EQ(OpenEventW(SYNCHRONIZE, FALSE, u"Global\\CardTrayInstance"), nullptr);
  CloseHandle(m3);
  CloseHandle(m2);
  CloseHandle(m1);
  EXPECT_EQ(OpenMutexW(SYNCHRONIZE, FALSE, u"Global\\CardTrayInstance"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(Winsim, HandlesAreCheckedByKindAndNeverReused) {
  HANDLE e = CreateEventW(nullptr, TRUE, FALSE, nullptr), m = CreateMutexW(nullptr, FALSE, nullptr);
  ASSERT_NE(e, nullptr);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(e) % 4, 0u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(m) % 4, 0u);
  // A handle of another kind is refused by the calls of one kind.
  SetLastError(0);
  EXPECT_FALSE(SetEvent(m));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  SetLastError(0);
  EXPECT_FALSE(ReleaseMutex(e));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  SetLastError(0);
  EXPECT_FALSE(FindClose(e));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(HeapDestroy(e));
  // A duplicate is a handle of its own: the object lives while one is open.
  HANDLE dup = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), e, GetCurrentProcess(), &dup, 0, FALSE, DUPLICATE_SAME_ACCESS));
  EXPECT_NE(dup, e);
  EXPECT_TRUE(CloseHandle(e));
  EXPECT_TRUE(SetEvent(dup));
  EXPECT_EQ(WaitForSingleObject(dup, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  // A closed handle stays refused, also after many new objects.
  SetLastError(0);
  EXPECT_FALSE(SetEvent(e));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  for (int i = 0; i < 100; ++i) {
    HANDLE other = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_NE(other, e);
    CloseHandle(other);
  }
  EXPECT_FALSE(CloseHandle(e));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(WaitForSingleObject(e, 0), static_cast<DWORD>(WAIT_FAILED));
  EXPECT_TRUE(CloseHandle(dup));
  EXPECT_TRUE(CloseHandle(m));
  // Registry keys and printers are handles of the same table: another
  // kind, or a closed one, is refused with the calls' own way of failing.
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\HandleTest", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(key) % 4, 0u);
  HANDLE ev = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD size = 0;
  SetLastError(1234);
  EXPECT_EQ(RegQueryValueExW(reinterpret_cast<HKEY>(ev), u"x", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(GetLastError(), 1234u);  // the status is the answer, the last error stays
  EXPECT_FALSE(SetEvent(reinterpret_cast<HANDLE>(key)));
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegQueryValueExW(key, u"x", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  // As on Windows, where keys are kernel handles, CloseHandle closes a key.
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\HandleTest", 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_TRUE(CloseHandle(reinterpret_cast<HANDLE>(key)));
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  HANDLE server = nullptr;
  ASSERT_TRUE(OpenPrinterW(nullptr, &server, nullptr));
  BYTE info[256];
  DWORD needed = 0;
  SetLastError(0);
  EXPECT_FALSE(GetPrinterW(ev, 2, info, sizeof(info), &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(SetEvent(server));
  EXPECT_TRUE(ClosePrinter(server));
  SetLastError(0);
  EXPECT_FALSE(ClosePrinter(server));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  CloseHandle(ev);
  // Private heaps: destroyed once; the process heap never.
  HANDLE heap = HeapCreate(0, 0, 0);
  ASSERT_NE(heap, nullptr);
  EXPECT_FALSE(CloseHandle(heap));  // no kernel object
  EXPECT_TRUE(HeapDestroy(heap));
  EXPECT_FALSE(HeapDestroy(heap));
  EXPECT_FALSE(HeapDestroy(GetProcessHeap()));
}

// What a thread sees of its process, from the record of the process that
// created it.
struct ProcessView {
  DWORD id = 0;
  std::u16string commandLine;
  DWORD session = 0;
};

DWORD WINAPI viewProcess(LPVOID arg) {
  auto *v = static_cast<ProcessView *>(arg);
  v->id = GetCurrentProcessId();
  v->commandLine = GetCommandLineW();
  v->session = winsim::processSessionId();
  return 0;
}

TEST_F(Winsim, ThreadsBelongToTheProcessOfTheirCreator) {
  EXPECT_EQ(std::u16string(GetCommandLineW()), u"\"C:\\Windows\\system32\\winsimhost.exe\"");
  EXPECT_EQ(winsim::processSessionId(), 1u);
  winsim::setProcessImageName(u"spoolsv.exe");
  EXPECT_EQ(std::u16string(GetCommandLineW()), u"\"C:\\Windows\\system32\\spoolsv.exe\"");
  winsim::setProcessCommandLine(u"cardtray.exe /background");
  winsim::setProcessSessionId(2);
  ProcessView v;
  HANDLE t = CreateThread(nullptr, 0, viewProcess, &v, 0, nullptr);
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(WaitForSingleObject(t, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
  CloseHandle(t);
  EXPECT_EQ(v.id, GetCurrentProcessId());
  EXPECT_EQ(v.commandLine, u"cardtray.exe /background");
  EXPECT_EQ(v.session, 2u);
  // A new machine starts the process again.
  winsim::resetMachine();
  EXPECT_EQ(std::u16string(GetCommandLineW()), u"\"C:\\Windows\\system32\\winsimhost.exe\"");
  EXPECT_EQ(winsim::processSessionId(), 1u);
}

TEST_F(Winsim, WaitsTimeOutOnTheScaledClock) {
  winsim::setClockScale(1000.0);
  HANDLE e = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD t0 = GetTickCount();
  auto r0 = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitForSingleObject(e, 3850), static_cast<DWORD>(WAIT_TIMEOUT));
  DWORD elapsed = GetTickCount() - t0;
  auto real = std::chrono::steady_clock::now() - r0;
  EXPECT_GE(elapsed, 3850u);
  EXPECT_LT(real, std::chrono::milliseconds(1000));
  t0 = GetTickCount();
  Sleep(60000);
  EXPECT_GE(GetTickCount() - t0, 60000u);
  SetEvent(e);
  EXPECT_EQ(WaitForSingleObject(e, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(WaitForSingleObject(e, 0), static_cast<DWORD>(WAIT_OBJECT_0));  // manual reset stays set
  CloseHandle(e);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

DWORD WINAPI setAfterSleep(LPVOID p) {
  Sleep(500);
  SetEvent(static_cast<HANDLE>(p));
  return 17;
}

DWORD WINAPI sleepForever(LPVOID) {
  Sleep(INFINITE);
  return 0;
}

TEST_F(Winsim, ThreadsEventsAndTermination) {
  // Fast enough that the half-second sleep costs 50 ms, slow enough that the
  // ten-second waits leave a busy machine a second to start the threads.
  winsim::setClockScale(10.0);
  HANDLE autoEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  DWORD tid = 0;
  HANDLE t = CreateThread(nullptr, 0, setAfterSleep, autoEvent, 0, &tid);
  ASSERT_NE(t, nullptr);
  EXPECT_NE(tid, GetCurrentThreadId());
  HANDLE both[2] = {autoEvent, t};
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, 17u);
  EXPECT_EQ(WaitForSingleObject(autoEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT));  // auto reset consumed it
  CloseHandle(t);

  HANDLE stuck = CreateThread(nullptr, 0, sleepForever, nullptr, 0, nullptr);
  EXPECT_EQ(WaitForSingleObject(stuck, 100), static_cast<DWORD>(WAIT_TIMEOUT));
  ASSERT_TRUE(GetExitCodeThread(stuck, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  ASSERT_TRUE(TerminateThread(stuck, 99));
  EXPECT_EQ(WaitForSingleObject(stuck, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
  ASSERT_TRUE(GetExitCodeThread(stuck, &code));
  EXPECT_EQ(code, 99u);
  CloseHandle(stuck);
  CloseHandle(autoEvent);
}

DWORD WINAPI waitForEvent(LPVOID param) {
  return WaitForSingleObject(static_cast<HANDLE>(param), 20000) == WAIT_OBJECT_0 ? 1 : 0;
}

// An auto-reset event set while a thread waits for it goes to that thread:
// a thread that asks after the set finds it taken, as on Windows.
TEST_F(Winsim, AutoResetEventGoesToTheThreadAlreadyWaiting) {
  winsim::setClockScale(10.0);
  HANDLE e = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE t = CreateThread(nullptr, 0, waitForEvent, e, 0, nullptr);
  Sleep(2000);  // the thread is waiting by then
  ASSERT_TRUE(SetEvent(e));
  EXPECT_EQ(WaitForSingleObject(e, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(WaitForSingleObject(t, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 0;
  GetExitCodeThread(t, &code);
  EXPECT_EQ(code, 1u);
  // Nobody waiting: the event stays set for the next to ask.
  ASSERT_TRUE(SetEvent(e));
  EXPECT_EQ(WaitForSingleObject(e, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  CloseHandle(t);
  CloseHandle(e);
}

TEST_F(Winsim, MutexOwnershipAndCriticalSections) {
  HANDLE m = CreateMutexW(nullptr, TRUE, nullptr);
  EXPECT_EQ(WaitForSingleObject(m, 0), static_cast<DWORD>(WAIT_OBJECT_0));  // recursive for its owner
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_TRUE(ReleaseMutex(m));
  EXPECT_FALSE(ReleaseMutex(m));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
  CloseHandle(m);

  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  EnterCriticalSection(&cs);
  EXPECT_TRUE(TryEnterCriticalSection(&cs));
  LeaveCriticalSection(&cs);
  LeaveCriticalSection(&cs);
  DeleteCriticalSection(&cs);
  LONG v = 5;
  EXPECT_EQ(InterlockedIncrement(&v), 6);
  EXPECT_EQ(InterlockedCompareExchange(&v, 9, 6), 6);
  EXPECT_EQ(v, 9);
  EXPECT_EQ(InterlockedDecrement(&v), 8);
}

TEST_F(Winsim, StringResourcesFromTheProgramsOwnResourceScript) {
  WCHAR buf[64];
  EXPECT_EQ(LoadStringW(nullptr, 100, buf, 64), 11);
  EXPECT_EQ(W(buf), u"Hello, card");
  EXPECT_EQ(LoadStringW(nullptr, 101, buf, 64), 18);
  EXPECT_EQ(W(buf), u"Ünïcödé “quotes” €");
  EXPECT_EQ(LoadStringW(nullptr, 115, buf, 64), 13);
  EXPECT_EQ(LoadStringW(nullptr, 4000, buf, 64), 16);
  EXPECT_EQ(W(buf), u"  odd  spacing  ");
  // Truncated to the buffer, always terminated.
  EXPECT_EQ(LoadStringW(nullptr, 100, buf, 6), 5);
  EXPECT_EQ(W(buf), u"Hello");
  // Size 0 hands out a pointer to the text itself.
  LPCWSTR direct = nullptr;
  EXPECT_EQ(LoadStringW(nullptr, 100, reinterpret_cast<LPWSTR>(&direct), 0), 11);
  EXPECT_EQ(std::u16string(direct, 11), u"Hello, card");
  EXPECT_EQ(LoadStringW(nullptr, 102, buf, 64), 0);  // same block, no text
  EXPECT_EQ(LoadStringW(nullptr, 9999, buf, 64), 0);
  EXPECT_EQ(buf[0], 0);

  HRSRC r = FindResourceW(nullptr, u"carddata", RT_RCDATA);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(SizeofResource(nullptr, r), 4u);
  EXPECT_EQ(std::string(static_cast<const char *>(LockResource(LoadResource(nullptr, r)))), "ABC");
  EXPECT_EQ(FindResourceW(nullptr, u"nothing", RT_RCDATA), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
  EXPECT_EQ(FindResourceW(nullptr, u"x", RT_BITMAP), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
}

TEST_F(Winsim, ModulesLoadFromTheVirtualDrive) {
  std::string dir = winsim::driveRoot() + "/Windows/system32/spool/drivers/x64/3";
  std::filesystem::copy_file(WINSIM_TESTMOD, dir + "/TestMod.dll");
  HMODULE m = LoadLibraryW(u"C:\\Windows\\System32\\spool\\DRIVERS\\x64\\3\\testmod.DLL");
  ASSERT_NE(m, nullptr);
  using Count = LONG (*)();
  using Add = int (*)(int, int);
  using Plain = void (*)();
  auto count = reinterpret_cast<Count>(reinterpret_cast<Plain>(GetProcAddress(m, "TestModAttachCount")));
  auto add = reinterpret_cast<Add>(reinterpret_cast<Plain>(GetProcAddress(m, "TestModAdd")));
  ASSERT_NE(count, nullptr);
  ASSERT_NE(add, nullptr);
  EXPECT_EQ(count(), 1);  // DllMain saw the attach
  EXPECT_EQ(add(2, 3), 5);
  EXPECT_EQ(GetProcAddress(m, "TestModHidden"), nullptr);  // not in its .def
  EXPECT_EQ(GetProcAddress(m, "GetLastError"), nullptr);   // imported, not exported
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  WCHAR buf[64];
  EXPECT_EQ(LoadStringW(m, 17, buf, 64), 23);
  EXPECT_EQ(W(buf), u"module string seventeen");
  EXPECT_EQ(LoadStringW(m, 100, buf, 64), 0);  // the program's string is not the module's
  EXPECT_EQ(LoadLibraryW(u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\TESTMOD.dll"), m);
  EXPECT_TRUE(FreeLibrary(m));
  EXPECT_TRUE(FreeLibrary(m));

  EXPECT_EQ(LoadLibraryW(u"C:\\missing\\none.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

  // System libraries are winsim's own functions.
  HMODULE spool = LoadLibraryW(u"WINSPOOL.DRV");
  ASSERT_NE(spool, nullptr);
  EXPECT_EQ(reinterpret_cast<void *>(GetProcAddress(LoadLibraryW(u"kernel32.dll"), "GetTickCount")),
            reinterpret_cast<void *>(&GetTickCount));
  EXPECT_EQ(GetProcAddress(spool, "NoSuchFunction"), nullptr);
  FreeLibrary(spool);
}

TEST(SystemDlls, ExportWhatTheirWindowsNamesakesDo) {
  winsim::resetMachine();
  HMODULE kernel = GetModuleHandleW(u"kernel32.dll"), advapi = LoadLibraryW(u"ADVAPI32");
  ASSERT_NE(kernel, nullptr);
  ASSERT_NE(advapi, nullptr);
  // Each function in the DLL Windows has it in, not in any other.
  SetLastError(0);
  EXPECT_EQ(GetProcAddress(kernel, "RegOpenKeyExW"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(reinterpret_cast<void *>(GetProcAddress(advapi, "RegOpenKeyExW")),
            reinterpret_cast<void *>(&RegOpenKeyExW));
  EXPECT_EQ(GetProcAddress(kernel, "GetUserNameW"), nullptr);
  EXPECT_NE(GetProcAddress(advapi, "GetUserNameW"), nullptr);
  EXPECT_EQ(GetProcAddress(GetModuleHandleW(u"user32.dll"), "GetTickCount"), nullptr);
  EXPECT_NE(GetProcAddress(GetModuleHandleW(u"user32.dll"), "wsprintfW"), nullptr);
  EXPECT_NE(GetProcAddress(GetModuleHandleW(u"gdi32.dll"), "EngWritePrinter"), nullptr);
  EXPECT_NE(GetProcAddress(LoadLibraryW(u"spoolss.dll"), "ImpersonatePrinterClient"), nullptr);
  EXPECT_EQ(GetProcAddress(LoadLibraryW(u"winspool.drv"), "ImpersonatePrinterClient"), nullptr);
  EXPECT_NE(GetProcAddress(LoadLibraryW(u"shfolder.dll"), "SHGetFolderPathW"), nullptr);
  // Inline in the SDK's header, exported by no DLL.
  EXPECT_EQ(GetProcAddress(kernel, "StringCchCopyW"), nullptr);
  // A DLL winsim stands in for without implementing any of it loads, but
  // exports nothing.
  HMODULE setup = LoadLibraryW(u"setupapi.dll");
  ASSERT_NE(setup, nullptr);
  EXPECT_EQ(GetProcAddress(setup, "GetTickCount"), nullptr);

  // A hidden export is missing as on an older system; the others stay.
  winsim::hideSystemExport(u"KERNEL32.DLL", "GetTickCount64");
  SetLastError(0);
  EXPECT_EQ(GetProcAddress(kernel, "GetTickCount64"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PROC_NOT_FOUND));
  EXPECT_NE(GetProcAddress(kernel, "GetTickCount"), nullptr);
  // A hidden DLL is not there at all, and the handle taken before finds
  // nothing in it.
  winsim::hideSystemExport(u"advapi32.dll");
  SetLastError(0);
  EXPECT_EQ(LoadLibraryW(u"advapi32.dll"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
  SetLastError(0);
  EXPECT_EQ(GetModuleHandleW(u"Advapi32"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(GetProcAddress(advapi, "RegOpenKeyExW"), nullptr);
  // The machine's reset shows everything again.
  winsim::resetMachine();
  EXPECT_NE(GetProcAddress(GetModuleHandleW(u"kernel32.dll"), "GetTickCount64"), nullptr);
  EXPECT_NE(GetProcAddress(LoadLibraryW(u"advapi32.dll"), "RegOpenKeyExW"), nullptr);
}

}  // namespace
