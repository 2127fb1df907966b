// The spooler's shared state, and printers and drivers as the registry keeps
// them.
#include <algorithm>
#include <cstring>
#include <filesystem>

#include <set>

#include "core/internal.h"
#include "spoolss/async_notify.h"
#include "spoolss/spooler_state.h"

namespace winsim::spool {

std::recursive_mutex &g_lock = *new std::recursive_mutex;  // kept past static destruction, as the queues
std::map<DWORD, Job> g_jobs;
std::vector<DWORD> g_jobOrder;
DWORD g_nextJob = 1;
std::map<std::u16string, PortResponder> g_responders;  // by upper-case port name
// Ports stay open from their first use until the machine is reset, as the
// spooler keeps a port open for its printers.
std::map<std::u16string, OpenPort> g_ports;  // by upper-case port name
// The queues and their condition outlive the process's static destructors:
// a despooling thread may still wait on them when the process ends.
std::map<std::u16string, std::shared_ptr<PrinterQueue>> &g_queues =
    *new std::map<std::u16string, std::shared_ptr<PrinterQueue>>;           // by upper-case printer name
std::condition_variable_any &g_queueCv = *new std::condition_variable_any;  // queue changes, waited on with g_lock

// The handle's object stays while the handle is open; callers that may race
// a ClosePrinter of the same handle are the caller's own fault, as on Windows.
PrinterHandle *handleOf(HANDLE h) {
  KObject *o = lookup(h, Kind::Printer);
  if (!o) return nullptr;
  release(o);
  return static_cast<PrinterHandle *>(o);
}

// The job a handle's open document writes to, or NULL with
// ERROR_SPL_NO_STARTDOC.  Called with the spooler lock held.
Job *openJobOf(PrinterHandle *h) {
  auto it = h->jobId ? g_jobs.find(h->jobId) : g_jobs.end();
  if (it == g_jobs.end()) {
    SetLastError(ERROR_SPL_NO_STARTDOC);
    return nullptr;
  }
  return &it->second;
}

// ------------------------------------------------------------ registry helpers
std::u16string readString(HKEY k, const char16_t *name) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(k, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ))
    return {};
  std::u16string v(size / 2 + 1, u'\0');
  if (RegQueryValueExW(k, name, nullptr, &type, reinterpret_cast<BYTE *>(v.data()), &size) != ERROR_SUCCESS) return {};
  v.resize(size / 2);
  while (!v.empty() && v.back() == 0 && type != REG_MULTI_SZ) v.pop_back();
  return v;
}

std::vector<std::u16string> readMultiString(HKEY k, const char16_t *name) {
  std::u16string all = readString(k, name);
  std::vector<std::u16string> out;
  for (size_t at = 0; at < all.size();) {
    size_t end = all.find(u'\0', at);
    if (end == std::u16string::npos) end = all.size();
    if (end > at) out.push_back(all.substr(at, end - at));
    at = end + 1;
  }
  return out;
}

void writeMultiString(HKEY k, const char16_t *name, const std::vector<std::u16string> &items) {
  std::u16string all;
  for (const auto &item : items)
    if (!item.empty()) all += item + u'\0';
  all += u'\0';
  RegSetValueExW(k, name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE *>(all.data()), DWORD(all.size() * 2));
}

std::vector<BYTE> readBinary(HKEY k, const char16_t *name) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(k, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || size == 0) return {};
  std::vector<BYTE> v(size);
  if (RegQueryValueExW(k, name, nullptr, &type, v.data(), &size) != ERROR_SUCCESS) return {};
  v.resize(size);
  return v;
}

DWORD readDword(HKEY k, const char16_t *name, DWORD def) {
  DWORD type = 0, v = 0, size = 4;
  if (RegQueryValueExW(k, name, nullptr, &type, reinterpret_cast<BYTE *>(&v), &size) != ERROR_SUCCESS ||
      type != REG_DWORD)
    return def;
  return v;
}

void writeString(HKEY k, const char16_t *name, const std::u16string &v, DWORD type) {
  RegSetValueExW(k, name, 0, type, reinterpret_cast<const BYTE *>(v.c_str()), DWORD((v.size() + 1) * 2));
}

void writeDword(HKEY k, const char16_t *name, DWORD v) {
  RegSetValueExW(k, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&v), 4);
}

HKEY openPrinterKey(const std::u16string &name, bool create) {
  HKEY k = nullptr;
  std::u16string path = printersKey() + u"\\" + name;
  LSTATUS st =
      create ? RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr)
             : RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &k);
  return st == ERROR_SUCCESS ? k : nullptr;
}

bool printerExists(const std::u16string &name) {
  if (name.empty() || name.find(u'\\') != std::u16string::npos) return false;
  HKEY k = openPrinterKey(name);
  if (!k) return false;
  RegCloseKey(k);
  return true;
}

std::vector<std::u16string> subkeysOf(const std::u16string &path) {
  std::vector<std::u16string> out;
  HKEY k;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return out;
  for (DWORD i = 0;; ++i) {
    WCHAR name[256];
    DWORD len = 256;
    if (RegEnumKeyExW(k, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    out.emplace_back(name, len);
  }
  RegCloseKey(k);
  return out;
}

std::vector<std::u16string> printerNames() { return subkeysOf(printersKey()); }

std::u16string normEnvironment(LPCWSTR env) {
  std::u16string e = fromW(env);
  if (e.empty()) return currentEnvironment();
  if (equalsNoCase(e, u"Windows x64")) return u"Windows x64";
  if (equalsNoCase(e, u"Windows NT x86")) return u"Windows NT x86";
  return {};
}

std::u16string baseNameOf(const std::u16string &p) {
  size_t s = p.find_last_of(u"\\/");
  return s == std::u16string::npos ? p : p.substr(s + 1);
}

bool readDriver(const std::u16string &name, const std::u16string &env, DriverInfo &d) {
  HKEY k;
  std::u16string path = driversKey(env) + u"\\" + name;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
  std::u16string dir = driverDirectory(env) + u"\\3\\";
  auto full = [&](const std::u16string &f) { return f.empty() ? f : dir + f; };
  d.name = name;
  d.environment = env;
  d.driverPath = full(readString(k, u"Driver"));
  d.dataFile = full(readString(k, u"Data File"));
  d.configFile = full(readString(k, u"Configuration File"));
  d.helpFile = full(readString(k, u"Help File"));
  d.monitor = readString(k, u"Monitor");
  d.datatype = readString(k, u"Datatype");
  d.dependentFiles = readMultiString(k, u"Dependent Files");
  d.previousNames = readMultiString(k, u"Previous Names");
  RegCloseKey(k);
  return true;
}

// ------------------------------------------------------------ drivers

std::vector<std::u16string> knownEnvironments() {
  std::u16string here = currentEnvironment();
  return {here, here == u"Windows x64" ? u"Windows NT x86" : u"Windows x64"};
}

std::vector<std::u16string> driverNames(const std::u16string &env) { return subkeysOf(driversKey(env)); }

std::u16string versionDirectory(const std::u16string &env) { return driverDirectory(env) + u"\\3"; }

std::vector<std::u16string> driverFileNames(const DriverInfo &d) {
  std::vector<std::u16string> out;
  auto add = [&](const std::u16string &f) {
    std::u16string base = baseNameOf(f);
    if (base.empty()) return;
    for (const auto &o : out)
      if (equalsNoCase(o, base)) return;
    out.push_back(base);
  };
  for (const auto *f : {&d.driverPath, &d.dataFile, &d.configFile, &d.helpFile}) add(*f);
  for (const auto &f : d.dependentFiles) add(f);
  return out;
}

std::vector<std::u16string> printersUsingDriver(const std::u16string &driver) {
  std::vector<std::u16string> out;
  for (const auto &n : printerNames()) {
    HKEY k = openPrinterKey(n);
    if (!k) continue;
    if (equalsNoCase(readString(k, u"Printer Driver"), driver)) out.push_back(n);
    RegCloseKey(k);
  }
  return out;
}

// ------------------------------------------------------------ printer deletion

namespace {

std::set<std::u16string> &pendingDeletion() {
  static auto &pending = *new std::set<std::u16string>;  // upper-case names, with g_lock
  return pending;
}

void forgetPendingDeletions() {
  std::lock_guard<std::recursive_mutex> g(g_lock);
  pendingDeletion().clear();
}
const ResetStep kPendingDeletions(kResetSpooler, forgetPendingDeletions);

}  // namespace

bool printerPendingDeletion(const std::u16string &printer) {
  std::lock_guard<std::recursive_mutex> g(g_lock);
  return pendingDeletion().count(upper(printer)) != 0;
}

void markPendingDeletion(const std::u16string &printer) {
  std::lock_guard<std::recursive_mutex> g(g_lock);
  pendingDeletion().insert(upper(printer));
  HKEY k = openPrinterKey(printer);
  if (!k) return;
  writeDword(k, u"Status", readDword(k, u"Status") | PRINTER_STATUS_PENDING_DELETION);
  RegCloseKey(k);
}

DWORD outstandingJobs(const std::u16string &printer) {
  DWORD n = 0;
  for (auto &kv : g_jobs)
    if (equalsNoCase(kv.second.rec.printer, printer) && !kv.second.rec.despooled) ++n;
  return n;
}

void deletePrinterNow(const std::u16string &printer) {
  {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    pendingDeletion().erase(upper(printer));
  }
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, (printersKey() + u"\\" + printer).c_str());
  HKEY k;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kPerUserDevModeKey, 0, KEY_ALL_ACCESS, &k) == ERROR_SUCCESS) {
    RegDeleteValueW(k, printer.c_str());
    RegCloseKey(k);
  }
  asyncNotifyPrinterDeleted(printer);
}

void jobLeftQueue(const std::u16string &printer) {
  if (!pendingDeletion().count(upper(printer)) || outstandingJobs(printer)) return;
  deletePrinterNow(printer);
}

}  // namespace winsim::spool

std::u16string winsim::spool::printerMonitorName(const std::u16string &printer) {
  HKEY k = openPrinterKey(printer);
  if (!k) return {};
  std::u16string driverName = readString(k, u"Printer Driver");
  RegCloseKey(k);
  DriverInfo d;
  if (driverName.empty() || !readDriver(driverName, currentEnvironment(), d)) return {};
  return d.monitor;
}
