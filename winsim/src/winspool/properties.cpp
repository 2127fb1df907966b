// DocumentPropertiesW and PrinterProperties: the printer's UI module
// (the driver's configuration file) answers through its sheet entries, as on
// Windows: without a prompt DrvDocumentPropertySheets runs without a sheet
// (no PROPSHEETUI_INFO); with one, the common property sheet UI hosts the
// module's function under a top function of the printing system's that
// titles the sheet.
#include <vector>

#include <winddiui.h>

#include "core/internal.h"
#include "winspool/client.h"
#include "winspool/properties.h"

namespace winsim {

namespace {

SheetHost sheetHost = nullptr;

// The printer's UI module, loaded while it lives.
class UiModule {
 public:
  explicit UiModule(HANDLE printer) {
    const std::u16string config = spool::configFileOf(printer);
    if (!config.empty()) module_ = LoadLibraryW(config.c_str());
  }
  ~UiModule() {
    if (module_) FreeLibrary(module_);
  }
  UiModule(const UiModule &) = delete;
  UiModule &operator=(const UiModule &) = delete;
  PFNPROPSHEETUI entry(const char *name) const {
    if (!module_) return nullptr;
    return reinterpret_cast<PFNPROPSHEETUI>(reinterpret_cast<void (*)()>(GetProcAddress(module_, name)));
  }

 private:
  HMODULE module_ = nullptr;
};

std::u16string printerName(HANDLE printer) {
  DWORD need = 0;
  GetPrinterW(printer, 2, nullptr, 0, &need);
  if (!need) return {};
  std::vector<BYTE> buffer(need);
  if (!GetPrinterW(printer, 2, buffer.data(), need, &need)) return {};
  return fromW(reinterpret_cast<PRINTER_INFO_2W *>(buffer.data())->pPrinterName);
}

// What the top function needs: the module's entry, its header, the title.
struct TopContext {
  PFNPROPSHEETUI entry = nullptr;
  LPARAM header = 0;
  std::u16string title;
};

LONG topFunction(PPROPSHEETUI_INFO info, LPARAM lParam) {
  auto *context = reinterpret_cast<TopContext *>(info->lParamInit);
  switch (info->Reason) {
    case PROPSHEETUI_REASON_INIT:
      return info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_PFNPROPSHEETUIW,
                                   reinterpret_cast<LPARAM>(context->entry), context->header)
                 ? 1
                 : -1;
    case PROPSHEETUI_REASON_GET_INFO_HEADER: {
      auto *header = reinterpret_cast<PROPSHEETUI_INFO_HEADER *>(lParam);
      header->pTitle = reinterpret_cast<LPWSTR>(const_cast<char16_t *>(context->title.c_str()));
      header->Flags = PSUIHDRF_EXACT_PTITLE | PSUIHDRF_NOAPPLYNOW;
      return 1;
    }
    case PROPSHEETUI_REASON_SET_RESULT:
      info->Result = ULONG_PTR(reinterpret_cast<SETRESULT_INFO *>(lParam)->Result);
      return 1;
    default: return 1;
  }
}

// Shows the module's sheet; the result its pages set (CPSUI_OK when the user
// applied), or a negative value when no sheet could be shown.
LONG showSheet(HWND owner, PFNPROPSHEETUI entry, LPARAM header, const std::u16string &title) {
  if (!sheetHost) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return -1;
  }
  TopContext context{entry, header, title};
  DWORD result = CPSUI_CANCEL;
  LONG shown = sheetHost(owner, topFunction, reinterpret_cast<LPARAM>(&context), &result);
  if (shown < 0) return -1;
  return LONG(result);
}

struct PrinterHandle {
  HANDLE handle = nullptr;
  bool opened = false;
  ~PrinterHandle() {
    if (opened) ClosePrinter(handle);
  }
};

}  // namespace

void registerSheetHost(SheetHost host) { sheetHost = host; }

}  // namespace winsim

using namespace winsim;

extern "C" {

LONG WINAPI DocumentPropertiesW(HWND hWnd, HANDLE hPrinter, LPWSTR pDeviceName, PDEVMODEW pDevModeOutput,
                                PDEVMODEW pDevModeInput, DWORD fMode) {
  PrinterHandle printer{hPrinter, false};
  if (!printer.handle) {
    if (!OpenPrinterW(pDeviceName, &printer.handle, nullptr)) return -1;
    printer.opened = true;
  }
  UiModule module(printer.handle);
  PFNPROPSHEETUI entry = module.entry("DrvDocumentPropertySheets");
  if (!entry) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return -1;
  }
  std::u16string name = printerName(printer.handle);
  DOCUMENTPROPERTYHEADER header{};
  header.cbSize = sizeof(header);
  header.hPrinter = printer.handle;
  header.pszPrinterName = reinterpret_cast<LPWSTR>(const_cast<char16_t *>(name.c_str()));
  header.pdmIn = pDevModeInput;
  header.pdmOut = pDevModeOutput;
  // The size of the module's DEVMODE first: the caller's output buffer is
  // that large, as DocumentPropertiesW with no mode told it.
  LONG size = entry(nullptr, reinterpret_cast<LPARAM>(&header));
  if (fMode == 0 || size <= 0) return size;
  header.cbOut = DWORD(size);
  header.fMode = fMode;
  if (fMode & DM_IN_PROMPT) {
    LONG result = showSheet(hWnd, entry, reinterpret_cast<LPARAM>(&header), name + u" Printing Preferences");
    if (result < 0) return -1;
    return result == CPSUI_OK ? IDOK : IDCANCEL;
  }
  return entry(nullptr, reinterpret_cast<LPARAM>(&header)) > 0 ? IDOK : -1;
}

BOOL WINAPI PrinterProperties(HWND hWnd, HANDLE hPrinter) {
  UiModule module(hPrinter);
  PFNPROPSHEETUI entry = module.entry("DrvDevicePropertySheets");
  if (!entry) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::u16string name = printerName(hPrinter);
  DEVICEPROPERTYHEADER header{};
  header.cbSize = sizeof(header);
  header.hPrinter = hPrinter;
  header.pszPrinterName = reinterpret_cast<LPWSTR>(const_cast<char16_t *>(name.c_str()));
  return showSheet(hWnd, entry, reinterpret_cast<LPARAM>(&header), name + u" Properties") >= 0;
}

}  // extern "C"
