// The job stream cutter: the pieces a card job is cut into, however the
// spooler's buffers cut it.  Expected pieces are built beside each stream from
// the command grammar and the block rules (header, unit count, doubled "[",
// closing CR), never taken from the cutter.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "shared/stream_cutter.h"

using namespace card::pacing;
using card::kBitmapBytes;
using card::kPlaneBytes;
using card::status::CommandCategory;

namespace {

const std::string kEsc = "\x1b";

struct Piece {
  std::string bytes;
  bool data = false;
  bool operator==(const Piece &) const = default;
};

std::ostream &operator<<(std::ostream &os, const Piece &p) {
  os << (p.data ? "data[" : "cmd[") << p.bytes.size() << "] ";
  for (char c : p.bytes.substr(0, 40))
    os << (c == '\x1b' ? std::string("\\e") : c == '\r' ? std::string("\\r") : std::string(1, c));
  return os;
}

// A stream and the pieces it must give, built side by side.
struct Job {
  std::string stream;
  std::vector<Piece> expected;
  size_t strayBytes = 0;

  Job &cmd(std::string_view text) {  // one command, \e written as ESC
    std::string c;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'e') {
        c += '\x1b';
        ++i;
      } else {
        c += text[i];
      }
    }
    stream += c;
    expected.push_back({c, false});
    return *this;
  }
  Job &block(const std::string &bytes) {  // data bytes and the closing CR
    stream += bytes + "\r";
    expected.push_back({bytes + "\r", true});
    return *this;
  }
  Job &stray(const std::string &bytes) {
    stream += bytes;
    strayBytes += bytes.size();
    return *this;
  }
};

// A packed continuous-tone plane: 442368 bytes holding every 7-bit value,
// CR and ESC among them, and a blank first (right after the header's blank).
std::string packedPlane(uint32_t salt) {
  std::string d(kPlaneBytes, '\0');
  for (size_t i = 0; i < d.size(); ++i) d[i] = static_cast<char>((i * 7 + salt) & 0x7F);
  d[0] = ' ';
  return d;
}

// A plain 1-bit bitmap: 81920 units, every 0x5B doubled; ends with a doubled
// one so that the count ends inside a two-byte unit.
std::string plainBitmap(uint32_t salt) {
  std::string d;
  for (uint32_t i = 0; i + 1 < kBitmapBytes; ++i) {
    char b = static_cast<char>((i * 13 + salt) & 0xFF);
    d += b;
    if (b == '[') d += b;
  }
  return d + "[[";
}

// Run-length plane: 655360 values as 5160 runs of 127 (0xFF then a value
// byte) and one of 40 (0xA8), the value a CR so that only the count can end
// the block.
std::string runLengthPlane() {
  std::string d;
  for (int i = 0; i < 5160; ++i) d += "\xFF\r";
  return d + "\xA8\r";
}

// Run-length bitmap: 640 runs of 127 units whose value unit is "[" CR, and
// 160 literal runs of four units ("a", "[[", CR, ESC): 81920 units.
std::string runLengthBitmap() {
  std::string d;
  for (int i = 0; i < 640; ++i) d += "\xFF[\r";
  for (int i = 0; i < 160; ++i)
    d += "\x04"
         "a[[\r\x1b";
  return d;
}

Job twoSidedCard() {
  Job j;
  j.cmd("\\eMASTER\r").cmd("\\eJOB 1\r").cmd("\\eSXY 1\r");
  for (const char *c : {"\\e+$C 0 5\r", "\\e+$C 1 5\r", "\\e+$C 2 5\r", "\\e+$L 0 0\r", "\\e+$L 1 0\r", "\\e+$L 2 0\r",
                        "\\e+C 10\r", "\\e+CV 7\r"})
    j.cmd(c);
  j.cmd("\\e&R\r").cmd("\\e&B 1 JOHN SAMPLE\r").cmd("\\e&E*\r");
  j.cmd("\\e$F\r").cmd("\\eGS 0 32 0 0 1024 640 ").block(packedPlane(1)).cmd("\\eIS 0\r");
  j.cmd("\\eGS 1 32 0 0 1024 640 ").block(packedPlane(2)).cmd("\\eIS 1\r");
  j.cmd("\\eGS 2 32 0 0 1024 640 ").block(packedPlane(3)).cmd("\\eIS 2\r");
  j.cmd("\\eMF\r");
  j.cmd("\\eF\r").cmd("\\eG 0 0 10 640 1024 1\r").cmd("\\eZ").block(plainBitmap(5)).cmd("\\eI 30\r");
  j.cmd("\\eMF\r").cmd("\\evF\r").cmd("\\evL 0 0 1023 639 1\r").cmd("\\evL 85 197 194 159 0\r").cmd("\\eIV 31\r");
  j.cmd("\\eMO\r");
  return j;
}

struct Outcome {
  std::vector<Piece> pieces;
  std::vector<Cut> cuts;  // the cuts that carried something to write
  size_t dropped = 0;
  size_t calls = 0;
};

// Feeds the stream as the spooler does: buffer by buffer, offering the rest of
// a buffer until the monitor has consumed all of it.
Outcome feed(const std::string &stream, const std::vector<size_t> &bufferEnds) {
  Outcome o;
  StreamCutter cutter;
  bool blockOpen = false;
  size_t start = 0;
  auto feedBuffer = [&](size_t end) {
    size_t at = start;
    while (at < end) {
      Cut c = cutter.next(reinterpret_cast<const uint8_t *>(stream.data()) + at, end - at);
      ++o.calls;
      if (c.consumed < 1 || c.consumed > std::min(end - at, kMaxPieceBytes)) {
        ADD_FAILURE() << "consumed " << c.consumed << " of " << end - at;
        return;
      }
      EXPECT_LE(c.pieceLength, kMaxPieceBytes);
      at += c.consumed;
      std::string bytes(reinterpret_cast<const char *>(c.piece), c.pieceLength);
      switch (c.kind) {
        case CutKind::Command:
          EXPECT_FALSE(blockOpen);
          o.pieces.push_back({bytes, false});
          blockOpen = c.opensBlock;
          o.cuts.push_back(c);
          break;
        case CutKind::Data:
          if (o.pieces.empty() || !o.pieces.back().data || !blockOpen) o.pieces.push_back({"", true});
          o.pieces.back().bytes += bytes;
          blockOpen = !c.endsBlock;
          if (c.endsBlock) o.cuts.push_back(c);
          break;
        case CutKind::Dropped: o.dropped += c.droppedBytes; break;
        case CutKind::Held: break;
        case CutKind::Nothing: ADD_FAILURE() << "nothing cut from a non-empty buffer"; return;
      }
    }
    start = end;
  };
  for (size_t end : bufferEnds) feedBuffer(end);
  feedBuffer(stream.size());
  return o;
}

Outcome feedWhole(const std::string &s) { return feed(s, {}); }
Outcome feedEvery(const std::string &s, size_t step) {
  std::vector<size_t> ends;
  for (size_t i = step; i < s.size(); i += step) ends.push_back(i);
  return feed(s, ends);
}

// Commands at the start of a job and around its blocks, small enough to be
// cut in two at every byte.
Job smallMixedJob() {
  Job j;
  j.cmd("\\eMASTER\r").cmd("\\eJOB 0\r");
  j.cmd("\\eGS 0 30 0 0 1024 640 ").block(runLengthPlane()).cmd("\\eIS 0\r");
  j.cmd("\\eZ").block(runLengthBitmap()).cmd("\\eI 30\r");
  j.cmd("\\eMF\r").cmd("\\eMO\r");
  return j;
}

}  // namespace

TEST(StreamCutter, TwoSidedCardGivesEveryCommandAndBlockWhole) {
  Job j = twoSidedCard();
  Outcome whole = feedWhole(j.stream);
  EXPECT_EQ(whole.pieces, j.expected);
  EXPECT_EQ(whole.dropped, 0u);
  // A buffer is looked at 4096 bytes at a time: a plane takes 109 slices.
  EXPECT_GT(whole.calls, 3 * (kPlaneBytes / kMaxPieceBytes));

  for (size_t step : {1, 2, 3, 7, 64, 4095, 4097, 65536})
    EXPECT_EQ(feedEvery(j.stream, step).pieces, j.expected) << step;
}

TEST(StreamCutter, PausesAndChecksFollowTheCategories) {
  Job j = twoSidedCard();
  Outcome o = feedEvery(j.stream, 1000);
  auto find = [&](std::string_view text) -> const Cut * {
    for (const Cut &c : o.cuts)
      if (c.kind == CutKind::Command &&
          std::string_view(reinterpret_cast<const char *>(c.piece), c.pieceLength) == text)
        return &c;
    return nullptr;
  };
  struct Want {
    std::string_view cmd;
    bool check;
    uint32_t pause;
  };
  for (Want w : {Want{"\x1bMASTER\r", true, 30}, Want{"\x1bIS 0\r", true, 3850}, Want{"\x1bI 30\r", true, 3850},
                 Want{"\x1b&E*\r", true, 1000}, Want{"\x1b&R\r", true, 200}, Want{"\x1bMF\r", true, 1000},
                 Want{"\x1bMO\r", true, 1000}, Want{"\x1bGS 0 32 0 0 1024 640 ", false, 0}, Want{"\x1bZ", false, 0}}) {
    const Cut *c = find(w.cmd);
    ASSERT_NE(c, nullptr) << w.cmd;
    EXPECT_EQ(c->checkAfter, w.check) << w.cmd;
    if (w.check) {
      EXPECT_EQ(c->pauseMs, w.pause) << w.cmd;
    }
  }
  // Each block's end is checked after the data-block pause; four blocks.
  size_t ends = 0;
  for (const Cut &c : o.cuts)
    if (c.kind == CutKind::Data) {
      ++ends;
      EXPECT_TRUE(c.endsBlock && c.checkAfter);
      EXPECT_EQ(c.pauseMs, 100u);
      EXPECT_EQ(c.category, CommandCategory::DataBlock);
    }
  EXPECT_EQ(ends, 4u);
}

TEST(StreamCutter, CutInTwoAtEveryByteGivesTheSamePieces) {
  Job j = smallMixedJob();
  ASSERT_EQ(feedWhole(j.stream).pieces, j.expected);
  for (size_t at = 1; at < j.stream.size(); ++at) {
    Outcome o = feed(j.stream, {at});
    ASSERT_EQ(o.pieces, j.expected) << "cut at " << at;
  }
}

TEST(StreamCutter, SplitCommandIsWrittenOnceWhole) {
  std::string s = "\x1bMF";
  StreamCutter cutter;
  Cut a = cutter.next(reinterpret_cast<const uint8_t *>(s.data()), s.size());
  EXPECT_EQ(a.kind, CutKind::Held);
  EXPECT_EQ(a.consumed, 3u);  // taken now, so a repeated offer cannot be held twice
  std::string rest = "\r\x1bMO\r";
  Cut b = cutter.next(reinterpret_cast<const uint8_t *>(rest.data()), rest.size());
  ASSERT_EQ(b.kind, CutKind::Command);
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(b.piece), b.pieceLength), "\x1bMF\r");
  EXPECT_EQ(b.consumed, 1u);
  EXPECT_EQ(b.category, CommandCategory::CardMotion);
  EXPECT_EQ(b.pauseMs, 1000u);
}

TEST(StreamCutter, BlockLengths) {
  // A header with the field " 30 " counts run-length units: runs whose value
  // byte is a CR do not end the block.
  Job rl;
  rl.cmd("\\eGS 1 30 0 0 1024 640 ").block(runLengthPlane()).cmd("\\eIS 1\r");
  EXPECT_EQ(feedWhole(rl.stream).pieces, rl.expected);
  EXPECT_EQ(rl.expected[1].bytes.size(), 2 * 5161 + 1u);

  // A plain bitmap whose last unit is "[" and a CR: the CR after it ends it.
  Job last;
  last.cmd("\\eG 0 0 10 640 1024 1\r").cmd("\\eZ").block("[[" + std::string(kBitmapBytes - 2, 'U') + "[\r");
  last.cmd("\\eMO\r");
  EXPECT_EQ(feedEvery(last.stream, 1).pieces, last.expected);

  // Without it the same kind of bytes is plain data: 442368 bytes, CR among
  // them, then any bytes up to the first CR after the count belong to the block.
  Job plain;
  std::string d(kPlaneBytes, '\r');
  plain.cmd("\\eGS 3 32 0 0 1024 640 ").block(d + "xy").cmd("\\eIS 3\r");
  EXPECT_EQ(feedEvery(plain.stream, 4000).pieces, plain.expected);

  // A bitmap header asks plain counting for the next block only; the "\eZ"
  // after that counts run-length units.
  Job bits;
  std::string ones(kBitmapBytes, '\x01');
  bits.cmd("\\eG 0 0 10 640 1024 1\r").cmd("\\eZ").block(ones).cmd("\\eZ").block(runLengthBitmap()).cmd("\\eMO\r");
  EXPECT_EQ(feedEvery(bits.stream, 333).pieces, bits.expected);
  EXPECT_EQ(bits.expected[4].bytes.size(), 640 * 3 + 160 * 6 + 1u);

  // In a run-length bitmap, "[" at a buffer end is completed by the next buffer.
  Job esc;
  std::string d2;
  for (int i = 0; i < 640; ++i) d2 += "\xFF[\r";                            // 127 units each, value "[" CR
  for (int i = 0; i < 20; ++i) d2 += "\x1F" + std::string(30, 'a') + "[[";  // 31 literal units
  d2 += "\x14" + std::string(20, '\r');                                     // 640 * 127 + 20 * 31 + 20 = 81920
  esc.cmd("\\eZ").block(d2).cmd("\\eMO\r");
  std::vector<size_t> ends;
  for (size_t i = 0; i < esc.stream.size(); ++i)
    if (esc.stream[i] == '[') ends.push_back(i + 1);
  EXPECT_EQ(feed(esc.stream, ends).pieces, esc.expected);
}

TEST(StreamCutter, HeaderEndsAtTheBlankAfterItsSixthParameter) {
  // The first data byte is a blank: it is data, not part of the header.
  Job j;
  j.cmd("\\eGS 0 32 0 0 1024 640 ").block(packedPlane(9)).cmd("\\eIS 0\r");
  ASSERT_EQ(j.expected[1].bytes[0], ' ');
  for (size_t at = 1; at < 30; ++at) EXPECT_EQ(feed(j.stream, {at}).pieces, j.expected) << at;
}

TEST(StreamCutter, BytesOutsideCommandsAreDroppedNotRepeated) {
  Job j;
  j.stray("junk").cmd("\\eMASTER\r").stray("\r\n").cmd("\\eMO\r").stray("tail without escape");
  for (size_t step : {1, 3, 100}) {
    Outcome o = feedEvery(j.stream, step);
    EXPECT_EQ(o.pieces, j.expected);
    EXPECT_EQ(o.dropped, j.strayBytes);
  }
}

TEST(StreamCutter, LongCommands) {
  // A captured pre-job command of several hundred bytes passes whole even when
  // a buffer end cuts it.
  Job j;
  j.cmd("\\e&CDEW " + std::string(500, 'D') + "\r").cmd("\\eMO\r");
  for (size_t at : {1, 2, 64, 65, 300, 508}) EXPECT_EQ(feed(j.stream, {at}).pieces, j.expected) << at;

  // Up to kMaxCommandBytes bytes a command passes; one byte more and it is
  // dropped whole with the rest of it, and the next command passes.
  std::string fits = "\x1b" + std::string(kMaxCommandBytes - 2, 'x') + "\r";
  std::string over = "\x1b" + std::string(kMaxCommandBytes + 500, 'y') + "\r";
  std::string s = fits + over + "\x1bMO\r";
  std::vector<Piece> want{{fits, false}, {"\x1bMO\r", false}};
  for (size_t step : {1, 1000, 4096, 10000}) {
    Outcome o = feedEvery(s, step);
    EXPECT_EQ(o.pieces, want) << step;
    EXPECT_EQ(o.dropped, over.size()) << step;
  }
}

TEST(StreamCutter, UndoGivesTheSameCutAgain) {
  // A write that fails is undone and the spooler offers the same bytes again:
  // held command completion, block header and data slice alike.
  Job j = smallMixedJob();
  for (size_t step : {5, 4096}) {
    StreamCutter cutter;
    std::vector<Piece> pieces;
    size_t at = 0;
    bool blockOpen = false;
    int failures = 0;
    while (at < j.stream.size()) {
      size_t end = std::min(j.stream.size(), (at / step + 1) * step);
      const uint8_t *p = reinterpret_cast<const uint8_t *>(j.stream.data()) + at;
      Cut c = cutter.next(p, end - at);
      if (c.pieceLength && failures++ % 3 == 0) {  // every third write fails
        cutter.undo();
        Cut again = cutter.next(p, end - at);
        ASSERT_EQ(again.consumed, c.consumed);
        ASSERT_EQ(std::string_view(reinterpret_cast<const char *>(again.piece), again.pieceLength),
                  std::string_view(reinterpret_cast<const char *>(c.piece), c.pieceLength));
        c = again;
      }
      at += c.consumed;
      if (c.kind == CutKind::Command) {
        pieces.push_back({std::string(reinterpret_cast<const char *>(c.piece), c.pieceLength), false});
        blockOpen = c.opensBlock;
      } else if (c.kind == CutKind::Data) {
        if (!pieces.back().data) pieces.push_back({"", true});
        pieces.back().bytes.append(reinterpret_cast<const char *>(c.piece), c.pieceLength);
        blockOpen = !c.endsBlock;
      }
    }
    EXPECT_FALSE(blockOpen);
    EXPECT_EQ(pieces, j.expected) << step;
  }
}

TEST(StreamCutter, RandomStreamsAnyCutting) {
  // Streams made from the grammar with a fixed random starting value: random
  // commands (the renderer's vocabulary and captured text), packed planes of
  // random bytes, plain and run-length bitmaps, stray bytes between commands;
  // fed in random buffer sizes.
  std::mt19937 rng(20240611);
  auto pick = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
  for (int round = 0; round < 6; ++round) {
    Job j;
    for (int k = 0; k < 40; ++k) {
      switch (pick(7)) {
        case 0: {
          std::string text;
          for (uint32_t i = pick(200); i; --i) {
            char c = static_cast<char>(' ' + pick(95));
            text += c;
          }
          j.cmd("\\e&B 3 " + text + "\r");
          break;
        }
        case 1: j.cmd(pick(2) ? "\\eIS 2\r" : "\\eMF\r"); break;
        case 2: {
          std::string d(kPlaneBytes, '\0');
          for (char &c : d) c = static_cast<char>(rng());
          j.cmd("\\eGS 2 32 0 0 1024 640 ").block(d);
          break;
        }
        case 3: {
          std::string d;
          for (uint32_t u = 0; u < kBitmapBytes; ++u) {
            char c = static_cast<char>(rng());
            d += c;
            if (c == '[') d += static_cast<char>(rng());  // any byte completes the unit
          }
          j.cmd("\\eF\r").cmd("\\eG 0 0 10 640 1024 1\r").cmd("\\eZ").block(d);
          break;
        }
        case 4: {
          // Run-length bitmap of random runs, the last run cut to fit.
          std::string d;
          uint32_t units = 0;
          while (units < kBitmapBytes) {
            uint32_t left = kBitmapBytes - units;
            auto unit = [&] {
              char c = static_cast<char>(rng());
              d += c;
              if (c == '[') d += static_cast<char>(rng());
            };
            if (pick(2)) {
              uint32_t n = std::min<uint32_t>(1 + pick(127), left);
              d += static_cast<char>(0x80 | n);
              unit();
              units += n;
            } else {
              uint32_t n = std::min<uint32_t>(1 + pick(31), left);
              d += static_cast<char>(n);
              for (uint32_t i = 0; i < n; ++i) unit();
              units += n;
            }
          }
          j.cmd("\\eZ").block(d);
          break;
        }
        case 5: j.stray(std::string(1 + pick(20), 'z')); break;
        default: j.cmd("\\e+$C " + std::to_string(pick(3)) + " " + std::to_string(pick(100)) + "\r"); break;
      }
    }
    std::vector<size_t> ends;
    for (size_t at = 0; at < j.stream.size(); at += 1 + pick(pick(2) ? 9000 : 40)) ends.push_back(at);
    Outcome o = feed(j.stream, ends);
    EXPECT_EQ(o.pieces, j.expected) << "round " << round;
    EXPECT_EQ(o.dropped, j.strayBytes) << "round " << round;
  }
}

TEST(StreamCutter, EmptyBufferAndReset) {
  StreamCutter cutter;
  EXPECT_EQ(cutter.next(nullptr, 0).kind, CutKind::Nothing);
  std::string s = "\x1bGS 0 32 0 0 1024 640 abc";
  Cut h = cutter.next(reinterpret_cast<const uint8_t *>(s.data()), s.size());
  EXPECT_TRUE(h.opensBlock);
  EXPECT_TRUE(cutter.insideBlock());
  cutter.reset();  // an aborted job: the next job starts outside any block
  EXPECT_FALSE(cutter.insideBlock());
  std::string next = "\x1bMASTER\r";
  EXPECT_EQ(cutter.next(reinterpret_cast<const uint8_t *>(next.data()), next.size()).kind, CutKind::Command);
}

TEST(StreamCutter, ShortCommandsStartingWithGAlwaysMakeProgress) {
  // "\eG" and "\eGS" may still become a block header; a CR right after them
  // ends an ordinary command.  A command completed from held bytes alone
  // would consume nothing of the next buffer, and a monitor would be offered
  // the same bytes forever: every cut must consume (Feed checks it).
  Job j;
  j.cmd("\\eG\r").cmd("\\eF\r").cmd("\\eGS\r").cmd("\\eG \r").cmd("\\eGS\r").cmd("\\eMF\r").cmd("\\eG\r");
  j.cmd("\\eG 0 0 10 640 1024 1\r").cmd("\\eZ").block(std::string(kBitmapBytes, 'b')).cmd("\\eMO\r");
  ASSERT_EQ(feedWhole(j.stream).pieces, j.expected);
  for (size_t at = 1; at < 40; ++at) EXPECT_EQ(feed(j.stream, {at}).pieces, j.expected) << "cut at " << at;
  for (size_t step : {1, 2, 3, 4}) EXPECT_EQ(feedEvery(j.stream, step).pieces, j.expected) << step;

  // The reported case: "\eG\r" by itself, then "\eF\r".
  StreamCutter cutter;
  const std::string a = "\x1bG\r", b = "\x1b"
                                       "F\r";
  Cut first = cutter.next(reinterpret_cast<const uint8_t *>(a.data()), a.size());
  EXPECT_EQ(first.kind, CutKind::Command);
  EXPECT_EQ(first.consumed, 3u);
  EXPECT_TRUE(first.checkAfter);
  Cut second = cutter.next(reinterpret_cast<const uint8_t *>(b.data()), b.size());
  ASSERT_EQ(second.kind, CutKind::Command);
  EXPECT_EQ(second.consumed, 3u);
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(second.piece), second.pieceLength), b);
}

TEST(StreamCutter, ACarriageReturnEndsAnUnfinishedBlockHeader) {
  // A "\eGS " whose header is cut short by a CR is an ordinary command, as the
  // printer reads it: it opens no block, and the commands after it pass.
  Job j;
  j.cmd("\\eGS 1\r");
  for (int i = 0; i < 1500; ++i) j.cmd("\\eMF\r");
  j.cmd("\\eGS 0 30 0 0 1024\r").cmd("\\eGS \r").cmd("\\eIS 0\r");
  for (size_t step : {1, 5, 6, 7, 100, 4096, 10000}) {
    Outcome o = feedEvery(j.stream, step);
    EXPECT_EQ(o.pieces, j.expected) << step;
    EXPECT_EQ(o.dropped, 0u) << step;
  }
  Outcome whole = feedWhole(j.stream);
  EXPECT_EQ(whole.pieces, j.expected);
  EXPECT_EQ(whole.dropped, 0u);
  // Not a block header: checked after like any other command, with the pause
  // of its own category ("\eMF\r" inside it makes it a card movement).
  for (const Cut &c : whole.cuts) {
    EXPECT_FALSE(c.opensBlock);
    EXPECT_TRUE(c.checkAfter);
    EXPECT_NE(c.category, CommandCategory::DataBlock);
  }
  EXPECT_EQ(whole.cuts[0].category, CommandCategory::Other);
  EXPECT_EQ(whole.cuts[0].pauseMs, 30u);

  Job inner;
  inner.cmd("\\eGS 2 \\eMF\r").cmd("\\eGS 2 32 0 0 1024 640 ").block(packedPlane(4)).cmd("\\eIS 2\r");
  Outcome o = feedEvery(inner.stream, 3);
  EXPECT_EQ(o.pieces, inner.expected);
  ASSERT_FALSE(o.cuts.empty());
  EXPECT_EQ(o.cuts[0].category, CommandCategory::CardMotion);
  EXPECT_EQ(o.cuts[0].pauseMs, 1000u);
  EXPECT_TRUE(o.cuts[1].opensBlock);

  // A CR after the header's end is data: the header still ends at its seventh
  // group of blanks.
  Job crData;
  crData.cmd("\\eGS 0 32 0 0 1024 640 ").block("\r" + std::string(kPlaneBytes - 1, 'x')).cmd("\\eMO\r");
  EXPECT_EQ(feedEvery(crData.stream, 7).pieces, crData.expected);
}

namespace {

// A firmware image document as the configuration module writes it: ESC "DC ",
// the image size in 4 bytes most significant first, the image, 0xFF and CR.
std::string firmwareHeader(uint32_t size) {
  std::string h =
      "\x1b"
      "DC ";
  for (int shift = 24; shift >= 0; shift -= 8) h += static_cast<char>((size >> shift) & 0xFF);
  return h;
}

// Image bytes that look like everything the cutter reads elsewhere: CRs, ESCs,
// "[" pairs, 0xFF followed by CR (the frame's own trailer), whole commands and
// block headers.
std::string firmwareImage(size_t size) {
  using namespace std::string_literals;
  static const std::string kLookalikes[] = {"\r",
                                            "\x1b",
                                            "[",
                                            "\xff\r",
                                            "\x1bMO\r",
                                            "\x1bZ",
                                            "\x1bGS 0 32 0 0 1024 640 ",
                                            "\x1b"
                                            "DC \0\0\0\1x\xff\r"s};
  std::string d;
  for (uint32_t i = 0; d.size() < size; ++i) {
    d += static_cast<char>(i * 37 + 11);
    const std::string &l = kLookalikes[i % std::size(kLookalikes)];
    d.append(l.data(), l.size());
  }
  d.resize(size);
  return d;
}

Job &firmwareFrame(Job &j, const std::string &image) {
  std::string header = firmwareHeader(static_cast<uint32_t>(image.size()));
  j.stream += header;
  j.expected.push_back({header, false});
  return j.block(image + "\xff");
}

}  // namespace

TEST(StreamCutterFirmware, FrameHeaderThenImageThenEndMarkerAndCr) {
  // 0x0D1B image bytes: the size bytes 00 00 0D 1B hold a CR and an ESC.
  const std::string image = firmwareImage(0x0D1B);
  Job j;
  j.cmd("\\eMASTER\r");
  firmwareFrame(j, image).cmd("\\eMO\r");
  ASSERT_EQ(j.expected[1].bytes, std::string("\x1b"
                                             "DC \x00\x00\x0d\x1b",
                                             8));
  Outcome whole = feedWhole(j.stream);
  EXPECT_EQ(whole.pieces, j.expected);
  EXPECT_EQ(whole.dropped, 0u);

  // The header is a block header: no check after it; the frame's end is
  // checked after the data-block pause, and its units are the image bytes.
  ASSERT_EQ(whole.cuts.size(), 4u);
  const Cut &header = whole.cuts[1];
  EXPECT_TRUE(header.opensBlock);
  EXPECT_FALSE(header.checkAfter);
  EXPECT_EQ(header.category, CommandCategory::DataBlock);
  const Cut &end = whole.cuts[2];
  EXPECT_EQ(end.kind, CutKind::Data);
  EXPECT_TRUE(end.endsBlock && end.checkAfter);
  EXPECT_EQ(end.pauseMs, 100u);
  EXPECT_EQ(whole.cuts[3].category, CommandCategory::CardMotion);

  // Cut in two anywhere (header, size bytes, image, end marker, CR), or in
  // small buffers: the same pieces.
  for (size_t at = 1; at < j.stream.size(); ++at) ASSERT_EQ(feed(j.stream, {at}).pieces, j.expected) << "cut at " << at;
  for (size_t step : {1, 2, 3, 5, 8, 4095, 4097}) EXPECT_EQ(feedEvery(j.stream, step).pieces, j.expected) << step;
}

TEST(StreamCutterFirmware, LargeAndEmptyImages) {
  // A 1,000,000-byte image: size bytes 00 0F 42 40, slices of at most 4096
  // bytes (the feeder checks), all its units counted.
  const std::string image = firmwareImage(1000000);
  Job big;
  firmwareFrame(big, image).cmd("\\eMF\r");
  ASSERT_EQ(big.stream.substr(4, 4), std::string("\x00\x0f\x42\x40", 4));
  Outcome o = feedEvery(big.stream, 70000);
  EXPECT_EQ(o.pieces, big.expected);
  EXPECT_GE(o.calls, image.size() / kMaxPieceBytes);

  StreamCutter cutter;
  const uint8_t *p = reinterpret_cast<const uint8_t *>(big.stream.data());
  uint64_t units = 0;
  for (size_t at = 0; at < big.stream.size();) {
    Cut c = cutter.next(p + at, big.stream.size() - at);
    if (c.kind == CutKind::Data) units += c.units;
    at += c.consumed;
  }
  EXPECT_EQ(units, image.size());
  EXPECT_FALSE(cutter.insideBlock());

  // An empty image: the frame is the header, 0xFF and CR.
  Job empty;
  firmwareFrame(empty, "").cmd("\\eMO\r");
  EXPECT_EQ(empty.stream.substr(0, 11), std::string("\x1b"
                                                    "DC \0\0\0\0\xff\r\x1b",
                                                    11));
  for (size_t step : {1, 4, 100}) EXPECT_EQ(feedEvery(empty.stream, step).pieces, empty.expected) << step;
}

TEST(StreamCutterFirmware, OtherCommandsStartingWithDAreUnchanged) {
  // Only ESC "DC " and a blank opens a frame; "\eDC" and "\eD" cut short by a
  // CR are ordinary commands, even when a buffer end falls right after them.
  Job j;
  j.cmd("\\eDC\r").cmd("\\eD\r").cmd("\\eDMSG READY\r");
  firmwareFrame(j, firmwareImage(300)).cmd("\\eDC\r");
  for (size_t at = 1; at < 30; ++at) EXPECT_EQ(feed(j.stream, {at}).pieces, j.expected) << "cut at " << at;
  Outcome o = feedWhole(j.stream);
  EXPECT_EQ(o.pieces, j.expected);
  EXPECT_EQ(o.cuts[0].category, CommandCategory::Other);
  EXPECT_TRUE(o.cuts[0].checkAfter);
}
