// The package's INF files in the system's INF folder, where the driver
// store puts them under the names "oem<N>.inf".
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <vector>

#include "setup/shared/wide_text.h"

namespace card::setup {

// "<Windows directory>\INF".
WString infFolder();
// The names ("oem3.inf") of the INF files of the folder that open as
// version-4 INF files and whose section "Ostrand" begins with a line
// carrying the package's marker; files of other drivers are never listed.
std::vector<WString> packageOemInfs();
// Deletes the INF file of the folder and its precompiled file.
void deleteInfAndPrecompiled(const WString &infName);

// SetupUninstallOEMInfW, bound by name in setupapi.dll.
using UninstallOemInfProc = decltype(&SetupUninstallOEMInfW);
// Takes every package INF out of the driver store (forced, as a device may
// still name it); one the store refuses is deleted from the folder with its
// precompiled file.  True when at least one was found and the last one
// found was taken out by the store.
bool uninstallPackageOemInfs(UninstallOemInfProc uninstall);

}  // namespace card::setup
