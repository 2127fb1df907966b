// drvsetup's command line and exit code, and the self-deleting batch's text.
#include <gtest/gtest.h>

#include <string>

#include "setup/shared/drvsetup_command.h"
#include "setup/shared/self_delete_text.h"

namespace card::setup {
namespace {

TEST(DrvsetupCommand, WithoutACommaNothingIsDoneAndTheCodeIsZero) {
  for (std::u16string_view line : {u"", u"InstallPackage", u"C:\\pkg\\carddrv.inf InstallPackage"}) {
    DrvsetupCommand c = parseDrvsetupCommand(line);
    EXPECT_EQ(c.action, DrvsetupAction::None);
    EXPECT_EQ(c.exitCode, 0);
  }
}

TEST(DrvsetupCommand, AnEmptyOrBlankFilePartEndsWithZero) {
  for (std::u16string_view line : {u",InstallPackage", u" ,DeleteUSBPrintEntries"}) {
    DrvsetupCommand c = parseDrvsetupCommand(line);
    EXPECT_EQ(c.action, DrvsetupAction::None);
    EXPECT_EQ(c.exitCode, 0);
  }
  // Two blanks are a file part.
  EXPECT_EQ(parseDrvsetupCommand(u"  ,DeleteUSBPrintEntries").action, DrvsetupAction::DeleteUsbPrintEntries);
}

TEST(DrvsetupCommand, TheCommandWordIsTakenInAnyCase) {
  struct Case {
    std::u16string_view line;
    DrvsetupAction action;
  } cases[] = {
      {u"C:\\pkg\\carddrv.inf,InstallPackage", DrvsetupAction::InstallPackage},
      {u"C:\\pkg\\carddrv.inf,installpackage", DrvsetupAction::InstallPackage},
      {u"C:\\pkg\\carddrv.inf,UnInstallPackage", DrvsetupAction::UninstallPackage},
      {u"C:\\pkg\\carddrv.inf,UNINSTALLPACKAGE", DrvsetupAction::UninstallPackage},
      {u"x,DeleteUSBPrintEntries", DrvsetupAction::DeleteUsbPrintEntries},
      {u"x,deleteusbprintentries", DrvsetupAction::DeleteUsbPrintEntries},
  };
  for (const Case &c : cases) {
    DrvsetupCommand command = parseDrvsetupCommand(c.line);
    EXPECT_EQ(command.action, c.action);
    EXPECT_EQ(command.exitCode, 1);
  }
  EXPECT_EQ(parseDrvsetupCommand(u"C:\\pkg\\carddrv.inf,InstallPackage").file, u"C:\\pkg\\carddrv.inf");
}

TEST(DrvsetupCommand, AnUnknownWordDoesNothingAndEndsWithOne) {
  for (std::u16string_view line : {u"C:\\pkg\\carddrv.inf,Install", u"C:\\pkg\\carddrv.inf,InstallPackage ",
                                   u"C:\\pkg\\carddrv.inf, InstallPackage", u"C:\\pkg\\carddrv.inf,"}) {
    DrvsetupCommand c = parseDrvsetupCommand(line);
    EXPECT_EQ(c.action, DrvsetupAction::None);
    EXPECT_EQ(c.exitCode, 1);
  }
}

TEST(DrvsetupCommand, TheFilePartKeepsItsCommasAndIsNeverCut) {
  DrvsetupCommand c = parseDrvsetupCommand(u"C:\\Drivers,2026\\carddrv.inf,UnInstallPackage");
  EXPECT_EQ(c.action, DrvsetupAction::UninstallPackage);
  EXPECT_EQ(c.file, u"C:\\Drivers,2026\\carddrv.inf");
  std::u16string longest(kDrvsetupFileChars, u'a');
  EXPECT_EQ(parseDrvsetupCommand(longest + u",InstallPackage").action, DrvsetupAction::InstallPackage);
  DrvsetupCommand tooLong = parseDrvsetupCommand(longest + u"a,InstallPackage");
  EXPECT_EQ(tooLong.action, DrvsetupAction::None);
  EXPECT_EQ(tooLong.exitCode, 1);
}

TEST(SelfDeleteBatch, TheTextLoopsUntilTheModuleIsGoneThenDeletesItself) {
  EXPECT_EQ(selfDeleteBatchText("C:\\Windows\\system32\\purgelib.dll", "C:\\Temp\\SelfDel.bat"),
            ":Repeat\r\n"
            "del \"C:\\Windows\\system32\\purgelib.dll\"\r\n"
            "if exist \"C:\\Windows\\system32\\purgelib.dll\" goto Repeat\r\n"
            "del \"C:\\Temp\\SelfDel.bat\"");
  // 8-bit text passes through as it is.
  EXPECT_EQ(selfDeleteBatchText("C:\\Zo\xEB\\p.dll", "C:\\T\\SelfDel.bat"),
            ":Repeat\r\ndel \"C:\\Zo\xEB\\p.dll\"\r\nif exist \"C:\\Zo\xEB\\p.dll\" goto Repeat\r\n"
            "del \"C:\\T\\SelfDel.bat\"");
}

TEST(SelfDeleteBatch, APercentSignStaysLiteral) {
  EXPECT_EQ(selfDeleteBatchText("C:\\a%b%\\p.dll", "C:\\T\\SelfDel.bat"),
            ":Repeat\r\ndel \"C:\\a%%b%%\\p.dll\"\r\nif exist \"C:\\a%%b%%\\p.dll\" goto Repeat\r\n"
            "del \"C:\\T\\SelfDel.bat\"");
}

TEST(SelfDeleteBatch, APathThatCouldNameOtherFilesGivesNoBatch) {
  EXPECT_EQ(selfDeleteBatchText("C:\\?\\p.dll", "C:\\T\\SelfDel.bat"), "");
  EXPECT_EQ(selfDeleteBatchText("C:\\*.dll", "C:\\T\\SelfDel.bat"), "");
  EXPECT_EQ(selfDeleteBatchText("C:\\p.dll", "C:\\T\\Self\"Del.bat"), "");
  EXPECT_EQ(selfDeleteBatchText("C:\\p.dll\r\ndel C:\\x", "C:\\T\\SelfDel.bat"), "");
  EXPECT_EQ(selfDeleteBatchText("", "C:\\T\\SelfDel.bat"), "");
}

}  // namespace
}  // namespace card::setup
