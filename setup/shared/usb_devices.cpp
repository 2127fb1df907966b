#include "setup/shared/usb_devices.h"

#include <windows.h>
#include <setupapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "setup/shared/usb_hardware_ids.h"

namespace card::setup {

namespace {

enum class IdRead { Read, NoIds, Failed };

// The device's hardware-ID list, the buffer grown as the system asks; `chars`
// is what it returned, in characters.
IdRead readHardwareIds(HDEVINFO devices, SP_DEVINFO_DATA &device, std::vector<WCHAR> &ids, size_t &chars) {
  for (;;) {
    DWORD type = 0, required = 0;
    if (SetupDiGetDeviceRegistryPropertyW(devices, &device, SPDRP_HARDWAREID, &type,
                                          reinterpret_cast<PBYTE>(ids.data()), DWORD(ids.size() * sizeof(WCHAR)),
                                          &required)) {
      // The size it returned; the whole buffer when it did not say.
      chars = required ? std::min(size_t(required) / sizeof(WCHAR), ids.size()) : ids.size();
      return IdRead::Read;
    }
    DWORD error = GetLastError();
    if (error == ERROR_INVALID_DATA) return IdRead::NoIds;
    if (error != ERROR_INSUFFICIENT_BUFFER || required <= ids.size() * sizeof(WCHAR)) return IdRead::Failed;
    ids.assign((required + sizeof(WCHAR) - 1) / sizeof(WCHAR), WCHAR(0));
  }
}

}  // namespace

void removeUsbPrintDevices() {
  HDEVINFO devices = SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
  if (devices == INVALID_HANDLE_VALUE) return;
  std::vector<WCHAR> ids(256);
  SP_DEVINFO_DATA device = {};
  device.cbSize = sizeof device;
  for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
    size_t chars = 0;
    IdRead read = readHardwareIds(devices, device, ids, chars);
    if (read == IdRead::Failed) break;
    if (read == IdRead::NoIds) continue;
    std::u16string list(ids.begin(), ids.begin() + chars);
    if (hardwareIdListMatches(list.data(), list.size())) SetupDiCallClassInstaller(DIF_REMOVE, devices, &device);
  }
  SetupDiDestroyDeviceInfoList(devices);
}

}  // namespace card::setup
