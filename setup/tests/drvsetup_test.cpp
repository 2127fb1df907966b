// drvsetup.exe started as the installer starts it, with "<file>,<command>",
// on the simulated machine: its exit code, the driver store and the USB
// printer devices afterwards.
#include <gtest/gtest.h>
#include <windows.h>
#include <setupapi.h>
#include <winsim/testing.h>

#include <algorithm>
#include <string>
#include <vector>

#include "setup/tests/support/machine_files.h"
#include "setup/tests/support/package_infs.h"

namespace card::setup {
namespace {

using testing::exists;
using testing::packageInf;
using testing::putFile;
using testing::readFile;

const std::u16string kProgram = u"C:\\Windows\\system32\\drvsetup.exe";
const std::u16string kInf = u"C:\\Package\\carddrv.inf";

class Drvsetup : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::resetMachine();
    winsim::setClockScale(50);
    ASSERT_TRUE(winsim::copyToDrive(DRVSETUP_EXE, kProgram));
  }
  void TearDown() override { winsim::resetMachine(); }

  // Runs the program with `arguments` after its quoted path; its exit code,
  // or 99 when it could not be started or did not end.
  static DWORD run(const std::u16string &arguments) {
    std::u16string commandLine = u"\"" + kProgram + u"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
      return 99;
    CloseHandle(process.hThread);
    DWORD code = 99;
    if (WaitForSingleObject(process.hProcess, 20000) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    return code;
  }

  // The contents of the store's INF files ("oem*.inf" of the INF folder).
  static std::vector<std::string> storedInfs() {
    std::vector<std::string> contents;
    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstFileW(u"C:\\Windows\\INF\\oem*.inf", &found);
    if (search == INVALID_HANDLE_VALUE) return contents;
    do contents.push_back(readFile(u"C:\\Windows\\INF\\" + std::u16string(found.cFileName)));
    while (FindNextFileW(search, &found));
    FindClose(search);
    return contents;
  }
  static size_t storedCount(const std::string &content) {
    auto all = storedInfs();
    return size_t(std::count(all.begin(), all.end(), content));
  }
  // Puts an INF file into the store as an installer would; its store name.
  static std::u16string store(const std::u16string &source, const std::string &content) {
    EXPECT_TRUE(putFile(source, content));
    WCHAR name[MAX_PATH] = {};
    PWSTR part = nullptr;
    EXPECT_TRUE(SetupCopyOEMInfW(source.c_str(), nullptr, SPOST_PATH, 0, name, MAX_PATH, nullptr, &part));
    return part ? std::u16string(part) : std::u16string();
  }
};

TEST_F(Drvsetup, WithoutACommaItEndsWithZeroAndDoesNothing) {
  ASSERT_TRUE(putFile(kInf, packageInf()));
  EXPECT_EQ(run(kInf + u" InstallPackage"), 0u);
  EXPECT_EQ(run(u""), 0u);
  EXPECT_TRUE(storedInfs().empty());
}

TEST_F(Drvsetup, AnEmptyFilePartEndsWithZero) {
  ASSERT_TRUE(putFile(kInf, packageInf()));
  EXPECT_EQ(run(u",InstallPackage"), 0u);
  EXPECT_TRUE(storedInfs().empty());
}

TEST_F(Drvsetup, InstallPackageInAnyCasePutsTheInfIntoTheStore) {
  ASSERT_TRUE(putFile(kInf, packageInf()));
  EXPECT_EQ(run(kInf + u",installPACKAGE"), 1u);
  EXPECT_EQ(storedCount(packageInf()), 1u);
}

TEST_F(Drvsetup, AnUnknownWordOrAMissingFileDoesNothingAndEndsWithOne) {
  ASSERT_TRUE(putFile(kInf, packageInf()));
  EXPECT_EQ(run(kInf + u",Install"), 1u);
  EXPECT_EQ(run(u"C:\\Package\\missing.inf,InstallPackage"), 1u);
  EXPECT_TRUE(storedInfs().empty());
}

TEST_F(Drvsetup, InstallFallsBackToTheDriverPackageCallWithoutTheStoreCopy) {
  ASSERT_TRUE(putFile(kInf, packageInf()));
  winsim::hideSystemExport(u"setupapi.dll", "SetupCopyOEMInfW");
  EXPECT_EQ(run(kInf + u",InstallPackage"), 1u);
  // difxapi stages the package into the store as well.
  EXPECT_EQ(storedCount(packageInf()), 1u);
}

TEST_F(Drvsetup, UninstallTakesOutThePackagesInfsAndLeavesOtherDriversAlone) {
  std::u16string ours = store(u"C:\\Package\\a\\carddrv.inf", packageInf());
  std::u16string other = store(u"C:\\Other\\other.inf", testing::otherDriverInf());
  std::u16string plain = store(u"C:\\Plain\\plain.inf", testing::plainInf());
  ASSERT_FALSE(ours.empty());
  ASSERT_TRUE(exists(u"C:\\Windows\\INF\\" + ours));
  // The INF named on the command line is missing: nothing is done.
  EXPECT_EQ(run(kInf + u",UnInstallPackage"), 1u);
  EXPECT_TRUE(exists(u"C:\\Windows\\INF\\" + ours));
  ASSERT_TRUE(putFile(kInf, packageInf()));
  EXPECT_EQ(run(kInf + u",uninstallpackage"), 1u);
  EXPECT_FALSE(exists(u"C:\\Windows\\INF\\" + ours));
  EXPECT_TRUE(exists(u"C:\\Windows\\INF\\" + other));
  EXPECT_TRUE(exists(u"C:\\Windows\\INF\\" + plain));
  EXPECT_EQ(storedCount(packageInf()), 0u);
}

TEST_F(Drvsetup, UninstallFallsBackToTheDriverPackageCallWithoutTheStoreRemoval) {
  ASSERT_TRUE(putFile(kInf, packageInf()));
  EXPECT_EQ(run(kInf + u",InstallPackage"), 1u);
  ASSERT_EQ(storedCount(packageInf()), 1u);
  winsim::hideSystemExport(u"setupapi.dll", "SetupUninstallOEMInfW");
  EXPECT_EQ(run(kInf + u",UnInstallPackage"), 1u);
  EXPECT_EQ(storedCount(packageInf()), 0u);
}

TEST_F(Drvsetup, DeleteUsbPrintEntriesRemovesThePackagesDevicesOnly) {
  winsim::addDeviceNode({u"USB\\VID_0F0F&PID_0003&REV_0100", u"USBPRINT\\PELLO_CARD_PRINTER_CA1D00D"}, false);
  winsim::addDeviceNode({u"USBPRINT\\PELLO_CARD_PRINTER_CA3C5A1", u"PELLO_CARD_PRINTER_CA3C5A1"}, true);
  winsim::addDeviceNode({u"USBPRINT\\OFFICE_LASER7B2C"}, true);
  winsim::addDeviceNode({}, false);
  winsim::addDeviceNode({u"USBPRINT\\PELLO_CARD_PRINTERLX3E0F2"}, false);
  EXPECT_EQ(run(u"x,DeleteUSBPrintEntries"), 1u);
  std::vector<winsim::DeviceNode> left = winsim::deviceNodes();
  ASSERT_EQ(left.size(), 2u);
  EXPECT_EQ(left[0].hardwareIds, std::vector<std::u16string>{u"USBPRINT\\OFFICE_LASER7B2C"});
  EXPECT_TRUE(left[1].hardwareIds.empty());
}

TEST_F(Drvsetup, DeleteUsbPrintEntriesNeedsAFilePart) {
  winsim::addDeviceNode({u"USBPRINT\\PELLO_CARD_PRINTER_CA3C5A1"}, true);
  EXPECT_EQ(run(u",DeleteUSBPrintEntries"), 0u);
  EXPECT_EQ(winsim::deviceNodes().size(), 1u);
}

}  // namespace
}  // namespace card::setup
