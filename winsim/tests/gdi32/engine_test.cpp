// The graphics engine, as a printer driver uses it.
#include <gtest/gtest.h>
#include <winsim/testing.h>

#include <cstring>
#include <vector>

#include "gdi_test_support.h"

namespace {

using namespace gdi_test;

// ------------------------------------------------------------ engine

TEST_F(Engine, SurfacesKeepTheirGeometryAndRefuseBadSizes) {
  Bitmap top(640, 1024, BMF_24BPP, BMF_TOPDOWN | BMF_NOZEROINIT);
  ASSERT_NE(top.so, nullptr);
  EXPECT_EQ(top.so->lDelta, 1920);
  EXPECT_EQ(top.so->pvScan0, top.so->pvBits);
  EXPECT_EQ(top.so->iBitmapFormat, ULONG(BMF_24BPP));
  Bitmap mono(1024, 640, BMF_1BPP);
  ASSERT_NE(mono.so, nullptr);
  EXPECT_EQ(mono.so->lDelta, 128);
  // Bottom-up: the first row in memory is the last one of the picture.
  Bitmap up(10, 4, BMF_24BPP, 0);
  ASSERT_NE(up.so, nullptr);
  EXPECT_EQ(up.so->lDelta, -32);
  EXPECT_EQ(static_cast<BYTE *>(up.so->pvScan0), static_cast<BYTE *>(up.so->pvBits) + 3 * 32);

  EXPECT_EQ(EngCreateBitmap(SIZEL{0, 10}, 0, BMF_24BPP, 0, nullptr), nullptr);
  EXPECT_EQ(EngCreateBitmap(SIZEL{10, -1}, 0, BMF_1BPP, 0, nullptr), nullptr);
  EXPECT_EQ(EngCreateBitmap(SIZEL{1 << 30, 1 << 30}, 0, BMF_24BPP, 0, nullptr), nullptr);
  EXPECT_EQ(EngCreateBitmap(SIZEL{10, 10}, 0, 99, 0, nullptr), nullptr);
  EXPECT_EQ(EngLockSurface(nullptr), nullptr);
  EXPECT_FALSE(EngDeleteSurface(reinterpret_cast<HSURF>(&top)));
}

TEST_F(Engine, SolidFillsStopAtTheSurfaceAndTheClipOnBothFormats) {
  for (ULONG fmt : {ULONG(BMF_24BPP), ULONG(BMF_1BPP)}) {
    SCOPED_TRACE(fmt);
    Bitmap b(40, 30, fmt);
    ULONG white = fmt == BMF_1BPP ? 1 : kWhite, ink = fmt == BMF_1BPP ? 0 : kRed;
    b.fill(white);
    BRUSHOBJ bo = solid(ink);
    RECTL over{-5, -5, 10, 8};
    ASSERT_TRUE(EngBitBlt(b.so, nullptr, nullptr, nullptr, nullptr, &over, nullptr, nullptr, &bo, nullptr, 0xF0F0));
    EXPECT_EQ(b.px(0, 0), ink);
    EXPECT_EQ(b.px(9, 7), ink);
    EXPECT_EQ(b.px(10, 7), white);
    EXPECT_EQ(b.px(9, 8), white);

    CLIPOBJ *co = EngCreateClip();
    co->iDComplexity = DC_RECT;
    co->rclBounds = RECTL{20, 10, 25, 15};
    RECTL big{15, 5, 35, 25};
    ASSERT_TRUE(EngBitBlt(b.so, nullptr, nullptr, co, nullptr, &big, nullptr, nullptr, &bo, nullptr, 0xF0F0));
    EXPECT_EQ(b.px(20, 10), ink);
    EXPECT_EQ(b.px(24, 14), ink);
    EXPECT_EQ(b.px(19, 10), white);
    EXPECT_EQ(b.px(25, 14), white);
    EXPECT_EQ(b.px(20, 9), white);
    EXPECT_EQ(b.px(24, 15), white);
    EngDeleteClip(co);

    // Bad rectangles and operations draw nothing.
    RECTL outside{100, 100, 120, 120}, reversed{30, 29, 28, 27}, empty{5, 5, 5, 9};
    EXPECT_TRUE(EngBitBlt(b.so, nullptr, nullptr, nullptr, nullptr, &outside, nullptr, nullptr, &bo, nullptr, 0xF0F0));
    EXPECT_TRUE(EngBitBlt(b.so, nullptr, nullptr, nullptr, nullptr, &empty, nullptr, nullptr, &bo, nullptr, 0xF0F0));
    EXPECT_FALSE(EngBitBlt(b.so, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &bo, nullptr, 0xF0F0));
    EXPECT_FALSE(
        EngBitBlt(b.so, nullptr, nullptr, nullptr, nullptr, &outside, nullptr, nullptr, &bo, nullptr, 0x1F0F0));
    EXPECT_FALSE(EngBitBlt(b.so, nullptr, nullptr, nullptr, nullptr, &big, nullptr, nullptr, nullptr, nullptr, 0xF0F0));
    EXPECT_FALSE(EngBitBlt(b.so, nullptr, nullptr, nullptr, nullptr, &big, nullptr, nullptr, nullptr, nullptr, 0xCCCC));
    // A reversed rectangle is taken in order.
    EXPECT_TRUE(EngBitBlt(b.so, nullptr, nullptr, nullptr, nullptr, &reversed, nullptr, nullptr, &bo, nullptr, 0xF0F0));
    EXPECT_EQ(b.px(28, 27), ink);
    EXPECT_EQ(b.px(29, 28), ink);
    EXPECT_EQ(b.px(30, 28), white);
  }
}

struct RopCase {
  BYTE rop;
  std::function<ULONG(ULONG, ULONG, ULONG)> f;  // of pattern, source, destination
};

const std::vector<RopCase> &ropCases() {
  static const std::vector<RopCase> cases = {
      {0xCC, [](ULONG, ULONG s, ULONG) { return s; }},                       // SRCCOPY
      {0xEE, [](ULONG, ULONG s, ULONG d) { return s | d; }},                 // SRCPAINT
      {0x88, [](ULONG, ULONG s, ULONG d) { return s & d; }},                 // SRCAND
      {0x66, [](ULONG, ULONG s, ULONG d) { return s ^ d; }},                 // SRCINVERT
      {0x44, [](ULONG, ULONG s, ULONG d) { return s & ~d; }},                // SRCERASE
      {0x33, [](ULONG, ULONG s, ULONG) { return ~s; }},                      // NOTSRCCOPY
      {0x11, [](ULONG, ULONG s, ULONG d) { return ~(s | d); }},              // NOTSRCERASE
      {0xC0, [](ULONG p, ULONG s, ULONG) { return p & s; }},                 // MERGECOPY
      {0xBB, [](ULONG, ULONG s, ULONG d) { return ~s | d; }},                // MERGEPAINT
      {0xF0, [](ULONG p, ULONG, ULONG) { return p; }},                       // PATCOPY
      {0xFB, [](ULONG p, ULONG s, ULONG d) { return p | ~s | d; }},          // PATPAINT
      {0x5A, [](ULONG p, ULONG, ULONG d) { return p ^ d; }},                 // PATINVERT
      {0x55, [](ULONG, ULONG, ULONG d) { return ~d; }},                      // DSTINVERT
      {0x00, [](ULONG, ULONG, ULONG) { return 0u; }},                        // BLACKNESS
      {0xFF, [](ULONG, ULONG, ULONG) { return ~0u; }},                       // WHITENESS
      {0xAA, [](ULONG, ULONG, ULONG d) { return d; }},                       // destination kept
      {0xB8, [](ULONG p, ULONG s, ULONG d) { return (s & d) | (~s & p); }},  // source picks destination or pattern
      {0xE2, [](ULONG p, ULONG s, ULONG d) { return (s & p) | (~s & d); }},  // source picks pattern or destination
  };
  return cases;
}

TEST_F(Engine, EveryRop3IsItsTruthTableOnBothFormats) {
  // Monochrome: the eight pixels carry every combination of source and
  // destination bits, under each pattern bit.
  for (const RopCase &c : ropCases()) {
    for (ULONG p : {0u, 1u}) {
      SCOPED_TRACE(testing::Message() << "rop " << std::hex << int(c.rop) << " pattern " << p);
      Bitmap dst(8, 1, BMF_1BPP), src(8, 1, BMF_1BPP);
      for (LONG x = 0; x < 8; ++x) {
        src.set(x, 0, (x >> 1) & 1);
        dst.set(x, 0, x & 1);
      }
      BRUSHOBJ bo = solid(p);
      RECTL r{0, 0, 8, 1};
      POINTL at{0, 0};
      ASSERT_TRUE(EngBitBlt(dst.so, src.so, nullptr, nullptr, nullptr, &r, &at, nullptr, &bo, nullptr,
                            ROP4(c.rop) | (ROP4(c.rop) << 8)));
      for (LONG x = 0; x < 8; ++x) EXPECT_EQ(dst.px(x, 0), c.f(p, (x >> 1) & 1, x & 1) & 1) << "pixel " << x;
    }
  }
  // 24 bits: the operation applies bit by bit to the colour values.
  const ULONG srcVals[4] = {0x00FF00, 0x123456, 0xF0F0F0, 0x000000};
  const ULONG dstVals[4] = {0xFF00FF, 0xA5A5A5, 0x0F0F0F, 0xFFFFFF};
  const ULONG pat = 0x3C5AA5;
  for (const RopCase &c : ropCases()) {
    SCOPED_TRACE(testing::Message() << "rop " << std::hex << int(c.rop));
    Bitmap dst(4, 1, BMF_24BPP), src(4, 1, BMF_24BPP);
    for (LONG x = 0; x < 4; ++x) {
      src.set(x, 0, srcVals[x]);
      dst.set(x, 0, dstVals[x]);
    }
    BRUSHOBJ bo = solid(pat);
    RECTL r{0, 0, 4, 1};
    POINTL at{0, 0};
    ASSERT_TRUE(EngBitBlt(dst.so, src.so, nullptr, nullptr, nullptr, &r, &at, nullptr, &bo, nullptr,
                          ROP4(c.rop) | (ROP4(c.rop) << 8)));
    for (LONG x = 0; x < 4; ++x) EXPECT_EQ(dst.px(x, 0), c.f(pat, srcVals[x], dstVals[x]) & 0xFFFFFF) << x;
  }
}

TEST_F(Engine, CopiesTranslateBetweenFormatsAndHonourAMask) {
  // A monochrome source onto colour through a two-entry table.
  Bitmap mono(4, 1, BMF_1BPP), colour(6, 2, BMF_24BPP);
  mono.set(0, 0, 0);
  mono.set(1, 0, 1);
  mono.set(2, 0, 0);
  mono.set(3, 0, 1);
  colour.fill(kGreen);
  ULONG table[2] = {kBlue, kWhite};
  XLATEOBJ xo{0, XO_TABLE, PAL_INDEXED, PAL_BGR, 2, table};
  EXPECT_EQ(XLATEOBJ_iXlate(&xo, 1), kWhite);
  EXPECT_EQ(XLATEOBJ_iXlate(&xo, 7), 0u);  // outside the table
  RECTL r{1, 1, 5, 2};
  POINTL at{0, 0};
  ASSERT_TRUE(EngCopyBits(colour.so, mono.so, nullptr, &xo, &r, &at));
  EXPECT_EQ(colour.px(0, 1), kGreen);
  EXPECT_EQ(colour.px(1, 1), kBlue);
  EXPECT_EQ(colour.px(2, 1), kWhite);
  EXPECT_EQ(colour.px(4, 1), kWhite);
  EXPECT_EQ(colour.px(5, 1), kGreen);
  EXPECT_EQ(colour.px(1, 0), kGreen);
  // A source rectangle that runs off the source leaves those pixels alone.
  POINTL late{2, 0};
  RECTL wide{0, 0, 6, 1};
  ASSERT_TRUE(EngCopyBits(colour.so, mono.so, nullptr, &xo, &wide, &late));
  EXPECT_EQ(colour.px(0, 0), kBlue);
  EXPECT_EQ(colour.px(1, 0), kWhite);
  EXPECT_EQ(colour.px(2, 0), kGreen);

  // ROP4: the source where the mask is set, the destination elsewhere.
  Bitmap dst(4, 1, BMF_24BPP), src(4, 1, BMF_24BPP), mask(4, 1, BMF_1BPP);
  dst.fill(kWhite);
  src.fill(kRed);
  mask.set(0, 0, 1);
  mask.set(1, 0, 0);
  mask.set(2, 0, 1);
  mask.set(3, 0, 0);
  RECTL all{0, 0, 4, 1};
  POINTL zero{0, 0};
  ASSERT_TRUE(EngBitBlt(dst.so, src.so, mask.so, nullptr, nullptr, &all, &zero, &zero, nullptr, nullptr, 0xAACC));
  EXPECT_EQ(dst.px(0, 0), kRed);
  EXPECT_EQ(dst.px(1, 0), kWhite);
  EXPECT_EQ(dst.px(2, 0), kRed);
  EXPECT_EQ(dst.px(3, 0), kWhite);

  // Overlapping copy within one surface reads the pixels from before.
  Bitmap row(5, 1, BMF_24BPP);
  for (LONG x = 0; x < 5; ++x) row.set(x, 0, ULONG(x + 1));
  RECTL shifted{1, 0, 5, 1};
  ASSERT_TRUE(EngCopyBits(row.so, row.so, nullptr, nullptr, &shifted, &zero));
  for (LONG x = 1; x < 5; ++x) EXPECT_EQ(row.px(x, 0), ULONG(x));
}

TEST_F(Engine, StretchingMirrorsScalesAndKeepsBlackWhenAsked) {
  Bitmap src(4, 1, BMF_24BPP), dst(4, 1, BMF_24BPP);
  src.set(0, 0, kRed);
  src.set(1, 0, kGreen);
  src.set(2, 0, kBlue);
  src.set(3, 0, kWhite);
  RECTL mirrored{4, 0, 0, 1}, s{0, 0, 4, 1};
  ASSERT_TRUE(
      EngStretchBlt(dst.so, src.so, nullptr, nullptr, nullptr, nullptr, nullptr, &mirrored, &s, nullptr, COLORONCOLOR));
  EXPECT_EQ(dst.px(0, 0), kWhite);
  EXPECT_EQ(dst.px(1, 0), kBlue);
  EXPECT_EQ(dst.px(3, 0), kRed);

  // Twice as large: every source pixel becomes a 2 x 2 block.
  Bitmap big(8, 2, BMF_24BPP);
  RECTL d2{0, 0, 8, 2};
  ASSERT_TRUE(
      EngStretchBlt(big.so, src.so, nullptr, nullptr, nullptr, nullptr, nullptr, &d2, &s, nullptr, COLORONCOLOR));
  EXPECT_EQ(big.px(0, 0), kRed);
  EXPECT_EQ(big.px(1, 1), kRed);
  EXPECT_EQ(big.px(2, 0), kGreen);
  EXPECT_EQ(big.px(7, 1), kWhite);

  // Halving a monochrome row whose only black dot is the first: sampling
  // may lose it, BLACKONWHITE keeps it.
  Bitmap line(4, 1, BMF_1BPP), half(2, 1, BMF_1BPP);
  line.fill(1);
  line.set(0, 0, 0);
  RECTL h{0, 0, 2, 1};
  half.fill(1);
  ASSERT_TRUE(
      EngStretchBlt(half.so, line.so, nullptr, nullptr, nullptr, nullptr, nullptr, &h, &s, nullptr, BLACKONWHITE));
  EXPECT_EQ(half.px(0, 0), 0u);
  EXPECT_EQ(half.px(1, 0), 1u);
  half.fill(1);
  ASSERT_TRUE(
      EngStretchBlt(half.so, line.so, nullptr, nullptr, nullptr, nullptr, nullptr, &h, &s, nullptr, WHITEONBLACK));
  EXPECT_EQ(half.px(0, 0), 1u);

  // Destination partly outside the surface, source far outside its bitmap.
  RECTL off{-3, -3, 3, 3}, farSrc{100, 100, 104, 101};
  EXPECT_TRUE(
      EngStretchBlt(dst.so, src.so, nullptr, nullptr, nullptr, nullptr, nullptr, &off, &s, nullptr, COLORONCOLOR));
  EXPECT_TRUE(
      EngStretchBlt(dst.so, src.so, nullptr, nullptr, nullptr, nullptr, nullptr, &d2, &farSrc, nullptr, COLORONCOLOR));
  EXPECT_FALSE(
      EngStretchBlt(dst.so, src.so, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &s, nullptr, COLORONCOLOR));
}

TEST_F(Engine, PaintMixesAndPathFillRules) {
  Bitmap b(30, 30, BMF_24BPP);
  b.fill(kWhite);
  CLIPOBJ *co = EngCreateClip();
  co->iDComplexity = DC_RECT;
  co->rclBounds = RECTL{0, 0, 10, 10};
  BRUSHOBJ black = solid(0);
  ASSERT_TRUE(EngPaint(b.so, co, &black, nullptr, R2_COPYPEN | (R2_COPYPEN << 8)));
  EXPECT_EQ(b.px(9, 9), 0u);
  EXPECT_EQ(b.px(10, 9), kWhite);
  ASSERT_TRUE(EngPaint(b.so, co, &black, nullptr, R2_NOT | (R2_NOT << 8)));  // inverts: back to white
  EXPECT_EQ(b.px(5, 5), kWhite);
  BRUSHOBJ red = solid(kRed);
  ASSERT_TRUE(EngPaint(b.so, co, &red, nullptr, R2_XORPEN | (R2_XORPEN << 8)));
  EXPECT_EQ(b.px(5, 5), kWhite ^ kRed);
  EngDeleteClip(co);

  // Two squares of the same direction, one inside the other: the alternate
  // rule leaves a hole, the winding rule does not.
  for (bool winding : {false, true}) {
    SCOPED_TRACE(winding);
    b.fill(kWhite);
    PATHOBJ *po = EngCreatePath();
    POINTFIX outer[3] = {{LTOFX(20), 0}, {LTOFX(20), LTOFX(20)}, {0, LTOFX(20)}};
    POINTFIX inner[3] = {{LTOFX(15), LTOFX(5)}, {LTOFX(15), LTOFX(15)}, {LTOFX(5), LTOFX(15)}};
    ASSERT_TRUE(PATHOBJ_bMoveTo(po, POINTFIX{0, 0}));
    ASSERT_TRUE(PATHOBJ_bPolyLineTo(po, outer, 3));
    ASSERT_TRUE(PATHOBJ_bCloseFigure(po));
    ASSERT_TRUE(PATHOBJ_bMoveTo(po, POINTFIX{LTOFX(5), LTOFX(5)}));
    ASSERT_TRUE(PATHOBJ_bPolyLineTo(po, inner, 3));
    ASSERT_TRUE(PATHOBJ_bCloseFigure(po));
    ASSERT_TRUE(
        EngFillPath(b.so, po, nullptr, &black, nullptr, R2_COPYPEN, winding ? FP_WINDINGMODE : FP_ALTERNATEMODE));
    EXPECT_EQ(b.px(0, 0), 0u);
    EXPECT_EQ(b.px(19, 19), 0u);
    EXPECT_EQ(b.px(20, 10), kWhite);
    EXPECT_EQ(b.px(10, 20), kWhite);
    EXPECT_EQ(b.px(10, 10), winding ? 0u : kWhite);
    EXPECT_EQ(b.px(2, 10), 0u);
    // The path enumerates as two closed subpaths.
    PATHOBJ_vEnumStart(po);
    PATHDATA pd;
    EXPECT_TRUE(PATHOBJ_bEnum(po, &pd));
    EXPECT_EQ(pd.count, 4u);
    EXPECT_TRUE(pd.flags & PD_CLOSEFIGURE);
    EXPECT_FALSE(PATHOBJ_bEnum(po, &pd));
    EXPECT_EQ(pd.count, 4u);
    EngDeletePath(po);
  }

  // Cosmetic lines leave out their last pixel.
  b.fill(kWhite);
  ASSERT_TRUE(EngLineTo(b.so, nullptr, &black, 2, 5, 10, 5, nullptr, R2_COPYPEN));
  EXPECT_EQ(b.px(2, 5), 0u);
  EXPECT_EQ(b.px(9, 5), 0u);
  EXPECT_EQ(b.px(10, 5), kWhite);
  EXPECT_EQ(b.px(1, 5), kWhite);
  EXPECT_TRUE(EngLineTo(b.so, nullptr, &black, -1000000, -5, 1000000, 40, nullptr, R2_COPYPEN));
}

TEST_F(Engine, ClipObjectsEnumerateTheirRectangles) {
  CLIPOBJ *co = EngCreateClip();
  co->iDComplexity = DC_RECT;
  co->rclBounds = RECTL{1, 2, 3, 4};
  EXPECT_EQ(CLIPOBJ_cEnumStart(co, FALSE, CT_RECTANGLES, CD_ANY, 10), 1u);
  struct {
    ULONG c;
    RECTL r[2];
  } e{};
  EXPECT_FALSE(CLIPOBJ_bEnum(co, sizeof(e), reinterpret_cast<ULONG *>(&e)));
  ASSERT_EQ(e.c, 1u);
  EXPECT_EQ(e.r[0].right, 3);
  // A buffer too small for one rectangle returns none.
  ULONG tiny = 0;
  EXPECT_FALSE(CLIPOBJ_bEnum(co, sizeof(tiny), &tiny));
  EngDeleteClip(co);
  EXPECT_EQ(BRUSHOBJ_ulGetBrushColor(nullptr), 0xFFFFFFFFu);
}

// ------------------------------------------------------------ memory DCs and text

TEST_F(Engine, TextOnADibHasInkOnlyInItsBoxAndTheTextColour) {
  BITMAPINFO bmi{};
  bmi.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 240, -80, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void *bits = nullptr;
  HBITMAP bm = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(bm, nullptr);
  ASSERT_NE(bits, nullptr);
  std::memset(bits, 0xFF, 240 * 3 * 80);
  HDC dc = CreateCompatibleDC(nullptr);
  ASSERT_NE(dc, nullptr);
  HGDIOBJ oldBm = SelectObject(dc, bm);
  ASSERT_NE(oldBm, nullptr);
  HFONT font = CreateFontW(-32, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, u"Arial");
  HGDIOBJ oldFont = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 0, 0));
  ASSERT_TRUE(TextOutW(dc, 10, 20, u"HELLO", 5));
  SIZE ext{};
  ASSERT_TRUE(GetTextExtentPoint32W(dc, u"HELLO", 5, &ext));
  EXPECT_GT(ext.cx, 60);
  EXPECT_LT(ext.cx, 200);
  EXPECT_GE(ext.cy, 32);
  int in = 0, out = 0, other = 0;
  auto *p = static_cast<BYTE *>(bits);
  for (int y = 0; y < 80; ++y)
    for (int x = 0; x < 240; ++x) {
      BYTE *q = p + (y * 240 + x) * 3;
      ULONG v = ULONG(q[0] | (q[1] << 8) | (q[2] << 16));
      if (v == kWhite) continue;
      if (v != kRed) ++other;
      bool inside = x >= 10 && x < 10 + ext.cx && y >= 20 && y < 20 + ext.cy;
      (inside ? in : out)++;
    }
  // Capital letters cover a good part of their cells, and only those.
  EXPECT_GT(in, ext.cx * ext.cy / 12);
  EXPECT_LT(in, ext.cx * ext.cy / 2);
  EXPECT_EQ(out, 0);
  EXPECT_EQ(other, 0);
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 255, 255));

  // Glyph indices out of the font's range draw nothing and do not fail.
  WORD bad[2] = {0xFFFF, 0xFFFE};
  EXPECT_TRUE(ExtTextOutW(dc, 5, 5, ETO_GLYPH_INDEX, nullptr, reinterpret_cast<LPCWSTR>(bad), 2, nullptr));
  SelectObject(dc, oldFont);
  DeleteObject(font);
  SelectObject(dc, oldBm);
  DeleteObject(bm);
  DeleteDC(dc);
}

TEST_F(Engine, StretchDIBitsIntoAMonochromeDibAndBack) {
  // A 4 x 2 bottom-up colour picture: top row black, white; bottom row white.
  struct {
    BITMAPINFOHEADER h;
    RGBQUAD c[2];
  } mono{{sizeof(BITMAPINFOHEADER), 8, 4, 1, 1, BI_RGB, 0, 11811, 11811, 2, 0}, {{0, 0, 0, 0}, {255, 255, 255, 0}}};
  void *bits = nullptr;
  HBITMAP bm = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO *>(&mono), DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(bm, nullptr);
  HDC dc = CreateCompatibleDC(nullptr);
  SelectObject(dc, bm);
  BITMAPINFO src{};
  src.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 2, 2, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  // Rows of 2 pixels padded to 8 bytes; the first row in memory is the bottom.
  BYTE pix[16] = {255, 255, 255, 255, 255, 255, 0, 0, 0, 0, 0, 0, 255, 255, 255, 0};
  // Upside down into the whole bitmap: a negative height runs from the
  // origin upwards, the origin's own row not included.
  EXPECT_EQ(StretchDIBits(dc, 0, 4, 8, -4, 0, 0, 2, 2, pix, &src, DIB_RGB_COLORS, SRCCOPY), 2);
  // Read back as top-down rows: the picture's top row (black, white) now
  // lies in the bottom half, its left half black.
  struct {
    BITMAPINFOHEADER h;
    RGBQUAD c[2];
  } out{{sizeof(BITMAPINFOHEADER), 8, -4, 1, 1, BI_RGB, 0, 0, 0, 0, 0}, {}};
  BYTE rows[16] = {};
  EXPECT_EQ(GetDIBits(dc, bm, 0, 4, rows, reinterpret_cast<BITMAPINFO *>(&out), DIB_RGB_COLORS), 4);
  EXPECT_EQ(rows[0], 0xFF);   // row 0: the picture's bottom row, white
  EXPECT_EQ(rows[4], 0xFF);   // row 1
  EXPECT_EQ(rows[8], 0x0F);   // row 2: black, black, black, black, then white
  EXPECT_EQ(rows[12], 0x0F);  // row 3
  EXPECT_EQ(out.c[0].rgbRed, 0);
  EXPECT_EQ(out.c[1].rgbRed, 255);
  // Bad headers are refused.
  BITMAPINFO badInfo{};
  badInfo.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 0, 2, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  EXPECT_EQ(StretchDIBits(dc, 0, 0, 4, 4, 0, 0, 2, 2, pix, &badInfo, DIB_RGB_COLORS, SRCCOPY), 0);
  badInfo.bmiHeader.biWidth = 2;
  badInfo.bmiHeader.biBitCount = 7;
  EXPECT_EQ(StretchDIBits(dc, 0, 0, 4, 4, 0, 0, 2, 2, pix, &badInfo, DIB_RGB_COLORS, SRCCOPY), 0);
  EXPECT_EQ(CreateDIBSection(nullptr, &badInfo, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
  DeleteDC(dc);
  DeleteObject(bm);
}

}  // namespace
