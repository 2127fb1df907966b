// The process records and the calling thread's process.
#include "core/internal.h"

namespace winsim {

namespace {

// The id GetCurrentProcessId has always answered for the one process.
constexpr DWORD kInitialProcessId = 4242;

std::shared_ptr<ProcessRecord> makeInitialProcess() {
  auto p = std::make_shared<ProcessRecord>();
  p->id = kInitialProcessId;
  p->imageName = u"winsimhost.exe";
  return p;
}

// Made on first use and kept past static destruction: a thread may ask for
// its process while the process ends.
std::shared_ptr<ProcessRecord> &initialProcess() {
  static auto *p = new std::shared_ptr<ProcessRecord>(makeInitialProcess());
  return *p;
}

thread_local std::shared_ptr<ProcessRecord> t_process;

// The initial process starts again with the machine: its image name, command
// line and session as a new test expects them.  Changed in place, so that
// threads still running in it see the new record too.
void resetInitialProcess() {
  std::lock_guard<std::mutex> g(processLock());
  *initialProcess() = *makeInitialProcess();
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

void enterProcess(std::shared_ptr<ProcessRecord> process) { t_process = std::move(process); }

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
