// One notification's round trip, measured on the simulated machine: a
// monitor's SendAsyncNotification inside the spooler, the tray program's box
// in the user's session, the user's OK at once, and the caller released by
// the acknowledgement.  One warm-up message starts the tray program; then
// kMessages messages are timed one after the other.  The run fails (exit
// code 1) when the spooler's handles, the tray program's threads or handles,
// or the broker's live objects grew over the timed messages: each round trip
// must give back everything it took.
#include <windows.h>

#include <winsim/testing.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "shared/notification_payload.h"
#include "shared/proc_address.h"

namespace {

using SendProc = int(WINAPI *)(LPCWSTR printerName, LPCVOID payload);

constexpr int kMessages = 1000;
const char16_t kPrinter[] = u"Pellor CA3 Card Printer";

// What the run must not leave more of.
struct Footprint {
  size_t spoolerHandles = 0;
  DWORD trayThreads = 0;
  size_t trayHandles = 0;
  size_t channels = 0;
  size_t dataObjects = 0;

  bool within(const Footprint &base) const {
    return spoolerHandles <= base.spoolerHandles && trayThreads <= base.trayThreads &&
           trayHandles <= base.trayHandles && channels <= base.channels && dataObjects <= base.dataObjects;
  }
};

// Read once the broker is idle; false when there is no tray program.
bool footprint(Footprint &out) {
  if (!winsim::waitForAsyncNotifyIdle()) return false;
  const auto processes = winsim::runningProcesses();
  if (processes.size() != 1) return false;
  out.spoolerHandles = winsim::openHandleCount();
  out.trayThreads = processes[0].threadCount;
  out.trayHandles = processes[0].handleCount;
  const auto live = winsim::asyncNotifyLiveObjects();
  out.channels = live.channels;
  out.dataObjects = live.dataObjects;
  return true;
}

// The tray's message threads end just after their acknowledgement, so the
// count settles a moment after the last call returned: asked again for a
// bounded real time before it counts as growth.
bool settlesWithin(const Footprint &base, Footprint &now) {
  for (int i = 0; i < 400; ++i) {
    if (footprint(now) && now.within(base)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

void print(const char *label, const Footprint &f) {
  std::printf("%-8s spooler handles %zu, tray threads %lu, tray handles %zu, channels %zu, data objects %zu\n", label,
              f.spoolerHandles, static_cast<unsigned long>(f.trayThreads), f.trayHandles, f.channels, f.dataObjects);
}

}  // namespace

int main() {
  winsim::resetMachine();
  // The warm-up starts the tray program, which must register within the
  // server's grace time of simulated seconds.
  winsim::setClockScale(50);
  winsim::setProcessImageName(u"spoolsv.exe");
  if (!winsim::copyToDrive(NOTIFYSRV_DLL, u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\notifysrv.dll") ||
      !winsim::copyToDrive(NOTIFYTRAY_EXE, u"C:\\Windows\\system32\\notifytray.exe")) {
    std::fprintf(stderr, "cannot put the modules on the drive\n");
    return 2;
  }
  winsim::PrinterSetup setup;
  setup.printerName = kPrinter;
  setup.driverName = u"Pellor CA3 Card Printer USB";
  if (!winsim::installPrinter(setup)) {
    std::fprintf(stderr, "cannot install the printer\n");
    return 2;
  }
  HMODULE module = LoadLibraryW(u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\notifysrv.dll");
  const auto send = module ? card::procAddress<SendProc>(module, "SendAsyncNotification") : nullptr;
  if (!send) {
    std::fprintf(stderr, "notifysrv.dll does not load\n");
    return 2;
  }
  winsim::UserScript ok;
  ok.caption = kPrinter;
  ok.channel = winsim::UserChannel::Box;
  ok.answer = IDOK;
  ok.timing = winsim::AnswerTiming::AtOnce;
  winsim::scriptUser(ok);

  auto payload = std::make_unique<card::NotificationPayload>();
  card::makeLiteralMessage(*payload, kPrinter, u"Printer is out of cards", u"Monitor");
  if (send(kPrinter, payload.get()) != 1) {
    std::fprintf(stderr, "the warm-up message was not acknowledged\n");
    return 2;
  }
  Footprint before;
  if (!footprint(before)) {
    std::fprintf(stderr, "no tray program after the warm-up\n");
    return 2;
  }
  winsim::setClockScale(1000);

  std::vector<double> micros;
  micros.reserve(kMessages);
  int unanswered = 0;
  for (int i = 0; i < kMessages; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const int result = send(kPrinter, payload.get());
    const auto took = std::chrono::steady_clock::now() - start;
    micros.push_back(std::chrono::duration<double, std::micro>(took).count());
    if (result != 1) ++unanswered;
    // The records of shown messages would grow with the run.
    if (i % 100 == 99) winsim::clearShownMessages();
  }

  Footprint after;
  const bool settled = settlesWithin(before, after);
  std::sort(micros.begin(), micros.end());
  auto percentile = [&micros](size_t p) { return micros[std::min(micros.size() - 1, micros.size() * p / 100)]; };
  std::printf("notify round trip, %d messages: median %.1f us, 90th %.1f us, 99th percentile %.1f us, max %.1f us\n",
              kMessages, percentile(50), percentile(90), percentile(99), micros.back());
  print("before:", before);
  print("after:", after);
  const auto faults = winsim::takeAsyncNotifyFaults();
  for (const auto &f : faults) std::fprintf(stderr, "broker fault: %s\n", f.c_str());
  if (unanswered) std::fprintf(stderr, "%d messages were not acknowledged\n", unanswered);
  if (!settled) std::fprintf(stderr, "the footprint grew over the run\n");
  winsim::resetMachine();
  FreeLibrary(module);
  return settled && unanswered == 0 && faults.empty() ? 0 : 1;
}
