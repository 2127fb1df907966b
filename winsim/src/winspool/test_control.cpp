// Test control of the spooler: printers installed directly, waits for the
// queues, the jobs' records and bytes, and port responders.
#include <algorithm>
#include <cstring>
#include <filesystem>

#include "core/internal.h"
#include "winspool/client.h"

using namespace winsim::spool;

namespace winsim {

bool installPrinter(const PrinterSetup &s) {
  std::u16string env = spool::currentEnvironment();
  std::u16string dir = spool::driverDirectory(env) + u"\\3\\";
  auto place = [&](const std::string &host, std::u16string &virt) {
    virt.clear();
    if (host.empty()) return true;
    std::u16string base = toUtf16(std::filesystem::path(host).filename().string());
    virt = dir + base;
    std::string target = hostPath(virt);
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(target).parent_path(), ec);
    if (target.empty()) return false;
    // Copied beside and renamed into place: a module that is loaded from the
    // old file keeps its own copy, as Windows keeps an in-use DLL.
    std::string temp = target + ".installing";
    if (!std::filesystem::copy_file(host, temp, std::filesystem::copy_options::overwrite_existing, ec)) return false;
    std::filesystem::rename(temp, target, ec);
    return !ec;
  };
  std::u16string drv, config, data;
  if (!place(s.graphicsDll, drv) || !place(s.configDll, config) || !place(s.dataFile, data)) return false;
  std::u16string driverName = s.driverName.empty() ? s.printerName + u" Driver" : s.driverName;
  DRIVER_INFO_3W di{};
  di.cVersion = 3;
  di.pName = driverName.data();
  std::u16string envCopy = env;
  di.pEnvironment = envCopy.data();
  std::u16string none;
  di.pDriverPath = drv.empty() ? none.data() : drv.data();
  di.pDataFile = data.empty() ? nullptr : data.data();
  di.pConfigFile = config.empty() ? nullptr : config.data();
  std::u16string monitor = s.monitorName;
  di.pMonitorName = monitor.empty() ? nullptr : monitor.data();
  std::u16string datatype = u"RAW";
  di.pDefaultDataType = datatype.data();
  if (drv.empty()) {
    // A driver without a graphics DLL is still recorded, for the spooler's
    // own tests.
    HKEY k;
    std::u16string path = spool::driversKey(env) + u"\\" + driverName;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) !=
        ERROR_SUCCESS)
      return false;
    spool::writeString(k, u"Driver", u"");
    spool::writeString(k, u"Monitor", monitor);
    RegCloseKey(k);
  } else if (!AddPrinterDriverW(nullptr, 3, reinterpret_cast<LPBYTE>(&di))) {
    return false;
  }
  PRINTER_INFO_2W pi{};
  std::u16string name = s.printerName, port = s.portName;
  pi.pPrinterName = name.data();
  pi.pDriverName = driverName.data();
  pi.pPortName = port.data();
  if (s.defaultDevMode.size() >= offsetof(DEVMODEW, dmFields)) {
    auto *dm = reinterpret_cast<const DEVMODEW *>(s.defaultDevMode.data());
    if (size_t(dm->dmSize) + dm->dmDriverExtra <= s.defaultDevMode.size()) pi.pDevMode = const_cast<DEVMODEW *>(dm);
  }
  HANDLE h = spool::addPrinter(nullptr, 2, reinterpret_cast<LPBYTE>(&pi), s.askDriverDefault);
  if (!h) return false;
  ClosePrinter(h);
  return true;
}

bool waitForSpoolerIdle(const std::u16string &printer, DWORD timeoutMs) {
  // Real time, whatever the clock's scale: the bound guards the test's own
  // progress, and a slow machine (a sanitizer build, a busy CI host) must
  // not turn a job that is merely slow into a failure.
  std::unique_lock<std::recursive_mutex> lk(spool::g_lock);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  return spool::g_queueCv.wait_until(lk, deadline, [&] { return spool::queuesIdle(printer); });
}

bool setPrinterWorkOffline(const std::u16string &printer, bool offline) {
  HKEY k = spool::openPrinterKey(printer);
  if (!k) return false;
  DWORD attributes = spool::readDword(k, u"Attributes", PRINTER_ATTRIBUTE_LOCAL);
  if (offline)
    attributes |= PRINTER_ATTRIBUTE_WORK_OFFLINE;
  else
    attributes &= ~DWORD(PRINTER_ATTRIBUTE_WORK_OFFLINE);
  spool::writeDword(k, u"Attributes", attributes);
  RegCloseKey(k);
  std::lock_guard<std::recursive_mutex> g(spool::g_lock);
  spool::g_queueCv.notify_all();
  return true;
}

bool setPrinterServerName(const std::u16string &printer, const std::u16string &serverName) {
  HKEY k = spool::openPrinterKey(printer);
  if (!k) return false;
  spool::writeString(k, spool::kServerNameValue, serverName);
  RegCloseKey(k);
  return true;
}

// The records are read once the printer's queue is done with its jobs, so
// that a test sees what reached the port.
std::vector<JobRecord> printJobs(const std::u16string &printer) {
  waitForSpoolerIdle(printer);
  std::lock_guard<std::recursive_mutex> g(spool::g_lock);
  std::vector<JobRecord> out;
  for (DWORD id : spool::g_jobOrder) {
    auto it = spool::g_jobs.find(id);
    if (it == spool::g_jobs.end()) continue;
    if (!printer.empty() && !equalsNoCase(it->second.rec.printer, printer)) continue;
    out.push_back(it->second.rec);
  }
  return out;
}

std::vector<uint8_t> jobBytes(DWORD jobId) {
  waitForSpoolerIdle();
  std::lock_guard<std::recursive_mutex> g(spool::g_lock);
  auto it = spool::g_jobs.find(jobId);
  return it == spool::g_jobs.end() ? std::vector<uint8_t>() : it->second.rec.bytes;
}

void setPortResponder(const std::u16string &portName, PortResponder responder) {
  std::lock_guard<std::recursive_mutex> g(spool::g_lock);
  if (responder)
    spool::g_responders[upper(portName)] = std::move(responder);
  else
    spool::g_responders.erase(upper(portName));
}

}  // namespace winsim
