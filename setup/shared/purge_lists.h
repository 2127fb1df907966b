// What the clean-up after an uninstall takes off the machine, by name: the
// package's files in each folder, the driver folders of earlier versions,
// and the spooler's registry keys for the package.  Pure data and text, no
// Windows calls.
#pragma once

#include <string>
#include <string_view>

namespace card::setup {

// In the system directory.  Earlier versions installed the USB language
// monitor as usbmon.dll, the name of Windows' own USB port monitor; that
// file goes only when no other monitor names it.
inline constexpr std::u16string_view kSystemFolderFiles[] = {u"usbmon.dll",   u"cardusbmon.dll", u"netmon.dll",
                                                             u"verstamp.dll", u"drvsetup.exe",   u"notifytray.exe"};
// In the Windows directory's "inf" folder.
inline constexpr std::u16string_view kInfFolderFiles[] = {u"carddrv.inf", u"carddrv.PNF", u"instlib.dll",
                                                          u"verstamp.dll"};
// In a printer-driver directory and in its version folders.
inline constexpr std::u16string_view kDriverFolderFiles[] = {
    u"cardrend.dll",   u"cardcfg.dll", u"carddrv.dat",   u"cardcc.BMP",      u"Ostrandlogo.bmp",
    u"cardribbon.INI", u"cardres.dll", u"notifysrv.dll", u"cardrendnet.dll", u"cardcfgnet.dll",
    u"cardnet.dat",    u"usbmon.dll",  u"carddrv.chm",   u"cardusbmon.dll",  u"cardhelp.chm",
    u"cardresnet.dll",
};
// The printer-driver directory itself, then its version folders 3 and 2.
inline constexpr std::u16string_view kDriverSubfolders[] = {u"", u"\\3", u"\\2"};
// Driver folders that earlier versions of the package left in the
// printer-driver directory, removed whole, in this order.
inline constexpr std::u16string_view kOldDriverFolders[] = {
    u"pellor_card_printerc1f8f7", u"pello_card_printerc1706e", u"pellor_card_printerc1388e",
    u"pellor_card_printerl4780",  u"pellor_card_printerlA841", u"pellor_card_printerl9864",
    u"pellor_card_printerl258E",  u"pellor_card_printerc158C", u"pellor_card_printerlC831",
    u"pellor_card_printerc1097",  u"pellor_card_printerlC84F", u"pellor_card_printerl584B",
    u"pellor_card_printerl37b4b",
};
// The ribbon cache file, in the all-users documents folder (application
// data folder before Windows 6).
inline constexpr std::u16string_view kRibbonCacheFile = u"cardribbon.INI";

// The spooler's keys, under the local-machine hive.
inline constexpr std::u16string_view kPrintersKey = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers";
inline constexpr std::u16string_view kMonitorsKey = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors";
inline constexpr std::u16string_view kTcpPortsKey =
    u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports";
// The driver key of an earlier package's USB driver, whose subkeys bear the
// names of printers.
inline constexpr std::u16string_view kUnifiedDriverKey =
    u"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows x64\\Drivers\\Version-3\\"
    u"Pellor Unified Standard Card Printer USB";
inline constexpr std::u16string_view kPackageSoftwareKey = u"SOFTWARE\\Pellor Standard Printers";
// Printer keys whose names hold one of these are the package's, taken in
// this order.
inline constexpr std::u16string_view kPrinterKeyMarks[] = {u"Pellor CA1", u"Pellor CA3", u"Pellor Standard"};

// "<parent>\<name>".  Empty when `name` cannot be the name of one key
// (empty, or holding a backslash): such a path would name the parent itself
// or a key elsewhere, and deleting it would take what is not the package's.
std::u16string subkeyPath(std::u16string_view parent, std::u16string_view name);
// The version-3 drivers key of the environment, "...\Environments\Windows
// x64\Drivers\Version-3" or the "Windows NT x86" one.
std::u16string driversKeyPath(bool sixtyFourBitSystem);

}  // namespace card::setup
