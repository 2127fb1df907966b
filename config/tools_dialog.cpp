// The printer tools dialog (112).  Every button sends one command as a query
// on a handle opened for the press, so that the technician sees the
// printer's reply at once; the shared operations are in tool_commands.h.
#include "config/tools_dialog.h"

#include <windows.h>
#include <winspool.h>

#include <array>
#include <iterator>
#include <string>
#include <vector>

#include "config/device_common.h"
#include "config/dialogs.h"
#include "config/dialogs/tools_ids.h"
#include "config/module_state.h"
#include "config/printer_access.h"
#include "config/reply_display.h"
#include "config/tool_commands.h"
#include "config/tool_rules.h"
#include "config/ui_common.h"

namespace card::cfg {

namespace {

// The longest command text kept between openings.
constexpr size_t kCommandChars = 79;

// What outlives the dialog: the last command typed, the tracks chosen for
// direct encoding, and the last reply shown.
struct ToolsState {
  std::string command;
  std::array<uint16_t, 3> trackFlags{};
  std::string reply;
};

ToolsState &tools() {
  static ToolsState s;
  return s;
}

constexpr int kTrackBoxes[3] = {IDC_TOOLS_TRACK1, IDC_TOOLS_TRACK2, IDC_TOOLS_TRACK3};
constexpr int kTrackEdits[3] = {IDC_TOOLS_TRACK1_DATA, IDC_TOOLS_TRACK2_DATA, IDC_TOOLS_TRACK3_DATA};
// Front X, front Y, back X, back Y: the order of readOffsets.
constexpr int kOffsetEdits[4] = {IDC_TOOLS_FRONT_X, IDC_TOOLS_FRONT_Y, IDC_TOOLS_BACK_X, IDC_TOOLS_BACK_Y};
constexpr int kEncodingControls[] = {IDC_TOOLS_TRACK1,      IDC_TOOLS_TRACK2,      IDC_TOOLS_TRACK3,
                                     IDC_TOOLS_TRACK1_DATA, IDC_TOOLS_TRACK2_DATA, IDC_TOOLS_TRACK3_DATA,
                                     IDC_TOOLS_ENCODE,      IDC_TOOLS_READ};

// A handle on the current printer for one press of a button.
class ToolPrinter {
 public:
  ToolPrinter() {
    const WString name = currentPrinterName();
    if (!name.empty()) handle_ = openPrinterByName(name.c_str());
  }
  ~ToolPrinter() {
    if (handle_) ClosePrinter(handle_);
  }
  ToolPrinter(const ToolPrinter &) = delete;
  ToolPrinter &operator=(const ToolPrinter &) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_ = nullptr;
};

// A message of the tools, from the module's own strings, over whatever
// window is active (the dialog, or the box the user is answering).
int toolsBox(UINT textId, UINT style) {
  WCHAR caption[128] = {}, text[512] = {};
  LoadStringW(state().instance, IDS_TOOLS_CAPTION, caption, int(std::size(caption)));
  LoadStringW(state().instance, textId, text, int(std::size(text)));
  return MessageBoxW(GetActiveWindow(), text, caption, style | MB_SYSTEMMODAL | MB_SETFOREGROUND | MB_TOPMOST);
}

bool confirmed(UINT textId, UINT style) { return toolsBox(textId, MB_YESNO | style) == IDYES; }

// A field's text as 8-bit text in the system's code page.
std::string ansiText(HWND dialog, int control) {
  const int chars = GetWindowTextLengthW(GetDlgItem(dialog, control));
  if (chars <= 0) return {};
  std::vector<WCHAR> wide(size_t(chars) + 1, 0);
  GetDlgItemTextW(dialog, control, wide.data(), chars + 1);
  const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 1) return {};
  std::string out(size_t(bytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, out.data(), bytes, nullptr, nullptr);
  out.resize(size_t(bytes - 1));
  return out;
}

void showReply(HWND dialog, const std::string &text) {
  tools().reply = text.substr(0, kToolReplyBytes - 1);
  setAnsiText(dialog, IDC_TOOLS_STATUS, tools().reply);
}

// One tool command from a button: the reply (or that there was none) goes
// to the status line.  Nothing happens when the printer cannot be opened.
void sendTool(HWND dialog, int button, const std::string &command) {
  if (command.size() < 3) return;
  ToolPrinter printer;
  if (!printer.get()) return;
  SetDlgItemTextW(dialog, IDC_TOOLS_STATUS, TEXT(""));
  enableControl(dialog, button, false);
  const QueryResult r = toolCommand(printer.get(), command);
  enableControl(dialog, button, true);
  showReply(dialog, replyDisplayText(r.succeeded, r.bytes));
}

// Reads the offsets into their fields; "Set Offsets" is offered only when
// the printer gave all four.
void readOffsetFields(HWND dialog) {
  ToolPrinter printer;
  if (!printer.get()) return;
  const OffsetReadings r = readOffsets(printer.get());
  for (size_t i = 0; i < 4; ++i) {
    if (r.fields[i]) {
      setAnsiText(dialog, kOffsetEdits[i], *r.fields[i]);
      enableControl(dialog, kOffsetEdits[i], true);
    } else if (r.refused[i]) {
      enableControl(dialog, kOffsetEdits[i], false);
    }
  }
  enableControl(dialog, IDC_TOOLS_SET_OFFSETS, r.allCounted());
}

void addChoice(HWND dialog, int combo, UINT textId, LPARAM data) {
  WCHAR text[128] = {};
  LoadStringW(state().instance, textId, text, int(std::size(text)));
  const LRESULT at = SendDlgItemMessageW(dialog, combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  if (at >= 0) SendDlgItemMessageW(dialog, combo, CB_SETITEMDATA, WPARAM(at), data);
}

// The lists and the direct-encoding group, which depend on the encoder.
void setUpChoices(HWND dialog) {
  const bool encoder = state().working.hasEncoder != kSettingOff;
  addChoice(dialog, IDC_TOOLS_TEST_CARD, IDS_TEST_STANDARD, 0);
  addChoice(dialog, IDC_TOOLS_TEST_CARD, IDS_TEST_PRINTER_PARAMETERS, 1);
  if (encoder) addChoice(dialog, IDC_TOOLS_TEST_CARD, IDS_TEST_ENCODER_PARAMETERS, 2);
  addChoice(dialog, IDC_TOOLS_CLEANING, IDS_CLEAN_PRINTER_ONLY, 0);
  SendDlgItemMessageW(dialog, IDC_TOOLS_TEST_CARD, CB_SETCURSEL, 0, 0);
  SendDlgItemMessageW(dialog, IDC_TOOLS_CLEANING, CB_SETCURSEL, 0, 0);
  for (size_t t = 0; t < 3; ++t) {
    const bool chosen = tools().trackFlags[t] != 0;
    CheckDlgButton(dialog, kTrackBoxes[t], chosen ? BST_CHECKED : BST_UNCHECKED);
    enableControl(dialog, kTrackEdits[t], encoder && chosen);
  }
  if (!encoder)
    for (int control : kEncodingControls) enableControl(dialog, control, false);
}

void initDialog(HWND dialog) {
  SendDlgItemMessageW(dialog, IDC_TOOLS_COMMAND, EM_LIMITTEXT, kCommandChars, 0);
  // Kept before the text goes in: the field's change notice copies it back.
  const std::string command = tools().command;
  setAnsiText(dialog, IDC_TOOLS_COMMAND, command);
  readOffsetFields(dialog);
  setUpChoices(dialog);
}

LPARAM selectedData(HWND dialog, int combo) {
  const LRESULT at = SendDlgItemMessageW(dialog, combo, CB_GETCURSEL, 0, 0);
  if (at == CB_ERR) return CB_ERR;
  return SendDlgItemMessageW(dialog, combo, CB_GETITEMDATA, WPARAM(at), 0);
}

void printTestCard(HWND dialog) {
  const LPARAM kind = selectedData(dialog, IDC_TOOLS_TEST_CARD);
  if (kind != CB_ERR) sendTool(dialog, IDC_TOOLS_PRINT, testCardCommand(long(kind)));
}

void cleanPrinter(HWND dialog) {
  if (!confirmed(IDS_CONFIRM_CLEANING, MB_ICONEXCLAMATION)) return;
  if (selectedData(dialog, IDC_TOOLS_CLEANING) == 0) sendTool(dialog, IDC_TOOLS_CLEAN, std::string(kCleanCommand));
}

void setOffsets(HWND dialog) {
  if (!confirmed(IDS_CONFIRM_OFFSETS, MB_ICONEXCLAMATION)) {
    // The fields go back to what the printer holds.
    tools().reply.clear();
    SetDlgItemTextW(dialog, IDC_TOOLS_STATUS, TEXT(""));
    readOffsetFields(dialog);
    return;
  }
  std::optional<unsigned> n[4];
  for (size_t i = 0; i < 4; ++i) n[i] = offsetFieldNumber(ansiText(dialog, kOffsetEdits[i]));
  sendTool(dialog, IDC_TOOLS_SET_OFFSETS, offsetsCommand(n[0], n[1], n[2], n[3]));
}

void encodeTracks(HWND dialog) {
  std::array<std::optional<std::string>, 3> tracks;
  for (size_t t = 0; t < 3; ++t)
    if (tools().trackFlags[t]) tracks[t] = ansiText(dialog, kTrackEdits[t]);
  const std::string command = encodeTracksCommand(tracks);
  if (command.empty()) {
    toolsBox(IDS_NO_DATA_TO_ENCODE, MB_OK | MB_ICONSTOP);
    return;
  }
  if (!confirmed(IDS_CARD_IN_FEEDER, 0)) return;
  sendTool(dialog, IDC_TOOLS_ENCODE, command + std::string(kEncodeTracksCommand));
}

void readTrackFields(HWND dialog) {
  for (int edit : kTrackEdits) SetDlgItemTextW(dialog, edit, TEXT(""));
  if (!confirmed(IDS_CARD_IN_FEEDER, 0)) return;
  ToolPrinter printer;
  if (!printer.get()) return;
  enableControl(dialog, IDC_TOOLS_READ, false);
  const std::array<bool, 3> selected = {tools().trackFlags[0] != 0, tools().trackFlags[1] != 0,
                                        tools().trackFlags[2] != 0};
  const TrackReadings r = readTracks(printer.get(), selected);
  for (size_t t = 0; t < 3; ++t)
    if (r.tracks[t]) setAnsiText(dialog, kTrackEdits[t], *r.tracks[t]);
  if (r.stopReply) showReply(dialog, replyDisplayText(true, *r.stopReply));
  enableControl(dialog, IDC_TOOLS_READ, true);
}

// Puts corrected text back into its field and says why.  The field's change
// notice checks the corrected text again, which then passes.  The caret goes
// to the end, where the technician goes on typing.
void correct(HWND dialog, int control, const TypedText &checked) {
  if (!checked.message) return;
  setAnsiText(dialog, control, checked.text);
  const WPARAM end = WPARAM(GetWindowTextLengthW(GetDlgItem(dialog, control)));
  SendDlgItemMessageW(dialog, control, EM_SETSEL, end, LPARAM(end));
  toolsBox(checked.message, MB_OK);
}

void fieldChanged(HWND dialog, int control) {
  for (int edit : kOffsetEdits)
    if (control == edit) return correct(dialog, control, checkOffsetText(ansiText(dialog, control)));
  for (int t = 0; t < 3; ++t)
    if (control == kTrackEdits[t]) return correct(dialog, control, checkTrackText(t + 1, ansiText(dialog, control)));
  if (control == IDC_TOOLS_COMMAND) {
    tools().command = ansiText(dialog, control).substr(0, kCommandChars);
    SetDlgItemTextW(dialog, IDC_TOOLS_STATUS, TEXT(""));
  }
}

void trackChosen(HWND dialog, int control) {
  for (size_t t = 0; t < 3; ++t) {
    if (control != kTrackBoxes[t]) continue;
    const bool chosen = IsDlgButtonChecked(dialog, control) == BST_CHECKED;
    tools().trackFlags[t] = chosen ? 1 : 0;
    enableControl(dialog, kTrackEdits[t], chosen);
  }
}

bool command(HWND dialog, int control, int notice) {
  switch (control) {
    case IDC_TOOLS_EXECUTE:
      if (!tools().command.empty()) sendTool(dialog, control, typedCommand(tools().command));
      return true;
    case IDC_TOOLS_EJECT: sendTool(dialog, control, std::string(kEjectCommand)); return true;
    case IDC_TOOLS_PRINT: printTestCard(dialog); return true;
    case IDC_TOOLS_CLEAN: cleanPrinter(dialog); return true;
    case IDC_TOOLS_SET_OFFSETS: setOffsets(dialog); return true;
    case IDC_TOOLS_ENCODE: encodeTracks(dialog); return true;
    case IDC_TOOLS_READ: readTrackFields(dialog); return true;
    case IDC_TOOLS_TRACK1:
    case IDC_TOOLS_TRACK2:
    case IDC_TOOLS_TRACK3: trackChosen(dialog, control); return true;
    case IDC_TOOLS_HELP: openHelp(dialog); return true;
    case IDC_TOOLS_SEND_FILE: showSendFileDialog(dialog); return true;
    case IDC_TOOLS_CLOSE:
    case IDCANCEL: EndDialog(dialog, IDOK); return true;
  }
  if (notice == EN_UPDATE) {
    fieldChanged(dialog, control);
    return true;
  }
  return false;
}

}  // namespace

INT_PTR CALLBACK toolsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  // Tool commands are queries with a reply, whatever ribbon the settings
  // chose by hand.
  state().working.ribbonId = 0;
  switch (message) {
    case WM_INITDIALOG: initDialog(dialog); return TRUE;
    case WM_COMMAND: return command(dialog, LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
    case WM_CLOSE: EndDialog(dialog, IDOK); return TRUE;
  }
  return FALSE;
}

INT_PTR showToolsDialog(HWND owner) { return showModuleDialog(owner, IDD_TOOLS, toolsDialogProc); }

}  // namespace card::cfg
