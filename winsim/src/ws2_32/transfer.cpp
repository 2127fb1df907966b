// Data on a socket and what a program sets and asks about one: send and
// receive (each datagram routed on its own through the virtual network),
// ioctlsocket, the options, and the socket's own and its peer's address.
#include <winsock2.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/internal.h"
#include "ws2_32/host.h"
#include "ws2_32/network.h"
#include "ws2_32/winsock_internal.h"

namespace winsim::ws {

namespace {

// Fails a call on a connection, remembering a reset for the calls after it.
int failBroken(SocketObject &s, int error) {
  if (error == WSAECONNRESET || error == WSAECONNABORTED) {
    std::lock_guard<std::mutex> g(s.lock);
    s.brokenError = error;
  }
  return failWith(error);
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

}  // namespace

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

}  // namespace winsim::ws
