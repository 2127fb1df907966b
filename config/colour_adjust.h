// The colour adjustment of the card setup sheet: intensity and contrast of
// the black, red, green and blue channels as the record stores them (-100 to
// 100 each), applied to the preview picture, and which sliders a ribbon lets
// the user move.
#pragma once

#include <cstddef>
#include <cstdint>

#include "shared/job_settings.h"

namespace card::cfg {

// The preview picture: 100 by 100 pixels, 24 bits, rows bottom-up as a BMP
// stores them, blue, green and red bytes per pixel.
constexpr int kPreviewSide = 100;
constexpr size_t kPreviewPixelBytes = size_t(kPreviewSide) * kPreviewSide * 3;  // 30000
constexpr size_t kPreviewFileHeader = 14;
constexpr size_t kPreviewInfoHeader = 40;
constexpr size_t kPreviewFileBytes = kPreviewFileHeader + kPreviewInfoHeader + kPreviewPixelBytes;

// The eight adjustments, in slider order.
struct ColourAdjustment {
  int black = 0, red = 0, green = 0, blue = 0;  // intensity
  int blackContrast = 0, redContrast = 0, greenContrast = 0, blueContrast = 0;
};

ColourAdjustment adjustmentFromRecord(const JobSettingsRecord &record);
void storeAdjustment(const ColourAdjustment &a, JobSettingsRecord &record);

// Intensity `a` on a byte: a shift by a * 256 / 100, kept within 0..255.
uint8_t applyIntensity(uint8_t v, int a);
// Contrast `a` on a byte: a power curve, truncated to an integer.
uint8_t applyContrast(uint8_t v, int a);

// Whether the preview keeps its colours for this ribbon (otherwise it is
// turned grey and takes the black adjustments).
bool colourPreview(uint8_t ribbonType);

// Adjusts the picture's pixels (blue, green, red byte triples) in place.
void adjustPreview(uint8_t *pixels, size_t bytes, uint8_t ribbonType, const ColourAdjustment &a);

// Which sliders can be moved, and whether the black ones show 0 because the
// monochrome conversion does not use them.
struct ColourSliders {
  bool colour = true;
  bool black = true;
  bool blackZeroed = false;
};
ColourSliders colourSliders(const JobSettingsRecord &record);

// The picture's pixels from the file's bytes: a 24-bit, 100 by 100 BMP of
// exactly the expected size and headers.  Null when the file is not one.
const uint8_t *previewPixels(const uint8_t *file, size_t length);

}  // namespace card::cfg
