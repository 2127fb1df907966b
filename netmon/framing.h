// The data channel's framing: every message goes out as a 4-byte big-endian
// length followed by its bytes, and no single send carries more than
// kMaxFramePayload bytes, so a longer buffer leaves as consecutive frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace card::net {

inline constexpr size_t kFrameHeaderBytes = 4;
inline constexpr size_t kMaxFramePayload = 65536;

// The payload sizes of the frames a buffer of `length` bytes is cut into.
// An empty buffer is sent as no frame at all.
std::vector<size_t> frameSizes(size_t length);

// Appends one frame (header and payload) to `out`; `length` must not exceed
// kMaxFramePayload.
void appendFrame(std::vector<uint8_t> &out, const uint8_t *data, size_t length);

// Every frame of a buffer, one element per send.
std::vector<std::vector<uint8_t>> frameBuffer(const uint8_t *data, size_t length);

}  // namespace card::net
