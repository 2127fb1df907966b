// Code 39 symbols: every character is five bars and four gaps, three of the
// nine elements wide, and the symbol is framed by '*'.
#include <gtest/gtest.h>

#include "tools/cardprint/barcode.h"

namespace cardprint {
namespace {

TEST(Barcode, StartCharacterAndSymbolGeometry) {
  Bar bars[64];
  LONG width = 0;
  // "*" is narrow bar, wide gap, narrow bar, narrow gap, wide bar, narrow
  // gap, wide bar, narrow gap, narrow bar.
  ASSERT_EQ(code39Bars("", 2, 5, bars, 64, width), 10u);
  const Bar start[5] = {{0, 2}, {7, 2}, {11, 5}, {18, 5}, {25, 2}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(bars[i].left, start[i].left) << i;
    EXPECT_EQ(bars[i].width, start[i].width) << i;
  }
  // The stop character follows after one narrow gap.
  EXPECT_EQ(bars[5].left, 27 + 2);
  EXPECT_EQ(width, 2 * 27 + 2);

  // Each character: six narrow and three wide elements, one narrow gap.
  const size_t n = code39Bars("JS1234", 4, 10, bars, 64, width);
  ASSERT_EQ(n, 40u);
  EXPECT_EQ(width, 8 * (6 * 4 + 3 * 10) + 7 * 4);
  for (size_t i = 0; i < 8; ++i) {
    int wide = 0;
    for (size_t k = 0; k < 5; ++k) wide += bars[i * 5 + k].width == 10;
    EXPECT_LE(wide, 3) << i;
    if (i + 1 < n / 5) {
      EXPECT_LT(bars[i * 5 + 4].left + bars[i * 5 + 4].width, bars[i * 5 + 5].left);
    }
  }
  // '1' is wide bar first and wide bar last, with a wide gap after the second bar.
  const Bar *one = bars + 3 * 5;
  EXPECT_EQ(one[0].width, 10);
  EXPECT_EQ(one[1].width, 4);
  EXPECT_EQ(one[2].left - (one[1].left + one[1].width), 10);
  EXPECT_EQ(one[4].width, 10);
}

TEST(Barcode, CharactersOutsideTheSetAndTooSmallABuffer) {
  Bar bars[64];
  LONG width = 7;
  EXPECT_EQ(code39Bars("abc", 2, 5, bars, 64, width), 0u);
  EXPECT_EQ(width, 0);
  EXPECT_EQ(code39Bars("A*B", 2, 5, bars, 64, width), 0u);
  EXPECT_EQ(code39Bars("AB", 2, 5, bars, 19, width), 0u);
  EXPECT_EQ(code39Bars("AB", 2, 5, bars, 20, width), 20u);
  EXPECT_EQ(code39Bars(nullptr, 2, 5, bars, 64, width), 0u);
  EXPECT_EQ(code39Bars("-. $/+%", 2, 5, bars, 64, width), 45u);
}

}  // namespace
}  // namespace cardprint
