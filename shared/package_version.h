// The driver package's version: what the monitors answer to the file
// version query, and what a settings record of this version carries in the
// area the configuration module keeps (the installer writes it, the version
// stamp after an update too).
#pragma once

#include <string_view>

namespace card {

inline constexpr std::string_view kPackageVersion = "8.00.02.01";

}  // namespace card
