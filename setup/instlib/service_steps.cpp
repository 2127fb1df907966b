// The spooler and the kernel-mode port driver, through the service control
// manager.
#include <winsvc.h>

#include <algorithm>
#include <string>

#include "setup/instlib/instlib.h"

namespace {

constexpr int kStatusPolls = 99;
constexpr DWORD kStartPollMs = 1000;
// A service's wait hint, bounded: a hint of 0 would spend every poll at
// once, one of minutes would stall the installer past reason.
constexpr DWORD kShortestWaitMs = 100, kLongestWaitMs = 10000;

// A handle of the service control manager, closed with its owner.
class ServiceHandle {
 public:
  explicit ServiceHandle(SC_HANDLE h = nullptr) : h_(h) {}
  ~ServiceHandle() {
    if (h_) CloseServiceHandle(h_);
  }
  ServiceHandle(const ServiceHandle &) = delete;
  ServiceHandle &operator=(const ServiceHandle &) = delete;
  void reset(SC_HANDLE h) {
    if (h_) CloseServiceHandle(h_);
    h_ = h;
  }
  SC_HANDLE get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }

 private:
  SC_HANDLE h_;
};

// The spooler service with all access, or the error that kept it closed.
DWORD openSpooler(ServiceHandle &manager, ServiceHandle &spooler) {
  manager.reset(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return GetLastError();
  spooler.reset(OpenServiceW(manager.get(), TEXT("Spooler"), SERVICE_ALL_ACCESS));
  return spooler ? ERROR_SUCCESS : GetLastError();
}

// The last error, or a time-out when a wait ended without one.
DWORD failure() {
  const DWORD e = GetLastError();
  return e != ERROR_SUCCESS ? e : ERROR_SERVICE_REQUEST_TIMEOUT;
}

DWORD installDriverService(SC_HANDLE manager, LPCWSTR name, LPCWSTR binaryPath) {
  auto create = [&] {
    return CreateServiceW(manager, name, name, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER, SERVICE_AUTO_START,
                          SERVICE_ERROR_NORMAL, binaryPath, nullptr, nullptr, nullptr, nullptr, nullptr);
  };
  ServiceHandle service(create());
  if (!service && GetLastError() == ERROR_SERVICE_EXISTS) {
    // An older copy goes first; the new one is then created in its place
    // (starting the old one, marked for deletion, could only fail).
    ServiceHandle old(OpenServiceW(manager, name, SERVICE_ALL_ACCESS));
    if (!old) return GetLastError();
    SERVICE_STATUS status = {};
    ControlService(old.get(), SERVICE_CONTROL_STOP, &status);
    if (!DeleteService(old.get())) return GetLastError();
    old.reset(nullptr);
    service.reset(create());
  }
  if (!service) return GetLastError();
  if (!StartServiceW(service.get(), 0, nullptr)) {
    const DWORD e = GetLastError();
    if (e != ERROR_SERVICE_ALREADY_RUNNING) {
      DeleteService(service.get());
      return e;
    }
  }
  const std::basic_string<WCHAR> device = std::basic_string<WCHAR>(TEXT("\\\\.\\")) + name;
  HANDLE h = CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError();
  CloseHandle(h);
  return ERROR_SUCCESS;
}

DWORD removeDriverService(SC_HANDLE manager, LPCWSTR name) {
  ServiceHandle service(OpenServiceW(manager, name, SERVICE_ALL_ACCESS));
  if (!service) return GetLastError();
  SERVICE_STATUS status = {};
  if (!ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) return GetLastError();
  return DeleteService(service.get()) ? ERROR_SUCCESS : GetLastError();
}

}  // namespace

extern "C" {

DWORD WINAPI ELTNInstPPDriver(LPCWSTR serviceName, LPCWSTR binaryPathOrRemove) {
  if (!serviceName || !*serviceName || !binaryPathOrRemove) return ERROR_INVALID_PARAMETER;
  ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return GetLastError();
  if (lstrcmpiW(binaryPathOrRemove, TEXT("remove")) == 0) return removeDriverService(manager.get(), serviceName);
  return installDriverService(manager.get(), serviceName, binaryPathOrRemove);
}

DWORD WINAPI StopSpooler() {
  ServiceHandle manager, spooler;
  if (const DWORD e = openSpooler(manager, spooler)) return e;
  SERVICE_STATUS status = {};
  SetLastError(ERROR_SUCCESS);
  ControlService(spooler.get(), SERVICE_CONTROL_STOP, &status);
  if (!QueryServiceStatus(spooler.get(), &status)) return GetLastError();
  for (int i = 0; i < kStatusPolls && status.dwCurrentState != SERVICE_STOPPED; ++i) {
    Sleep(std::clamp(status.dwWaitHint, kShortestWaitMs, kLongestWaitMs));
    if (!QueryServiceStatus(spooler.get(), &status)) return GetLastError();
  }
  return status.dwCurrentState == SERVICE_STOPPED ? ERROR_SUCCESS : failure();
}

DWORD WINAPI StartSpooler() {
  ServiceHandle manager, spooler;
  if (const DWORD e = openSpooler(manager, spooler)) return e;
  if (!StartServiceW(spooler.get(), 0, nullptr)) return GetLastError();
  SetLastError(ERROR_SUCCESS);
  for (int i = 0; i < kStatusPolls; ++i) {
    SERVICE_STATUS status = {};
    if (!QueryServiceStatus(spooler.get(), &status)) return GetLastError();
    if (status.dwCurrentState == SERVICE_RUNNING) return ERROR_SUCCESS;
    if (status.dwCurrentState == SERVICE_STOPPED) StartServiceW(spooler.get(), 0, nullptr);
    Sleep(kStartPollMs);
  }
  return failure();
}

}  // extern "C"
