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

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
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
  // The IDs Windows makes of the printer's IEEE 1284 ID (maker "PELLO",
  // model "CARD PRINTER <model code>"): the USB printing class's, and the
  // same without the enumerator, each ending in the ID's 4-digit checksum.
  std::vector<std::u16string> hardwareIds() const override {
    std::string id = "PELLO_CARD_PRINTER_";
    for (char c : printer_.config().model) id += c == ' ' ? '_' : char(std::toupper(static_cast<unsigned char>(c)));
    id += idChecksum(printer_.config().model);
    const std::u16string wide(id.begin(), id.end());
    return {u"USBPRINT\\" + wide, wide};
  }

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
  // The checksum part of a model's hardware ID: the package's models as
  // their printers report it, any other model a CRC-16 of its 1284 maker
  // and model text.
  static std::string idChecksum(const std::string &model) {
    static const std::pair<const char *, const char *> kKnown[] = {{"CA1", "D2E8"}, {"CA2", "F1B4"}, {"CA3", "C5A1"}};
    for (const auto &k : kKnown)
      if (model == k.first) return k.second;
    uint16_t crc = 0;
    for (char c : "PELLOCARD PRINTER " + model) {
      crc ^= static_cast<unsigned char>(c);
      for (int b = 0; b < 8; ++b) crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04X", unsigned(crc));
    return hex;
  }

  Printer &printer_;
  const bool log_;
  mutable std::mutex lock_;
  std::vector<UsbWrite> writes_;
};

}  // namespace cardemu
