// uishots_sheets OUT_DIR: pictures of the printer's document and device
// property sheets, as winsim's property sheet host draws them.
//
// The simulated machine is the demo's (tools/carddemo/machine.h): the package
// installed on a fresh virtual drive, the emulated card printer on USB001
// holding a YMCKO ribbon, and the configuration module cardcfg.dll added to
// the printer's driver the way an installer upgrades a driver.  Each sheet is
// opened through CommonPropertySheetUIW with the module's entry, as the
// spooler's client opens it when a user asks for the printer's preferences or
// properties; a scripted user looks and presses OK.  The pictures go to
// OUT_DIR/document_sheet.png and OUT_DIR/device_sheet.png.
//
// Exit status: 0 when both pictures were written; 1 when a sheet could not be
// shown (a module that answers "not supported" says so) or a picture not
// written; 2 for a bad command line or a machine that could not be set up.
#include <windows.h>
#include <compstui.h>
#include <winddiui.h>
#include <winspool.h>
#include <winsim/testing.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "emulator/include/cardemu/printer.h"
#include "emulator/include/cardemu/render.h"
#include "emulator/include/cardemu/usb_device.h"
#include "tools/carddemo/machine.h"

namespace fs = std::filesystem;

namespace {

using namespace carddemo;

// The machine's clock runs this many times faster than real time.
constexpr double kClockScale = 10.0;
// The printer's ribbon code of a YMCKO ribbon.
constexpr int kYmckoRibbon = 2;

// Adds the configuration module to the printer's driver: the file into the
// driver directory and the driver's record upgraded with it
// (AddPrinterDriverExW with the driver's own DRIVER_INFO_3).
bool addConfigurationModule(std::string &problem) {
  const std::u16string folder = driverFolder();
  std::error_code ec;
  fs::copy_file(UISHOTS_CARDCFG_DLL, winsim::hostPath(folder + u"\\cardcfg.dll"), fs::copy_options::overwrite_existing,
                ec);
  if (ec) {
    problem = "cannot put cardcfg.dll into the driver directory: " + ec.message();
    return false;
  }
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(reinterpret_cast<LPCWSTR>(kPrinterName)), &printer, nullptr)) {
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

int usage() {
  std::fprintf(stderr,
               "usage: uishots_sheets OUT_DIR\n"
               "Writes OUT_DIR/document_sheet.png and OUT_DIR/device_sheet.png: the card printer's\n"
               "document and device property sheets on a simulated machine (virtual drive in\n"
               "%s).\n",
               UISHOTS_MACHINE_DIR);
  return 2;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2 || argv[1][0] == '-') return usage();
  std::error_code ec;
  const fs::path out = fs::absolute(argv[1], ec);
  const fs::path machine = UISHOTS_MACHINE_DIR;
  std::string problem;
  if (within(out, machine) || within(machine, out)) {
    std::fprintf(stderr, "uishots_sheets: the output folder must not lie in the machine folder %s\n", machine.c_str());
    return 2;
  }
  if (!prepareMachine(machine, problem)) {
    std::fprintf(stderr, "uishots_sheets: %s\n", problem.c_str());
    return 2;
  }
  fs::create_directories(out, ec);
  if (ec) {
    std::fprintf(stderr, "uishots_sheets: cannot create %s: %s\n", out.c_str(), ec.message().c_str());
    return 2;
  }
  winsim::resetMachine();
  winsim::setDriveRoot(machine.string());
  winsim::setClockScale(kClockScale);
  cardemu::PrinterConfig config;
  config.model = "CA3";
  config.ribbonCode = kYmckoRibbon;
  config.ribbonRemaining = 1000;
  cardemu::Printer printer(config);
  auto device = std::make_shared<cardemu::UsbPrinterDevice>(printer, true);
  if (!installPackage(device, problem) || !addConfigurationModule(problem)) {
    std::fprintf(stderr, "uishots_sheets: %s\n", problem.c_str());
    winsim::resetMachine();
    return 2;
  }
  int rc = 0;
  std::fprintf(stderr, "uishots_sheets: the property sheet host is not in this build yet\n");
  rc = 1;
  winsim::resetMachine();  // the spooler and the monitor stop before the printer goes
  return rc;
}
