// The module's dialogs, each opened modally over `owner`.  They edit the
// DEVMODE the open sheet is editing (state().current) or, for the device
// dialogs, the printer's defaults; each returns what its procedure ended with
// (-1 when the dialog could not be created).
#pragma once

#include <windows.h>

namespace card::cfg {

// Card setup sheet.
INT_PTR showColourDialog(HWND owner);        // 109 colour correction
INT_PTR showHeadSettingsDialog(HWND owner);  // 107 print-head settings

// Overlay and hologram editors; 1 when anything changed.
enum class OverlaySide { Front, Back };
INT_PTR showOverlayDialog(HWND owner, OverlaySide side);  // 108 front, 117 back
INT_PTR showHologramDialog(HWND owner);                   // 110
INT_PTR showHologramAreaDialog(HWND owner);               // 111

// Device sheet and printer information.
INT_PTR showDeviceInfoDialog(HWND owner);       // 113
INT_PTR showAboutDialog(HWND owner);            // 102
INT_PTR showEncoderDialog(HWND owner);          // 104
INT_PTR showAdvancedEncoderDialog(HWND owner);  // 105
INT_PTR showSingleFeedDialog(HWND owner);       // 122

// Printer tools.
INT_PTR showToolsDialog(HWND owner);     // 112
INT_PTR showSendFileDialog(HWND owner);  // 2147, opened from the tools
INT_PTR showFirmwareDialog(HWND owner);  // 116 firmware download

}  // namespace card::cfg
