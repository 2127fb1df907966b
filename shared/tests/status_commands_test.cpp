// Query names, job command categories with their pauses, and the network
// reply waits, with the values from the protocol's tables.
#include <gtest/gtest.h>

#include <string_view>

#include "shared/status_commands.h"

using namespace card::status;

namespace {
QueryKind Q(std::string_view s) { return classifyQuery(bytes(s), s.size()); }
CommandClass C(std::string_view s) { return classifyCommand(bytes(s), s.size()); }
uint32_t pause(std::string_view s) { return pauseAfter(C(s).category); }
uint32_t wait(std::string_view s) { return replyWaitSeconds(bytes(s), s.size()); }
}  // namespace

TEST(StatusQueries, NamesAndResets) {
  EXPECT_EQ(Q("\x1bGetFileVersion\r"), QueryKind::FileVersion);
  EXPECT_EQ(Q("\x1bIsDOCComplete\r"), QueryKind::DocComplete);
  EXPECT_EQ(Q("\x1b"
              "CheckPortStatus\r"),
            QueryKind::PortStatus);
  EXPECT_EQ(Q("\x1bISHIDREADY\r"), QueryKind::HidReady);
  EXPECT_EQ(Q("\x1bHIDDONE\r"), QueryKind::HidReady);
  EXPECT_EQ(Q("\x1bISREADY\r"), QueryKind::IsReady);
  EXPECT_EQ(Q("\x1b"
              "CHECK_STATUS\r"),
            QueryKind::CheckStatus);
  EXPECT_EQ(Q("\x1bSRESET\r"), QueryKind::SoftReset);
  EXPECT_EQ(Q("\x1bHRESET\r"), QueryKind::HardReset);
  EXPECT_EQ(Q("UISingleJobStatusString"), QueryKind::JobStatus);
  EXPECT_EQ(Q("\x1bisready\r"), QueryKind::Other);
  EXPECT_EQ(Q("\x1bV\r"), QueryKind::Other);

  EXPECT_EQ(Q("\x1bR\r"), QueryKind::Reset);
  EXPECT_EQ(Q("\x1bRESET\r"), QueryKind::Reset);
  // "\eRESET\r" followed by anything is an ordinary command.
  for (std::string_view s : {"\x1bRESET\r\x1bV\r", "\x1bRESET\r ", "\x1bRESET", "\x1bR\rx", "\x1bR 1\r"}) {
    EXPECT_FALSE(isResetCommand(bytes(s), s.size())) << s;
    EXPECT_EQ(Q(s), QueryKind::Other);
  }

  std::string_view clean =
      "x\x1b"
      "CLEAN\ry";
  EXPECT_TRUE(containsCleanQuery(bytes(clean), clean.size()));
  EXPECT_EQ(Q(clean), QueryKind::Other);
  EXPECT_EQ(errorReportRequest(true),
            "\x1b"
            "E 2\r");
  EXPECT_EQ(errorReportRequest(false),
            "\x1b"
            "E 1\r");
}

TEST(StatusPacing, CategoriesAndPauses) {
  struct {
    std::string_view cmd;
    CommandCategory cat;
    uint32_t pause;
  } rows[] = {
      {"\x1bGS 1 0 30 0 0 1024 640\r", CommandCategory::DataBlock, 100},
      {"\x1bZ", CommandCategory::DataBlock, 100},
      {"\x1bI 30\r", CommandCategory::Print, 3850},
      {"\x1bIS 2\r", CommandCategory::Print, 3850},
      {"\x1bIV 31\r", CommandCategory::Print, 3850},
      {"\x1bI\r", CommandCategory::Print, 3850},
      {"\x1b&E*\r", CommandCategory::EncodeEnd, 1000},
      {"\x1b&R\r", CommandCategory::TrackStart, 200},
      {"\x1bM 120\r", CommandCategory::Move, 3850},
      {"\x1bm 5\r", CommandCategory::Move, 3850},
      {"\x1bMF\r", CommandCategory::CardMotion, 1000},
      {"\x1bMO\r", CommandCategory::CardMotion, 1000},
      {"\x1bMI\r", CommandCategory::CardMotion, 1000},
      {"\x1b# 1 TF 3\r", CommandCategory::CardMotion, 1000},
      {"\x1b"
       "F\r",
       CommandCategory::Other, 30},
      {"\x1bMS 2\r", CommandCategory::Other, 30},
      {"\x1b!FF 1\r", CommandCategory::Other, 30},
  };
  for (auto &r : rows) {
    EXPECT_EQ(C(r.cmd).category, r.cat) << r.cmd;
    EXPECT_EQ(pause(r.cmd), r.pause) << r.cmd;
  }
  EXPECT_EQ(pauseAfter(CommandCategory::None), 50u);

  // First match wins: a print command that also ejects is a print.
  EXPECT_EQ(C("\x1bI 30\x1bMO\r").category, CommandCategory::Print);
  // An ESC "I" with no CR after it is not a print.
  EXPECT_EQ(C("\x1bMO\r\x1bI").category, CommandCategory::CardMotion);

  EXPECT_TRUE(C("\x1b"
                "G 0 0 10\r")
                  .rawCount);
  EXPECT_EQ(C("\x1b"
              "G 0 0 10\r")
                .category,
            CommandCategory::Other);
  EXPECT_FALSE(C("\x1b"
                 "G 0 0 11\r")
                   .rawCount);
}

TEST(StatusPacing, NetworkReplyWaits) {
  struct {
    std::string_view cmd;
    uint32_t wait;
  } rows[] = {
      {"\x1bR\r", 15},
      {"\x1bRESET\r", 15},
      {"\x1bMI\r", 15},
      {"\x1bMS 2\r", 15},
      {"\x1bMSx", 15},
      {"\x1b&L1\r", 15},
      {"\x1b&E*\r", 15},
      {"\x1b"
       "A\r",
       75},
      {"\x1b"
       "A\r\x1bV\r",
       75},
      {"\x1b"
       "A 1\r",
       75},
      {"\x1b"
       "A 2\r",
       75},
      {"\x1b"
       "A 3\r",
       75},
      // Not exactly the listed commands: the ordinary wait.
      {"\x1bR\r\r", 4},
      {"\x1bRESET\r ", 4},
      {"\x1bMI\r\r", 4},
      {"\x1bMS", 4},
      {"\x1b&L\0", 4},
      {"\x1b&E*\r\r", 4},
      {"\x1b"
       "A 4\r",
       4},
      {"\x1b"
       "A 1\r\r",
       4},
      {"\x1bV\r", 4},
      {"", 4},
  };
  for (auto &r : rows) EXPECT_EQ(wait(r.cmd), r.wait) << r.cmd;
}
