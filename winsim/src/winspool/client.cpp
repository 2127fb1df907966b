// Helpers of winspool's client calls: printer handles, printer levels,
// DEVMODEs and printer data.
#include <algorithm>
#include <cstring>
#include <filesystem>

#include "core/internal.h"
#include "winspool/client.h"

namespace winsim::spool {

HANDLE newHandle(const std::u16string &name, ACCESS_MASK access) {
  auto *h = new PrinterHandle;
  h->name = name;
  h->access = access;
  return registerObject(h);
}

namespace {

// A stored DEVMODE is only as long as it says it is.
std::vector<BYTE> trimmedDevMode(std::vector<BYTE> dm) {
  if (dm.size() < offsetof(DEVMODEW, dmFields)) return {};
  auto *d = reinterpret_cast<DEVMODEW *>(dm.data());
  size_t want = size_t(d->dmSize) + d->dmDriverExtra;
  if (want > dm.size() || d->dmSize < offsetof(DEVMODEW, dmFields)) return {};
  dm.resize(want);
  return dm;
}

}  // namespace

bool devModeValid(const DEVMODEW *dm) {
  return dm && dm->dmSize >= offsetof(DEVMODEW, dmFields) && dm->dmSize <= sizeof(DEVMODEW) + 1024;
}

std::vector<BYTE> defaultDevMode(const std::u16string &printer) {
  HKEY k = openPrinterKey(printer);
  if (!k) return {};
  std::vector<BYTE> dm = readBinary(k, u"Default DevMode");
  RegCloseKey(k);
  return trimmedDevMode(std::move(dm));
}

std::vector<BYTE> perUserDevMode(const std::u16string &printer) {
  HKEY k;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kPerUserDevModeKey, 0, KEY_READ, &k) != ERROR_SUCCESS) return {};
  std::vector<BYTE> dm = readBinary(k, printer.c_str());
  RegCloseKey(k);
  return trimmedDevMode(std::move(dm));
}

void storePerUserDevMode(const std::u16string &printer, const DEVMODEW *dm) {
  HKEY k;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kPerUserDevModeKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) !=
      ERROR_SUCCESS)
    return;
  if (dm)
    RegSetValueExW(k, printer.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE *>(dm),
                   DWORD(dm->dmSize) + dm->dmDriverExtra);
  else
    RegDeleteValueW(k, printer.c_str());
  RegCloseKey(k);
}

namespace {

// What a printer's key holds, as the levels show it.
struct PrinterFields {
  std::u16string port, driver, comment, location, share, proc, datatype, params, sep, server;
  DWORD attributes = 0, priority = 0, defPriority = 0, start = 0, until = 0, status = 0;
};

PrinterFields readPrinterFields(HKEY k) {
  PrinterFields f;
  f.port = readString(k, u"Port");
  f.driver = readString(k, u"Printer Driver");
  f.comment = readString(k, u"Description");
  f.location = readString(k, u"Location");
  f.share = readString(k, u"Share Name");
  f.proc = readString(k, u"Print Processor");
  f.datatype = readString(k, u"Datatype");
  f.params = readString(k, u"Parameters");
  f.sep = readString(k, u"Separator File");
  f.server = readString(k, kServerNameValue);
  f.attributes = readDword(k, u"Attributes", PRINTER_ATTRIBUTE_LOCAL);
  f.priority = readDword(k, u"Priority", 1);
  f.defPriority = readDword(k, u"Default Priority");
  f.start = readDword(k, u"StartTime");
  f.until = readDword(k, u"UntilTime");
  f.status = readDword(k, u"Status");
  return f;
}

// Jobs of the printer still in its queue.
DWORD queuedJobs(const std::u16string &printer) {
  DWORD jobs = 0;
  std::lock_guard<std::recursive_mutex> g(g_lock);
  for (auto &kv : g_jobs)
    if (equalsNoCase(kv.second.rec.printer, printer) && !kv.second.rec.despooled && !kv.second.rec.aborted) ++jobs;
  return jobs;
}

BOOL emitLevel1(const std::u16string &printer, const PrinterFields &f, LPBYTE out, DWORD cb, LPDWORD needed) {
  PRINTER_INFO_1W pi{};
  Packer pk(sizeof(pi));
  pi.Flags = 0x00800000;  // PRINTER_ENUM_ICON8: a printer
  size_t desc = pk.addString(printer + u"," + f.driver + u"," + f.location);
  size_t name = pk.addString(printer);
  size_t com = pk.addString(f.comment);
  return emit(pi, pk,
              {{offsetof(PRINTER_INFO_1W, pDescription), desc},
               {offsetof(PRINTER_INFO_1W, pName), name},
               {offsetof(PRINTER_INFO_1W, pComment), com}},
              out, cb, needed);
}

BOOL emitLevel2(const std::u16string &printer, const PrinterFields &f, DWORD jobs, const std::vector<BYTE> &dm,
                LPBYTE out, DWORD cb, LPDWORD needed) {
  PRINTER_INFO_2W pi{};
  Packer pk(sizeof(pi));
  pi.Attributes = f.attributes;
  pi.Priority = f.priority;
  pi.DefaultPriority = f.defPriority;
  pi.StartTime = f.start;
  pi.UntilTime = f.until;
  pi.Status = f.status;
  pi.cJobs = jobs;
  size_t dmOff = dm.empty() ? kNone : pk.addBlob(dm);
  std::vector<std::pair<size_t, size_t>> fix = {
      {offsetof(PRINTER_INFO_2W, pServerName), f.server.empty() ? kNone : pk.addString(f.server)},
      {offsetof(PRINTER_INFO_2W, pPrinterName), pk.addString(printer)},
      {offsetof(PRINTER_INFO_2W, pShareName), pk.addString(f.share)},
      {offsetof(PRINTER_INFO_2W, pPortName), pk.addString(f.port)},
      {offsetof(PRINTER_INFO_2W, pDriverName), pk.addString(f.driver)},
      {offsetof(PRINTER_INFO_2W, pComment), pk.addString(f.comment)},
      {offsetof(PRINTER_INFO_2W, pLocation), pk.addString(f.location)},
      {offsetof(PRINTER_INFO_2W, pDevMode), dmOff},
      {offsetof(PRINTER_INFO_2W, pSepFile), pk.addString(f.sep)},
      {offsetof(PRINTER_INFO_2W, pPrintProcessor), pk.addString(f.proc)},
      {offsetof(PRINTER_INFO_2W, pDatatype), pk.addString(f.datatype)},
      {offsetof(PRINTER_INFO_2W, pParameters), pk.addString(f.params)},
      {offsetof(PRINTER_INFO_2W, pSecurityDescriptor), pk.addBlob(printerSecurityDescriptor())}};
  return emit(pi, pk, fix, out, cb, needed);
}

BOOL emitLevel3(LPBYTE out, DWORD cb, LPDWORD needed) {
  PRINTER_INFO_3 pi{};
  Packer pk(sizeof(pi));
  size_t sd = pk.addBlob(printerSecurityDescriptor());
  return emit(pi, pk, {{offsetof(PRINTER_INFO_3, pSecurityDescriptor), sd}}, out, cb, needed);
}

BOOL emitLevel4(const std::u16string &printer, const PrinterFields &f, LPBYTE out, DWORD cb, LPDWORD needed) {
  PRINTER_INFO_4W pi{};
  Packer pk(sizeof(pi));
  pi.Attributes = f.attributes;
  size_t name = pk.addString(printer);
  return emit(pi, pk,
              {{offsetof(PRINTER_INFO_4W, pPrinterName), name}, {offsetof(PRINTER_INFO_4W, pServerName), kNone}}, out,
              cb, needed);
}

BOOL emitLevel5(const std::u16string &printer, const PrinterFields &f, LPBYTE out, DWORD cb, LPDWORD needed) {
  PRINTER_INFO_5W pi{};
  Packer pk(sizeof(pi));
  pi.Attributes = f.attributes;
  pi.DeviceNotSelectedTimeout = 15000;
  pi.TransmissionRetryTimeout = 45000;
  size_t name = pk.addString(printer), p = pk.addString(f.port);
  return emit(pi, pk, {{offsetof(PRINTER_INFO_5W, pPrinterName), name}, {offsetof(PRINTER_INFO_5W, pPortName), p}}, out,
              cb, needed);
}

// Levels 8 and 9: a DEVMODE alone.
BOOL emitDevModeLevel(const std::vector<BYTE> &dm, LPBYTE out, DWORD cb, LPDWORD needed) {
  PRINTER_INFO_8W pi{};
  Packer pk(sizeof(pi));
  size_t dmOff = dm.empty() ? kNone : pk.addBlob(dm);
  return emit(pi, pk, {{offsetof(PRINTER_INFO_8W, pDevMode), dmOff}}, out, cb, needed);
}

}  // namespace

BOOL getPrinterLevel(PrinterHandle *h, DWORD level, LPBYTE out, DWORD cb, LPDWORD needed) {
  HKEY k = openPrinterKey(h->name);
  if (!k) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  PrinterFields f = readPrinterFields(k);
  RegCloseKey(k);
  std::vector<BYTE> dm = defaultDevMode(h->name);
  DWORD jobs = queuedJobs(h->name);
  switch (level) {
    case 1: return emitLevel1(h->name, f, out, cb, needed);
    case 2: return emitLevel2(h->name, f, jobs, dm, out, cb, needed);
    case 3: return emitLevel3(out, cb, needed);
    case 4: return emitLevel4(h->name, f, out, cb, needed);
    case 5: return emitLevel5(h->name, f, out, cb, needed);
    // The global default is level 2's; the user's own is kept apart and is
    // none until the user sets one.
    case 8: return emitDevModeLevel(dm, out, cb, needed);
    case 9: return emitDevModeLevel(perUserDevMode(h->name), out, cb, needed);
    default: SetLastError(ERROR_INVALID_LEVEL); return FALSE;
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

std::u16string configFileOf(HANDLE printer) {
  DWORD need = 0;
  GetPrinterDriverW(printer, nullptr, 2, nullptr, 0, &need);
  if (!need) return {};
  std::vector<BYTE> buffer(need);
  if (!GetPrinterDriverW(printer, nullptr, 2, buffer.data(), need, &need)) return {};
  return fromW(reinterpret_cast<DRIVER_INFO_2W *>(buffer.data())->pConfigFile);
}

}  // namespace winsim::spool
