// The network monitor's module-wide state, its monitor record, the
// transceive handles and the port entry.  One library instance serves every
// network card printer of the spooler.  The port entry is both the port the
// monitor knows by name (added through the transceive interface or the
// spooler) and, once the spooler opens it for a printer, that printer's job
// record with its two connections.
#pragma once

#include <windows.h>
#include <winsock2.h>
#include <winspool.h>
#include <winsplp.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "netmon/address.h"
#include "netmon/port_config.h"
#include "shared/stream_cutter.h"
#include "shared/wide_string.h"

namespace card::net {

using card::WString;  // for the module's extern "C" entry points too

struct Monitor;
class PortEntry;

// Module-wide state.
struct Module {
  HMODULE self = nullptr;
  bool newGeneration = false;  // Windows 6 or later: messages go to the notification server
  bool lockReady = false;
  // The port list, the transceive list, every entry's device handle, use
  // count and printer name, and the abort clean-up sequence.
  CRITICAL_SECTION lock;
  HMODULE cardres = nullptr;
  HMODULE notifysrv = nullptr;
  // Blocks until the user has dismissed the message: 1 when the user's
  // session acknowledged it, 0 when it reached nobody.
  using SendAsyncNotificationFn = int(WINAPI *)(LPWSTR printerName, LPVOID payload);
  SendAsyncNotificationFn sendAsyncNotification = nullptr;
  // Every initialised monitor record, newest first (normally one), under
  // the global lock: the calls that get no monitor record find theirs here.
  Monitor *monitors = nullptr;
  bool winsockReady = false;
  AddressCache addresses;  // under the global lock
};
Module &module();

// Loads the resource library and the notification server from the
// spooler's driver directory, starts the socket library; once.
void loadCompanions();
void freeCompanions();

class MonitorLock {
 public:
  MonitorLock() { EnterCriticalSection(&module().lock); }
  ~MonitorLock() { LeaveCriticalSection(&module().lock); }
  MonitorLock(const MonitorLock &) = delete;
  MonitorLock &operator=(const MonitorLock &) = delete;
};

// A transceive handle (XcvOpenPort to XcvClosePort).
struct XcvHandle {
  uint32_t signature = kXcvSignature;
  uint32_t size = 0;
  XcvHandle *next = nullptr;
  WString objectName;  // normally a port name
  ACCESS_MASK granted = 0;
  Monitor *monitor = nullptr;
};

// One per InitializePrintMonitor2, until Shutdown.
struct Monitor {
  uint32_t signature = kMonitorSignature;
  MONITORINIT init{};
  PortEntry *ports = nullptr;  // under the global lock
  XcvHandle *xcvs = nullptr;   // under the global lock
  Monitor *next = nullptr;
};

// The monitor record behind a handle the spooler passes, or null
// (ERROR_INVALID_HANDLE set).
Monitor *monitorFromHandle(HANDLE h);

// Port entry state bits.
inline constexpr DWORD kStateDeviceOpen = 0x001;
inline constexpr DWORD kStateTimeoutsSet = 0x002;
inline constexpr DWORD kStateJobPath = 0x004;
inline constexpr DWORD kStateJobStarted = 0x008;
inline constexpr DWORD kStateDataAccepted = 0x800;
inline constexpr DWORD kDataSentMarker = 24;
inline constexpr long kUnknownRemainingRibbon = 50;
inline constexpr size_t kMaxModelChars = 79;
inline constexpr size_t kMaxLastCommandBytes = 1024;
inline constexpr char kUnknownModel[] = "Unknown";

// A port the monitor knows, and the job record of the printer it serves.
class PortEntry {
 public:
  PortEntry(Monitor *owner, LPCWSTR portName);
  ~PortEntry();
  PortEntry(const PortEntry &) = delete;
  PortEntry &operator=(const PortEntry &) = delete;

  uint32_t signature = kPortSignature;
  uint32_t size = 0;
  PortEntry *next = nullptr;
  WString name;
  Monitor *monitor = nullptr;

  // The serial or parallel device, under the global lock.
  HANDLE device = INVALID_HANDLE_VALUE;
  LONG useCount = 0;
  DWORD state = 0;

  // The printer's address, and the copy the end of a job restores it from.
  char address[kMaxAddressChars + 1] = {};
  char addressCopy[kMaxAddressChars + 1] = {};
  WString printerName;          // under the global lock
  HANDLE printer = nullptr;     // spooler handle for job control
  volatile LONG jobActive = 0;  // changed by atomic exchange only
  DWORD jobId = 0;

  SOCKET data = INVALID_SOCKET;
  SOCKET status = INVALID_SOCKET;

  char model[kMaxModelChars + 1] = "Unknown";
  uint8_t lastStatus = 0;
  bool rememberedBit7 = false;
  long remainingRibbon = kUnknownRemainingRibbon;
  bool cancelled = false;
  bool errorPending = false;
  DWORD dataSent = 0;
  bool ribbonClass = false;
  // Written by the job thread, read by query threads.
  std::atomic<bool> jobFailed{false};         // "\eCheckPortStatus\r" answers "STATUS_FAILED"
  std::atomic<bool> documentComplete{false};  // "\eIsDOCComplete\r"
  pacing::StreamCutter cutter;
  std::string lastCommand;  // at most kMaxLastCommandBytes
  uint32_t message = 0;     // the current message number

  // The reachability watcher: set `watcherStop` to end it.
  HANDLE watcherThread = nullptr;
  HANDLE watcherStop = nullptr;

  // ---- job path fields (port.cpp, pacing.cpp) ----
  // The job's printer lists more than one port: a status channel that
  // refuses is then no reason to hold the job, another port may take it.
  bool multiPort = false;
  // Bytes of the job stream the writer could not pass (outside any command,
  // or a command without an end), for the debugger's note at the job's end.
  uint64_t droppedBytes = 0;

  // ---- error wait, message and ribbon fields (error_wait.cpp, messages.cpp, ribbon.cpp) ----
  // The message task of the error wait or of the no-ribbon wait while it
  // runs, and an informational message nothing waits for (messages.h).
  class MessageTask *messageTask = nullptr;
  class MessageTask *notice = nullptr;
  // The low ribbon alert's controller thread, and the event that ends it
  // early.
  HANDLE ribbonAlert = nullptr;
  HANDLE ribbonAlertStop = nullptr;

  // ---- capture job fields (capture.cpp, requests.cpp) ----
  // A job named "FILE_PRN", "FILE_TXT" or "FILE_BIN" is collected in a temp
  // file and handed to its mode's request at the end of the job.
  WCHAR captureFile[MAX_PATH] = {};
  HANDLE captureHandle = INVALID_HANDLE_VALUE;
  bool captureActive = false;
  uint8_t captureMode = 0;  // interception::CaptureMode

  // The copy of the printer name taken under the global lock.
  WString printerNameCopy() const;
  void setPrinterName(LPCWSTR name);
  // Whether the model text says the printer has no reachability probe.
  bool probeExempt() const;
};

// The entry behind a port handle of the job path, or null
// (ERROR_INVALID_HANDLE set).
PortEntry *portFromHandle(HANDLE h);

// The port list of a monitor (entry.cpp), under the global lock inside.
// A new entry at the end of the list; null with the thread's last error
// (ERROR_INVALID_NAME for a name over the limit).
// `initialState` is set before the entry is in the list (kStateJobPath for
// the job path, so that no transceive call takes it away meanwhile).
PortEntry *addPortEntry(Monitor *m, LPCWSTR portName, DWORD initialState = 0);
// Unlinks and frees an entry; false when it is not in the list.
bool removePortEntry(Monitor *m, PortEntry *entry);

// Sets the spooler's status of a port (level 3): status 0 clears it.
void setPortStatus(LPCWSTR portName, DWORD status, DWORD severity);
inline void clearPortStatus(LPCWSTR portName) { setPortStatus(portName, 0, PORT_STATUS_TYPE_INFO); }

// The printer's address for a port name from the Standard TCP/IP port keys
// (as the spooler's own identity); false when none is found.
bool lookUpAddress(LPCWSTR portName, char (&address)[kMaxAddressChars + 1]);

}  // namespace card::net
