// Messages to the user.  The spooler of Windows 6 and later runs where no
// user sees a window: there every message travels as a literal notification
// to the notification server, which blocks until the user has answered; on
// older systems the monitor shows a message box itself.  Either way the
// answer takes as long as the user does, so a message that the job waits on
// is shown by a message task, a thread of its own, while the job thread goes
// on polling the printer.
#pragma once

#include <windows.h>

#include <cstdint>

#include "netmon/monitor.h"

namespace card::net {

// The longest message text, in characters (with its terminator).
inline constexpr size_t kMessageChars = 1024;
// A message task's exit code once the user has answered its message.
inline constexpr DWORD kTaskAnswered = 2;

// Text of a string of the resource library; empty when it has none.
WString resourceText(uint32_t number);
// The printer's address as text for a message.
WString addressText(const char *address);

// The message formats: an error message; a file that cannot be opened, with
// the system error; the low ribbon alert with the remaining count; the
// ribbon cache file that cannot be written.
WString errorMessageText(const WString &printer, const char *address, uint32_t message);
WString fileErrorText(const WString &printer, const char *address, uint32_t message, DWORD systemError);
WString lowRibbonText(const WString &printer, const char *address, long remaining);
WString cacheFileErrorText(LPCWSTR path, DWORD systemError);

enum class Presented : uint8_t {
  Answered,  // the user dismissed it (or a close request took it away)
  NoPath,    // it reached nobody: no notification server, no user session, no box
};
// Shows `text` to the user for the printer and returns once it is answered:
// a literal notification (captioned with the printer's name, titled with
// the monitor's caption) or a system-modal box.  Blocks: message tasks only.
Presented presentText(const WString &printer, const WString &text);
// Takes the printer's open notification away (Windows 6 and later); false
// when there is no notification server to ask.
bool sendCloseRequest(const WString &printer);

// One message shown by a thread of its own.  The task sets `event` (when
// given) once the user has answered, or once the message turned out to reach
// nobody, and then ends with kTaskAnswered.
class MessageTask {
 public:
  // An error message by number, formatted for the port's printer.  The
  // number becomes 57 when the printer does not answer the probe.
  static MessageTask *startError(const PortEntry &p, uint32_t message, HANDLE event);
  // A text formatted already.
  static MessageTask *startText(const WString &printer, const WString &text, HANDLE event);

  ~MessageTask();
  MessageTask(const MessageTask &) = delete;
  MessageTask &operator=(const MessageTask &) = delete;

  // Whether the task has ended, and its exit code.
  bool ended(DWORD &exitCode) const;
  // Takes the message away: a close request for a notification still
  // shown, then the task is terminated; returns once the thread is gone.
  void stop();

  struct Block;

 private:
  MessageTask() = default;
  static MessageTask *launch(Block *block);
  Block *block_ = nullptr;
  HANDLE thread_ = nullptr;
};

// Stops and frees a task; the pointer becomes null.
void stopTask(MessageTask *&task);

// Shows an informational message that nothing waits for (a file that
// cannot be written): it replaces the port's earlier one, if still shown.
void showNotice(PortEntry &p, const WString &text);
// Takes the port's informational message away.
void stopNotice(PortEntry &p);

// The spooler's own identity for the life of the object: files and
// connections are the spooler's, not the printing user's.  `active()` is
// false when the identity could not be taken.
class AsSpooler {
 public:
  AsSpooler();
  ~AsSpooler();
  AsSpooler(const AsSpooler &) = delete;
  AsSpooler &operator=(const AsSpooler &) = delete;
  bool active() const { return client_ != nullptr; }

 private:
  HMODULE spooler_ = nullptr;
  HANDLE client_ = nullptr;
  BOOL(WINAPI *impersonate_)(HANDLE) = nullptr;
};

}  // namespace card::net
