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

#include "core/internal.h"
#include "spoolss/spoolss.h"

namespace winsim::spool {

namespace {

struct LoadedMonitor {
  std::u16string name;
  HMODULE module = nullptr;
  MONITOR table{};
};

std::recursive_mutex g_monLock;
std::map<std::u16string, std::shared_ptr<LoadedMonitor>> g_monitors;  // by upper-case name

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
  using InitEx = BOOL(WINAPI *)(LPWSTR, LPMONITOR);
  auto init = reinterpret_cast<InitEx>(reinterpret_cast<void *>(GetProcAddress(mod, "InitializeMonitorEx")));
  auto m = std::make_shared<LoadedMonitor>();
  m->name = name;
  m->module = mod;
  std::u16string root = monitorsKey() + u"\\" + name;
  SetLastError(ERROR_SUCCESS);
  if (!init || !init(root.data(), &m->table)) {
    error = !init ? ERROR_PROC_NOT_FOUND : GetLastError() ? GetLastError() : ERROR_GEN_FAILURE;
    FreeLibrary(mod);
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

class MonitorPort : public Port {
  static constexpr DWORD kMaxReply = 1u << 20;

 public:
  MonitorPort(std::shared_ptr<LoadedMonitor> language, std::u16string portName, const MONITOR &portMonitor)
      : language_(std::move(language)), portName_(std::move(portName)), portMonitor_(portMonitor) {}

  // Opens the port through the language monitor (which opens the port
  // monitor's port) or straight on the port monitor.
  BOOL open(const std::u16string &printer) {
    std::u16string port = portName_, name = printer;
    if (language_) {
      if (!language_->table.pfnOpenPortEx) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
      }
      return language_->table.pfnOpenPortEx(port.data(), name.data(), &handle_, &portMonitor_);
    }
    return portMonitor_.pfnOpenPort(port.data(), &handle_);
  }

  ~MonitorPort() override {
    if (handle_) top().pfnClosePort(handle_);
    if (dataHandle_) portMonitor_.pfnClosePort(dataHandle_);
  }

  BOOL startDoc(const std::u16string &printer, DWORD jobId, const std::u16string &document) override {
    std::u16string name = printer, doc = document, type = u"RAW";
    DOC_INFO_1W di{doc.data(), nullptr, type.data()};
    if (!top().pfnStartDocPort) return missing();
    return top().pfnStartDocPort(handle_, name.data(), jobId, 1, reinterpret_cast<LPBYTE>(&di));
  }
  BOOL write(const BYTE *data, DWORD size, DWORD *written) override {
    if (!top().pfnWritePort) return missing();
    return top().pfnWritePort(handle_, const_cast<LPBYTE>(data), size, written);
  }
  BOOL endDoc() override {
    if (!top().pfnEndDocPort) return missing();
    return top().pfnEndDocPort(handle_);
  }

  BOOL getPrinterDataFromPort(const std::u16string &valueName, DWORD outSize, std::vector<BYTE> &reply, DWORD &needed,
                              DWORD &error) override {
    // The language monitor answers when it has the entry, else the port
    // monitor does, on a handle of its own when a language monitor holds
    // the port.
    decltype(MONITOR::pfnGetPrinterDataFromPort) fn = nullptr;
    HANDLE h = nullptr;
    if (language_ && language_->table.pfnGetPrinterDataFromPort) {
      fn = language_->table.pfnGetPrinterDataFromPort;
      h = handle_;
    } else {
      fn = portMonitor_.pfnGetPrinterDataFromPort;
      h = language_ ? dataHandle() : handle_;
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
  const MONITOR &top() const { return language_ ? language_->table : portMonitor_; }
  static BOOL missing() {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  HANDLE dataHandle() {
    std::lock_guard<std::mutex> g(dataLock_);
    if (!dataHandle_) {
      std::u16string port = portName_;
      if (!portMonitor_.pfnOpenPort(port.data(), &dataHandle_)) dataHandle_ = nullptr;
    }
    return dataHandle_;
  }

  std::shared_ptr<LoadedMonitor> language_;
  std::u16string portName_;
  MONITOR portMonitor_;  // the copy handed to the language monitor's OpenPortEx
  HANDLE handle_ = nullptr;
  std::mutex dataLock_;
  HANDLE dataHandle_ = nullptr;
};

}  // namespace

std::unique_ptr<Port> makeFailedPort(DWORD error) { return std::make_unique<FailedPort>(error); }

std::unique_ptr<Port> openMonitorPort(const std::u16string &printer, const std::u16string &portName,
                                      const MONITOR &portMonitor) {
  if (!portMonitor.pfnOpenPort || !portMonitor.pfnClosePort) return std::make_unique<FailedPort>(ERROR_NOT_SUPPORTED);
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
  auto port = std::make_unique<MonitorPort>(language, portName, portMonitor);
  if (!port->open(printer)) {
    DWORD error = GetLastError() ? GetLastError() : ERROR_GEN_FAILURE;
    port.reset();
    return std::make_unique<FailedPort>(error);
  }
  return port;
}

void resetMonitors() {
  std::map<std::u16string, std::shared_ptr<LoadedMonitor>> monitors;
  {
    std::lock_guard<std::recursive_mutex> g(g_monLock);
    monitors.swap(g_monitors);
  }
  for (auto &kv : monitors) FreeLibrary(kv.second->module);
}

}  // namespace winsim::spool

using namespace winsim;
using namespace winsim::spool;

extern "C" {

BOOL WINAPI AddMonitorW(LPWSTR pName, DWORD Level, LPBYTE pMonitors) {
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
  if (!portsUsingMonitor(pMonitorName).empty()) {
    SetLastError(ERROR_PRINT_MONITOR_IN_USE);
    return FALSE;
  }
  if (RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str()) != ERROR_SUCCESS) {
    SetLastError(ERROR_UNKNOWN_PRINT_MONITOR);
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
  if (m) FreeLibrary(m->module);
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
