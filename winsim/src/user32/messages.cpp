// Message queues, one per thread: posted messages wait in the queue of the
// window's thread, sent messages run in that thread when it next looks for
// messages, while the sender waits (and runs what is sent to it meanwhile,
// so that two threads sending to each other do not lock up).  Every wait
// ends on TerminateThread and on the machine reset.
#include <algorithm>
#include <chrono>

#include "kernel32/threads.h"
#include "user32/windows.h"

namespace winsim::user {

namespace {

bool inRange(UINT msg, UINT lo, UINT hi) { return (lo == 0 && hi == 0) || (msg >= lo && msg <= hi); }

// Whether a posted message passes GetMessage's window filter; with the lock.
bool windowMatches(HWND filter, HWND h) {
  if (!filter) return true;
  if (filter == reinterpret_cast<HWND>(-1)) return h == nullptr;
  if (h == filter) return true;
  for (Window *w = findWindow(h); w && w->parent; w = findWindow(w->parent))
    if (w->parent == filter) return true;
  return false;
}

// Takes (or reads) the first posted message that passes the filters; the
// quit request comes once the posted messages are gone, whatever the
// filters.  With the lock.
bool takePosted(ThreadQueue &q, MSG *out, HWND filter, UINT lo, UINT hi, bool remove) {
  for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
    if (!windowMatches(filter, it->hwnd) || !inRange(it->message, lo, hi)) continue;
    *out = *it;
    if (remove) q.posted.erase(it);
    return true;
  }
  if (q.quit) {
    *out = MSG{};
    out->message = WM_QUIT;
    out->wParam = WPARAM(q.quitCode);
    out->time = DWORD(virtualNowMs());
    out->pt = kCursorPos;
    if (remove) q.quit = false;
    return true;
  }
  return false;
}

// WM_PAINT comes when nothing is posted: for the calling thread's oldest
// window (passing the filter) that has something to paint.  The message
// stays until the window is painted (BeginPaint or ValidateRect), as its
// update region is what it stands for.  With the lock.
bool takePaint(MSG *out, HWND filter, UINT lo, UINT hi) {
  if (!inRange(WM_PAINT, lo, hi)) return false;
  DWORD tid = currentTid();
  for (Window *w : liveWindows()) {
    if (w->threadId != tid || !needsPaintLocked(w) || !windowMatches(filter, w->hwnd())) continue;
    *out = MSG{};
    out->hwnd = w->hwnd();
    out->message = WM_PAINT;
    out->time = DWORD(virtualNowMs());
    out->pt = kCursorPos;
    return true;
  }
  return false;
}

bool paintPending() {
  DWORD tid = currentTid();
  for (Window *w : liveWindows())
    if (w->threadId == tid && needsPaintLocked(w)) return true;
  return false;
}

bool filterValid(HWND filter) {
  return !filter || filter == reinterpret_cast<HWND>(-1) || findWindow(filter) != nullptr;
}

enum class SendEnd { Done, Failed, TimedOut };

// Sends to a window of another thread and waits for the result.
SendEnd sendAcross(Window *w, UINT msg, WPARAM wParam, LPARAM lParam, const DWORD *timeoutMs, LRESULT &result) {
  std::unique_lock<std::mutex> lk(waitLock());
  ThreadQueue *target = queueOf(w->threadId);
  if (!target || !w->alive) return SendEnd::Failed;
  auto s = std::make_shared<SentMessage>();
  s->hwnd = w->hwnd();
  s->msg = msg;
  s->wParam = wParam;
  s->lParam = lParam;
  target->sent.push_back(s);
  DWORD targetTid = w->threadId;
  waitCondition().notify_all();
  uint64_t resets = resetCount();
  auto deadline = std::chrono::steady_clock::now() + realDuration(timeoutMs ? *timeoutMs : 0);
  auto withdraw = [&] {
    if (ThreadQueue *t = queueOf(targetTid))
      t->sent.erase(std::remove(t->sent.begin(), t->sent.end(), s), t->sent.end());
  };
  while (!s->done) {
    if (runSentMessages(lk)) continue;
    if (terminationRequested()) {
      withdraw();
      lk.unlock();
      checkTermination();  // does not return
      return SendEnd::Failed;
    }
    if (resets != resetCount() || !queueOf(targetTid)) {
      withdraw();
      return SendEnd::Failed;
    }
    if (timeoutMs) {
      if (std::chrono::steady_clock::now() >= deadline) {
        withdraw();
        return SendEnd::TimedOut;
      }
      waitCondition().wait_until(lk, deadline);
    } else {
      waitCondition().wait(lk);
    }
  }
  if (s->failed) return SendEnd::Failed;
  result = s->result;
  return SendEnd::Done;
}

SendEnd sendMessage(HWND h, UINT msg, WPARAM wParam, LPARAM lParam, const DWORD *timeoutMs, LRESULT &result) {
  result = 0;
  Window *w;
  bool own;
  {
    std::lock_guard<std::mutex> g(waitLock());
    w = findWindow(h);
    if (!w) return SendEnd::Failed;
    // A window of another thread may be destroyed while the message waits:
    // the reference keeps the object (not its handle) till the send ends.
    own = w->threadId == currentTid();
    if (!own) w->refs.fetch_add(1);
  }
  if (own) {
    result = callWindow(h, msg, wParam, lParam);
    return SendEnd::Done;
  }
  SendEnd end = sendAcross(w, msg, wParam, lParam, timeoutMs, result);
  release(w);
  return end;
}

std::vector<HWND> topLevelWindows() {
  std::lock_guard<std::mutex> g(waitLock());
  std::vector<HWND> out;
  for (Window *w : liveWindows())
    if (!(w->style & WS_CHILD) && !w->messageOnly) out.push_back(w->hwnd());
  return out;
}

}  // namespace

bool runSentMessages(std::unique_lock<std::mutex> &lk) {
  ThreadQueue &q = currentQueue();
  bool ran = false;
  while (!q.sent.empty()) {
    auto s = q.sent.front();
    q.sent.pop_front();
    ++q.inSend;
    lk.unlock();
    LRESULT r = callWindow(s->hwnd, s->msg, s->wParam, s->lParam);
    lk.lock();
    --currentQueue().inSend;
    s->result = r;
    s->done = true;
    waitCondition().notify_all();
    ran = true;
  }
  return ran;
}

LRESULT callWindow(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  WNDPROC proc;
  {
    std::lock_guard<std::mutex> g(waitLock());
    Window *w = findWindow(h);
    if (!w) return 0;
    proc = w->proc;
  }
  return proc ? proc(h, msg, wParam, lParam) : 0;
}

bool postTo(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  {
    std::lock_guard<std::mutex> g(waitLock());
    ThreadQueue *q;
    if (!h) {
      q = &currentQueue();
    } else {
      Window *w = findWindow(h);
      q = w ? queueOf(w->threadId) : nullptr;
    }
    if (!q) return false;
    MSG m{};
    m.hwnd = h;
    m.message = msg;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = DWORD(virtualNowMs());
    m.pt = kCursorPos;
    q->posted.push_back(m);
  }
  waitCondition().notify_all();
  return true;
}

bool hasModalWork() {
  ThreadQueue &q = currentQueue();
  if (!q.sent.empty()) return true;
  for (const MSG &m : q.posted)
    if (m.hwnd) return true;
  return false;
}

void runModalWork() {
  for (;;) {
    MSG m;
    {
      std::unique_lock<std::mutex> lk(waitLock());
      runSentMessages(lk);
      // Messages posted to the thread itself stay for its own loop.
      ThreadQueue &q = currentQueue();
      auto it = std::find_if(q.posted.begin(), q.posted.end(), [](const MSG &p) { return p.hwnd != nullptr; });
      if (it == q.posted.end()) break;
      m = *it;
      q.posted.erase(it);
    }
    DispatchMessageW(&m);
  }
  // Then the windows are painted, as the loop does once it is idle; each
  // once, so that a window that never validates cannot keep the loop here.
  std::vector<HWND> pending;
  {
    std::lock_guard<std::mutex> g(waitLock());
    DWORD tid = currentTid();
    for (Window *w : liveWindows())
      if (w->threadId == tid && needsPaintLocked(w)) pending.push_back(w->hwnd());
  }
  for (HWND h : pending) {
    bool still;
    {
      std::lock_guard<std::mutex> g(waitLock());
      still = needsPaintLocked(findWindow(h));
    }
    if (still) SendMessageW(h, WM_PAINT, 0, 0);
  }
}

}  // namespace winsim::user

using namespace winsim;
using namespace winsim::user;

extern "C" {

BOOL WINAPI GetMessageW(LPMSG msg, HWND h, UINT lo, UINT hi) {
  if (!msg) {
    SetLastError(ERROR_NOACCESS);
    return -1;
  }
  std::unique_lock<std::mutex> lk(waitLock());
  uint64_t resets = resetCount();
  for (;;) {
    if (runSentMessages(lk)) continue;
    if (!filterValid(h)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return -1;
    }
    if (takePosted(currentQueue(), msg, h, lo, hi, true)) return msg->message == WM_QUIT ? FALSE : TRUE;
    if (takePaint(msg, h, lo, hi)) return TRUE;
    if (terminationRequested()) {
      lk.unlock();
      checkTermination();  // does not return
    }
    if (resets != resetCount()) {
      // The machine is reset: the loop ends as it would on WM_QUIT.
      *msg = MSG{};
      msg->message = WM_QUIT;
      return FALSE;
    }
    waitCondition().wait(lk);
  }
}

BOOL WINAPI PeekMessageW(LPMSG msg, HWND h, UINT lo, UINT hi, UINT remove) {
  if (!msg) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  std::unique_lock<std::mutex> lk(waitLock());
  runSentMessages(lk);
  if (!filterValid(h)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (takePosted(currentQueue(), msg, h, lo, hi, (remove & PM_REMOVE) != 0)) return TRUE;
  return takePaint(msg, h, lo, hi) ? TRUE : FALSE;
}

BOOL WINAPI WaitMessage(void) {
  std::unique_lock<std::mutex> lk(waitLock());
  uint64_t resets = resetCount();
  for (;;) {
    if (runSentMessages(lk)) return TRUE;
    ThreadQueue &q = currentQueue();
    if (!q.posted.empty() || q.quit || paintPending()) return TRUE;
    if (terminationRequested()) {
      lk.unlock();
      checkTermination();
    }
    if (resets != resetCount()) return TRUE;
    waitCondition().wait(lk);
  }
}

BOOL WINAPI InSendMessage(void) {
  std::lock_guard<std::mutex> g(waitLock());
  return currentQueue().inSend > 0;
}

BOOL WINAPI TranslateMessage(const MSG *msg) {
  if (!msg) return FALSE;
  // No keyboard is attached: a key message is "translated" into nothing.
  switch (msg->message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP: return TRUE;
    default: return FALSE;
  }
}

LRESULT WINAPI DispatchMessageW(const MSG *msg) {
  if (!msg) return 0;
  if (!msg->hwnd) return 0;  // a thread message has no window to go to
  {
    std::lock_guard<std::mutex> g(waitLock());
    Window *w = findWindow(msg->hwnd);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    // The timer callback in lParam is not supported; the window gets it.
  }
  return callWindow(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL WINAPI PostMessageW(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (h == HWND_BROADCAST) {
    for (HWND t : topLevelWindows()) postTo(t, msg, wParam, lParam);
    return TRUE;
  }
  if (!postTo(h, msg, wParam, lParam)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI PostThreadMessageW(DWORD threadId, UINT msg, WPARAM wParam, LPARAM lParam) {
  {
    std::lock_guard<std::mutex> g(waitLock());
    ThreadQueue *q = threadId == currentTid() ? &currentQueue() : queueOf(threadId);
    if (!q) {
      SetLastError(ERROR_INVALID_THREAD_ID);
      return FALSE;
    }
    MSG m{};
    m.message = msg;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = DWORD(virtualNowMs());
    m.pt = kCursorPos;
    q->posted.push_back(m);
  }
  waitCondition().notify_all();
  return TRUE;
}

void WINAPI PostQuitMessage(int code) {
  {
    std::lock_guard<std::mutex> g(waitLock());
    ThreadQueue &q = currentQueue();
    q.quit = true;
    q.quitCode = code;
  }
  waitCondition().notify_all();
}

LRESULT WINAPI SendMessageW(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (h == HWND_BROADCAST) {
    LRESULT ignored;
    for (HWND t : topLevelWindows()) sendMessage(t, msg, wParam, lParam, nullptr, ignored);
    return 0;
  }
  LRESULT result = 0;
  if (sendMessage(h, msg, wParam, lParam, nullptr, result) == SendEnd::Failed) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return result;
}

LRESULT WINAPI SendMessageTimeoutW(HWND h, UINT msg, WPARAM wParam, LPARAM lParam, UINT, UINT timeout, PDWORD_PTR out) {
  DWORD t = timeout;
  LRESULT result = 0;
  if (h == HWND_BROADCAST) {
    for (HWND w : topLevelWindows()) sendMessage(w, msg, wParam, lParam, &t, result);
    return TRUE;
  }
  switch (sendMessage(h, msg, wParam, lParam, &t, result)) {
    case SendEnd::Done:
      if (out) *out = DWORD_PTR(result);
      return TRUE;
    case SendEnd::TimedOut: SetLastError(ERROR_TIMEOUT); return 0;
    default: SetLastError(ERROR_INVALID_WINDOW_HANDLE); return 0;
  }
}

}  // extern "C"
