// The window manager inside user32: window classes, windows, the message
// queue of every thread, and the objects of user32 that are handles (menus,
// icons).  Shared by the files of user32; shell32 (above) uses the lookups
// and registers for windows that go.
//
// Everything here is guarded by the machine's wait lock, so that a thread
// waiting for a message wakes on TerminateThread and on the machine reset as
// every wait of winsim does.  No window procedure is ever called with it
// held.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <windows.h>

#include "core/internal.h"

namespace winsim::user {

// User32's handles are machine-wide values, as on Windows: a window, menu or
// icon handle means the same in every process.  Each has a kind of its own
// in the handle table, so that a handle of one kind is no handle of another
// and the kernel's calls refuse them all.  A destroyed object's handle is
// taken out of the table (and never given out again); the object itself
// lives on, not alive, while a sender still holds a reference.
enum class UserType { Window, Menu, Icon };
constexpr Kind kindOf(UserType t) {
  return t == UserType::Window ? Kind::UserWindow : t == UserType::Menu ? Kind::UserMenu : Kind::UserIcon;
}
struct UserObject : KObject {
  explicit UserObject(UserType t) : KObject(kindOf(t)), type(t) {}
  UserType type;
  HANDLE handle = nullptr;
  bool alive = true;
};

// The live user32 object of a handle, or NULL.  With the wait lock held.
UserObject *findObject(HANDLE h, UserType type);
// Registers a new object machine-wide and returns its handle.
HANDLE addObject(UserObject *obj);
// The object goes: no longer alive, its handle out of the table.  With the
// wait lock held; the object may be deleted here.
void removeObject(UserObject *obj);

struct WindowClass {
  ATOM atom = 0;
  std::u16string name;
  HINSTANCE instance = nullptr;
  DWORD processId = 0;
  bool system = false;  // "#32770" and the controls: every process has them
  UINT style = 0;
  WNDPROC proc = nullptr;
  int clsExtra = 0, wndExtra = 0;
  HICON icon = nullptr, iconSm = nullptr;
  HCURSOR cursor = nullptr;
  HBRUSH background = nullptr;
  std::u16string menuName;
  int windows = 0;  // alive windows of the class
};

// What a control or a dialog keeps of its own, with its window: it goes with
// the window's object, however the window goes.
struct WindowData {
  virtual ~WindowData() = default;
};

// The pixels of a top-level window's client area, as the screen shows it:
// 0x00RRGGBB, rows top-down.  Shared with the DCs drawing on them, so that a
// DC still out when the window is resized or goes draws on pixels that stay.
struct WindowPixels {
  LONG width = 0, height = 0;
  std::vector<uint32_t> bits;
};

struct Window : UserObject {
  Window() : UserObject(UserType::Window) {}
  HWND hwnd() const { return static_cast<HWND>(handle); }
  std::shared_ptr<WindowClass> cls;
  std::u16string title;
  WNDPROC proc = nullptr;
  HINSTANCE instance = nullptr;
  DWORD style = 0, exStyle = 0;
  HWND parent = nullptr;  // a child's parent
  HWND owner = nullptr;   // a top-level window's owner
  LONG_PTR id = 0;        // a child's identifier
  HMENU menu = nullptr;   // a top-level window's menu bar
  LONG_PTR userData = 0;
  std::vector<uint8_t> extra;  // cbWndExtra bytes
  DWORD threadId = 0, processId = 0, sessionId = 0;
  bool visible = false;
  bool messageOnly = false;
  bool destroying = false;
  uint64_t order = 0;  // creation order: the newest is on top
  std::shared_ptr<WindowData> data;
  // Where the window is: in its parent's client coordinates for a child, in
  // screen coordinates for a top-level window.  Windows have no frame here,
  // so the client area is the whole window.
  RECT rect{};
  // The part of the client area waiting to be painted, as disjoint
  // rectangles; erase says WM_ERASEBKGND is due before the next paint.
  std::vector<RECT> update;
  bool erase = false;
  // A top-level window's pixels, made when something first draws on it or
  // reads it, and sized to the client area again when that has changed.
  std::shared_ptr<WindowPixels> pixels;
};

// The live window of a handle; NULL for anything else.  With the wait lock.
Window *findWindow(HWND h);
// The live windows, oldest first.  With the wait lock.
const std::vector<Window *> &liveWindows();

// A message sent from another thread, waiting for the owner of its window.
struct SentMessage {
  HWND hwnd = nullptr;
  UINT msg = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  LRESULT result = 0;
  bool done = false;
  bool failed = false;  // the receiver went away before it ran
};

struct ThreadQueue {
  DWORD threadId = 0, processId = 0;
  std::deque<MSG> posted;
  std::deque<std::shared_ptr<SentMessage>> sent;
  bool quit = false;
  int quitCode = 0;
  bool ended = false;
  HWND active = nullptr, focus = nullptr;
  int inSend = 0;  // sent messages being processed now
};

// The calling thread's queue, made on first use as Windows makes it on a
// thread's first call to user32.  With the wait lock.
ThreadQueue &currentQueue();
// Another thread's queue; NULL when it has none or has ended.
ThreadQueue *queueOf(DWORD threadId);

// Counts machine resets: every wait of user32 ends when it changes.
uint64_t resetCount();

// Runs the messages other threads sent to the calling thread; `lk` holds
// the wait lock on entry and on return.  True when it ran any.
bool runSentMessages(std::unique_lock<std::mutex> &lk);
// Calls a window's procedure (no lock held); 0 for a window that is gone.
LRESULT callWindow(HWND h, UINT msg, WPARAM wParam, LPARAM lParam);
// Posts a message to a window's thread or, with NULL, to the calling
// thread; false when there is no such window (or queue).
bool postTo(HWND h, UINT msg, WPARAM wParam, LPARAM lParam);

// A modal loop inside user32 (a message box, a menu): while its thread
// waits for the user, messages sent to it run and messages posted to its
// windows are dispatched.  hasModalWork is called with the wait lock held,
// runModalWork without it.
bool hasModalWork();
void runModalWork();

// Makes a window of a system class with the calling thread as its owner,
// without any message: the window of a message box.  Destroyed with
// destroyQuietly.
HWND createSystemWindow(const char16_t *className, const std::u16string &title, DWORD style, HWND owner, WNDPROC proc);
void destroyQuietly(HWND h);

// Called (without a lock) for every window that goes, however it goes: the
// notification area drops the icons of the window.
void registerWindowGoneHook(void (*hook)(HWND hwnd));
struct WindowGoneHook {
  explicit WindowGoneHook(void (*hook)(HWND hwnd)) { registerWindowGoneHook(hook); }
};

// The window procedure and extra bytes of a system class ("Button",
// "#32770" ...): the controls' files define them.
WNDPROC systemClassProc(const std::u16string &name);
int systemClassExtra(const std::u16string &name);

// The direct children of a window, in creation order (the order of the
// dialog's template, top of the Z order first).  Takes the wait lock.
std::vector<HWND> childWindows(HWND parent);

// A window's own data of type T, or NULL.  Takes the wait lock.
template <typename T>
std::shared_ptr<T> dataOf(HWND h) {
  std::lock_guard<std::mutex> g(waitLock());
  Window *w = findWindow(h);
  return w ? std::dynamic_pointer_cast<T>(w->data) : nullptr;
}
// Gives a window its own data.  Takes the wait lock.
void setData(HWND h, std::shared_ptr<WindowData> data);

// Adds a client rectangle (NULL: the whole client area) to a window's update
// region when the window can be seen.  With the wait lock held.
void invalidateLocked(Window *w, const RECT *r, bool erase);
// A window that appears: it and every visible window inside it have all of
// their client areas to paint.  With the wait lock held.
void invalidateTreeLocked(Window *w);
// DefWindowProc's painting: WM_PAINT validates what is pending, and
// WM_ERASEBKGND fills with the class background brush.
LRESULT defPaint(HWND h);
LRESULT defEraseBackground(HWND h, HDC dc);

// A window that the message loop is to send WM_PAINT: shown, with parents
// shown, and something in its update region.  With the wait lock held.
bool needsPaintLocked(const Window *w);
// A DC drawing on the window's client area in its client coordinates,
// clipped to the parts its parents show and, when `limit` is given, to
// those client rectangles.  NULL with the last error for a bad window.
HDC windowDc(HWND h, const std::vector<RECT> *limit);

// The fixed position of the mouse pointer.
constexpr POINT kCursorPos{960, 540};

}  // namespace winsim::user
