// The spooler service: the port a printer writes to, and
// a despooling thread per printer that writes its ended jobs to the port one
// at a time, in order, as the print processor of the real spooler does.
#include <algorithm>
#include <cstring>
#include <filesystem>

#include "core/internal.h"
#include "spoolss/spooler_state.h"

namespace winsim::spool {

std::u16string portOf(const std::u16string &printer) {
  HKEY k = openPrinterKey(printer);
  if (!k) return {};
  std::u16string p = readString(k, u"Port");
  RegCloseKey(k);
  return p;
}

// One opening of a port at a time: a monitor refuses a second open of one
// port, so a query and a job that both find the port closed must not both
// open it (the one refused would fail its job).  Recursive, because a
// monitor opening the port may call back into the spooler.
std::shared_ptr<std::recursive_mutex> portOpenLock(const std::u16string &key) {
  static auto &locks = *new std::map<std::u16string, std::shared_ptr<std::recursive_mutex>>;
  std::lock_guard<std::recursive_mutex> g(g_lock);
  auto &l = locks[key];
  if (!l) l = std::make_shared<std::recursive_mutex>();
  return l;
}

namespace {
// Counts the closings of all ports (under g_lock): an opening that started
// before one does not keep its port.
unsigned g_portClosings = 0;
}  // namespace

void closeAllPorts() {
  std::map<std::u16string, OpenPort> ports;
  {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    ports.swap(g_ports);
    ++g_portClosings;
  }
  ports.clear();  // ClosePort, without the lock: a monitor may call back
}

// The open port of a printer, opened on first use.  A port whose printer now
// wants another language monitor is opened again.
std::shared_ptr<Port> portFor(const std::u16string &printer, const std::u16string &portName) {
  std::u16string key = upper(portName), monitor = printerMonitorName(printer);
  auto openPort = [&]() -> std::shared_ptr<Port> {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    auto it = g_ports.find(key);
    if (it != g_ports.end() && equalsNoCase(it->second.monitor, monitor)) return it->second.port;
    return nullptr;
  };
  if (auto open = openPort()) return open;
  auto opening = portOpenLock(key);
  std::lock_guard<std::recursive_mutex> one(*opening);
  // Another thread may have opened it while this one waited.
  if (auto open = openPort()) return open;
  std::shared_ptr<Port> made;
  std::shared_ptr<Port> old;
  unsigned closings = 0;
  {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    closings = g_portClosings;
    auto it = g_ports.find(key);
    if (it != g_ports.end()) {
      // Closed before the new one opens: a monitor refuses a second open of
      // one port.
      old = std::move(it->second.port);
      g_ports.erase(it);
    }
  }
  old.reset();
  // Opened without the spooler's lock: the monitor may call back.
  made = openRegisteredPort(printer, portName);
  if (!made->isOpen()) return made;
  std::lock_guard<std::recursive_mutex> g(g_lock);
  // The spooler stopped while the port opened: it serves this caller only
  // and closes when the caller is done with it.
  if (closings != g_portClosings) return made;
  auto it = g_ports.find(key);
  if (it != g_ports.end()) return it->second.port;  // another thread opened it meanwhile
  g_ports[key] = OpenPort{monitor, made};
  return made;
}

bool jobDeleting(DWORD id) {
  std::lock_guard<std::recursive_mutex> g(g_lock);
  auto it = g_jobs.find(id);
  return it == g_jobs.end() || (it->second.rec.status & JOB_STATUS_DELETING);
}

// Why the spooler stops handing a job's bytes to its port: deleted (or gone),
// or restarted, which sends it again from its start.
enum class JobStop { None, Deleted, Restarted };

JobStop jobStop(DWORD id) {
  std::lock_guard<std::recursive_mutex> g(g_lock);
  auto it = g_jobs.find(id);
  if (it == g_jobs.end() || (it->second.rec.status & JOB_STATUS_DELETING)) return JobStop::Deleted;
  if (it->second.rec.status & JOB_STATUS_RESTART) return JobStop::Restarted;
  return JobStop::None;
}

// A printer set to work offline, or paused, keeps its jobs in the queue
// until it is back; the job on the port goes on.
bool printerHolds(const std::u16string &printer) {
  HKEY k = openPrinterKey(printer);
  if (!k) return false;
  bool holds = (readDword(k, u"Attributes") & PRINTER_ATTRIBUTE_WORK_OFFLINE) ||
               (readDword(k, u"Status") & PRINTER_STATUS_PAUSED);
  RegCloseKey(k);
  return holds;
}

// A port that takes no bytes is given this long (simulated time) before the
// job is given up, so that a dead device cannot hold a queue for ever.
constexpr uint64_t kStallLimitMs = 5 * 60 * 1000;
// Pause before writing again after a write that took no bytes.
constexpr DWORD kRetryPauseMs = 100;
// A monitor that refuses to start a job (its printer busy or in error) is
// asked again this often, the job showing an error meanwhile, as the spooler
// puts such a job back into its queue.
constexpr DWORD kStartRetryMs = 3000;

void setJobError(DWORD id, bool error) {
  std::lock_guard<std::recursive_mutex> g(g_lock);
  auto it = g_jobs.find(id);
  if (it == g_jobs.end()) return;
  if (error)
    it->second.rec.status |= JOB_STATUS_ERROR;
  else
    it->second.rec.status &= ~DWORD(JOB_STATUS_ERROR);
}

// Starts the job on the port, again and again while the port's monitor
// refuses and the job is neither deleted, restarted (the spooler stopping
// restarts it) nor past the stall limit.
bool startJob(Port &port, const Job &job) {
  const JobRecord &r = job.rec;
  if (port.startDoc(r.printer, r.id, r.document)) return true;
  if (!port.retriesStart()) return false;
  setJobError(r.id, true);
  const uint64_t since = virtualNowMs();
  bool ok = false;
  while (!ok && virtualNowMs() - since < kStallLimitMs) {
    for (DWORD waited = 0; waited < kStartRetryMs && jobStop(r.id) == JobStop::None; waited += kRetryPauseMs)
      Sleep(kRetryPauseMs);
    if (jobStop(r.id) != JobStop::None) break;
    ok = port.startDoc(r.printer, r.id, r.document);
  }
  setJobError(r.id, false);
  return ok;
}

// A port prints one job at a time, whichever of its printers it comes from.
std::shared_ptr<std::mutex> portBusyLock(const std::u16string &portName) {
  static auto &locks = *new std::map<std::u16string, std::shared_ptr<std::mutex>>;
  std::lock_guard<std::recursive_mutex> g(g_lock);
  auto &l = locks[upper(portName)];
  if (!l) l = std::make_shared<std::mutex>();
  return l;
}

// Hands an ended job to its port: start, writes until every byte is taken,
// end.  Runs on the printer's despooling thread.  A job deleted or restarted
// meanwhile gets no more writes once the write under way has returned; its
// port still ends the document (a monitor reads the job's state there).
void despool(Job &job) {
  auto busy = portBusyLock(job.outputFile.empty() ? job.rec.port : job.outputFile);
  std::lock_guard<std::mutex> portTaken(*busy);
  std::shared_ptr<Port> port = job.outputFile.empty() ? portFor(job.rec.printer, job.rec.port)
                                                      : std::shared_ptr<Port>(makeFilePort(job.outputFile));
  bool ok = startJob(*port, job);
  if (!ok) {
    // A job restarted while its start was refused waits in its queue again.
    if (jobStop(job.rec.id) != JobStop::Restarted) job.rec.aborted = true;
    return;
  }
  // Written in blocks, as the spooler hands spool data to a port; a write
  // that takes fewer bytes is followed by one with the rest.
  const size_t kBlock = 0x10000;
  const auto &bytes = job.rec.bytes;
  uint64_t lastProgress = virtualNowMs();
  for (size_t off = 0; ok && off < bytes.size();) {
    JobStop stop = jobStop(job.rec.id);
    if (stop == JobStop::Restarted) break;
    if (stop == JobStop::Deleted) {
      ok = false;
      break;
    }
    DWORD n = DWORD(std::min(kBlock, bytes.size() - off)), done = 0;
    ok = port->write(bytes.data() + off, n, &done);
    if (!ok) break;
    if (done) {
      off += std::min(done, n);
      lastProgress = virtualNowMs();
    } else if (virtualNowMs() - lastProgress >= kStallLimitMs) {
      OutputDebugStringA("winsim: the port took no bytes for too long; the job is given up");
      ok = false;
    } else {
      Sleep(kRetryPauseMs);
    }
  }
  if (!port->endDoc()) ok = false;
  if (!ok) job.rec.aborted = true;
}

void despoolLoop(std::shared_ptr<PrinterQueue> q) {
  std::unique_lock<std::recursive_mutex> lk(g_lock);
  for (;;) {
    g_queueCv.wait(lk, [&] { return q->stop || (!q->pending.empty() && !printerHolds(q->printer)); });
    if (q->stop) break;
    DWORD id = q->pending.front();
    q->pending.pop_front();
    auto it = g_jobs.find(id);
    if (it == g_jobs.end() || it->second.rec.aborted) continue;
    q->current = id;
    // A restarted job starts again from its first byte, no longer restarting.
    it->second.rec.status &= ~DWORD(JOB_STATUS_RESTART | JOB_STATUS_COMPLETE | JOB_STATUS_PRINTED);
    it->second.rec.status |= JOB_STATUS_PRINTING;
    Job job = it->second;
    lk.unlock();
    despool(job);
    lk.lock();
    it = g_jobs.find(id);
    if (it != g_jobs.end()) {
      JobRecord &rec = it->second.rec;
      rec.status &= ~DWORD(JOB_STATUS_PRINTING);
      // Restarted while it was on the port, and not deleted since (its
      // monitor may delete it when it sees the restart): sent again.
      bool again = (rec.status & JOB_STATUS_RESTART) && !rec.aborted && !job.rec.aborted;
      if (again) {
        // First in the queue again, as the spooler sends a restarted job
        // before the ones behind it.
        q->pending.push_front(id);
      } else {
        rec.aborted = rec.aborted || job.rec.aborted;
        rec.status |= rec.aborted ? JOB_STATUS_DELETED : JOB_STATUS_PRINTED;
        rec.despooled = true;
        jobLeftQueue(rec.printer);
      }
    }
    q->current = 0;
    g_queueCv.notify_all();
  }
  q->finished = true;
  g_queueCv.notify_all();
}

// Queues an ended job on its printer's queue; called with the lock held.
void enqueue(const std::u16string &printer, DWORD id) {
  auto &q = g_queues[upper(printer)];
  if (!q) {
    q = std::make_shared<PrinterQueue>();
    q->printer = printer;
    q->thread = std::thread(despoolLoop, q);
  }
  q->pending.push_back(id);
  g_queueCv.notify_all();
}

// A queue is idle when its port has no job and nothing waits, or what waits
// is held by a printer that works offline or is paused: nothing moves until
// the printer is back.
bool queuesIdle(const std::u16string &printer) {
  for (auto &kv : g_queues) {
    if (!printer.empty() && !equalsNoCase(kv.second->printer, printer)) continue;
    if (kv.second->current) return false;
    if (!kv.second->pending.empty() && !printerHolds(kv.second->printer)) return false;
  }
  return true;
}

std::u16string printersKey() { return u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers"; }
std::u16string monitorsKey() { return u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors"; }

std::vector<std::u16string> portsUsingMonitor(const std::u16string &monitor) {
  std::lock_guard<std::recursive_mutex> g(g_lock);
  std::vector<std::u16string> out;
  for (auto &kv : g_ports)
    if (equalsNoCase(kv.second.monitor, monitor)) out.push_back(kv.first);
  return out;
}

BOOL enumPortList(const std::vector<PortListEntry> &ports, DWORD level, LPBYTE out, DWORD cb, LPDWORD needed,
                  LPDWORD returned) {
  if (returned) *returned = 0;
  if (level != 1 && level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  size_t fixed = level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W);
  size_t total = fixed * ports.size();
  for (auto &p : ports)
    total += (p.name.size() + 1) * 2 + (level == 2 ? (p.monitor.size() + p.description.size() + 2) * 2 : 0);
  if (needed) *needed = DWORD(total);
  if (!out || cb < total) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  // Fixed parts first, strings from the end of the buffer backwards.
  BYTE *tail = out + total;
  auto put = [&](const std::u16string &s) {
    tail -= (s.size() + 1) * 2;
    std::memcpy(tail, s.c_str(), (s.size() + 1) * 2);
    return reinterpret_cast<LPWSTR>(tail);
  };
  for (size_t i = 0; i < ports.size(); ++i) {
    if (level == 1) {
      PORT_INFO_1W pi{put(ports[i].name)};
      std::memcpy(out + i * fixed, &pi, sizeof(pi));
    } else {
      PORT_INFO_2W pi{};
      pi.pPortName = put(ports[i].name);
      pi.pMonitorName = put(ports[i].monitor);
      pi.pDescription = put(ports[i].description);
      pi.fPortType = ports[i].portType;
      std::memcpy(out + i * fixed, &pi, sizeof(pi));
    }
  }
  if (returned) *returned = DWORD(ports.size());
  return TRUE;
}

std::u16string currentEnvironment() { return osVersion().x64 ? u"Windows x64" : u"Windows NT x86"; }

std::u16string driversKey(const std::u16string &environment) {
  return u"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\" + environment + u"\\Drivers\\Version-3";
}

std::u16string driverDirectory(const std::u16string &environment) {
  return environment == u"Windows NT x86" ? u"C:\\Windows\\system32\\spool\\DRIVERS\\W32X86"
                                          : u"C:\\Windows\\system32\\spool\\DRIVERS\\x64";
}

std::map<std::u16string, std::shared_ptr<PrinterQueue>> stopDespooling(DWORD markCurrent) {
  std::map<std::u16string, std::shared_ptr<PrinterQueue>> queues;
  {
    std::unique_lock<std::recursive_mutex> lk(g_lock);
    queues.swap(g_queues);
    for (auto &kv : queues) {
      kv.second->stop = true;
      auto it = g_jobs.find(kv.second->current);
      if (it != g_jobs.end()) it->second.rec.status |= markCurrent;
    }
    g_queueCv.notify_all();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (auto &kv : queues) {
      auto q = kv.second;
      g_queueCv.wait_until(lk, deadline, [&] { return q->finished; });
    }
  }
  for (auto &kv : queues) {
    if (kv.second->finished)
      kv.second->thread.join();
    else
      kv.second->thread.detach();  // stuck in a monitor: left to finish on its own
  }
  return queues;
}

void resetSpooler() {
  // Stop the despooling threads first: a job still running finishes its
  // current port call (every one of them is bounded) and the thread leaves.
  // The job on the port is deleted, so that its thread stops at its next
  // write instead of writing the rest.
  stopDespooling(JOB_STATUS_DELETING);
  closeAllPorts();
  resetMonitors();
  resetPortMonitors();
  closeHandlesOfKind(Kind::Printer);
  std::lock_guard<std::recursive_mutex> g(g_lock);
  g_jobs.clear();
  g_jobOrder.clear();
  g_nextJob = 1;
  g_responders.clear();
}

namespace {
// Twice: first the despooling threads and monitors stop while the drive they
// use is still there, then, with the drive and the registry new, the
// spooler's state is emptied again.
const ResetStep kStopSpooler(kResetStopServices, resetSpooler);
const ResetStep kSpooler(kResetSpooler, resetSpooler);
}  // namespace

}  // namespace winsim::spool
