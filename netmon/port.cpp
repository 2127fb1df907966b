// The job path: opening a port for a printer, a job's start, its data and
// its end, and closing the port; the watcher that clears an offline port
// once its printer answers again.
#include <windows.h>
#include <winsock2.h>
#include <winspool.h>
#include <winsplp.h>

#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "netmon/channels.h"
#include "netmon/connection.h"
#include "netmon/entry_points.h"
#include "netmon/job_path.h"
#include "netmon/job_support.h"
#include "netmon/monitor.h"
#include "netmon/status_channel.h"
#include "shared/status_commands.h"
#include "shared/status_protocol.h"

namespace card::net {

namespace {

constexpr DWORD kStatusRetryPauseMs = 500;
constexpr DWORD kWatchIntervalMs = 10000;
// The watcher ends within one probe (three attempts of 350 ms) of being
// told; the bound leaves room for a slow machine.
constexpr DWORD kWatcherEndWaitMs = 15000;
constexpr DWORD kBlockResetPauseMs = 1000;
// How long WritePort gives the data channel to take more, and the pause
// before the spooler offers the same bytes again when it did not.
constexpr DWORD kWritableWaitMs = 1;
constexpr DWORD kNotWritablePauseMs = 100;
// After a failed write the spooler's next offer is held back this long.
constexpr DWORD kErrorPendingPauseMs = 1000;
constexpr size_t kModelReplyBytes = 128;

// The spooler's own identity for the duration of a scope: the printer's
// connections and the machine's keys are the spooler's business, not the
// printing user's.
class SpoolerIdentity {
 public:
  SpoolerIdentity() : client_(RevertToPrinterSelf()) {}
  ~SpoolerIdentity() {
    if (client_) ImpersonatePrinterClient(client_);
  }
  SpoolerIdentity(const SpoolerIdentity &) = delete;
  SpoolerIdentity &operator=(const SpoolerIdentity &) = delete;

 private:
  HANDLE client_;
};

void setOffline(LPCWSTR port, DWORD severity) { setPortStatus(port, PORT_STATUS_OFFLINE, severity); }

bool modelIsVarnel(const PortEntry &p) { return strncmp(p.model, "VarnelPFC ", 10) == 0; }

// "\eV\r" with the error report request behind it, as every query goes; the
// value before the ACK becomes the model text, "Unknown" without one.
void askModel(PortEntry &p) {
  strcpy(p.model, kUnknownModel);
  if (sendCommand(p, status::kCmdVersion) != 0) return;
  const std::string_view request = status::errorReportRequest(false);
  if (sendFramed(p.data, request.data(), request.size()) != 0) return;
  uint8_t reply[kModelReplyBytes];
  size_t length = readReply(p, reply, sizeof reply, status::kReplyWaitDefault);
  if (length == 0 || reply[length - 1] != kAck || reply[0] == kNak) return;
  --length;  // the ACK
  if (length == 0) return;
  if (length > kMaxModelChars) length = kMaxModelChars;
  memcpy(p.model, reply, length);
  p.model[length] = 0;
}

HANDLE openPrinter(const WString &name) {
  WString copy = name;
  HANDLE h = nullptr;
  return OpenPrinterW(copy.data(), &h, nullptr) ? h : nullptr;
}

// The ports the printer is set up on ("IP_1,IP_2"), from its level-2 record.
std::vector<WString> printerPorts(HANDLE printer) {
  std::vector<WString> ports;
  DWORD needed = 0;
  GetPrinterW(printer, 2, nullptr, 0, &needed);
  if (needed < sizeof(PRINTER_INFO_2W)) return ports;
  std::unique_ptr<BYTE[]> buffer(new BYTE[needed]);
  if (!GetPrinterW(printer, 2, buffer.get(), needed, &needed)) return ports;
  LPCWSTR list = reinterpret_cast<PRINTER_INFO_2W *>(buffer.get())->pPortName;
  if (!list) return ports;
  WString current;
  for (LPCWSTR c = list;; ++c) {
    if (*c == ',' || *c == 0) {
      while (!current.empty() && current.front() == ' ') current.erase(0, 1);
      while (!current.empty() && current.back() == ' ') current.pop_back();
      if (!current.empty()) ports.push_back(current);
      current.clear();
      if (*c == 0) break;
    } else {
      current.push_back(*c);
    }
  }
  return ports;
}

DWORD WINAPI watcherMain(LPVOID parameter) {
  PortEntry &p = *static_cast<PortEntry *>(parameter);
  while (WaitForSingleObject(p.watcherStop, kWatchIntervalMs) == WAIT_TIMEOUT) {
    bool started = false;
    char address[kMaxAddressChars + 1];
    {
      MonitorLock lock;
      started = (p.state & kStateJobStarted) != 0;
      memcpy(address, p.address, sizeof address);
    }
    // During a job the job path itself says what the port's state is.
    if (!started && probeReachable(address)) clearPortStatus(p.name.c_str());
  }
  return 0;
}

bool startWatcher(PortEntry &p) {
  p.watcherStop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!p.watcherStop) return false;
  p.watcherThread = CreateThread(nullptr, 0, watcherMain, &p, 0, nullptr);
  if (p.watcherThread) return true;
  CloseHandle(p.watcherStop);
  p.watcherStop = nullptr;
  return false;
}

// Every way out of StartDocPort after the job was marked active.
BOOL refuseJob(PortEntry &p, DWORD error) {
  InterlockedExchange(&p.jobActive, 0);
  SetLastError(error);
  return FALSE;
}

LPCWSTR documentNameOf(DWORD level, LPBYTE docInfo) {
  // DOC_INFO_1W and DOC_INFO_2W both start with the document name.
  if (!docInfo || (level != 1 && level != 2)) return nullptr;
  return reinterpret_cast<DOC_INFO_1W *>(docInfo)->pDocName;
}

}  // namespace

void debugNote(const char *text) { OutputDebugStringA(text); }

bool stopWatcher(PortEntry &p) {
  bool ended = true;
  if (p.watcherThread) {
    SetEvent(p.watcherStop);
    ended = WaitForSingleObject(p.watcherThread, kWatcherEndWaitMs) == WAIT_OBJECT_0;
    CloseHandle(p.watcherThread);
    p.watcherThread = nullptr;
  }
  if (p.watcherStop && ended) {
    CloseHandle(p.watcherStop);
    p.watcherStop = nullptr;
  }
  return ended;
}

DWORD jobStatus(PortEntry &p) {
  if (!p.printer) return 0;
  DWORD needed = 0;
  GetJobW(p.printer, p.jobId, 1, nullptr, 0, &needed);
  if (needed < sizeof(JOB_INFO_1W)) return 0;
  std::unique_ptr<BYTE[]> buffer(new BYTE[needed]);
  if (!GetJobW(p.printer, p.jobId, 1, buffer.get(), needed, &needed)) return 0;
  return reinterpret_cast<JOB_INFO_1W *>(buffer.get())->Status;
}

bool jobDeleting(PortEntry &p) {
  if (!(jobStatus(p) & JOB_STATUS_DELETING)) return false;
  p.cancelled = true;
  return true;
}

BOOL WINAPI openPortEx(HANDLE monitor, HANDLE, LPWSTR portName, LPWSTR printerName, PHANDLE handle, LPMONITOR2) {
  Monitor *m = monitorFromHandle(monitor);
  if (!m) return FALSE;
  if (handle) *handle = nullptr;
  if (!portName || !*portName || !handle) {
    if (portName && *portName) setOffline(portName, PORT_STATUS_TYPE_ERROR);
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  char address[kMaxAddressChars + 1];
  if (!lookUpAddress(portName, address)) {
    setOffline(portName, PORT_STATUS_TYPE_ERROR);
    SetLastError(ERROR_UNKNOWN_PORT);
    return FALSE;
  }
  PortEntry *p = addPortEntry(m, portName, kStateJobPath);
  if (!p) return FALSE;
  {
    MonitorLock lock;
    memcpy(p->address, address, sizeof address);
    memcpy(p->addressCopy, address, sizeof address);
  }

  bool connected = false;
  DWORD error = ERROR_SUCCESS;
  {
    SpoolerIdentity self;
    // Wakes the printer's interface; whether it answers does not matter.
    probeReachable(p->address);
    int statusError = 0, dataError = 0;
    connected = openChannels(*p, statusError, dataError);
    if (connected) {
      askModel(*p);
      closeChannels(*p);
      clearPortStatus(portName);
    } else {
      setOffline(portName, PORT_STATUS_TYPE_ERROR);
      const int wsError = statusError ? statusError : dataError;
      error = wsError ? DWORD(wsError) : ERROR_NOT_READY;
    }
  }
  if (!connected) {
    // The spooler gets no handle for it, so nothing would ever close it.
    removePortEntry(m, p);
    SetLastError(error);
    return FALSE;
  }
  p->remainingRibbon = kUnknownRemainingRibbon;
  p->setPrinterName(printerName);
  if (!startWatcher(*p)) {
    const DWORD startError = GetLastError();
    removePortEntry(m, p);
    SetLastError(startError ? startError : ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  *handle = p;
  return TRUE;
}

namespace {

// The fields one job leaves behind, cleared for the next.
void clearJobFields(PortEntry &p) {
  p.cancelled = false;
  p.errorPending = false;
  p.message = 0;
  p.cutter.reset();
  p.lastCommand.clear();
  p.jobFailed = false;
  p.documentComplete = false;
  p.dataSent = 0;
  p.droppedBytes = 0;
}

// Every port of the printer shows whether the printer answers; notes
// whether the printer has more than one.
void setPrinterPortsStatus(PortEntry &p, bool reachable) {
  const std::vector<WString> ports = printerPorts(p.printer);
  p.multiPort = ports.size() > 1;
  for (const WString &other : ports) {
    if (modelIsVarnel(p) || reachable)
      clearPortStatus(other.c_str());
    else
      setOffline(other.c_str(), PORT_STATUS_TYPE_ERROR);
  }
}

// Both channels for the job: 0, or the error the job start fails with.
DWORD connectForJob(PortEntry &p) {
  const LPCWSTR portName = p.name.c_str();
  for (;;) {
    int statusError = 0, dataError = 0;
    if (openChannels(p, statusError, dataError)) return 0;
    if (statusError == 0) {
      // The status channel connected and the data channel did not:
      // openChannels has closed it and asked for the interface's reset.
      return dataError ? DWORD(dataError) : ERROR_NOT_READY;
    }
    if (p.multiPort) {
      setOffline(portName, PORT_STATUS_TYPE_ERROR);
      return DWORD(statusError);
    }
    // A single-port printer whose interface refuses is restarting: the job
    // waits for it, unless the user gives it up.
    setOffline(portName, PORT_STATUS_TYPE_INFO);
    if (statusError != WSAECONNREFUSED || jobDeleting(p)) return DWORD(statusError);
    // A job the spooler no longer knows is not waited for either.
    DWORD needed = 0;
    if (!GetJobW(p.printer, p.jobId, 1, nullptr, 0, &needed) && GetLastError() != ERROR_INSUFFICIENT_BUFFER)
      return ERROR_CANCELLED;
    Sleep(kStatusRetryPauseMs);
  }
}

}  // namespace

BOOL WINAPI startDocPort(HANDLE port, LPWSTR printerName, DWORD jobId, DWORD level, LPBYTE docInfo) {
  PortEntry *entry = portFromHandle(port);
  if (!entry) return FALSE;
  PortEntry &p = *entry;
  {
    // A second start while a job runs on the port must not take over that
    // job's connections and state.
    MonitorLock lock;
    if (p.state & kStateJobStarted) {
      SetLastError(ERROR_BUSY);
      return FALSE;
    }
  }
  InterlockedExchange(&p.jobActive, 1);
  clearJobFields(p);

  SpoolerIdentity self;
  const LPCWSTR portName = p.name.c_str();
  const bool exempt = p.probeExempt();
  const bool reachable = exempt || probeReachable(p.address);
  if (!reachable) {
    setOffline(portName, PORT_STATUS_TYPE_ERROR);
    return refuseJob(p, ERROR_NOT_READY);
  }
  clearPortStatus(portName);

  if (printerName && *printerName && p.printerNameCopy() != printerName) p.setPrinterName(printerName);
  if (p.printer) ClosePrinter(p.printer);
  p.printer = openPrinter(p.printerNameCopy());
  if (!p.printer) return refuseJob(p, GetLastError() ? GetLastError() : ERROR_INVALID_PRINTER_NAME);

  setPrinterPortsStatus(p, reachable);
  p.jobId = jobId;
  if (const DWORD error = connectForJob(p)) return refuseJob(p, error);

  const LPCWSTR document = documentNameOf(level, docInfo);
  if (document && isCaptureDocument(document)) {
    if (!startCapture(p, document)) {
      const DWORD error = GetLastError();
      closeChannels(p);
      return refuseJob(p, error ? error : ERROR_NOT_READY);
    }
    ClosePrinter(p.printer);
    p.printer = openPrinter(p.printerNameCopy());
    return TRUE;
  }
  checkRibbon(p);
  {
    MonitorLock lock;
    if (p.state & kStateJobStarted) {
      closeChannels(p);
      return refuseJob(p, ERROR_BUSY);
    }
    p.state |= kStateJobStarted;
  }
  checkRemainingRibbon(p);
  clearPortStatus(portName);
  // Whether the printer took it shows at the first command's reply check.
  sendCommand(p, status::kCmdMaster);
  p.state |= kStateDataAccepted;
  return TRUE;
}

BOOL WINAPI writePort(HANDLE port, LPBYTE buffer, DWORD size, LPDWORD written) {
  if (written) *written = 0;
  PortEntry *entry = portFromHandle(port);
  if (!entry) return FALSE;
  if (!written) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  PortEntry &p = *entry;
  if (capturing(p)) return captureWrite(p, buffer, size, written);
  if (!(p.state & kStateDataAccepted)) {
    // No job was started on the port, or its start failed.
    SetLastError(ERROR_NOT_READY);
    return FALSE;
  }
  if (p.data == INVALID_SOCKET) {
    // The connection was lost and not won back (the error wait's reconnect
    // failed): one more try, rather than offering the job to nobody for ever.
    if (jobDeleting(p)) return TRUE;
    SpoolerIdentity self;
    if (!reconnectDataChannel(p)) {
      SetLastError(ERROR_DEVICE_NOT_CONNECTED);
      return FALSE;
    }
  }
  if (!writableWithin(p.data, kWritableWaitMs)) {
    // The printer has not taken what it has yet; the spooler offers the
    // same bytes again.
    if (jobDeleting(p)) return TRUE;
    Sleep(kNotWritablePauseMs);
    return TRUE;
  }
  p.dataSent = kDataSentMarker;
  if (p.errorPending) {
    Sleep(kErrorPendingPauseMs);
    p.errorPending = false;
    return TRUE;
  }
  return pacedWrite(p, buffer, size, written);
}

BOOL WINAPI endDocPort(HANDLE port) {
  PortEntry *entry = portFromHandle(port);
  if (!entry) return FALSE;
  PortEntry &p = *entry;
  SpoolerIdentity self;
  const bool started = (p.state & kStateJobStarted) != 0;
  if (capturing(p)) {
    // A capture job the user deleted is not carried out: half a firmware
    // image or print file must never reach the printer.
    if (p.cancelled || jobDeleting(p))
      cancelCapture(p);
    else
      endCapture(p);
  } else if (started) {
    if (p.cutter.insideBlock()) {
      // The printer waits for the rest of a block that will not come.
      softReset(p);
      Sleep(kBlockResetPauseMs);
    }
    if (p.cutter.state().heldLength || p.droppedBytes) {
      char text[160];
      wsprintfA(
          text,
          "netmon: %lu bytes of the job were not sent (a command without its end, or bytes outside any command)\n",
          static_cast<unsigned long>(p.cutter.state().heldLength + p.droppedBytes));
      debugNote(text);
    }
    if ((p.cancelled || jobDeleting(p)) && p.dataSent == kDataSentMarker) {
      MonitorLock lock;
      abortCleanup(p);
    }
    p.dataSent = 0;
    if (p.printer) {
      SetJobW(p.printer, p.jobId, 0, nullptr, JOB_CONTROL_SENT_TO_PRINTER);
      SetJobW(p.printer, p.jobId, 0, nullptr, JOB_CONTROL_LAST_PAGE_EJECTED);
    }
    stopLowRibbonAlert(p);
  }
  {
    MonitorLock lock;
    p.state &= ~(kStateJobStarted | kStateDataAccepted);
    memcpy(p.address, p.addressCopy, sizeof p.address);
  }
  if (p.printer) {
    ClosePrinter(p.printer);
    p.printer = nullptr;
  }
  closeChannels(p);
  p.errorPending = false;
  p.cancelled = false;
  p.dataSent = 0;
  p.cutter.reset();
  p.droppedBytes = 0;
  InterlockedExchange(&p.jobActive, 0);
  clearPortStatus(p.name.c_str());
  return TRUE;
}

BOOL WINAPI closePort(HANDLE port) {
  PortEntry *entry = portFromHandle(port);
  if (!entry) return FALSE;
  PortEntry &p = *entry;
  stopMessageTask(p);
  if (capturing(p)) cancelCapture(p);
  if (!stopWatcher(p)) {
    // Freeing the entry under a watcher that still reads it would be worse
    // than keeping it: it is only taken out of the list.
    debugNote("netmon: the reachability watcher did not end; its port entry is kept\n");
    MonitorLock lock;
    for (PortEntry **q = &p.monitor->ports; *q; q = &(*q)->next) {
      if (*q == &p) {
        *q = p.next;
        break;
      }
    }
    return TRUE;
  }
  removePortEntry(p.monitor, &p);
  return TRUE;
}

}  // namespace card::net
