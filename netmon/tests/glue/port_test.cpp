// Opening the port, a job's start and end, closing the port, and the
// watcher that clears an offline port: the monitor's table against the
// emulated printer on loopback.
#include <atomic>
#include <cstring>
#include <future>
#include <mutex>
#include <vector>

#include "netmon/tests/glue/job_fixture.h"

namespace card::net::test {
namespace {

using winsim::NetworkHostState;

TEST_F(NetJobTest, OpeningThePortAsksTheModelAndClearsTheStatus) {
  std::mutex m;
  std::vector<std::string> commands;
  printer->setCommandListener([&](const cardemu::CommandRecord &r) {
    std::lock_guard<std::mutex> g(m);
    if (r.command) commands.push_back(r.command->text);
  });
  HANDLE h = openPort();
  ASSERT_NE(h, nullptr) << GetLastError();
  EXPECT_STREQ(entryOf(h).model, cardemu::composeModelText(printer->config()).c_str());
  EXPECT_STREQ(entryOf(h).address, kPrinterAddress);
  EXPECT_EQ(entryOf(h).remainingRibbon, kUnknownRemainingRibbon);
  EXPECT_EQ(portStatusOf(), 0u);
  {
    std::lock_guard<std::mutex> g(m);
    EXPECT_NE(std::find(commands.begin(), commands.end(), "V"), commands.end());
  }
  // The connections of the question are closed again.
  EXPECT_EQ(entryOf(h).data, INVALID_SOCKET);
  EXPECT_EQ(entryOf(h).status, INVALID_SOCKET);
  printer->setCommandListener(nullptr);
}

TEST_F(NetJobTest, AnUnreachablePrinterLeavesThePortOfflineAndTheOpenFails) {
  ASSERT_TRUE(winsim::setNetworkHostState(kPrinterAddress, NetworkHostState::Down));
  const size_t sockets = winsim::openSocketCount();
  EXPECT_EQ(openPort(), nullptr);
  DWORD severity = 0;
  EXPECT_EQ(portStatusOf(&severity), DWORD(PORT_STATUS_OFFLINE));
  EXPECT_EQ(severity, DWORD(PORT_STATUS_TYPE_ERROR));
  EXPECT_EQ(winsim::openSocketCount(), sockets);

  // A port no Standard TCP/IP key names has no address at all.
  std::u16string unknown = u"IP_127.0.9.9";
  HANDLE h = nullptr;
  std::u16string printerName = kPrinterName;
  EXPECT_FALSE(table_->pfnOpenPortEx(monitor_, nullptr, unknown.data(), printerName.data(), &h, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PORT));
  EXPECT_FALSE(table_->pfnOpenPortEx(monitor_, nullptr, nullptr, printerName.data(), &h, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(NetJobTest, AHostNameIsResolvedWhenTheAddressIsEmpty) {
  addTcpIpPort(u"IP_cardprinter1", "", kPrinterHostName);
  HANDLE h = openPort(u"IP_cardprinter1");
  ASSERT_NE(h, nullptr) << GetLastError();
  EXPECT_STREQ(entryOf(h).address, kPrinterAddress);
  EXPECT_STRNE(entryOf(h).model, kUnknownModel);
}

// A host name nobody knows gives no address: the port is offline and the
// open fails at once, without a connection attempt anywhere.
TEST_F(NetJobTest, AHostNameThatDoesNotResolveLeavesThePortOffline) {
  addTcpIpPort(u"IP_nowhere", "", "no-such-card-printer");
  const uint64_t connects = winsim::hostNetworkTraffic().connects;
  EXPECT_EQ(openPort(u"IP_nowhere"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PORT));
  DWORD status = 0, severity = 0;
  std::u16string text;
  ASSERT_TRUE(winsim::portStatus(u"IP_nowhere", status, severity, text));
  EXPECT_EQ(status, DWORD(PORT_STATUS_OFFLINE));
  EXPECT_EQ(severity, DWORD(PORT_STATUS_TYPE_ERROR));
  EXPECT_EQ(winsim::hostNetworkTraffic().connects, connects);
  EXPECT_TRUE(winsim::refusedNetworkAddresses().empty());
}

TEST_F(NetJobTest, ARefusedDataChannelSendsOneResetRequestPerAttempt) {
  HANDLE h = openPort();
  ASSERT_NE(h, nullptr);
  net->setRefusing(true);
  EXPECT_EQ(openPort(), nullptr);
  EXPECT_EQ(net->stats().interfaceResets, 1u);
  DWORD severity = 0;
  EXPECT_EQ(portStatusOf(&severity), DWORD(PORT_STATUS_OFFLINE));
  EXPECT_EQ(severity, DWORD(PORT_STATUS_TYPE_ERROR));

  const DWORD job = newJob();
  ASSERT_NE(job, 0u);
  EXPECT_FALSE(startDoc(h, job));
  EXPECT_EQ(net->stats().interfaceResets, 2u);
  EXPECT_EQ(entryOf(h).jobActive, 0);
  EXPECT_EQ(entryOf(h).status, INVALID_SOCKET);
}

TEST_F(NetJobTest, ARefusingStatusChannelIsRetriedUntilTheJobIsDeleted) {
  HANDLE h = openPort();
  ASSERT_NE(h, nullptr);
  // The interface serves its data channel but refuses the status channel.
  const cardemu::NetPorts p = net->ports();
  using winsim::NetworkProtocol;
  ASSERT_TRUE(winsim::declareNetworkHost(
      kPrinterAddress, kPrinterHostName,
      {{NetworkProtocol::Tcp, 9100, p.data}, {NetworkProtocol::Udp, 161, p.snmp}, {NetworkProtocol::Tcp, 80, p.http}}));
  const DWORD job = newJob();
  ASSERT_NE(job, 0u);

  std::atomic<bool> offlineWhileWaiting{false};
  const ULONGLONG start = GetTickCount64();
  auto started = std::async(std::launch::async, [&] { return startDoc(h, job); });
  std::thread user([&] {
    Sleep(3000);
    DWORD severity = 0;
    offlineWhileWaiting = portStatusOf(&severity) == PORT_STATUS_OFFLINE && severity == PORT_STATUS_TYPE_INFO;
    deleteJob(job);
  });
  const bool ended = started.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
  if (!ended) {
    // Let the call end, so that the case fails instead of hanging.
    net->setRefusing(false);
    winsim::declareNetworkHost(kPrinterAddress, kPrinterHostName,
                               {{NetworkProtocol::Tcp, 9100, p.data},
                                {NetworkProtocol::Tcp, 9111, p.status},
                                {NetworkProtocol::Udp, 161, p.snmp},
                                {NetworkProtocol::Tcp, 80, p.http}});
  }
  user.join();
  ASSERT_TRUE(ended) << "StartDocPort did not end when the job was deleted";
  EXPECT_FALSE(started.get());
  EXPECT_GE(GetTickCount64() - start, 3000u);
  EXPECT_TRUE(offlineWhileWaiting);
  EXPECT_EQ(entryOf(h).jobActive, 0);
  // The data channel was never tried, so the interface was not reset.
  EXPECT_EQ(net->stats().interfaceResets, 0u);
}

TEST_F(NetJobTest, TheWatcherClearsAnOfflinePortOnceThePrinterAnswers) {
  HANDLE h = openPort();
  ASSERT_NE(h, nullptr);
  ASSERT_TRUE(winsim::setNetworkHostState(kPrinterAddress, NetworkHostState::Down));
  const DWORD job = newJob();
  EXPECT_FALSE(startDoc(h, job));
  EXPECT_EQ(portStatusOf(), DWORD(PORT_STATUS_OFFLINE));
  // While the printer stays silent, the watcher leaves the status alone.
  Sleep(11000);
  EXPECT_EQ(portStatusOf(), DWORD(PORT_STATUS_OFFLINE));
  ASSERT_TRUE(winsim::setNetworkHostState(kPrinterAddress, NetworkHostState::Up));
  const ULONGLONG back = GetTickCount64();
  while (portStatusOf() != 0 && GetTickCount64() - back < 15000) Sleep(250);
  EXPECT_EQ(portStatusOf(), 0u);
  // Within one round of the watcher and its probe.
  EXPECT_LE(GetTickCount64() - back, 11500u);
}

TEST_F(NetJobTest, AJobStartsWithMasterAndEndsWithItsSocketsClosed) {
  const size_t sockets = winsim::openSocketCount();
  const size_t handles = winsim::openHandleCount();
  HANDLE h = openPort();
  ASSERT_NE(h, nullptr);
  const DWORD job = newJob();
  ASSERT_TRUE(startDoc(h, job)) << GetLastError();
  EXPECT_EQ(entryOf(h).jobActive, 1);
  EXPECT_NE(entryOf(h).state & kStateJobStarted, 0u);
  // A second start on a port whose job runs is refused, and the running
  // job keeps its connections.
  const SOCKET data = entryOf(h).data;
  EXPECT_FALSE(startDoc(h, job));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_BUSY));
  EXPECT_EQ(entryOf(h).jobActive, 1);
  EXPECT_EQ(entryOf(h).data, data);
  ASSERT_TRUE(writeJob(h, streams::esc("JOB 0")));
  EXPECT_TRUE(printer->state().inJob);  // "\eMASTER\r" came first
  ASSERT_TRUE(table_->pfnEndDocPort(h));
  EXPECT_EQ(entryOf(h).state & (kStateJobStarted | kStateDataAccepted), 0u);
  EXPECT_EQ(entryOf(h).data, INVALID_SOCKET);
  EXPECT_EQ(entryOf(h).status, INVALID_SOCKET);
  for (const winsim::JobRecord &r : winsim::printJobs(kHolderName)) {
    if (r.id != job) continue;
    EXPECT_NE(std::find(r.controls.begin(), r.controls.end(), DWORD(JOB_CONTROL_SENT_TO_PRINTER)), r.controls.end());
    EXPECT_NE(std::find(r.controls.begin(), r.controls.end(), DWORD(JOB_CONTROL_LAST_PAGE_EJECTED)), r.controls.end());
  }
  closePort(h);
  // Neither a socket nor the watcher's thread and event are left behind.
  EXPECT_EQ(winsim::openSocketCount(), sockets);
  EXPECT_EQ(winsim::openHandleCount(), handles);
}

TEST_F(NetJobTest, AJobPrintedThroughTheSpoolerReachesThePrinter) {
  ASSERT_TRUE(installPrinter_);
  const std::string job = twoSidedJob();
  std::u16string name = kPrinterName, doc = u"Card", type = u"RAW";
  HANDLE h = nullptr;
  ASSERT_TRUE(OpenPrinterW(name.data(), &h, nullptr));
  DOC_INFO_1W di{doc.data(), nullptr, type.data()};
  const DWORD id = StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&di));
  ASSERT_NE(id, 0u);
  DWORD written = 0;
  EXPECT_TRUE(WritePrinter(h, const_cast<char *>(job.data()), DWORD(job.size()), &written));
  EXPECT_TRUE(EndDocPrinter(h));
  ClosePrinter(h);
  ASSERT_TRUE(winsim::waitForSpoolerIdle(kPrinterName, 60000));
  for (const winsim::JobRecord &r : winsim::printJobs(kPrinterName)) {
    if (r.id != id) continue;
    EXPECT_FALSE(r.aborted);
    EXPECT_NE(std::find(r.controls.begin(), r.controls.end(), DWORD(JOB_CONTROL_LAST_PAGE_EJECTED)), r.controls.end());
  }
  EXPECT_EQ(printer->error(), 0);
  expectSameCards(printer->takeCards(), cardsOf(job));
  EXPECT_EQ(portStatusOf(), 0u);
}

}  // namespace
}  // namespace card::net::test
