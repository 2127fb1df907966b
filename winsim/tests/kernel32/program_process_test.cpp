// Programs started as processes of the simulated machine: where
// CreateProcessW finds them, what they are started with, their exit codes,
// and how ExitProcess, TerminateProcess and the machine reset end them.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <winsim/testing.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "../fixtures.h"

namespace winsim_test {
namespace {

constexpr DWORD kWaitMs = 10000;  // real time; every wait below ends long before

class Programs : public Winsim {
 protected:
  void SetUp() override {
    Winsim::SetUp();
    install(u"C:\\Windows\\system32\\testprog.exe");
    ready_ = CreateEventW(nullptr, TRUE, FALSE, u"Global\\testprogReady");
  }
  void TearDown() override { CloseHandle(ready_); }

  static void install(const std::u16string &windowsPath) {
    std::string host = winsim::hostPath(windowsPath);
    std::filesystem::create_directories(std::filesystem::path(host).parent_path());
    std::filesystem::copy_file(WINSIM_TESTPROG, host, std::filesystem::copy_options::overwrite_existing);
  }

  // Starts a command line; the process information, or zeros on failure.
  PROCESS_INFORMATION start(const std::u16string &line, DWORD flags = 0, LPVOID env = nullptr, LPCWSTR app = nullptr) {
    std::u16string buffer = line;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(app, line.empty() ? nullptr : buffer.data(), nullptr, nullptr, FALSE, flags, env, nullptr, &si,
                        &pi))
      return PROCESS_INFORMATION{};
    return pi;
  }

  // Runs a command line to its end; its exit code.
  DWORD run(const std::u16string &line) {
    PROCESS_INFORMATION pi = start(line);
    EXPECT_NE(pi.hProcess, nullptr) << "error " << GetLastError();
    if (!pi.hProcess) return DWORD(-1);
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, kWaitMs), WAIT_OBJECT_0);
    DWORD code = 12345;
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
  }

  // Waits until a started program has made its objects.
  bool waitReady() {
    bool ok = WaitForSingleObject(ready_, kWaitMs) == WAIT_OBJECT_0;
    ResetEvent(ready_);
    return ok;
  }

  static DWORD failure(const std::u16string &line, LPCWSTR app = nullptr) {
    std::u16string buffer = line;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    SetLastError(0);
    BOOL ok = CreateProcessW(app, line.empty() ? nullptr : buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &si, &pi);
    EXPECT_FALSE(ok);
    if (ok) {
      TerminateProcess(pi.hProcess, 0);
      CloseHandle(pi.hProcess);
      CloseHandle(pi.hThread);
    }
    return GetLastError();
  }

  HANDLE ready_ = nullptr;
};

std::u16string readUtf16(const std::u16string &windowsPath) {
  std::ifstream in(winsim::hostPath(windowsPath), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::u16string text(bytes.size() / 2, u'\0');
  std::memcpy(text.data(), bytes.data(), text.size() * 2);
  return text;
}

TEST_F(Programs, CommandLineModuleAndShowStateReachTheProgram) {
  install(u"C:\\Program Files\\Card Tools\\testprog.exe");
  std::u16string line = u"\"C:\\Program Files\\Card Tools\\testprog\"  echo  a \"b c\"";
  std::u16string buffer = line;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = 0;  // SW_HIDE
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  EXPECT_NE(pi.dwProcessId, GetCurrentProcessId());
  EXPECT_EQ(GetProcessId(pi.hProcess), pi.dwProcessId);
  EXPECT_EQ(GetThreadId(pi.hThread), pi.dwThreadId);
  ASSERT_EQ(WaitForSingleObject(pi.hProcess, kWaitMs), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(pi.hThread, kWaitMs), WAIT_OBJECT_0);
  DWORD code = 1;
  EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
  EXPECT_EQ(code, 0u);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  // wWinMain's line starts after the program's name and the blanks after it;
  // GetCommandLineW is the line as given; the main module is the program.
  std::u16string expected = u"echo  a \"b c\"\n" + line + u"\nC:\\Program Files\\Card Tools\\testprog.exe\n0\n";
  std::string pid = std::to_string(pi.dwProcessId);
  EXPECT_EQ(readUtf16(u"C:\\Windows\\Temp\\echo.txt"), expected + std::u16string(pid.begin(), pid.end()));

  // Unquoted, a name with spaces is tried at each space until a file fits.
  PROCESS_INFORMATION unquoted = start(u"C:\\Program Files\\Card Tools\\testprog exit 3");
  ASSERT_NE(unquoted.hProcess, nullptr) << GetLastError();
  EXPECT_EQ(WaitForSingleObject(unquoted.hProcess, kWaitMs), WAIT_OBJECT_0);
  CloseHandle(unquoted.hProcess);
  CloseHandle(unquoted.hThread);
}

TEST_F(Programs, FindsTheProgramAndRefusesWhatIsNone) {
  // A bare name is searched for (the system folder among the places), with
  // ".exe" added; the application name is taken as it stands.
  EXPECT_EQ(run(u"testprog exit 5"), 5u);
  EXPECT_EQ(run(u"TESTPROG.EXE exit 6"), 6u);
  PROCESS_INFORMATION pi = start(u"testprog exit 8", 0, nullptr, u"C:\\Windows\\system32\\testprog.exe");
  ASSERT_NE(pi.hProcess, nullptr);
  WaitForSingleObject(pi.hProcess, kWaitMs);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, 8u);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);

  EXPECT_EQ(failure(u"nosuchprogram exit 1"), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(failure(u"", u"C:\\Windows\\system32\\testprog"), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(failure(u"", u"C:\\No Such Folder\\testprog.exe"), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(failure(u""), DWORD(ERROR_INVALID_PARAMETER));
  // A current directory that does not exist.
  std::u16string line = u"testprog exit 1";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION none{};
  SetLastError(0);
  EXPECT_FALSE(
      CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, u"C:\\No Such Folder", &si, &none));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_DIRECTORY));
  // A text file and a DLL named like programs are no program images.
  std::ofstream(winsim::hostPath(u"C:\\Windows\\Temp\\notes.exe")) << "just text\n";
  EXPECT_EQ(failure(u"C:\\Windows\\Temp\\notes.exe"), DWORD(ERROR_BAD_EXE_FORMAT));
  std::filesystem::copy_file(WINSIM_TESTMOD, winsim::hostPath(u"C:\\Windows\\Temp\\library.exe"));
  EXPECT_EQ(failure(u"C:\\Windows\\Temp\\library.exe"), DWORD(ERROR_BAD_EXE_FORMAT));
  EXPECT_TRUE(winsim::runningProcesses().empty());
}

TEST_F(Programs, EachProcessHasFreshGlobalsAndItsOwnMainModule) {
  EXPECT_EQ(run(u"testprog globals"), 1u);
  EXPECT_EQ(run(u"testprog globals"), 1u);
  // Two at once: each its own copy of the image.
  PROCESS_INFORMATION a = start(u"testprog globals"), b = start(u"testprog globals");
  ASSERT_NE(a.hProcess, nullptr);
  ASSERT_NE(b.hProcess, nullptr);
  HANDLE both[] = {a.hProcess, b.hProcess};
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, kWaitMs), WAIT_OBJECT_0);
  DWORD ca = 0, cb = 0;
  GetExitCodeProcess(a.hProcess, &ca);
  GetExitCodeProcess(b.hProcess, &cb);
  EXPECT_EQ(ca, 1u);
  EXPECT_EQ(cb, 1u);
  for (HANDLE h : {a.hProcess, a.hThread, b.hProcess, b.hThread}) CloseHandle(h);
  // hInstance is GetModuleHandleW(NULL) and carries the program's
  // resources: 100 + the length of "process resource".
  EXPECT_EQ(run(u"testprog resource"), 116u);
}

TEST_F(Programs, EnvironmentBlockGivenOrInherited) {
  const char16_t block[] = u"CARDVAR=abcde\0OTHER=1\0";
  PROCESS_INFORMATION pi = start(u"testprog env CARDVAR", CREATE_UNICODE_ENVIRONMENT, const_cast<char16_t *>(block));
  ASSERT_NE(pi.hProcess, nullptr);
  WaitForSingleObject(pi.hProcess, kWaitMs);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, 5u);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  // With a block of its own the process sees only that block.
  pi = start(u"testprog env SystemRoot", CREATE_UNICODE_ENVIRONMENT, const_cast<char16_t *>(block));
  ASSERT_NE(pi.hProcess, nullptr);
  WaitForSingleObject(pi.hProcess, kWaitMs);
  GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, 1000u);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  // Without one it has the caller's: SystemRoot is "C:\Windows".
  EXPECT_EQ(run(u"testprog env SystemRoot"), 10u);
}

TEST_F(Programs, SuspendedProcessRunsWhenItsThreadResumes) {
  PROCESS_INFORMATION pi = start(u"testprog exit 4", CREATE_SUSPENDED);
  ASSERT_NE(pi.hProcess, nullptr);
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 0), DWORD(WAIT_TIMEOUT));
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
  EXPECT_EQ(code, DWORD(STILL_ACTIVE));
  ResumeThread(pi.hThread);
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, kWaitMs), WAIT_OBJECT_0);
  GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, 4u);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
}

TEST_F(Programs, ExitProcessFromASecondThreadEndsEveryThread) {
  PROCESS_INFORMATION pi = start(u"testprog exitthread 42");
  ASSERT_NE(pi.hProcess, nullptr);
  ASSERT_EQ(WaitForSingleObject(pi.hProcess, kWaitMs), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, 42u);
  // The first thread, blocked in its wait, ended with the process's code.
  EXPECT_EQ(WaitForSingleObject(pi.hThread, 0), WAIT_OBJECT_0);
  GetExitCodeThread(pi.hThread, &code);
  EXPECT_EQ(code, 42u);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
}

TEST_F(Programs, TerminateProcessEndsBlockedThreadsAndClosesItsHandles) {
  for (const char16_t *mode : {u"wait", u"sleep"}) {
    SCOPED_TRACE(std::string(mode, mode + std::char_traits<char16_t>::length(mode)) == "wait" ? "wait" : "sleep");
    PROCESS_INFORMATION pi = start(std::u16string(u"testprog ") + mode + u" ProgMutex");
    ASSERT_NE(pi.hProcess, nullptr);
    ASSERT_TRUE(waitReady());
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(code, DWORD(STILL_ACTIVE));
    // Its mutex, by its bare name in the same session.
    HANDLE m = OpenMutexW(SYNCHRONIZE, FALSE, u"ProgMutex");
    EXPECT_NE(m, nullptr);
    CloseHandle(m);
    auto running = winsim::runningProcesses();
    ASSERT_EQ(running.size(), 1u);
    EXPECT_EQ(running[0].id, pi.dwProcessId);
    EXPECT_EQ(running[0].imageName, u"testprog.exe");
    EXPECT_EQ(running[0].sessionId, 1u);
    EXPECT_EQ(running[0].commandLine, std::u16string(u"testprog ") + mode + u" ProgMutex");

    EXPECT_TRUE(TerminateProcess(pi.hProcess, 7));
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, kWaitMs), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(code, 7u);
    // Its handles closed: the mutex it alone held is gone.
    SetLastError(0);
    EXPECT_EQ(OpenMutexW(SYNCHRONIZE, FALSE, u"ProgMutex"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(winsim::waitForProcessEnd(pi.dwProcessId, kWaitMs));
    // An ended process cannot be terminated again.
    SetLastError(0);
    EXPECT_FALSE(TerminateProcess(pi.hProcess, 8));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  }
}

TEST_F(Programs, AMutexOwnedByATerminatedProcessIsAbandoned) {
  PROCESS_INFORMATION pi = start(u"testprog wait Owned");
  ASSERT_NE(pi.hProcess, nullptr);
  ASSERT_TRUE(waitReady());
  HANDLE m = OpenMutexW(SYNCHRONIZE, FALSE, u"Owned");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(WaitForSingleObject(m, 0), DWORD(WAIT_TIMEOUT));
  EXPECT_TRUE(TerminateProcess(pi.hProcess, 1));
  EXPECT_EQ(WaitForSingleObject(m, kWaitMs), DWORD(WAIT_ABANDONED));
  ReleaseMutex(m);
  CloseHandle(m);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
}

TEST_F(Programs, OpenProcessByIdGivesAHandleToWaitOnAndTerminate) {
  PROCESS_INFORMATION pi = start(u"testprog wait ById");
  ASSERT_NE(pi.hProcess, nullptr);
  ASSERT_TRUE(waitReady());
  EXPECT_EQ(winsim::waitForProcess(u"TestProg.exe", kWaitMs), pi.dwProcessId);
  HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE, pi.dwProcessId);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GetProcessId(h), pi.dwProcessId);
  DWORD session = 0;
  EXPECT_TRUE(ProcessIdToSessionId(pi.dwProcessId, &session));
  EXPECT_EQ(session, 1u);
  EXPECT_TRUE(TerminateProcess(h, 3));
  EXPECT_EQ(WaitForSingleObject(h, kWaitMs), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 0), WAIT_OBJECT_0);
  CloseHandle(h);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  // No process of that id any more, and none with id 0.
  SetLastError(0);
  EXPECT_EQ(OpenProcess(SYNCHRONIZE, FALSE, pi.dwProcessId), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(OpenProcess(SYNCHRONIZE, FALSE, 0), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(Programs, MachineResetEndsEveryProcess) {
  PROCESS_INFORMATION a = start(u"testprog wait ResetA");
  ASSERT_TRUE(waitReady());
  PROCESS_INFORMATION b = start(u"testprog sleep ResetB");
  ASSERT_TRUE(waitReady());
  EXPECT_EQ(winsim::runningProcesses().size(), 2u);
  winsim::resetMachine();
  EXPECT_TRUE(winsim::runningProcesses().empty());
  EXPECT_TRUE(winsim::waitForProcessEnd(a.dwProcessId, 0));
  EXPECT_TRUE(winsim::waitForProcessEnd(u"testprog.exe", 0));
  for (HANDLE h : {a.hProcess, a.hThread, b.hProcess, b.hThread}) CloseHandle(h);
  ready_ = CreateEventW(nullptr, TRUE, FALSE, u"Global\\testprogReady");
}

TEST_F(Programs, ShellExecuteStartsAProgramFile) {
  HINSTANCE r = ShellExecuteW(nullptr, u"open", u"testprog.exe", u"wait Shell", nullptr, 1);
  EXPECT_GT(reinterpret_cast<INT_PTR>(r), 32);
  ASSERT_TRUE(waitReady());
  DWORD id = winsim::waitForProcess(u"testprog.exe", kWaitMs);
  ASSERT_NE(id, 0u);
  auto running = winsim::runningProcesses();
  ASSERT_EQ(running.size(), 1u);
  EXPECT_NE(running[0].commandLine.find(u"testprog.exe\" wait Shell"), std::u16string::npos);
  HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
  EXPECT_TRUE(TerminateProcess(h, 0));
  CloseHandle(h);
  // No verb is "open" too; a folder given is where the file is looked for.
  r = ShellExecuteW(nullptr, nullptr, u"testprog", u"exit 2", u"C:\\Windows\\system32", 1);
  EXPECT_GT(reinterpret_cast<INT_PTR>(r), 32);
  EXPECT_TRUE(winsim::waitForProcessEnd(u"testprog.exe", kWaitMs));

  EXPECT_EQ(
      reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, u"open", u"C:\\Windows\\nothere.exe", nullptr, nullptr, 1)),
      INT_PTR(SE_ERR_FNF));
  std::ofstream(winsim::hostPath(u"C:\\Windows\\Temp\\readme.txt")) << "text\n";
  EXPECT_EQ(
      reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, u"open", u"C:\\Windows\\Temp\\readme.txt", nullptr, nullptr, 1)),
      INT_PTR(SE_ERR_NOASSOC));
  std::ofstream(winsim::hostPath(u"C:\\Windows\\Temp\\broken.exe")) << "text\n";
  EXPECT_EQ(
      reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, u"open", u"C:\\Windows\\Temp\\broken.exe", nullptr, nullptr, 1)),
      INT_PTR(ERROR_BAD_FORMAT));
}

DWORD WINAPI exitFromTheTestsProcess(LPVOID) { ExitProcess(5); }

TEST_F(Programs, ExitProcessInTheTestsOwnProcessEndsOnlyTheCallingThread) {
  HANDLE t = CreateThread(nullptr, 0, exitFromTheTestsProcess, nullptr, 0, nullptr);
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(WaitForSingleObject(t, kWaitMs), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, 5u);
  CloseHandle(t);
  EXPECT_TRUE(GetExitCodeProcess(GetCurrentProcess(), &code));
  EXPECT_EQ(code, DWORD(STILL_ACTIVE));
  // And nobody can terminate it.
  SetLastError(0);
  EXPECT_FALSE(TerminateProcess(GetCurrentProcess(), 1));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  SetLastError(0);
  EXPECT_FALSE(GetExitCodeProcess(ready_, &code));  // an event is no process
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

// A process that loads a DLL and ends without freeing it.
DWORD WINAPI loadAndLeave(LPVOID) { return LoadLibraryW(u"TestMod.dll") ? 0 : 1; }

TEST_F(Programs, AnEndingProcessLetsGoOfTheDllsItStillHolds) {
  std::filesystem::copy_file(WINSIM_TESTMOD, winsim::hostPath(u"C:\\Windows\\system32\\TestMod.dll"));
  // Alone it held the DLL: the DLL goes with it.
  EXPECT_EQ(winsim::runInNewProcess(u"loader.exe", loadAndLeave, nullptr), 0u);
  SetLastError(0);
  EXPECT_EQ(GetModuleHandleW(u"TestMod.dll"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
  // Loaded here too, it stays for this process, still attached once.
  HMODULE mine = LoadLibraryW(u"TestMod.dll");
  ASSERT_NE(mine, nullptr);
  EXPECT_EQ(winsim::runInNewProcess(u"loader.exe", loadAndLeave, nullptr), 0u);
  EXPECT_EQ(GetModuleHandleW(u"TestMod.dll"), mine);
  using Count = LONG (*)();
  using Plain = void (*)();
  auto count = reinterpret_cast<Count>(reinterpret_cast<Plain>(GetProcAddress(mine, "TestModAttachCount")));
  ASSERT_NE(count, nullptr);
  EXPECT_EQ(count(), 1);
  EXPECT_TRUE(FreeLibrary(mine));
  EXPECT_EQ(GetModuleHandleW(u"TestMod.dll"), nullptr);
}

}  // namespace
}  // namespace winsim_test
