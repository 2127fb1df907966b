// The ribbon checks at job start: the ribbon cache file, the wait while no
// ribbon is loaded, the remaining count and its low ribbon alert.
#include <shfolder.h>

#include "netmon/tests/glue/port_harness.h"

namespace card::net::test {
namespace {

// The ribbon cache file's place: the all-users documents of Windows 6 and
// later, as the rendering driver reads it.
std::u16string cachePath() {
  WCHAR folder[MAX_PATH] = {};
  EXPECT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_DOCUMENTS, nullptr, 0, folder)));
  return std::u16string(reinterpret_cast<const char16_t *>(folder)) + u"\\cardribbon.INI";
}

std::string cacheFile() {
  const std::u16string path = cachePath();
  HANDLE f = CreateFileW(reinterpret_cast<LPCWSTR>(path.c_str()), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return "(none)";
  char buffer[256];
  DWORD read = 0;
  ReadFile(f, buffer, sizeof buffer, &read, nullptr);
  CloseHandle(f);
  return std::string(buffer, read);
}

TEST_F(PortTest, TheJobStartWritesRibbonAndModelForTheDriver) {
  openJobChannels();
  checkRibbon(*port);
  EXPECT_EQ(cacheFile(), "Ribbon=2\rModel=CA3 MAG V3.02\r");
  EXPECT_STREQ(port->model, "CA3 MAG V3.02");
  EXPECT_FALSE(port->ribbonClass);
  // A ribbon without a count, reported with its blank ("12 " ACK).
  printer->loadRibbon(12, 100);
  checkRibbon(*port);
  EXPECT_EQ(cacheFile(), "Ribbon=12\rModel=CA3 MAG V3.02\r");
  EXPECT_TRUE(port->ribbonClass);
  EXPECT_TRUE(winsim::shownMessages().empty());
}

// A printer still busy with something else is left to finish it before
// each question of the check: the busy wait polls the status channel until
// bit 7 clears.
TEST_F(PortTest, TheCheckWaitsForABusyPrinterBeforeEachQuestion) {
  openJobChannels();
  const uint64_t before = net->stats().statusPolls;
  net->setBusyPolls(3);
  checkRibbon(*port);
  // Three busy answers, then one ready before the ribbon question and one
  // before the model question.
  EXPECT_EQ(net->stats().statusPolls - before, 5u);
  EXPECT_EQ(cacheFile(), "Ribbon=2\rModel=CA3 MAG V3.02\r");
  EXPECT_TRUE(winsim::shownMessages().empty());
}

TEST_F(PortTest, ARibbonLoadedDuringTheWaitEndsItWithinASecond) {
  // Measured on the simulated clock: a slow one keeps the real time the
  // sockets take small beside the second asked for.
  winsim::setClockScale(2);
  openJobChannels();
  winsim::UserScript leaveOpen;
  leaveOpen.channel = winsim::UserChannel::Notification;
  leaveOpen.timing = winsim::AnswerTiming::LeaveOpen;
  winsim::scriptUser(leaveOpen);
  printer->removeRibbon();
  std::thread job([&] { checkRibbon(*port); });
  ASSERT_TRUE(winsim::waitForShownMessages(1, 20000));
  EXPECT_EQ(cacheFile(), "Ribbon=0\rModel=CA3 MAG V3.02\r");
  const winsim::ShownMessage shown = winsim::shownMessages().front();
  EXPECT_EQ(shown.text, errorText(514));
  const uint64_t loaded = GetTickCount64();
  printer->loadRibbon(3, 100);
  job.join();
  EXPECT_LE(GetTickCount64() - loaded, 2000u);
  EXPECT_EQ(cacheFile(), "Ribbon=3\rModel=CA3 MAG V3.02\r");
  EXPECT_FALSE(port->ribbonClass);
  ASSERT_EQ(winsim::closeRequests().size(), 1u);
  EXPECT_EQ(winsim::closeRequests()[0].closedId, shown.id);
}

TEST_F(BoxPortTest, ADismissedNoRibbonMessageLetsTheJobGoOnWithoutRibbon) {
  openJobChannels();
  winsim::UserScript dismiss;
  dismiss.channel = winsim::UserChannel::Box;
  winsim::scriptUser(dismiss);
  printer->removeRibbon();
  checkRibbon(*port);
  ASSERT_EQ(winsim::shownMessages().size(), 1u);
  EXPECT_EQ(winsim::shownMessages()[0].caption, u"Card Printer Error");
  EXPECT_EQ(cacheFile(), "Ribbon=0\rModel=CA3 MAG V3.02\r");
  EXPECT_TRUE(port->ribbonClass);
}

TEST_F(PortTest, ALowRemainingCountRaisesTheAlertForAWhile) {
  openJobChannels();
  winsim::UserScript leaveOpen;
  leaveOpen.channel = winsim::UserChannel::Notification;
  leaveOpen.timing = winsim::AnswerTiming::LeaveOpen;
  winsim::scriptUser(leaveOpen);
  printer->loadRibbon(2, 15);
  checkRemainingRibbon(*port);
  EXPECT_EQ(port->remainingRibbon, 15);
  printer->loadRibbon(2, 10);
  checkRemainingRibbon(*port);
  EXPECT_EQ(port->remainingRibbon, 10);
  ASSERT_TRUE(winsim::waitForShownMessages(1, 20000));
  const winsim::ShownMessage shown = winsim::shownMessages().front();
  EXPECT_EQ(shown.text, u"Printer: Pellor CA3 Card Printer\r\nIP Address: 127.0.5.20\r\n\r\n" + resource(513) + u" 10");
  EXPECT_EQ(shown.title, u"Card Printer Error");
  // Nobody answers: it goes away by itself.
  ASSERT_TRUE(winsim::waitForMessageEnd(shown.id, 20000));
  EXPECT_EQ(winsim::shownMessages().front().end, winsim::MessageEnd::Closed);
  stopLowRibbonAlert(*port);
  EXPECT_EQ(winsim::shownMessages().size(), 1u);
  // A ribbon without a count is not asked for one.
  port->ribbonClass = true;
  checkRemainingRibbon(*port);
  EXPECT_EQ(port->remainingRibbon, 50);
}

TEST_F(PortTest, ACacheFileThatCannotBeWrittenIsReported) {
  openJobChannels();
  const std::u16string path = cachePath();
  ASSERT_TRUE(CreateDirectoryW(reinterpret_cast<LPCWSTR>(path.c_str()), nullptr));
  winsim::UserScript dismiss;
  dismiss.channel = winsim::UserChannel::Notification;
  winsim::scriptUser(dismiss);
  checkRibbon(*port);
  ASSERT_TRUE(winsim::waitForShownMessages(1, 20000));
  const std::u16string text = winsim::shownMessages().front().text;
  EXPECT_EQ(text.find(resource(502) + u" "), 0u) << std::string(text.begin(), text.end());
  EXPECT_NE(text.find(u"Error : "), std::u16string::npos);
  EXPECT_FALSE(port->ribbonClass);
}

}  // namespace
}  // namespace card::net::test
