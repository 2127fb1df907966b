// The emulated printer's controls: what an operator does at the printer
// (the button, the cover, the ribbon, the feeder) and what a test injects
// (errors, faults, a printer that stops answering or is unplugged).
#include "emulator/include/cardemu/printer.h"

#include "emulator/src/printer_impl.h"

namespace cardemu {

void Printer::injectError(int code) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->latch(code);
}

void Printer::injectErrorAt(int code, const std::string &commandPrefix, int occurrence) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (commandPrefix.empty()) {  // any command: the occurrence-th from now
    impl_->faults.push_back({code, {}, 0, static_cast<uint64_t>(occurrence < 1 ? 1 : occurrence)});
    return;
  }
  impl_->faults.push_back({code, commandPrefix, occurrence, 0});
}

void Printer::injectErrorAfter(int code, uint64_t commands) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (commands == 0) {
    impl_->latch(code);
    return;
  }
  impl_->faults.push_back({code, {}, 0, commands});
}

void Printer::injectFault(const FaultChoice &fault) {
  std::lock_guard<std::mutex> lock(mutex_);
  Impl &m = *impl_;
  if (!fault.command.empty()) {
    m.faults.push_back({fault.code, fault.command, 1, 0, fault.name});
  } else if (fault.name == "encoder") {
    m.faults.push_back({fault.code, "&E*", 1, 0, fault.name});
  } else if (fault.name == "out-of-cards") {
    m.feederCards = 0;  // the printer finds out at the next feed
  } else if (fault.name == "out-of-ribbon") {
    m.ribbonRemaining = 0;  // the card being printed still gets its panels
  } else {
    m.applyCause(fault.name);
    m.latch(fault.code);
  }
}

void Printer::clearFault() {
  std::lock_guard<std::mutex> lock(mutex_);
  Impl &m = *impl_;
  m.coverOpen = false;
  m.headOpen = false;
  if (m.feederCards == 0) m.feederCards = m.cfg.feederCards != 0 ? m.cfg.feederCards : 100;
  if (m.ribbonCode == 0 || m.ribbonRemaining <= 0) {
    m.ribbonCode = m.cfg.ribbonCode != 0 ? m.cfg.ribbonCode : 2;
    m.ribbonRemaining = m.cfg.ribbonRemaining > 0 ? m.cfg.ribbonRemaining : 250;
  }
  pressButtonLocked();
}

void Printer::pressButton() {
  std::lock_guard<std::mutex> lock(mutex_);
  pressButtonLocked();
}

void Printer::pressButtonLocked() {
  Impl &m = *impl_;
  if (m.error == 0) return;
  // A cover or head still open keeps the printer stopped.
  if (m.coverOpen || m.headOpen) return;
  const bool retry = !discardsCommand(m.error);
  m.error = 0;
  m.resume(retry);
}

void Printer::forceClear() {
  std::lock_guard<std::mutex> lock(mutex_);
  Impl &m = *impl_;
  if (m.error == 0) return;
  m.error = 0;
  m.resume(false);
}

void Printer::removeRibbon() {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->ribbonCode = 0;
  impl_->ribbonRemaining = 0;
}

void Printer::loadRibbon(int code, int remaining) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->ribbonCode = code;
  impl_->ribbonRemaining = remaining;
}

void Printer::setFeederCards(int cards) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->feederCards = cards;
}

void Printer::setFeederTracks(const std::array<std::string, 3> &tracks) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->feederTracks = tracks;
}

void Printer::setCoverOpen(bool open) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->coverOpen = open;
  if (open) impl_->latch(err::kCoverOpen);
}

void Printer::setHeadOpen(bool open) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->headOpen = open;
  if (open) impl_->latch(err::kHeadOpen);
}

void Printer::setSilent(bool silent) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->silent = silent;
}

void Printer::setStalled(bool stalled) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->stalled = stalled;
}

void Printer::stopAnsweringAfter(uint64_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  Impl &m = *impl_;
  m.hangInFirmware = false;
  m.hangAfter.reset();
  if (bytes == 0)
    m.hung = true;
  else
    m.hangAfter = bytes;
}

void Printer::stopAnsweringInFirmware(uint64_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  Impl &m = *impl_;
  m.hangAfter = bytes;
  // Already inside a frame: counted from here.
  m.hangInFirmware = !m.parser.insideFirmware();
  if (!m.hangInFirmware && bytes == 0) {
    m.hung = true;
    m.hangAfter.reset();
  }
}

void Printer::resumeAnswering() {
  std::lock_guard<std::mutex> lock(mutex_);
  Impl &m = *impl_;
  m.hung = false;
  m.hangAfter.reset();
  m.hangInFirmware = false;
}

void Printer::setConnected(bool connected) {
  std::lock_guard<std::mutex> lock(mutex_);
  impl_->connected = connected;
  if (!connected) impl_->answers.clear();
}

}  // namespace cardemu
