// The spooler: printers and drivers (kept in the registry where Windows keeps
// them), printer handles, printer data, and jobs.  A job is spooled in memory
// while it is written and handed to the printer's port at EndDocPrinter.
// Printer-data values that the printer does not hold are asked of the port
// (GetPrinterDataFromPort).
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <unordered_set>

#include <winsim/testing.h>

#include "internal.h"
#include "spooler_internal.h"

namespace winsim::spool {

namespace {

constexpr uint32_t kHandleMagic = 0x53504F4C;  // "SPOL"

struct Job {
  JobRecord rec;
  std::u16string outputFile;
};

struct PrinterHandle {
  uint32_t magic = kHandleMagic;
  std::u16string name;  // empty: the local print server
  ACCESS_MASK access = 0;
  DWORD jobId = 0;      // the document started on this handle
  bool pageOpen = false;
};

std::recursive_mutex g_lock;
std::unordered_set<PrinterHandle *> g_handles;
std::map<DWORD, Job> g_jobs;
std::vector<DWORD> g_jobOrder;
DWORD g_nextJob = 1;
std::map<std::u16string, PortResponder> g_responders;  // by upper-case port name
std::vector<PortFactory> g_factories;

PrinterHandle *handleOf(HANDLE h) {
  auto *p = static_cast<PrinterHandle *>(h);
  std::lock_guard<std::recursive_mutex> g(g_lock);
  return g_handles.count(p) ? p : nullptr;
}

// ------------------------------------------------------------ registry helpers
std::u16string readString(HKEY k, const char16_t *name) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(k, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ))
    return {};
  std::u16string v(size / 2 + 1, u'\0');
  if (RegQueryValueExW(k, name, nullptr, &type, reinterpret_cast<BYTE *>(v.data()), &size) != ERROR_SUCCESS) return {};
  v.resize(size / 2);
  while (!v.empty() && v.back() == 0 && type != REG_MULTI_SZ) v.pop_back();
  return v;
}

std::vector<BYTE> readBinary(HKEY k, const char16_t *name) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(k, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || size == 0) return {};
  std::vector<BYTE> v(size);
  if (RegQueryValueExW(k, name, nullptr, &type, v.data(), &size) != ERROR_SUCCESS) return {};
  v.resize(size);
  return v;
}

DWORD readDword(HKEY k, const char16_t *name, DWORD def = 0) {
  DWORD type = 0, v = 0, size = 4;
  if (RegQueryValueExW(k, name, nullptr, &type, reinterpret_cast<BYTE *>(&v), &size) != ERROR_SUCCESS || type != REG_DWORD)
    return def;
  return v;
}

void writeString(HKEY k, const char16_t *name, const std::u16string &v, DWORD type = REG_SZ) {
  RegSetValueExW(k, name, 0, type, reinterpret_cast<const BYTE *>(v.c_str()), DWORD((v.size() + 1) * 2));
}

void writeDword(HKEY k, const char16_t *name, DWORD v) {
  RegSetValueExW(k, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&v), 4);
}

HKEY openPrinterKey(const std::u16string &name, bool create = false) {
  HKEY k = nullptr;
  std::u16string path = printersKey() + u"\\" + name;
  LSTATUS st = create ? RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr)
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

std::vector<std::u16string> printerNames() {
  std::vector<std::u16string> out;
  HKEY k;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, printersKey().c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return out;
  for (DWORD i = 0;; ++i) {
    WCHAR name[256];
    DWORD len = 256;
    if (RegEnumKeyExW(k, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    out.emplace_back(name, len);
  }
  RegCloseKey(k);
  return out;
}

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

// ------------------------------------------------------------ structure packing
// Strings and DEVMODEs go behind the fixed part of a returned structure.
struct Packer {
  std::vector<BYTE> extra;
  size_t fixed;
  explicit Packer(size_t fixedSize) : fixed((fixedSize + 7) & ~size_t(7)) {}
  size_t addString(const std::u16string &s) {
    size_t off = fixed + extra.size();
    const BYTE *b = reinterpret_cast<const BYTE *>(s.c_str());
    extra.insert(extra.end(), b, b + (s.size() + 1) * 2);
    return off;
  }
  size_t addBlob(const std::vector<BYTE> &v) {
    while (extra.size() % 8) extra.push_back(0);
    size_t off = fixed + extra.size();
    extra.insert(extra.end(), v.begin(), v.end());
    return off;
  }
  size_t total() const { return fixed + extra.size(); }
};

constexpr size_t kNone = SIZE_MAX;

template <typename T>
BOOL emit(const T &fixedPart, Packer &pk, const std::vector<std::pair<size_t, size_t>> &ptrFixups, LPBYTE out,
          DWORD cb, LPDWORD needed) {
  DWORD total = DWORD(pk.total());
  if (needed) *needed = total;
  if (!out || cb < total) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memset(out, 0, pk.fixed);
  std::memcpy(out, &fixedPart, sizeof(T));
  std::memcpy(out + pk.fixed, pk.extra.data(), pk.extra.size());
  // Each fixup: offset of a pointer field in T, offset of its target (or none).
  for (auto [field, target] : ptrFixups) {
    void *p = target == kNone ? nullptr : out + target;
    std::memcpy(out + field, &p, sizeof(p));
  }
  return TRUE;
}

// ------------------------------------------------------------ built-in ports

class FilePort : public Port {
 public:
  explicit FilePort(std::u16string path) : path_(std::move(path)) {}
  BOOL startDoc(const std::u16string &, DWORD, const std::u16string &) override {
    file_ = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file_ != INVALID_HANDLE_VALUE;
  }
  BOOL write(const BYTE *data, DWORD size, DWORD *written) override {
    return WriteFile(file_, data, size, written, nullptr);
  }
  BOOL endDoc() override {
    BOOL ok = CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
    return ok;
  }
  BOOL getPrinterDataFromPort(const std::u16string &, std::vector<BYTE> &, DWORD &error) override {
    error = ERROR_NOT_SUPPORTED;
    return FALSE;
  }

 private:
  std::u16string path_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

// A port without a device behind it: the job is kept by the spooler only;
// printer-data questions go to the test's responder when there is one.
class RecordingPort : public Port {
 public:
  explicit RecordingPort(std::u16string name) : name_(std::move(name)) {}
  BOOL startDoc(const std::u16string &, DWORD, const std::u16string &) override { return TRUE; }
  BOOL write(const BYTE *, DWORD size, DWORD *written) override {
    if (written) *written = size;
    return TRUE;
  }
  BOOL endDoc() override { return TRUE; }
  BOOL getPrinterDataFromPort(const std::u16string &valueName, std::vector<BYTE> &reply, DWORD &error) override {
    PortResponder r;
    {
      std::lock_guard<std::recursive_mutex> g(g_lock);
      auto it = g_responders.find(upper(name_));
      if (it != g_responders.end()) r = it->second;
    }
    if (!r) {
      error = ERROR_FILE_NOT_FOUND;
      return FALSE;
    }
    std::vector<uint8_t> out;
    if (!r(valueName, out)) {
      error = ERROR_FILE_NOT_FOUND;
      return FALSE;
    }
    reply.assign(out.begin(), out.end());
    return TRUE;
  }

 private:
  std::u16string name_;
};

bool isPathPort(const std::u16string &name) {
  return name.size() > 2 && ((name[1] == u':' && (name[2] == u'\\' || name[2] == u'/')) || name.rfind(u"\\\\", 0) == 0);
}

std::unique_ptr<Port> makePort(const std::u16string &portName, const std::u16string &outputFile) {
  if (!outputFile.empty()) return std::make_unique<FilePort>(outputFile);
  std::vector<PortFactory> factories;
  {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    factories = g_factories;
  }
  for (auto &f : factories)
    if (auto p = f(portName)) return p;
  if (isPathPort(portName)) return std::make_unique<FilePort>(portName);
  return std::make_unique<RecordingPort>(portName);
}

std::u16string portOf(const std::u16string &printer) {
  HKEY k = openPrinterKey(printer);
  if (!k) return {};
  std::u16string p = readString(k, u"Port");
  RegCloseKey(k);
  return p;
}

// Hands a finished job to its port.
void despool(Job &job) {
  std::unique_ptr<Port> port = makePort(job.rec.port, job.outputFile);
  DWORD done = 0;
  bool ok = port->startDoc(job.rec.printer, job.rec.id, job.rec.document);
  // Written in blocks, as the spooler hands spool data to a port.
  const size_t kBlock = 0x10000;
  for (size_t off = 0; ok && off < job.rec.bytes.size(); off += done) {
    DWORD n = DWORD(std::min(kBlock, job.rec.bytes.size() - off));
    done = 0;
    ok = port->write(job.rec.bytes.data() + off, n, &done) && done > 0;
  }
  if (ok) ok = port->endDoc();
  else port->endDoc();
  if (!ok) job.rec.aborted = true;
}

}  // namespace

std::u16string printersKey() { return u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers"; }

std::u16string currentEnvironment() { return osVersion().x64 ? u"Windows x64" : u"Windows NT x86"; }

std::u16string driversKey(const std::u16string &environment) {
  return u"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\" + environment + u"\\Drivers\\Version-3";
}

std::u16string driverDirectory(const std::u16string &environment) {
  return environment == u"Windows NT x86" ? u"C:\\Windows\\system32\\spool\\DRIVERS\\W32X86"
                                          : u"C:\\Windows\\system32\\spool\\DRIVERS\\x64";
}

void addPortFactory(PortFactory f) {
  std::lock_guard<std::recursive_mutex> g(g_lock);
  g_factories.push_back(std::move(f));
}

void resetSpooler() {
  std::lock_guard<std::recursive_mutex> g(g_lock);
  for (PrinterHandle *h : g_handles) {
    h->magic = 0;
    delete h;
  }
  g_handles.clear();
  g_jobs.clear();
  g_jobOrder.clear();
  g_nextJob = 1;
  g_responders.clear();
}

}  // namespace winsim::spool

using namespace winsim;
using namespace winsim::spool;

namespace {

struct DriverInfo {
  std::u16string name, environment, driverPath, dataFile, configFile, helpFile, monitor, datatype;
  std::u16string dependentFiles;  // multi-string
};

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
  d.dependentFiles = readString(k, u"Dependent Files");
  RegCloseKey(k);
  return true;
}

// Puts a driver file into the driver directory; returns its file name.
bool placeDriverFile(LPCWSTR given, const std::u16string &env, std::u16string &fileName) {
  fileName.clear();
  std::u16string g = fromW(given);
  if (g.empty()) return true;
  std::u16string base = baseNameOf(g);
  std::u16string target = driverDirectory(env) + u"\\3\\" + base;
  if (base.size() != g.size() && !equalsNoCase(g, target)) {
    if (!CopyFileW(g.c_str(), target.c_str(), FALSE)) return false;
  } else if (GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  fileName = base;
  return true;
}

BOOL addDriver(DWORD level, LPBYTE info) {
  if (level != 2 && level != 3) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  if (!info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto *d2 = reinterpret_cast<DRIVER_INFO_2W *>(info);
  auto *d3 = level == 3 ? reinterpret_cast<DRIVER_INFO_3W *>(info) : nullptr;
  std::u16string env = normEnvironment(d2->pEnvironment);
  if (env.empty()) {
    SetLastError(ERROR_INVALID_ENVIRONMENT);
    return FALSE;
  }
  if (!d2->pName || !*d2->pName || !d2->pDriverPath || !*d2->pDriverPath) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::u16string drv, data, config, help;
  if (!placeDriverFile(d2->pDriverPath, env, drv) || !placeDriverFile(d2->pDataFile, env, data) ||
      !placeDriverFile(d2->pConfigFile, env, config) || (d3 && !placeDriverFile(d3->pHelpFile, env, help)))
    return FALSE;
  HKEY k;
  std::u16string path = driversKey(env) + u"\\" + d2->pName;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) != ERROR_SUCCESS) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  writeString(k, u"Driver", drv);
  writeString(k, u"Data File", data);
  writeString(k, u"Configuration File", config);
  writeDword(k, u"Version", 3);
  if (d3) {
    writeString(k, u"Help File", help);
    writeString(k, u"Monitor", fromW(d3->pMonitorName));
    writeString(k, u"Datatype", fromW(d3->pDefaultDataType));
    std::u16string deps;
    if (d3->pDependentFiles)
      for (LPCWSTR p = d3->pDependentFiles; *p; p += lstrlenW(p) + 1) deps += std::u16string(p) + u'\0';
    deps += u'\0';
    RegSetValueExW(k, u"Dependent Files", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE *>(deps.data()),
                   DWORD(deps.size() * 2));
  }
  RegCloseKey(k);
  return TRUE;
}

HANDLE newHandle(const std::u16string &name, ACCESS_MASK access) {
  auto *h = new PrinterHandle;
  h->name = name;
  h->access = access;
  std::lock_guard<std::recursive_mutex> g(g_lock);
  g_handles.insert(h);
  return h;
}

std::vector<BYTE> defaultDevMode(const std::u16string &printer) {
  HKEY k = openPrinterKey(printer);
  if (!k) return {};
  std::vector<BYTE> dm = readBinary(k, u"Default DevMode");
  RegCloseKey(k);
  if (dm.size() < offsetof(DEVMODEW, dmFields)) return {};
  // A stored DEVMODE is only as long as it says it is.
  auto *d = reinterpret_cast<DEVMODEW *>(dm.data());
  size_t want = size_t(d->dmSize) + d->dmDriverExtra;
  if (want > dm.size() || d->dmSize < offsetof(DEVMODEW, dmFields)) return {};
  dm.resize(want);
  return dm;
}

BOOL getPrinterLevel(PrinterHandle *h, DWORD level, LPBYTE out, DWORD cb, LPDWORD needed) {
  HKEY k = openPrinterKey(h->name);
  if (!k) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  std::u16string port = readString(k, u"Port"), driver = readString(k, u"Printer Driver"),
                 comment = readString(k, u"Description"), location = readString(k, u"Location"),
                 share = readString(k, u"Share Name"), proc = readString(k, u"Print Processor"),
                 datatype = readString(k, u"Datatype"), params = readString(k, u"Parameters"),
                 sep = readString(k, u"Separator File");
  DWORD attributes = readDword(k, u"Attributes", PRINTER_ATTRIBUTE_LOCAL), priority = readDword(k, u"Priority", 1),
        defPriority = readDword(k, u"Default Priority"), start = readDword(k, u"StartTime"),
        until = readDword(k, u"UntilTime"), status = readDword(k, u"Status");
  RegCloseKey(k);
  std::vector<BYTE> dm = defaultDevMode(h->name);
  DWORD jobs = 0;
  {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    for (auto &kv : g_jobs)
      if (equalsNoCase(kv.second.rec.printer, h->name) && !kv.second.rec.completed && !kv.second.rec.aborted) ++jobs;
  }
  switch (level) {
    case 1: {
      PRINTER_INFO_1W pi{};
      Packer pk(sizeof(pi));
      pi.Flags = 0x00800000;  // PRINTER_ENUM_ICON8: a printer
      size_t desc = pk.addString(h->name + u"," + driver + u"," + location);
      size_t name = pk.addString(h->name);
      size_t com = pk.addString(comment);
      return emit(pi, pk,
                  {{offsetof(PRINTER_INFO_1W, pDescription), desc},
                   {offsetof(PRINTER_INFO_1W, pName), name},
                   {offsetof(PRINTER_INFO_1W, pComment), com}},
                  out, cb, needed);
    }
    case 2: {
      PRINTER_INFO_2W pi{};
      Packer pk(sizeof(pi));
      pi.Attributes = attributes;
      pi.Priority = priority;
      pi.DefaultPriority = defPriority;
      pi.StartTime = start;
      pi.UntilTime = until;
      pi.Status = status;
      pi.cJobs = jobs;
      size_t dmOff = dm.empty() ? kNone : pk.addBlob(dm);
      std::vector<std::pair<size_t, size_t>> fix = {
          {offsetof(PRINTER_INFO_2W, pServerName), kNone},
          {offsetof(PRINTER_INFO_2W, pPrinterName), pk.addString(h->name)},
          {offsetof(PRINTER_INFO_2W, pShareName), pk.addString(share)},
          {offsetof(PRINTER_INFO_2W, pPortName), pk.addString(port)},
          {offsetof(PRINTER_INFO_2W, pDriverName), pk.addString(driver)},
          {offsetof(PRINTER_INFO_2W, pComment), pk.addString(comment)},
          {offsetof(PRINTER_INFO_2W, pLocation), pk.addString(location)},
          {offsetof(PRINTER_INFO_2W, pDevMode), dmOff},
          {offsetof(PRINTER_INFO_2W, pSepFile), pk.addString(sep)},
          {offsetof(PRINTER_INFO_2W, pPrintProcessor), pk.addString(proc)},
          {offsetof(PRINTER_INFO_2W, pDatatype), pk.addString(datatype)},
          {offsetof(PRINTER_INFO_2W, pParameters), pk.addString(params)},
          {offsetof(PRINTER_INFO_2W, pSecurityDescriptor), kNone}};
      return emit(pi, pk, fix, out, cb, needed);
    }
    case 4: {
      PRINTER_INFO_4W pi{};
      Packer pk(sizeof(pi));
      pi.Attributes = attributes;
      size_t name = pk.addString(h->name);
      return emit(pi, pk, {{offsetof(PRINTER_INFO_4W, pPrinterName), name}, {offsetof(PRINTER_INFO_4W, pServerName), kNone}},
                  out, cb, needed);
    }
    case 5: {
      PRINTER_INFO_5W pi{};
      Packer pk(sizeof(pi));
      pi.Attributes = attributes;
      pi.DeviceNotSelectedTimeout = 15000;
      pi.TransmissionRetryTimeout = 45000;
      size_t name = pk.addString(h->name), p = pk.addString(port);
      return emit(pi, pk, {{offsetof(PRINTER_INFO_5W, pPrinterName), name}, {offsetof(PRINTER_INFO_5W, pPortName), p}},
                  out, cb, needed);
    }
    case 8:
    case 9: {
      PRINTER_INFO_8W pi{};
      Packer pk(sizeof(pi));
      size_t dmOff = dm.empty() ? kNone : pk.addBlob(dm);
      return emit(pi, pk, {{offsetof(PRINTER_INFO_8W, pDevMode), dmOff}}, out, cb, needed);
    }
    default:
      SetLastError(ERROR_INVALID_LEVEL);
      return FALSE;
  }
}

void storeDevMode(HKEY k, const DEVMODEW *dm) {
  if (!dm) {
    RegDeleteValueW(k, u"Default DevMode");
    return;
  }
  DWORD size = DWORD(dm->dmSize) + dm->dmDriverExtra;
  RegSetValueExW(k, u"Default DevMode", 0, REG_BINARY, reinterpret_cast<const BYTE *>(dm), size);
}

// The printer-data value of a key under the printer's key.
DWORD queryData(PrinterHandle *h, const std::u16string &key, LPCWSTR value, LPDWORD type, LPBYTE data, DWORD size,
                LPDWORD needed, bool &absent) {
  absent = false;
  HKEY pk = openPrinterKey(h->name);
  if (!pk) return ERROR_INVALID_HANDLE;
  HKEY k;
  LSTATUS st = RegOpenKeyExW(pk, key.c_str(), 0, KEY_READ, &k);
  RegCloseKey(pk);
  if (st != ERROR_SUCCESS) {
    absent = true;
    return ERROR_FILE_NOT_FOUND;
  }
  DWORD t = 0, n = 0;
  st = RegQueryValueExW(k, value, nullptr, &t, nullptr, &n);
  if (st != ERROR_SUCCESS) {
    RegCloseKey(k);
    absent = true;
    return ERROR_FILE_NOT_FOUND;
  }
  if (needed) *needed = n;
  if (type) *type = t;
  if (!data || size < n) {
    RegCloseKey(k);
    return ERROR_MORE_DATA;
  }
  DWORD got = size;
  st = RegQueryValueExW(k, value, nullptr, &t, data, &got);
  RegCloseKey(k);
  return DWORD(st);
}

DWORD setData(PrinterHandle *h, const std::u16string &key, LPCWSTR value, DWORD type, LPBYTE data, DWORD size) {
  HKEY pk = openPrinterKey(h->name);
  if (!pk) return ERROR_INVALID_HANDLE;
  HKEY k;
  LSTATUS st = RegCreateKeyExW(pk, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr);
  RegCloseKey(pk);
  if (st != ERROR_SUCCESS) return DWORD(st);
  st = RegSetValueExW(k, value, 0, type, data, size);
  RegCloseKey(k);
  return DWORD(st);
}

}  // namespace

extern "C" {

// ------------------------------------------------------------ printers

BOOL WINAPI OpenPrinter2W(LPCWSTR pPrinterName, LPHANDLE phPrinter, PPRINTER_DEFAULTSW pDefault,
                          PPRINTER_OPTIONSW pOptions) {
  (void)pOptions;
  if (!phPrinter) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *phPrinter = nullptr;
  std::u16string name = fromW(pPrinterName);
  ACCESS_MASK access = pDefault ? pDefault->DesiredAccess : PRINTER_ACCESS_USE;
  if (name.empty()) {
    *phPrinter = newHandle(u"", access);
    return TRUE;
  }
  // "\\\\machine\\printer" names the local machine's printers too.
  if (name.rfind(u"\\\\", 0) == 0) {
    size_t s = name.find(u'\\', 2);
    if (s != std::u16string::npos) {
      WCHAR comp[64];
      DWORD n = 64;
      GetComputerNameW(comp, &n);
      if (equalsNoCase(name.substr(2, s - 2), comp)) name = name.substr(s + 1);
    }
  }
  if (!printerExists(name)) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  // Use the printer's own spelling of its name.
  for (const auto &n : printerNames())
    if (equalsNoCase(n, name)) name = n;
  *phPrinter = newHandle(name, access);
  return TRUE;
}

BOOL WINAPI OpenPrinterW(LPWSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSW pDefault) {
  return OpenPrinter2W(pPrinterName, phPrinter, pDefault, nullptr);
}

BOOL WINAPI ClosePrinter(HANDLE hPrinter) {
  PrinterHandle *h = handleOf(hPrinter);
  if (!h) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (h->jobId) {
    // A document left open is ended as the spooler does when the handle
    // goes away.
    EndDocPrinter(hPrinter);
  }
  std::lock_guard<std::recursive_mutex> g(g_lock);
  g_handles.erase(h);
  h->magic = 0;
  delete h;
  return TRUE;
}

BOOL WINAPI GetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf, LPDWORD pcbNeeded) {
  PrinterHandle *h = handleOf(hPrinter);
  if (!h || h->name.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return getPrinterLevel(h, Level, pPrinter, cbBuf, pcbNeeded);
}

BOOL WINAPI SetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD Command) {
  PrinterHandle *h = handleOf(hPrinter);
  if (!h || h->name.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  HKEY k = openPrinterKey(h->name);
  if (!k) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  BOOL ok = TRUE;
  switch (Level) {
    case 0: {
      DWORD status = readDword(k, u"Status");
      if (Command == PRINTER_CONTROL_PAUSE) status |= PRINTER_STATUS_PAUSED;
      else if (Command == PRINTER_CONTROL_RESUME) status &= ~DWORD(PRINTER_STATUS_PAUSED);
      else if (Command == PRINTER_CONTROL_SET_STATUS && pPrinter) status = *reinterpret_cast<DWORD *>(pPrinter);
      else if (Command != PRINTER_CONTROL_PURGE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        ok = FALSE;
      }
      if (ok) writeDword(k, u"Status", status);
      break;
    }
    case 2: {
      auto *pi = reinterpret_cast<PRINTER_INFO_2W *>(pPrinter);
      if (!pi) {
        SetLastError(ERROR_INVALID_PARAMETER);
        ok = FALSE;
        break;
      }
      if (pi->pPortName) writeString(k, u"Port", pi->pPortName);
      if (pi->pDriverName) writeString(k, u"Printer Driver", pi->pDriverName);
      if (pi->pComment) writeString(k, u"Description", pi->pComment);
      if (pi->pLocation) writeString(k, u"Location", pi->pLocation);
      if (pi->pShareName) writeString(k, u"Share Name", pi->pShareName);
      if (pi->pDatatype) writeString(k, u"Datatype", pi->pDatatype);
      if (pi->pParameters) writeString(k, u"Parameters", pi->pParameters);
      if (pi->pDevMode) storeDevMode(k, pi->pDevMode);
      writeDword(k, u"Attributes", pi->Attributes);
      writeDword(k, u"Priority", pi->Priority);
      break;
    }
    case 8:
    case 9: {
      auto *pi = reinterpret_cast<PRINTER_INFO_8W *>(pPrinter);
      if (!pi) {
        SetLastError(ERROR_INVALID_PARAMETER);
        ok = FALSE;
        break;
      }
      storeDevMode(k, pi->pDevMode);
      break;
    }
    default:
      SetLastError(ERROR_INVALID_LEVEL);
      ok = FALSE;
  }
  RegCloseKey(k);
  return ok;
}

BOOL WINAPI EnumPrintersW(DWORD Flags, LPWSTR Name, DWORD Level, LPBYTE pPrinterEnum, DWORD cbBuf,
                          LPDWORD pcbNeeded, LPDWORD pcReturned) {
  (void)Flags;
  (void)Name;
  if (pcReturned) *pcReturned = 0;
  size_t fixed = Level == 1 ? sizeof(PRINTER_INFO_1W) : Level == 2 ? sizeof(PRINTER_INFO_2W)
               : Level == 4 ? sizeof(PRINTER_INFO_4W) : Level == 5 ? sizeof(PRINTER_INFO_5W) : 0;
  if (!fixed) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  // Each printer's record is built alone, then the fixed parts go first
  // and the strings behind them with their pointers moved.
  std::vector<std::vector<BYTE>> recs;
  for (const auto &n : printerNames()) {
    PrinterHandle tmp;
    tmp.name = n;
    DWORD need = 0;
    getPrinterLevel(&tmp, Level, nullptr, 0, &need);
    std::vector<BYTE> buf(need);
    if (getPrinterLevel(&tmp, Level, buf.data(), need, &need)) recs.push_back(std::move(buf));
  }
  size_t total = 0;
  for (auto &r : recs) total += fixed + (r.size() - ((fixed + 7) & ~size_t(7)));
  total += recs.size() * 8;
  if (pcbNeeded) *pcbNeeded = DWORD(total);
  if (!pPrinterEnum || cbBuf < total) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  size_t tail = (fixed * recs.size() + 7) & ~size_t(7);
  for (size_t i = 0; i < recs.size(); ++i) {
    auto &r = recs[i];
    size_t rfixed = (fixed + 7) & ~size_t(7);
    BYTE *dst = pPrinterEnum + i * fixed;
    std::memcpy(dst, r.data(), fixed);
    BYTE *extra = pPrinterEnum + tail;
    std::memcpy(extra, r.data() + rfixed, r.size() - rfixed);
    // Move every pointer that pointed into the record's extra part.
    for (size_t off = 0; off + sizeof(void *) <= fixed; off += sizeof(void *)) {
      BYTE *p;
      std::memcpy(&p, dst + off, sizeof(p));
      if (p >= r.data() + rfixed && p < r.data() + r.size()) {
        BYTE *q = extra + (p - (r.data() + rfixed));
        std::memcpy(dst + off, &q, sizeof(q));
      }
    }
    tail += ((r.size() - rfixed) + 7) & ~size_t(7);
  }
  if (pcReturned) *pcReturned = DWORD(recs.size());
  return TRUE;
}

HANDLE WINAPI AddPrinterW(LPWSTR pName, DWORD Level, LPBYTE pPrinter) {
  (void)pName;
  if (Level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return nullptr;
  }
  auto *pi = reinterpret_cast<PRINTER_INFO_2W *>(pPrinter);
  if (!pi || !pi->pPrinterName || !*pi->pPrinterName || !pi->pDriverName || !pi->pPortName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::u16string name = pi->pPrinterName;
  if (name.find(u'\\') != std::u16string::npos || name.find(u',') != std::u16string::npos) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return nullptr;
  }
  if (printerExists(name)) {
    SetLastError(ERROR_PRINTER_ALREADY_EXISTS);
    return nullptr;
  }
  DriverInfo d;
  if (!readDriver(pi->pDriverName, currentEnvironment(), d)) {
    SetLastError(ERROR_UNKNOWN_PRINTER_DRIVER);
    return nullptr;
  }
  HKEY k = openPrinterKey(name, true);
  if (!k) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  writeString(k, u"Name", name);
  writeString(k, u"Port", pi->pPortName);
  writeString(k, u"Printer Driver", pi->pDriverName);
  writeString(k, u"Description", fromW(pi->pComment));
  writeString(k, u"Location", fromW(pi->pLocation));
  writeString(k, u"Share Name", fromW(pi->pShareName));
  writeString(k, u"Print Processor", pi->pPrintProcessor ? pi->pPrintProcessor : u"winprint");
  writeString(k, u"Datatype", pi->pDatatype ? pi->pDatatype : u"RAW");
  writeString(k, u"Parameters", fromW(pi->pParameters));
  writeString(k, u"Separator File", fromW(pi->pSepFile));
  writeDword(k, u"Attributes", pi->Attributes | PRINTER_ATTRIBUTE_LOCAL);
  writeDword(k, u"Priority", pi->Priority ? pi->Priority : 1);
  writeDword(k, u"Default Priority", pi->DefaultPriority);
  writeDword(k, u"StartTime", pi->StartTime);
  writeDword(k, u"UntilTime", pi->UntilTime);
  writeDword(k, u"Status", 0);
  if (pi->pDevMode) storeDevMode(k, pi->pDevMode);
  HKEY data;
  if (RegCreateKeyExW(k, u"PrinterDriverData", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &data, nullptr) == ERROR_SUCCESS)
    RegCloseKey(data);
  RegCloseKey(k);
  return newHandle(name, PRINTER_ALL_ACCESS);
}

BOOL WINAPI DeletePrinter(HANDLE hPrinter) {
  PrinterHandle *h = handleOf(hPrinter);
  if (!h || h->name.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, (printersKey() + u"\\" + h->name).c_str());
  return TRUE;
}

// ------------------------------------------------------------ drivers

BOOL WINAPI AddPrinterDriverW(LPWSTR pName, DWORD Level, LPBYTE pDriverInfo) {
  (void)pName;
  return addDriver(Level, pDriverInfo);
}

BOOL WINAPI AddPrinterDriverExW(LPWSTR pName, DWORD Level, LPBYTE pDriverInfo, DWORD dwFileCopyFlags) {
  (void)pName;
  (void)dwFileCopyFlags;
  return addDriver(Level, pDriverInfo);
}

BOOL WINAPI GetPrinterDriverW(HANDLE hPrinter, LPWSTR pEnvironment, DWORD Level, LPBYTE pDriverInfo, DWORD cbBuf,
                              LPDWORD pcbNeeded) {
  PrinterHandle *h = handleOf(hPrinter);
  if (!h || h->name.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::u16string env = normEnvironment(pEnvironment);
  if (env.empty()) {
    SetLastError(ERROR_INVALID_ENVIRONMENT);
    return FALSE;
  }
  HKEY k = openPrinterKey(h->name);
  if (!k) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  std::u16string driverName = readString(k, u"Printer Driver");
  RegCloseKey(k);
  DriverInfo d;
  if (!readDriver(driverName, env, d)) {
    SetLastError(ERROR_UNKNOWN_PRINTER_DRIVER);
    return FALSE;
  }
  switch (Level) {
    case 1: {
      DRIVER_INFO_1W di{};
      Packer pk(sizeof(di));
      size_t n = pk.addString(d.name);
      return emit(di, pk, {{offsetof(DRIVER_INFO_1W, pName), n}}, pDriverInfo, cbBuf, pcbNeeded);
    }
    case 2: {
      DRIVER_INFO_2W di{};
      di.cVersion = 3;
      Packer pk(sizeof(di));
      std::vector<std::pair<size_t, size_t>> fix = {{offsetof(DRIVER_INFO_2W, pName), pk.addString(d.name)},
                                                    {offsetof(DRIVER_INFO_2W, pEnvironment), pk.addString(env)},
                                                    {offsetof(DRIVER_INFO_2W, pDriverPath), pk.addString(d.driverPath)},
                                                    {offsetof(DRIVER_INFO_2W, pDataFile), pk.addString(d.dataFile)},
                                                    {offsetof(DRIVER_INFO_2W, pConfigFile), pk.addString(d.configFile)}};
      return emit(di, pk, fix, pDriverInfo, cbBuf, pcbNeeded);
    }
    case 3: {
      DRIVER_INFO_3W di{};
      di.cVersion = 3;
      Packer pk(sizeof(di));
      std::u16string deps = d.dependentFiles;
      if (deps.empty() || deps.back() != 0) deps += u'\0';
      std::vector<std::pair<size_t, size_t>> fix = {
          {offsetof(DRIVER_INFO_3W, pName), pk.addString(d.name)},
          {offsetof(DRIVER_INFO_3W, pEnvironment), pk.addString(env)},
          {offsetof(DRIVER_INFO_3W, pDriverPath), pk.addString(d.driverPath)},
          {offsetof(DRIVER_INFO_3W, pDataFile), pk.addString(d.dataFile)},
          {offsetof(DRIVER_INFO_3W, pConfigFile), pk.addString(d.configFile)},
          {offsetof(DRIVER_INFO_3W, pHelpFile), pk.addString(d.helpFile)},
          {offsetof(DRIVER_INFO_3W, pDependentFiles), pk.addString(deps)},
          {offsetof(DRIVER_INFO_3W, pMonitorName), pk.addString(d.monitor)},
          {offsetof(DRIVER_INFO_3W, pDefaultDataType), pk.addString(d.datatype)}};
      return emit(di, pk, fix, pDriverInfo, cbBuf, pcbNeeded);
    }
    default:
      SetLastError(ERROR_INVALID_LEVEL);
      return FALSE;
  }
}

BOOL WINAPI GetPrinterDriverDirectoryW(LPWSTR pName, LPWSTR pEnvironment, DWORD Level, LPBYTE pDriverDirectory,
                                       DWORD cbBuf, LPDWORD pcbNeeded) {
  (void)pName;
  if (Level != 1) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  std::u16string env = normEnvironment(pEnvironment);
  if (env.empty()) {
    SetLastError(ERROR_INVALID_ENVIRONMENT);
    return FALSE;
  }
  std::u16string dir = driverDirectory(env);
  DWORD need = DWORD((dir.size() + 1) * 2);
  if (pcbNeeded) *pcbNeeded = need;
  if (!pDriverDirectory || cbBuf < need) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(pDriverDirectory, dir.c_str(), need);
  return TRUE;
}

BOOL WINAPI DeletePrinterDriverW(LPWSTR pName, LPWSTR pEnvironment, LPWSTR pDriverName) {
  (void)pName;
  std::u16string env = normEnvironment(pEnvironment);
  if (env.empty() || !pDriverName) {
    SetLastError(env.empty() ? ERROR_INVALID_ENVIRONMENT : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  for (const auto &n : printerNames()) {
    HKEY k = openPrinterKey(n);
    if (!k) continue;
    std::u16string drv = readString(k, u"Printer Driver");
    RegCloseKey(k);
    if (equalsNoCase(drv, pDriverName)) {
      SetLastError(ERROR_PRINTER_DRIVER_IN_USE);
      return FALSE;
    }
  }
  if (RegDeleteTreeW(HKEY_LOCAL_MACHINE, (driversKey(env) + u"\\" + pDriverName).c_str()) != ERROR_SUCCESS) {
    SetLastError(ERROR_UNKNOWN_PRINTER_DRIVER);
    return FALSE;
  }
  return TRUE;
}

// ------------------------------------------------------------ jobs

DWORD WINAPI StartDocPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pDocInfo) {
  PrinterHandle *h = handleOf(hPrinter);
  if (!h || h->name.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (Level < 1 || Level > 3) {
    SetLastError(ERROR_INVALID_LEVEL);
    return 0;
  }
  if (!pDocInfo) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::lock_guard<std::recursive_mutex> g(g_lock);
  if (h->jobId) {
    SetLastError(ERROR_INVALID_PRINTER_STATE);
    return 0;
  }
  auto *di = reinterpret_cast<DOC_INFO_1W *>(pDocInfo);
  Job job;
  job.rec.id = g_nextJob++;
  job.rec.printer = h->name;
  job.rec.document = fromW(di->pDocName);
  job.outputFile = fromW(di->pOutputFile);
  job.rec.port = job.outputFile.empty() ? portOf(h->name) : job.outputFile;
  DWORD id = job.rec.id;
  g_jobs[id] = std::move(job);
  g_jobOrder.push_back(id);
  h->jobId = id;
  return id;
}

BOOL WINAPI StartPagePrinter(HANDLE hPrinter) {
  PrinterHandle *h = handleOf(hPrinter);
  if (!h) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> g(g_lock);
  if (!h->jobId) {
    SetLastError(ERROR_SPL_NO_STARTDOC);
    return FALSE;
  }
  h->pageOpen = true;
  return TRUE;
}

BOOL WINAPI WritePrinter(HANDLE hPrinter, LPVOID pBuf, DWORD cbBuf, LPDWORD pcWritten) {
  if (pcWritten) *pcWritten = 0;
  PrinterHandle *h = handleOf(hPrinter);
  if (!h) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!pBuf && cbBuf) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> g(g_lock);
  auto it = g_jobs.find(h->jobId);
  if (!h->jobId || it == g_jobs.end()) {
    SetLastError(ERROR_SPL_NO_STARTDOC);
    return FALSE;
  }
  if (it->second.rec.aborted) {
    SetLastError(ERROR_PRINT_CANCELLED);
    return FALSE;
  }
  const BYTE *b = static_cast<const BYTE *>(pBuf);
  it->second.rec.bytes.insert(it->second.rec.bytes.end(), b, b + cbBuf);
  if (pcWritten) *pcWritten = cbBuf;
  return TRUE;
}

BOOL WINAPI EndPagePrinter(HANDLE hPrinter) {
  PrinterHandle *h = handleOf(hPrinter);
  if (!h) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> g(g_lock);
  auto it = g_jobs.find(h->jobId);
  if (!h->jobId || it == g_jobs.end()) {
    SetLastError(ERROR_SPL_NO_STARTDOC);
    return FALSE;
  }
  ++it->second.rec.pages;
  h->pageOpen = false;
  return TRUE;
}

BOOL WINAPI EndDocPrinter(HANDLE hPrinter) {
  PrinterHandle *h = handleOf(hPrinter);
  if (!h) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  Job job;
  {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    auto it = g_jobs.find(h->jobId);
    if (!h->jobId || it == g_jobs.end()) {
      SetLastError(ERROR_SPL_NO_STARTDOC);
      return FALSE;
    }
    h->jobId = 0;
    h->pageOpen = false;
    if (it->second.rec.aborted) return TRUE;
    job = it->second;
  }
  // The port runs without the spooler's lock: a monitor may call back.
  despool(job);
  std::lock_guard<std::recursive_mutex> g(g_lock);
  auto it = g_jobs.find(job.rec.id);
  if (it != g_jobs.end()) {
    it->second.rec.completed = true;
    it->second.rec.aborted = job.rec.aborted;
  }
  return TRUE;
}

BOOL WINAPI AbortPrinter(HANDLE hPrinter) {
  PrinterHandle *h = handleOf(hPrinter);
  if (!h) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> g(g_lock);
  auto it = g_jobs.find(h->jobId);
  if (!h->jobId || it == g_jobs.end()) {
    SetLastError(ERROR_SPL_NO_STARTDOC);
    return FALSE;
  }
  it->second.rec.aborted = true;
  h->jobId = 0;
  h->pageOpen = false;
  return TRUE;
}

// ------------------------------------------------------------ printer data

DWORD WINAPI GetPrinterDataExW(HANDLE hPrinter, LPCWSTR pKeyName, LPCWSTR pValueName, LPDWORD pType, LPBYTE pData,
                               DWORD nSize, LPDWORD pcbNeeded) {
  PrinterHandle *h = handleOf(hPrinter);
  if (!h || h->name.empty()) return ERROR_INVALID_HANDLE;
  if (!pKeyName || !*pKeyName || !pValueName) return ERROR_INVALID_PARAMETER;
  bool absent;
  return queryData(h, pKeyName, pValueName, pType, pData, nSize, pcbNeeded, absent);
}

DWORD WINAPI GetPrinterDataW(HANDLE hPrinter, LPWSTR pValueName, LPDWORD pType, LPBYTE pData, DWORD nSize,
                             LPDWORD pcbNeeded) {
  PrinterHandle *h = handleOf(hPrinter);
  if (!h || h->name.empty()) return ERROR_INVALID_HANDLE;
  if (!pValueName) return ERROR_INVALID_PARAMETER;
  bool absent;
  DWORD st = queryData(h, u"PrinterDriverData", pValueName, pType, pData, nSize, pcbNeeded, absent);
  if (!absent) return st;
  // Not a value of the printer: the port's monitor may know it.
  std::unique_ptr<Port> port = makePort(portOf(h->name), u"");
  std::vector<BYTE> reply;
  DWORD error = ERROR_FILE_NOT_FOUND;
  if (!port->getPrinterDataFromPort(pValueName, reply, error)) return error ? error : ERROR_FILE_NOT_FOUND;
  if (pcbNeeded) *pcbNeeded = DWORD(reply.size());
  if (pType) *pType = REG_BINARY;
  if (reply.size() > nSize || (!pData && !reply.empty())) return ERROR_MORE_DATA;
  if (!reply.empty()) std::memcpy(pData, reply.data(), reply.size());
  return ERROR_SUCCESS;
}

DWORD WINAPI SetPrinterDataExW(HANDLE hPrinter, LPCWSTR pKeyName, LPCWSTR pValueName, DWORD Type, LPBYTE pData,
                               DWORD cbData) {
  PrinterHandle *h = handleOf(hPrinter);
  if (!h || h->name.empty()) return ERROR_INVALID_HANDLE;
  if (!pKeyName || !*pKeyName || !pValueName || (!pData && cbData)) return ERROR_INVALID_PARAMETER;
  return setData(h, pKeyName, pValueName, Type, pData, cbData);
}

DWORD WINAPI SetPrinterDataW(HANDLE hPrinter, LPWSTR pValueName, DWORD Type, LPBYTE pData, DWORD cbData) {
  return SetPrinterDataExW(hPrinter, u"PrinterDriverData", pValueName, Type, pData, cbData);
}

DWORD WINAPI DeletePrinterDataExW(HANDLE hPrinter, LPCWSTR pKeyName, LPCWSTR pValueName) {
  PrinterHandle *h = handleOf(hPrinter);
  if (!h || h->name.empty()) return ERROR_INVALID_HANDLE;
  if (!pKeyName || !pValueName) return ERROR_INVALID_PARAMETER;
  HKEY pk = openPrinterKey(h->name);
  if (!pk) return ERROR_INVALID_HANDLE;
  HKEY k;
  LSTATUS st = RegOpenKeyExW(pk, pKeyName, 0, KEY_ALL_ACCESS, &k);
  RegCloseKey(pk);
  if (st != ERROR_SUCCESS) return ERROR_FILE_NOT_FOUND;
  st = RegDeleteValueW(k, pValueName);
  RegCloseKey(k);
  return DWORD(st);
}

DWORD WINAPI DeletePrinterDataW(HANDLE hPrinter, LPWSTR pValueName) {
  return DeletePrinterDataExW(hPrinter, u"PrinterDriverData", pValueName);
}

}  // extern "C"

// ------------------------------------------------------------ test control

namespace winsim {

bool installPrinter(const PrinterSetup &s) {
  std::u16string env = spool::currentEnvironment();
  std::u16string dir = spool::driverDirectory(env) + u"\\3\\";
  auto place = [&](const std::string &host, std::u16string &virt) {
    virt.clear();
    if (host.empty()) return true;
    std::u16string base = toUtf16(std::filesystem::path(host).filename().string());
    virt = dir + base;
    std::string target = hostPath(virt);
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(target).parent_path(), ec);
    if (target.empty()) return false;
    // Copied beside and renamed into place: a module that is loaded from the
    // old file keeps its own copy, as Windows keeps an in-use DLL.
    std::string temp = target + ".installing";
    if (!std::filesystem::copy_file(host, temp, std::filesystem::copy_options::overwrite_existing, ec)) return false;
    std::filesystem::rename(temp, target, ec);
    return !ec;
  };
  std::u16string drv, config, data;
  if (!place(s.graphicsDll, drv) || !place(s.configDll, config) || !place(s.dataFile, data)) return false;
  std::u16string driverName = s.driverName.empty() ? s.printerName + u" Driver" : s.driverName;
  DRIVER_INFO_3W di{};
  di.cVersion = 3;
  di.pName = driverName.data();
  std::u16string envCopy = env;
  di.pEnvironment = envCopy.data();
  std::u16string none;
  di.pDriverPath = drv.empty() ? none.data() : drv.data();
  di.pDataFile = data.empty() ? nullptr : data.data();
  di.pConfigFile = config.empty() ? nullptr : config.data();
  std::u16string monitor = s.monitorName;
  di.pMonitorName = monitor.empty() ? nullptr : monitor.data();
  std::u16string datatype = u"RAW";
  di.pDefaultDataType = datatype.data();
  if (drv.empty()) {
    // A driver without a graphics DLL is still recorded, for the spooler's
    // own tests.
    HKEY k;
    std::u16string path = spool::driversKey(env) + u"\\" + driverName;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) != ERROR_SUCCESS)
      return false;
    spool::writeString(k, u"Driver", u"");
    spool::writeString(k, u"Monitor", monitor);
    RegCloseKey(k);
  } else if (!AddPrinterDriverW(nullptr, 3, reinterpret_cast<LPBYTE>(&di))) {
    return false;
  }
  PRINTER_INFO_2W pi{};
  std::u16string name = s.printerName, port = s.portName;
  pi.pPrinterName = name.data();
  pi.pDriverName = driverName.data();
  pi.pPortName = port.data();
  if (s.defaultDevMode.size() >= offsetof(DEVMODEW, dmFields)) {
    auto *dm = reinterpret_cast<const DEVMODEW *>(s.defaultDevMode.data());
    if (size_t(dm->dmSize) + dm->dmDriverExtra <= s.defaultDevMode.size()) pi.pDevMode = const_cast<DEVMODEW *>(dm);
  }
  HANDLE h = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&pi));
  if (!h) return false;
  ClosePrinter(h);
  return true;
}

std::vector<JobRecord> printJobs(const std::u16string &printer) {
  std::lock_guard<std::recursive_mutex> g(spool::g_lock);
  std::vector<JobRecord> out;
  for (DWORD id : spool::g_jobOrder) {
    auto it = spool::g_jobs.find(id);
    if (it == spool::g_jobs.end()) continue;
    if (!printer.empty() && !equalsNoCase(it->second.rec.printer, printer)) continue;
    out.push_back(it->second.rec);
  }
  return out;
}

std::vector<uint8_t> jobBytes(DWORD jobId) {
  std::lock_guard<std::recursive_mutex> g(spool::g_lock);
  auto it = spool::g_jobs.find(jobId);
  return it == spool::g_jobs.end() ? std::vector<uint8_t>() : it->second.rec.bytes;
}

void setPortResponder(const std::u16string &portName, PortResponder responder) {
  std::lock_guard<std::recursive_mutex> g(spool::g_lock);
  if (responder) spool::g_responders[upper(portName)] = std::move(responder);
  else spool::g_responders.erase(upper(portName));
}

}  // namespace winsim
