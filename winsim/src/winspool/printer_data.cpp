// Printer data: values kept with the printer, and those it does not hold
// asked of the port (GetPrinterDataFromPort).
#include <algorithm>
#include <cstring>
#include <filesystem>

#include "core/internal.h"
#include "winspool/client.h"
#include "spoolss/spooler_service.h"

using namespace winsim;
using namespace winsim::spool;

extern "C" {

// ------------------------------------------------------------ printer data

DWORD WINAPI GetPrinterDataExW(HANDLE hPrinter, LPCWSTR pKeyName, LPCWSTR pValueName, LPDWORD pType, LPBYTE pData,
                               DWORD nSize, LPDWORD pcbNeeded) {
  if (!spoolerAnswers()) return RPC_S_SERVER_UNAVAILABLE;
  PrinterHandle *h = handleOf(hPrinter);
  if (!h || h->name.empty()) return ERROR_INVALID_HANDLE;
  if (!pKeyName || !*pKeyName || !pValueName) return ERROR_INVALID_PARAMETER;
  bool absent;
  return queryData(h, pKeyName, pValueName, pType, pData, nSize, pcbNeeded, absent);
}

DWORD WINAPI GetPrinterDataW(HANDLE hPrinter, LPWSTR pValueName, LPDWORD pType, LPBYTE pData, DWORD nSize,
                             LPDWORD pcbNeeded) {
  if (!spoolerAnswers()) return RPC_S_SERVER_UNAVAILABLE;
  PrinterHandle *h = handleOf(hPrinter);
  if (!h || h->name.empty()) return ERROR_INVALID_HANDLE;
  if (!pValueName) return ERROR_INVALID_PARAMETER;
  bool absent;
  DWORD st = queryData(h, u"PrinterDriverData", pValueName, pType, pData, nSize, pcbNeeded, absent);
  if (!absent) return st;
  // Not a value of the printer: the port's monitor may know it.
  std::shared_ptr<Port> port = portFor(h->name, portOf(h->name));
  std::vector<BYTE> reply;
  DWORD error = ERROR_FILE_NOT_FOUND, needed = 0;
  if (!port->getPrinterDataFromPort(pValueName, nSize, reply, needed, error)) {
    if (error == ERROR_INSUFFICIENT_BUFFER || error == ERROR_MORE_DATA) {
      if (pcbNeeded) *pcbNeeded = needed;
      return ERROR_MORE_DATA;
    }
    return error ? error : ERROR_FILE_NOT_FOUND;
  }
  if (pcbNeeded) *pcbNeeded = DWORD(reply.size());
  if (pType) *pType = REG_BINARY;
  if (reply.size() > nSize || (!pData && !reply.empty())) return ERROR_MORE_DATA;
  if (!reply.empty()) std::memcpy(pData, reply.data(), reply.size());
  return ERROR_SUCCESS;
}

DWORD WINAPI SetPrinterDataExW(HANDLE hPrinter, LPCWSTR pKeyName, LPCWSTR pValueName, DWORD Type, LPBYTE pData,
                               DWORD cbData) {
  if (!spoolerAnswers()) return RPC_S_SERVER_UNAVAILABLE;
  PrinterHandle *h = handleOf(hPrinter);
  if (!h || h->name.empty()) return ERROR_INVALID_HANDLE;
  if (!pKeyName || !*pKeyName || !pValueName || (!pData && cbData)) return ERROR_INVALID_PARAMETER;
  return setData(h, pKeyName, pValueName, Type, pData, cbData);
}

DWORD WINAPI SetPrinterDataW(HANDLE hPrinter, LPWSTR pValueName, DWORD Type, LPBYTE pData, DWORD cbData) {
  if (!spoolerAnswers()) return RPC_S_SERVER_UNAVAILABLE;
  return SetPrinterDataExW(hPrinter, u"PrinterDriverData", pValueName, Type, pData, cbData);
}

DWORD WINAPI DeletePrinterDataExW(HANDLE hPrinter, LPCWSTR pKeyName, LPCWSTR pValueName) {
  if (!spoolerAnswers()) return RPC_S_SERVER_UNAVAILABLE;
  PrinterHandle *h = handleOf(hPrinter);
  if (!h || h->name.empty()) return ERROR_INVALID_HANDLE;
  if (!pKeyName || !pValueName) return ERROR_INVALID_PARAMETER;
  HKEY pk = openPrinterKey(h->name);
  if (!pk) return ERROR_INVALID_HANDLE;
  HKEY k;
  LSTATUS st = RegOpenKeyExW(pk, pKeyName, 0, KEY_ALL_ACCESS, &k);
  RegCloseKey(pk);
  if (st != ERROR_SUCCESS) return ERROR_FILE_NOT_FOUND;
  st = RegDeleteValueW(k, pValueName);
  RegCloseKey(k);
  return DWORD(st);
}

DWORD WINAPI DeletePrinterDataW(HANDLE hPrinter, LPWSTR pValueName) {
  if (!spoolerAnswers()) return RPC_S_SERVER_UNAVAILABLE;
  return DeletePrinterDataExW(hPrinter, u"PrinterDriverData", pValueName);
}

}  // extern "C"
