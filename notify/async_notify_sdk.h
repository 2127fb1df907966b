// The SDK's asynchronous print notification declarations, as both modules of
// this folder see them: <prnasnot.h> (the interfaces, PrintAsyncNotificationType,
// the registration calls) and <prnasntp.h> (RouterCreatePrintAsyncNotificationChannel
// of spoolss.dll).
#pragma once

#include <windows.h>
#if !defined(NOTIFY_LOCAL_UNKNWN)
#include <unknwn.h>
#endif

// ---------------------------------------------------------------------------
// TEMPORARY LOCAL SDK DECLARATIONS.
// mingw-w64's <prnasnot.h> declares neither the three interfaces nor their
// identifiers, and its functions lack WINAPI (wrong for x86); it has no
// <prnasntp.h> at all; winsim has neither header, nor <unknwn.h>, yet.  Until
// the compat headers in cmake/mingw-sdk/ and winsim's carry them, CMake
// defines NOTIFY_LOCAL_UNKNWN / NOTIFY_LOCAL_PRNASNOT / NOTIFY_LOCAL_PRNASNTP
// and the SDK's declarations are written out here, under the SDK's names and
// layouts.  Delete this block when those headers exist.
#if defined(NOTIFY_LOCAL_UNKNWN)
struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppvObject) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
#endif
#ifndef HRESULT_CODE
#define HRESULT_CODE(hr) ((hr)&0xFFFF)
#endif

#if defined(NOTIFY_LOCAL_PRNASNOT)
#define _INC_PRNASNOT  // keep mingw-w64's incomplete header out
extern "C" {
typedef GUID PrintAsyncNotificationType;

typedef enum tagPrintAsyncNotifyConversationStyle { kBiDirectional, kUniDirectional } PrintAsyncNotifyConversationStyle;

typedef enum tagPrintAsyncNotifyUserFilter { kPerUser, kAllUsers } PrintAsyncNotifyUserFilter;

typedef enum tagPrintAsyncNotifyError {
  CHANNEL_CLOSED_BY_SERVER = 0x01,
  CHANNEL_CLOSED_BY_ANOTHER_LISTENER = 0x02,
  CHANNEL_CLOSED_BY_SAME_LISTENER = 0x03,
  CHANNEL_RELEASED_BY_LISTENER = 0x04,
  UNIRECTIONAL_NOTIFICATION_LOST = 0x05,
  ASYNC_NOTIFICATION_FAILURE = 0x06,
  NO_LISTENERS = 0x07,
  CHANNEL_ALREADY_CLOSED = 0x08,
  CHANNEL_ALREADY_OPENED = 0x09,
  CHANNEL_WAITING_FOR_CLIENT_NOTIFICATION = 0x0a,
  CHANNEL_NOT_OPENED = 0x0b,
  ASYNC_CALL_ALREADY_PARKED = 0x0c,
  NOT_REGISTERED = 0x0d,
  ALREADY_UNREGISTERED = 0x0e,
  ALREADY_REGISTERED = 0x0f,
  CHANNEL_ACQUIRED = 0x10,
  ASYNC_CALL_IN_PROGRESS = 0x11,
  MAX_NOTIFICATION_SIZE_EXCEEDED = 0x12,
  INTERNAL_NOTIFICATION_QUEUE_IS_FULL = 0x13,
  INVALID_NOTIFICATION_TYPE = 0x14,
  MAX_REGISTRATION_COUNT_EXCEEDED = 0x15,
  MAX_CHANNEL_COUNT_EXCEEDED = 0x16,
  LOCAL_ONLY_REGISTRATION = 0x17,
  REMOTE_ONLY_REGISTRATION = 0x18
} PrintAsyncNotifyError;
}

struct IPrintAsyncNotifyDataObject : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE AcquireData(BYTE **ppNotificationData, ULONG *pSize,
                                                PrintAsyncNotificationType **ppSchema) = 0;
  virtual HRESULT STDMETHODCALLTYPE ReleaseData() = 0;
};

struct IPrintAsyncNotifyChannel : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SendNotification(IPrintAsyncNotifyDataObject *pData) = 0;
  virtual HRESULT STDMETHODCALLTYPE CloseChannel(IPrintAsyncNotifyDataObject *pData) = 0;
};

struct IPrintAsyncNotifyCallback : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE OnEventNotify(IPrintAsyncNotifyChannel *pChannel,
                                                  IPrintAsyncNotifyDataObject *pData) = 0;
  virtual HRESULT STDMETHODCALLTYPE ChannelClosed(IPrintAsyncNotifyChannel *pChannel,
                                                  IPrintAsyncNotifyDataObject *pData) = 0;
};

const IID IID_IPrintAsyncNotifyDataObject = {
    0x77CF513E, 0x5D49, 0x4789, {0x9F, 0x30, 0xD0, 0x82, 0x2B, 0x33, 0x5C, 0x0D}};
const IID IID_IPrintAsyncNotifyCallback = {
    0x7DEF34C1, 0x9D92, 0x4C99, {0xB3, 0xB3, 0xDB, 0x94, 0xA9, 0xD4, 0x19, 0x1B}};
const GUID NOTIFICATION_RELEASE = {0xBA9A5027, 0xA70E, 0x4AE7, {0x9B, 0x7D, 0xEB, 0x3E, 0x06, 0xAD, 0x41, 0x57}};

extern "C" {
HRESULT WINAPI RegisterForPrintAsyncNotifications(PCWSTR pszName, PrintAsyncNotificationType *pNotificationType,
                                                  PrintAsyncNotifyUserFilter eUserFilter,
                                                  PrintAsyncNotifyConversationStyle eConversationStyle,
                                                  IPrintAsyncNotifyCallback *pCallback, HANDLE *phNotify);
HRESULT WINAPI UnRegisterForPrintAsyncNotifications(HANDLE hNotify);
}
#else
#include <prnasnot.h>
#endif

#if defined(NOTIFY_LOCAL_PRNASNTP)
extern "C" HRESULT WINAPI RouterCreatePrintAsyncNotificationChannel(
    PCWSTR pName, PrintAsyncNotificationType *pNotificationType, PrintAsyncNotifyUserFilter eUserFilter,
    PrintAsyncNotifyConversationStyle eConversationStyle, IPrintAsyncNotifyCallback *pCallback,
    IPrintAsyncNotifyChannel **ppIAsynchNotification);
#else
#include <prnasntp.h>
#endif
// End of the temporary local SDK declarations.
// ---------------------------------------------------------------------------
