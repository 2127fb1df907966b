// Port monitors of the MONITOR2 kind: initialisation with the spooler's
// registry functions, the configuration channel (",XcvMonitor", ",XcvPort",
// XcvDataW) and the port status they report with SetPortW.
#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <string>

#include <winsim/testing.h>

namespace {

const char16_t kMon[] = u"Test Port Monitor 2";
const char16_t kKey[] = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Test Port Monitor 2";

class Monitor2 : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::resetMachine();
    ASSERT_TRUE(winsim::installMonitor(kMon, WINSIM_TESTPM2));
  }
  void TearDown() override { winsim::resetMachine(); }

  static std::string calls() {
    HMODULE m = GetModuleHandleW(u"winsim_testpm2.dll");
    if (!m) return {};
    using Calls = DWORD(WINAPI *)(char *, DWORD);
    auto fn = reinterpret_cast<Calls>(reinterpret_cast<void *>(GetProcAddress(m, "TestPm2Calls")));
    if (!fn) return {};
    std::string out(fn(nullptr, 0) + 1, '\0');
    out.resize(fn(out.data(), DWORD(out.size())));
    return out;
  }
  static bool called(const std::string &line) { return calls().find(line + "\n") != std::string::npos; }

  static HANDLE openXcv(const std::u16string &name, ACCESS_MASK access) {
    PRINTER_DEFAULTSW pd{nullptr, nullptr, access};
    std::u16string n = name;
    HANDLE h = nullptr;
    if (!OpenPrinterW(n.data(), &h, &pd)) return nullptr;
    return h;
  }

  // The monitor's status for the command, with the call's own result.
  static DWORD xcv(HANDLE h, const char16_t *command, const std::u16string &in, std::vector<BYTE> &out, DWORD &needed) {
    DWORD status = 0xdeadbeef;
    needed = 0xdeadbeef;
    std::u16string input = in;
    EXPECT_TRUE(XcvDataW(h, command, in.empty() ? nullptr : reinterpret_cast<PBYTE>(input.data()),
                         DWORD(in.empty() ? 0 : (in.size() + 1) * 2), out.empty() ? nullptr : out.data(),
                         DWORD(out.size()), &needed, &status));
    return status;
  }

  static std::u16string portsValue() {
    HKEY k;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &k) != ERROR_SUCCESS) return u"<no key>";
    WCHAR buf[256] = {};
    DWORD type = 0, size = sizeof(buf);
    LSTATUS st = RegQueryValueExW(k, u"Ports", nullptr, &type, reinterpret_cast<BYTE *>(buf), &size);
    RegCloseKey(k);
    if (st != ERROR_SUCCESS || type != REG_MULTI_SZ) return u"<no value>";
    return std::u16string(buf, size / 2);
  }
};

TEST_F(Monitor2, InitialisedThroughTheRegistryFunctionsOnItsOwnKey) {
  EXPECT_TRUE(called("InitializePrintMonitor2 local=1 ports=PM2_1 settings=1")) << calls();
  EXPECT_EQ(portsValue(), std::u16string(u"PM2_1\0\0", 7));
  HKEY k;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, (std::u16string(kKey) + u"\\Settings").c_str(), 0, KEY_READ, &k),
            ERROR_SUCCESS);
  DWORD version = 0, size = sizeof(version), type = 0;
  EXPECT_EQ(RegQueryValueExW(k, u"Version", nullptr, &type, reinterpret_cast<BYTE *>(&version), &size), ERROR_SUCCESS);
  RegCloseKey(k);
  EXPECT_EQ(type, DWORD(REG_DWORD));
  EXPECT_EQ(version, 1u);
  // The newer entry point is the one used when a DLL has it.
  EXPECT_EQ(calls().find("InitializeMonitorEx"), std::string::npos);
}

TEST_F(Monitor2, XcvDataReachesTheMonitorAndReportsItsStatus) {
  HANDLE h = openXcv(std::u16string(u",XcvMonitor ") + kMon, SERVER_ACCESS_ADMINISTER);
  ASSERT_NE(h, nullptr);
  EXPECT_TRUE(called("XcvOpenPort (null) 1")) << calls();

  // "testpm2ui.dll" with its terminator: 28 bytes.
  std::vector<BYTE> small(4), big(64);
  DWORD needed = 0;
  EXPECT_EQ(xcv(h, u"MonitorUI", u"", small, needed), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, 28u);
  EXPECT_TRUE(called("XcvDataPort MonitorUI 0 4"));
  EXPECT_EQ(xcv(h, u"MonitorUI", u"", big, needed), DWORD(ERROR_SUCCESS));
  EXPECT_EQ(needed, 28u);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t *>(big.data())), u"testpm2ui.dll");

  std::vector<BYTE> echo(12);
  EXPECT_EQ(xcv(h, u"Echo", u"abcde", echo, needed), DWORD(ERROR_SUCCESS));
  EXPECT_EQ(needed, 12u);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t *>(echo.data())), u"abcde");
  // An unknown command is still delivered: the monitor's refusal is the status.
  EXPECT_EQ(xcv(h, u"NoSuchCommand", u"", big, needed), DWORD(ERROR_INVALID_PARAMETER));

  DWORD status = 0;
  EXPECT_FALSE(XcvDataW(h, u"Echo", nullptr, 0, nullptr, 0, &needed, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(XcvDataW(h, u"Echo", nullptr, 8, nullptr, 0, &needed, &status));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

  EXPECT_TRUE(ClosePrinter(h));
  EXPECT_TRUE(called("XcvClosePort ")) << calls();

  // A printer handle of another kind has no channel.
  HANDLE server = nullptr;
  ASSERT_TRUE(OpenPrinterW(nullptr, &server, nullptr));
  EXPECT_FALSE(XcvDataW(server, u"Echo", nullptr, 0, nullptr, 0, &needed, &status));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  ClosePrinter(server);
}

TEST_F(Monitor2, AddPortNeedsAdministerAndRegistersThePort) {
  HANDLE user = openXcv(std::u16string(u",XcvMonitor ") + kMon, SERVER_ACCESS_ENUMERATE);
  ASSERT_NE(user, nullptr);
  EXPECT_TRUE(called("XcvOpenPort (null) 2")) << calls();
  std::vector<BYTE> none;
  DWORD needed = 0;
  EXPECT_EQ(xcv(user, u"AddPort", u"PM2_7", none, needed), DWORD(ERROR_ACCESS_DENIED));
  ClosePrinter(user);
  EXPECT_FALSE(openXcv(u",XcvPort PM2_7", SERVER_ACCESS_ADMINISTER));

  HANDLE admin = openXcv(std::u16string(u",XcvMonitor ") + kMon, SERVER_ALL_ACCESS);
  ASSERT_NE(admin, nullptr);
  EXPECT_EQ(xcv(admin, u"AddPort", u"PM2_7", none, needed), DWORD(ERROR_SUCCESS));
  ClosePrinter(admin);
  EXPECT_EQ(portsValue(), std::u16string(u"PM2_1\0PM2_7\0\0", 13));

  // The spooler now knows the port and its monitor.
  DWORD cb = 0, count = 0;
  EnumPortsW(nullptr, 2, nullptr, 0, &cb, &count);
  std::vector<BYTE> buf(cb);
  ASSERT_TRUE(EnumPortsW(nullptr, 2, buf.data(), cb, &cb, &count));
  bool listed = false;
  auto *pi = reinterpret_cast<PORT_INFO_2W *>(buf.data());
  for (DWORD i = 0; i < count; ++i)
    listed = listed || (std::u16string(pi[i].pPortName) == u"PM2_7" && std::u16string(pi[i].pMonitorName) == kMon);
  EXPECT_TRUE(listed);

  HANDLE port = openXcv(u",XcvPort pm2_7", SERVER_ACCESS_ADMINISTER);
  ASSERT_NE(port, nullptr);
  EXPECT_TRUE(called("XcvOpenPort pm2_7 1")) << calls();
  ClosePrinter(port);
  EXPECT_TRUE(called("XcvClosePort pm2_7"));
}

TEST_F(Monitor2, OpeningAChannelOfNothingFails) {
  EXPECT_FALSE(openXcv(u",XcvMonitor No Such Monitor", SERVER_ACCESS_ADMINISTER));
  EXPECT_FALSE(openXcv(u",XcvPort NOPORT", SERVER_ACCESS_ADMINISTER));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PORT));
  // A built-in port has no MONITOR2 monitor behind it.
  EXPECT_FALSE(openXcv(u",XcvPort FILE:", SERVER_ACCESS_ADMINISTER));
  EXPECT_FALSE(openXcv(u",XcvSomething", SERVER_ACCESS_ADMINISTER));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PRINTER_NAME));
}

TEST_F(Monitor2, DeletingTheMonitorClosesItsChannelsAndShutsItDown) {
  // Kept loaded by the test, so that its record outlives the spooler's use.
  HMODULE pin = LoadLibraryW(u"C:\\Windows\\system32\\winsim_testpm2.dll");
  ASSERT_NE(pin, nullptr);
  HANDLE admin = openXcv(std::u16string(u",XcvMonitor ") + kMon, SERVER_ACCESS_ADMINISTER);
  ASSERT_NE(admin, nullptr);
  std::vector<BYTE> none;
  DWORD needed = 0;
  ASSERT_EQ(xcv(admin, u"AddPort", u"PM2_9", none, needed), DWORD(ERROR_SUCCESS));

  std::u16string name = kMon;
  ASSERT_TRUE(DeleteMonitorW(nullptr, nullptr, name.data()));
  std::string log = calls();
  size_t closed = log.find("XcvClosePort \n"), shutdown = log.find("Shutdown\n");
  ASSERT_NE(closed, std::string::npos) << log;
  ASSERT_NE(shutdown, std::string::npos) << log;
  EXPECT_LT(closed, shutdown);
  EXPECT_FALSE(DeleteMonitorW(nullptr, nullptr, name.data()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PRINT_MONITOR));

  // The handle outlived its monitor: calls are refused, closing is quiet.
  EXPECT_EQ(xcv(admin, u"Echo", u"x", none, needed), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(ClosePrinter(admin));
  EXPECT_EQ(calls(), log);
  // Its port went with it.
  EXPECT_FALSE(openXcv(u",XcvPort PM2_9", SERVER_ACCESS_ADMINISTER));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PORT));
  FreeLibrary(pin);
}

TEST_F(Monitor2, MachineResetShutsTheMonitorDown) {
  HMODULE pin = LoadLibraryW(u"C:\\Windows\\system32\\winsim_testpm2.dll");
  ASSERT_NE(pin, nullptr);
  EXPECT_EQ(calls().find("Shutdown"), std::string::npos);
  winsim::resetMachine();
  EXPECT_TRUE(called("Shutdown")) << calls();
  FreeLibrary(pin);
}

TEST_F(Monitor2, SetPortLevel3KeepsThePortsStatus) {
  ASSERT_TRUE(winsim::addTestPort(u"TP1"));
  DWORD status = 0, severity = 0;
  std::u16string text;
  EXPECT_FALSE(winsim::portStatus(u"TP1", status, severity, text));

  std::u16string port = u"TP1";
  PORT_INFO_3W jam{PORT_STATUS_PAPER_JAM, nullptr, PORT_STATUS_TYPE_ERROR};
  ASSERT_TRUE(SetPortW(nullptr, port.data(), 3, reinterpret_cast<LPBYTE>(&jam)));
  ASSERT_TRUE(winsim::portStatus(u"tp1", status, severity, text));
  EXPECT_EQ(status, 2u);
  EXPECT_EQ(severity, 1u);
  EXPECT_EQ(text, u"");

  std::u16string ribbon = u"Ribbon nearly used up";
  PORT_INFO_3W own{0, ribbon.data(), PORT_STATUS_TYPE_WARNING};
  ASSERT_TRUE(SetPortW(nullptr, port.data(), 3, reinterpret_cast<LPBYTE>(&own)));
  ASSERT_TRUE(winsim::portStatus(u"TP1", status, severity, text));
  EXPECT_EQ(status, 0u);
  EXPECT_EQ(severity, 2u);
  EXPECT_EQ(text, ribbon);

  PORT_INFO_3W clear{0, nullptr, 0};
  ASSERT_TRUE(SetPortW(nullptr, port.data(), 3, reinterpret_cast<LPBYTE>(&clear)));
  EXPECT_FALSE(winsim::portStatus(u"TP1", status, severity, text));

  EXPECT_FALSE(SetPortW(nullptr, port.data(), 1, reinterpret_cast<LPBYTE>(&jam)));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_LEVEL));
  PORT_INFO_3W badSeverity{PORT_STATUS_PAPER_JAM, nullptr, 7};
  EXPECT_FALSE(SetPortW(nullptr, port.data(), 3, reinterpret_cast<LPBYTE>(&badSeverity)));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  std::u16string unknown = u"NOPORT";
  EXPECT_FALSE(SetPortW(nullptr, unknown.data(), 3, reinterpret_cast<LPBYTE>(&jam)));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PORT));

  ASSERT_TRUE(SetPortW(nullptr, port.data(), 3, reinterpret_cast<LPBYTE>(&jam)));
  winsim::resetMachine();
  EXPECT_FALSE(winsim::portStatus(u"TP1", status, severity, text));
}

}  // namespace
