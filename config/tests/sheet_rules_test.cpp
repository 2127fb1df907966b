// The card setup sheet's rules: panel layout lists, normalisation of stored
// values, the enabling rules and the ribbon item's forms.
#include "config/sheet_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shared/ribbons.h"

namespace card::cfg {
namespace {

std::u16string text(LPCWSTR s) {
  std::u16string r;
  for (; *s; ++s) r.push_back(char16_t(*s));
  return r;
}

JobSettingsRecord record(uint8_t ribbon, bool both = false, uint16_t layout = 0) {
  JobSettingsRecord r{};
  r.signature = kRecordSignature;
  r.ribbonType = ribbon;
  r.duplex = both ? kSettingOn : kSettingOff;
  r.dualSideLayout = layout;
  return r;
}

SheetFacts dual() {
  SheetFacts f;
  f.sided = Sidedness::Dual;
  return f;
}

std::vector<std::u16string> layouts(const JobSettingsRecord &r) {
  const LPCWSTR *labels = nullptr;
  const unsigned n = layoutChoices(r, labels);
  std::vector<std::u16string> v;
  for (unsigned i = 0; i < n; ++i) v.push_back(text(labels[i]));
  return v;
}

TEST(SheetRules, PanelLayoutListsFollowRibbonAndSides) {
  using V = std::vector<std::u16string>;
  EXPECT_EQ(layouts(record(kRibbonYMCKO)), V{u"Front YMCKO"});
  EXPECT_EQ(layouts(record(kRibbonYMCKO, true)),
            (V{u"Front YMCO, Back K", u"Front YMCKO, Back YMCKO", u"Front YMC, Back KO"}));
  EXPECT_EQ(layouts(record(kRibbonYMCKOK, true)),
            (V{u"Front YMCKO, Back K", u"Front YMC, Back KO", u"Front YMCKO, Back YMCKO", u"Front YMCK, Back K"}));
  EXPECT_EQ(layouts(record(kRibbonYMCKUv)), V{u"Print YMCKUv"});
  EXPECT_EQ(layouts(record(kRibbonKd, true)), V{u"Front and Back Thermal"});
  JobSettingsRecord mono = record(kRibbonMonochrome, true);
  mono.monoRibbonKind = kMonoClearVarnish;
  EXPECT_EQ(layouts(mono), V{u"Front and Back Clear Varnish"});
  mono.monoRibbonKind = kMonoHologram;
  mono.duplex = kSettingOff;
  EXPECT_EQ(layouts(mono), V{u"Front Hologram"});
  mono.monoRibbonKind = kMonoResin;
  EXPECT_EQ(layouts(mono), V{u"Front K"});
  EXPECT_EQ(layouts(record(kRibbonUnknown, true)), V{u"None"});
  EXPECT_EQ(layouts(record(200, true)), V{u"None"});
}

TEST(SheetRules, LayoutBeyondTheListBecomesTheFirst) {
  JobSettingsRecord r = record(kRibbonYMCK, true, 3);  // two entries
  EXPECT_EQ(normaliseLayout(r), 2u);
  EXPECT_EQ(r.dualSideLayout, 0);
  r = record(kRibbonYMCKOK, true, 3);
  EXPECT_EQ(normaliseLayout(r), 4u);
  EXPECT_EQ(r.dualSideLayout, 3);
  r = record(kRibbonYMCKO, false, 2);  // one side: one entry
  normaliseLayout(r);
  EXPECT_EQ(r.dualSideLayout, 0);
}

TEST(SheetRules, RotationAndBothSides) {
  JobSettingsRecord r = record(kRibbonYMCKO, false);
  r.rotate180 = kRotateBoth;
  normaliseRotation(r);
  EXPECT_EQ(r.rotate180, kRotateFront);
  r.rotate180 = kRotateBack;
  normaliseRotation(r);
  EXPECT_EQ(r.rotate180, kRotateNone);
  r = record(kRibbonYMCKO, true);
  r.rotate180 = kRotateBack;
  normaliseRotation(r);
  EXPECT_EQ(r.rotate180, kRotateBack);
  EXPECT_EQ(evaluateSheet(r, dual()).rotationChoices, 4u);

  // Single-sided: both sides hidden and off, with the layout and the back
  // overlay; a model that is neither: greyed and off.
  SheetFacts f;
  f.sided = Sidedness::Single;
  r = record(kRibbonYMCKO, true);
  r.rotate180 = kRotateBoth;
  normaliseRecord(r, f);
  EXPECT_EQ(r.duplex, 0);
  EXPECT_EQ(r.rotate180, kRotateFront);
  SheetStates s = evaluateSheet(r, f);
  EXPECT_TRUE(s.items[kItemBothSides].hidden);
  EXPECT_TRUE(s.items[kItemLayout].hidden);
  EXPECT_TRUE(s.items[kItemBackOverlay].hidden);
  EXPECT_EQ(s.rotationChoices, 2u);
  f.sided = Sidedness::Neither;
  r = record(kRibbonYMCKO, true);
  normaliseRecord(r, f);
  EXPECT_EQ(r.duplex, 0);
  s = evaluateSheet(r, f);
  EXPECT_FALSE(s.items[kItemBothSides].hidden);
  EXPECT_TRUE(s.items[kItemBothSides].disabled);
  EXPECT_FALSE(s.items[kItemBackOverlay].hidden);
  r = record(kRibbonYMCKO, true);
  normaliseRecord(r, dual());
  EXPECT_EQ(r.duplex, 1);
  EXPECT_FALSE(evaluateSheet(r, dual()).items[kItemBothSides].disabled);
}

TEST(SheetRules, YmckoBothSidesFrontColourBackBlackOverlay) {
  const SheetStates s = evaluateSheet(record(kRibbonYMCKO, true, 2), dual());
  EXPECT_TRUE(s.items[kItemFrontOverlay].disabled);
  EXPECT_FALSE(s.items[kItemBackOverlay].disabled);
  EXPECT_TRUE(s.items[kItemBlackPanel].disabled);
  EXPECT_TRUE(s.items[kItemBlackBitmap].disabled);
  EXPECT_FALSE(s.items[kItemMonoConversion].disabled);
}

TEST(SheetRules, OverlaySides) {
  struct Case {
    uint8_t ribbon;
    bool both;
    uint16_t layout;
    bool front, back;
  } cases[] = {
      {kRibbonYMCKO, false, 0, true, false},      {kRibbonYMCKO, true, 0, true, false},
      {kRibbonYMCKO, true, 1, true, true},        {kRibbonYMCKUv, true, 2, false, true},
      {kRibbonKdO, false, 0, true, false},        {kRibbonKrO, true, 0, true, true},
      {kRibbonClearVarnish, true, 0, true, true}, {kRibbonYMCKOK, false, 0, true, false},
      {kRibbonYMCKOK, true, 0, true, false},      {kRibbonYMCKOK, true, 1, false, true},
      {kRibbonYMCKOK, true, 2, true, true},       {kRibbonYMCKOK, true, 3, false, false},
      {kRibbonYMCK, true, 1, false, false},       {kRibbonHologram, true, 0, false, false},
  };
  for (const Case &c : cases) {
    const JobSettingsRecord r = record(c.ribbon, c.both, c.layout);
    EXPECT_EQ(overlayAllowed(r, false), c.front) << int(c.ribbon) << " " << c.layout;
    EXPECT_EQ(overlayAllowed(r, true), c.back) << int(c.ribbon) << " " << c.layout;
  }
  // Encode only: neither side.
  JobSettingsRecord r = record(kRibbonYMCKO, true, 1);
  r.jobMode = kJobEncodeOnly;
  const SheetStates s = evaluateSheet(r, dual());
  EXPECT_TRUE(s.items[kItemFrontOverlay].disabled);
  EXPECT_TRUE(s.items[kItemBackOverlay].disabled);
}

TEST(SheetRules, MonochromeKinds) {
  JobSettingsRecord r = record(kRibbonMonochrome);
  r.monoRibbonKind = kMonoClearVarnish;
  SheetStates s = evaluateSheet(r, dual());
  EXPECT_FALSE(s.items[kItemFrontOverlay].disabled);
  EXPECT_TRUE(s.items[kItemBackOverlay].disabled);  // one side
  EXPECT_TRUE(s.items[kItemMonoConversion].disabled);
  EXPECT_FALSE(s.items[kItemHologram].disabled);
  r.monoRibbonKind = kMonoResin;
  s = evaluateSheet(r, dual());
  EXPECT_TRUE(s.items[kItemFrontOverlay].disabled);
  EXPECT_FALSE(s.items[kItemMonoConversion].disabled);
  EXPECT_TRUE(s.items[kItemHologram].disabled);

  // The laminating model: varnish and hologram kinds greyed, reset on opening.
  SheetFacts f = dual();
  f.lx3 = true;
  r.monoRibbonKind = kMonoHologram;
  normaliseRecord(r, f);
  EXPECT_EQ(r.monoRibbonKind, kMonoResin);
  EXPECT_EQ(evaluateSheet(r, f).items[kItemRibbon].choiceDisabled, 0b1100u);
  r.monoRibbonKind = kMonoScratchOff;
  normaliseRecord(r, f);
  EXPECT_EQ(r.monoRibbonKind, kMonoScratchOff);
  EXPECT_EQ(evaluateSheet(r, dual()).items[kItemRibbon].choiceDisabled, 0u);
}

TEST(SheetRules, BlackPanelBitmapAndMonoConversion) {
  struct Case {
    uint8_t ribbon;
    bool both;
    uint16_t layout;
    bool black, mono;
  } cases[] = {
      {kRibbonYMCKO, false, 0, true, false},  {kRibbonYMCKO, true, 0, false, true},
      {kRibbonYMCKO, true, 1, true, false},   {kRibbonYMCKUv, true, 1, true, false},
      {kRibbonYMCK, false, 0, true, false},   {kRibbonYMCK, true, 0, false, true},
      {kRibbonYMCK, true, 1, true, false},    {kRibbonYMCKK, true, 0, true, true},
      {kRibbonYMCUvK, false, 0, true, false}, {kRibbonYMCKOK, true, 1, false, true},
      {kRibbonYMCKOK, true, 2, true, false},  {kRibbonYMCKOK, true, 3, true, true},
      {kRibbonKResin, false, 0, false, true}, {kRibbonKrO, true, 0, false, true},
      {kRibbonYMC, true, 0, false, false},    {kRibbonUnknown, false, 0, false, false},
  };
  for (const Case &c : cases) {
    const JobSettingsRecord r = record(c.ribbon, c.both, c.layout);
    EXPECT_EQ(blackPanelEnabled(r), c.black) << int(c.ribbon) << " " << c.layout;
    EXPECT_EQ(monoConversionEnabled(r), c.mono) << int(c.ribbon) << " " << c.layout;
  }
  JobSettingsRecord r = record(kRibbonYMCKK);
  r.blackPanelMode = kBlackPanelTextOnly;
  EXPECT_TRUE(evaluateSheet(r, dual()).items[kItemBlackBitmap].disabled);
  r.blackPanelMode = kBlackPanelExceptColourPictures;
  EXPECT_FALSE(evaluateSheet(r, dual()).items[kItemBlackBitmap].disabled);
  r.ribbonType = kRibbonYMC;  // no black panel: no black bitmap either
  EXPECT_TRUE(evaluateSheet(r, dual()).items[kItemBlackBitmap].disabled);
}

TEST(SheetRules, HologramOnOpeningAndAfterRibbonChange) {
  SheetFacts f = dual();
  JobSettingsRecord r = record(kRibbonHologram);
  EXPECT_TRUE(hologramEnabled(r, f));
  r.ribbonType = kRibbonClearVarnish;
  EXPECT_TRUE(hologramEnabled(r, f));
  r.ribbonType = kRibbonYMCKO;
  EXPECT_FALSE(hologramEnabled(r, f));
  r.monoRibbonKind = kMonoClearVarnish;
  EXPECT_TRUE(hologramEnabled(r, f));
  r.monoRibbonKind = kMonoHologram;
  EXPECT_FALSE(hologramEnabled(r, f));
  r.ribbonType = kRibbonMonochrome;
  EXPECT_TRUE(hologramEnabled(r, f));
  f.opening = false;
  r.monoRibbonKind = kMonoScratchOff;
  EXPECT_FALSE(hologramEnabled(r, f));
  r.monoRibbonKind = kMonoHologram;
  EXPECT_TRUE(hologramEnabled(r, f));
}

TEST(SheetRules, PrintingModeNeedsEncoderOrManualRibbon) {
  JobSettingsRecord r = record(kRibbonYMCKO);
  r.jobMode = kJobEncodeOnly;
  EXPECT_EQ(evaluateSheet(r, dual()).items[kItemPrintingMode].choiceDisabled, 0b110u);
  normalisePrintingMode(r, false);
  EXPECT_EQ(r.jobMode, kJobPrint);
  r.jobMode = kJobPrintAndEncode;
  normalisePrintingMode(r, true);
  EXPECT_EQ(r.jobMode, kJobPrintAndEncode);
  r.jobMode = kJobPassThroughCopies;
  normalisePrintingMode(r, true);
  EXPECT_EQ(r.jobMode, kJobPrint);
  r.ribbonId = kManualYMCKO;
  r.jobMode = kJobEncodeOnly;
  normalisePrintingMode(r, false);
  EXPECT_EQ(r.jobMode, kJobEncodeOnly);
  EXPECT_EQ(evaluateSheet(r, dual()).items[kItemPrintingMode].choiceDisabled, 0u);
}

TEST(SheetRules, RibbonItemForms) {
  JobSettingsRecord r = record(kRibbonYMCKO);
  EXPECT_EQ(ribbonForm(r), RibbonForm::Reported);
  r.ribbonId = kManualKrO;
  EXPECT_EQ(ribbonForm(r), RibbonForm::Manual);
  EXPECT_EQ(ribbonSelection(r), 8u);
  chooseRibbon(r, 9);  // "Hologram/Varnish"
  EXPECT_EQ(r.ribbonId, 10);
  EXPECT_EQ(r.ribbonType, kRibbonHologram);
  chooseRibbon(r, 0);  // "YMCKOK"
  EXPECT_EQ(r.ribbonType, kRibbonYMCKOK);
  chooseRibbon(r, 10);  // no such entry
  EXPECT_EQ(r.ribbonId, 1);
  r.ribbonId = 40;
  EXPECT_EQ(ribbonSelection(r), 4u);  // resin black, as its type
  r = record(kRibbonMonochrome);
  r.monoRibbonKind = kMonoScratchOff;
  EXPECT_EQ(ribbonForm(r), RibbonForm::Monochrome);
  EXPECT_EQ(ribbonSelection(r), 1u);
  chooseRibbon(r, 2);
  EXPECT_EQ(r.monoRibbonKind, kMonoClearVarnish);
  EXPECT_EQ(r.ribbonType, kRibbonMonochrome);
}

TEST(SheetRules, RibbonRepliesAndNames) {
  long code = -1;
  const BYTE ok[] = {'1', '7', 6};
  ASSERT_TRUE(ribbonCodeFromReply(ok, sizeof ok, code));
  EXPECT_EQ(code, 17);
  EXPECT_EQ(ribbonTypeFromPrinterCode(code), kRibbonKrO);
  const BYTE noAck[] = {'1', '7'};
  EXPECT_FALSE(ribbonCodeFromReply(noAck, sizeof noAck, code));
  const BYTE ackOnly[] = {6};
  EXPECT_FALSE(ribbonCodeFromReply(ackOnly, sizeof ackOnly, code));
  EXPECT_FALSE(ribbonCodeFromReply(nullptr, 0, code));

  WCHAR buf[200];
  ribbonChangedText(kRibbonKrO, buf, 200);
  EXPECT_EQ(text(buf), u"Ribbon changed to KrO.");
  ribbonChangedText(kRibbonUnknown, buf, 200);
  EXPECT_EQ(text(buf), u"There is no ribbon or unable to communicate to printer.");
  ribbonChangedText(kRibbonMonochrome, buf, 200);
  EXPECT_EQ(text(buf),
            u"Ribbon changed to Unknown Monochrome. Please choose the type of monochrome ribbon installed in your "
            u"printer.");
  ribbonChangedText(kRibbonYMCKO, buf, 8);  // cut, still terminated
  EXPECT_EQ(text(buf), u"Ribbon ");

  EXPECT_EQ(clampCopies(0), 1);
  EXPECT_EQ(clampCopies(-5), 1);
  EXPECT_EQ(clampCopies(3), 3);
  EXPECT_EQ(clampCopies(1000), 999);
}

}  // namespace
}  // namespace card::cfg
