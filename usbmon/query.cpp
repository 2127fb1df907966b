// GetPrinterDataFromPort: the answers the monitor gives itself, the busy
// rule while a job owns the port, and the queries sent to the printer.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "shared/query_command.h"
#include "shared/status_commands.h"
#include "shared/status_protocol.h"
#include "usbmon/monitor.h"
#include "usbmon/session_rules.h"

namespace card::usb {

namespace {

// The longest escape-command name taken from a caller.
constexpr size_t kMaxQueryName = 512;
// How long a query waits for the printer's reply, and how often it looks.
constexpr DWORD kUsbReplyWaitMs = 20000;
constexpr int kOtherReplyPasses = 35;
constexpr DWORD kReplyPollMs = 10;
// A reply is read whole into at least this much.
constexpr size_t kMinReplyBytes = 1024;

BOOL answer(const void *bytes, size_t length, LPWSTR out, DWORD outSize, LPDWORD returned) {
  *returned = DWORD(length);
  if (!out || outSize < length) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  CopyMemory(out, bytes, length);
  // A terminator when there is room, for callers that read text.
  if (outSize > length) reinterpret_cast<BYTE *>(out)[length] = 0;
  return TRUE;
}

}  // namespace

bool PortRecord::beginQueryDocument(bool &started) {
  started = false;
  if (InterlockedCompareExchange(&jobActive, 0, 0) != 0) return true;
  if (!under.pfnStartDocPort) return true;
  WString name = printerNameCopy();
  WCHAR document[] = TEXT("");
  WCHAR type[] = TEXT("RAW");
  DOC_INFO_1W info{document, nullptr, type};
  if (!under.pfnStartDocPort(port, name.data(), 0, 1, reinterpret_cast<LPBYTE>(&info))) return false;
  started = true;
  return true;
}

void PortRecord::endQueryDocument(bool started) {
  if (started && under.pfnEndDocPort) under.pfnEndDocPort(port);
}

bool PortRecord::exchange(const uint8_t *command, size_t length, bool reset, uint8_t *reply, size_t capacity,
                          size_t &got) {
  got = 0;
  EnterCriticalSection(&io);
  bool ok = writeRaw(command, length);
  if (ok && !reset) {
    const std::string_view request = status::errorReportRequest(usb());
    ok = writeRaw(status::bytes(request), request.size());
  }
  if (ok && !reset && reply && capacity) {
    DWORD start = GetTickCount();
    for (int pass = 1;; ++pass) {
      DWORD n = 0;
      SetLastError(ERROR_SUCCESS);
      const BOOL read = under.pfnReadPort && under.pfnReadPort(port, reply, DWORD(capacity), &n);
      if (read && n) {
        got = std::min<size_t>(n, capacity);
        break;
      }
      if (!read && !(usb() && GetLastError() == ERROR_OPERATION_ABORTED)) break;
      if (usb()) {
        const DWORD now = GetTickCount();
        if (now <= start)
          start = now;  // the counter wrapped: measure again from here
        else if (now - start >= kUsbReplyWaitMs)
          break;
      } else if (pass >= kOtherReplyPasses) {
        break;
      }
      Sleep(kReplyPollMs);
    }
  }
  LeaveCriticalSection(&io);
  return ok;
}

bool PortRecord::sendEscapeQuery(const uint8_t *command, size_t length, BYTE *out, DWORD outSize, LPDWORD returned) {
  QueryContext context;
  context.jobActive = InterlockedCompareExchange(&jobActive, 0, 0) != 0;
  context.dataSent = dataSent == kDataSentMarker;
  context.isReadyMode = isReadyMode != 0;
  const QueryPlan plan = planEscapeQuery(command, length, context);
  isReadyMode = plan.isReadyMode ? 1 : 0;
  switch (plan.action) {
    case QueryAction::AnswerByte: return answer(&plan.byte, 1, reinterpret_cast<LPWSTR>(out), outSize, returned);
    case QueryAction::CheckStatus: {
      uint8_t line = 0;
      const bool read = readLineStatus(line);
      const uint8_t byte = checkStatusAnswer(read, line);
      return answer(&byte, 1, reinterpret_cast<LPWSTR>(out), outSize, returned);
    }
    case QueryAction::Refuse: SetLastError(ERROR_BUSY); return false;
    case QueryAction::Reset: {
      size_t got = 0;
      if (!exchange(command, length, true, nullptr, 0, got)) {
        SetLastError(ERROR_WRITE_FAULT);
        return false;
      }
      Sleep(kResetPauseMs);
      const uint8_t ack = kAck;
      return answer(&ack, 1, reinterpret_cast<LPWSTR>(out), outSize, returned);
    }
    case QueryAction::Send: break;
  }
  // The whole reply is taken from the port, however small the caller's
  // buffer: bytes left behind would be read as the answer to the next
  // command.  The caller gets what fits.
  std::vector<uint8_t> reply(std::max<size_t>(out ? outSize : 0, kMinReplyBytes));
  size_t got = 0;
  if (!exchange(command, length, false, reply.data(), reply.size(), got)) {
    SetLastError(ERROR_WRITE_FAULT);
    return false;
  }
  // An error reply is given to the caller as the status word of its code.
  if (got && reply[0] == kNak) got = status::replaceErrorReplyByWord(reply.data(), reply.size(), got);
  got = std::min<size_t>(got, out ? outSize : 0);
  if (got) CopyMemory(out, reply.data(), got);
  if (out && outSize > got) out[got] = 0;
  *returned = DWORD(got);
  return true;
}

BOOL PortRecord::getPrinterData(DWORD controlId, LPWSTR valueName, LPWSTR inBuffer, DWORD inSize, LPWSTR outBuffer,
                                DWORD outSize, LPDWORD returned) {
  if (!returned) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *returned = 0;
  char name[kMaxQueryName] = {};
  size_t length = 0;
  if (valueName) length = decodeQueryCommand(valueName, size_t(lstrlenW(valueName)) + 1, name, sizeof(name));
  const auto *command = reinterpret_cast<const uint8_t *>(name);
  const status::QueryKind kind = status::classifyQuery(command, length);
  const std::string_view local = answerInAnyState(kind, capture.documentComplete, jobFailed);
  if (!local.empty()) return answer(local.data(), local.size(), outBuffer, outSize, returned);
  if (!controlId && !valueName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }

  bool started = false;
  if (!beginQueryDocument(started)) return FALSE;
  BOOL ok = FALSE;
  DWORD error = ERROR_SUCCESS;
  if (kind == status::QueryKind::HidReady) {
    const uint8_t one = 1;
    ok = answer(&one, 1, outBuffer, outSize, returned);
  } else if (controlId) {
    if (under.pfnGetPrinterDataFromPort) {
      ok = under.pfnGetPrinterDataFromPort(port, controlId, valueName, inBuffer, inSize, outBuffer, outSize, returned);
    } else {
      SetLastError(ERROR_NOT_SUPPORTED);
    }
  } else if (isPrefixedRequest(valueName)) {
    ok = handlePrefixedRequest(*this, valueName) ? TRUE : FALSE;
    if (!ok && GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_GEN_FAILURE);
  } else if (length == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
  } else {
    ok = sendEscapeQuery(command, length, reinterpret_cast<BYTE *>(outBuffer), outSize, returned) ? TRUE : FALSE;
  }
  if (!ok) error = GetLastError();
  endQueryDocument(started);
  if (!ok) SetLastError(error);
  return ok;
}

}  // namespace card::usb
