// The settings exchange rules on plain records: driver default, the two merge
// branches, application fields, the sheet-less steps, printer replies and the
// capability answers.
#include "config/exchange.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace card::cfg {
namespace {

std::u16string family(const JobSettingsRecord &r) {
  std::u16string s;
  for (WCHAR c : r.modelFamily) {
    if (!c) break;
    s.push_back(char16_t(c));
  }
  return s;
}

template <typename T>
T field(const CardDevmode &dm, size_t offset) {
  T v;
  std::memcpy(&v, dm.standard + offset, sizeof v);
  return v;
}

// An application's DEVMODE of `size` standard bytes and `extra` private ones.
std::vector<BYTE> appDevmode(WORD size, WORD extra) {
  std::vector<BYTE> b(size_t(size) + extra, 0);
  std::memcpy(b.data() + offsetof(DEVMODEW, dmSize), &size, 2);
  std::memcpy(b.data() + offsetof(DEVMODEW, dmDriverExtra), &extra, 2);
  return b;
}

template <typename T>
void put(std::vector<BYTE> &b, size_t offset, T v) {
  std::memcpy(b.data() + offset, &v, sizeof v);
}

TEST(CfgDriverDefault, WholeFileGivesTheDefaultsAndAlwaysBothSides) {
  std::vector<BYTE> file(5000, 0);
  put<uint16_t>(file, 0, kRecordSignature);
  file[10] = 3;  // ribbon type
  CardDevmode out;
  std::memset(&out, 0xCC, sizeof out);
  EXPECT_TRUE(buildDriverDefault(out, file.data(), file.size()));
  EXPECT_EQ(out.record.signature, kRecordSignature);
  EXPECT_EQ(out.record.ribbonType, 3);
  EXPECT_EQ(out.record.duplex, 1);
  // The standard part of the defaults table.
  EXPECT_EQ(field<WORD>(out, offsetof(DEVMODEW, dmSize)), 212);
  EXPECT_EQ(field<WORD>(out, offsetof(DEVMODEW, dmDriverExtra)), 3916);
  EXPECT_EQ(field<DWORD>(out, offsetof(DEVMODEW, dmFields)), 0x07805F03u);
  EXPECT_EQ(field<int16_t>(out, offsetof(DEVMODEW, dmOrientation)), 2);
  EXPECT_EQ(field<int16_t>(out, offsetof(DEVMODEW, dmPaperSize)), 258);
  EXPECT_EQ(field<int16_t>(out, offsetof(DEVMODEW, dmPaperWidth)), 866);
  EXPECT_EQ(field<int16_t>(out, offsetof(DEVMODEW, dmPaperLength)), 541);

  // A file that holds duplex 0 still gives a two-sided default.
  put<uint16_t>(file, 8, 0);
  EXPECT_TRUE(buildDriverDefault(out, file.data(), file.size()));
  EXPECT_EQ(out.record.duplex, 1);
}

TEST(CfgDriverDefault, ShortFileKeepsWhatWasReadWithoutBothSides) {
  std::vector<BYTE> file(100, 0x11);
  CardDevmode out;
  std::memset(&out, 0, sizeof out);
  EXPECT_FALSE(buildDriverDefault(out, file.data(), file.size()));
  EXPECT_EQ(field<WORD>(out, offsetof(DEVMODEW, dmSize)), 212);
  EXPECT_EQ(out.record.duplex, 0x1111);     // as read, not set
  EXPECT_EQ(out.record.modelFamily[0], 0);  // beyond the file: untouched
}

TEST(CfgMerge, WorkingCopyBranchTakesApplicationStandardPartAndModelRule) {
  JobSettingsRecord working{};
  working.signature = kRecordSignature;
  working.duplex = 1;
  working.ribbonType = 6;
  auto in = appDevmode(212, 3916);
  put<int16_t>(in, offsetof(DEVMODEW, dmOrientation), 1);
  put<int16_t>(in, offsetof(DEVMODEW, dmCopies), 7);
  in[212 + 10] = 9;  // the application's record is not taken
  CardDevmode out{};
  EXPECT_EQ(mergeFromWorkingCopy(reinterpret_cast<DEVMODEW *>(in.data()), out, working, true), kMergeDone);
  EXPECT_EQ(field<int16_t>(out, offsetof(DEVMODEW, dmOrientation)), 1);
  EXPECT_EQ(field<int16_t>(out, offsetof(DEVMODEW, dmCopies)), 7);
  EXPECT_EQ(out.record.ribbonType, 6);
  EXPECT_EQ(out.record.duplex, 0);
  EXPECT_EQ(working.duplex, 0);
  EXPECT_EQ(family(working), u"CA1");

  working.duplex = 1;
  EXPECT_EQ(mergeFromWorkingCopy(reinterpret_cast<DEVMODEW *>(in.data()), out, working, false), kMergeDone);
  EXPECT_EQ(out.record.duplex, 1);
  EXPECT_EQ(family(out.record), u"CA3");
}

TEST(CfgMerge, WorkingCopyBranchRefusesShortInputAndNormalisesLongStandardPart) {
  JobSettingsRecord working{};
  working.signature = kRecordSignature;
  CardDevmode out{};
  out.record.ribbonType = 4;
  auto small = appDevmode(212, 3915);
  EXPECT_EQ(mergeFromWorkingCopy(reinterpret_cast<DEVMODEW *>(small.data()), out, working, false), kMergeFailed);
  EXPECT_EQ(out.record.ribbonType, 4);
  EXPECT_EQ(mergeFromWorkingCopy(nullptr, out, working, false), kMergeFailed);

  // A 220-byte standard part (with the panning fields) still gives a card
  // DEVMODE whose record follows 212 bytes of standard part.
  auto big = appDevmode(220, 3916);
  put<int16_t>(big, offsetof(DEVMODEW, dmCopies), 3);
  EXPECT_EQ(mergeFromWorkingCopy(reinterpret_cast<DEVMODEW *>(big.data()), out, working, false), kMergeDone);
  EXPECT_EQ(field<WORD>(out, offsetof(DEVMODEW, dmSize)), 212);
  EXPECT_EQ(field<WORD>(out, offsetof(DEVMODEW, dmDriverExtra)), 3916);
  EXPECT_EQ(field<int16_t>(out, offsetof(DEVMODEW, dmCopies)), 3);
}

TEST(CfgMerge, PrinterModelValueDecidesWhetherTheWorkingCopyStays) {
  JobSettingsRecord r{};
  applyModelRule(r, true);  // "CA1"
  EXPECT_FALSE(keepWorkingCopy(r, false, 0));
  EXPECT_FALSE(keepWorkingCopy(r, true, kModelOther));
  EXPECT_TRUE(keepWorkingCopy(r, true, kModelSingleSided));
  applyModelRule(r, false);  // "CA3"
  EXPECT_FALSE(keepWorkingCopy(r, true, kModelSingleSided));
  EXPECT_TRUE(keepWorkingCopy(r, true, kModelOther));
}

class CfgPrinterDefaultMerge : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(&printer, 0, sizeof printer);
    fillDefaultStandardPart(printer.standard);
    printer.record.signature = kRecordSignature;
    printer.record.duplex = 1;
    printer.record.ribbonType = 0;
    working = JobSettingsRecord{};
  }
  CardDevmode printer, out;
  JobSettingsRecord working;
};

TEST_F(CfgPrinterDefaultMerge, UninitialisedCopyTakesThePrinterRecord) {
  printer.record.ribbonType = 8;
  PrinterMergeFacts f;
  f.singleSided = true;
  mergeFromPrinterDefault(printer, out, working, f);
  EXPECT_EQ(working.signature, kRecordSignature);
  EXPECT_EQ(working.ribbonType, 8);
  EXPECT_EQ(working.duplex, 0);
  EXPECT_EQ(family(working), u"CA1");
  EXPECT_EQ(out.record.duplex, 0);
  EXPECT_EQ(family(out.record), u"CA1");
}

TEST_F(CfgPrinterDefaultMerge, ManualRibbonSetsTheTypeInBothCopies) {
  printer.record.ribbonId = 5;  // resin black
  printer.record.ribbonType = 0;
  working.signature = kRecordSignature;
  applyModelRule(working, false);
  working.ribbonType = 0;
  PrinterMergeFacts f{true, true, kModelOther, false};
  mergeFromPrinterDefault(printer, out, working, f);
  EXPECT_EQ(working.ribbonType, 1);
  EXPECT_EQ(out.record.ribbonType, 1);

  printer.record.ribbonId = 3;  // YMCKO
  mergeFromPrinterDefault(printer, out, working, f);
  EXPECT_EQ(out.record.ribbonType, 0);
}

TEST_F(CfgPrinterDefaultMerge, KeptWorkingCopyBecomesTheOutputRecord) {
  working.signature = kRecordSignature;
  working.ribbonType = 11;
  working.duplex = 1;
  applyModelRule(working, false);
  PrinterMergeFacts f{true, true, kModelOther, false};
  mergeFromPrinterDefault(printer, out, working, f);
  EXPECT_EQ(out.record.ribbonType, 11);
  EXPECT_EQ(out.record.duplex, 1);

  // The printer changed to a single-sided model: the stored value no longer
  // matches, so the printer's record comes back, printed on one side.
  f = {true, true, kModelSingleSided, true};
  mergeFromPrinterDefault(printer, out, working, f);
  EXPECT_EQ(out.record.ribbonType, 0);
  EXPECT_EQ(out.record.duplex, 0);
  EXPECT_EQ(family(out.record), u"CA1");
}

TEST(CfgMerge, ApplicationFieldsOnlyWhereTheInputHasThem) {
  CardDevmode out{};
  fillDefaultStandardPart(out.standard);
  auto in = appDevmode(212, 0);
  put<int16_t>(in, offsetof(DEVMODEW, dmOrientation), 1);
  put<int16_t>(in, offsetof(DEVMODEW, dmCopies), 4);
  put<int16_t>(in, offsetof(DEVMODEW, dmPaperWidth), 500);
  put<int16_t>(in, offsetof(DEVMODEW, dmPaperLength), 300);
  applyApplicationFields(reinterpret_cast<DEVMODEW *>(in.data()), out);
  EXPECT_EQ(field<int16_t>(out, offsetof(DEVMODEW, dmOrientation)), 1);
  EXPECT_EQ(field<int16_t>(out, offsetof(DEVMODEW, dmCopies)), 4);
  EXPECT_EQ(field<int16_t>(out, offsetof(DEVMODEW, dmPaperWidth)), 866);  // no DM_PAPERSIZE
  put<DWORD>(in, offsetof(DEVMODEW, dmFields), DM_PAPERSIZE);
  applyApplicationFields(reinterpret_cast<DEVMODEW *>(in.data()), out);
  EXPECT_EQ(field<int16_t>(out, offsetof(DEVMODEW, dmPaperWidth)), 500);
  EXPECT_EQ(field<int16_t>(out, offsetof(DEVMODEW, dmPaperLength)), 300);

  // A DEVMODE whose standard part ends before dmCopies gives orientation only.
  fillDefaultStandardPart(out.standard);
  auto tiny = appDevmode(WORD(offsetof(DEVMODEW, dmCopies)), 0);
  put<int16_t>(tiny, offsetof(DEVMODEW, dmOrientation), 1);
  applyApplicationFields(reinterpret_cast<DEVMODEW *>(tiny.data()), out);
  EXPECT_EQ(field<int16_t>(out, offsetof(DEVMODEW, dmOrientation)), 1);
  EXPECT_EQ(field<int16_t>(out, offsetof(DEVMODEW, dmCopies)), 1);
}

TEST(CfgMerge, ApplicationValuesOutOfRangeLeaveThePrintersInPlace) {
  CardDevmode out{};
  fillDefaultStandardPart(out.standard);
  const int16_t portrait = 1;
  std::memcpy(out.standard + offsetof(DEVMODEW, dmOrientation), &portrait, 2);
  auto in = appDevmode(220, 0);
  put<DWORD>(in, offsetof(DEVMODEW, dmFields), DM_ORIENTATION | DM_COPIES | DM_PAPERSIZE);
  put<int16_t>(in, offsetof(DEVMODEW, dmOrientation), -12143);
  put<int16_t>(in, offsetof(DEVMODEW, dmCopies), 3605);
  put<int16_t>(in, offsetof(DEVMODEW, dmPaperWidth), 0);
  put<int16_t>(in, offsetof(DEVMODEW, dmPaperLength), 400);
  applyApplicationFields(reinterpret_cast<DEVMODEW *>(in.data()), out);
  EXPECT_EQ(field<int16_t>(out, offsetof(DEVMODEW, dmOrientation)), 1);
  EXPECT_EQ(field<int16_t>(out, offsetof(DEVMODEW, dmCopies)), 1);
  EXPECT_EQ(field<int16_t>(out, offsetof(DEVMODEW, dmPaperWidth)), 866);
  EXPECT_EQ(field<int16_t>(out, offsetof(DEVMODEW, dmPaperLength)), 400);
  // The ends of the copies range are taken.
  for (int16_t copies : {1, 999}) {
    put<int16_t>(in, offsetof(DEVMODEW, dmCopies), copies);
    applyApplicationFields(reinterpret_cast<DEVMODEW *>(in.data()), out);
    EXPECT_EQ(field<int16_t>(out, offsetof(DEVMODEW, dmCopies)), copies);
  }
  put<int16_t>(in, offsetof(DEVMODEW, dmCopies), 1000);
  applyApplicationFields(reinterpret_cast<DEVMODEW *>(in.data()), out);
  EXPECT_EQ(field<int16_t>(out, offsetof(DEVMODEW, dmCopies)), 999);
}

TEST(CfgMerge, WorkingCopyBranchRepairsTheApplicationsStandardPart) {
  JobSettingsRecord working{};
  working.signature = kRecordSignature;
  working.blackContrast = 9;
  working.colourContrast[1] = 250;  // a damaged copy does not go out either
  auto in = appDevmode(212, 3916);
  put<DWORD>(in, offsetof(DEVMODEW, dmFields), 0xFFFFFFFF);
  put<int16_t>(in, offsetof(DEVMODEW, dmCopies), 3605);
  put<int16_t>(in, offsetof(DEVMODEW, dmOrientation), -12143);
  put<int16_t>(in, offsetof(DEVMODEW, dmPaperSize), 29145);
  put<int16_t>(in, offsetof(DEVMODEW, dmColor), 1);  // in range: the application's
  for (size_t i = 0; i < 32; ++i) put<WCHAR>(in, 2 * i, WCHAR('X'));
  CardDevmode out{};
  EXPECT_EQ(mergeFromWorkingCopy(reinterpret_cast<DEVMODEW *>(in.data()), out, working, false), kMergeDone);
  EXPECT_EQ(field<int16_t>(out, offsetof(DEVMODEW, dmCopies)), 1);
  EXPECT_EQ(field<int16_t>(out, offsetof(DEVMODEW, dmOrientation)), 2);
  EXPECT_EQ(field<int16_t>(out, offsetof(DEVMODEW, dmPaperSize)), 258);
  EXPECT_EQ(field<int16_t>(out, offsetof(DEVMODEW, dmColor)), 1);
  EXPECT_EQ(field<WCHAR>(out, 2 * 30), WCHAR('X'));
  EXPECT_EQ(field<WCHAR>(out, 2 * 31), 0);
  EXPECT_EQ(out.record.blackContrast, 9);
  EXPECT_EQ(out.record.colourContrast[1], 5);
  EXPECT_EQ(working.colourContrast[1], 5);
}

TEST_F(CfgPrinterDefaultMerge, DamagedPrinterDefaultIsRepairedOnItsWayOut) {
  const int16_t copies = -3;
  std::memcpy(printer.standard + offsetof(DEVMODEW, dmCopies), &copies, 2);
  printer.record.jobMode = 9;
  printer.record.varnishContrast = 7;
  mergeFromPrinterDefault(printer, out, working, PrinterMergeFacts{});
  EXPECT_EQ(field<int16_t>(out, offsetof(DEVMODEW, dmCopies)), 1);
  EXPECT_EQ(out.record.jobMode, 0);
  EXPECT_EQ(out.record.varnishContrast, 7);
  EXPECT_EQ(working.jobMode, 0);
}

TEST(CfgMerge, PublicOnlyByTheSizeTheDevmodeClaims) {
  auto claim = [](WORD size, WORD extra) {
    auto b = appDevmode(size, extra);
    return publicOnly(reinterpret_cast<DEVMODEW *>(b.data()));
  };
  EXPECT_TRUE(claim(220, 0));
  EXPECT_TRUE(claim(212, 0));
  EXPECT_TRUE(claim(212, 3915));
  EXPECT_FALSE(claim(212, 3916));
  EXPECT_FALSE(claim(220, 3908));
}

TEST(CfgSheetless, StepsByModeOutputAndBufferSize) {
  EXPECT_EQ(sheetlessStep(0, true, 4128), SheetlessStep::ReportSize);
  EXPECT_EQ(sheetlessStep(DM_COPY, false, 0), SheetlessStep::ReportSize);
  EXPECT_EQ(sheetlessStep(DM_COPY, true, 4127), SheetlessStep::BufferTooSmall);
  EXPECT_EQ(sheetlessStep(DM_COPY, true, 4128), SheetlessStep::Exchange);
  EXPECT_EQ(sheetlessStep(DM_COPY, true, 8000), SheetlessStep::Exchange);
  EXPECT_EQ(sheetlessStep(DM_UPDATE, true, 4128), SheetlessStep::Exchange);
  EXPECT_EQ(sheetlessStep(DM_PROMPT, true, 4128), SheetlessStep::NothingToDo);
  EXPECT_EQ(sheetlessStep(DM_COPY | DM_NOPERMISSION, true, 4128), SheetlessStep::NothingToDo);
}

TEST(CfgReplies, EncoderRibbonAndModelText) {
  PrinterEquipment eq;
  readEncoderReply(reinterpret_cast<const BYTE *>("1 210 75\x06"), 9, eq);
  EXPECT_TRUE(eq.encoder);
  EXPECT_TRUE(eq.answered);

  PrinterEquipment none;
  readEncoderReply(reinterpret_cast<const BYTE *>("0\x06"), 2, none);
  EXPECT_FALSE(none.encoder);
  EXPECT_FALSE(none.answered);
  EXPECT_TRUE(readRibbonReply(reinterpret_cast<const BYTE *>("17\x06"), 3, none));
  EXPECT_EQ(none.ribbonType, 3);  // code 17 is KrO
  EXPECT_TRUE(none.answered);
  EXPECT_TRUE(readRibbonReply(reinterpret_cast<const BYTE *>("99\x06"), 3, none));
  EXPECT_EQ(none.ribbonType, 15);
  PrinterEquipment bad;
  EXPECT_FALSE(readRibbonReply(reinterpret_cast<const BYTE *>("17"), 2, bad));
  EXPECT_FALSE(readRibbonReply(reinterpret_cast<const BYTE *>("\x06"), 1, bad));
  EXPECT_EQ(bad.ribbonType, 15);
  EXPECT_FALSE(bad.answered);

  JobSettingsRecord r{};
  r.ribbonType = 3;
  EXPECT_TRUE(equipmentChanged(DM_COPY, none, r));  // the printer reported ribbon 15
  none.ribbonType = 3;
  EXPECT_FALSE(equipmentChanged(DM_COPY, none, r));
  none.encoder = true;
  EXPECT_TRUE(equipmentChanged(DM_COPY, none, r));
  EXPECT_FALSE(equipmentChanged(DM_COPY | DM_UPDATE, none, r));
  none.answered = false;
  EXPECT_FALSE(equipmentChanged(DM_COPY, none, r));

  char text[8];
  EXPECT_EQ(modelTextFromReply(reinterpret_cast<const BYTE *>("CA3 V1\x06"), 7, text, sizeof text), 6u);
  EXPECT_STREQ(text, "CA3 V1");
  EXPECT_EQ(modelTextFromReply(reinterpret_cast<const BYTE *>("CA1 V2"), 6, text, sizeof text), 6u);
  EXPECT_STREQ(text, "CA1 V2");
  EXPECT_EQ(modelTextFromReply(reinterpret_cast<const BYTE *>("QA5 long reply\x06"), 15, text, sizeof text), 7u);
  EXPECT_STREQ(text, "QA5 lon");
}

TEST(Capabilities, FixedAnswers) {
  struct Row {
    WORD cap;
    DWORD result;
  };
  const Row rows[] = {
      {DC_FIELDS, 0x07805F03}, {DC_PAPERS, 1},
      {DC_PAPERSIZE, 1},       {DC_MINEXTENT, 0},
      {DC_MAXEXTENT, 0},       {DC_BINS, 1},
      {DC_DUPLEX, 1},          {DC_SIZE, 212},
      {DC_EXTRA, 3916},        {DC_VERSION, 0x0401},
      {DC_DRIVER, 1},          {DC_BINNAMES, 1},
      {DC_ENUMRESOLUTIONS, 1}, {DC_FILEDEPENDENCIES, 0},
      {DC_TRUETYPE, 1},        {DC_PAPERNAMES, 1},
      {DC_ORIENTATION, 90},    {DC_COPIES, 999},
      {DC_BINADJUST, 0},       {DC_EMF_COMPLIANT, DWORD(-1)},
      {DC_MEDIAREADY, 1},      {DC_STAPLE, 0},
      {DC_COLORDEVICE, 1},     {21, DWORD(-1)},
      {99, DWORD(-1)},
  };
  for (const Row &r : rows) EXPECT_EQ(deviceCapability(r.cap, false, 0).result, r.result) << r.cap;

  EXPECT_EQ(deviceCapability(DC_PAPERS, false, 0).values[0], 258);
  EXPECT_EQ(deviceCapability(DC_BINS, false, 0).values[0], 256);
  auto res = deviceCapability(DC_ENUMRESOLUTIONS, false, 0);
  EXPECT_EQ(res.output, CapabilityOutput::Longs);
  EXPECT_EQ(res.values[0], 300);
  EXPECT_EQ(res.values[1], 300);
  EXPECT_EQ(deviceCapability(DC_BINNAMES, false, 0).textId, 2018u);
  EXPECT_EQ(deviceCapability(DC_PAPERNAMES, false, 0).textId, 2017u);
  EXPECT_EQ(deviceCapability(DC_MEDIAREADY, false, 0).textId, 2017u);
  EXPECT_EQ(deviceCapability(DC_DUPLEX, false, 0).output, CapabilityOutput::None);
}

TEST(Capabilities, PaperSizeAndMaxExtentFollowOrientationOppositely) {
  auto size = [](bool given, int16_t o) {
    auto a = deviceCapability(DC_PAPERSIZE, given, o);
    return std::make_pair(a.values[0], a.values[1]);
  };
  EXPECT_EQ(size(true, 2), std::make_pair(LONG(866), LONG(541)));
  EXPECT_EQ(size(true, 1), std::make_pair(LONG(541), LONG(866)));
  EXPECT_EQ(size(false, 0), std::make_pair(LONG(541), LONG(866)));

  auto ext = deviceCapability(DC_MAXEXTENT, true, 1);
  EXPECT_EQ(ext.output, CapabilityOutput::Points);
  EXPECT_EQ(ext.values[0], 541);
  EXPECT_EQ(ext.values[1], 866);
  ext = deviceCapability(DC_MAXEXTENT, true, 2);
  EXPECT_EQ(ext.values[0], 866);
  EXPECT_EQ(ext.values[1], 541);
  EXPECT_EQ(deviceCapability(DC_MAXEXTENT, false, 0).output, CapabilityOutput::None);
  auto min = deviceCapability(DC_MINEXTENT, false, 0);
  EXPECT_EQ(min.values[0], 1);
  EXPECT_EQ(min.values[1], 1);
}

// DEVMODEs from applications: any dmSize and dmDriverExtra, in a buffer of
// exactly the size they claim, so that the sanitizer build catches a read
// beyond it.  Fixed random starting value, the same cases every run.
TEST(CfgOutsideDevmodes, ReadersStayInsideWhatTheDevmodeClaims) {
  std::mt19937 rng(20261207);
  JobSettingsRecord working{};
  working.signature = kRecordSignature;
  for (int i = 0; i < 2000; ++i) {
    WORD size = WORD(rng() % 400), extra = WORD(i % 3 == 0 ? 3916 + rng() % 300 : rng() % 5000);
    size_t claimed = size_t(size) + extra, have = claimed < 72 ? 72 : claimed;
    std::vector<BYTE> bytes(have);
    for (BYTE &b : bytes) b = BYTE(rng());
    std::memcpy(bytes.data() + offsetof(DEVMODEW, dmSize), &size, 2);
    std::memcpy(bytes.data() + offsetof(DEVMODEW, dmDriverExtra), &extra, 2);
    auto *dm = reinterpret_cast<const DEVMODEW *>(bytes.data());
    CardDevmode out{};
    LONG r = mergeFromWorkingCopy(dm, out, working, i % 2 == 0);
    EXPECT_EQ(r, claimed >= kCardDevmodeSize ? kMergeDone : kMergeFailed);
    if (r == kMergeDone) {
      EXPECT_EQ(std::memcmp(&out.record, &working, sizeof working), 0);
    }
    applyApplicationFields(dm, out);
    int16_t v;
    EXPECT_EQ(readStandardShort(dm, offsetof(DEVMODEW, dmCopies), v), size >= offsetof(DEVMODEW, dmCopies) + 2);
    usablePrinterDefault(dm, have);
  }
}

}  // namespace
}  // namespace card::cfg
