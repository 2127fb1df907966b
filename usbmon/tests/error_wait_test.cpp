// The error wait's decisions, driven as the job thread drives them.
#include <gtest/gtest.h>

#include <string>

#include "usbmon/error_wait.h"

namespace card::usb {
namespace {

std::string bytesOf(std::initializer_list<int> b) {
  std::string s;
  for (int c : b) s.push_back(char(c));
  return s;
}

// Runs the first steps of a USB error wait up to the message task: line
// status `line`, error report request written, `reply` read.
uint32_t messageAfterReply(const std::string &reply) {
  ErrorWait w(true, 2);
  EXPECT_EQ(w.next().step, WaitStep::ReadLineStatus);
  w.lineStatus(true, 0x30);
  EXPECT_EQ(w.next().step, WaitStep::SetErrorPending);
  WaitAction a = w.next();
  EXPECT_EQ(a.step, WaitStep::WriteRequest);
  EXPECT_EQ(a.request,
            "\x1b"
            "E 2\r");
  w.requestWritten(true);
  EXPECT_EQ(w.next().step, WaitStep::ReadReply);
  w.reply(reinterpret_cast<const uint8_t *>(reply.data()), reply.size());
  a = w.next();
  EXPECT_EQ(a.step, WaitStep::StartTask);
  return a.message;
}

TEST(ErrorWait, ReadyLineStatusSucceedsAtOnce) {
  for (uint8_t line : {0x08, 0x18, 0x98}) {
    ErrorWait w(true, 2);
    EXPECT_EQ(w.next().step, WaitStep::ReadLineStatus);
    w.lineStatus(true, line);
    EXPECT_EQ(w.next().step, WaitStep::Succeeded) << int(line);
  }
}

TEST(ErrorWait, ErrorCodeOfTheReplyChoosesTheMessage) {
  // Codes and messages of the status table.
  EXPECT_EQ(messageAfterReply(bytesOf({0x15, '0', '4', 0x04})), 31u);  // OUT OF CARD
  EXPECT_EQ(messageAfterReply(bytesOf({0x15, '0', '1', 0x04})), 4u);   // OUT OF RIBBON
  EXPECT_EQ(messageAfterReply(bytesOf({0x15, '4', '1', 0x04})), 56u);  // ENCODING ERROR
  EXPECT_EQ(messageAfterReply(bytesOf({0x15, '5', '1', 0x04})), 9u);   // COVER OPEN
  EXPECT_EQ(messageAfterReply(bytesOf({0x15, '4', '7', 0x04})), 2207u);
  // Unknown code: the USB default; no reply or an ACK keeps the current one.
  EXPECT_EQ(messageAfterReply(bytesOf({0x15, '9', '9', 0x04})), 2u);
  EXPECT_EQ(messageAfterReply(""), 2u);
  EXPECT_EQ(messageAfterReply(bytesOf({0x06})), 2u);
}

TEST(ErrorWait, OtherPortsTakeTheMessageFromTheLineStatus) {
  const struct {
    uint8_t line;
    uint32_t message;
  } cases[] = {{0x28, 2}, {0x08 | 0x20, 2}, {0x20, 6}, {0x00, 7}, {0x10, 7}};
  for (auto c : cases) {
    ErrorWait w(false, 99);
    w.next();
    w.lineStatus(true, c.line);
    EXPECT_EQ(w.next().step, WaitStep::SetErrorPending);
    WaitAction a = w.next();
    ASSERT_EQ(a.step, WaitStep::StartTask);
    EXPECT_EQ(a.message, c.message) << int(c.line);
  }
}

// From the started task: poll the line, wait on the event.
ErrorWait waitingWait(bool usb) {
  ErrorWait w(usb, 4);
  w.next();
  w.lineStatus(true, 0x30);
  w.next();
  if (usb) {
    w.next();
    w.requestWritten(false);  // no request: the message stays as it is
  }
  EXPECT_EQ(w.next().step, WaitStep::StartTask);
  w.taskStarted(true);
  return w;
}

TEST(ErrorWait, PollsUntilTheErrorClearsThenClosesTheMessage) {
  ErrorWait w = waitingWait(true);
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(w.next().step, WaitStep::ReadLineStatus);
    w.lineStatus(true, 0x30);
    WaitAction a = w.next();
    ASSERT_EQ(a.step, WaitStep::WaitEvent);
    EXPECT_EQ(a.ms, 3000u);
    w.eventWait(false);
  }
  w.next();
  w.lineStatus(true, 0x18);
  EXPECT_EQ(w.next().step, WaitStep::CloseMessage);
  EXPECT_EQ(w.next().step, WaitStep::Succeeded);
}

TEST(ErrorWait, OtherPortsPollEveryTenthOfASecond) {
  ErrorWait w = waitingWait(false);
  w.next();
  w.lineStatus(true, 0x20);
  EXPECT_EQ(w.next().ms, 100u);
}

TEST(ErrorWait, DismissedMessageCancelsTheJobWithTheReset) {
  ErrorWait w = waitingWait(true);
  w.next();
  w.lineStatus(true, 0x30);
  w.next();
  w.eventWait(true);
  WaitAction a = w.next();
  ASSERT_EQ(a.step, WaitStep::WaitTaskEnd);
  EXPECT_EQ(a.ms, 50u);
  w.taskEnded(false, 0);
  w.next();
  w.taskEnded(true, kTaskDismissed);
  a = w.next();
  ASSERT_EQ(a.step, WaitStep::CancelJob);
  EXPECT_TRUE(a.reset);
  EXPECT_TRUE(a.markFailed);
  EXPECT_EQ(w.next().step, WaitStep::Failed);
}

TEST(ErrorWait, TaskThatEndsOtherwiseOrNeverCountsAsCleared) {
  {
    ErrorWait w = waitingWait(false);
    w.next();
    w.lineStatus(true, 0x30);
    w.next();
    w.eventWait(true);
    w.next();
    w.taskEnded(true, 0);
    EXPECT_EQ(w.next().step, WaitStep::Succeeded);
  }
  ErrorWait w = waitingWait(true);
  w.next();
  w.lineStatus(true, 0x30);
  w.next();
  w.eventWait(true);
  for (uint32_t i = 0; i < kTaskEndPolls; ++i) {
    ASSERT_EQ(w.next().step, WaitStep::WaitTaskEnd) << i;
    w.taskEnded(false, 0);
  }
  EXPECT_EQ(w.next().step, WaitStep::CloseMessage);
  EXPECT_EQ(w.next().step, WaitStep::Succeeded);
}

TEST(ErrorWait, LostPrinterOrDeletedJobCancelsWithoutReset) {
  for (bool lost : {true, false}) {
    ErrorWait w = waitingWait(true);
    w.next();
    if (lost) {
      w.lineStatus(false, 0);
    } else {
      w.lineStatus(true, 0x30);
      w.next();
      w.eventWait(false, true);
    }
    EXPECT_EQ(w.next().step, WaitStep::CloseMessage);
    WaitAction a = w.next();
    ASSERT_EQ(a.step, WaitStep::CancelJob);
    EXPECT_FALSE(a.reset);
    EXPECT_FALSE(a.markFailed);
    EXPECT_EQ(w.next().step, WaitStep::Failed);
  }
}

TEST(ErrorWait, WithoutATaskTheEventNeverCountsAsAnswer) {
  ErrorWait w(true, 2);
  w.next();
  w.lineStatus(true, 0x30);
  w.next();
  w.next();
  w.requestWritten(false);
  w.next();
  w.taskStarted(false);
  w.next();
  w.lineStatus(true, 0x30);
  w.next();
  w.eventWait(true);
  EXPECT_EQ(w.next().step, WaitStep::ReadLineStatus);
}

}  // namespace
}  // namespace card::usb
