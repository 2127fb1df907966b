#include "config/firmware_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace card::cfg {
namespace {

// A file of `size` bytes of 0x11 with the two checksum bytes set.
std::vector<uint8_t> image(size_t size, uint8_t at14, uint8_t at15) {
  std::vector<uint8_t> bytes(size, 0x11);
  if (size > 14) bytes[14] = at14;
  if (size > 15) bytes[15] = at15;
  return bytes;
}

void tagSecondLayout(std::vector<uint8_t> &bytes, uint8_t checksum, const char *tag = "LLX3") {
  bytes[275] = checksum;
  std::memcpy(&bytes[277], tag, 4);
}

TEST(FirmwareFile, ChecksumBytesTellPrinterFromLaminator) {
  auto printer = image(kFirmwareIdentBytes, 0x3A, 0xFF);
  FirmwareIdentity id = identifyFirmware(printer.data(), printer.size());
  EXPECT_EQ(id.type, FirmwareType::Printer);
  EXPECT_EQ(firmwareTypeText(id.type), "Printer F/W");
  EXPECT_EQ(firmwareChecksumText(id.checksum), "0x3AFF");

  auto laminator = image(kFirmwareIdentBytes, 0xFF, 0x5C);
  id = identifyFirmware(laminator.data(), laminator.size());
  EXPECT_EQ(id.type, FirmwareType::Laminator);
  EXPECT_EQ(firmwareTypeText(id.type), "Laminator F/W");
  EXPECT_EQ(firmwareChecksumText(id.checksum), "0x5CFF");

  // The layouts' tag does not override the checksum bytes.
  tagSecondLayout(printer, 0x77);
  id = identifyFirmware(printer.data(), printer.size());
  EXPECT_EQ(id.type, FirmwareType::Printer);
  EXPECT_EQ(id.checksum, 0x3A);

  // Upper-case hexadecimal, no leading zero.
  EXPECT_EQ(firmwareChecksumText(0xAB), "0xABFF");
  EXPECT_EQ(firmwareChecksumText(0x05), "0x5FF");
}

TEST(FirmwareFile, SecondLaminatorLayoutByItsTagOnly) {
  for (const auto &[at14, at15] : {std::pair<uint8_t, uint8_t>{0xFF, 0xFF}, {0x12, 0x34}}) {
    auto tagged = image(kFirmwareIdentBytes, at14, at15);
    tagSecondLayout(tagged, 0xC4);
    FirmwareIdentity id = identifyFirmware(tagged.data(), tagged.size());
    EXPECT_EQ(id.type, FirmwareType::Laminator);
    EXPECT_EQ(firmwareChecksumText(id.checksum), "0xC4FF");

    auto untagged = image(kFirmwareIdentBytes, at14, at15);
    tagSecondLayout(untagged, 0xC4, "LLX4");
    id = identifyFirmware(untagged.data(), untagged.size());
    EXPECT_EQ(id.type, FirmwareType::Unknown);
    EXPECT_EQ(firmwareTypeText(id.type), "");
  }
}

TEST(FirmwareFile, ShortFilesAreJudgedByWhatTheyHold) {
  // Too short for the checksum bytes: refused.
  EXPECT_EQ(identifyFirmware(nullptr, 0).type, FirmwareType::Unknown);
  auto tiny = image(15, 0x3A, 0xFF);
  EXPECT_EQ(identifyFirmware(tiny.data(), tiny.size()).type, FirmwareType::Unknown);
  // Sixteen bytes hold both checksum bytes.
  auto small = image(16, 0x3A, 0xFF);
  EXPECT_EQ(identifyFirmware(small.data(), small.size()).type, FirmwareType::Printer);
  // Both 0xFF and the file ends before the tag is complete: refused.
  auto cut = image(kFirmwareIdentBytes, 0xFF, 0xFF);
  tagSecondLayout(cut, 0xC4);
  EXPECT_EQ(identifyFirmware(cut.data(), 280).type, FirmwareType::Unknown);
  EXPECT_EQ(identifyFirmware(cut.data(), 281).type, FirmwareType::Laminator);
}

TEST(FirmwareFile, FrameHeaderCarriesTheSizeMostSignificantFirst) {
  const std::array<uint8_t, 8> million = {0x1B, 'D', 'C', ' ', 0x00, 0x0F, 0x42, 0x40};
  EXPECT_EQ(firmwareImageHeader(1000000), million);
  const std::array<uint8_t, 8> odd = {0x1B, 'D', 'C', ' ', 0x00, 0x01, 0x23, 0x45};
  EXPECT_EQ(firmwareImageHeader(0x012345), odd);
  const std::array<uint8_t, 2> trailer = {0xFF, 0x0D};
  EXPECT_EQ(kFirmwareImageTrailer, trailer);
}

}  // namespace
}  // namespace card::cfg
