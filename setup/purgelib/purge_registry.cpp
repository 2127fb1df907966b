// Steps 1 to 3: printers, drivers, registry keys and devices.
#include <windows.h>

#include "setup/purgelib/purge.h"
#include "setup/shared/package_names.h"
#include "setup/shared/printer_removal.h"
#include "setup/shared/purge_lists.h"
#include "setup/shared/registry_cleanup.h"
#include "setup/shared/usb_devices.h"

namespace card::setup {

void removePrintersAndDrivers() {
  removePackagePrinters(0);
  deletePackageDrivers();
}

void cleanRegistryAndDevices() {
  // Printers of the package that could not be deleted keep no keys.
  std::vector<LocalPrinter> printers = localPrinters();
  for (const LocalPrinter &printer : printers) {
    PackageDriver kind = packageDriverOf(u16(printer.driver.c_str()));
    if (kind == PackageDriver::None) continue;
    std::u16string name = u16(printer.name.c_str());
    deleteMachineTree(subkeyPath(kPrintersKey, name));
    if (kind == PackageDriver::Network) {
      deleteMachineTree(subkeyPath(kMonitorsKey, kNetworkMonitor));
      // The port is this printer's own only when no other printer prints to it.
      std::vector<LocalPrinter> others;
      for (const LocalPrinter &other : printers)
        if (&other != &printer) others.push_back(other);
      if (!portInUse(others, printer.port)) deleteMachineTree(subkeyPath(kTcpPortsKey, u16(printer.port.c_str())));
    }
    deleteMachineTree(subkeyPath(kUnifiedDriverKey, name));
  }
  deleteMarkedPrinterKeys();
  removeUsbPrintDevices();
  deleteMachineTree(kPackageSoftwareKey);
}

}  // namespace card::setup
