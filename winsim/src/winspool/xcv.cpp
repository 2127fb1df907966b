// The configuration channel of port monitors (OpenPrinter on ",XcvMonitor"
// or ",XcvPort", XcvDataW) and the port status that monitors report with
// SetPortW.
#include "core/internal.h"
#include "winspool/client.h"
#include "spoolss/spooler_service.h"

using namespace winsim;
using namespace winsim::spool;

namespace winsim::spool {

namespace {

// The server rights a handle gets: winsim's one user administers the
// machine, so what is asked for is granted, with the generic rights mapped
// as the print server maps them.
ACCESS_MASK serverAccess(ACCESS_MASK desired) {
  ACCESS_MASK granted = desired & ~(GENERIC_ALL | GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | MAXIMUM_ALLOWED);
  if (desired & (GENERIC_ALL | MAXIMUM_ALLOWED)) granted |= SERVER_ALL_ACCESS;
  if (desired & GENERIC_READ) granted |= SERVER_READ;
  if (desired & GENERIC_WRITE) granted |= SERVER_WRITE;
  if (desired & GENERIC_EXECUTE) granted |= SERVER_EXECUTE;
  return granted;
}

}  // namespace

BOOL openXcvHandle(const std::u16string &name, ACCESS_MASK desired, LPHANDLE out) {
  ACCESS_MASK granted = serverAccess(desired);
  DWORD error = ERROR_SUCCESS;
  std::shared_ptr<XcvChannel> xcv = openXcv(name.substr(1), granted, error);
  if (!xcv) {
    SetLastError(error);
    return FALSE;
  }
  HANDLE h = newHandle(name, granted);
  PrinterHandle *ph = handleOf(h);
  if (!ph) return FALSE;
  ph->xcv = std::move(xcv);
  *out = h;
  return TRUE;
}

}  // namespace winsim::spool

extern "C" {

BOOL WINAPI XcvDataW(HANDLE hXcv, PCWSTR pszDataName, PBYTE pInputData, DWORD cbInputData, PBYTE pOutputData,
                     DWORD cbOutputData, PDWORD pcbOutputNeeded, PDWORD pdwStatus) {
  if (!spoolerAnswers()) return FALSE;
  PrinterHandle *h = handleOf(hXcv);
  if (!h) return FALSE;
  if (!h->xcv) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!pdwStatus || !pcbOutputNeeded || (!pInputData && cbInputData) || (!pOutputData && cbOutputData)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *pcbOutputNeeded = 0;
  // Delivered: the call succeeds, and the monitor's answer is its status.
  std::shared_ptr<XcvChannel> xcv = h->xcv;
  *pdwStatus = xcv->data(pszDataName, pInputData, cbInputData, pOutputData, cbOutputData, pcbOutputNeeded);
  return TRUE;
}

BOOL WINAPI SetPortW(LPWSTR pName, LPWSTR pPortName, DWORD dwLevel, LPBYTE pPortInfo) {
  if (!spoolerAnswers()) return FALSE;
  (void)pName;
  if (!pPortName || !*pPortName || !pPortInfo) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (dwLevel != 3) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  if (!portMonitorFor(pPortName)) {
    SetLastError(ERROR_UNKNOWN_PORT);
    return FALSE;
  }
  auto *pi = reinterpret_cast<PORT_INFO_3W *>(pPortInfo);
  if (pi->dwSeverity != PORT_STATUS_TYPE_ERROR && pi->dwSeverity != PORT_STATUS_TYPE_WARNING &&
      pi->dwSeverity != PORT_STATUS_TYPE_INFO && !(pi->dwStatus == 0 && pi->dwSeverity == 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  PortStatus st;
  st.status = pi->dwStatus;
  st.severity = pi->dwSeverity;
  st.text = fromW(pi->pszStatus);
  // A status of 0 with no text clears what the monitor reported before.
  st.set = pi->dwStatus != 0 || !st.text.empty();
  setPortStatus(pPortName, st);
  return TRUE;
}

}  // extern "C"

namespace winsim {

bool portStatus(const std::u16string &portName, DWORD &status, DWORD &severity, std::u16string &text) {
  PortStatus st = portStatusOf(portName);
  status = st.status;
  severity = st.severity;
  text = st.text;
  return st.set;
}

}  // namespace winsim
