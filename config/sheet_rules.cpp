#include "config/sheet_rules.h"

#include "shared/ribbons.h"

namespace card::cfg {

namespace {

constexpr BYTE kAck = 6;

bool bothSides(const JobSettingsRecord &r) { return r.duplex != kSettingOff; }

void setText(WCHAR *out, size_t capacity, size_t &at, LPCWSTR text) {
  for (; *text && at + 1 < capacity; ++text) out[at++] = *text;
}

bool sameText(LPCWSTR a, LPCWSTR b) {
  for (; *a && *b; ++a, ++b)
    if (*a != *b) return false;
  return *a == 0 && *b == 0;
}

}  // namespace

// ------------------------------------------------------------ enabling rules

bool overlayAllowed(const JobSettingsRecord &r, bool back) {
  if (r.jobMode == kJobEncodeOnly) return false;
  const bool b = bothSides(r);
  const unsigned layout = r.dualSideLayout;
  switch (r.ribbonType) {
    case kRibbonYMCKO:
    case kRibbonYMCKUv:
      // One side carries the overlay panel unless both sides print alike.
      if (!b) return !back;
      if (layout == kLayoutBackBlack) return !back;
      if (layout == kLayoutBackBlackOverlay) return back;
      return true;
    case kRibbonKdO:
    case kRibbonKrO:
    case kRibbonClearVarnish: return back ? b : true;
    case kRibbonYMCKOK:
      if (!b) return !back;
      switch (layout) {
        case kYmckokBackBlack: return !back;
        case kYmckokBackBlackOverlay: return back;
        case kYmckokBothSidesAlike: return true;
        default: return false;
      }
    case kRibbonMonochrome:
      if (r.monoRibbonKind != kMonoClearVarnish) return false;
      return back ? b : true;
    default: return false;
  }
}

bool blackPanelEnabled(const JobSettingsRecord &r) {
  const bool b = bothSides(r);
  const unsigned layout = r.dualSideLayout;
  switch (r.ribbonType) {
    case kRibbonYMCKO:
    case kRibbonYMCKUv: return !b || layout == kLayoutBothSidesAlike;
    case kRibbonYMCK: return !b || layout != kLayoutBackBlack;
    case kRibbonYMCKK:
    case kRibbonYMCUvK: return true;
    case kRibbonYMCKOK: return !(b && layout == kYmckokBackBlackOverlay);
    default: return false;
  }
}

bool monoConversionEnabled(const JobSettingsRecord &r) {
  const bool b = bothSides(r);
  const unsigned layout = r.dualSideLayout;
  switch (r.ribbonType) {
    case kRibbonYMCKO:
    case kRibbonYMCKUv: return b && (layout == kLayoutBackBlack || layout == kLayoutBackBlackOverlay);
    case kRibbonKResin:
    case kRibbonKrO: return true;
    case kRibbonYMCK:
    case kRibbonYMCKK:
    case kRibbonYMCUvK: return b && layout == kLayoutBackBlack;
    case kRibbonYMCKOK:
      return b &&
             (layout == kYmckokBackBlack || layout == kYmckokBackBlackOverlay || layout == kYmckokFrontWithoutOverlay);
    case kRibbonMonochrome: return r.monoRibbonKind == kMonoResin;
    default: return false;
  }
}

bool hologramEnabled(const JobSettingsRecord &r, const SheetFacts &facts) {
  const uint8_t kind = r.monoRibbonKind;
  // After the monochrome kind was chosen only the kind counts; a manual
  // ribbon choice is judged as when the sheet opens.
  if (!facts.opening && r.ribbonId == kRibbonFromPrinter) return kind == kMonoClearVarnish || kind == kMonoHologram;
  return r.ribbonType == kRibbonHologram || r.ribbonType == kRibbonClearVarnish || kind == kMonoClearVarnish ||
         (r.ribbonType == kRibbonMonochrome && kind == kMonoHologram);
}

SheetStates evaluateSheet(const JobSettingsRecord &r, const SheetFacts &facts) {
  SheetStates s;
  const bool single = facts.sided == Sidedness::Single;
  s.rotationChoices = bothSides(r) ? 4 : 2;

  if (ribbonForm(r) == RibbonForm::Monochrome && facts.lx3)
    s.items[kItemRibbon].choiceDisabled = (1u << kMonoClearVarnish) | (1u << kMonoHologram);

  ItemState &both = s.items[kItemBothSides];
  both.hidden = single;
  both.disabled = facts.sided != Sidedness::Dual;
  s.items[kItemLayout].hidden = single;

  s.items[kItemFrontOverlay].disabled = !overlayAllowed(r, false);
  s.items[kItemBackOverlay].hidden = single;
  s.items[kItemBackOverlay].disabled = !overlayAllowed(r, true);

  const bool black = blackPanelEnabled(r);
  s.items[kItemBlackPanel].disabled = !black;
  s.items[kItemBlackBitmap].disabled = !(black && r.blackPanelMode == kBlackPanelExceptColourPictures);
  s.items[kItemMonoConversion].disabled = !monoConversionEnabled(r);
  s.items[kItemHologram].disabled = !hologramEnabled(r, facts);

  if (!(facts.encoder || r.ribbonId != kRibbonFromPrinter))
    s.items[kItemPrintingMode].choiceDisabled = (1u << kJobEncodeOnly) | (1u << kJobPrintAndEncode);
  return s;
}

// ------------------------------------------------------------ normalisation

void normaliseRotation(JobSettingsRecord &r) {
  if (bothSides(r)) return;
  if (r.rotate180 == kRotateBack) r.rotate180 = kRotateNone;
  if (r.rotate180 == kRotateBoth) r.rotate180 = kRotateFront;
}

void applyBothSidesRule(JobSettingsRecord &r, Sidedness sided) {
  if (sided != Sidedness::Dual) r.duplex = kSettingOff;
}

unsigned normaliseLayout(JobSettingsRecord &r) {
  const LPCWSTR *labels = nullptr;
  const unsigned count = layoutChoices(r, labels);
  if (r.dualSideLayout >= count) r.dualSideLayout = 0;
  return count;
}

void normalisePrintingMode(JobSettingsRecord &r, bool encoder) {
  const bool encoding = encoder || r.ribbonId != kRibbonFromPrinter;
  if (r.jobMode > kJobPrintAndEncode || (r.jobMode != kJobPrint && !encoding)) r.jobMode = kJobPrint;
}

void normaliseMonoKind(JobSettingsRecord &r, bool lx3) {
  if (lx3 && r.ribbonType == kRibbonMonochrome &&
      (r.monoRibbonKind == kMonoClearVarnish || r.monoRibbonKind == kMonoHologram))
    r.monoRibbonKind = kMonoResin;
}

void normaliseRecord(JobSettingsRecord &r, const SheetFacts &facts) {
  applyBothSidesRule(r, facts.sided);
  normaliseRotation(r);
  normaliseMonoKind(r, facts.lx3);
  normaliseLayout(r);
  normalisePrintingMode(r, facts.encoder);
}

// ------------------------------------------------------------ lists

unsigned layoutChoices(const JobSettingsRecord &r, const LPCWSTR *&labels) {
  return panelLayoutLabels(r.ribbonType, r.monoRibbonKind, bothSides(r), labels);
}

RibbonForm ribbonForm(const JobSettingsRecord &r) {
  if (r.ribbonId != kRibbonFromPrinter) return RibbonForm::Manual;
  if (r.ribbonType == kRibbonMonochrome) return RibbonForm::Monochrome;
  return RibbonForm::Reported;
}

unsigned ribbonSelection(const JobSettingsRecord &r) {
  switch (ribbonForm(r)) {
    case RibbonForm::Manual:
      // A choice outside the list is resin black, as its ribbon type is.
      return r.ribbonId <= kManualRibbonCount ? r.ribbonId - 1u : kManualResinOrScratchOff - 1u;
    case RibbonForm::Monochrome: return r.monoRibbonKind <= kMonoHologram ? r.monoRibbonKind : unsigned(kMonoResin);
    case RibbonForm::Reported: break;
  }
  return 0;
}

void chooseRibbon(JobSettingsRecord &r, unsigned entry) {
  switch (ribbonForm(r)) {
    case RibbonForm::Manual:
      if (entry >= kManualRibbonCount) return;
      r.ribbonId = uint16_t(entry + 1);
      r.ribbonType = ribbonTypeFromId(entry + 1);
      break;
    case RibbonForm::Monochrome:
      if (entry <= kMonoHologram) r.monoRibbonKind = uint8_t(entry);
      break;
    case RibbonForm::Reported: break;
  }
}

bool ribbonCodeFromReply(const BYTE *reply, size_t length, long &code) {
  if (!reply || length == 0 || reply[length - 1] != kAck) return false;
  size_t i = 0;
  const size_t end = length - 1;
  while (i < end && reply[i] == ' ') ++i;
  if (i == end || reply[i] < '0' || reply[i] > '9') return false;
  long value = 0;
  for (; i < end && reply[i] >= '0' && reply[i] <= '9'; ++i)
    if (value < 100000) value = value * 10 + (reply[i] - '0');
  code = value;
  return true;
}

void ribbonChangedText(uint8_t ribbonType, WCHAR *out, size_t capacity) {
  if (!out || capacity == 0) return;
  size_t at = 0;
  const LPCWSTR name = ribbonDisplayName(ribbonType);
  if (sameText(name, TEXT("None"))) {
    setText(out, capacity, at, TEXT("There is no ribbon or unable to communicate to printer."));
  } else {
    setText(out, capacity, at, TEXT("Ribbon changed to "));
    setText(out, capacity, at, name);
    setText(out, capacity, at, TEXT("."));
    if (ribbonType == kRibbonMonochrome)
      setText(out, capacity, at, TEXT(" Please choose the type of monochrome ribbon installed in your printer."));
  }
  out[at] = 0;
}

int16_t clampCopies(long copies) {
  if (copies < 1) return 1;
  if (copies > 999) return 999;
  return int16_t(copies);
}

}  // namespace card::cfg
