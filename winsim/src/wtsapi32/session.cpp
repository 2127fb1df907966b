// The token of the user at a session, for a service that starts a program
// on the user's desktop.
#include <wtsapi32.h>

#include "core/internal.h"

using namespace winsim;

extern "C" {

// Only LocalSystem may ask (winsim: a process in session 0 or the
// spooler's); there is a token only for the console session while a user
// is logged on at it.  Session 0, the services', never has one.
BOOL WINAPI WTSQueryUserToken(ULONG SessionId, PHANDLE phToken) {
  if (!phToken) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *phToken = nullptr;
  if (!runsAsLocalSystem(*currentProcess())) {
    SetLastError(ERROR_PRIVILEGE_NOT_HELD);
    return FALSE;
  }
  if (SessionId == 0 || SessionId != consoleSession() || !userLoggedOn()) {
    SetLastError(ERROR_NO_TOKEN);
    return FALSE;
  }
  auto *t = new TokenObject;
  t->sessionId = SessionId;
  t->user = u"CardUser";
  t->type = TokenPrimary;
  *phToken = registerObject(t);
  return TRUE;
}

}  // extern "C"
