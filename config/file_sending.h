// Whole files to the printer, without a window: the Send File dialog, the
// firmware page and cardtool carry out a send through these.  A printer
// attached to this computer gets the file's path and its language monitor
// sends the file; a printer reached through a print server gets the file's
// contents as a spooler document, since the monitor there cannot read it.
#pragma once

#include <windows.h>

#include "config/raw_channel.h"
#include "config/reply_display.h"

namespace card::cfg {

// A printer file (kPrinterFile) or a text file of commands (kCommandFile).
// `rememberedName` is the printer's name when the caller holds one (the
// request then goes on a handle opened by it), else `current` is used.
bool sendFile(ProblemSink &problems, LPCWSTR rememberedName, HANDLE current, LPCWSTR path, FileKind kind);

// A printer or laminator firmware image: through a print server as a file
// job, else as the firmware document written directly when the working
// settings hold a ribbon selection, else by the monitor's "download:".
// The caller has identified the file (firmware_file.h).
bool downloadFirmware(ProblemSink &problems, LPCWSTR rememberedName, HANDLE current, LPCWSTR path);

// Starts the tray program (the system folder's "notifytray.exe") when no
// copy runs, so that the printer's messages during a send reach the user.
void startTrayForSending();

}  // namespace card::cfg
