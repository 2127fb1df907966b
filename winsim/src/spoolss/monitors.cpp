// Print monitors in winsim's spooler: language monitor DLLs installed under
// the spooler's Monitors key and loaded with InitializeMonitorEx, stacked on
// the port monitor that serves the printer's port (any port monitor with a
// table in the port registry) for the printers whose driver names them.  A
// printer's port is then a MonitorPort: the spooler calls the language
// monitor's table, which opened the port monitor's port itself (OpenPortEx
// received the port monitor's table), or the port monitor's table directly
// when the driver names no monitor.
#include <filesystem>
#include <map>
#include <set>

#include "core/internal.h"
#include "spoolss/spooler_state.h"
#include "spoolss/spoolss.h"
#include "spoolss/spooler_service.h"

namespace winsim::spool {

namespace {

struct LoadedMonitor {
  std::u16string name;
  HMODULE module = nullptr;
  MONITOR table{};
  // A monitor initialised with InitializePrintMonitor2: its table, the
  // handle it returned and the key the spooler opened for it.
  bool monitor2 = false;
  MONITOR2 table2{};
  HANDLE handle = nullptr;
  HKEY root = nullptr;
  MONITORREG reg{};
  MONITORINIT init{};
  // The configuration handles open on it: closed when the spooler lets the
  // monitor go, so that no printer handle left open calls into it.
  std::mutex xcvLock;
  std::set<HANDLE> xcvOpen;

  LoadedMonitor() = default;
  LoadedMonitor(const LoadedMonitor &) = delete;
  LoadedMonitor &operator=(const LoadedMonitor &) = delete;
  // Shutdown for a MONITOR2 monitor, then its DLL goes: when the last user
  // lets go of it, so that a port still open through it (a query or a job in
  // flight while the spooler stops or the monitor is deleted) never calls
  // into an unloaded DLL.
  ~LoadedMonitor() {
    if (monitor2 && handle && table2.pfnShutdown) table2.pfnShutdown(handle);
    if (root) RegCloseKey(root);
    if (module) FreeLibrary(module);
  }
};

std::recursive_mutex g_monLock;
std::map<std::u16string, std::shared_ptr<LoadedMonitor>> g_monitors;  // by upper-case name
std::mutex g_statusLock;
std::map<std::u16string, PortStatus> g_portStatus;  // by upper-case port name

// A port a MONITOR2 monitor added: the spooler knows it from then on (until
// the machine is reset), so that ",XcvPort" finds its monitor.
void registerMonitorPort(const std::u16string &monitor, const std::u16string &port) {
  if (port.empty() || portMonitorFor(port)) return;
  PortMonitor m;
  m.name = monitor;
  m.order = 1000;
  m.serves = [port](const std::u16string &p) { return equalsNoCase(p, port); };
  m.listPorts = [port, monitor] { return std::vector<PortListEntry>{{port, monitor, monitor}}; };
  registerPortMonitor(std::move(m), false);
}

std::u16string monitorDll(const std::u16string &name) {
  HKEY k;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (monitorsKey() + u"\\" + name).c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
    return {};
  WCHAR buf[MAX_PATH] = {};
  DWORD type = 0, size = sizeof(buf) - sizeof(WCHAR);
  LSTATUS st = RegQueryValueExW(k, u"Driver", nullptr, &type, reinterpret_cast<BYTE *>(buf), &size);
  RegCloseKey(k);
  if (st != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
  return fromW(buf);
}

// The registry functions of MONITORREG: the spooler's handles are the
// registry's own keys, as a spooler that is not clustered hands them out.
HKEY keyOf(HANDLE h) { return reinterpret_cast<HKEY>(h); }

LONG WINAPI regCreateKey(HANDLE hcKey, LPCWSTR pszSubKey, DWORD dwOptions, REGSAM samDesired,
                         PSECURITY_ATTRIBUTES pSecurityAttributes, PHANDLE phckResult, PDWORD pdwDisposition, HANDLE) {
  if (!phckResult) return ERROR_INVALID_PARAMETER;
  HKEY k = nullptr;
  LONG st = RegCreateKeyExW(keyOf(hcKey), pszSubKey, 0, nullptr, dwOptions, samDesired, pSecurityAttributes, &k,
                            pdwDisposition);
  *phckResult = st == ERROR_SUCCESS ? reinterpret_cast<HANDLE>(k) : nullptr;
  return st;
}
LONG WINAPI regOpenKey(HANDLE hcKey, LPCWSTR pszSubKey, REGSAM samDesired, PHANDLE phkResult, HANDLE) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  HKEY k = nullptr;
  LONG st = RegOpenKeyExW(keyOf(hcKey), pszSubKey, 0, samDesired, &k);
  *phkResult = st == ERROR_SUCCESS ? reinterpret_cast<HANDLE>(k) : nullptr;
  return st;
}
LONG WINAPI regCloseKey(HANDLE hcKey, HANDLE) { return RegCloseKey(keyOf(hcKey)); }
LONG WINAPI regDeleteKey(HANDLE hcKey, LPCWSTR pszSubKey, HANDLE) { return RegDeleteKeyW(keyOf(hcKey), pszSubKey); }
LONG WINAPI regEnumKey(HANDLE hcKey, DWORD dwIndex, LPWSTR pszName, PDWORD pcchName, PFILETIME pftLastWriteTime,
                       HANDLE) {
  return RegEnumKeyExW(keyOf(hcKey), dwIndex, pszName, pcchName, nullptr, nullptr, nullptr, pftLastWriteTime);
}
LONG WINAPI regQueryInfoKey(HANDLE hcKey, PDWORD pcSubKeys, PDWORD pcbKey, PDWORD pcValues, PDWORD pcbValue,
                            PDWORD pcbData, PDWORD pcbSecurityDescriptor, PFILETIME pftLastWriteTime, HANDLE) {
  return RegQueryInfoKeyW(keyOf(hcKey), nullptr, nullptr, nullptr, pcSubKeys, pcbKey, nullptr, pcValues, pcbValue,
                          pcbData, pcbSecurityDescriptor, pftLastWriteTime);
}
LONG WINAPI regSetValue(HANDLE hcKey, LPCWSTR pszValue, DWORD dwType, const BYTE *pData, DWORD cbData, HANDLE) {
  return RegSetValueExW(keyOf(hcKey), pszValue, 0, dwType, pData, cbData);
}
LONG WINAPI regDeleteValue(HANDLE hcKey, LPCWSTR pszValue, HANDLE) { return RegDeleteValueW(keyOf(hcKey), pszValue); }
LONG WINAPI regEnumValue(HANDLE hcKey, DWORD dwIndex, LPWSTR pszValue, PDWORD pcbValue, PDWORD pType, PBYTE pData,
                         PDWORD pcbData, HANDLE) {
  // The name's size comes in and goes out in bytes here, in characters in
  // the registry's own call.
  if (!pcbValue) return ERROR_INVALID_PARAMETER;
  DWORD chars = *pcbValue / sizeof(WCHAR);
  LONG st = RegEnumValueW(keyOf(hcKey), dwIndex, pszValue, &chars, nullptr, pType, pData, pcbData);
  *pcbValue = chars * sizeof(WCHAR);
  return st;
}
LONG WINAPI regQueryValue(HANDLE hcKey, LPCWSTR pszValue, PDWORD pType, PBYTE pData, PDWORD pcbData, HANDLE) {
  return RegQueryValueExW(keyOf(hcKey), pszValue, nullptr, pType, pData, pcbData);
}

// Windows prefers InitializePrintMonitor2 to the older entry points.
bool initMonitor2(LoadedMonitor &m, DWORD &error) {
  using Init2 = LPMONITOR2(WINAPI *)(PMONITORINIT, PHANDLE);
  auto init = reinterpret_cast<Init2>(reinterpret_cast<void *>(GetProcAddress(m.module, "InitializePrintMonitor2")));
  if (!init) return false;
  m.monitor2 = true;
  std::u16string key = monitorsKey() + u"\\" + m.name;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m.root, nullptr) !=
      ERROR_SUCCESS) {
    error = ERROR_ACCESS_DENIED;
    return true;
  }
  m.reg = MONITORREG{sizeof(MONITORREG), regCreateKey, regOpenKey,     regCloseKey,  regDeleteKey, regEnumKey,
                     regQueryInfoKey,    regSetValue,  regDeleteValue, regEnumValue, regQueryValue};
  m.init.cbSize = sizeof(MONITORINIT);
  m.init.hSpooler = reinterpret_cast<HANDLE>(&m);
  m.init.hckRegistryRoot = reinterpret_cast<HANDLE>(m.root);
  m.init.pMonitorReg = &m.reg;
  m.init.bLocal = TRUE;
  m.init.pszServerName = nullptr;
  SetLastError(ERROR_SUCCESS);
  LPMONITOR2 table = init(&m.init, &m.handle);
  // A table shorter than the first one Windows knew is no table.
  if (!table || table->cbSize < MONITOR2_SIZE_WIN2K) {
    error = GetLastError() ? GetLastError() : ERROR_GEN_FAILURE;
    if (table && table->pfnShutdown) table->pfnShutdown(m.handle);
    return true;
  }
  // MONITOR2_SIZE_WIN2K counts a DWORD and 18 pointers, which on a 64-bit
  // machine ends inside pfnShutdown (the size field is padded): a table of at
  // least that size has every entry up to pfnShutdown whole.
  const size_t whole = offsetof(MONITOR2, pfnShutdown) + sizeof(table->pfnShutdown);
  std::memcpy(&m.table2, table, std::min<size_t>(std::max<size_t>(table->cbSize, whole), sizeof(MONITOR2)));
  error = ERROR_SUCCESS;
  return true;
}

// The spooler lets a monitor go: its configuration handles are closed now;
// it is shut down and unloaded once no open port uses it any more.
void unloadMonitor(std::shared_ptr<LoadedMonitor> m) {
  std::set<HANDLE> open;
  {
    std::lock_guard<std::mutex> g(m->xcvLock);
    open.swap(m->xcvOpen);
  }
  if (m->table2.pfnXcvClosePort)
    for (HANDLE h : open) m->table2.pfnXcvClosePort(h);
}

// Loads and initialises the monitor on first use, as the spooler does at its
// start for every monitor in its key.
std::shared_ptr<LoadedMonitor> loadMonitor(const std::u16string &name, DWORD &error) {
  std::lock_guard<std::recursive_mutex> g(g_monLock);
  auto it = g_monitors.find(upper(name));
  if (it != g_monitors.end()) return it->second;
  std::u16string dll = monitorDll(name);
  if (dll.empty()) {
    error = ERROR_UNKNOWN_PRINT_MONITOR;
    return nullptr;
  }
  HMODULE mod = LoadLibraryW(dll.c_str());
  if (!mod) {
    error = GetLastError() ? GetLastError() : ERROR_MOD_NOT_FOUND;
    return nullptr;
  }
  auto m = std::make_shared<LoadedMonitor>();
  m->name = name;
  m->module = mod;
  if (initMonitor2(*m, error)) {
    if (error != ERROR_SUCCESS) {
      m->handle = nullptr;  // no monitor to shut down
      return nullptr;
    }
    g_monitors[upper(name)] = m;
    return m;
  }
  using InitEx = BOOL(WINAPI *)(LPWSTR, LPMONITOR);
  auto init = reinterpret_cast<InitEx>(reinterpret_cast<void *>(GetProcAddress(mod, "InitializeMonitorEx")));
  std::u16string root = monitorsKey() + u"\\" + name;
  SetLastError(ERROR_SUCCESS);
  if (!init || !init(root.data(), &m->table)) {
    error = !init ? ERROR_PROC_NOT_FOUND : GetLastError() ? GetLastError() : ERROR_GEN_FAILURE;
    return nullptr;
  }
  g_monitors[upper(name)] = m;
  return m;
}

// A port that could not be opened: every call fails with the reason.
class FailedPort : public Port {
 public:
  explicit FailedPort(DWORD error) : error_(error) {}
  BOOL startDoc(const std::u16string &, DWORD, const std::u16string &) override { return fail(); }
  BOOL write(const BYTE *, DWORD, DWORD *written) override {
    if (written) *written = 0;
    return fail();
  }
  BOOL endDoc() override { return fail(); }
  BOOL getPrinterDataFromPort(const std::u16string &, DWORD, std::vector<BYTE> &, DWORD &, DWORD &error) override {
    error = error_;
    return FALSE;
  }
  bool isOpen() const override { return false; }

 private:
  BOOL fail() {
    SetLastError(error_);
    return FALSE;
  }
  DWORD error_;
};

// The per-port entries, which both kinds of table have with the same
// signatures.
struct PortCalls {
  decltype(MONITOR::pfnStartDocPort) startDoc = nullptr;
  decltype(MONITOR::pfnWritePort) write = nullptr;
  decltype(MONITOR::pfnEndDocPort) endDoc = nullptr;
  decltype(MONITOR::pfnClosePort) close = nullptr;
  decltype(MONITOR::pfnGetPrinterDataFromPort) getData = nullptr;
};
template <typename Table>
PortCalls callsOf(const Table &t) {
  return PortCalls{t.pfnStartDocPort, t.pfnWritePort, t.pfnEndDocPort, t.pfnClosePort, t.pfnGetPrinterDataFromPort};
}

// A port monitor with a MONITOR table seen through a MONITOR2 one, for a
// language monitor of the MONITOR2 kind stacked on it: the monitor handle is
// the MONITOR table, and each port handle carries the table with the port
// monitor's own handle.
struct AdaptedPort {
  const MONITOR *table;
  HANDLE handle;
};
AdaptedPort *adapted(HANDLE h) { return static_cast<AdaptedPort *>(h); }
BOOL refuse(DWORD error) {
  SetLastError(error);
  return FALSE;
}
BOOL WINAPI adaptedOpenPort(HANDLE hMonitor, LPWSTR pName, PHANDLE pHandle) {
  auto *t = static_cast<const MONITOR *>(hMonitor);
  if (!t || !pHandle || !t->pfnOpenPort) return refuse(ERROR_INVALID_PARAMETER);
  HANDLE h = nullptr;
  if (!t->pfnOpenPort(pName, &h)) return FALSE;
  *pHandle = new AdaptedPort{t, h};
  return TRUE;
}
BOOL WINAPI adaptedStartDocPort(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level, LPBYTE pDocInfo) {
  auto *p = adapted(hPort);
  if (!p->table->pfnStartDocPort) return refuse(ERROR_NOT_SUPPORTED);
  return p->table->pfnStartDocPort(p->handle, pPrinterName, JobId, Level, pDocInfo);
}
BOOL WINAPI adaptedWritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten) {
  auto *p = adapted(hPort);
  if (!p->table->pfnWritePort) return refuse(ERROR_NOT_SUPPORTED);
  return p->table->pfnWritePort(p->handle, pBuffer, cbBuf, pcbWritten);
}
BOOL WINAPI adaptedReadPort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead) {
  auto *p = adapted(hPort);
  if (!p->table->pfnReadPort) return refuse(ERROR_NOT_SUPPORTED);
  return p->table->pfnReadPort(p->handle, pBuffer, cbBuffer, pcbRead);
}
BOOL WINAPI adaptedEndDocPort(HANDLE hPort) {
  auto *p = adapted(hPort);
  if (!p->table->pfnEndDocPort) return refuse(ERROR_NOT_SUPPORTED);
  return p->table->pfnEndDocPort(p->handle);
}
BOOL WINAPI adaptedClosePort(HANDLE hPort) {
  auto *p = adapted(hPort);
  BOOL ok = p->table->pfnClosePort ? p->table->pfnClosePort(p->handle) : TRUE;
  delete p;
  return ok;
}
BOOL WINAPI adaptedGetPrinterDataFromPort(HANDLE hPort, DWORD ControlID, LPWSTR pValueName, LPWSTR lpInBuffer,
                                          DWORD cbInBuffer, LPWSTR lpOutBuffer, DWORD cbOutBuffer,
                                          LPDWORD lpcbReturned) {
  auto *p = adapted(hPort);
  if (!p->table->pfnGetPrinterDataFromPort) return refuse(ERROR_NOT_SUPPORTED);
  return p->table->pfnGetPrinterDataFromPort(p->handle, ControlID, pValueName, lpInBuffer, cbInBuffer, lpOutBuffer,
                                             cbOutBuffer, lpcbReturned);
}
BOOL WINAPI adaptedSetPortTimeOuts(HANDLE hPort, LPCOMMTIMEOUTS lpCTO, DWORD reserved) {
  auto *p = adapted(hPort);
  if (!p->table->pfnSetPortTimeOuts) return refuse(ERROR_NOT_SUPPORTED);
  return p->table->pfnSetPortTimeOuts(p->handle, lpCTO, reserved);
}
MONITOR2 adapterTable() {
  MONITOR2 t{};
  t.cbSize = sizeof(MONITOR2);
  t.pfnOpenPort = adaptedOpenPort;
  t.pfnStartDocPort = adaptedStartDocPort;
  t.pfnWritePort = adaptedWritePort;
  t.pfnReadPort = adaptedReadPort;
  t.pfnEndDocPort = adaptedEndDocPort;
  t.pfnClosePort = adaptedClosePort;
  t.pfnGetPrinterDataFromPort = adaptedGetPrinterDataFromPort;
  t.pfnSetPortTimeOuts = adaptedSetPortTimeOuts;
  return t;
}

// The port monitor under a printer's port: a MONITOR table, a MONITOR2 one
// with its handle, or both (winsim's own network port monitor).
struct PortMonitorTables {
  const MONITOR *table = nullptr;
  const MONITOR2 *table2 = nullptr;
  HANDLE handle2 = nullptr;
};

class MonitorPort : public Port {
  static constexpr DWORD kMaxReply = 1u << 20;

 public:
  MonitorPort(std::shared_ptr<LoadedMonitor> language, std::u16string portName, const PortMonitorTables &pm)
      : language_(std::move(language)), portName_(std::move(portName)) {
    if (pm.table) portMonitor_ = *pm.table;
    if (pm.table2) {
      portMonitor2_ = *pm.table2;
      portHandle2_ = pm.handle2;
    }
    hasTable_ = pm.table != nullptr;
    // A MONITOR2 table is what the port is opened with when there is one
    // and nothing needs the older kind.
    use2_ = pm.table2 && !(language_ && !language_->monitor2 && hasTable_);
    if (!pm.table2 && language_ && language_->monitor2) {
      portMonitor2_ = adapterTable();
      portHandle2_ = &portMonitor_;
      use2_ = true;
    }
  }

  // Opens the port through the language monitor (which opens the port
  // monitor's port itself, with the table it receives) or straight on the
  // port monitor.
  BOOL open(const std::u16string &printer) {
    std::u16string port = portName_, name = printer;
    if (language_ && language_->monitor2) {
      if (!language_->table2.pfnOpenPortEx) return refuse(ERROR_NOT_SUPPORTED);
      return language_->table2.pfnOpenPortEx(language_->handle, portHandle2_, port.data(), name.data(), &handle_,
                                             &portMonitor2_);
    }
    if (language_) {
      // A language monitor of the older kind can only stack on a port
      // monitor that has a MONITOR table to give it.
      if (!language_->table.pfnOpenPortEx || !hasTable_) return refuse(ERROR_NOT_SUPPORTED);
      return language_->table.pfnOpenPortEx(port.data(), name.data(), &handle_, &portMonitor_);
    }
    return openOnPortMonitor(port, &handle_);
  }

  ~MonitorPort() override {
    if (handle_ && top().close) top().close(handle_);
    if (dataHandle_ && bottom().close) bottom().close(dataHandle_);
  }

  BOOL startDoc(const std::u16string &printer, DWORD jobId, const std::u16string &document) override {
    std::u16string name = printer, doc = document, type = u"RAW";
    DOC_INFO_1W di{doc.data(), nullptr, type.data()};
    if (!top().startDoc) return refuse(ERROR_NOT_SUPPORTED);
    return top().startDoc(handle_, name.data(), jobId, 1, reinterpret_cast<LPBYTE>(&di));
  }
  BOOL write(const BYTE *data, DWORD size, DWORD *written) override {
    if (!top().write) return refuse(ERROR_NOT_SUPPORTED);
    return top().write(handle_, const_cast<LPBYTE>(data), size, written);
  }
  BOOL endDoc() override {
    if (!top().endDoc) return refuse(ERROR_NOT_SUPPORTED);
    return top().endDoc(handle_);
  }

  BOOL getPrinterDataFromPort(const std::u16string &valueName, DWORD outSize, std::vector<BYTE> &reply, DWORD &needed,
                              DWORD &error) override {
    // The language monitor answers when it has the entry, else the port
    // monitor does, on a handle of its own when a language monitor holds
    // the port.
    decltype(MONITOR::pfnGetPrinterDataFromPort) fn = nullptr;
    HANDLE h = nullptr;
    if (language_ && languageCalls().getData) {
      fn = languageCalls().getData;
      h = handle_;
    } else {
      fn = bottom().getData;
      h = !fn ? nullptr : language_ ? dataHandle() : handle_;
    }
    if (!fn || !h) {
      error = fn ? GetLastError() : ERROR_NOT_SUPPORTED;
      return FALSE;
    }
    std::u16string name = valueName;
    // The monitor writes into the spooler's own buffer, not the caller's:
    // a caller that claims a huge buffer gets one of a sane size, which no
    // reply of a printer comes near.
    outSize = std::min<DWORD>(outSize, kMaxReply);
    std::vector<BYTE> buf(std::max<DWORD>(outSize, 2));
    DWORD returned = 0;
    SetLastError(ERROR_SUCCESS);
    if (!fn(h, 0, name.data(), nullptr, 0, outSize ? reinterpret_cast<LPWSTR>(buf.data()) : nullptr, outSize,
            &returned)) {
      error = GetLastError() ? GetLastError() : ERROR_NOT_SUPPORTED;
      needed = returned;
      return FALSE;
    }
    needed = returned;
    reply.assign(buf.begin(), buf.begin() + std::min(returned, outSize));
    return TRUE;
  }

  std::u16string languageMonitor() const override { return language_ ? language_->name : std::u16string(); }
  bool retriesStart() const override { return true; }

 private:
  PortCalls languageCalls() const {
    return language_->monitor2 ? callsOf(language_->table2) : callsOf(language_->table);
  }
  PortCalls bottom() const { return use2_ ? callsOf(portMonitor2_) : callsOf(portMonitor_); }
  PortCalls top() const { return language_ ? languageCalls() : bottom(); }

  BOOL openOnPortMonitor(std::u16string &port, HANDLE *h) {
    if (use2_) {
      if (!portMonitor2_.pfnOpenPort) return refuse(ERROR_NOT_SUPPORTED);
      return portMonitor2_.pfnOpenPort(portHandle2_, port.data(), h);
    }
    if (!portMonitor_.pfnOpenPort) return refuse(ERROR_NOT_SUPPORTED);
    return portMonitor_.pfnOpenPort(port.data(), h);
  }
  HANDLE dataHandle() {
    std::lock_guard<std::mutex> g(dataLock_);
    if (!dataHandle_) {
      std::u16string port = portName_;
      if (!openOnPortMonitor(port, &dataHandle_)) dataHandle_ = nullptr;
    }
    return dataHandle_;
  }

  std::shared_ptr<LoadedMonitor> language_;
  std::u16string portName_;
  // The copies handed to the language monitor's OpenPortEx.
  MONITOR portMonitor_{};
  MONITOR2 portMonitor2_{};
  HANDLE portHandle2_ = nullptr;
  bool hasTable_ = false, use2_ = false;
  HANDLE handle_ = nullptr;
  std::mutex dataLock_;
  HANDLE dataHandle_ = nullptr;
};

std::unique_ptr<Port> openPort(const std::u16string &printer, const std::u16string &portName,
                               const PortMonitorTables &pm) {
  bool canOpen = (pm.table && pm.table->pfnOpenPort && pm.table->pfnClosePort) ||
                 (pm.table2 && pm.table2->pfnOpenPort && pm.table2->pfnClosePort);
  if (!canOpen) return std::make_unique<FailedPort>(ERROR_NOT_SUPPORTED);
  std::shared_ptr<LoadedMonitor> language;
  std::u16string monitor = printerMonitorName(printer);
  if (!monitor.empty()) {
    DWORD error = ERROR_SUCCESS;
    language = loadMonitor(monitor, error);
    if (!language) {
      OutputDebugStringA(
          ("winsim: the monitor \"" + toUtf8(monitor) + "\" of printer \"" + toUtf8(printer) + "\" cannot be loaded")
              .c_str());
      return std::make_unique<FailedPort>(error);
    }
  }
  auto port = std::make_unique<MonitorPort>(language, portName, pm);
  SetLastError(ERROR_SUCCESS);
  if (!port->open(printer)) {
    DWORD error = GetLastError() ? GetLastError() : ERROR_GEN_FAILURE;
    port.reset();
    return std::make_unique<FailedPort>(error);
  }
  return port;
}

}  // namespace

std::unique_ptr<Port> makeFailedPort(DWORD error) { return std::make_unique<FailedPort>(error); }

std::unique_ptr<Port> openMonitorPort(const std::u16string &printer, const std::u16string &portName,
                                      const MONITOR &portMonitor) {
  return openPort(printer, portName, PortMonitorTables{&portMonitor, nullptr, nullptr});
}

std::unique_ptr<Port> openMonitor2Port(const std::u16string &printer, const std::u16string &portName,
                                       const MONITOR2 &portMonitor, HANDLE portMonitorHandle) {
  return openPort(printer, portName, PortMonitorTables{nullptr, &portMonitor, portMonitorHandle});
}

std::unique_ptr<Port> openMonitorPorts(const std::u16string &printer, const std::u16string &portName,
                                       const MONITOR &portMonitor, const MONITOR2 &portMonitor2,
                                       HANDLE portMonitorHandle) {
  return openPort(printer, portName, PortMonitorTables{&portMonitor, &portMonitor2, portMonitorHandle});
}

void resetMonitors() {
  {
    std::lock_guard<std::mutex> g(g_statusLock);
    g_portStatus.clear();
  }
  std::map<std::u16string, std::shared_ptr<LoadedMonitor>> monitors;
  {
    std::lock_guard<std::recursive_mutex> g(g_monLock);
    monitors.swap(g_monitors);
  }
  for (auto &kv : monitors) unloadMonitor(std::move(kv.second));
}

void loadInstalledMonitors() {
  const std::vector<std::u16string> names = subkeysOf(monitorsKey());
  // A key without a DLL (a built-in monitor's settings) is no monitor to
  // load; one that fails is left out, as the spooler logs it and goes on.
  for (auto &n : names) {
    DWORD error = ERROR_SUCCESS;
    if (!monitorDll(n).empty() && !loadMonitor(n, error))
      OutputDebugStringA(("winsim: the monitor \"" + toUtf8(n) + "\" does not load at the spooler's start").c_str());
  }
}

namespace {

class MonitorXcv : public XcvChannel {
 public:
  MonitorXcv(const std::shared_ptr<LoadedMonitor> &m, HANDLE h) : monitor_(m), handle_(h) {
    std::lock_guard<std::mutex> g(m->xcvLock);
    m->xcvOpen.insert(handle_);
  }
  ~MonitorXcv() override {
    std::shared_ptr<LoadedMonitor> m = monitor_.lock();
    if (!m) return;
    {
      // Already closed when the monitor went first.
      std::lock_guard<std::mutex> g(m->xcvLock);
      if (!m->xcvOpen.erase(handle_)) return;
    }
    if (m->table2.pfnXcvClosePort) m->table2.pfnXcvClosePort(handle_);
  }
  DWORD data(LPCWSTR command, PBYTE in, DWORD inSize, PBYTE out, DWORD outSize, PDWORD needed) override {
    // The handle does not keep the monitor loaded; a call in flight does.
    std::shared_ptr<LoadedMonitor> m = monitor_.lock();
    if (!m) return ERROR_INVALID_HANDLE;
    {
      std::lock_guard<std::mutex> g(m->xcvLock);
      if (!m->xcvOpen.count(handle_)) return ERROR_INVALID_HANDLE;
    }
    if (!m->table2.pfnXcvDataPort) return ERROR_INVALID_FUNCTION;
    DWORD st = m->table2.pfnXcvDataPort(handle_, command, in, inSize, out, outSize, needed);
    // "AddPort" carries the new port's name; once the monitor took it the
    // spooler serves the port through this monitor.
    if (st == ERROR_SUCCESS && command && equalsNoCase(command, u"AddPort") && in && inSize >= sizeof(WCHAR)) {
      const WCHAR *name = reinterpret_cast<const WCHAR *>(in);
      size_t n = 0;
      while (n < inSize / sizeof(WCHAR) && name[n]) ++n;
      registerMonitorPort(m->name, std::u16string(name, n));
    }
    return st;
  }

 private:
  std::weak_ptr<LoadedMonitor> monitor_;
  HANDLE handle_;
};

}  // namespace

std::unique_ptr<XcvChannel> openXcv(const std::u16string &object, ACCESS_MASK granted, DWORD &error) {
  static const std::u16string kMonitor = u"XcvMonitor ", kPort = u"XcvPort ";
  std::u16string monitorName, port;
  bool isPort = false;
  if (object.size() > kMonitor.size() && equalsNoCase(object.substr(0, kMonitor.size()), kMonitor)) {
    monitorName = object.substr(kMonitor.size());
  } else if (object.size() > kPort.size() && equalsNoCase(object.substr(0, kPort.size()), kPort)) {
    port = object.substr(kPort.size());
    isPort = true;
    auto pm = portMonitorFor(port);
    if (!pm) {
      error = ERROR_UNKNOWN_PORT;
      return nullptr;
    }
    monitorName = pm->name;
  } else {
    error = ERROR_INVALID_PRINTER_NAME;
    return nullptr;
  }
  auto m = loadMonitor(monitorName, error);
  if (!m || !m->monitor2 || !m->table2.pfnXcvOpenPort) {
    // A monitor without a MONITOR2 table has no configuration channel.
    if (m) error = ERROR_INVALID_PRINTER_NAME;
    if (!isPort && error == ERROR_UNKNOWN_PRINT_MONITOR) error = ERROR_INVALID_PRINTER_NAME;
    return nullptr;
  }
  HANDLE h = nullptr;
  SetLastError(ERROR_SUCCESS);
  if (!m->table2.pfnXcvOpenPort(m->handle, isPort ? port.c_str() : nullptr, granted, &h)) {
    error = GetLastError() ? GetLastError() : ERROR_GEN_FAILURE;
    return nullptr;
  }
  error = ERROR_SUCCESS;
  return std::make_unique<MonitorXcv>(m, h);
}

namespace {

// A monitor is in use while a printer's port goes through it: the port is
// one the monitor serves, or the printer's driver names it as its language
// monitor, or a port opened with it is still open.
// Closes the ports open through the monitor that no printer prints to any
// more (their printers were deleted): the spooler lets go of a port with its
// last printer.  Called without the spooler's lock, as ClosePort may call
// back.
void closeAbandonedPorts(const std::u16string &monitor) {
  std::vector<std::shared_ptr<Port>> abandoned;
  {
    std::set<std::u16string> used;
    for (const auto &printer : printerNames()) used.insert(upper(portOf(printer)));
    std::lock_guard<std::recursive_mutex> g(g_lock);
    for (auto it = g_ports.begin(); it != g_ports.end();) {
      if (equalsNoCase(it->second.monitor, monitor) && !used.count(it->first)) {
        abandoned.push_back(std::move(it->second.port));
        it = g_ports.erase(it);
      } else {
        ++it;
      }
    }
  }
  abandoned.clear();
}

bool monitorInUse(const std::u16string &monitor) {
  if (!portsUsingMonitor(monitor).empty()) return true;
  for (const auto &printer : printerNames()) {
    if (equalsNoCase(printerMonitorName(printer), monitor)) return true;
    auto served = portMonitorFor(portOf(printer));
    if (served && equalsNoCase(served->name, monitor)) return true;
  }
  return false;
}

}  // namespace

void setPortStatus(const std::u16string &port, const PortStatus &st) {
  std::lock_guard<std::mutex> g(g_statusLock);
  g_portStatus[upper(port)] = st;
}

PortStatus portStatusOf(const std::u16string &port) {
  std::lock_guard<std::mutex> g(g_statusLock);
  auto it = g_portStatus.find(upper(port));
  return it == g_portStatus.end() ? PortStatus{} : it->second;
}

}  // namespace winsim::spool

using namespace winsim;
using namespace winsim::spool;

extern "C" {

BOOL WINAPI AddMonitorW(LPWSTR pName, DWORD Level, LPBYTE pMonitors) {
  if (!spoolerAnswers()) return FALSE;
  (void)pName;
  if (Level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  auto *mi = reinterpret_cast<MONITOR_INFO_2W *>(pMonitors);
  if (!mi || !mi->pName || !*mi->pName || !mi->pDLLName || !*mi->pDLLName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (mi->pEnvironment && *mi->pEnvironment && !equalsNoCase(mi->pEnvironment, currentEnvironment())) {
    SetLastError(ERROR_INVALID_ENVIRONMENT);
    return FALSE;
  }
  std::u16string name = mi->pName, key = monitorsKey() + u"\\" + name;
  HKEY k;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &k) == ERROR_SUCCESS) {
    RegCloseKey(k);
    SetLastError(ERROR_PRINT_MONITOR_ALREADY_INSTALLED);
    return FALSE;
  }
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) !=
      ERROR_SUCCESS) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  std::u16string dll = mi->pDLLName;
  RegSetValueExW(k, u"Driver", 0, REG_SZ, reinterpret_cast<const BYTE *>(dll.c_str()), DWORD((dll.size() + 1) * 2));
  RegCloseKey(k);
  // The spooler loads a monitor when it is added; one that does not load or
  // initialise is not installed.
  DWORD error = ERROR_SUCCESS;
  if (!loadMonitor(name, error)) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str());
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI DeleteMonitorW(LPWSTR pName, LPWSTR pEnvironment, LPWSTR pMonitorName) {
  if (!spoolerAnswers()) return FALSE;
  (void)pName;
  if (!pMonitorName || !*pMonitorName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (pEnvironment && *pEnvironment && !equalsNoCase(pEnvironment, currentEnvironment())) {
    SetLastError(ERROR_INVALID_ENVIRONMENT);
    return FALSE;
  }
  std::u16string key = monitorsKey() + u"\\" + pMonitorName;
  HKEY k;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) {
    SetLastError(ERROR_UNKNOWN_PRINT_MONITOR);
    return FALSE;
  }
  RegCloseKey(k);
  closeAbandonedPorts(pMonitorName);
  if (monitorInUse(pMonitorName)) {
    SetLastError(ERROR_PRINT_MONITOR_IN_USE);
    return FALSE;
  }
  std::shared_ptr<LoadedMonitor> m;
  {
    std::lock_guard<std::recursive_mutex> g(g_monLock);
    auto it = g_monitors.find(upper(pMonitorName));
    if (it != g_monitors.end()) {
      m = it->second;
      g_monitors.erase(it);
    }
  }
  // Shut down while its key is still there: a monitor may save its state.
  if (m && m->monitor2) unregisterPortMonitor(m->name);
  if (m) unloadMonitor(std::move(m));
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str());
  return TRUE;
}

// Monitors run in the spooler under the identity of the client that prints;
// winsim has one identity, so both switches succeed without changing it.  The
// token is a real handle so that the monitor's CloseHandle and the
// ImpersonatePrinterClient that consumes it behave.
HANDLE WINAPI RevertToPrinterSelf(VOID) { return CreateEventW(nullptr, TRUE, FALSE, nullptr); }

BOOL WINAPI ImpersonatePrinterClient(HANDLE hToken) {
  if (!hToken) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return CloseHandle(hToken);
}

}  // extern "C"

namespace winsim {

bool installMonitor(const std::u16string &monitorName, const std::string &hostDll) {
  std::u16string base = toUtf16(std::filesystem::path(hostDll).filename().string());
  std::u16string target = u"C:\\Windows\\system32\\" + base;
  std::string host = hostPath(target);
  std::error_code ec;
  if (host.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  std::filesystem::create_directories(std::filesystem::path(host).parent_path(), ec);
  if (!std::filesystem::copy_file(hostDll, host, std::filesystem::copy_options::overwrite_existing, ec)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  MONITOR_INFO_2W mi{};
  std::u16string name = monitorName, env = spool::currentEnvironment();
  mi.pName = name.data();
  mi.pEnvironment = env.data();
  mi.pDLLName = base.data();
  return AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&mi)) != FALSE;
}

}  // namespace winsim
