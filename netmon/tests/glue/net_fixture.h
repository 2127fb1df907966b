// The built network monitor on winsim's machine, talking to the emulated
// printer over real loopback sockets.  The printer lives on an address of its
// own ("127.0.5.20"), reached through the Standard TCP/IP port "IP_127.0.5.20"
// whose key holds that address; its four services listen on ephemeral
// loopback ports that winsim's network maps the well-known ports to.
//
// The cases call the monitor's table as the spooler does.  The clock is sped
// up, but less than for a USB printer: the printer answers over real sockets
// in real time, and a reply wait of 4 s must still be long enough for that
// under the sanitizers.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <winsim/testing.h>

#include <memory>
#include <string>
#include <vector>

#include "emulator/include/cardemu/net_printer.h"
#include "emulator/include/cardemu/printer.h"
#include "shared/proc_address.h"

namespace card::net::test {

inline const char16_t kMonitorName[] = u"Pellor Standard Network Language Monitor";
inline const char16_t kDriverName[] = u"Pellor Standard Network";
inline const char16_t kPrinterName[] = u"Pellor CA3 Card Printer";
inline const char16_t kPortName[] = u"IP_127.0.5.20";
inline const char kPrinterAddress[] = "127.0.5.20";
inline const char kPrinterHostName[] = "cardprinter1";
inline constexpr double kClockScale = 50.0;

// The monitor's registry calls on winsim's registry: the handles the monitor
// gets are registry keys, as a spooler that is not clustered hands them out.
namespace reg {
inline HKEY key(HANDLE h) { return reinterpret_cast<HKEY>(h); }
inline LONG WINAPI createKey(HANDLE k, LPCWSTR sub, DWORD options, REGSAM sam, PSECURITY_ATTRIBUTES sa, PHANDLE out,
                             PDWORD disposition, HANDLE) {
  HKEY r = nullptr;
  LONG st = RegCreateKeyExW(key(k), sub, 0, nullptr, options, sam, sa, &r, disposition);
  *out = reinterpret_cast<HANDLE>(r);
  return st;
}
inline LONG WINAPI openKey(HANDLE k, LPCWSTR sub, REGSAM sam, PHANDLE out, HANDLE) {
  HKEY r = nullptr;
  LONG st = RegOpenKeyExW(key(k), sub, 0, sam, &r);
  *out = reinterpret_cast<HANDLE>(r);
  return st;
}
inline LONG WINAPI closeKey(HANDLE k, HANDLE) { return RegCloseKey(key(k)); }
inline LONG WINAPI deleteKey(HANDLE k, LPCWSTR sub, HANDLE) { return RegDeleteKeyW(key(k), sub); }
inline LONG WINAPI enumKey(HANDLE k, DWORD i, LPWSTR name, PDWORD chars, PFILETIME t, HANDLE) {
  return RegEnumKeyExW(key(k), i, name, chars, nullptr, nullptr, nullptr, t);
}
inline LONG WINAPI queryInfoKey(HANDLE k, PDWORD subKeys, PDWORD keyChars, PDWORD values, PDWORD valueChars,
                                PDWORD dataBytes, PDWORD sd, PFILETIME t, HANDLE) {
  return RegQueryInfoKeyW(key(k), nullptr, nullptr, nullptr, subKeys, keyChars, nullptr, values, valueChars, dataBytes,
                          sd, t);
}
inline LONG WINAPI setValue(HANDLE k, LPCWSTR name, DWORD type, const BYTE *data, DWORD size, HANDLE) {
  return RegSetValueExW(key(k), name, 0, type, data, size);
}
inline LONG WINAPI deleteValue(HANDLE k, LPCWSTR name, HANDLE) { return RegDeleteValueW(key(k), name); }
inline LONG WINAPI enumValue(HANDLE k, DWORD i, LPWSTR name, PDWORD bytes, PDWORD type, PBYTE data, PDWORD size,
                             HANDLE) {
  DWORD chars = *bytes / sizeof(WCHAR);
  LONG st = RegEnumValueW(key(k), i, name, &chars, nullptr, type, data, size);
  *bytes = chars * sizeof(WCHAR);
  return st;
}
inline LONG WINAPI queryValue(HANDLE k, LPCWSTR name, PDWORD type, PBYTE data, PDWORD size, HANDLE) {
  return RegQueryValueExW(key(k), name, nullptr, type, data, size);
}
}  // namespace reg

class NetMonitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::resetMachine();
    winsim::setClockScale(kClockScale);
    printer = std::make_unique<cardemu::Printer>();
    cardemu::NetConfig config;
    config.address = kPrinterAddress;
    net = std::make_unique<cardemu::NetPrinter>(*printer, config);
    std::string problem;
    ASSERT_TRUE(net->start(&problem)) << problem;
    const cardemu::NetPorts p = net->ports();
    using winsim::NetworkProtocol;
    ASSERT_TRUE(winsim::declareNetworkHost(kPrinterAddress, kPrinterHostName,
                                           {{NetworkProtocol::Tcp, 9100, p.data},
                                            {NetworkProtocol::Tcp, 9111, p.status},
                                            {NetworkProtocol::Udp, 161, p.snmp},
                                            {NetworkProtocol::Tcp, 80, p.http}}));
    addTcpIpPort(kPortName, kPrinterAddress);
    ASSERT_TRUE(winsim::copyToDrive(CARDRES_NET_DLL, u"C:\\Windows\\system32\\spool\\drivers\\W32X86\\3\\cardres.dll"));
  }

  void TearDown() override {
    for (HANDLE h : open_)
      if (table_) table_->pfnClosePort(h);
    open_.clear();
    if (table_ && monitor_) table_->pfnShutdown(monitor_);
    table_ = nullptr;
    winsim::resetMachine();
    net.reset();
    printer.reset();
  }

  // A Standard TCP/IP port's key, as that port monitor keeps it.
  static void addTcpIpPort(const std::u16string &port, const std::string &address, const std::string &host = "") {
    std::string name(port.begin(), port.end());
    ASSERT_TRUE(winsim::importRegistry(
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP "
        "Port\\Ports\\" +
        name + "]\n\"IPAddress\"=\"" + address + "\"\n\"HostName\"=\"" + host +
        "\"\n\"PortNumber\"=dword:0000238c\n\"Protocol\"=dword:00000001\n"));
  }

  // The monitor loaded and initialised as the spooler does, with a printer
  // on the port.
  void install() {
    ASSERT_TRUE(winsim::installMonitor(kMonitorName, NETMON_DLL)) << GetLastError();
    winsim::PrinterSetup setup;
    setup.printerName = kPrinterName;
    setup.driverName = kDriverName;
    setup.monitorName = kMonitorName;
    setup.portName = kPortName;
    installPrinter_ = winsim::installPrinter(setup);
    HMODULE m = GetModuleHandleW(u"netmon.dll");
    if (!m) m = LoadLibraryW(u"C:\\Windows\\system32\\netmon.dll");
    ASSERT_NE(m, nullptr);
    auto init = card::procAddress<LPMONITOR2(WINAPI *)(PMONITORINIT, PHANDLE)>(m, "InitializePrintMonitor2");
    ASSERT_NE(init, nullptr);
    HKEY root = nullptr;
    const std::u16string key = std::u16string(u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\") + kMonitorName;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root, nullptr),
              ERROR_SUCCESS);
    root_ = root;
    reg_ =
        MONITORREG{sizeof(MONITORREG), reg::createKey, reg::openKey,     reg::closeKey,  reg::deleteKey, reg::enumKey,
                   reg::queryInfoKey,  reg::setValue,  reg::deleteValue, reg::enumValue, reg::queryValue};
    init_.cbSize = sizeof(MONITORINIT);
    init_.hSpooler = reinterpret_cast<HANDLE>(this);
    init_.hckRegistryRoot = reinterpret_cast<HANDLE>(root_);
    init_.pMonitorReg = &reg_;
    init_.bLocal = TRUE;
    table_ = init(&init_, &monitor_);
    ASSERT_NE(table_, nullptr) << GetLastError();
  }

  // Opens the port for the printer as the spooler does; null on failure.
  HANDLE openPort(const char16_t *port = kPortName) {
    std::u16string name = port, printerName = kPrinterName;
    HANDLE h = nullptr;
    if (!table_->pfnOpenPortEx(monitor_, nullptr, name.data(), printerName.data(), &h, nullptr)) return nullptr;
    open_.push_back(h);
    return h;
  }
  void closePort(HANDLE h) {
    table_->pfnClosePort(h);
    std::erase(open_, h);
  }

  std::unique_ptr<cardemu::Printer> printer;
  std::unique_ptr<cardemu::NetPrinter> net;
  LPMONITOR2 table_ = nullptr;
  HANDLE monitor_ = nullptr;
  bool installPrinter_ = false;

 private:
  HKEY root_ = nullptr;
  MONITORREG reg_{};
  MONITORINIT init_{};
  std::vector<HANDLE> open_;
};

}  // namespace card::net::test
