// What windows show: every top-level window has the pixels of its client
// area, and the DCs of GetDC, GetWindowDC and BeginPaint draw on them in the
// window's client coordinates.  A child window draws on its top-level
// window's pixels, moved to its place and clipped to what its parents show
// of it.  Windows have no frame here, so a window DC is a client DC.
#include <algorithm>
#include <cstring>

#include <winsim/testing.h>

#include "gdi32/gdi.h"
#include "user32/windows.h"

namespace winsim::user {

namespace {

// A window larger than this shows only this much: a screen is not larger.
constexpr LONG kMaxSurfaceSide = 8192;

bool isEmpty(const RECT &r) { return r.right <= r.left || r.bottom <= r.top; }

RECT intersect(const RECT &a, const RECT &b) {
  return RECT{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
              std::min(a.bottom, b.bottom)};
}

RECT clientOf(const Window *w) { return RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top}; }

// The top-level window's pixels at the size of its client area.  What was
// drawn stays where the new size still has it; what the window gains is
// black until it is painted.  With the wait lock held.
std::shared_ptr<WindowPixels> pixelsOfLocked(Window *top) {
  LONG cx = std::clamp<LONG>(top->rect.right - top->rect.left, 0, kMaxSurfaceSide);
  LONG cy = std::clamp<LONG>(top->rect.bottom - top->rect.top, 0, kMaxSurfaceSide);
  std::shared_ptr<WindowPixels> &p = top->pixels;
  if (p && p->width == cx && p->height == cy) return p;
  auto fresh = std::make_shared<WindowPixels>();
  fresh->width = cx;
  fresh->height = cy;
  fresh->bits.assign(size_t(cx) * size_t(cy), 0);
  if (p) {
    LONG w = std::min(cx, p->width), h = std::min(cy, p->height);
    for (LONG y = 0; y < h; ++y)
      std::memcpy(&fresh->bits[size_t(y) * size_t(cx)], &p->bits[size_t(y) * size_t(p->width)],
                  size_t(w) * sizeof(uint32_t));
  }
  p = fresh;
  return p;
}

// Where a window's client area lies on its top-level window's pixels: the
// origin, and the part its parents (and the pixels) show.  With the lock.
struct Placement {
  Window *top = nullptr;
  LONG x = 0, y = 0;
  RECT shown{};
};

Placement placeLocked(Window *w) {
  Placement p;
  RECT shown = clientOf(w);
  Window *top = w;
  for (int depth = 0; (top->style & WS_CHILD) && depth < 4096; ++depth) {
    Window *parent = findWindow(top->parent);
    if (!parent) break;
    p.x += top->rect.left;
    p.y += top->rect.top;
    OffsetRect(&shown, top->rect.left, top->rect.top);
    shown = intersect(shown, clientOf(parent));
    top = parent;
  }
  p.top = top;
  p.shown = shown;
  return p;
}

}  // namespace

HDC windowDc(HWND h, const std::vector<RECT> *limit) {
  std::shared_ptr<WindowPixels> pixels;
  void *bits = nullptr;
  LONG cx = 0, cy = 0, stride = 0;
  std::vector<RECTL> visible;
  bool limited = false;
  {
    std::lock_guard<std::mutex> g(waitLock());
    Window *w = findWindow(h);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
    Placement p = placeLocked(w);
    pixels = pixelsOfLocked(p.top);
    RECT shown = intersect(p.shown, RECT{0, 0, pixels->width, pixels->height});
    if (!isEmpty(shown)) {
      // The view starts at the window's origin, so that its coordinates are
      // the window's own.  A child reaching above or left of its top-level
      // window's client area cannot start there: its view starts at the edge,
      // which moves what it draws by that much.
      LONG vx = std::max<LONG>(p.x, 0), vy = std::max<LONG>(p.y, 0);
      cx = shown.right - vx;
      cy = shown.bottom - vy;
      stride = pixels->width * LONG(sizeof(uint32_t));
      bits = &pixels->bits[size_t(vy) * size_t(pixels->width) + size_t(vx)];
      auto add = [&](RECT r) {
        r = intersect(r, shown);
        if (!isEmpty(r)) visible.push_back(RECTL{r.left - vx, r.top - vy, r.right - vx, r.bottom - vy});
      };
      if (limit) {
        limited = true;
        for (RECT r : *limit) {
          OffsetRect(&r, p.x, p.y);
          add(r);
        }
      } else if (shown.left > vx || shown.top > vy) {
        limited = true;
        add(shown);
      }
    } else {
      limited = limit != nullptr;
    }
  }
  return gdi::createWindowDc(h, bits, cx, cy, stride, pixels, limited ? &visible : nullptr);
}

}  // namespace winsim::user

using namespace winsim;
using namespace winsim::user;

namespace winsim {

WindowSurface windowSurface(HWND hwnd) {
  WindowSurface out;
  std::lock_guard<std::mutex> g(waitLock());
  Window *w = findWindow(hwnd);
  if (!w) return out;
  Placement p = placeLocked(w);
  std::shared_ptr<WindowPixels> pixels = pixelsOfLocked(p.top);
  RECT client = clientOf(w);
  out.width = std::clamp<LONG>(client.right, 0, kMaxSurfaceSide);
  out.height = std::clamp<LONG>(client.bottom, 0, kMaxSurfaceSide);
  out.pixels.assign(size_t(out.width) * size_t(out.height), 0);
  // What the window's parents hide of it is not on the screen: 0 there.
  RECT shown = intersect(p.shown, RECT{0, 0, pixels->width, pixels->height});
  for (LONG y = shown.top; y < shown.bottom; ++y)
    for (LONG x = shown.left; x < shown.right; ++x) {
      LONG wx = x - p.x, wy = y - p.y;
      if (wx < 0 || wy < 0 || wx >= out.width || wy >= out.height) continue;
      out.pixels[size_t(wy) * size_t(out.width) + size_t(wx)] =
          pixels->bits[size_t(y) * size_t(pixels->width) + size_t(x)];
    }
  return out;
}

}  // namespace winsim

extern "C" {

HDC WINAPI GetDC(HWND h) {
  if (!h) {
    // The screen: it can be asked about, but there are no pixels behind it.
    return gdi::createWindowDc(nullptr, nullptr, 0, 0, 0, nullptr, nullptr);
  }
  return windowDc(h, nullptr);
}

HDC WINAPI GetWindowDC(HWND h) { return GetDC(h); }

int WINAPI ReleaseDC(HWND /*h*/, HDC hdc) {
  // Only the DCs of GetDC and GetWindowDC are released; any other DC is
  // left alone (a memory DC goes with DeleteDC).
  if (!gdi::isWindowDc(hdc)) return 0;
  return DeleteDC(hdc) ? 1 : 0;
}

HWND WINAPI WindowFromDC(HDC hdc) { return gdi::windowOfDc(hdc); }

BOOL WINAPI RedrawWindow(HWND h, const RECT *rect, HRGN rgn, UINT flags) {
  if (!h) {
    // NULL is the desktop: every top-level window.
    std::vector<HWND> tops;
    {
      std::lock_guard<std::mutex> g(waitLock());
      for (Window *w : liveWindows())
        if (!(w->style & WS_CHILD) && !w->messageOnly) tops.push_back(w->hwnd());
    }
    for (HWND t : tops) RedrawWindow(t, nullptr, nullptr, flags);
    return TRUE;
  }
  if (!IsWindow(h)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  // The area: the region, else the rectangle, else the whole client area.
  std::vector<RECT> area;
  if (rgn) {
    auto *r = gdi::obj<gdi::RegionObj>(rgn, OBJ_REGION);
    if (!r) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    for (const RECTL &p : r->rects) area.push_back(RECT{p.left, p.top, p.right, p.bottom});
  } else if (rect) {
    area.push_back(*rect);
  }
  std::vector<HWND> targets{h};
  if (flags & RDW_ALLCHILDREN) {
    for (size_t i = 0; i < targets.size(); ++i)
      for (HWND c : childWindows(targets[i])) targets.push_back(c);
  }
  for (HWND t : targets) {
    // The area is the window's own; its children get all of theirs.
    bool own = t == h && (rgn || rect);
    if (flags & RDW_INVALIDATE) {
      if (own) {
        for (const RECT &r : area) InvalidateRect(t, &r, (flags & RDW_ERASE) != 0);
      } else {
        InvalidateRect(t, nullptr, (flags & RDW_ERASE) != 0);
      }
    } else if (flags & RDW_VALIDATE) {
      if (own) {
        for (const RECT &r : area) ValidateRect(t, &r);
      } else {
        ValidateRect(t, nullptr);
      }
    }
  }
  if (flags & RDW_UPDATENOW) {
    UpdateWindow(h);
  } else if (flags & RDW_ERASENOW) {
    for (HWND t : targets) GetUpdateRect(t, nullptr, TRUE);
  }
  return TRUE;
}

}  // extern "C"
