// libFuzzer entry for the monitor's decisions on outside input.
#include <cstdio>
#include <cstdlib>

#include "usbmon/fuzz/monitor_input_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (const char *broken = card::usb::fuzz::checkMonitorInput(data, size)) {
    std::fprintf(stderr, "usbmon: %s\n", broken);
    std::abort();
  }
  return 0;
}
