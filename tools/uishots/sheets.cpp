// uishots_sheets OUT_DIR: pictures of the printer's document and device
// property sheets, as winsim's property sheet host draws them.
//
// The simulated machine is the demo's (tools/carddemo/machine.h): the package
// installed on a fresh virtual drive, the emulated card printer on USB001
// holding a YMCKO ribbon, and the configuration module cardcfg.dll added to
// the printer's driver the way an installer upgrades a driver.  Each sheet is
// opened as a user opens the printer's preferences (DocumentPropertiesW with
// a prompt) and its properties (PrinterProperties): the spooler's client
// hands the module's sheet entry to the property sheet host; a scripted user
// looks and presses OK.  The pictures go to
// OUT_DIR/document_sheet.png and OUT_DIR/device_sheet.png.
//
// Exit status: 0 when both pictures were written; 1 when a sheet could not be
// shown (a module that answers "not supported" says so) or a picture not
// written; 2 for a bad command line or a machine that could not be set up.
#include <windows.h>
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

// Shows one of the printer's sheets by `open` (which returns what the
// spooler's client call returned, and its last error) and writes the picture
// of its first page.
template <typename Open>
bool shootSheet(const char *what, Open open, const fs::path &png) {
  const size_t shownBefore = winsim::shownSheets().size();
  SetLastError(0);
  const LONG answer = open();
  const DWORD error = GetLastError();
  std::vector<winsim::ShownSheet> shown = winsim::shownSheets();
  for (const winsim::ShownSheet &fault : winsim::takeSheetFaults())
    std::fprintf(stderr, "uishots_sheets: the %s \"%s\": %s\n", what, winsim::toUtf8(fault.title).c_str(),
                 winsim::toUtf8(fault.fault).c_str());
  if (answer <= 0 || shown.size() == shownBefore) {
    if (error == ERROR_NOT_SUPPORTED)
      std::fprintf(stderr, "uishots_sheets: the configuration module answers \"not supported\" for the %s\n", what);
    else
      std::fprintf(stderr, "uishots_sheets: the %s was not shown (%ld, error %lu)\n", what, static_cast<long>(answer),
                   static_cast<unsigned long>(error));
    return false;
  }
  const winsim::ShownSheet &sheet = shown.back();
  if (sheet.end != winsim::SheetEnd::Ok) {
    std::fprintf(stderr, "uishots_sheets: the %s \"%s\" did not end with OK\n", what,
                 winsim::toUtf8(sheet.title).c_str());
    return false;
  }
  winsim::SheetPicture picture = winsim::sheetPicture(sheet.title);
  if (picture.width <= 0 || picture.height <= 0 ||
      picture.pixels.size() < size_t(picture.width) * size_t(picture.height)) {
    std::fprintf(stderr, "uishots_sheets: no picture of the %s \"%s\"\n", what, winsim::toUtf8(sheet.title).c_str());
    return false;
  }
  cardemu::RgbImage image;
  image.width = picture.width;
  image.height = picture.height;
  image.rgb.resize(size_t(picture.width) * picture.height * 3);
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      uint32_t p = picture.pixels[size_t(y) * picture.width + x];
      uint8_t *to = image.at(x, y);
      to[0] = uint8_t(p >> 16);
      to[1] = uint8_t(p >> 8);
      to[2] = uint8_t(p);
    }
  }
  std::string problem;
  if (!cardemu::writePng(png.string(), image, &problem)) {
    std::fprintf(stderr, "uishots_sheets: %s\n", problem.c_str());
    return false;
  }
  size_t items = sheet.pages.empty() ? 0 : sheet.pages.front().itemsAtEnd.size();
  std::printf("%s \"%s\": %dx%d, %zu item(s) on its first page -> %s\n", what, winsim::toUtf8(sheet.title).c_str(),
              picture.width, picture.height, items, png.filename().c_str());
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
  if (!installPackage(device, problem) || !addConfigurationModule(UISHOTS_CARDCFG_DLL, problem)) {
    std::fprintf(stderr, "uishots_sheets: %s\n", problem.c_str());
    winsim::resetMachine();
    return 2;
  }
  int rc = 0;
  std::u16string printerName = kPrinterName;
  HANDLE hPrinter = nullptr;
  if (!OpenPrinterW(reinterpret_cast<LPWSTR>(printerName.data()), &hPrinter, nullptr)) {
    std::fprintf(stderr, "uishots_sheets: cannot open the printer (error %lu)\n",
                 static_cast<unsigned long>(GetLastError()));
    rc = 1;
  } else {
    // The user looks at each sheet and presses OK.
    winsim::scriptSheet({u"", {}, winsim::SheetEndButton::Ok, 0});
    LPWSTR name = reinterpret_cast<LPWSTR>(printerName.data());
    // "Printing Preferences": the module's DEVMODE size first, then the sheet
    // that starts from the printer's default and writes what the user left.
    std::vector<BYTE> devmode;
    auto preferences = [&]() -> LONG {
      LONG size = DocumentPropertiesW(nullptr, hPrinter, name, nullptr, nullptr, 0);
      if (size <= 0) return size;
      devmode.assign(size_t(size), 0);
      return DocumentPropertiesW(nullptr, hPrinter, name, reinterpret_cast<DEVMODEW *>(devmode.data()), nullptr,
                                 DM_IN_PROMPT | DM_OUT_BUFFER);
    };
    if (!shootSheet("document property sheet", preferences, out / "document_sheet.png")) rc = 1;
    // The printer's "Properties".
    auto properties = [&]() -> LONG { return PrinterProperties(nullptr, hPrinter) ? 1 : 0; };
    if (!shootSheet("device property sheet", properties, out / "device_sheet.png")) rc = 1;
  }
  if (hPrinter) ClosePrinter(hPrinter);
  winsim::resetMachine();  // the spooler and the monitor stop before the printer goes
  return rc;
}
