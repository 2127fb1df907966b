// A 4 MB firmware image sent by the configuration module's "download:"
// request: GetPrinterDataW on the printer, winsim's spooler handing the value
// name to the built monitor, which frames the image and writes it in 4096-byte
// pieces through winsim's USB port to the emulated printer (which takes the
// image whole and keeps a copy of it).
//
// The request ends with a fixed 10 s settling pause for the printer.  That
// pause runs on winsim's simulated clock, sped up a million times here, so it
// costs 10 us of real time; the time reported is the request's wall time less
// that share (counter "pause_us"), i.e. the monitor's, the spooler's and the
// port's own work.
#include <benchmark/benchmark.h>

#include <windows.h>
#include <winspool.h>

#include <winsim/testing.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "emulator/include/cardemu/printer.h"
#include "emulator/include/cardemu/usb_device.h"

namespace {

const char16_t kPrinter[] = u"Pellor CA3 Card Printer";
const char16_t kMonitor[] = u"Pellor Standard USB Language Monitor";
const char16_t kImagePath[] = u"C:\\Windows\\Temp\\fw4m.bin";
constexpr size_t kImageBytes = 4u << 20;
constexpr double kClockScale = 1e6;
// The settling pause after an image, simulated milliseconds.
constexpr double kMandatedPauseMs = 10000;

bool writeImage() {
  std::string image(kImageBytes, '\0');
  for (size_t i = 0; i < image.size(); ++i) image[i] = char((i * 7 + 3) & 0x7F);
  image[15] = char(0xFF);
  HANDLE h = CreateFileW(kImagePath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(h, image.data(), DWORD(image.size()), &written, nullptr) && written == image.size();
  CloseHandle(h);
  return ok;
}

bool install(const std::shared_ptr<winsim::UsbDevice> &device) {
  winsim::resetMachine();
  winsim::setClockScale(kClockScale);
  const std::string dir = winsim::driveRoot() + "/Windows/system32/spool/drivers/x64/3";
  std::filesystem::copy_file(CARDRES_USB_DLL, dir + "/cardres.dll", std::filesystem::copy_options::overwrite_existing);
  if (!winsim::installMonitor(kMonitor, USBMON_DLL)) return false;
  winsim::PrinterSetup setup;
  setup.printerName = kPrinter;
  setup.driverName = u"Pellor Standard Printer";
  setup.monitorName = kMonitor;
  setup.portName = u"USB001";
  return winsim::attachUsbDevice(u"USB001", device) && winsim::installPrinter(setup) && writeImage();
}

void BM_UsbDownload4MB(benchmark::State &state) {
  cardemu::PrinterConfig config;
  config.ribbonRemaining = 1000000;
  cardemu::Printer printer(config);
  if (!install(std::make_shared<cardemu::UsbPrinterDevice>(printer))) {
    state.SkipWithError("the monitor could not be installed");
    return;
  }
  std::u16string name = kPrinter;
  HANDLE h = nullptr;
  if (!OpenPrinterW(name.data(), &h, nullptr)) {
    state.SkipWithError("no printer");
    return;
  }
  std::u16string request = std::u16string(u"download:") + kImagePath;
  const double pauseSeconds = kMandatedPauseMs / 1000.0 / kClockScale;
  const uint64_t framesBefore = printer.firmwareFrames();
  for (auto _ : state) {
    BYTE out[32];
    DWORD type = 0, needed = 0;
    const auto start = std::chrono::steady_clock::now();
    const DWORD rc = GetPrinterDataW(h, request.data(), &type, out, sizeof out, &needed);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto frame = printer.lastFirmwareFrame();
    if (rc != ERROR_SUCCESS || !frame || frame->contentBytes != kImageBytes || !frame->endMarker) {
      state.SkipWithError("the image did not arrive whole");
      break;
    }
    state.SetIterationTime(wall - pauseSeconds);
  }
  ClosePrinter(h);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kImageBytes));
  state.counters["images"] = double(printer.firmwareFrames() - framesBefore);
  state.counters["pause_us"] = pauseSeconds * 1e6;
  winsim::resetMachine();
}
BENCHMARK(BM_UsbDownload4MB)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace
