// The network monitor's WritePort path: a two-sided card job of about 1.4 MB
// offered in 64 KiB buffers as the spooler offers it, each command followed
// by its reply check over the data channel, each data block portion sent in
// frames, to the emulated printer on a loopback address (which also decodes
// and renders the card).  The network path has no fixed pauses between
// commands; the time measured is that of the WritePort calls alone (the
// job's start with its probe and its end are left out), so all of it is the
// monitor's own work, the sockets' and the printer's answers.  The clock
// runs 100 times faster, so that a pause the monitor takes while the printer
// catches up costs a hundredth of its length.
#include <benchmark/benchmark.h>

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <winsim/testing.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>

#include "emulator/include/cardemu/net_printer.h"
#include "emulator/include/cardemu/printer.h"
#include "emulator/tests/streams.h"

namespace {

const char16_t kPrinter[] = u"Pellor CA3 Card Printer";
const char16_t kPort[] = u"IP_127.0.5.21";
const char kAddress[] = "127.0.5.21";

std::string twoSidedJob() {
  auto box = [](int line, int dot) { return line > 100 && line < 300 && dot > 50 && dot < 400; };
  return streams::ymckoHeader() + streams::ymc(streams::flat(5), streams::flat(10), streams::flat(15)) +
         streams::resin(box) + streams::esc("I 30") + streams::esc("MF") + streams::resin(box) + streams::esc("I 30") +
         streams::esc("MO");
}

// The monitor's registry calls on winsim's registry, as a spooler that is
// not clustered hands them out.
HKEY key(HANDLE h) { return reinterpret_cast<HKEY>(h); }
LONG WINAPI createKey(HANDLE k, LPCWSTR sub, DWORD options, REGSAM sam, PSECURITY_ATTRIBUTES sa, PHANDLE out,
                      PDWORD disposition, HANDLE) {
  HKEY r = nullptr;
  LONG st = RegCreateKeyExW(key(k), sub, 0, nullptr, options, sam, sa, &r, disposition);
  *out = reinterpret_cast<HANDLE>(r);
  return st;
}
LONG WINAPI openKey(HANDLE k, LPCWSTR sub, REGSAM sam, PHANDLE out, HANDLE) {
  HKEY r = nullptr;
  LONG st = RegOpenKeyExW(key(k), sub, 0, sam, &r);
  *out = reinterpret_cast<HANDLE>(r);
  return st;
}
LONG WINAPI closeKey(HANDLE k, HANDLE) { return RegCloseKey(key(k)); }
LONG WINAPI deleteKey(HANDLE k, LPCWSTR sub, HANDLE) { return RegDeleteKeyW(key(k), sub); }
LONG WINAPI enumKey(HANDLE k, DWORD i, LPWSTR name, PDWORD chars, PFILETIME t, HANDLE) {
  return RegEnumKeyExW(key(k), i, name, chars, nullptr, nullptr, nullptr, t);
}
LONG WINAPI queryInfoKey(HANDLE k, PDWORD subKeys, PDWORD keyChars, PDWORD values, PDWORD valueChars, PDWORD dataBytes,
                         PDWORD sd, PFILETIME t, HANDLE) {
  return RegQueryInfoKeyW(key(k), nullptr, nullptr, nullptr, subKeys, keyChars, nullptr, values, valueChars, dataBytes,
                          sd, t);
}
LONG WINAPI setValue(HANDLE k, LPCWSTR name, DWORD type, const BYTE *data, DWORD size, HANDLE) {
  return RegSetValueExW(key(k), name, 0, type, data, size);
}
LONG WINAPI deleteValue(HANDLE k, LPCWSTR name, HANDLE) { return RegDeleteValueW(key(k), name); }
LONG WINAPI enumValue(HANDLE k, DWORD i, LPWSTR name, PDWORD bytes, PDWORD type, PBYTE data, PDWORD size, HANDLE) {
  DWORD chars = *bytes / sizeof(WCHAR);
  LONG st = RegEnumValueW(key(k), i, name, &chars, nullptr, type, data, size);
  *bytes = chars * sizeof(WCHAR);
  return st;
}
LONG WINAPI queryValue(HANDLE k, LPCWSTR name, PDWORD type, PBYTE data, PDWORD size, HANDLE) {
  return RegQueryValueExW(key(k), name, nullptr, type, data, size);
}

struct Setup {
  std::unique_ptr<cardemu::Printer> printer;
  std::unique_ptr<cardemu::NetPrinter> net;
  MONITORREG reg{sizeof(MONITORREG), createKey, openKey,     closeKey,  deleteKey, enumKey,
                 queryInfoKey,       setValue,  deleteValue, enumValue, queryValue};
  MONITORINIT init{};
  LPMONITOR2 table = nullptr;
  HANDLE monitor = nullptr;
  HANDLE port = nullptr;
  HANDLE holder = nullptr;
};

bool install(Setup &s) {
  winsim::resetMachine();
  winsim::setClockScale(100);
  cardemu::PrinterConfig config;
  config.ribbonRemaining = 1000000;
  s.printer = std::make_unique<cardemu::Printer>(config);
  cardemu::NetConfig net;
  net.address = kAddress;
  s.net = std::make_unique<cardemu::NetPrinter>(*s.printer, net);
  if (!s.net->start()) return false;
  const cardemu::NetPorts p = s.net->ports();
  using winsim::NetworkProtocol;
  if (!winsim::declareNetworkHost(kAddress, "",
                                  {{NetworkProtocol::Tcp, 9100, p.data},
                                   {NetworkProtocol::Tcp, 9111, p.status},
                                   {NetworkProtocol::Udp, 161, p.snmp},
                                   {NetworkProtocol::Tcp, 80, p.http}}))
    return false;
  if (!winsim::importRegistry("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\"
                              "Standard TCP/IP Port\\Ports\\IP_127.0.5.21]\n\"IPAddress\"=\"127.0.5.21\"\n"))
    return false;
  if (!winsim::copyToDrive(CARDRES_NET_DLL, u"C:\\Windows\\system32\\spool\\drivers\\W32X86\\3\\cardres.dll"))
    return false;
  if (!winsim::installMonitor(u"Pellor Standard Network Language Monitor", NETMON_DLL)) return false;
  // The job's printer: its queue holds the job the monitor is handed.
  winsim::addTestPort(u"HOLD:");
  winsim::PrinterSetup setup;
  setup.printerName = kPrinter;
  setup.driverName = u"Pellor Standard Network";
  setup.portName = u"HOLD:";
  if (!winsim::installPrinter(setup)) return false;
  std::u16string name = kPrinter;
  if (!OpenPrinterW(name.data(), &s.holder, nullptr)) return false;

  HMODULE m = GetModuleHandleW(u"netmon.dll");
  auto init = reinterpret_cast<LPMONITOR2(WINAPI *)(PMONITORINIT, PHANDLE)>(
      reinterpret_cast<void (*)()>(GetProcAddress(m, "InitializePrintMonitor2")));
  HKEY root = nullptr;
  if (!init ||
      RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                      u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Pellor Standard Network Language Monitor",
                      0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root, nullptr) != ERROR_SUCCESS)
    return false;
  s.init.cbSize = sizeof(MONITORINIT);
  s.init.hSpooler = &s;
  s.init.hckRegistryRoot = reinterpret_cast<HANDLE>(root);
  s.init.pMonitorReg = &s.reg;
  s.init.bLocal = TRUE;
  s.table = init(&s.init, &s.monitor);
  if (!s.table) return false;
  std::u16string port = kPort;
  return s.table->pfnOpenPortEx(s.monitor, nullptr, port.data(), name.data(), &s.port, nullptr);
}

// One job: started, offered in 64 KiB buffers, ended.  The time of the
// WritePort calls in `writing`; false when a call failed.
bool printOnce(Setup &s, const std::string &job, double &writing) {
  std::u16string printer = kPrinter, doc = u"Card", type = u"RAW";
  DOC_INFO_1W di{doc.data(), nullptr, type.data()};
  const DWORD id = StartDocPrinterW(s.holder, 1, reinterpret_cast<LPBYTE>(&di));
  if (!id || !s.table->pfnStartDocPort(s.port, printer.data(), id, 1, reinterpret_cast<LPBYTE>(&di))) return false;
  const auto start = std::chrono::steady_clock::now();
  bool ok = true;
  for (size_t block = 0; ok && block < job.size(); block += 0x10000) {
    const size_t end = std::min(job.size(), block + 0x10000);
    for (size_t off = block; ok && off < end;) {
      DWORD n = 0;
      ok = s.table->pfnWritePort(s.port, reinterpret_cast<LPBYTE>(const_cast<char *>(job.data() + off)),
                                 DWORD(end - off), &n) != FALSE;
      off += n;
    }
  }
  writing = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ok = s.table->pfnEndDocPort(s.port) && ok;
  EndDocPrinter(s.holder);
  return ok && s.printer->error() == 0;
}

void BM_NetWritePortEmulatedPrinter(benchmark::State &state) {
  const std::string job = twoSidedJob();
  Setup s;
  if (!install(s)) {
    state.SkipWithError("the monitor could not be installed");
    return;
  }
  for (auto _ : state) {
    double writing = 0;
    if (!printOnce(s, job, writing)) {
      state.SkipWithError("the job failed");
      break;
    }
    state.SetIterationTime(writing);
    s.printer->takeCards();
  }
  s.table->pfnClosePort(s.port);
  s.table->pfnShutdown(s.monitor);
  ClosePrinter(s.holder);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(job.size()));
  state.counters["job_bytes"] = double(job.size());
  winsim::resetMachine();
  s.net.reset();
  s.printer.reset();
}
BENCHMARK(BM_NetWritePortEmulatedPrinter)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace
