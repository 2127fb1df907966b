#include "config/raw_channel.h"

#include <winspool.h>

#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "config/printer_access.h"
#include "config/reply_display.h"
#include "config/ui_common.h"
#include "shared/query_command.h"
#include "shared/wide_string.h"

namespace card::cfg {

namespace {

// Escape command value names: room for the longest tool command, a direct
// encoding of all three tracks (about 250 bytes); the monitors read names of
// up to 512 bytes.
constexpr size_t kNameUnits = 256;
constexpr size_t kSetNameReply = 260;           // reply buffer of "SetPrinterName:%s"
constexpr size_t kPollReply = 128;              // completion and port status polls
constexpr size_t kFileChunk = 4096;             // file job reads
constexpr DWORD kSettleMs = 1000;               // before and after the completion wait
constexpr DWORD kPollMs = 100;                  // between completion polls
constexpr DWORD kPollLimitMs = 30 * 60 * 1000;  // a monitor stuck at "DOC_PENDING"

const WCHAR kSetPrinterName[] = TEXT("SetPrinterName:");

QueryResult getData(HANDLE printer, LPCWSTR valueName, size_t capacity) {
  QueryResult r;
  if (!printer) return r;
  std::vector<BYTE> reply(capacity + 1, 0);
  DWORD type = REG_BINARY, needed = 0;
  const DWORD st =
      GetPrinterDataW(printer, const_cast<LPWSTR>(valueName), &type, reply.data(), DWORD(capacity), &needed);
  if (st != ERROR_SUCCESS || needed > capacity) return r;
  r.succeeded = true;
  r.bytes.assign(reinterpret_cast<const char *>(reply.data()), needed);
  return r;
}

bool encodeName(std::string_view command, WCHAR (&name)[kNameUnits]) {
  return encodeQueryCommand(command.data(), command.size(), name, kNameUnits);
}

QueryResult askCommand(HANDLE printer, std::string_view command, size_t capacity) {
  WCHAR name[kNameUnits];
  if (!encodeName(command, name)) return {};
  return getData(printer, name, capacity);
}

WString fullName(HANDLE printer) {
  std::vector<BYTE> info;
  if (!printer || !printerInfo(printer, 2, info)) return {};
  const auto *pi = reinterpret_cast<const PRINTER_INFO_2W *>(info.data());
  return pi->pPrinterName ? WString(pi->pPrinterName) : WString();
}

HANDLE openByFullName(HANDLE current) {
  const WString name = fullName(current);
  return name.empty() ? nullptr : openPrinterByName(name.c_str());
}

void showFileProblem(ProblemSink &problems, const WString &caption, LPCWSTR text) {
  problems.problem(caption.c_str(), text, MB_OK | MB_ICONWARNING | MB_SYSTEMMODAL | MB_SETFOREGROUND | MB_TOPMOST);
}

// Whether the job is still waiting in the spooler's queue (or going to its
// port): until it has left, the monitor's answer to the completion poll
// belongs to the document before it.
bool stillQueued(HANDLE printer, DWORD jobId) {
  std::vector<BYTE> info;
  if (!jobInfo(printer, jobId, info) || info.size() < sizeof(JOB_INFO_1W)) return false;
  return !(reinterpret_cast<const JOB_INFO_1W *>(info.data())->Status &
           (JOB_STATUS_PRINTED | JOB_STATUS_DELETED | JOB_STATUS_COMPLETE));
}

// The monitor holds "DOC_PENDING" while the job is still going to the
// printer; a monitor that never lets go of it ends the wait after
// kPollLimitMs instead of blocking the dialog for good.  The poll starts
// once the job has left the queue: a second file sent right after a first
// would otherwise read the first one's "DOC_COMPLETE".
bool completionCheck(HANDLE printer, DWORD jobId) {
  Sleep(kSettleMs);
  DWORD waited = 0;
  for (; waited < kPollLimitMs && stillQueued(printer, jobId); waited += kPollMs) Sleep(kPollMs);
  for (; waited < kPollLimitMs; waited += kPollMs) {
    if (queryCommand(printer, "\x1bIsDOCComplete\r", kPollReply).bytes != "DOC_PENDING") break;
    Sleep(kPollMs);
  }
  Sleep(kSettleMs);
  const QueryResult status = queryCommand(printer,
                                          "\x1b"
                                          "CheckPortStatus\r",
                                          kPollReply);
  return status.succeeded && status.bytes == "STATUS_SUCCESS";
}

}  // namespace

void BoxProblems::problem(LPCWSTR caption, LPCWSTR text, UINT boxStyle) {
  MessageBoxW(owner_, text, caption, boxStyle);
}

void deleteStoredValue(HANDLE printer, LPCWSTR valueName) {
  const WString name = fullName(printer);
  if (name.empty() || !valueName) return;
  HKEY printers = nullptr, key = nullptr, data = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, TEXT("System\\CurrentControlSet\\control\\Print\\Printers"), 0, KEY_READ,
                    &printers) != ERROR_SUCCESS)
    return;
  if (RegOpenKeyExW(printers, name.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
    if (RegOpenKeyExW(key, TEXT("PrinterDriverData"), 0, KEY_SET_VALUE, &data) == ERROR_SUCCESS) {
      RegDeleteValueW(data, valueName);
      RegCloseKey(data);
    }
    RegCloseKey(key);
  }
  RegCloseKey(printers);
}

void deleteStoredCommand(HANDLE printer, std::string_view command) {
  WCHAR name[kNameUnits];
  if (encodeName(command, name)) deleteStoredValue(printer, name);
}

QueryResult queryCommand(HANDLE printer, std::string_view command, size_t capacity) {
  QueryResult r = askCommand(printer, command, capacity);
  if (r.succeeded) deleteStoredCommand(printer, command);
  return r;
}

QueryResult queryRequest(HANDLE printer, LPCWSTR request, size_t capacity) {
  QueryResult r = getData(printer, request, capacity);
  if (r.succeeded) deleteStoredValue(printer, request);
  return r;
}

QueryResult queryCurrentThenByName(HANDLE current, std::string_view command, size_t capacity) {
  QueryResult r = askCommand(current, command, capacity);
  if (!r.succeeded) {
    if (HANDLE h = openByFullName(current)) {
      r = askCommand(h, command, capacity);
      ClosePrinter(h);
    }
  }
  deleteStoredCommand(current, command);
  return r;
}

QueryResult queryByNameThenCurrent(HANDLE current, std::string_view command, size_t capacity) {
  QueryResult r;
  if (HANDLE h = openByFullName(current)) {
    r = askCommand(h, command, capacity);
    if (!r.succeeded) r = askCommand(h, command, capacity);
    ClosePrinter(h);
  } else {
    r = askCommand(current, command, capacity);
  }
  deleteStoredCommand(current, command);
  return r;
}

QueryResult monitorRequest(LPCWSTR rememberedName, HANDLE current, LPCWSTR request, size_t capacity) {
  HANDLE opened = rememberedName && *rememberedName ? openPrinterByName(rememberedName) : nullptr;
  HANDLE printer = opened ? opened : current;
  QueryResult r;
  if (!printer || !request) return r;
  const WString name = fullName(printer);
  if (!name.empty()) {
    const WString setName = WString(kSetPrinterName) + name;
    queryRequest(printer, setName.c_str(), kSetNameReply);
  }
  r = queryRequest(printer, request, capacity);
  if (opened) ClosePrinter(opened);
  return r;
}

DirectPrinting::DirectPrinting(HANDLE printer) : printer_(printer) {
  std::vector<BYTE> info;
  if (!printer_ || !printerInfo(printer_, 2, info)) return;
  auto *pi = reinterpret_cast<PRINTER_INFO_2W *>(info.data());
  saved_ = pi->Attributes;
  known_ = true;
  if (saved_ & PRINTER_ATTRIBUTE_DIRECT) return;
  pi->Attributes = saved_ | PRINTER_ATTRIBUTE_DIRECT;
  SetPrinterW(printer_, 2, info.data(), 0);
}

DirectPrinting::~DirectPrinting() {
  if (!known_) return;
  std::vector<BYTE> info;
  if (!printerInfo(printer_, 2, info)) return;
  auto *pi = reinterpret_cast<PRINTER_INFO_2W *>(info.data());
  if (pi->Attributes == saved_) return;
  pi->Attributes = saved_;
  SetPrinterW(printer_, 2, info.data(), 0);
}

bool sendFileJob(ProblemSink &problems, HANDLE current, LPCWSTR path, int kind) {
  if (!path || !*path) return false;
  const WString name = fullName(current);
  HANDLE opened = name.empty() ? nullptr : openPrinterByName(name.c_str());
  HANDLE printer = opened ? opened : current;
  bool ok = false;
  HANDLE file = INVALID_HANDLE_VALUE;
  if (!printer) {
    // Nothing to send to.
  } else if ((file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                 nullptr)) == INVALID_HANDLE_VALUE) {
    showFileProblem(problems, name, TEXT("Error opening file"));
  } else {
    LARGE_INTEGER size = {};
    std::vector<BYTE> buffer;
    bool haveBuffer = true;
    try {
      buffer.resize(kFileChunk);
    } catch (const std::bad_alloc &) {
      haveBuffer = false;
    }
    if (!GetFileSizeEx(file, &size)) {
      showFileProblem(problems, name, TEXT("Unable to obtain file size.Cannot continue with this file"));
    } else if (!haveBuffer) {
      showFileProblem(problems, name, TEXT("Failed to allocate memory"));
    } else {
      const std::u16string_view document = fileJobDocumentName(kind);
      const WString documentName(document.begin(), document.end());
      RawJob job(nullptr, printer, documentName.c_str(), nullptr);
      if (job.started()) {
        bool failed = false;
        for (;;) {
          std::fill(buffer.begin(), buffer.end(), BYTE(0));
          DWORD got = 0;
          if (!ReadFile(file, buffer.data(), DWORD(buffer.size()), &got, nullptr)) {
            failed = true;
            break;
          }
          if (got == 0) break;
          if (!job.write(buffer.data(), got)) {
            failed = true;
            break;
          }
        }
        const bool ended = job.finish();
        if (!failed && ended) ok = completionCheck(printer, job.jobId());
      }
    }
    CloseHandle(file);
  }
  if (opened) ClosePrinter(opened);
  return ok;
}

}  // namespace card::cfg
