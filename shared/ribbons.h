// How the settings' manual choice and the printer's ribbon codes map onto the
// one numbering of ribbon kinds (RibbonType, with the job settings record),
// and the two-sided panel layouts of each ribbon.
#pragma once

#include <windows.h>

#include <cstdint>

#include "shared/job_settings.h"

namespace card {

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
