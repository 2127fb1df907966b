#include "shared/job_corrections.h"

#include "shared/printer_models.h"
#include "shared/ribbons.h"

namespace card {

void applyManualRibbon(JobSettingsRecord &r) {
  if (r.ribbonId != kRibbonFromPrinter) r.ribbonType = ribbonTypeFromId(r.ribbonId);
}

void applyEncodeOnlySingleSided(JobSettingsRecord &r) {
  if (r.jobMode == kJobEncodeOnly && r.duplex == kSettingOn) r.duplex = kSettingOff;
}

bool applyPrinterAnswer(JobSettingsRecord &r, long ribbonCode, const char *modelText) {
  r.ribbonType = ribbonTypeFromPrinterCode(ribbonCode);
  if (r.duplex == kSettingOn && r.dualSideLayout >= dualSideLayoutCount(r.ribbonType)) r.dualSideLayout = 0;
  r.modelClass = rendererModelClass(modelText);
  if (!modelPrintsBothSides(modelText)) r.duplex = kSettingOff;
  if (r.duplex == kSettingOff) {
    if (r.rotate180 == kRotateBack)
      r.rotate180 = kRotateNone;
    else if (r.rotate180 == kRotateBoth)
      r.rotate180 = kRotateFront;
  }
  if (r.hasEncoder != kSettingOn) {
    if (!isLaminatorClass(r.modelClass))
      r.jobMode = kJobPrint;
    else if (r.jobMode == kJobEncodeOnly)
      r.jobMode = kJobPrint;
  }
  // Judged on the corrected job mode: an encode-only job without an encoder
  // has become a print job, and printing on an unknown ribbon is refused.
  bool prints = r.jobMode == kJobPrint || r.jobMode == kJobPrintAndEncode;
  return !(prints && r.ribbonType == kRibbonUnknown);
}

int effectiveCopies(int dmCopies) {
  if (dmCopies > kMaxCopies) return kMaxCopies;
  return dmCopies < 1 ? 1 : dmCopies;
}

}  // namespace card
