// The notification broker's insides, shared by the files that implement it:
// async_notify.cpp (registrations, channel creation, the spooler's stop and a
// process's end, test controls), async_notify_channel.cpp (the channel
// objects' calls) and async_notify_delivery.cpp (queues and delivery threads).
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
#pragma once

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <prnasnot.h>

#include "core/internal.h"

namespace winsim::spool {

inline HRESULT notifyError(PrintAsyncNotifyError code) { return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, code); }
inline HRESULT notifySuccess(PrintAsyncNotifyError code) { return MAKE_HRESULT(SEVERITY_SUCCESS, FACILITY_ITF, code); }

// The broker's state; kept past static destruction, as delivery threads
// may still look at it while the process ends.
inline std::mutex &brokerLock() {
  static auto *m = new std::mutex;
  return *m;
}
inline std::condition_variable &brokerCv() {
  static auto *cv = new std::condition_variable;
  return *cv;
}

inline std::vector<std::string> &faults() {
  static auto *f = new std::vector<std::string>;
  return *f;
}
inline void faultLocked(const std::string &what) { faults().push_back(what); }

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
inline Broker &broker() {
  static auto *b = new Broker;
  return *b;
}

// async_notify.cpp
bool processAlive(const std::shared_ptr<ProcessRecord> &p);

// async_notify_delivery.cpp
DataObject *newDataLocked(std::vector<BYTE> bytes, const GUID &type);
bool postLocked(const std::shared_ptr<ProcessRecord> &process, const Channel *channel, Delivery d);
IPrintAsyncNotifyCallback *dropDeliveryLocked(Delivery &d, bool processGone);
// Tells the listeners that hold a channel its creator closed it, each with
// its own copy of `closingData` when there is one; `answererOnly`: only the
// listener that answered, once one has.
void postCreatorClosedLocked(Channel &c, bool answererOnly, const std::vector<BYTE> *closingData);
void releaseAll(const std::vector<IPrintAsyncNotifyCallback *> &callbacks);

// async_notify_channel.cpp
bool someListenerCanAnswerLocked(const Channel &c, uint64_t except);
IPrintAsyncNotifyCallback *closeForCreatorLocked(Channel &c, Closer closer, uint64_t registration);

}  // namespace winsim::spool
