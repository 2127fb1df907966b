// The core of winsim, below every DLL folder: kernel objects and handles, the
// wait lock, each thread's last error, the clock, the virtual drive, text
// helpers and the machine reset.  Not seen by the package.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <windows.h>
#include <winsim/testing.h>

namespace winsim {

// ------------------------------------------------------------ text
std::u16string fromW(LPCWSTR s);  // empty for NULL
std::u16string upper(const std::u16string &s);
char16_t upperChar(char16_t c);
char16_t lowerChar(char16_t c);
bool equalsNoCase(const std::u16string &a, const std::u16string &b);
bool equalsNoCaseUtf8(const std::string &a, const std::string &b);
// One well-formed UTF-8 sequence at `p` (at most `n` bytes): its code point
// and length; 0 when the bytes there are no such sequence.
size_t decodeUtf8(const unsigned char *p, size_t n, uint32_t &cp);
// The code point as one UTF-16 unit or a surrogate pair.
void appendUtf16(std::u16string &out, uint32_t cp);
// Copies text into a caller's buffer with the usual "size in characters"
// protocol of the directory functions: returns the length without the
// terminator, or the size needed including it when the buffer is too small.
DWORD copyOut(const std::u16string &text, LPWSTR buffer, DWORD size);

// ------------------------------------------------------------ clock
// Milliseconds of simulated time since the machine started.
uint64_t virtualNowMs();
// Real duration for a simulated one.
std::chrono::nanoseconds realDuration(uint64_t virtualMs);
void setClockScaleInternal(double scale);
double clockScaleInternal();
void resetClock();

// ------------------------------------------------------------ last error
// The calling thread's last error (GetLastError/SetLastError keep it here so
// that the core can set it too).
DWORD lastError();
void setLastError(DWORD code);

// ------------------------------------------------------------ kernel objects
// Every kind of handle the table holds.  Other stands for "any kind" where a
// call takes handles of several kinds.  The GDI and engine kinds are not
// kernel objects: CloseHandle, the waits and DuplicateHandle refuse them, as
// the kernel objects' calls refuse a DC or a brush.
enum class Kind {
  Event,
  Mutex,
  Semaphore,
  Thread,
  File,
  Find,
  Process,
  Token,
  Heap,
  RegistryKey,
  Printer,
  GdiDc,  // display, printer, information and memory DCs
  GdiPen,
  GdiBrush,
  GdiFont,
  GdiBitmap,
  GdiRegion,
  EngSurface,  // HSURF, and the HBITMAP that EngCreateBitmap hands a driver
  EngPalette,  // the engine's HPALETTE
  Socket,      // ws2_32's SOCKET: a host socket behind a handle value
  UserWindow,  // user32's machine-wide handles: HWND, HMENU, HICON/HCURSOR
  UserMenu,
  UserIcon,
  ScManager,  // advapi32's SC_HANDLEs: the service control manager and a service
  Service,
  Other
};
using KindMask = uint32_t;
constexpr KindMask kindBit(Kind k) { return KindMask(1) << unsigned(k); }
constexpr KindMask kGdiKinds = kindBit(Kind::GdiDc) | kindBit(Kind::GdiPen) | kindBit(Kind::GdiBrush) |
                               kindBit(Kind::GdiFont) | kindBit(Kind::GdiBitmap) | kindBit(Kind::GdiRegion);
constexpr KindMask kEngineKinds = kindBit(Kind::EngSurface) | kindBit(Kind::EngPalette);
constexpr KindMask kUserKinds = kindBit(Kind::UserWindow) | kindBit(Kind::UserMenu) | kindBit(Kind::UserIcon);
// SC_HANDLEs close with CloseServiceHandle only, as on Windows.
constexpr KindMask kServiceKinds = kindBit(Kind::ScManager) | kindBit(Kind::Service);
// Handles that are kernel objects (and the registry keys and printers that
// the kernel's handle calls have always taken): not heaps, not GDI's, not
// user32's, not the service control manager's.
constexpr bool isKernelKind(Kind k) {
  return k != Kind::Heap && k != Kind::Other && !(kindBit(k) & (kGdiKinds | kEngineKinds | kUserKinds | kServiceKinds));
}

struct KObject {
  explicit KObject(Kind k) : kind(k) {}
  virtual ~KObject() = default;
  Kind kind;
  std::atomic<int> refs{1};
  std::u16string name;  // for named objects, as given: names keep their case
  // Waitable objects: both are called with the wait lock held.
  virtual bool isSignaled(DWORD /*tid*/) const { return false; }
  virtual void acquire(DWORD /*tid*/) {}
  virtual bool waitable() const { return false; }
};

// One lock and one condition for every waitable object: simple, and enough for
// the handful of threads a print job uses.
std::mutex &waitLock();
std::condition_variable &waitCondition();
void notifyWaiters();  // call with the wait lock held or not

// The handles of one process (handles.cpp).  Each process record owns one;
// a thread's calls use its process's table, so a handle value of one process
// is no handle in another.  Values come from one machine-wide counter and are
// never given out twice, so that a stale or foreign value cannot reach an
// object by chance.
class HandleTable;
std::unique_ptr<HandleTable, void (*)(HandleTable *)> makeHandleTable();
void closeAllHandles(HandleTable &table);
size_t handleCount(HandleTable &table);

// A new object and its first handle, which takes the object's reference.
HANDLE registerObject(KObject *obj);
// Another handle of a registered object; takes one reference the caller holds.
HANDLE addHandle(KObject *obj);
KObject *lookup(HANDLE h, Kind kind);  // adds a reference; NULL with ERROR_INVALID_HANDLE
// A kernel object of any kind (isKernelKind); adds a reference.  NULL with
// ERROR_INVALID_HANDLE for anything else.
KObject *lookupAny(HANDLE h);
// The object of a handle of one of the kinds in `kinds`, without taking a
// reference and without touching the last error: for GDI and the engine,
// whose objects are used by the threads of the process that made them and
// live until their handle is closed.  The lookup of the drawing calls.
KObject *peekHandle(HANDLE h, KindMask kinds);
// Makes every thread look its handles up in the table again (a thread that
// changes its process).
void forgetHandleLookups();
// Closes a handle of the kind (Kind::Other: any kind that CloseHandle
// closes); false with ERROR_INVALID_HANDLE for a wrong, closed or made-up one.
bool closeHandle(HANDLE h, Kind kind = Kind::Other);
// Closes every handle of a kind in every process (a part of winsim resetting
// its objects).
void closeHandlesOfKind(Kind kind);
// A handle valid in every process, as the stock GDI objects are: looked up
// when the process's own table does not know a value.
HANDLE registerMachineWideObject(KObject *obj);
// Takes a machine-wide handle of one of `kinds` out of the table, as its
// object goes (a window destroyed), and drops the table's reference: the
// value is never found again.  False when no such handle is there.
bool removeMachineWideHandle(HANDLE h, KindMask kinds);
void release(KObject *obj);  // drops a reference
// Named object table, keyed by the qualified name (qualifiedObjectName).
KObject *findNamed(const std::u16string &name);  // adds a reference
void addNamed(KObject *obj, const std::u16string &name);
void removeNamed(KObject *obj);
// The name under which a kernel object's name lives in the named table, as
// the object manager's namespaces have it: "Global\\" names are the
// machine's, "Local\\" and bare names those of the caller's session (for
// session 0, the services' session, the machine's too).
std::u16string qualifiedObjectName(const std::u16string &name, DWORD sessionId);
// Calls `visit` for every live object, with the handle lock held.
void forEachObject(const std::function<void(KObject *)> &visit);

// ------------------------------------------------------------ processes
// The record of a (simulated) process.  Threads belong to the process of the
// thread that created them; the test's own threads to the initial process.
// The loaded modules are still the machine's.
struct ProcessRecord {
  ProcessRecord();
  ~ProcessRecord();
  ProcessRecord(const ProcessRecord &) = delete;
  ProcessRecord &operator=(const ProcessRecord &) = delete;
  DWORD id = 0;
  std::u16string imageName;           // "winsimhost.exe"
  std::u16string commandLine;         // empty: the image's path in quotes
  DWORD sessionId = 1;                // the interactive user's session
  HANDLE token = nullptr;             // the user's token; none yet
  std::u16string user = u"CardUser";  // the account it runs as ("SYSTEM" for services)
  DWORD exitCode = STILL_ACTIVE;
  // A program started by CreateProcessW: its file on the drive, its image
  // (an HMODULE of kernel32's loader: GetModuleHandleW(NULL) in it) and the
  // environment block it was given (double-NUL terminated; empty: the
  // machine's variables).
  std::u16string imagePath;
  HMODULE mainModule = nullptr;
  std::vector<char16_t> environment;
  // ExitProcess or TerminateProcess has begun: no new thread starts in it.
  std::atomic<bool> exiting{false};
  // TerminateProcess ended it: its DLLs hear nothing of it, as on Windows
  // (an ExitProcess or the last thread's return calls their DllMain).
  std::atomic<bool> terminated{false};
  // Every thread has left and the process end has run (with the wait lock).
  bool ended = false;
  // The process's handles: closed when its last thread ends (the initial
  // process, the test's, never ends).
  std::unique_ptr<HandleTable, void (*)(HandleTable *)> handles;
  std::atomic<int> threads{0};  // started in it and not yet ended
};
// The calling thread's process.  The record is shared: read and change it
// with processLock() held.
std::shared_ptr<ProcessRecord> currentProcess();
// A new process record with a fresh id (the initial process is made by the
// core itself).
std::shared_ptr<ProcessRecord> newProcess(const std::u16string &imageName);
// Makes the calling thread one of `process` (a thread that starts).
void enterProcess(std::shared_ptr<ProcessRecord> process);
// Counts the threads of a process: when the last one leaves a process other
// than the initial one, the process ends and every handle in its table is
// closed, as Windows closes a process's handles when it exits.
// `threadExitCode` becomes the process's exit code when nothing (ExitProcess,
// TerminateProcess) gave it one.
void threadEnteredProcess(ProcessRecord &process);
void threadLeftProcess(ProcessRecord &process, DWORD threadExitCode = 0);
// Steps of the parts above the core when a process ends (its windows go, its
// registrations with the spooler end ...): called once per process, after
// its last thread has ended and before its handles close.  Registered at
// namespace scope, as reset steps are.
void registerProcessEndStep(void (*step)(const ProcessRecord &process));
struct ProcessEndStep {
  explicit ProcessEndStep(void (*step)(const ProcessRecord &process)) { registerProcessEndStep(step); }
};
// Steps of the parts above the core when a thread that winsim started ends
// (its windows and its message queue go): called on the ending thread, with
// no lock held, before it leaves its process and before anyone waiting for
// the thread sees it end.  Registered at namespace scope.
void registerThreadEndStep(void (*step)(DWORD threadId));
struct ThreadEndStep {
  explicit ThreadEndStep(void (*step)(DWORD threadId)) { registerThreadEndStep(step); }
};
// Runs the thread end steps for the calling thread (kernel32's threads).
void runThreadEndSteps(DWORD threadId);
// Steps that run after a process's handles have closed, the last part of
// its end: its DLLs are let go and its program image unloaded.
void registerProcessUnloadStep(void (*step)(ProcessRecord &process));
struct ProcessUnloadStep {
  explicit ProcessUnloadStep(void (*step)(ProcessRecord &process)) { registerProcessUnloadStep(step); }
};
// The processes of the machine that have not ended, the test's own (the
// initial process) not among them.
std::vector<std::shared_ptr<ProcessRecord>> liveProcesses();
// A process that has not ended (the initial one included) by its id.
std::shared_ptr<ProcessRecord> findProcess(DWORD id);
bool isInitialProcess(const ProcessRecord &process);
// A process handle (waitable: signalled when the process has ended) in the
// caller's table.
HANDLE newProcessHandle(std::shared_ptr<ProcessRecord> process);
// The process of a process handle (GetCurrentProcess's pseudo handle
// included); NULL with ERROR_INVALID_HANDLE.
std::shared_ptr<ProcessRecord> processOfHandle(HANDLE h);
// The console session and whether a user is logged on at it.
DWORD consoleSession();
bool userLoggedOn();
// A process runs as LocalSystem when it is a service: in session 0, or the
// spooler's own process (image spoolsv.exe).
bool runsAsLocalSystem(const ProcessRecord &process);

// ------------------------------------------------------------ tokens
// An access token: whose it is and in which session its processes run.
struct TokenObject : KObject {
  TokenObject() : KObject(Kind::Token) {}
  DWORD sessionId = 0;
  std::u16string user;
  bool localSystem = false;
  DWORD type = 1;  // TOKEN_TYPE: TokenPrimary
};

// The calling thread's handle table: its process's (process.cpp).
HandleTable &currentHandleTable();
std::mutex &processLock();

// ------------------------------------------------------------ machine
struct OsVersion {
  DWORD major = 10, minor = 0, build = 19045;
  bool x64 = true;
};
OsVersion osVersion();
void setOsVersionRecord(const OsVersion &v);
std::string driveRootDir();
std::u16string imageName();
void resetObjects();

// ------------------------------------------------------------ system DLL exports
// GetProcAddress on a system DLL finds only the functions that DLL exports on
// Windows.  Each part of winsim lists the functions of its DLL that winsim
// implements (an ExportList at namespace scope); one function may be in the
// lists of several DLLs.  Tests hide an export or a whole DLL to see a
// module take its fallback for a function missing on an older system.
void registerExports(const char16_t *dll, const char *const *names, size_t count);
struct ExportList {
  template <size_t N>
  ExportList(const char16_t *dll, const char *const (&names)[N]) {
    registerExports(dll, names, N);
  }
};
// True when the system DLL (a base name, "kernel32.dll") is one winsim
// stands in for and is not hidden.
bool systemDllKnown(const std::u16string &dll);
// True when `dll` exports `function` and neither is hidden.
bool systemDllExports(const std::u16string &dll, const char *function);

// ------------------------------------------------------------ machine reset
// resetMachine runs the reset steps by phase, lowest first.  Each part of
// winsim registers its own steps (a ResetStep at namespace scope), so the
// core knows none of the parts above it.
enum ResetPhase : int {
  kResetStopServices = 100,  // threads and monitors that use the drive, while it is still there
  kResetMachine = 200,       // the drive, OS version and image name
  kResetKernel = 300,        // debug output, clock, kernel objects
  kResetGraphics = 400,      // GDI objects and loaded graphics drivers
  kResetSpooler = 500,       // printers, jobs, ports and monitors
  kResetRegistry = 600,      // the registry, then the values every machine has
};
void registerResetStep(int phase, void (*step)());
struct ResetStep {
  ResetStep(int phase, void (*step)()) { registerResetStep(phase, step); }
};
// What an upper folder puts on every new drive (winsim's own programs): run
// after a machine reset's new drive and after setDriveRoot's.
void registerDriveStep(void (*step)());
struct DriveStep {
  explicit DriveStep(void (*step)()) { registerDriveStep(step); }
};

// Maps a Windows path to a host path on the virtual drive (case-insensitive,
// component by component; components that do not exist are kept as given so
// that files can be created).  Returns false when the path is not on C:.
bool mapPath(LPCWSTR windowsPath, std::string &host);
// Splits a Windows path into components after the drive.  Accepts "C:\a\b",
// "c:/a/b", "\\?\C:\a", "\a" (current drive) and relative paths; false for
// another drive, UNC paths and invalid names.
bool splitPath(const std::u16string &in, std::vector<std::u16string> &parts);
// The security of files and folders on the virtual drive: the host file
// system has no place for it, so the drive keeps each object's descriptor
// (its self-relative bytes) beside it, by the host object's identity.  An
// object that has none gets the descriptor it would inherit.
bool fileSecurity(const std::string &host, std::vector<uint8_t> &descriptor);
bool setFileSecurity(const std::string &host, const std::vector<uint8_t> &descriptor);
// A new object at a host path carries nothing of an old one that had the
// same identity (the host reuses identities of deleted files).
void forgetFileSecurity(const std::string &host);
// Windows path of the current directory ("C:\\").
std::u16string currentDirectory();

}  // namespace winsim
