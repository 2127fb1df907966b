// The job settings the driver modules act on, with their ranges and the
// installer's defaults, as the record's definition, the dialogs that edit them
// and the default settings file give them.  Written out here, apart from the
// modules' own range table, so that tests check the documented values rather
// than the code's copy of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "shared/job_settings.h"

namespace card::test {

struct Setting {
  const char *name;
  size_t offset;
  int width;
  long low, high, installerDefault;
};
inline constexpr Setting kSettings[] = {
    {"rotate180", 6, 2, 0, 3, 0},
    {"duplex", 8, 2, 0, 1, 1},
    {"ribbonType", 10, 1, 0, 15, 1},
    {"monoRibbonKind", 11, 1, 0, 3, 0},
    {"dualSideLayout", 14, 2, 0, 3, 0},
    {"blackBitmap", 18, 2, 0, 1, 1},
    {"monoConversion", 20, 2, 0, 3, 0},
    {"blackPanelMode", 22, 1, 0, 3, 1},
    {"jobMode", 24, 2, 0, 3, 0},
    {"ribbonId", 26, 2, 0, 10, 0},
    {"laminateSideLX3", 28, 2, 0, 2, 0},
    {"laminateSideLX2", 30, 2, 0, 2, 0},
    {"modelClass", 35, 1, 0, 7, 0},
    {"hasEncoder", 38, 2, 0, 1, 0},
    {"macroProcessing", 40, 2, 0, 1, 1},
    {"frontOverlay.type", 92, 2, 0, 7, 0},
    {"frontOverlay.rotated", 94, 2, 0, 1, 0},
    {"backOverlay.type", 1136, 2, 0, 7, 0},
    {"backOverlay.rotated", 1138, 2, 0, 1, 0},
    {"varnishContrast", 3228, 1, 0, 10, 5},
    {"blackContrast", 3229, 1, 0, 10, 5},
    {"hologramContrast", 3230, 1, 0, 10, 5},
    {"Y intensity", 3231, 1, 0, 10, 5},
    {"M intensity", 3232, 1, 0, 10, 5},
    {"C intensity", 3233, 1, 0, 10, 5},
    {"blackDyeIntensity", 3234, 1, 0, 10, 5},
    {"Y contrast", 3235, 1, 0, 10, 5},
    {"M contrast", 3236, 1, 0, 10, 5},
    {"C contrast", 3237, 1, 0, 10, 5},
    {"blackDyeContrast", 3238, 1, 0, 10, 5},
    {"monoBrightness", 3240, 2, -100, 100, 0},
    {"cyanBrightness", 3242, 2, -100, 100, 0},
    {"magentaBrightness", 3244, 2, -100, 100, 0},
    {"yellowBrightness", 3246, 2, -100, 100, 0},
    {"monoContrast", 3248, 2, -100, 100, 0},
    {"cyanContrast", 3250, 2, -100, 100, 0},
    {"magentaContrast", 3252, 2, -100, 100, 0},
    {"yellowContrast", 3254, 2, -100, 100, 0},
};

// A setting's value in a record, signed where its range has negative values.
inline long settingOf(const JobSettingsRecord &r, const Setting &s) {
  const auto *b = reinterpret_cast<const uint8_t *>(&r);
  if (s.width == 1) return b[s.offset];
  int16_t v;
  std::memcpy(&v, b + s.offset, 2);
  return s.low < 0 ? long(v) : long(uint16_t(v));
}

}  // namespace card::test
