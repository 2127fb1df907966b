// prnasntp.h, which mingw-w64 lacks: the router's asynchronous notification
// calls of spoolss.dll for components inside the spooler.  The SDK declares
// them with C++ linkage; they are declared extern "C" here, the names
// mingw-w64's spoolss import library carries.
#pragma once

#include <prnasnot.h>

#ifdef __cplusplus
extern "C" {
#endif

HRESULT WINAPI RouterRegisterForPrintAsyncNotifications(PCWSTR pName, PrintAsyncNotificationType *pNotificationType,
                                                        PrintAsyncNotifyUserFilter eNotifyFilter,
                                                        PrintAsyncNotifyConversationStyle eConversationStyle,
                                                        IPrintAsyncNotifyCallback *pCallback, HANDLE *phNotify);
HRESULT WINAPI RouterUnregisterForPrintAsyncNotifications(HANDLE hNotify);
HRESULT WINAPI RouterCreatePrintAsyncNotificationChannel(PCWSTR pName, PrintAsyncNotificationType *pNotificationType,
                                                         PrintAsyncNotifyUserFilter eNotifyFilter,
                                                         PrintAsyncNotifyConversationStyle eConversationStyle,
                                                         IPrintAsyncNotifyCallback *pCallback,
                                                         IPrintAsyncNotifyChannel **ppIAsynchNotification);

#ifdef __cplusplus
}
#endif
