// The whole WritePort path of the built monitor: a two-sided card job of
// about 1.4 MB cut into commands and 4 KiB slices, each command classified
// and followed by its pause check, written through winsim's USB port.  The
// clock runs a million times faster, so the pauses cost nothing and what is
// measured is the monitor's own work and the port's.  Two printers: the
// emulated one (which also decodes and renders the card) and a bare device
// that only reports itself ready.
#include <benchmark/benchmark.h>

#include <windows.h>
#include <winsplp.h>

#include <winsim/testing.h>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <algorithm>

#include "emulator/include/cardemu/printer.h"
#include "emulator/include/cardemu/usb_device.h"
#include "emulator/tests/streams.h"

namespace {

using streams::esc;

const char16_t kPrinter[] = u"Pellor CA3 Card Printer";

// A printer that takes everything and is always ready: the error report
// request is answered with ACK, the job start's queries with a YMCKO ribbon,
// a model and a remaining count.
class ReadyDevice : public winsim::UsbDevice {
 public:
  long write(const uint8_t *data, size_t size) override {
    // A query's value comes with the ACK of the status request after it.
    const std::string_view cmd(reinterpret_cast<const char *>(data), size);
    if (cmd ==
        "\x1b"
        "E 2\r") {
      reply_ = value_ + "\x06";
      value_.clear();
    } else if (cmd == "\x1b!RIBBON\r") {
      value_ = "2 ";
    } else if (cmd == "\x1bV\r") {
      value_ = "CA3 V3.02";
    } else if (cmd == "\x1b!RIBLEN\r") {
      value_ = "250";
    }
    return long(size);
  }
  long read(uint8_t *out, size_t max) override {
    const size_t n = std::min(max, reply_.size());
    reply_.copy(reinterpret_cast<char *>(out), n);
    reply_.erase(0, n);
    return long(n);
  }
  bool lineStatus(uint8_t &status) override {
    status = 0x18;
    return true;
  }

 private:
  std::string value_, reply_;
};

std::string twoSidedJob() {
  auto box = [](int line, int dot) { return line > 100 && line < 300 && dot > 50 && dot < 400; };
  return streams::ymckoHeader() + streams::ymc(streams::flat(5), streams::flat(10), streams::flat(15)) +
         streams::resin(box) + esc("I 30") + esc("MF") + streams::resin(box) + esc("I 30") + esc("MO");
}

struct Setup {
  MONITOR table{};
  HANDLE port = nullptr;
};

bool install(const std::shared_ptr<winsim::UsbDevice> &device, Setup &s) {
  winsim::resetMachine();
  winsim::setClockScale(1e6);
  const std::string dir = winsim::driveRoot() + "/Windows/system32/spool/drivers/x64/3";
  std::filesystem::copy_file(CARDRES_USB_DLL, dir + "/cardres.dll", std::filesystem::copy_options::overwrite_existing);
  if (!winsim::installMonitor(u"Pellor Standard USB Language Monitor", USBMON_DLL)) return false;
  winsim::PrinterSetup setup;
  setup.printerName = kPrinter;
  setup.driverName = u"Pellor Standard Printer";
  setup.monitorName = u"Pellor Standard USB Language Monitor";
  setup.portName = u"USB001";
  if (!winsim::attachUsbDevice(u"USB001", device) || !winsim::installPrinter(setup)) return false;
  HMODULE m = GetModuleHandleW(u"usbmon.dll");
  auto init = reinterpret_cast<BOOL(WINAPI *)(LPWSTR, LPMONITOR)>(
      reinterpret_cast<void (*)()>(GetProcAddress(m, "InitializeMonitorEx")));
  if (!init || !init(nullptr, &s.table)) return false;
  std::u16string port = u"USB001", printer = kPrinter;
  return s.table.pfnOpenPortEx(port.data(), printer.data(), &s.port,
                               const_cast<LPMONITOR>(winsim::usbPortMonitorTable()));
}

// One job as the spooler hands it over: 64 KiB buffers, each offered again
// from where the monitor stopped.
bool printOnce(Setup &s, const std::string &job) {
  std::u16string printer = kPrinter, doc = u"Card", type = u"RAW";
  DOC_INFO_1W di{doc.data(), nullptr, type.data()};
  if (!s.table.pfnStartDocPort(s.port, printer.data(), 0, 1, reinterpret_cast<LPBYTE>(&di))) return false;
  for (size_t block = 0; block < job.size(); block += 0x10000) {
    const size_t end = std::min(job.size(), block + 0x10000);
    for (size_t off = block; off < end;) {
      DWORD n = 0;
      if (!s.table.pfnWritePort(s.port, reinterpret_cast<LPBYTE>(const_cast<char *>(job.data() + off)),
                                DWORD(end - off), &n))
        return false;
      off += n;
    }
  }
  return s.table.pfnEndDocPort(s.port);
}

void run(benchmark::State &state, const std::shared_ptr<winsim::UsbDevice> &device) {
  const std::string job = twoSidedJob();
  Setup s;
  if (!install(device, s)) {
    state.SkipWithError("the monitor could not be installed");
    return;
  }
  for (auto _ : state) {
    if (!printOnce(s, job)) {
      state.SkipWithError("the job failed");
      break;
    }
  }
  s.table.pfnClosePort(s.port);
  const double slices = double(job.size()) / 4096.0;
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(job.size()));
  state.counters["job_bytes"] = double(job.size());
  state.counters["per_4KiB_slice"] = benchmark::Counter(double(state.iterations()) * slices,
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  winsim::resetMachine();
}

void BM_WritePortReadyDevice(benchmark::State &state) { run(state, std::make_shared<ReadyDevice>()); }
BENCHMARK(BM_WritePortReadyDevice)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WritePortEmulatedPrinter(benchmark::State &state) {
  cardemu::PrinterConfig config;
  config.ribbonRemaining = 1000000;
  cardemu::Printer printer(config);
  run(state, std::make_shared<cardemu::UsbPrinterDevice>(printer));
}
BENCHMARK(BM_WritePortEmulatedPrinter)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
