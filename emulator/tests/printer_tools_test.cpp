// What the printer tools send, as the printer takes it: print position
// offsets on the printed picture, firmware updates and their checksums,
// cleaning and eject, direct encoding and reading, a printer that hangs in
// the middle of a download, and a print file sent as one piece.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "emulator/include/cardemu/listing.h"
#include "emulator/include/cardemu/net_printer.h"
#include "emulator/include/cardemu/printer.h"
#include "emulator/include/cardemu/render.h"
#include "emulator/tests/ask.h"
#include "emulator/tests/net_peer.h"
#include "emulator/tests/streams.h"

using namespace cardemu;
using streams::ask;
using streams::esc;
using streams::kAckOnly;

namespace {

std::string nak(const char *code) { return std::string("\x15") + code + "\x04"; }

// CRC-32 worked bit by bit from the polynomial (reflected 0xEDB88320, start
// and final value all ones), apart from the printer's own table.
uint32_t referenceCrc32(const std::string &bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// Printer firmware of `size` bytes: varied content, the printer's checksum
// byte at 14 and 0xFF at 15.
std::string printerFirmware(size_t size) {
  std::string body(size, '\0');
  uint32_t x = 12345;
  for (char &c : body) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 16);
  }
  body[14] = '\x3A';
  body[15] = '\xFF';
  return body;
}

std::string sizeBytes(uint32_t n) {
  return streams::bytes({static_cast<int>(n >> 24), static_cast<int>((n >> 16) & 0xFF),
                         static_cast<int>((n >> 8) & 0xFF), static_cast<int>(n & 0xFF)});
}

std::string dcFrame(const std::string &body) {
  return "\x1b"
         "DC " +
         sizeBytes(static_cast<uint32_t>(body.size())) + body + streams::bytes({0xFF, 0x0D});
}

// Listing lines of everything the printer runs.
struct Listed {
  explicit Listed(Printer &p) {
    p.setCommandListener([this](const CommandRecord &r) { lines.push_back(listingLine(r)); });
  }
  bool has(const std::string &text) const {
    for (const auto &l : lines)
      if (l.find(text) != std::string::npos) return true;
    return false;
  }
  std::vector<std::string> lines;
};

// Dots set in an image inside [x0, x1] x [y0, y1] and outside it.
struct Count {
  size_t in = 0, out = 0;
};
Count dotsIn(const DotImage &d, int x0, int y0, int x1, int y1) {
  Count c;
  for (int y = 0; y < kCardHeight; ++y)
    for (int x = 0; x < kCardWidth; ++x)
      if (d[static_cast<size_t>(x + y * kCardWidth)]) (x >= x0 && x <= x1 && y >= y0 && y <= y1 ? c.in : c.out)++;
  return c;
}

// A resin box at x..x+9, y..y+9 on the side facing the head.
std::string resinBoxAt(int x, int y) {
  return esc("F") + esc("L " + std::to_string(x) + " " + std::to_string(y) + " 9 9 1") + esc("I 30");
}

}  // namespace

TEST(Offsets, TheNextCardsPictureMovesByTheDotsSet) {
  Printer p;  // two-sided
  EXPECT_EQ(ask(p, esc("+O 10") + esc("+OY 5") + esc("+OB 3") + esc("+OYB 7")), kAckOnly);
  EXPECT_EQ(ask(p, esc("MASTER") + resinBoxAt(100, 50) + esc("MF") + resinBoxAt(200, 300) + esc("MO")), kAckOnly);
  auto cards = p.takeCards();
  ASSERT_EQ(cards.size(), 1u);
  ASSERT_EQ(cards[0].sides[0].panels.size(), 1u);
  ASSERT_EQ(cards[0].sides[1].panels.size(), 1u);
  // 10 x 10 dots each, moved whole: front by (10, 5), back by (3, 7).
  const Count front = dotsIn(*cards[0].sides[0].panels[0].image, 110, 55, 119, 64);
  EXPECT_EQ(front.in, 100u);
  EXPECT_EQ(front.out, 0u);
  const Count back = dotsIn(*cards[0].sides[1].panels[0].image, 203, 307, 212, 316);
  EXPECT_EQ(back.in, 100u);
  EXPECT_EQ(back.out, 0u);
  // The picture shows it: the box's corner moved from (100, 50) to (110, 55).
  const RgbImage picture = composeSide(cards[0].sides[0]);
  EXPECT_EQ(picture.at(110, 55)[0], 0);
  EXPECT_EQ(picture.at(109, 55)[0], 255);
  EXPECT_EQ(picture.at(110, 54)[0], 255);
  EXPECT_EQ(picture.at(100, 50)[0], 255);

  // They are settings: the next card is moved too; changing the front's only
  // leaves the back's as they were.  A change while a card is in the printer
  // is for the cards after it.
  EXPECT_EQ(ask(p, esc("+O 0") + esc("+OY 0") + esc("MI") + esc("+O 20") + resinBoxAt(100, 50) + esc("MF") +
                       resinBoxAt(200, 300) + esc("MO")),
            kAckOnly);
  cards = p.takeCards();
  ASSERT_EQ(cards.size(), 1u);
  EXPECT_EQ(dotsIn(*cards[0].sides[0].panels[0].image, 100, 50, 109, 59).in, 100u);
  EXPECT_EQ(dotsIn(*cards[0].sides[1].panels[0].image, 203, 307, 212, 316).in, 100u);
  EXPECT_EQ(ask(p, resinBoxAt(100, 50) + esc("MO")), kAckOnly);
  cards = p.takeCards();
  ASSERT_EQ(cards.size(), 1u);
  EXPECT_EQ(dotsIn(*cards[0].sides[0].panels[0].image, 120, 50, 129, 59).in, 100u);
}

TEST(Offsets, DotsMovedOffTheCardAreLostAndUncoveredOnesBlank) {
  Printer p;
  EXPECT_EQ(ask(p, esc("+O 48") + esc("+OY 48") + esc("F") + esc("L 0 0 1023 639 1") + esc("I 30") + esc("MO")),
            kAckOnly);
  auto cards = p.takeCards();
  ASSERT_EQ(cards.size(), 1u);
  const Count c = dotsIn(*cards[0].sides[0].panels[0].image, 48, 48, 1023, 639);
  EXPECT_EQ(c.in, static_cast<size_t>((1024 - 48) * (640 - 48)));
  EXPECT_EQ(c.out, 0u);
  EXPECT_NE(cards[0].summary().find("offsets: front 48 48, back 0 0"), std::string::npos);
  // 48 is the largest offset the printer takes.
  EXPECT_EQ(ask(p, esc("+OB 49")), nak("40"));
}

TEST(FirmwareUpdate, AGoodFrameIsAcceptedWithTheChecksumOfItsContent) {
  // The check value every CRC-32 implementation agrees on.
  ASSERT_EQ(referenceCrc32("123456789"), 0xCBF43926u);
  Printer p;
  Listed listed(p);
  const std::string body = printerFirmware(0x012345);
  const std::string frame = dcFrame(body);
  ASSERT_EQ(frame.substr(4, 4), streams::bytes({0x00, 0x01, 0x23, 0x45}));
  // As the monitor sends it over USB: header, 4096-byte chunks, marker, CR.
  for (size_t at = 0; at < frame.size(); at += 4096) {
    const std::string piece = frame.substr(at, 4096);
    ASSERT_EQ(p.write(piece), static_cast<long>(piece.size()));
  }
  EXPECT_EQ(ask(p, ""), kAckOnly);
  const auto f = p.lastFirmwareFrame();
  ASSERT_TRUE(f);
  EXPECT_TRUE(f->accepted);
  EXPECT_EQ(f->kind, "printer");
  EXPECT_EQ(f->crc32, referenceCrc32(body));
  EXPECT_EQ(p.state().firmwareDownloads, 1);
  EXPECT_EQ(p.state().firmwareRefused, 0);
  char crc[16];
  std::snprintf(crc, sizeof crc, "0x%08X", referenceCrc32(body));
  EXPECT_TRUE(listed.has("firmware update 1: printer, 74565 bytes, CRC-32 " + std::string(crc) + ", accepted"));
}

TEST(FirmwareUpdate, BadFramesAreRefusedCountedAndListed) {
  Printer p;
  Listed listed(p);
  std::string body = printerFirmware(64);
  body[62] = 'A';  // where the marker should be, and no CR after it
  body[63] = 'B';
  // The size field two short: the content runs into where the marker should be.
  std::string shortLength =
      "\x1b"
      "DC " +
      sizeBytes(62) + body + streams::bytes({0xFF, 0x0D});
  EXPECT_EQ(ask(p, shortLength), nak("60"));
  auto f = p.lastFirmwareFrame();
  ASSERT_TRUE(f);
  EXPECT_FALSE(f->accepted);
  EXPECT_FALSE(f->endMarker);
  EXPECT_EQ(f->crc32, referenceCrc32(body.substr(0, 62)));
  EXPECT_TRUE(listed.has("firmware update 1: 62 bytes"));
  EXPECT_TRUE(listed.has("refused  ERROR 60 FLASH ERROR: firmware image without its 0xFF end marker"));
  p.pressButton();

  // No end marker: CR straight after the content.
  EXPECT_EQ(ask(p,
                "\x1b"
                "DC " +
                    sizeBytes(64) + body + "\r"),
            nak("60"));
  EXPECT_TRUE(listed.has("firmware update 2: "));
  p.pressButton();
  // The marker, but no CR after it.
  EXPECT_EQ(ask(p,
                "\x1b"
                "DC " +
                    sizeBytes(64) + body + streams::bytes({0xFF}) + "X\r"),
            nak("60"));
  EXPECT_TRUE(listed.has("refused  ERROR 60 FLASH ERROR: data not followed by CR"));
  p.pressButton();
  // Well framed, but no firmware of this printer (both marker bytes 0xFF, no tag).
  std::string neither = body;
  neither[14] = '\xFF';
  EXPECT_EQ(ask(p, dcFrame(neither)), nak("60"));
  EXPECT_TRUE(listed.has("firmware update 4: 64 bytes, CRC-32"));
  EXPECT_TRUE(listed.has("refused: no firmware of this printer"));
  p.pressButton();
  // Longer size field than the content: cut by the end of the input.
  EXPECT_EQ(p.write("\x1b"
                    "DC " +
                    sizeBytes(100) + body),
            static_cast<long>(8 + body.size()));
  p.finish();
  EXPECT_TRUE(listed.has("firmware update 5: 64 bytes (size field 100)"));
  EXPECT_EQ(p.state().firmwareRefused, 5);
  EXPECT_EQ(p.state().firmwareDownloads, 0);
}

TEST(ToolCommands, CleaningAndEjectAreAnsweredCountedAndListed) {
  Printer p;
  Listed listed(p);
  // Cleaning wants the ribbon out first; with it out, ACK and counted.
  EXPECT_EQ(ask(p, esc("CLEAN")), nak("09"));
  p.removeRibbon();
  p.pressButton();  // the refused command is not run again
  EXPECT_EQ(p.state().cleanings, 0);
  EXPECT_EQ(ask(p, esc("CLEAN")), kAckOnly);
  EXPECT_EQ(p.state().cleanings, 1);
  EXPECT_TRUE(listed.has("\\eCLEAN\\r  -- cleaning 1"));
  EXPECT_EQ(ask(p, esc("RESET")), kAckOnly);

  // Eject with no card: nothing happens, and it is said so.
  EXPECT_EQ(ask(p, esc("MO")), kAckOnly);
  EXPECT_EQ(p.state().cardsOut, 0u);
  EXPECT_TRUE(listed.has("\\eMO\\r  -- no card in the printer"));
  EXPECT_EQ(ask(p, esc("MI") + esc("MO")), kAckOnly);
  EXPECT_EQ(p.state().cardsOut, 1u);
  EXPECT_FALSE(p.state().cardInPrinter);
  EXPECT_TRUE(listed.has("\\eMO\\r  -- card 1 out"));

  // While the printer is in error the tools' commands get NAK and the code.
  FaultChoice jam;
  ASSERT_TRUE(parseFault("card-jam", &jam, nullptr));
  p.injectFault(jam);
  EXPECT_EQ(ask(p, esc("CLEAN")), nak("03"));
  EXPECT_EQ(ask(p, esc("RESET")), kAckOnly);
}

TEST(DirectEncoding, TracksWrittenAreReadBackWithAck) {
  Printer p;
  EXPECT_EQ(ask(p, esc("&B 1 PELLOR 01") + esc("&B 2 1234567890") + esc("&B 3 4455") + esc("&E*")), kAckOnly);
  EXPECT_TRUE(p.state().cardInPrinter);  // fed for the encoding
  EXPECT_EQ(ask(p, esc("&L1")), "PELLOR 01\x06");
  EXPECT_EQ(ask(p, esc("&L2")), "1234567890\x06");
  EXPECT_EQ(ask(p, esc("&L3")), "4455\x06");
  EXPECT_EQ(ask(p, esc("MO")), kAckOnly);
  auto cards = p.takeCards();
  ASSERT_EQ(cards.size(), 1u);
  EXPECT_EQ(cards[0].tracks[1], "1234567890");
  // Only the tracks sent are written; reading a blank one is an error.
  EXPECT_EQ(ask(p, esc("&B 2 777") + esc("&E*")), kAckOnly);
  EXPECT_EQ(ask(p, esc("&L2")), "777\x06");
  EXPECT_EQ(ask(p, esc("&L1")), nak("45"));
}

TEST(Hang, ThePrinterStopsAnsweringInTheMiddleOfAFirmwareFrame) {
  Printer p;
  const std::string body = printerFirmware(5000);
  const std::string frame = dcFrame(body);
  p.stopAnsweringInFirmware(4 + 1000);
  // The commands before the frame still run.
  ASSERT_EQ(p.write(esc("V")), 3);
  EXPECT_TRUE(p.state().answering);
  EXPECT_EQ(p.write(frame), 4 + 4 + 1000);
  EXPECT_FALSE(p.state().answering);
  EXPECT_EQ(p.write(frame.substr(1008)), 0);
  EXPECT_EQ(p.write(streams::kStatus), 0);
  EXPECT_EQ(p.readAll(), "");
  EXPECT_TRUE(p.statusPollReply().empty());
  EXPECT_EQ(p.firmwareFrames(), 0u);
  // Back again, the rest completes the frame.
  p.resumeAnswering();
  EXPECT_EQ(p.write(frame.substr(1008)), static_cast<long>(frame.size() - 1008));
  EXPECT_EQ(ask(p, ""), kAckOnly);
  ASSERT_TRUE(p.lastFirmwareFrame());
  EXPECT_EQ(p.lastFirmwareFrame()->crc32, referenceCrc32(body));

  // Counted from now, wherever it falls.
  p.stopAnsweringAfter(3);
  EXPECT_EQ(p.write(esc("MI") + esc("MO")), 3);
  EXPECT_FALSE(p.state().answering);
}

TEST(Hang, TheNetworkPrinterGoesQuietInTheMiddleOfAFrame) {
  Printer printer;
  NetPrinter net(printer);
  std::string problem;
  ASSERT_TRUE(net.start(&problem)) << problem;
  printer.stopAnsweringInFirmware(4 + 100);
  netpeer::Tcp data(net.ports().data);
  ASSERT_TRUE(data.connected());
  const std::string frame = dcFrame(printerFirmware(1000));
  ASSERT_TRUE(data.send(netpeer::frame(frame) + netpeer::frame(esc("E 1"))));
  EXPECT_TRUE(netpeer::eventually([&] { return !printer.state().answering; }, 5000));
  EXPECT_EQ(data.receive(1, 300), "");
  netpeer::Tcp status(net.ports().status);
  ASSERT_TRUE(status.send("000"));
  EXPECT_EQ(status.receive(12, 300), "");
  // Answering again, the held bytes go in and the answer comes.
  printer.resumeAnswering();
  EXPECT_EQ(data.receive(1, 3000), "\x06");
  EXPECT_EQ(printer.state().firmwareDownloads, 1);
}

TEST(PrintFile, OneBlobPrintsTheSameCardAsAPacedJob) {
  const std::vector<std::string> commands = {esc("MASTER"),
                                             esc("JOB 0"),
                                             esc("+O 4"),
                                             esc("F"),
                                             esc("L 10 20 300 200 1"),
                                             esc("I 30"),
                                             esc("vF"),
                                             esc("vL 500 100 100 50 1"),
                                             esc("IV 31"),
                                             esc("MO")};
  Printer paced, blob;
  for (const auto &c : commands) EXPECT_EQ(ask(paced, c), kAckOnly) << c;
  std::string all;
  for (const auto &c : commands) all += c;
  EXPECT_EQ(blob.write(all), static_cast<long>(all.size()));
  EXPECT_EQ(ask(blob, ""), kAckOnly);
  auto a = paced.takeCards(), b = blob.takeCards();
  ASSERT_EQ(a.size(), 1u);
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(a[0].summary(), b[0].summary());
  ASSERT_EQ(a[0].sides[0].panels.size(), b[0].sides[0].panels.size());
  for (size_t k = 0; k < a[0].sides[0].panels.size(); ++k)
    EXPECT_EQ(*a[0].sides[0].panels[k].image, *b[0].sides[0].panels[k].image);
}
