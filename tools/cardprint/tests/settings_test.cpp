// The command line and the DEVMODE it becomes: each option lands in the
// documented field of the standard part or the job settings record, and the
// mistakes a user can make are refused with a message.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tools/cardprint/job_devmode.h"
#include "tools/cardprint/options.h"

namespace cardprint {
namespace {

using card::CardDevmode;

// A command line; the options keep pointers into it, so it outlives them.
struct Args {
  std::vector<std::u16string> text;
  Args(std::initializer_list<const char16_t *> list) {
    text.push_back(u"cardprint");
    for (auto *a : list) text.push_back(a);
  }
};

std::string show(const Args &a) {
  std::string s;
  for (const auto &t : a.text) s += std::string(t.begin(), t.end()) + " ";
  return s;
}

bool parse(const Args &a, PrintOptions &o, std::u16string *error = nullptr) {
  WCHAR message[kMessageChars];
  std::vector<LPCWSTR> argv;
  for (auto &t : a.text) argv.push_back(reinterpret_cast<LPCWSTR>(t.c_str()));
  const bool ok = parseOptions(int(argv.size()), argv.data(), o, message);
  if (error) *error = reinterpret_cast<const char16_t *>(message);
  return ok;
}

// Reads a little-endian field of the whole 4128-byte DEVMODE.
unsigned at(const CardDevmode &d, size_t offset, int bytes = 2) {
  const auto *p = reinterpret_cast<const uint8_t *>(&d);
  unsigned v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[offset + i];
  return v;
}
constexpr size_t kRecord = 212;  // the record follows the standard part

TEST(Options, EachOptionAndItsForms) {
  PrintOptions o;
  ASSERT_TRUE(parse({}, o));
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t *>(o.printer)), u"Pellor CA3 Card Printer USB");
  EXPECT_EQ(o.ribbonId, kUnset);
  EXPECT_FALSE(o.twoSided);
  EXPECT_EQ(o.frontImage, nullptr);

  ASSERT_TRUE(parse({u"--printer", u"Desk Printer", u"--ribbon", u"ymcko", u"--copies=12", u"--black", u"text",
                     u"--orientation", u"portrait", u"--overlay=magstripe", u"--layout", u"2"},
                    o));
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t *>(o.printer)), u"Desk Printer");
  EXPECT_EQ(o.ribbonId, 3);
  EXPECT_EQ(o.copies, 12);
  EXPECT_EQ(o.blackPanelMode, 2);
  EXPECT_EQ(o.orientation, DMORIENT_PORTRAIT);
  EXPECT_EQ(o.overlay, 7);
  EXPECT_EQ(o.layout, 2);
  EXPECT_TRUE(o.twoSided);  // a layout is a two-sided one

  // Ribbon names in the settings' numbering, and the printer's own.
  const std::pair<const char16_t *, int> ribbons[] = {{u"YMCKOK", 1},    {u"YMCKK", 2},  {u"YMCUvK", 4}, {u"K", 5},
                                                      {u"YMCK", 6},      {u"YMC", 7},    {u"KdO", 8},    {u"KrO", 9},
                                                      {u"Hologram", 10}, {u"printer", 0}};
  for (auto [name, id] : ribbons) {
    ASSERT_TRUE(parse({u"--ribbon", name}, o));
    EXPECT_EQ(o.ribbonId, id);
  }
  const Args pictures{u"--front", u"C:\\f.bmp", u"--back=C:\\b.bmp", u"--track1",
                      u"A B^C",   u"--track3",  u"0123456789=<>:"};
  ASSERT_TRUE(parse(pictures, o));
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t *>(o.frontImage)), u"C:\\f.bmp");
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t *>(o.backImage)), u"C:\\b.bmp");
  EXPECT_TRUE(o.twoSided);  // a back picture makes the card two-sided
  EXPECT_TRUE(o.trackGiven[0]);
  EXPECT_FALSE(o.trackGiven[1]);
  EXPECT_STREQ(o.tracks[0], "A B^C");
  EXPECT_STREQ(o.tracks[2], "0123456789=<>:");

  ASSERT_TRUE(parse({u"--help"}, o));
  EXPECT_TRUE(o.help);
}

TEST(Options, MistakesAreRefusedWithAReason) {
  const std::u16string longName(221, u'p');
  const std::u16string track1Max(76, u'A'), track1Over(77, u'A'), track2Over(38, u'1'), track3Max(104, u'9');
  struct Case {
    Args args;
    const char16_t *mentions;
  } cases[] = {
      {{u"--colour"}, u"--colour"},
      {{u"stray"}, u"stray"},
      {{u"--copies"}, u"--copies"},
      {{u"--copies", u"0"}, u"1 to 1000"},
      {{u"--copies", u"1001"}, u"1001"},
      {{u"--copies", u"3x"}, u"3x"},
      {{u"--copies", u"99999999999999999999"}, u"1 to 1000"},
      {{u"--ribbon", u"YMCKOO"}, u"YMCKOO"},
      {{u"--black", u"sometimes"}, u"sometimes"},
      {{u"--orientation", u"upside-down"}, u"upside-down"},
      {{u"--overlay", u"gold"}, u"gold"},
      {{u"--layout", u"4"}, u"0 to 3"},
      {{u"--printer", u""}, u"--printer"},
      {{u"--printer", longName.c_str()}, u"220"},
      {{u"--back", u"C:\\b.bmp"}, u"--front"},
      // A two-sided card of one's own pictures, asked for before or after the
      // front picture, has nothing to draw on its back.
      {{u"--front", u"C:\\f.bmp", u"--two-sided"}, u"--back"},
      {{u"--two-sided", u"--front", u"C:\\f.bmp"}, u"--back"},
      {{u"--layout", u"1", u"--front=C:\\f.bmp"}, u"--back"},
      {{u"--front", u"C:\\f.bmp", u"--back", u"C:\\b.bmp", u"--one-sided"}, u"--one-sided"},
      {{u"--track1", track1Over.c_str()}, u"76"},
      {{u"--track2", track2Over.c_str()}, u"37"},
      {{u"--track1", u"lower case"}, u"capital"},
      {{u"--track1", u"50%"}, u"%"},
      {{u"--track2", u"12A4"}, u"digits"},
  };
  for (const auto &c : cases) {
    PrintOptions o;
    std::u16string error;
    EXPECT_FALSE(parse(c.args, o, &error)) << show(c.args);
    EXPECT_NE(error.find(c.mentions), std::u16string::npos) << std::string(error.begin(), error.end());
  }
  PrintOptions o;
  EXPECT_TRUE(parse({u"--track1", track1Max.c_str(), u"--track3", track3Max.c_str()}, o));
  // A front picture alone is a one-sided card.
  ASSERT_TRUE(parse({u"--front", u"C:\\f.bmp"}, o));
  EXPECT_FALSE(o.twoSided);
}

// The side options: the last of --one-sided, --two-sided and --layout
// counts, and --one-sided wins over a printer whose defaults are two-sided.
TEST(Options, OneSidedOverridesEarlierSideOptions) {
  PrintOptions o;
  WCHAR message[kMessageChars];
  ASSERT_TRUE(parse({u"--ribbon", u"YMCKO", u"--layout", u"1", u"--one-sided"}, o));
  EXPECT_FALSE(o.twoSided);
  EXPECT_EQ(o.layout, kUnset);
  CardDevmode d;
  defaultJobDevmode(d);
  d.record.dualSideLayout = 2;
  ASSERT_EQ(d.record.duplex, 1);  // the package's defaults are two-sided
  ASSERT_TRUE(applyOptions(o, d, message));
  EXPECT_EQ(at(d, kRecord + 8), 0u);   // duplex off
  EXPECT_EQ(at(d, kRecord + 14), 0u);  // no layout
  EXPECT_EQ(reinterpret_cast<const DEVMODEW *>(&d)->dmDuplex, DMDUP_SIMPLEX);

  ASSERT_TRUE(parse({u"--one-sided", u"--two-sided"}, o));
  EXPECT_TRUE(o.twoSided);
  ASSERT_TRUE(parse({u"--one-sided", u"--layout", u"2"}, o));
  EXPECT_TRUE(o.twoSided);
  EXPECT_EQ(o.layout, 2);
  // A front picture of one's own after a two-sided default, made one-sided.
  ASSERT_TRUE(parse({u"--layout", u"1", u"--front", u"C:\\f.bmp", u"--one-sided"}, o));
  EXPECT_FALSE(o.twoSided);
}

TEST(JobDevmode, PackageDefaultsWhenThePrinterHasNone) {
  CardDevmode d;
  std::memset(&d, 0xCC, sizeof d);
  EXPECT_FALSE(baseJobDevmode(nullptr, 0, d));
  // Standard part of the driver's default DEVMODE.
  EXPECT_EQ(at(d, 68), 212u);   // dmSize
  EXPECT_EQ(at(d, 70), 3916u);  // dmDriverExtra
  EXPECT_EQ(at(d, 76), 2u);     // dmOrientation: landscape
  EXPECT_EQ(at(d, 86), 1u);     // dmCopies
  // The record as the installer's default settings file holds it.
  EXPECT_EQ(at(d, kRecord + 0), 0x5A45u);
  EXPECT_EQ(at(d, kRecord + 10, 1), 1u);  // ribbon type K until the printer says
  EXPECT_EQ(at(d, kRecord + 18), 1u);     // black bitmaps to K
  EXPECT_EQ(at(d, kRecord + 22, 1), 1u);  // black panel: always
  EXPECT_EQ(at(d, kRecord + 26), 0u);     // ribbon from the printer
  EXPECT_EQ(at(d, kRecord + 40), 1u);     // macro processing
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(&d) + kRecord + 42), "${");
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(&d) + kRecord + 52), "}$");
  EXPECT_EQ(at(d, kRecord + 92), 0u);  // front overlay: full
  EXPECT_EQ(at(d, kRecord + 92 + 12, 4), 1023u);
  EXPECT_EQ(at(d, kRecord + 92 + 16, 4), 639u);
  EXPECT_EQ(at(d, kRecord + 1136), 0u);  // back overlay: full
  for (size_t head = 3228; head <= 3238; ++head) EXPECT_EQ(at(d, kRecord + head, 1), 5u) << head;
  EXPECT_EQ(at(d, kRecord + 3560, 1), 0u);  // no track data held
}

TEST(JobDevmode, ThePrintersDefaultsWhenTheyAreACardDevmode) {
  CardDevmode printer;
  defaultJobDevmode(printer);
  printer.record.ribbonId = 9;
  printer.record.blackPanelMode = 3;
  printer.record.trackPresent[0] = 1;  // left over from a job: not a setting
  CardDevmode d;
  EXPECT_TRUE(baseJobDevmode(&printer, sizeof printer, d));
  EXPECT_EQ(d.record.ribbonId, 9);
  EXPECT_EQ(d.record.blackPanelMode, 3);
  EXPECT_EQ(d.record.trackPresent[0], 0);
  // Cut short, another standard part size, or no signature: the package's.
  EXPECT_FALSE(baseJobDevmode(&printer, sizeof printer - 1, d));
  EXPECT_EQ(d.record.ribbonId, 0);
  std::vector<uint8_t> bytes(reinterpret_cast<uint8_t *>(&printer),
                             reinterpret_cast<uint8_t *>(&printer) + sizeof printer);
  bytes[kRecord] = 0;
  EXPECT_FALSE(baseJobDevmode(bytes.data(), bytes.size(), d));
  bytes[kRecord] = 0x45;
  bytes[68] = 220 & 0xFF;
  EXPECT_FALSE(baseJobDevmode(bytes.data(), bytes.size(), d));
}

TEST(JobDevmode, OptionsWrittenIntoTheJob) {
  PrintOptions o;
  WCHAR message[kMessageChars];
  CardDevmode d;
  defaultJobDevmode(d);
  ASSERT_TRUE(parse({u"--ribbon", u"YMC", u"--copies", u"7", u"--black", u"never", u"--orientation", u"portrait",
                     u"--overlay", u"chip-afnor"},
                    o));
  ASSERT_TRUE(applyOptions(o, d, message));
  EXPECT_EQ(at(d, 76), 1u);               // dmOrientation portrait
  EXPECT_EQ(at(d, 86), 7u);               // dmCopies
  EXPECT_EQ(at(d, kRecord + 26), 7u);     // ribbonId YMC
  EXPECT_EQ(at(d, kRecord + 10, 1), 5u);  // and its ribbon type
  EXPECT_EQ(at(d, kRecord + 22, 1), 0u);  // black panel never
  EXPECT_EQ(at(d, kRecord + 92), 6u);     // overlay on both sides
  EXPECT_EQ(at(d, kRecord + 1136), 6u);
  EXPECT_EQ(at(d, kRecord + 8), 0u);   // one-sided: the package default says two
  EXPECT_EQ(at(d, kRecord + 40), 1u);  // the sample carries track data

  // Two-sided layouts exist per ribbon: YMCKO has three, YMCKOK four, YMC one.
  const struct {
    const char16_t *ribbon, *layout;
    bool ok;
  } layouts[] = {{u"YMCKO", u"2", true}, {u"YMCKO", u"3", false}, {u"YMCKOK", u"3", true},
                 {u"YMC", u"0", true},   {u"YMC", u"1", false},   {u"printer", u"3", true}};
  for (const auto &l : layouts) {
    defaultJobDevmode(d);
    ASSERT_TRUE(parse({u"--ribbon", l.ribbon, u"--layout", l.layout}, o));
    EXPECT_EQ(applyOptions(o, d, message), l.ok)
        << std::string(l.ribbon, l.ribbon + std::char_traits<char16_t>::length(l.ribbon)) << " " << char(l.layout[0]);
    if (!l.ok) {
      EXPECT_NE(lstrlenW(message), 0);
      continue;
    }
    EXPECT_EQ(at(d, kRecord + 8), 1u);
    EXPECT_EQ(at(d, kRecord + 14), unsigned(l.layout[0] - u'0'));
  }
  // Without options the printer's settings stay, but a job prints one card
  // on one side unless asked; pictures without track data leave the
  // printer's macro setting alone.
  defaultJobDevmode(d);
  d.record.macroProcessing = 0;
  reinterpret_cast<DEVMODEW *>(&d)->dmCopies = 4;
  const Args front{u"--front", u"C:\\f.bmp"};
  ASSERT_TRUE(parse(front, o));
  ASSERT_TRUE(applyOptions(o, d, message));
  EXPECT_EQ(at(d, 86), 1u);
  EXPECT_EQ(at(d, kRecord + 8), 0u);
  EXPECT_EQ(at(d, kRecord + 40), 0u);
  EXPECT_EQ(at(d, kRecord + 22, 1), 1u);
}

}  // namespace
}  // namespace cardprint
