// What windows show: the pixels that GetDC, GetWindowDC and BeginPaint draw
// on, a child's place on its top-level window, the backgrounds that
// WM_ERASEBKGND paints, and WM_PAINT from the message loop.
#include <gtest/gtest.h>
#include <winsim/testing.h>
#include <winsim/testing_gtest.h>

#include <vector>

#include "winsim/tests/fixtures.h"
#include "winsim/tests/user32/dialogs_ids.h"

namespace winsim_test {
namespace {

class UserSurfaces : public Winsim {};

const WCHAR kClass[] = u"WinsimSurfaceWindow";

// COLORREF is 0x00BBGGRR; the surface's pixels are 0x00RRGGBB.
uint32_t pixelOf(COLORREF c) { return (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) | GetBValue(c); }

// How many pixels of a rectangle of the surface have the value.
int countIn(const winsim::WindowSurface &s, RECT r, uint32_t v) {
  int n = 0;
  for (LONG y = r.top; y < r.bottom; ++y)
    for (LONG x = r.left; x < r.right; ++x) n += s.at(x, y) == v;
  return n;
}

int countAll(const winsim::WindowSurface &s, uint32_t v) { return countIn(s, RECT{0, 0, s.width, s.height}, v); }

struct PaintDialog {
  RECT black{10, 10, 30, 20};
  winsim::WindowSurface seen;
  int paints = 0;
};

INT_PTR CALLBACK paintingDialog(HWND h, UINT msg, WPARAM w, LPARAM l) {
  auto *pd = reinterpret_cast<PaintDialog *>(GetWindowLongPtrW(h, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG: SetWindowLongPtrW(h, DWLP_USER, l); return TRUE;
    case WM_PAINT: {
      ++pd->paints;
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(h, &ps);
      FillRect(dc, &pd->black, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
      EndPaint(h, &ps);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(w) == IDOK || LOWORD(w) == IDCANCEL) {
        pd->seen = winsim::windowSurface(h);
        EndDialog(h, LOWORD(w));
      }
      return TRUE;
    default: return FALSE;
  }
}

TEST_F(UserSurfaces, ADialogShowsItsFaceColourAndWhatItsProcedurePaints) {
  winsim::scriptDialog({{}, IDD_PLAIN, {}, IDOK, 0});
  PaintDialog pd;
  ASSERT_EQ(DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PLAIN), nullptr, paintingDialog,
                            reinterpret_cast<LPARAM>(&pd)),
            IDOK);
  EXPECT_GE(pd.paints, 1);
  const winsim::WindowSurface &s = pd.seen;
  ASSERT_GT(s.width, 30);
  ASSERT_GT(s.height, 20);
  EXPECT_EQ(countIn(s, pd.black, 0), 20 * 10);
  uint32_t face = pixelOf(GetSysColor(COLOR_BTNFACE));
  EXPECT_NE(face, 0u);
  EXPECT_EQ(countAll(s, face), s.width * s.height - 20 * 10);
  EXPECT_EQ(countAll(s, 0), 20 * 10);
}

LRESULT CALLBACK plainProc(HWND h, UINT msg, WPARAM w, LPARAM l) { return DefWindowProcW(h, msg, w, l); }

void registerClass(HBRUSH background) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = plainProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hbrBackground = background;
  wc.lpszClassName = kClass;
  ASSERT_NE(RegisterClassExW(&wc), 0);
}

HWND make(DWORD style, int x, int y, int cx, int cy, HWND parent = nullptr) {
  return CreateWindowExW(0, kClass, u"", style, x, y, cx, cy, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
}

TEST_F(UserSurfaces, AChildDrawsAtItsPlaceClippedToWhatItsParentsShow) {
  registerClass(nullptr);  // no background: nothing but what is drawn
  HWND top = make(WS_POPUP, 0, 0, 100, 80);
  HWND child = make(WS_CHILD, 70, 50, 50, 50, top);  // 30 x 30 of it inside
  HWND grand = make(WS_CHILD, 10, 10, 40, 40, child);
  ASSERT_TRUE(top && child && grand);
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0)), green = CreateSolidBrush(RGB(0, 255, 0));

  HDC dc = GetDC(child);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(WindowFromDC(dc), child);
  RECT all{0, 0, 50, 50};
  EXPECT_TRUE(FillRect(dc, &all, red));
  EXPECT_EQ(ReleaseDC(child, dc), 1);
  winsim::WindowSurface s = winsim::windowSurface(top);
  ASSERT_EQ(s.width, 100);
  ASSERT_EQ(s.height, 80);
  EXPECT_EQ(countIn(s, RECT{70, 50, 100, 80}, 0xFF0000), 30 * 30);
  EXPECT_EQ(countAll(s, 0xFF0000), 30 * 30);

  // The grandchild at (80, 60) of the top: 20 x 20 of it show.
  dc = GetWindowDC(grand);
  RECT dot{0, 0, 1, 1};
  FillRect(dc, &dot, green);
  FillRect(dc, &all, green);
  ReleaseDC(grand, dc);
  s = winsim::windowSurface(top);
  EXPECT_EQ(s.at(80, 60), 0x00FF00u);
  EXPECT_EQ(countIn(s, RECT{80, 60, 100, 80}, 0x00FF00), 20 * 20);
  EXPECT_EQ(countAll(s, 0xFF0000), 30 * 30 - 20 * 20);

  // The child as the test sees it: its own client coordinates, 0 where it is hidden.
  winsim::WindowSurface c = winsim::windowSurface(child);
  ASSERT_EQ(c.width, 50);
  EXPECT_EQ(c.at(0, 0), 0xFF0000u);
  EXPECT_EQ(c.at(10, 10), 0x00FF00u);
  EXPECT_EQ(c.at(45, 45), 0u);

  // Growing the window keeps what was drawn.
  MoveWindow(top, 0, 0, 120, 90, FALSE);
  s = winsim::windowSurface(top);
  ASSERT_EQ(s.width, 120);
  EXPECT_EQ(s.at(75, 55), 0xFF0000u);
  EXPECT_EQ(ReleaseDC(top, CreateCompatibleDC(nullptr)), 0);  // not a window's DC
  DeleteObject(red);
  DeleteObject(green);
  DestroyWindow(top);
  EXPECT_EQ(winsim::windowSurface(top).width, 0);
}

TEST_F(UserSurfaces, TheLoopPaintsAfterPostedMessagesInsideTheUpdateRegionOnTheClassBackground) {
  registerClass(CreateSolidBrush(RGB(1, 2, 3)));
  HWND h = make(WS_POPUP | WS_VISIBLE, 0, 0, 40, 30);
  ASSERT_NE(h, nullptr);
  PostMessageW(h, WM_USER, 0, 0);
  MSG m;
  ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, UINT(WM_USER));
  ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, UINT(WM_PAINT));
  EXPECT_EQ(m.hwnd, h);
  DispatchMessageW(&m);  // DefWindowProc: erased and validated
  EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  winsim::WindowSurface s = winsim::windowSurface(h);
  EXPECT_EQ(countAll(s, 0x010203), 40 * 30);

  // Only what is invalid is erased again.
  HDC dc = GetDC(h);
  RECT all{0, 0, 40, 30};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  ReleaseDC(h, dc);
  RECT part{5, 5, 15, 10};
  InvalidateRect(h, &part, TRUE);
  EXPECT_TRUE(RedrawWindow(h, nullptr, nullptr, RDW_UPDATENOW));
  s = winsim::windowSurface(h);
  EXPECT_EQ(countIn(s, part, 0x010203), 10 * 5);
  EXPECT_EQ(countAll(s, 0), 40 * 30 - 10 * 5);

  // Hidden, nothing is to be painted; BeginPaint with nothing pending draws nothing.
  ShowWindow(h, SW_HIDE);
  InvalidateRect(h, nullptr, TRUE);
  EXPECT_FALSE(PeekMessageW(&m, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE));
  PAINTSTRUCT ps;
  HDC pdc = BeginPaint(h, &ps);
  ASSERT_NE(pdc, nullptr);
  EXPECT_TRUE(IsRectEmpty(&ps.rcPaint));
  FillRect(pdc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  EXPECT_TRUE(EndPaint(h, &ps));
  EXPECT_EQ(countAll(winsim::windowSurface(h), 0xFFFFFF), 0);
  DestroyWindow(h);
}

}  // namespace
}  // namespace winsim_test
