// The check after a job command: the steps the monitor is told to take for
// the printer's answers, with the pauses, requests and message numbers of the
// pacing rules and the status table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shared/pause_check.h"

using namespace card::pacing;
using card::status::CommandCategory;

namespace {

// Drives a check with scripted answers and lists the steps it asked for.
struct Script {
  std::vector<uint8_t> lineStatus;   // one per status read (missing: read failed)
  std::vector<bool> writes;          // one per request write (missing: succeeds)
  std::vector<std::string> replies;  // one per reply read (missing: empty)
};

std::string steps(PauseCheck &check, const Script &s) {
  std::string steps;
  size_t line = 0, write = 0, reply = 0;
  for (int guard = 0; guard < 100; ++guard) {
    CheckAction a = check.next();
    switch (a.step) {
      case CheckStep::Sleep: steps += "sleep " + std::to_string(a.ms) + ";"; break;
      case CheckStep::ReadLineStatus:
        steps += "line;";
        check.lineStatus(line < s.lineStatus.size(), line < s.lineStatus.size() ? s.lineStatus[line] : 0);
        ++line;
        break;
      case CheckStep::WriteRequest:
        steps += a.request ==
                         "\x1b"
                         "E 2\r"
                     ? "E2;"
                 : a.request ==
                         "\x1b"
                         "E 1\r"
                     ? "E1;"
                     : "?;";
        check.requestWritten(write < s.writes.size() ? s.writes[write] : true);
        ++write;
        break;
      case CheckStep::ReadReply: {
        steps += "read;";
        std::string r = reply < s.replies.size() ? s.replies[reply] : "";
        ++reply;
        check.reply(reinterpret_cast<const uint8_t *>(r.data()), r.size());
        break;
      }
      case CheckStep::ErrorWait: steps += "wait " + std::to_string(a.message); return steps;
      case CheckStep::Succeeded: steps += "ok"; return steps;
      case CheckStep::Failed: steps += "fail " + std::to_string(a.message); return steps;
    }
  }
  return steps + "loops";
}

}  // namespace

TEST(PauseCheck, OrdinaryCommandsAskTheLineFirst) {
  PauseCheck idle(CommandCategory::Other, true);
  EXPECT_EQ(steps(idle, {{0x18}, {}, {}}), "sleep 30;line;ok");

  // Not idle (0x58 is ready but not exactly idle): the error report request.
  PauseCheck busy(CommandCategory::Other, true);
  EXPECT_EQ(steps(busy, {{0x58}, {}, {"\x06"}}), "sleep 30;line;E2;read;ok");

  // No command classified yet: 50 ms, and the line is asked as well.
  PauseCheck unset(CommandCategory::None, true);
  EXPECT_EQ(steps(unset, {{0x18}, {}, {}}), "sleep 50;line;ok");
}

TEST(PauseCheck, OtherCategoriesGoStraightToTheRequest) {
  PauseCheck print(CommandCategory::Print, true);
  EXPECT_EQ(steps(print, {{}, {}, {"\x06"}}), "sleep 3850;E2;read;ok");
  PauseCheck block(CommandCategory::DataBlock, false);  // not a USB port: "\eE 1\r"
  EXPECT_EQ(steps(block, {{}, {}, {"\x06"}}), "sleep 100;E1;read;ok");
}

TEST(PauseCheck, RepliesOtherThanAckGoToTheErrorWait) {
  // NAK "0" "4" EOT: out of card, message 31.
  PauseCheck nak(CommandCategory::CardMotion, true);
  EXPECT_EQ(steps(nak, {{},
                        {},
                        {"\x15"
                         "04\x04"}}),
            "sleep 1000;E2;read;wait 31");
  EXPECT_EQ(nak.message(), 31u);

  // An unknown code gives the USB default, 2.
  PauseCheck unknown(CommandCategory::Move, true, 59);
  EXPECT_EQ(steps(unknown, {{},
                            {},
                            {"\x15"
                             "99\x04"}}),
            "sleep 3850;E2;read;wait 2");

  // Any other reply keeps the current message; two ACKs are not one.
  PauseCheck value(CommandCategory::TrackStart, true, 6);
  EXPECT_EQ(steps(value, {{}, {}, {"\x06\x06"}}), "sleep 200;E2;read;wait 6");
}

TEST(PauseCheck, SilenceIsAskedAgainSixTimes) {
  PauseCheck quiet(CommandCategory::Other, true);
  EXPECT_EQ(steps(quiet, {{0, 0, 0, 0, 0, 0}, {}, {}}),
            "sleep 30;line;E2;read;line;E2;read;line;E2;read;line;E2;read;line;E2;read;line;E2;read;wait 2");
  PauseCheck late(CommandCategory::EncodeEnd, true);
  EXPECT_EQ(steps(late, {{}, {}, {"", "", "", "", "", "\x06"}}),
            "sleep 1000;E2;read;E2;read;E2;read;E2;read;E2;read;E2;read;ok");
}

TEST(PauseCheck, FifthFailedRequestGivesUp) {
  PauseCheck broken(CommandCategory::Print, true);
  EXPECT_EQ(steps(broken, {{}, {false, false, false, false, false}, {}}),
            "sleep 3850;E2;sleep 1000;E2;sleep 1000;E2;sleep 1000;E2;sleep 1000;E2;sleep 1000;fail 8136");
  PauseCheck recovers(CommandCategory::Print, true);
  EXPECT_EQ(steps(recovers, {{}, {false, false, false, false, true}, {"\x06"}}),
            "sleep 3850;E2;sleep 1000;E2;sleep 1000;E2;sleep 1000;E2;sleep 1000;E2;read;ok");
  EXPECT_EQ(errorWaitPollMs(true), 3000u);
  EXPECT_EQ(errorWaitPollMs(false), 100u);
}
