// Window registry: the live windows, classes and queues of the machine, the
// lookups the rest of user32 uses, and the windows that go with their
// thread, their process or the machine.
#include <algorithm>

#include "kernel32/threads.h"
#include "user32/windows_internal.h"

namespace winsim::user {

WindowState &state() {
  static auto *s = new WindowState;  // kept past static destruction: threads may still end
  return *s;
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

namespace {

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
