#include "render/imaging.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace card {

namespace {

inline uint8_t *rowOf(const SurfaceBits &s, int y) { return s.scan0 + long(y) * s.stride; }

inline int clampInt(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

bool validColour(const SurfaceBits &s) {
  return s.scan0 && s.width > 0 && s.height > 0 && s.width <= kMaxImagingSide && s.height <= kMaxImagingSide &&
         std::labs(s.stride) >= 3L * s.width;
}

bool validBlack(const SurfaceBits &s) {
  return s.scan0 && s.width > 0 && s.height > 0 && s.width <= kMaxImagingSide && s.height <= kMaxImagingSide &&
         std::labs(s.stride) >= (s.width + 7L) / 8;
}

bool validPair(const SurfaceBits &colour, const SurfaceBits &black) {
  return validColour(colour) && validBlack(black) && colour.width == black.width && colour.height == black.height;
}

inline bool isWhiteBit(const uint8_t *row, int x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

inline void putBit(uint8_t *row, int x, bool white) {
  uint8_t mask = uint8_t(0x80u >> (x & 7));
  if (white)
    row[x >> 3] |= mask;
  else
    row[x >> 3] &= uint8_t(~mask);
}

// Writes one row of decisions (1 = black) into a black-surface row, whole
// bytes at a time; bits past the width keep their value.
void storeRow(uint8_t *row, const uint8_t *black, int width) {
  int x = 0;
  for (; x + 8 <= width; x += 8) {
    unsigned byte = 0;
    for (int k = 0; k < 8; ++k) byte = (byte << 1) | (black[x + k] ? 0u : 1u);
    row[x >> 3] = uint8_t(byte);
  }
  for (; x < width; ++x) putBit(row, x, !black[x]);
}

// The power curve shared by both adjustments, floored and kept in 0..255.
uint8_t powerCurve(double scale, double value, double base, double exponent) {
  double r = std::floor(scale * std::pow(value / base, exponent));
  if (!(r >= 0)) return 0;
  return r > 255 ? 255 : uint8_t(r);
}

double positiveContrastExponent(int d) { return (255 - d * 180 / 100) / 255.0; }
double negativeContrastExponent(int d) { return 255.0 / (d * 255 / 100 + 255); }

// Grey of a pixel: truncate(0.299 R + 0.587 G + 0.114 B), in exact integers,
// so that white stays 255.
inline unsigned greyOf(const uint8_t *px) { return (114u * px[0] + 587u * px[1] + 299u * px[2]) / 1000u; }

// Ordered-dither thresholds, T[column mod 8][row mod 8].
constexpr uint8_t kDither[8][8] = {
    {151, 167, 159, 135, 111, 95, 103, 127}, {223, 231, 239, 183, 39, 31, 23, 79},
    {215, 255, 247, 175, 47, 7, 15, 87},     {191, 207, 199, 143, 71, 55, 63, 119},
    {111, 95, 103, 127, 151, 167, 159, 135}, {39, 31, 23, 79, 223, 231, 239, 183},
    {47, 7, 15, 87, 215, 255, 247, 175},     {71, 55, 63, 119, 191, 207, 199, 143},
};

}  // namespace

RandomSource &threadRandom() {
  thread_local RandomSource source;
  return source;
}

uint8_t adjustColourValue(int v, int c, int d) {
  c = clampInt(c, -100, 100);
  d = clampInt(d, -100, 100);
  v = clampInt(v, 0, 255);
  if (c == 0 && d == 0) return uint8_t(v);
  int e = clampInt(v + c * 255 / 100, 0, 255);
  if (d == 0) return uint8_t(e);
  if (d == -100) return 0;
  double exponent = d > 0 ? positiveContrastExponent(d) : negativeContrastExponent(d);
  return powerCurve(255.0, e, 255.5, exponent);
}

uint8_t adjustMonoValue(int g, int c, int d) {
  c = clampInt(c, -100, 100);
  d = clampInt(d, -100, 100);
  int v = clampInt(clampInt(g, 0, 255) + c * 255 / 100, 0, 255);
  if (d == 0) return uint8_t(v);
  if (d == -100) return 0;
  if (d > 0) return powerCurve(255.0, v, 255.5, positiveContrastExponent(d));
  return powerCurve(230.0, v, 255.1, negativeContrastExponent(d));
}

void buildImagingTables(const JobSettingsRecord &s, ImagingTables &t) {
  const int brightness[3] = {s.yellowBrightness, s.magentaBrightness, s.cyanBrightness};
  const int contrast[3] = {s.yellowContrast, s.magentaContrast, s.cyanContrast};
  t.colourAdjust = false;
  for (int ch = 0; ch < 3; ++ch)
    if (brightness[ch] != 0 || contrast[ch] != 0) t.colourAdjust = true;
  for (int ch = 0; ch < 3; ++ch)
    for (int v = 0; v < 256; ++v) t.colour[ch][v] = adjustColourValue(v, brightness[ch], contrast[ch]);
  for (int g = 0; g < 256; ++g) t.mono[g] = adjustMonoValue(g, s.monoBrightness, s.monoContrast);
  t.monoMethod = s.monoConversion;
  t.longSideDiffusion = s.ribbonId != kRibbonFromPrinter;
}

// --- Colour preparation -----------------------------------------------------

namespace {

// Final value of a channel after sharpening: 240 above 254, 0 at or below 0,
// otherwise one of 16 levels, rounded up at random in proportion to the
// remainder.  Only the last case draws a number.
inline uint8_t requantise(int d, RandomSource &random) {
  if (d > 254) return 240;
  if (d <= 0) return 0;
  unsigned r = random.next();
  return uint8_t(16 * (d / 17 + (int(r % 17) < d % 17 ? 1 : 0)));
}

inline int sharpened(int a, int s4, int s8) {
  int b = 12 * a - 2 * s4 - s8;
  int c = clampInt((5 * b + 8) / 16, -70, 70);  // C++ division truncates toward zero, as wanted
  return a + c;
}

}  // namespace

bool prepareColour(const SurfaceBits &s, const ImagingTables &t, RandomSource &random) {
  if (!validColour(s)) return false;
  const int w = s.width, h = s.height;
  const size_t rowBytes = size_t(3) * size_t(w);

  auto adjustRow = [&](uint8_t *r) {
    for (size_t i = 0; i < rowBytes; i += 3) {
      r[i] = t.colour[0][r[i]];
      r[i + 1] = t.colour[1][r[i + 1]];
      r[i + 2] = t.colour[2][r[i + 2]];
    }
  };

  // The sharpening reads every neighbour as it was before this step: the rows
  // above and at the current one are copied before they change; the row below
  // is read from the surface, adjusted one row ahead but not yet sharpened.
  uint8_t lineA[3 * kMaxImagingSide];
  uint8_t lineB[3 * kMaxImagingSide];
  uint8_t *above = lineA;
  uint8_t *current = lineB;

  if (t.colourAdjust) adjustRow(rowOf(s, 0));
  for (int y = 0; y < h; ++y) {
    uint8_t *r = rowOf(s, y);
    if (t.colourAdjust && y + 1 < h) adjustRow(rowOf(s, y + 1));
    std::memcpy(current, r, rowBytes);
    if (y == 0 || y == h - 1 || w < 3) {
      for (size_t i = 0; i < rowBytes; ++i) r[i] = requantise(current[i], random);
    } else {
      const uint8_t *below = rowOf(s, y + 1);
      for (int i = 0; i < 3; ++i) r[i] = requantise(current[i], random);
      const size_t end = rowBytes - 3;
      for (size_t i = 3; i < end; ++i) {
        int s4 = above[i] + below[i] + current[i - 3] + current[i + 3];
        int s8 = above[i - 3] + above[i + 3] + below[i - 3] + below[i + 3];
        r[i] = requantise(sharpened(current[i], s4, s8), random);
      }
      for (size_t i = end; i < rowBytes; ++i) r[i] = requantise(current[i], random);
    }
    std::swap(above, current);
  }
  return true;
}

// --- Black extraction -------------------------------------------------------

bool extractBlack(const SurfaceBits &colour, const SurfaceBits &black) {
  if (!validPair(colour, black)) return false;
  for (int y = 0; y < colour.height; ++y) {
    uint8_t *px = rowOf(colour, y);
    uint8_t *bits = rowOf(black, y);
    uint8_t last[3] = {255, 255, 255};
    unsigned keep = 0xFF;  // bits of the current group of 8 that stay as they are
    for (int x = 0; x < colour.width; ++x, px += 3) {
      if (px[0] == 0 && px[1] == 0 && px[2] == 0) {
        px[0] = last[0];
        px[1] = last[1];
        px[2] = last[2];
        keep &= ~(0x80u >> (x & 7));
      } else {
        last[0] = px[0];
        last[1] = px[1];
        last[2] = px[2];
      }
      if ((x & 7) == 7 || x == colour.width - 1) {
        bits[x >> 3] &= uint8_t(keep);
        keep = 0xFF;
      }
    }
  }
  return true;
}

// --- Monochrome conversion --------------------------------------------------

namespace {

// Error accumulators of one line, with two cells of margin at each end so
// that weights falling outside the line land where nobody reads them.
struct Accumulators {
  uint16_t plus[kMaxImagingSide + 4];
  uint16_t minus[kMaxImagingSide + 4];
  void clear(int len) {
    std::memset(plus, 0, sizeof(uint16_t) * size_t(len + 4));
    std::memset(minus, 0, sizeof(uint16_t) * size_t(len + 4));
  }
};

inline void saturatingAdd(uint16_t &a, unsigned v) {
  unsigned s = a + v;
  a = uint16_t(s > 255 ? 255 : s);
}

// Spreads `amount` with the Burkes weights over 32 (this line: next 8, after
// it 4; next line: 2 4 8 4 2 centred below) into one kind of accumulator.
// `i` is the margin-shifted index of the pixel.
inline void spread(uint16_t *cur, uint16_t *next, size_t i, unsigned amount) {
  unsigned w8 = amount * 8 / 32, w4 = amount * 4 / 32, w2 = amount * 2 / 32;
  saturatingAdd(cur[i + 1], w8);
  saturatingAdd(cur[i + 2], w4);
  saturatingAdd(next[i - 2], w2);
  saturatingAdd(next[i - 1], w4);
  saturatingAdd(next[i], w8);
  saturatingAdd(next[i + 1], w4);
  saturatingAdd(next[i + 2], w2);
}

// The stretch of the diffusion's first step as a table for this card.
void buildStretch(unsigned lo, unsigned hi, uint8_t (&stretch)[256]) {
  for (unsigned v = 0; v < 256; ++v) {
    if (lo == hi) {
      stretch[v] = uint8_t(v);
    } else if (v > 6 && v < 249) {
      int e = int(v - lo) * 255 / int(hi - lo);
      int s = (255 - (255 - e) * (255 - e) / 255) / 2 + e / 2;
      stretch[v] = uint8_t(clampInt(s, 0, 255));
    } else {
      stretch[v] = v < 249 ? 0 : 255;
    }
  }
}

// Decision of step 3 (true = black), reading direction along the line.
inline bool decideAlongRows(unsigned stretched, unsigned w, bool hasNext, unsigned nextValue) {
  if (stretched > 248) return false;
  if (stretched < 7) return true;
  if (hasNext && int(nextValue) - int(stretched) > 64) return true;
  return w < 128;
}

// The long-side variant judges by the values before the stretch.
inline bool decideAlongLongSide(unsigned v, unsigned w, bool hasNext, unsigned nextValue) {
  if (hasNext) {
    if (v < 7) return nextValue <= 248;
    if (v > 248) return false;
    if (int(v) - int(nextValue) > 64) return false;
    if (int(nextValue) - int(v) > 64) return true;
    return w < 128;
  }
  if (v < 7) return true;
  if (v > 248) return false;
  return w < 128;
}

// Error diffusion.  A "line" is a row, or for the long-side variant of a
// portrait surface a column (columns left to right, each top to bottom).
void diffuse(const SurfaceBits &colour, const SurfaceBits &black, const ImagingTables &t) {
  const int w = colour.width, h = colour.height;
  const bool variant = t.longSideDiffusion;
  const bool byColumns = variant && h > w;
  const int lines = byColumns ? w : h;
  const int len = byColumns ? h : w;

  // Pass 1: the darkest and lightest adjusted grey of the card.
  unsigned lo = 255, hi = 0;
  for (int y = 0; y < h; ++y) {
    const uint8_t *px = rowOf(colour, y);
    for (int x = 0; x < w; ++x, px += 3) {
      unsigned v = t.mono[greyOf(px)];
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
  }
  uint8_t stretch[256];
  buildStretch(lo, hi, stretch);

  // Pass 2.
  uint8_t value[kMaxImagingSide];
  uint8_t decision[kMaxImagingSide];
  Accumulators accA, accB;
  Accumulators *cur = &accA, *next = &accB;
  cur->clear(len);
  next->clear(len);
  for (int line = 0; line < lines; ++line) {
    if (byColumns) {
      for (int y = 0; y < len; ++y) value[y] = t.mono[greyOf(rowOf(colour, y) + 3 * line)];
    } else {
      const uint8_t *px = rowOf(colour, line);
      for (int x = 0; x < len; ++x, px += 3) value[x] = t.mono[greyOf(px)];
    }
    for (int i = 0; i < len; ++i) {
      const size_t k = size_t(i) + 2;
      const unsigned v = value[i];
      const unsigned vs = stretch[v];
      const bool hasNext = i + 1 < len;
      const unsigned nv = hasNext ? value[i + 1] : 0;
      const unsigned wv = unsigned(clampInt(int(vs) + cur->plus[k] - cur->minus[k], 0, 255));
      const bool isBlack = variant ? decideAlongLongSide(v, wv, hasNext, nv) : decideAlongRows(vs, wv, hasNext, nv);
      decision[i] = isBlack;
      if (isBlack) {
        spread(cur->plus, next->plus, k, wv);
        spread(cur->plus, next->plus, k, 255);
        cur->plus[k + 1] = 255;  // keeps the next dot of the line white unless it must be black
      } else {
        spread(cur->minus, next->minus, k, 255 - wv);
      }
    }
    if (byColumns) {
      for (int y = 0; y < len; ++y) putBit(rowOf(black, y), line, !decision[y]);
    } else {
      storeRow(rowOf(black, line), decision, len);
    }
    std::swap(cur, next);
    next->clear(len);
  }
}

void halftone(const SurfaceBits &colour, const SurfaceBits &black) {
  uint8_t decision[kMaxImagingSide];
  for (int y = 0; y < colour.height; ++y) {
    const uint8_t *px = rowOf(colour, y);
    for (int x = 0; x < colour.width; ++x, px += 3) {
      unsigned k = (11u * (255u - px[0]) + 59u * (255u - px[1]) + 30u * (255u - px[2])) / 100u;
      // k = 255 and k = 0 need no rule of their own: every threshold lies in 7..255.
      decision[x] = k >= kDither[x & 7][y & 7];
    }
    storeRow(rowOf(black, y), decision, colour.width);
  }
}

void threshold(const SurfaceBits &colour, const SurfaceBits &black, const ImagingTables &t) {
  uint8_t decision[kMaxImagingSide];
  for (int y = 0; y < colour.height; ++y) {
    const uint8_t *px = rowOf(colour, y);
    for (int x = 0; x < colour.width; ++x, px += 3) decision[x] = t.mono[greyOf(px)] <= 6;
    storeRow(rowOf(black, y), decision, colour.width);
  }
}

}  // namespace

bool convertToMonochrome(const SurfaceBits &colour, const SurfaceBits &black, const ImagingTables &t) {
  if (!validPair(colour, black)) return false;
  switch (t.monoMethod) {
    case kConvertDiffusion: diffuse(colour, black, t); break;
    case kConvertHalftone: halftone(colour, black); break;
    case kConvertBarcode:  // thinned afterwards, by the caller
    case kConvertThreshold: threshold(colour, black, t); break;
    default: break;  // left as drawn
  }
  return true;
}

// --- Thinning ---------------------------------------------------------------

bool thinBlack(const SurfaceBits &black) {
  if (!validBlack(black)) return false;
  if (black.width >= black.height) {
    for (int y = 0; y < black.height; ++y) {
      uint8_t *r = rowOf(black, y);
      for (int x = 1; x + 1 < black.width; ++x)
        if (!isWhiteBit(r, x) && !isWhiteBit(r, x - 1) && isWhiteBit(r, x + 1)) putBit(r, x, true);
    }
  } else {
    // Along columns all the columns of a byte go together: a dot turned white
    // only ever has a white dot after it, so the forward in-place scan equals
    // a judgement on the original rows.
    const int bytes = (black.width + 7) / 8;
    const unsigned lastMask = black.width % 8 ? (0xFF00u >> (black.width % 8)) & 0xFF : 0xFF;
    for (int y = 1; y + 1 < black.height; ++y) {
      const uint8_t *prev = rowOf(black, y - 1);
      uint8_t *r = rowOf(black, y);
      const uint8_t *nextRow = rowOf(black, y + 1);
      for (int k = 0; k < bytes; ++k) {
        unsigned lose = ~unsigned(r[k]) & ~unsigned(prev[k]) & unsigned(nextRow[k]) & 0xFF;
        if (k == bytes - 1) lose &= lastMask;
        r[k] = uint8_t(r[k] | lose);
      }
    }
  }
  return true;
}

// --- Varnish bitmap ---------------------------------------------------------

namespace {

inline uint32_t le32(const uint8_t *p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint16_t le16(const uint8_t *p) { return uint16_t(p[0] | p[1] << 8); }
inline void put32(uint8_t *p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

constexpr size_t kFileHeaderBytes = 14;
constexpr size_t kInfoHeaderBytes = 40;     // BITMAPINFOHEADER; later versions only add fields
constexpr size_t kLargestInfoHeader = 124;  // BITMAPV5HEADER
constexpr uint8_t kBlackWhitePalette[8] = {0, 0, 0, 0, 255, 255, 255, 0};

}  // namespace

size_t varnishReadSize(const uint8_t (&fh)[14], uint64_t fileSize) {
  if (fh[0] != 'B' || fh[1] != 'M') return 0;
  uint64_t n = std::min<uint64_t>({le32(fh + 2), fileSize, kMaxVarnishFileBytes});
  if (n < kFileHeaderBytes + kInfoHeaderBytes + sizeof kBlackWhitePalette) return 0;
  return size_t(n);
}

bool prepareVarnishPicture(uint8_t *file, size_t size, VarnishPicture &out) {
  if (!file || size < kFileHeaderBytes + kInfoHeaderBytes + sizeof kBlackWhitePalette) return false;
  if (file[0] != 'B' || file[1] != 'M') return false;
  // Only what the header says the file holds counts, and only what was read.
  const uint64_t available = std::min<uint64_t>(le32(file + 2), size);
  const uint64_t bitsOffset = le32(file + 10);
  const uint8_t *info = file + kFileHeaderBytes;
  const uint32_t infoSize = le32(info);
  if (infoSize < kInfoHeaderBytes || infoSize > kLargestInfoHeader) return false;
  const int32_t width = int32_t(le32(info + 4));
  const int32_t height = int32_t(le32(info + 8));
  if (le16(info + 12) != 1 || le16(info + 14) != 1) return false;  // one plane, one bit per pixel
  if (le32(info + 16) != 0) return false;                          // BI_RGB: no compression
  const uint32_t coloursUsed = le32(info + 32);
  if (coloursUsed != 0 && coloursUsed != 2) return false;
  if (width < 1 || width > kMaxVarnishPictureSide) return false;
  if (height == 0 || height < -kMaxVarnishPictureSide || height > kMaxVarnishPictureSide) return false;
  const uint64_t paletteOffset = kFileHeaderBytes + infoSize;
  // The palette is forced in place, so it must lie before the pixel bits.
  if (paletteOffset + sizeof kBlackWhitePalette > bitsOffset) return false;
  const uint64_t stride = (uint64_t(width) + 31) / 32 * 4;
  const uint64_t bitsBytes = stride * uint64_t(height < 0 ? -int64_t(height) : height);
  if (bitsOffset + bitsBytes > available) return false;

  std::memcpy(file + paletteOffset, kBlackWhitePalette, sizeof kBlackWhitePalette);

  out.infoOffset = kFileHeaderBytes;
  out.bitsOffset = size_t(bitsOffset);
  out.bitsBytes = size_t(bitsBytes);
  out.width = width;
  out.height = height;
  std::memset(out.info, 0, sizeof out.info);
  put32(out.info, kInfoHeaderBytes);
  std::memcpy(out.info + 4, info + 4, 12);  // width, height, planes, bit count
  put32(out.info + 20, uint32_t(bitsBytes));
  std::memcpy(out.info + 24, info + 24, 8);  // resolution
  put32(out.info + 32, 2);
  std::memcpy(out.info + kInfoHeaderBytes, kBlackWhitePalette, sizeof kBlackWhitePalette);
  return true;
}

size_t encodeVarnishLines(const uint8_t *dib, uint8_t *out, size_t capacity) {
  if (!dib || !out || capacity < kVarnishMaxEncoded) return 0;
  uint8_t *o = out;
  uint8_t line[kBitmapLineBytes];
  for (int column = int(kVarnishDibStride) - 1; column >= 0; --column) {
    for (int bit = 0; bit < 8; ++bit) {
      const uint8_t *src = dib + column;
      for (size_t k = 0; k < kBitmapLineBytes; ++k) {
        unsigned byte = 0;
        for (int j = 0; j < 8; ++j, src += kVarnishDibStride) byte = (byte << 1) | ((*src >> bit) & 1u);
        line[k] = uint8_t(~byte);
      }
      o += appendBitmapLine(line, o);
    }
  }
  *o++ = kCr;
  return size_t(o - out);
}

}  // namespace card
