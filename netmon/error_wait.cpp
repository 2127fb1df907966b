// The error wait and the abort clean-up sequence.  The error wait holds the
// job at the printer: the job thread polls the printer while a message task
// shows the error to the user, until the operator clears the error (the job
// goes on), the spooler deletes the job, or the user dismisses the message
// (the job is cancelled).
#include <windows.h>
#include <winspool.h>

#include <memory>
#include <vector>

#include "netmon/channels.h"
#include "netmon/connection.h"
#include "netmon/job_support.h"
#include "netmon/messages.h"
#include "netmon/model_code.h"
#include "shared/status_commands.h"
#include "shared/status_protocol.h"

namespace card::net {

namespace {

constexpr DWORD kFailedCheckPauseMs = 1500;
constexpr DWORD kEventWaitMs = 500;
// After the user answered, the task ends at once; it is looked for this
// often, and at most this many times.
constexpr DWORD kTaskEndPollMs = 50;
constexpr int kTaskEndPolls = 40;
constexpr DWORD kResetToEndPauseMs = 1000;

// Reply waits of the abort clean-up sequence, in seconds.
constexpr DWORD kFeedResetWaitS = 12;
constexpr DWORD kFeedResetRetryWaitS = 4;
constexpr DWORD kFlushWaitS = 10;
constexpr DWORD kCleanUpWaitS = 4;

// The spooler handle for job control: the port's own, or one opened for the
// call (closed by the owner).
struct JobPrinter {
  HANDLE handle = nullptr;
  bool owned = false;
  explicit JobPrinter(const PortEntry &p) {
    handle = p.printer;
    if (handle) return;
    WString name = p.printerNameCopy();
    if (!name.empty() && OpenPrinterW(name.data(), &handle, nullptr)) owned = true;
  }
  ~JobPrinter() {
    if (owned) ClosePrinter(handle);
  }
  JobPrinter(const JobPrinter &) = delete;
  JobPrinter &operator=(const JobPrinter &) = delete;
};

// Whether the spooler is deleting the port's job; sets the cancel flag.
bool jobBeingDeleted(PortEntry &p) {
  if (p.jobId == 0) return false;
  JobPrinter printer(p);
  if (!printer.handle) return false;
  DWORD needed = 0;
  GetJobW(printer.handle, p.jobId, 1, nullptr, 0, &needed);
  if (needed == 0) return false;
  std::vector<BYTE> buffer(needed);
  if (!GetJobW(printer.handle, p.jobId, 1, buffer.data(), needed, &needed)) return false;
  const auto *info = reinterpret_cast<const JOB_INFO_1W *>(buffer.data());
  if ((info->Status & JOB_STATUS_DELETING) == 0) return false;
  p.cancelled = true;
  return true;
}

void deleteJob(PortEntry &p) {
  if (p.jobId == 0) return;
  JobPrinter printer(p);
  if (printer.handle) SetJobW(printer.handle, p.jobId, 0, nullptr, JOB_CONTROL_DELETE);
}

// Waits, bounded, for the task to end after its event fired; its exit code,
// or kTaskAnswered for a task that did not end (the user did answer).
DWORD taskResult(MessageTask &task) {
  DWORD code = 0;
  for (int i = 0; i < kTaskEndPolls; ++i) {
    if (task.ended(code)) return code;
    Sleep(kTaskEndPollMs);
  }
  return kTaskAnswered;
}

// A command of the clean-up sequence and its reply; whether it was answered.
bool cleanUpStep(PortEntry &p, std::string_view command, DWORD waitS) {
  uint8_t reply[kReceiveBytes];
  return exchange(p, command, reply, sizeof reply, waitS) > 0;
}

}  // namespace

bool errorWait(PortEntry &p) {
  if (checkPassed(replyCheck(p))) return true;
  if (!probeReachable(p.address)) p.message = status::msg::kCommunication;

  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!event) return false;
  stopTask(p.messageTask);
  p.messageTask = MessageTask::startError(p, p.message, event);
  if (!p.messageTask) {
    CloseHandle(event);
    return false;
  }

  bool result = false;
  for (;;) {
    pollStatus(p);
    bool over = checkPassed(replyCheck(p));
    if (!over) {
      Sleep(kFailedCheckPauseMs);
      // A job the spooler is deleting needs no more waiting for.
      over = jobBeingDeleted(p);
    }
    if (over) {
      // The close request goes out as part of stopping the task.
      stopTask(p.messageTask);
      if (HWND foreground = GetForegroundWindow()) SetFocus(foreground);
      p.errorPending = false;
      result = reconnectDataChannel(p);
      break;
    }
    if (WaitForSingleObject(event, kEventWaitMs) != WAIT_OBJECT_0) continue;
    p.errorPending = false;
    const DWORD answer = taskResult(*p.messageTask);
    stopTask(p.messageTask);
    if (answer != kTaskAnswered) {
      result = true;
      break;
    }
    // The user dismissed the message: the job is cancelled and the printer
    // told to drop what it holds.
    p.cancelled = true;
    deleteJob(p);
    sendCommand(p, status::kCmdReset);
    Sleep(kResetToEndPauseMs);
    sendCommand(p, status::kCmdEnd);
    p.jobFailed = true;
    result = false;
    break;
  }
  CloseHandle(event);
  return result;
}

void abortCleanup(PortEntry &p) {
  busyWait(p);
  if (!p.ribbonClass && !cleanUpStep(p, status::kCmdFeedReset, kFeedResetWaitS))
    cleanUpStep(p, status::kCmdFeedReset, kFeedResetRetryWaitS);
  if (cleanUpStep(p, status::kCmdFlush, kFlushWaitS) && cleanUpStep(p, status::kCmdEject, kCleanUpWaitS) &&
      cleanUpStep(p, status::kCmdEnd, kCleanUpWaitS))
    cleanUpStep(p, abortEndCommand(p.model), kCleanUpWaitS);
  busyWait(p);
  p.cutter.reset();
}

void stopMessageTask(PortEntry &p) {
  stopTask(p.messageTask);
  stopNotice(p);
  // An alert of a port closed without the end of its job goes with it.
  stopLowRibbonAlert(p);
}

}  // namespace card::net
