// The monitor's module-wide state and the port record.  One library
// instance serves every USB card printer of the spooler; each opened port
// has a record, kept in one list under the global lock.
#pragma once

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "shared/stream_cutter.h"
#include "usbmon/interception.h"
#include "usbmon/port_services.h"
#include "shared/wide_string.h"

namespace card::usb {

using card::WString;  // for the module's extern "C" entry points too

// Text in the platform's wide characters; the port services speak
// std::u16string, the same 16-bit units.
inline std::u16string toU16(const WString &s) { return std::u16string(s.begin(), s.end()); }

// Module-wide state.
struct Module {
  HMODULE self = nullptr;
  bool newGeneration = false;  // Windows 6 or later: messages go to the notification server
  bool lockReady = false;
  CRITICAL_SECTION lock;  // the port list and every record's printer name
  HMODULE cardres = nullptr;
  HMODULE notifysrv = nullptr;
  // SendAsyncNotification of the notification server: blocks until the
  // user has dismissed the message; its result carries no status.
  using SendAsyncNotificationFn = int(WINAPI *)(LPWSTR printerName, LPVOID payload);
  SendAsyncNotificationFn sendAsyncNotification = nullptr;
};
Module &module();

// Loads the resource library and the notification server from the spooler's
// driver directory, once.
void loadCompanions();
void freeCompanions();

class GlobalLock {
 public:
  GlobalLock() { EnterCriticalSection(&module().lock); }
  ~GlobalLock() { LeaveCriticalSection(&module().lock); }
  GlobalLock(const GlobalLock &) = delete;
  GlobalLock &operator=(const GlobalLock &) = delete;
};

inline constexpr uint32_t kPortSignature = 0x5A45;
inline constexpr DWORD kStateJobStarted = 0x01;
inline constexpr DWORD kStateDataAccepted = 0x40;
inline constexpr DWORD kDataSentMarker = 24;

// One opened port.  The spooler's job thread calls the port functions one at
// a time; queries come on other threads and look only at the job-active
// field (atomic) before they use the port.
class PortRecord : public PortServices {
 public:
  PortRecord(LPCWSTR portName, LPCWSTR printerName, const MONITOR &underlying);
  ~PortRecord() override;

  uint32_t signature = kPortSignature;
  PortRecord *next = nullptr;
  WString portName;
  DWORD state = 0;
  DWORD jobId = 0;
  volatile LONG jobActive = 0;
  bool cancelled = false;
  HANDLE printer = nullptr;  // spooler handle for job control
  HANDLE port = nullptr;     // the underlying port monitor's handle
  MONITOR under{};
  bool errorPending = false;
  DWORD dataSent = 0;
  bool ribbonClass = false;
  std::atomic<bool> jobFailed{false};  // the last job was cancelled from an error message (read by queries)
  uint8_t isReadyMode = 0;
  pacing::StreamCutter cutter;
  CaptureState capture;
  CRITICAL_SECTION io;  // one exchange with the printer at a time

  bool usb() const { return isUsbPortName_; }
  bool filePort() const { return isFilePortName_; }

  // The spooler's calls.
  BOOL startDoc(LPWSTR printerName, DWORD id, DWORD level, LPBYTE docInfo);
  BOOL write(LPBYTE buffer, DWORD size, LPDWORD written);
  BOOL endDoc();
  BOOL getPrinterData(DWORD controlId, LPWSTR valueName, LPWSTR inBuffer, DWORD inSize, LPWSTR outBuffer, DWORD outSize,
                      LPDWORD returned);

  // Reads the line status byte: false when it cannot be read.
  bool readLineStatus(uint8_t &status);
  // The job's status bits (level 1); 0 when the job cannot be read.
  DWORD jobStatus();
  // Deletes the job in the spooler.
  void deleteJob();

  // PortServices.
  std::u16string printerName() const override;
  void setPrinterName(std::u16string_view name) override;
  bool newGeneration() const override { return module().newGeneration; }
  bool writeRaw(const uint8_t *data, size_t size) override;
  long readRaw(uint8_t *out, size_t capacity) override;
  bool query(std::string_view command, uint8_t *reply, size_t capacity, size_t &length) override;
  bool carryOutRequest(LPCWSTR valueName) override;
  void setCurrentMessage(uint32_t message) override { currentMessage_ = message; }
  bool errorWait() override;
  void inform(uint32_t message, uint32_t caption, DWORD systemError) override;
  std::unique_ptr<MessageTask> startMessageTask(uint32_t message) override;
  void startLowRibbonAlert() override;
  void pause(DWORD ms) override { Sleep(ms); }

 private:
  // The query path: the command (and the error report request unless it is
  // a reset) written, the reply read into `reply`.
  bool exchange(const uint8_t *command, size_t length, bool reset, uint8_t *reply, size_t capacity, size_t &got);
  // Starts a document on the underlying port when no job holds it; the
  // returned flag says whether endQueryDocument must end it.
  bool beginQueryDocument(bool &started);
  void endQueryDocument(bool started);
  bool sendEscapeQuery(const uint8_t *command, size_t length, BYTE *out, DWORD outSize, LPDWORD returned);
  bool writePiece(const uint8_t *data, size_t size);
  void runPauseCheck(status::CommandCategory category);
  void abortCleanup();

  // A copy of the printer name, taken under the global lock.
  WString printerNameCopy() const;

  WString printerName_;
  uint32_t currentMessage_ = status::msg::kUsbPrinterError;
  bool isUsbPortName_ = false;
  bool isFilePortName_ = false;
};

// The record behind a spooler handle, or null (ERROR_INVALID_HANDLE set).
PortRecord *portFromHandle(HANDLE h);

// Messages (messages.cpp).
// Presents a message on the calling thread: a notification, or a message
// box with the text from the resource library.
enum class Presented : uint8_t {
  Shown,     // shown and answered, or the notification acknowledged
  NotShown,  // the message box could not be shown
  NoPath,    // no way to the user at all (no notification server, or it reached nobody)
};
Presented presentMessage(LPCWSTR printerName, uint32_t message, uint32_t caption, DWORD systemError = 0);
// Takes away the message shown for the printer (new generation only); false
// when no request could be sent.
bool sendCloseRequest(LPCWSTR printerName);

// A message shown by a task of its own, answered through an event.
class MessageThread : public MessageTask {
 public:
  // Null when the event or the thread cannot be made.
  static std::unique_ptr<MessageThread> start(LPCWSTR printerName, uint32_t message, uint32_t caption,
                                              bool setOnlyWhenShown = false);
  ~MessageThread() override;
  bool waitDismissed(DWORD ms) override;
  void close() override;
  // The exit code once the task has ended; false while it runs.
  bool ended(DWORD &exitCode);

  // What the task is given, with the event it sets.  This object and the
  // task share it: a task that does not end when told to (its thread is
  // terminated, and termination takes its time) must not find it freed.
  struct Block {
    WCHAR printerName[MAX_PATH] = {};
    HANDLE event = nullptr;
    uint32_t message = 0;
    uint32_t caption = 0;
    bool setOnlyWhenShown = false;  // the low-ribbon alert: only an answered box counts

    Block() = default;
    Block(const Block &) = delete;
    Block &operator=(const Block &) = delete;
    ~Block() {
      if (event) CloseHandle(event);
    }
  };

 private:
  MessageThread() = default;
  std::shared_ptr<Block> block_;
  HANDLE thread_ = nullptr;
};

void startLowRibbonAlertTasks(LPCWSTR printerName);

// The debugger output of the monitor.
void debugOut(const char *text);

}  // namespace card::usb
