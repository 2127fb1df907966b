// Queries of the configuration module.  (Being written.)
#include <windows.h>
#include <winsplp.h>

#include "netmon/entry_points.h"
#include "netmon/monitor.h"

namespace card::net {

BOOL WINAPI getPrinterDataFromPort(HANDLE, DWORD, LPWSTR, LPWSTR, DWORD, LPWSTR, DWORD, LPDWORD returned) {
  if (returned) *returned = 0;
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

}  // namespace card::net
