// The notification server's callback: it hears the tray program's answer on
// the channel and ends the sender's wait.
#pragma once

#include <atomic>

#include "notify/com_objects.h"

namespace card::notify {

class CPrintOEMAsyncNotifyCallback final : public ComObject<IPrintAsyncNotifyCallback> {
 public:
  enum class Outcome {
    Pending,
    Acknowledged,                 // the tray program's reply carried code 15
    EndedWithoutAcknowledgement,  // the channel closed with anything else
  };

  // A new callback with a count of 1, or null.
  static CPrintOEMAsyncNotifyCallback *create();

  // The reply event is made once the channel is open; the callback owns it
  // from then on and closes it with itself.
  void setReplyEvent(HANDLE event) { replyEvent_.store(event); }
  HANDLE replyEvent() const { return replyEvent_.load(); }
  Outcome outcome() const { return outcome_.load(); }

  // A reply that is no acknowledgement leaves the conversation open.
  HRESULT STDMETHODCALLTYPE OnEventNotify(IPrintAsyncNotifyChannel *pChannel,
                                          IPrintAsyncNotifyDataObject *pData) override;
  // The other side closed the channel: whatever it carried, no answer can
  // follow, so the wait ends either way.
  HRESULT STDMETHODCALLTYPE ChannelClosed(IPrintAsyncNotifyChannel *pChannel,
                                          IPrintAsyncNotifyDataObject *pData) override;

 private:
  CPrintOEMAsyncNotifyCallback() = default;
  ~CPrintOEMAsyncNotifyCallback() override;

  void finish(Outcome outcome);

  std::atomic<HANDLE> replyEvent_{nullptr};
  std::atomic<Outcome> outcome_{Outcome::Pending};
};

}  // namespace card::notify
