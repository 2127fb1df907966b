// The test's own printer interface (raw_interface.h).  This file holds no
// cases: it is compiled with the glue's tests, apart from the simulated
// machine's socket names.
#include "netmon/tests/glue/raw_interface.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace card::net::test {

std::string statusReply(uint8_t status) {
  std::string r(12, '0');
  r[0] = '\x06';
  r[10] = char(status);
  r[11] = '\x04';
  return r;
}

namespace {

int listenOn(const std::string &address, uint16_t &port) {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  if (s < 0) return -1;
  int one = 1;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = inet_addr(address.c_str());
  if (bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || listen(s, 8) != 0) {
    close(s);
    return -1;
  }
  socklen_t size = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr *>(&a), &size);
  port = ntohs(a.sin_port);
  return s;
}

}  // namespace

struct RawInterface::Impl {
  std::atomic<bool> stop{false};
  int statusListener = -1, dataListener = -1;
  uint16_t statusPort = 0, dataPort = 0;
  mutable std::mutex mutex;
  std::vector<std::string> statusReplies{statusReply(0x58)};
  size_t nextStatus = 0;
  std::chrono::milliseconds statusDelay{0};
  std::string report = "\x06";
  std::chrono::milliseconds reportDelay{0};
  std::atomic<int> polls{0}, reports{0};
  std::thread statusThread, dataThread;

  // Serves one connection after another until stopped; `onBytes` answers
  // what has come so far and keeps what it has not used.
  template <typename OnBytes>
  void serve(int listener, OnBytes onBytes) {
    while (!stop) {
      pollfd l{listener, POLLIN, 0};
      if (poll(&l, 1, 20) <= 0) continue;
      int c = accept(listener, nullptr, nullptr);
      if (c < 0) continue;
      std::string pending;
      while (!stop) {
        pollfd p{c, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        char buffer[4096];
        const ssize_t n = recv(c, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        pending.append(buffer, size_t(n));
        onBytes(c, pending);
      }
      close(c);
    }
  }

  // Waits, but not past the end of the interface.
  void pause(std::chrono::milliseconds delay) {
    for (auto until = std::chrono::steady_clock::now() + delay; !stop && std::chrono::steady_clock::now() < until;)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }

  void sendAll(int c, const std::string &bytes) { send(c, bytes.data(), bytes.size(), MSG_NOSIGNAL); }

  void serveStatus() {
    serve(statusListener, [this](int c, std::string &pending) {
      while (pending.size() >= 3) {
        const bool isPoll = pending.compare(0, 3, "000") == 0;
        pending.erase(0, 3);
        if (!isPoll) continue;
        ++polls;
        std::string reply;
        std::chrono::milliseconds delay;
        {
          std::lock_guard<std::mutex> lock(mutex);
          reply = statusReplies[std::min(nextStatus, statusReplies.size() - 1)];
          ++nextStatus;
          delay = statusDelay;
        }
        pause(delay);
        if (!reply.empty()) sendAll(c, reply);
      }
    });
  }

  void serveData() {
    serve(dataListener, [this](int c, std::string &pending) {
      static const std::string request =
          "\x1b"
          "E 1\r";
      for (size_t at; (at = pending.find(request)) != std::string::npos;) {
        pending.erase(0, at + request.size());
        ++reports;
        std::string reply;
        std::chrono::milliseconds delay;
        {
          std::lock_guard<std::mutex> lock(mutex);
          reply = report;
          delay = reportDelay;
        }
        pause(delay);
        sendAll(c, reply);
      }
    });
  }
};

RawInterface::RawInterface(const std::string &address) : impl_(std::make_unique<Impl>()) {
  impl_->statusListener = listenOn(address, impl_->statusPort);
  impl_->dataListener = listenOn(address, impl_->dataPort);
  if (!started()) return;
  impl_->statusThread = std::thread([this] { impl_->serveStatus(); });
  impl_->dataThread = std::thread([this] { impl_->serveData(); });
}

RawInterface::~RawInterface() {
  impl_->stop = true;
  if (impl_->statusThread.joinable()) impl_->statusThread.join();
  if (impl_->dataThread.joinable()) impl_->dataThread.join();
  if (impl_->statusListener >= 0) close(impl_->statusListener);
  if (impl_->dataListener >= 0) close(impl_->dataListener);
}

bool RawInterface::started() const { return impl_->statusListener >= 0 && impl_->dataListener >= 0; }
uint16_t RawInterface::statusPort() const { return impl_->statusPort; }
uint16_t RawInterface::dataPort() const { return impl_->dataPort; }

void RawInterface::setStatusReplies(std::vector<std::string> replies) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  if (replies.empty()) replies.emplace_back();
  impl_->statusReplies = std::move(replies);
  impl_->nextStatus = 0;
}

void RawInterface::setStatusDelay(std::chrono::milliseconds delay) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->statusDelay = delay;
}

void RawInterface::setReportReply(std::string reply, std::chrono::milliseconds delay) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->report = std::move(reply);
  impl_->reportDelay = delay;
}

int RawInterface::polls() const { return impl_->polls; }
int RawInterface::reports() const { return impl_->reports; }

}  // namespace card::net::test
