#include "config/ui_common.h"

#include <htmlhelp.h>
#include <strsafe.h>
#include <winspool.h>

#include <iterator>
#include <vector>

#include "config/module_state.h"
#include "config/printer_access.h"
#include "config/system_functions.h"

namespace card::cfg {

namespace {

constexpr UINT kIdsHelpFile = 200;  // "cardhelp.chm"

using HtmlHelpFn = HWND(WINAPI *)(HWND, LPCWSTR, UINT, DWORD_PTR);

}  // namespace

bool driverFolderFile(HANDLE printer, LPCWSTR fileName, WCHAR *out, size_t outChars) {
  if (!out || outChars == 0) return false;
  out[0] = 0;
  std::vector<BYTE> info;
  if (!printer || !driverInfo(printer, 2, info) || info.size() < sizeof(DRIVER_INFO_2W)) return false;
  const auto *di = reinterpret_cast<const DRIVER_INFO_2W *>(info.data());
  if (!di->pDriverPath || !*di->pDriverPath) return false;
  size_t folder = 0;
  for (size_t i = 0; di->pDriverPath[i]; ++i)
    if (di->pDriverPath[i] == '\\' || di->pDriverPath[i] == '/') folder = i + 1;
  if (folder + 1 > outChars) return false;
  for (size_t i = 0; i < folder; ++i) out[i] = di->pDriverPath[i];
  out[folder] = 0;
  if (FAILED(StringCchCatW(out, outChars, fileName))) {
    out[0] = 0;
    return false;
  }
  return true;
}

void openHelp(HWND owner) {
  const ModuleState &st = state();
  WCHAR name[MAX_PATH] = {}, path[MAX_PATH] = {};
  if (!LoadStringW(st.instance, kIdsHelpFile, name, int(std::size(name)))) return;
  if (!driverFolderFile(st.printer, name, path, std::size(path))) return;
  if (auto help = systemFunction<HtmlHelpFn>(TEXT("hhctrl.ocx"), "HtmlHelpW")) help(owner, path, HH_DISPLAY_TOPIC, 0);
}

void dialogBaseUnits(HWND dialog, int &bx, int &by) {
  RECT r = {4, 8, 0, 0};
  MapDialogRect(dialog, &r);
  bx = r.left;
  by = r.top;
}

RawJob::RawJob(LPCWSTR name, HANDLE fallback, LPCWSTR documentName, LPCWSTR dataType) {
  if (name && *name) {
    printer_ = openPrinterPlain(name);
    owned_ = printer_ != nullptr;
  }
  if (!printer_) printer_ = fallback;
  if (!printer_) return;
  DOC_INFO_1W doc = {const_cast<LPWSTR>(documentName), nullptr, const_cast<LPWSTR>(dataType)};
  jobId_ = StartDocPrinterW(printer_, 1, reinterpret_cast<BYTE *>(&doc));
  if (jobId_ == 0) return;
  started_ = true;
  if (!StartPagePrinter(printer_)) failed_ = true;
}

RawJob::~RawJob() {
  finish();
  if (owned_) ClosePrinter(printer_);
}

bool RawJob::write(const void *bytes, size_t length) {
  if (!started_ || failed_ || finished_) return false;
  const BYTE *p = static_cast<const BYTE *>(bytes);
  while (length > 0) {
    DWORD chunk = length > 0x10000 ? 0x10000 : DWORD(length), written = 0;
    if (!WritePrinter(printer_, const_cast<BYTE *>(p), chunk, &written) || written == 0) {
      failed_ = true;
      return false;
    }
    p += written;
    length -= written;
  }
  return true;
}

bool RawJob::finish() {
  if (!started_ || finished_) return started_ && !failed_;
  finished_ = true;
  if (!EndPagePrinter(printer_)) failed_ = true;
  if (!EndDocPrinter(printer_)) failed_ = true;
  return !failed_;
}

bool sendRawJob(LPCWSTR name, HANDLE fallback, LPCWSTR documentName, const void *bytes, size_t length) {
  RawJob job(name, fallback, documentName);
  if (!job.started()) return false;
  bool ok = job.write(bytes, length);
  return job.finish() && ok;
}

INT_PTR showModuleDialog(HWND owner, int templateId, DLGPROC procedure, LPARAM param) {
  return DialogBoxParamW(state().instance, MAKEINTRESOURCEW(templateId), owner, procedure, param);
}

void enableControl(HWND dialog, int control, bool on) {
  if (HWND c = GetDlgItem(dialog, control)) EnableWindow(c, on ? TRUE : FALSE);
}

}  // namespace card::cfg
