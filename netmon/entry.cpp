// The monitor's entry point, its function table, the monitor record and the
// port list.
#include <windows.h>
#include <winsock2.h>
#include <winspool.h>
#include <winsplp.h>
#include <strsafe.h>

#include <memory>
#include <vector>

#include "netmon/connection.h"
#include "netmon/entry_points.h"
#include "netmon/job_path.h"
#include "netmon/job_support.h"
#include "netmon/monitor.h"
#include "netmon/port_admin.h"
#include "shared/glue/monitor_files.h"
#include "shared/proc_address.h"

namespace card::net {

Module &module() {
  static Module m;
  return m;
}

namespace {

// The infrared port of the generic local-port conventions: added when the
// machine can make an infrared socket.
constexpr WCHAR kInfraredPort[] = TEXT("IR");
constexpr int kAfIrda = 26;

// The names of the values of the monitor's "Ports" key, through the
// spooler's registry callbacks.  An error of the registry comes back.
LONG readPortNames(const MONITORINIT &init, std::vector<WString> &names) {
  const MONITORREG &reg = *init.pMonitorReg;
  HANDLE key = nullptr;
  LONG st = reg.fpOpenKey(init.hckRegistryRoot, TEXT("Ports"), KEY_READ, &key, init.hSpooler);
  // A monitor just installed has added no port yet: no key is no port, not
  // a monitor that cannot start.
  if (st == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (st != ERROR_SUCCESS) return st;
  DWORD count = 0, longest = 0;
  st = reg.fpQueryInfoKey(key, nullptr, nullptr, &count, &longest, nullptr, nullptr, nullptr, init.hSpooler);
  for (DWORD i = 0; st == ERROR_SUCCESS && i < count; ++i) {
    std::vector<WCHAR> name(longest + 1);
    DWORD bytes = DWORD(name.size() * sizeof(WCHAR));
    st = reg.fpEnumValue(key, i, name.data(), &bytes, nullptr, nullptr, nullptr, init.hSpooler);
    if (st == ERROR_SUCCESS) names.emplace_back(name.data());
  }
  if (st == ERROR_NO_MORE_ITEMS) st = ERROR_SUCCESS;
  reg.fpCloseKey(key, init.hSpooler);
  return st;
}

bool canMakeInfraredSocket() {
  WSADATA data;
  if (WSAStartup(MAKEWORD(1, 1), &data) != 0) return false;
  SOCKET s = socket(kAfIrda, SOCK_STREAM, 0);
  const bool made = s != INVALID_SOCKET;
  if (made) closesocket(s);
  WSACleanup();
  return made;
}

BOOL WINAPI readNothing(HANDLE, LPBYTE, DWORD, LPDWORD read) {
  if (read) *read = 0;
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

DWORD WINAPI sendRecvBidiDataFromPort(HANDLE, DWORD, LPCWSTR, PBIDI_REQUEST_CONTAINER, PBIDI_RESPONSE_CONTAINER *) {
  return ERROR_NOT_SUPPORTED;
}

MONITOR2 g_table{};

}  // namespace

BOOL WINAPI readPort(HANDLE port, LPBYTE buffer, DWORD size, LPDWORD read) {
  // Nothing of the printer is read through the spooler: replies come back
  // on the monitor's own connections.
  if (!portFromHandle(port)) return FALSE;
  return readNothing(port, buffer, size, read);
}

Monitor *monitorFromHandle(HANDLE h) {
  auto *m = static_cast<Monitor *>(h);
  if (m && m->signature == kMonitorSignature) return m;
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

PortEntry *portFromHandle(HANDLE h) {
  auto *p = static_cast<PortEntry *>(h);
  if (p && module().lockReady) {
    MonitorLock lock;
    for (Monitor *m = module().monitors; m; m = m->next)
      for (PortEntry *q = m->ports; q; q = q->next)
        if (q == p && p->signature == kPortSignature) return p;
  }
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

PortEntry *addPortEntry(Monitor *m, LPCWSTR portName, DWORD initialState) {
  if (!m || !portName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::u16string name(reinterpret_cast<const char16_t *>(portName));
  if (uint32_t error = checkPortName(name)) {
    SetLastError(error);
    return nullptr;
  }
  auto entry = std::make_unique<PortEntry>(m, portName);
  entry->state = initialState;
  MonitorLock lock;
  PortEntry **tail = &m->ports;
  while (*tail) tail = &(*tail)->next;
  *tail = entry.get();
  return entry.release();
}

bool removePortEntry(Monitor *m, PortEntry *entry) {
  if (!m || !entry) return false;
  {
    MonitorLock lock;
    PortEntry **q = &m->ports;
    while (*q && *q != entry) q = &(*q)->next;
    if (!*q) return false;
    *q = entry->next;
  }
  delete entry;
  return true;
}

PortEntry::PortEntry(Monitor *owner, LPCWSTR portName) : name(portName), monitor(owner) {
  size = portEntrySize(name.size());
}

PortEntry::~PortEntry() {
  closeConnection(data);
  closeConnection(status);
  if (printer) ClosePrinter(printer);
  if (device != INVALID_HANDLE_VALUE) CloseHandle(device);
  signature = 0;
}

WString PortEntry::printerNameCopy() const {
  MonitorLock lock;
  return printerName;
}

void PortEntry::setPrinterName(LPCWSTR name) {
  MonitorLock lock;
  printerName = name ? name : TEXT("");
}

bool PortEntry::probeExempt() const {
  return strncmp(model, "VarnelPFC ", 10) == 0 || strncmp(model, kUnknownModel, 7) == 0;
}

void setPortStatus(LPCWSTR portName, DWORD status, DWORD severity) {
  if (!portName) return;
  PORT_INFO_3W info{};
  info.dwStatus = status;
  info.pszStatus = nullptr;
  info.dwSeverity = severity;
  WString name = portName;
  SetPortW(nullptr, name.data(), 3, reinterpret_cast<LPBYTE>(&info));
}

void loadCompanions() {
  Module &m = module();
  if (!m.winsockReady) m.winsockReady = startWinsock();
  WCHAR dir[MAX_PATH];
  // The network text set of the resource library comes with the network
  // driver as "cardresnet.dll": the USB driver's "cardres.dll" shares the
  // driver folder and carries other texts under some of the same numbers.
  // Earlier installations put the set into the x86 driver folder as
  // "cardres.dll".  Only strings are read, so it is loaded as data.
  if (!m.cardres && monitorfiles::driverFolder(dir, MAX_PATH, monitorfiles::nativeEnvironment()))
    m.cardres = monitorfiles::loadFrom(dir, TEXT("cardresnet.dll"), LOAD_LIBRARY_AS_DATAFILE);
  if (!m.cardres && monitorfiles::driverFolder(dir, MAX_PATH, TEXT("W32X86")))
    m.cardres = monitorfiles::loadFrom(dir, TEXT("cardres.dll"), LOAD_LIBRARY_AS_DATAFILE);
  // The notification server runs code: the spooler's own processor's copy.
  if (m.newGeneration && !m.notifysrv && monitorfiles::driverFolder(dir, MAX_PATH, monitorfiles::nativeEnvironment())) {
    m.notifysrv = monitorfiles::loadFrom(dir, TEXT("notifysrv.dll"));
    if (m.notifysrv)
      m.sendAsyncNotification = procAddress<Module::SendAsyncNotificationFn>(m.notifysrv, "SendAsyncNotification");
  }
}

void freeCompanions() {
  Module &m = module();
  if (m.cardres) FreeLibrary(m.cardres);
  if (m.notifysrv) FreeLibrary(m.notifysrv);
  m.cardres = m.notifysrv = nullptr;
  m.sendAsyncNotification = nullptr;
  releasePortLookup();
  if (m.winsockReady) WSACleanup();
  m.winsockReady = false;
}

VOID WINAPI shutdownMonitor(HANDLE h) {
  Monitor *m = monitorFromHandle(h);
  if (!m) return;
  PortEntry *ports = nullptr;
  XcvHandle *xcvs = nullptr;
  {
    MonitorLock lock;
    ports = m->ports;
    xcvs = m->xcvs;
    m->ports = nullptr;
    m->xcvs = nullptr;
    for (Monitor **q = &module().monitors; *q; q = &(*q)->next) {
      if (*q == m) {
        *q = m->next;
        break;
      }
    }
  }
  while (ports) {
    PortEntry *next = ports->next;
    // A port the spooler never closed still has its watcher and maybe a
    // message on the screen: both end before the entry goes.  A watcher that
    // does not end in time may still read the entry, which is then left.
    stopMessageTask(*ports);
    if (stopWatcher(*ports)) delete ports;
    ports = next;
  }
  while (xcvs) {
    XcvHandle *next = xcvs->next;
    delete xcvs;
    xcvs = next;
  }
  m->signature = 0;
  delete m;
}

}  // namespace card::net

extern "C" LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT init, PHANDLE monitorHandle) {
  using namespace card::net;
  if (!init || !monitorHandle || !init->pMonitorReg) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Module &m = module();
  if (!m.lockReady) {
    SetLastError(ERROR_NOT_READY);
    return nullptr;
  }
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof(version);
  const bool windows2000OrLater = !GetVersionExW(&version) || version.dwMajorVersion >= 5;
  // A spooler of Windows 2000 or later reads the table up to Shutdown only.
  g_table.cbSize = windows2000OrLater ? MONITOR2_SIZE_WIN2K : sizeof(MONITOR2);

  auto record = std::make_unique<Monitor>();
  record->init = *init;
  std::vector<WString> names;
  if (LONG st = readPortNames(record->init, names); st != ERROR_SUCCESS) {
    SetLastError(DWORD(st));
    return nullptr;
  }
  // The names in the key are only read: ports come to life when the spooler
  // or an administrator adds them, and a job opens them.
  (void)names;
  // Loading libraries is not allowed in the load notification itself.
  loadCompanions();
  {
    MonitorLock lock;
    record->next = m.monitors;
    m.monitors = record.get();
  }
  if (canMakeInfraredSocket()) addPortEntry(record.get(), kInfraredPort);

  g_table.pfnEnumPorts = nullptr;
  g_table.pfnOpenPort = nullptr;
  g_table.pfnOpenPortEx = openPortEx;
  g_table.pfnStartDocPort = startDocPort;
  g_table.pfnWritePort = writePort;
  g_table.pfnReadPort = readPort;
  g_table.pfnEndDocPort = endDocPort;
  g_table.pfnClosePort = closePort;
  g_table.pfnAddPort = nullptr;
  g_table.pfnAddPortEx = addPortEx;
  g_table.pfnConfigurePort = nullptr;
  g_table.pfnDeletePort = nullptr;
  g_table.pfnGetPrinterDataFromPort = getPrinterDataFromPort;
  g_table.pfnSetPortTimeOuts = setPortTimeOuts;
  g_table.pfnXcvOpenPort = xcvOpenPort;
  g_table.pfnXcvDataPort = xcvDataPort;
  g_table.pfnXcvClosePort = xcvClosePort;
  g_table.pfnShutdown = shutdownMonitor;
  g_table.pfnSendRecvBidiDataFromPort = sendRecvBidiDataFromPort;
  *monitorHandle = record.release();
  return &g_table;
}
