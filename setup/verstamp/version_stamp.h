// The version stamp an update writes into a printer's default settings, so
// that the configuration module and the renderer see settings of the
// version now installed.  Pure logic.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace card::setup {

// The room the stamp (the package's version) has at the start of the
// configuration module's area of the private part.
inline constexpr size_t kVersionRoom = 16;

// The settings `devmode` (`size` bytes, a DEVMODE whose standard part is
// `standardSize` bytes) with the stamp written and a private part of the
// whole record's size: bytes past the old settings are zero, and settings
// longer than the standard part and the record are cut to them.  Empty when
// the standard part is not whole.
std::vector<uint8_t> stampedSettings(const uint8_t *devmode, size_t size, size_t standardSize);

}  // namespace card::setup
