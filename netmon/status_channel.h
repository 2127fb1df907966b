// The status channel (raw 3-byte requests, a 12-byte reply) and the network
// interface reset request sent to the printer's web server.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace card::net {

inline constexpr uint16_t kStatusChannelPort = 9111;
inline constexpr uint16_t kDataChannelPort = 9100;
inline constexpr uint16_t kResetRequestPort = 80;

inline constexpr std::string_view kStatusPollRequest = "000";
// A soft reset is the first request, a pause, then the second.
inline constexpr std::string_view kSoftResetFirst = "111";
inline constexpr std::string_view kSoftResetSecond = "222";
inline constexpr int kSoftResetPauseMs = 1000;
inline constexpr int kStatusReplyWaitS = 4;
inline constexpr int kNotReadyPauseMs = 100;

// Bit 7 of the status byte: the printer is busy.
inline constexpr uint8_t kStatusBusyBit = 0x80;
constexpr bool statusBusy(uint8_t status) { return (status & kStatusBusyBit) != 0; }
inline constexpr int kBusyWaitMaxPolls = 51;
inline constexpr int kBusyWaitPauseMs = 300;
inline constexpr int kBit7RecheckMaxPolls = 3;
inline constexpr int kBit7RecheckPauseMs = 100;

struct StatusPoll {
  bool isStatus = false;  // ACK first, the status byte and EOT where they belong
  uint8_t status = 0;     // the byte at offset 10 of an ACK reply, else 0
  bool ready = false;     // 0x58 or 0xD8, with EOT at offset 11
};

// Reads a reply to "000".  A reply that does not start with ACK or is too
// short for the status byte gives status 0; a reply that starts with ACK but
// lacks the EOT still gives its status byte, as the poll keeps it, but is not
// ready.  isStatus holds only for the exact 12-byte form.
StatusPoll readStatusPoll(const uint8_t *reply, size_t length);

// The bit-7 re-check: after a poll whose bit 7 differs from the remembered
// one, poll again (at most kBit7RecheckMaxPolls times) while bit 7 stays as it
// was before these polls.
constexpr bool recheckBit7(uint8_t polled, bool rememberedBit7) { return statusBusy(polled) != rememberedBit7; }

// The reset request: an HTTP POST with the interface's login and a 32-byte
// form body, sent raw on TCP 80.
std::string_view resetRequest();
inline constexpr size_t kResetRequestBufferBytes = 1024;
inline constexpr int kResetReplyWaitS = 4;
inline constexpr int kResetRestartPauseMs = 35000;

}  // namespace card::net
