// Capture jobs.  (Being written.)
#include "netmon/job_support.h"

namespace card::net {

bool isCaptureDocument(LPCWSTR) { return false; }
bool startCapture(PortEntry &, LPCWSTR) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return false;
}
bool capturing(const PortEntry &) { return false; }
BOOL captureWrite(PortEntry &, const BYTE *, DWORD, LPDWORD written) {
  if (written) *written = 0;
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}
void endCapture(PortEntry &) {}
void cancelCapture(PortEntry &) {}

}  // namespace card::net
