// The application side of GDI: printer DCs, the driver's hooks and the job.
#include <gtest/gtest.h>
#include <winsim/testing.h>

#include <cstring>
#include <vector>

#include "gdi_test_support.h"

namespace {

using namespace gdi_test;

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
  const BYTE rows[24] = {0,   0,   255, 0,   0,   255, 0, 0,   // bottom: red red
                         0,   255, 0,   0,   255, 0,   0, 0,   // middle: green green
                         255, 0,   0,   255, 0,   0,   0, 0};  // top: blue blue
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

}  // namespace
