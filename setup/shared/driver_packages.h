// The driver store through difxapi.dll, taken from the system folder only: a
// copy of it beside the installer must not be loaded instead.  The store's
// own answer is not reported; both installation modules go on whatever it
// was.
#pragma once

#include "setup/shared/wide_text.h"

namespace card::setup {

// DriverPackagePreinstallW with no flags.  False when the library or the
// function is missing.
bool preinstallDriverPackage(const WString &infPath);
// DriverPackageUninstallW with no flags and no installer information.
// False when the library or the function is missing.
bool uninstallDriverPackage(const WString &infPath);

}  // namespace card::setup
