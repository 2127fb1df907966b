// The printer's network interface, as byte logic without sockets: the data
// channel unwraps length-prefixed messages into the printer's input, the
// status channel answers the three-byte requests.  Whoever owns the sockets
// (a loopback server in the tests or the demo) passes received bytes in and
// sends back what comes out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "emulator/include/cardemu/printer.h"

namespace cardemu {

// One message of the data channel as it arrived: its length field and its
// first bytes (enough to tell a command from a slice of image data).
struct DataFrame {
  static constexpr size_t kHeadBytes = 48;
  uint32_t length = 0;
  std::vector<uint8_t> head;
};

// Data channel: every message is a 4-byte big-endian length and that many
// bytes, at most 65536.  The printer's answers go back raw (Printer::Read).
class DataChannel {
 public:
  static constexpr uint32_t kMaxMessage = 65536;
  using FrameListener = std::function<void(const DataFrame &)>;
  explicit DataChannel(Printer &printer, FrameListener onFrame = {})
      : printer_(printer), onFrame_(std::move(onFrame)) {}
  // Bytes consumed (fewer when the printer takes no more for now: offer the
  // rest again later); -1 once the channel is broken (a length beyond the
  // limit, or the printer gone): the connection should then be closed.
  long receive(const uint8_t *bytes, size_t count);
  bool broken() const { return broken_; }
  bool insideMessage() const { return lengthBytes_ == 4; }

 private:
  void frameDone();

  Printer &printer_;
  FrameListener onFrame_;  // called once a whole message reached the printer
  DataFrame frame_;
  uint32_t length_ = 0;  // payload bytes still to come of the current message
  int lengthBytes_ = 0;  // bytes of the length field seen (4: inside the payload)
  bool broken_ = false;
};

// Status channel: "000" is a status poll, answered with ACK, nine filler
// bytes, the status byte and EOT; "111" followed later by "222" resets the
// interface (a job stopped inside an image block is dropped).  Other requests
// get no answer.
class StatusChannel {
 public:
  explicit StatusChannel(Printer &printer) : printer_(printer) {}
  std::vector<uint8_t> receive(const uint8_t *bytes, size_t count);

 private:
  Printer &printer_;
  char request_[3] = {};
  int have_ = 0;
  bool resetArmed_ = false;
};

}  // namespace cardemu
