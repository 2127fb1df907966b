// Helpers of winspool's client calls: printer handles, printer levels,
// DEVMODEs and printer data.
#pragma once

#include <string>
#include <vector>

#include "spoolss/spooler_state.h"

namespace winsim::spool {

// Puts a driver file into the driver directory; returns its file name.
bool placeDriverFile(LPCWSTR given, const std::u16string &env, std::u16string &fileName);
BOOL addDriver(DWORD level, LPBYTE info);
HANDLE newHandle(const std::u16string &name, ACCESS_MASK access);
// OpenPrinter on ",XcvMonitor <monitor>" or ",XcvPort <port>".
BOOL openXcvHandle(const std::u16string &name, ACCESS_MASK desired, LPHANDLE out);
std::vector<BYTE> defaultDevMode(const std::u16string &printer);
BOOL getPrinterLevel(PrinterHandle *h, DWORD level, LPBYTE out, DWORD cb, LPDWORD needed);
void storeDevMode(HKEY k, const DEVMODEW *dm);
// The printer-data value of a key under the printer's key.
DWORD queryData(PrinterHandle *h, const std::u16string &key, LPCWSTR value, LPDWORD type, LPBYTE data, DWORD size,
                LPDWORD needed, bool &absent);
DWORD setData(PrinterHandle *h, const std::u16string &key, LPCWSTR value, DWORD type, LPBYTE data, DWORD size);

}  // namespace winsim::spool
