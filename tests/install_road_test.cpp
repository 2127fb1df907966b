// The demo's installer road in one process: the package installed from
// C:\Setup through the installer library as the package's installer does,
// used, uninstalled with the clean-up at the next log-on, and installed
// again on the same machine; the network printer's road the same way.
#include <gtest/gtest.h>
#include <windows.h>
#include <winspool.h>
#include <winsim/testing.h>

#include <memory>
#include <string>
#include <vector>

#include "emulator/include/cardemu/net_printer.h"
#include "emulator/include/cardemu/printer.h"
#include "emulator/include/cardemu/usb_device.h"
#include "tools/carddemo/install_road.h"
#include "tools/carddemo/machine.h"
#include "tools/carddemo/snapshot.h"
#include "tools/carddemo/tools_step.h"
#include "tools/cardtool/cardtool.h"

namespace carddemo {
namespace {

bool onDrive(const std::u16string &path) {
  return GetFileAttributesW(reinterpret_cast<LPCWSTR>(path.c_str())) != INVALID_FILE_ATTRIBUTES;
}

class InstallRoad : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::resetMachine();
    winsim::setClockScale(500);
    playTheSpooler();
    cardemu::PrinterConfig config;
    config.model = "CA3";
    printer_ = std::make_unique<cardemu::Printer>(config);
  }
  void TearDown() override { winsim::resetMachine(); }

  void install(Installer &installer) {
    std::string problem;
    ASSERT_TRUE(installer.layOut(problem)) << problem;
    ASSERT_TRUE(installer.install(std::make_shared<cardemu::UsbPrinterDevice>(*printer_), 0, problem)) << problem;
  }

  // The printer answers its version through the driver's configuration
  // module, the spooler and the language monitor.
  std::string askVersion(const char16_t *printerName = kPrinterName) {
    std::string said;
    const int status = runCardtool({u"cardtool", printerName, u"cmd", u"\\eV\\r"}, said);
    return status == 0 ? said : "exit status " + std::to_string(status) + ": " + said;
  }

  std::unique_ptr<cardemu::Printer> printer_;
};

// A printer's level-2 record or its driver's level-3 record; empty when the
// printer does not open.
std::vector<BYTE> printerRecord(const char16_t *name, bool driver) {
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(reinterpret_cast<LPCWSTR>(name)), &printer, nullptr)) return {};
  DWORD needed = 0;
  if (driver)
    GetPrinterDriverW(printer, nullptr, 3, nullptr, 0, &needed);
  else
    GetPrinterW(printer, 2, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed);
  const bool ok = needed && (driver ? GetPrinterDriverW(printer, nullptr, 3, buffer.data(), needed, &needed)
                                    : GetPrinterW(printer, 2, buffer.data(), needed, &needed));
  ClosePrinter(printer);
  // Moved, not copied: the record's strings point into its own buffer.
  if (!ok) buffer.clear();
  return buffer;
}

std::vector<std::u16string> dependentFiles(const DRIVER_INFO_3W &info) {
  std::vector<std::u16string> files;
  for (LPCWSTR d = info.pDependentFiles; d && *d; d += lstrlenW(d) + 1) files.emplace_back(d);
  return files;
}

TEST_F(InstallRoad, InstalledDriverHasEveryModuleAndThePrinterAnswers) {
  Installer installer;
  install(installer);
  const std::vector<BYTE> buffer = printerRecord(kPrinterName, true);
  ASSERT_FALSE(buffer.empty());
  const auto *info = reinterpret_cast<const DRIVER_INFO_3W *>(buffer.data());
  const std::u16string folder = u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\";
  EXPECT_EQ(std::u16string(info->pDriverPath), folder + u"cardrend.dll");
  EXPECT_EQ(std::u16string(info->pConfigFile), folder + u"cardcfg.dll");
  EXPECT_EQ(std::u16string(info->pDataFile), folder + u"carddrv.dat");
  EXPECT_EQ(std::u16string(info->pMonitorName), kMonitorName);
  EXPECT_EQ(dependentFiles(*info), (std::vector<std::u16string>{folder + u"cardres.dll", folder + u"notifysrv.dll",
                                                                folder + u"cardcc.BMP", folder + u"cardribbon.INI"}));
  EXPECT_TRUE(onDrive(std::u16string(kSystemFolder) + u"\\notifytray.exe"));
  EXPECT_TRUE(onDrive(std::u16string(kSystemFolder) + u"\\purgelib.dll"));
  EXPECT_NE(askVersion().find("CA3"), std::string::npos);

  std::u16string stamp;
  std::string problem;
  ASSERT_TRUE(stampVersion(stamp, problem)) << problem;
  EXPECT_EQ(stamp, u"8.00.02.01");
  // verstamp deletes its own file once rundll32 has let it go.
  EXPECT_FALSE(onDrive(std::u16string(kSystemFolder) + u"\\verstamp.dll"));
  installer.release();
}

// After the uninstall the machine is the one before the install but for
// what Windows itself keeps, and it takes the package again.
TEST_F(InstallRoad, UninstallTakesThePackageAwayAndASecondInstallWorks) {
  const MachineSnapshot empty = takeSnapshot();
  {
    Installer installer;
    install(installer);
    std::string problem;
    std::u16string stamp;
    ASSERT_TRUE(stampVersion(stamp, problem)) << problem;
    ASSERT_TRUE(installer.uninstall(problem)) << problem;
  }
  for (const Difference &d : compareSnapshots(empty, takeSnapshot()))
    EXPECT_FALSE(d.why.empty()) << "left behind: " << d.what;
  EXPECT_FALSE(onDrive(u"C:\\Setup"));
  EXPECT_FALSE(onDrive(std::u16string(kSystemFolder) + u"\\purgelib.dll"));
  EXPECT_FALSE(onDrive(std::u16string(kSystemFolder) + u"\\notifytray.exe"));
  EXPECT_FALSE(onDrive(u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\cardrend.dll"));
  HANDLE printer = nullptr;
  EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(reinterpret_cast<LPCWSTR>(kPrinterName)), &printer, nullptr));
  DWORD needed = 0, count = 0;
  EnumPrinterDriversW(nullptr, nullptr, 1, nullptr, 0, &needed, &count);
  EXPECT_EQ(count, 0u);

  // The same machine, the package installed again: the printer answers.
  Installer again;
  install(again);
  EXPECT_NE(askVersion().find("CA3"), std::string::npos);
  again.release();
}

// The network printer through the same installer: the network driver with
// its own module names, the network monitor stacked on the Standard TCP/IP
// port that names the printer's address, the printer a queued network one;
// ELTNDeleteAllEthernetPrinters and the clean-up take it all away again.
TEST_F(InstallRoad, NetworkPrinterInstalledAndUninstalledThroughTheSameSteps) {
  // The monitor's network waits run on the machine's clock while its
  // sockets are real: a slower clock keeps a loaded machine within them.
  winsim::setClockScale(50);
  const MachineSnapshot empty = takeSnapshot();
  cardemu::NetConfig config;
  config.address = kNetPrinterAddress;
  cardemu::NetPrinter net(*printer_, config);
  std::string problem;
  ASSERT_TRUE(net.start(&problem)) << problem;
  {
    Installer installer(networkRoad());
    ASSERT_TRUE(installer.layOut(problem)) << problem;
    ASSERT_TRUE(installer.install(net.ports(), 0, problem)) << problem;

    const std::vector<BYTE> driver = printerRecord(kNetPrinterName, true);
    ASSERT_FALSE(driver.empty());
    const auto *info = reinterpret_cast<const DRIVER_INFO_3W *>(driver.data());
    const std::u16string folder = u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\";
    EXPECT_EQ(std::u16string(info->pName), u"Pellor Standard Network");
    EXPECT_EQ(std::u16string(info->pDriverPath), folder + u"cardrendnet.dll");
    EXPECT_EQ(std::u16string(info->pConfigFile), folder + u"cardcfgnet.dll");
    EXPECT_EQ(std::u16string(info->pDataFile), folder + u"cardnet.dat");
    EXPECT_EQ(std::u16string(info->pMonitorName), u"Pellor Standard Network Language Monitor");
    EXPECT_EQ(dependentFiles(*info), (std::vector<std::u16string>{folder + u"cardresnet.dll", folder + u"notifysrv.dll",
                                                                  folder + u"cardcc.BMP", folder + u"cardribbon.INI"}));
    const std::vector<BYTE> record = printerRecord(kNetPrinterName, false);
    ASSERT_FALSE(record.empty());
    const auto *printer = reinterpret_cast<const PRINTER_INFO_2W *>(record.data());
    EXPECT_EQ(std::u16string(printer->pPortName), u"IP_127.0.5.20");
    EXPECT_EQ(printer->Attributes & (PRINTER_ATTRIBUTE_QUEUED | PRINTER_ATTRIBUTE_NETWORK),
              DWORD(PRINTER_ATTRIBUTE_QUEUED | PRINTER_ATTRIBUTE_NETWORK));
    // The network monitor's texts beside the driver under their own name
    // (the USB driver's set is "cardres.dll"), the monitor itself in the
    // system folder.
    EXPECT_TRUE(onDrive(folder + u"cardresnet.dll"));
    EXPECT_FALSE(onDrive(folder + u"cardres.dll"));
    EXPECT_TRUE(onDrive(std::u16string(kSystemFolder) + u"\\netmon.dll"));
    EXPECT_NE(askVersion(kNetPrinterName).find("CA3"), std::string::npos);
    ASSERT_TRUE(installer.uninstall(problem)) << problem;
  }
  for (const Difference &d : compareSnapshots(empty, takeSnapshot()))
    EXPECT_FALSE(d.why.empty()) << "left behind: " << d.what;
  EXPECT_TRUE(printerRecord(kNetPrinterName, false).empty());
  EXPECT_FALSE(onDrive(std::u16string(kSystemFolder) + u"\\netmon.dll"));
  EXPECT_FALSE(onDrive(u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\cardrendnet.dll"));
  HKEY port = nullptr;
  EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                          u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports\\"
                          u"IP_127.0.5.20",
                          0, KEY_READ, &port),
            ERROR_SUCCESS);
  net.stop();
}

// The comparison itself: what differs either way is found, and only the
// differences Windows accounts for carry a reason.
TEST(Snapshot, DifferencesBothWaysAndOnlyWindowsOwnAreExcused) {
  MachineSnapshot before, after;
  before.keys = {"HKEY_LOCAL_MACHINE\\SOFTWARE", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone"};
  const std::string tcpMonitor =
      "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port";
  after.keys = {"HKEY_LOCAL_MACHINE\\SOFTWARE",
                "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Environments",
                "HKEY_LOCAL_MACHINE\\SOFTWARE\\Pellor Standard Printers",
                tcpMonitor,
                tcpMonitor + "\\Ports",
                tcpMonitor + "\\Ports\\IP_127.0.5.20"};
  before.values = {{"HKEY_LOCAL_MACHINE\\SOFTWARE\\\"a\"", "dword:00000001"}};
  after.values = {{"HKEY_LOCAL_MACHINE\\SOFTWARE\\\"a\"", "dword:00000002"}};
  before.files = {"C:\\Windows\\"};
  after.files = {"C:\\Windows\\", "C:\\Windows\\system32\\cardres.dll"};
  std::vector<std::string> excused, others;
  for (const Difference &d : compareSnapshots(before, after)) (d.why.empty() ? others : excused).push_back(d.what);
  // Windows' own monitor keeps its key, not the package's port.
  EXPECT_EQ(excused, (std::vector<std::string>{
                         "key added: HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Environments",
                         "key added: " + tcpMonitor, "key added: " + tcpMonitor + "\\Ports"}));
  EXPECT_EQ(others, (std::vector<std::string>{
                        "key added: HKEY_LOCAL_MACHINE\\SOFTWARE\\Pellor Standard Printers",
                        "key added: " + tcpMonitor + "\\Ports\\IP_127.0.5.20",
                        "key removed: HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone",
                        "value changed: HKEY_LOCAL_MACHINE\\SOFTWARE\\\"a\" = dword:00000002 (was dword:00000001)",
                        "file added: C:\\Windows\\system32\\cardres.dll"}));
}

}  // namespace
}  // namespace carddemo
