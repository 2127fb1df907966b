// Capture jobs: the configuration module prints a file, a command file or a
// firmware image as an ordinary job whose document name says which; the
// job's bytes are collected in a temp file and, at the end of the job, sent
// by the matching prefixed request on the job's own connections.  The job
// itself never reaches the printer as a job: it is deleted once its request
// has been carried out, and queries keep working meanwhile.
#include <windows.h>
#include <winspool.h>

#include <vector>

#include "netmon/job_support.h"
#include "shared/glue/capture_file.h"
#include "shared/prefixed_requests.h"

namespace card::net {

namespace {

using interception::CaptureMode;

// Whether the spooler is deleting the job (or the job path saw it cancelled):
// a deleted capture job's request is not carried out, as half a firmware
// image or print file must never reach the printer.
bool jobDeleted(const PortEntry &p) {
  if (p.cancelled) return true;
  if (!p.printer || p.jobId == 0) return false;
  DWORD needed = 0;
  GetJobW(p.printer, p.jobId, 1, nullptr, 0, &needed);
  if (needed < sizeof(JOB_INFO_1W)) return false;
  std::vector<BYTE> buffer(needed);
  if (!GetJobW(p.printer, p.jobId, 1, buffer.data(), needed, &needed)) return false;
  const auto *info = reinterpret_cast<const JOB_INFO_1W *>(buffer.data());
  return (info->Status & (JOB_STATUS_DELETING | JOB_STATUS_DELETED)) != 0;
}

// The capture job leaves nothing in the queue: marked done and deleted, and
// its spooler handle closed (null afterwards, so nobody closes it twice).
void removeJob(PortEntry &p) {
  if (!p.printer) return;
  if (p.jobId != 0) {
    SetJobW(p.printer, p.jobId, 0, nullptr, JOB_CONTROL_LAST_PAGE_EJECTED);
    SetJobW(p.printer, p.jobId, 0, nullptr, JOB_CONTROL_DELETE);
  }
  ClosePrinter(p.printer);
  p.printer = nullptr;
}

void dropCapture(PortEntry &p) {
  interception::discardCaptureFile(p.captureFile, p.captureHandle);
  p.captureActive = false;
  p.captureMode = uint8_t(CaptureMode::None);
}

}  // namespace

bool isCaptureDocument(LPCWSTR documentName) { return interception::captureModeOf(documentName) != CaptureMode::None; }

bool startCapture(PortEntry &p, LPCWSTR documentName) {
  const CaptureMode mode = interception::captureModeOf(documentName);
  p.captureActive = false;
  p.captureMode = uint8_t(CaptureMode::None);
  p.documentComplete = false;
  if (mode == CaptureMode::None) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  // A file left by a capture that never reached its end goes with it.
  if (!interception::createCaptureFile(mode, p.captureFile, p.captureHandle)) return false;
  p.captureMode = uint8_t(mode);
  p.captureActive = true;
  return true;
}

bool capturing(const PortEntry &p) { return p.captureActive; }

BOOL captureWrite(PortEntry &p, const BYTE *data, DWORD size, LPDWORD written) {
  if (!p.captureActive) {
    if (written) *written = 0;
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // A write that falls short (a full disk) is no success: the spooler is
  // told, rather than a file with a hole being sent at the end of the job.
  return interception::appendToCaptureFile(p.captureHandle, data, size, written) ? TRUE : FALSE;
}

void endCapture(PortEntry &p) {
  interception::closeCaptureHandle(p.captureHandle);
  if (p.captureActive && !jobDeleted(p)) {
    WCHAR request[interception::kMaxRequestUnits];
    // The request shows its own message when it fails; the job ends the
    // same way either way.
    if (interception::buildCaptureRequest(CaptureMode(p.captureMode), p.captureFile, request,
                                          interception::kMaxRequestUnits))
      handlePrefixedRequest(p, request);
  }
  dropCapture(p);
  removeJob(p);
  p.documentComplete = true;
  p.errorPending = false;
  p.cancelled = false;
  p.dataSent = 0;
}

void cancelCapture(PortEntry &p) {
  dropCapture(p);
  // Nothing more will come of this job: a configuration module polling for
  // its end is not kept waiting.
  p.documentComplete = true;
}

}  // namespace card::net
