// The demo's simulated machine: the folder that backs its virtual drive, the
// output folder, and the package installed as a user's machine has it.
#pragma once

#include <winsim/testing.h>

#include <filesystem>
#include <memory>
#include <string>

namespace carddemo {

namespace fs = std::filesystem;

inline constexpr char16_t kPrinterName[] = u"Pellor CA3 Card Printer USB";
// The network road: the printer on a loopback address of its own, reached
// through a Standard TCP/IP port and the network language monitor, both
// installed with the installer library as on the USB road.
inline constexpr char16_t kNetPrinterName[] = u"Pellor CA3 Card Printer Network";
inline constexpr char16_t kNetDriverName[] = u"Pellor Standard Network";
inline constexpr char16_t kNetMonitorName[] = u"Pellor Standard Network Language Monitor";
inline constexpr char16_t kNetPortName[] = u"IP_127.0.5.20";
inline constexpr char kNetPrinterAddress[] = "127.0.5.20";
inline constexpr char kNetPrinterHostName[] = "cardprinter";
// One of the package's driver names, which the tray program registers
// printers of.
inline constexpr char16_t kDriverName[] = u"Pellor CA3 Card Printer USB";
inline constexpr char16_t kMonitorName[] = u"Pellor Standard USB Language Monitor";
inline constexpr char16_t kPortName[] = u"USB001";
inline constexpr char16_t kSystemFolder[] = u"C:\\Windows\\system32";
inline constexpr char16_t kTrayProgram[] = u"notifytray.exe";
// The tray program's icon in the notification area, by its tip.
inline constexpr char16_t kTrayTip[] = u"Pellor AsyncUI Client";
inline constexpr int kTrayIconGroup = 101;

// A fresh machine folder: made (or an empty one taken) and marked, or a
// folder marked by an earlier run emptied.  Anything else is left alone and
// false returned with the reason.
bool prepareMachine(const fs::path &dir, std::string &problem);
// Whether `inner` lies in `outer` (or is it).
bool within(const fs::path &inner, const fs::path &outer);
// Removes the results of an earlier run from the output folder.
void clearOutputs(const fs::path &out);

// The version-3 folder of the spooler's driver directory, where the package's
// modules load their libraries from ("C:\Windows\system32\spool\DRIVERS\x64\3");
// empty when the spooler names none.
std::u16string driverFolder();

// The calling process made the spooler (spoolsv.exe in session 0) with the
// console user in session 1, where the monitors' messages are shown.
void playTheSpooler();

// On a machine just reset onto its drive: the calling process made the
// spooler (session 0), the language monitor installed as an installer does,
// its message library and the notification server in the driver directory,
// the tray program in the system folder, `device` plugged into USB001 and the card printer with
// its driver on that port.
bool installPackage(std::shared_ptr<winsim::UsbDevice> device, std::string &problem);

// Adds the configuration module at `dll` (a host path) to a printer's driver
// (the USB printer's by default) as an installer upgrades a driver: the file
// into the driver folder and the driver's record added again with it as its
// configuration file.
bool addConfigurationModule(const fs::path &dll, std::string &problem, const char16_t *printerName = kPrinterName);

}  // namespace carddemo
