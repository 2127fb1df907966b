// Drivers, monitors and printers, each through the spooler's own calls.
#include <windows.h>
#include <winspool.h>

#include <string>
#include <vector>

#include "setup/instlib/default_settings.h"
#include "setup/instlib/instlib.h"
#include "setup/shared/package_names.h"
#include "setup/shared/printer_removal.h"
#include "setup/shared/wide_text.h"
#include "setup/shared/windows_class.h"

namespace {

using card::setup::PackageDriver;
using card::setup::u16;

LPWSTR writable(LPCWSTR text) { return const_cast<LPWSTR>(text); }

DWORD resultOf(BOOL ok) { return ok ? ERROR_SUCCESS : GetLastError(); }

}  // namespace

extern "C" {

DWORD WINAPI ELTNAddPrinterDriver(LPCWSTR driverName, LPCWSTR driverFile, LPCWSTR dataFile, LPCWSTR configFile,
                                  LPCWSTR helpFile, LPCWSTR monitorName, LPCWSTR dependent1, LPCWSTR dependent2,
                                  LPCWSTR dependent3, LPCWSTR dependent4) {
  const std::u16string names[4] = {u16(dependent1), u16(dependent2), u16(dependent3), u16(dependent4)};
  const std::u16string_view dependents[4] = {names[0], names[1], names[2], names[3]};
  // A list past the installer's limit is refused rather than cut: a cut
  // list would install a driver that misses files.
  const auto list = card::setup::dependentFileList(dependents);
  if (!list) return ERROR_INSUFFICIENT_BUFFER;
  card::WString dependentList = card::setup::wide(*list);
  DRIVER_INFO_4W info = {};
  info.cVersion = 3;
  info.pName = writable(driverName);
  info.pEnvironment = writable(card::setup::driverEnvironment());
  info.pDriverPath = writable(driverFile);
  info.pDataFile = writable(dataFile);
  info.pConfigFile = writable(configFile);
  info.pHelpFile = writable(helpFile);
  info.pDependentFiles = dependentList.empty() ? nullptr : dependentList.data();
  info.pMonitorName = writable(monitorName);
  info.pDefaultDataType = writable(TEXT("RAW"));
  info.pszzPreviousNames = nullptr;
  return resultOf(AddPrinterDriverW(nullptr, 4, reinterpret_cast<LPBYTE>(&info)));
}

DWORD WINAPI ELTNAddPrinter(LPCWSTR printerName, LPCWSTR portName, LPCWSTR driverName) {
  PRINTER_INFO_2W info = {};
  info.pPrinterName = writable(printerName);
  info.pPortName = writable(portName);
  info.pDriverName = writable(driverName);
  info.pPrintProcessor = writable(TEXT("WinPrint"));
  info.pDatatype = writable(TEXT("RAW"));
  // Network printers by the capitalised word in their name.
  const bool network = u16(printerName).find(u"Network") != std::u16string::npos;
  info.Attributes = network ? PRINTER_ATTRIBUTE_QUEUED | PRINTER_ATTRIBUTE_NETWORK
                            : PRINTER_ATTRIBUTE_DO_COMPLETE_FIRST | PRINTER_ATTRIBUTE_ENABLE_BIDI;
  HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
  if (!printer) return GetLastError();
  ClosePrinter(printer);
  return ERROR_SUCCESS;
}

DWORD WINAPI ELTNDeletePrinter(LPCWSTR printerName, DWORD keepOpen) {
  return card::setup::deletePrinterNamed(printerName, keepOpen);
}

DWORD WINAPI ELTNDeletePrinterDriver(LPCWSTR driverName) { return card::setup::deleteDriverNamed(driverName); }

DWORD WINAPI ELTNAddMonitor(LPCWSTR monitorName, LPCWSTR monitorFile) {
  MONITOR_INFO_2W info = {};
  info.pName = writable(monitorName);
  info.pEnvironment = nullptr;
  info.pDLLName = writable(monitorFile);
  return resultOf(AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&info)));
}

DWORD WINAPI ELTNDeleteMonitor(LPCWSTR monitorName) {
  return resultOf(DeleteMonitorW(nullptr, writable(card::setup::deletionEnvironment()), writable(monitorName)));
}

DWORD WINAPI ELTNGetDriverPath(LPWSTR directory) {
  constexpr DWORD kBytes = 260;
  if (!directory) return ERROR_INVALID_PARAMETER;
  ZeroMemory(directory, kBytes);
  DWORD needed = 0;
  return resultOf(
      GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(directory), kBytes, &needed));
}

DWORD WINAPI ELTNIsPrinterExist(LPCWSTR printerName) {
  if (!printerName || !*printerName) return 0;
  HANDLE printer = nullptr;
  if (!OpenPrinterW(writable(printerName), &printer, nullptr)) return 0;
  ClosePrinter(printer);
  return 1;
}

DWORD WINAPI ELTNGetEthernetPrinterCount() {
  DWORD network = 0;
  for (const auto &printer : card::setup::localPrinters())
    if (card::setup::packageDriverOf(u16(printer.driver.c_str())) == PackageDriver::Network) ++network;
  return network;
}

DWORD WINAPI ELTNDeleteAllEthernetPrinters(DWORD keepOpen) {
  card::setup::removePackagePrinters(keepOpen);
  return ERROR_SUCCESS;
}

}  // extern "C"
