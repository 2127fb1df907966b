// The asynchronous notification broker (see async_notify.h).
//
// References follow the channel's documented rules.  Whoever holds a channel
// pointer holds one reference: the creator from CreatePrintAsyncNotifyChannel,
// a listener for the duration of its OnEventNotify and after it.  On a
// bidirectional channel a successful SendNotification hands the caller's
// reference on to the receivers, and a successful CloseChannel (or one that
// finds the channel already closed) consumes it; a failed call, NO_LISTENERS
// and CHANNEL_ACQUIRED leave it with the caller, who releases it.  A
// unidirectional channel is the creator's until it releases it.  Each side
// (the creator, each registration that received the channel) has an object
// of its own, as each process has its own proxy, so that a Release is
// counted against the side that made it.
//
// Nothing the broker hands out is freed before the machine is reset: a
// Release below zero or a call on an object without references is recorded
// as a fault and otherwise ignored, never a use of freed memory.
#include "spoolss/async_notify.h"

#include <prnasntp.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/internal.h"
#include "kernel32/threads.h"
#include "spoolss/spooler_state.h"

namespace winsim::spool {

namespace {

HRESULT notifyError(PrintAsyncNotifyError code) { return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, code); }
HRESULT notifySuccess(PrintAsyncNotifyError code) { return MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_ITF, code); }

// The broker's state; kept past static destruction, as delivery threads
// may still look at it while the process ends.
std::mutex &brokerLock() {
  static auto *m = new std::mutex;
  return *m;
}
std::condition_variable &brokerCv() {
  static auto *cv = new std::condition_variable;
  return *cv;
}

std::vector<std::string> &faults() {
  static auto *f = new std::vector<std::string>;
  return *f;
}
void faultLocked(const std::string &what) { faults().push_back(what); }

struct Channel;
class ChannelEnd;

// IUnknown's QueryInterface for an object of one interface: itself, with a
// reference, for IUnknown and that interface.
template <typename Interface>
HRESULT answerQuery(Interface *self, REFIID riid, const IID &iid, void **out) {
  if (!out) return E_POINTER;
  if (riid == IID_IUnknown || riid == iid) {
    self->AddRef();
    *out = self;
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

// A notification's data as the receiver gets it: the broker's own copy of
// the sender's bytes, one object per delivery.
class DataObject final : public IPrintAsyncNotifyDataObject {
 public:
  DataObject(std::vector<BYTE> bytes, const GUID &type) : bytes_(std::move(bytes)), type_(type) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **out) override {
    return answerQuery<IPrintAsyncNotifyDataObject>(this, riid, IID_IPrintAsyncNotifyDataObject, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    std::lock_guard<std::mutex> g(brokerLock());
    if (refs_ == 0) faultLocked("AddRef on a notification data object after its last Release");
    return ULONG(++refs_);
  }
  ULONG STDMETHODCALLTYPE Release() override {
    std::lock_guard<std::mutex> g(brokerLock());
    return releaseLocked("Release of a notification data object that holds no reference (over-release)");
  }
  HRESULT STDMETHODCALLTYPE AcquireData(BYTE **data, ULONG *size, PrintAsyncNotificationType **schema) override {
    std::lock_guard<std::mutex> g(brokerLock());
    if (refs_ == 0) faultLocked("AcquireData on a notification data object after its last Release");
    ++acquired_;
    if (data) *data = bytes_.empty() ? nullptr : bytes_.data();
    if (size) *size = ULONG(bytes_.size());
    if (schema) *schema = &type_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ReleaseData() override {
    std::lock_guard<std::mutex> g(brokerLock());
    if (acquired_ == 0) {
      faultLocked("ReleaseData on a notification data object without AcquireData");
      return S_OK;
    }
    --acquired_;
    return S_OK;
  }
  // The broker's own reference, dropped once the receiver's call returned.
  void releaseBrokerRefLocked() {
    releaseLocked("a receiver released a notification data object it did not AddRef (over-release)");
  }
  bool live() const { return refs_ > 0; }

 private:
  ULONG releaseLocked(const char *fault) {
    if (refs_ == 0) {
      faultLocked(fault);
      return 0;
    }
    if (--refs_ == 0) {
      // The bytes go; the object itself stays until the machine is reset,
      // so that a late call finds it and is reported.
      std::vector<BYTE>().swap(bytes_);
    }
    return ULONG(refs_);
  }
  long refs_ = 1;  // the broker's, for the delivery
  long acquired_ = 0;
  std::vector<BYTE> bytes_;
  GUID type_;
};

enum class Closer { None, Creator, Listener, ListenerGone, Spooler };

struct Registration {
  uint64_t id = 0;
  HANDLE handle = nullptr;
  std::u16string name;  // upper case; empty: the server
  GUID type{};
  PrintAsyncNotifyUserFilter filter = kPerUser;
  PrintAsyncNotifyConversationStyle style = kBiDirectional;
  IPrintAsyncNotifyCallback *callback = nullptr;  // AddRef'd while registered
  std::shared_ptr<ProcessRecord> process;
  DWORD processId = 0, sessionId = 0;
};

// One side of a channel: the creator's (registration 0) or a listener's.
class ChannelEnd final : public IPrintAsyncNotifyChannel {
 public:
  ChannelEnd(Channel *channel, uint64_t registration, long refs)
      : channel_(channel), registration_(registration), refs_(refs) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **out) override {
    return answerQuery<IPrintAsyncNotifyChannel>(this, riid, IID_IPrintAsyncNotifyChannel, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE SendNotification(IPrintAsyncNotifyDataObject *data) override;
  HRESULT STDMETHODCALLTYPE CloseChannel(IPrintAsyncNotifyDataObject *data) override;

  Channel *channel_;
  uint64_t registration_;  // 0: the creator
  long refs_;
  long pending_ = 0;   // deliveries queued for this side and not yet made
  bool gone_ = false;  // its process ended: its references went with it
};

struct Channel {
  std::u16string name;  // upper case; empty: the server
  GUID type{};
  PrintAsyncNotifyUserFilter filter = kPerUser;
  PrintAsyncNotifyConversationStyle style = kBiDirectional;
  IPrintAsyncNotifyCallback *creatorCallback = nullptr;  // AddRef'd until the channel closes
  std::shared_ptr<ProcessRecord> creatorProcess;
  DWORD creatorSession = 0;
  bool creatorGone = false;
  std::unique_ptr<ChannelEnd> creatorEnd;
  std::map<uint64_t, std::unique_ptr<ChannelEnd>> listenerEnds;
  bool closed = false;
  Closer closer = Closer::None;
  uint64_t closerRegistration = 0;
  uint64_t acquiredBy = 0;     // the first listener that answered
  bool listenersTurn = false;  // the creator sent and waits for an answer
  bool bidirectional() const { return style == kBiDirectional; }
};

// Deliveries to one receiver on one channel go in order, on one thread at
// a time; different receivers and channels are served side by side.
struct Delivery {
  bool closed = false;                            // ChannelClosed, else OnEventNotify
  IPrintAsyncNotifyCallback *callback = nullptr;  // AddRef'd for the delivery
  ChannelEnd *end = nullptr;
  DataObject *data = nullptr;
  uint64_t registration = 0;  // 0: the creator's callback
  // The reference comes from the channel's hold on the creator's callback
  // instead of a new AddRef.  A channel ended from the listener's side lets
  // go of that hold through the delivery, so that the last Release of the
  // creator's object is made on a thread of the creator's process, as a
  // proxy's would be, and never on the listener's thread.
  bool inheritsRef = false;
};
struct Mailbox {
  std::shared_ptr<ProcessRecord> process;
  std::deque<Delivery> queue;
  bool running = false;
  KObject *thread = nullptr;  // while running: its thread, referenced, for the spooler's stop
};
using MailboxKey = std::pair<const void *, const Channel *>;

struct Broker {
  std::map<uint64_t, std::shared_ptr<Registration>> registrations;
  std::vector<uintptr_t> unregistered;  // handles given out and unregistered since
  std::vector<std::unique_ptr<Channel>> channels;
  std::vector<std::unique_ptr<DataObject>> dataObjects;
  std::map<MailboxKey, std::shared_ptr<Mailbox>> mailboxes;
  uint64_t nextRegistration = 1;
  int threads = 0;        // delivery threads running
  bool stopping = false;  // the spooler stops: no delivery starts
};
Broker &broker() {
  static auto *b = new Broker;
  return *b;
}

// Registration handles are opaque values, as the spooler's context handles
// are, never given out twice.
constexpr uintptr_t kHandleBase = uintptr_t(0x4E0000000000);
HANDLE handleFor(uint64_t id) { return reinterpret_cast<HANDLE>(kHandleBase + id * 8); }

std::u16string targetName(PCWSTR name) {
  std::u16string n = fromW(name);
  // "\\server" (or nothing) names the print server; winsim has one.
  if (n.empty() || (n.size() >= 2 && n[0] == u'\\' && n[1] == u'\\' && n.find(u'\\', 2) == std::u16string::npos))
    return std::u16string();
  return upper(n);
}

// The test's own process, which never ends (its threads are not counted).
const std::shared_ptr<ProcessRecord> &initialProcess() {
  static auto *p = new std::shared_ptr<ProcessRecord>(currentProcess());
  return *p;
}
[[maybe_unused]] const bool kInitialKnown = (initialProcess(), true);

// A process whose threads have all ended is gone, or about to be: nothing
// is started in it any more.
bool processAlive(const std::shared_ptr<ProcessRecord> &p) {
  if (!p) return false;
  if (p == initialProcess()) return true;
  std::lock_guard<std::mutex> g(processLock());
  return p->threads.load() > 0 && p->exitCode == STILL_ACTIVE;
}

DWORD WINAPI mailboxMain(LPVOID param);

DataObject *newDataLocked(std::vector<BYTE> bytes, const GUID &type) {
  auto d = std::make_unique<DataObject>(std::move(bytes), type);
  DataObject *raw = d.get();
  broker().dataObjects.push_back(std::move(d));
  return raw;
}

// Queues a delivery; the callback's reference for it is taken here, while
// its registration (or channel) still holds one, unless the delivery takes
// over the channel's (inheritsRef; false: the caller still holds it).
bool postLocked(const std::shared_ptr<ProcessRecord> &process, const Channel *channel, Delivery d) {
  Broker &b = broker();
  if (b.stopping || !processAlive(process)) {
    // Its process is gone, or the spooler stops: the delivery is not made.
    if (d.end && !d.closed && d.end->channel_->bidirectional() && d.end->refs_ > 0) --d.end->refs_;
    if (d.data) d.data->releaseBrokerRefLocked();
    return false;
  }
  if (!d.inheritsRef) d.callback->AddRef();
  if (d.end) ++d.end->pending_;
  MailboxKey key{d.callback, channel};
  auto &mb = b.mailboxes[key];
  if (!mb) {
    mb = std::make_shared<Mailbox>();
    mb->process = process;
  }
  mb->queue.push_back(d);
  if (mb->running) return true;
  mb->running = true;
  ++b.threads;
  auto *param = new std::shared_ptr<Mailbox>(mb);
  HANDLE h = startThreadIn(process, 0, mailboxMain, param, 0, nullptr);
  if (!h) {
    delete param;
    mb->running = false;
    --b.threads;
    return true;
  }
  mb->thread = lookup(h, Kind::Thread);
  closeHandle(h);
  return true;
}

// Undoes what a delivery that will not be made held: the reference its
// channel side was handed, and the data object.  Returns the callback whose
// delivery reference the caller releases (NULL when its process is gone).
IPrintAsyncNotifyCallback *dropDeliveryLocked(Delivery &d, bool processGone) {
  if (d.end) {
    --d.end->pending_;
    if (!d.closed && d.end->channel_->bidirectional() && d.end->refs_ > 0) --d.end->refs_;
  }
  if (d.data) d.data->releaseBrokerRefLocked();
  return processGone ? nullptr : d.callback;
}

void releaseAll(const std::vector<IPrintAsyncNotifyCallback *> &callbacks) {
  for (auto *cb : callbacks)
    if (cb) cb->Release();
}

bool registrationLive(uint64_t id) { return broker().registrations.count(id) != 0; }

// True when a listener other than `except` can still answer on the channel.
bool someListenerCanAnswerLocked(const Channel &c, uint64_t except) {
  for (auto &[reg, end] : c.listenerEnds) {
    if (reg == except || end->gone_ || !registrationLive(reg)) continue;
    if (end->refs_ > 0 || end->pending_ > 0) return true;
  }
  return false;
}

// Closes the channel on the creator's behalf when its listener side is gone;
// the creator's callback is told with a null data object, and that delivery
// takes over the channel's reference.  Returns the creator's callback
// reference that the caller releases (NULL when the delivery has it).
IPrintAsyncNotifyCallback *closeForCreatorLocked(Channel &c, Closer closer, uint64_t registration) {
  if (c.closed) return nullptr;
  c.closed = true;
  c.closer = closer;
  c.closerRegistration = registration;
  IPrintAsyncNotifyCallback *cb = c.creatorCallback;
  c.creatorCallback = nullptr;
  if (!cb || c.creatorGone) return nullptr;
  Delivery d;
  d.closed = true;
  d.callback = cb;
  d.end = c.creatorEnd.get();
  d.inheritsRef = true;
  return postLocked(c.creatorProcess, &c, d) ? nullptr : cb;
}

// A listener (registration) leaves: its process ended, or it unregistered.
// A channel it answered on, or that nobody else can answer any more, ends.
void listenerLeavesLocked(uint64_t registration, bool processGone, std::vector<IPrintAsyncNotifyCallback *> &release) {
  Broker &b = broker();
  for (auto &c : b.channels) {
    auto it = c->listenerEnds.find(registration);
    if (it == c->listenerEnds.end()) continue;
    ChannelEnd &end = *it->second;
    bool held = end.refs_ > 0 || end.pending_ > 0 || c->acquiredBy == registration;
    if (processGone) end.gone_ = true;
    if (c->closed || !c->bidirectional() || !held) continue;
    if (c->acquiredBy == registration || (c->acquiredBy == 0 && !someListenerCanAnswerLocked(*c, registration)))
      release.push_back(closeForCreatorLocked(*c, Closer::ListenerGone, registration));
  }
  // Deliveries not yet made to it.
  for (auto it = b.mailboxes.begin(); it != b.mailboxes.end();) {
    auto &q = it->second->queue;
    for (auto d = q.begin(); d != q.end();) {
      if (d->registration == registration) {
        // A delivery to an ended process's callback gives back its
        // reference too (see processEnded).
        release.push_back(dropDeliveryLocked(*d, false));
        d = q.erase(d);
      } else {
        ++d;
      }
    }
    if (q.empty() && !it->second->running)
      it = b.mailboxes.erase(it);
    else
      ++it;
  }
}

bool matches(const Registration &r, const Channel &c) {
  if (r.name != c.name || r.type != c.type || r.style != c.style) return false;
  if (r.filter == kAllUsers && c.filter == kAllUsers) return true;
  return r.sessionId == c.creatorSession;
}

DWORD WINAPI mailboxMain(LPVOID param) {
  std::shared_ptr<Mailbox> mb = *static_cast<std::shared_ptr<Mailbox> *>(param);
  delete static_cast<std::shared_ptr<Mailbox> *>(param);
  Broker &b = broker();
  // Runs however the thread ends: out of deliveries, stopped, or ended
  // inside a callback (ExitThread, TerminateThread, the process's end).
  struct Finish {
    std::shared_ptr<Mailbox> &mb;
    Broker &b;
    DataObject *inCall = nullptr;  // the data of a call the thread ended in
    ~Finish() {
      std::lock_guard<std::mutex> g(brokerLock());
      if (inCall) inCall->releaseBrokerRefLocked();
      // What is left is dropped without calling anyone.
      for (auto &left : mb->queue) dropDeliveryLocked(left, true);
      mb->queue.clear();
      mb->running = false;
      // The thread object stays alive past this: the running thread holds
      // its own reference until it has ended.
      if (mb->thread) release(mb->thread);
      mb->thread = nullptr;
      for (auto it = b.mailboxes.begin(); it != b.mailboxes.end(); ++it)
        if (it->second == mb) {
          b.mailboxes.erase(it);
          break;
        }
      --b.threads;
      brokerCv().notify_all();
    }
  } finish{mb, b};
  for (;;) {
    Delivery d;
    std::vector<IPrintAsyncNotifyCallback *> release;
    {
      std::lock_guard<std::mutex> g(brokerLock());
      if (mb->queue.empty() || b.stopping || terminationRequested()) return 0;
      d = mb->queue.front();
      mb->queue.pop_front();
      if (d.end) --d.end->pending_;
      finish.inCall = d.data;
    }
    if (d.closed)
      d.callback->ChannelClosed(d.end, d.data);
    else
      d.callback->OnEventNotify(d.end, d.data);
    {
      std::lock_guard<std::mutex> g(brokerLock());
      finish.inCall = nullptr;
      if (d.data) d.data->releaseBrokerRefLocked();
      // A listener that let go of the channel in its OnEventNotify without
      // answering, when nobody else can answer: the creator is told.
      if (d.end && !d.closed && d.end->registration_ != 0 && d.end->refs_ == 0) {
        Channel &c = *d.end->channel_;
        if (!c.closed && c.bidirectional() && c.acquiredBy == 0 && c.listenersTurn &&
            !someListenerCanAnswerLocked(c, 0))
          release.push_back(closeForCreatorLocked(c, Closer::ListenerGone, d.end->registration_));
      }
    }
    d.callback->Release();
    releaseAll(release);
  }
}

// Copies the sender's data, as marshalling it to the receiver would.
HRESULT copyData(IPrintAsyncNotifyDataObject *data, std::vector<BYTE> &bytes, GUID &type, bool &typeGiven) {
  BYTE *p = nullptr;
  ULONG size = 0;
  PrintAsyncNotificationType *schema = nullptr;
  HRESULT hr = data->AcquireData(&p, &size, &schema);
  if (FAILED(hr)) return hr;
  if (p && size) bytes.assign(p, p + size);
  typeGiven = schema != nullptr;
  if (schema) type = *schema;
  data->ReleaseData();
  return S_OK;
}

void noteCallLocked(const ChannelEnd &end, const char *call) {
  if (end.refs_ <= 0 && !end.gone_)
    faultLocked(std::string(call) + " on a notification channel without holding a reference to it");
}

void consumeLocked(ChannelEnd &end) {
  if (end.refs_ > 0) --end.refs_;
}

}  // namespace

ULONG ChannelEnd::AddRef() {
  std::lock_guard<std::mutex> g(brokerLock());
  if (refs_ == 0 && !gone_) faultLocked("AddRef on a notification channel without holding a reference to it");
  return ULONG(++refs_);
}

ULONG ChannelEnd::Release() {
  std::vector<IPrintAsyncNotifyCallback *> release;
  ULONG left = 0;
  {
    std::lock_guard<std::mutex> g(brokerLock());
    if (refs_ == 0) {
      faultLocked("Release of a notification channel that holds no reference (over-release)");
      return 0;
    }
    left = ULONG(--refs_);
    Channel &c = *channel_;
    // The creator abandons a channel it has no notification out on: the
    // channel ends, and with it the hold on the creator's callback.
    if (left == 0 && registration_ == 0 && pending_ == 0 && !c.closed && !c.listenersTurn &&
        !someListenerCanAnswerLocked(c, 0)) {
      c.closed = true;
      c.closer = Closer::Creator;
      if (!c.creatorGone) release.push_back(c.creatorCallback);
      c.creatorCallback = nullptr;
    }
    // A listener that lets the channel go without answering, when nobody
    // else can answer: the creator is told that the channel ended.
    if (left == 0 && registration_ != 0 && pending_ == 0 && !c.closed && c.bidirectional() && c.acquiredBy == 0 &&
        c.listenersTurn && !someListenerCanAnswerLocked(c, 0))
      release.push_back(closeForCreatorLocked(c, Closer::ListenerGone, registration_));
  }
  releaseAll(release);
  return left;
}

HRESULT ChannelEnd::SendNotification(IPrintAsyncNotifyDataObject *data) {
  if (!data) return E_POINTER;
  std::vector<BYTE> bytes;
  GUID type{};
  bool typeGiven = false;
  if (HRESULT hr = copyData(data, bytes, type, typeGiven); FAILED(hr)) return hr;
  std::lock_guard<std::mutex> g(brokerLock());
  Broker &b = broker();
  Channel &c = *channel_;
  noteCallLocked(*this, "SendNotification");
  if (typeGiven && type != c.type) return notifyError(INVALID_NOTIFICATION_TYPE);
  if (registration_ == 0) {
    if (c.closed) return notifyError(CHANNEL_ALREADY_CLOSED);
    if (c.bidirectional() && c.listenersTurn) return notifyError(CHANNEL_WAITING_FOR_CLIENT_NOTIFICATION);
    std::vector<std::shared_ptr<Registration>> to;
    for (auto &[id, r] : b.registrations) {
      if (c.acquiredBy ? id != c.acquiredBy : !matches(*r, c)) continue;
      if (processAlive(r->process)) to.push_back(r);
    }
    if (to.empty()) return notifySuccess(NO_LISTENERS);
    for (auto &r : to) {
      Delivery d;
      d.callback = r->callback;
      d.registration = r->id;
      d.data = newDataLocked(bytes, c.type);
      if (c.bidirectional()) {
        auto &end = c.listenerEnds[r->id];
        if (!end) end = std::make_unique<ChannelEnd>(&c, r->id, 0);
        ++end->refs_;  // the listener's, for its OnEventNotify and after
        d.end = end.get();
      }
      postLocked(r->process, &c, d);
    }
    if (c.bidirectional()) {
      consumeLocked(*this);
      c.listenersTurn = true;
    }
    return S_OK;
  }
  // A listener answers.
  if (c.acquiredBy && c.acquiredBy != registration_) return notifySuccess(CHANNEL_ACQUIRED);
  if (c.closed) {
    if (c.closer == Closer::Creator) return notifyError(CHANNEL_CLOSED_BY_SERVER);
    if (c.closer == Closer::Listener && c.closerRegistration == registration_)
      return notifyError(CHANNEL_CLOSED_BY_SAME_LISTENER);
    return notifyError(CHANNEL_ALREADY_CLOSED);
  }
  if (!c.listenersTurn) return notifyError(CHANNEL_WAITING_FOR_CLIENT_NOTIFICATION);
  c.acquiredBy = registration_;
  c.listenersTurn = false;
  consumeLocked(*this);
  if (c.creatorCallback && !c.creatorGone) {
    ++c.creatorEnd->refs_;  // handed on to the creator's OnEventNotify
    Delivery d;
    d.callback = c.creatorCallback;
    d.end = c.creatorEnd.get();
    d.data = newDataLocked(std::move(bytes), c.type);
    postLocked(c.creatorProcess, &c, d);
  }
  return S_OK;
}

HRESULT ChannelEnd::CloseChannel(IPrintAsyncNotifyDataObject *data) {
  std::vector<BYTE> bytes;
  GUID type{};
  bool typeGiven = false;
  if (data)
    if (HRESULT hr = copyData(data, bytes, type, typeGiven); FAILED(hr)) return hr;
  std::vector<IPrintAsyncNotifyCallback *> release;
  HRESULT result = S_OK;
  {
    std::lock_guard<std::mutex> g(brokerLock());
    Broker &b = broker();
    Channel &c = *channel_;
    noteCallLocked(*this, "CloseChannel");
    if (typeGiven && type != c.type) return notifyError(INVALID_NOTIFICATION_TYPE);
    if (registration_ == 0) {
      if (c.closed) {
        if (c.bidirectional()) consumeLocked(*this);
        return notifySuccess(CHANNEL_ALREADY_CLOSED);
      }
      c.closed = true;
      c.closer = Closer::Creator;
      if (c.bidirectional()) {
        consumeLocked(*this);
        // The listeners that hold the channel (only the one that answered,
        // once one has) are told, each with its own copy.
        for (auto &[reg, end] : c.listenerEnds) {
          if (end->gone_ || (c.acquiredBy && reg != c.acquiredBy)) continue;
          if (!(end->refs_ > 0 || end->pending_ > 0 || reg == c.acquiredBy)) continue;
          auto r = b.registrations.find(reg);
          if (r == b.registrations.end()) continue;
          Delivery d;
          d.closed = true;
          d.callback = r->second->callback;
          d.end = end.get();
          d.registration = reg;
          d.data = data ? newDataLocked(bytes, c.type) : nullptr;
          postLocked(r->second->process, &c, d);
        }
      }
      if (!c.creatorGone) release.push_back(c.creatorCallback);
      c.creatorCallback = nullptr;
    } else {
      if (c.acquiredBy && c.acquiredBy != registration_) return notifySuccess(CHANNEL_ACQUIRED);
      if (c.closed) {
        if (c.closer == Closer::Listener && c.closerRegistration == registration_)
          return notifyError(CHANNEL_CLOSED_BY_SAME_LISTENER);
        consumeLocked(*this);
        return notifySuccess(CHANNEL_ALREADY_CLOSED);
      }
      c.closed = true;
      c.closer = Closer::Listener;
      c.closerRegistration = registration_;
      c.acquiredBy = registration_;
      consumeLocked(*this);
      if (c.creatorCallback && !c.creatorGone) {
        Delivery d;
        d.closed = true;
        d.callback = c.creatorCallback;
        d.end = c.creatorEnd.get();
        d.data = data ? newDataLocked(std::move(bytes), c.type) : nullptr;
        d.inheritsRef = true;
        if (!postLocked(c.creatorProcess, &c, d)) release.push_back(c.creatorCallback);
      }
      c.creatorCallback = nullptr;
    }
  }
  releaseAll(release);
  return result;
}

namespace {

// The spooler's own process, or the initial one for the components a test
// loads into itself.
bool validTarget(const std::u16string &name) { return name.empty() || printerExists(name); }

// Every registration of a printer (all of them when `all`) is told it ends.
void postReleaseLocked(const std::u16string &printer, bool all) {
  Broker &b = broker();
  for (auto &[id, r] : b.registrations) {
    if (!all && r->name != printer) continue;
    if (!processAlive(r->process)) continue;
    Delivery d;
    d.callback = r->callback;
    d.registration = id;
    d.data = newDataLocked({}, NOTIFICATION_RELEASE);
    postLocked(r->process, nullptr, d);
  }
}

bool waitIdle(DWORD timeoutMs) {
  std::unique_lock<std::mutex> lk(brokerLock());
  Broker &b = broker();
  auto idle = [&b] {
    if (b.threads) return false;
    for (auto &[k, mb] : b.mailboxes)
      if (!mb->queue.empty() && !b.stopping) return false;
    return true;
  };
  return brokerCv().wait_for(lk, std::chrono::milliseconds(timeoutMs), idle);
}

// Stops every delivery and forgets everything, calling no one: at machine
// reset the programs whose objects these were are gone.
void stopBroker(bool releaseCallbacks) {
  std::vector<IPrintAsyncNotifyCallback *> release;
  {
    std::unique_lock<std::mutex> lk(brokerLock());
    Broker &b = broker();
    b.stopping = true;
    // The threads finish the call they are in and take no other.  A message
    // box in it ended at the user interface's earlier reset step; a wait of
    // winsim's in it ends as the thread is told to terminate.
    std::vector<HANDLE> threads;
    if (!releaseCallbacks) {
      for (auto &[k, mb] : b.mailboxes)
        if (mb->thread) {
          mb->thread->refs.fetch_add(1);
          threads.push_back(addHandle(mb->thread));
        }
    }
    lk.unlock();
    for (HANDLE h : threads) {
      TerminateThread(h, 0);
      CloseHandle(h);
    }
    lk.lock();
    brokerCv().wait_for(lk, std::chrono::seconds(30), [&b] { return b.threads == 0; });
    for (auto &[k, mb] : b.mailboxes)
      for (auto &d : mb->queue) release.push_back(dropDeliveryLocked(d, !releaseCallbacks));
    b.mailboxes.clear();
    for (auto &[id, r] : b.registrations)
      if (releaseCallbacks && processAlive(r->process)) release.push_back(r->callback);
    b.registrations.clear();
    b.unregistered.clear();
    for (auto &c : b.channels) {
      if (releaseCallbacks && c->creatorCallback && !c->creatorGone && processAlive(c->creatorProcess))
        release.push_back(c->creatorCallback);
      c->creatorCallback = nullptr;
      c->closed = true;
      if (c->closer == Closer::None) c->closer = Closer::Spooler;
    }
    if (!releaseCallbacks) {
      // A new machine: the old objects are unreachable now.  Their memory
      // is kept (a thread that outlived the reset may still hold one).
      static auto *retired = new std::vector<std::unique_ptr<Channel>>;
      static auto *retiredData = new std::vector<std::unique_ptr<DataObject>>;
      for (auto &c : b.channels) retired->push_back(std::move(c));
      for (auto &d : b.dataObjects) retiredData->push_back(std::move(d));
      b.channels.clear();
      b.dataObjects.clear();
    } else {
      // The spooler restarted: the programs still hold their channel
      // pointers, which now fail as closed.
      for (auto &c : b.channels) {
        c->creatorEnd->gone_ = true;
        for (auto &[reg, end] : c->listenerEnds) end->gone_ = true;
      }
    }
    b.stopping = false;
  }
  if (releaseCallbacks) releaseAll(release);
}

void resetBroker() { stopBroker(false); }
const ResetStep kStopBroker(kResetStopServices, resetBroker);

// A process ended: its registrations and channel sides go without a call
// into it, but for one thing.  On Windows its callback objects vanish with
// its memory; here they are objects of the process's image, which is still
// loaded, so the broker gives back the references it holds on them (the
// registrations' and those of deliveries never made) and each is freed by
// its own Release, as the program's heap would be at its exit.
void processEnded(const ProcessRecord &process) {
  std::vector<IPrintAsyncNotifyCallback *> release;
  {
    std::lock_guard<std::mutex> g(brokerLock());
    Broker &b = broker();
    std::vector<uint64_t> gone;
    for (auto &[id, r] : b.registrations)
      if (r->process.get() == &process) gone.push_back(id);
    for (uint64_t id : gone) {
      b.unregistered.push_back(uintptr_t(b.registrations[id]->handle));
      release.push_back(b.registrations[id]->callback);
      b.registrations.erase(id);
    }
    for (uint64_t id : gone) listenerLeavesLocked(id, true, release);
    for (auto &c : b.channels) {
      if (c->creatorProcess.get() != &process) continue;
      c->creatorGone = true;
      c->creatorEnd->gone_ = true;
      c->creatorCallback = nullptr;
      if (c->closed) continue;
      c->closed = true;
      c->closer = Closer::Creator;
      for (auto &[reg, end] : c->listenerEnds) {
        if (end->gone_ || !(end->refs_ > 0 || end->pending_ > 0 || reg == c->acquiredBy)) continue;
        auto r = b.registrations.find(reg);
        if (r == b.registrations.end()) continue;
        Delivery d;
        d.closed = true;
        d.callback = r->second->callback;
        d.end = end.get();
        d.registration = reg;
        postLocked(r->second->process, c.get(), d);
      }
    }
    for (auto it = b.mailboxes.begin(); it != b.mailboxes.end();) {
      if (it->second->process.get() == &process && !it->second->running) {
        for (auto &d : it->second->queue) release.push_back(dropDeliveryLocked(d, false));
        it = b.mailboxes.erase(it);
      } else {
        ++it;
      }
    }
  }
  releaseAll(release);
}
const ProcessEndStep kProcessEnded(processEnded);

}  // namespace

HRESULT asyncRegister(PCWSTR name, PrintAsyncNotificationType *type, PrintAsyncNotifyUserFilter filter,
                      PrintAsyncNotifyConversationStyle style, IPrintAsyncNotifyCallback *callback, HANDLE *handle) {
  if (!handle) return E_POINTER;
  *handle = nullptr;
  if (!type || !callback || (filter != kPerUser && filter != kAllUsers) ||
      (style != kBiDirectional && style != kUniDirectional))
    return E_INVALIDARG;
  std::u16string target = targetName(name);
  if (!validTarget(target)) return HRESULT_FROM_WIN32(ERROR_INVALID_PRINTER_NAME);
  auto r = std::make_shared<Registration>();
  r->name = target;
  r->type = *type;
  r->filter = filter;
  r->style = style;
  r->callback = callback;
  r->process = currentProcess();
  {
    std::lock_guard<std::mutex> g(processLock());
    r->processId = r->process->id;
    r->sessionId = r->process->sessionId;
  }
  {
    std::lock_guard<std::mutex> g(brokerLock());
    Broker &b = broker();
    for (auto &[id, o] : b.registrations)
      if (o->process == r->process && o->callback == callback && o->name == target && o->type == *type)
        return notifyError(ALREADY_REGISTERED);
    r->id = b.nextRegistration++;
    r->handle = handleFor(r->id);
    callback->AddRef();
    b.registrations[r->id] = r;
  }
  *handle = r->handle;
  return S_OK;
}

HRESULT asyncUnregister(HANDLE handle) {
  std::vector<IPrintAsyncNotifyCallback *> release;
  {
    std::lock_guard<std::mutex> g(brokerLock());
    Broker &b = broker();
    auto self = currentProcess();
    std::shared_ptr<Registration> r;
    for (auto &[id, o] : b.registrations)
      if (o->handle == handle && o->process == self) r = o;
    if (!r) {
      bool was = std::find(b.unregistered.begin(), b.unregistered.end(), uintptr_t(handle)) != b.unregistered.end();
      return notifySuccess(was ? ALREADY_UNREGISTERED : NOT_REGISTERED);
    }
    b.registrations.erase(r->id);
    b.unregistered.push_back(uintptr_t(handle));
    listenerLeavesLocked(r->id, false, release);
    // A delivery under way keeps its own reference until its call returns.
    release.push_back(r->callback);
  }
  releaseAll(release);
  return S_OK;
}

HRESULT asyncCreateChannel(PCWSTR name, PrintAsyncNotificationType *type, PrintAsyncNotifyUserFilter filter,
                           PrintAsyncNotifyConversationStyle style, IPrintAsyncNotifyCallback *callback,
                           IPrintAsyncNotifyChannel **channel) {
  if (!channel) return E_POINTER;
  *channel = nullptr;
  if (!type || (filter != kPerUser && filter != kAllUsers) || (style != kBiDirectional && style != kUniDirectional))
    return E_INVALIDARG;
  // Answers come back through the callback: a bidirectional channel needs
  // one; a unidirectional channel has no use for it.
  if (style == kBiDirectional && !callback) return E_INVALIDARG;
  std::u16string target = targetName(name);
  if (!validTarget(target)) return HRESULT_FROM_WIN32(ERROR_INVALID_PRINTER_NAME);
  auto c = std::make_unique<Channel>();
  c->name = target;
  c->type = *type;
  c->filter = filter;
  c->style = style;
  c->creatorProcess = currentProcess();
  {
    std::lock_guard<std::mutex> g(processLock());
    c->creatorSession = c->creatorProcess->sessionId;
  }
  c->creatorEnd = std::make_unique<ChannelEnd>(c.get(), 0, 1);
  if (style == kBiDirectional) {
    callback->AddRef();
    c->creatorCallback = callback;
  }
  std::lock_guard<std::mutex> g(brokerLock());
  *channel = c->creatorEnd.get();
  broker().channels.push_back(std::move(c));
  return S_OK;
}

void asyncNotifyPrinterDeleted(const std::u16string &printer) {
  std::lock_guard<std::mutex> g(brokerLock());
  postReleaseLocked(upper(printer), false);
}

bool callerInsideSpooler() {
  auto p = currentProcess();
  std::lock_guard<std::mutex> g(processLock());
  return equalsNoCase(p->imageName, u"spoolsv.exe");
}

}  // namespace winsim::spool

using namespace winsim;
using namespace winsim::spool;

// ------------------------------------------------------------ test control

namespace winsim {

std::vector<AsyncNotifyRegistration> asyncNotifyRegistrations() {
  std::lock_guard<std::mutex> g(brokerLock());
  std::vector<AsyncNotifyRegistration> out;
  for (auto &[id, r] : broker().registrations) {
    AsyncNotifyRegistration a;
    a.name = r->name;
    a.type = r->type;
    a.allUsers = r->filter == kAllUsers;
    a.bidirectional = r->style == kBiDirectional;
    a.processId = r->processId;
    a.sessionId = r->sessionId;
    out.push_back(a);
  }
  return out;
}

AsyncNotifyObjects asyncNotifyLiveObjects() {
  std::lock_guard<std::mutex> g(brokerLock());
  AsyncNotifyObjects o;
  for (auto &c : broker().channels) {
    bool held = !c->creatorEnd->gone_ && c->creatorEnd->refs_ > 0;
    for (auto &[reg, end] : c->listenerEnds) held = held || (!end->gone_ && end->refs_ > 0);
    if (held) ++o.channels;
  }
  for (auto &d : broker().dataObjects)
    if (d->live()) ++o.dataObjects;
  return o;
}

std::vector<std::string> takeAsyncNotifyFaults() {
  std::lock_guard<std::mutex> g(brokerLock());
  std::vector<std::string> out;
  out.swap(faults());
  return out;
}

bool waitForAsyncNotifyIdle(DWORD timeoutMs) { return waitIdle(timeoutMs); }

void restartSpooler() {
  {
    std::lock_guard<std::mutex> g(brokerLock());
    postReleaseLocked(std::u16string(), true);
  }
  waitIdle(10000);
  stopBroker(true);
}

}  // namespace winsim

extern "C" {

HRESULT WINAPI RouterRegisterForPrintAsyncNotifications(PCWSTR pName, PrintAsyncNotificationType *pNotificationType,
                                                        PrintAsyncNotifyUserFilter eNotifyFilter,
                                                        PrintAsyncNotifyConversationStyle eConversationStyle,
                                                        IPrintAsyncNotifyCallback *pCallback, HANDLE *phNotify) {
  return asyncRegister(pName, pNotificationType, eNotifyFilter, eConversationStyle, pCallback, phNotify);
}

HRESULT WINAPI RouterUnregisterForPrintAsyncNotifications(HANDLE hNotify) { return asyncUnregister(hNotify); }

HRESULT WINAPI RouterCreatePrintAsyncNotificationChannel(PCWSTR pName, PrintAsyncNotificationType *pNotificationType,
                                                         PrintAsyncNotifyUserFilter eNotifyFilter,
                                                         PrintAsyncNotifyConversationStyle eConversationStyle,
                                                         IPrintAsyncNotifyCallback *pCallback,
                                                         IPrintAsyncNotifyChannel **ppIAsynchNotification) {
  return asyncCreateChannel(pName, pNotificationType, eNotifyFilter, eConversationStyle, pCallback,
                            ppIAsynchNotification);
}

}  // extern "C"
