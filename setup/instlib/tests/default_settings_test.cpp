// The default settings file's bytes, from the table of defaults the driver
// and the installer agree on.
#include "setup/instlib/default_settings.h"

#include <gtest/gtest.h>

#include <cstring>

namespace card::setup {
namespace {

uint16_t u16(const std::vector<uint8_t> &b, size_t at) { return uint16_t(b[at] | (b[at + 1] << 8)); }
uint32_t u32(const std::vector<uint8_t> &b, size_t at) { return u16(b, at) | (uint32_t(u16(b, at + 2)) << 16); }

void expectWholeCard(const std::vector<uint8_t> &b, size_t record) {
  EXPECT_EQ(u16(b, record), 0) << record;
  EXPECT_EQ(u32(b, record + 4), 0u) << record;
  EXPECT_EQ(u32(b, record + 8), 0u) << record;
  EXPECT_EQ(u32(b, record + 12), 1023u) << record;
  EXPECT_EQ(u32(b, record + 16), 639u) << record;
}

TEST(DefaultSettingsFile, WithoutOptionsEveryFieldHasItsDefault) {
  const auto b = defaultSettingsFile(nullptr);
  ASSERT_EQ(b.size(), 3916u);
  EXPECT_EQ(u16(b, 0), 0x5A45);
  EXPECT_EQ(u16(b, 4), 1);
  EXPECT_EQ(u16(b, 6), 0);
  EXPECT_EQ(u16(b, 8), 1);
  EXPECT_EQ(b[10], 1);
  EXPECT_EQ(b[12], 0);
  EXPECT_EQ(u16(b, 18), 1);
  EXPECT_EQ(u16(b, 20), 0);
  EXPECT_EQ(b[22], 1);
  EXPECT_EQ(u16(b, 24), 0);
  EXPECT_EQ(u16(b, 26), 0);
  EXPECT_EQ(u16(b, 32), 1);
  EXPECT_EQ(u16(b, 38), 0);
  EXPECT_EQ(u16(b, 40), 1);
  EXPECT_EQ(std::memcmp(&b[42], "${\0", 3), 0);
  EXPECT_EQ(std::memcmp(&b[52], "}$\0", 3), 0);
  EXPECT_EQ(b[62], 2);
  EXPECT_EQ(u16(b, 64), 1);
  const uint8_t tracks[] = {0, 1, 'A', 'Z', 7, 0, 0, 1, 0, 'A', 'Z', 7, 0, 0, 2, 1, 'A', 'Z', 7};
  EXPECT_EQ(std::memcmp(&b[68], tracks, sizeof tracks), 0);
  expectWholeCard(b, 92);
  expectWholeCard(b, 1136);
  EXPECT_EQ(u16(b, 2180), 0);
  EXPECT_EQ(u16(b, 2182), 1);
  expectWholeCard(b, 2184);
  for (size_t at = 3228; at <= 3238; ++at) EXPECT_EQ(b[at], 5) << at;
  for (size_t at = 3240; at <= 3255; ++at) EXPECT_EQ(b[at], 0) << at;
  EXPECT_EQ(std::memcmp(&b[3862], "8.00.02.01\0", 11), 0);
  // Nothing else is set: the bytes between the fields stay zero.
  for (size_t at = 3239; at < 3240; ++at) EXPECT_EQ(b[at], 0);
  for (size_t at = 3256; at < 3862; ++at) ASSERT_EQ(b[at], 0) << at;
}

TEST(DefaultSettingsFile, OptionsFillTheirFieldsByTheirLowBits) {
  uint32_t o[kOptionSlots] = {};
  for (size_t i = 0; i < kOptionSlots; ++i) o[i] = 0xABCD0000u | uint32_t(0x0100 + i);
  const auto b = defaultSettingsFile(o);
  EXPECT_EQ(u16(b, 6), 0x0100);   // offset 0
  EXPECT_EQ(u16(b, 8), 0x0101);   // offset 4
  EXPECT_EQ(b[12], 0x02);         // offset 8
  EXPECT_EQ(u16(b, 20), 0x0103);  // offset 12
  EXPECT_EQ(u16(b, 24), 0x0104);  // offset 16
  EXPECT_EQ(b[62], 0x05);         // offset 20
  EXPECT_EQ(b[68], 0x06);
  EXPECT_EQ(b[69], 0x07);
  EXPECT_EQ(b[75], 0x08);
  EXPECT_EQ(b[76], 0x09);
  EXPECT_EQ(b[82], 0x0A);
  EXPECT_EQ(b[83], 0x0B);
  // Head settings: 48 52 56 60, then 68 before 64, 76, then 84 before 80.
  EXPECT_EQ(b[3228], 0x0C);
  EXPECT_EQ(b[3229], 0x0D);
  EXPECT_EQ(b[3230], 0x0E);
  EXPECT_EQ(b[3231], 0x0F);
  EXPECT_EQ(b[3232], 0x11);
  EXPECT_EQ(b[3233], 0x10);
  EXPECT_EQ(b[3234], 5);
  EXPECT_EQ(b[3235], 0x13);
  EXPECT_EQ(b[3236], 0x15);
  EXPECT_EQ(b[3237], 0x14);
  EXPECT_EQ(b[3238], 5);
  EXPECT_EQ(u16(b, 26), 0x0117);  // ribbon code, offset 92
}

TEST(DefaultSettingsFile, RibbonCodeChoosesTheRibbonType) {
  const struct {
    uint16_t code;
    uint8_t type;
  } kCases[] = {{1, 8}, {2, 7}, {3, 0}, {4, 12}, {5, 1}, {6, 6}, {7, 5}, {8, 2}, {9, 3}, {10, 1}};
  for (const auto &c : kCases) {
    uint32_t o[kOptionSlots] = {};
    o[1] = 1;
    o[23] = c.code;
    const auto b = defaultSettingsFile(o);
    EXPECT_EQ(b[10], c.type) << c.code;
    EXPECT_EQ(u16(b, 26), c.code);
  }
  // Code 0 keeps the default type and no ribbon.
  uint32_t none[kOptionSlots] = {};
  EXPECT_EQ(defaultSettingsFile(none)[10], 1);
}

TEST(DependentFileList, NamesEachEndedAndTheListEndedOnce) {
  const std::u16string_view some[4] = {u"a.dll", u"", u"bc.ini", u""};
  EXPECT_EQ(dependentFileList(some), std::u16string(u"a.dll\0bc.ini\0\0", 14));
  const std::u16string_view none[4] = {u"", u"", u"", u""};
  EXPECT_EQ(dependentFileList(none), std::u16string());
  // Past the limit the list is refused, not cut.
  const std::u16string longName(200, u'x');
  const std::u16string_view tooLong[4] = {longName, u"yyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyy",
                                          u"", u""};
  EXPECT_FALSE(dependentFileList(tooLong).has_value());
  const std::u16string exact(257, u'z');  // 257 + NUL + NUL fill 259
  const std::u16string_view fits[4] = {exact, u"", u"", u""};
  EXPECT_TRUE(dependentFileList(fits).has_value());
}

}  // namespace
}  // namespace card::setup
