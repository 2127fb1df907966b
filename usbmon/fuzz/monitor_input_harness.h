// Everything the monitor's decisions take from outside, fed the same bytes:
// the spooler's buffers (cut where the input says), the printer's replies
// and line status bytes during the check after each command and during the
// error wait, and query names from callers.  Returns what went wrong, or
// null.  Used by the libFuzzer target and by a repeatable random test of the
// normal suite.
#pragma once

#include <cstddef>
#include <cstdint>

#include "shared/pause_check.h"
#include "shared/status_commands.h"
#include "shared/stream_cutter.h"
#include "usbmon/error_wait.h"
#include "usbmon/session_rules.h"

namespace card::usb::fuzz {

// Hands out the input's bytes as the printer's answers, zeros when used up.
class Source {
 public:
  Source(const uint8_t *data, size_t size) : data_(data), size_(size) {}
  uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  // A reply of up to `max` bytes taken from the input.
  size_t reply(uint8_t *out, size_t max) {
    size_t n = byte() % 8;
    if (n > max) n = max;
    for (size_t i = 0; i < n; ++i) out[i] = byte();
    return n;
  }
  bool empty() const { return pos_ >= size_; }
  size_t remaining() const { return size_ - pos_; }

 private:
  const uint8_t *data_;
  size_t size_;
  size_t pos_ = 0;
};

// Bounds on the steps one check may take with any answers; a wait polls as
// long as the answers say the printer is still in error, two of them a pass.
inline constexpr int kMaxCheckSteps = 64;
inline constexpr int kWaitStepsPerByte = 2;

inline bool knownMessage(uint32_t m) {
  if (m == status::msg::kUsbPrinterError || m == status::msg::kUsbSyntaxError || m == status::msg::kErrorRequestFailed)
    return true;
  for (const auto &row : status::kStatusTable)
    if (row.message == m) return true;
  return false;
}

inline const char *runErrorWait(Source &in, uint32_t message) {
  ErrorWait w(in.byte() & 1, message);
  const size_t maxSteps = in.remaining() * kWaitStepsPerByte + 64 + kTaskEndPolls;
  for (size_t steps = 0; steps < maxSteps; ++steps) {
    const WaitAction a = w.next();
    switch (a.step) {
      case WaitStep::ReadLineStatus: {
        const uint8_t b = in.byte();
        // The answers run out: the printer is gone, which ends any wait.
        w.lineStatus(!in.empty(), b);
        break;
      }
      case WaitStep::WriteRequest: w.requestWritten(in.byte() & 1); break;
      case WaitStep::ReadReply: {
        uint8_t r[kErrorWaitReplyBytes];
        w.reply(r, in.reply(r, sizeof(r)));
        break;
      }
      case WaitStep::StartTask:
        if (!knownMessage(a.message)) return "error wait shows an unknown message";
        w.taskStarted(in.byte() & 1);
        break;
      case WaitStep::WaitEvent: {
        const uint8_t b = in.byte();
        w.eventWait(b & 1, (b & 6) == 6);
        break;
      }
      case WaitStep::WaitTaskEnd: {
        const uint8_t b = in.byte();
        w.taskEnded(b & 1, b >> 1);
        break;
      }
      case WaitStep::SetErrorPending:
      case WaitStep::CloseMessage: break;
      case WaitStep::CancelJob:
        if (w.next().step != WaitStep::Failed) return "a cancelled job does not fail the wait";
        return nullptr;
      case WaitStep::Succeeded:
      case WaitStep::Failed: return nullptr;
    }
  }
  return "error wait does not end";
}

inline const char *runPauseCheck(Source &in, status::CommandCategory category) {
  pacing::PauseCheck check(category, true);
  for (int steps = 0; steps < kMaxCheckSteps; ++steps) {
    const pacing::CheckAction a = check.next();
    switch (a.step) {
      case pacing::CheckStep::Sleep:
        if (a.ms > 3850) return "pause longer than any category's";
        break;
      case pacing::CheckStep::ReadLineStatus: {
        const uint8_t b = in.byte();
        check.lineStatus(b & 1, b);
        break;
      }
      case pacing::CheckStep::WriteRequest: check.requestWritten(in.byte() & 1); break;
      case pacing::CheckStep::ReadReply: {
        uint8_t r[pacing::kCheckReplyBytes];
        check.reply(r, in.reply(r, sizeof(r)));
        break;
      }
      case pacing::CheckStep::ErrorWait:
        if (!knownMessage(a.message)) return "pause check hands on an unknown message";
        return runErrorWait(in, a.message);
      case pacing::CheckStep::Succeeded: return nullptr;
      case pacing::CheckStep::Failed:
        return a.message == status::msg::kErrorRequestFailed ? nullptr : "pause check fails with another message";
    }
  }
  return "pause check does not end";
}

// The input's first byte picks the part; the rest is its input.
inline const char *checkMonitorInput(const uint8_t *data, size_t size) {
  if (size == 0) return nullptr;
  const uint8_t mode = data[0] % 3;
  ++data;
  --size;
  if (mode == 0) {
    // A query name from a caller, in every state of the port.
    for (int state = 0; state < 8; ++state) {
      QueryContext c;
      c.jobActive = state & 1;
      c.dataSent = state & 2;
      c.isReadyMode = state & 4;
      const QueryPlan p = planEscapeQuery(data, size, c);
      const status::QueryKind kind = status::classifyQuery(data, size);
      if (p.action == QueryAction::Reset && !status::isResetCommand(data, size)) return "reset that is none";
      if (c.jobActive && (p.action == QueryAction::Send || p.action == QueryAction::Reset))
        return "printer asked while a job owns it";
      if (p.action == QueryAction::AnswerByte && kind != status::QueryKind::IsReady) return "local answer to another";
    }
    return nullptr;
  }
  if (mode == 1) {
    // Replies and line states during one check, for each category.
    Source in(data, size);
    for (auto cat : {status::CommandCategory::None, status::CommandCategory::Other, status::CommandCategory::Print,
                     status::CommandCategory::DataBlock, status::CommandCategory::CardMotion}) {
      if (const char *bad = runPauseCheck(in, cat)) return bad;
    }
    return nullptr;
  }
  // A spooler stream, cut into buffers whose lengths come from its own bytes,
  // through the writer's loop: every call takes bytes, none passes more
  // than a piece, and the whole stream is used up.
  pacing::StreamCutter cutter;
  size_t off = 0, lengthAt = 0;
  while (off < size) {
    size_t buffer = size_t(data[lengthAt % size]) * 17 + 1;
    lengthAt += 7;
    if (buffer > size - off) buffer = size - off;
    const size_t end = off + buffer;
    while (off < end) {
      const pacing::Cut c = cutter.next(data + off, end - off);
      if (c.consumed == 0 || c.consumed > end - off) return "a write call takes no bytes or too many";
      if (c.pieceLength > pacing::kMaxPieceBytes) return "piece longer than a write call may pass";
      off += c.consumed;
    }
  }
  return nullptr;
}

}  // namespace card::usb::fuzz
