// The error wait: the reply check's verdict on an error reply, the message
// shown while the printer is in error, the end of the error at the printer,
// the user's cancel, and the abort clean-up sequence.
#include <algorithm>
#include <mutex>
#include <vector>

#include "netmon/tests/glue/port_harness.h"

namespace card::net::test {
namespace {

// The commands the printer ran or held, as their text between ESC and CR.
class CommandLog {
 public:
  explicit CommandLog(cardemu::Printer &printer) : printer_(printer) {
    printer.setCommandListener([this](const cardemu::CommandRecord &r) {
      if (!r.command) return;
      std::lock_guard<std::mutex> lock(mutex_);
      texts_.push_back(r.command->text);
    });
  }
  ~CommandLog() { printer_.setCommandListener(nullptr); }
  CommandLog(const CommandLog &) = delete;
  CommandLog &operator=(const CommandLog &) = delete;
  std::vector<std::string> texts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
  }
  bool has(const std::string &text) const {
    auto t = texts();
    return std::find(t.begin(), t.end(), text) != t.end();
  }

 private:
  cardemu::Printer &printer_;
  mutable std::mutex mutex_;
  std::vector<std::string> texts_;
};

TEST_F(PortTest, ANakAfterTheEncodeEndIsAPaperProblemAndElseAskForTheUser) {
  openJobChannels();
  printer->injectError(44);
  port->lastCommand = "\x1b&E*\r";
  EXPECT_EQ(replyCheck(*port), CheckResult::Refused);
  EXPECT_EQ(port->message, 51u);  // MAGNETIC ERROR
  DWORD severity = 0;
  EXPECT_EQ(portStatus(&severity), 5u);
  EXPECT_EQ(severity, DWORD(PORT_STATUS_TYPE_ERROR));
  port->lastCommand = "\x1bMF\r";
  EXPECT_EQ(replyCheck(*port), CheckResult::Refused);
  EXPECT_EQ(portStatus(&severity), 8u);
  EXPECT_EQ(severity, DWORD(PORT_STATUS_TYPE_ERROR));
  // An unknown code gives the network default message.
  printer->forceClear();
  printer->injectError(99);
  EXPECT_EQ(replyCheck(*port), CheckResult::Refused);
  EXPECT_EQ(port->message, 510u);
  printer->forceClear();
  EXPECT_EQ(replyCheck(*port), CheckResult::Passed);
  EXPECT_EQ(portStatus(), 0u);
}

TEST_F(PortTest, APrinterWithoutErrorEndsTheWaitAtOnce) {
  openJobChannels();
  EXPECT_TRUE(errorWait(*port));
  EXPECT_TRUE(winsim::shownMessages().empty());
}

TEST_F(PortTest, AnErrorClearedAtThePrinterEndsTheWaitAndTakesTheMessageAway) {
  openJobChannels();
  winsim::UserScript leaveOpen;
  leaveOpen.channel = winsim::UserChannel::Notification;
  leaveOpen.timing = winsim::AnswerTiming::LeaveOpen;
  winsim::scriptUser(leaveOpen);
  printer->injectError(4);  // OUT OF CARD
  port->lastCommand = "\x1bMI\r";
  bool result = false;
  std::thread job([&] { result = errorWait(*port); });
  ASSERT_TRUE(winsim::waitForShownMessages(1, 20000));
  const winsim::ShownMessage shown = winsim::shownMessages().front();
  // A literal notification for the printer, with its name and address.
  EXPECT_EQ(shown.channel, winsim::UserChannel::Notification);
  EXPECT_EQ(shown.printer, kPrinterName);
  EXPECT_EQ(shown.caption, kPrinterName);
  EXPECT_EQ(shown.text, errorText(31));
  EXPECT_EQ(shown.title, u"Card Printer Error");
  EXPECT_EQ(shown.textFromResource, 0);
  EXPECT_EQ(shown.textResource, -1);
  EXPECT_EQ(shown.captionResource, -1);
  // The operator loads cards and presses the button.
  printer->forceClear();
  job.join();
  EXPECT_TRUE(result);
  EXPECT_FALSE(port->jobFailed);
  EXPECT_FALSE(port->errorPending);
  ASSERT_EQ(winsim::closeRequests().size(), 1u);
  EXPECT_EQ(winsim::closeRequests()[0].printer, kPrinterName);
  EXPECT_EQ(winsim::closeRequests()[0].closedId, shown.id);
  EXPECT_EQ(winsim::shownMessages().front().end, winsim::MessageEnd::Closed);
  // The job goes on over a new data connection.
  EXPECT_NE(port->data, INVALID_SOCKET);
  EXPECT_EQ(port->messageTask, nullptr);
}

TEST_F(PortTest, APrinterThatAnswersNothingIsReportedOutOfReach) {
  openJobChannels();
  winsim::UserScript dismiss;
  dismiss.channel = winsim::UserChannel::Notification;
  winsim::scriptUser(dismiss);
  // The interface takes connections but answers nothing, not even the probe.
  net->setSilent(true);
  port->message = 4;
  EXPECT_FALSE(errorWait(*port));
  const auto shown = winsim::shownMessages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, errorText(57));
  EXPECT_TRUE(port->jobFailed);
  net->setSilent(false);
}

TEST_F(PortTest, AMessageThatReachesNobodyEndsTheWaitAsADismissalDoes) {
  openJobChannels();
  // No notification server to be had: nobody will ever answer.
  module().sendAsyncNotification = nullptr;
  printer->injectError(4);
  EXPECT_FALSE(errorWait(*port));
  EXPECT_TRUE(port->jobFailed);
  EXPECT_TRUE(winsim::shownMessages().empty());
}

// Before Windows 6 the monitor shows its own box.
TEST_F(BoxPortTest, TheUserDismissingTheBoxCancelsTheJob) {
  // A queued job of the printer, as the spooler holds it while the port
  // prints it.
  winsim::PrinterSetup setup;
  setup.printerName = kPrinterName;
  setup.driverName = kDriverName;
  setup.portName = kPortName;
  ASSERT_TRUE(winsim::installPrinter(setup)) << GetLastError();
  ASSERT_TRUE(winsim::setPrinterWorkOffline(kPrinterName, true));
  std::u16string printerName = kPrinterName;
  HANDLE h = nullptr;
  ASSERT_TRUE(OpenPrinterW(reinterpret_cast<LPWSTR>(printerName.data()), &h, nullptr));
  std::u16string document = u"card", type = u"RAW";
  DOC_INFO_1W doc{reinterpret_cast<LPWSTR>(document.data()), nullptr, reinterpret_cast<LPWSTR>(type.data())};
  const DWORD job = StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&doc));
  ASSERT_NE(job, 0u);
  DWORD written = 0;
  WritePrinter(h, const_cast<char *>("\x1bMASTER\r"), 8, &written);
  EndDocPrinter(h);
  port->printer = h;  // the port closes it
  port->jobId = job;

  openJobChannels();
  CommandLog log(*printer);
  winsim::UserScript dismiss;
  dismiss.caption = u"Card Printer Error";
  dismiss.channel = winsim::UserChannel::Box;
  dismiss.timing = winsim::AnswerTiming::AfterDelay;
  dismiss.delayMs = 4000;
  winsim::scriptUser(dismiss);
  printer->injectError(9);  // REMOVE RIBBON
  EXPECT_FALSE(errorWait(*port));

  const auto shown = winsim::shownMessages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].channel, winsim::UserChannel::Box);
  EXPECT_EQ(shown[0].text, errorText(53));
  EXPECT_EQ(shown[0].flags, UINT(MB_OK | MB_ICONWARNING | MB_SYSTEMMODAL | MB_SETFOREGROUND | MB_TOPMOST));
  EXPECT_TRUE(port->cancelled);
  EXPECT_TRUE(port->jobFailed);
  EXPECT_TRUE(log.has("R"));
  EXPECT_TRUE(winsim::closeRequests().empty());
  const auto jobs = winsim::printJobs(kPrinterName);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_NE(std::find(jobs[0].controls.begin(), jobs[0].controls.end(), DWORD(JOB_CONTROL_DELETE)),
            jobs[0].controls.end());

  std::string reply;
  ASSERT_TRUE(
      queryBytes("\x1b"
                 "CheckPortStatus\r",
                 reply));
  EXPECT_EQ(reply, "STATUS_FAILED");
}

TEST_F(BoxPortTest, AnErrorClearedAtThePrinterTakesTheBoxAway) {
  openJobChannels();
  winsim::UserScript leaveOpen;
  leaveOpen.channel = winsim::UserChannel::Box;
  leaveOpen.timing = winsim::AnswerTiming::LeaveOpen;
  winsim::scriptUser(leaveOpen);
  printer->injectError(51);  // COVER OPEN
  bool result = false;
  std::thread job([&] { result = errorWait(*port); });
  ASSERT_TRUE(winsim::waitForShownMessages(1, 20000));
  EXPECT_EQ(winsim::shownMessages().front().text, errorText(9));
  printer->forceClear();
  job.join();
  EXPECT_TRUE(result);
  EXPECT_EQ(winsim::shownMessages().front().end, winsim::MessageEnd::ThreadTerminated);
  EXPECT_TRUE(winsim::closeRequests().empty());
}

TEST_F(PortTest, TheCleanUpEndsWithTheReadyMessageOnlyForTheFirstModels) {
  openJobChannels();
  CommandLog log(*printer);
  std::strcpy(port->model, " CA1 MAG V3.02");
  port->ribbonClass = false;
  {
    MonitorLock lock;
    abortCleanup(*port);
  }
  std::vector<std::string> texts = log.texts();
  const std::vector<std::string> expected = {"!FF 0", "E 1", "$F",  "F",          "E 1", "MO",
                                             "E 1",   ".",   "E 1", "DMSG READY", "E 1"};
  EXPECT_EQ(texts, expected);

  CommandLog other(*printer);
  std::strcpy(port->model, "CA3 MAG V3.02");
  port->ribbonClass = true;  // no feed reset
  {
    MonitorLock lock;
    abortCleanup(*port);
  }
  texts = other.texts();
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.front(), "$F");
  EXPECT_EQ(texts[texts.size() - 2], "SLAVE");
}

}  // namespace
}  // namespace card::net::test
