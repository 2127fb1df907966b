// The spooler's asynchronous notifications: a component inside the spooler
// opens a channel for a printer, programs in other processes registered for
// it receive the notification on the spooler's threads in their own process
// and answer on the channel.  The reference counts expected here are the
// ones the channel's documented release rules give each side.
#include <gtest/gtest.h>

#include <windows.h>
#include <prnasntp.h>
#include <winsim/testing.h>

#include <atomic>
#include <cstring>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// The product's notification schema stands in for any type a sender uses.
constexpr GUID kSchema = {0x1b2c3d4e, 0x0102, 0x0304, {0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x0c}};
constexpr GUID kOtherSchema = {0x1b2c3d4e, 0x0102, 0x0304, {0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x0d}};
constexpr DWORD kWaitMs = 10000;

bool hasCode(HRESULT hr, PrintAsyncNotifyError code) { return HRESULT_CODE(hr) == code; }

// A process's end steps run when its last thread leaves, which may be a
// spooler thread that delivered to it a moment after its main thread ended.
bool eventually(const std::function<bool()> &done) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// A notification's data as a program packs it.
class Data : public IPrintAsyncNotifyDataObject {
 public:
  Data(std::vector<BYTE> bytes, const GUID &type = kSchema) : bytes_(std::move(bytes)), type_(type) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **out) override {
    if (riid != IID_IUnknown && riid != IID_IPrintAsyncNotifyDataObject) return E_NOINTERFACE;
    AddRef();
    *out = this;
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++refs); }
  ULONG STDMETHODCALLTYPE Release() override { return ULONG(--refs); }
  HRESULT STDMETHODCALLTYPE AcquireData(BYTE **data, ULONG *size, PrintAsyncNotificationType **schema) override {
    ++acquired;
    *data = bytes_.data();
    *size = ULONG(bytes_.size());
    *schema = &type_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ReleaseData() override {
    ++released;
    return S_OK;
  }
  std::atomic<long> refs{1}, acquired{0}, released{0};

 private:
  std::vector<BYTE> bytes_;
  GUID type_;
};

std::vector<BYTE> payload(size_t size, DWORD first) {
  std::vector<BYTE> b(size);
  for (size_t i = 0; i < size; ++i) b[i] = BYTE(i * 7 + 3);
  std::memcpy(b.data(), &first, sizeof(first));
  return b;
}

// What a callback was handed.
struct Arrival {
  bool closed = false;  // ChannelClosed, else OnEventNotify
  IPrintAsyncNotifyChannel *channel = nullptr;
  bool hasData = false;
  std::vector<BYTE> bytes;
  GUID type{};
  DWORD processId = 0;
};

// A callback that records every call; `react` runs inside OnEventNotify.
class Recorder : public IPrintAsyncNotifyCallback {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **out) override {
    if (riid != IID_IUnknown && riid != IID_IPrintAsyncNotifyCallback) return E_NOINTERFACE;
    AddRef();
    *out = this;
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++refs); }
  ULONG STDMETHODCALLTYPE Release() override {
    // A proxy releases an object in the process that made it.
    if (GetCurrentProcessId() != ownerProcess) ++releasesElsewhere;
    return ULONG(--refs);
  }
  HRESULT STDMETHODCALLTYPE OnEventNotify(IPrintAsyncNotifyChannel *channel,
                                          IPrintAsyncNotifyDataObject *data) override {
    record(false, channel, data);
    if (react) react(channel, data);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ChannelClosed(IPrintAsyncNotifyChannel *channel,
                                          IPrintAsyncNotifyDataObject *data) override {
    record(true, channel, data);
    return S_OK;
  }
  bool waitFor(size_t count) {
    std::unique_lock<std::mutex> lk(m_);
    return cv_.wait_for(lk, std::chrono::milliseconds(kWaitMs), [&] { return arrivals_.size() >= count; });
  }
  std::vector<Arrival> arrivals() {
    std::lock_guard<std::mutex> g(m_);
    return arrivals_;
  }
  std::function<void(IPrintAsyncNotifyChannel *, IPrintAsyncNotifyDataObject *)> react;
  std::atomic<long> refs{1};
  const DWORD ownerProcess = GetCurrentProcessId();
  std::atomic<int> releasesElsewhere{0};

 private:
  void record(bool closed, IPrintAsyncNotifyChannel *channel, IPrintAsyncNotifyDataObject *data) {
    Arrival a;
    a.closed = closed;
    a.channel = channel;
    a.processId = GetCurrentProcessId();
    if (data) {
      BYTE *p = nullptr;
      ULONG size = 0;
      PrintAsyncNotificationType *type = nullptr;
      a.hasData = SUCCEEDED(data->AcquireData(&p, &size, &type));
      if (p) a.bytes.assign(p, p + size);
      if (type) a.type = *type;
      data->ReleaseData();
    }
    std::lock_guard<std::mutex> g(m_);
    arrivals_.push_back(a);
    cv_.notify_all();
  }
  std::mutex m_;
  std::condition_variable cv_;
  std::vector<Arrival> arrivals_;
};

// A program in a process of its own that registers a callback and stays
// until told to end.
class Listener {
 public:
  explicit Listener(const char16_t *printer = u"Card Test", PrintAsyncNotifyUserFilter filter = kAllUsers,
                    DWORD session = 1)
      : printer_(printer), filter_(filter), session_(session) {}
  ~Listener() { stop(); }
  void start(bool unregisterAtEnd = true) {
    unregisterAtEnd_ = unregisterAtEnd;
    thread_ = std::thread([this] { winsim::runInNewProcess(u"notifytray.exe", main, this); });
    std::unique_lock<std::mutex> lk(m_);
    ASSERT_TRUE(cv_.wait_for(lk, std::chrono::milliseconds(kWaitMs), [&] { return ready_; }));
  }
  // Runs `work` on the program's own thread, in its process.
  void run(std::function<void()> work) {
    std::unique_lock<std::mutex> lk(m_);
    work_ = std::move(work);
    cv_.notify_all();
    ASSERT_TRUE(cv_.wait_for(lk, std::chrono::milliseconds(kWaitMs), [&] { return !work_; }));
  }
  void stop() {
    if (!thread_.joinable()) return;
    {
      std::lock_guard<std::mutex> g(m_);
      quit_ = true;
      cv_.notify_all();
    }
    thread_.join();
  }
  Recorder callback;
  HANDLE registration = nullptr;
  HRESULT registered = E_FAIL;
  DWORD processId = 0;

 private:
  static DWORD WINAPI main(LPVOID param) {
    auto *self = static_cast<Listener *>(param);
    winsim::setProcessSessionId(self->session_);
    GUID type = kSchema;
    self->registered = RegisterForPrintAsyncNotifications(self->printer_.c_str(), &type, self->filter_, kBiDirectional,
                                                          &self->callback, &self->registration);
    std::unique_lock<std::mutex> lk(self->m_);
    self->processId = GetCurrentProcessId();
    self->ready_ = true;
    self->cv_.notify_all();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!self->quit_) {
      if (self->work_) {
        self->work_();
        self->work_ = nullptr;
        self->cv_.notify_all();
      }
      if (self->cv_.wait_until(lk, deadline) == std::cv_status::timeout) break;
    }
    lk.unlock();
    if (self->unregisterAtEnd_) UnRegisterForPrintAsyncNotifications(self->registration);
    return 0;
  }
  std::u16string printer_;
  PrintAsyncNotifyUserFilter filter_;
  DWORD session_;
  bool unregisterAtEnd_ = true;
  std::thread thread_;
  std::mutex m_;
  std::condition_variable cv_;
  bool ready_ = false, quit_ = false;
  std::function<void()> work_;
};

class AsyncNotify : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::resetMachine();
    winsim::PrinterSetup s;
    s.printerName = u"Card Test";
    s.driverName = u"Card Test Driver";
    s.graphicsDll = WINSIM_TESTDRV;
    ASSERT_TRUE(winsim::installPrinter(s));
    s.printerName = u"Other Card";
    ASSERT_TRUE(winsim::installPrinter(s));
    winsim::takeAsyncNotifyFaults();
  }
  void TearDown() override {
    EXPECT_TRUE(winsim::waitForAsyncNotifyIdle());
    EXPECT_EQ(winsim::takeAsyncNotifyFaults(), expectedFaults);
  }
  // The spooler-hosted sender's channel, as a monitor opens it.
  IPrintAsyncNotifyChannel *open(IPrintAsyncNotifyCallback *callback,
                                 PrintAsyncNotifyConversationStyle style = kBiDirectional,
                                 const char16_t *printer = u"Card Test") {
    GUID type = kSchema;
    IPrintAsyncNotifyChannel *channel = nullptr;
    EXPECT_EQ(RouterCreatePrintAsyncNotificationChannel(printer, &type, kAllUsers, style, callback, &channel), S_OK);
    return channel;
  }
  std::vector<std::string> expectedFaults;
};

// ------------------------------------------------------------ conversations

TEST_F(AsyncNotify, ANotificationReachesTheListenersProcessAndItsAcknowledgementTheSender) {
  Listener tray;
  std::vector<BYTE> ack = payload(6160, 15);
  Data ackData(ack);
  HRESULT closed = E_FAIL;
  // The listener acknowledges from its OnEventNotify by closing the channel,
  // which takes the reference it was handed.
  tray.callback.react = [&](IPrintAsyncNotifyChannel *channel, IPrintAsyncNotifyDataObject *) {
    closed = channel->CloseChannel(&ackData);
  };
  tray.start();
  ASSERT_EQ(tray.registered, S_OK);
  EXPECT_EQ(tray.callback.refs, 2);  // held while registered

  Recorder sender;
  IPrintAsyncNotifyChannel *channel = open(&sender);
  ASSERT_NE(channel, nullptr);
  EXPECT_EQ(sender.refs, 2);  // the channel holds the creator's callback
  std::vector<BYTE> message = payload(6160, 1);
  Data data(message);
  // A successful bidirectional send hands the sender's reference on.
  EXPECT_EQ(channel->SendNotification(&data), S_OK);
  EXPECT_EQ(data.acquired, data.released);
  EXPECT_EQ(data.refs, 1);

  ASSERT_TRUE(tray.callback.waitFor(1));
  ASSERT_TRUE(sender.waitFor(1));
  ASSERT_TRUE(winsim::waitForAsyncNotifyIdle());
  Arrival got = tray.callback.arrivals()[0];
  EXPECT_FALSE(got.closed);
  EXPECT_NE(got.channel, nullptr);
  EXPECT_EQ(got.processId, tray.processId);
  EXPECT_NE(got.processId, GetCurrentProcessId());
  EXPECT_EQ(got.bytes, message);
  EXPECT_TRUE(got.type == kSchema);
  EXPECT_EQ(closed, S_OK);

  Arrival reply = sender.arrivals()[0];
  EXPECT_TRUE(reply.closed);
  EXPECT_EQ(reply.channel, channel);
  EXPECT_EQ(reply.bytes, ack);
  EXPECT_EQ(reply.processId, GetCurrentProcessId());
  // Nobody holds the channel, the copies are gone, and the closed channel
  // let go of the sender's callback.
  EXPECT_EQ(winsim::asyncNotifyLiveObjects().channels, 0u);
  EXPECT_EQ(winsim::asyncNotifyLiveObjects().dataObjects, 0u);
  EXPECT_EQ(sender.refs, 1);
  // The hold the listener's close ended went through the delivery in the
  // sender's process, not through the listener's thread.
  EXPECT_EQ(sender.releasesElsewhere, 0);
  tray.stop();
  EXPECT_EQ(tray.callback.refs, 1);
  EXPECT_TRUE(winsim::asyncNotifyRegistrations().empty());
}

TEST_F(AsyncNotify, TheFirstListenerToAnswerHoldsTheChannelAndTheOthersAreTurnedAway) {
  Listener first, second;
  std::mutex m;
  IPrintAsyncNotifyChannel *held[2] = {nullptr, nullptr};
  // Both keep the reference they are handed, to answer later.
  first.callback.react = [&](IPrintAsyncNotifyChannel *c, IPrintAsyncNotifyDataObject *) {
    std::lock_guard<std::mutex> g(m);
    held[0] = c;
  };
  second.callback.react = [&](IPrintAsyncNotifyChannel *c, IPrintAsyncNotifyDataObject *) {
    std::lock_guard<std::mutex> g(m);
    held[1] = c;
  };
  first.start();
  second.start();
  Recorder sender;
  IPrintAsyncNotifyChannel *channel = open(&sender);
  Data data(payload(64, 1));
  ASSERT_EQ(channel->SendNotification(&data), S_OK);
  ASSERT_TRUE(first.callback.waitFor(1));
  ASSERT_TRUE(second.callback.waitFor(1));
  ASSERT_TRUE(winsim::waitForAsyncNotifyIdle());
  EXPECT_EQ(winsim::asyncNotifyLiveObjects().channels, 1u);

  Data answer(payload(16, 15)), late(payload(16, 15));
  HRESULT won = E_FAIL, lost = E_FAIL, lostClose = E_FAIL;
  first.run([&] { won = held[0]->SendNotification(&answer); });
  second.run([&] {
    lost = held[1]->SendNotification(&late);
    lostClose = held[1]->CloseChannel(&late);
    // Turned away: the reference is still its own to release.
    held[1]->Release();
  });
  EXPECT_EQ(won, S_OK);
  EXPECT_TRUE(SUCCEEDED(lost));
  EXPECT_TRUE(hasCode(lost, CHANNEL_ACQUIRED));
  EXPECT_TRUE(hasCode(lostClose, CHANNEL_ACQUIRED));

  // The answer reaches the sender's OnEventNotify with a reference it now
  // holds; it ends the conversation by closing, which the first listener
  // hears about.
  ASSERT_TRUE(sender.waitFor(1));
  Arrival reply = sender.arrivals()[0];
  EXPECT_FALSE(reply.closed);
  EXPECT_EQ(reply.channel, channel);
  EXPECT_EQ(reply.processId, GetCurrentProcessId());
  EXPECT_EQ(channel->CloseChannel(nullptr), S_OK);
  ASSERT_TRUE(first.callback.waitFor(2));
  Arrival end = first.callback.arrivals()[1];
  EXPECT_TRUE(end.closed);
  EXPECT_FALSE(end.hasData);
  EXPECT_EQ(end.processId, first.processId);
  ASSERT_TRUE(winsim::waitForAsyncNotifyIdle());
  EXPECT_EQ(second.callback.arrivals().size(), 1u);
  EXPECT_EQ(winsim::asyncNotifyLiveObjects().channels, 0u);
  EXPECT_EQ(winsim::asyncNotifyLiveObjects().dataObjects, 0u);
  EXPECT_EQ(sender.refs, 1);
}

TEST_F(AsyncNotify, CallsOnAClosedChannelGiveTheDocumentedResults) {
  Listener tray;
  IPrintAsyncNotifyChannel *held = nullptr;
  tray.callback.react = [&](IPrintAsyncNotifyChannel *c, IPrintAsyncNotifyDataObject *) { held = c; };
  tray.start();
  Recorder sender;
  IPrintAsyncNotifyChannel *channel = open(&sender);
  // Two more references: the send hands one on and the close takes one,
  // the last is kept to try the closed channel.
  channel->AddRef();
  channel->AddRef();
  Data data(payload(32, 1));
  ASSERT_EQ(channel->SendNotification(&data), S_OK);
  // One notification is on its way: the next waits for an answer.
  HRESULT again = channel->SendNotification(&data);
  EXPECT_TRUE(FAILED(again));
  EXPECT_TRUE(hasCode(again, CHANNEL_WAITING_FOR_CLIENT_NOTIFICATION));
  ASSERT_TRUE(tray.callback.waitFor(1));
  EXPECT_EQ(channel->CloseChannel(nullptr), S_OK);
  ASSERT_TRUE(tray.callback.waitFor(2));
  EXPECT_TRUE(tray.callback.arrivals()[1].closed);

  HRESULT send = E_FAIL, close = E_FAIL;
  tray.run([&] {
    send = held->SendNotification(&data);
    // A failed send leaves the reference with the caller ...
    held->AddRef();
    held->Release();
    // ... and a close that finds the channel closed takes it.
    close = held->CloseChannel(nullptr);
  });
  EXPECT_TRUE(FAILED(send));
  EXPECT_TRUE(hasCode(send, CHANNEL_CLOSED_BY_SERVER));
  EXPECT_TRUE(SUCCEEDED(close));
  EXPECT_TRUE(hasCode(close, CHANNEL_ALREADY_CLOSED));
  HRESULT mine = channel->SendNotification(&data);
  EXPECT_TRUE(FAILED(mine));
  EXPECT_TRUE(hasCode(mine, CHANNEL_ALREADY_CLOSED));
  HRESULT wrongType = E_FAIL;
  Data other(payload(4, 1), kOtherSchema);
  wrongType = channel->CloseChannel(&other);
  EXPECT_TRUE(FAILED(wrongType));
  EXPECT_TRUE(hasCode(wrongType, INVALID_NOTIFICATION_TYPE));
  channel->Release();  // the failed calls left it
  ASSERT_TRUE(winsim::waitForAsyncNotifyIdle());
  EXPECT_EQ(winsim::asyncNotifyLiveObjects().channels, 0u);
}

// ------------------------------------------------------------ who receives

TEST_F(AsyncNotify, WithNoMatchingListenerTheSendSucceedsWithNoListeners) {
  // Listeners of another printer, and of another session that asked for its
  // own user's notifications only.
  Listener otherPrinter(u"Other Card"), perUser(u"Card Test", kPerUser, 2), anySession(u"Card Test", kAllUsers, 2);
  otherPrinter.start();
  perUser.start();
  anySession.start();
  Recorder sender;
  IPrintAsyncNotifyChannel *channel = open(&sender);
  Data data(payload(8, 1), kSchema);
  {
    // Matched by name case-insensitively, across sessions for all users.
    HRESULT hr = channel->SendNotification(&data);
    EXPECT_EQ(hr, S_OK);
    ASSERT_TRUE(anySession.callback.waitFor(1));
    anySession.run([&] { anySession.callback.arrivals()[0].channel->Release(); });
  }
  ASSERT_TRUE(winsim::waitForAsyncNotifyIdle());
  EXPECT_TRUE(otherPrinter.callback.arrivals().empty());
  EXPECT_TRUE(perUser.callback.arrivals().empty());
  // The listener let the channel go without answering: the sender hears
  // that the channel ended.
  ASSERT_TRUE(sender.waitFor(1));
  EXPECT_TRUE(sender.arrivals()[0].closed);
  EXPECT_FALSE(sender.arrivals()[0].hasData);

  anySession.stop();
  IPrintAsyncNotifyChannel *second = open(&sender, kBiDirectional, u"card test");
  HRESULT none = second->SendNotification(&data);
  EXPECT_TRUE(SUCCEEDED(none));
  EXPECT_TRUE(hasCode(none, NO_LISTENERS));
  // NO_LISTENERS leaves the reference with the sender.
  EXPECT_EQ(winsim::asyncNotifyLiveObjects().channels, 1u);
  second->Release();
  EXPECT_EQ(winsim::asyncNotifyLiveObjects().channels, 0u);
  channel->Release();  // already handed on: an over-release
  expectedFaults = {"Release of a notification channel that holds no reference (over-release)"};
}

TEST_F(AsyncNotify, AUnidirectionalChannelDeliversWithoutAChannelAndStaysTheSenders) {
  GUID type = kSchema;
  Recorder listener;
  HANDLE reg = nullptr;
  ASSERT_EQ(RegisterForPrintAsyncNotifications(u"Card Test", &type, kAllUsers, kUniDirectional, &listener, &reg), S_OK);
  HANDLE dup = nullptr;
  HRESULT twice = RegisterForPrintAsyncNotifications(u"Card Test", &type, kAllUsers, kUniDirectional, &listener, &dup);
  EXPECT_TRUE(FAILED(twice));
  EXPECT_TRUE(hasCode(twice, ALREADY_REGISTERED));
  IPrintAsyncNotifyChannel *channel = open(nullptr, kUniDirectional);
  ASSERT_NE(channel, nullptr);
  Data data(payload(10, 3));
  EXPECT_EQ(channel->SendNotification(&data), S_OK);
  EXPECT_EQ(channel->SendNotification(&data), S_OK);
  ASSERT_TRUE(listener.waitFor(2));
  EXPECT_EQ(listener.arrivals()[0].channel, nullptr);
  EXPECT_EQ(listener.arrivals()[1].bytes, payload(10, 3));
  EXPECT_EQ(channel->CloseChannel(nullptr), S_OK);
  ASSERT_TRUE(winsim::waitForAsyncNotifyIdle());
  EXPECT_EQ(winsim::asyncNotifyLiveObjects().channels, 1u);  // the sender abandons it with Release
  channel->Release();
  EXPECT_EQ(winsim::asyncNotifyLiveObjects().channels, 0u);
  EXPECT_EQ(UnRegisterForPrintAsyncNotifications(reg), S_OK);
  HRESULT second = UnRegisterForPrintAsyncNotifications(reg);
  EXPECT_TRUE(SUCCEEDED(second));
  EXPECT_TRUE(hasCode(second, ALREADY_UNREGISTERED));
  EXPECT_TRUE(hasCode(UnRegisterForPrintAsyncNotifications(reinterpret_cast<HANDLE>(0x1234)), NOT_REGISTERED));
  EXPECT_EQ(listener.refs, 1);
}

TEST_F(AsyncNotify, OnlyTheSpoolerOpensChannelsThroughWinspoolAndBadArgumentsAreRefused) {
  GUID type = kSchema;
  Recorder cb;
  IPrintAsyncNotifyChannel *channel = reinterpret_cast<IPrintAsyncNotifyChannel *>(1);
  // A driver an application loaded calls from the application's process.
  EXPECT_TRUE(FAILED(CreatePrintAsyncNotifyChannel(u"Card Test", &type, kAllUsers, kBiDirectional, &cb, &channel)));
  EXPECT_EQ(channel, nullptr);
  winsim::setProcessImageName(u"spoolsv.exe");
  ASSERT_EQ(CreatePrintAsyncNotifyChannel(u"Card Test", &type, kAllUsers, kBiDirectional, &cb, &channel), S_OK);
  EXPECT_EQ(cb.refs, 2);  // the open channel keeps the creator's callback
  channel->Release();     // abandoned unused: the channel ends and lets go of it
  EXPECT_EQ(cb.refs, 1);
  EXPECT_TRUE(FAILED(
      RouterCreatePrintAsyncNotificationChannel(u"No Such Printer", &type, kAllUsers, kBiDirectional, &cb, &channel)));
  EXPECT_EQ(
      RouterCreatePrintAsyncNotificationChannel(u"Card Test", &type, kAllUsers, kBiDirectional, nullptr, &channel),
      E_INVALIDARG);
  HANDLE reg = nullptr;
  EXPECT_EQ(RegisterForPrintAsyncNotifications(u"Card Test", &type, kAllUsers, kBiDirectional, nullptr, &reg),
            E_INVALIDARG);
  EXPECT_EQ(RegisterForPrintAsyncNotifications(u"Card Test", nullptr, kAllUsers, kBiDirectional, &cb, &reg),
            E_INVALIDARG);
  // The print server is a target too.
  ASSERT_EQ(RegisterForPrintAsyncNotifications(nullptr, &type, kAllUsers, kBiDirectional, &cb, &reg), S_OK);
  EXPECT_EQ(winsim::asyncNotifyRegistrations().size(), 1u);
  EXPECT_EQ(winsim::asyncNotifyRegistrations()[0].name, u"");
  EXPECT_EQ(UnRegisterForPrintAsyncNotifications(reg), S_OK);

  for (const char *name :
       {"RegisterForPrintAsyncNotifications", "UnRegisterForPrintAsyncNotifications", "CreatePrintAsyncNotifyChannel"})
    EXPECT_NE(GetProcAddress(LoadLibraryW(u"winspool.drv"), name), nullptr) << name;
  EXPECT_NE(GetProcAddress(LoadLibraryW(u"spoolss.dll"), "RouterCreatePrintAsyncNotificationChannel"), nullptr);
}

// ------------------------------------------------------------ the audit

TEST_F(AsyncNotify, LeaksAndOverReleasesAreReportedNotFollowed) {
  Recorder sender;
  IPrintAsyncNotifyChannel *leaked = open(&sender);
  Data data(payload(4, 1));
  EXPECT_TRUE(hasCode(leaked->SendNotification(&data), NO_LISTENERS));
  EXPECT_EQ(winsim::asyncNotifyLiveObjects().channels, 1u);  // never released

  IPrintAsyncNotifyChannel *twice = open(&sender);
  EXPECT_EQ(twice->Release(), 0u);
  EXPECT_EQ(twice->Release(), 0u);  // ignored and reported
  twice->CloseChannel(nullptr);     // a call through a released pointer: reported, no crash

  // A listener that keeps a data object beyond its call leaks it.
  GUID type = kSchema;
  Recorder keeper;
  IPrintAsyncNotifyDataObject *kept = nullptr;
  keeper.react = [&](IPrintAsyncNotifyChannel *c, IPrintAsyncNotifyDataObject *d) {
    d->AddRef();
    kept = d;
    c->Release();
  };
  HANDLE reg = nullptr;
  ASSERT_EQ(RegisterForPrintAsyncNotifications(u"Card Test", &type, kAllUsers, kBiDirectional, &keeper, &reg), S_OK);
  IPrintAsyncNotifyChannel *third = open(&sender);
  ASSERT_EQ(third->SendNotification(&data), S_OK);
  ASSERT_TRUE(keeper.waitFor(1));
  ASSERT_TRUE(winsim::waitForAsyncNotifyIdle());
  EXPECT_EQ(winsim::asyncNotifyLiveObjects().dataObjects, 1u);
  kept->Release();
  EXPECT_EQ(winsim::asyncNotifyLiveObjects().dataObjects, 0u);
  kept->Release();  // once more than it held
  EXPECT_EQ(UnRegisterForPrintAsyncNotifications(reg), S_OK);
  EXPECT_EQ(winsim::asyncNotifyLiveObjects().channels, 1u);
  auto faults = winsim::takeAsyncNotifyFaults();
  ASSERT_EQ(faults.size(), 3u);
  EXPECT_EQ(faults[0], "Release of a notification channel that holds no reference (over-release)");
  EXPECT_EQ(faults[1], "CloseChannel on a notification channel without holding a reference to it");
  EXPECT_EQ(faults[2], "Release of a notification data object that holds no reference (over-release)");
}

// ------------------------------------------------------------ endings

TEST_F(AsyncNotify, DeletingThePrinterTellsItsRegistrationsToLetGo) {
  Listener tray, other(u"Other Card");
  tray.start();
  other.start();
  HANDLE h = nullptr;
  std::u16string name = u"Card Test";
  ASSERT_TRUE(OpenPrinterW(name.data(), &h, nullptr));
  ASSERT_TRUE(DeletePrinter(h));
  ClosePrinter(h);
  ASSERT_TRUE(tray.callback.waitFor(1));
  Arrival release = tray.callback.arrivals()[0];
  EXPECT_FALSE(release.closed);
  EXPECT_EQ(release.channel, nullptr);
  EXPECT_TRUE(release.type == NOTIFICATION_RELEASE);
  EXPECT_EQ(release.processId, tray.processId);
  ASSERT_TRUE(winsim::waitForAsyncNotifyIdle());
  EXPECT_TRUE(other.callback.arrivals().empty());
  EXPECT_EQ(winsim::asyncNotifyLiveObjects().dataObjects, 0u);

  // A spooler that stops tells every registration, then lets go of them.
  winsim::restartSpooler();
  ASSERT_TRUE(other.callback.waitFor(1));
  EXPECT_TRUE(other.callback.arrivals()[0].type == NOTIFICATION_RELEASE);
  EXPECT_TRUE(winsim::asyncNotifyRegistrations().empty());
  EXPECT_EQ(other.callback.refs, 1);
  EXPECT_EQ(tray.callback.refs, 1);
}

TEST_F(AsyncNotify, UnregisteringDuringADeliveryLetsItFinishAndEndsTheConversation) {
  Listener tray;
  std::mutex m;
  std::condition_variable cv;
  bool inside = false, letGo = false;
  long refsInside = 0;
  tray.callback.react = [&](IPrintAsyncNotifyChannel *c, IPrintAsyncNotifyDataObject *) {
    std::unique_lock<std::mutex> lk(m);
    inside = true;
    cv.notify_all();
    cv.wait_for(lk, std::chrono::milliseconds(kWaitMs), [&] { return letGo; });
    refsInside = tray.callback.refs;
    c->Release();  // leaves without answering
  };
  tray.start();
  Recorder sender;
  IPrintAsyncNotifyChannel *channel = open(&sender);
  Data data(payload(6160, 1));
  ASSERT_EQ(channel->SendNotification(&data), S_OK);
  {
    std::unique_lock<std::mutex> lk(m);
    ASSERT_TRUE(cv.wait_for(lk, std::chrono::milliseconds(kWaitMs), [&] { return inside; }));
  }
  HRESULT unregistered = E_FAIL;
  tray.run([&] { unregistered = UnRegisterForPrintAsyncNotifications(tray.registration); });
  EXPECT_EQ(unregistered, S_OK);
  EXPECT_TRUE(winsim::asyncNotifyRegistrations().empty());
  // The listener held the channel: the sender hears that it ended.
  ASSERT_TRUE(sender.waitFor(1));
  EXPECT_TRUE(sender.arrivals()[0].closed);
  {
    std::lock_guard<std::mutex> g(m);
    letGo = true;
    cv.notify_all();
  }
  ASSERT_TRUE(winsim::waitForAsyncNotifyIdle());
  EXPECT_EQ(refsInside, 2);  // the running delivery's own reference
  EXPECT_EQ(tray.callback.refs, 1);
  EXPECT_EQ(winsim::asyncNotifyLiveObjects().channels, 0u);
  EXPECT_EQ(sender.refs, 1);
  EXPECT_EQ(sender.releasesElsewhere, 0);
  IPrintAsyncNotifyChannel *next = open(&sender);
  EXPECT_TRUE(hasCode(next->SendNotification(&data), NO_LISTENERS));
  next->Release();
  EXPECT_EQ(tray.callback.arrivals().size(), 1u);
}

TEST_F(AsyncNotify, AProcessThatEndsLosesItsRegistrationsAndItsChannels) {
  Listener tray;
  IPrintAsyncNotifyChannel *held = nullptr;
  tray.callback.react = [&](IPrintAsyncNotifyChannel *c, IPrintAsyncNotifyDataObject *) { held = c; };
  tray.start(false);  // ends without unregistering
  ASSERT_EQ(winsim::asyncNotifyRegistrations().size(), 1u);
  EXPECT_EQ(winsim::asyncNotifyRegistrations()[0].processId, tray.processId);
  Recorder sender;
  IPrintAsyncNotifyChannel *channel = open(&sender);
  Data data(payload(16, 1));
  ASSERT_EQ(channel->SendNotification(&data), S_OK);
  ASSERT_TRUE(tray.callback.waitFor(1));
  ASSERT_TRUE(winsim::waitForAsyncNotifyIdle());
  ASSERT_NE(held, nullptr);
  tray.stop();
  EXPECT_TRUE(eventually([] { return winsim::asyncNotifyRegistrations().empty(); }));
  // Its objects went with it: the broker made no call into them but to give
  // back the registration's reference, as the program's memory going would
  // (the test's own reference is left; the process's end may still be
  // running on its last thread) ...
  EXPECT_TRUE(eventually([&] { return tray.callback.refs == 1; }));
  EXPECT_EQ(tray.callback.arrivals().size(), 1u);
  // ... and the sender hears that the channel ended, with no data.
  ASSERT_TRUE(sender.waitFor(1));
  EXPECT_TRUE(sender.arrivals()[0].closed);
  EXPECT_FALSE(sender.arrivals()[0].hasData);
  ASSERT_TRUE(winsim::waitForAsyncNotifyIdle());
  EXPECT_EQ(winsim::asyncNotifyLiveObjects().channels, 0u);
  EXPECT_TRUE(eventually([&] { return sender.refs == 1; }));
  EXPECT_EQ(sender.releasesElsewhere, 0);
  IPrintAsyncNotifyChannel *next = open(&sender);
  EXPECT_TRUE(hasCode(next->SendNotification(&data), NO_LISTENERS));
  next->Release();
}

}  // namespace

namespace {

TEST_F(AsyncNotify, AResetEndsADeliveryWaitingInsideTheListener) {
  GUID type = kSchema;
  Recorder listener;
  HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<bool> waiting{false};
  listener.react = [&](IPrintAsyncNotifyChannel *, IPrintAsyncNotifyDataObject *) {
    waiting = true;
    WaitForSingleObject(never, INFINITE);
  };
  HANDLE reg = nullptr;
  ASSERT_EQ(RegisterForPrintAsyncNotifications(u"Card Test", &type, kAllUsers, kBiDirectional, &listener, &reg), S_OK);
  Recorder sender;
  IPrintAsyncNotifyChannel *channel = open(&sender);
  Data data(payload(8, 1));
  ASSERT_EQ(channel->SendNotification(&data), S_OK);
  ASSERT_TRUE(eventually([&] { return waiting.load(); }));
  EXPECT_FALSE(winsim::waitForAsyncNotifyIdle(0));
  auto started = std::chrono::steady_clock::now();
  winsim::resetMachine();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  // No spooler thread is left, and the machine starts with no registration.
  EXPECT_TRUE(winsim::waitForAsyncNotifyIdle(0));
  EXPECT_TRUE(winsim::asyncNotifyRegistrations().empty());
  EXPECT_EQ(winsim::asyncNotifyLiveObjects().channels, 0u);
}

}  // namespace
