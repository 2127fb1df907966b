// One notification from a monitor to the tray program, over the spooler's
// asynchronous notification channel, and the wait for its acknowledgement.
#include <atomic>
#include <new>

#include "notify/com_objects.h"
#include "notify/server/server.h"
#include "shared/notification_payload.h"

namespace card::notify {

namespace {

// A tray program that has just been started needs a moment to register for
// the printer; while nobody listens the message is offered again this often,
// up to this many times (10 s in all).
constexpr DWORD kRetryInterval = 100;
constexpr int kMaxSendAttempts = 100;

// The server's callback: it hears the tray program's answer and ends the
// sender's wait.
class CPrintOEMAsyncNotifyCallback final : public ComObject<IPrintAsyncNotifyCallback> {
 public:
  enum class Outcome { Pending, Acknowledged, EndedWithoutAcknowledgement };

  // The reply event is made once the channel is open; the callback owns it
  // from then on and closes it with itself.
  void setReplyEvent(HANDLE event) { replyEvent_.store(event); }
  HANDLE replyEvent() const { return replyEvent_.load(); }
  Outcome outcome() const { return outcome_.load(); }

  HRESULT STDMETHODCALLTYPE OnEventNotify(IPrintAsyncNotifyChannel *, IPrintAsyncNotifyDataObject *pData) override {
    if (!pData) return E_FAIL;
    bool acknowledged = false;
    const HRESULT hr = readReply(pData, acknowledged);
    if (FAILED(hr)) return hr;
    // A reply that is no acknowledgement leaves the conversation open.
    if (acknowledged) {
      finish(Outcome::Acknowledged);
      return S_OK;
    }
    return hr;
  }

  HRESULT STDMETHODCALLTYPE ChannelClosed(IPrintAsyncNotifyChannel *, IPrintAsyncNotifyDataObject *pData) override {
    // The other side closed the channel: whatever it carried, no answer
    // can follow, so the wait ends either way.
    if (!pData) {
      finish(Outcome::EndedWithoutAcknowledgement);
      return S_OK;
    }
    bool acknowledged = false;
    const HRESULT hr = readReply(pData, acknowledged);
    finish(acknowledged ? Outcome::Acknowledged : Outcome::EndedWithoutAcknowledgement);
    if (FAILED(hr)) return hr;
    return acknowledged ? S_OK : hr;
  }

 private:
  ~CPrintOEMAsyncNotifyCallback() override {
    if (HANDLE event = replyEvent_.load()) CloseHandle(event);
  }

  // The data object is the caller's: it is acquired and released, never
  // released beyond that.
  static HRESULT readReply(IPrintAsyncNotifyDataObject *data, bool &acknowledged) {
    BYTE *bytes = nullptr;
    ULONG size = 0;
    PrintAsyncNotificationType *schema = nullptr;
    const HRESULT hr = data->AcquireData(&bytes, &size, &schema);
    if (FAILED(hr)) return hr;
    acknowledged = isAcknowledgementReply(bytes, size);
    data->ReleaseData();
    return hr;
  }

  // The first end of the conversation counts.
  void finish(Outcome outcome) {
    Outcome pending = Outcome::Pending;
    if (!outcome_.compare_exchange_strong(pending, outcome)) return;
    if (HANDLE event = replyEvent_.load()) SetEvent(event);
  }

  std::atomic<HANDLE> replyEvent_{nullptr};
  std::atomic<Outcome> outcome_{Outcome::Pending};
};

}  // namespace

Delivery sendNotification(LPCWSTR printerName, const void *payload) {
  auto *callback = new (std::nothrow) CPrintOEMAsyncNotifyCallback;
  if (!callback) return Delivery::NotShown;

  PrintAsyncNotificationType type = kNotificationType;
  IPrintAsyncNotifyChannel *channel = nullptr;
  const HRESULT opened =
      RouterCreatePrintAsyncNotificationChannel(printerName, &type, kAllUsers, kBiDirectional, callback, &channel);
  // The channel holds its own reference to the callback; ours is kept until
  // the wait is over, as the wait is on the callback's event.
  if (FAILED(opened) || !channel) {
    callback->Release();
    return Delivery::NotShown;
  }

  auto *data = CPrintOEMAsyncNotifyDataObject::create(payload, DataObjectRules::Server);
  if (!data) {
    // Nothing was sent on the channel: the reference is ours to give back.
    channel->Release();
    callback->Release();
    return Delivery::NotShown;
  }
  callback->setReplyEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr));

  if (ensureTrayRunning()) Sleep(kRetryInterval);

  Delivery delivery = Delivery::NotShown;
  for (int attempt = 1;; ++attempt) {
    const HRESULT sent = channel->SendNotification(data);
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
  data->Release();
  callback->Release();
  return delivery;
}

}  // namespace card::notify
