// The ribbon check at job start: which ribbon is loaded and which model the
// printer is, written to the ribbon cache file that the rendering driver
// reads; a wait with a message while no ribbon is loaded; the ribbon class
// flag; and the remaining-ribbon check with its low-ribbon alert.
#pragma once

#include "usbmon/port_services.h"

namespace card::usb {

// The ribbon query, the model query, the cache file and the no-ribbon wait.
// Returns the ribbon class flag: set for a ribbon without a remaining count
// (and for none); left clear, as at job start, when the printer did not
// answer the ribbon query.
bool checkRibbon(PortServices &port);
// The remaining-ribbon check (only for a ribbon with a count): false when
// the printer gave no answer, and the job start fails.
bool checkRemainingRibbon(PortServices &port);
// Writes the ribbon cache file, as the spooler's own identity (nothing is
// written when it cannot be taken), and grants "Everyone" full access to it.
void writeRibbonCacheFile(PortServices &port, long ribbonCode, const char *model);

}  // namespace card::usb
