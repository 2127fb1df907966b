// The prefixed requests and capture jobs on a port entry of their own, with
// its two connections open to the emulated printer as a job or a query has
// them.  The cases call the monitor's glue as linked into the test program
// (its own copy of the module state: the lock, the resource library, the
// socket library), so that a request is tried without the job path around
// it.  The Windows 5 message path is taken: every message is a box the
// scripted user answers at once.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <winsim/testing.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "netmon/channels.h"
#include "netmon/connection.h"
#include "netmon/job_support.h"
#include "netmon/monitor.h"
#include "netmon/tests/glue/net_fixture.h"

namespace card::net::test {

// Texts of the resource library as the network set holds them.
inline const char16_t kFileOpenText[] = u"Error openning file.";
inline const char16_t kFileSizeText[] = u"Unable to obtain file size.Cannot continue with Firmware Download";
inline const char16_t kPrinterReadText[] = u"Error reading from printer.";
inline const char16_t kPrinterWriteText[] = u"Error writing to printer.";
// What every message of the port begins with.
inline const char16_t kMessageHead[] = u"Name: Pellor CA3 Card Printer\r\nIP address: 127.0.5.20\r\n\r\n";

class RequestTest : public NetMonitorTest {
 protected:
  void SetUp() override {
    NetMonitorTest::SetUp();
    if (HasFatalFailure()) return;
    // The printer's interface again, listing the data channel's messages
    // (the listener goes in before the interface starts).
    net.reset();
    cardemu::NetConfig config;
    config.address = kPrinterAddress;
    net = std::make_unique<cardemu::NetPrinter>(*printer, config);
    net->setFrameListener([this](const cardemu::DataFrame &f) {
      std::lock_guard<std::mutex> lock(commandsLock_);
      frames_.push_back(f.length);
    });
    ASSERT_TRUE(net->start());
    const cardemu::NetPorts p = net->ports();
    using winsim::NetworkProtocol;
    ASSERT_TRUE(winsim::declareNetworkHost(kPrinterAddress, kPrinterHostName,
                                           {{NetworkProtocol::Tcp, 9100, p.data},
                                            {NetworkProtocol::Tcp, 9111, p.status},
                                            {NetworkProtocol::Udp, 161, p.snmp},
                                            {NetworkProtocol::Tcp, 80, p.http}}));
    Module &m = module();
    ASSERT_TRUE(InitializeCriticalSectionAndSpinCount(&m.lock, 0x80000000u));
    m.lockReady = true;
    m.newGeneration = false;
    loadCompanions();
    ASSERT_NE(m.cardres, nullptr);
    winsim::UserScript answerEvery;
    answerEvery.answer = IDOK;
    winsim::scriptUser(answerEvery);
    printer->setCommandListener([this](const cardemu::CommandRecord &r) {
      std::lock_guard<std::mutex> lock(commandsLock_);
      commands_.push_back(r.command->text);
    });
    socketsBefore_ = winsim::openSocketCount();
    port = std::make_unique<PortEntry>(nullptr, kPortName);
    strcpy(port->address, kPrinterAddress);
    port->setPrinterName(kPrinterName);
    int statusError = 0, dataError = 0;
    ASSERT_TRUE(openChannels(*port, statusError, dataError)) << statusError << " " << dataError;
  }

  void TearDown() override {
    if (port) {
      stopMessageTask(*port);
      cancelCapture(*port);
      port.reset();
      EXPECT_EQ(winsim::openSocketCount(), socketsBefore_);
    }
    if (printer) printer->setCommandListener(nullptr);
    Module &m = module();
    if (m.lockReady) {
      freeCompanions();
      DeleteCriticalSection(&m.lock);
      m.lockReady = false;
    }
    NetMonitorTest::TearDown();
  }

  // A file on the machine's drive with these bytes.
  static std::u16string putFile(const std::u16string &name, const std::string &bytes) {
    const std::u16string path = u"C:\\Windows\\Temp\\" + name;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(h, bytes.data(), DWORD(bytes.size()), &written, nullptr));
    CloseHandle(h);
    return path;
  }

  bool request(const std::u16string &name) { return handlePrefixedRequest(*port, name.c_str()); }

  // The command texts the printer took (between ESC and CR), in order.
  std::vector<std::string> commands() {
    std::lock_guard<std::mutex> lock(commandsLock_);
    return commands_;
  }

  // The payload lengths of the data channel's messages, in order.
  std::vector<uint32_t> frames() {
    std::lock_guard<std::mutex> lock(commandsLock_);
    return frames_;
  }

  // The text of the only message shown, once it has been shown.
  static std::u16string onlyMessage() {
    EXPECT_TRUE(winsim::waitForShownMessages(1));
    const std::vector<winsim::ShownMessage> shown = winsim::shownMessages();
    EXPECT_EQ(shown.size(), 1u);
    return shown.empty() ? std::u16string() : shown.front().text;
  }

  // The printer takes the data channel's bytes on its own thread, after the
  // monitor's last send returned: the last firmware frame once `count`
  // frames have come to their end (waited for in real time, bounded).
  std::optional<cardemu::FirmwareFrame> firmwareFrameOnceThereAre(uint64_t count) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (printer->firmwareFrames() < count && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return printer->lastFirmwareFrame();
  }

  // A firmware image of the printer's own kind (byte 15 is 0xFF, byte 14 is
  // not), `size` bytes long.
  static std::string firmwareImage(size_t size) {
    std::string image(size, '\0');
    for (size_t i = 0; i < size; ++i) image[i] = char((i * 7 + 3) & 0x7F);
    image[15] = char(0xFF);
    return image;
  }

  std::unique_ptr<PortEntry> port;

 private:
  std::mutex commandsLock_;
  std::vector<std::string> commands_;
  std::vector<uint32_t> frames_;
  size_t socketsBefore_ = 0;
};

}  // namespace card::net::test
