// The other end of the emulated network printer for the tests: loopback TCP
// and UDP sockets with bounded waits, and child programs (the emulator's
// command line, real network tools) run with a time limit.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace netpeer {

inline sockaddr_in loopback(uint16_t port, const char *address = "127.0.0.1") {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  inet_pton(AF_INET, address, &sa.sin_addr);
  return sa;
}

// A TCP connection to address:port; `error` is 0 or the errno of the failed connect.
class Tcp {
 public:
  Tcp(uint16_t port, const char *address = "127.0.0.1") {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const sockaddr_in sa = loopback(port, address);
    if (::connect(fd_, reinterpret_cast<const sockaddr *>(&sa), sizeof sa) == 0) return;
    if (errno != EINPROGRESS) {
      error_ = errno;
      return;
    }
    pollfd p{fd_, POLLOUT, 0};
    if (::poll(&p, 1, 2000) != 1) {
      error_ = ETIMEDOUT;
      return;
    }
    socklen_t len = sizeof error_;
    ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error_, &len);
  }
  ~Tcp() {
    if (fd_ >= 0) ::close(fd_);
  }
  Tcp(const Tcp &) = delete;
  Tcp &operator=(const Tcp &) = delete;

  bool connected() const { return error_ == 0; }
  int error() const { return error_; }
  int fd() const { return fd_; }

  // Everything sent within the time limit.
  bool send(const std::string &bytes, int ms = 5000) {
    size_t at = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (at < bytes.size()) {
      const ssize_t n = ::send(fd_, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
      if (n > 0) {
        at += static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd p{fd_, POLLOUT, 0};
      ::poll(&p, 1, static_cast<int>(left.count()));
    }
    return true;
  }

  // Up to `count` bytes, waiting at most `ms` for them; stops early at the
  // end of the connection (closed() tells) or an error (lastError()).
  std::string receive(size_t count, int ms = 2000) {
    std::string out;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (out.size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) != 1) break;
      char buf[4096];
      const ssize_t n = ::recv(fd_, buf, std::min(sizeof buf, count - out.size()), 0);
      if (n == 0) {
        closed_ = true;
        break;
      }
      if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) continue;
        lastError_ = errno;
        break;
      }
      out.append(buf, static_cast<size_t>(n));
    }
    return out;
  }
  // Everything until the peer closes (bounded).
  std::string receiveAll(int ms = 3000) { return receive(1u << 20, ms); }
  bool closed() const { return closed_; }
  int lastError() const { return lastError_; }

 private:
  int fd_ = -1;
  int error_ = 0;
  bool closed_ = false;
  int lastError_ = 0;
};

// One datagram to the port, and the answer within `ms` (empty when none).
inline std::string udpAsk(uint16_t port, const std::string &datagram, int ms = 1000) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const sockaddr_in sa = loopback(port);
  ::sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr *>(&sa), sizeof sa);
  std::string out;
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, ms) == 1) {
    char buf[2048];
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n > 0) out.assign(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return out;
}

// A data channel message: the 4-byte big-endian length, then the bytes.
inline std::string frame(const std::string &payload) {
  const uint32_t n = static_cast<uint32_t>(payload.size());
  std::string s{static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
                static_cast<char>(n)};
  return s + payload;
}

// Waits (boundedly) for a condition that another thread brings about.
template <typename F>
bool eventually(F done, int ms = 5000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// A program found on PATH.
inline bool haveProgram(const std::string &name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command line under a time limit: its exit status and output
// (stdout and stderr together).
inline int runBounded(const std::string &command, std::string *output, int seconds = 15) {
  const std::string line = "timeout -k 2 " + std::to_string(seconds) + " " + command + " 2>&1";
  FILE *p = ::popen(line.c_str(), "r");
  if (!p) return -1;
  char buf[1024];
  size_t n;
  output->clear();
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) output->append(buf, n);
  const int status = ::pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A child program with its standard input and output on pipes.
class Child {
 public:
  explicit Child(const std::vector<std::string> &args) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::vector<char *> argv;
    for (const auto &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    input_ = in[1];
    output_ = out[0];
  }
  ~Child() {
    closeInput();
    if (output_ >= 0) ::close(output_);
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  bool started() const { return pid_ > 0; }
  void closeInput() {
    if (input_ >= 0) ::close(input_);
    input_ = -1;
  }
  void signal(int sig) {
    if (pid_ > 0 && !exited_) ::kill(pid_, sig);
  }
  // One line of its output (without the newline) within `ms`; false at the end or on timeout.
  bool readLine(std::string *line, int ms = 5000) {
    line->clear();
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      const size_t nl = buffer_.find('\n');
      if (nl != std::string::npos) {
        *line = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        return true;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd p{output_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) != 1) return false;
      char buf[512];
      const ssize_t n = ::read(output_, buf, sizeof buf);
      if (n <= 0) return false;
      buffer_.append(buf, static_cast<size_t>(n));
    }
  }
  // Its exit status once it has ended within `ms`; -1 when it has not.
  int wait(int ms = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
  int input_ = -1, output_ = -1;
  bool exited_ = false;
  std::string buffer_;
};

}  // namespace netpeer
