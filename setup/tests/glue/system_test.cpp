// The shared glue's view of the system: the version class and environments,
// the folders, and taking files and folders away.
#include <gtest/gtest.h>
#include <windows.h>
#include <winsim/testing.h>

#include "setup/shared/file_removal.h"
#include "setup/shared/windows_class.h"
#include "setup/tests/support/machine_files.h"

namespace card::setup {
namespace {

using testing::exists;
using testing::putFile;

class SetupSystem : public ::testing::Test {
 protected:
  void SetUp() override { winsim::resetMachine(); }
  void TearDown() override { winsim::resetMachine(); }
};

TEST_F(SetupSystem, TheVersionClassFollowsTheNtVersion) {
  struct Case {
    DWORD major, minor;
    int windowsClass;
  } cases[] = {{3, 51, 9}, {3, 50, 0}, {4, 0, 10}, {4, 10, 0}, {5, 0, 11}, {5, 1, 12},
               {5, 2, 13}, {5, 3, 0},  {6, 0, 14}, {6, 1, 14}, {10, 0, 14}};
  for (const Case &c : cases) {
    winsim::setOsVersion(c.major, c.minor);
    EXPECT_EQ(windowsClass(), c.windowsClass) << c.major << "." << c.minor;
  }
}

TEST_F(SetupSystem, EnvironmentsFollowTheNativeProcessorAndTheVersion) {
  winsim::setOsVersion(10, 0, 19045, true);
  EXPECT_TRUE(sixtyFourBitSystem());
  EXPECT_EQ(std::u16string(driverEnvironment()), u"Windows x64");
  EXPECT_EQ(std::u16string(deletionEnvironment()), u"Windows x64");
  winsim::setOsVersion(5, 1, 2600, false);
  EXPECT_FALSE(sixtyFourBitSystem());
  EXPECT_EQ(std::u16string(driverEnvironment()), u"Windows NT x86");
  EXPECT_EQ(std::u16string(deletionEnvironment()), u"Windows NT x86");
  winsim::setOsVersion(3, 51, 1057, false);
  EXPECT_EQ(std::u16string(deletionEnvironment()), u"Windows 4.0");
  EXPECT_EQ(std::u16string(driverEnvironment()), u"Windows NT x86");
}

TEST_F(SetupSystem, ASystemWithoutTheNativeCallIsNo64BitSystem) {
  winsim::setOsVersion(6, 1, 7601, true);
  winsim::hideSystemExport(u"kernel32.dll", "GetNativeSystemInfo");
  EXPECT_FALSE(sixtyFourBitSystem());
  EXPECT_EQ(std::u16string(driverEnvironment()), u"Windows NT x86");
}

TEST_F(SetupSystem, FoldersAreTheSystemsOwn) {
  EXPECT_EQ(systemFolder().size(), size_t(GetSystemDirectoryW(nullptr, 0)) - 1);
  EXPECT_FALSE(windowsFolder().empty());
  WString temp = tempFolder();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), u'\\');
  WString x64 = printerDriverFolder(u"Windows x64");
  EXPECT_TRUE(exists(x64)) << std::string(x64.begin(), x64.end());
  EXPECT_TRUE(printerDriverFolder(u"Windows 3.1 Nonsense").empty());
}

TEST_F(SetupSystem, AFileIsDeletedEvenWhenReadOnlyAndAFolderIsNotAFile) {
  const std::u16string file = u"C:\\Windows\\system32\\verstamp.dll";
  ASSERT_TRUE(putFile(file));
  ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(deleteFileMadeWritable(file));
  EXPECT_FALSE(exists(file));
  EXPECT_FALSE(deleteFileMadeWritable(file));
  ASSERT_TRUE(CreateDirectoryW(u"C:\\Windows\\system32\\drvsetup.exe", nullptr));
  EXPECT_FALSE(deleteFileMadeWritable(u"C:\\Windows\\system32\\drvsetup.exe"));
  EXPECT_TRUE(exists(u"C:\\Windows\\system32\\drvsetup.exe"));
}

TEST_F(SetupSystem, AFolderGoesWithEverythingBelowIt) {
  const std::u16string root = u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\pellor_card_printerc1097";
  ASSERT_TRUE(putFile(root + u"\\cardrend.dll"));
  ASSERT_TRUE(putFile(root + u"\\3\\cardcfg.dll"));
  ASSERT_TRUE(putFile(root + u"\\3\\deeper\\carddrv.dat"));
  ASSERT_TRUE(putFile(root + u"\\3\\locked.dll"));
  ASSERT_TRUE(SetFileAttributesW((root + u"\\3\\locked.dll").c_str(), FILE_ATTRIBUTE_READONLY));
  CreateDirectoryW((root + u"\\empty").c_str(), nullptr);
  EXPECT_TRUE(removeFolderTree(root));
  EXPECT_FALSE(exists(root));
  EXPECT_TRUE(exists(u"C:\\Windows\\system32\\spool\\DRIVERS\\x64"));
  EXPECT_FALSE(removeFolderTree(root));  // nothing there any more
}

TEST_F(SetupSystem, AFileThatCannotGoKeepsItsFolder) {
  const std::u16string root = u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\pellor_card_printerl4780";
  ASSERT_TRUE(putFile(root + u"\\in_use.dll"));
  HANDLE open = CreateFileW((root + u"\\in_use.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(open, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(removeFolderTree(root));
  EXPECT_TRUE(exists(root + u"\\in_use.dll"));
  CloseHandle(open);
  EXPECT_TRUE(removeFolderTree(root));
  EXPECT_FALSE(exists(root));
}

}  // namespace
}  // namespace card::setup
