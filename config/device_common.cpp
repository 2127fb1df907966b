#include "config/device_common.h"

#include <winspool.h>

#include <vector>

#include "config/module_state.h"
#include "config/printer_access.h"
#include "config/raw_channel.h"

namespace card::cfg {

namespace {

EncoderBlock g_master = defaultEncoderBlock();

const WCHAR kWaitCaption[] = TEXT(" Pellor Printer Settings ");
const WCHAR kWaitText[] = TEXT("Applying printer settings. Please wait...");
constexpr DWORD kWaitMs = 5000;

DWORD WINAPI waitBoxThread(LPVOID) {
  MessageBoxW(nullptr, kWaitText, kWaitCaption, MB_OK | MB_ICONINFORMATION);
  return 0;
}

// The printer's default DEVMODE record inside a PRINTER_INFO_2 buffer.
JobSettingsRecord *defaultRecord(std::vector<BYTE> &info) {
  const DEVMODEW *dm = usableDefault(info);
  if (!dm) return nullptr;
  return reinterpret_cast<JobSettingsRecord *>(reinterpret_cast<BYTE *>(const_cast<DEVMODEW *>(dm)) +
                                               kStandardPartSize);
}

}  // namespace

WString currentPrinterName() {
  std::vector<BYTE> info;
  const ModuleState &st = state();
  if (st.printer && printerInfo(st.printer, 2, info)) {
    const auto *pi = reinterpret_cast<const PRINTER_INFO_2W *>(info.data());
    if (pi->pPrinterName && *pi->pPrinterName) return WString(pi->pPrinterName);
  }
  return WString(st.printerName);
}

QueryResult askPrinterOn(HANDLE printer, std::string_view command, size_t capacity) {
  return queryCommand(printer, command, capacity);
}

QueryResult askPrinter(std::string_view command, size_t capacity) {
  return queryCurrentThenByName(state().printer, command, capacity);
}

EncoderBlock &masterEncoderBlock() { return g_master; }

void loadMasterEncoderBlock(const JobSettingsRecord &record) { g_master = readEncoderBlock(record); }

bool storeMasterEncoderBlock() {
  HANDLE printer = state().printer;
  std::vector<BYTE> info;
  if (!printer || !printerInfo(printer, 2, info)) return false;
  JobSettingsRecord *record = defaultRecord(info);
  if (!record) return false;
  writeEncoderBlock(*record, g_master);
  return SetPrinterW(printer, 2, info.data(), 0) != FALSE;
}

uint16_t currentRibbonId() {
  const ModuleState &st = state();
  if (st.currentRecord) return st.currentRecord->ribbonId;
  std::vector<BYTE> info;
  if (!st.printer || !printerInfo(st.printer, 2, info)) return 0;
  const JobSettingsRecord *record = defaultRecord(info);
  return record ? record->ribbonId : 0;
}

void showWaitMessage() {
  HANDLE thread = CreateThread(nullptr, 0, waitBoxThread, nullptr, 0, nullptr);
  if (!thread) return;
  // The box comes up on its own thread; it is looked for until it shows or
  // its thread has ended (a box that could not be shown, or one the user
  // closed first).  No clock decides it: a busy machine may take its time.
  HWND box = nullptr;
  while (!(box = FindWindowW(nullptr, kWaitCaption)))
    if (WaitForSingleObject(thread, 50) != WAIT_TIMEOUT) break;
  // The user is to wait for the printer, not to dismiss the message.
  if (box)
    for (HWND b = FindWindowExW(box, nullptr, TEXT("Button"), nullptr); b;
         b = FindWindowExW(box, b, TEXT("Button"), nullptr))
      ShowWindow(b, SW_HIDE);
  Sleep(kWaitMs);
  // The box is closed and its thread ended before the dialog goes on; a box
  // still there is asked again each second.
  if (box && IsWindow(box)) PostMessageW(box, WM_CLOSE, 0, 0);
  while (WaitForSingleObject(thread, 1000) == WAIT_TIMEOUT)
    if (HWND still = FindWindowW(nullptr, kWaitCaption)) PostMessageW(still, WM_CLOSE, 0, 0);
  CloseHandle(thread);
}

void setAnsiText(HWND dialog, int control, const std::string &text) {
  std::vector<WCHAR> wide(text.size() + 1, 0);
  if (!text.empty()) MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), wide.data(), int(wide.size() - 1));
  SetDlgItemTextW(dialog, control, wide.data());
}

}  // namespace card::cfg
