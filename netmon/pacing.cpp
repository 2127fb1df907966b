// The network pacing writer: the job stream cut into commands and data
// blocks as for a USB printer, but a network printer takes a whole data block
// portion at once, in framed slices, and answers the error report request
// after every command instead of being given fixed pauses.
#include <windows.h>
#include <winsock2.h>
#include <winspool.h>

#include <algorithm>
#include <string_view>

#include "netmon/channels.h"
#include "netmon/connection.h"
#include "netmon/framing.h"
#include "netmon/job_path.h"
#include "netmon/job_support.h"
#include "shared/status_protocol.h"

namespace card::net {

namespace {

// A slice that cannot be sent is tried this many times in all.
constexpr int kSliceAttempts = 4;
constexpr DWORD kSliceRetryPauseMs = 100;

std::string_view textOf(const uint8_t *p, size_t n) { return {reinterpret_cast<const char *>(p), n}; }

// The reply check after a command (or at the end of a block); a printer in
// error holds the job in the error wait.  The write itself has succeeded
// whatever the check finds: errors act through the wait.
void checkAfterCommand(PortEntry &p) {
  if (!checkPassed(replyCheck(p))) errorWait(p);
}

// A bitmap header ("\eG ...\r", "\evG ...\r") and the "\eZ" after it are one
// header to the printer, with the data at once behind it: a request between
// them would part the data from its header.
bool headsBitmap(const uint8_t *cmd, size_t length) {
  const std::string_view text = textOf(cmd, length);
  return text.substr(0, 3) == "\x1bG " || text.substr(0, 4) == "\x1bvG ";
}

enum class SliceResult { Sent, Cancelled, Failed };

// Sends one framed slice, with the retries a dropped connection gets.
SliceResult sendSlice(PortEntry &p, const uint8_t *data, size_t size) {
  for (int attempt = 1;; ++attempt) {
    if (attempt > 1 && jobDeleting(p)) return SliceResult::Cancelled;
    const int error = sendFramed(p.data, data, size);
    if (error == 0) return SliceResult::Sent;
    Sleep(kSliceRetryPauseMs);
    // A connection the printer dropped is won back; so is one that an
    // earlier try could not win back, or every later try would fail alike.
    if (error == WSAECONNRESET || error == WSAENOTSOCK || p.data == INVALID_SOCKET) {
      reconnectChannels(p);
      Sleep(kSliceRetryPauseMs);
    }
    if (attempt == kSliceAttempts) return SliceResult::Failed;
  }
}

// The bytes of the current data block at the start of the buffer, sent as
// slices of at most one frame each.  The cutter moves on slice by slice, so
// that what was not sent is offered again from the right place.
BOOL writeBlockPortion(PortEntry &p, const BYTE *buffer, DWORD size, LPDWORD written) {
  size_t done = 0;
  bool ended = false;
  while (done < size && p.cutter.insideBlock()) {
    // (The call's own start has asked already for the first slice.)
    if (done > 0 && jobDeleting(p)) break;
    const pacing::StreamCutter sliceStart = p.cutter;
    size_t length = 0;
    while (length < kMaxFramePayload && done + length < size && p.cutter.insideBlock()) {
      const pacing::Cut c =
          p.cutter.next(buffer + done + length, std::min<size_t>(size - done - length, kMaxFramePayload - length));
      if (c.consumed == 0) break;
      length += c.consumed;
      ended = c.endsBlock;
    }
    if (length == 0) break;
    switch (sendSlice(p, buffer + done, length)) {
      case SliceResult::Sent: done += length; continue;
      case SliceResult::Cancelled:
        // The spooler offers nothing more of a job it deletes; the end of
        // the job finds the state of what really went out.
        p.cutter = sliceStart;
        p.cancelled = true;
        p.errorPending = true;
        *written = DWORD(done);
        return TRUE;
      case SliceResult::Failed:
        p.cutter = sliceStart;
        p.errorPending = true;
        p.message = status::msg::kCommunication;
        errorWait(p);
        *written = DWORD(done);
        SetLastError(ERROR_DEVICE_NOT_CONNECTED);
        return FALSE;
    }
  }
  *written = DWORD(done);
  if (ended && !p.cutter.insideBlock()) checkAfterCommand(p);
  return TRUE;
}

}  // namespace

BOOL pacedWrite(PortEntry &p, const BYTE *buffer, DWORD size, LPDWORD written) {
  *written = 0;
  if (jobDeleting(p)) return TRUE;
  if (size == 0 || !buffer) return TRUE;
  if (p.cutter.insideBlock()) return writeBlockPortion(p, buffer, size, written);

  const pacing::StreamCutter before = p.cutter;
  const pacing::Cut c = p.cutter.next(buffer, size);
  switch (c.kind) {
    case pacing::CutKind::Nothing: return TRUE;
    case pacing::CutKind::Held: *written = DWORD(c.consumed); return TRUE;
    case pacing::CutKind::Dropped:
      // Bytes that belong to no command are not sent; they are taken, so
      // that the spooler does not offer them for ever.
      p.droppedBytes += c.droppedBytes;
      *written = DWORD(c.consumed);
      return TRUE;
    case pacing::CutKind::Data:  // a block starts only after a command
    case pacing::CutKind::Command: break;
  }
  if (sendCommand(p, textOf(c.piece, c.pieceLength)) != 0) {
    p.cutter = before;
    p.errorPending = true;
    SetLastError(ERROR_DEVICE_NOT_CONNECTED);
    return FALSE;
  }
  *written = DWORD(c.consumed);
  if (c.checkAfter && !headsBitmap(c.piece, c.pieceLength)) checkAfterCommand(p);
  return TRUE;
}

}  // namespace card::net
