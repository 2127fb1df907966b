// Sessions and tokens: the console session, the user token a service asks
// for, a program started in the user's session with it, the user's
// environment block, named objects in each session's namespace, and the
// NULL access list callers hand to named objects.
#include <gtest/gtest.h>
#include <windows.h>
#include <userenv.h>
#include <winsim/testing.h>
#include <wtsapi32.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "../fixtures.h"

namespace winsim_test {
namespace {

constexpr DWORD kWaitMs = 10000;

DWORD tokenSession(HANDLE token) {
  DWORD session = 0xFFFFFFFF, length = 0;
  EXPECT_TRUE(GetTokenInformation(token, TokenSessionId, &session, sizeof session, &length));
  EXPECT_EQ(length, sizeof(DWORD));
  return session;
}

TEST_F(Winsim, UserTokenOnlyForLocalSystemAndALoggedOnConsole) {
  EXPECT_EQ(WTSGetActiveConsoleSessionId(), 1u);
  HANDLE token = nullptr;
  // The test's process is a user's program, not LocalSystem.
  SetLastError(0);
  EXPECT_FALSE(WTSQueryUserToken(1, &token));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PRIVILEGE_NOT_HELD));

  winsim::setProcessImageName(u"spoolsv.exe");
  winsim::setConsoleSession(2);
  EXPECT_EQ(WTSGetActiveConsoleSessionId(), 2u);
  ASSERT_TRUE(WTSQueryUserToken(WTSGetActiveConsoleSessionId(), &token));
  EXPECT_EQ(tokenSession(token), 2u);
  // Session 0 (the services') and a session nobody sits at have no user.
  HANDLE none = nullptr;
  for (ULONG session : {0u, 1u}) {
    SetLastError(0);
    EXPECT_FALSE(WTSQueryUserToken(session, &none));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_TOKEN));
  }
  winsim::setUserLoggedOn(false);
  SetLastError(0);
  EXPECT_FALSE(WTSQueryUserToken(2, &none));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_TOKEN));
  EXPECT_EQ(none, nullptr);

  // A duplicate is a token of the same session; too small a buffer says how
  // much it needs.
  HANDLE primary = nullptr;
  ASSERT_TRUE(DuplicateTokenEx(token, MAXIMUM_ALLOWED, nullptr, SecurityIdentification, TokenPrimary, &primary));
  EXPECT_EQ(tokenSession(primary), 2u);
  WORD small = 0;
  DWORD needed = 0;
  SetLastError(0);
  EXPECT_FALSE(GetTokenInformation(primary, TokenSessionId, &small, sizeof small, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, sizeof(DWORD));
  EXPECT_TRUE(CloseHandle(primary));
  EXPECT_TRUE(CloseHandle(token));
  SetLastError(0);
  EXPECT_FALSE(GetTokenInformation(token, TokenSessionId, &needed, sizeof needed, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));

  // The process's own token is of its session.
  HANDLE own = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own));
  EXPECT_EQ(tokenSession(own), 1u);
  CloseHandle(own);
}

TEST_F(Winsim, ProgramStartedWithTheUsersTokenRunsInTheUsersSession) {
  std::string host = winsim::hostPath(u"C:\\Windows\\system32\\testprog.exe");
  std::filesystem::copy_file(WINSIM_TESTPROG, host);
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, u"Global\\testprogReady");
  winsim::setProcessImageName(u"spoolsv.exe");
  winsim::setProcessSessionId(0);
  winsim::setConsoleSession(3);
  HANDLE token = nullptr, primary = nullptr;
  ASSERT_TRUE(WTSQueryUserToken(WTSGetActiveConsoleSessionId(), &token));
  ASSERT_TRUE(DuplicateTokenEx(token, MAXIMUM_ALLOWED, nullptr, SecurityIdentification, TokenPrimary, &primary));
  LPVOID env = nullptr;
  ASSERT_TRUE(CreateEnvironmentBlock(&env, primary, FALSE));
  // As a service starts a program on the user's desktop: the quoted full
  // path (here with a doubled separator), a new console, normal priority
  // and a Unicode environment (1072), the interactive desktop.
  std::u16string line = u"\"C:\\Windows\\system32\\\\testprog.exe\" wait Local\\SessionMutex";
  std::u16string desktop = u"winsta0\\default";
  STARTUPINFOW si{};
  static_assert(sizeof(STARTUPINFOW) == 104, "the SDK's layout on x64");
  si.cb = sizeof si;
  si.lpDesktop = desktop.data();
  PROCESS_INFORMATION pi{};
  DWORD flags = CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS | CREATE_UNICODE_ENVIRONMENT;
  EXPECT_EQ(flags, 1072u);
  ASSERT_TRUE(
      CreateProcessAsUserW(primary, nullptr, line.data(), nullptr, nullptr, FALSE, flags, env, nullptr, &si, &pi));
  EXPECT_TRUE(DestroyEnvironmentBlock(env));
  ASSERT_EQ(WaitForSingleObject(ready, kWaitMs), WAIT_OBJECT_0);
  DWORD session = 0;
  EXPECT_TRUE(ProcessIdToSessionId(pi.dwProcessId, &session));
  EXPECT_EQ(session, 3u);
  auto running = winsim::runningProcesses();
  ASSERT_EQ(running.size(), 1u);
  EXPECT_EQ(running[0].commandLine, line);
  EXPECT_EQ(running[0].sessionId, 3u);
  // Its Local\ mutex is in session 3's namespace, not in the caller's.
  EXPECT_EQ(OpenMutexW(SYNCHRONIZE, FALSE, u"SessionMutex"), nullptr);
  winsim::setProcessSessionId(3);
  HANDLE m = OpenMutexW(SYNCHRONIZE, FALSE, u"SessionMutex");
  EXPECT_NE(m, nullptr);
  CloseHandle(m);
  EXPECT_TRUE(TerminateProcess(pi.hProcess, 0));
  for (HANDLE h : {pi.hProcess, pi.hThread, token, primary, ready}) CloseHandle(h);

  // An impersonation token starts no process.
  HANDLE imp = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE, &token));
  ASSERT_TRUE(DuplicateTokenEx(token, MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenImpersonation, &imp));
  EXPECT_FALSE(CreateProcessAsUserW(imp, nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  CloseHandle(imp);
  CloseHandle(token);
}

// The variables of a block, checking its shape on the way: "Name=Value"
// strings, each NUL-terminated, the list ending in a second NUL.
std::map<std::u16string, std::u16string> parseBlock(const char16_t *block, std::vector<std::u16string> &names) {
  std::map<std::u16string, std::u16string> vars;
  const char16_t *p = block;
  while (*p) {
    std::u16string entry(p);
    size_t eq = entry.find(u'=');
    EXPECT_NE(eq, std::u16string::npos);
    EXPECT_NE(eq, 0u);
    vars[entry.substr(0, eq)] = entry.substr(eq + 1);
    names.push_back(entry.substr(0, eq));
    p += entry.size() + 1;
  }
  EXPECT_EQ(p[0], u'\0');
  return vars;
}

TEST_F(Winsim, EnvironmentBlockOfTheUserAndOfTheSystem) {
  winsim::setProcessImageName(u"spoolsv.exe");
  HANDLE token = nullptr;
  ASSERT_TRUE(WTSQueryUserToken(1, &token));
  LPVOID block = nullptr;
  ASSERT_TRUE(CreateEnvironmentBlock(&block, token, FALSE));
  std::vector<std::u16string> names;
  auto vars = parseBlock(static_cast<const char16_t *>(block), names);
  EXPECT_EQ(vars[u"SystemRoot"], u"C:\\Windows");
  EXPECT_EQ(vars[u"SystemDrive"], u"C:");
  EXPECT_EQ(vars[u"USERPROFILE"].rfind(u"C:\\Users\\", 0), 0u);
  EXPECT_EQ(vars[u"TEMP"].rfind(vars[u"USERPROFILE"], 0), 0u);
  EXPECT_FALSE(vars[u"USERNAME"].empty());
  // Sorted by name, without regard to case.
  auto upperOf = [](std::u16string s) {
    for (auto &c : s)
      if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
    return s;
  };
  for (size_t i = 1; i < names.size(); ++i)
    EXPECT_LT(upperOf(names[i - 1]), upperOf(names[i])) << std::string(names[i].begin(), names[i].end());
  EXPECT_TRUE(DestroyEnvironmentBlock(block));
  EXPECT_FALSE(DestroyEnvironmentBlock(block));

  // Without a token: the system's variables only.
  ASSERT_TRUE(CreateEnvironmentBlock(&block, nullptr, FALSE));
  names.clear();
  vars = parseBlock(static_cast<const char16_t *>(block), names);
  EXPECT_EQ(vars[u"windir"], u"C:\\Windows");
  EXPECT_EQ(vars.count(u"USERPROFILE"), 0u);
  EXPECT_EQ(vars.count(u"USERNAME"), 0u);
  EXPECT_TRUE(DestroyEnvironmentBlock(block));
  SetLastError(0);
  EXPECT_FALSE(CreateEnvironmentBlock(nullptr, token, FALSE));
  CloseHandle(token);
}

// A thread of a process in another session: which of the names it sees.
struct SessionView {
  DWORD session;
  bool globalSeen = false, bareSeen = false, localSeen = false;
};

DWORD WINAPI lookFromSession(LPVOID arg) {
  auto *v = static_cast<SessionView *>(arg);
  winsim::setProcessSessionId(v->session);
  auto seen = [](LPCWSTR name) {
    HANDLE h = OpenEventW(SYNCHRONIZE, FALSE, name);
    if (h) CloseHandle(h);
    return h != nullptr;
  };
  v->globalSeen = seen(u"Global\\MachineWide");
  v->bareSeen = seen(u"SessionOne");
  v->localSeen = seen(u"Local\\SessionOne");
  return 0;
}

TEST_F(Winsim, NamedObjectsLiveInTheirSessionsNamespace) {
  HANDLE global = CreateEventW(nullptr, TRUE, FALSE, u"Global\\MachineWide");
  HANDLE local = CreateEventW(nullptr, TRUE, FALSE, u"SessionOne");
  ASSERT_NE(global, nullptr);
  ASSERT_NE(local, nullptr);
  // In the caller's own session a bare name and Local\ are the same object,
  // and Global\ is another namespace.
  HANDLE same = CreateEventW(nullptr, TRUE, FALSE, u"Local\\SessionOne");
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  CloseHandle(same);
  EXPECT_EQ(OpenEventW(SYNCHRONIZE, FALSE, u"MachineWide"), nullptr);
  EXPECT_EQ(OpenEventW(SYNCHRONIZE, FALSE, u"Global\\SessionOne"), nullptr);

  SessionView two{2};
  winsim::runInNewProcess(u"other.exe", lookFromSession, &two);
  EXPECT_TRUE(two.globalSeen);
  EXPECT_FALSE(two.bareSeen);
  EXPECT_FALSE(two.localSeen);
  // Session 0's own namespace is the machine's.
  SessionView zero{0};
  winsim::runInNewProcess(u"service.exe", lookFromSession, &zero);
  EXPECT_TRUE(zero.globalSeen);
  EXPECT_FALSE(zero.bareSeen);
  CloseHandle(global);
  CloseHandle(local);
}

TEST_F(Winsim, NullAccessListDescriptorIsAcceptedForNamedObjects) {
  SECURITY_DESCRIPTOR sd;
  EXPECT_FALSE(InitializeSecurityDescriptor(&sd, 2));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_REVISION));
  ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE));
  EXPECT_EQ(sd.Control & SE_DACL_PRESENT, SE_DACL_PRESENT);
  EXPECT_EQ(sd.Dacl, nullptr);
  SECURITY_ATTRIBUTES sa{sizeof sa, &sd, FALSE};
  HANDLE m = CreateMutexW(&sa, FALSE, u"Global\\Everyone");
  ASSERT_NE(m, nullptr);
  HANDLE e = CreateEventW(&sa, TRUE, FALSE, u"Global\\EveryoneEvent");
  ASSERT_NE(e, nullptr);
  CloseHandle(m);
  CloseHandle(e);
}

}  // namespace
}  // namespace winsim_test
