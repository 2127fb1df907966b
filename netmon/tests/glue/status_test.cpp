// The status poll, the bit-7 re-check and the reply check after a command,
// against the emulated printer and against an interface of the test's own
// for the replies the printer never gives.
#include <chrono>

#include "netmon/connection.h"
#include "netmon/status_channel.h"
#include "netmon/tests/glue/port_harness.h"
#include "netmon/tests/glue/raw_interface.h"

namespace card::net::test {
namespace {

using namespace std::chrono_literals;
constexpr char kRawAddress[] = "127.0.5.21";

// A port on the test's own interface: no SNMP agent, no web server.
class RawPortTest : public PortTest {
 protected:
  void SetUp() override {
    PortTest::SetUp();
    if (HasFatalFailure()) return;
    raw = std::make_unique<RawInterface>(kRawAddress);
    ASSERT_TRUE(raw->started());
    using winsim::NetworkProtocol;
    ASSERT_TRUE(winsim::declareNetworkHost(
        kRawAddress, "",
        {{NetworkProtocol::Tcp, 9100, raw->dataPort()}, {NetworkProtocol::Tcp, 9111, raw->statusPort()}}));
    std::strcpy(port->address, kRawAddress);
  }
  void TearDown() override {
    PortTest::TearDown();
    raw.reset();
  }
  void reopenStatus() {
    closeConnection(port->status);
    int error = 0;
    port->status = openConnection(port->address, kStatusChannelPort, error);
    ASSERT_NE(port->status, INVALID_SOCKET) << error;
  }
  std::unique_ptr<RawInterface> raw;
};

TEST_F(PortTest, AChangedBusyBitIsPolledAgainAtMostThreeTimes) {
  openJobChannels();
  const auto polls = [&] { return net->stats().statusPolls; };
  uint64_t before = polls();
  // Idle and ready; the remembered bit 7 is clear.
  EXPECT_EQ(pollWithBit7Recheck(*port), 0x58);
  EXPECT_EQ(polls() - before, 1u);
  // One busy answer: polled again once, the idle byte stands.
  net->setBusyPolls(1);
  before = polls();
  EXPECT_EQ(pollWithBit7Recheck(*port), 0x58);
  EXPECT_EQ(polls() - before, 2u);
  EXPECT_FALSE(port->rememberedBit7);
  // Busy for good: three more polls, then the busy byte is reported and
  // remembered, and the next poll that agrees with it is taken at once.
  net->setBusyPolls(100);
  before = polls();
  EXPECT_EQ(pollWithBit7Recheck(*port), 0xD8);
  EXPECT_EQ(polls() - before, 4u);
  EXPECT_TRUE(port->rememberedBit7);
  before = polls();
  EXPECT_EQ(pollWithBit7Recheck(*port), 0xD8);
  EXPECT_EQ(polls() - before, 1u);
  net->setBusyPolls(0);
}

TEST_F(PortTest, TheBusyWaitEndsWithTheBusyBitOrAfterFiftyOnePolls) {
  openJobChannels();
  net->setBusyPolls(5);
  uint64_t before = net->stats().statusPolls;
  busyWait(*port);
  EXPECT_EQ(net->stats().statusPolls - before, 6u);
  EXPECT_EQ(port->lastStatus, 0x58);
  net->setBusyPolls(1000);
  before = net->stats().statusPolls;
  busyWait(*port);
  EXPECT_EQ(net->stats().statusPolls - before, 51u);
  EXPECT_EQ(port->lastStatus, 0xD8);
  net->setBusyPolls(0);
}

TEST_F(RawPortTest, AnAlternatingBusyBitIsReportedAfterAtMostThreeRepolls) {
  reopenStatus();
  raw->setStatusReplies({statusReply(0xD8), statusReply(0x58), statusReply(0xD8), statusReply(0x58)});
  EXPECT_EQ(pollWithBit7Recheck(*port), 0x58);
  EXPECT_EQ(raw->polls(), 2);
  EXPECT_FALSE(port->rememberedBit7);
  // Remembered busy: the idle answer is checked again, the busy one stands.
  port->rememberedBit7 = true;
  raw->setStatusReplies({statusReply(0x58), statusReply(0xD8), statusReply(0x58), statusReply(0xD8)});
  EXPECT_EQ(pollWithBit7Recheck(*port), 0xD8);
  EXPECT_EQ(raw->polls(), 4);
  EXPECT_TRUE(port->rememberedBit7);
}

TEST_F(RawPortTest, ShortLongAndGarbledStatusRepliesAreNotReady) {
  const struct {
    std::string reply;
    bool ready;
    uint8_t status;
  } cases[] = {
      {statusReply(0x58), true, 0x58},
      {statusReply(0xD8), true, 0xD8},
      {statusReply(0x18), false, 0x18},
      {statusReply(0x58) + "extra", true, 0x58},
      {std::string("\x06") + "000000000" + "\x58" + "X", false, 0x58},  // no EOT
      {"\x06"
       "12345",
       false, 0},
      {"hello world!", false, 0},
      {"", false, 0},  // no reply within the wait
  };
  for (const auto &c : cases) {
    reopenStatus();
    raw->setStatusReplies({c.reply});
    port->lastStatus = 0x77;
    EXPECT_EQ(pollStatus(*port), c.ready) << testing::PrintToString(c.reply);
    EXPECT_EQ(port->lastStatus, c.status) << testing::PrintToString(c.reply);
  }
}

TEST_F(RawPortTest, AStatusReplyThatCameTooLateDoesNotAnswerTheNextPoll) {
  reopenStatus();
  // 4 s of the test's clock are 80 ms of real time.
  raw->setStatusDelay(300ms);
  raw->setStatusReplies({statusReply(0x20), statusReply(0x58)});
  EXPECT_FALSE(pollStatus(*port));
  EXPECT_EQ(port->lastStatus, 0);
  std::this_thread::sleep_for(400ms);  // the late reply is there now
  raw->setStatusDelay(0ms);
  EXPECT_TRUE(pollStatus(*port));
  EXPECT_EQ(port->lastStatus, 0x58);
}

TEST_F(RawPortTest, AReportAnsweredAfterSixteenSecondsIsReadOnTheSecondAttempt) {
  // The interface answers in real time: a slower clock keeps the windows
  // of 14 s and 5 s wide apart from the reply at 16 s.
  constexpr double kScale = 5;
  winsim::setClockScale(kScale);
  openJobChannels();
  raw->setReportReply("\x06", std::chrono::milliseconds(int(16000 / kScale)));
  setPortStatus(reinterpret_cast<LPCWSTR>(kPortName), 8, PORT_STATUS_TYPE_ERROR);
  EXPECT_EQ(replyCheck(*port), CheckResult::Passed);
  // Read again, not asked again; and the port's error is cleared.
  EXPECT_EQ(raw->reports(), 1);
  EXPECT_EQ(portStatus(), 0u);
}

TEST_F(RawPortTest, ASilentPrinterFailsTheCheckWithTheMessageOfItsStatusByte) {
  openJobChannels();
  raw->setStatusReplies({statusReply(0x20)});
  // Longer than 14 + 5 + 5 s at the test's clock.
  raw->setReportReply("\x06", 2s);
  port->message = 0;
  EXPECT_EQ(replyCheck(*port), CheckResult::NoReply);
  EXPECT_EQ(raw->reports(), 1);
  EXPECT_EQ(port->message, 512u);  // media out: the mechanical error
}

TEST_F(RawPortTest, AnotherReplyLeavesTheDecisionToTheStatusPoll) {
  openJobChannels();
  raw->setReportReply("??", 0ms);
  raw->setStatusReplies({statusReply(0x58)});
  EXPECT_EQ(replyCheck(*port), CheckResult::Ready);
  EXPECT_TRUE(checkPassed(CheckResult::Ready));
  raw->setStatusReplies({statusReply(0x00)});
  EXPECT_EQ(replyCheck(*port), CheckResult::NotReady);
  EXPECT_EQ(port->message, 511u);  // no error bit: the syntax error
}

}  // namespace
}  // namespace card::net::test
