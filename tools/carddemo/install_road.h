// The demo's printers installed and removed the way the package's installer
// does it: the package laid out in C:\Setup, the installer library loaded
// from there and its exports called by name, one step at a time, each step
// and its result said on the console for the people watching.  The USB and
// the network printer take the same steps; what differs (the files, the
// names, how the printer reaches its port) is the road's data.
#pragma once

#include <winsim/testing.h>

#include "emulator/include/cardemu/net_printer.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace carddemo {

inline constexpr char16_t kSetupFolder[] = u"C:\\Setup";

// A file of the package as its installer carries it: the host file and its
// name in the setup folder.
struct SetupFile {
  const char *host;
  const char16_t *name;
};

// One driver of the package and its printer, as the installer installs them.
struct Road {
  enum class Connection { Usb, Network };
  Connection connection;
  const char16_t *inf;                        // in C:\Setup
  std::vector<SetupFile> setupFiles;          // what C:\Setup holds
  std::vector<const char16_t *> driverFiles;  // copied into the driver folder
  const char16_t *dataFile;                   // the default settings file made there
  const char16_t *driverName, *driverFile, *configFile;
  const char16_t *driverMonitor;  // the language monitor the driver names
  const char16_t *dependents[4];
  const char16_t *monitorName, *monitorFile;  // the monitor file goes into the system folder
  const char16_t *printerName, *portName;
};
const Road &usbRoad();
const Road &networkRoad();

// The installer library, loaded from the setup folder for the machine's
// whole run: the uninstall calls it again after printing.  The machine's
// reset unloads it with everything else.
class Installer {
 public:
  explicit Installer(const Road &road = usbRoad()) : road_(road) {}
  Installer(const Installer &) = delete;
  Installer &operator=(const Installer &) = delete;

  // The package's files in C:\Setup and the library loaded from there.
  bool layOut(std::string &problem);
  // The installer's steps for the USB printer; `device` is plugged into
  // USB001 before the printer is added on it.  `ribbonId` is the ribbon
  // chosen for the demo (cardprint's numbering; unset: the printer's), which
  // goes into the driver's default settings file.
  bool install(std::shared_ptr<winsim::UsbDevice> device, int ribbonId, std::string &problem);
  // The same for the network printer: its services (`ports`, listening on
  // kNetPrinterAddress) declared to the machine's network and the Standard
  // TCP/IP port that names its address made before the printer is added.
  bool install(const cardemu::NetPorts &ports, int ribbonId, std::string &problem);
  // Every printer of the package, the driver store's copy, the RunOnce
  // entry of the clean-up, the USB printer unplugged, the library let go
  // and the setup folder deleted.
  bool uninstall(std::string &problem);
  // Lets the library go, as the installer does when it ends.
  void release();

 private:
  template <typename F>
  F exported(const char *name, std::string &problem);
  // The steps both printers take; `connect` puts the printer on its port
  // between the monitor and the printer.
  bool installWith(int ribbonId, const std::function<bool(std::string &)> &connect, std::string &problem);
  bool copyDriverFiles(const std::u16string &driverDir, std::string &problem);
  const Road &road_;
  HMODULE module_ = nullptr;
};

// After an update the installer runs "rundll32 verstamp.dll,UpdateVersionInfo";
// the version text found at its place in the printer's default settings
// afterwards (empty when they have none).
bool stampVersion(std::u16string &stamp, std::string &problem);

}  // namespace carddemo
