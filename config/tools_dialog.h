// The printer tools dialog (112): a technician's raw commands, test card,
// cleaning, print-position offsets and direct magnetic encoding.  The device
// sheet opens it with this procedure and the template of tools_ids.h.
#pragma once

#include <windows.h>

namespace card::cfg {

INT_PTR CALLBACK toolsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace card::cfg
