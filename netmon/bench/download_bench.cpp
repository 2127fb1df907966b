// A 4 MB firmware image sent by the configuration module's "download:"
// request: GetPrinterDataW on the printer, winsim's spooler handing the value
// name to the built monitor, which opens its two connections to the emulated
// printer on a loopback address and sends the image framed, its content in
// 65536-byte messages, over real sockets.
//
// A request that reaches the printer whole has no settling pause on the
// network; the only fixed pause on its way is the reachability probe's 100 ms
// between its question and the look for the answer.  That pause runs on
// winsim's simulated clock, sped up 100 times here (the socket waits must stay
// long enough in real time), so it costs 1 ms; the time reported is the
// wall time from the call until the printer has taken the whole image (the
// request itself returns once the last bytes are in the sockets: counter
// "request_ms"), less that share (counter "pause_us").
#include <benchmark/benchmark.h>

#include <windows.h>
#include <winspool.h>

#include <winsim/testing.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "emulator/include/cardemu/net_printer.h"
#include "emulator/include/cardemu/printer.h"

namespace {

const char16_t kPrinter[] = u"Pellor CA3 Card Printer";
const char16_t kMonitor[] = u"Pellor Standard Network Language Monitor";
const char kAddress[] = "127.0.5.22";
const char16_t kImagePath[] = u"C:\\Windows\\Temp\\fw4m.bin";
constexpr size_t kImageBytes = 4u << 20;
constexpr double kClockScale = 100;
// The probe's pause, simulated milliseconds.
constexpr double kMandatedPauseMs = 100;

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

struct Setup {
  std::unique_ptr<cardemu::Printer> printer;
  std::unique_ptr<cardemu::NetPrinter> net;
};

bool install(Setup &s) {
  winsim::resetMachine();
  winsim::setClockScale(kClockScale);
  cardemu::PrinterConfig config;
  config.ribbonRemaining = 1000000;
  s.printer = std::make_unique<cardemu::Printer>(config);
  cardemu::NetConfig net;
  net.address = kAddress;
  s.net = std::make_unique<cardemu::NetPrinter>(*s.printer, net);
  if (!s.net->start()) return false;
  const cardemu::NetPorts p = s.net->ports();
  using winsim::NetworkProtocol;
  if (!winsim::declareNetworkHost(kAddress, "",
                                  {{NetworkProtocol::Tcp, 9100, p.data},
                                   {NetworkProtocol::Tcp, 9111, p.status},
                                   {NetworkProtocol::Udp, 161, p.snmp},
                                   {NetworkProtocol::Tcp, 80, p.http}}))
    return false;
  if (!winsim::importRegistry("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\"
                              "Standard TCP/IP Port\\Ports\\IP_127.0.5.22]\n\"IPAddress\"=\"127.0.5.22\"\n"
                              "\"HostName\"=\"\"\n\"PortNumber\"=dword:0000238c\n\"Protocol\"=dword:00000001\n"))
    return false;
  if (!winsim::copyToDrive(CARDRES_NET_DLL, u"C:\\Windows\\system32\\spool\\drivers\\W32X86\\3\\cardres.dll"))
    return false;
  if (!winsim::installMonitor(kMonitor, NETMON_DLL)) return false;
  winsim::PrinterSetup setup;
  setup.printerName = kPrinter;
  setup.driverName = u"Pellor Standard Network";
  setup.monitorName = kMonitor;
  setup.portName = u"IP_127.0.5.22";
  return winsim::installPrinter(setup) && writeImage();
}

void BM_NetDownload4MB(benchmark::State &state) {
  Setup s;
  if (!install(s)) {
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
  const uint64_t framesBefore = s.printer->firmwareFrames();
  double requestSeconds = 0;
  for (auto _ : state) {
    BYTE out[32];
    DWORD type = 0, needed = 0;
    const uint64_t frames = s.printer->firmwareFrames();
    const auto start = std::chrono::steady_clock::now();
    const DWORD rc = GetPrinterDataW(h, request.data(), &type, out, sizeof out, &needed);
    const auto returned = std::chrono::steady_clock::now();
    // The request is done once its bytes are in the sockets; the printer
    // takes them on its own thread.  The time counted runs until it has
    // taken the whole image (bounded).
    const auto until = returned + std::chrono::seconds(10);
    while (s.printer->firmwareFrames() == frames && std::chrono::steady_clock::now() < until) std::this_thread::yield();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto frame = s.printer->lastFirmwareFrame();
    if (rc != ERROR_SUCCESS || !frame || frame->contentBytes != kImageBytes || !frame->endMarker) {
      state.SkipWithError("the image did not arrive whole");
      break;
    }
    requestSeconds += std::chrono::duration<double>(returned - start).count();
    state.SetIterationTime(wall - pauseSeconds);
  }
  state.counters["request_ms"] = state.iterations() ? requestSeconds * 1e3 / double(state.iterations()) : 0;
  ClosePrinter(h);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kImageBytes));
  state.counters["images"] = double(s.printer->firmwareFrames() - framesBefore);
  state.counters["pause_us"] = pauseSeconds * 1e6;
  winsim::resetMachine();
  s.net.reset();
  s.printer.reset();
}
BENCHMARK(BM_NetDownload4MB)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace
