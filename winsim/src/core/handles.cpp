// The handle table of the kernel objects, the table of named objects, the
// one wait lock, and each thread's last error.
//
// A handle is a number, not the object's address: each handle holds one
// reference to its object, so that closing one of two handles of an object
// leaves the other working, and a closed handle is refused.  Values are
// multiples of 4, as Windows hands them out, and are never given out again
// (a 64-bit counter), so that a stale handle cannot reach a newer object.
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "core/internal.h"

namespace winsim {

namespace {

thread_local DWORD t_lastError = 0;

// Threads are detached, as Windows threads are: one may still be leaving
// (or be blocked in a wait) when the process runs its static destructors.
// The wait condition and the handle table such a thread touches are made on
// first use and never destroyed.
std::mutex &handleLock() {
  static auto *lock = new std::mutex;
  return *lock;
}
std::unordered_set<KObject *> &liveObjects() {
  static auto *live = new std::unordered_set<KObject *>;
  return *live;
}
std::map<std::u16string, KObject *> &namedObjects() {
  static auto *named = new std::map<std::u16string, KObject *>;
  return *named;
}
std::unordered_map<uintptr_t, KObject *> &handleTable() {
  static auto *table = new std::unordered_map<uintptr_t, KObject *>;
  return *table;
}
// The first value well above the small numbers a caller might make up.
uintptr_t g_nextHandle = 0x1000;

HANDLE addHandleLocked(KObject *obj) {
  g_nextHandle += 4;
  handleTable()[g_nextHandle] = obj;
  return reinterpret_cast<HANDLE>(g_nextHandle);
}

}  // namespace

DWORD lastError() { return t_lastError; }
void setLastError(DWORD code) { t_lastError = code; }

std::mutex &waitLock() {
  static auto *lock = new std::mutex;
  return *lock;
}
std::condition_variable &waitCondition() {
  static auto *cv = new std::condition_variable;
  return *cv;
}
void notifyWaiters() { waitCondition().notify_all(); }

HANDLE registerObject(KObject *obj) {
  std::lock_guard<std::mutex> g(handleLock());
  liveObjects().insert(obj);
  return addHandleLocked(obj);
}

HANDLE addHandle(KObject *obj) {
  std::lock_guard<std::mutex> g(handleLock());
  return addHandleLocked(obj);
}

KObject *lookupAny(HANDLE h) {
  std::lock_guard<std::mutex> g(handleLock());
  auto it = handleTable().find(reinterpret_cast<uintptr_t>(h));
  if (it == handleTable().end()) {
    setLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  it->second->refs.fetch_add(1);
  return it->second;
}

bool closeHandle(HANDLE h, Kind kind) {
  KObject *o = nullptr;
  {
    std::lock_guard<std::mutex> g(handleLock());
    auto it = handleTable().find(reinterpret_cast<uintptr_t>(h));
    if (it == handleTable().end() || (kind != Kind::Other && it->second->kind != kind) ||
        (kind == Kind::Other && it->second->kind == Kind::Heap)) {
      setLastError(ERROR_INVALID_HANDLE);
      return false;
    }
    o = it->second;
    handleTable().erase(it);
  }
  release(o);  // the handle's reference
  return true;
}

KObject *lookup(HANDLE h, Kind kind) {
  KObject *o = lookupAny(h);
  if (o && o->kind != kind) {
    release(o);
    setLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return o;
}

void release(KObject *obj) {
  if (!obj) return;
  {
    std::lock_guard<std::mutex> g(handleLock());
    if (obj->refs.fetch_sub(1) != 1) return;
    liveObjects().erase(obj);
    if (!obj->name.empty()) {
      auto it = namedObjects().find(obj->name);
      if (it != namedObjects().end() && it->second == obj) namedObjects().erase(it);
    }
  }
  delete obj;
}

// Object names are compared with their case, as Windows does.
KObject *findNamed(const std::u16string &name) {
  std::lock_guard<std::mutex> g(handleLock());
  auto it = namedObjects().find(name);
  if (it == namedObjects().end()) return nullptr;
  it->second->refs.fetch_add(1);
  return it->second;
}

void addNamed(KObject *obj, const std::u16string &name) {
  std::lock_guard<std::mutex> g(handleLock());
  obj->name = name;
  namedObjects()[obj->name] = obj;
}

void closeHandlesOfKind(Kind kind) {
  std::vector<KObject *> closed;
  {
    std::lock_guard<std::mutex> g(handleLock());
    for (auto it = handleTable().begin(); it != handleTable().end();) {
      if (it->second->kind == kind) {
        closed.push_back(it->second);
        it = handleTable().erase(it);
      } else {
        ++it;
      }
    }
  }
  for (KObject *o : closed) release(o);
}

void resetObjects() {
  // Named objects of a previous test must not leak into the next one; the
  // objects themselves stay alive for handles still held.
  std::lock_guard<std::mutex> g(handleLock());
  for (auto &kv : namedObjects()) kv.second->name.clear();
  namedObjects().clear();
}

namespace {
const ResetStep kObjects(kResetKernel + 20, resetObjects);
}  // namespace

void forEachObject(const std::function<void(KObject *)> &visit) {
  std::lock_guard<std::mutex> g(handleLock());
  for (KObject *o : liveObjects()) visit(o);
}

}  // namespace winsim
