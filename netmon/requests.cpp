// The prefixed file requests.  (Being written.)
#include "netmon/job_support.h"

namespace card::net {

bool isPrefixedRequest(LPCWSTR) { return false; }
bool handlePrefixedRequest(PortEntry &, LPCWSTR) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return false;
}

}  // namespace card::net
