// A card printed over USB: cardprint draws through GDI and the package's
// driver, the spooler's despooling thread writes the job to the USB port,
// and the emulated printer plugged into that port puts out the card.  The
// printer's answers come back through the same port.
#include <gtest/gtest.h>

#include <windows.h>
#include <usbprint.h>
#include <winsplp.h>

#include <winsim/testing.h>

#include <string>
#include <vector>

#include "emulator/include/cardemu/printer.h"
#include "emulator/include/cardemu/usb_device.h"
#include "tools/cardprint/cardprint.h"

namespace {

const char16_t kPrinter[] = u"Pellor CA3 Card Printer USB";

class Quiet : public cardprint::Console {
 public:
  void write(bool error, LPCWSTR text) override {
    if (error) err += winsim::toUtf8(reinterpret_cast<const char16_t *>(text));
  }
  std::string err;
};

cardemu::PrinterConfig ca3() {
  cardemu::PrinterConfig config;
  config.model = "CA3";
  return config;
}

class UsbPrinter : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::resetMachine();
    winsim::setClockScale(1000.0);
  }
  // However the test ends, the spooler's threads stop and the printer is
  // unplugged before it is destroyed (members go after TearDown).
  void TearDown() override { winsim::resetMachine(); }

  cardemu::Printer printer{ca3()};
};

TEST_F(UsbPrinter, CardPrintedByTheEmulatedPrinterOnUsb001) {
  ASSERT_TRUE(winsim::attachUsbDevice(u"USB001", std::make_shared<cardemu::UsbPrinterDevice>(printer)));
  winsim::PrinterSetup setup;
  setup.printerName = kPrinter;
  setup.driverName = u"Pellor Standard Printer";
  setup.graphicsDll = CARDREND_DLL;
  setup.portName = u"USB001";
  ASSERT_TRUE(winsim::installPrinter(setup));

  std::vector<std::u16string> args = {u"cardprint", u"--ribbon", u"YMCKO", u"--track1", u"USB CARD"};
  std::vector<LPCWSTR> argv;
  for (const auto &a : args) argv.push_back(reinterpret_cast<LPCWSTR>(a.c_str()));
  Quiet console;
  ASSERT_EQ(cardprint::cardPrintMain(int(argv.size()), argv.data(), console), 0) << console.err;
  ASSERT_TRUE(winsim::waitForSpoolerIdle(kPrinter));

  auto jobs = winsim::printJobs(kPrinter);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_TRUE(jobs[0].despooled);
  EXPECT_FALSE(jobs[0].aborted);
  EXPECT_EQ(printer.state().error, 0);
  auto cards = printer.takeCards();
  ASSERT_EQ(cards.size(), 1u);
  EXPECT_EQ(cards[0].tracks[0], "USB CARD");
  EXPECT_FALSE(cards[0].sides[0].panels.empty());

  // The printer's answers through the port: its line status, and the reply
  // to an error report request.
  const MONITOR *pm = winsim::usbPortMonitorTable();
  HANDLE port = nullptr;
  std::u16string name = u"USB001";
  ASSERT_TRUE(pm->pfnOpenPort(name.data(), &port));
  BYTE status[4] = {};
  DWORD n = 0;
  ASSERT_TRUE(pm->pfnGetPrinterDataFromPort(port, IOCTL_USBPRINT_GET_LPT_STATUS, nullptr, nullptr, 0,
                                            reinterpret_cast<LPWSTR>(status), sizeof(status), &n));
  EXPECT_EQ(status[0], *printer.lineStatus());
  std::string request =
      "\x1b"
      "E 2\r";
  ASSERT_TRUE(pm->pfnWritePort(port, reinterpret_cast<LPBYTE>(request.data()), DWORD(request.size()), &n));
  EXPECT_EQ(n, request.size());
  BYTE reply[16];
  ASSERT_TRUE(pm->pfnReadPort(port, reply, sizeof(reply), &n));
  EXPECT_EQ(std::string(reinterpret_cast<char *>(reply), n), "\x06");
  EXPECT_TRUE(pm->pfnClosePort(port));
}

// Plugged in, the printer is a Printer device node with the IDs Windows
// makes of its IEEE 1284 ID; unplugged, the node stays, absent.
TEST_F(UsbPrinter, ThePluggedPrinterIsADeviceNodeWithItsUsbPrintIds) {
  ASSERT_TRUE(winsim::attachUsbDevice(u"USB001", std::make_shared<cardemu::UsbPrinterDevice>(printer)));
  auto nodes = winsim::deviceNodes();
  ASSERT_EQ(nodes.size(), 1u);
  EXPECT_EQ(nodes[0].className, u"Printer");
  EXPECT_EQ(nodes[0].hardwareIds,
            std::vector<std::u16string>({u"USBPRINT\\PELLO_CARD_PRINTER_CA3C5A1", u"PELLO_CARD_PRINTER_CA3C5A1"}));
  EXPECT_TRUE(nodes[0].present);
  winsim::detachUsbDevice(u"USB001");
  nodes = winsim::deviceNodes();
  ASSERT_EQ(nodes.size(), 1u);
  EXPECT_FALSE(nodes[0].present);
}

}  // namespace
