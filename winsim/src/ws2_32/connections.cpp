// The calls that make, connect and end a socket: socket, connect (a
// connection goes where the virtual network routes it, or fails as it
// would), bind, listen, accept, shutdown and closesocket.
#include <winsock2.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "core/internal.h"
#include "ws2_32/host.h"
#include "ws2_32/network.h"
#include "ws2_32/winsock_internal.h"

namespace winsim::ws {

namespace {

// A connection to a host that never answers gives up as Windows does after
// its SYN retransmissions (3 s, 6 s, 12 s).
constexpr DWORD kConnectGiveUpMs = 21000;

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

}  // namespace

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

}  // namespace winsim::ws
