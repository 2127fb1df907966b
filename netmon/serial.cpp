// The serial and parallel ports an administrator adds to the monitor: their
// time-outs and the device behind them.  (Waiting for the system's serial
// device calls.)
#include <windows.h>
#include <winsplp.h>

#include "netmon/entry_points.h"
#include "netmon/port_admin.h"

namespace card::net {

BOOL WINAPI setPortTimeOuts(HANDLE, LPCOMMTIMEOUTS, DWORD) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}
DWORD openPortDevice(PortEntry &) { return ERROR_NOT_SUPPORTED; }
void releasePortDevice(PortEntry &) {}
DWORD setDefaultCommConfig(const WString &, const BYTE *, DWORD) { return ERROR_NOT_SUPPORTED; }
DWORD getDefaultCommConfig(const WString &, BYTE *, DWORD, DWORD &) { return ERROR_NOT_SUPPORTED; }

}  // namespace card::net
