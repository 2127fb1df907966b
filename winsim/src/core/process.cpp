// The process records, the calling thread's process, the end of a process,
// process handles and the console session.
#include <chrono>
#include <map>

#include "core/internal.h"

namespace winsim {

namespace {

// Every process that has not ended, by id, the initial one not among them.
// Made on first use and kept past static destruction, as the other tables
// that detached threads touch.
std::mutex &liveLock() {
  static auto *lock = new std::mutex;
  return *lock;
}
std::map<DWORD, std::weak_ptr<ProcessRecord>> &liveTable() {
  static auto *live = new std::map<DWORD, std::weak_ptr<ProcessRecord>>;
  return *live;
}

void forgetProcess(DWORD id, const ProcessRecord *record) {
  std::lock_guard<std::mutex> g(liveLock());
  auto it = liveTable().find(id);
  if (it == liveTable().end()) return;
  auto p = it->second.lock();
  if (!p || p.get() == record) liveTable().erase(it);
}

// The console: the session the user sits at, and whether anyone is logged on.
std::atomic<DWORD> g_consoleSession{1};
std::atomic<bool> g_userLoggedOn{true};

}  // namespace

ProcessRecord::ProcessRecord() : handles(makeHandleTable()) {}
ProcessRecord::~ProcessRecord() { forgetProcess(id, nullptr); }

namespace {

// The id GetCurrentProcessId has always answered for the one process; the
// processes made later count on from it.
constexpr DWORD kInitialProcessId = 4242;
std::atomic<DWORD> g_nextProcessId{kInitialProcessId + 4};

void setInitialFields(ProcessRecord &p) {
  p.id = kInitialProcessId;
  p.imageName = u"winsimhost.exe";
  p.commandLine.clear();
  p.sessionId = 1;
  p.token = nullptr;
  p.user = u"CardUser";
  p.exitCode = STILL_ACTIVE;
}

std::shared_ptr<ProcessRecord> makeInitialProcess() {
  auto p = std::make_shared<ProcessRecord>();
  setInitialFields(*p);
  return p;
}

// Made on first use and kept past static destruction: a thread may ask for
// its process while the process ends.
std::shared_ptr<ProcessRecord> &initialProcess() {
  static auto *p = new std::shared_ptr<ProcessRecord>(makeInitialProcess());
  return *p;
}

thread_local std::shared_ptr<ProcessRecord> t_process;
// The table of t_process, or NULL for a thread of the initial process: the
// lookup of every GDI call starts here, so it is one read.
thread_local HandleTable *t_handles = nullptr;

// The initial process starts again with the machine: its image name, command
// line and session as a new test expects them.  Changed in place, so that
// threads still running in it see the new record too; its handles are those
// the parts of winsim leave open (each part closes its kinds in its reset).
void resetInitialProcess() {
  auto &p = initialProcess();
  std::lock_guard<std::mutex> g(processLock());
  setInitialFields(*p);
  g_consoleSession = 1;
  g_userLoggedOn = true;
}

const ResetStep kProcess(kResetMachine, resetInitialProcess);

}  // namespace

std::mutex &processLock() {
  static auto *lock = new std::mutex;
  return *lock;
}

std::shared_ptr<ProcessRecord> currentProcess() {
  if (t_process) return t_process;
  std::lock_guard<std::mutex> g(processLock());
  return initialProcess();
}

std::shared_ptr<ProcessRecord> newProcess(const std::u16string &imageName) {
  auto p = std::make_shared<ProcessRecord>();
  p->id = g_nextProcessId.fetch_add(4);
  p->imageName = imageName;
  std::lock_guard<std::mutex> g(liveLock());
  liveTable()[p->id] = p;
  return p;
}

void enterProcess(std::shared_ptr<ProcessRecord> process) {
  t_handles = process && process != initialProcess() ? process->handles.get() : nullptr;
  t_process = std::move(process);
  forgetHandleLookups();
}

void threadEnteredProcess(ProcessRecord &process) { process.threads.fetch_add(1); }

namespace {

std::vector<void (*)(const ProcessRecord &)> &processEndSteps() {
  static auto *steps = new std::vector<void (*)(const ProcessRecord &)>;
  return *steps;
}

std::vector<void (*)(DWORD)> &threadEndSteps() {
  static auto *steps = new std::vector<void (*)(DWORD)>;
  return *steps;
}

std::vector<void (*)(ProcessRecord &)> &processUnloadSteps() {
  static auto *steps = new std::vector<void (*)(ProcessRecord &)>;
  return *steps;
}

}  // namespace

void registerProcessEndStep(void (*step)(const ProcessRecord &process)) { processEndSteps().push_back(step); }
void registerProcessUnloadStep(void (*step)(ProcessRecord &process)) { processUnloadSteps().push_back(step); }
void registerThreadEndStep(void (*step)(DWORD threadId)) { threadEndSteps().push_back(step); }

void runThreadEndSteps(DWORD threadId) {
  for (auto *step : threadEndSteps()) step(threadId);
}

// The one place where a process ends: when its last thread leaves.  Its
// exit code is settled, the parts above the core let go of what it had
// (windows, registrations), its handles close (its named objects go with
// the last handle), its DLLs and image are let go, and then whoever waits
// on the process sees it signalled.
void threadLeftProcess(ProcessRecord &process, DWORD threadExitCode) {
  if (process.threads.fetch_sub(1) != 1 || &process == initialProcess().get()) return;
  {
    std::lock_guard<std::mutex> g(processLock());
    if (process.exitCode == STILL_ACTIVE) process.exitCode = threadExitCode;
  }
  process.exiting = true;
  for (auto *step : processEndSteps()) step(process);
  closeAllHandles(*process.handles);
  for (auto *step : processUnloadSteps()) step(process);
  forgetProcess(process.id, &process);
  {
    std::lock_guard<std::mutex> g(waitLock());
    process.ended = true;
  }
  notifyWaiters();
}

HandleTable &currentHandleTable() {
  if (t_handles) return *t_handles;
  static HandleTable *initial = initialProcess()->handles.get();
  return *initial;
}

std::vector<std::shared_ptr<ProcessRecord>> liveProcesses() {
  std::vector<std::shared_ptr<ProcessRecord>> out;
  std::lock_guard<std::mutex> g(liveLock());
  for (auto &kv : liveTable())
    if (auto p = kv.second.lock()) out.push_back(std::move(p));
  return out;
}

std::shared_ptr<ProcessRecord> findProcess(DWORD id) {
  {
    std::lock_guard<std::mutex> g(processLock());
    if (initialProcess()->id == id) return initialProcess();
  }
  std::lock_guard<std::mutex> g(liveLock());
  auto it = liveTable().find(id);
  return it == liveTable().end() ? nullptr : it->second.lock();
}

bool isInitialProcess(const ProcessRecord &process) { return &process == initialProcess().get(); }

namespace {

// A process handle holds the record, so that the exit code can be read
// after the process has ended.
struct ProcessObject : KObject {
  explicit ProcessObject(std::shared_ptr<ProcessRecord> p) : KObject(Kind::Process), process(std::move(p)) {}
  std::shared_ptr<ProcessRecord> process;
  bool isSignaled(DWORD) const override { return process->ended; }
  bool waitable() const override { return true; }
};

}  // namespace

HANDLE newProcessHandle(std::shared_ptr<ProcessRecord> process) {
  return registerObject(new ProcessObject(std::move(process)));
}

std::shared_ptr<ProcessRecord> processOfHandle(HANDLE h) {
  if (h == reinterpret_cast<HANDLE>(LONG_PTR(-1))) return currentProcess();
  KObject *o = lookup(h, Kind::Process);
  if (!o) return nullptr;
  auto p = static_cast<ProcessObject *>(o)->process;
  release(o);
  return p;
}

DWORD consoleSession() { return g_consoleSession.load(); }
bool userLoggedOn() { return g_userLoggedOn.load(); }

bool runsAsLocalSystem(const ProcessRecord &process) {
  std::lock_guard<std::mutex> g(processLock());
  return process.sessionId == 0 || equalsNoCase(process.imageName, u"spoolsv.exe");
}

// ------------------------------------------------------------ test control

void setConsoleSession(DWORD sessionId) { g_consoleSession = sessionId; }
void setUserLoggedOn(bool loggedOn) { g_userLoggedOn = loggedOn; }

std::vector<ProcessInfo> runningProcesses() {
  std::vector<ProcessInfo> out;
  for (auto &p : liveProcesses()) {
    std::lock_guard<std::mutex> g(processLock());
    if (p->exiting) continue;
    out.push_back(ProcessInfo{p->id, p->imageName, p->sessionId, p->commandLine, DWORD(p->threads.load()),
                              handleCount(*p->handles)});
  }
  return out;
}

namespace {

// Polls in short real steps (a process may start or end without anyone
// notifying the wait condition), up to a real-time bound.
template <typename Done>
bool waitRealMs(DWORD timeoutMs, Done done) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::unique_lock<std::mutex> lk(waitLock());
  for (;;) {
    lk.unlock();
    bool ok = done();
    lk.lock();
    if (ok) return true;
    auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    waitCondition().wait_for(
        lk, std::min<std::chrono::steady_clock::duration>(deadline - now, std::chrono::milliseconds(5)));
  }
}

std::shared_ptr<ProcessRecord> runningByName(const std::u16string &imageName) {
  for (auto &p : liveProcesses()) {
    std::lock_guard<std::mutex> g(processLock());
    if (!p->exiting && equalsNoCase(p->imageName, imageName)) return p;
  }
  return nullptr;
}

}  // namespace

DWORD waitForProcess(const std::u16string &imageName, DWORD timeoutMs) {
  DWORD id = 0;
  waitRealMs(timeoutMs, [&] {
    auto p = runningByName(imageName);
    if (p) id = p->id;
    return p != nullptr;
  });
  return id;
}

bool waitForProcessEnd(DWORD processId, DWORD timeoutMs) {
  if (processId == initialProcess()->id) return false;
  return waitRealMs(timeoutMs, [&] { return findProcess(processId) == nullptr; });
}

bool waitForProcessEnd(const std::u16string &imageName, DWORD timeoutMs) {
  return waitRealMs(timeoutMs, [&] {
    for (auto &p : liveProcesses()) {
      std::lock_guard<std::mutex> g(processLock());
      if (equalsNoCase(p->imageName, imageName)) return false;
    }
    return true;
  });
}

void setProcessImageName(const std::u16string &name) {
  auto p = currentProcess();
  std::lock_guard<std::mutex> g(processLock());
  p->imageName = name;
}

void setProcessCommandLine(const std::u16string &commandLine) {
  auto p = currentProcess();
  std::lock_guard<std::mutex> g(processLock());
  p->commandLine = commandLine;
}

void setProcessSessionId(DWORD sessionId) {
  auto p = currentProcess();
  std::lock_guard<std::mutex> g(processLock());
  p->sessionId = sessionId;
}

DWORD processSessionId() {
  auto p = currentProcess();
  std::lock_guard<std::mutex> g(processLock());
  return p->sessionId;
}

}  // namespace winsim
