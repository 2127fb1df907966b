// Events, mutexes, semaphores, waits, threads, critical sections and time.
#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "core/internal.h"
#include "kernel32/threads.h"

namespace winsim {

namespace {

// ----- threads
struct Thread : KObject {
  Thread() : KObject(Kind::Thread) {}
  LPTHREAD_START_ROUTINE start = nullptr;
  LPVOID param = nullptr;
  DWORD tid = 0;
  DWORD exitCode = STILL_ACTIVE;
  bool finished = false;
  bool suspended = false;
  std::atomic<bool> terminate{false};
  DWORD terminateCode = 0;
  std::shared_ptr<ProcessRecord> process;  // its creator's
  bool isSignaled(DWORD) const override { return finished; }
  bool waitable() const override { return true; }
};

std::atomic<DWORD> g_nextTid{1000};
thread_local DWORD t_tid = 0;
thread_local Thread *t_self = nullptr;

}  // namespace

DWORD currentTid() {
  if (!t_tid) t_tid = g_nextTid.fetch_add(4);
  return t_tid;
}

bool terminationRequested() { return t_self && t_self->terminate.load(); }

void checkTermination() {
  if (t_self && t_self->terminate.load()) {
    DWORD code = t_self->terminateCode;
    ExitThread(code);
  }
}

namespace {

struct Event : KObject {
  Event() : KObject(Kind::Event) {}
  bool manual = false;
  bool set = false;
  // An auto-reset event set while threads wait for it goes to one of them,
  // as on Windows: a thread that starts waiting after the set cannot take it
  // first.  `waiters` are the threads waiting for it alone or for any of
  // several objects; `eligible` those that were waiting when it was set.
  std::vector<DWORD> waiters, eligible;
  bool isSignaled(DWORD tid) const override {
    return set && (manual || eligible.empty() || std::find(eligible.begin(), eligible.end(), tid) != eligible.end());
  }
  void acquire(DWORD) override {
    if (manual) return;
    set = false;
    eligible.clear();
  }
  bool waitable() const override { return true; }
  void signal() {
    set = true;
    if (!manual) eligible = waiters;
  }
  void addWaiter(DWORD tid) { waiters.push_back(tid); }
  void removeWaiter(DWORD tid) {
    auto drop = [tid](std::vector<DWORD> &v) {
      if (auto it = std::find(v.begin(), v.end(), tid); it != v.end()) v.erase(it);
    };
    drop(waiters);
    drop(eligible);
  }
};

struct Mutex : KObject {
  Mutex() : KObject(Kind::Mutex) {}
  DWORD owner = 0;
  int count = 0;
  // Its owner ended without releasing it; the next wait that gets it says so.
  bool abandoned = false;
  bool handedOverAbandoned = false;
  bool isSignaled(DWORD tid) const override { return owner == 0 || owner == tid; }
  void acquire(DWORD tid) override {
    owner = tid;
    ++count;
    handedOverAbandoned = abandoned;
    abandoned = false;
  }
  bool waitable() const override { return true; }
};

// Called as a thread ends, with the wait lock held: the mutexes it still owns
// are freed and marked abandoned.
void abandonMutexesOf(DWORD tid) {
  forEachObject([tid](KObject *o) {
    if (o->kind != Kind::Mutex) return;
    auto *m = static_cast<Mutex *>(o);
    if (m->owner != tid) return;
    m->owner = 0;
    m->count = 0;
    m->abandoned = true;
  });
}

bool takenAbandoned(KObject *o) { return o->kind == Kind::Mutex && static_cast<Mutex *>(o)->handedOverAbandoned; }

struct Semaphore : KObject {
  Semaphore() : KObject(Kind::Semaphore) {}
  LONG count = 0, maximum = 0;
  bool isSignaled(DWORD) const override { return count > 0; }
  void acquire(DWORD) override { --count; }
  bool waitable() const override { return true; }
};

// A name as the caller's session sees it (Global\\, Local\\ or bare).
std::u16string sessionName(LPCWSTR name) { return qualifiedObjectName(name, processSessionId()); }

HANDLE createNamed(LPCWSTR name, Kind kind, const std::function<KObject *()> &make) {
  if (name && *name) {
    if (KObject *o = findNamed(sessionName(name))) {
      if (o->kind != kind) {
        release(o);
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
      }
      HANDLE h = addHandle(o);
      SetLastError(ERROR_ALREADY_EXISTS);
      return h;
    }
  }
  KObject *o = make();
  HANDLE h = registerObject(o);
  if (name && *name) addNamed(o, sessionName(name));
  SetLastError(NO_ERROR);
  return h;
}

HANDLE openNamed(LPCWSTR name, Kind kind) {
  if (!name || !*name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  KObject *o = findNamed(sessionName(name));
  if (!o) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  if (o->kind != kind) {
    release(o);
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return addHandle(o);
}

void *threadMain(void *arg) {
  auto *t = static_cast<Thread *>(arg);
  t_self = t;
  t_tid = t->tid;
  enterProcess(t->process);
  struct Finisher {
    Thread *t;
    ~Finisher() {
      DWORD code;
      {
        std::lock_guard<std::mutex> g(waitLock());
        if (t->exitCode == STILL_ACTIVE && t->terminate.load()) t->exitCode = t->terminateCode;
        code = t->exitCode;
      }
      // The thread's own windows go as it exits; then the last thread of a
      // process ends it, and its handles close, before anyone waiting for
      // the thread sees it end.
      runThreadEndSteps(t->tid);
      threadLeftProcess(*t->process, code);
      {
        std::lock_guard<std::mutex> g(waitLock());
        t->finished = true;
        abandonMutexesOf(t->tid);
      }
      waitCondition().notify_all();
      release(t);
    }
  } finisher{t};
  {
    std::unique_lock<std::mutex> lk(waitLock());
    waitCondition().wait(lk, [t] { return !t->suspended || t->terminate.load(); });
  }
  if (t->terminate.load()) return nullptr;
  DWORD code = t->start(t->param);
  std::lock_guard<std::mutex> g(waitLock());
  t->exitCode = code;
  return nullptr;
}

// ----- waits

// The objects behind the handles, a reference held on each; false, with the
// error set and no reference kept, when one of them cannot be waited for.
bool lookupWaitables(DWORD count, const HANDLE *handles, std::vector<KObject *> &objs) {
  for (DWORD i = 0; i < count; ++i) {
    HANDLE h = handles[i];
    KObject *o = nullptr;
    if (h == GetCurrentThread() || h == GetCurrentProcess())
      o = nullptr;
    else
      o = lookupAny(h);
    if (!o || !o->waitable()) {
      for (auto *x : objs) release(x);
      if (o) release(o);
      SetLastError(ERROR_INVALID_HANDLE);
      return false;
    }
    objs.push_back(o);
  }
  return true;
}

// With the wait lock held: takes every object if all are signaled.
bool takeAllSignaled(std::vector<KObject *> &objs, DWORD tid, DWORD &result) {
  bool all = true;
  for (auto *o : objs) all = all && o->isSignaled(tid);
  if (!all) return false;
  result = WAIT_OBJECT_0;
  for (DWORD i = 0; i < DWORD(objs.size()); ++i) {
    objs[i]->acquire(tid);
    if (takenAbandoned(objs[i]) && result == WAIT_OBJECT_0) result = WAIT_ABANDONED_0 + i;
  }
  return true;
}

// With the wait lock held: takes the first signaled object, if any.
bool takeFirstSignaled(std::vector<KObject *> &objs, DWORD tid, DWORD &result) {
  for (DWORD i = 0; i < DWORD(objs.size()); ++i) {
    if (objs[i]->isSignaled(tid)) {
      objs[i]->acquire(tid);
      result = (takenAbandoned(objs[i]) ? WAIT_ABANDONED_0 : WAIT_OBJECT_0) + i;
      return true;
    }
  }
  return false;
}

// Waits till the objects satisfy the wait, the time is up or the thread is
// asked to end; returns the wait's result.
DWORD waitForObjects(std::vector<KObject *> &objs, BOOL waitAll, DWORD milliseconds) {
  DWORD tid = currentTid();
  DWORD result = WAIT_TIMEOUT;
  auto deadline = std::chrono::steady_clock::now() + realDuration(milliseconds);
  std::unique_lock<std::mutex> lk(waitLock());
  // A wait for all objects takes an event only together with the rest, so
  // it queues for none of them (a set event stays with the threads that
  // can take it at once).
  struct Queued {
    std::vector<KObject *> &objs;
    DWORD tid;
    bool on;
    void each(void (Event::*f)(DWORD)) {
      if (!on) return;
      for (auto *o : objs)
        if (o->kind == Kind::Event) (static_cast<Event *>(o)->*f)(tid);
    }
    ~Queued() { each(&Event::removeWaiter); }
  } queued{objs, tid, !waitAll && milliseconds != 0};
  queued.each(&Event::addWaiter);
  for (;;) {
    if (t_self && t_self->terminate.load()) break;
    if (waitAll ? takeAllSignaled(objs, tid, result) : takeFirstSignaled(objs, tid, result)) break;
    if (milliseconds == 0) break;
    if (milliseconds == INFINITE) {
      waitCondition().wait(lk);
    } else if (waitCondition().wait_until(lk, deadline) == std::cv_status::timeout &&
               std::chrono::steady_clock::now() >= deadline) {
      // One last look, then time out.
      if (milliseconds != INFINITE) milliseconds = 0;
    }
  }
  return result;
}

}  // namespace

// A new thread of `process`; its handle goes into the caller's table.
HANDLE startThreadIn(std::shared_ptr<ProcessRecord> process, SIZE_T stack, LPTHREAD_START_ROUTINE start, LPVOID param,
                     DWORD flags, LPDWORD threadId) {
  if (!start) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // A process that is ending starts no thread any more.
  bool ended;
  {
    std::lock_guard<std::mutex> g(waitLock());
    ended = process->ended;
  }
  if (process->exiting.load() || ended) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  auto *t = new Thread;
  t->start = start;
  t->param = param;
  t->tid = g_nextTid.fetch_add(4);
  t->suspended = (flags & CREATE_SUSPENDED) != 0;
  t->process = std::move(process);
  threadEnteredProcess(*t->process);
  t->refs.store(2);  // the caller's handle and the running thread
  HANDLE h = registerObject(t);
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  if (stack >= 64 * 1024) pthread_attr_setstacksize(&attr, stack);
  pthread_t pt;
  int rc = pthread_create(&pt, &attr, threadMain, t);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    threadLeftProcess(*t->process);
    closeHandle(h);
    release(t);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (threadId) *threadId = t->tid;
  return h;
}

void terminateThreadsOf(const ProcessRecord &process, DWORD code) {
  {
    std::lock_guard<std::mutex> g(waitLock());
    forEachObject([&](KObject *o) {
      if (o->kind != Kind::Thread) return;
      auto *t = static_cast<Thread *>(o);
      if (t->process.get() != &process || t->finished || t == t_self || t->terminate.load()) return;
      t->terminateCode = code;
      t->terminate.store(true);
    });
  }
  waitCondition().notify_all();
}

bool waitForThreadsToLeave(const ProcessRecord &process, int remaining, DWORD realMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
  std::unique_lock<std::mutex> lk(waitLock());
  // The count drops without the wait lock: look again every few
  // milliseconds as well as at each notification.
  while (process.threads.load() > remaining) {
    auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    waitCondition().wait_for(
        lk, std::min<std::chrono::steady_clock::duration>(deadline - now, std::chrono::milliseconds(5)));
  }
  return true;
}

bool waitForProcessEnded(const ProcessRecord &process, DWORD realMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
  std::unique_lock<std::mutex> lk(waitLock());
  while (!process.ended) {
    auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    waitCondition().wait_for(
        lk, std::min<std::chrono::steady_clock::duration>(deadline - now, std::chrono::milliseconds(5)));
  }
  return true;
}

bool isWinsimThread() { return t_self != nullptr; }

// ------------------------------------------------------------ test control

DWORD runInNewProcess(const std::u16string &imageName, LPTHREAD_START_ROUTINE start, LPVOID param) {
  HANDLE h = startThreadIn(newProcess(imageName), 0, start, param, 0, nullptr);
  if (!h) return DWORD(-1);
  WaitForSingleObject(h, INFINITE);
  DWORD code = DWORD(-1);
  GetExitCodeThread(h, &code);
  CloseHandle(h);
  return code;
}

}  // namespace winsim

using namespace winsim;

extern "C" {

DWORD WINAPI GetLastError(void) { return lastError(); }
void WINAPI SetLastError(DWORD code) { setLastError(code); }

// ----- critical sections: a recursive pthread mutex behind DebugInfo.
void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION cs) {
  std::memset(cs, 0, sizeof *cs);
  auto *m = new pthread_mutex_t;
  pthread_mutexattr_t a;
  pthread_mutexattr_init(&a);
  pthread_mutexattr_settype(&a, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(m, &a);
  pthread_mutexattr_destroy(&a);
  cs->DebugInfo = m;
}
BOOL WINAPI InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION cs, DWORD) {
  InitializeCriticalSection(cs);
  return TRUE;
}
void WINAPI EnterCriticalSection(LPCRITICAL_SECTION cs) {
  pthread_mutex_lock(static_cast<pthread_mutex_t *>(cs->DebugInfo));
  cs->RecursionCount++;
  cs->OwningThread = (HANDLE)(ULONG_PTR)currentTid();
}
BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION cs) {
  if (pthread_mutex_trylock(static_cast<pthread_mutex_t *>(cs->DebugInfo)) != 0) return FALSE;
  cs->RecursionCount++;
  cs->OwningThread = (HANDLE)(ULONG_PTR)currentTid();
  return TRUE;
}
void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION cs) {
  if (--cs->RecursionCount == 0) cs->OwningThread = nullptr;
  pthread_mutex_unlock(static_cast<pthread_mutex_t *>(cs->DebugInfo));
}
void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION cs) {
  auto *m = static_cast<pthread_mutex_t *>(cs->DebugInfo);
  if (m) {
    pthread_mutex_destroy(m);
    delete m;
  }
  cs->DebugInfo = nullptr;
}

// ----- events, mutexes, semaphores
HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR name) {
  return createNamed(name, Kind::Event, [&] {
    auto *e = new Event;
    e->manual = manualReset;
    e->set = initialState;
    return e;
  });
}
HANDLE WINAPI OpenEventW(DWORD, BOOL, LPCWSTR name) { return openNamed(name, Kind::Event); }

static BOOL setEventState(HANDLE h, int how) {
  KObject *o = lookup(h, Kind::Event);
  if (!o) return FALSE;
  {
    std::lock_guard<std::mutex> g(waitLock());
    auto *e = static_cast<Event *>(o);
    if (how)
      e->signal();
    else
      e->set = false;
  }
  if (how) waitCondition().notify_all();
  release(o);
  return TRUE;
}
BOOL WINAPI SetEvent(HANDLE h) { return setEventState(h, 1); }
BOOL WINAPI ResetEvent(HANDLE h) { return setEventState(h, 0); }
BOOL WINAPI PulseEvent(HANDLE h) {
  // Documented as unreliable on Windows; a set that waiters may see, then a reset.
  if (!SetEvent(h)) return FALSE;
  std::this_thread::yield();
  return ResetEvent(h);
}

HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCWSTR name) {
  return createNamed(name, Kind::Mutex, [&] {
    auto *m = new Mutex;
    if (initialOwner) {
      m->owner = currentTid();
      m->count = 1;
    }
    return m;
  });
}
HANDLE WINAPI OpenMutexW(DWORD, BOOL, LPCWSTR name) { return openNamed(name, Kind::Mutex); }
BOOL WINAPI ReleaseMutex(HANDLE h) {
  KObject *o = lookup(h, Kind::Mutex);
  if (!o) return FALSE;
  auto *m = static_cast<Mutex *>(o);
  BOOL ok = TRUE;
  {
    std::lock_guard<std::mutex> g(waitLock());
    if (m->owner != currentTid()) {
      ok = FALSE;
    } else if (--m->count == 0) {
      m->owner = 0;
    }
  }
  if (ok)
    waitCondition().notify_all();
  else
    SetLastError(ERROR_NOT_OWNER);
  release(o);
  return ok;
}

HANDLE WINAPI CreateSemaphoreW(LPSECURITY_ATTRIBUTES, LONG initial, LONG maximum, LPCWSTR name) {
  if (maximum <= 0 || initial < 0 || initial > maximum) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return createNamed(name, Kind::Semaphore, [&] {
    auto *s = new Semaphore;
    s->count = initial;
    s->maximum = maximum;
    return s;
  });
}
BOOL WINAPI ReleaseSemaphore(HANDLE h, LONG count, LPLONG previous) {
  KObject *o = lookup(h, Kind::Semaphore);
  if (!o) return FALSE;
  auto *s = static_cast<Semaphore *>(o);
  DWORD error = 0;
  {
    std::lock_guard<std::mutex> g(waitLock());
    if (count <= 0) {
      error = ERROR_INVALID_PARAMETER;
    } else if (count > s->maximum - s->count) {
      error = ERROR_TOO_MANY_POSTS;  // the count stays as it was
    } else {
      if (previous) *previous = s->count;
      s->count += count;
    }
  }
  if (!error)
    waitCondition().notify_all();
  else
    SetLastError(error);
  BOOL ok = error == 0;
  release(o);
  return ok;
}

// ----- waits
DWORD WINAPI WaitForMultipleObjects(DWORD count, const HANDLE *handles, BOOL waitAll, DWORD milliseconds) {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  std::vector<KObject *> objs;
  if (!lookupWaitables(count, handles, objs)) return WAIT_FAILED;
  DWORD result = waitForObjects(objs, waitAll, milliseconds);
  for (auto *o : objs) release(o);
  checkTermination();
  return result;
}

DWORD WINAPI WaitForSingleObject(HANDLE h, DWORD milliseconds) {
  return WaitForMultipleObjects(1, &h, FALSE, milliseconds);
}

BOOL WINAPI CloseHandle(HANDLE h) {
  if (h == GetCurrentThread() || h == GetCurrentProcess()) return TRUE;
  return closeHandle(h) ? TRUE : FALSE;
}

BOOL WINAPI DuplicateHandle(HANDLE, HANDLE src, HANDLE, LPHANDLE dst, DWORD, BOOL, DWORD) {
  KObject *o = lookupAny(src);
  if (!o) return FALSE;
  if (dst)
    *dst = addHandle(o);  // the lookup's reference goes to the new handle
  else
    release(o);
  return TRUE;
}

// ----- threads
HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T stack, LPTHREAD_START_ROUTINE start, LPVOID param, DWORD flags,
                           LPDWORD threadId) {
  // A thread belongs to its creator's process.
  return winsim::startThreadIn(currentProcess(), stack, start, param, flags, threadId);
}

DWORD WINAPI ResumeThread(HANDLE h) {
  KObject *o = lookup(h, Kind::Thread);
  if (!o) return (DWORD)-1;
  DWORD prev;
  {
    std::lock_guard<std::mutex> g(waitLock());
    auto *t = static_cast<Thread *>(o);
    prev = t->suspended ? 1 : 0;
    t->suspended = false;
  }
  waitCondition().notify_all();
  release(o);
  return prev;
}

void WINAPI ExitThread(DWORD code) {
  if (t_self) {
    std::lock_guard<std::mutex> g(waitLock());
    t_self->exitCode = code;
  }
  pthread_exit(nullptr);
}

BOOL WINAPI TerminateThread(HANDLE h, DWORD code) {
  KObject *o = lookup(h, Kind::Thread);
  if (!o) return FALSE;
  auto *t = static_cast<Thread *>(o);
  {
    std::lock_guard<std::mutex> g(waitLock());
    t->terminateCode = code;
    t->terminate.store(true);
    if (t_self == t) {
      // Terminating oneself ends at once.
    }
  }
  waitCondition().notify_all();
  bool self = t_self == t;
  release(o);
  if (self) ExitThread(code);
  return TRUE;
}

BOOL WINAPI GetExitCodeThread(HANDLE h, LPDWORD code) {
  KObject *o = lookup(h, Kind::Thread);
  if (!o) return FALSE;
  {
    std::lock_guard<std::mutex> g(waitLock());
    if (code) *code = static_cast<Thread *>(o)->exitCode;
  }
  release(o);
  return TRUE;
}

BOOL WINAPI SetThreadPriority(HANDLE, int) { return TRUE; }
DWORD WINAPI GetCurrentThreadId(void) { return currentTid(); }
HANDLE WINAPI GetCurrentThread(void) { return (HANDLE)(LONG_PTR)-2; }
DWORD WINAPI GetCurrentProcessId(void) {
  auto p = currentProcess();
  std::lock_guard<std::mutex> g(processLock());
  return p->id;
}
HANDLE WINAPI GetCurrentProcess(void) { return (HANDLE)(LONG_PTR)-1; }
DWORD WINAPI GetThreadId(HANDLE h) {
  if (h == GetCurrentThread()) return currentTid();
  KObject *o = lookup(h, Kind::Thread);
  if (!o) return 0;
  DWORD tid = static_cast<Thread *>(o)->tid;
  release(o);
  return tid;
}

// ----- time
DWORD WINAPI SleepEx(DWORD milliseconds, BOOL) {
  checkTermination();
  if (milliseconds == 0) {
    std::this_thread::yield();
    return 0;
  }
  // Sleeping waits on the common condition so that TerminateThread can end it.
  auto deadline = std::chrono::steady_clock::now() + realDuration(milliseconds);
  {
    std::unique_lock<std::mutex> lk(waitLock());
    while (!(t_self && t_self->terminate.load())) {
      if (milliseconds == INFINITE)
        waitCondition().wait(lk);
      else if (waitCondition().wait_until(lk, deadline) == std::cv_status::timeout)
        break;
    }
  }
  checkTermination();
  return 0;
}
void WINAPI Sleep(DWORD milliseconds) { SleepEx(milliseconds, FALSE); }

DWORD WINAPI GetTickCount(void) { return DWORD(virtualNowMs()); }
ULONGLONG WINAPI GetTickCount64(void) { return virtualNowMs(); }
BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER *count) {
  if (!count) return FALSE;
  count->QuadPart = LONGLONG(virtualNowMs() * 10000);
  return TRUE;
}
BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER *freq) {
  if (!freq) return FALSE;
  freq->QuadPart = 10000000;
  return TRUE;
}

static void unixToSystemTime(time_t secs, int ms, bool local, LPSYSTEMTIME st) {
  struct tm tm {};
  if (local)
    localtime_r(&secs, &tm);
  else
    gmtime_r(&secs, &tm);
  st->wYear = WORD(tm.tm_year + 1900);
  st->wMonth = WORD(tm.tm_mon + 1);
  st->wDayOfWeek = WORD(tm.tm_wday);
  st->wDay = WORD(tm.tm_mday);
  st->wHour = WORD(tm.tm_hour);
  st->wMinute = WORD(tm.tm_min);
  st->wSecond = WORD(tm.tm_sec);
  st->wMilliseconds = WORD(ms);
}

void WINAPI GetSystemTime(LPSYSTEMTIME st) {
  auto now = std::chrono::system_clock::now().time_since_epoch();
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
  unixToSystemTime(time_t(ms / 1000), int(ms % 1000), false, st);
}
void WINAPI GetLocalTime(LPSYSTEMTIME st) {
  auto now = std::chrono::system_clock::now().time_since_epoch();
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
  unixToSystemTime(time_t(ms / 1000), int(ms % 1000), true, st);
}
void WINAPI GetSystemTimeAsFileTime(LPFILETIME ft) {
  auto now = std::chrono::system_clock::now().time_since_epoch();
  uint64_t t =
      uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count() / 100) + 116444736000000000ULL;
  ft->dwLowDateTime = DWORD(t);
  ft->dwHighDateTime = DWORD(t >> 32);
}
BOOL WINAPI FileTimeToSystemTime(const FILETIME *ft, LPSYSTEMTIME st) {
  if (!ft || !st) return FALSE;
  uint64_t t = (uint64_t(ft->dwHighDateTime) << 32) | ft->dwLowDateTime;
  if (t < 116444736000000000ULL) return FALSE;
  t -= 116444736000000000ULL;
  unixToSystemTime(time_t(t / 10000000), int((t / 10000) % 1000), false, st);
  return TRUE;
}

}  // extern "C"
