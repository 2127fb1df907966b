// The emulated printer on the other end of one of winsim's USB ports: what a
// test or the demo plugs in with winsim::attachUsbDevice.  Header only, for
// programs that link winsim (the emulator itself does not).
//
// It can keep a log of the write calls that reached it, so that a test or
// the demo sees how the language monitor paced the job: the bytes of each
// call and the simulated time (GetTickCount) at which it came.
#pragma once

#include <windows.h>
#include <winsim/testing.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

#include "emulator/include/cardemu/printer.h"

namespace cardemu {

struct UsbWrite {
  DWORD tick = 0;              // GetTickCount when the call came
  size_t offered = 0;          // bytes the port offered
  long taken = 0;              // bytes the printer took (-1: unplugged)
  std::vector<uint8_t> bytes;  // those it took
};

class UsbPrinterDevice : public winsim::UsbDevice {
 public:
  explicit UsbPrinterDevice(Printer &printer, bool logWrites = false) : printer_(printer), log_(logWrites) {}

  long write(const uint8_t *data, size_t size) override {
    const long taken = printer_.write(data, size);
    if (log_) {
      std::lock_guard<std::mutex> g(lock_);
      UsbWrite w{GetTickCount(), size, taken, {}};
      if (taken > 0) w.bytes.assign(data, data + taken);
      writes_.push_back(std::move(w));
    }
    return taken;
  }
  long read(uint8_t *out, size_t max) override { return printer_.read(out, max); }
  bool lineStatus(uint8_t &status) override {
    const auto s = printer_.lineStatus();
    if (!s) return false;
    status = *s;
    return true;
  }
  void setAnswerNotifier(std::function<void()> notify) override { printer_.setAnswerListener(std::move(notify)); }

  std::vector<UsbWrite> writes() const {
    std::lock_guard<std::mutex> g(lock_);
    return writes_;
  }
  // The log so far, which starts again empty.
  std::vector<UsbWrite> takeWrites() {
    std::lock_guard<std::mutex> g(lock_);
    return std::exchange(writes_, {});
  }

 private:
  Printer &printer_;
  const bool log_;
  mutable std::mutex lock_;
  std::vector<UsbWrite> writes_;
};

}  // namespace cardemu
