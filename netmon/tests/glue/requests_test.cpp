// The prefixed requests on the network: command files, firmware images and
// print files sent on the data channel, every piece framed, and the
// messages of a file that cannot be had.
#include "netmon/tests/glue/request_fixture.h"

namespace card::net::test {
namespace {

using Commands = std::vector<std::string>;
using Frames = std::vector<uint32_t>;

TEST_F(RequestTest, CommandFileLinesGoFramedEachWithItsReplyCheck) {
  printer->removeRibbon();  // the printer cleans only without one
  // The empty line is left out; the last line has no LF and is sent too.
  ASSERT_TRUE(request(u"sendcmds:" + putFile(u"clean.txt", "RESET\r\n\nCLEAN")));
  EXPECT_EQ(commands(), (Commands{"RESET", "E 1", "CLEAN", "E 1"}));
  // "\eRESET\r", "\eE 1\r", "\eCLEAN\r", "\eE 1\r": four messages of their own.
  EXPECT_EQ(frames(), (Frames{7, 5, 7, 5}));
  EXPECT_TRUE(winsim::shownMessages().empty());
}

TEST_F(RequestTest, APrinterErrorOnALineStopsTheFileWhenTheUserCancels) {
  printer->injectErrorAt(31, "CLEAN");  // out of cards
  EXPECT_FALSE(request(u"sendcmds:" + putFile(u"three.txt", "RESET\nCLEAN\nV\n")));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PRINT_CANCELLED));
  const Commands sent = commands();
  // The line after the failed one never went; the printer was told to drop
  // what it holds.
  EXPECT_EQ(std::count(sent.begin(), sent.end(), "V"), 0);
  EXPECT_NE(std::find(sent.begin(), sent.end(), "R"), sent.end());
  EXPECT_TRUE(port->jobFailed);
}

TEST_F(RequestTest, APrinterThatNeverAnswersALineFailsTheFile) {
  net->setSilent(true);
  EXPECT_FALSE(request(u"sendcmds:" + putFile(u"v.txt", "V\n")));
  EXPECT_EQ(onlyMessage(), std::u16string(kMessageHead) + kPrinterReadText);
}

TEST_F(RequestTest, AFirmwareImageArrivesWithItsSizeAndEndMarker) {
  const std::string image = firmwareImage(0x012345);
  const ULONGLONG start = GetTickCount64();
  ASSERT_TRUE(request(u"download:" + putFile(u"fw.bin", image)));
  // A printer that took the whole image is not waited for.
  EXPECT_LT(GetTickCount64() - start, 15000u);
  const std::optional<cardemu::FirmwareFrame> frame = firmwareFrameOnceThereAre(1);
  ASSERT_TRUE(frame);
  // The size bytes 00 01 23 45, most significant first.
  EXPECT_EQ(frame->declaredSize, 0x012345u);
  EXPECT_EQ(frame->contentBytes, 0x012345u);
  ASSERT_TRUE(frame->content);
  EXPECT_EQ(std::string(frame->content->begin(), frame->content->end()), image);
  EXPECT_TRUE(frame->endMarker);
  EXPECT_EQ(frame->error, 0);
  EXPECT_EQ(printer->state().firmwareDownloads, 1);
  // Header, four size bytes, the content in 65536-byte pieces, end marker,
  // CR: each piece a framed message of its own.
  EXPECT_EQ(frames(), (Frames{4, 1, 1, 1, 1, 65536, 0x012345 - 65536, 1, 1}));
}

TEST_F(RequestTest, APrintFileGoesIn65536BytePieces) {
  // The file holds a firmware frame, so that the printer shows what came.
  const std::string content = firmwareImage(150000 - 10);
  std::string file = "\033DC ";
  for (int shift = 24; shift >= 0; shift -= 8) file.push_back(char((content.size() >> shift) & 0xFF));
  file += content + "\xFF\r";
  ASSERT_EQ(file.size(), 150000u);
  const ULONGLONG start = GetTickCount64();
  ASSERT_TRUE(request(u"PrintFile:" + putFile(u"card.prn", file)));
  const std::optional<cardemu::FirmwareFrame> frame = printer->lastFirmwareFrame();
  ASSERT_TRUE(frame && frame->content);
  EXPECT_EQ(std::string(frame->content->begin(), frame->content->end()), content);
  // Three pieces (65536, 65536, 18928), then the error wait's "\eE 1\r".
  EXPECT_EQ(frames(), (Frames{65536, 65536, 18928, 5}));
  // 500 ms after each piece, then 15 s for the printer (twice on x64).
  EXPECT_GE(GetTickCount64() - start, 3 * 500 + 15000u);
}

TEST_F(RequestTest, AFileThatCannotBeHadIsShownAndFails) {
  const std::u16string missing = u"C:\\Windows\\Temp\\none.bin";
  struct Case {
    std::u16string name;
    std::u16string text;
  };
  const std::u16string empty = putFile(u"empty.txt", "");
  const std::u16string locked = putFile(u"locked.txt", "V\n");
  HANDLE holder = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  const Case cases[] = {
      {u"sendcmds:" + missing, kFileOpenText},
      {u"PrintFile:" + missing, kFileOpenText},
      // The firmware's file shows the system's error too.
      {u"download:" + missing, std::u16string(kFileOpenText) + u"\r\nError Code: 2"},
      {u"download:" + locked, std::u16string(kFileOpenText) + u"\r\nError Code: 32"},
      {u"sendcmds:" + locked, kFileOpenText},
      // Nothing to send is no success either.
      {u"sendcmds:" + empty, kFileOpenText},
      {u"PrintFile:" + empty, kFileSizeText},
      {u"download:" + empty, kFileSizeText},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.name.begin(), c.name.end()));
    winsim::clearShownMessages();
    EXPECT_FALSE(request(c.name));
    EXPECT_EQ(onlyMessage(), kMessageHead + c.text);
    stopMessageTask(*port);
  }
  CloseHandle(holder);
  EXPECT_TRUE(commands().empty());
  EXPECT_FALSE(printer->lastFirmwareFrame());
}

TEST_F(RequestTest, ADroppedDataChannelFailsTheTransfer) {
  closeConnection(port->data);
  EXPECT_FALSE(request(u"download:" + putFile(u"fw.bin", firmwareImage(100))));
  EXPECT_EQ(onlyMessage(), std::u16string(kMessageHead) + kPrinterWriteText);
}

TEST_F(RequestTest, SetPrinterNameChangesTheNameAndReportsFailure) {
  EXPECT_FALSE(request(u"SetPrinterName:Card Printer 2"));
  EXPECT_EQ(port->printerNameCopy(), u"Card Printer 2");
  // Without a name nothing is sent: every message is captioned with it.
  EXPECT_FALSE(request(u"SetPrinterName:"));
  EXPECT_EQ(port->printerNameCopy(), u"");
  EXPECT_FALSE(request(u"sendcmds:" + putFile(u"v.txt", "V\n")));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PRINTER_NAME));
  EXPECT_TRUE(commands().empty());
}

}  // namespace
}  // namespace card::net::test
