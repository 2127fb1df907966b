#include "shared/firmware_image.h"

#include <algorithm>
#include <memory>
#include <new>

namespace card::interception {

void firmwareSizeBytes(uint32_t size, uint8_t out[4]) {
  for (int i = 0; i < 4; ++i) out[i] = uint8_t(size >> (24 - 8 * i));
}

FirmwareResult sendFirmwareImage(uint64_t size, size_t chunk, FirmwareLink &link) {
  if (size > kMaxFirmwareBytes) return FirmwareResult::TooLarge;
  if (chunk == 0) chunk = kUsbFirmwareChunk;
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[chunk]);
  if (!buffer) return FirmwareResult::ReadFailed;
  if (!link.send(reinterpret_cast<const uint8_t *>(kFirmwareHeader.data()), kFirmwareHeader.size()))
    return FirmwareResult::WriteFailed;
  uint8_t sizeBytes[4];
  firmwareSizeBytes(uint32_t(size), sizeBytes);
  for (uint8_t b : sizeBytes)
    if (!link.send(&b, 1)) return FirmwareResult::WriteFailed;
  uint64_t left = size;
  while (left > 0) {
    long n = link.readImage(buffer.get(), size_t(std::min<uint64_t>(chunk, left)));
    if (n <= 0) return FirmwareResult::ReadFailed;
    if (!link.send(buffer.get(), size_t(n))) return FirmwareResult::WriteFailed;
    left -= uint64_t(n);
  }
  if (!link.send(&kFirmwareEndMarker, 1)) return FirmwareResult::WriteFailed;
  if (!link.send(&kFirmwareTerminator, 1)) return FirmwareResult::TerminatorFailed;
  return FirmwareResult::Sent;
}

}  // namespace card::interception
