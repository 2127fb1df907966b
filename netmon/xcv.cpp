// The transceive interface.  (Being written.)
#include <windows.h>
#include <winsplp.h>

#include "netmon/entry_points.h"
#include "netmon/monitor.h"

namespace card::net {

BOOL WINAPI addPortEx(HANDLE, LPWSTR, DWORD, LPBYTE, LPWSTR) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}
BOOL WINAPI xcvOpenPort(HANDLE, LPCWSTR, ACCESS_MASK, PHANDLE) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}
DWORD WINAPI xcvDataPort(HANDLE, LPCWSTR, PBYTE, DWORD, PBYTE, DWORD, PDWORD) { return ERROR_NOT_SUPPORTED; }
BOOL WINAPI xcvClosePort(HANDLE) { return TRUE; }
BOOL WINAPI setPortTimeOuts(HANDLE, LPCOMMTIMEOUTS, DWORD) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

}  // namespace card::net
