#include "shared/job_corrections.h"

#include "shared/printer_models.h"
#include "shared/ribbons.h"

namespace card {

void applyManualRibbon(JobSettingsRecord &r) {
  if (r.ribbonId != 0) r.ribbonType = ribbonTypeFromId(r.ribbonId);
}

void applyEncodeOnlySingleSided(JobSettingsRecord &r) {
  if (r.jobMode == 1 && r.duplex == 1) r.duplex = 0;
}

bool applyPrinterAnswer(JobSettingsRecord &r, long ribbonCode, const char *modelText) {
  r.ribbonType = ribbonTypeFromPrinterCode(ribbonCode);
  if (r.duplex == 1 && r.dualSideLayout >= dualSideLayoutCount(r.ribbonType)) r.dualSideLayout = 0;
  r.modelClass = rendererModelClass(modelText);
  if (!modelPrintsBothSides(modelText)) r.duplex = 0;
  if (r.duplex == 0) {
    if (r.rotate180 == 2) r.rotate180 = 0;
    else if (r.rotate180 == 3) r.rotate180 = 1;
  }
  if (r.hasEncoder != 1) {
    if (!isLaminatorClass(r.modelClass)) r.jobMode = 0;
    else if (r.jobMode == 1) r.jobMode = 0;
  }
  // Judged on the corrected job mode: an encode-only job without an encoder
  // has become a print job, and printing on an unknown ribbon is refused.
  bool prints = r.jobMode == 0 || r.jobMode == 2;
  return !(prints && r.ribbonType == kRibbonUnknown);
}

int effectiveCopies(int dmCopies) {
  if (dmCopies > kMaxCopies) return kMaxCopies;
  return dmCopies < 1 ? 1 : dmCopies;
}

}  // namespace card
