#include "tools/carddemo/machine.h"

#include <windows.h>
#include <winspool.h>

#include <fstream>
#include <vector>

namespace carddemo {

namespace {

// A machine folder carries this file from the moment carddemo makes it; only
// a folder that carries it is ever emptied, so that a mistyped --machine
// cannot take a user's files with it.
const char kMachineMarker[] = ".carddemo-machine";

bool isMarkedMachine(const fs::path &dir) {
  std::error_code ec;
  return fs::symlink_status(dir / kMachineMarker, ec).type() == fs::file_type::regular;
}

bool emptyMarkedMachine(const fs::path &dir, std::string &problem) {
  std::error_code ec;
  std::vector<fs::path> entries;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
    if (it->path().filename() != kMachineMarker) entries.push_back(it->path());
  for (const fs::path &e : entries)
    if (!ec) fs::remove_all(e, ec);
  if (ec) problem = "cannot empty the machine folder " + dir.string() + ": " + ec.message();
  return !ec;
}

}  // namespace

bool prepareMachine(const fs::path &dir, std::string &problem) {
  std::error_code ec;
  const fs::file_status st = fs::symlink_status(dir, ec);
  if (st.type() == fs::file_type::not_found) {
    if (!fs::create_directories(dir, ec) && ec) {
      problem = "cannot create the machine folder " + dir.string() + ": " + ec.message();
      return false;
    }
  } else if (st.type() != fs::file_type::directory) {
    problem = dir.string() + " is not a folder; --machine needs a new, empty or earlier machine folder";
    return false;
  } else if (isMarkedMachine(dir)) {
    return emptyMarkedMachine(dir, problem);
  } else if (!fs::is_empty(dir, ec) || ec) {
    problem = dir.string() + " holds files that carddemo did not put there (it has no " + kMachineMarker +
              " file); it is left as it is: remove it yourself, or name a new or empty folder with --machine";
    return false;
  }
  std::ofstream marker(dir / kMachineMarker);
  marker << "carddemo's simulated machine: the next carddemo run that uses this folder empties it.\n";
  marker.close();
  if (!marker) {
    problem = "cannot write " + (dir / kMachineMarker).string();
    return false;
  }
  return true;
}

bool within(const fs::path &inner, const fs::path &outer) {
  const fs::path a = inner.lexically_normal(), b = outer.lexically_normal();
  auto i = a.begin(), j = b.begin();
  for (; j != b.end() && !j->empty(); ++i, ++j)
    if (i == a.end() || *i != *j) return false;
  return true;
}

void clearOutputs(const fs::path &out) {
  std::error_code ec;
  for (const auto &e : fs::directory_iterator(out, ec)) {
    const std::string name = e.path().filename().string();
    const bool ours =
        name == "job.prn" || name == "listing.txt" || name == "uninstall.txt" || name == "pacing.txt" ||
        name == "cardribbon.INI" || name == "tray.png" ||
        (name.rfind("message_", 0) == 0 && e.path().extension() == ".png") ||
        (name.rfind("card_", 0) == 0 && (e.path().extension() == ".png" || e.path().extension() == ".txt"));
    if (ours && e.is_regular_file()) fs::remove(e.path(), ec);
  }
}

std::u16string driverFolder() {
  WCHAR dir[MAX_PATH] = {};
  DWORD needed = 0;
  if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(dir), sizeof dir, &needed)) return {};
  return std::u16string(reinterpret_cast<const char16_t *>(dir)) + u"\\3";
}

void playTheSpooler() {
  winsim::setProcessImageName(u"spoolsv.exe");
  winsim::setProcessSessionId(0);
  winsim::setConsoleSession(1);
}

namespace {

bool putFile(const fs::path &from, const fs::path &dir, const char *name, const char *where, std::string &problem) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  fs::copy_file(from, dir / name, fs::copy_options::overwrite_existing, ec);
  if (ec) problem = std::string("cannot put ") + name + " into " + where + ": " + ec.message();
  return !ec;
}

// The spooler's process, the notification server in the driver directory
// and the tray program in the system folder, as the package's installer
// puts them.  The spooler runs in the service session,
// where the monitors' messages cannot be seen: the notification server takes
// them to the console user's session (1).
bool installCommon(fs::path &driverDir, std::string &problem) {
  playTheSpooler();
  const std::u16string folder = driverFolder();
  if (folder.empty()) {
    problem = "the spooler names no driver directory";
    return false;
  }
  driverDir = winsim::hostPath(folder);
  // The package's data files that the configuration module reads beside the
  // driver: the ribbon names and the colour preview picture.
  const fs::path package = CARD_PACKAGE_DIR;
  return putFile(package / "cardribbon.INI", driverDir, "cardribbon.INI", "the driver directory", problem) &&
         putFile(package / "cardcc.BMP", driverDir, "cardcc.BMP", "the driver directory", problem) &&
         putFile(CARDDEMO_NOTIFYSRV_DLL, driverDir, "notifysrv.dll", "the driver directory", problem) &&
         putFile(CARDDEMO_NOTIFYTRAY_EXE, winsim::hostPath(kSystemFolder), "notifytray.exe", "the system folder",
                 problem);
}

}  // namespace

bool installPackage(std::shared_ptr<winsim::UsbDevice> device, std::string &problem) {
  // The monitor loads its message library and the notification server from
  // the version-3 folder of the driver directory.
  fs::path driverDir;
  if (!installCommon(driverDir, problem)) return false;
  if (!putFile(CARDDEMO_CARDRES_DLL, driverDir, "cardres.dll", "the driver directory", problem)) return false;
  if (!winsim::installMonitor(kMonitorName, CARDDEMO_USBMON_DLL)) {
    problem = "installing the USB language monitor failed (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  if (!winsim::attachUsbDevice(kPortName, std::move(device))) {
    problem = "cannot plug the printer into USB001";
    return false;
  }
  winsim::PrinterSetup setup;
  setup.printerName = kPrinterName;
  setup.driverName = kDriverName;
  setup.graphicsDll = CARDDEMO_CARDREND_DLL;
  setup.monitorName = kMonitorName;
  setup.portName = kPortName;
  if (!winsim::installPrinter(setup)) {
    problem = std::string("installing the printer failed (driver ") + CARDDEMO_CARDREND_DLL + ")";
    return false;
  }
  return true;
}

// Adds the configuration module to the printer's driver: the file into the
// driver directory and the driver's record upgraded with it
// (AddPrinterDriverExW with the driver's own DRIVER_INFO_3).
bool addConfigurationModule(const fs::path &dll, std::string &problem, const char16_t *printerName) {
  const std::u16string folder = driverFolder();
  std::error_code ec;
  fs::copy_file(dll, winsim::hostPath(folder + u"\\cardcfg.dll"), fs::copy_options::overwrite_existing, ec);
  if (ec) {
    problem = "cannot put cardcfg.dll into the driver directory: " + ec.message();
    return false;
  }
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(reinterpret_cast<LPCWSTR>(printerName)), &printer, nullptr)) {
    problem = "cannot open the printer (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  DWORD needed = 0;
  GetPrinterDriverW(printer, nullptr, 3, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed);
  bool ok = needed > 0 && GetPrinterDriverW(printer, nullptr, 3, buffer.data(), needed, &needed);
  ClosePrinter(printer);
  if (!ok) {
    problem = "cannot read the printer's driver (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  auto *info = reinterpret_cast<DRIVER_INFO_3W *>(buffer.data());
  std::u16string config = folder + u"\\cardcfg.dll";
  info->pConfigFile = reinterpret_cast<LPWSTR>(config.data());
  if (!AddPrinterDriverExW(nullptr, 3, buffer.data(), APD_COPY_NEW_FILES)) {
    problem = "cannot add the configuration module to the driver (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  return true;
}

}  // namespace carddemo
