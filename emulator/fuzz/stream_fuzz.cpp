// libFuzzer entry: arbitrary bytes into the emulated printer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "emulator/fuzz/stream_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string what;
  if (!cardemu::fuzz::runStream(data, size, &what) || !cardemu::fuzz::runUnattended(data, size, &what)) {
    std::fprintf(stderr, "bound broken: %s\n", what.c_str());
    std::abort();
  }
  return 0;
}
