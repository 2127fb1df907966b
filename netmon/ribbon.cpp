// The ribbon checks at job start: which ribbon and which model the printer
// has (written to the ribbon cache file for the rendering driver), a wait
// with a message while no ribbon is loaded, and the low ribbon alert.
#include <windows.h>
#include <shfolder.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "netmon/channels.h"
#include "netmon/job_support.h"
#include "netmon/messages.h"
#include "netmon/status_channel.h"
#include "shared/proc_address.h"
#include "shared/ribbon_cache.h"
#include "shared/status_commands.h"
#include "shared/status_protocol.h"

namespace card::net {

namespace {

constexpr size_t kShortReplyBytes = 32;
constexpr size_t kLengthReplyBytes = 120;
// The reader of the cache file takes no more of the model text.
constexpr size_t kCacheModelChars = 31;
constexpr DWORD kNoRibbonPollMs = 1000;
// The alert goes away by itself after this long.
constexpr DWORD kAlertShowMs = 5000;
// The controller ends within this long of being asked: the alert's own
// time, and the time to take its message away.
constexpr DWORD kAlertEndWaitMs = kAlertShowMs + 6000;
// The network monitor writes the cache file's name in lower case (names
// compare without case).
constexpr WCHAR kCacheFileName[] = TEXT("\\cardribbon.ini");
// The ribbon codes that get no remaining-count query.
constexpr long kNoCountCode = 1;
constexpr long kUnknownCode = -1;

// The code of an ACK-terminated "\e!RIBBON\r" reply; false without one.
bool queryRibbon(PortEntry &p, size_t capacity, long &code) {
  uint8_t reply[kLengthReplyBytes];
  const size_t length = exchange(p, status::kCmdRibbon, reply, std::min(capacity, sizeof reply));
  const status::ValueNumber v = status::readValueNumber(reply, length);
  if (!v.acked) return false;
  code = v.value;
  return true;
}

// Windows 6 and later keep the file among the all-users documents, older
// systems in the all-users application data.
bool windows6OrLater() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"), 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return false;
  WCHAR version[32] = {};
  DWORD size = sizeof version - sizeof(WCHAR);
  DWORD type = 0;
  const bool read = RegQueryValueExW(key, TEXT("CurrentVersion"), nullptr, &type, reinterpret_cast<LPBYTE>(version),
                                     &size) == ERROR_SUCCESS &&
                    type == REG_SZ;
  RegCloseKey(key);
  if (!read) return false;
  for (const WCHAR *c = version; c[0] && c[1]; ++c)
    if (c[0] == '6' && c[1] == '.') return true;
  return false;
}

bool cacheFilePath(WCHAR (&path)[MAX_PATH]) {
  HMODULE shfolder = LoadLibraryW(TEXT("SHFolder.dll"));
  if (!shfolder) return false;
  auto getFolderPath = procAddress<PFNSHGETFOLDERPATHW>(shfolder, "SHGetFolderPathW");
  const int folder = windows6OrLater() ? CSIDL_COMMON_DOCUMENTS : CSIDL_COMMON_APPDATA;
  bool ok = getFolderPath && SUCCEEDED(getFolderPath(nullptr, folder, nullptr, 0, path));
  FreeLibrary(shfolder);
  const size_t used = ok ? size_t(lstrlenW(path)) : 0;
  const size_t name = sizeof kCacheFileName / sizeof(WCHAR);  // with its terminator
  if (!ok || used + name > MAX_PATH) return false;
  std::copy(kCacheFileName, kCacheFileName + name, path + used);
  return true;
}

void writeCacheFile(PortEntry &p, long code, const char *model) {
  AsSpooler identity;
  if (!identity.active()) return;
  WCHAR path[MAX_PATH];
  if (!cacheFilePath(path)) return;
  char content[64];
  const size_t size = formatRibbonCache(code, model, content, sizeof content);
  HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, 0);
  DWORD error = ERROR_SUCCESS;
  if (file == INVALID_HANDLE_VALUE) {
    error = GetLastError();
  } else {
    DWORD written = 0;
    if (!WriteFile(file, content, DWORD(size), &written, nullptr) || written != size)
      error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
    CloseHandle(file);
  }
  if (error != ERROR_SUCCESS) showNotice(p, cacheFileErrorText(path, error));
}

// Waits with the no-ribbon message until the printer reports a ribbon or the
// user dismisses the message; the last code read.
long waitForRibbon(PortEntry &p) {
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!event) return 0;
  stopTask(p.messageTask);
  p.messageTask = MessageTask::startError(p, status::msg::kNetNoRibbon, event);
  long code = 0;
  if (p.messageTask) {
    DWORD exitCode = 0;
    while (code == 0) {
      if (WaitForSingleObject(event, kNoRibbonPollMs) == WAIT_OBJECT_0) break;
      // A task that ended has nothing more to wait for.
      if (p.messageTask->ended(exitCode)) break;
      long now = 0;
      if (queryRibbon(p, kShortReplyBytes, now)) code = now;
    }
    stopTask(p.messageTask);
  }
  CloseHandle(event);
  return code;
}

struct AlertBlock {
  WString printer;
  WString text;
  HANDLE stop = nullptr;
};

DWORD WINAPI alertController(LPVOID param) {
  std::unique_ptr<AlertBlock> block(static_cast<AlertBlock *>(param));
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!event) return 0;
  MessageTask *task = MessageTask::startText(block->printer, block->text, event);
  if (task) {
    HANDLE waits[2] = {event, block->stop};
    WaitForMultipleObjects(2, waits, FALSE, kAlertShowMs);
    stopTask(task);
  }
  CloseHandle(event);
  return 0;
}

void startLowRibbonAlert(PortEntry &p) {
  stopLowRibbonAlert(p);
  auto block = std::make_unique<AlertBlock>();
  block->printer = p.printerNameCopy();
  block->text = lowRibbonText(block->printer, p.address, p.remainingRibbon);
  block->stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!block->stop) return;
  HANDLE stop = block->stop;
  HANDLE thread = CreateThread(nullptr, 0, alertController, block.get(), 0, nullptr);
  if (!thread) {
    CloseHandle(stop);
    return;
  }
  block.release();
  MonitorLock lock;
  p.ribbonAlert = thread;
  p.ribbonAlertStop = stop;
}

// The printer finishes what it is busy with before it is asked; one still
// busy when the busy wait gives up is in error, and the error wait shows it
// until it clears (or the user cancels the job, which the job path then sees).
void waitUntilNotBusy(PortEntry &p) {
  busyWait(p);
  if (!statusBusy(p.lastStatus)) return;
  p.message = status::messageFromLineStatus(p.lastStatus, status::Monitor::Network);
  errorWait(p);
}

}  // namespace

void checkRibbon(PortEntry &p) {
  long code = 0;
  waitUntilNotBusy(p);
  if (!queryRibbon(p, kShortReplyBytes, code)) return;
  waitUntilNotBusy(p);
  char model[kCacheModelChars + 1] = {};
  uint8_t reply[kShortReplyBytes];
  const size_t length = exchange(p, status::kCmdVersion, reply, sizeof reply);
  const status::ValueText text = status::readValueText(reply, length);
  if (text.acked && length > 0) {
    std::memcpy(model, text.text, std::min(text.length, kCacheModelChars));
    MonitorLock lock;
    std::memset(p.model, 0, sizeof p.model);
    std::memcpy(p.model, text.text, std::min(text.length, kMaxModelChars));
  }
  writeCacheFile(p, code, model);
  if (code == 0) {
    code = waitForRibbon(p);
    writeCacheFile(p, code, model);
  }
  p.ribbonClass = ribbonWithoutCount(code);
}

void checkRemainingRibbon(PortEntry &p) {
  p.remainingRibbon = kUnknownRemainingRibbon;
  if (p.ribbonClass) return;
  long code = 0;
  if (!queryRibbon(p, kLengthReplyBytes, code) || code == kNoCountCode || code == kUnknownCode) return;
  uint8_t reply[kLengthReplyBytes];
  const size_t length = exchange(p, status::kCmdRibbonLength, reply, sizeof reply);
  if (length == 0) return;
  p.remainingRibbon = status::readLeadingNumber(reply, length);
  if (lowRibbonAlert(p.remainingRibbon)) startLowRibbonAlert(p);
}

void stopLowRibbonAlert(PortEntry &p) {
  HANDLE thread = nullptr, stop = nullptr;
  {
    MonitorLock lock;
    std::swap(thread, p.ribbonAlert);
    std::swap(stop, p.ribbonAlertStop);
  }
  if (stop) SetEvent(stop);
  // The controller owns its block: a controller that does not end keeps it.
  if (thread) {
    WaitForSingleObject(thread, kAlertEndWaitMs);
    CloseHandle(thread);
  }
  if (stop) CloseHandle(stop);
}

}  // namespace card::net
