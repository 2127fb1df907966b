// DOS device names (DefineDosDeviceW, QueryDosDeviceW), the serial and
// parallel ports they name, and the calls a port monitor makes on those:
// communication time-outs on an open device and each serial port's default
// configuration.  The machine has COM1 to COM4 and LPT1 to LPT3.  Bytes
// written to a device are taken and dropped: nothing is plugged into the
// machine's serial or parallel ports.
#include <map>
#include <vector>

#include "core/internal.h"
#include "kernel32/devices.h"

namespace winsim {

namespace {

struct DosName {
  std::u16string name;                  // as first defined
  std::vector<std::u16string> targets;  // most recent first
};

std::mutex g_devLock;
std::map<std::u16string, DosName> g_names;                        // by upper-case name
std::map<std::u16string, std::shared_ptr<CommDevice>> g_devices;  // by upper-case target
std::map<std::u16string, COMMCONFIG> g_defaultConfigs;            // by upper-case name, set ones only
std::map<std::u16string, std::u16string> g_driverDevices;         // by upper-case name: the target

bool startsWithNoCase(const std::u16string &s, const std::u16string &prefix) {
  return s.size() >= prefix.size() && equalsNoCase(s.substr(0, prefix.size()), prefix);
}
bool isSerialTarget(const std::u16string &t) { return startsWithNoCase(t, u"\\Device\\Serial"); }
bool isParallelTarget(const std::u16string &t) { return startsWithNoCase(t, u"\\Device\\Parallel"); }

void defineMachineDevices() {
  g_names.clear();
  g_devices.clear();
  g_defaultConfigs.clear();
  g_driverDevices.clear();
  for (int i = 0; i < 4; ++i) {
    std::u16string n = u"COM" + std::u16string(1, char16_t(u'1' + i));
    g_names[n] = DosName{n, {u"\\Device\\Serial" + std::u16string(1, char16_t(u'0' + i))}};
  }
  for (int i = 0; i < 3; ++i) {
    std::u16string n = u"LPT" + std::u16string(1, char16_t(u'1' + i));
    g_names[n] = DosName{n, {u"\\Device\\Parallel" + std::u16string(1, char16_t(u'0' + i))}};
  }
}

void resetDevices() {
  std::lock_guard<std::mutex> g(g_devLock);
  defineMachineDevices();
}
const ResetStep kDevices(kResetKernel + 5, resetDevices);

// The machine's devices are there from the start, before any reset.
struct InitialDevices {
  InitialDevices() { resetDevices(); }
} g_initialDevices;

// A serial port's name as the configuration calls take it: "COM1" or "COM1:".
std::u16string configName(LPCWSTR name) {
  std::u16string n = name ? name : u"";
  if (!n.empty() && n.back() == u':') n.pop_back();
  return upper(n);
}

// Whether `name` is a DOS name of a serial device; called with the lock held.
bool isSerialName(const std::u16string &upperName) {
  auto it = g_names.find(upperName);
  return it != g_names.end() && !it->second.targets.empty() && isSerialTarget(it->second.targets.front());
}

// The configuration a serial port has until one is set: 9600 baud, 8 data
// bits, no parity, one stop bit.
COMMCONFIG defaultConfig() {
  COMMCONFIG c{};
  c.dwSize = sizeof(COMMCONFIG);
  c.wVersion = 1;
  c.dcb.DCBlength = sizeof(DCB);
  c.dcb.BaudRate = CBR_9600;
  c.dcb.fBinary = 1;
  c.dcb.fDtrControl = DTR_CONTROL_ENABLE;
  c.dcb.fRtsControl = RTS_CONTROL_ENABLE;
  c.dcb.ByteSize = 8;
  c.dcb.Parity = NOPARITY;
  c.dcb.StopBits = ONESTOPBIT;
  c.dcb.XonChar = 0x11;
  c.dcb.XoffChar = 0x13;
  c.dwProviderSubType = PST_RS232;
  return c;
}

}  // namespace

std::shared_ptr<CommDevice> openCommDevice(const std::u16string &dosName, DWORD &error) {
  std::lock_guard<std::mutex> g(g_devLock);
  auto it = g_names.find(upper(dosName));
  if (it == g_names.end() || it->second.targets.empty()) {
    error = ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  const std::u16string &target = it->second.targets.front();
  if (!isSerialTarget(target) && !isParallelTarget(target)) {
    error = ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  auto &dev = g_devices[upper(target)];
  if (!dev) {
    dev = std::make_shared<CommDevice>();
    dev->target = target;
    dev->serial = isSerialTarget(target);
    // A serial line starts with the settings of a port nobody configured.
    dev->state = defaultConfig().dcb;
  }
  std::lock_guard<std::mutex> d(dev->lock);
  // A port serves one handle at a time, whichever of its names opened it.
  if (dev->open) {
    error = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  dev->open = true;
  error = ERROR_SUCCESS;
  return dev;
}

void closeCommDevice(CommDevice &device) {
  std::lock_guard<std::mutex> d(device.lock);
  device.open = false;
}

void defineDriverDevice(const std::u16string &name) {
  std::lock_guard<std::mutex> g(g_devLock);
  std::u16string target = u"\\Device\\" + name;
  g_names[upper(name)] = DosName{name, {target}};
  g_driverDevices[upper(name)] = target;
}

void removeDriverDevice(const std::u16string &name) {
  std::lock_guard<std::mutex> g(g_devLock);
  auto it = g_driverDevices.find(upper(name));
  if (it == g_driverDevices.end()) return;
  auto n = g_names.find(it->first);
  if (n != g_names.end() && !n->second.targets.empty() && n->second.targets.front() == it->second) g_names.erase(n);
  g_driverDevices.erase(it);
}

bool isDriverDevice(const std::u16string &dosName) {
  std::lock_guard<std::mutex> g(g_devLock);
  auto it = g_names.find(upper(dosName));
  if (it == g_names.end() || it->second.targets.empty()) return false;
  auto d = g_driverDevices.find(upper(dosName));
  return d != g_driverDevices.end() && it->second.targets.front() == d->second;
}

}  // namespace winsim

using namespace winsim;

extern "C" {

BOOL WINAPI DefineDosDeviceW(DWORD dwFlags, LPCWSTR lpDeviceName, LPCWSTR lpTargetPath) {
  if (!lpDeviceName || !*lpDeviceName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::u16string name = lpDeviceName, key = upper(name);
  std::u16string target = lpTargetPath ? lpTargetPath : u"";
  // A target that is a Windows path becomes its name in the object
  // namespace; a raw one is kept as given.
  if (!target.empty() && !(dwFlags & DDD_RAW_TARGET_PATH)) target = u"\\??\\" + target;
  std::lock_guard<std::mutex> g(g_devLock);
  if (!(dwFlags & DDD_REMOVE_DEFINITION)) {
    if (target.empty()) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    auto &entry = g_names[key];
    if (entry.name.empty()) entry.name = name;
    entry.targets.insert(entry.targets.begin(), target);
    return TRUE;
  }
  auto it = g_names.find(key);
  if (it == g_names.end()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  auto &targets = it->second.targets;
  auto victim = targets.end();
  if (!lpTargetPath || !*lpTargetPath) {
    // No target: the most recent definition goes.
    victim = targets.begin();
  } else {
    for (auto t = targets.begin(); t != targets.end() && victim == targets.end(); ++t) {
      bool match = (dwFlags & DDD_EXACT_MATCH_ON_REMOVE) ? equalsNoCase(*t, target) : startsWithNoCase(*t, target);
      if (match) victim = t;
    }
  }
  if (victim == targets.end()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  targets.erase(victim);
  if (targets.empty()) g_names.erase(it);
  return TRUE;
}

DWORD WINAPI QueryDosDeviceW(LPCWSTR lpDeviceName, LPWSTR lpTargetPath, DWORD ucchMax) {
  std::u16string out;
  {
    std::lock_guard<std::mutex> g(g_devLock);
    if (!lpDeviceName) {
      for (auto &kv : g_names) out += kv.second.name + u'\0';
    } else {
      auto it = g_names.find(upper(lpDeviceName));
      if (it == g_names.end()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
      }
      for (auto &t : it->second.targets) out += t + u'\0';
    }
  }
  out += u'\0';
  if (!lpTargetPath || ucchMax < out.size()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(lpTargetPath, out.data(), out.size() * sizeof(WCHAR));
  return DWORD(out.size());
}

BOOL WINAPI SetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts) {
  auto dev = commDeviceOf(hFile);
  if (!dev) return FALSE;
  if (!lpCommTimeouts) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::mutex> d(dev->lock);
  dev->timeouts = *lpCommTimeouts;
  return TRUE;
}

BOOL WINAPI GetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts) {
  auto dev = commDeviceOf(hFile);
  if (!dev) return FALSE;
  if (!lpCommTimeouts) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::mutex> d(dev->lock);
  *lpCommTimeouts = dev->timeouts;
  return TRUE;
}

BOOL WINAPI GetDefaultCommConfigW(LPCWSTR lpszName, LPCOMMCONFIG lpCC, LPDWORD lpdwSize) {
  if (!lpszName || !lpdwSize) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::u16string key = configName(lpszName);
  COMMCONFIG c;
  {
    std::lock_guard<std::mutex> g(g_devLock);
    if (!isSerialName(key)) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return FALSE;
    }
    auto it = g_defaultConfigs.find(key);
    c = it != g_defaultConfigs.end() ? it->second : defaultConfig();
  }
  if (!lpCC || *lpdwSize < sizeof(COMMCONFIG)) {
    *lpdwSize = sizeof(COMMCONFIG);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  *lpCC = c;
  *lpdwSize = sizeof(COMMCONFIG);
  return TRUE;
}

BOOL WINAPI SetDefaultCommConfigW(LPCWSTR lpszName, LPCOMMCONFIG lpCC, DWORD dwSize) {
  if (!lpszName || !lpCC || dwSize < sizeof(COMMCONFIG) || lpCC->dwSize < sizeof(COMMCONFIG) ||
      lpCC->dcb.DCBlength < sizeof(DCB)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::u16string key = configName(lpszName);
  std::lock_guard<std::mutex> g(g_devLock);
  if (!isSerialName(key)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  // The header and line settings are kept; provider data the serial
  // provider does not have is not.
  COMMCONFIG c = *lpCC;
  c.dwSize = sizeof(COMMCONFIG);
  c.dwProviderOffset = 0;
  c.dwProviderSize = 0;
  c.wcProviderData[0] = 0;
  g_defaultConfigs[key] = c;
  return TRUE;
}

}  // extern "C"
