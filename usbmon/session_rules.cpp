// Port session rules.
#include "usbmon/session_rules.h"

#include "shared/status_protocol.h"

namespace card::usb {

uint8_t checkStatusAnswer(bool read, uint8_t line) {
  return read && status::lineIsOnLine(line) ? kAck : kCheckStatusNotReady;
}

std::string_view answerInAnyState(status::QueryKind kind, bool documentComplete, bool lastJobFailed) {
  using status::QueryKind;
  switch (kind) {
    case QueryKind::FileVersion: return status::kAnswerFileVersion;
    case QueryKind::DocComplete: return documentComplete ? status::kAnswerDocComplete : status::kAnswerDocPending;
    case QueryKind::PortStatus: return lastJobFailed ? status::kAnswerStatusFailed : status::kAnswerStatusSuccess;
    default: return {};
  }
}

namespace {

bool startsWith(const uint8_t *p, size_t n, std::string_view s) {
  return n >= s.size() && std::string_view(reinterpret_cast<const char *>(p), s.size()) == s;
}

}  // namespace

QueryPlan planEscapeQuery(const uint8_t *command, size_t length, const QueryContext &context) {
  using status::QueryKind;
  QueryPlan plan;
  plan.isReadyMode = context.isReadyMode;
  const QueryKind kind = status::classifyQuery(command, length);
  if (kind == QueryKind::IsReady) {
    // Ready means: nothing of a job is under way on this port.
    plan.action = QueryAction::AnswerByte;
    plan.byte = context.jobActive || context.dataSent ? 0 : 1;
    plan.isReadyMode = true;
    return plan;
  }
  if (kind == QueryKind::CheckStatus && context.isReadyMode) {
    plan.action = QueryAction::CheckStatus;
    return plan;
  }
  if (context.jobActive) {
    // The job owns the printer's replies: a question now would take them.
    plan.action = QueryAction::Refuse;
    plan.isReadyMode = false;
    return plan;
  }
  if (kind == QueryKind::Reset) {
    plan.action = QueryAction::Reset;
    plan.isReadyMode = false;
    return plan;
  }
  plan.action = QueryAction::Send;
  if (std::string_view(reinterpret_cast<const char *>(command), length) == "\033MS 2\r" ||
      (context.isReadyMode && startsWith(command, length, "\033MO")))
    plan.isReadyMode = false;
  return plan;
}

CleanupSequence abortCleanup(bool ribbonClassFlag) {
  if (ribbonClassFlag) return {{}, status::kCmdEject};
  return {"\r", status::kCmdEjectFeedReset};
}

}  // namespace card::usb
