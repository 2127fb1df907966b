// The serial and parallel ports an administrator adds to the monitor: their
// time-outs, the device behind them, and the system's default line
// configuration of a serial device.
//
// The spooler points a port's DOS name ("COM1") at its own pipe while it
// owns the port, so the monitor reaches the real device under a name of its
// own: "NONSPOOLED_COM1", defined for the device's current target and
// removed again when the last user lets the device go.
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>
#include <strsafe.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "netmon/entry_points.h"
#include "netmon/port_admin.h"

namespace card::net {

namespace {

constexpr WCHAR kNonSpooledPrefix[] = TEXT("NONSPOOLED_");
constexpr WCHAR kSpoolerPipePrefix[] = TEXT("\\Device\\NamedPipe\\Spooler\\");
constexpr DWORD kSerialReadIntervalMs = 200;
constexpr DWORD kSerialReadTotalMs = 5000;
// Bounds of what is asked of the system: a device's list of targets, and a
// configuration block far beyond any provider's.
constexpr DWORD kMaxTargetChars = 32768;
constexpr DWORD kMaxCommConfigBytes = 65536;

// "COM1:" -> "COM1".
WString deviceName(const WString &portName) {
  WString d = portName;
  if (!d.empty() && d.back() == TEXT(':')) d.pop_back();
  return d;
}

// The device's current target, skipping the spooler's own pipe for the
// port; 0 or the system's error.
DWORD currentTarget(const WString &device, const WString &portName, WString &target) {
  std::vector<WCHAR> list(1024);
  for (;;) {
    if (QueryDosDeviceW(device.c_str(), list.data(), DWORD(list.size()))) break;
    const DWORD e = GetLastError();
    if (e != ERROR_INSUFFICIENT_BUFFER || list.size() >= kMaxTargetChars) return e ? e : ERROR_FILE_NOT_FOUND;
    list.resize(std::min<size_t>(list.size() * 4, kMaxTargetChars));
  }
  const WString pipeOfPort = WString(kSpoolerPipePrefix) + portName;
  const WString pipeOfDevice = WString(kSpoolerPipePrefix) + device;
  // Most recent definition first; the list ends with an empty string.
  for (const WCHAR *t = list.data(); *t && t < list.data() + list.size(); t += lstrlenW(t) + 1) {
    if (lstrcmpiW(t, pipeOfPort.c_str()) == 0 || lstrcmpiW(t, pipeOfDevice.c_str()) == 0) continue;
    target = t;
    return ERROR_SUCCESS;
  }
  return ERROR_FILE_NOT_FOUND;
}

// The device's time-outs: the read ones of a serial line, or the write
// time-out of a printer on a parallel port.  The device works without them,
// so a device that takes none is still used.
void setDeviceTimeouts(HANDLE device, bool serial) {
  COMMTIMEOUTS t{};
  if (!GetCommTimeouts(device, &t)) t = COMMTIMEOUTS{};
  if (serial) {
    t.ReadIntervalTimeout = kSerialReadIntervalMs;
    t.ReadTotalTimeoutConstant = kSerialReadTotalMs;
  }
  // The monitor's write time-out: what the system allows a printer to
  // take before a transmission counts as failed.
  t.WriteTotalTimeoutConstant = transmissionRetryTimeout() * 1000;
  SetCommTimeouts(device, &t);
}

// Under the global lock, as the spooler's own identity.
DWORD openDevice(PortEntry &entry) {
  const WString device = deviceName(entry.name);
  WString target;
  if (DWORD e = currentTarget(device, entry.name, target)) return e;
  const WString own = WString(kNonSpooledPrefix) + device;
  if (!DefineDosDeviceW(DDD_RAW_TARGET_PATH, own.c_str(), target.c_str()))
    return GetLastError() ? GetLastError() : ERROR_INVALID_NAME;
  const WString path = TEXT("\\\\.\\") + own;
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DefineDosDeviceW(DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, own.c_str(),
                     target.c_str());
    return ERROR_PRINTER_NOT_FOUND;
  }
  const bool serial = isSerialPortName(entry.name);
  // The line settings an administrator gave the port; a port without any
  // keeps the system's.
  WString settings;
  if (serial && entry.monitor && readPortsValue(*entry.monitor, entry.name.c_str(), settings) && !settings.empty()) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (GetCommState(h, &dcb) && BuildCommDCBW(settings.c_str(), &dcb)) SetCommState(h, &dcb);
  }
  setDeviceTimeouts(h, serial);
  entry.device = h;
  entry.state |= kStateDeviceOpen;
  return ERROR_SUCCESS;
}

// A block the system's configuration calls can take as a COMMCONFIG: the
// transceive buffers need not be aligned.
std::vector<DWORD> alignedBlock(DWORD bytes) { return std::vector<DWORD>((bytes + 3) / 4 + 1, 0); }

}  // namespace

DWORD openPortDevice(PortEntry &entry) {
  if (!isSerialPortName(entry.name) && !isParallelPortName(entry.name)) return ERROR_INVALID_PARAMETER;
  MonitorLock lock;
  if (entry.useCount > 0 && entry.device != INVALID_HANDLE_VALUE) {
    ++entry.useCount;
    return ERROR_SUCCESS;
  }
  HANDLE client = RevertToPrinterSelf();
  const DWORD e = openDevice(entry);
  if (client) ImpersonatePrinterClient(client);
  if (e == ERROR_SUCCESS) ++entry.useCount;
  return e;
}

void releasePortDevice(PortEntry &entry) {
  MonitorLock lock;
  if (entry.useCount > 0) --entry.useCount;
  if (entry.useCount > 0 || entry.device == INVALID_HANDLE_VALUE) return;
  CloseHandle(entry.device);
  entry.device = INVALID_HANDLE_VALUE;
  entry.state &= ~kStateDeviceOpen;
  // The most recent definition of the name is the one this monitor made.
  const WString own = WString(kNonSpooledPrefix) + deviceName(entry.name);
  HANDLE client = RevertToPrinterSelf();
  DefineDosDeviceW(DDD_REMOVE_DEFINITION, own.c_str(), nullptr);
  if (client) ImpersonatePrinterClient(client);
}

BOOL WINAPI setPortTimeOuts(HANDLE port, LPCOMMTIMEOUTS timeouts, DWORD reserved) {
  PortEntry *p = portFromHandle(port);
  if (!p) return FALSE;
  if (reserved != 0 || !timeouts) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // A serial port's device is opened for the call; any other port's must be
  // open already.
  const bool serial = isSerialPortName(p->name);
  if (serial) {
    if (DWORD e = openPortDevice(*p)) {
      SetLastError(e);
      return FALSE;
    }
  }
  BOOL ok = FALSE;
  DWORD error = ERROR_INVALID_PARAMETER;
  {
    MonitorLock lock;
    if ((p->state & kStateDeviceOpen) && p->device != INVALID_HANDLE_VALUE) {
      COMMTIMEOUTS t{};
      if (GetCommTimeouts(p->device, &t)) {
        t.ReadIntervalTimeout = timeouts->ReadIntervalTimeout;
        t.ReadTotalTimeoutConstant = timeouts->ReadTotalTimeoutConstant;
        ok = SetCommTimeouts(p->device, &t);
      }
      if (ok)
        p->state |= kStateTimeoutsSet;
      else
        error = GetLastError() ? GetLastError() : ERROR_INVALID_FUNCTION;
    }
  }
  if (serial) releasePortDevice(*p);
  if (!ok) SetLastError(error);
  return ok;
}

DWORD setDefaultCommConfig(const WString &device, const BYTE *input, DWORD inputSize) {
  if (!input || inputSize < kCommConfigBytes || inputSize > kMaxCommConfigBytes) return ERROR_INVALID_PARAMETER;
  std::vector<DWORD> block = alignedBlock(inputSize);
  std::memcpy(block.data(), input, inputSize);
  if (!SetDefaultCommConfigW(device.c_str(), reinterpret_cast<LPCOMMCONFIG>(block.data()), inputSize))
    return GetLastError() ? GetLastError() : ERROR_INVALID_PARAMETER;
  return ERROR_SUCCESS;
}

DWORD getDefaultCommConfig(const WString &device, BYTE *output, DWORD outputSize, DWORD &needed) {
  const DWORD room = std::min(outputSize, kMaxCommConfigBytes);
  std::vector<DWORD> block = alignedBlock(room);
  auto *cc = reinterpret_cast<LPCOMMCONFIG>(block.data());
  cc->dwSize = sizeof(COMMCONFIG);
  cc->dwProviderSubType = kSerialProviderSubtype;
  DWORD size = room;
  if (!GetDefaultCommConfigW(device.c_str(), cc, &size)) {
    const DWORD e = GetLastError() ? GetLastError() : ERROR_FILE_NOT_FOUND;
    if (e == ERROR_INSUFFICIENT_BUFFER) needed = size;
    return e;
  }
  std::memcpy(output, block.data(), std::min(size, room));
  needed = size;
  return ERROR_SUCCESS;
}

}  // namespace card::net
