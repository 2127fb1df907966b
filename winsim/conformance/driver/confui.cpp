// The configuration module of the test printer's driver: the printer
// interface entry points a spooler calls while a printer is installed (for
// the printer's default DEVMODE), with no user interface behind them.
#include <windows.h>
#include <compstui.h>
#include <winddiui.h>

namespace {

// Portrait, one copy, merged with what the caller gives.
void settings(LPCWSTR printer, const DEVMODEW *in, DEVMODEW *out) {
  DEVMODEW dm{};
  if (printer) lstrcpynW(dm.dmDeviceName, printer, CCHDEVICENAME);
  dm.dmSpecVersion = DM_SPECVERSION;
  dm.dmSize = sizeof dm;
  dm.dmFields = DM_ORIENTATION | DM_COPIES;
  dm.dmOrientation = DMORIENT_PORTRAIT;
  dm.dmCopies = 1;
  if (in && in->dmSize >= offsetof(DEVMODEW, dmScale)) {
    if ((in->dmFields & DM_ORIENTATION) &&
        (in->dmOrientation == DMORIENT_PORTRAIT || in->dmOrientation == DMORIENT_LANDSCAPE))
      dm.dmOrientation = in->dmOrientation;
    if ((in->dmFields & DM_COPIES) && in->dmSize > offsetof(DEVMODEW, dmCopies) && in->dmCopies > 0)
      dm.dmCopies = in->dmCopies;
  }
  *out = dm;
}

}  // namespace

extern "C" LONG WINAPI DrvDocumentPropertySheets(void *pPSUIInfo, LPARAM lParam) {
  auto *h = reinterpret_cast<DOCUMENTPROPERTYHEADER *>(lParam);
  // No property sheets: only the calls without a user interface.
  if (pPSUIInfo || !h) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return ERR_CPSUI_GETLASTERROR;
  }
  if (!(h->fMode & DM_OUT_BUFFER) || !h->pdmOut) {
    h->cbOut = sizeof(DEVMODEW);
    return LONG(h->cbOut);
  }
  if (h->cbOut < sizeof(DEVMODEW)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return ERR_CPSUI_GETLASTERROR;
  }
  settings(h->pszPrinterName, (h->fMode & DM_IN_BUFFER) ? h->pdmIn : nullptr, h->pdmOut);
  return CPSUI_OK;
}

extern "C" LONG WINAPI DrvDevicePropertySheets(void *, LPARAM) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return ERR_CPSUI_GETLASTERROR;
}

extern "C" DWORD WINAPI DrvDeviceCapabilities(HANDLE, LPWSTR, WORD, void *, DEVMODEW *) {
  // Nothing to tell: every capability is unsupported.
  return GDI_ERROR;
}

extern "C" BOOL WINAPI DrvConvertDevMode(LPWSTR pPrinterName, DEVMODEW *pdmIn, DEVMODEW *pdmOut, LONG *pcbNeeded,
                                         DWORD) {
  if (!pcbNeeded || !pdmOut) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (*pcbNeeded < LONG(sizeof(DEVMODEW))) {
    *pcbNeeded = sizeof(DEVMODEW);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  settings(pPrinterName, pdmIn, pdmOut);
  *pcbNeeded = sizeof(DEVMODEW);
  return TRUE;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}
