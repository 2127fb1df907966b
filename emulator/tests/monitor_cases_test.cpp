// What the USB monitor meets at the printer: further copies printed from the
// printer's memory, named faults raised and cleared in the middle of a job,
// the ribbon running down, firmware frames and command-file commands.
#include <gtest/gtest.h>

#include "emulator/include/cardemu/printer.h"
#include "emulator/tests/ask.h"
#include "emulator/tests/streams.h"

using namespace cardemu;
using streams::ask;
using streams::esc;
using streams::flat;
using streams::kAckOnly;
using streams::kStatus;

namespace {

std::string nak(const char *twoDigits) { return std::string("\x15") + twoDigits + "\x04"; }

bool frontBox(int line, int dot) { return line >= 100 && line < 200 && dot >= 50 && dot < 100; }
bool backBox(int line, int dot) { return line >= 600 && line < 700 && dot >= 300 && dot < 400; }

int valueAt(const CardSide &side, PanelKind kind, int x, int y) {
  for (const auto &p : side.panels)
    if (p.kind == kind && p.image) return (*p.image)[static_cast<size_t>(x + y * kCardWidth)];
  return -1;
}

// Header of a two-sided YMCKO job in the layout with colour, black and
// overlay on both sides.
std::string twoSidedHeader() { return streams::ymckoHeader("JOB 1"); }

}  // namespace

TEST(Memory, AFurtherCopyPrintsEachSidesOwnImages) {
  Printer p;
  // First copy: front colour, black and full overlay; the flip; back the same
  // with its own pictures; out.  The further copy (L0 IS012 K10c FV MF L1
  // IS012 K10c BV, then the eject) prints from memory.
  const std::string front =
      streams::ymc(flat(5), flat(6), flat(7)) + streams::resin(frontBox) + esc("I 10") + esc("vF") + esc("IV 30");
  const std::string back = esc("MF") + streams::ymc(flat(20), flat(21), flat(22)) + streams::resin(backBox) +
                           esc("I 10") + esc("vF") + esc("IV 30") + esc("MO");
  const std::string copy = esc("IS 0") + esc("IS 1") + esc("IS 2") + esc("I 10") + esc("IV 30") + esc("MF") +
                           esc("IS 0") + esc("IS 1") + esc("IS 2") + esc("I 10") + esc("IV 30") + esc("MO");
  ASSERT_EQ(ask(p, twoSidedHeader() + front + back + copy), kAckOnly);
  auto cards = p.takeCards();
  ASSERT_EQ(cards.size(), 2u);
  for (const Card &c : cards) {
    ASSERT_EQ(c.sides[0].panels.size(), 5u);
    ASSERT_EQ(c.sides[1].panels.size(), 5u);
    EXPECT_EQ(valueAt(c.sides[0], PanelKind::kYellow, 10, 10), 5);
    EXPECT_EQ(valueAt(c.sides[0], PanelKind::kCyan, 10, 10), 7);
    EXPECT_EQ(valueAt(c.sides[1], PanelKind::kYellow, 10, 10), 20);
    EXPECT_EQ(valueAt(c.sides[1], PanelKind::kCyan, 10, 10), 22);
    // Line n is column 1023 - n of a bit image, dot d its row.
    EXPECT_EQ(valueAt(c.sides[0], PanelKind::kResinBlack, 923, 50), 1);
    EXPECT_EQ(valueAt(c.sides[0], PanelKind::kResinBlack, 423, 300), 0);
    EXPECT_EQ(valueAt(c.sides[1], PanelKind::kResinBlack, 423, 300), 1);
    EXPECT_EQ(valueAt(c.sides[1], PanelKind::kResinBlack, 923, 50), 0);
  }
  for (size_t s = 0; s < 2; ++s)
    for (size_t k = 0; k < 5; ++k) {
      EXPECT_EQ(cards[0].sides[s].panels[k].kind, cards[1].sides[s].panels[k].kind);
      EXPECT_EQ(*cards[0].sides[s].panels[k].image, *cards[1].sides[s].panels[k].image);
    }

  // A card turned before anything of it is loaded (as the laminating models
  // do) still starts in the first bank: its further copy, printed without the
  // turn, finds the front's planes.
  const std::string turnedFirst = esc("MF") + streams::ymc(flat(9), flat(9), flat(9)) + esc("MO") + esc("IS 0") +
                                  esc("IS 1") + esc("IS 2") + esc("MF") + esc("MO");
  ASSERT_EQ(ask(p, turnedFirst), kAckOnly);
  cards = p.takeCards();
  ASSERT_EQ(cards.size(), 2u);
  EXPECT_EQ(valueAt(cards[0].sides[1], PanelKind::kYellow, 0, 0), 9);
  EXPECT_EQ(valueAt(cards[1].sides[0], PanelKind::kYellow, 0, 0), 9);
}

TEST(NamedFaults, RaisedAndClearedMidJob) {
  struct Case {
    const char *option;
    int code;            // status table
    const char *digits;  // NAK reply
    const char *word;
    uint8_t lineBits;  // line status AND 0x28: 0x28 out of card or ribbon, 0x20 mechanical, 0 other
  };
  const Case cases[] = {
      {"cover-open@IS 1", 51, "51", "COVER OPEN", 0x20},      {"out-of-cards", 4, "04", "OUT OF CARD", 0x28},
      {"out-of-ribbon@IS 2", 1, "01", "OUT OF RIBBON", 0x28}, {"card-jam@MO", 3, "03", "MECHANICAL ERROR", 0x20},
      {"encoder", 49, "49", "ENCODING ERROR", 0x00},
  };
  // One-sided YMCKO card with a track, as the driver writes it.
  const std::string job = streams::ymckoHeader() + esc("&R") + esc("&B 1 ABC") + esc("&E*") +
                          streams::ymc(flat(1), flat(2), flat(3)) + streams::resin(frontBox) + esc("I 10") + esc("vF") +
                          esc("IV 30") + esc("MO");
  for (const Case &c : cases) {
    SCOPED_TRACE(c.option);
    FaultChoice fault;
    std::string problem;
    ASSERT_TRUE(parseFault(c.option, &fault, &problem)) << problem;
    EXPECT_EQ(fault.code, c.code);
    EXPECT_EQ(faultByName(fault.name), c.code);
    EXPECT_STREQ(statusWord(c.code), c.word);

    Printer p;
    p.injectFault(fault);
    ASSERT_EQ(p.write(job), static_cast<long>(job.size()));
    EXPECT_EQ(ask(p, ""), nak(c.digits));
    ASSERT_TRUE(p.lineStatus());
    EXPECT_EQ(*p.lineStatus() & 0x28, c.lineBits);
    EXPECT_NE(*p.lineStatus() & 0x38, 0x18);  // never "on line" while stopped
    EXPECT_TRUE(p.takeCards().empty());
    // The button alone does not help while the cause is still there.
    p.pressButton();
    if (fault.name != "card-jam" && fault.name != "encoder") {
      EXPECT_EQ(ask(p, ""), nak(c.digits));
    }

    p.clearFault();
    EXPECT_EQ(ask(p, ""), kAckOnly);
    EXPECT_EQ(p.lineStatus(), 0x18);
    auto cards = p.takeCards();
    ASSERT_EQ(cards.size(), 1u);
    EXPECT_EQ(cards[0].tracks[0], "ABC");
    EXPECT_EQ(cards[0].sides[0].panels.size(), 5u);  // nothing lost, nothing twice
  }

  FaultChoice fault;
  std::string problem;
  EXPECT_FALSE(parseFault("paper-jam", &fault, &problem));
  EXPECT_NE(problem.find("cover-open"), std::string::npos) << problem;
  EXPECT_FALSE(parseFault("encoder@", &fault, &problem));
  EXPECT_EQ(faultByName("unknown"), 0);
}

TEST(Ribbon, RemainingCountRunsDownToNoRibbon) {
  PrinterConfig cfg;
  cfg.ribbonCode = 2;  // YMCKO, a ribbon with a remaining count
  cfg.ribbonRemaining = 21;
  Printer p(cfg);
  const std::string card = esc("F") + esc("L 0 0 1023 639 1") + esc("I 30") + esc("MO");
  std::vector<std::string> counts;
  for (int i = 0; i < 21; ++i) {
    ASSERT_EQ(ask(p, card), kAckOnly) << i;
    counts.push_back(ask(p, esc("!RIBLEN")));
  }
  EXPECT_EQ(counts[0], "20\x06");
  EXPECT_EQ(counts[10], "10\x06");
  EXPECT_EQ(counts[15], "5\x06");
  EXPECT_EQ(counts[20], "0\x06");
  EXPECT_EQ(ask(p, esc("!RIBBON")), "0\x06");  // spent: no ribbon
  EXPECT_EQ(ask(p, card), nak("01"));
  EXPECT_EQ(p.takeCards().size(), 21u);

  // A fresh ribbon and the button: the held card is printed on it.
  p.loadRibbon(2, 50);
  p.pressButton();
  EXPECT_EQ(ask(p, esc("!RIBLEN")), "49\x06");
  EXPECT_EQ(p.takeCards().size(), 1u);
}

TEST(Firmware, FramesAreTakenAndRecorded) {
  // A file of 0x012345 bytes whose header marks printer firmware, sent as the
  // monitor sends it: the header, each size byte by itself, 4096-byte chunks,
  // the end marker, CR.
  std::string body(0x012345, '\x5A');
  body[14] = '\x3A';
  body[15] = '\xFF';
  Printer p;
  std::vector<std::string> pieces = {
      "\x1b"
      "DC ",
      streams::bytes({0x00}), streams::bytes({0x01}), streams::bytes({0x23}), streams::bytes({0x45})};
  for (size_t at = 0; at < body.size(); at += 4096) pieces.push_back(body.substr(at, 4096));
  pieces.push_back(streams::bytes({0xFF}));
  pieces.push_back("\r");
  for (const std::string &piece : pieces) ASSERT_EQ(p.write(piece), static_cast<long>(piece.size()));
  EXPECT_EQ(ask(p, ""), kAckOnly);
  auto frame = p.lastFirmwareFrame();
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->declaredSize, 0x012345u);
  EXPECT_EQ(frame->contentBytes, 0x012345u);
  ASSERT_TRUE(frame->content);
  EXPECT_EQ(std::string(frame->content->begin(), frame->content->end()), body);
  EXPECT_TRUE(frame->endMarker);
  EXPECT_EQ(frame->error, 0);
  EXPECT_EQ(p.state().firmwareDownloads, 1);
  EXPECT_EQ(p.state().lastFirmwareSize, 0x012345u);

  // A frame whose content is not followed by 0xFF is reported, and kept for
  // inspection, but not flashed.
  const std::string bad =
      "\x1b"
      "DC " +
      streams::bytes({0, 0, 0, 4}) + "ABCD" + streams::bytes({0x00, 0x0D});
  EXPECT_EQ(ask(p, bad), nak("60"));
  frame = p.lastFirmwareFrame();
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->declaredSize, 4u);
  EXPECT_FALSE(frame->endMarker);
  EXPECT_EQ(frame->error, 60);
  EXPECT_FALSE(frame->problem.empty());
  EXPECT_EQ(p.firmwareFrames(), 2u);
  EXPECT_EQ(p.state().firmwareDownloads, 1);
}

TEST(CommandFile, LinesAreAnsweredAsTheMonitorChecksThem) {
  Printer p;
  // Each line goes out as ESC + line + CR followed by the error report request.
  EXPECT_EQ(ask(p, esc("RESET")), kAckOnly);
  EXPECT_EQ(ask(p, esc("CLEAN")), nak("09"));  // the ribbon has to come out first
  EXPECT_STREQ(statusWord(9), "REMOVE RIBBON");
  p.removeRibbon();
  p.pressButton();
  EXPECT_EQ(ask(p, esc("CLEAN")), kAckOnly);
  EXPECT_EQ(p.state().cleanings, 1);
  // A reset clears an error even when its line comes while the printer is stopped.
  FaultChoice jam;
  ASSERT_TRUE(parseFault("card-jam", &jam, nullptr));
  p.injectFault(jam);
  EXPECT_EQ(ask(p, esc("+O 10")), nak("03"));
  EXPECT_EQ(ask(p, esc("RESET")), kAckOnly);
  EXPECT_EQ(ask(p, esc("+O 10")), kAckOnly);
}
