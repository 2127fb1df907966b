// The hologram picture encoding: packets worked out by hand from the coding
// rules, the dot order, bounds and failures, and round trips through the
// emulated printer's own decoder.
#include "config/hologram.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#ifdef CARDCFG_WITH_EMULATOR
#include "emulator/include/cardemu/parser.h"
#include "emulator/include/cardemu/printer.h"
#endif

namespace card {
namespace {

using Bytes = std::vector<uint8_t>;

// What a sink was handed, one entry per call.
struct Capture {
  std::vector<Bytes> pieces;
  HologramSink sink() {
    return [this](const uint8_t *b, size_t n) {
      pieces.emplace_back(b, b + n);
      return true;
    };
  }
  Bytes all() const {
    Bytes all;
    for (const Bytes &p : pieces) all.insert(all.end(), p.begin(), p.end());
    return all;
  }
};

Bytes encode(const Bytes &in, Capture *cap = nullptr) {
  Capture local;
  Capture &c = cap ? *cap : local;
  HologramRunEncoder enc(c.sink());
  EXPECT_TRUE(enc.put(in.data(), in.size()));
  EXPECT_TRUE(enc.finish());
  return c.all();
}

Bytes repeat(std::initializer_list<uint8_t> unit, size_t times) {
  Bytes out;
  for (size_t i = 0; i < times; ++i) out.insert(out.end(), unit);
  return out;
}

Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes &p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes text(const std::string &s) { return Bytes(s.begin(), s.end()); }

// "\eF\r\eG 0 0 12 640 1024 0\r\eZ" and the closing CR around image data.
const Bytes kHeader = text(std::string("\x1b") + "F\r" + "\x1b" + "G 0 0 12 640 1024 0\r" + "\x1b" + "Z");
Bytes image(const Bytes &data) { return cat({kHeader, data, {0x0D}}); }

Bytes picture(uint8_t fill) { return Bytes(kHologramPictureBytes, fill); }
void setDot(Bytes &pic, int x, int y) { pic[y * 128 + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8)); }
[[maybe_unused]] bool dot(const Bytes &pic, int x, int y) { return (pic[y * 128 + x / 8] >> (7 - x % 8)) & 1; }

// ---- packets -----------------------------------------------------------

TEST(HologramPackets, ByteSequencesWorkedByHand) {
  const uint8_t A = 0x11, B = 0x22, C = 0x33;
  struct Case {
    const char *what;
    Bytes in, out;
  } cases[] = {
      {"A, B, B", {A, B, B}, {0x01, A, 0x82, B}},
      {"one byte", {A}, {0x01, A}},
      {"two equal", {A, A}, {0x82, A}},
      {"literal then run", {A, B, C, C}, {0x02, A, B, 0x82, C}},
      {"run then literal", {A, A, A, B, C}, {0x83, A, 0x02, B, C}},
      {"run then one", {A, A, B}, {0x82, A, 0x01, B}},
      {"literal, run, literal", {A, B, B, C, A}, {0x01, A, 0x82, B, 0x02, C, A}},
      {"longest run", Bytes(127, A), {0xFF, A}},
      {"one beyond the longest run", Bytes(128, A), {0xFF, A, 0x01, A}},
      {"two beyond the longest run", Bytes(129, A), {0xFF, A, 0x82, A}},
      {"two longest runs", Bytes(254, A), {0xFF, A, 0xFF, A}},
      {"nothing", {}, {}},
  };
  for (const Case &c : cases) EXPECT_EQ(encode(c.in), c.out) << c.what;
}

TEST(HologramPackets, LiteralGroupsHoldAtMost31Bytes) {
  Bytes in;
  for (int i = 0; i < 40; ++i) in.push_back(static_cast<uint8_t>(i + 1));

  // 31 different bytes: one full group, handed over at once, before the end.
  Capture cap;
  HologramRunEncoder enc(cap.sink());
  enc.put(in.data(), 31);
  ASSERT_EQ(cap.pieces.size(), 1u);
  EXPECT_EQ(cap.pieces[0], cat({{31}, Bytes(in.begin(), in.begin() + 31)}));
  enc.finish();
  EXPECT_EQ(cap.pieces.size(), 1u) << "an idle encoder has nothing to add at the end";

  // 30 and 32 different bytes.
  EXPECT_EQ(encode(Bytes(in.begin(), in.begin() + 30)), cat({{30}, Bytes(in.begin(), in.begin() + 30)}));
  EXPECT_EQ(encode(Bytes(in.begin(), in.begin() + 32)),
            cat({{31}, Bytes(in.begin(), in.begin() + 31), {0x01, in[31]}}));
  // 30 different, then the last repeated: the group shrinks back to 29.
  Bytes shrink(in.begin(), in.begin() + 30);
  shrink.push_back(in[29]);
  EXPECT_EQ(encode(shrink), cat({{29}, Bytes(in.begin(), in.begin() + 29), {0x82, in[29]}}));
}

TEST(HologramPackets, EscapeByteIsSentTwice) {
  const uint8_t E = 0x5B, A = 0x01;
  EXPECT_EQ(encode({E}), Bytes({0x01, E, E}));
  EXPECT_EQ(encode(Bytes(5, E)), Bytes({0x85, E, E}));
  EXPECT_EQ(encode({A, E, A}), Bytes({0x03, A, E, E, A}));
  // Inside a full group: the count stays 31, the data byte is doubled.
  Bytes group;
  for (int i = 0; i < 31; ++i) group.push_back(static_cast<uint8_t>(0x40 + i));  // 0x5B at 27
  Bytes want = {31};
  for (uint8_t b : group) {
    want.push_back(b);
    if (b == E) want.push_back(E);
  }
  EXPECT_EQ(encode(group), want);
}

TEST(HologramPackets, BufferIsHandedOverAfterARunOnce2000BytesAreHeld) {
  // 999 two-byte run packets (1998 bytes) stay held, the 1000th reaches 2000
  // and goes with them; the rest follows at the end.
  Bytes in;
  for (int i = 0; i < 1001; ++i) in.insert(in.end(), 3, static_cast<uint8_t>(i % 2 ? 0x10 : 0x20));
  Capture cap;
  HologramRunEncoder enc(cap.sink());
  enc.put(in.data(), in.size());  // the last run is still open
  ASSERT_EQ(cap.pieces.size(), 1u);
  EXPECT_EQ(cap.pieces[0], repeat({0x83, 0x20, 0x83, 0x10}, 500));
  enc.finish();
  ASSERT_EQ(cap.pieces.size(), 2u);
  EXPECT_EQ(cap.pieces[1], Bytes({0x83, 0x20}));
}

TEST(HologramPackets, ResetStartsAFreshImage) {
  Capture cap;
  HologramRunEncoder enc(cap.sink());
  enc.put(Bytes{1, 2, 3, 3, 3}.data(), 5);  // a run left open
  enc.reset();
  EXPECT_TRUE(cap.pieces.empty()) << "nothing of the abandoned image is written";
  enc.put(Bytes{3, 3}.data(), 2);
  enc.finish();
  EXPECT_EQ(cap.all(), Bytes({0x82, 3}));
}

TEST(HologramPackets, FailedWriteStopsTheEncoder) {
  int calls = 0;
  HologramRunEncoder enc([&](const uint8_t *, size_t) { return ++calls < 2; });
  Bytes noise;
  for (int i = 0; i < 200; ++i) noise.push_back(static_cast<uint8_t>(i));
  EXPECT_FALSE(enc.put(noise.data(), noise.size()));
  EXPECT_TRUE(enc.failed());
  EXPECT_EQ(calls, 2);
  EXPECT_FALSE(enc.put(1));
  EXPECT_FALSE(enc.finish());
  EXPECT_EQ(calls, 2) << "nothing is written after a failure";
}

// ---- dot order -----------------------------------------------------------

TEST(HologramOrder, EachDotLandsInItsLineAndBit) {
  // Line n is card column x = 1023 - n; dot y is byte y / 8, bit 7 - y % 8.
  struct Case {
    int x, y;
    size_t line, byte;
    uint8_t value;
  } cases[] = {{1023, 0, 0, 0, 0x80}, {0, 639, 1023, 79, 0x01}, {1016, 7, 7, 0, 0x01},
               {1015, 8, 8, 1, 0x80}, {5, 13, 1018, 1, 0x04},   {7, 0, 1016, 0, 0x80}};
  for (const Case &c : cases) {
    Bytes pic = picture(0), lines(kHologramStreamBytes, 0xEE);
    setDot(pic, c.x, c.y);
    ASSERT_TRUE(hologramLinesFromPicture(pic.data(), pic.size(), lines.data(), lines.size()));
    Bytes want(kHologramStreamBytes, 0);
    want[c.line * 80 + c.byte] = c.value;
    EXPECT_EQ(lines, want) << "dot " << c.x << "," << c.y;
  }
}

TEST(HologramOrder, WholeImagesWorkedByHand) {
  // One value everywhere: runs of 127 (645 of them) and one of 5.
  for (uint8_t v : {0x00, 0xFF}) {
    Bytes out;
    ASSERT_TRUE(encodeHologramImage(picture(v).data(), kHologramPictureBytes, &out));
    EXPECT_EQ(out, image(cat({repeat({0xFF, v}, 645), {0x85, v}}))) << int(v);
  }
  // Rows following the bits of "[" (0x5B) make every byte sent a "[".
  Bytes escapes = picture(0);
  for (int y = 0; y < 640; ++y)
    if ((0x5B >> (7 - y % 8)) & 1) std::memset(&escapes[y * 128], 0xFF, 128);
  Bytes esc;
  ASSERT_TRUE(encodeHologramImage(escapes.data(), escapes.size(), &esc));
  EXPECT_EQ(esc, image(cat({repeat({0xFF, 0x5B, 0x5B}, 645), {0x85, 0x5B, 0x5B}})));

  // Columns alternating (every byte 0xAA): the line of x = 1023 is all 0,
  // then a line of 1s, and so on: one 80-byte run per line.
  Bytes out;
  ASSERT_TRUE(encodeHologramImage(picture(0xAA).data(), kHologramPictureBytes, &out));
  EXPECT_EQ(out, image(repeat({0xD0, 0x00, 0xD0, 0xFF}, 512)));

  // Rows alternating, 0 on row 0: every line byte is 0b01010101.
  Bytes rows = picture(0);
  for (int y = 1; y < 640; y += 2) std::memset(&rows[y * 128], 0xFF, 128);
  out.clear();
  ASSERT_TRUE(encodeHologramImage(rows.data(), rows.size(), &out));
  EXPECT_EQ(out, image(cat({repeat({0xFF, 0x55}, 645), {0x85, 0x55}})));

  // Checkerboard: the line of x = 1023 starts with a 1 on row 0.
  Bytes board = picture(0);
  for (int y = 0; y < 640; ++y) std::memset(&board[y * 128], y % 2 ? 0xAA : 0x55, 128);
  out.clear();
  ASSERT_TRUE(encodeHologramImage(board.data(), board.size(), &out));
  EXPECT_EQ(out, image(repeat({0xD0, 0xAA, 0xD0, 0x55}, 512)));

  // One dot in the top right corner: the first byte sent is 0x80, a literal
  // that gives way to a run of 81919 zeros.
  Bytes corner = picture(0);
  setDot(corner, 1023, 0);
  out.clear();
  ASSERT_TRUE(encodeHologramImage(corner.data(), corner.size(), &out));
  EXPECT_EQ(out, image(cat({{0x01, 0x80}, repeat({0xFF, 0x00}, 645), {0x84, 0x00}})));
}

TEST(HologramOrder, TurnByHalfACircle) {
  Bytes pic = picture(0);
  setDot(pic, 0, 0);
  setDot(pic, 10, 3);
  ASSERT_TRUE(rotateHologramPicture180(pic.data(), pic.size()));
  Bytes want = picture(0);
  setDot(want, 1023, 639);
  setDot(want, 1013, 636);
  EXPECT_EQ(pic, want);
}

// ---- bounds and malformed input --------------------------------------------

TEST(HologramBounds, WrongPictureSizesAreRefusedWithoutWriting) {
  Bytes big(kHologramPictureBytes + 1, 0), lines(kHologramStreamBytes);
  for (size_t size : {size_t{0}, size_t{1}, kHologramPictureBytes - 1, kHologramPictureBytes + 1}) {
    Capture cap;
    EXPECT_FALSE(writeHologramImage(big.data(), size, cap.sink())) << size;
    EXPECT_FALSE(writeHologramBitmapJob(big.data(), size, 5, false, 1, cap.sink())) << size;
    EXPECT_TRUE(cap.pieces.empty()) << size;
    EXPECT_FALSE(hologramLinesFromPicture(big.data(), size, lines.data(), lines.size())) << size;
    EXPECT_FALSE(rotateHologramPicture180(big.data(), size)) << size;
  }
  Capture cap;
  EXPECT_FALSE(writeHologramImage(nullptr, kHologramPictureBytes, cap.sink()));
  EXPECT_FALSE(hologramLinesFromPicture(big.data(), kHologramPictureBytes, lines.data(), lines.size() - 1));
  EXPECT_FALSE(hologramLinesFromPicture(big.data(), kHologramPictureBytes, nullptr, lines.size()));
  Bytes out = {1, 2, 3};
  EXPECT_FALSE(encodeHologramImage(big.data(), 17, &out));
  EXPECT_EQ(out, Bytes({1, 2, 3}));
  EXPECT_TRUE(cap.pieces.empty());
}

TEST(HologramBounds, FailedWriteFailsTheImageAndTheJob) {
  for (int failAt = 1; failAt <= 4; ++failAt) {
    int calls = 0;
    auto sink = [&](const uint8_t *, size_t) { return ++calls < failAt; };
    Bytes pic = picture(0);
    for (size_t i = 0; i < pic.size(); i += 3) pic[i] = static_cast<uint8_t>(i * 7);  // many pieces
    EXPECT_FALSE(writeHologramImage(pic.data(), pic.size(), sink)) << failAt;
    EXPECT_EQ(calls, failAt);
    calls = 0;
    EXPECT_FALSE(writeHologramBitmapJob(pic.data(), pic.size(), 5, true, 3, sink)) << failAt;
    EXPECT_EQ(calls, failAt);
  }
}

// ---- the bitmap hologram job -------------------------------------------------

TEST(HologramJob, CommandsAroundTheImage) {
  Bytes pic = picture(0);
  Bytes image;
  ASSERT_TRUE(encodeHologramImage(pic.data(), pic.size(), &image));
  const Bytes ih = text("\x1bIH 31\r"), mo = text("\x1bMO\r"), mf = text("\x1bMF\r");

  Capture one;
  ASSERT_TRUE(writeHologramBitmapJob(pic.data(), pic.size(), 7, false, 1, one.sink()));
  EXPECT_EQ(one.all(), cat({text("\x1b+CH 7\r\x1bMASTER\r"), image, ih, mo}));

  Capture none;  // no copies stored still prints one card
  ASSERT_TRUE(writeHologramBitmapJob(pic.data(), pic.size(), 7, false, 0, none.sink()));
  EXPECT_EQ(none.all(), one.all());

  Capture two;
  ASSERT_TRUE(writeHologramBitmapJob(pic.data(), pic.size(), 200, true, 3, two.sink()));
  EXPECT_EQ(two.all(), cat({text("\x1b+CH 200\r\x1bMASTER\r"), image, ih, mf, image, ih, mo,  //
                            ih, mf, ih, mo, ih, mf, ih, mo}));

  Capture most, over;
  EXPECT_TRUE(writeHologramBitmapJob(pic.data(), pic.size(), 0, false, kHologramMaxCopies, most.sink()));
  EXPECT_EQ(most.all().size(), cat({text("\x1b+CH 0\r\x1bMASTER\r"), image, ih, mo}).size() +
                                   (kHologramMaxCopies - 1) * (ih.size() + mo.size()));
  EXPECT_FALSE(writeHologramBitmapJob(pic.data(), pic.size(), 0, false, kHologramMaxCopies + 1, over.sink()));
  EXPECT_TRUE(over.pieces.empty());
}

#ifdef CARDCFG_WITH_EMULATOR

// ---- round trips through the emulated printer --------------------------------

// Decodes one image with the printer's input stage, fed in pieces of the given
// size, and checks it against the picture: a 0 bit prints.
void expectPrinterReads(const Bytes &pic, size_t piece, const char *what) {
  Bytes wire;
  ASSERT_TRUE(encodeHologramImage(pic.data(), pic.size(), &wire)) << what;
  std::vector<cardemu::Command> got;
  cardemu::StreamParser parser;
  auto sink = [&](cardemu::Command &&c) { got.push_back(std::move(c)); };
  for (size_t i = 0; i < wire.size(); i += piece) parser.feed(wire.data() + i, std::min(piece, wire.size() - i), sink);
  parser.finish(sink);
  ASSERT_EQ(got.size(), 3u) << what;  // "F", "G ...", the block
  EXPECT_EQ(got[0].text, "F");
  EXPECT_EQ(got[1].error, 0) << what << ": " << got[1].problem;
  const cardemu::Command &block = got[2];
  ASSERT_EQ(block.error, 0) << what << ": " << block.problem;
  ASSERT_EQ(block.block, cardemu::BlockKind::kBitsRle) << what;
  EXPECT_EQ(block.length, wire.size() - (kHologramImageHeaderLength - 2)) << what << ": the CR ends the block";
  ASSERT_TRUE(block.data) << what;
  const std::vector<uint8_t> &dots = *block.data;
  ASSERT_EQ(dots.size(), size_t{1024 * 640});
  int wrong = 0;
  for (int y = 0; y < 640; ++y)
    for (int x = 0; x < 1024; ++x)
      if ((dots[x + y * 1024] == 1) == dot(pic, x, y) && ++wrong < 5)
        ADD_FAILURE() << what << ": dot " << x << "," << y;
}

TEST(HologramRoundTrip, PrinterDecodesWhatWasEncoded) {
  std::mt19937 rng(20240611);  // fixed starting value: the same pictures every run
  std::vector<std::pair<const char *, Bytes>> pictures;
  pictures.push_back({"all 0", picture(0x00)});
  pictures.push_back({"all 1", picture(0xFF)});
  pictures.push_back({"columns alternating", picture(0xAA)});
  Bytes noise(kHologramPictureBytes);
  for (uint8_t &b : noise) b = static_cast<uint8_t>(rng());
  pictures.push_back({"noise", noise});
  // Runs of every length from 1 to 300 bytes in send order, some of them "[".
  Bytes runs(kHologramStreamBytes);
  for (size_t i = 0; i < runs.size();) {
    const size_t len = 1 + rng() % 300;
    const uint8_t v = rng() % 4 == 0 ? 0x5B : static_cast<uint8_t>(rng());
    for (size_t k = 0; k < len && i < runs.size(); ++k) runs[i++] = v;
  }
  // Put those bytes into the picture by the dot order worked out above.
  Bytes fromRuns = picture(0);
  for (size_t line = 0; line < 1024; ++line)
    for (int y = 0; y < 640; ++y)
      if ((runs[line * 80 + y / 8] >> (7 - y % 8)) & 1) setDot(fromRuns, 1023 - static_cast<int>(line), y);
  pictures.push_back({"runs of every length", fromRuns});
  // Blocks of solid and noisy areas, as a logo with a photo would have.
  Bytes blocks = picture(0);
  for (int i = 0; i < 200; ++i) {
    const int x0 = rng() % 1024, y0 = rng() % 640, w = 1 + rng() % 200, h = 1 + rng() % 100;
    const bool noisy = rng() % 2;
    for (int y = y0; y < std::min(640, y0 + h); ++y)
      for (int x = x0; x < std::min(1024, x0 + w); ++x)
        if (!noisy || rng() % 2) setDot(blocks, x, y);
  }
  pictures.push_back({"blocks", blocks});

  for (const auto &[what, pic] : pictures) {
    expectPrinterReads(pic, 1 << 20, what);
    expectPrinterReads(pic, 7, what);  // pieces cut inside packets and doubled "["
  }
}

TEST(HologramRoundTrip, PrinterPrintsTheJobOnBothSides) {
  cardemu::PrinterConfig config;
  config.twoSided = true;
  config.checkRibbonPanels = false;
  cardemu::Printer printer(config);
  std::mt19937 rng(7);  // fixed starting value
  Bytes pic = picture(0);
  for (int y = 100; y < 300; ++y)
    for (int x = 50; x < 400; ++x)
      if (rng() % 3) setDot(pic, x, y);
  ASSERT_TRUE(writeHologramBitmapJob(pic.data(), pic.size(), 9, true, 2, [&](const uint8_t *b, size_t n) {
    return printer.write(b, n) == static_cast<long>(n);
  }));
  printer.finish();
  EXPECT_EQ(printer.state().error, 0);
  const std::vector<cardemu::Card> cards = printer.takeCards();
  ASSERT_EQ(cards.size(), 2u);
  for (const cardemu::Card &card : cards) {
    for (const cardemu::CardSide &side : card.sides) {
      ASSERT_EQ(side.panels.size(), 1u);
      EXPECT_EQ(side.panels[0].kind, cardemu::PanelKind::kHologram);
      const auto &dots = *side.panels[0].image;
      int wrong = 0;
      for (int y = 0; y < 640; ++y)
        for (int x = 0; x < 1024; ++x) wrong += (dots[x + y * 1024] == 1) == dot(pic, x, y);
      EXPECT_EQ(wrong, 0);
    }
  }
  EXPECT_EQ(printer.state().settings.at("+CH"), 9);
}

#endif  // CARDCFG_WITH_EMULATOR

}  // namespace
}  // namespace card
