// A captured stream run through the printer with nobody standing at it, as
// the decoder and the demo run a job: every error the stream raises is left
// for the listing (the command listener sees the failed command with its
// error) and cleared at once, the failed command is given up, and the stream
// goes on with the next command.  So every command runs, in stream order,
// whatever the size of the pieces the stream arrives in, and a stream that
// cannot be run to its end says so instead of losing its tail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "emulator/include/cardemu/printer.h"

namespace cardemu {

class UnattendedRun {
 public:
  // The printer must be made with PrinterConfig::receiveLimit 0: it then
  // stops taking bytes right after the command that failed, instead of
  // holding the commands behind it while immediate commands (a reset drops
  // what is held) overtake them.
  explicit UnattendedRun(Printer &printer) : printer_(printer) {}

  // Runs all of bytes.  False when the printer stops taking them (it was
  // disconnected or stalled, or it holds commands back): problem() says
  // where and why, and the rest of the stream is not run.
  bool feed(const uint8_t *bytes, size_t count);
  // End of the stream: a command cut by the end is run (and reported as cut)
  // and nothing may be left held.  False as Feed.
  bool finish();

  uint64_t bytesRun() const { return fed_; }
  uint64_t errorsCleared() const { return cleared_; }
  const std::string &problem() const { return problem_; }

 private:
  bool fail(const std::string &why);
  bool clearError();

  Printer &printer_;
  uint64_t fed_ = 0;
  uint64_t cleared_ = 0;
  std::string problem_;
};

}  // namespace cardemu
