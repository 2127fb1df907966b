// The configuration module of the test printer's driver: the printer
// interface entry points a spooler calls while a printer is installed (for
// the printer's default DEVMODE), with no user interface behind them.
#include <windows.h>

// The printer interface header of the platforms this builds with does not
// declare the document property header; its documented layout and the mode
// bits follow.
namespace {

struct DocumentPropertyHeader {
  WORD cbSize;
  WORD Reserved;
  HANDLE hPrinter;
  LPWSTR pszPrinterName;
  DEVMODEW *pdmIn;
  DEVMODEW *pdmOut;
  DWORD cbOut;
  DWORD fMode;
};

constexpr DWORD kOutBuffer = 2;  // DM_OUT_BUFFER
constexpr DWORD kInBuffer = 8;   // DM_IN_BUFFER
constexpr LONG kCpsuiOk = 1;
constexpr LONG kCpsuiFailed = -1;  // ERR_CPSUI_GETLASTERROR

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
  auto *h = reinterpret_cast<DocumentPropertyHeader *>(lParam);
  // No property sheets: only the calls without a user interface.
  if (pPSUIInfo || !h) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return kCpsuiFailed;
  }
  if (!(h->fMode & kOutBuffer) || !h->pdmOut) {
    h->cbOut = sizeof(DEVMODEW);
    return LONG(h->cbOut);
  }
  if (h->cbOut < sizeof(DEVMODEW)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return kCpsuiFailed;
  }
  settings(h->pszPrinterName, (h->fMode & kInBuffer) ? h->pdmIn : nullptr, h->pdmOut);
  return kCpsuiOk;
}

extern "C" LONG WINAPI DrvDevicePropertySheets(void *, LPARAM) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return kCpsuiFailed;
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
