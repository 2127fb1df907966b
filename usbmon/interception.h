// Prefixed requests ("PrintFile:", "sendcmds:", "download:",
// "SetPrinterName:") passed as printer-data value names, and capture jobs
// ("FILE_PRN", "FILE_TXT", "FILE_BIN") whose bytes are collected in a temp
// file and handed to one of those requests at the end of the job.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "shared/prefixed_requests.h"
#include "usbmon/port_services.h"

namespace card::usb {

// The request and capture names both monitors recognise.
using interception::CaptureMode;
using interception::captureModeOf;

// The capture fields of a port record.
struct CaptureState {
  WCHAR tempPath[MAX_PATH] = {};
  HANDLE file = INVALID_HANDLE_VALUE;
  bool active = false;
  // Read by the printer queries, which the spooler calls on any thread while
  // a job runs.
  std::atomic<bool> documentComplete{false};
  CaptureMode mode = CaptureMode::None;
};

// Job start of a capture job: a new temp file ("CRX" prefix, user's temp
// folder), capture active, document complete off.  False (with the thread's
// last error) when the file cannot be had; the job start then fails.
bool startCapture(CaptureState &capture, CaptureMode mode);
// Appends the job's bytes; all of them count as written.  False when the
// file write fails.
bool captureWrite(CaptureState &capture, const BYTE *data, DWORD size, DWORD *written);
// End of a capture job: closes the file, builds the request for the mode and
// carries it out through port.carryOutRequest, deletes the temp file, sets
// document complete and clears capture active.  The caller marks and
// deletes the job.
void endCapture(CaptureState &capture, PortServices &port);
// A capture job that ends without its request (the job was deleted, or the
// port closes during it): closes and deletes the temp file, sets document
// complete (nothing more will come) and clears capture active.
void cancelCapture(CaptureState &capture);

// Whether a value name holds one of the prefixes.
bool isPrefixedRequest(LPCWSTR valueName);
// Carries out a prefixed request; its result (SetPrinterName: always false).
bool handlePrefixedRequest(PortServices &port, LPCWSTR valueName);

}  // namespace card::usb
