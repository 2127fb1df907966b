// The spooler's port registry: printers need a port some port monitor serves,
// and a language monitor stacks on whichever port monitor serves its port.
#include <gtest/gtest.h>

#include <windows.h>
#include <winsplp.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include <winsim/testing.h>

#include "monitor_support.h"

using namespace monitor_test;

// ------------------------------------------------------------ the port registry

namespace {

// A port monitor of the test's own with the port "TEST1:": it keeps what is
// written to it and the order of the calls it received.
std::mutex g_testPortLock;
std::string g_testPortBytes, g_testPortCalls;
int g_testPortHandle;

void testPortCall(const std::string &call) {
  std::lock_guard<std::mutex> g(g_testPortLock);
  g_testPortCalls += call + "\n";
}
BOOL WINAPI testOpenPort(LPWSTR pName, PHANDLE pHandle) {
  std::string name;
  for (LPWSTR c = pName; c && *c; ++c) name += char(*c);
  testPortCall("OpenPort " + name);
  *pHandle = &g_testPortHandle;
  return TRUE;
}
BOOL WINAPI testStartDocPort(HANDLE, LPWSTR, DWORD, DWORD, LPBYTE) {
  testPortCall("StartDocPort");
  return TRUE;
}
BOOL WINAPI testWritePort(HANDLE h, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten) {
  if (h != &g_testPortHandle) return FALSE;
  std::lock_guard<std::mutex> g(g_testPortLock);
  g_testPortBytes.append(reinterpret_cast<const char *>(pBuffer), cbBuf);
  *pcbWritten = cbBuf;
  return TRUE;
}
BOOL WINAPI testReadPort(HANDLE, LPBYTE, DWORD, LPDWORD pcbRead) {
  *pcbRead = 0;
  return TRUE;
}
BOOL WINAPI testEndDocPort(HANDLE) {
  testPortCall("EndDocPort");
  return TRUE;
}
BOOL WINAPI testClosePort(HANDLE) {
  testPortCall("ClosePort");
  return TRUE;
}

MONITOR testPortMonitor() {
  MONITOR m{};
  m.pfnOpenPort = testOpenPort;
  m.pfnStartDocPort = testStartDocPort;
  m.pfnWritePort = testWritePort;
  m.pfnReadPort = testReadPort;
  m.pfnEndDocPort = testEndDocPort;
  m.pfnClosePort = testClosePort;
  return m;
}

// The port names EnumPortsW lists (level 1).
std::vector<std::u16string> portNames() {
  DWORD needed = 0, count = 0;
  EnumPortsW(nullptr, 1, nullptr, 0, &needed, &count);
  std::vector<BYTE> buf(needed);
  std::vector<std::u16string> out;
  if (!EnumPortsW(nullptr, 1, buf.data(), needed, &needed, &count)) return out;
  auto *pi = reinterpret_cast<PORT_INFO_1W *>(buf.data());
  for (DWORD i = 0; i < count; ++i) out.push_back(pi[i].pName);
  return out;
}

}  // namespace

TEST_F(Monitors, PrintersNeedAPortThatAMonitorServes) {
  // A name no port monitor has: refused, nothing installed.
  winsim::PrinterSetup s;
  s.printerName = u"Elsewhere";
  s.portName = u"NOWHERE1";
  EXPECT_FALSE(winsim::installPrinter(s));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PORT));
  HANDLE h = nullptr;
  std::u16string name = u"Elsewhere";
  EXPECT_FALSE(OpenPrinterW(name.data(), &h, nullptr));

  // The local port monitor's names and the USB port monitor's are known,
  // also a USB port no device was ever plugged into.
  int n = 0;
  for (const char16_t *port : {u"FILE:", u"lpt1:", u"COM2:", u"C:\\out.prn", u"\\\\server\\share", u"USB007"}) {
    winsim::PrinterSetup known;
    known.printerName = u"Known " + winsim::toUtf16(std::to_string(++n));
    known.portName = port;
    EXPECT_TRUE(winsim::installPrinter(known)) << winsim::toUtf8(port);
  }
  for (const char16_t *port : {u"LPT0:", u"COM10:", u"USB000", u"USB1000", u"FILE"}) {
    winsim::PrinterSetup unknown;
    unknown.printerName = u"Odd";
    unknown.portName = port;
    EXPECT_FALSE(winsim::installPrinter(unknown)) << winsim::toUtf8(port);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PORT)) << winsim::toUtf8(port);
  }

  // SetPrinterW refuses the unknown name and keeps the port it had.
  addPrinter(u"Card", u"USB001", nullptr);
  h = open(u"Card");
  std::vector<BYTE> buf(4096);
  DWORD needed = 0;
  ASSERT_TRUE(GetPrinterW(h, 2, buf.data(), DWORD(buf.size()), &needed));
  auto *pi = reinterpret_cast<PRINTER_INFO_2W *>(buf.data());
  std::u16string bad = u"NOWHERE1", good = u"FILE:";
  pi->pPortName = bad.data();
  EXPECT_FALSE(SetPrinterW(h, 2, buf.data(), 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PORT));
  ASSERT_TRUE(GetPrinterW(h, 2, buf.data(), DWORD(buf.size()), &needed));
  EXPECT_EQ(std::u16string(pi->pPortName), u"USB001");
  pi->pPortName = good.data();
  EXPECT_TRUE(SetPrinterW(h, 2, buf.data(), 0));
  ASSERT_TRUE(GetPrinterW(h, 2, buf.data(), DWORD(buf.size()), &needed));
  EXPECT_EQ(std::u16string(pi->pPortName), u"FILE:");
  ClosePrinter(h);

  // A test port is registered as a monitor registers its ports: known, listed,
  // not registered twice, gone at reset.
  EXPECT_TRUE(winsim::addTestPort(u"NOWHERE1"));
  EXPECT_FALSE(winsim::addTestPort(u"nowhere1"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(winsim::addTestPort(u"USB001"));
  EXPECT_TRUE(winsim::installPrinter(s));
  auto names = portNames();
  EXPECT_NE(std::find(names.begin(), names.end(), u"NOWHERE1"), names.end());
  winsim::resetMachine();
  EXPECT_FALSE(winsim::installPrinter(s));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PORT));
  names = portNames();
  EXPECT_EQ(std::find(names.begin(), names.end(), u"NOWHERE1"), names.end());
}

TEST_F(Monitors, ALanguageMonitorStacksOnAnyPortMonitor) {
  {
    std::lock_guard<std::mutex> g(g_testPortLock);
    g_testPortBytes.clear();
    g_testPortCalls.clear();
  }
  static const MONITOR table = testPortMonitor();
  ASSERT_TRUE(winsim::addPortMonitor(u"Test Port Monitor", &table, {u"TEST1:"}));
  EXPECT_FALSE(winsim::addPortMonitor(u"Other", &table, {u"test1:"}));
  ASSERT_TRUE(winsim::installMonitor(kLm, WINSIM_TESTLM));
  addPrinter(u"Card", u"TEST1:", kLm);
  HANDLE h = open(u"Card");
  print(h, "card job");
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"Card"));
  ClosePrinter(h);
  // The language monitor opened the test monitor's port and wrote through it;
  // the USB device saw nothing.
  EXPECT_NE(lmCalls().find("OpenPortEx TEST1: Card\n"), std::string::npos);
  {
    std::lock_guard<std::mutex> g(g_testPortLock);
    EXPECT_EQ(g_testPortBytes, "LM:card job");
    EXPECT_EQ(g_testPortCalls, "OpenPort TEST1:\nStartDocPort\nEndDocPort\n");
  }
  EXPECT_TRUE(device->received().empty());

  // Listed under its monitor's name.
  DWORD needed = 0, count = 0;
  EnumPortsW(nullptr, 2, nullptr, 0, &needed, &count);
  std::vector<BYTE> buf(needed);
  ASSERT_TRUE(EnumPortsW(nullptr, 2, buf.data(), needed, &needed, &count));
  auto *pi = reinterpret_cast<PORT_INFO_2W *>(buf.data());
  bool listed = false;
  for (DWORD i = 0; i < count; ++i)
    listed = listed || (std::u16string(pi[i].pPortName) == u"TEST1:" &&
                        std::u16string(pi[i].pMonitorName) == u"Test Port Monitor");
  EXPECT_TRUE(listed);

  // At reset the spooler closes the port before the monitor goes.
  winsim::resetMachine();
  std::lock_guard<std::mutex> g(g_testPortLock);
  EXPECT_EQ(g_testPortCalls, "OpenPort TEST1:\nStartDocPort\nEndDocPort\nClosePort\n");
}
