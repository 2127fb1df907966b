// CRC-32 (the reflected 0xEDB88320 polynomial, as zip and Ethernet use it),
// kept running over data that comes in pieces.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cardemu {

// Start with kCrc32Start, feed each piece, and the checksum of everything fed
// so far is ~state.
constexpr uint32_t kCrc32Start = 0xFFFFFFFFu;
uint32_t crc32Update(uint32_t state, const uint8_t *bytes, size_t count);

}  // namespace cardemu
