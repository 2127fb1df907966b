// The hologram dialog (110): the hologram switch, the area editor behind
// it, the copy count, and a print of hologram cards at once as raw jobs.
#include <windows.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "config/dialogs.h"
#include "config/dialogs/editor_ids.h"
#include "config/editor_bitmap.h"
#include "config/hologram.h"
#include "config/hologram_print.h"
#include "config/messages.h"
#include "config/module_state.h"
#include "config/ui_common.h"

namespace card::cfg {

namespace {

// The document name the monitors know the hologram print by.
const LPCWSTR kHologramDocument = TEXT("XLINEHOLOGRAM");

struct HologramEditor {
  JobSettingsRecord *record = nullptr;
  bool changed = false;
  bool writing = false;  // the dialog is filling its own controls
};

void systemError() { errorBox(IDS_EDITOR_CAPTION, IDS_EDITOR_SYSTEM_ERROR, MB_OK | MB_ICONSTOP); }

// The hologram print: to the printer the DEVMODE names, or the module's own
// printer when that one cannot be opened.  One raw job per card for the full
// and area types; one job with the picture for the bitmap type.  A job that
// cannot be sent ends the print with a message.
void printHologram(const JobSettingsRecord &record) {
  WCHAR name[CCHDEVICENAME + 1] = {};
  if (const DEVMODEW *dm = state().current)
    for (size_t i = 0; i < CCHDEVICENAME && dm->dmDeviceName[i]; ++i) name[i] = dm->dmDeviceName[i];
  HANDLE fallback = state().printer;
  switch (hologramPrintPlan(record)) {
    case HologramPrintPlan::AreaJobs:
      for (const std::string &job : hologramAreaJobs(record)) {
        if (!sendRawJob(name, fallback, kHologramDocument, job.data(), job.size())) {
          systemError();
          return;
        }
      }
      return;
    case HologramPrintPlan::BitmapJob: {
      WCHAR path[kOverlayPathChars + 1] = {};
      for (size_t i = 0; i < kOverlayPathChars && record.hologramArea.bitmapPath[i]; ++i)
        path[i] = record.hologramArea.bitmapPath[i];
      std::vector<uint8_t> file;
      std::string job;
      if (!readFileBytes(path, kBitmapFileLimit, &file) || !hologramBitmapJob(record, file.data(), file.size(), &job) ||
          !sendRawJob(name, fallback, kHologramDocument, job.data(), job.size()))
        systemError();
      return;
    }
    case HologramPrintPlan::Refused:
    case HologramPrintPlan::NothingToDo: return;
  }
}

void printClicked(HWND dialog, HologramEditor &e) {
  if (e.record->hologramCopies > kHologramMaxCopies) {
    errorBox(IDS_EDITOR_CAPTION, IDS_INVALID_COUNT, MB_OK | MB_ICONSTOP);
    return;
  }
  HWND button = GetDlgItem(dialog, IDC_HOLOGRAM_PRINT);
  EnableWindow(button, FALSE);
  printHologram(*e.record);
  EnableWindow(button, TRUE);
  InvalidateRect(dialog, nullptr, TRUE);
  UpdateWindow(dialog);
}

void copiesChanged(HWND dialog, HologramEditor &e) {
  BOOL ok = FALSE;
  const UINT copies = GetDlgItemInt(dialog, IDC_HOLOGRAM_COPIES, &ok, FALSE);
  if (!ok) return;
  // The record holds 16 bits: a larger count stays larger than the most a
  // print takes, instead of wrapping round to a small one.
  e.record->hologramCopies = int16_t(copies > INT16_MAX ? INT16_MAX : copies);
  e.changed = true;
}

void initDialog(HWND dialog, HologramEditor &e) {
  e.writing = true;
  const bool enabled = e.record->hologramEnabled == kSettingOn;
  CheckDlgButton(dialog, IDC_HOLOGRAM_ENABLE, enabled ? BST_CHECKED : BST_UNCHECKED);
  EnableWindow(GetDlgItem(dialog, IDC_HOLOGRAM_AREA_BUTTON), enabled ? TRUE : FALSE);
  SetDlgItemInt(dialog, IDC_HOLOGRAM_COPIES, UINT(int(e.record->hologramCopies)), TRUE);
  e.writing = false;
  e.changed = false;
}

INT_PTR CALLBACK hologramProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    initDialog(dialog, *reinterpret_cast<HologramEditor *>(lParam));
    return TRUE;
  }
  auto *e = reinterpret_cast<HologramEditor *>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (!e || message != WM_COMMAND) return FALSE;
  const int id = LOWORD(wParam), code = HIWORD(wParam);
  if (id == IDC_HOLOGRAM_COPIES) {
    if (code == EN_CHANGE && !e->writing) copiesChanged(dialog, *e);
    return TRUE;
  }
  if (code != BN_CLICKED) return FALSE;
  switch (id) {
    case IDC_HOLOGRAM_ENABLE: {
      const bool on = IsDlgButtonChecked(dialog, IDC_HOLOGRAM_ENABLE) == BST_CHECKED;
      e->record->hologramEnabled = on ? kSettingOn : kSettingOff;
      EnableWindow(GetDlgItem(dialog, IDC_HOLOGRAM_AREA_BUTTON), on ? TRUE : FALSE);
      e->changed = true;
      return TRUE;
    }
    case IDC_HOLOGRAM_AREA_BUTTON:
      if (showHologramAreaDialog(dialog) == 1) e->changed = true;
      return TRUE;
    case IDC_HOLOGRAM_HEAD_SETTINGS: showHeadSettingsDialog(dialog); return TRUE;
    case IDC_HOLOGRAM_PRINT: printClicked(dialog, *e); return TRUE;
    case IDC_EDITOR_HELP: openHelp(dialog); return TRUE;
    case IDC_EDITOR_CLOSE:
    case IDCANCEL: EndDialog(dialog, e->changed ? 1 : 0); return TRUE;
    default: return FALSE;
  }
}

}  // namespace

INT_PTR showHologramDialog(HWND owner) {
  JobSettingsRecord *record = state().currentRecord;
  if (!record) return -1;
  HologramEditor editor;
  editor.record = record;
  return DialogBoxParamW(state().instance, MAKEINTRESOURCEW(IDD_HOLOGRAM), owner, hologramProc,
                         reinterpret_cast<LPARAM>(&editor));
}

}  // namespace card::cfg
