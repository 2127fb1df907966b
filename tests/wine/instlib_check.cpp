// instlibwinecheck: the x64 installer library against a real Win32 spooler.
//
// Calls instlib.dll's exports by name, in the order an installer does, and
// reads every result back through the spooler's own enumerations: the
// driver directory, the network driver added and deleted, the network
// monitor added and deleted, a printer added and deleted, the spooler
// stopped and started.  It runs under Wine (`./run test`); where Wine lacks
// what a step needs, the check says so and skips the step.
//
// Usage: instlibwinecheck [instlib.dll cardrend.dll cardcfg.dll netmon.dll]
// (host or Windows paths; by default the modules of the build that made it).
#include <windows.h>
#include <winspool.h>

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

const WCHAR kDriver[] = TEXT("Pellor Standard Network");
const WCHAR kMonitor[] = TEXT("Pellor Standard Network Language Monitor");
const WCHAR kPrinter[] = TEXT("Pellor Card Network Check");
const WCHAR kPort[] = TEXT("LPT1:");

template <typename F>
F exported(HMODULE module, const char *name) {
  F f = reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
  check(f != nullptr, name, "not exported");
  return f;
}

// Whether the spooler lists a driver of that name in the x64 environment.
bool driverListed(const WCHAR *name) {
  DWORD needed = 0, count = 0;
  WCHAR env[] = TEXT("Windows x64");
  EnumPrinterDriversW(nullptr, env, 1, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed ? needed : 1);
  if (!EnumPrinterDriversW(nullptr, env, 1, buffer.data(), needed, &needed, &count)) return false;
  const auto *drivers = reinterpret_cast<const DRIVER_INFO_1W *>(buffer.data());
  for (DWORD i = 0; i < count; ++i)
    if (lstrcmpiW(drivers[i].pName, name) == 0) return true;
  return false;
}

// The attributes of a local printer of that name, or nothing.
bool printerListed(const WCHAR *name, DWORD &attributes) {
  DWORD needed = 0, count = 0;
  EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed ? needed : 1);
  if (!EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &needed, &count)) return false;
  const auto *printers = reinterpret_cast<const PRINTER_INFO_2W *>(buffer.data());
  for (DWORD i = 0; i < count; ++i)
    if (lstrcmpiW(printers[i].pPrinterName, name) == 0) {
      attributes = printers[i].Attributes;
      return true;
    }
  return false;
}

bool monitorListed(const WCHAR *name) {
  DWORD needed = 0, count = 0;
  EnumMonitorsW(nullptr, 1, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed ? needed : 1);
  if (!EnumMonitorsW(nullptr, 1, buffer.data(), needed, &needed, &count)) return false;
  const auto *monitors = reinterpret_cast<const MONITOR_INFO_1W *>(buffer.data());
  for (DWORD i = 0; i < count; ++i)
    if (lstrcmpiW(monitors[i].pName, name) == 0) return true;
  return false;
}

struct Modules {
  WString instlib, cardrend, cardcfg, netmon;
};

// The driver's files into the driver directory, the default settings file
// written there by the library, the driver added and read back.
bool addDriver(HMODULE lib, const Modules &m) {
  WCHAR folder[130] = {};
  if (!check(exported<DWORD(WINAPI *)(LPWSTR)>(lib, "ELTNGetDriverPath")(folder) == 0 && folder[0],
             "ELTNGetDriverPath gives the driver directory"))
    return false;
  WCHAR expected[MAX_PATH] = {};
  DWORD needed = 0;
  GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<BYTE *>(expected), sizeof expected, &needed);
  check(lstrcmpiW(folder, expected) == 0, "ELTNGetDriverPath equals GetPrinterDriverDirectoryW");
  const WString dir = WString(folder) + TEXT("\\");
  bool copied = CopyFileW(m.cardrend.c_str(), (dir + TEXT("cardrendnet.dll")).c_str(), FALSE) &&
                CopyFileW(m.cardcfg.c_str(), (dir + TEXT("cardcfgnet.dll")).c_str(), FALSE);
  if (!check(copied, "driver files copied into the driver directory", "error %lu", GetLastError())) return false;
  auto customFile = exported<DWORD(WINAPI *)(LPCWSTR, const DWORD *)>(lib, "ELTNCustomeFile");
  checkEq(customFile((dir + TEXT("cardnet.dat")).c_str(), nullptr), 0, "ELTNCustomeFile writes the data file");
  auto add = exported<DWORD(WINAPI *)(LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR,
                                      LPCWSTR)>(lib, "ELTNAddPrinterDriver");
  const DWORD added = add(kDriver, TEXT("cardrendnet.dll"), TEXT("cardnet.dat"), TEXT("cardcfgnet.dll"), TEXT(""),
                          nullptr, nullptr, nullptr, nullptr, nullptr);
  checkEq(added, 0, "ELTNAddPrinterDriver adds the network driver");
  return check(driverListed(kDriver), "EnumPrinterDriversW lists the driver in \"Windows x64\"");
}

void printerSteps(HMODULE lib) {
  auto addPrinter = exported<DWORD(WINAPI *)(LPCWSTR, LPCWSTR, LPCWSTR)>(lib, "ELTNAddPrinter");
  if (checkEq(addPrinter(kPrinter, kPort, kDriver), 0, "ELTNAddPrinter adds the printer")) {
    DWORD attributes = 0;
    if (check(printerListed(kPrinter, attributes), "EnumPrintersW lists the printer"))
      check((attributes & PRINTER_ATTRIBUTE_QUEUED) != 0, "a \"Network\" printer is queued", "attributes %#lx",
            attributes);
    checkEq(exported<DWORD(WINAPI *)(LPCWSTR)>(lib, "ELTNIsPrinterExist")(kPrinter), 1, "ELTNIsPrinterExist: 1");
    checkEq(exported<DWORD(WINAPI *)()>(lib, "ELTNGetEthernetPrinterCount")(), 1,
            "ELTNGetEthernetPrinterCount counts it");
    checkEq(exported<DWORD(WINAPI *)(LPCWSTR, DWORD)>(lib, "ELTNDeletePrinter")(kPrinter, 0), 0,
            "ELTNDeletePrinter deletes it");
    DWORD ignored = 0;
    check(!printerListed(kPrinter, ignored), "EnumPrintersW no longer lists it");
  }
  checkEq(exported<DWORD(WINAPI *)(LPCWSTR)>(lib, "ELTNIsPrinterExist")(TEXT("No Such Card Printer")), 0,
          "ELTNIsPrinterExist: 0 for a missing printer");
}

void monitorSteps(HMODULE lib, const Modules &m) {
  WCHAR system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  if (!check(CopyFileW(m.netmon.c_str(), (WString(system) + TEXT("\\netmon.dll")).c_str(), FALSE) != FALSE,
             "netmon.dll copied into the system directory", "error %lu", GetLastError()))
    return;
  const DWORD added = exported<DWORD(WINAPI *)(LPCWSTR, LPCWSTR)>(lib, "ELTNAddMonitor")(kMonitor, TEXT("netmon.dll"));
  if (added != 0 && underWine()) {
    note("Wine's spooler does not load this monitor (AddMonitorW failed); the monitor steps are skipped");
    return;
  }
  checkEq(added, 0, "ELTNAddMonitor adds the network monitor");
  check(monitorListed(kMonitor), "EnumMonitorsW lists the monitor");
  checkEq(exported<DWORD(WINAPI *)(LPCWSTR)>(lib, "ELTNDeleteMonitor")(kMonitor), 0, "ELTNDeleteMonitor deletes it");
  check(!monitorListed(kMonitor), "EnumMonitorsW no longer lists it");
}

void spoolerSteps(HMODULE lib) {
  const DWORD stopped = exported<DWORD(WINAPI *)()>(lib, "StopSpooler")();
  if (stopped != 0 && underWine()) {
    std::printf("note Wine's service manager did not stop the spooler (error %lu); the spooler steps are skipped\n",
                stopped);
    return;
  }
  checkEq(stopped, 0, "StopSpooler stops the spooler");
  checkEq(exported<DWORD(WINAPI *)()>(lib, "StartSpooler")(), 0, "StartSpooler starts it again");
  DWORD needed = 0, count = 0;
  EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 1, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed ? needed : 1);
  check(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 1, buffer.data(), needed, &needed, &count) != FALSE,
        "the spooler answers after the start", "error %lu", GetLastError());
}

}  // namespace

int main(int argc, char **argv) {
  Modules m{windowsPath(INSTLIB_DLL), windowsPath(CARDREND_DLL), windowsPath(CARDCFG_DLL), windowsPath(NETMON_DLL)};
  if (argc == 5) {
    m = Modules{windowsPath(argv[1]), windowsPath(argv[2]), windowsPath(argv[3]), windowsPath(argv[4])};
  } else if (argc != 1) {
    std::fprintf(stderr, "usage: instlibwinecheck [instlib.dll cardrend.dll cardcfg.dll netmon.dll]\n");
    return 2;
  }
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  HMODULE lib = LoadLibraryW(m.instlib.c_str());
  if (!check(lib != nullptr, "instlib.dll loads", "error %lu", GetLastError())) return winecheck::finish();
  if (addDriver(lib, m)) {
    printerSteps(lib);
    const DWORD deleted = exported<DWORD(WINAPI *)(LPCWSTR)>(lib, "ELTNDeletePrinterDriver")(kDriver);
    if (deleted == ERROR_INVALID_PARAMETER && underWine()) {
      // Documented: DPD_DELETE_ALL_FILES deletes the driver with its files.
      note(
          "Wine's DeletePrinterDriverExW refuses DPD_DELETE_ALL_FILES (error 87); the driver is taken away "
          "with DeletePrinterDriverW instead");
      WCHAR env[] = TEXT("Windows x64");
      DeletePrinterDriverW(nullptr, env, const_cast<LPWSTR>(kDriver));
    } else {
      checkEq(deleted, 0, "ELTNDeletePrinterDriver deletes the driver");
      check(!driverListed(kDriver), "EnumPrinterDriversW no longer lists it");
    }
  }
  monitorSteps(lib, m);
  spoolerSteps(lib);
  FreeLibrary(lib);
  return winecheck::finish();
}
