// The configuration module's file requests as it makes them: GetPrinterDataW
// on the printer, handed by winsim's spooler to the built monitor, which
// sends the file to the emulated printer on USB001.  The clock is sped up,
// so the printer's pauses of seconds cost milliseconds.
#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <winsim/testing.h>

#include <algorithm>
#include <atomic>
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
const std::string kErrorRequest = esc("E 2");

// The emulated printer; its port can be made to fail once a number of bytes
// went through, as a printer switched off in the middle of a transfer.
class Device : public cardemu::UsbPrinterDevice {
 public:
  explicit Device(cardemu::Printer &p) : UsbPrinterDevice(p, true), printer_(p) {}
  long write(const uint8_t *data, size_t size) override {
    const long n = UsbPrinterDevice::write(data, size);
    if (n > 0) total_ += size_t(n);
    if (failAfter_ && total_ >= failAfter_) printer_.setConnected(false);
    return n;
  }
  void failAfter(size_t bytes) { failAfter_ = total_ + bytes; }
  void disarm() { failAfter_ = 0; }
  // The pieces the printer took, one per write call, without the error
  // report requests.
  std::vector<std::string> pieces() {
    std::vector<std::string> out;
    for (const cardemu::UsbWrite &w : takeWrites()) {
      std::string s(w.bytes.begin(), w.bytes.begin() + std::max<long>(w.taken, 0));
      if (!s.empty() && s != kErrorRequest) out.push_back(s);
    }
    return out;
  }

 private:
  cardemu::Printer &printer_;
  std::atomic<size_t> total_{0}, failAfter_{0};
};

std::string rleBits() {
  std::string s;
  for (int i = 0; i < 645; ++i) s += streams::bytes({0xFF, 0x81});
  s += streams::bytes({0x02, 0x5B, 0x5B, 0x41});
  s += streams::bytes({0x83, 0x5B, 0x5B});
  return s;
}

// A one-sided card with a resin image.
std::string smallCard() {
  return streams::ymckoHeader() + esc("F") + esc("G 0 0 12 640 1024 1") + "\x1bZ" + rleBits() + "\r" + esc("I 30") +
         esc("MO");
}

// An image of `size` bytes whose content the printer takes as a firmware
// image (byte 15 is 0xFF, byte 14 is not).
std::string firmwareImage(size_t size) {
  std::string image(size, '\0');
  for (size_t i = 0; i < size; ++i) image[i] = char((i * 7 + 3) & 0x7F);
  image[15] = char(0xFF);
  return image;
}

std::u16string putFile(const std::u16string &name, const std::string &bytes) {
  const std::u16string path = u"C:\\Windows\\Temp\\" + name;
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(h, bytes.data(), DWORD(bytes.size()), &written, nullptr));
  CloseHandle(h);
  return path;
}

void expectSamePicture(const std::vector<cardemu::Card> &got, const std::vector<cardemu::Card> &want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t c = 0; c < got.size(); ++c)
    for (int side = 0; side < 2; ++side) {
      const auto &g = got[c].sides[side].panels, &w = want[c].sides[side].panels;
      ASSERT_EQ(g.size(), w.size());
      for (size_t k = 0; k < g.size(); ++k) {
        EXPECT_EQ(g[k].kind, w[k].kind);
        ASSERT_TRUE(g[k].image && w[k].image);
        EXPECT_TRUE(*g[k].image == *w[k].image) << "side " << side << " panel " << k;
      }
    }
}

class UsbRequests : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::resetMachine();
    winsim::setClockScale(1000.0);
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
    ASSERT_TRUE(winsim::attachUsbDevice(kPort, device));
    ASSERT_TRUE(winsim::installPrinter(setup));
  }
  void TearDown() override { winsim::resetMachine(); }

  // The request as the configuration module makes it; the spooler's answer.
  static DWORD request(const std::u16string &valueName) {
    std::u16string printerName = kPrinter;
    HANDLE h = nullptr;
    if (!OpenPrinterW(printerName.data(), &h, nullptr)) return GetLastError();
    BYTE out[32] = {};
    DWORD type = 0, needed = 0;
    std::u16string value = valueName;
    const DWORD rc = GetPrinterDataW(h, value.data(), &type, out, sizeof out, &needed);
    ClosePrinter(h);
    return rc;
  }

  static std::string printerData(const std::string &command) {
    WCHAR value[64];
    card::encodeQueryCommand(command.data(), command.size(), value, 64);
    std::u16string printerName = kPrinter;
    HANDLE h = nullptr;
    if (!OpenPrinterW(printerName.data(), &h, nullptr)) return "";
    BYTE out[64] = {};
    DWORD type = 0, needed = 0;
    const DWORD rc = GetPrinterDataW(h, value, &type, out, sizeof out, &needed);
    ClosePrinter(h);
    return rc == ERROR_SUCCESS ? std::string(reinterpret_cast<char *>(out), std::min<DWORD>(needed, 64)) : "";
  }

  // The job's bytes go in WritePrinter calls of `piece` bytes (all at once
  // when 0).
  static DWORD printJob(const std::string &bytes, const char16_t *document = u"Card", size_t piece = 0) {
    std::u16string name = kPrinter, doc = document, type = u"RAW";
    HANDLE h = nullptr;
    if (!OpenPrinterW(name.data(), &h, nullptr)) return 0;
    DOC_INFO_1W di{doc.data(), nullptr, type.data()};
    const DWORD id = StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&di));
    for (size_t at = 0; at < bytes.size();) {
      const size_t n = piece ? std::min(piece, bytes.size() - at) : bytes.size();
      DWORD written = 0;
      if (!WritePrinter(h, const_cast<char *>(bytes.data() + at), DWORD(n), &written) || written == 0) break;
      at += written;
    }
    EndDocPrinter(h);
    ClosePrinter(h);
    return id;
  }

  static void answerInformation() {
    winsim::UserScript ok;
    ok.channel = winsim::UserChannel::Notification;
    winsim::scriptUser(ok);
  }

  static cardemu::PrinterConfig config() {
    cardemu::PrinterConfig c;
    c.ribbonRemaining = 1000000;
    return c;
  }
  cardemu::Printer printer{config()};
  std::shared_ptr<Device> device = std::make_shared<Device>(printer);
};

TEST_F(UsbRequests, ACommandFileSendsEachLineWithItsReplyCheck) {
  printer.removeRibbon();  // the printer cleans only without one
  // The last line has no line end.
  EXPECT_EQ(request(u"sendcmds:" + putFile(u"clean.txt", "RESET\nCLEAN")), DWORD(ERROR_SUCCESS));
  const std::vector<std::string> pieces = device->pieces();
  const std::vector<std::string> want = {esc("RESET"), esc("CLEAN")};
  EXPECT_EQ(pieces, want);
  EXPECT_TRUE(winsim::shownMessages().empty());
}

TEST_F(UsbRequests, ANakOnTheSecondLineWaitsForTheErrorToClear) {
  printer.removeRibbon();
  printer.injectErrorAt(4, "CLEAN");  // the feeder is empty
  winsim::UserScript hold;
  hold.channel = winsim::UserChannel::Notification;
  hold.timing = winsim::AnswerTiming::LeaveOpen;
  winsim::scriptUser(hold);
  const std::u16string file = putFile(u"clean.txt", "RESET\nCLEAN\nV\n");
  DWORD rc = 0;
  std::thread configuration([&] { rc = request(u"sendcmds:" + file); });
  ASSERT_TRUE(winsim::waitForShownMessages(1));
  Sleep(10000);  // the request waits meanwhile (simulated time)
  printer.pressButton();
  configuration.join();
  EXPECT_EQ(rc, DWORD(ERROR_SUCCESS));
  const std::vector<winsim::ShownMessage> shown = winsim::shownMessages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].textResource, 31);
  EXPECT_EQ(shown[0].captionResource, 2541);
  EXPECT_NE(shown[0].end, winsim::MessageEnd::Open);
  // The line after the failed one went once the error cleared.
  const std::vector<std::string> pieces = device->pieces();
  ASSERT_FALSE(pieces.empty());
  EXPECT_EQ(pieces.back(), esc("V"));
}

TEST_F(UsbRequests, ANakOnTheSecondLineEndsTheFileWhenTheUserCancels) {
  printer.removeRibbon();
  printer.injectErrorAt(4, "CLEAN");
  winsim::UserScript ok;
  ok.channel = winsim::UserChannel::Notification;
  ok.answer = IDOK;
  winsim::scriptUser(ok);
  EXPECT_NE(request(u"sendcmds:" + putFile(u"clean.txt", "RESET\nCLEAN\nV\n")), DWORD(ERROR_SUCCESS));
  ASSERT_EQ(winsim::shownMessages().size(), 1u);
  // The printer was told to drop what it holds; the third line never went.
  const std::vector<std::string> pieces = device->pieces();
  ASSERT_GE(pieces.size(), 3u);
  EXPECT_EQ(pieces[0], esc("RESET"));
  EXPECT_EQ(pieces[1], esc("CLEAN"));
  EXPECT_EQ(pieces[2], esc("R"));
  EXPECT_EQ(std::count(pieces.begin(), pieces.end(), esc("V")), 0);
}

TEST_F(UsbRequests, AnOverLongLineGoesOnWithTheByteAtTheCut) {
  // 126 bytes fill a command with its ESC; the next command starts with the
  // byte at the cut, which is the D of a second message command.
  const std::string first = "DMSG " + std::string(121, 'x');
  const std::string second = "DMSG " + std::string(40, 'y');
  EXPECT_EQ(request(u"sendcmds:" + putFile(u"long.txt", first + second + "\n")), DWORD(ERROR_SUCCESS));
  const std::vector<std::string> pieces = device->pieces();
  const std::vector<std::string> want = {"\x1b" + first + "\r", "\x1b" + second + "\r"};
  EXPECT_EQ(pieces, want);
  EXPECT_EQ(pieces[0].size(), 128u);  // 127 bytes and the CR
  EXPECT_TRUE(winsim::shownMessages().empty());
}

TEST_F(UsbRequests, AFirmwareImageArrivesWithItsSizeBytesAndEndMarker) {
  const std::string image = firmwareImage(0x012345);
  EXPECT_EQ(request(u"download:" + putFile(u"fw.bin", image)), DWORD(ERROR_SUCCESS));
  const std::vector<std::string> pieces = device->pieces();
  // Header, 00 01 23 45 a write each, the image in 4096-byte pieces, 0xFF, CR.
  ASSERT_EQ(pieces.size(), 5u + 19u + 2u);
  const std::vector<std::string> head = {
      "\x1b"
      "DC ",
      std::string(1, '\0'), "\x01", "\x23", "\x45"};
  EXPECT_EQ(std::vector<std::string>(pieces.begin(), pieces.begin() + 5), head);
  EXPECT_EQ(pieces[5].size(), 4096u);
  EXPECT_EQ(pieces[pieces.size() - 2], "\xFF");
  EXPECT_EQ(pieces.back(), "\r");
  const std::optional<cardemu::FirmwareFrame> frame = printer.lastFirmwareFrame();
  ASSERT_TRUE(frame && frame->content);
  EXPECT_EQ(frame->declaredSize, 0x012345u);
  EXPECT_EQ(std::string(frame->content->begin(), frame->content->end()), image);
  EXPECT_TRUE(frame->endMarker);
  EXPECT_EQ(frame->error, 0);
}

TEST_F(UsbRequests, AFirmwareImageDocumentPassesTheJobPacingWhole) {
  // The configuration module's raw firmware document: ESC "DC ", the size
  // most significant first, the image in 4096-byte writes, 0xFF and CR.  The
  // image holds CRs, ESCs and 0xFF CR pairs that must not end the frame.
  std::string image = firmwareImage(70000);
  for (size_t at = 100; at + 2 < image.size(); at += 997) image.replace(at, 3, "\xFF\r\x1b");
  const std::string document = std::string(
                                   "\x1b"
                                   "DC \x00\x01\x11\x70",
                                   8) +
                               image + "\xFF\r";
  device->takeWrites();
  ASSERT_NE(printJob(document, u"XLINEVRNLFWDW", 4096), 0u);
  ASSERT_TRUE(winsim::waitForSpoolerIdle(kPrinter));
  EXPECT_EQ(printer.firmwareFrames(), 1u);
  const std::optional<cardemu::FirmwareFrame> frame = printer.lastFirmwareFrame();
  ASSERT_TRUE(frame && frame->content);
  EXPECT_EQ(frame->declaredSize, 70000u);
  EXPECT_EQ(std::string(frame->content->begin(), frame->content->end()), image);
  EXPECT_TRUE(frame->endMarker);
  EXPECT_EQ(frame->error, 0);
  // After the monitor's own job start commands, the header went as one
  // piece and the rest in pieces of at most 4096 bytes, nothing dropped.
  const std::vector<std::string> pieces = device->pieces();
  const auto header = std::find(pieces.begin(), pieces.end(), document.substr(0, 8));
  ASSERT_NE(header, pieces.end());
  std::string sent;
  for (auto p = header; p != pieces.end(); ++p) {
    EXPECT_LE(p->size(), 4096u);
    sent += *p;
  }
  EXPECT_EQ(sent.size(), document.size());
  EXPECT_TRUE(sent == document);
  EXPECT_TRUE(winsim::shownMessages().empty());
}

TEST_F(UsbRequests, APrintFilePrintsTheCardItHolds) {
  const std::string card = smallCard();
  EXPECT_EQ(request(u"PrintFile:" + putFile(u"card.prn", card)), DWORD(ERROR_SUCCESS));
  const std::vector<cardemu::Card> fromFile = printer.takeCards();
  ASSERT_EQ(fromFile.size(), 1u);
  ASSERT_NE(printJob(card), 0u);
  ASSERT_TRUE(winsim::waitForSpoolerIdle(kPrinter));
  const std::vector<cardemu::Card> fromJob = printer.takeCards();
  expectSamePicture(fromFile, fromJob);
  EXPECT_TRUE(winsim::shownMessages().empty());
}

TEST_F(UsbRequests, AMissingOrEmptyFileIsShownAndNothingIsSent) {
  answerInformation();
  const std::u16string missing = u"C:\\Windows\\Temp\\none.bin";
  const std::u16string empty = putFile(u"empty.bin", "");
  device->takeWrites();
  EXPECT_NE(request(u"download:" + missing), DWORD(ERROR_SUCCESS));
  EXPECT_NE(request(u"download:" + empty), DWORD(ERROR_SUCCESS));
  EXPECT_NE(request(u"sendcmds:" + missing), DWORD(ERROR_SUCCESS));
  EXPECT_NE(request(u"PrintFile:" + empty), DWORD(ERROR_SUCCESS));
  const std::vector<winsim::ShownMessage> shown = winsim::shownMessages();
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_EQ(shown[0].textResource, 2087);
  EXPECT_EQ(shown[1].textResource, 2088);
  EXPECT_EQ(shown[2].textResource, 2210);
  EXPECT_EQ(shown[3].textResource, 2088);
  EXPECT_TRUE(device->pieces().empty());
  EXPECT_EQ(printer.firmwareFrames(), 0u);
}

TEST_F(UsbRequests, APrinterGoneMidFirmwareFailsTheRequestAndThePortPrintsOn) {
  answerInformation();
  device->failAfter(30000);
  const ULONGLONG start = GetTickCount64();
  EXPECT_NE(request(u"download:" + putFile(u"fw.bin", firmwareImage(0x012345))), DWORD(ERROR_SUCCESS));
  // Bounded by the port's own waits, not by the image's settling pause.
  EXPECT_LT(GetTickCount64() - start, 60000u);
  const std::vector<winsim::ShownMessage> shown = winsim::shownMessages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].textResource, 2214);
  // Back again, the next job prints.
  device->disarm();
  printer.setConnected(true);
  printer.softReset();
  ASSERT_NE(printJob(smallCard()), 0u);
  ASSERT_TRUE(winsim::waitForSpoolerIdle(kPrinter));
  const std::vector<winsim::JobRecord> jobs = winsim::printJobs(kPrinter);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_FALSE(jobs[0].aborted);
  EXPECT_EQ(printer.takeCards().size(), 1u);
}

TEST_F(UsbRequests, AFirmwareCaptureJobIsSentAtItsEndAndLeavesTheQueue) {
  const std::string image = firmwareImage(20000);
  const DWORD id = printJob(image, u"FILE_BIN");
  ASSERT_NE(id, 0u);
  ASSERT_TRUE(winsim::waitForSpoolerIdle(kPrinter));
  const std::optional<cardemu::FirmwareFrame> frame = printer.lastFirmwareFrame();
  ASSERT_TRUE(frame && frame->content);
  EXPECT_EQ(std::string(frame->content->begin(), frame->content->end()), image);
  EXPECT_TRUE(frame->endMarker);
  EXPECT_EQ(printerData("\x1bIsDOCComplete\r").substr(0, 12), "DOC_COMPLETE");
  const std::vector<winsim::JobRecord> jobs = winsim::printJobs(kPrinter);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].controls, (std::vector<DWORD>{JOB_CONTROL_LAST_PAGE_EJECTED, JOB_CONTROL_DELETE}));
  EXPECT_TRUE(winsim::shownMessages().empty());
}

// The monitor's own table on the port, with a job in a second queue that is
// still being spooled, so that it can be deleted while the capture runs.
TEST_F(UsbRequests, ACaptureJobDeletedDuringItsTransferSendsNothing) {
  HMODULE m = GetModuleHandleW(u"usbmon.dll");
  ASSERT_NE(m, nullptr);
  auto init = reinterpret_cast<BOOL(WINAPI *)(LPWSTR, LPMONITOR)>(
      reinterpret_cast<void (*)()>(GetProcAddress(m, "InitializeMonitorEx")));
  ASSERT_NE(init, nullptr);
  MONITOR table{};
  ASSERT_TRUE(init(nullptr, &table));
  ASSERT_TRUE(winsim::addTestPort(u"HOLD:"));
  winsim::PrinterSetup holder;
  holder.printerName = u"Job Holder";
  holder.driverName = u"Generic Holder Driver";
  holder.portName = u"HOLD:";
  ASSERT_TRUE(winsim::installPrinter(holder));
  std::u16string holderName = holder.printerName, port = kPort, doc = u"FILE_BIN", type = u"RAW";
  HANDLE queue = nullptr;
  ASSERT_TRUE(OpenPrinterW(holderName.data(), &queue, nullptr));
  DOC_INFO_1W di{doc.data(), nullptr, type.data()};
  const DWORD id = StartDocPrinterW(queue, 1, reinterpret_cast<LPBYTE>(&di));
  ASSERT_NE(id, 0u);
  HANDLE h = nullptr;
  ASSERT_TRUE(
      table.pfnOpenPortEx(port.data(), holderName.data(), &h, const_cast<LPMONITOR>(winsim::usbPortMonitorTable())));
  ASSERT_TRUE(table.pfnStartDocPort(h, holderName.data(), id, 1, reinterpret_cast<LPBYTE>(&di)));
  device->takeWrites();
  std::string image = firmwareImage(20000);
  DWORD n = 0;
  ASSERT_TRUE(table.pfnWritePort(h, reinterpret_cast<LPBYTE>(image.data()), 10000, &n));
  EXPECT_EQ(n, 10000u);
  ASSERT_TRUE(SetJobW(queue, id, 0, nullptr, JOB_CONTROL_DELETE));
  ASSERT_TRUE(table.pfnWritePort(h, reinterpret_cast<LPBYTE>(image.data() + 10000), 10000, &n));
  ASSERT_TRUE(table.pfnEndDocPort(h));
  // Half an image never reaches the printer; the document is over.
  EXPECT_EQ(printer.firmwareFrames(), 0u);
  EXPECT_TRUE(device->pieces().empty());
  WCHAR name[64];
  ASSERT_TRUE(card::encodeQueryCommand("\x1bIsDOCComplete\r", 15, name, 64));
  char reply[32] = {};
  DWORD got = 0;
  ASSERT_TRUE(table.pfnGetPrinterDataFromPort(h, 0, name, nullptr, 0, reinterpret_cast<LPWSTR>(reply), 32, &got));
  EXPECT_EQ(std::string(reply, std::min<DWORD>(got, 12)), "DOC_COMPLETE");
  EXPECT_TRUE(table.pfnClosePort(h));
  EndDocPrinter(queue);
  ClosePrinter(queue);
  EXPECT_TRUE(winsim::shownMessages().empty());
}

}  // namespace
