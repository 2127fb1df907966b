// The imaging between drawing and encoding.  Expected values are worked out
// by hand from the formulas (the power curves with a calculator), never taken
// from the code's own output.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "render/encode.h"
#include "render/imaging.h"

namespace {

using namespace card;

// A colour surface whose rows carry a few bytes of padding, so that a stride
// taken for the row width shows up.
struct Colour {
  int w, h;
  long stride;
  std::vector<uint8_t> bits;
  Colour(int width, int height, uint8_t fill = 255)
      : w(width), h(height), stride(3L * width + 5), bits(size_t(stride) * height, fill) {}
  SurfaceBits view() { return SurfaceBits{bits.data(), stride, w, h}; }
  uint8_t *px(int x, int y) { return &bits[size_t(y) * stride + 3 * x]; }
  void set(int x, int y, uint8_t b, uint8_t g, uint8_t r) {
    px(x, y)[0] = b;
    px(x, y)[1] = g;
    px(x, y)[2] = r;
  }
  void grey(int x, int y, uint8_t v) { set(x, y, v, v, v); }
  std::string bgr(int x, int y) {
    return std::to_string(px(x, y)[0]) + "," + std::to_string(px(x, y)[1]) + "," + std::to_string(px(x, y)[2]);
  }
};

// A 1-bit surface in the engine's layout: rows padded to 32 bits.
struct Black {
  int w, h;
  long stride;
  std::vector<uint8_t> bits;
  Black(int width, int height, uint8_t fill = 0xFF)
      : w(width), h(height), stride((width + 31L) / 32 * 4), bits(size_t(stride) * height, fill) {}
  SurfaceBits view() { return SurfaceBits{bits.data(), stride, w, h}; }
  bool black(int x, int y) const { return !((bits[size_t(y) * stride + x / 8] >> (7 - x % 8)) & 1); }
  void dot(int x, int y) { bits[size_t(y) * stride + x / 8] &= uint8_t(~(0x80 >> (x % 8))); }
  // Row y as text, 'X' for black.
  std::string row(int y) const {
    std::string s;
    for (int x = 0; x < w; ++x) s += black(x, y) ? 'X' : '.';
    return s;
  }
  std::string column(int x) const {
    std::string s;
    for (int y = 0; y < h; ++y) s += black(x, y) ? 'X' : '.';
    return s;
  }
};

JobSettingsRecord settings() {
  JobSettingsRecord s;
  std::memset(&s, 0, sizeof s);
  s.signature = kRecordSignature;
  return s;
}

ImagingTables tablesFor(const JobSettingsRecord &s) {
  ImagingTables t;
  buildImagingTables(s, t);
  return t;
}

ImagingTables monoTables(int method, int ribbonId = 0, int brightness = 0, int contrast = 0) {
  JobSettingsRecord s = settings();
  s.monoConversion = int16_t(method);
  s.ribbonId = uint16_t(ribbonId);
  s.monoBrightness = int16_t(brightness);
  s.monoContrast = int16_t(contrast);
  return tablesFor(s);
}

// --- Adjustment formulas ----------------------------------------------------

TEST(ImagingAdjust, FormulasAtTheLimitsAndNextToZero) {
  // Brightness adds c x 255 / 100 truncated toward zero (-1 -> -2).  Contrast
  // d > 0: 255 x (e / 255.5)^((255 - d x 180 / 100) / 255), so d = 100 takes
  // 128 to 255 x 0.50098^0.29412 = 208.09.  d < 0: exponent 255 / 253 for
  // -1; the monochrome curve has 230 and 255.1 there, so white gives
  // 230 x (255 / 255.1)^(255/253) = 229.9.
  const int v[] = {0, 1, 128, 200, 255};
  struct Case {
    int c, d;
    uint8_t colour[5], mono[5];
  } cases[] = {
      {0, 0, {0, 1, 128, 200, 255}, {0, 1, 128, 200, 255}},
      {-1, 0, {0, 0, 126, 198, 253}, {0, 0, 126, 198, 253}},
      {1, 0, {2, 3, 130, 202, 255}, {2, 3, 130, 202, 255}},
      {-100, 0, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}},
      {100, 0, {255, 255, 255, 255, 255}, {255, 255, 255, 255, 255}},
      {100, -100, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}},
      {0, -1, {0, 0, 127, 199, 254}, {0, 0, 114, 179, 229}},
      {0, 1, {0, 1, 128, 199, 254}, {0, 1, 128, 199, 254}},
      {0, 100, {0, 49, 208, 237, 254}, {0, 49, 208, 237, 254}},
      {1, -1, {1, 2, 129, 201, 254}, {1, 2, 116, 181, 229}},
      {-1, 100, {0, 0, 207, 236, 254}, {0, 0, 207, 236, 254}},
  };
  for (const Case &k : cases)
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(adjustColourValue(v[i], k.c, k.d), k.colour[i]) << "c " << k.c << " d " << k.d << " v " << v[i];
      EXPECT_EQ(adjustMonoValue(v[i], k.c, k.d), k.mono[i]) << "c " << k.c << " d " << k.d << " v " << v[i];
    }
  // Out of range: a contrast counts as its limit instead of an infinite exponent.
  EXPECT_EQ(adjustMonoValue(10, 150, 0), 255);
  EXPECT_EQ(adjustMonoValue(128, 0, -300), 0);
  EXPECT_EQ(adjustColourValue(0, 0, 32767), adjustColourValue(0, 0, 100));
}

// --- Colour preparation -----------------------------------------------------

TEST(ImagingRandom, GeneratorStartsAtOneAndYieldsBits16To30) {
  RandomSource r;
  const unsigned expect[] = {41, 18467, 6334, 26500, 19169, 15724};
  for (unsigned e : expect) EXPECT_EQ(r.next(), e);
}

TEST(ImagingPrepare, WhiteSideBecomes240AndEncodesAsWord0421) {
  for (bool portrait : {false, true}) {
    Colour c(portrait ? kCardShort : kCardLong, portrait ? kCardLong : kCardShort, 255);
    RandomSource r;
    ASSERT_TRUE(prepareColour(c.view(), tablesFor(settings()), r));
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x) ASSERT_EQ(c.bgr(x, y), "240,240,240") << x << "," << y;
    EXPECT_EQ(r.state, 1u) << "white draws no numbers";

    std::vector<uint8_t> plane(kPlaneBytes);
    ASSERT_EQ(encodePlane(c.view(), PlaneChannel::Yellow, false, plane.data(), plane.size()), kPlaneBytes);
    for (size_t line = 0; line < 1024; ++line) {
      const uint8_t *l = &plane[line * kPlaneLineBytes];
      for (int k = 0; k < 213; ++k) ASSERT_EQ(l[2 * k] << 8 | l[2 * k + 1], 0x0421);
      EXPECT_EQ(l[426] << 8 | l[427], 0x0400);
      EXPECT_EQ(l[428] | l[429] | l[430] | l[431], 0);
    }
  }
}

TEST(ImagingPrepare, PureRedEncodesToYellow31Magenta31Cyan1) {
  Colour c(kCardLong, kCardShort, 0);
  for (int y = 0; y < c.h; ++y)
    for (int x = 0; x < c.w; ++x) c.set(x, y, 0, 0, 255);
  RandomSource r;
  ASSERT_TRUE(prepareColour(c.view(), tablesFor(settings()), r));
  EXPECT_EQ(c.bgr(0, 0), "0,0,240");
  EXPECT_EQ(c.bgr(500, 300), "0,0,240");
  EXPECT_EQ(c.bgr(1023, 639), "0,0,240");
  std::vector<uint8_t> plane(kPlaneBytes);
  const PlaneChannel ch[] = {PlaneChannel::Yellow, PlaneChannel::Magenta, PlaneChannel::Cyan};
  const unsigned word[] = {0x7FFF, 0x7FFF, 0x0421};  // 31, 31, 31 / 1, 1, 1
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(encodePlane(c.view(), ch[i], false, plane.data(), plane.size()), kPlaneBytes);
    EXPECT_EQ(unsigned(plane[0] << 8 | plane[1]), word[i]);
    EXPECT_EQ(unsigned(plane[500 * kPlaneLineBytes + 100] << 8 | plane[500 * kPlaneLineBytes + 101]), word[i]);
  }
}

TEST(ImagingPrepare, EachChannelTakesItsOwnAdjustmentFields) {
  struct Case {
    int16_t JobSettingsRecord::*field;
    const char *expect;
  } cases[] = {
      {&JobSettingsRecord::yellowBrightness, "0,240,240"},
      {&JobSettingsRecord::magentaBrightness, "240,0,240"},
      {&JobSettingsRecord::cyanBrightness, "240,240,0"},
  };
  for (const Case &k : cases) {
    JobSettingsRecord s = settings();
    s.*k.field = -100;
    Colour c(4, 4, 255);
    RandomSource r;
    ASSERT_TRUE(prepareColour(c.view(), tablesFor(s), r));
    EXPECT_EQ(c.bgr(0, 0), k.expect);
    EXPECT_EQ(c.bgr(2, 2), k.expect);
  }
}

TEST(ImagingPrepare, NumbersAreDrawnRowByRowPixelByPixelBlueGreenRed) {
  // Remainders of the first draws mod 17: 7 5 10 | 14 10 16 | 3 16 0 | 1 10 10.
  // 93, 91 and 96 leave 8, 6 and 11 over 17: level 5 (80), up to 96 when the
  // draw's remainder is smaller.
  Colour c(2, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) c.set(x, y, 93, 91, 96);
  RandomSource r;
  ASSERT_TRUE(prepareColour(c.view(), tablesFor(settings()), r));
  EXPECT_EQ(c.bgr(0, 0), "96,96,96");
  EXPECT_EQ(c.bgr(1, 0), "80,80,80");
  EXPECT_EQ(c.bgr(0, 1), "96,80,96");
  EXPECT_EQ(c.bgr(1, 1), "96,80,96");

  // 0 and 255 draw nothing: the three draws go to the second pixel.
  Colour d(2, 1);
  d.set(0, 0, 255, 0, 255);
  d.set(1, 0, 93, 91, 96);
  RandomSource r2;
  ASSERT_TRUE(prepareColour(d.view(), tablesFor(settings()), r2));
  EXPECT_EQ(d.bgr(0, 0), "240,0,240");
  EXPECT_EQ(d.bgr(1, 0), "96,96,96");
}

TEST(ImagingPrepare, SharpeningUsesOriginalNeighboursAndTruncatesTowardZero) {
  // Blue channel (green and red 0, which draw nothing):
  //   255 255   0
  //   255 120   0
  //   255   0   0
  // b = 12 x 120 - 2 x 510 - 510 = -90; (5b + 8) / 16 = -442 / 16 = -27.6 -> -27
  // d = 93 = 5 x 17 + 8; the first draw (remainder 7) rounds it up: 96.
  // Rounding down to -28 would give 92 and 80.  The border: 255 -> 240, 0 -> 0.
  Colour c(3, 3, 0);
  const uint8_t blue[3][3] = {{255, 255, 0}, {255, 120, 0}, {255, 0, 0}};
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) c.set(x, y, blue[y][x], 0, 0);
  RandomSource r;
  ASSERT_TRUE(prepareColour(c.view(), tablesFor(settings()), r));
  const uint8_t expect[3][3] = {{240, 240, 0}, {240, 96, 0}, {240, 0, 0}};
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(c.px(x, y)[0], expect[y][x]) << x << "," << y;

  // A centre far darker than its neighbours is pulled down by at most 70:
  // 189 among 255s: b = 2268 - 3060 = -792, c = -70, d = 119 = 7 x 17 -> 112.
  Colour e(3, 3, 255);
  e.set(1, 1, 189, 255, 255);
  RandomSource r2;
  ASSERT_TRUE(prepareColour(e.view(), tablesFor(settings()), r2));
  EXPECT_EQ(e.px(1, 1)[0], 112);
  EXPECT_EQ(e.px(0, 1)[0], 240);
}

// --- Black extraction -------------------------------------------------------

TEST(ImagingExtract, PureBlackMovesToTheBlackSurfaceAndTakesTheLastColour) {
  Colour c(16, 2, 255);
  c.set(0, 0, 0, 0, 0);    // black at the start of a row: white in the colour planes
  c.set(1, 0, 0, 0, 255);  // red
  c.set(2, 0, 0, 0, 0);    // takes red
  c.set(3, 0, 1, 0, 0);    // almost black: stays, and is the colour from now on
  c.set(4, 0, 0, 0, 0);    // takes (1, 0, 0)
  c.set(0, 1, 0, 0, 0);    // every row starts again from white
  Black k(16, 2);
  k.dot(10, 0);  // black drawn before stays black
  ASSERT_TRUE(extractBlack(c.view(), k.view()));
  EXPECT_EQ(c.bgr(0, 0), "255,255,255");
  EXPECT_EQ(c.bgr(1, 0), "0,0,255");
  EXPECT_EQ(c.bgr(2, 0), "0,0,255");
  EXPECT_EQ(c.bgr(3, 0), "1,0,0");
  EXPECT_EQ(c.bgr(4, 0), "1,0,0");
  EXPECT_EQ(c.bgr(0, 1), "255,255,255");
  EXPECT_EQ(k.row(0), "X.X.X.....X.....");
  EXPECT_EQ(k.row(1), "X...............");
  EXPECT_EQ(k.bits[0], 0x57);
  EXPECT_EQ(k.bits[1], 0xDF);
}

// --- Monochrome conversion --------------------------------------------------

TEST(ImagingMono, ThresholdWeighsTheChannelsAndTruncatesTheBrightnessStep) {
  // Grey = (299 R + 587 G + 114 B) / 1000: black at 6 or less.
  struct Case {
    uint8_t b, g, r;
    int brightness;
    bool black;
  } cases[] = {
      {6, 6, 6, 0, true},      {7, 7, 7, 0, false}, {0, 0, 255, -28, true},  // red: 76; 76 - 71 = 5
      {0, 0, 255, -27, false},                                               // 76 - 68 = 8
      {255, 0, 0, -10, true},                                                // blue: 29; -25.5 -> -25: 4
      {255, 0, 0, -9, false},                                                // -22.95 -> -22: 7 (flooring would give 6)
      {0, 255, 0, -57, true},                                                // green: 149; -145.35 -> -145: 4
      {0, 255, 0, -56, false},                                               // -142.8 -> -142: 7
  };
  for (int method : {2, 3}) {
    for (const Case &k : cases) {
      Colour c(8, 2);
      c.set(3, 1, k.b, k.g, k.r);
      Black out(8, 2, 0x00);
      ASSERT_TRUE(convertToMonochrome(c.view(), out.view(), monoTables(method, 0, k.brightness)));
      EXPECT_EQ(out.black(3, 1), k.black) << "method " << method << " pixel " << int(k.b) << "," << int(k.g) << ","
                                          << int(k.r) << " brightness " << k.brightness;
      // The other pixels are white, and white is written over what was there.
      EXPECT_FALSE(out.black(0, 0));
      EXPECT_FALSE(out.black(7, 1));
    }
  }
  // Contrast -100 makes the whole card black.
  Colour c(8, 1, 255);
  Black out(8, 1);
  ASSERT_TRUE(convertToMonochrome(c.view(), out.view(), monoTables(2, 0, 0, -100)));
  EXPECT_EQ(out.row(0), "XXXXXXXX");
  // An unknown method leaves the black surface as drawn.
  ASSERT_TRUE(convertToMonochrome(c.view(), out.view(), monoTables(4)));
  EXPECT_EQ(out.row(0), "XXXXXXXX");
}

TEST(ImagingMono, HalftoneMidGreyPrintsExactlyTheThresholdsUpTo128) {
  // k = (11 + 59 + 30) x 128 / 100 = 128 for (127, 127, 127).  The matrix
  // entries at or below 128, T[column][row]: 32 of the 64.
  const char *expect128[8] = {"....XXXX", "....XXXX", "....XXXX", "....XXXX",
                              "XXXX....", "XXXX....", "XXXX....", "XXXX...."};
  // k = 100 for (155, 155, 155): tells the column index from the row index.
  const char *expect100[8] = {".....XXX", "....XXXX", ".....XXX", ".....XX.",
                              ".XXX....", "XXXX....", ".XXX....", ".XX....."};
  for (int grey : {127, 155}) {
    Colour c(16, 16, uint8_t(grey));
    Black out(16, 16, 0x00);
    ASSERT_TRUE(convertToMonochrome(c.view(), out.view(), monoTables(1, 0, -100, -100)));  // not applied
    const char **expect = grey == 127 ? expect128 : expect100;
    int count = 0;
    for (int y = 0; y < 16; ++y) {
      EXPECT_EQ(out.row(y), std::string(expect[y % 8]) + expect[y % 8]) << "grey " << grey << " row " << y;
      for (int x = 0; x < 8 && y < 8; ++x) count += out.black(x, y);
    }
    if (grey == 127) {
      EXPECT_EQ(count, 32);
    }
  }
  // Full darkness prints everywhere, none nowhere.
  Colour c(8, 8, 0);
  c.set(0, 0, 255, 255, 255);
  Black out(8, 8);
  ASSERT_TRUE(convertToMonochrome(c.view(), out.view(), monoTables(1)));
  EXPECT_EQ(out.row(0), ".XXXXXXX");
  EXPECT_EQ(out.row(7), "XXXXXXXX");
}

TEST(ImagingDiffusion, FixedPointsInBothDirectionsAndOrientations) {
  for (bool portrait : {false, true}) {
    for (int ribbonId : {0, 3}) {
      const int w = portrait ? kCardShort : kCardLong, h = portrait ? kCardLong : kCardShort;
      for (int value : {255, 0, 5, 250}) {
        Colour c(w, h, uint8_t(value));
        Black out(w, h, value > 128 ? 0x00 : 0xFF);
        ASSERT_TRUE(convertToMonochrome(c.view(), out.view(), monoTables(0, ribbonId)));
        bool allExpected = true;
        for (int y = 0; y < h && allExpected; ++y)
          for (int x = 0; x < w; ++x)
            if (out.black(x, y) != (value < 128)) allExpected = false;
        EXPECT_TRUE(allExpected) << "value " << value << " portrait " << portrait << " ribbonId " << ribbonId;
      }
    }
  }
  // Stretched between 3 and 250: below 7 goes to 0 and prints, above 248 to 255.
  Colour c(kCardLong, kCardShort, 250);
  for (int y = 0; y < kCardShort; y += 3)
    for (int x = 0; x < kCardLong; x += 2) c.grey(x, y, 3);
  Black out(kCardLong, kCardShort, 0x00);
  ASSERT_TRUE(convertToMonochrome(c.view(), out.view(), monoTables(0)));
  int wrong = 0;
  for (int y = 0; y < kCardShort; ++y)
    for (int x = 0; x < kCardLong; ++x) wrong += out.black(x, y) != (y % 3 == 0 && x % 2 == 0);
  EXPECT_EQ(wrong, 0);
}

TEST(ImagingDiffusion, ErrorsSpreadWithTheBurkesWeights) {
  // Uniform 128 (no stretch: minimum = maximum).  Worked by hand:
  // row 0: 128 white, 127 to M: next +31, after +15, below 31 15 7.
  //        w = 128 - 31 = 97 black: P next +24 +63, below 12+31 24+63 12+31,
  //        then the next P = 255.  w = 128 + 255 - 15 -> 255 white.
  // row 1: P 43 87 43, M 31 15 7.  140 white (115 to M: +28, +14),
  //        128 + 87 - 43 = 172 white (83: +20), 128 + 43 - 41 = 130 white.
  Colour c(3, 2, 128);
  Black out(3, 2);
  ASSERT_TRUE(convertToMonochrome(c.view(), out.view(), monoTables(0)));
  EXPECT_EQ(out.row(0), ".X.");
  EXPECT_EQ(out.row(1), "...");

  // The weight two to the left below: 250 250 3 over 92 92 92 (minimum 3,
  // maximum 250).  The 3 prints with w = 0 and pushes 255 x 2 / 32 = 15 to
  // the pixel below-left-left.  92 stretches to e = 89 x 255 / 247 = 91,
  // (255 - 164^2 / 255) / 2 + 45 = 120: white only with those 15.
  Colour far(3, 2, 92);
  far.grey(0, 0, 250);
  far.grey(1, 0, 250);
  far.grey(2, 0, 3);
  Black outf(3, 2);
  ASSERT_TRUE(convertToMonochrome(far.view(), outf.view(), monoTables(0)));
  EXPECT_EQ(outf.row(0), "..X");
  EXPECT_FALSE(outf.black(0, 1));

  // One row: the black dot's full push makes the next two white.
  Colour one(4, 1, 128);
  Black out1(4, 1);
  ASSERT_TRUE(convertToMonochrome(one.view(), out1.view(), monoTables(0)));
  EXPECT_EQ(out1.row(0), ".X..");

  // The long-side variant on a portrait surface runs down the columns, so the
  // same pattern appears along column 0 instead of row 0.
  Colour p(2, 3, 128);
  Black outp(2, 3);
  ASSERT_TRUE(convertToMonochrome(p.view(), outp.view(), monoTables(0, 1)));
  EXPECT_EQ(outp.column(0), ".X.");
  EXPECT_EQ(outp.column(1), "...");
  Black outr(2, 3);
  ASSERT_TRUE(convertToMonochrome(p.view(), outr.view(), monoTables(0, 0)));
  EXPECT_EQ(outr.row(0), ".X");
}

TEST(ImagingDiffusion, NeighbourRules) {
  // Rows scan: with minimum 0 and maximum 255, 100 stretches to
  // (255 - 155^2 / 255) / 2 + 50 = 161 / 2 + 50 = 130.  A right neighbour of
  // 200 exceeds that by 70: black, although w = 130 would be white.  With 190
  // (60 more) the pixel stays white.
  for (int right : {200, 190}) {
    Colour c(4, 2, 255);
    c.grey(0, 0, 100);
    c.grey(1, 0, uint8_t(right));
    c.grey(0, 1, 0);
    Black out(4, 2);
    ASSERT_TRUE(convertToMonochrome(c.view(), out.view(), monoTables(0)));
    EXPECT_EQ(out.black(0, 0), right == 200) << right;
  }

  // Long-side variant, judged by the values before the stretch.
  // The first case is judged with empty accumulators, where w alone would
  // print it: 80 stretches (minimum 3, maximum 255) to e = 77,
  // (255 - 178^2 / 255) / 2 + 38 = 103.
  struct Case {
    uint8_t v, next;
    bool black;
  } cases[] = {
      {80, 10, false},   // neighbour darker by 70: white
      {3, 250, false},   // dark before light: white
      {3, 200, true},    // dark otherwise: black
      {150, 80, false},  // neighbour darker by 70: white
      {100, 170, true},  // neighbour brighter by 70: black
      {250, 3, false},   // light: white
  };
  Colour c(6, 6, 255);  // square counts as landscape: lines are rows
  for (int y = 0; y < 6; ++y) {
    c.grey(0, y, cases[y].v);
    c.grey(1, y, cases[y].next);
  }
  c.grey(5, 1, 3);    // the last of a line: dark is black ...
  c.grey(5, 2, 250);  // ... light is white
  Black out(6, 6);
  ASSERT_TRUE(convertToMonochrome(c.view(), out.view(), monoTables(0, 2)));
  for (int y = 0; y < 6; ++y) EXPECT_EQ(out.black(0, y), cases[y].black) << "case " << y;
  EXPECT_TRUE(out.black(5, 1));
  EXPECT_FALSE(out.black(5, 2));

  // Brighter by 70 at the start, where 100 stretches to e = 98,
  // (255 - 157^2 / 255) / 2 + 49 = 128 and w alone would leave it white.
  Colour b(6, 2, 255);
  b.grey(0, 0, 100);
  b.grey(1, 0, 170);
  b.grey(0, 1, 3);
  Black outb(6, 2);
  ASSERT_TRUE(convertToMonochrome(b.view(), outb.view(), monoTables(0, 2)));
  EXPECT_TRUE(outb.black(0, 0));
}

// --- Thinning ---------------------------------------------------------------

TEST(ImagingThin, LinesAcrossTheFeedLoseTheirLastDot) {
  // Landscape: along rows.  A one-dot line (x 5) stays; a two-dot line
  // (x 8, 9) and a run from the edge (x 0, 1) lose their last dot; a run
  // ending on the last dot of the line keeps it.
  Black l(16, 4);
  for (int y = 0; y < 4; ++y)
    for (int x : {0, 1, 5, 8, 9, 11, 12, 13, 14, 15}) l.dot(x, y);
  ASSERT_TRUE(thinBlack(l.view()));
  for (int y = 0; y < 4; ++y) EXPECT_EQ(l.row(y), "X....X..X..XXXXX") << y;

  // Portrait: along columns; width 12 leaves padding bits in the row's
  // second byte, which must not be thinned.
  Black p(12, 16);
  for (int x = 0; x < 12; ++x)
    for (int y : {5, 8, 9, 12, 13, 14}) p.dot(x, y);
  for (int y = 0; y < 16; ++y) p.bits[size_t(y) * p.stride + 1] &= 0xF0;  // padding black
  ASSERT_TRUE(thinBlack(p.view()));
  for (int x = 0; x < 12; ++x) EXPECT_EQ(p.column(x), ".....X..X...XX..") << x;
  for (int y = 0; y < 16; ++y) EXPECT_EQ(p.bits[size_t(y) * p.stride + 1] & 0x0F, 0) << y;
}

// --- Varnish bitmap ---------------------------------------------------------

// 12 x 5, 1 bit per pixel, written by an outside image tool: a 108-byte
// header (not the 40-byte one), palette at 122, pixel bits at 130, bottom-up;
// black dots at (0, 0), (3, 2) and (11, 4).
const uint8_t kToolBmp[150] = {
    0x42, 0x4d, 0x96, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x82, 0x00, 0x00, 0x00, 0x6c, 0x00, 0x00, 0x00, 0x0c,
    0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x14, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff,
    0x00, 0x00, 0xff, 0x00, 0x00, 0xff, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0x42, 0x47, 0x52, 0x73, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xff, 0xff, 0x00, 0xff, 0xe0, 0x00,
    0x00, 0xff, 0xf0, 0x00, 0x00, 0xef, 0xf0, 0x00, 0x00, 0xff, 0xf0, 0x00, 0x00, 0x7f, 0xf0, 0x00, 0x00};

TEST(ImagingVarnish, ReadsAToolMadePictureAndForcesItsPalette) {
  std::vector<uint8_t> f(kToolBmp, kToolBmp + sizeof kToolBmp);
  f[122] = 0xFF;  // a palette given the other way round is forced anyway
  f[126] = 0x00;
  uint8_t fh[14];
  std::memcpy(fh, f.data(), 14);
  EXPECT_EQ(varnishReadSize(fh, f.size()), 150u);
  VarnishPicture pic;
  ASSERT_TRUE(prepareVarnishPicture(f.data(), f.size(), pic));
  EXPECT_EQ(pic.infoOffset, 14u);
  EXPECT_EQ(pic.bitsOffset, 130u);
  EXPECT_EQ(pic.bitsBytes, 20u);
  EXPECT_EQ(pic.width, 12);
  EXPECT_EQ(pic.height, 5);
  const uint8_t palette[8] = {0, 0, 0, 0, 255, 255, 255, 0};
  EXPECT_EQ(std::memcmp(&f[122], palette, 8), 0);
  EXPECT_EQ(std::memcmp(&f[0], kToolBmp, 122), 0) << "nothing else changes";
  EXPECT_EQ(std::memcmp(&f[130], kToolBmp + 130, 20), 0);
  // The clean header: 40 bytes, same size, depth and resolution, two colours,
  // the palette.
  const uint8_t header[48] = {40, 0, 0, 0, 12, 0, 0, 0, 5, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 20,  0,   0,   0,
                              0,  0, 0, 0, 0,  0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 255, 255, 0};
  EXPECT_EQ(std::memcmp(pic.info, header, 48), 0);
}

TEST(ImagingVarnish, RefusesPicturesThatDoNotHoldTogether) {
  auto check = [](std::vector<uint8_t> f) {
    VarnishPicture pic;
    return prepareVarnishPicture(f.data(), f.size(), pic);
  };
  auto with = [](size_t at, std::initializer_list<uint8_t> bytes) {
    std::vector<uint8_t> f(kToolBmp, kToolBmp + sizeof kToolBmp);
    std::copy(bytes.begin(), bytes.end(), f.begin() + long(at));
    return f;
  };
  EXPECT_FALSE(check(std::vector<uint8_t>(kToolBmp, kToolBmp + 149)));  // truncated
  EXPECT_FALSE(check(with(2, {149, 0})));                               // header names less than the bits need
  EXPECT_FALSE(check(with(28, {8})));                                   // 8 bits per pixel
  EXPECT_FALSE(check(with(30, {1})));                                   // compressed
  EXPECT_FALSE(check(with(18, {0, 0, 0, 0})));                          // width 0
  EXPECT_FALSE(check(with(22, {0, 0, 0, 0})));                          // height 0
  EXPECT_FALSE(check(with(18, {0x01, 0x10, 0, 0})));                    // width 4097
  EXPECT_FALSE(check(with(22, {0, 0, 0, 0x80})));                       // height -2^31
  EXPECT_FALSE(check(with(10, {0xFF, 0xFF, 0xFF, 0xFF})));              // bits far outside
  EXPECT_FALSE(check(with(10, {126, 0, 0, 0})));                        // palette would overwrite bits
  EXPECT_FALSE(check(with(14, {12, 0, 0, 0})));                         // old core header
  EXPECT_FALSE(check(with(46, {3, 0, 0, 0})));                          // three palette colours
  EXPECT_TRUE(check(with(22, {0xFB, 0xFF, 0xFF, 0xFF})));               // -5: top-down is fine
  // A header naming more than the file holds is read up to the file's end.
  std::vector<uint8_t> longer = with(2, {0, 1, 0, 0});
  EXPECT_TRUE(check(longer));
  uint8_t fh[14];
  std::memcpy(fh, longer.data(), 14);
  EXPECT_EQ(varnishReadSize(fh, 150), 150u);
  fh[2] = 0xFF, fh[3] = 0xFF, fh[4] = 0xFF, fh[5] = 0xFF;
  EXPECT_EQ(varnishReadSize(fh, uint64_t(1) << 40), kMaxVarnishFileBytes);
  EXPECT_EQ(varnishReadSize(fh, 61), 0u);
  fh[1] = 'A';
  EXPECT_EQ(varnishReadSize(fh, 150), 0u);
}

TEST(ImagingVarnish, LinesRunFromTheLastByteColumnLowBitFirst) {
  std::vector<uint8_t> dib(kVarnishDibBytes, 0xFF), out(kVarnishMaxEncoded);
  ASSERT_EQ(encodeVarnishLines(dib.data(), out.data(), out.size()), kBitmapBytes + 1);
  for (size_t i = 0; i < kBitmapBytes; ++i) ASSERT_EQ(out[i], 0) << i;
  EXPECT_EQ(out[kBitmapBytes], '\r');

  // Row 0, byte 127, bit 0 is the first dot of the first line; row 9, byte 0,
  // bit 7 the tenth dot of the last line.
  dib[127] &= 0xFE;
  dib[9 * 128 + 0] &= 0x7F;
  ASSERT_EQ(encodeVarnishLines(dib.data(), out.data(), out.size()), kBitmapBytes + 1);
  EXPECT_EQ(out[0], 0x80);
  EXPECT_EQ(out[1023 * 80 + 1], 0x40);
  size_t set = 0;
  for (size_t i = 0; i < kBitmapBytes; ++i) set += out[i] != 0;
  EXPECT_EQ(set, 2u);

  // Rows 1, 3, 4, 6 and 7 black in byte 127, bit 1: the second line starts
  // with 0x5B, sent twice.
  std::fill(dib.begin(), dib.end(), 0xFF);
  for (int r : {1, 3, 4, 6, 7}) dib[size_t(r) * 128 + 127] &= 0xFD;
  ASSERT_EQ(encodeVarnishLines(dib.data(), out.data(), out.size()), kBitmapBytes + 2);
  EXPECT_EQ(out[80], 0x5B);
  EXPECT_EQ(out[81], 0x5B);
  EXPECT_EQ(out[82], 0x00);
  EXPECT_EQ(out[kBitmapBytes + 1], '\r');

  EXPECT_EQ(encodeVarnishLines(dib.data(), out.data(), kVarnishMaxEncoded - 1), 0u);
}

}  // namespace
