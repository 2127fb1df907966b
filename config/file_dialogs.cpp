// The Send File dialog and the firmware download page.  The sending itself
// is in file_sending.cpp, shared with cardtool; these only take the user's
// choices and show how it went.
#include <windows.h>
#include <commdlg.h>

#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "config/device_common.h"
#include "config/dialogs.h"
#include "config/dialogs/files_ids.h"
#include "config/file_sending.h"
#include "config/firmware_file.h"
#include "config/module_state.h"
#include "config/ui_common.h"

namespace card::cfg {

namespace {

// Paths as the file-open dialog gives them; room for long paths, which a
// shorter buffer would cut.
constexpr size_t kPathChars = 1024;
constexpr size_t kTextChars = 256;

void setText(HWND dialog, int control, UINT stringId) {
  WCHAR text[kTextChars] = {};
  LoadStringW(state().instance, stringId, text, int(std::size(text)));
  SetDlgItemTextW(dialog, control, text);
}

// A status line: enabled, so that its text is not greyed, and shown at once,
// since the send that follows blocks the dialog's thread.
void showStatus(HWND dialog, int control, UINT stringId) {
  enableControl(dialog, control, true);
  setText(dialog, control, stringId);
  UpdateWindow(GetDlgItem(dialog, control));
}

int messageBox(HWND owner, UINT textId, UINT style) {
  WCHAR caption[kTextChars] = {}, text[kTextChars] = {};
  LoadStringW(state().instance, IDS_FILES_CAPTION, caption, int(std::size(caption)));
  LoadStringW(state().instance, textId, text, int(std::size(text)));
  return MessageBoxW(owner, text, caption, style);
}

bool chooseFile(HWND owner, LPCWSTR filter, LPCWSTR defaultExtension, WCHAR (&path)[kPathChars]) {
  path[0] = 0;
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = filter;
  ofn.lpstrFile = path;
  ofn.nMaxFile = DWORD(kPathChars);
  ofn.lpstrDefExt = defaultExtension;
  ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
  return GetOpenFileNameW(&ofn) != FALSE;
}

LPCWSTR rememberedName() { return state().printerName[0] ? state().printerName : nullptr; }

// ------------------------------------------------------------ Send File

void sendChosenFile(HWND dialog) {
  WCHAR path[kPathChars] = {};
  GetDlgItemTextW(dialog, IDC_SEND_PATH, path, int(std::size(path)));
  const FileKind kind = IsDlgButtonChecked(dialog, IDC_SEND_PRN) == BST_CHECKED ? kPrinterFile : kCommandFile;
  startTrayForSending();
  enableControl(dialog, IDC_SEND_FILE, false);
  showStatus(dialog, IDC_SEND_STATUS, IDS_SEND_SENDING);
  BoxProblems problems(dialog);
  const bool sent = sendFile(problems, rememberedName(), state().printer, path, kind);
  showStatus(dialog, IDC_SEND_STATUS, sent ? IDS_SEND_SUCCESS : IDS_SEND_ERROR);
  enableControl(dialog, IDC_SEND_FILE, true);
}

void selectFileToSend(HWND dialog) {
  const bool printerFile = IsDlgButtonChecked(dialog, IDC_SEND_PRN) == BST_CHECKED;
  WCHAR path[kPathChars];
  if (!chooseFile(dialog, printerFile ? TEXT("Printer Files(*.prn)\0*.prn\0") : TEXT("Text Files(*.txt)\0*.txt\0"),
                  nullptr, path))
    return;
  SetDlgItemTextW(dialog, IDC_SEND_PATH, path);
  enableControl(dialog, IDC_SEND_FILE, true);
  showStatus(dialog, IDC_SEND_STATUS, IDS_SEND_CHOSEN);
}

INT_PTR CALLBACK sendFileDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      enableControl(dialog, IDC_SEND_PATH, false);
      enableControl(dialog, IDC_SEND_STATUS, false);
      enableControl(dialog, IDC_SEND_FILE, false);
      CheckRadioButton(dialog, IDC_SEND_PRN, IDC_SEND_TEXT, IDC_SEND_PRN);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_SEND_PRN:
        case IDC_SEND_TEXT:
          // A path chosen for the other kind of file is no longer valid.
          if (HIWORD(wParam) == BN_CLICKED) {
            SetDlgItemTextW(dialog, IDC_SEND_PATH, TEXT(""));
            enableControl(dialog, IDC_SEND_FILE, false);
          }
          return TRUE;
        case IDC_SEND_SELECT: selectFileToSend(dialog); return TRUE;
        case IDC_SEND_FILE: sendChosenFile(dialog); return TRUE;
        case IDCANCEL: EndDialog(dialog, IDOK); return TRUE;
      }
      break;
    case WM_CLOSE: EndDialog(dialog, IDOK); return TRUE;
  }
  return FALSE;
}

// ------------------------------------------------------------ firmware download

// The identification bytes of the file at `path`; false when it cannot be read.
bool readIdentBytes(LPCWSTR path, std::vector<uint8_t> &bytes) {
  HANDLE file =
      CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bytes.assign(kFirmwareIdentBytes, 0);
  size_t have = 0;
  bool ok = true;
  while (have < bytes.size()) {
    DWORD got = 0;
    if (!ReadFile(file, bytes.data() + have, DWORD(bytes.size() - have), &got, nullptr)) ok = false;
    if (!ok || got == 0) break;
    have += got;
  }
  CloseHandle(file);
  bytes.resize(have);
  return ok;
}

void setAnsi(HWND dialog, int control, const std::string &text) {
  std::basic_string<WCHAR> wide(text.begin(), text.end());
  SetDlgItemTextW(dialog, control, wide.c_str());
}

void selectFirmwareFile(HWND dialog) {
  WCHAR path[kPathChars];
  if (!chooseFile(dialog, TEXT("Binary Files(*.bin)\0*.bin\0"), TEXT("bin"), path)) return;
  std::vector<uint8_t> bytes;
  if (!readIdentBytes(path, bytes)) {
    messageBox(dialog, IDS_FW_OPEN_ERROR, MB_OK | MB_ICONSTOP);
    return;
  }
  const FirmwareIdentity id = identifyFirmware(bytes.data(), bytes.size());
  if (id.type == FirmwareType::Unknown) {
    messageBox(dialog, IDS_FW_INCORRECT, MB_OK | MB_ICONSTOP);
    return;
  }
  setAnsi(dialog, IDC_FIRMWARE_TYPE, firmwareTypeText(id.type));
  setAnsi(dialog, IDC_FIRMWARE_CHECKSUM, firmwareChecksumText(id.checksum));
  SetDlgItemTextW(dialog, IDC_FIRMWARE_PATH, path);
  enableControl(dialog, IDC_FIRMWARE_PATH, true);
  enableControl(dialog, IDC_FIRMWARE_START, true);
}

void startFirmwareDownload(HWND dialog) {
  enableControl(dialog, IDC_FIRMWARE_START, false);
  WCHAR path[kPathChars] = {};
  GetDlgItemTextW(dialog, IDC_FIRMWARE_PATH, path, int(std::size(path)));
  showStatus(dialog, IDC_FIRMWARE_STATUS, IDS_FW_DOWNLOADING);
  BoxProblems problems(dialog);
  if (!downloadFirmware(problems, rememberedName(), state().printer, path)) {
    showStatus(dialog, IDC_FIRMWARE_STATUS, IDS_FW_ERROR);
  } else {
    showStatus(dialog, IDC_FIRMWARE_STATUS, IDS_FW_UPDATING);
    showStatus(dialog, IDC_FIRMWARE_STATUS, IDS_FW_DOWNLOADED);
    messageBox(dialog, IDS_FW_RESET_WAIT, MB_OK | MB_SYSTEMMODAL | MB_SETFOREGROUND | MB_TOPMOST);
  }
  enableControl(dialog, IDC_FIRMWARE_START, true);
}

}  // namespace

INT_PTR CALLBACK firmwareDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      enableControl(dialog, IDC_FIRMWARE_STATUS, false);
      enableControl(dialog, IDC_FIRMWARE_PATH, false);
      enableControl(dialog, IDC_FIRMWARE_START, false);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_FIRMWARE_SELECT: selectFirmwareFile(dialog); return TRUE;
        case IDC_FIRMWARE_START: startFirmwareDownload(dialog); return TRUE;
        case IDCANCEL: EndDialog(dialog, IDOK); return TRUE;
      }
      break;
    case WM_CLOSE: EndDialog(dialog, IDOK); return TRUE;
  }
  return FALSE;
}

INT_PTR showSendFileDialog(HWND owner) { return showModuleDialog(owner, IDD_SEND_FILE, sendFileDialogProc); }

INT_PTR showFirmwareDialog(HWND owner) { return showModuleDialog(owner, IDD_FIRMWARE, firmwareDialogProc); }

}  // namespace card::cfg
