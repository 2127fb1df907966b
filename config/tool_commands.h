// The printer tools' operations on a printer, without a window: the tools
// dialog and cardtool both carry out a technician's request through these,
// so that a script and a dialog say exactly the same to the printer.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "config/device_info.h"

namespace card::cfg {

// The reply buffer of a tool command.
inline constexpr size_t kToolReplyBytes = 1024;

// One tool command: the printer switched to direct printing for its
// duration, the command sent as a query, its reply taken (up to 1024 bytes)
// and the stored value of its name deleted.  A command shorter than 3 bytes
// is not sent and fails.
QueryResult toolCommand(HANDLE printer, std::string_view command);

// The four print-position offsets as the printer reports them, after
// "\eSLAVE\r": front X, front Y, back X, back Y.  A field whose reading did
// not count holds nothing; `refused` marks a reply without its final ACK
// (the dialog disables that field).
struct OffsetReadings {
  std::array<std::optional<std::string>, 4> fields;
  std::array<bool, 4> refused{};
  bool allCounted() const { return fields[0] && fields[1] && fields[2] && fields[3]; }
};
OffsetReadings readOffsets(HANDLE printer);

// Reads the selected tracks in order, with direct printing for the duration.
// A track whose reply ended with ACK holds its text; a reply without the ACK
// stops the reading and is kept in `stopReply` for the status line.
struct TrackReadings {
  std::array<std::optional<std::string>, 3> tracks;
  std::optional<std::string> stopReply;
};
TrackReadings readTracks(HANDLE printer, const std::array<bool, 3> &selected);

}  // namespace card::cfg
