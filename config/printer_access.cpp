#include "config/printer_access.h"

#include "config/exchange.h"
#include "config/windows_version.h"
#include "shared/proc_address.h"

namespace card::cfg {

namespace {

using OpenPrinter2Fn = BOOL(WINAPI *)(LPCWSTR, LPHANDLE, PRINTER_DEFAULTSW *, PRINTER_OPTIONSW *);

bool reachedThroughServer(LPCWSTR name) { return name && name[0] == '\\' && name[1] == '\\'; }

bool fetch(BOOL (*call)(HANDLE, DWORD, LPBYTE, DWORD, LPDWORD, void *), HANDLE printer, DWORD level,
           std::vector<BYTE> &buffer, void *context) {
  DWORD needed = 0;
  buffer.clear();
  if (call(printer, level, nullptr, 0, &needed, context)) return true;
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0) return false;
  // The needed size goes into its own pointer-aligned buffer; the spooler
  // packs pointers and strings into it.
  buffer.assign(needed + sizeof(void *), 0);
  return call(printer, level, buffer.data(), needed, &needed, context) != FALSE;
}

// Without the client-side cache, so that what was just written is read.
HANDLE openWithoutCache(LPCWSTR name, const DWORD (&rights)[3]) {
  HANDLE h = nullptr;
  HMODULE spool = LoadLibraryW(TEXT("WINSPOOL.DRV"));
  if (!spool) return nullptr;
  auto open2 = procAddress<OpenPrinter2Fn>(spool, "OpenPrinter2W");
  if (open2) {
    PRINTER_OPTIONSW options{sizeof(PRINTER_OPTIONSW), PRINTER_OPTION_NO_CACHE};
    for (DWORD right : rights) {
      PRINTER_DEFAULTSW defaults{nullptr, nullptr, right};
      if (open2(name, &h, &defaults, &options)) break;
      h = nullptr;
    }
  }
  FreeLibrary(spool);
  return h;
}

}  // namespace

bool processIs(LPCWSTR imageName) {
  WCHAR path[MAX_PATH] = {};
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return false;
  LPCWSTR base = path;
  for (LPCWSTR p = path; *p; ++p)
    if (*p == '\\' || *p == '/') base = p + 1;
  return lstrcmpiW(base, imageName) == 0;
}

HANDLE openPrinterPlain(LPCWSTR name) {
  HANDLE h = nullptr;
  if (!name || !OpenPrinterW(const_cast<LPWSTR>(name), &h, nullptr)) return nullptr;
  return h;
}

// Most access first: the settings exchange writes the printer's default
// DEVMODE and its printer data, which needs the right to administer; a user
// without it still gets a handle for reading.
HANDLE openPrinterByName(LPCWSTR name) {
  if (!name) return nullptr;
  DWORD rights[3] = {PRINTER_ALL_ACCESS, PRINTER_ACCESS_ADMINISTER, PRINTER_ACCESS_USE};
  if (windowsSixOrLater()) return openWithoutCache(name, rights);
  // Windows 2000 refuses full access to a server's printer from most
  // processes, where default access still works.
  if (windowsVersionIs("5.0") && reachedThroughServer(name) && !processIs(TEXT("Explorer.exe")) &&
      !processIs(TEXT("spoolsv.exe")))
    rights[0] = 0;
  HANDLE h = nullptr;
  for (DWORD right : rights) {
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, right};
    if (OpenPrinterW(const_cast<LPWSTR>(name), &h, &defaults)) return h;
    h = nullptr;
  }
  return nullptr;
}

bool printerInfo(HANDLE printer, DWORD level, std::vector<BYTE> &buffer) {
  return fetch([](HANDLE h, DWORD l, LPBYTE b, DWORD cb, LPDWORD n, void *) { return GetPrinterW(h, l, b, cb, n); },
               printer, level, buffer, nullptr);
}

bool jobInfo(HANDLE printer, DWORD jobId, std::vector<BYTE> &buffer) {
  return fetch([](HANDLE h, DWORD l, LPBYTE b, DWORD cb, LPDWORD n,
                  void *id) { return GetJobW(h, *static_cast<DWORD *>(id), l, b, cb, n); },
               printer, 1, buffer, &jobId);
}

bool driverInfo(HANDLE printer, DWORD level, std::vector<BYTE> &buffer) {
  return fetch([](HANDLE h, DWORD l, LPBYTE b, DWORD cb, LPDWORD n,
                  void *) { return GetPrinterDriverW(h, nullptr, l, b, cb, n); },
               printer, level, buffer, nullptr);
}

const DEVMODEW *usableDefault(const std::vector<BYTE> &info2) {
  if (info2.size() < sizeof(PRINTER_INFO_2W)) return nullptr;
  const auto *pi = reinterpret_cast<const PRINTER_INFO_2W *>(info2.data());
  const auto *dm = reinterpret_cast<const BYTE *>(pi->pDevMode);
  const BYTE *begin = info2.data(), *end = begin + info2.size();
  if (!dm || dm < begin || dm >= end) return nullptr;
  return usablePrinterDefault(pi->pDevMode, size_t(end - dm)) ? pi->pDevMode : nullptr;
}

}  // namespace card::cfg
