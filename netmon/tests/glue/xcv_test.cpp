// Port administration: the transceive commands through the spooler's
// XcvDataW and through the monitor's table, and AddPortEx.
#include <cstring>
#include <string>
#include <vector>

#include "netmon/entry_points.h"
#include "netmon/monitor.h"
#include "netmon/port_admin.h"
#include "netmon/tests/glue/net_fixture.h"

namespace card::net::test {
namespace {

const std::u16string kMonitorKey =
    std::u16string(u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\") + kMonitorName;
constexpr char16_t kWindowsKey[] = u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
constexpr DWORD kUntouched = 0xA5A5A5A5;

std::vector<BYTE> text(const std::u16string &s, bool terminator = true) {
  std::vector<BYTE> b((s.size() + (terminator ? 1 : 0)) * sizeof(char16_t), 0);
  std::memcpy(b.data(), s.data(), s.size() * sizeof(char16_t));
  return b;
}

struct Answer {
  DWORD status = kUntouched;
  DWORD needed = kUntouched;
  std::vector<BYTE> output;
};

// A value under the monitor's "Ports" key: its type and size, or false.
bool portsValue(const std::u16string &port, DWORD &type, DWORD &size) {
  HKEY k = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kMonitorKey + u"\\Ports").c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
    return false;
  BYTE data[64];
  size = sizeof data;
  LONG st = RegQueryValueExW(k, port.c_str(), nullptr, &type, data, &size);
  RegCloseKey(k);
  return st == ERROR_SUCCESS;
}

class XcvTest : public NetMonitorTest {
 protected:
  void TearDown() override {
    for (HANDLE h : xcvs_) ClosePrinter(h);
    NetMonitorTest::TearDown();
  }

  // A ",XcvMonitor" handle of the spooler, with or without the right to
  // administer the server.
  HANDLE openXcv(ACCESS_MASK access) {
    std::u16string name = std::u16string(u",XcvMonitor ") + kMonitorName;
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, access};
    HANDLE h = nullptr;
    if (!OpenPrinterW(name.data(), &h, &defaults)) return nullptr;
    xcvs_.push_back(h);
    return h;
  }

  static Answer call(HANDLE xcv, const char16_t *command, std::vector<BYTE> input, DWORD outputSize) {
    Answer a;
    a.output.assign(outputSize + 4, 0xEE);
    EXPECT_TRUE(XcvDataW(xcv, command, input.empty() ? nullptr : input.data(), DWORD(input.size()),
                         outputSize ? a.output.data() : nullptr, outputSize, &a.needed, &a.status))
        << GetLastError();
    return a;
  }

  // The same through the table, as the spooler's router calls it.
  Answer callTable(HANDLE xcv, const char16_t *command, std::vector<BYTE> input, DWORD outputSize) {
    Answer a;
    a.output.assign(outputSize + 4, 0xEE);
    a.status = table_->pfnXcvDataPort(xcv, command, input.empty() ? nullptr : input.data(), DWORD(input.size()),
                                      outputSize ? a.output.data() : nullptr, outputSize, &a.needed);
    return a;
  }

  static DWORD dword(const Answer &a) {
    DWORD v = 0;
    std::memcpy(&v, a.output.data(), sizeof v);
    return v;
  }

  std::vector<HANDLE> xcvs_;
};

TEST_F(XcvTest, MonitorUiNamesTheConfigurationModule) {
  install();
  HANDLE xcv = openXcv(SERVER_ACCESS_ENUMERATE);
  ASSERT_NE(xcv, nullptr) << GetLastError();
  // "cardcfgnet.dll" and its terminator: 30 bytes.
  Answer a = call(xcv, u"MonitorUI", {}, 0);
  EXPECT_EQ(a.status, DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(a.needed, 30u);
  a = call(xcv, u"MonitorUI", {}, 29);
  EXPECT_EQ(a.status, DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(a.needed, 30u);
  EXPECT_EQ(a.output[0], 0xEE);  // nothing written into a short buffer
  a = call(xcv, u"MonitorUI", {}, 30);
  EXPECT_EQ(a.status, 0u);
  EXPECT_EQ(a.needed, 30u);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t *>(a.output.data())), u"cardcfgnet.dll");
  EXPECT_EQ(a.output[30], 0xEE);
  // The command names are matched exactly.
  EXPECT_EQ(call(xcv, u"monitorui", {}, 30).status, DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(call(xcv, u"AddPorts", text(u"X"), 0).status, DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(XcvTest, ChangesNeedTheRightToAdministerTheServer) {
  install();
  HANDLE user = openXcv(SERVER_ACCESS_ENUMERATE);
  ASSERT_NE(user, nullptr) << GetLastError();
  EXPECT_EQ(call(user, u"AddPort", text(u"NETCARD1"), 0).status, DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(call(user, u"DeletePort", text(u"NETCARD1"), 0).status, DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(call(user, u"ConfigureLPTPortCommandOK", text(u"90"), 0).status, DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(call(user, u"SetDefaultCommConfig", std::vector<BYTE>(52), 0).status, DWORD(ERROR_ACCESS_DENIED));
  DWORD type = 0, size = 0;
  EXPECT_FALSE(portsValue(u"NETCARD1", type, size));
  // Questions need no right.
  Answer a = call(user, u"PortExists", text(u"FILE:"), 4);
  EXPECT_EQ(a.status, 0u);
  EXPECT_EQ(dword(a), DWORD(TRUE));
  EXPECT_EQ(call(user, u"PortIsValid", text(u"COM2:"), 0).status, 0u);
}

TEST_F(XcvTest, AddAndDeleteAPortThroughTheSpooler) {
  install();
  HANDLE admin = openXcv(SERVER_ACCESS_ADMINISTER);
  ASSERT_NE(admin, nullptr) << GetLastError();
  Answer a = call(admin, u"PortExists", text(u"NETCARD1"), 4);
  EXPECT_EQ(a.status, 0u);
  EXPECT_EQ(a.needed, 4u);
  EXPECT_EQ(dword(a), DWORD(FALSE));

  // The size must count the terminator, no more and no less.
  EXPECT_EQ(call(admin, u"AddPort", text(u"NETCARD1", false), 0).status, DWORD(ERROR_INVALID_PARAMETER));
  std::vector<BYTE> padded = text(u"NETCARD1");
  padded.insert(padded.end(), {0, 0});
  EXPECT_EQ(call(admin, u"AddPort", padded, 0).status, DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(call(admin, u"AddPort", {}, 0).status, DWORD(ERROR_INVALID_PARAMETER));

  EXPECT_EQ(call(admin, u"AddPort", text(u"NETCARD1"), 0).status, 0u);
  DWORD type = 0, size = 0;
  ASSERT_TRUE(portsValue(u"NETCARD1", type, size));
  EXPECT_EQ(type, DWORD(REG_SZ));
  EXPECT_EQ(size, 2u);
  // The spooler lists the port from now on; a second add is refused.
  a = call(admin, u"PortExists", text(u"netcard1"), 4);
  EXPECT_EQ(a.status, 0u);
  EXPECT_EQ(dword(a), DWORD(TRUE));
  EXPECT_EQ(call(admin, u"AddPort", text(u"NETCARD1"), 0).status, DWORD(ERROR_ALREADY_EXISTS));
  // A port of another monitor is no port to add.
  EXPECT_EQ(call(admin, u"AddPort", text(u"file:"), 0).status, DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(portsValue(u"file:", type, size));
  EXPECT_EQ(call(admin, u"AddPort", text(kPortName), 0).status, DWORD(ERROR_ALREADY_EXISTS));  // Standard TCP/IP's

  // Deleted by its name in any letter case, once.
  EXPECT_EQ(call(admin, u"DeletePort", text(u"NetCard1"), 0).status, 0u);
  EXPECT_FALSE(portsValue(u"NETCARD1", type, size));
  EXPECT_EQ(call(admin, u"DeletePort", text(u"NETCARD1"), 0).status, DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(call(admin, u"DeletePort", text(u"NETCARD1", false), 0).status, DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(XcvTest, PortExistsNeedsFourOutputBytes) {
  install();
  HANDLE xcv = openXcv(SERVER_ACCESS_ENUMERATE);
  ASSERT_NE(xcv, nullptr) << GetLastError();
  Answer a = call(xcv, u"PortExists", text(u"LPT1:"), 3);
  EXPECT_EQ(a.status, DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(a.needed, 4u);
  EXPECT_EQ(a.output[0], 0xEE);
  a = call(xcv, u"GetTransmissionRetryTimeout", {}, 3);
  EXPECT_EQ(a.status, DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(a.needed, 4u);
  a = call(xcv, u"GetDefaultCommConfig", text(u"COM1"), 51);
  EXPECT_EQ(a.status, DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(a.needed, 52u);
  // A name whose terminator lies beyond the input is no name.
  EXPECT_EQ(call(xcv, u"PortExists", text(u"LPT1:", false), 4).status, DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(XcvTest, PortIsValid) {
  install();
  HANDLE xcv = openXcv(SERVER_ACCESS_ENUMERATE);
  ASSERT_NE(xcv, nullptr) << GetLastError();
  // Device names by their form alone: no device of that name exists here.
  for (const char16_t *name : {u"com1:", u"COM9:", u"Lpt3:", u"FILE:"})
    EXPECT_EQ(call(xcv, u"PortIsValid", text(name), 0).status, 0u) << std::string(name, name + 5);
  // Any other name is a file the spooler could write: left as it was found.
  ASSERT_TRUE(CreateDirectoryW(u"C:\\Output", nullptr));
  EXPECT_EQ(call(xcv, u"PortIsValid", text(u"C:\\Output\\card.prn"), 0).status, 0u);
  EXPECT_EQ(GetFileAttributesW(u"C:\\Output\\card.prn"), INVALID_FILE_ATTRIBUTES);
  HANDLE f = CreateFileW(u"C:\\Output\\kept.prn", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(f, "card", 4, &written, nullptr));
  CloseHandle(f);
  EXPECT_EQ(call(xcv, u"PortIsValid", text(u"C:\\Output\\kept.prn"), 0).status, 0u);
  f = CreateFileW(u"C:\\Output\\kept.prn", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileSize(f, nullptr), 4u);
  CloseHandle(f);
  // No folder, no file; a folder is no file either.
  EXPECT_EQ(call(xcv, u"PortIsValid", text(u"C:\\Missing\\card.prn"), 0).status, DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_NE(call(xcv, u"PortIsValid", text(u"C:\\Output"), 0).status, 0u);
  EXPECT_EQ(call(xcv, u"PortIsValid", text(u""), 0).status, DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(XcvTest, TransmissionRetryTimeout) {
  install();
  HANDLE admin = openXcv(SERVER_ACCESS_ADMINISTER);
  ASSERT_NE(admin, nullptr) << GetLastError();
  Answer a = call(admin, u"GetTransmissionRetryTimeout", {}, 4);
  EXPECT_EQ(a.status, 0u);
  EXPECT_EQ(a.needed, 4u);
  EXPECT_EQ(dword(a), 45u);  // no value: the default

  EXPECT_EQ(call(admin, u"ConfigureLPTPortCommandOK", text(u"90"), 0).status, 0u);
  HKEY k = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kWindowsKey, 0, KEY_READ, &k), ERROR_SUCCESS);
  WCHAR value[16] = {};
  DWORD type = 0, size = sizeof value;
  EXPECT_EQ(RegQueryValueExW(k, u"TransmissionRetryTimeout", nullptr, &type, reinterpret_cast<BYTE *>(value), &size),
            ERROR_SUCCESS);
  RegCloseKey(k);
  EXPECT_EQ(type, DWORD(REG_SZ));
  EXPECT_EQ(std::u16string(value), u"90");
  EXPECT_EQ(dword(call(admin, u"GetTransmissionRetryTimeout", {}, 4)), 90u);

  // Text the readers could not take is refused, and the value stays.
  for (const char16_t *bad : {u"", u"9x", u"-5", u"99999999999"})
    EXPECT_EQ(call(admin, u"ConfigureLPTPortCommandOK", text(bad), 0).status, DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(call(admin, u"ConfigureLPTPortCommandOK", text(u"90", false), 0).status, DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(dword(call(admin, u"GetTransmissionRetryTimeout", {}, 4)), 90u);

  // A value someone else garbled reads as the default.
  ASSERT_TRUE(winsim::importRegistry(
      "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows]\n"
      "\"TransmissionRetryTimeout\"=\"ninety\"\n"));
  EXPECT_EQ(dword(call(admin, u"GetTransmissionRetryTimeout", {}, 4)), 45u);
}

TEST_F(XcvTest, TheTableDirectly) {
  install();
  HANDLE xcv = nullptr;
  ASSERT_TRUE(table_->pfnXcvOpenPort(monitor_, nullptr, SERVER_ACCESS_ADMINISTER, &xcv));
  ASSERT_NE(xcv, nullptr);
  EXPECT_EQ(callTable(xcv, u"AddPort", text(u"NETCARD2"), 0).status, 0u);
  Answer a = callTable(xcv, u"MonitorUI", {}, 64);
  EXPECT_EQ(a.status, 0u);
  EXPECT_EQ(a.needed, 30u);
  EXPECT_EQ(callTable(xcv, u"PortExists", text(u"PRN"), 3).needed, 4u);
  EXPECT_EQ(callTable(xcv, u"DeletePort", text(u"NETCARD2"), 0).status, 0u);
  EXPECT_EQ(callTable(xcv, u"DeletePort", text(u"NETCARD2"), 0).status, DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(table_->pfnXcvClosePort(xcv));

  // A handle closed, or never given out, is no handle.
  DWORD needed = 0;
  EXPECT_EQ(table_->pfnXcvDataPort(xcv, u"MonitorUI", nullptr, 0, nullptr, 0, &needed), DWORD(ERROR_INVALID_HANDLE));
  SetLastError(0);
  EXPECT_FALSE(table_->pfnXcvClosePort(xcv));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));

  // A handle left open goes with the monitor (Shutdown, in TearDown).
  HANDLE left = nullptr;
  ASSERT_TRUE(table_->pfnXcvOpenPort(monitor_, u"COM3:", 0, &left));
  EXPECT_EQ(callTable(left, u"AddPort", text(u"NETCARD3"), 0).status, DWORD(ERROR_ACCESS_DENIED));
}

TEST_F(XcvTest, AddPortEx) {
  install();
  auto add = [&](DWORD level, const char16_t *name) {
    std::u16string n = name ? name : u"";
    PORT_INFO_1W info{name ? n.data() : nullptr};
    SetLastError(0);
    BOOL ok = table_->pfnAddPortEx(monitor_, nullptr, level, reinterpret_cast<LPBYTE>(&info), nullptr);
    return ok ? DWORD(0) : GetLastError();
  };
  EXPECT_EQ(add(2, u"NETCARD4"), DWORD(ERROR_INVALID_LEVEL));
  EXPECT_EQ(add(0, u"NETCARD4"), DWORD(ERROR_INVALID_LEVEL));
  EXPECT_EQ(add(1, nullptr), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(add(1, u""), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(add(1, u"FILE:"), DWORD(ERROR_INVALID_PARAMETER));  // the system has it
  // 247 characters is the longest name an entry keeps.
  const std::u16string longest(247, u'N'), over(248, u'N');
  EXPECT_EQ(add(1, over.c_str()), DWORD(ERROR_INVALID_NAME));
  DWORD type = 0, size = 0;
  EXPECT_FALSE(portsValue(over, type, size));
  EXPECT_EQ(add(1, longest.c_str()), 0u);
  EXPECT_TRUE(portsValue(longest, type, size));
  EXPECT_EQ(add(0xFFFFFFFF, u"NETCARD4"), 0u);
  EXPECT_TRUE(portsValue(u"NETCARD4", type, size));
  // The monitor's own entry counts even where the spooler does not list it.
  EXPECT_EQ(add(1, u"netcard4"), DWORD(ERROR_INVALID_PARAMETER));
  SetLastError(0);
  EXPECT_FALSE(table_->pfnAddPortEx(nullptr, nullptr, 1, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST_F(XcvTest, DefaultLineConfiguration) {
  install();
  // ",XcvPort COM1:" reaches the local monitor on this spooler: the table
  // is called as the spooler would call it for a serial port of ours.
  HANDLE port = nullptr, monitorOnly = nullptr;
  ASSERT_TRUE(table_->pfnXcvOpenPort(monitor_, u"COM1:", SERVER_ACCESS_ADMINISTER, &port));
  ASSERT_TRUE(table_->pfnXcvOpenPort(monitor_, nullptr, SERVER_ACCESS_ADMINISTER, &monitorOnly));
  Answer a = callTable(port, u"GetDefaultCommConfig", text(u"COM1"), sizeof(COMMCONFIG));
  ASSERT_EQ(a.status, 0u);
  EXPECT_EQ(a.needed, DWORD(sizeof(COMMCONFIG)));
  COMMCONFIG cc;
  std::memcpy(&cc, a.output.data(), sizeof cc);
  EXPECT_EQ(cc.dwProviderSubType, DWORD(PST_RS232));
  EXPECT_EQ(cc.dcb.BaudRate, DWORD(CBR_9600));

  cc.dcb.BaudRate = CBR_19200;
  std::vector<BYTE> in(sizeof cc);
  std::memcpy(in.data(), &cc, sizeof cc);
  EXPECT_EQ(callTable(port, u"SetDefaultCommConfig", in, 0).status, 0u);
  COMMCONFIG system{};
  DWORD size = sizeof system;
  ASSERT_TRUE(GetDefaultCommConfigW(u"COM1", &system, &size));
  EXPECT_EQ(system.dcb.BaudRate, DWORD(CBR_19200));
  a = callTable(port, u"GetDefaultCommConfig", text(u"COM1"), 200);
  std::memcpy(&cc, a.output.data(), sizeof cc);
  EXPECT_EQ(cc.dcb.BaudRate, DWORD(CBR_19200));

  // A block shorter than the structure, a handle without a device, a
  // device the machine lacks.
  EXPECT_EQ(callTable(port, u"SetDefaultCommConfig", std::vector<BYTE>(in.begin(), in.begin() + 40), 0).status,
            DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(callTable(monitorOnly, u"SetDefaultCommConfig", in, 0).status, DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(callTable(port, u"GetDefaultCommConfig", text(u"COM8"), 64).status, DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(table_->pfnXcvClosePort(port));
  EXPECT_TRUE(table_->pfnXcvClosePort(monitorOnly));
}

TEST_F(XcvTest, APortTheSpoolerOpenedIsNotDeleted) {
  install();
  HANDLE port = openPort();
  ASSERT_NE(port, nullptr) << GetLastError();
  HANDLE xcv = nullptr;
  ASSERT_TRUE(table_->pfnXcvOpenPort(monitor_, nullptr, SERVER_ACCESS_ADMINISTER, &xcv));
  // The entry is the spooler's port handle until ClosePort.
  EXPECT_EQ(callTable(xcv, u"DeletePort", text(kPortName), 0).status, DWORD(ERROR_FILE_NOT_FOUND));
  closePort(port);
  EXPECT_EQ(callTable(xcv, u"DeletePort", text(kPortName), 0).status, DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(table_->pfnXcvClosePort(xcv));
}

// The monitor's glue linked into the test itself, on a monitor record of the
// test's making: states that no spooler call produces on its own (a job on
// the port, a registry that refuses), and the entry point's registry errors.
class XcvGlueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::resetMachine();
    winsim::setClockScale(kClockScale);
    ASSERT_TRUE(InitializeCriticalSectionAndSpinCount(&module().lock, 0x80000000u));
    module().lockReady = true;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kMonitorKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root_,
                              nullptr),
              ERROR_SUCCESS);
    reg_ =
        MONITORREG{sizeof(MONITORREG), reg::createKey, reg::openKey,     reg::closeKey,  reg::deleteKey, reg::enumKey,
                   reg::queryInfoKey,  reg::setValue,  reg::deleteValue, reg::enumValue, reg::queryValue};
    init_ = MONITORINIT{
        sizeof(MONITORINIT), reinterpret_cast<HANDLE>(this), reinterpret_cast<HANDLE>(root_), &reg_, TRUE, nullptr};
  }
  void TearDown() override {
    if (monitor_) shutdownMonitor(monitor_);
    freeCompanions();
    module().lockReady = false;
    DeleteCriticalSection(&module().lock);
    RegCloseKey(root_);
    winsim::resetMachine();
  }

  void makeMonitor() {
    auto *m = new Monitor;
    m->init = init_;
    MonitorLock lock;
    m->next = module().monitors;
    module().monitors = m;
    monitor_ = m;
  }

  DWORD command(const char16_t *name, std::vector<BYTE> input) {
    HANDLE x = nullptr;
    EXPECT_TRUE(xcvOpenPort(monitor_, nullptr, SERVER_ACCESS_ADMINISTER, &x));
    DWORD needed = 0;
    DWORD st = xcvDataPort(x, name, input.data(), DWORD(input.size()), nullptr, 0, &needed);
    EXPECT_TRUE(xcvClosePort(x));
    return st;
  }

  HKEY root_ = nullptr;
  MONITORREG reg_{};
  MONITORINIT init_{};
  Monitor *monitor_ = nullptr;
};

LONG WINAPI refuseSetValue(HANDLE, LPCWSTR, DWORD, const BYTE *, DWORD, HANDLE) { return ERROR_ACCESS_DENIED; }
LONG WINAPI refuseOpenKey(HANDLE, LPCWSTR, REGSAM, PHANDLE out, HANDLE) {
  *out = nullptr;
  return ERROR_ACCESS_DENIED;
}

TEST_F(XcvGlueTest, APortInUseByAJobIsNotDeleted) {
  makeMonitor();
  ASSERT_EQ(command(u"AddPort", text(u"NETCARD5")), 0u);
  // The spooler opened the port for a printer: the entry is its handle.
  PortEntry *job = nullptr;
  {
    MonitorLock lock;
    job = monitor_->ports;
    ASSERT_NE(job, nullptr);
    job->state |= kStateJobPath;
  }
  EXPECT_EQ(command(u"DeletePort", text(u"NETCARD5")), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(portFromHandle(job), job);
  DWORD type = 0, size = 0;
  EXPECT_TRUE(portsValue(u"NETCARD5", type, size));
  job->state &= ~kStateJobPath;
  EXPECT_EQ(command(u"DeletePort", text(u"NETCARD5")), 0u);
  EXPECT_FALSE(portsValue(u"NETCARD5", type, size));
}

TEST_F(XcvGlueTest, APortWhoseValueCannotBeWrittenIsNotKept) {
  reg_.fpSetValue = refuseSetValue;
  makeMonitor();
  EXPECT_EQ(command(u"AddPort", text(u"NETCARD6")), DWORD(ERROR_ACCESS_DENIED));
  PORT_INFO_1W info{const_cast<LPWSTR>(u"NETCARD7")};
  SetLastError(0);
  EXPECT_FALSE(addPortEx(monitor_, nullptr, 1, reinterpret_cast<LPBYTE>(&info), nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  MonitorLock lock;
  EXPECT_EQ(monitor_->ports, nullptr);
}

TEST_F(XcvGlueTest, TheEntryPointReportsARegistryError) {
  reg_.fpOpenKey = refuseOpenKey;
  HANDLE handle = nullptr;
  SetLastError(0);
  EXPECT_EQ(InitializePrintMonitor2(&init_, &handle), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  // No "Ports" key yet is no port yet, not a monitor that cannot start.
  reg_.fpOpenKey = reg::openKey;
  LPMONITOR2 table = InitializePrintMonitor2(&init_, &handle);
  ASSERT_NE(table, nullptr) << GetLastError();
  monitor_ = static_cast<Monitor *>(handle);
}

TEST_F(XcvGlueTest, ThePortsKeyIsReadButMakesNoPorts) {
  // Ports an administrator added before the spooler's last start, and a
  // name of the generic local-port conventions the monitor passes over.
  HKEY ports = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root_, u"Ports", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &ports, nullptr), ERROR_SUCCESS);
  const WCHAR empty[1] = {0};
  for (const char16_t *name : {u"NETCARD8", u"Ne00:"})
    ASSERT_EQ(RegSetValueExW(ports, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(empty), sizeof empty),
              ERROR_SUCCESS);
  RegCloseKey(ports);
  HANDLE handle = nullptr;
  ASSERT_NE(InitializePrintMonitor2(&init_, &handle), nullptr) << GetLastError();
  monitor_ = static_cast<Monitor *>(handle);
  // The monitor starts without entries for them: the names are an
  // administrator's to add again.
  EXPECT_EQ(command(u"DeletePort", text(u"NETCARD8")), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(command(u"AddPort", text(u"NETCARD8")), 0u);
  EXPECT_EQ(command(u"AddPort", text(u"NETCARD8")), DWORD(ERROR_ALREADY_EXISTS));
}

// The device's name of the monitor's own, or "" when it has none.
std::u16string nonSpooledTarget(const char16_t *device) {
  WCHAR targets[512] = {};
  if (!QueryDosDeviceW((std::u16string(u"NONSPOOLED_") + device).c_str(), targets, 512)) return u"";
  return targets;
}

COMMTIMEOUTS deviceTimeouts(HANDLE device) {
  COMMTIMEOUTS t{};
  EXPECT_TRUE(GetCommTimeouts(device, &t)) << GetLastError();
  return t;
}

TEST_F(XcvGlueTest, ASerialPortIsReachedUnderTheMonitorsOwnName) {
  makeMonitor();
  PortEntry *com = addPortEntry(monitor_, u"COM2:");
  ASSERT_NE(com, nullptr);
  // While the spooler owns the port its name leads to the spooler's pipe.
  ASSERT_TRUE(DefineDosDeviceW(DDD_RAW_TARGET_PATH, u"COM2", u"\\Device\\NamedPipe\\Spooler\\COM2:"));
  // The line settings an administrator gave the port, in the mode command's
  // short form.
  HKEY ports = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root_, u"Ports", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &ports, nullptr), ERROR_SUCCESS);
  const std::u16string settings = u"19200,e,7,2";
  ASSERT_EQ(RegSetValueExW(ports, u"COM2:", 0, REG_SZ, reinterpret_cast<const BYTE *>(settings.c_str()),
                           DWORD((settings.size() + 1) * sizeof(char16_t))),
            ERROR_SUCCESS);
  RegCloseKey(ports);
  ASSERT_EQ(openPortDevice(*com), 0u);
  DCB line{};
  ASSERT_TRUE(GetCommState(com->device, &line)) << GetLastError();
  EXPECT_EQ(line.BaudRate, 19200u);
  EXPECT_EQ(line.Parity, EVENPARITY);
  EXPECT_EQ(line.ByteSize, 7);
  EXPECT_EQ(line.StopBits, TWOSTOPBITS);
  EXPECT_EQ(nonSpooledTarget(u"COM2"), u"\\Device\\Serial1");
  EXPECT_TRUE(com->state & kStateDeviceOpen);
  COMMTIMEOUTS t = deviceTimeouts(com->device);
  EXPECT_EQ(t.ReadIntervalTimeout, 200u);
  EXPECT_EQ(t.ReadTotalTimeoutConstant, 5000u);
  EXPECT_EQ(t.WriteTotalTimeoutConstant, 45000u);
  // A port whose device is open is no port to delete.
  EXPECT_EQ(command(u"DeletePort", text(u"COM2:")), DWORD(ERROR_FILE_NOT_FOUND));

  // The spooler's time-outs: the read interval and read total only.
  COMMTIMEOUTS asked{7, 3, 900, 11, 13};
  EXPECT_TRUE(setPortTimeOuts(com, &asked, 0)) << GetLastError();
  t = deviceTimeouts(com->device);
  EXPECT_EQ(t.ReadIntervalTimeout, 7u);
  EXPECT_EQ(t.ReadTotalTimeoutConstant, 900u);
  EXPECT_EQ(t.WriteTotalTimeoutConstant, 45000u);
  EXPECT_TRUE(com->state & kStateTimeoutsSet);
  SetLastError(0);
  EXPECT_FALSE(setPortTimeOuts(com, &asked, 1));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(setPortTimeOuts(com, nullptr, 0));

  // Still open for its first user after the call's own open and release.
  EXPECT_NE(com->device, INVALID_HANDLE_VALUE);
  releasePortDevice(*com);
  EXPECT_EQ(com->device, INVALID_HANDLE_VALUE);
  EXPECT_EQ(nonSpooledTarget(u"COM2"), u"");
  WCHAR targets[128] = {};
  ASSERT_NE(QueryDosDeviceW(u"COM2", targets, 128), 0u);  // the spooler's definition stays
  EXPECT_EQ(std::u16string(targets), u"\\Device\\NamedPipe\\Spooler\\COM2:");

  // With nobody holding it, the call opens the device and lets it go.
  EXPECT_TRUE(setPortTimeOuts(com, &asked, 0)) << GetLastError();
  EXPECT_EQ(com->device, INVALID_HANDLE_VALUE);
  EXPECT_EQ(nonSpooledTarget(u"COM2"), u"");
  EXPECT_EQ(command(u"DeletePort", text(u"COM2:")), 0u);
}

TEST_F(XcvGlueTest, AParallelPortAndDevicesThatCannotBeOpened) {
  makeMonitor();
  ASSERT_EQ(command(u"ConfigureLPTPortCommandOK", text(u"30")), 0u);
  PortEntry *lpt = addPortEntry(monitor_, u"LPT1:");
  ASSERT_NE(lpt, nullptr);
  // Only a serial port's device is opened for the call.
  COMMTIMEOUTS asked{7, 0, 900, 0, 0};
  SetLastError(0);
  EXPECT_FALSE(setPortTimeOuts(lpt, &asked, 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  ASSERT_EQ(openPortDevice(*lpt), 0u);
  EXPECT_EQ(nonSpooledTarget(u"LPT1"), u"\\Device\\Parallel0");
  EXPECT_EQ(deviceTimeouts(lpt->device).WriteTotalTimeoutConstant, 30000u);  // the retry time-out
  EXPECT_TRUE(setPortTimeOuts(lpt, &asked, 0)) << GetLastError();
  EXPECT_EQ(deviceTimeouts(lpt->device).ReadTotalTimeoutConstant, 900u);
  releasePortDevice(*lpt);
  EXPECT_EQ(nonSpooledTarget(u"LPT1"), u"");

  // No such device on the machine.
  PortEntry *com9 = addPortEntry(monitor_, u"COM9:");
  EXPECT_EQ(openPortDevice(*com9), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(com9->useCount, 0);
  // The device is someone else's: the name defined for it goes again.
  HANDLE other = CreateFileW(u"\\\\.\\COM3", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE) << GetLastError();
  PortEntry *com3 = addPortEntry(monitor_, u"COM3:");
  EXPECT_EQ(openPortDevice(*com3), DWORD(ERROR_PRINTER_NOT_FOUND));
  EXPECT_EQ(nonSpooledTarget(u"COM3"), u"");
  EXPECT_EQ(com3->device, INVALID_HANDLE_VALUE);
  SetLastError(0);
  EXPECT_FALSE(setPortTimeOuts(com3, &asked, 0));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PRINTER_NOT_FOUND));
  CloseHandle(other);
}

}  // namespace
}  // namespace card::net::test
