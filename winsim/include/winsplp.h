// winsplp.h for the linux flavour: the interface between the spooler and its
// print monitors (port monitors and language monitors), and the few spooler
// functions that monitors call.  Names, values and x64 layouts follow the SDK.
#pragma once

#include <winbase.h>
#include <wingdi.h>
#include <winreg.h>
#include "winsim/export.h"
#include "winspool.h"

typedef HANDLE HKEYMONITOR;

// Registry functions the spooler hands to a monitor of the MONITOR2 kind, so
// that a clustered spooler can keep the monitor's keys.
typedef struct _MONITORREG {
  DWORD cbSize;
  LONG(WINAPI *fpCreateKey)
  (HANDLE hcKey, LPCWSTR pszSubKey, DWORD dwOptions, REGSAM samDesired, PSECURITY_ATTRIBUTES pSecurityAttributes,
   PHANDLE phckResult, PDWORD pdwDisposition, HANDLE hSpooler);
  LONG(WINAPI *fpOpenKey)(HANDLE hcKey, LPCWSTR pszSubKey, REGSAM samDesired, PHANDLE phkResult, HANDLE hSpooler);
  LONG(WINAPI *fpCloseKey)(HANDLE hcKey, HANDLE hSpooler);
  LONG(WINAPI *fpDeleteKey)(HANDLE hcKey, LPCWSTR pszSubKey, HANDLE hSpooler);
  LONG(WINAPI *fpEnumKey)
  (HANDLE hcKey, DWORD dwIndex, LPWSTR pszName, PDWORD pcchName, PFILETIME pftLastWriteTime, HANDLE hSpooler);
  LONG(WINAPI *fpQueryInfoKey)
  (HANDLE hcKey, PDWORD pcSubKeys, PDWORD pcbKey, PDWORD pcValues, PDWORD pcbValue, PDWORD pcbData,
   PDWORD pcbSecurityDescriptor, PFILETIME pftLastWriteTime, HANDLE hSpooler);
  LONG(WINAPI *fpSetValue)
  (HANDLE hcKey, LPCWSTR pszValue, DWORD dwType, const BYTE *pData, DWORD cbData, HANDLE hSpooler);
  LONG(WINAPI *fpDeleteValue)(HANDLE hcKey, LPCWSTR pszValue, HANDLE hSpooler);
  LONG(WINAPI *fpEnumValue)
  (HANDLE hcKey, DWORD dwIndex, LPWSTR pszValue, PDWORD pcbValue, PDWORD pType, PBYTE pData, PDWORD pcbData,
   HANDLE hSpooler);
  LONG(WINAPI *fpQueryValue)
  (HANDLE hcKey, LPCWSTR pszValue, PDWORD pType, PBYTE pData, PDWORD pcbData, HANDLE hSpooler);
} MONITORREG, *PMONITORREG;

typedef struct _MONITORINIT {
  DWORD cbSize;
  HANDLE hSpooler;
  HKEYMONITOR hckRegistryRoot;
  PMONITORREG pMonitorReg;
  BOOL bLocal;
  LPCWSTR pszServerName;
} MONITORINIT, *PMONITORINIT;

// The function table of a monitor that is initialised with InitializeMonitorEx
// (language monitors) or InitializePrintMonitor (inside MONITOREX).  Empty
// entries are NULL.
typedef struct _MONITOR {
  BOOL(WINAPI *pfnEnumPorts)
  (LPWSTR pName, DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned);
  BOOL(WINAPI *pfnOpenPort)(LPWSTR pName, PHANDLE pHandle);
  BOOL(WINAPI *pfnOpenPortEx)(LPWSTR pPortName, LPWSTR pPrinterName, PHANDLE pHandle, struct _MONITOR *pMonitor);
  BOOL(WINAPI *pfnStartDocPort)(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level, LPBYTE pDocInfo);
  BOOL(WINAPI *pfnWritePort)(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten);
  BOOL(WINAPI *pfnReadPort)(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead);
  BOOL(WINAPI *pfnEndDocPort)(HANDLE hPort);
  BOOL(WINAPI *pfnClosePort)(HANDLE hPort);
  BOOL(WINAPI *pfnAddPort)(LPWSTR pName, HWND hWnd, LPWSTR pMonitorName);
  BOOL(WINAPI *pfnAddPortEx)(LPWSTR pName, DWORD Level, LPBYTE lpBuffer, LPWSTR lpMonitorName);
  BOOL(WINAPI *pfnConfigurePort)(LPWSTR pName, HWND hWnd, LPWSTR pPortName);
  BOOL(WINAPI *pfnDeletePort)(LPWSTR pName, HWND hWnd, LPWSTR pPortName);
  BOOL(WINAPI *pfnGetPrinterDataFromPort)
  (HANDLE hPort, DWORD ControlID, LPWSTR pValueName, LPWSTR lpInBuffer, DWORD cbInBuffer, LPWSTR lpOutBuffer,
   DWORD cbOutBuffer, LPDWORD lpcbReturned);
  BOOL(WINAPI *pfnSetPortTimeOuts)(HANDLE hPort, LPCOMMTIMEOUTS lpCTO, DWORD reserved);
  BOOL(WINAPI *pfnXcvOpenPort)(LPCWSTR pszObject, ACCESS_MASK GrantedAccess, PHANDLE phXcv);
  DWORD(WINAPI *pfnXcvDataPort)
  (HANDLE hXcv, LPCWSTR pszDataName, PBYTE pInputData, DWORD cbInputData, PBYTE pOutputData, DWORD cbOutputData,
   PDWORD pcbOutputNeeded);
  BOOL(WINAPI *pfnXcvClosePort)(HANDLE hXcv);
} MONITOR, *LPMONITOR;

typedef struct _MONITOREX {
  DWORD dwMonitorSize;
  MONITOR Monitor;
} MONITOREX, *LPMONITOREX;

// The table of a monitor initialised with InitializePrintMonitor2: the same
// functions with the monitor's handle in front where they are not per port.
typedef struct _MONITOR2 {
  DWORD cbSize;
  BOOL(WINAPI *pfnEnumPorts)
  (HANDLE hMonitor, LPWSTR pName, DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned);
  BOOL(WINAPI *pfnOpenPort)(HANDLE hMonitor, LPWSTR pName, PHANDLE pHandle);
  BOOL(WINAPI *pfnOpenPortEx)
  (HANDLE hMonitor, HANDLE hMonitorPort, LPWSTR pPortName, LPWSTR pPrinterName, PHANDLE pHandle,
   struct _MONITOR2 *pMonitor2);
  BOOL(WINAPI *pfnStartDocPort)(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level, LPBYTE pDocInfo);
  BOOL(WINAPI *pfnWritePort)(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten);
  BOOL(WINAPI *pfnReadPort)(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead);
  BOOL(WINAPI *pfnEndDocPort)(HANDLE hPort);
  BOOL(WINAPI *pfnClosePort)(HANDLE hPort);
  BOOL(WINAPI *pfnAddPort)(HANDLE hMonitor, LPWSTR pName, HWND hWnd, LPWSTR pMonitorName);
  BOOL(WINAPI *pfnAddPortEx)(HANDLE hMonitor, LPWSTR pName, DWORD Level, LPBYTE lpBuffer, LPWSTR lpMonitorName);
  BOOL(WINAPI *pfnConfigurePort)(HANDLE hMonitor, LPWSTR pName, HWND hWnd, LPWSTR pPortName);
  BOOL(WINAPI *pfnDeletePort)(HANDLE hMonitor, LPWSTR pName, HWND hWnd, LPWSTR pPortName);
  BOOL(WINAPI *pfnGetPrinterDataFromPort)
  (HANDLE hPort, DWORD ControlID, LPWSTR pValueName, LPWSTR lpInBuffer, DWORD cbInBuffer, LPWSTR lpOutBuffer,
   DWORD cbOutBuffer, LPDWORD lpcbReturned);
  BOOL(WINAPI *pfnSetPortTimeOuts)(HANDLE hPort, LPCOMMTIMEOUTS lpCTO, DWORD reserved);
  BOOL(WINAPI *pfnXcvOpenPort)(HANDLE hMonitor, LPCWSTR pszObject, ACCESS_MASK GrantedAccess, PHANDLE phXcv);
  DWORD(WINAPI *pfnXcvDataPort)
  (HANDLE hXcv, LPCWSTR pszDataName, PBYTE pInputData, DWORD cbInputData, PBYTE pOutputData, DWORD cbOutputData,
   PDWORD pcbOutputNeeded);
  BOOL(WINAPI *pfnXcvClosePort)(HANDLE hXcv);
  VOID(WINAPI *pfnShutdown)(HANDLE hMonitor);
  DWORD(WINAPI *pfnSendRecvBidiDataFromPort)
  (HANDLE hPort, DWORD dwAccessBit, LPCWSTR pAction, PBIDI_REQUEST_CONTAINER pReqData,
   PBIDI_RESPONSE_CONTAINER *ppResData);
  DWORD(WINAPI *pfnNotifyUsedPorts)(HANDLE hMonitor, DWORD cPorts, PCWSTR *ppszPorts);
  DWORD(WINAPI *pfnNotifyUnusedPorts)(HANDLE hMonitor, DWORD cPorts, PCWSTR *ppszPorts);
} MONITOR2, *LPMONITOR2, *PMONITOR2;

// The size of the table as Windows 2000 knew it (up to pfnShutdown).
#define MONITOR2_SIZE_WIN2K (sizeof(DWORD) + (sizeof(PVOID) * 18))

// Entry points a monitor DLL exports; declared with default visibility so that
// a module's definitions can be exported through its .def.  winsim defines
// none of them.
#define WINSIM_MONITOR WINSIM_EXTERN_C WINSIM_API
WINSIM_MONITOR BOOL WINAPI InitializeMonitorEx(LPWSTR pRegistryRoot, LPMONITOR pMonitor);
WINSIM_MONITOR LPMONITOREX WINAPI InitializePrintMonitor(LPWSTR pRegistryRoot);
WINSIM_MONITOR LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT pMonitorInit, PHANDLE phMonitor);

// Spooler functions for monitors: a monitor runs in the spooler under the
// identity of the client that prints; these switch to the spooler's own
// identity and back.
WINSIM_EXTERN_C WINSIM_API HANDLE WINAPI RevertToPrinterSelf(VOID);
WINSIM_EXTERN_C WINSIM_API BOOL WINAPI ImpersonatePrinterClient(HANDLE hToken);
