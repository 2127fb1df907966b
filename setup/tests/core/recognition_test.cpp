// How the installation modules recognise what is the package's: driver
// names, USB hardware IDs, the marker line of an INF file, and the registry
// keys built from printer and port names.
#include <gtest/gtest.h>

#include <string>

#include "setup/shared/inf_marker.h"
#include "setup/shared/package_names.h"
#include "setup/shared/purge_lists.h"
#include "setup/shared/usb_hardware_ids.h"

namespace card::setup {
namespace {

TEST(PackageNames, DriverNamesMatchWithoutCaseAndNothingElse) {
  EXPECT_EQ(packageDriverOf(u"Pellor Standard Network"), PackageDriver::Network);
  EXPECT_EQ(packageDriverOf(u"PELLOR STANDARD NETWORK"), PackageDriver::Network);
  EXPECT_EQ(packageDriverOf(u"pellor ca1 card printer usb"), PackageDriver::Usb);
  EXPECT_EQ(packageDriverOf(u"Pellor CA2 Card Printer USB"), PackageDriver::Usb);
  EXPECT_EQ(packageDriverOf(u"Pellor CA3 Card Printer USB"), PackageDriver::Usb);
  EXPECT_EQ(packageDriverOf(u"Pellor CA4 Card Printer USB"), PackageDriver::None);
  EXPECT_EQ(packageDriverOf(u"Pellor Standard Network "), PackageDriver::None);
  EXPECT_EQ(packageDriverOf(u"Pellor Standard"), PackageDriver::None);
  EXPECT_EQ(packageDriverOf(u""), PackageDriver::None);
}

// A list as SetupDiGetDeviceRegistryPropertyW hands it back: strings each
// ended by a NUL, and an empty string at the end.
std::u16string idList(std::initializer_list<std::u16string> ids) {
  std::u16string list;
  for (const auto &id : ids) list += id + u'\0';
  return list + u'\0';
}

bool listMatches(const std::u16string &list) { return hardwareIdListMatches(list.data(), list.size()); }

TEST(UsbHardwareIds, EachPatternIsFoundInsideAnId) {
  for (std::u16string_view pattern : kUsbHardwareIdPatterns) {
    std::u16string id = u"X" + std::u16string(pattern) + u"9A7B";
    EXPECT_TRUE(isPackageHardwareId(id)) << std::string(id.begin(), id.end());
  }
  EXPECT_TRUE(isPackageHardwareId(u"USBPRINT\\PELLO_CARD_PRINTER_CA3C5A1"));
  EXPECT_TRUE(isPackageHardwareId(u"USBPRINT\\PELLO_CARD_PRINTERLX3E0F2"));
  // Case-sensitive, and the bus prefix belongs to the pattern.
  EXPECT_FALSE(isPackageHardwareId(u"usbprint\\pello_card_printer_ca3c5a1"));
  EXPECT_FALSE(isPackageHardwareId(u"PELLO_CARD_PRINTER_CA3C5A1"));
  EXPECT_FALSE(isPackageHardwareId(u"USBPRINT\\PELLO_CARD_PRINTERX"));
  EXPECT_FALSE(isPackageHardwareId(u"USB\\VID_1234&PID_5678"));
}

TEST(UsbHardwareIds, TheWalkLooksAtEveryStringOfTheList) {
  EXPECT_TRUE(listMatches(idList({u"USB\\VID_0F0F&PID_0003", u"USBPRINT\\PELLO_CARD_PRINTER_CA1D00D"})));
  EXPECT_TRUE(listMatches(idList({u"USBPRINT\\PELLO_CARD_PRINTER_CA3C5A1", u"PELLO_CARD_PRINTER_CA3C5A1"})));
  EXPECT_FALSE(listMatches(idList({u"USB\\VID_0F0F&PID_0003", u"USBPRINT\\OTHER_PRINTER"})));
  EXPECT_FALSE(listMatches(idList({})));
  EXPECT_FALSE(hardwareIdListMatches(nullptr, 10));
}

TEST(UsbHardwareIds, TheWalkEndsAtTheEmptyStringAndAtTheSizeGiven) {
  // A matching ID after the list's end is not the device's.
  std::u16string afterEnd = idList({u"USB\\VID_0F0F"}) + u"USBPRINT\\PELLO_CARD_PRINTER_CA1" + u'\0';
  EXPECT_FALSE(listMatches(afterEnd));
  // Nothing beyond the size is read: the ID is cut before the pattern ends.
  std::u16string list = idList({u"USBPRINT\\PELLO_CARD_PRINTER_CA3"});
  EXPECT_FALSE(hardwareIdListMatches(list.data(), 20));
  // The last string may lack its NUL inside the size.
  EXPECT_TRUE(hardwareIdListMatches(list.data(), list.find(u'\0')));
}

TEST(InfMarker, OnlyTheMarkerInItsOwnCaseMarksThePackage) {
  EXPECT_TRUE(isPackageMarkerLine(u"OSTRANDDRIVER"));
  EXPECT_TRUE(isPackageMarkerLine(u"Driver=OSTRANDDRIVER,1"));
  EXPECT_FALSE(isPackageMarkerLine(u"ostranddriver"));
  EXPECT_FALSE(isPackageMarkerLine(u"OTHERVENDORDRIVER"));
  EXPECT_FALSE(isPackageMarkerLine(u"OSTRAND DRIVER"));
  EXPECT_FALSE(isPackageMarkerLine(u""));
}

TEST(InfMarker, ThePrecompiledFileIsNamedOnlyFromAnExtension) {
  EXPECT_EQ(precompiledInfName(u"oem7.inf"), u"oem7.pnf");
  EXPECT_EQ(precompiledInfName(u"OEM12.INF"), u"OEM12.pNF");
  EXPECT_EQ(precompiledInfName(u"oem.7.inf"), u"oem.7.pnf");
  EXPECT_EQ(precompiledInfName(u"oem7"), u"");
  EXPECT_EQ(precompiledInfName(u"oem7."), u"");
  EXPECT_EQ(precompiledInfName(u"dir.x\\oem7"), u"");
}

TEST(PurgeKeys, AKeyIsNamedOnlyByANameThatCanBeOneKey) {
  EXPECT_EQ(subkeyPath(kPrintersKey, u"Pellor CA1 Card Printer USB"),
            u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Pellor CA1 Card Printer USB");
  EXPECT_EQ(subkeyPath(kTcpPortsKey, u"IP_127.0.5.20"),
            u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports\\IP_127.0.5.20");
  // Without a name the path would be the whole list of printers or ports.
  EXPECT_EQ(subkeyPath(kPrintersKey, u""), u"");
  EXPECT_EQ(subkeyPath(kTcpPortsKey, u"\\\\server\\share"), u"");
  // No part of a long name is lost.
  std::u16string longName(600, u'n');
  EXPECT_EQ(subkeyPath(kPrintersKey, longName).size(), kPrintersKey.size() + 1 + 600);
}

TEST(PurgeKeys, TheDriversKeyFollowsTheSystem) {
  EXPECT_EQ(driversKeyPath(true),
            u"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows x64\\Drivers\\Version-3");
  EXPECT_EQ(driversKeyPath(false),
            u"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows NT x86\\Drivers\\Version-3");
}

}  // namespace
}  // namespace card::setup
