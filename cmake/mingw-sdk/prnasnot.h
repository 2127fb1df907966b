// mingw-w64's prnasnot.h, completed to the SDK's: it declares the enums and
// the three functions but neither the interfaces they take, nor
// PrintAsyncNotificationType, nor the interface identifiers and the
// NOTIFICATION_RELEASE schema.  The SDK defines those identifiers in every
// file that includes it (its header includes initguid.h); they are defined
// here the same way, once per module (selectany), and declared for __uuidof.
#pragma once

#include <windows.h>
#include <objbase.h>

EXTERN_C const GUID DECLSPEC_SELECTANY IID_IPrintAsyncNotifyChannel = {
    0x4a5031b1, 0x1f3f, 0x4db0, {0xa4, 0x62, 0x45, 0x30, 0xed, 0x8b, 0x04, 0x51}};
EXTERN_C const GUID DECLSPEC_SELECTANY IID_IPrintAsyncNotifyCallback = {
    0x7def34c1, 0x9d92, 0x4c99, {0xb3, 0xb3, 0xdb, 0x94, 0xa9, 0xd4, 0x19, 0x1b}};
EXTERN_C const GUID DECLSPEC_SELECTANY IID_IPrintAsyncNotifyDataObject = {
    0x77cf513e, 0x5d49, 0x4789, {0x9f, 0x30, 0xd0, 0x82, 0x2b, 0x33, 0x5c, 0x0d}};
EXTERN_C const GUID DECLSPEC_SELECTANY NOTIFICATION_RELEASE = {
    0xba9a5027, 0xa70e, 0x4ae7, {0x9b, 0x7d, 0xeb, 0x3e, 0x06, 0xad, 0x41, 0x57}};

typedef GUID PrintAsyncNotificationType;

#undef INTERFACE
#define INTERFACE IPrintAsyncNotifyDataObject
DECLARE_INTERFACE_(IPrintAsyncNotifyDataObject, IUnknown) {
  STDMETHOD(QueryInterface)(THIS_ REFIID riid, void **ppvObj) PURE;
  STDMETHOD_(ULONG, AddRef)(THIS) PURE;
  STDMETHOD_(ULONG, Release)(THIS) PURE;
  STDMETHOD(AcquireData)(THIS_ BYTE * *ppNotificationData, ULONG * pSize, PrintAsyncNotificationType * *ppSchema) PURE;
  STDMETHOD(ReleaseData)(THIS) PURE;
};

typedef interface IPrintAsyncNotifyCallback IPrintAsyncNotifyCallback;

#undef INTERFACE
#define INTERFACE IPrintAsyncNotifyChannel
DECLARE_INTERFACE_(IPrintAsyncNotifyChannel, IUnknown) {
  STDMETHOD(QueryInterface)(THIS_ REFIID riid, void **ppvObj) PURE;
  STDMETHOD_(ULONG, AddRef)(THIS) PURE;
  STDMETHOD_(ULONG, Release)(THIS) PURE;
  STDMETHOD(SendNotification)(THIS_ IPrintAsyncNotifyDataObject * pData) PURE;
  STDMETHOD(CloseChannel)(THIS_ IPrintAsyncNotifyDataObject * pData) PURE;
};

#undef INTERFACE
#define INTERFACE IPrintAsyncNotifyCallback
DECLARE_INTERFACE_(IPrintAsyncNotifyCallback, IUnknown) {
  STDMETHOD(QueryInterface)(THIS_ REFIID riid, void **ppvObj) PURE;
  STDMETHOD_(ULONG, AddRef)(THIS) PURE;
  STDMETHOD_(ULONG, Release)(THIS) PURE;
  STDMETHOD(OnEventNotify)(THIS_ IPrintAsyncNotifyChannel * pChannel, IPrintAsyncNotifyDataObject * pData) PURE;
  STDMETHOD(ChannelClosed)(THIS_ IPrintAsyncNotifyChannel * pChannel, IPrintAsyncNotifyDataObject * pData) PURE;
};
#undef INTERFACE

#ifdef __cplusplus
__CRT_UUID_DECL(IPrintAsyncNotifyChannel, 0x4a5031b1, 0x1f3f, 0x4db0, 0xa4, 0x62, 0x45, 0x30, 0xed, 0x8b, 0x04, 0x51)
__CRT_UUID_DECL(IPrintAsyncNotifyCallback, 0x7def34c1, 0x9d92, 0x4c99, 0xb3, 0xb3, 0xdb, 0x94, 0xa9, 0xd4, 0x19, 0x1b)
__CRT_UUID_DECL(IPrintAsyncNotifyDataObject, 0x77cf513e, 0x5d49, 0x4789, 0x9f, 0x30, 0xd0, 0x82, 0x2b, 0x33, 0x5c, 0x0d)
#endif

// The enums and the functions, in place of mingw-w64's own: its functions
// lack WINAPI, which on x86 names cdecl symbols that winspool.drv's import
// library (stdcall, "@24") does not have.
#ifndef _INC_PRNASNOT
#define _INC_PRNASNOT

#ifdef __cplusplus
extern "C" {
#endif

typedef enum tagPrintAsyncNotifyConversationStyle { kBiDirectional, kUniDirectional } PrintAsyncNotifyConversationStyle;

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

typedef enum tagPrintAsyncNotifyUserFilter { kPerUser, kAllUsers } PrintAsyncNotifyUserFilter;

HRESULT WINAPI CreatePrintAsyncNotifyChannel(PCWSTR pszName, PrintAsyncNotificationType *pNotificationType,
                                             PrintAsyncNotifyUserFilter eUserFilter,
                                             PrintAsyncNotifyConversationStyle eConversationStyle,
                                             IPrintAsyncNotifyCallback *pCallback,
                                             IPrintAsyncNotifyChannel **ppIAsynchNotification);
HRESULT WINAPI RegisterForPrintAsyncNotifications(PCWSTR pszName, PrintAsyncNotificationType *pNotificationType,
                                                  PrintAsyncNotifyUserFilter eUserFilter,
                                                  PrintAsyncNotifyConversationStyle eConversationStyle,
                                                  IPrintAsyncNotifyCallback *pCallback, HANDLE *phNotify);
HRESULT WINAPI UnRegisterForPrintAsyncNotifications(HANDLE hNotify);

#ifdef __cplusplus
}
#endif

#endif  // _INC_PRNASNOT
