// The ribbon check at job start and the ribbon cache file it writes.
#include <gtest/gtest.h>
#include <winsim/testing.h>

#include <aclapi.h>

#include <string>

#include "usbmon/ribbon_check.h"
#include "usbmon/tests/requests_fake_port.h"

namespace card::usb {
namespace {

const std::string kAck = "\x06";
const std::u16string kDocumentsFile = u"C:\\Users\\Public\\Documents\\cardribbon.INI";

std::string readDriveFile(const std::u16string &path) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return "<missing>";
  char buf[256];
  DWORD got = 0;
  ReadFile(f, buf, sizeof buf, &got, nullptr);
  CloseHandle(f);
  return std::string(buf, got);
}

class Ribbon : public ::testing::Test {
 protected:
  void SetUp() override { winsim::resetMachine(); }
  void ribbon(const std::string &reply) { port.answers["\033!RIBBON\r"] = reply; }
  testing::FakePort port;
};

TEST_F(Ribbon, TheCacheFileHoldsTheCodeAndTheModel) {
  ribbon("12 " + kAck);
  port.answers["\033V\r"] = "CA" + kAck;
  EXPECT_TRUE(checkRibbon(port));                                     // 12: no remaining count
  EXPECT_EQ(readDriveFile(kDocumentsFile), "Ribbon=12\rModel=CA\r");  // 19 bytes
  EXPECT_TRUE(port.shown.empty());
  // Older systems: the application data folder; no model answer, no model.
  port.generation = false;
  port.answers.erase("\033V\r");
  ribbon("5" + kAck);
  EXPECT_FALSE(checkRibbon(port));
  EXPECT_EQ(readDriveFile(u"C:\\ProgramData\\cardribbon.ini"), "Ribbon=5\rModel=\r");
}

TEST_F(Ribbon, TheClassFlagFollowsTheCode) {
  for (const char *code : {"1", "7", "13", "18", "21"}) {
    ribbon(code + kAck);
    EXPECT_TRUE(checkRibbon(port)) << code;
  }
  for (const char *code : {"2", "6", "14", "17", "22"}) {
    ribbon(code + kAck);
    EXPECT_FALSE(checkRibbon(port)) << code;
  }
  // No ACK-terminated answer: the check ends, the flag clear, no file.
  winsim::resetMachine();
  ribbon("7");
  EXPECT_FALSE(checkRibbon(port));
  EXPECT_EQ(readDriveFile(kDocumentsFile), "<missing>");
}

TEST_F(Ribbon, ARibbonInsertedDuringTheWaitEndsItAndRewritesTheFile) {
  ribbon("0" + kAck);
  port.answers["\033V\r"] = "QA5" + kAck;
  std::string during;
  port.onWait = [&](int) {
    during = readDriveFile(kDocumentsFile);
    ribbon("3" + kAck);
    return false;
  };
  EXPECT_FALSE(checkRibbon(port));
  EXPECT_EQ(during, "Ribbon=0\rModel=QA5\r");
  EXPECT_EQ(readDriveFile(kDocumentsFile), "Ribbon=3\rModel=QA5\r");
  EXPECT_EQ(port.taskMessages, std::vector<uint32_t>{2209});
  EXPECT_EQ(port.paused, 1000u);  // one wait
  EXPECT_EQ(port.tasksEnded, 1);
  // Dismissed instead: the job goes on with code 0, the flag set.
  ribbon("0" + kAck);
  port.onWait = [](int wait) { return wait == 3; };
  port.waits = 0;
  EXPECT_TRUE(checkRibbon(port));
  EXPECT_EQ(port.waits, 3);
  EXPECT_EQ(readDriveFile(kDocumentsFile), "Ribbon=0\rModel=QA5\r");
}

TEST_F(Ribbon, LowRibbonAlertAtTwentyTenAndFive) {
  const std::pair<const char *, int> counts[] = {{"20", 1}, {"10", 1}, {"5", 1}, {"15", 0}, {"21", 0}, {"0", 0}};
  for (const auto &[count, alerts] : counts) {
    port.lowRibbonAlerts = 0;
    port.answers["\033!RIBLEN\r"] = count;
    EXPECT_TRUE(checkRemainingRibbon(port));
    EXPECT_EQ(port.lowRibbonAlerts, alerts) << count;
  }
  port.answers.erase("\033!RIBLEN\r");
  EXPECT_FALSE(checkRemainingRibbon(port));  // no answer fails the job start
}

TEST_F(Ribbon, EveryoneGetsFullAccessOnceBesideWhatTheFileHad) {
  ribbon("2" + kAck);
  PSID everyone = nullptr;
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  ASSERT_TRUE(AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
  checkRibbon(port);
  checkRibbon(port);  // every job writes the file again
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  ASSERT_EQ(GetNamedSecurityInfoW(kDocumentsFile.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                  &dacl, nullptr, &sd),
            DWORD(ERROR_SUCCESS));
  int everyoneEntries = 0, inherited = 0;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE *ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<LPVOID *>(&ace)));
    inherited += (ace->Header.AceFlags & INHERITED_ACE) != 0;
    if (!EqualSid(&ace->SidStart, everyone)) continue;
    ++everyoneEntries;
    EXPECT_EQ(ace->Mask, DWORD(FILE_ALL_ACCESS));
    EXPECT_EQ(ace->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
  }
  EXPECT_EQ(everyoneEntries, 1);
  EXPECT_EQ(inherited, 3);  // what the folder gave stays
  LocalFree(sd);
  FreeSid(everyone);
}

TEST_F(Ribbon, NoFileWithoutTheShellFolderOrWhenItCannotBeMade) {
  ribbon("2" + kAck);
  winsim::hideSystemExport(u"shfolder.dll", "SHGetFolderPathW");
  checkRibbon(port);
  EXPECT_EQ(readDriveFile(kDocumentsFile), "<missing>");
  EXPECT_TRUE(port.shown.empty());
  // Nor without the spooler's own identity.
  winsim::resetMachine();
  winsim::hideSystemExport(u"spoolss.dll", "RevertToPrinterSelf");
  checkRibbon(port);
  EXPECT_EQ(readDriveFile(kDocumentsFile), "<missing>");
  winsim::resetMachine();
  ASSERT_TRUE(CreateDirectoryW(kDocumentsFile.c_str(), nullptr));  // a folder in its place
  checkRibbon(port);
  EXPECT_EQ(port.shown, std::vector<uint32_t>{2087});
  EXPECT_EQ(port.lastSystemError, DWORD(ERROR_ACCESS_DENIED));
}

// Another port's job start writing the file, or a reader that does not
// share writing, holds it a moment: the write waits for it instead of
// telling the user it failed; one held for good is reported once.
TEST_F(Ribbon, FileHeldOpenByAnotherWriterIsWrittenOnceItIsFree) {
  winsim::setClockScale(100);
  ribbon("2" + kAck);
  port.answers["\033V\r"] = "CA" + kAck;
  HANDLE held = CreateFileW(kDocumentsFile.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  HANDLE releaser = CreateThread(
      nullptr, 0,
      [](LPVOID h) -> DWORD {
        Sleep(200);
        CloseHandle(static_cast<HANDLE>(h));
        return 0;
      },
      held, 0, nullptr);
  ASSERT_NE(releaser, nullptr);
  checkRibbon(port);
  ASSERT_EQ(WaitForSingleObject(releaser, 10000), DWORD(WAIT_OBJECT_0));
  CloseHandle(releaser);
  EXPECT_TRUE(port.shown.empty());
  EXPECT_EQ(readDriveFile(kDocumentsFile), "Ribbon=2\rModel=CA\r");

  held = CreateFileW(kDocumentsFile.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  checkRibbon(port);
  CloseHandle(held);
  EXPECT_EQ(port.shown, std::vector<uint32_t>{2087});
  EXPECT_EQ(port.lastSystemError, DWORD(ERROR_SHARING_VIOLATION));
}

}  // namespace
}  // namespace card::usb
