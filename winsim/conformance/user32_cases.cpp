// Window classes, windows, message queues and menus as user32 documents
// them: no screen is needed, so they run headless on both platforms.
#include "check.h"
#include "support.h"

namespace {

const WCHAR kConfClass[] = TEXT("ConfWindowClass");

struct Trace {
  UINT order[16];
  int count;
  LPVOID createParam;
  LRESULT createResult;
  DWORD thread;
};

LRESULT CALLBACK traceProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  auto *t = reinterpret_cast<Trace *>(GetWindowLongPtrW(h, GWLP_USERDATA));
  if (msg == WM_NCCREATE) {
    auto *cs = reinterpret_cast<CREATESTRUCTW *>(l);
    t = static_cast<Trace *>(cs->lpCreateParams);
    SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(t));
    t->createParam = cs->lpCreateParams;
  }
  if (t) {
    if ((msg == WM_NCCREATE || msg == WM_CREATE || msg == WM_DESTROY || msg == WM_NCDESTROY || msg == WM_CLOSE ||
         msg == WM_APP) &&
        t->count < 16)
      t->order[t->count++] = msg;
    t->thread = GetCurrentThreadId();
    if (msg == WM_CREATE) return t->createResult;
    if (msg == WM_APP) return LRESULT(w + 1);
  }
  return DefWindowProcW(h, msg, w, l);
}

bool registerConfClass() {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = traceProc;
  wc.cbWndExtra = sizeof(LONG_PTR);
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kConfClass;
  if (RegisterClassExW(&wc)) return true;
  return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND makeTraced(Trace *t, LPCWSTR title) {
  return CreateWindowExW(0, kConfClass, title, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                         GetModuleHandleW(nullptr), t);
}

int indexOf(const Trace &t, UINT msg) {
  for (int i = 0; i < t.count; ++i)
    if (t.order[i] == msg) return i;
  return -1;
}

struct Pumper {
  HANDLE ready;
  HWND hwnd;
  Trace trace;
  int exitCode;
};

DWORD WINAPI pumpWindow(LPVOID p) {
  auto *s = static_cast<Pumper *>(p);
  s->hwnd = makeTraced(&s->trace, TEXT("Conf pumper"));
  SetEvent(s->ready);
  MSG m;
  BOOL r;
  while ((r = GetMessageW(&m, nullptr, 0, 0)) > 0) DispatchMessageW(&m);
  s->exitCode = r == 0 ? int(m.wParam) : -1;
  return 0;
}

}  // namespace

CONF_CASE(User32, ClassRegistrationErrors) {
  REQUIRE(registerConfClass());
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kConfClass;
  SetLastError(0);
  CHECK_EQ(RegisterClassExW(&wc), 0);
  CHECK_ERROR(ERROR_CLASS_ALREADY_EXISTS);
  SetLastError(0);
  CHECK(!UnregisterClassW(TEXT("ConfNoSuchClass"), GetModuleHandleW(nullptr)));
  CHECK_ERROR(ERROR_CLASS_DOES_NOT_EXIST);
  CHECK(CreateWindowExW(0, TEXT("ConfNoSuchClass"), TEXT(""), 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr) ==
        nullptr);
}

CONF_CASE(User32, CreationAndDestructionMessages) {
  REQUIRE(registerConfClass());
  Trace t{};
  HWND h = makeTraced(&t, TEXT("Conf traced"));
  REQUIRE(h != nullptr);
  CHECK(t.createParam == &t);
  CHECK(indexOf(t, WM_NCCREATE) >= 0);
  CHECK(indexOf(t, WM_NCCREATE) < indexOf(t, WM_CREATE));
  WCHAR title[32] = {};
  CHECK_EQ(GetWindowTextW(h, title, 32), 11);
  CHECK_WSTR(title, TEXT("Conf traced"));
  DWORD pid = 0;
  CHECK_EQ(GetWindowThreadProcessId(h, &pid), GetCurrentThreadId());
  CHECK_EQ(pid, GetCurrentProcessId());
  CHECK(FindWindowW(kConfClass, TEXT("CONF TRACED")) == h);
  // DefWindowProc answers WM_CLOSE by destroying the window.
  t.count = 0;
  CHECK_EQ(SendMessageW(h, WM_CLOSE, 0, 0), 0);
  CHECK(!IsWindow(h));
  CHECK_EQ(indexOf(t, WM_CLOSE), 0);
  CHECK(indexOf(t, WM_DESTROY) > 0);
  CHECK(indexOf(t, WM_DESTROY) < indexOf(t, WM_NCDESTROY));
  CHECK(FindWindowW(kConfClass, TEXT("Conf traced")) == nullptr);
  CHECK(!DestroyWindow(h));
}

CONF_CASE(User32, MinusOneFromCreateFailsCreation) {
  REQUIRE(registerConfClass());
  Trace t{};
  t.createResult = -1;
  CHECK(makeTraced(&t, TEXT("Conf refused")) == nullptr);
  CHECK(indexOf(t, WM_NCDESTROY) > indexOf(t, WM_CREATE));
  CHECK(FindWindowW(kConfClass, TEXT("Conf refused")) == nullptr);
}

CONF_CASE(User32, WindowLongValues) {
  REQUIRE(registerConfClass());
  Trace t{};
  HWND h = makeTraced(&t, TEXT("Conf longs"));
  REQUIRE(h != nullptr);
  CHECK(GetWindowLongPtrW(h, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(&t));
  CHECK(GetWindowLongPtrW(h, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(traceProc));
  CHECK(GetWindowLongPtrW(h, GWLP_HINSTANCE) == reinterpret_cast<LONG_PTR>(GetModuleHandleW(nullptr)));
  CHECK_EQ(SetWindowLongPtrW(h, 0, 1234), 0);
  CHECK_EQ(SetWindowLongPtrW(h, 0, 5678), 1234);
  CHECK_EQ(GetWindowLongPtrW(h, 0), 5678);
  SetLastError(0);
  CHECK_EQ(GetWindowLongPtrW(h, sizeof(LONG_PTR)), 0);
  CHECK_ERROR(ERROR_INVALID_INDEX);
  CHECK(SetWindowTextW(h, TEXT("Renamed")));
  WCHAR title[32] = {};
  CHECK_EQ(GetWindowTextW(h, title, 4), 3);
  CHECK_WSTR(title, TEXT("Ren"));
  CHECK(DestroyWindow(h));
}

CONF_CASE(User32, QueueOrderAndQuit) {
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
  }
  CHECK(PostThreadMessageW(GetCurrentThreadId(), WM_APP, 1, 0));
  PostQuitMessage(5);
  CHECK(PostThreadMessageW(GetCurrentThreadId(), WM_APP, 2, 0));
  CHECK(PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE));
  CHECK_EQ(m.wParam, 1u);
  CHECK_EQ(GetMessageW(&m, nullptr, 0, 0), TRUE);
  CHECK_EQ(m.wParam, 1u);
  CHECK_EQ(GetMessageW(&m, nullptr, 0, 0), TRUE);
  CHECK_EQ(m.wParam, 2u);
  CHECK_EQ(GetMessageW(&m, nullptr, 0, 0), FALSE);
  CHECK_EQ(m.message, UINT(WM_QUIT));
  CHECK_EQ(m.wParam, 5u);
  CHECK(!PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
}

CONF_CASE(User32, PostingToNoThread) {
  SetLastError(0);
  CHECK(!PostThreadMessageW(0x7ffffff0, WM_APP, 0, 0));
  SKIP_UNDER_WINE("PostThreadMessage gives ERROR_INVALID_PARAMETER for a thread that does not exist");
  CHECK_ERROR(ERROR_INVALID_THREAD_ID);
}

CONF_CASE(User32, SendingToAnotherThreadRunsThere) {
  REQUIRE(registerConfClass());
  Pumper s{};
  s.ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD tid = 0;
  HANDLE t = CreateThread(nullptr, 0, pumpWindow, &s, 0, &tid);
  REQUIRE(t != nullptr);
  CHECK_EQ(WaitForSingleObject(s.ready, 5000), WAIT_OBJECT_0);
  CHECK_EQ(GetWindowThreadProcessId(s.hwnd, nullptr), tid);
  CHECK_EQ(SendMessageW(s.hwnd, WM_APP, 41, 0), 42);
  CHECK_EQ(s.trace.thread, tid);
  SetLastError(0);
  CHECK(!DestroyWindow(s.hwnd));  // another thread's window
  CHECK_ERROR(ERROR_ACCESS_DENIED);
  CHECK(PostThreadMessageW(tid, WM_QUIT, 9, 0));
  CHECK_EQ(WaitForSingleObject(t, 5000), WAIT_OBJECT_0);
  CHECK_EQ(s.exitCode, 9);
  CloseHandle(t);
  // The thread is gone, and its window went with it before its handle was
  // signalled.
  CHECK(!IsWindow(s.hwnd));
  CloseHandle(s.ready);
}

CONF_CASE(User32, MenusByPositionAndCommand) {
  HMENU m = CreatePopupMenu();
  REQUIRE(m != nullptr);
  CHECK(AppendMenuW(m, MF_STRING, 100, TEXT("&About...")));
  CHECK(AppendMenuW(m, MF_SEPARATOR, 0, nullptr));
  CHECK(AppendMenuW(m, MF_STRING, 101, TEXT("E&xit")));
  CHECK(InsertMenuW(m, 100, MF_BYCOMMAND | MF_STRING | MF_GRAYED, 102, TEXT("Status")));
  CHECK(InsertMenuW(m, 0, MF_BYPOSITION | MF_STRING, 103, TEXT("First")));
  CHECK_EQ(GetMenuItemCount(m), 5);
  CHECK_EQ(GetMenuItemID(m, 0), 103u);
  CHECK_EQ(GetMenuItemID(m, 1), 102u);
  CHECK_EQ(GetMenuItemID(m, 2), 100u);
  CHECK_EQ(GetMenuItemID(m, 3), 0u);
  CHECK_EQ(GetMenuState(m, 102, MF_BYCOMMAND) & MF_GRAYED, UINT(MF_GRAYED));
  CHECK(SetMenuDefaultItem(m, 100, FALSE));
  CHECK_EQ(GetMenuDefaultItem(m, FALSE, 0), 100u);
  CHECK_EQ(GetMenuDefaultItem(m, TRUE, 0), 2u);
  WCHAR text[16] = {};
  CHECK_EQ(GetMenuStringW(m, 101, text, 16, MF_BYCOMMAND), 5);
  CHECK_WSTR(text, TEXT("E&xit"));
  CHECK(DestroyMenu(m));
  CHECK(!IsMenu(m));
  CHECK_EQ(GetMenuItemCount(m), -1);
}

CONF_CASE(User32, HandlesOfAnotherUserKindAreRefused) {
  REQUIRE(registerConfClass());
  Trace t{};
  HWND h = makeTraced(&t, TEXT("Kinds"));
  HMENU m = CreatePopupMenu();
  REQUIRE(h != nullptr);
  REQUIRE(m != nullptr);
  CHECK(!IsWindow(reinterpret_cast<HWND>(m)));
  CHECK(!IsMenu(reinterpret_cast<HMENU>(h)));
  SetLastError(0);
  CHECK(!DestroyWindow(reinterpret_cast<HWND>(m)));
  const DWORD menuAsWindow = GetLastError();
  SetLastError(0);
  CHECK_EQ(GetMenuItemCount(reinterpret_cast<HMENU>(h)), -1);
  const DWORD windowAsMenu = GetLastError();
  SetLastError(0);
  CHECK(!CloseHandle(reinterpret_cast<HANDLE>(h)));
  CHECK_ERROR(ERROR_INVALID_HANDLE);
  CHECK(IsWindow(h));
  CHECK(IsMenu(m));
  CHECK(DestroyMenu(m));
  CHECK(DestroyWindow(h));
  CHECK(!IsWindow(h));
  SetLastError(0);
  CHECK(!DestroyWindow(h));
  const DWORD destroyedWindow = GetLastError();
  // Windows names the wrong handle in the error; Wine answers
  // ERROR_ACCESS_DENIED for a window handle it does not know and leaves the
  // error alone for a menu.
  SKIP_UNDER_WINE("the user handle errors ERROR_INVALID_WINDOW_HANDLE and ERROR_INVALID_MENU_HANDLE");
  CHECK_EQ(menuAsWindow, DWORD(ERROR_INVALID_WINDOW_HANDLE));
  CHECK_EQ(windowAsMenu, DWORD(ERROR_INVALID_MENU_HANDLE));
  CHECK_EQ(destroyedWindow, DWORD(ERROR_INVALID_WINDOW_HANDLE));
}

CONF_CASE(User32, SystemIconsAndCursorsAreShared) {
  HICON app = LoadIconW(nullptr, IDI_APPLICATION);
  CHECK(app != nullptr);
  CHECK(LoadIconW(nullptr, IDI_APPLICATION) == app);
  HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
  CHECK(arrow != nullptr);
  CHECK(LoadCursorW(nullptr, IDC_ARROW) == arrow);
  POINT p;
  CHECK(GetCursorPos(&p));
}

CONF_CASE(User32, IconsFromTheModulesIconGroup) {
  HINSTANCE self = GetModuleHandleW(nullptr);
  HANDLE small = LoadImageW(self, MAKEINTRESOURCEW(101), IMAGE_ICON, 16, 16, 0);
  CHECK(small != nullptr);
  HANDLE other = LoadImageW(self, MAKEINTRESOURCEW(101), IMAGE_ICON, 32, 32, 0);
  CHECK(other != nullptr);
  CHECK(other != small);
  HICON shared = LoadIconW(self, MAKEINTRESOURCEW(101));
  CHECK(shared != nullptr);
  CHECK(LoadIconW(self, MAKEINTRESOURCEW(101)) == shared);
  CHECK(LoadImageW(self, MAKEINTRESOURCEW(102), IMAGE_ICON, 16, 16, 0) == nullptr);
  CHECK(DestroyIcon(static_cast<HICON>(small)));
  CHECK(DestroyIcon(static_cast<HICON>(other)));
}

namespace {

const WCHAR kPaintClass[] = TEXT("ConfPaintClass");

// What a window of the paint class was told: the last WM_MOVE and WM_SIZE,
// how many of each, and the rcPaint of each WM_PAINT.
struct PaintLog {
  int moves, sizes, paints;
  LPARAM lastMove, lastSize;
  RECT painted[8];
};

LRESULT CALLBACK paintProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  auto *log = reinterpret_cast<PaintLog *>(GetWindowLongPtrW(h, GWLP_USERDATA));
  if (msg == WM_NCCREATE) {
    log = static_cast<PaintLog *>(reinterpret_cast<CREATESTRUCTW *>(l)->lpCreateParams);
    SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(log));
  }
  if (log && msg == WM_MOVE) {
    ++log->moves;
    log->lastMove = l;
  }
  if (log && msg == WM_SIZE) {
    ++log->sizes;
    log->lastSize = l;
  }
  if (log && msg == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(h, &ps);
    if (dc && log->paints < 8) log->painted[log->paints] = ps.rcPaint;
    ++log->paints;
    EndPaint(h, &ps);
    return 0;
  }
  return DefWindowProcW(h, msg, w, l);
}

bool registerPaintClass() {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = paintProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kPaintClass;
  if (RegisterClassExW(&wc)) return true;
  return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// A popup or child without a border: its client area is the whole window.
HWND makePainted(PaintLog *log, DWORD style, int x, int y, int cx, int cy, HWND parent) {
  return CreateWindowExW(0, kPaintClass, TEXT(""), style, x, y, cx, cy, parent, nullptr, GetModuleHandleW(nullptr),
                         log);
}

bool sameRect(const RECT &r, LONG left, LONG top, LONG right, LONG bottom) {
  return r.left == left && r.top == top && r.right == right && r.bottom == bottom;
}

}  // namespace

CONF_CASE(User32, ChildGeometryMapsThroughTheParent) {
  REQUIRE(registerPaintClass());
  PaintLog top{}, child{};
  HWND t = makePainted(&top, WS_POPUP, 100, 50, 400, 300, nullptr);
  REQUIRE(t != nullptr);
  HWND c = makePainted(&child, WS_CHILD, 10, 20, 200, 100, t);
  REQUIRE(c != nullptr);
  RECT r{};
  CHECK(GetClientRect(c, &r));
  CHECK(sameRect(r, 0, 0, 200, 100));
  CHECK(GetWindowRect(c, &r));
  CHECK(sameRect(r, 110, 70, 310, 170));
  POINT p{1, 2};
  CHECK(ClientToScreen(c, &p));
  CHECK_EQ(p.x, 111);
  CHECK_EQ(p.y, 72);
  CHECK(ScreenToClient(t, &p));
  CHECK_EQ(p.x, 11);
  CHECK_EQ(p.y, 22);
  POINT pts[1] = {{0, 0}};
  CHECK_EQ(MapWindowPoints(c, t, pts, 1), int(MAKELONG(10, 20)));
  CHECK_EQ(pts[0].x, 10);
  CHECK_EQ(pts[0].y, 20);

  child.moves = child.sizes = 0;
  CHECK(SetWindowPos(c, nullptr, 30, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER));
  CHECK_EQ(child.moves, 1);
  CHECK_EQ(child.sizes, 0);
  CHECK_EQ(child.lastMove, LPARAM(MAKELPARAM(30, 40)));
  CHECK(SetWindowPos(c, nullptr, 0, 0, 50, 60, SWP_NOMOVE | SWP_NOZORDER));
  CHECK_EQ(child.moves, 1);
  CHECK_EQ(child.sizes, 1);
  CHECK_EQ(child.lastSize, LPARAM(MAKELPARAM(50, 60)));
  CHECK(MoveWindow(c, 30, 40, 50, 60, TRUE));  // where it is already: nothing changes
  CHECK_EQ(child.moves, 1);
  CHECK_EQ(child.sizes, 1);
  CHECK(GetWindowRect(c, &r));
  CHECK(sameRect(r, 130, 90, 180, 150));
  CHECK(!GetClientRect(reinterpret_cast<HWND>(0x1234), &r));
  CHECK_ERROR(DWORD(ERROR_INVALID_WINDOW_HANDLE));
  DestroyWindow(t);
}

CONF_CASE(User32, InvalidAreasPaintAsTheirBoundingRectangle) {
  REQUIRE(registerPaintClass());
  PaintLog log{};
  HWND h = makePainted(&log, WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, nullptr);
  REQUIRE(h != nullptr);
  RECT r{};
  CHECK(GetUpdateRect(h, &r, FALSE));  // a new window is all to paint
  CHECK(sameRect(r, 0, 0, 200, 100));
  CHECK(ValidateRect(h, nullptr));
  CHECK(!GetUpdateRect(h, &r, FALSE));
  CHECK(sameRect(r, 0, 0, 0, 0));
  int before = log.paints;
  CHECK(UpdateWindow(h));  // nothing invalid: no WM_PAINT
  CHECK_EQ(log.paints, before);

  RECT a{10, 10, 20, 20}, b{150, 50, 300, 300};
  CHECK(InvalidateRect(h, &a, FALSE));
  CHECK(InvalidateRect(h, &b, FALSE));
  CHECK(GetUpdateRect(h, &r, FALSE));
  CHECK(sameRect(r, 10, 10, 200, 100));  // clipped to the client area
  CHECK(ValidateRect(h, &b));
  CHECK(GetUpdateRect(h, &r, FALSE));
  CHECK(sameRect(r, 10, 10, 20, 20));
  CHECK(UpdateWindow(h));
  REQUIRE(log.paints == before + 1);
  CHECK(sameRect(log.painted[before], 10, 10, 20, 20));
  CHECK(!GetUpdateRect(h, &r, FALSE));
  DestroyWindow(h);
}
