// The colour adjustment: intensity and contrast on bytes, the preview's colour
// or grey treatment, and the sliders each ribbon lets the user move.
#include "config/colour_adjust.h"

#include <gtest/gtest.h>

#include <vector>

namespace card::cfg {
namespace {

TEST(ColourAdjust, Intensity) {
  EXPECT_EQ(applyIntensity(100, 0), 100);
  EXPECT_EQ(applyIntensity(100, 30), 176);  // 30 * 256 / 100 = 76
  EXPECT_EQ(applyIntensity(200, 30), 255);
  EXPECT_EQ(applyIntensity(100, -1), 98);  // 256 / 100 = 2
  EXPECT_EQ(applyIntensity(255, -100), 0);
  EXPECT_EQ(applyIntensity(0, 100), 255);
}

TEST(ColourAdjust, Contrast) {
  EXPECT_EQ(applyContrast(128, 0), 128);
  EXPECT_EQ(applyContrast(128, 50), 163);   // e = 165
  EXPECT_EQ(applyContrast(200, 100), 237);  // e = 75
  EXPECT_EQ(applyContrast(255, 100), 254);
  EXPECT_EQ(applyContrast(0, 100), 0);
  EXPECT_EQ(applyContrast(64, 25), 81);
  EXPECT_EQ(applyContrast(128, -50), 58);  // k = -127
  EXPECT_EQ(applyContrast(255, -1), 229);  // k = -2
  EXPECT_EQ(applyContrast(200, -100), 0);
  EXPECT_EQ(applyContrast(100, -99), 0);
}

TEST(ColourAdjust, PreviewColourOrGrey) {
  ColourAdjustment a;
  a.red = 30;    // red byte + 76
  a.green = -1;  // green byte - 2
  a.blueContrast = 50;
  a.black = 10;                               // + 25
  std::vector<uint8_t> px = {128, 100, 100};  // blue, green, red
  adjustPreview(px.data(), px.size(), kRibbonYMCKO, a);
  EXPECT_EQ(px, (std::vector<uint8_t>{163, 98, 176}));

  px = {10, 20, 30};  // grey (5 * 30 + 9 * 20 + 2 * 10) / 16 = 21, then + 25
  adjustPreview(px.data(), px.size(), kRibbonKResin, a);
  EXPECT_EQ(px, (std::vector<uint8_t>{46, 46, 46}));
  EXPECT_TRUE(colourPreview(kRibbonKd));
  EXPECT_TRUE(colourPreview(kRibbonKdO));
  EXPECT_FALSE(colourPreview(kRibbonKrO));
  EXPECT_FALSE(colourPreview(kRibbonHologram));
  EXPECT_FALSE(colourPreview(kRibbonUnknown));
}

TEST(ColourAdjust, SlidersByRibbon) {
  JobSettingsRecord r{};
  r.ribbonType = kRibbonKrO;
  ColourSliders s = colourSliders(r);
  EXPECT_FALSE(s.colour);
  EXPECT_TRUE(s.black);
  r.monoConversion = kConvertHalftone;
  s = colourSliders(r);
  EXPECT_FALSE(s.black);
  EXPECT_TRUE(s.blackZeroed);

  r.ribbonType = kRibbonYMC;
  s = colourSliders(r);
  EXPECT_TRUE(s.colour);
  EXPECT_FALSE(s.black);

  r.ribbonType = kRibbonYMCKO;
  EXPECT_FALSE(colourSliders(r).black);  // one side
  r.duplex = 1;
  r.dualSideLayout = 1;  // both sides alike: all colour
  EXPECT_FALSE(colourSliders(r).black);
  r.dualSideLayout = 0;
  EXPECT_TRUE(colourSliders(r).black);
  r.ribbonType = kRibbonYMCKOK;
  r.dualSideLayout = 2;
  EXPECT_FALSE(colourSliders(r).black);
  r.dualSideLayout = 1;
  EXPECT_TRUE(colourSliders(r).black);

  r.ribbonType = kRibbonHologram;
  s = colourSliders(r);
  EXPECT_TRUE(s.colour && s.black && !s.blackZeroed);
}

TEST(ColourAdjust, RecordFieldsAndPictureFile) {
  JobSettingsRecord r{};
  ColourAdjustment a{-100, 1, 2, 3, 4, 5, 6, 100};
  storeAdjustment(a, r);
  EXPECT_EQ(r.monoBrightness, -100);
  EXPECT_EQ(r.cyanBrightness, 1);
  EXPECT_EQ(r.yellowBrightness, 3);
  EXPECT_EQ(r.monoContrast, 4);
  EXPECT_EQ(r.yellowContrast, 100);
  const ColourAdjustment b = adjustmentFromRecord(r);
  EXPECT_EQ(b.green, 2);
  EXPECT_EQ(b.greenContrast, 6);

  std::vector<uint8_t> file(kPreviewFileBytes, 0);
  file[0] = 'B';
  file[1] = 'M';
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = uint8_t(v >> (8 * i));
  };
  put32(10, 54);
  put32(14, 40);
  put32(18, 100);
  put32(22, 100);
  file[28] = 24;
  EXPECT_EQ(previewPixels(file.data(), file.size()), file.data() + 54);
  EXPECT_EQ(previewPixels(file.data(), file.size() - 1), nullptr);
  file[28] = 8;
  EXPECT_EQ(previewPixels(file.data(), file.size()), nullptr);
}

}  // namespace
}  // namespace card::cfg
