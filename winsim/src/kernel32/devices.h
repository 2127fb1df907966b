// The machine's DOS device names and the serial and parallel devices behind
// them, as CreateFileW opens them ("\\.\COM1").
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include <windows.h>

namespace winsim {

// A serial or parallel device: its time-outs live with the device, as its
// driver keeps them, and only one handle may have it open at a time.
struct CommDevice {
  std::u16string target;  // "\Device\Serial0"
  bool serial = false;
  std::mutex lock;
  COMMTIMEOUTS timeouts{};
  DCB state{};  // a serial line's settings (SetCommState)
  bool open = false;
};

// The device a "\\.\NAME" path names, marked open; NULL with the Windows
// error in `error` for a name that is no device or one already open.
std::shared_ptr<CommDevice> openCommDevice(const std::u16string &dosName, DWORD &error);
// Its handle closed.
void closeCommDevice(CommDevice &device);
// The device of a kernel-mode driver, "\\.\<service name>": defined while
// the driver's service runs (advapi32's service control manager defines and
// removes it).  Its handles read and write nothing: such a driver serves
// only its own control codes.
void defineDriverDevice(const std::u16string &name);
void removeDriverDevice(const std::u16string &name);
// Whether a DOS name now names a driver's device.
bool isDriverDevice(const std::u16string &dosName);
// The device behind a file handle (files.cpp); NULL with the last error set:
// ERROR_INVALID_HANDLE for a handle that is no file, ERROR_INVALID_FUNCTION
// for a file that is no device.
std::shared_ptr<CommDevice> commDeviceOf(HANDLE h);

}  // namespace winsim
