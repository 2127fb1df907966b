// libFuzzer entry for the printer reply readers.
#include <cstdlib>

#include "shared/fuzz/status_reply_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const char *what = nullptr;
  if (!card::status::CheckReplyReaders(data, size, &what)) std::abort();
  return 0;
}
