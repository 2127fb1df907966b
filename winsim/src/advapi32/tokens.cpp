// Access tokens (whose a process is and in which session it runs), the
// start of a program as another user, and the absolute security descriptors
// that callers build to hand a NULL access list (everyone) to a named object.
#include <cstring>

#include "core/internal.h"
#include "kernel32/process.h"

namespace winsim {

namespace {

TokenObject *tokenOf(HANDLE h) { return static_cast<TokenObject *>(lookup(h, Kind::Token)); }

HANDLE newToken(const TokenObject &from, DWORD type) {
  auto *t = new TokenObject;
  t->sessionId = from.sessionId;
  t->user = from.user;
  t->localSystem = from.localSystem;
  t->type = type;
  return registerObject(t);
}

}  // namespace

}  // namespace winsim

using namespace winsim;

extern "C" {

BOOL WINAPI OpenProcessToken(HANDLE ProcessHandle, DWORD, PHANDLE TokenHandle) {
  if (!TokenHandle) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto p = processOfHandle(ProcessHandle);
  if (!p) return FALSE;
  TokenObject t;
  t.localSystem = runsAsLocalSystem(*p);
  {
    std::lock_guard<std::mutex> g(processLock());
    t.sessionId = p->sessionId;
    t.user = t.localSystem ? u"SYSTEM" : p->user;
  }
  *TokenHandle = newToken(t, TokenPrimary);
  return TRUE;
}

BOOL WINAPI DuplicateTokenEx(HANDLE hExistingToken, DWORD, LPSECURITY_ATTRIBUTES, SECURITY_IMPERSONATION_LEVEL,
                             TOKEN_TYPE TokenType, PHANDLE phNewToken) {
  if (!phNewToken || (TokenType != TokenPrimary && TokenType != TokenImpersonation)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  TokenObject *t = tokenOf(hExistingToken);
  if (!t) return FALSE;
  *phNewToken = newToken(*t, DWORD(TokenType));
  release(t);
  return TRUE;
}

BOOL WINAPI GetTokenInformation(HANDLE TokenHandle, TOKEN_INFORMATION_CLASS TokenInformationClass,
                                LPVOID TokenInformation, DWORD TokenInformationLength, PDWORD ReturnLength) {
  TokenObject *t = tokenOf(TokenHandle);
  if (!t) return FALSE;
  DWORD value = 0;
  switch (TokenInformationClass) {
    case TokenSessionId: value = t->sessionId; break;
    case TokenType: value = t->type; break;
    default:
      release(t);
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
  }
  release(t);
  if (ReturnLength) *ReturnLength = sizeof(DWORD);
  if (!TokenInformation || TokenInformationLength < sizeof(DWORD)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(TokenInformation, &value, sizeof value);
  return TRUE;
}

// The token decides the session (and the user) of the new process.
BOOL WINAPI CreateProcessAsUserW(HANDLE hToken, LPCWSTR lpApplicationName, LPWSTR lpCommandLine, LPSECURITY_ATTRIBUTES,
                                 LPSECURITY_ATTRIBUTES, BOOL, DWORD dwCreationFlags, LPVOID lpEnvironment,
                                 LPCWSTR lpCurrentDirectory, LPSTARTUPINFOW lpStartupInfo,
                                 LPPROCESS_INFORMATION lpProcessInformation) {
  ProcessStart start;
  TokenObject *t = tokenOf(hToken);
  if (!t) return FALSE;
  if (t->type != TokenPrimary) {
    release(t);
    SetLastError(1349);  // ERROR_BAD_TOKEN_TYPE: a process needs a primary token
    return FALSE;
  }
  start.hasUser = true;
  start.sessionId = t->sessionId;
  start.user = t->user;
  release(t);
  start.applicationName = lpApplicationName;
  start.commandLine = lpCommandLine;
  start.flags = dwCreationFlags;
  start.environment = lpEnvironment;
  start.currentDirectory = lpCurrentDirectory;
  start.startup = lpStartupInfo;
  return createProcess(start, lpProcessInformation);
}

BOOL WINAPI InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor, DWORD dwRevision) {
  if (!pSecurityDescriptor) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (dwRevision != SECURITY_DESCRIPTOR_REVISION) {
    SetLastError(ERROR_UNKNOWN_REVISION);
    return FALSE;
  }
  auto *sd = static_cast<SECURITY_DESCRIPTOR *>(pSecurityDescriptor);
  std::memset(sd, 0, sizeof *sd);
  sd->Revision = SECURITY_DESCRIPTOR_REVISION;
  return TRUE;
}

BOOL WINAPI SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, BOOL bDaclPresent, PACL pDacl,
                                      BOOL bDaclDefaulted) {
  auto *sd = static_cast<SECURITY_DESCRIPTOR *>(pSecurityDescriptor);
  if (!sd) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (sd->Revision != SECURITY_DESCRIPTOR_REVISION) {
    SetLastError(ERROR_UNKNOWN_REVISION);
    return FALSE;
  }
  // Only the absolute form takes pointers.
  if (sd->Control & SE_SELF_RELATIVE) {
    SetLastError(ERROR_INVALID_SECURITY_DESCR);
    return FALSE;
  }
  if (!bDaclPresent) {
    sd->Control &= SECURITY_DESCRIPTOR_CONTROL(~(SE_DACL_PRESENT | SE_DACL_DEFAULTED));
    sd->Dacl = nullptr;
    return TRUE;
  }
  sd->Control |= SE_DACL_PRESENT;
  if (bDaclDefaulted)
    sd->Control |= SE_DACL_DEFAULTED;
  else
    sd->Control &= SECURITY_DESCRIPTOR_CONTROL(~SE_DACL_DEFAULTED);
  sd->Dacl = pDacl;  // NULL: a NULL access list, everyone may use the object
  return TRUE;
}

}  // extern "C"
