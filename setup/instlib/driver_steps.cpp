// Drivers, monitors and printers, each through the spooler's own calls.
#include <winspool.h>

#include <string>
#include <vector>

#include "setup/instlib/default_settings.h"
#include "setup/instlib/instlib.h"
#include "setup/shared/package_names.h"
#include "setup/shared/printer_removal.h"
#include "setup/shared/windows_class.h"

namespace {

using card::setup::PackageDriver;

LPWSTR writable(LPCWSTR text) { return const_cast<LPWSTR>(text); }

std::u16string_view viewOf(LPCWSTR text) {
  return text ? std::u16string_view(reinterpret_cast<const char16_t *>(text)) : std::u16string_view();
}

DWORD resultOf(BOOL ok) { return ok ? ERROR_SUCCESS : GetLastError(); }

// The local printers at level 2: empty with the thread's last error when
// the enumeration fails.
bool localPrinters(std::vector<BYTE> &buffer, DWORD &count) {
  DWORD needed = 0;
  count = 0;
  if (EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count)) return true;
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
  buffer.assign(needed, 0);
  return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &needed, &count) != FALSE;
}

}  // namespace

extern "C" {

DWORD WINAPI ELTNAddPrinterDriver(LPCWSTR driverName, LPCWSTR driverFile, LPCWSTR dataFile, LPCWSTR configFile,
                                  LPCWSTR helpFile, LPCWSTR monitorName, LPCWSTR dependent1, LPCWSTR dependent2,
                                  LPCWSTR dependent3, LPCWSTR dependent4) {
  const std::u16string_view dependents[4] = {viewOf(dependent1), viewOf(dependent2), viewOf(dependent3),
                                             viewOf(dependent4)};
  // A list past the installer's limit is refused rather than cut: a cut
  // list would install a driver that misses files.
  const auto list = card::setup::dependentFileList(dependents);
  if (!list) return ERROR_INSUFFICIENT_BUFFER;
  DRIVER_INFO_4W info = {};
  info.cVersion = 3;
  info.pName = writable(driverName);
  info.pEnvironment = writable(card::setup::driverEnvironment());
  info.pDriverPath = writable(driverFile);
  info.pDataFile = writable(dataFile);
  info.pConfigFile = writable(configFile);
  info.pHelpFile = writable(helpFile);
  info.pDependentFiles = list->empty() ? nullptr : reinterpret_cast<LPWSTR>(const_cast<char16_t *>(list->data()));
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
  const bool network = viewOf(printerName).find(u"Network") != std::u16string_view::npos;
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
  std::vector<BYTE> buffer;
  DWORD count = 0;
  if (!localPrinters(buffer, count)) return 0;
  const auto *printers = reinterpret_cast<const PRINTER_INFO_2W *>(buffer.data());
  DWORD network = 0;
  for (DWORD i = 0; i < count; ++i)
    if (card::setup::packageDriverOf(viewOf(printers[i].pDriverName)) == PackageDriver::Network) ++network;
  return network;
}

DWORD WINAPI ELTNDeleteAllEthernetPrinters(DWORD keepOpen) {
  card::setup::removePackagePrinters(keepOpen);
  return ERROR_SUCCESS;
}

}  // extern "C"
