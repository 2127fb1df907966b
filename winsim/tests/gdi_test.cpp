// The graphics engine, the application side of GDI and the spooler, as a
// printer driver and a printing application use them.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <winddi.h>
#include <winsim/testing.h>
#include <winspool.h>

#include <cstring>
#include <fstream>
#include <functional>

namespace {

// ------------------------------------------------------------ helpers

struct Bitmap {
  HSURF h = nullptr;
  SURFOBJ *so = nullptr;
  Bitmap(LONG cx, LONG cy, ULONG fmt, FLONG fl = BMF_TOPDOWN) {
    h = reinterpret_cast<HSURF>(EngCreateBitmap(SIZEL{cx, cy}, 0, fmt, fl, nullptr));
    so = h ? EngLockSurface(h) : nullptr;
  }
  ~Bitmap() {
    if (so) EngUnlockSurface(so);
    if (h) EngDeleteSurface(h);
  }
  ULONG px(LONG x, LONG y) const {
    const BYTE *row = static_cast<const BYTE *>(so->pvScan0) + y * so->lDelta;
    if (so->iBitmapFormat == BMF_1BPP) return (row[x / 8] >> (7 - x % 8)) & 1;
    const BYTE *p = row + 3 * x;
    return ULONG(p[0] | (p[1] << 8) | (p[2] << 16));
  }
  void set(LONG x, LONG y, ULONG v) {
    BYTE *row = static_cast<BYTE *>(so->pvScan0) + y * so->lDelta;
    if (so->iBitmapFormat == BMF_1BPP) {
      if (v) row[x / 8] |= BYTE(0x80 >> (x % 8));
      else row[x / 8] &= BYTE(~(0x80 >> (x % 8)));
      return;
    }
    row[3 * x] = BYTE(v);
    row[3 * x + 1] = BYTE(v >> 8);
    row[3 * x + 2] = BYTE(v >> 16);
  }
  void fill(ULONG v) { EngEraseSurface(so, nullptr, v); }
};

constexpr ULONG kWhite = 0xFFFFFF, kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF;  // 0x00RRGGBB

BRUSHOBJ solid(ULONG c) { return BRUSHOBJ{c, nullptr, 0}; }

// A page as the test driver writes it.
struct Page {
  LONG w = 0, h = 0;
  std::vector<uint8_t> px;
  ULONG at(LONG x, LONG y) const {
    size_t i = (size_t(y) * size_t(w) + size_t(x)) * 3;
    return ULONG(px[i] | (px[i + 1] << 8) | (px[i + 2] << 16));
  }
  // Non-white pixels inside and outside a box.
  std::pair<int, int> ink(RECT box) const {
    int in = 0, out = 0;
    for (LONG y = 0; y < h; ++y)
      for (LONG x = 0; x < w; ++x)
        if (at(x, y) != kWhite) {
          bool inside = x >= box.left && x < box.right && y >= box.top && y < box.bottom;
          (inside ? in : out)++;
        }
    return {in, out};
  }
};

std::vector<Page> pagesOf(const std::vector<uint8_t> &bytes) {
  std::vector<Page> pages;
  size_t i = 0;
  while (i + 12 <= bytes.size() && std::memcmp(&bytes[i], "PAGE", 4) == 0) {
    Page p;
    std::memcpy(&p.w, &bytes[i + 4], 4);
    std::memcpy(&p.h, &bytes[i + 8], 4);
    size_t n = size_t(p.w) * size_t(p.h) * 3;
    if (i + 12 + n > bytes.size()) break;
    p.px.assign(bytes.begin() + long(i + 12), bytes.begin() + long(i + 12 + n));
    pages.push_back(std::move(p));
    i += 12 + n;
  }
  return pages;
}

const char16_t *const kDriverPath = u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\winsim_testdrv.dll";

class Engine : public ::testing::Test {
 protected:
  void SetUp() override { winsim::resetMachine(); }
};

class Printing : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::resetMachine();
    winsim::PrinterSetup s;
    s.printerName = u"Card Test";
    s.graphicsDll = WINSIM_TESTDRV;
    s.portName = u"USB001";
    ASSERT_TRUE(winsim::installPrinter(s));
    // Held for the whole test so that the driver's counters survive DeleteDC.
    drv = LoadLibraryW(kDriverPath);
    ASSERT_NE(drv, nullptr);
    hookCount = reinterpret_cast<LONG (*)(ULONG)>(reinterpret_cast<void (*)()>(GetProcAddress(drv, "TestDrvHookCount")));
    setHooks = reinterpret_cast<void (*)(FLONG)>(reinterpret_cast<void (*)()>(GetProcAddress(drv, "TestDrvSetHooks")));
    lastText = reinterpret_cast<const WCHAR *(*)()>(reinterpret_cast<void (*)()>(GetProcAddress(drv, "TestDrvLastText")));
    lastClip = reinterpret_cast<ULONG (*)(RECTL *, BYTE *)>(reinterpret_cast<void (*)()>(GetProcAddress(drv, "TestDrvLastClip")));
    events = reinterpret_cast<const char *(*)()>(reinterpret_cast<void (*)()>(GetProcAddress(drv, "TestDrvEvents")));
    ASSERT_TRUE(hookCount && setHooks && lastText && lastClip && events);
    setHooks(HOOK_BITBLT | HOOK_STRETCHBLT | HOOK_TEXTOUT | HOOK_PAINT | HOOK_STROKEPATH | HOOK_FILLPATH |
             HOOK_STROKEANDFILLPATH | HOOK_LINETO | HOOK_COPYBITS);
  }
  void TearDown() override {
    if (drv) FreeLibrary(drv);
  }
  HDC startPage() {
    HDC dc = CreateDCW(nullptr, u"Card Test", nullptr, nullptr);
    EXPECT_NE(dc, nullptr);
    DOCINFOW di{sizeof(DOCINFOW), u"card", nullptr, nullptr, 0};
    EXPECT_GT(StartDocW(dc, &di), 0);
    EXPECT_GT(StartPage(dc), 0);
    return dc;
  }
  Page finish(HDC dc) {
    EXPECT_GT(EndPage(dc), 0);
    EXPECT_GT(EndDoc(dc), 0);
    EXPECT_TRUE(DeleteDC(dc));
    auto jobs = winsim::printJobs(u"Card Test");
    EXPECT_FALSE(jobs.empty());
    if (jobs.empty()) return {};
    auto pages = pagesOf(jobs.back().bytes);
    EXPECT_EQ(pages.size(), 1u);
    return pages.empty() ? Page{} : pages[0];
  }
  HMODULE drv = nullptr;
  LONG (*hookCount)(ULONG) = nullptr;
  void (*setHooks)(FLONG) = nullptr;
  const WCHAR *(*lastText)() = nullptr;
  ULONG (*lastClip)(RECTL *, BYTE *) = nullptr;
  const char *(*events)() = nullptr;
};

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
    EXPECT_FALSE(EngBitBlt(b.so, nullptr, nullptr, nullptr, nullptr, &outside, nullptr, nullptr, &bo, nullptr, 0x1F0F0));
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
      {0xCC, [](ULONG, ULONG s, ULONG) { return s; }},                    // SRCCOPY
      {0xEE, [](ULONG, ULONG s, ULONG d) { return s | d; }},              // SRCPAINT
      {0x88, [](ULONG, ULONG s, ULONG d) { return s & d; }},              // SRCAND
      {0x66, [](ULONG, ULONG s, ULONG d) { return s ^ d; }},              // SRCINVERT
      {0x44, [](ULONG, ULONG s, ULONG d) { return s & ~d; }},             // SRCERASE
      {0x33, [](ULONG, ULONG s, ULONG) { return ~s; }},                   // NOTSRCCOPY
      {0x11, [](ULONG, ULONG s, ULONG d) { return ~(s | d); }},           // NOTSRCERASE
      {0xC0, [](ULONG p, ULONG s, ULONG) { return p & s; }},              // MERGECOPY
      {0xBB, [](ULONG, ULONG s, ULONG d) { return ~s | d; }},             // MERGEPAINT
      {0xF0, [](ULONG p, ULONG, ULONG) { return p; }},                    // PATCOPY
      {0xFB, [](ULONG p, ULONG s, ULONG d) { return p | ~s | d; }},       // PATPAINT
      {0x5A, [](ULONG p, ULONG, ULONG d) { return p ^ d; }},              // PATINVERT
      {0x55, [](ULONG, ULONG, ULONG d) { return ~d; }},                   // DSTINVERT
      {0x00, [](ULONG, ULONG, ULONG) { return 0u; }},                     // BLACKNESS
      {0xFF, [](ULONG, ULONG, ULONG) { return ~0u; }},                    // WHITENESS
      {0xAA, [](ULONG, ULONG, ULONG d) { return d; }},                    // destination kept
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
  ASSERT_TRUE(EngStretchBlt(dst.so, src.so, nullptr, nullptr, nullptr, nullptr, nullptr, &mirrored, &s, nullptr, COLORONCOLOR));
  EXPECT_EQ(dst.px(0, 0), kWhite);
  EXPECT_EQ(dst.px(1, 0), kBlue);
  EXPECT_EQ(dst.px(3, 0), kRed);

  // Twice as large: every source pixel becomes a 2 x 2 block.
  Bitmap big(8, 2, BMF_24BPP);
  RECTL d2{0, 0, 8, 2};
  ASSERT_TRUE(EngStretchBlt(big.so, src.so, nullptr, nullptr, nullptr, nullptr, nullptr, &d2, &s, nullptr, COLORONCOLOR));
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
  ASSERT_TRUE(EngStretchBlt(half.so, line.so, nullptr, nullptr, nullptr, nullptr, nullptr, &h, &s, nullptr, BLACKONWHITE));
  EXPECT_EQ(half.px(0, 0), 0u);
  EXPECT_EQ(half.px(1, 0), 1u);
  half.fill(1);
  ASSERT_TRUE(EngStretchBlt(half.so, line.so, nullptr, nullptr, nullptr, nullptr, nullptr, &h, &s, nullptr, WHITEONBLACK));
  EXPECT_EQ(half.px(0, 0), 1u);

  // Destination partly outside the surface, source far outside its bitmap.
  RECTL off{-3, -3, 3, 3}, farSrc{100, 100, 104, 101};
  EXPECT_TRUE(EngStretchBlt(dst.so, src.so, nullptr, nullptr, nullptr, nullptr, nullptr, &off, &s, nullptr, COLORONCOLOR));
  EXPECT_TRUE(EngStretchBlt(dst.so, src.so, nullptr, nullptr, nullptr, nullptr, nullptr, &d2, &farSrc, nullptr, COLORONCOLOR));
  EXPECT_FALSE(EngStretchBlt(dst.so, src.so, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &s, nullptr, COLORONCOLOR));
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
    ASSERT_TRUE(EngFillPath(b.so, po, nullptr, &black, nullptr, R2_COPYPEN, winding ? FP_WINDINGMODE : FP_ALTERNATEMODE));
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

// ------------------------------------------------------------ printing through a driver

TEST_F(Printing, ADrawnPageReachesTheDriverAndTheJob) {
  HDC dc = startPage();
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 320);
  EXPECT_EQ(GetDeviceCaps(dc, TECHNOLOGY), DT_RASPRINTER);
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 300);

  HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
  RECT box{20, 20, 60, 50};
  EXPECT_EQ(FillRect(dc, &box, blue), 1);
  MoveToEx(dc, 10, 100, nullptr);
  EXPECT_TRUE(LineTo(dc, 110, 100));

  HFONT font = CreateFontW(-24, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, u"Arial");
  HGDIOBJ oldFont = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SIZE ext{};
  ASSERT_TRUE(GetTextExtentPoint32W(dc, u"Card", 4, &ext));
  EXPECT_TRUE(TextOutW(dc, 150, 20, u"Card", 4));
  SetTextColor(dc, RGB(255, 0, 0));
  EXPECT_TRUE(TextOutW(dc, 150, 60, u"Card", 4));

  // A 2 x 2 picture stretched to 40 x 40: red, green over blue, white.
  BITMAPINFO bi{};
  bi.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 2, -2, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void *bits = nullptr;
  HBITMAP pic = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(pic, nullptr);
  BYTE *p = static_cast<BYTE *>(bits);
  const BYTE quad[2][6] = {{0, 0, 255, 0, 255, 0}, {255, 0, 0, 255, 255, 255}};
  std::memcpy(p, quad[0], 6);
  std::memcpy(p + 8, quad[1], 6);
  HDC mem = CreateCompatibleDC(dc);
  SelectObject(mem, pic);
  EXPECT_TRUE(StretchBlt(dc, 200, 120, 40, 40, mem, 0, 0, 2, 2, SRCCOPY));

  Page pg = finish(dc);
  ASSERT_EQ(pg.w, 320);
  ASSERT_EQ(pg.h, 200);
  // The filled rectangle: its corners, and the pixels just outside.
  EXPECT_EQ(pg.at(20, 20), kBlue);
  EXPECT_EQ(pg.at(59, 49), kBlue);
  EXPECT_EQ(pg.at(19, 20), kWhite);
  EXPECT_EQ(pg.at(60, 49), kWhite);
  EXPECT_EQ(pg.at(59, 50), kWhite);
  // The line, without its end point.
  EXPECT_EQ(pg.at(10, 100), 0u);
  EXPECT_EQ(pg.at(109, 100), 0u);
  EXPECT_EQ(pg.at(110, 100), kWhite);
  EXPECT_EQ(pg.at(50, 99), kWhite);
  EXPECT_EQ(pg.at(50, 101), kWhite);
  // Text: black ink in the first box, red in the second.
  auto count = [&](RECT r, ULONG colour) {
    int n = 0;
    for (LONG y = r.top; y < r.bottom; ++y)
      for (LONG x = r.left; x < r.right; ++x) n += pg.at(x, y) == colour;
    return n;
  };
  RECT black{150, 20, 150 + ext.cx, 20 + ext.cy}, red{150, 60, 150 + ext.cx, 60 + ext.cy};
  int area = ext.cx * ext.cy;
  EXPECT_GT(count(black, 0), area / 10);
  EXPECT_LT(count(black, 0), area / 2);
  EXPECT_GT(count(red, kRed), area / 10);
  EXPECT_EQ(count(red, 0), 0);
  EXPECT_EQ(count(RECT{150 + ext.cx, 20, 320, 100}, 0), 0);
  // The stretched picture, quadrant by quadrant.
  EXPECT_EQ(pg.at(200, 120), kRed);
  EXPECT_EQ(pg.at(219, 139), kRed);
  EXPECT_EQ(pg.at(220, 139), kGreen);
  EXPECT_EQ(pg.at(239, 120), kGreen);
  EXPECT_EQ(pg.at(200, 140), kBlue);
  EXPECT_EQ(pg.at(239, 159), kWhite);
  EXPECT_EQ(pg.at(199, 120), kWhite);
  EXPECT_EQ(pg.at(240, 140), kWhite);

  // Every call went through its hook.
  EXPECT_EQ(hookCount(INDEX_DrvBitBlt), 1);
  EXPECT_EQ(hookCount(INDEX_DrvLineTo), 1);
  EXPECT_EQ(hookCount(INDEX_DrvTextOut), 2);
  EXPECT_EQ(hookCount(INDEX_DrvStretchBlt), 1);
  EXPECT_EQ(hookCount(INDEX_DrvStartDoc), 1);
  EXPECT_EQ(hookCount(INDEX_DrvSendPage), 1);
  EXPECT_EQ(hookCount(INDEX_DrvDisablePDEV), 1);
  EXPECT_STREQ(events(), "startdoc startpage sendpage enddoc disabledriver ");
  auto jobs = winsim::printJobs(u"Card Test");
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_TRUE(jobs[0].completed);
  EXPECT_EQ(jobs[0].pages, 1u);
  EXPECT_EQ(jobs[0].document, u"card");
  SelectObject(mem, GetStockObject(WHITE_BRUSH));
  DeleteDC(mem);
  DeleteObject(pic);
  DeleteObject(font);
  (void)oldFont;
  DeleteObject(blue);
}

TEST_F(Printing, ShapesGoToThePathHooksAndUnhookedCallsToTheEngine) {
  HDC dc = startPage();
  HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
  SelectObject(dc, green);
  EXPECT_TRUE(Rectangle(dc, 10, 10, 30, 20));  // black border, green inside
  SelectObject(dc, GetStockObject(NULL_PEN));
  POINT tri[3] = {{100, 10}, {140, 10}, {100, 50}};
  EXPECT_TRUE(Polygon(dc, tri, 3));
  EXPECT_TRUE(Ellipse(dc, 200, 100, 240, 140));
  HPEN wide = CreatePen(PS_SOLID, 6, RGB(255, 0, 0));
  SelectObject(dc, wide);
  MoveToEx(dc, 20, 150, nullptr);
  EXPECT_TRUE(LineTo(dc, 120, 150));
  Page pg = finish(dc);
  EXPECT_EQ(pg.at(10, 10), 0u);
  EXPECT_EQ(pg.at(29, 19), 0u);
  EXPECT_EQ(pg.at(30, 19), kWhite);
  EXPECT_EQ(pg.at(20, 15), kGreen);
  EXPECT_EQ(pg.at(101, 11), kGreen);
  EXPECT_EQ(pg.at(138, 45), kWhite);
  EXPECT_EQ(pg.at(220, 120), kGreen);
  EXPECT_EQ(pg.at(201, 101), kWhite);  // outside the ellipse, inside its box
  EXPECT_EQ(pg.at(70, 148), kRed);     // the wide line is 6 pixels thick
  EXPECT_EQ(pg.at(70, 152), kRed);
  EXPECT_EQ(pg.at(70, 145), kWhite);
  EXPECT_EQ(hookCount(INDEX_DrvStrokeAndFillPath), 1);
  EXPECT_EQ(hookCount(INDEX_DrvFillPath), 3);  // polygon, ellipse, widened line

  // The same drawing with no hooks lands through the engine routines.
  setHooks(0);
  dc = startPage();
  SelectObject(dc, green);
  EXPECT_TRUE(Rectangle(dc, 10, 10, 30, 20));
  pg = finish(dc);
  EXPECT_EQ(pg.at(10, 10), 0u);
  EXPECT_EQ(pg.at(20, 15), kGreen);
  EXPECT_EQ(hookCount(INDEX_DrvStrokeAndFillPath), 0);
  EXPECT_EQ(hookCount(INDEX_DrvFillPath), 0);
  DeleteObject(green);
  DeleteObject(wide);
}

TEST_F(Printing, GlyphIndexTextTranslatesBackAndClipsReachTheDriver) {
  HDC dc = startPage();
  WORD gi[3] = {};
  ASSERT_EQ(GetGlyphIndicesW(dc, u"ABC", 3, gi, 0), 3u);
  EXPECT_NE(gi[0], 0);
  RECT r{0, 0, 100, 40};
  EXPECT_TRUE(ExtTextOutW(dc, 10, 10, ETO_GLYPH_INDEX | ETO_OPAQUE, &r, reinterpret_cast<LPCWSTR>(gi), 3, nullptr));
  EXPECT_EQ(std::u16string(lastText()), u"ABC");
  EXPECT_TRUE(TextOutW(dc, 10, 60, u"xyz", 3));
  EXPECT_EQ(std::u16string(lastText()), u"xyz");

  // A fill with a hole: the driver gets a complex clip of disjoint
  // rectangles around it.
  ExcludeClipRect(dc, 150, 120, 160, 130);
  RECT area{140, 110, 170, 140};
  EXPECT_EQ(FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))), 1);
  RECTL clip[16];
  BYTE complexity = 0;
  ULONG n = lastClip(clip, &complexity);
  EXPECT_EQ(complexity, DC_COMPLEX);
  EXPECT_GE(n, 4u);
  SelectClipRgn(dc, nullptr);
  IntersectClipRect(dc, 0, 0, 50, 200);
  RECT edge{40, 150, 80, 160};
  EXPECT_EQ(FillRect(dc, &edge, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))), 1);
  n = lastClip(clip, &complexity);
  EXPECT_EQ(complexity, DC_RECT);
  Page pg = finish(dc);
  EXPECT_EQ(pg.at(140, 110), 0u);
  EXPECT_EQ(pg.at(169, 139), 0u);
  EXPECT_EQ(pg.at(150, 120), kWhite);
  EXPECT_EQ(pg.at(159, 129), kWhite);
  EXPECT_EQ(pg.at(160, 129), 0u);
  EXPECT_EQ(pg.at(49, 155), 0u);
  EXPECT_EQ(pg.at(50, 155), kWhite);
  EXPECT_EQ(pg.at(99, 39), kWhite);  // the opaque rectangle is the background colour
}

TEST_F(Printing, EscapesResetsAndAbortedDocuments) {
  HDC dc = CreateDCW(nullptr, u"Card Test", nullptr, nullptr);
  ASSERT_NE(dc, nullptr);
  DOCINFOW di{sizeof(DOCINFOW), u"raw", nullptr, nullptr, 0};
  ASSERT_GT(StartDocW(dc, &di), 0);
  WORD query = PASSTHROUGH;
  EXPECT_EQ(ExtEscape(dc, QUERYESCSUPPORT, sizeof(query), reinterpret_cast<LPCSTR>(&query), 0, nullptr), 1);
  WORD other = 4115;
  EXPECT_EQ(ExtEscape(dc, QUERYESCSUPPORT, sizeof(other), reinterpret_cast<LPCSTR>(&other), 0, nullptr), 0);
  const char data[10] = {8, 0, '\x1b', 'A', 'B', '\r', 0, 1, 2, 3};
  EXPECT_EQ(ExtEscape(dc, PASSTHROUGH, 10, data, 0, nullptr), 8);
  EXPECT_EQ(ExtEscape(dc, PASSTHROUGH, -1, data, 0, nullptr), 0);
  // A new DEVMODE between pages: the driver hands over its state and the
  // new surface has the new size.
  DEVMODEW dm{};
  dm.dmSize = sizeof(DEVMODEW);
  dm.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
  dm.dmPelsWidth = 64;
  dm.dmPelsHeight = 32;
  EXPECT_EQ(ResetDCW(dc, &dm), dc);
  EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 64);
  ASSERT_GT(StartPage(dc), 0);
  EXPECT_EQ(ResetDCW(dc, &dm), nullptr);  // not inside a page
  ASSERT_GT(EndPage(dc), 0);
  ASSERT_GT(EndDoc(dc), 0);
  auto jobs = winsim::printJobs(u"Card Test");
  ASSERT_EQ(jobs.size(), 1u);
  ASSERT_GE(jobs[0].bytes.size(), 8u);
  EXPECT_EQ(std::vector<uint8_t>(jobs[0].bytes.begin(), jobs[0].bytes.begin() + 8),
            std::vector<uint8_t>(data + 2, data + 10));
  auto pages = pagesOf(std::vector<uint8_t>(jobs[0].bytes.begin() + 8, jobs[0].bytes.end()));
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0].w, 64);
  EXPECT_EQ(hookCount(INDEX_DrvResetPDEV), 1);

  ASSERT_GT(StartDocW(dc, &di), 0);
  ASSERT_GT(StartPage(dc), 0);
  EXPECT_GT(AbortDoc(dc), 0);
  jobs = winsim::printJobs(u"Card Test");
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_TRUE(jobs[1].aborted);
  EXPECT_NE(std::string(events()).find("abortdoc"), std::string::npos);
  EXPECT_TRUE(DeleteDC(dc));
  EXPECT_FALSE(DeleteDC(dc));
  EXPECT_EQ(CreateDCW(nullptr, u"No Such Printer", nullptr, nullptr), nullptr);
}

TEST_F(Printing, BitmapsCopyThroughCopyBitsWithTheirColours) {
  HDC dc = startPage();
  // A monochrome bitmap takes the text colour for its black bits and the
  // background colour for its white ones.
  const BYTE monoBits[2] = {0x3F, 0};  // one row: two black pixels, then white (rows padded to 16 bits)
  HBITMAP mono = CreateBitmap(8, 1, 1, 1, monoBits);
  ASSERT_NE(mono, nullptr);
  HDC mem = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(mem, mono);
  SetTextColor(dc, RGB(255, 0, 0));
  SetBkColor(dc, RGB(0, 0, 255));
  EXPECT_TRUE(BitBlt(dc, 10, 10, 8, 1, mem, 0, 0, SRCCOPY));
  EXPECT_EQ(hookCount(INDEX_DrvCopyBits), 1);
  // Other raster operations go to DrvBitBlt.
  EXPECT_TRUE(BitBlt(dc, 10, 12, 8, 1, mem, 0, 0, NOTSRCCOPY));
  EXPECT_EQ(hookCount(INDEX_DrvBitBlt), 1);

  // A device-independent bitmap placed 1:1, rows counted from the bottom.
  BITMAPINFO bi{};
  bi.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 2, 3, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  const BYTE rows[24] = {0, 0, 255, 0, 0, 255, 0, 0,   // bottom: red red
                         0, 255, 0, 0, 255, 0, 0, 0,   // middle: green green
                         255, 0, 0, 255, 0, 0, 0, 0};  // top: blue blue
  EXPECT_EQ(SetDIBitsToDevice(dc, 50, 50, 2, 3, 0, 0, 0, 3, rows, &bi, DIB_RGB_COLORS), 3);
  // Only the lowest two scan lines given: the top row stays as it was.
  EXPECT_EQ(SetDIBitsToDevice(dc, 60, 50, 2, 3, 0, 0, 0, 2, rows, &bi, DIB_RGB_COLORS), 2);

  // Hatched and pattern brushes.
  HBRUSH hatch = CreateHatchBrush(HS_CROSS, RGB(0, 0, 0));
  SelectObject(dc, hatch);
  SetBkMode(dc, TRANSPARENT);
  SetBkColor(dc, RGB(255, 255, 255));
  EXPECT_TRUE(PatBlt(dc, 100, 100, 16, 16, PATCOPY));
  const BYTE checker[4] = {0x80, 0, 0x40, 0};  // 2 x 2: black white / white black
  HBITMAP pat = CreateBitmap(2, 2, 1, 1, checker);
  HBRUSH patBrush = CreatePatternBrush(pat);
  SelectObject(dc, patBrush);
  SetTextColor(dc, RGB(0, 255, 0));
  SetBkColor(dc, RGB(255, 255, 255));
  EXPECT_TRUE(PatBlt(dc, 150, 100, 4, 4, PATCOPY));

  // Opaque text: the background colour fills the given rectangle.
  SetBkColor(dc, RGB(0, 255, 0));
  RECT op{200, 150, 260, 190};
  EXPECT_TRUE(ExtTextOutW(dc, 205, 155, ETO_OPAQUE, &op, u"", 0, nullptr));

  Page pg = finish(dc);
  EXPECT_EQ(pg.at(10, 10), kRed);
  EXPECT_EQ(pg.at(11, 10), kRed);
  EXPECT_EQ(pg.at(12, 10), kBlue);
  EXPECT_EQ(pg.at(17, 10), kBlue);
  EXPECT_EQ(pg.at(18, 10), kWhite);
  // The inversion works on the translated colours.
  EXPECT_EQ(pg.at(10, 12), 0x00FFFFu);
  EXPECT_EQ(pg.at(12, 12), 0xFFFF00u);
  EXPECT_EQ(pg.at(50, 50), kBlue);
  EXPECT_EQ(pg.at(51, 51), kGreen);
  EXPECT_EQ(pg.at(50, 52), kRed);
  EXPECT_EQ(pg.at(52, 50), kWhite);
  EXPECT_EQ(pg.at(60, 50), kWhite);
  EXPECT_EQ(pg.at(60, 51), kGreen);
  EXPECT_EQ(pg.at(61, 52), kRed);
  // A cross hatch of period 8 over 16 x 16 pixels: two lines each way, its
  // gaps left alone in transparent mode.
  int black = 0, white = 0;
  for (LONG y = 100; y < 116; ++y)
    for (LONG x = 100; x < 116; ++x) {
      black += pg.at(x, y) == 0;
      white += pg.at(x, y) == kWhite;
    }
  EXPECT_EQ(black, 2 * 16 + 2 * 16 - 4);
  EXPECT_EQ(white, 256 - black);
  EXPECT_EQ(pg.at(150, 100), kWhite);
  EXPECT_EQ(pg.at(151, 100), kGreen);
  EXPECT_EQ(pg.at(150, 101), kGreen);
  EXPECT_EQ(pg.at(153, 103), kWhite);
  EXPECT_EQ(pg.at(154, 103), kWhite);
  EXPECT_EQ(pg.at(200, 150), kGreen);
  EXPECT_EQ(pg.at(259, 189), kGreen);
  EXPECT_EQ(pg.at(260, 189), kWhite);
  EXPECT_EQ(pg.at(199, 150), kWhite);
  SelectObject(mem, old);
  DeleteDC(mem);
  DeleteObject(mono);
  DeleteObject(hatch);
  DeleteObject(patBrush);
  DeleteObject(pat);
}

// ------------------------------------------------------------ spooler

class Spooler : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::resetMachine();
    winsim::PrinterSetup s;
    s.printerName = u"Card Test";
    s.driverName = u"Card Test Driver";
    s.graphicsDll = WINSIM_TESTDRV;
    s.portName = u"USB001";
    ASSERT_TRUE(winsim::installPrinter(s));
  }
  HANDLE open(const char16_t *name = u"Card Test") {
    HANDLE h = nullptr;
    std::u16string n = name;
    EXPECT_TRUE(OpenPrinterW(n.data(), &h, nullptr));
    return h;
  }
};

TEST_F(Spooler, AJobIsReadBackByteForByteAndLandsInAFilePort) {
  HANDLE h = open();
  DWORD written = 99;
  EXPECT_FALSE(WritePrinter(h, const_cast<char *>("x"), 1, &written));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SPL_NO_STARTDOC));
  std::u16string doc = u"raw job", type = u"RAW";
  DOC_INFO_1W di{doc.data(), nullptr, type.data()};
  DWORD id = StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&di));
  ASSERT_NE(id, 0u);
  EXPECT_EQ(StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&di)), 0u);  // one document at a time
  std::vector<uint8_t> bytes(300);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 7);
  ASSERT_TRUE(StartPagePrinter(h));
  ASSERT_TRUE(WritePrinter(h, bytes.data(), 200, &written));
  EXPECT_EQ(written, 200u);
  ASSERT_TRUE(WritePrinter(h, bytes.data() + 200, 100, &written));
  ASSERT_TRUE(EndPagePrinter(h));
  ASSERT_TRUE(EndDocPrinter(h));
  EXPECT_EQ(winsim::jobBytes(id), bytes);
  EXPECT_TRUE(winsim::jobBytes(id + 100).empty());

  // The output file of the document takes the job.
  std::u16string out = u"C:\\out.prn";
  DOC_INFO_1W toFile{doc.data(), out.data(), type.data()};
  DWORD id2 = StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&toFile));
  EXPECT_GT(id2, id);
  ASSERT_TRUE(WritePrinter(h, bytes.data(), 5, &written));
  ASSERT_TRUE(EndDocPrinter(h));
  ASSERT_TRUE(winsim::waitForSpoolerIdle());
  std::ifstream f(winsim::hostPath(out), std::ios::binary);
  std::vector<uint8_t> got((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  EXPECT_EQ(got, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 5));
  EXPECT_TRUE(ClosePrinter(h));
  EXPECT_FALSE(ClosePrinter(h));

  // A printer whose port is a file path.
  winsim::PrinterSetup s;
  s.printerName = u"File Printer";
  s.driverName = u"Card Test Driver";
  s.graphicsDll = WINSIM_TESTDRV;
  s.portName = u"C:\\jobs.bin";
  ASSERT_TRUE(winsim::installPrinter(s));
  h = open(u"File Printer");
  ASSERT_NE(StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&di)), 0u);
  ASSERT_TRUE(WritePrinter(h, bytes.data(), 3, &written));
  ASSERT_TRUE(EndDocPrinter(h));
  ClosePrinter(h);
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"File Printer"));
  std::ifstream g(winsim::hostPath(u"c:\\JOBS.bin"), std::ios::binary);
  got.assign(std::istreambuf_iterator<char>(g), std::istreambuf_iterator<char>());
  EXPECT_EQ(got, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 3));
}

TEST_F(Spooler, PrinterAndDriverInformationFollowTheBufferProtocol) {
  HANDLE h = nullptr;
  std::u16string bad = u"Nobody";
  EXPECT_FALSE(OpenPrinter2W(bad.c_str(), &h, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PRINTER_NAME));
  PRINTER_DEFAULTSW defs{nullptr, nullptr, PRINTER_ALL_ACCESS};
  PRINTER_OPTIONSW opts{sizeof(PRINTER_OPTIONSW), PRINTER_OPTION_NO_CACHE};
  ASSERT_TRUE(OpenPrinter2W(u"card test", &h, &defs, &opts));
  DWORD need = 0;
  SetLastError(0);
  EXPECT_FALSE(GetPrinterW(h, 2, nullptr, 0, &need));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  ASSERT_GT(need, sizeof(PRINTER_INFO_2W));
  std::vector<BYTE> buf(need);
  DWORD need2 = 0;
  EXPECT_FALSE(GetPrinterW(h, 2, buf.data(), need - 1, &need2));
  EXPECT_EQ(need2, need);
  ASSERT_TRUE(GetPrinterW(h, 2, buf.data(), need, &need2));
  auto *pi = reinterpret_cast<PRINTER_INFO_2W *>(buf.data());
  EXPECT_EQ(std::u16string(pi->pPrinterName), u"Card Test");
  EXPECT_EQ(std::u16string(pi->pPortName), u"USB001");
  EXPECT_EQ(std::u16string(pi->pDriverName), u"Card Test Driver");
  EXPECT_EQ(pi->pDevMode, nullptr);

  // A DEVMODE stored with level 8 comes back with level 2 and 8.
  std::vector<BYTE> dmBytes(sizeof(DEVMODEW) + 16, 0);
  auto *dm = reinterpret_cast<DEVMODEW *>(dmBytes.data());
  dm->dmSize = sizeof(DEVMODEW);
  dm->dmDriverExtra = 16;
  dm->dmOrientation = DMORIENT_LANDSCAPE;
  dmBytes[sizeof(DEVMODEW) + 15] = 0x5A;
  PRINTER_INFO_8W p8{dm};
  ASSERT_TRUE(SetPrinterW(h, 8, reinterpret_cast<LPBYTE>(&p8), 0));
  GetPrinterW(h, 8, nullptr, 0, &need);
  buf.assign(need, 0);
  ASSERT_TRUE(GetPrinterW(h, 8, buf.data(), need, &need));
  auto *got = reinterpret_cast<PRINTER_INFO_8W *>(buf.data())->pDevMode;
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->dmOrientation, DMORIENT_LANDSCAPE);
  EXPECT_EQ(reinterpret_cast<BYTE *>(got)[sizeof(DEVMODEW) + 15], 0x5A);
  GetPrinterW(h, 1, nullptr, 0, &need);
  buf.assign(need, 0);
  ASSERT_TRUE(GetPrinterW(h, 1, buf.data(), need, &need));
  EXPECT_EQ(std::u16string(reinterpret_cast<PRINTER_INFO_1W *>(buf.data())->pName), u"Card Test");
  EXPECT_FALSE(GetPrinterW(h, 77, buf.data(), need, &need));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_LEVEL));

  GetPrinterDriverW(h, nullptr, 2, nullptr, 0, &need);
  buf.assign(need, 0);
  ASSERT_TRUE(GetPrinterDriverW(h, nullptr, 2, buf.data(), need, &need));
  auto *drv = reinterpret_cast<DRIVER_INFO_2W *>(buf.data());
  EXPECT_EQ(std::u16string(drv->pDriverPath), kDriverPath);
  EXPECT_EQ(std::u16string(drv->pEnvironment), u"Windows x64");
  EXPECT_EQ(drv->cVersion, 3u);
  ClosePrinter(h);
}

TEST_F(Spooler, PrinterDataLivesInTheRegistryAndAbsentValuesAskThePort) {
  HANDLE h = open();
  DWORD v = 0x1234, type = 0, need = 0, got = 0;
  EXPECT_EQ(SetPrinterDataExW(h, u"PrinterDriverData", u"Ribbon", REG_DWORD, reinterpret_cast<LPBYTE>(&v), 4),
            DWORD(ERROR_SUCCESS));
  std::u16string name = u"Ribbon";
  EXPECT_EQ(GetPrinterDataW(h, name.data(), &type, reinterpret_cast<LPBYTE>(&got), 4, &need), DWORD(ERROR_SUCCESS));
  EXPECT_EQ(got, 0x1234u);
  EXPECT_EQ(type, DWORD(REG_DWORD));
  EXPECT_EQ(GetPrinterDataW(h, name.data(), &type, reinterpret_cast<LPBYTE>(&got), 3, &need), DWORD(ERROR_MORE_DATA));
  EXPECT_EQ(need, 4u);
  EXPECT_NE(winsim::exportRegistry(u"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Card Test\\PrinterDriverData")
                .find("\"Ribbon\"=dword:00001234"),
            std::string::npos);
  EXPECT_EQ(GetPrinterDataExW(h, u"PrinterDriverData", u"Ribbon", &type, reinterpret_cast<LPBYTE>(&got), 4, &need),
            DWORD(ERROR_SUCCESS));

  // A command as the value name: the port's responder answers it.
  std::u16string asked;
  winsim::setPortResponder(u"usb001", [&](const std::u16string &value, std::vector<uint8_t> &reply) {
    asked = value;
    if (value == u"Missing") return false;
    reply = {'C', 'A', '3', 0x06};
    return true;
  });
  std::u16string query = u"\x561b\x0d";  // two command bytes per unit
  BYTE answer[128] = {};
  EXPECT_EQ(GetPrinterDataW(h, query.data(), &type, answer, sizeof(answer), &need), DWORD(ERROR_SUCCESS));
  EXPECT_EQ(asked, query);
  EXPECT_EQ(need, 4u);
  EXPECT_EQ(std::memcmp(answer, "CA3\x06", 4), 0);
  EXPECT_EQ(GetPrinterDataW(h, query.data(), &type, answer, 2, &need), DWORD(ERROR_MORE_DATA));
  std::u16string missing = u"Missing";
  EXPECT_EQ(GetPrinterDataW(h, missing.data(), &type, answer, sizeof(answer), &need), DWORD(ERROR_FILE_NOT_FOUND));
  winsim::setPortResponder(u"USB001", nullptr);
  EXPECT_EQ(GetPrinterDataW(h, query.data(), &type, answer, sizeof(answer), &need), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetPrinterDataW(nullptr, query.data(), &type, answer, sizeof(answer), &need), DWORD(ERROR_INVALID_HANDLE));
  ClosePrinter(h);
}

TEST_F(Spooler, SharedFoldersComeThroughTheShellFolderLibrary) {
  HMODULE shf = LoadLibraryW(u"SHFolder.dll");
  ASSERT_NE(shf, nullptr);
  auto get = reinterpret_cast<PFNSHGETFOLDERPATHW>(reinterpret_cast<void (*)()>(GetProcAddress(shf, "SHGetFolderPathW")));
  ASSERT_NE(get, nullptr);
  WCHAR path[MAX_PATH];
  ASSERT_EQ(get(nullptr, CSIDL_COMMON_DOCUMENTS, nullptr, SHGFP_TYPE_CURRENT, path), S_OK);
  EXPECT_EQ(std::u16string(path), u"C:\\Users\\Public\\Documents");
  ASSERT_EQ(get(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path), S_OK);
  EXPECT_EQ(std::u16string(path), u"C:\\ProgramData");
  winsim::setOsVersion(5, 1);
  ASSERT_EQ(get(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path), S_OK);
  EXPECT_EQ(std::u16string(path), u"C:\\Documents and Settings\\All Users\\Application Data");
  EXPECT_NE(GetFileAttributesW(path), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(get(nullptr, 0x7F, nullptr, SHGFP_TYPE_CURRENT, path), E_INVALIDARG);
  FreeLibrary(shf);
}

}  // namespace
