// The ranges of the job settings and of the standard DEVMODE fields, and the
// repair of a DEVMODE that holds values outside them.  Offsets, ranges and
// defaults are written out here from the record's definition, the dialogs that
// edit each field and the installer's default settings file, not taken from
// the code's tables.
#include "shared/settings_ranges.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using card::CardDevmode;
using card::JobSettingsRecord;

struct Field {
  const char *name;
  size_t offset;
  int width;
  bool isSigned;
  long low, high, installerDefault;
};

// Every setting with a documented range.
const Field kFields[] = {
    {"rotate180", 6, 2, true, 0, 3, 0},
    {"duplex", 8, 2, false, 0, 1, 1},
    {"ribbonType", 10, 1, false, 0, 15, 1},
    {"monoRibbonKind", 11, 1, false, 0, 3, 0},
    {"dualSideLayout", 14, 2, false, 0, 3, 0},
    {"blackBitmap", 18, 2, true, 0, 1, 1},
    {"monoConversion", 20, 2, true, 0, 3, 0},
    {"blackPanelMode", 22, 1, false, 0, 3, 1},
    {"jobMode", 24, 2, false, 0, 3, 0},
    {"ribbonId", 26, 2, false, 0, 10, 0},
    {"laminateSideLX3", 28, 2, true, 0, 2, 0},
    {"laminateSideLX2", 30, 2, false, 0, 2, 0},
    {"modelClass", 35, 1, false, 0, 7, 0},
    {"hasEncoder", 38, 2, true, 0, 1, 0},
    {"macroProcessing", 40, 2, true, 0, 1, 1},
    {"coercivity", 62, 2, true, 0, 2, 2},
    {"encoder position", 64, 2, true, 0, 1, 1},
    {"encoder type", 66, 1, false, 0, 2, 0},
    {"current track", 67, 1, false, 0, 2, 0},
    {"track 1 mode", 68, 1, false, 0, 7, 0},
    {"track 1 density", 69, 1, false, 0, 1, 1},
    {"track 1 character parity", 73, 1, false, 0, 2, 0},
    {"track 1 LRC parity", 74, 1, false, 0, 2, 0},
    {"track 2 mode", 75, 1, false, 0, 7, 1},
    {"track 2 density", 76, 1, false, 0, 1, 0},
    {"track 2 character parity", 80, 1, false, 0, 2, 0},
    {"track 2 LRC parity", 81, 1, false, 0, 2, 0},
    {"track 3 mode", 82, 1, false, 0, 7, 2},
    {"track 3 density", 83, 1, false, 0, 1, 1},
    {"track 3 character parity", 87, 1, false, 0, 2, 0},
    {"track 3 LRC parity", 88, 1, false, 0, 2, 0},
    {"front overlay type", 92, 2, true, 0, 7, 0},
    {"front overlay rotated", 94, 2, true, 0, 1, 0},
    {"back overlay type", 1136, 2, true, 0, 7, 0},
    {"back overlay rotated", 1138, 2, true, 0, 1, 0},
    {"hologram enabled", 2180, 2, true, 0, 1, 0},
    {"hologram area type", 2184, 2, true, 0, 3, 0},
    {"hologram area rotated", 2186, 2, true, 0, 1, 0},
    {"varnishContrast", 3228, 1, false, 0, 10, 5},
    {"blackContrast", 3229, 1, false, 0, 10, 5},
    {"hologramContrast", 3230, 1, false, 0, 10, 5},
    {"Y intensity", 3231, 1, false, 0, 10, 5},
    {"M intensity", 3232, 1, false, 0, 10, 5},
    {"C intensity", 3233, 1, false, 0, 10, 5},
    {"blackDyeIntensity", 3234, 1, false, 0, 10, 5},
    {"Y contrast", 3235, 1, false, 0, 10, 5},
    {"M contrast", 3236, 1, false, 0, 10, 5},
    {"C contrast", 3237, 1, false, 0, 10, 5},
    {"blackDyeContrast", 3238, 1, false, 0, 10, 5},
    {"monoBrightness", 3240, 2, true, -100, 100, 0},
    {"cyanBrightness", 3242, 2, true, -100, 100, 0},
    {"magentaBrightness", 3244, 2, true, -100, 100, 0},
    {"yellowBrightness", 3246, 2, true, -100, 100, 0},
    {"monoContrast", 3248, 2, true, -100, 100, 0},
    {"cyanContrast", 3250, 2, true, -100, 100, 0},
    {"magentaContrast", 3252, 2, true, -100, 100, 0},
    {"yellowContrast", 3254, 2, true, -100, 100, 0},
};

void put(JobSettingsRecord &r, size_t offset, int width, long v) {
  auto *b = reinterpret_cast<BYTE *>(&r);
  for (int i = 0; i < width; ++i) b[offset + size_t(i)] = BYTE(uint64_t(v) >> (8 * i));
}

long get(const JobSettingsRecord &r, const Field &f) {
  const auto *b = reinterpret_cast<const BYTE *>(&r);
  uint32_t u = 0;
  for (int i = 0; i < f.width; ++i) u |= uint32_t(b[f.offset + size_t(i)]) << (8 * i);
  if (!f.isSigned) return long(u);
  return f.width == 1 ? long(int8_t(u)) : long(int16_t(u));
}

void putArea(JobSettingsRecord &r, size_t record, long l, long t, long rt, long b) {
  put(r, record + 4, 4, l);
  put(r, record + 8, 4, t);
  put(r, record + 12, 4, rt);
  put(r, record + 16, 4, b);
}

std::vector<long> area(const JobSettingsRecord &r, size_t record) {
  std::vector<long> v;
  const auto *b = reinterpret_cast<const BYTE *>(&r);
  for (size_t k = 0; k < 4; ++k) {
    int32_t x;
    std::memcpy(&x, b + record + 4 + 4 * k, 4);
    v.push_back(x);
  }
  return v;
}

// A record as the installer writes it: every field at its default, the areas
// the whole card.
JobSettingsRecord installerRecord() {
  JobSettingsRecord r{};
  r.signature = card::kRecordSignature;
  for (const Field &f : kFields) put(r, f.offset, f.width, f.installerDefault);
  for (size_t rec : {92u, 1136u, 2184u}) putArea(r, rec, 0, 0, 1023, 639);
  return r;
}

// A value outside each end of the range, as the field's bytes hold it.
std::vector<long> outside(const Field &f) {
  std::vector<long> v = {f.high + 1};
  if (f.isSigned)
    v.push_back(f.low - 1);
  else
    v.push_back(f.width == 1 ? 0xFF : 0xFFFF);  // what -1 reads as
  return v;
}

TEST(RecordRanges, EveryFieldAtBothEndsStaysAndBeyondEitherEndIsReplaced) {
  const JobSettingsRecord base = installerRecord();
  ASSERT_TRUE(card::recordInRange(base));
  // The printer's default holds another value in range for each field.
  JobSettingsRecord printer = base;
  for (const Field &f : kFields) put(printer, f.offset, f.width, f.installerDefault == f.high ? f.low : f.high);
  // A two-sided layout of 3 only fits a ribbon chosen with four layouts.
  put(printer, 26, 2, 1);
  ASSERT_TRUE(card::recordInRange(printer));

  for (const Field &f : kFields) {
    SCOPED_TRACE(f.name);
    for (long v : {f.low, f.high}) {
      JobSettingsRecord r = base;
      put(r, f.offset, f.width, v);
      EXPECT_TRUE(card::recordInRange(r)) << v;
      EXPECT_EQ(card::repairRecord(r, &printer), 0u);
      EXPECT_EQ(get(r, f), v);
    }
    for (long v : outside(f)) {
      JobSettingsRecord r = base;
      put(r, f.offset, f.width, v);
      EXPECT_FALSE(card::recordInRange(r)) << v;
      JobSettingsRecord fromPrinter = r;
      EXPECT_EQ(card::repairRecord(fromPrinter, &printer), 1u);
      EXPECT_EQ(get(fromPrinter, f), get(printer, f));
      // Without a printer default, or with one out of range itself, the
      // installer's value.
      JobSettingsRecord alone = r;
      EXPECT_EQ(card::repairRecord(alone, nullptr), 1u);
      EXPECT_EQ(get(alone, f), f.installerDefault);
      JobSettingsRecord badPrinter = printer;
      put(badPrinter, f.offset, f.width, v);
      EXPECT_EQ(card::repairRecord(r, &badPrinter), 1u);
      EXPECT_EQ(get(r, f), f.installerDefault);
      EXPECT_TRUE(card::recordInRange(r));
      // Nothing else moved.
      put(r, f.offset, f.width, f.installerDefault);
      EXPECT_EQ(std::memcmp(&r, &base, sizeof r), 0);
    }
  }
}

TEST(RecordRanges, SelectedAreasLieOnTheCardWithTheirCornersInOrder) {
  const JobSettingsRecord base = installerRecord();
  JobSettingsRecord printer = base;
  putArea(printer, 1136, 10, 20, 30, 40);
  for (size_t rec : {92u, 1136u, 2184u}) {
    SCOPED_TRACE(rec);
    const long bad[][4] = {{-1, 0, 10, 10},   {0, -1, 10, 10},   {0, 0, 1024, 10},     {0, 0, 10, 640},
                           {500, 0, 499, 10}, {0, 300, 10, 299}, {0x7FFFFFFF, 0, 0, 0}};
    for (const auto &a : bad) {
      JobSettingsRecord r = base;
      putArea(r, rec, a[0], a[1], a[2], a[3]);
      EXPECT_FALSE(card::recordInRange(r));
      EXPECT_EQ(card::repairRecord(r, &printer), 1u);
      EXPECT_EQ(area(r, rec), area(printer, rec));
    }
    JobSettingsRecord r = base;
    putArea(r, rec, 1023, 639, 1023, 639);  // a single dot in the corner
    EXPECT_TRUE(card::recordInRange(r));
    putArea(r, rec, 5, 5, 4, 5);
    JobSettingsRecord badPrinter = r;
    EXPECT_EQ(card::repairRecord(r, &badPrinter), 1u);
    EXPECT_EQ(area(r, rec), (std::vector<long>{0, 0, 1023, 639}));
  }
}

TEST(RecordRanges, TwoSidedLayoutMustBeOneOfTheChosenRibbons) {
  JobSettingsRecord r = installerRecord();
  r.duplex = 1;
  r.ribbonId = 3;  // YMCKO: three layouts
  r.dualSideLayout = 2;
  EXPECT_TRUE(card::recordInRange(r));
  r.dualSideLayout = 3;
  EXPECT_FALSE(card::recordInRange(r));
  JobSettingsRecord printer = r;
  printer.dualSideLayout = 1;
  JobSettingsRecord a = r;
  EXPECT_EQ(card::repairRecord(a, &printer), 1u);
  EXPECT_EQ(a.dualSideLayout, 1);
  printer.dualSideLayout = 3;
  EXPECT_EQ(card::repairRecord(r, &printer), 1u);
  EXPECT_EQ(r.dualSideLayout, 0);

  // YMCKOK has four layouts; a one-sided job and a ribbon still to come from
  // the printer keep any layout of 0 to 3.
  r.ribbonId = 1;
  r.dualSideLayout = 3;
  EXPECT_TRUE(card::recordInRange(r));
  r.ribbonId = 10;  // hologram: one layout
  EXPECT_FALSE(card::recordInRange(r));
  r.duplex = 0;
  EXPECT_TRUE(card::recordInRange(r));
  r.duplex = 1;
  r.ribbonId = 0;
  EXPECT_TRUE(card::recordInRange(r));
}

// The corrupted DEVMODE that printed "\eJOB 0 ... \e+C 200": a private part
// of 0xC8 bytes behind a foreign signature.
TEST(RecordRanges, AllBytesC8ComeBackAsTheInstallersSettings) {
  JobSettingsRecord r;
  std::memset(&r, 0xC8, sizeof r);
  r.signature = 0x1234;
  EXPECT_FALSE(card::recordInRange(r));
  card::repairRecord(r, nullptr);
  EXPECT_TRUE(card::recordInRange(r));
  for (const Field &f : kFields) EXPECT_EQ(get(r, f), f.installerDefault) << f.name;
  EXPECT_EQ(area(r, 92), (std::vector<long>{0, 0, 1023, 639}));
  // Only the settings were touched: the signature and the texts stay.
  EXPECT_EQ(r.signature, 0x1234);
  EXPECT_EQ(BYTE(r.startOfData[0]), 0xC8);
}

// ------------------------------------------------------------ standard part
template <typename T>
void putStd(BYTE (&s)[card::kStandardPartSize], size_t offset, T v) {
  std::memcpy(s + offset, &v, sizeof v);
}
template <typename T>
T getStd(const BYTE (&s)[card::kStandardPartSize], size_t offset) {
  T v;
  std::memcpy(&v, s + offset, sizeof v);
  return v;
}

TEST(StandardRanges, DamagedFieldsTakeTheFallbackOrTheDefault) {
  BYTE defaults[card::kStandardPartSize];
  card::fillDefaultStandardPart(defaults);
  BYTE s[card::kStandardPartSize];
  std::memcpy(s, defaults, sizeof s);
  EXPECT_EQ(card::repairStandardPart(s, nullptr), 0u);

  // What an application handed over and got back unchecked.
  putStd<int16_t>(s, offsetof(DEVMODEW, dmCopies), 3605);
  putStd<int16_t>(s, offsetof(DEVMODEW, dmOrientation), -12143);
  putStd<int16_t>(s, offsetof(DEVMODEW, dmPaperSize), 29145);
  for (size_t i = 0; i < 32; ++i) putStd<WCHAR>(s, offsetof(DEVMODEW, dmDeviceName) + 2 * i, WCHAR('A' + i % 26));
  BYTE printer[card::kStandardPartSize];
  std::memcpy(printer, defaults, sizeof printer);
  putStd<int16_t>(printer, offsetof(DEVMODEW, dmOrientation), 1);
  putStd<int16_t>(printer, offsetof(DEVMODEW, dmCopies), 4000);  // out of range: the default
  EXPECT_EQ(card::repairStandardPart(s, printer), 4u);
  EXPECT_EQ(getStd<int16_t>(s, offsetof(DEVMODEW, dmCopies)), 1);
  EXPECT_EQ(getStd<int16_t>(s, offsetof(DEVMODEW, dmOrientation)), 1);
  EXPECT_EQ(getStd<int16_t>(s, offsetof(DEVMODEW, dmPaperSize)), 258);
  EXPECT_EQ(getStd<WCHAR>(s, offsetof(DEVMODEW, dmDeviceName) + 2 * 30), WCHAR('A' + 30 % 26));
  EXPECT_EQ(getStd<WCHAR>(s, offsetof(DEVMODEW, dmDeviceName) + 2 * 31), 0);
}

TEST(StandardRanges, EachFieldByItsDocumentedValues) {
  struct Case {
    const char *name;
    size_t offset;
    int width;
    std::vector<long long> good, bad;
    long long standard;
  } cases[] = {
      {"orientation", offsetof(DEVMODEW, dmOrientation), 2, {1, 2}, {0, 3, -1}, 2},
      {"paper size", offsetof(DEVMODEW, dmPaperSize), 2, {258}, {0, 1, 9, 256, 257, 259}, 258},
      {"paper length", offsetof(DEVMODEW, dmPaperLength), 2, {1, 541, 32767}, {0, -5}, 541},
      {"paper width", offsetof(DEVMODEW, dmPaperWidth), 2, {1, 866}, {0, -32768}, 866},
      {"copies", offsetof(DEVMODEW, dmCopies), 2, {1, 999}, {0, 1000, -1}, 1},
      {"source", offsetof(DEVMODEW, dmDefaultSource), 2, {256}, {0, 1, 7, 257}, 256},
      {"quality", offsetof(DEVMODEW, dmPrintQuality), 2, {300, -1, -4}, {0, 600, -5, 150}, 300},
      {"colour", offsetof(DEVMODEW, dmColor), 2, {1, 2}, {0, 3}, 2},
      {"duplex", offsetof(DEVMODEW, dmDuplex), 2, {1, 2, 3}, {0, 4}, 1},
      {"TrueType", offsetof(DEVMODEW, dmTTOption), 2, {1, 4}, {0, 5}, 1},
      {"ICM method", offsetof(DEVMODEW, dmICMMethod), 4, {1, 4, 256, 0xFFFFFFFFLL}, {0, 5, 255}, 2},
      {"ICM intent", offsetof(DEVMODEW, dmICMIntent), 4, {1, 4, 256}, {0, 5, 255}, 2},
      {"media", offsetof(DEVMODEW, dmMediaType), 4, {1, 3, 256}, {0, 4, 255}, 3},
      {"dithering", offsetof(DEVMODEW, dmDitherType), 4, {0, 1, 10, 256}, {11, 255}, 0},
  };
  BYTE defaults[card::kStandardPartSize];
  card::fillDefaultStandardPart(defaults);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    auto set = [&](BYTE(&s)[card::kStandardPartSize], long long v) {
      std::memcpy(s, defaults, sizeof s);
      if (c.width == 2)
        putStd<int16_t>(s, c.offset, int16_t(v));
      else
        putStd<uint32_t>(s, c.offset, uint32_t(v));
    };
    auto read = [&](const BYTE(&s)[card::kStandardPartSize]) -> long long {
      if (c.width == 2) return getStd<int16_t>(s, c.offset);
      return getStd<uint32_t>(s, c.offset);
    };
    BYTE s[card::kStandardPartSize];
    for (long long v : c.good) {
      set(s, v);
      EXPECT_EQ(card::repairStandardPart(s, nullptr), 0u) << v;
      EXPECT_EQ(read(s), v);
    }
    for (long long v : c.bad) {
      set(s, v);
      EXPECT_EQ(card::repairStandardPart(s, nullptr), 1u) << v;
      EXPECT_EQ(read(s), c.standard) << v;
    }
  }
}

}  // namespace
