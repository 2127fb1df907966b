// The process records and the calling thread's process.
#include "core/internal.h"

namespace winsim {

ProcessRecord::ProcessRecord() : handles(makeHandleTable()) {}
ProcessRecord::~ProcessRecord() = default;

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

}  // namespace

void registerProcessEndStep(void (*step)(const ProcessRecord &process)) { processEndSteps().push_back(step); }

void threadLeftProcess(ProcessRecord &process) {
  if (process.threads.fetch_sub(1) != 1 || &process == initialProcess().get()) return;
  for (auto *step : processEndSteps()) step(process);
  closeAllHandles(*process.handles);
}

HandleTable &currentHandleTable() {
  if (t_handles) return *t_handles;
  static HandleTable *initial = initialProcess()->handles.get();
  return *initial;
}

// ------------------------------------------------------------ test control

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
