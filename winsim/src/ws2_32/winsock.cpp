// Windows Sockets over the host's sockets.  A SOCKET is a handle of winsim's
// table (Kind::Socket) for a host socket that is always non-blocking: the
// Windows blocking mode is winsim's own wait, on the simulated clock, ended
// by TerminateThread, closesocket from another thread and the machine reset.
// Where Windows and the host differ, Windows wins: a connection that fails
// shows in select's exception set, a closed handle is WSAENOTSOCK, a peer
// that went away never raises SIGPIPE, and every host errno comes back as
// its WSA code.  Addresses go through the virtual network (network.h), so
// nothing ever leaves the machine.
#include <winsock2.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <set>
#include <thread>

#include "core/internal.h"
#include "kernel32/threads.h"
#include "ws2_32/host.h"
#include "ws2_32/network.h"

namespace winsim::ws {

namespace {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the byte order functions below swap");

// A connection to a host that never answers gives up as Windows does after
// its SYN retransmissions (3 s, 6 s, 12 s).
constexpr DWORD kConnectGiveUpMs = 21000;
// The longest real time a wait sleeps before it looks again for its
// thread's termination, a closed socket or a machine reset.
constexpr int64_t kWaitSliceNs = 5'000'000;
constexpr WORD kHighestVersion = 0x0202;

enum class Link {
  Idle,        // not connected (a datagram socket may still send and receive)
  Connecting,  // a host connection under way
  Silent,      // connecting to a declared host that is down: nothing answers
  Connected,
  Failed,  // the connection attempt failed: select's exception set, SO_ERROR
  Listening,
};

std::atomic<uint64_t> g_generation{1};  // moves on at every machine reset

struct SocketObject : KObject {
  SocketObject() : KObject(Kind::Socket) {}
  ~SocketObject() override;
  int fd = -1;
  bool stream = true;
  DWORD pid = 0;
  uint64_t generation = 0;
  std::atomic<bool> closed{false};
  std::mutex lock;  // the fields below
  bool nonBlocking = false;
  Link link = Link::Idle;
  int pendingError = 0;  // what SO_ERROR answers
  uint64_t silentUntilMs = 0;
  HostEndpoint peer;  // as the program knows it
  bool hasPeer = false;
  bool bound = false;
  bool sendShut = false, receiveShut = false;
  bool bounced = false;  // a datagram met a closed port: the next receive fails
  // A connection the peer reset is no longer usable on Windows: every send
  // and receive after it fails the same way (the host says so only once).
  int brokenError = 0;
  DWORD sendTimeout = 0, receiveTimeout = 0;
  LINGER linger{0, 0};
  bool abortiveClose = false;
};

struct Registry {
  std::mutex lock;
  std::map<DWORD, size_t> openByProcess;
  std::map<DWORD, int> startups;  // WSAStartup calls not yet cleaned up, by process
  // The socket handles each process was given (some may have been closed
  // since: values are never given out twice, so closing one again only fails).
  std::map<DWORD, std::set<SOCKET>> handles;
};

Registry &registry() {
  static Registry &r = *new Registry;
  return r;
}

SocketObject::~SocketObject() {
  hostClose(fd, abortiveClose);
  Registry &r = registry();
  std::lock_guard<std::mutex> g(r.lock);
  if (auto it = r.openByProcess.find(pid); it != r.openByProcess.end() && it->second && --it->second == 0)
    r.openByProcess.erase(it);
}

DWORD currentPid() {
  auto p = currentProcess();
  std::lock_guard<std::mutex> g(processLock());
  return p->id;
}

int wsaFromErrno(int e) {
  switch (e) {
    case EINTR: return WSAEINTR;
    case EBADF: return WSAENOTSOCK;
    case EACCES:
    case EPERM: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE:
    case ENFILE: return WSAEMFILE;
    case EAGAIN: return WSAEWOULDBLOCK;
    case EINPROGRESS: return WSAEWOULDBLOCK;
    case EALREADY: return WSAEALREADY;
    case ENOTSOCK: return WSAENOTSOCK;
    case EDESTADDRREQ: return WSAEDESTADDRREQ;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EPROTOTYPE: return WSAEPROTOTYPE;
    case ENOPROTOOPT: return WSAENOPROTOOPT;
    case EPROTONOSUPPORT: return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT: return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP: return WSAEOPNOTSUPP;
    case EPFNOSUPPORT: return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ENETRESET: return WSAENETRESET;
    case ECONNABORTED: return WSAECONNABORTED;
    case ECONNRESET:
    case EPIPE: return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM: return WSAENOBUFS;
    case EISCONN: return WSAEISCONN;
    case ENOTCONN: return WSAENOTCONN;
    case ESHUTDOWN: return WSAESHUTDOWN;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case ELOOP: return WSAELOOP;
    case ENAMETOOLONG: return WSAENAMETOOLONG;
    case EHOSTDOWN: return WSAEHOSTDOWN;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    default: return WSAEINVAL;
  }
}

int failWith(int wsa) {
  setLastError(DWORD(wsa));
  return SOCKET_ERROR;
}

bool started() {
  DWORD pid = currentPid();
  Registry &r = registry();
  std::lock_guard<std::mutex> g(r.lock);
  auto it = r.startups.find(pid);
  return it != r.startups.end() && it->second > 0;
}

// The socket of a handle, with a reference the holder drops.
class SocketRef {
 public:
  explicit SocketRef(SOCKET s) : obj_(static_cast<SocketObject *>(lookup(reinterpret_cast<HANDLE>(s), Kind::Socket))) {}
  ~SocketRef() {
    if (obj_) release(obj_);
  }
  SocketRef(const SocketRef &) = delete;
  SocketRef &operator=(const SocketRef &) = delete;
  SocketRef(SocketRef &&o) noexcept : obj_(o.obj_) { o.obj_ = nullptr; }
  SocketObject *operator->() const { return obj_; }
  SocketObject &operator*() const { return *obj_; }
  explicit operator bool() const { return obj_ != nullptr; }

 private:
  SocketObject *obj_;
};

// Every call that takes a socket starts here: WSANOTINITIALISED before
// WSAStartup, WSAENOTSOCK for a value that is no open socket.
bool enter(SocketRef &ref) {
  if (!started()) {
    failWith(WSANOTINITIALISED);
    return false;
  }
  if (!ref) {
    failWith(WSAENOTSOCK);
    return false;
  }
  return true;
}

bool interrupted(const SocketObject &s) {
  return terminationRequested() || s.closed.load() || s.generation != g_generation.load();
}

// Simulated microseconds as real time.
std::chrono::nanoseconds realFromMicros(uint64_t us) { return realDuration(us) / 1000; }

enum class WaitEnd { Ready, TimedOut, Interrupted };

// Waits for the host socket to show one of `want`, up to `timeoutMs` of
// simulated time (INFINITE: no limit).
WaitEnd waitFor(SocketObject &s, unsigned want, DWORD timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const bool forever = timeoutMs == INFINITE;
  const auto deadline = Clock::now() + (forever ? std::chrono::nanoseconds(0) : realDuration(timeoutMs));
  for (;;) {
    if (interrupted(s)) return WaitEnd::Interrupted;
    int64_t slice = kWaitSliceNs;
    if (!forever) {
      int64_t left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now()).count();
      if (left <= 0) return WaitEnd::TimedOut;
      slice = std::min(slice, left);
    }
    std::vector<HostPoll> items{{s.fd, want, 0}};
    if (hostPoll(items, slice) > 0) return WaitEnd::Ready;
  }
}

int endOfWait(WaitEnd end) { return failWith(end == WaitEnd::TimedOut ? WSAETIMEDOUT : WSAEINTR); }

// Moves a connection under way on to its outcome when it has one.  Called
// with the socket's lock held.
void advanceConnect(SocketObject &s) {
  if (s.link == Link::Connecting) {
    bool resetSince = false;
    int outcome = hostConnectOutcome(s.fd, resetSince);
    if (outcome == 0) {
      s.link = Link::Connected;
      if (resetSince) s.brokenError = WSAECONNRESET;
    } else if (outcome != -EINPROGRESS) {
      s.link = Link::Failed;
      s.pendingError = wsaFromErrno(-outcome);
    }
  } else if (s.link == Link::Silent && virtualNowMs() >= s.silentUntilMs) {
    s.link = Link::Failed;
    s.pendingError = WSAETIMEDOUT;
  }
}

// Fails a call on a connection, remembering a reset for the calls after it.
int failBroken(SocketObject &s, int error) {
  if (error == WSAECONNRESET || error == WSAECONNABORTED) {
    std::lock_guard<std::mutex> g(s.lock);
    s.brokenError = error;
  }
  return failWith(error);
}

bool readAddress(const sockaddr *name, int namelen, HostEndpoint &at) {
  if (!name || namelen < int(sizeof(sockaddr_in))) {
    failWith(WSAEFAULT);
    return false;
  }
  const auto *in = reinterpret_cast<const sockaddr_in *>(name);
  if (in->sin_family != AF_INET) {
    failWith(WSAEAFNOSUPPORT);
    return false;
  }
  at.ip = ntohl(in->sin_addr.s_addr);
  at.port = ntohs(in->sin_port);
  return true;
}

bool writeAddress(HostEndpoint at, sockaddr *name, int *namelen) {
  if (!name || !namelen || *namelen < int(sizeof(sockaddr_in))) {
    failWith(WSAEFAULT);
    return false;
  }
  sockaddr_in in{};
  in.sin_family = AF_INET;
  in.sin_addr.s_addr = htonl(at.ip);
  in.sin_port = htons(at.port);
  std::memcpy(name, &in, sizeof in);
  *namelen = sizeof in;
  return true;
}

// A datagram socket sends from the loopback: an unbound one is bound there
// before its first datagram, so that nothing from off the machine can reach
// it either.
int bindForSending(SocketObject &s) {
  if (s.bound) return 0;
  int r = hostBind(s.fd, {0x7f000001, 0});
  if (r < 0) return wsaFromErrno(-r);
  s.bound = true;
  return 0;
}

// ----- the calls, before the termination check their public faces add

SOCKET newSocket(int fd, bool stream, bool nonBlocking) {
  auto *s = new SocketObject;
  s->fd = fd;
  s->stream = stream;
  s->pid = currentPid();
  s->generation = g_generation.load();
  s->nonBlocking = nonBlocking;
  {
    Registry &r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    ++r.openByProcess[s->pid];
  }
  auto handle = reinterpret_cast<SOCKET>(registerObject(s));
  Registry &r = registry();
  std::lock_guard<std::mutex> g(r.lock);
  r.handles[currentPid()].insert(handle);
  return handle;
}

SOCKET doSocket(int af, int type, int protocol) {
  if (!started()) {
    failWith(WSANOTINITIALISED);
    return INVALID_SOCKET;
  }
  if (af != AF_INET) {
    failWith(WSAEAFNOSUPPORT);
    return INVALID_SOCKET;
  }
  bool stream;
  if (type == SOCK_STREAM && (protocol == 0 || protocol == IPPROTO_TCP))
    stream = true;
  else if (type == SOCK_DGRAM && (protocol == 0 || protocol == IPPROTO_UDP))
    stream = false;
  else if (type != SOCK_STREAM && type != SOCK_DGRAM) {
    failWith(WSAESOCKTNOSUPPORT);
    return INVALID_SOCKET;
  } else {
    failWith(WSAEPROTONOSUPPORT);
    return INVALID_SOCKET;
  }
  int fd = hostSocket(stream ? HostType::Stream : HostType::Datagram);
  if (fd < 0) {
    failWith(wsaFromErrno(-fd));
    return INVALID_SOCKET;
  }
  return newSocket(fd, stream, false);
}

int doConnect(SOCKET handle, const sockaddr *name, int namelen) {
  SocketRef s(handle);
  if (!enter(s)) return SOCKET_ERROR;
  HostEndpoint to;
  if (!readAddress(name, namelen, to)) return SOCKET_ERROR;
  if (to.ip == 0 || to.port == 0) return failWith(WSAEADDRNOTAVAIL);
  std::unique_lock<std::mutex> g(s->lock);
  if (!s->stream) {
    // A datagram socket only keeps its peer: each datagram is routed as it goes.
    RouteResult route = routeTo(to, true, "connect");
    if (route.route == Route::Unreachable) return failWith(WSAENETUNREACH);
    // Connecting binds, as on Windows: the socket can receive at once.
    if (int e = bindForSending(*s)) return failWith(e);
    s->peer = to;
    s->hasPeer = true;
    return 0;
  }
  advanceConnect(*s);
  switch (s->link) {
    case Link::Connecting:
    case Link::Silent: return failWith(WSAEALREADY);
    case Link::Connected: return failWith(WSAEISCONN);
    case Link::Listening: return failWith(WSAEINVAL);
    default: break;
  }
  RouteResult route = routeTo(to, false, "connect");
  if (route.route == Route::Unreachable) return failWith(WSAENETUNREACH);
  s->peer = to;
  s->hasPeer = true;
  s->pendingError = 0;
  switch (route.route) {
    case Route::Refused:
      s->link = Link::Failed;
      s->pendingError = WSAECONNREFUSED;
      break;
    case Route::Lost:
      s->link = Link::Silent;
      s->silentUntilMs = virtualNowMs() + kConnectGiveUpMs;
      break;
    default: {
      countHostConnect();
      int r = hostConnect(s->fd, route.target);
      if (r == 0) {
        s->link = Link::Connected;
      } else if (r == -EINPROGRESS || r == -EAGAIN) {
        s->link = Link::Connecting;
      } else {
        s->link = Link::Failed;
        s->pendingError = wsaFromErrno(-r);
      }
    }
  }
  if (s->link == Link::Connected) return 0;
  // Windows reports every connection of a non-blocking socket that does not
  // complete at once later, through select, even one refused at once.
  if (s->nonBlocking) return failWith(WSAEWOULDBLOCK);
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + realDuration(kConnectGiveUpMs);
  while (s->link == Link::Connecting || s->link == Link::Silent) {
    g.unlock();
    if (interrupted(*s)) return failWith(WSAEINTR);
    if (Clock::now() >= deadline) {
      g.lock();
      s->link = Link::Failed;
      s->pendingError = WSAETIMEDOUT;
      break;
    }
    std::vector<HostPoll> items;
    if (s->link == Link::Connecting) items.push_back({s->fd, kWritable, 0});
    int64_t left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now()).count();
    hostPoll(items, std::max<int64_t>(0, std::min(kWaitSliceNs, left)));
    g.lock();
    advanceConnect(*s);
  }
  if (s->link == Link::Connected) return 0;
  // A blocking connect hands its error back at once; SO_ERROR stays clear.
  int error = s->pendingError;
  s->pendingError = 0;
  return failWith(error);
}

int doBind(SOCKET handle, const sockaddr *name, int namelen) {
  SocketRef s(handle);
  if (!enter(s)) return SOCKET_ERROR;
  HostEndpoint at;
  if (!readAddress(name, namelen, at)) return SOCKET_ERROR;
  std::lock_guard<std::mutex> g(s->lock);
  if (s->bound) return failWith(WSAEINVAL);
  // The machine's addresses are the loopback ones; "any address" is the
  // loopback too, so that nothing from off the machine reaches the socket.
  if (at.ip == INADDR_ANY) at.ip = INADDR_LOOPBACK;
  if (!isLoopback(at.ip)) return failWith(WSAEADDRNOTAVAIL);
  int r = hostBind(s->fd, at);
  if (r < 0) return failWith(wsaFromErrno(-r));
  s->bound = true;
  return 0;
}

int doListen(SOCKET handle, int backlog) {
  SocketRef s(handle);
  if (!enter(s)) return SOCKET_ERROR;
  std::lock_guard<std::mutex> g(s->lock);
  if (!s->stream) return failWith(WSAEOPNOTSUPP);
  if (s->link == Link::Connected || s->link == Link::Connecting) return failWith(WSAEISCONN);
  if (!s->bound) return failWith(WSAEINVAL);
  int r = hostListen(s->fd, std::clamp(backlog, 1, 4096));
  if (r < 0) return failWith(wsaFromErrno(-r));
  s->link = Link::Listening;
  return 0;
}

SOCKET doAccept(SOCKET handle, sockaddr *addr, int *addrlen) {
  SocketRef s(handle);
  if (!enter(s)) return INVALID_SOCKET;
  if (addr && (!addrlen || *addrlen < int(sizeof(sockaddr_in)))) {
    failWith(WSAEFAULT);
    return INVALID_SOCKET;
  }
  bool nonBlocking;
  {
    std::lock_guard<std::mutex> g(s->lock);
    if (s->link != Link::Listening) {
      failWith(WSAEINVAL);
      return INVALID_SOCKET;
    }
    nonBlocking = s->nonBlocking;
  }
  for (;;) {
    HostEndpoint peer;
    int fd = hostAccept(s->fd, peer);
    if (fd >= 0) {
      // The new socket takes the listening socket's mode, as on Windows.
      SOCKET n = newSocket(fd, true, nonBlocking);
      SocketRef accepted(n);
      {
        std::lock_guard<std::mutex> g(accepted->lock);
        accepted->link = Link::Connected;
        accepted->bound = true;
        accepted->peer = peer;
        accepted->hasPeer = true;
      }
      if (addr) writeAddress(peer, addr, addrlen);
      return n;
    }
    if (fd != -EAGAIN) {
      failWith(wsaFromErrno(-fd));
      return INVALID_SOCKET;
    }
    if (nonBlocking) {
      failWith(WSAEWOULDBLOCK);
      return INVALID_SOCKET;
    }
    WaitEnd end = waitFor(*s, kReadable, INFINITE);
    if (end != WaitEnd::Ready) {
      endOfWait(end);
      return INVALID_SOCKET;
    }
  }
}

// Sends to a datagram socket's destination as the virtual network routes it.
int sendDatagram(SocketObject &s, const char *buf, int len, HostEndpoint to) {
  if (to.ip == 0 || to.port == 0) return failWith(WSAEADDRNOTAVAIL);
  RouteResult route = routeTo(to, true, "sendto");
  switch (route.route) {
    case Route::Unreachable: return failWith(WSAENETUNREACH);
    case Route::Lost: return len;  // gone on the wire, as a datagram to a host that is down
    case Route::Refused: {
      std::lock_guard<std::mutex> g(s.lock);
      s.bounced = true;
      return len;
    }
    default: break;
  }
  {
    std::lock_guard<std::mutex> g(s.lock);
    if (int e = bindForSending(s)) return failWith(e);
  }
  countHostDatagram();
  for (;;) {
    long n = hostSendTo(s.fd, buf, size_t(len), route.target);
    if (n >= 0) return int(n);
    if (n != -EAGAIN) return failWith(wsaFromErrno(-n));
    bool nonBlocking;
    DWORD timeout;
    {
      std::lock_guard<std::mutex> g(s.lock);
      nonBlocking = s.nonBlocking;
      timeout = s.sendTimeout ? s.sendTimeout : INFINITE;
    }
    if (nonBlocking) return failWith(WSAEWOULDBLOCK);
    WaitEnd end = waitFor(s, kWritable, timeout);
    if (end != WaitEnd::Ready) return endOfWait(end);
  }
}

int doSend(SOCKET handle, const char *buf, int len, int flags, const sockaddr *to, int tolen) {
  SocketRef s(handle);
  if (!enter(s)) return SOCKET_ERROR;
  if (len < 0 || (!buf && len > 0)) return failWith(WSAEFAULT);
  if (!s->stream) {
    HostEndpoint target;
    if (to) {
      if (!readAddress(to, tolen, target)) return SOCKET_ERROR;
    } else {
      std::lock_guard<std::mutex> g(s->lock);
      if (!s->hasPeer) return failWith(WSAENOTCONN);
      target = s->peer;
    }
    {
      std::lock_guard<std::mutex> g(s->lock);
      if (s->sendShut) return failWith(WSAESHUTDOWN);
    }
    return sendDatagram(*s, buf, len, target);
  }
  // A connection ignores the address of sendto, as on Windows.
  DWORD timeout;
  bool nonBlocking;
  {
    std::lock_guard<std::mutex> g(s->lock);
    advanceConnect(*s);
    if (s->link != Link::Connected) return failWith(WSAENOTCONN);
    if (s->sendShut) return failWith(WSAESHUTDOWN);
    if (s->brokenError) return failWith(s->brokenError);
    timeout = s->sendTimeout ? s->sendTimeout : INFINITE;
    nonBlocking = s->nonBlocking;
  }
  unsigned hostFlags = (flags & MSG_OOB) ? unsigned(kHostOob) : 0u;
  // A blocking send returns once everything is on its way.
  int sent = 0;
  while (sent < len || len == 0) {
    long n = hostSend(s->fd, buf + sent, size_t(len - sent), hostFlags);
    if (n >= 0) {
      sent += int(n);
      if (len == 0 || nonBlocking) break;
      continue;
    }
    if (n != -EAGAIN) return failBroken(*s, wsaFromErrno(-n));
    if (nonBlocking) return sent ? sent : failWith(WSAEWOULDBLOCK);
    WaitEnd end = waitFor(*s, kWritable, timeout);
    if (end != WaitEnd::Ready) return sent ? sent : endOfWait(end);
  }
  return sent;
}

int doReceive(SOCKET handle, char *buf, int len, int flags, sockaddr *from, int *fromlen) {
  SocketRef s(handle);
  if (!enter(s)) return SOCKET_ERROR;
  if (len < 0 || (!buf && len > 0)) return failWith(WSAEFAULT);
  if (from && (!fromlen || *fromlen < int(sizeof(sockaddr_in)))) return failWith(WSAEFAULT);
  DWORD timeout;
  bool nonBlocking;
  {
    std::lock_guard<std::mutex> g(s->lock);
    advanceConnect(*s);
    if (s->stream && s->link != Link::Connected) return failWith(WSAENOTCONN);
    if (!s->stream && !s->bound) return failWith(WSAEINVAL);
    if (s->receiveShut) return failWith(WSAESHUTDOWN);
    if (s->brokenError) return failWith(s->brokenError);
    if (s->bounced) {
      // Windows hands the port-unreachable answer to a datagram to the next receive.
      s->bounced = false;
      return failWith(WSAECONNRESET);
    }
    timeout = s->receiveTimeout ? s->receiveTimeout : INFINITE;
    nonBlocking = s->nonBlocking;
  }
  unsigned hostFlags = 0;
  if (flags & MSG_PEEK) hostFlags |= kHostPeek;
  if (flags & MSG_OOB) hostFlags |= kHostOob;
  const bool waitAll = s->stream && (flags & MSG_WAITALL) && !(flags & MSG_PEEK) && !nonBlocking;
  int got = 0;
  for (;;) {
    HostEndpoint sender;
    bool truncated = false;
    long n = hostRecv(s->fd, buf + got, size_t(len - got), hostFlags, &sender, truncated);
    if (n >= 0) {
      if (!s->stream) {
        if (from) writeAddress(programView(sender, true), from, fromlen);
        // The part that fits is delivered; the rest of the datagram is lost.
        if (truncated) return failWith(WSAEMSGSIZE);
        return int(n);
      }
      got += int(n);
      // A connection leaves the sender's address alone, as on Windows.
      if (n == 0 || !waitAll || got == len) return got;
      continue;
    }
    if (n != -EAGAIN) return s->stream ? failBroken(*s, wsaFromErrno(-n)) : failWith(wsaFromErrno(-n));
    if (nonBlocking) return failWith(WSAEWOULDBLOCK);
    WaitEnd end = waitFor(*s, kReadable | kUrgent, timeout);
    if (end != WaitEnd::Ready) return got ? got : endOfWait(end);
  }
}

int doShutdown(SOCKET handle, int how) {
  SocketRef s(handle);
  if (!enter(s)) return SOCKET_ERROR;
  if (how != SD_RECEIVE && how != SD_SEND && how != SD_BOTH) return failWith(WSAEINVAL);
  std::lock_guard<std::mutex> g(s->lock);
  advanceConnect(*s);
  const bool receive = how != SD_SEND, send = how != SD_RECEIVE;
  if (s->stream) {
    if (s->link != Link::Connected) return failWith(WSAENOTCONN);
    int r = hostShutdown(s->fd, receive, send);
    if (r < 0 && r != -ENOTCONN) return failWith(wsaFromErrno(-r));
  }
  s->receiveShut = s->receiveShut || receive;
  s->sendShut = s->sendShut || send;
  return 0;
}

int doClose(SOCKET handle) {
  {
    SocketRef s(handle);
    if (!enter(s)) return SOCKET_ERROR;
    std::lock_guard<std::mutex> g(s->lock);
    s->abortiveClose = s->linger.l_onoff && s->linger.l_linger == 0;
    // A call blocked on the socket in another thread ends (WSAEINTR).
    s->closed = true;
  }
  if (!closeHandle(reinterpret_cast<HANDLE>(handle), Kind::Socket)) return failWith(WSAENOTSOCK);
  Registry &r = registry();
  std::lock_guard<std::mutex> g(r.lock);
  if (auto it = r.handles.find(currentPid()); it != r.handles.end()) it->second.erase(handle);
  return 0;
}

int doIoctl(SOCKET handle, long cmd, u_long *argp) {
  SocketRef s(handle);
  if (!enter(s)) return SOCKET_ERROR;
  if (!argp) return failWith(WSAEFAULT);
  switch (uint32_t(cmd)) {
    case uint32_t(FIONBIO): {
      std::lock_guard<std::mutex> g(s->lock);
      s->nonBlocking = *argp != 0;
      return 0;
    }
    case uint32_t(FIONREAD): {
      unsigned long bytes = 0;
      int r = hostBytesAvailable(s->fd, bytes);
      if (r < 0) return failWith(wsaFromErrno(-r));
      *argp = u_long(bytes);
      return 0;
    }
    default: return failWith(WSAEINVAL);
  }
}

// BOOL and int options take an int; Windows also takes a shorter value for
// a BOOL, read as far as it goes.
bool readIntOption(const char *optval, int optlen, int &value) {
  if (!optval || optlen <= 0) {
    failWith(WSAEFAULT);
    return false;
  }
  value = 0;
  std::memcpy(&value, optval, std::min<size_t>(size_t(optlen), sizeof value));
  return true;
}

bool hostOptionOf(int level, int optname, HostOption &option) {
  if (level == IPPROTO_TCP && optname == TCP_NODELAY) {
    option = HostOption::NoDelay;
    return true;
  }
  if (level != SOL_SOCKET) return false;
  switch (optname) {
    case SO_REUSEADDR: option = HostOption::ReuseAddress; return true;
    case SO_KEEPALIVE: option = HostOption::KeepAlive; return true;
    case SO_BROADCAST: option = HostOption::Broadcast; return true;
    case SO_SNDBUF: option = HostOption::SendBuffer; return true;
    case SO_RCVBUF: option = HostOption::ReceiveBuffer; return true;
    case SO_OOBINLINE: option = HostOption::OobInline; return true;
    default: return false;
  }
}

int doSetOption(SOCKET handle, int level, int optname, const char *optval, int optlen) {
  SocketRef s(handle);
  if (!enter(s)) return SOCKET_ERROR;
  if (level != SOL_SOCKET && level != IPPROTO_TCP) return failWith(WSAEINVAL);
  if (level == SOL_SOCKET && optname == SO_LINGER) {
    if (!optval || optlen < int(sizeof(LINGER))) return failWith(WSAEFAULT);
    if (!s->stream) return failWith(WSAENOPROTOOPT);
    std::lock_guard<std::mutex> g(s->lock);
    std::memcpy(&s->linger, optval, sizeof(LINGER));
    return 0;
  }
  int value = 0;
  if (level == SOL_SOCKET && optname == SO_DONTLINGER) {
    if (!readIntOption(optval, optlen, value)) return SOCKET_ERROR;
    if (!s->stream) return failWith(WSAENOPROTOOPT);
    std::lock_guard<std::mutex> g(s->lock);
    s->linger.l_onoff = value ? 0 : 1;
    return 0;
  }
  if (level == SOL_SOCKET && (optname == SO_RCVTIMEO || optname == SO_SNDTIMEO)) {
    if (!readIntOption(optval, optlen, value)) return SOCKET_ERROR;
    std::lock_guard<std::mutex> g(s->lock);
    (optname == SO_RCVTIMEO ? s->receiveTimeout : s->sendTimeout) = DWORD(value);
    return 0;
  }
  if (level == SOL_SOCKET && optname == SO_EXCLUSIVEADDRUSE)
    return readIntOption(optval, optlen, value) ? 0 : SOCKET_ERROR;
  HostOption option;
  if (!hostOptionOf(level, optname, option)) return failWith(WSAENOPROTOOPT);
  if (option == HostOption::NoDelay && !s->stream) return failWith(WSAENOPROTOOPT);
  if (!readIntOption(optval, optlen, value)) return SOCKET_ERROR;
  if (option != HostOption::SendBuffer && option != HostOption::ReceiveBuffer) value = value != 0;
  int r = hostSetOption(s->fd, option, value);
  return r < 0 ? failWith(wsaFromErrno(-r)) : 0;
}

int doGetOption(SOCKET handle, int level, int optname, char *optval, int *optlen) {
  SocketRef s(handle);
  if (!enter(s)) return SOCKET_ERROR;
  if (!optval || !optlen) return failWith(WSAEFAULT);
  if (level != SOL_SOCKET && level != IPPROTO_TCP) return failWith(WSAEINVAL);
  auto give = [&](const void *data, int size) {
    if (*optlen < size) return failWith(WSAEFAULT);
    std::memcpy(optval, data, size_t(size));
    *optlen = size;
    return 0;
  };
  int value = 0;
  if (level == SOL_SOCKET) {
    std::unique_lock<std::mutex> g(s->lock);
    switch (optname) {
      case SO_ERROR:
        advanceConnect(*s);
        value = s->pendingError;
        return give(&value, sizeof value);
      case SO_LINGER: {
        if (!s->stream) return failWith(WSAENOPROTOOPT);
        LINGER l = s->linger;
        return give(&l, sizeof l);
      }
      case SO_DONTLINGER:
        if (!s->stream) return failWith(WSAENOPROTOOPT);
        value = !s->linger.l_onoff;
        return give(&value, sizeof value);
      case SO_RCVTIMEO:
      case SO_SNDTIMEO: {
        DWORD ms = optname == SO_RCVTIMEO ? s->receiveTimeout : s->sendTimeout;
        return give(&ms, sizeof ms);
      }
      case SO_TYPE: value = s->stream ? SOCK_STREAM : SOCK_DGRAM; return give(&value, sizeof value);
      case SO_ACCEPTCONN: value = s->link == Link::Listening; return give(&value, sizeof value);
      default: break;
    }
  }
  HostOption option;
  if (!hostOptionOf(level, optname, option)) return failWith(WSAENOPROTOOPT);
  if (option == HostOption::NoDelay && !s->stream) return failWith(WSAENOPROTOOPT);
  int r = hostGetOption(s->fd, option, value);
  if (r < 0) return failWith(wsaFromErrno(-r));
  return give(&value, sizeof value);
}

int doSockName(SOCKET handle, sockaddr *name, int *namelen) {
  SocketRef s(handle);
  if (!enter(s)) return SOCKET_ERROR;
  {
    std::lock_guard<std::mutex> g(s->lock);
    advanceConnect(*s);
    if (!s->bound && s->link != Link::Connected) return failWith(WSAEINVAL);
  }
  HostEndpoint at;
  int r = hostLocalEndpoint(s->fd, at);
  if (r < 0) return failWith(wsaFromErrno(-r));
  return writeAddress(at, name, namelen) ? 0 : SOCKET_ERROR;
}

int doPeerName(SOCKET handle, sockaddr *name, int *namelen) {
  SocketRef s(handle);
  if (!enter(s)) return SOCKET_ERROR;
  HostEndpoint peer;
  {
    std::lock_guard<std::mutex> g(s->lock);
    advanceConnect(*s);
    if (!s->hasPeer || (s->stream && s->link != Link::Connected)) return failWith(WSAENOTCONN);
    peer = s->peer;
  }
  return writeAddress(peer, name, namelen) ? 0 : SOCKET_ERROR;
}

// ----- select

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

// ----- names

struct HostEntry {
  hostent entry{};
  char name[256]{};
  char *aliases[1]{};
  uint32_t address = 0;
  char *addresses[2]{};
};

hostent *hostEntryFor(const char *name, uint32_t ip) {
  // One entry per thread, as Windows keeps it.
  thread_local HostEntry e;
  std::snprintf(e.name, sizeof e.name, "%s", name);
  e.aliases[0] = nullptr;
  e.address = htonl(ip);
  e.addresses[0] = reinterpret_cast<char *>(&e.address);
  e.addresses[1] = nullptr;
  e.entry.h_name = e.name;
  e.entry.h_aliases = e.aliases;
  e.entry.h_addrtype = AF_INET;
  e.entry.h_length = 4;
  e.entry.h_addr_list = e.addresses;
  return &e.entry;
}

hostent *doGetHostByName(const char *name) {
  if (!started()) {
    failWith(WSANOTINITIALISED);
    return nullptr;
  }
  std::string text = name ? name : "";
  if (text.empty()) text = machineHostName();
  uint32_t ip = 0;
  // A dotted address is its own entry (not a number alone: "1234" is a name).
  if (text.find('.') != std::string::npos && hostParseAddress(text.c_str(), ip)) return hostEntryFor(text.c_str(), ip);
  if (!resolveHostName(text, ip)) {
    failWith(WSAHOST_NOT_FOUND);
    return nullptr;
  }
  return hostEntryFor(text.c_str(), ip);
}

void resetSockets() {
  ++g_generation;
  closeHandlesOfKind(Kind::Socket);
  // A call blocked on a socket holds it until it has seen the close and
  // left: wait (bounded, real time) for those calls, so that the reset
  // returns with every host socket closed, as unplugging a USB device waits
  // for the calls inside it.
  Registry &r = registry();
  for (int i = 0; i < 5000; ++i) {
    {
      std::lock_guard<std::mutex> g(r.lock);
      if (r.openByProcess.empty()) break;
    }
    notifyWaiters();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::lock_guard<std::mutex> g(r.lock);
  r.startups.clear();
  r.handles.clear();
}

void processEnded(const ProcessRecord &process) {
  Registry &r = registry();
  std::lock_guard<std::mutex> g(r.lock);
  r.startups.erase(process.id);
  r.handles.erase(process.id);
}

// Every socket closes before the spooler's threads are stopped, so that
// none of them stays in a wait on one.
const ResetStep kResetSockets(kResetStopServices - 5, resetSockets);
const ProcessEndStep kProcessSockets(processEnded);

}  // namespace

}  // namespace winsim::ws

namespace winsim {

size_t openSocketCount(DWORD processId) {
  if (!processId) processId = ws::currentPid();
  ws::Registry &r = ws::registry();
  std::lock_guard<std::mutex> g(r.lock);
  auto it = r.openByProcess.find(processId);
  return it == r.openByProcess.end() ? 0 : it->second;
}

}  // namespace winsim

using namespace winsim;
using namespace winsim::ws;

// ------------------------------------------------------------ the API

int WSAAPI WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData) {
  const BYTE major = LOBYTE(wVersionRequested), minor = HIBYTE(wVersionRequested);
  if (!lpWSAData) return WSAEFAULT;
  std::memset(lpWSAData, 0, sizeof *lpWSAData);
  lpWSAData->wHighVersion = kHighestVersion;
  std::snprintf(lpWSAData->szDescription, sizeof lpWSAData->szDescription, "WinSock 2.0");
  std::snprintf(lpWSAData->szSystemStatus, sizeof lpWSAData->szSystemStatus, "Running");
  if (major < 1) {
    lpWSAData->wVersion = kHighestVersion;
    return WSAVERNOTSUPPORTED;
  }
  lpWSAData->wVersion = (major > 2 || (major == 2 && minor > 2)) ? kHighestVersion : wVersionRequested;
  DWORD pid = currentPid();
  Registry &r = registry();
  std::lock_guard<std::mutex> g(r.lock);
  ++r.startups[pid];
  return 0;
}

int WSAAPI WSACleanup(void) {
  DWORD pid = currentPid();
  std::set<SOCKET> left;
  {
    Registry &r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    auto it = r.startups.find(pid);
    if (it == r.startups.end() || it->second <= 0) return failWith(WSANOTINITIALISED);
    if (--it->second > 0) return 0;
    r.startups.erase(it);
    left.swap(r.handles[pid]);
  }
  // The last clean-up closes what the process left open; a call blocked on
  // one of them ends.
  for (SOCKET h : left) {
    if (auto *o = static_cast<SocketObject *>(lookup(reinterpret_cast<HANDLE>(h), Kind::Socket))) {
      o->closed = true;
      release(o);
      closeHandle(reinterpret_cast<HANDLE>(h), Kind::Socket);
    }
  }
  setLastError(0);
  return 0;
}

int WSAAPI WSAGetLastError(void) { return int(lastError()); }
void WSAAPI WSASetLastError(int iError) { setLastError(DWORD(iError)); }

int WSAAPI __WSAFDIsSet(SOCKET fd, fd_set *set) {
  if (!set) return 0;
  for (u_int i = 0; i < set->fd_count && i < FD_SETSIZE; ++i)
    if (set->fd_array[i] == fd) return 1;
  return 0;
}

SOCKET WSAAPI socket(int af, int type, int protocol) { return doSocket(af, type, protocol); }
int WSAAPI bind(SOCKET s, const struct sockaddr *name, int namelen) { return doBind(s, name, namelen); }
int WSAAPI listen(SOCKET s, int backlog) { return doListen(s, backlog); }
int WSAAPI closesocket(SOCKET s) { return doClose(s); }
int WSAAPI ioctlsocket(SOCKET s, long cmd, u_long *argp) { return doIoctl(s, cmd, argp); }
int WSAAPI shutdown(SOCKET s, int how) { return doShutdown(s, how); }
int WSAAPI getsockopt(SOCKET s, int level, int optname, char *optval, int *optlen) {
  return doGetOption(s, level, optname, optval, optlen);
}
int WSAAPI setsockopt(SOCKET s, int level, int optname, const char *optval, int optlen) {
  return doSetOption(s, level, optname, optval, optlen);
}
int WSAAPI getsockname(SOCKET s, struct sockaddr *name, int *namelen) { return doSockName(s, name, namelen); }
int WSAAPI getpeername(SOCKET s, struct sockaddr *name, int *namelen) { return doPeerName(s, name, namelen); }

// The calls that can block end their thread here when TerminateThread asked
// for it while they waited (with no reference or lock held any more).
SOCKET WSAAPI accept(SOCKET s, struct sockaddr *addr, int *addrlen) {
  SOCKET r = doAccept(s, addr, addrlen);
  checkTermination();
  return r;
}
int WSAAPI connect(SOCKET s, const struct sockaddr *name, int namelen) {
  int r = doConnect(s, name, namelen);
  checkTermination();
  return r;
}
int WSAAPI send(SOCKET s, const char *buf, int len, int flags) {
  int r = doSend(s, buf, len, flags, nullptr, 0);
  checkTermination();
  return r;
}
int WSAAPI sendto(SOCKET s, const char *buf, int len, int flags, const struct sockaddr *to, int tolen) {
  int r = doSend(s, buf, len, flags, to, tolen);
  checkTermination();
  return r;
}
int WSAAPI recv(SOCKET s, char *buf, int len, int flags) {
  int r = doReceive(s, buf, len, flags, nullptr, nullptr);
  checkTermination();
  return r;
}
int WSAAPI recvfrom(SOCKET s, char *buf, int len, int flags, struct sockaddr *from, int *fromlen) {
  int r = doReceive(s, buf, len, flags, from, fromlen);
  checkTermination();
  return r;
}
int WSAAPI select(int, fd_set *readfds, fd_set *writefds, fd_set *exceptfds, const struct timeval *timeout) {
  int r = doSelect(readfds, writefds, exceptfds, timeout);
  checkTermination();
  return r;
}

struct hostent *WSAAPI gethostbyname(const char *name) {
  return doGetHostByName(name);
}

int WSAAPI gethostname(char *name, int namelen) {
  if (!started()) return failWith(WSANOTINITIALISED);
  std::string own = machineHostName();
  if (!name || namelen <= int(own.size())) return failWith(WSAEFAULT);
  std::memcpy(name, own.c_str(), own.size() + 1);
  return 0;
}

unsigned long WSAAPI inet_addr(const char *cp) {
  uint32_t ip = 0;
  if (!hostParseAddress(cp, ip)) return INADDR_NONE;
  return htonl(ip);
}

char *WSAAPI inet_ntoa(struct in_addr in) {
  // One buffer per thread, as Windows keeps it.
  thread_local char text[16];
  const UCHAR *b = &in.S_un.S_un_b.s_b1;
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
  return text;
}

u_short WSAAPI htons(u_short hostshort) { return u_short(__builtin_bswap16(uint16_t(hostshort))); }
u_short WSAAPI ntohs(u_short netshort) { return u_short(__builtin_bswap16(uint16_t(netshort))); }
u_long WSAAPI htonl(u_long hostlong) { return __builtin_bswap32(uint32_t(hostlong)); }
u_long WSAAPI ntohl(u_long netlong) { return __builtin_bswap32(uint32_t(netlong)); }
