// Drives an emulated printer with arbitrary bytes the way a port would (pieces
// of changing sizes), with the operator's and the monitor's actions mixed in,
// and checks that it keeps its bounds; then runs the same bytes unattended,
// as the decoder does, and checks that every byte was run.  Shared by the fuzz
// target and the random-stream test of the normal suite.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "emulator/include/cardemu/printer.h"
#include "emulator/include/cardemu/unattended.h"

namespace cardemu::fuzz {

inline bool runStream(const uint8_t *data, size_t size, std::string *what) {
  PrinterConfig cfg;
  cfg.receiveLimit = 4u << 20;
  cfg.replyLimit = 4096;
  cfg.cardsKept = 4;
  cfg.feederCards = 40;
  cfg.ribbonRemaining = 30;
  cfg.model = size % 2 ? "LX3" : "CA1";
  Printer printer(cfg);
  uint32_t rng = static_cast<uint32_t>(size) * 2654435761u + 1;
  auto next = [&rng]() {
    rng = rng * 1664525u + 1013904223u;
    return rng >> 8;
  };
  size_t at = 0;
  int idle = 0;
  while (at < size) {
    const size_t piece = 1 + next() % (next() % 4 == 0 ? 4096 : 64);
    const size_t n = piece < size - at ? piece : size - at;
    const long taken = printer.write(data + at, n);
    if (taken < 0 || static_cast<size_t>(taken) > n) {
      *what = "write reported an impossible count";
      return false;
    }
    at += static_cast<size_t>(taken);
    if (taken == 0) {
      // Stopped with a full buffer: the button, then a forced clear, then an
      // interface reset must each let bytes in again.
      if (idle == 0)
        printer.pressButton();
      else if (idle == 1)
        printer.forceClear();
      else
        printer.softReset();
      if (++idle > 3) {
        *what = "the printer takes no more bytes and nothing frees it";
        return false;
      }
    } else {
      idle = 0;
    }
    switch (next() % 16) {
      case 0: printer.pressButton(); break;
      case 1: {
        uint8_t buf[64];
        printer.read(buf, sizeof buf);
        break;
      }
      case 2: printer.takeCards(); break;
      default: break;
    }
    const auto line = printer.lineStatus();
    if (!line || (*line != 0x18 && *line != 0x38 && *line != 0x30 && *line != 0x10)) {
      *what = "line status byte outside the ones the printer reports";
      return false;
    }
    if (printer.answerBytes() > cfg.replyLimit) {
      *what = "answer bytes beyond the limit";
      return false;
    }
  }
  printer.finish();
  const PrinterState s = printer.state();
  if (s.heldCommands > cfg.receiveLimit) {
    *what = "held commands beyond the receive limit";
    return false;
  }
  if (printer.takeCards().size() > cfg.cardsKept) {
    *what = "more cards kept than allowed";
    return false;
  }
  return true;
}

// The bytes run unattended, in pieces of changing sizes: every command of the
// stream must be listed, once and in stream order.
inline bool runUnattended(const uint8_t *data, size_t size, std::string *what) {
  PrinterConfig cfg;
  cfg.receiveLimit = 0;
  cfg.cardsKept = 0;
  cfg.feederCards = 40;
  cfg.ribbonRemaining = 30;
  cfg.model = size % 2 ? "CA1" : "LX3";
  Printer printer(cfg);
  uint64_t covered = 0;
  bool gap = false;
  printer.setCommandListener([&](const CommandRecord &r) {
    if (r.held) return;  // listed when it runs
    // Between commands only bytes the printer passes over (filler, the data
    // of a block whose header it refused), never an ESC: each ESC outside a
    // command's data begins one.
    if (r.command->offset < covered || r.command->offset > size) gap = true;
    for (uint64_t k = covered; !gap && k < r.command->offset; ++k) gap = data[k] == kEsc;
    covered = r.command->offset + r.command->length;
  });
  UnattendedRun run(printer);
  uint32_t rng = static_cast<uint32_t>(size) * 2246822519u + 7;
  for (size_t at = 0; at < size;) {
    rng = rng * 1664525u + 1013904223u;
    const size_t piece = 1 + (rng >> 8) % ((rng >> 4) % 4 == 0 ? 4096 : 64);
    const size_t n = piece < size - at ? piece : size - at;
    if (!run.feed(data + at, n)) {
      *what = "unattended run stopped: " + run.problem();
      return false;
    }
    at += n;
  }
  if (!run.finish()) {
    *what = "unattended run did not finish: " + run.problem();
    return false;
  }
  for (uint64_t k = covered; !gap && k < size; ++k) gap = data[k] == kEsc;
  if (gap) {
    *what = "unattended run: a command of the stream was not listed, or out of order (" + std::to_string(covered) +
            " of " + std::to_string(size) + " bytes listed)";
    return false;
  }
  return true;
}

}  // namespace cardemu::fuzz
