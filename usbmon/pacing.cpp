// WritePort: the job stream handed to the printer one command or one slice
// of a data block per call, a pause and a question to the printer after
// each command, and the error wait while the printer is in error.
#include <windows.h>
#include <winspool.h>

#include "shared/pause_check.h"
#include "shared/status_commands.h"
#include "usbmon/error_wait.h"
#include "usbmon/monitor.h"

namespace card::usb {

namespace {

// After a failed write the spooler's next offer is held back this long.
constexpr DWORD kErrorPendingPauseMs = 1000;
// Steps one pause check may take; it ends far sooner (at most a few tens).
constexpr int kMaxCheckSteps = 256;

}  // namespace

bool PortRecord::writePiece(const uint8_t *data, size_t size) { return writeRaw(data, size); }

BOOL PortRecord::write(LPBYTE buffer, DWORD size, LPDWORD written) {
  *written = 0;
  if (capture.active && capture.file != INVALID_HANDLE_VALUE)
    return captureWrite(capture, buffer, size, written) ? TRUE : FALSE;
  if (!(state & kStateDataAccepted)) {
    SetLastError(ERROR_NOT_READY);
    return FALSE;
  }
  dataSent = kDataSentMarker;
  if (jobStatus() & JOB_STATUS_DELETING) {
    cancelled = true;
    return TRUE;
  }
  if (errorPending) {
    // The spooler offers the same bytes again after the pause.
    Sleep(kErrorPendingPauseMs);
    errorPending = false;
    return TRUE;
  }
  if (!usb()) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  const pacing::Cut cut = cutter.next(buffer, size);
  switch (cut.kind) {
    case pacing::CutKind::Nothing: return TRUE;
    case pacing::CutKind::Held: *written = DWORD(cut.consumed); return TRUE;
    case pacing::CutKind::Dropped: {
      char text[128];
      wsprintfA(text, "usbmon: %u bytes %s were not sent", unsigned(cut.droppedBytes),
                cut.dropped == pacing::DropReason::TooLong ? "of a command without end" : "outside any command");
      debugOut(text);
      *written = DWORD(cut.consumed);
      return TRUE;
    }
    case pacing::CutKind::Command:
    case pacing::CutKind::Data: break;
  }
  if (!writePiece(cut.piece, cut.pieceLength)) {
    cutter.undo();
    uint8_t line = 0;
    if (!readLineStatus(line)) {
      // The printer is gone (unplugged, switched off): nothing will take
      // the rest of the job, so it is given up rather than offered forever.
      debugOut("usbmon: the printer cannot be reached; the job is deleted");
      cancelled = true;
      deleteJob();
      return TRUE;
    }
    errorPending = true;
    return TRUE;
  }
  *written = DWORD(cut.consumed);
  if (cut.checkAfter) runPauseCheck(cut.category);
  return TRUE;
}

void PortRecord::runPauseCheck(status::CommandCategory category) {
  pacing::PauseCheck check(category, usb(), currentMessage_);
  for (int steps = 0; steps < kMaxCheckSteps; ++steps) {
    const pacing::CheckAction a = check.next();
    switch (a.step) {
      case pacing::CheckStep::Sleep: Sleep(a.ms); break;
      case pacing::CheckStep::ReadLineStatus: {
        uint8_t line = 0;
        const bool read = readLineStatus(line);
        check.lineStatus(read, line);
        break;
      }
      case pacing::CheckStep::WriteRequest:
        check.requestWritten(writeRaw(status::bytes(a.request), a.request.size()));
        break;
      case pacing::CheckStep::ReadReply: {
        uint8_t reply[pacing::kCheckReplyBytes];
        const long n = readRaw(reply, sizeof(reply));
        check.reply(reply, n > 0 ? size_t(n) : 0);
        break;
      }
      case pacing::CheckStep::ErrorWait:
        currentMessage_ = a.message;
        errorWait();
        return;
      case pacing::CheckStep::Succeeded: return;
      case pacing::CheckStep::Failed: inform(a.message, status::msg::kUsbCaption, 0); return;
    }
  }
}

bool PortRecord::errorWait() {
  ErrorWait wait(usb(), currentMessage_);
  std::unique_ptr<MessageThread> task;
  for (;;) {
    const WaitAction a = wait.next();
    switch (a.step) {
      case WaitStep::ReadLineStatus: {
        uint8_t line = 0;
        const bool read = readLineStatus(line);
        wait.lineStatus(read, line);
        break;
      }
      case WaitStep::SetErrorPending: errorPending = true; break;
      case WaitStep::WriteRequest: wait.requestWritten(writeRaw(status::bytes(a.request), a.request.size())); break;
      case WaitStep::ReadReply: {
        uint8_t reply[kErrorWaitReplyBytes];
        const long n = readRaw(reply, sizeof(reply));
        wait.reply(reply, n > 0 ? size_t(n) : 0);
        break;
      }
      case WaitStep::StartTask:
        currentMessage_ = a.message;
        task = MessageThread::start(printerNameCopy().c_str(), a.message, status::msg::kUsbCaption);
        wait.taskStarted(task != nullptr);
        break;
      case WaitStep::WaitEvent: {
        bool fired = false;
        if (task)
          fired = task->waitDismissed(a.ms);
        else
          Sleep(a.ms);
        wait.eventWait(fired, (jobStatus() & JOB_STATUS_DELETING) != 0);
        break;
      }
      case WaitStep::WaitTaskEnd: {
        DWORD code = 0;
        if (task && task->ended(code)) {
          wait.taskEnded(true, code);
        } else {
          Sleep(a.ms);
          wait.taskEnded(false, 0);
        }
        break;
      }
      case WaitStep::CloseMessage:
        if (task) task->close();
        errorPending = false;
        break;
      case WaitStep::CancelJob:
        cancelled = true;
        deleteJob();
        if (a.reset) writeRaw(status::bytes(status::kCmdReset), status::kCmdReset.size());
        if (a.markFailed) {
          jobFailed = true;
          dataSent = 0;
        }
        break;
      case WaitStep::Succeeded: errorPending = false; return true;
      case WaitStep::Failed: errorPending = false; return false;
    }
  }
}

}  // namespace card::usb
