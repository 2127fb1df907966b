// Windows, their classes and message queues: creation and destruction
// messages, cross-thread sending with the owner pumping (and the sender
// serving what is sent back), the quit message, windows that go with their
// thread, message boxes as windows that WM_CLOSE ends, and shortcut menus
// answered by menu rules.
#include <gtest/gtest.h>
#include <winsim/testing.h>
#include <winsim/testing_gtest.h>

#include <atomic>
#include <vector>

#include "winsim/tests/fixtures.h"

namespace winsim_test {
namespace {

using winsim::AnswerTiming;
using winsim::MenuEnd;
using winsim::MenuScript;
using winsim::MessageEnd;
using winsim::UserScript;

class UserWindows : public Winsim {};

const WCHAR kClass[] = u"WinsimTestWindow";

// What the test window's procedure saw, per window.
struct Seen {
  std::vector<UINT> messages;
  DWORD threadOfLastCall = 0;
  LPVOID createParam = nullptr;
  LRESULT createResult = 0;
};

LRESULT CALLBACK recordingProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  auto *seen = reinterpret_cast<Seen *>(GetWindowLongPtrW(h, GWLP_USERDATA));
  if (msg == WM_NCCREATE) {
    auto *cs = reinterpret_cast<CREATESTRUCTW *>(l);
    seen = static_cast<Seen *>(cs->lpCreateParams);
    SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(seen));
    seen->createParam = cs->lpCreateParams;
  }
  if (!seen) return DefWindowProcW(h, msg, w, l);
  seen->messages.push_back(msg);
  seen->threadOfLastCall = GetCurrentThreadId();
  if (msg == WM_CREATE) return seen->createResult;
  if (msg == WM_APP) return LRESULT(w * 2 + 1);
  if (msg == WM_DESTROY && seen->createResult == 0) PostQuitMessage(42);
  return DefWindowProcW(h, msg, w, l);
}

ATOM registerTestClass(WNDPROC proc = recordingProc, int extra = 0) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = proc;
  wc.cbWndExtra = extra;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClass;
  return RegisterClassExW(&wc);
}

HWND makeWindow(Seen &seen, const char16_t *title = u"Test window") {
  return CreateWindowExW(0, kClass, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, 300, 200, nullptr, nullptr,
                         GetModuleHandleW(nullptr), &seen);
}

bool contains(const std::vector<UINT> &v, UINT m) { return std::find(v.begin(), v.end(), m) != v.end(); }

TEST_F(UserWindows, ClassesAreRegisteredOncePerInstanceAndKeptWhileWindowsUseThem) {
  WNDCLASSEXW bad{};
  bad.cbSize = sizeof bad - 1;
  bad.lpszClassName = kClass;
  EXPECT_EQ(RegisterClassExW(&bad), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

  ATOM atom = registerTestClass(recordingProc, 16);
  ASSERT_NE(atom, 0);
  EXPECT_EQ(registerTestClass(), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_CLASS_ALREADY_EXISTS));
  WNDCLASSEXW info{};
  info.cbSize = sizeof info;
  EXPECT_EQ(GetClassInfoExW(GetModuleHandleW(nullptr), u"winsimtestwindow", &info), BOOL(atom));  // any case
  EXPECT_EQ(info.cbWndExtra, 16);

  Seen seen;
  HWND h = makeWindow(seen);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(UnregisterClassW(kClass, GetModuleHandleW(nullptr)), FALSE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_CLASS_HAS_WINDOWS));
  EXPECT_TRUE(DestroyWindow(h));
  EXPECT_TRUE(UnregisterClassW(kClass, GetModuleHandleW(nullptr)));
  EXPECT_EQ(UnregisterClassW(kClass, GetModuleHandleW(nullptr)), FALSE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_CLASS_DOES_NOT_EXIST));
  EXPECT_EQ(CreateWindowExW(0, kClass, u"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_CANNOT_FIND_WND_CLASS));
}

TEST_F(UserWindows, CreationAndDestructionSendTheirMessagesInOrder) {
  ASSERT_NE(registerTestClass(), 0);
  Seen seen;
  HWND h = makeWindow(seen);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(seen.createParam, &seen);
  ASSERT_GE(seen.messages.size(), 2u);
  EXPECT_EQ(seen.messages[0], UINT(WM_NCCREATE));
  EXPECT_TRUE(contains(seen.messages, WM_CREATE));
  WCHAR title[64];
  EXPECT_EQ(GetWindowTextW(h, title, 64), 11);  // DefWindowProc took the title from WM_NCCREATE
  EXPECT_EQ(std::u16string(title), u"Test window");
  EXPECT_EQ(GetWindowTextW(h, title, 5), 4);  // cut to the buffer, terminated
  EXPECT_EQ(std::u16string(title), u"Test");
  EXPECT_TRUE(SetWindowTextW(h, u"Renamed"));
  EXPECT_EQ(FindWindowW(kClass, u"RENAMED"), h);  // class and title in any case
  EXPECT_EQ(FindWindowW(nullptr, u"Test window"), nullptr);
  DWORD pid = 0;
  EXPECT_EQ(GetWindowThreadProcessId(h, &pid), GetCurrentThreadId());
  EXPECT_EQ(pid, GetCurrentProcessId());

  // WM_CLOSE's default destroys the window: WM_DESTROY, then WM_NCDESTROY.
  seen.messages.clear();
  EXPECT_EQ(SendMessageW(h, WM_CLOSE, 0, 0), 0);
  EXPECT_FALSE(IsWindow(h));
  ASSERT_GE(seen.messages.size(), 3u);
  EXPECT_EQ(seen.messages[0], UINT(WM_CLOSE));
  EXPECT_EQ(seen.messages[seen.messages.size() - 2], UINT(WM_DESTROY));
  EXPECT_EQ(seen.messages.back(), UINT(WM_NCDESTROY));
  EXPECT_EQ(FindWindowW(kClass, nullptr), nullptr);
  EXPECT_FALSE(DestroyWindow(h));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
  MSG m;
  EXPECT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));  // the PostQuitMessage of its WM_DESTROY
  EXPECT_EQ(m.message, UINT(WM_QUIT));
  EXPECT_EQ(m.wParam, WPARAM(42));
}

TEST_F(UserWindows, MinusOneFromCreateFailsTheCreationAndDestroysTheWindow) {
  ASSERT_NE(registerTestClass(), 0);
  Seen seen;
  seen.createResult = -1;
  EXPECT_EQ(makeWindow(seen), nullptr);
  EXPECT_TRUE(contains(seen.messages, WM_DESTROY));
  EXPECT_EQ(seen.messages.back(), UINT(WM_NCDESTROY));
  EXPECT_EQ(FindWindowW(kClass, nullptr), nullptr);
  EXPECT_TRUE(winsim::windows().empty());
}

LRESULT CALLBACK subclassProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_APP) return 7;
  return DefWindowProcW(h, msg, w, l);
}

TEST_F(UserWindows, WindowLongValuesAndExtraBytes) {
  ASSERT_NE(registerTestClass(recordingProc, 2 * sizeof(LONG_PTR)), 0);
  Seen seen;
  HWND h = makeWindow(seen);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GetWindowLongPtrW(h, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&seen));
  EXPECT_EQ(GetWindowLongPtrW(h, GWLP_HINSTANCE), reinterpret_cast<LONG_PTR>(GetModuleHandleW(nullptr)));
  EXPECT_EQ(SetWindowLongPtrW(h, sizeof(LONG_PTR), 0x1234), 0);
  EXPECT_EQ(GetWindowLongPtrW(h, sizeof(LONG_PTR)), 0x1234);
  EXPECT_EQ(GetWindowLongPtrW(h, 2 * sizeof(LONG_PTR)), 0);  // past the class's extra bytes
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_INDEX));
  // Subclassing: the old procedure comes back and the new one answers.
  EXPECT_EQ(SendMessageW(h, WM_APP, 3, 0), 7);
  auto old = SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(subclassProc));
  EXPECT_EQ(old, reinterpret_cast<LONG_PTR>(recordingProc));
  EXPECT_EQ(SendMessageW(h, WM_APP, 3, 0), 7);
  EXPECT_EQ(CallWindowProcW(reinterpret_cast<WNDPROC>(old), h, WM_APP, 3, 0), 7);
  EXPECT_FALSE(IsWindowVisible(h));
  EXPECT_FALSE(ShowWindow(h, SW_SHOW));  // was hidden
  EXPECT_TRUE(IsWindowVisible(h));
  EXPECT_EQ(GetActiveWindow(), h);
  EXPECT_TRUE(SetForegroundWindow(h));
  EXPECT_EQ(GetForegroundWindow(), h);
  EXPECT_TRUE(DestroyWindow(h));
  EXPECT_EQ(GetForegroundWindow(), nullptr);
  EXPECT_EQ(GetActiveWindow(), nullptr);
}

DWORD WINAPI lookFromAnotherProcess(LPVOID p) {
  auto *title = static_cast<LPCWSTR>(p);
  HWND h = FindWindowW(kClass, title);
  if (!h) return 1;
  WCHAR text[64];
  // Another process's window answers from its stored title, without a
  // message to its owner.
  if (GetWindowTextW(h, text, 64) != 14 || std::u16string(text) != title) return 2;
  winsim::setProcessSessionId(0);  // the services' session sees none of it
  return FindWindowW(kClass, title) == nullptr ? 0 : 3;
}

TEST_F(UserWindows, TopLevelWindowsAreSeenFromEveryProcessOfTheirSession) {
  ASSERT_NE(registerTestClass(), 0);
  Seen seen;
  HWND h = makeWindow(seen, u"Session window");
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(winsim::runInNewProcess(u"other.exe", lookFromAnotherProcess, const_cast<char16_t *>(u"Session window")),
            0u);
  EXPECT_TRUE(IsWindow(h));  // the other process's end leaves our window alone
  DestroyWindow(h);
}

// ------------------------------------------------------------ threads

struct Owner {
  Seen seen;
  HWND hwnd = nullptr;
  HANDLE ready = nullptr;
  HANDLE go = nullptr;  // set: the owner leaves without pumping
  bool pump = true;
  int exitCode = -1;
  HWND sendBackTo = nullptr;  // sends WM_APP there while serving a message
  LRESULT sentBack = 0;
};

LRESULT CALLBACK sendBackProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  auto *o = reinterpret_cast<Owner *>(GetWindowLongPtrW(h, GWLP_USERDATA));
  if (msg == WM_APP + 1 && o) {
    o->sentBack = SendMessageW(o->sendBackTo, WM_APP, 20, 0);
    return 99;
  }
  return recordingProc(h, msg, w, l);
}

DWORD WINAPI ownerThread(LPVOID p) {
  auto *o = static_cast<Owner *>(p);
  o->hwnd = makeWindow(o->seen, u"Owner window");
  SetEvent(o->ready);
  if (!o->pump) {
    // Simulated time: a bound well past the sender's time-out even where
    // the clock runs fast and the machine slow.
    WaitForSingleObject(o->go, 600000);
    return 0;
  }
  MSG m;
  BOOL r;
  while ((r = GetMessageW(&m, nullptr, 0, 0)) > 0) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  o->exitCode = r == 0 ? int(m.wParam) : -2;
  return 0;
}

TEST_F(UserWindows, SendingAcrossThreadsRunsInTheOwnerWhileTheSenderServesItsOwnMessages) {
  winsim::setClockScale(1000);
  ASSERT_NE(registerTestClass(), 0);
  Owner o;
  o.ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE t = CreateThread(nullptr, 0, ownerThread, &o, 0, nullptr);
  ASSERT_EQ(WaitForSingleObject(o.ready, 10000), WAIT_OBJECT_0);
  DWORD ownerTid = GetThreadId(t);
  EXPECT_EQ(GetWindowThreadProcessId(o.hwnd, nullptr), ownerTid);

  EXPECT_EQ(SendMessageW(o.hwnd, WM_APP, 5, 0), 11);
  EXPECT_EQ(o.seen.threadOfLastCall, ownerTid);  // ran in the owner, not here

  // The owner, while serving our message, sends one back to a window of
  // ours: we serve it as we wait, instead of locking up.
  Seen mine;
  HWND own = makeWindow(mine, u"Sender window");
  ASSERT_NE(own, nullptr);
  o.sendBackTo = own;
  SetWindowLongPtrW(o.hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&o));
  SetWindowLongPtrW(o.hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(sendBackProc));
  EXPECT_EQ(SendMessageW(o.hwnd, WM_APP + 1, 0, 0), 99);
  EXPECT_EQ(o.sentBack, 41);
  EXPECT_EQ(mine.threadOfLastCall, GetCurrentThreadId());

  // The window of another thread is not ours to destroy; WM_CLOSE is.
  EXPECT_FALSE(DestroyWindow(o.hwnd));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  SetWindowLongPtrW(o.hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&o.seen));
  SetWindowLongPtrW(o.hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(recordingProc));
  EXPECT_TRUE(PostMessageW(o.hwnd, WM_CLOSE, 0, 0));  // WM_DESTROY posts the quit: exit code 42
  ASSERT_EQ(WaitForSingleObject(t, 10000), WAIT_OBJECT_0);
  EXPECT_EQ(o.exitCode, 42);
  EXPECT_FALSE(IsWindow(o.hwnd));
  DestroyWindow(own);
  CloseHandle(t);
  CloseHandle(o.ready);
}

DWORD WINAPI releaseLater(LPVOID p) {
  Sleep(2000);  // simulated
  SetEvent(static_cast<HANDLE>(p));
  return 0;
}

TEST_F(UserWindows, WindowsGoWithTheirThreadAndMessagesToThemFail) {
  winsim::setClockScale(1000);
  ASSERT_NE(registerTestClass(), 0);
  Owner o;
  o.pump = false;
  o.ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  o.go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE t = CreateThread(nullptr, 0, ownerThread, &o, 0, nullptr);
  ASSERT_EQ(WaitForSingleObject(o.ready, 10000), WAIT_OBJECT_0);
  ASSERT_EQ(winsim::windows().size(), 1u);
  EXPECT_EQ(winsim::windows()[0].title, u"Owner window");
  EXPECT_EQ(winsim::windows()[0].threadId, GetThreadId(t));

  // A time-out ends the wait for an owner that does not pump (simulated
  // time: 5 s pass in 5 ms).
  DWORD_PTR result = 1;
  EXPECT_EQ(SendMessageTimeoutW(o.hwnd, WM_APP, 5, 0, SMTO_NORMAL, 5000, &result), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_TIMEOUT));
  EXPECT_EQ(result, 1u);  // untouched

  // The owner never pumps and then ends: the message waiting for it fails
  // instead of holding the sender for ever.
  HANDLE releaser = CreateThread(nullptr, 0, releaseLater, o.go, 0, nullptr);
  EXPECT_EQ(SendMessageW(o.hwnd, WM_APP, 5, 0), 0);
  ASSERT_EQ(WaitForSingleObject(t, 10000), WAIT_OBJECT_0);
  EXPECT_FALSE(contains(o.seen.messages, WM_APP));
  EXPECT_FALSE(IsWindow(o.hwnd));
  EXPECT_TRUE(winsim::windows().empty());
  EXPECT_EQ(SendMessageW(o.hwnd, WM_APP, 5, 0), 0);
  EXPECT_FALSE(PostMessageW(o.hwnd, WM_APP, 5, 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_FALSE(PostThreadMessageW(GetThreadId(t), WM_APP, 0, 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_THREAD_ID));
  WaitForSingleObject(releaser, 10000);
  CloseHandle(releaser);
  CloseHandle(t);
  CloseHandle(o.ready);
  CloseHandle(o.go);
}

DWORD WINAPI pumpUntilEnded(LPVOID p) {
  auto *o = static_cast<Owner *>(p);
  o->hwnd = makeWindow(o->seen, u"Pumping window");
  SetEvent(o->ready);
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) DispatchMessageW(&m);
  return 0;
}

// However a thread ends (its own return, TerminateThread), its windows have
// gone by the time a wait for it returns: nothing can see them after.
TEST_F(UserWindows, AThreadsWindowsHaveGoneWhenItsHandleIsSignalled) {
  winsim::setClockScale(1000);
  // The waits are bounds against a hang only: an hour of simulated time is
  // a few real seconds, room enough for a loaded, sanitized build.
  constexpr DWORD kBound = 3600 * 1000;
  ASSERT_NE(registerTestClass(), 0);
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    Owner o;
    o.ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE t = CreateThread(nullptr, 0, pumpUntilEnded, &o, 0, nullptr);
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(WaitForSingleObject(o.ready, kBound), WAIT_OBJECT_0);
    ASSERT_TRUE(IsWindow(o.hwnd));
    if (round % 2)
      EXPECT_TRUE(TerminateThread(t, 7));
    else
      EXPECT_TRUE(PostThreadMessageW(GetThreadId(t), WM_QUIT, 0, 0));
    ASSERT_EQ(WaitForSingleObject(t, kBound), WAIT_OBJECT_0);
    EXPECT_FALSE(IsWindow(o.hwnd));
    EXPECT_TRUE(winsim::windows().empty());
    EXPECT_FALSE(PostThreadMessageW(GetThreadId(t), WM_APP, 0, 0));
    // The thread ended without its window procedure hearing of it.
    EXPECT_FALSE(contains(o.seen.messages, WM_DESTROY));
    CloseHandle(t);
    CloseHandle(o.ready);
  }
}

struct Pumped {
  std::vector<MSG> got;
  std::atomic<size_t> count{0};
};

DWORD WINAPI pumpThreadMessages(LPVOID p) {
  auto *pumped = static_cast<Pumped *>(p);
  MSG m;
  PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE);  // makes the queue
  BOOL r;
  while ((r = GetMessageW(&m, nullptr, 0, 0)) > 0) {
    pumped->got.push_back(m);
    ++pumped->count;
  }
  pumped->got.push_back(m);
  return DWORD(r);
}

TEST_F(UserWindows, QueueOrderQuitAndTheEndsOfAWaitingLoop) {
  // Posted messages come in order, the quit request after them.
  PostThreadMessageW(GetCurrentThreadId(), WM_APP, 1, 0);
  PostQuitMessage(3);
  PostThreadMessageW(GetCurrentThreadId(), WM_APP, 2, 0);
  MSG m;
  EXPECT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(m.wParam, WPARAM(1));
  EXPECT_EQ(GetMessageW(&m, nullptr, WM_APP, WM_APP), TRUE);
  EXPECT_EQ(m.wParam, WPARAM(1));
  EXPECT_EQ(GetMessageW(&m, reinterpret_cast<HWND>(-1), 0, 0), TRUE);
  EXPECT_EQ(m.wParam, WPARAM(2));
  EXPECT_EQ(GetMessageW(&m, nullptr, WM_APP, WM_APP), FALSE);  // WM_QUIT passes any filter
  EXPECT_EQ(m.message, UINT(WM_QUIT));
  EXPECT_EQ(m.wParam, WPARAM(3));
  EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(GetMessageW(&m, reinterpret_cast<HWND>(0x4444), 0, 0), -1);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));

  // A loop blocked in GetMessageW ends with TerminateThread ...
  Pumped first;
  HANDLE t = CreateThread(nullptr, 0, pumpThreadMessages, &first, 0, nullptr);
  DWORD tid = GetThreadId(t);
  for (int i = 0; i < 1000 && !PostThreadMessageW(tid, WM_APP, 9, 0); ++i) Sleep(1);
  EXPECT_EQ(WaitForSingleObject(t, 50), DWORD(WAIT_TIMEOUT));
  EXPECT_TRUE(TerminateThread(t, 77));
  ASSERT_EQ(WaitForSingleObject(t, 10000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeThread(t, &code);
  EXPECT_EQ(code, 77u);
  CloseHandle(t);
  // ... and with the machine reset, as for WM_QUIT.
  Pumped more;
  t = CreateThread(nullptr, 0, pumpThreadMessages, &more, 0, nullptr);
  tid = GetThreadId(t);
  for (int i = 0; i < 1000 && !PostThreadMessageW(tid, WM_APP, 9, 0); ++i) Sleep(1);
  for (int i = 0; i < 1000 && more.count == 0; ++i) Sleep(1);
  Sleep(20);  // back in GetMessageW
  winsim::resetMachine();
  ASSERT_EQ(WaitForSingleObject(t, 10000), WAIT_OBJECT_0);
  GetExitCodeThread(t, &code);
  EXPECT_EQ(code, 0u);
  ASSERT_EQ(more.got.size(), 2u);
  EXPECT_EQ(more.got.back().message, UINT(WM_QUIT));
  CloseHandle(t);
}

// ------------------------------------------------------------ message boxes

struct BoxCall {
  std::u16string caption;
  UINT type = MB_OK;
  int result = -1;
  HWND window = nullptr;  // a window of the box's thread
  Seen seen;
};

DWORD WINAPI boxThread(LPVOID p) {
  auto *c = static_cast<BoxCall *>(p);
  if (c->window == reinterpret_cast<HWND>(1)) c->window = makeWindow(c->seen, u"Box owner");
  c->result = MessageBoxW(nullptr, u"Ribbon out", c->caption.c_str(), c->type);
  if (c->window) DestroyWindow(c->window);
  return 0;
}

HWND waitForWindow(const char16_t *title) {
  for (int i = 0; i < 2000; ++i) {
    if (HWND h = FindWindowW(nullptr, title)) return h;
    Sleep(5);
  }
  return nullptr;
}

TEST_F(UserWindows, MessageBoxesAreWindowsThatWmCloseEndsAsTheCloseButton) {
  struct Case {
    UINT type;
    bool bySend;
    int closed;  // 0: WM_CLOSE does nothing
  } cases[] = {{MB_OK | MB_ICONWARNING, true, IDOK},
               {MB_OKCANCEL, false, IDCANCEL},
               {MB_YESNOCANCEL, true, IDCANCEL},
               {MB_RETRYCANCEL, true, IDCANCEL},
               {MB_YESNO, true, 0},
               {MB_ABORTRETRYIGNORE, false, 0}};
  int n = 0;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.type);
    BoxCall call;
    call.caption = u"Card Printer " + std::u16string(1, char16_t(u'A' + n++));
    call.type = c.type;
    int answer = c.closed ? c.closed : (c.type == MB_YESNO) ? IDNO : IDIGNORE;
    UserScript open;  // left open; the rule's answer must be a button of the box
    open.caption = call.caption;
    open.answer = answer;
    open.timing = AnswerTiming::LeaveOpen;
    winsim::scriptUser(open);
    HANDLE t = CreateThread(nullptr, 0, boxThread, &call, 0, nullptr);
    HWND box = waitForWindow(call.caption.c_str());
    ASSERT_NE(box, nullptr);
    WCHAR cls[16];
    EXPECT_EQ(GetClassNameW(box, cls, 16), 6);
    EXPECT_EQ(std::u16string(cls), u"#32770");
    EXPECT_EQ(GetWindowThreadProcessId(box, nullptr), GetThreadId(t));
    EXPECT_EQ(FindWindowW(u"#32770", call.caption.c_str()), box);
    if (c.bySend)
      EXPECT_EQ(SendMessageW(box, WM_CLOSE, 0, 0), 0);
    else
      EXPECT_TRUE(PostMessageW(box, WM_CLOSE, 0, 0));
    DWORD id = winsim::shownMessages().back().id;
    if (c.closed) {
      ASSERT_EQ(WaitForSingleObject(t, 10000), WAIT_OBJECT_0);
      EXPECT_EQ(call.result, c.closed);
      auto m = winsim::shownMessages().back();
      EXPECT_EQ(m.end, MessageEnd::Closed);
      EXPECT_EQ(m.answer, c.closed);
    } else {
      EXPECT_EQ(WaitForSingleObject(t, 50), DWORD(WAIT_TIMEOUT));  // a box without OK or Cancel stays
      EXPECT_EQ(winsim::shownMessages().back().end, MessageEnd::Open);
      EXPECT_TRUE(winsim::answerMessage(id, answer));
      ASSERT_EQ(WaitForSingleObject(t, 10000), WAIT_OBJECT_0);
      EXPECT_EQ(call.result, answer);
    }
    EXPECT_FALSE(IsWindow(box));
    CloseHandle(t);
  }
}

TEST_F(UserWindows, AnOpenBoxServesWhatIsSentToItsThread) {
  ASSERT_NE(registerTestClass(), 0);
  UserScript open;
  open.timing = AnswerTiming::LeaveOpen;
  winsim::scriptUser(open);
  BoxCall call;
  call.caption = u"Modal";
  call.window = reinterpret_cast<HWND>(1);  // the thread makes a window first
  HANDLE t = CreateThread(nullptr, 0, boxThread, &call, 0, nullptr);
  ASSERT_NE(waitForWindow(u"Modal"), nullptr);
  HWND w = FindWindowW(kClass, u"Box owner");
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(SendMessageW(w, WM_APP, 10, 0), 21);
  EXPECT_EQ(call.seen.threadOfLastCall, GetThreadId(t));
  ASSERT_TRUE(winsim::answerMessage(winsim::shownMessages().back().id, IDOK));
  ASSERT_EQ(WaitForSingleObject(t, 10000), WAIT_OBJECT_0);
  EXPECT_EQ(call.result, IDOK);
  CloseHandle(t);
}

// ------------------------------------------------------------ menus

enum : UINT { kAbout = 100, kExit = 101, kHidden = 102 };

HMENU trayMenu() {
  HMENU m = CreatePopupMenu();
  AppendMenuW(m, MF_STRING, kAbout, u"&About...");
  AppendMenuW(m, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(m, MF_STRING, kExit, u"E&xit");
  InsertMenuW(m, kAbout, MF_BYCOMMAND | MF_STRING | MF_GRAYED, kHidden, u"Status");  // before "About..."
  SetMenuDefaultItem(m, kAbout, FALSE);
  return m;
}

TEST_F(UserWindows, MenusAreBuiltByPositionAndByCommand) {
  HMENU m = trayMenu();
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(GetMenuItemCount(m), 4);
  EXPECT_EQ(GetMenuItemID(m, 0), UINT(kHidden));
  EXPECT_EQ(GetMenuItemID(m, 1), UINT(kAbout));
  EXPECT_EQ(GetMenuItemID(m, 2), 0u);  // the separator
  EXPECT_EQ(GetMenuDefaultItem(m, FALSE, 0), UINT(kAbout));
  EXPECT_EQ(GetMenuDefaultItem(m, TRUE, 0), 1u);
  EXPECT_EQ(GetMenuState(m, kHidden, MF_BYCOMMAND) & MF_GRAYED, UINT(MF_GRAYED));
  EXPECT_EQ(GetMenuState(m, 2, MF_BYPOSITION) & MF_SEPARATOR, UINT(MF_SEPARATOR));
  EXPECT_FALSE(InsertMenuW(m, 555, MF_BYCOMMAND, 1, u"x"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MENU_ITEM_NOT_FOUND));
  EXPECT_TRUE(DeleteMenu(m, kHidden, MF_BYCOMMAND));
  EXPECT_EQ(GetMenuDefaultItem(m, TRUE, 0), 0u);  // the default moved up with its item
  EXPECT_TRUE(DestroyMenu(m));
  EXPECT_FALSE(IsMenu(m));
  EXPECT_EQ(GetMenuItemCount(m), -1);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_MENU_HANDLE));
  EXPECT_FALSE(DestroyMenu(m));
}

TEST_F(UserWindows, ShortcutMenusAreAnsweredByMenuRulesAndRecorded) {
  ASSERT_NE(registerTestClass(), 0);
  Seen seen;
  HWND h = makeWindow(seen);
  HMENU m = trayMenu();
  MenuScript exit;
  exit.item = u"Exit";  // '&' marks are no part of the match
  exit.times = 1;
  winsim::scriptMenu(exit);
  MenuScript dismiss;
  dismiss.dismiss = true;
  dismiss.times = 1;
  winsim::scriptMenu(dismiss);
  MenuScript about;
  about.item = u"&About...";
  winsim::scriptMenu(about);

  SetForegroundWindow(h);
  EXPECT_EQ(TrackPopupMenu(m, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, 10, 10, 0, h, nullptr), BOOL(kExit));
  EXPECT_EQ(TrackPopupMenuEx(m, TPM_RETURNCMD, 10, 10, h, nullptr), 0);  // dismissed
  EXPECT_TRUE(contains(seen.messages, WM_INITMENUPOPUP));
  // Without TPM_RETURNCMD the choice comes as a posted WM_COMMAND.
  EXPECT_TRUE(TrackPopupMenu(m, 0, 10, 10, 0, h, nullptr));
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, h, WM_COMMAND, WM_COMMAND, PM_REMOVE));
  EXPECT_EQ(LOWORD(msg.wParam), WORD(kAbout));
  EXPECT_TRUE(TrackPopupMenu(m, TPM_NONOTIFY, 10, 10, 0, h, nullptr));
  EXPECT_FALSE(PeekMessageW(&msg, h, WM_COMMAND, WM_COMMAND, PM_REMOVE));

  auto menus = winsim::shownMenus();
  ASSERT_EQ(menus.size(), 4u);
  EXPECT_EQ(menus[0].end, MenuEnd::Chosen);
  EXPECT_EQ(menus[0].chosen, UINT(kExit));
  EXPECT_EQ(menus[0].defaultId, UINT(kAbout));
  EXPECT_EQ(menus[0].owner, h);
  ASSERT_EQ(menus[0].items.size(), 4u);
  EXPECT_EQ(menus[0].items[1].text, u"&About...");
  EXPECT_TRUE(menus[0].items[1].isDefault);
  EXPECT_EQ(menus[1].end, MenuEnd::Dismissed);
  EXPECT_EQ(menus[1].chosen, 0u);
  EXPECT_TRUE(winsim::takeMenuFaults().empty());

  // A rule for a grayed item, and a menu nobody scripted, are faults.
  winsim::clearUserScript();
  MenuScript status;
  status.item = u"Status";
  winsim::scriptMenu(status);
  EXPECT_EQ(TrackPopupMenu(m, TPM_RETURNCMD, 0, 0, 0, h, nullptr), 0);
  HMENU other = CreatePopupMenu();
  AppendMenuW(other, MF_STRING, 1, u"Open");
  EXPECT_EQ(TrackPopupMenu(other, TPM_RETURNCMD, 0, 0, 0, h, nullptr), 0);
  auto faults = winsim::takeMenuFaults();
  ASSERT_EQ(faults.size(), 2u);
  EXPECT_EQ(faults[0].end, MenuEnd::DisabledItem);
  EXPECT_EQ(faults[1].end, MenuEnd::Unscripted);
  EXPECT_EQ(faults[1].items[0].text, u"Open");
  // A menu needs a window of the caller's.
  EXPECT_FALSE(TrackPopupMenu(m, TPM_RETURNCMD, 0, 0, 0, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
  DestroyMenu(m);
  DestroyMenu(other);
  DestroyWindow(h);
}

TEST_F(UserWindows, SystemIconsCursorsAndBrushesAreSharedHandles) {
  HICON app = LoadIconW(nullptr, IDI_APPLICATION);
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(LoadIconW(nullptr, IDI_APPLICATION), app);
  EXPECT_NE(LoadIconW(nullptr, IDI_WARNING), app);
  HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
  ASSERT_NE(arrow, nullptr);
  EXPECT_EQ(LoadImageW(nullptr, MAKEINTRESOURCEW(32512), IMAGE_CURSOR, 0, 0, LR_SHARED | LR_DEFAULTSIZE), arrow);
  EXPECT_EQ(LoadIconW(nullptr, MAKEINTRESOURCEW(123)), nullptr);
  EXPECT_TRUE(DestroyIcon(app));  // a shared icon stays
  EXPECT_EQ(LoadIconW(nullptr, IDI_APPLICATION), app);
  EXPECT_FALSE(DestroyIcon(reinterpret_cast<HICON>(0x7777)));
  // The module has no icon group of that name.
  EXPECT_EQ(LoadImageW(GetModuleHandleW(nullptr), u"NOSUCHICON", IMAGE_ICON, 16, 16, 0), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_TYPE_NOT_FOUND));
  HBRUSH face = GetSysColorBrush(COLOR_BTNFACE);
  EXPECT_EQ(GetObjectType(face), DWORD(OBJ_BRUSH));
  LOGBRUSH lb{};
  ASSERT_EQ(GetObjectW(face, sizeof lb, &lb), int(sizeof lb));
  EXPECT_EQ(lb.lbColor, GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(GetSysColorBrush(COLOR_BTNFACE), face);
  DeleteObject(face);
  EXPECT_EQ(GetObjectType(face), DWORD(OBJ_BRUSH));  // a system brush is not deleted
  POINT p{};
  EXPECT_TRUE(GetCursorPos(&p));
}

// Windows, menus and icons are handles of kinds of their own: each call
// refuses the others' handles with its own error, the kernel's calls refuse
// them all, and a destroyed one is no handle any more.
TEST_F(UserWindows, UserHandlesAreRefusedWhereAnotherKindIsExpected) {
  ASSERT_NE(registerTestClass(), 0);
  Seen seen;
  HWND window = makeWindow(seen);
  HMENU menu = CreatePopupMenu();
  HANDLE loaded = LoadIconW(nullptr, IDI_APPLICATION);
  ASSERT_NE(window, nullptr);
  ASSERT_NE(menu, nullptr);
  ASSERT_NE(loaded, nullptr);
  HWND menuAsWindow = reinterpret_cast<HWND>(menu);
  HMENU windowAsMenu = reinterpret_cast<HMENU>(window);

  EXPECT_FALSE(IsWindow(menuAsWindow));
  EXPECT_FALSE(IsWindow(static_cast<HWND>(loaded)));
  SetLastError(0);
  EXPECT_FALSE(DestroyWindow(menuAsWindow));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_FALSE(PostMessageW(menuAsWindow, WM_APP, 0, 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));

  EXPECT_FALSE(IsMenu(windowAsMenu));
  SetLastError(0);
  EXPECT_EQ(GetMenuItemCount(windowAsMenu), -1);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_MENU_HANDLE));
  EXPECT_FALSE(DestroyMenu(reinterpret_cast<HMENU>(loaded)));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_MENU_HANDLE));
  EXPECT_FALSE(DestroyIcon(reinterpret_cast<HICON>(menu)));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_ICON_HANDLE));

  for (HANDLE h : {static_cast<HANDLE>(window), static_cast<HANDLE>(menu), loaded}) {
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  }
  // None of them was harmed by the refusals.
  EXPECT_TRUE(IsWindow(window));
  EXPECT_TRUE(IsMenu(menu));

  EXPECT_TRUE(DestroyMenu(menu));
  EXPECT_FALSE(IsMenu(menu));
  EXPECT_FALSE(DestroyMenu(menu));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_MENU_HANDLE));
  EXPECT_TRUE(DestroyWindow(window));
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(DestroyWindow(window));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_TRUE(winsim::windows().empty());
}

}  // namespace
}  // namespace winsim_test
