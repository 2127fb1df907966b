// libFuzzer entry for the driver's readers of outside input.
#include "render/fuzz/input_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  card::exerciseDriverInputs(data, size);
  return 0;
}
