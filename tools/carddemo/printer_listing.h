// What the emulated printer took, recorded on its threads as it happens: the
// listing of its commands and cards, and the messages of its data channel.
#pragma once

#include <cstddef>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "emulator/include/cardemu/net_printer.h"
#include "emulator/include/cardemu/printer.h"
#include "tools/carddemo/machine.h"
#include "tools/carddemo/pacing.h"

namespace carddemo {

// The printer's listing: every command as it runs, each card as it comes out.
class PrinterListing {
 public:
  PrinterListing(cardemu::Printer &printer, const fs::path &file);
  bool close();
  // Where the listing is now, and the command lines listed since.
  size_t mark();
  std::vector<std::string> linesSince(size_t mark);
  size_t commands = 0, errors = 0;
  std::vector<cardemu::Card> cards;

 private:
  std::mutex lock_;
  std::ofstream listing_;
  std::string cardLines_;
  std::vector<std::string> lines_;
};

// The data channel's messages as the emulated printer took them, with the
// machine's time; filled on the printer's service thread.
class FrameLog {
 public:
  void add(const cardemu::DataFrame &f);
  std::vector<NetFrame> taken();

 private:
  std::mutex lock_;
  std::vector<NetFrame> frames_;
};

}  // namespace carddemo
