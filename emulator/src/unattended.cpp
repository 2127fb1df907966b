#include "emulator/include/cardemu/unattended.h"

namespace cardemu {

bool UnattendedRun::Fail(const std::string &why) {
  if (problem_.empty()) problem_ = why + " at stream offset " + std::to_string(fed_);
  return false;
}

bool UnattendedRun::ClearError() {
  // Each clear runs what was held behind the error, up to the next command
  // that fails; so every round must leave fewer commands held.
  while (printer_.Error() != 0) {
    const size_t held = printer_.State().heldCommands;
    ++cleared_;
    printer_.ForceClear();
    if (printer_.Error() != 0 && printer_.State().heldCommands >= held)
      return Fail("the printer stays in error " + std::to_string(printer_.Error()));
  }
  return true;
}

bool UnattendedRun::Feed(const uint8_t *bytes, size_t count) {
  if (!problem_.empty()) return false;
  if (printer_.Config().receiveLimit != 0) return Fail("the printer holds commands behind an error");
  size_t done = 0;
  while (done < count) {
    const long taken = printer_.Write(bytes + done, count - done);
    if (taken < 0) return Fail("the printer was disconnected");
    done += static_cast<size_t>(taken);
    fed_ += static_cast<uint64_t>(taken);
    if (printer_.Error() != 0) {
      if (!ClearError()) return false;
    } else if (taken == 0) {
      return Fail("the printer took no more bytes");
    }
  }
  return true;
}

bool UnattendedRun::Finish() {
  if (!problem_.empty()) return false;
  printer_.Finish();
  if (!ClearError()) return false;
  if (printer_.State().heldCommands != 0) return Fail("commands are still held");
  return true;
}

}  // namespace cardemu
