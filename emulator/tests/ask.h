// What the emulator's tests ask the printer: a command followed by the
// error report request, and the answer taken whole.  Shared by the printer's
// tests and the monitor cases.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "emulator/include/cardemu/printer.h"
#include "emulator/tests/streams.h"

namespace streams {

inline const std::string kStatus = esc("E 2");
inline const std::string kAckOnly = "\x06";

inline std::string ask(cardemu::Printer &p, const std::string &command) {
  p.readAll();
  EXPECT_EQ(p.write(command + kStatus), static_cast<long>(command.size() + kStatus.size()));
  return p.readAll();
}

}  // namespace streams
