#include "setup/shared/printer_removal.h"

#include "setup/shared/package_names.h"
#include "setup/shared/purge_lists.h"
#include "setup/shared/registry_cleanup.h"
#include "setup/shared/spooler_lists.h"
#include "setup/shared/windows_class.h"

namespace card::setup {

namespace {

void deleteMonitor(std::u16string_view name) {
  WString monitor = wide(name);
  DeleteMonitorW(nullptr, const_cast<LPWSTR>(deletionEnvironment()), monitor.data());
}

// The keys of one removed printer of the package, and of its monitors.
void deletePrinterKeys(const LocalPrinter &printer, PackageDriver kind, const std::vector<LocalPrinter> &remaining) {
  deleteMachineTree(subkeyPath(kPrintersKey, u16(printer.name.c_str())));
  if (kind == PackageDriver::Network) {
    deleteMachineTree(subkeyPath(kMonitorsKey, kNetworkMonitor));
    // A port that another printer still uses keeps its settings.
    if (!portInUse(remaining, printer.port)) deleteMachineTree(subkeyPath(kTcpPortsKey, u16(printer.port.c_str())));
  } else {
    deleteMachineTree(subkeyPath(kMonitorsKey, kUsbMonitors[0]));
  }
  deleteDriverKeyNamedLikePrinter(printer.name);
}

}  // namespace

DWORD deletePrinterNamed(LPCWSTR printerName, DWORD keepOpen) {
  if (!printerName) return ERROR_INVALID_PARAMETER;
  DWORD flags = windowsClass() >= 10 ? PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS : PRINTER_ENUM_LOCAL;
  SpoolerListing listing = enumeratePrinters(flags, 1);
  if (listing.error != ERROR_SUCCESS) return listing.error;
  // On Windows 2000 the installer may ask for the deleted printer's handle
  // to stay open.
  bool keepHandle = keepOpen != 0 && windowsClass() == 11;
  auto *printers = reinterpret_cast<PRINTER_INFO_1W *>(listing.data.get());
  DWORD result = ERROR_SUCCESS;
  for (DWORD i = 0; i < listing.count; ++i) {
    if (!printers[i].pName || lstrcmpiW(printers[i].pName, printerName) != 0) continue;
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE printer = nullptr;
    if (!OpenPrinterW(printers[i].pName, &printer, &defaults)) return GetLastError();
    if (!DeletePrinter(printer)) result = GetLastError();
    if (!keepHandle) ClosePrinter(printer);
  }
  return result;
}

DWORD deleteDriverNamed(LPCWSTR driverName) {
  if (!driverName) return ERROR_INVALID_PARAMETER;
  LPCWSTR environment = deletionEnvironment();
  SpoolerListing listing = enumerateDrivers(environment);
  if (listing.error != ERROR_SUCCESS) return listing.error;
  auto *drivers = reinterpret_cast<DRIVER_INFO_1W *>(listing.data.get());
  for (DWORD i = 0; i < listing.count; ++i) {
    if (!drivers[i].pName || lstrcmpiW(drivers[i].pName, driverName) != 0) continue;
    if (!DeletePrinterDriverExW(nullptr, const_cast<LPWSTR>(environment), drivers[i].pName, DPD_DELETE_ALL_FILES, 0))
      return GetLastError();
    return ERROR_SUCCESS;
  }
  return ERROR_SUCCESS;
}

std::vector<LocalPrinter> localPrinters() {
  std::vector<LocalPrinter> list;
  SpoolerListing listing = enumeratePrinters(PRINTER_ENUM_LOCAL, 2);
  auto *printers = reinterpret_cast<PRINTER_INFO_2W *>(listing.data.get());
  for (DWORD i = 0; i < listing.count; ++i) {
    LocalPrinter p;
    if (printers[i].pPrinterName) p.name = printers[i].pPrinterName;
    if (printers[i].pDriverName) p.driver = printers[i].pDriverName;
    if (printers[i].pPortName) p.port = printers[i].pPortName;
    list.push_back(std::move(p));
  }
  return list;
}

bool portInUse(const std::vector<LocalPrinter> &printers, const WString &port) {
  for (const LocalPrinter &p : printers)
    if (lstrcmpiW(p.port.c_str(), port.c_str()) == 0) return true;
  return false;
}

void removePackagePrinters(DWORD keepOpen) {
  for (const LocalPrinter &printer : localPrinters()) {
    PackageDriver kind = packageDriverOf(u16(printer.driver.c_str()));
    if (kind == PackageDriver::None) continue;
    deletePrinterNamed(printer.name.c_str(), keepOpen);
    deleteDriverNamed(printer.driver.c_str());
    if (kind == PackageDriver::Network) {
      deleteMonitor(kNetworkMonitor);
    } else {
      for (std::u16string_view monitor : kUsbMonitors) deleteMonitor(monitor);
    }
    deletePrinterKeys(printer, kind, localPrinters());
  }
}

void deletePackageDrivers() {
  LPCWSTR environment = deletionEnvironment();
  SpoolerListing listing = enumerateDrivers(environment);
  auto *drivers = reinterpret_cast<DRIVER_INFO_1W *>(listing.data.get());
  for (DWORD i = 0; i < listing.count; ++i) {
    if (drivers[i].pName && packageDriverOf(u16(drivers[i].pName)) != PackageDriver::None)
      DeletePrinterDriverExW(nullptr, const_cast<LPWSTR>(environment), drivers[i].pName, DPD_DELETE_ALL_FILES, 0);
  }
}

}  // namespace card::setup
