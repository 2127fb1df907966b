// What a firmware file is, from its identification bytes, and the frame a
// firmware image travels in.  Pure rules, shared by the firmware page and
// cardtool.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace card::cfg {

// Bytes of a file that identify it (the laminator tag ends at 281).
inline constexpr size_t kFirmwareIdentBytes = 281;

enum class FirmwareType { Unknown, Printer, Laminator };
struct FirmwareIdentity {
  FirmwareType type = FirmwareType::Unknown;
  uint8_t checksum = 0;
};
// The type and checksum of a firmware file from its first bytes (fewer than
// kFirmwareIdentBytes when the file is shorter).  Unknown: the file is refused.
FirmwareIdentity identifyFirmware(const uint8_t *bytes, size_t size);

// "Printer F/W" or "Laminator F/W" (empty for Unknown).
std::string firmwareTypeText(FirmwareType type);
// "0x3AFF" for 0x3A.
std::string firmwareChecksumText(uint8_t checksum);

// The frame's first 8 bytes: "\eDC " and the size, most significant first.
std::array<uint8_t, 8> firmwareImageHeader(uint32_t size);
// Its last 2: the end marker and CR.
inline constexpr std::array<uint8_t, 2> kFirmwareImageTrailer = {0xFF, 0x0D};

}  // namespace card::cfg
