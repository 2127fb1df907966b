// What the spooler's monitor tests share: fake USB devices, waits in real and
// simulated time, and the fixture.  Time-outs run on the scaled clock: every
// test checks the simulated time a wait took, and the real time stays small.
// A check that something happens at once runs on the unscaled clock, and a
// state another thread reaches is waited for in real time, so that a slow
// build or a busy machine cannot turn a scheduling delay into a failure.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <usbprint.h>
#include <winsplp.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>

#include <winsim/testing.h>

namespace monitor_test {

inline constexpr char16_t kLm[] = u"Test Language Monitor";

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
inline DWORD jobStatus(HANDLE printer, DWORD id) {
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

  // The test language monitor installed with its opening held: an opening
  // waits (up to 10 s) for the event "TestLmOpen", and a port already open
  // is refused.
  static void installHeldOpeningMonitor() {
    std::filesystem::copy_file(WINSIM_TESTLM, winsim::hostPath(u"C:\\Windows\\system32\\winsim_testlm.dll"));
    ASSERT_TRUE(winsim::importRegistry(
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Test Language "
        "Monitor]\n\"Driver\"=\"winsim_testlm.dll\"\n\"Options\"=dword:00000002\n"));
  }
  // A "Status" query on a thread of its own; the thread's exit code is the
  // query's error.
  static HANDLE startStatusQuery(HANDLE printer) {
    return CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
          std::string reply;
          return getData(static_cast<HANDLE>(p), "Status", reply);
        },
        printer, 0, nullptr);
  }
  static DWORD threadResult(HANDLE thread) {
    DWORD code = DWORD(-1);
    if (WaitForSingleObject(thread, 30000) == WAIT_OBJECT_0) GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    return code;
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

}  // namespace monitor_test
