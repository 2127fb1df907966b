// The head settings dialog's rule: which of its eleven trackbars the
// installed ribbon has a panel for.
#pragma once

#include <cstdint>

#include "shared/job_settings.h"

namespace card::cfg {

// The trackbars in dialog order; bit n of a mask is trackbar n.
enum HeadTrackbar : unsigned {
  kHeadVarnishContrast = 0,   // O
  kHeadBlackContrast = 1,     // Kr
  kHeadHologramContrast = 2,  // H
  kHeadYellowIntensity = 3,
  kHeadMagentaIntensity = 4,
  kHeadCyanIntensity = 5,
  kHeadBlackDyeIntensity = 6,  // Kd
  kHeadYellowContrast = 7,
  kHeadMagentaContrast = 8,
  kHeadCyanContrast = 9,
  kHeadBlackDyeContrast = 10,  // Kd
  kHeadTrackbarCount = 11,
};

constexpr uint8_t kHeadValueMax = 10;
constexpr uint8_t kHeadValueDefault = 5;

// The enabled trackbars for a ribbon type (and its monochrome kind).
uint32_t enabledHeadTrackbars(uint8_t ribbonType, uint8_t monoRibbonKind);

// The record's eleven head values, in trackbar order.
uint8_t *headValue(JobSettingsRecord &record, unsigned trackbar);

}  // namespace card::cfg
