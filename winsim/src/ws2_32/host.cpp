// The host side of ws2_32: the C library's sockets, always non-blocking, so
// that every wait is winsim's own (on the simulated clock, ended by
// TerminateThread and the machine reset).
#include "ws2_32/host.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace winsim::ws {

namespace {

sockaddr_in toSockaddr(HostEndpoint e) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(e.ip);
  a.sin_port = htons(e.port);
  return a;
}

HostEndpoint fromSockaddr(const sockaddr_in &a) { return {ntohl(a.sin_addr.s_addr), ntohs(a.sin_port)}; }

int failure() { return -errno; }

int sendFlags(unsigned flags) {
  int f = MSG_NOSIGNAL;
  if (flags & kHostOob) f |= MSG_OOB;
  return f;
}

bool optionLevel(HostOption option, int &level, int &name) {
  level = SOL_SOCKET;
  switch (option) {
    case HostOption::ReuseAddress: name = SO_REUSEADDR; return true;
    case HostOption::KeepAlive: name = SO_KEEPALIVE; return true;
    case HostOption::Broadcast: name = SO_BROADCAST; return true;
    case HostOption::SendBuffer: name = SO_SNDBUF; return true;
    case HostOption::ReceiveBuffer: name = SO_RCVBUF; return true;
    case HostOption::OobInline: name = SO_OOBINLINE; return true;
    case HostOption::NoDelay:
      level = IPPROTO_TCP;
      name = TCP_NODELAY;
      return true;
  }
  return false;
}

}  // namespace

int hostSocket(HostType type) {
  int fd = ::socket(AF_INET, (type == HostType::Stream ? SOCK_STREAM : SOCK_DGRAM) | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  return fd < 0 ? failure() : fd;
}

void hostClose(int fd, bool abortive) {
  if (fd < 0) return;
  if (abortive) {
    ::linger l{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  }
  ::close(fd);
}

int hostBind(int fd, HostEndpoint at) {
  if (!isLoopback(at.ip)) return -EADDRNOTAVAIL;
  sockaddr_in a = toSockaddr(at);
  return ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) < 0 ? failure() : 0;
}

int hostListen(int fd, int backlog) { return ::listen(fd, backlog) < 0 ? failure() : 0; }

int hostConnect(int fd, HostEndpoint to) {
  if (!isLoopback(to.ip)) return -ENETUNREACH;
  sockaddr_in a = toSockaddr(to);
  return ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) < 0 ? failure() : 0;
}

int hostConnectOutcome(int fd, bool &resetSince) {
  resetSince = false;
  pollfd p{fd, POLLOUT, 0};
  if (::poll(&p, 1, 0) < 0) return failure();
  if (!(p.revents & (POLLOUT | POLLERR | POLLHUP))) return -EINPROGRESS;
  int error = 0;
  socklen_t len = sizeof error;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) < 0) return failure();
  if (error == ECONNRESET || error == EPIPE) {
    // Made, then reset: the connect succeeded, what follows fails.
    resetSince = true;
    return 0;
  }
  if (error) return -error;
  // A refusal always leaves its error; a connection without a peer any more
  // was made and lost.
  sockaddr_in peer{};
  len = sizeof peer;
  if (::getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &len) < 0) resetSince = true;
  return 0;
}

int hostAccept(int fd, HostEndpoint &peer) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  int n = ::accept4(fd, reinterpret_cast<sockaddr *>(&a), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (n < 0) return failure();
  peer = fromSockaddr(a);
  return n;
}

long hostSend(int fd, const void *data, size_t size, unsigned flags) {
  ssize_t n = ::send(fd, data, size, sendFlags(flags));
  return n < 0 ? failure() : long(n);
}

long hostSendTo(int fd, const void *data, size_t size, HostEndpoint to) {
  if (!isLoopback(to.ip)) return -ENETUNREACH;
  sockaddr_in a = toSockaddr(to);
  ssize_t n = ::sendto(fd, data, size, MSG_NOSIGNAL, reinterpret_cast<sockaddr *>(&a), sizeof a);
  return n < 0 ? failure() : long(n);
}

long hostRecv(int fd, void *data, size_t size, unsigned flags, HostEndpoint *from, bool &truncated) {
  int f = 0;
  if (flags & kHostPeek) f |= MSG_PEEK;
  if (flags & kHostOob) f |= MSG_OOB;
  iovec io{data, size};
  sockaddr_in a{};
  msghdr m{};
  m.msg_name = &a;
  m.msg_namelen = sizeof a;
  m.msg_iov = &io;
  m.msg_iovlen = 1;
  ssize_t n = ::recvmsg(fd, &m, f);
  if (n < 0) return failure();
  truncated = (m.msg_flags & MSG_TRUNC) != 0;
  if (from) *from = m.msg_namelen >= sizeof a ? fromSockaddr(a) : HostEndpoint{};
  return long(n);
}

int hostShutdown(int fd, bool receive, bool send) {
  int how = receive && send ? SHUT_RDWR : send ? SHUT_WR : SHUT_RD;
  return ::shutdown(fd, how) < 0 ? failure() : 0;
}

int hostLocalEndpoint(int fd, HostEndpoint &at) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) < 0) return failure();
  at = fromSockaddr(a);
  return 0;
}

int hostPeerEndpoint(int fd, HostEndpoint &peer) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (::getpeername(fd, reinterpret_cast<sockaddr *>(&a), &len) < 0) return failure();
  peer = fromSockaddr(a);
  return 0;
}

int hostBytesAvailable(int fd, unsigned long &bytes) {
  int n = 0;
  if (::ioctl(fd, FIONREAD, &n) < 0) return failure();
  bytes = unsigned(n);
  return 0;
}

int hostSetOption(int fd, HostOption option, int value) {
  int level = 0, name = 0;
  if (!optionLevel(option, level, name)) return -ENOPROTOOPT;
  return ::setsockopt(fd, level, name, &value, sizeof value) < 0 ? failure() : 0;
}

int hostGetOption(int fd, HostOption option, int &value) {
  int level = 0, name = 0;
  if (!optionLevel(option, level, name)) return -ENOPROTOOPT;
  socklen_t len = sizeof value;
  return ::getsockopt(fd, level, name, &value, &len) < 0 ? failure() : 0;
}

int hostPoll(std::vector<HostPoll> &items, int64_t realNs) {
  std::vector<pollfd> fds(items.size());
  for (size_t i = 0; i < items.size(); ++i) {
    short events = 0;
    if (items[i].want & kReadable) events |= POLLIN;
    if (items[i].want & kWritable) events |= POLLOUT;
    if (items[i].want & kUrgent) events |= POLLPRI;
    fds[i] = {items[i].fd, events, 0};
  }
  if (realNs < 0) realNs = 0;
  timespec wait{time_t(realNs / 1000000000), long(realNs % 1000000000)};
  int n = ::ppoll(fds.data(), fds.size(), &wait, nullptr);
  if (n < 0) return errno == EINTR ? 0 : failure();
  int count = 0;
  for (size_t i = 0; i < items.size(); ++i) {
    unsigned got = 0;
    if (fds[i].revents & POLLIN) got |= kReadable;
    if (fds[i].revents & POLLOUT) got |= kWritable;
    if (fds[i].revents & POLLPRI) got |= kUrgent;
    if (fds[i].revents & (POLLERR | POLLHUP | POLLNVAL)) got |= kFailed;
    items[i].got = got;
    if (got) ++count;
  }
  return count;
}

bool hostParseAddress(const char *text, uint32_t &ip) {
  in_addr a{};
  if (!text || !*text || ::inet_aton(text, &a) == 0) return false;
  ip = ntohl(a.s_addr);
  return true;
}

}  // namespace winsim::ws
