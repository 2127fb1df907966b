// Where windows are and what of them waits to be painted: window and client
// rectangles, moving and sizing with WM_MOVE/WM_SIZE, mapping points between
// windows, and the update region that InvalidateRect grows, ValidateRect and
// BeginPaint shrink, and UpdateWindow and the message loop turn into
// WM_PAINT.
//
// A window has no frame here, so its client area is the whole window.
// BeginPaint's DC draws on the window's pixels (surfaces.cpp), clipped to
// what was to be painted.
#include <algorithm>

#include "user32/windows.h"

namespace winsim::user {

namespace {

bool isEmpty(const RECT &r) { return r.right <= r.left || r.bottom <= r.top; }

RECT intersect(const RECT &a, const RECT &b) {
  return RECT{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
              std::min(a.bottom, b.bottom)};
}

// The parts of a that b does not cover: up to four disjoint rectangles.
void subtract(const RECT &a, const RECT &b, std::vector<RECT> &out) {
  RECT c = intersect(a, b);
  if (isEmpty(c)) {
    out.push_back(a);
    return;
  }
  if (a.top < c.top) out.push_back(RECT{a.left, a.top, a.right, c.top});
  if (c.bottom < a.bottom) out.push_back(RECT{a.left, c.bottom, a.right, a.bottom});
  if (a.left < c.left) out.push_back(RECT{a.left, c.top, c.left, c.bottom});
  if (c.right < a.right) out.push_back(RECT{c.right, c.top, a.right, c.bottom});
}

void removeFrom(std::vector<RECT> &region, const RECT &r) {
  std::vector<RECT> rest;
  for (const RECT &part : region) subtract(part, r, rest);
  region.swap(rest);
}

void addTo(std::vector<RECT> &region, const RECT &r) {
  std::vector<RECT> fresh{r};
  for (const RECT &part : region) removeFrom(fresh, part);
  region.insert(region.end(), fresh.begin(), fresh.end());
}

RECT bounds(const std::vector<RECT> &region) {
  if (region.empty()) return RECT{};
  RECT b = region.front();
  for (const RECT &r : region) {
    b.left = std::min(b.left, r.left);
    b.top = std::min(b.top, r.top);
    b.right = std::max(b.right, r.right);
    b.bottom = std::max(b.bottom, r.bottom);
  }
  return b;
}

RECT clientOf(const Window *w) { return RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top}; }

// The screen position of a window's client origin; message-only windows and
// their children count from the screen's origin too.
POINT originOf(const Window *w) {
  POINT p{0, 0};
  for (int depth = 0; w && depth < 4096; ++depth) {
    p.x += w->rect.left;
    p.y += w->rect.top;
    w = (w->style & WS_CHILD) ? findWindow(w->parent) : nullptr;
  }
  return p;
}

// Shown, and every parent shown: a window that cannot be seen has nothing
// to paint.
bool drawable(const Window *w) {
  for (int depth = 0; w && depth < 4096; ++depth) {
    if (!w->visible) return false;
    if (!(w->style & WS_CHILD)) return true;
    w = findWindow(w->parent);
  }
  return w == nullptr;
}

Window *windowOrFail(HWND h) {
  Window *w = findWindow(h);
  if (!w) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return w;
}

// The window, then its visible children, that have something to paint.
void collectPending(HWND h, std::vector<HWND> &out) {
  {
    std::lock_guard<std::mutex> g(waitLock());
    Window *w = findWindow(h);
    if (!w || !drawable(w)) return;
    if (!w->update.empty()) out.push_back(h);
  }
  for (HWND c : childWindows(h)) collectPending(c, out);
}

}  // namespace

bool needsPaintLocked(const Window *w) { return w && !w->update.empty() && drawable(w); }

void invalidateLocked(Window *w, const RECT *r, bool erase) {
  if (!drawable(w)) return;
  RECT part = intersect(r ? *r : clientOf(w), clientOf(w));
  if (isEmpty(part)) return;
  addTo(w->update, part);
  if (erase) w->erase = true;
}

void invalidateTreeLocked(Window *w) {
  invalidateLocked(w, nullptr, true);
  for (Window *d : liveWindows()) {
    for (const Window *a = d; a && (a->style & WS_CHILD);) {
      a = findWindow(a->parent);
      if (a == w) {
        invalidateLocked(d, nullptr, true);
        break;
      }
    }
  }
}

LRESULT defPaint(HWND h) {
  PAINTSTRUCT ps;
  if (BeginPaint(h, &ps)) EndPaint(h, &ps);
  return 0;
}

LRESULT defEraseBackground(HWND h, HDC dc) {
  HBRUSH brush = nullptr;
  RECT client{};
  {
    std::lock_guard<std::mutex> g(waitLock());
    Window *w = findWindow(h);
    if (!w || !w->cls) return 0;
    brush = w->cls->background;
    client = clientOf(w);
  }
  if (!brush || !dc) return 0;
  FillRect(dc, &client, brush);
  return 1;
}

}  // namespace winsim::user

using namespace winsim;
using namespace winsim::user;

extern "C" {

BOOL WINAPI GetClientRect(HWND h, LPRECT out) {
  std::lock_guard<std::mutex> g(waitLock());
  Window *w = windowOrFail(h);
  if (!w) return FALSE;
  if (!out) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *out = clientOf(w);
  return TRUE;
}

BOOL WINAPI GetWindowRect(HWND h, LPRECT out) {
  std::lock_guard<std::mutex> g(waitLock());
  Window *w = windowOrFail(h);
  if (!w) return FALSE;
  if (!out) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  POINT o = originOf(w);
  *out = RECT{o.x, o.y, o.x + w->rect.right - w->rect.left, o.y + w->rect.bottom - w->rect.top};
  return TRUE;
}

BOOL WINAPI SetWindowPos(HWND h, HWND /*after*/, int x, int y, int cx, int cy, UINT flags) {
  bool moved = false, sized = false;
  RECT now{};
  {
    std::lock_guard<std::mutex> g(waitLock());
    Window *w = windowOrFail(h);
    if (!w) return FALSE;
    RECT old = w->rect;
    now = old;
    if (!(flags & SWP_NOMOVE)) now = RECT{x, y, x + (old.right - old.left), y + (old.bottom - old.top)};
    // A negative size is no size, as when the window was made.
    if (!(flags & SWP_NOSIZE)) {
      now.right = now.left + std::max(cx, 0);
      now.bottom = now.top + std::max(cy, 0);
    }
    moved = now.left != old.left || now.top != old.top;
    sized = now.right - now.left != old.right - old.left || now.bottom - now.top != old.bottom - old.top;
    w->rect = now;
    if (sized) {
      // What is pending stays only where the client area still is; what the
      // window gains is to be painted, or all of it when the class redraws
      // on a change of that side.
      RECT client = clientOf(w);
      std::vector<RECT> kept;
      for (const RECT &r : w->update) {
        RECT c = intersect(r, client);
        if (!isEmpty(c)) kept.push_back(c);
      }
      w->update.swap(kept);
      if (!(flags & SWP_NOREDRAW)) {
        UINT cs = w->cls ? w->cls->style : 0;
        bool wider = now.right - now.left != old.right - old.left,
             taller = now.bottom - now.top != old.bottom - old.top;
        if (((cs & CS_HREDRAW) && wider) || ((cs & CS_VREDRAW) && taller)) {
          invalidateLocked(w, nullptr, true);
        } else {
          std::vector<RECT> gained;
          subtract(client, RECT{0, 0, old.right - old.left, old.bottom - old.top}, gained);
          for (const RECT &r : gained) invalidateLocked(w, &r, true);
        }
      }
    }
  }
  if (flags & SWP_SHOWWINDOW) ShowWindow(h, SW_SHOWNA);
  if (flags & SWP_HIDEWINDOW) ShowWindow(h, SW_HIDE);
  if (sized) SendMessageW(h, WM_SIZE, SIZE_RESTORED, MAKELPARAM(now.right - now.left, now.bottom - now.top));
  if (moved) SendMessageW(h, WM_MOVE, 0, MAKELPARAM(now.left, now.top));
  return TRUE;
}

BOOL WINAPI MoveWindow(HWND h, int x, int y, int width, int height, BOOL repaint) {
  return SetWindowPos(h, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL WINAPI ClientToScreen(HWND h, LPPOINT p) {
  std::lock_guard<std::mutex> g(waitLock());
  Window *w = windowOrFail(h);
  if (!w || !p) return FALSE;
  POINT o = originOf(w);
  p->x += o.x;
  p->y += o.y;
  return TRUE;
}

BOOL WINAPI ScreenToClient(HWND h, LPPOINT p) {
  std::lock_guard<std::mutex> g(waitLock());
  Window *w = windowOrFail(h);
  if (!w || !p) return FALSE;
  POINT o = originOf(w);
  p->x -= o.x;
  p->y -= o.y;
  return TRUE;
}

int WINAPI MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count) {
  std::lock_guard<std::mutex> g(waitLock());
  POINT a{0, 0}, b{0, 0};  // NULL (the desktop) is the screen
  if (from) {
    Window *w = windowOrFail(from);
    if (!w) return 0;
    a = originOf(w);
  }
  if (to) {
    Window *w = windowOrFail(to);
    if (!w) return 0;
    b = originOf(w);
  }
  LONG dx = a.x - b.x, dy = a.y - b.y;
  for (UINT i = 0; points && i < count; ++i) {
    points[i].x += dx;
    points[i].y += dy;
  }
  return int(MAKELONG(WORD(dx), WORD(dy)));
}

BOOL WINAPI InvalidateRect(HWND h, const RECT *r, BOOL erase) {
  std::lock_guard<std::mutex> g(waitLock());
  if (!h) {
    // No window: all of them, as after a change of the whole screen.
    for (Window *w : liveWindows()) invalidateLocked(w, nullptr, erase != FALSE);
    return TRUE;
  }
  Window *w = windowOrFail(h);
  if (!w) return FALSE;
  invalidateLocked(w, r, erase != FALSE);
  return TRUE;
}

BOOL WINAPI ValidateRect(HWND h, const RECT *r) {
  std::lock_guard<std::mutex> g(waitLock());
  if (!h) return TRUE;
  Window *w = windowOrFail(h);
  if (!w) return FALSE;
  if (r) {
    removeFrom(w->update, *r);
  } else {
    w->update.clear();
  }
  if (w->update.empty()) w->erase = false;
  return TRUE;
}

BOOL WINAPI GetUpdateRect(HWND h, LPRECT out, BOOL erase) {
  bool eraseNow = false;
  {
    std::lock_guard<std::mutex> g(waitLock());
    Window *w = windowOrFail(h);
    if (!w) return FALSE;
    if (out) *out = bounds(w->update);
    if (w->update.empty()) return FALSE;
    eraseNow = erase && w->erase;
  }
  if (eraseNow) {
    std::vector<RECT> pending;
    {
      std::lock_guard<std::mutex> g(waitLock());
      if (Window *w = findWindow(h)) pending = w->update;
    }
    HDC dc = windowDc(h, &pending);
    LRESULT done = dc ? SendMessageW(h, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) : 0;
    if (dc) DeleteDC(dc);
    std::lock_guard<std::mutex> g(waitLock());
    if (Window *w = findWindow(h); w && done) w->erase = false;
  }
  return TRUE;
}

BOOL WINAPI UpdateWindow(HWND h) {
  {
    std::lock_guard<std::mutex> g(waitLock());
    if (!windowOrFail(h)) return FALSE;
  }
  std::vector<HWND> pending;
  collectPending(h, pending);
  for (HWND w : pending) SendMessageW(w, WM_PAINT, 0, 0);
  return TRUE;
}

HDC WINAPI BeginPaint(HWND h, LPPAINTSTRUCT ps) {
  if (!ps) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  *ps = PAINTSTRUCT{};
  bool erase;
  std::vector<RECT> pending;
  {
    // What is pending is now being painted: the window is valid again.
    std::lock_guard<std::mutex> g(waitLock());
    Window *w = windowOrFail(h);
    if (!w) return nullptr;
    ps->rcPaint = bounds(w->update);
    erase = w->erase;
    pending.swap(w->update);
    w->erase = false;
  }
  // The DC draws only on what was pending: nothing, when nothing was.
  ps->hdc = windowDc(h, &pending);
  if (!ps->hdc) return nullptr;
  ps->fErase = erase ? !SendMessageW(h, WM_ERASEBKGND, reinterpret_cast<WPARAM>(ps->hdc), 0) : FALSE;
  return ps->hdc;
}

BOOL WINAPI EndPaint(HWND /*h*/, const PAINTSTRUCT *ps) {
  if (!ps) return FALSE;
  if (ps->hdc) ReleaseDC(nullptr, ps->hdc);
  return TRUE;
}

}  // extern "C"
