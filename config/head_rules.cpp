#include "config/head_rules.h"

namespace card::cfg {

namespace {

constexpr uint32_t bit(unsigned n) { return 1u << n; }
constexpr uint32_t kColourBars = bit(kHeadYellowIntensity) | bit(kHeadMagentaIntensity) | bit(kHeadCyanIntensity) |
                                 bit(kHeadYellowContrast) | bit(kHeadMagentaContrast) | bit(kHeadCyanContrast);
constexpr uint32_t kDyeBlackBars = bit(kHeadBlackDyeIntensity) | bit(kHeadBlackDyeContrast);

}  // namespace

uint32_t enabledHeadTrackbars(uint8_t ribbonType, uint8_t kind) {
  switch (ribbonType) {
    case kRibbonYMCKO:
    case kRibbonYMCKOK:
    case kRibbonYMCKUv: return bit(kHeadVarnishContrast) | bit(kHeadBlackContrast) | kColourBars;
    case kRibbonKResin: return bit(kHeadBlackContrast);
    case kRibbonKdO: return bit(kHeadVarnishContrast) | kDyeBlackBars;
    case kRibbonKrO: return bit(kHeadVarnishContrast) | bit(kHeadBlackContrast);
    case kRibbonHologram: return bit(kHeadHologramContrast);
    case kRibbonYMC: return kColourBars;
    case kRibbonYMCK:
    case kRibbonYMCKK:
    case kRibbonYMCUvK: return bit(kHeadBlackContrast) | kColourBars;
    case kRibbonKd: return kDyeBlackBars;
    case kRibbonMonochrome:
      switch (kind) {
        case kMonoResin: return bit(kHeadBlackContrast);
        case kMonoClearVarnish: return bit(kHeadVarnishContrast) | bit(kHeadHologramContrast);
        case kMonoHologram: return bit(kHeadHologramContrast);
        default: return 0;
      }
    default: return 0;
  }
}

uint8_t *headValue(JobSettingsRecord &r, unsigned trackbar) {
  switch (trackbar) {
    case kHeadVarnishContrast: return &r.varnishContrast;
    case kHeadBlackContrast: return &r.blackContrast;
    case kHeadHologramContrast: return &r.hologramContrast;
    case kHeadYellowIntensity:
    case kHeadMagentaIntensity:
    case kHeadCyanIntensity: return &r.colourIntensity[trackbar - kHeadYellowIntensity];
    case kHeadBlackDyeIntensity: return &r.blackDyeIntensity;
    case kHeadYellowContrast:
    case kHeadMagentaContrast:
    case kHeadCyanContrast: return &r.colourContrast[trackbar - kHeadYellowContrast];
    case kHeadBlackDyeContrast: return &r.blackDyeContrast;
    default: return nullptr;
  }
}

}  // namespace card::cfg
