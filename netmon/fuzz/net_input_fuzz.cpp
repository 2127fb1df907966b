// libFuzzer entry for what the network monitor's core reads from outside:
// status channel replies, SNMP replies and transceive inputs.
#include <cstdio>
#include <cstdlib>

#include "netmon/fuzz/net_input_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (const char *broken = card::net::fuzz::checkNetInput(data, size)) {
    std::fprintf(stderr, "netmon: %s\n", broken);
    std::abort();
  }
  return 0;
}
