// The one numbering of ribbon kinds (ribbon type index 0..15), how the
// settings' manual choice and the printer's ribbon codes map onto it, and the
// two-sided panel layouts of each ribbon.
#pragma once

#include <windows.h>

#include <cstdint>

namespace card {

enum RibbonType : uint8_t {
  kRibbonYMCKO = 0,
  kRibbonKResin = 1,
  kRibbonKdO = 2,
  kRibbonKrO = 3,
  kRibbonHologram = 4,
  kRibbonYMC = 5,
  kRibbonYMCK = 6,
  kRibbonYMCKK = 7,
  kRibbonYMCKOK = 8,
  kRibbonClearVarnish = 9,
  kRibbonScratchOff = 10,
  kRibbonYMCKUv = 11,
  kRibbonYMCUvK = 12,
  kRibbonKd = 13,
  kRibbonMonochrome = 14,
  kRibbonUnknown = 15,
};

// Kinds of a monochrome ribbon (ribbon type 14).
enum MonoRibbonKind : uint8_t { kMonoResin = 0, kMonoScratchOff = 1, kMonoClearVarnish = 2, kMonoHologram = 3 };

// Manual ribbon choice of the settings (1..10) to ribbon type; anything else
// is resin black.
uint8_t ribbonTypeFromId(unsigned ribbonId);

// Ribbon code reported by the printer to ribbon type; unknown codes give 15.
uint8_t ribbonTypeFromPrinterCode(long code);

// Number of two-sided panel layouts of a ribbon (1 for ribbons with a single
// layout, including unknown types).
unsigned dualSideLayoutCount(uint8_t ribbonType);

// Name of a ribbon type as the configuration module shows it ("None" for 15
// and above).
LPCWSTR ribbonDisplayName(uint8_t ribbonType);

// Entry of the manual ribbon list (selection 1..10), or NULL.
LPCWSTR manualRibbonName(unsigned ribbonId);

// The panel layout list shown for a ribbon: one entry for one-sided printing,
// the ribbon's layouts in order for two-sided printing.  Returns the number of
// entries (at most 4) and sets `labels` to them.
unsigned panelLayoutLabels(uint8_t ribbonType, uint8_t monoRibbonKind, bool twoSided, const LPCWSTR *&labels);

}  // namespace card
