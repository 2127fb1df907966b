// Printer drivers: installed into the driver directory and the registry.
#include <algorithm>
#include <cstring>
#include <filesystem>

#include "core/internal.h"
#include "winspool/client.h"
#include "spoolss/spooler_service.h"

using namespace winsim;
using namespace winsim::spool;

extern "C" {

// ------------------------------------------------------------ drivers

BOOL WINAPI AddPrinterDriverW(LPWSTR pName, DWORD Level, LPBYTE pDriverInfo) {
  if (!spoolerAnswers()) return FALSE;
  (void)pName;
  return addDriver(Level, pDriverInfo);
}

BOOL WINAPI AddPrinterDriverExW(LPWSTR pName, DWORD Level, LPBYTE pDriverInfo, DWORD dwFileCopyFlags) {
  if (!spoolerAnswers()) return FALSE;
  (void)pName;
  (void)dwFileCopyFlags;
  return addDriver(Level, pDriverInfo);
}

BOOL WINAPI GetPrinterDriverW(HANDLE hPrinter, LPWSTR pEnvironment, DWORD Level, LPBYTE pDriverInfo, DWORD cbBuf,
                              LPDWORD pcbNeeded) {
  if (!spoolerAnswers()) return FALSE;
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
      std::vector<std::pair<size_t, size_t>> fix = {
          {offsetof(DRIVER_INFO_2W, pName), pk.addString(d.name)},
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
    default: SetLastError(ERROR_INVALID_LEVEL); return FALSE;
  }
}

BOOL WINAPI GetPrinterDriverDirectoryW(LPWSTR pName, LPWSTR pEnvironment, DWORD Level, LPBYTE pDriverDirectory,
                                       DWORD cbBuf, LPDWORD pcbNeeded) {
  if (!spoolerAnswers()) return FALSE;
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

// The ANSI form: the same folder in the ANSI code page; the size needed is
// in bytes of that text.
BOOL WINAPI GetPrinterDriverDirectoryA(LPSTR pName, LPSTR pEnvironment, DWORD Level, LPBYTE pDriverDirectory,
                                       DWORD cbBuf, LPDWORD pcbNeeded) {
  (void)pName;
  WCHAR env[64];
  LPWSTR envW = nullptr;
  if (pEnvironment) {
    if (!MultiByteToWideChar(CP_ACP, 0, pEnvironment, -1, env, 64)) {
      SetLastError(ERROR_INVALID_ENVIRONMENT);
      return FALSE;
    }
    envW = env;
  }
  DWORD needW = 0;
  GetPrinterDriverDirectoryW(nullptr, envW, Level, nullptr, 0, &needW);
  if (needW == 0) return FALSE;  // the wide call's error stands
  std::u16string dir(needW / 2, u'\0');
  if (!GetPrinterDriverDirectoryW(nullptr, envW, Level, reinterpret_cast<LPBYTE>(dir.data()), needW, &needW))
    return FALSE;
  int need = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(dir.c_str()), -1, nullptr, 0, nullptr, nullptr);
  if (pcbNeeded) *pcbNeeded = DWORD(need);
  if (!pDriverDirectory || cbBuf < DWORD(need)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(dir.c_str()), -1, reinterpret_cast<LPSTR>(pDriverDirectory),
                      need, nullptr, nullptr);
  return TRUE;
}

BOOL WINAPI DeletePrinterDriverW(LPWSTR pName, LPWSTR pEnvironment, LPWSTR pDriverName) {
  if (!spoolerAnswers()) return FALSE;
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

}  // extern "C"
