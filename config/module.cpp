#include "config/module.h"

#include <strsafe.h>

#include <cstdarg>
#include <cstring>

#include "shared/proc_address.h"
#include "shared/query_command.h"
#include "shared/status_commands.h"

namespace card::cfg {

namespace {

ModuleState g_state;

// Functions of the system that the module binds when it needs them: some
// exist only on newer systems, and binding by name keeps the module's import
// table to the libraries every system has.  The structures they take are
// declared here with their documented layouts.
struct StartupInfo {
  DWORD cb;
  LPWSTR lpReserved;
  LPWSTR lpDesktop;
  LPWSTR lpTitle;
  DWORD dwX, dwY, dwXSize, dwYSize, dwXCountChars, dwYCountChars, dwFillAttribute, dwFlags;
  WORD wShowWindow;
  WORD cbReserved2;
  LPBYTE lpReserved2;
  HANDLE hStdInput, hStdOutput, hStdError;
};
struct ProcessInformation {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
};
// PRINTER_OPTIONS of OpenPrinter2W.
struct PrinterOptions {
  UINT cbSize;
  DWORD dwFlags;
};
constexpr DWORD kPrinterOptionNoCache = 1;
// PRINTER_INFO_3: the printer's security descriptor.
struct PrinterSecurity {
  PSECURITY_DESCRIPTOR pSecurityDescriptor;
};

using OpenPrinter2Fn = BOOL(WINAPI *)(LPCWSTR, LPHANDLE, PRINTER_DEFAULTSW *, PrinterOptions *);
using ActiveConsoleSessionFn = DWORD(WINAPI *)();
using QueryUserTokenFn = BOOL(WINAPI *)(ULONG, PHANDLE);
using DuplicateTokenExFn = BOOL(WINAPI *)(HANDLE, DWORD, LPSECURITY_ATTRIBUTES, int, int, PHANDLE);
using CreateEnvironmentBlockFn = BOOL(WINAPI *)(LPVOID *, HANDLE, BOOL);
using DestroyEnvironmentBlockFn = BOOL(WINAPI *)(LPVOID);
using CreateProcessAsUserFn = BOOL(WINAPI *)(HANDLE, LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL,
                                             DWORD, LPVOID, LPCWSTR, StartupInfo *, ProcessInformation *);
using StringToSecurityDescriptorFn = BOOL(WINAPI *)(LPCWSTR, DWORD, PSECURITY_DESCRIPTOR *, PULONG);
using MessageBoxFn = int(WINAPI *)(HWND, LPCWSTR, LPCWSTR, UINT);
using ActiveWindowFn = HWND(WINAPI *)();

constexpr DWORD kMaximumAllowed = 0x02000000;
constexpr int kSecurityImpersonation = 2;
constexpr int kTokenPrimary = 1;
constexpr DWORD kCreateUnicodeEnvironment = 0x00000400;
constexpr DWORD kSddlRevision1 = 1;
constexpr UINT kMbOk = 0, kMbIconWarning = 0x30, kMbIconInformation = 0x40, kMbSystemModal = 0x1000,
               kMbSetForeground = 0x10000, kMbTopmost = 0x40000;

template <typename F>
F systemFunction(LPCWSTR library, const char *name) {
  HMODULE m = GetModuleHandleW(library);
  if (!m) m = LoadLibraryW(library);
  return m ? procAddress<F>(m, name) : nullptr;
}

bool containsText(LPCWSTR text, LPCWSTR part) {
  if (!text || !part) return false;
  const int n = lstrlenW(text), k = lstrlenW(part);
  for (int i = 0; i + k <= n; ++i) {
    int j = 0;
    while (j < k && text[i + j] == part[j]) ++j;
    if (j == k) return true;
  }
  return false;
}

// The registry's CurrentVersion text ("6.3" on every system since Windows 8.1).
bool currentVersion(char *out, size_t capacity) {
  out[0] = 0;
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"), 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return false;
  WCHAR text[32] = {};
  DWORD type = 0, size = sizeof text - sizeof(WCHAR);
  LONG st = RegQueryValueExW(key, TEXT("CurrentVersion"), nullptr, &type, reinterpret_cast<BYTE *>(text), &size);
  RegCloseKey(key);
  if (st != ERROR_SUCCESS || type != REG_SZ) return false;
  size_t i = 0;
  for (; text[i] && i + 1 < capacity; ++i) out[i] = char(text[i]);
  out[i] = 0;
  return true;
}

bool processIs(LPCWSTR imageName) {
  WCHAR path[MAX_PATH] = {};
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return false;
  LPCWSTR base = path;
  for (LPCWSTR p = path; *p; ++p)
    if (*p == '\\' || *p == '/') base = p + 1;
  return lstrcmpiW(base, imageName) == 0;
}

bool reachedThroughServer(LPCWSTR name) { return name && name[0] == '\\' && name[1] == '\\'; }

bool fetch(BOOL (*call)(HANDLE, DWORD, LPBYTE, DWORD, LPDWORD, void *), HANDLE printer, DWORD level,
           std::vector<BYTE> &buffer, void *context) {
  DWORD needed = 0;
  buffer.clear();
  if (call(printer, level, nullptr, 0, &needed, context)) return true;
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0) return false;
  // The needed size goes into its own pointer-aligned buffer; the spooler
  // packs pointers and strings into it.
  buffer.assign(needed + sizeof(void *), 0);
  return call(printer, level, buffer.data(), needed, &needed, context) != FALSE;
}

}  // namespace

ModuleState &state() { return g_state; }

void resetState(HINSTANCE instance) {
  HMODULE resources = g_state.resources;
  std::memset(&g_state.working, 0, sizeof g_state.working);
  std::memset(&g_state.snapshot, 0, sizeof g_state.snapshot);
  std::memset(g_state.printerName, 0, sizeof g_state.printerName);
  std::memset(g_state.modelText, 0, sizeof g_state.modelText);
  g_state.current = nullptr;
  g_state.currentRecord = nullptr;
  g_state.printer = nullptr;
  g_state.instance = instance;
  g_state.resources = resources;
}

bool workingInitialised() { return g_state.working.signature == kRecordSignature; }

bool windowsSixOrLater() {
  char v[32];
  if (!currentVersion(v, sizeof v)) return false;
  int major = 0;
  for (const char *p = v; *p >= '0' && *p <= '9'; ++p) major = major * 10 + (*p - '0');
  return major >= 6;
}

bool windowsVersionIs(const char *prefix) {
  char v[32];
  return currentVersion(v, sizeof v) && std::strncmp(v, prefix, std::strlen(prefix)) == 0;
}

HANDLE openPrinterPlain(LPCWSTR name) {
  HANDLE h = nullptr;
  if (!name || !OpenPrinterW(const_cast<LPWSTR>(name), &h, nullptr)) return nullptr;
  return h;
}

// Most access first: the settings exchange writes the printer's default
// DEVMODE and its printer data, which needs the right to administer; a user
// without it still gets a handle for reading.
HANDLE openPrinterByName(LPCWSTR name) {
  if (!name) return nullptr;
  DWORD rights[3] = {PRINTER_ALL_ACCESS, PRINTER_ACCESS_ADMINISTER, PRINTER_ACCESS_USE};
  HANDLE h = nullptr;
  if (windowsSixOrLater()) {
    // Without the client-side cache, so that what was just written is read.
    HMODULE spool = LoadLibraryW(TEXT("WINSPOOL.DRV"));
    if (!spool) return nullptr;
    auto open2 = procAddress<OpenPrinter2Fn>(spool, "OpenPrinter2W");
    if (open2) {
      PrinterOptions options{8, kPrinterOptionNoCache};
      for (DWORD right : rights) {
        PRINTER_DEFAULTSW defaults{nullptr, nullptr, right};
        if (open2(name, &h, &defaults, &options)) break;
        h = nullptr;
      }
    }
    FreeLibrary(spool);
    return h;
  }
  // Windows 2000 refuses full access to a server's printer from most
  // processes, where default access still works.
  if (windowsVersionIs("5.0") && reachedThroughServer(name) && !processIs(TEXT("Explorer.exe")) &&
      !processIs(TEXT("spoolsv.exe")))
    rights[0] = 0;
  for (DWORD right : rights) {
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, right};
    if (OpenPrinterW(const_cast<LPWSTR>(name), &h, &defaults)) return h;
    h = nullptr;
  }
  return nullptr;
}

bool printerInfo(HANDLE printer, DWORD level, std::vector<BYTE> &buffer) {
  return fetch(
      [](HANDLE h, DWORD l, LPBYTE b, DWORD cb, LPDWORD n, void *) { return GetPrinterW(h, l, b, cb, n); }, printer,
      level, buffer, nullptr);
}

bool driverInfo(HANDLE printer, DWORD level, std::vector<BYTE> &buffer) {
  return fetch(
      [](HANDLE h, DWORD l, LPBYTE b, DWORD cb, LPDWORD n, void *) {
        return GetPrinterDriverW(h, nullptr, l, b, cb, n);
      },
      printer, level, buffer, nullptr);
}

const DEVMODEW *usableDefault(const std::vector<BYTE> &info2) {
  if (info2.size() < sizeof(PRINTER_INFO_2W)) return nullptr;
  const auto *pi = reinterpret_cast<const PRINTER_INFO_2W *>(info2.data());
  const auto *dm = reinterpret_cast<const BYTE *>(pi->pDevMode);
  const BYTE *begin = info2.data(), *end = begin + info2.size();
  if (!dm || dm < begin || dm >= end) return nullptr;
  return usablePrinterDefault(pi->pDevMode, size_t(end - dm)) ? pi->pDevMode : nullptr;
}

bool readValue(HANDLE printer, LPCWSTR name, DWORD &value) {
  DWORD type = 0, needed = 0, v = 0;
  DWORD st = GetPrinterDataExW(printer, CARDCFG_VALUE_KEY, name, &type, reinterpret_cast<BYTE *>(&v), sizeof v, &needed);
  if (st != ERROR_SUCCESS || needed != sizeof v) return false;
  value = v;
  return true;
}

bool writeValue(HANDLE printer, LPCWSTR name, DWORD value) {
  return SetPrinterDataExW(printer, CARDCFG_VALUE_KEY, name, REG_DWORD, reinterpret_cast<BYTE *>(&value),
                           sizeof value) == ERROR_SUCCESS;
}

bool queryPrinter(HANDLE printer, std::string_view command, BYTE *reply, size_t capacity, size_t &length) {
  length = 0;
  if (!printer) return false;
  WCHAR name[64];
  if (!encodeQueryCommand(command.data(), command.size(), name, std::size(name))) return false;
  DWORD type = 0, needed = 0;
  DWORD st = GetPrinterDataW(printer, name, &type, reply, DWORD(capacity), &needed);
  if (st != ERROR_SUCCESS || needed > capacity) return false;
  length = needed;
  return true;
}

const char *readModelText(HANDLE printer) {
  BYTE reply[kModelTextBytes];
  size_t n = 0;
  if (!queryPrinter(printer, status::kCmdVersion, reply, sizeof reply, n)) n = 0;
  modelTextFromReply(reply, n, g_state.modelText, sizeof g_state.modelText);
  return g_state.modelText;
}

PrinterEquipment queryEquipment(HANDLE printer) {
  PrinterEquipment eq;
  BYTE reply[32];
  size_t n = 0;
  if (!queryPrinter(printer, "\x1b!V 20\r", reply, sizeof reply, n)) return eq;
  readEncoderReply(reply, n, eq);
  BYTE ribbon[32];
  if (queryPrinter(printer, status::kCmdRibbon, ribbon, sizeof ribbon, n)) readRibbonReply(ribbon, n, eq);
  return eq;
}

namespace {

HANDLE openDataFile(HANDLE printer) {
  std::vector<BYTE> info;
  if (!printer || !driverInfo(printer, 2, info) || info.size() < sizeof(DRIVER_INFO_2W)) return INVALID_HANDLE_VALUE;
  const auto *di = reinterpret_cast<const DRIVER_INFO_2W *>(info.data());
  if (!di->pDataFile || !*di->pDataFile) return INVALID_HANDLE_VALUE;
  return CreateFileW(di->pDataFile, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

}  // namespace

bool readDefaultSettingsFile(HANDLE printer, BYTE *out, size_t capacity, size_t &length, bool &opened) {
  length = 0;
  HANDLE file = openDataFile(printer);
  opened = file != INVALID_HANDLE_VALUE;
  if (!opened) return false;
  bool ok = true;
  while (length < capacity) {
    DWORD got = 0;
    if (!ReadFile(file, out + length, DWORD(capacity - length), &got, nullptr)) {
      ok = false;
      break;
    }
    if (got == 0) break;
    length += got;
  }
  CloseHandle(file);
  return ok && length == capacity;
}

bool defaultSettingsFileOpens(HANDLE printer) {
  HANDLE file = openDataFile(printer);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

// Everyone may manage documents and the printer: card printers are shared by
// the people at a desk, who pause, resume and cancel each other's cards.
void initSecurity(LPCWSTR printerName) {
  HANDLE h = openPrinterPlain(printerName);
  if (!h) h = openPrinterByName(printerName);
  if (!h) {
    debugPrint(TEXT("InitSecurity: GetPrinter() failed:%d"), int(GetLastError()));
    return;
  }
  std::vector<BYTE> info;
  if (!printerInfo(h, 3, info)) {
    debugPrint(TEXT("InitSecurity: GetPrinter() failed:%d"), int(GetLastError()));
    ClosePrinter(h);
    return;
  }
  auto convert = systemFunction<StringToSecurityDescriptorFn>(
      TEXT("advapi32.dll"), "ConvertStringSecurityDescriptorToSecurityDescriptorW");
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!convert) SetLastError(ERROR_PROC_NOT_FOUND);
  if (!convert ||
      !convert(TEXT("D:(A;CIIO;RC;;;CO)(A;OIIO;GA;;;CO)(A;;LCSWSDRCWDWO;;;WD)(A;CIIO;GX;;;WD)(A;;LCSWSDRCWDWO;;;BA)"
                    "(A;OICIIO;GA;;;BA)(A;;LCSWSDRCWDWO;;;PU)(A;OICIIO;GA;;;PU)"),
               kSddlRevision1, &sd, nullptr)) {
    debugPrint(TEXT("InitSecurity: ConvertStringSecurityDescriptorToSecurityDescriptor() failed:%d"),
               int(GetLastError()));
    ClosePrinter(h);
    return;
  }
  PrinterSecurity security{sd};
  if (!SetPrinterW(h, 3, reinterpret_cast<BYTE *>(&security), 0))
    debugPrint(TEXT("InitSecurity: SetPrinter() failed:%d"), int(GetLastError()));
  LocalFree(sd);
  ClosePrinter(h);
}

void startTrayClient(LPCWSTR printerName) {
  auto activeSession = systemFunction<ActiveConsoleSessionFn>(TEXT("kernel32.dll"), "WTSGetActiveConsoleSessionId");
  auto userToken = systemFunction<QueryUserTokenFn>(TEXT("wtsapi32.dll"), "WTSQueryUserToken");
  auto duplicate = systemFunction<DuplicateTokenExFn>(TEXT("advapi32.dll"), "DuplicateTokenEx");
  auto createProcess = systemFunction<CreateProcessAsUserFn>(TEXT("advapi32.dll"), "CreateProcessAsUserW");
  auto createEnv = systemFunction<CreateEnvironmentBlockFn>(TEXT("userenv.dll"), "CreateEnvironmentBlock");
  auto destroyEnv = systemFunction<DestroyEnvironmentBlockFn>(TEXT("userenv.dll"), "DestroyEnvironmentBlock");
  if (!activeSession || !userToken || !duplicate || !createProcess) return;

  WCHAR program[MAX_PATH];
  UINT n = GetSystemDirectoryW(program, MAX_PATH);
  if (n == 0 || n >= MAX_PATH || FAILED(StringCchCatW(program, MAX_PATH, TEXT("\\notifytray.exe")))) return;
  // The tray client watches USB printers; for any other printer it is told
  // to end a copy that may still run.
  LPCWSTR argument = containsText(printerName, TEXT("USB")) ? printerName : TEXT("KillProcess");
  WCHAR commandLine[MAX_PATH + kPrinterNameChars + 8];
  if (FAILED(StringCchPrintfW(commandLine, std::size(commandLine), TEXT("\"%s\" %s"), program, argument))) return;

  HANDLE token = nullptr, primary = nullptr;
  if (!userToken(activeSession(), &token)) return;
  if (duplicate(token, kMaximumAllowed, nullptr, kSecurityImpersonation, kTokenPrimary, &primary)) {
    LPVOID environment = nullptr;
    if (createEnv && !createEnv(&environment, primary, FALSE)) environment = nullptr;
    StartupInfo si{};
    si.cb = sizeof si;
    WCHAR desktop[] = TEXT("winsta0\\default");
    si.lpDesktop = desktop;
    ProcessInformation pi{};
    if (createProcess(primary, program, commandLine, nullptr, nullptr, FALSE,
                      environment ? kCreateUnicodeEnvironment : 0, environment, nullptr, &si, &pi)) {
      CloseHandle(pi.hThread);
      CloseHandle(pi.hProcess);
    }
    if (environment && destroyEnv) destroyEnv(environment);
    CloseHandle(primary);
  }
  CloseHandle(token);
}

void serverVersionCheck(HANDLE printer, const PRINTER_INFO_2W *info) {
  if (!info || !info->pServerName || !*info->pServerName || windowsSixOrLater()) return;
  BYTE reply[64];
  size_t n = 0;
  if (!queryPrinter(printer, status::kQueryFileVersion, reply, sizeof reply, n) || n == 0) return;
  char version[64];
  modelTextFromReply(reply, n, version, sizeof version);
  if (version == status::kAnswerFileVersion) return;
  auto box = systemFunction<MessageBoxFn>(TEXT("user32.dll"), "MessageBoxW");
  if (!box) return;
  box(nullptr,
      TEXT("The Server driver version has changed,\nPlease delete and reinstall the shared printer on this computer\n"
           "Continuing with older versions may have undesireable result"),
      TEXT("Pellor Standard Printer"), kMbOk | kMbIconWarning | kMbSystemModal | kMbSetForeground | kMbTopmost);
}

int infoBox(HWND owner, LPCWSTR text) {
  auto box = systemFunction<MessageBoxFn>(TEXT("user32.dll"), "MessageBoxW");
  if (!box) return 0;
  return box(owner, text, TEXT(" Pellor Printer Settings "), kMbOk | kMbIconInformation);
}

int errorBox(UINT captionId, UINT textId, UINT flags) {
  auto box = systemFunction<MessageBoxFn>(TEXT("user32.dll"), "MessageBoxW");
  auto active = systemFunction<ActiveWindowFn>(TEXT("user32.dll"), "GetActiveWindow");
  if (!box) return 0;
  // The message library holds the same numbers and texts as this module's
  // own table, which stands in when the library is missing.
  HINSTANCE from = g_state.resources ? g_state.resources : g_state.instance;
  WCHAR caption[128] = {}, text[1024] = {};
  LoadStringW(from, captionId, caption, int(std::size(caption)));
  LoadStringW(from, textId, text, int(std::size(text)));
  return box(active ? active() : nullptr, text, caption, flags | kMbSystemModal | kMbSetForeground | kMbTopmost);
}

void debugPrint(LPCWSTR format, ...) {
  WCHAR text[512];
  va_list args;
  va_start(args, format);
  HRESULT hr = StringCchVPrintfW(text, std::size(text), format, args);
  va_end(args);
  if (SUCCEEDED(hr) || hr == STRSAFE_E_INSUFFICIENT_BUFFER) OutputDebugStringW(text);
}

}  // namespace card::cfg
