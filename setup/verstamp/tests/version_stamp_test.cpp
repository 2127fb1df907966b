// The stamped settings: the version text at its place in the private part,
// cleared before, and the private size of a whole record.
#include "setup/verstamp/version_stamp.h"

#include <gtest/gtest.h>

#include <cstring>

namespace card::setup {
namespace {

std::vector<uint8_t> devmode(size_t standard, size_t extra, uint8_t fill) {
  std::vector<uint8_t> d(standard + extra, fill);
  d[68] = uint8_t(standard);
  d[69] = uint8_t(standard >> 8);
  d[70] = uint8_t(extra);
  d[71] = uint8_t(extra >> 8);
  return d;
}

TEST(VersionStamp, WholeSettingsKeepEverythingButTheStamp) {
  const auto in = devmode(212, 3916, 0xEE);
  const auto out = stampedSettings(in.data(), in.size(), 212);
  ASSERT_EQ(out.size(), 4128u);
  const uint8_t stamp[16] = {'8', '.', '0', '0', '.', '0', '2', '.', '0', '1', 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(&out[212 + 3862], stamp, 16), 0);
  EXPECT_EQ(out[70] | (out[71] << 8), 3916);
  for (size_t i = 0; i < out.size(); ++i) {
    if ((i < 212 + 3862 || i >= 212 + 3878) && i != 70 && i != 71) {
      ASSERT_EQ(out[i], in[i]) << i;
    }
  }
}

TEST(VersionStamp, ShortSettingsAreFilledWithZerosAndLongOnesCut) {
  const auto shortIn = devmode(212, 100, 0xEE);
  const auto grown = stampedSettings(shortIn.data(), shortIn.size(), 212);
  ASSERT_EQ(grown.size(), 4128u);
  EXPECT_EQ(grown[212 + 99], 0xEE);
  EXPECT_EQ(grown[212 + 100], 0);
  EXPECT_EQ(std::memcmp(&grown[212 + 3862], "8.00.02.01", 10), 0);

  const auto longIn = devmode(212, 5000, 0xEE);
  EXPECT_EQ(stampedSettings(longIn.data(), longIn.size(), 212).size(), 4128u);
}

TEST(VersionStamp, TheStampFollowsALargerStandardPart) {
  const auto in = devmode(220, 3916, 0);
  const auto out = stampedSettings(in.data(), in.size(), 220);
  ASSERT_EQ(out.size(), 220u + 3916u);
  EXPECT_EQ(std::memcmp(&out[220 + 3862], "8.00.02.01", 10), 0);
  EXPECT_EQ(out[68], 220);
}

TEST(VersionStamp, SettingsWithoutAWholeStandardPartAreLeftAlone) {
  const auto in = devmode(212, 0, 0);
  EXPECT_TRUE(stampedSettings(in.data(), 60, 212).empty());
  EXPECT_TRUE(stampedSettings(nullptr, 0, 212).empty());
  EXPECT_TRUE(stampedSettings(in.data(), in.size(), 40).empty());
}

}  // namespace
}  // namespace card::setup
