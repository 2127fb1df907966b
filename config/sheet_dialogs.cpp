// Colour correction and print-head settings dialogs (not yet built).
#include "config/dialogs.h"

namespace card::cfg {

INT_PTR showColourDialog(HWND) { return -1; }
INT_PTR showHeadSettingsDialog(HWND) { return -1; }

}  // namespace card::cfg
