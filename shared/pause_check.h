// The USB monitor's check after each job command: pause by the command's
// category, then ask the printer whether it took the command, and hand over to
// the error wait when it did not answer well.  The decisions are kept here as
// a small machine that says what to do next; the monitor's glue carries each
// step out (Sleep, reading the line status byte, WritePort, ReadPort, the
// error wait) and reports what happened.  No Windows calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "shared/status_commands.h"
#include "shared/status_protocol.h"

namespace card::pacing {

using status::CommandCategory;

inline constexpr uint32_t kRequestRetryPauseMs = 1000;  // after a failed error report request
inline constexpr uint32_t kRequestWriteAttempts = 5;    // the fifth failure gives up
inline constexpr uint32_t kEmptyReplyAttempts = 6;      // the sixth empty reply goes to the error wait
inline constexpr size_t kCheckReplyBytes = 1024;

// Poll interval of the error wait: a USB port asks the printer for its error
// code and gives it time; other ports only read the line status byte.
constexpr uint32_t errorWaitPollMs(bool usbPort) { return usbPort ? 3000 : 100; }

enum class CheckStep : uint8_t {
  Sleep,           // pause `ms`, then call next() again
  ReadLineStatus,  // read the line status byte; report with lineStatus()
  WriteRequest,    // write `request`; report with requestWritten()
  ReadReply,       // read up to kCheckReplyBytes bytes; report with reply()
  ErrorWait,       // run the error wait with message(); its result is the check's
  Succeeded,
  Failed,  // show `message` (caption status::msg::kUsbCaption), then fail
};

struct CheckAction {
  CheckStep step = CheckStep::Succeeded;
  uint32_t ms = 0;
  std::string_view request;
  uint32_t message = 0;
};

class PauseCheck {
 public:
  // `category` is the last command's; `message` the port's current message
  // number, which an error reply replaces.
  PauseCheck(CommandCategory category, bool usbPort, uint32_t message = status::msg::kUsbPrinterError);

  CheckAction next();

  void lineStatus(bool read, uint8_t value);
  void requestWritten(bool ok);
  void reply(const uint8_t *reply, size_t length);

  // The message number the error wait shows.
  uint32_t message() const { return message_; }

 private:
  enum class Phase : uint8_t { Pause, Top, Write, Read, Wait, Done, Fail };
  CommandCategory category_;
  bool usb_;
  uint32_t message_;
  Phase phase_ = Phase::Pause;
  bool afterWriteFailure_ = false;
  uint32_t writeFailures_ = 0;
  uint32_t emptyReplies_ = 0;
};

}  // namespace card::pacing
