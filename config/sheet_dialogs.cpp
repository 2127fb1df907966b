// The card setup sheet's two dialogs: colour correction (109), whose sliders
// adjust the picture's intensity and contrast with a live preview, and the
// print-head settings (107).  Both edit the DEVMODE the sheet is editing and
// keep every move at once: the sheet decides whether it is kept.
#include <windows.h>
#include <commctrl.h>
#include <strsafe.h>

#include <cstring>
#include <vector>

#include "config/colour_adjust.h"
#include "config/default_settings_file.h"
#include "config/dialogs.h"
#include "config/dialogs/sheet_ids.h"
#include "config/sheet_dialogs.h"
#include "config/head_rules.h"
#include "config/module_state.h"
#include "config/system_functions.h"
#include "config/ui_common.h"

namespace card::cfg {

namespace {

void showNumber(HWND dlg, int id, int value) {
  WCHAR text[16];
  StringCchPrintfW(text, 16, TEXT("%d"), value);
  SetDlgItemTextW(dlg, id, text);
}

void setTrackbar(HWND dlg, int id, int low, int high, int position) {
  SendDlgItemMessageW(dlg, id, TBM_SETRANGEMIN, FALSE, low);
  SendDlgItemMessageW(dlg, id, TBM_SETRANGEMAX, FALSE, high);
  SendDlgItemMessageW(dlg, id, TBM_SETPOS, TRUE, position);
}

// The trackbar class must be registered before a dialog holding one is made.
// comctl32 is bound by name, as the module imports only the libraries every
// printing process has.
void registerTrackbars() {
  using InitFn = BOOL(WINAPI *)(const INITCOMMONCONTROLSEX *);
  if (auto init = systemFunction<InitFn>(TEXT("comctl32.dll"), "InitCommonControlsEx")) {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_BAR_CLASSES};
    init(&icc);
  }
}

int trackbarPosition(HWND dlg, int id) { return int(SendDlgItemMessageW(dlg, id, TBM_GETPOS, 0, 0)); }

// ------------------------------------------------------------ dialog 109

struct ColourDialog {
  JobSettingsRecord *record = nullptr;
  ColourSliders sliders;
  bool havePicture = false;
  std::vector<uint8_t> picture;   // the file's pixels, as read
  std::vector<uint8_t> adjusted;  // what the preview shows
};

// The eight values in slider order, as the record holds them.
int *sliderValue(ColourAdjustment &a, int index) {
  int *values[SHEET_COLOUR_TRACKS] = {&a.black,         &a.red,         &a.green,         &a.blue,
                                      &a.blackContrast, &a.redContrast, &a.greenContrast, &a.blueContrast};
  return values[index];
}

bool isBlackSlider(int index) { return index == 0 || index == 4; }

// What the sliders show: the record's values, the black ones 0 while the
// monochrome conversion does not use them.
ColourAdjustment shownAdjustment(const ColourDialog &d) {
  ColourAdjustment a = adjustmentFromRecord(*d.record);
  if (d.sliders.blackZeroed) a.black = a.blackContrast = 0;
  return a;
}

void loadPreview(ColourDialog &d) { d.havePicture = loadColourPreview(state().printer, d.picture); }

void refreshPreview(HWND dlg, ColourDialog &d) {
  if (!d.havePicture) return;
  d.adjusted = d.picture;
  adjustPreview(d.adjusted.data(), d.adjusted.size(), d.record->ribbonType, shownAdjustment(d));
  RECT r = {kPreviewAt, kPreviewAt, kPreviewAt + kPreviewSide, kPreviewAt + kPreviewSide};
  InvalidateRect(dlg, &r, FALSE);
}

void showColourValues(HWND dlg, ColourDialog &d) {
  ColourAdjustment a = shownAdjustment(d);
  for (int i = 0; i < SHEET_COLOUR_TRACKS; ++i) {
    setTrackbar(dlg, IDC_SHEET_COLOUR_TRACK_FIRST + i, -100, 100, *sliderValue(a, i));
    showNumber(dlg, IDC_SHEET_COLOUR_LABEL_FIRST + i, *sliderValue(a, i));
  }
}

void paintPreview(HWND dlg, const ColourDialog &d) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(dlg, &ps);
  if (dc && d.havePicture && d.adjusted.size() == kPreviewPixelBytes) drawColourPreview(dc, d.adjusted.data());
  EndPaint(dlg, &ps);
}

INT_PTR CALLBACK colourProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto *d = reinterpret_cast<ColourDialog *>(GetWindowLongPtrW(dlg, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG: {
      d = reinterpret_cast<ColourDialog *>(lParam);
      SetWindowLongPtrW(dlg, DWLP_USER, LONG_PTR(d));
      d->sliders = colourSliders(*d->record);
      showColourValues(dlg, *d);
      for (int i = 0; i < SHEET_COLOUR_TRACKS; ++i)
        enableControl(dlg, IDC_SHEET_COLOUR_TRACK_FIRST + i, isBlackSlider(i) ? d->sliders.black : d->sliders.colour);
      loadPreview(*d);
      refreshPreview(dlg, *d);
      return TRUE;
    }
    case WM_HSCROLL: {
      if (!d || !lParam) break;
      const int index = GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) - IDC_SHEET_COLOUR_TRACK_FIRST;
      if (index < 0 || index >= SHEET_COLOUR_TRACKS) break;
      const int pos = trackbarPosition(dlg, IDC_SHEET_COLOUR_TRACK_FIRST + index);
      ColourAdjustment a = adjustmentFromRecord(*d->record);
      *sliderValue(a, index) = pos < -100 ? -100 : (pos > 100 ? 100 : pos);
      storeAdjustment(a, *d->record);
      showNumber(dlg, IDC_SHEET_COLOUR_LABEL_FIRST + index, *sliderValue(a, index));
      refreshPreview(dlg, *d);
      return TRUE;
    }
    case WM_PAINT:
      if (!d) break;
      paintPreview(dlg, *d);
      return TRUE;
    case WM_COMMAND:
      if (!d) break;
      switch (LOWORD(wParam)) {
        case IDC_SHEET_RESTORE: {
          // The defaults of the data file, or none at all when it cannot be
          // read; the byte at offset 12 goes with them.
          JobSettingsRecord defaults{};
          if (!readWholeDefaultRecord(state().printer, defaults)) std::memset(&defaults, 0, sizeof defaults);
          storeAdjustment(adjustmentFromRecord(defaults), *d->record);
          d->record->reserved12[0] = defaults.reserved12[0];
          showColourValues(dlg, *d);
          refreshPreview(dlg, *d);
          return TRUE;
        }
        case IDC_SHEET_HELP: openHelp(dlg); return TRUE;
        case IDC_SHEET_CLOSE:
        case IDCANCEL:
        case IDOK: EndDialog(dlg, IDOK); return TRUE;
        default: break;
      }
      break;
    case WM_CLOSE: EndDialog(dlg, IDOK); return TRUE;
    default: break;
  }
  return FALSE;
}

// ------------------------------------------------------------ dialog 107

INT_PTR CALLBACK headProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto *record = reinterpret_cast<JobSettingsRecord *>(GetWindowLongPtrW(dlg, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG: {
      record = reinterpret_cast<JobSettingsRecord *>(lParam);
      SetWindowLongPtrW(dlg, DWLP_USER, LONG_PTR(record));
      const uint32_t enabled = enabledHeadTrackbars(record->ribbonType, record->monoRibbonKind);
      for (unsigned i = 0; i < kHeadTrackbarCount; ++i) {
        int value = *headValue(*record, i);
        if (value > kHeadValueMax) value = kHeadValueMax;
        setTrackbar(dlg, IDC_SHEET_HEAD_TRACK_FIRST + int(i), 0, kHeadValueMax, value);
        showNumber(dlg, IDC_SHEET_HEAD_LABEL_FIRST + int(i), value);
        enableControl(dlg, IDC_SHEET_HEAD_TRACK_FIRST + int(i), (enabled >> i) & 1);
      }
      return TRUE;
    }
    case WM_HSCROLL: {
      if (!record || !lParam) break;
      const int index = GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) - IDC_SHEET_HEAD_TRACK_FIRST;
      if (index < 0 || index >= SHEET_HEAD_TRACKS) break;
      int pos = trackbarPosition(dlg, IDC_SHEET_HEAD_TRACK_FIRST + index);
      pos = pos < 0 ? 0 : (pos > kHeadValueMax ? kHeadValueMax : pos);
      *headValue(*record, unsigned(index)) = uint8_t(pos);
      showNumber(dlg, IDC_SHEET_HEAD_LABEL_FIRST + index, pos);
      return TRUE;
    }
    case WM_COMMAND:
      if (!record) break;
      switch (LOWORD(wParam)) {
        case IDC_SHEET_RESTORE: {
          JobSettingsRecord defaults{};
          const bool read = readWholeDefaultRecord(state().printer, defaults);
          for (unsigned i = 0; i < kHeadTrackbarCount; ++i) {
            uint8_t value = read ? *headValue(defaults, i) : kHeadValueDefault;
            if (value > kHeadValueMax) value = kHeadValueMax;
            *headValue(*record, i) = value;
            SendDlgItemMessageW(dlg, IDC_SHEET_HEAD_TRACK_FIRST + int(i), TBM_SETPOS, TRUE, value);
            showNumber(dlg, IDC_SHEET_HEAD_LABEL_FIRST + int(i), value);
          }
          return TRUE;
        }
        case IDC_SHEET_HELP: openHelp(dlg); return TRUE;
        case IDC_SHEET_CLOSE:
        case IDCANCEL:
        case IDOK: EndDialog(dlg, IDOK); return TRUE;
        default: break;
      }
      break;
    case WM_CLOSE: EndDialog(dlg, IDOK); return TRUE;
    default: break;
  }
  return FALSE;
}

}  // namespace

bool loadColourPreview(HANDLE printer, std::vector<uint8_t> &pixels) {
  pixels.clear();
  WCHAR path[MAX_PATH];
  if (!driverFolderFile(printer, TEXT("cardcc.BMP"), path, MAX_PATH)) return false;
  HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  // One byte more than a picture holds: a longer file is no preview picture.
  std::vector<uint8_t> file(kPreviewFileBytes + 1);
  DWORD got = 0, total = 0;
  while (total < file.size() && ReadFile(f, file.data() + total, DWORD(file.size() - total), &got, nullptr) && got)
    total += got;
  CloseHandle(f);
  const uint8_t *p = previewPixels(file.data(), total);
  if (!p) return false;
  pixels.assign(p, p + kPreviewPixelBytes);
  return true;
}

void drawColourPreview(HDC dc, const uint8_t *pixels) {
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bmi.bmiHeader.biWidth = kPreviewSide;
  bmi.bmiHeader.biHeight = kPreviewSide;  // bottom-up, as the file stores it
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 24;
  bmi.bmiHeader.biCompression = BI_RGB;
  SetDIBitsToDevice(dc, kPreviewAt, kPreviewAt, kPreviewSide, kPreviewSide, 0, 0, 0, kPreviewSide, pixels, &bmi,
                    DIB_RGB_COLORS);
}

INT_PTR showColourDialog(HWND owner) {
  ModuleState &st = state();
  if (!st.currentRecord) return -1;
  registerTrackbars();
  ColourDialog d;
  d.record = st.currentRecord;
  return DialogBoxParamW(st.instance, MAKEINTRESOURCEW(IDD_SHEET_COLOUR), owner, colourProc, LPARAM(&d));
}

INT_PTR showHeadSettingsDialog(HWND owner) {
  ModuleState &st = state();
  if (!st.currentRecord) return -1;
  registerTrackbars();
  return DialogBoxParamW(st.instance, MAKEINTRESOURCEW(IDD_SHEET_HEAD), owner, headProc, LPARAM(st.currentRecord));
}

}  // namespace card::cfg
