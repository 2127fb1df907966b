// Reading BMP files: the layouts cardprint takes, and every header field that
// could send a reader outside the file.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

#include "tools/cardprint/tests/bmp_builder.h"
#include "tools/cardprint/picture.h"

namespace cardprint {
namespace {

using test::BmpShape;
using test::makeBmp;
using test::put16;
using test::put32;

PictureError read(const std::vector<uint8_t> &b, Picture &p) { return readPicture(b.data(), b.size(), p); }

TEST(Picture, PixelsOfEveryDepthInBothRowOrders) {
  // A 5 x 3 picture: odd width, so 24-bit rows carry padding; each pixel's
  // colour tells where it is.
  auto colour = [](int x, int y) { return uint32_t(0x100000 * (x + 1) + 0x000100 * (y + 1) + 0x11); };
  for (int32_t height : {3, -3}) {
    for (uint16_t bits : {24, 32}) {
      BmpShape s;
      s.width = 5;
      s.height = height;
      s.bitCount = bits;
      s.pixel = colour;
      const auto b = makeBmp(s);
      Picture p;
      ASSERT_EQ(read(b, p), PictureError::kNone) << bits << " " << height;
      EXPECT_EQ(p.width, 5);
      EXPECT_EQ(p.height, 3);
      EXPECT_EQ(p.info.bmiHeader.biSize, 40u);
      EXPECT_EQ(p.info.bmiHeader.biHeight, height);
      EXPECT_EQ(p.info.bmiHeader.biCompression, DWORD(BI_RGB));
      EXPECT_EQ(p.bits, b.data() + 54);
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(p.pixel(x, y), colour(x, y)) << x << "," << y;
    }
  }
  // Palette depths: indices into the colour table.
  const std::vector<uint32_t> palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
  for (uint16_t bits : {1, 4, 8}) {
    BmpShape s;
    s.width = 9;
    s.height = 2;
    s.bitCount = bits;
    s.palette.assign(palette.begin(), palette.begin() + (bits == 1 ? 2 : 4));
    const uint32_t top = bits == 1 ? 2 : 4;
    s.pixel = [top](int x, int y) { return uint32_t((x + y) % top); };
    const auto b = makeBmp(s);
    Picture p;
    ASSERT_EQ(read(b, p), PictureError::kNone) << bits;
    EXPECT_EQ(p.info.bmiHeader.biClrUsed, top);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 9; ++x) EXPECT_EQ(p.pixel(x, y), palette[(x + y) % top]) << bits << ": " << x << "," << y;
  }
  // 16 bits: five bits per channel, widened to eight.
  BmpShape s;
  s.width = 2;
  s.height = 1;
  s.bitCount = 16;
  s.pixel = [](int x, int) { return x == 0 ? 0x7C00u : 0x001Fu; };
  const auto b = makeBmp(s);
  Picture p;
  ASSERT_EQ(read(b, p), PictureError::kNone);
  EXPECT_EQ(p.pixel(0, 0), 0xFF0000u);
  EXPECT_EQ(p.pixel(1, 0), 0x0000FFu);
}

TEST(Picture, LongerHeadersAndPlainColourMasks) {
  for (uint32_t header : {52u, 56u, 108u, 124u}) {
    BmpShape s;
    s.headerSize = header;
    s.bitCount = 32;
    s.compression = 3;  // BI_BITFIELDS, masks inside the header
    s.masks = {0x00FF0000, 0x0000FF00, 0x000000FF};
    s.pixel = [](int, int) { return 0x123456u; };
    const auto b = makeBmp(s);
    Picture p;
    ASSERT_EQ(read(b, p), PictureError::kNone) << header;
    EXPECT_EQ(p.info.bmiHeader.biCompression, DWORD(BI_RGB));
    EXPECT_EQ(p.pixel(1, 1), 0x123456u);
  }
  // Masks behind a 40-byte header; the pixels start after them.
  BmpShape s;
  s.bitCount = 16;
  s.compression = 3;
  s.masks = {0x7C00, 0x03E0, 0x001F};
  Picture p;
  auto b = makeBmp(s);
  ASSERT_EQ(read(b, p), PictureError::kNone);
  EXPECT_EQ(p.bits, b.data() + 54 + 12);
  // 5-6-5 needs the masks passed on: not taken.
  s.masks = {0xF800, 0x07E0, 0x001F};
  b = makeBmp(s);
  EXPECT_EQ(read(b, p), PictureError::kCompression);
}

TEST(Picture, RefusesWhatItCannotReadSafely) {
  Picture p;
  const auto good = makeBmp(BmpShape{});
  struct Case {
    const char *what;
    std::function<void(std::vector<uint8_t> &)> damage;
    PictureError expected;
  } cases[] = {
      {"empty", [](auto &b) { b.clear(); }, PictureError::kTooShort},
      {"headers cut", [](auto &b) { b.resize(30); }, PictureError::kTooShort},
      {"not BM", [](auto &b) { b[0] = 'P'; }, PictureError::kNotBmp},
      {"OS/2 header", [](auto &b) { put32(b, 14, 12); }, PictureError::kHeaderSize},
      {"V5 header longer than the file",
       [](auto &b) {
         put32(b, 14, 124);
         b.resize(100);
       },
       PictureError::kTooShort},
      {"two planes", [](auto &b) { put16(b, 26, 2); }, PictureError::kPlanes},
      {"width 0", [](auto &b) { put32(b, 18, 0); }, PictureError::kDimensions},
      {"negative width", [](auto &b) { put32(b, 18, uint32_t(-4)); }, PictureError::kDimensions},
      {"height INT_MIN", [](auto &b) { put32(b, 22, 0x80000000u); }, PictureError::kDimensions},
      {"width beyond the limit", [](auto &b) { put32(b, 18, 16385); }, PictureError::kDimensions},
      {"12 bits", [](auto &b) { put16(b, 28, 12); }, PictureError::kBitCount},
      {"RLE8", [](auto &b) { put32(b, 30, 1); }, PictureError::kCompression},
      {"pixels inside the headers", [](auto &b) { put32(b, 10, 20); }, PictureError::kPixelOffset},
      {"pixels past the end", [](auto &b) { put32(b, 10, 0xFFFFFFF0u); }, PictureError::kPixelOffset},
      {"last row cut", [](auto &b) { b.pop_back(); }, PictureError::kTruncated},
      // Width and height whose product overflows 32 bits must still be
      // caught as a short file.
      {"huge rows",
       [](auto &b) {
         put32(b, 18, 16384);
         put32(b, 22, 16384);
       },
       PictureError::kTruncated},
  };
  for (const auto &c : cases) {
    auto b = good;
    c.damage(b);
    EXPECT_EQ(read(b, p), c.expected) << c.what;
    EXPECT_NE(pictureErrorText(c.expected)[0], 0);  // a text for every error
  }
  // Palettes: more colours than the depth has, or a table past the end.
  BmpShape s;
  s.bitCount = 8;
  s.palette.assign(256, 0);
  auto b = makeBmp(s);
  put32(b, 46, 257);
  EXPECT_EQ(read(b, p), PictureError::kPalette);
  put32(b, 46, 0);  // 0 means the whole 256 entries
  EXPECT_EQ(read(b, p), PictureError::kNone);
  b.resize(54 + 100);
  EXPECT_EQ(read(b, p), PictureError::kPalette);
  EXPECT_EQ(readPicture(nullptr, 100, p), PictureError::kTooShort);
}

TEST(Picture, DamagedFilesNeverReadOutside) {
  // Random damage to a palette picture: whatever is accepted must have all
  // its rows and its palette inside the file.
  BmpShape s;
  s.width = 7;
  s.height = -5;
  s.bitCount = 4;
  s.palette.assign(16, 0x808080);
  const auto good = makeBmp(s);
  std::mt19937 rng(1234);
  for (int i = 0; i < 3000; ++i) {
    auto b = good;
    const int hits = 1 + int(rng() % 4);
    for (int k = 0; k < hits; ++k) b[rng() % 70] = uint8_t(rng());
    if (rng() % 4 == 0) b.resize(rng() % b.size());
    Picture p;
    if (read(b, p) != PictureError::kNone) continue;
    const uint8_t *end = b.data() + b.size();
    EXPECT_LE(p.bits + p.stride * size_t(p.height), end);
    EXPECT_LE(p.info.bmiHeader.biClrUsed, 256u);
    for (LONG y = 0; y < p.height; ++y)
      for (LONG x = 0; x < p.width && x < 64; ++x) (void)p.pixel(x, y);
  }
}

TEST(Picture, TheBundledSamplePhoto) {
  Picture p;
  ASSERT_EQ(readPicture(kSamplePhoto, kSamplePhotoSize, p), PictureError::kNone);
  EXPECT_EQ(p.width, 150);
  EXPECT_EQ(p.height, 190);
  EXPECT_EQ(p.info.bmiHeader.biBitCount, 24);
  // It is the committed file, byte for byte.
  std::ifstream f(CARDPRINT_PHOTO_BMP, std::ios::binary);
  std::vector<uint8_t> file((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  ASSERT_EQ(file.size(), kSamplePhotoSize);
  EXPECT_TRUE(std::equal(file.begin(), file.end(), kSamplePhoto));
}

}  // namespace
}  // namespace cardprint
