// The printer's listing and the data channel's messages, taken from the
// emulated printer's listeners under a lock of their own.
#include "tools/carddemo/printer_listing.h"

#include <windows.h>

#include <algorithm>

#include "emulator/include/cardemu/listing.h"

namespace carddemo {

PrinterListing::PrinterListing(cardemu::Printer &printer, const fs::path &file) : listing_(file) {
  printer.setCommandListener([this](const cardemu::CommandRecord &r) {
    std::lock_guard<std::mutex> g(lock_);
    if (r.held) return;  // listed when it runs
    ++commands;
    if (r.error) ++errors;
    const std::string line = cardemu::listingLine(r);
    listing_ << line << "\n" << cardLines_;
    lines_.push_back(line);
    cardLines_.clear();
  });
  printer.setCardListener([this](const cardemu::Card &card) {
    std::lock_guard<std::mutex> g(lock_);
    cards.push_back(card);
    cardLines_ += "          -- card " + std::to_string(card.number) + " out --\n";
    const std::string summary = card.summary();
    for (size_t at = 0, nl; at < summary.size(); at = nl + 1) {
      nl = summary.find('\n', at);
      if (nl == std::string::npos) nl = summary.size();
      cardLines_ += "             " + summary.substr(at, nl - at) + "\n";
    }
  });
}

bool PrinterListing::close() {
  std::lock_guard<std::mutex> g(lock_);
  listing_ << cardLines_;
  listing_.close();
  return bool(listing_);
}

size_t PrinterListing::mark() {
  std::lock_guard<std::mutex> g(lock_);
  return lines_.size();
}

std::vector<std::string> PrinterListing::linesSince(size_t mark) {
  std::lock_guard<std::mutex> g(lock_);
  return {lines_.begin() + std::ptrdiff_t(std::min(mark, lines_.size())), lines_.end()};
}

void FrameLog::add(const cardemu::DataFrame &f) {
  std::lock_guard<std::mutex> g(lock_);
  frames_.push_back({GetTickCount64(), f.length, f.head});
}

std::vector<NetFrame> FrameLog::taken() {
  std::lock_guard<std::mutex> g(lock_);
  return std::move(frames_);
}

}  // namespace carddemo
