// The corrections the rendering driver makes to its own copy of the job
// settings at the start of a job, once it knows the ribbon and the printer.
#pragma once

#include "shared/job_settings.h"

namespace card {

constexpr int kMaxCopies = 1000;

// Job header: a manual ribbon choice decides the ribbon type.
void applyManualRibbon(JobSettingsRecord &r);

// First page: an encode-only job has no back side.
void applyEncodeOnlySingleSided(JobSettingsRecord &r);

// First page, ribbon taken from the printer: applies the printer's ribbon code
// and model text (ribbon type, layout, model class, two-sided ability,
// rotation, job mode).  Returns false when the job prints (kJobPrint or
// kJobPrintAndEncode, after the corrections) and the ribbon is unknown: such a
// page is refused.
bool applyPrinterAnswer(JobSettingsRecord &r, long ribbonCode, const char *modelText);

// Number of cards a job's dmCopies asks for: at most 1000, at least 1.
int effectiveCopies(int dmCopies);

}  // namespace card
