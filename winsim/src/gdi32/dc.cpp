// Device contexts and printing: CreateDC on a printer loads and enables its
// graphics driver; the document and page calls go to the driver and through
// the spooler.  Coordinates are device units (MM_TEXT).
#include <algorithm>
#include <cmath>
#include <cstring>

#include <winspool.h>

#include "core/internal.h"
#include "gdi32/gdi.h"

using namespace winsim;
using namespace winsim::gdi;

extern "C" {

// ------------------------------------------------------------ device contexts

HDC WINAPI CreateDCW(LPCWSTR pwszDriver, LPCWSTR pwszDevice, LPCWSTR pszPort, const DEVMODEW *pdm) {
  (void)pszPort;
  initStock();
  std::u16string device = fromW(pwszDevice);
  if (device.empty()) {
    // "DISPLAY" and the like: no display in this machine.
    (void)pwszDriver;
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HANDLE hPrinter = nullptr;
  PRINTER_DEFAULTSW defs{nullptr, nullptr, PRINTER_ACCESS_USE};
  if (!OpenPrinterW(device.data(), &hPrinter, &defs)) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return nullptr;
  }
  DWORD need = 0;
  GetPrinterDriverW(hPrinter, nullptr, 2, nullptr, 0, &need);
  std::vector<BYTE> dbuf(need ? need : 1);
  GetPrinterW(hPrinter, 2, nullptr, 0, &need);
  std::vector<BYTE> pbuf(need ? need : 1);
  if (!GetPrinterDriverW(hPrinter, nullptr, 2, dbuf.data(), DWORD(dbuf.size()), &need) ||
      !GetPrinterW(hPrinter, 2, pbuf.data(), DWORD(pbuf.size()), &need)) {
    ClosePrinter(hPrinter);
    SetLastError(ERROR_UNKNOWN_PRINTER_DRIVER);
    return nullptr;
  }
  auto *di = reinterpret_cast<DRIVER_INFO_2W *>(dbuf.data());
  auto *pi = reinterpret_cast<PRINTER_INFO_2W *>(pbuf.data());
  PDev proto;
  proto.printer = hPrinter;
  proto.printerName = fromW(pi->pPrinterName);
  proto.port = fromW(pi->pPortName);
  proto.devmode = copyDevMode(pdm ? pdm : pi->pDevMode);
  proto.dev.driverPath = fromW(di->pDriverPath);
  proto.dev.dataFile = fromW(di->pDataFile);
  Driver *drv = proto.dev.driverPath.empty() ? nullptr : loadDriver(proto.dev.driverPath);
  if (!drv) {
    ClosePrinter(hPrinter);
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return nullptr;
  }
  std::unique_ptr<PDev> p = enablePDev(drv, proto);
  if (!p || !enableSurface(p.get())) {
    DWORD err = GetLastError();
    disablePDev(p);
    releaseDriver(drv);
    ClosePrinter(hPrinter);
    SetLastError(err ? err : ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto *dc = addObj(new DcObj, OBJ_DC);
  dc->pdev = std::move(p);
  initState(dc->st, false);
  return static_cast<HDC>(dc->handle);
}

HDC WINAPI CreateICW(LPCWSTR pszDriver, LPCWSTR pszDevice, LPCWSTR pszPort, const DEVMODEW *pdm) {
  HDC h = CreateDCW(pszDriver, pszDevice, pszPort, pdm);
  if (DcObj *dc = dcOf(h)) dc->infoOnly = true;
  return h;
}

HDC WINAPI CreateCompatibleDC(HDC hdc) {
  initStock();
  DcObj *src = hdc ? dcOf(hdc) : nullptr;
  if (hdc && !src) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  auto *dc = addObj(new DcObj, OBJ_MEMDC);
  dc->memory = true;
  initState(dc->st, true);
  return static_cast<HDC>(dc->handle);
}

BOOL WINAPI DeleteDC(HDC hdc) {
  DcObj *dc = dcOf(hdc);
  if (!dc) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (dc->docStarted) AbortDoc(hdc);
  destroyDc(dc, true);
  return TRUE;
}

HDC WINAPI ResetDCW(HDC hdc, const DEVMODEW *lpdm) {
  DcObj *dc = dcOf(hdc);
  if (!dc || !dc->pdev) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (dc->pageStarted) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  PDev proto;
  proto.printer = dc->pdev->printer;
  proto.printerName = dc->pdev->printerName;
  proto.port = dc->pdev->port;
  proto.devmode = lpdm ? copyDevMode(lpdm) : dc->pdev->devmode;
  proto.dev.driverPath = dc->pdev->dev.driverPath;
  proto.dev.dataFile = dc->pdev->dev.dataFile;
  Driver *drv = dc->pdev->drv;
  std::unique_ptr<PDev> p = enablePDev(drv, proto);
  if (!p) return nullptr;
  // The driver hands its job state from the old instance to the new one.
  if (auto reset = fnCast<FnResetPDEV>(drv->fn[INDEX_DrvResetPDEV])) {
    if (!reset(dc->pdev->dev.dhpdev, p->dev.dhpdev)) {
      disablePDev(p);
      return nullptr;
    }
  }
  disablePDev(dc->pdev);
  if (!enableSurface(p.get())) {
    disablePDev(p);
    return nullptr;
  }
  dc->pdev = std::move(p);
  return hdc;
}

int WINAPI GetDeviceCaps(HDC hdc, int index) {
  DcObj *dc = dcOf(hdc);
  if (!dc) return 0;
  if (dc->pdev) {
    const GDIINFO &g = dc->pdev->gi;
    switch (index) {
      case DRIVERVERSION: return int(g.ulVersion);
      case TECHNOLOGY: return int(g.ulTechnology);
      case HORZSIZE: return int(g.ulHorzSize);
      case VERTSIZE: return int(g.ulVertSize);
      case HORZRES: return int(g.ulHorzRes);
      case VERTRES: return int(g.ulVertRes);
      case BITSPIXEL: return int(g.cBitsPixel);
      case PLANES: return int(g.cPlanes);
      case NUMCOLORS: return int(g.ulNumColors);
      case LOGPIXELSX: return int(g.ulLogPixelsX);
      case LOGPIXELSY: return int(g.ulLogPixelsY);
      case ASPECTX: return int(g.ulAspectX);
      case ASPECTY: return int(g.ulAspectY);
      case ASPECTXY: return int(g.ulAspectXY);
      case TEXTCAPS: return int(g.flTextCaps);
      case PHYSICALWIDTH: return int(g.szlPhysSize.cx);
      case PHYSICALHEIGHT: return int(g.szlPhysSize.cy);
      case PHYSICALOFFSETX: return int(g.ptlPhysOffset.x);
      case PHYSICALOFFSETY: return int(g.ptlPhysOffset.y);
      case RASTERCAPS:
        return RC_BITBLT | RC_BANDING | RC_BITMAP64 | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHBLT | RC_STRETCHDIB;
      case NUMFONTS: return int(dc->pdev->di.cFonts);
      default: return 0;
    }
  }
  Surface *s = dc->view ? dc->view : dc->st.bitmap ? dc->st.bitmap->surf : nullptr;
  switch (index) {
    case TECHNOLOGY: return DT_RASDISPLAY;
    case BITSPIXEL: return s ? bitsPerPixel(s->so.iBitmapFormat) : 1;
    case PLANES: return 1;
    case HORZRES: return 1920;
    case VERTRES: return 1080;
    case LOGPIXELSX:
    case LOGPIXELSY: return 96;
    case HORZSIZE: return 508;
    case VERTSIZE: return 286;
    case RASTERCAPS: return RC_BITBLT | RC_BITMAP64 | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHBLT | RC_STRETCHDIB;
    default: return 0;
  }
}

int WINAPI SaveDC(HDC hdc) {
  DcObj *dc = dcOf(hdc);
  if (!dc) return 0;
  dc->saved.push_back(dc->st);
  holdState(dc->saved.back());
  return int(dc->saved.size());
}

BOOL WINAPI RestoreDC(HDC hdc, int nSavedDC) {
  DcObj *dc = dcOf(hdc);
  if (!dc || dc->saved.empty()) return FALSE;
  int n = int(dc->saved.size());
  int target = nSavedDC < 0 ? n + nSavedDC + 1 : nSavedDC;
  if (target < 1 || target > n) return FALSE;
  while (int(dc->saved.size()) > target) {
    releaseState(dc->saved.back());
    dc->saved.pop_back();
  }
  BitmapObj *bm = dc->st.bitmap;
  releaseState(dc->st);
  if (bm) bm->selectedDc = nullptr;
  dc->st = dc->saved.back();
  dc->saved.pop_back();
  if (dc->st.bitmap) dc->st.bitmap->selectedDc = dc;
  return TRUE;
}

}  // extern "C"

// ------------------------------------------------------------ window DCs

namespace winsim::gdi {

HDC createWindowDc(HWND window, void *bits, LONG cx, LONG cy, LONG stride, std::shared_ptr<void> pixels,
                   const std::vector<RECTL> *visible) {
  initStock();
  Surface *view = nullptr;
  if (cx > 0 && cy > 0 && bits) {
    view = createSurface(cx, cy, BMF_32BPP, true, bits, stride);
    if (!view) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    // Held past the closing of the engine's handles at a reset, as a
    // bitmap holds its surface.
    view->refs.fetch_add(1);
  }
  auto *dc = addObj(new DcObj, OBJ_DC);
  dc->windowDc = true;
  dc->window = window;
  dc->view = view;
  dc->pixels = std::move(pixels);
  if (visible) {
    dc->hasVisible = true;
    dc->visible = *visible;
  }
  initState(dc->st, false);
  return static_cast<HDC>(dc->handle);
}

HWND windowOfDc(HDC hdc) {
  DcObj *dc = dcOf(hdc);
  return dc ? dc->window : nullptr;
}

bool isWindowDc(HDC hdc) {
  DcObj *dc = dcOf(hdc);
  return dc && dc->windowDc;
}

}  // namespace winsim::gdi

extern "C" {

// ------------------------------------------------------------ printing

int WINAPI StartDocW(HDC hdc, const DOCINFOW *lpdi) {
  DcObj *dc = dcOf(hdc);
  if (!dc || !dc->pdev || !lpdi) {
    SetLastError(dc ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return SP_ERROR;
  }
  if (dc->docStarted) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return SP_ERROR;
  }
  std::u16string name = fromW(lpdi->lpszDocName), out = fromW(lpdi->lpszOutput), type = u"RAW";
  DOC_INFO_1W d1{name.data(), out.empty() ? nullptr : out.data(), type.data()};
  DWORD job = StartDocPrinterW(dc->pdev->printer, 1, reinterpret_cast<LPBYTE>(&d1));
  if (!job) return SP_ERROR;
  SURFOBJ *so = primary(dc);
  if (auto f = fnCast<FnStartDoc>(dc->pdev->drv->fn[INDEX_DrvStartDoc])) {
    if (!f(so, name.data(), job)) {
      AbortPrinter(dc->pdev->printer);
      return SP_ERROR;
    }
  }
  dc->docStarted = true;
  dc->jobId = job;
  return int(job);
}

int WINAPI StartPage(HDC hdc) {
  DcObj *dc = dcOf(hdc);
  if (!dc || !dc->pdev || !dc->docStarted || dc->pageStarted) {
    SetLastError(dc ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return SP_ERROR;
  }
  if (!StartPagePrinter(dc->pdev->printer)) return SP_ERROR;
  if (auto f = fnCast<FnPage>(dc->pdev->drv->fn[INDEX_DrvStartPage]))
    if (!f(primary(dc))) return SP_ERROR;
  dc->pageStarted = true;
  return 1;
}

int WINAPI EndPage(HDC hdc) {
  DcObj *dc = dcOf(hdc);
  if (!dc || !dc->pdev || !dc->pageStarted) {
    SetLastError(dc ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return SP_ERROR;
  }
  dc->pageStarted = false;
  BOOL ok = TRUE;
  if (auto f = fnCast<FnPage>(dc->pdev->drv->fn[INDEX_DrvSendPage])) ok = f(primary(dc));
  EndPagePrinter(dc->pdev->printer);
  return ok ? 1 : SP_ERROR;
}

int WINAPI EndDoc(HDC hdc) {
  DcObj *dc = dcOf(hdc);
  if (!dc || !dc->pdev || !dc->docStarted) {
    SetLastError(dc ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return SP_ERROR;
  }
  if (dc->pageStarted) EndPage(hdc);
  BOOL ok = TRUE;
  if (auto f = fnCast<FnEndDoc>(dc->pdev->drv->fn[INDEX_DrvEndDoc])) ok = f(primary(dc), 0);
  dc->docStarted = false;
  if (!EndDocPrinter(dc->pdev->printer)) ok = FALSE;
  return ok ? 1 : SP_ERROR;
}

int WINAPI AbortDoc(HDC hdc) {
  DcObj *dc = dcOf(hdc);
  if (!dc || !dc->pdev || !dc->docStarted) {
    SetLastError(dc ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return SP_ERROR;
  }
  if (auto f = fnCast<FnEndDoc>(dc->pdev->drv->fn[INDEX_DrvEndDoc])) f(primary(dc), ED_ABORTDOC);
  dc->docStarted = false;
  dc->pageStarted = false;
  AbortPrinter(dc->pdev->printer);
  return 1;
}

int WINAPI SetAbortProc(HDC hdc, ABORTPROC) { return dcOf(hdc) ? 1 : SP_ERROR; }

int WINAPI ExtEscape(HDC hdc, int iEscape, int cjInput, LPCSTR lpInData, int cjOutput, LPSTR lpOutData) {
  DcObj *dc = dcOf(hdc);
  if (!dc) {
    SetLastError(ERROR_INVALID_HANDLE);
    return -1;
  }
  if (!dc->pdev || cjInput < 0 || cjOutput < 0 || (cjInput && !lpInData)) return 0;
  auto f = fnCast<FnEscape>(dc->pdev->drv->fn[INDEX_DrvEscape]);
  if (!f) return 0;
  return int(f(primary(dc), ULONG(iEscape), ULONG(cjInput), const_cast<LPSTR>(lpInData), ULONG(cjOutput), lpOutData));
}

int WINAPI Escape(HDC hdc, int iEscape, int cjIn, LPCSTR pvIn, LPVOID pvOut) {
  switch (iEscape) {
    case NEWFRAME: return EndPage(hdc) > 0 && StartPage(hdc) > 0 ? 1 : SP_ERROR;
    case ABORTDOC: return AbortDoc(hdc);
    case ENDDOC: return EndDoc(hdc);
    case STARTDOC: {
      std::u16string name = toUtf16(std::string(pvIn ? pvIn : "", pvIn ? size_t(std::max(cjIn, 0)) : 0));
      DOCINFOW di{sizeof(DOCINFOW), name.c_str(), nullptr, nullptr, 0};
      return StartDocW(hdc, &di);
    }
    default: return ExtEscape(hdc, iEscape, cjIn, pvIn, 0, static_cast<LPSTR>(pvOut));
  }
}

}  // extern "C"
