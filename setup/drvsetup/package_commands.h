// drvsetup's commands on the system: the driver package into the driver
// store and out of it.  Each is silent; a missing library or function
// selects the fallback, and no failure is reported.
#pragma once

#include "setup/shared/wide_text.h"

namespace card::setup {

// Copies the INF into the driver store (SetupCopyOEMInfW from the INF's own
// folder); when that cannot be done, pre-installs the package with difxapi.
void installPackage(const WString &infPath);
// Takes the package's INF files out of the driver store; when none was
// found, or the last one could not be taken out, uninstalls the package
// named on the command line with difxapi.
void uninstallPackage(const WString &infPath);

}  // namespace card::setup
