// Queries of the configuration module: the answers the monitor gives itself,
// the answers while a job owns the printer, and commands sent to the printer
// on connections of the query's own.
#include "netmon/tests/glue/port_harness.h"

namespace card::net::test {
namespace {

const std::string kEsc = "\x1b";

struct Connections {
  uint64_t data, status;
};
Connections connections(const cardemu::NetPrinter &net) {
  const cardemu::NetStats s = net.stats();
  return {s.dataConnections, s.statusConnections};
}

TEST_F(PortTest, TheMonitorsOwnAnswersNeedNoPrinter) {
  const Connections before = connections(*net);
  std::string reply;
  ASSERT_TRUE(queryBytes(kEsc + "GetFileVersion\r", reply));
  EXPECT_EQ(reply, "8.00.02.01");
  ASSERT_TRUE(queryBytes(kEsc + "IsDOCComplete\r", reply));
  EXPECT_EQ(reply, "DOC_PENDING");
  port->documentComplete = true;
  ASSERT_TRUE(queryBytes(kEsc + "IsDOCComplete\r", reply));
  EXPECT_EQ(reply, "DOC_COMPLETE");
  ASSERT_TRUE(queryBytes(kEsc + "CheckPortStatus\r", reply));
  EXPECT_EQ(reply, "STATUS_SUCCESS");
  ASSERT_TRUE(queryBytes(kEsc + "ISHIDREADY\r", reply));
  EXPECT_EQ(reply, std::string(1, '\x01'));
  // A buffer too small gets nothing, and the size it needs.
  std::string out(4, '\0');
  DWORD returned = 0;
  WCHAR name[32] = {};
  encodeQueryCommand("\x1bGetFileVersion\r", 16, name, 32);
  EXPECT_FALSE(getPrinterDataFromPort(port, 0, name, nullptr, 0, reinterpret_cast<LPWSTR>(out.data()), 4, &returned));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(returned, 10u);
  // With a control code the command comes in the input buffer.
  const char command[] = "\x1bGetFileVersion\r";
  out.assign(32, '\0');
  ASSERT_TRUE(getPrinterDataFromPort(port, 1, nullptr, reinterpret_cast<LPWSTR>(const_cast<char *>(command)),
                                     sizeof command, reinterpret_cast<LPWSTR>(out.data()), 32, &returned));
  EXPECT_EQ(out.substr(0, returned), "8.00.02.01");
  const Connections after = connections(*net);
  EXPECT_EQ(after.data, before.data);
  EXPECT_EQ(after.status, before.status);
}

TEST_F(PortTest, WhileAJobRunsTheLastPolledStateAnswers) {
  port->jobActive = 1;
  const Connections before = connections(*net);
  std::string reply;
  const struct {
    uint8_t last;
    uint8_t isReady;
  } cases[] = {{0x58, 0}, {0xD8, 0}, {0x30, 0x30}, {0x00, 0x00}};
  for (auto c : cases) {
    port->lastStatus = c.last;
    ASSERT_TRUE(queryBytes(kEsc + "ISREADY\r", reply));
    EXPECT_EQ(reply, std::string(1, char(c.isReady))) << int(c.last);
  }
  port->lastStatus = 0x58;
  port->lastCommand = kEsc + "MF\r";
  ASSERT_TRUE(queryBytes(kEsc + "CHECK_STATUS\r", reply));
  EXPECT_EQ(reply, "\xD8");
  // Anything for the printer gets an empty answer.
  ASSERT_TRUE(queryBytes(kEsc + "V\r", reply));
  EXPECT_EQ(reply, "");
  EXPECT_EQ(connections(*net).data, before.data);
  EXPECT_EQ(connections(*net).status, before.status);
  // After a move command the printer itself is asked, beside the job.
  port->lastCommand = kEsc + "MS 1\r";
  ASSERT_TRUE(queryBytes(kEsc + "CHECK_STATUS\r", reply));
  EXPECT_EQ(reply, "\x58");
  EXPECT_EQ(connections(*net).status, before.status + 1);
  port->jobActive = 0;
}

TEST_F(PortTest, ReadyQueriesPollThePrinter) {
  std::string reply;
  ASSERT_TRUE(queryBytes(kEsc + "ISREADY\r", reply));
  EXPECT_EQ(reply, std::string(1, '\x01'));
  ASSERT_TRUE(queryBytes(kEsc + "CHECK_STATUS\r", reply));
  EXPECT_EQ(reply, "\x58");
  net->setBusyPolls(100);
  ASSERT_TRUE(queryBytes(kEsc + "ISREADY\r", reply));
  EXPECT_EQ(reply, std::string(1, '\x00'));
  ASSERT_TRUE(queryBytes(kEsc + "CHECK_STATUS\r", reply));
  EXPECT_EQ(reply, "\xD8");
  net->setBusyPolls(0);
}

TEST_F(PortTest, ACommandsReplyComesBackInTheFormOfItsName) {
  std::string reply;
  ASSERT_TRUE(queryBytes(kEsc + "V\r", reply));
  EXPECT_EQ(reply, "CA3 MAG V3.02\x06");
  EXPECT_STREQ(port->model, "CA3 MAG V3.02");
  // The same command written as UTF-16 text: the reply in UTF-16, its
  // length in bytes.
  ASSERT_TRUE(query(reinterpret_cast<LPCWSTR>(u"\x1bV\r"), reply));
  const std::u16string wide = u"CA3 MAG V3.02\x06";
  EXPECT_EQ(reply, std::string(reinterpret_cast<const char *>(wide.data()), wide.size() * 2));
  // An error reply becomes the status word of its code.
  printer->injectError(41);
  ASSERT_TRUE(queryBytes(kEsc + "!RIBBON\r", reply));
  EXPECT_EQ(reply, "ENCODING ERROR");
  printer->forceClear();
  // Not a command at all.
  EXPECT_FALSE(query(reinterpret_cast<LPCWSTR>(u"hello"), reply));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(PortTest, AStartedJobRefusesCommandsButNotTheCleaning) {
  port->state |= kStateJobStarted;
  std::string reply;
  EXPECT_FALSE(queryBytes(kEsc + "V\r", reply));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_BUSY));
  ASSERT_TRUE(queryBytes(kEsc + "CLEAN\r", reply));
  EXPECT_EQ(reply, "Please wait for Clean sequence to finish\x06");
  port->state &= ~kStateJobStarted;
}

TEST_F(PortTest, AQueryLeavesTheConnectionsOfAJobAlone) {
  // A job that started on the port while the query was on its way.
  openJobChannels();
  const SOCKET data = port->data, status = port->status;
  const size_t open = winsim::openSocketCount();
  std::string reply;
  ASSERT_TRUE(queryBytes(kEsc + "V\r", reply));
  ASSERT_TRUE(query(reinterpret_cast<LPCWSTR>(u"UISingleJobStatusString"), reply));
  EXPECT_EQ(port->data, data);
  EXPECT_EQ(port->status, status);
  EXPECT_EQ(winsim::openSocketCount(), open);
  EXPECT_EQ(replyCheck(*port), CheckResult::Passed);
  EXPECT_TRUE(pollStatus(*port));
}

TEST_F(PortTest, ResetQueriesAnswerOneByte) {
  std::string reply;
  ASSERT_TRUE(queryBytes(kEsc + "SRESET\r", reply));
  EXPECT_EQ(reply.size(), 1u);
  ASSERT_TRUE(queryBytes(kEsc + "HRESET\r", reply));
  EXPECT_EQ(reply.size(), 1u);
  EXPECT_EQ(net->stats().interfaceResets, 1u);
}

TEST_F(PortTest, AnUnreachablePrinterIsReportedOffline) {
  std::strcpy(port->model, "CA3 0iD MAG V3.02");
  net->setSilent(true);
  std::string reply;
  EXPECT_FALSE(queryBytes(kEsc + "V\r", reply));
  DWORD severity = 0;
  EXPECT_EQ(portStatus(&severity), 1u);
  EXPECT_EQ(severity, DWORD(PORT_STATUS_TYPE_ERROR));
  // A printer of unknown model is not probed: it is simply asked.
  std::strcpy(port->model, "Unknown");
  ASSERT_TRUE(queryBytes(kEsc + "V\r", reply));
  EXPECT_EQ(reply, "");
  net->setSilent(false);
  std::strcpy(port->model, "CA3 0iD MAG V3.02");
  ASSERT_TRUE(queryBytes(kEsc + "V\r", reply));
  EXPECT_EQ(portStatus(), 0u);
}

TEST_F(PortTest, TheJobStatusStringChecksTheRemainingRibbon) {
  setPortStatus(reinterpret_cast<LPCWSTR>(kPortName), 8, PORT_STATUS_TYPE_ERROR);
  port->remainingRibbon = 50;
  std::string reply;
  ASSERT_TRUE(query(reinterpret_cast<LPCWSTR>(u"UISingleJobStatusString"), reply));
  EXPECT_EQ(reply, "");
  EXPECT_EQ(port->remainingRibbon, 250);
  EXPECT_EQ(portStatus(), 0u);
}

}  // namespace
}  // namespace card::net::test
