// The error wait, step by step.
#include "usbmon/error_wait.h"

#include "shared/pause_check.h"
#include "shared/status_commands.h"

namespace card::usb {

ErrorWait::ErrorWait(bool usbPort, uint32_t message) : usb_(usbPort), message_(message) {}

WaitAction ErrorWait::next() {
  WaitAction a;
  switch (phase_) {
    case Phase::FirstRead:
    case Phase::PollRead: a.step = WaitStep::ReadLineStatus; return a;
    case Phase::Pending:
      phase_ = usb_ ? Phase::Write : Phase::Start;
      a.step = WaitStep::SetErrorPending;
      return a;
    case Phase::Write:
      a.step = WaitStep::WriteRequest;
      a.request = status::kCmdErrorReportUsb;
      return a;
    case Phase::Read: a.step = WaitStep::ReadReply; return a;
    case Phase::Start:
      a.step = WaitStep::StartTask;
      a.message = message_;
      return a;
    case Phase::PollWait:
      a.step = WaitStep::WaitEvent;
      a.ms = pacing::errorWaitPollMs(usb_);
      return a;
    case Phase::TaskEnd:
      a.step = WaitStep::WaitTaskEnd;
      a.ms = kTaskEndPollMs;
      return a;
    case Phase::CloseThenSucceed:
      phase_ = Phase::Done;
      a.step = WaitStep::CloseMessage;
      return a;
    case Phase::CloseThenCancel:
      phase_ = Phase::Cancel;
      a.step = WaitStep::CloseMessage;
      return a;
    case Phase::Cancel:
      phase_ = Phase::Fail;
      a.step = WaitStep::CancelJob;
      return a;
    case Phase::CancelByUser:
      phase_ = Phase::Fail;
      a.step = WaitStep::CancelJob;
      a.reset = usb_;
      a.markFailed = true;
      return a;
    case Phase::Done: a.step = WaitStep::Succeeded; return a;
    case Phase::Fail: a.step = WaitStep::Failed; return a;
  }
  return a;
}

void ErrorWait::lineStatus(bool read, uint8_t value) {
  if (phase_ == Phase::FirstRead) {
    if (read && status::lineIsReady(value)) {
      phase_ = Phase::Done;
      return;
    }
    // Other ports cannot ask for the error code: the line status tells what
    // kind of error it is.
    if (!usb_) message_ = status::messageFromLineStatus(read ? value : 0, status::Monitor::Usb);
    phase_ = Phase::Pending;
    return;
  }
  if (phase_ != Phase::PollRead) return;
  if (!read)
    phase_ = Phase::CloseThenCancel;  // the printer is gone: nobody can clear the error
  else if (status::lineIsReady(value))
    phase_ = Phase::CloseThenSucceed;
  else
    phase_ = Phase::PollWait;
}

void ErrorWait::requestWritten(bool ok) {
  if (phase_ == Phase::Write) phase_ = ok ? Phase::Read : Phase::Start;
}

void ErrorWait::reply(const uint8_t *reply, size_t length) {
  if (phase_ != Phase::Read) return;
  if (reply && length && reply[0] == kNak) message_ = status::messageForErrorReply(reply, length, status::Monitor::Usb);
  phase_ = Phase::Start;
}

void ErrorWait::taskStarted(bool ok) {
  if (phase_ != Phase::Start) return;
  taskRunning_ = ok;
  phase_ = Phase::PollRead;
}

void ErrorWait::eventWait(bool fired, bool jobDeleting) {
  if (phase_ != Phase::PollWait) return;
  if (jobDeleting)
    phase_ = Phase::CloseThenCancel;  // the spooler gave the job up: stop waiting for the printer
  else if (fired && taskRunning_)
    phase_ = Phase::TaskEnd;
  else
    phase_ = Phase::PollRead;
}

void ErrorWait::taskEnded(bool ended, uint32_t exitCode) {
  if (phase_ != Phase::TaskEnd) return;
  if (ended) {
    phase_ = exitCode == kTaskDismissed ? Phase::CancelByUser : Phase::Done;
    return;
  }
  // A task that does not end after its event is taken for an error that
  // cleared; it is taken away like one.
  if (++taskPolls_ >= kTaskEndPolls) phase_ = Phase::CloseThenSucceed;
}

}  // namespace card::usb
