// The card setup sheet: DrvDocumentPropertySheets when the common property
// sheet UI calls it with its PROPSHEETUI_INFO.
#pragma once

#include <windows.h>
#include <compstui.h>

namespace card::cfg {

// One reason of the sheet's life (INIT, SET_RESULT, DESTROY; others do
// nothing and return 1).
LONG documentSheet(PROPSHEETUI_INFO *info, LPARAM lParam);

}  // namespace card::cfg
