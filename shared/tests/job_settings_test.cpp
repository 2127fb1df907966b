// The job settings record as stored bytes, DEVMODE recognition, and the
// renderer's corrections at the start of a job.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "shared/job_corrections.h"
#include "shared/job_settings.h"
#include "shared/printer_models.h"
#include "shared/ribbons.h"

namespace {

using card::CardDevmode;
using card::JobSettingsRecord;

std::u16string wide(LPCWSTR s) {
  std::u16string r;
  while (*s) r.push_back(char16_t(*s++));
  return r;
}

// Writes little-endian values at the documented offsets of a raw record and
// reads them back through the structure.
TEST(JobSettingsRecord, FieldsSitAtTheirStoredOffsets) {
  std::vector<BYTE> raw(card::kRecordSize, 0);
  auto put16 = [&](size_t off, uint16_t v) {
    raw[off] = BYTE(v);
    raw[off + 1] = BYTE(v >> 8);
  };
  auto put32 = [&](size_t off, uint32_t v) {
    for (int i = 0; i < 4; ++i) raw[off + i] = BYTE(v >> (8 * i));
  };
  put16(0, 0x5A45);
  put16(6, 3);
  put16(8, 1);
  raw[10] = 8;
  raw[11] = 2;
  put16(14, 3);
  put16(18, 1);
  put16(20, 2);
  raw[22] = 3;
  put16(24, 2);
  put16(26, 5);
  put16(28, 2);
  put16(30, 1);
  raw[35] = 7;
  put16(38, 1);
  put16(40, 1);
  std::memcpy(&raw[42], "${", 3);
  std::memcpy(&raw[52], "}$", 3);
  put16(62, 2);
  raw[66] = 2;
  raw[68 + 7 * 2 + 1] = 1;  // track 3 density
  put16(92, 4);
  put32(92 + 4, 10);
  put32(92 + 16, 639);
  raw[92 + 20] = 'C';
  put16(1136, 7);
  put16(1136 + 2, 1);
  put16(2180, 1);
  put16(2182, 3);
  put16(2184, 2);
  raw[3228] = 11;
  raw[3229] = 12;
  raw[3230] = 13;
  raw[3231] = 21;
  raw[3233] = 23;
  raw[3234] = 24;
  raw[3235] = 31;
  raw[3237] = 33;
  raw[3238] = 34;
  put16(3240, uint16_t(-100));
  put16(3246, 100);
  put16(3248, uint16_t(-1));
  put16(3254, 55);
  std::memcpy(&raw[3560], "%B123", 6);
  std::memcpy(&raw[3640], ";456", 5);
  std::memcpy(&raw[3682], ";789", 5);
  put16(3792 + 4, 1);
  raw[3798] = 'C';
  raw[3800] = 'A';
  raw[3802] = '3';

  JobSettingsRecord r;
  static_assert(sizeof r == 3916);
  std::memcpy(&r, raw.data(), raw.size());
  EXPECT_EQ(r.signature, card::kRecordSignature);
  EXPECT_EQ(r.rotate180, 3);
  EXPECT_EQ(r.duplex, 1);
  EXPECT_EQ(r.ribbonType, 8);
  EXPECT_EQ(r.monoRibbonKind, 2);
  EXPECT_EQ(r.dualSideLayout, 3);
  EXPECT_EQ(r.blackBitmap, 1);
  EXPECT_EQ(r.monoConversion, 2);
  EXPECT_EQ(r.blackPanelMode, 3);
  EXPECT_EQ(r.jobMode, 2);
  EXPECT_EQ(r.ribbonId, 5);
  EXPECT_EQ(r.laminateSideLX3, 2);
  EXPECT_EQ(r.laminateSideLX2, 1);
  EXPECT_EQ(r.modelClass, 7);
  EXPECT_EQ(r.hasEncoder, 1);
  EXPECT_EQ(r.macroProcessing, 1);
  EXPECT_STREQ(r.startOfData, "${");
  EXPECT_STREQ(r.endOfData, "}$");
  EXPECT_EQ(r.coercivity, 2);
  EXPECT_EQ(r.encoderType, 2);
  EXPECT_EQ(r.trackFormat[2].density, 1);
  EXPECT_EQ(r.frontOverlay.type, card::kOverlayBitmap);
  EXPECT_EQ(r.frontOverlay.left, 10);
  EXPECT_EQ(r.frontOverlay.bottom, 639);
  EXPECT_EQ(r.frontOverlay.bitmapPath[0], 'C');
  EXPECT_EQ(r.backOverlay.type, card::kOverlayMagStripe);
  EXPECT_EQ(r.backOverlay.rotated, 1);
  EXPECT_EQ(r.hologramEnabled, 1);
  EXPECT_EQ(r.hologramCopies, 3);
  EXPECT_EQ(r.hologramArea.type, 2);
  EXPECT_EQ(r.varnishContrast, 11);
  EXPECT_EQ(r.blackContrast, 12);
  EXPECT_EQ(r.hologramContrast, 13);
  EXPECT_EQ(r.colourIntensity[0], 21);
  EXPECT_EQ(r.colourIntensity[2], 23);
  EXPECT_EQ(r.blackDyeIntensity, 24);
  EXPECT_EQ(r.colourContrast[0], 31);
  EXPECT_EQ(r.colourContrast[2], 33);
  EXPECT_EQ(r.blackDyeContrast, 34);
  EXPECT_EQ(r.monoBrightness, -100);
  EXPECT_EQ(r.yellowBrightness, 100);
  EXPECT_EQ(r.monoContrast, -1);
  EXPECT_EQ(r.yellowContrast, 55);
  EXPECT_STREQ(r.track1Text, "%B123");
  EXPECT_STREQ(r.track2Text, ";456");
  EXPECT_STREQ(r.track3Text, ";789");
  EXPECT_EQ(r.trackPresent[2], 1);
  EXPECT_EQ(wide(r.modelFamily), u"CA3");
}

TEST(JobSettingsRecord, DefaultStandardPart) {
  CardDevmode d{};
  card::fillDefaultStandardPart(d.standard);
  DEVMODEW dm{};
  std::memcpy(&dm, d.standard, card::kStandardPartSize);
  EXPECT_EQ(wide(dm.dmDeviceName), u"Pellor Standard Printer");
  EXPECT_EQ(dm.dmSpecVersion, 0x0401);
  EXPECT_EQ(dm.dmDriverVersion, 1);
  EXPECT_EQ(dm.dmSize, 212);
  EXPECT_EQ(dm.dmDriverExtra, 3916);
  EXPECT_EQ(dm.dmFields, 0x07805F03u);
  EXPECT_EQ(dm.dmOrientation, 2);
  EXPECT_EQ(dm.dmPaperSize, 258);
  EXPECT_EQ(dm.dmPaperLength, 541);
  EXPECT_EQ(dm.dmPaperWidth, 866);
  EXPECT_EQ(dm.dmScale, 100);
  EXPECT_EQ(dm.dmCopies, 1);
  EXPECT_EQ(dm.dmDefaultSource, 256);
  EXPECT_EQ(dm.dmPrintQuality, 300);
  EXPECT_EQ(dm.dmColor, 2);
  EXPECT_EQ(dm.dmDuplex, 1);
  EXPECT_EQ(dm.dmYResolution, 300);
  EXPECT_EQ(dm.dmTTOption, 1);
  EXPECT_EQ(dm.dmCollate, 1);
  EXPECT_EQ(wide(dm.dmFormName), u"86mmx54mm Card");
  EXPECT_EQ(dm.dmLogPixels, 300);
  EXPECT_EQ(dm.dmBitsPerPel, 24u);
  EXPECT_EQ(dm.dmPelsWidth, 640u);
  EXPECT_EQ(dm.dmPelsHeight, 1024u);
  EXPECT_EQ(dm.dmICMMethod, 2u);
  EXPECT_EQ(dm.dmICMIntent, 2u);
  EXPECT_EQ(dm.dmMediaType, 3u);
  EXPECT_EQ(dm.dmDitherType, 0u);
  EXPECT_EQ(dm.dmNup, 0u);
}

// A DEVMODE buffer as an application might hand it over.
struct Input {
  std::vector<BYTE> bytes;
  Input(uint16_t dmSize, uint16_t extra, size_t total = 0) : bytes(total ? total : size_t(dmSize) + extra, 0) {
    std::memcpy(&bytes[68], &dmSize, 2);
    std::memcpy(&bytes[70], &extra, 2);
    bytes[76] = DMORIENT_PORTRAIT;
  }
  void signAt(size_t off) {
    bytes[off] = 0x45;
    bytes[off + 1] = 0x5A;
  }
  void fill(size_t off, size_t n, BYTE v) { std::memset(&bytes[off], v, n); }
};

TEST(DevmodeRecognition, SignatureAtDmSize) {
  Input a(212, 3916);
  a.signAt(212);
  EXPECT_TRUE(card::carriesRecord(a.bytes.data(), a.bytes.size()));
  Input b(212, 3916);
  EXPECT_FALSE(card::carriesRecord(b.bytes.data(), b.bytes.size()));  // wrong signature
  // Too short to hold even the size fields, or the signature itself.
  EXPECT_FALSE(card::carriesRecord(a.bytes.data(), 70));
  EXPECT_FALSE(card::carriesRecord(a.bytes.data(), 213));
  EXPECT_FALSE(card::carriesRecord(nullptr, 4128));
}

TEST(DevmodeRecognition, RendererFindsThePrivatePart) {
  // dmSize 212: the record follows, signature or not.
  Input plain(212, 3916);
  EXPECT_EQ(card::rendererRecordOffset(plain.bytes.data(), plain.bytes.size()), 212u);
  // dmSize 220 with the signature at 220: taken from 220.
  Input signed220(220, 3916);
  signed220.signAt(220);
  EXPECT_EQ(card::rendererRecordOffset(signed220.bytes.data(), signed220.bytes.size()), 220u);
  // dmSize 220 without it: read from 212.
  Input unsigned220(220, 3916);
  EXPECT_EQ(card::rendererRecordOffset(unsigned220.bytes.data(), unsigned220.bytes.size()), 212u);

  CardDevmode out;
  signed220.fill(220 + 10, 1, 8);  // ribbonType
  EXPECT_EQ(card::copyDevmodeForRenderer(signed220.bytes.data(), signed220.bytes.size(), out), 3916u);
  EXPECT_EQ(out.record.signature, card::kRecordSignature);
  EXPECT_EQ(out.record.ribbonType, 8);
  uint16_t size;
  std::memcpy(&size, out.standard + 68, 2);
  EXPECT_EQ(size, 212);
  EXPECT_EQ(out.standard[76], DMORIENT_PORTRAIT);

  unsigned220.fill(212, 8, 0xAB);  // the panning fields become the record's first bytes
  card::copyDevmodeForRenderer(unsigned220.bytes.data(), unsigned220.bytes.size(), out);
  EXPECT_EQ(out.record.signature, 0xABAB);
}

TEST(DevmodeRecognition, RendererNeverReadsPastTheInput) {
  CardDevmode out;
  // dmDriverExtra above 3916 is cut to 3916.
  Input big(212, 5000);
  big.signAt(212);
  big.fill(212 + 3916, 5000 - 3916, 0xEE);
  EXPECT_EQ(card::copyDevmodeForRenderer(big.bytes.data(), big.bytes.size(), out), 3916u);
  uint16_t extra;
  std::memcpy(&extra, out.standard + 70, 2);
  EXPECT_EQ(extra, 3916);
  // A DEVMODE that claims more than it has: only what is there is copied, the
  // rest of the record stays zero.
  Input shortOne(212, 3916, 212 + 100);
  shortOne.signAt(212);
  shortOne.fill(212 + 2, 98, 0x11);
  EXPECT_EQ(card::copyDevmodeForRenderer(shortOne.bytes.data(), shortOne.bytes.size(), out), 100u);
  EXPECT_EQ(out.record.rotate180, 0x1111);
  EXPECT_EQ(out.record.yellowContrast, 0);
  // A standard part alone, and a DEVMODE too short for its own header.
  Input bare(212, 0);
  EXPECT_EQ(card::copyDevmodeForRenderer(bare.bytes.data(), bare.bytes.size(), out), 0u);
  EXPECT_EQ(out.standard[76], DMORIENT_PORTRAIT);
  EXPECT_EQ(card::copyDevmodeForRenderer(bare.bytes.data(), 60, out), 0u);
  // An old, smaller standard part with a record right behind it.
  Input old(156, 3916);
  old.signAt(156);
  old.fill(156 + 10, 1, 3);
  EXPECT_EQ(card::copyDevmodeForRenderer(old.bytes.data(), old.bytes.size(), out), 3916u);
  EXPECT_EQ(out.record.ribbonType, 3);
  EXPECT_EQ(card::claimedDevmodeSize(reinterpret_cast<const DEVMODEW *>(old.bytes.data())), 156u + 3916u);
}

TEST(RibbonTables, ManualChoiceToType) {
  const uint8_t expected[] = {1, 8, 7, 0, 12, 1, 6, 5, 2, 3, 4, 1};  // ids 0..11
  for (unsigned id = 0; id < std::size(expected); ++id) EXPECT_EQ(card::ribbonTypeFromId(id), expected[id]) << id;
  EXPECT_EQ(card::ribbonTypeFromId(65535), 1);
}

TEST(RibbonTables, PrinterCodeToType) {
  // codes 0..31
  const uint8_t expected[] = {15, 14, 0,  6, 7, 8, 5,  1,  1,  1,  1,  1,  1,  1,  0, 6,
                              2,  3,  10, 4, 4, 9, 11, 12, 12, 11, 12, 12, 13, 15, 0, 15};
  for (long code = 0; code < long(std::size(expected)); ++code)
    EXPECT_EQ(card::ribbonTypeFromPrinterCode(code), expected[code]) << code;
  EXPECT_EQ(card::ribbonTypeFromPrinterCode(-1), 15);
  EXPECT_EQ(card::ribbonTypeFromPrinterCode(100000), 15);
}

TEST(RibbonTables, LayoutsNamesAndCounts) {
  const unsigned counts[] = {3, 1, 1, 1, 1, 1, 2, 2, 4, 1, 1, 3, 2, 1, 1, 1};
  for (uint8_t t = 0; t < 16; ++t) EXPECT_EQ(card::dualSideLayoutCount(t), counts[t]) << int(t);
  const LPCWSTR *labels = nullptr;
  ASSERT_EQ(card::panelLayoutLabels(card::kRibbonYMCKOK, 0, true, labels), 4u);
  EXPECT_EQ(wide(labels[3]), u"Front YMCK, Back K");
  ASSERT_EQ(card::panelLayoutLabels(card::kRibbonYMCKUv, 0, false, labels), 1u);
  EXPECT_EQ(wide(labels[0]), u"Print YMCKUv");
  ASSERT_EQ(card::panelLayoutLabels(card::kRibbonKd, 0, true, labels), 1u);
  EXPECT_EQ(wide(labels[0]), u"Front and Back Thermal");
  ASSERT_EQ(card::panelLayoutLabels(card::kRibbonMonochrome, card::kMonoHologram, false, labels), 1u);
  EXPECT_EQ(wide(labels[0]), u"Front Hologram");
  ASSERT_EQ(card::panelLayoutLabels(card::kRibbonMonochrome, 9, true, labels), 1u);
  EXPECT_EQ(wide(labels[0]), u"Front and Back K");
  ASSERT_EQ(card::panelLayoutLabels(15, 0, true, labels), 1u);
  EXPECT_EQ(wide(labels[0]), u"None");
  EXPECT_EQ(wide(card::ribbonDisplayName(14)), u"Unknown Monochrome");
  EXPECT_EQ(wide(card::ribbonDisplayName(200)), u"None");
  EXPECT_EQ(wide(card::manualRibbonName(5)), u"K Resin / Scratch Off");
  EXPECT_EQ(card::manualRibbonName(11), nullptr);
}

TEST(PrinterModels, ClassesAndAbilities) {
  struct Case {
    const char *text;
    uint8_t renderer, config;
    bool bothSides;
    const char *family;
  } cases[] = {
      {"Pellor QA1 v1.02", 1, 1, false, "CA3"},
      {"QA2", 2, 2, false, "CA3"},
      {"CX1", 3, 3, false, "CA3"},
      {"QA3", 4, 4, false, "CA3"},
      {"CA1 V3.1", 4, 3, false, "CA1"},
      {"QA4", 0, 0, false, "CA1"},
      {"CA2", 0, 3, false, "CA1"},
      {"QA5", 5, 5, true, "CA3"},
      {"QA6", 5, 5, true, "CA3"},
      {"LX2 laminator", 6, 0, true, "CA3"},
      {"LX3", 7, 0, true, "CA3"},
      {"CA3 1.2.3", 5, 5, true, "CA3"},
      {"", 0, 0, false, "CA3"},
      {"QA5 QA1", 1, 1, true, "CA3"},  // the first rule in table order wins, not the first in the text
  };
  for (const auto &c : cases) {
    EXPECT_EQ(card::rendererModelClass(c.text), c.renderer) << c.text;
    EXPECT_EQ(card::configModelClass(c.text), c.config) << c.text;
    EXPECT_EQ(card::modelPrintsBothSides(c.text), c.bothSides) << c.text;
    EXPECT_STREQ(card::modelFamily(c.text), c.family) << c.text;
  }
  EXPECT_EQ(card::rendererModelClass(nullptr), 0);
  EXPECT_TRUE(card::isLaminatorClass(6));
  EXPECT_TRUE(card::isLaminatorClass(7));
  EXPECT_FALSE(card::isLaminatorClass(5));
  EXPECT_TRUE(card::lacksThirdTrack("QA2"));
  EXPECT_TRUE(card::isLX3Model("xLX3"));
  EXPECT_TRUE(card::isDualSidedModel("CA3"));
  EXPECT_FALSE(card::isDualSidedModel("LX2"));
}

JobSettingsRecord twoSided(uint8_t layout) {
  JobSettingsRecord r{};
  r.signature = card::kRecordSignature;
  r.duplex = 1;
  r.dualSideLayout = layout;
  r.hasEncoder = 1;
  return r;
}

TEST(JobCorrections, ManualRibbon) {
  JobSettingsRecord r{};
  r.ribbonId = 5;
  r.ribbonType = 0;
  card::applyManualRibbon(r);
  EXPECT_EQ(r.ribbonType, card::kRibbonKResin);
  r.ribbonId = 0;
  r.ribbonType = 9;
  card::applyManualRibbon(r);
  EXPECT_EQ(r.ribbonType, 9);
}

TEST(JobCorrections, LayoutBeyondTheRibbonsListIsReset) {
  JobSettingsRecord r = twoSided(3);
  EXPECT_TRUE(card::applyPrinterAnswer(r, 2, "CA3"));  // YMCKO: three layouts
  EXPECT_EQ(r.ribbonType, card::kRibbonYMCKO);
  EXPECT_EQ(r.dualSideLayout, 0);
  EXPECT_EQ(r.duplex, 1);
  r = twoSided(3);
  EXPECT_TRUE(card::applyPrinterAnswer(r, 5, "CA3"));  // YMCKOK: four
  EXPECT_EQ(r.dualSideLayout, 3);
}

TEST(JobCorrections, ModelDecidesSidesRotationAndClass) {
  JobSettingsRecord r = twoSided(1);
  r.rotate180 = 3;
  EXPECT_TRUE(card::applyPrinterAnswer(r, 2, "CA1"));
  EXPECT_EQ(r.modelClass, 4);
  EXPECT_EQ(r.duplex, 0);
  EXPECT_EQ(r.rotate180, 1);
  r = twoSided(1);
  r.rotate180 = 2;
  card::applyPrinterAnswer(r, 2, "QA4");
  EXPECT_EQ(r.duplex, 0);
  EXPECT_EQ(r.rotate180, 0);
  r = twoSided(1);
  r.rotate180 = 3;
  card::applyPrinterAnswer(r, 2, "LX2");
  EXPECT_EQ(r.modelClass, 6);
  EXPECT_EQ(r.duplex, 1);
  EXPECT_EQ(r.rotate180, 3);
}

TEST(JobCorrections, JobModeWithoutEncoder) {
  struct Case {
    const char *model;
    uint16_t mode, expected;
  } cases[] = {
      {"CA3", 1, 0}, {"CA3", 2, 0}, {"CA3", 3, 0},  // no encoder: print only
      {"LX3", 1, 0}, {"LX3", 2, 2}, {"LX2", 3, 3},  // laminators keep modes other than encode-only
  };
  for (const auto &c : cases) {
    JobSettingsRecord r{};
    r.jobMode = c.mode;
    r.hasEncoder = 0;
    card::applyPrinterAnswer(r, 2, c.model);
    EXPECT_EQ(r.jobMode, c.expected) << c.model << " " << c.mode;
  }
  JobSettingsRecord r{};
  r.jobMode = 1;
  r.hasEncoder = 1;
  card::applyPrinterAnswer(r, 2, "CA3");
  EXPECT_EQ(r.jobMode, 1);
}

TEST(JobCorrections, UnknownRibbonRefusesPrintingButNotEncoding) {
  JobSettingsRecord r{};
  r.hasEncoder = 1;
  r.jobMode = 0;
  EXPECT_FALSE(card::applyPrinterAnswer(r, 0, "CA3"));
  EXPECT_EQ(r.ribbonType, card::kRibbonUnknown);
  r.jobMode = 2;
  EXPECT_FALSE(card::applyPrinterAnswer(r, 99, "CA3"));
  r.jobMode = 1;
  EXPECT_TRUE(card::applyPrinterAnswer(r, 99, "CA3"));
  r.jobMode = 1;
  r.hasEncoder = 0;  // encode-only without an encoder becomes a print job
  EXPECT_FALSE(card::applyPrinterAnswer(r, 99, "CA3"));
}

TEST(JobCorrections, EncodeOnlyAndCopies) {
  JobSettingsRecord r = twoSided(0);
  r.jobMode = 1;
  card::applyEncodeOnlySingleSided(r);
  EXPECT_EQ(r.duplex, 0);
  r = twoSided(0);
  card::applyEncodeOnlySingleSided(r);
  EXPECT_EQ(r.duplex, 1);
  EXPECT_EQ(card::effectiveCopies(1001), 1000);
  EXPECT_EQ(card::effectiveCopies(1000), 1000);
  EXPECT_EQ(card::effectiveCopies(7), 7);
  EXPECT_EQ(card::effectiveCopies(0), 1);
  EXPECT_EQ(card::effectiveCopies(-5), 1);
}

}  // namespace
