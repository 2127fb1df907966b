// The ribbon check at job start and the ribbon cache file it writes.
#include <gtest/gtest.h>
#include <winsim/testing.h>

#include <aclapi.h>

#include <string>

#include "usbmon/ribbon_check.h"
#include "usbmon/tests/requests_fake_port.h"

namespace card::usb {
namespace {

using testing::FakePort;

constexpr char kAck = 0x06;
const std::u16string kDocumentsFile = u"C:\\Users\\Public\\Documents\\cardribbon.INI";
const std::u16string kAppDataFile = u"C:\\ProgramData\\cardribbon.ini";

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
  void answer(const std::string &command, const std::string &reply) { port.answers[command] = reply; }
  FakePort port;
};

TEST_F(Ribbon, TheCacheFileHoldsTheRibbonCodeAndTheModel) {
  answer("\033!RIBBON\r", "12 " + std::string(1, kAck));
  answer("\033V\r", "CA" + std::string(1, kAck));
  EXPECT_TRUE(checkRibbon(port));  // 12 has no remaining count
  std::string file = readDriveFile(kDocumentsFile);
  EXPECT_EQ(file, "Ribbon=12\rModel=CA\r");
  EXPECT_EQ(file.size(), 19u);
  EXPECT_EQ(port.queries, (std::vector<std::string>{"\033!RIBBON\r", "\033V\r"}));
  EXPECT_TRUE(port.shown.empty());
  EXPECT_TRUE(port.taskMessages.empty());
}

TEST_F(Ribbon, OlderSystemsKeepTheFileWithTheApplicationData) {
  port.generation = false;
  answer("\033!RIBBON\r", "5" + std::string(1, kAck));
  EXPECT_FALSE(checkRibbon(port));  // 5 counts down
  // No model answer: the model is empty.
  EXPECT_EQ(readDriveFile(kAppDataFile), "Ribbon=5\rModel=\r");
  EXPECT_EQ(readDriveFile(kDocumentsFile), "<missing>");
}

TEST_F(Ribbon, TheClassFlagFollowsTheCode) {
  struct Case {
    const char *reply;
    bool flag;
  } cases[] = {{"1", true},  {"7", true},   {"13", true},  {"18", true},  {"21", true}, {"2", false},
               {"6", false}, {"14", false}, {"17", false}, {"22", false}, {"-1", false}};
  for (const Case &c : cases) {
    port.answers["\033!RIBBON\r"] = std::string(c.reply) + kAck;
    EXPECT_EQ(checkRibbon(port), c.flag) << c.reply;
  }
  // Without an ACK-terminated answer the check ends with the flag clear and
  // nothing written.
  port.answers["\033!RIBBON\r"] = "7";
  EXPECT_FALSE(checkRibbon(port));
  port.answers.erase("\033!RIBBON\r");
  winsim::resetMachine();
  EXPECT_FALSE(checkRibbon(port));
  EXPECT_EQ(readDriveFile(kDocumentsFile), "<missing>");
}

TEST_F(Ribbon, ARibbonInsertedDuringTheWaitEndsItAndRewritesTheFile) {
  answer("\033!RIBBON\r", "0" + std::string(1, kAck));
  answer("\033V\r", "QA5" + std::string(1, kAck));
  std::string firstFile;
  port.onWait = [&](int wait) {
    if (wait == 1) {
      firstFile = readDriveFile(kDocumentsFile);
      port.answers["\033!RIBBON\r"] = "3" + std::string(1, kAck);
    }
    return false;
  };
  EXPECT_FALSE(checkRibbon(port));  // 3 counts down
  EXPECT_EQ(firstFile, "Ribbon=0\rModel=QA5\r");
  EXPECT_EQ(readDriveFile(kDocumentsFile), "Ribbon=3\rModel=QA5\r");
  EXPECT_EQ(port.taskMessages, std::vector<uint32_t>{2209});
  EXPECT_EQ(port.waits, 1);
  EXPECT_EQ(port.waitedMs, 1000u);
  EXPECT_EQ(port.tasksEnded, 1);
}

TEST_F(Ribbon, ADismissedNoRibbonMessageLetsTheJobGoOnWithCodeZero) {
  answer("\033!RIBBON\r", "0" + std::string(1, kAck));
  port.onWait = [](int wait) { return wait == 3; };
  EXPECT_TRUE(checkRibbon(port));
  EXPECT_EQ(port.waits, 3);
  EXPECT_EQ(readDriveFile(kDocumentsFile), "Ribbon=0\rModel=\r");
  EXPECT_EQ(port.tasksEnded, 1);
  // No message task to be had: no wait either.
  port.taskStarts = false;
  port.waits = 0;
  EXPECT_TRUE(checkRibbon(port));
  EXPECT_EQ(port.waits, 0);
}

TEST_F(Ribbon, TheLowRibbonAlertAtTwentyTenAndFive) {
  for (const char *count : {"20", "10", "5"}) {
    port.lowRibbonAlerts = 0;
    port.answers["\033!RIBLEN\r"] = count;
    EXPECT_TRUE(checkRemainingRibbon(port));
    EXPECT_EQ(port.lowRibbonAlerts, 1) << count;
  }
  for (const char *count : {"15", "21", "0", "100", "10 cards"}) {
    port.lowRibbonAlerts = 0;
    port.answers["\033!RIBLEN\r"] = count;
    EXPECT_TRUE(checkRemainingRibbon(port));
    EXPECT_EQ(port.lowRibbonAlerts, std::string(count) == "10 cards" ? 1 : 0) << count;
  }
  // No answer fails the job start.
  port.answers.erase("\033!RIBLEN\r");
  EXPECT_FALSE(checkRemainingRibbon(port));
}

TEST_F(Ribbon, EveryoneGetsFullAccessBesideTheEntriesTheFileHad) {
  answer("\033!RIBBON\r", "2" + std::string(1, kAck));
  PSID everyone = nullptr;
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  ASSERT_TRUE(AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
  for (int job = 0; job < 2; ++job) {
    checkRibbon(port);
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_EQ(GetNamedSecurityInfoW(kDocumentsFile.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                    &dacl, nullptr, &sd),
              DWORD(ERROR_SUCCESS));
    ASSERT_NE(dacl, nullptr);
    int everyoneEntries = 0, inherited = 0;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
      ACCESS_ALLOWED_ACE *ace = nullptr;
      ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<LPVOID *>(&ace)));
      if (ace->Header.AceFlags & INHERITED_ACE) ++inherited;
      if (!EqualSid(&ace->SidStart, everyone)) continue;
      ++everyoneEntries;
      EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
      EXPECT_EQ(ace->Mask, DWORD(FILE_ALL_ACCESS));
      EXPECT_EQ(ace->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    }
    // Once, however often the file is written; what the folder gave stays.
    EXPECT_EQ(everyoneEntries, 1);
    EXPECT_EQ(inherited, 3);
    LocalFree(sd);
  }
  FreeSid(everyone);
}

TEST_F(Ribbon, AFileThatCannotBeMadeShowsTheSystemError) {
  ASSERT_TRUE(CreateDirectoryW(kDocumentsFile.c_str(), nullptr));  // a folder in its place
  answer("\033!RIBBON\r", "2" + std::string(1, kAck));
  EXPECT_FALSE(checkRibbon(port));
  ASSERT_EQ(port.shown.size(), 1u);
  EXPECT_EQ(port.shown[0].message, 2087u);
  EXPECT_EQ(port.shown[0].systemError, DWORD(ERROR_ACCESS_DENIED));
}

TEST_F(Ribbon, NoShellFolderLibraryNoFile) {
  winsim::hideSystemExport(u"shfolder.dll", "SHGetFolderPathW");
  answer("\033!RIBBON\r", "2" + std::string(1, kAck));
  EXPECT_FALSE(checkRibbon(port));
  EXPECT_EQ(readDriveFile(kDocumentsFile), "<missing>");
  EXPECT_TRUE(port.shown.empty());
  winsim::hideSystemExport(u"shfolder.dll");
  EXPECT_FALSE(checkRibbon(port));
  EXPECT_EQ(readDriveFile(kDocumentsFile), "<missing>");
}

}  // namespace
}  // namespace card::usb
