// The check after a job command, step by step.
#include "shared/pause_check.h"

namespace card::pacing {

PauseCheck::PauseCheck(CommandCategory category, bool usbPort, uint32_t message)
    : category_(category), usb_(usbPort), message_(message) {}

CheckAction PauseCheck::next() {
  CheckAction a;
  switch (phase_) {
    case Phase::Pause:
      phase_ = Phase::Top;
      a.step = CheckStep::Sleep;
      a.ms = status::pauseAfter(category_);
      return a;
    case Phase::Top:
      if (afterWriteFailure_) {
        // The request could not be written: give the port a second, and give
        // up at the fifth failure.
        afterWriteFailure_ = false;
        if (writeFailures_ >= kRequestWriteAttempts) {
          phase_ = Phase::Fail;
        } else {
          phase_ = Phase::Top;
        }
        a.step = CheckStep::Sleep;
        a.ms = kRequestRetryPauseMs;
        return a;
      }
      // An ordinary command is usually done by now: a printer that reports
      // itself idle needs no request.  The read is repeated with every retry.
      if (category_ == CommandCategory::Other || category_ == CommandCategory::None) {
        a.step = CheckStep::ReadLineStatus;
        return a;
      }
      [[fallthrough]];
    case Phase::Write:
      phase_ = Phase::Write;
      a.step = CheckStep::WriteRequest;
      a.request = status::errorReportRequest(usb_);
      return a;
    case Phase::Read: a.step = CheckStep::ReadReply; return a;
    case Phase::Wait:
      a.step = CheckStep::ErrorWait;
      a.message = message_;
      return a;
    case Phase::Done: a.step = CheckStep::Succeeded; return a;
    case Phase::Fail:
      a.step = CheckStep::Failed;
      a.message = status::msg::kErrorRequestFailed;
      return a;
  }
  return a;
}

void PauseCheck::lineStatus(bool read, uint8_t value) {
  if (phase_ != Phase::Top) return;
  phase_ = read && status::lineIsIdle(value) ? Phase::Done : Phase::Write;
}

void PauseCheck::requestWritten(bool ok) {
  if (phase_ != Phase::Write) return;
  if (ok) {
    phase_ = Phase::Read;
    return;
  }
  ++writeFailures_;
  afterWriteFailure_ = true;
  phase_ = Phase::Top;
}

void PauseCheck::reply(const uint8_t *reply, size_t length) {
  if (phase_ != Phase::Read) return;
  if (length == 0 || reply == nullptr) {
    // Silence: ask again, up to six times; then the error wait decides.
    phase_ = ++emptyReplies_ >= kEmptyReplyAttempts ? Phase::Wait : Phase::Top;
    return;
  }
  if (status::classifyReply(reply, length) == status::ReplyKind::Ack) {
    phase_ = Phase::Done;
    return;
  }
  if (reply[0] == kNak) message_ = status::messageForErrorReply(reply, length, status::Monitor::Usb);
  phase_ = Phase::Wait;
}

}  // namespace card::pacing
