// instlib.dll on the simulated machine, its exports called by name one at a
// time as the package's installer calls them.
#include <gtest/gtest.h>
#include <windows.h>
#include <winspool.h>
#include <winsvc.h>
#include <winsim/testing.h>

#include <cstring>
#include <string>
#include <vector>

#include "setup/tests/support/machine_files.h"
#include "shared/proc_address.h"

namespace card::setup {
namespace {

using testing::exists;
using testing::putFile;
using testing::readFile;

const std::u16string kDriverFolder = u"C:\\Windows\\system32\\spool\\DRIVERS\\x64";
const std::u16string kUsbDriver = u"Pellor CA3 Card Printer USB";
const std::u16string kNetworkDriver = u"Pellor Standard Network";
const std::u16string kUsbMonitor = u"Pellor Standard USB Language Monitor";

class Instlib : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::resetMachine();
    winsim::setClockScale(1000);
    ASSERT_TRUE(winsim::copyToDrive(INSTLIB_DLL, u"C:\\Setup\\instlib.dll"));
    module_ = LoadLibraryW(u"C:\\Setup\\instlib.dll");
    ASSERT_NE(module_, nullptr);
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
    winsim::resetMachine();
  }

  template <typename F>
  F exported(const char *name) {
    F f = card::procAddress<F>(module_, name);
    EXPECT_NE(f, nullptr) << name;
    return f;
  }

  // The driver's files where an installer puts them before adding it: the
  // printer-driver folder.
  void stageDriverFiles(const std::vector<std::u16string> &names) {
    for (const auto &n : names) ASSERT_TRUE(putFile(kDriverFolder + u"\\" + n, "file " + winsim::toUtf8(n)));
  }

  DWORD addUsbDriver() {
    stageDriverFiles({u"cardrend.dll", u"carddrv.dat", u"cardcfg.dll", u"cardhelp.chm", u"cardres.dll", u"cardcc.BMP"});
    auto add = exported<DWORD(WINAPI *)(LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR,
                                        LPCWSTR)>("ELTNAddPrinterDriver");
    return add(kUsbDriver.c_str(), u"cardrend.dll", u"carddrv.dat", u"cardcfg.dll", u"cardhelp.chm",
               kUsbMonitor.c_str(), u"cardres.dll", u"", u"cardcc.BMP", nullptr);
  }

  DWORD addPrinter(const std::u16string &name, const std::u16string &port, const std::u16string &driver) {
    return exported<DWORD(WINAPI *)(LPCWSTR, LPCWSTR, LPCWSTR)>("ELTNAddPrinter")(name.c_str(), port.c_str(),
                                                                                  driver.c_str());
  }

  static DWORD attributesOf(const std::u16string &printer) {
    HANDLE h = nullptr;
    if (!OpenPrinterW(const_cast<LPWSTR>(printer.c_str()), &h, nullptr)) return 0;
    DWORD needed = 0;
    GetPrinterW(h, 2, nullptr, 0, &needed);
    std::vector<BYTE> info(needed);
    DWORD attributes = 0;
    if (needed && GetPrinterW(h, 2, info.data(), needed, &needed))
      attributes = reinterpret_cast<PRINTER_INFO_2W *>(info.data())->Attributes;
    ClosePrinter(h);
    return attributes;
  }

  HMODULE module_ = nullptr;
};

TEST_F(Instlib, DriverWithItsDependentFilesAndPrintersByTheirNames) {
  WCHAR folder[130] = {};
  EXPECT_EQ(exported<DWORD(WINAPI *)(LPWSTR)>("ELTNGetDriverPath")(folder), 0u);
  EXPECT_EQ(std::u16string(folder), kDriverFolder);

  ASSERT_EQ(addUsbDriver(), 0u);
  DWORD needed = 0, count = 0;
  EnumPrinterDriversW(nullptr, nullptr, 3, nullptr, 0, &needed, &count);
  std::vector<BYTE> drivers(needed);
  ASSERT_TRUE(EnumPrinterDriversW(nullptr, nullptr, 3, drivers.data(), needed, &needed, &count));
  ASSERT_EQ(count, 1u);
  const auto *info = reinterpret_cast<const DRIVER_INFO_3W *>(drivers.data());
  EXPECT_EQ(std::u16string(info->pName), kUsbDriver);
  EXPECT_EQ(std::u16string(info->pEnvironment), u"Windows x64");
  EXPECT_EQ(std::u16string(info->pMonitorName), kUsbMonitor);
  EXPECT_EQ(std::u16string(info->pDefaultDataType), u"RAW");
  // The two named dependent files, in order; the empty and missing ones are
  // no entries.
  std::vector<std::u16string> dependents;
  for (LPCWSTR d = info->pDependentFiles; d && *d; d += lstrlenW(d) + 1) {
    std::u16string full(d);
    dependents.push_back(full.substr(full.find_last_of(u'\\') + 1));
  }
  EXPECT_EQ(dependents, (std::vector<std::u16string>{u"cardres.dll", u"cardcc.BMP"}));
  EXPECT_TRUE(exists(kDriverFolder + u"\\3\\cardrend.dll"));

  // "Network" with a capital N makes a queued network printer; the word in
  // small letters does not.
  EXPECT_EQ(addPrinter(u"Card Network 1", u"USB001", kUsbDriver), 0u);
  EXPECT_EQ(addPrinter(u"Card network 2", u"USB002", kUsbDriver), 0u);
  EXPECT_EQ(attributesOf(u"Card Network 1") & 0xFFF, DWORD(PRINTER_ATTRIBUTE_QUEUED | PRINTER_ATTRIBUTE_NETWORK));
  EXPECT_EQ(attributesOf(u"Card network 2") & 0xFFF,
            DWORD(PRINTER_ATTRIBUTE_DO_COMPLETE_FIRST | PRINTER_ATTRIBUTE_ENABLE_BIDI));
  EXPECT_EQ(addPrinter(u"Card network 2", u"USB002", kUsbDriver), DWORD(ERROR_PRINTER_ALREADY_EXISTS));

  auto isPrinter = exported<DWORD(WINAPI *)(LPCWSTR)>("ELTNIsPrinterExist");
  EXPECT_EQ(isPrinter(u"Card Network 1"), 1u);
  EXPECT_EQ(isPrinter(u"No Such Printer"), 0u);
  EXPECT_EQ(isPrinter(u""), 0u);
  EXPECT_EQ(isPrinter(nullptr), 0u);
  EXPECT_EQ(exported<DWORD(WINAPI *)()>("ELTNGetEthernetPrinterCount")(), 0u);

  // The driver stays while a printer uses it.
  auto deleteDriver = exported<DWORD(WINAPI *)(LPCWSTR)>("ELTNDeletePrinterDriver");
  EXPECT_EQ(deleteDriver(kUsbDriver.c_str()), DWORD(ERROR_PRINTER_DRIVER_IN_USE));
  auto deletePrinter = exported<DWORD(WINAPI *)(LPCWSTR, DWORD)>("ELTNDeletePrinter");
  EXPECT_EQ(deletePrinter(u"CARD NETWORK 1", 0), 0u);
  EXPECT_EQ(deletePrinter(u"Card network 2", 0), 0u);
  EXPECT_EQ(isPrinter(u"Card Network 1"), 0u);
  EXPECT_EQ(deleteDriver(u"pellor ca3 card printer usb"), 0u);
  EXPECT_FALSE(exists(kDriverFolder + u"\\3\\cardrend.dll"));
  // Nothing left of that name: nothing to do.
  EXPECT_EQ(deleteDriver(kUsbDriver.c_str()), 0u);
}

TEST_F(Instlib, RefusalsAreReportedAndLeaveNothingHalfInstalled) {
  auto addAgain = [&] { return addUsbDriver(); };
  auto deleteDriver = exported<DWORD(WINAPI *)(LPCWSTR)>("ELTNDeletePrinterDriver");
  auto driverCount = [] {
    DWORD needed = 0, count = 0;
    EnumPrinterDriversW(nullptr, nullptr, 1, nullptr, 0, &needed, &count);
    return needed;
  };
  // The spooler stopped: every spooler step says so, and nothing is added.
  ASSERT_EQ(exported<DWORD(WINAPI *)()>("StopSpooler")(), 0u);
  EXPECT_EQ(addUsbDriver(), DWORD(RPC_S_SERVER_UNAVAILABLE));
  EXPECT_EQ(addPrinter(u"Card", u"USB001", kUsbDriver), DWORD(RPC_S_SERVER_UNAVAILABLE));
  ASSERT_EQ(exported<DWORD(WINAPI *)()>("StartSpooler")(), 0u);
  EXPECT_EQ(driverCount(), 0u);

  // Another vendor's printer stays through the removal of the package's.
  winsim::PrinterSetup other;
  other.printerName = u"Office Laser";
  other.driverName = u"Other Vendor Printer";
  ASSERT_TRUE(winsim::installPrinter(other));
  ASSERT_EQ(addUsbDriver(), 0u);
  ASSERT_EQ(addPrinter(u"Card", u"USB001", kUsbDriver), 0u);
  // The same version again: the driver is added over itself, the printer
  // exists.
  EXPECT_EQ(addAgain(), 0u);
  EXPECT_EQ(addPrinter(u"Card", u"USB001", kUsbDriver), DWORD(ERROR_PRINTER_ALREADY_EXISTS));

  // A driver file in use keeps the whole driver.  (The installed module is
  // a real one here, so that it can be held loaded as a running job holds
  // it.)
  ASSERT_TRUE(winsim::copyToDrive(INSTLIB_DLL, kDriverFolder + u"\\3\\cardrend.dll"));
  EXPECT_EQ(exported<DWORD(WINAPI *)(LPCWSTR, DWORD)>("ELTNDeletePrinter")(u"Card", 0), 0u);
  HMODULE held = LoadLibraryW((kDriverFolder + u"\\3\\cardrend.dll").c_str());
  ASSERT_NE(held, nullptr);
  EXPECT_NE(deleteDriver(kUsbDriver.c_str()), 0u);
  EXPECT_TRUE(exists(kDriverFolder + u"\\3\\cardrend.dll"));
  EXPECT_TRUE(exists(kDriverFolder + u"\\3\\cardcfg.dll"));
  FreeLibrary(held);
  EXPECT_EQ(deleteDriver(kUsbDriver.c_str()), 0u);
  EXPECT_FALSE(exists(kDriverFolder + u"\\3\\cardcfg.dll"));

  exported<DWORD(WINAPI *)(DWORD)>("ELTNDeleteAllEthernetPrinters")(0);
  EXPECT_EQ(exported<DWORD(WINAPI *)(LPCWSTR)>("ELTNIsPrinterExist")(u"Office Laser"), 1u);
}

TEST_F(Instlib, TooLongADependentFileListIsRefusedNotCut) {
  const std::u16string longName = std::u16string(200, u'd') + u".dll";
  stageDriverFiles({u"cardrend.dll", u"carddrv.dat", u"cardcfg.dll", longName, longName + u"2"});
  auto add = exported<DWORD(WINAPI *)(LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR,
                                      LPCWSTR)>("ELTNAddPrinterDriver");
  EXPECT_EQ(add(kUsbDriver.c_str(), u"cardrend.dll", u"carddrv.dat", u"cardcfg.dll", nullptr, nullptr, longName.c_str(),
                (longName + u"2").c_str(), nullptr, nullptr),
            DWORD(ERROR_INSUFFICIENT_BUFFER));
  DWORD needed = 0, count = 0;
  EnumPrinterDriversW(nullptr, nullptr, 1, nullptr, 0, &needed, &count);
  EXPECT_EQ(count, 0u);
}

TEST_F(Instlib, DefaultSettingsFileAndTheNextLogOn) {
  auto customFile = exported<DWORD(WINAPI *)(LPCWSTR, const DWORD *)>("ELTNCustomeFile");
  DWORD options[24] = {};
  options[1] = 1;
  options[23] = 5;  // a ribbon code without a type of its own
  const std::u16string data = kDriverFolder + u"\\carddrv.dat";
  ASSERT_EQ(customFile(data.c_str(), options), 0u);
  const std::string bytes = readFile(data);
  ASSERT_EQ(bytes.size(), 3916u);
  EXPECT_EQ(uint8_t(bytes[10]), 1);
  EXPECT_EQ(uint8_t(bytes[26]), 5);
  EXPECT_EQ(std::memcmp(&bytes[3862], "8.00.02.01", 10), 0);
  EXPECT_EQ(customFile(u"C:\\No Such Folder\\carddrv.dat", options), DWORD(ERROR_PATH_NOT_FOUND));

  // purgelib.dll from the caller's folder into the system folder; the
  // caller's text is left as it was.  1 whether or not the copy worked.
  auto copyFile = exported<DWORD(WINAPI *)(LPWSTR)>("ELTNCopyFile");
  WCHAR folder[MAX_PATH] = u"C:\\Setup";
  EXPECT_EQ(copyFile(folder), 1u);
  EXPECT_FALSE(exists(u"C:\\Windows\\system32\\purgelib.dll"));
  ASSERT_TRUE(putFile(u"C:\\Setup\\purgelib.dll", "clean-up"));
  EXPECT_EQ(copyFile(folder), 1u);
  EXPECT_EQ(std::u16string(folder), u"C:\\Setup");
  EXPECT_EQ(readFile(u"C:\\Windows\\system32\\purgelib.dll"), "clean-up");

  exported<DWORD(WINAPI *)()>("ELTNSetUpRunOnceEntry")();
  HKEY key = nullptr;
  ASSERT_EQ(
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", 0, KEY_READ, &key),
      ERROR_SUCCESS);
  WCHAR command[64] = {};
  DWORD type = 0, size = sizeof command;
  EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE *>(command), &size), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(type, DWORD(REG_SZ));
  EXPECT_EQ(std::u16string(command), u"rundll32 purgelib.dll EntryDeleteFiles");
  EXPECT_EQ(size, sizeof(u"rundll32 purgelib.dll EntryDeleteFiles"));
}

TEST_F(Instlib, DriverStoreThroughTheDriverPackageLibrary) {
  auto install = exported<DWORD(WINAPI *)(LPCWSTR)>("ELTNInstallPackage");
  auto uninstall = exported<DWORD(WINAPI *)(LPCWSTR)>("ELTNUnInstallPackage");
  // The store's own answer does not matter: a missing INF still gives 0.
  EXPECT_EQ(install(u"C:\\Setup\\missing.inf"), 0u);
  EXPECT_EQ(uninstall(u"C:\\Setup\\missing.inf"), 0u);
  // Without the library (a system before it), 1.
  winsim::hideSystemExport(u"difxapi.dll");
  EXPECT_EQ(install(u"C:\\Setup\\missing.inf"), 1u);
  EXPECT_EQ(uninstall(u"C:\\Setup\\missing.inf"), 1u);
}

TEST_F(Instlib, SpoolerStopsAndStartsThroughTheServiceManager) {
  auto stop = exported<DWORD(WINAPI *)()>("StopSpooler");
  auto start = exported<DWORD(WINAPI *)()>("StartSpooler");
  ASSERT_EQ(stop(), 0u);
  HANDLE h = nullptr;
  EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(u"Any"), &h, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(RPC_S_SERVER_UNAVAILABLE));
  EXPECT_EQ(stop(), 0u);  // already stopped
  ASSERT_EQ(start(), 0u);
  EXPECT_EQ(start(), DWORD(ERROR_SERVICE_ALREADY_RUNNING));
  EXPECT_EQ(addUsbDriver(), 0u);
}

TEST_F(Instlib, PortDriverServiceInstalledAgainAndRemoved) {
  auto driver = exported<DWORD(WINAPI *)(LPCWSTR, LPCWSTR)>("ELTNInstPPDriver");
  ASSERT_TRUE(putFile(u"C:\\Windows\\system32\\drivers\\cardpp.sys", "driver"));
  ASSERT_EQ(driver(u"cardpp", u"C:\\Windows\\system32\\drivers\\cardpp.sys"), 0u);
  HANDLE device = CreateFileW(u"\\\\.\\cardpp", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(device, INVALID_HANDLE_VALUE);
  if (device != INVALID_HANDLE_VALUE) CloseHandle(device);
  // Over an existing one: the old service goes and the new one runs.
  EXPECT_EQ(driver(u"cardpp", u"C:\\Windows\\system32\\drivers\\cardpp.sys"), 0u);
  EXPECT_EQ(driver(u"cardpp", u"REMOVE"), 0u);
  EXPECT_EQ(driver(u"cardpp", u"remove"), DWORD(ERROR_SERVICE_DOES_NOT_EXIST));
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  ASSERT_NE(manager, nullptr);
  EXPECT_EQ(OpenServiceW(manager, u"cardpp", SERVICE_QUERY_STATUS), nullptr);
  CloseServiceHandle(manager);
}

}  // namespace
}  // namespace card::setup
