#include "config/device_sheet.h"

#include <winddiui.h>
#include <winspool.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <vector>

#include "config/device_common.h"
#include "config/device_info.h"
#include "config/dialogs.h"
#include "config/dialogs/device_ids.h"
#include "config/dialogs/files_ids.h"
#include "config/dialogs/tools_ids.h"
#include "config/messages.h"
#include "config/module_state.h"
#include "config/printer_access.h"
#include "config/tools_dialog.h"
#include "config/windows_version.h"
#include "shared/printer_models.h"
#include "shared/status_commands.h"

namespace card::cfg {

namespace {

constexpr UINT kIdsDriverName = 2009;  // "Pellor Standard Printer"
constexpr UINT kIdsSystemError = 2019;
constexpr size_t kVersionReplyBytes = 80;
constexpr size_t kNameChars = 64;
constexpr size_t kModelChars = 96;

// The page's items, by user item number.
enum Item : BYTE { kItemModel, kItemEncoder, kItemTools, kItemFirmware, kItemDeviceInfo, kItemSingleFeed, kItemAbout };
constexpr size_t kItemCount = 7;

// Everything the page hands to the common UI lives here, from INIT to
// DESTROY.
struct DeviceSheet {
  COMPROPSHEETUI ui;
  OPTITEM items[kItemCount];
  OPTTYPE types[kItemCount];
  OPTPARAM params[kItemCount];
  WCHAR names[kItemCount][kNameChars];
  WCHAR callerName[kNameChars];
  WCHAR model[kModelChars];
  std::vector<BYTE> printerInfo;  // PRINTER_INFO_2 as the page opened
  HANDLE ownHandle = nullptr;     // a handle the page opened itself
};

DeviceSheet *g_sheet = nullptr;

const PRINTER_INFO_2W *info2(const DeviceSheet &s) {
  return s.printerInfo.size() >= sizeof(PRINTER_INFO_2W)
             ? reinterpret_cast<const PRINTER_INFO_2W *>(s.printerInfo.data())
             : nullptr;
}

bool handleValid(HANDLE printer) {
  if (!printer) return false;
  DWORD needed = 0;
  if (GetPrinterW(printer, 2, nullptr, 0, &needed)) return true;
  return GetLastError() != ERROR_INVALID_HANDLE;
}

// The page may outlive the handle it was given (the spooler restarted):
// the printer is opened again by its name.
void keepPrinterOpen() {
  ModuleState &st = state();
  if (handleValid(st.printer) || !g_sheet) return;
  const PRINTER_INFO_2W *pi = info2(*g_sheet);
  if (!pi || !pi->pPrinterName) return;
  HANDLE h = openPrinterByName(pi->pPrinterName);
  if (!h) return;
  if (g_sheet->ownHandle) ClosePrinter(g_sheet->ownHandle);
  g_sheet->ownHandle = h;
  st.printer = h;
}

LONG APIENTRY pageCallback(PCPSUICBPARAM param) {
  keepPrinterOpen();
  if (!param) return CPSUICB_ACTION_NONE;
  switch (param->Reason) {
    case CPSUICB_REASON_APPLYNOW:
      // A refused store is not reported: the page has nothing to show it in.
      storeMasterEncoderBlock();
      return CPSUICB_ACTION_ITEMS_APPLIED;
    case CPSUICB_REASON_ABOUT: showAboutDialog(GetActiveWindow()); return CPSUICB_ACTION_ITEMS_APPLIED;
    case CPSUICB_REASON_SEL_CHANGED:
    case CPSUICB_REASON_DLGPROC: return CPSUICB_ACTION_OPTIF_CHANGED;
  }
  return CPSUICB_ACTION_NONE;
}

void loadName(UINT id, WCHAR (&out)[kNameChars]) {
  if (!LoadStringW(state().instance, id, out, int(kNameChars))) out[0] = 0;
}

void setModelText(DeviceSheet &s, const char *text) {
  std::memset(s.model, 0, sizeof s.model);
  MultiByteToWideChar(CP_ACP, 0, text, -1, s.model, int(kModelChars - 1));
}

// One item: a push button that opens a dialog procedure with its template.
void pushButton(DeviceSheet &s, Item item, UINT nameId, DLGPROC dlgProc, WORD templateId, bool alwaysEnabled) {
  OPTPARAM &p = s.params[item];
  p.cbSize = sizeof p;
  p.Style = PUSHBUTTON_TYPE_DLGPROC;
  // The common UI keeps the procedure in the choice's text pointer.
  p.pData = reinterpret_cast<LPTSTR>(reinterpret_cast<uintptr_t>(dlgProc));
  p.lParam = templateId;
  OPTTYPE &t = s.types[item];
  t.cbSize = sizeof t;
  t.Type = TVOT_PUSHBUTTON;
  t.Count = 1;
  t.pOptParam = &p;
  t.Style = alwaysEnabled ? OTS_PUSH_ENABLE_ALWAYS : 0;
  OPTITEM &o = s.items[item];
  o.cbSize = sizeof o;
  o.Level = 0;
  o.Flags = OPTIF_CALLBACK;
  loadName(nameId, s.names[item]);
  o.pName = s.names[item];
  o.pOptType = &t;
  o.UserItemID = item;
  o.DMPubID = DMPUB_NONE;
}

void modelItem(DeviceSheet &s) {
  OPTPARAM &p = s.params[kItemModel];
  p.cbSize = sizeof p;
  p.pData = s.model;
  OPTTYPE &t = s.types[kItemModel];
  t.cbSize = sizeof t;
  t.Type = TVOT_LISTBOX;
  t.Count = 1;
  t.pOptParam = &p;
  OPTITEM &o = s.items[kItemModel];
  o.cbSize = sizeof o;
  loadName(IDS_ITEM_MODEL, s.names[kItemModel]);
  o.pName = s.names[kItemModel];
  o.Sel = 0;
  o.pOptType = &t;
  o.UserItemID = kItemModel;
  o.DMPubID = DMPUB_NONE;
}

// A printer shared by an older print server whose driver is of another
// version: the page only notes it for the debugger; the user is warned when
// a document starts.
void noteServerVersion(HANDLE printer, const PRINTER_INFO_2W *pi) {
  if (!pi || !pi->pServerName || !*pi->pServerName || windowsSixOrLater()) return;
  const QueryResult r = askPrinterOn(printer, status::kQueryFileVersion, 64);
  if (!r.succeeded || r.bytes.empty()) return;
  std::string version = r.bytes.substr(0, r.bytes.find('\0'));
  if (!version.empty() && version.back() == '\x06') version.pop_back();
  if (version != status::kAnswerFileVersion)
    debugPrint(TEXT("DrvDevicePropertySheets: the print server's driver is of another version"));
}

void freeSheet() {
  ModuleState &st = state();
  // The DEVMODE being edited lies in the page's printer information.
  st.current = nullptr;
  st.currentRecord = nullptr;
  if (!g_sheet) return;
  if (g_sheet->ownHandle) {
    if (st.printer == g_sheet->ownHandle) st.printer = nullptr;
    ClosePrinter(g_sheet->ownHandle);
  }
  delete g_sheet;
  g_sheet = nullptr;
}

// The printer's information, name and default DEVMODE become the module's
// current ones; the master encoder block is loaded from that DEVMODE.  The
// default's record, or NULL when the printer has no usable default.
JobSettingsRecord *adoptPrinter(DeviceSheet &s, const DEVICEPROPERTYHEADER *header, std::vector<BYTE> &&pi) {
  ModuleState &st = state();
  if (header && header->hPrinter) st.printer = header->hPrinter;
  s.printerInfo = std::move(pi);
  const PRINTER_INFO_2W *p = info2(s);
  if (!p) return nullptr;
  if (p->pPrinterName) {
    std::memset(st.printerName, 0, sizeof st.printerName);
    for (size_t i = 0; i < kPrinterNameChars && p->pPrinterName[i]; ++i) st.printerName[i] = p->pPrinterName[i];
  }
  const DEVMODEW *dm = usableDefault(s.printerInfo);
  if (!dm) return nullptr;
  st.current = const_cast<DEVMODEW *>(dm);
  auto *record = reinterpret_cast<JobSettingsRecord *>(reinterpret_cast<BYTE *>(st.current) + kStandardPartSize);
  st.currentRecord = record;
  loadMasterEncoderBlock(*record);
  return record;
}

// Encoder: a ribbon chosen by hand goes with an encoder; otherwise the
// printer tells.  The flag goes into the record, the working copy and the
// master block.
bool askEncoder(uint16_t ribbonId, JobSettingsRecord *record) {
  bool hasEncoder = true;
  if (ribbonId == 0) {
    const QueryResult r = askPrinter(kQueryEncoder, kVersionReplyBytes);
    std::string text;
    const bool good = r.succeeded && goodReply(reinterpret_cast<const uint8_t *>(r.bytes.data()), r.bytes.size(), text);
    hasEncoder = encoderReported(good, text);
  }
  const int16_t encoderFlag = hasEncoder ? kSettingOn : kSettingOff;
  if (record) record->hasEncoder = encoderFlag;
  state().working.hasEncoder = encoderFlag;
  masterEncoderBlock().hasEncoder = encoderFlag;
  return hasEncoder;
}

// Model text, only from a printer that reports its ribbon: kept module-wide,
// its model class in the record and the working copy, shown in the model
// item (the driver's name when the printer did not answer).  Whether it
// answered.
bool askModel(DeviceSheet &s, uint16_t ribbonId, JobSettingsRecord *record) {
  ModuleState &st = state();
  bool answered = false;
  if (ribbonId == 0) {
    const QueryResult r = askPrinter(kQueryVersion, kVersionReplyBytes);
    std::string text;
    if (r.succeeded && goodReply(reinterpret_cast<const uint8_t *>(r.bytes.data()), r.bytes.size(), text)) {
      answered = true;
      std::memset(st.modelText, 0, sizeof st.modelText);
      std::memcpy(st.modelText, text.data(), std::min(text.size(), sizeof st.modelText - 1));
      const uint8_t modelClass = configModelClass(st.modelText);
      if (record) record->modelClass = modelClass;
      st.working.modelClass = modelClass;
    }
  }
  if (answered) {
    setModelText(s, st.modelText);
  } else {
    WCHAR name[kNameChars] = {};
    LoadStringW(st.instance, kIdsDriverName, name, int(kNameChars));
    std::memcpy(s.model, name, sizeof name);
  }
  return answered;
}

void buildItems(DeviceSheet &s, const DeviceSheetEnabling &e) {
  modelItem(s);
  // Information and About change nothing, so they stay usable for users
  // without the right to change the printer.
  pushButton(s, kItemEncoder, IDS_ITEM_ENCODER, encoderDialogProc, IDD_ENCODER, false);
  pushButton(s, kItemTools, IDS_ITEM_TOOLS, toolsDialogProc, IDD_TOOLS, false);
  pushButton(s, kItemFirmware, IDS_ITEM_FIRMWARE, firmwareDialogProc, IDD_FIRMWARE, false);
  pushButton(s, kItemDeviceInfo, IDS_ITEM_DEVICE_INFO, deviceInfoDialogProc, IDD_DEVICE_INFO, true);
  pushButton(s, kItemSingleFeed, IDS_ITEM_SINGLE_FEED, singleFeedDialogProc, IDD_SINGLE_FEED, false);
  pushButton(s, kItemAbout, IDS_ITEM_ABOUT, aboutDialogProc, IDD_ABOUT, true);
  if (!e.encoderSettings) s.items[kItemEncoder].Flags |= OPTIF_DISABLED;
  if (!e.firmwareDownload) s.items[kItemFirmware].Flags |= OPTIF_DISABLED;
}

// Hands the page to the host: 1 when it took it, else -1 (the sheet's result
// too).
LONG addPage(PROPSHEETUI_INFO *info, DeviceSheet &s) {
  COMPROPSHEETUI &ui = s.ui;
  loadName(kIdsDriverName, s.callerName);
  ui.cbSize = sizeof ui;
  ui.Flags = CPSUIF_UPDATE_PERMISSION | CPSUIF_ABOUT_CALLBACK;
  ui.hInstCaller = state().instance;
  ui.pCallerName = s.callerName;
  ui.UserData = reinterpret_cast<ULONG_PTR>(info2(s));
  ui.pHelpFile = nullptr;
  ui.pfnCallBack = pageCallback;
  ui.pOptItem = s.items;
  ui.pDlgPage = CPSUI_PDLGPAGE_PRINTERPROP;
  ui.cOptItem = WORD(kItemCount);
  ui.cDlgPage = 0;
  ui.pOptItemName = s.callerName;
  ui.CallerVersion = 0x0400;
  ui.OptItemVersion = 0x0400;

  DWORD addResult = 0;
  const LONG_PTR added =
      info->pfnComPropSheet ? info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_PCOMPROPSHEETUI,
                                                    reinterpret_cast<LPARAM>(&ui), reinterpret_cast<LPARAM>(&addResult))
                            : 0;
  if (added <= 0) {
    debugPrint(TEXT("DrvDevicePropertySheets: the page was refused (%ld)"), long(LONG(addResult)));
    info->Result = ULONG_PTR(-1);
    return -1;
  }
  info->Result = 0;
  return 1;
}

LONG initPage(PROPSHEETUI_INFO *info, const DEVICEPROPERTYHEADER *header) {
  std::vector<BYTE> pi;
  const bool haveInfo = header && header->hPrinter && printerInfo(header->hPrinter, 2, pi);
  if (haveInfo) noteServerVersion(header->hPrinter, reinterpret_cast<const PRINTER_INFO_2W *>(pi.data()));

  // A second page in the same process replaces the first one's state.
  freeSheet();
  auto *s = new (std::nothrow) DeviceSheet();
  if (!s) {
    errorBox(kIdsDriverName, kIdsSystemError, MB_OK | MB_ICONERROR);
    return -1;
  }
  g_sheet = s;
  info->UserData = reinterpret_cast<ULONG_PTR>(s);

  JobSettingsRecord *record = adoptPrinter(*s, header, std::move(pi));
  const uint16_t ribbonId = record ? record->ribbonId : 0;
  const bool hasEncoder = askEncoder(ribbonId, record);
  const bool modelAnswered = askModel(*s, ribbonId, record);
  buildItems(*s, deviceSheetEnabling(hasEncoder, ribbonId, modelAnswered));
  return addPage(info, *s);
}

}  // namespace

LONG devicePropertySheets(PROPSHEETUI_INFO *info, LPARAM lParam) {
  // Unlike the document sheets, the device sheets do nothing without a
  // sheet to add their page to.
  if (!info) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return -1;
  }
  switch (info->Reason) {
    case PROPSHEETUI_REASON_INIT:
      return initPage(info,
                      reinterpret_cast<const DEVICEPROPERTYHEADER *>(info->lParamInit ? info->lParamInit : lParam));
    case PROPSHEETUI_REASON_DESTROY:
      freeSheet();
      info->UserData = 0;
      return 1;
    case PROPSHEETUI_REASON_SET_RESULT: info->Result = ULONG_PTR(-1); return -1;
  }
  return 0;
}

}  // namespace card::cfg
