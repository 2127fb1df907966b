// Port administration: AddPortEx and the transceive interface the spooler
// opens for ",XcvMonitor" and ",XcvPort" handles (XcvOpenPort, XcvDataPort,
// XcvClosePort).  Every command answers with a Windows error code alone; a
// short output buffer is told the size it needs and nothing is written to it.
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "netmon/entry_points.h"
#include "netmon/monitor.h"
#include "netmon/port_admin.h"

namespace card::net {

namespace {

std::u16string_view view(LPCWSTR s) { return s ? std::u16string_view(reinterpret_cast<const char16_t *>(s)) : u""; }

WString toW(const std::u16string &s) { return WString(reinterpret_cast<const WCHAR *>(s.data()), s.size()); }

// The name a command carries: the UTF-16 text up to its terminator, which
// must lie within the input.
std::optional<WString> inputName(const BYTE *input, DWORD size) {
  auto name = nameFromInput(input, size);
  if (!name) return std::nullopt;
  return toW(*name);
}

void putDword(BYTE *output, DWORD value) { std::memcpy(output, &value, sizeof value); }

// The monitor's own entry of that name (compared without case), under the
// global lock.
PortEntry *findEntry(Monitor &m, const WString &name, bool skipJobEntries) {
  for (PortEntry *p = m.ports; p; p = p->next)
    if (lstrcmpiW(p->name.c_str(), name.c_str()) == 0 && !(skipJobEntries && inUseByJob(*p))) return p;
  return nullptr;
}

// A port added by an administrator: no port of the system nor of the
// monitor has the name yet.  `exists` is the answer to a name that does.
DWORD addPort(Monitor &m, const WString &name, DWORD exists) {
  if (DWORD e = checkPortName(view(name.c_str()))) return e;
  bool listed = false;
  if (DWORD e = systemListsPort(name.c_str(), listed)) return e;
  if (listed) return exists;
  PortEntry *entry = nullptr;
  {
    MonitorLock lock;
    if (findEntry(m, name, false)) return exists;
    entry = addPortEntry(&m, name.c_str());
    if (!entry) return GetLastError() ? GetLastError() : ERROR_NOT_ENOUGH_MEMORY;
  }
  // Written outside the lock: the spooler's registry needs none of ours.
  LONG st = writePortsValue(m, name.c_str());
  if (st != ERROR_SUCCESS) {
    // A port the next start would not know of is no port at all.
    removePortEntry(&m, entry);
    return DWORD(st);
  }
  return ERROR_SUCCESS;
}

DWORD deletePort(Monitor &m, const WString &name) {
  PortEntry *entry = nullptr;
  {
    MonitorLock lock;
    entry = findEntry(m, name, true);
    if (!entry) return ERROR_FILE_NOT_FOUND;
    removePortEntry(&m, entry);
  }
  LONG st = deletePortsValue(m, name.c_str());
  // A port the "IR" probe made has no value to delete.
  return st == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : DWORD(st);
}

// Any name other than the device names is a file the spooler would write.
DWORD fileCanBeWritten(const WString &name) {
  HANDLE f =
      CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND)
    f = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (f == INVALID_HANDLE_VALUE) return GetLastError() ? GetLastError() : ERROR_INVALID_NAME;
  CloseHandle(f);
  return ERROR_SUCCESS;
}

DWORD portIsValid(const WString &name) {
  if (name.empty()) return ERROR_INVALID_PARAMETER;
  if (portIsValidByName(view(name.c_str())) == PortValidity::Valid) return ERROR_SUCCESS;
  return fileCanBeWritten(name);
}

// What a command needs of its handle, copied under the global lock.
struct HandleView {
  Monitor *monitor = nullptr;
  ACCESS_MASK granted = 0;
  WString objectName;
};

bool viewHandle(HANDLE h, HandleView &out) {
  if (!h || !module().lockReady) return false;
  MonitorLock lock;
  for (Monitor *m = module().monitors; m; m = m->next)
    for (XcvHandle *x = m->xcvs; x; x = x->next)
      if (x == h && x->signature == kXcvSignature) {
        out.monitor = x->monitor;
        out.granted = x->granted;
        out.objectName = x->objectName;
        return true;
      }
  return false;
}

}  // namespace

BOOL WINAPI addPortEx(HANDLE monitor, LPWSTR, DWORD level, LPBYTE portInfo, LPWSTR) {
  Monitor *m = monitorFromHandle(monitor);
  if (!m) return FALSE;
  if (DWORD e = checkAddPortLevel(level)) {
    SetLastError(e);
    return FALSE;
  }
  const auto *info = reinterpret_cast<const PORT_INFO_1W *>(portInfo);
  if (!info || !info->pName || !*info->pName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (DWORD e = addPort(*m, info->pName, ERROR_INVALID_PARAMETER)) {
    SetLastError(e);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI xcvOpenPort(HANDLE monitor, LPCWSTR objectName, ACCESS_MASK grantedAccess, PHANDLE handle) {
  Monitor *m = monitorFromHandle(monitor);
  if (!m) return FALSE;
  if (!handle) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto x = std::make_unique<XcvHandle>();
  // ",XcvMonitor" opens carry no object; ",XcvPort" ones the port's name.
  x->objectName = objectName ? objectName : TEXT("");
  x->size = xcvHandleSize(x->objectName.size());
  x->granted = grantedAccess;
  x->monitor = m;
  MonitorLock lock;
  XcvHandle **tail = &m->xcvs;
  while (*tail) tail = &(*tail)->next;
  *tail = x.get();
  *handle = x.release();
  return TRUE;
}

BOOL WINAPI xcvClosePort(HANDLE h) {
  XcvHandle *found = nullptr;
  if (h && module().lockReady) {
    MonitorLock lock;
    for (Monitor *m = module().monitors; m && !found; m = m->next)
      for (XcvHandle **q = &m->xcvs; *q; q = &(*q)->next)
        if (*q == h) {
          found = *q;
          *q = found->next;
          break;
        }
  }
  if (!found) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  found->signature = 0;
  delete found;
  return TRUE;
}

DWORD WINAPI xcvDataPort(HANDLE xcv, LPCWSTR dataName, PBYTE input, DWORD inputSize, PBYTE output, DWORD outputSize,
                         PDWORD needed) {
  HandleView h;
  if (!viewHandle(xcv, h)) return ERROR_INVALID_HANDLE;
  const XcvCommand command = dataName ? xcvCommandFor(view(dataName)) : XcvCommand::Unknown;
  if (DWORD e = checkXcvAccess(command, h.granted)) return e;
  if ((!input && inputSize) || !needed) return ERROR_INVALID_PARAMETER;
  const SizeCheck size = checkXcvOutput(command, output ? outputSize : 0);
  *needed = size.needed;
  if (size.error) return size.error;

  switch (command) {
    case XcvCommand::MonitorUi:
      std::memcpy(output, kMonitorUiModule.data(), kMonitorUiModule.size() * sizeof(char16_t));
      std::memset(output + kMonitorUiModule.size() * sizeof(char16_t), 0, sizeof(char16_t));
      return ERROR_SUCCESS;

    case XcvCommand::ConfigureLptPortCommandOk: {
      auto seconds = inputName(input, inputSize);
      return seconds ? setTransmissionRetryTimeout(*seconds) : ERROR_INVALID_PARAMETER;
    }

    case XcvCommand::AddPort: {
      if (checkAddPortInput(input, inputSize)) return ERROR_INVALID_PARAMETER;
      return addPort(*h.monitor, *inputName(input, inputSize), ERROR_ALREADY_EXISTS);
    }

    case XcvCommand::DeletePort: {
      auto name = inputName(input, inputSize);
      if (!name || name->empty()) return ERROR_INVALID_PARAMETER;
      return deletePort(*h.monitor, *name);
    }

    case XcvCommand::PortExists: {
      auto name = inputName(input, inputSize);
      if (!name || name->empty()) return ERROR_INVALID_PARAMETER;
      bool listed = false;
      if (DWORD e = systemListsPort(name->c_str(), listed)) return e;
      putDword(output, listed ? TRUE : FALSE);
      return ERROR_SUCCESS;
    }

    case XcvCommand::PortIsValid: {
      auto name = inputName(input, inputSize);
      return name ? portIsValid(*name) : ERROR_INVALID_PARAMETER;
    }

    case XcvCommand::GetTransmissionRetryTimeout: putDword(output, transmissionRetryTimeout()); return ERROR_SUCCESS;

    case XcvCommand::SetDefaultCommConfig: {
      // The handle names the port ("COM1:"); the system keeps the default
      // under the device's name ("COM1").
      WString device = h.objectName;
      if (!device.empty() && device.back() == TEXT(':')) device.pop_back();
      if (device.empty()) return ERROR_INVALID_PARAMETER;
      return setDefaultCommConfig(device, input, inputSize);
    }

    case XcvCommand::GetDefaultCommConfig: {
      auto device = inputName(input, inputSize);
      if (!device || device->empty()) return ERROR_INVALID_PARAMETER;
      return getDefaultCommConfig(*device, output, outputSize, *needed);
    }

    case XcvCommand::Unknown: break;
  }
  return ERROR_INVALID_PARAMETER;
}

}  // namespace card::net
