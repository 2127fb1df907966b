// Image operations between drawing a card side and encoding its panels: colour
// adjustment, sharpening and requantisation of the colour surface, moving pure
// black into the resin-black surface, the monochrome conversions for ribbons
// that print resin black only, thinning of resin lines, and the pure part of
// the varnish bitmap (reading a user's 1-bit BMP and turning the stretched
// picture into 1024 printer lines).
//
// Everything here works on plain bytes: the locked surfaces' bits
// (SurfaceBits, see encode.h) and the job settings record.  Nothing calls
// Windows, nothing allocates; line buffers live on the stack, which is why a
// surface side may not exceed kMaxImagingSide.
#pragma once

#include <cstddef>
#include <cstdint>

#include "render/encode.h"
#include "shared/job_settings.h"

namespace card {

constexpr int kMaxImagingSide = 1024;

// The requantisation's pseudo-random source: a linear congruential generator
// (state * 214013 + 2531011 modulo 2^32) yielding bits 16 to 30 of the new
// state.  Each thread has one, starting at 1 and never reseeded, so the
// colour planes of a job depend only on the pages the thread printed before.
struct RandomSource {
  uint32_t state = 1;
  unsigned next() {
    state = state * 214013u + 2531011u;
    return (state >> 16) & 0x7FFF;
  }
};

// The calling thread's generator.
RandomSource &threadRandom();

// The adjustment formulas, for one 8-bit value.  Brightness and contrast are
// -100..100; values outside count as the nearest limit (beyond them the
// contrast exponent turns negative or infinite).
// Colour planes: brightness c, then contrast d as a power curve.
uint8_t adjustColourValue(int value, int brightness, int contrast);
// Monochrome conversion: the same with its own curve for negative contrast,
// which never reaches white (230 at most).
uint8_t adjustMonoValue(int grey, int brightness, int contrast);

// Everything the imaging takes from the job settings, built once per job: the
// adjustment curves as tables (every result is a function of one 8-bit value,
// so no power is computed per pixel), the monochrome method and its variant.
// Plain data, so it can live in a zero-filled device instance.
struct ImagingTables {
  bool colourAdjust;       // one of the six colour fields is not 0
  uint8_t colour[3][256];  // by byte of a pixel: blue (yellow fields), green (magenta), red (cyan)
  uint8_t mono[256];       // grey -> contrast(brightness(grey))
  int monoMethod;          // monoConversion (MonoConversion)
  bool longSideDiffusion;  // a ribbon chosen in the settings: the diffusion runs along the card's long side
};
void buildImagingTables(const JobSettingsRecord &settings, ImagingTables &out);

// Colour preparation, in place, before the colour and dye-black planes: the
// per-channel adjustment (when enabled), then the sharpening of every inner
// pixel from the values before it, and the requantisation of every value to
// 16 levels.  A value above 254 becomes 240 and one at or below 0 becomes 0
// without drawing a number; every other value draws exactly one.  Draw order:
// rows top to bottom, pixels left to right, within a pixel blue, green, red.
// Returns false (surface untouched) when the surface is empty or too large.
bool prepareColour(const SurfaceBits &colour, const ImagingTables &tables, RandomSource &random);

// Black extraction: along each row, every pixel exactly (0, 0, 0) takes the
// colour of the last pixel before it that was not (white at the start of the
// row) and becomes black in the black surface; black already there stays.
// The surfaces must have the same size.
bool extractBlack(const SurfaceBits &colour, const SurfaceBits &black);

// The monochrome conversion of tables.monoMethod from the colour surface into
// the black surface.  Methods 0 to 3 set every bit of the black surface's
// card area; any other method leaves it as drawn.  The surfaces must have the
// same size.
bool convertToMonochrome(const SurfaceBits &colour, const SurfaceBits &black, const ImagingTables &tables);

// Thinning of resin lines along the card's long side (rows of a landscape
// surface, columns of a portrait one): every black run of two or more dots
// loses its last dot; the first and last dot of a line never change.
bool thinBlack(const SurfaceBits &black);

// --- Varnish bitmap (overlay type 4) ---------------------------------------

// The 1-bit picture a varnish file is stretched into: 1024 x 640, rows of 128
// bytes, as GetDIBits returns it.
constexpr size_t kVarnishDibStride = 128;
constexpr size_t kVarnishDibBytes = kVarnishDibStride * kCardShort;  // 81,920

// A varnish file is never read beyond this: the largest 1-bit picture taken
// (kMaxVarnishPictureSide square) with the largest headers fits well inside.
constexpr int kMaxVarnishPictureSide = 4096;
constexpr size_t kMaxVarnishFileBytes = 4u << 20;

// What the picture looks like once read: where its BITMAPINFO and pixel bits
// are in the file's bytes, and a clean copy of the header (a 40-byte
// BITMAPINFOHEADER followed by the forced black and white palette) for the
// stretching, whatever header version the file carries.
struct VarnishPicture {
  size_t infoOffset;
  size_t bitsOffset;
  size_t bitsBytes;
  int32_t width;
  int32_t height;  // negative: rows top-down
  uint8_t info[48];
};

// How many bytes to read from the start of a varnish file of `fileSize`
// bytes whose first 14 bytes (the file header) are `fileHeader`: the size the
// header names, bounded by the real file and kMaxVarnishFileBytes.  0 when the
// file cannot be a BMP.
size_t varnishReadSize(const uint8_t (&fileHeader)[14], uint64_t fileSize);

// Checks the bytes read from a varnish file and forces its two palette
// entries to black and white, in place.  Refuses (false) anything that is not
// an uncompressed 1-bit BMP whose header, palette and pixel bits all lie
// within the `size` bytes given and within the size its header names.
bool prepareVarnishPicture(uint8_t *file, size_t size, VarnishPicture &out);

// The largest output of encodeVarnishLines: every byte doubled, and the CR.
constexpr size_t kVarnishMaxEncoded = 2 * kVarnishDibBytes + 1;

// Turns the stretched picture (kVarnishDibBytes, rows in the order the DIB
// holds them) into 1024 printer lines: byte columns 127 down to 0, within a
// byte bits from least to most significant, each line the 640 rows packed
// most significant bit first and inverted (1 = varnish); kDataEscape doubled; one CR
// at the end.  Returns the bytes written, 0 when `capacity` is below
// kVarnishMaxEncoded.
size_t encodeVarnishLines(const uint8_t *dib, uint8_t *out, size_t capacity);

}  // namespace card
