// cardwinecheck: the x64 driver modules on a real Win32 spooler.
//
// Installs cardrend, cardcfg and cardres as a printer driver the way the
// package's installer does (files into the spooler's driver directory, the
// default settings file as the driver's data file, AddPrinterDriverExW, then
// AddPrinterW on a port the spooler has), and drives cardcfg the way
// applications and the spooler do: DocumentPropertiesW and DeviceCapabilitiesW
// through winspool, and the module's own exports where the spooler at hand
// makes no call of its own.  It runs under Wine (`./run test`); a calling
// convention, structure layout or parameter mistake of the Windows build shows
// here.  The expected values are the product's rules and Microsoft's
// documentation of the interfaces, never the module's own output.
//
// Usage: cardwinecheck [cardcfg.dll cardrend.dll cardres.dll]
// (host or Windows paths; by default the modules of the build that made it).
// One line per check, then "N passed, N failed"; exit code 1 on a failure.
#include <windows.h>
#include <winspool.h>
#include <winddiui.h>

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/wine/check_report.h"
#include "tests/wine/host_paths.h"

namespace {

using WString = std::basic_string<WCHAR>;

using winecheck::check;
using winecheck::checkEq;
using winecheck::note;
using winecheck::underWine;
using winecheck::widen;
using winecheck::windowsPath;

std::string narrow(const WCHAR *text) {
  if (!text) return "(null)";
  char out[1024];
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof out, nullptr, nullptr);
  return n > 0 ? std::string(out) : std::string("?");
}

// ------------------------------------------------------------ the product's numbers
// DEVMODE of the driver: the 212-byte standard part (DEVMODEW without the
// panning fields) and the 3916-byte job settings record behind it.
constexpr WORD kStandardBytes = 212;
constexpr WORD kRecordBytes = 3916;
constexpr size_t kDevmodeBytes = kStandardBytes + kRecordBytes;

// Offsets within the job settings record.
constexpr size_t kDuplex = 8;
constexpr size_t kRibbonType = 10;
constexpr size_t kModelFamily = 3798;  // 32 UTF-16 characters

const WCHAR kPrinterName[] = TEXT("Pellor CA3 Card Printer USB");
const WCHAR kDriverName[] = TEXT("Pellor CA3 Card Printer USB");
const WCHAR kEnvironment[] = TEXT("Windows x64");
const WCHAR kPort[] = TEXT("LPT1:");
const WCHAR kDataFile[] = TEXT("carddefaults.dat");
const WCHAR kValueKey[] = TEXT("PELLORVALUE_SETTING");

void put16(std::vector<BYTE> &b, size_t at, uint16_t v) {
  b[at] = BYTE(v);
  b[at + 1] = BYTE(v >> 8);
}
void put32(std::vector<BYTE> &b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = BYTE(v >> (8 * i));
}
void putText(std::vector<BYTE> &b, size_t at, const char *text) {
  for (size_t i = 0; text[i]; ++i) b[at + i] = BYTE(text[i]);
}

// The default settings file as the installer library writes it with every
// option at its default (an options block of zeros): 3916 bytes, zero except
// where listed.
std::vector<BYTE> installerDefaultSettings() {
  std::vector<BYTE> r(kRecordBytes, 0);
  put16(r, 0, 0x5A45);
  put16(r, 4, 1);
  put16(r, 6, 0);
  put16(r, 8, 1);
  r[10] = 1;  // ribbon type when the options name no ribbon
  put16(r, 18, 1);
  put16(r, 20, 0);
  r[22] = 1;
  put16(r, 24, 0);
  put16(r, 26, 0);
  put16(r, 32, 1);
  put16(r, 38, 0);
  put16(r, 40, 1);
  putText(r, 42, "${");
  putText(r, 52, "}$");
  r[62] = 2;
  put16(r, 64, 1);
  r[68] = 0;
  r[69] = 1;
  r[70] = 'A', r[71] = 'Z', r[72] = 7;
  r[75] = 1;
  r[76] = 0;
  r[77] = 'A', r[78] = 'Z', r[79] = 7;
  r[82] = 2;
  r[83] = 1;
  r[84] = 'A', r[85] = 'Z', r[86] = 7;
  for (size_t overlay : {size_t(92), size_t(1136)}) {
    put16(r, overlay, 0);
    put32(r, overlay + 4, 0);
    put32(r, overlay + 8, 0);
    put32(r, overlay + 12, 1023);
    put32(r, overlay + 16, 639);
  }
  put16(r, 2180, 0);
  put16(r, 2182, 1);
  put16(r, 2184, 0);
  put32(r, 2188, 0);
  put32(r, 2192, 0);
  put32(r, 2196, 1023);
  put32(r, 2200, 639);
  for (size_t at = 3228; at <= 3238; ++at) r[at] = 5;
  putText(r, 3862, "8.00.02.01");
  return r;
}

// The standard part every driver default carries.
struct StandardField {
  const char *name;
  size_t offset;
  int width;  // bytes
  uint32_t value;
};
const StandardField kDefaultStandard[] = {
    {"dmSpecVersion", offsetof(DEVMODEW, dmSpecVersion), 2, 0x0401},
    {"dmDriverVersion", offsetof(DEVMODEW, dmDriverVersion), 2, 1},
    {"dmSize", offsetof(DEVMODEW, dmSize), 2, kStandardBytes},
    {"dmDriverExtra", offsetof(DEVMODEW, dmDriverExtra), 2, kRecordBytes},
    {"dmFields", offsetof(DEVMODEW, dmFields), 4, 0x07805F03},
    {"dmOrientation", offsetof(DEVMODEW, dmOrientation), 2, 2},
    {"dmPaperSize", offsetof(DEVMODEW, dmPaperSize), 2, 258},
    {"dmPaperLength", offsetof(DEVMODEW, dmPaperLength), 2, 541},
    {"dmPaperWidth", offsetof(DEVMODEW, dmPaperWidth), 2, 866},
    {"dmScale", offsetof(DEVMODEW, dmScale), 2, 100},
    {"dmCopies", offsetof(DEVMODEW, dmCopies), 2, 1},
    {"dmDefaultSource", offsetof(DEVMODEW, dmDefaultSource), 2, 256},
    {"dmPrintQuality", offsetof(DEVMODEW, dmPrintQuality), 2, 300},
    {"dmColor", offsetof(DEVMODEW, dmColor), 2, 2},
    {"dmDuplex", offsetof(DEVMODEW, dmDuplex), 2, 1},
    {"dmYResolution", offsetof(DEVMODEW, dmYResolution), 2, 300},
    {"dmTTOption", offsetof(DEVMODEW, dmTTOption), 2, 1},
    {"dmCollate", offsetof(DEVMODEW, dmCollate), 2, 1},
    {"dmLogPixels", offsetof(DEVMODEW, dmLogPixels), 2, 300},
    {"dmBitsPerPel", offsetof(DEVMODEW, dmBitsPerPel), 4, 24},
    {"dmPelsWidth", offsetof(DEVMODEW, dmPelsWidth), 4, 640},
    {"dmPelsHeight", offsetof(DEVMODEW, dmPelsHeight), 4, 1024},
    {"dmICMMethod", offsetof(DEVMODEW, dmICMMethod), 4, 2},
    {"dmICMIntent", offsetof(DEVMODEW, dmICMIntent), 4, 2},
    {"dmMediaType", offsetof(DEVMODEW, dmMediaType), 4, 3},
    {"dmDitherType", offsetof(DEVMODEW, dmDitherType), 4, 0},
};

uint32_t readField(const BYTE *dm, size_t offset, int width) {
  uint32_t v = 0;
  std::memcpy(&v, dm + offset, size_t(width));
  return v;
}

bool sameText(const WCHAR *a, const WCHAR *b) { return lstrcmpW(a, b) == 0; }

// Whether a DEVMODE's standard part is the driver default; the first field
// that differs is named.
bool defaultStandardPart(const BYTE *dm, std::string &why) {
  for (const StandardField &f : kDefaultStandard) {
    uint32_t got = readField(dm, f.offset, f.width);
    if (got != f.value) {
      why = std::string(f.name) + " " + std::to_string(got) + ", want " + std::to_string(f.value);
      return false;
    }
  }
  const auto *w = reinterpret_cast<const DEVMODEW *>(dm);
  if (!sameText(w->dmDeviceName, TEXT("Pellor Standard Printer"))) {
    why = "dmDeviceName " + narrow(w->dmDeviceName);
    return false;
  }
  if (!sameText(w->dmFormName, TEXT("86mmx54mm Card"))) {
    why = "dmFormName " + narrow(w->dmFormName);
    return false;
  }
  return true;
}

// The first differing byte of two records, for the report.
std::string firstDifference(const BYTE *got, const std::vector<BYTE> &want) {
  for (size_t i = 0; i < want.size(); ++i)
    if (got[i] != want[i])
      return "record byte " + std::to_string(i) + " is " + std::to_string(got[i]) + ", want " + std::to_string(want[i]);
  return "";
}

// ------------------------------------------------------------ Wine's stored DEVMODE
// Wine keeps a printer's default DEVMODE in the registry in its ANSI form and
// widens it on the way out.  A DEVMODE whose standard part is shorter than
// Wine's own DEVMODEW (212 bytes against 220) comes back with dmSize 220, its
// form name and the fields after it garbled, and its record still at byte
// 212, whole.  Windows hands back what was stored.  So the check remembers
// what was last stored (by itself, or by cardcfg through SetPrinterW) and,
// when Wine's copy carries that record unchanged, hands back the stored
// DEVMODE instead, in its own reads and in cardcfg's (the module's GetPrinterW
// and SetPrinterW imports are routed through the two functions below).
std::vector<BYTE> g_storedDefault;

void rememberStored(const DEVMODEW *dm) {
  if (dm && size_t(dm->dmSize) + dm->dmDriverExtra == kDevmodeBytes)
    g_storedDefault.assign(reinterpret_cast<const BYTE *>(dm), reinterpret_cast<const BYTE *>(dm) + kDevmodeBytes);
}

bool wineWidened(const DEVMODEW *dm) {
  return dm && dm->dmSize == sizeof(DEVMODEW) && dm->dmDriverExtra == kRecordBytes &&
         g_storedDefault.size() == kDevmodeBytes &&
         std::memcmp(reinterpret_cast<const BYTE *>(dm) + kStandardBytes, g_storedDefault.data() + kStandardBytes,
                     kRecordBytes) == 0;
}

bool mendStoredDevmode(DEVMODEW *dm) {
  if (!wineWidened(dm)) return false;
  std::memcpy(dm, g_storedDefault.data(), kDevmodeBytes);
  return true;
}

using GetPrinterFn = BOOL(WINAPI *)(HANDLE, DWORD, LPBYTE, DWORD, LPDWORD);
using SetPrinterFn = BOOL(WINAPI *)(HANDLE, DWORD, LPBYTE, DWORD);
GetPrinterFn g_getPrinter = GetPrinterW;
SetPrinterFn g_setPrinter = SetPrinterW;

BOOL WINAPI mendedGetPrinter(HANDLE printer, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed) {
  BOOL ok = g_getPrinter(printer, level, buffer, size, needed);
  if (ok && buffer && level == 2) mendStoredDevmode(reinterpret_cast<PRINTER_INFO_2W *>(buffer)->pDevMode);
  return ok;
}

BOOL WINAPI rememberingSetPrinter(HANDLE printer, DWORD level, LPBYTE info, DWORD command) {
  BOOL ok = g_setPrinter(printer, level, info, command);
  if (ok && info && level == 2) rememberStored(reinterpret_cast<PRINTER_INFO_2W *>(info)->pDevMode);
  return ok;
}

// Points the module's import of `function` from `library` at `replacement`.
bool routeImport(HMODULE module, const char *library, const char *function, void *replacement, void **original) {
  auto *base = reinterpret_cast<BYTE *>(module);
  auto *dos = reinterpret_cast<IMAGE_DOS_HEADER *>(base);
  auto *nt = reinterpret_cast<IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY &imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (!imports.VirtualAddress) return false;
  for (auto *d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR *>(base + imports.VirtualAddress); d->Name; ++d) {
    if (lstrcmpiA(reinterpret_cast<const char *>(base + d->Name), library) != 0) continue;
    auto *names =
        reinterpret_cast<IMAGE_THUNK_DATA *>(base + (d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk));
    auto *slots = reinterpret_cast<IMAGE_THUNK_DATA *>(base + d->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      auto *byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char *>(byName->Name), function) != 0) continue;
      DWORD was = 0;
      if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &was)) return false;
      *original = reinterpret_cast<void *>(slots->u1.Function);
      slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, was, &was);
      return true;
    }
  }
  return false;
}

// ------------------------------------------------------------ spooler helpers
std::vector<BYTE> printerInfo2(HANDLE printer) {
  DWORD needed = 0;
  GetPrinterW(printer, 2, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed);
  if (!needed || !GetPrinterW(printer, 2, buffer.data(), needed, &needed)) buffer.clear();
  return buffer;
}

std::vector<BYTE> driverInfo3(HANDLE printer) {
  DWORD needed = 0;
  GetPrinterDriverW(printer, nullptr, 3, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed);
  if (!needed || !GetPrinterDriverW(printer, nullptr, 3, buffer.data(), needed, &needed)) buffer.clear();
  return buffer;
}

bool readValue(HANDLE printer, const WCHAR *name, DWORD &value) {
  DWORD type = 0, needed = 0;
  return GetPrinterDataExW(printer, kValueKey, name, &type, reinterpret_cast<BYTE *>(&value), sizeof value, &needed) ==
             ERROR_SUCCESS &&
         type == REG_DWORD;
}

// Removes what an earlier run left in the prefix.
void removeInstallation() {
  HANDLE printer = nullptr;
  PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
  if (OpenPrinterW(const_cast<LPWSTR>(kPrinterName), &printer, &all)) {
    DeletePrinter(printer);
    ClosePrinter(printer);
  }
  DeletePrinterDriverExW(nullptr, const_cast<LPWSTR>(kEnvironment), const_cast<LPWSTR>(kDriverName),
                         DPD_DELETE_UNUSED_FILES, 0);
}

bool writeFile(const WString &path, const void *data, DWORD size) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(f, data, size, &written, nullptr);
  CloseHandle(f);
  return ok && written == size;
}

std::vector<BYTE> readFile(const WCHAR *path) {
  std::vector<BYTE> bytes;
  HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return bytes;
  BYTE chunk[4096];
  DWORD got = 0;
  while (ReadFile(f, chunk, sizeof chunk, &got, nullptr) && got) bytes.insert(bytes.end(), chunk, chunk + got);
  CloseHandle(f);
  return bytes;
}

// ------------------------------------------------------------ the module's exports
// DrvConvertDevMode's modes and answer (winddiui.h; mingw-w64 lacks them).
#ifndef CDM_CONVERT
#define CDM_CONVERT 0x01
#endif
#ifndef CDM_DRIVER_DEFAULT
#define CDM_DRIVER_DEFAULT 0x04
#endif
#ifndef CDM_RESULT_NOT_HANDLED
#define CDM_RESULT_NOT_HANDLED 2
#endif

using ConvertFn = BOOL(WINAPI *)(LPWSTR, DEVMODEW *, DEVMODEW *, LONG *, DWORD);
using AdvancedFn = LONG(WINAPI *)(HWND, HANDLE, LPWSTR, DEVMODEW *, DEVMODEW *);
using QueryPrintFn = BOOL(WINAPI *)(HANDLE, DEVMODEW *, DWORD *);
using QueryPrintExFn = BOOL(WINAPI *)(void *);
using PrinterPropsFn = BOOL(WINAPI *)(HWND, HANDLE);
using PrinterEventFn = BOOL(WINAPI *)(LPWSTR, INT, DWORD, LPARAM);
using UpgradeFn = BOOL(WINAPI *)(DWORD, LPBYTE);
using DocEventFn = INT(WINAPI *)(HANDLE, HDC, INT, ULONG, PVOID, ULONG, PVOID);

template <typename F>
F exported(HMODULE module, const char *name) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

struct Paths {
  WString cardcfg, cardrend, cardres;
};

// ------------------------------------------------------------ installation
HANDLE install(const Paths &paths, const std::vector<BYTE> &defaults) {
  removeInstallation();
  WCHAR driverDir[MAX_PATH] = {};
  DWORD needed = 0;
  if (!check(GetPrinterDriverDirectoryW(nullptr, const_cast<LPWSTR>(kEnvironment), 1,
                                        reinterpret_cast<BYTE *>(driverDir), sizeof driverDir, &needed) != FALSE,
             "the spooler names its x64 driver directory", "error %lu", GetLastError()))
    return nullptr;
  // The installer puts the files into the driver directory; AddPrinterDriverEx
  // moves them into the version folder.
  const WString dir = WString(driverDir) + TEXT("\\");
  bool copied = CopyFileW(paths.cardrend.c_str(), (dir + TEXT("cardrend.dll")).c_str(), FALSE) &&
                CopyFileW(paths.cardcfg.c_str(), (dir + TEXT("cardcfg.dll")).c_str(), FALSE) &&
                CopyFileW(paths.cardres.c_str(), (dir + TEXT("cardres.dll")).c_str(), FALSE) &&
                writeFile(dir + kDataFile, defaults.data(), DWORD(defaults.size()));
  if (!check(copied, "driver files and the default settings file copied into the driver directory", "error %lu",
             GetLastError()))
    return nullptr;

  DRIVER_INFO_3W di{};
  di.cVersion = 3;
  di.pName = const_cast<LPWSTR>(kDriverName);
  di.pEnvironment = const_cast<LPWSTR>(kEnvironment);
  di.pDriverPath = const_cast<LPWSTR>(TEXT("cardrend.dll"));
  di.pDataFile = const_cast<LPWSTR>(kDataFile);
  di.pConfigFile = const_cast<LPWSTR>(TEXT("cardcfg.dll"));
  WCHAR dependent[] = TEXT("cardres.dll\0");
  di.pDependentFiles = dependent;
  di.pDefaultDataType = const_cast<LPWSTR>(TEXT("RAW"));
  if (!check(AddPrinterDriverExW(nullptr, 3, reinterpret_cast<BYTE *>(&di), APD_COPY_ALL_FILES) != FALSE,
             "AddPrinterDriverExW installs the driver", "error %lu", GetLastError()))
    return nullptr;

  PRINTER_INFO_2W pi{};
  pi.pPrinterName = const_cast<LPWSTR>(kPrinterName);
  pi.pPortName = const_cast<LPWSTR>(kPort);
  pi.pDriverName = const_cast<LPWSTR>(kDriverName);
  pi.pPrintProcessor = const_cast<LPWSTR>(TEXT("WinPrint"));
  pi.pDatatype = const_cast<LPWSTR>(TEXT("RAW"));
  pi.Attributes = PRINTER_ATTRIBUTE_DO_COMPLETE_FIRST | PRINTER_ATTRIBUTE_ENABLE_BIDI;
  HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE *>(&pi));
  if (!check(printer != nullptr, "AddPrinterW adds the printer", "error %lu", GetLastError())) return nullptr;
  ClosePrinter(printer);
  PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
  printer = nullptr;
  check(OpenPrinterW(const_cast<LPWSTR>(kPrinterName), &printer, &all) != FALSE, "OpenPrinterW with all access",
        "error %lu", GetLastError());
  return printer;
}

// ------------------------------------------------------------ the checks
void checkDriverFiles(HANDLE printer, const std::vector<BYTE> &defaults) {
  std::vector<BYTE> info = driverInfo3(printer);
  if (!check(!info.empty(), "GetPrinterDriverW level 3", "error %lu", GetLastError())) return;
  const auto *di = reinterpret_cast<const DRIVER_INFO_3W *>(info.data());
  checkEq(di->cVersion, 3, "the driver is a version-3 driver");
  std::vector<BYTE> data = readFile(di->pDataFile);
  check(data == defaults, "the driver's data file is the default settings file", "%s holds %zu bytes",
        narrow(di->pDataFile).c_str(), data.size());
}

HMODULE loadModule(HANDLE printer) {
  std::vector<BYTE> info = driverInfo3(printer);
  if (info.empty()) return nullptr;
  const auto *di = reinterpret_cast<const DRIVER_INFO_3W *>(info.data());
  HMODULE module = LoadLibraryW(di->pConfigFile);
  if (!check(module != nullptr, "cardcfg loads from the driver's version folder", "%s: error %lu",
             narrow(di->pConfigFile).c_str(), GetLastError()))
    return nullptr;
  static const char *const kExports[] = {
      "DrvDocumentPropertySheets", "DrvDevicePropertySheets", "DrvDocumentProperties", "DrvAdvancedDocumentProperties",
      "DrvConvertDevMode",         "DrvDeviceCapabilities",   "DevQueryPrint",         "DevQueryPrintEx",
      "PrinterProperties",         "DrvPrinterEvent",         "DrvDocumentEvent",      "DrvUpgradePrinter"};
  int missing = 0;
  for (const char *name : kExports)
    if (!GetProcAddress(module, name)) ++missing;
  checkEq(missing, 0, "cardcfg exports every UI entry point");
  // The message library is loaded from beside the module at attach.
  check(GetModuleHandleW(TEXT("cardres.dll")) != nullptr, "cardcfg loaded cardres from the driver folder");
  return module;
}

// The spooler builds a new printer's default DEVMODE with the module's
// DrvConvertDevMode(CDM_DRIVER_DEFAULT).  Wine's AddPrinterW does not (it asks
// DocumentPropertiesW with no printer handle, which has no printer default to
// start from), so the check makes that call and stores the result as the
// printer's default, as Windows does.
std::vector<BYTE> checkDriverDefault(HMODULE module, HANDLE printer, const std::vector<BYTE> &defaults) {
  auto convert = exported<ConvertFn>(module, "DrvConvertDevMode");
  LPWSTR name = const_cast<LPWSTR>(kPrinterName);
  std::vector<BYTE> out(kDevmodeBytes + 64, 0xAB);
  auto *dm = reinterpret_cast<DEVMODEW *>(out.data());

  SetLastError(0);
  check(!convert(name, nullptr, dm, nullptr, CDM_DRIVER_DEFAULT) && GetLastError() == ERROR_INVALID_PARAMETER,
        "DrvConvertDevMode without a size pointer fails with ERROR_INVALID_PARAMETER", "last error %lu",
        GetLastError());
  LONG size = 0;
  SetLastError(0);
  BOOL r = convert(name, nullptr, nullptr, &size, CDM_DRIVER_DEFAULT);
  check(!r && size == LONG(kDevmodeBytes) && GetLastError() == ERROR_INSUFFICIENT_BUFFER,
        "DrvConvertDevMode without a buffer asks for 4128 bytes", "returned %d, size %ld, last error %lu", r, size,
        GetLastError());
  size = 4000;
  SetLastError(0);
  r = convert(name, nullptr, dm, &size, CDM_DRIVER_DEFAULT);
  check(!r && size == LONG(kDevmodeBytes) && GetLastError() == ERROR_INSUFFICIENT_BUFFER && out[0] == 0xAB,
        "DrvConvertDevMode with 4000 bytes asks for 4128 and writes nothing", "returned %d, size %ld", r, size);
  size = LONG(out.size());
  r = convert(name, nullptr, dm, &size, CDM_CONVERT);
  check(r == CDM_RESULT_NOT_HANDLED && out[0] == 0xAB && out[kDevmodeBytes - 1] == 0xAB,
        "DrvConvertDevMode leaves CDM_CONVERT to the system", "returned %d", r);

  DWORD init = 0;
  check(!readValue(printer, TEXT("Init"), init), "\"Init\" is not set before the first driver default");
  size = LONG(out.size());
  r = convert(name, nullptr, dm, &size, CDM_DRIVER_DEFAULT);
  checkEq(r, CDM_RESULT_NOT_HANDLED, "DrvConvertDevMode(CDM_DRIVER_DEFAULT) returns CDM_RESULT_NOT_HANDLED");
  std::string why;
  check(defaultStandardPart(out.data(), why), "the driver default's standard part", "%s", why.c_str());
  std::vector<BYTE> want = defaults;
  put16(want, kDuplex, 1);  // a driver default prints both sides, whatever the file says
  std::string diff = firstDifference(out.data() + kStandardBytes, want);
  check(diff.empty(), "the driver default's record is the default settings file", "%s", diff.c_str());
  check(out[kDevmodeBytes] == 0xAB, "nothing written past the 4128 bytes");
  check(readValue(printer, TEXT("Init"), init) && init == 1, "\"Init\" is 1 after the first driver default",
        "value %lu", init);

  std::vector<BYTE> info = printerInfo2(printer);
  if (!check(!info.empty(), "GetPrinterW level 2", "error %lu", GetLastError())) return {};
  auto *pi = reinterpret_cast<PRINTER_INFO_2W *>(info.data());
  pi->pDevMode = dm;
  pi->pSecurityDescriptor = nullptr;
  check(SetPrinterW(printer, 2, info.data(), 0) != FALSE, "SetPrinterW stores the driver default as the printer's",
        "error %lu", GetLastError());
  out.resize(kDevmodeBytes);

  rememberStored(dm);

  // Read back with Wine's own GetPrinterW, not mended.
  std::vector<BYTE> stored = printerInfo2(printer);
  const DEVMODEW *back = stored.empty() ? nullptr : reinterpret_cast<PRINTER_INFO_2W *>(stored.data())->pDevMode;
  if (back && std::memcmp(back, out.data(), kDevmodeBytes) == 0) {
    check(true, "GetPrinterW hands back the stored default DEVMODE");
  } else {
    note(
        "the spooler hands back the stored DEVMODE widened to dmSize 220, its form name and the fields after it "
        "garbled; from here on the stored DEVMODE is handed back in its place (to this check and to cardcfg)");
    check(wineWidened(back), "the stored record comes back whole, at byte 212");
  }
  return out;
}

void checkRecord(const BYTE *dm, const std::vector<BYTE> &want, const char *what) {
  std::string diff = firstDifference(dm + kStandardBytes, want);
  check(diff.empty(), what, "%s", diff.c_str());
}

void putFamily(std::vector<BYTE> &record, const char *family) {
  for (size_t i = 0; i < 32; ++i) put16(record, kModelFamily + 2 * i, 0);
  for (size_t i = 0; family[i]; ++i) put16(record, kModelFamily + 2 * i, uint16_t(family[i]));
}

// The settings exchange as applications run it: DocumentPropertiesW, which
// the spooler hands to the module's DrvDocumentPropertySheets without a
// property sheet.  Nothing answers the module's printer queries here (no
// language monitor): the printer counts as silent, so its model is neither
// single- nor dual-sided and the record's ribbon and encoder stay as stored.
void checkDocumentProperties(HANDLE printer, const std::vector<BYTE> &driverDefault) {
  LPWSTR name = const_cast<LPWSTR>(kPrinterName);
  LONG size = DocumentPropertiesW(nullptr, printer, name, nullptr, nullptr, 0);
  checkEq(size, LONG(kDevmodeBytes), "DocumentPropertiesW(fMode 0) gives the DEVMODE size 4128");

  // The first exchange of the process starts from the printer's default.
  std::vector<BYTE> out(kDevmodeBytes + 64, 0xAB);
  auto *dm = reinterpret_cast<DEVMODEW *>(out.data());
  // Wine passes the output buffer's own dmSize as the output size (Windows
  // passes the size the module reported for fMode 0), so the buffer carries
  // that size.
  dm->dmSize = WORD(kDevmodeBytes);
  dm->dmDriverExtra = 0;
  LONG r = DocumentPropertiesW(nullptr, printer, name, dm, nullptr, DM_OUT_BUFFER);
  checkEq(r, IDOK, "DocumentPropertiesW(DM_OUT_BUFFER) answers IDOK");
  std::string why;
  check(defaultStandardPart(out.data(), why), "its standard part is the printer's default", "%s", why.c_str());
  std::vector<BYTE> want(driverDefault.begin() + kStandardBytes, driverDefault.end());
  putFamily(want, "CA3");  // not a single-sided model
  checkRecord(out.data(), want, "its record is the printer's, of the CA3 family");
  check(out[kDevmodeBytes] == 0xAB, "nothing written past the 4128 bytes");
  DWORD model = 0;
  check(!readValue(printer, TEXT("PrinterModel"), model), "\"PrinterModel\" is not written by the first exchange");

  // From now on the module's working settings copy is initialised: an
  // application's whole DEVMODE gives the standard part, the working copy
  // the record.
  std::vector<BYTE> app(out.begin(), out.begin() + kDevmodeBytes);
  auto *in = reinterpret_cast<DEVMODEW *>(app.data());
  in->dmOrientation = DMORIENT_PORTRAIT;
  in->dmCopies = 3;
  app[kStandardBytes + kRibbonType] = 6;  // the application's record is not taken
  std::vector<BYTE> out2(kDevmodeBytes + 64, 0xAB);
  auto *dm2 = reinterpret_cast<DEVMODEW *>(out2.data());
  dm2->dmSize = WORD(kDevmodeBytes);
  r = DocumentPropertiesW(nullptr, printer, name, dm2, in, DM_IN_BUFFER | DM_OUT_BUFFER);
  checkEq(r, IDOK, "DocumentPropertiesW(DM_IN_BUFFER | DM_OUT_BUFFER) answers IDOK");
  check(dm2->dmOrientation == DMORIENT_PORTRAIT && dm2->dmCopies == 3,
        "the application's orientation and copies are kept", "orientation %d, copies %d", dm2->dmOrientation,
        dm2->dmCopies);
  checkEq(dm2->dmSize, kStandardBytes, "the merged DEVMODE's dmSize is 212");
  checkEq(dm2->dmDriverExtra, kRecordBytes, "the merged DEVMODE's dmDriverExtra is 3916");
  checkRecord(out2.data(), want, "the record is the working copy, not the application's");

  // A later exchange without input starts from the printer's default again
  // and records the model family seen.
  std::memset(out2.data(), 0xAB, out2.size());
  dm2->dmSize = WORD(kDevmodeBytes);
  r = DocumentPropertiesW(nullptr, printer, name, dm2, nullptr, DM_OUT_BUFFER);
  checkEq(r, IDOK, "a later DocumentPropertiesW(DM_OUT_BUFFER) answers IDOK");
  checkRecord(out2.data(), want, "its record is the printer's again");
  check(readValue(printer, TEXT("PrinterModel"), model) && model == 2,
        "\"PrinterModel\" is 2 (not single-sided) after it", "value %lu", model);
}

DEVMODEW *withOrientation(std::vector<BYTE> &dm, short orientation) {
  auto *d = reinterpret_cast<DEVMODEW *>(dm.data());
  d->dmOrientation = orientation;
  return d;
}

// DeviceCapabilitiesW through winspool, for every capability; entry widths
// are those of the documentation (bin names 24 characters, paper and media
// names 64).
void checkCapabilities(const std::vector<BYTE> &driverDefault) {
  const WCHAR *name = kPrinterName;
  struct Plain {
    WORD cap;
    const char *label;
    int result;
  };
  static const Plain kPlain[] = {
      {DC_FIELDS, "DC_FIELDS", 0x07805F03},
      {DC_DUPLEX, "DC_DUPLEX", 1},
      {DC_SIZE, "DC_SIZE", 212},
      {DC_EXTRA, "DC_EXTRA", 3916},
      {DC_VERSION, "DC_VERSION", 0x0401},
      {DC_DRIVER, "DC_DRIVER", 1},
      {DC_FILEDEPENDENCIES, "DC_FILEDEPENDENCIES", 0},
      {DC_TRUETYPE, "DC_TRUETYPE", 1},
      {DC_ORIENTATION, "DC_ORIENTATION", 90},
      {DC_COPIES, "DC_COPIES", 999},
      {DC_BINADJUST, "DC_BINADJUST", 0},
      {DC_EMF_COMPLIANT, "DC_EMF_COMPLIANT", -1},
      {DC_STAPLE, "DC_STAPLE", 0},
      {DC_COLORDEVICE, "DC_COLORDEVICE", 1},
      {DC_DATATYPE_PRODUCED, "DC_DATATYPE_PRODUCED", -1},
      {DC_COLLATE, "DC_COLLATE", -1},
      {DC_MANUFACTURER, "DC_MANUFACTURER", -1},
      {DC_MODEL, "DC_MODEL", -1},
      {DC_PERSONALITY, "DC_PERSONALITY", -1},
      {DC_PRINTRATE, "DC_PRINTRATE", -1},
      {DC_PRINTRATEUNIT, "DC_PRINTRATEUNIT", -1},
      {DC_PRINTERMEM, "DC_PRINTERMEM", -1},
      {DC_PRINTRATEPPM, "DC_PRINTRATEPPM", -1},
      {DC_NUP, "DC_NUP", -1},
      {DC_MEDIATYPENAMES, "DC_MEDIATYPENAMES", -1},
      {DC_MEDIATYPES, "DC_MEDIATYPES", -1},
  };
  for (const Plain &p : kPlain) {
    std::string what = std::string("DeviceCapabilitiesW ") + p.label;
    checkEq(DeviceCapabilitiesW(name, kPort, p.cap, nullptr, nullptr), p.result, what.c_str());
  }

  std::vector<BYTE> landscape = driverDefault, portrait = driverDefault;
  DEVMODEW *ls = withOrientation(landscape, DMORIENT_LANDSCAPE);
  DEVMODEW *pt = withOrientation(portrait, DMORIENT_PORTRAIT);

  // One-entry lists: the count, then the entry, and nothing after it.
  WORD words[4] = {0xEEEE, 0xEEEE, 0xEEEE, 0xEEEE};
  checkEq(DeviceCapabilitiesW(name, kPort, DC_PAPERS, nullptr, nullptr), 1, "DC_PAPERS counts one paper");
  int n = DeviceCapabilitiesW(name, kPort, DC_PAPERS, reinterpret_cast<LPWSTR>(words), nullptr);
  check(n == 1 && words[0] == 258 && words[1] == 0xEEEE, "DC_PAPERS lists paper 258", "%d: %u %u", n, words[0],
        words[1]);
  words[0] = words[1] = 0xEEEE;
  n = DeviceCapabilitiesW(name, kPort, DC_BINS, reinterpret_cast<LPWSTR>(words), nullptr);
  check(n == 1 && words[0] == DMBIN_USER && words[1] == 0xEEEE, "DC_BINS lists the card feeder (DMBIN_USER)",
        "%d: %u %u", n, words[0], words[1]);
  LONG longs[4] = {-5, -5, -5, -5};
  n = DeviceCapabilitiesW(name, kPort, DC_ENUMRESOLUTIONS, reinterpret_cast<LPWSTR>(longs), nullptr);
  check(n == 1 && longs[0] == 300 && longs[1] == 300 && longs[2] == -5, "DC_ENUMRESOLUTIONS lists 300 x 300 dpi",
        "%d: %ld x %ld", n, longs[0], longs[1]);

  struct Extent {
    WORD cap;
    const char *label;
    DEVMODEW *dm;
    int result;
    LONG x, y;
  };
  const Extent kExtents[] = {
      {DC_PAPERSIZE, "DC_PAPERSIZE in landscape is 86.6 x 54.1 mm", ls, 1, 866, 541},
      {DC_PAPERSIZE, "DC_PAPERSIZE in portrait is 54.1 x 86.6 mm", pt, 1, 541, 866},
      {DC_MAXEXTENT, "DC_MAXEXTENT in portrait", pt, 0, 541, 866},
      {DC_MAXEXTENT, "DC_MAXEXTENT in landscape", ls, 0, 866, 541},
      {DC_MINEXTENT, "DC_MINEXTENT", ls, 0, 1, 1},
  };
  for (const Extent &e : kExtents) {
    POINT p[2] = {{-5, -5}, {-5, -5}};
    n = DeviceCapabilitiesW(name, kPort, e.cap, reinterpret_cast<LPWSTR>(p), e.dm);
    check(n == e.result && p[0].x == e.x && p[0].y == e.y && p[1].x == -5, e.label, "%d: %ld x %ld", n, p[0].x, p[0].y);
  }

  struct Names {
    WORD cap;
    const char *label;
    size_t width;
    const WCHAR *text;
  };
  const Names kNames[] = {
      {DC_BINNAMES, "DC_BINNAMES gives \"Card Feeder\" in a 24-character entry", 24, TEXT("Card Feeder")},
      {DC_PAPERNAMES, "DC_PAPERNAMES gives \"86mmx54mm Card\" in a 64-character entry", 64, TEXT("86mmx54mm Card")},
      {DC_MEDIAREADY, "DC_MEDIAREADY gives \"86mmx54mm Card\" in a 64-character entry", 64, TEXT("86mmx54mm Card")},
  };
  for (const Names &e : kNames) {
    WCHAR buffer[160];
    for (WCHAR &c : buffer) c = 0x2222;
    const int count = DeviceCapabilitiesW(name, kPort, e.cap, nullptr, nullptr);
    n = DeviceCapabilitiesW(name, kPort, e.cap, buffer, nullptr);
    bool padded = true;
    for (size_t i = size_t(lstrlenW(e.text)); i < e.width; ++i) padded = padded && buffer[i] == 0;
    check(count == 1 && n == 1 && sameText(buffer, e.text) && padded && buffer[e.width] == 0x2222, e.label,
          "count %d, %d: \"%s\"", count, n, narrow(buffer).c_str());
  }
}

// The spooler's document events.  Wine's winspool has no DocumentEvent and
// its GDI never calls the module, so the calls are made as Windows' spooler
// makes them: for DOCUMENTEVENT_QUERYFILTER the spooler allocates the filter
// with room for DOCUMENTEVENT_LAST - 1 events, gives its starting values and
// passes it as pvOut (cbOut its size), and pvIn is the DOCEVENT_CREATEDCPRE of
// the CreateDC that follows.
void checkDocumentEvents(HMODULE module, HANDLE printer, std::vector<BYTE> &driverDefault) {
  auto docEvent = exported<DocEventFn>(module, "DrvDocumentEvent");
  const ULONG filterBytes = ULONG(sizeof(DOCEVENT_FILTER) + sizeof(DWORD) * (DOCUMENTEVENT_LAST - 2));
  std::vector<BYTE> block(filterBytes + 16, 0x5C);
  auto *filter = reinterpret_cast<DOCEVENT_FILTER *>(block.data());
  std::memset(filter, 0, filterBytes);
  filter->cbSize = sizeof(DOCEVENT_FILTER);
  filter->cElementsAllocated = DOCUMENTEVENT_LAST - 1;
  filter->cElementsNeeded = 0xFFFFFFFF;
  filter->cElementsReturned = 0xFFFFFFFF;
  WCHAR driver[] = TEXT("Pellor CA3 Card Printer USB");
  WCHAR device[] = TEXT("Pellor CA3 Card Printer USB");
  DOCEVENT_CREATEDCPRE createDc{driver, device, reinterpret_cast<DEVMODEW *>(driverDefault.data()), FALSE};
  const DOCEVENT_CREATEDCPRE before = createDc;
  int r = docEvent(printer, nullptr, DOCUMENTEVENT_QUERYFILTER, sizeof createDc, &createDc, filterBytes, filter);
  checkEq(r, DOCUMENTEVENT_SUCCESS, "DrvDocumentEvent(DOCUMENTEVENT_QUERYFILTER) succeeds");
  check(filter->cElementsReturned == 1 && filter->cElementsNeeded == 0 &&
            filter->aDocEventCall[0] == DOCUMENTEVENT_CREATEDCPRE,
        "the filter asks for DOCUMENTEVENT_CREATEDCPRE alone", "returned %u, needed %u, first %lu",
        filter->cElementsReturned, filter->cElementsNeeded, filter->aDocEventCall[0]);
  check(std::memcmp(&createDc, &before, sizeof createDc) == 0 && block[filterBytes] == 0x5C,
        "the CreateDC arguments are left alone, nothing written past the filter");

  filter->cElementsAllocated = 0;
  filter->cElementsNeeded = filter->cElementsReturned = 0xFFFFFFFF;
  filter->aDocEventCall[0] = 0;
  docEvent(printer, nullptr, DOCUMENTEVENT_QUERYFILTER, sizeof createDc, &createDc, filterBytes, filter);
  check(filter->cElementsNeeded == 1 && filter->cElementsReturned == 0 && filter->aDocEventCall[0] == 0,
        "a filter without room is told one event is needed", "needed %u, returned %u", filter->cElementsNeeded,
        filter->cElementsReturned);
  checkEq(docEvent(printer, nullptr, DOCUMENTEVENT_STARTDOC, 0, nullptr, 0, nullptr), DOCUMENTEVENT_SUCCESS,
          "DrvDocumentEvent(DOCUMENTEVENT_STARTDOC) succeeds");
}

// What Wine's spooler does not call (its SpoolerPrinterEvent is missing, the
// job scheduler never asks DevQueryPrintEx): called as the spooler would.
void checkOtherEntries(HMODULE module, HANDLE printer, std::vector<BYTE> &driverDefault) {
  auto *dm = reinterpret_cast<DEVMODEW *>(driverDefault.data());
  auto printerEvent = exported<PrinterEventFn>(module, "DrvPrinterEvent");
  check(printerEvent(const_cast<LPWSTR>(kPrinterName), PRINTER_EVENT_INITIALIZE, 0, 0) != FALSE,
        "DrvPrinterEvent(PRINTER_EVENT_INITIALIZE) finds the default settings file");
  check(printerEvent(const_cast<LPWSTR>(kPrinterName), PRINTER_EVENT_DELETE, PRINTER_EVENT_FLAG_NO_UI, 0) != FALSE,
        "DrvPrinterEvent(PRINTER_EVENT_DELETE) succeeds");

  WCHAR error[64] = {};
  DEVQUERYPRINT_INFO question{sizeof(DEVQUERYPRINT_INFO), 1, printer, dm, error, 64, 0};
  check(exported<QueryPrintExFn>(module, "DevQueryPrintEx")(&question) != FALSE, "DevQueryPrintEx lets the job print");
  DWORD resource = 0xFFFF;
  check(exported<QueryPrintFn>(module, "DevQueryPrint")(printer, dm, &resource) != FALSE && resource == 0,
        "DevQueryPrint lets the job print with no message", "resource %lu", resource);
  check(exported<PrinterPropsFn>(module, "PrinterProperties")(nullptr, printer) != FALSE,
        "PrinterProperties answers TRUE");
  check(exported<UpgradeFn>(module, "DrvUpgradePrinter")(1, nullptr) != FALSE, "DrvUpgradePrinter answers TRUE");
  checkEq(exported<AdvancedFn>(module, "DrvAdvancedDocumentProperties")(nullptr, printer,
                                                                        const_cast<LPWSTR>(kPrinterName), dm, dm),
          kRecordBytes, "DrvAdvancedDocumentProperties answers 3916");
}

}  // namespace

int main(int argc, char **argv) {
  Paths paths{windowsPath(CARDCFG_DLL), windowsPath(CARDREND_DLL), windowsPath(CARDRES_DLL)};
  if (argc == 4)
    paths = {windowsPath(argv[1]), windowsPath(argv[2]), windowsPath(argv[3])};
  else if (argc != 1) {
    std::fprintf(stderr, "usage: cardwinecheck [cardcfg.dll cardrend.dll cardres.dll]\n");
    return 2;
  }
  std::setvbuf(stdout, nullptr, _IONBF, 0);

  const std::vector<BYTE> defaults = installerDefaultSettings();
  HANDLE printer = install(paths, defaults);
  HMODULE module = printer ? loadModule(printer) : nullptr;
  if (module) {
    void *original = nullptr;
    if (check(
            routeImport(module, "winspool.drv", "GetPrinterW", reinterpret_cast<void *>(&mendedGetPrinter), &original),
            "cardcfg imports GetPrinterW from winspool.drv"))
      g_getPrinter = reinterpret_cast<GetPrinterFn>(original);
    if (check(routeImport(module, "winspool.drv", "SetPrinterW", reinterpret_cast<void *>(&rememberingSetPrinter),
                          &original),
              "cardcfg imports SetPrinterW from winspool.drv"))
      g_setPrinter = reinterpret_cast<SetPrinterFn>(original);
    checkDriverFiles(printer, defaults);
    std::vector<BYTE> driverDefault = checkDriverDefault(module, printer, defaults);
    if (!driverDefault.empty()) {
      checkDocumentProperties(printer, driverDefault);
      checkCapabilities(driverDefault);
      checkDocumentEvents(module, printer, driverDefault);
      checkOtherEntries(module, printer, driverDefault);
    }
  }
  if (printer) ClosePrinter(printer);
  removeInstallation();

  return winecheck::finish();
}
