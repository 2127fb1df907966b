// The emulated printer on real loopback sockets: the data channel's frames,
// the status channel, the SNMP agent, the interface reset request and the
// interface's faults, then real network tools and the command line.
#include <gtest/gtest.h>

#include <map>

#include "emulator/include/cardemu/net_printer.h"
#include "emulator/tests/net_peer.h"
#include "emulator/tests/streams.h"

using namespace cardemu;
using netpeer::frame;
using netpeer::Tcp;
using streams::bytes;
using streams::esc;

namespace {

// The reachability probe as monitors send it: a version 1 GetRequest of
// 1.3.6.1.2.1.1.1.0 with request id 0x1DAA and the community "kestra", 41 bytes.
std::string probe(const std::string &community = "kestra") {
  const std::string oid = bytes({0x06, 0x08, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x01, 0x00});
  const std::string binding = bytes({0x30, 0x0C}) + oid + bytes({0x05, 0x00});
  const std::string pdu =
      bytes({0xA0, 0x1A, 0x02, 0x02, 0x1D, 0xAA, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x0E}) + binding;
  const std::string message = bytes({0x02, 0x01, 0x00, 0x04, static_cast<int>(community.size())}) + community + pdu;
  return bytes({0x30, static_cast<int>(message.size())}) + message;
}

// The interface reset request, byte for byte.
const std::string kResetRequest =
    "POST /server/resetok.htm+generr.htm HTTP/1.1\r\n"
    "Authorization: Basic QkNERUZHSElKSw==\r\n"
    "Content-Length: 32\r\n"
    "\r\n"
    "%7B%2C.%3AOID_H+ESI.2.2.0+2%7D=2";

const char kModelText[] = "CA3 0iD MAG V3.02";

struct Served {
  explicit Served(NetConfig net = {}, PrinterConfig config = {}) : printer(withModel(config)), front(printer, net) {
    std::string problem;
    started = front.start(&problem);
    EXPECT_TRUE(started) << problem;
    ports = front.ports();
  }
  static PrinterConfig withModel(PrinterConfig c) {
    c.modelText = kModelText;
    return c;
  }
  Printer printer;
  NetPrinter front;
  NetPorts ports;
  bool started = false;
};

std::string poll000(uint16_t port) {
  Tcp s(port);
  if (!s.connected() || !s.send("000")) return "no connection";
  return s.receive(12, 1000);
}

}  // namespace

TEST(NetPrinter, DataChannelTakesFramesAndAnswersRaw) {
  Served net;
  ASSERT_TRUE(net.started);
  EXPECT_NE(net.ports.data, 0);
  EXPECT_NE(net.ports.status, net.ports.data);

  Tcp data(net.ports.data);
  ASSERT_TRUE(data.connected());
  // One card: a plane, its print command and the eject; the plane block goes
  // out as 65536-byte messages as the monitor slices it.
  const std::string job = streams::plane(0, streams::flat(9)) + esc("IS 0") + esc("MO");
  std::string wire;
  for (size_t at = 0; at < job.size(); at += 65536) wire += frame(job.substr(at, 65536));
  ASSERT_TRUE(data.send(wire));
  ASSERT_TRUE(data.send(frame(esc("E 1"))));
  EXPECT_EQ(data.receive(1), "\x06");  // the answer comes back raw, without a length
  EXPECT_TRUE(netpeer::eventually([&] { return net.printer.state().cardsOut == 1; }));
  EXPECT_EQ(net.printer.takeCards().size(), 1u);

  // A query's value followed by ACK (a blank may stand before it), on the
  // same connection.
  ASSERT_TRUE(data.send(frame(esc("!RIBBON")) + frame(esc("E 1"))));
  const std::string value = data.receive(2);
  EXPECT_TRUE(value == "2\x06" || (value == "2 " && data.receive(1) == "\x06")) << value;
}

TEST(NetPrinter, HundredThousandBytesAsTwoMessages) {
  Served net;
  Tcp data(net.ports.data);
  ASSERT_TRUE(data.connected());
  // A plane block whose first 100000 bytes come as 65536 + 34464: the
  // lengths 00 01 00 00 and 00 00 86 A0.
  const std::string block = streams::plane(0, streams::flat(3));
  const std::string first = bytes({0x00, 0x01, 0x00, 0x00}) + block.substr(0, 65536);
  const std::string second = bytes({0x00, 0x00, 0x86, 0xA0}) + block.substr(65536, 34464);
  ASSERT_TRUE(data.send(first + second));
  EXPECT_TRUE(netpeer::eventually([&] { return net.front.stats().dataBytes == 100008; }));
  EXPECT_EQ(net.front.stats().frames, 2u);
  EXPECT_EQ(net.front.stats().largestFrame, 65536u);
  std::string rest;
  for (size_t at = 100000; at < block.size(); at += 65536) rest += frame(block.substr(at, 65536));
  ASSERT_TRUE(data.send(rest + frame(esc("IS 0") + esc("MO") + esc("E 1"))));
  EXPECT_EQ(data.receive(1), "\x06");
  EXPECT_EQ(net.printer.takeCards().size(), 1u);
  EXPECT_EQ(net.printer.error(), 0);
}

TEST(NetPrinter, BadFramesCloseOnlyTheirConnection) {
  Served net;
  {
    // A length beyond 65536: the interface drops the connection.
    Tcp data(net.ports.data);
    ASSERT_TRUE(data.send(bytes({0x00, 0x01, 0x00, 0x01}) + std::string(64, 'x')));
    data.receiveAll(2000);
    EXPECT_TRUE(data.closed() || data.lastError() == ECONNRESET);
  }
  {
    // A message cut by the end of its connection leaves the printer serving.
    Tcp data(net.ports.data);
    ASSERT_TRUE(data.send(bytes({0x00, 0x00, 0x10, 0x00}) + "\x1b"));
  }
  // The printer holds the cut command until the interface reset clears it.
  ASSERT_TRUE(netpeer::eventually([&] { return net.front.stats().dataBytes == 5; }));
  Tcp status(net.ports.status);
  ASSERT_TRUE(status.send("111222000"));
  EXPECT_EQ(status.receive(12).size(), 12u);
  Tcp data(net.ports.data);
  ASSERT_TRUE(data.connected());
  ASSERT_TRUE(data.send(frame(esc("E 1"))));
  EXPECT_EQ(data.receive(1), "\x06");
  EXPECT_EQ(net.front.stats().connectionsBroken, 1u);
}

TEST(NetPrinter, StatusChannelPollsAndResets) {
  Served net;
  // Ready: ACK, nine bytes, 0x58 at offset 10, EOT at offset 11.
  std::string r = poll000(net.ports.status);
  ASSERT_EQ(r.size(), 12u);
  EXPECT_EQ(r[0], '\x06');
  EXPECT_EQ(static_cast<uint8_t>(r[10]), 0x58);
  EXPECT_EQ(r[11], '\x04');

  // A busy interface: bit 7 set, 0xD8, for the polls asked, then 0x58 again.
  net.front.setBusyPolls(2);
  Tcp busy(net.ports.status);
  ASSERT_TRUE(busy.send("000000000"));
  r = busy.receive(36);
  ASSERT_EQ(r.size(), 36u);
  EXPECT_EQ(static_cast<uint8_t>(r[10]), 0xD8);
  EXPECT_EQ(static_cast<uint8_t>(r[22]), 0xD8);
  EXPECT_EQ(static_cast<uint8_t>(r[34]), 0x58);
  EXPECT_EQ(r[35], '\x04');

  // Out of cards: media out (0x20) set, so not ready; the answer keeps its layout.
  net.printer.injectError(err::kOutOfCard);
  r = poll000(net.ports.status);
  ASSERT_EQ(r.size(), 12u);
  EXPECT_EQ(r[0], '\x06');
  EXPECT_EQ(r[11], '\x04');
  EXPECT_EQ(static_cast<uint8_t>(r[10]) & 0x20, 0x20);
  EXPECT_NE(static_cast<uint8_t>(r[10]), 0x58);
  net.printer.forceClear();

  // A jammed card: an error, so not ready ((byte AND 0x28) is not 0x08).
  net.printer.injectError(err::kMechanical);
  r = poll000(net.ports.status);
  ASSERT_EQ(r.size(), 12u);
  EXPECT_NE(static_cast<uint8_t>(r[10]) & 0x28, 0x08);
  net.printer.forceClear();

  // "111" then "222" on the status channel drops a job stopped inside an
  // image block; "111" alone does nothing.
  Tcp data(net.ports.data);
  ASSERT_TRUE(data.send(frame("\x1bGS 0 32 0 0 1024 640 " + std::string(5000, '\0'))));
  Tcp status(net.ports.status);
  ASSERT_TRUE(status.send("111"));
  EXPECT_EQ(status.receive(1, 200), "");
  ASSERT_TRUE(data.send(frame(esc("E 1"))));
  EXPECT_EQ(data.receive(1, 300), "");  // still image data for the printer
  ASSERT_TRUE(status.send("222"));
  ASSERT_TRUE(status.send("000"));
  EXPECT_EQ(status.receive(12).size(), 12u);  // the reset has run by the time the poll is answered
  ASSERT_TRUE(data.send(frame(esc("E 1"))));
  EXPECT_EQ(data.receive(1), "\x06");
}

TEST(NetPrinter, SnmpAgentAnswersTheSystemDescription) {
  Served net;
  const std::string request = probe();
  ASSERT_EQ(request.size(), 41u);
  const std::string answer = netpeer::udpAsk(net.ports.snmp, request);
  // GetResponse: the same request id, no error, the binding with the model text.
  const std::string expected =
      bytes({0x30, 0x38, 0x02, 0x01, 0x00, 0x04, 0x06}) + "kestra" +
      bytes({0xA2, 0x2B, 0x02, 0x02, 0x1D, 0xAA, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x1F,
             0x30, 0x1D, 0x06, 0x08, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x01, 0x00, 0x04, 0x11}) +
      kModelText;
  EXPECT_EQ(answer, expected);

  // Another community, a cut datagram, a wrong length: no answer, and the
  // agent goes on answering.
  EXPECT_EQ(netpeer::udpAsk(net.ports.snmp, probe("public"), 300), "");
  EXPECT_EQ(netpeer::udpAsk(net.ports.snmp, request.substr(0, 30), 300), "");
  std::string bent = request;
  bent[1] = 0x7F;
  EXPECT_EQ(netpeer::udpAsk(net.ports.snmp, bent, 300), "");
  EXPECT_EQ(netpeer::udpAsk(net.ports.snmp, "", 300), "");
  EXPECT_EQ(netpeer::udpAsk(net.ports.snmp, request), expected);
  const NetStats s = net.front.stats();
  EXPECT_EQ(s.snmpRequests, 6u);
  EXPECT_EQ(s.snmpAnswers, 2u);
}

TEST(NetPrinter, ResetRequestRestartsTheInterface) {
  NetConfig config;
  config.restartTime = std::chrono::milliseconds(1500);
  Served net(config);
  Tcp before(net.ports.data);
  ASSERT_TRUE(before.connected());

  // The request in pieces of 7 bytes.
  Tcp web(net.ports.http);
  ASSERT_TRUE(web.connected());
  for (size_t at = 0; at < kResetRequest.size(); at += 7) ASSERT_TRUE(web.send(kResetRequest.substr(at, 7)));
  const std::string reply = web.receiveAll();
  EXPECT_EQ(reply.substr(0, 17), "HTTP/1.1 200 OK\r\n");
  EXPECT_TRUE(web.closed());

  // The data port refuses while the interface restarts, the open data
  // connection is gone, and the port comes back.
  Tcp during(net.ports.data);
  EXPECT_EQ(during.error(), ECONNREFUSED);
  before.receive(1, 1000);
  EXPECT_TRUE(before.closed() || before.lastError() == ECONNRESET);
  EXPECT_TRUE(netpeer::eventually([&] { return Tcp(net.ports.data).connected(); }, 10000));
  EXPECT_EQ(net.front.stats().interfaceResets, 1u);
  Tcp after(net.ports.data);
  ASSERT_TRUE(after.send(frame(esc("E 1"))));
  EXPECT_EQ(after.receive(1), "\x06");
}

TEST(NetPrinter, OtherWebRequestsAreRefused) {
  Served net;
  auto ask = [&](const std::string &request) {
    Tcp web(net.ports.http);
    web.send(request);
    const std::string r = web.receiveAll();
    return r.substr(0, r.find("\r\n"));
  };
  std::string wrongLogin = kResetRequest;
  wrongLogin.replace(wrongLogin.find("QkNE"), 4, "QkNF");
  EXPECT_EQ(ask(wrongLogin), "HTTP/1.1 401 Unauthorized");
  std::string noLogin = kResetRequest;
  noLogin.erase(noLogin.find("Authorization"), 39);
  EXPECT_EQ(ask(noLogin), "HTTP/1.1 401 Unauthorized");
  EXPECT_EQ(ask("GET /index.htm HTTP/1.1\r\n\r\n"), "HTTP/1.1 404 Not Found");
  EXPECT_EQ(ask("GET /server/resetok.htm+generr.htm HTTP/1.1\r\n\r\n"), "HTTP/1.1 405 Method Not Allowed");
  std::string otherBody = kResetRequest;
  otherBody.back() = '3';
  EXPECT_EQ(ask(otherBody), "HTTP/1.1 400 Bad Request");
  EXPECT_EQ(ask("\x01\x02 garbage\r\n\r\n"), "HTTP/1.1 400 Bad Request");
  EXPECT_EQ(ask("POST /server/resetok.htm+generr.htm HTTP/1.1\r\nContent-Length: 999999\r\n\r\n"),
            "HTTP/1.1 413 Payload Too Large");
  EXPECT_EQ(ask("GET /" + std::string(20000, 'a')), "HTTP/1.1 431 Request Header Fields Too Large");
  const NetStats s = net.front.stats();
  EXPECT_EQ(s.interfaceResets, 0u);
  EXPECT_TRUE(s.dataPortOpen);
}

TEST(NetPrinter, RefusingSilentAndResetMidJob) {
  Served net;
  // Refusing: the data port is closed; an open data connection is reset.
  Tcp open(net.ports.data);
  ASSERT_TRUE(open.connected());
  net.front.setRefusing(true);
  EXPECT_EQ(Tcp(net.ports.data).error(), ECONNREFUSED);
  open.receive(1, 1000);
  EXPECT_EQ(open.lastError(), ECONNRESET);
  EXPECT_EQ(poll000(net.ports.status).size(), 12u);  // the status channel still answers
  net.front.setRefusing(false);
  EXPECT_TRUE(Tcp(net.ports.data).connected());

  // Silent: connections are accepted, nothing is answered anywhere.
  net.front.setSilent(true);
  Tcp data(net.ports.data);
  EXPECT_TRUE(data.connected());
  ASSERT_TRUE(data.send(frame(esc("E 1"))));
  EXPECT_EQ(data.receive(1, 300), "");
  EXPECT_EQ(poll000(net.ports.status), "");
  EXPECT_EQ(netpeer::udpAsk(net.ports.snmp, probe(), 300), "");
  net.front.setSilent(false);
  EXPECT_EQ(data.receive(1), "\x06");  // what was held back is read and answered now
  EXPECT_EQ(netpeer::udpAsk(net.ports.snmp, probe()).size(), 58u);

  // Reset mid-job: exactly 70000 bytes of the job reach the printer, then
  // the connection is reset.
  const uint64_t before = net.front.stats().dataBytes;
  net.front.resetDataAfter(70000);
  Tcp job(net.ports.data);
  const std::string block = streams::plane(0, streams::flat(1));
  std::string wire;
  for (size_t at = 0; at < block.size(); at += 65536) wire += frame(block.substr(at, 65536));
  job.send(wire, 3000);
  job.receive(1, 2000);
  EXPECT_EQ(job.lastError(), ECONNRESET);
  EXPECT_EQ(net.front.stats().dataBytes - before, 70000u);
  EXPECT_EQ(net.front.stats().connectionsReset, 1u);
  // The printer is left inside the block, as a real one would be, until the
  // interface reset; then it serves again.
  Tcp status(net.ports.status);
  ASSERT_TRUE(status.send("111222000"));
  EXPECT_EQ(status.receive(12).size(), 12u);
  Tcp again(net.ports.data);
  ASSERT_TRUE(again.send(frame(esc("E 1"))));
  EXPECT_EQ(again.receive(1), "\x06");
}

TEST(NetPrinter, BindsOnlyLoopback) {
  NetConfig other;
  other.address = "127.45.6.7";  // all of 127/8 is loopback
  Served net(other);
  ASSERT_TRUE(net.started);
  Tcp s(net.ports.status, "127.45.6.7");
  ASSERT_TRUE(s.send("000"));
  EXPECT_EQ(s.receive(12).size(), 12u);

  Printer printer;
  for (const char *address : {"0.0.0.0", "localhost", "127.0.0", "127.0.0.1.5", ""}) {
    NetConfig c;
    c.address = address;
    NetPrinter front(printer, c);
    std::string problem;
    EXPECT_FALSE(front.start(&problem)) << address;
    EXPECT_NE(problem.find("loopback"), std::string::npos) << problem;
  }
  EXPECT_TRUE(isLoopbackAddress("127.255.255.254"));
}

// ---- real peers ----

TEST(NetPrinterPeers, SnmpgetReadsTheSystemDescription) {
  if (!netpeer::haveProgram("snmpget")) GTEST_SKIP() << "snmpget not installed (Debian package snmp)";
  Served net;
  std::string out;
  const int rc = netpeer::runBounded(
      "snmpget -v1 -c kestra -t 2 -r 1 -On 127.0.0.1:" + std::to_string(net.ports.snmp) + " 1.3.6.1.2.1.1.1.0", &out);
  EXPECT_EQ(rc, 0) << out;
  EXPECT_NE(out.find(".1.3.6.1.2.1.1.1.0 = STRING: \"CA3 0iD MAG V3.02\""), std::string::npos) << out;

  // Another community: the agent stays silent and the tool times out.
  const int wrong = netpeer::runBounded(
      "snmpget -v1 -c public -t 1 -r 0 -On 127.0.0.1:" + std::to_string(net.ports.snmp) + " 1.3.6.1.2.1.1.1.0", &out);
  EXPECT_NE(wrong, 0);
  EXPECT_NE(out.find("Timeout"), std::string::npos) << out;
}

TEST(NetPrinterPeers, CurlSendsTheResetRequest) {
  if (!netpeer::haveProgram("curl")) GTEST_SKIP() << "curl not installed";
  NetConfig config;
  config.restartTime = std::chrono::milliseconds(2000);
  Served net(config);
  std::string out;
  // The same request: no Host, no content type, the login as it stands.
  const int rc = netpeer::runBounded(
      "curl -sS -m 5 -o /dev/null -w '%{http_code}' -H 'Host:' -H 'User-Agent:' -H 'Accept:' -H 'Content-Type:' "
      "-H 'Authorization: Basic QkNERUZHSElKSw==' --data-binary '%7B%2C.%3AOID_H+ESI.2.2.0+2%7D=2' "
      "'http://127.0.0.1:" +
          std::to_string(net.ports.http) + "/server/resetok.htm+generr.htm'",
      &out);
  EXPECT_EQ(rc, 0) << out;
  EXPECT_EQ(out, "200");
  EXPECT_EQ(Tcp(net.ports.data).error(), ECONNREFUSED);
  EXPECT_TRUE(netpeer::eventually([&] { return Tcp(net.ports.data).connected(); }, 10000));

  netpeer::runBounded("curl -sS -m 5 -o /dev/null -w '%{http_code}' http://127.0.0.1:" +
                          std::to_string(net.ports.http) + "/server/resetok.htm+generr.htm -d x=1",
                      &out);
  EXPECT_EQ(out, "401");
  EXPECT_EQ(net.front.stats().interfaceResets, 1u);
}

// ---- the command line ----

TEST(NetPrinterCli, ServesUntilItsInputEnds) {
  netpeer::Child cli({CARDEMU_CLI, "serve", "--model", "CA1", "--restart-ms", "100"});
  ASSERT_TRUE(cli.started());
  std::map<std::string, int> ports;
  std::string line;
  while (cli.readLine(&line) && line != "ready") {
    const size_t space = line.find(' ');
    if (line.find("-port ") != std::string::npos) ports[line.substr(0, space)] = std::stoi(line.substr(space + 1));
  }
  ASSERT_EQ(line, "ready");
  ASSERT_EQ(ports.size(), 4u);
  const std::string answer = netpeer::udpAsk(static_cast<uint16_t>(ports["snmp-port"]), probe());
  EXPECT_NE(answer.find("CA1 "), std::string::npos);
  EXPECT_EQ(poll000(static_cast<uint16_t>(ports["status-port"])).size(), 12u);
  cli.closeInput();
  EXPECT_EQ(cli.wait(), 0);
}

TEST(NetPrinterCli, StopsOnSignalAndRefusesOtherAddresses) {
  netpeer::Child cli({CARDEMU_CLI, "serve", "--address", "127.0.0.3", "--fault", "cover-open"});
  std::string line;
  uint16_t status = 0;
  while (cli.readLine(&line) && line != "ready")
    if (line.rfind("status-port ", 0) == 0) status = static_cast<uint16_t>(std::stoi(line.substr(12)));
  ASSERT_NE(status, 0);
  Tcp s(status, "127.0.0.3");
  ASSERT_TRUE(s.send("000"));
  const std::string r = s.receive(12);
  ASSERT_EQ(r.size(), 12u);
  EXPECT_NE(static_cast<uint8_t>(r[10]) & 0x28, 0x08);  // cover open: an error, not ready
  cli.signal(SIGTERM);
  EXPECT_EQ(cli.wait(), 0);

  std::string out;
  EXPECT_EQ(netpeer::runBounded(std::string(CARDEMU_CLI) + " serve --address 10.1.2.3", &out), 2);
  EXPECT_NE(out.find("not a loopback address"), std::string::npos) << out;
  EXPECT_EQ(netpeer::runBounded(std::string(CARDEMU_CLI) + " serve --data-port 70000", &out), 2);
}
