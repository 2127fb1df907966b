// The status and data channels of an open port.
#include "netmon/channels.h"

#include <windows.h>
#include <winsock2.h>

#include <algorithm>

#include "netmon/connection.h"
#include "netmon/status_channel.h"
#include "shared/status_commands.h"
#include "shared/status_protocol.h"

namespace card::net {

namespace {

constexpr DWORD kReconnectPauseMs = 2000;
constexpr size_t kStatusReplyBytes = 64;
constexpr int kStaleReadsMax = 16;
constexpr DWORD kReplyCheckFirstWaitS = 14;
constexpr DWORD kReplyCheckLaterWaitS = 5;
constexpr int kReplyCheckAttempts = 3;
constexpr std::string_view kErrorReportRequest =
    "\x1b"
    "E 1\r";
constexpr std::string_view kEncodeEnd = "\x1b&E*\r";
// Port status codes of the spooler (PORT_STATUS_*).
constexpr DWORD kPortStatusPaperProblem = 5;
constexpr DWORD kPortStatusUserIntervention = 8;

bool droppedByPrinter(int error) { return error == WSAENOTSOCK || error == WSAECONNRESET; }

}  // namespace

bool openChannels(PortEntry &p, int &statusError, int &dataError) {
  statusError = dataError = 0;
  p.status = openConnection(p.address, kStatusChannelPort, statusError);
  if (p.status == INVALID_SOCKET) return false;
  p.data = openConnection(p.address, kDataChannelPort, dataError);
  if (p.data != INVALID_SOCKET) return true;
  closeConnection(p.status);
  // A printer that refuses its data channel has a stuck interface.
  if (dataError == WSAECONNREFUSED) sendResetRequest(p.address);
  return false;
}

void closeChannels(PortEntry &p) {
  closeConnection(p.data);
  closeConnection(p.status);
}

bool reconnectChannels(PortEntry &p) {
  if (!probeReachable(p.address)) return false;
  closeChannels(p);
  Sleep(kReconnectPauseMs);
  int statusError = 0, dataError = 0;
  return openChannels(p, statusError, dataError);
}

bool reconnectDataChannel(PortEntry &p) {
  if (!probeReachable(p.address)) return false;
  closeConnection(p.data);
  Sleep(kReconnectPauseMs);
  int error = 0;
  p.data = openConnection(p.address, kDataChannelPort, error);
  if (p.data == INVALID_SOCKET && error == WSAECONNREFUSED) sendResetRequest(p.address);
  return p.data != INVALID_SOCKET;
}

namespace {

// Throws away what a connection still holds: a reply that came after its
// wait ran out would otherwise answer the next request.
void discardStale(SOCKET s) {
  uint8_t stale[kStatusReplyBytes];
  for (int i = 0; i < kStaleReadsMax && receiveReply(s, stale, sizeof stale, 0) > 0; ++i) {
  }
}

}  // namespace

bool pollStatus(PortEntry &p) {
  discardStale(p.status);
  int error = sendRaw(p.status, kStatusPollRequest.data(), kStatusPollRequest.size());
  if (error != 0 && (droppedByPrinter(error) || p.status == INVALID_SOCKET) && reconnectChannels(p))
    error = sendRaw(p.status, kStatusPollRequest.data(), kStatusPollRequest.size());
  if (error != 0) {
    p.lastStatus = 0;
    return false;
  }
  uint8_t reply[kStatusReplyBytes];
  const size_t length = receiveReply(p.status, reply, sizeof reply, kStatusReplyWaitS);
  const StatusPoll poll = readStatusPoll(reply, length);
  p.lastStatus = poll.status;
  if (!poll.ready) {
    if (length > 0 && reply[0] == kAck) Sleep(kNotReadyPauseMs);
    return false;
  }
  return true;
}

uint8_t pollWithBit7Recheck(PortEntry &p) {
  pollStatus(p);
  if (recheckBit7(p.lastStatus, p.rememberedBit7)) {
    const bool before = p.rememberedBit7;
    for (int i = 0; i < kBit7RecheckMaxPolls && statusBusy(p.lastStatus) != before; ++i) {
      Sleep(kBit7RecheckPauseMs);
      pollStatus(p);
    }
  }
  p.rememberedBit7 = statusBusy(p.lastStatus);
  return p.lastStatus;
}

void busyWait(PortEntry &p) {
  pollStatus(p);
  for (int polls = 1; polls < kBusyWaitMaxPolls && statusBusy(p.lastStatus); ++polls) {
    Sleep(kBusyWaitPauseMs);
    pollStatus(p);
  }
}

void softReset(PortEntry &p) {
  sendRaw(p.status, kSoftResetFirst.data(), kSoftResetFirst.size());
  Sleep(kSoftResetPauseMs);
  sendRaw(p.status, kSoftResetSecond.data(), kSoftResetSecond.size());
}

int sendCommand(PortEntry &p, std::string_view command) {
  p.lastCommand.assign(command.substr(0, kMaxLastCommandBytes));
  return sendFramed(p.data, command.data(), command.size());
}

size_t readReply(PortEntry &p, uint8_t *reply, size_t capacity, DWORD timeoutS) {
  return receiveReply(p.data, reply, capacity, timeoutS);
}

size_t exchange(PortEntry &p, std::string_view command, uint8_t *reply, size_t capacity) {
  return exchange(p, command, reply, capacity, status::replyWaitSeconds(status::bytes(command), command.size()));
}

size_t exchange(PortEntry &p, std::string_view command, uint8_t *reply, size_t capacity, DWORD timeoutS) {
  if (capacity) reply[0] = 0;
  // The printer keeps a command's answer until it is asked for its state:
  // the error report request brings the answer, or the error that stopped
  // the command.
  if (sendCommand(p, command) != 0 || sendFramed(p.data, kErrorReportRequest.data(), kErrorReportRequest.size()) != 0)
    return 0;
  return readReply(p, reply, capacity, timeoutS);
}

CheckResult replyCheck(PortEntry &p) {
  uint8_t reply[kReceiveBytes];
  size_t length = 0;
  if (sendFramed(p.data, kErrorReportRequest.data(), kErrorReportRequest.size()) == 0) {
    for (int attempt = 0; attempt < kReplyCheckAttempts && length == 0; ++attempt)
      length = readReply(p, reply, sizeof reply, attempt == 0 ? kReplyCheckFirstWaitS : kReplyCheckLaterWaitS);
  }
  if (length == 0) {
    // A printer that says nothing is in error too: its status byte tells
    // which, when it can still be had.
    pollStatus(p);
    p.message = status::messageFromLineStatus(p.lastStatus, status::Monitor::Network);
    return CheckResult::NoReply;
  }
  const WString port = p.name;
  if (reply[0] == kAck) {
    clearPortStatus(port.c_str());
    return CheckResult::Passed;
  }
  if (reply[0] == kNak) {
    p.message = status::messageForErrorReply(reply, length, status::Monitor::Network);
    setPortStatus(port.c_str(), p.lastCommand == kEncodeEnd ? kPortStatusPaperProblem : kPortStatusUserIntervention,
                  PORT_STATUS_TYPE_ERROR);
    return CheckResult::Refused;
  }
  if (pollStatus(p)) return CheckResult::Ready;
  p.message = status::messageFromLineStatus(p.lastStatus, status::Monitor::Network);
  return CheckResult::NotReady;
}

}  // namespace card::net
