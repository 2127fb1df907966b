// The device dialogs: device information (113), About (102) and single feed
// (122).  The encoder dialogs (104, 105) are in encoder_dialogs.cpp.
#include <windows.h>
#include <winspool.h>

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "config/device_common.h"
#include "config/device_info.h"
#include "config/dialogs.h"
#include "config/ribbon_names.h"
#include "config/dialogs/device_ids.h"
#include "config/module_state.h"
#include "config/printer_access.h"
#include "config/ui_common.h"
#include "shared/status_commands.h"

namespace card::cfg {

namespace {

// Reply buffers of the device information and single-feed questions.
constexpr size_t kInfoReplyBytes = 105;
constexpr size_t kSingleFeedReplyBytes = 256;

// The ribbon name table, keyed by the printer's ribbon reply.
std::string ribbonNameOfReply(const std::string &reply) { return ribbonNameFromTable(reply, "Unknown"); }

}  // namespace

INT_PTR CALLBACK deviceInfoDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      const DeviceInfoTexts t = readDeviceInfo(
          [](std::string_view command) { return askPrinter(command, kInfoReplyBytes); }, ribbonNameOfReply);
      setAnsiText(dialog, IDC_INFO_RIBBON, t.ribbon);
      setAnsiText(dialog, IDC_INFO_REMAINING, t.remaining);
      setAnsiText(dialog, IDC_INFO_MODEL, t.model);
      setAnsiText(dialog, IDC_INFO_SERIAL, t.serial);
      setAnsiText(dialog, IDC_INFO_ENCODER, t.encoder);
      setAnsiText(dialog, IDC_INFO_SMART_CARD, t.smartCard);
      setAnsiText(dialog, IDC_INFO_PANELS, t.panels);
      setAnsiText(dialog, IDC_INFO_HEAD_RESISTANCE, t.headResistance);
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_HELP_BUTTON: openHelp(dialog); return TRUE;
        case IDC_CLOSE_BUTTON:
        case IDCANCEL: EndDialog(dialog, IDOK); return TRUE;
      }
      break;
    case WM_CLOSE: EndDialog(dialog, IDOK); return TRUE;
  }
  return FALSE;
}

INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      WCHAR text[64] = {};
      GetDlgItemTextW(dialog, IDC_ABOUT_VERSION, text, int(std::size(text)));
      size_t n = 0;
      while (text[n]) ++n;
      for (char c : status::kAnswerFileVersion)
        if (n + 1 < std::size(text)) text[n++] = WCHAR(c);
      text[n] = 0;
      SetDlgItemTextW(dialog, IDC_ABOUT_VERSION, text);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      break;
    case WM_CLOSE: EndDialog(dialog, IDOK); return TRUE;
  }
  return FALSE;
}

namespace {

// Single feed: the state is read with the printer in direct printing, so
// that the question is not queued behind the spool file.
unsigned readSingleFeedStatus() {
  const WString name = currentPrinterName();
  HANDLE printer = name.empty() ? nullptr : openPrinterByName(name.c_str());
  if (!printer) return kIdsUnknown;
  std::vector<BYTE> info;
  DWORD saved = 0;
  bool changed = false;
  if (printerInfo(printer, 2, info)) {
    auto *pi = reinterpret_cast<PRINTER_INFO_2W *>(info.data());
    saved = pi->Attributes;
    if (!(saved & PRINTER_ATTRIBUTE_DIRECT)) {
      pi->Attributes = saved | PRINTER_ATTRIBUTE_DIRECT;
      changed = SetPrinterW(printer, 2, info.data(), 0) != FALSE;
    }
  }
  const QueryResult r = askPrinterOn(printer, kQuerySingleFeed, kSingleFeedReplyBytes);
  if (changed) {
    // Read afresh: the query may have changed other parts of the printer.
    std::vector<BYTE> now;
    if (printerInfo(printer, 2, now)) {
      reinterpret_cast<PRINTER_INFO_2W *>(now.data())->Attributes = saved;
      SetPrinterW(printer, 2, now.data(), 0);
    }
  }
  ClosePrinter(printer);
  std::string text;
  const bool good = r.succeeded && goodReply(reinterpret_cast<const uint8_t *>(r.bytes.data()), r.bytes.size(), text);
  return singleFeedStatus(good, text);
}

// The single-feed choice is sent as a query to a printer that reports its
// ribbon, and as a raw job to one whose ribbon is chosen by hand.
void applySingleFeed(bool enable) {
  if (currentRibbonId() == 0) {
    askPrinter(enable ? kCmdSingleFeedOn : kCmdSingleFeedOff, kSingleFeedReplyBytes);
  } else {
    const std::string_view job = enable ? kJobSingleFeedOn : kJobSingleFeedOff;
    const WString name = currentPrinterName();
    sendRawJob(name.empty() ? nullptr : name.c_str(), state().printer, TEXT("XLINEATM"), job.data(), job.size());
  }
}

}  // namespace

INT_PTR CALLBACK singleFeedDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      const unsigned status = currentRibbonId() == 0 ? readSingleFeedStatus() : kIdsUnknown;
      WCHAR statusText[64] = {};
      LoadStringW(state().instance, status, statusText, int(std::size(statusText)));
      CheckRadioButton(dialog, IDC_SINGLE_FEED_OFF, IDC_SINGLE_FEED_ON,
                       lstrcmpiW(statusText, TEXT("Enabled")) == 0 ? IDC_SINGLE_FEED_ON : IDC_SINGLE_FEED_OFF);
      WCHAR label[128] = {};
      GetDlgItemTextW(dialog, IDC_SINGLE_FEED_STATUS, label, 64);
      lstrcatW(label, statusText);
      SetDlgItemTextW(dialog, IDC_SINGLE_FEED_STATUS, label);
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_SINGLE_FEED_OFF:
        case IDC_SINGLE_FEED_ON:
          CheckRadioButton(dialog, IDC_SINGLE_FEED_OFF, IDC_SINGLE_FEED_ON, LOWORD(wParam));
          return TRUE;
        case IDOK:
          applySingleFeed(IsDlgButtonChecked(dialog, IDC_SINGLE_FEED_ON) == BST_CHECKED);
          showWaitMessage();
          EndDialog(dialog, IDOK);
          return TRUE;
        case IDCANCEL:
        case IDC_CLOSE_BUTTON: EndDialog(dialog, IDCANCEL); return TRUE;
      }
      break;
    case WM_CLOSE: EndDialog(dialog, IDCANCEL); return TRUE;
  }
  return FALSE;
}

INT_PTR showDeviceInfoDialog(HWND owner) { return showModuleDialog(owner, IDD_DEVICE_INFO, deviceInfoDialogProc); }
INT_PTR showAboutDialog(HWND owner) { return showModuleDialog(owner, IDD_ABOUT, aboutDialogProc); }
INT_PTR showSingleFeedDialog(HWND owner) { return showModuleDialog(owner, IDD_SINGLE_FEED, singleFeedDialogProc); }

}  // namespace card::cfg
