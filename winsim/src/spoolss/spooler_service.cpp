// The spooler as the service "Spooler" of the service control manager, which
// stops and starts it through what this file registers.  Stopping ends the
// despooling threads (the job on a port is sent again from its start later,
// as the spooler keeps a job's spool file over a restart), closes the open
// ports, shuts down and unloads the monitors, tells the registrations of the
// notification broker, and from then on every client call fails with
// RPC_S_SERVER_UNAVAILABLE.  Starting loads the installed monitors and
// resumes the queued jobs.  A machine reset finds it running.
#include <atomic>
#include <deque>

#include "advapi32/services.h"
#include "core/internal.h"
#include "spoolss/spooler_service.h"
#include "spoolss/spooler_state.h"

namespace winsim::spool {

namespace {

std::atomic<bool> g_running{true};

// The queued jobs of each printer while the spooler is stopped, in order.
std::mutex g_heldLock;
std::vector<std::pair<std::u16string, std::deque<DWORD>>> g_heldJobs;

// Ends the despooling threads; what each queue still held is kept.  The job
// on a port stops at its next write and goes back to the front of its
// queue, to be sent again from its start.
void stopQueues() {
  auto queues = stopDespooling(JOB_STATUS_RESTART);
  std::vector<std::pair<std::u16string, std::deque<DWORD>>> held;
  for (auto &kv : queues) {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    if (!kv.second->pending.empty()) held.emplace_back(kv.second->printer, kv.second->pending);
  }
  std::lock_guard<std::mutex> g(g_heldLock);
  g_heldJobs = std::move(held);
}

void stopSpooler() {
  stopQueues();
  closeAllPorts();
  // Shutdown for each monitor, then its DLL goes (once no port in use still
  // needs it).
  resetMonitors();
  winsim::restartSpooler();
  g_running = false;
}

DWORD startSpooler() {
  g_running = true;
  loadInstalledMonitors();
  std::vector<std::pair<std::u16string, std::deque<DWORD>>> held;
  {
    std::lock_guard<std::mutex> g(g_heldLock);
    held.swap(g_heldJobs);
  }
  std::lock_guard<std::recursive_mutex> g(g_lock);
  for (auto &[printer, ids] : held)
    for (DWORD id : ids)
      if (g_jobs.count(id)) enqueue(printer, id);
  return ERROR_SUCCESS;
}

BuiltInService spoolerService() {
  BuiltInService s;
  s.name = u"Spooler";
  s.displayName = u"Print Spooler";
  s.imagePath = u"%SystemRoot%\\System32\\spoolsv.exe";
  s.type = SERVICE_WIN32_OWN_PROCESS;
  s.start = SERVICE_AUTO_START;
  s.errorControl = SERVICE_ERROR_NORMAL;
  s.controlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
  s.stopProgram = stopSpooler;
  s.startProgram = startSpooler;
  return s;
}
const BuiltInServiceRegistration kSpoolerService(spoolerService());

void resetSpoolerService() {
  std::lock_guard<std::mutex> g(g_heldLock);
  g_heldJobs.clear();
  g_running = true;
}
const ResetStep kSpoolerRuns(kResetSpooler, resetSpoolerService);

}  // namespace

bool spoolerAnswers() {
  if (g_running) return true;
  SetLastError(RPC_S_SERVER_UNAVAILABLE);
  return false;
}

}  // namespace winsim::spool
