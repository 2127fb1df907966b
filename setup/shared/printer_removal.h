// Taking the package's printers, drivers and monitors off the machine: the
// steps the installer library exports one by one and the clean-up library
// runs all together.  Wide calls throughout, so that no name loses
// characters to the system code page.
#pragma once

#include <windows.h>
#include <winspool.h>

#include <vector>

#include "setup/shared/wide_text.h"

namespace card::setup {

// Deletes every printer (local, and connections on NT 4 or later) whose name
// equals `printerName` without case: opened with all access, deleted,
// closed (on Windows 2000 with `keepOpen` the handle stays open).  0, the
// last error of a failed delete, the error of a failed open (which ends the
// search), ERROR_NOT_ENOUGH_MEMORY, or the enumeration's error when it found
// nothing.
DWORD deletePrinterNamed(LPCWSTR printerName, DWORD keepOpen);
// Deletes the first driver of the environment with that name, with all its
// files and in any version.  0, the error, or ERROR_NOT_ENOUGH_MEMORY.
DWORD deleteDriverNamed(LPCWSTR driverName);
// Every local printer with one of the package's drivers: the printer, its
// driver, the driver's monitors, and the spooler's registry trees for them.
void removePackagePrinters(DWORD keepOpen);

// A local printer as level 2 of the enumeration lists it.
struct LocalPrinter {
  WString name, driver, port;
};
// The local printers now; empty when there are none or they cannot be listed.
std::vector<LocalPrinter> localPrinters();
// Deletes, with all their files and in any version, every driver of the
// environment that bears one of the package's driver names.
void deletePackageDrivers();
// Whether a local printer still prints to the port.
bool portInUse(const std::vector<LocalPrinter> &printers, const WString &port);

}  // namespace card::setup
