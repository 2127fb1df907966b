// What the device sheet and its dialogs share: questions to the printer on
// the module's current printer, the master encoder block, the printer's
// default DEVMODE, the wait message and texts from the printer's code page.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/device_info.h"
#include "config/encoder_setup.h"
#include "shared/wide_string.h"

namespace card::cfg {

// A query on the module's current printer; when that fails, once more on a
// handle opened by the printer's full name (raw_channel.h).  At most
// `capacity` reply bytes are taken.
QueryResult askPrinter(std::string_view command, size_t capacity);

// A query on a handle of the caller's, followed by the same deletion.
QueryResult askPrinterOn(HANDLE printer, std::string_view command, size_t capacity);

// The printer's full name: from the current handle's level-2 information,
// else the name the sheet remembered.
WString currentPrinterName();

// The encoder settings as the device sheet loaded them from the printer's
// default DEVMODE; the encoder dialogs edit copies of it.
EncoderBlock &masterEncoderBlock();
// Loads the master block from a record (the device sheet does when it opens).
void loadMasterEncoderBlock(const JobSettingsRecord &record);
// Writes the master block into the printer's default DEVMODE (record offset
// 38) with SetPrinterW level 2 on the current handle.  False when the
// printer has no card DEVMODE or the spooler refused.
bool storeMasterEncoderBlock();

// The manual ribbon selection of the DEVMODE being edited, else of the
// printer's default DEVMODE; 0 when neither is known.
uint16_t currentRibbonId();

// Shows "Applying printer settings. Please wait..." from a thread of its own
// for 5000 ms, without its button, then closes it.
void showWaitMessage();

// Sets a control's text from 8-bit text in the system's code page.
void setAnsiText(HWND dialog, int control, const std::string &text);

// The dialog procedures, for the device sheet's push buttons, which open
// them with the templates of device_ids.h.
INT_PTR CALLBACK deviceInfoDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK singleFeedDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK encoderDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK advancedEncoderDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// The firmware download page (files_ids.h).
INT_PTR CALLBACK firmwareDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace card::cfg
