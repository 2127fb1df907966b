// The file requests on the network as a user meets them: a printer error on
// a command file's line cleared at the printer, a line too long for one
// command, a print file's card, and a printer that drops its data channel
// in the middle of a firmware image; and a firmware image document printed
// as a job.
#include <algorithm>
#include <chrono>
#include <thread>

#include "netmon/tests/glue/job_fixture.h"
#include "netmon/tests/glue/request_fixture.h"

namespace card::net::test {
namespace {

using Commands = std::vector<std::string>;
using Frames = std::vector<uint32_t>;

TEST_F(RequestTest, ANakOnTheSecondLineWaitsUntilTheErrorIsClearedThenGoesOn) {
  printer->removeRibbon();
  printer->injectErrorAt(4, "CLEAN");  // the feeder is empty
  winsim::clearUserScript();
  winsim::UserScript leaveOpen;
  leaveOpen.channel = winsim::UserChannel::Box;
  leaveOpen.timing = winsim::AnswerTiming::LeaveOpen;
  winsim::scriptUser(leaveOpen);
  const std::u16string file = putFile(u"clean.txt", "RESET\nCLEAN\nV\n");
  bool result = false;
  std::thread configuration([&] { result = request(u"sendcmds:" + file); });
  ASSERT_TRUE(winsim::waitForShownMessages(1, 20000));
  const winsim::ShownMessage shown = winsim::shownMessages().front();
  EXPECT_EQ(shown.caption.empty(), false);
  EXPECT_NE(shown.text.find(u"IP address: 127.0.5.20"), std::u16string::npos);
  printer->pressButton();
  configuration.join();
  EXPECT_TRUE(result);
  EXPECT_EQ(winsim::shownMessages().size(), 1u);
  // The third line went once the error had cleared.
  const Commands sent = commands();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent.front(), "RESET");
  EXPECT_EQ(std::count(sent.begin(), sent.end(), "V"), 1);
  EXPECT_FALSE(port->jobFailed);
}

TEST_F(RequestTest, AnOverLongLineGoesOnWithTheByteAtTheCut) {
  // 126 bytes fill a command with its ESC; the next command starts with the
  // byte at the cut, the D of a second message command.
  const std::string first = "DMSG " + std::string(121, 'x');
  const std::string second = "DMSG " + std::string(40, 'y');
  ASSERT_TRUE(request(u"sendcmds:" + putFile(u"long.txt", first + second)));
  EXPECT_EQ(commands(), (Commands{first, "E 1", second, "E 1"}));
  // ESC, 126 bytes, CR: 128 bytes in the first command's message.
  EXPECT_EQ(frames(), (Frames{128, 5, 47, 5}));
  EXPECT_TRUE(winsim::shownMessages().empty());
}

TEST_F(RequestTest, APrintFileGivesTheCardOfTheSameStreamPrintedAsAJob) {
  const std::string job = twoSidedJob();
  ASSERT_TRUE(request(u"PrintFile:" + putFile(u"card.prn", job)));
  EXPECT_EQ(printer->error(), 0);
  // The same stream as a job gives these cards (the job path's own tests
  // hold it to them).
  expectSameCards(printer->takeCards(), cardsOf(job));
}

TEST_F(NetJobTest, AFirmwareImageDocumentPassesTheJobPacingWhole) {
  // The configuration module's raw firmware document, printed through the
  // spooler in 4096-byte writes: ESC "DC ", the size most significant first,
  // the image, 0xFF and CR.  CRs, ESCs and 0xFF CR pairs inside the image
  // must not end the frame.
  ASSERT_TRUE(installPrinter_);
  std::string image(70000, '\0');
  for (size_t i = 0; i < image.size(); ++i) image[i] = char((i * 7 + 3) & 0x7F);
  image[15] = char(0xFF);  // the printer's own kind of image
  for (size_t at = 100; at + 2 < image.size(); at += 997) image.replace(at, 3, "\xFF\r\x1b");
  const std::string document = std::string(
                                   "\x1b"
                                   "DC \x00\x01\x11\x70",
                                   8) +
                               image + "\xFF\r";
  std::u16string name = kPrinterName, doc = u"XLINEVRNLFWDW", type = u"RAW";
  HANDLE h = nullptr;
  ASSERT_TRUE(OpenPrinterW(name.data(), &h, nullptr));
  DOC_INFO_1W di{doc.data(), nullptr, type.data()};
  ASSERT_NE(StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&di)), 0u);
  for (size_t at = 0; at < document.size();) {
    DWORD written = 0;
    const DWORD n = DWORD(std::min<size_t>(4096, document.size() - at));
    ASSERT_TRUE(WritePrinter(h, const_cast<char *>(document.data() + at), n, &written));
    ASSERT_NE(written, 0u);
    at += written;
  }
  EXPECT_TRUE(EndDocPrinter(h));
  ClosePrinter(h);
  ASSERT_TRUE(winsim::waitForSpoolerIdle(kPrinterName, 60000));
  // The printer takes the bytes on its own thread: wait for the frame's end.
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (printer->firmwareFrames() < 1 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(printer->firmwareFrames(), 1u);
  const std::optional<cardemu::FirmwareFrame> frame = printer->lastFirmwareFrame();
  ASSERT_TRUE(frame && frame->content);
  EXPECT_EQ(frame->declaredSize, 70000u);
  EXPECT_EQ(frame->content->size(), image.size());
  EXPECT_TRUE(std::string(frame->content->begin(), frame->content->end()) == image);
  EXPECT_TRUE(frame->endMarker);
  EXPECT_EQ(frame->error, 0);
  EXPECT_EQ(printer->error(), 0);
}

// An image larger than what the sockets of both ends can hold, so that the
// printer's side of the connection decides how far the sends get.
constexpr size_t kLargeImage = 8u << 20;

class MidFirmwareTest : public RequestTest {
 protected:
  // The request fails with the write message within the send waits.
  void expectFailure(const std::u16string &file) {
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(request(u"download:" + file));
    // Bounded by the send wait (6 s simulated), not by any settling pause.
    EXPECT_LT(GetTickCount64() - start, 15000u);
    EXPECT_EQ(onlyMessage(), std::u16string(kMessageHead) + kPrinterWriteText);
    stopMessageTask(*port);
    closeChannels(*port);
  }

  // The port's next connections carry a whole image, once the printer has
  // taken what still travelled of the cut one and has been reset.
  void expectRecovery() {
    uint64_t last = net->stats().dataBytes;
    auto stableSince = std::chrono::steady_clock::now();
    const auto until = stableSince + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < until &&
           std::chrono::steady_clock::now() - stableSince < std::chrono::milliseconds(50)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      if (net->stats().dataBytes != last) {
        last = net->stats().dataBytes;
        stableSince = std::chrono::steady_clock::now();
      }
    }
    const std::optional<cardemu::FirmwareFrame> cut = printer->lastFirmwareFrame();
    EXPECT_TRUE(!cut || !cut->endMarker);
    printer->softReset();
    int statusError = 0, dataError = 0;
    ASSERT_TRUE(openChannels(*port, statusError, dataError)) << statusError << " " << dataError;
    const uint64_t before = printer->firmwareFrames();
    const std::string image = firmwareImage(5000);
    ASSERT_TRUE(request(u"download:" + putFile(u"fw2.bin", image)));
    const std::optional<cardemu::FirmwareFrame> frame = firmwareFrameOnceThereAre(before + 1);
    ASSERT_TRUE(frame && frame->content);
    EXPECT_EQ(std::string(frame->content->begin(), frame->content->end()), image);
    EXPECT_TRUE(frame->endMarker);
  }
};

TEST_F(MidFirmwareTest, APrinterThatDropsTheConnectionFailsTheRequest) {
  const std::u16string file = putFile(u"fw.bin", firmwareImage(kLargeImage));
  net->resetDataAfter(100000);
  expectFailure(file);
  expectRecovery();
}

TEST_F(MidFirmwareTest, APrinterThatStopsTakingBytesFailsTheRequest) {
  const std::u16string file = putFile(u"fw.bin", firmwareImage(kLargeImage));
  net->setSilent(true);
  std::thread configuration([&] { expectFailure(file); });
  // The printer answers again once the request has given up.
  ASSERT_TRUE(winsim::waitForShownMessages(1, 30000));
  net->setSilent(false);
  configuration.join();
  expectRecovery();
}

}  // namespace
}  // namespace card::net::test
