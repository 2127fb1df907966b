// The printer model: jobs as the driver writes them, answers, faults and the
// button, magnetic encoding, firmware, and the port's view.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

#include "emulator/include/cardemu/printer.h"
#include "emulator/tests/streams.h"

using namespace cardemu;
using streams::Esc;

namespace {

const std::string kStatus = Esc("E 2");
const std::string kAckOnly = "\x06";
const std::string kNak04 = std::string("\x15") + "04" + "\x04";

std::string Ask(Printer &p, const std::string &command) {
  p.ReadAll();
  EXPECT_EQ(p.Write(command + kStatus), static_cast<long>(command.size() + kStatus.size()));
  return p.ReadAll();
}

auto Flat(int v) {
  return [v](int, int) { return v; };
}

// A resin-black rectangle: lines 100..199 (columns 923..824), dots 50..99.
bool ResinBox(int line, int dot) { return line >= 100 && line < 200 && dot >= 50 && dot < 100; }

const AppliedPanel *Find(const CardSide &side, PanelKind kind) {
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
      streams::YmckoHeader() + streams::Ymc(Flat(1), Flat(2), Flat(3)) + Esc("F") + Esc("!FF 1") + Esc("MO");
  EXPECT_EQ(p.Write(job), static_cast<long>(job.size()));
  EXPECT_EQ(p.ReadAll(), "");  // nothing is answered unless asked
  EXPECT_EQ(Ask(p, ""), kAckOnly);

  PrinterState s = p.State();
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

  auto cards = p.TakeCards();
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
  const std::string job2 = streams::YmckoHeader() + streams::Ymc(Flat(0), Flat(0), Flat(0)) + streams::Resin(ResinBox) +
                           Esc("I 10") + Esc("vF") + Esc("vL 100 50 200 100 1") + Esc("IV 31") + Esc("MO") +
                           Esc("IS 0") + Esc("IS 1") + Esc("IS 2") + Esc("MO");
  EXPECT_EQ(p.Write(job2), static_cast<long>(job2.size()));
  EXPECT_EQ(p.State().error, 0);
  cards = p.TakeCards();
  ASSERT_EQ(cards.size(), 2u);
  const auto *k = Find(cards[0].sides[0], PanelKind::kResinBlack);
  ASSERT_TRUE(k && k->image);
  EXPECT_EQ((*k->image)[923 + 50 * kCardWidth], 1);
  EXPECT_EQ((*k->image)[824 + 99 * kCardWidth], 1);
  EXPECT_EQ((*k->image)[924 + 50 * kCardWidth], 0);
  EXPECT_EQ((*k->image)[923 + 100 * kCardWidth], 0);
  const auto *v = Find(cards[0].sides[0], PanelKind::kVarnish);
  ASSERT_TRUE(v && v->image);
  EXPECT_EQ((*v->image)[100 + 50 * kCardWidth], 1);
  EXPECT_EQ((*v->image)[300 + 150 * kCardWidth], 1);  // both ends of the area are inside
  EXPECT_EQ((*v->image)[301 + 150 * kCardWidth], 0);
  EXPECT_EQ((*v->image)[99 + 50 * kCardWidth], 0);
  EXPECT_EQ(cards[1].sides[0].panels.size(), 3u);
  EXPECT_EQ(p.State().ribbonRemaining, 247);
}

TEST(Jobs, TwoSidedFrontYmcoBackK) {
  Printer p;
  // Layout "Front YMCO, Back K": front page the three planes; back page flips,
  // prints the resin black, flips back, varnishes the front, puts out.
  const std::string job = streams::YmckoHeader("JOB 2") + streams::Ymc(Flat(4), Flat(0), Flat(0)) + Esc("MF") +
                          streams::Resin(ResinBox) + Esc("I 30") + Esc("MF") + Esc("vF") + Esc("IV 30") + Esc("MO");
  EXPECT_EQ(p.Write(job), static_cast<long>(job.size()));
  EXPECT_EQ(Ask(p, ""), kAckOnly);
  auto cards = p.TakeCards();
  ASSERT_EQ(cards.size(), 1u);
  const Card &c = cards[0];
  ASSERT_EQ(c.sides[0].panels.size(), 4u);
  EXPECT_EQ(c.sides[0].panels[3].kind, PanelKind::kVarnish);
  EXPECT_EQ(std::count(c.sides[0].panels[3].image->begin(), c.sides[0].panels[3].image->end(), 1), kCardDots);
  ASSERT_EQ(c.sides[1].panels.size(), 1u);
  EXPECT_EQ(c.sides[1].panels[0].kind, PanelKind::kResinBlack);
  EXPECT_EQ(c.flips, 2);
  EXPECT_EQ(c.finalSide, 0);
  EXPECT_EQ(p.State().ribbonRemaining, 249);  // one ribbon set per card, both sides

  // A printer without a flipper does not know the flip.
  PrinterConfig one;
  one.model = "CA1";
  Printer single(one);
  EXPECT_EQ(Ask(single, Esc("JOB 1")), std::string("\x15") + "40\x04");
  single.PressButton();
  EXPECT_EQ(Ask(single, Esc("MF")), std::string("\x15") + "10\x04");
}

TEST(Jobs, EncodeOnlyCard) {
  Printer p;
  // Encode-only: header, encoder part ending in an eject, then the side's eject.
  const std::string job = Esc("MASTER") + Esc("JOB 0") + Esc("SXY 1") + Esc("&R") + Esc("&B 1 JOHN DOE^1234") +
                          Esc("&B 2 1234567890=12") + Esc("&B 3 99") + Esc("&E*") + Esc("MO") + Esc("MO");
  EXPECT_EQ(p.Write(job), static_cast<long>(job.size()));
  EXPECT_EQ(Ask(p, ""), kAckOnly);
  auto cards = p.TakeCards();
  ASSERT_EQ(cards.size(), 1u);  // the second eject finds no card
  EXPECT_TRUE(cards[0].encoded);
  EXPECT_EQ(cards[0].tracks[0], "JOHN DOE^1234");
  EXPECT_EQ(cards[0].tracks[1], "1234567890=12");
  EXPECT_EQ(cards[0].tracks[2], "99");
  EXPECT_TRUE(cards[0].sides[0].panels.empty());
  EXPECT_EQ(p.State().ribbonRemaining, 250);  // no panel, no ribbon used

  // Further copies send the tracks without "\e&R"; the read-back gives them.
  EXPECT_EQ(Ask(p, Esc("&B 1 ABC") + Esc("&E*")), kAckOnly);
  EXPECT_EQ(Ask(p, Esc("&L1")), "ABC\x06");
  EXPECT_EQ(Ask(p, Esc("&L2")), std::string("\x15") + "45\x04");  // blank track
}

TEST(Answers, QueriesGiveTheirValueWithTheStatusRequest) {
  PrinterConfig cfg;
  cfg.model = "QA5";
  cfg.smartCard = "0iD";
  cfg.serial = "SN42";
  cfg.ribbonCode = 22;
  cfg.ribbonRemaining = 20;
  Printer p(cfg);
  EXPECT_EQ(p.State().modelText, "QA5 0iD MAG V3.02");
  EXPECT_EQ(Ask(p, Esc("V")), "QA5 0iD MAG V3.02\x06");
  EXPECT_EQ(Ask(p, Esc("!RIBBON")), "22\x06");
  EXPECT_EQ(Ask(p, Esc("!RIBLEN")), "20\x06");
  EXPECT_EQ(Ask(p, Esc("%SERIE")), "SN42\x06");
  EXPECT_EQ(Ask(p, Esc("!V 20")), "1 \x06");
  EXPECT_EQ(Ask(p, Esc("!V 15")), "1250 \x06");
  EXPECT_EQ(Ask(p, Esc("+O 12\r\x1b+OY 3\r\x1b+OB 0\r\x1b+OYB 48")), kAckOnly);  // "Set Offsets" as one write
  EXPECT_EQ(Ask(p, Esc("!V 1")), "12 \x06");
  EXPECT_EQ(Ask(p, Esc("!V 2")), "3 \x06");
  EXPECT_EQ(Ask(p, Esc("!V 24")), "48 \x06");
  EXPECT_EQ(Ask(p, Esc("!V 25")), "0 \x06");
  EXPECT_EQ(Ask(p, Esc("!NL")), "!0 PANELS\x06");
  EXPECT_EQ(Ask(p, Esc("ATM 1 1")), "0\x06");
  EXPECT_EQ(Ask(p, Esc("FS 1") + Esc("ATM 1")), kAckOnly);
  EXPECT_EQ(Ask(p, Esc("ATM 1 1")), "1\x06");
  // A value goes with the next status request only.
  EXPECT_EQ(Ask(p, Esc("V") + Esc("SLAVE")), kAckOnly);
  EXPECT_EQ(Ask(p, ""), kAckOnly);
  // Unknown command, out-of-range parameter, sloppy spacing.
  EXPECT_EQ(Ask(p, Esc("XYZZY")), std::string("\x15") + "10\x04");
  p.PressButton();
  EXPECT_EQ(Ask(p, Esc("+O 49")), std::string("\x15") + "40\x04");
  p.PressButton();
  EXPECT_EQ(Ask(p, Esc("!V 99")), std::string("\x15") + "40\x04");
  p.PressButton();
  EXPECT_EQ(Ask(p, Esc("+C  5")), std::string("\x15") + "11\x04");
  p.PressButton();
  p.ReadAll();
  p.Write(Esc("E 3"));
  EXPECT_EQ(p.ReadAll(), std::string("\x15") + "40\x04");
}

TEST(Faults, ErrorMidJobStopsAndTheButtonResumes) {
  Printer p;
  p.InjectErrorAt(err::kOutOfCard, "IS 1");
  const std::string job =
      streams::YmckoHeader() + streams::Ymc(Flat(1), Flat(2), Flat(3)) + Esc("F") + Esc("!FF 1") + Esc("MO");
  EXPECT_EQ(p.Write(job), static_cast<long>(job.size()));
  // NAK "0" "4" EOT, and the line status shows media out.
  EXPECT_EQ(Ask(p, ""), kNak04);
  EXPECT_EQ(p.LineStatus(), 0x38);
  PrinterState s = p.State();
  EXPECT_EQ(s.error, err::kOutOfCard);
  EXPECT_TRUE(s.cardInPrinter);
  EXPECT_EQ(s.panelsPrinted, 1u);
  EXPECT_GT(s.heldCommands, 0u);
  EXPECT_TRUE(p.TakeCards().empty());
  // Queries still answer with the error.
  EXPECT_EQ(Ask(p, Esc("!RIBBON")), kNak04);

  p.PressButton();
  EXPECT_EQ(p.LineStatus(), 0x18);
  EXPECT_EQ(Ask(p, ""), kAckOnly);
  auto cards = p.TakeCards();
  ASSERT_EQ(cards.size(), 1u);
  ASSERT_EQ(cards[0].sides[0].panels.size(), 3u);
  EXPECT_EQ(cards[0].sides[0].panels[1].kind, PanelKind::kMagenta);  // the failed command ran again
}

TEST(Faults, ConditionsOfThePrinter) {
  PrinterConfig cfg;
  cfg.feederCards = 1;
  Printer p(cfg);
  const std::string card = Esc("F") + Esc("L 0 0 1023 639 1") + Esc("I 30") + Esc("MO");
  EXPECT_EQ(Ask(p, card), kAckOnly);
  EXPECT_EQ(Ask(p, card), kNak04);
  p.PressButton();  // still no cards: stops again
  EXPECT_EQ(p.State().error, err::kOutOfCard);
  p.SetFeederCards(5);
  p.PressButton();
  EXPECT_EQ(p.State().error, 0);
  EXPECT_EQ(p.State().cardsOut, 2u);
  EXPECT_EQ(p.State().feederCards, 4);

  // Cover open: stopped at once, mechanical in the status byte; the button does
  // nothing while it is open.
  p.SetCoverOpen(true);
  EXPECT_EQ(p.LineStatus(), 0x30);
  EXPECT_EQ(Ask(p, ""), std::string("\x15") + "51\x04");
  p.PressButton();
  EXPECT_EQ(p.State().error, err::kCoverOpen);
  p.SetCoverOpen(false);
  p.PressButton();
  EXPECT_EQ(p.LineStatus(), 0x18);

  // Ribbon removed: reported as code 0, printing stops with out of ribbon;
  // cleaning wants it removed.
  EXPECT_EQ(Ask(p, Esc("CLEAN")), std::string("\x15") + "09\x04");
  p.ForceClear();
  p.RemoveRibbon();
  EXPECT_EQ(Ask(p, Esc("!RIBBON")), "0\x06");
  EXPECT_EQ(Ask(p, Esc("CLEAN")), kAckOnly);
  EXPECT_EQ(p.State().cleanings, 1);
  EXPECT_EQ(Ask(p, card), std::string("\x15") + "01\x04");
  EXPECT_EQ(p.LineStatus(), 0x38);
  p.LoadRibbon(7, 1);  // resin black only, one card left
  p.PressButton();
  EXPECT_EQ(p.State().cardsOut, 3u);
  EXPECT_EQ(Ask(p, card), std::string("\x15") + "01\x04");  // used up
  p.ForceClear();
  EXPECT_EQ(Ask(p, streams::Plane(0, Flat(1)) + Esc("IS 0")), std::string("\x15") + "35\x04");  // no colour panel

  // Command errors: syntax in the status byte; a reset clears them.
  p.ForceClear();
  EXPECT_EQ(Ask(p, Esc("IS 7")), std::string("\x15") + "40\x04");
  EXPECT_EQ(p.LineStatus(), 0x10);
  p.Write(Esc("R"));
  EXPECT_EQ(p.LineStatus(), 0x18);

  // Injected by count: the second command from now.
  p.InjectErrorAfter(err::kMechanical, 2);
  EXPECT_EQ(Ask(p, Esc("SXY 1")), kAckOnly);
  EXPECT_EQ(Ask(p, Esc("SXY 1")), std::string("\x15") + "03\x04");
  p.PressButton();
  EXPECT_EQ(p.State().error, 0);
}

TEST(Faults, ThePortsView) {
  PrinterConfig cfg;
  cfg.receiveLimit = 1000;
  Printer p(cfg);
  EXPECT_EQ(p.LineStatus(), 0x18);
  EXPECT_EQ(p.NetworkStatus(), 0x58);
  auto poll = p.StatusPollReply();
  ASSERT_EQ(poll.size(), 12u);
  EXPECT_EQ(poll[0], kAck);
  EXPECT_EQ(poll[10], 0x58);
  EXPECT_EQ(poll[11], kEot);

  // While stopped, the printer holds commands up to its buffer and then takes no more.
  p.InjectError(err::kHeadOpen);
  const std::string many = [] {
    std::string s;
    for (int i = 0; i < 200; ++i) s += Esc("SXY 1");
    return s;
  }();
  const long taken = p.Write(many);
  EXPECT_GT(taken, 0);
  EXPECT_LT(taken, static_cast<long>(many.size()));
  p.PressButton();
  EXPECT_EQ(p.Write(many.substr(static_cast<size_t>(taken))), static_cast<long>(many.size()) - taken);

  // Silent: takes and runs commands but says nothing.
  p.SetSilent(true);
  EXPECT_EQ(Ask(p, Esc("V")), "");
  p.SetSilent(false);
  // Stalled: takes nothing.
  p.SetStalled(true);
  EXPECT_EQ(p.Write(Esc("V")), 0);
  p.SetStalled(false);
  // Disconnected: everything fails.
  p.SetConnected(false);
  EXPECT_EQ(p.Write(Esc("V")), -1);
  uint8_t b;
  EXPECT_EQ(p.Read(&b, 1), -1);
  EXPECT_FALSE(p.LineStatus());
  p.SetConnected(true);
  EXPECT_EQ(Ask(p, Esc("V")), "CA3 MAG V3.02\x06");

  // An interface reset in the middle of an image block drops it.
  const std::string head = "\x1bGS 0 32 0 0 1024 640 " + std::string(1000, '\0');
  p.Write(head);
  p.SoftReset();
  EXPECT_EQ(Ask(p, Esc("IS 0")), std::string("\x15") + "54\x04");  // nothing was loaded
}

TEST(Magnetic, FormatsDensitiesAndData) {
  Printer p;
  const std::string nak40 = std::string("\x15") + "40\x04";
  // Track 1 holds 76 alphanumeric characters, track 2 37 digits, track 3 104.
  EXPECT_EQ(Ask(p, Esc("&B 1 " + std::string(76, 'A'))), kAckOnly);
  EXPECT_EQ(Ask(p, Esc("&B 1 " + std::string(77, 'A'))), nak40);
  p.PressButton();
  EXPECT_EQ(Ask(p, Esc("&B 2 " + std::string(37, '1'))), kAckOnly);
  EXPECT_EQ(Ask(p, Esc("&B 2 " + std::string(38, '1'))), nak40);
  p.PressButton();
  EXPECT_EQ(Ask(p, Esc("&B 3 " + std::string(104, '2'))), kAckOnly);
  EXPECT_EQ(Ask(p, Esc("&B 2 12A")), nak40);  // letters do not fit a numeric track
  p.PressButton();
  EXPECT_EQ(Ask(p, Esc("&B 1 50%")), nak40);  // "%" is the encoder's own start sentinel
  p.PressButton();

  // Format set-up as the encoder settings send it.
  EXPECT_EQ(
      Ask(p, Esc("&W 0") + Esc("&C 1") + Esc("&CDEW 1 A") + Esc("&CDER 1 Q") + Esc("&CDEW 2 b1") + Esc("&CDER 2 r1") +
                 Esc("&CDEW 3 E_5") + Esc("&CDER 3 U_5") + Esc("&D 1 210") + Esc("&D 2 75") + Esc("&D 3 75")),
      kAckOnly);
  PrinterState s = p.State();
  EXPECT_EQ(s.writeFormat[1], "b1");
  EXPECT_EQ(s.readFormat[2], "U_5");
  EXPECT_EQ(s.settings.at("&D 3"), 75);
  EXPECT_EQ(s.settings.at("&C"), 1);
  // Track 2 is now alphanumeric at 75 bpi: 27 characters.
  EXPECT_EQ(Ask(p, Esc("&B 2 ABC")), kAckOnly);
  EXPECT_EQ(Ask(p, Esc("&B 2 " + std::string(28, 'A'))), nak40);
  p.PressButton();
  EXPECT_EQ(Ask(p, Esc("&CDEW 2 R")), nak40);  // a read format as write format
  p.PressButton();
  EXPECT_EQ(Ask(p, Esc("&D 1 100")), nak40);
  p.PressButton();

  // Without an encoder the printer reports a magnetic error.
  PrinterConfig none;
  none.encoder = false;
  Printer plain(none);
  EXPECT_EQ(Ask(plain, Esc("!V 20")), "0 \x06");
  EXPECT_EQ(Ask(plain, Esc("&R")), std::string("\x15") + "44\x04");
}

TEST(Maintenance, FirmwareTestCardsAndLamination) {
  auto image = [](size_t size, uint8_t b14, uint8_t b15, bool tag) {
    std::string body(size, '\x11');
    body[14] = static_cast<char>(b14);
    body[15] = static_cast<char>(b15);
    if (tag) body.replace(277, 4, "LLX3");
    return "\x1b"
           "DC " +
           streams::Bytes(
               {0, static_cast<int>(size >> 16), static_cast<int>((size >> 8) & 0xFF), static_cast<int>(size & 0xFF)}) +
           body + streams::Bytes({0xFF, 0x0D});
  };
  Printer p;
  EXPECT_EQ(Ask(p, image(1000, 0x3A, 0xFF, false)), kAckOnly);
  EXPECT_EQ(p.State().firmwareDownloads, 1);
  EXPECT_EQ(p.State().lastFirmware, "printer");
  EXPECT_EQ(p.State().lastFirmwareSize, 1000u);
  // Laminator firmware on a printer without laminator, and an image of neither kind.
  EXPECT_EQ(Ask(p, image(1000, 0xFF, 0x12, false)), std::string("\x15") + "60\x04");
  p.PressButton();
  EXPECT_EQ(Ask(p, image(1000, 0xFF, 0xFF, false)), std::string("\x15") + "60\x04");
  p.PressButton();
  PrinterConfig lx;
  lx.model = "LX3";
  Printer lam(lx);
  EXPECT_EQ(Ask(lam, image(1000, 0xFF, 0xFF, true)), kAckOnly);
  EXPECT_EQ(lam.State().lastFirmware, "laminator");

  // Lamination selection goes with the card.
  EXPECT_EQ(Ask(lam, Esc("MASTER") + Esc("+DLAMI 1 0") + Esc("F") + Esc("I 30") + Esc("MO")), kAckOnly);
  auto cards = lam.TakeCards();
  ASSERT_EQ(cards.size(), 1u);
  EXPECT_EQ(cards[0].lamination, "1 0");
  EXPECT_EQ(Ask(p, Esc("+DLAMI 1 0")), std::string("\x15") + "10\x04");
  p.PressButton();

  // Test card: printed and put out at once; heat table set-up.
  EXPECT_EQ(Ask(p, Esc("A 1") + Esc("HTABLE 3 0")), kAckOnly);
  cards = p.TakeCards();
  ASSERT_EQ(cards.size(), 1u);
  EXPECT_EQ(cards[0].testCard, "printer parameters");
  EXPECT_FALSE(cards[0].sides[0].panels.empty());
  EXPECT_EQ(p.State().settings.at("HTABLE"), 3);
  EXPECT_EQ(Ask(p, Esc("HTABLE 5 0")), std::string("\x15") + "40\x04");
}

TEST(Ribbons, PanelsFollowTheInstalledRibbon) {
  auto run = [](int ribbon, const std::string &job) {
    PrinterConfig cfg;
    cfg.ribbonCode = ribbon;
    Printer p(cfg);
    EXPECT_EQ(Ask(p, job), kAckOnly) << ribbon;
    auto cards = p.TakeCards();
    EXPECT_EQ(cards.size(), 1u) << ribbon;
    return cards.empty() ? Card{} : cards[0];
  };
  // Hologram in a selected area of a rotated record (left 100, top 50, right
  // 300, bottom 150): the whole image cleared, then the area set.
  Card c = run(
      19, Esc("+CH 7") + Esc("F") + Esc("L 0 0 1023 639 0") + Esc("L 723 489 200 100 1") + Esc("IH 31") + Esc("MO"));
  ASSERT_EQ(c.sides[0].panels.size(), 1u);
  const AppliedPanel &h = c.sides[0].panels[0];
  EXPECT_EQ(h.kind, PanelKind::kHologram);
  EXPECT_EQ(std::count(h.image->begin(), h.image->end(), 1), 201 * 101);
  EXPECT_EQ((*h.image)[723 + 489 * kCardWidth], 1);
  EXPECT_EQ((*h.image)[923 + 589 * kCardWidth], 1);

  // Hologram bitmap, run-length coded, all zero bits with polarity 0: the whole card.
  std::string rle;
  for (int k = 0; k < 645; ++k) rle += streams::Bytes({0xFF, 0x00});
  rle += streams::Bytes({0x85, 0x00});
  c = run(19, Esc("+CH 7") + Esc("MASTER") + Esc("F") + Esc("G 0 0 12 640 1024 0") + "\x1bZ" + rle + "\r" +
                  Esc("IH 31") + Esc("MO"));
  ASSERT_EQ(c.sides[0].panels.size(), 1u);
  EXPECT_EQ(std::count(c.sides[0].panels[0].image->begin(), c.sides[0].panels[0].image->end(), 1), kCardDots);

  // Clear varnish ribbon: the card is moved in, the varnish printed through the resin image.
  c = run(21, streams::Resin(ResinBox) + Esc("MI") + Esc("IV") + Esc("MO"));
  ASSERT_EQ(c.sides[0].panels.size(), 1u);
  EXPECT_EQ(c.sides[0].panels[0].kind, PanelKind::kClearVarnish);
  EXPECT_EQ(std::count(c.sides[0].panels[0].image->begin(), c.sides[0].panels[0].image->end(), 1), 100 * 50);

  // Scratch-off and ultraviolet take the places of resin black and varnish.
  c = run(18, streams::Resin(ResinBox) + Esc("I 30") + Esc("MO"));
  EXPECT_EQ(c.sides[0].panels.at(0).kind, PanelKind::kScratchOff);
  c = run(22, Esc("vF") + Esc("vL 0 0 1023 230 0") + Esc("IV 31") + Esc("MO"));
  EXPECT_EQ(c.sides[0].panels.at(0).kind, PanelKind::kUltraviolet);

  // Pass-through copy: in, over, out, nothing printed.
  c = run(2, Esc("MI") + Esc("MF") + Esc("MO"));
  EXPECT_TRUE(c.sides[0].panels.empty());
  EXPECT_EQ(c.flips, 1);
  EXPECT_EQ(c.finalSide, 1);
}

TEST(Pieces, AJobInAnyPiecesGivesTheSameCardsAndAnswers) {
  const std::string job = Esc("V") + kStatus + streams::YmckoHeader("JOB 2") +
                          streams::Ymc([](int l, int d) { return (l + d) % 32; }, Flat(0), Flat(9)) + kStatus +
                          Esc("&R") + Esc("&B 1 PIECE^BY PIECE") + Esc("&E*") + Esc("MF") + kStatus +
                          streams::Resin(ResinBox) + Esc("I 30") + Esc("MF") + Esc("vF") + Esc("vL 1 2 3 4 1") +
                          Esc("IV 31") + Esc("MO") + Esc("!NL") + kStatus + Esc("WRONG") + kStatus;
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
      const long taken = p.Write(reinterpret_cast<const uint8_t *>(job.data()) + at, n);
      EXPECT_EQ(taken, static_cast<long>(n));
      at += n;
      r.answers += p.ReadAll();  // a port reads as it goes
    }
    for (const Card &c : p.TakeCards()) {
      r.summaries.push_back(c.Summary());
      for (const auto &side : c.sides)
        for (const auto &panel : side.panels) r.images.push_back(*panel.image);
    }
    r.commands = p.State().commands;
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
      const auto line = p.LineStatus();
      EXPECT_TRUE(line == 0x18 || line == 0x38);
      (void)p.State();
    }
  });
  p.InjectErrorAt(err::kOutOfRibbon, "IS 2");
  const std::string job = streams::YmckoHeader() + streams::Ymc(Flat(1), Flat(2), Flat(3)) + Esc("MO");
  for (size_t at = 0; at < job.size(); at += 4096) p.Write(job.substr(at, 4096));
  p.PressButton();
  done = true;
  reader.join();
  EXPECT_EQ(p.TakeCards().size(), 1u);
}
