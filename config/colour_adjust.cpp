#include "config/colour_adjust.h"

#include <cmath>
#include <cstring>

namespace card::cfg {

ColourAdjustment adjustmentFromRecord(const JobSettingsRecord &r) {
  // The record keeps the colour channels under the names of their inks: red
  // is cyan's, green magenta's and blue yellow's.
  ColourAdjustment a;
  a.black = r.monoBrightness;
  a.red = r.cyanBrightness;
  a.green = r.magentaBrightness;
  a.blue = r.yellowBrightness;
  a.blackContrast = r.monoContrast;
  a.redContrast = r.cyanContrast;
  a.greenContrast = r.magentaContrast;
  a.blueContrast = r.yellowContrast;
  return a;
}

void storeAdjustment(const ColourAdjustment &a, JobSettingsRecord &r) {
  r.monoBrightness = int16_t(a.black);
  r.cyanBrightness = int16_t(a.red);
  r.magentaBrightness = int16_t(a.green);
  r.yellowBrightness = int16_t(a.blue);
  r.monoContrast = int16_t(a.blackContrast);
  r.cyanContrast = int16_t(a.redContrast);
  r.magentaContrast = int16_t(a.greenContrast);
  r.yellowContrast = int16_t(a.blueContrast);
}

uint8_t applyIntensity(uint8_t v, int a) {
  if (a == 0) return v;
  if (a > 0) {
    const int r = v + a * 256 / 100;
    return uint8_t(r > 255 ? 255 : r);
  }
  const int r = v - (-a) * 256 / 100;
  return uint8_t(r < 0 ? 0 : r);
}

uint8_t applyContrast(uint8_t v, int a) {
  if (a == 0) return v;
  double r;
  if (a > 0) {
    // A stored value beyond 100 would turn the exponent negative and the
    // curve beyond a byte; the sliders end at 100.
    if (a > 100) a = 100;
    const int e = 255 - a * 180 / 100;
    r = 255.0 * std::pow(v / 255.5, e / 255.0);
  } else {
    if (a <= -100) return 0;
    const int k = a * 255 / 100;
    r = 230.0 * std::pow(v / 255.1, 255.0 / (k + 255));
  }
  if (r <= 0) return 0;
  if (r >= 255) return 255;
  return uint8_t(r);
}

bool colourPreview(uint8_t ribbonType) {
  switch (ribbonType) {
    case kRibbonYMCKO:
    case kRibbonKdO:
    case kRibbonYMC:
    case kRibbonYMCK:
    case kRibbonYMCKK:
    case kRibbonYMCKOK:
    case kRibbonYMCKUv:
    case kRibbonYMCUvK:
    case kRibbonKd: return true;
    default: return false;
  }
}

void adjustPreview(uint8_t *p, size_t bytes, uint8_t ribbonType, const ColourAdjustment &a) {
  const bool colour = colourPreview(ribbonType);
  for (size_t i = 0; i + 3 <= bytes; i += 3) {
    if (colour) {
      p[i] = applyContrast(applyIntensity(p[i], a.blue), a.blueContrast);
      p[i + 1] = applyContrast(applyIntensity(p[i + 1], a.green), a.greenContrast);
      p[i + 2] = applyContrast(applyIntensity(p[i + 2], a.red), a.redContrast);
    } else {
      const int grey = (5 * p[i + 2] + 9 * p[i + 1] + 2 * p[i]) / 16;
      const uint8_t v = applyContrast(applyIntensity(uint8_t(grey), a.black), a.blackContrast);
      p[i] = p[i + 1] = p[i + 2] = v;
    }
  }
}

ColourSliders colourSliders(const JobSettingsRecord &r) {
  ColourSliders s;
  switch (r.ribbonType) {
    case kRibbonKResin:
    case kRibbonKrO:
    case kRibbonMonochrome:
      s.colour = false;
      s.black = r.monoConversion == kConvertDiffusion;
      s.blackZeroed = !s.black;
      break;
    case kRibbonKdO:
    case kRibbonYMC:
    case kRibbonKd: s.black = false; break;
    case kRibbonYMCKO:
    case kRibbonYMCK:
    case kRibbonYMCKK:
    case kRibbonYMCKOK:
    case kRibbonYMCKUv:
    case kRibbonYMCUvK: {
      // Black adjustments matter only where a side prints resin black alone.
      const unsigned allColour =
          r.ribbonType == kRibbonYMCKOK ? unsigned(kYmckokBothSidesAlike) : unsigned(kLayoutBothSidesAlike);
      s.black = r.duplex != kSettingOff && r.dualSideLayout != allColour;
      break;
    }
    default: break;
  }
  return s;
}

const uint8_t *previewPixels(const uint8_t *file, size_t length) {
  if (!file || length != kPreviewFileBytes || file[0] != 'B' || file[1] != 'M') return nullptr;
  auto u32 = [&](size_t at) {
    uint32_t v;
    std::memcpy(&v, file + at, 4);
    return v;
  };
  auto s32 = [&](size_t at) {
    int32_t v;
    std::memcpy(&v, file + at, 4);
    return v;
  };
  uint16_t bits;
  std::memcpy(&bits, file + 28, 2);
  if (u32(10) != kPreviewFileHeader + kPreviewInfoHeader || u32(14) != kPreviewInfoHeader || s32(18) != kPreviewSide ||
      s32(22) != kPreviewSide || bits != 24 || u32(30) != 0)
    return nullptr;
  return file + kPreviewFileHeader + kPreviewInfoHeader;
}

}  // namespace card::cfg
