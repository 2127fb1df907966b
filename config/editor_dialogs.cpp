// Overlay and hologram editors (not yet built).
#include "config/dialogs.h"

namespace card::cfg {

INT_PTR showOverlayDialog(HWND, OverlaySide) { return -1; }
INT_PTR showHologramDialog(HWND) { return -1; }
INT_PTR showHologramAreaDialog(HWND) { return -1; }

}  // namespace card::cfg
