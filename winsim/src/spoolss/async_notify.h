// The spooler's asynchronous notification broker: registrations of
// listeners, channels that spooler-hosted components open for a printer or
// the server, and the deliveries between them.  Each delivery calls the
// receiver's callback on a spooler thread that runs in the receiver's
// process, as the spooler's RPC calls into an application do; the broker's
// channel and data objects count their references and report misuse
// instead of failing later.
#pragma once

#include <string>

#include <prnasnot.h>

namespace winsim::spool {

HRESULT asyncRegister(PCWSTR name, PrintAsyncNotificationType *type, PrintAsyncNotifyUserFilter filter,
                      PrintAsyncNotifyConversationStyle style, IPrintAsyncNotifyCallback *callback, HANDLE *handle);
HRESULT asyncUnregister(HANDLE handle);
HRESULT asyncCreateChannel(PCWSTR name, PrintAsyncNotificationType *type, PrintAsyncNotifyUserFilter filter,
                           PrintAsyncNotifyConversationStyle style, IPrintAsyncNotifyCallback *callback,
                           IPrintAsyncNotifyChannel **channel);
// Every registration for the printer is told that it ends
// (NOTIFICATION_RELEASE); called once the printer is deleted.
void asyncNotifyPrinterDeleted(const std::u16string &printer);
// True when the calling thread runs in the spooler's process.
bool callerInsideSpooler();

}  // namespace winsim::spool
