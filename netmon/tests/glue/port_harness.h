// A port entry of the monitor's glue, linked into the test, on the emulated
// printer: the status polls, the error wait, the ribbon checks and the
// queries are called on it directly, as the job path and the spooler's query
// threads call them.  The glue's module state is set up as the library's
// load and InitializePrintMonitor2 set it up; the notification server's
// stand-in is in the driver directory, and the port is served by the test
// port monitor, so that its status reaches the spooler.
#pragma once

#include <cstring>
#include <string>
#include <thread>

#include "netmon/channels.h"
#include "netmon/entry_points.h"
#include "netmon/job_support.h"
#include "netmon/monitor.h"
#include "netmon/tests/glue/net_fixture.h"
#include "shared/query_command.h"
#include "tests/support/notify_standin.h"

namespace card::net::test {

inline std::u16string u16(const WString &s) { return std::u16string(s.begin(), s.end()); }
inline std::string bytesOf(const void *p, size_t n) { return std::string(static_cast<const char *>(p), n); }

class PortTest : public NetMonitorTest {
 protected:
  // Whether messages go to the notification server (Windows 6 and later).
  virtual bool newGeneration() const { return true; }

  void SetUp() override {
    NetMonitorTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(card::test::installNotificationStandIn());
    // A built-in port monitor may serve the name already.
    winsim::addTestPort(kPortName);
    Module &m = module();
    InitializeCriticalSection(&m.lock);
    m.lockReady = true;
    m.newGeneration = newGeneration();
    loadCompanions();
    ASSERT_NE(m.cardres, nullptr);
    if (m.newGeneration) {
      ASSERT_NE(m.sendAsyncNotification, nullptr);
    }
    monitor = new Monitor;
    m.monitors = monitor;
    port = addPortEntry(monitor, reinterpret_cast<LPCWSTR>(kPortName));
    ASSERT_NE(port, nullptr);
    std::strcpy(port->address, kPrinterAddress);
    port->setPrinterName(reinterpret_cast<LPCWSTR>(kPrinterName));
    sockets = winsim::openSocketCount();
  }

  void TearDown() override {
    if (port) {
      stopMessageTask(*port);
      stopLowRibbonAlert(*port);
      closeChannels(*port);
      // The port's own sockets are all closed once the port is done with.
      EXPECT_EQ(winsim::openSocketCount(), sockets);
      removePortEntry(monitor, port);
    }
    Module &m = module();
    m.monitors = nullptr;
    delete monitor;
    freeCompanions();
    if (m.lockReady) {
      m.lockReady = false;
      DeleteCriticalSection(&m.lock);
    }
    NetMonitorTest::TearDown();
  }

  // Both channels of a job, as StartDocPort opens them.
  void openJobChannels() {
    int statusError = 0, dataError = 0;
    ASSERT_TRUE(openChannels(*port, statusError, dataError)) << statusError << " " << dataError;
  }

  // A query as the configuration module's GetPrinterDataW makes it: the
  // command's bytes laid into the value name.
  BOOL queryBytes(const std::string &command, std::string &reply, DWORD outSize = 1024) {
    WCHAR name[600] = {};
    EXPECT_TRUE(encodeQueryCommand(command.data(), command.size(), name, 600));
    return query(name, reply, outSize);
  }
  BOOL query(LPCWSTR name, std::string &reply, DWORD outSize = 1024) {
    std::string out(outSize, '\0');
    DWORD returned = 0;
    BOOL ok = getPrinterDataFromPort(port, 0, const_cast<LPWSTR>(name), nullptr, 0,
                                     reinterpret_cast<LPWSTR>(out.data()), outSize, &returned);
    reply = ok ? out.substr(0, returned) : std::string();
    return ok;
  }

  // The port's status as the spooler holds it; status 0 when cleared.
  DWORD portStatus(DWORD *severity = nullptr) {
    DWORD status = 0, sev = 0;
    std::u16string text;
    if (!winsim::portStatus(kPortName, status, sev, text)) status = sev = 0;
    if (severity) *severity = sev;
    return status;
  }

  // The text of a string of the network set of the resource library.
  static std::u16string resource(UINT number) {
    WCHAR text[1024] = {};
    LoadStringW(module().cardres, number, text, 1024);
    return reinterpret_cast<const char16_t *>(text);
  }
  static std::u16string errorText(UINT message) {
    return u"Name: Pellor CA3 Card Printer\r\nIP address: 127.0.5.20\r\n\r\n" + resource(message);
  }

  Monitor *monitor = nullptr;
  PortEntry *port = nullptr;
  size_t sockets = 0;
};

// The same with messages in boxes of the monitor's own (before Windows 6).
class BoxPortTest : public PortTest {
 protected:
  bool newGeneration() const override { return false; }
};

}  // namespace card::net::test
