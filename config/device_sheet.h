// The printer's device property page: model and firmware, and push buttons
// for the encoder settings, tools, firmware download, device information,
// single feed and About.
#pragma once

#include <windows.h>

#include <compstui.h>

namespace card::cfg {

// DrvDevicePropertySheets with a property sheet: INIT adds the page,
// SET_RESULT and DESTROY end it; other reasons return 0.
LONG devicePropertySheets(PROPSHEETUI_INFO *info, LPARAM lParam);

}  // namespace card::cfg
