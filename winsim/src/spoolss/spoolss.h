// Internals of winsim's spooler.  A printer's output goes through a Port: the
// spooler opens it when the printer first needs it, runs each job through it
// (start, writes, end) and asks it for printer-data values that the printer
// does not hold.  Ports come from the port monitors in the port registry:
// the local port monitor's files and recording ports, and the ports of
// monitors with a table (the USB port monitor's), with a language monitor
// stacked on top when the printer's driver names one.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

namespace winsim::spool {

class Port {
 public:
  virtual ~Port() = default;  // closes the port
  // One job: start, any number of writes, end.  Called from the printer's
  // despooling thread.
  virtual BOOL startDoc(const std::u16string &printer, DWORD jobId, const std::u16string &document) = 0;
  virtual BOOL write(const BYTE *data, DWORD size, DWORD *written) = 0;
  virtual BOOL endDoc() = 0;
  // GetPrinterDataFromPort, from any thread, also while a job runs: TRUE
  // with the reply, or FALSE with a Windows error code in `error` (and the
  // size wanted in `needed` when the buffer of `outSize` bytes was short).
  virtual BOOL getPrinterDataFromPort(const std::u16string &valueName, DWORD outSize, std::vector<BYTE> &reply,
                                      DWORD &needed, DWORD &error) = 0;
  // The language monitor this port was opened with ("" for none).
  virtual std::u16string languageMonitor() const { return {}; }
  // False for a port that failed to open: the spooler tries again next time.
  virtual bool isOpen() const { return true; }
  // True when a refused job start is worth trying again later (a monitor's
  // printer that is busy or in error); the built-in ports refuse for good.
  virtual bool retriesStart() const { return false; }
};

// Makes the port that serves `portName` for `printer`; NULL when the factory
// leaves the port to the monitor's table.
using PortFactory = std::function<std::unique_ptr<Port>(const std::u16string &printer, const std::u16string &portName)>;

void resetSpooler();

// Registry locations.
std::u16string printersKey();  // SYSTEM\CurrentControlSet\Control\Print\Printers
std::u16string monitorsKey();  // SYSTEM\CurrentControlSet\Control\Print\Monitors
std::u16string driversKey(const std::u16string &environment);
std::u16string driverDirectory(const std::u16string &environment);  // C:\Windows\system32\spool\DRIVERS\x64
std::u16string currentEnvironment();
// The language monitor named by the printer's driver ("" for none).
std::u16string printerMonitorName(const std::u16string &printer);
// The open ports that a language monitor serves.
std::vector<std::u16string> portsUsingMonitor(const std::u16string &monitor);

// ------------------------------------------------------------ ports
struct PortListEntry {
  std::u16string name, monitor, description;
  DWORD portType = PORT_TYPE_WRITE;
};
// EnumPorts' answer for a list of ports (levels 1 and 2).
BOOL enumPortList(const std::vector<PortListEntry> &ports, DWORD level, LPBYTE out, DWORD cb, LPDWORD needed,
                  LPDWORD returned);

// ------------------------------------------------------------ the port registry
// The spooler knows its ports only through the port monitors that registered
// them: which monitor serves a name, the ports EnumPorts lists, and how a
// port is opened.  AddPrinter and SetPrinter refuse a port no monitor serves.
struct PortMonitor {
  std::u16string name;  // the monitor's name, as EnumPorts reports it
  int order = 0;        // place of its ports in EnumPorts' answer, lowest first
  std::function<bool(const std::u16string &port)> serves;
  std::function<std::vector<PortListEntry>()> listPorts;
  // The monitor's table when its ports are opened through one; a language
  // monitor named by the printer's driver then stacks on it.
  const MONITOR *table = nullptr;
  // Or its MONITOR2 table and the monitor handle that goes with it (a
  // language monitor of the MONITOR2 kind gets both in OpenPortEx).
  const MONITOR2 *table2 = nullptr;
  HANDLE handle2 = nullptr;
  // Opens a port of its own (NULL: through the table).
  PortFactory open;
  // Called at machine reset for the built-in monitors (the others go).
  void (*reset)() = nullptr;
};
// Built-in monitors register at start (a PortMonitorRegistration at
// namespace scope) and stay; the ones added later go at machine reset.
void registerPortMonitor(PortMonitor m, bool builtIn);
struct PortMonitorRegistration {
  explicit PortMonitorRegistration(PortMonitor m) { registerPortMonitor(std::move(m), true); }
};
// Drops the ports a monitor added (a built-in monitor stays).
void unregisterPortMonitor(const std::u16string &name);
// The monitor serving the port, NULL when there is none.
std::shared_ptr<const PortMonitor> portMonitorFor(const std::u16string &port);
// Every monitor's ports, for EnumPorts.
std::vector<PortListEntry> registeredPorts();
// Opens the port through its monitor; a port that no monitor serves (any
// more) fails every call with ERROR_UNKNOWN_PORT.
std::unique_ptr<Port> openRegisteredPort(const std::u16string &printer, const std::u16string &portName);
void resetPortMonitors();

// The monitor host: opens a port through its port monitor's table, with the
// language monitor the printer's driver names stacked on it.
std::unique_ptr<Port> openMonitorPort(const std::u16string &printer, const std::u16string &portName,
                                      const MONITOR &portMonitor);
// The same for a port monitor of the MONITOR2 kind, with its handle.
std::unique_ptr<Port> openMonitor2Port(const std::u16string &printer, const std::u16string &portName,
                                       const MONITOR2 &portMonitor, HANDLE portMonitorHandle);
// A port monitor with both tables: a language monitor gets the one of its
// own kind.
std::unique_ptr<Port> openMonitorPorts(const std::u16string &printer, const std::u16string &portName,
                                       const MONITOR &portMonitor, const MONITOR2 &portMonitor2,
                                       HANDLE portMonitorHandle);
// A port that could not be opened: every call fails with `error`.
std::unique_ptr<Port> makeFailedPort(DWORD error);
// A file the job is written to (CREATE_ALWAYS at each job's start).
std::unique_ptr<Port> makeFilePort(const std::u16string &path);
// A port without a device behind it: the job is kept by the spooler only;
// printer-data questions go to the test's responder when there is one.
std::unique_ptr<Port> makeRecordingPort(const std::u16string &portName);

// Language monitors: loaded from the DLL their registry key names, kept
// until the machine is reset.
void resetMonitors();

// ------------------------------------------------------------ Xcv channels
// A printer handle opened on ",XcvMonitor <monitor>" or ",XcvPort <port>":
// XcvDataW goes to the monitor's XcvDataPort, and the channel's end to its
// XcvClosePort.
class XcvChannel {
 public:
  virtual ~XcvChannel() = default;
  // The monitor's own status (a Windows error code).
  virtual DWORD data(LPCWSTR command, PBYTE in, DWORD inSize, PBYTE out, DWORD outSize, PDWORD needed) = 0;
};
// Opens the channel of `object` (the text after the comma); NULL with the
// reason in `error` when no MONITOR2 monitor serves it.
std::unique_ptr<XcvChannel> openXcv(const std::u16string &object, ACCESS_MASK granted, DWORD &error);
// Port status as SetPortW level 3 sets it.
struct PortStatus {
  DWORD status = 0, severity = 0;
  std::u16string text;
  bool set = false;
};
void setPortStatus(const std::u16string &port, const PortStatus &st);
PortStatus portStatusOf(const std::u16string &port);

// ------------------------------------------------------------ USB plug events
// The device nodes (setupapi, above the spooler) hear of every device plugged
// into a USB port and out of it (a null device), after the port took it or
// let it go.  Not called at machine reset, which empties the nodes itself.
using UsbPlugHook = void (*)(const std::u16string &port, const std::shared_ptr<UsbDevice> &device);
void setUsbPlugHook(UsbPlugHook hook);

}  // namespace winsim::spool
