// The built monitor loaded by winsim's spooler, on a USB port with the
// emulated printer plugged in.  Most cases call the monitor's table as the
// spooler does, so that each test chooses how the job is cut into buffers;
// the end-to-end cases print through the spooler.  The clock is sped up:
// the printer's pauses of seconds cost milliseconds.
#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <winsim/testing.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "emulator/include/cardemu/printer.h"
#include "emulator/include/cardemu/usb_device.h"
#include "emulator/tests/streams.h"
#include "shared/query_command.h"
#include "tests/support/notify_standin.h"

namespace {

using streams::esc;

const char16_t kMonitor[] = u"Pellor Standard USB Language Monitor";
const char16_t kPrinter[] = u"Pellor CA3 Card Printer";
const char16_t kPort[] = u"USB001";
const std::string kErrorRequest =
    "\x1b"
    "E 2\r";

// The emulated printer, its write calls read back as text.
class RecordingDevice : public cardemu::UsbPrinterDevice {
 public:
  explicit RecordingDevice(cardemu::Printer &p) : UsbPrinterDevice(p, true) {}
  size_t total() const {
    size_t n = 0;
    for (const cardemu::UsbWrite &w : writes()) n += w.bytes.size();
    return n;
  }
  // The calls the printer took bytes of, each as the bytes it took.
  std::vector<std::string> takeWrites() {
    std::vector<std::string> out;
    for (const cardemu::UsbWrite &w : UsbPrinterDevice::takeWrites())
      if (w.taken > 0) out.emplace_back(w.bytes.begin(), w.bytes.end());
    return out;
  }
  // What the job wrote, without the monitor's own status requests.
  std::string jobBytes() {
    std::string out;
    for (const auto &w : takeWrites())
      if (w != kErrorRequest) out += w;
    return out;
  }
};

// Run-length coded bit block of 1024 x 640 bits: runs of 127 units, then a
// literal group holding an escaped "[" (the wire's two-byte unit).
std::string rleBits() {
  std::string s;
  for (int i = 0; i < 645; ++i) s += streams::bytes({0xFF, 0x81});  // 81915 units
  s += streams::bytes({0x02, 0x5B, 0x5B, 0x41});                    // 2 literal units
  s += streams::bytes({0x83, 0x5B, 0x5B});                          // a run of 3 "[" units
  return s;
}

// A small one-sided card: header, a resin image, its print and the eject.
std::string smallCard() {
  return streams::ymckoHeader() + esc("F") + esc("G 0 0 12 640 1024 1") + "\x1bZ" + rleBits() + "\r" + esc("I 30") +
         esc("MO");
}

class UsbMonitor : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::resetMachine();
    winsim::setClockScale(1000.0);
  }
  void TearDown() override {
    for (HANDLE h : open_) table_.pfnClosePort(h);
    winsim::resetMachine();
  }

  // The monitor and its resource library installed, a printer on USB001.
  void install(bool plugIn = true) {
    ASSERT_TRUE(card::test::installNotificationStandIn());
    const std::string dir = winsim::driveRoot() + "/Windows/system32/spool/drivers/x64/3";
    std::filesystem::copy_file(CARDRES_USB_DLL, dir + "/cardres.dll",
                               std::filesystem::copy_options::overwrite_existing);
    ASSERT_TRUE(winsim::installMonitor(kMonitor, USBMON_DLL)) << GetLastError();
    winsim::PrinterSetup setup;
    setup.printerName = kPrinter;
    setup.driverName = u"Pellor Standard Printer";
    setup.monitorName = kMonitor;
    setup.portName = kPort;
    if (plugIn) {
      ASSERT_TRUE(winsim::attachUsbDevice(kPort, device));
    }
    ASSERT_TRUE(winsim::installPrinter(setup));
    HMODULE m = GetModuleHandleW(u"usbmon.dll");
    if (!m) m = LoadLibraryW(u"C:\\Windows\\system32\\usbmon.dll");
    ASSERT_NE(m, nullptr);
    auto init = reinterpret_cast<BOOL(WINAPI *)(LPWSTR, LPMONITOR)>(
        reinterpret_cast<void (*)()>(GetProcAddress(m, "InitializeMonitorEx")));
    ASSERT_NE(init, nullptr);
    ASSERT_TRUE(init(nullptr, &table_));
  }

  HANDLE openPort(const char16_t *name = kPort) {
    std::u16string port = name, printer = kPrinter;
    HANDLE h = nullptr;
    if (!table_.pfnOpenPortEx(port.data(), printer.data(), &h, const_cast<LPMONITOR>(winsim::usbPortMonitorTable())))
      return nullptr;
    open_.push_back(h);
    return h;
  }

  BOOL startDoc(HANDLE h, const char16_t *document = u"Card", DWORD jobId = 0) {
    std::u16string printer = kPrinter, doc = document, type = u"RAW";
    DOC_INFO_1W di{doc.data(), nullptr, type.data()};
    return table_.pfnStartDocPort(h, printer.data(), jobId, 1, reinterpret_cast<LPBYTE>(&di));
  }

  // Offers `buffer` as the spooler does: again and again from where the
  // monitor stopped, until all of it is taken (with a bound).
  void offer(HANDLE h, const std::string &buffer) {
    size_t off = 0;
    for (int calls = 0; off < buffer.size(); ++calls) {
      ASSERT_LT(calls, 100000) << "the monitor stopped taking bytes at " << off;
      DWORD n = 0;
      ASSERT_TRUE(table_.pfnWritePort(h, reinterpret_cast<LPBYTE>(const_cast<char *>(buffer.data() + off)),
                                      DWORD(buffer.size() - off), &n));
      ASSERT_LE(n, 4096u);
      off += n;
    }
  }

  // A query as GetPrinterDataW hands it over: the command's bytes as the name.
  BOOL query(HANDLE h, const std::string &command, std::string &reply, DWORD capacity = 256) {
    WCHAR name[256];
    EXPECT_TRUE(card::encodeQueryCommand(command.data(), command.size(), name, 256));
    std::vector<BYTE> out(capacity);
    DWORD got = 0xDEAD;
    BOOL ok =
        table_.pfnGetPrinterDataFromPort(h, 0, name, nullptr, 0, reinterpret_cast<LPWSTR>(out.data()), capacity, &got);
    reply.assign(reinterpret_cast<char *>(out.data()), ok ? std::min(got, capacity) : 0);
    return ok;
  }

  // A ribbon that lasts for every card of the tests.
  static cardemu::PrinterConfig config() {
    cardemu::PrinterConfig c;
    c.ribbonRemaining = 1000000;
    return c;
  }
  cardemu::Printer printer{config()};
  std::shared_ptr<RecordingDevice> device = std::make_shared<RecordingDevice>(printer);
  MONITOR table_{};
  std::vector<HANDLE> open_;
};

TEST_F(UsbMonitor, SecondOpenOfThePortInAnotherCaseIsBusy) {
  install();
  HANDLE first = openPort(u"USB001");
  ASSERT_NE(first, nullptr);
  SetLastError(0);
  EXPECT_EQ(openPort(u"usb001"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_BUSY));
  // Once closed, the port opens again.
  EXPECT_TRUE(table_.pfnClosePort(first));
  open_.clear();
  EXPECT_NE(openPort(u"Usb001"), nullptr);
}

TEST_F(UsbMonitor, StreamSplitAtEveryByteBoundaryReachesThePrinterWhole) {
  install();
  winsim::setClockScale(100000.0);
  HANDLE h = openPort();
  ASSERT_NE(h, nullptr);
  const std::string job = smallCard();
  // Every boundary, but inside the block's long stretch of identical
  // two-byte runs only every 13th (both halves of a run still come up).
  const size_t runsStart = job.find("\x1bZ") + 2 + 16, runsEnd = job.rfind(streams::bytes({0xFF, 0x81})) - 16;
  size_t runs = 0;
  for (size_t split = 1; split < job.size(); ++split) {
    if (split > runsStart && split < runsEnd && split % 13) continue;
    ++runs;
    ASSERT_TRUE(startDoc(h));
    device->takeWrites();
    offer(h, job.substr(0, split));
    offer(h, job.substr(split));
    ASSERT_TRUE(table_.pfnEndDocPort(h));
    const std::string got = device->jobBytes();
    ASSERT_EQ(got.size(), job.size()) << "split at " << split;
    ASSERT_TRUE(got == job) << "split at " << split;
  }
  EXPECT_EQ(printer.error(), 0);
  EXPECT_EQ(printer.state().cardsOut, runs);
}

TEST_F(UsbMonitor, EachWriteCallPassesOnePiece) {
  install();
  HANDLE h = openPort();
  ASSERT_TRUE(startDoc(h));
  device->takeWrites();
  const std::string job = smallCard();
  offer(h, job);
  ASSERT_TRUE(table_.pfnEndDocPort(h));
  std::vector<std::string> pieces;
  for (auto &w : device->takeWrites())
    if (w != kErrorRequest) pieces.push_back(w);
  // The header's commands one by one, then "\eF\r", "\eZ", the block and
  // its CR in slices of at most 4096 bytes, the print and the eject.
  ASSERT_GE(pieces.size(), 14u);
  EXPECT_EQ(pieces[0], esc("MASTER"));
  EXPECT_EQ(pieces[1], esc("JOB 0"));
  EXPECT_EQ(pieces.back(), esc("MO"));
  EXPECT_EQ(pieces[pieces.size() - 2], esc("I 30"));
  for (const auto &p : pieces) EXPECT_LE(p.size(), 4096u);
  EXPECT_EQ(printer.error(), 0);
  auto cards = printer.takeCards();
  ASSERT_EQ(cards.size(), 1u) << printer.state().heldCommands << " " << printer.state().cardInPrinter << " "
                              << printer.state().commands;
}

TEST_F(UsbMonitor, BytesBeforeACommandAreDroppedNotRepeated) {
  install();
  HANDLE h = openPort();
  ASSERT_TRUE(startDoc(h));
  device->takeWrites();
  winsim::clearDebugOutput();
  const std::string job = std::string("stray bytes\r\n") + esc("MASTER") + std::string(5000, 'x') + esc("JOB 0");
  offer(h, job);
  ASSERT_TRUE(table_.pfnEndDocPort(h));
  EXPECT_EQ(device->jobBytes(), esc("MASTER") + esc("JOB 0"));
  bool reported = false;
  for (const auto &line : winsim::debugOutput()) reported |= line.find("outside any command") != std::string::npos;
  EXPECT_TRUE(reported);
}

TEST_F(UsbMonitor, CommandCutAtTheEndOfTheJobIsReported) {
  install();
  HANDLE h = openPort();
  ASSERT_TRUE(startDoc(h));
  winsim::clearDebugOutput();
  offer(h, esc("MASTER") + "\x1bJOB");
  ASSERT_TRUE(table_.pfnEndDocPort(h));
  bool reported = false;
  for (const auto &line : winsim::debugOutput()) reported |= line.find("4 held bytes") != std::string::npos;
  EXPECT_TRUE(reported);
}

TEST_F(UsbMonitor, LocalAnswersAndTheBusyRule) {
  install();
  HANDLE h = openPort();
  std::string reply;
  // Without a job: the printer answers.
  ASSERT_TRUE(query(h, "\x1bV\r", reply));
  EXPECT_EQ(reply, printer.state().modelText + "\x06");
  ASSERT_TRUE(query(h, "\x1bISREADY\r", reply));
  EXPECT_EQ(reply, std::string(1, '\x01'));

  ASSERT_TRUE(startDoc(h));
  // During the job: the monitor's own answers come, anything for the
  // printer is refused.
  ASSERT_TRUE(query(h, "\x1bGetFileVersion\r", reply));
  EXPECT_EQ(reply, "8.00.02.01");
  ASSERT_TRUE(query(h, "\x1bIsDOCComplete\r", reply));
  EXPECT_EQ(reply, "DOC_PENDING");
  ASSERT_TRUE(query(h, "\x1bISHIDREADY\r", reply));
  EXPECT_EQ(reply, std::string(1, '\x01'));
  ASSERT_TRUE(query(h, "\x1bISREADY\r", reply));
  EXPECT_EQ(reply, std::string(1, '\0'));
  ASSERT_TRUE(query(h,
                    "\x1b"
                    "CHECK_STATUS\r",
                    reply));
  EXPECT_EQ(reply, std::string(1, '\x06'));
  device->takeWrites();
  SetLastError(0);
  EXPECT_FALSE(query(h, "\x1b!RIBBON\r", reply));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_BUSY));
  EXPECT_TRUE(device->takeWrites().empty());
  // A buffer too small for the answer.
  WCHAR name[16];
  card::encodeQueryCommand("\x1bGetFileVersion\r", 16, name, 16);
  BYTE small[4];
  DWORD got = 0;
  EXPECT_FALSE(table_.pfnGetPrinterDataFromPort(h, 0, name, nullptr, 0, reinterpret_cast<LPWSTR>(small), 4, &got));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(got, 10u);

  offer(h, esc("MASTER"));
  ASSERT_TRUE(table_.pfnEndDocPort(h));
  ASSERT_TRUE(query(h, "\x1b!RIBBON\r", reply));
  EXPECT_EQ(reply, "2\x06");
  ASSERT_TRUE(query(h,
                    "\x1b"
                    "CheckPortStatus\r",
                    reply));
  EXPECT_EQ(reply, "STATUS_SUCCESS");
}

TEST_F(UsbMonitor, ErrorReplyIsGivenAsItsStatusWord) {
  install();
  HANDLE h = openPort();
  printer.injectError(4);
  std::string reply;
  ASSERT_TRUE(query(h, "\x1b!RIBBON\r", reply));
  EXPECT_EQ(reply, "OUT OF CARD");
  // A short buffer gets what fits, and nothing of the reply is left over
  // for the next question.
  ASSERT_TRUE(query(h, "\x1b!RIBBON\r", reply, 3));
  EXPECT_EQ(reply, "OUT");
  printer.forceClear();
  ASSERT_TRUE(query(h, "\x1b!RIBBON\r", reply));
  EXPECT_EQ(reply, "2\x06");
}

TEST_F(UsbMonitor, JobStartNeedsAPrinterFitToStart) {
  install();
  HANDLE h = openPort();
  ASSERT_NE(h, nullptr);
  // Unplugged: the underlying port cannot start a document.
  winsim::detachUsbDevice(kPort);
  EXPECT_FALSE(startDoc(h));
  ASSERT_TRUE(winsim::attachUsbDevice(kPort, device));
  printer.setConnected(false);
  EXPECT_FALSE(startDoc(h));
  printer.setConnected(true);
  ASSERT_TRUE(startDoc(h));
  // The port is not left busy by the failed starts.
  std::string reply;
  EXPECT_TRUE(query(h, "\x1bGetFileVersion\r", reply));
  SetLastError(0);
  EXPECT_FALSE(startDoc(h));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_BUSY));
  ASSERT_TRUE(table_.pfnEndDocPort(h));
}

// The job as an application prints it: through the spooler, which hands it
// to the monitor on its despooling thread.
DWORD printJob(const std::string &bytes) {
  std::u16string name = kPrinter, doc = u"Card", type = u"RAW";
  HANDLE h = nullptr;
  if (!OpenPrinterW(name.data(), &h, nullptr)) return 0;
  DOC_INFO_1W di{doc.data(), nullptr, type.data()};
  DWORD id = StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&di));
  DWORD written = 0;
  WritePrinter(h, const_cast<char *>(bytes.data()), DWORD(bytes.size()), &written);
  EndDocPrinter(h);
  ClosePrinter(h);
  return id;
}

std::string printerData(const std::string &command) {
  std::u16string name = kPrinter;
  HANDLE h = nullptr;
  if (!OpenPrinterW(name.data(), &h, nullptr)) return "(no printer)";
  WCHAR value[64];
  card::encodeQueryCommand(command.data(), command.size(), value, 64);
  BYTE out[64] = {};
  DWORD type = 0, needed = 0;
  DWORD rc = GetPrinterDataW(h, value, &type, out, sizeof(out), &needed);
  ClosePrinter(h);
  if (rc != ERROR_SUCCESS) return "(error " + std::to_string(rc) + ")";
  return std::string(reinterpret_cast<char *>(out), std::min<DWORD>(needed, sizeof(out)));
}

const UINT kBoxStyle = MB_OK | MB_ICONWARNING | MB_SYSTEMMODAL | MB_SETFOREGROUND | MB_TOPMOST;

TEST_F(UsbMonitor, ErrorClearedAtThePrinterShowsOneMessageAndTheJobCompletes) {
  install();
  winsim::UserScript rule;
  rule.channel = winsim::UserChannel::Notification;
  rule.timing = winsim::AnswerTiming::LeaveOpen;
  winsim::scriptUser(rule);
  const size_t handles = winsim::openHandleCount();
  HANDLE h = openPort();
  ASSERT_TRUE(startDoc(h));
  device->takeWrites();
  printer.injectErrorAt(4, "I 30");  // out of card
  const std::string job = smallCard();
  std::thread spooler([&] {
    offer(h, job);
    table_.pfnEndDocPort(h);
  });
  ASSERT_TRUE(winsim::waitForShownMessages(1));
  Sleep(10000);  // the job waits meanwhile (simulated time)
  printer.pressButton();
  spooler.join();

  auto shown = winsim::shownMessages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].channel, winsim::UserChannel::Notification);
  EXPECT_EQ(shown[0].printer, kPrinter);
  EXPECT_EQ(shown[0].caption, kPrinter);
  EXPECT_EQ(shown[0].textFromResource, 1);
  EXPECT_EQ(shown[0].textResource, 31);
  EXPECT_EQ(shown[0].captionResource, 2541);
  EXPECT_NE(shown[0].end, winsim::MessageEnd::Open);
  auto closes = winsim::closeRequests();
  ASSERT_EQ(closes.size(), 1u);
  EXPECT_EQ(closes[0].printer, kPrinter);
  EXPECT_EQ(closes[0].closedId, shown[0].id);
  // The card came out whole, the print command once more after the button.
  EXPECT_EQ(device->jobBytes(), job);
  EXPECT_EQ(printer.error(), 0);
  EXPECT_EQ(printer.takeCards().size(), 1u);
  // The message task, its event and the job's printer handle are all closed.
  ASSERT_TRUE(table_.pfnClosePort(h));
  open_.clear();
  EXPECT_EQ(winsim::openHandleCount(), handles);
}

TEST_F(UsbMonitor, OkOnTheErrorMessageDeletesTheJobAndResetsThePrinter) {
  winsim::setOsVersion(5, 1);  // messages as boxes in the spooler's process
  install();
  winsim::UserScript rule;
  rule.channel = winsim::UserChannel::Box;
  rule.answer = IDOK;
  rule.timing = winsim::AnswerTiming::AfterDelay;
  rule.delayMs = 5000;
  winsim::scriptUser(rule);
  printer.injectErrorAt(4, "I 30");
  const std::string job = smallCard() + smallCard();
  const DWORD id = printJob(job);
  ASSERT_NE(id, 0u);
  ASSERT_TRUE(winsim::waitForSpoolerIdle(kPrinter));

  auto shown = winsim::shownMessages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].channel, winsim::UserChannel::Box);
  EXPECT_EQ(shown[0].caption, kPrinter);
  EXPECT_EQ(shown[0].text,
            u"\nThe feeder is Empty.\nLoad cards in feeder and try again, or \nPress OK to cancel the "
            u"current operation.");
  EXPECT_EQ(shown[0].flags, kBoxStyle);
  auto jobs = winsim::printJobs(kPrinter);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_TRUE(jobs[0].aborted);
  EXPECT_NE(std::find(jobs[0].controls.begin(), jobs[0].controls.end(), DWORD(JOB_CONTROL_DELETE)),
            jobs[0].controls.end());
  // After the reset nothing more of the job reached the printer.
  auto writes = device->takeWrites();
  auto reset = std::find(writes.begin(), writes.end(), std::string("\x1bR\r"));
  ASSERT_NE(reset, writes.end());
  for (auto it = reset + 1; it != writes.end(); ++it) EXPECT_EQ(*it, kErrorRequest);
  EXPECT_EQ(printer.takeCards().size(), 0u);
  EXPECT_EQ(printerData("\x1b"
                        "CheckPortStatus\r"),
            "STATUS_FAILED");
}

TEST_F(UsbMonitor, SilentPrinterEndsTheJobWithoutAHang) {
  install();
  HANDLE h = openPort();
  ASSERT_TRUE(startDoc(h));
  const std::string job = smallCard();
  const size_t half = job.find("\x1bI 30");
  offer(h, job.substr(0, half));
  printer.setSilent(true);
  offer(h, job.substr(half));
  ASSERT_TRUE(table_.pfnEndDocPort(h));
  EXPECT_TRUE(winsim::shownMessages().empty());
  EXPECT_EQ(printer.takeCards().size(), 1u);
}

TEST_F(UsbMonitor, UnpluggedMidJobTheJobEndsAndThePortStaysUsable) {
  install();
  // Slow enough that the cable is pulled while the header goes out.
  winsim::setClockScale(10.0);
  // Pulled between a command and the question after it, the question cannot
  // be written: the user is told once.
  winsim::UserScript rule;
  rule.textResource = 8136;
  winsim::scriptUser(rule);
  const std::string job = smallCard();
  std::atomic<bool> stop{false};
  std::thread unplug([&] {
    while (!stop && device->total() < 60) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    winsim::detachUsbDevice(kPort);
  });
  const DWORD id = printJob(job);
  ASSERT_NE(id, 0u);
  const bool idle = winsim::waitForSpoolerIdle(kPrinter, 30000);
  stop = true;
  unplug.join();
  ASSERT_TRUE(idle);
  auto jobs = winsim::printJobs(kPrinter);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_TRUE(jobs[0].aborted);
  EXPECT_LT(device->total(), job.size());
  EXPECT_LE(winsim::shownMessages().size(), 1u);
  // Plugged in again, the next job prints.
  ASSERT_TRUE(winsim::attachUsbDevice(kPort, device));
  printer.forceClear();
  printer.softReset();
  ASSERT_NE(printJob(job), 0u);
  ASSERT_TRUE(winsim::waitForSpoolerIdle(kPrinter, 30000));
  jobs = winsim::printJobs(kPrinter);
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_FALSE(jobs[1].aborted);
}

TEST_F(UsbMonitor, JobDeletedDuringTheErrorWaitGetsTheAbortCleanup) {
  install();
  winsim::UserScript rule;
  rule.channel = winsim::UserChannel::Notification;
  rule.timing = winsim::AnswerTiming::LeaveOpen;
  winsim::scriptUser(rule);
  printer.injectErrorAt(4, "I 30");
  const DWORD id = printJob(smallCard());
  ASSERT_NE(id, 0u);
  ASSERT_TRUE(winsim::waitForShownMessages(1));
  std::u16string name = kPrinter;
  HANDLE h = nullptr;
  ASSERT_TRUE(OpenPrinterW(name.data(), &h, nullptr));
  EXPECT_TRUE(SetJobW(h, id, 0, nullptr, JOB_CONTROL_DELETE));
  ClosePrinter(h);
  ASSERT_TRUE(winsim::waitForSpoolerIdle(kPrinter));

  // The message went away with the job; the printer got the clean-up of a
  // ribbon with a remaining count, not the reset.
  auto shown = winsim::shownMessages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].end, winsim::MessageEnd::Closed);
  std::vector<std::string> writes;
  for (auto &w : device->takeWrites())
    if (w != kErrorRequest) writes.push_back(w);
  ASSERT_GE(writes.size(), 2u);
  EXPECT_EQ(writes[writes.size() - 2], "\r");
  EXPECT_EQ(writes.back(), "\x1bMO\r\x1b!FF 0\r");
  EXPECT_EQ(std::count(writes.begin(), writes.end(), std::string("\x1bR\r")), 0);
  EXPECT_EQ(printerData("\x1b"
                        "CheckPortStatus\r"),
            "STATUS_SUCCESS");
}

TEST_F(UsbMonitor, UnpluggedDuringTheErrorWaitTheJobIsGivenUp) {
  install();
  winsim::UserScript rule;
  rule.channel = winsim::UserChannel::Notification;
  rule.timing = winsim::AnswerTiming::LeaveOpen;
  winsim::scriptUser(rule);
  printer.injectErrorAt(4, "I 30");
  ASSERT_NE(printJob(smallCard()), 0u);
  ASSERT_TRUE(winsim::waitForShownMessages(1));
  winsim::detachUsbDevice(kPort);
  ASSERT_TRUE(winsim::waitForSpoolerIdle(kPrinter));
  auto jobs = winsim::printJobs(kPrinter);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_TRUE(jobs[0].aborted);
  auto shown = winsim::shownMessages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].end, winsim::MessageEnd::Closed);
}

TEST_F(UsbMonitor, JobRestartedOnAnOfflinePrinterIsDeletedWithTheOfflineMessage) {
  install();
  winsim::UserScript hold;
  hold.channel = winsim::UserChannel::Notification;
  hold.textResource = 31;
  hold.timing = winsim::AnswerTiming::LeaveOpen;
  winsim::scriptUser(hold);
  winsim::UserScript offline;
  offline.channel = winsim::UserChannel::Notification;
  offline.textResource = 59;
  winsim::scriptUser(offline);
  printer.injectErrorAt(4, "I 30");
  const DWORD id = printJob(smallCard());
  ASSERT_TRUE(winsim::waitForShownMessages(1));
  // While the job waits: restarted, and the printer set to work offline.
  std::u16string name = kPrinter;
  HANDLE h = nullptr;
  ASSERT_TRUE(OpenPrinterW(name.data(), &h, nullptr));
  ASSERT_TRUE(SetJobW(h, id, 0, nullptr, JOB_CONTROL_RESTART));
  DWORD needed = 0;
  GetPrinterW(h, 2, nullptr, 0, &needed);
  std::vector<BYTE> info(needed);
  ASSERT_TRUE(GetPrinterW(h, 2, info.data(), needed, &needed));
  reinterpret_cast<PRINTER_INFO_2W *>(info.data())->Attributes |= PRINTER_ATTRIBUTE_WORK_OFFLINE;
  ASSERT_TRUE(SetPrinterW(h, 2, info.data(), 0));
  ClosePrinter(h);
  printer.pressButton();
  ASSERT_TRUE(winsim::waitForSpoolerIdle(kPrinter));

  auto shown = winsim::shownMessages();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].captionResource, 2541);
  EXPECT_EQ(shown[1].textResource, 59);
  EXPECT_EQ(shown[1].captionResource, 2542);
  EXPECT_EQ(shown[1].printer, kPrinter);
  auto jobs = winsim::printJobs(kPrinter);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_NE(std::find(jobs[0].controls.begin(), jobs[0].controls.end(), DWORD(JOB_CONTROL_DELETE)),
            jobs[0].controls.end());
}

}  // namespace

namespace {

// The monitor's temp files of capture jobs, in the machine's temp folder.
size_t captureTempFiles() {
  WCHAR dir[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, dir);
  size_t n = 0;
  std::error_code ec;
  for (const auto &e :
       std::filesystem::directory_iterator(winsim::hostPath(reinterpret_cast<const char16_t *>(dir)), ec))
    if (e.path().filename().string().rfind("CRX", 0) == 0) ++n;
  return n;
}

TEST_F(UsbMonitor, CaptureJobIsPendingUntilItsEndAndAClosedPortLeavesNoTempFile) {
  install();
  HANDLE h = openPort();
  ASSERT_NE(h, nullptr);
  // A firmware image collected from a job named FILE_BIN, sent framed at its end.
  const std::string image(4000, 'F');
  ASSERT_TRUE(startDoc(h, u"FILE_BIN"));
  offer(h, image);
  std::string reply;
  ASSERT_TRUE(query(h, "\x1bIsDOCComplete\r", reply));
  EXPECT_EQ(reply.substr(0, 11), "DOC_PENDING");
  EXPECT_EQ(captureTempFiles(), 1u);
  ASSERT_TRUE(table_.pfnEndDocPort(h));
  ASSERT_TRUE(query(h, "\x1bIsDOCComplete\r", reply));
  EXPECT_EQ(reply.substr(0, 12), "DOC_COMPLETE");
  ASSERT_EQ(printer.firmwareFrames(), 1u);
  const auto frame = printer.lastFirmwareFrame();
  ASSERT_TRUE(frame.has_value());
  EXPECT_EQ(frame->declaredSize, image.size());
  EXPECT_TRUE(frame->endMarker);
  EXPECT_EQ(captureTempFiles(), 0u);

  // The port closed in the middle of a capture: nothing is sent, the temp
  // file goes.
  ASSERT_TRUE(startDoc(h, u"FILE_PRN"));  // asks the printer "\eV\r" first, as every job start does
  const size_t before = device->total();
  offer(h, std::string(3000, 'P'));
  EXPECT_EQ(captureTempFiles(), 1u);
  ASSERT_TRUE(table_.pfnClosePort(h));
  open_.clear();
  EXPECT_EQ(captureTempFiles(), 0u);
  EXPECT_EQ(device->total(), before);
}

}  // namespace
