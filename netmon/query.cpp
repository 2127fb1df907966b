// Queries of the configuration module: a printer command (or a request of
// the monitor's own) handed to GetPrinterDataW as the value name.  The
// monitor answers some itself, and sends the others to the printer on
// connections of the query's own, which are closed before it returns.
#include <windows.h>
#include <winsock2.h>
#include <winspool.h>
#include <winsplp.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "netmon/channels.h"
#include "netmon/connection.h"
#include "netmon/entry_points.h"
#include "netmon/job_support.h"
#include "netmon/messages.h"
#include "netmon/monitor.h"
#include "netmon/status_channel.h"
#include "shared/query_command.h"
#include "shared/status_commands.h"
#include "shared/status_protocol.h"

namespace card::net {

namespace {

// A value name holds at most this many command bytes; a name written as
// UTF-16 is converted to at most kWideNameBytes.
constexpr size_t kNameBytes = 1024;
constexpr size_t kWideNameBytes = 128;
constexpr size_t kReplyBytes = 1024;
constexpr size_t kWideReplyBytes = 128;
constexpr uint8_t kOneByteAnswer = 1;
constexpr DWORD kPortStatusOffline = 1;

struct QueryName {
  std::string bytes;
  bool wide = false;  // written as UTF-16 (and converted)
};

// The value name as bytes.  A name whose second or fourth byte is not zero
// carries command bytes two to a unit; any other is text in UTF-16.
QueryName readName(DWORD controlId, LPCWSTR valueName, LPCWSTR inBuffer, DWORD inSize) {
  QueryName name;
  if (controlId != 0) {
    const auto *in = reinterpret_cast<const char *>(inBuffer);
    const size_t size = in ? std::min<size_t>(inSize, kNameBytes) : 0;
    name.bytes.assign(in, in + size);
    name.bytes.resize(std::strlen(name.bytes.c_str()));
    return name;
  }
  if (!valueName || valueName[0] == 0) return name;
  const bool byteString = (valueName[0] >> 8) != 0 || (valueName[1] >> 8) != 0;
  if (byteString) {
    char bytes[kNameBytes];
    name.bytes.assign(bytes, decodeQueryCommand(valueName, kNameBytes / 2 + 1, bytes, sizeof bytes));
    return name;
  }
  name.wide = true;
  char bytes[kNameBytes] = {};
  const int n = WideCharToMultiByte(CP_ACP, 0, valueName, -1, bytes, int(sizeof bytes) - 1, nullptr, nullptr);
  if (n > 0) name.bytes.assign(bytes, std::min(std::strlen(bytes), kWideNameBytes));
  return name;
}

bool startsWith(const std::string &s, std::string_view prefix) {
  return s.size() >= prefix.size() && std::string_view(s).substr(0, prefix.size()) == prefix;
}

// Hands an answer to the caller: the bytes, a zero after them when there is
// room (not counted).  A buffer too small gets nothing and the size needed.
BOOL answer(const void *bytes, size_t length, LPWSTR out, DWORD outSize, LPDWORD returned) {
  if (length > outSize || (length > 0 && !out)) {
    *returned = DWORD(length);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  auto *o = reinterpret_cast<BYTE *>(out);
  if (length) std::memcpy(o, bytes, length);
  if (o && length < outSize) o[length] = 0;
  *returned = DWORD(length);
  return TRUE;
}

BOOL answerText(std::string_view text, LPWSTR out, DWORD outSize, LPDWORD returned) {
  return answer(text.data(), text.size(), out, outSize, returned);
}

BOOL answerByte(uint8_t value, LPWSTR out, DWORD outSize, LPDWORD returned) {
  return answer(&value, 1, out, outSize, returned);
}

BOOL failWith(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// The status byte for "\eISREADY\r" from a fresh poll: 1 for a printer ready
// and idle, 0 for one ready but busy, else the byte itself.
uint8_t isReadyAnswer(uint8_t status) {
  if (status == status::kNetReady) return 1;
  if (status == status::kNetReadyBusy) return 0;
  return status;
}

// A query's own record of the port: the printer's address and what the
// query reads and changes of the port, with connections of its own, so that
// a job starting on the port meanwhile keeps its connections.  What the
// query learnt goes back into the port entry at the end.
class QueryPort {
 public:
  explicit QueryPort(PortEntry &p) : p_(p), q_(p.monitor, p.name.c_str()) {
    MonitorLock lock;
    std::memcpy(q_.address, p.address, sizeof q_.address);
    std::memcpy(q_.model, p.model, sizeof q_.model);
    q_.printerName = p.printerName;
    q_.rememberedBit7 = bit7_ = p.rememberedBit7;
    q_.ribbonClass = p.ribbonClass;
    q_.remainingRibbon = remaining_ = p.remainingRibbon;
  }
  ~QueryPort() {
    // The query's error stays the thread's last error.
    const DWORD error = GetLastError();
    closeChannels(q_);
    HANDLE alert = nullptr, alertStop = nullptr;
    std::swap(alert, q_.ribbonAlert);
    std::swap(alertStop, q_.ribbonAlertStop);
    if (alert) stopLowRibbonAlert(p_);
    {
      MonitorLock lock;
      // Only what the query changed: a job may have started meanwhile.
      if (q_.rememberedBit7 != bit7_) p_.rememberedBit7 = q_.rememberedBit7;
      if (q_.remainingRibbon != remaining_) p_.remainingRibbon = q_.remainingRibbon;
      if (modelChanged_) std::memcpy(p_.model, q_.model, sizeof p_.model);
      if (alert) {
        p_.ribbonAlert = alert;
        p_.ribbonAlertStop = alertStop;
      }
    }
    SetLastError(error);
  }
  QueryPort(const QueryPort &) = delete;
  QueryPort &operator=(const QueryPort &) = delete;

  PortEntry &entry() { return q_; }
  PortEntry &port() { return p_; }
  void modelChanged() { modelChanged_ = true; }

 private:
  PortEntry &p_;
  PortEntry q_;
  bool modelChanged_ = false;
  bool bit7_ = false;
  long remaining_ = kUnknownRemainingRibbon;
};

// The query's connections lent to the port entry itself, for the requests
// that work on the port's own state; given back (and closed) at the end.
class LentChannels {
 public:
  LentChannels(PortEntry &to, PortEntry &from) : to_(to), from_(from) {
    std::swap(data_, to.data);
    std::swap(status_, to.status);
    std::swap(to.data, from.data);
    std::swap(to.status, from.status);
  }
  ~LentChannels() {
    std::swap(to_.data, from_.data);
    std::swap(to_.status, from_.status);
    std::swap(data_, to_.data);
    std::swap(status_, to_.status);
  }
  LentChannels(const LentChannels &) = delete;
  LentChannels &operator=(const LentChannels &) = delete;

 private:
  PortEntry &to_;
  PortEntry &from_;
  SOCKET data_ = INVALID_SOCKET;
  SOCKET status_ = INVALID_SOCKET;
};

// "\eCHECK_STATUS\r" asked while a job runs just after a move command: a
// fresh poll on a status connection of the query's own, beside the job's.
uint8_t pollBesideJob(PortEntry &p) {
  QueryPort query(p);
  PortEntry &q = query.entry();
  int error = 0;
  q.status = openConnection(q.address, kStatusChannelPort, error);
  return pollWithBit7Recheck(q);
}

bool ntFamily() {
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  return !GetVersionExW(&version) || version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

// An escape command sent to the printer, its reply handed back.
BOOL sendQueryCommand(QueryPort &query, const QueryName &name, LPWSTR out, DWORD outSize, LPDWORD returned) {
  PortEntry &p = query.entry();
  if (int error = sendCommand(p, name.bytes)) return failWith(DWORD(error));
  // The answer comes with the printer's state, on the error report request.
  const std::string_view request = status::kCmdErrorReportOther;
  if (int error = sendFramed(p.data, request.data(), request.size())) return failWith(DWORD(error));
  uint8_t reply[kReplyBytes + 1] = {};
  size_t length =
      readReply(p, reply, sizeof reply, status::replyWaitSeconds(status::bytes(name.bytes), name.bytes.size()));
  if (length > 0 && reply[0] == kNak) length = status::replaceErrorReplyByWord(reply, sizeof reply, length);
  if (length > 0 && name.bytes == status::kCmdVersion) {
    const status::ValueText text = status::readValueText(reply, length);
    std::memset(p.model, 0, sizeof p.model);
    std::memcpy(p.model, text.text, std::min(text.length, kMaxModelChars));
    query.modelChanged();
  }
  if (!name.wide) return answer(reply, length, out, outSize, returned);
  WCHAR wide[kWideReplyBytes + 1] = {};
  const int units = length ? MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char *>(reply),
                                                 int(std::min(length, kWideReplyBytes)), wide, int(kWideReplyBytes))
                           : 0;
  return answer(wide, size_t(std::max(units, 0)) * sizeof(WCHAR), out, outSize, returned);
}

// Steps that talk to the printer, as the spooler's own identity.
BOOL askPrinter(PortEntry &entry, DWORD controlId, LPWSTR valueName, const QueryName &name, status::QueryKind kind,
                LPWSTR out, DWORD outSize, LPDWORD returned) {
  const WString port = entry.name;
  QueryPort query(entry);
  PortEntry &p = query.entry();
  if (!p.probeExempt()) {
    if (!probeReachable(p.address)) {
      setPortStatus(port.c_str(), kPortStatusOffline, PORT_STATUS_TYPE_ERROR);
      return failWith(ERROR_NOT_READY);
    }
    clearPortStatus(port.c_str());
  }
  int error = 0;
  p.status = openConnection(p.address, kStatusChannelPort, error);
  if (p.status == INVALID_SOCKET) return failWith(DWORD(error));

  using status::QueryKind;
  if (kind == QueryKind::SoftReset) {
    softReset(p);
    return answerByte(kOneByteAnswer, out, outSize, returned);
  }
  if (kind == QueryKind::IsReady) return answerByte(isReadyAnswer(pollWithBit7Recheck(p)), out, outSize, returned);
  if (kind == QueryKind::CheckStatus) return answerByte(pollWithBit7Recheck(p), out, outSize, returned);

  p.data = openConnection(p.address, kDataChannelPort, error);
  if (p.data == INVALID_SOCKET) {
    // A printer that refuses its data channel has a stuck interface.
    if (error == WSAECONNREFUSED) sendResetRequest(p.address);
    return failWith(DWORD(error));
  }
  if (kind == QueryKind::JobStatus) {
    if (pollStatus(p)) {
      checkRemainingRibbon(p);
      clearPortStatus(port.c_str());
    }
    return answer(nullptr, 0, out, outSize, returned);
  }
  if (controlId != 0) return failWith(ERROR_INVALID_PARAMETER);
  if (name.wide && isPrefixedRequest(valueName)) {
    LentChannels lent(entry, p);
    if (!handlePrefixedRequest(entry, valueName)) return FALSE;
    return answer(nullptr, 0, out, outSize, returned);
  }
  if (status::containsCleanQuery(status::bytes(name.bytes), name.bytes.size())) {
    if (sendCommand(p, status::kQueryClean) != 0)
      return answer(status::kAnswerCleanFailed.data(), status::kAnswerCleanFailed.size() + 1, out, outSize, returned);
    std::string text(status::kAnswerCleanStarted);
    text.push_back(char(kAck));
    return answerText(text, out, outSize, returned);
  }
  if ((entry.state & kStateJobStarted) && ntFamily()) return failWith(ERROR_BUSY);
  if (name.bytes.empty() || uint8_t(name.bytes[0]) != kEsc) return failWith(ERROR_INVALID_PARAMETER);
  return sendQueryCommand(query, name, out, outSize, returned);
}

}  // namespace

BOOL WINAPI getPrinterDataFromPort(HANDLE port, DWORD controlId, LPWSTR valueName, LPWSTR inBuffer, DWORD inSize,
                                   LPWSTR outBuffer, DWORD outSize, LPDWORD returned) {
  DWORD ignored = 0;
  if (!returned) returned = &ignored;
  *returned = 0;
  PortEntry *p = portFromHandle(port);
  if (!p) return FALSE;
  if (controlId == 0 && !valueName) return failWith(ERROR_INVALID_PARAMETER);
  const QueryName name = readName(controlId, valueName, inBuffer, inSize);
  using status::QueryKind;
  const QueryKind kind = status::classifyQuery(status::bytes(name.bytes), name.bytes.size());

  switch (kind) {
    case QueryKind::FileVersion: return answerText(status::kAnswerFileVersion, outBuffer, outSize, returned);
    case QueryKind::DocComplete:
      return answerText(p->documentComplete ? status::kAnswerDocComplete : status::kAnswerDocPending, outBuffer,
                        outSize, returned);
    case QueryKind::PortStatus:
      return answerText(p->jobFailed ? status::kAnswerStatusFailed : status::kAnswerStatusSuccess, outBuffer, outSize,
                        returned);
    default: break;
  }

  if (p->jobActive) {
    // The job owns the printer: the last polled state answers.
    const uint8_t last = p->lastStatus;
    if (kind == QueryKind::IsReady)
      return answerByte(last == status::kNetReady || last == status::kNetReadyBusy ? 0 : last, outBuffer, outSize,
                        returned);
    if (kind == QueryKind::CheckStatus) {
      if (!startsWith(p->lastCommand, "\x1bMS"))
        return answerByte(uint8_t(last | kStatusBusyBit), outBuffer, outSize, returned);
      return answerByte(pollBesideJob(*p), outBuffer, outSize, returned);
    }
    return answer(nullptr, 0, outBuffer, outSize, returned);
  }

  if (kind == QueryKind::HidReady) return answerByte(kOneByteAnswer, outBuffer, outSize, returned);
  if (kind == QueryKind::HardReset) {
    sendResetRequest(p->address);
    return answerByte(kOneByteAnswer, outBuffer, outSize, returned);
  }

  AsSpooler identity;
  return askPrinter(*p, controlId, valueName, name, kind, outBuffer, outSize, returned);
}

}  // namespace card::net
