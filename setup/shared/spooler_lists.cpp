#include "setup/shared/spooler_lists.h"

#include <new>

namespace card::setup {

namespace {

template <typename Enumerate>
SpoolerListing enumerateInto(Enumerate enumerate) {
  SpoolerListing listing;
  DWORD needed = 0, count = 0;
  for (int attempt = 0; attempt < 4; ++attempt) {
    if (enumerate(listing.data.get(), needed, &needed, &count)) {
      listing.count = listing.data ? count : 0;
      return listing;
    }
    DWORD error = GetLastError();
    if (error != ERROR_INSUFFICIENT_BUFFER || needed == 0) {
      listing.error = error;
      return listing;
    }
    listing.data.reset(new (std::nothrow) BYTE[needed]());
    if (!listing.data) {
      listing.error = ERROR_NOT_ENOUGH_MEMORY;
      return listing;
    }
  }
  listing.error = ERROR_INSUFFICIENT_BUFFER;
  return listing;
}

}  // namespace

SpoolerListing enumeratePrinters(DWORD flags, DWORD level) {
  return enumerateInto([&](LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD count) {
    return EnumPrintersW(flags, nullptr, level, buffer, size, needed, count);
  });
}

SpoolerListing enumerateDrivers(LPCWSTR environment) {
  return enumerateInto([&](LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD count) {
    return EnumPrinterDriversW(nullptr, const_cast<LPWSTR>(environment), 1, buffer, size, needed, count);
  });
}

}  // namespace card::setup
