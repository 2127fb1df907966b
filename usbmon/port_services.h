// What the job-start checks, the prefixed requests and the capture jobs need
// of an open port.  The port session implements it over the port record and
// the underlying port monitor; tests implement it over a scripted printer.
// Every call is made on the thread that runs the spooler call in progress.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "shared/status_protocol.h"

namespace card::usb {

// A message shown in its own task while the caller keeps working (the
// no-ribbon wait).  Destroying it closes the message if it is still shown.
class MessageTask {
 public:
  virtual ~MessageTask() = default;
  // Waits up to `ms` for the user to dismiss the message: true when it was
  // dismissed, false when the time ran out.
  virtual bool waitDismissed(DWORD ms) = 0;
  // Takes the message away (the close request, then the task ends).
  virtual void close() = 0;
};

class PortServices {
 public:
  virtual ~PortServices() = default;

  // The port's printer-name copy: the caption of its messages.
  virtual std::u16string printerName() const = 0;
  // Replaces it (the global lock is taken inside).
  virtual void setPrinterName(std::u16string_view name) = 0;
  // Windows 6 or later: messages go to the notification server, the ribbon
  // cache file to the common documents folder.
  virtual bool newGeneration() const = 0;

  // Writes all of `size` bytes straight to the underlying port (no pacing),
  // repeating partial writes; false when a write fails.
  virtual bool writeRaw(const uint8_t *data, size_t size) = 0;
  // One read of the underlying port: the bytes read (0 when none came), -1
  // when the read call failed.
  virtual long readRaw(uint8_t *out, size_t capacity) = 0;
  // A query through the port's own query path (the command is written, the
  // reply read): false when the printer could not be asked or gave nothing.
  virtual bool query(std::string_view command, uint8_t *reply, size_t capacity, size_t &length) = 0;

  // A prefixed request passed through the port's own GetPrinterDataFromPort
  // (which starts and ends a document on the underlying port around it when
  // no job is active), with a 32-byte reply buffer; its result.
  virtual bool carryOutRequest(LPCWSTR valueName) = 0;

  // The port's current message number, which an error reply replaces.
  virtual void setCurrentMessage(uint32_t message) = 0;
  // The error wait: the current message until the error clears (true) or the
  // user cancels the job (false).
  virtual bool errorWait() = 0;

  // An informational message, shown on the calling thread.  With a non-zero
  // `systemError` a message box shows "Error Code =%d" with it instead of the
  // message's text.
  virtual void inform(uint32_t message, uint32_t caption = status::msg::kUsbCaption, DWORD systemError = 0) = 0;
  // The no-ribbon message in its own task.  Null when the task cannot start.
  virtual std::unique_ptr<MessageTask> startMessageTask(uint32_t message) = 0;
  // The low-ribbon alert: shown in its own tasks for at most 10 s; returns at once.
  virtual void startLowRibbonAlert() = 0;

  // Sleep on the machine's clock.
  virtual void pause(DWORD ms) = 0;
};

}  // namespace card::usb
