// The area editors' rules: the type tables, the coordinate checks, the
// preview's place in the dialog and the mapping of areas onto it, and the
// 1-bit bitmaps the editors take.  Expected values are worked by hand from
// the editors' documented formulas and tables.
#include "config/area_rules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace card::cfg {
namespace {

OverlayRecord area(int l, int t, int r, int b, int16_t type = 2, int16_t rotated = 0) {
  OverlayRecord rec{};
  rec.type = type;
  rec.rotated = rotated;
  rec.left = l;
  rec.top = t;
  rec.right = r;
  rec.bottom = b;
  return rec;
}

// A 1-bit BMP file: rows given top first as strings of '0'/'1'.
std::vector<uint8_t> oneBitBmp(const std::vector<std::string> &rows, bool topDown = false, int bitCount = 1) {
  const int w = int(rows[0].size()), h = int(rows.size());
  const size_t stride = (size_t(w) * bitCount + 31) / 32 * 4;
  const size_t offBits = 14 + 40 + (bitCount == 1 ? 8 : 0);
  std::vector<uint8_t> f(offBits + stride * h, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = uint8_t(v >> (8 * i));
  };
  f[0] = 'B';
  f[1] = 'M';
  put32(2, uint32_t(f.size()));
  put32(10, uint32_t(offBits));
  put32(14, 40);
  put32(18, uint32_t(w));
  put32(22, uint32_t(topDown ? -h : h));
  f[26] = 1;
  f[28] = uint8_t(bitCount);
  if (bitCount == 1) put32(58, 0xFFFFFF);  // entry 1 white
  for (int y = 0; y < h; ++y) {
    size_t row = offBits + size_t(topDown ? y : h - 1 - y) * stride;
    for (int x = 0; x < w; ++x)
      if (bitCount == 1 && rows[y][x] == '1') f[row + x / 8] |= uint8_t(0x80 >> (x % 8));
  }
  return f;
}

bool cardDot(const std::vector<uint8_t> &pic, int x, int y) { return (pic[y * 128 + x / 8] >> (7 - x % 8)) & 1; }

TEST(AreaTypes, TablesOfBothKinds) {
  AreaLook l;
  // Varnish: full black, none white, selected on white/black, bitmap, and
  // the three fixed bare areas on a varnished card.
  ASSERT_TRUE(areaLook(AreaKind::FrontOverlay, 0, &l));
  EXPECT_EQ(l.shape, AreaShape::WholeCard);
  EXPECT_EQ(l.background, AreaFill::Black);
  ASSERT_TRUE(areaLook(AreaKind::BackOverlay, 1, &l));
  EXPECT_EQ(l.background, AreaFill::White);
  ASSERT_TRUE(areaLook(AreaKind::FrontOverlay, 2, &l));
  EXPECT_EQ(l.shape, AreaShape::Selected);
  EXPECT_EQ(l.background, AreaFill::White);
  EXPECT_EQ(l.area, AreaFill::Black);
  ASSERT_TRUE(areaLook(AreaKind::FrontOverlay, 3, &l));
  EXPECT_EQ(l.background, AreaFill::Black);
  EXPECT_EQ(l.area, AreaFill::White);
  const AreaRect fixed[3] = {{85, 197, 279, 356}, {85, 97, 243, 257}, {0, 25, 1024, 196}};
  for (int t = 5; t <= 7; ++t) {
    ASSERT_TRUE(areaLook(AreaKind::FrontOverlay, t, &l));
    EXPECT_EQ(l.shape, AreaShape::Fixed);
    EXPECT_EQ(l.background, AreaFill::Black);
    EXPECT_EQ(l.area, AreaFill::White);
    EXPECT_EQ(l.fixed, fixed[t - 5]) << "type " << t;
  }
  EXPECT_FALSE(areaLook(AreaKind::FrontOverlay, 8, &l));
  EXPECT_FALSE(areaLook(AreaKind::FrontOverlay, -1, &l));

  // Hologram: full, selected varnished, selected blank, bitmap.
  ASSERT_TRUE(areaLook(AreaKind::Hologram, 1, &l));
  EXPECT_EQ(l.background, AreaFill::White);
  EXPECT_EQ(l.area, AreaFill::Black);
  ASSERT_TRUE(areaLook(AreaKind::Hologram, 2, &l));
  EXPECT_EQ(l.background, AreaFill::Black);
  EXPECT_EQ(l.area, AreaFill::White);
  EXPECT_FALSE(areaLook(AreaKind::Hologram, 4, &l));

  // Which controls each type offers.
  for (int t = 0; t < 8; ++t) {
    EXPECT_EQ(isSelectedAreaType(AreaKind::FrontOverlay, t), t == 2 || t == 3) << t;
    EXPECT_EQ(isBitmapType(AreaKind::BackOverlay, t), t == 4) << t;
  }
  for (int t = 0; t < 4; ++t) {
    EXPECT_EQ(isSelectedAreaType(AreaKind::Hologram, t), t == 1 || t == 2) << t;
    EXPECT_EQ(isBitmapType(AreaKind::Hologram, t), t == 3) << t;
  }
  EXPECT_EQ(areaTypeTextId(AreaKind::FrontOverlay, 7), 1238u);
  EXPECT_EQ(areaTypeTextId(AreaKind::Hologram, 3), 1264u);
}

TEST(AreaCoordinates, TypedTextAndRangeChecks) {
  const std::u16string texts[] = {u"1024", u"10245", u"", u"0639", u"12a", u"-1"};
  const int values[] = {1024, 1024, 0, 639, -1, -1};
  for (size_t i = 0; i < std::size(texts); ++i) {
    std::vector<WCHAR> w(texts[i].begin(), texts[i].end());
    EXPECT_EQ(parseCoordinate(w.data(), w.size()), values[i]) << i;
  }

  const OverlayRecord a = area(100, 50, 300, 150);
  // The right edge may be the card's width, though the up-down stops before.
  EXPECT_TRUE(coordinateAccepted(a, Coordinate::Right, 1024));
  EXPECT_EQ(upDownMax(Coordinate::Right), 1023);
  EXPECT_FALSE(coordinateAccepted(a, Coordinate::Right, 1025));
  EXPECT_FALSE(coordinateAccepted(a, Coordinate::Right, 99));
  EXPECT_TRUE(coordinateAccepted(a, Coordinate::Right, 100));
  EXPECT_FALSE(coordinateAccepted(a, Coordinate::Bottom, 640));
  EXPECT_TRUE(coordinateAccepted(a, Coordinate::Bottom, 639));
  EXPECT_FALSE(coordinateAccepted(a, Coordinate::Bottom, 49));
  EXPECT_FALSE(coordinateAccepted(a, Coordinate::Left, 301));  // beyond the stored right
  EXPECT_TRUE(coordinateAccepted(a, Coordinate::Left, 300));
  EXPECT_FALSE(coordinateAccepted(a, Coordinate::Top, 151));
  EXPECT_FALSE(coordinateAccepted(a, Coordinate::Left, -1));
  // Left may reach 1024 when right is there too.
  EXPECT_TRUE(coordinateAccepted(area(0, 0, 1024, 639), Coordinate::Left, 1024));
  EXPECT_FALSE(coordinateAccepted(area(0, 0, 1024, 639), Coordinate::Top, 640));
}

TEST(AreaPreview, PlaceInTheDialogAndAreaMapping) {
  // Base units 6 x 13, box client 240 x 162: left 6*10/4, top 13*36/8 + 2,
  // right 240 + 15 - 6*4/3, bottom 162 + 60 - 13*4/3.
  EXPECT_EQ(previewRect({0, 0, 240, 162}, 6, 13), (AreaRect{15, 60, 247, 205}));
  EXPECT_EQ(previewRect({0, 0, 300, 200}, 7, 15), (AreaRect{17, 69, 308, 249}));

  // Preview 320 x 200 at (10, 20); area 100,50 - 300,150.
  const AreaRect p{10, 20, 330, 220};
  // 320*100/1024 = 31, 200*50/640 = 15, 320*300/1024 = 93, 200*150/640 = 46.
  EXPECT_EQ(mapArea(p, {100, 50, 300, 150}, false), (AreaRect{41, 35, 104, 67}));
  EXPECT_EQ(mapArea(p, {100, 50, 300, 150}, true), (AreaRect{237, 174, 300, 206}));
  // The whole frame covers the preview (and one dot more, as Rectangle
  // leaves the right and bottom edges out).
  EXPECT_EQ(mapArea(p, {0, 0, 1024, 640}, false), (AreaRect{10, 20, 331, 221}));

  // Plans: selected blank on black, the stripe turned with the card,
  // bitmap without a background, an unknown type with nothing.
  PreviewPlan plan = previewPlan(AreaKind::FrontOverlay, area(100, 50, 300, 150, 3), p);
  EXPECT_TRUE(plan.known && plan.hasArea && !plan.bitmap);
  EXPECT_EQ(plan.background, AreaFill::Black);
  EXPECT_EQ(plan.areaFill, AreaFill::White);
  EXPECT_EQ(plan.area, (AreaRect{41, 35, 104, 67}));
  plan = previewPlan(AreaKind::BackOverlay, area(0, 0, 0, 0, 7, 1), p);
  // Stripe 0,25 - 1024,196 turned: x 10+320-320 .. 10+320-0+1, y 20+200-61 .. 20+200-7+1.
  EXPECT_EQ(plan.area, (AreaRect{10, 159, 331, 214}));
  plan = previewPlan(AreaKind::Hologram, area(1, 2, 3, 4, 0), p);
  EXPECT_TRUE(plan.known && !plan.hasArea);
  EXPECT_EQ(plan.background, AreaFill::Black);
  plan = previewPlan(AreaKind::Hologram, area(1, 2, 3, 4, 3), p);
  EXPECT_TRUE(plan.bitmap);
  EXPECT_FALSE(previewPlan(AreaKind::Hologram, area(1, 2, 3, 4, 5), p).known);
}

TEST(AreaBitmaps, OneBitFilesOnly) {
  const std::vector<std::string> rows = {"100", "011"};
  std::vector<uint8_t> f = oneBitBmp(rows);
  EXPECT_EQ(bmpBitCount(f.data(), f.size()), 1);
  OneBitBmp bmp;
  ASSERT_TRUE(parseOneBitBmp(f.data(), f.size(), &bmp));
  EXPECT_EQ(bmp.width, 3);
  EXPECT_EQ(bmp.height, 2);
  EXPECT_EQ(bmp.stride, 4u);
  EXPECT_FALSE(bmp.topDown);
  // Bottom row first in the file: "011" then "100".
  EXPECT_EQ(f[bmp.bitsOffset], 0x60);
  EXPECT_EQ(f[bmp.bitsOffset + 4], 0x80);

  std::vector<uint8_t> turned = rotateOneBitRows180(f.data() + bmp.bitsOffset, 3, 2, 4);
  // "100"/"011" turned is "110"/"001": stored bottom first as "001", "110".
  EXPECT_EQ(turned[0], 0x20);
  EXPECT_EQ(turned[4], 0xC0);

  std::vector<uint8_t> colour = oneBitBmp(rows, false, 24);
  EXPECT_EQ(bmpBitCount(colour.data(), colour.size()), 24);
  EXPECT_FALSE(parseOneBitBmp(colour.data(), colour.size(), &bmp));
  // Bits cut short, a header cut short, no "BM".
  EXPECT_FALSE(parseOneBitBmp(f.data(), f.size() - 1, &bmp));
  EXPECT_EQ(bmpBitCount(f.data(), 53), -1);
  f[0] = 'X';
  EXPECT_EQ(bmpBitCount(f.data(), f.size()), -1);
}

TEST(AreaBitmaps, StretchedOverTheHologramCard) {
  // Two by two, top-left and bottom-right set: each quarter of the card.
  for (bool topDown : {false, true}) {
    std::vector<uint8_t> f = oneBitBmp({"10", "01"}, topDown);
    std::vector<uint8_t> pic;
    ASSERT_TRUE(cardPictureFromBmp(f.data(), f.size(), false, &pic));
    ASSERT_EQ(pic.size(), 81920u);
    EXPECT_TRUE(cardDot(pic, 0, 0));
    EXPECT_TRUE(cardDot(pic, 511, 319));
    EXPECT_FALSE(cardDot(pic, 512, 319));
    EXPECT_FALSE(cardDot(pic, 511, 320));
    EXPECT_TRUE(cardDot(pic, 1023, 639));
  }
  // Turned: a dot in the top-left quarter only ends in the bottom-right one.
  std::vector<uint8_t> f = oneBitBmp({"10", "00"});
  std::vector<uint8_t> pic;
  ASSERT_TRUE(cardPictureFromBmp(f.data(), f.size(), true, &pic));
  EXPECT_FALSE(cardDot(pic, 0, 0));
  EXPECT_TRUE(cardDot(pic, 512, 320));
  EXPECT_TRUE(cardDot(pic, 1023, 639));
  std::vector<uint8_t> colour = oneBitBmp({"10", "00"}, false, 24);
  EXPECT_FALSE(cardPictureFromBmp(colour.data(), colour.size(), false, &pic));
}

}  // namespace
}  // namespace card::cfg
