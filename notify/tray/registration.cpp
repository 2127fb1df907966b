// Registration for the package's printers, and what the tray program does
// with each notification: show it in a message box of its own thread, close
// a box on a close request, and acknowledge every message.
#include <windows.h>

#include <strsafe.h>
#include <winspool.h>

#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "notify/com_objects.h"
#include "notify/tray/tray.h"
#include "shared/notification_payload.h"

namespace card::notify {

namespace {

using Name = std::basic_string<WCHAR>;

constexpr DWORD kPollInterval = 100;
constexpr UINT kMessageChars = 1024;

// The local printers at level 2 whose entries pass `keep`.  The list may grow
// between the question for its size and the second call; that is asked again.
template <typename Keep>
std::vector<Name> localPrinters(Keep keep) {
  std::vector<Name> names;
  for (int attempt = 0; attempt < 3; ++attempt) {
    DWORD needed = 0, count = 0;
    EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
    if (needed == 0) return names;
    std::vector<BYTE> buffer(needed);
    if (!EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &needed, &count)) {
      if (GetLastError() == ERROR_INSUFFICIENT_BUFFER) continue;
      return names;
    }
    const auto *info = reinterpret_cast<const PRINTER_INFO_2W *>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
      if (info[i].pPrinterName && keep(info[i])) names.emplace_back(info[i].pPrinterName);
    return names;
  }
  return names;
}

// The tray program's callback, one per registered printer.
class CPrintOEMAsyncNotifyCallback final : public ComObject<IPrintAsyncNotifyCallback> {
 public:
  // Takes over `releaseEvent`, signalled when the spooler releases the
  // registration.
  explicit CPrintOEMAsyncNotifyCallback(HANDLE releaseEvent)
      : releaseEvent_(releaseEvent), status_(releaseEvent ? S_OK : E_FAIL) {}

  HRESULT status() const { return status_; }

  HRESULT STDMETHODCALLTYPE OnEventNotify(IPrintAsyncNotifyChannel *pChannel,
                                          IPrintAsyncNotifyDataObject *pData) override;
  HRESULT STDMETHODCALLTYPE ChannelClosed(IPrintAsyncNotifyChannel *pChannel,
                                          IPrintAsyncNotifyDataObject *pData) override {
    if (!pChannel) return E_FAIL;
    if (!pData) return S_OK;
    const HRESULT hr = pData->AcquireData(nullptr, nullptr, nullptr);
    if (SUCCEEDED(hr)) pData->ReleaseData();
    return hr;
  }

 private:
  ~CPrintOEMAsyncNotifyCallback() override {
    if (releaseEvent_) CloseHandle(releaseEvent_);
  }

  const HANDLE releaseEvent_;
  const HRESULT status_;
};

// Answers the message of `channel` with the acknowledgement, which closes the
// channel.  The caller's reference to the channel is used up by a successful
// CloseChannel; if there is none, it is given back here.
void acknowledge(IPrintAsyncNotifyChannel *channel) {
  NotificationPayload ack;
  makeAcknowledgement(ack);
  auto *data = CPrintOEMAsyncNotifyDataObject::create(&ack, DataObjectRules::Tray);
  bool closed = false;
  if (data && SUCCEEDED(data->status())) closed = SUCCEEDED(channel->CloseChannel(data));
  if (data) data->Release();
  if (!closed) channel->Release();
}

// One shown message: the thread owns the channel reference handed to it,
// the data acquired for it, a reference to the callback and a copy of the
// payload.  What the thread has not handed on by the time it ends (a thread
// ended with its process while its box is open) is let go as it unwinds:
// the channel without an answer, which tells the sender the program went.
struct MessageThread {
  IPrintAsyncNotifyChannel *channel = nullptr;
  IPrintAsyncNotifyDataObject *data = nullptr;
  CPrintOEMAsyncNotifyCallback *callback = nullptr;
  NotificationPayload payload;

  MessageThread() = default;
  MessageThread(const MessageThread &) = delete;
  MessageThread &operator=(const MessageThread &) = delete;
  ~MessageThread() {
    if (data) data->ReleaseData();
    if (channel) channel->Release();
    if (callback) callback->Release();
  }
};

DWORD WINAPI messageThread(LPVOID param) {
  std::unique_ptr<MessageThread> m(static_cast<MessageThread *>(param));
  WCHAR caption[kPayloadTextChars + 1];
  fieldText(m->payload.caption, caption);
  WCHAR text[kPayloadTextChars + 1] = {};
  bool show = true;
  if (m->payload.textFromResource == 1) {
    // Without the resource library there is no text to show; the message
    // is acknowledged all the same.
    HMODULE resources = tray.resources.load();
    if (resources) {
      if (LoadStringW(resources, UINT(m->payload.textResource), text, kMessageChars) <= 0) text[0] = 0;
    } else {
      show = false;
    }
  } else {
    fieldText(m->payload.text, text);
  }
  if (show) {
    HWND owner = tray.window.load();
    if (owner && !IsWindow(owner)) owner = nullptr;
    MessageBoxW(owner, text, caption, MB_OK | MB_SYSTEMMODAL | MB_SETFOREGROUND | MB_TOPMOST);
  }
  std::exchange(m->data, nullptr)->ReleaseData();
  if (IPrintAsyncNotifyChannel *channel = std::exchange(m->channel, nullptr)) acknowledge(channel);
  return 0;
}

// Closes the box shown for the close request's printer: the window titled
// with its caption.  Only a window of this program is closed; another
// program's window of that title (a printer's queue window, say) is left
// alone.
void closeMessageBox(const NotificationPayload &request) {
  WCHAR caption[kPayloadTextChars + 1];
  fieldText(request.caption, caption);
  if (!caption[0]) return;
  HWND box = FindWindowW(nullptr, caption);
  if (!box) return;
  DWORD process = 0;
  GetWindowThreadProcessId(box, &process);
  if (process == GetCurrentProcessId()) SendMessageW(box, WM_CLOSE, 0, 0);
}

HRESULT STDMETHODCALLTYPE CPrintOEMAsyncNotifyCallback::OnEventNotify(IPrintAsyncNotifyChannel *pChannel,
                                                                      IPrintAsyncNotifyDataObject *pData) {
  // The listener holds a reference to the channel handed to this call: a
  // successful CloseChannel uses it up, otherwise it is released, here or
  // by the message thread that takes it over.  Letting go of the channel
  // without an answer ends the sender's wait.
  if (!pData) {
    if (pChannel) pChannel->Release();
    return E_FAIL;
  }
  BYTE *bytes = nullptr;
  ULONG size = 0;
  PrintAsyncNotificationType *schema = nullptr;
  const HRESULT hr = pData->AcquireData(&bytes, &size, &schema);
  if (FAILED(hr)) {
    if (pChannel) pChannel->Release();
    return hr;
  }

  if (schema && IsEqualGUID(*schema, NOTIFICATION_RELEASE)) {
    if (releaseEvent_) SetEvent(releaseEvent_);
    pData->ReleaseData();
    if (pChannel) pChannel->Release();
    return S_OK;
  }

  auto m = std::unique_ptr<MessageThread>(new (std::nothrow) MessageThread);
  NotificationPayload local;
  NotificationPayload &payload = m ? m->payload : local;
  payloadFromBytes(bytes, size, payload);

  if (isCloseRequest(payload)) {
    // Closing the box ends its message thread, which acknowledges its own
    // message; the close request is acknowledged here.
    closeMessageBox(payload);
    pData->ReleaseData();
    if (pChannel) acknowledge(pChannel);
    return S_OK;
  }

  // The message thread takes over the reference to the channel that this
  // call holds (a listener's until it closes or releases the channel), and
  // the data stays acquired until the thread is done with it.
  if (m) {
    m->channel = pChannel;
    m->data = pData;
    m->callback = this;
    AddRef();
    if (HANDLE thread = CreateThread(nullptr, 0, messageThread, m.get(), 0, nullptr)) {
      m.release();
      CloseHandle(thread);
      return S_OK;
    }
    // Handed back: answered below.
    m->channel = nullptr;
    m->data = nullptr;
    m->callback = nullptr;
    Release();
  }
  // No thread for the message: it cannot be shown, but the sender must not
  // wait for it.
  pData->ReleaseData();
  if (pChannel) acknowledge(pChannel);
  return S_OK;
}

// Registers for the printer's notifications and holds the registration until
// the spooler releases it.  The thread waits in the spooler's hands for as
// long as the program runs and is usually ended there with its process: its
// reference to the callback goes as the thread unwinds, so that the
// spooler's own, dropped with the registration of an ended process, is the
// last.
void registerAndWait(const Name &printer) {
  HANDLE releaseEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!releaseEvent) return;
  const ComReference<CPrintOEMAsyncNotifyCallback> reference{new (std::nothrow)
                                                                 CPrintOEMAsyncNotifyCallback(releaseEvent)};
  if (!reference) {
    CloseHandle(releaseEvent);
    return;
  }
  PrintAsyncNotificationType type = kNotificationType;
  HANDLE registration = nullptr;
  const HRESULT hr = RegisterForPrintAsyncNotifications(printer.c_str(), &type, kAllUsers, kBiDirectional,
                                                        reference.get(), &registration);
  if (SUCCEEDED(hr) && registration) {
    WaitForSingleObject(releaseEvent, INFINITE);
    UnRegisterForPrintAsyncNotifications(registration);
  }
}

// The package's printers that have a registration thread, named before any
// of the threads starts and kept with the program: a thread gets its
// printer's position, not memory of its own that it would have to free (a
// thread ended before it runs frees nothing).
std::vector<Name> &registeredPrinters() {
  static std::vector<Name> printers;
  return printers;
}

DWORD WINAPI registrationThread(LPVOID param) {
  registerAndWait(registeredPrinters()[reinterpret_cast<size_t>(param)]);
  return 0;
}

// Waits for the printer named on the command line to exist, then registers.
DWORD WINAPI commandLineRegistrationThread(LPVOID) {
  const Name wanted = tray.commandLinePrinter;
  for (;;) {
    const auto found = localPrinters(
        [&](const PRINTER_INFO_2W &info) { return equalsAsciiNoCase(info.pPrinterName, wanted.c_str()); });
    if (!found.empty()) break;
    Sleep(kPollInterval);
  }
  registerAndWait(wanted);
  return 0;
}

bool startThread(LPTHREAD_START_ROUTINE routine, LPVOID param) {
  HANDLE thread = CreateThread(nullptr, 0, routine, param, 0, nullptr);
  if (!thread) return false;
  CloseHandle(thread);
  return true;
}

}  // namespace

void startPrinterRegistrations() {
  // The program makes its window, and so registers, once: the list stays
  // as it is while the threads read it.
  std::vector<Name> &printers = registeredPrinters();
  if (!printers.empty()) return;
  printers = localPrinters([](const PRINTER_INFO_2W &info) {
    // The printer named on the command line has its own thread.
    return isPackageDriver(info.pDriverName) && !equalsAsciiNoCase(info.pPrinterName, tray.commandLinePrinter);
  });
  for (size_t i = 0; i < printers.size(); ++i) startThread(registrationThread, reinterpret_cast<LPVOID>(i));
}

bool startCommandLineRegistration() { return startThread(commandLineRegistrationThread, nullptr); }

}  // namespace card::notify
