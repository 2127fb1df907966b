// The printer-driver UI entry points of cardcfg: the settings exchange
// (DEVMODE sizes, driver default, merge), capability answers, print queries
// and the printer and document events.  The rules themselves are in
// exchange.cpp; this file fetches what they need from the spooler.
#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <vector>

#include "config/default_settings_file.h"
#include "config/device_sheet.h"
#include "config/document_sheet.h"
#include "config/exchange.h"
#include "config/messages.h"
#include "config/module_state.h"
#include "config/printer_access.h"
#include "config/printer_queries.h"
#include "config/printer_security.h"
#include "config/printer_values.h"
#include "config/server_version_check.h"
#include "config/tray_client.h"
#include <compstui.h>
#include <winddiui.h>
#include "config/windows_version.h"
#include "shared/printer_models.h"

// The exported names come from cardcfg.def; on the linux flavour they must
// also be visible to its version script.
#ifdef _WIN32
#define CARDCFG_EXPORT
#else
#define CARDCFG_EXPORT __attribute__((visibility("default")))
#endif

using namespace card;
using namespace card::cfg;

namespace {

// No exception leaves an entry point: the only one possible here is a failed
// allocation, answered as the platform answers running out of memory.
template <typename R, typename F>
R guarded(R failure, F &&body) {
  try {
    return body();
  } catch (const std::bad_alloc &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  } catch (...) {
    SetLastError(ERROR_INVALID_DATA);
  }
  return failure;
}

// The old-style merge: see exchange.h for the rules.
LONG documentProperties(HANDLE hPrinter, DEVMODEW *pdmOut, const DEVMODEW *pdmIn, DWORD fMode) {
  if (fMode == 0) return LONG(kCardDevmodeSize);
  if (!(fMode & DM_COPY) || !pdmOut) return kMergeDone;
  ModuleState &st = state();
  const bool singleSided = isSingleSidedModel(readModelText(hPrinter));

  // The input is read whole before the output is written: callers often pass
  // one buffer as both.
  CardDevmode merged;
  if (workingInitialised() && pdmIn && !publicOnly(pdmIn)) {
    std::memset(&merged, 0, sizeof merged);
    LONG r = mergeFromWorkingCopy(pdmIn, merged, st.working, singleSided);
    if (r == kMergeDone) std::memcpy(pdmOut, &merged, sizeof merged);
    return r;
  }

  std::vector<BYTE> info;
  if (!printerInfo(hPrinter, 2, info)) return kMergeFailed;
  const DEVMODEW *printerDefault = usableDefault(info);
  if (!printerDefault) return kMergeFailed;
  CardDevmode fromPrinter;
  std::memcpy(&fromPrinter, printerDefault, sizeof fromPrinter);

  PrinterMergeFacts facts;
  facts.workingInitialised = workingInitialised();
  facts.singleSided = singleSided;
  if (facts.workingInitialised) facts.modelValueRead = readValue(hPrinter, TEXT("PrinterModel"), facts.modelValue);
  mergeFromPrinterDefault(fromPrinter, merged, st.working, facts);
  if (facts.workingInitialised &&
      !writeValue(hPrinter, TEXT("PrinterModel"), singleSided ? kModelSingleSided : kModelOther))
    OutputDebugStringW(TEXT("DrvDocumentProperties:: Failed to set Printer Model to Registry"));
  if ((fMode & DM_IN_BUFFER) && pdmIn) applyApplicationFields(pdmIn, merged);
  std::memcpy(pdmOut, &merged, sizeof merged);
  return kMergeDone;
}

// Writes the printer's ribbon and encoder into its default DEVMODE.
void storeEquipmentInPrinterDefault(HANDLE printer, const PrinterEquipment &eq) {
  std::vector<BYTE> info;
  if (!printerInfo(printer, 2, info)) return;
  const DEVMODEW *dm = usableDefault(info);
  if (!dm) return;
  auto *record =
      reinterpret_cast<JobSettingsRecord *>(reinterpret_cast<BYTE *>(const_cast<DEVMODEW *>(dm)) + kStandardPartSize);
  record->ribbonType = eq.ribbonType;
  record->hasEncoder = eq.encoder ? kSettingOn : kSettingOff;
  if (!SetPrinterW(printer, 2, info.data(), 0))
    debugPrint(TEXT("DrvDocumentPropertySheets: SetPrinter() failed:%d"), int(GetLastError()));
}

LONG sheetlessExchange(DOCUMENTPROPERTYHEADER *header) {
  if (!header) return -1;
  ModuleState &st = state();
  if (header->hPrinter) st.printer = header->hPrinter;
  switch (sheetlessStep(header->fMode, header->pdmOut != nullptr, header->cbOut)) {
    case SheetlessStep::ReportSize: header->cbOut = DWORD(kCardDevmodeSize); return LONG(kCardDevmodeSize);
    case SheetlessStep::BufferTooSmall:
      // Nothing is written into a buffer that cannot hold the merge.
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return -1;
    case SheetlessStep::NothingToDo: return 1;
    case SheetlessStep::Exchange: break;
  }
  const bool wasInitialised = workingInitialised();
  if (documentProperties(header->hPrinter, header->pdmOut, header->pdmIn, header->fMode) == kMergeFailed) {
    // The output holds no settings: the caller must not print with it.
    SetLastError(ERROR_INVALID_DATA);
    return -1;
  }
  PrinterEquipment eq;
  if (!wasInitialised) eq = queryEquipment(header->hPrinter);
  if (header->pdmOut && (header->fMode & DM_COPY)) {
    auto *out = reinterpret_cast<CardDevmode *>(header->pdmOut);
    if (equipmentChanged(header->fMode, eq, out->record)) {
      out->record.ribbonType = eq.ribbonType;
      out->record.hasEncoder = eq.encoder ? kSettingOn : kSettingOff;
      storeEquipmentInPrinterDefault(header->hPrinter, eq);
    }
  }
  return 1;
}

void copyText(UINT id, UINT entryChars, void *output) {
  // The text is loaded into a 32-character buffer and handed out in an entry
  // of the caller's width, zero-padded.
  WCHAR text[32] = {};
  LoadStringW(state().instance, id, text, 32);
  auto *out = static_cast<WCHAR *>(output);
  std::memset(out, 0, entryChars * sizeof(WCHAR));
  for (UINT i = 0; i + 1 < entryChars && i < 32 && text[i]; ++i) out[i] = text[i];
}

// The module wants to hear of nothing but the creation of a DC.  The filter
// is the block the spooler allocated (cbOut bytes); nothing is written past
// it, and the event list only as far as both cElementsAllocated and cbOut
// leave room.  A block too short for the counts is left alone: the spooler
// then calls the module for every event, as it does for a module that
// answers no filter.
void answerEventFilter(void *pvOut, ULONG cbOut) {
  constexpr size_t kCounts = offsetof(DOCEVENT_FILTER, aDocEventCall);
  if (!pvOut || cbOut < kCounts) return;
  auto *filter = static_cast<DOCEVENT_FILTER *>(pvOut);
  const size_t room = std::min<size_t>(filter->cElementsAllocated, (cbOut - kCounts) / sizeof(DWORD));
  if (room >= 1) {
    filter->aDocEventCall[0] = DOCUMENTEVENT_CREATEDCPRE;
    filter->cElementsReturned = 1;
    filter->cElementsNeeded = 0;
  } else {
    filter->cElementsReturned = 0;
    filter->cElementsNeeded = 1;
  }
}

}  // namespace

extern "C" {

CARDCFG_EXPORT LONG WINAPI DrvDocumentPropertySheets(PROPSHEETUI_INFO *pPSUIInfo, LPARAM lParam) {
  return guarded<LONG>(-1, [&]() -> LONG {
    if (!pPSUIInfo) return sheetlessExchange(reinterpret_cast<DOCUMENTPROPERTYHEADER *>(lParam));
    return documentSheet(pPSUIInfo, lParam);
  });
}

CARDCFG_EXPORT LONG WINAPI DrvDevicePropertySheets(PROPSHEETUI_INFO *pPSUIInfo, LPARAM lParam) {
  return guarded<LONG>(-1, [&] { return devicePropertySheets(pPSUIInfo, lParam); });
}

CARDCFG_EXPORT LONG WINAPI DrvDocumentProperties(HWND hwnd, HANDLE hPrinter, LPWSTR pszDeviceName, DEVMODEW *pdmOutput,
                                                 DEVMODEW *pdmInput, DWORD fMode) {
  (void)hwnd;
  (void)pszDeviceName;
  return guarded<LONG>(kMergeFailed, [&] { return documentProperties(hPrinter, pdmOutput, pdmInput, fMode); });
}

CARDCFG_EXPORT LONG WINAPI DrvAdvancedDocumentProperties(HWND hwnd, HANDLE hPrinter, LPWSTR pszDeviceName,
                                                         DEVMODEW *pdmOutput, DEVMODEW *pdmInput) {
  (void)hwnd;
  (void)hPrinter;
  (void)pszDeviceName;
  (void)pdmOutput;
  (void)pdmInput;
  return LONG(kRecordSize);
}

CARDCFG_EXPORT BOOL WINAPI DrvConvertDevMode(LPWSTR pPrinterName, DEVMODEW *pdmIn, DEVMODEW *pdmOut, LONG *pcbNeeded,
                                             DWORD fMode) {
  (void)pdmIn;
  return guarded<BOOL>(FALSE, [&]() -> BOOL {
    if (!pcbNeeded) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    if (!pdmOut || *pcbNeeded < LONG(kCardDevmodeSize)) {
      *pcbNeeded = LONG(kCardDevmodeSize);
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return FALSE;
    }
    // Conversions between DEVMODE versions are left to the system.
    if (fMode != CDM_DRIVER_DEFAULT) return CDM_RESULT_NOT_HANDLED;

    HANDLE printer = openPrinterPlain(pPrinterName);
    if (!printer) return CDM_RESULT_NOT_HANDLED;
    std::vector<BYTE> file(kRecordSize);
    size_t length = 0;
    bool opened = false;
    readDefaultSettingsFile(printer, file.data(), file.size(), length, opened);
    if (opened) {
      buildDriverDefault(*reinterpret_cast<CardDevmode *>(pdmOut), file.data(), length);
      *pcbNeeded = LONG(kCardDevmodeSize);
    }
    DWORD init = 0;
    if (!readValue(printer, TEXT("Init"), init) || init == 0) {
      initSecurity(pPrinterName);
      writeValue(printer, TEXT("Init"), 1);
    }
    ClosePrinter(printer);
    return CDM_RESULT_NOT_HANDLED;
  });
}

CARDCFG_EXPORT DWORD WINAPI DrvDeviceCapabilities(HANDLE hPrinter, LPWSTR pDeviceName, WORD iDevCap, void *pvOutput,
                                                  DEVMODEW *pDevMode) {
  (void)hPrinter;
  (void)pDeviceName;
  int16_t orientation = 0;
  if (pDevMode) readStandardShort(pDevMode, offsetof(DEVMODEW, dmOrientation), orientation);
  const CapabilityAnswer a = deviceCapability(iDevCap, pDevMode != nullptr, orientation);
  if (!pvOutput) return a.result;
  switch (a.output) {
    case CapabilityOutput::None: break;
    case CapabilityOutput::Words: *static_cast<WORD *>(pvOutput) = WORD(a.values[0]); break;
    case CapabilityOutput::Points:
    case CapabilityOutput::Longs: {
      LONG pair[2] = {a.values[0], a.values[1]};
      std::memcpy(pvOutput, pair, sizeof pair);
      break;
    }
    case CapabilityOutput::Text: copyText(a.textId, a.textChars, pvOutput); break;
  }
  return a.result;
}

CARDCFG_EXPORT BOOL WINAPI DevQueryPrint(HANDLE hPrinter, DEVMODEW *pDevMode, DWORD *pResID) {
  (void)hPrinter;
  (void)pDevMode;
  if (pResID) *pResID = 0;
  return TRUE;
}

CARDCFG_EXPORT BOOL WINAPI DevQueryPrintEx(DEVQUERYPRINT_INFO *pDQPInfo) {
  (void)pDQPInfo;
  return TRUE;
}

CARDCFG_EXPORT BOOL WINAPI PrinterProperties(HWND hwnd, HANDLE hPrinter) {
  (void)hwnd;
  (void)hPrinter;
  return TRUE;
}

CARDCFG_EXPORT BOOL WINAPI DrvPrinterEvent(LPWSTR pPrinterName, INT DriverEvent, DWORD Flags, LPARAM lParam) {
  (void)Flags;
  (void)lParam;
  if (DriverEvent != PRINTER_EVENT_INITIALIZE) return TRUE;
  return guarded<BOOL>(FALSE, [&]() -> BOOL {
    if (windowsSixOrLater()) startTrayClient(pPrinterName);
    HANDLE printer = openPrinterByName(pPrinterName);
    if (!printer) return FALSE;
    BOOL ok = defaultSettingsFileOpens(printer) ? TRUE : FALSE;
    ClosePrinter(printer);
    return ok;
  });
}

CARDCFG_EXPORT BOOL WINAPI DrvUpgradePrinter(DWORD dwLevel, LPBYTE pDriverUpgradeInfo) {
  (void)dwLevel;
  (void)pDriverUpgradeInfo;
  return TRUE;
}

CARDCFG_EXPORT INT WINAPI DrvDocumentEvent(HANDLE hPrinter, HDC hdc, INT iEsc, ULONG cbIn, void *pvIn, ULONG cbOut,
                                           void *pvOut) {
  (void)hdc;
  (void)cbIn;
  (void)pvIn;
  return guarded<INT>(DOCUMENTEVENT_SUCCESS, [&]() -> INT {
    switch (DOCUMENTEVENT_EVENT(iEsc)) {
      case DOCUMENTEVENT_QUERYFILTER:
        // pvIn holds the coming CreateDC's arguments and is not ours to write.
        answerEventFilter(pvOut, cbOut);
        break;
      case DOCUMENTEVENT_STARTDOC: {
        std::vector<BYTE> info;
        if (hPrinter && printerInfo(hPrinter, 2, info))
          serverVersionCheck(hPrinter, reinterpret_cast<const PRINTER_INFO_2W *>(info.data()));
        break;
      }
      default: break;
    }
    return DOCUMENTEVENT_SUCCESS;
  });
}

}  // extern "C"
