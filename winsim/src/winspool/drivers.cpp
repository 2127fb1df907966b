// Printer drivers: added, read, listed and deleted, with their files in the
// environment's version directory and their records in the registry.
#include <algorithm>
#include <cstring>
#include <filesystem>

#include "core/internal.h"
#include "kernel32/process.h"
#include "winspool/client.h"
#include "winspool/drivers.h"
#include "winspool/records.h"
#include "spoolss/spooler_service.h"

using namespace winsim;
using namespace winsim::spool;

namespace winsim::spool {

namespace {

size_t driverInfoSize(DWORD level) {
  switch (level) {
    case 1: return sizeof(DRIVER_INFO_1W);
    case 2: return sizeof(DRIVER_INFO_2W);
    case 3: return sizeof(DRIVER_INFO_3W);
    case 4: return sizeof(DRIVER_INFO_4W);
    default: return 0;
  }
}

// A file the driver keeps is in use while a module is loaded from it.  A
// printer's despooling job goes through that printer's driver, and a printer
// holds its driver until it is deleted, so the printers' check covers jobs.
bool fileInUse(const std::u16string &path) { return moduleLoadedFrom(path); }

// The files other installed drivers of the environment name.
bool sharedWithOtherDriver(const std::u16string &file, const std::u16string &driver, const std::u16string &env) {
  for (const auto &other : driverNames(env)) {
    if (equalsNoCase(other, driver)) continue;
    DriverInfo d;
    if (!readDriver(other, env, d)) continue;
    for (const auto &f : driverFileNames(d))
      if (equalsNoCase(f, file)) return true;
  }
  return false;
}

BOOL fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace

size_t driverRecordSize(DWORD level) { return driverInfoSize(level); }

Record driverRecord(const DriverInfo &d, DWORD level, bool ansi) {
  auto text = [&](const std::u16string &s) { return textBytes(s, ansi); };
  if (level == 1) {
    Record r{DRIVER_INFO_1W{}};
    r.add(offsetof(DRIVER_INFO_1W, pName), text(d.name));
    return r;
  }
  // Levels 2 to 4 begin alike; a longer level adds fields behind them.
  DRIVER_INFO_4W fixed{};
  fixed.cVersion = 3;
  Record r(fixed);
  r.fixed.resize(driverInfoSize(level));
  r.add(offsetof(DRIVER_INFO_4W, pName), text(d.name));
  r.add(offsetof(DRIVER_INFO_4W, pEnvironment), text(d.environment));
  r.add(offsetof(DRIVER_INFO_4W, pDriverPath), text(d.driverPath));
  r.add(offsetof(DRIVER_INFO_4W, pDataFile), text(d.dataFile));
  r.add(offsetof(DRIVER_INFO_4W, pConfigFile), text(d.configFile));
  if (level >= 3) {
    std::vector<std::u16string> deps;
    for (const auto &f : d.dependentFiles) deps.push_back(versionDirectory(d.environment) + u"\\" + f);
    r.add(offsetof(DRIVER_INFO_4W, pHelpFile), text(d.helpFile));
    r.add(offsetof(DRIVER_INFO_4W, pDependentFiles), multiTextBytes(deps, ansi));
    r.add(offsetof(DRIVER_INFO_4W, pMonitorName), text(d.monitor));
    r.add(offsetof(DRIVER_INFO_4W, pDefaultDataType), text(d.datatype));
  }
  if (level == 4) r.add(offsetof(DRIVER_INFO_4W, pszzPreviousNames), multiTextBytes(d.previousNames, ansi));
  return r;
}

BOOL enumDrivers(const std::u16string &environment, bool nullEnvironment, DWORD level, LPBYTE out, DWORD cb,
                 LPDWORD needed, LPDWORD returned, bool ansi) {
  if (returned) *returned = 0;
  std::vector<std::u16string> envs;
  if (nullEnvironment)
    envs = {currentEnvironment()};
  else if (equalsNoCase(environment, u"all"))
    envs = knownEnvironments();
  else if (std::u16string env = normEnvironment(environment.c_str()); !env.empty())
    envs = {env};
  else
    return fail(ERROR_INVALID_ENVIRONMENT);
  if (!driverInfoSize(level)) return fail(ERROR_INVALID_LEVEL);
  std::vector<Record> records;
  for (const auto &env : envs) {
    for (const auto &name : driverNames(env)) {
      DriverInfo d;
      if (readDriver(name, env, d)) records.push_back(driverRecord(d, level, ansi));
    }
  }
  return emitRecords(records, driverInfoSize(level), out, cb, needed, returned);
}

BOOL deleteDriver(const std::u16string &environment, bool nullEnvironment, const std::u16string &driver, DWORD flags,
                  DWORD version) {
  std::u16string env = nullEnvironment ? currentEnvironment() : normEnvironment(environment.c_str());
  if (env.empty()) return fail(ERROR_INVALID_ENVIRONMENT);
  const DWORD known = DPD_DELETE_UNUSED_FILES | DPD_DELETE_SPECIFIC_VERSION | DPD_DELETE_ALL_FILES;
  if (driver.empty() || (flags & ~known) || ((flags & DPD_DELETE_SPECIFIC_VERSION) && version > 3))
    return fail(ERROR_INVALID_PARAMETER);
  DriverInfo d;
  // Only version-3 drivers are kept: another version is not installed.
  if (((flags & DPD_DELETE_SPECIFIC_VERSION) && version != 3) || !readDriver(driver, env, d))
    return fail(ERROR_UNKNOWN_PRINTER_DRIVER);
  if (env == currentEnvironment() && !printersUsingDriver(d.name).empty()) return fail(ERROR_PRINTER_DRIVER_IN_USE);
  const std::u16string dir = versionDirectory(env) + u"\\";
  std::vector<std::u16string> doomed;
  if (flags & (DPD_DELETE_UNUSED_FILES | DPD_DELETE_ALL_FILES)) {
    for (const auto &f : driverFileNames(d)) {
      bool shared = sharedWithOtherDriver(f, d.name, env);
      // All or nothing: one file another driver names, or one loaded, keeps
      // the whole driver.
      if ((flags & DPD_DELETE_ALL_FILES) && (shared || fileInUse(dir + f))) return fail(ERROR_PRINTER_DRIVER_IN_USE);
      if (!shared) doomed.push_back(f);
    }
  }
  if (RegDeleteTreeW(HKEY_LOCAL_MACHINE, (driversKey(env) + u"\\" + d.name).c_str()) != ERROR_SUCCESS)
    return fail(ERROR_UNKNOWN_PRINTER_DRIVER);
  // A loaded file leaves the folder as Windows moves it aside; its module
  // keeps its image until it is unloaded.
  for (const auto &f : doomed) {
    std::string host;
    std::error_code ec;
    if (mapPath((dir + f).c_str(), host)) std::filesystem::remove(host, ec);
  }
  return TRUE;
}

}  // namespace winsim::spool

extern "C" {

// ------------------------------------------------------------ drivers

BOOL WINAPI AddPrinterDriverW(LPWSTR pName, DWORD Level, LPBYTE pDriverInfo) {
  if (!spoolerAnswers()) return FALSE;
  (void)pName;
  return addDriver(Level, pDriverInfo, APD_COPY_NEW_FILES);
}

BOOL WINAPI AddPrinterDriverExW(LPWSTR pName, DWORD Level, LPBYTE pDriverInfo, DWORD dwFileCopyFlags) {
  if (!spoolerAnswers()) return FALSE;
  (void)pName;
  return addDriver(Level, pDriverInfo, dwFileCopyFlags);
}

BOOL WINAPI GetPrinterDriverW(HANDLE hPrinter, LPWSTR pEnvironment, DWORD Level, LPBYTE pDriverInfo, DWORD cbBuf,
                              LPDWORD pcbNeeded) {
  if (!spoolerAnswers()) return FALSE;
  PrinterHandle *h = handleOf(hPrinter);
  if (!h || h->name.empty()) return fail(ERROR_INVALID_HANDLE);
  std::u16string env = normEnvironment(pEnvironment);
  if (env.empty()) return fail(ERROR_INVALID_ENVIRONMENT);
  if (!driverInfoSize(Level)) return fail(ERROR_INVALID_LEVEL);
  HKEY k = openPrinterKey(h->name);
  if (!k) return fail(ERROR_INVALID_PRINTER_NAME);
  std::u16string driverName = readString(k, u"Printer Driver");
  RegCloseKey(k);
  DriverInfo d;
  if (!readDriver(driverName, env, d)) return fail(ERROR_UNKNOWN_PRINTER_DRIVER);
  return emitRecords({driverRecord(d, Level, false)}, driverInfoSize(Level), pDriverInfo, cbBuf, pcbNeeded, nullptr);
}

BOOL WINAPI EnumPrinterDriversW(LPWSTR pName, LPWSTR pEnvironment, DWORD Level, LPBYTE pDriverInfo, DWORD cbBuf,
                                LPDWORD pcbNeeded, LPDWORD pcReturned) {
  if (!spoolerAnswers()) return FALSE;
  (void)pName;
  return enumDrivers(fromW(pEnvironment), !pEnvironment, Level, pDriverInfo, cbBuf, pcbNeeded, pcReturned, false);
}

BOOL WINAPI GetPrinterDriverDirectoryW(LPWSTR pName, LPWSTR pEnvironment, DWORD Level, LPBYTE pDriverDirectory,
                                       DWORD cbBuf, LPDWORD pcbNeeded) {
  if (!spoolerAnswers()) return FALSE;
  (void)pName;
  if (Level != 1) return fail(ERROR_INVALID_LEVEL);
  std::u16string env = normEnvironment(pEnvironment);
  if (env.empty()) return fail(ERROR_INVALID_ENVIRONMENT);
  std::u16string dir = driverDirectory(env);
  DWORD need = DWORD((dir.size() + 1) * 2);
  if (pcbNeeded) *pcbNeeded = need;
  if (!pDriverDirectory || cbBuf < need) return fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(pDriverDirectory, dir.c_str(), need);
  return TRUE;
}

// The ANSI form: the same folder in the ANSI code page; the size needed is
// in bytes of that text.
BOOL WINAPI GetPrinterDriverDirectoryA(LPSTR pName, LPSTR pEnvironment, DWORD Level, LPBYTE pDriverDirectory,
                                       DWORD cbBuf, LPDWORD pcbNeeded) {
  (void)pName;
  std::u16string env = fromAnsi(pEnvironment);
  LPWSTR envW = pEnvironment ? reinterpret_cast<LPWSTR>(env.data()) : nullptr;
  DWORD needW = 0;
  GetPrinterDriverDirectoryW(nullptr, envW, Level, nullptr, 0, &needW);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return FALSE;  // the wide call's error stands
  std::u16string dir(needW / 2, u'\0');
  if (!GetPrinterDriverDirectoryW(nullptr, envW, Level, reinterpret_cast<LPBYTE>(dir.data()), needW, &needW))
    return FALSE;
  dir.resize(dir.size() - 1);
  std::vector<BYTE> text = textBytes(dir, true);
  if (pcbNeeded) *pcbNeeded = DWORD(text.size());
  if (!pDriverDirectory || cbBuf < text.size()) return fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(pDriverDirectory, text.data(), text.size());
  return TRUE;
}

// The driver leaves the list; its files stay.
BOOL WINAPI DeletePrinterDriverW(LPWSTR pName, LPWSTR pEnvironment, LPWSTR pDriverName) {
  if (!spoolerAnswers()) return FALSE;
  (void)pName;
  return deleteDriver(fromW(pEnvironment), !pEnvironment, fromW(pDriverName), 0, 0);
}

BOOL WINAPI DeletePrinterDriverExW(LPWSTR pName, LPWSTR pEnvironment, LPWSTR pDriverName, DWORD dwDeleteFlag,
                                   DWORD dwVersionFlag) {
  if (!spoolerAnswers()) return FALSE;
  (void)pName;
  return deleteDriver(fromW(pEnvironment), !pEnvironment, fromW(pDriverName), dwDeleteFlag, dwVersionFlag);
}

}  // extern "C"
