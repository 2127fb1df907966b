// The input stage: command grammar, image and firmware blocks, resynchronising
// after faults, and bytes arriving in pieces.
#include <gtest/gtest.h>

#include <algorithm>

#include "emulator/include/cardemu/parser.h"
#include "emulator/include/cardemu/protocol.h"
#include "emulator/tests/streams.h"

using namespace cardemu;
using streams::bytes;
using streams::esc;

namespace {

std::vector<Command> parse(const std::string &s, size_t piece = std::string::npos) {
  StreamParser p;
  std::vector<Command> out;
  auto sink = [&](Command &&c) { out.push_back(std::move(c)); };
  const auto *bytes = reinterpret_cast<const uint8_t *>(s.data());
  if (piece == std::string::npos) piece = s.size() ? s.size() : 1;
  for (size_t i = 0; i < s.size(); i += piece)
    EXPECT_EQ(p.feed(bytes + i, std::min(piece, s.size() - i), sink), std::min(piece, s.size() - i));
  p.finish(sink);
  return out;
}

uint8_t dot(const Command &c, int x, int y) { return (*c.data)[static_cast<size_t>(x + y * kCardWidth)]; }

}  // namespace

TEST(Grammar, CommandsRunFromEscToCr) {
  auto cmds = parse(esc("MASTER") + esc("+$C 0 12") + esc("&B 1 AB CD") + "\r\n" + esc("MO"));
  ASSERT_EQ(cmds.size(), 4u);
  EXPECT_EQ(cmds[0].text, "MASTER");
  EXPECT_EQ(cmds[1].text, "+$C 0 12");
  EXPECT_EQ(cmds[2].text, "&B 1 AB CD");  // blanks inside magnetic text are data
  EXPECT_EQ(cmds[3].text, "MO");
  EXPECT_EQ(cmds[3].offset, 8u + 10u + 12u + 2u);  // the lone CR and LF between commands are filler
  for (const auto &c : cmds) EXPECT_EQ(c.error, 0);
}

TEST(Grammar, FaultsAreReportedAndTheNextCommandStillFound) {
  // ESC before CR: the cut command is refused, the new one read.
  auto cmds = parse("\x1bMAS" + esc("MO"));
  ASSERT_EQ(cmds.size(), 2u);
  EXPECT_EQ(cmds[0].error, err::kMalformedCommand);
  EXPECT_EQ(cmds[1].text, "MO");
  EXPECT_EQ(cmds[1].error, 0);

  // No CR within 255 bytes.
  cmds = parse("\x1b" + std::string(300, 'A') + "\r" + esc("MO"));
  ASSERT_EQ(cmds.size(), 2u);
  EXPECT_EQ(cmds[0].error, err::kCommandTooLong);
  EXPECT_EQ(cmds[1].text, "MO");
  // 255 bytes of text are still a command.
  cmds = parse("\x1b" + std::string(255, 'A') + "\r");
  ASSERT_EQ(cmds.size(), 1u);
  EXPECT_EQ(cmds[0].error, 0);

  // Noise outside commands is one fault per run.
  cmds = parse("garbage" + esc("MO") + "x" + esc("MI"));
  ASSERT_EQ(cmds.size(), 4u);
  EXPECT_TRUE(cmds[0].stray);
  EXPECT_EQ(cmds[0].error, err::kStrayBytes);
  EXPECT_EQ(cmds[0].text, "garbage");
  EXPECT_EQ(cmds[1].text, "MO");
  EXPECT_TRUE(cmds[2].stray);
  EXPECT_EQ(cmds[3].text, "MI");

  // A command cut by the end of the input.
  cmds = parse("\x1bIS 0");
  ASSERT_EQ(cmds.size(), 1u);
  EXPECT_EQ(cmds[0].error, err::kMalformedCommand);
}

TEST(Planes, AllWhiteLinesDecodeToValueOne) {
  // 213 words 0x0421, the word 0x0400, four zero bytes: every dot 1.
  std::string line;
  for (int w = 0; w < 213; ++w) line += bytes({0x04, 0x21});
  line += bytes({0x04, 0x00, 0, 0, 0, 0});
  ASSERT_EQ(line.size(), 432u);
  std::string data;
  for (int l = 0; l < 1024; ++l) data += line;
  auto cmds = parse("\x1bGS 1 32 0 0 1024 640 " + data + "\r" + esc("IS 1"));
  ASSERT_EQ(cmds.size(), 2u);
  const Command &c = cmds[0];
  EXPECT_EQ(c.block, BlockKind::kPlane);
  EXPECT_EQ(c.plane, 1);
  EXPECT_EQ(c.text, "GS 1 32 0 0 1024 640");
  EXPECT_EQ(c.error, 0);
  EXPECT_EQ(c.warnings, 0u);
  EXPECT_EQ(c.dataBytes, 442368u);
  EXPECT_EQ(c.length, 22u + 442368u + 1u);
  ASSERT_TRUE(c.data);
  EXPECT_TRUE(std::all_of(c.data->begin(), c.data->end(), [](uint8_t v) { return v == 1; }));
  EXPECT_EQ(cmds[1].text, "IS 1");
}

TEST(Planes, LinesRunAlongTheCardAndDotsDown) {
  // Plane line n is card column x = n, dot d is row y = d.
  auto cmds = parse(streams::plane(2, [](int line, int dot) {
    return (line == 5 && dot == 7) ? 31 : (line == 1000 && dot == 639) ? 17 : 0;
  }));
  ASSERT_EQ(cmds.size(), 1u);  // "\e$F" only comes before plane 0
  const Command &c = cmds[0];
  ASSERT_TRUE(c.data);
  EXPECT_EQ(dot(c, 5, 7), 31);
  EXPECT_EQ(dot(c, 1000, 639), 17);
  EXPECT_EQ(std::count(c.data->begin(), c.data->end(), 0), kCardDots - 2);
}

TEST(Planes, RunLengthFormAndBadHeaders) {
  // Format 30: a byte with the top bit set repeats the next byte, others are one dot.
  std::string data;
  for (int k = 0; k < 655360 / 127; ++k) data += bytes({0xFF, 3});
  data += bytes({0x80 + 655360 % 127 - 1, 3, 9});
  auto cmds = parse("\x1bGS 0 30 0 0 1024 640 " + data + "\r" + esc("IS 0"));
  ASSERT_EQ(cmds.size(), 2u);
  EXPECT_EQ(cmds[0].block, BlockKind::kPlaneRle);
  EXPECT_EQ(cmds[0].error, 0);
  ASSERT_TRUE(cmds[0].data);
  EXPECT_EQ(dot(cmds[0], 0, 0), 3);
  EXPECT_EQ(dot(cmds[0], 1023, 639), 9);
  EXPECT_EQ(cmds[1].text, "IS 0");

  // A size other than the card: refused, but the block is still passed over
  // so that the command after it is read.
  cmds = parse("\x1bGS 0 32 0 0 512 640 " + std::string(442368, '\x11') + "\r" + esc("IS 0"));
  ASSERT_EQ(cmds.size(), 2u);
  EXPECT_EQ(cmds[0].error, err::kParameter);
  EXPECT_FALSE(cmds[0].data);
  EXPECT_EQ(cmds[1].text, "IS 0");

  // Letters in the header: the block cannot be sized, so the printer waits for the next ESC.
  cmds = parse("\x1bGS 0 3x 0 0 1024 640 \x05\x06" + esc("MO"));
  ASSERT_EQ(cmds.size(), 2u);
  EXPECT_EQ(cmds[0].error, err::kMalformedCommand);
  EXPECT_EQ(cmds[1].text, "MO");

  // Data not followed by CR.
  cmds = parse("\x1bGS 0 32 0 0 1024 640 " + std::string(442368, '\0') + "xy\r" + esc("MO"));
  ASSERT_EQ(cmds.size(), 2u);
  EXPECT_EQ(cmds[0].error, err::kBadImageData);
  EXPECT_EQ(cmds[1].text, "MO");
}

TEST(BitImages, LinesRunFromTheRightEdgeAndBracketIsDoubled) {
  // Bit image line n is card column x = 1023 - n; the first bit of a line is row 0.
  auto cmds = parse(streams::resin([](int line, int dot) {
    return (line == 0 && dot == 0) || (line == 1023 && dot == 639) ||
           (line == 10 && (dot >= 8 && dot < 16) && ((0x5B >> (15 - dot)) & 1));
  }));
  ASSERT_EQ(cmds.size(), 3u);
  EXPECT_EQ(cmds[0].text, "F");
  EXPECT_EQ(cmds[1].text, "G 0 0 10 640 1024 1");
  const Command &z = cmds[2];
  EXPECT_EQ(z.text, "Z");
  EXPECT_EQ(z.block, BlockKind::kBits);
  EXPECT_EQ(z.target, BitTarget::kResin);
  EXPECT_EQ(z.error, 0);
  EXPECT_EQ(z.dataBytes, 81921u);  // the 0x5B byte went twice
  ASSERT_TRUE(z.data);
  EXPECT_EQ(dot(z, 1023, 0), 1);
  EXPECT_EQ(dot(z, 0, 639), 1);
  // 0x5B = 0101 1011 at byte 1 of line 10 -> column 1013, rows 9, 11, 12, 14, 15.
  for (int y : {9, 11, 12, 14, 15}) EXPECT_EQ(dot(z, 1013, y), 1) << y;
  EXPECT_EQ(std::count(z.data->begin(), z.data->end(), 1), 7);

  // A "[" that is not doubled breaks the data (it still takes the byte after it).
  std::string data(81921, '\0');
  data[100] = 0x5B;
  cmds = parse(esc("G 0 0 10 640 1024 1") + "\x1bZ" + data + "\r" + esc("MO"));
  ASSERT_GE(cmds.size(), 2u);
  EXPECT_EQ(cmds[1].error, err::kBadImageData);
  EXPECT_FALSE(cmds[1].data);
  EXPECT_EQ(cmds.back().text, "MO");

  // Data without a header: out of sequence, passed over as plain bits.
  cmds = parse("\x1bZ" + std::string(81920, '\0') + "\r" + esc("MO"));
  ASSERT_EQ(cmds.size(), 2u);
  EXPECT_EQ(cmds[0].error, err::kSequence);
  EXPECT_EQ(cmds[1].text, "MO");
}

TEST(BitImages, HologramRunLengthExamples) {
  const std::string header = esc("F") + esc("G 0 0 12 640 1024 0") + "\x1bZ";
  // An all-zero picture: runs of 127 zero bytes, the last one shorter.
  std::string data;
  for (int k = 0; k < 81920 / 127; ++k) data += bytes({0xFF, 0x00});
  data += bytes({0x80 + 81920 % 127, 0x00});
  auto cmds = parse(header + data + "\r" + esc("IH 31"));
  ASSERT_EQ(cmds.size(), 4u);
  const Command &z = cmds[2];
  EXPECT_EQ(z.block, BlockKind::kBitsRle);
  EXPECT_EQ(z.error, 0);
  ASSERT_TRUE(z.data);
  // Header polarity 0: the zero bits are the ones that print.
  EXPECT_TRUE(std::all_of(z.data->begin(), z.data->end(), [](uint8_t v) { return v == 1; }));
  EXPECT_EQ(cmds[3].text, "IH 31");

  // A, B, B is 0x01 A, 0x82 B; 31 different bytes are one literal group;
  // a data byte 0x5B goes twice.  Rest of the picture: runs of 0xFF.
  data = bytes({0x01, 0x0F, 0x82, 0xF0, 0x1F});
  for (int k = 0; k < 31; ++k) data += k == 4 ? bytes({0x5B, 0x5B}) : bytes({0xFF});
  int left = 81920 - 3 - 31;
  while (left > 0) {
    const int n = std::min(left, 127);
    data += bytes({0x80 + n, 0xFF});
    left -= n;
  }
  cmds = parse(header + data + "\r");
  ASSERT_EQ(cmds.size(), 3u);
  ASSERT_EQ(cmds[2].error, 0);
  ASSERT_TRUE(cmds[2].data);
  // Byte 0 (0x0F) of line 0 = column 1023, rows 0..7: 0000 1111, polarity 0.
  for (int y = 0; y < 8; ++y) EXPECT_EQ(dot(cmds[2], 1023, y), y < 4 ? 1 : 0) << y;
  // Byte 7 = the 0x5B of the literal group: 0101 1011.
  for (int y = 56; y < 64; ++y) EXPECT_EQ(dot(cmds[2], 1023, y), (0x5B >> (63 - y)) & 1 ? 0 : 1) << y;

  // Count bytes that the format does not have.
  cmds = parse(header + bytes({0x81, 0x00}) + std::string(100, '\x01') + "\r");
  EXPECT_EQ(cmds[2].error, err::kBadImageData);
}

TEST(Firmware, FramingWithSizeBodyEndMarkerAndCr) {
  std::string body(0x012345, '\x5A');
  body[14] = 0x3A;
  body[15] = static_cast<char>(0xFF);
  auto cmds = parse(
      "\x1b"
      "DC " +
      bytes({0x00, 0x01, 0x23, 0x45}) + body + bytes({0xFF, 0x0D}) + esc("V"));
  ASSERT_EQ(cmds.size(), 2u);
  EXPECT_EQ(cmds[0].block, BlockKind::kFirmware);
  EXPECT_EQ(cmds[0].error, 0);
  EXPECT_EQ(cmds[0].declaredSize, 0x012345u);
  ASSERT_TRUE(cmds[0].data);
  EXPECT_EQ(cmds[0].data->size(), 0x012345u);
  EXPECT_EQ((*cmds[0].data)[14], 0x3A);
  EXPECT_EQ(cmds[1].text, "V");

  // No 0xFF after the body.
  cmds = parse(
      "\x1b"
      "DC " +
      bytes({0, 0, 0, 2}) + "ab\r" + esc("V"));
  ASSERT_EQ(cmds.size(), 2u);
  EXPECT_EQ(cmds[0].error, err::kFlash);
  EXPECT_EQ(cmds[1].text, "V");

  // Larger than the printer's flash: refused without being kept.
  StreamParser p;
  std::vector<Command> out;
  const std::string head =
      "\x1b"
      "DC " +
      bytes({0x7F, 0, 0, 0});
  p.feed(reinterpret_cast<const uint8_t *>(head.data()), head.size(),
         [&](Command &&c) { out.push_back(std::move(c)); });
  EXPECT_TRUE(p.insideBlock());
  p.finish([&](Command &&c) { out.push_back(std::move(c)); });
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].error, err::kFlash);
  EXPECT_FALSE(out[0].data);
}

TEST(Pieces, EverySplitGivesTheSameCommands) {
  // A stream with each kind of boundary: commands, a run-length bit image
  // with doubled "[", a firmware image and a plane header.
  std::string holo;
  holo += bytes({0x03, 0x5B, 0x5B, 0x0D, 0x1B, 0x82, 0x5B, 0x5B});
  int left = 81920 - 5;
  while (left > 0) {
    const int n = std::min(left, 127);
    holo += n == 1 ? bytes({0x01, 0x00}) : bytes({0x80 + n, 0x00});
    left -= n;
  }
  std::string fw(40, '\xEE');
  fw[15] = static_cast<char>(0xFF);
  const std::string stream = esc("MASTER") + esc("&B 1 HELLO WORLD") + esc("F") + esc("G 0 0 12 640 1024 0") + "\x1bZ" +
                             holo + "\r" + esc("IH 31") +
                             "\x1b"
                             "DC " +
                             bytes({0, 0, 0, 40}) + fw + bytes({0xFF, 0x0D}) + "junk" + esc("MO");
  const auto whole = parse(stream);
  ASSERT_EQ(whole.size(), 9u);
  auto same = [&](const std::vector<Command> &got, const std::string &how) {
    ASSERT_EQ(got.size(), whole.size()) << how;
    for (size_t k = 0; k < got.size(); ++k) {
      EXPECT_EQ(got[k].text, whole[k].text) << how;
      EXPECT_EQ(got[k].offset, whole[k].offset) << how;
      EXPECT_EQ(got[k].length, whole[k].length) << how;
      EXPECT_EQ(got[k].error, whole[k].error) << how;
      EXPECT_EQ(got[k].data == nullptr, whole[k].data == nullptr) << how;
      if (got[k].data && whole[k].data) {
        EXPECT_TRUE(*got[k].data == *whole[k].data) << how;
      }
    }
  };
  same(parse(stream, 1), "one byte at a time");
  for (size_t cut = 1; cut < stream.size(); ++cut) {
    StreamParser p;
    std::vector<Command> out;
    auto sink = [&](Command &&c) { out.push_back(std::move(c)); };
    const auto *b = reinterpret_cast<const uint8_t *>(stream.data());
    p.feed(b, cut, sink);
    p.feed(b + cut, stream.size() - cut, sink);
    p.finish(sink);
    same(out, "cut at " + std::to_string(cut));
    if (HasFailure()) break;
  }
}
