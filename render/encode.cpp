#include "render/encode.h"

namespace card {

namespace {

// Packs 640 five-bit values, three to a big-endian word, the 640th alone in
// the 214th word, then four zero bytes.
struct LinePacker {
  uint8_t *out;
  unsigned word = 0;
  int inWord = 0;
  int inLine = 0;
  void put(unsigned v8) {
    unsigned v = v8 >> 3;
    word |= v << (10 - 5 * inWord);
    if (++inWord == 3) flushWord();
    if (++inLine == kCardShort) {
      if (inWord) flushWord();
      for (int i = 0; i < 4; ++i) *out++ = 0;
      inLine = 0;
    }
  }
  void flushWord() {
    *out++ = uint8_t(word >> 8);
    *out++ = uint8_t(word);
    word = 0;
    inWord = 0;
  }
};

inline unsigned channelValue(const uint8_t *px, PlaneChannel ch) {
  unsigned b = px[0], g = px[1], r = px[2];
  switch (ch) {
    case PlaneChannel::Yellow: return 255 - b;
    case PlaneChannel::Magenta: return 255 - g;
    case PlaneChannel::Cyan: return 255 - r;
    case PlaneChannel::DyeBlack: return (59 * (255 - g) + 11 * (255 - b) + 30 * (255 - r)) / 100;
  }
  return 0;
}

const uint8_t *row(const SurfaceBits &s, int y) { return s.scan0 + long(y) * s.stride; }

uint8_t reverseBits(uint8_t b) {
  b = uint8_t((b & 0xF0) >> 4 | (b & 0x0F) << 4);
  b = uint8_t((b & 0xCC) >> 2 | (b & 0x33) << 2);
  b = uint8_t((b & 0xAA) >> 1 | (b & 0x55) << 1);
  return b;
}

inline bool bitAt(const SurfaceBits &s, int x, int y) { return (row(s, y)[x >> 3] >> (7 - (x & 7))) & 1; }

}  // namespace

size_t encodePlane(const SurfaceBits &s, PlaneChannel ch, bool rotated, uint8_t *out, size_t capacity) {
  if (!s.isCard() || !out || capacity < kPlaneBytes) return 0;
  LinePacker p{out};
  if (s.portrait()) {
    // Lines are rows; dots run right to left (top to bottom row, or the other
    // way round on a rotated side).
    for (int i = 0; i < kCardLong; ++i) {
      const uint8_t *r = row(s, rotated ? kCardLong - 1 - i : i);
      if (!rotated)
        for (int x = kCardShort - 1; x >= 0; --x) p.put(channelValue(r + 3 * x, ch));
      else
        for (int x = 0; x < kCardShort; ++x) p.put(channelValue(r + 3 * x, ch));
    }
  } else {
    // Lines are columns, left to right; dots run down the column.
    for (int i = 0; i < kCardLong; ++i) {
      int x = rotated ? kCardLong - 1 - i : i;
      if (!rotated)
        for (int y = 0; y < kCardShort; ++y) p.put(channelValue(row(s, y) + 3 * x, ch));
      else
        for (int y = kCardShort - 1; y >= 0; --y) p.put(channelValue(row(s, y) + 3 * x, ch));
    }
  }
  return size_t(p.out - out);
}

size_t appendBitmapLine(const uint8_t (&line)[kBitmapLineBytes], uint8_t *out) {
  uint8_t *o = out;
  for (uint8_t b : line) {
    *o++ = b;
    if (b == kDataEscape) *o++ = b;  // the printer reads a single one as a control byte
  }
  return size_t(o - out);
}

size_t encodeBlack(const SurfaceBits &s, bool rotated, uint8_t *out, size_t capacity) {
  if (!s.isCard() || !out || capacity < kBitmapMaxEncoded) return 0;
  uint8_t *o = out;
  uint8_t line[kBitmapLineBytes];
  for (int i = 0; i < kCardLong; ++i) {
    if (s.portrait()) {
      if (!rotated) {
        const uint8_t *r = row(s, kCardLong - 1 - i);
        for (size_t k = 0; k < kBitmapLineBytes; ++k) line[k] = uint8_t(~reverseBits(r[kBitmapLineBytes - 1 - k]));
      } else {
        const uint8_t *r = row(s, i);
        for (size_t k = 0; k < kBitmapLineBytes; ++k) line[k] = uint8_t(~r[k]);
      }
    } else {
      int x = rotated ? i : kCardLong - 1 - i;
      for (size_t k = 0; k < kBitmapLineBytes; ++k) {
        unsigned byte = 0;
        for (int bit = 0; bit < 8; ++bit) {
          int dot = int(k) * 8 + bit;
          int y = rotated ? kCardShort - 1 - dot : dot;
          byte = (byte << 1) | (bitAt(s, x, y) ? 0u : 1u);
        }
        line[k] = uint8_t(byte);
      }
    }
    o += appendBitmapLine(line, o);
  }
  *o++ = kCr;
  return size_t(o - out);
}

bool hasBlack(const SurfaceBits &s) {
  if (!s.isCard()) return false;
  size_t bytes = size_t(s.width) / 8;
  for (int y = 0; y < s.height; ++y) {
    const uint8_t *r = row(s, y);
    for (size_t k = 0; k < bytes; ++k)
      if (r[k] != 0xFF) return true;
  }
  return false;
}

}  // namespace card
