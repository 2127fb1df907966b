// Jobs through language monitors of the MONITOR2 kind, and the built-in
// "Standard TCP/IP Port" monitor: its ports as the registry holds them, and
// RAW jobs to the printer's address behind each kind of language monitor.
#include <gtest/gtest.h>

#include <windows.h>
#include <winsplp.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <winsim/testing.h>

#include "monitor_support.h"

namespace {

using namespace monitor_test;

const char16_t kMon2[] = u"Test Port Monitor 2";
const char16_t kTcpPort[] = u"IP_127.0.5.40";
const char kPrinterAddress[] = "127.0.5.40";

// The printer's RAW port on the host's loopback: keeps what each connection
// brought, one string per connection once it has ended.
class RawSink {
 public:
  RawSink() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    inet_pton(AF_INET, kPrinterAddress, &a.sin_addr);
    socklen_t len = sizeof(a);
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr *>(&a), sizeof(a)) != 0 || ::listen(fd_, 4) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr *>(&a), &len) != 0)
      return;
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { run(); });
  }
  ~RawSink() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) ::close(fd_);
  }
  uint16_t port() const { return port_; }
  std::vector<std::string> jobs() {
    std::lock_guard<std::mutex> g(lock_);
    return jobs_;
  }

 private:
  void run() {
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      int c = ::accept(fd_, nullptr, nullptr);
      if (c < 0) continue;
      std::string got;
      char buf[65536];
      while (!stop_) {
        pollfd q{c, POLLIN, 0};
        if (::poll(&q, 1, 20) <= 0) continue;
        ssize_t n = ::recv(c, buf, sizeof(buf), 0);
        if (n <= 0) break;
        got.append(buf, size_t(n));
      }
      ::close(c);
      std::lock_guard<std::mutex> g(lock_);
      jobs_.push_back(got);
    }
  }
  int fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex lock_;
  std::vector<std::string> jobs_;
};

class Monitor2Jobs : public Monitors {
 protected:
  void SetUp() override {
    Monitors::SetUp();
    ASSERT_TRUE(winsim::installMonitor(kMon2, WINSIM_TESTPM2));
    ASSERT_NE(sink.port(), 0);
    ASSERT_TRUE(winsim::declareNetworkHost(kPrinterAddress, "cardprinter",
                                           {{winsim::NetworkProtocol::Tcp, 9100, sink.port()}}));
    ASSERT_TRUE(winsim::addStandardTcpIpPort(kTcpPort, u"127.0.5.40"));
  }

  static std::string pm2Calls() {
    HMODULE m = GetModuleHandleW(u"winsim_testpm2.dll");
    if (!m) return {};
    using Calls = DWORD(WINAPI *)(char *, DWORD);
    auto fn = reinterpret_cast<Calls>(reinterpret_cast<void *>(GetProcAddress(m, "TestPm2Calls")));
    if (!fn) return {};
    std::string out(fn(nullptr, 0) + 1, '\0');
    out.resize(fn(out.data(), DWORD(out.size())));
    return out;
  }
  static bool called(const std::string &line) { return pm2Calls().find(line + "\n") != std::string::npos; }

  static std::string job(size_t size) {
    std::string j(size, '\0');
    for (size_t i = 0; i < j.size(); ++i) j[i] = char('A' + i % 19);
    return j;
  }

  RawSink sink;
};

TEST_F(Monitor2Jobs, StandardTcpIpPortsComeFromTheRegistry) {
  HKEY k;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                          u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports\\"
                          u"IP_127.0.5.40",
                          0, KEY_READ, &k),
            ERROR_SUCCESS);
  DWORD v = 0, size = sizeof(v), type = 0;
  EXPECT_EQ(RegQueryValueExW(k, u"PortNumber", nullptr, &type, reinterpret_cast<BYTE *>(&v), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, DWORD(REG_DWORD));
  EXPECT_EQ(v, 9100u);
  EXPECT_EQ(RegQueryValueExW(k, u"Protocol", nullptr, &type, reinterpret_cast<BYTE *>(&v), &size), ERROR_SUCCESS);
  EXPECT_EQ(v, 1u);
  WCHAR text[64] = {};
  size = sizeof(text);
  EXPECT_EQ(RegQueryValueExW(k, u"IPAddress", nullptr, &type, reinterpret_cast<BYTE *>(text), &size), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(text), u"127.0.5.40");
  size = sizeof(text);
  EXPECT_EQ(RegQueryValueExW(k, u"HostName", nullptr, &type, reinterpret_cast<BYTE *>(text), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, DWORD(REG_SZ));
  RegCloseKey(k);

  // A key written by hand is a port as well.
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                            u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports\\"
                            u"Front desk",
                            0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(k);
  DWORD cb = 0, count = 0;
  EnumPortsW(nullptr, 2, nullptr, 0, &cb, &count);
  std::vector<BYTE> buf(cb);
  ASSERT_TRUE(EnumPortsW(nullptr, 2, buf.data(), cb, &cb, &count));
  auto *pi = reinterpret_cast<PORT_INFO_2W *>(buf.data());
  int listed = 0;
  for (DWORD i = 0; i < count; ++i) {
    std::u16string name = pi[i].pPortName;
    if (name != kTcpPort && name != u"Front desk") continue;
    ++listed;
    EXPECT_EQ(std::u16string(pi[i].pMonitorName), u"Standard TCP/IP Port");
  }
  EXPECT_EQ(listed, 2);

  // A port another monitor serves, or one without an address, is refused.
  EXPECT_FALSE(winsim::addStandardTcpIpPort(u"COM1:", u"127.0.5.41"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(winsim::addStandardTcpIpPort(u"IP_X", u""));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(Monitor2Jobs, JobGoesThroughTheMonitor2LanguageMonitorToTheNetworkPort) {
  HMODULE pin = LoadLibraryW(u"C:\\Windows\\system32\\winsim_testpm2.dll");
  ASSERT_NE(pin, nullptr);
  addPrinter(u"Card", kTcpPort, kMon2);
  HANDLE h = open(u"Card");
  std::string data = job(100000);
  DWORD id = print(h, data, u"Badge");
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"Card"));
  ASSERT_TRUE(eventually([&] { return !sink.jobs().empty(); }));
  ASSERT_EQ(sink.jobs().size(), 1u);
  EXPECT_EQ(sink.jobs()[0], "PM2:" + data);

  // The port monitor's handle came along: the monitor opened its port with it.
  EXPECT_TRUE(called("OpenPortEx IP_127.0.5.40 Card")) << pm2Calls();
  EXPECT_TRUE(called("StartDocPort Card " + std::to_string(id) + " 1 Badge")) << pm2Calls();
  EXPECT_TRUE(called("EndDocPort"));
  std::string log = pm2Calls();
  EXPECT_LT(log.find("StartDocPort"), log.find("WritePort"));
  EXPECT_LT(log.find("WritePort"), log.find("EndDocPort"));

  // Printer data the printer does not hold comes from the monitor.
  std::string reply;
  EXPECT_EQ(getData(h, "Status", reply), DWORD(ERROR_SUCCESS));
  EXPECT_EQ(reply, "pm2:Status");
  EXPECT_TRUE(called("GetPrinterDataFromPort 0 Status 64"));
  EXPECT_EQ(getData(h, "Status", reply, 3), DWORD(ERROR_MORE_DATA));
  EXPECT_EQ(reply, "10");

  // A second job goes on the same open port, on a connection of its own.
  print(h, "second");
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"Card"));
  ASSERT_TRUE(eventually([&] { return sink.jobs().size() == 2; }));
  EXPECT_EQ(sink.jobs()[1], "PM2:second");
  ClosePrinter(h);
  log = pm2Calls();
  EXPECT_EQ(log.find("OpenPortEx"), log.rfind("OpenPortEx"));
  EXPECT_EQ(log.find("ClosePort\n"), std::string::npos);
  winsim::resetMachine();
  EXPECT_TRUE(called("ClosePort"));
  FreeLibrary(pin);
}

TEST_F(Monitor2Jobs, EachKindOfMonitorStacksOnEachKindOfPortMonitor) {
  // The MONITOR2 language monitor on the USB port monitor's MONITOR table.
  addPrinter(u"Usb", u"USB001", kMon2);
  HANDLE usb = open(u"Usb");
  print(usb, "to usb");
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"Usb"));
  EXPECT_EQ(device->received(), "PM2:to usb");
  EXPECT_TRUE(called("OpenPortEx USB001 Usb")) << pm2Calls();
  ClosePrinter(usb);

  // The older kind of language monitor on the network port.
  ASSERT_TRUE(winsim::installMonitor(kLm, WINSIM_TESTLM));
  addPrinter(u"Old", kTcpPort, kLm);
  HANDLE old = open(u"Old");
  print(old, "old kind");
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"Old"));
  ASSERT_TRUE(eventually([&] { return sink.jobs().size() == 1; }));
  EXPECT_EQ(sink.jobs()[0], "LM:old kind");
  ClosePrinter(old);

  // No language monitor: the bytes go to the printer as they are.
  addPrinter(u"Plain", kTcpPort, nullptr);
  HANDLE plain = open(u"Plain");
  std::string data = job(70000);
  print(plain, data);
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"Plain"));
  ASSERT_TRUE(eventually([&] { return sink.jobs().size() == 2; }));
  EXPECT_EQ(sink.jobs()[1], data);
  ClosePrinter(plain);
}

TEST_F(Monitor2Jobs, AJobWaitsForAPrinterThatRefusesAndPrintsOnceItAnswers) {
  size_t sockets = winsim::openSocketCount();
  ASSERT_TRUE(winsim::setNetworkHostState(kPrinterAddress, winsim::NetworkHostState::Refusing));
  addPrinter(u"Plain", kTcpPort, nullptr);
  HANDLE h = open(u"Plain");
  DWORD id = print(h, "kept");
  ASSERT_TRUE(eventually([&] { return (jobStatus(h, id) & JOB_STATUS_ERROR) != 0; }));
  EXPECT_TRUE(sink.jobs().empty());
  ASSERT_TRUE(winsim::setNetworkHostState(kPrinterAddress, winsim::NetworkHostState::Up));
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"Plain"));
  ASSERT_TRUE(eventually([&] { return sink.jobs().size() == 1; }));
  EXPECT_EQ(sink.jobs()[0], "kept");
  // Each job's connection is closed at its end, the refused ones at once.
  EXPECT_EQ(winsim::openSocketCount(), sockets);
  ClosePrinter(h);
}

TEST_F(Monitor2Jobs, APortKeptByItsHostNameAloneReachesThePrinter) {
  ASSERT_TRUE(winsim::addStandardTcpIpPort(u"IP_byname", u"", u"cardprinter"));
  addPrinter(u"Named", u"IP_byname", nullptr);
  HANDLE h = open(u"Named");
  print(h, "by name");
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"Named"));
  ASSERT_TRUE(eventually([&] { return sink.jobs().size() == 1; }));
  EXPECT_EQ(sink.jobs()[0], "by name");
  ClosePrinter(h);
}

}  // namespace
