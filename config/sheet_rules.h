// The rules of the card setup sheet, on plain records: which items the sheet
// shows, greys or hides for the record and the printer, the lists whose
// entries depend on the ribbon, and the normalisation of stored values that
// no longer fit.  The sheet (document_sheet.cpp) turns these states into its
// items' flags.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "shared/job_settings.h"

namespace card::cfg {

// The sheet's items, in tree order; the number is also the item's user
// identifier, which the sheet callback switches on.
enum SheetItem : unsigned {
  kItemHeading = 0,
  kItemOrientation = 1,
  kItemRotation = 2,
  kItemColourAdjust = 3,
  kItemRibbon = 4,
  kItemBothSides = 5,
  kItemLayout = 6,
  kItemMonoConversion = 7,
  kItemBlackPanel = 8,
  kItemBlackBitmap = 9,
  kItemFrontOverlay = 10,
  kItemBackOverlay = 11,
  kItemHologram = 12,
  kItemHeadSettings = 13,
  kItemPrintingMode = 14,
  kItemCopies = 15,
  kSheetItemCount = 16,
};

// What the printer's model text tells the sheet.
enum class Sidedness { Single, Dual, Neither };

struct SheetFacts {
  Sidedness sided = Sidedness::Neither;
  bool lx3 = false;      // the laminating model "LX3": no varnish or hologram monochrome kinds
  bool encoder = false;  // the printer has a magnetic encoder
  // The sheet is opening (rather than re-evaluating after the ribbon item
  // changed): the hologram rule differs between the two.
  bool opening = true;
};

// How one item shows.  `choiceDisabled` has bit n set when the item's choice
// n is shown greyed.
struct ItemState {
  bool hidden = false;
  bool disabled = false;
  uint32_t choiceDisabled = 0;
};

struct SheetStates {
  ItemState items[kSheetItemCount];
  unsigned rotationChoices = 2;  // 4 when both sides print
};

// The enabling rules for the record as it stands (after normaliseRecord).
SheetStates evaluateSheet(const JobSettingsRecord &record, const SheetFacts &facts);

// Rule 4: whether overlay varnish is allowed on the front or the back.
bool overlayAllowed(const JobSettingsRecord &record, bool back);
bool blackPanelEnabled(const JobSettingsRecord &record);
bool monoConversionEnabled(const JobSettingsRecord &record);
bool hologramEnabled(const JobSettingsRecord &record, const SheetFacts &facts);

// ------------------------------------------------------------ normalisation
// With one side printed, "Back" becomes "[None]" and "Front & Back" "Front".
void normaliseRotation(JobSettingsRecord &record);
// Both sides print only on a dual-sided model.
void applyBothSidesRule(JobSettingsRecord &record, Sidedness sided);
// A layout beyond the ribbon's list becomes the first one.  Returns the
// number of entries of the list.
unsigned normaliseLayout(JobSettingsRecord &record);
// A printing mode that names a disabled entry, or is no entry at all, becomes
// "Print".
void normalisePrintingMode(JobSettingsRecord &record, bool encoder);
// The laminating model has no varnish or hologram monochrome kinds.
void normaliseMonoKind(JobSettingsRecord &record, bool lx3);
// Everything the sheet normalises when it opens, in the order it does it.
void normaliseRecord(JobSettingsRecord &record, const SheetFacts &facts);

// ------------------------------------------------------------ lists
// The panel layout list for the record's ribbon and sides (at most 4).
unsigned layoutChoices(const JobSettingsRecord &record, const LPCWSTR *&labels);

// The ribbon item's three forms.
enum class RibbonForm { Manual, Monochrome, Reported };
RibbonForm ribbonForm(const JobSettingsRecord &record);

// The ribbon item's selection for the record in its form: the manual list
// entry, the monochrome kind, or 0 for the one reported ribbon.
unsigned ribbonSelection(const JobSettingsRecord &record);

// A selection change on the ribbon item: the manual form sets the manual
// choice (entry + 1) and its ribbon type, the monochrome form the kind.
void chooseRibbon(JobSettingsRecord &record, unsigned entry);

// The printer's ribbon reply (the code in decimal, then the acknowledgement
// byte) as a ribbon code.  False when the reply is empty or does not end with
// the acknowledgement.
bool ribbonCodeFromReply(const BYTE *reply, size_t length, long &code);

// The text of the ribbon-changed message for the new ribbon type, into `out`
// (always terminated, cut to `capacity` - 1 characters).
void ribbonChangedText(uint8_t ribbonType, WCHAR *out, size_t capacity);

// Copies shown by the copies item: at least 1, at most 999.
int16_t clampCopies(long copies);

}  // namespace card::cfg
