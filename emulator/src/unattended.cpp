#include "emulator/include/cardemu/unattended.h"

namespace cardemu {

bool UnattendedRun::fail(const std::string &why) {
  if (problem_.empty()) problem_ = why + " at stream offset " + std::to_string(fed_);
  return false;
}

bool UnattendedRun::clearError() {
  // Each clear runs what was held behind the error, up to the next command
  // that fails; so every round must leave fewer commands held.
  while (printer_.error() != 0) {
    const size_t held = printer_.state().heldCommands;
    ++cleared_;
    printer_.forceClear();
    if (printer_.error() != 0 && printer_.state().heldCommands >= held)
      return fail("the printer stays in error " + std::to_string(printer_.error()));
  }
  return true;
}

bool UnattendedRun::feed(const uint8_t *bytes, size_t count) {
  if (!problem_.empty()) return false;
  if (printer_.config().receiveLimit != 0) return fail("the printer holds commands behind an error");
  size_t done = 0;
  while (done < count) {
    const long taken = printer_.write(bytes + done, count - done);
    if (taken < 0) return fail("the printer was disconnected");
    done += static_cast<size_t>(taken);
    fed_ += static_cast<uint64_t>(taken);
    if (printer_.error() != 0) {
      if (!clearError()) return false;
    } else if (taken == 0) {
      return fail("the printer took no more bytes");
    }
  }
  return true;
}

bool UnattendedRun::finish() {
  if (!problem_.empty()) return false;
  printer_.finish();
  if (!clearError()) return false;
  if (printer_.state().heldCommands != 0) return fail("commands are still held");
  return true;
}

}  // namespace cardemu
