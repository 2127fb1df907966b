// Painting and the common file dialogs as user32 and comdlg32 document them:
// DCs of a window, the update region behind WM_PAINT, and the checks the
// Open dialog makes before it shows anything, so that they run headless.
#include "check.h"
#include "support.h"

// After windows.h, which the SDK's commdlg.h needs before it.
#include <cderr.h>
#include <commdlg.h>

namespace {

const WCHAR kSurfaceClass[] = TEXT("ConfSurfaceClass");

bool registerSurfaceClass() {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kSurfaceClass;
  if (RegisterClassExW(&wc)) return true;
  return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND makeWindow(DWORD style) {
  return CreateWindowExW(0, kSurfaceClass, TEXT("Paint"), style, 0, 0, 120, 80, nullptr, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

}  // namespace

CONF_CASE(Paint, BeginPaintOnAHiddenWindowPaintsNothingAndGetDCNamesItsWindow) {
  REQUIRE(registerSurfaceClass());
  HWND h = makeWindow(WS_POPUP);
  REQUIRE(h != nullptr);
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(h, &ps);
  CHECK(dc != nullptr);
  CHECK(IsRectEmpty(&ps.rcPaint));
  CHECK(EndPaint(h, &ps));
  HDC wdc = GetDC(h);
  REQUIRE(wdc != nullptr);
  CHECK(WindowFromDC(wdc) == h);
  CHECK_EQ(ReleaseDC(h, wdc), 1);
  CHECK(DestroyWindow(h));
}

CONF_CASE(Paint, AShownWindowWaitsForWMPaintUntilValidated) {
  REQUIRE(registerSurfaceClass());
  HWND h = makeWindow(WS_POPUP | WS_VISIBLE);
  REQUIRE(h != nullptr);
  MSG m{};
  CHECK(PeekMessageW(&m, h, WM_PAINT, WM_PAINT, PM_NOREMOVE));
  CHECK(m.hwnd == h);
  CHECK_EQ(m.message, UINT(WM_PAINT));
  CHECK(ValidateRect(h, nullptr));
  CHECK(!PeekMessageW(&m, h, WM_PAINT, WM_PAINT, PM_NOREMOVE));
  RECT part{10, 10, 20, 20};
  CHECK(InvalidateRect(h, &part, FALSE));
  CHECK(PeekMessageW(&m, h, WM_PAINT, WM_PAINT, PM_REMOVE));
  // Removing WM_PAINT does not validate: it comes until the window paints.
  CHECK(PeekMessageW(&m, h, WM_PAINT, WM_PAINT, PM_NOREMOVE));
  CHECK(RedrawWindow(h, nullptr, nullptr, RDW_UPDATENOW));  // DefWindowProc paints it
  CHECK(!PeekMessageW(&m, h, WM_PAINT, WM_PAINT, PM_NOREMOVE));
  CHECK(DestroyWindow(h));
}

CONF_CASE(ComDlg, OpenDialogRefusesAStructureOfAnUnknownSize) {
  WCHAR file[MAX_PATH] = {};
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn + 4;
  ofn.lpstrFile = file;
  ofn.nMaxFile = MAX_PATH;
  CHECK(!GetOpenFileNameW(&ofn));
  CHECK_EQ(CommDlgExtendedError(), DWORD(CDERR_STRUCTSIZE));
  ofn.lStructSize = 0;
  CHECK(!GetSaveFileNameW(&ofn));
  CHECK_EQ(CommDlgExtendedError(), DWORD(CDERR_STRUCTSIZE));
}
