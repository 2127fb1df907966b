// The installer library's exports: each one step of installing or removing
// the driver, called by name by the package's installer, one at a time.
// Results are Win32 error codes (0 for success) unless a comment says
// otherwise; nothing is shown and nothing is logged.
#pragma once

#include <windows.h>

// The exported names come from instlib.def; on the linux flavour they must
// also be visible to its version script.
#ifdef _WIN32
#define INSTLIB_EXPORT
#else
#define INSTLIB_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

// Drivers, monitors and printers.
INSTLIB_EXPORT DWORD WINAPI ELTNAddPrinterDriver(LPCWSTR driverName, LPCWSTR driverFile, LPCWSTR dataFile,
                                                 LPCWSTR configFile, LPCWSTR helpFile, LPCWSTR monitorName,
                                                 LPCWSTR dependent1, LPCWSTR dependent2, LPCWSTR dependent3,
                                                 LPCWSTR dependent4);
INSTLIB_EXPORT DWORD WINAPI ELTNAddPrinter(LPCWSTR printerName, LPCWSTR portName, LPCWSTR driverName);
INSTLIB_EXPORT DWORD WINAPI ELTNDeletePrinter(LPCWSTR printerName, DWORD keepOpen);
INSTLIB_EXPORT DWORD WINAPI ELTNDeletePrinterDriver(LPCWSTR driverName);
INSTLIB_EXPORT DWORD WINAPI ELTNAddMonitor(LPCWSTR monitorName, LPCWSTR monitorFile);
INSTLIB_EXPORT DWORD WINAPI ELTNDeleteMonitor(LPCWSTR monitorName);
// `directory` is a buffer of 260 bytes.
INSTLIB_EXPORT DWORD WINAPI ELTNGetDriverPath(LPWSTR directory);
// 1 when the printer opens, 0 otherwise.
INSTLIB_EXPORT DWORD WINAPI ELTNIsPrinterExist(LPCWSTR printerName);
// How many local printers use the network driver.
INSTLIB_EXPORT DWORD WINAPI ELTNGetEthernetPrinterCount();
// Every printer of the package with its driver, monitors and registry trees.
INSTLIB_EXPORT DWORD WINAPI ELTNDeleteAllEthernetPrinters(DWORD keepOpen);

// Files, the driver store and the next log-on.
// Copies purgelib.dll from the folder `directory` names into the system
// folder; always 1.
INSTLIB_EXPORT DWORD WINAPI ELTNCopyFile(LPWSTR directory);
// `options` is the installer's block of 24 32-bit slots.
INSTLIB_EXPORT DWORD WINAPI ELTNCustomeFile(LPCWSTR fileName, const DWORD *options);
INSTLIB_EXPORT DWORD WINAPI ELTNSetUpRunOnceEntry();
// 1 when the driver-package library or its function is missing, else 0.
INSTLIB_EXPORT DWORD WINAPI ELTNInstallPackage(LPCWSTR infPath);
INSTLIB_EXPORT DWORD WINAPI ELTNUnInstallPackage(LPCWSTR infPath);

// Services.
INSTLIB_EXPORT DWORD WINAPI ELTNInstPPDriver(LPCWSTR serviceName, LPCWSTR binaryPathOrRemove);
INSTLIB_EXPORT DWORD WINAPI StopSpooler();
INSTLIB_EXPORT DWORD WINAPI StartSpooler();

}  // extern "C"
