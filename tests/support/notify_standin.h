// The notification server's stand-in for the monitors' tests (linux flavour):
// a notifysrv.dll whose SendAsyncNotification shows each payload to winsim's
// scripted user.  A test scripts and reads its messages like message boxes
// (winsim/testing.h); they carry UserChannel::Notification, the printer the
// notification was sent for and the payload's numbers, and a close request
// shows in winsim::closeRequests().
#pragma once

#include <string>

#include <windows.h>

#include "shared/notification_payload.h"

namespace card::test {

// The export's type, as a monitor binds it by name.
using SendAsyncNotificationProc = int(WINAPI *)(LPCWSTR printerName, NotificationPayload *payload);

// Where the monitors load it from: notifysrv.dll in the version-3 folder of
// the spooler's driver directory of the machine's environment
// ("C:\Windows\system32\spool\DRIVERS\x64\3\notifysrv.dll").
std::u16string notificationServerPath();
// Copies the stand-in there.  Call it after each winsim::resetMachine, which
// makes a new drive.  False when the copy failed.
bool installNotificationStandIn();

}  // namespace card::test
