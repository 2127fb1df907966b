// winsim's USB port monitor: the ports "USB001", "USB002" ... that Windows
// creates for USB printers, served through a MONITOR table as the system's
// port monitor serves them.  Bytes written to a port go to the device a test
// plugged into it; reads return the device's answers.  Reads and writes end
// after the port's time-outs on the simulated clock, so a silent or stalled
// device never holds the spooler's thread for good.
//
// A device belongs to the test that plugged it in, and the test may destroy
// it once it is unplugged: unplugging (and resetting the machine) waits for
// the calls into the device that are under way, and a call that starts
// afterwards, or a transfer that goes on with a further call, finds the
// port empty.
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>

#include <usbprint.h>
#include <winsplp.h>

#include "core/internal.h"
#include "spoolss/spoolss.h"

namespace winsim::spool {

namespace {

constexpr char16_t kUsbMonitorName[] = u"USB Monitor";
bool isUsbPortName(const std::u16string &name);  // "USB001" ... "USB999"
std::vector<PortListEntry> usbPortNames();

constexpr uint32_t kPortMagic = 0x55534250;  // "USBP"
// Time-outs a port starts with (milliseconds of simulated time): a read waits
// this long for the first answer byte, a write this long for the device to
// take bytes.  Language monitors change them with SetPortTimeOuts.
constexpr DWORD kDefaultReadTimeoutMs = 5000;
constexpr DWORD kDefaultWriteTimeoutMs = 15000;
// Devices without an answer notifier, and devices that take no bytes, are
// asked again after this much simulated time.
constexpr DWORD kPollMs = 10;

// One USB port and what is plugged into it.
struct UsbPort {
  std::u16string name;
  std::shared_ptr<UsbDevice> device;
  HANDLE answers = nullptr;  // auto-reset event, set by the device's notifier
  int callsInDevice = 0;     // calls into `device` under way, guarded by g_usbLock
};

// The ports and handles outlive the process's static destructors, as the
// spooler's queues do: a despooling thread may still be in a port call when
// the process ends.
std::mutex &g_usbLock = *new std::mutex;
std::condition_variable &g_deviceCallEnded = *new std::condition_variable;  // waited on with g_usbLock
std::map<std::u16string, std::shared_ptr<UsbPort>> &g_usbPorts =
    *new std::map<std::u16string, std::shared_ptr<UsbPort>>;  // by upper-case name

// An unplugged device whose calls do not end within this long (real time) is
// given up on: its calls are the test's own code and should never block.
constexpr auto kDeviceCallDrain = std::chrono::seconds(60);

struct UsbPortHandle {
  uint32_t magic = kPortMagic;
  std::shared_ptr<UsbPort> port;
  COMMTIMEOUTS timeouts{0, 0, kDefaultReadTimeoutMs, 0, kDefaultWriteTimeoutMs};
  std::mutex lock;  // guards the time-outs: a language monitor may set them from another thread
};

// Handles are shared with the calls that use them, so that a ClosePort (or a
// machine reset) on another thread never frees one under a running call.
std::mutex &g_handleLock = *new std::mutex;
std::map<HANDLE, std::shared_ptr<UsbPortHandle>> &g_portHandles = *new std::map<HANDLE, std::shared_ptr<UsbPortHandle>>;

std::shared_ptr<UsbPortHandle> portHandle(HANDLE h) {
  std::lock_guard<std::mutex> g(g_handleLock);
  auto it = g_portHandles.find(h);
  return it != g_portHandles.end() && it->second->magic == kPortMagic ? it->second : nullptr;
}

std::shared_ptr<UsbPort> findPort(const std::u16string &name, bool create) {
  if (!isUsbPortName(name)) return nullptr;
  std::lock_guard<std::mutex> g(g_usbLock);
  auto key = upper(name);
  auto it = g_usbPorts.find(key);
  if (it != g_usbPorts.end()) return it->second;
  if (!create) return nullptr;
  auto p = std::make_shared<UsbPort>();
  p->name = key;
  p->answers = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  g_usbPorts[key] = p;
  return p;
}

std::shared_ptr<UsbDevice> deviceOf(const std::shared_ptr<UsbPort> &p) {
  std::lock_guard<std::mutex> g(g_usbLock);
  return p->device;
}

// One call into the device plugged into a port, counted while it runs so that
// unplugging waits for it.  Empty when the port holds no device, or another
// one than `expected` (a transfer stays with the device it started on).
class DeviceCall {
 public:
  DeviceCall(const std::shared_ptr<UsbPort> &port, const UsbDevice *expected = nullptr) : port_(port) {
    std::lock_guard<std::mutex> g(g_usbLock);
    if (port_->device && (!expected || port_->device.get() == expected)) {
      device_ = port_->device.get();
      ++port_->callsInDevice;
    }
  }
  ~DeviceCall() {
    if (!device_) return;
    std::lock_guard<std::mutex> g(g_usbLock);
    --port_->callsInDevice;
    g_deviceCallEnded.notify_all();
  }
  DeviceCall(const DeviceCall &) = delete;
  DeviceCall &operator=(const DeviceCall &) = delete;
  explicit operator bool() const { return device_ != nullptr; }
  UsbDevice *operator->() const { return device_; }

 private:
  std::shared_ptr<UsbPort> port_;
  UsbDevice *device_ = nullptr;  // kept alive by the port until the count drops
};

// Takes the device out of its port and waits for the calls into it that are
// under way; returns it (or NULL when the port was empty).
std::shared_ptr<UsbDevice> unplug(UsbPort &port) {
  std::unique_lock<std::mutex> lk(g_usbLock);
  std::shared_ptr<UsbDevice> old;
  old.swap(port.device);
  if (!g_deviceCallEnded.wait_for(lk, kDeviceCallDrain, [&] { return port.callsInDevice == 0; }))
    OutputDebugStringA("winsim: a call into an unplugged USB device did not return");
  return old;
}

// The handle and plugged-in device of a read or write call, or NULL with the
// call's error set: a bad handle, a missing count or buffer, no device.
std::shared_ptr<UsbPortHandle> transferPort(HANDLE hPort, const void *buffer, DWORD size, const void *count,
                                            std::shared_ptr<UsbDevice> &device) {
  auto h = portHandle(hPort);
  if (!h || !count || (!buffer && size)) {
    SetLastError(h ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return nullptr;
  }
  device = deviceOf(h->port);
  if (!device) {
    SetLastError(ERROR_DEVICE_NOT_CONNECTED);
    return nullptr;
  }
  return h;
}

// ------------------------------------------------------------ the MONITOR entries

BOOL WINAPI usbEnumPorts(LPWSTR pName, DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned) {
  (void)pName;
  return enumPortList(usbPortNames(), Level, pPorts, cbBuf, pcbNeeded, pcReturned);
}

BOOL WINAPI usbOpenPort(LPWSTR pName, PHANDLE pHandle) {
  if (!pHandle) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *pHandle = nullptr;
  // A port of a device that was never plugged in does not exist; one whose
  // device went away stays and can be opened.
  auto port = findPort(fromW(pName), false);
  if (!port) {
    SetLastError(ERROR_UNKNOWN_PORT);
    return FALSE;
  }
  auto h = std::make_shared<UsbPortHandle>();
  h->port = port;
  std::lock_guard<std::mutex> g(g_handleLock);
  g_portHandles[h.get()] = h;
  *pHandle = h.get();
  return TRUE;
}

BOOL WINAPI usbStartDocPort(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level, LPBYTE pDocInfo) {
  (void)pPrinterName;
  (void)JobId;
  (void)Level;
  (void)pDocInfo;
  auto h = portHandle(hPort);
  if (!h) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // The device is opened for the job: without one the job cannot start.
  if (!deviceOf(h->port)) {
    SetLastError(ERROR_DEVICE_NOT_CONNECTED);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI usbWritePort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten) {
  if (pcbWritten) *pcbWritten = 0;
  std::shared_ptr<UsbDevice> device;
  auto h = transferPort(hPort, pBuffer, cbBuf, pcbWritten, device);
  if (!h) return FALSE;
  COMMTIMEOUTS t;
  {
    std::lock_guard<std::mutex> g(h->lock);
    t = h->timeouts;
  }
  // Zero time-outs would let a communications device wait without end for a
  // device that takes nothing; a port must not hold the spooler's thread, so
  // here they mean one try.
  const uint64_t limit = uint64_t(t.WriteTotalTimeoutConstant) + uint64_t(t.WriteTotalTimeoutMultiplier) * cbBuf;
  const uint64_t start = virtualNowMs();
  DWORD done = 0;
  while (done < cbBuf) {
    long n = -1;
    {
      DeviceCall call(h->port, device.get());
      if (call) n = call->write(pBuffer + done, cbBuf - done);
    }
    if (n < 0) {  // gone, or unplugged while the write waited
      *pcbWritten = done;
      SetLastError(ERROR_DEVICE_NOT_CONNECTED);
      return FALSE;
    }
    done += DWORD(std::min<unsigned long>(static_cast<unsigned long>(n), cbBuf - done));
    if (done == cbBuf) break;
    // A write that times out ends with what the device took; the caller sees
    // fewer bytes written and decides whether to go on.
    if (n == 0) {
      if (limit == 0 || virtualNowMs() - start >= limit) break;
      Sleep(kPollMs);
    }
  }
  *pcbWritten = done;
  return TRUE;
}

BOOL WINAPI usbReadPort(HANDLE hPort, LPBYTE pBuffer, DWORD cbBuffer, LPDWORD pcbRead) {
  if (pcbRead) *pcbRead = 0;
  std::shared_ptr<UsbDevice> device;
  auto h = transferPort(hPort, pBuffer, cbBuffer, pcbRead, device);
  if (!h) return FALSE;
  if (cbBuffer == 0) return TRUE;
  COMMTIMEOUTS t;
  {
    std::lock_guard<std::mutex> g(h->lock);
    t = h->timeouts;
  }
  // As with a communications device: an interval of MAXDWORD with no total
  // time-out returns at once with what is there; otherwise the read waits
  // for the first bytes up to the total time-out and returns what came.  No
  // total time-out at all would wait without end on a device; here it
  // returns at once too.
  const bool immediate =
      t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutConstant == 0 && t.ReadTotalTimeoutMultiplier == 0;
  const uint64_t limit =
      immediate ? 0 : uint64_t(t.ReadTotalTimeoutConstant) + uint64_t(t.ReadTotalTimeoutMultiplier) * cbBuffer;
  const uint64_t start = virtualNowMs();
  for (;;) {
    long n = -1;
    {
      DeviceCall call(h->port, device.get());
      if (call) n = call->read(pBuffer, cbBuffer);
    }
    if (n < 0) {  // gone, or unplugged while the read waited
      SetLastError(ERROR_DEVICE_NOT_CONNECTED);
      return FALSE;
    }
    if (n > 0) {
      *pcbRead = DWORD(std::min<unsigned long>(static_cast<unsigned long>(n), cbBuffer));
      return TRUE;
    }
    uint64_t waited = virtualNowMs() - start;
    if (waited >= limit) return TRUE;  // timed out: no bytes, no error
    WaitForSingleObject(h->port->answers, DWORD(std::min<uint64_t>(limit - waited, kPollMs)));
  }
}

BOOL WINAPI usbEndDocPort(HANDLE hPort) {
  if (!portHandle(hPort)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI usbClosePort(HANDLE hPort) {
  std::lock_guard<std::mutex> g(g_handleLock);
  auto it = g_portHandles.find(hPort);
  if (it == g_portHandles.end() || it->second->magic != kPortMagic) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  it->second->magic = 0;  // a call still running on it finishes; later ones fail
  g_portHandles.erase(it);
  return TRUE;
}

BOOL WINAPI usbGetPrinterDataFromPort(HANDLE hPort, DWORD ControlID, LPWSTR pValueName, LPWSTR lpInBuffer,
                                      DWORD cbInBuffer, LPWSTR lpOutBuffer, DWORD cbOutBuffer, LPDWORD lpcbReturned) {
  (void)pValueName;
  (void)lpInBuffer;
  (void)cbInBuffer;
  if (lpcbReturned) *lpcbReturned = 0;
  auto h = portHandle(hPort);
  if (!h) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // The port monitor knows no printer-data values; it passes the printer
  // class driver's control requests on to the device.
  if (ControlID != IOCTL_USBPRINT_GET_LPT_STATUS) {
    SetLastError(ControlID ? ERROR_INVALID_PARAMETER : ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  if (!lpOutBuffer || cbOutBuffer < 1 || !lpcbReturned) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  uint8_t status = 0;
  bool answered = false;
  {
    DeviceCall call(h->port);
    answered = call && call->lineStatus(status);
  }
  if (!answered) {
    SetLastError(ERROR_DEVICE_NOT_CONNECTED);
    return FALSE;
  }
  reinterpret_cast<BYTE *>(lpOutBuffer)[0] = status;
  *lpcbReturned = 1;
  return TRUE;
}

BOOL WINAPI usbSetPortTimeOuts(HANDLE hPort, LPCOMMTIMEOUTS lpCTO, DWORD reserved) {
  auto h = portHandle(hPort);
  if (!h || !lpCTO || reserved != 0) {
    SetLastError(h ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> g(h->lock);
  h->timeouts = *lpCTO;
  return TRUE;
}

const MONITOR kUsbMonitor = {
    usbEnumPorts,
    usbOpenPort,
    nullptr,
    usbStartDocPort,
    usbWritePort,
    usbReadPort,
    usbEndDocPort,
    usbClosePort,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    usbGetPrinterDataFromPort,
    usbSetPortTimeOuts,
    nullptr,
    nullptr,
    nullptr,
};

bool isUsbPortName(const std::u16string &name) {
  if (name.size() != 6 || !equalsNoCase(name.substr(0, 3), u"USB")) return false;
  for (size_t i = 3; i < 6; ++i)
    if (name[i] < u'0' || name[i] > u'9') return false;
  return name.substr(3) != u"000";
}

std::vector<PortListEntry> usbPortNames() {
  std::vector<PortListEntry> out;
  std::lock_guard<std::mutex> g(g_usbLock);
  for (auto &kv : g_usbPorts)
    out.push_back(
        {kv.second->name, kUsbMonitorName, u"Virtual printer port for USB", PORT_TYPE_WRITE | PORT_TYPE_READ});
  return out;
}

void resetUsbPorts() {
  std::map<std::u16string, std::shared_ptr<UsbPort>> ports;
  {
    std::lock_guard<std::mutex> g(g_usbLock);
    ports.swap(g_usbPorts);
  }
  // Every device unplugged, its calls ended, before the test may destroy it.
  for (auto &kv : ports) {
    if (auto old = unplug(*kv.second)) old->setAnswerNotifier({});
    CloseHandle(kv.second->answers);
  }
  std::lock_guard<std::mutex> g(g_handleLock);
  for (auto &kv : g_portHandles) kv.second->magic = 0;
  g_portHandles.clear();
}

// A USB port exists once a device has been plugged into it and stays when
// the device goes, as Windows keeps the ports of absent devices.  A printer
// may name one before any device was plugged in (the installer sets printers
// up before the cable is in); until then its jobs are kept by the spooler
// like those of a port without a device.
std::unique_ptr<Port> openUsb(const std::u16string &, const std::u16string &portName) {
  return findPort(portName, false) ? nullptr : makeRecordingPort(portName);
}

PortMonitor usbMonitor() {
  PortMonitor m;
  m.name = kUsbMonitorName;
  m.order = 100;
  m.serves = isUsbPortName;
  m.listPorts = usbPortNames;
  m.table = &kUsbMonitor;
  m.open = openUsb;
  m.reset = resetUsbPorts;
  return m;
}

const PortMonitorRegistration kUsb(usbMonitor());

std::atomic<UsbPlugHook> g_plugHook{nullptr};

void tellPlugHook(const std::u16string &port, const std::shared_ptr<UsbDevice> &device) {
  if (UsbPlugHook hook = g_plugHook.load()) hook(port, device);
}

}  // namespace

void setUsbPlugHook(UsbPlugHook hook) { g_plugHook.store(hook); }

}  // namespace winsim::spool

namespace winsim {

bool attachUsbDevice(const std::u16string &portName, std::shared_ptr<UsbDevice> device) {
  auto port = spool::findPort(portName, true);
  if (!port) return false;
  detachUsbDevice(portName);
  if (device) {
    HANDLE ev = port->answers;
    // The notifier may outlive the port's event only until detach or reset,
    // both of which take it back first.
    device->setAnswerNotifier([ev] { SetEvent(ev); });
  }
  {
    std::lock_guard<std::mutex> g(spool::g_usbLock);
    port->device = device;
  }
  if (device) spool::tellPlugHook(port->name, device);
  return true;
}

const MONITOR *usbPortMonitorTable() { return &spool::kUsbMonitor; }

void detachUsbDevice(const std::u16string &portName) {
  auto port = spool::findPort(portName, false);
  if (!port) return;
  if (auto old = spool::unplug(*port)) {
    old->setAnswerNotifier({});
    spool::tellPlugHook(port->name, nullptr);
  }
}

}  // namespace winsim
