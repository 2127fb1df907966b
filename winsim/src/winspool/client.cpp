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
                 sep = readString(k, u"Separator File"), server = readString(k, kServerNameValue);
  DWORD attributes = readDword(k, u"Attributes", PRINTER_ATTRIBUTE_LOCAL), priority = readDword(k, u"Priority", 1),
        defPriority = readDword(k, u"Default Priority"), start = readDword(k, u"StartTime"),
        until = readDword(k, u"UntilTime"), status = readDword(k, u"Status");
  RegCloseKey(k);
  std::vector<BYTE> dm = defaultDevMode(h->name);
  DWORD jobs = 0;
  {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    for (auto &kv : g_jobs)
      if (equalsNoCase(kv.second.rec.printer, h->name) && !kv.second.rec.despooled && !kv.second.rec.aborted) ++jobs;
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
          {offsetof(PRINTER_INFO_2W, pServerName), server.empty() ? kNone : pk.addString(server)},
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
          {offsetof(PRINTER_INFO_2W, pSecurityDescriptor), pk.addBlob(printerSecurityDescriptor())}};
      return emit(pi, pk, fix, out, cb, needed);
    }
    case 3: {
      PRINTER_INFO_3 pi{};
      Packer pk(sizeof(pi));
      size_t sd = pk.addBlob(printerSecurityDescriptor());
      return emit(pi, pk, {{offsetof(PRINTER_INFO_3, pSecurityDescriptor), sd}}, out, cb, needed);
    }
    case 4: {
      PRINTER_INFO_4W pi{};
      Packer pk(sizeof(pi));
      pi.Attributes = attributes;
      size_t name = pk.addString(h->name);
      return emit(pi, pk,
                  {{offsetof(PRINTER_INFO_4W, pPrinterName), name}, {offsetof(PRINTER_INFO_4W, pServerName), kNone}},
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
    // The global default is level 2's; the user's own is kept apart and is
    // none until the user sets one.
    case 8:
    case 9: {
      if (level == 9) dm = perUserDevMode(h->name);
      PRINTER_INFO_8W pi{};
      Packer pk(sizeof(pi));
      size_t dmOff = dm.empty() ? kNone : pk.addBlob(dm);
      return emit(pi, pk, {{offsetof(PRINTER_INFO_8W, pDevMode), dmOff}}, out, cb, needed);
    }
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

}  // namespace winsim::spool
