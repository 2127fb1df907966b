// Window geometry and painting: rectangles and point mapping between
// windows, WM_MOVE/WM_SIZE on a change, and the update region that
// InvalidateRect, ValidateRect, BeginPaint and UpdateWindow share.
#include <gtest/gtest.h>
#include <winsim/testing.h>
#include <winsim/testing_gtest.h>

#include <vector>

#include "winsim/tests/fixtures.h"
#include "winsim/tests/user32/dialogs_ids.h"

namespace winsim_test {
namespace {

class UserPaint : public Winsim {};

const WCHAR kClass[] = u"WinsimPaintWindow";

struct Log {
  std::vector<UINT> messages;
  std::vector<RECT> painted;  // rcPaint of each WM_PAINT
  LPARAM lastSize = 0, lastMove = 0;
  bool paintValidates = true;
};

LRESULT CALLBACK logProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  auto *log = reinterpret_cast<Log *>(GetWindowLongPtrW(h, GWLP_USERDATA));
  if (msg == WM_NCCREATE) {
    log = static_cast<Log *>(reinterpret_cast<CREATESTRUCTW *>(l)->lpCreateParams);
    SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(log));
  }
  if (!log) return DefWindowProcW(h, msg, w, l);
  log->messages.push_back(msg);
  if (msg == WM_SIZE) log->lastSize = l;
  if (msg == WM_MOVE) log->lastMove = l;
  if (msg == WM_PAINT && !log->paintValidates) return 0;  // not even DefWindowProc's painting
  if (msg == WM_PAINT) {
    PAINTSTRUCT ps;
    EXPECT_NE(BeginPaint(h, &ps), nullptr);
    log->painted.push_back(ps.rcPaint);
    EndPaint(h, &ps);
    return 0;
  }
  return DefWindowProcW(h, msg, w, l);
}

void registerClass(UINT style = 0) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = style;
  wc.lpfnWndProc = logProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kClass;
  ASSERT_NE(RegisterClassExW(&wc), 0);
}

HWND make(Log &log, DWORD style, int x, int y, int cx, int cy, HWND parent = nullptr) {
  return CreateWindowExW(0, kClass, u"", style, x, y, cx, cy, parent, nullptr, GetModuleHandleW(nullptr), &log);
}

int count(const Log &log, UINT msg) {
  int n = 0;
  for (UINT m : log.messages) n += m == msg;
  return n;
}

void expectRect(const RECT &r, LONG l, LONG t, LONG rr, LONG b) {
  EXPECT_EQ(r.left, l);
  EXPECT_EQ(r.top, t);
  EXPECT_EQ(r.right, rr);
  EXPECT_EQ(r.bottom, b);
}

TEST_F(UserPaint, ChildRectanglesAndPointsMapThroughTheirParents) {
  registerClass();
  Log top, child, grand;
  HWND t = make(top, WS_POPUP, 100, 50, 400, 300);
  HWND c = make(child, WS_CHILD, 10, 20, 200, 100, t);
  HWND g = make(grand, WS_CHILD, 5, 6, 30, 40, c);
  ASSERT_TRUE(t && c && g);
  RECT r;
  ASSERT_TRUE(GetClientRect(c, &r));
  expectRect(r, 0, 0, 200, 100);
  ASSERT_TRUE(GetWindowRect(g, &r));
  expectRect(r, 115, 76, 145, 116);

  POINT p{1, 2};
  ASSERT_TRUE(ClientToScreen(g, &p));
  EXPECT_EQ(p.x, 116);
  EXPECT_EQ(p.y, 78);
  ASSERT_TRUE(ScreenToClient(g, &p));
  EXPECT_EQ(p.x, 1);
  EXPECT_EQ(p.y, 2);

  POINT pts[2] = {{0, 0}, {3, 4}};
  int delta = MapWindowPoints(g, t, pts, 2);
  EXPECT_EQ(LOWORD(delta), 15);
  EXPECT_EQ(HIWORD(delta), 26);
  EXPECT_EQ(pts[1].x, 18);
  EXPECT_EQ(pts[1].y, 30);
  delta = MapWindowPoints(t, g, pts, 2);  // back again: the offsets are negative
  EXPECT_EQ(short(LOWORD(delta)), -15);
  EXPECT_EQ(pts[1].x, 3);
  EXPECT_EQ(MapWindowPoints(nullptr, t, pts, 1), int(MAKELONG(WORD(-100), WORD(-50))));

  EXPECT_FALSE(GetClientRect(reinterpret_cast<HWND>(0x1234), &r));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_EQ(MapWindowPoints(reinterpret_cast<HWND>(0x1234), nullptr, pts, 1), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
  DestroyWindow(t);
}

TEST_F(UserPaint, MovingAndSizingSendOnlyWhatChanged) {
  registerClass();
  Log log;
  HWND h = make(log, WS_POPUP, 10, 10, 100, 80);
  ASSERT_NE(h, nullptr);
  log.messages.clear();
  ASSERT_TRUE(SetWindowPos(h, nullptr, 30, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER));
  EXPECT_EQ(count(log, WM_MOVE), 1);
  EXPECT_EQ(count(log, WM_SIZE), 0);
  EXPECT_EQ(log.lastMove, MAKELPARAM(30, 40));
  ASSERT_TRUE(SetWindowPos(h, nullptr, 0, 0, 150, 90, SWP_NOMOVE | SWP_NOZORDER));
  EXPECT_EQ(count(log, WM_SIZE), 1);
  EXPECT_EQ(log.lastSize, MAKELPARAM(150, 90));
  RECT r;
  GetWindowRect(h, &r);
  expectRect(r, 30, 40, 180, 130);
  ASSERT_TRUE(MoveWindow(h, 30, 40, 150, 90, TRUE));  // the same place: nothing to say
  EXPECT_EQ(count(log, WM_MOVE), 1);
  EXPECT_EQ(count(log, WM_SIZE), 1);
  ASSERT_TRUE(MoveWindow(h, 0, 0, -5, -5, FALSE));  // a negative size is none
  GetClientRect(h, &r);
  expectRect(r, 0, 0, 0, 0);
  EXPECT_FALSE(MoveWindow(reinterpret_cast<HWND>(0x1234), 0, 0, 1, 1, TRUE));
  DestroyWindow(h);
}

TEST_F(UserPaint, InvalidAreasAccumulateAndPaintingValidatesThem) {
  registerClass();
  Log log;
  HWND h = make(log, WS_POPUP, 0, 0, 200, 100);
  ASSERT_NE(h, nullptr);
  RECT r;
  // Hidden: nothing can be invalid, and nothing is painted.
  EXPECT_TRUE(InvalidateRect(h, nullptr, TRUE));
  EXPECT_FALSE(GetUpdateRect(h, &r, FALSE));
  expectRect(r, 0, 0, 0, 0);
  ShowWindow(h, SW_SHOW);
  ASSERT_TRUE(GetUpdateRect(h, &r, FALSE));  // shown: the whole client area
  expectRect(r, 0, 0, 200, 100);
  UpdateWindow(h);
  ASSERT_EQ(log.painted.size(), 1u);
  expectRect(log.painted[0], 0, 0, 200, 100);
  EXPECT_EQ(count(log, WM_ERASEBKGND), 1);
  EXPECT_FALSE(GetUpdateRect(h, &r, FALSE));
  UpdateWindow(h);  // nothing invalid: no WM_PAINT
  EXPECT_EQ(count(log, WM_PAINT), 1);

  // Two areas paint as their bounding rectangle, clipped to the client.
  RECT a{10, 10, 20, 20}, b{150, 50, 300, 300};
  InvalidateRect(h, &a, FALSE);
  InvalidateRect(h, &b, FALSE);
  ASSERT_TRUE(GetUpdateRect(h, &r, FALSE));
  expectRect(r, 10, 10, 200, 100);
  // Validating one leaves the other.
  ValidateRect(h, &b);
  ASSERT_TRUE(GetUpdateRect(h, &r, FALSE));
  expectRect(r, 10, 10, 20, 20);
  // Validating part of it leaves the rest.
  RECT half{10, 10, 15, 20};
  ValidateRect(h, &half);
  ASSERT_TRUE(GetUpdateRect(h, &r, FALSE));
  expectRect(r, 15, 10, 20, 20);
  UpdateWindow(h);
  ASSERT_EQ(log.painted.size(), 2u);
  expectRect(log.painted[1], 15, 10, 20, 20);
  EXPECT_EQ(count(log, WM_ERASEBKGND), 1);  // not asked for this time

  // A WM_PAINT that paints nothing leaves it all pending; ValidateRect(NULL)
  // takes it all away.
  InvalidateRect(h, &a, FALSE);
  log.paintValidates = false;
  UpdateWindow(h);
  EXPECT_TRUE(GetUpdateRect(h, nullptr, FALSE));
  ValidateRect(h, nullptr);
  EXPECT_FALSE(GetUpdateRect(h, nullptr, FALSE));
  DestroyWindow(h);
}

TEST_F(UserPaint, SizingInvalidatesWhatIsGainedOrAllWithRedrawStyles) {
  registerClass();
  Log log;
  HWND h = make(log, WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
  ASSERT_NE(h, nullptr);
  ValidateRect(h, nullptr);
  RECT r;
  MoveWindow(h, 0, 0, 150, 100, TRUE);
  ASSERT_TRUE(GetUpdateRect(h, &r, FALSE));
  expectRect(r, 100, 0, 150, 100);
  MoveWindow(h, 0, 0, 50, 50, TRUE);  // shrinking clips what is pending away
  EXPECT_FALSE(GetUpdateRect(h, &r, FALSE));
  MoveWindow(h, 0, 0, 80, 80, FALSE);
  EXPECT_FALSE(GetUpdateRect(h, &r, FALSE));
  DestroyWindow(h);
  ASSERT_TRUE(UnregisterClassW(kClass, GetModuleHandleW(nullptr)));

  registerClass(CS_HREDRAW | CS_VREDRAW);
  h = make(log, WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
  ValidateRect(h, nullptr);
  MoveWindow(h, 0, 0, 120, 100, TRUE);
  ASSERT_TRUE(GetUpdateRect(h, &r, FALSE));
  expectRect(r, 0, 0, 120, 100);
  DestroyWindow(h);
}

TEST_F(UserPaint, UpdateWindowPaintsVisibleChildrenAndDialogControlsSitWhereTheirTemplateSays) {
  registerClass();
  Log top, child;
  HWND t = make(top, WS_POPUP | WS_VISIBLE, 0, 0, 300, 200);
  HWND c = make(child, WS_CHILD | WS_VISIBLE, 50, 50, 40, 40, t);
  ASSERT_TRUE(t && c);
  UpdateWindow(t);
  EXPECT_EQ(count(top, WM_PAINT), 1);
  EXPECT_EQ(count(child, WM_PAINT), 1);
  // A child shown inside a hidden parent waits for the parent to appear.
  ShowWindow(t, SW_HIDE);
  Log late;
  HWND l = make(late, WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, t);
  EXPECT_FALSE(GetUpdateRect(l, nullptr, FALSE));
  ShowWindow(t, SW_SHOW);
  UpdateWindow(t);
  EXPECT_EQ(count(late, WM_PAINT), 1);
  EXPECT_EQ(count(child, WM_PAINT), 2);
  DestroyWindow(t);

  HWND d = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ALL), nullptr, nullptr, 0);
  ASSERT_NE(d, nullptr);
  RECT du{7, 9, 47, 17};  // the label's place in the template, in dialog units
  ASSERT_TRUE(MapDialogRect(d, &du));
  HWND label = GetDlgItem(d, IDC_LABEL);
  ASSERT_NE(label, nullptr);
  RECT r;
  GetWindowRect(label, &r);
  MapWindowPoints(nullptr, d, reinterpret_cast<POINT *>(&r), 2);
  expectRect(r, du.left, du.top, du.right, du.bottom);
  DestroyWindow(d);
}

}  // namespace
}  // namespace winsim_test
