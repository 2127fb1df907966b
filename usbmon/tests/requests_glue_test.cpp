// The prefixed requests on files of the virtual drive, against a scripted port.
#include <gtest/gtest.h>
#include <winsim/testing.h>

#include <string>

#include "usbmon/interception.h"
#include "usbmon/tests/requests_fake_port.h"

namespace card::usb {
namespace {

using Writes = std::vector<std::string>;
const std::string kAck = "\x06";

void writeDriveFile(LPCWSTR path, const std::string &content) {
  HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
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
  bool request(LPCWSTR name) { return handlePrefixedRequest(port, name); }
  testing::FakePort port;
};

TEST_F(Requests, PrintFileSendsTheFileAsItIsThenRunsTheErrorWait) {
  std::string content = pattern(5000);
  writeDriveFile(u"C:\\card.prn", content);
  EXPECT_TRUE(request(u"PrintFile:C:\\card.prn"));
  ASSERT_EQ(port.writes.size(), 2u);
  EXPECT_EQ(port.writes[0].size(), 4096u);
  EXPECT_EQ(port.written(), content);
  EXPECT_EQ(port.paused, 20000u);  // twice on a 64-bit machine
  EXPECT_EQ(port.errorWaits, 1);
  port.errorWaitResult = false;  // its answer is the request's
  EXPECT_FALSE(request(u"PrintFile:C:\\card.prn"));
  // A port that refuses the bytes ends the request before the error wait.
  port.writes.clear();
  port.writesLeft = 1;
  EXPECT_FALSE(request(u"PrintFile:C:\\card.prn"));
  EXPECT_EQ(port.writes.size(), 1u);
  EXPECT_EQ(port.shown, std::vector<uint32_t>{2214});
  EXPECT_EQ(port.errorWaits, 2);
}

TEST_F(Requests, EmptyFilesAreRefusedWithTheirMessages) {
  writeDriveFile(u"C:\\empty", "");
  EXPECT_FALSE(request(u"PrintFile:C:\\empty"));
  EXPECT_FALSE(request(u"sendcmds:C:\\empty"));
  // No firmware image of no bytes reaches the printer.
  EXPECT_FALSE(request(u"download:C:\\empty"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_HANDLE_EOF));
  EXPECT_EQ(port.shown, (std::vector<uint32_t>{2088, 2210, 2088}));
  EXPECT_TRUE(port.writes.empty());
  EXPECT_EQ(port.paused, 0u);
  EXPECT_EQ(port.errorWaits, 0);
}

TEST_F(Requests, MissingFilesShowTheirMessages) {
  EXPECT_FALSE(request(u"PrintFile:C:\\missing.prn"));
  EXPECT_FALSE(request(u"download:C:\\missing.bin"));
  EXPECT_FALSE(request(u"sendcmds:C:\\missing.txt"));
  EXPECT_EQ(port.shown, (std::vector<uint32_t>{2087, 2087, 2210}));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(port.writes.empty());
}

TEST_F(Requests, CommandFileLinesEachWithTheErrorReportRequest) {
  writeDriveFile(u"C:\\cmds.txt", "RESET\nCLEAN\n");
  port.reads = {kAck, kAck};
  EXPECT_TRUE(request(u"sendcmds:C:\\cmds.txt"));
  EXPECT_EQ(port.writes, (Writes{"\033RESET\r", "\033E 2\r", "\033CLEAN\r", "\033E 2\r"}));
  EXPECT_EQ(port.readCalls, 2);
  // The last line without a line end, and no reply at all: accepted.
  writeDriveFile(u"C:\\last.txt", "V\nMS 2");
  port.writes.clear();
  EXPECT_TRUE(request(u"sendcmds:C:\\last.txt"));
  EXPECT_EQ(port.writes, (Writes{"\033V\r", "\033E 2\r", "\033MS 2\r", "\033E 2\r"}));
  EXPECT_TRUE(port.shown.empty());
}

TEST_F(Requests, CommandFileRepliesErrorsAndFailedReads) {
  writeDriveFile(u"C:\\cmds.txt", "RESET\nCLEAN\n");
  // NAK "0" "1" EOT: out of ribbon, message 4; cleared, the next line goes.
  port.reads = {
      "\x15"
      "01\x04",
      kAck};
  EXPECT_TRUE(request(u"sendcmds:C:\\cmds.txt"));
  EXPECT_EQ(port.currentMessage, 4u);
  EXPECT_EQ(port.writes.size(), 4u);
  // NAK "5" "1" EOT: cover open, message 9; the user cancels at the first line.
  port.writes.clear();
  port.reads = {
      "\x15"
      "51\x04"};
  port.errorWaitResult = false;
  EXPECT_FALSE(request(u"sendcmds:C:\\cmds.txt"));
  EXPECT_EQ(port.currentMessage, 9u);
  EXPECT_EQ(port.writes.size(), 2u);
  // Three failed reads are tried again, a fourth ends the request.
  port.readFailures = 3;
  port.reads = {kAck, kAck};
  EXPECT_TRUE(request(u"sendcmds:C:\\cmds.txt"));
  port.readFailures = 4;
  port.readCalls = 0;
  EXPECT_FALSE(request(u"sendcmds:C:\\cmds.txt"));
  EXPECT_EQ(port.readCalls, 4);
  EXPECT_EQ(port.shown, std::vector<uint32_t>{2213});
}

TEST_F(Requests, DownloadFramesTheFirmwareImage) {
  std::string image = pattern(0x012345);
  writeDriveFile(u"C:\\fw.bin", image);
  EXPECT_TRUE(request(u"download:C:\\fw.bin"));
  // Header, then the size most significant first, each byte its own write.
  ASSERT_GT(port.writes.size(), 7u);
  EXPECT_EQ(Writes(port.writes.begin(), port.writes.begin() + 5),
            (Writes{"\033DC ", std::string(1, '\x00'), "\x01", "\x23", "\x45"}));
  EXPECT_EQ(port.writes.size(), 5u + 19u + 2u);  // 19 chunks of at most 4096
  EXPECT_EQ(port.written(), "\033DC " + std::string("\x00\x01\x23\x45", 4) + image + "\xFF\r");
  EXPECT_EQ(port.writes.back(), "\r");
  EXPECT_EQ(port.paused, 10000u);
  EXPECT_EQ(port.errorWaits, 0);
}

TEST_F(Requests, SetPrinterNameChangesTheNameAndReportsFailure) {
  EXPECT_FALSE(request(u"SetPrinterName:Card Printer (Copy 1)"));
  EXPECT_EQ(port.name, u"Card Printer (Copy 1)");
  EXPECT_FALSE(request(u"SetPrinterName:"));
  EXPECT_EQ(port.name, u"");
}

}  // namespace
}  // namespace card::usb
