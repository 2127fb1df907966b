// Plane and bitmap encoding: the line format and the scan orders in which the
// printer expects the card, for both page orientations, rotated or not.
#include <gtest/gtest.h>

#include <vector>

#include "render/encode.h"
#include "shared/query_command.h"

namespace {

using namespace card;

struct Surface {
  int w, h;
  long stride;
  std::vector<uint8_t> bits;
  Surface(int width, int height, int bpp, uint8_t fill)
      : w(width), h(height), stride(((long(width) * bpp + 31) / 32) * 4), bits(size_t(stride) * height, fill) {}
  SurfaceBits view() { return SurfaceBits{bits.data(), stride, w, h}; }
  void rgb(int x, int y, uint8_t r, uint8_t g, uint8_t b) {
    uint8_t *p = &bits[size_t(y) * stride + 3 * x];
    p[0] = b;
    p[1] = g;
    p[2] = r;
  }
  void blackDot(int x, int y) { bits[size_t(y) * stride + x / 8] &= uint8_t(~(0x80 >> (x % 8))); }
};

// 5-bit value of a dot in an encoded plane.
unsigned planeValue(const std::vector<uint8_t> &out, int line, int dot) {
  const uint8_t *l = &out[size_t(line) * kPlaneLineBytes];
  unsigned word = (l[2 * (dot / 3)] << 8) | l[2 * (dot / 3) + 1];
  return (word >> (10 - 5 * (dot % 3))) & 31;
}

TEST(PlaneEncoding, WhiteAfterPreparationIsOneInEveryDot) {
  Surface s(1024, 640, 24, 240);
  std::vector<uint8_t> out(kPlaneBytes);
  ASSERT_EQ(encodePlane(s.view(), PlaneChannel::Yellow, false, out.data(), out.size()), kPlaneBytes);
  for (int line = 0; line < 1024; line += 341) {
    const uint8_t *l = &out[size_t(line) * kPlaneLineBytes];
    for (int w = 0; w < 213; ++w) {
      ASSERT_EQ(l[2 * w], 0x04);
      ASSERT_EQ(l[2 * w + 1], 0x21);
    }
    EXPECT_EQ(l[426], 0x04);
    EXPECT_EQ(l[427], 0x00);
    for (int z = 428; z < 432; ++z) EXPECT_EQ(l[z], 0);
  }
  EXPECT_EQ(encodePlane(s.view(), PlaneChannel::Yellow, false, out.data(), kPlaneBytes - 1), 0u);
}

TEST(PlaneEncoding, ChannelsOfRedAndDyeBlack) {
  Surface s(640, 1024, 24, 255);
  s.rgb(639, 0, 240, 0, 0);  // prepared red: the first dot of the first line
  std::vector<uint8_t> out(kPlaneBytes);
  encodePlane(s.view(), PlaneChannel::Yellow, false, out.data(), out.size());
  EXPECT_EQ(planeValue(out, 0, 0), 31u);
  encodePlane(s.view(), PlaneChannel::Magenta, false, out.data(), out.size());
  EXPECT_EQ(planeValue(out, 0, 0), 31u);
  encodePlane(s.view(), PlaneChannel::Cyan, false, out.data(), out.size());
  EXPECT_EQ(planeValue(out, 0, 0), 1u);
  EXPECT_EQ(planeValue(out, 0, 1), 0u);  // white
  // Dye black: (59 x 255 + 11 x 255 + 30 x 15) / 100 = 183, >> 3 = 22.
  encodePlane(s.view(), PlaneChannel::DyeBlack, false, out.data(), out.size());
  EXPECT_EQ(planeValue(out, 0, 0), 22u);
}

TEST(PlaneEncoding, ScanOrderOfEachOrientation) {
  struct Case {
    int w, h;
    bool rotated;
    int line, dot;  // where the dot at (x = 10, y = 3) lands
  } cases[] = {
      {640, 1024, false, 3, 639 - 10},
      {640, 1024, true, 1023 - 3, 10},
      {1024, 640, false, 10, 3},
      {1024, 640, true, 1023 - 10, 639 - 3},
  };
  for (const auto &c : cases) {
    Surface s(c.w, c.h, 24, 255);
    s.rgb(10, 3, 255, 255, 0);  // yellow
    std::vector<uint8_t> out(kPlaneBytes);
    ASSERT_EQ(encodePlane(s.view(), PlaneChannel::Yellow, c.rotated, out.data(), out.size()), kPlaneBytes);
    EXPECT_EQ(planeValue(out, c.line, c.dot), 31u) << c.w << (c.rotated ? " rotated" : "");
    unsigned total = 0;
    for (int line = 0; line < 1024; ++line)
      for (int dot = 0; dot < 640; ++dot) total += planeValue(out, line, dot);
    EXPECT_EQ(total, 31u);
  }
}

bool printBit(const std::vector<uint8_t> &undoubled, int line, int dot) {
  return (undoubled[size_t(line) * 80 + dot / 8] >> (7 - dot % 8)) & 1;
}

std::vector<uint8_t> undouble(const std::vector<uint8_t> &out, size_t n) {
  std::vector<uint8_t> r;
  for (size_t i = 0; i + 1 < n; ++i) {
    r.push_back(out[i]);
    if (out[i] == 0x5B) ++i;
  }
  EXPECT_EQ(out[n - 1], '\r');
  return r;
}

TEST(BitmapEncoding, InversionDoublingAndCr) {
  Surface s(640, 1024, 1, 0xFF);
  s.bits[0] = 0x00;  // eight black dots: printed as 0xFF
  s.bits[1] = 0xA4;  // inverted 0x5B: doubled
  std::vector<uint8_t> out(kBitmapMaxEncoded);
  size_t n = encodeBlack(s.view(), true, out.data(), out.size());  // rotated portrait: bytes as stored
  ASSERT_EQ(n, kBitmapBytes + 1 + 1);
  EXPECT_EQ(out[0], 0xFF);
  EXPECT_EQ(out[1], 0x5B);
  EXPECT_EQ(out[2], 0x5B);
  EXPECT_EQ(out[3], 0x00);
  EXPECT_EQ(out[n - 1], '\r');
  EXPECT_TRUE(hasBlack(s.view()));
  Surface white(1024, 640, 1, 0xFF);
  EXPECT_FALSE(hasBlack(white.view()));
  EXPECT_EQ(encodeBlack(white.view(), false, out.data(), kBitmapMaxEncoded - 1), 0u);
  // Every byte 0x5B: the worst case fits the bound exactly.
  Surface worst(640, 1024, 1, 0xA4);
  EXPECT_EQ(encodeBlack(worst.view(), true, out.data(), out.size()), kBitmapMaxEncoded);
}

TEST(BitmapEncoding, ScanOrderOfEachOrientation) {
  struct Case {
    int w, h;
    bool rotated;
    int line, dot;  // where the black dot at (x = 10, y = 3) lands
  } cases[] = {
      {640, 1024, false, 1023 - 3, 639 - 10},
      {640, 1024, true, 3, 10},
      {1024, 640, false, 1023 - 10, 3},
      {1024, 640, true, 10, 639 - 3},
  };
  for (const auto &c : cases) {
    Surface s(c.w, c.h, 1, 0xFF);
    s.blackDot(10, 3);
    std::vector<uint8_t> out(kBitmapMaxEncoded);
    size_t n = encodeBlack(s.view(), c.rotated, out.data(), out.size());
    std::vector<uint8_t> bits = undouble(out, n);
    ASSERT_EQ(bits.size(), kBitmapBytes);
    EXPECT_TRUE(printBit(bits, c.line, c.dot)) << c.w << (c.rotated ? " rotated" : "");
    int count = 0;
    for (uint8_t b : bits) count += __builtin_popcount(b);
    EXPECT_EQ(count, 1);
  }
}

TEST(QueryCommand, BytesTwoToAUnitAndBack) {
  WCHAR name[64];
  ASSERT_TRUE(encodeQueryCommand("\x1bV\r", 3, name, 64));
  EXPECT_EQ(name[0], 0x561B);
  EXPECT_EQ(name[1], 0x000D);
  EXPECT_EQ(name[2], 0);
  ASSERT_TRUE(encodeQueryCommand("\x1b!RIBBON\r", 9, name, 64));
  char back[32];
  ASSERT_EQ(decodeQueryCommand(name, 64, back, sizeof back), 9u);
  EXPECT_EQ(std::string(back, 9), "\x1b!RIBBON\r");
  ASSERT_TRUE(encodeQueryCommand("AB", 2, name, 2));  // even length: the terminator is a whole unit
  EXPECT_EQ(name[1], 0);
  EXPECT_FALSE(encodeQueryCommand("ABC", 3, name, 1));
  EXPECT_EQ(name[0], 0);
  EXPECT_FALSE(encodeQueryCommand("A\0B", 3, name, 64));
  // Decoding stops at the caller's bounds.
  ASSERT_TRUE(encodeQueryCommand("\x1bSXY 1\r", 7, name, 64));
  EXPECT_EQ(decodeQueryCommand(name, 2, back, sizeof back), 4u);
  EXPECT_EQ(decodeQueryCommand(name, 64, back, 3), 3u);
}

}  // namespace
