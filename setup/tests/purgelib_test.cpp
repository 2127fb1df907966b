// purgelib.dll on the simulated machine: EntryDeleteFiles called as
// rundll32 calls it, and run from the RunOnce entry at log-on.
#include <gtest/gtest.h>
#include <windows.h>
#include <setupapi.h>
#include <shlobj.h>
#include <winspool.h>
#include <winsim/testing.h>

#include <string>
#include <vector>

#include "setup/shared/purge_lists.h"
#include "setup/tests/support/machine_files.h"
#include "setup/tests/support/package_infs.h"
#include "shared/proc_address.h"

namespace card::setup {
namespace {

using testing::exists;
using testing::keyExists;
using testing::makeKey;
using testing::putFile;

using EntryProc = void(CALLBACK *)(HWND, HINSTANCE, LPSTR, int);

const std::u16string kLibrary = u"C:\\Windows\\system32\\purgelib.dll";
const std::u16string kSystem = u"C:\\Windows\\system32\\";
const std::u16string kInfFolder = u"C:\\Windows\\INF\\";
const std::u16string kDriverFolder = u"C:\\Windows\\system32\\spool\\DRIVERS\\x64";
const std::u16string kDriverFolder32 = u"C:\\Windows\\system32\\spool\\DRIVERS\\W32X86";
const std::u16string kPrinters = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";
const std::u16string kMonitors = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\";

std::u16string str(std::u16string_view v) { return std::u16string(v); }

class Purgelib : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::resetMachine();
    winsim::setOsVersion(10, 0, 19045, true);
    winsim::setClockScale(50);
    ASSERT_TRUE(winsim::copyToDrive(PURGELIB_DLL, kLibrary));
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
    winsim::resetMachine();
  }

  // Loads the library and calls its export as rundll32 does; the library
  // stays loaded until release().
  void runEntry() {
    if (!module_) module_ = LoadLibraryW(kLibrary.c_str());
    ASSERT_NE(module_, nullptr);
    auto entry = card::procAddress<EntryProc>(module_, "EntryDeleteFiles");
    ASSERT_NE(entry, nullptr);
    char arguments[] = "";
    entry(nullptr, nullptr, arguments, SW_SHOWNORMAL);
  }
  void release() {
    if (module_) FreeLibrary(module_);
    module_ = nullptr;
  }

  static std::u16string ribbonCacheFile() {
    WCHAR folder[MAX_PATH] = {};
    EXPECT_EQ(SHGetFolderPathW(nullptr, CSIDL_COMMON_DOCUMENTS, nullptr, 0, folder), S_OK);
    return std::u16string(folder) + u"\\cardribbon.INI";
  }
  static std::u16string batchFile() {
    WCHAR temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    return std::u16string(temp) + u"SelfDel.bat";
  }
  // Every file and key the package leaves, and some of others beside them.
  static void installPackageTraces() {
    for (auto file : kSystemFolderFiles) ASSERT_TRUE(putFile(kSystem + str(file)));
    for (auto file : kInfFolderFiles) ASSERT_TRUE(putFile(kInfFolder + str(file)));
    for (auto sub : kDriverSubfolders)
      for (auto file : kDriverFolderFiles) ASSERT_TRUE(putFile(kDriverFolder + str(sub) + u"\\" + str(file)));
    // The 32-bit driver directory of the same machine holds them too.
    ASSERT_TRUE(putFile(kDriverFolder32 + u"\\3\\cardrend.dll"));
    ASSERT_TRUE(putFile(kDriverFolder + u"\\pellor_card_printerc1f8f7\\cardrend.dll"));
    ASSERT_TRUE(putFile(kDriverFolder + u"\\pellor_card_printerl37b4b\\3\\sub\\cardcfg.dll"));
    ASSERT_TRUE(SetFileAttributesW((kDriverFolder + u"\\pellor_card_printerl37b4b\\3\\sub\\cardcfg.dll").c_str(),
                                   FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(putFile(ribbonCacheFile(), "Ribbon=2\r\nModel=CA3\r\n"));
    ASSERT_TRUE(makeKey(u"SOFTWARE\\Pellor Standard Printers\\Settings"));
    ASSERT_TRUE(makeKey(kPrinters + u"Copy of Pellor CA1 Card Printer USB\\PrinterDriverData"));
    // Others' files and keys.
    ASSERT_TRUE(putFile(kSystem + u"office.dll"));
    ASSERT_TRUE(putFile(kInfFolder + u"printer.inf"));
    ASSERT_TRUE(putFile(kDriverFolder + u"\\3\\officedrv.dll"));
    ASSERT_TRUE(putFile(kDriverFolder + u"\\office_printer1234\\officedrv.dll"));
    ASSERT_TRUE(makeKey(u"SOFTWARE\\Office Printers"));
    ASSERT_TRUE(makeKey(kPrinters + u"Office"));
  }
  static void expectPackageGoneAndOthersKept() {
    for (auto file : kSystemFolderFiles) EXPECT_FALSE(exists(kSystem + str(file)));
    for (auto file : kInfFolderFiles) EXPECT_FALSE(exists(kInfFolder + str(file)));
    for (auto sub : kDriverSubfolders)
      for (auto file : kDriverFolderFiles) EXPECT_FALSE(exists(kDriverFolder + str(sub) + u"\\" + str(file)));
    EXPECT_FALSE(exists(kDriverFolder32 + u"\\3\\cardrend.dll"));
    EXPECT_FALSE(exists(kDriverFolder + u"\\pellor_card_printerc1f8f7"));
    EXPECT_FALSE(exists(kDriverFolder + u"\\pellor_card_printerl37b4b"));
    EXPECT_FALSE(exists(ribbonCacheFile()));
    EXPECT_FALSE(keyExists(u"SOFTWARE\\Pellor Standard Printers"));
    EXPECT_FALSE(keyExists(kPrinters + u"Copy of Pellor CA1 Card Printer USB"));
    EXPECT_TRUE(exists(kSystem + u"office.dll"));
    EXPECT_TRUE(exists(kInfFolder + u"printer.inf"));
    EXPECT_TRUE(exists(kDriverFolder + u"\\3\\officedrv.dll"));
    EXPECT_TRUE(exists(kDriverFolder + u"\\office_printer1234\\officedrv.dll"));
    EXPECT_TRUE(keyExists(u"SOFTWARE\\Office Printers"));
    EXPECT_TRUE(keyExists(kPrinters + u"Office"));
  }

  HMODULE module_ = nullptr;
};

TEST_F(Purgelib, WithoutPrintersThePackagesFilesFoldersAndKeysStillGo) {
  installPackageTraces();
  runEntry();
  expectPackageGoneAndOthersKept();
}

TEST_F(Purgelib, PrintersDriversMonitorsAndDevicesOfThePackageGo) {
  winsim::PrinterSetup usb;
  usb.printerName = u"Pellor CA3 Card Printer USB";
  usb.driverName = u"Pellor CA3 Card Printer USB";
  ASSERT_TRUE(winsim::installPrinter(usb));
  winsim::PrinterSetup office;
  office.printerName = u"Office";
  office.driverName = u"Office Laser";
  ASSERT_TRUE(winsim::installPrinter(office));
  ASSERT_TRUE(makeKey(kMonitors + u"Pellor Standard USB Language Monitor"));
  winsim::addDeviceNode({u"USB\\VID_0F0F&PID_0003", u"USBPRINT\\PELLO_CARD_PRINTER_CA3C5A1"}, false);
  winsim::addDeviceNode({u"USBPRINT\\OFFICE_LASER7B2C"}, true);
  runEntry();
  HANDLE printer = nullptr;
  std::u16string name = u"Pellor CA3 Card Printer USB";
  EXPECT_FALSE(OpenPrinterW(name.data(), &printer, nullptr));
  name = u"Office";
  ASSERT_TRUE(OpenPrinterW(name.data(), &printer, nullptr));
  ClosePrinter(printer);
  EXPECT_FALSE(keyExists(kMonitors + u"Pellor Standard USB Language Monitor"));
  std::vector<winsim::DeviceNode> devices = winsim::deviceNodes();
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].hardwareIds, std::vector<std::u16string>{u"USBPRINT\\OFFICE_LASER7B2C"});
}

TEST_F(Purgelib, OnlyThePackagesInfFilesLeaveTheStore) {
  auto store = [](const std::u16string &source, const std::string &content) {
    EXPECT_TRUE(putFile(source, content));
    WCHAR name[MAX_PATH] = {};
    PWSTR part = nullptr;
    EXPECT_TRUE(SetupCopyOEMInfW(source.c_str(), nullptr, SPOST_PATH, 0, name, MAX_PATH, nullptr, &part));
    return part ? std::u16string(part) : std::u16string();
  };
  std::u16string ours = store(u"C:\\Package\\carddrv.inf", testing::packageInf());
  std::u16string other = store(u"C:\\Other\\other.inf", testing::otherDriverInf());
  ASSERT_FALSE(ours.empty());
  runEntry();
  EXPECT_FALSE(exists(kInfFolder + ours));
  EXPECT_TRUE(exists(kInfFolder + other));
}

TEST_F(Purgelib, TheSystemsOwnUsbPortMonitorLibraryStays) {
  ASSERT_TRUE(putFile(kSystem + u"usbmon.dll"));
  ASSERT_TRUE(putFile(kSystem + u"netmon.dll"));
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (kMonitors + u"USB Monitor").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const char16_t driver[] = u"usbmon.dll";
  ASSERT_EQ(RegSetValueExW(key, u"Driver", 0, REG_SZ, reinterpret_cast<const BYTE *>(driver), sizeof driver),
            ERROR_SUCCESS);
  RegCloseKey(key);
  runEntry();
  EXPECT_TRUE(exists(kSystem + u"usbmon.dll"));
  EXPECT_FALSE(exists(kSystem + u"netmon.dll"));
}

TEST_F(Purgelib, TheBatchDeletesTheLibraryOnceItIsFreedAndThenItself) {
  runEntry();
  WCHAR path[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameW(module_, path, MAX_PATH), 0u);
  std::string library(path, path + lstrlenW(path));
  std::u16string batch = batchFile();
  std::string batchText(batch.begin(), batch.end());
  EXPECT_EQ(testing::readFile(batch), ":Repeat\r\ndel \"" + library + "\"\r\nif exist \"" + library +
                                          "\" goto Repeat\r\ndel \"" + batchText + "\"");
  EXPECT_TRUE(exists(kLibrary));  // loaded: the batch waits
  release();
  EXPECT_TRUE(winsim::waitForProcessEnd(u"cmd.exe", 20000));
  EXPECT_FALSE(exists(kLibrary));
  EXPECT_FALSE(exists(batch));
}

TEST_F(Purgelib, ASecondRunFindsNothingLeftAndEndsQuietly) {
  installPackageTraces();
  runEntry();
  runEntry();
  expectPackageGoneAndOthersKept();
  release();
  EXPECT_TRUE(winsim::waitForProcessEnd(u"cmd.exe", 20000));
}

TEST_F(Purgelib, TheRunOnceEntryRunsItAtLogOnAndNothingOfThePackageStays) {
  installPackageTraces();
  HKEY runOnce = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &runOnce, nullptr),
            ERROR_SUCCESS);
  const char16_t command[] = u"rundll32 purgelib.dll EntryDeleteFiles";
  ASSERT_EQ(RegSetValueExW(runOnce, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>(command), sizeof command),
            ERROR_SUCCESS);
  RegCloseKey(runOnce);
  std::vector<winsim::LogOnCommand> ran = winsim::logOn(30000);
  ASSERT_EQ(ran.size(), 1u);
  EXPECT_TRUE(ran[0].started);
  EXPECT_TRUE(winsim::waitForProcessEnd(u"cmd.exe", 20000));
  expectPackageGoneAndOthersKept();
  EXPECT_FALSE(exists(kLibrary));
  EXPECT_FALSE(exists(batchFile()));
}

}  // namespace
}  // namespace card::setup
