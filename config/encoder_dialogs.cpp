// The encoder dialogs: encoder settings (104) and advanced settings (105).
// Each edits a copy of the master encoder block; "Apply" sets the printer's
// encoder up with a raw job, stores the master block in the printer's
// default DEVMODE, and closes.
#include <windows.h>

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "config/default_settings_file.h"
#include "config/device_common.h"
#include "config/dialogs.h"
#include "config/dialogs/device_ids.h"
#include "config/encoder_setup.h"
#include "config/module_state.h"
#include "config/ui_common.h"
#include "shared/printer_models.h"

namespace card::cfg {

namespace {

// The copies the two dialogs edit, taken from the master when each opens.
EncoderBlock g_encoderCopy = defaultEncoderBlock();
EncoderBlock g_trackCopy = defaultEncoderBlock();
// Set while the encoder dialog is open: the advanced dialog opened from it
// works with the type chosen there, applied or not.
bool g_encoderOpen = false;
// Set while a dialog fills its controls, whose notifications then change
// nothing.
bool g_filling = false;

const int kCoercivityButtons[] = {IDC_COERCIVITY_HIGH, IDC_COERCIVITY_LOW, IDC_COERCIVITY_UNCHANGED};
const int kTypeButtons[] = {IDC_TYPE_ISO_JIS, IDC_TYPE_JIS2, IDC_TYPE_AAMVA};
const int kTrackButtons[] = {IDC_TRACK1, IDC_TRACK2, IDC_TRACK3};
const int kCharParityButtons[] = {IDC_CHAR_PARITY_NONE, IDC_CHAR_PARITY_EVEN, IDC_CHAR_PARITY_ODD};
const int kLrcParityButtons[] = {IDC_LRC_PARITY_NONE, IDC_LRC_PARITY_EVEN, IDC_LRC_PARITY_ODD};
// Everything that only a bit mode uses.
const int kBitControls[] = {
    IDC_START_CHAR,        IDC_STOP_CHAR,       IDC_START_POSITION,  IDC_CHAR_PARITY_NONE,     IDC_CHAR_PARITY_EVEN,
    IDC_CHAR_PARITY_ODD,   IDC_LRC_PARITY_NONE, IDC_LRC_PARITY_EVEN, IDC_LRC_PARITY_ODD,       IDC_STARTSTOP_GROUP,
    IDC_START_CHAR_LABEL,  IDC_STOP_CHAR_LABEL, IDC_POSITION_GROUP,  IDC_START_POSITION_LABEL, IDC_START_POSITION_UNIT,
    IDC_CHAR_PARITY_GROUP, IDC_LRC_PARITY_GROUP};

bool modelHas(bool (*test)(const char *)) { return test(state().modelText); }

template <size_t N>
void checkOne(HWND dialog, const int (&buttons)[N], unsigned index) {
  for (size_t i = 0; i < N; ++i) CheckDlgButton(dialog, buttons[i], i == index ? BST_CHECKED : BST_UNCHECKED);
}

// The defaults "Restore Defaults" loads: the record of the driver's data
// file when it is a whole one, else the built-in block.
EncoderBlock restoredDefaults() {
  JobSettingsRecord defaults{};
  return readWholeDefaultRecord(state().printer, defaults) ? readEncoderBlock(defaults) : defaultEncoderBlock();
}

// The printer is set up with one raw job of the commands.
void sendEncoderJob(const std::string &commands) {
  const WString name = currentPrinterName();
  sendRawJob(name.empty() ? nullptr : name.c_str(), state().printer, TEXT("XLINEENCODER"), commands.data(),
             commands.size());
}

// ------------------------------------------------------------ dialog 104

void readEncoderText(HWND dialog, int control, char (&field)[10]) {
  WCHAR wide[64] = {};
  GetDlgItemTextW(dialog, control, wide, int(std::size(wide)));
  char text[64 * 2] = {};
  WideCharToMultiByte(CP_ACP, 0, wide, -1, text, int(sizeof text) - 1, nullptr, nullptr);
  setEncoderText(field, text, std::strlen(text));
}

void showEncoderEnabling(HWND dialog) {
  const EncoderDialogState s = encoderDialogState(g_encoderCopy.encoderType, modelHas(isLX3Model));
  enableControl(dialog, IDC_POSITION_REVERSED, s.reversedEnabled);
  enableControl(dialog, IDC_POSITION_NORMAL, s.normalEnabled);
  enableControl(dialog, IDC_ADVANCED_SETTINGS, s.advancedEnabled);
}

void showEncoderSettings(HWND dialog) {
  const EncoderBlock &b = g_encoderCopy;
  g_filling = true;
  CheckDlgButton(dialog, IDC_MACRO_PROCESSING, b.macroProcessing == kSettingOn ? BST_CHECKED : BST_UNCHECKED);
  setAnsiText(dialog, IDC_START_OF_DATA, encoderText(b.startOfData));
  setAnsiText(dialog, IDC_END_OF_DATA, encoderText(b.endOfData));
  checkOne(dialog, kCoercivityButtons, unsigned(b.coercivity));
  CheckDlgButton(dialog, IDC_POSITION_REVERSED, b.encoderPosition == kEncoderReversed ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, IDC_POSITION_NORMAL, b.encoderPosition == kEncoderNormal ? BST_CHECKED : BST_UNCHECKED);
  checkOne(dialog, kTypeButtons, b.encoderType);
  g_filling = false;
  showEncoderEnabling(dialog);
}

void applyEncoderSettings() {
  copyEncoderSettings(g_encoderCopy, masterEncoderBlock());
  sendEncoderJob(encoderSetupJob(masterEncoderBlock()));
  storeMasterEncoderBlock();
}

// The dialog ends here, whichever way it closes.
void endEncoderDialog(HWND dialog, INT_PTR result) {
  g_encoderOpen = false;
  EndDialog(dialog, result);
}

}  // namespace

INT_PTR CALLBACK encoderDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      g_encoderOpen = true;
      g_encoderCopy = masterEncoderBlock();
      prepareEncoderDialog(g_encoderCopy, modelHas(isLX3Model));
      SendDlgItemMessageW(dialog, IDC_START_OF_DATA, EM_LIMITTEXT, kEncoderTextChars, 0);
      SendDlgItemMessageW(dialog, IDC_END_OF_DATA, EM_LIMITTEXT, kEncoderTextChars, 0);
      showEncoderSettings(dialog);
      return TRUE;
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      const int code = HIWORD(wParam);
      if (id == IDC_START_OF_DATA || id == IDC_END_OF_DATA) {
        if ((code == EN_UPDATE || code == EN_CHANGE) && !g_filling)
          readEncoderText(dialog, id, id == IDC_START_OF_DATA ? g_encoderCopy.startOfData : g_encoderCopy.endOfData);
        return TRUE;
      }
      if (code != BN_CLICKED) break;
      switch (id) {
        case IDC_MACRO_PROCESSING:
          g_encoderCopy.macroProcessing =
              IsDlgButtonChecked(dialog, IDC_MACRO_PROCESSING) == BST_CHECKED ? kSettingOn : kSettingOff;
          return TRUE;
        case IDC_COERCIVITY_HIGH:
        case IDC_COERCIVITY_LOW:
        case IDC_COERCIVITY_UNCHANGED: g_encoderCopy.coercivity = int16_t(id - IDC_COERCIVITY_HIGH); return TRUE;
        case IDC_POSITION_REVERSED: g_encoderCopy.encoderPosition = kEncoderReversed; return TRUE;
        case IDC_POSITION_NORMAL: g_encoderCopy.encoderPosition = kEncoderNormal; return TRUE;
        case IDC_TYPE_ISO_JIS:
        case IDC_TYPE_JIS2:
        case IDC_TYPE_AAMVA:
          chooseEncoderType(g_encoderCopy, uint8_t(id - IDC_TYPE_ISO_JIS));
          showEncoderEnabling(dialog);
          return TRUE;
        case IDC_ADVANCED_SETTINGS: showAdvancedEncoderDialog(dialog); return TRUE;
        case IDC_RESTORE_DEFAULTS: {
          copyEncoderSettings(restoredDefaults(), g_encoderCopy);
          prepareEncoderDialog(g_encoderCopy, modelHas(isLX3Model));
          showEncoderSettings(dialog);
          return TRUE;
        }
        case IDC_HELP_BUTTON: openHelp(dialog); return TRUE;
        case IDC_ENCODER_APPLY:
          applyEncoderSettings();
          showWaitMessage();
          endEncoderDialog(dialog, IDOK);
          return TRUE;
        case IDC_ENCODER_CANCEL:
        case IDCANCEL: endEncoderDialog(dialog, IDCANCEL); return TRUE;
      }
      break;
    }
    case WM_CLOSE: endEncoderDialog(dialog, IDCANCEL); return TRUE;
  }
  return FALSE;
}

namespace {

// ------------------------------------------------------------ dialog 105

TrackFormat &currentTrack() { return g_trackCopy.trackFormat[g_trackCopy.currentTrack % kTrackCount]; }

void showTrackEnabling(HWND dialog) {
  const TrackDialogState s = trackDialogState(g_trackCopy, modelHas(lacksThirdTrack));
  for (unsigned t = 0; t < kTrackCount; ++t) enableControl(dialog, kTrackButtons[t], s.trackEnabled[t]);
  for (int control : kBitControls) enableControl(dialog, control, s.bitControlsEnabled);
}

void showTrack(HWND dialog) {
  const TrackFormat &f = currentTrack();
  g_filling = true;
  checkOne(dialog, kTrackButtons, g_trackCopy.currentTrack);
  SendDlgItemMessageW(dialog, IDC_TRACK_MODE, CB_SETCURSEL, f.mode < kTrackModeCount ? f.mode : WPARAM(-1), 0);
  SendDlgItemMessageW(dialog, IDC_TRACK_DENSITY, CB_SETCURSEL, f.density <= kDensity210Bpi ? f.density : WPARAM(-1), 0);
  SetDlgItemInt(dialog, IDC_START_CHAR, f.startChar, FALSE);
  SetDlgItemInt(dialog, IDC_STOP_CHAR, f.stopChar, FALSE);
  SetDlgItemInt(dialog, IDC_START_POSITION, f.startPosition, FALSE);
  checkOne(dialog, kCharParityButtons, f.charParity);
  checkOne(dialog, kLrcParityButtons, f.lrcParity);
  g_filling = false;
  showTrackEnabling(dialog);
}

void fillCombo(HWND dialog, int control, UINT firstString, unsigned count) {
  for (unsigned i = 0; i < count; ++i) {
    WCHAR text[32] = {};
    LoadStringW(state().instance, firstString + i, text, int(std::size(text)));
    SendDlgItemMessageW(dialog, control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  }
}

void readTrackNumber(HWND dialog, int control, uint8_t &field) {
  BOOL ok = FALSE;
  const UINT value = GetDlgItemInt(dialog, control, &ok, FALSE);
  if (ok) field = uint8_t(value & 0xFF);
}

uint8_t effectiveType() { return g_encoderOpen ? g_encoderCopy.encoderType : masterEncoderBlock().encoderType; }

void applyTrackSettings() {
  copyTrackSettings(g_trackCopy, masterEncoderBlock());
  EncoderBlock job = masterEncoderBlock();
  job.encoderType = effectiveType();
  sendEncoderJob(trackSetupJob(job));
  storeMasterEncoderBlock();
}

}  // namespace

INT_PTR CALLBACK advancedEncoderDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      g_trackCopy = masterEncoderBlock();
      g_trackCopy.encoderType = effectiveType();
      prepareTrackDialog(g_trackCopy, modelHas(lacksThirdTrack));
      fillCombo(dialog, IDC_TRACK_MODE, IDS_TRACK_MODE_FIRST, kTrackModeCount);
      fillCombo(dialog, IDC_TRACK_DENSITY, IDS_TRACK_DENSITY_FIRST, 2);
      showTrack(dialog);
      return TRUE;
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      const int code = HIWORD(wParam);
      switch (id) {
        case IDC_TRACK_MODE:
        case IDC_TRACK_DENSITY:
          if (code == CBN_SELCHANGE && !g_filling) {
            const LRESULT sel = SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0);
            if (sel >= 0) (id == IDC_TRACK_MODE ? currentTrack().mode : currentTrack().density) = uint8_t(sel);
            showTrackEnabling(dialog);
          }
          return TRUE;
        case IDC_START_CHAR:
        case IDC_STOP_CHAR:
        case IDC_START_POSITION:
          if ((code == EN_UPDATE || code == EN_CHANGE) && !g_filling) {
            TrackFormat &f = currentTrack();
            readTrackNumber(dialog, id,
                            id == IDC_START_CHAR  ? f.startChar
                            : id == IDC_STOP_CHAR ? f.stopChar
                                                  : f.startPosition);
          }
          return TRUE;
      }
      if (code != BN_CLICKED) break;
      switch (id) {
        case IDC_TRACK1:
        case IDC_TRACK2:
        case IDC_TRACK3:
          g_trackCopy.currentTrack = uint8_t(id - IDC_TRACK1);
          showTrack(dialog);
          return TRUE;
        case IDC_CHAR_PARITY_NONE:
        case IDC_CHAR_PARITY_EVEN:
        case IDC_CHAR_PARITY_ODD: currentTrack().charParity = uint8_t(id - IDC_CHAR_PARITY_NONE); return TRUE;
        case IDC_LRC_PARITY_NONE:
        case IDC_LRC_PARITY_EVEN:
        case IDC_LRC_PARITY_ODD: currentTrack().lrcParity = uint8_t(id - IDC_LRC_PARITY_NONE); return TRUE;
        case IDC_RESTORE_DEFAULTS:
          copyTrackSettings(restoredDefaults(), g_trackCopy);
          prepareTrackDialog(g_trackCopy, modelHas(lacksThirdTrack));
          showTrack(dialog);
          return TRUE;
        case IDC_HELP_BUTTON: openHelp(dialog); return TRUE;
        case IDC_TRACK_APPLY:
          applyTrackSettings();
          showWaitMessage();
          EndDialog(dialog, IDOK);
          return TRUE;
        case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
      }
      break;
    }
    case WM_CLOSE: EndDialog(dialog, IDCANCEL); return TRUE;
  }
  return FALSE;
}

INT_PTR showEncoderDialog(HWND owner) { return showModuleDialog(owner, IDD_ENCODER, encoderDialogProc); }

INT_PTR showAdvancedEncoderDialog(HWND owner) {
  return showModuleDialog(owner, IDD_ENCODER_ADVANCED, advancedEncoderDialogProc);
}

}  // namespace card::cfg
