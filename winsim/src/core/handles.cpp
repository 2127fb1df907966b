// The handle tables of the processes, the table of named objects, the one
// wait lock, and each thread's last error.
//
// A handle is a number, not the object's address: each handle holds one
// reference to its object, so that closing one of two handles of an object
// leaves the other working, and a closed handle is refused.  Values are
// multiples of 4, as Windows hands them out, and are never given out again
// (a 64-bit counter shared by all processes), so that a stale handle cannot
// reach a newer object, nor one process's handle an object of another.
#include <algorithm>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "core/internal.h"

namespace winsim {

class HandleTable {
 public:
  HandleTable();
  ~HandleTable();
  HandleTable(const HandleTable &) = delete;
  HandleTable &operator=(const HandleTable &) = delete;

  HANDLE add(KObject *obj);
  // The object of a handle whose kind is in `kinds`; `ref` adds a reference.
  KObject *find(uintptr_t value, KindMask kinds, bool ref);
  // Takes a handle of a kind in `kinds` out of the table; its object, whose
  // reference the caller now holds, or NULL.
  KObject *take(uintptr_t value, KindMask kinds);
  void takeAllOfKind(Kind kind, std::vector<KObject *> &out);
  void closeAll();
  size_t count() {
    std::lock_guard<std::mutex> g(lock_);
    return entries_.size();
  }

 private:
  std::mutex lock_;
  std::unordered_map<uintptr_t, KObject *> entries_;
};

namespace {

thread_local DWORD t_lastError = 0;

// Threads are detached, as Windows threads are: one may still be leaving
// (or be blocked in a wait) when the process runs its static destructors.
// The wait condition and the tables such a thread touches are made on first
// use and never destroyed.
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
// Every table alive, so that a reset reaches the handles of every process.
std::mutex &tablesLock() {
  static auto *lock = new std::mutex;
  return *lock;
}
std::vector<HandleTable *> &allTables() {
  static auto *tables = new std::vector<HandleTable *>;
  return *tables;
}
// Handles every process sees (the stock GDI objects).
HandleTable &machineWideTable() {
  static auto *table = new HandleTable;
  return *table;
}
// The first value well above the small numbers a caller might make up.
std::atomic<uintptr_t> g_nextHandle{0x1000};

// Counts every handle taken out of any table.  The drawing calls look up the
// same DC and surface again and again; each thread keeps its last few
// lookups, good while no handle has been closed since (a handle holds its
// object, so the object is alive while its handle is).
std::atomic<uint64_t> g_closings{0};

// A thread that enters another process counts as a closing too, so an entry
// is always one of the thread's own table.
struct PeekEntry {
  uintptr_t value = 0;
  KObject *obj = nullptr;
  uint64_t closings = 0;
};
struct PeekCache {
  PeekEntry entries[2];
  unsigned next = 0;
};
thread_local PeekCache t_peeks;

constexpr KindMask kKernelKinds = [] {
  KindMask m = 0;
  for (unsigned k = 0; k < unsigned(Kind::Other); ++k)
    if (isKernelKind(Kind(k))) m |= kindBit(Kind(k));
  return m;
}();

// The kinds a close of `kind` takes: Other is CloseHandle's, the kernel's.
constexpr KindMask closableKinds(Kind kind) { return kind == Kind::Other ? kKernelKinds : kindBit(kind); }

}  // namespace

HandleTable::HandleTable() {
  std::lock_guard<std::mutex> g(tablesLock());
  allTables().push_back(this);
}

HandleTable::~HandleTable() {
  {
    std::lock_guard<std::mutex> g(tablesLock());
    auto &all = allTables();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
  }
  closeAll();
}

void HandleTable::closeAll() {
  std::vector<KObject *> open;
  {
    std::lock_guard<std::mutex> g(lock_);
    for (auto &kv : entries_) open.push_back(kv.second);
    entries_.clear();
    g_closings.fetch_add(1);
  }
  for (KObject *o : open) release(o);
}

HANDLE HandleTable::add(KObject *obj) {
  uintptr_t value = g_nextHandle.fetch_add(4) + 4;
  std::lock_guard<std::mutex> g(lock_);
  entries_[value] = obj;
  return reinterpret_cast<HANDLE>(value);
}

KObject *HandleTable::find(uintptr_t value, KindMask kinds, bool ref) {
  std::lock_guard<std::mutex> g(lock_);
  auto it = entries_.find(value);
  if (it == entries_.end() || !(kindBit(it->second->kind) & kinds)) return nullptr;
  if (ref) it->second->refs.fetch_add(1);
  return it->second;
}

KObject *HandleTable::take(uintptr_t value, KindMask kinds) {
  std::lock_guard<std::mutex> g(lock_);
  auto it = entries_.find(value);
  if (it == entries_.end() || !(kindBit(it->second->kind) & kinds)) return nullptr;
  KObject *o = it->second;
  entries_.erase(it);
  g_closings.fetch_add(1);
  return o;
}

void HandleTable::takeAllOfKind(Kind kind, std::vector<KObject *> &out) {
  std::lock_guard<std::mutex> g(lock_);
  for (auto it = entries_.begin(); it != entries_.end();) {
    if (it->second->kind == kind) {
      out.push_back(it->second);
      it = entries_.erase(it);
      g_closings.fetch_add(1);
    } else {
      ++it;
    }
  }
}

std::unique_ptr<HandleTable, void (*)(HandleTable *)> makeHandleTable() {
  return {new HandleTable, [](HandleTable *t) { delete t; }};
}

void closeAllHandles(HandleTable &table) { table.closeAll(); }
size_t handleCount(HandleTable &table) { return table.count(); }

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
  {
    std::lock_guard<std::mutex> g(handleLock());
    liveObjects().insert(obj);
  }
  return currentHandleTable().add(obj);
}

HANDLE registerMachineWideObject(KObject *obj) {
  {
    std::lock_guard<std::mutex> g(handleLock());
    liveObjects().insert(obj);
  }
  return machineWideTable().add(obj);
}

bool removeMachineWideHandle(HANDLE h, KindMask kinds) {
  KObject *o = machineWideTable().take(reinterpret_cast<uintptr_t>(h), kinds);
  if (!o) return false;
  release(o);
  return true;
}

HANDLE addHandle(KObject *obj) { return currentHandleTable().add(obj); }

size_t openHandleCount() { return currentHandleTable().count(); }

namespace {

KObject *findIn(HANDLE h, KindMask kinds, bool ref) {
  auto value = reinterpret_cast<uintptr_t>(h);
  if (KObject *o = currentHandleTable().find(value, kinds, ref)) return o;
  return machineWideTable().find(value, kinds, ref);
}

}  // namespace

KObject *lookupAny(HANDLE h) {
  KObject *o = findIn(h, kKernelKinds, true);
  if (!o) setLastError(ERROR_INVALID_HANDLE);
  return o;
}

KObject *lookup(HANDLE h, Kind kind) {
  KObject *o = findIn(h, kindBit(kind), true);
  if (!o) setLastError(ERROR_INVALID_HANDLE);
  return o;
}

KObject *peekHandle(HANDLE h, KindMask kinds) {
  if (!h) return nullptr;
  auto value = reinterpret_cast<uintptr_t>(h);
  uint64_t closings = g_closings.load();
  PeekCache &cache = t_peeks;
  for (const PeekEntry &e : cache.entries)
    if (e.value == value && e.closings == closings) return (kindBit(e.obj->kind) & kinds) ? e.obj : nullptr;
  KObject *o = findIn(h, kinds, false);
  if (o) cache.entries[cache.next++ % 2] = PeekEntry{value, o, closings};
  return o;
}

void forgetHandleLookups() { g_closings.fetch_add(1); }

bool closeHandle(HANDLE h, Kind kind) {
  // Handles of the whole machine (stock objects) are never closed by a call.
  KObject *o = currentHandleTable().take(reinterpret_cast<uintptr_t>(h), closableKinds(kind));
  if (!o) {
    setLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  release(o);  // the handle's reference
  return true;
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

std::u16string qualifiedObjectName(const std::u16string &name, DWORD sessionId) {
  auto hasPrefix = [&name](const std::u16string &prefix) {
    return name.size() >= prefix.size() && equalsNoCase(name.substr(0, prefix.size()), prefix);
  };
  std::u16string rest = name;
  bool global = sessionId == 0;
  if (hasPrefix(u"Global\\")) {
    rest = name.substr(7);
    global = true;
  } else if (hasPrefix(u"Local\\")) {
    rest = name.substr(6);
  }
  if (global) return u"\\BaseNamedObjects\\" + rest;
  std::string n = std::to_string(sessionId);
  return u"\\Sessions\\" + std::u16string(n.begin(), n.end()) + u"\\BaseNamedObjects\\" + rest;
}

void closeHandlesOfKind(Kind kind) {
  std::vector<KObject *> closed;
  {
    std::lock_guard<std::mutex> g(tablesLock());
    for (HandleTable *t : allTables()) t->takeAllOfKind(kind, closed);
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
