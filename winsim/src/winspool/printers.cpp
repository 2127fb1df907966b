// Printers: open, close, get, set, enumerate, add and delete.
#include <algorithm>
#include <cstring>
#include <filesystem>

#include "core/internal.h"
#include "winspool/client.h"
#include "spoolss/spooler_service.h"

using namespace winsim;
using namespace winsim::spool;

namespace {

// A printer reached through a print server is a connection; the others are
// this machine's own.  PRINTER_ENUM_NAME without a server name asks for this
// machine's printers too.
bool enumeratedBy(DWORD flags, const std::u16string &printer) {
  HKEY k = openPrinterKey(printer);
  if (!k) return false;
  bool connection = !readString(k, kServerNameValue).empty();
  RegCloseKey(k);
  if (connection) return (flags & PRINTER_ENUM_CONNECTIONS) != 0;
  return (flags & (PRINTER_ENUM_LOCAL | PRINTER_ENUM_NAME)) != 0;
}

// The print processor every printer here uses, and the data types it takes.
bool knownPrintProcessor(const std::u16string &name) { return equalsNoCase(name, u"winprint"); }

bool knownDatatype(const std::u16string &type) {
  for (const char16_t *known : {u"RAW", u"RAW [FF appended]", u"RAW [FF auto]", u"NT EMF 1.003", u"NT EMF 1.006",
                                u"NT EMF 1.007", u"NT EMF 1.008", u"TEXT", u"XPS2GDI"})
    if (equalsNoCase(type, known)) return true;
  return false;
}

// Why AddPrinterW refuses a printer, checked in the order the spooler checks
// them; ERROR_SUCCESS when it is added.
DWORD addPrinterRefusal(const PRINTER_INFO_2W *pi) {
  if (!pi || !pi->pPrinterName || !*pi->pPrinterName || !pi->pDriverName || !pi->pPortName)
    return ERROR_INVALID_PARAMETER;
  std::u16string name = pi->pPrinterName;
  if (name.find(u'\\') != std::u16string::npos || name.find(u',') != std::u16string::npos)
    return ERROR_INVALID_PRINTER_NAME;
  if (printerExists(name)) return ERROR_PRINTER_ALREADY_EXISTS;
  DriverInfo d;
  if (!readDriver(pi->pDriverName, currentEnvironment(), d)) return ERROR_UNKNOWN_PRINTER_DRIVER;
  if (!portMonitorFor(pi->pPortName)) return ERROR_UNKNOWN_PORT;
  if (pi->pPrintProcessor && !knownPrintProcessor(pi->pPrintProcessor)) return ERROR_UNKNOWN_PRINTPROCESSOR;
  if (pi->pDatatype && !knownDatatype(pi->pDatatype)) return ERROR_INVALID_DATATYPE;
  if (pi->pDevMode && !devModeValid(pi->pDevMode)) return ERROR_INVALID_PARAMETER;
  return ERROR_SUCCESS;
}

// Level 0: pause, resume, purge or set the status.
BOOL controlPrinter(HKEY k, const std::u16string &printer, LPBYTE pPrinter, DWORD Command) {
  BOOL ok = TRUE;
  DWORD status = readDword(k, u"Status");
  if (Command == PRINTER_CONTROL_PAUSE && printerPendingDeletion(printer)) {
    // A printer waiting to be deleted cannot be held.
    SetLastError(ERROR_INVALID_PRINTER_STATE);
    ok = FALSE;
  } else if (Command == PRINTER_CONTROL_PAUSE)
    status |= PRINTER_STATUS_PAUSED;
  else if (Command == PRINTER_CONTROL_RESUME)
    status &= ~DWORD(PRINTER_STATUS_PAUSED);
  else if (Command == PRINTER_CONTROL_SET_STATUS && pPrinter)
    status = *reinterpret_cast<DWORD *>(pPrinter);
  else if (Command != PRINTER_CONTROL_PURGE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    ok = FALSE;
  }
  if (ok) writeDword(k, u"Status", status);
  return ok;
}

BOOL setPrinterInfo2(HKEY k, const PRINTER_INFO_2W *pi) {
  if (!pi) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // A port no port monitor serves, a driver not installed or a DEVMODE
  // that cannot be one are refused before anything changes.
  DWORD error = ERROR_SUCCESS;
  DriverInfo driver;
  if (pi->pPortName && !portMonitorFor(pi->pPortName))
    error = ERROR_UNKNOWN_PORT;
  else if (pi->pDriverName && !readDriver(pi->pDriverName, currentEnvironment(), driver))
    error = ERROR_UNKNOWN_PRINTER_DRIVER;
  else if (pi->pDevMode && !devModeValid(pi->pDevMode))
    error = ERROR_INVALID_PARAMETER;
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
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
  return TRUE;
}

// Levels 8 and 9: a DEVMODE alone.
BOOL setPrinterDevMode(HKEY k, const std::u16string &printer, DWORD Level, const PRINTER_INFO_8W *pi) {
  if (!pi || (pi->pDevMode && !devModeValid(pi->pDevMode))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // Level 8 is the global default that level 2 shows too; level 9 the
  // user's own, in the user's part of the registry.
  if (Level == 8)
    storeDevMode(k, pi->pDevMode);
  else
    storePerUserDevMode(printer, pi->pDevMode);
  return TRUE;
}

}  // namespace

namespace winsim::spool {

HANDLE addPrinter(LPWSTR pName, DWORD Level, LPBYTE pPrinter, bool askDriverDefault) {
  if (!spoolerAnswers()) return nullptr;
  (void)pName;
  if (Level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return nullptr;
  }
  auto *pi = reinterpret_cast<PRINTER_INFO_2W *>(pPrinter);
  if (DWORD refusal = addPrinterRefusal(pi); refusal != ERROR_SUCCESS) {
    SetLastError(refusal);
    return nullptr;
  }
  std::u16string name = pi->pPrinterName;
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
  writeDword(k, u"Attributes", pi->Attributes);
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
  // Without settings of the caller's the printer starts from its driver's.
  if (!pi->pDevMode && askDriverDefault) giveDriverDefault(name);
  return newHandle(name, PRINTER_ALL_ACCESS);
}

}  // namespace winsim::spool

extern "C" {

// ------------------------------------------------------------ printers

BOOL WINAPI OpenPrinter2W(LPCWSTR pPrinterName, LPHANDLE phPrinter, PPRINTER_DEFAULTSW pDefault,
                          PPRINTER_OPTIONSW pOptions) {
  if (!spoolerAnswers()) return FALSE;
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
  if (name[0] == u',') return openXcvHandle(name, access, phPrinter);
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
  if (!h) return FALSE;
  if (h->jobId) {
    // A document left open is ended as the spooler does when the handle
    // goes away.
    EndDocPrinter(hPrinter);
  }
  // The monitor's XcvClosePort runs now, not when the last user of the
  // handle lets it go.
  h->xcv.reset();
  return closeHandle(hPrinter, Kind::Printer) ? TRUE : FALSE;
}

BOOL WINAPI GetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf, LPDWORD pcbNeeded) {
  if (!spoolerAnswers()) return FALSE;
  PrinterHandle *h = handleOf(hPrinter);
  if (!h || h->name.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return getPrinterLevel(h, Level, pPrinter, cbBuf, pcbNeeded);
}

BOOL WINAPI SetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD Command) {
  if (!spoolerAnswers()) return FALSE;
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
    case 0: ok = controlPrinter(k, h->name, pPrinter, Command); break;
    case 2: ok = setPrinterInfo2(k, reinterpret_cast<PRINTER_INFO_2W *>(pPrinter)); break;
    case 8:
    case 9: ok = setPrinterDevMode(k, h->name, Level, reinterpret_cast<PRINTER_INFO_8W *>(pPrinter)); break;
    default: SetLastError(ERROR_INVALID_LEVEL); ok = FALSE;
  }
  RegCloseKey(k);
  // A printer paused or set to work offline holds its queue; back, it sends
  // what waits.  Told under the queues' lock, so that no queue misses it.
  if (ok) {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    g_queueCv.notify_all();
  }
  return ok;
}

BOOL WINAPI EnumPrintersW(DWORD Flags, LPWSTR Name, DWORD Level, LPBYTE pPrinterEnum, DWORD cbBuf, LPDWORD pcbNeeded,
                          LPDWORD pcReturned) {
  if (!spoolerAnswers()) return FALSE;
  (void)Name;
  if (pcReturned) *pcReturned = 0;
  size_t fixed = Level == 1   ? sizeof(PRINTER_INFO_1W)
                 : Level == 2 ? sizeof(PRINTER_INFO_2W)
                 : Level == 4 ? sizeof(PRINTER_INFO_4W)
                 : Level == 5 ? sizeof(PRINTER_INFO_5W)
                              : 0;
  if (!fixed) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  // Each printer's record is built alone, then the fixed parts go first
  // and the strings behind them with their pointers moved.
  std::vector<std::vector<BYTE>> recs;
  for (const auto &n : printerNames()) {
    if (!enumeratedBy(Flags, n)) continue;
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
  if (cbBuf < total || (!pPrinterEnum && total)) {
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
  return addPrinter(pName, Level, pPrinter, true);
}

// A printer with jobs still to print waits for them (pending deletion); the
// last one to leave the queue takes it away.
BOOL WINAPI DeletePrinter(HANDLE hPrinter) {
  if (!spoolerAnswers()) return FALSE;
  PrinterHandle *h = handleOf(hPrinter);
  if (!h || h->name.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::recursive_mutex> g(g_lock);
  HKEY k = openPrinterKey(h->name);
  if (!k) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  bool paused = readDword(k, u"Status") & PRINTER_STATUS_PAUSED;
  RegCloseKey(k);
  if (outstandingJobs(h->name)) {
    // A held printer would never print them.
    if (paused) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    markPendingDeletion(h->name);
    return TRUE;
  }
  deletePrinterNow(h->name);
  return TRUE;
}

}  // extern "C"
