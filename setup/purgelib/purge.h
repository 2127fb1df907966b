// The clean-up after an uninstall, step by step.  Every step goes on after
// a failure of the one before; nothing is reported.
#pragma once

namespace card::setup {

// The package's printers with their drivers, monitors and spooler keys,
// then the package's drivers that no printer used.
void removePrintersAndDrivers();
// What is left in the registry of printers of the package, and the USB
// printer devices.
void cleanRegistryAndDevices();
// The package's files: system and INF folders, the package's INF files in
// the driver store, the driver folders, the ribbon cache file.
void deletePackageFiles();
// The driver folders that earlier versions left.
void removeOldDriverFolders();

}  // namespace card::setup
