// Taking the package's printers off the machine with their drivers,
// monitors and the spooler's keys, and leaving everything else.
#include <gtest/gtest.h>
#include <windows.h>
#include <winspool.h>
#include <winsim/testing.h>

#include <string>
#include <vector>

#include "setup/shared/printer_removal.h"
#include "setup/shared/registry_cleanup.h"
#include "setup/tests/support/machine_files.h"

namespace card::setup {
namespace {

using testing::keyExists;
using testing::makeKey;

const std::u16string kPrinters = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";
const std::u16string kMonitors = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\";
const std::u16string kPorts = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports\\";
const std::u16string kDrivers =
    u"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows x64\\Drivers\\Version-3\\";

class PrinterRemoval : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::resetMachine();
    winsim::setOsVersion(10, 0, 19045, true);
  }
  void TearDown() override { winsim::resetMachine(); }

  static bool install(const std::u16string &printer, const std::u16string &driver, const std::u16string &port) {
    winsim::PrinterSetup setup;
    setup.printerName = printer;
    setup.driverName = driver;
    setup.portName = port;
    return winsim::installPrinter(setup);
  }
  static bool printerExists(const std::u16string &name) {
    HANDLE printer = nullptr;
    std::u16string copy = name;
    if (!OpenPrinterW(copy.data(), &printer, nullptr)) return false;
    ClosePrinter(printer);
    return true;
  }
  static std::vector<std::u16string> driverNames() {
    std::vector<std::u16string> names;
    DWORD needed = 0, count = 0;
    EnumPrinterDriversW(nullptr, nullptr, 1, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed + 1);
    if (!EnumPrinterDriversW(nullptr, nullptr, 1, buffer.data(), needed, &needed, &count)) return names;
    auto *drivers = reinterpret_cast<DRIVER_INFO_1W *>(buffer.data());
    for (DWORD i = 0; i < count; ++i) names.emplace_back(drivers[i].pName);
    return names;
  }
  static bool hasDriver(const std::u16string &name) {
    for (const auto &n : driverNames())
      if (n == name) return true;
    return false;
  }
};

TEST_F(PrinterRemoval, PackagePrintersGoWithTheirDriversMonitorsAndKeys) {
  ASSERT_TRUE(winsim::addStandardTcpIpPort(u"IP_127.0.5.20", u"127.0.5.20"));
  ASSERT_TRUE(winsim::addStandardTcpIpPort(u"IP_127.0.5.21", u"127.0.5.21"));
  ASSERT_TRUE(install(u"Card Net", u"Pellor Standard Network", u"IP_127.0.5.20"));
  ASSERT_TRUE(install(u"Pellor CA3 Card Printer USB", u"Pellor CA3 Card Printer USB", u"FILE:"));
  ASSERT_TRUE(install(u"Office", u"Office Laser", u"IP_127.0.5.21"));
  ASSERT_TRUE(makeKey(kMonitors + u"Pellor Standard Network Language Monitor"));
  ASSERT_TRUE(makeKey(kMonitors + u"Pellor Standard USB Language Monitor"));

  removePackagePrinters(0);

  EXPECT_FALSE(printerExists(u"Card Net"));
  EXPECT_FALSE(printerExists(u"Pellor CA3 Card Printer USB"));
  EXPECT_TRUE(printerExists(u"Office"));
  EXPECT_FALSE(hasDriver(u"Pellor Standard Network"));
  EXPECT_FALSE(hasDriver(u"Pellor CA3 Card Printer USB"));
  EXPECT_TRUE(hasDriver(u"Office Laser"));
  EXPECT_FALSE(keyExists(kPrinters + u"Card Net"));
  EXPECT_FALSE(keyExists(kMonitors + u"Pellor Standard Network Language Monitor"));
  EXPECT_FALSE(keyExists(kMonitors + u"Pellor Standard USB Language Monitor"));
  EXPECT_FALSE(keyExists(kPorts + u"IP_127.0.5.20"));
  EXPECT_FALSE(keyExists(kDrivers + u"Pellor Standard Network"));
  EXPECT_TRUE(keyExists(kPorts + u"IP_127.0.5.21"));
  EXPECT_TRUE(keyExists(kDrivers + u"Office Laser"));
  EXPECT_TRUE(keyExists(kPrinters + u"Office"));
}

TEST_F(PrinterRemoval, APortAnotherPrinterUsesKeepsItsKey) {
  ASSERT_TRUE(winsim::addStandardTcpIpPort(u"IP_127.0.5.20", u"127.0.5.20"));
  ASSERT_TRUE(install(u"Card Net", u"Pellor Standard Network", u"IP_127.0.5.20"));
  ASSERT_TRUE(install(u"Office", u"Office Laser", u"IP_127.0.5.20"));
  removePackagePrinters(0);
  EXPECT_FALSE(printerExists(u"Card Net"));
  EXPECT_TRUE(keyExists(kPorts + u"IP_127.0.5.20"));
  EXPECT_TRUE(printerExists(u"Office"));
}

TEST_F(PrinterRemoval, ADriverKeyNamedLikeThePrinterStaysWhenItIsAnotherDriversOwn) {
  ASSERT_TRUE(install(u"Office Laser", u"Pellor CA1 Card Printer USB", u"FILE:"));
  ASSERT_TRUE(install(u"Office", u"Office Laser", u"FILE:"));
  removePackagePrinters(0);
  EXPECT_FALSE(hasDriver(u"Pellor CA1 Card Printer USB"));
  EXPECT_TRUE(hasDriver(u"Office Laser"));
  EXPECT_TRUE(keyExists(kDrivers + u"Office Laser"));
}

TEST_F(PrinterRemoval, DeletingByNameTakesEveryCaseOfTheName) {
  ASSERT_TRUE(install(u"Card Printer", u"Pellor CA1 Card Printer USB", u"FILE:"));
  EXPECT_EQ(deletePrinterNamed(u"CARD PRINTER", 0), DWORD(ERROR_SUCCESS));
  EXPECT_FALSE(printerExists(u"Card Printer"));
  EXPECT_EQ(deletePrinterNamed(u"Card Printer", 0), DWORD(ERROR_SUCCESS));  // nothing left to delete
  EXPECT_EQ(deleteDriverNamed(u"pellor ca1 card printer usb"), DWORD(ERROR_SUCCESS));
  EXPECT_FALSE(hasDriver(u"Pellor CA1 Card Printer USB"));
}

TEST_F(PrinterRemoval, RemainingDriversOfThePackageGoAndOthersStay) {
  ASSERT_TRUE(install(u"Office", u"Office Laser", u"FILE:"));
  ASSERT_TRUE(install(u"Card", u"Pellor CA2 Card Printer USB", u"FILE:"));
  ASSERT_TRUE(install(u"Card Net", u"Pellor Standard Network", u"FILE:"));
  // Printers deleted by hand leave their drivers behind.
  for (const char16_t *name : {u"Card", u"Card Net"}) {
    HANDLE printer = nullptr;
    PRINTER_DEFAULTSW all = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    std::u16string copy = name;
    ASSERT_TRUE(OpenPrinterW(copy.data(), &printer, &all));
    ASSERT_TRUE(DeletePrinter(printer));
    ClosePrinter(printer);
  }
  deletePackageDrivers();
  EXPECT_FALSE(hasDriver(u"Pellor CA2 Card Printer USB"));
  EXPECT_FALSE(hasDriver(u"Pellor Standard Network"));
  EXPECT_TRUE(hasDriver(u"Office Laser"));
}

TEST_F(PrinterRemoval, MarkedPrinterKeysGoWhereverTheMarkStands) {
  for (const char16_t *name :
       {u"Old Pellor CA1 copy", u"Pellor CA3 (2)", u"My Pellor Standard", u"Office", u"pellor ca1 lower"})
    ASSERT_TRUE(makeKey(kPrinters + name + u"\\PrinterDriverData"));
  deleteMarkedPrinterKeys();
  EXPECT_FALSE(keyExists(kPrinters + u"Old Pellor CA1 copy"));
  EXPECT_FALSE(keyExists(kPrinters + u"Pellor CA3 (2)"));
  EXPECT_FALSE(keyExists(kPrinters + u"My Pellor Standard"));
  EXPECT_TRUE(keyExists(kPrinters + u"Office"));
  EXPECT_TRUE(keyExists(kPrinters + u"pellor ca1 lower"));  // the marks are case-sensitive
}

TEST_F(PrinterRemoval, OnlyOtherMonitorsLibrariesCountAsForeign) {
  auto monitor = [](const std::u16string &name, const std::u16string &driver) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (kMonitors + name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, u"Driver", 0, REG_SZ, reinterpret_cast<const BYTE *>(driver.c_str()),
                             DWORD((driver.size() + 1) * 2)),
              ERROR_SUCCESS);
    RegCloseKey(key);
  };
  monitor(u"USB Monitor", u"usbmon.dll");
  monitor(u"Pellor Standard Network Language Monitor", u"netmon.dll");
  std::vector<std::u16string> foreign = foreignMonitorFiles();
  ASSERT_EQ(foreign.size(), 1u);
  EXPECT_EQ(foreign[0], u"usbmon.dll");
}

}  // namespace
}  // namespace card::setup
