#include "emulator/include/cardemu/net_printer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "emulator/include/cardemu/http_endpoint.h"
#include "emulator/include/cardemu/network.h"
#include "emulator/include/cardemu/snmp_agent.h"

namespace cardemu {

bool isLoopbackAddress(const std::string &address) {
  in_addr a{};
  if (inet_pton(AF_INET, address.c_str(), &a) != 1) return false;
  return (ntohl(a.s_addr) >> 24) == 127;
}

namespace {

using Clock = std::chrono::steady_clock;

// Bytes read from a connection at a time; the data channel's largest message.
constexpr size_t kReadSize = 65536 + 4;
// While the printer pushes back, bytes it has not taken are offered again this often.
constexpr int kRetryMs = 10;

void closeFd(int &fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Closes with a reset (RST) instead of the orderly end: what the peer of a
// restarting interface sees.
void resetFd(int &fd) {
  if (fd < 0) return;
  linger l{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  closeFd(fd);
}

// A non-blocking socket bound to address:port (TCP sockets listening); -1
// with the reason in `problem`.
int openSocket(const std::string &address, uint16_t port, bool tcp, std::string *problem, uint16_t *bound) {
  const int fd = ::socket(AF_INET, (tcp ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    *problem = std::string("socket: ") + std::strerror(errno);
    return -1;
  }
  const int one = 1;
  if (tcp) ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
  if (::bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0 || (tcp && ::listen(fd, 16) != 0)) {
    *problem = std::string(tcp ? "TCP" : "UDP") + " port " + std::to_string(port) + " on " + address + ": " +
               std::strerror(errno);
    ::close(fd);
    return -1;
  }
  socklen_t len = sizeof sa;
  ::getsockname(fd, reinterpret_cast<sockaddr *>(&sa), &len);
  *bound = ntohs(sa.sin_port);
  return fd;
}

enum class Kind { kData, kStatus, kHttp };

struct Connection {
  Kind kind;
  int fd = -1;
  Clock::time_point opened = Clock::now();
  std::vector<uint8_t> pending;  // data channel bytes the printer has not taken yet
  std::string out;               // bytes to send
  bool closeWhenSent = false;
  // The answer is out and sending is shut: what the peer still sends is read
  // and dropped until it closes or the time is up, so that unread bytes do
  // not turn the close into a reset that could destroy the answer.
  bool draining = false;
  Clock::time_point drainUntil{};
  bool finished = false;  // to be closed (orderly) now
  bool cut = false;       // to be reset now
  std::unique_ptr<DataChannel> data;
  std::unique_ptr<StatusChannel> status;
  std::unique_ptr<http::RequestReader> http;
};

}  // namespace

struct NetPrinter::Impl {
  Impl(Printer &p, NetConfig c) : printer(p), config(std::move(c)) {}

  Printer &printer;
  const NetConfig config;
  NetPorts ports;

  // Shared with the callers, under `lock`.
  mutable std::mutex lock;
  NetStats stats;
  bool stopping = false;
  bool manualRefusing = false;
  std::optional<Clock::time_point> restartUntil;
  bool silent = false;
  uint64_t resetBudget = 0;                  // 0: not armed
  uint64_t busyPolls = 0;                    // status polls still to be answered busy
  DataChannel::FrameListener frameListener;  // set before the service thread runs
  // A fault set by a caller takes effect before the call returns: the
  // service thread reports each request it has applied.
  uint64_t requested = 0, applied = 0;
  std::condition_variable appliedChanged;

  // The service thread's own.
  std::thread thread;
  int wake = -1;
  int dataListen = -1, statusListen = -1, httpListen = -1, snmp = -1;
  std::vector<std::unique_ptr<Connection>> connections;
  Connection *answerTo = nullptr;  // the data connection that last sent bytes
  Clock::time_point nextListenTry{};

  // Makes the service thread apply the shared state, and waits (boundedly)
  // until it has.  Called with `lock` held through `g`.
  void request(std::unique_lock<std::mutex> &g) {
    const uint64_t mine = ++requested;
    signal();
    if (!thread.joinable()) return;
    appliedChanged.wait_for(g, std::chrono::seconds(2), [&] { return applied >= mine || stopping; });
  }

  void signal() {
    const uint64_t one = 1;
    if (wake >= 0) (void)!::write(wake, &one, sizeof one);
  }

  bool bindAll(std::string *problem) {
    std::string why;
    dataListen = openSocket(config.address, config.dataPort, true, &why, &ports.data);
    if (dataListen >= 0) statusListen = openSocket(config.address, config.statusPort, true, &why, &ports.status);
    if (statusListen >= 0) httpListen = openSocket(config.address, config.httpPort, true, &why, &ports.http);
    if (httpListen >= 0) snmp = openSocket(config.address, config.snmpPort, false, &why, &ports.snmp);
    if (snmp < 0) {
      if (problem) *problem = why;
      closeAll();
      return false;
    }
    wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
      if (problem) *problem = std::string("eventfd: ") + std::strerror(errno);
      closeAll();
      return false;
    }
    return true;
  }

  // The sockets; the wake-up descriptor only once no caller can signal any
  // more (after the thread has ended, or when it never started).
  void closeAll(bool wakeToo = true) {
    for (auto &c : connections) closeFd(c->fd);
    connections.clear();
    answerTo = nullptr;
    closeFd(dataListen);
    closeFd(statusListen);
    closeFd(httpListen);
    closeFd(snmp);
    if (wakeToo) closeFd(wake);
  }

  // The data port follows the wanted state: closed while refusing (open data
  // connections reset), listening again on the same port afterwards.
  void applyDataPort(bool refusing, Clock::time_point now) {
    if (refusing) {
      if (dataListen >= 0) closeFd(dataListen);
      for (auto &c : connections)
        if (c->kind == Kind::kData) c->cut = true;
      return;
    }
    if (dataListen >= 0 || now < nextListenTry) return;
    std::string why;
    uint16_t bound = 0;
    dataListen = openSocket(config.address, ports.data, true, &why, &bound);
    // The port may be taken by someone else meanwhile: try again shortly.
    if (dataListen < 0) nextListenTry = now + std::chrono::milliseconds(100);
  }

  void run() {
    std::vector<uint8_t> buffer(kReadSize);
    for (;;) {
      const Clock::time_point now = Clock::now();
      bool refusing, quiet;
      uint64_t generation;
      {
        std::lock_guard<std::mutex> g(lock);
        if (stopping) break;
        if (restartUntil && now >= *restartUntil) restartUntil.reset();
        refusing = manualRefusing || restartUntil.has_value();
        quiet = silent;
        generation = requested;
      }
      applyDataPort(refusing, now);
      reap();
      {
        std::lock_guard<std::mutex> g(lock);
        stats.dataPortOpen = dataListen >= 0;
        applied = generation;
      }
      appliedChanged.notify_all();

      if (!quiet) {
        pumpAnswers();
        for (auto &c : connections)
          if (c->kind == Kind::kData && !c->pending.empty() && !c->cut) feedData(*c, nullptr, 0);
      }
      expireHttp(now);
      reap();

      // What to wait for.
      std::vector<pollfd> fds;
      std::vector<Connection *> owners;
      auto watch = [&](int fd, short events, Connection *c) {
        fds.push_back({fd, events, 0});
        owners.push_back(c);
      };
      watch(wake, POLLIN, nullptr);
      if (dataListen >= 0) watch(dataListen, POLLIN, nullptr);
      watch(statusListen, POLLIN, nullptr);
      watch(httpListen, POLLIN, nullptr);
      watch(snmp, POLLIN, nullptr);
      bool retry = false;
      for (auto &c : connections) {
        short events = 0;
        if (c->draining) {
          events = POLLIN;
        } else if (!quiet) {
          const bool reading = !c->closeWhenSent && (c->kind != Kind::kData || c->pending.empty());
          if (reading) events |= POLLIN;
          if (!c->out.empty()) events |= POLLOUT;
          if (!c->pending.empty()) retry = true;
        }
        watch(c->fd, events, c.get());
      }
      int timeout = 200;
      if (retry) timeout = kRetryMs;
      {
        std::lock_guard<std::mutex> g(lock);
        if (restartUntil) {
          const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*restartUntil - now).count() + 1;
          timeout = static_cast<int>(std::clamp<long long>(left, 0, timeout));
        }
      }
      if (!refusing && dataListen < 0) timeout = std::min(timeout, 100);
      const int n = ::poll(fds.data(), fds.size(), timeout);
      if (n < 0 && errno != EINTR) break;
      if (n <= 0) continue;

      for (size_t i = 0; i < fds.size(); ++i) {
        const short got = fds[i].revents;
        if (!got) continue;
        const int fd = fds[i].fd;
        if (fd == wake) {
          uint64_t v;
          (void)!::read(wake, &v, sizeof v);
        } else if (!owners[i]) {
          if (fd == snmp)
            serveSnmp(quiet, buffer);
          else
            accept(fd);
        } else if (Connection *c = owners[i]) {
          if (got & (POLLERR | POLLNVAL) || (quiet && !c->draining && (got & POLLHUP))) {
            c->finished = true;
            continue;
          }
          if (quiet && !c->draining) continue;
          if (got & POLLOUT) send(*c);
          if (got & (POLLIN | POLLHUP)) receive(*c, buffer);
        }
      }
    }
    closeAll(false);
  }

  void accept(int listenFd) {
    const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return;
    if (connections.size() >= config.maxConnections) {
      int f = fd;
      closeFd(f);
      return;
    }
    auto c = std::make_unique<Connection>();
    c->fd = fd;
    std::lock_guard<std::mutex> g(lock);
    if (listenFd == dataListen) {
      c->kind = Kind::kData;
      c->data = std::make_unique<DataChannel>(printer, [this](const DataFrame &f) {
        {
          std::lock_guard<std::mutex> g2(lock);
          ++stats.frames;
          stats.largestFrame = std::max(stats.largestFrame, f.length);
        }
        if (frameListener) frameListener(f);
      });
      ++stats.dataConnections;
    } else if (listenFd == statusListen) {
      c->kind = Kind::kStatus;
      c->status = std::make_unique<StatusChannel>(printer);
      ++stats.statusConnections;
    } else {
      c->kind = Kind::kHttp;
      c->http = std::make_unique<http::RequestReader>();
      ++stats.httpConnections;
    }
    connections.push_back(std::move(c));
  }

  void serveSnmp(bool quiet, std::vector<uint8_t> &buffer) {
    for (int i = 0; i < 16; ++i) {
      sockaddr_in from{};
      socklen_t len = sizeof from;
      const ssize_t n = ::recvfrom(snmp, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr *>(&from), &len);
      if (n < 0) return;
      std::vector<uint8_t> reply;
      if (!quiet)
        reply = snmp::answer(buffer.data(), static_cast<size_t>(n), config.community, printer.state().modelText);
      {
        std::lock_guard<std::mutex> g(lock);
        ++stats.snmpRequests;
        if (!reply.empty()) ++stats.snmpAnswers;
      }
      // Answers go back only to loopback peers, like everything else here.
      if (!reply.empty() && (ntohl(from.sin_addr.s_addr) >> 24) == 127)
        ::sendto(snmp, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr *>(&from), len);
    }
  }

  void receive(Connection &c, std::vector<uint8_t> &buffer) {
    if (c.cut || c.finished) return;
    const ssize_t n = ::recv(c.fd, buffer.data(), buffer.size(), 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
      // The peer closed (or reset): what it still has to receive is lost anyway.
      c.finished = true;
      return;
    }
    if (n < 0 || c.draining) return;
    switch (c.kind) {
      case Kind::kData: feedData(c, buffer.data(), static_cast<size_t>(n)); break;
      case Kind::kStatus: {
        auto r = c.status->receive(buffer.data(), static_cast<size_t>(n));
        // Each answered poll is twelve bytes: ACK, filler, the status byte at
        // offset 10, EOT.  The interface sets bit 7 while it is busy.
        std::lock_guard<std::mutex> g(lock);
        for (size_t at = 0; at + 12 <= r.size(); at += 12) {
          ++stats.statusPolls;
          if (busyPolls == 0) continue;
          --busyPolls;
          r[at + 10] |= kLineBusy;
        }
        c.out.append(r.begin(), r.end());
        break;
      }
      case Kind::kHttp: {
        const auto state = c.http->feed(buffer.data(), static_cast<size_t>(n));
        if (state == http::RequestReader::State::kNeedMore) break;
        http::Reply r = state == http::RequestReader::State::kComplete
                            ? http::answer(c.http->request(), config.httpCredential)
                            : http::answerBad(c.http->badStatus());
        c.out += r.bytes;
        c.closeWhenSent = true;
        if (r.resetInterface) {
          // The port goes down before the answer leaves, so that a client that
          // has read the answer finds it refusing.
          std::lock_guard<std::mutex> g(lock);
          ++stats.interfaceResets;
          restartUntil = Clock::now() + config.restartTime;
        }
        if (r.resetInterface) applyDataPort(true, Clock::now());
        break;
      }
    }
    if (!c.out.empty()) send(c);
  }

  // Offers the connection's waiting bytes and then `more` to the printer;
  // what it does not take waits in `pending`.
  void feedData(Connection &c, const uint8_t *more, size_t count) {
    if (more) c.pending.insert(c.pending.end(), more, more + count);
    if (c.pending.empty()) return;
    size_t offer = c.pending.size();
    bool cutAfter = false;
    {
      std::lock_guard<std::mutex> g(lock);
      if (resetBudget && resetBudget <= offer) {
        offer = static_cast<size_t>(resetBudget);
        cutAfter = true;
      }
    }
    const long taken = c.data->receive(c.pending.data(), offer);
    if (taken < 0) {
      std::lock_guard<std::mutex> g(lock);
      ++stats.connectionsBroken;
      c.cut = true;
      return;
    }
    if (taken > 0) answerTo = &c;
    c.pending.erase(c.pending.begin(), c.pending.begin() + taken);
    std::lock_guard<std::mutex> g(lock);
    stats.dataBytes += static_cast<uint64_t>(taken);
    if (resetBudget) {
      resetBudget -= std::min<uint64_t>(resetBudget, static_cast<uint64_t>(taken));
      if (cutAfter && resetBudget == 0) {
        ++stats.connectionsReset;
        c.cut = true;
        c.pending.clear();
      }
    }
  }

  void pumpAnswers() {
    uint8_t buf[4096];
    for (;;) {
      const long n = printer.read(buf, sizeof buf);
      if (n <= 0) return;
      // Answers for a connection that has gone are dropped with it.
      if (answerTo && !answerTo->cut && !answerTo->finished) {
        answerTo->out.append(reinterpret_cast<const char *>(buf), static_cast<size_t>(n));
        send(*answerTo);
      }
    }
  }

  void send(Connection &c) {
    while (!c.out.empty()) {
      const ssize_t n = ::send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL);
      if (n < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) c.finished = true;
        return;
      }
      c.out.erase(0, static_cast<size_t>(n));
    }
    if (c.closeWhenSent && !c.draining) {
      ::shutdown(c.fd, SHUT_WR);
      c.draining = true;
      c.drainUntil = Clock::now() + std::chrono::seconds(1);
    }
  }

  void expireHttp(Clock::time_point now) {
    for (auto &c : connections) {
      if (c->draining && now >= c->drainUntil) c->finished = true;
      if (c->kind == Kind::kHttp && !c->closeWhenSent && now - c->opened > config.httpIdleLimit) c->finished = true;
    }
  }

  void reap() {
    for (auto it = connections.begin(); it != connections.end();) {
      Connection &c = **it;
      if (!c.cut && !c.finished) {
        ++it;
        continue;
      }
      if (answerTo == &c) answerTo = nullptr;
      if (c.cut) {
        resetFd(c.fd);
      } else {
        if (!c.draining) ::shutdown(c.fd, SHUT_WR);
        closeFd(c.fd);
      }
      it = connections.erase(it);
    }
  }
};

NetPrinter::NetPrinter(Printer &printer, NetConfig config)
    : impl_(std::make_unique<Impl>(printer, std::move(config))) {}

NetPrinter::~NetPrinter() { stop(); }

bool NetPrinter::start(std::string *problem) {
  if (impl_->thread.joinable()) {
    if (problem) *problem = "already serving";
    return false;
  }
  if (!isLoopbackAddress(impl_->config.address)) {
    if (problem) *problem = impl_->config.address + " is not a loopback address (127.x.y.z)";
    return false;
  }
  if (!impl_->bindAll(problem)) return false;
  {
    std::lock_guard<std::mutex> g(impl_->lock);
    impl_->stopping = false;
    impl_->stats.dataPortOpen = true;
  }
  Impl *impl = impl_.get();
  impl_->printer.setAnswerListener([impl] { impl->signal(); });
  impl_->thread = std::thread([impl] { impl->run(); });
  return true;
}

void NetPrinter::stop() {
  if (!impl_->thread.joinable()) return;
  // First, so that no answer listener call is running when the thread ends.
  impl_->printer.setAnswerListener(nullptr);
  {
    std::lock_guard<std::mutex> g(impl_->lock);
    impl_->stopping = true;
  }
  impl_->signal();
  impl_->thread.join();
  closeFd(impl_->wake);
}

NetPorts NetPrinter::ports() const { return impl_->ports; }

const std::string &NetPrinter::address() const { return impl_->config.address; }

NetStats NetPrinter::stats() const {
  std::lock_guard<std::mutex> g(impl_->lock);
  NetStats s = impl_->stats;
  s.silent = impl_->silent;
  s.restarting = impl_->restartUntil.has_value();
  return s;
}

void NetPrinter::setFrameListener(DataChannel::FrameListener listener) { impl_->frameListener = std::move(listener); }

void NetPrinter::setRefusing(bool refusing) {
  std::unique_lock<std::mutex> g(impl_->lock);
  impl_->manualRefusing = refusing;
  impl_->request(g);
}

void NetPrinter::restartInterface(std::chrono::milliseconds time) {
  std::unique_lock<std::mutex> g(impl_->lock);
  impl_->restartUntil = std::chrono::steady_clock::now() + time;
  impl_->request(g);
}

void NetPrinter::setSilent(bool silent) {
  std::unique_lock<std::mutex> g(impl_->lock);
  impl_->silent = silent;
  impl_->request(g);
}

void NetPrinter::setBusyPolls(uint64_t polls) {
  std::lock_guard<std::mutex> g(impl_->lock);
  impl_->busyPolls = polls;
}

void NetPrinter::resetDataAfter(uint64_t bytes) {
  std::unique_lock<std::mutex> g(impl_->lock);
  impl_->resetBudget = bytes;
  impl_->request(g);
}

}  // namespace cardemu
