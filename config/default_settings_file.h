// The default settings file: the driver's data file, which the installer
// writes with the default bytes of the job settings record.
#pragma once

#include <windows.h>

#include <cstddef>

#include "shared/job_settings.h"

namespace card::cfg {

// Reads the first bytes of the driver's data file into `out`.  `opened` tells
// whether the file opened; `length` how many bytes were read.
bool readDefaultSettingsFile(HANDLE printer, BYTE *out, size_t capacity, size_t &length, bool &opened);
// The default record of the driver's data file for "Restore defaults": false
// (and `out` untouched) unless the file holds exactly one whole record.
bool readWholeDefaultRecord(HANDLE printer, JobSettingsRecord &out);
// Whether the driver's data file opens for reading.
bool defaultSettingsFileOpens(HANDLE printer);

}  // namespace card::cfg
