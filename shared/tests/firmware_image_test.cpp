// The firmware framing when the image or the link fails.
#include <gtest/gtest.h>

#include <string>

#include "shared/firmware_image.h"

namespace card::interception {
namespace {

struct Link : FirmwareLink {
  long readImage(uint8_t *, size_t capacity) override {
    if (failRead) return -1;
    size_t n = std::min(capacity, image - given);
    given += n;
    return long(n);
  }
  bool send(const uint8_t *data, size_t size) override {
    if (sendsLeft-- == 0) return false;
    sent.append(reinterpret_cast<const char *>(data), size);
    return true;
  }
  size_t image = 0, given = 0;
  bool failRead = false;
  long sendsLeft = -1;
  std::string sent;
};

TEST(Firmware, FailuresEndTheImageWithoutItsEndMarker) {
  Link empty;
  ASSERT_EQ(sendFirmwareImage(0, kUsbFirmwareChunk, empty), FirmwareResult::Sent);
  EXPECT_EQ(empty.sent, std::string("\033DC \0\0\0\0\xFF\r", 10));
  // Shorter than the size field promised: the printer would wait for more.
  Link shorter;
  shorter.image = 5000;
  EXPECT_EQ(sendFirmwareImage(6000, kUsbFirmwareChunk, shorter), FirmwareResult::ReadFailed);
  EXPECT_EQ(shorter.sent.size(), 8u + 5000u);
  Link unreadable;
  unreadable.failRead = true;
  EXPECT_EQ(sendFirmwareImage(100, kNetFirmwareChunk, unreadable), FirmwareResult::ReadFailed);
  Link refused;
  refused.sendsLeft = 0;
  EXPECT_EQ(sendFirmwareImage(100, kUsbFirmwareChunk, refused), FirmwareResult::WriteFailed);
  EXPECT_EQ(refused.given, 0u);
  // Header, four size bytes, one chunk, end marker: the sixth send is the
  // end marker, the seventh the CR.
  Link noMarker;
  noMarker.image = 100;
  noMarker.sendsLeft = 6;
  EXPECT_EQ(sendFirmwareImage(100, kUsbFirmwareChunk, noMarker), FirmwareResult::WriteFailed);
  Link noCr;
  noCr.image = 100;
  noCr.sendsLeft = 7;
  EXPECT_EQ(sendFirmwareImage(100, kUsbFirmwareChunk, noCr), FirmwareResult::TerminatorFailed);
  EXPECT_EQ(noCr.sent.size(), 8u + 100u + 1u);
  EXPECT_EQ(noCr.sent.back(), '\xFF');
  // Four size bytes hold no more than 0xFFFFFFFF.
  Link huge;
  EXPECT_EQ(sendFirmwareImage(0x100000000ull, kUsbFirmwareChunk, huge), FirmwareResult::TooLarge);
  EXPECT_TRUE(huge.sent.empty());
}

}  // namespace
}  // namespace card::interception
