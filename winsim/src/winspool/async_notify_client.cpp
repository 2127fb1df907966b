// The asynchronous notification calls of winspool.drv.  Registering works in
// any process; opening a channel only inside the spooler: winspool.drv
// refuses it to a driver loaded by an application, and components in the
// spooler use spoolss's router call.
#include <prnasnot.h>

#include "spoolss/async_notify.h"
#include "spoolss/spooler_service.h"

using namespace winsim::spool;

extern "C" {

HRESULT WINAPI RegisterForPrintAsyncNotifications(PCWSTR pszName, PrintAsyncNotificationType *pNotificationType,
                                                  PrintAsyncNotifyUserFilter eUserFilter,
                                                  PrintAsyncNotifyConversationStyle eConversationStyle,
                                                  IPrintAsyncNotifyCallback *pCallback, HANDLE *phNotify) {
  // A stopped spooler takes no registration: the RPC call finds no server.
  if (!spoolerAnswers()) return HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE);
  return asyncRegister(pszName, pNotificationType, eUserFilter, eConversationStyle, pCallback, phNotify);
}

HRESULT WINAPI UnRegisterForPrintAsyncNotifications(HANDLE hNotify) { return asyncUnregister(hNotify); }

HRESULT WINAPI CreatePrintAsyncNotifyChannel(PCWSTR pszName, PrintAsyncNotificationType *pNotificationType,
                                             PrintAsyncNotifyUserFilter eUserFilter,
                                             PrintAsyncNotifyConversationStyle eConversationStyle,
                                             IPrintAsyncNotifyCallback *pCallback,
                                             IPrintAsyncNotifyChannel **ppIAsynchNotification) {
  if (ppIAsynchNotification) *ppIAsynchNotification = nullptr;
  if (!callerInsideSpooler()) return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
  return asyncCreateChannel(pszName, pNotificationType, eUserFilter, eConversationStyle, pCallback,
                            ppIAsynchNotification);
}

}  // extern "C"
