// What the printer tools send, as the printer takes it: print position
// offsets on the printed picture, firmware updates and their checksums,
// cleaning and eject in the listing, and a printer that hangs in the middle
// of a download.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "emulator/include/cardemu/listing.h"
#include "emulator/include/cardemu/net_printer.h"
#include "emulator/include/cardemu/printer.h"
#include "emulator/tests/ask.h"
#include "emulator/tests/net_peer.h"
#include "emulator/tests/streams.h"

using namespace cardemu;
using streams::ask;
using streams::esc;
using streams::kAckOnly;

namespace {

std::string nak(const char *code) { return std::string("\x15") + code + "\x04"; }

// CRC-32 worked bit by bit from the polynomial, apart from the printer's table.
uint32_t referenceCrc32(const std::string &bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// Printer firmware: varied content, a checksum byte at 14 and 0xFF at 15.
std::string printerFirmware(size_t size) {
  std::string body(size, '\0');
  uint32_t x = 12345;
  for (char &c : body) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 16);
  body[14] = '\x3A';
  body[15] = '\xFF';
  return body;
}

std::string dcFrame(uint32_t size, const std::string &body, const std::string &end = "\xFF\r") {
  return std::string("\x1b") + "DC " +
         streams::bytes({int(size >> 24), int((size >> 16) & 0xFF), int((size >> 8) & 0xFF), int(size & 0xFF)}) + body +
         end;
}

struct Listed {
  explicit Listed(Printer &p) {
    p.setCommandListener([this](const CommandRecord &r) { text += listingLine(r) + "\n"; });
  }
  bool has(const std::string &what) const { return text.find(what) != std::string::npos; }
  std::string text;
};

// Dots set inside [x0, x1] x [y0, y1], and outside it.
std::pair<size_t, size_t> dotsIn(const DotImage &d, int x0, int y0, int x1, int y1) {
  std::pair<size_t, size_t> c{};
  for (int y = 0; y < kCardHeight; ++y)
    for (int x = 0; x < kCardWidth; ++x)
      if (d[static_cast<size_t>(x + y * kCardWidth)]) ++(x >= x0 && x <= x1 && y >= y0 && y <= y1 ? c.first : c.second);
  return c;
}

// A 10 x 10 resin box with its corner at (x, y) on the side facing the head.
std::string boxAt(int x, int y) {
  return esc("F") + esc("L " + std::to_string(x) + " " + std::to_string(y) + " 9 9 1") + esc("I 30");
}

}  // namespace

TEST(Offsets, EachSideOfTheFollowingCardsMovesByItsOwnOffset) {
  Printer p;  // two-sided
  EXPECT_EQ(ask(p, esc("+O 10") + esc("+OY 5") + esc("+OB 3") + esc("+OYB 7")), kAckOnly);
  EXPECT_EQ(ask(p, boxAt(100, 50) + esc("MF") + boxAt(200, 300) + esc("MO")), kAckOnly);
  // A change while a card is in is for the next one; the back's stay.
  EXPECT_EQ(ask(p, esc("+O 0") + esc("+OY 0") + esc("MI") + esc("+O 20") + boxAt(100, 50) + esc("MF") +
                       boxAt(200, 300) + esc("MO") + boxAt(100, 50) + esc("MO")),
            kAckOnly);
  const auto cards = p.takeCards();
  ASSERT_EQ(cards.size(), 3u);
  const std::pair<size_t, size_t> whole{100, 0};
  EXPECT_EQ(dotsIn(*cards[0].sides[0].panels.at(0).image, 110, 55, 119, 64), whole);
  EXPECT_EQ(dotsIn(*cards[0].sides[1].panels.at(0).image, 203, 307, 212, 316), whole);
  EXPECT_EQ(dotsIn(*cards[1].sides[0].panels.at(0).image, 100, 50, 109, 59), whole);
  EXPECT_EQ(dotsIn(*cards[1].sides[1].panels.at(0).image, 203, 307, 212, 316), whole);
  EXPECT_EQ(dotsIn(*cards[2].sides[0].panels.at(0).image, 120, 50, 129, 59), whole);

  // Moved off the card is lost, uncovered is blank; 48 is the most.
  EXPECT_EQ(ask(p, esc("+O 48") + esc("+OY 48") + esc("F") + esc("L 0 0 1023 639 1") + esc("I 30") + esc("MO")),
            kAckOnly);
  const auto full = p.takeCards();
  ASSERT_EQ(full.size(), 1u);
  EXPECT_EQ(dotsIn(*full[0].sides[0].panels.at(0).image, 48, 48, 1023, 639),
            (std::pair<size_t, size_t>{(1024 - 48) * (640 - 48), 0}));
  EXPECT_NE(full[0].summary().find("offsets: front 48 48, back 3 7"), std::string::npos);
  EXPECT_EQ(ask(p, esc("+OB 49")), nak("40"));
}

TEST(FirmwareUpdate, FramesAreCheckedSummedCountedAndListed) {
  ASSERT_EQ(referenceCrc32("123456789"), 0xCBF43926u);  // the standard check value
  Printer p;
  Listed listed(p);
  const std::string body = printerFirmware(0x012345);
  const std::string frame = dcFrame(0x012345, body);
  ASSERT_EQ(frame.substr(4, 4), streams::bytes({0x00, 0x01, 0x23, 0x45}));
  for (size_t at = 0; at < frame.size(); at += 4096) {  // as the monitor's USB chunks
    const std::string piece = frame.substr(at, 4096);
    ASSERT_EQ(p.write(piece), static_cast<long>(piece.size()));
  }
  EXPECT_EQ(ask(p, ""), kAckOnly);
  auto f = p.lastFirmwareFrame();
  ASSERT_TRUE(f);
  EXPECT_TRUE(f->accepted);
  EXPECT_EQ(f->crc32, referenceCrc32(body));
  char crc[16];
  std::snprintf(crc, sizeof crc, "0x%08X", referenceCrc32(body));
  EXPECT_TRUE(listed.has("firmware update 1: printer, 74565 bytes, CRC-32 " + std::string(crc) + ", accepted"));

  // Refused: a size field two short (the content runs on where the marker
  // belongs), no end marker, no CR, content of no firmware of this printer.
  std::string small = printerFirmware(64);
  small[62] = 'A';
  small[63] = 'B';
  std::string neither = small;
  neither[14] = '\xFF';
  const std::vector<std::string> bad = {dcFrame(62, small), dcFrame(64, small, "\r"), dcFrame(64, small, "\xFFX\r"),
                                        dcFrame(64, neither)};
  for (const std::string &b : bad) {
    EXPECT_EQ(ask(p, b), nak("60"));
    p.pressButton();
  }
  f = p.lastFirmwareFrame();
  EXPECT_FALSE(f->accepted);
  EXPECT_EQ(f->crc32, referenceCrc32(neither));
  EXPECT_TRUE(listed.has("69 bytes] \\r  -- firmware update 2: 62 bytes, CRC-32"));
  EXPECT_TRUE(listed.has("refused  ERROR 60 FLASH ERROR: firmware image without its 0xFF end marker"));
  EXPECT_TRUE(listed.has("refused  ERROR 60 FLASH ERROR: data not followed by CR"));
  EXPECT_TRUE(listed.has("firmware update 5: 64 bytes, CRC-32"));
  EXPECT_TRUE(listed.has("refused: no firmware of this printer"));
  // A size field longer than what comes: cut by the end of the input.
  EXPECT_EQ(p.write(dcFrame(100, small, "")), static_cast<long>(8 + small.size()));
  p.finish();
  EXPECT_TRUE(listed.has("firmware update 6: 64 bytes (size field 100)"));
  EXPECT_EQ(p.state().firmwareRefused, 5);
  EXPECT_EQ(p.state().firmwareDownloads, 1);
}

TEST(ToolCommands, CleaningAndEjectAreListed) {
  Printer p;
  Listed listed(p);
  p.removeRibbon();
  EXPECT_EQ(ask(p, esc("CLEAN") + esc("MO") + esc("MI") + esc("MO")), kAckOnly);
  EXPECT_EQ(p.state().cleanings, 1);
  EXPECT_EQ(p.state().cardsOut, 1u);
  EXPECT_TRUE(listed.has("\\eCLEAN\\r  -- cleaning 1\n"));
  EXPECT_TRUE(listed.has("\\eMO\\r  -- no card in the printer, nothing to eject\n"));
  EXPECT_TRUE(listed.has("\\eMO\\r  -- card 1 out\n"));
}

TEST(Hang, ThePrinterStopsAnsweringInTheMiddleOfAFirmwareFrame) {
  Printer p;
  const std::string body = printerFirmware(5000);
  const std::string frame = dcFrame(5000, body);
  p.stopAnsweringInFirmware(4 + 1000);
  ASSERT_EQ(p.write(esc("V")), 3);  // what comes before the frame still runs
  EXPECT_EQ(p.write(frame), 4 + 4 + 1000);
  EXPECT_FALSE(p.state().answering);
  EXPECT_EQ(p.write(frame.substr(1008)), 0);
  EXPECT_EQ(p.write(streams::kStatus), 0);
  EXPECT_EQ(p.readAll(), "");
  EXPECT_TRUE(p.statusPollReply().empty());
  p.resumeAnswering();
  EXPECT_EQ(p.write(frame.substr(1008)), static_cast<long>(frame.size() - 1008));
  EXPECT_EQ(ask(p, ""), kAckOnly);
  EXPECT_EQ(p.lastFirmwareFrame()->crc32, referenceCrc32(body));
  p.stopAnsweringAfter(3);  // counted from now
  EXPECT_EQ(p.write(esc("MI") + esc("MO")), 3);
}

TEST(Hang, TheNetworkPrinterGoesQuietInTheMiddleOfAFrame) {
  Printer printer;
  NetPrinter net(printer);
  std::string problem;
  ASSERT_TRUE(net.start(&problem)) << problem;
  printer.stopAnsweringInFirmware(4 + 100);
  netpeer::Tcp data(net.ports().data);
  ASSERT_TRUE(data.send(netpeer::frame(dcFrame(1000, printerFirmware(1000))) + netpeer::frame(esc("E 1"))));
  EXPECT_TRUE(netpeer::eventually([&] { return !printer.state().answering; }, 5000));
  EXPECT_EQ(data.receive(1, 300), "");
  netpeer::Tcp status(net.ports().status);
  ASSERT_TRUE(status.send("000"));
  EXPECT_EQ(status.receive(12, 300), "");
  printer.resumeAnswering();  // the held bytes go in and the answer comes
  EXPECT_EQ(data.receive(1, 3000), "\x06");
  EXPECT_EQ(printer.state().firmwareDownloads, 1);
}
