// The functions of the monitor's table, as the spooler calls them, each in
// the file of its concern.
#pragma once

#include <windows.h>
#include <winsplp.h>

namespace card::net {

// The job path (port.cpp).
BOOL WINAPI openPortEx(HANDLE monitor, HANDLE monitorPort, LPWSTR portName, LPWSTR printerName, PHANDLE handle,
                       LPMONITOR2 portMonitor);
BOOL WINAPI startDocPort(HANDLE port, LPWSTR printerName, DWORD jobId, DWORD level, LPBYTE docInfo);
BOOL WINAPI writePort(HANDLE port, LPBYTE buffer, DWORD size, LPDWORD written);
BOOL WINAPI readPort(HANDLE port, LPBYTE buffer, DWORD size, LPDWORD read);
BOOL WINAPI endDocPort(HANDLE port);
BOOL WINAPI closePort(HANDLE port);

// Queries of the configuration module (query.cpp).
BOOL WINAPI getPrinterDataFromPort(HANDLE port, DWORD controlId, LPWSTR valueName, LPWSTR inBuffer, DWORD inSize,
                                   LPWSTR outBuffer, DWORD outSize, LPDWORD returned);

// Port administration (entry.cpp, xcv.cpp, serial.cpp).
BOOL WINAPI addPortEx(HANDLE monitor, LPWSTR serverName, DWORD level, LPBYTE portInfo, LPWSTR monitorName);
BOOL WINAPI setPortTimeOuts(HANDLE port, LPCOMMTIMEOUTS timeouts, DWORD reserved);
BOOL WINAPI xcvOpenPort(HANDLE monitor, LPCWSTR objectName, ACCESS_MASK grantedAccess, PHANDLE handle);
DWORD WINAPI xcvDataPort(HANDLE xcv, LPCWSTR dataName, PBYTE input, DWORD inputSize, PBYTE output, DWORD outputSize,
                         PDWORD needed);
BOOL WINAPI xcvClosePort(HANDLE xcv);
VOID WINAPI shutdownMonitor(HANDLE monitor);

}  // namespace card::net
