// A printer UI module for the tests of DocumentPropertiesW and
// PrinterProperties: one tree view page with one item, "Orientation"
// (Portrait, Landscape), that the document sheet writes into the output
// DEVMODE when it is applied.
#include <windows.h>
#include <compstui.h>
#include <winddiui.h>

namespace {

OPTPARAM choices[2];
OPTTYPE orientationType;
OPTITEM orientation;
COMPROPSHEETUI page;
DOCUMENTPROPERTYHEADER *document = nullptr;
HANDLE pageHandle = nullptr;
PFNCOMPROPSHEET comPropSheet = nullptr;

LPWSTR text(const char16_t *s) { return reinterpret_cast<LPWSTR>(const_cast<char16_t *>(s)); }

LONG callback(PCPSUICBPARAM p) {
  if (p->Reason == CPSUICB_REASON_APPLYNOW && document && document->pdmOut) {
    document->pdmOut->dmOrientation = orientation.Sel == 1 ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    comPropSheet(pageHandle, CPSFUNC_SET_RESULT, reinterpret_cast<LPARAM>(pageHandle), CPSUI_OK);
  }
  return CPSUICB_ACTION_NONE;
}

LONG addPage(PPROPSHEETUI_INFO info, const char16_t *name) {
  choices[0] = {};
  choices[0].cbSize = sizeof(OPTPARAM);
  choices[0].pData = text(u"Portrait");
  choices[1] = choices[0];
  choices[1].pData = text(u"Landscape");
  orientationType = {};
  orientationType.cbSize = sizeof(OPTTYPE);
  orientationType.Type = TVOT_2STATES;
  orientationType.Count = 2;
  orientationType.pOptParam = choices;
  orientation = {};
  orientation.cbSize = sizeof(OPTITEM);
  orientation.pName = text(u"Orientation");
  orientation.pOptType = &orientationType;
  page = {};
  page.cbSize = sizeof(COMPROPSHEETUI);
  page.hInstCaller = reinterpret_cast<HINSTANCE>(GetModuleHandleW(nullptr));
  page.pCallerName = text(u"Test UI");
  page.pfnCallBack = callback;
  page.pOptItem = &orientation;
  page.cOptItem = 1;
  page.pDlgPage = CPSUI_PDLGPAGE_TREEVIEWONLY;
  page.pOptItemName = text(name);
  comPropSheet = info->pfnComPropSheet;
  pageHandle = reinterpret_cast<HANDLE>(
      info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_PCOMPROPSHEETUIW, reinterpret_cast<LPARAM>(&page), 0));
  return pageHandle ? 1 : -1;
}

}  // namespace

extern "C" {

WINSIM_API LONG WINAPI DrvDocumentPropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam) {
  if (!info) {
    auto *header = reinterpret_cast<DOCUMENTPROPERTYHEADER *>(lParam);
    if (header->fMode == 0 || !header->pdmOut) return sizeof(DEVMODEW);
    if (header->pdmIn) *header->pdmOut = *header->pdmIn;
    return 1;
  }
  if (info->Reason == PROPSHEETUI_REASON_INIT) {
    document = reinterpret_cast<DOCUMENTPROPERTYHEADER *>(info->lParamInit);
    if (document->pdmIn && document->pdmOut) *document->pdmOut = *document->pdmIn;
    return addPage(info, u"Document");
  }
  if (info->Reason == PROPSHEETUI_REASON_SET_RESULT)
    info->Result = ULONG_PTR(reinterpret_cast<SETRESULT_INFO *>(lParam)->Result);
  if (info->Reason == PROPSHEETUI_REASON_DESTROY) document = nullptr;
  return 1;
}

WINSIM_API LONG WINAPI DrvDevicePropertySheets(PPROPSHEETUI_INFO info, LPARAM) {
  if (info && info->Reason == PROPSHEETUI_REASON_INIT) return addPage(info, u"Device");
  return 1;
}

// The module's default settings: landscape, with four private bytes that
// name the process that asked for them (the spooler hosts driver code in a
// process of its own).
WINSIM_API BOOL WINAPI DrvConvertDevMode(LPWSTR, PDEVMODEW pdmIn, PDEVMODEW pdmOut, PLONG pcbNeeded, DWORD fMode) {
  constexpr WORD kExtra = 4;
  if (fMode != CDM_DRIVER_DEFAULT || pdmIn || !pcbNeeded) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!pdmOut || *pcbNeeded < LONG(sizeof(DEVMODEW) + kExtra)) {
    *pcbNeeded = LONG(sizeof(DEVMODEW) + kExtra);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  *pdmOut = DEVMODEW{};
  pdmOut->dmSpecVersion = DM_SPECVERSION;
  pdmOut->dmSize = sizeof(DEVMODEW);
  pdmOut->dmDriverExtra = kExtra;
  pdmOut->dmFields = DM_ORIENTATION;
  pdmOut->dmOrientation = DMORIENT_LANDSCAPE;
  const DWORD process = GetCurrentProcessId();
  CopyMemory(reinterpret_cast<BYTE *>(pdmOut + 1), &process, kExtra);
  *pcbNeeded = LONG(sizeof(DEVMODEW) + kExtra);
  return TRUE;
}

}  // extern "C"
