// The platform structures whose bytes the package stores or hands between
// modules.  Compiled in both flavours: a stand-in header that drifts from the
// SDK's layout stops the build here.
#include <windows.h>

#include <cstddef>

#include "shared/job_settings.h"

static_assert(sizeof(WCHAR) == 2);
static_assert(sizeof(DWORD) == 4 && sizeof(LONG) == 4 && sizeof(ULONG) == 4 && sizeof(WORD) == 2);
static_assert(sizeof(BOOL) == 4 && sizeof(COLORREF) == 4);
static_assert(sizeof(HANDLE) == sizeof(void *) && sizeof(ULONG_PTR) == sizeof(void *));
static_assert(sizeof(GUID) == 16);
static_assert(offsetof(GUID, Data4) == 8);
static_assert(sizeof(POINTL) == 8 && sizeof(RECTL) == 16 && sizeof(SIZEL) == 8);
static_assert(sizeof(FILETIME) == 8 && sizeof(SYSTEMTIME) == 16);
static_assert(sizeof(LARGE_INTEGER) == 8);

static_assert(sizeof(DEVMODEW) == 220);
static_assert(offsetof(DEVMODEW, dmDeviceName) == 0);
static_assert(offsetof(DEVMODEW, dmSpecVersion) == 64);
static_assert(offsetof(DEVMODEW, dmDriverVersion) == 66);
static_assert(offsetof(DEVMODEW, dmSize) == 68);
static_assert(offsetof(DEVMODEW, dmDriverExtra) == 70);
static_assert(offsetof(DEVMODEW, dmFields) == 72);
static_assert(offsetof(DEVMODEW, dmOrientation) == 76);
static_assert(offsetof(DEVMODEW, dmPaperSize) == 78);
static_assert(offsetof(DEVMODEW, dmCopies) == 86);
static_assert(offsetof(DEVMODEW, dmPrintQuality) == 90);
static_assert(offsetof(DEVMODEW, dmColor) == 92);
static_assert(offsetof(DEVMODEW, dmDuplex) == 94);
static_assert(offsetof(DEVMODEW, dmCollate) == 100);
static_assert(offsetof(DEVMODEW, dmFormName) == 102);
static_assert(offsetof(DEVMODEW, dmLogPixels) == 166);
static_assert(offsetof(DEVMODEW, dmBitsPerPel) == 168);
static_assert(offsetof(DEVMODEW, dmPelsHeight) == 176);
static_assert(offsetof(DEVMODEW, dmNup) == 180);
static_assert(offsetof(DEVMODEW, dmICMMethod) == 188);
static_assert(offsetof(DEVMODEW, dmMediaType) == 196);
static_assert(offsetof(DEVMODEW, dmDitherType) == 200);
static_assert(offsetof(DEVMODEW, dmReserved2) == 208);
static_assert(offsetof(DEVMODEW, dmPanningWidth) == 212);
static_assert(offsetof(DEVMODEW, dmPanningHeight) == 216);
static_assert(card::kStandardPartSize == offsetof(DEVMODEW, dmPanningWidth));

static_assert(sizeof(OSVERSIONINFOW) == 276);
static_assert(sizeof(OSVERSIONINFOEXW) == 284);
static_assert(sizeof(WIN32_FIND_DATAW) == 592);
#if defined(_WIN64) || defined(__x86_64__)
static_assert(sizeof(SYSTEM_INFO) == 48);
static_assert(sizeof(OVERLAPPED) == 32);
static_assert(sizeof(SECURITY_ATTRIBUTES) == 24);
#else
static_assert(sizeof(SYSTEM_INFO) == 36);
static_assert(sizeof(OVERLAPPED) == 20);
static_assert(sizeof(SECURITY_ATTRIBUTES) == 12);
#endif

// ---------------------------------------------------------------- graphics engine, GDI, spooler
// The driver interface header of the cross SDK needs the DirectDraw driver
// headers of the DDK; the checks of its structures run wherever they resolve.
#if !defined(_WIN32) || __has_include(<ddrawint.h>)
#define CARD_CHECK_WINDDI 1
#endif
#include <winspool.h>
#include <shlobj.h>
#ifdef CARD_CHECK_WINDDI
#include <winddi.h>
#endif

static_assert(sizeof(RGBQUAD) == 4);
static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(offsetof(BITMAPINFOHEADER, biBitCount) == 14);
static_assert(offsetof(BITMAPINFOHEADER, biSizeImage) == 20);
static_assert(offsetof(BITMAPINFOHEADER, biClrImportant) == 36);
static_assert(sizeof(BITMAPINFO) == 44);
static_assert(sizeof(BITMAPFILEHEADER) == 14);
static_assert(offsetof(BITMAPFILEHEADER, bfOffBits) == 10);
static_assert(sizeof(LOGFONTW) == 92);
static_assert(offsetof(LOGFONTW, lfFaceName) == 28);
static_assert(sizeof(TEXTMETRICW) == 60);
static_assert(offsetof(TEXTMETRICW, tmFirstChar) == 44);
static_assert(sizeof(COLORADJUSTMENT) == 24);
static_assert(sizeof(PRINTER_OPTIONS) == 8);

#ifdef CARD_CHECK_WINDDI
static_assert(sizeof(POINTFIX) == 8 && sizeof(RECTFX) == 16);
static_assert(sizeof(COLORINFO) == 120);
static_assert(offsetof(GDIINFO, ulTechnology) == 4);
static_assert(offsetof(GDIINFO, flTextCaps) == 48);
static_assert(offsetof(GDIINFO, ulAspectXY) == 72);
static_assert(offsetof(GDIINFO, ptlPhysOffset) == 88);
static_assert(offsetof(GDIINFO, szlPhysSize) == 96);
static_assert(offsetof(GDIINFO, ciDevice) == 108);
static_assert(offsetof(GDIINFO, ulDevicePelsDPI) == 228);
static_assert(offsetof(GDIINFO, ulHTOutputFormat) == 240);
static_assert(offsetof(GDIINFO, flHTFlags) == 244);
static_assert(offsetof(DEVINFO, lfDefaultFont) == 4);
static_assert(offsetof(DEVINFO, lfAnsiVarFont) == 96);
static_assert(offsetof(DEVINFO, cFonts) == 280);
static_assert(offsetof(DEVINFO, iDitherFormat) == 284);
static_assert(offsetof(DEVINFO, cxDither) == 288);
static_assert(sizeof(CLIPOBJ) == 24);
static_assert(offsetof(CLIPOBJ, rclBounds) == 4);
static_assert(offsetof(CLIPOBJ, iDComplexity) == 20);
static_assert(offsetof(CLIPOBJ, iFComplexity) == 21);
static_assert(sizeof(ENUMRECTS) == 20);
static_assert(sizeof(PATHOBJ) == 8);
static_assert(sizeof(GLYPHBITS) == 20);
static_assert(offsetof(GLYPHBITS, sizlBitmap) == 8);
static_assert(offsetof(GLYPHBITS, aj) == 16);
static_assert(sizeof(FONTINFO) == 28);
static_assert(HOOK_BITBLT == 0x1 && HOOK_STRETCHBLT == 0x2 && HOOK_TEXTOUT == 0x8 && HOOK_PAINT == 0x10);
static_assert(HOOK_STROKEPATH == 0x20 && HOOK_FILLPATH == 0x40 && HOOK_STROKEANDFILLPATH == 0x80);
static_assert(HOOK_LINETO == 0x100 && HOOK_COPYBITS == 0x400);
static_assert(INDEX_DrvStartDoc == 35 && INDEX_DrvSendPage == 32 && INDEX_DrvEscape == 24 && INDEX_DrvLineTo == 31);
static_assert(BMF_1BPP == 1 && BMF_24BPP == 5 && BMF_TOPDOWN == 1 && BMF_NOZEROINIT == 2);
static_assert(PAL_BGR == 8 && GCAPS_HALFTONE == 0x10 && DDI_DRIVER_VERSION_NT5 == 0x30000);
static_assert(SO_GLYPHINDEX_TEXTOUT == 0x100 && DRVQUERY_USERMODE == 1);
#endif
static_assert(DT_RASPRINTER == 2 && QUERYESCSUPPORT == 8 && PASSTHROUGH == 19);
static_assert(CSIDL_COMMON_DOCUMENTS == 0x2e && CSIDL_COMMON_APPDATA == 0x23);
static_assert(PRINTER_ALL_ACCESS == 0xF000C && PRINTER_ACCESS_ADMINISTER == 4 && PRINTER_ACCESS_USE == 8);

#if defined(_WIN64) || defined(__x86_64__)
static_assert(sizeof(BITMAP) == 32);
static_assert(sizeof(DIBSECTION) == 104);
static_assert(sizeof(DOCINFOW) == 40);
static_assert(offsetof(DOCINFOW, lpszDocName) == 8);
static_assert(offsetof(DOCINFOW, fwType) == 32);
static_assert(sizeof(LOGBRUSH) == 16);
static_assert(sizeof(PRINTER_INFO_1W) == 32);
static_assert(sizeof(PRINTER_INFO_2W) == 136);
static_assert(offsetof(PRINTER_INFO_2W, pDevMode) == 56);
static_assert(offsetof(PRINTER_INFO_2W, pSecurityDescriptor) == 96);
static_assert(offsetof(PRINTER_INFO_2W, Attributes) == 104);
static_assert(offsetof(PRINTER_INFO_2W, AveragePPM) == 132);
static_assert(sizeof(PRINTER_INFO_8W) == 8);
static_assert(sizeof(DRIVER_INFO_2W) == 48);
static_assert(offsetof(DRIVER_INFO_2W, pName) == 8);
static_assert(offsetof(DRIVER_INFO_2W, pConfigFile) == 40);
static_assert(sizeof(DRIVER_INFO_3W) == 80);
static_assert(sizeof(PRINTER_DEFAULTSW) == 24);
static_assert(offsetof(PRINTER_DEFAULTSW, DesiredAccess) == 16);
static_assert(sizeof(DOC_INFO_1W) == 24);
static_assert(sizeof(JOB_INFO_1W) == 96);
static_assert(offsetof(JOB_INFO_1W, Submitted) == 76);
#ifdef CARD_CHECK_WINDDI
static_assert(sizeof(GDIINFO) == 320);
static_assert(offsetof(GDIINFO, pHTPatA) == 280);
static_assert(offsetof(GDIINFO, flShadeBlend) == 304);
static_assert(sizeof(DEVINFO) == 312);
static_assert(offsetof(DEVINFO, hpalDefault) == 296);
static_assert(offsetof(DEVINFO, flGraphicsCaps2) == 304);
static_assert(sizeof(DRVFN) == 16 && offsetof(DRVFN, pfn) == 8);
static_assert(sizeof(DRVENABLEDATA) == 16 && offsetof(DRVENABLEDATA, pdrvfn) == 8);
static_assert(sizeof(SURFOBJ) == 80);
static_assert(offsetof(SURFOBJ, sizlBitmap) == 32);
static_assert(offsetof(SURFOBJ, cjBits) == 40);
static_assert(offsetof(SURFOBJ, pvBits) == 48);
static_assert(offsetof(SURFOBJ, pvScan0) == 56);
static_assert(offsetof(SURFOBJ, lDelta) == 64);
static_assert(offsetof(SURFOBJ, iBitmapFormat) == 72);
static_assert(offsetof(SURFOBJ, iType) == 76);
static_assert(offsetof(SURFOBJ, fjBitmap) == 78);
static_assert(sizeof(BRUSHOBJ) == 24 && offsetof(BRUSHOBJ, pvRbrush) == 8 && offsetof(BRUSHOBJ, flColorType) == 16);
static_assert(sizeof(XLATEOBJ) == 24);
static_assert(offsetof(XLATEOBJ, iSrcType) == 8);
static_assert(offsetof(XLATEOBJ, cEntries) == 12);
static_assert(offsetof(XLATEOBJ, pulXlate) == 16);
static_assert(sizeof(PATHDATA) == 16 && offsetof(PATHDATA, pptfx) == 8);
static_assert(sizeof(STROBJ) == 48);
static_assert(offsetof(STROBJ, rclBkGround) == 12);
static_assert(offsetof(STROBJ, pgp) == 32);
static_assert(offsetof(STROBJ, pwszOrg) == 40);
static_assert(sizeof(GLYPHPOS) == 24 && offsetof(GLYPHPOS, pgdf) == 8 && offsetof(GLYPHPOS, ptl) == 16);
static_assert(sizeof(FONTOBJ) == 64);
static_assert(offsetof(FONTOBJ, iTTUniq) == 16);
static_assert(offsetof(FONTOBJ, sizLogResPpi) == 32);
static_assert(offsetof(FONTOBJ, pvConsumer) == 48);
static_assert(sizeof(WCRUN) == 16 && offsetof(WCRUN, phg) == 8);
static_assert(sizeof(FD_GLYPHSET) == 32 && offsetof(FD_GLYPHSET, awcrun) == 16);
static_assert(sizeof(LINEATTRS) == 40);
static_assert(offsetof(LINEATTRS, pstyle) == 24);
static_assert(sizeof(GLYPHDATA) == 64);
#endif
#endif

// ---------------------------------------------------------------- print monitors
// The monitor tables a language monitor fills and receives: the spooler calls
// through them by position, so every entry must sit where the SDK puts it.
#if __has_include(<winsplp.h>)
#include <winsplp.h>
#if defined(_WIN64) || defined(__x86_64__)
static_assert(sizeof(MONITOR) == 17 * 8);
static_assert(offsetof(MONITOR, pfnOpenPortEx) == 16);
static_assert(offsetof(MONITOR, pfnStartDocPort) == 24);
static_assert(offsetof(MONITOR, pfnWritePort) == 32);
static_assert(offsetof(MONITOR, pfnReadPort) == 40);
static_assert(offsetof(MONITOR, pfnEndDocPort) == 48);
static_assert(offsetof(MONITOR, pfnClosePort) == 56);
static_assert(offsetof(MONITOR, pfnGetPrinterDataFromPort) == 96);
static_assert(offsetof(MONITOR, pfnSetPortTimeOuts) == 104);
static_assert(offsetof(MONITOR, pfnXcvClosePort) == 128);
static_assert(sizeof(MONITOREX) == 8 + 17 * 8 && offsetof(MONITOREX, Monitor) == 8);
static_assert(sizeof(MONITORINIT) == 48);
static_assert(offsetof(MONITORINIT, hSpooler) == 8);
static_assert(offsetof(MONITORINIT, pMonitorReg) == 24);
static_assert(offsetof(MONITORINIT, bLocal) == 32);
static_assert(offsetof(MONITORINIT, pszServerName) == 40);
static_assert(offsetof(MONITOR2, pfnEnumPorts) == 8);
static_assert(offsetof(MONITOR2, pfnOpenPortEx) == 24);
static_assert(offsetof(MONITOR2, pfnGetPrinterDataFromPort) == 104);
static_assert(offsetof(MONITOR2, pfnShutdown) == 144);
static_assert(MONITOR2_SIZE_WIN2K == 148);
static_assert(sizeof(PORT_INFO_2W) == 32 && offsetof(PORT_INFO_2W, fPortType) == 24);
static_assert(sizeof(MONITOR_INFO_2W) == 24);
#else
static_assert(sizeof(MONITOR) == 17 * 4);
static_assert(offsetof(MONITOR, pfnGetPrinterDataFromPort) == 48);
static_assert(sizeof(MONITORINIT) == 24);
#endif
static_assert(sizeof(COMMTIMEOUTS) == 20);
static_assert(JOB_CONTROL_DELETE == 5 && JOB_CONTROL_LAST_PAGE_EJECTED == 7);
static_assert(JOB_STATUS_DELETING == 4 && JOB_STATUS_PRINTING == 0x10 && JOB_STATUS_RESTART == 0x800);
#endif

// ---------------------------------------------------------------- printer-driver UI
// The blocks the spooler and the common property sheet UI hand to the UI
// module, the options it opens its printer with, and the process start of the
// tray program: read and written by field position.
#include <compstui.h>
#include <winddiui.h>
#if defined(_WIN64) || defined(__x86_64__)
static_assert(sizeof(DOCUMENTPROPERTYHEADER) == 48 && offsetof(DOCUMENTPROPERTYHEADER, pdmOut) == 32 &&
              offsetof(DOCUMENTPROPERTYHEADER, fMode) == 44);
static_assert(sizeof(DEVICEPROPERTYHEADER) == 24 && offsetof(DEVICEPROPERTYHEADER, pszPrinterName) == 16);
static_assert(sizeof(DEVQUERYPRINT_INFO) == 40 && offsetof(DEVQUERYPRINT_INFO, cchNeeded) == 36);
static_assert(sizeof(PROPSHEETUI_INFO) == 48 && offsetof(PROPSHEETUI_INFO, lParamInit) == 24);
static_assert(sizeof(STARTUPINFOW) == 104 && offsetof(STARTUPINFOW, hStdInput) == 80);
static_assert(sizeof(PROCESS_INFORMATION) == 24);
#else
static_assert(sizeof(DOCUMENTPROPERTYHEADER) == 28 && offsetof(DOCUMENTPROPERTYHEADER, fMode) == 24);
static_assert(sizeof(DEVQUERYPRINT_INFO) == 24);
static_assert(sizeof(STARTUPINFOW) == 68 && sizeof(PROCESS_INFORMATION) == 16);
#endif
static_assert(sizeof(PRINTER_OPTIONSW) == 8 && PRINTER_OPTION_NO_CACHE == 1);
static_assert(CDM_DRIVER_DEFAULT == 4 && CDM_RESULT_NOT_HANDLED == 2 && DM_ADVANCED == 0x10);
static_assert(MB_SYSTEMMODAL == 0x1000 && MB_SETFOREGROUND == 0x10000 && MB_TOPMOST == 0x40000);
