// Random input for every reader of outside data, from fixed starting values: no read or
// write outside what was given (the sanitizer build checks), and the bounds of
// every slot and track hold.
#include <gtest/gtest.h>

#include <random>

#include "render/fuzz/input_harness.h"

namespace {

TEST(DriverInputs, RandomBytesStayInBounds) {
  std::mt19937 rng(20261207);
  const uint8_t interesting[] = {0x45, 0x5A, 0xD4, 0x00, 0x5B, '~', '1', '%', '?',  'R',  'i', 'b',
                                 'o',  'n',  '=',  '\r', 0x06, ' ', 'B', 'M', 0x01, 0x28, 0xFF};
  for (int round = 0; round < 2000; ++round) {
    std::vector<uint8_t> data(rng() % 5000);
    for (auto &b : data) b = (rng() % 3) ? interesting[rng() % sizeof interesting] : uint8_t(rng());
    if (data.size() > 72 && round % 2) {
      // A DEVMODE header that claims sizes around the real ones.
      uint16_t size = uint16_t(200 + rng() % 40), extra = uint16_t(rng() % 5000);
      std::memcpy(&data[68], &size, 2);
      std::memcpy(&data[70], &extra, 2);
    }
    card::exerciseDriverInputs(data.data(), data.size());
  }
  SUCCEED();
}

}  // namespace
