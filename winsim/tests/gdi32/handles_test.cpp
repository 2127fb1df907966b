// GDI objects, DCs and the engine's surfaces and palettes as handles of the
// process's handle table: each call takes its own kind, a deleted handle is
// no handle, and no handle of one family passes in the calls of another.
#include <gtest/gtest.h>
#include <winsim/testing.h>

#include <set>

#include "gdi_test_support.h"

namespace {

using namespace gdi_test;

uintptr_t value(const void *h) { return reinterpret_cast<uintptr_t>(h); }

TEST_F(Engine, GdiObjectsAreHandlesOfTheirOwnKind) {
  HDC dc = CreateCompatibleDC(nullptr);
  HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(4, 5, 6));
  LOGFONTW lf{};
  HFONT font = CreateFontIndirectW(&lf);
  HRGN rgn = CreateRectRgn(0, 0, 4, 4);
  HBITMAP bmp = CreateBitmap(8, 8, 1, 1, nullptr);
  const std::vector<std::pair<HGDIOBJ, DWORD>> all = {{dc, OBJ_MEMDC},  {brush, OBJ_BRUSH}, {pen, OBJ_PEN},
                                                      {font, OBJ_FONT}, {rgn, OBJ_REGION},  {bmp, OBJ_BITMAP}};
  std::set<uintptr_t> seen;
  for (const auto &[h, type] : all) {
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(value(h) % 4, 0u);
    EXPECT_TRUE(seen.insert(value(h)).second);
    EXPECT_EQ(GetObjectType(h), type);
  }

  // Another kind in a call of one kind fails the call's own way.
  SetLastError(0);
  EXPECT_FALSE(DeleteObject(dc));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(DeleteDC(reinterpret_cast<HDC>(brush)));
  EXPECT_EQ(SelectObject(reinterpret_cast<HDC>(pen), brush), nullptr);
  EXPECT_EQ(SetTextColor(reinterpret_cast<HDC>(font), 0), CLR_INVALID);
  EXPECT_EQ(SelectClipRgn(dc, reinterpret_cast<HRGN>(brush)), ERROR);
  EXPECT_EQ(SelectObject(dc, dc), nullptr);
  EXPECT_EQ(GetObjectType(dc), DWORD(OBJ_MEMDC));  // refused, not harmed

  // GDI handles are no kernel objects, and kernel objects no GDI objects.
  HANDLE ev = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetLastError(0);
  EXPECT_FALSE(CloseHandle(brush));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(CloseHandle(dc));
  EXPECT_EQ(WaitForSingleObject(dc, 0), DWORD(WAIT_FAILED));
  HANDLE dup = nullptr;
  EXPECT_FALSE(DuplicateHandle(GetCurrentProcess(), pen, GetCurrentProcess(), &dup, 0, FALSE, DUPLICATE_SAME_ACCESS));
  EXPECT_FALSE(SetEvent(brush));
  EXPECT_EQ(GetObjectType(ev), 0u);
  EXPECT_FALSE(DeleteObject(ev));
  EXPECT_FALSE(DeleteDC(reinterpret_cast<HDC>(ev)));
  EXPECT_TRUE(SetEvent(ev));
  EXPECT_TRUE(CloseHandle(ev));
  EXPECT_EQ(GetObjectType(brush), DWORD(OBJ_BRUSH));

  // Deleted is gone for good: no call takes the value again, and no new
  // object is given it.
  EXPECT_TRUE(DeleteObject(brush));
  EXPECT_EQ(GetObjectType(brush), 0u);
  EXPECT_FALSE(DeleteObject(brush));
  EXPECT_EQ(SelectObject(dc, brush), nullptr);
  LOGBRUSH lb{};
  EXPECT_EQ(GetObjectW(brush, sizeof lb, &lb), 0);
  for (int i = 0; i < 100; ++i) {
    HBRUSH other = CreateSolidBrush(RGB(i, 0, 0));
    EXPECT_NE(other, brush);
    DeleteObject(other);
  }
  EXPECT_TRUE(DeleteDC(dc));
  EXPECT_FALSE(DeleteDC(dc));
  for (HGDIOBJ h : {HGDIOBJ(pen), HGDIOBJ(font), HGDIOBJ(rgn), HGDIOBJ(bmp)}) EXPECT_TRUE(DeleteObject(h));
}

TEST_F(Engine, SelectedObjectsAndStockObjectsOutliveDeleteObject) {
  HDC dc = CreateCompatibleDC(nullptr);
  HPEN pen = CreatePen(PS_SOLID, 3, RGB(9, 9, 9));
  HBITMAP bmp = CreateBitmap(4, 4, 1, 1, nullptr);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  HGDIOBJ oldBmp = SelectObject(dc, bmp);
  EXPECT_EQ(oldPen, GetStockObject(BLACK_PEN));
  EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), pen);
  // A selected object goes when its DC lets it go.
  EXPECT_TRUE(DeleteObject(pen));
  EXPECT_EQ(GetObjectType(pen), DWORD(OBJ_PEN));
  EXPECT_EQ(SelectObject(dc, oldPen), pen);
  EXPECT_EQ(GetObjectType(pen), 0u);
  EXPECT_TRUE(DeleteObject(bmp));
  EXPECT_TRUE(DeleteDC(dc));  // the bitmap with it
  EXPECT_EQ(GetObjectType(bmp), 0u);
  EXPECT_EQ(GetObjectType(oldBmp), DWORD(OBJ_BITMAP));
  // Stock objects cannot be deleted; they are the same handles again.
  HGDIOBJ white = GetStockObject(WHITE_BRUSH);
  EXPECT_EQ(value(white) % 4, 0u);
  EXPECT_TRUE(DeleteObject(white));
  EXPECT_EQ(GetObjectType(white), DWORD(OBJ_BRUSH));
  EXPECT_EQ(GetStockObject(WHITE_BRUSH), white);
  EXPECT_FALSE(CloseHandle(white));
}

TEST_F(Engine, SurfacesAndPalettesAreEngineHandles) {
  HSURF surf = reinterpret_cast<HSURF>(EngCreateBitmap(SIZEL{8, 8}, 0, BMF_24BPP, BMF_TOPDOWN, nullptr));
  ULONG colors[2] = {0x000000, 0xFFFFFF};
  HPALETTE pal = EngCreatePalette(PAL_INDEXED, 2, colors, 0, 0, 0);
  ASSERT_NE(surf, nullptr);
  ASSERT_NE(pal, nullptr);
  EXPECT_EQ(value(surf) % 4, 0u);
  EXPECT_EQ(value(pal) % 4, 0u);
  SURFOBJ *so = EngLockSurface(surf);
  ASSERT_NE(so, nullptr);
  EXPECT_EQ(so->hsurf, surf);
  EngUnlockSurface(so);

  SetLastError(0);
  EXPECT_FALSE(EngDeleteSurface(reinterpret_cast<HSURF>(pal)));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(EngDeletePalette(reinterpret_cast<HPALETTE>(surf)));
  EXPECT_EQ(EngLockSurface(reinterpret_cast<HSURF>(pal)), nullptr);
  EXPECT_FALSE(CloseHandle(surf));
  EXPECT_FALSE(DeleteObject(pal));
  HBRUSH brush = CreateSolidBrush(0);
  EXPECT_FALSE(EngDeleteSurface(reinterpret_cast<HSURF>(brush)));
  EXPECT_FALSE(EngDeletePalette(reinterpret_cast<HPALETTE>(brush)));
  EXPECT_EQ(GetObjectType(brush), DWORD(OBJ_BRUSH));
  DeleteObject(brush);

  EXPECT_TRUE(EngDeletePalette(pal));
  SetLastError(0);
  EXPECT_FALSE(EngDeletePalette(pal));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(EngDeleteSurface(surf));
  EXPECT_FALSE(EngDeleteSurface(surf));
  EXPECT_EQ(EngLockSurface(surf), nullptr);
}

TEST_F(Engine, ResetClosesEveryGdiHandle) {
  HDC dc = CreateCompatibleDC(nullptr);
  HBRUSH brush = CreateSolidBrush(RGB(7, 7, 7));
  HBITMAP bmp = CreateBitmap(4, 4, 1, 1, nullptr);
  SelectObject(dc, bmp);
  SelectObject(dc, brush);
  HSURF surf = reinterpret_cast<HSURF>(EngCreateBitmap(SIZEL{4, 4}, 0, BMF_1BPP, 0, nullptr));
  HGDIOBJ white = GetStockObject(WHITE_BRUSH);
  winsim::resetMachine();
  EXPECT_EQ(GetObjectType(dc), 0u);
  EXPECT_EQ(GetObjectType(brush), 0u);
  EXPECT_EQ(GetObjectType(bmp), 0u);
  EXPECT_EQ(EngLockSurface(surf), nullptr);
  // The stock objects come again, as new handles.
  HGDIOBJ again = GetStockObject(WHITE_BRUSH);
  EXPECT_EQ(GetObjectType(again), DWORD(OBJ_BRUSH));
  EXPECT_NE(again, white);
  EXPECT_EQ(GetObjectType(white), 0u);
}

}  // namespace
