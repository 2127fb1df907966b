#include "shared/ribbons.h"

#include <iterator>

namespace card {

uint8_t ribbonTypeFromId(unsigned ribbonId) {
  switch (ribbonId) {
    case kManualYMCKOK: return kRibbonYMCKOK;
    case kManualYMCKK: return kRibbonYMCKK;
    case kManualYMCKO: return kRibbonYMCKO;
    case kManualYMCUvK: return kRibbonYMCUvK;
    case kManualYMCK: return kRibbonYMCK;
    case kManualYMC: return kRibbonYMC;
    case kManualKdO: return kRibbonKdO;
    case kManualKrO: return kRibbonKrO;
    case kManualHologramOrVarnish: return kRibbonHologram;
    default: return kRibbonKResin;  // kManualResinOrScratchOff and every other value
  }
}

uint8_t ribbonTypeFromPrinterCode(long code) {
  switch (code) {
    case 1: return kRibbonMonochrome;
    case 2:
    case 14:
    case 30: return kRibbonYMCKO;
    case 3:
    case 15: return kRibbonYMCK;
    case 4: return kRibbonYMCKK;
    case 5: return kRibbonYMCKOK;
    case 6: return kRibbonYMC;
    case 7:
    case 8:
    case 9:
    case 10:
    case 11:
    case 12:
    case 13: return kRibbonKResin;
    case 16: return kRibbonKdO;
    case 17: return kRibbonKrO;
    case 18: return kRibbonScratchOff;
    case 19:
    case 20: return kRibbonHologram;
    case 21: return kRibbonClearVarnish;
    case 22:
    case 25: return kRibbonYMCKUv;
    case 23:
    case 24:
    case 26:
    case 27: return kRibbonYMCUvK;
    case 28: return kRibbonKd;
    default: return kRibbonUnknown;
  }
}

namespace {

const LPCWSTR kNames[] = {
    TEXT("YMCKO"),       TEXT("Kresin"), TEXT("KdO"),    TEXT("KrO"),    TEXT("Hologram"),
    TEXT("YMC"),         TEXT("YMCK"),   TEXT("YMCKK"),  TEXT("YMCKOK"), TEXT("Clear Varnish"),
    TEXT("Scratch Off"), TEXT("YMCKUv"), TEXT("YMCUvK"), TEXT("Kd"),     TEXT("Unknown Monochrome"),
};

const LPCWSTR kManual[] = {
    TEXT("YMCKOK"), TEXT("YMCKK"), TEXT("YMCKO"), TEXT("YMCUvK"), TEXT("K Resin / Scratch Off"),
    TEXT("YMCK"),   TEXT("YMC"),   TEXT("KdO"),   TEXT("KrO"),    TEXT("Hologram/Varnish"),
};
static_assert(std::size(kManual) == kManualRibbonCount);

struct Layouts {
  LPCWSTR oneSided[1];
  LPCWSTR twoSided[4];
  unsigned count;
};

const LPCWSTR kNone[] = {TEXT("None")};

// Indexed by ribbon type 0..13; type 14 is chosen by its monochrome kind.
const Layouts kLayouts[] = {
    {{TEXT("Front YMCKO")},
     {TEXT("Front YMCO, Back K"), TEXT("Front YMCKO, Back YMCKO"), TEXT("Front YMC, Back KO")},
     3},
    {{TEXT("Front K")}, {TEXT("Front and Back K")}, 1},
    {{TEXT("Front KdO")}, {TEXT("Front KdO, Back KdO")}, 1},
    {{TEXT("Front KrO")}, {TEXT("Front KrO, Back KrO")}, 1},
    {{TEXT("Front Hologram")}, {TEXT("Front and Back Hologram")}, 1},
    {{TEXT("Front YMC")}, {TEXT("Front YMC, Back YMC")}, 1},
    {{TEXT("Front YMCK")}, {TEXT("Front YMC, Back K"), TEXT("Front YMCK, Back YMCK")}, 2},
    {{TEXT("Front YMCK")}, {TEXT("Front YMCK, Back K"), TEXT("Front YMCK, Back YMCK")}, 2},
    {{TEXT("Front YMCKO")},
     {TEXT("Front YMCKO, Back K"), TEXT("Front YMC, Back KO"), TEXT("Front YMCKO, Back YMCKO"),
      TEXT("Front YMCK, Back K")},
     4},
    {{TEXT("Front Clear Varnish")}, {TEXT("Front and Back Clear Varnish")}, 1},
    {{TEXT("Front Scratch Off")}, {TEXT("Front and Back Scratch Off")}, 1},
    {{TEXT("Print YMCKUv")},
     {TEXT("Front YMCUv, Back K"), TEXT("Front YMCKUv, Back YMCKUv"), TEXT("Front YMC, Back KUv")},
     3},
    {{TEXT("Print YMCUvK")}, {TEXT("Front YMCUv, Back K"), TEXT("Front YMCUv, Back YMCUv")}, 2},
    {{TEXT("Front Thermal")}, {TEXT("Front and Back Thermal")}, 1},
};
static_assert(std::size(kLayouts) == 14);

}  // namespace

unsigned dualSideLayoutCount(uint8_t ribbonType) {
  return ribbonType < std::size(kLayouts) ? kLayouts[ribbonType].count : 1;
}

LPCWSTR ribbonDisplayName(uint8_t ribbonType) {
  return ribbonType < std::size(kNames) ? kNames[ribbonType] : TEXT("None");
}

LPCWSTR manualRibbonName(unsigned ribbonId) {
  return (ribbonId >= kManualYMCKOK && ribbonId <= kManualRibbonCount) ? kManual[ribbonId - 1] : nullptr;
}

unsigned panelLayoutLabels(uint8_t ribbonType, uint8_t monoRibbonKind, bool twoSided, const LPCWSTR *&labels) {
  const Layouts *l = nullptr;
  if (ribbonType < std::size(kLayouts)) {
    l = &kLayouts[ribbonType];
  } else if (ribbonType == kRibbonMonochrome) {
    switch (monoRibbonKind) {
      case kMonoScratchOff: l = &kLayouts[kRibbonScratchOff]; break;
      case kMonoClearVarnish: l = &kLayouts[kRibbonClearVarnish]; break;
      case kMonoHologram: l = &kLayouts[kRibbonHologram]; break;
      default: l = &kLayouts[kRibbonKResin]; break;
    }
  }
  if (!l) {
    labels = kNone;
    return 1;
  }
  if (!twoSided) {
    labels = l->oneSided;
    return 1;
  }
  labels = l->twoSided;
  return l->count;
}

}  // namespace card
