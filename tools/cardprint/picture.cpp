#include "tools/cardprint/picture.h"

#include <cstring>

namespace cardprint {

namespace {

constexpr size_t kFileHeaderBytes = 14;
constexpr uint32_t kBitFields = 3;

uint16_t u16(const BYTE *p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t u32(const BYTE *p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// Colour masks that describe the same pixel layout as plain BI_RGB, the only
// ones taken: GDI then needs no masks at all.
bool plainMasks(uint16_t bitCount, uint32_t red, uint32_t green, uint32_t blue) {
  if (bitCount == 32) return red == 0x00FF0000 && green == 0x0000FF00 && blue == 0x000000FF;
  if (bitCount == 16) return red == 0x7C00 && green == 0x03E0 && blue == 0x001F;
  return false;
}

}  // namespace

PictureError readPicture(const BYTE *file, size_t size, Picture &out) {
  out = Picture{};
  if (!file || size < kFileHeaderBytes + 4) return PictureError::kTooShort;
  if (file[0] != 'B' || file[1] != 'M') return PictureError::kNotBmp;
  const uint32_t pixelOffset = u32(file + 10);
  const uint32_t headerSize = u32(file + 14);
  // 40: BITMAPINFOHEADER; 52 and 56: the same with colour masks inside;
  // 108 and 124: BITMAPV4HEADER and BITMAPV5HEADER.  12, 16 and 64 are the
  // OS/2 layouts, which GDI's BITMAPINFO cannot carry.
  if (headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 108 && headerSize != 124)
    return size < kFileHeaderBytes + 40 ? PictureError::kTooShort : PictureError::kHeaderSize;
  if (size < kFileHeaderBytes + headerSize) return PictureError::kTooShort;
  const BYTE *h = file + kFileHeaderBytes;
  const int32_t width = int32_t(u32(h + 4));
  const int32_t height = int32_t(u32(h + 8));
  const uint16_t planes = u16(h + 12);
  const uint16_t bitCount = u16(h + 14);
  const uint32_t compression = u32(h + 16);
  const uint32_t colorsUsed = u32(h + 32);

  if (planes != 1) return PictureError::kPlanes;
  if (width <= 0 || width > kMaxPictureSide || height == 0 || height < -kMaxPictureSide || height > kMaxPictureSide)
    return PictureError::kDimensions;
  if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
    return PictureError::kBitCount;

  size_t headersEnd = kFileHeaderBytes + headerSize;
  if (compression == kBitFields) {
    // The masks follow a 40-byte header, or lie inside the longer ones.
    const BYTE *masks = h + 40;
    if (headerSize == 40) {
      if (size < headersEnd + 12) return PictureError::kTooShort;
      headersEnd += 12;
    }
    if (!plainMasks(bitCount, u32(masks), u32(masks + 4), u32(masks + 8))) return PictureError::kCompression;
  } else if (compression != BI_RGB) {
    return PictureError::kCompression;
  }

  size_t colours = 0;
  if (bitCount <= 8) {
    const uint32_t most = 1u << bitCount;
    if (colorsUsed > most) return PictureError::kPalette;
    colours = colorsUsed ? colorsUsed : most;
    if (headersEnd + colours * 4 > size) return PictureError::kPalette;
  }
  const size_t paletteEnd = headersEnd + colours * 4;
  if (pixelOffset < paletteEnd || pixelOffset >= size) return PictureError::kPixelOffset;

  const LONG rows = height < 0 ? -height : height;
  const uint64_t stride = ((uint64_t(width) * bitCount + 31) / 32) * 4;
  if (uint64_t(size - pixelOffset) < stride * uint64_t(rows)) return PictureError::kTruncated;

  BITMAPINFOHEADER &bi = out.info.bmiHeader;
  bi.biSize = sizeof(BITMAPINFOHEADER);
  bi.biWidth = width;
  bi.biHeight = height;
  bi.biPlanes = 1;
  bi.biBitCount = bitCount;
  bi.biCompression = BI_RGB;
  bi.biClrUsed = DWORD(colours);
  for (size_t i = 0; i < colours; ++i) {
    const BYTE *q = file + headersEnd + i * 4;
    out.info.bmiColors[i].rgbBlue = q[0];
    out.info.bmiColors[i].rgbGreen = q[1];
    out.info.bmiColors[i].rgbRed = q[2];
    out.info.bmiColors[i].rgbReserved = 0;
  }
  out.bits = file + pixelOffset;
  out.width = width;
  out.height = rows;
  out.stride = size_t(stride);
  return PictureError::kNone;
}

uint32_t Picture::pixel(LONG x, LONG y) const {
  if (!bits || x < 0 || y < 0 || x >= width || y >= height) return 0;
  const LONG row = info.bmiHeader.biHeight > 0 ? height - 1 - y : y;
  const BYTE *p = bits + size_t(row) * stride;
  auto fromPalette = [this](unsigned index) -> uint32_t {
    if (index >= info.bmiHeader.biClrUsed) return 0;
    const RGBQUAD &q = info.bmiColors[index];
    return (uint32_t(q.rgbRed) << 16) | (uint32_t(q.rgbGreen) << 8) | q.rgbBlue;
  };
  switch (info.bmiHeader.biBitCount) {
    case 1: return fromPalette((p[x / 8] >> (7 - x % 8)) & 1);
    case 4: return fromPalette((p[x / 2] >> (x % 2 ? 0 : 4)) & 15);
    case 8: return fromPalette(p[x]);
    case 16: {
      const unsigned v = p[x * 2] | (p[x * 2 + 1] << 8);
      auto widen = [](unsigned c) { return (c << 3) | (c >> 2); };
      return (widen((v >> 10) & 31) << 16) | (widen((v >> 5) & 31) << 8) | widen(v & 31);
    }
    case 24: return (uint32_t(p[x * 3 + 2]) << 16) | (uint32_t(p[x * 3 + 1]) << 8) | p[x * 3];
    default: return (uint32_t(p[x * 4 + 2]) << 16) | (uint32_t(p[x * 4 + 1]) << 8) | p[x * 4];
  }
}

LPCWSTR pictureErrorText(PictureError error) {
  switch (error) {
    case PictureError::kNone: return TEXT("a good BMP picture");
    case PictureError::kTooShort: return TEXT("the file is too short to be a BMP picture");
    case PictureError::kNotBmp: return TEXT("the file is not a BMP picture (it does not start with \"BM\")");
    case PictureError::kHeaderSize:
      return TEXT("the BMP header is of a kind this program does not read (OS/2 or unknown)");
    case PictureError::kPlanes: return TEXT("the BMP header gives a number of colour planes other than 1");
    case PictureError::kDimensions: return TEXT("the picture's width or height is 0, negative or above 16384 pixels");
    case PictureError::kBitCount: return TEXT("the picture has a number of bits per pixel that BMP does not use");
    case PictureError::kCompression:
      return TEXT("the picture is compressed (RLE, JPEG, PNG or colour masks); save it uncompressed");
    case PictureError::kPalette: return TEXT("the picture's colour table is too long or runs past the end of the file");
    case PictureError::kPixelOffset:
      return TEXT("the picture's pixel data starts inside its headers or past the end of the file");
    case PictureError::kTruncated: return TEXT("the file ends before the last row of pixels");
  }
  return TEXT("the picture cannot be read");
}

}  // namespace cardprint
