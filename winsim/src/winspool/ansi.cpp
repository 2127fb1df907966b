// The ANSI forms of the spooler's calls: text in, converted from the system
// code page, goes to the wide call; text out is the wide answer's, converted
// back and laid out anew.
#include <cstring>

#include "spoolss/spooler_service.h"
#include "core/internal.h"
#include "kernel32/ansi_text.h"
#include "winspool/client.h"
#include "winspool/drivers.h"
#include "winspool/records.h"

using namespace winsim;
using namespace winsim::spool;

namespace {

template <typename T>
void addText(Record &r, size_t field, const T *fixed, LPWSTR T::*member) {
  LPWSTR s = fixed->*member;
  if (s)
    r.add(field, textBytes(s, true));
  else
    r.addNull(field);
}

Record printer1ToAnsi(const PRINTER_INFO_1W *w) {
  Record r(*w);
  addText(r, offsetof(PRINTER_INFO_1W, pDescription), w, &PRINTER_INFO_1W::pDescription);
  addText(r, offsetof(PRINTER_INFO_1W, pName), w, &PRINTER_INFO_1W::pName);
  addText(r, offsetof(PRINTER_INFO_1W, pComment), w, &PRINTER_INFO_1W::pComment);
  return r;
}

Record printer2ToAnsi(const PRINTER_INFO_2W *w) {
  Record r(*w);
  for (auto member : {&PRINTER_INFO_2W::pServerName, &PRINTER_INFO_2W::pPrinterName, &PRINTER_INFO_2W::pShareName,
                      &PRINTER_INFO_2W::pPortName, &PRINTER_INFO_2W::pDriverName, &PRINTER_INFO_2W::pComment,
                      &PRINTER_INFO_2W::pLocation, &PRINTER_INFO_2W::pSepFile, &PRINTER_INFO_2W::pPrintProcessor,
                      &PRINTER_INFO_2W::pDatatype, &PRINTER_INFO_2W::pParameters}) {
    // The field's offset, from where the member lies in this structure.
    size_t field = size_t(reinterpret_cast<const BYTE *>(&(w->*member)) - reinterpret_cast<const BYTE *>(w));
    addText(r, field, w, member);
  }
  if (w->pDevMode)
    r.add(offsetof(PRINTER_INFO_2W, pDevMode), devModeToAnsi(w->pDevMode));
  else
    r.addNull(offsetof(PRINTER_INFO_2W, pDevMode));
  if (size_t n = securityDescriptorLength(w->pSecurityDescriptor)) {
    const BYTE *sd = static_cast<const BYTE *>(w->pSecurityDescriptor);
    r.add(offsetof(PRINTER_INFO_2W, pSecurityDescriptor), std::vector<BYTE>(sd, sd + n));
  } else {
    r.addNull(offsetof(PRINTER_INFO_2W, pSecurityDescriptor));
  }
  return r;
}

}  // namespace

extern "C" {

BOOL WINAPI OpenPrinterA(LPSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSA pDefault) {
  WideArg name(pPrinterName);
  if (!pDefault) return OpenPrinterW(name.get(), phPrinter, nullptr);
  WideArg datatype(pDefault->pDatatype);
  std::vector<BYTE> dm = devModeFromAnsi(pDefault->pDevMode);
  PRINTER_DEFAULTSW defaults{datatype.get(), dm.empty() ? nullptr : reinterpret_cast<LPDEVMODEW>(dm.data()),
                             pDefault->DesiredAccess};
  return OpenPrinterW(name.get(), phPrinter, &defaults);
}

BOOL WINAPI EnumPrintersA(DWORD Flags, LPSTR Name, DWORD Level, LPBYTE pPrinterEnum, DWORD cbBuf, LPDWORD pcbNeeded,
                          LPDWORD pcReturned) {
  if (pcReturned) *pcReturned = 0;
  if (Level != 1 && Level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  WideArg name(Name);
  DWORD need = 0, count = 0;
  std::vector<BYTE> wide;
  // The list may grow between the two calls; asked again then.
  for (int attempt = 0; attempt < 4; ++attempt) {
    if (EnumPrintersW(Flags, name.get(), Level, wide.data(), DWORD(wide.size()), &need, &count)) break;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return FALSE;
    wide.assign(need, 0);
    count = 0;
  }
  std::vector<Record> records;
  for (DWORD i = 0; i < count; ++i) {
    if (Level == 1)
      records.push_back(printer1ToAnsi(reinterpret_cast<const PRINTER_INFO_1W *>(wide.data()) + i));
    else
      records.push_back(printer2ToAnsi(reinterpret_cast<const PRINTER_INFO_2W *>(wide.data()) + i));
  }
  return emitRecords(records, Level == 1 ? sizeof(PRINTER_INFO_1A) : sizeof(PRINTER_INFO_2A), pPrinterEnum, cbBuf,
                     pcbNeeded, pcReturned);
}

BOOL WINAPI EnumPrinterDriversA(LPSTR pName, LPSTR pEnvironment, DWORD Level, LPBYTE pDriverInfo, DWORD cbBuf,
                                LPDWORD pcbNeeded, LPDWORD pcReturned) {
  if (!spoolerAnswers()) return FALSE;
  (void)pName;
  return enumDrivers(fromAnsi(pEnvironment), !pEnvironment, Level, pDriverInfo, cbBuf, pcbNeeded, pcReturned, true);
}

BOOL WINAPI DeletePrinterDriverExA(LPSTR pName, LPSTR pEnvironment, LPSTR pDriverName, DWORD dwDeleteFlag,
                                   DWORD dwVersionFlag) {
  if (!spoolerAnswers()) return FALSE;
  (void)pName;
  return deleteDriver(fromAnsi(pEnvironment), !pEnvironment, fromAnsi(pDriverName), dwDeleteFlag, dwVersionFlag);
}

BOOL WINAPI DeleteMonitorA(LPSTR pName, LPSTR pEnvironment, LPSTR pMonitorName) {
  WideArg name(pName), environment(pEnvironment), monitor(pMonitorName);
  return DeleteMonitorW(name.get(), environment.get(), monitor.get());
}

}  // extern "C"
