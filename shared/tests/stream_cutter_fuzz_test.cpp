// The stream cutter's fuzz harness on repeatable random streams: whole buffer
// against random cuttings with failed writes.  The streams are built from the
// pieces the grammar gives meaning to (commands, block headers, blocks whole
// and broken off, "[" pairs, runs, CRs, ESCs, stray bytes, over-long
// commands), so that most of them reach the cutter's harder paths.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "shared/fuzz/stream_cutter_check.h"

using namespace card::pacing;
using card::kBitmapBytes;
using card::kPlaneBytes;
using card::kPlaneValues;

namespace {

class StreamMaker {
 public:
  explicit StreamMaker(uint32_t start) : rng_(start) {}

  std::string make(size_t pieces) {
    std::string s;
    for (size_t k = 0; k < pieces; ++k) addPiece(&s);
    return s;
  }

 private:
  uint32_t pick(uint32_t n) { return static_cast<uint32_t>(rng_() % n); }
  char byte() {
    static const char kMeaningful[] = {'\x1b', '\r', ' ', '[', 'G', 'S', 'Z', '3', '0', '\x80', '\xff', '\x1f'};
    return pick(3) ? static_cast<char>(rng_()) : kMeaningful[pick(sizeof kMeaningful)];
  }
  // A bit-block unit: one byte, or "[" and the byte after it.
  void unit(std::string *s) {
    char b = byte();
    *s += b;
    if (b == '[') *s += byte();
  }
  // Block bytes of `units` units in the given counting, then (mostly) bytes up
  // to a CR; sometimes broken off early.
  void block(std::string *s, bool bits, bool plain, uint32_t units) {
    uint32_t have = 0;
    uint32_t stopAt = pick(6) ? units : pick(units);
    while (have < stopAt) {
      if (plain && !bits) {
        uint32_t n = std::min<uint32_t>(stopAt - have, 1 + pick(5000));
        for (uint32_t i = 0; i < n; ++i) *s += byte();
        have += n;
      } else if (plain) {
        unit(s);
        ++have;
      } else if (pick(2)) {
        uint32_t n = 1 + pick(127);
        *s += static_cast<char>(0x80 | n);
        if (bits)
          unit(s);
        else
          *s += byte();
        have += n;
      } else if (bits) {
        uint32_t n = pick(32);
        *s += static_cast<char>(n);
        for (uint32_t i = 0; i < n; ++i) unit(s);
        have += n;
      } else {
        *s += static_cast<char>(rng_() & 0x7F);
        ++have;
      }
    }
    if (pick(4)) {
      for (uint32_t i = pick(3); i; --i) *s += byte();
      *s += '\r';
    }
  }
  void addPiece(std::string *s) {
    const std::string e = "\x1b";
    switch (pick(17)) {
      case 0: *s += e + "MF\r"; break;
      case 1: *s += e + "IS " + std::to_string(pick(4)) + "\r"; break;
      case 2: *s += e + "&B 1 " + std::string(pick(120), 'A') + "\r"; break;
      case 3: *s += e + "G"; break;
      case 4: *s += e + "GS"; break;
      case 5: *s += e + "GS " + std::to_string(pick(4)) + (pick(2) ? "\r" : " "); break;
      case 6: {
        // A whole plane header, now and then with its field of run-length coding.
        bool rl = pick(2);
        *s += e + "GS " + std::to_string(pick(4)) + (rl ? " 30" : " 32") + " 0 0 1024 640 ";
        // Whole packed planes are big: most broken off early.
        block(s, false, !rl, rl ? kPlaneValues : (pick(16) ? pick(3000) : kPlaneBytes));
        break;
      }
      case 7: {
        bool plain = pick(2);
        if (plain) *s += e + "G 0 0 10 640 1024 1\r";
        *s += e + "Z";
        block(s, true, plain, kBitmapBytes);
        break;
      }
      case 8: *s += e + std::string(kMaxCommandBytes - 3 + pick(6), 'L') + (pick(2) ? "\r" : ""); break;
      case 9:
        for (uint32_t i = 1 + pick(30); i; --i) *s += byte();
        break;
      case 10: *s += std::string(1 + pick(10), ' '); break;
      case 11: *s += e + "&E*\r" + e + "&R\r"; break;
      case 12: *s += e + "M 5\r"; break;
      case 13: *s += "\r"; break;
      case 14: *s += e; break;
      case 15: {
        // A firmware frame: its size bytes, then image bytes of any kind, now
        // and then fewer than the header names; then the end marker and CR.
        uint32_t size = pick(2) ? pick(20) : pick(9000);
        *s += e + "DC ";
        for (int shift = 24; shift >= 0; shift -= 8) *s += static_cast<char>((size >> shift) & 0xFF);
        for (uint32_t i = pick(8) ? size : pick(size + 1); i; --i) *s += byte();
        if (pick(4)) *s += "\xff\r";
        break;
      }
      default: *s += e + "+$C " + std::to_string(pick(3)) + " " + std::to_string(pick(100)) + "\r"; break;
    }
  }

  std::mt19937 rng_;
};

}  // namespace

TEST(StreamCutterFuzz, RandomStreamsGiveTheSamePiecesHoweverCut) {
  StreamMaker maker(0x5EED);
  std::mt19937 rng(20250611);
  size_t calls = 0, undos = 0, bytes = 0, blocksEnded = 0;
  for (int i = 0; i < 50; ++i) {
    std::string s = maker.make(1 + i % 30);
    bytes += s.size();
    const uint8_t *p = reinterpret_cast<const uint8_t *>(s.data());
    // Every buffer size class, failure rate and re-offer kind (the 64 styles)
    // over the cases.
    for (int k = 0; k < 2; ++k) {
      check::Cutting cutting;
      cutting.style = static_cast<uint8_t>((2 * i + k) % 64);
      cutting.randomStart = rng();
      size_t where = 0;
      check::Record r;
      const char *broken = check::checkStreamCutter(p, s.size(), cutting, &where, &r);
      ASSERT_EQ(broken, nullptr) << broken << " (case " << i << ", style " << int(cutting.style) << ", offset " << where
                                 << " of " << s.size() << ")";
      calls += r.calls;
      undos += r.undos;
      for (const check::Event &e : r.events) blocksEnded += e.kind == CutKind::Data && e.endsBlock;
    }
  }
  // The cases reach whole blocks, and writes fail now and then.
  EXPECT_GT(bytes, 1000000u);
  EXPECT_GT(blocksEnded, 50u);
  EXPECT_GT(undos, 100000u);
  EXPECT_GT(calls, 1000000u);
}

TEST(StreamCutterFuzz, HarnessCatchesBrokenCuts) {
  // The harness itself must see a call that stalls, a piece that is not the
  // stream's bytes, and nothing cut from a buffer.
  std::string s = "\x1bMF\r\x1bMO\r";
  const uint8_t *p = reinterpret_cast<const uint8_t *>(s.data());
  StreamCutter cutter;
  Cut c = cutter.next(p, s.size());
  Cut stalled = c;
  stalled.consumed = 0;
  EXPECT_STREQ(check::checkCut(stalled, p, 0, s.size(), false, cutter), "a call consumed nothing");
  Cut shifted = c;
  shifted.piece = p + 1;
  EXPECT_STREQ(check::checkCut(shifted, p, 0, s.size(), false, cutter), "piece differs from the stream");
  Cut nothing = c;
  nothing.kind = CutKind::Nothing;
  EXPECT_STREQ(check::checkCut(nothing, p, 0, s.size(), false, cutter), "nothing cut from a non-empty buffer");
  EXPECT_EQ(check::checkCut(c, p, 0, s.size(), false, cutter), nullptr);
}
