// Device information, About, encoder and single feed dialogs (not yet built).
#include "config/dialogs.h"

namespace card::cfg {

INT_PTR showDeviceInfoDialog(HWND) { return -1; }
INT_PTR showAboutDialog(HWND) { return -1; }
INT_PTR showEncoderDialog(HWND) { return -1; }
INT_PTR showAdvancedEncoderDialog(HWND) { return -1; }
INT_PTR showSingleFeedDialog(HWND) { return -1; }

}  // namespace card::cfg
