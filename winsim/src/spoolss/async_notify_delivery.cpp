// The broker's deliveries: each receiver's queue on a channel, and the
// thread in the receiver's process that makes its calls one at a time.
#include <memory>
#include <mutex>
#include <vector>

#include "kernel32/threads.h"
#include "spoolss/async_notify_internal.h"

namespace winsim::spool {

namespace {

DWORD WINAPI mailboxMain(LPVOID param);

}  // namespace

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
void postCreatorClosedLocked(Channel &c, bool answererOnly, const std::vector<BYTE> *closingData) {
  Broker &b = broker();
  for (auto &[reg, end] : c.listenerEnds) {
    if (end->gone_ || (answererOnly && c.acquiredBy && reg != c.acquiredBy)) continue;
    if (!(end->refs_ > 0 || end->pending_ > 0 || reg == c.acquiredBy)) continue;
    auto r = b.registrations.find(reg);
    if (r == b.registrations.end()) continue;
    Delivery d;
    d.closed = true;
    d.callback = r->second->callback;
    d.end = end.get();
    d.registration = reg;
    d.data = closingData ? newDataLocked(*closingData, c.type) : nullptr;
    postLocked(r->second->process, &c, d);
  }
}

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

namespace {

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

}  // namespace

}  // namespace winsim::spool
