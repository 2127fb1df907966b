// Internals of winsim's spooler.  A printer's output goes through a Port: the
// spooler opens it for a job, writes the job's bytes and closes it, and asks it
// for printer-data values that the printer does not hold.  The built-in ports
// are files and a recording port; a port monitor with a language monitor on
// top of it is one more Port implementation.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>
#include <winspool.h>

namespace winsim::spool {

class Port {
 public:
  virtual ~Port() = default;
  // One job: start, any number of writes, end.
  virtual BOOL startDoc(const std::u16string &printer, DWORD jobId, const std::u16string &document) = 0;
  virtual BOOL write(const BYTE *data, DWORD size, DWORD *written) = 0;
  virtual BOOL endDoc() = 0;
  // GetPrinterDataFromPort: TRUE with the reply, or FALSE with a Windows
  // error code in `error`.
  virtual BOOL getPrinterDataFromPort(const std::u16string &valueName, std::vector<BYTE> &reply, DWORD &error) = 0;
};

// Makes the port that serves `portName` (a file path, "FILE:", or any other
// name).  `outputFile` overrides the destination for one job.
using PortFactory = std::function<std::unique_ptr<Port>(const std::u16string &portName)>;
// Lets a later subsystem (port monitors) serve the ports whose names it
// recognises; the factory returns NULL for the others.
void addPortFactory(PortFactory f);

void resetSpooler();

// Registry locations.
std::u16string printersKey();  // SYSTEM\CurrentControlSet\Control\Print\Printers
std::u16string driversKey(const std::u16string &environment);
std::u16string driverDirectory(const std::u16string &environment);  // C:\Windows\system32\spool\DRIVERS\x64
std::u16string currentEnvironment();

}  // namespace winsim::spool
