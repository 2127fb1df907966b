// prnasntp.h for the linux flavour: the router's asynchronous notification
// calls of spoolss.dll, for components inside the spooler (port and language
// monitors) that open channels or register themselves.
#pragma once

#include <prnasnot.h>
#include "winsim/export.h"

WINSIM_EXTERN_C WINSIM_API HRESULT WINAPI RouterRegisterForPrintAsyncNotifications(
    PCWSTR pName, PrintAsyncNotificationType *pNotificationType, PrintAsyncNotifyUserFilter eNotifyFilter,
    PrintAsyncNotifyConversationStyle eConversationStyle, IPrintAsyncNotifyCallback *pCallback, HANDLE *phNotify);
WINSIM_EXTERN_C WINSIM_API HRESULT WINAPI RouterUnregisterForPrintAsyncNotifications(HANDLE hNotify);
WINSIM_EXTERN_C WINSIM_API HRESULT WINAPI RouterCreatePrintAsyncNotificationChannel(
    PCWSTR pName, PrintAsyncNotificationType *pNotificationType, PrintAsyncNotifyUserFilter eNotifyFilter,
    PrintAsyncNotifyConversationStyle eConversationStyle, IPrintAsyncNotifyCallback *pCallback,
    IPrintAsyncNotifyChannel **ppIAsynchNotification);
