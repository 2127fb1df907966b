// The ribbon check at job start, on the port's own query path.
#include "usbmon/ribbon_check.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "shared/ribbon_cache.h"
#include "shared/status_commands.h"
#include "shared/status_protocol.h"

namespace card::usb {

namespace {

// Reply buffers of the three queries.
constexpr size_t kRibbonReplyBytes = 32;
constexpr size_t kModelReplyBytes = 32;
constexpr size_t kLengthReplyBytes = 120;
// The model text is cut to what the reader of the cache file takes.
constexpr size_t kMaxModelChars = 31;
// While no ribbon is loaded the printer is asked again this often.
constexpr DWORD kRibbonPollMs = 1000;

// The ribbon code of an ACK-terminated "\e!RIBBON\r" reply; false without one.
bool queryRibbon(PortServices &port, long &code) {
  uint8_t reply[kRibbonReplyBytes];
  size_t length = 0;
  if (!port.query(status::kCmdRibbon, reply, sizeof reply, length)) return false;
  status::ValueNumber v = status::readValueNumber(reply, length);
  if (!v.acked) return false;
  code = v.value;
  return true;
}

// Waits with the no-ribbon message until a ribbon is reported or the user
// dismisses the message; the last code read.
long waitForRibbon(PortServices &port) {
  std::unique_ptr<MessageTask> task = port.startMessageTask(status::msg::kUsbNoRibbon);
  // Without the message nobody could end the wait: the job goes on as with
  // a dismissed message.
  if (!task) return 0;
  long code = 0;
  while (code == 0) {
    if (task->waitDismissed(kRibbonPollMs)) break;
    long now = 0;
    if (queryRibbon(port, now)) code = now;
  }
  task->close();
  return code;
}

}  // namespace

bool checkRibbon(PortServices &port) {
  long code = 0;
  if (!queryRibbon(port, code)) return false;
  char model[kMaxModelChars + 1] = {};
  uint8_t reply[kModelReplyBytes];
  size_t length = 0;
  if (port.query(status::kCmdVersion, reply, sizeof reply, length)) {
    status::ValueText text = status::readValueText(reply, length);
    if (text.acked) std::memcpy(model, text.text, std::min(text.length, kMaxModelChars));
  }
  writeRibbonCacheFile(port, code, model);
  if (code == 0) {
    code = waitForRibbon(port);
    writeRibbonCacheFile(port, code, model);
  }
  return ribbonWithoutCount(code);
}

bool checkRemainingRibbon(PortServices &port) {
  uint8_t reply[kLengthReplyBytes];
  size_t length = 0;
  if (!port.query(status::kCmdRibbonLength, reply, sizeof reply, length) || length == 0) return false;
  if (lowRibbonAlert(status::readLeadingNumber(reply, length))) port.startLowRibbonAlert();
  return true;
}

}  // namespace card::usb
