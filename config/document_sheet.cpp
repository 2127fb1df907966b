// The card setup sheet: one tree-view page of the common property sheet UI
// whose sixteen items edit the job settings of the DEVMODE being edited.
// What the items allow follows the rules of sheet_rules.h; this file builds
// the items, asks the printer for its ribbon and encoder, and keeps the
// record and the items in step as the user works the page.
#include "config/document_sheet.h"

#include <windows.h>
#include <compstui.h>
#include <winddiui.h>
#include <winspool.h>

#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "config/default_settings_file.h"
#include "config/dialogs.h"
#include "config/dialogs/sheet_ids.h"
#include "config/exchange.h"
#include "config/messages.h"
#include "config/module_state.h"
#include "config/printer_access.h"
#include "config/printer_queries.h"
#include "config/ribbon_names.h"
#include "config/sheet_rules.h"
#include "shared/printer_models.h"
#include "shared/ribbons.h"
#include "shared/status_commands.h"

namespace card::cfg {

namespace {

constexpr WORD kSheetVersion = 0x0400;
constexpr LONG_PTR kSheetResult = 4;  // the result the sheet reports, whatever the user chose
constexpr size_t kMaxChoices = kManualRibbonCount;
constexpr size_t kTextChars = 80;
constexpr size_t kRibbonNameChars = 32;  // the name table's entries: at most 31 characters

struct Sheet {
  DOCUMENTPROPERTYHEADER *header = nullptr;
  HANDLE printer = nullptr;
  std::vector<BYTE> printerInfo;  // PRINTER_INFO_2; may hold the DEVMODE being edited
  CardDevmode own{};              // the DEVMODE being edited when it is not the printer's default
  CardDevmode *current = nullptr;
  SheetFacts facts;
  PrinterEquipment printerSaid;
  WCHAR ribbonName[kRibbonNameChars] = {};

  COMPROPSHEETUI ui{};
  OPTITEM items[kSheetItemCount]{};
  OPTTYPE types[kSheetItemCount]{};
  OPTPARAM params[kSheetItemCount][kMaxChoices]{};
  EXTPUSH details{};
  WCHAR callerName[kTextChars] = {};
  WCHAR texts[48][kTextChars] = {};
  unsigned textCount = 0;

  JobSettingsRecord &record() { return current->record; }
  DEVMODEW &devmode() { return *reinterpret_cast<DEVMODEW *>(current); }
};

// A string of the module's table, kept in the sheet for the items to point
// at; empty when the table lacks it.
LPWSTR text(Sheet &s, UINT id) {
  if (s.textCount >= std::size(s.texts)) return s.texts[std::size(s.texts) - 1];
  LPWSTR t = s.texts[s.textCount++];
  if (LoadStringW(state().instance, id, t, int(kTextChars)) <= 0) t[0] = 0;
  return t;
}

// ------------------------------------------------------------ the printer

// The ribbon's display name from the driver package's name table, "None"
// when the table or the code is not there.
void readRibbonName(long code, WCHAR *out) {
  const std::string name = ribbonNameFromTable(std::to_string(code), "None");
  if (!MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, out, int(kRibbonNameChars))) lstrcpynW(out, TEXT("None"), 5);
  out[kRibbonNameChars - 1] = 0;
}

// Encoder and ribbon, asked as the sheet opens.  The ribbon is asked only of
// a printer that answered the encoder question at all.
void askPrinter(Sheet &s) {
  lstrcpynW(s.ribbonName, TEXT("None"), 5);
  BYTE reply[32];
  size_t n = 0;
  if (!queryPrinter(s.printer, "\x1b!V 20\r", reply, sizeof reply, n) || n == 0) return;
  readEncoderReply(reply, n, s.printerSaid);
  BYTE ribbon[32];
  long code = 0;
  if (queryPrinter(s.printer, status::kCmdRibbon, ribbon, sizeof ribbon, n) && ribbonCodeFromReply(ribbon, n, code)) {
    s.printerSaid.ribbonType = ribbonTypeFromPrinterCode(code);
    s.printerSaid.answered = true;
    readRibbonName(code, s.ribbonName);
  }
}

void showRibbonChanged(uint8_t ribbonType) {
  WCHAR message[256], caption[kTextChars];
  ribbonChangedText(ribbonType, message, std::size(message));
  if (LoadStringW(state().instance, IDS_SHEET_CAPTION, caption, int(std::size(caption))) <= 0)
    lstrcpynW(caption, TEXT("Pellor Standard Printer"), int(std::size(caption)));
  MessageBoxW(GetActiveWindow(), message, caption, MB_OK | MB_SYSTEMMODAL | MB_SETFOREGROUND | MB_TOPMOST);
}

// A DEVMODE the sheet owns, for a caller whose input is no whole card
// DEVMODE and a printer without a usable default: the default standard part
// and the driver's default record.
void buildFallback(Sheet &s) {
  std::memset(&s.own, 0, sizeof s.own);
  fillDefaultStandardPart(s.own.standard);
  if (workingInitialised()) {
    s.own.record = state().working;
    return;
  }
  std::vector<BYTE> file(kRecordSize);
  size_t length = 0;
  bool opened = false;
  if (readDefaultSettingsFile(s.printer, file.data(), file.size(), length, opened))
    std::memcpy(&s.own.record, file.data(), kRecordSize);
  s.own.record.signature = kRecordSignature;
}

// Chooses the DEVMODE the sheet edits.  True when it is the printer's
// default (inside the sheet's PRINTER_INFO_2 buffer).
bool chooseCurrent(Sheet &s, bool haveInfo) {
  const DEVMODEW *in = s.header->pdmIn;
  const DEVMODEW *printerDefault = haveInfo ? usableDefault(s.printerInfo) : nullptr;
  if (in) {
    // The caller's DEVMODE is copied, never written: an application's input
    // may be read-only, or shorter than a card DEVMODE.
    const size_t claimed = claimedSize(in);
    if (claimed >= kCardDevmodeSize && carriesRecord(in, claimed) &&
        copyDevmodeForRenderer(in, claimed, s.own) == kRecordSize) {
      s.own.record.signature = kRecordSignature;
    } else {
      if (printerDefault)
        std::memcpy(&s.own, printerDefault, sizeof s.own);
      else
        buildFallback(s);
      applyApplicationFields(in, s.own);
    }
    s.current = &s.own;
    return false;
  }
  if (printerDefault) {
    s.current = reinterpret_cast<CardDevmode *>(const_cast<DEVMODEW *>(printerDefault));
    return true;
  }
  buildFallback(s);
  s.current = &s.own;
  return false;
}

// What the printer said, into the record; true when anything changed.
bool takePrinterEquipment(Sheet &s) {
  JobSettingsRecord &rec = s.record();
  JobSettingsRecord &working = state().working;
  const PrinterEquipment &eq = s.printerSaid;
  bool changed = false;
  if (eq.answered && rec.ribbonId == kRibbonFromPrinter && rec.ribbonType != eq.ribbonType) {
    showRibbonChanged(eq.ribbonType);
    rec.ribbonType = eq.ribbonType;
    working.ribbonType = eq.ribbonType;
    changed = true;
  }
  int16_t encoder = rec.hasEncoder;
  if (eq.answered && (rec.hasEncoder != kSettingOff) != eq.encoder)
    encoder = (rec.ribbonId != kRibbonFromPrinter || eq.encoder) ? kSettingOn : kSettingOff;
  if (rec.ribbonId != kRibbonFromPrinter) encoder = kSettingOn;
  if (encoder != rec.hasEncoder) {
    rec.hasEncoder = encoder;
    working.hasEncoder = encoder;
    changed = true;
  }
  return changed;
}

// ------------------------------------------------------------ items

void setChoices(Sheet &s, unsigned item, BYTE type, const LPWSTR *names, unsigned count) {
  OPTTYPE &t = s.types[item];
  t.cbSize = sizeof(OPTTYPE);
  t.Type = type;
  t.Count = WORD(count);
  t.pOptParam = s.params[item];
  for (unsigned i = 0; i < kMaxChoices; ++i) {
    OPTPARAM &p = s.params[item][i];
    p = OPTPARAM{};
    p.cbSize = sizeof(OPTPARAM);
    if (i < count && names) p.pData = names[i];
  }
}

void setPushButton(Sheet &s, unsigned item) {
  setChoices(s, item, TVOT_PUSHBUTTON, nullptr, 1);
  s.types[item].Style = OTS_PUSH_ENABLE_ALWAYS;
  // The sheet's callback opens the item's dialog (CPSUICB_REASON_PUSHBUTTON).
  s.params[item][0].Style = PUSHBUTTON_TYPE_CALLBACK;
}

void setItem(Sheet &s, unsigned item, BYTE level, LPWSTR name) {
  OPTITEM &o = s.items[item];
  o.cbSize = sizeof(OPTITEM);
  o.Level = level;
  o.pName = name;
  o.UserItemID = BYTE(item);
  o.UserData = item;
  o.pOptType = item == kItemHeading ? nullptr : &s.types[item];
  // The host tells the callback of a new selection only when asked to.
  if (item != kItemHeading) o.Flags |= OPTIF_CALLBACK;
}

// The layout list for the record as it is now; an index beyond it becomes 0.
void rebuildLayouts(Sheet &s) {
  JobSettingsRecord &rec = s.record();
  normaliseLayout(rec);
  const LPCWSTR *labels = nullptr;
  const unsigned count = layoutChoices(rec, labels);
  LPWSTR names[4] = {};
  for (unsigned i = 0; i < count && i < 4; ++i) names[i] = const_cast<LPWSTR>(labels[i]);
  setChoices(s, kItemLayout, TVOT_LISTBOX, names, count);
  s.items[kItemLayout].Sel = rec.dualSideLayout;
}

void buildRibbonItem(Sheet &s) {
  JobSettingsRecord &rec = s.record();
  OPTITEM &o = s.items[kItemRibbon];
  o.Flags &= ~OPTIF_EXT_IS_EXTPUSH;
  o.pExtPush = nullptr;
  switch (ribbonForm(rec)) {
    case RibbonForm::Manual: {
      LPWSTR names[kManualRibbonCount];
      for (unsigned i = 0; i < kManualRibbonCount; ++i) names[i] = const_cast<LPWSTR>(manualRibbonName(i + 1));
      setChoices(s, kItemRibbon, TVOT_LISTBOX, names, kManualRibbonCount);
      break;
    }
    case RibbonForm::Monochrome: {
      LPWSTR names[4] = {text(s, IDS_SHEET_MONO_RESIN), text(s, IDS_SHEET_MONO_SCRATCH),
                         text(s, IDS_SHEET_MONO_VARNISH), text(s, IDS_SHEET_HOLOGRAM)};
      setChoices(s, kItemRibbon, TVOT_LISTBOX, names, 4);
      break;
    }
    case RibbonForm::Reported: {
      LPWSTR names[1] = {s.ribbonName};
      setChoices(s, kItemRibbon, TVOT_LISTBOX, names, 1);
      if (rec.ribbonType != kRibbonKResin) {
        s.details.cbSize = sizeof(EXTPUSH);
        s.details.Flags = 0;  // the sheet's callback opens the device information
        s.details.pTitle = text(s, IDS_SHEET_RIBBON_DETAILS);
        o.Flags |= OPTIF_EXT_IS_EXTPUSH;
        o.pExtPush = &s.details;
      }
      break;
    }
  }
  o.Sel = LONG(ribbonSelection(rec));
}

// The items' flags from the rules; `changed` marks them for the host to
// redraw.
void applyRules(Sheet &s, bool changed) {
  JobSettingsRecord &rec = s.record();
  s.facts.encoder = rec.hasEncoder != kSettingOff;
  const SheetStates states = evaluateSheet(rec, s.facts);
  s.types[kItemRotation].Count = WORD(states.rotationChoices);
  for (unsigned i = 0; i < kSheetItemCount; ++i) {
    OPTITEM &o = s.items[i];
    const ItemState &st = states.items[i];
    o.Flags &= ~(OPTIF_HIDE | OPTIF_DISABLED);
    if (st.hidden) o.Flags |= OPTIF_HIDE;
    if (st.disabled) o.Flags |= OPTIF_DISABLED;
    if (o.pOptType) {
      for (unsigned c = 0; c < o.pOptType->Count && c < kMaxChoices; ++c) {
        BYTE &f = s.params[i][c].Flags;
        f = BYTE((st.choiceDisabled >> c) & 1 ? (f | OPTPF_DISABLED) : (f & ~OPTPF_DISABLED));
      }
    }
    if (changed) o.Flags |= OPTIF_CHANGED;
  }
}

// Every item's selection from the record.
void showRecord(Sheet &s) {
  JobSettingsRecord &rec = s.record();
  const DEVMODEW &dm = s.devmode();
  s.items[kItemOrientation].Sel = dm.dmOrientation == DMORIENT_PORTRAIT ? 0 : 1;
  s.items[kItemRotation].Sel = (rec.rotate180 >= kRotateNone && rec.rotate180 <= kRotateBoth) ? rec.rotate180 : 0;
  buildRibbonItem(s);
  s.items[kItemBothSides].Sel = rec.duplex != kSettingOff ? 1 : 0;
  rebuildLayouts(s);
  s.items[kItemMonoConversion].Sel =
      (rec.monoConversion >= kConvertDiffusion && rec.monoConversion <= kConvertBarcode) ? rec.monoConversion : 0;
  s.items[kItemBlackPanel].Sel = rec.blackPanelMode <= kBlackPanelExceptColourPictures ? rec.blackPanelMode : 0;
  s.items[kItemBlackBitmap].Sel = rec.blackBitmap != kSettingOff ? 1 : 0;
  s.items[kItemPrintingMode].Sel = rec.jobMode <= kJobPrintAndEncode ? rec.jobMode : 0;
  s.items[kItemCopies].Sel = clampCopies(dm.dmCopies);
}

void buildItems(Sheet &s) {
  const bool single = s.facts.sided == Sidedness::Single;
  setItem(s, kItemHeading, 0, text(s, IDS_SHEET_HEADING));
  setItem(s, kItemOrientation, 1, text(s, IDS_SHEET_ORIENTATION));
  {
    LPWSTR names[2] = {text(s, IDS_SHEET_PORTRAIT), text(s, IDS_SHEET_LANDSCAPE)};
    setChoices(s, kItemOrientation, TVOT_2STATES, names, 2);
  }
  setItem(s, kItemRotation, 1, text(s, IDS_SHEET_ROTATION));
  {
    LPWSTR names[4] = {text(s, IDS_SHEET_ROTATE_NONE), text(s, IDS_SHEET_ROTATE_FRONT), text(s, IDS_SHEET_ROTATE_BACK),
                       text(s, IDS_SHEET_ROTATE_BOTH)};
    setChoices(s, kItemRotation, TVOT_LISTBOX, names, 4);
  }
  setItem(s, kItemColourAdjust, 1, text(s, IDS_SHEET_COLOUR_ADJUST));
  setPushButton(s, kItemColourAdjust);
  setItem(s, kItemRibbon, 1, text(s, IDS_SHEET_RIBBON));
  setItem(s, kItemBothSides, 1, text(s, IDS_SHEET_BOTH_SIDES));
  {
    LPWSTR names[2] = {text(s, IDS_SHEET_NO), text(s, IDS_SHEET_YES)};
    setChoices(s, kItemBothSides, TVOT_2STATES, names, 2);
  }
  setItem(s, kItemLayout, 1, text(s, IDS_SHEET_LAYOUT));
  setItem(s, kItemMonoConversion, 1, text(s, IDS_SHEET_MONO_CONVERSION));
  {
    LPWSTR names[3] = {text(s, IDS_SHEET_DIFFUSION), text(s, IDS_SHEET_HALFTONE), const_cast<LPWSTR>(TEXT("Barcode"))};
    setChoices(s, kItemMonoConversion, TVOT_LISTBOX, names, 3);
  }
  setItem(s, kItemBlackPanel, 1, text(s, IDS_SHEET_BLACK_PANEL));
  {
    LPWSTR names[4] = {text(s, IDS_SHEET_BLACK_NEVER), text(s, IDS_SHEET_BLACK_ALWAYS), text(s, IDS_SHEET_BLACK_TEXT),
                       text(s, IDS_SHEET_BLACK_EXCEPT)};
    setChoices(s, kItemBlackPanel, TVOT_LISTBOX, names, 4);
  }
  setItem(s, kItemBlackBitmap, 1, text(s, IDS_SHEET_BLACK_BITMAP));
  {
    LPWSTR names[2] = {text(s, IDS_SHEET_OFF), text(s, IDS_SHEET_ON)};
    setChoices(s, kItemBlackBitmap, TVOT_2STATES, names, 2);
  }
  setItem(s, kItemFrontOverlay, 1, text(s, single ? IDS_SHEET_OVERLAY : IDS_SHEET_FRONT_OVERLAY));
  setPushButton(s, kItemFrontOverlay);
  setItem(s, kItemBackOverlay, 1, text(s, IDS_SHEET_BACK_OVERLAY));
  setPushButton(s, kItemBackOverlay);
  setItem(s, kItemHologram, 1, text(s, IDS_SHEET_HOLOGRAM));
  setPushButton(s, kItemHologram);
  setItem(s, kItemHeadSettings, 1, text(s, IDS_SHEET_HEAD_SETTINGS));
  setPushButton(s, kItemHeadSettings);
  setItem(s, kItemPrintingMode, 1, text(s, IDS_SHEET_PRINTING_MODE));
  {
    LPWSTR names[3] = {text(s, IDS_SHEET_MODE_PRINT), text(s, IDS_SHEET_MODE_ENCODE), text(s, IDS_SHEET_MODE_BOTH)};
    setChoices(s, kItemPrintingMode, TVOT_LISTBOX, names, 3);
  }
  setItem(s, kItemCopies, 1, text(s, IDS_SHEET_COPIES));
  setChoices(s, kItemCopies, TVOT_UDARROW, nullptr, 2);
  s.params[kItemCopies][0].pData = const_cast<LPWSTR>(TEXT(""));  // no unit after the number
  s.params[kItemCopies][1].IconID = 1;                            // the range
  s.params[kItemCopies][1].lParam = 999;
  s.items[kItemCopies].DMPubID = DMPUB_COPIES_COLLATE;
  showRecord(s);
  applyRules(s, false);
}

// ------------------------------------------------------------ the callback

// Stores the record into the printer's default DEVMODE (the settings the
// shell's printing preferences edit).
void storeAsPrinterDefault(Sheet &s) {
  std::vector<BYTE> info;
  if (!printerInfo(s.printer, 2, info)) return;
  const DEVMODEW *dm = usableDefault(info);
  if (!dm) return;
  auto *target = reinterpret_cast<CardDevmode *>(const_cast<DEVMODEW *>(dm));
  target->record = s.record();
  if (!SetPrinterW(s.printer, 2, info.data(), 0))
    debugPrint(TEXT("DrvDocumentPropertySheets: SetPrinter() failed:%d"), int(GetLastError()));
}

void apply(Sheet &s) {
  JobSettingsRecord &rec = s.record();
  DEVMODEW &dm = s.devmode();
  dm.dmOrientation = short(s.items[kItemOrientation].Sel + 1);
  rec.rotate180 = int16_t(s.items[kItemRotation].Sel);
  rec.duplex = uint16_t(s.items[kItemBothSides].Sel);
  rec.dualSideLayout = uint16_t(s.items[kItemLayout].Sel);
  rec.monoConversion = int16_t(s.items[kItemMonoConversion].Sel);
  rec.blackPanelMode = uint8_t(s.items[kItemBlackPanel].Sel);
  rec.blackBitmap = int16_t(s.items[kItemBlackBitmap].Sel);
  rec.jobMode = uint16_t(s.items[kItemPrintingMode].Sel);
  if (processIs(TEXT("Explorer.exe"))) storeAsPrinterDefault(s);
}

void selectionChanged(Sheet &s, OPTITEM &item) {
  JobSettingsRecord &rec = s.record();
  const LONG sel = item.Sel;
  switch (item.UserItemID) {
    case kItemRibbon:
      chooseRibbon(rec, unsigned(sel < 0 ? 0 : sel));
      s.facts.opening = false;
      rebuildLayouts(s);
      break;
    case kItemBothSides:
      rec.duplex = sel ? kSettingOn : kSettingOff;
      rebuildLayouts(s);
      normaliseRotation(rec);
      s.items[kItemRotation].Sel = rec.rotate180;
      break;
    case kItemLayout: rec.dualSideLayout = uint16_t(sel < 0 ? 0 : sel); break;
    case kItemBlackPanel: rec.blackPanelMode = uint8_t(sel < 0 ? 0 : sel); break;
    case kItemRotation: rec.rotate180 = int16_t(sel); break;
    case kItemPrintingMode: rec.jobMode = uint16_t(sel < 0 ? 0 : sel); break;
    case kItemCopies:
      s.devmode().dmCopies = clampCopies(sel);
      item.Sel = s.devmode().dmCopies;
      break;
    default: break;
  }
  applyRules(s, true);
}

void pushButton(Sheet &s, const OPTITEM &item, HWND owner) {
  switch (item.UserItemID) {
    case kItemColourAdjust: showColourDialog(owner); break;
    case kItemFrontOverlay: showOverlayDialog(owner, OverlaySide::Front); break;
    case kItemBackOverlay: showOverlayDialog(owner, OverlaySide::Back); break;
    case kItemHologram: showHologramDialog(owner); break;
    case kItemHeadSettings: showHeadSettingsDialog(owner); break;
    default: break;
  }
  (void)s;
}

LONG APIENTRY sheetCallback(PCPSUICBPARAM p) {
  if (!p) return CPSUICB_ACTION_NONE;
  auto *s = reinterpret_cast<Sheet *>(p->UserData);
  if (!s || !s->current) return CPSUICB_ACTION_NONE;
  try {
    switch (p->Reason) {
      case CPSUICB_REASON_SEL_CHANGED:
        if (p->pCurItem) selectionChanged(*s, *p->pCurItem);
        return CPSUICB_ACTION_OPTIF_CHANGED;
      case CPSUICB_REASON_PUSHBUTTON:
        if (p->pCurItem) pushButton(*s, *p->pCurItem, p->hDlg);
        return CPSUICB_ACTION_NONE;
      case CPSUICB_REASON_EXTPUSH:
        if (p->pCurItem && p->pCurItem->UserItemID == kItemRibbon) showDeviceInfoDialog(p->hDlg);
        return CPSUICB_ACTION_NONE;
      case CPSUICB_REASON_DLGPROC: return CPSUICB_ACTION_OPTIF_CHANGED;
      case CPSUICB_REASON_APPLYNOW: apply(*s); return CPSUICB_ACTION_ITEMS_APPLIED;
      case CPSUICB_REASON_UNDO_CHANGES:
      case CPSUICB_REASON_ITEMS_REVERTED:
        // The DEVMODE as the sheet found it, and the items showing it again.
        std::memcpy(s->current, &state().snapshot, sizeof(CardDevmode));
        s->facts.opening = true;
        showRecord(*s);
        applyRules(*s, true);
        return CPSUICB_ACTION_OPTIF_CHANGED;
      case CPSUICB_REASON_ABOUT: showAboutDialog(GetActiveWindow()); return CPSUICB_ACTION_ITEMS_APPLIED;
      default: return CPSUICB_ACTION_NONE;
    }
  } catch (...) {
    return CPSUICB_ACTION_NONE;
  }
}

// ------------------------------------------------------------ reasons

LONG init(PROPSHEETUI_INFO *info) {
  auto *header = reinterpret_cast<DOCUMENTPROPERTYHEADER *>(info->lParamInit);
  if (!header) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  ModuleState &st = state();
  if (header->hPrinter) st.printer = header->hPrinter;
  auto sheet = std::make_unique<Sheet>();
  Sheet &s = *sheet;
  s.header = header;
  s.printer = header->hPrinter;

  const bool haveInfo = printerInfo(s.printer, 2, s.printerInfo);
  if (!haveInfo) errorBox(IDS_SHEET_CAPTION, IDS_SHEET_SYSTEM_ERROR, MB_OK | MB_ICONERROR);
  askPrinter(s);

  const char *model = readModelText(s.printer);
  const bool single = isSingleSidedModel(model);
  s.facts.sided = single ? Sidedness::Single : (isDualSidedModel(model) ? Sidedness::Dual : Sidedness::Neither);
  s.facts.lx3 = isLX3Model(model);

  const bool printerDefault = chooseCurrent(s, haveInfo);
  st.current = &s.devmode();
  st.currentRecord = &s.record();
  if (!printerDefault && header->pdmIn) st.working = s.record();
  applyModelRule(s.record(), single);
  if (takePrinterEquipment(s) && printerDefault && !SetPrinterW(s.printer, 2, s.printerInfo.data(), 0))
    debugPrint(TEXT("DrvDocumentPropertySheets: SetPrinter() failed:%d"), int(GetLastError()));

  JobSettingsRecord &rec = s.record();
  if (rec.ribbonId != kRibbonFromPrinter)
    rec.ribbonType = ribbonTypeFromId(rec.ribbonId);
  else
    rec.modelClass = configModelClass(model);  // no answer: no code, class 0
  applyModelRule(rec, single);
  s.facts.encoder = rec.hasEncoder != kSettingOff;
  normaliseRecord(rec, s.facts);
  std::memcpy(&st.snapshot, s.current, sizeof(CardDevmode));

  buildItems(s);
  s.ui.cbSize = sizeof(COMPROPSHEETUI);
  s.ui.Flags = CPSUIF_UPDATE_PERMISSION | CPSUIF_ABOUT_CALLBACK;
  s.ui.hInstCaller = st.instance;
  if (LoadStringW(st.instance, IDS_SHEET_CAPTION, s.callerName, int(kTextChars)) <= 0)
    lstrcpynW(s.callerName, TEXT("Pellor Standard Printer"), int(kTextChars));
  s.ui.pCallerName = s.callerName;
  s.ui.pOptItemName = s.callerName;
  s.ui.UserData = reinterpret_cast<ULONG_PTR>(&s);
  s.ui.pHelpFile = nullptr;
  s.ui.pfnCallBack = sheetCallback;
  s.ui.pOptItem = s.items;
  s.ui.cOptItem = WORD(kSheetItemCount);
  s.ui.pDlgPage = CPSUI_PDLGPAGE_TREEVIEWONLY;
  s.ui.cDlgPage = 0;
  s.ui.CallerVersion = kSheetVersion;
  s.ui.OptItemVersion = kSheetVersion;

  info->UserData = reinterpret_cast<ULONG_PTR>(sheet.release());
  if (info->pfnComPropSheet &&
      info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_PCOMPROPSHEETUI, reinterpret_cast<LPARAM>(&s.ui), 0) > 0)
    info->Result = 0;
  return 1;
}

LONG setResult(PROPSHEETUI_INFO *info) {
  auto *s = reinterpret_cast<Sheet *>(info->UserData);
  info->Result = kSheetResult;
  if (!s || !s->current) return 1;
  DOCUMENTPROPERTYHEADER *header = s->header;
  if (!header || !header->pdmOut) return 2;
  // Only into a buffer that holds a whole card DEVMODE.
  if (header->cbOut < kCardDevmodeSize) return 2;
  std::memcpy(header->pdmOut, s->current, kCardDevmodeSize);
  ModuleState &st = state();
  st.working = s->record();
  applyModelRule(st.working, s->facts.sided == Sidedness::Single);
  return 1;
}

void destroy(PROPSHEETUI_INFO *info) {
  auto *s = reinterpret_cast<Sheet *>(info->UserData);
  info->UserData = 0;
  if (!s) return;
  ModuleState &st = state();
  if (st.current == &s->devmode()) {
    st.current = nullptr;
    st.currentRecord = nullptr;
  }
  delete s;
}

}  // namespace

LONG documentSheet(PROPSHEETUI_INFO *info, LPARAM lParam) {
  (void)lParam;
  switch (info->Reason) {
    case PROPSHEETUI_REASON_INIT: return init(info);
    case PROPSHEETUI_REASON_SET_RESULT: return setResult(info);
    case PROPSHEETUI_REASON_DESTROY: destroy(info); return 1;
    default: return 1;
  }
}

}  // namespace card::cfg
