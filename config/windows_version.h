// Which Windows the module runs on, by the registry's CurrentVersion text
// ("6.3" on every system since Windows 8.1).
#pragma once

namespace card::cfg {

// Windows 6.0 or later.
bool windowsSixOrLater();
// The exact Windows version text ("5.0", "6.1" ...) begins with `prefix`.
bool windowsVersionIs(const char *prefix);

}  // namespace card::cfg
