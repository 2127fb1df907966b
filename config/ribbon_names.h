// The driver package's ribbon name table: "cardribbon.INI" in the version-3
// folder below the printer driver directory, section "Ribbon Type", one key
// per ribbon.  A data file of the package, only read; the monitors' ribbon
// cache has the same base name but lives elsewhere.
#pragma once

#include <string>

namespace card::cfg {

// The name the table gives `key` (at most 31 characters), or `fallback` when
// the table or the key is missing.
std::string ribbonNameFromTable(const std::string &key, const char *fallback);

}  // namespace card::cfg
