#include "notify/server/reply_callback.h"

#include <new>

#include "shared/notification_payload.h"

namespace card::notify {

namespace {

// The data object is the caller's: it is acquired and released, never
// released beyond that.
HRESULT readReply(IPrintAsyncNotifyDataObject *data, bool &acknowledged) {
  BYTE *bytes = nullptr;
  ULONG size = 0;
  PrintAsyncNotificationType *schema = nullptr;
  const HRESULT hr = data->AcquireData(&bytes, &size, &schema);
  if (FAILED(hr)) return hr;
  acknowledged = isAcknowledgementReply(bytes, size);
  data->ReleaseData();
  return hr;
}

}  // namespace

CPrintOEMAsyncNotifyCallback *CPrintOEMAsyncNotifyCallback::create() {
  return new (std::nothrow) CPrintOEMAsyncNotifyCallback;
}

CPrintOEMAsyncNotifyCallback::~CPrintOEMAsyncNotifyCallback() {
  if (HANDLE event = replyEvent_.load()) CloseHandle(event);
}

HRESULT STDMETHODCALLTYPE CPrintOEMAsyncNotifyCallback::OnEventNotify(IPrintAsyncNotifyChannel *,
                                                                      IPrintAsyncNotifyDataObject *pData) {
  if (!pData) return E_FAIL;
  bool acknowledged = false;
  const HRESULT hr = readReply(pData, acknowledged);
  if (FAILED(hr)) return hr;
  if (acknowledged) {
    finish(Outcome::Acknowledged);
    return S_OK;
  }
  return hr;
}

HRESULT STDMETHODCALLTYPE CPrintOEMAsyncNotifyCallback::ChannelClosed(IPrintAsyncNotifyChannel *,
                                                                      IPrintAsyncNotifyDataObject *pData) {
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

// The first end of the conversation counts.
void CPrintOEMAsyncNotifyCallback::finish(Outcome outcome) {
  Outcome pending = Outcome::Pending;
  if (!outcome_.compare_exchange_strong(pending, outcome)) return;
  if (HANDLE event = replyEvent_.load()) SetEvent(event);
}

}  // namespace card::notify
