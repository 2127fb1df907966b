#include "config/tool_commands.h"

#include "config/raw_channel.h"
#include "config/reply_display.h"
#include "config/tool_rules.h"

namespace card::cfg {

namespace {

// Reply buffers of the offset readings and of a track reading.
constexpr size_t kOffsetReplyBytes = 32;
constexpr size_t kTrackReplyBytes = 128;
// Shorter than ESC, one letter and CR: nothing the printer would take.
constexpr size_t kShortestCommand = 3;

// Front X, front Y, back X, back Y, in the fields' order.
constexpr std::string_view kOffsetQueries[4] = {"\x1b!V 1\r", "\x1b!V 2\r", "\x1b!V 25\r", "\x1b!V 24\r"};

}  // namespace

QueryResult toolCommand(HANDLE printer, std::string_view command) {
  if (!printer || command.size() < kShortestCommand) return {};
  DirectPrinting direct(printer);
  return queryCommand(printer, command, kToolReplyBytes);
}

OffsetReadings readOffsets(HANDLE printer) {
  OffsetReadings r;
  if (!printer) return r;
  // Takes the printer out of a job it may be waiting in; the reply says
  // nothing of use.
  queryCommand(printer,
               "\x1b"
               "SLAVE\r",
               kOffsetReplyBytes);
  for (size_t i = 0; i < 4; ++i) {
    const QueryResult q = queryCommand(printer, kOffsetQueries[i], kOffsetReplyBytes);
    // A reply that fills the buffer has no room for its end: not an offset.
    if (!q.succeeded || q.bytes.size() >= kOffsetReplyBytes) continue;
    std::optional<std::string> text = offsetReplyText(q.bytes);
    if (text) {
      // The field shows the reply as text: up to its first NUL.
      r.fields[i] = text->substr(0, text->find('\0'));
    } else {
      r.refused[i] = true;
    }
  }
  return r;
}

TrackReadings readTracks(HANDLE printer, const std::array<bool, 3> &selected) {
  TrackReadings r;
  if (!printer) return r;
  DirectPrinting direct(printer);
  for (int t = 1; t <= 3; ++t) {
    if (!selected[size_t(t - 1)]) continue;
    const QueryResult q = queryCommand(printer, readTrackCommand(t), kTrackReplyBytes);
    if (!q.succeeded) continue;
    if (q.bytes.empty() || q.bytes.back() != kAck) {
      // The printer could not read the card (no card, a blank track): what
      // it said goes to the status line, and the other tracks are not tried.
      r.stopReply = q.bytes;
      break;
    }
    const std::string text = q.bytes.substr(0, q.bytes.size() - 1);
    r.tracks[size_t(t - 1)] = text.substr(0, text.find('\0'));
  }
  return r;
}

}  // namespace card::cfg
