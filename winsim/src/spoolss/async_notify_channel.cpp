// The channel objects: each side's reference counting, SendNotification and
// CloseChannel, and the channel's end when its listeners are gone.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "spoolss/async_notify_internal.h"

namespace winsim::spool {

namespace {

bool registrationLive(uint64_t id) { return broker().registrations.count(id) != 0; }

}  // namespace

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

namespace {

bool matches(const Registration &r, const Channel &c) {
  if (r.name != c.name || r.type != c.type || r.style != c.style) return false;
  if (r.filter == kAllUsers && c.filter == kAllUsers) return true;
  return r.sessionId == c.creatorSession;
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
        postCreatorClosedLocked(c, true, data ? &bytes : nullptr);
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

}  // namespace winsim::spool
