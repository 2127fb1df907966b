// Capture jobs: the job's bytes collected in a temp file, sent by the
// mode's request at the end of the job, and the job deleted whatever came of
// it.
#include "netmon/tests/glue/request_fixture.h"

namespace card::net::test {
namespace {

const char16_t kQueue[] = u"Pellor Capture Queue";

class CaptureTest : public RequestTest {
 protected:
  void SetUp() override {
    RequestTest::SetUp();
    if (HasFatalFailure()) return;
    // A queue that keeps its job, as the spooler does while the monitor
    // still works on it.
    ASSERT_TRUE(winsim::addTestPort(u"CAPTURE1"));
    winsim::PrinterSetup setup;
    setup.printerName = kQueue;
    setup.driverName = u"Pellor Standard Printer";
    setup.portName = u"CAPTURE1";
    ASSERT_TRUE(winsim::installPrinter(setup));
    ASSERT_TRUE(winsim::setPrinterWorkOffline(kQueue, true));
  }

  // Starts a spooler job of that name and gives the port its handle and id,
  // as the job path does, then starts the capture.
  void startJob(const char16_t *document) {
    std::u16string queue = kQueue, name = document, type = u"RAW";
    HANDLE h = nullptr;
    ASSERT_TRUE(OpenPrinterW(queue.data(), &h, nullptr));
    DOC_INFO_1W info{name.data(), nullptr, type.data()};
    jobId_ = StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&info));
    ASSERT_NE(jobId_, 0u);
    EndDocPrinter(h);
    ClosePrinter(h);
    ASSERT_TRUE(OpenPrinterW(queue.data(), &port->printer, nullptr));
    port->jobId = jobId_;
    ASSERT_TRUE(startCapture(*port, document));
  }

  void write(const std::string &bytes) {
    DWORD written = 0;
    EXPECT_TRUE(captureWrite(*port, reinterpret_cast<const BYTE *>(bytes.data()), DWORD(bytes.size()), &written));
    EXPECT_EQ(written, bytes.size());
  }

  // The job was marked done and then deleted, and its handle closed.
  void expectJobRemoved() {
    EXPECT_EQ(port->printer, nullptr);
    const std::vector<winsim::JobRecord> jobs = winsim::printJobs(kQueue);
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].id, jobId_);
    EXPECT_EQ(jobs[0].controls, (std::vector<DWORD>{JOB_CONTROL_LAST_PAGE_EJECTED, JOB_CONTROL_DELETE}));
  }

  static bool fileExists(const std::u16string &path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  DWORD jobId_ = 0;
};

TEST_F(CaptureTest, AFirmwareJobIsSentAtItsEndAndTheDocumentIsThenComplete) {
  startJob(u"FILE_BIN");
  const std::u16string temp = port->captureFile;
  EXPECT_EQ(temp.rfind(u"C:\\Windows\\Temp\\CRX", 0), 0u);
  EXPECT_TRUE(capturing(*port));
  EXPECT_FALSE(port->documentComplete);
  const std::string image = firmwareImage(70000);
  write(image.substr(0, 4096));
  write(image.substr(4096));
  // Nothing goes to the printer before the end of the job.
  EXPECT_FALSE(printer->lastFirmwareFrame());
  EXPECT_FALSE(port->documentComplete);
  endCapture(*port);
  EXPECT_TRUE(port->documentComplete);
  EXPECT_FALSE(capturing(*port));
  const std::optional<cardemu::FirmwareFrame> frame = firmwareFrameOnceThereAre(1);
  ASSERT_TRUE(frame && frame->content);
  EXPECT_EQ(frame->declaredSize, image.size());
  EXPECT_EQ(std::string(frame->content->begin(), frame->content->end()), image);
  EXPECT_FALSE(fileExists(temp));
  expectJobRemoved();
  EXPECT_TRUE(winsim::shownMessages().empty());
}

TEST_F(CaptureTest, ACommandJobThatFailsStillEndsAndIsDeleted) {
  startJob(u"FILE_TXT");
  const std::u16string temp = port->captureFile;
  write("RESET\nCLEAN\n");
  closeConnection(port->data);  // the printer dropped the data channel
  endCapture(*port);
  EXPECT_EQ(onlyMessage(), std::u16string(kMessageHead) + kPrinterWriteText);
  EXPECT_TRUE(port->documentComplete);
  EXPECT_FALSE(capturing(*port));
  EXPECT_FALSE(fileExists(temp));
  EXPECT_TRUE(commands().empty());
  expectJobRemoved();
}

TEST_F(CaptureTest, ACancelledJobSendsNothing) {
  startJob(u"FILE_PRN");
  std::u16string temp = port->captureFile;
  write(firmwareImage(100));
  port->cancelled = true;  // the spooler is deleting the job
  endCapture(*port);
  EXPECT_TRUE(port->documentComplete);
  EXPECT_FALSE(port->cancelled);
  EXPECT_FALSE(fileExists(temp));
  EXPECT_TRUE(commands().empty());
  expectJobRemoved();

  // A port closed in the middle of a capture job: its file goes too.
  ASSERT_TRUE(startCapture(*port, u"FILE_BIN"));
  temp = port->captureFile;
  EXPECT_TRUE(fileExists(temp));
  cancelCapture(*port);
  EXPECT_FALSE(fileExists(temp));
  EXPECT_TRUE(port->documentComplete);
  EXPECT_FALSE(capturing(*port));
}

}  // namespace
}  // namespace card::net::test
