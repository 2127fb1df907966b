// The asynchronous notification broker (see async_notify.h).
//
// Registrations of listeners, the creation of channels, the broker's stop
// (the machine's reset, the spooler's restart) and a process's end, and the
// test controls.  The objects and their rules: async_notify_internal.h.
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
#include "spoolss/async_notify_internal.h"
#include "spoolss/spooler_state.h"

namespace winsim::spool {

namespace {

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

}  // namespace

// A process whose threads have all ended is gone, or about to be: nothing
// is started in it any more.
bool processAlive(const std::shared_ptr<ProcessRecord> &p) {
  if (!p) return false;
  if (p == initialProcess()) return true;
  std::lock_guard<std::mutex> g(processLock());
  return p->threads.load() > 0 && p->exitCode == STILL_ACTIVE;
}

namespace {

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
      postCreatorClosedLocked(*c, false, nullptr);
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
