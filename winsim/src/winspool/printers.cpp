// Printers: open, close, get, set, enumerate, add and delete.
#include <algorithm>
#include <cstring>
#include <filesystem>

#include "core/internal.h"
#include "spoolss/async_notify.h"
#include "winspool/client.h"
#include "spoolss/spooler_service.h"

using namespace winsim;
using namespace winsim::spool;

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
    case 0: {
      DWORD status = readDword(k, u"Status");
      if (Command == PRINTER_CONTROL_PAUSE)
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
      break;
    }
    case 2: {
      auto *pi = reinterpret_cast<PRINTER_INFO_2W *>(pPrinter);
      if (!pi) {
        SetLastError(ERROR_INVALID_PARAMETER);
        ok = FALSE;
        break;
      }
      // A port no port monitor serves is refused before anything changes.
      if (pi->pPortName && !portMonitorFor(pi->pPortName)) {
        SetLastError(ERROR_UNKNOWN_PORT);
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
  (void)Flags;
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
  if (!spoolerAnswers()) return nullptr;
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
  if (!portMonitorFor(pi->pPortName)) {
    SetLastError(ERROR_UNKNOWN_PORT);
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
  if (!spoolerAnswers()) return FALSE;
  PrinterHandle *h = handleOf(hPrinter);
  if (!h || h->name.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, (printersKey() + u"\\" + h->name).c_str());
  asyncNotifyPrinterDeleted(h->name);
  return TRUE;
}

}  // extern "C"
