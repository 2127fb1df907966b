// The spooler as a service of the service control manager: it stops (its
// despooling threads end, its ports close, its monitors are shut down and
// unloaded) and starts again (the installed monitors loaded, the queued jobs
// resumed).  While it is stopped no client reaches it.
#pragma once

namespace winsim::spool {

// The check at the top of each client call: true while the spooler runs;
// false, with RPC_S_SERVER_UNAVAILABLE as the last error, while it is
// stopped.
bool spoolerAnswers();

// Loads every monitor installed under the spooler's Monitors key, as the
// spooler does when it starts (monitors.cpp); one that does not load is
// left out.
void loadInstalledMonitors();

}  // namespace winsim::spool
