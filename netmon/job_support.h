// What the job path needs besides its connections: the error wait with its
// message task, the abort clean-up sequence, the ribbon checks at job start,
// and the file requests a capture job ends with.
#pragma once

#include <windows.h>

#include "netmon/monitor.h"

namespace card::net {

// The error wait (error_wait.cpp): the port's current message is shown
// while the printer is polled; true once the error is over and the data
// channel reconnected, false when the user cancelled the job (deleted, "\eR\r"
// sent, the job marked failed) or the wait could not run.
bool errorWait(PortEntry &p);
// The end of a cancelled or deleted job after data went out: the printer is
// brought back to a defined state.  The caller holds the global lock.
void abortCleanup(PortEntry &p);
// Takes away a message task still running on the port (ClosePort).
void stopMessageTask(PortEntry &p);

// The ribbon check at job start (ribbon.cpp): the ribbon and the model
// asked, the ribbon cache file written, a wait with a message while no
// ribbon is loaded; sets the ribbon class flag and the model text.
void checkRibbon(PortEntry &p);
// The remaining-ribbon check and its low ribbon alert, for a ribbon that has
// a count.
void checkRemainingRibbon(PortEntry &p);
// Ends the low ribbon alert of the job (EndDocPort).
void stopLowRibbonAlert(PortEntry &p);

// Capture jobs (capture.cpp): a job whose document name is "FILE_PRN",
// "FILE_TXT" or "FILE_BIN" is collected in a temp file and handed to the
// matching request at its end.
bool isCaptureDocument(LPCWSTR documentName);
// Job start of a capture job (the channels are open): false, with the
// thread's last error, when the temp file cannot be had.
bool startCapture(PortEntry &p, LPCWSTR documentName);
// Whether the port is collecting a capture job's bytes.
bool capturing(const PortEntry &p);
// Appends the job's bytes; all of them count as written.
BOOL captureWrite(PortEntry &p, const BYTE *data, DWORD size, LPDWORD written);
// End of a capture job: the request carried out, the temp file deleted, the
// job marked and deleted, document complete set.
void endCapture(PortEntry &p);
// A port closed during a capture job: the temp file goes, nothing is sent.
void cancelCapture(PortEntry &p);

// A prefixed request ("PrintFile:", "sendcmds:", "download:",
// "SetPrinterName:") carried out on the port's open data channel
// (requests.cpp); its result.
bool isPrefixedRequest(LPCWSTR valueName);
bool handlePrefixedRequest(PortEntry &p, LPCWSTR valueName);

}  // namespace card::net
