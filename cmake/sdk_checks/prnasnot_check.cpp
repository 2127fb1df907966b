// Compiles in both flavours against the SDK names a notification sender and
// listener use (prnasnot.h, prnasntp.h): the interfaces' methods, their
// identifiers, the errors and the HRESULT macros that take them apart.
#include <windows.h>
#include <prnasntp.h>

namespace {

class Callback : public IPrintAsyncNotifyCallback {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void **out) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPrintAsyncNotifyCallback)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override { return --refs_; }
  STDMETHODIMP OnEventNotify(IPrintAsyncNotifyChannel *channel, IPrintAsyncNotifyDataObject *data) override {
    BYTE *bytes = nullptr;
    ULONG size = 0;
    PrintAsyncNotificationType *type = nullptr;
    if (data && SUCCEEDED(data->AcquireData(&bytes, &size, &type))) {
      bool release = type && IsEqualGUID(*type, NOTIFICATION_RELEASE);
      data->ReleaseData();
      if (release) return S_OK;
    }
    if (channel) {
      HRESULT hr = channel->CloseChannel(nullptr);
      if (FAILED(hr) || HRESULT_CODE(hr) == CHANNEL_ACQUIRED) channel->Release();
    }
    return S_OK;
  }
  STDMETHODIMP ChannelClosed(IPrintAsyncNotifyChannel *, IPrintAsyncNotifyDataObject *) override { return S_OK; }

 private:
  ULONG refs_ = 1;
};

}  // namespace

HRESULT prnasnotCheck(PrintAsyncNotificationType *type) {
  Callback callback;
  HANDLE registration = nullptr;
  HRESULT hr =
      RegisterForPrintAsyncNotifications(TEXT("printer"), type, kAllUsers, kBiDirectional, &callback, &registration);
  if (SUCCEEDED(hr)) UnRegisterForPrintAsyncNotifications(registration);
  IPrintAsyncNotifyChannel *channel = nullptr;
  hr = RouterCreatePrintAsyncNotificationChannel(TEXT("printer"), type, kAllUsers, kBiDirectional, &callback, &channel);
  if (FAILED(hr))
    hr = CreatePrintAsyncNotifyChannel(TEXT("printer"), type, kPerUser, kUniDirectional, nullptr, &channel);
  if (SUCCEEDED(hr) && HRESULT_CODE(hr) != NO_LISTENERS && channel) channel->Release();
  return hr == MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_ITF, NO_LISTENERS) ? S_FALSE : hr;
}
