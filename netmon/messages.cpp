// Messages to the user: their texts, the notification or the box, and the
// message tasks that show them.
#include "netmon/messages.h"

#include <windows.h>
#include <strsafe.h>

#include <cstdarg>
#include <memory>

#include "netmon/connection.h"
#include "shared/notification_payload.h"
#include "shared/proc_address.h"
#include "shared/status_protocol.h"

namespace card::net {

namespace {

// A task that is taken away gets this long to end by itself after the
// close request (the server's call then returns and cleans up after
// itself), and as long again to be gone after it was terminated.
constexpr DWORD kTaskEndWaitMs = 2000;

WString formatted(LPCWSTR format, ...) {
  WCHAR text[kMessageChars] = {};
  va_list args;
  va_start(args, format);
  StringCchVPrintfW(text, kMessageChars, format, args);
  va_end(args);
  return text;
}

}  // namespace

WString resourceText(uint32_t number) {
  WCHAR text[kMessageChars] = {};
  if (module().cardres) LoadStringW(module().cardres, UINT(number), text, int(kMessageChars));
  return text;
}

WString addressText(const char *address) {
  WString text;
  for (const char *c = address; c && *c; ++c) text.push_back(WCHAR(static_cast<unsigned char>(*c)));
  return text;
}

WString errorMessageText(const WString &printer, const char *address, uint32_t message) {
  return formatted(TEXT("Name: %s\r\nIP address: %s\r\n\r\n%s"), printer.c_str(), addressText(address).c_str(),
                   resourceText(message).c_str());
}

WString fileErrorText(const WString &printer, const char *address, uint32_t message, DWORD systemError) {
  return formatted(TEXT("Name: %s\r\nIP address: %s\r\n\r\n%s\r\nError Code: %d"), printer.c_str(),
                   addressText(address).c_str(), resourceText(message).c_str(), int(systemError));
}

WString lowRibbonText(const WString &printer, const char *address, long remaining) {
  return formatted(TEXT("Printer: %s\r\nIP Address: %s\r\n\r\n%s %d"), printer.c_str(), addressText(address).c_str(),
                   resourceText(status::msg::kNetLowRibbon).c_str(), int(remaining));
}

WString cacheFileErrorText(LPCWSTR path, DWORD systemError) {
  return formatted(TEXT("%s %s Error : %ld"), resourceText(status::msg::kNetFileOpen).c_str(), path ? path : TEXT(""),
                   long(systemError));
}

Presented presentText(const WString &printer, const WString &text) {
  Module &m = module();
  const WString caption = resourceText(status::msg::kNetCaption);
  if (m.newGeneration) {
    if (!m.sendAsyncNotification) {
      OutputDebugStringA("netmon: a message was not shown, the notification server is missing\n");
      return Presented::NoPath;
    }
    auto payload = std::make_unique<NotificationPayload>();
    makeLiteralMessage(*payload, printer.c_str(), text.c_str(), caption.c_str());
    WString name = printer;
    // 1: the user's session acknowledged it; 0: it reached nobody, which is
    // no answer of the user's.
    if (m.sendAsyncNotification(name.data(), payload.get()) != 1) {
      OutputDebugStringA("netmon: a message reached no user session\n");
      return Presented::NoPath;
    }
    return Presented::Answered;
  }
  const int answer = MessageBoxW(nullptr, text.c_str(), caption.c_str(),
                                 MB_OK | MB_ICONWARNING | MB_SYSTEMMODAL | MB_SETFOREGROUND | MB_TOPMOST);
  return answer == 0 ? Presented::NoPath : Presented::Answered;
}

bool sendCloseRequest(const WString &printer) {
  Module &m = module();
  if (!m.newGeneration || !m.sendAsyncNotification) return false;
  auto payload = std::make_unique<NotificationPayload>();
  makeCloseRequest(*payload, printer.c_str());
  WString name = printer;
  m.sendAsyncNotification(name.data(), payload.get());
  return true;
}

// What a task needs, owned by its MessageTask: the task may be terminated
// at any point, so it holds nothing of its own.  The event is the block's
// own handle to the caller's event: a task that outlives its stop (its block
// is left behind then) sets the event through it, never through a handle
// the caller has closed and the system may have given to another object.
struct MessageTask::Block {
  WString printer;
  WString text;  // empty: formatted from `message` in the task
  char address[kMaxAddressChars + 1] = {};
  uint32_t message = 0;
  HANDLE event = nullptr;

  Block() = default;
  Block(const Block &) = delete;
  Block &operator=(const Block &) = delete;
  ~Block() {
    if (event) CloseHandle(event);
  }
  // False when the caller's event cannot be had.
  bool takeEvent(HANDLE callers) {
    return !callers ||
           DuplicateHandle(GetCurrentProcess(), callers, GetCurrentProcess(), &event, 0, FALSE, DUPLICATE_SAME_ACCESS);
  }
};

namespace {

DWORD WINAPI messageTaskMain(LPVOID param) {
  auto *block = static_cast<MessageTask::Block *>(param);
  WString text = block->text;
  if (text.empty() && block->message > 0) {
    uint32_t message = block->message;
    // A printer that does not even answer the probe is not in a printer
    // error but out of reach: the message says so.
    if (!probeReachable(block->address)) message = status::msg::kCommunication;
    text = errorMessageText(block->printer, block->address, message);
  }
  // A message that reached nobody ends the wait as a dismissed one does: no
  // user is there to clear the error or to cancel the job, and the job must
  // not wait for one without end.
  presentText(block->printer, text);
  if (block->event) SetEvent(block->event);
  return kTaskAnswered;
}

}  // namespace

MessageTask *MessageTask::launch(Block *block) {
  std::unique_ptr<Block> owned(block);
  std::unique_ptr<MessageTask> task(new MessageTask);
  task->thread_ = CreateThread(nullptr, 0, messageTaskMain, owned.get(), 0, nullptr);
  if (!task->thread_) return nullptr;
  task->block_ = owned.release();
  return task.release();
}

MessageTask *MessageTask::startError(const PortEntry &p, uint32_t message, HANDLE event) {
  auto block = std::make_unique<Block>();
  block->printer = p.printerNameCopy();
  StringCchCopyA(block->address, sizeof block->address, p.address);
  block->message = message;
  if (!block->takeEvent(event)) return nullptr;
  return launch(block.release());
}

MessageTask *MessageTask::startText(const WString &printer, const WString &text, HANDLE event) {
  auto block = std::make_unique<Block>();
  block->printer = printer;
  block->text = text;
  if (!block->takeEvent(event)) return nullptr;
  return launch(block.release());
}

bool MessageTask::ended(DWORD &exitCode) const {
  DWORD code = 0;
  if (!thread_ || !GetExitCodeThread(thread_, &code) || code == STILL_ACTIVE) return false;
  exitCode = code;
  return true;
}

void MessageTask::stop() {
  if (!thread_) return;
  DWORD code = 0;
  if (!ended(code)) {
    if (sendCloseRequest(block_->printer)) WaitForSingleObject(thread_, kTaskEndWaitMs);
    if (!ended(code)) TerminateThread(thread_, 0);
  }
  // The thread reads its block until it is gone.
  if (WaitForSingleObject(thread_, kTaskEndWaitMs) != WAIT_OBJECT_0) {
    // A thread that will not go keeps its block: a leak, not a use of
    // freed memory.
    block_ = nullptr;
  }
  CloseHandle(thread_);
  thread_ = nullptr;
}

MessageTask::~MessageTask() {
  stop();
  delete block_;
}

void stopTask(MessageTask *&task) {
  if (!task) return;
  task->stop();
  delete task;
  task = nullptr;
}

void showNotice(PortEntry &p, const WString &text) {
  stopTask(p.notice);
  p.notice = MessageTask::startText(p.printerNameCopy(), text, nullptr);
}

void stopNotice(PortEntry &p) { stopTask(p.notice); }

AsSpooler::AsSpooler() {
  // The identity switches are the spooler's own, taken from its library in
  // the process that loaded the monitor.
  spooler_ = LoadLibraryW(TEXT("spoolss.dll"));
  if (!spooler_) return;
  auto revert = procAddress<HANDLE(WINAPI *)(VOID)>(spooler_, "RevertToPrinterSelf");
  impersonate_ = procAddress<BOOL(WINAPI *)(HANDLE)>(spooler_, "ImpersonatePrinterClient");
  if (revert && impersonate_) client_ = revert();
}

AsSpooler::~AsSpooler() {
  const DWORD error = GetLastError();
  if (client_) impersonate_(client_);
  if (spooler_) FreeLibrary(spooler_);
  SetLastError(error);
}

}  // namespace card::net
