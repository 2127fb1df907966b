// The part of the printer-driver UI interface this module speaks: the
// structures the spooler hands to the UI entry points and the constants of
// their modes.  The printer and document events come from the platform's
// winddiui.h.  For the rest, the SDK that the windows flavour builds with
// declares only a few, so the module declares them itself, with the
// documented layouts and values, for both flavours alike.  Constants are
// defined only where a platform header has not already done so.
#pragma once

#include <windows.h>
#include <winddiui.h>

namespace card::cfg {

// Document property header: the parameter of the document sheet entry.
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

// Device property header: the parameter of the device sheet entry.
struct DevicePropertyHeader {
  WORD cbSize;
  WORD Flags;
  HANDLE hPrinter;
  LPWSTR pszPrinterName;
};

// The common property sheet UI's call block.  Only its presence matters to
// the sheet-less paths.
struct PropSheetUiInfo {
  WORD cbSize;
  WORD Version;
  WORD Flags;
  WORD Reason;
  HANDLE hComPropSheet;
  void *pfnComPropSheet;
  LPARAM lParamInit;
  ULONG_PTR UserData;
  ULONG_PTR Result;
};

// DevQueryPrintEx's question.
struct DevQueryPrintInfo {
  WORD cbSize;
  WORD Level;
  HANDLE hPrinter;
  DEVMODEW *pDevMode;
  LPWSTR pszErrorStr;
  DWORD cchErrorStr;
  DWORD cchNeeded;
};

}  // namespace card::cfg

// DEVMODE exchange modes.
#ifndef DM_UPDATE
#define DM_UPDATE 1
#endif
#ifndef DM_COPY
#define DM_COPY 2
#endif
#ifndef DM_PROMPT
#define DM_PROMPT 4
#endif
#ifndef DM_MODIFY
#define DM_MODIFY 8
#endif
#ifndef DM_IN_BUFFER
#define DM_IN_BUFFER DM_MODIFY
#endif
#ifndef DM_OUT_BUFFER
#define DM_OUT_BUFFER DM_COPY
#endif
#ifndef DM_ADVANCED
#define DM_ADVANCED 0x10
#endif
#ifndef DM_NOPERMISSION
#define DM_NOPERMISSION 0x80000000
#endif

// DEVMODE conversion.
#ifndef CDM_CONVERT
#define CDM_CONVERT 0x01
#endif
#ifndef CDM_CONVERT351
#define CDM_CONVERT351 0x02
#endif
#ifndef CDM_DRIVER_DEFAULT
#define CDM_DRIVER_DEFAULT 0x04
#endif
#ifndef CDM_RESULT_NOT_HANDLED
#define CDM_RESULT_NOT_HANDLED 2
#endif

// Device capabilities.
#ifndef DC_FIELDS
#define DC_FIELDS 1
#define DC_PAPERS 2
#define DC_PAPERSIZE 3
#define DC_MINEXTENT 4
#define DC_MAXEXTENT 5
#define DC_BINS 6
#define DC_DUPLEX 7
#define DC_SIZE 8
#define DC_EXTRA 9
#define DC_VERSION 10
#define DC_DRIVER 11
#define DC_BINNAMES 12
#define DC_ENUMRESOLUTIONS 13
#define DC_FILEDEPENDENCIES 14
#define DC_TRUETYPE 15
#define DC_PAPERNAMES 16
#define DC_ORIENTATION 17
#define DC_COPIES 18
#endif
#ifndef DC_BINADJUST
#define DC_BINADJUST 19
#endif
#ifndef DC_EMF_COMPLIANT
#define DC_EMF_COMPLIANT 20
#endif
#ifndef DC_MEDIAREADY
#define DC_MEDIAREADY 29
#endif
#ifndef DC_STAPLE
#define DC_STAPLE 30
#endif
#ifndef DC_COLORDEVICE
#define DC_COLORDEVICE 32
#endif
