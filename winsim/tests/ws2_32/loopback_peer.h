// The far end of the tests' connections: servers on the host's loopback
// made with the C library's own sockets, as the printer emulator makes them.
// This header names no socket type, so that the tests that include
// winsock2.h can use it.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace ws_test {

// Echoes what it receives: a TCP server (every connection it accepts) or a
// UDP responder, on `address` at an ephemeral port.  Stops when destroyed.
// With `hangUp` a TCP server resets every connection as soon as it accepts it.
class LoopbackEcho {
 public:
  LoopbackEcho(const std::string &address, bool udp, bool hangUp = false);
  ~LoopbackEcho();
  LoopbackEcho(const LoopbackEcho &) = delete;
  LoopbackEcho &operator=(const LoopbackEcho &) = delete;
  bool ready() const { return fd_ >= 0; }
  uint16_t port() const { return port_; }
  // Connections accepted (TCP) or datagrams answered (UDP) so far.
  int served() const { return served_.load(); }

 private:
  void run();
  int fd_ = -1;
  bool udp_;
  bool hangUp_;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> served_{0};
  std::thread thread_;
};

// A TCP port on `address` that nothing listens on (taken, then let go).
uint16_t closedLoopbackPort(const std::string &address);

// The C library's own connect, as the emulator reaches it.
void *libcConnect();

}  // namespace ws_test
