// BMP files for the tests, written field by field from the format's
// documented layout: a 14-byte file header, an info header, an optional
// palette, rows padded to four bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace cardprint::test {

struct BmpShape {
  int32_t width = 4;
  int32_t height = 3;  // negative: rows stored top-down
  uint16_t bitCount = 24;
  uint32_t headerSize = 40;
  uint32_t compression = 0;
  uint16_t planes = 1;
  std::vector<uint32_t> palette;  // 0x00RRGGBB
  std::vector<uint32_t> masks;    // written after a 40-byte header, or inside a longer one
  // Colour (24/32-bit: 0x00RRGGBB) or palette index of the pixel at x, y from the top.
  std::function<uint32_t(int, int)> pixel = [](int, int) { return 0xFFFFFFu; };
};

inline void put16(std::vector<uint8_t> &b, size_t at, uint32_t v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}
inline void put32(std::vector<uint8_t> &b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

inline std::vector<uint8_t> makeBmp(const BmpShape &s) {
  const size_t masksAfter = (s.headerSize == 40 && !s.masks.empty()) ? s.masks.size() * 4 : 0;
  const size_t paletteAt = 14 + s.headerSize + masksAfter;
  const size_t pixelsAt = paletteAt + s.palette.size() * 4;
  const int rows = s.height < 0 ? -s.height : s.height;
  const size_t stride = ((size_t(s.width) * s.bitCount + 31) / 32) * 4;
  std::vector<uint8_t> b(pixelsAt + stride * size_t(rows), 0);
  b[0] = 'B';
  b[1] = 'M';
  put32(b, 2, uint32_t(b.size()));
  put32(b, 10, uint32_t(pixelsAt));
  put32(b, 14, s.headerSize);
  put32(b, 18, uint32_t(s.width));
  put32(b, 22, uint32_t(s.height));
  put16(b, 26, s.planes);
  put16(b, 28, s.bitCount);
  put32(b, 30, s.compression);
  put32(b, 34, uint32_t(stride * size_t(rows)));
  put32(b, 46, uint32_t(s.palette.size()));
  for (size_t i = 0; i < s.masks.size(); ++i) put32(b, 14 + 40 + i * 4, s.masks[i]);
  for (size_t i = 0; i < s.palette.size(); ++i) put32(b, paletteAt + i * 4, s.palette[i]);
  for (int y = 0; y < rows; ++y) {
    const int stored = s.height < 0 ? y : rows - 1 - y;
    uint8_t *row = b.data() + pixelsAt + size_t(stored) * stride;
    for (int x = 0; x < s.width; ++x) {
      const uint32_t v = s.pixel(x, y);
      switch (s.bitCount) {
        case 1: row[x / 8] |= uint8_t((v & 1) << (7 - x % 8)); break;
        case 4: row[x / 2] |= uint8_t((v & 15) << (x % 2 ? 0 : 4)); break;
        case 8: row[x] = uint8_t(v); break;
        case 16:
          row[x * 2] = uint8_t(v);
          row[x * 2 + 1] = uint8_t(v >> 8);
          break;
        case 24:
          row[x * 3] = uint8_t(v);
          row[x * 3 + 1] = uint8_t(v >> 8);
          row[x * 3 + 2] = uint8_t(v >> 16);
          break;
        case 32: put32(b, size_t(row - b.data()) + size_t(x) * 4, v); break;
      }
    }
  }
  return b;
}

}  // namespace cardprint::test
