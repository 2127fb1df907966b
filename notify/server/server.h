// notifysrv's pieces: carrying one payload to the tray program in the
// console user's session, and starting that program when it does not run.
#pragma once

#include <windows.h>

namespace card::notify {

// What became of one notification.
enum class Delivery {
  Acknowledged,  // the tray program answered with the acknowledgement
  NotShown,      // nobody took it, the channel could not be opened, or the
                 // conversation ended without an acknowledgement
};

Delivery sendNotification(LPCWSTR printerName, const void *payload);

// Starts "<system dir>\\notifytray.exe" in the console session's user's
// name unless the program's instance mutex exists; true when it was started
// (or tried to be), so that the caller gives it a moment to register.
bool ensureTrayRunning();

}  // namespace card::notify
