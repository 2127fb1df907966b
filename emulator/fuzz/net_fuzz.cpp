// libFuzzer entry: arbitrary bytes into the network interface's SNMP agent
// and web server parsers.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "emulator/fuzz/net_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string what;
  if (!cardemu::fuzz::runSnmp(data, size, &what) || !cardemu::fuzz::runHttp(data, size, &what)) {
    std::fprintf(stderr, "bound broken: %s\n", what.c_str());
    std::abort();
  }
  return 0;
}
