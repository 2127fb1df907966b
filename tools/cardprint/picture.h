// BMP files as cardprint takes them: every header field that decides where
// the pixels are is checked against the file's size before GDI sees a byte,
// and the picture is handed on as a plain BITMAPINFO with its palette.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace cardprint {

// Largest picture taken: far above a card's 1024 x 640 dots, small enough
// that no size computation can overflow.
constexpr LONG kMaxPictureSide = 16384;
constexpr size_t kMaxPictureFileBytes = size_t(256) << 20;

enum class PictureError {
  kNone,
  kTooShort,     // shorter than the two headers
  kNotBmp,       // no "BM" signature
  kHeaderSize,   // an info header of a size no BMP uses (OS/2 bitmaps included)
  kPlanes,       // planes other than 1
  kDimensions,   // width or height 0, negative width, or beyond kMaxPictureSide
  kBitCount,     // bits per pixel other than 1, 4, 8, 16, 24, 32
  kCompression,  // RLE, JPEG, PNG or colour masks other than plain BGR
  kPalette,      // more colours than the depth allows, or the palette outside the file
  kPixelOffset,  // pixel data starting inside the headers or beyond the file
  kTruncated,    // fewer pixel bytes than the rows need
};

// A checked picture.  `info` is a stand-alone BITMAPINFO (40-byte header,
// BI_RGB) followed by its palette; `bits` points into the file's bytes,
// which must outlive the picture.
struct Picture {
  struct {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[256];
  } info;
  const BYTE *bits = nullptr;
  LONG width = 0;
  LONG height = 0;  // rows, whatever the order they are stored in
  size_t stride = 0;

  const BITMAPINFO *bitmapInfo() const { return reinterpret_cast<const BITMAPINFO *>(&info); }
  // Colour of a pixel (x from the left, y from the top) as 0x00RRGGBB.
  uint32_t pixel(LONG x, LONG y) const;
};

PictureError readPicture(const BYTE *file, size_t size, Picture &out);

// What went wrong, in words for the user.
LPCWSTR pictureErrorText(PictureError error);

// The sample card's portrait, built into the program.
extern const BYTE kSamplePhoto[];
extern const size_t kSamplePhotoSize;

}  // namespace cardprint
