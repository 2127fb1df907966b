// The error wait and the abort clean-up sequence.  (Being written.)
#include "netmon/job_support.h"

namespace card::net {

bool errorWait(PortEntry &) { return false; }
void abortCleanup(PortEntry &) {}
void stopMessageTask(PortEntry &) {}

}  // namespace card::net
