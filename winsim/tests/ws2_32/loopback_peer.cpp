// The tests' loopback servers, on the C library's sockets.
#include "loopback_peer.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace ws_test {

namespace {

int boundSocket(const std::string &address, int type, uint16_t port, uint16_t &bound) {
  int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  if (::inet_pton(AF_INET, address.c_str(), &a.sin_addr) != 1 || (ntohl(a.sin_addr.s_addr) >> 24) != 127 ||
      ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) < 0) {
    ::close(fd);
    return -1;
  }
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
  bound = ntohs(a.sin_port);
  return fd;
}

}  // namespace

LoopbackEcho::LoopbackEcho(const std::string &address, bool udp, bool hangUp) : udp_(udp), hangUp_(hangUp) {
  fd_ = boundSocket(address, udp ? SOCK_DGRAM : SOCK_STREAM, 0, port_);
  if (fd_ >= 0 && !udp && ::listen(fd_, 8) < 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (fd_ >= 0) thread_ = std::thread([this] { run(); });
}

LoopbackEcho::~LoopbackEcho() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (fd_ >= 0) ::close(fd_);
}

void LoopbackEcho::run() {
  std::vector<int> peers;
  while (!stop_) {
    std::vector<pollfd> fds{{fd_, POLLIN, 0}};
    for (int p : peers) fds.push_back({p, POLLIN, 0});
    if (::poll(fds.data(), fds.size(), 10) <= 0) continue;
    char buf[4096];
    if (fds[0].revents & POLLIN) {
      if (udp_) {
        sockaddr_in from{};
        socklen_t len = sizeof from;
        ssize_t n = ::recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr *>(&from), &len);
        if (n >= 0) {
          ::sendto(fd_, buf, size_t(n), 0, reinterpret_cast<sockaddr *>(&from), len);
          ++served_;
        }
      } else {
        int p = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (p >= 0 && hangUp_) {
          ::linger reset{1, 0};
          ::setsockopt(p, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
          ::close(p);
          ++served_;
        } else if (p >= 0) {
          peers.push_back(p);
          ++served_;
        }
      }
    }
    for (size_t i = 1; i < fds.size(); ++i) {
      if (!fds[i].revents) continue;
      ssize_t n = ::recv(fds[i].fd, buf, sizeof buf, 0);
      if (n > 0) {
        ::send(fds[i].fd, buf, size_t(n), MSG_NOSIGNAL);
      } else {
        ::close(fds[i].fd);
        peers[i - 1] = -1;
      }
    }
    std::erase(peers, -1);
  }
  for (int p : peers) ::close(p);
}

uint16_t closedLoopbackPort(const std::string &address) {
  uint16_t port = 0;
  int fd = boundSocket(address, SOCK_STREAM, 0, port);
  if (fd >= 0) ::close(fd);
  return port;
}

void *libcConnect() { return reinterpret_cast<void *>(&::connect); }

}  // namespace ws_test
