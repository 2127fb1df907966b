// Processes of the simulated machine.  A program is an ELF shared object on
// the virtual drive that exports wWinMain.  CreateProcessW copies its host
// file to a host file of the process's own and loads that, so that the
// process gets a fresh copy of the program's globals (the copy's dependency
// on winsim resolves to the winsim already loaded: one machine), makes a
// process record and runs wWinMain on the process's first thread.  The
// process ends when its last thread leaves (core's threadLeftProcess), after
// which its DLLs and its image are let go here.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "core/internal.h"
#include "kernel32/process.h"
#include "kernel32/threads.h"

namespace winsim {

namespace {

// How long (real time) the threads of an ending process get to reach their
// next winsim call.  A thread busy in a loop of its own may take longer: the
// process then ends when it leaves, and its image stays loaded till then.
constexpr DWORD kEndWaitMs = 5000;
constexpr int kShowDefault = 10;  // SW_SHOWDEFAULT

std::u16string baseNameOf(const std::u16string &path) {
  size_t s = path.find_last_of(u"\\/");
  return s == std::u16string::npos ? path : path.substr(s + 1);
}

std::u16string folderOf(const std::u16string &path) {
  size_t s = path.find_last_of(u"\\/");
  return s == std::u16string::npos ? std::u16string() : path.substr(0, s);
}

bool hasFolder(const std::u16string &name) { return name.find_first_of(u"\\/:") != std::u16string::npos; }

DWORD attributesOf(const std::u16string &windowsPath) { return GetFileAttributesW(windowsPath.c_str()); }

bool isFile(const std::u16string &windowsPath) {
  DWORD a = attributesOf(windowsPath);
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool isFolder(const std::u16string &windowsPath) {
  DWORD a = attributesOf(windowsPath);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// A path relative to the current directory made full, its doubled
// separators made single, as the loader names the module.
std::u16string fullPath(const std::u16string &name) {
  std::u16string full;
  if (name.size() >= 2 && name[1] == u':') {
    full = name;
  } else if (!name.empty() && (name[0] == u'\\' || name[0] == u'/')) {
    full = u"C:" + name;
  } else {
    std::u16string dir = currentDirectory();
    if (!dir.empty() && dir.back() != u'\\') dir += u'\\';
    full = dir + name;
  }
  std::u16string out;
  for (char16_t c : full) {
    if (c == u'/') c = u'\\';
    if (c == u'\\' && !out.empty() && out.back() == u'\\') continue;
    out.push_back(c);
  }
  return out;
}

// ".exe" goes on a name without an extension; a name ending in a period
// keeps its bare name.
std::u16string withDefaultExtension(const std::u16string &name) {
  std::u16string base = baseNameOf(name);
  if (base.empty()) return name;
  if (base.back() == u'.') return name.substr(0, name.size() - 1);
  if (base.find(u'.') == std::u16string::npos) return name + u".exe";
  return name;
}

// The folder of the calling process's program (the initial process's is the
// system folder).
std::u16string callerProgramFolder() {
  auto p = currentProcess();
  std::lock_guard<std::mutex> g(processLock());
  return p->imagePath.empty() ? std::u16string(u"C:\\Windows\\system32") : folderOf(p->imagePath);
}

// A program name from the command line: with a folder it is taken as it
// stands (relative to the current directory); without one the folders are
// searched in the documented order: the caller's program folder, the
// current directory, the system folder, the 16-bit system folder and the
// Windows folder.
bool findProgram(const std::u16string &given, std::u16string &found) {
  std::u16string name = withDefaultExtension(given);
  if (hasFolder(name)) {
    found = fullPath(name);
    return attributesOf(found) != INVALID_FILE_ATTRIBUTES;
  }
  std::u16string cur = currentDirectory();
  if (!cur.empty() && cur.back() == u'\\') cur.pop_back();
  for (const std::u16string &dir : {callerProgramFolder(), cur, std::u16string(u"C:\\Windows\\system32"),
                                    std::u16string(u"C:\\Windows\\system"), std::u16string(u"C:\\Windows")}) {
    std::u16string candidate = dir + u"\\" + name;
    if (isFile(candidate)) {
      found = candidate;
      return true;
    }
  }
  return false;
}

// The program a command line names: a quoted first token, or an unquoted
// one that may contain spaces, tried at each space in turn ("C:\Program
// Files\x y\app" tries "C:\Program", then "C:\Program Files\x", ...).
bool programOfCommandLine(const std::u16string &line, std::u16string &found) {
  size_t i = 0;
  while (i < line.size() && (line[i] == u' ' || line[i] == u'\t')) ++i;
  if (i < line.size() && line[i] == u'"') {
    size_t end = line.find(u'"', i + 1);
    std::u16string name = line.substr(i + 1, end == std::u16string::npos ? std::u16string::npos : end - i - 1);
    return !name.empty() && findProgram(name, found);
  }
  for (size_t pos = i; pos <= line.size(); ++pos) {
    if (pos < line.size() && line[pos] != u' ' && line[pos] != u'\t') continue;
    if (pos > i && findProgram(line.substr(i, pos - i), found) && isFile(found)) return true;
  }
  return false;
}

// What wWinMain receives: the command line after the program's name and the
// blanks that follow it, as the C runtime hands it on.
std::u16string argumentsOf(const std::u16string &line) {
  size_t i = 0;
  bool quoted = false;
  while (i < line.size() && (quoted || (line[i] != u' ' && line[i] != u'\t'))) {
    if (line[i] == u'"') quoted = !quoted;
    ++i;
  }
  while (i < line.size() && (line[i] == u' ' || line[i] == u'\t')) ++i;
  return line.substr(i);
}

// The environment a new process gets: the block it was given (UTF-16 or
// in the ANSI code page), else the caller's own.
std::vector<char16_t> environmentFor(LPVOID block, bool unicode) {
  std::vector<char16_t> env;
  if (!block) {
    auto p = currentProcess();
    std::lock_guard<std::mutex> g(processLock());
    return p->environment;
  }
  if (unicode) {
    auto *w = static_cast<const char16_t *>(block);
    size_t n = 0;
    while (w[n] || w[n + 1]) ++n;
    env.assign(w, w + n + 2);
    return env;
  }
  auto *a = static_cast<const char *>(block);
  size_t n = 0;
  while (a[n] || a[n + 1]) ++n;
  int len = MultiByteToWideChar(CP_ACP, 0, a, int(n + 2), nullptr, 0);
  env.resize(size_t(len > 0 ? len : 0));
  if (len > 0) MultiByteToWideChar(CP_ACP, 0, a, int(n + 2), reinterpret_cast<LPWSTR>(env.data()), len);
  return env;
}

// The copies' folder is made with the first copy and goes with the last:
// one lock for both, so that a copy never lands in a folder being removed.
// Made on first use and never destroyed, as the tables that detached
// threads touch (a process may end while the test program exits).
std::mutex &copiesLock() {
  static auto *lock = new std::mutex;
  return *lock;
}

// A host file of the process's own for the program's image.
std::string imageCopy(const std::string &host, DWORD processId) {
  static std::atomic<unsigned> counter{0};
  std::lock_guard<std::mutex> g(copiesLock());
  std::error_code ec;
  auto dir = std::filesystem::temp_directory_path(ec) / ("winsim-images-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir, ec);
  auto file = dir / (std::to_string(processId) + "-" + std::to_string(counter.fetch_add(1)) + "-" +
                     std::filesystem::path(host).filename().string());
  std::filesystem::copy_file(host, file, std::filesystem::copy_options::overwrite_existing, ec);
  return ec ? std::string() : file.string();
}

void removeFile(const std::string &host) {
  if (host.empty()) return;
  std::lock_guard<std::mutex> g(copiesLock());
  std::error_code ec;
  std::filesystem::remove(host, ec);
  // The folder of the copies goes with its last one.
  std::filesystem::remove(std::filesystem::path(host).parent_path(), ec);
}

struct Launch {
  void *entry = nullptr;
  HMODULE module = nullptr;
  std::u16string arguments;
  int show = kShowDefault;
};

// What each process's first thread starts with, by process id, kept till
// the process's end (the line wWinMain got stays valid while it runs, and a
// process whose first thread is terminated still lets go of it).
std::mutex &launchLock() {
  static auto *lock = new std::mutex;
  return *lock;
}
std::map<DWORD, std::unique_ptr<Launch>> &launches() {
  static auto *all = new std::map<DWORD, std::unique_ptr<Launch>>;
  return *all;
}

void forgetLaunch(DWORD processId) {
  std::unique_ptr<Launch> gone;
  std::lock_guard<std::mutex> g(launchLock());
  auto it = launches().find(processId);
  if (it == launches().end()) return;
  gone = std::move(it->second);
  launches().erase(it);
}

// The first thread of a program's process: wWinMain, and its return value
// ends the process as the C runtime's ExitProcess call does.
DWORD WINAPI processMain(LPVOID arg) {
  auto *launch = static_cast<Launch *>(arg);
  using Entry = int(WINAPI *)(HINSTANCE, HINSTANCE, LPWSTR, int);
  int code = reinterpret_cast<Entry>(launch->entry)(reinterpret_cast<HINSTANCE>(launch->module), nullptr,
                                                    launch->arguments.data(), launch->show);
  ExitProcess(UINT(code));
}

// The process's end, after its handles have closed: its DLLs and its image.
void unloadProcess(ProcessRecord &process) {
  forgetLaunch(process.id);
  removeFile(releaseProcessModules(process, !process.terminated.load()));
}
const ProcessUnloadStep kUnload(unloadProcess);

// Sets the exit code unless the process already has one; false when the
// process was ending already.
bool beginExit(ProcessRecord &process, DWORD code) {
  bool first = !process.exiting.exchange(true);
  std::lock_guard<std::mutex> g(processLock());
  if (process.exitCode == STILL_ACTIVE) process.exitCode = code;
  return first;
}

// The calling thread's process ends: its other threads are asked to end and
// get a bounded time for it; then the caller leaves, the last to go.
[[noreturn]] void exitOwnProcess(ProcessRecord &process, DWORD code) {
  if (beginExit(process, code)) {
    terminateThreadsOf(process, code);
    if (!waitForThreadsToLeave(process, 1, kEndWaitMs))
      OutputDebugStringA("winsim: a thread of an ending process did not reach a winsim call in time");
  }
  ExitThread(code);
  std::abort();  // ExitThread does not return
}

// The machine resets: every process ends first, while the drive, the
// spooler and the windows its threads may be waiting in are still there.
void endAllProcesses() {
  auto live = liveProcesses();
  for (auto &p : live) {
    if (beginExit(*p, 1)) p->terminated = true;
    terminateThreadsOf(*p, 1);
  }
  for (auto &p : live) {
    if (!waitForProcessEnded(*p, kEndWaitMs))
      std::fprintf(stderr, "winsim: process %u (%s) did not end at the machine reset\n", unsigned(p->id),
                   std::string(p->imageName.begin(), p->imageName.end()).c_str());
  }
}
const ResetStep kEndProcesses(80, endAllProcesses);

// The program a start names and its host file; false, with the error set,
// when there is none to run or the directory to run it in is missing.
bool programToStart(const ProcessStart &start, bool hasApp, std::u16string &program, std::string &host) {
  // The program: the application name as given (no search, no extension
  // added), else the first token of the command line.
  if (hasApp) {
    program = fullPath(start.applicationName);
    if (attributesOf(program) == INVALID_FILE_ATTRIBUTES) {
      SetLastError(isFolder(folderOf(program)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
      return false;
    }
  } else if (!programOfCommandLine(start.commandLine, program)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  if (isFolder(program)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  if (start.currentDirectory && !isFolder(fullPath(start.currentDirectory))) {
    SetLastError(ERROR_DIRECTORY);
    return false;
  }
  if (!mapPath(program.c_str(), host)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  return true;
}

// The process's own copy of the program, loaded; null, with the error set,
// when the copy cannot be made or loaded.
HMODULE loadImageCopy(const std::string &host, const std::u16string &program, DWORD processId, void **entry) {
  std::string copy = imageCopy(host, processId);
  if (copy.empty()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  DWORD error = 0;
  HMODULE image = loadProcessImage(copy, program, entry, error);
  if (!image) {
    removeFile(copy);
    SetLastError(error);
    return nullptr;
  }
  return image;
}

void describeProcess(ProcessRecord &record, const ProcessStart &start, const std::u16string &line,
                     const std::u16string &program, HMODULE image) {
  std::vector<char16_t> environment =
      environmentFor(start.environment, (start.flags & CREATE_UNICODE_ENVIRONMENT) != 0);
  // The record is among the machine's processes already: fill it in under
  // the lock its readers take.
  auto caller = currentProcess();
  std::lock_guard<std::mutex> g(processLock());
  record.sessionId = start.hasUser ? start.sessionId : caller->sessionId;
  record.user = start.hasUser ? start.user : caller->user;
  record.commandLine = line;
  record.imagePath = program;
  record.mainModule = image;
  record.environment = std::move(environment);
}

// A new, empty launch for the process, kept till the process's end.
Launch *addLaunch(DWORD processId) {
  auto owned = std::make_unique<Launch>();
  Launch *launch = owned.get();
  std::lock_guard<std::mutex> g(launchLock());
  launches()[processId] = std::move(owned);
  return launch;
}

}  // namespace

BOOL createProcess(const ProcessStart &start, LPPROCESS_INFORMATION info) {
  bool hasApp = start.applicationName && *start.applicationName;
  bool hasLine = start.commandLine && *start.commandLine;
  if ((!hasApp && !hasLine) || !start.startup || !info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::u16string program;
  std::string host;
  if (!programToStart(start, hasApp, program, host)) return FALSE;

  auto record = newProcess(baseNameOf(program));
  void *entry = nullptr;
  HMODULE image = loadImageCopy(host, program, record->id, &entry);
  if (!image) return FALSE;

  std::u16string line = hasLine ? std::u16string(start.commandLine) : std::u16string(start.applicationName);
  describeProcess(*record, start, line, program, image);
  Launch *launch = addLaunch(record->id);
  launch->entry = entry;
  launch->module = image;
  launch->arguments = argumentsOf(line);
  if (start.startup->dwFlags & STARTF_USESHOWWINDOW) launch->show = start.startup->wShowWindow;

  DWORD tid = 0;
  HANDLE thread = startThreadIn(record, 0, processMain, launch, start.flags & CREATE_SUSPENDED, &tid);
  if (!thread) {
    DWORD e = GetLastError();
    forgetLaunch(record->id);
    removeFile(releaseProcessModules(*record, false));
    SetLastError(e);
    return FALSE;
  }
  info->hProcess = newProcessHandle(record);
  info->hThread = thread;
  info->dwProcessId = record->id;
  info->dwThreadId = tid;
  SetLastError(NO_ERROR);
  return TRUE;
}

}  // namespace winsim

using namespace winsim;

extern "C" {

BOOL WINAPI CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine, LPSECURITY_ATTRIBUTES,
                           LPSECURITY_ATTRIBUTES, BOOL, DWORD dwCreationFlags, LPVOID lpEnvironment,
                           LPCWSTR lpCurrentDirectory, LPSTARTUPINFOW lpStartupInfo,
                           LPPROCESS_INFORMATION lpProcessInformation) {
  ProcessStart start;
  start.applicationName = lpApplicationName;
  start.commandLine = lpCommandLine;
  start.flags = dwCreationFlags;
  start.environment = lpEnvironment;
  start.currentDirectory = lpCurrentDirectory;
  start.startup = lpStartupInfo;
  return createProcess(start, lpProcessInformation);
}

void WINAPI ExitProcess(UINT uExitCode) {
  auto p = currentProcess();
  if (isInitialProcess(*p)) {
    // The test's own process cannot end from inside: a thread winsim
    // started ends alone; the test's own thread has nowhere to go.
    if (isWinsimThread()) {
      std::fprintf(stderr, "winsim: ExitProcess(%u) in the test's own process ends only the calling thread\n",
                   unsigned(uExitCode));
      ExitThread(uExitCode);
    }
    std::fprintf(stderr, "winsim: ExitProcess(%u) called on a thread of the test itself: aborting\n",
                 unsigned(uExitCode));
    std::abort();
  }
  exitOwnProcess(*p, uExitCode);
}

BOOL WINAPI TerminateProcess(HANDLE hProcess, UINT uExitCode) {
  auto p = processOfHandle(hProcess);
  if (!p) return FALSE;
  if (isInitialProcess(*p) || p->ended) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  bool first = beginExit(*p, uExitCode);
  if (first) p->terminated = true;
  if (p == currentProcess()) {
    terminateThreadsOf(*p, uExitCode);
    waitForThreadsToLeave(*p, 1, kEndWaitMs);
    ExitThread(uExitCode);
  }
  terminateThreadsOf(*p, uExitCode);
  // Windows returns at once; waiting a bounded while here lets the caller
  // see the process's handles and named objects gone when it returns.
  waitForProcessEnded(*p, kEndWaitMs);
  return TRUE;
}

BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
  auto p = processOfHandle(hProcess);
  if (!p) return FALSE;
  if (!lpExitCode) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  bool ended;
  {
    std::lock_guard<std::mutex> g(waitLock());
    ended = p->ended;
  }
  std::lock_guard<std::mutex> g(processLock());
  *lpExitCode = ended ? p->exitCode : STILL_ACTIVE;
  return TRUE;
}

DWORD WINAPI GetProcessId(HANDLE Process) {
  auto p = processOfHandle(Process);
  if (!p) return 0;
  std::lock_guard<std::mutex> g(processLock());
  return p->id;
}

HANDLE WINAPI OpenProcess(DWORD, BOOL, DWORD dwProcessId) {
  auto p = dwProcessId ? findProcess(dwProcessId) : nullptr;
  if (!p) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  SetLastError(NO_ERROR);
  return newProcessHandle(p);
}

DWORD WINAPI WTSGetActiveConsoleSessionId(void) { return consoleSession(); }

}  // extern "C"
