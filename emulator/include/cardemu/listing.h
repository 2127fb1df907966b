// Readable lines for the commands of a stream: the command text with ESC and
// CR spelled out, image and firmware data summarised, and the outcome.
#pragma once

#include <string>

#include "emulator/include/cardemu/parser.h"
#include "emulator/include/cardemu/printer.h"

namespace cardemu {

// "\eIS 0\r" style text of a command (image data summarised).
std::string describeCommand(const Command &command);
// One listing line: offset, command, outcome.
std::string listingLine(const CommandRecord &record);
// Bytes with control characters shown as \e, \r, <ACK> ...
std::string printable(const std::string &bytes);

}  // namespace cardemu
