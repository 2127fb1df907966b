// A port session: job start and end, the port record's services to the
// job-start checks and requests, and the line status.
#include <windows.h>
#include <winspool.h>

#include "shared/status_commands.h"
#include "shared/status_protocol.h"
#include "usbmon/monitor.h"
#include "usbmon/ribbon_check.h"
#include "usbmon/session_rules.h"

namespace card::usb {

PortRecord::PortRecord(LPCWSTR name, LPCWSTR printerName, const MONITOR &underlying)
    : portName(name), under(underlying), printerName_(printerName ? printerName : TEXT("")) {
  InitializeCriticalSection(&io);
  isUsbPortName_ = isUsbPort(portName.c_str());
  isFilePortName_ = isFilePort(portName.c_str());
}

PortRecord::~PortRecord() {
  signature = 0;
  if (printer) ClosePrinter(printer);
  // A port closed in the middle of a capture job: its temp file goes too.
  if (capture.active)
    cancelCapture(capture);
  else if (capture.file != INVALID_HANDLE_VALUE)
    CloseHandle(capture.file);
  DeleteCriticalSection(&io);
}

WString PortRecord::printerNameCopy() const {
  GlobalLock lock;
  return printerName_;
}

std::u16string PortRecord::printerName() const { return toU16(printerNameCopy()); }

void PortRecord::setPrinterName(std::u16string_view name) {
  GlobalLock lock;
  printerName_.assign(name.begin(), name.end());
}

bool PortRecord::readLineStatus(uint8_t &status) {
  status = 0;
  if (filePort()) {
    status = kFilePortLineStatus;
    return true;
  }
  if (!under.pfnGetPrinterDataFromPort) return false;
  BYTE out[4] = {};
  DWORD got = 0;
  if (!under.pfnGetPrinterDataFromPort(port, lineStatusControlCode(usb()), nullptr, nullptr, 0,
                                       reinterpret_cast<LPWSTR>(out), sizeof(out), &got))
    return false;
  status = out[0];
  return true;
}

DWORD PortRecord::jobStatus() {
  if (!printer) return 0;
  DWORD needed = 0;
  GetJobW(printer, jobId, 1, nullptr, 0, &needed);
  if (needed < sizeof(JOB_INFO_1W)) return 0;
  std::unique_ptr<BYTE[]> buf(new BYTE[needed]);
  if (!GetJobW(printer, jobId, 1, buf.get(), needed, &needed)) return 0;
  return reinterpret_cast<JOB_INFO_1W *>(buf.get())->Status;
}

void PortRecord::deleteJob() {
  if (printer) SetJobW(printer, jobId, 0, nullptr, JOB_CONTROL_DELETE);
}

namespace {

HANDLE openPrinter(const WString &name) {
  WString copy = name;
  HANDLE h = nullptr;
  return OpenPrinterW(copy.data(), &h, nullptr) ? h : nullptr;
}

}  // namespace

BOOL PortRecord::startDoc(LPWSTR printerNameArg, DWORD id, DWORD level, LPBYTE docInfo) {
  LPCWSTR document = docInfo ? reinterpret_cast<DOC_INFO_1W *>(docInfo)->pDocName : nullptr;
  ribbonClass = false;
  cancelled = false;
  cutter.reset();
  isReadyMode = 0;
  capture.active = false;
  capture.documentComplete = false;
  capture.mode = CaptureMode::None;
  jobFailed = false;

  // Wakes the printer up; the answer is not needed.
  {
    uint8_t reply[32];
    size_t length = 0;
    query(status::kCmdVersion, reply, sizeof(reply), length);
  }

  const CaptureMode mode = captureModeOf(document);
  if (mode != CaptureMode::None) {
    if (!startCapture(capture, mode)) return FALSE;
    if (printer) ClosePrinter(printer);
    printer = openPrinter(printerNameArg ? WString(printerNameArg) : printerNameCopy());
    jobId = id;
    return TRUE;
  }
  if (state & kStateJobStarted) {
    SetLastError(ERROR_BUSY);
    return FALSE;
  }
  if (!under.pfnStartDocPort || !under.pfnStartDocPort(port, printerNameArg, id, level, docInfo)) {
    state &= ~kStateJobStarted;
    if (!under.pfnStartDocPort) SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  const bool countWanted = !skipsRibbonCount(document);
  InterlockedExchange(&jobActive, 1);

  // Every way out from here on gives the port back, so that queries are not
  // refused for a job that never started.
  auto refuse = [&](DWORD error) {
    state &= ~kStateJobStarted;
    InterlockedExchange(&jobActive, 0);
    if (under.pfnEndDocPort) under.pfnEndDocPort(port);
    SetLastError(error);
    return FALSE;
  };
  uint8_t line = 0;
  if (!readLineStatus(line)) return refuse(ERROR_OUT_OF_PAPER);
  if (!status::lineIsFitToStart(line)) return refuse(ERROR_NOT_READY);
  cancelled = false;
  cutter.reset();

  // The printer for this job; job control and message captions use it.
  if (printerNameArg && lstrcmpW(printerNameCopy().c_str(), printerNameArg) != 0) {
    GlobalLock lock;
    printerName_ = printerNameArg;
  }
  if (printer) ClosePrinter(printer);
  printer = openPrinter(printerNameCopy());
  jobId = id;

  ribbonClass = checkRibbon(*this);
  if (!ribbonClass && countWanted && !checkRemainingRibbon(*this)) return refuse(ERROR_NOT_READY);
  if (!writeRaw(status::bytes(status::kCmdMaster), status::kCmdMaster.size())) return refuse(ERROR_NOT_READY);
  state |= kStateJobStarted | kStateDataAccepted;
  return TRUE;
}

void PortRecord::abortCleanup() {
  const CleanupSequence seq = usb::abortCleanup(ribbonClass);
  if (!seq.first.empty()) writeRaw(status::bytes(seq.first), seq.first.size());
  writeRaw(status::bytes(seq.second), seq.second.size());
  cutter.reset();
}

namespace {

constexpr DWORD kCancelSettleMs = 2000;

}  // namespace

BOOL PortRecord::endDoc() {
  if (capture.active) {
    // A capture job the user deleted is not carried out: half a firmware
    // image or print file must never reach the printer.
    if (cancelled || (printer && (jobStatus() & JOB_STATUS_DELETING)))
      cancelCapture(capture);
    else
      endCapture(capture, *this);
    if (printer) {
      SetJobW(printer, jobId, 0, nullptr, JOB_CONTROL_LAST_PAGE_EJECTED);
      SetJobW(printer, jobId, 0, nullptr, JOB_CONTROL_DELETE);
      ClosePrinter(printer);
      printer = nullptr;
    }
    capture.active = false;
    errorPending = false;
    cancelled = false;
    dataSent = 0;
    return TRUE;
  }
  if (!filePort()) {
    const DWORD jobState = jobStatus();
    if (cancelled || (jobState & JOB_STATUS_DELETING)) {
      Sleep(kCancelSettleMs);
      deleteJob();
      if (dataSent == kDataSentMarker && !jobFailed) {
        GlobalLock lock;
        abortCleanup();
      }
      dataSent = 0;
    } else if (usb() && (jobState & JOB_STATUS_PRINTING) && (jobState & JOB_STATUS_RESTART)) {
      DWORD needed = 0;
      GetPrinterW(printer, 2, nullptr, 0, &needed);
      if (needed >= sizeof(PRINTER_INFO_2W)) {
        std::unique_ptr<BYTE[]> buf(new BYTE[needed]);
        if (GetPrinterW(printer, 2, buf.get(), needed, &needed) &&
            (reinterpret_cast<PRINTER_INFO_2W *>(buf.get())->Attributes & PRINTER_ATTRIBUTE_WORK_OFFLINE)) {
          deleteJob();
          inform(status::msg::kOffline, status::msg::kUsbOfflineCaption, 0);
        }
      }
    }
  }
  // A command cut by the end of the job never reached the printer.
  const pacing::PacingState &ps = cutter.state();
  if (ps.heldLength || ps.mode != pacing::BlockMode::None) {
    char text[128];
    wsprintfA(text, "usbmon: the job ended inside a %s; %u held bytes were not sent",
              ps.mode != pacing::BlockMode::None ? "data block" : "command", unsigned(ps.heldLength));
    debugOut(text);
  }
  {
    GlobalLock lock;
    state &= ~kStateJobStarted;
    InterlockedExchange(&jobActive, 0);
  }
  if (under.pfnEndDocPort) under.pfnEndDocPort(port);
  if (printer) {
    SetJobW(printer, jobId, 0, nullptr, JOB_CONTROL_LAST_PAGE_EJECTED);
    ClosePrinter(printer);
    printer = nullptr;
  }
  state &= ~kStateDataAccepted;
  errorPending = false;
  cancelled = false;
  dataSent = 0;
  cutter.reset();
  return TRUE;
}

bool PortRecord::writeRaw(const uint8_t *data, size_t size) {
  if (!under.pfnWritePort) return false;
  size_t done = 0;
  while (done < size) {
    DWORD n = 0;
    if (!under.pfnWritePort(port, const_cast<LPBYTE>(data + done), DWORD(size - done), &n)) return false;
    // The port waited its time-out and the printer took nothing.
    if (n == 0) return false;
    done += n;
  }
  return true;
}

long PortRecord::readRaw(uint8_t *out, size_t capacity) {
  if (!under.pfnReadPort) return -1;
  DWORD got = 0;
  if (!under.pfnReadPort(port, out, DWORD(capacity), &got)) return -1;
  return long(got);
}

bool PortRecord::query(std::string_view command, uint8_t *reply, size_t capacity, size_t &length) {
  length = 0;
  bool started = false;
  if (!beginQueryDocument(started)) return false;
  const bool reset = status::isResetCommand(status::bytes(command), command.size());
  const bool written = exchange(status::bytes(command), command.size(), reset, reply, capacity, length);
  endQueryDocument(started);
  return written && length > 0;
}

bool PortRecord::carryOutRequest(LPCWSTR valueName) {
  BYTE out[32] = {};
  DWORD returned = 0;
  return getPrinterData(0, const_cast<LPWSTR>(valueName), nullptr, 0, reinterpret_cast<LPWSTR>(out), sizeof(out),
                        &returned) != FALSE;
}

void PortRecord::inform(uint32_t message, uint32_t caption, DWORD systemError) {
  presentMessage(printerNameCopy().c_str(), message, caption, systemError);
}

std::unique_ptr<MessageTask> PortRecord::startMessageTask(uint32_t message) {
  return MessageThread::start(printerNameCopy().c_str(), message, status::msg::kUsbCaption);
}

void PortRecord::startLowRibbonAlert() { startLowRibbonAlertTasks(printerNameCopy().c_str()); }

}  // namespace card::usb
