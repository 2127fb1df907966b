// The ribbon checks at job start.  (Being written.)
#include "netmon/job_support.h"

namespace card::net {

void checkRibbon(PortEntry &) {}
void checkRemainingRibbon(PortEntry &) {}
void stopLowRibbonAlert(PortEntry &) {}

}  // namespace card::net
