// The hologram print of the hologram dialog, as printer bytes: which raw
// jobs print hologram cards for the record's hologram area at once.  The
// dialog sends each job it gets here as one raw document.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "shared/job_settings.h"

namespace card::cfg {

// What a hologram print asks of the dialog.
enum class HologramPrintPlan : uint8_t {
  Refused,     // more copies than the printer takes in one go: nothing is sent
  AreaJobs,    // the full and the area types: hologramAreaJobs
  BitmapJob,   // the bitmap type: the bitmap file read, then hologramBitmapJob
  NothingToDo  // a hologram type this module does not know
};
HologramPrintPlan hologramPrintPlan(const JobSettingsRecord &record);

// The jobs of the full and area types, one per card: hologramCopies of them
// (at least one).  Each job: the hologram contrast, then for the full type
// the hologram print of each side, for the area types the image cleared and
// the area drawn on each side before its print, then the eject.  Empty when
// the plan is not AreaJobs.
std::vector<std::string> hologramAreaJobs(const JobSettingsRecord &record);

// The one job of the bitmap type, from the bytes of the bitmap file: the
// picture stretched over the card (turned when the area is rotated), sent
// once and printed hologramCopies times.  False when the plan is not
// BitmapJob or the file is no 1-bit BMP; nothing is appended then.
bool hologramBitmapJob(const JobSettingsRecord &record, const uint8_t *bmpFile, size_t size, std::string *job);

}  // namespace card::cfg
