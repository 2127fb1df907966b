// The user-notification road on one simulated machine: the USB language
// monitor inside the spooler meets a printer error, the real notification
// server carries the message into the console user's session, the tray
// program shows it as a box titled with the printer's name, and the user's
// answer (or the printer's recovery) travels back to the job.
#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>

#include <winsim/testing.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "emulator/include/cardemu/printer.h"
#include "emulator/include/cardemu/usb_device.h"
#include "emulator/tests/streams.h"

namespace {

using streams::esc;

const char16_t kMonitor[] = u"Pellor Standard USB Language Monitor";
const char16_t kDriver[] = u"Pellor CA3 Card Printer USB";
const char16_t kDriverDir[] = u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\";
const std::string kErrorRequest =
    "\x1b"
    "E 2\r";
const std::string kReset = "\x1bR\r";

// The printer's own error codes and the USB set's texts for them.
constexpr int kCoverOpen = 51;
constexpr int kOutOfCard = 4;
const char16_t kCoverOpenText[] =
    u"\nCOVER OPEN!\nClose Cover and press the printer buttton to continue.\nPress OK to cancel the current job.";
const char16_t kFeederEmptyText[] =
    u"\nThe feeder is Empty.\nLoad cards in feeder and try again, or \nPress OK to cancel the current operation.";
// The tray's boxes: OK only, above everything, no icon.
const UINT kTrayBoxStyle = MB_OK | MB_SYSTEMMODAL | MB_SETFOREGROUND | MB_TOPMOST;

// Run-length coded bit block of 1024 x 640 bits.
std::string rleBits() {
  std::string s;
  for (int i = 0; i < 645; ++i) s += streams::bytes({0xFF, 0x81});
  s += streams::bytes({0x02, 0x5B, 0x5B, 0x41});
  s += streams::bytes({0x83, 0x5B, 0x5B});
  return s;
}

// A small one-sided card: header, a resin image, its print and the eject.
std::string smallCard() {
  return streams::ymckoHeader() + esc("F") + esc("G 0 0 12 640 1024 1") + "\x1bZ" + rleBits() + "\r" + esc("I 30") +
         esc("MO");
}

// One emulated printer on its USB port, with the write calls it took.
struct Station {
  std::u16string printerName;
  std::u16string port;
  cardemu::Printer printer{config()};
  std::shared_ptr<cardemu::UsbPrinterDevice> device = std::make_shared<cardemu::UsbPrinterDevice>(printer, true);

  static cardemu::PrinterConfig config() {
    cardemu::PrinterConfig c;
    c.ribbonRemaining = 1000000;
    return c;
  }
  // The write calls the printer took bytes of, without the monitor's status
  // requests.
  std::vector<std::string> jobWrites() {
    std::vector<std::string> out;
    for (const cardemu::UsbWrite &w : device->takeWrites()) {
      std::string bytes(w.bytes.begin(), w.bytes.end());
      if (w.taken > 0 && bytes != kErrorRequest) out.push_back(bytes);
    }
    return out;
  }
};

class NotifyRoad : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::resetMachine();
    // Fast enough for the printer's pauses, slow enough that the tray
    // program registers within the server's grace time.
    winsim::setClockScale(50);
    // The test's threads are the spooler's: the monitor and the server run
    // in its process, which counts as LocalSystem.
    winsim::setProcessImageName(u"spoolsv.exe");
    ASSERT_TRUE(winsim::copyToDrive(NOTIFYSRV_DLL, std::u16string(kDriverDir) + u"notifysrv.dll"));
    ASSERT_TRUE(winsim::copyToDrive(CARDRES_USB_DLL, std::u16string(kDriverDir) + u"cardres.dll"));
    ASSERT_TRUE(winsim::copyToDrive(NOTIFYTRAY_EXE, u"C:\\Windows\\system32\\notifytray.exe"));
    ASSERT_TRUE(winsim::installMonitor(kMonitor, USBMON_DLL)) << GetLastError();
  }
  void TearDown() override {
    // After every scenario: the conversations are over and left nothing.
    EXPECT_TRUE(winsim::waitForAsyncNotifyIdle());
    const auto live = winsim::asyncNotifyLiveObjects();
    EXPECT_EQ(live.channels, 0u);
    EXPECT_EQ(live.dataObjects, 0u);
    winsim::resetMachine();
    EXPECT_TRUE(winsim::takeAsyncNotifyFaults().empty());
  }

  Station &addStation(const std::u16string &printerName, const std::u16string &port) {
    stations_.push_back(std::make_unique<Station>());
    Station &s = *stations_.back();
    s.printerName = printerName;
    s.port = port;
    EXPECT_TRUE(winsim::attachUsbDevice(port, s.device));
    winsim::PrinterSetup setup;
    setup.printerName = printerName;
    setup.driverName = kDriver;
    setup.monitorName = kMonitor;
    setup.portName = port;
    EXPECT_TRUE(winsim::installPrinter(setup));
    return s;
  }

  // The job as an application prints it, through the spooler.
  static DWORD printJob(const std::u16string &printer, const std::string &bytes) {
    std::u16string name = printer, doc = u"Card", type = u"RAW";
    HANDLE h = nullptr;
    if (!OpenPrinterW(name.data(), &h, nullptr)) return 0;
    DOC_INFO_1W di{doc.data(), nullptr, type.data()};
    const DWORD id = StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&di));
    DWORD written = 0;
    WritePrinter(h, const_cast<char *>(bytes.data()), DWORD(bytes.size()), &written);
    EndDocPrinter(h);
    ClosePrinter(h);
    return id;
  }

  static void leaveOpen(const std::u16string &caption) {
    winsim::UserScript rule;
    rule.caption = caption;
    rule.channel = winsim::UserChannel::Box;
    rule.timing = winsim::AnswerTiming::LeaveOpen;
    winsim::scriptUser(rule);
  }

  // The open box titled `caption`, as the user finds it on the screen.
  static winsim::ShownMessage boxOf(const std::u16string &caption) {
    for (const auto &m : winsim::shownMessages())
      if (m.caption == caption) return m;
    return {};
  }

  // Starts the tray program as the configuration module does.
  static HANDLE startTray(const std::u16string &arguments) {
    std::u16string commandLine = u"\"C:\\Windows\\system32\\notifytray.exe\"";
    if (!arguments.empty()) commandLine += u" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
      return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
  }
  static bool registrationsBy(DWORD processId, size_t count) {
    for (int i = 0; i < 2000; ++i) {
      size_t n = 0;
      for (const auto &r : winsim::asyncNotifyRegistrations()) n += r.processId == processId;
      if (n >= count) return true;
      Sleep(5);
    }
    return false;
  }

  std::vector<std::unique_ptr<Station>> stations_;
};

TEST_F(NotifyRoad, CoverOpenedMidJobIsShownInTheUserSessionAndClosedWhenTheCoverIsShut) {
  Station &s = addStation(u"Pellor CA3 Card Printer", u"USB001");
  leaveOpen(s.printerName);
  EXPECT_TRUE(winsim::runningProcesses().empty());
  const size_t handles = winsim::openHandleCount();
  cardemu::FaultChoice fault;
  ASSERT_TRUE(cardemu::parseFault("cover-open@I 30", &fault, nullptr));
  s.printer.injectFault(fault);
  const std::string job = smallCard();
  ASSERT_NE(printJob(s.printerName, job), 0u);

  ASSERT_TRUE(winsim::waitForShownMessages(1, 30000));
  // The server started the tray program in the console user's session.
  const auto processes = winsim::runningProcesses();
  ASSERT_EQ(processes.size(), 1u);
  EXPECT_EQ(processes[0].imageName, u"notifytray.exe");
  EXPECT_EQ(processes[0].sessionId, 1u);
  auto shown = winsim::shownMessages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].channel, winsim::UserChannel::Box);
  EXPECT_EQ(shown[0].caption, s.printerName);
  EXPECT_EQ(shown[0].text, kCoverOpenText);
  EXPECT_EQ(shown[0].flags, kTrayBoxStyle);
  // The box is the tray program's: a window of its process, in its session.
  bool boxFound = false;
  for (const auto &w : winsim::windows())
    if (w.title == s.printerName && w.className == u"#32770") boxFound = w.processId == processes[0].id;
  EXPECT_TRUE(boxFound);
  // The job waits meanwhile.
  Sleep(5000);
  EXPECT_FALSE(winsim::waitForSpoolerIdle(s.printerName, 0));

  // Shut at the printer: the monitor takes the box away and the job goes on.
  s.printer.clearFault();
  ASSERT_TRUE(winsim::waitForMessageEnd(shown[0].id, 30000));
  ASSERT_TRUE(winsim::waitForSpoolerIdle(s.printerName));
  shown = winsim::shownMessages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].end, winsim::MessageEnd::Closed);
  const auto jobs = winsim::printJobs(s.printerName);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_FALSE(jobs[0].aborted);
  // After the monitor's own questions at the job's start, the job came
  // whole: nothing lost or sent twice around the wait.
  std::string reached;
  for (const auto &w : s.jobWrites()) reached += w;
  ASSERT_GE(reached.size(), job.size());
  EXPECT_TRUE(reached.ends_with(job));
  EXPECT_EQ(s.printer.error(), 0);
  EXPECT_EQ(s.printer.takeCards().size(), 1u);
  // The tray program stays for the next message.
  EXPECT_EQ(winsim::runningProcesses().size(), 1u);
  ASSERT_TRUE(winsim::waitForAsyncNotifyIdle());
  EXPECT_EQ(winsim::openHandleCount(), handles);
}

TEST_F(NotifyRoad, OkOnTheTrayBoxDeletesTheJobAndResetsThePrinter) {
  Station &s = addStation(u"Pellor CA3 Card Printer", u"USB001");
  leaveOpen(s.printerName);
  const size_t handles = winsim::openHandleCount();
  s.printer.injectErrorAt(kOutOfCard, "I 30");
  // Two cards: the second never reaches the printer.
  ASSERT_NE(printJob(s.printerName, smallCard() + smallCard()), 0u);
  ASSERT_TRUE(winsim::waitForShownMessages(1, 30000));
  const auto box = winsim::shownMessages()[0];
  EXPECT_EQ(box.caption, s.printerName);
  EXPECT_EQ(box.text, kFeederEmptyText);
  s.jobWrites();
  ASSERT_TRUE(winsim::answerMessage(box.id, IDOK));
  ASSERT_TRUE(winsim::waitForSpoolerIdle(s.printerName));

  const auto jobs = winsim::printJobs(s.printerName);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_TRUE(jobs[0].aborted);
  EXPECT_NE(std::find(jobs[0].controls.begin(), jobs[0].controls.end(), DWORD(JOB_CONTROL_DELETE)),
            jobs[0].controls.end());
  // The reset is the last thing the printer got.
  const auto writes = s.jobWrites();
  ASSERT_FALSE(writes.empty());
  EXPECT_EQ(writes.back(), kReset);
  EXPECT_EQ(s.printer.takeCards().size(), 0u);
  EXPECT_EQ(winsim::shownMessages()[0].end, winsim::MessageEnd::Answered);
  ASSERT_TRUE(winsim::waitForAsyncNotifyIdle());
  EXPECT_EQ(winsim::openHandleCount(), handles);
}

TEST_F(NotifyRoad, TwoPrintersInErrorEachAnswerGoesToItsOwnJob) {
  Station &a = addStation(u"Pellor CA3 Card Printer", u"USB001");
  Station &b = addStation(u"Pellor CA3 Card Printer (Desk 2)", u"USB002");
  leaveOpen(a.printerName);
  leaveOpen(b.printerName);
  const size_t handles = winsim::openHandleCount();
  a.printer.injectErrorAt(kOutOfCard, "I 30");
  cardemu::FaultChoice fault;
  ASSERT_TRUE(cardemu::parseFault("cover-open@I 30", &fault, nullptr));
  b.printer.injectFault(fault);
  const std::string job = smallCard();
  ASSERT_NE(printJob(a.printerName, job), 0u);
  ASSERT_NE(printJob(b.printerName, job), 0u);
  ASSERT_TRUE(winsim::waitForShownMessages(2, 30000));
  // One tray program shows both.
  EXPECT_EQ(winsim::runningProcesses().size(), 1u);
  const auto boxA = boxOf(a.printerName), boxB = boxOf(b.printerName);
  EXPECT_EQ(boxA.text, kFeederEmptyText);
  EXPECT_EQ(boxB.text, kCoverOpenText);

  // OK on the first printer's box: its job alone is deleted.
  ASSERT_TRUE(winsim::answerMessage(boxA.id, IDOK));
  ASSERT_TRUE(winsim::waitForSpoolerIdle(a.printerName));
  EXPECT_TRUE(winsim::printJobs(a.printerName)[0].aborted);
  Sleep(5000);
  EXPECT_FALSE(winsim::waitForSpoolerIdle(b.printerName, 0));
  EXPECT_EQ(boxOf(b.printerName).end, winsim::MessageEnd::Open);

  // The second printer's cover shut: its box goes and its job completes.
  b.printer.clearFault();
  ASSERT_TRUE(winsim::waitForSpoolerIdle(b.printerName));
  EXPECT_EQ(boxOf(b.printerName).end, winsim::MessageEnd::Closed);
  EXPECT_FALSE(winsim::printJobs(b.printerName)[0].aborted);
  EXPECT_EQ(b.printer.takeCards().size(), 1u);
  EXPECT_EQ(a.printer.takeCards().size(), 0u);
  ASSERT_TRUE(winsim::waitForAsyncNotifyIdle());
  EXPECT_EQ(winsim::openHandleCount(), handles);
}

// The tray program ends while it shows the message (the user ended it, or
// another start replaced it): the job keeps waiting on the printer alone and
// goes on once the cover is shut, with nothing left open in the spooler.
TEST_F(NotifyRoad, TrayEndedWithTheBoxOpenLeavesTheJobToThePrinter) {
  Station &s = addStation(u"Pellor CA3 Card Printer", u"USB001");
  leaveOpen(s.printerName);
  const size_t handles = winsim::openHandleCount();
  cardemu::FaultChoice fault;
  ASSERT_TRUE(cardemu::parseFault("cover-open@I 30", &fault, nullptr));
  s.printer.injectFault(fault);
  ASSERT_NE(printJob(s.printerName, smallCard()), 0u);
  ASSERT_TRUE(winsim::waitForShownMessages(1, 30000));
  HANDLE kill = startTray(u"KillProcess");
  ASSERT_EQ(WaitForSingleObject(kill, 20000), DWORD(WAIT_OBJECT_0));
  CloseHandle(kill);
  ASSERT_TRUE(winsim::waitForProcessEnd(u"notifytray.exe", 20000));
  EXPECT_TRUE(winsim::trayIcons().empty());
  Sleep(5000);
  EXPECT_FALSE(winsim::waitForSpoolerIdle(s.printerName, 0));
  s.printer.clearFault();
  ASSERT_TRUE(winsim::waitForSpoolerIdle(s.printerName));
  const auto jobs = winsim::printJobs(s.printerName);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_FALSE(jobs[0].aborted);
  EXPECT_EQ(s.printer.takeCards().size(), 1u);
  ASSERT_TRUE(winsim::waitForAsyncNotifyIdle());
  EXPECT_EQ(winsim::openHandleCount(), handles);
}

TEST_F(NotifyRoad, SecondTrayStartReplacesTheFirstAndShowsTheNextError) {
  Station &s = addStation(u"Pellor CA3 Card Printer", u"USB001");
  const size_t handles = winsim::openHandleCount();
  HANDLE first = startTray(u"");
  ASSERT_NE(first, nullptr);
  const DWORD firstId = GetProcessId(first);
  ASSERT_TRUE(registrationsBy(firstId, 1));
  HANDLE second = startTray(u"");
  ASSERT_NE(second, nullptr);
  const DWORD secondId = GetProcessId(second);
  // The first instance closes its window and ends normally.
  ASSERT_EQ(WaitForSingleObject(first, 20000), DWORD(WAIT_OBJECT_0));
  DWORD code = 99;
  GetExitCodeProcess(first, &code);
  EXPECT_EQ(code, 0u);
  CloseHandle(first);
  ASSERT_TRUE(registrationsBy(secondId, 1));
  for (int i = 0; i < 2000 && winsim::asyncNotifyRegistrations().size() > 1; ++i) Sleep(5);
  const auto registrations = winsim::asyncNotifyRegistrations();
  ASSERT_EQ(registrations.size(), 1u);
  EXPECT_EQ(registrations[0].processId, secondId);
  const auto icons = winsim::trayIcons();
  ASSERT_EQ(icons.size(), 1u);
  EXPECT_EQ(icons[0].processId, secondId);

  // The next error reaches the user through the new instance; nothing else
  // is started for it.
  leaveOpen(s.printerName);
  cardemu::FaultChoice fault;
  ASSERT_TRUE(cardemu::parseFault("cover-open@I 30", &fault, nullptr));
  s.printer.injectFault(fault);
  ASSERT_NE(printJob(s.printerName, smallCard()), 0u);
  ASSERT_TRUE(winsim::waitForShownMessages(1, 30000));
  const auto processes = winsim::runningProcesses();
  ASSERT_EQ(processes.size(), 1u);
  EXPECT_EQ(processes[0].id, secondId);
  for (const auto &w : winsim::windows()) {
    if (w.title == s.printerName) {
      EXPECT_EQ(w.processId, secondId);
    }
  }
  s.printer.clearFault();
  ASSERT_TRUE(winsim::waitForSpoolerIdle(s.printerName));
  EXPECT_EQ(winsim::shownMessages()[0].end, winsim::MessageEnd::Closed);
  EXPECT_EQ(s.printer.takeCards().size(), 1u);

  // "KillProcess" in its own letter case ends it and starts nothing.
  HANDLE kill = startTray(u"KILLprocess");
  ASSERT_EQ(WaitForSingleObject(kill, 20000), DWORD(WAIT_OBJECT_0));
  GetExitCodeProcess(kill, &code);
  EXPECT_EQ(code, 1u);
  CloseHandle(kill);
  ASSERT_EQ(WaitForSingleObject(second, 20000), DWORD(WAIT_OBJECT_0));
  CloseHandle(second);
  EXPECT_TRUE(winsim::runningProcesses().empty());
  EXPECT_TRUE(winsim::trayIcons().empty());
  ASSERT_TRUE(winsim::waitForAsyncNotifyIdle());
  EXPECT_EQ(winsim::openHandleCount(), handles);
}

}  // namespace
