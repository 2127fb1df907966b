// Window classes and windows: registration per module instance, creation
// with WM_NCCREATE/WM_CREATE, destruction with WM_DESTROY/WM_NCDESTROY,
// the window's text and long values, finding top-level windows, and the
// windows that go with their thread, their process or the machine.
#include <algorithm>
#include <cstring>

#include "kernel32/threads.h"
#include "user32/windows.h"

namespace winsim::user {

namespace {

// Guarded by the wait lock.
struct WindowState {
  std::vector<std::shared_ptr<WindowClass>> classes;
  std::vector<Window *> windows;  // alive, oldest first
  std::map<DWORD, std::unique_ptr<ThreadQueue>> queues;
  std::vector<void (*)(HWND)> goneHooks;
  HWND foreground = nullptr;
  ATOM nextAtom = 0xC000;
  uint64_t nextOrder = 0;
  uint64_t resets = 0;
};

WindowState &state() {
  static auto *s = new WindowState;  // kept past static destruction: threads may still end
  return *s;
}

void threadEnded(DWORD threadId);

// Made on a thread's first call to user32.  A thread that winsim started
// loses its windows in the thread end step, before its handle is signalled;
// the guard's destructor does it for the test's own threads as they end.
struct QueueGuard {
  DWORD threadId = 0;
  ~QueueGuard() {
    if (threadId) threadEnded(threadId);
  }
};
thread_local QueueGuard t_guard;

const char16_t *const kSystemClasses[] = {
    u"#32770", u"Button", u"Static", u"Edit", u"ComboBox", u"ListBox", u"msctls_trackbar32", u"msctls_updown32"};

std::shared_ptr<WindowClass> systemClass(const std::u16string &name) {
  static auto *made = new std::vector<std::shared_ptr<WindowClass>>;
  for (auto &c : *made)
    if (equalsNoCase(c->name, name)) return c;
  for (const char16_t *n : kSystemClasses) {
    if (!equalsNoCase(n, name)) continue;
    auto c = std::make_shared<WindowClass>();
    c->name = n;
    c->system = true;
    c->atom = name == u"#32770" ? 32770 : ATOM(0xC000 - 1 - made->size());
    c->proc = systemClassProc(n);
    c->wndExtra = systemClassExtra(n);
    c->style = CS_GLOBALCLASS;
    made->push_back(c);
    return c;
  }
  return nullptr;
}

DWORD currentPid() {
  auto p = currentProcess();
  std::lock_guard<std::mutex> g(processLock());
  return p->id;
}

DWORD currentSession() {
  auto p = currentProcess();
  std::lock_guard<std::mutex> g(processLock());
  return p->sessionId;
}

HINSTANCE exeInstance() { return reinterpret_cast<HINSTANCE>(GetModuleHandleW(nullptr)); }

bool nameMatches(const WindowClass &c, LPCWSTR name) {
  if (IS_INTRESOURCE(name)) return c.atom == LOWORD(reinterpret_cast<ULONG_PTR>(name));
  return equalsNoCase(c.name, fromW(name));
}

// The class a process means by `name` for `instance`: its own local class of
// that instance, then its global classes, then the system's.  With the lock.
std::shared_ptr<WindowClass> findClass(LPCWSTR name, HINSTANCE instance, DWORD pid) {
  if (!name) return nullptr;
  for (auto &c : state().classes)
    if (c->processId == pid && c->instance == instance && !(c->style & CS_GLOBALCLASS) && nameMatches(*c, name))
      return c;
  for (auto &c : state().classes)
    if (c->processId == pid && (c->style & CS_GLOBALCLASS) && nameMatches(*c, name)) return c;
  if (IS_INTRESOURCE(name))
    return LOWORD(reinterpret_cast<ULONG_PTR>(name)) == 32770 ? systemClass(u"#32770") : nullptr;
  return systemClass(fromW(name));
}

// Removes a window from the live ones, and its handle from the table; with
// the lock.  `w` may be gone on return.
void retire(Window *w) {
  WindowState &st = state();
  w->alive = false;
  st.windows.erase(std::remove(st.windows.begin(), st.windows.end(), w), st.windows.end());
  if (w->cls) --w->cls->windows;
  if (st.foreground == w->hwnd()) st.foreground = nullptr;
  for (auto &kv : st.queues) {
    if (kv.second->active == w->hwnd()) kv.second->active = nullptr;
    if (kv.second->focus == w->hwnd()) kv.second->focus = nullptr;
  }
  w->title.clear();
  w->extra.clear();
  w->cls.reset();
  w->data.reset();
  removeObject(w);
}

void callGoneHooks(const std::vector<HWND> &gone) {
  std::vector<void (*)(HWND)> hooks;
  {
    std::lock_guard<std::mutex> g(waitLock());
    hooks = state().goneHooks;
  }
  for (HWND h : gone)
    for (auto *hook : hooks) hook(h);
}

// Windows that go without their procedure being called: their thread or
// process has ended, or the machine is reset.  With the lock; returns them.
template <typename Pred>
std::vector<HWND> retireWhere(Pred pred) {
  std::vector<HWND> gone;
  std::vector<Window *> all = state().windows;
  for (Window *w : all)
    if (pred(*w)) {
      gone.push_back(w->hwnd());
      retire(w);
    }
  return gone;
}

void threadEnded(DWORD threadId) {
  std::vector<HWND> gone;
  {
    std::lock_guard<std::mutex> g(waitLock());
    WindowState &st = state();
    auto it = st.queues.find(threadId);
    if (it != st.queues.end()) {
      // Messages still waiting for the thread fail at once for their senders.
      for (auto &s : it->second->sent) {
        s->failed = true;
        s->done = true;
      }
      st.queues.erase(it);
    }
    gone = retireWhere([threadId](const Window &w) { return w.threadId == threadId; });
  }
  waitCondition().notify_all();
  callGoneHooks(gone);
}

// A thread of winsim's ends: called on that thread.
void winsimThreadEnded(DWORD threadId) {
  if (t_guard.threadId == threadId) t_guard.threadId = 0;
  threadEnded(threadId);
}

void processEnded(const ProcessRecord &process) {
  std::vector<HWND> gone;
  {
    std::lock_guard<std::mutex> g(waitLock());
    DWORD pid = process.id;
    gone = retireWhere([pid](const Window &w) { return w.processId == pid; });
    auto &cls = state().classes;
    cls.erase(std::remove_if(cls.begin(), cls.end(), [pid](auto &c) { return c->processId == pid; }), cls.end());
  }
  waitCondition().notify_all();
  callGoneHooks(gone);
}

// Machine reset, first: every wait of user32 ends (GetMessageW returns 0 as
// for WM_QUIT, a sender gets 0), so that message loops can stop.
void endWaits() {
  {
    std::lock_guard<std::mutex> g(waitLock());
    ++state().resets;
  }
  waitCondition().notify_all();
}

// Then a new machine has no windows, no classes and empty queues.
void clearWindows() {
  std::vector<HWND> gone;
  {
    std::lock_guard<std::mutex> g(waitLock());
    WindowState &st = state();
    gone = retireWhere([](const Window &) { return true; });
    st.classes.clear();
    for (auto &kv : st.queues) {
      ThreadQueue &q = *kv.second;
      q.posted.clear();
      for (auto &s : q.sent) {
        s->failed = true;
        s->done = true;
      }
      q.sent.clear();
      q.quit = false;
      q.quitCode = 0;
    }
    st.foreground = nullptr;
  }
  waitCondition().notify_all();
  callGoneHooks(gone);
}

const ResetStep kEndWaits(kResetStopServices - 10, endWaits);
const ResetStep kClearWindows(kResetKernel + 45, clearWindows);
const ThreadEndStep kThreadWindows(winsimThreadEnded);
const ProcessEndStep kProcessWindows(processEnded);

LONG_PTR *longField(Window &w, int index) {
  switch (index) {
    case GWLP_USERDATA: return &w.userData;
    case GWLP_ID: return &w.id;
    default: return nullptr;
  }
}

}  // namespace

// ------------------------------------------------------------ shared lookups

UserObject *findObject(HANDLE h, UserType type) {
  if (!h) return nullptr;
  auto *o = static_cast<UserObject *>(peekHandle(h, kindBit(kindOf(type))));
  if (!o || !o->alive) return nullptr;
  return o;
}

void removeObject(UserObject *obj) {
  obj->alive = false;
  removeMachineWideHandle(obj->handle, kindBit(obj->kind));
}

HANDLE addObject(UserObject *obj) {
  obj->handle = registerMachineWideObject(obj);
  return obj->handle;
}

Window *findWindow(HWND h) { return static_cast<Window *>(findObject(h, UserType::Window)); }

const std::vector<Window *> &liveWindows() { return state().windows; }

ThreadQueue &currentQueue() {
  DWORD tid = currentTid();
  auto &q = state().queues[tid];
  if (!q) {
    q = std::make_unique<ThreadQueue>();
    q->threadId = tid;
    q->processId = currentPid();
    t_guard.threadId = tid;
  }
  return *q;
}

ThreadQueue *queueOf(DWORD threadId) {
  auto it = state().queues.find(threadId);
  return it == state().queues.end() || it->second->ended ? nullptr : it->second.get();
}

uint64_t resetCount() { return state().resets; }

void registerWindowGoneHook(void (*hook)(HWND)) {
  std::lock_guard<std::mutex> g(waitLock());
  state().goneHooks.push_back(hook);
}

HWND createSystemWindow(const char16_t *className, const std::u16string &title, DWORD style, HWND owner, WNDPROC proc) {
  DWORD pid = currentPid(), session = currentSession();
  std::lock_guard<std::mutex> g(waitLock());
  WindowState &st = state();
  currentQueue();
  auto *w = new Window;
  w->cls = systemClass(className);
  ++w->cls->windows;
  w->title = title;
  w->proc = proc;
  w->style = style;
  w->owner = owner;
  w->threadId = currentTid();
  w->processId = pid;
  w->sessionId = session;
  w->visible = (style & WS_VISIBLE) != 0;
  w->order = ++st.nextOrder;
  addObject(w);
  st.windows.push_back(w);
  return w->hwnd();
}

std::vector<HWND> childWindows(HWND parent) {
  std::lock_guard<std::mutex> g(waitLock());
  std::vector<HWND> out;
  for (Window *w : liveWindows())
    if (w->parent == parent && (w->style & WS_CHILD) && !w->destroying) out.push_back(w->hwnd());
  return out;
}

void setData(HWND h, std::shared_ptr<WindowData> data) {
  std::lock_guard<std::mutex> g(waitLock());
  if (Window *w = findWindow(h)) w->data = std::move(data);
}

void destroyQuietly(HWND h) {
  {
    std::lock_guard<std::mutex> g(waitLock());
    Window *w = findWindow(h);
    if (!w) return;
    retire(w);
  }
  callGoneHooks({h});
}

}  // namespace winsim::user

namespace winsim {

// ------------------------------------------------------------ test control

std::vector<WindowInfo> windows() {
  using namespace user;
  std::lock_guard<std::mutex> g(waitLock());
  std::vector<WindowInfo> out;
  for (Window *w : state().windows) {
    WindowInfo i;
    i.hwnd = w->hwnd();
    i.title = w->title;
    i.className = w->cls ? w->cls->name : std::u16string();
    i.processId = w->processId;
    i.threadId = w->threadId;
    i.visible = w->visible;
    i.parent = w->parent;
    i.owner = w->owner;
    out.push_back(std::move(i));
  }
  return out;
}

}  // namespace winsim

using namespace winsim;
using namespace winsim::user;

namespace {

// Sends a message the way creation and destruction do: to a window of the
// calling thread, whose procedure runs at once.
LRESULT sendOwn(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) { return callWindow(h, msg, wParam, lParam); }

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

int copyText(const std::u16string &text, LPWSTR out, int max) {
  if (!out || max <= 0) return 0;
  int n = std::min<int>(int(text.size()), max - 1);
  std::copy(text.begin(), text.begin() + n, out);
  out[n] = 0;
  return n;
}

}  // namespace

extern "C" {

// ------------------------------------------------------------ classes

ATOM WINAPI RegisterClassExW(const WNDCLASSEXW *wc) {
  if (!wc || wc->cbSize != sizeof(WNDCLASSEXW) || !wc->lpszClassName || wc->cbClsExtra < 0 || wc->cbWndExtra < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (!IS_INTRESOURCE(wc->lpszClassName) && (!*wc->lpszClassName || fromW(wc->lpszClassName).size() > 255)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  HINSTANCE instance = wc->hInstance ? wc->hInstance : exeInstance();
  DWORD pid = currentPid();
  std::lock_guard<std::mutex> g(waitLock());
  WindowState &st = state();
  currentQueue();
  bool global = (wc->style & CS_GLOBALCLASS) != 0;
  for (auto &c : st.classes) {
    if (c->processId != pid || !nameMatches(*c, wc->lpszClassName)) continue;
    // A local class is one per module instance; a global one per process.
    if (global || (c->style & CS_GLOBALCLASS) || c->instance == instance) {
      SetLastError(ERROR_CLASS_ALREADY_EXISTS);
      return 0;
    }
  }
  auto c = std::make_shared<WindowClass>();
  if (IS_INTRESOURCE(wc->lpszClassName)) {
    c->atom = LOWORD(reinterpret_cast<ULONG_PTR>(wc->lpszClassName));
  } else {
    c->name = fromW(wc->lpszClassName);
    // One atom per name, as the atom table gives it.
    for (auto &o : st.classes)
      if (!c->atom && equalsNoCase(o->name, c->name)) c->atom = o->atom;
    if (!c->atom) c->atom = st.nextAtom++;
  }
  c->instance = instance;
  c->processId = pid;
  c->style = wc->style;
  c->proc = wc->lpfnWndProc;
  c->clsExtra = wc->cbClsExtra;
  c->wndExtra = wc->cbWndExtra;
  c->icon = wc->hIcon;
  c->iconSm = wc->hIconSm;
  c->cursor = wc->hCursor;
  c->background = wc->hbrBackground;
  if (wc->lpszMenuName && !IS_INTRESOURCE(wc->lpszMenuName)) c->menuName = fromW(wc->lpszMenuName);
  st.classes.push_back(c);
  return c->atom;
}

ATOM WINAPI RegisterClassW(const WNDCLASSW *wc) {
  if (!wc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  WNDCLASSEXW ex{};
  ex.cbSize = sizeof ex;
  ex.style = wc->style;
  ex.lpfnWndProc = wc->lpfnWndProc;
  ex.cbClsExtra = wc->cbClsExtra;
  ex.cbWndExtra = wc->cbWndExtra;
  ex.hInstance = wc->hInstance;
  ex.hIcon = wc->hIcon;
  ex.hCursor = wc->hCursor;
  ex.hbrBackground = wc->hbrBackground;
  ex.lpszMenuName = wc->lpszMenuName;
  ex.lpszClassName = wc->lpszClassName;
  return RegisterClassExW(&ex);
}

BOOL WINAPI UnregisterClassW(LPCWSTR name, HINSTANCE instance) {
  if (!instance) instance = exeInstance();
  DWORD pid = currentPid();
  std::lock_guard<std::mutex> g(waitLock());
  auto &cls = state().classes;
  for (auto it = cls.begin(); it != cls.end(); ++it) {
    auto &c = *it;
    if (c->processId != pid || !nameMatches(*c, name)) continue;
    if (!(c->style & CS_GLOBALCLASS) && c->instance != instance) continue;
    if (c->windows > 0) {
      SetLastError(ERROR_CLASS_HAS_WINDOWS);
      return FALSE;
    }
    cls.erase(it);
    return TRUE;
  }
  SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
  return FALSE;
}

BOOL WINAPI GetClassInfoExW(HINSTANCE instance, LPCWSTR name, LPWNDCLASSEXW wc) {
  if (!wc) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  DWORD pid = currentPid();
  if (!instance) instance = exeInstance();
  std::lock_guard<std::mutex> g(waitLock());
  auto c = findClass(name, instance, pid);
  if (!c) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  wc->style = c->style;
  wc->lpfnWndProc = c->proc;
  wc->cbClsExtra = c->clsExtra;
  wc->cbWndExtra = c->wndExtra;
  wc->hInstance = c->system ? nullptr : c->instance;
  wc->hIcon = c->icon;
  wc->hCursor = c->cursor;
  wc->hbrBackground = c->background;
  wc->lpszMenuName = nullptr;
  wc->lpszClassName = name;
  wc->hIconSm = c->iconSm;
  return c->atom;
}

int WINAPI GetClassNameW(HWND h, LPWSTR out, int max) {
  std::u16string name;
  {
    std::lock_guard<std::mutex> g(waitLock());
    Window *w = findWindow(h);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    name = w->cls->name;
  }
  return copyText(name, out, max);
}

// ------------------------------------------------------------ windows

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
