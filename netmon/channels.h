// A port entry's two connections to its printer (the status channel and the
// data channel) and what travels on them: the status poll with its
// re-checks, the reply check after a command, commands with their replies,
// the soft reset, and reconnecting after the printer dropped a connection.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "netmon/monitor.h"

namespace card::net {

// Connects the status channel, then the data channel, into the entry's
// sockets.  A refused data channel sends the interface reset request and
// closes the status socket.  `statusError`/`dataError`: the Winsock errors
// (0 when that channel connected or was not tried).
bool openChannels(PortEntry &p, int &statusError, int &dataError);
void closeChannels(PortEntry &p);

// Reconnects both channels after the printer dropped one: the probe must
// answer; both are closed, a 2000 ms pause, then both connected again.
bool reconnectChannels(PortEntry &p);
// Reconnects the data channel alone (probe, close, 2000 ms, connect).
bool reconnectDataChannel(PortEntry &p);

// The status poll: "000" on the status channel (one reconnect of both
// channels when the printer dropped it), the reply read with a 4 s wait.
// Sets lastStatus (0 when no usable reply came); true when ready.
bool pollStatus(PortEntry &p);
// A poll followed by the bit-7 re-check; the final status byte.
uint8_t pollWithBit7Recheck(PortEntry &p);
// Polls until bit 7 (busy) is clear, at most 51 polls 300 ms apart.
void busyWait(PortEntry &p);

// The soft reset on the status channel: "111", 1 s, "222".
void softReset(PortEntry &p);

// Sends a command framed on the data channel, remembering it as the last
// command sent.  0, or the Winsock error.
int sendCommand(PortEntry &p, std::string_view command);
// Reads a reply on the data channel into `reply` (zero-terminated); its
// length, 0 when nothing came within `timeoutS`.
size_t readReply(PortEntry &p, uint8_t *reply, size_t capacity, DWORD timeoutS);
// A command, the error report request, and the reply, the reply wait chosen
// by the command (or `timeoutS`).  The reply's length, 0 when nothing came or
// the command could not be sent.
size_t exchange(PortEntry &p, std::string_view command, uint8_t *reply, size_t capacity);
size_t exchange(PortEntry &p, std::string_view command, uint8_t *reply, size_t capacity, DWORD timeoutS);

enum class CheckResult : uint8_t {
  Passed,    // ACK: the printer took the command (port status cleared)
  Refused,   // NAK: `message` set from the code, port status 5 or 8
  NotReady,  // another reply, and the poll found the printer not ready
  Ready,     // another reply, and the poll found it ready
  NoReply,   // three silent attempts
};
// The reply check after a command: "\eE 1\r" and its reply (14 s, then
// twice 5 s).  Sets the port's current message on a NAK or a not-ready poll.
CheckResult replyCheck(PortEntry &p);
constexpr bool checkPassed(CheckResult r) { return r == CheckResult::Passed || r == CheckResult::Ready; }

}  // namespace card::net
