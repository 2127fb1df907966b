#include "config/firmware_file.h"

#include <cstdio>
#include <cstring>

namespace card::cfg {

namespace {

// Where the identification bytes sit.  The printer's image carries its
// checksum at 14 and 0xFF at 15, a laminator's the other way round; the
// laminator's second layout fills both with 0xFF and names itself by a tag
// at 277, with its checksum at 275.
constexpr size_t kPrinterChecksumAt = 14;
constexpr size_t kLaminatorChecksumAt = 15;
constexpr size_t kSecondLayoutChecksumAt = 275;
constexpr size_t kSecondLayoutTagAt = 277;
constexpr char kSecondLayoutTag[] = "LLX3";
constexpr size_t kSecondLayoutTagBytes = sizeof kSecondLayoutTag - 1;
constexpr uint8_t kUnused = 0xFF;

static_assert(kSecondLayoutTagAt + kSecondLayoutTagBytes <= kFirmwareIdentBytes);

}  // namespace

FirmwareIdentity identifyFirmware(const uint8_t *bytes, size_t size) {
  FirmwareIdentity id;
  // A file too short to hold the two checksum bytes is no firmware image.
  if (!bytes || size <= kLaminatorChecksumAt) return id;
  const uint8_t printer = bytes[kPrinterChecksumAt], laminator = bytes[kLaminatorChecksumAt];
  if (printer != kUnused && laminator == kUnused) {
    id.type = FirmwareType::Printer;
    id.checksum = printer;
  } else if (printer == kUnused && laminator != kUnused) {
    id.type = FirmwareType::Laminator;
    id.checksum = laminator;
  } else if (size >= kSecondLayoutTagAt + kSecondLayoutTagBytes &&
             std::memcmp(bytes + kSecondLayoutTagAt, kSecondLayoutTag, kSecondLayoutTagBytes) == 0) {
    id.type = FirmwareType::Laminator;
    id.checksum = bytes[kSecondLayoutChecksumAt];
  }
  return id;
}

std::string firmwareTypeText(FirmwareType type) {
  switch (type) {
    case FirmwareType::Printer: return "Printer F/W";
    case FirmwareType::Laminator: return "Laminator F/W";
    case FirmwareType::Unknown: break;
  }
  return {};
}

std::string firmwareChecksumText(uint8_t checksum) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%XFF", unsigned(checksum));
  return text;
}

std::array<uint8_t, 8> firmwareImageHeader(uint32_t size) {
  return {0x1B, 'D', 'C', ' ', uint8_t(size >> 24), uint8_t(size >> 16), uint8_t(size >> 8), uint8_t(size)};
}

}  // namespace card::cfg
