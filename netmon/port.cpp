// The job path: opening a port for a printer, a job's start, its data and
// its end, and closing the port.  (Being written.)
#include <windows.h>
#include <winsplp.h>

#include "netmon/entry_points.h"
#include "netmon/monitor.h"

namespace card::net {

namespace {
BOOL notYet() {
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}
}  // namespace

BOOL WINAPI openPortEx(HANDLE, HANDLE, LPWSTR, LPWSTR, PHANDLE, LPMONITOR2) { return notYet(); }
BOOL WINAPI startDocPort(HANDLE, LPWSTR, DWORD, DWORD, LPBYTE) { return notYet(); }
BOOL WINAPI writePort(HANDLE, LPBYTE, DWORD, LPDWORD written) {
  if (written) *written = 0;
  return notYet();
}
BOOL WINAPI endDocPort(HANDLE) { return notYet(); }
BOOL WINAPI closePort(HANDLE) { return notYet(); }

}  // namespace card::net
