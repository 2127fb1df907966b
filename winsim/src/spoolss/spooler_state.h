// The spooler's state, shared by the spooler service (queues, despooling,
// ports) and the client calls of winspool: printers and drivers as the
// registry keeps them, the open printer handles, the jobs and their queues.
#pragma once

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include <windows.h>
#include <winspool.h>
#include <winsim/testing.h>

#include "core/internal.h"
#include "spoolss/spoolss.h"

namespace winsim::spool {

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
  bool finished = false;  // the thread has left its loop
  std::thread thread;
};

// An open printer (or the local print server): a handle of the handle table.
struct PrinterHandle : KObject {
  PrinterHandle() : KObject(Kind::Printer) {}
  std::u16string name;  // empty: the local print server
  ACCESS_MASK access = 0;
  DWORD jobId = 0;  // the document started on this handle
  bool pageOpen = false;
  std::shared_ptr<XcvChannel> xcv;  // a handle of ",XcvMonitor" or ",XcvPort"
};
extern std::recursive_mutex &g_lock;  // kept past static destruction, as the queues
extern std::map<DWORD, Job> g_jobs;
extern std::vector<DWORD> g_jobOrder;
extern DWORD g_nextJob;
extern std::map<std::u16string, PortResponder> g_responders;  // by upper-case port name
// Ports stay open from their first use until the machine is reset, as the
// spooler keeps a port open for its printers.
struct OpenPort {
  std::u16string monitor;
  std::shared_ptr<Port> port;
};
extern std::map<std::u16string, OpenPort> g_ports;  // by upper-case port name
// The queues and their condition outlive the process's static destructors:
// a despooling thread may still wait on them when the process ends.
extern std::map<std::u16string, std::shared_ptr<PrinterQueue>> &g_queues;  // by upper-case printer name
extern std::condition_variable_any &g_queueCv;                             // queue changes, waited on with g_lock

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
BOOL emit(const T &fixedPart, Packer &pk, const std::vector<std::pair<size_t, size_t>> &ptrFixups, LPBYTE out, DWORD cb,
          LPDWORD needed) {
  DWORD total = DWORD(pk.total());
  if (needed) *needed = total;
  if (!out || cb < total) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memset(out, 0, pk.fixed);
  std::memcpy(out, &fixedPart, sizeof(T));
  if (!pk.extra.empty()) std::memcpy(out + pk.fixed, pk.extra.data(), pk.extra.size());
  // Each fixup: offset of a pointer field in T, offset of its target (or none).
  for (auto [field, target] : ptrFixups) {
    void *p = target == kNone ? nullptr : out + target;
    std::memcpy(out + field, &p, sizeof(p));
  }
  return TRUE;
}

// A driver as the registry keeps it: the files as full paths in the
// version directory, the dependent files as their bare names.
struct DriverInfo {
  std::u16string name, environment, driverPath, dataFile, configFile, helpFile, monitor, datatype;
  std::vector<std::u16string> dependentFiles, previousNames;
};

// The printer handle behind h, or NULL with ERROR_INVALID_HANDLE.
PrinterHandle *handleOf(HANDLE h);
// The job a handle's open document writes to, or NULL with
// ERROR_SPL_NO_STARTDOC.  Called with the spooler lock held.
Job *openJobOf(PrinterHandle *h);
// ------------------------------------------------------------ registry helpers
std::u16string readString(HKEY k, const char16_t *name);
std::vector<BYTE> readBinary(HKEY k, const char16_t *name);
// The names of the subkeys of a key under the local-machine hive, in the
// registry's order; none when the key is not there.
std::vector<std::u16string> subkeysOf(const std::u16string &path);
// A REG_MULTI_SZ value as its strings, and written from them.
std::vector<std::u16string> readMultiString(HKEY k, const char16_t *name);
void writeMultiString(HKEY k, const char16_t *name, const std::vector<std::u16string> &items);
DWORD readDword(HKEY k, const char16_t *name, DWORD def = 0);
void writeString(HKEY k, const char16_t *name, const std::u16string &v, DWORD type = REG_SZ);
void writeDword(HKEY k, const char16_t *name, DWORD v);
HKEY openPrinterKey(const std::u16string &name, bool create = false);
// The printer key's value that names the print server the printer is
// reached through (winsim::setPrinterServerName); absent for this machine's.
inline constexpr char16_t kServerNameValue[] = u"winsim Server Name";
bool printerExists(const std::u16string &name);
std::vector<std::u16string> printerNames();
std::u16string normEnvironment(LPCWSTR env);
std::u16string baseNameOf(const std::u16string &p);
std::u16string portOf(const std::u16string &printer);
// The open port of a printer, opened on first use.  A port whose printer now
// wants another language monitor is opened again.
// Ends every printer's despooling thread (each has 30 s to leave its port
// call): the job on a port gets `markCurrent` among its status bits first.
// The queues, with the jobs they still held.
std::map<std::u16string, std::shared_ptr<PrinterQueue>> stopDespooling(DWORD markCurrent);
// Closes every open port (the spooler stops or the machine is reset): a
// port still being opened meanwhile is not kept once its opening ends.
void closeAllPorts();
std::shared_ptr<Port> portFor(const std::u16string &printer, const std::u16string &portName);
bool jobDeleting(DWORD id);
void setJobError(DWORD id, bool error);
// Starts the job on the port, again and again while the port's monitor
// refuses and the job is neither deleted nor past the stall limit.
bool startJob(Port &port, const Job &job);
// A port prints one job at a time, whichever of its printers it comes from.
std::shared_ptr<std::mutex> portBusyLock(const std::u16string &portName);
// Hands an ended job to its port: start, writes until every byte is taken,
// end.  Runs on the printer's despooling thread.  A job restarted meanwhile
// is sent again from its start by the queue.
void despool(Job &job);
void despoolLoop(std::shared_ptr<PrinterQueue> q);
// Queues an ended job on its printer's queue; called with the lock held.
void enqueue(const std::u16string &printer, DWORD id);
bool queuesIdle(const std::u16string &printer);
bool readDriver(const std::u16string &name, const std::u16string &env, DriverInfo &d);
// ------------------------------------------------------------ drivers
// The environments drivers are kept for, this machine's first.
std::vector<std::u16string> knownEnvironments();
// The drivers installed for an environment, by name.
std::vector<std::u16string> driverNames(const std::u16string &env);
// Where a version-3 driver's files live: <driver directory>\3.
std::u16string versionDirectory(const std::u16string &env);
// The bare names of a driver's files: driver, data, configuration, help
// and dependent files, each once.
std::vector<std::u16string> driverFileNames(const DriverInfo &d);
// The printers that use the driver (of this machine's environment).
std::vector<std::u16string> printersUsingDriver(const std::u16string &driver);

// The user's own default settings of each printer (PRINTER_INFO_9), under
// HKEY_CURRENT_USER, one binary value per printer name.
inline constexpr char16_t kPerUserDevModeKey[] = u"Printers\\DevModePerUser";

// ------------------------------------------------------------ printer deletion
// A printer with jobs still to print is deleted once the last of them has
// left its queue; meanwhile it takes no new job.
bool printerPendingDeletion(const std::u16string &printer);
void markPendingDeletion(const std::u16string &printer);
// Jobs of the printer that have not left the queue yet (spooled, waiting or
// on the port).  With g_lock held.
DWORD outstandingJobs(const std::u16string &printer);
// Takes the printer's key, its users' own settings and its notification
// registrations away.
void deletePrinterNow(const std::u16string &printer);
// Called with g_lock held when one of the printer's jobs has left the queue
// (printed, deleted or aborted): a printer waiting for it to be deleted goes.
void jobLeftQueue(const std::u16string &printer);

}  // namespace winsim::spool
