#include "emulator/src/crc32.h"

#include <array>

namespace cardemu {

namespace {

std::array<uint32_t, 256> makeTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

}  // namespace

uint32_t crc32Update(uint32_t state, const uint8_t *bytes, size_t count) {
  static const std::array<uint32_t, 256> table = makeTable();
  for (size_t i = 0; i < count; ++i) state = table[(state ^ bytes[i]) & 0xFF] ^ (state >> 8);
  return state;
}

}  // namespace cardemu
