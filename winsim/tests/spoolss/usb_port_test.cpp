// The USB port monitor with a device plugged into its port: its table, the
// device's calls, unplugging, the spooler's waits and the machine reset.
#include <gtest/gtest.h>

#include <windows.h>
#include <winsplp.h>

#include <chrono>
#include <cstring>
#include <string>

#include <winsim/testing.h>

#include "monitor_support.h"

namespace {

using namespace monitor_test;

// ------------------------------------------------------------ the port monitor's table

TEST_F(Monitors, UsbPortMonitorWritesReadsAndTimesOutOnTheScaledClock) {
  const MONITOR *pm = winsim::usbPortMonitorTable();
  ASSERT_TRUE(pm && pm->pfnOpenPort && pm->pfnWritePort && pm->pfnReadPort && pm->pfnSetPortTimeOuts);
  EXPECT_EQ(pm->pfnOpenPortEx, nullptr);  // a port monitor, not a language monitor

  HANDLE port = nullptr;
  std::u16string name = u"usb001", other = u"USB002", bad = u"USB0011";
  EXPECT_FALSE(pm->pfnOpenPort(other.data(), &port));  // never plugged in
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PORT));
  EXPECT_FALSE(winsim::attachUsbDevice(bad, device));
  ASSERT_TRUE(pm->pfnOpenPort(name.data(), &port));

  // Writes take what the device takes; a device that takes part of a buffer
  // is asked again for the rest.
  device->setPerWrite(3);
  BYTE data[] = "0123456789";
  DWORD n = 0;
  ASSERT_TRUE(pm->pfnWritePort(port, data, 10, &n));
  EXPECT_EQ(n, 10u);
  EXPECT_EQ(device->received(), "0123456789");

  // A stalled device: the write ends after its time-out with what was taken,
  // which is nothing, and no error.
  device->setStalled(true);
  DWORD t0 = GetTickCount();
  double real = realMs([&] { EXPECT_TRUE(pm->pfnWritePort(port, data, 4, &n)); });
  EXPECT_EQ(n, 0u);
  EXPECT_GE(GetTickCount() - t0, 15000u);
  EXPECT_LT(real, 2000.0);
  // The port's own time-out, on the unscaled clock from here on: what ends
  // early must do so by a margin that no scheduling delay eats up.
  winsim::setClockScale(1.0);
  COMMTIMEOUTS shortWrite{0, 0, 0, 0, 100};
  EXPECT_FALSE(pm->pfnSetPortTimeOuts(port, &shortWrite, 1));  // the reserved argument must be 0
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  ASSERT_TRUE(pm->pfnSetPortTimeOuts(port, &shortWrite, 0));
  t0 = GetTickCount();
  EXPECT_TRUE(pm->pfnWritePort(port, data, 4, &n));
  EXPECT_EQ(n, 0u);
  EXPECT_GE(GetTickCount() - t0, 100u);
  EXPECT_LT(GetTickCount() - t0, 5000u);
  device->setStalled(false);

  // Reads: the answer that is there; nothing after the read time-out; at
  // once with an interval of MAXDWORD and no total.
  device->giveAnswer("ok");
  BYTE buf[16];
  ASSERT_TRUE(pm->pfnReadPort(port, buf, sizeof(buf), &n));
  EXPECT_EQ(std::string(reinterpret_cast<char *>(buf), n), "ok");
  COMMTIMEOUTS reads{0, 0, 2000, 0, 100};
  ASSERT_TRUE(pm->pfnSetPortTimeOuts(port, &reads, 0));
  winsim::setClockScale(1000.0);
  t0 = GetTickCount();
  real = realMs([&] { EXPECT_TRUE(pm->pfnReadPort(port, buf, sizeof(buf), &n)); });
  EXPECT_EQ(n, 0u);
  EXPECT_GE(GetTickCount() - t0, 2000u);
  EXPECT_LT(real, 1000.0);
  COMMTIMEOUTS immediate{MAXDWORD, 0, 0, 0, 100};
  ASSERT_TRUE(pm->pfnSetPortTimeOuts(port, &immediate, 0));
  winsim::setClockScale(1.0);
  t0 = GetTickCount();
  EXPECT_TRUE(pm->pfnReadPort(port, buf, sizeof(buf), &n));
  EXPECT_EQ(n, 0u);
  EXPECT_LT(GetTickCount() - t0, 500u);
  // No time-outs at all would wait for ever on a device: here they do not
  // wait, for reads nor for writes to a device that takes nothing.
  COMMTIMEOUTS none{0, 0, 0, 0, 0};
  ASSERT_TRUE(pm->pfnSetPortTimeOuts(port, &none, 0));
  device->setStalled(true);
  t0 = GetTickCount();
  EXPECT_TRUE(pm->pfnReadPort(port, buf, sizeof(buf), &n));
  EXPECT_EQ(n, 0u);
  EXPECT_TRUE(pm->pfnWritePort(port, data, 4, &n));
  EXPECT_EQ(n, 0u);
  EXPECT_LT(GetTickCount() - t0, 500u);
  device->setStalled(false);

  // An answer that comes while a read waits ends the wait long before the
  // time-out: the device's notifier wakes it.  (Ten times faster than real
  // time: the answering thread's start costs no simulated minute.)
  EXPECT_TRUE(device->hasNotifier());
  COMMTIMEOUTS longRead{0, 0, 600000, 0, 100};
  ASSERT_TRUE(pm->pfnSetPortTimeOuts(port, &longRead, 0));
  winsim::setClockScale(10.0);
  std::thread answer([&] {
    Sleep(300);
    device->giveAnswer("late");
  });
  t0 = GetTickCount();
  EXPECT_TRUE(pm->pfnReadPort(port, buf, sizeof(buf), &n));
  answer.join();
  EXPECT_EQ(std::string(reinterpret_cast<char *>(buf), n), "late");
  EXPECT_LT(GetTickCount() - t0, 60000u);

  // The line status through the printer class request; other requests and
  // value names are not the port monitor's.
  device->setStatus(0x5A);
  BYTE status[4] = {};
  ASSERT_TRUE(pm->pfnGetPrinterDataFromPort(port, IOCTL_USBPRINT_GET_LPT_STATUS, nullptr, nullptr, 0,
                                            reinterpret_cast<LPWSTR>(status), 4, &n));
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(status[0], 0x5A);
  EXPECT_FALSE(pm->pfnGetPrinterDataFromPort(port, IOCTL_USBPRINT_GET_LPT_STATUS, nullptr, nullptr, 0, nullptr, 0, &n));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  std::u16string value = u"Anything";
  EXPECT_FALSE(
      pm->pfnGetPrinterDataFromPort(port, 0, value.data(), nullptr, 0, reinterpret_cast<LPWSTR>(status), 4, &n));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_SUPPORTED));

  // Unplugged: the port stays, its calls fail until a device is back.
  winsim::detachUsbDevice(u"USB001");
  EXPECT_FALSE(device->hasNotifier());
  EXPECT_FALSE(pm->pfnWritePort(port, data, 4, &n));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_DEVICE_NOT_CONNECTED));
  EXPECT_FALSE(pm->pfnReadPort(port, buf, 4, &n));
  std::u16string printer = u"P";
  EXPECT_FALSE(pm->pfnStartDocPort(port, printer.data(), 1, 1, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_DEVICE_NOT_CONNECTED));
  EXPECT_TRUE(pm->pfnClosePort(port));
  EXPECT_FALSE(pm->pfnClosePort(port));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

// A device belongs to the test: once unplugged it may be destroyed, so
// unplugging waits for the call inside it, and the write it was part of ends
// there with the bytes taken.
TEST_F(Monitors, UnpluggingWaitsForTheCallInsideTheDevice) {
  auto gated = std::make_shared<GatedDevice>();
  ASSERT_TRUE(winsim::attachUsbDevice(u"USB002", gated));
  const MONITOR *pm = winsim::usbPortMonitorTable();
  std::u16string name = u"USB002", printer = u"P";
  HANDLE port = nullptr, probe = nullptr;
  ASSERT_TRUE(pm->pfnOpenPort(name.data(), &port));
  ASSERT_TRUE(pm->pfnOpenPort(name.data(), &probe));

  BYTE data[] = "0123456789";
  DWORD written = 99, error = 0;
  BOOL ok = TRUE;
  std::thread writer([&] {
    ok = pm->pfnWritePort(port, data, 10, &written);
    error = GetLastError();
  });
  ASSERT_TRUE(gated->waitUntilInside());
  std::thread unplugger([&] {
    winsim::detachUsbDevice(u"USB002");
    gated->note("unplugged");
  });
  // The port is empty as soon as the device is out; the call inside it goes
  // on until the device lets it go.
  EXPECT_TRUE(eventually([&] { return !pm->pfnStartDocPort(probe, printer.data(), 1, 1, nullptr); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(gated->events(), std::vector<std::string>{});
  gated->openGate();
  unplugger.join();
  writer.join();
  EXPECT_EQ(gated->events(), (std::vector<std::string>{"write", "unplugged"}));
  EXPECT_FALSE(ok);
  EXPECT_EQ(error, DWORD(ERROR_DEVICE_NOT_CONNECTED));
  EXPECT_EQ(written, 3u);
  EXPECT_EQ(gated->received(), "012");
  EXPECT_TRUE(pm->pfnClosePort(port));
  EXPECT_TRUE(pm->pfnClosePort(probe));
}

// The wait for the spooler guards the test's progress: its bound is real
// time, which the clock's scale does not shrink, so a job that is merely slow
// in real time (a slow build, a busy machine) is waited for.
TEST_F(Monitors, TheWaitForTheSpoolerIsBoundInRealTime) {
  auto gated = std::make_shared<GatedDevice>();
  ASSERT_TRUE(winsim::attachUsbDevice(u"USB002", gated));
  addPrinter(u"Card", u"USB002", nullptr);
  HANDLE h = open(u"Card");
  print(h, "abc");
  ASSERT_TRUE(gated->waitUntilInside());
  EXPECT_FALSE(winsim::waitForSpoolerIdle(u"Card", 0));
  std::thread slow([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    gated->openGate();
  });
  // Ten seconds of simulated time would be 10 ms of real time here.
  double real = realMs([&] { EXPECT_TRUE(winsim::waitForSpoolerIdle(u"Card", 10000)); });
  slow.join();
  EXPECT_GE(real, 150.0);
  EXPECT_EQ(gated->received(), "abc");
  ClosePrinter(h);
}

// Resetting the machine stops the despooling threads before it unplugs the
// devices: when it returns nothing writes to them any more.
TEST_F(Monitors, ResettingTheMachineStopsThePrinterThreadsBeforeTheDevicesGo) {
  auto gated = std::make_shared<GatedDevice>();
  ASSERT_TRUE(winsim::attachUsbDevice(u"USB002", gated));
  addPrinter(u"Card", u"USB002", nullptr);
  HANDLE h = open(u"Card");
  print(h, "0123456789");
  ClosePrinter(h);
  ASSERT_TRUE(gated->waitUntilInside());
  std::thread reset([&] {
    winsim::resetMachine();
    gated->note("reset");
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  gated->openGate();
  reset.join();
  auto events = gated->events();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back(), "reset");
  EXPECT_EQ(events.front(), "write");
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(gated->events(), events);
}

TEST_F(Monitors, EnumPortsListsUsbAndLocalPorts) {
  ASSERT_TRUE(winsim::attachUsbDevice(u"USB003", std::make_shared<FakeDevice>()));
  addPrinter(u"Filed", u"C:\\out.prn", nullptr);
  DWORD needed = 0, count = 0;
  EXPECT_FALSE(EnumPortsW(nullptr, 2, nullptr, 0, &needed, &count));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  std::vector<BYTE> buf(needed);
  EXPECT_FALSE(EnumPortsW(nullptr, 2, buf.data(), needed - 1, &needed, &count));
  ASSERT_TRUE(EnumPortsW(nullptr, 2, buf.data(), needed, &needed, &count));
  ASSERT_EQ(count, 4u);
  auto *pi = reinterpret_cast<PORT_INFO_2W *>(buf.data());
  EXPECT_EQ(std::u16string(pi[0].pPortName), u"USB001");
  EXPECT_EQ(std::u16string(pi[0].pMonitorName), u"USB Monitor");
  EXPECT_EQ(pi[0].fPortType, DWORD(PORT_TYPE_WRITE | PORT_TYPE_READ));
  EXPECT_EQ(std::u16string(pi[1].pPortName), u"USB003");
  EXPECT_EQ(std::u16string(pi[2].pPortName), u"FILE:");
  EXPECT_EQ(std::u16string(pi[3].pPortName), u"C:\\out.prn");
  EXPECT_EQ(std::u16string(pi[3].pMonitorName), u"Local Port");
  EXPECT_FALSE(EnumPortsW(nullptr, 3, buf.data(), needed, &needed, &count));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_LEVEL));
}

}  // namespace
