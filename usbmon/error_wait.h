// The error wait: the job thread stops while the printer is in error, shows
// the error's message in a task of its own, and polls the printer until the
// error clears (the job goes on) or the user dismisses the message (the job
// is cancelled).  The decisions are a small machine that says what to do
// next; the glue carries each step out and reports what happened.  No
// Windows calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "shared/status_protocol.h"

namespace card::usb {

// How long the waiting side looks for the message task to end after the
// user answered, and how often.
inline constexpr uint32_t kTaskEndPollMs = 50;
inline constexpr uint32_t kTaskEndPolls = 40;
// The message task's exit code when it ended normally (message dismissed).
inline constexpr uint32_t kTaskDismissed = 2;
inline constexpr size_t kErrorWaitReplyBytes = 256;

enum class WaitStep : uint8_t {
  ReadLineStatus,   // read the line status byte; report with lineStatus()
  SetErrorPending,  // set the port's error-pending flag, then next()
  WriteRequest,     // write `request`; report with requestWritten()
  ReadReply,        // read up to kErrorWaitReplyBytes; report with reply()
  StartTask,        // start the message task for `message`; report with taskStarted()
  WaitEvent,        // wait `ms` for the task's event; report with eventWait()
  WaitTaskEnd,      // poll the task's exit code; report with taskEnded()
  CloseMessage,     // close request (new generation), terminate the task, clear error-pending; then next()
  CancelJob,        // cancel flag, delete the job; `reset`: write "\eR\r"; `markFailed`; then next()
  Succeeded,        // clear error-pending; the job goes on
  Failed,
};

struct WaitAction {
  WaitStep step = WaitStep::Succeeded;
  uint32_t ms = 0;
  std::string_view request;
  uint32_t message = 0;
  bool reset = false;       // CancelJob: send the reset to the printer
  bool markFailed = false;  // CancelJob: the job failed from an error message
};

class ErrorWait {
 public:
  // `message` is the port's current message number, which an error reply
  // replaces; `usbPort` chooses how the error is learnt and the poll interval.
  ErrorWait(bool usbPort, uint32_t message);

  WaitAction next();

  // `read`: the status call succeeded.
  void lineStatus(bool read, uint8_t value);
  void requestWritten(bool ok);
  void reply(const uint8_t *reply, size_t length);
  void taskStarted(bool ok);
  // `fired`: the event was set (the user answered); false: the interval ran out.
  // `jobDeleting`: the spooler is deleting the job meanwhile.
  void eventWait(bool fired, bool jobDeleting = false);
  // `ended`: the task has ended, with `exitCode`; false: still running.
  void taskEnded(bool ended, uint32_t exitCode);

  uint32_t message() const { return message_; }

 private:
  enum class Phase : uint8_t {
    FirstRead,
    Pending,
    Write,
    Read,
    Start,
    PollRead,
    PollWait,
    TaskEnd,
    CloseThenSucceed,
    CloseThenCancel,
    Cancel,
    CancelByUser,
    Done,
    Fail,
  };
  bool usb_;
  uint32_t message_;
  Phase phase_ = Phase::FirstRead;
  bool taskRunning_ = false;
  uint32_t taskPolls_ = 0;
};

}  // namespace card::usb
