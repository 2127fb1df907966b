// Windows coming and going: creation with WM_NCCREATE/WM_CREATE,
// destruction with WM_DESTROY/WM_NCDESTROY of the owned windows, the window
// and its children, and what DefWindowProcW does with a window's messages.
#include <algorithm>

#include "kernel32/threads.h"
#include "user32/windows_internal.h"

namespace winsim::user {

LRESULT sendOwn(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) { return callWindow(h, msg, wParam, lParam); }

int copyText(const std::u16string &text, LPWSTR out, int max) {
  if (!out || max <= 0) return 0;
  int n = std::min<int>(int(text.size()), max - 1);
  std::copy(text.begin(), text.begin() + n, out);
  out[n] = 0;
  return n;
}

}  // namespace winsim::user

using namespace winsim;
using namespace winsim::user;

namespace {

std::vector<HWND> childrenOf(HWND h, bool owned) {
  std::lock_guard<std::mutex> g(waitLock());
  std::vector<HWND> out;
  for (Window *w : liveWindows())
    if ((owned ? w->owner : w->parent) == h && !w->destroying) out.push_back(w->hwnd());
  return out;
}

// WM_DESTROY to the window and then to its children, top down, as
// DestroyWindow documents; WM_NCDESTROY bottom up.
void destroyTree(HWND h) {
  {
    std::lock_guard<std::mutex> g(waitLock());
    Window *w = findWindow(h);
    if (!w) return;
    w->destroying = true;
    if (w->visible) w->visible = false;
  }
  sendOwn(h, WM_DESTROY, 0, 0);
  for (HWND c : childrenOf(h, false)) destroyTree(c);
  sendOwn(h, WM_NCDESTROY, 0, 0);
  {
    std::lock_guard<std::mutex> g(waitLock());
    Window *w = findWindow(h);
    if (!w) return;
    retire(w);
  }
  callGoneHooks({h});
}

}  // namespace

extern "C" {

HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int cx,
                            int cy, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  DWORD pid = currentPid(), session = currentSession();
  HWND h;
  {
    std::lock_guard<std::mutex> g(waitLock());
    WindowState &st = state();
    currentQueue();
    auto cls = findClass(className, instance ? instance : exeInstance(), pid);
    if (!cls) {
      SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return nullptr;
    }
    bool messageOnly = parent == HWND_MESSAGE;
    Window *parentWindow = messageOnly ? nullptr : findWindow(parent);
    if (parent && !messageOnly && !parentWindow) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
    if ((style & WS_CHILD) && !parentWindow && !messageOnly) {
      SetLastError(ERROR_TLW_WITH_WSCHILD);
      return nullptr;
    }
    auto *w = new Window;
    w->cls = cls;
    ++cls->windows;
    w->title = windowName ? fromW(windowName) : std::u16string();
    w->proc = cls->proc;
    w->instance = instance;
    w->style = style & ~WS_VISIBLE;
    w->exStyle = exStyle;
    w->messageOnly = messageOnly;
    if (style & WS_CHILD) {
      w->parent = parentWindow ? parent : nullptr;
      w->id = reinterpret_cast<LONG_PTR>(menu);
    } else {
      // A top-level window's "parent" is its owner, which is always a
      // top-level window itself.
      Window *o = parentWindow;
      while (o && (o->style & WS_CHILD) && o->parent) o = findWindow(o->parent);
      w->owner = o ? o->hwnd() : nullptr;
      w->menu = menu;
    }
    w->extra.assign(size_t(cls->wndExtra), 0);
    w->threadId = currentTid();
    w->processId = pid;
    w->sessionId = session;
    w->order = ++st.nextOrder;
    // A default position or size is the top-left corner and nothing, and a
    // negative size is none.
    int left = x == CW_USEDEFAULT ? 0 : x, top = x == CW_USEDEFAULT ? 0 : y;
    int width = cx == CW_USEDEFAULT ? 0 : std::max(cx, 0), height = cx == CW_USEDEFAULT ? 0 : std::max(cy, 0);
    w->rect = RECT{left, top, left + width, top + height};
    h = static_cast<HWND>(addObject(w));
    st.windows.push_back(w);
  }
  CREATESTRUCTW cs{};
  cs.lpCreateParams = param;
  cs.hInstance = instance;
  cs.hMenu = menu;
  cs.hwndParent = parent == HWND_MESSAGE ? nullptr : parent;
  cs.cy = cy;
  cs.cx = cx;
  cs.y = y;
  cs.x = x;
  cs.style = LONG(style);
  cs.lpszName = windowName;
  cs.lpszClass = className;
  cs.dwExStyle = exStyle;
  LPARAM lp = reinterpret_cast<LPARAM>(&cs);
  if (!sendOwn(h, WM_NCCREATE, 0, lp)) {
    destroyTree(h);
    return nullptr;
  }
  if (sendOwn(h, WM_CREATE, 0, lp) == -1) {
    DestroyWindow(h);
    return nullptr;
  }
  if (!IsWindow(h)) return nullptr;  // destroyed by its own creation messages
  if (style & WS_VISIBLE) ShowWindow(h, SW_SHOW);
  return h;
}

BOOL WINAPI DestroyWindow(HWND h) {
  {
    std::lock_guard<std::mutex> g(waitLock());
    Window *w = findWindow(h);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    // Only the thread that made a window destroys it.
    if (w->threadId != currentTid()) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (w->destroying) return TRUE;
  }
  // The windows it owns go first, then the window and its children.
  for (HWND o : childrenOf(h, true)) DestroyWindow(o);
  destroyTree(h);
  return TRUE;
}

LRESULT WINAPI DefWindowProcW(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_NCCREATE: {
      auto *cs = reinterpret_cast<const CREATESTRUCTW *>(lParam);
      if (cs && cs->lpszName && !IS_INTRESOURCE(cs->lpszName)) {
        std::lock_guard<std::mutex> g(waitLock());
        if (Window *w = findWindow(h)) w->title = fromW(cs->lpszName);
      }
      return TRUE;
    }
    case WM_CLOSE: DestroyWindow(h); return 0;
    case WM_PAINT: return defPaint(h);
    case WM_ERASEBKGND: return defEraseBackground(h, reinterpret_cast<HDC>(wParam));
    case WM_SETTEXT: {
      std::lock_guard<std::mutex> g(waitLock());
      Window *w = findWindow(h);
      if (!w) return FALSE;
      w->title = fromW(reinterpret_cast<LPCWSTR>(lParam));
      return TRUE;
    }
    case WM_GETTEXT: {
      std::u16string t;
      {
        std::lock_guard<std::mutex> g(waitLock());
        Window *w = findWindow(h);
        if (!w) return 0;
        t = w->title;
      }
      return copyText(t, reinterpret_cast<LPWSTR>(lParam), int(wParam));
    }
    case WM_GETTEXTLENGTH: {
      std::lock_guard<std::mutex> g(waitLock());
      Window *w = findWindow(h);
      return w ? LRESULT(w->title.size()) : 0;
    }
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageW(h, WM_CLOSE, 0, 0);
      return 0;
    case WM_QUERYENDSESSION: return TRUE;
    default: return 0;
  }
}

LRESULT WINAPI CallWindowProcW(WNDPROC proc, HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  return proc ? proc(h, msg, wParam, lParam) : 0;
}

}  // extern "C"
