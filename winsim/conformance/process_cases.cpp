// Processes, tokens and the session namespace of named objects: what a
// program asks of its own process and how starting a missing program fails.
#include "check.h"
#include "support.h"

CONF_CASE(Process, StartingAMissingProgramFails) {
  WCHAR app[] = TEXT("C:\\Windows\\system32\\conf-no-such-program.exe");
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  SetLastError(0);
  CHECK(!CreateProcessW(app, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  CHECK_ERROR(ERROR_FILE_NOT_FOUND);
  WCHAR line[] = TEXT("conf-no-such-program --flag");
  SetLastError(0);
  CHECK(!CreateProcessW(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  CHECK_ERROR(ERROR_FILE_NOT_FOUND);
}

CONF_CASE(Process, OwnProcessIsStillActive) {
  DWORD code = 0;
  CHECK(GetExitCodeProcess(GetCurrentProcess(), &code));
  CHECK_EQ(code, DWORD(STILL_ACTIVE));
  CHECK_EQ(GetProcessId(GetCurrentProcess()), GetCurrentProcessId());
  HANDLE self = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, GetCurrentProcessId());
  REQUIRE(self != nullptr);
  CHECK_EQ(WaitForSingleObject(self, 0), DWORD(WAIT_TIMEOUT));
  CHECK(GetExitCodeProcess(self, &code));
  CHECK_EQ(code, DWORD(STILL_ACTIVE));
  CHECK_EQ(GetProcessId(self), GetCurrentProcessId());
  CloseHandle(self);
  SetLastError(0);
  CHECK(OpenProcess(SYNCHRONIZE, FALSE, 0) == nullptr);
  CHECK_ERROR(ERROR_INVALID_PARAMETER);
}

CONF_CASE(Process, TokenSessionIsTheProcessSession) {
  HANDLE token = nullptr;
  REQUIRE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &token));
  DWORD tokenSession = 0xFFFF, length = 0, processSession = 0xEEEE;
  CHECK(GetTokenInformation(token, TokenSessionId, &tokenSession, sizeof tokenSession, &length));
  CHECK_EQ(length, DWORD(sizeof(DWORD)));
  CHECK(ProcessIdToSessionId(GetCurrentProcessId(), &processSession));
  CHECK_EQ(tokenSession, processSession);
  HANDLE copy = nullptr;
  CHECK(DuplicateTokenEx(token, MAXIMUM_ALLOWED, nullptr, SecurityIdentification, TokenPrimary, &copy));
  DWORD type = 0;
  CHECK(GetTokenInformation(copy, TokenType, &type, sizeof type, &length));
  CHECK_EQ(type, DWORD(TokenPrimary));
  CloseHandle(copy);
  CloseHandle(token);
}

CONF_CASE(Process, LocalPrefixNamesTheSessionsOwnObject) {
  HANDLE local = CreateEventW(nullptr, TRUE, FALSE, TEXT("Local\\ConfSessionEvent"));
  REQUIRE(local != nullptr);
  HANDLE bare = OpenEventW(SYNCHRONIZE, FALSE, TEXT("ConfSessionEvent"));
  CHECK(bare != nullptr);
  if (bare) CloseHandle(bare);
  HANDLE again = CreateEventW(nullptr, TRUE, FALSE, TEXT("ConfSessionEvent"));
  CHECK_ERROR(ERROR_ALREADY_EXISTS);
  if (again) CloseHandle(again);
  CloseHandle(local);
}

CONF_CASE(Process, NullDaclDescriptorForANamedMutex) {
  SECURITY_DESCRIPTOR sd;
  SetLastError(0);
  CHECK(!InitializeSecurityDescriptor(&sd, 2));
  CHECK_ERROR(ERROR_UNKNOWN_REVISION);
  REQUIRE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
  REQUIRE(SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE));
  SECURITY_ATTRIBUTES sa{sizeof sa, &sd, FALSE};
  HANDLE m = CreateMutexW(&sa, FALSE, TEXT("Global\\ConfEveryoneMutex"));
  CHECK(m != nullptr);
  if (m) CloseHandle(m);
}
