// The firmware image framing, piece by piece.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "usbmon/firmware.h"

namespace card::usb {
namespace {

class RecordingLink : public FirmwareLink {
 public:
  explicit RecordingLink(size_t imageSize) : available(imageSize) {}
  long readImage(uint8_t *out, size_t capacity) override {
    ++reads;
    if (failRead) return -1;
    size_t n = std::min(capacity, available - given);
    for (size_t i = 0; i < n; ++i) out[i] = uint8_t(given + i);
    given += n;
    return long(n);
  }
  bool send(const uint8_t *data, size_t size) override {
    if (sendsLeft == 0) return false;
    if (sendsLeft > 0) --sendsLeft;
    pieces.emplace_back(data, data + size);
    return true;
  }
  size_t available;
  size_t given = 0;
  int reads = 0;
  bool failRead = false;
  long sendsLeft = -1;
  std::vector<std::vector<uint8_t>> pieces;
};

using Piece = std::vector<uint8_t>;

TEST(FirmwareFraming, HeaderSizeBytesChunksEndMarkerAndCr) {
  RecordingLink link(0x012345);
  ASSERT_EQ(sendFirmwareImage(0x012345, kUsbFirmwareChunk, link), FirmwareResult::Sent);
  ASSERT_GE(link.pieces.size(), 7u);
  EXPECT_EQ(link.pieces[0], (Piece{0x1B, 'D', 'C', ' '}));
  // The size, most significant byte first, each byte its own write.
  EXPECT_EQ(link.pieces[1], Piece{0x00});
  EXPECT_EQ(link.pieces[2], Piece{0x01});
  EXPECT_EQ(link.pieces[3], Piece{0x23});
  EXPECT_EQ(link.pieces[4], Piece{0x45});
  // 0x12345 bytes in chunks of 4096: 18 whole ones and 0x345 left.
  size_t chunks = link.pieces.size() - 7;
  EXPECT_EQ(chunks, 19u);
  size_t total = 0;
  for (size_t i = 5; i < 5 + chunks; ++i) {
    EXPECT_EQ(link.pieces[i].size(), i + 1 < 5 + chunks ? 4096u : 0x345u);
    for (size_t k = 0; k < link.pieces[i].size(); ++k) ASSERT_EQ(link.pieces[i][k], uint8_t(total + k));
    total += link.pieces[i].size();
  }
  EXPECT_EQ(total, 0x012345u);
  EXPECT_EQ(link.pieces[link.pieces.size() - 2], Piece{0xFF});
  EXPECT_EQ(link.pieces.back(), Piece{0x0D});
}

TEST(FirmwareFraming, NetworkChunksAndAnEmptyImage) {
  RecordingLink net(0x012345);
  ASSERT_EQ(sendFirmwareImage(0x012345, kNetFirmwareChunk, net), FirmwareResult::Sent);
  ASSERT_EQ(net.pieces.size(), 5u + 2u + 2u);
  EXPECT_EQ(net.pieces[5].size(), 65536u);
  EXPECT_EQ(net.pieces[6].size(), 0x012345u - 65536u);
  RecordingLink empty(0);
  ASSERT_EQ(sendFirmwareImage(0, kUsbFirmwareChunk, empty), FirmwareResult::Sent);
  EXPECT_EQ(empty.pieces, (std::vector<Piece>{{0x1B, 'D', 'C', ' '}, {0}, {0}, {0}, {0}, {0xFF}, {0x0D}}));
  EXPECT_EQ(empty.reads, 0);
}

TEST(FirmwareFraming, FailuresStopTheImageWithoutItsEnd) {
  // An image shorter than its size field promised: the end marker is not sent.
  RecordingLink shortImage(5000);
  EXPECT_EQ(sendFirmwareImage(6000, kUsbFirmwareChunk, shortImage), FirmwareResult::ReadFailed);
  EXPECT_NE(shortImage.pieces.back(), Piece{0x0D});
  RecordingLink badRead(100);
  badRead.failRead = true;
  EXPECT_EQ(sendFirmwareImage(100, kUsbFirmwareChunk, badRead), FirmwareResult::ReadFailed);
  EXPECT_EQ(badRead.pieces.size(), 5u);
  // A refused header: nothing is read.
  RecordingLink refused(100);
  refused.sendsLeft = 0;
  EXPECT_EQ(sendFirmwareImage(100, kUsbFirmwareChunk, refused), FirmwareResult::WriteFailed);
  EXPECT_EQ(refused.reads, 0);
  // A size the four bytes cannot hold: nothing is sent.
  RecordingLink huge(0);
  EXPECT_EQ(sendFirmwareImage(0x100000000ull, kUsbFirmwareChunk, huge), FirmwareResult::TooLarge);
  EXPECT_TRUE(huge.pieces.empty());
  // A file longer than its size is sent only up to it.
  RecordingLink longer(10000);
  ASSERT_EQ(sendFirmwareImage(4100, kUsbFirmwareChunk, longer), FirmwareResult::Sent);
  EXPECT_EQ(longer.given, 4100u);
}

}  // namespace
}  // namespace card::usb
