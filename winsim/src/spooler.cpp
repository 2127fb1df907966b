// The spooler: printers and drivers (kept in the registry where Windows keeps
// them), printer handles, printer data, and jobs.  A job is spooled in memory
// while it is written; EndDocPrinter queues it, and the printer's own
// despooling thread writes its jobs to the printer's port one at a time, in
// order, as the print processor of the real spooler does.  Printer-data
// values that the printer does not hold are asked of the port
// (GetPrinterDataFromPort).
#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <thread>
#include <unordered_set>

#include <winsim/testing.h>

#include "internal.h"
#include "spooler_internal.h"

namespace winsim::spool {

namespace {

constexpr uint32_t kHandleMagic = 0x53504F4C;  // "SPOL"

struct Job {
  JobRecord rec;
  std::u16string outputFile;
  SYSTEMTIME submitted{};
};

// A printer's queue and the thread that despools it.
struct PrinterQueue {
  std::u16string printer;
  std::deque<DWORD> pending;  // ended jobs not yet despooled, in order
  DWORD current = 0;          // the job being despooled
  bool stop = false;
  bool finished = false;      // the thread has left its loop
  std::thread thread;
};

struct PrinterHandle {
  uint32_t magic = kHandleMagic;
  std::u16string name;  // empty: the local print server
  ACCESS_MASK access = 0;
  DWORD jobId = 0;      // the document started on this handle
  bool pageOpen = false;
};

std::recursive_mutex &g_lock = *new std::recursive_mutex;  // kept past static destruction, as the queues
std::unordered_set<PrinterHandle *> g_handles;
std::map<DWORD, Job> g_jobs;
std::vector<DWORD> g_jobOrder;
DWORD g_nextJob = 1;
std::map<std::u16string, PortResponder> g_responders;  // by upper-case port name
std::vector<PortFactory> g_factories;
// Ports stay open from their first use until the machine is reset, as the
// spooler keeps a port open for its printers.
struct OpenPort {
  std::u16string monitor;
  std::shared_ptr<Port> port;
};
std::map<std::u16string, OpenPort> g_ports;  // by upper-case port name
// The queues and their condition outlive the process's static destructors:
// a despooling thread may still wait on them when the process ends.
std::map<std::u16string, std::shared_ptr<PrinterQueue>> &g_queues =
    *new std::map<std::u16string, std::shared_ptr<PrinterQueue>>;  // by upper-case printer name
std::condition_variable_any &g_queueCv = *new std::condition_variable_any;  // queue changes, waited on with g_lock

PrinterHandle *handleOf(HANDLE h) {
  auto *p = static_cast<PrinterHandle *>(h);
  std::lock_guard<std::recursive_mutex> g(g_lock);
  return g_handles.count(p) ? p : nullptr;
}

// The job a handle's open document writes to, or NULL with
// ERROR_SPL_NO_STARTDOC.  Called with the spooler lock held.
Job *openJobOf(PrinterHandle *h) {
  auto it = h->jobId ? g_jobs.find(h->jobId) : g_jobs.end();
  if (it == g_jobs.end()) {
    SetLastError(ERROR_SPL_NO_STARTDOC);
    return nullptr;
  }
  return &it->second;
}

// ------------------------------------------------------------ registry helpers
std::u16string readString(HKEY k, const char16_t *name) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(k, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ))
    return {};
  std::u16string v(size / 2 + 1, u'\0');
  if (RegQueryValueExW(k, name, nullptr, &type, reinterpret_cast<BYTE *>(v.data()), &size) != ERROR_SUCCESS) return {};
  v.resize(size / 2);
  while (!v.empty() && v.back() == 0 && type != REG_MULTI_SZ) v.pop_back();
  return v;
}

std::vector<BYTE> readBinary(HKEY k, const char16_t *name) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(k, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || size == 0) return {};
  std::vector<BYTE> v(size);
  if (RegQueryValueExW(k, name, nullptr, &type, v.data(), &size) != ERROR_SUCCESS) return {};
  v.resize(size);
  return v;
}

DWORD readDword(HKEY k, const char16_t *name, DWORD def = 0) {
  DWORD type = 0, v = 0, size = 4;
  if (RegQueryValueExW(k, name, nullptr, &type, reinterpret_cast<BYTE *>(&v), &size) != ERROR_SUCCESS || type != REG_DWORD)
    return def;
  return v;
}

void writeString(HKEY k, const char16_t *name, const std::u16string &v, DWORD type = REG_SZ) {
  RegSetValueExW(k, name, 0, type, reinterpret_cast<const BYTE *>(v.c_str()), DWORD((v.size() + 1) * 2));
}

void writeDword(HKEY k, const char16_t *name, DWORD v) {
  RegSetValueExW(k, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&v), 4);
}

HKEY openPrinterKey(const std::u16string &name, bool create = false) {
  HKEY k = nullptr;
  std::u16string path = printersKey() + u"\\" + name;
  LSTATUS st = create ? RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr)
                      : RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &k);
  return st == ERROR_SUCCESS ? k : nullptr;
}

bool printerExists(const std::u16string &name) {
  if (name.empty() || name.find(u'\\') != std::u16string::npos) return false;
  HKEY k = openPrinterKey(name);
  if (!k) return false;
  RegCloseKey(k);
  return true;
}

std::vector<std::u16string> printerNames() {
  std::vector<std::u16string> out;
  HKEY k;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, printersKey().c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return out;
  for (DWORD i = 0;; ++i) {
    WCHAR name[256];
    DWORD len = 256;
    if (RegEnumKeyExW(k, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    out.emplace_back(name, len);
  }
  RegCloseKey(k);
  return out;
}

std::u16string normEnvironment(LPCWSTR env) {
  std::u16string e = fromW(env);
  if (e.empty()) return currentEnvironment();
  if (equalsNoCase(e, u"Windows x64")) return u"Windows x64";
  if (equalsNoCase(e, u"Windows NT x86")) return u"Windows NT x86";
  return {};
}

std::u16string baseNameOf(const std::u16string &p) {
  size_t s = p.find_last_of(u"\\/");
  return s == std::u16string::npos ? p : p.substr(s + 1);
}

// ------------------------------------------------------------ structure packing
// Strings and DEVMODEs go behind the fixed part of a returned structure.
struct Packer {
  std::vector<BYTE> extra;
  size_t fixed;
  explicit Packer(size_t fixedSize) : fixed((fixedSize + 7) & ~size_t(7)) {}
  size_t addString(const std::u16string &s) {
    size_t off = fixed + extra.size();
    const BYTE *b = reinterpret_cast<const BYTE *>(s.c_str());
    extra.insert(extra.end(), b, b + (s.size() + 1) * 2);
    return off;
  }
  size_t addBlob(const std::vector<BYTE> &v) {
    while (extra.size() % 8) extra.push_back(0);
    size_t off = fixed + extra.size();
    extra.insert(extra.end(), v.begin(), v.end());
    return off;
  }
  size_t total() const { return fixed + extra.size(); }
};

constexpr size_t kNone = SIZE_MAX;

template <typename T>
BOOL emit(const T &fixedPart, Packer &pk, const std::vector<std::pair<size_t, size_t>> &ptrFixups, LPBYTE out,
          DWORD cb, LPDWORD needed) {
  DWORD total = DWORD(pk.total());
  if (needed) *needed = total;
  if (!out || cb < total) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memset(out, 0, pk.fixed);
  std::memcpy(out, &fixedPart, sizeof(T));
  std::memcpy(out + pk.fixed, pk.extra.data(), pk.extra.size());
  // Each fixup: offset of a pointer field in T, offset of its target (or none).
  for (auto [field, target] : ptrFixups) {
    void *p = target == kNone ? nullptr : out + target;
    std::memcpy(out + field, &p, sizeof(p));
  }
  return TRUE;
}

// ------------------------------------------------------------ built-in ports

class FilePort : public Port {
 public:
  explicit FilePort(std::u16string path) : path_(std::move(path)) {}
  BOOL startDoc(const std::u16string &, DWORD, const std::u16string &) override {
    file_ = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file_ != INVALID_HANDLE_VALUE;
  }
  BOOL write(const BYTE *data, DWORD size, DWORD *written) override {
    return WriteFile(file_, data, size, written, nullptr);
  }
  BOOL endDoc() override {
    BOOL ok = CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
    return ok;
  }
  BOOL getPrinterDataFromPort(const std::u16string &, DWORD, std::vector<BYTE> &, DWORD &, DWORD &error) override {
    error = ERROR_NOT_SUPPORTED;
    return FALSE;
  }

 private:
  std::u16string path_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

// A port without a device behind it: the job is kept by the spooler only;
// printer-data questions go to the test's responder when there is one.
class RecordingPort : public Port {
 public:
  explicit RecordingPort(std::u16string name) : name_(std::move(name)) {}
  BOOL startDoc(const std::u16string &, DWORD, const std::u16string &) override { return TRUE; }
  BOOL write(const BYTE *, DWORD size, DWORD *written) override {
    if (written) *written = size;
    return TRUE;
  }
  BOOL endDoc() override { return TRUE; }
  BOOL getPrinterDataFromPort(const std::u16string &valueName, DWORD, std::vector<BYTE> &reply, DWORD &,
                              DWORD &error) override {
    PortResponder r;
    {
      std::lock_guard<std::recursive_mutex> g(g_lock);
      auto it = g_responders.find(upper(name_));
      if (it != g_responders.end()) r = it->second;
    }
    if (!r) {
      error = ERROR_FILE_NOT_FOUND;
      return FALSE;
    }
    std::vector<uint8_t> out;
    if (!r(valueName, out)) {
      error = ERROR_FILE_NOT_FOUND;
      return FALSE;
    }
    reply.assign(out.begin(), out.end());
    return TRUE;
  }

 private:
  std::u16string name_;
};

bool isPathPort(const std::u16string &name) {
  return name.size() > 2 && ((name[1] == u':' && (name[2] == u'\\' || name[2] == u'/')) || name.rfind(u"\\\\", 0) == 0);
}

std::unique_ptr<Port> makePort(const std::u16string &printer, const std::u16string &portName) {
  static std::once_flag monitorsRegistered;
  std::call_once(monitorsRegistered, registerMonitorPortFactory);
  std::vector<PortFactory> factories;
  {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    factories = g_factories;
  }
  for (auto &f : factories)
    if (auto p = f(printer, portName)) return p;
  if (isPathPort(portName)) return std::make_unique<FilePort>(portName);
  return std::make_unique<RecordingPort>(portName);
}

std::u16string portOf(const std::u16string &printer) {
  HKEY k = openPrinterKey(printer);
  if (!k) return {};
  std::u16string p = readString(k, u"Port");
  RegCloseKey(k);
  return p;
}

// The open port of a printer, opened on first use.  A port whose printer now
// wants another language monitor is opened again.
std::shared_ptr<Port> portFor(const std::u16string &printer, const std::u16string &portName) {
  std::u16string key = upper(portName), monitor = printerMonitorName(printer);
  {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    auto it = g_ports.find(key);
    if (it != g_ports.end() && equalsNoCase(it->second.monitor, monitor)) return it->second.port;
  }
  std::shared_ptr<Port> made;
  std::shared_ptr<Port> old;
  {
    std::lock_guard<std::recursive_mutex> g(g_lock);
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
  made = makePort(printer, portName);
  if (!made->isOpen()) return made;
  std::lock_guard<std::recursive_mutex> g(g_lock);
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
  if (error) it->second.rec.status |= JOB_STATUS_ERROR;
  else it->second.rec.status &= ~DWORD(JOB_STATUS_ERROR);
}

// Starts the job on the port, again and again while the port's monitor
// refuses and the job is neither deleted nor past the stall limit.
bool startJob(Port &port, const Job &job) {
  const JobRecord &r = job.rec;
  if (port.startDoc(r.printer, r.id, r.document)) return true;
  if (!port.retriesStart()) return false;
  setJobError(r.id, true);
  const uint64_t since = virtualNowMs();
  bool ok = false;
  while (!ok && virtualNowMs() - since < kStallLimitMs) {
    for (DWORD waited = 0; waited < kStartRetryMs && !jobDeleting(r.id); waited += kRetryPauseMs) Sleep(kRetryPauseMs);
    if (jobDeleting(r.id)) break;
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
// end.  Runs on the printer's despooling thread.
void despool(Job &job) {
  auto busy = portBusyLock(job.outputFile.empty() ? job.rec.port : job.outputFile);
  std::lock_guard<std::mutex> portTaken(*busy);
  std::shared_ptr<Port> port = job.outputFile.empty() ? portFor(job.rec.printer, job.rec.port)
                                                      : std::make_shared<FilePort>(job.outputFile);
  bool ok = startJob(*port, job);
  if (!ok) {
    job.rec.aborted = true;
    return;
  }
  // Written in blocks, as the spooler hands spool data to a port; a write
  // that takes fewer bytes is followed by one with the rest.
  const size_t kBlock = 0x10000;
  const auto &bytes = job.rec.bytes;
  uint64_t lastProgress = virtualNowMs();
  for (size_t off = 0; ok && off < bytes.size();) {
    if (jobDeleting(job.rec.id)) {
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
    g_queueCv.wait(lk, [&] { return q->stop || !q->pending.empty(); });
    if (q->stop) break;
    DWORD id = q->pending.front();
    q->pending.pop_front();
    auto it = g_jobs.find(id);
    if (it == g_jobs.end() || it->second.rec.aborted) continue;
    q->current = id;
    it->second.rec.status |= JOB_STATUS_PRINTING;
    Job job = it->second;
    lk.unlock();
    despool(job);
    lk.lock();
    it = g_jobs.find(id);
    if (it != g_jobs.end()) {
      JobRecord &rec = it->second.rec;
      rec.aborted = rec.aborted || job.rec.aborted;
      rec.status &= ~DWORD(JOB_STATUS_PRINTING);
      rec.status |= rec.aborted ? JOB_STATUS_DELETED : JOB_STATUS_PRINTED;
      rec.despooled = true;
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

bool queuesIdle(const std::u16string &printer) {
  for (auto &kv : g_queues) {
    if (!printer.empty() && !equalsNoCase(kv.second->printer, printer)) continue;
    if (!kv.second->pending.empty() || kv.second->current) return false;
  }
  return true;
}

}  // namespace

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
  for (auto &p : ports) total += (p.name.size() + 1) * 2 + (level == 2 ? (p.monitor.size() + p.description.size() + 2) * 2 : 0);
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
      pi.fPortType = PORT_TYPE_WRITE | (isUsbPortName(ports[i].name) ? PORT_TYPE_READ : 0);
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

void addPortFactory(PortFactory f) {
  std::lock_guard<std::recursive_mutex> g(g_lock);
  g_factories.push_back(std::move(f));
}

void resetSpooler() {
  // Stop the despooling threads first: a job still running finishes its
  // current port call (every one of them is bounded) and the thread leaves.
  std::map<std::u16string, std::shared_ptr<PrinterQueue>> queues;
  {
    std::unique_lock<std::recursive_mutex> lk(g_lock);
    queues.swap(g_queues);
    for (auto &kv : queues) {
      kv.second->stop = true;
      // The job on the port is deleted, so that its thread stops at its next
      // write instead of writing the rest.
      auto it = g_jobs.find(kv.second->current);
      if (it != g_jobs.end()) it->second.rec.status |= JOB_STATUS_DELETING;
    }
    g_queueCv.notify_all();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (auto &kv : queues) {
      auto q = kv.second;
      g_queueCv.wait_until(lk, deadline, [&] { return q->finished; });
    }
  }
  for (auto &kv : queues) {
    if (kv.second->finished) kv.second->thread.join();
    else kv.second->thread.detach();  // stuck in a monitor: left to finish on its own
  }
  std::map<std::u16string, OpenPort> ports;
  {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    ports.swap(g_ports);
  }
  ports.clear();  // ClosePort, without the lock: a monitor may call back
  resetMonitors();
  resetUsbPorts();
  std::lock_guard<std::recursive_mutex> g(g_lock);
  for (PrinterHandle *h : g_handles) {
    h->magic = 0;
    delete h;
  }
  g_handles.clear();
  g_jobs.clear();
  g_jobOrder.clear();
  g_nextJob = 1;
  g_responders.clear();
}

}  // namespace winsim::spool

using namespace winsim;
using namespace winsim::spool;

namespace {

struct DriverInfo {
  std::u16string name, environment, driverPath, dataFile, configFile, helpFile, monitor, datatype;
  std::u16string dependentFiles;  // multi-string
};

bool readDriver(const std::u16string &name, const std::u16string &env, DriverInfo &d) {
  HKEY k;
  std::u16string path = driversKey(env) + u"\\" + name;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
  std::u16string dir = driverDirectory(env) + u"\\3\\";
  auto full = [&](const std::u16string &f) { return f.empty() ? f : dir + f; };
  d.name = name;
  d.environment = env;
  d.driverPath = full(readString(k, u"Driver"));
  d.dataFile = full(readString(k, u"Data File"));
  d.configFile = full(readString(k, u"Configuration File"));
  d.helpFile = full(readString(k, u"Help File"));
  d.monitor = readString(k, u"Monitor");
  d.datatype = readString(k, u"Datatype");
  d.dependentFiles = readString(k, u"Dependent Files");
  RegCloseKey(k);
  return true;
}

}  // namespace

std::u16string winsim::spool::printerMonitorName(const std::u16string &printer) {
  HKEY k = openPrinterKey(printer);
  if (!k) return {};
  std::u16string driverName = readString(k, u"Printer Driver");
  RegCloseKey(k);
  DriverInfo d;
  if (driverName.empty() || !readDriver(driverName, currentEnvironment(), d)) return {};
  return d.monitor;
}

namespace {

// Puts a driver file into the driver directory; returns its file name.
bool placeDriverFile(LPCWSTR given, const std::u16string &env, std::u16string &fileName) {
  fileName.clear();
  std::u16string g = fromW(given);
  if (g.empty()) return true;
  std::u16string base = baseNameOf(g);
  std::u16string target = driverDirectory(env) + u"\\3\\" + base;
  if (base.size() != g.size() && !equalsNoCase(g, target)) {
    if (!CopyFileW(g.c_str(), target.c_str(), FALSE)) return false;
  } else if (GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  fileName = base;
  return true;
}

BOOL addDriver(DWORD level, LPBYTE info) {
  if (level != 2 && level != 3) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  if (!info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto *d2 = reinterpret_cast<DRIVER_INFO_2W *>(info);
  auto *d3 = level == 3 ? reinterpret_cast<DRIVER_INFO_3W *>(info) : nullptr;
  std::u16string env = normEnvironment(d2->pEnvironment);
  if (env.empty()) {
    SetLastError(ERROR_INVALID_ENVIRONMENT);
    return FALSE;
  }
  if (!d2->pName || !*d2->pName || !d2->pDriverPath || !*d2->pDriverPath) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::u16string drv, data, config, help;
  if (!placeDriverFile(d2->pDriverPath, env, drv) || !placeDriverFile(d2->pDataFile, env, data) ||
      !placeDriverFile(d2->pConfigFile, env, config) || (d3 && !placeDriverFile(d3->pHelpFile, env, help)))
    return FALSE;
  HKEY k;
  std::u16string path = driversKey(env) + u"\\" + d2->pName;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) != ERROR_SUCCESS) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  writeString(k, u"Driver", drv);
  writeString(k, u"Data File", data);
  writeString(k, u"Configuration File", config);
  writeDword(k, u"Version", 3);
  if (d3) {
    writeString(k, u"Help File", help);
    writeString(k, u"Monitor", fromW(d3->pMonitorName));
    writeString(k, u"Datatype", fromW(d3->pDefaultDataType));
    std::u16string deps;
    if (d3->pDependentFiles)
      for (LPCWSTR p = d3->pDependentFiles; *p; p += lstrlenW(p) + 1) deps += std::u16string(p) + u'\0';
    deps += u'\0';
    RegSetValueExW(k, u"Dependent Files", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE *>(deps.data()),
                   DWORD(deps.size() * 2));
  }
  RegCloseKey(k);
  return TRUE;
}

HANDLE newHandle(const std::u16string &name, ACCESS_MASK access) {
  auto *h = new PrinterHandle;
  h->name = name;
  h->access = access;
  std::lock_guard<std::recursive_mutex> g(g_lock);
  g_handles.insert(h);
  return h;
}

std::vector<BYTE> defaultDevMode(const std::u16string &printer) {
  HKEY k = openPrinterKey(printer);
  if (!k) return {};
  std::vector<BYTE> dm = readBinary(k, u"Default DevMode");
  RegCloseKey(k);
  if (dm.size() < offsetof(DEVMODEW, dmFields)) return {};
  // A stored DEVMODE is only as long as it says it is.
  auto *d = reinterpret_cast<DEVMODEW *>(dm.data());
  size_t want = size_t(d->dmSize) + d->dmDriverExtra;
  if (want > dm.size() || d->dmSize < offsetof(DEVMODEW, dmFields)) return {};
  dm.resize(want);
  return dm;
}

BOOL getPrinterLevel(PrinterHandle *h, DWORD level, LPBYTE out, DWORD cb, LPDWORD needed) {
  HKEY k = openPrinterKey(h->name);
  if (!k) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  std::u16string port = readString(k, u"Port"), driver = readString(k, u"Printer Driver"),
                 comment = readString(k, u"Description"), location = readString(k, u"Location"),
                 share = readString(k, u"Share Name"), proc = readString(k, u"Print Processor"),
                 datatype = readString(k, u"Datatype"), params = readString(k, u"Parameters"),
                 sep = readString(k, u"Separator File");
  DWORD attributes = readDword(k, u"Attributes", PRINTER_ATTRIBUTE_LOCAL), priority = readDword(k, u"Priority", 1),
        defPriority = readDword(k, u"Default Priority"), start = readDword(k, u"StartTime"),
        until = readDword(k, u"UntilTime"), status = readDword(k, u"Status");
  RegCloseKey(k);
  std::vector<BYTE> dm = defaultDevMode(h->name);
  DWORD jobs = 0;
  {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    for (auto &kv : g_jobs)
      if (equalsNoCase(kv.second.rec.printer, h->name) && !kv.second.rec.despooled && !kv.second.rec.aborted) ++jobs;
  }
  switch (level) {
    case 1: {
      PRINTER_INFO_1W pi{};
      Packer pk(sizeof(pi));
      pi.Flags = 0x00800000;  // PRINTER_ENUM_ICON8: a printer
      size_t desc = pk.addString(h->name + u"," + driver + u"," + location);
      size_t name = pk.addString(h->name);
      size_t com = pk.addString(comment);
      return emit(pi, pk,
                  {{offsetof(PRINTER_INFO_1W, pDescription), desc},
                   {offsetof(PRINTER_INFO_1W, pName), name},
                   {offsetof(PRINTER_INFO_1W, pComment), com}},
                  out, cb, needed);
    }
    case 2: {
      PRINTER_INFO_2W pi{};
      Packer pk(sizeof(pi));
      pi.Attributes = attributes;
      pi.Priority = priority;
      pi.DefaultPriority = defPriority;
      pi.StartTime = start;
      pi.UntilTime = until;
      pi.Status = status;
      pi.cJobs = jobs;
      size_t dmOff = dm.empty() ? kNone : pk.addBlob(dm);
      std::vector<std::pair<size_t, size_t>> fix = {
          {offsetof(PRINTER_INFO_2W, pServerName), kNone},
          {offsetof(PRINTER_INFO_2W, pPrinterName), pk.addString(h->name)},
          {offsetof(PRINTER_INFO_2W, pShareName), pk.addString(share)},
          {offsetof(PRINTER_INFO_2W, pPortName), pk.addString(port)},
          {offsetof(PRINTER_INFO_2W, pDriverName), pk.addString(driver)},
          {offsetof(PRINTER_INFO_2W, pComment), pk.addString(comment)},
          {offsetof(PRINTER_INFO_2W, pLocation), pk.addString(location)},
          {offsetof(PRINTER_INFO_2W, pDevMode), dmOff},
          {offsetof(PRINTER_INFO_2W, pSepFile), pk.addString(sep)},
          {offsetof(PRINTER_INFO_2W, pPrintProcessor), pk.addString(proc)},
          {offsetof(PRINTER_INFO_2W, pDatatype), pk.addString(datatype)},
          {offsetof(PRINTER_INFO_2W, pParameters), pk.addString(params)},
          {offsetof(PRINTER_INFO_2W, pSecurityDescriptor), kNone}};
      return emit(pi, pk, fix, out, cb, needed);
    }
    case 4: {
      PRINTER_INFO_4W pi{};
      Packer pk(sizeof(pi));
      pi.Attributes = attributes;
      size_t name = pk.addString(h->name);
      return emit(pi, pk, {{offsetof(PRINTER_INFO_4W, pPrinterName), name}, {offsetof(PRINTER_INFO_4W, pServerName), kNone}},
                  out, cb, needed);
    }
    case 5: {
      PRINTER_INFO_5W pi{};
      Packer pk(sizeof(pi));
      pi.Attributes = attributes;
      pi.DeviceNotSelectedTimeout = 15000;
      pi.TransmissionRetryTimeout = 45000;
      size_t name = pk.addString(h->name), p = pk.addString(port);
      return emit(pi, pk, {{offsetof(PRINTER_INFO_5W, pPrinterName), name}, {offsetof(PRINTER_INFO_5W, pPortName), p}},
                  out, cb, needed);
    }
    case 8:
    case 9: {
      PRINTER_INFO_8W pi{};
      Packer pk(sizeof(pi));
      size_t dmOff = dm.empty() ? kNone : pk.addBlob(dm);
      return emit(pi, pk, {{offsetof(PRINTER_INFO_8W, pDevMode), dmOff}}, out, cb, needed);
    }
    default:
      SetLastError(ERROR_INVALID_LEVEL);
      return FALSE;
  }
}

void storeDevMode(HKEY k, const DEVMODEW *dm) {
  if (!dm) {
    RegDeleteValueW(k, u"Default DevMode");
    return;
  }
  DWORD size = DWORD(dm->dmSize) + dm->dmDriverExtra;
  RegSetValueExW(k, u"Default DevMode", 0, REG_BINARY, reinterpret_cast<const BYTE *>(dm), size);
}

// The printer-data value of a key under the printer's key.
DWORD queryData(PrinterHandle *h, const std::u16string &key, LPCWSTR value, LPDWORD type, LPBYTE data, DWORD size,
                LPDWORD needed, bool &absent) {
  absent = false;
  HKEY pk = openPrinterKey(h->name);
  if (!pk) return ERROR_INVALID_HANDLE;
  HKEY k;
  LSTATUS st = RegOpenKeyExW(pk, key.c_str(), 0, KEY_READ, &k);
  RegCloseKey(pk);
  if (st != ERROR_SUCCESS) {
    absent = true;
    return ERROR_FILE_NOT_FOUND;
  }
  DWORD t = 0, n = 0;
  st = RegQueryValueExW(k, value, nullptr, &t, nullptr, &n);
  if (st != ERROR_SUCCESS) {
    RegCloseKey(k);
    absent = true;
    return ERROR_FILE_NOT_FOUND;
  }
  if (needed) *needed = n;
  if (type) *type = t;
  if (!data || size < n) {
    RegCloseKey(k);
    return ERROR_MORE_DATA;
  }
  DWORD got = size;
  st = RegQueryValueExW(k, value, nullptr, &t, data, &got);
  RegCloseKey(k);
  return DWORD(st);
}

DWORD setData(PrinterHandle *h, const std::u16string &key, LPCWSTR value, DWORD type, LPBYTE data, DWORD size) {
  HKEY pk = openPrinterKey(h->name);
  if (!pk) return ERROR_INVALID_HANDLE;
  HKEY k;
  LSTATUS st = RegCreateKeyExW(pk, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr);
  RegCloseKey(pk);
  if (st != ERROR_SUCCESS) return DWORD(st);
  st = RegSetValueExW(k, value, 0, type, data, size);
  RegCloseKey(k);
  return DWORD(st);
}

}  // namespace

extern "C" {

// ------------------------------------------------------------ printers

BOOL WINAPI OpenPrinter2W(LPCWSTR pPrinterName, LPHANDLE phPrinter, PPRINTER_DEFAULTSW pDefault,
                          PPRINTER_OPTIONSW pOptions) {
  (void)pOptions;
  if (!phPrinter) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *phPrinter = nullptr;
  std::u16string name = fromW(pPrinterName);
  ACCESS_MASK access = pDefault ? pDefault->DesiredAccess : PRINTER_ACCESS_USE;
  if (name.empty()) {
    *phPrinter = newHandle(u"", access);
    return TRUE;
  }
  // "\\\\machine\\printer" names the local machine's printers too.
  if (name.rfind(u"\\\\", 0) == 0) {
    size_t s = name.find(u'\\', 2);
    if (s != std::u16string::npos) {
      WCHAR comp[64];
      DWORD n = 64;
      GetComputerNameW(comp, &n);
      if (equalsNoCase(name.substr(2, s - 2), comp)) name = name.substr(s + 1);
    }
  }
  if (!printerExists(name)) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  // Use the printer's own spelling of its name.
  for (const auto &n : printerNames())
    if (equalsNoCase(n, name)) name = n;
  *phPrinter = newHandle(name, access);
  return TRUE;
}

BOOL WINAPI OpenPrinterW(LPWSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSW pDefault) {
  return OpenPrinter2W(pPrinterName, phPrinter, pDefault, nullptr);
}

BOOL WINAPI ClosePrinter(HANDLE hPrinter) {
  PrinterHandle *h = handleOf(hPrinter);
  if (!h) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (h->jobId) {
    // A document left open is ended as the spooler does when the handle
    // goes away.
    EndDocPrinter(hPrinter);
  }
  std::lock_guard<std::recursive_mutex> g(g_lock);
  g_handles.erase(h);
  h->magic = 0;
  delete h;
  return TRUE;
}

BOOL WINAPI GetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf, LPDWORD pcbNeeded) {
  PrinterHandle *h = handleOf(hPrinter);
  if (!h || h->name.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return getPrinterLevel(h, Level, pPrinter, cbBuf, pcbNeeded);
}

BOOL WINAPI SetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD Command) {
  PrinterHandle *h = handleOf(hPrinter);
  if (!h || h->name.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  HKEY k = openPrinterKey(h->name);
  if (!k) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  BOOL ok = TRUE;
  switch (Level) {
    case 0: {
      DWORD status = readDword(k, u"Status");
      if (Command == PRINTER_CONTROL_PAUSE) status |= PRINTER_STATUS_PAUSED;
      else if (Command == PRINTER_CONTROL_RESUME) status &= ~DWORD(PRINTER_STATUS_PAUSED);
      else if (Command == PRINTER_CONTROL_SET_STATUS && pPrinter) status = *reinterpret_cast<DWORD *>(pPrinter);
      else if (Command != PRINTER_CONTROL_PURGE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        ok = FALSE;
      }
      if (ok) writeDword(k, u"Status", status);
      break;
    }
    case 2: {
      auto *pi = reinterpret_cast<PRINTER_INFO_2W *>(pPrinter);
      if (!pi) {
        SetLastError(ERROR_INVALID_PARAMETER);
        ok = FALSE;
        break;
      }
      if (pi->pPortName) writeString(k, u"Port", pi->pPortName);
      if (pi->pDriverName) writeString(k, u"Printer Driver", pi->pDriverName);
      if (pi->pComment) writeString(k, u"Description", pi->pComment);
      if (pi->pLocation) writeString(k, u"Location", pi->pLocation);
      if (pi->pShareName) writeString(k, u"Share Name", pi->pShareName);
      if (pi->pDatatype) writeString(k, u"Datatype", pi->pDatatype);
      if (pi->pParameters) writeString(k, u"Parameters", pi->pParameters);
      if (pi->pDevMode) storeDevMode(k, pi->pDevMode);
      writeDword(k, u"Attributes", pi->Attributes);
      writeDword(k, u"Priority", pi->Priority);
      break;
    }
    case 8:
    case 9: {
      auto *pi = reinterpret_cast<PRINTER_INFO_8W *>(pPrinter);
      if (!pi) {
        SetLastError(ERROR_INVALID_PARAMETER);
        ok = FALSE;
        break;
      }
      storeDevMode(k, pi->pDevMode);
      break;
    }
    default:
      SetLastError(ERROR_INVALID_LEVEL);
      ok = FALSE;
  }
  RegCloseKey(k);
  return ok;
}

BOOL WINAPI EnumPrintersW(DWORD Flags, LPWSTR Name, DWORD Level, LPBYTE pPrinterEnum, DWORD cbBuf,
                          LPDWORD pcbNeeded, LPDWORD pcReturned) {
  (void)Flags;
  (void)Name;
  if (pcReturned) *pcReturned = 0;
  size_t fixed = Level == 1 ? sizeof(PRINTER_INFO_1W) : Level == 2 ? sizeof(PRINTER_INFO_2W)
               : Level == 4 ? sizeof(PRINTER_INFO_4W) : Level == 5 ? sizeof(PRINTER_INFO_5W) : 0;
  if (!fixed) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  // Each printer's record is built alone, then the fixed parts go first
  // and the strings behind them with their pointers moved.
  std::vector<std::vector<BYTE>> recs;
  for (const auto &n : printerNames()) {
    PrinterHandle tmp;
    tmp.name = n;
    DWORD need = 0;
    getPrinterLevel(&tmp, Level, nullptr, 0, &need);
    std::vector<BYTE> buf(need);
    if (getPrinterLevel(&tmp, Level, buf.data(), need, &need)) recs.push_back(std::move(buf));
  }
  size_t total = 0;
  for (auto &r : recs) total += fixed + (r.size() - ((fixed + 7) & ~size_t(7)));
  total += recs.size() * 8;
  if (pcbNeeded) *pcbNeeded = DWORD(total);
  if (!pPrinterEnum || cbBuf < total) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  size_t tail = (fixed * recs.size() + 7) & ~size_t(7);
  for (size_t i = 0; i < recs.size(); ++i) {
    auto &r = recs[i];
    size_t rfixed = (fixed + 7) & ~size_t(7);
    BYTE *dst = pPrinterEnum + i * fixed;
    std::memcpy(dst, r.data(), fixed);
    BYTE *extra = pPrinterEnum + tail;
    std::memcpy(extra, r.data() + rfixed, r.size() - rfixed);
    // Move every pointer that pointed into the record's extra part.
    for (size_t off = 0; off + sizeof(void *) <= fixed; off += sizeof(void *)) {
      BYTE *p;
      std::memcpy(&p, dst + off, sizeof(p));
      if (p >= r.data() + rfixed && p < r.data() + r.size()) {
        BYTE *q = extra + (p - (r.data() + rfixed));
        std::memcpy(dst + off, &q, sizeof(q));
      }
    }
    tail += ((r.size() - rfixed) + 7) & ~size_t(7);
  }
  if (pcReturned) *pcReturned = DWORD(recs.size());
  return TRUE;
}

HANDLE WINAPI AddPrinterW(LPWSTR pName, DWORD Level, LPBYTE pPrinter) {
  (void)pName;
  if (Level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return nullptr;
  }
  auto *pi = reinterpret_cast<PRINTER_INFO_2W *>(pPrinter);
  if (!pi || !pi->pPrinterName || !*pi->pPrinterName || !pi->pDriverName || !pi->pPortName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::u16string name = pi->pPrinterName;
  if (name.find(u'\\') != std::u16string::npos || name.find(u',') != std::u16string::npos) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return nullptr;
  }
  if (printerExists(name)) {
    SetLastError(ERROR_PRINTER_ALREADY_EXISTS);
    return nullptr;
  }
  DriverInfo d;
  if (!readDriver(pi->pDriverName, currentEnvironment(), d)) {
    SetLastError(ERROR_UNKNOWN_PRINTER_DRIVER);
    return nullptr;
  }
  HKEY k = openPrinterKey(name, true);
  if (!k) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  writeString(k, u"Name", name);
  writeString(k, u"Port", pi->pPortName);
  writeString(k, u"Printer Driver", pi->pDriverName);
  writeString(k, u"Description", fromW(pi->pComment));
  writeString(k, u"Location", fromW(pi->pLocation));
  writeString(k, u"Share Name", fromW(pi->pShareName));
  writeString(k, u"Print Processor", pi->pPrintProcessor ? pi->pPrintProcessor : u"winprint");
  writeString(k, u"Datatype", pi->pDatatype ? pi->pDatatype : u"RAW");
  writeString(k, u"Parameters", fromW(pi->pParameters));
  writeString(k, u"Separator File", fromW(pi->pSepFile));
  writeDword(k, u"Attributes", pi->Attributes | PRINTER_ATTRIBUTE_LOCAL);
  writeDword(k, u"Priority", pi->Priority ? pi->Priority : 1);
  writeDword(k, u"Default Priority", pi->DefaultPriority);
  writeDword(k, u"StartTime", pi->StartTime);
  writeDword(k, u"UntilTime", pi->UntilTime);
  writeDword(k, u"Status", 0);
  if (pi->pDevMode) storeDevMode(k, pi->pDevMode);
  HKEY data;
  if (RegCreateKeyExW(k, u"PrinterDriverData", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &data, nullptr) == ERROR_SUCCESS)
    RegCloseKey(data);
  RegCloseKey(k);
  return newHandle(name, PRINTER_ALL_ACCESS);
}

BOOL WINAPI DeletePrinter(HANDLE hPrinter) {
  PrinterHandle *h = handleOf(hPrinter);
  if (!h || h->name.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, (printersKey() + u"\\" + h->name).c_str());
  return TRUE;
}

// ------------------------------------------------------------ drivers

BOOL WINAPI AddPrinterDriverW(LPWSTR pName, DWORD Level, LPBYTE pDriverInfo) {
  (void)pName;
  return addDriver(Level, pDriverInfo);
}

BOOL WINAPI AddPrinterDriverExW(LPWSTR pName, DWORD Level, LPBYTE pDriverInfo, DWORD dwFileCopyFlags) {
  (void)pName;
  (void)dwFileCopyFlags;
  return addDriver(Level, pDriverInfo);
}

BOOL WINAPI GetPrinterDriverW(HANDLE hPrinter, LPWSTR pEnvironment, DWORD Level, LPBYTE pDriverInfo, DWORD cbBuf,
                              LPDWORD pcbNeeded) {
  PrinterHandle *h = handleOf(hPrinter);
  if (!h || h->name.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::u16string env = normEnvironment(pEnvironment);
  if (env.empty()) {
    SetLastError(ERROR_INVALID_ENVIRONMENT);
    return FALSE;
  }
  HKEY k = openPrinterKey(h->name);
  if (!k) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  std::u16string driverName = readString(k, u"Printer Driver");
  RegCloseKey(k);
  DriverInfo d;
  if (!readDriver(driverName, env, d)) {
    SetLastError(ERROR_UNKNOWN_PRINTER_DRIVER);
    return FALSE;
  }
  switch (Level) {
    case 1: {
      DRIVER_INFO_1W di{};
      Packer pk(sizeof(di));
      size_t n = pk.addString(d.name);
      return emit(di, pk, {{offsetof(DRIVER_INFO_1W, pName), n}}, pDriverInfo, cbBuf, pcbNeeded);
    }
    case 2: {
      DRIVER_INFO_2W di{};
      di.cVersion = 3;
      Packer pk(sizeof(di));
      std::vector<std::pair<size_t, size_t>> fix = {{offsetof(DRIVER_INFO_2W, pName), pk.addString(d.name)},
                                                    {offsetof(DRIVER_INFO_2W, pEnvironment), pk.addString(env)},
                                                    {offsetof(DRIVER_INFO_2W, pDriverPath), pk.addString(d.driverPath)},
                                                    {offsetof(DRIVER_INFO_2W, pDataFile), pk.addString(d.dataFile)},
                                                    {offsetof(DRIVER_INFO_2W, pConfigFile), pk.addString(d.configFile)}};
      return emit(di, pk, fix, pDriverInfo, cbBuf, pcbNeeded);
    }
    case 3: {
      DRIVER_INFO_3W di{};
      di.cVersion = 3;
      Packer pk(sizeof(di));
      std::u16string deps = d.dependentFiles;
      if (deps.empty() || deps.back() != 0) deps += u'\0';
      std::vector<std::pair<size_t, size_t>> fix = {
          {offsetof(DRIVER_INFO_3W, pName), pk.addString(d.name)},
          {offsetof(DRIVER_INFO_3W, pEnvironment), pk.addString(env)},
          {offsetof(DRIVER_INFO_3W, pDriverPath), pk.addString(d.driverPath)},
          {offsetof(DRIVER_INFO_3W, pDataFile), pk.addString(d.dataFile)},
          {offsetof(DRIVER_INFO_3W, pConfigFile), pk.addString(d.configFile)},
          {offsetof(DRIVER_INFO_3W, pHelpFile), pk.addString(d.helpFile)},
          {offsetof(DRIVER_INFO_3W, pDependentFiles), pk.addString(deps)},
          {offsetof(DRIVER_INFO_3W, pMonitorName), pk.addString(d.monitor)},
          {offsetof(DRIVER_INFO_3W, pDefaultDataType), pk.addString(d.datatype)}};
      return emit(di, pk, fix, pDriverInfo, cbBuf, pcbNeeded);
    }
    default:
      SetLastError(ERROR_INVALID_LEVEL);
      return FALSE;
  }
}

BOOL WINAPI GetPrinterDriverDirectoryW(LPWSTR pName, LPWSTR pEnvironment, DWORD Level, LPBYTE pDriverDirectory,
                                       DWORD cbBuf, LPDWORD pcbNeeded) {
  (void)pName;
  if (Level != 1) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  std::u16string env = normEnvironment(pEnvironment);
  if (env.empty()) {
    SetLastError(ERROR_INVALID_ENVIRONMENT);
    return FALSE;
  }
  std::u16string dir = driverDirectory(env);
  DWORD need = DWORD((dir.size() + 1) * 2);
  if (pcbNeeded) *pcbNeeded = need;
  if (!pDriverDirectory || cbBuf < need) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(pDriverDirectory, dir.c_str(), need);
  return TRUE;
}

BOOL WINAPI DeletePrinterDriverW(LPWSTR pName, LPWSTR pEnvironment, LPWSTR pDriverName) {
  (void)pName;
  std::u16string env = normEnvironment(pEnvironment);
  if (env.empty() || !pDriverName) {
    SetLastError(env.empty() ? ERROR_INVALID_ENVIRONMENT : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  for (const auto &n : printerNames()) {
    HKEY k = openPrinterKey(n);
    if (!k) continue;
    std::u16string drv = readString(k, u"Printer Driver");
    RegCloseKey(k);
    if (equalsNoCase(drv, pDriverName)) {
      SetLastError(ERROR_PRINTER_DRIVER_IN_USE);
      return FALSE;
    }
  }
  if (RegDeleteTreeW(HKEY_LOCAL_MACHINE, (driversKey(env) + u"\\" + pDriverName).c_str()) != ERROR_SUCCESS) {
    SetLastError(ERROR_UNKNOWN_PRINTER_DRIVER);
    return FALSE;
  }
  return TRUE;
}

// ------------------------------------------------------------ jobs

DWORD WINAPI StartDocPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pDocInfo) {
  PrinterHandle *h = handleOf(hPrinter);
  if (!h || h->name.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (Level < 1 || Level > 3) {
    SetLastError(ERROR_INVALID_LEVEL);
    return 0;
  }
  if (!pDocInfo) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::lock_guard<std::recursive_mutex> g(g_lock);
  if (h->jobId) {
    SetLastError(ERROR_INVALID_PRINTER_STATE);
    return 0;
  }
  auto *di = reinterpret_cast<DOC_INFO_1W *>(pDocInfo);
  Job job;
  job.rec.id = g_nextJob++;
  job.rec.printer = h->name;
  job.rec.document = fromW(di->pDocName);
  job.outputFile = fromW(di->pOutputFile);
  job.rec.port = job.outputFile.empty() ? portOf(h->name) : job.outputFile;
  job.rec.status = JOB_STATUS_SPOOLING;
  GetSystemTime(&job.submitted);
  DWORD id = job.rec.id;
  g_jobs[id] = std::move(job);
  g_jobOrder.push_back(id);
  h->jobId = id;
  return id;
}

BOOL WINAPI StartPagePrinter(HANDLE hPrinter) {
  PrinterHandle *h = handleOf(hPrinter);
  if (!h) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> g(g_lock);
  if (!h->jobId) {
    SetLastError(ERROR_SPL_NO_STARTDOC);
    return FALSE;
  }
  h->pageOpen = true;
  return TRUE;
}

BOOL WINAPI WritePrinter(HANDLE hPrinter, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
  if (pcWritten) *pcWritten = 0;
  PrinterHandle *h = handleOf(hPrinter);
  if (!h) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!pBuf && cbBuf) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> g(g_lock);
  Job *job = openJobOf(h);
  if (!job) return FALSE;
  if (job->rec.aborted) {
    SetLastError(ERROR_PRINT_CANCELLED);
    return FALSE;
  }
  const BYTE *b = static_cast<const BYTE *>(pBuf);
  job->rec.bytes.insert(job->rec.bytes.end(), b, b + cbBuf);
  if (pcWritten) *pcWritten = cbBuf;
  return TRUE;
}

BOOL WINAPI EndPagePrinter(HANDLE hPrinter) {
  PrinterHandle *h = handleOf(hPrinter);
  if (!h) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> g(g_lock);
  Job *job = openJobOf(h);
  if (!job) return FALSE;
  ++job->rec.pages;
  h->pageOpen = false;
  return TRUE;
}

BOOL WINAPI EndDocPrinter(HANDLE hPrinter) {
  PrinterHandle *h = handleOf(hPrinter);
  if (!h) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> g(g_lock);
  Job *job = openJobOf(h);
  if (!job) return FALSE;
  h->jobId = 0;
  h->pageOpen = false;
  if (job->rec.aborted) {
    // Deleted while it was being written: it never reaches the queue.
    job->rec.status = (job->rec.status & ~DWORD(JOB_STATUS_SPOOLING | JOB_STATUS_DELETING)) | JOB_STATUS_DELETED;
    job->rec.despooled = true;
    g_queueCv.notify_all();
    return TRUE;
  }
  job->rec.completed = true;
  job->rec.status &= ~DWORD(JOB_STATUS_SPOOLING);
  // The printer's thread takes it from here.
  enqueue(job->rec.printer, job->rec.id);
  return TRUE;
}

BOOL WINAPI AbortPrinter(HANDLE hPrinter) {
  PrinterHandle *h = handleOf(hPrinter);
  if (!h) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> g(g_lock);
  Job *job = openJobOf(h);
  if (!job) return FALSE;
  job->rec.aborted = true;
  job->rec.status = (job->rec.status & ~DWORD(JOB_STATUS_SPOOLING)) | JOB_STATUS_DELETED;
  job->rec.despooled = true;
  h->jobId = 0;
  h->pageOpen = false;
  return TRUE;
}

BOOL WINAPI GetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD cbBuf, LPDWORD pcbNeeded) {
  PrinterHandle *h = handleOf(hPrinter);
  if (!h || h->name.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (Level != 1) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  JobRecord rec;
  SYSTEMTIME submitted{};
  DWORD position = 0;
  {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    auto it = g_jobs.find(JobId);
    // Printed and deleted jobs have left the queue.
    if (it == g_jobs.end() || !equalsNoCase(it->second.rec.printer, h->name) || it->second.rec.despooled) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    rec = it->second.rec;
    rec.bytes.clear();
    submitted = it->second.submitted;
    for (DWORD id : g_jobOrder) {
      auto jt = g_jobs.find(id);
      if (jt == g_jobs.end() || jt->second.rec.despooled || !equalsNoCase(jt->second.rec.printer, h->name)) continue;
      ++position;
      if (id == JobId) break;
    }
  }
  JOB_INFO_1W ji{};
  ji.JobId = rec.id;
  ji.Status = rec.status;
  ji.Priority = 1;
  ji.Position = position;
  ji.TotalPages = rec.pages;
  ji.PagesPrinted = (rec.status & JOB_STATUS_PRINTED) ? rec.pages : 0;
  ji.Submitted = submitted;
  WCHAR comp[64];
  DWORD n = 64;
  GetComputerNameW(comp, &n);
  Packer pk(sizeof(ji));
  std::vector<std::pair<size_t, size_t>> fix = {
      {offsetof(JOB_INFO_1W, pPrinterName), pk.addString(rec.printer)},
      {offsetof(JOB_INFO_1W, pMachineName), pk.addString(u"\\\\" + std::u16string(comp, n))},
      {offsetof(JOB_INFO_1W, pUserName), pk.addString(u"User")},
      {offsetof(JOB_INFO_1W, pDocument), pk.addString(rec.document)},
      {offsetof(JOB_INFO_1W, pDatatype), pk.addString(u"RAW")},
      {offsetof(JOB_INFO_1W, pStatus), kNone}};
  return emit(ji, pk, fix, pJob, cbBuf, pcbNeeded);
}

BOOL WINAPI SetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD Command) {
  PrinterHandle *h = handleOf(hPrinter);
  if (!h || h->name.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // Levels 1 and 2 would change the job's fields; the package only sends
  // commands, so their data is accepted and not applied.
  if (Level > 2 || (Level != 0 && !pJob)) {
    SetLastError(Level > 2 ? ERROR_INVALID_LEVEL : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> g(g_lock);
  auto it = g_jobs.find(JobId);
  if (it == g_jobs.end() || !equalsNoCase(it->second.rec.printer, h->name) || it->second.rec.despooled) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  JobRecord &rec = it->second.rec;
  switch (Command) {
    case 0:
      break;
    case JOB_CONTROL_PAUSE:
      rec.status |= JOB_STATUS_PAUSED;
      break;
    case JOB_CONTROL_RESUME:
      rec.status &= ~DWORD(JOB_STATUS_PAUSED);
      break;
    case JOB_CONTROL_RESTART:
      rec.status |= JOB_STATUS_RESTART;
      break;
    case JOB_CONTROL_CANCEL:
    case JOB_CONTROL_DELETE: {
      rec.status |= JOB_STATUS_DELETING;
      rec.aborted = true;
      // A job still waiting in the queue goes at once; the one being
      // despooled stops at its next write.
      auto q = g_queues.find(upper(rec.printer));
      bool waiting = q != g_queues.end() && std::find(q->second->pending.begin(), q->second->pending.end(), JobId) !=
                                                 q->second->pending.end();
      if (waiting) q->second->pending.erase(std::find(q->second->pending.begin(), q->second->pending.end(), JobId));
      bool running = q != g_queues.end() && q->second->current == JobId;
      if (!running && rec.completed) {
        rec.status = (rec.status & ~DWORD(JOB_STATUS_DELETING)) | JOB_STATUS_DELETED;
        rec.despooled = true;
        g_queueCv.notify_all();
      }
      break;
    }
    case JOB_CONTROL_SENT_TO_PRINTER:
    case JOB_CONTROL_LAST_PAGE_EJECTED:
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
  }
  if (Command) rec.controls.push_back(Command);
  return TRUE;
}

BOOL WINAPI EnumPortsW(LPWSTR pName, DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned) {
  (void)pName;
  // The USB monitor's ports, then the local ports: FILE: and the files and
  // other names that printers use.
  std::vector<PortListEntry> ports = usbPortNames();
  std::vector<std::u16string> local = {u"FILE:"};
  for (const auto &n : printerNames()) {
    std::u16string p = portOf(n);
    if (p.empty() || isUsbPortName(p)) continue;
    bool seen = false;
    for (auto &l : local) seen = seen || equalsNoCase(l, p);
    if (!seen) local.push_back(p);
  }
  for (auto &l : local) ports.push_back({l, u"Local Port", u"Local Port"});
  return enumPortList(ports, Level, pPorts, cbBuf, pcbNeeded, pcReturned);
}

// ------------------------------------------------------------ printer data

DWORD WINAPI GetPrinterDataExW(HANDLE hPrinter, LPCWSTR pKeyName, LPCWSTR pValueName, LPDWORD pType, LPBYTE pData,
                               DWORD nSize, LPDWORD pcbNeeded) {
  PrinterHandle *h = handleOf(hPrinter);
  if (!h || h->name.empty()) return ERROR_INVALID_HANDLE;
  if (!pKeyName || !*pKeyName || !pValueName) return ERROR_INVALID_PARAMETER;
  bool absent;
  return queryData(h, pKeyName, pValueName, pType, pData, nSize, pcbNeeded, absent);
}

DWORD WINAPI GetPrinterDataW(HANDLE hPrinter, LPWSTR pValueName, LPDWORD pType, LPBYTE pData, DWORD nSize,
                             LPDWORD pcbNeeded) {
  PrinterHandle *h = handleOf(hPrinter);
  if (!h || h->name.empty()) return ERROR_INVALID_HANDLE;
  if (!pValueName) return ERROR_INVALID_PARAMETER;
  bool absent;
  DWORD st = queryData(h, u"PrinterDriverData", pValueName, pType, pData, nSize, pcbNeeded, absent);
  if (!absent) return st;
  // Not a value of the printer: the port's monitor may know it.
  std::shared_ptr<Port> port = portFor(h->name, portOf(h->name));
  std::vector<BYTE> reply;
  DWORD error = ERROR_FILE_NOT_FOUND, needed = 0;
  if (!port->getPrinterDataFromPort(pValueName, nSize, reply, needed, error)) {
    if (error == ERROR_INSUFFICIENT_BUFFER || error == ERROR_MORE_DATA) {
      if (pcbNeeded) *pcbNeeded = needed;
      return ERROR_MORE_DATA;
    }
    return error ? error : ERROR_FILE_NOT_FOUND;
  }
  if (pcbNeeded) *pcbNeeded = DWORD(reply.size());
  if (pType) *pType = REG_BINARY;
  if (reply.size() > nSize || (!pData && !reply.empty())) return ERROR_MORE_DATA;
  if (!reply.empty()) std::memcpy(pData, reply.data(), reply.size());
  return ERROR_SUCCESS;
}

DWORD WINAPI SetPrinterDataExW(HANDLE hPrinter, LPCWSTR pKeyName, LPCWSTR pValueName, DWORD Type, LPBYTE pData,
                               DWORD cbData) {
  PrinterHandle *h = handleOf(hPrinter);
  if (!h || h->name.empty()) return ERROR_INVALID_HANDLE;
  if (!pKeyName || !*pKeyName || !pValueName || (!pData && cbData)) return ERROR_INVALID_PARAMETER;
  return setData(h, pKeyName, pValueName, Type, pData, cbData);
}

DWORD WINAPI SetPrinterDataW(HANDLE hPrinter, LPWSTR pValueName, DWORD Type, LPBYTE pData, DWORD cbData) {
  return SetPrinterDataExW(hPrinter, u"PrinterDriverData", pValueName, Type, pData, cbData);
}

DWORD WINAPI DeletePrinterDataExW(HANDLE hPrinter, LPCWSTR pKeyName, LPCWSTR pValueName) {
  PrinterHandle *h = handleOf(hPrinter);
  if (!h || h->name.empty()) return ERROR_INVALID_HANDLE;
  if (!pKeyName || !pValueName) return ERROR_INVALID_PARAMETER;
  HKEY pk = openPrinterKey(h->name);
  if (!pk) return ERROR_INVALID_HANDLE;
  HKEY k;
  LSTATUS st = RegOpenKeyExW(pk, pKeyName, 0, KEY_ALL_ACCESS, &k);
  RegCloseKey(pk);
  if (st != ERROR_SUCCESS) return ERROR_FILE_NOT_FOUND;
  st = RegDeleteValueW(k, pValueName);
  RegCloseKey(k);
  return DWORD(st);
}

DWORD WINAPI DeletePrinterDataW(HANDLE hPrinter, LPWSTR pValueName) {
  return DeletePrinterDataExW(hPrinter, u"PrinterDriverData", pValueName);
}

}  // extern "C"

// ------------------------------------------------------------ test control

namespace winsim {

bool installPrinter(const PrinterSetup &s) {
  std::u16string env = spool::currentEnvironment();
  std::u16string dir = spool::driverDirectory(env) + u"\\3\\";
  auto place = [&](const std::string &host, std::u16string &virt) {
    virt.clear();
    if (host.empty()) return true;
    std::u16string base = toUtf16(std::filesystem::path(host).filename().string());
    virt = dir + base;
    std::string target = hostPath(virt);
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(target).parent_path(), ec);
    if (target.empty()) return false;
    // Copied beside and renamed into place: a module that is loaded from the
    // old file keeps its own copy, as Windows keeps an in-use DLL.
    std::string temp = target + ".installing";
    if (!std::filesystem::copy_file(host, temp, std::filesystem::copy_options::overwrite_existing, ec)) return false;
    std::filesystem::rename(temp, target, ec);
    return !ec;
  };
  std::u16string drv, config, data;
  if (!place(s.graphicsDll, drv) || !place(s.configDll, config) || !place(s.dataFile, data)) return false;
  std::u16string driverName = s.driverName.empty() ? s.printerName + u" Driver" : s.driverName;
  DRIVER_INFO_3W di{};
  di.cVersion = 3;
  di.pName = driverName.data();
  std::u16string envCopy = env;
  di.pEnvironment = envCopy.data();
  std::u16string none;
  di.pDriverPath = drv.empty() ? none.data() : drv.data();
  di.pDataFile = data.empty() ? nullptr : data.data();
  di.pConfigFile = config.empty() ? nullptr : config.data();
  std::u16string monitor = s.monitorName;
  di.pMonitorName = monitor.empty() ? nullptr : monitor.data();
  std::u16string datatype = u"RAW";
  di.pDefaultDataType = datatype.data();
  if (drv.empty()) {
    // A driver without a graphics DLL is still recorded, for the spooler's
    // own tests.
    HKEY k;
    std::u16string path = spool::driversKey(env) + u"\\" + driverName;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) != ERROR_SUCCESS)
      return false;
    spool::writeString(k, u"Driver", u"");
    spool::writeString(k, u"Monitor", monitor);
    RegCloseKey(k);
  } else if (!AddPrinterDriverW(nullptr, 3, reinterpret_cast<LPBYTE>(&di))) {
    return false;
  }
  PRINTER_INFO_2W pi{};
  std::u16string name = s.printerName, port = s.portName;
  pi.pPrinterName = name.data();
  pi.pDriverName = driverName.data();
  pi.pPortName = port.data();
  if (s.defaultDevMode.size() >= offsetof(DEVMODEW, dmFields)) {
    auto *dm = reinterpret_cast<const DEVMODEW *>(s.defaultDevMode.data());
    if (size_t(dm->dmSize) + dm->dmDriverExtra <= s.defaultDevMode.size()) pi.pDevMode = const_cast<DEVMODEW *>(dm);
  }
  HANDLE h = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&pi));
  if (!h) return false;
  ClosePrinter(h);
  return true;
}

bool waitForSpoolerIdle(const std::u16string &printer, DWORD timeoutMs) {
  // Real time, whatever the clock's scale: the bound guards the test's own
  // progress, and a slow machine (a sanitizer build, a busy CI host) must
  // not turn a job that is merely slow into a failure.
  std::unique_lock<std::recursive_mutex> lk(spool::g_lock);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  return spool::g_queueCv.wait_until(lk, deadline, [&] { return spool::queuesIdle(printer); });
}

// The records are read once the printer's queue is done with its jobs, so
// that a test sees what reached the port.
std::vector<JobRecord> printJobs(const std::u16string &printer) {
  waitForSpoolerIdle(printer);
  std::lock_guard<std::recursive_mutex> g(spool::g_lock);
  std::vector<JobRecord> out;
  for (DWORD id : spool::g_jobOrder) {
    auto it = spool::g_jobs.find(id);
    if (it == spool::g_jobs.end()) continue;
    if (!printer.empty() && !equalsNoCase(it->second.rec.printer, printer)) continue;
    out.push_back(it->second.rec);
  }
  return out;
}

std::vector<uint8_t> jobBytes(DWORD jobId) {
  waitForSpoolerIdle();
  std::lock_guard<std::recursive_mutex> g(spool::g_lock);
  auto it = spool::g_jobs.find(jobId);
  return it == spool::g_jobs.end() ? std::vector<uint8_t>() : it->second.rec.bytes;
}

void setPortResponder(const std::u16string &portName, PortResponder responder) {
  std::lock_guard<std::recursive_mutex> g(spool::g_lock);
  if (responder) spool::g_responders[upper(portName)] = std::move(responder);
  else spool::g_responders.erase(upper(portName));
}

}  // namespace winsim
