// The spooler's lists of printers and drivers, fetched whole: asked for the
// size, then filled, and asked again while the list grows between the two.
#pragma once

#include <windows.h>
#include <winspool.h>

#include <memory>

namespace card::setup {

struct SpoolerListing {
  std::unique_ptr<BYTE[]> data;  // zero-filled, as the level's records
  DWORD count = 0;
  DWORD error = ERROR_SUCCESS;  // ERROR_NOT_ENOUGH_MEMORY when no buffer could be had
};

SpoolerListing enumeratePrinters(DWORD flags, DWORD level);
SpoolerListing enumerateDrivers(LPCWSTR environment);

}  // namespace card::setup
