// The prefixed requests and capture jobs over the system: the files they
// name, the temp file of a capture job, and the printer through the port.
#include "usbmon/interception.h"

#include <new>
#include <string>
#include <vector>

#include "shared/command_file.h"
#include "shared/firmware_image.h"
#include "shared/glue/capture_file.h"
#include "shared/glue/monitor_files.h"
#include "shared/prefixed_requests.h"
#include "shared/status_commands.h"
#include "shared/status_protocol.h"

namespace card::usb {

namespace {

using namespace interception;

namespace msg = status::msg;

// Reads and writes of a file or the port go in pieces of this size.
constexpr DWORD kTransferChunk = 4096;
// The printer needs this long after a whole print file or firmware image
// before it answers again; a 64-bit machine's printer drivers are given as
// long once more for a print file.
constexpr DWORD kSettleMs = 10000;
// A command file line's reply read is tried this many times.
constexpr int kReplyReadTries = 4;
constexpr DWORD kReplyRetryMs = 10;
constexpr size_t kReplyCapacity = 128;

// A file handle closed when it goes out of scope.
class FileHandle {
 public:
  explicit FileHandle(HANDLE h) : h_(h) {}
  ~FileHandle() { close(); }
  FileHandle(const FileHandle &) = delete;
  FileHandle &operator=(const FileHandle &) = delete;
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
  void close() {
    if (valid()) CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE h_;
};

// A block from the process heap, freed when it goes out of scope.
class HeapBlock {
 public:
  explicit HeapBlock(SIZE_T size) : p_(static_cast<BYTE *>(HeapAlloc(GetProcessHeap(), 0, size ? size : 1))) {}
  ~HeapBlock() {
    if (p_) HeapFree(GetProcessHeap(), 0, p_);
  }
  HeapBlock(const HeapBlock &) = delete;
  HeapBlock &operator=(const HeapBlock &) = delete;
  BYTE *get() const { return p_; }

 private:
  BYTE *p_;
};

// Shows an informational message and fails, leaving the thread's last error
// as the failure set it (the message may change it).
bool failWith(PortServices &port, uint32_t message) {
  DWORD error = GetLastError();
  port.inform(message);
  SetLastError(error);
  return false;
}

// The file's size; an empty file is refused (ERROR_HANDLE_EOF): sending
// nothing, or a firmware image of no bytes, and reporting it as sent would
// hide a wrong file.
bool fileSize(HANDLE file, LARGE_INTEGER &size) {
  if (!GetFileSizeEx(file, &size)) return false;
  if (size.QuadPart > 0) return true;
  SetLastError(ERROR_HANDLE_EOF);
  return false;
}

bool printFile(PortServices &port, WideView path) {
  FileHandle file(monitorfiles::openRequestFile(path.data()));
  if (!file.valid()) return failWith(port, msg::kBinOpen);
  LARGE_INTEGER size{};
  if (!fileSize(file.get(), size)) return failWith(port, msg::kBinSize);
  HeapBlock buffer(kTransferChunk);
  if (!buffer.get()) return failWith(port, msg::kBinSize);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), buffer.get(), kTransferChunk, &got, nullptr)) return failWith(port, msg::kBinSize);
    if (got == 0) break;
    // The port refusing the bytes would leave the printer with part of a
    // job: the request fails rather than reporting the file as sent.
    if (!port.writeRaw(buffer.get(), got)) return failWith(port, msg::kCmdWrite);
  }
  file.close();
  port.pause(kSettleMs);
  if (monitorfiles::nativeProcessorIsX64()) port.pause(kSettleMs);
  return port.errorWait();
}

// One line of a command file: the command, the error report request, and
// the printer's answer to it.
bool sendCommandLine(PortServices &port, const std::string &command) {
  const std::string_view report = status::kCmdErrorReportUsb;
  if (!port.writeRaw(reinterpret_cast<const uint8_t *>(command.data()), command.size()) ||
      !port.writeRaw(status::bytes(report), report.size())) {
    SetLastError(ERROR_WRITE_FAULT);
    return failWith(port, msg::kCmdWrite);
  }
  uint8_t reply[kReplyCapacity];
  long got = -1;
  for (int attempt = 1; attempt <= kReplyReadTries; ++attempt) {
    got = port.readRaw(reply, sizeof reply);
    if (got >= 0) break;
    if (attempt == kReplyReadTries) {
      SetLastError(ERROR_READ_FAULT);
      return failWith(port, msg::kCmdReplyRead);
    }
    port.pause(kReplyRetryMs);
  }
  if (got > 0 && status::classifyReply(reply, size_t(got)) == status::ReplyKind::Error) {
    port.setCurrentMessage(status::messageForErrorReply(reply, size_t(got), status::Monitor::Usb));
    if (!port.errorWait()) {
      SetLastError(ERROR_PRINT_CANCELLED);
      return false;
    }
  }
  return true;
}

bool sendCommands(PortServices &port, WideView path) {
  FileHandle file(monitorfiles::openRequestFile(path.data()));
  if (!file.valid()) return failWith(port, msg::kCmdFileOpen);
  LARGE_INTEGER size{};
  if (!fileSize(file.get(), size)) return failWith(port, msg::kCmdFileOpen);
  // A command file is read whole; one too large to hold is a memory failure.
  if (uint64_t(size.QuadPart) > MAXDWORD) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return failWith(port, msg::kCmdFileMemory);
  }
  DWORD bytes = DWORD(size.QuadPart);
  HeapBlock content(bytes);
  if (!content.get()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return failWith(port, msg::kCmdFileMemory);
  }
  DWORD got = 0;
  if (!ReadFile(file.get(), content.get(), bytes, &got, nullptr)) return failWith(port, msg::kCmdFileRead);
  if (got != bytes) {
    SetLastError(ERROR_HANDLE_EOF);
    return failWith(port, msg::kCmdFileRead);
  }
  file.close();
  std::vector<std::string> commands;
  try {
    commands = commandFileCommands(content.get(), got);
  } catch (const std::bad_alloc &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return failWith(port, msg::kCmdFileMemory);
  }
  for (const std::string &command : commands)
    if (!sendCommandLine(port, command)) return false;
  return true;
}

// The firmware image comes from the file and goes straight to the port.
class FileToPort : public FirmwareLink {
 public:
  FileToPort(HANDLE file, PortServices &port) : file_(file), port_(port) {}
  long readImage(uint8_t *out, size_t capacity) override {
    DWORD got = 0;
    if (!ReadFile(file_, out, DWORD(capacity), &got, nullptr)) return -1;
    if (got == 0) SetLastError(ERROR_HANDLE_EOF);
    return long(got);
  }
  bool send(const uint8_t *data, size_t size) override {
    if (port_.writeRaw(data, size)) return true;
    SetLastError(ERROR_WRITE_FAULT);
    return false;
  }

 private:
  HANDLE file_;
  PortServices &port_;
};

bool download(PortServices &port, WideView path) {
  FileHandle file(monitorfiles::openRequestFile(path.data()));
  if (!file.valid()) return failWith(port, msg::kBinOpen);
  LARGE_INTEGER size{};
  if (!fileSize(file.get(), size)) return failWith(port, msg::kBinSize);
  FileToPort link(file.get(), port);
  FirmwareResult result = sendFirmwareImage(uint64_t(size.QuadPart), kUsbFirmwareChunk, link);
  file.close();
  switch (result) {
    case FirmwareResult::Sent: break;
    case FirmwareResult::TooLarge: SetLastError(ERROR_FILE_TOO_LARGE); return failWith(port, msg::kBinSize);
    case FirmwareResult::ReadFailed: return failWith(port, msg::kBinSize);
    case FirmwareResult::WriteFailed:
    case FirmwareResult::TerminatorFailed: return failWith(port, msg::kCmdWrite);
  }
  port.pause(kSettleMs);
  return true;
}

void dropTempFile(CaptureState &capture) {
  discardCaptureFile(capture.tempPath, capture.file);
  capture.documentComplete = true;
  capture.active = false;
  capture.mode = CaptureMode::None;
}

}  // namespace

bool isPrefixedRequest(LPCWSTR valueName) { return interception::isPrefixedRequest(valueName); }

bool handlePrefixedRequest(PortServices &port, LPCWSTR valueName) {
  PrefixedRequest request = parsePrefixedRequest(valueName);
  switch (request.kind) {
    case RequestKind::PrintFile: return printFile(port, request.argument);
    case RequestKind::SendCommands: return sendCommands(port, request.argument);
    case RequestKind::Download: return download(port, request.argument);
    case RequestKind::SetPrinterName:
      // The name changes; the request itself reports failure, and callers
      // do not rely on its result.
      port.setPrinterName(std::u16string(request.argument.begin(), request.argument.end()));
      SetLastError(ERROR_NOT_SUPPORTED);
      return false;
    case RequestKind::None: break;
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return false;
}

bool startCapture(CaptureState &capture, CaptureMode mode) {
  // A capture that never reached its end leaves its file: it goes now.
  dropTempFile(capture);
  capture.documentComplete = false;
  if (!interception::createCaptureFile(mode, capture.tempPath, capture.file)) return false;
  capture.active = true;
  capture.mode = mode;
  return true;
}

bool captureWrite(CaptureState &capture, const BYTE *data, DWORD size, DWORD *written) {
  if (!capture.active) {
    if (written) *written = 0;
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  return interception::appendToCaptureFile(capture.file, data, size, written);
}

void endCapture(CaptureState &capture, PortServices &port) {
  interception::closeCaptureHandle(capture.file);
  WCHAR request[interception::kMaxRequestUnits];
  if (capture.active && capture.tempPath[0] &&
      interception::buildCaptureRequest(capture.mode, capture.tempPath, request, interception::kMaxRequestUnits))
    port.carryOutRequest(request);
  dropTempFile(capture);
}

void cancelCapture(CaptureState &capture) { dropTempFile(capture); }

}  // namespace card::usb
