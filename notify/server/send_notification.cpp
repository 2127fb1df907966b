// One notification from a monitor to the tray program, over the spooler's
// asynchronous notification channel, and the wait for its acknowledgement.
#include "notify/com_objects.h"
#include "notify/server/reply_callback.h"
#include "notify/server/server.h"
#include "shared/notification_payload.h"

namespace card::notify {

namespace {

// A tray program that has just been started needs a moment to register for
// the printer; while nobody listens the message is offered again this often,
// up to this many times (10 s in all).
constexpr DWORD kRetryInterval = 100;
constexpr int kMaxSendAttempts = 100;

}  // namespace

Delivery sendNotification(LPCWSTR printerName, const void *payload) {
  const ComReference<CPrintOEMAsyncNotifyCallback> callback{CPrintOEMAsyncNotifyCallback::create()};
  if (!callback) return Delivery::NotShown;

  PrintAsyncNotificationType type = kNotificationType;
  IPrintAsyncNotifyChannel *channel = nullptr;
  const HRESULT opened = RouterCreatePrintAsyncNotificationChannel(printerName, &type, kAllUsers, kBiDirectional,
                                                                   callback.get(), &channel);
  // The channel holds its own reference to the callback; ours is kept until
  // the wait is over, as the wait is on the callback's event.
  if (FAILED(opened) || !channel) return Delivery::NotShown;

  const ComReference<CPrintOEMAsyncNotifyDataObject> data{
      CPrintOEMAsyncNotifyDataObject::create(payload, DataObjectRules::Server)};
  if (!data) {
    // Nothing was sent on the channel: the reference is ours to give back.
    channel->Release();
    return Delivery::NotShown;
  }
  callback->setReplyEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr));

  if (ensureTrayRunning()) Sleep(kRetryInterval);

  Delivery delivery = Delivery::NotShown;
  for (int attempt = 1;; ++attempt) {
    const HRESULT sent = channel->SendNotification(data.get());
    if (hasNotifyCode(sent, NO_LISTENERS)) {
      if (attempt < kMaxSendAttempts) {
        Sleep(kRetryInterval);
        continue;
      }
      // Given up on a channel nobody listens to: the reference is ours.
      channel->Release();
      break;
    }
    if (FAILED(sent)) {
      channel->Release();
      break;
    }
    // A listener holds the message now; the channel is the spooler's until
    // the conversation ends.  The user may take any time to answer, so the
    // wait is not bounded: it ends with the acknowledgement or when the
    // channel closes (the tray program ended, or it answered otherwise).
    if (HANDLE event = callback->replyEvent()) {
      WaitForSingleObject(event, INFINITE);
      if (callback->outcome() == CPrintOEMAsyncNotifyCallback::Outcome::Acknowledged) delivery = Delivery::Acknowledged;
    }
    break;
  }
  return delivery;
}

}  // namespace card::notify
