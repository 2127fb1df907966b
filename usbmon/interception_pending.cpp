// Stand-ins for the capture jobs, the prefixed requests and the ribbon check
// while those are not part of the build: no capture, every request fails,
// the ribbon check reports no answer and writes nothing, the remaining
// count passes.
#include "usbmon/interception.h"
#include "usbmon/ribbon_check.h"

namespace card::usb {

bool startCapture(CaptureState &capture, CaptureMode mode) {
  (void)capture;
  (void)mode;
  SetLastError(ERROR_NOT_SUPPORTED);
  return false;
}

bool captureWrite(CaptureState &capture, const BYTE *data, DWORD size, DWORD *written) {
  (void)capture;
  (void)data;
  (void)size;
  if (written) *written = 0;
  SetLastError(ERROR_NOT_SUPPORTED);
  return false;
}

void endCapture(CaptureState &capture, PortServices &port) {
  (void)port;
  capture.active = false;
  capture.documentComplete = true;
}

bool isPrefixedRequest(LPCWSTR valueName) {
  (void)valueName;
  return false;
}

bool handlePrefixedRequest(PortServices &port, LPCWSTR valueName) {
  (void)port;
  (void)valueName;
  SetLastError(ERROR_NOT_SUPPORTED);
  return false;
}

bool checkRibbon(PortServices &port) {
  (void)port;
  return false;
}

bool checkRemainingRibbon(PortServices &port) {
  (void)port;
  return true;
}

void writeRibbonCacheFile(PortServices &port, long ribbonCode, const char *model) {
  (void)port;
  (void)ribbonCode;
  (void)model;
}

}  // namespace card::usb
