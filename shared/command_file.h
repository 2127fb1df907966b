// A text file of printer commands, one per line, as the configuration module
// sends it: each line becomes one escape command.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "shared/status_protocol.h"

namespace card::interception {

// Bytes of a command before its CR, the ESC included.
inline constexpr size_t kMaxCommandBytes = status::kMaxFileCommandBytes;

// The commands of a command file, in order.  Each line (LF ends it and is
// dropped; a last line without LF counts too) becomes ESC, the line's bytes
// and CR; a CR that already ends the line is that CR.  A line too long for
// one command is sent as several: each holds as many bytes as fit, and the
// next goes on with the byte that did not, so no byte of the file is lost.
// Empty lines give a bare ESC CR unless `skipEmpty` (the network monitor
// leaves them out).
std::vector<std::string> commandFileCommands(const uint8_t *data, size_t size, bool skipEmpty = false);

}  // namespace card::interception
