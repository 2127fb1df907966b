// The prefixed requests on files of the virtual drive, against a scripted port.
#include <gtest/gtest.h>
#include <winsim/testing.h>

#include <string>

#include "usbmon/interception.h"
#include "usbmon/tests/requests_fake_port.h"

namespace card::usb {
namespace {

using testing::FakePort;

constexpr char kAck = 0x06;

void writeDriveFile(const std::u16string &path, const std::string &content) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  DWORD done = 0;
  ASSERT_TRUE(WriteFile(f, content.data(), DWORD(content.size()), &done, nullptr));
  CloseHandle(f);
}

std::string pattern(size_t size) {
  std::string s(size, 0);
  for (size_t i = 0; i < size; ++i) s[i] = char(i * 7 + 3);
  return s;
}

class Requests : public ::testing::Test {
 protected:
  void SetUp() override { winsim::resetMachine(); }
  bool request(const std::u16string &name) { return handlePrefixedRequest(port, name.c_str()); }
  FakePort port;
};

TEST_F(Requests, PrintFileSendsTheBytesAsTheyAreThenWaitsForTheErrorState) {
  std::string content = pattern(5000);
  writeDriveFile(u"C:\\card.prn", content);
  port.errorWaitResult = true;
  EXPECT_TRUE(request(u"PrintFile:C:\\card.prn"));
  ASSERT_EQ(port.writes.size(), 2u);  // 4096 bytes a write
  EXPECT_EQ(port.writes[0].size(), 4096u);
  EXPECT_EQ(port.written(), content);
  EXPECT_EQ(port.errorWaits, 1);
  EXPECT_EQ(port.paused, 20000u);  // twice on a 64-bit machine
  EXPECT_TRUE(port.shown.empty());
  // The error wait's answer is the request's.
  port.errorWaitResult = false;
  EXPECT_FALSE(request(u"PrintFile:C:\\card.prn"));
}

TEST_F(Requests, PrintFileOnA32BitMachineAndAnEmptyFile) {
  winsim::setOsVersion(10, 0, 19045, false);
  writeDriveFile(u"C:\\empty.prn", "");
  EXPECT_TRUE(request(u"PrintFile:C:\\empty.prn"));
  EXPECT_TRUE(port.writes.empty());
  EXPECT_EQ(port.paused, 10000u);
  EXPECT_EQ(port.errorWaits, 1);
}

TEST_F(Requests, FileFailuresShowTheirMessageAndFail) {
  EXPECT_FALSE(request(u"PrintFile:C:\\missing.prn"));
  EXPECT_FALSE(request(u"download:C:\\missing.bin"));
  EXPECT_FALSE(request(u"sendcmds:C:\\missing.txt"));
  ASSERT_EQ(port.shown.size(), 3u);
  EXPECT_EQ(port.shown[0].message, 2087u);
  EXPECT_EQ(port.shown[1].message, 2087u);
  EXPECT_EQ(port.shown[2].message, 2210u);
  EXPECT_EQ(port.shown[0].caption, 2541u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(port.writes.empty());
  EXPECT_EQ(port.errorWaits, 0);
}

TEST_F(Requests, PrintFileStopsWhenThePortRefusesTheBytes) {
  writeDriveFile(u"C:\\card.prn", pattern(9000));
  port.writesBeforeFailure = 1;
  EXPECT_FALSE(request(u"PrintFile:C:\\card.prn"));
  EXPECT_EQ(port.writes.size(), 1u);
  ASSERT_EQ(port.shown.size(), 1u);
  EXPECT_EQ(port.shown[0].message, 2214u);
  EXPECT_EQ(port.errorWaits, 0);
}

TEST_F(Requests, CommandFileSendsEachLineWithTheErrorReportRequest) {
  writeDriveFile(u"C:\\cmds.txt", "RESET\nCLEAN\n");
  port.reads = {{1, std::string(1, kAck)}, {1, std::string(1, kAck)}};
  EXPECT_TRUE(request(u"sendcmds:C:\\cmds.txt"));
  EXPECT_EQ(port.writes, (std::vector<std::string>{"\033RESET\r", "\033E 2\r", "\033CLEAN\r", "\033E 2\r"}));
  EXPECT_EQ(port.readCalls, 2);
  // The last line without a line end, and no reply at all: still accepted.
  writeDriveFile(u"C:\\last.txt", "V\nMS 2");
  port.writes.clear();
  EXPECT_TRUE(request(u"sendcmds:C:\\last.txt"));
  EXPECT_EQ(port.writes, (std::vector<std::string>{"\033V\r", "\033E 2\r", "\033MS 2\r", "\033E 2\r"}));
  EXPECT_TRUE(port.shown.empty());
  // An empty file sends nothing and succeeds.
  writeDriveFile(u"C:\\empty.txt", "");
  port.writes.clear();
  EXPECT_TRUE(request(u"sendcmds:C:\\empty.txt"));
  EXPECT_TRUE(port.writes.empty());
}

TEST_F(Requests, CommandFileErrorRepliesGoThroughTheErrorWait) {
  writeDriveFile(u"C:\\cmds.txt", "RESET\nCLEAN\n");
  // NAK "0" "1" EOT: out of ribbon, message 4.  Cleared: the next line goes.
  port.reads = {{4,
                 "\x15"
                 "01\x04"},
                {1, std::string(1, kAck)}};
  EXPECT_TRUE(request(u"sendcmds:C:\\cmds.txt"));
  EXPECT_EQ(port.currentMessage, 4u);
  EXPECT_EQ(port.errorWaits, 1);
  EXPECT_EQ(port.writes.size(), 4u);
  // NAK "5" "1" EOT (cover open, message 9), and the user cancels: the
  // request ends with the first line.
  port.writes.clear();
  port.reads = {{4,
                 "\x15"
                 "51\x04"}};
  port.errorWaitResult = false;
  EXPECT_FALSE(request(u"sendcmds:C:\\cmds.txt"));
  EXPECT_EQ(port.currentMessage, 9u);
  EXPECT_EQ(port.writes.size(), 2u);
}

TEST_F(Requests, CommandFileReplyReadsAreTriedFourTimes) {
  writeDriveFile(u"C:\\cmds.txt", "RESET\n");
  port.reads = {{-1, ""}, {-1, ""}, {-1, ""}, {1, std::string(1, kAck)}};
  EXPECT_TRUE(request(u"sendcmds:C:\\cmds.txt"));
  EXPECT_TRUE(port.shown.empty());
  port.reads = {{-1, ""}, {-1, ""}, {-1, ""}, {-1, ""}, {1, std::string(1, kAck)}};
  port.readCalls = 0;
  EXPECT_FALSE(request(u"sendcmds:C:\\cmds.txt"));
  EXPECT_EQ(port.readCalls, 4);
  ASSERT_EQ(port.shown.size(), 1u);
  EXPECT_EQ(port.shown[0].message, 2213u);
  // A refused write: message 2214.
  port.shown.clear();
  port.writesBeforeFailure = 1;
  EXPECT_FALSE(request(u"sendcmds:C:\\cmds.txt"));
  ASSERT_EQ(port.shown.size(), 1u);
  EXPECT_EQ(port.shown[0].message, 2214u);
}

TEST_F(Requests, DownloadFramesTheFirmwareImage) {
  std::string image = pattern(0x012345);
  writeDriveFile(u"C:\\fw.bin", image);
  EXPECT_TRUE(request(u"download:C:\\fw.bin"));
  ASSERT_GE(port.writes.size(), 7u);
  EXPECT_EQ(port.writes[0], "\033DC ");
  EXPECT_EQ(port.writes[1], std::string(1, '\x00'));
  EXPECT_EQ(port.writes[2], std::string(1, '\x01'));
  EXPECT_EQ(port.writes[3], std::string(1, '\x23'));
  EXPECT_EQ(port.writes[4], std::string(1, '\x45'));
  EXPECT_EQ(port.written(), "\033DC " + std::string("\x00\x01\x23\x45", 4) + image + "\xFF\r");
  EXPECT_EQ(port.writes.back(), "\r");
  EXPECT_EQ(port.paused, 10000u);
  EXPECT_EQ(port.errorWaits, 0);
  // A port that stops taking bytes fails the download.
  port.writes.clear();
  port.writesBeforeFailure = 6;
  EXPECT_FALSE(request(u"download:C:\\fw.bin"));
  ASSERT_EQ(port.shown.size(), 1u);
  EXPECT_EQ(port.shown[0].message, 2214u);
}

TEST_F(Requests, SetPrinterNameChangesTheNameAndReportsFailure) {
  EXPECT_FALSE(request(u"SetPrinterName:Card Printer (Copy 1)"));
  EXPECT_EQ(port.name, u"Card Printer (Copy 1)");
  EXPECT_FALSE(request(u"SetPrinterName:"));
  EXPECT_EQ(port.name, u"");
  EXPECT_TRUE(port.writes.empty());
}

}  // namespace
}  // namespace card::usb
