// Messages to the user.  The spooler of Windows 6 and later runs where no
// user sees a window, so there the message travels to the notification
// server; older systems show a message box in the spooler's process.  A
// message that waits for the user's answer runs in a task of its own, so
// that the job thread can keep polling the printer and take the message
// away when the error clears.
#include <windows.h>
#include <strsafe.h>

#include "shared/notification_payload.h"
#include "usbmon/error_wait.h"
#include "usbmon/monitor.h"

namespace card::usb {

namespace {

constexpr size_t kMessageChars = 1024;
constexpr size_t kOtherMessageChars = 256;
// Error messages get the long buffer; the informational ones are short.
bool isErrorMessage(uint32_t message) {
  return message < 100 || message == status::msg::kUsbNoRibbon || message == 2207 || message == 2208;
}

}  // namespace

void debugOut(const char *text) { OutputDebugStringA(text); }

Presented presentMessage(LPCWSTR printerName, uint32_t message, uint32_t caption, DWORD systemError) {
  Module &m = module();
  if (m.newGeneration) {
    if (!m.sendAsyncNotification) {
      // No way to the user's session: the debugger output is all that is left.
      char line[96];
      StringCchPrintfA(line, 96, "usbmon: message %u not shown, the notification server is missing", message);
      debugOut(line);
      return Presented::NoPath;
    }
    auto payload = std::make_unique<NotificationPayload>();
    makeResourceMessage(*payload, printerName, int32_t(message), int32_t(caption));
    WString name = printerName ? printerName : TEXT("");
    // The server answers 1 once the user's session acknowledged the message
    // (dismissed by the user or taken away by a close request) and 0 when it
    // reached nobody: that is no answer of the user's, so the wait goes on
    // polling the printer alone, as without a server.
    if (m.sendAsyncNotification(name.data(), payload.get()) != 1) {
      char line[96];
      StringCchPrintfA(line, 96, "usbmon: message %u reached no user session", message);
      debugOut(line);
      return Presented::NoPath;
    }
    return Presented::Shown;
  }
  WCHAR text[kMessageChars] = {};
  const int chars = int(isErrorMessage(message) ? kMessageChars : kOtherMessageChars);
  if (systemError)
    StringCchPrintfW(text, kMessageChars, TEXT("Error Code =%d"), int(systemError));
  else if (m.cardres)
    LoadStringW(m.cardres, UINT(message), text, chars);
  const int answer = MessageBoxW(GetActiveWindow(), text, printerName,
                                 MB_OK | MB_ICONWARNING | MB_SYSTEMMODAL | MB_SETFOREGROUND | MB_TOPMOST);
  return answer == IDOK ? Presented::Shown : Presented::NotShown;
}

bool sendCloseRequest(LPCWSTR printerName) {
  Module &m = module();
  if (!m.newGeneration || !m.sendAsyncNotification) return false;
  auto payload = std::make_unique<NotificationPayload>();
  makeCloseRequest(*payload, printerName);
  WString name = printerName ? printerName : TEXT("");
  m.sendAsyncNotification(name.data(), payload.get());
  return true;
}

namespace {

DWORD WINAPI messageTask(LPVOID param) {
  // The task's own share of the block; a terminated task leaves it behind.
  std::unique_ptr<std::shared_ptr<MessageThread::Block>> share(
      static_cast<std::shared_ptr<MessageThread::Block> *>(param));
  MessageThread::Block *block = share->get();
  const Presented shown = presentMessage(block->printerName, block->message, block->caption);
  // Without any way to the user nobody can answer: the waiting side goes on
  // polling the printer alone.
  if (shown == Presented::NoPath) return 0;
  if (!block->setOnlyWhenShown || shown == Presented::Shown) SetEvent(block->event);
  return kTaskDismissed;
}

// A terminated task gets this long to be gone before its handle is closed.
constexpr DWORD kTaskEndWaitMs = 2000;

}  // namespace

std::unique_ptr<MessageThread> MessageThread::start(LPCWSTR printerName, uint32_t message, uint32_t caption,
                                                    bool setOnlyWhenShown) {
  std::unique_ptr<MessageThread> t(new MessageThread);
  t->block_ = std::make_shared<Block>();
  Block &b = *t->block_;
  b.event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!b.event) return nullptr;
  StringCchCopyW(b.printerName, MAX_PATH, printerName ? printerName : TEXT(""));
  b.message = message;
  b.caption = caption;
  b.setOnlyWhenShown = setOnlyWhenShown;
  auto share = std::make_unique<std::shared_ptr<Block>>(t->block_);
  t->thread_ = CreateThread(nullptr, 0, messageTask, share.get(), 0, nullptr);
  if (!t->thread_) return nullptr;
  share.release();  // the task's now
  return t;
}

MessageThread::~MessageThread() { close(); }

bool MessageThread::waitDismissed(DWORD ms) { return WaitForSingleObject(block_->event, ms) == WAIT_OBJECT_0; }

bool MessageThread::ended(DWORD &exitCode) {
  if (!thread_) return false;
  DWORD code = 0;
  if (!GetExitCodeThread(thread_, &code) || code == STILL_ACTIVE) return false;
  exitCode = code;
  return true;
}

void MessageThread::close() {
  if (!thread_) return;
  DWORD code = 0;
  if (!ended(code)) {
    // The close request takes the notification away, and the task's call
    // returns with the acknowledgement: let it end by itself, so that the
    // server's call cleans up after itself.  A message box, or a task that
    // does not end, goes with its thread.
    if (sendCloseRequest(block_->printerName)) WaitForSingleObject(thread_, kTaskEndWaitMs);
    if (!ended(code)) TerminateThread(thread_, 0);
  }
  // Termination is asynchronous; the task keeps its share of the block
  // whenever it goes.
  WaitForSingleObject(thread_, kTaskEndWaitMs);
  CloseHandle(thread_);
  thread_ = nullptr;
}

namespace {

constexpr DWORD kLowRibbonShowMs = 10000;

struct AlertBlock {
  WString printerName;
};

// The low-ribbon alert's controller: the alert is informational and goes
// away by itself after a while.
DWORD WINAPI lowRibbonController(LPVOID param) {
  std::unique_ptr<AlertBlock> block(static_cast<AlertBlock *>(param));
  auto task =
      MessageThread::start(block->printerName.c_str(), status::msg::kUsbLowRibbon, status::msg::kUsbCaption, true);
  if (!task) return 0;
  task->waitDismissed(kLowRibbonShowMs);
  task->close();
  return 0;
}

}  // namespace

void startLowRibbonAlertTasks(LPCWSTR printerName) {
  auto block = std::make_unique<AlertBlock>();
  block->printerName = printerName ? printerName : TEXT("");
  HANDLE t = CreateThread(nullptr, 0, lowRibbonController, block.get(), 0, nullptr);
  if (!t) return;
  block.release();
  CloseHandle(t);
}

}  // namespace card::usb
