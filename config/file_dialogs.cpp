// The Send File dialog and the firmware download page.
#include "config/dialogs.h"

namespace card::cfg {

INT_PTR showSendFileDialog(HWND) { return -1; }
INT_PTR showFirmwareDialog(HWND) { return -1; }

}  // namespace card::cfg
