// The rectangle functions that Windows exports from user32.  FillRect and
// FrameRect paint with a brush through GDI's public calls.
#include <algorithm>

#include <windows.h>

extern "C" {

int WINAPI FillRect(HDC hDC, const RECT *lprc, HBRUSH hbr) {
  DWORD dcType = GetObjectType(hDC);
  if ((dcType != OBJ_DC && dcType != OBJ_MEMDC) || !lprc) return 0;
  // A system colour index plus one stands for that colour's brush.
  auto index = reinterpret_cast<ULONG_PTR>(hbr);
  if (index >= 1 && index <= 31) hbr = GetSysColorBrush(int(index - 1));
  if (GetObjectType(hbr) != OBJ_BRUSH) return 0;
  HGDIOBJ old = SelectObject(hDC, hbr);
  BOOL ok = PatBlt(hDC, lprc->left, lprc->top, lprc->right - lprc->left, lprc->bottom - lprc->top, PATCOPY);
  SelectObject(hDC, old);
  return ok ? 1 : 0;
}

int WINAPI FrameRect(HDC hDC, const RECT *lprc, HBRUSH hbr) {
  if (!lprc) return 0;
  RECT r = *lprc;
  if (r.right <= r.left || r.bottom <= r.top) return 0;
  RECT sides[4] = {{r.left, r.top, r.right, r.top + 1},
                   {r.left, r.bottom - 1, r.right, r.bottom},
                   {r.left, r.top, r.left + 1, r.bottom},
                   {r.right - 1, r.top, r.right, r.bottom}};
  for (auto &s : sides)
    if (!FillRect(hDC, &s, hbr)) return 0;
  return 1;
}

BOOL WINAPI SetRect(LPRECT lprc, int xLeft, int yTop, int xRight, int yBottom) {
  if (!lprc) return FALSE;
  *lprc = RECT{xLeft, yTop, xRight, yBottom};
  return TRUE;
}

BOOL WINAPI SetRectEmpty(LPRECT lprc) { return SetRect(lprc, 0, 0, 0, 0); }

BOOL WINAPI CopyRect(LPRECT lprcDst, const RECT *lprcSrc) {
  if (!lprcDst || !lprcSrc) return FALSE;
  *lprcDst = *lprcSrc;
  return TRUE;
}

BOOL WINAPI IsRectEmpty(const RECT *lprc) { return !lprc || lprc->right <= lprc->left || lprc->bottom <= lprc->top; }

BOOL WINAPI OffsetRect(LPRECT lprc, int dx, int dy) {
  if (!lprc) return FALSE;
  lprc->left += dx;
  lprc->right += dx;
  lprc->top += dy;
  lprc->bottom += dy;
  return TRUE;
}

BOOL WINAPI InflateRect(LPRECT lprc, int dx, int dy) {
  if (!lprc) return FALSE;
  lprc->left -= dx;
  lprc->right += dx;
  lprc->top -= dy;
  lprc->bottom += dy;
  return TRUE;
}

BOOL WINAPI IntersectRect(LPRECT lprcDst, const RECT *a, const RECT *b) {
  if (!lprcDst || !a || !b) return FALSE;
  RECT r{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
         std::min(a->bottom, b->bottom)};
  if (r.left >= r.right || r.top >= r.bottom) {
    *lprcDst = RECT{0, 0, 0, 0};
    return FALSE;
  }
  *lprcDst = r;
  return TRUE;
}

BOOL WINAPI UnionRect(LPRECT lprcDst, const RECT *a, const RECT *b) {
  if (!lprcDst || !a || !b) return FALSE;
  if (IsRectEmpty(a)) return CopyRect(lprcDst, b) && !IsRectEmpty(b);
  if (IsRectEmpty(b)) return CopyRect(lprcDst, a);
  *lprcDst = RECT{std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right),
                  std::max(a->bottom, b->bottom)};
  return TRUE;
}

BOOL WINAPI PtInRect(const RECT *lprc, POINT pt) {
  return lprc && pt.x >= lprc->left && pt.x < lprc->right && pt.y >= lprc->top && pt.y < lprc->bottom;
}

}  // extern "C"
