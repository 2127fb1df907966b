// prnasnot.h for the linux flavour: the print spooler's asynchronous
// notifications.  A component the spooler hosts opens a channel for a
// printer or the server and sends notification data objects on it;
// applications register a callback to receive them and, on a bidirectional
// channel, answer on the same channel.  The interfaces keep the SDK's slot
// order; the identifiers are the SDK's.
#pragma once

#include <windows.h>
#include <objbase.h>
#include "winsim/export.h"

// {4A5031B1-1F3F-4DB0-A462-4530ED8B0451}
inline constexpr IID IID_IPrintAsyncNotifyChannel = {
    0x4a5031b1, 0x1f3f, 0x4db0, {0xa4, 0x62, 0x45, 0x30, 0xed, 0x8b, 0x04, 0x51}};
// {7DEF34C1-9D92-4C99-B3B3-DB94A9D4191B}
inline constexpr IID IID_IPrintAsyncNotifyCallback = {
    0x7def34c1, 0x9d92, 0x4c99, {0xb3, 0xb3, 0xdb, 0x94, 0xa9, 0xd4, 0x19, 0x1b}};
// {77CF513E-5D49-4789-9F30-D0822B335C0D}
inline constexpr IID IID_IPrintAsyncNotifyDataObject = {
    0x77cf513e, 0x5d49, 0x4789, {0x9f, 0x30, 0xd0, 0x82, 0x2b, 0x33, 0x5c, 0x0d}};
// The schema of the notification the spooler sends every registration of a
// printer that is deleted, or of a spooler that stops.
// {BA9A5027-A70E-4AE7-9B7D-EB3E06AD4157}
inline constexpr GUID NOTIFICATION_RELEASE = {
    0xba9a5027, 0xa70e, 0x4ae7, {0x9b, 0x7d, 0xeb, 0x3e, 0x06, 0xad, 0x41, 0x57}};

typedef enum {
  kPerUser,
  kAllUsers,
} PrintAsyncNotifyUserFilter;

typedef enum { kBiDirectional, kUniDirectional } PrintAsyncNotifyConversationStyle;

typedef GUID PrintAsyncNotificationType;

#undef INTERFACE
#define INTERFACE IPrintAsyncNotifyDataObject
DECLARE_INTERFACE_(IPrintAsyncNotifyDataObject, IUnknown) {
  STDMETHOD(AcquireData)(THIS_ BYTE * *ppNotificationData, ULONG * pSize, PrintAsyncNotificationType * *ppSchema) PURE;
  STDMETHOD(ReleaseData)(THIS) PURE;
};

typedef interface IPrintAsyncNotifyCallback IPrintAsyncNotifyCallback;

#undef INTERFACE
#define INTERFACE IPrintAsyncNotifyChannel
DECLARE_INTERFACE_(IPrintAsyncNotifyChannel, IUnknown) {
  STDMETHOD(SendNotification)(THIS_ IPrintAsyncNotifyDataObject * pData) PURE;
  STDMETHOD(CloseChannel)(THIS_ IPrintAsyncNotifyDataObject * pData) PURE;
};

#undef INTERFACE
#define INTERFACE IPrintAsyncNotifyCallback
DECLARE_INTERFACE_(IPrintAsyncNotifyCallback, IUnknown) {
  STDMETHOD(OnEventNotify)(THIS_ IPrintAsyncNotifyChannel * pChannel, IPrintAsyncNotifyDataObject * pData) PURE;
  STDMETHOD(ChannelClosed)(THIS_ IPrintAsyncNotifyChannel * pChannel, IPrintAsyncNotifyDataObject * pData) PURE;
};
#undef INTERFACE

WINSIM_EXTERN_C WINSIM_API HRESULT WINAPI RegisterForPrintAsyncNotifications(
    PCWSTR pszName, PrintAsyncNotificationType *pNotificationType, PrintAsyncNotifyUserFilter eUserFilter,
    PrintAsyncNotifyConversationStyle eConversationStyle, IPrintAsyncNotifyCallback *pCallback, HANDLE *phNotify);
WINSIM_EXTERN_C WINSIM_API HRESULT WINAPI UnRegisterForPrintAsyncNotifications(HANDLE hNotify);
WINSIM_EXTERN_C WINSIM_API HRESULT WINAPI CreatePrintAsyncNotifyChannel(
    PCWSTR pszName, PrintAsyncNotificationType *pNotificationType, PrintAsyncNotifyUserFilter eUserFilter,
    PrintAsyncNotifyConversationStyle eConversationStyle, IPrintAsyncNotifyCallback *pCallback,
    IPrintAsyncNotifyChannel **ppIAsynchNotification);

typedef enum {
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
  REMOTE_ONLY_REGISTRATION = 0x18,
} PrintAsyncNotifyError;
