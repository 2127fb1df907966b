// The DEVMODE that cardprint hands to CreateDC: the printer's default
// settings (or, when the printer has none of its own, the package's defaults)
// with the command line's choices written into the standard part and the job
// settings record.
#pragma once

#include <windows.h>

#include <cstddef>

#include "shared/job_settings.h"
#include "tools/cardprint/options.h"

namespace cardprint {

// The package's default job: the default standard part and the record the
// installer writes as the driver's default settings.
void defaultJobDevmode(card::CardDevmode &out);

// Takes a printer's default DEVMODE when it is a whole card DEVMODE (4128
// bytes claimed and present, 212-byte standard part, the record's signature);
// otherwise the package's default job.  Returns true when the printer's was
// taken.
bool baseJobDevmode(const void *printerDefault, size_t available, card::CardDevmode &out);

// Writes the options into the DEVMODE.  The job is two-sided exactly when the
// options ask for it, and prints one card unless --copies says otherwise.
// A card that carries track data gets the driver's macro processing.
// Fails (with a message) when the two-sided layout does not exist for the
// ribbon of the job.
bool applyOptions(const PrintOptions &options, card::CardDevmode &dm, WCHAR (&message)[kMessageChars]);

}  // namespace cardprint
