// Starting the tray program in the console user's session.  The spooler runs
// as a service in a session nobody sees; the program must run on the user's
// desktop with the user's token and environment.
#include <windows.h>

#include <strsafe.h>
#include <userenv.h>

#include "notify/server/server.h"
#include "shared/proc_address.h"

namespace card::notify {

namespace {

using ActiveConsoleSessionFn = DWORD(WINAPI *)();
using QueryUserTokenFn = BOOL(WINAPI *)(ULONG sessionId, PHANDLE token);

constexpr UINT kPathChars = 1024;
const WCHAR kInstanceMutex[] = TEXT("Global\\notifytrayInstance");
// How long a started tray program is given to take its instance mutex.
constexpr DWORD kInstanceWaitMs = 5000;
constexpr DWORD kInstancePollMs = 10;

// The console session, looked up by name: 0 when the function is missing.
// False when the library does not load.
bool consoleSession(DWORD &session) {
  HMODULE kernel = LoadLibraryW(TEXT("Kernel32.dll"));
  if (!kernel) return false;
  auto active = procAddress<ActiveConsoleSessionFn>(kernel, "WTSGetActiveConsoleSessionId");
  session = active ? active() : 0;
  FreeLibrary(kernel);
  return true;
}

// The token of the user logged on to `session`, or null.
HANDLE sessionUserToken(DWORD session) {
  HMODULE wts = LoadLibraryW(TEXT("Wtsapi32.dll"));
  if (!wts) return nullptr;
  HANDLE token = nullptr;
  auto query = procAddress<QueryUserTokenFn>(wts, "WTSQueryUserToken");
  if (query && !query(session, &token)) token = nullptr;
  FreeLibrary(wts);
  return token;
}

// The started program's process handle, or null.
HANDLE startInSession(HANDLE primary) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  WCHAR desktop[] = TEXT("winsta0\\default");
  startup.lpDesktop = desktop;

  LPVOID environment = nullptr;
  if (!CreateEnvironmentBlock(&environment, primary, FALSE)) environment = nullptr;
  const DWORD flags = environment ? CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS | CREATE_UNICODE_ENVIRONMENT
                                  : CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS;

  HANDLE started = nullptr;
  WCHAR system[kPathChars];
  WCHAR commandLine[kPathChars];
  const UINT n = GetSystemDirectoryW(system, kPathChars);
  // The separator before the file name is doubled; the system takes such a
  // path as it is, and the command line keeps the form the program has
  // always been started with.
  if (n > 0 && n < kPathChars &&
      SUCCEEDED(StringCchPrintfW(commandLine, kPathChars, TEXT("\"%s\\\\notifytray.exe\""), system))) {
    PROCESS_INFORMATION process = {};
    if (CreateProcessAsUserW(primary, nullptr, commandLine, nullptr, nullptr, FALSE, flags, environment, nullptr,
                             &startup, &process)) {
      CloseHandle(process.hThread);
      started = process.hProcess;
    }
  }
  if (environment) DestroyEnvironmentBlock(environment);
  return started;
}

// Every failure here is silent: the notification is sent all the same.
// The started program's process handle, or null.
HANDLE startTray() {
  DWORD session = 0;
  if (!consoleSession(session)) return nullptr;
  // Without a user in the console session there is nobody to show a
  // message to: the program is not started under the service's own token.
  HANDLE token = sessionUserToken(session);
  if (!token) return nullptr;
  HANDLE primary = nullptr;
  HANDLE started = nullptr;
  if (DuplicateTokenEx(token, MAXIMUM_ALLOWED, nullptr, SecurityIdentification, TokenPrimary, &primary)) {
    started = startInSession(primary);
    CloseHandle(primary);
  }
  CloseHandle(token);
  return started;
}

bool trayInstanceExists() {
  HANDLE instance = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, kInstanceMutex);
  if (!instance) return false;
  CloseHandle(instance);
  return true;
}

// Waits until the started program holds its instance mutex, the sign that
// it runs, or until it has ended; bounded, as a program that hangs before
// it gets there must not hold up every later message.
void awaitInstance(HANDLE process) {
  for (DWORD waited = 0; waited < kInstanceWaitMs; waited += kInstancePollMs) {
    if (trayInstanceExists()) return;
    if (WaitForSingleObject(process, kInstancePollMs) != WAIT_TIMEOUT) return;
  }
}

// Monitor threads of several printers may find no tray program at the same
// moment.  Each would start one, and every start replaces the instance
// running before it, taking the boxes it already shows with it: the check
// and the start are made one call at a time.
class StartLock {
 public:
  StartLock() { InitializeCriticalSection(&section_); }
  ~StartLock() { DeleteCriticalSection(&section_); }
  StartLock(const StartLock &) = delete;
  StartLock &operator=(const StartLock &) = delete;
  void enter() { EnterCriticalSection(&section_); }
  void leave() { LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};
StartLock g_startLock;

}  // namespace

bool ensureTrayRunning() {
  g_startLock.enter();
  const bool start = !trayInstanceExists();
  if (start) {
    if (HANDLE process = startTray()) {
      awaitInstance(process);
      CloseHandle(process);
    }
  }
  g_startLock.leave();
  return start;
}

}  // namespace card::notify
