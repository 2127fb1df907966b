// Opening printers and reading what the spooler keeps about them.
#pragma once

#include <windows.h>
#include <winspool.h>

#include <vector>

namespace card::cfg {

// Opens a printer by name with the most access it grants (see the notes in
// printer_access.cpp); NULL when no access works.
HANDLE openPrinterByName(LPCWSTR name);
// Whether the calling process's image is `imageName` (a file name without
// its folder; case ignored).
bool processIs(LPCWSTR imageName);

// OpenPrinterW with default access.
HANDLE openPrinterPlain(LPCWSTR name);

// GetPrinterW / GetPrinterDriverW into a fresh buffer (size query, fetch).
// False with the spooler's last error.
bool printerInfo(HANDLE printer, DWORD level, std::vector<BYTE> &buffer);
bool driverInfo(HANDLE printer, DWORD level, std::vector<BYTE> &buffer);
// GetJobW level 1 (JOB_INFO_1W) likewise; false once the job has left the
// queue.
bool jobInfo(HANDLE printer, DWORD jobId, std::vector<BYTE> &buffer);

// The printer's default DEVMODE when it is a whole card DEVMODE.
const DEVMODEW *usableDefault(const std::vector<BYTE> &printerInfo2);

}  // namespace card::cfg
