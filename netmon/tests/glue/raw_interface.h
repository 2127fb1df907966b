// A printer network interface of the test's own, for replies the emulated
// printer never gives: its status service answers each poll "000" with the
// next of a list of scripted replies (the last one repeated), and its data
// service answers each error report request ("\eE 1\r" inside a frame) with a
// scripted reply after a delay of real time.  Both listen on host loopback
// sockets of the interface's own address; the services are plain host
// sockets, so this header includes nothing of the simulated machine.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace card::net::test {

class RawInterface {
 public:
  explicit RawInterface(const std::string &address);
  ~RawInterface();
  RawInterface(const RawInterface &) = delete;
  RawInterface &operator=(const RawInterface &) = delete;

  bool started() const;
  uint16_t statusPort() const;
  uint16_t dataPort() const;

  void setStatusReplies(std::vector<std::string> replies);
  // Each status reply goes out this long after its poll (real time).
  void setStatusDelay(std::chrono::milliseconds delay);
  void setReportReply(std::string reply, std::chrono::milliseconds delay);
  int polls() const;
  int reports() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// A status-channel reply: ACK, nine filler bytes, the status byte, EOT.
std::string statusReply(uint8_t status);

}  // namespace card::net::test
