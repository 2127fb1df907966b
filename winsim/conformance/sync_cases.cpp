// Events, mutexes, semaphores, critical sections, threads and the waits on
// them.  Time-outs are short: the cases stay fast on both platforms.
#include "check.h"
#include "support.h"

namespace {

struct Shared {
  HANDLE object;
  DWORD result;
  BOOL released;
  DWORD error;
  HANDLE go;
};

DWORD WINAPI tryWaitAndRelease(LPVOID param) {
  auto *s = static_cast<Shared *>(param);
  s->result = WaitForSingleObject(s->object, 0);
  SetLastError(0);
  s->released = ReleaseMutex(s->object);
  s->error = GetLastError();
  return 0;
}

DWORD WINAPI takeAndLeave(LPVOID param) {
  auto *s = static_cast<Shared *>(param);
  s->result = WaitForSingleObject(s->object, 5000);
  return 0;  // ends still owning the mutex
}

DWORD WINAPI waitForGo(LPVOID param) {
  auto *s = static_cast<Shared *>(param);
  WaitForSingleObject(s->go, 10000);
  return 77;
}

struct CsShared {
  CRITICAL_SECTION *cs;
  BOOL entered;
};

DWORD WINAPI tryEnter(LPVOID param) {
  auto *s = static_cast<CsShared *>(param);
  s->entered = TryEnterCriticalSection(s->cs);
  if (s->entered) LeaveCriticalSection(s->cs);
  return 0;
}

void runAndJoin(LPTHREAD_START_ROUTINE fn, void *param) {
  HANDLE t = CreateThread(nullptr, 0, fn, param, 0, nullptr);
  if (!CHECK(t != nullptr)) return;
  CHECK_EQ(WaitForSingleObject(t, 10000), WAIT_OBJECT_0);
  CloseHandle(t);
}

}  // namespace

CONF_CASE(Sync, AutoResetEventReleasesOneWait) {
  HANDLE e = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  REQUIRE(e != nullptr);
  CHECK_EQ(WaitForSingleObject(e, 0), DWORD(WAIT_TIMEOUT));
  CHECK(SetEvent(e));
  CHECK_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
  CHECK_EQ(WaitForSingleObject(e, 0), DWORD(WAIT_TIMEOUT));
  // Setting twice before a wait still releases one wait.
  CHECK(SetEvent(e));
  CHECK(SetEvent(e));
  CHECK_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
  CHECK_EQ(WaitForSingleObject(e, 0), DWORD(WAIT_TIMEOUT));
  CloseHandle(e);
}

CONF_CASE(Sync, ManualResetEventStaysSet) {
  HANDLE e = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  REQUIRE(e != nullptr);
  CHECK_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
  CHECK_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
  CHECK(ResetEvent(e));
  CHECK_EQ(WaitForSingleObject(e, 0), DWORD(WAIT_TIMEOUT));
  CloseHandle(e);
}

CONF_CASE(Sync, NamedObjects) {
  LPCWSTR name = TEXT("WinsimConformance.Event");
  HANDLE a = CreateEventW(nullptr, TRUE, FALSE, name);
  REQUIRE(a != nullptr);
  // The second create opens the same object and says so.
  SetLastError(0);
  HANDLE b = CreateEventW(nullptr, TRUE, FALSE, name);
  REQUIRE(b != nullptr);
  CHECK_ERROR(ERROR_ALREADY_EXISTS);
  CHECK(SetEvent(a));
  CHECK_EQ(WaitForSingleObject(b, 0), WAIT_OBJECT_0);
  HANDLE c = OpenEventW(EVENT_ALL_ACCESS, FALSE, name);
  CHECK(c != nullptr);
  if (c) {
    CHECK(ResetEvent(c));
    CHECK_EQ(WaitForSingleObject(a, 0), DWORD(WAIT_TIMEOUT));
    CloseHandle(c);
  }
  // Names are compared with their case.
  SetLastError(0);
  CHECK(OpenEventW(EVENT_ALL_ACCESS, FALSE, TEXT("winsimconformance.event")) == nullptr);
  CHECK_ERROR(ERROR_FILE_NOT_FOUND);
  // A name taken by an object of another type.
  SetLastError(0);
  CHECK(CreateMutexW(nullptr, FALSE, name) == nullptr);
  CHECK_ERROR(ERROR_INVALID_HANDLE);
  CloseHandle(a);
  CloseHandle(b);
  // Gone with its last handle.
  SetLastError(0);
  CHECK(OpenEventW(EVENT_ALL_ACCESS, FALSE, name) == nullptr);
  CHECK_ERROR(ERROR_FILE_NOT_FOUND);
}

CONF_CASE(Sync, MutexOwnership) {
  HANDLE m = CreateMutexW(nullptr, TRUE, nullptr);
  REQUIRE(m != nullptr);
  // The owner may wait again; each wait needs its release.
  CHECK_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
  Shared s{m, 0, TRUE, 0, nullptr};
  runAndJoin(tryWaitAndRelease, &s);
  CHECK_EQ(s.result, DWORD(WAIT_TIMEOUT));
  CHECK(!s.released);
  CHECK_EQ(s.error, DWORD(ERROR_NOT_OWNER));
  CHECK(ReleaseMutex(m));
  CHECK(ReleaseMutex(m));
  SetLastError(0);
  CHECK(!ReleaseMutex(m));
  CHECK_ERROR(ERROR_NOT_OWNER);
  // Free now: another thread takes it.
  s = Shared{m, 0, FALSE, 0, nullptr};
  runAndJoin(tryWaitAndRelease, &s);
  CHECK_EQ(s.result, WAIT_OBJECT_0);
  CHECK(s.released);
  CloseHandle(m);
}

CONF_CASE(Sync, AbandonedMutex) {
  HANDLE m = CreateMutexW(nullptr, FALSE, nullptr);
  REQUIRE(m != nullptr);
  Shared s{m, 99, FALSE, 0, nullptr};
  runAndJoin(takeAndLeave, &s);
  CHECK_EQ(s.result, WAIT_OBJECT_0);
  // Its owner ended: the next wait gets it, abandoned.
  CHECK_EQ(WaitForSingleObject(m, 1000), DWORD(WAIT_ABANDONED));
  CHECK(ReleaseMutex(m));
  CHECK_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
  CHECK(ReleaseMutex(m));
  CloseHandle(m);
}

CONF_CASE(Sync, SemaphoreCounts) {
  HANDLE sem = CreateSemaphoreW(nullptr, 2, 3, nullptr);
  REQUIRE(sem != nullptr);
  CHECK_EQ(WaitForSingleObject(sem, 0), WAIT_OBJECT_0);
  CHECK_EQ(WaitForSingleObject(sem, 0), WAIT_OBJECT_0);
  CHECK_EQ(WaitForSingleObject(sem, 0), DWORD(WAIT_TIMEOUT));
  LONG previous = -1;
  CHECK(ReleaseSemaphore(sem, 1, &previous));
  CHECK_EQ(previous, 0);
  // Beyond the maximum: refused, the count unchanged.
  SetLastError(0);
  CHECK(!ReleaseSemaphore(sem, 3, &previous));
  CHECK_ERROR(ERROR_TOO_MANY_POSTS);
  CHECK(ReleaseSemaphore(sem, 2, &previous));
  CHECK_EQ(previous, 1);
  for (int i = 0; i < 3; ++i) CHECK_EQ(WaitForSingleObject(sem, 0), WAIT_OBJECT_0);
  CHECK_EQ(WaitForSingleObject(sem, 0), DWORD(WAIT_TIMEOUT));
  CloseHandle(sem);
  // An initial count above the maximum, a maximum of zero.
  SetLastError(0);
  CHECK(CreateSemaphoreW(nullptr, 4, 3, nullptr) == nullptr);
  CHECK_ERROR(ERROR_INVALID_PARAMETER);
  SetLastError(0);
  CHECK(CreateSemaphoreW(nullptr, 0, 0, nullptr) == nullptr);
  CHECK_ERROR(ERROR_INVALID_PARAMETER);
}

CONF_CASE(Sync, WaitForMultipleObjects) {
  HANDLE h[3] = {CreateEventW(nullptr, FALSE, FALSE, nullptr), CreateEventW(nullptr, FALSE, FALSE, nullptr),
                 CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  REQUIRE(h[0] && h[1] && h[2]);
  CHECK_EQ(WaitForMultipleObjects(3, h, FALSE, 0), DWORD(WAIT_TIMEOUT));
  // Wait any: the lowest index of the signalled ones, and only it is taken.
  SetEvent(h[2]);
  SetEvent(h[1]);
  CHECK_EQ(WaitForMultipleObjects(3, h, FALSE, 0), WAIT_OBJECT_0 + 1);
  CHECK_EQ(WaitForMultipleObjects(3, h, FALSE, 0), WAIT_OBJECT_0 + 2);
  // Wait all: nothing is taken until every one is signalled.
  SetEvent(h[1]);
  CHECK_EQ(WaitForMultipleObjects(3, h, TRUE, 0), DWORD(WAIT_TIMEOUT));
  CHECK_EQ(WaitForSingleObject(h[1], 0), WAIT_OBJECT_0);
  SetEvent(h[0]);
  SetEvent(h[1]);
  CHECK_EQ(WaitForMultipleObjects(3, h, TRUE, 0), WAIT_OBJECT_0);
  CHECK_EQ(WaitForSingleObject(h[0], 0), DWORD(WAIT_TIMEOUT));
  CHECK_EQ(WaitForSingleObject(h[1], 0), DWORD(WAIT_TIMEOUT));
  CHECK_EQ(WaitForSingleObject(h[2], 0), WAIT_OBJECT_0);
  // No handles, too many handles.
  SetLastError(0);
  CHECK_EQ(WaitForMultipleObjects(0, h, FALSE, 0), WAIT_FAILED);
  CHECK_ERROR(ERROR_INVALID_PARAMETER);
  HANDLE many[MAXIMUM_WAIT_OBJECTS + 1];
  for (auto &x : many) x = h[2];
  SetLastError(0);
  CHECK_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS + 1, many, FALSE, 0), WAIT_FAILED);
  CHECK_ERROR(ERROR_INVALID_PARAMETER);
  for (HANDLE x : h) CloseHandle(x);
}

CONF_CASE(Sync, TimeOutTakesItsTime) {
  HANDLE e = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  REQUIRE(e != nullptr);
  DWORD start = GetTickCount();
  CHECK_EQ(WaitForSingleObject(e, 100), DWORD(WAIT_TIMEOUT));
  DWORD took = GetTickCount() - start;
  // The clock ticks in steps of up to about 16 ms.
  CHECK(took >= 80);
  CHECK(took < 5000);
  CloseHandle(e);
}

CONF_CASE(Sync, WaitOnABadHandle) {
  SetLastError(0);
  CHECK_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
  CHECK_ERROR(ERROR_INVALID_HANDLE);
}

CONF_CASE(Sync, ThreadsAreWaitable) {
  Shared s{nullptr, 0, FALSE, 0, CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  REQUIRE(s.go != nullptr);
  DWORD id = 0;
  HANDLE t = CreateThread(nullptr, 0, waitForGo, &s, CREATE_SUSPENDED, &id);
  REQUIRE(t != nullptr);
  CHECK(id != 0);
  CHECK_EQ(GetThreadId(t), id);
  DWORD code = 0;
  CHECK(GetExitCodeThread(t, &code));
  CHECK_EQ(code, DWORD(STILL_ACTIVE));
  // Resuming returns the previous suspend count.
  CHECK_EQ(ResumeThread(t), 1u);
  CHECK_EQ(WaitForSingleObject(t, 20), DWORD(WAIT_TIMEOUT));
  SetEvent(s.go);
  CHECK_EQ(WaitForSingleObject(t, 10000), WAIT_OBJECT_0);
  CHECK(GetExitCodeThread(t, &code));
  CHECK_EQ(code, 77u);
  // An ended thread stays signalled.
  CHECK_EQ(WaitForSingleObject(t, 0), WAIT_OBJECT_0);
  CloseHandle(t);
  CloseHandle(s.go);
}

CONF_CASE(Sync, DuplicatedHandleIsTheSameObject) {
  HANDLE e = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  REQUIRE(e != nullptr);
  HANDLE d = nullptr;
  CHECK(DuplicateHandle(GetCurrentProcess(), e, GetCurrentProcess(), &d, 0, FALSE, DUPLICATE_SAME_ACCESS));
  REQUIRE(d != nullptr);
  CHECK(SetEvent(d));
  CHECK(CloseHandle(d));
  // The object lives on through the other handle.
  CHECK_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
  CloseHandle(e);
}

CONF_CASE(Sync, CriticalSection) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  EnterCriticalSection(&cs);
  // Recursive for the owner; another thread cannot enter.
  CHECK(TryEnterCriticalSection(&cs));
  CsShared s{&cs, TRUE};
  runAndJoin(tryEnter, &s);
  CHECK(!s.entered);
  LeaveCriticalSection(&cs);
  runAndJoin(tryEnter, &s);
  CHECK(!s.entered);
  LeaveCriticalSection(&cs);
  runAndJoin(tryEnter, &s);
  CHECK(s.entered);
  DeleteCriticalSection(&cs);
}

// The current process runs in a session, which every thread of it reports.
CONF_CASE(Process, SessionOfTheCurrentProcess) {
  DWORD session = 0xFFFFFFFF;
  REQUIRE(ProcessIdToSessionId(GetCurrentProcessId(), &session));
  CHECK(session != 0xFFFFFFFF);
}
