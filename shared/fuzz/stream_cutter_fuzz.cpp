// libFuzzer entry for the job stream cutter: the input's first four bytes
// choose how the stream after them is cut into spooler buffers.
#include <cstdio>
#include <cstdlib>

#include "shared/fuzz/stream_cutter_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  size_t where = 0;
  if (const char *broken = card::pacing::check::CheckStreamCutterInput(data, size, &where)) {
    std::fprintf(stderr, "stream cutter: %s (stream offset %zu)\n", broken, where);
    std::abort();
  }
  return 0;
}
