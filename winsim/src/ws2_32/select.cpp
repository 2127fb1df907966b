// select: the readiness of many sockets at once, as Windows reports it (a
// failed connection in the exception set, a bounced datagram readable),
// waited for on the simulated clock.
#include <winsock2.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "core/internal.h"
#include "kernel32/threads.h"
#include "ws2_32/host.h"
#include "ws2_32/winsock_internal.h"

namespace winsim::ws {

namespace {

// Simulated microseconds as real time.
std::chrono::nanoseconds realFromMicros(uint64_t us) { return realDuration(us) / 1000; }

struct Watched {
  SOCKET handle;
  SocketObject *s;
  int set;  // 0 read, 1 write, 2 exception
  bool ready = false;
  bool quiet = false;
};

Link linkOf(SocketObject &s) {
  std::lock_guard<std::mutex> g(s.lock);
  return s.link;
}

unsigned wantOf(SocketObject &s, int set) {
  std::lock_guard<std::mutex> g(s.lock);
  switch (s.link) {
    case Link::Connecting: return kWritable;
    case Link::Listening: return set == 0 ? unsigned(kReadable) : 0u;
    case Link::Connected: break;
    case Link::Idle:
      if (s.stream) return 0;
      break;
    default: return 0;
  }
  return set == 0 ? kReadable : set == 1 ? kWritable : kUrgent;
}

bool readyFor(SocketObject &s, int set, unsigned got) {
  std::lock_guard<std::mutex> g(s.lock);
  advanceConnect(s);
  switch (set) {
    case 0:
      if (s.bounced) return true;
      if (s.stream && s.link != Link::Connected && s.link != Link::Listening) return false;
      return s.link != Link::Failed && (got & (kReadable | kFailed));
    case 1:
      if (s.stream && s.link != Link::Connected) return false;
      return (got & (kWritable | kFailed)) != 0;
    default:
      if (s.link == Link::Failed) return true;
      return s.link == Link::Connected && (got & kUrgent);
  }
}

}  // namespace

int doSelect(fd_set *readfds, fd_set *writefds, fd_set *exceptfds, const timeval *timeout) {
  if (!started()) return failWith(WSANOTINITIALISED);
  fd_set *sets[3] = {readfds, writefds, exceptfds};
  size_t total = 0;
  for (fd_set *set : sets)
    if (set) total += set->fd_count;
  if (total == 0) return failWith(WSAEINVAL);
  if (timeout && (timeout->tv_sec < 0 || timeout->tv_usec < 0)) return failWith(WSAEINVAL);
  std::vector<Watched> watched;
  auto dropAll = [&] {
    for (Watched &w : watched) release(w.s);
  };
  for (int i = 0; i < 3; ++i) {
    if (!sets[i]) continue;
    for (u_int k = 0; k < sets[i]->fd_count && k < FD_SETSIZE; ++k) {
      SOCKET h = sets[i]->fd_array[k];
      auto *s = static_cast<SocketObject *>(lookup(reinterpret_cast<HANDLE>(h), Kind::Socket));
      if (!s) {
        dropAll();
        return failWith(WSAENOTSOCK);
      }
      watched.push_back({h, s, i});
    }
  }
  using Clock = std::chrono::steady_clock;
  // Beyond a few weeks a time-out is as good as none (and would overflow
  // the real clock's arithmetic).
  constexpr uint64_t kForeverUs = uint64_t(1) << 40;
  const uint64_t micros = timeout ? std::min<uint64_t>(uint64_t(timeout->tv_sec), kForeverUs) * 1000000 +
                                        std::min<uint64_t>(uint64_t(timeout->tv_usec), kForeverUs)
                                  : 0;
  const bool forever = !timeout || micros >= kForeverUs;
  const auto deadline = Clock::now() + realFromMicros(forever ? 0 : micros);
  int64_t slice = 0;  // the first round only looks
  int result = 0;
  for (;;) {
    std::vector<HostPoll> items;
    for (Watched &w : watched)
      if (unsigned want = w.quiet ? 0 : wantOf(*w.s, w.set)) items.push_back({w.s->fd, want, 0});
    hostPoll(items, slice);
    int count = 0;
    for (Watched &w : watched) {
      unsigned got = 0;
      for (const HostPoll &p : items)
        if (p.fd == w.s->fd) got |= p.got;
      w.ready = readyFor(*w.s, w.set, got);
      if (w.ready) ++count;
      // A connection that failed or ended shows to poll at once, whatever
      // was asked: where that does not make it ready for this set, stop
      // asking, so that the wait does not spin.
      if (!w.ready && (got & kFailed) && linkOf(*w.s) != Link::Connecting) w.quiet = true;
    }
    if (count) {
      result = count;
      break;
    }
    if (terminationRequested() ||
        std::any_of(watched.begin(), watched.end(), [](const Watched &w) { return interrupted(*w.s); })) {
      result = -1;
      break;
    }
    int64_t left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now()).count();
    if (!forever && left <= 0) break;
    slice = forever ? kWaitSliceNs : std::min(kWaitSliceNs, left);
  }
  if (result < 0) {
    dropAll();
    return failWith(WSAEINTR);
  }
  for (fd_set *set : sets)
    if (set) set->fd_count = 0;
  for (Watched &w : watched)
    if (w.ready) winsim_fdAdd(w.handle, sets[w.set]);
  dropAll();
  return result;
}

}  // namespace winsim::ws
