// Memory device contexts and device-independent bitmaps: what a memory DC
// starts with, DIB section layout, pixels through GDI and through the bits,
// fills, blits and the DIB transfer calls.
#include "check.h"
#include "support.h"

namespace {

// A DIB header for RGB bitmaps, with room for a two-entry colour table.
struct DibInfo {
  BITMAPINFOHEADER h;
  RGBQUAD colors[2];
};

DibInfo dibInfo(LONG width, LONG height, WORD bits) {
  DibInfo i{};
  i.h.biSize = sizeof(BITMAPINFOHEADER);
  i.h.biWidth = width;
  i.h.biHeight = height;
  i.h.biPlanes = 1;
  i.h.biBitCount = bits;
  i.h.biCompression = BI_RGB;
  if (bits == 1) {
    i.h.biClrUsed = 2;
    i.colors[1].rgbRed = i.colors[1].rgbGreen = i.colors[1].rgbBlue = 255;
  }
  return i;
}

HBITMAP dib(LONG width, LONG height, WORD bits, void **out) {
  DibInfo i = dibInfo(width, height, bits);
  *out = nullptr;
  return CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO *>(&i), DIB_RGB_COLORS, out, nullptr, 0);
}

// A memory DC with a DIB section selected, undone at the end of a case.
struct DibDc {
  HDC dc = nullptr;
  HBITMAP bmp = nullptr;
  HGDIOBJ old = nullptr;
  BYTE *bits = nullptr;
  DibDc(LONG w, LONG h, WORD bpp) {
    dc = CreateCompatibleDC(nullptr);
    void *p = nullptr;
    bmp = dib(w, h, bpp, &p);
    bits = static_cast<BYTE *>(p);
    if (dc && bmp) old = SelectObject(dc, bmp);
  }
  ~DibDc() {
    if (dc && old) SelectObject(dc, old);
    if (bmp) DeleteObject(bmp);
    if (dc) DeleteDC(dc);
  }
  bool ok() const { return dc && bmp && bits && old; }
};

}  // namespace

CONF_CASE(Gdi, MemoryDcStartsWithOneMonochromePixel) {
  HDC dc = CreateCompatibleDC(nullptr);
  REQUIRE(dc != nullptr);
  CHECK_EQ(GetObjectType(dc), DWORD(OBJ_MEMDC));
  HGDIOBJ first = GetCurrentObject(dc, OBJ_BITMAP);
  REQUIRE(first != nullptr);
  BITMAP bm{};
  CHECK_EQ(GetObjectW(first, sizeof bm, &bm), int(sizeof bm));
  CHECK_EQ(bm.bmWidth, 1);
  CHECK_EQ(bm.bmHeight, 1);
  CHECK_EQ(bm.bmBitsPixel, 1);
  // A bitmap compatible with that DC is monochrome too.
  HBITMAP compatible = CreateCompatibleBitmap(dc, 8, 8);
  REQUIRE(compatible != nullptr);
  CHECK_EQ(GetObjectW(compatible, sizeof bm, &bm), int(sizeof bm));
  CHECK_EQ(bm.bmWidth, 8);
  CHECK_EQ(bm.bmBitsPixel, 1);
  DeleteObject(compatible);
  DeleteDC(dc);
}

CONF_CASE(Gdi, DibSectionLayout) {
  void *bits = nullptr;
  HBITMAP bmp = dib(3, 2, 24, &bits);
  REQUIRE(bmp != nullptr);
  CHECK(bits != nullptr);
  CHECK_EQ(GetObjectType(bmp), DWORD(OBJ_BITMAP));
  DIBSECTION ds{};
  CHECK_EQ(GetObjectW(bmp, sizeof ds, &ds), int(sizeof ds));
  CHECK_EQ(ds.dsBm.bmWidth, 3);
  CHECK_EQ(ds.dsBm.bmHeight, 2);
  CHECK_EQ(ds.dsBm.bmBitsPixel, 24);
  // Scan lines of a DIB are padded to whole DWORDs.
  CHECK_EQ(ds.dsBm.bmWidthBytes, 12);
  CHECK(ds.dsBm.bmBits == bits);
  CHECK_EQ(ds.dsBmih.biWidth, 3);
  CHECK_EQ(ds.dsBmih.biHeight, 2);
  CHECK_EQ(ds.dsBmih.biBitCount, 24);
  BITMAP bm{};
  CHECK_EQ(GetObjectW(bmp, sizeof bm, &bm), int(sizeof bm));
  CHECK(bm.bmBits == bits);
  DeleteObject(bmp);
  // A deleted object is no object.
  CHECK_EQ(GetObjectType(bmp), 0u);
}

CONF_CASE(Gdi, DeviceDependentBitmapRowsAreWordAligned) {
  const BYTE rows[8] = {0xF0, 0x0F, 0xAA, 0x55, 0x01, 0x80, 0xFF, 0x00};
  HBITMAP b = CreateBitmap(17, 2, 1, 1, nullptr);
  REQUIRE(b != nullptr);
  BITMAP bm{};
  CHECK_EQ(GetObjectW(b, sizeof bm, &bm), int(sizeof bm));
  CHECK_EQ(bm.bmWidthBytes, 4);
  CHECK_EQ(bm.bmBitsPixel, 1);
  DeleteObject(b);
  b = CreateBitmap(16, 2, 1, 1, rows);
  REQUIRE(b != nullptr);
  CHECK_EQ(GetObjectW(b, sizeof bm, &bm), int(sizeof bm));
  CHECK_EQ(bm.bmWidthBytes, 2);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, b);
  // Bit 7 of the first byte is the left pixel; set bits are white.
  CHECK_EQ(GetPixel(dc, 0, 0), RGB(255, 255, 255));
  CHECK_EQ(GetPixel(dc, 4, 0), RGB(0, 0, 0));
  CHECK_EQ(GetPixel(dc, 15, 0), RGB(255, 255, 255));
  CHECK_EQ(GetPixel(dc, 0, 1), RGB(255, 255, 255));
  CHECK_EQ(GetPixel(dc, 1, 1), RGB(0, 0, 0));
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(b);
}

CONF_CASE(Gdi, BottomUpPixels) {
  DibDc d(3, 2, 24);
  REQUIRE(d.ok());
  // Selecting gives back the DC's first bitmap.
  CHECK_EQ(GetObjectType(d.old), DWORD(OBJ_BITMAP));
  CHECK_EQ(SetPixel(d.dc, 0, 0, RGB(10, 20, 30)), RGB(10, 20, 30));
  GdiFlush();
  // Row 0 of a bottom-up DIB is the last row in memory; pixels are B, G, R.
  CHECK_EQ(d.bits[12 + 0], 30);
  CHECK_EQ(d.bits[12 + 1], 20);
  CHECK_EQ(d.bits[12 + 2], 10);
  d.bits[6] = 0x33;  // (2, 1): blue
  d.bits[7] = 0x22;
  d.bits[8] = 0x11;
  CHECK_EQ(GetPixel(d.dc, 2, 1), RGB(0x11, 0x22, 0x33));
  CHECK_EQ(GetPixel(d.dc, 3, 0), CLR_INVALID);
  CHECK_EQ(GetPixel(d.dc, 0, -1), CLR_INVALID);
}

CONF_CASE(Gdi, TopDownPixels) {
  DibDc d(2, -2, 32);
  REQUIRE(d.ok());
  DIBSECTION ds{};
  CHECK_EQ(GetObjectW(d.bmp, sizeof ds, &ds), int(sizeof ds));
  CHECK_EQ(ds.dsBm.bmHeight, 2);
  CHECK_EQ(ds.dsBm.bmWidthBytes, 8);
  CHECK_EQ(SetPixel(d.dc, 1, 0, RGB(1, 2, 3)), RGB(1, 2, 3));
  GdiFlush();
  // Row 0 comes first; a pixel is B, G, R and a fourth byte.
  CHECK_EQ(d.bits[4], 3);
  CHECK_EQ(d.bits[5], 2);
  CHECK_EQ(d.bits[6], 1);
}

CONF_CASE(Gdi, FillRectLeavesTheRightAndBottomEdges) {
  DibDc d(4, 3, 24);
  REQUIRE(d.ok());
  CHECK(PatBlt(d.dc, 0, 0, 4, 3, WHITENESS));
  HBRUSH red = CreateSolidBrush(RGB(200, 0, 0));
  RECT r = {1, 0, 3, 2};
  CHECK(FillRect(d.dc, &r, red) != 0);
  DeleteObject(red);
  CHECK_EQ(GetPixel(d.dc, 0, 0), RGB(255, 255, 255));
  CHECK_EQ(GetPixel(d.dc, 1, 0), RGB(200, 0, 0));
  CHECK_EQ(GetPixel(d.dc, 2, 1), RGB(200, 0, 0));
  CHECK_EQ(GetPixel(d.dc, 3, 1), RGB(255, 255, 255));
  CHECK_EQ(GetPixel(d.dc, 1, 2), RGB(255, 255, 255));
  CHECK(PatBlt(d.dc, 0, 0, 4, 3, BLACKNESS));
  CHECK_EQ(GetPixel(d.dc, 3, 2), RGB(0, 0, 0));
}

CONF_CASE(Gdi, BlitsBetweenMemoryDcs) {
  DibDc src(2, 1, 24), dst(4, 2, 24);
  REQUIRE(src.ok() && dst.ok());
  SetPixel(src.dc, 0, 0, RGB(255, 0, 0));
  SetPixel(src.dc, 1, 0, RGB(0, 0, 255));
  PatBlt(dst.dc, 0, 0, 4, 2, WHITENESS);
  CHECK(BitBlt(dst.dc, 1, 1, 2, 1, src.dc, 0, 0, SRCCOPY));
  CHECK_EQ(GetPixel(dst.dc, 0, 1), RGB(255, 255, 255));
  CHECK_EQ(GetPixel(dst.dc, 1, 1), RGB(255, 0, 0));
  CHECK_EQ(GetPixel(dst.dc, 2, 1), RGB(0, 0, 255));
  CHECK_EQ(GetPixel(dst.dc, 1, 0), RGB(255, 255, 255));
  CHECK(BitBlt(dst.dc, 0, 0, 2, 1, src.dc, 0, 0, NOTSRCCOPY));
  CHECK_EQ(GetPixel(dst.dc, 0, 0), RGB(0, 255, 255));
  // Stretched to twice the size, pixel by pixel.
  SetStretchBltMode(dst.dc, COLORONCOLOR);
  CHECK(StretchBlt(dst.dc, 0, 0, 4, 2, src.dc, 0, 0, 2, 1, SRCCOPY));
  CHECK_EQ(GetPixel(dst.dc, 0, 0), RGB(255, 0, 0));
  CHECK_EQ(GetPixel(dst.dc, 1, 1), RGB(255, 0, 0));
  CHECK_EQ(GetPixel(dst.dc, 2, 0), RGB(0, 0, 255));
  CHECK_EQ(GetPixel(dst.dc, 3, 1), RGB(0, 0, 255));
}

CONF_CASE(Gdi, OneBitDibUsesItsColourTable) {
  DibDc d(10, 2, 1);
  REQUIRE(d.ok());
  // Scan lines of 10 pixels take 2 bytes, padded to 4.
  DIBSECTION ds{};
  CHECK_EQ(GetObjectW(d.bmp, sizeof ds, &ds), int(sizeof ds));
  CHECK_EQ(ds.dsBm.bmWidthBytes, 4);
  PatBlt(d.dc, 0, 0, 10, 2, BLACKNESS);
  GdiFlush();
  CHECK_EQ(d.bits[0], 0);
  // Pure colours map to their entry.
  SetPixel(d.dc, 0, 1, RGB(255, 255, 255));
  SetPixel(d.dc, 9, 1, RGB(255, 255, 255));
  GdiFlush();
  CHECK_EQ(d.bits[0], 0x80);
  CHECK_EQ(d.bits[1], 0x40);
  d.bits[4] = 0x01;  // (7, 0)
  CHECK_EQ(GetPixel(d.dc, 7, 0), RGB(255, 255, 255));
  CHECK_EQ(GetPixel(d.dc, 6, 0), RGB(0, 0, 0));
}

CONF_CASE(Gdi, ABitmapIsInOneDcAtATime) {
  DibDc d(2, 2, 24);
  REQUIRE(d.ok());
  HDC other = CreateCompatibleDC(nullptr);
  REQUIRE(other != nullptr);
  CHECK(SelectObject(other, d.bmp) == nullptr);
  DeleteDC(other);
}

CONF_CASE(Gdi, StretchDIBitsAndGetDIBits) {
  DibDc d(2, 2, 24);
  REQUIRE(d.ok());
  // A packed bottom-up 2 x 2 picture: the lower row first.
  const BYTE picture[16] = {0,   0, 255, 0, 255, 0,   0, 0,   // y 1: red, green
                            255, 0, 0,   0, 0,   255, 0, 0};  // y 0: blue, red
  DibInfo info = dibInfo(2, 2, 24);
  CHECK_EQ(StretchDIBits(d.dc, 0, 0, 2, 2, 0, 0, 2, 2, picture, reinterpret_cast<BITMAPINFO *>(&info), DIB_RGB_COLORS,
                         SRCCOPY),
           2);
  CHECK_EQ(GetPixel(d.dc, 0, 1), RGB(255, 0, 0));
  CHECK_EQ(GetPixel(d.dc, 1, 1), RGB(0, 255, 0));
  CHECK_EQ(GetPixel(d.dc, 0, 0), RGB(0, 0, 255));
  CHECK_EQ(GetPixel(d.dc, 1, 0), RGB(255, 0, 0));
  // GetDIBits wants the bitmap out of any DC.
  SelectObject(d.dc, d.old);
  d.old = nullptr;
  DibInfo query{};
  query.h.biSize = sizeof(BITMAPINFOHEADER);
  CHECK(GetDIBits(d.dc, d.bmp, 0, 2, nullptr, reinterpret_cast<BITMAPINFO *>(&query), DIB_RGB_COLORS) != 0);
  CHECK_EQ(query.h.biWidth, 2);
  CHECK_EQ(query.h.biHeight, 2);
  CHECK_EQ(query.h.biBitCount, 24);
  // As a top-down 32-bit picture: B, G, R, 0 per pixel, the upper row first.
  DibInfo want = dibInfo(2, -2, 32);
  BYTE out[16];
  memset(out, 0xEE, sizeof out);
  CHECK_EQ(GetDIBits(d.dc, d.bmp, 0, 2, out, reinterpret_cast<BITMAPINFO *>(&want), DIB_RGB_COLORS), 2);
  const BYTE expected[16] = {255, 0, 0, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 255, 0, 0};
  CHECK(memcmp(out, expected, 16) == 0);
}

CONF_CASE(Gdi, DeletedObjectsAndDcsAreNoHandles) {
  HDC dc = CreateCompatibleDC(nullptr);
  REQUIRE(dc != nullptr);
  HBRUSH brush = CreateSolidBrush(RGB(10, 20, 30));
  REQUIRE(brush != nullptr);
  CHECK(DeleteObject(brush));
  CHECK_EQ(GetObjectType(brush), 0u);
  CHECK(!DeleteObject(brush));
  CHECK(SelectObject(dc, brush) == nullptr);
  LOGBRUSH lb{};
  CHECK_EQ(GetObjectW(brush, sizeof lb, &lb), 0);
  // A GDI object is no kernel object, and CloseHandle leaves it alone.
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
  REQUIRE(pen != nullptr);
  SetLastError(0);
  CHECK(!CloseHandle(pen));
  CHECK_ERROR(DWORD(ERROR_INVALID_HANDLE));
  CHECK_EQ(GetObjectType(pen), DWORD(OBJ_PEN));
  CHECK(SelectObject(dc, pen) == GetStockObject(BLACK_PEN));
  CHECK(SelectObject(dc, GetStockObject(BLACK_PEN)) == pen);
  CHECK(DeleteObject(pen));
  CHECK(DeleteDC(dc));
  CHECK(!DeleteDC(dc));
  CHECK_EQ(GetObjectType(dc), 0u);
  CHECK_EQ(SetTextColor(dc, RGB(1, 2, 3)), CLR_INVALID);
  CHECK_EQ(GetDeviceCaps(dc, BITSPIXEL), 0);
}
