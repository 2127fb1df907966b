#include "tools/cardprint/job_devmode.h"

#include <strsafe.h>

#include <cstring>

#include "shared/ribbons.h"

namespace cardprint {

using card::CardDevmode;
using card::JobSettingsRecord;

namespace {

uint16_t readU16(const BYTE *p) { return uint16_t(p[0] | (p[1] << 8)); }

}  // namespace

void defaultJobDevmode(CardDevmode &out) {
  std::memset(&out, 0, sizeof out);
  card::fillDefaultStandardPart(out.standard);
  // The record as the installer writes it into the driver's default settings
  // file, so that a printer without settings of its own prints the way a
  // freshly installed one does.
  card::fillInstallerDefaultRecord(out.record);
  JobSettingsRecord &r = out.record;
  const char family[] = "CA3";
  for (size_t k = 0; k < sizeof family; ++k) r.modelFamily[k] = WCHAR(family[k]);
}

bool baseJobDevmode(const void *printerDefault, size_t available, CardDevmode &out) {
  const auto *dm = static_cast<const BYTE *>(printerDefault);
  if (dm && available >= sizeof(CardDevmode)) {
    const uint16_t size = readU16(dm + offsetof(DEVMODEW, dmSize));
    const uint16_t extra = readU16(dm + offsetof(DEVMODEW, dmDriverExtra));
    if (size == card::kStandardPartSize && extra == card::kRecordSize &&
        card::carriesRecord(printerDefault, available)) {
      std::memcpy(&out, dm, sizeof out);
      // The renderer's working fields belong to a job, not to the defaults.
      std::memset(out.record.track1Text, 0, sizeof out.record.track1Text);
      std::memset(out.record.track2Text, 0, sizeof out.record.track2Text);
      std::memset(out.record.track3Text, 0, sizeof out.record.track3Text);
      std::memset(out.record.trackPresent, 0, sizeof out.record.trackPresent);
      return true;
    }
  }
  defaultJobDevmode(out);
  return false;
}

bool applyOptions(const PrintOptions &o, CardDevmode &d, WCHAR (&message)[kMessageChars]) {
  message[0] = 0;
  DEVMODEW standard;
  std::memcpy(&standard, d.standard, card::kStandardPartSize);
  JobSettingsRecord &r = d.record;

  if (o.ribbonId != kUnset) {
    r.ribbonId = uint16_t(o.ribbonId);
    if (o.ribbonId != card::kRibbonFromPrinter) r.ribbonType = card::ribbonTypeFromId(unsigned(o.ribbonId));
  }

  if (o.twoSided) {
    int layout = o.layout != kUnset ? o.layout : (r.duplex == card::kSettingOn ? r.dualSideLayout : 0);
    // With the ribbon left to the printer, the driver itself puts a layout
    // the ribbon does not have back to 0.
    if (r.ribbonId != card::kRibbonFromPrinter) {
      const unsigned layouts = card::dualSideLayoutCount(r.ribbonType);
      if (unsigned(layout) >= layouts) {
        if (layouts == 1)
          StringCchPrintfW(message, kMessageChars, TEXT("ribbon %ls has one two-sided layout, 0; not %d"),
                           ribbonOptionName(r.ribbonId), layout);
        else
          StringCchPrintfW(message, kMessageChars, TEXT("ribbon %ls has two-sided layouts 0 to %d; not %d"),
                           ribbonOptionName(r.ribbonId), int(layouts) - 1, layout);
        return false;
      }
    }
    r.duplex = card::kSettingOn;
    r.dualSideLayout = uint16_t(layout);
    standard.dmDuplex = DMDUP_VERTICAL;
  } else {
    r.duplex = card::kSettingOff;
    r.dualSideLayout = 0;
    standard.dmDuplex = DMDUP_SIMPLEX;
  }

  standard.dmCopies = short(o.copies != kUnset ? o.copies : 1);
  if (o.orientation != kUnset) standard.dmOrientation = short(o.orientation);
  standard.dmFields |= DM_COPIES | DM_ORIENTATION | DM_DUPLEX;

  if (o.blackPanelMode != kUnset) r.blackPanelMode = uint8_t(o.blackPanelMode);
  if (o.overlay != kUnset) {
    r.frontOverlay.type = int16_t(o.overlay);
    r.backOverlay.type = int16_t(o.overlay);
  }
  // Track data goes on the page as macro text: without the driver's macro
  // processing it would be printed instead of encoded.
  if (!o.frontImage || o.trackGiven[0] || o.trackGiven[1] || o.trackGiven[2]) r.macroProcessing = card::kSettingOn;
  std::memcpy(d.standard, &standard, card::kStandardPartSize);
  return true;
}

}  // namespace cardprint
