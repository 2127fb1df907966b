// The printer's property sheets: DocumentPropertiesW's prompt and
// PrinterProperties show the UI module's sheets through the common property
// sheet UI, which sits above winspool and registers itself here.
#pragma once

#include <windows.h>
#include <compstui.h>

namespace winsim {

using SheetHost = LONG (*)(HWND owner, PFNPROPSHEETUI fn, LPARAM lParam, LPDWORD result);
void registerSheetHost(SheetHost host);

}  // namespace winsim
