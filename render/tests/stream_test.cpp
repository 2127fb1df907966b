// The command sequences of a job, card, side and panel, checked against
// sequences written out by hand from the ribbon tables.  Image data is stood in
// for by markers such as <Y> (yellow plane) and <K> (resin-black bitmap).
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "shared/ribbons.h"
#include "render/stream.h"
#include "render/tests/stream_cases.h"

namespace {

using namespace card;
using namespace card::cases;

class FakePanels : public PanelSource {
 public:
  std::deque<bool> black;  // answers of blackPresent, one per Kr; empty: no black
  bool varnishFile = true;
  bool workArea = true;
  int extracted = 0, converted = 0, fragmentsCleared = 0, macrosAssembled = 0;
  bool lastConvert = false;

  void whiteSurfaces() override {}
  bool beginSide() override { return workArea; }
  void endSide() override {}
  void assembleSplitMacros() override { ++macrosAssembled; }
  void clearTextFragments() override { ++fragmentsCleared; }
  void extractBlack() override { ++extracted; }
  void prepareColour() override {}
  size_t fillPlane(PlaneChannel ch, bool rotated, uint8_t *out, size_t) override {
    static const char *names[] = {"Y", "M", "C", "D"};
    return put(std::string("<") + names[int(ch)] + (rotated ? "r>" : ">"), out);
  }
  void prepareBlack(bool convert) override {
    lastConvert = convert;
    converted += convert;
  }
  bool blackPresent() override {
    if (black.empty()) return false;
    bool b = black.front();
    black.pop_front();
    return b;
  }
  size_t fillBlack(bool rotated, uint8_t *out, size_t) override { return put(rotated ? "<Kr>\r" : "<K>\r", out); }
  size_t fillVarnishBitmap(const OverlayRecord &, uint8_t *out, size_t) override {
    return varnishFile ? put("<V>\r", out) : 0;
  }

 private:
  static size_t put(const std::string &s, uint8_t *out) {
    std::memcpy(out, s.data(), s.size());
    return s.size();
  }
};

class Capture : public StreamSink {
 public:
  std::string bytes;
  std::vector<std::string> writes;
  void write(const void *d, size_t n) override {
    bytes.append(static_cast<const char *>(d), n);
    writes.emplace_back(static_cast<const char *>(d), n);
  }
};

struct Job {
  CardDevmode dm{};
  JobState state{};
  CardCapture cap{};
  std::vector<uint8_t> buffer = std::vector<uint8_t>(0xA1000);
  FakePanels panels;
  Capture out;
  PrinterAnswer answer;
  int resolutions = 0;

  Job(uint8_t ribbonType, bool twoSided = false, uint16_t layout = 0) {
    JobSettingsRecord &r = dm.record;
    r.signature = kRecordSignature;
    r.ribbonType = ribbonType;
    r.duplex = twoSided;
    r.dualSideLayout = layout;
    r.frontOverlay.type = kOverlayNone;
    r.backOverlay.type = kOverlayNone;
    r.blackPanelMode = 2;
    r.hasEncoder = 1;
    r.ribbonId = 0;
    r.colourContrast[0] = 1;
    r.colourContrast[1] = 2;
    r.colourContrast[2] = 3;
    r.colourIntensity[0] = 7;
    r.colourIntensity[1] = 8;
    r.colourIntensity[2] = 9;
    r.blackContrast = 5;
    r.varnishContrast = 6;
    r.hologramContrast = 7;
    r.blackDyeContrast = 8;
    r.blackDyeIntensity = 9;
    setCopies(1);
    // The printer agrees with the settings unless a test says otherwise.
    answer.ribbonCode = -1;
    std::strcpy(answer.model, "CA3");
  }
  JobSettingsRecord &rec() { return dm.record; }
  void setCopies(int16_t n) { std::memcpy(dm.standard + offsetof(DEVMODEW, dmCopies), &n, 2); }
  CardJob job() { return CardJob(dm, state, cap, buffer.data(), buffer.size(), panels, out); }

  bool page() {
    CardJob j = job();
    bool ok = j.startPage([&](PrinterAnswer &a) {
      ++resolutions;
      a = answer;
      if (a.ribbonCode < 0) {
        // "Same ribbon as the settings": report the code of that type.
        a.ribbonCode = printerCodeOf(rec().ribbonType);
      }
    });
    if (!ok) return false;
    return j.sendPage();
  }
  std::string run(int pages = 1) {
    state.jobStarted = 1;
    for (int i = 0; i < pages; ++i) page();
    job().endDoc();
    return out.bytes;
  }
};

std::string after(const std::string &all, const std::string &prefix) {
  EXPECT_EQ(all.substr(0, prefix.size()), prefix);
  return all.size() >= prefix.size() ? all.substr(prefix.size()) : std::string();
}

TEST(CardStream, OneSidedYmckoWithoutBlackOrOverlay) {
  Job j(kRibbonYMCKO);
  j.rec().blackPanelMode = 0;
  EXPECT_EQ(j.run(), kHeader + C("JOB 0") + C("SXY 1") + kColourHead + C("+C 5") + C("+CV 6") + kYMC + kNoK + C("MO"));
  EXPECT_EQ(j.resolutions, 1);
  // Head settings go out one command per write.
  EXPECT_EQ(j.out.writes[3], C("+$C 0 1"));
}

TEST(CardStream, FullOverlayEndsTheSideWithVarnish) {
  Job j(kRibbonYMCKO);
  j.rec().frontOverlay.type = kOverlayFull;
  j.panels.black = {true};
  std::string side = after(j.run(), kHeader + C("JOB 0") + C("SXY 1") + kColourHead + C("+C 5") + C("+CV 6"));
  EXPECT_EQ(side, kYMC + kKr + C("I 10") + C("vF") + C("IV 30") + C("MO"));
  EXPECT_EQ(j.cap.frontBlackEmpty, 0);
}

TEST(CardStream, TwoSidedYmckoLayout0) {
  Job j(kRibbonYMCKO, true, 0);
  j.rec().frontOverlay.type = kOverlaySelectedVarnished;
  j.rec().frontOverlay.left = 10;
  j.rec().frontOverlay.top = 20;
  j.rec().frontOverlay.right = 110;
  j.rec().frontOverlay.bottom = 70;
  j.panels.black = {true};
  std::string s = after(j.run(2), kHeader + C("JOB 2") + C("SXY 1") + kColourHead + C("+C 5") + C("+CV 6"));
  EXPECT_EQ(s, kYMC + C("MF") + kKr + C("I 30") + C("MF") + C("vF") + C("vL 10 20 100 50 1") + C("IV 31") + C("MO"));
  EXPECT_TRUE(j.panels.lastConvert);  // the back of layout 0 is converted into resin black
}

TEST(CardStream, UnpairedFrontIsFinishedAtEndOfDocument) {
  Job j(kRibbonYMCKO, true, 0);
  std::string s = after(j.run(1), kHeader + C("JOB 2") + C("SXY 1") + kColourHead + C("+C 5") + C("+CV 6"));
  EXPECT_EQ(s, kYMC + C("F") + C("MO"));

  Job k(kRibbonYMCK, true, 1);
  k.rec().jobMode = 2;
  k.panels.black = {false};
  s = after(k.run(1), kHeader + C("JOB 1") + C("SXY 1") + kColourHead + C("+C 5"));
  // jobMode 2 turns the card after the encoder part, then the side; the card
  // is turned once more and ejected when the document ends.
  EXPECT_EQ(s, C("MF") + kYMC + kNoK + C("MF") + C("MO"));
}

TEST(CardStream, FurtherCopiesOfAOneSidedYmcCard) {
  Job j(kRibbonYMC);
  j.setCopies(3);
  std::string s = after(j.run(), kHeader + C("JOB 0") + C("SXY 1") + kColourHead);
  const std::string copy = C("IS 0") + C("IS 1") + C("IS 2") + C("MO");
  EXPECT_EQ(s, kYMC + C("MO") + copy + copy);
}

TEST(CardStream, CopiesAreCappedAt1000) {
  Job j(kRibbonYMC);
  j.setCopies(5000);
  j.run();
  size_t n = 0;
  for (const auto &w : j.out.writes) n += w == C("IS 0") + C("IS 1") + C("IS 2") + C("MO");
  EXPECT_EQ(n, 999u);
}

TEST(CardStream, EncodeOnlyAndPassThroughJobs) {
  Job j(kRibbonYMCKO);
  j.rec().jobMode = 1;
  j.rec().trackPresent[0] = 1;
  std::strcpy(j.rec().track1Text, "ABC");
  j.setCopies(2);
  // The tracks of a card come from the page; a fresh page starts without them,
  // so the test sets them after the capture was cleared, as the text escapes do.
  j.state.jobStarted = 1;
  CardJob cj = j.job();
  ASSERT_TRUE(cj.startPage([](PrinterAnswer &a) { a.ribbonCode = 2; }));
  j.rec().trackPresent[0] = 1;
  std::strcpy(j.rec().track1Text, "ABC");
  ASSERT_TRUE(cj.sendPage());
  const std::string enc = C("&R") + C("&B 1 ABC") + C("&E*") + C("MO");
  EXPECT_EQ(after(j.out.bytes, kHeader + C("JOB 0") + C("SXY 1") + kColourHead + C("+C 5") + C("+CV 6")),
            enc + C("MO") + enc);

  Job p(kRibbonYMC);
  p.rec().jobMode = 3;
  p.setCopies(2);
  std::string s = after(p.run(), kHeader + C("JOB 0") + C("SXY 1") + kColourHead);
  EXPECT_EQ(s, kYMC + C("MO") + C("MI") + C("MF") + C("MO"));
}

TEST(CardStream, TracksAreCutInTheFirstCopyOnly) {
  Job j(kRibbonKResin);
  j.setCopies(2);
  j.panels.black = {true};
  j.state.jobStarted = 1;
  CardJob cj = j.job();
  ASSERT_TRUE(cj.startPage([](PrinterAnswer &a) { a.ribbonCode = 7; }));
  std::string t80(80, 'T');
  t80[79] = 'Z';
  j.rec().trackPresent[0] = 1;
  std::memcpy(j.rec().track1Text, t80.data(), 80);  // fills the field: no terminator inside it
  ASSERT_TRUE(cj.sendPage());
  std::string s = after(j.out.bytes, kHeader + C("JOB 0") + C("SXY 1") + C("+C 5"));
  EXPECT_EQ(s, C("&R") + C(("&B 1 " + t80.substr(0, 76)).c_str()) + C("&E*") + kKr + C("I 30") + C("MO") +
                   C(("&B 1 " + t80).c_str()) + C("&E*") + C("I"));
}

TEST(CardStream, EncoderPartFromCapturedCommands) {
  Job j(kRibbonYMC);
  j.state.jobStarted = 1;
  CardJob cj = j.job();
  ASSERT_TRUE(cj.startPage([](PrinterAnswer &a) { a.ribbonCode = 6; }));
  std::strcpy(j.cap.encoderCommandR, "\x1b&R\r");
  ASSERT_TRUE(cj.sendPage());
  std::string s = after(j.out.bytes, kHeader + C("JOB 0") + C("SXY 1") + kColourHead);
  EXPECT_EQ(s, C("&R") + C("&E*") + kYMC + C("MO"));
  EXPECT_EQ(j.panels.macrosAssembled, 1);

  // A pre-job command alone is closed by its own end-of-encoding command.
  Job p(kRibbonYMC);
  p.state.jobStarted = 1;
  CardJob pj = p.job();
  ASSERT_TRUE(pj.startPage([](PrinterAnswer &a) { a.ribbonCode = 6; }));
  std::strcpy(p.cap.preJobCommand, "\x1bPRE\r");
  ASSERT_TRUE(pj.sendPage());
  EXPECT_EQ(p.out.writes[3 + 6], C("PRE") + C("&E*"));
}

TEST(CardStream, ManualRibbonWinsOverThePrinter) {
  Job j(kRibbonKResin);
  j.rec().ribbonId = 3;  // YMCKO chosen in the settings
  j.answer.ribbonCode = 7;
  std::string s = j.run();
  EXPECT_EQ(j.resolutions, 0);
  EXPECT_EQ(j.rec().ribbonType, kRibbonYMCKO);
  EXPECT_EQ(s.substr(0, (kHeader + C("JOB 0") + C("SXY 1") + kColourHead).size()),
            kHeader + C("JOB 0") + C("SXY 1") + kColourHead);
}

TEST(CardStream, UnknownRibbonRefusesThePageInPrintModes) {
  Job j(kRibbonYMCKO);
  j.answer.ribbonCode = 0;
  j.state.jobStarted = 1;
  EXPECT_FALSE(j.page());
  EXPECT_TRUE(j.out.bytes.empty());
  Job e(kRibbonYMCKO);
  e.rec().jobMode = 1;
  e.answer.ribbonCode = 0;
  e.state.jobStarted = 1;
  EXPECT_TRUE(e.page());  // encoding needs no ribbon
}

TEST(CardStream, PagesOutsideAJobAreRefused) {
  Job j(kRibbonYMC);
  CardJob cj = j.job();
  EXPECT_FALSE(cj.startPage([](PrinterAnswer &a) { a.ribbonCode = 6; }));
  EXPECT_FALSE(cj.sendPage());
  EXPECT_FALSE(cj.endDoc());
  EXPECT_TRUE(j.out.bytes.empty());
  EXPECT_GE(j.panels.fragmentsCleared, 2);
}

TEST(CardStream, WorkAreaFailureDropsTheSide) {
  Job j(kRibbonYMC);
  j.panels.workArea = false;
  std::string s = after(j.run(), kHeader + C("JOB 0") + C("SXY 1") + kColourHead);
  EXPECT_EQ(s, "");
}

TEST(CardStream, VarnishWriterForEveryOverlayType) {
  struct Case {
    int16_t type, rotated;
    std::string v;
  } cases[] = {
      {kOverlayFull, 0, C("vF") + C("IV 30")},
      {kOverlayNone, 0, ""},
      {kOverlaySelectedVarnished, 0, C("vF") + C("vL 100 50 200 300 1") + C("IV 31")},
      {kOverlaySelectedVarnished, 1, C("vF") + C("vL 723 289 200 300 1") + C("IV 31")},
      {kOverlaySelectedBlank, 0, C("vF") + C("vL 0 0 1023 639 1") + C("vL 100 50 200 300 0") + C("IV 31")},
      {kOverlayBitmap, 0, C("vF") + "\x1bvG 0 0 10 640 1024 1\r\x1bZ<V>\r" + C("IV 31")},
      {kOverlaySmartCardIso, 0, C("vF") + C("vL 0 0 1023 639 1") + C("vL 85 197 194 159 0") + C("IV 31")},
      {kOverlaySmartCardIso, 1, C("vF") + C("vL 0 0 1023 639 1") + C("vL 743 289 194 159 0") + C("IV 31")},
      {kOverlaySmartCardAfnor, 0, C("vF") + C("vL 0 0 1023 639 1") + C("vL 85 97 158 160 0") + C("IV 31")},
      {kOverlaySmartCardAfnor, 1, C("vF") + C("vL 0 0 1023 639 1") + C("vL 768 388 158 160 0") + C("IV 31")},
      {kOverlayMagStripe, 0, C("vF") + C("vL 0 0 1023 639 1") + C("vL 0 0 1023 230 0") + C("IV 31")},
      {kOverlayMagStripe, 1, C("vF") + C("vL 0 0 1023 639 1") + C("vL 0 415 1023 230 0") + C("IV 31")},
      {8, 0, ""},
      {-1, 0, ""},
  };
  for (const auto &c : cases) {
    Job j(kRibbonKdO);
    auto &o = j.rec().frontOverlay;
    o.type = c.type;
    o.rotated = c.rotated;
    o.left = 100;
    o.top = 50;
    o.right = 300;
    o.bottom = 350;
    std::string s = after(j.run(), kHeader + C("JOB 0") + C("SXY 1") + C("+$C 3 8") + C("+$L 3 9") + C("+CV 6"));
    EXPECT_EQ(s, kKd + c.v + C("MO")) << c.type << "/" << c.rotated;
  }
  // A varnish bitmap that cannot be read leaves the definition and its print.
  Job j(kRibbonKdO);
  j.rec().frontOverlay.type = kOverlayBitmap;
  j.panels.varnishFile = false;
  std::string s = after(j.run(), kHeader + C("JOB 0") + C("SXY 1") + C("+$C 3 8") + C("+$L 3 9") + C("+CV 6"));
  EXPECT_EQ(s, kKd + C("vF") + C("IV 31") + C("MO"));
}

TEST(CardStream, SingleSidedRowsOfTheMonochromeRibbons) {
  for (const auto &c : monoRows()) {
    Job j(c.type);
    j.rec().monoRibbonKind = c.kind;
    j.panels.black = {true};
    std::string s = after(j.run(), kHeader + C("JOB 0") + C("SXY 1") + c.head);
    EXPECT_EQ(s, kKr + c.black + C("MO")) << int(c.type) << "/" << int(c.kind);
    EXPECT_TRUE(j.panels.lastConvert);
  }
  // Without black nothing prints, and kinds beyond the known ones print nothing.
  Job none(kRibbonKResin);
  EXPECT_EQ(after(none.run(), kHeader + C("JOB 0") + C("SXY 1") + C("+C 5")), C("MO"));
  Job odd(kRibbonMonochrome);
  odd.rec().monoRibbonKind = 9;
  odd.panels.black = {true};
  EXPECT_EQ(after(odd.run(), kHeader + C("JOB 0") + C("SXY 1")), C("MO"));
  // Resin black with the clear-varnish kind ends with the varnish panel.
  Job kv(kRibbonKResin);
  kv.rec().monoRibbonKind = 2;
  kv.panels.black = {true};
  EXPECT_EQ(after(kv.run(), kHeader + C("JOB 0") + C("SXY 1") + C("+C 5")),
            kKr + C("I 30") + C("MI") + C("IV") + C("MO"));
}

// Two-sided rows: front and back of one card, black found wherever asked.
TEST(CardStream, TwoSidedRowsByRibbonAndLayout) {
  for (const auto &c : twoSidedRows()) {
    Job j(c.type, true, c.layout);
    j.answer.ribbonCode = -1;
    j.panels.black = {true, true, true, true};
    std::string s = after(j.run(2), kHeader + C(c.job.c_str()) + C("SXY 1") + c.head);
    EXPECT_EQ(s, c.front + c.back) << int(c.type) << " layout " << c.layout;
  }
}

TEST(CardStream, LaminatorCommands) {
  // Class 6 laminates the front in a print job, before the side's panels.
  Job j(kRibbonYMC);
  j.answer.ribbonCode = 6;
  std::strcpy(j.answer.model, "LX2");
  j.rec().hasEncoder = 0;
  std::string s = after(j.run(), kHeader + C("JOB 0") + C("SXY 1") + kColourHead);
  EXPECT_EQ(s, C("+DLAMI 1 0") + kYMC + C("MO"));
  EXPECT_EQ(j.rec().modelClass, 6);

  // Print-and-encode with lamination side 1: the back laminates the other way.
  Job k(kRibbonYMC, true, 0);
  k.answer.ribbonCode = 6;
  std::strcpy(k.answer.model, "LX2");
  k.rec().jobMode = 2;
  k.rec().laminateSideLX2 = 1;
  s = after(k.run(2), kHeader + C("JOB 1") + C("SXY 1") + kColourHead);
  // With one copy the encoder part (here only its turn-over) goes out with the
  // back page too, right after the turn-over before the back.
  EXPECT_EQ(s, C("MF") + C("+DLAMI 1 0") + kYMC + C("MF") + C("MF") + C("+DLAMI 0 1") + kYMC + C("MO"));
}

TEST(CardStream, ReprintSequencesOfTwoSidedCards) {
  for (const auto &c : reprintRows()) {
    Job j(c.type, true, c.layout);
    j.setCopies(2);
    j.panels.black = {true, true, true, true};
    j.run(2);
    EXPECT_EQ(j.out.writes.back(), c.copy) << int(c.type) << " layout " << c.layout;
  }
}

// Layouts whose back prints its resin black from the printer's memory: the
// back's K goes out only when the back has black, in the first copy and in
// the further ones; otherwise the back row's no-black alternative does.
TEST(CardStream, BackWithoutBlackPrintsNoBlackFromMemory) {
  struct Row {
    uint8_t type;
    uint16_t layout;
    std::string head;
    bool frontKr;                   // the front runs Kr (and finds black)
    std::string front, back, copy;  // with black on the back; "<K?>" where the back's K goes
    std::string backNoK, copyNoK;   // what stands for the back's K without black
  };
  const std::string ymckoHead = kColourHead + C("+C 5") + C("+CV 6");
  const std::string IS012 = C("IS 0") + C("IS 1") + C("IS 2");
  const Row rows[] = {
      {kRibbonYMCKO, 0, ymckoHead, false, kYMC, C("MF") + "<K?>" + C("MF") + C("MO"),
       IS012 + C("MF") + "<K?>" + C("MF") + C("MO"), kNoK, C("!FF 1")},
      {kRibbonYMCK, 0, kColourHead + C("+C 5"), false, kYMC, C("MF") + "<K?>" + C("MO"),
       IS012 + C("MF") + "<K?>" + C("MO"), kNoK, C("!FF 1")},
      {kRibbonYMCKK, 0, kColourHead + C("+C 5"), true, kYMC + kKr + C("I 30"), C("MF") + "<K?>" + C("MO"),
       IS012 + C("I 30") + C("MF") + "<K?>" + C("MO"), "", ""},
      {kRibbonYMCKOK, 0, ymckoHead, true, kYMC + kKr + C("I 10"), C("MF") + "<K?>" + C("MO"),
       IS012 + C("I 10") + C("MF") + "<K?>" + C("MO"), C("!FF 1"), C("!FF 1")},
      {kRibbonYMCKOK, 3, ymckoHead, true, kYMC + kKr + C("I 10"), C("MF") + "<K?>" + C("MO"),
       IS012 + C("I 10") + C("MF") + "<K?>" + C("MO"), kNoK, C("!FF 1")},
  };
  auto put = [](std::string s, const std::string &k) {
    s.replace(s.find("<K?>"), 4, k);
    return s;
  };
  for (const Row &r : rows) {
    for (bool backBlack : {true, false}) {
      SCOPED_TRACE(std::to_string(r.type) + " layout " + std::to_string(r.layout) +
                   (backBlack ? " with black" : " without black"));
      Job j(r.type, true, r.layout);
      j.setCopies(2);
      if (r.frontKr) j.panels.black.push_back(true);
      j.panels.black.push_back(backBlack);
      const std::string jobWord = r.type == kRibbonYMCKO ? "JOB 2" : "JOB 1";
      std::string s = after(j.run(2), kHeader + C(jobWord.c_str()) + C("SXY 1") + r.head);
      const std::string firstK = backBlack ? kKr + C("I 30") : r.backNoK;
      const std::string copyK = backBlack ? C("I 30") : r.copyNoK;
      EXPECT_EQ(s, r.front + put(r.back, firstK) + put(r.copy, copyK));
      EXPECT_EQ(j.cap.backBlackEmpty, backBlack ? 0 : 1);
    }
  }
}

TEST(CardStream, OutOfRangeSettingsGiveADefinedStream) {
  Job j(kRibbonYMCKO, true, 7);  // a layout the ribbon does not have, chosen in the settings
  j.rec().ribbonId = 3;
  j.setCopies(2);
  std::string s = after(j.run(2), kHeader + C("JOB 1") + C("SXY 1") + kColourHead + C("+C 5") + C("+CV 6"));
  EXPECT_EQ(s, C("MF") + C("MO"));  // no panels, no copies; the card still leaves the printer
  Job u(200);
  u.rec().ribbonId = 0;
  u.rec().jobMode = 3;
  u.answer.ribbonCode = 99;
  EXPECT_EQ(after(u.run(), kHeader + C("JOB 0") + C("SXY 1")), C("MO"));
}

}  // namespace

namespace {

TEST(CardStream, NoOutputBufferWritesNoPanels) {
  Job j(kRibbonYMC);
  j.state.jobStarted = 1;
  CardJob cj(j.dm, j.state, j.cap, nullptr, 0, j.panels, j.out);
  ASSERT_TRUE(cj.startPage([](PrinterAnswer &a) { a.ribbonCode = 6; }));
  ASSERT_TRUE(cj.sendPage());
  EXPECT_EQ(j.out.bytes.find("\x1bGS"), std::string::npos);
  EXPECT_NE(j.out.bytes.find("\x1bMASTER\r"), std::string::npos);
}

}  // namespace
