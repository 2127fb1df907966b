// netmonwinecheck: the x64 network monitor installed under a real Win32
// spooler and administered through its transceive channel.
//
// Copies netmon.dll into the system directory, installs it with AddMonitorW
// as the package's installer does, opens ",XcvMonitor <monitor>" and sends the
// port administration commands with XcvDataW, then removes the monitor again.
// It runs under Wine (`./run test`); a calling convention, structure layout
// or export mistake of the Windows build shows here.  The expected values are
// the product's rules and Microsoft's documentation of the interfaces, never
// the module's own output; where the spooler at hand differs from the
// documentation, the check says so in a "note" line and keeps to the
// documentation.  Wine's spooler hands a monitor of this kind registry
// functions that are stubs, so that InitializePrintMonitor2, which must read
// its "Ports" key through them, fails there: under Wine the check then loads
// the monitor itself, as a spooler does, with registry functions that work,
// and sends the same commands to its table.
//
// Usage: netmonwinecheck [netmon.dll]  (a host or Windows path; by default
// the module of the build that made it).  One line per check, then
// "N passed, N failed"; exit code 1 on a failure.
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/wine/check_report.h"
#include "tests/wine/host_paths.h"

namespace {

using WString = std::basic_string<WCHAR>;

using winecheck::check;
using winecheck::checkEq;
using winecheck::note;
using winecheck::underWine;
using winecheck::widen;
using winecheck::windowsPath;

// ------------------------------------------------------------ the product's names
const WCHAR kMonitorName[] = TEXT("Pellor Standard Network Language Monitor");
const WCHAR kMonitorFile[] = TEXT("netmon.dll");
const WCHAR kXcvName[] = TEXT(",XcvMonitor Pellor Standard Network Language Monitor");
const WCHAR kMonitorKey[] =
    TEXT("SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Pellor Standard Network Language Monitor");
const WCHAR kNewPort[] = TEXT("NETCARD_WINECHECK");
const WCHAR kWindowsKey[] = TEXT("Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows");
const WCHAR kRetryValue[] = TEXT("TransmissionRetryTimeout");
constexpr DWORD kDefaultRetrySeconds = 45;
// "cardcfgnet.dll" and its terminator.
constexpr DWORD kMonitorUiBytes = 30;

// ------------------------------------------------------------ transceive calls
struct Answer {
  BOOL delivered = FALSE;
  DWORD error = 0;  // of XcvDataW itself when not delivered
  DWORD status = 0xFFFFFFFF;
  DWORD needed = 0xFFFFFFFF;
  std::vector<BYTE> output;
};

std::vector<BYTE> text(const WCHAR *s, bool terminator = true) {
  const size_t chars = size_t(lstrlenW(s)) + (terminator ? 1 : 0);
  std::vector<BYTE> b(chars * sizeof(WCHAR));
  std::memcpy(b.data(), s, b.size());
  return b;
}

// Where the commands go: the spooler's XcvDataW on a printer handle, or the
// monitor's own XcvDataPort on its transceive handle.
struct Channel {
  HANDLE handle = nullptr;
  LPMONITOR2 table = nullptr;  // null: through the spooler
};

Answer xcv(const Channel &c, const WCHAR *command, std::vector<BYTE> input, DWORD outputSize) {
  Answer a;
  a.output.assign(outputSize + 4, 0xEE);
  BYTE *in = input.empty() ? nullptr : input.data();
  BYTE *out = outputSize ? a.output.data() : nullptr;
  if (c.table) {
    a.delivered = TRUE;
    a.status = c.table->pfnXcvDataPort(c.handle, command, in, DWORD(input.size()), out, outputSize, &a.needed);
    return a;
  }
  a.delivered = XcvDataW(c.handle, command, in, DWORD(input.size()), out, outputSize, &a.needed, &a.status);
  if (!a.delivered) a.error = GetLastError();
  return a;
}

DWORD dword(const Answer &a) {
  DWORD v = 0;
  std::memcpy(&v, a.output.data(), sizeof v);
  return v;
}

// "status 87, needed 4" for a failure line.
bool answered(const Answer &a, DWORD status, const char *what) {
  if (!a.delivered) return check(false, what, "XcvDataW failed with error %lu", a.error);
  return check(a.status == status, what, "status %lu, want %lu (needed %lu)", a.status, status, a.needed);
}

// ------------------------------------------------------------ installation
WString systemFile(const WCHAR *name) {
  WCHAR dir[MAX_PATH] = {};
  UINT n = GetSystemDirectoryW(dir, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return WString();
  return WString(dir) + TEXT("\\") + name;
}

bool copyMonitor(const WString &module) {
  const WString target = systemFile(kMonitorFile);
  return check(!target.empty() && CopyFileW(module.c_str(), target.c_str(), FALSE) != FALSE,
               "netmon.dll copied into the system directory", "error %lu", GetLastError());
}

// AddMonitorW as the installer calls it; false when the spooler could not
// start the monitor.
bool addMonitor() {
  // What an earlier run left behind goes first.
  DeleteMonitorW(nullptr, nullptr, const_cast<LPWSTR>(kMonitorName));
  MONITOR_INFO_2W info{};
  info.pName = const_cast<LPWSTR>(kMonitorName);
  info.pEnvironment = nullptr;  // the spooler's own
  info.pDLLName = const_cast<LPWSTR>(kMonitorFile);
  if (AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&info)))
    return check(true, "AddMonitorW installs the monitor (InitializePrintMonitor2 answers)");
  const DWORD error = GetLastError();
  if (!underWine())
    return check(false, "AddMonitorW installs the monitor (InitializePrintMonitor2 answers)", "error %lu", error);
  char text[300];
  std::snprintf(text, sizeof text,
                "AddMonitorW fails (error %lu): Wine's spooler gives monitors registry functions that are stubs, "
                "where Windows' read and write the monitor's key; the commands go to the monitor's table instead",
                error);
  note(text);
  return false;
}

HANDLE openXcv(ACCESS_MASK access) {
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, access};
  HANDLE h = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(kXcvName), &h, &defaults)) return nullptr;
  return h;
}

// ------------------------------------------------------------ the monitor loaded by the check
// The registry functions of a spooler that is not clustered: its handles
// are the registry's own keys.
HKEY keyOf(HANDLE h) { return reinterpret_cast<HKEY>(h); }
LONG WINAPI regCreateKey(HANDLE k, LPCWSTR sub, DWORD options, REGSAM sam, PSECURITY_ATTRIBUTES sa, PHANDLE out,
                         PDWORD disposition, HANDLE) {
  HKEY r = nullptr;
  LONG st = RegCreateKeyExW(keyOf(k), sub, 0, nullptr, options, sam, sa, &r, disposition);
  *out = reinterpret_cast<HANDLE>(r);
  return st;
}
LONG WINAPI regOpenKey(HANDLE k, LPCWSTR sub, REGSAM sam, PHANDLE out, HANDLE) {
  HKEY r = nullptr;
  LONG st = RegOpenKeyExW(keyOf(k), sub, 0, sam, &r);
  *out = reinterpret_cast<HANDLE>(r);
  return st;
}
LONG WINAPI regCloseKey(HANDLE k, HANDLE) { return RegCloseKey(keyOf(k)); }
LONG WINAPI regDeleteKey(HANDLE k, LPCWSTR sub, HANDLE) { return RegDeleteKeyW(keyOf(k), sub); }
LONG WINAPI regEnumKey(HANDLE k, DWORD i, LPWSTR name, PDWORD chars, PFILETIME t, HANDLE) {
  return RegEnumKeyExW(keyOf(k), i, name, chars, nullptr, nullptr, nullptr, t);
}
LONG WINAPI regQueryInfoKey(HANDLE k, PDWORD subKeys, PDWORD keyChars, PDWORD values, PDWORD valueChars,
                            PDWORD dataBytes, PDWORD sd, PFILETIME t, HANDLE) {
  return RegQueryInfoKeyW(keyOf(k), nullptr, nullptr, nullptr, subKeys, keyChars, nullptr, values, valueChars,
                          dataBytes, sd, t);
}
LONG WINAPI regSetValue(HANDLE k, LPCWSTR name, DWORD type, const BYTE *data, DWORD size, HANDLE) {
  return RegSetValueExW(keyOf(k), name, 0, type, data, size);
}
LONG WINAPI regDeleteValue(HANDLE k, LPCWSTR name, HANDLE) { return RegDeleteValueW(keyOf(k), name); }
// The value name's size is in bytes here, in characters in the registry's call.
LONG WINAPI regEnumValue(HANDLE k, DWORD i, LPWSTR name, PDWORD bytes, PDWORD type, PBYTE data, PDWORD size, HANDLE) {
  DWORD chars = *bytes / sizeof(WCHAR);
  LONG st = RegEnumValueW(keyOf(k), i, name, &chars, nullptr, type, data, size);
  *bytes = chars * sizeof(WCHAR);
  return st;
}
LONG WINAPI regQueryValue(HANDLE k, LPCWSTR name, PDWORD type, PBYTE data, PDWORD size, HANDLE) {
  return RegQueryValueExW(keyOf(k), name, nullptr, type, data, size);
}

struct LoadedMonitor {
  HMODULE module = nullptr;
  HKEY root = nullptr;
  MONITORREG reg{};
  MONITORINIT init{};
  HANDLE handle = nullptr;
  LPMONITOR2 table = nullptr;
};

bool loadMonitor(LoadedMonitor &m) {
  m.module = LoadLibraryW(systemFile(kMonitorFile).c_str());
  if (!check(m.module != nullptr, "netmon.dll loads from the system directory", "error %lu", GetLastError()))
    return false;
  using InitFn = LPMONITOR2(WINAPI *)(PMONITORINIT, PHANDLE);
  auto init =
      reinterpret_cast<InitFn>(reinterpret_cast<void (*)()>(GetProcAddress(m.module, "InitializePrintMonitor2")));
  if (!check(init != nullptr, "netmon.dll exports InitializePrintMonitor2")) return false;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kMonitorKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m.root, nullptr) !=
      ERROR_SUCCESS)
    return check(false, "the monitor's key can be made");
  m.reg = MONITORREG{sizeof(MONITORREG), regCreateKey, regOpenKey,     regCloseKey,  regDeleteKey, regEnumKey,
                     regQueryInfoKey,    regSetValue,  regDeleteValue, regEnumValue, regQueryValue};
  m.init = MONITORINIT{
      sizeof(MONITORINIT), reinterpret_cast<HANDLE>(&m), reinterpret_cast<HKEYMONITOR>(m.root), &m.reg, TRUE, nullptr};
  m.table = init(&m.init, &m.handle);
  if (!check(m.table != nullptr, "InitializePrintMonitor2 gives its table", "error %lu", GetLastError())) return false;
  // A spooler of Windows 2000 or later reads the table up to Shutdown.
  check(m.table->cbSize == MONITOR2_SIZE_WIN2K && m.table->pfnXcvOpenPort && m.table->pfnXcvDataPort &&
            m.table->pfnXcvClosePort && m.table->pfnShutdown && m.table->pfnAddPortEx,
        "... of the Windows 2000 size, with the transceive entries", "cbSize %lu", m.table->cbSize);
  return true;
}

void unloadMonitor(LoadedMonitor &m) {
  if (m.table && m.table->pfnShutdown) m.table->pfnShutdown(m.handle);
  if (m.root) {
    RegDeleteKeyW(m.root, TEXT("Ports"));
    RegCloseKey(m.root);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kMonitorKey);
  }
  if (m.module) FreeLibrary(m.module);
}

// ------------------------------------------------------------ the checks
void checkAccess(const Channel &user) {
  Answer a = xcv(user, TEXT("AddPort"), text(kNewPort), 0);
  answered(a, ERROR_ACCESS_DENIED, "\"AddPort\" without the right to administer the server is denied");
  a = xcv(user, TEXT("MonitorUI"), {}, kMonitorUiBytes);
  answered(a, ERROR_SUCCESS, "\"MonitorUI\" needs no right to administer");
}

void checkMonitorUi(const Channel &admin) {
  Answer a = xcv(admin, TEXT("MonitorUI"), {}, kMonitorUiBytes - 1);
  if (answered(a, ERROR_INSUFFICIENT_BUFFER, "\"MonitorUI\" into 29 bytes asks for more"))
    check(a.needed == kMonitorUiBytes && a.output[0] == 0xEE, "... for 30 bytes, and writes nothing",
          "needed %lu, first byte 0x%02x", a.needed, a.output[0]);
  a = xcv(admin, TEXT("MonitorUI"), {}, kMonitorUiBytes);
  if (answered(a, ERROR_SUCCESS, "\"MonitorUI\" answers"))
    check(lstrcmpW(reinterpret_cast<const WCHAR *>(a.output.data()), TEXT("cardcfgnet.dll")) == 0 &&
              a.needed == kMonitorUiBytes && a.output[kMonitorUiBytes] == 0xEE,
          "... \"cardcfgnet.dll\" in 30 bytes", "needed %lu", a.needed);
  a = xcv(admin, TEXT("NoSuchCommand"), {}, 0);
  answered(a, ERROR_INVALID_PARAMETER, "an unknown command is ERROR_INVALID_PARAMETER");
}

void checkPortQuestions(const Channel &admin) {
  // Every spooler has "FILE:"; the new port's name is nobody's yet.
  Answer a = xcv(admin, TEXT("PortExists"), text(TEXT("FILE:")), 4);
  if (answered(a, ERROR_SUCCESS, "\"PortExists\" of FILE: answers"))
    check(dword(a) == TRUE && a.needed == 4, "... TRUE in 4 bytes", "%lu, needed %lu", dword(a), a.needed);
  a = xcv(admin, TEXT("PortExists"), text(kNewPort), 4);
  if (answered(a, ERROR_SUCCESS, "\"PortExists\" of an unknown port answers"))
    check(dword(a) == FALSE, "... FALSE", "%lu", dword(a));
  a = xcv(admin, TEXT("PortExists"), text(TEXT("FILE:")), 3);
  if (answered(a, ERROR_INSUFFICIENT_BUFFER, "\"PortExists\" into 3 bytes asks for more"))
    check(a.needed == 4, "... for 4 bytes", "needed %lu", a.needed);
  a = xcv(admin, TEXT("PortIsValid"), text(TEXT("COM1:")), 0);
  answered(a, ERROR_SUCCESS, "\"PortIsValid\" of COM1: is valid");
  a = xcv(admin, TEXT("PortIsValid"), text(TEXT("com1:")), 0);
  answered(a, ERROR_SUCCESS, "\"PortIsValid\" of com1: is valid");
  a = xcv(admin, TEXT("GetDefaultCommConfig"), text(TEXT("COM1")), 51);
  if (answered(a, ERROR_INSUFFICIENT_BUFFER, "\"GetDefaultCommConfig\" into 51 bytes asks for more"))
    check(a.needed == 52, "... for 52 bytes", "needed %lu", a.needed);
  a = xcv(admin, TEXT("GetDefaultCommConfig"), text(TEXT("COM1")), 256);
  if (answered(a, ERROR_SUCCESS, "\"GetDefaultCommConfig\" of COM1 answers")) {
    COMMCONFIG cc;
    std::memcpy(&cc, a.output.data(), sizeof cc);
    check(cc.dwProviderSubType == PST_RS232 && cc.dcb.DCBlength == sizeof(DCB) && a.needed >= sizeof(COMMCONFIG),
          "... a serial line's configuration", "subtype %lu, DCB length %lu, needed %lu", cc.dwProviderSubType,
          cc.dcb.DCBlength, a.needed);
  }
}

// The value as it was, to put back; false when there was none.
bool savedRetryTimeout(WString &saved) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kWindowsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  WCHAR value[64] = {};
  DWORD type = 0, size = sizeof value - sizeof(WCHAR);
  LONG st = RegQueryValueExW(key, kRetryValue, nullptr, &type, reinterpret_cast<BYTE *>(value), &size);
  RegCloseKey(key);
  if (st != ERROR_SUCCESS) return false;
  saved = value;
  return true;
}

void restoreRetryTimeout(bool had, const WString &saved) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kWindowsKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
  if (had)
    RegSetValueExW(key, kRetryValue, 0, REG_SZ, reinterpret_cast<const BYTE *>(saved.c_str()),
                   DWORD((saved.size() + 1) * sizeof(WCHAR)));
  else
    RegDeleteValueW(key, kRetryValue);
  RegCloseKey(key);
}

void checkRetryTimeout(const Channel &admin) {
  WString saved;
  const bool had = savedRetryTimeout(saved);
  // Checked from the default: a value a Windows installation keeps there is
  // put back at the end.
  restoreRetryTimeout(false, saved);
  Answer a = xcv(admin, TEXT("GetTransmissionRetryTimeout"), {}, 4);
  if (answered(a, ERROR_SUCCESS, "\"GetTransmissionRetryTimeout\" answers"))
    check(dword(a) == kDefaultRetrySeconds && a.needed == 4, "... 45 s when the system has no value", "%lu, needed %lu",
          dword(a), a.needed);
  a = xcv(admin, TEXT("ConfigureLPTPortCommandOK"), text(TEXT("60")), 0);
  answered(a, ERROR_SUCCESS, "\"ConfigureLPTPortCommandOK\" writes 60 s");
  a = xcv(admin, TEXT("GetTransmissionRetryTimeout"), {}, 4);
  if (answered(a, ERROR_SUCCESS, "\"GetTransmissionRetryTimeout\" answers again"))
    check(dword(a) == 60, "... 60 s", "%lu", dword(a));
  restoreRetryTimeout(had, saved);
}

// The new port's value in the monitor's "Ports" key.
bool portsValue(DWORD &type, DWORD &size) {
  HKEY key = nullptr;
  const WString ports = WString(kMonitorKey) + TEXT("\\Ports");
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, ports.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  BYTE data[64];
  size = sizeof data;
  LONG st = RegQueryValueExW(key, kNewPort, nullptr, &type, data, &size);
  RegCloseKey(key);
  return st == ERROR_SUCCESS;
}

void checkAddAndDelete(const Channel &admin) {
  Answer a = xcv(admin, TEXT("AddPort"), text(kNewPort, false), 0);
  answered(a, ERROR_INVALID_PARAMETER, "\"AddPort\" whose size leaves out the terminator is refused");
  a = xcv(admin, TEXT("AddPort"), text(TEXT("FILE:")), 0);
  answered(a, ERROR_ALREADY_EXISTS, "\"AddPort\" of a port the system lists is ERROR_ALREADY_EXISTS");
  a = xcv(admin, TEXT("AddPort"), text(kNewPort), 0);
  if (!answered(a, ERROR_SUCCESS, "\"AddPort\" adds a port")) return;
  DWORD type = 0, size = 0;
  check(portsValue(type, size) && type == REG_SZ && size == sizeof(WCHAR),
        "... with an empty REG_SZ value of its name in the monitor's \"Ports\" key", "type %lu, %lu bytes", type, size);
  a = xcv(admin, TEXT("AddPort"), text(kNewPort), 0);
  answered(a, ERROR_ALREADY_EXISTS, "... once");
  a = xcv(admin, TEXT("DeletePort"), text(kNewPort), 0);
  answered(a, ERROR_SUCCESS, "\"DeletePort\" deletes it");
  check(!portsValue(type, size), "... and its \"Ports\" value");
  a = xcv(admin, TEXT("DeletePort"), text(kNewPort), 0);
  answered(a, ERROR_FILE_NOT_FOUND, "\"DeletePort\" of a port no more there is ERROR_FILE_NOT_FOUND");
}

}  // namespace

int main(int argc, char **argv) {
  WString module = windowsPath(NETMON_DLL);
  if (argc == 2)
    module = windowsPath(argv[1]);
  else if (argc != 1) {
    std::fprintf(stderr, "usage: netmonwinecheck [netmon.dll]\n");
    return 2;
  }
  std::setvbuf(stdout, nullptr, _IONBF, 0);

  // Every check against every command, on one channel.
  auto checkAll = [](const Channel &admin, const Channel &user) {
    checkMonitorUi(admin);
    checkPortQuestions(admin);
    checkRetryTimeout(admin);
    checkAddAndDelete(admin);
    checkAccess(user);
  };
  if (copyMonitor(module)) {
    if (addMonitor()) {
      HANDLE admin = openXcv(SERVER_ACCESS_ADMINISTER);
      HANDLE user = openXcv(SERVER_ACCESS_ENUMERATE);
      if (check(admin && user, "OpenPrinterW on \",XcvMonitor\" with and without SERVER_ACCESS_ADMINISTER", "error %lu",
                GetLastError()))
        checkAll(Channel{admin, nullptr}, Channel{user, nullptr});
      if (admin) ClosePrinter(admin);
      if (user) ClosePrinter(user);
      check(DeleteMonitorW(nullptr, nullptr, const_cast<LPWSTR>(kMonitorName)) != FALSE,
            "DeleteMonitorW removes the monitor", "error %lu", GetLastError());
    } else if (underWine()) {
      LoadedMonitor m;
      if (loadMonitor(m)) {
        HANDLE admin = nullptr, user = nullptr;
        check(m.table->pfnXcvOpenPort(m.handle, nullptr, SERVER_ACCESS_ADMINISTER, &admin) &&
                  m.table->pfnXcvOpenPort(m.handle, nullptr, SERVER_ACCESS_ENUMERATE, &user),
              "XcvOpenPort with and without SERVER_ACCESS_ADMINISTER", "error %lu", GetLastError());
        if (admin && user) checkAll(Channel{admin, m.table}, Channel{user, m.table});
        if (admin) check(m.table->pfnXcvClosePort(admin) != FALSE, "XcvClosePort");
        if (user) m.table->pfnXcvClosePort(user);
      }
      unloadMonitor(m);
    }
  }
  DeleteFileW(systemFile(kMonitorFile).c_str());

  return winecheck::finish();
}
