// The printer model: jobs as the driver writes them, answers, faults and the
// button, magnetic encoding, firmware, and the port's view.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

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

const std::string kNak04 = std::string("\x15") + "04" + "\x04";

// A resin-black rectangle: lines 100..199 (columns 923..824), dots 50..99.
bool resinBox(int line, int dot) { return line >= 100 && line < 200 && dot >= 50 && dot < 100; }

const AppliedPanel *find(const CardSide &side, PanelKind kind) {
  for (const auto &p : side.panels)
    if (p.kind == kind) return &p;
  return nullptr;
}

}  // namespace

TEST(Jobs, OneSidedYmckoCard) {
  Printer p;
  // The driver's one-sided YMCKO card without black content: planes, then the
  // K panel skipped, then the card put out.
  const std::string job =
      streams::ymckoHeader() + streams::ymc(flat(1), flat(2), flat(3)) + esc("F") + esc("!FF 1") + esc("MO");
  EXPECT_EQ(p.write(job), static_cast<long>(job.size()));
  EXPECT_EQ(p.readAll(), "");  // nothing is answered unless asked
  EXPECT_EQ(ask(p, ""), kAckOnly);

  PrinterState s = p.state();
  EXPECT_EQ(s.error, 0);
  EXPECT_FALSE(s.cardInPrinter);
  EXPECT_EQ(s.cardsOut, 1u);
  EXPECT_EQ(s.panelsPrinted, 3u);
  EXPECT_EQ(s.ribbonRemaining, 249);
  EXPECT_TRUE(s.inJob);
  EXPECT_EQ(s.settings.at("JOB"), 0);
  EXPECT_EQ(s.settings.at("+$C 0"), 5);
  EXPECT_EQ(s.settings.at("+$L 2"), 10);
  EXPECT_EQ(s.settings.at("+C"), 11);
  EXPECT_EQ(s.settings.at("+CV"), 12);

  auto cards = p.takeCards();
  ASSERT_EQ(cards.size(), 1u);
  const Card &c = cards[0];
  EXPECT_EQ(c.number, 1u);
  ASSERT_EQ(c.sides[0].panels.size(), 3u);
  EXPECT_EQ(c.sides[0].panels[0].kind, PanelKind::kYellow);
  EXPECT_EQ(c.sides[0].panels[1].kind, PanelKind::kMagenta);
  EXPECT_EQ(c.sides[0].panels[2].kind, PanelKind::kCyan);
  EXPECT_EQ((*c.sides[0].panels[2].image)[0], 3);
  EXPECT_EQ(c.sides[0].skipped, 1);
  EXPECT_TRUE(c.sides[1].panels.empty());
  EXPECT_EQ(c.flips, 0);
  EXPECT_FALSE(c.encoded);

  // The same card with resin black and a varnish area; a further copy reuses
  // the loaded images.
  const std::string job2 = streams::ymckoHeader() + streams::ymc(flat(0), flat(0), flat(0)) + streams::resin(resinBox) +
                           esc("I 10") + esc("vF") + esc("vL 100 50 200 100 1") + esc("IV 31") + esc("MO") +
                           esc("IS 0") + esc("IS 1") + esc("IS 2") + esc("MO");
  EXPECT_EQ(p.write(job2), static_cast<long>(job2.size()));
  EXPECT_EQ(p.state().error, 0);
  cards = p.takeCards();
  ASSERT_EQ(cards.size(), 2u);
  const auto *k = find(cards[0].sides[0], PanelKind::kResinBlack);
  ASSERT_TRUE(k && k->image);
  EXPECT_EQ((*k->image)[923 + 50 * kCardWidth], 1);
  EXPECT_EQ((*k->image)[824 + 99 * kCardWidth], 1);
  EXPECT_EQ((*k->image)[924 + 50 * kCardWidth], 0);
  EXPECT_EQ((*k->image)[923 + 100 * kCardWidth], 0);
  const auto *v = find(cards[0].sides[0], PanelKind::kVarnish);
  ASSERT_TRUE(v && v->image);
  EXPECT_EQ((*v->image)[100 + 50 * kCardWidth], 1);
  EXPECT_EQ((*v->image)[300 + 150 * kCardWidth], 1);  // both ends of the area are inside
  EXPECT_EQ((*v->image)[301 + 150 * kCardWidth], 0);
  EXPECT_EQ((*v->image)[99 + 50 * kCardWidth], 0);
  EXPECT_EQ(cards[1].sides[0].panels.size(), 3u);
  EXPECT_EQ(p.state().ribbonRemaining, 247);
}

TEST(Jobs, TwoSidedFrontYmcoBackK) {
  Printer p;
  // Layout "Front YMCO, Back K": front page the three planes; back page flips,
  // prints the resin black, flips back, varnishes the front, puts out.
  const std::string job = streams::ymckoHeader("JOB 2") + streams::ymc(flat(4), flat(0), flat(0)) + esc("MF") +
                          streams::resin(resinBox) + esc("I 30") + esc("MF") + esc("vF") + esc("IV 30") + esc("MO");
  EXPECT_EQ(p.write(job), static_cast<long>(job.size()));
  EXPECT_EQ(ask(p, ""), kAckOnly);
  auto cards = p.takeCards();
  ASSERT_EQ(cards.size(), 1u);
  const Card &c = cards[0];
  ASSERT_EQ(c.sides[0].panels.size(), 4u);
  EXPECT_EQ(c.sides[0].panels[3].kind, PanelKind::kVarnish);
  EXPECT_EQ(std::count(c.sides[0].panels[3].image->begin(), c.sides[0].panels[3].image->end(), 1), kCardDots);
  ASSERT_EQ(c.sides[1].panels.size(), 1u);
  EXPECT_EQ(c.sides[1].panels[0].kind, PanelKind::kResinBlack);
  EXPECT_EQ(c.flips, 2);
  EXPECT_EQ(c.finalSide, 0);
  EXPECT_EQ(p.state().ribbonRemaining, 249);  // one ribbon set per card, both sides

  // A printer without a flipper does not know the flip.
  PrinterConfig one;
  one.model = "CA1";
  Printer single(one);
  EXPECT_EQ(ask(single, esc("JOB 1")), std::string("\x15") + "40\x04");
  single.pressButton();
  EXPECT_EQ(ask(single, esc("MF")), std::string("\x15") + "10\x04");
}

TEST(Jobs, EncodeOnlyCard) {
  Printer p;
  // Encode-only: header, encoder part ending in an eject, then the side's eject.
  const std::string job = esc("MASTER") + esc("JOB 0") + esc("SXY 1") + esc("&R") + esc("&B 1 JOHN DOE^1234") +
                          esc("&B 2 1234567890=12") + esc("&B 3 99") + esc("&E*") + esc("MO") + esc("MO");
  EXPECT_EQ(p.write(job), static_cast<long>(job.size()));
  EXPECT_EQ(ask(p, ""), kAckOnly);
  auto cards = p.takeCards();
  ASSERT_EQ(cards.size(), 1u);  // the second eject finds no card
  EXPECT_TRUE(cards[0].encoded);
  EXPECT_EQ(cards[0].tracks[0], "JOHN DOE^1234");
  EXPECT_EQ(cards[0].tracks[1], "1234567890=12");
  EXPECT_EQ(cards[0].tracks[2], "99");
  EXPECT_TRUE(cards[0].sides[0].panels.empty());
  EXPECT_EQ(p.state().ribbonRemaining, 250);  // no panel, no ribbon used

  // Further copies send the tracks without "\e&R"; the read-back gives them.
  EXPECT_EQ(ask(p, esc("&B 1 ABC") + esc("&E*")), kAckOnly);
  EXPECT_EQ(ask(p, esc("&L1")), "ABC\x06");
  EXPECT_EQ(ask(p, esc("&L2")), std::string("\x15") + "45\x04");  // blank track
}

TEST(Answers, QueriesGiveTheirValueWithTheStatusRequest) {
  PrinterConfig cfg;
  cfg.model = "QA5";
  cfg.smartCard = "0iD";
  cfg.serial = "SN42";
  cfg.ribbonCode = 22;
  cfg.ribbonRemaining = 20;
  Printer p(cfg);
  EXPECT_EQ(p.state().modelText, "QA5 0iD MAG V3.02");
  EXPECT_EQ(ask(p, esc("V")), "QA5 0iD MAG V3.02\x06");
  EXPECT_EQ(ask(p, esc("!RIBBON")), "22\x06");
  EXPECT_EQ(ask(p, esc("!RIBLEN")), "20\x06");
  EXPECT_EQ(ask(p, esc("%SERIE")), "SN42\x06");
  EXPECT_EQ(ask(p, esc("!V 20")), "1 \x06");
  EXPECT_EQ(ask(p, esc("!V 15")), "1250 \x06");
  EXPECT_EQ(ask(p, esc("+O 12\r\x1b+OY 3\r\x1b+OB 0\r\x1b+OYB 48")), kAckOnly);  // "Set Offsets" as one write
  EXPECT_EQ(ask(p, esc("!V 1")), "12 \x06");
  EXPECT_EQ(ask(p, esc("!V 2")), "3 \x06");
  EXPECT_EQ(ask(p, esc("!V 24")), "48 \x06");
  EXPECT_EQ(ask(p, esc("!V 25")), "0 \x06");
  EXPECT_EQ(ask(p, esc("!NL")), "!0 PANELS\x06");
  EXPECT_EQ(ask(p, esc("ATM 1 1")), "0\x06");
  EXPECT_EQ(ask(p, esc("FS 1") + esc("ATM 1")), kAckOnly);
  EXPECT_EQ(ask(p, esc("ATM 1 1")), "1\x06");
  // A value goes with the next status request only.
  EXPECT_EQ(ask(p, esc("V") + esc("SLAVE")), kAckOnly);
  EXPECT_EQ(ask(p, ""), kAckOnly);
  // Unknown command, out-of-range parameter, sloppy spacing.
  EXPECT_EQ(ask(p, esc("XYZZY")), std::string("\x15") + "10\x04");
  p.pressButton();
  EXPECT_EQ(ask(p, esc("+O 49")), std::string("\x15") + "40\x04");
  p.pressButton();
  EXPECT_EQ(ask(p, esc("!V 99")), std::string("\x15") + "40\x04");
  p.pressButton();
  EXPECT_EQ(ask(p, esc("+C  5")), std::string("\x15") + "11\x04");
  p.pressButton();
  p.readAll();
  p.write(esc("E 3"));
  EXPECT_EQ(p.readAll(), std::string("\x15") + "40\x04");
}

TEST(Faults, ErrorMidJobStopsAndTheButtonResumes) {
  Printer p;
  p.injectErrorAt(err::kOutOfCard, "IS 1");
  const std::string job =
      streams::ymckoHeader() + streams::ymc(flat(1), flat(2), flat(3)) + esc("F") + esc("!FF 1") + esc("MO");
  EXPECT_EQ(p.write(job), static_cast<long>(job.size()));
  // NAK "0" "4" EOT, and the line status shows media out.
  EXPECT_EQ(ask(p, ""), kNak04);
  EXPECT_EQ(p.lineStatus(), 0x38);
  PrinterState s = p.state();
  EXPECT_EQ(s.error, err::kOutOfCard);
  EXPECT_TRUE(s.cardInPrinter);
  EXPECT_EQ(s.panelsPrinted, 1u);
  EXPECT_GT(s.heldCommands, 0u);
  EXPECT_TRUE(p.takeCards().empty());
  // Queries still answer with the error.
  EXPECT_EQ(ask(p, esc("!RIBBON")), kNak04);

  p.pressButton();
  EXPECT_EQ(p.lineStatus(), 0x18);
  EXPECT_EQ(ask(p, ""), kAckOnly);
  auto cards = p.takeCards();
  ASSERT_EQ(cards.size(), 1u);
  ASSERT_EQ(cards[0].sides[0].panels.size(), 3u);
  EXPECT_EQ(cards[0].sides[0].panels[1].kind, PanelKind::kMagenta);  // the failed command ran again
}

TEST(Faults, ConditionsOfThePrinter) {
  PrinterConfig cfg;
  cfg.feederCards = 1;
  Printer p(cfg);
  const std::string card = esc("F") + esc("L 0 0 1023 639 1") + esc("I 30") + esc("MO");
  EXPECT_EQ(ask(p, card), kAckOnly);
  EXPECT_EQ(ask(p, card), kNak04);
  p.pressButton();  // still no cards: stops again
  EXPECT_EQ(p.state().error, err::kOutOfCard);
  p.setFeederCards(5);
  p.pressButton();
  EXPECT_EQ(p.state().error, 0);
  EXPECT_EQ(p.state().cardsOut, 2u);
  EXPECT_EQ(p.state().feederCards, 4);

  // Cover open: stopped at once, mechanical in the status byte; the button does
  // nothing while it is open.
  p.setCoverOpen(true);
  EXPECT_EQ(p.lineStatus(), 0x30);
  EXPECT_EQ(ask(p, ""), std::string("\x15") + "51\x04");
  p.pressButton();
  EXPECT_EQ(p.state().error, err::kCoverOpen);
  p.setCoverOpen(false);
  p.pressButton();
  EXPECT_EQ(p.lineStatus(), 0x18);

  // Ribbon removed: reported as code 0, printing stops with out of ribbon;
  // cleaning wants it removed.
  EXPECT_EQ(ask(p, esc("CLEAN")), std::string("\x15") + "09\x04");
  p.forceClear();
  p.removeRibbon();
  EXPECT_EQ(ask(p, esc("!RIBBON")), "0\x06");
  EXPECT_EQ(ask(p, esc("CLEAN")), kAckOnly);
  EXPECT_EQ(p.state().cleanings, 1);
  EXPECT_EQ(ask(p, card), std::string("\x15") + "01\x04");
  EXPECT_EQ(p.lineStatus(), 0x38);
  p.loadRibbon(7, 1);  // resin black only, one card left
  p.pressButton();
  EXPECT_EQ(p.state().cardsOut, 3u);
  EXPECT_EQ(ask(p, card), std::string("\x15") + "01\x04");  // used up
  p.forceClear();
  EXPECT_EQ(ask(p, esc("!RIBBON")), "0\x06");  // a spent ribbon is no ribbon
  p.loadRibbon(7, 5);
  EXPECT_EQ(ask(p, streams::plane(0, flat(1)) + esc("IS 0")), std::string("\x15") + "35\x04");  // no colour panel

  // Command errors: syntax in the status byte; a reset clears them.
  p.forceClear();
  EXPECT_EQ(ask(p, esc("IS 7")), std::string("\x15") + "40\x04");
  EXPECT_EQ(p.lineStatus(), 0x10);
  p.write(esc("R"));
  EXPECT_EQ(p.lineStatus(), 0x18);

  // Injected by count: the second command from now.
  p.injectErrorAfter(err::kMechanical, 2);
  EXPECT_EQ(ask(p, esc("SXY 1")), kAckOnly);
  EXPECT_EQ(ask(p, esc("SXY 1")), std::string("\x15") + "03\x04");
  p.pressButton();
  EXPECT_EQ(p.state().error, 0);
}

TEST(Faults, ThePortsView) {
  PrinterConfig cfg;
  cfg.receiveLimit = 1000;
  Printer p(cfg);
  EXPECT_EQ(p.lineStatus(), 0x18);
  EXPECT_EQ(p.networkStatus(), 0x58);
  auto poll = p.statusPollReply();
  ASSERT_EQ(poll.size(), 12u);
  EXPECT_EQ(poll[0], kAck);
  EXPECT_EQ(poll[10], 0x58);
  EXPECT_EQ(poll[11], kEot);

  // While stopped, the printer holds commands up to its buffer and then takes no more.
  p.injectError(err::kHeadOpen);
  const std::string many = [] {
    std::string s;
    for (int i = 0; i < 200; ++i) s += esc("SXY 1");
    return s;
  }();
  const long taken = p.write(many);
  EXPECT_GT(taken, 0);
  EXPECT_LT(taken, static_cast<long>(many.size()));
  p.pressButton();
  EXPECT_EQ(p.write(many.substr(static_cast<size_t>(taken))), static_cast<long>(many.size()) - taken);

  // Silent: takes and runs commands but says nothing.
  p.setSilent(true);
  EXPECT_EQ(ask(p, esc("V")), "");
  p.setSilent(false);
  // Stalled: takes nothing.
  p.setStalled(true);
  EXPECT_EQ(p.write(esc("V")), 0);
  p.setStalled(false);
  // Disconnected: everything fails.
  p.setConnected(false);
  EXPECT_EQ(p.write(esc("V")), -1);
  uint8_t b;
  EXPECT_EQ(p.read(&b, 1), -1);
  EXPECT_FALSE(p.lineStatus());
  p.setConnected(true);
  EXPECT_EQ(ask(p, esc("V")), "CA3 MAG V3.02\x06");

  // An interface reset in the middle of an image block drops it.
  const std::string head = "\x1bGS 0 32 0 0 1024 640 " + std::string(1000, '\0');
  p.write(head);
  p.softReset();
  EXPECT_EQ(ask(p, esc("IS 0")), std::string("\x15") + "54\x04");  // nothing was loaded
}

TEST(Magnetic, FormatsDensitiesAndData) {
  Printer p;
  const std::string nak40 = std::string("\x15") + "40\x04";
  // Track 1 holds 76 alphanumeric characters, track 2 37 digits, track 3 104.
  EXPECT_EQ(ask(p, esc("&B 1 " + std::string(76, 'A'))), kAckOnly);
  EXPECT_EQ(ask(p, esc("&B 1 " + std::string(77, 'A'))), nak40);
  p.pressButton();
  EXPECT_EQ(ask(p, esc("&B 2 " + std::string(37, '1'))), kAckOnly);
  EXPECT_EQ(ask(p, esc("&B 2 " + std::string(38, '1'))), nak40);
  p.pressButton();
  EXPECT_EQ(ask(p, esc("&B 3 " + std::string(104, '2'))), kAckOnly);
  EXPECT_EQ(ask(p, esc("&B 2 12A")), nak40);  // letters do not fit a numeric track
  p.pressButton();
  EXPECT_EQ(ask(p, esc("&B 1 50%")), nak40);  // "%" is the encoder's own start sentinel
  p.pressButton();

  // Format set-up as the encoder settings send it.
  EXPECT_EQ(
      ask(p, esc("&W 0") + esc("&C 1") + esc("&CDEW 1 A") + esc("&CDER 1 Q") + esc("&CDEW 2 b1") + esc("&CDER 2 r1") +
                 esc("&CDEW 3 E_5") + esc("&CDER 3 U_5") + esc("&D 1 210") + esc("&D 2 75") + esc("&D 3 75")),
      kAckOnly);
  PrinterState s = p.state();
  EXPECT_EQ(s.writeFormat[1], "b1");
  EXPECT_EQ(s.readFormat[2], "U_5");
  EXPECT_EQ(s.settings.at("&D 3"), 75);
  EXPECT_EQ(s.settings.at("&C"), 1);
  // Track 2 is now alphanumeric at 75 bpi: 27 characters.
  EXPECT_EQ(ask(p, esc("&B 2 ABC")), kAckOnly);
  EXPECT_EQ(ask(p, esc("&B 2 " + std::string(28, 'A'))), nak40);
  p.pressButton();
  EXPECT_EQ(ask(p, esc("&CDEW 2 R")), nak40);  // a read format as write format
  p.pressButton();
  EXPECT_EQ(ask(p, esc("&D 1 100")), nak40);
  p.pressButton();

  // Without an encoder the printer reports a magnetic error.
  PrinterConfig none;
  none.encoder = false;
  Printer plain(none);
  EXPECT_EQ(ask(plain, esc("!V 20")), "0 \x06");
  EXPECT_EQ(ask(plain, esc("&R")), std::string("\x15") + "44\x04");
}

TEST(Maintenance, FirmwareTestCardsAndLamination) {
  auto image = [](size_t size, uint8_t b14, uint8_t b15, bool tag) {
    std::string body(size, '\x11');
    body[14] = static_cast<char>(b14);
    body[15] = static_cast<char>(b15);
    if (tag) body.replace(277, 4, "LLX3");
    return "\x1b"
           "DC " +
           streams::bytes(
               {0, static_cast<int>(size >> 16), static_cast<int>((size >> 8) & 0xFF), static_cast<int>(size & 0xFF)}) +
           body + streams::bytes({0xFF, 0x0D});
  };
  Printer p;
  EXPECT_EQ(ask(p, image(1000, 0x3A, 0xFF, false)), kAckOnly);
  EXPECT_EQ(p.state().firmwareDownloads, 1);
  EXPECT_EQ(p.state().lastFirmware, "printer");
  EXPECT_EQ(p.state().lastFirmwareSize, 1000u);
  // Laminator firmware on a printer without laminator, and an image of neither kind.
  EXPECT_EQ(ask(p, image(1000, 0xFF, 0x12, false)), std::string("\x15") + "60\x04");
  p.pressButton();
  EXPECT_EQ(ask(p, image(1000, 0xFF, 0xFF, false)), std::string("\x15") + "60\x04");
  p.pressButton();
  PrinterConfig lx;
  lx.model = "LX3";
  Printer lam(lx);
  EXPECT_EQ(ask(lam, image(1000, 0xFF, 0xFF, true)), kAckOnly);
  EXPECT_EQ(lam.state().lastFirmware, "laminator");

  // Lamination selection goes with the card.
  EXPECT_EQ(ask(lam, esc("MASTER") + esc("+DLAMI 1 0") + esc("F") + esc("I 30") + esc("MO")), kAckOnly);
  auto cards = lam.takeCards();
  ASSERT_EQ(cards.size(), 1u);
  EXPECT_EQ(cards[0].lamination, "1 0");
  EXPECT_EQ(ask(p, esc("+DLAMI 1 0")), std::string("\x15") + "10\x04");
  p.pressButton();

  // Test card: printed and put out at once; heat table set-up.
  EXPECT_EQ(ask(p, esc("A 1") + esc("HTABLE 3 0")), kAckOnly);
  cards = p.takeCards();
  ASSERT_EQ(cards.size(), 1u);
  EXPECT_EQ(cards[0].testCard, "printer parameters");
  EXPECT_FALSE(cards[0].sides[0].panels.empty());
  EXPECT_EQ(p.state().settings.at("HTABLE"), 3);
  EXPECT_EQ(ask(p, esc("HTABLE 5 0")), std::string("\x15") + "40\x04");
}

TEST(Ribbons, PanelsFollowTheInstalledRibbon) {
  auto run = [](int ribbon, const std::string &job) {
    PrinterConfig cfg;
    cfg.ribbonCode = ribbon;
    Printer p(cfg);
    EXPECT_EQ(ask(p, job), kAckOnly) << ribbon;
    auto cards = p.takeCards();
    EXPECT_EQ(cards.size(), 1u) << ribbon;
    return cards.empty() ? Card{} : cards[0];
  };
  // Hologram in a selected area of a rotated record (left 100, top 50, right
  // 300, bottom 150): the whole image cleared, then the area set.
  Card c = run(
      19, esc("+CH 7") + esc("F") + esc("L 0 0 1023 639 0") + esc("L 723 489 200 100 1") + esc("IH 31") + esc("MO"));
  ASSERT_EQ(c.sides[0].panels.size(), 1u);
  const AppliedPanel &h = c.sides[0].panels[0];
  EXPECT_EQ(h.kind, PanelKind::kHologram);
  EXPECT_EQ(std::count(h.image->begin(), h.image->end(), 1), 201 * 101);
  EXPECT_EQ((*h.image)[723 + 489 * kCardWidth], 1);
  EXPECT_EQ((*h.image)[923 + 589 * kCardWidth], 1);

  // Hologram bitmap, run-length coded, all zero bits with polarity 0: the whole card.
  std::string rle;
  for (int k = 0; k < 645; ++k) rle += streams::bytes({0xFF, 0x00});
  rle += streams::bytes({0x85, 0x00});
  c = run(19, esc("+CH 7") + esc("MASTER") + esc("F") + esc("G 0 0 12 640 1024 0") + "\x1bZ" + rle + "\r" +
                  esc("IH 31") + esc("MO"));
  ASSERT_EQ(c.sides[0].panels.size(), 1u);
  EXPECT_EQ(std::count(c.sides[0].panels[0].image->begin(), c.sides[0].panels[0].image->end(), 1), kCardDots);

  // Clear varnish ribbon: the card is moved in, the varnish printed through the resin image.
  c = run(21, streams::resin(resinBox) + esc("MI") + esc("IV") + esc("MO"));
  ASSERT_EQ(c.sides[0].panels.size(), 1u);
  EXPECT_EQ(c.sides[0].panels[0].kind, PanelKind::kClearVarnish);
  EXPECT_EQ(std::count(c.sides[0].panels[0].image->begin(), c.sides[0].panels[0].image->end(), 1), 100 * 50);

  // Scratch-off and ultraviolet take the places of resin black and varnish.
  c = run(18, streams::resin(resinBox) + esc("I 30") + esc("MO"));
  EXPECT_EQ(c.sides[0].panels.at(0).kind, PanelKind::kScratchOff);
  c = run(22, esc("vF") + esc("vL 0 0 1023 230 0") + esc("IV 31") + esc("MO"));
  EXPECT_EQ(c.sides[0].panels.at(0).kind, PanelKind::kUltraviolet);

  // Pass-through copy: in, over, out, nothing printed.
  c = run(2, esc("MI") + esc("MF") + esc("MO"));
  EXPECT_TRUE(c.sides[0].panels.empty());
  EXPECT_EQ(c.flips, 1);
  EXPECT_EQ(c.finalSide, 1);
}

TEST(Pieces, AJobInAnyPiecesGivesTheSameCardsAndAnswers) {
  const std::string job = esc("V") + kStatus + streams::ymckoHeader("JOB 2") +
                          streams::ymc([](int l, int d) { return (l + d) % 32; }, flat(0), flat(9)) + kStatus +
                          esc("&R") + esc("&B 1 PIECE^BY PIECE") + esc("&E*") + esc("MF") + kStatus +
                          streams::resin(resinBox) + esc("I 30") + esc("MF") + esc("vF") + esc("vL 1 2 3 4 1") +
                          esc("IV 31") + esc("MO") + esc("!NL") + kStatus + esc("WRONG") + kStatus;
  struct Result {
    std::string answers;
    std::vector<std::string> summaries;
    std::vector<std::vector<uint8_t>> images;
    uint64_t commands;
  };
  auto run = [&](const std::function<size_t(size_t)> &piece) {
    Printer p;
    Result r;
    for (size_t at = 0; at < job.size();) {
      const size_t n = std::min(piece(at), job.size() - at);
      const long taken = p.write(reinterpret_cast<const uint8_t *>(job.data()) + at, n);
      EXPECT_EQ(taken, static_cast<long>(n));
      at += n;
      r.answers += p.readAll();  // a port reads as it goes
    }
    for (const Card &c : p.takeCards()) {
      r.summaries.push_back(c.summary());
      for (const auto &side : c.sides)
        for (const auto &panel : side.panels) r.images.push_back(*panel.image);
    }
    r.commands = p.state().commands;
    return r;
  };
  const Result whole = run([&](size_t) { return job.size(); });
  EXPECT_EQ(whole.answers, std::string("CA3 MAG V3.02\x06\x06\x06!5 PANELS\x06\x15") + "10\x04");
  ASSERT_EQ(whole.summaries.size(), 1u);
  EXPECT_EQ(whole.images.size(), 5u);
  std::mt19937 rng(7);
  const std::vector<std::pair<const char *, std::function<size_t(size_t)>>> ways = {
      {"bytes", [](size_t) { return size_t{1}; }},
      {"4096", [](size_t) { return size_t{4096}; }},
      {"random", [&](size_t) { return size_t{1} + rng() % 3000; }},
      {"odd", [](size_t at) { return at % 7 + 1; }},
  };
  for (const auto &[name, piece] : ways) {
    const Result r = run(piece);
    EXPECT_EQ(r.answers, whole.answers) << name;
    EXPECT_EQ(r.summaries, whole.summaries) << name;
    EXPECT_TRUE(r.images == whole.images) << name;
    EXPECT_EQ(r.commands, whole.commands) << name;
  }
}

TEST(Threads, APortAndAStatusReaderAtOnce) {
  Printer p;
  std::atomic<bool> done{false};
  std::thread reader([&] {
    while (!done) {
      const auto line = p.lineStatus();
      EXPECT_TRUE(line == 0x18 || line == 0x38);
      (void)p.state();
    }
  });
  p.injectErrorAt(err::kOutOfRibbon, "IS 2");
  const std::string job = streams::ymckoHeader() + streams::ymc(flat(1), flat(2), flat(3)) + esc("MO");
  for (size_t at = 0; at < job.size(); at += 4096) p.write(job.substr(at, 4096));
  p.pressButton();
  done = true;
  reader.join();
  EXPECT_EQ(p.takeCards().size(), 1u);
}
