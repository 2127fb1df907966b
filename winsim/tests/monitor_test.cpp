// The spooler's monitors: the USB port monitor with a device plugged into its
// port, a language monitor stacked on it, and each printer's despooling
// thread.  Time-outs run on the scaled clock: every test checks the simulated
// time a wait took, and the real time stays small.  A check that something
// happens at once runs on the unscaled clock, and a state another thread
// reaches is waited for in real time, so that a slow build or a busy machine
// cannot turn a scheduling delay into a failure.
#include <gtest/gtest.h>

#include <windows.h>
#include <usbprint.h>
#include <winsplp.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>

#include <winsim/testing.h>

namespace {

const char16_t kLm[] = u"Test Language Monitor";

// A device that records what it takes and answers what a test gives it.
class FakeDevice : public winsim::UsbDevice {
 public:
  long write(const uint8_t *data, size_t size) override {
    std::function<std::string(const std::string &)> responder;
    std::string taken;
    {
      std::lock_guard<std::mutex> g(lock_);
      if (gone_) return -1;
      if (stalled_) return 0;
      size_t n = std::min(size, perWrite_);
      taken.assign(reinterpret_cast<const char *>(data), n);
      received_ += taken;
      ++writes_;
      responder = responder_;
    }
    if (responder) {
      std::string answer = responder(taken);
      if (!answer.empty()) giveAnswer(answer);
    }
    return long(taken.size());
  }
  long read(uint8_t *out, size_t max) override {
    std::lock_guard<std::mutex> g(lock_);
    if (gone_) return -1;
    size_t n = std::min(max, answers_.size());
    for (size_t i = 0; i < n; ++i) {
      out[i] = uint8_t(answers_.front());
      answers_.pop_front();
    }
    return long(n);
  }
  bool lineStatus(uint8_t &status) override {
    std::lock_guard<std::mutex> g(lock_);
    status = status_;
    return !gone_;
  }
  void setAnswerNotifier(std::function<void()> notify) override {
    std::lock_guard<std::mutex> g(lock_);
    notify_ = std::move(notify);
  }

  void giveAnswer(const std::string &a) {
    std::function<void()> notify;
    {
      std::lock_guard<std::mutex> g(lock_);
      answers_.insert(answers_.end(), a.begin(), a.end());
      notify = notify_;
    }
    if (notify) notify();
  }
  std::string received() {
    std::lock_guard<std::mutex> g(lock_);
    return received_;
  }
  int writes() {
    std::lock_guard<std::mutex> g(lock_);
    return writes_;
  }
  void setStalled(bool s) {
    std::lock_guard<std::mutex> g(lock_);
    stalled_ = s;
  }
  void setGone(bool s) {
    std::lock_guard<std::mutex> g(lock_);
    gone_ = s;
  }
  void setPerWrite(size_t n) {
    std::lock_guard<std::mutex> g(lock_);
    perWrite_ = n;
  }
  void setStatus(uint8_t s) {
    std::lock_guard<std::mutex> g(lock_);
    status_ = s;
  }
  void setResponder(std::function<std::string(const std::string &)> r) {
    std::lock_guard<std::mutex> g(lock_);
    responder_ = std::move(r);
  }
  bool hasNotifier() {
    std::lock_guard<std::mutex> g(lock_);
    return bool(notify_);
  }

 private:
  std::mutex lock_;
  std::string received_;
  std::deque<char> answers_;
  std::function<void()> notify_;
  std::function<std::string(const std::string &)> responder_;
  size_t perWrite_ = SIZE_MAX;
  bool stalled_ = false, gone_ = false;
  uint8_t status_ = 0x18;
  int writes_ = 0;
};

// A device that holds each write inside itself until the test opens its
// gate, as a printer slow to take a block: for what goes on while a call is
// under way.  It notes when a write returns; the test notes its own steps in
// the same list, to see their order.
class GatedDevice : public winsim::UsbDevice {
 public:
  long write(const uint8_t *data, size_t size) override {
    std::unique_lock<std::mutex> lk(lock_);
    ++inside_;
    changed_.notify_all();
    changed_.wait(lk, [&] { return open_; });
    --inside_;
    size_t n = std::min<size_t>(size, 3);
    received_.append(reinterpret_cast<const char *>(data), n);
    events_.push_back("write");
    return long(n);
  }
  long read(uint8_t *, size_t) override { return 0; }
  bool lineStatus(uint8_t &status) override {
    status = 0x18;
    return true;
  }

  bool waitUntilInside() {
    std::unique_lock<std::mutex> lk(lock_);
    return changed_.wait_for(lk, std::chrono::seconds(30), [&] { return inside_ > 0; });
  }
  void openGate() {
    std::lock_guard<std::mutex> g(lock_);
    open_ = true;
    changed_.notify_all();
  }
  void note(const std::string &event) {
    std::lock_guard<std::mutex> g(lock_);
    events_.push_back(event);
  }
  std::vector<std::string> events() {
    std::lock_guard<std::mutex> g(lock_);
    return events_;
  }
  std::string received() {
    std::lock_guard<std::mutex> g(lock_);
    return received_;
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  int inside_ = 0;
  bool open_ = false;
  std::string received_;
  std::vector<std::string> events_;
};

// Real time of a call, to show that simulated waits cost little.
template <typename F>
double realMs(F f) {
  auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// Waits (in real time, up to a bound that only a hang reaches) for a state
// that another thread brings about.
template <typename F>
bool eventually(F condition) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// The status bits of a job as GetJobW reports them; 0 for an unknown job.
DWORD jobStatus(HANDLE printer, DWORD id) {
  BYTE info[512];
  DWORD needed = 0;
  if (!GetJobW(printer, id, 1, info, sizeof(info), &needed)) return 0;
  return reinterpret_cast<JOB_INFO_1W *>(info)->Status;
}

class Monitors : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::resetMachine();
    winsim::setClockScale(1000.0);
    device = std::make_shared<FakeDevice>();
    ASSERT_TRUE(winsim::attachUsbDevice(u"USB001", device));
  }
  void TearDown() override { winsim::resetMachine(); }

  static void addPrinter(const char16_t *name, const char16_t *port, const char16_t *monitor) {
    winsim::PrinterSetup s;
    s.printerName = name;
    s.driverName = std::u16string(name) + u" Driver";
    s.portName = port;
    s.monitorName = monitor ? monitor : u"";
    ASSERT_TRUE(winsim::installPrinter(s));
  }

  static HANDLE open(const char16_t *name) {
    HANDLE h = nullptr;
    std::u16string n = name;
    EXPECT_TRUE(OpenPrinterW(n.data(), &h, nullptr));
    return h;
  }

  // A raw job through WritePrinter; its id.
  static DWORD print(HANDLE h, const std::string &bytes, const char16_t *document = u"raw job") {
    std::u16string doc = document, type = u"RAW";
    DOC_INFO_1W di{doc.data(), nullptr, type.data()};
    DWORD id = StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&di));
    EXPECT_NE(id, 0u);
    DWORD written = 0;
    EXPECT_TRUE(WritePrinter(h, const_cast<char *>(bytes.data()), DWORD(bytes.size()), &written));
    EXPECT_TRUE(EndDocPrinter(h));
    return id;
  }

  static std::string lmCalls() {
    HMODULE m = GetModuleHandleW(u"winsim_testlm.dll");
    if (!m) return {};
    using Calls = DWORD(WINAPI *)(char *, DWORD);
    auto calls = reinterpret_cast<Calls>(reinterpret_cast<void *>(GetProcAddress(m, "TestLmCalls")));
    if (!calls) return {};
    std::string out(calls(nullptr, 0) + 1, '\0');
    out.resize(calls(out.data(), DWORD(out.size())));
    return out;
  }

  static DWORD getData(HANDLE h, const std::string &name, std::string &reply, DWORD size = 64) {
    std::u16string n(name.begin(), name.end());
    std::vector<BYTE> buf(size + 1);
    DWORD type = 0, needed = 0;
    DWORD st = GetPrinterDataW(h, n.data(), &type, size ? buf.data() : nullptr, size, &needed);
    reply.assign(reinterpret_cast<char *>(buf.data()), st == ERROR_SUCCESS ? needed : 0);
    if (st == ERROR_MORE_DATA) reply = std::to_string(needed);
    return st;
  }

  std::shared_ptr<FakeDevice> device;
};

// ------------------------------------------------------------ the port monitor's table

TEST_F(Monitors, UsbPortMonitorWritesReadsAndTimesOutOnTheScaledClock) {
  const MONITOR *pm = winsim::usbPortMonitorTable();
  ASSERT_TRUE(pm && pm->pfnOpenPort && pm->pfnWritePort && pm->pfnReadPort && pm->pfnSetPortTimeOuts);
  EXPECT_EQ(pm->pfnOpenPortEx, nullptr);  // a port monitor, not a language monitor

  HANDLE port = nullptr;
  std::u16string name = u"usb001", other = u"USB002", bad = u"USB0011";
  EXPECT_FALSE(pm->pfnOpenPort(other.data(), &port));  // never plugged in
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PORT));
  EXPECT_FALSE(winsim::attachUsbDevice(bad, device));
  ASSERT_TRUE(pm->pfnOpenPort(name.data(), &port));

  // Writes take what the device takes; a device that takes part of a buffer
  // is asked again for the rest.
  device->setPerWrite(3);
  BYTE data[] = "0123456789";
  DWORD n = 0;
  ASSERT_TRUE(pm->pfnWritePort(port, data, 10, &n));
  EXPECT_EQ(n, 10u);
  EXPECT_EQ(device->received(), "0123456789");

  // A stalled device: the write ends after its time-out with what was taken,
  // which is nothing, and no error.
  device->setStalled(true);
  DWORD t0 = GetTickCount();
  double real = realMs([&] { EXPECT_TRUE(pm->pfnWritePort(port, data, 4, &n)); });
  EXPECT_EQ(n, 0u);
  EXPECT_GE(GetTickCount() - t0, 15000u);
  EXPECT_LT(real, 2000.0);
  // The port's own time-out, on the unscaled clock from here on: what ends
  // early must do so by a margin that no scheduling delay eats up.
  winsim::setClockScale(1.0);
  COMMTIMEOUTS shortWrite{0, 0, 0, 0, 100};
  EXPECT_FALSE(pm->pfnSetPortTimeOuts(port, &shortWrite, 1));  // the reserved argument must be 0
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  ASSERT_TRUE(pm->pfnSetPortTimeOuts(port, &shortWrite, 0));
  t0 = GetTickCount();
  EXPECT_TRUE(pm->pfnWritePort(port, data, 4, &n));
  EXPECT_EQ(n, 0u);
  EXPECT_GE(GetTickCount() - t0, 100u);
  EXPECT_LT(GetTickCount() - t0, 5000u);
  device->setStalled(false);

  // Reads: the answer that is there; nothing after the read time-out; at
  // once with an interval of MAXDWORD and no total.
  device->giveAnswer("ok");
  BYTE buf[16];
  ASSERT_TRUE(pm->pfnReadPort(port, buf, sizeof(buf), &n));
  EXPECT_EQ(std::string(reinterpret_cast<char *>(buf), n), "ok");
  COMMTIMEOUTS reads{0, 0, 2000, 0, 100};
  ASSERT_TRUE(pm->pfnSetPortTimeOuts(port, &reads, 0));
  winsim::setClockScale(1000.0);
  t0 = GetTickCount();
  real = realMs([&] { EXPECT_TRUE(pm->pfnReadPort(port, buf, sizeof(buf), &n)); });
  EXPECT_EQ(n, 0u);
  EXPECT_GE(GetTickCount() - t0, 2000u);
  EXPECT_LT(real, 1000.0);
  COMMTIMEOUTS immediate{MAXDWORD, 0, 0, 0, 100};
  ASSERT_TRUE(pm->pfnSetPortTimeOuts(port, &immediate, 0));
  winsim::setClockScale(1.0);
  t0 = GetTickCount();
  EXPECT_TRUE(pm->pfnReadPort(port, buf, sizeof(buf), &n));
  EXPECT_EQ(n, 0u);
  EXPECT_LT(GetTickCount() - t0, 500u);
  // No time-outs at all would wait for ever on a device: here they do not
  // wait, for reads nor for writes to a device that takes nothing.
  COMMTIMEOUTS none{0, 0, 0, 0, 0};
  ASSERT_TRUE(pm->pfnSetPortTimeOuts(port, &none, 0));
  device->setStalled(true);
  t0 = GetTickCount();
  EXPECT_TRUE(pm->pfnReadPort(port, buf, sizeof(buf), &n));
  EXPECT_EQ(n, 0u);
  EXPECT_TRUE(pm->pfnWritePort(port, data, 4, &n));
  EXPECT_EQ(n, 0u);
  EXPECT_LT(GetTickCount() - t0, 500u);
  device->setStalled(false);

  // An answer that comes while a read waits ends the wait long before the
  // time-out: the device's notifier wakes it.  (Ten times faster than real
  // time: the answering thread's start costs no simulated minute.)
  EXPECT_TRUE(device->hasNotifier());
  COMMTIMEOUTS longRead{0, 0, 600000, 0, 100};
  ASSERT_TRUE(pm->pfnSetPortTimeOuts(port, &longRead, 0));
  winsim::setClockScale(10.0);
  std::thread answer([&] {
    Sleep(300);
    device->giveAnswer("late");
  });
  t0 = GetTickCount();
  EXPECT_TRUE(pm->pfnReadPort(port, buf, sizeof(buf), &n));
  answer.join();
  EXPECT_EQ(std::string(reinterpret_cast<char *>(buf), n), "late");
  EXPECT_LT(GetTickCount() - t0, 60000u);

  // The line status through the printer class request; other requests and
  // value names are not the port monitor's.
  device->setStatus(0x5A);
  BYTE status[4] = {};
  ASSERT_TRUE(pm->pfnGetPrinterDataFromPort(port, IOCTL_USBPRINT_GET_LPT_STATUS, nullptr, nullptr, 0,
                                            reinterpret_cast<LPWSTR>(status), 4, &n));
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(status[0], 0x5A);
  EXPECT_FALSE(pm->pfnGetPrinterDataFromPort(port, IOCTL_USBPRINT_GET_LPT_STATUS, nullptr, nullptr, 0, nullptr, 0, &n));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  std::u16string value = u"Anything";
  EXPECT_FALSE(pm->pfnGetPrinterDataFromPort(port, 0, value.data(), nullptr, 0, reinterpret_cast<LPWSTR>(status), 4, &n));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_SUPPORTED));

  // Unplugged: the port stays, its calls fail until a device is back.
  winsim::detachUsbDevice(u"USB001");
  EXPECT_FALSE(device->hasNotifier());
  EXPECT_FALSE(pm->pfnWritePort(port, data, 4, &n));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_DEVICE_NOT_CONNECTED));
  EXPECT_FALSE(pm->pfnReadPort(port, buf, 4, &n));
  std::u16string printer = u"P";
  EXPECT_FALSE(pm->pfnStartDocPort(port, printer.data(), 1, 1, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_DEVICE_NOT_CONNECTED));
  EXPECT_TRUE(pm->pfnClosePort(port));
  EXPECT_FALSE(pm->pfnClosePort(port));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

// A device belongs to the test: once unplugged it may be destroyed, so
// unplugging waits for the call inside it, and the write it was part of ends
// there with the bytes taken.
TEST_F(Monitors, UnpluggingWaitsForTheCallInsideTheDevice) {
  auto gated = std::make_shared<GatedDevice>();
  ASSERT_TRUE(winsim::attachUsbDevice(u"USB002", gated));
  const MONITOR *pm = winsim::usbPortMonitorTable();
  std::u16string name = u"USB002", printer = u"P";
  HANDLE port = nullptr, probe = nullptr;
  ASSERT_TRUE(pm->pfnOpenPort(name.data(), &port));
  ASSERT_TRUE(pm->pfnOpenPort(name.data(), &probe));

  BYTE data[] = "0123456789";
  DWORD written = 99, error = 0;
  BOOL ok = TRUE;
  std::thread writer([&] {
    ok = pm->pfnWritePort(port, data, 10, &written);
    error = GetLastError();
  });
  ASSERT_TRUE(gated->waitUntilInside());
  std::thread unplugger([&] {
    winsim::detachUsbDevice(u"USB002");
    gated->note("unplugged");
  });
  // The port is empty as soon as the device is out; the call inside it goes
  // on until the device lets it go.
  EXPECT_TRUE(eventually([&] { return !pm->pfnStartDocPort(probe, printer.data(), 1, 1, nullptr); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(gated->events(), std::vector<std::string>{});
  gated->openGate();
  unplugger.join();
  writer.join();
  EXPECT_EQ(gated->events(), (std::vector<std::string>{"write", "unplugged"}));
  EXPECT_FALSE(ok);
  EXPECT_EQ(error, DWORD(ERROR_DEVICE_NOT_CONNECTED));
  EXPECT_EQ(written, 3u);
  EXPECT_EQ(gated->received(), "012");
  EXPECT_TRUE(pm->pfnClosePort(port));
  EXPECT_TRUE(pm->pfnClosePort(probe));
}

// The wait for the spooler guards the test's progress: its bound is real
// time, which the clock's scale does not shrink, so a job that is merely slow
// in real time (a slow build, a busy machine) is waited for.
TEST_F(Monitors, TheWaitForTheSpoolerIsBoundInRealTime) {
  auto gated = std::make_shared<GatedDevice>();
  ASSERT_TRUE(winsim::attachUsbDevice(u"USB002", gated));
  addPrinter(u"Card", u"USB002", nullptr);
  HANDLE h = open(u"Card");
  print(h, "abc");
  ASSERT_TRUE(gated->waitUntilInside());
  EXPECT_FALSE(winsim::waitForSpoolerIdle(u"Card", 0));
  std::thread slow([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    gated->openGate();
  });
  // Ten seconds of simulated time would be 10 ms of real time here.
  double real = realMs([&] { EXPECT_TRUE(winsim::waitForSpoolerIdle(u"Card", 10000)); });
  slow.join();
  EXPECT_GE(real, 150.0);
  EXPECT_EQ(gated->received(), "abc");
  ClosePrinter(h);
}

// Resetting the machine stops the despooling threads before it unplugs the
// devices: when it returns nothing writes to them any more.
TEST_F(Monitors, ResettingTheMachineStopsThePrinterThreadsBeforeTheDevicesGo) {
  auto gated = std::make_shared<GatedDevice>();
  ASSERT_TRUE(winsim::attachUsbDevice(u"USB002", gated));
  addPrinter(u"Card", u"USB002", nullptr);
  HANDLE h = open(u"Card");
  print(h, "0123456789");
  ClosePrinter(h);
  ASSERT_TRUE(gated->waitUntilInside());
  std::thread reset([&] {
    winsim::resetMachine();
    gated->note("reset");
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  gated->openGate();
  reset.join();
  auto events = gated->events();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back(), "reset");
  EXPECT_EQ(events.front(), "write");
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(gated->events(), events);
}

TEST_F(Monitors, EnumPortsListsUsbAndLocalPorts) {
  ASSERT_TRUE(winsim::attachUsbDevice(u"USB003", std::make_shared<FakeDevice>()));
  addPrinter(u"Filed", u"C:\\out.prn", nullptr);
  DWORD needed = 0, count = 0;
  EXPECT_FALSE(EnumPortsW(nullptr, 2, nullptr, 0, &needed, &count));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  std::vector<BYTE> buf(needed);
  EXPECT_FALSE(EnumPortsW(nullptr, 2, buf.data(), needed - 1, &needed, &count));
  ASSERT_TRUE(EnumPortsW(nullptr, 2, buf.data(), needed, &needed, &count));
  ASSERT_EQ(count, 4u);
  auto *pi = reinterpret_cast<PORT_INFO_2W *>(buf.data());
  EXPECT_EQ(std::u16string(pi[0].pPortName), u"USB001");
  EXPECT_EQ(std::u16string(pi[0].pMonitorName), u"USB Monitor");
  EXPECT_EQ(pi[0].fPortType, DWORD(PORT_TYPE_WRITE | PORT_TYPE_READ));
  EXPECT_EQ(std::u16string(pi[1].pPortName), u"USB003");
  EXPECT_EQ(std::u16string(pi[2].pPortName), u"FILE:");
  EXPECT_EQ(std::u16string(pi[3].pPortName), u"C:\\out.prn");
  EXPECT_EQ(std::u16string(pi[3].pMonitorName), u"Local Port");
  EXPECT_FALSE(EnumPortsW(nullptr, 3, buf.data(), needed, &needed, &count));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_LEVEL));
}

// ------------------------------------------------------------ language monitors

TEST_F(Monitors, AddMonitorLoadsTheDllAndRefusesBadOnes) {
  std::u16string name = kLm, dll = u"winsim_testlm.dll", env = u"Windows x64", wrongEnv = u"Windows 4.0";
  MONITOR_INFO_2W mi{name.data(), env.data(), dll.data()};
  EXPECT_FALSE(AddMonitorW(nullptr, 1, reinterpret_cast<LPBYTE>(&mi)));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_LEVEL));
  // Not in the system folder yet: not installed, nothing left in the registry.
  EXPECT_FALSE(AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&mi)));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(winsim::exportRegistry(u"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\" + name)
                .find("Driver"),
            std::string::npos);
  // A DLL without the monitor entry point.
  std::filesystem::copy_file(WINSIM_TESTMOD, winsim::hostPath(u"C:\\Windows\\system32\\winsim_testmod.dll"));
  std::u16string mod = u"winsim_testmod.dll";
  MONITOR_INFO_2W notMonitor{name.data(), nullptr, mod.data()};
  EXPECT_FALSE(AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&notMonitor)));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PROC_NOT_FOUND));

  ASSERT_TRUE(winsim::installMonitor(kLm, WINSIM_TESTLM));
  EXPECT_NE(lmCalls().find("InitializeMonitorEx SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Test Language "
                           "Monitor\n"),
            std::string::npos);
  EXPECT_FALSE(AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&mi)));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PRINT_MONITOR_ALREADY_INSTALLED));
  MONITOR_INFO_2W other{name.data(), wrongEnv.data(), dll.data()};
  EXPECT_FALSE(AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&other)));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_ENVIRONMENT));

  // In use by an open port: it stays; once unused it goes.
  addPrinter(u"Card", u"USB001", kLm);
  HANDLE h = open(u"Card");
  std::string reply;
  EXPECT_EQ(getData(h, "Status", reply), DWORD(ERROR_SUCCESS));
  EXPECT_FALSE(DeleteMonitorW(nullptr, nullptr, name.data()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PRINT_MONITOR_IN_USE));
  ClosePrinter(h);
}

TEST_F(Monitors, JobsPassThroughTheLanguageMonitorToTheDevice) {
  ASSERT_TRUE(winsim::installMonitor(kLm, WINSIM_TESTLM));
  addPrinter(u"Card", u"USB001", kLm);
  HANDLE h = open(u"Card");
  // More than one of the spooler's blocks, to a device that takes a little at
  // a time: every byte arrives once and in order, behind the monitor's prefix.
  std::string job(150000, '\0');
  for (size_t i = 0; i < job.size(); ++i) job[i] = char('a' + i % 23);
  device->setPerWrite(7000);
  DWORD id = print(h, job, u"XLINETOOL");
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"Card"));
  EXPECT_EQ(device->received(), "LM:" + job);

  std::string calls = lmCalls();
  EXPECT_NE(calls.find("OpenPortEx USB001 Card\n"), std::string::npos);
  EXPECT_NE(calls.find("StartDocPort Card " + std::to_string(id) + " 1 XLINETOOL\n"), std::string::npos);
  EXPECT_NE(calls.find("WritePort 65536\n"), std::string::npos);
  // GetJobW inside EndDocPort: the job is printing.
  EXPECT_NE(calls.find("EndDocPort " + std::to_string(JOB_STATUS_PRINTING) + "\n"), std::string::npos);
  EXPECT_LT(calls.find("StartDocPort"), calls.find("EndDocPort"));

  auto jobs = winsim::printJobs(u"Card");
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_TRUE(jobs[0].despooled);
  EXPECT_FALSE(jobs[0].aborted);
  EXPECT_EQ(jobs[0].controls, std::vector<DWORD>{JOB_CONTROL_LAST_PAGE_EJECTED});
  EXPECT_TRUE(jobs[0].status & JOB_STATUS_PRINTED);
  // A finished job has left the queue.
  BYTE info[512];
  DWORD needed = 0;
  EXPECT_FALSE(GetJobW(h, id, 1, info, sizeof(info), &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

  // The port stays open between jobs: one OpenPortEx for two jobs.
  print(h, "second");
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"Card"));
  EXPECT_EQ(device->received(), "LM:" + job + "LM:second");
  calls = lmCalls();
  EXPECT_EQ(calls.find("OpenPortEx"), calls.rfind("OpenPortEx"));
  ClosePrinter(h);
  // The spooler closes the port when it stops; the test keeps the module
  // loaded to read its record afterwards.
  HMODULE keep = LoadLibraryW(u"winsim_testlm.dll");
  ASSERT_NE(keep, nullptr);
  winsim::resetMachine();
  EXPECT_NE(lmCalls().find("ClosePort\n"), std::string::npos);
  FreeLibrary(keep);
}

TEST_F(Monitors, PrinterDataQueriesReachTheLanguageMonitorAndTheDevice) {
  ASSERT_TRUE(winsim::installMonitor(kLm, WINSIM_TESTLM));
  addPrinter(u"Card", u"USB001", kLm);
  HANDLE h = open(u"Card");
  device->setResponder([](const std::string &in) { return "[" + in + "]"; });
  device->setStatus(0x18);

  std::string reply;
  EXPECT_EQ(getData(h, "Echo:\x1bV\r", reply), DWORD(ERROR_SUCCESS));
  EXPECT_EQ(reply, "[\x1bV\r]");
  EXPECT_EQ(getData(h, "Status", reply), DWORD(ERROR_SUCCESS));
  EXPECT_EQ(reply, "\x18");
  // A short buffer: the size wanted.
  EXPECT_EQ(getData(h, "Echo:abcdef", reply, 4), DWORD(ERROR_MORE_DATA));
  EXPECT_EQ(reply, "8");
  EXPECT_EQ(getData(h, "Unknown", reply), DWORD(ERROR_FILE_NOT_FOUND));
  // A caller that claims a buffer far larger than it has still gets its
  // reply, and nothing is allocated to the claimed size.
  BYTE small[8] = {};
  DWORD type = 0, needed = 0;
  std::u16string status = u"Status";
  EXPECT_EQ(GetPrinterDataW(h, status.data(), &type, small, 0x7FFFFFFF, &needed), DWORD(ERROR_SUCCESS));
  EXPECT_EQ(needed, 1u);
  EXPECT_EQ(small[0], 0x18);
  std::string calls = lmCalls();
  EXPECT_NE(calls.find("GetPrinterDataFromPort 0 Echo:\x1bV\r\n"), std::string::npos);
  // Values the printer holds never reach the monitor.
  std::u16string mine = u"Mine";
  DWORD v = 7;
  ASSERT_EQ(SetPrinterDataW(h, mine.data(), REG_DWORD, reinterpret_cast<LPBYTE>(&v), 4), DWORD(ERROR_SUCCESS));
  EXPECT_EQ(getData(h, "Mine", reply), DWORD(ERROR_SUCCESS));
  EXPECT_EQ(lmCalls().find("GetPrinterDataFromPort 0 Mine"), std::string::npos);

  // A printer that does not answer: the query ends after the read time-out of
  // the simulated clock.
  device->setResponder(nullptr);
  DWORD t0 = GetTickCount();
  double real = realMs([&] { EXPECT_EQ(getData(h, "Echo:x", reply), DWORD(ERROR_TIMEOUT)); });
  EXPECT_GE(GetTickCount() - t0, 5000u);
  EXPECT_LT(real, 2000.0);
  ClosePrinter(h);
}

TEST_F(Monitors, WithoutTheEntryQueriesGoToThePortMonitor) {
  // Registered by hand, as an installer writing the spooler's key would; the
  // spooler loads it when the printer first needs its port.
  std::filesystem::copy_file(WINSIM_TESTLM, winsim::hostPath(u"C:\\Windows\\system32\\winsim_testlm.dll"));
  ASSERT_TRUE(winsim::importRegistry(
      "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Test Language Monitor]\n"
      "\"Driver\"=\"winsim_testlm.dll\"\n\"Options\"=dword:00000001\n"));
  addPrinter(u"Card", u"USB001", kLm);
  HANDLE h = open(u"Card");
  std::string reply;
  EXPECT_EQ(getData(h, "Status", reply), DWORD(ERROR_NOT_SUPPORTED));
  std::string calls = lmCalls();
  EXPECT_NE(calls.find("OpenPortEx USB001 Card"), std::string::npos);
  EXPECT_EQ(calls.find("GetPrinterDataFromPort"), std::string::npos);
  // Jobs still take the language monitor's road.
  print(h, "job");
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"Card"));
  EXPECT_EQ(device->received(), "LM:job");
  ClosePrinter(h);
}

TEST_F(Monitors, AMonitorThatCannotLoadFailsTheJob) {
  addPrinter(u"Card", u"USB001", u"Missing Monitor");
  HANDLE h = open(u"Card");
  print(h, "job");
  auto jobs = winsim::printJobs(u"Card");
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_TRUE(jobs[0].aborted);
  EXPECT_EQ(device->received(), "");
  std::string reply;
  EXPECT_EQ(getData(h, "Status", reply), DWORD(ERROR_UNKNOWN_PRINT_MONITOR));
  ClosePrinter(h);
}

// ------------------------------------------------------------ the despooling thread

TEST_F(Monitors, EachPrinterDespoolsItsJobsInOrderOnItsOwnThread) {
  // The stall limit (five simulated minutes) is six real seconds away at this
  // scale: far beyond what the steps below take on any machine.
  winsim::setClockScale(50.0);
  addPrinter(u"Card", u"USB001", nullptr);  // straight on the port monitor
  HANDLE h = open(u"Card");
  // EndDocPrinter returns while the device takes nothing: the job waits in
  // the queue, the application goes on.
  device->setStalled(true);
  DWORD first = 0, second = 0, third = 0;
  double real = realMs([&] {
    first = print(h, "one;");
    second = print(h, "two;");
    third = print(h, "three;");
  });
  EXPECT_LT(real, 1000.0);
  ASSERT_TRUE(eventually([&] { return jobStatus(h, first) & JOB_STATUS_PRINTING; }));
  Sleep(1000);
  EXPECT_FALSE(winsim::waitForSpoolerIdle(u"Card", 0));
  EXPECT_EQ(device->received(), "");

  // The jobs as a monitor sees them: the first printing, the others waiting
  // behind it; the second is deleted before its turn.
  BYTE info[512];
  DWORD needed = 0;
  ASSERT_TRUE(GetJobW(h, first, 1, info, sizeof(info), &needed));
  auto *ji = reinterpret_cast<JOB_INFO_1W *>(info);
  EXPECT_EQ(ji->Status & JOB_STATUS_PRINTING, DWORD(JOB_STATUS_PRINTING));
  EXPECT_EQ(ji->Position, 1u);
  EXPECT_EQ(std::u16string(ji->pDocument), u"raw job");
  EXPECT_EQ(std::u16string(ji->pPrinterName), u"Card");
  EXPECT_FALSE(GetJobW(h, first, 1, info, 10, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  ASSERT_TRUE(GetJobW(h, third, 1, info, sizeof(info), &needed));
  EXPECT_EQ(ji->Status, 0u);
  EXPECT_EQ(ji->Position, 3u);
  EXPECT_FALSE(GetJobW(h, first, 2, info, sizeof(info), &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_LEVEL));
  ASSERT_TRUE(SetJobW(h, second, 0, nullptr, JOB_CONTROL_DELETE));
  EXPECT_FALSE(SetJobW(h, second, 0, nullptr, JOB_CONTROL_DELETE));  // gone from the queue
  EXPECT_FALSE(SetJobW(h, third, 0, nullptr, 99));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

  device->setStalled(false);
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"Card"));
  EXPECT_EQ(device->received(), "one;three;");
  auto jobs = winsim::printJobs(u"Card");
  ASSERT_EQ(jobs.size(), 3u);
  EXPECT_FALSE(jobs[0].aborted);
  EXPECT_TRUE(jobs[1].aborted);
  EXPECT_TRUE(jobs[1].status & JOB_STATUS_DELETED);
  EXPECT_FALSE(jobs[2].aborted);
  ClosePrinter(h);
}

TEST_F(Monitors, PrintersSharingAPortTakeTurns) {
  addPrinter(u"Front", u"USB001", nullptr);
  addPrinter(u"Back", u"USB001", nullptr);
  HANDLE a = open(u"Front"), b = open(u"Back");
  device->setPerWrite(1);  // slow enough for the two queues to meet at the port
  const std::string one(3000, '1'), two(3000, '2');
  print(a, one);
  print(b, two);
  ASSERT_TRUE(winsim::waitForSpoolerIdle());
  std::string got = device->received();
  EXPECT_TRUE(got == one + two || got == two + one) << got.substr(0, 40);
  ClosePrinter(a);
  ClosePrinter(b);
}

TEST_F(Monitors, ADeviceThatNeverTakesBytesDoesNotHoldTheQueueForEver) {
  // Until the job is deleted its stall limit must stay far off: three real
  // seconds at this scale.
  winsim::setClockScale(100.0);
  addPrinter(u"Card", u"USB001", nullptr);
  addPrinter(u"Other", u"USB002", nullptr);
  auto other = std::make_shared<FakeDevice>();
  ASSERT_TRUE(winsim::attachUsbDevice(u"USB002", other));
  HANDLE h = open(u"Card"), h2 = open(u"Other");
  device->setStalled(true);
  DWORD id = print(h, "stuck");
  // Another printer's queue runs on while this one waits.
  print(h2, "free");
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"Other"));
  EXPECT_EQ(other->received(), "free");

  // Deleting the job ends its wait at the next write, long before the stall
  // limit.
  ASSERT_TRUE(SetJobW(h, id, 0, nullptr, JOB_CONTROL_DELETE));
  double real = realMs([&] { EXPECT_TRUE(winsim::waitForSpoolerIdle(u"Card")); });
  EXPECT_LT(real, 2000.0);
  EXPECT_TRUE(winsim::printJobs(u"Card")[0].aborted);

  // Left alone, the spooler gives the job up after its stall limit.
  winsim::setClockScale(1000.0);
  print(h, "stuck again");
  EXPECT_TRUE(winsim::waitForSpoolerIdle(u"Card"));
  auto jobs = winsim::printJobs(u"Card");
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_TRUE(jobs[1].aborted);
  EXPECT_EQ(device->received(), "");
  ClosePrinter(h);
  ClosePrinter(h2);
}

TEST_F(Monitors, ARefusedJobStartIsTriedAgainUntilThePrinterIsBack) {
  // The job must outlast the steps until the device is back: its stall limit
  // is three real seconds away at this scale, its next try 30 ms.
  winsim::setClockScale(100.0);
  addPrinter(u"Card", u"USB001", nullptr);
  HANDLE h = open(u"Card");
  // Unplugged: the port monitor refuses the start; the job waits in error.
  winsim::detachUsbDevice(u"USB001");
  DWORD id = print(h, "later");
  ASSERT_TRUE(eventually([&] { return jobStatus(h, id) & JOB_STATUS_ERROR; }));
  Sleep(10000);
  EXPECT_FALSE(winsim::waitForSpoolerIdle(u"Card", 0));
  EXPECT_EQ(jobStatus(h, id) & JOB_STATUS_ERROR, DWORD(JOB_STATUS_ERROR));
  // Plugged in again: the next try prints it.
  ASSERT_TRUE(winsim::attachUsbDevice(u"USB001", device));
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"Card"));
  EXPECT_EQ(device->received(), "later");
  auto jobs = winsim::printJobs(u"Card");
  EXPECT_FALSE(jobs[0].aborted);
  EXPECT_EQ(jobs[0].status & JOB_STATUS_ERROR, 0u);

  // Never back: given up after the stall limit.
  winsim::setClockScale(1000.0);
  winsim::detachUsbDevice(u"USB001");
  print(h, "never");
  EXPECT_TRUE(winsim::waitForSpoolerIdle(u"Card"));
  EXPECT_TRUE(winsim::printJobs(u"Card")[1].aborted);
  ClosePrinter(h);
}

TEST_F(Monitors, PrinterClientIdentitySwitchesSucceed) {
  HANDLE token = RevertToPrinterSelf();
  ASSERT_NE(token, nullptr);
  EXPECT_TRUE(ImpersonatePrinterClient(token));
  EXPECT_FALSE(CloseHandle(token));  // consumed by ImpersonatePrinterClient
  EXPECT_FALSE(ImpersonatePrinterClient(nullptr));
}

}  // namespace

// ------------------------------------------------------------ the port registry

namespace {

// A port monitor of the test's own with the port "TEST1:": it keeps what is
// written to it and the order of the calls it received.
std::mutex g_testPortLock;
std::string g_testPortBytes, g_testPortCalls;
int g_testPortHandle;

void testPortCall(const std::string &call) {
  std::lock_guard<std::mutex> g(g_testPortLock);
  g_testPortCalls += call + "\n";
}
BOOL WINAPI testOpenPort(LPWSTR pName, PHANDLE pHandle) {
  std::string name;
  for (LPWSTR c = pName; c && *c; ++c) name += char(*c);
  testPortCall("OpenPort " + name);
  *pHandle = &g_testPortHandle;
  return TRUE;
}
BOOL WINAPI testStartDocPort(HANDLE, LPWSTR, DWORD, DWORD, LPBYTE) {
  testPortCall("StartDocPort");
  return TRUE;
}
BOOL WINAPI testWritePort(HANDLE h, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten) {
  if (h != &g_testPortHandle) return FALSE;
  std::lock_guard<std::mutex> g(g_testPortLock);
  g_testPortBytes.append(reinterpret_cast<const char *>(pBuffer), cbBuf);
  *pcbWritten = cbBuf;
  return TRUE;
}
BOOL WINAPI testReadPort(HANDLE, LPBYTE, DWORD, LPDWORD pcbRead) {
  *pcbRead = 0;
  return TRUE;
}
BOOL WINAPI testEndDocPort(HANDLE) {
  testPortCall("EndDocPort");
  return TRUE;
}
BOOL WINAPI testClosePort(HANDLE) {
  testPortCall("ClosePort");
  return TRUE;
}

MONITOR testPortMonitor() {
  MONITOR m{};
  m.pfnOpenPort = testOpenPort;
  m.pfnStartDocPort = testStartDocPort;
  m.pfnWritePort = testWritePort;
  m.pfnReadPort = testReadPort;
  m.pfnEndDocPort = testEndDocPort;
  m.pfnClosePort = testClosePort;
  return m;
}

// The port names EnumPortsW lists (level 1).
std::vector<std::u16string> portNames() {
  DWORD needed = 0, count = 0;
  EnumPortsW(nullptr, 1, nullptr, 0, &needed, &count);
  std::vector<BYTE> buf(needed);
  std::vector<std::u16string> out;
  if (!EnumPortsW(nullptr, 1, buf.data(), needed, &needed, &count)) return out;
  auto *pi = reinterpret_cast<PORT_INFO_1W *>(buf.data());
  for (DWORD i = 0; i < count; ++i) out.push_back(pi[i].pName);
  return out;
}

}  // namespace

TEST_F(Monitors, PrintersNeedAPortThatAMonitorServes) {
  // A name no port monitor has: refused, nothing installed.
  winsim::PrinterSetup s;
  s.printerName = u"Elsewhere";
  s.portName = u"NOWHERE1";
  EXPECT_FALSE(winsim::installPrinter(s));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PORT));
  HANDLE h = nullptr;
  std::u16string name = u"Elsewhere";
  EXPECT_FALSE(OpenPrinterW(name.data(), &h, nullptr));

  // The local port monitor's names and the USB port monitor's are known,
  // also a USB port no device was ever plugged into.
  int n = 0;
  for (const char16_t *port : {u"FILE:", u"lpt1:", u"COM2:", u"C:\\out.prn", u"\\\\server\\share", u"USB007"}) {
    winsim::PrinterSetup known;
    known.printerName = u"Known " + winsim::toUtf16(std::to_string(++n));
    known.portName = port;
    EXPECT_TRUE(winsim::installPrinter(known)) << winsim::toUtf8(port);
  }
  for (const char16_t *port : {u"LPT0:", u"COM10:", u"USB000", u"USB1000", u"FILE"}) {
    winsim::PrinterSetup unknown;
    unknown.printerName = u"Odd";
    unknown.portName = port;
    EXPECT_FALSE(winsim::installPrinter(unknown)) << winsim::toUtf8(port);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PORT)) << winsim::toUtf8(port);
  }

  // SetPrinterW refuses the unknown name and keeps the port it had.
  addPrinter(u"Card", u"USB001", nullptr);
  h = open(u"Card");
  std::vector<BYTE> buf(4096);
  DWORD needed = 0;
  ASSERT_TRUE(GetPrinterW(h, 2, buf.data(), DWORD(buf.size()), &needed));
  auto *pi = reinterpret_cast<PRINTER_INFO_2W *>(buf.data());
  std::u16string bad = u"NOWHERE1", good = u"FILE:";
  pi->pPortName = bad.data();
  EXPECT_FALSE(SetPrinterW(h, 2, buf.data(), 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PORT));
  ASSERT_TRUE(GetPrinterW(h, 2, buf.data(), DWORD(buf.size()), &needed));
  EXPECT_EQ(std::u16string(pi->pPortName), u"USB001");
  pi->pPortName = good.data();
  EXPECT_TRUE(SetPrinterW(h, 2, buf.data(), 0));
  ASSERT_TRUE(GetPrinterW(h, 2, buf.data(), DWORD(buf.size()), &needed));
  EXPECT_EQ(std::u16string(pi->pPortName), u"FILE:");
  ClosePrinter(h);

  // A test port is registered as a monitor registers its ports: known, listed,
  // not registered twice, gone at reset.
  EXPECT_TRUE(winsim::addTestPort(u"NOWHERE1"));
  EXPECT_FALSE(winsim::addTestPort(u"nowhere1"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(winsim::addTestPort(u"USB001"));
  EXPECT_TRUE(winsim::installPrinter(s));
  auto names = portNames();
  EXPECT_NE(std::find(names.begin(), names.end(), u"NOWHERE1"), names.end());
  winsim::resetMachine();
  EXPECT_FALSE(winsim::installPrinter(s));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PORT));
  names = portNames();
  EXPECT_EQ(std::find(names.begin(), names.end(), u"NOWHERE1"), names.end());
}

TEST_F(Monitors, ALanguageMonitorStacksOnAnyPortMonitor) {
  {
    std::lock_guard<std::mutex> g(g_testPortLock);
    g_testPortBytes.clear();
    g_testPortCalls.clear();
  }
  static const MONITOR table = testPortMonitor();
  ASSERT_TRUE(winsim::addPortMonitor(u"Test Port Monitor", &table, {u"TEST1:"}));
  EXPECT_FALSE(winsim::addPortMonitor(u"Other", &table, {u"test1:"}));
  ASSERT_TRUE(winsim::installMonitor(kLm, WINSIM_TESTLM));
  addPrinter(u"Card", u"TEST1:", kLm);
  HANDLE h = open(u"Card");
  print(h, "card job");
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"Card"));
  ClosePrinter(h);
  // The language monitor opened the test monitor's port and wrote through it;
  // the USB device saw nothing.
  EXPECT_NE(lmCalls().find("OpenPortEx TEST1: Card\n"), std::string::npos);
  {
    std::lock_guard<std::mutex> g(g_testPortLock);
    EXPECT_EQ(g_testPortBytes, "LM:card job");
    EXPECT_EQ(g_testPortCalls, "OpenPort TEST1:\nStartDocPort\nEndDocPort\n");
  }
  EXPECT_TRUE(device->received().empty());

  // Listed under its monitor's name.
  DWORD needed = 0, count = 0;
  EnumPortsW(nullptr, 2, nullptr, 0, &needed, &count);
  std::vector<BYTE> buf(needed);
  ASSERT_TRUE(EnumPortsW(nullptr, 2, buf.data(), needed, &needed, &count));
  auto *pi = reinterpret_cast<PORT_INFO_2W *>(buf.data());
  bool listed = false;
  for (DWORD i = 0; i < count; ++i)
    listed = listed || (std::u16string(pi[i].pPortName) == u"TEST1:" &&
                        std::u16string(pi[i].pMonitorName) == u"Test Port Monitor");
  EXPECT_TRUE(listed);

  // At reset the spooler closes the port before the monitor goes.
  winsim::resetMachine();
  std::lock_guard<std::mutex> g(g_testPortLock);
  EXPECT_EQ(g_testPortCalls, "OpenPort TEST1:\nStartDocPort\nEndDocPort\nClosePort\n");
}
