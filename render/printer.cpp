// Reaching the printer from the driver: opening it by name, asking it
// questions through the spooler, and finding which ribbon and model a job
// prints on.
#include <windows.h>
#include <shlobj.h>
#include <shfolder.h>
#include <winspool.h>

#include <cstring>

#include "render/device.h"
#include "shared/proc_address.h"
#include "shared/query_command.h"
#include "shared/settings_ranges.h"
#include "shared/status_commands.h"

namespace card {

namespace {

constexpr DWORD kCacheReadLimit = 64 * 1024;  // the file holds two short lines
// The SDK's value of PRINTER_OPTION_NO_CACHE; some headers define it as 0.
constexpr DWORD kNoCache = 1;

// Finds `needle` in `text` (both 16-bit, `text` of length n); returns its index or -1.
long findWide(const WCHAR *text, size_t n, const char *needle) {
  size_t m = std::strlen(needle);
  for (size_t i = 0; i + m <= n; ++i) {
    size_t k = 0;
    while (k < m && text[i + k] == WCHAR(static_cast<unsigned char>(needle[k]))) ++k;
    if (k == m) return long(i);
  }
  return -1;
}

// The text between the first `open` and the next `close` of `s`, by the rule:
// without `open` from the start, without `close` to the end; neither: none.
bool between(const WCHAR *s, size_t n, WCHAR open, WCHAR close, size_t &from, size_t &to) {
  long o = -1, c = -1;
  for (size_t i = 0; i < n; ++i)
    if (s[i] == open) {
      o = long(i);
      break;
    }
  for (size_t i = o < 0 ? 0 : size_t(o) + 1; i < n; ++i)
    if (s[i] == close) {
      c = long(i);
      break;
    }
  if (o < 0 && c < 0) return false;
  from = o < 0 ? 0 : size_t(o) + 1;
  to = c < 0 ? n : size_t(c);
  return to > from;
}

bool append(WCHAR *dst, size_t capacity, size_t &len, const WCHAR *src, size_t n) {
  if (len + n + 1 > capacity) return false;
  std::memcpy(dst + len, src, n * sizeof(WCHAR));
  len += n;
  dst[len] = 0;
  return true;
}

bool appendAscii(WCHAR *dst, size_t capacity, size_t &len, const char *src) {
  for (; *src; ++src) {
    WCHAR c = WCHAR(static_cast<unsigned char>(*src));
    if (!append(dst, capacity, len, &c, 1)) return false;
  }
  return true;
}

// Reads the ribbon cache file that the language monitors keep for the driver.
bool readRibbonCache(PrinterAnswer &answer) {
  HMODULE shfolder = LoadLibraryW(TEXT("SHFolder.dll"));
  if (!shfolder) return false;
  auto getFolder = procAddress<PFNSHGETFOLDERPATHW>(shfolder, "SHGetFolderPathW");
  WCHAR path[MAX_PATH + 32] = {};
  bool ok = getFolder && SUCCEEDED(getFolder(nullptr, isVistaOrLater() ? CSIDL_COMMON_DOCUMENTS : CSIDL_COMMON_APPDATA,
                                             nullptr, SHGFP_TYPE_CURRENT, path));
  FreeLibrary(shfolder);
  if (!ok) return false;
  size_t len = size_t(lstrlenW(path));
  if (!appendAscii(path, sizeof path / sizeof path[0], len, "\\cardribbon.INI")) return false;
  HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD size = GetFileSize(f, nullptr);
  if (size == INVALID_FILE_SIZE || size > kCacheReadLimit) size = kCacheReadLimit;
  char *text = static_cast<char *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size + 1));
  DWORD got = 0;
  ok = text && ReadFile(f, text, size, &got, nullptr);
  CloseHandle(f);
  if (ok) parseRibbonCache(text, got, answer);
  if (text) HeapFree(GetProcessHeap(), 0, text);
  return ok;
}

// Model and ribbon queries on a printer handle.  True when both were answered.
bool askPrinter(HANDLE printer, PrinterAnswer &answer) {
  BYTE reply[128];
  DWORD len = 0;
  if (!queryCommand(printer, status::kCmdVersion, reply, len)) return false;
  char model[32] = {};
  bool haveModel = modelFromReply(reply, len, model);
  if (!queryCommand(printer, status::kCmdRibbon, reply, len)) return false;
  answer.ribbonCode = ribbonCodeFromReply(reply, len);
  if (haveModel) std::memcpy(answer.model, model, sizeof model);
  return true;
}

bool askPrinterNamed(LPCWSTR name, PrinterAnswer &answer, bool &opened) {
  HANDLE h = openPrinterByName(name);
  opened = h != nullptr;
  if (!h) return false;
  bool ok = askPrinter(h, answer);
  ClosePrinter(h);
  return ok;
}

}  // namespace

bool isVistaOrLater() {
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"), 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return false;
  WCHAR value[64] = {};
  DWORD size = sizeof value - sizeof(WCHAR), type = 0;
  LONG rc = RegQueryValueExW(key, TEXT("CurrentVersion"), nullptr, &type, reinterpret_cast<BYTE *>(value), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || type != REG_SZ) return false;
  return findWide(value, size_t(lstrlenW(value)), "6.") >= 0;
}

HANDLE openPrinterByName(LPCWSTR name) {
  const DWORD access[] = {0xF000C, PRINTER_ACCESS_ADMINISTER, PRINTER_ACCESS_USE};
  HANDLE h = nullptr;
  if (isVistaOrLater()) {
    HMODULE spool = LoadLibraryW(TEXT("WINSPOOL.DRV"));
    if (!spool) return nullptr;
    using OpenPrinter2Fn = BOOL(WINAPI *)(LPCWSTR, LPHANDLE, PPRINTER_DEFAULTSW, PPRINTER_OPTIONS);
    auto open2 = procAddress<OpenPrinter2Fn>(spool, "OpenPrinter2W");
    if (open2) {
      for (DWORD a : access) {
        PRINTER_DEFAULTSW defaults = {nullptr, nullptr, a};
        PRINTER_OPTIONS options = {8, kNoCache};
        if (open2(name, &h, &defaults, &options)) break;
        h = nullptr;
      }
    }
    FreeLibrary(spool);
    return h;
  }
  for (DWORD a : access) {
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, a};
    if (OpenPrinterW(const_cast<LPWSTR>(name), &h, &defaults)) return h;
    h = nullptr;
  }
  return nullptr;
}

bool printerNameOf(HANDLE printer, WCHAR *name, size_t capacity) {
  if (!name || capacity == 0) return false;
  name[0] = 0;
  DWORD needed = 0;
  GetPrinterW(printer, 2, nullptr, 0, &needed);
  if (!needed) return false;
  auto *info = static_cast<PRINTER_INFO_2W *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, needed));
  if (!info) return false;
  bool ok = GetPrinterW(printer, 2, reinterpret_cast<BYTE *>(info), needed, &needed) && info->pPrinterName &&
            size_t(lstrlenW(info->pPrinterName)) < capacity;
  if (ok) lstrcpynW(name, info->pPrinterName, int(capacity));
  HeapFree(GetProcessHeap(), 0, info);
  return ok;
}

bool clientSidePrinterPath(LPCWSTR name, WCHAR *path, size_t capacity) {
  if (!name || !path || capacity == 0) return false;
  path[0] = 0;
  size_t n = size_t(lstrlenW(name));
  size_t s0, s1, i0, i1;
  if (!between(name, n, TEXT('|'), TEXT('\\'), s0, s1)) return false;
  if (!between(name, n, TEXT('{'), TEXT('}'), i0, i1)) return false;

  WCHAR key[1024];
  size_t kl = 0;
  key[0] = 0;
  bool ok = appendAscii(key, 1024, kl,
                        "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Providers\\Client Side Rendering "
                        "Print Provider\\Servers\\") &&
            append(key, 1024, kl, name + s0, s1 - s0) &&
            appendAscii(key, 1024, kl, "\\Monitors\\Client Side Port\\{") &&
            append(key, 1024, kl, name + i0, i1 - i0) && appendAscii(key, 1024, kl, "}");
  if (!ok) return false;
  HKEY h;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  WCHAR value[261] = {};
  DWORD size = 260 * sizeof(WCHAR), type = 0;
  LONG rc = RegQueryValueExW(h, TEXT("PrinterPath"), nullptr, &type, reinterpret_cast<BYTE *>(value), &size);
  RegCloseKey(h);
  if (rc != ERROR_SUCCESS || type != REG_SZ) return false;
  size_t vl = size_t(lstrlenW(value));
  // The value holds "...\^\^\host^\share...": the host runs from the last
  // backslash of that marker to the next "^\", the share follows the marker up
  // to the next "^\".
  long m = findWide(value, vl, "\\^\\^\\");
  if (m < 0) return false;
  size_t hostFrom = size_t(m) + 5, hostTo = hostFrom;
  while (hostTo + 1 < vl && !(value[hostTo] == TEXT('^') && value[hostTo + 1] == TEXT('\\'))) ++hostTo;
  if (hostTo + 1 >= vl || hostTo == hostFrom) return false;
  size_t shareFrom = hostTo + 2, shareTo = shareFrom;
  while (shareTo < vl && !(shareTo + 1 < vl && value[shareTo] == TEXT('^') && value[shareTo + 1] == TEXT('\\')))
    ++shareTo;
  if (shareTo == shareFrom) return false;
  size_t pl = 0;
  return appendAscii(path, capacity, pl, "\\\\") && append(path, capacity, pl, value + hostFrom, hostTo - hostFrom) &&
         appendAscii(path, capacity, pl, "\\") && append(path, capacity, pl, value + shareFrom, shareTo - shareFrom);
}

bool queryCommand(HANDLE printer, std::string_view command, BYTE (&reply)[128], DWORD &length) {
  std::memset(reply, 0, sizeof reply);
  length = 0;
  WCHAR name[64];
  if (!encodeQueryCommand(command.data(), command.size(), name, 64)) return false;
  DWORD type = 0, needed = 0;
  DWORD rc = GetPrinterDataW(printer, name, &type, reply, sizeof reply, &needed);
  if (rc != ERROR_SUCCESS) {
    std::memset(reply, 0, sizeof reply);
    return false;
  }
  length = needed < sizeof reply ? needed : DWORD(sizeof reply);
  return true;
}

bool printerDefaultRecord(HANDLE printer, JobSettingsRecord &record) {
  if (!printer) return false;
  DWORD needed = 0;
  GetPrinterW(printer, 2, nullptr, 0, &needed);
  if (needed < sizeof(PRINTER_INFO_2W)) return false;
  auto *buffer = static_cast<BYTE *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, needed));
  if (!buffer) return false;
  bool ok = GetPrinterW(printer, 2, buffer, needed, &needed) != FALSE;
  const DEVMODEW *dm = ok ? reinterpret_cast<PRINTER_INFO_2W *>(buffer)->pDevMode : nullptr;
  const auto *at = reinterpret_cast<const BYTE *>(dm);
  // The DEVMODE is read no further than it claims nor beyond the buffer.
  ok = at && at >= buffer && at < buffer + needed;
  if (ok) {
    size_t available = claimedDevmodeSize(dm);
    if (available > size_t(buffer + needed - at)) available = size_t(buffer + needed - at);
    CardDevmode copy;
    ok = carriesRecord(dm, available) && copyDevmodeForRenderer(dm, available, copy) == kRecordSize;
    if (ok) record = copy.record;
  }
  HeapFree(GetProcessHeap(), 0, buffer);
  return ok;
}

void keepSettingsInRange(JobSettingsRecord &record, HANDLE printer) {
  if (recordInRange(record)) return;
  JobSettingsRecord fallback;
  repairRecord(record, printerDefaultRecord(printer, fallback) ? &fallback : nullptr);
}

void resolvePrinter(DeviceInstance &pdev, PrinterAnswer &answer) {
  answer = PrinterAnswer{};
  if (readRibbonCache(answer)) return;
  WCHAR name[MAX_PATH * 2];
  if (!printerNameOf(pdev.printer, name, sizeof name / sizeof name[0])) return;
  bool opened = false;
  PrinterAnswer a;
  if (askPrinterNamed(name, a, opened)) {
    answer = a;
    return;
  }
  WCHAR path[MAX_PATH * 2];
  if (!clientSidePrinterPath(name, path, sizeof path / sizeof path[0])) return;
  a = PrinterAnswer{};
  if (askPrinterNamed(path, a, opened)) answer = a;
}

}  // namespace card
