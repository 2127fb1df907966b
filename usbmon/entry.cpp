// The monitor's entry point and the spooler's calls that need no more than
// the port list: opening, reading and closing a port.
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>
#include <strsafe.h>

#include "shared/glue/monitor_files.h"
#include "shared/proc_address.h"
#include "usbmon/monitor.h"
#include "usbmon/session_rules.h"

namespace card::usb {

Module &module() {
  static Module m;
  return m;
}

namespace {

PortRecord *g_ports = nullptr;  // in creation order, under the global lock

BOOL WINAPI openPortEx(LPWSTR portName, LPWSTR printerName, PHANDLE handle, LPMONITOR underlying) {
  if (!portName || !handle || !underlying || !underlying->pfnOpenPort) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Module &m = module();
  if (!m.lockReady) {
    SetLastError(ERROR_NOT_READY);
    return FALSE;
  }
  GlobalLock lock;
  for (PortRecord *p = g_ports; p; p = p->next) {
    if (lstrcmpiW(p->portName.c_str(), portName) == 0) {
      SetLastError(ERROR_BUSY);
      return FALSE;
    }
  }
  auto record = std::make_unique<PortRecord>(portName, printerName, *underlying);
  if (!underlying->pfnOpenPort(portName, &record->port)) {
    // The record is not kept: a later open of the same port may succeed.
    DWORD error = GetLastError();
    SetLastError(error ? error : ERROR_GEN_FAILURE);
    return FALSE;
  }
  PortRecord **tail = &g_ports;
  while (*tail) tail = &(*tail)->next;
  *tail = record.get();
  *handle = record.release();
  return TRUE;
}

BOOL WINAPI startDocPort(HANDLE h, LPWSTR printerName, DWORD jobId, DWORD level, LPBYTE docInfo) {
  PortRecord *p = portFromHandle(h);
  return p ? p->startDoc(printerName, jobId, level, docInfo) : FALSE;
}

BOOL WINAPI writePort(HANDLE h, LPBYTE buffer, DWORD size, LPDWORD written) {
  PortRecord *p = portFromHandle(h);
  if (!p || !written || (!buffer && size)) {
    if (written) *written = 0;
    if (p) SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return p->write(buffer, size, written);
}

BOOL WINAPI readPort(HANDLE h, LPBYTE buffer, DWORD size, LPDWORD read) {
  PortRecord *p = portFromHandle(h);
  if (!p) return FALSE;
  if (!p->under.pfnReadPort) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  return p->under.pfnReadPort(p->port, buffer, size, read);
}

BOOL WINAPI endDocPort(HANDLE h) {
  PortRecord *p = portFromHandle(h);
  return p ? p->endDoc() : FALSE;
}

BOOL WINAPI closePort(HANDLE h) {
  PortRecord *p = portFromHandle(h);
  if (!p) return FALSE;
  if (p->under.pfnClosePort) p->under.pfnClosePort(p->port);
  {
    GlobalLock lock;
    for (PortRecord **q = &g_ports; *q; q = &(*q)->next) {
      if (*q == p) {
        *q = p->next;
        break;
      }
    }
  }
  delete p;
  return TRUE;
}

BOOL WINAPI getPrinterDataFromPort(HANDLE h, DWORD controlId, LPWSTR valueName, LPWSTR inBuffer, DWORD inSize,
                                   LPWSTR outBuffer, DWORD outSize, LPDWORD returned) {
  PortRecord *p = portFromHandle(h);
  return p ? p->getPrinterData(controlId, valueName, inBuffer, inSize, outBuffer, outSize, returned) : FALSE;
}

}  // namespace

PortRecord *portFromHandle(HANDLE h) {
  auto *p = static_cast<PortRecord *>(h);
  if (p && module().lockReady) {
    GlobalLock lock;
    for (PortRecord *q = g_ports; q; q = q->next)
      if (q == p && p->signature == kPortSignature) return p;
  }
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

void loadCompanions() {
  Module &m = module();
  WCHAR dir[MAX_PATH];
  // A 32-bit spooler keeps its drivers in the x86 environment's folder.
  if (!monitorfiles::driverFolder(dir, MAX_PATH, monitorfiles::nativeEnvironment())) return;
  if (!m.cardres) m.cardres = monitorfiles::loadFrom(dir, TEXT("cardres.dll"));
  if (!m.cardres) debugOut("usbmon: cardres.dll cannot be loaded; message texts are empty");
  if (m.newGeneration && !m.notifysrv) {
    m.notifysrv = monitorfiles::loadFrom(dir, TEXT("notifysrv.dll"));
    if (m.notifysrv)
      m.sendAsyncNotification = procAddress<Module::SendAsyncNotificationFn>(m.notifysrv, "SendAsyncNotification");
    if (!m.sendAsyncNotification) debugOut("usbmon: notifysrv.dll cannot be used; messages go to the debugger only");
  }
}

void freeCompanions() {
  Module &m = module();
  if (m.cardres) FreeLibrary(m.cardres);
  if (m.notifysrv) FreeLibrary(m.notifysrv);
  m.cardres = m.notifysrv = nullptr;
  m.sendAsyncNotification = nullptr;
}

}  // namespace card::usb

extern "C" BOOL WINAPI InitializeMonitorEx(LPWSTR registryRoot, LPMONITOR table) {
  (void)registryRoot;
  using namespace card::usb;
  if (!table) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Module &m = module();
  if (!m.lockReady) {
    InitializeCriticalSection(&m.lock);
    m.lockReady = true;
  }
  // Loading libraries is not allowed in the load notification itself.
  loadCompanions();
  ZeroMemory(table, sizeof(*table));
  table->pfnOpenPortEx = openPortEx;
  table->pfnStartDocPort = startDocPort;
  table->pfnWritePort = writePort;
  table->pfnReadPort = readPort;
  table->pfnEndDocPort = endDocPort;
  table->pfnClosePort = closePort;
  table->pfnGetPrinterDataFromPort = getPrinterDataFromPort;
  return TRUE;
}
