// What the job path's files share: the spooler's view of the port's job, and
// the network pacing writer behind WritePort.
#pragma once

#include <windows.h>

#include "netmon/monitor.h"

namespace card::net {

// The job's JOB_STATUS_ bits as the spooler reports them; 0 when the port
// has no printer handle or the spooler does not answer.
DWORD jobStatus(PortEntry &p);
// Whether the spooler is deleting the port's job (the cancel flag is set
// then).
bool jobDeleting(PortEntry &p);

// One WritePort call's work on the data channel: one command followed by its
// reply check, or the bytes of the current data block in the buffer as
// framed slices (pacing.cpp).
BOOL pacedWrite(PortEntry &p, const BYTE *buffer, DWORD size, LPDWORD written);

// Ends the port's reachability watcher (set its stop event, wait a bounded
// time).  False when it did not end in time: it may still read the entry,
// which must then not be freed.  Whoever frees an entry without ClosePort
// (Shutdown) calls it first.
bool stopWatcher(PortEntry &p);

// Writes a note for the debugger.
void debugNote(const char *text);

}  // namespace card::net
