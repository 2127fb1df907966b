#include "netmon/framing.h"

#include <algorithm>

namespace card::net {

std::vector<size_t> frameSizes(size_t length) {
  std::vector<size_t> sizes;
  for (size_t done = 0; done < length;) {
    size_t n = std::min(length - done, kMaxFramePayload);
    sizes.push_back(n);
    done += n;
  }
  return sizes;
}

void appendFrame(std::vector<uint8_t> &out, const uint8_t *data, size_t length) {
  if (length > kMaxFramePayload) length = kMaxFramePayload;
  uint32_t n = static_cast<uint32_t>(length);
  out.push_back(static_cast<uint8_t>(n >> 24));
  out.push_back(static_cast<uint8_t>(n >> 16));
  out.push_back(static_cast<uint8_t>(n >> 8));
  out.push_back(static_cast<uint8_t>(n));
  if (length) out.insert(out.end(), data, data + length);
}

std::vector<std::vector<uint8_t>> frameBuffer(const uint8_t *data, size_t length) {
  std::vector<std::vector<uint8_t>> frames;
  if (!data) return frames;
  size_t offset = 0;
  for (size_t n : frameSizes(length)) {
    std::vector<uint8_t> f;
    f.reserve(kFrameHeaderBytes + n);
    appendFrame(f, data + offset, n);
    frames.push_back(std::move(f));
    offset += n;
  }
  return frames;
}

}  // namespace card::net
