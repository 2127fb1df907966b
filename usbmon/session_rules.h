// The rules of a port session that need no Windows: which port and document
// names mean what, which queries the monitor answers itself, which it
// refuses while a job owns the port, and the "\eISREADY\r" mode.  No Windows
// calls, so the core tests check them alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "shared/status_commands.h"

namespace card::usb {

// ASCII prefix compared without case on a UTF-16 name (the port names
// "USB001", "FILE:", document names "XLINE..."); a null name has no prefix.
// Any 16-bit character type: the platform's wide text is one.
template <typename Ch>
bool beginsWithNoCase(const Ch *name, std::string_view prefix) {
  static_assert(sizeof(Ch) == 2);
  if (!name) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    unsigned c = static_cast<unsigned>(name[i]);
    if (c == 0) return false;
    if (c >= 'a' && c <= 'z') c -= 'a' - 'A';
    unsigned p = static_cast<unsigned char>(prefix[i]);
    if (p >= 'a' && p <= 'z') p -= 'a' - 'A';
    if (c != p) return false;
  }
  return true;
}

template <typename Ch>
bool isUsbPort(const Ch *portName) {
  return beginsWithNoCase(portName, "USB");
}
template <typename Ch>
bool isFilePort(const Ch *portName) {
  return beginsWithNoCase(portName, "FILE");
}
// Tool jobs of the configuration module skip the remaining-ribbon check.
template <typename Ch>
bool skipsRibbonCount(const Ch *documentName) {
  return beginsWithNoCase(documentName, "XLINE");
}

// The control request that reads the line status byte: the USB printer
// class's port status, else the parallel port's information.
inline constexpr uint32_t kIoctlUsbLptStatus = 0x220030;
inline constexpr uint32_t kIoctlParallelInfo = 0x160004;
constexpr uint32_t lineStatusControlCode(bool usbPort) { return usbPort ? kIoctlUsbLptStatus : kIoctlParallelInfo; }
// A file port has no line: it always reads as idle and ready.
inline constexpr uint8_t kFilePortLineStatus = 0x18;

// What "\eCHECK_STATUS\r" answers in ISREADY mode when the line says the
// printer is not on line (or cannot be read).
inline constexpr uint8_t kCheckStatusNotReady = 56;
uint8_t checkStatusAnswer(bool read, uint8_t line);

// The answers given before anything else, in any state: the file version,
// the capture document's state, the result of the last job.  Empty for any
// other query.
std::string_view answerInAnyState(status::QueryKind kind, bool documentComplete, bool lastJobFailed);

enum class QueryAction : uint8_t {
  AnswerByte,   // answer the one byte `byte` without the printer
  CheckStatus,  // read the line status byte; answer checkStatusAnswer()
  Refuse,       // a job owns the port: ERROR_BUSY
  Reset,        // write the command alone, pause kResetPauseMs, answer ACK
  Send,         // write the command and the error report request, read the reply
};

struct QueryContext {
  bool jobActive = false;  // a job owns the port
  bool dataSent = false;   // job data has been written in this job
  bool isReadyMode = false;
};

struct QueryPlan {
  QueryAction action = QueryAction::Send;
  uint8_t byte = 0;
  bool isReadyMode = false;  // the port's ISREADY mode after this query
};

inline constexpr uint32_t kResetPauseMs = 10000;

// The plan for an escape-command query that no earlier rule answered.
QueryPlan planEscapeQuery(const uint8_t *command, size_t length, const QueryContext &context);

// The abort clean-up after a cancelled job that had sent data: a ribbon with
// a remaining count also gets the CR and the feed reset.
struct CleanupSequence {
  std::string_view first;   // empty when nothing comes first
  std::string_view second;  // always written
};
CleanupSequence abortCleanup(bool ribbonClassFlag);

}  // namespace card::usb
