// Internals of winsim's spooler.  A printer's output goes through a Port: the
// spooler opens it when the printer first needs it, runs each job through it
// (start, writes, end) and asks it for printer-data values that the printer
// does not hold.  The built-in ports are files and a recording port; the USB
// ports of the USB port monitor, with a language monitor stacked on top when
// the printer's driver names one, are served through monitor tables.
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
// does not serve that port.
using PortFactory = std::function<std::unique_ptr<Port>(const std::u16string &printer, const std::u16string &portName)>;
// Lets a later subsystem (port monitors) serve the ports whose names it
// recognises; the factory returns NULL for the others.
void addPortFactory(PortFactory f);

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
};
// EnumPorts' answer for a list of ports (levels 1 and 2).
BOOL enumPortList(const std::vector<PortListEntry> &ports, DWORD level, LPBYTE out, DWORD cb, LPDWORD needed,
                  LPDWORD returned);

// The USB port monitor.
inline constexpr char16_t kUsbMonitorName[] = u"USB Monitor";
bool isUsbPortName(const std::u16string &name);  // "USB001" ... "USB999"
const MONITOR &usbPortMonitor();
bool usbPortExists(const std::u16string &name);
std::vector<PortListEntry> usbPortNames();
void resetUsbPorts();

// Language monitors: loaded from the DLL their registry key names, kept
// until the machine is reset.
void registerMonitorPortFactory();
void resetMonitors();

}  // namespace winsim::spool
