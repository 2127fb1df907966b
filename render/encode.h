// Panel data as the printer takes it: continuous-tone planes of 5-bit values
// and 1-bit resin-black bitmaps, always 1024 lines of 640 dots across the short
// side of the card, whatever the orientation the page was drawn in.
#pragma once

#include <cstddef>
#include <cstdint>

#include "shared/wire_format.h"

namespace card {

// The card's geometry and the block sizes are those of the wire format.
constexpr size_t kBitmapMaxEncoded = 2 * kBitmapBytes + 1;  // every byte doubled, and the CR

// A locked surface's bits: top-down rows of `stride` bytes.  Colour surfaces
// hold B, G, R bytes per pixel; black surfaces 1 bit per pixel, most
// significant bit first, 1 = no black.  Cards are 1024 x 640 (landscape) or
// 640 x 1024 (portrait).
struct SurfaceBits {
  uint8_t *scan0;
  long stride;
  int width;
  int height;
  bool isCard() const {
    return scan0 && ((width == kCardLong && height == kCardShort) || (width == kCardShort && height == kCardLong));
  }
  bool portrait() const { return width == kCardShort; }
};

enum class PlaneChannel { Yellow = 0, Magenta = 1, Cyan = 2, DyeBlack = 3 };

// Appends one continuous-tone plane (442,368 bytes) at `out`.  Returns the
// number of bytes written, 0 when the surface is not card-sized or `capacity`
// is too small.
size_t encodePlane(const SurfaceBits &colour, PlaneChannel channel, bool rotated, uint8_t *out, size_t capacity);

// Appends the resin-black bitmap: 1024 lines of 80 bytes, 1 = print, every
// kDataEscape byte doubled, one CR at the end.  Returns the bytes written, 0 when the
// surface is not card-sized or `capacity` is below kBitmapMaxEncoded.
size_t encodeBlack(const SurfaceBits &black, bool rotated, uint8_t *out, size_t capacity);

// True when any byte of the black surface's card area is not 0xFF.
bool hasBlack(const SurfaceBits &black);

// Appends 80 bytes of 640 print bits (already 1 = print), doubling kDataEscape.
// Used by every 1-bit panel writer.
size_t appendBitmapLine(const uint8_t (&line)[kBitmapLineBytes], uint8_t *out);

}  // namespace card
