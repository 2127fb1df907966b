// The head settings dialog's enabled trackbars, by ribbon.
#include "config/head_rules.h"

#include <gtest/gtest.h>

namespace card::cfg {
namespace {

uint32_t bars(std::initializer_list<unsigned> l) {
  uint32_t m = 0;
  for (unsigned b : l) m |= 1u << b;
  return m;
}

TEST(HeadRules, EnabledTrackbarsByRibbon) {
  const uint32_t ymc = bars({3, 4, 5, 7, 8, 9});
  EXPECT_EQ(enabledHeadTrackbars(kRibbonYMCKO, 0), bars({0, 1}) | ymc);
  EXPECT_EQ(enabledHeadTrackbars(kRibbonYMCKOK, 0), bars({0, 1}) | ymc);
  EXPECT_EQ(enabledHeadTrackbars(kRibbonYMCKUv, 0), bars({0, 1}) | ymc);
  EXPECT_EQ(enabledHeadTrackbars(kRibbonKResin, 0), bars({1}));
  EXPECT_EQ(enabledHeadTrackbars(kRibbonKdO, 0), bars({0, 6, 10}));
  EXPECT_EQ(enabledHeadTrackbars(kRibbonKrO, 0), bars({0, 1}));
  EXPECT_EQ(enabledHeadTrackbars(kRibbonHologram, 0), bars({2}));
  EXPECT_EQ(enabledHeadTrackbars(kRibbonYMC, 0), ymc);
  EXPECT_EQ(enabledHeadTrackbars(kRibbonYMCK, 0), bars({1}) | ymc);
  EXPECT_EQ(enabledHeadTrackbars(kRibbonYMCKK, 0), bars({1}) | ymc);
  EXPECT_EQ(enabledHeadTrackbars(kRibbonYMCUvK, 0), bars({1}) | ymc);
  EXPECT_EQ(enabledHeadTrackbars(kRibbonKd, 0), bars({6, 10}));
  EXPECT_EQ(enabledHeadTrackbars(kRibbonMonochrome, kMonoResin), bars({1}));
  EXPECT_EQ(enabledHeadTrackbars(kRibbonMonochrome, kMonoClearVarnish), bars({0, 2}));
  EXPECT_EQ(enabledHeadTrackbars(kRibbonMonochrome, kMonoHologram), bars({2}));
  EXPECT_EQ(enabledHeadTrackbars(kRibbonMonochrome, kMonoScratchOff), 0u);
  EXPECT_EQ(enabledHeadTrackbars(kRibbonClearVarnish, 0), 0u);
  EXPECT_EQ(enabledHeadTrackbars(kRibbonScratchOff, 0), 0u);
  EXPECT_EQ(enabledHeadTrackbars(kRibbonUnknown, 0), 0u);
}

TEST(HeadRules, ValuesAtTheirOffsets) {
  JobSettingsRecord r{};
  const size_t offsets[kHeadTrackbarCount] = {3228, 3229, 3230, 3231, 3232, 3233, 3234, 3235, 3236, 3237, 3238};
  for (unsigned i = 0; i < kHeadTrackbarCount; ++i)
    EXPECT_EQ(reinterpret_cast<BYTE *>(headValue(r, i)) - reinterpret_cast<BYTE *>(&r), ptrdiff_t(offsets[i])) << i;
  EXPECT_EQ(headValue(r, kHeadTrackbarCount), nullptr);
}

}  // namespace
}  // namespace card::cfg
