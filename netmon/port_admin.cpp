// Whether the system lists a port (the router's own port enumeration), the
// monitor's "Ports" values, and which port entries a job path holds.
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>
#include <strsafe.h>

#include <vector>

#include "netmon/port_admin.h"
#include "shared/proc_address.h"

namespace card::net {

namespace {

using EnumPortsFn = BOOL(WINAPI *)(LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);

// The router of the spooler the monitor runs in; loaded on the first lookup
// and kept, under the global lock.
HMODULE g_router = nullptr;
EnumPortsFn g_enumPorts = nullptr;

constexpr WCHAR kPortsKey[] = TEXT("Ports");

// The router's EnumPortsW, or null with the loader's error.
EnumPortsFn routerEnumPorts(DWORD &error) {
  {
    MonitorLock lock;
    if (g_enumPorts) return g_enumPorts;
  }
  WCHAR path[MAX_PATH];
  UINT n = GetSystemDirectoryW(path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH || FAILED(StringCchCatW(path, MAX_PATH, TEXT("\\SPOOLSS.DLL")))) {
    error = ERROR_PATH_NOT_FOUND;
    return nullptr;
  }
  // Loaded outside the lock: the loader has a lock of its own.
  HMODULE router = LoadLibraryW(path);
  if (!router) {
    error = GetLastError() ? GetLastError() : ERROR_MOD_NOT_FOUND;
    return nullptr;
  }
  auto fn = procAddress<EnumPortsFn>(router, "EnumPortsW");
  if (!fn) {
    error = ERROR_PROC_NOT_FOUND;
    FreeLibrary(router);
    return nullptr;
  }
  MonitorLock lock;
  if (g_enumPorts) {
    // Another thread got there first: one reference is enough.
    FreeLibrary(router);
    return g_enumPorts;
  }
  g_router = router;
  g_enumPorts = fn;
  return fn;
}

}  // namespace

DWORD systemListsPort(LPCWSTR name, bool &listed) {
  listed = false;
  if (!name) return ERROR_INVALID_PARAMETER;
  DWORD error = ERROR_SUCCESS;
  EnumPortsFn enumPorts = routerEnumPorts(error);
  if (!enumPorts) return error;
  // A port may come between the size query and the listing: ask again, a
  // bounded number of times.
  DWORD needed = 0;
  for (int attempt = 0; attempt < 4; ++attempt) {
    std::vector<BYTE> buffer(needed);
    DWORD count = 0;
    SetLastError(ERROR_SUCCESS);
    if (enumPorts(nullptr, 1, needed ? buffer.data() : nullptr, needed, &needed, &count)) {
      const auto *ports = reinterpret_cast<const PORT_INFO_1W *>(buffer.data());
      for (DWORD i = 0; i < count; ++i)
        if (ports[i].pName && lstrcmpiW(ports[i].pName, name) == 0) listed = true;
      return ERROR_SUCCESS;
    }
    DWORD e = GetLastError();
    if (e != ERROR_INSUFFICIENT_BUFFER) return e ? e : ERROR_GEN_FAILURE;
  }
  return ERROR_INSUFFICIENT_BUFFER;
}

void releasePortLookup() {
  HMODULE router = nullptr;
  {
    MonitorLock lock;
    router = g_router;
    g_router = nullptr;
    g_enumPorts = nullptr;
  }
  if (router) FreeLibrary(router);
}

LONG writePortsValue(const Monitor &m, LPCWSTR portName) {
  const MONITORINIT &init = m.init;
  if (!init.pMonitorReg || !portName) return ERROR_INVALID_PARAMETER;
  const MONITORREG &reg = *init.pMonitorReg;
  HANDLE key = nullptr;
  DWORD disposition = 0;
  LONG st = reg.fpCreateKey(init.hckRegistryRoot, kPortsKey, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key,
                            &disposition, init.hSpooler);
  if (st != ERROR_SUCCESS) return st;
  static const WCHAR kEmpty[1] = {0};
  st = reg.fpSetValue(key, portName, REG_SZ, reinterpret_cast<const BYTE *>(kEmpty), sizeof kEmpty, init.hSpooler);
  reg.fpCloseKey(key, init.hSpooler);
  return st;
}

LONG deletePortsValue(const Monitor &m, LPCWSTR portName) {
  const MONITORINIT &init = m.init;
  if (!init.pMonitorReg || !portName) return ERROR_INVALID_PARAMETER;
  const MONITORREG &reg = *init.pMonitorReg;
  HANDLE key = nullptr;
  LONG st = reg.fpOpenKey(init.hckRegistryRoot, kPortsKey, KEY_WRITE, &key, init.hSpooler);
  if (st != ERROR_SUCCESS) return st;
  st = reg.fpDeleteValue(key, portName, init.hSpooler);
  reg.fpCloseKey(key, init.hSpooler);
  return st;
}

namespace {

constexpr WCHAR kWindowsKey[] = TEXT("Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows");
constexpr WCHAR kRetryTimeoutValue[] = TEXT("TransmissionRetryTimeout");
// More digits than any number of seconds the write time-out can carry.
constexpr size_t kMaxSecondsDigits = 16;

std::u16string_view textView(const WString &s) { return {reinterpret_cast<const char16_t *>(s.data()), s.size()}; }

}  // namespace

DWORD transmissionRetryTimeout() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kWindowsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return kDefaultRetryTimeoutS;
  WCHAR text[kMaxSecondsDigits + 1] = {};
  DWORD type = 0, size = sizeof text - sizeof(WCHAR);  // room for a terminator the value may lack
  LONG st = RegQueryValueExW(key, kRetryTimeoutValue, nullptr, &type, reinterpret_cast<BYTE *>(text), &size);
  RegCloseKey(key);
  if (st != ERROR_SUCCESS || type != REG_SZ) return kDefaultRetryTimeoutS;
  text[size / sizeof(WCHAR)] = 0;
  return parseRetryTimeout(textView(WString(text)));
}

DWORD setTransmissionRetryTimeout(const WString &seconds) {
  // Only a number the readers take as it is: anything else would be read
  // back as the default without a word.
  if (seconds.empty() || seconds.size() > kMaxSecondsDigits) return ERROR_INVALID_PARAMETER;
  uint64_t value = 0;
  for (WCHAR c : seconds) {
    if (c < TEXT('0') || c > TEXT('9')) return ERROR_INVALID_PARAMETER;
    value = value * 10 + uint64_t(c - TEXT('0'));
  }
  // Beyond what the readers take, the write time-out in milliseconds would
  // not fit its 32 bits.
  if (parseRetryTimeout(textView(seconds)) != value) return ERROR_INVALID_PARAMETER;
  HKEY key = nullptr;
  LONG st = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kWindowsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                            nullptr, &key, nullptr);
  if (st != ERROR_SUCCESS) return DWORD(st);
  st = RegSetValueExW(key, kRetryTimeoutValue, 0, REG_SZ, reinterpret_cast<const BYTE *>(seconds.c_str()),
                      DWORD((seconds.size() + 1) * sizeof(WCHAR)));
  RegCloseKey(key);
  return DWORD(st);
}

bool readPortsValue(const Monitor &m, LPCWSTR portName, WString &text) {
  const MONITORINIT &init = m.init;
  if (!init.pMonitorReg || !portName) return false;
  const MONITORREG &reg = *init.pMonitorReg;
  HANDLE key = nullptr;
  if (reg.fpOpenKey(init.hckRegistryRoot, kPortsKey, KEY_READ, &key, init.hSpooler) != ERROR_SUCCESS) return false;
  // Line settings are short ("9600,n,8,1"); a longer value is no setting.
  WCHAR value[128] = {};
  DWORD type = 0, size = sizeof value - sizeof(WCHAR);
  LONG st = reg.fpQueryValue(key, portName, &type, reinterpret_cast<BYTE *>(value), &size, init.hSpooler);
  reg.fpCloseKey(key, init.hSpooler);
  if (st != ERROR_SUCCESS || type != REG_SZ) return false;
  value[size / sizeof(WCHAR)] = 0;
  text = value;
  return true;
}

bool inUseByJob(const PortEntry &entry) {
  // The spooler holds the entry as a port handle from OpenPortEx until
  // ClosePort; an open device is released by its user, not here.
  return (entry.state & (kStateJobPath | kStateJobStarted)) != 0 || entry.jobActive != 0 || entry.useCount > 0 ||
         entry.watcherThread != nullptr;
}

namespace {

bool devicePortName(const WString &name, const WCHAR (&prefix)[4]) {
  if (name.size() < 5 || name.back() != TEXT(':')) return false;
  WCHAR head[4] = {name[0], name[1], name[2], 0};
  return lstrcmpiW(head, prefix) == 0;
}

}  // namespace

bool isSerialPortName(const WString &name) { return devicePortName(name, TEXT("COM")); }
bool isParallelPortName(const WString &name) { return devicePortName(name, TEXT("LPT")); }

}  // namespace card::net
