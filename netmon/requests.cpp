// The prefixed requests of the configuration module ("PrintFile:",
// "sendcmds:", "download:", "SetPrinterName:"), passed as printer-data value
// names or built by a capture job at its end.  Each names a file that the
// monitor sends itself on the port's open data channel, every piece in its
// own framed message.  A file or transfer failure is shown to the user with
// the printer's name and address and makes the request fail.
#include <windows.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "netmon/channels.h"
#include "netmon/connection.h"
#include "netmon/framing.h"
#include "netmon/job_support.h"
#include "netmon/messages.h"
#include "shared/command_file.h"
#include "shared/firmware_image.h"
#include "shared/glue/monitor_files.h"
#include "shared/prefixed_requests.h"
#include "shared/status_commands.h"
#include "shared/status_protocol.h"

namespace card::net {

namespace {

namespace msg = status::msg;
using interception::WideView;

// A print file is read and sent in pieces of the largest single send.
constexpr DWORD kPrintChunk = DWORD(kMaxFramePayload);
// The printer's network interface is given this long after each piece of a
// print file.
constexpr DWORD kPrintChunkPauseMs = 500;
// A whole print file keeps the printer busy this long before it answers
// again (a 64-bit machine waits as long once more); so does a printer that
// restarts with a new firmware image.
constexpr DWORD kSettleMs = 15000;
// A command file line's reply: this long for each read, this many reads.
constexpr DWORD kLineReplyWaitS = 14;
constexpr int kLineReplyReads = 4;

struct FileCloser {
  void operator()(HANDLE h) const {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};
using File = std::unique_ptr<void, FileCloser>;

struct HeapFreer {
  void operator()(BYTE *p) const { HeapFree(GetProcessHeap(), 0, p); }
};
using HeapBlock = std::unique_ptr<BYTE, HeapFreer>;

HeapBlock heapBlock(SIZE_T size) { return HeapBlock(static_cast<BYTE *>(HeapAlloc(GetProcessHeap(), 0, size))); }

// The file a request names, opened for reading; others may read it too.  The
// argument ends the value name, so it is terminated where the view ends.
File openRequestFile(WideView path) {
  HANDLE h = monitorfiles::openRequestFile(path.data());
  return File(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

// Shows the message for the port's printer (with the system error when one
// is given) and fails, leaving the thread's last error as the failure set
// it.  The message is a notice of its own: the request does not wait for the
// user to read it.
bool failWith(PortEntry &p, uint32_t message, DWORD systemError = 0) {
  const DWORD error = GetLastError();
  const WString printer = p.printerNameCopy();
  showNotice(p, systemError ? fileErrorText(printer, p.address, message, systemError)
                            : errorMessageText(printer, p.address, message));
  SetLastError(error);
  return false;
}

// The printer name is the caption of every message of the request and the
// name its notifications go under: without it nothing is sent.
bool hasPrinterName(const PortEntry &p) {
  if (!p.printerNameCopy().empty()) return true;
  SetLastError(ERROR_INVALID_PRINTER_NAME);
  return false;
}

// The file's size; an empty file is refused (ERROR_HANDLE_EOF): sending
// nothing and reporting the file as sent would hide a wrong file.
bool fileSize(HANDLE file, uint64_t &size) {
  LARGE_INTEGER s{};
  if (!GetFileSizeEx(file, &s)) return false;
  size = uint64_t(s.QuadPart);
  if (size > 0) return true;
  SetLastError(ERROR_HANDLE_EOF);
  return false;
}

bool sendFailed(PortEntry &p, int error) {
  SetLastError(error ? DWORD(error) : ERROR_WRITE_FAULT);
  return failWith(p, msg::kNetPrinterWrite);
}

bool printFile(PortEntry &p, WideView path) {
  if (!hasPrinterName(p)) return false;
  File file = openRequestFile(path);
  if (!file) return failWith(p, msg::kNetFileOpen);
  uint64_t size = 0;
  if (!fileSize(file.get(), size)) return failWith(p, msg::kNetFileSize);
  HeapBlock buffer = heapBlock(kPrintChunk);
  if (!buffer) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return failWith(p, msg::kNetFileSize);
  }
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), buffer.get(), kPrintChunk, &got, nullptr)) return failWith(p, msg::kNetFileSize);
    if (got == 0) break;
    Sleep(kPrintChunkPauseMs);
    // The printer refusing a piece would leave it with part of a file: the
    // request fails rather than reporting the file as sent.
    if (int error = sendFramed(p.data, buffer.get(), got)) return sendFailed(p, error);
  }
  file.reset();
  Sleep(kSettleMs);
  if (monitorfiles::nativeProcessorIsX64()) Sleep(kSettleMs);
  return errorWait(p);
}

// One line of a command file: the command, the error report request, and
// the printer's answer to it.
bool sendCommandLine(PortEntry &p, const std::string &command) {
  if (int error = sendCommand(p, command)) return sendFailed(p, error);
  const std::string_view report = status::kCmdErrorReportOther;
  if (int error = sendFramed(p.data, report.data(), report.size())) return sendFailed(p, error);
  uint8_t reply[kReceiveBytes];
  size_t length = 0;
  for (int read = 0; read < kLineReplyReads && length == 0; ++read)
    length = readReply(p, reply, sizeof reply, kLineReplyWaitS);
  if (length == 0) {
    SetLastError(ERROR_READ_FAULT);
    return failWith(p, msg::kNetPrinterRead);
  }
  if (status::classifyReply(reply, length) == status::ReplyKind::Error) {
    p.message = status::messageForErrorReply(reply, length, status::Monitor::Network);
    if (!errorWait(p)) {
      SetLastError(ERROR_PRINT_CANCELLED);
      return false;
    }
  }
  return true;
}

bool sendCommands(PortEntry &p, WideView path) {
  if (!hasPrinterName(p)) return false;
  File file = openRequestFile(path);
  if (!file) return failWith(p, msg::kNetFileOpen);
  uint64_t size = 0;
  if (!fileSize(file.get(), size)) return failWith(p, msg::kNetFileOpen);
  // A command file is read whole; one too large to hold is a memory failure.
  HeapBlock content = size <= MAXDWORD ? heapBlock(SIZE_T(size)) : nullptr;
  if (!content) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return failWith(p, msg::kNetMemory);
  }
  DWORD got = 0;
  if (!ReadFile(file.get(), content.get(), DWORD(size), &got, nullptr)) return failWith(p, msg::kNetFileRead);
  if (got != size) {
    SetLastError(ERROR_HANDLE_EOF);
    return failWith(p, msg::kNetFileRead);
  }
  file.reset();
  std::vector<std::string> commands;
  try {
    // A bare ESC CR of an empty line is not sent.
    commands = interception::commandFileCommands(content.get(), got, true);
  } catch (const std::bad_alloc &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return failWith(p, msg::kNetMemory);
  }
  content.reset();
  for (const std::string &command : commands)
    if (!sendCommandLine(p, command)) return false;
  return true;
}

// The firmware image comes from the file; each piece goes in a framed
// message of its own.
class FileToChannel : public interception::FirmwareLink {
 public:
  FileToChannel(HANDLE file, PortEntry &p) : file_(file), p_(p) {}
  long readImage(uint8_t *out, size_t capacity) override {
    DWORD got = 0;
    if (!ReadFile(file_, out, DWORD(capacity), &got, nullptr)) return -1;
    if (got == 0) SetLastError(ERROR_HANDLE_EOF);
    return long(got);
  }
  bool send(const uint8_t *data, size_t size) override {
    sendError = sendFramed(p_.data, data, size);
    return sendError == 0;
  }
  int sendError = 0;

 private:
  HANDLE file_;
  PortEntry &p_;
};

bool download(PortEntry &p, WideView path) {
  File file = openRequestFile(path);
  if (!file) return failWith(p, msg::kNetFileOpen, GetLastError());
  uint64_t size = 0;
  if (!fileSize(file.get(), size)) return failWith(p, msg::kNetFileSize);
  FileToChannel link(file.get(), p);
  const interception::FirmwareResult result =
      interception::sendFirmwareImage(size, interception::kNetFirmwareChunk, link);
  file.reset();
  switch (result) {
    case interception::FirmwareResult::Sent: break;
    case interception::FirmwareResult::TooLarge:
      SetLastError(ERROR_FILE_TOO_LARGE);
      return failWith(p, msg::kNetFileSize);
    case interception::FirmwareResult::ReadFailed: return failWith(p, msg::kNetFileSize);
    // A piece the printer did not get leaves it with a broken image: the
    // request fails rather than reporting the image as sent.
    case interception::FirmwareResult::WriteFailed: return sendFailed(p, link.sendError);
    // The image and its end marker arrived; a printer that takes a new image
    // drops its connections while it writes the image and starts afresh, so
    // the closing CR finding the channel gone is the sign of it: it is given
    // the time to come back.
    case interception::FirmwareResult::TerminatorFailed: Sleep(kSettleMs); break;
  }
  return true;
}

}  // namespace

bool isPrefixedRequest(LPCWSTR valueName) { return interception::isPrefixedRequest(valueName); }

bool handlePrefixedRequest(PortEntry &p, LPCWSTR valueName) {
  const interception::PrefixedRequest request = interception::parsePrefixedRequest(valueName);
  switch (request.kind) {
    case interception::RequestKind::PrintFile: return printFile(p, request.argument);
    case interception::RequestKind::SendCommands: return sendCommands(p, request.argument);
    case interception::RequestKind::Download: return download(p, request.argument);
    case interception::RequestKind::SetPrinterName: {
      // The name changes; the request itself reports failure, and callers
      // do not rely on its result.
      const WString name(request.argument);
      p.setPrinterName(name.c_str());
      SetLastError(ERROR_NOT_SUPPORTED);
      return false;
    }
    case interception::RequestKind::None: break;
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return false;
}

}  // namespace card::net
