// A port monitor of the MONITOR2 kind for the spooler tests.  It keeps its
// ports in a "Ports" multi-string under its key, through the registry
// functions the spooler hands it, and answers three configuration commands:
// "AddPort" (administrators only; the input is the new port's name),
// "MonitorUI" (the name of its UI DLL) and "Echo" (the input back).  It is
// also a language monitor: a printer whose driver names it sends its jobs
// through OpenPortEx and the port calls, which pass them on to the port
// monitor's table behind a "PM2:" prefix, and it answers any printer-data
// value with "pm2:" and the value's name.  Every call the spooler makes is
// recorded.
#include <windows.h>
#include <winsplp.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

CRITICAL_SECTION g_lock;
std::string g_calls;  // one line per call

MONITORINIT g_init{};
MONITORREG g_reg{};
int g_monitorTag;  // its address is the monitor's handle

void record(const std::string &line) {
  EnterCriticalSection(&g_lock);
  g_calls += line + "\n";
  LeaveCriticalSection(&g_lock);
}

std::string narrow(LPCWSTR s) {
  if (!s) return "(null)";
  std::string out;
  for (; *s; ++s) out += *s < 0x80 ? char(*s) : '?';
  return out;
}

std::string hex(DWORD v) {
  char buf[16];
  std::snprintf(buf, sizeof(buf), "%lx", static_cast<unsigned long>(v));
  return buf;
}

// The "Ports" value as a multi-string, without its final terminator.
std::u16string readPorts() {
  DWORD type = 0, size = 0;
  if (g_reg.fpQueryValue(g_init.hckRegistryRoot, u"Ports", &type, nullptr, &size, g_init.hSpooler) != ERROR_SUCCESS ||
      type != REG_MULTI_SZ)
    return {};
  std::u16string v(size / sizeof(WCHAR), u'\0');
  if (g_reg.fpQueryValue(g_init.hckRegistryRoot, u"Ports", &type, reinterpret_cast<PBYTE>(v.data()), &size,
                         g_init.hSpooler) != ERROR_SUCCESS)
    return {};
  v.resize(size / sizeof(WCHAR));
  while (!v.empty() && v.back() == u'\0') v.pop_back();
  return v;
}

LONG writePorts(std::u16string v) {
  v.push_back(u'\0');
  v.push_back(u'\0');
  return g_reg.fpSetValue(g_init.hckRegistryRoot, u"Ports", REG_MULTI_SZ, reinterpret_cast<const BYTE *>(v.data()),
                          DWORD(v.size() * sizeof(WCHAR)), g_init.hSpooler);
}

struct Xcv {
  std::u16string object;
  ACCESS_MASK granted;
};

BOOL WINAPI xcvOpenPort(HANDLE hMonitor, LPCWSTR pszObject, ACCESS_MASK GrantedAccess, PHANDLE phXcv) {
  record("XcvOpenPort " + narrow(pszObject) + " " + hex(GrantedAccess) +
         (hMonitor == &g_monitorTag ? "" : " wrong-monitor"));
  *phXcv = new Xcv{pszObject ? pszObject : u"", GrantedAccess};
  return TRUE;
}

DWORD putOutput(const void *data, DWORD size, PBYTE out, DWORD outSize, PDWORD needed) {
  *needed = size;
  if (!out || outSize < size) return ERROR_INSUFFICIENT_BUFFER;
  std::memcpy(out, data, size);
  return ERROR_SUCCESS;
}

DWORD WINAPI xcvDataPort(HANDLE hXcv, LPCWSTR pszDataName, PBYTE pInputData, DWORD cbInputData, PBYTE pOutputData,
                         DWORD cbOutputData, PDWORD pcbOutputNeeded) {
  auto *x = static_cast<Xcv *>(hXcv);
  std::string command = narrow(pszDataName);
  record("XcvDataPort " + command + " " + std::to_string(cbInputData) + " " + std::to_string(cbOutputData));
  if (command == "MonitorUI") {
    static const char16_t kUi[] = u"testpm2ui.dll";
    return putOutput(kUi, sizeof(kUi), pOutputData, cbOutputData, pcbOutputNeeded);
  }
  if (command == "Echo") return putOutput(pInputData, cbInputData, pOutputData, cbOutputData, pcbOutputNeeded);
  if (command == "AddPort") {
    if (!(x->granted & SERVER_ACCESS_ADMINISTER)) return ERROR_ACCESS_DENIED;
    if (!pInputData || cbInputData < sizeof(WCHAR)) return ERROR_INVALID_PARAMETER;
    std::u16string name(reinterpret_cast<const char16_t *>(pInputData), cbInputData / sizeof(WCHAR));
    name.resize(std::char_traits<char16_t>::length(name.c_str()));
    std::u16string ports = readPorts();
    if (!ports.empty()) ports.push_back(u'\0');
    return DWORD(writePorts(ports + name));
  }
  return ERROR_INVALID_PARAMETER;
}

BOOL WINAPI xcvClosePort(HANDLE hXcv) {
  auto *x = static_cast<Xcv *>(hXcv);
  record("XcvClosePort " + narrow(x->object.c_str()));
  delete x;
  return TRUE;
}

VOID WINAPI shutdown(HANDLE hMonitor) {
  record(std::string("Shutdown") + (hMonitor == &g_monitorTag ? "" : " wrong-monitor"));
}

// A port opened through OpenPortEx: the port monitor's table and its port.
struct LmPort {
  MONITOR2 portMonitor;
  HANDLE port;
  bool prefixSent;
};

BOOL WINAPI openPortEx(HANDLE hMonitor, HANDLE hMonitorPort, LPWSTR pPortName, LPWSTR pPrinterName, PHANDLE pHandle,
                       PMONITOR2 pMonitor2) {
  std::string line = "OpenPortEx " + narrow(pPortName) + " " + narrow(pPrinterName);
  if (hMonitor != &g_monitorTag) line += " wrong-monitor";
  if (!pMonitor2 || !pMonitor2->pfnOpenPort || !pHandle) {
    record(line + " no-port-monitor");
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  HANDLE port = nullptr;
  // The port monitor knows its own handle: a wrong one fails here.
  if (!pMonitor2->pfnOpenPort(hMonitorPort, pPortName, &port)) {
    DWORD error = GetLastError();
    record(line + " port-failed " + std::to_string(error));
    SetLastError(error);
    return FALSE;
  }
  record(line);
  *pHandle = new LmPort{*pMonitor2, port, false};
  return TRUE;
}

BOOL WINAPI startDocPort(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level, LPBYTE pDocInfo) {
  auto *p = static_cast<LmPort *>(hPort);
  auto *di = reinterpret_cast<DOC_INFO_1W *>(pDocInfo);
  record("StartDocPort " + narrow(pPrinterName) + " " + std::to_string(JobId) + " " + std::to_string(Level) + " " +
         narrow(di ? di->pDocName : nullptr));
  p->prefixSent = false;
  return p->portMonitor.pfnStartDocPort(p->port, pPrinterName, JobId, Level, pDocInfo);
}

BOOL WINAPI writePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten) {
  auto *p = static_cast<LmPort *>(hPort);
  record("WritePort " + std::to_string(cbBuf));
  *pcbWritten = 0;
  if (!p->prefixSent) {
    DWORD n = 0;
    char prefix[] = "PM2:";
    if (!p->portMonitor.pfnWritePort(p->port, reinterpret_cast<LPBYTE>(prefix), 4, &n) || n != 4) return FALSE;
    p->prefixSent = true;
  }
  return p->portMonitor.pfnWritePort(p->port, pBuffer, cbBuf, pcbWritten);
}

BOOL WINAPI endDocPort(HANDLE hPort) {
  auto *p = static_cast<LmPort *>(hPort);
  record("EndDocPort");
  return p->portMonitor.pfnEndDocPort(p->port);
}

BOOL WINAPI closePort(HANDLE hPort) {
  auto *p = static_cast<LmPort *>(hPort);
  record("ClosePort");
  BOOL ok = p->portMonitor.pfnClosePort(p->port);
  delete p;
  return ok;
}

BOOL WINAPI getPrinterDataFromPort(HANDLE hPort, DWORD ControlID, LPWSTR pValueName, LPWSTR, DWORD, LPWSTR lpOutBuffer,
                                   DWORD cbOutBuffer, LPDWORD lpcbReturned) {
  record("GetPrinterDataFromPort " + std::to_string(ControlID) + " " + narrow(pValueName) + " " +
         std::to_string(cbOutBuffer) + (hPort ? "" : " no-port"));
  std::string reply = "pm2:" + narrow(pValueName);
  *lpcbReturned = DWORD(reply.size());
  if (!lpOutBuffer || cbOutBuffer < reply.size()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(lpOutBuffer, reply.data(), reply.size());
  return TRUE;
}

MONITOR2 g_table{};

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) InitializeCriticalSection(&g_lock);
  if (reason == DLL_PROCESS_DETACH) DeleteCriticalSection(&g_lock);
  return TRUE;
}

// The ports from the "Ports" value; a first start writes the default one.
// Also keeps a "Version" value in a "Settings" subkey, made with the
// registry functions.
WINSIM_API LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT pMonitorInit, PHANDLE phMonitor) {
  if (!pMonitorInit || !pMonitorInit->pMonitorReg || pMonitorInit->cbSize < sizeof(MONITORINIT) ||
      pMonitorInit->pMonitorReg->cbSize < sizeof(MONITORREG)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  g_init = *pMonitorInit;
  g_reg = *pMonitorInit->pMonitorReg;
  std::u16string ports = readPorts();
  if (ports.empty()) {
    ports = u"PM2_1";
    writePorts(ports);
  }
  for (auto &c : ports)
    if (c == u'\0') c = u',';
  HANDLE settings = nullptr;
  DWORD disposition = 0;
  LONG st = g_reg.fpCreateKey(g_init.hckRegistryRoot, u"Settings", 0, KEY_ALL_ACCESS, nullptr, &settings, &disposition,
                              g_init.hSpooler);
  if (st == ERROR_SUCCESS) {
    DWORD version = 1;
    g_reg.fpSetValue(settings, u"Version", REG_DWORD, reinterpret_cast<const BYTE *>(&version), sizeof(version),
                     g_init.hSpooler);
    g_reg.fpCloseKey(settings, g_init.hSpooler);
  }
  record("InitializePrintMonitor2 local=" + std::to_string(g_init.bLocal) + " ports=" + narrow(ports.c_str()) +
         " settings=" + (st == ERROR_SUCCESS ? std::to_string(disposition) : "failed"));
  g_table.cbSize = sizeof(MONITOR2);
  g_table.pfnOpenPortEx = openPortEx;
  g_table.pfnStartDocPort = startDocPort;
  g_table.pfnWritePort = writePort;
  g_table.pfnEndDocPort = endDocPort;
  g_table.pfnClosePort = closePort;
  g_table.pfnGetPrinterDataFromPort = getPrinterDataFromPort;
  g_table.pfnXcvOpenPort = xcvOpenPort;
  g_table.pfnXcvDataPort = xcvDataPort;
  g_table.pfnXcvClosePort = xcvClosePort;
  g_table.pfnShutdown = shutdown;
  *phMonitor = &g_monitorTag;
  return &g_table;
}

// The calls recorded since the module was loaded, one per line.
WINSIM_API DWORD WINAPI TestPm2Calls(char *out, DWORD size) {
  EnterCriticalSection(&g_lock);
  DWORD n = DWORD(g_calls.size());
  if (out && size > n) std::memcpy(out, g_calls.c_str(), n + 1);
  LeaveCriticalSection(&g_lock);
  return n;
}

}  // extern "C"
