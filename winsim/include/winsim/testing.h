// Test control of the simulated machine: what a test sets up before the code
// under test runs, and what it reads back afterwards.  Never used by shipped code.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

struct _MONITOR;  // winsplp.h

namespace winsim {

// Puts the machine back to its initial state: empty registry (with the keys
// every Windows machine has), Windows 10 x64, clock scale 1, no debug output,
// no named objects, the virtual drive at a fresh private directory.
WINSIM_API void resetMachine();

// Host directory that backs the virtual drive C:.  Created when missing.  The
// Windows directory tree (C:\Windows\System32, the spooler's driver folders,
// the temp folder, the all-users folders) is created beneath it.
WINSIM_API void setDriveRoot(const std::string &hostDir);
WINSIM_API std::string driveRoot();

// Host path of a virtual path ("C:\\Windows\\x.ini"), resolved as Windows would
// (case-insensitive).  Empty when the path is not on the virtual drive.
WINSIM_API std::string hostPath(const std::u16string &windowsPath);
// Puts a host file on the virtual drive as an installer would, making the
// folders on the way; an existing file is replaced.  False when the path is
// not on the drive or the copy failed.
WINSIM_API bool copyToDrive(const std::string &hostFile, const std::u16string &windowsPath);

// OS version answered by GetVersionExW and the registry's CurrentVersion.
WINSIM_API void setOsVersion(DWORD major, DWORD minor, DWORD build = 0, bool x64 = true);

// Scale of the simulated clock: with a scale of 1000 a Sleep(3850) returns after
// 3.85 ms of real time while GetTickCount advances by 3850.
WINSIM_API void setClockScale(double scale);
WINSIM_API double clockScale();

// Everything given to OutputDebugStringW/A since the last reset or clear, one
// entry per call, as UTF-8.
WINSIM_API std::vector<std::string> debugOutput();
WINSIM_API void clearDebugOutput();

// Registry as REGEDIT4 text.  Import merges into the registry (a "-" before a
// key name deletes that key); export writes the key and everything below it.
WINSIM_API bool importRegistry(const std::string &regedit4Text);
WINSIM_API std::string exportRegistry(const std::u16string &keyPath);

// The calling thread's process record (the initial process for the test's
// threads, resetMachine starts it again): the name of its image
// ("spoolsv.exe", "notepad.exe" ...), as some modules ask who loaded them;
// its command line (GetCommandLineW; empty: the image's path in quotes); its
// session (1, the interactive user's, unless set).
WINSIM_API void setProcessImageName(const std::u16string &name);
WINSIM_API void setProcessCommandLine(const std::u16string &commandLine);
WINSIM_API void setProcessSessionId(DWORD sessionId);
WINSIM_API DWORD processSessionId();

// ------------------------------------------------------------ a second process
// Runs start(param) on a thread of a new process record (its own id and image
// name, its own handle table) and waits for it to end; returns the thread's
// exit code.  When the process's last thread ends, the handles its threads
// left open are closed, as they are when a Windows process ends.
WINSIM_API DWORD runInNewProcess(const std::u16string &imageName, LPTHREAD_START_ROUTINE start, LPVOID param);

// ------------------------------------------------------------ processes
// Programs of the simulated machine (card_module(... WINDOWED ...): an ELF
// shared object named *.exe that exports wWinMain) run as processes of their
// own when CreateProcessW, CreateProcessAsUserW or ShellExecuteW start them
// from the virtual drive: each gets a fresh copy of the program's globals,
// its own handle table, session and command line, and wWinMain on a thread
// of its own.  Its return value is the process's exit code.  resetMachine
// ends every such process first (their threads end at their next winsim
// call or blocking point).
//
// ExitProcess on a thread of the test's own process cannot end the test: on
// a thread winsim started it ends that thread only (with a line on
// stderr); on one of the test's own threads it prints why and aborts.
//
// The console session (1 unless set) and whether a user is logged on at it
// (yes unless set): WTSGetActiveConsoleSessionId and WTSQueryUserToken
// answer from them.  WTSQueryUserToken needs a LocalSystem caller: winsim
// counts a process in session 0 and the spooler's (image spoolsv.exe, see
// setProcessImageName) as LocalSystem.  resetMachine sets both back.
WINSIM_API void setConsoleSession(DWORD sessionId);
WINSIM_API void setUserLoggedOn(bool loggedOn);
struct ProcessInfo {
  DWORD id = 0;
  std::u16string imageName;  // "notifytray.exe"
  DWORD sessionId = 0;
  std::u16string commandLine;  // as GetCommandLineW answers in it
  DWORD threadCount = 0;       // its threads that have started and not ended
  size_t handleCount = 0;      // the handles open in it, as openHandleCount counts them
};
// The processes running now, the test's own not among them.
WINSIM_API std::vector<ProcessInfo> runningProcesses();
// Waits up to `timeoutMs` real milliseconds for a process of that image name
// (case-insensitive) to be running; its id, or 0 when none came.
WINSIM_API DWORD waitForProcess(const std::u16string &imageName, DWORD timeoutMs);
// Waits up to `timeoutMs` real milliseconds for the process (or every
// process of the image name) to have ended; false when it still runs.
WINSIM_API bool waitForProcessEnd(DWORD processId, DWORD timeoutMs);
WINSIM_API bool waitForProcessEnd(const std::u16string &imageName, DWORD timeoutMs);

// ------------------------------------------------------------ log-on
// The console user logs on (setUserLoggedOn(true)) and the shell runs the
// RunOnce commands (Software\Microsoft\Windows\CurrentVersion\RunOnce):
// first the machine's (HKEY_LOCAL_MACHINE) one after another, each waited
// for, then the user's (HKEY_CURRENT_USER) started together.  Each value,
// the default one included, is deleted before its command starts; a value
// whose name begins with "!" is deleted after its command has ended with
// exit code 0.  The commands run as processes of the console user.  logOn
// waits for them up to `timeoutMs` of real time in all, and returns them in
// the order started.
//
// winsim's own programs are in C:\Windows\system32 after every reset:
// rundll32.exe, and cmd.exe, which runs batch files ("cmd /c file.bat";
// ShellExecuteW/A open a .bat or .cmd with it).  A batch that takes more
// than 100000 goto (a loop that never ends) stops with exit code
// 0xC000013A and a line of debugOutput naming it; each goto waits 1
// simulated millisecond.  waitForProcessEnd(u"cmd.exe", ...) waits for
// batches started in the background.
struct LogOnCommand {
  std::u16string key;  // "HKEY_LOCAL_MACHINE\Software\...\RunOnce"
  std::u16string valueName;
  std::u16string commandLine;
  bool started = false;
  DWORD error = 0;  // why it did not start (CreateProcessW's last error)
  DWORD processId = 0;
  DWORD exitCode = STILL_ACTIVE;  // STILL_ACTIVE: it had not ended in time
};
WINSIM_API std::vector<LogOnCommand> logOn(DWORD timeoutMs = 60000);

// Hides a function of a system DLL ("kernel32.dll", "winspool.drv" ...)
// from GetProcAddress, which then fails with ERROR_PROC_NOT_FOUND as on a
// Windows version without it; with no function name the whole DLL goes:
// LoadLibraryW and GetModuleHandleW fail with ERROR_MOD_NOT_FOUND.  For
// tests of a module's fallback; resetMachine shows everything again.
WINSIM_API void hideSystemExport(const std::u16string &dll, const std::string &function = std::string());
// The handles open in the calling thread's process, of every kind (kernel
// objects, registry keys, printers, GDI objects ...): a test compares it
// before and after the code under test to find a handle it left open.
WINSIM_API size_t openHandleCount();

// ------------------------------------------------------------ printing
// A printer with its driver, installed as the spooler would after
// AddPrinterDriverW and AddPrinterW.  Host files are copied into the driver
// directory (C:\Windows\system32\spool\DRIVERS\x64\3) under their own
// names; empty paths leave that part of the driver out.
struct PrinterSetup {
  std::u16string printerName;
  std::u16string driverName;
  std::string graphicsDll;  // host path of the printer graphics DLL
  std::string configDll;    // host path of the driver's user-interface DLL
  std::string dataFile;     // host path of the driver's data file
  std::u16string monitorName;
  std::u16string portName = u"FILE:";
  std::vector<uint8_t> defaultDevMode;  // the printer's default DEVMODE, if any
  // Without a default DEVMODE of the setup's, the spooler asks the driver's
  // UI module for one (DrvConvertDevMode, CDM_DRIVER_DEFAULT) as AddPrinterW
  // does; false leaves the printer without one, as when its driver gave none.
  bool askDriverDefault = true;
};
WINSIM_API bool installPrinter(const PrinterSetup &setup);

// A job the spooler has received, with the bytes that were written to it.
struct JobRecord {
  DWORD id = 0;
  std::u16string printer;
  std::u16string document;
  std::u16string port;  // where the job went
  std::vector<uint8_t> bytes;
  DWORD pages = 0;
  bool completed = false;       // EndDocPrinter reached
  bool aborted = false;         // AbortPrinter, deleted, or the port refused it
  bool despooled = false;       // the printer's queue is done with it
  DWORD status = 0;             // JOB_STATUS_ bits as GetJobW reports them
  std::vector<DWORD> controls;  // the SetJobW commands it received, in order (JOB_CONTROL_...)
};
// Jobs in the order they were started (all printers when the name is empty),
// read once the printers' queues are idle (waitForSpoolerIdle below, with its
// default time-out), so that a record shows what reached the port.
WINSIM_API std::vector<JobRecord> printJobs(const std::u16string &printer = std::u16string());
// The bytes of one job, likewise after the queues are idle; empty when the
// job is unknown.
WINSIM_API std::vector<uint8_t> jobBytes(DWORD jobId);

// Stands in for the port's monitor in GetPrinterDataW: a value name that the
// printer does not hold is handed to the responder of the printer's port,
// which answers TRUE with the reply bytes or FALSE (no such value).  Ports of
// the USB port monitor (a device was plugged in) ask their monitors instead.
using PortResponder = std::function<bool(const std::u16string &valueName, std::vector<uint8_t> &reply)>;
WINSIM_API void setPortResponder(const std::u16string &portName, PortResponder responder);

// The spooler accepts only ports that a port monitor serves (AddPrinterW and
// SetPrinterW fail with ERROR_UNKNOWN_PORT otherwise).  Built in are the USB
// port monitor's "USB001" ... and the local port monitor's "FILE:", "LPT1:",
// "COM1:" ... and file paths.  A test adds its own ports as a port monitor
// registers them; they are gone at machine reset.  Both return false (with
// ERROR_ALREADY_EXISTS) when a monitor already serves one of the names.
//
// A port of the test port monitor ("Test Port"): jobs are kept by the
// spooler only, printer-data questions go to setPortResponder's responder.
WINSIM_API bool addTestPort(const std::u16string &portName);
// A port monitor of the test's own: `ports` are opened through `table` (a
// MONITOR of winsplp.h, kept by the caller until reset), with the language
// monitor a printer's driver names stacked on it.
WINSIM_API bool addPortMonitor(const std::u16string &monitorName, const _MONITOR *table,
                               const std::vector<std::u16string> &ports);
// A port of the system's "Standard TCP/IP Port" monitor, written as that
// monitor keeps it in the registry (a subkey of its "Ports" key with
// "IPAddress", "HostName", "PortNumber", "Protocol" 1 for RAW, "Version" 2
// ...); the spooler serves it from then on, until the registry is reset.
// Jobs go to ipAddress (or hostName when that is empty):portNumber as RAW
// bytes.  False with ERROR_ALREADY_EXISTS for a port another monitor serves,
// ERROR_INVALID_PARAMETER without a name or an address.
WINSIM_API bool addStandardTcpIpPort(const std::u16string &portName, const std::u16string &ipAddress,
                                     const std::u16string &hostName = std::u16string(), DWORD portNumber = 9100);

// Waits until the printer's queue (every printer's when the name is empty)
// has despooled all its ended jobs; false when that did not happen within
// `timeoutMs` of real time.  The bound is real, not simulated, time: it keeps
// a test from hanging, and a clock sped up 1000 times must not shrink it to
// a few milliseconds that a slow build or a busy machine overruns.  A test
// that wants the queue still busy after some simulated time sleeps that
// long (Sleep runs on the simulated clock) and asks with a time-out of 0.
WINSIM_API bool waitForSpoolerIdle(const std::u16string &printer = std::u16string(), DWORD timeoutMs = 60000);

// Sets or clears the printer's PRINTER_ATTRIBUTE_WORK_OFFLINE, as the user
// does with "Use Printer Offline" (SetPrinterW level 2 does the same).  A
// printer that works offline, or is paused, keeps its waiting jobs queued and
// sends them once it is back; the job already on its port goes on.  Such a
// queue counts as idle for waitForSpoolerIdle.  False for an unknown printer.
WINSIM_API bool setPrinterWorkOffline(const std::u16string &printer, bool offline);

// Makes the printer's level-2 information name a print server
// (PRINTER_INFO_2W.pServerName, "\\\\PRINTSRV"), as it does for a printer
// this machine reaches through a server; an empty name takes it back.  The
// printer itself stays this machine's.  False for an unknown printer.
WINSIM_API bool setPrinterServerName(const std::u16string &printer, const std::u16string &serverName);

// ------------------------------------------------------------ asynchronous notifications
// The spooler's notification broker (prnasnot.h): registrations of
// listening programs, channels opened by components inside the spooler, and
// the deliveries between them on the spooler's threads.
struct AsyncNotifyRegistration {
  std::u16string name;  // the printer's, upper case; empty: the print server
  GUID type{};
  bool allUsers = false;  // kAllUsers, else kPerUser
  bool bidirectional = false;
  DWORD processId = 0;  // the registrant's process and session
  DWORD sessionId = 0;
};
WINSIM_API std::vector<AsyncNotifyRegistration> asyncNotifyRegistrations();
// The broker's objects that someone still holds a reference to: channels
// (any side of one) and notification data objects.  Read once deliveries
// are idle; what is left when a test is done with its channels is a leak.
struct AsyncNotifyObjects {
  size_t channels = 0;
  size_t dataObjects = 0;
};
WINSIM_API AsyncNotifyObjects asyncNotifyLiveObjects();
// Misuse of the broker's objects since the last call, one line each: a
// Release below zero, an AddRef or call without a reference held, ReleaseData
// without AcquireData.  The broker ignores such a call (nothing is freed
// under anyone); resetMachine keeps the records.
WINSIM_API std::vector<std::string> takeAsyncNotifyFaults();
// Waits until no delivery is queued or under way; false when that did not
// happen within `timeoutMs` of real time.
WINSIM_API bool waitForAsyncNotifyIdle(DWORD timeoutMs = 10000);
// The spooler stops and starts again: every registration is told
// (NOTIFICATION_RELEASE), then registrations and channels end and the
// broker lets go of the programs' callbacks.  resetMachine instead drops
// everything without a call, as the programs went with the old machine.
// Only the broker's part of a restart: the service "Spooler" stopped through
// the service control manager (ControlService) stops the whole spooler, this
// included, until StartServiceW.
WINSIM_API void restartSpooler();

// ------------------------------------------------------------ USB devices
// The printer end of a USB cable, plugged into one of the ports ("USB001",
// "USB002" ...) of winsim's USB port monitor.  Called from the spooler's and
// the monitors' threads, one call at a time per port is not guaranteed: an
// implementation locks what it shares.
class UsbDevice {
 public:
  virtual ~UsbDevice() = default;
  // Takes bytes sent to the printer: how many it took (0 when it takes none
  // now), -1 when the device is gone.
  virtual long write(const uint8_t *data, size_t size) = 0;
  // Hands out answer bytes: how many (0 when none are waiting), -1 when gone.
  virtual long read(uint8_t *out, size_t max) = 0;
  // The port status byte of the printer class request; false when gone.
  virtual bool lineStatus(uint8_t &status) = 0;
  // Called at attach with a function the device calls whenever answer bytes
  // arrive, so that a waiting read goes on at once; at detach with an empty
  // function.  Devices without it are polled.
  virtual void setAnswerNotifier(std::function<void()> notify) { (void)notify; }
  // The hardware IDs of the device's node in the device manager, most
  // specific first ("USBPRINT\\MAKERMODEL1234"); none by default.
  virtual std::vector<std::u16string> hardwareIds() const { return {}; }
};
// Plugs a device into a USB port ("USB001" ... "USB999"), creating the port
// when it is new; a device already there is unplugged first.  False for a
// name that is no USB port name.
WINSIM_API bool attachUsbDevice(const std::u16string &portName, std::shared_ptr<UsbDevice> device);
// Unplugs it; the port stays, as Windows keeps the ports of absent devices.
// Returns once no call is inside the device any more (a write under way ends
// when the device's current call returns, with the bytes taken so far): from
// then on nothing calls it, and the test may destroy what the device refers
// to.  resetMachine stops the spooler's threads and then unplugs every device
// the same way.  (So a device must not unplug itself from inside one of its
// own calls.)
WINSIM_API void detachUsbDevice(const std::u16string &portName);
// The USB port monitor's table, as the spooler hands it to a language
// monitor's OpenPortEx (a MONITOR of winsplp.h), for tests of the ports alone.
WINSIM_API const _MONITOR *usbPortMonitorTable();

// ------------------------------------------------------------ device nodes and INF files
// The plug-and-play device nodes (setupapi.dll).  A device plugged into a
// USB port is a node, present while it stays plugged in; an unplugged one
// stays as an absent node until it is removed (DIF_REMOVE), as Windows keeps
// the nodes of devices it saw once.
struct DeviceNode {
  std::u16string instanceId;  // "USBPRINT\\MAKERMODEL1234\\7&1A2B3C4D&0&USB001"
  std::u16string className;   // "Printer", "USB"
  std::vector<std::u16string> hardwareIds;
  bool present = false;
  std::u16string infName;  // the INF its driver came from ("oem3.inf"); empty: no driver
};
// Adds a node as if Windows had seen such a device once (present: it is
// plugged in now), installed from `infName` when that is not empty.  Returns
// its instance ID.
WINSIM_API std::u16string addDeviceNode(const std::vector<std::u16string> &hardwareIds, bool present,
                                        const std::u16string &infName = {});
// Every node the machine has, present or not, in the order they came.
WINSIM_API std::vector<DeviceNode> deviceNodes();

// An INF file as setupapi.dll reads it: sections and keys compared without
// case, comments and quotes gone, continued lines joined, %strkey% replaced
// from [Strings] (directory ids such as %11% stay).  Sections of the same
// name are merged.
struct InfLine {
  std::u16string key;  // empty when the line has no "key ="
  bool hasKey = false;
  std::vector<std::u16string> fields;  // the values after "=", or the whole line's fields
  unsigned lineNumber = 0;             // of the line's start in the file, from 1
};
struct InfSection {
  std::u16string name;
  std::vector<InfLine> lines;
};
struct InfText {
  bool ok = false;
  DWORD error = 0;         // the reason when not ok: ERROR_FILE_NOT_FOUND, ERROR_BAD_SECTION_NAME_LINE ...
  unsigned errorLine = 0;  // where a syntax error is
  std::vector<InfSection> sections;
  // The section of that name (without case); NULL when there is none.
  WINSIM_API const InfSection *section(const std::u16string &name) const;
};
// Reads an INF file of the host (a file of the package's sources).
WINSIM_API InfText readInf(const std::string &hostFile);

// A monitor DLL installed as an installer would: the host file is copied to
// C:\Windows\system32 and registered with AddMonitorW (which loads it).
// False with the thread's last error set by AddMonitorW on failure.
WINSIM_API bool installMonitor(const std::u16string &monitorName, const std::string &hostDll);

// The status a port monitor last reported for the port with SetPortW level 3
// (PORT_INFO_3W): false when none is set (or it was cleared).
WINSIM_API bool portStatus(const std::u16string &portName, DWORD &status, DWORD &severity, std::u16string &text);

// Host folder searched first for the TrueType files of the text engine.
WINSIM_API void setFontFolder(const std::string &hostDir);

// ------------------------------------------------------------ network
// The machine's network never leaves the host.  Emulated printers live on
// loopback addresses of their own ("127.0.5.20"): a test declares such a
// host with its services, the name gethostbyname finds it by, and whether
// it is up.  A declared host's service is a real socket on the host's
// loopback: on the host address itself when the host is in 127.0.0.0/8,
// else on 127.0.0.1, at `hostPort` (the well-known port itself where the
// test may bind it, else an ephemeral port).  Winsock's calls reach it as
// the program sees it (connect to 127.0.5.20:9100 goes to the service's
// host port; replies come back from 127.0.5.20:9100).
//
// Any other address outside 127.0.0.0/8 is refused with WSAENETUNREACH
// before a packet is sent, and recorded; other loopback addresses are the
// host's own.  resetMachine closes every socket and forgets the hosts.
enum class NetworkHostState {
  Up,        // its services answer; a port it does not serve refuses
  Down,      // nothing answers: connections time out, datagrams are lost
  Refusing,  // every connection is refused, every datagram bounces
};
enum class NetworkProtocol { Tcp, Udp };
struct NetworkService {
  NetworkProtocol protocol = NetworkProtocol::Tcp;
  uint16_t port = 0;      // as the program uses it (9100, 161 ...)
  uint16_t hostPort = 0;  // where the test's server listens; 0: `port` itself
};
// Declares (or declares again, replacing) a host by its dotted address;
// `hostName` may be empty.  False for an address that is no dotted IPv4
// address, or for 0.0.0.0 and 255.255.255.255.
WINSIM_API bool declareNetworkHost(const std::string &address, const std::string &hostName,
                                   const std::vector<NetworkService> &services,
                                   NetworkHostState state = NetworkHostState::Up);
// False when no host of that address was declared.
WINSIM_API bool setNetworkHostState(const std::string &address, NetworkHostState state);
// The sockets open in a process (0: the caller's): a test compares it before
// and after the code under test to find a socket left open.
WINSIM_API size_t openSocketCount(DWORD processId = 0);
// Every attempt to reach an address off the machine (connect, sendto) that
// was refused with WSAENETUNREACH, oldest first; kept until reset or cleared.
struct RefusedAddress {
  std::string address;  // dotted
  uint16_t port = 0;
  std::string call;  // "connect", "sendto"
};
WINSIM_API std::vector<RefusedAddress> refusedNetworkAddresses();
WINSIM_API void clearRefusedNetworkAddresses();
// What reached the host's network stack since the reset: connection
// attempts and datagrams sent.  A refusal leaves both alone.
struct HostTraffic {
  uint64_t connects = 0;
  uint64_t datagrams = 0;
};
WINSIM_API HostTraffic hostNetworkTraffic();

// ------------------------------------------------------------ the scripted user
// One user sits in front of the machine and answers every piece of user
// interface the code under test shows: message boxes (MessageBoxW/A) and the
// messages that the notification server's test stand-in hands on (they
// carry the channel marker UserChannel::Notification).  The test scripts
// the answers beforehand, or answers an open message itself, and reads back
// everything that was shown.
//
// A message nobody scripted is never left hanging: MessageBoxW returns 0 at
// once with ERROR_NOT_SUPPORTED, and the message is recorded as
// MessageEnd::Unscripted with its caption and text (winsim/testing_gtest.h
// makes such a test fail).  resetMachine ends every open message
// (MessageEnd::MachineReset) and clears the script and the records.
enum class UserChannel { Any, Box, Notification };
enum class AnswerTiming {
  AtOnce,      // answered as soon as it is shown
  AfterDelay,  // answered after `delayMs` of simulated time
  LeaveOpen,   // open until answerMessage, its thread's termination, a close request or the reset
};
// Matches any text resource number of a notification.
constexpr int32_t kAnyTextResource = INT32_MIN;
struct UserScript {
  // A message matches when its caption contains `caption` and its text
  // contains `text` (exact case; empty matches anything), it came through
  // `channel`, and for notifications its text resource number is
  // `textResource`.
  std::u16string caption;
  std::u16string text;
  UserChannel channel = UserChannel::Any;
  int32_t textResource = kAnyTextResource;
  int answer = IDOK;  // IDOK, IDCANCEL, IDYES ...
  AnswerTiming timing = AnswerTiming::AtOnce;
  DWORD delayMs = 0;   // AfterDelay: simulated milliseconds
  unsigned times = 0;  // how many messages the rule answers before it is used up; 0: any number
};
// Rules are tried in the order they were added; the first that matches and
// is not used up answers.
WINSIM_API void scriptUser(const UserScript &rule);
WINSIM_API void clearUserScript();

// How a message ended.  The last four are faults of the code under test or
// of its script, which winsim/testing_gtest.h reports.
enum class MessageEnd {
  Open,
  Answered,          // by the script or answerMessage: `answer` is what the call returned
  ThreadTerminated,  // TerminateThread on the thread that showed it
  Closed,            // a close request of the notification channel took it away
  MachineReset,      // resetMachine while it was open
  Unscripted,        // no rule matched: returned 0 at once
  ImpossibleAnswer,  // the answer is no button of the box (IDYES to an OK box): returned 0
  HeldTooLong,       // left open for kMessageHoldLimitMs of real time: returned 0
  NoPayload,         // a notification without its payload
};
// A message left open is given up after this much real time, so that a test
// that forgot to answer ends instead of hanging.
constexpr DWORD kMessageHoldLimitMs = 60000;

struct ShownMessage {
  DWORD id = 0;  // 1, 2, 3 ... in the order shown since the last reset
  UserChannel channel = UserChannel::Box;
  std::u16string caption;
  std::u16string text;
  UINT flags = 0;  // MB_ styles of a message box
  HWND owner = nullptr;
  DWORD threadId = 0;  // the thread that showed it
  int answer = 0;
  MessageEnd end = MessageEnd::Open;
  uint64_t shownAtMs = 0, endedAtMs = 0;  // simulated time (GetTickCount64)
  // Notifications only: the printer the notification was sent for, and the
  // payload's fields.
  std::u16string printer;
  std::u16string title;
  uint32_t acknowledgement = 0;
  int32_t textFromResource = 0;
  int32_t textResource = 0;
  int32_t captionResource = 0;
};
WINSIM_API std::vector<ShownMessage> shownMessages();
WINSIM_API void clearShownMessages();  // records and close requests; open messages stay open
// Waits until at least `count` messages have been shown since the last reset
// or clearShownMessages; false when that did not happen within `timeoutMs`
// of real time.  waitForMessageEnd waits likewise for message `id` to end.
WINSIM_API bool waitForShownMessages(size_t count, DWORD timeoutMs = 10000);
WINSIM_API bool waitForMessageEnd(DWORD id, DWORD timeoutMs = 10000);
// Answers an open message as the user would: its call returns `answer`.
// False when the message is not open, or is a box without that button.
WINSIM_API bool answerMessage(DWORD id, int answer);

// The messages that ended as faults (unscripted, impossibleAnswer,
// heldTooLong, noPayload) since the last call, as they were when they ended.
// resetMachine keeps them, so that a check at the end of a test sees them
// even when the test reset the machine (winsim/testing_gtest.h does this).
WINSIM_API std::vector<ShownMessage> takeMessageFaults();

// A close request of the notification channel ("CloseMsgThread").
struct CloseRequest {
  std::u16string printer;  // the name the request was sent for
  std::u16string caption;  // the payload's caption, which picks the message
  DWORD threadId = 0;
  DWORD closedId = 0;        // the message it closed; 0: none was open
  DWORD afterMessageId = 0;  // the id of the last message shown before it
  uint64_t atMs = 0;         // simulated time
};
WINSIM_API std::vector<CloseRequest> closeRequests();

// For the notification server's stand-in: shows one notification to the
// scripted user and returns its answer once it ends (0 when it was not
// answered), blocking like a message box.  `message` carries the channel,
// printer, caption, text, title and the payload's numbers; `hasPayload`
// false records a notification sent without one (MessageEnd::NoPayload).
WINSIM_API int showNotification(const ShownMessage &message, bool hasPayload = true);
// For the stand-in: records a close request and takes away the newest open
// notification whose caption equals `caption` (case-insensitive, as window
// titles are found); returns its id, 0 when there was none.
WINSIM_API DWORD closeNotification(const std::u16string &printer, const std::u16string &caption);
// ------ dialogs
// Dialogs (DialogBoxParamW and DialogBoxIndirectParamW) are the scripted
// user's too.  A dialog script matches a dialog by its title (contains
// `title`, exact case; empty matches any) and its template's numeric id
// (`templateId`, 0 matches any); rules are tried in the order added.  Once
// the dialog is up (after WM_INITDIALOG), the user does the actions in order,
// each with the input and notifications a real user's would give, then
// clicks `endButton`.  A dialog that no script matches, whose script cannot
// be done (a disabled control, an item that is not there ...) or that is
// still open after its end button, is closed as Escape closes it (WM_COMMAND
// IDCANCEL; EndDialog(IDCANCEL) when the dialog ignores it) and recorded as a
// fault that winsim/testing_gtest.h turns into a test failure; it never
// hangs.  clearUserScript removes the dialog scripts, clearShownMessages the
// records, resetMachine both.
enum class DialogActionKind {
  Click,     // a button (push, check box, radio button): BM_CLICK as the mouse gives it
  Type,      // an edit: select all, then type `text` key by key (empty: delete)
  Choose,    // a combo box: drop the list and pick item `text` (or index `value` with byIndex)
  SetCheck,  // a check box: click until it shows `value` (BST_ state); a radio button: click it
  Move,      // a trackbar: drag the thumb to `value`; an up-down control: click its arrows to `value`
};
struct DialogAction {
  DialogActionKind kind = DialogActionKind::Click;
  int control = 0;  // the control's identifier
  std::u16string text;
  int value = 0;
  bool byIndex = false;
};
inline DialogAction userClick(int control) { return {DialogActionKind::Click, control, {}, 0, false}; }
inline DialogAction userType(int control, std::u16string text) {
  return {DialogActionKind::Type, control, std::move(text), 0, false};
}
inline DialogAction userChoose(int control, std::u16string item) {
  return {DialogActionKind::Choose, control, std::move(item), 0, false};
}
inline DialogAction userChooseIndex(int control, int index) {
  return {DialogActionKind::Choose, control, {}, index, true};
}
inline DialogAction userCheck(int control, int state) {
  return {DialogActionKind::SetCheck, control, {}, state, false};
}
inline DialogAction userMove(int control, int position) {
  return {DialogActionKind::Move, control, {}, position, false};
}
struct DialogScript {
  std::u16string title;
  int templateId = 0;
  std::vector<DialogAction> actions;
  int endButton = IDOK;  // the button clicked last
  unsigned times = 0;    // how many dialogs the rule answers; 0: any number
};
WINSIM_API void scriptDialog(const DialogScript &script);

// A control as the user saw it.
struct DialogControlRecord {
  int id = 0;
  std::u16string className;  // as registered: "Button", "Edit", "msctls_trackbar32" ...
  std::u16string text;       // its window text; a combo box's: the selected item
  DWORD style = 0;
  bool enabled = true, visible = true;
  int check = 0;                                 // buttons: BST_ state
  std::vector<std::u16string> items;             // combo boxes
  int selection = -1;                            // combo boxes: CB_ERR for none
  int position = 0, rangeMin = 0, rangeMax = 0;  // trackbars and up-down controls
};
enum class DialogEnd {
  Open,
  Ended,         // EndDialog after the script (or during WM_INITDIALOG): `result` is what it returned
  Modeless,      // CreateDialogParamW: the test drives it (actOnDialog)
  Unscripted,    // no script matched: closed as cancelled
  ScriptFailed,  // an action could not be done: closed as cancelled
  LeftOpen,      // still open after the end button: closed as cancelled
};
struct ShownDialog {
  DWORD id = 0;  // 1, 2, 3 ... in the order shown since the last reset
  std::u16string title;
  int templateId = 0;  // 0 for a template in memory or named by a string
  HWND hwnd = nullptr, owner = nullptr;
  DWORD threadId = 0;
  std::vector<DialogControlRecord> controls;       // as it came up, after WM_INITDIALOG
  std::vector<DialogControlRecord> controlsAtEnd;  // before the end button (or the cancel)
  INT_PTR result = 0;
  DialogEnd end = DialogEnd::Open;
  std::u16string fault;  // what went wrong, for the fault ends
  const DialogControlRecord *control(int controlId) const {
    for (const auto &c : controls)
      if (c.id == controlId) return &c;
    return nullptr;
  }
};
WINSIM_API std::vector<ShownDialog> shownDialogs();
// The dialogs that ended as faults since the last call (kept across resets).
WINSIM_API std::vector<ShownDialog> takeDialogFaults();
// Does one action on a modeless dialog of the calling thread, as the user
// would; false (and `error`, when given, says why) when it cannot be done.
WINSIM_API bool actOnDialog(HWND dialog, const DialogAction &action, std::u16string *error = nullptr);

// ------ property sheets
// The common property sheet UI (CommonPropertySheetUIW, compstui.dll) shows
// its sheet to the same user.  A sheet script matches a sheet by its title
// (contains `title`, exact case; empty matches any); rules are tried in the
// order added.  The user works the tree view page's items in order, then ends
// the sheet with `end`.  An action the user cannot do (an item that is not
// there, hidden or disabled, a choice that is disabled or hidden, a number out
// of the item's range) stops the script: the sheet closes as cancelled and a
// fault is recorded with the sheet's title, as for a sheet no script matches.
// A push button whose OPTTYPE has OTS_PUSH_ENABLE_ALWAYS can be clicked while
// its item is disabled.  A dialog a push button opens is worked by its own
// dialog script.  clearSheetScripts removes the rules, clearShownSheets the
// records, resetMachine both.
enum class SheetActionKind {
  Choose,     // a 2-state, 3-state, list box or combo box item: pick choice `text` (or index `value` with byIndex)
  SetNumber,  // an up-down, trackbar or scroll bar item: set `value`
  Type,       // an edit box item: replace the text by `text`
  Push,       // a push button item, or an item's extended push button with `extended`
  About,      // the About button (CPSUIF_ABOUT_CALLBACK)
  Undo,       // undo the changes of item `item`
  Revert,     // revert every item of the page
};
struct SheetAction {
  SheetActionKind kind = SheetActionKind::Choose;
  std::u16string item;  // the item's name as shown; empty: use `userItemId`
  int userItemId = 0;   // OPTITEM.UserItemID, when `item` is empty
  std::u16string text;
  int value = 0;
  bool byIndex = false;
  bool extended = false;
};
inline SheetAction sheetChoose(std::u16string item, std::u16string choice) {
  return {SheetActionKind::Choose, std::move(item), 0, std::move(choice), 0, false, false};
}
inline SheetAction sheetChooseIndex(std::u16string item, int index) {
  return {SheetActionKind::Choose, std::move(item), 0, {}, index, true, false};
}
inline SheetAction sheetSetNumber(std::u16string item, int value) {
  return {SheetActionKind::SetNumber, std::move(item), 0, {}, value, false, false};
}
inline SheetAction sheetType(std::u16string item, std::u16string text) {
  return {SheetActionKind::Type, std::move(item), 0, std::move(text), 0, false, false};
}
inline SheetAction sheetPush(std::u16string item) { return {SheetActionKind::Push, std::move(item), 0, {}, 0, false, false}; }
inline SheetAction sheetExtPush(std::u16string item) {
  return {SheetActionKind::Push, std::move(item), 0, {}, 0, false, true};
}
inline SheetAction sheetAbout() { return {SheetActionKind::About, {}, 0, {}, 0, false, false}; }
inline SheetAction sheetUndo(std::u16string item) { return {SheetActionKind::Undo, std::move(item), 0, {}, 0, false, false}; }
inline SheetAction sheetRevert() { return {SheetActionKind::Revert, {}, 0, {}, 0, false, false}; }
// The same actions on an item named by its UserItemID.
inline SheetAction byUserItemId(SheetAction action, int userItemId) {
  action.item.clear();
  action.userItemId = userItemId;
  return action;
}

enum class SheetEndButton { Ok, ApplyThenOk, Cancel };
struct SheetScript {
  std::u16string title;
  std::vector<SheetAction> actions;
  SheetEndButton end = SheetEndButton::Ok;
  unsigned times = 0;  // how many sheets the rule answers; 0: any number
};
WINSIM_API void scriptSheet(const SheetScript &script);
WINSIM_API void clearSheetScripts();

// An item of the tree view page as the user saw it.
struct SheetItemRecord {
  std::u16string name;
  int level = 0;
  int kind = -1;  // the OPTTYPE's TVOT_ type; -1 for an item without one (a heading)
  int userItemId = 0;
  std::vector<std::u16string> choices;  // the OPTPARAMs' texts
  std::vector<bool> choiceDisabled, choiceHidden;
  int selection = -1;          // the choice's index, or the number of a numeric item
  std::u16string selectionText;  // as the item's "Name: value" line shows it
  bool hidden = false, disabled = false;
  std::u16string extPushTitle;  // the extended push button's, empty for none
};
struct SheetPageRecord {
  std::u16string name;  // the tab's
  std::vector<SheetItemRecord> items, itemsAtEnd;
  int focusItem = -1;  // the index in itemsAtEnd of the item the user worked last
  const SheetItemRecord *item(const std::u16string &itemName, bool atEnd = false) const {
    for (const auto &i : atEnd ? itemsAtEnd : items)
      if (i.name == itemName) return &i;
    return nullptr;
  }
};
enum class SheetEnd { Open, Ok, Cancelled, Unscripted, ScriptFailed, NotShown };
struct ShownSheet {
  DWORD id = 0;  // 1, 2, 3 ... in the order shown since the last reset
  std::u16string title;
  HWND hwnd = nullptr, owner = nullptr;
  std::vector<SheetPageRecord> pages;
  std::vector<int> callbackReasons;  // CPSUICB_REASON_ of every item callback, in order
  std::vector<int> sheetReasons;     // PROPSHEETUI_REASON_ of every PFNPROPSHEETUI call, in order
  SheetEnd end = SheetEnd::Open;
  std::u16string fault;
};
WINSIM_API std::vector<ShownSheet> shownSheets();
WINSIM_API void clearShownSheets();
// The sheets that ended as faults since the last call (kept across resets).
WINSIM_API std::vector<ShownSheet> takeSheetFaults();

// A page of the last sheet with `title` (contains) as the tree view page shows
// it at the end of the user's script, drawn with winsim's GDI: top-down rows of
// 0x00RRGGBB pixels.  Empty (0 x 0) when no such sheet or page was shown.
struct SheetPicture {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
};
WINSIM_API SheetPicture sheetPicture(const std::u16string &title, int page = 0);

// ------ windows, menus and the notification area
// Message boxes are windows of the class "#32770" titled with their caption
// while they are open: FindWindowW finds them, and WM_CLOSE sent or posted to
// one ends it as the user's close button does (IDOK for a box with only OK,
// IDCANCEL for a box with Cancel; boxes with neither ignore it), recorded as
// MessageEnd::Closed with that answer.

// The live windows of the machine, oldest first.
struct WindowInfo {
  HWND hwnd = nullptr;
  std::u16string title;
  std::u16string className;
  DWORD processId = 0, threadId = 0;
  bool visible = false;
  HWND parent = nullptr;  // a child window's parent
  HWND owner = nullptr;   // a top-level window's owner
};
WINSIM_API std::vector<WindowInfo> windows();

// What a window shows: the pixels of its client area, in its client
// coordinates, as what was drawn with GetDC, GetWindowDC and BeginPaint left
// them.  Each pixel is 0x00RRGGBB (in memory B, G, R, 0), rows top-down:
// (x, y) is pixels[y * width + x].  A child window's pixels are its part of
// its top-level window's; what its parents hide of it reads 0.  A top-level
// window's pixels are black until something draws on them.  Empty for a
// handle that is no window.
struct WindowSurface {
  LONG width = 0, height = 0;
  std::vector<uint32_t> pixels;
  uint32_t at(LONG x, LONG y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};
WINSIM_API WindowSurface windowSurface(HWND hwnd);

// Shortcut menus (TrackPopupMenu/Ex) are answered by menu rules, tried in
// the order added: a rule applies to a menu that has an item whose text
// equals `item` ('&' marks ignored); the user picks that item.  A rule with
// `dismiss` set applies to any menu and picks nothing, as Escape does.  An
// item that is grayed or disabled cannot be picked: the menu ends with
// nothing chosen and MenuEnd::DisabledItem, a fault.  A menu that no rule
// applies to ends at once with nothing chosen (MenuEnd::Unscripted, a
// fault).  clearUserScript removes the menu rules too, clearShownMessages
// the records, resetMachine both.
struct MenuScript {
  std::u16string item;
  bool dismiss = false;
  unsigned times = 0;  // how many menus the rule answers; 0: any number
};
WINSIM_API void scriptMenu(const MenuScript &rule);

enum class MenuEnd { Chosen, Dismissed, Unscripted, DisabledItem, MachineReset };
struct MenuItemRecord {
  UINT id = 0;  // the command, 0 for a separator or a submenu
  std::u16string text;
  UINT flags = 0;  // MF_ flags as inserted (MF_SEPARATOR, MF_GRAYED, MF_CHECKED, MF_POPUP ...)
  bool isDefault = false;
};
struct ShownMenu {
  DWORD id = 0;  // 1, 2, 3 ... in the order shown since the last reset
  DWORD threadId = 0;
  HWND owner = nullptr;
  UINT flags = 0;  // TPM_ flags
  std::vector<MenuItemRecord> items;
  UINT defaultId = 0;  // the default item's command, 0 for none
  UINT chosen = 0;     // the command picked, 0 for none
  MenuEnd end = MenuEnd::Dismissed;
  uint64_t shownAtMs = 0;
};
WINSIM_API std::vector<ShownMenu> shownMenus();
// The menus that ended as faults since the last call (kept across resets).
WINSIM_API std::vector<ShownMenu> takeMenuFaults();

// The icons of the notification area, in the order they were added.
struct TrayIconInfo {
  HWND hwnd = nullptr;
  UINT id = 0;
  UINT flags = 0;  // NIF_ flags given so far
  UINT callbackMessage = 0;
  HICON icon = nullptr;
  std::u16string tip;
  UINT version = 0;                // NIM_SETVERSION's, 0 before it
  DWORD state = 0;                 // NIS_ bits
  std::u16string infoTitle, info;  // the last balloon
  DWORD processId = 0;
};
WINSIM_API std::vector<TrayIconInfo> trayIcons();
// The user clicks an icon: its window gets the callback message posted as
// the shell posts it for the icon's version.  Before version 4, wParam is the
// icon's id and lParam the mouse message: a left click is WM_LBUTTONDOWN,
// WM_LBUTTONUP; a double click adds WM_LBUTTONDBLCLK, WM_LBUTTONUP; a right
// click WM_RBUTTONDOWN, WM_RBUTTONUP; version 3 adds NIN_SELECT after a left
// click and WM_CONTEXTMENU after a right click.  Version 4 puts the event in
// LOWORD(lParam), the id in HIWORD(lParam) and the pointer's position in
// wParam.  False when no icon matches, or it has no callback message.
enum class TrayClick { LeftClick, LeftDoubleClick, RightClick };
WINSIM_API bool clickTrayIcon(const std::u16string &tip, TrayClick click);
WINSIM_API bool clickTrayIcon(HWND hwnd, UINT id, TrayClick click);
// Waits until `count` icons are in the notification area (real time).
WINSIM_API bool waitForTrayIcons(size_t count, DWORD timeoutMs = 10000);
// ------ file dialogs
// The Open and Save As dialogs (GetOpenFileNameW, GetSaveFileNameW) are the
// scripted user's too.  Each scripted answer is used once, in the order
// scripted: the user chooses a path (a Windows path on the virtual drive;
// a bare name is taken in the dialog's initial folder) or cancels.  The
// dialog checks the choice as the real one does (OFN_FILEMUSTEXIST,
// OFN_PATHMUSTEXIST); a choice it would not accept, or a dialog shown with
// no answer left, is cancelled and recorded as a fault that
// winsim/testing_gtest.h turns into a test failure.  clearUserScript drops
// the answers, clearShownMessages the records, resetMachine both.
struct FileDialogAnswer {
  bool cancel = false;
  std::u16string path;
};
inline FileDialogAnswer userChooseFile(std::u16string path) { return {false, std::move(path)}; }
inline FileDialogAnswer userCancelFileDialog() { return {true, {}}; }
WINSIM_API void scriptOpenFile(const FileDialogAnswer &answer);

enum class FileDialogEnd {
  Chosen,          // the path was returned
  Cancelled,       // by the script
  BufferTooSmall,  // chosen, but the caller's buffer could not take it (FNERR_BUFFERTOOSMALL)
  Unscripted,      // no answer left: cancelled, a fault
  ScriptFailed,    // the dialog would not accept the chosen path: cancelled, a fault
};
struct ShownFileDialog {
  DWORD id = 0;  // 1, 2, 3 ... in the order shown since the last reset
  bool save = false;
  std::u16string title;                                           // as given; empty for the default
  std::vector<std::pair<std::u16string, std::u16string>> filter;  // (description, pattern) pairs
  DWORD filterIndex = 0;
  HWND owner = nullptr;
  bool ownerDisabled = false;  // the owner took no input while the dialog was up
  std::u16string initialDir, defaultExtension, fileGiven;
  DWORD flags = 0;
  DWORD threadId = 0;
  std::u16string answer;  // the full path chosen
  FileDialogEnd end = FileDialogEnd::Cancelled;
  std::u16string fault;
};
WINSIM_API std::vector<ShownFileDialog> shownFileDialogs();
// The file dialogs that ended as faults since the last call (kept across resets).
WINSIM_API std::vector<ShownFileDialog> takeFileDialogFaults();

// ------ HTML Help
// Every call of HtmlHelpW, in order since the last reset.
struct HtmlHelpCall {
  HWND caller = nullptr;
  std::u16string file;  // as given
  UINT command = 0;
  DWORD_PTR data = 0;
  HWND result = nullptr;
  DWORD threadId = 0;
};
WINSIM_API std::vector<HtmlHelpCall> htmlHelpCalls();
// ------------------------------------------------------------ end of the scripted user

// Conversions for tests.
WINSIM_API std::u16string toUtf16(const std::string &utf8);
WINSIM_API std::string toUtf8(const std::u16string &text);

}  // namespace winsim
