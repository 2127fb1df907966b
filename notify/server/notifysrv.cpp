// notifysrv.dll's one export.
#include <windows.h>

#include "notify/server/server.h"

// The exported name comes from notifysrv.def; on the linux flavour it must
// also be visible to the module's version script.
#ifdef _WIN32
#define NOTIFYSRV_EXPORT
#else
#define NOTIFYSRV_EXPORT __attribute__((visibility("default")))
#endif

// Blocks until the tray program has acknowledged the message (the user
// dismissed it, or a close request took it away): 1 then.  0 when the message
// reached nobody (no tray program registered for the printer within the
// grace time, no channel) or the conversation ended without an
// acknowledgement: the caller must not take 0 for the user's answer.
extern "C" NOTIFYSRV_EXPORT int WINAPI SendAsyncNotification(LPCWSTR printerName, LPCVOID payload) {
  return card::notify::sendNotification(printerName, payload) == card::notify::Delivery::Acknowledged ? 1 : 0;
}
