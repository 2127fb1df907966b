// What a window is and holds: its relations, its text, its long values and
// extra bytes, its thread; finding top-level windows; and showing,
// activating and focusing windows.
#include <cstring>

#include "kernel32/threads.h"
#include "user32/windows_internal.h"

using namespace winsim;
using namespace winsim::user;

namespace {

LONG_PTR *longField(Window &w, int index) {
  switch (index) {
    case GWLP_USERDATA: return &w.userData;
    case GWLP_ID: return &w.id;
    default: return nullptr;
  }
}

}  // namespace

extern "C" {

BOOL WINAPI IsWindow(HWND h) {
  std::lock_guard<std::mutex> g(waitLock());
  return findWindow(h) != nullptr;
}

BOOL WINAPI IsWindowVisible(HWND h) {
  std::lock_guard<std::mutex> g(waitLock());
  for (Window *w = findWindow(h); w; w = findWindow(w->parent))
    if (!w->visible) return FALSE;
  return findWindow(h) != nullptr;
}

BOOL WINAPI IsChild(HWND parent, HWND h) {
  std::lock_guard<std::mutex> g(waitLock());
  Window *w = findWindow(h);
  while (w && w->parent) {
    if (w->parent == parent) return TRUE;
    w = findWindow(w->parent);
  }
  return FALSE;
}

HWND WINAPI GetParent(HWND h) {
  std::lock_guard<std::mutex> g(waitLock());
  Window *w = findWindow(h);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  return (w->style & WS_CHILD) ? w->parent : w->owner;
}

int WINAPI GetWindowTextW(HWND h, LPWSTR out, int max) {
  std::u16string text;
  {
    std::lock_guard<std::mutex> g(waitLock());
    Window *w = findWindow(h);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      if (out && max > 0) out[0] = 0;
      return 0;
    }
    text = w->title;
    if (w->processId != currentPid()) return copyText(text, out, max);
  }
  // A window of the caller's own process is asked with WM_GETTEXT.
  if (!out || max <= 0) return 0;
  out[0] = 0;
  return int(SendMessageW(h, WM_GETTEXT, WPARAM(max), reinterpret_cast<LPARAM>(out)));
}

int WINAPI GetWindowTextLengthW(HWND h) {
  {
    std::lock_guard<std::mutex> g(waitLock());
    Window *w = findWindow(h);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    if (w->processId != currentPid()) return int(w->title.size());
  }
  return int(SendMessageW(h, WM_GETTEXTLENGTH, 0, 0));
}

BOOL WINAPI SetWindowTextW(HWND h, LPCWSTR text) {
  if (!IsWindow(h)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return SendMessageW(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : u"")) ? TRUE : FALSE;
}

LONG_PTR WINAPI GetWindowLongPtrW(HWND h, int index) {
  std::lock_guard<std::mutex> g(waitLock());
  Window *w = findWindow(h);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (index >= 0) {
    if (size_t(index) + sizeof(LONG_PTR) > w->extra.size()) {
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
    }
    LONG_PTR v;
    std::memcpy(&v, w->extra.data() + index, sizeof v);
    return v;
  }
  switch (index) {
    case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE: return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT: return reinterpret_cast<LONG_PTR>((w->style & WS_CHILD) ? w->parent : w->owner);
    case GWL_STYLE: return LONG_PTR(LONG(w->style | (w->visible ? WS_VISIBLE : 0)));
    case GWL_EXSTYLE: return LONG_PTR(LONG(w->exStyle));
    default:
      if (LONG_PTR *f = longField(*w, index)) return *f;
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
  }
}

LONG_PTR WINAPI SetWindowLongPtrW(HWND h, int index, LONG_PTR value) {
  std::lock_guard<std::mutex> g(waitLock());
  Window *w = findWindow(h);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  LONG_PTR old = 0;
  if (index >= 0) {
    if (size_t(index) + sizeof(LONG_PTR) > w->extra.size()) {
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
    }
    std::memcpy(&old, w->extra.data() + index, sizeof old);
    std::memcpy(w->extra.data() + index, &value, sizeof value);
    return old;
  }
  switch (index) {
    case GWLP_WNDPROC:
      // A window procedure is replaced only by the window's own process.
      if (w->processId != currentPid()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
      }
      old = reinterpret_cast<LONG_PTR>(w->proc);
      w->proc = reinterpret_cast<WNDPROC>(value);
      return old;
    case GWLP_HINSTANCE:
      old = reinterpret_cast<LONG_PTR>(w->instance);
      w->instance = reinterpret_cast<HINSTANCE>(value);
      return old;
    case GWL_STYLE:
      old = LONG_PTR(LONG(w->style | (w->visible ? WS_VISIBLE : 0)));
      w->style = DWORD(value) & ~WS_VISIBLE;
      w->visible = (DWORD(value) & WS_VISIBLE) != 0;
      return old;
    case GWL_EXSTYLE:
      old = LONG_PTR(LONG(w->exStyle));
      w->exStyle = DWORD(value);
      return old;
    default:
      if (LONG_PTR *f = longField(*w, index)) {
        old = *f;
        *f = value;
        return old;
      }
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
  }
}

}  // extern "C"

namespace {

// The 32-bit value at a byte offset of a window's extra bytes: read, and
// replaced when `value` is given.  Pointer-sized fields do not fit in it:
// the 64-bit system refuses their indexes here.
LONG extraLong(HWND h, int index, const LONG *value) {
  if (index == GWLP_WNDPROC || index == GWLP_HINSTANCE || index == GWLP_HWNDPARENT) {
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
  }
  std::lock_guard<std::mutex> g(waitLock());
  Window *w = findWindow(h);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (size_t(index) + sizeof(LONG) > w->extra.size()) {
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
  }
  LONG old;
  std::memcpy(&old, w->extra.data() + index, sizeof old);
  if (value) std::memcpy(w->extra.data() + index, value, sizeof *value);
  return old;
}

}  // namespace

extern "C" {

LONG WINAPI GetWindowLongW(HWND h, int index) {
  if (index >= 0 || index == GWLP_WNDPROC || index == GWLP_HINSTANCE || index == GWLP_HWNDPARENT)
    return extraLong(h, index, nullptr);
  return LONG(GetWindowLongPtrW(h, index));
}

LONG WINAPI SetWindowLongW(HWND h, int index, LONG value) {
  if (index >= 0 || index == GWLP_WNDPROC || index == GWLP_HINSTANCE || index == GWLP_HWNDPARENT)
    return extraLong(h, index, &value);
  return LONG(SetWindowLongPtrW(h, index, value));
}

DWORD WINAPI GetWindowThreadProcessId(HWND h, LPDWORD pid) {
  std::lock_guard<std::mutex> g(waitLock());
  Window *w = findWindow(h);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (pid) *pid = w->processId;
  return w->threadId;
}

HWND WINAPI FindWindowExW(HWND parent, HWND after, LPCWSTR className, LPCWSTR title) {
  DWORD session = currentSession();
  std::lock_guard<std::mutex> g(waitLock());
  bool messageOnly = parent == HWND_MESSAGE;
  if (parent && !messageOnly && !findWindow(parent)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  if (className && !IS_INTRESOURCE(className) && !*className) className = nullptr;
  // Top down: the newest window is on top.
  std::vector<Window *> order(liveWindows().rbegin(), liveWindows().rend());
  bool started = after == nullptr;
  for (Window *w : order) {
    if (!started) {
      started = w->hwnd() == after;
      continue;
    }
    if (parent && !messageOnly) {
      if (!(w->style & WS_CHILD) || w->parent != parent) continue;
    } else {
      if ((w->style & WS_CHILD) || w->messageOnly != messageOnly || w->sessionId != session) continue;
    }
    if (className && !nameMatches(*w->cls, className)) continue;
    if (title && !equalsNoCase(w->title, fromW(title))) continue;
    return w->hwnd();
  }
  SetLastError(ERROR_FILE_NOT_FOUND);
  return nullptr;
}

HWND WINAPI FindWindowW(LPCWSTR className, LPCWSTR title) { return FindWindowExW(nullptr, nullptr, className, title); }

BOOL WINAPI ShowWindow(HWND h, int cmd) {
  bool was, now;
  DWORD tid;
  {
    std::lock_guard<std::mutex> g(waitLock());
    Window *w = findWindow(h);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    was = w->visible;
    now = cmd != SW_HIDE;
    w->visible = now;
    tid = w->threadId;
    // A window that appears has all of its client area to paint.
    if (now && !was) invalidateTreeLocked(w);
    if (!now) {
      w->update.clear();
      w->erase = false;
    }
    // Showing a top-level window of the caller's thread activates it, unless
    // the command says not to.
    bool activate = now && cmd != SW_SHOWNA && cmd != SW_SHOWNOACTIVATE && cmd != SW_SHOWMINNOACTIVE &&
                    !(w->style & WS_CHILD) && tid == currentTid();
    if (activate) currentQueue().active = h;
    if (!now && tid == currentTid() && currentQueue().active == h) currentQueue().active = nullptr;
  }
  if (was != now && tid == currentTid()) sendOwn(h, WM_SHOWWINDOW, now ? TRUE : FALSE, 0);
  return was ? TRUE : FALSE;
}

BOOL WINAPI SetForegroundWindow(HWND h) {
  std::lock_guard<std::mutex> g(waitLock());
  Window *w = findWindow(h);
  while (w && (w->style & WS_CHILD) && w->parent) w = findWindow(w->parent);
  if (!w) return FALSE;
  state().foreground = w->hwnd();
  if (ThreadQueue *q = queueOf(w->threadId)) q->active = w->hwnd();
  return TRUE;
}

HWND WINAPI GetForegroundWindow(void) {
  std::lock_guard<std::mutex> g(waitLock());
  return findWindow(state().foreground) ? state().foreground : nullptr;
}

HWND WINAPI GetActiveWindow(void) {
  std::lock_guard<std::mutex> g(waitLock());
  auto it = state().queues.find(currentTid());
  return it == state().queues.end() ? nullptr : it->second->active;
}

HWND WINAPI SetActiveWindow(HWND h) {
  std::lock_guard<std::mutex> g(waitLock());
  Window *w = findWindow(h);
  if (h && (!w || w->threadId != currentTid())) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  ThreadQueue &q = currentQueue();
  HWND old = q.active;
  q.active = h;
  return old;
}

HWND WINAPI SetFocus(HWND h) {
  HWND old;
  {
    std::lock_guard<std::mutex> g(waitLock());
    Window *w = findWindow(h);
    if (h && !w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
    if (w && w->threadId != currentTid()) {
      SetLastError(ERROR_ACCESS_DENIED);
      return nullptr;
    }
    ThreadQueue &q = currentQueue();
    old = q.focus;
    q.focus = h;
  }
  if (old && old != h) sendOwn(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(h), 0);
  if (h && old != h) sendOwn(h, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
  return old;
}

HWND WINAPI GetFocus(void) {
  std::lock_guard<std::mutex> g(waitLock());
  auto it = state().queues.find(currentTid());
  return it == state().queues.end() ? nullptr : it->second->focus;
}

BOOL WINAPI GetCursorPos(LPPOINT p) {
  if (!p) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  *p = kCursorPos;
  return TRUE;
}

}  // extern "C"
