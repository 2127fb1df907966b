#include "config/tray_client.h"

#include <strsafe.h>

#include <iterator>

#include "config/module_state.h"
#include "config/system_functions.h"

namespace card::cfg {

namespace {

using ActiveConsoleSessionFn = DWORD(WINAPI *)();
using QueryUserTokenFn = BOOL(WINAPI *)(ULONG, PHANDLE);
using DuplicateTokenExFn = BOOL(WINAPI *)(HANDLE, DWORD, LPSECURITY_ATTRIBUTES, SECURITY_IMPERSONATION_LEVEL,
                                          TOKEN_TYPE, PHANDLE);
using CreateEnvironmentBlockFn = BOOL(WINAPI *)(LPVOID *, HANDLE, BOOL);
using DestroyEnvironmentBlockFn = BOOL(WINAPI *)(LPVOID);
using CreateProcessAsUserFn = BOOL(WINAPI *)(HANDLE, LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                                             BOOL, DWORD, LPVOID, LPCWSTR, STARTUPINFOW *, PROCESS_INFORMATION *);

// The functions of the session, token and profile libraries it takes.
struct SessionFunctions {
  ActiveConsoleSessionFn activeSession =
      systemFunction<ActiveConsoleSessionFn>(TEXT("kernel32.dll"), "WTSGetActiveConsoleSessionId");
  QueryUserTokenFn userToken = systemFunction<QueryUserTokenFn>(TEXT("wtsapi32.dll"), "WTSQueryUserToken");
  DuplicateTokenExFn duplicate = systemFunction<DuplicateTokenExFn>(TEXT("advapi32.dll"), "DuplicateTokenEx");
  CreateProcessAsUserFn createProcess =
      systemFunction<CreateProcessAsUserFn>(TEXT("advapi32.dll"), "CreateProcessAsUserW");
  CreateEnvironmentBlockFn createEnv =
      systemFunction<CreateEnvironmentBlockFn>(TEXT("userenv.dll"), "CreateEnvironmentBlock");
  DestroyEnvironmentBlockFn destroyEnv =
      systemFunction<DestroyEnvironmentBlockFn>(TEXT("userenv.dll"), "DestroyEnvironmentBlock");
};

bool containsText(LPCWSTR text, LPCWSTR part) {
  if (!text || !part) return false;
  const int n = lstrlenW(text), k = lstrlenW(part);
  for (int i = 0; i + k <= n; ++i) {
    int j = 0;
    while (j < k && text[i + j] == part[j]) ++j;
    if (j == k) return true;
  }
  return false;
}

// Runs the program with the user's primary token, in the user's environment
// when one can be made.
void startAsUser(const SessionFunctions &f, HANDLE primary, LPCWSTR program, LPWSTR commandLine) {
  LPVOID environment = nullptr;
  if (f.createEnv && !f.createEnv(&environment, primary, FALSE)) environment = nullptr;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  WCHAR desktop[] = TEXT("winsta0\\default");
  si.lpDesktop = desktop;
  PROCESS_INFORMATION pi{};
  if (f.createProcess(primary, program, commandLine, nullptr, nullptr, FALSE,
                      environment ? CREATE_UNICODE_ENVIRONMENT : 0, environment, nullptr, &si, &pi)) {
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  if (environment && f.destroyEnv) f.destroyEnv(environment);
}

}  // namespace

void startTrayClient(LPCWSTR printerName) {
  const SessionFunctions f;
  if (!f.activeSession || !f.userToken || !f.duplicate || !f.createProcess) return;

  WCHAR program[MAX_PATH];
  UINT n = GetSystemDirectoryW(program, MAX_PATH);
  if (n == 0 || n >= MAX_PATH || FAILED(StringCchCatW(program, MAX_PATH, TEXT("\\notifytray.exe")))) return;
  // The tray client watches USB printers; for any other printer it is told
  // to end a copy that may still run.
  LPCWSTR argument = containsText(printerName, TEXT("USB")) ? printerName : TEXT("KillProcess");
  WCHAR commandLine[MAX_PATH + kPrinterNameChars + 8];
  if (FAILED(StringCchPrintfW(commandLine, std::size(commandLine), TEXT("\"%s\" %s"), program, argument))) return;

  HANDLE token = nullptr, primary = nullptr;
  if (!f.userToken(f.activeSession(), &token)) return;
  if (f.duplicate(token, MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary, &primary)) {
    startAsUser(f, primary, program, commandLine);
    CloseHandle(primary);
  }
  CloseHandle(token);
}

}  // namespace card::cfg
