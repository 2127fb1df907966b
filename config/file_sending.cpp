#include "config/file_sending.h"

#include <shellapi.h>
#include <winspool.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "config/dialogs/files_ids.h"
#include "config/firmware_file.h"
#include "config/module_state.h"
#include "config/printer_access.h"
#include "config/ui_common.h"
#include "config/windows_version.h"
#include "shared/wide_string.h"

namespace card::cfg {

namespace {

constexpr size_t kRequestReply = 128;  // reply buffer of the file requests
constexpr size_t kImageChunk = 4096;   // firmware image reads
constexpr size_t kMessageChars = 256;

WString loadText(UINT id) {
  WCHAR text[kMessageChars] = {};
  LoadStringW(state().instance, id, text, int(std::size(text)));
  return text;
}

void reportProblem(ProblemSink &problems, UINT textId) {
  const WString caption = loadText(IDS_FILES_CAPTION), text = loadText(textId);
  problems.problem(caption.c_str(), text.c_str(), MB_OK | MB_ICONSTOP);
}

// The handle the request would go on: one opened by the remembered name
// (closed by the caller), else the current one.
struct TargetPrinter {
  HANDLE opened = nullptr, handle = nullptr;
  TargetPrinter(LPCWSTR rememberedName, HANDLE current) {
    if (rememberedName && *rememberedName) opened = openPrinterByName(rememberedName);
    handle = opened ? opened : current;
  }
  ~TargetPrinter() {
    if (opened) ClosePrinter(opened);
  }
  TargetPrinter(const TargetPrinter &) = delete;
  TargetPrinter &operator=(const TargetPrinter &) = delete;
};

// The printer's full name, and whether a print server holds it: the monitor
// that reads a file by path runs there, where this computer's files are not.
struct PrinterPlace {
  WString fullName;
  bool onServer = false;
};
PrinterPlace printerPlace(HANDLE printer) {
  PrinterPlace place;
  std::vector<BYTE> info;
  if (!printer || !printerInfo(printer, 2, info)) return place;
  const auto *pi = reinterpret_cast<const PRINTER_INFO_2W *>(info.data());
  if (pi->pPrinterName) place.fullName = pi->pPrinterName;
  place.onServer = !place.fullName.empty() && pi->pServerName && *pi->pServerName;
  return place;
}

bool request(LPCWSTR rememberedName, HANDLE current, LPCWSTR prefix, LPCWSTR path) {
  const WString text = WString(prefix) + path;
  return monitorRequest(rememberedName, current, text.c_str(), kRequestReply).succeeded;
}

// The firmware file opened for the image document, with its size; a file
// whose size does not fit the frame's four length bytes counts as one whose
// size cannot be had.
HANDLE openImage(ProblemSink &problems, LPCWSTR path, uint32_t &size) {
  HANDLE file =
      CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    reportProblem(problems, IDS_FW_OPEN_ERROR);
    return nullptr;
  }
  LARGE_INTEGER bytes = {};
  if (!GetFileSizeEx(file, &bytes) || bytes.QuadPart < 0 || bytes.QuadPart > LONGLONG(UINT32_MAX)) {
    reportProblem(problems, IDS_FW_SIZE_ERROR);
    CloseHandle(file);
    return nullptr;
  }
  size = uint32_t(bytes.QuadPart);
  return file;
}

// Header and length as one piece, the body in reads of up to kImageChunk
// bytes, then the end marker and CR.
bool writeImage(ProblemSink &problems, RawJob &job, HANDLE file, uint32_t size) {
  const auto header = firmwareImageHeader(size);
  if (!job.write(header.data(), header.size())) return false;
  std::vector<BYTE> buffer(kImageChunk);
  for (;;) {
    std::fill(buffer.begin(), buffer.end(), BYTE(0));
    DWORD got = 0;
    if (!ReadFile(file, buffer.data(), DWORD(buffer.size()), &got, nullptr)) {
      reportProblem(problems, IDS_FW_READ_ERROR);
      return false;
    }
    if (got == 0) break;
    if (!job.write(buffer.data(), got)) return false;
  }
  return job.write(kFirmwareImageTrailer.data(), kFirmwareImageTrailer.size());
}

// The firmware image as a tool document, for printers whose ribbon is
// chosen by hand.  The file is opened before the document starts, so that a
// file that cannot be read leaves no empty job behind.
bool writeImageDocument(ProblemSink &problems, const WString &printerName, HANDLE fallback, LPCWSTR path) {
  uint32_t size = 0;
  HANDLE file = openImage(problems, path, size);
  if (!file) return false;
  HANDLE opened = printerName.empty() ? nullptr : openPrinterByName(printerName.c_str());
  bool ok = false;
  {
    RawJob job(nullptr, opened ? opened : fallback, TEXT("XLINEVRNLFWDW"), TEXT("RAW"));
    if (job.started()) {
      ok = writeImage(problems, job, file, size);
      ok = job.finish() && ok;
    }
  }
  CloseHandle(file);
  if (opened) ClosePrinter(opened);
  return ok;
}

}  // namespace

bool sendFile(ProblemSink &problems, LPCWSTR rememberedName, HANDLE current, LPCWSTR path, FileKind kind) {
  if (!path || !*path) return false;
  TargetPrinter target(rememberedName, current);
  if (printerPlace(target.handle).onServer) return sendFileJob(problems, target.handle, path, kind);
  return request(rememberedName, current, kind == kCommandFile ? TEXT("sendcmds:") : TEXT("PrintFile:"), path);
}

bool downloadFirmware(ProblemSink &problems, LPCWSTR rememberedName, HANDLE current, LPCWSTR path) {
  if (!path || !*path) return false;
  TargetPrinter target(rememberedName, current);
  const PrinterPlace place = printerPlace(target.handle);
  if (place.onServer) return sendFileJob(problems, target.handle, path, kFirmwareFile);
  if (state().working.ribbonId != 0) return writeImageDocument(problems, place.fullName, target.handle, path);
  return request(rememberedName, current, TEXT("download:"), path);
}

void startTrayForSending() {
  if (!windowsSixOrLater()) return;
  // Only the mutex's existence matters: the least access asks the least of
  // its owner, and a mutex another user's copy holds answers "denied".
  if (HANDLE running = OpenMutexW(SYNCHRONIZE, FALSE, TEXT("Global\\notifytrayInstance"))) {
    CloseHandle(running);
    return;
  }
  if (GetLastError() == ERROR_ACCESS_DENIED) return;
  WCHAR program[MAX_PATH];
  const UINT n = GetSystemDirectoryW(program, MAX_PATH);
  const WCHAR name[] = TEXT("\\notifytray.exe");
  if (n == 0 || n + std::size(name) > MAX_PATH) return;
  for (size_t i = 0; i < std::size(name); ++i) program[n + i] = name[i];
  ShellExecuteW(nullptr, TEXT("open"), program, nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace card::cfg
