// The session's own answers, the busy rule and the ISREADY mode.
#include <gtest/gtest.h>

#include <string>

#include "usbmon/session_rules.h"

namespace card::usb {
namespace {

QueryPlan plan(const std::string &cmd, bool jobActive, bool dataSent = false, bool isReady = false) {
  QueryContext c;
  c.jobActive = jobActive;
  c.dataSent = dataSent;
  c.isReadyMode = isReady;
  return planEscapeQuery(reinterpret_cast<const uint8_t *>(cmd.data()), cmd.size(), c);
}

TEST(SessionRules, NamesByPrefixWithoutCase) {
  EXPECT_TRUE(isUsbPort(u"USB001"));
  EXPECT_TRUE(isUsbPort(u"usb002"));
  EXPECT_FALSE(isUsbPort(u"US"));
  EXPECT_FALSE(isUsbPort(static_cast<const char16_t *>(nullptr)));
  EXPECT_TRUE(isFilePort(u"FILE:"));
  EXPECT_FALSE(isFilePort(u"LPT1:"));
  EXPECT_TRUE(skipsRibbonCount(u"XLINETOOL"));
  EXPECT_TRUE(skipsRibbonCount(u"xlineEncoder"));
  EXPECT_FALSE(skipsRibbonCount(u"Card 1"));
  EXPECT_EQ(lineStatusControlCode(true), 0x220030u);
  EXPECT_EQ(lineStatusControlCode(false), 0x160004u);
}

TEST(SessionRules, AnswersInAnyState) {
  using status::QueryKind;
  EXPECT_EQ(answerInAnyState(QueryKind::FileVersion, false, false), "8.00.02.01");
  EXPECT_EQ(answerInAnyState(QueryKind::DocComplete, false, false), "DOC_PENDING");
  EXPECT_EQ(answerInAnyState(QueryKind::DocComplete, true, false), "DOC_COMPLETE");
  EXPECT_EQ(answerInAnyState(QueryKind::PortStatus, false, false), "STATUS_SUCCESS");
  EXPECT_EQ(answerInAnyState(QueryKind::PortStatus, false, true), "STATUS_FAILED");
  EXPECT_TRUE(answerInAnyState(QueryKind::Other, true, true).empty());
}

TEST(SessionRules, IsReadyAnswersWithoutThePrinterAndEntersTheMode) {
  QueryPlan p = plan("\x1bISREADY\r", false);
  EXPECT_EQ(p.action, QueryAction::AnswerByte);
  EXPECT_EQ(p.byte, 1);
  EXPECT_TRUE(p.isReadyMode);
  EXPECT_EQ(plan("\x1bISREADY\r", true).byte, 0);
  EXPECT_EQ(plan("\x1bISREADY\r", false, true).byte, 0);
}

TEST(SessionRules, CheckStatusIsLocalOnlyInIsReadyMode) {
  EXPECT_EQ(plan("\x1b"
                 "CHECK_STATUS\r",
                 false, false, true)
                .action,
            QueryAction::CheckStatus);
  EXPECT_EQ(plan("\x1b"
                 "CHECK_STATUS\r",
                 true, false, true)
                .action,
            QueryAction::CheckStatus);
  EXPECT_EQ(plan("\x1b"
                 "CHECK_STATUS\r",
                 false)
                .action,
            QueryAction::Send);
  EXPECT_EQ(checkStatusAnswer(true, 0x18), 0x06);
  EXPECT_EQ(checkStatusAnswer(true, 0x38), 56);
  EXPECT_EQ(checkStatusAnswer(true, 0x08), 56);
  EXPECT_EQ(checkStatusAnswer(false, 0x18), 56);
}

TEST(SessionRules, BusyRuleRefusesPrinterQueriesDuringAJob) {
  for (const char *cmd : {"\x1bV\r", "\x1b!RIBBON\r", "\x1bR\r", "\x1bSRESET\r",
                          "\x1b"
                          "CLEAN\r"}) {
    QueryPlan p = plan(cmd, true, false, true);
    EXPECT_EQ(p.action, QueryAction::Refuse) << cmd + 1;
    EXPECT_FALSE(p.isReadyMode);
  }
  EXPECT_EQ(plan("\x1bV\r", false).action, QueryAction::Send);
}

TEST(SessionRules, ResetIsExactAndEndsTheMode) {
  QueryPlan p = plan("\x1bR\r", false, false, true);
  EXPECT_EQ(p.action, QueryAction::Reset);
  EXPECT_FALSE(p.isReadyMode);
  EXPECT_EQ(plan("\x1bRESET\r", false).action, QueryAction::Reset);
  EXPECT_EQ(plan("\x1bRESET 1\r", false).action, QueryAction::Send);
  EXPECT_EQ(plan("\x1bRESETX", false).action, QueryAction::Send);
}

TEST(SessionRules, EjectAndMoveEndTheMode) {
  EXPECT_FALSE(plan("\x1bMS 2\r", false, false, true).isReadyMode);
  EXPECT_FALSE(plan("\x1bMO\r", false, false, true).isReadyMode);
  EXPECT_TRUE(plan("\x1bMS 1\r", false, false, true).isReadyMode);
  EXPECT_FALSE(plan("\x1bMO\r", false, false, false).isReadyMode);
}

TEST(SessionRules, AbortCleanupByRibbonClass) {
  CleanupSequence counted = abortCleanup(false);
  EXPECT_EQ(counted.first, "\r");
  EXPECT_EQ(counted.second, "\x1bMO\r\x1b!FF 0\r");
  EXPECT_EQ(counted.second.size(), 11u);
  CleanupSequence plain = abortCleanup(true);
  EXPECT_TRUE(plain.first.empty());
  EXPECT_EQ(plain.second, "\x1bMO\r");
}

}  // namespace
}  // namespace card::usb
