// Helpers of winspool's client calls: printer handles, printer levels,
// DEVMODEs and printer data.
#pragma once

#include <string>
#include <vector>

#include "spoolss/spooler_state.h"

namespace winsim::spool {

// AddPrinterDriverExW's work (driver_install.cpp): the files into the
// version directory, the driver into the registry.
BOOL addDriver(DWORD level, LPBYTE info, DWORD copyFlags);
HANDLE newHandle(const std::u16string &name, ACCESS_MASK access);
// OpenPrinter on ",XcvMonitor <monitor>" or ",XcvPort <port>".
BOOL openXcvHandle(const std::u16string &name, ACCESS_MASK desired, LPHANDLE out);
std::vector<BYTE> defaultDevMode(const std::u16string &printer);
// The user's own default DEVMODE of the printer (PRINTER_INFO_9), or none.
std::vector<BYTE> perUserDevMode(const std::u16string &printer);
void storePerUserDevMode(const std::u16string &printer, const DEVMODEW *dm);
// A DEVMODE a caller hands in is only as long as it says it is, and at least
// as long as its fixed fields up to dmFields.
bool devModeValid(const DEVMODEW *dm);
// The printer's security descriptor (printer_security.cpp), self-relative,
// and the length of one in that form (0 for another form).
std::vector<BYTE> printerSecurityDescriptor();
size_t securityDescriptorLength(const void *descriptor);
BOOL getPrinterLevel(PrinterHandle *h, DWORD level, LPBYTE out, DWORD cb, LPDWORD needed);
void storeDevMode(HKEY k, const DEVMODEW *dm);
// The full path of the printer's driver UI module (its configuration
// file); empty when the driver names none.
std::u16string configFileOf(HANDLE printer);
// AddPrinterW's work; a printer added without a DEVMODE gets its driver's
// default unless `askDriverDefault` is false (a test's printer set up
// without one).
HANDLE addPrinter(LPWSTR pName, DWORD Level, LPBYTE pPrinter, bool askDriverDefault);
// Asks the printer's driver for its default DEVMODE and keeps it as the
// printer's (driver_default.cpp); false when the driver gave none.
bool giveDriverDefault(const std::u16string &printer);
// The printer-data value of a key under the printer's key.
DWORD queryData(PrinterHandle *h, const std::u16string &key, LPCWSTR value, LPDWORD type, LPBYTE data, DWORD size,
                LPDWORD needed, bool &absent);
DWORD setData(PrinterHandle *h, const std::u16string &key, LPCWSTR value, DWORD type, LPBYTE data, DWORD size);

}  // namespace winsim::spool
