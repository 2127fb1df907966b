#include "tools/carddemo/install_road.h"

#include <windows.h>
#include <winddiui.h>
#include <winspool.h>

#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "shared/job_settings.h"
#include "shared/proc_address.h"
#include "tools/carddemo/machine.h"

namespace carddemo {

namespace {

using Step0 = DWORD(WINAPI *)();
using Step1 = DWORD(WINAPI *)(LPCWSTR);
using Step2 = DWORD(WINAPI *)(LPCWSTR, LPCWSTR);
using Step3 = DWORD(WINAPI *)(LPCWSTR, LPCWSTR, LPCWSTR);
using AddDriver = DWORD(WINAPI *)(LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR,
                                  LPCWSTR);

LPCWSTR w(const std::u16string &s) { return reinterpret_cast<LPCWSTR>(s.c_str()); }
std::string u8(const std::u16string &s) { return winsim::toUtf8(s); }

std::u16string inSetup(const char16_t *name) { return std::u16string(kSetupFolder) + u"\\" + name; }
std::u16string inSystem(const char16_t *name) { return std::u16string(kSystemFolder) + u"\\" + name; }

bool fail(std::string &problem, const char *why) {
  problem = why;
  return false;
}

std::string resultText(DWORD result) { return result == 0 ? "0 (done)" : std::to_string(result) + " (error)"; }

// One step on the console: the call and what it answered.
void say(const std::string &call, const std::string &result) {
  std::printf("  %-76s %s\n", call.c_str(), result.c_str());
}

bool copyOnMachine(const std::u16string &from, const std::u16string &to, std::string &problem) {
  const bool ok = CopyFileW(w(from), w(to), FALSE);
  say("copy " + u8(from) + " -> " + u8(to), ok ? "done" : "error " + std::to_string(GetLastError()));
  if (!ok) problem = "cannot copy " + u8(from) + " to " + u8(to);
  return ok;
}

// The installer's options block: the package's own defaults (landscape
// not turned, both sides, coercivity 2, the tracks' usual formats, every
// head setting 5) and the demo's ribbon in the last slot.
std::vector<DWORD> optionsBlock(int ribbonId) {
  std::vector<DWORD> o(24, 0);
  o[1] = 1;                                    // duplex
  o[5] = 2;                                    // coercivity
  const DWORD tracks[6] = {0, 1, 1, 0, 2, 1};  // mode and density of tracks 1..3
  for (int i = 0; i < 6; ++i) o[size_t(6 + i)] = tracks[i];
  for (size_t head : {12, 13, 14, 15, 16, 17, 19, 20, 21}) o[head] = 5;
  o[23] = ribbonId > 0 ? DWORD(ribbonId) : 0;
  return o;
}

}  // namespace

const Road &usbRoad() {
  static const Road road = {
      Road::Connection::Usb,
      u"carddrv.inf",
      {{CARDDEMO_CARDREND_DLL, u"cardrend.dll"},
       {CARDDEMO_CARDCFG_DLL, u"cardcfg.dll"},
       {CARDDEMO_CARDRES_DLL, u"cardres.dll"},
       {CARDDEMO_NOTIFYSRV_DLL, u"notifysrv.dll"},
       {CARDDEMO_NOTIFYTRAY_EXE, u"notifytray.exe"},
       {CARDDEMO_USBMON_DLL, u"cardusbmon.dll"},
       {CARDDEMO_INSTLIB_DLL, u"instlib.dll"},
       {CARDDEMO_PURGELIB_DLL, u"purgelib.dll"},
       {CARDDEMO_VERSTAMP_DLL, u"verstamp.dll"},
       {CARDDEMO_DRVSETUP_EXE, u"drvsetup.exe"},
       {CARD_PACKAGE_DIR "/carddrv.inf", u"carddrv.inf"},
       {CARD_PACKAGE_DIR "/cardcc.BMP", u"cardcc.BMP"},
       {CARD_PACKAGE_DIR "/cardribbon.INI", u"cardribbon.INI"}},
      {u"cardrend.dll", u"cardcfg.dll", u"cardres.dll", u"notifysrv.dll", u"cardcc.BMP", u"cardribbon.INI"},
      u"carddrv.dat",
      kDriverName,
      u"cardrend.dll",
      u"cardcfg.dll",
      kMonitorName,
      {u"cardres.dll", u"notifysrv.dll", u"cardcc.BMP", u"cardribbon.INI"},
      kMonitorName,
      u"cardusbmon.dll",
      kPrinterName,
      kPortName};
  return road;
}

// The network driver carries the rendering and configuration modules under
// names of its own, so that both drivers can share the driver folder, and
// so does the message library's network set.
const Road &networkRoad() {
  static const Road road = {
      Road::Connection::Network,
      u"cardnet.inf",
      {{CARDDEMO_CARDREND_DLL, u"cardrendnet.dll"},
       {CARDDEMO_CARDCFG_DLL, u"cardcfgnet.dll"},
       {CARDDEMO_CARDRES_NET_DLL, u"cardresnet.dll"},
       {CARDDEMO_NOTIFYSRV_DLL, u"notifysrv.dll"},
       {CARDDEMO_NOTIFYTRAY_EXE, u"notifytray.exe"},
       {CARDDEMO_NETMON_DLL, u"netmon.dll"},
       {CARDDEMO_INSTLIB_DLL, u"instlib.dll"},
       {CARDDEMO_PURGELIB_DLL, u"purgelib.dll"},
       {CARDDEMO_VERSTAMP_DLL, u"verstamp.dll"},
       {CARDDEMO_DRVSETUP_EXE, u"drvsetup.exe"},
       {CARD_PACKAGE_DIR "/cardnet.inf", u"cardnet.inf"},
       {CARD_PACKAGE_DIR "/cardcc.BMP", u"cardcc.BMP"},
       {CARD_PACKAGE_DIR "/cardribbon.INI", u"cardribbon.INI"}},
      {u"cardrendnet.dll", u"cardcfgnet.dll", u"cardresnet.dll", u"notifysrv.dll", u"cardcc.BMP", u"cardribbon.INI"},
      u"cardnet.dat",
      kNetDriverName,
      u"cardrendnet.dll",
      u"cardcfgnet.dll",
      // The spooler stacks the network monitor on the Standard TCP/IP port
      // only when the driver names it: without it the job would go to the
      // printer's data port as raw bytes, not in the monitor's framed
      // messages.
      kNetMonitorName,
      {u"cardresnet.dll", u"notifysrv.dll", u"cardcc.BMP", u"cardribbon.INI"},
      kNetMonitorName,
      u"netmon.dll",
      kNetPrinterName,
      kNetPortName};
  return road;
}

void Installer::release() {
  if (module_) FreeLibrary(module_);
  module_ = nullptr;
}

template <typename F>
F Installer::exported(const char *name, std::string &problem) {
  F f = module_ ? card::procAddress<F>(module_, name) : nullptr;
  if (!f) problem = std::string("the installer library has no ") + name;
  return f;
}

bool Installer::layOut(std::string &problem) {
  for (const SetupFile &f : road_.setupFiles)
    if (!winsim::copyToDrive(f.host, inSetup(f.name))) {
      problem = std::string("cannot lay ") + f.host + " out in C:\\Setup";
      return false;
    }
  std::printf("The package laid out in C:\\Setup (%zu files); C:\\Setup\\instlib.dll loaded.\n",
              road_.setupFiles.size());
  module_ = LoadLibraryW(w(inSetup(u"instlib.dll")));
  if (!module_) problem = "cannot load C:\\Setup\\instlib.dll (error " + std::to_string(GetLastError()) + ")";
  return module_ != nullptr;
}

bool Installer::install(std::shared_ptr<winsim::UsbDevice> device, int ribbonId, std::string &problem) {
  if (road_.connection != Road::Connection::Usb) return fail(problem, "this installer's printer is not on USB");
  return installWith(
      ribbonId,
      [&](std::string &why) {
        if (!winsim::attachUsbDevice(road_.portName, std::move(device))) return fail(why, "cannot plug the printer in");
        say("the printer plugged into " + u8(road_.portName), "done");
        return true;
      },
      problem);
}

bool Installer::install(const cardemu::NetPorts &ports, int ribbonId, std::string &problem) {
  if (road_.connection != Road::Connection::Network)
    return fail(problem, "this installer's printer is not on the network");
  return installWith(
      ribbonId,
      [&](std::string &why) {
        using winsim::NetworkProtocol;
        const bool declared = winsim::declareNetworkHost(kNetPrinterAddress, kNetPrinterHostName,
                                                         {{NetworkProtocol::Tcp, 9100, ports.data},
                                                          {NetworkProtocol::Tcp, 9111, ports.status},
                                                          {NetworkProtocol::Udp, 161, ports.snmp},
                                                          {NetworkProtocol::Tcp, 80, ports.http}});
        say(std::string("the printer on the machine's network at ") + kNetPrinterAddress, declared ? "done" : "error");
        if (!declared) return fail(why, "cannot declare the printer's address on the machine's network");
        // The port is the system's Standard TCP/IP port, kept in that
        // monitor's registry key; the network monitor reads the printer's
        // address from there.
        const bool added = winsim::addStandardTcpIpPort(road_.portName, winsim::toUtf16(kNetPrinterAddress));
        say("Standard TCP/IP port " + u8(road_.portName) + " (" + kNetPrinterAddress + ":9100, its registry key)",
            added ? "done" : "error " + std::to_string(GetLastError()));
        if (!added) return fail(why, "cannot add the Standard TCP/IP port");
        return true;
      },
      problem);
}

bool Installer::copyDriverFiles(const std::u16string &driverDir, std::string &problem) {
  for (const char16_t *name : road_.driverFiles)
    if (!copyOnMachine(inSetup(name), driverDir + u"\\" + name, problem)) return false;
  return true;
}

bool Installer::installWith(int ribbonId, const std::function<bool(std::string &)> &connect, std::string &problem) {
  auto installPackage = exported<Step1>("ELTNInstallPackage", problem);
  auto driverPath = exported<DWORD(WINAPI *)(LPWSTR)>("ELTNGetDriverPath", problem);
  auto customFile = exported<DWORD(WINAPI *)(LPCWSTR, const DWORD *)>("ELTNCustomeFile", problem);
  auto addMonitor = exported<Step2>("ELTNAddMonitor", problem);
  auto addDriver = exported<AddDriver>("ELTNAddPrinterDriver", problem);
  auto addPrinter = exported<Step3>("ELTNAddPrinter", problem);
  auto copyFile = exported<DWORD(WINAPI *)(LPWSTR)>("ELTNCopyFile", problem);
  if (!installPackage || !driverPath || !customFile || !addMonitor || !addDriver || !addPrinter || !copyFile)
    return false;
  std::printf("Installing the package as its installer does:\n");
  const std::u16string inf = inSetup(road_.inf);
  // The driver store may refuse the package (it is unsigned); the installer
  // goes on either way.
  say("ELTNInstallPackage(" + u8(inf) + ")", resultText(installPackage(w(inf))) + ", whatever it is");

  WCHAR folder[130] = {};
  DWORD r = driverPath(folder);
  const std::u16string driverDir(reinterpret_cast<const char16_t *>(folder));
  say("ELTNGetDriverPath", r ? resultText(r) : u8(driverDir));
  if (r) return fail(problem, "the installer library names no driver folder");
  if (!copyDriverFiles(driverDir, problem)) return false;
  const std::u16string data = driverDir + u"\\" + road_.dataFile;
  const std::vector<DWORD> options = optionsBlock(ribbonId);
  r = customFile(w(data), options.data());
  say("ELTNCustomeFile(" + u8(data) + ", ribbon " + std::to_string(options[23]) + ")", resultText(r));
  if (r) return fail(problem, "the default settings file was not written");

  // The driver first: its files (the message library, the notification
  // server) are where the monitor looks for them when the spooler loads it.
  // No compiled help file is laid out: the driver goes without one.
  const char16_t *const *dep = road_.dependents;
  r = addDriver(w(road_.driverName), w(road_.driverFile), w(road_.dataFile), w(road_.configFile), u"",
                w(road_.driverMonitor), w(dep[0]), w(dep[1]), w(dep[2]), w(dep[3]));
  say("ELTNAddPrinterDriver(\"" + u8(road_.driverName) + "\", " + u8(road_.driverFile) + ", " + u8(road_.dataFile) +
          ", " + u8(road_.configFile) + ", ...)",
      resultText(r));
  if (r) return fail(problem, "the driver was not added");

  if (!copyOnMachine(inSetup(road_.monitorFile), inSystem(road_.monitorFile), problem)) return false;
  r = addMonitor(w(road_.monitorName), w(road_.monitorFile));
  say("ELTNAddMonitor(\"" + u8(road_.monitorName) + "\", " + u8(road_.monitorFile) + ")", resultText(r));
  if (r) return fail(problem, "the language monitor was not added");
  if (!copyOnMachine(inSetup(kTrayProgram), inSystem(kTrayProgram), problem)) return false;

  if (!connect(problem)) return false;
  r = addPrinter(w(road_.printerName), w(road_.portName), w(road_.driverName));
  say("ELTNAddPrinter(\"" + u8(road_.printerName) + "\", " + u8(road_.portName) + ")", resultText(r));
  if (r) return fail(problem, "the printer was not added");

  WCHAR setup[MAX_PATH] = {};
  std::memcpy(setup, kSetupFolder, sizeof kSetupFolder);
  say("ELTNCopyFile(C:\\Setup)", std::to_string(copyFile(setup)) + " (purgelib.dll kept for a later uninstall)");
  return true;
}

namespace {

// The installer's own files go with the installer: the setup folder, once
// the library is let go.
bool deleteSetupFolder() {
  WIN32_FIND_DATAW found;
  const std::u16string pattern = inSetup(u"*");
  HANDLE find = FindFirstFileW(w(pattern), &found);
  bool ok = true;
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::u16string name(reinterpret_cast<const char16_t *>(found.cFileName));
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ok = DeleteFileW(w(inSetup(name.c_str()))) && ok;
    } while (FindNextFileW(find, &found));
    FindClose(find);
  }
  return RemoveDirectoryW(w(std::u16string(kSetupFolder))) && ok;
}

// The installer asks the user to close the package's programs first: the
// tray program, when it runs, is left with "Exit" on its icon's menu.
void quitTrayProgram() {
  // A tray program that has just started may replace the one whose icon was
  // clicked, or have no icon yet: the user looks again, a few times.
  constexpr int kLooks = 5;
  bool ended = !winsim::waitForProcess(kTrayProgram, 0);
  if (ended) return;
  for (int look = 0; look < kLooks && !ended; ++look) {
    winsim::MenuScript exitChosen;
    exitChosen.item = u"Exit";
    exitChosen.times = 1;
    winsim::scriptMenu(exitChosen);
    if (winsim::clickTrayIcon(kTrayTip, winsim::TrayClick::RightClick))
      ended = winsim::waitForProcessEnd(kTrayProgram, 10000);
    else
      Sleep(1000);
    ended = ended || !winsim::waitForProcess(kTrayProgram, 0);
  }
  say("the user quits " + u8(kTrayProgram) + " (\"Exit\" on its icon's menu)", ended ? "done" : "still running");
}

}  // namespace

bool Installer::uninstall(std::string &problem) {
  auto deleteAll = exported<DWORD(WINAPI *)(DWORD)>("ELTNDeleteAllEthernetPrinters", problem);
  auto uninstallPackage = exported<Step1>("ELTNUnInstallPackage", problem);
  auto runOnce = exported<Step0>("ELTNSetUpRunOnceEntry", problem);
  if (!deleteAll || !uninstallPackage || !runOnce) return false;
  std::printf("\nUninstalling the package as its installer does:\n");
  quitTrayProgram();
  say("ELTNDeleteAllEthernetPrinters(0)", resultText(deleteAll(0)));
  const std::u16string inf = inSetup(road_.inf);
  say("ELTNUnInstallPackage(" + u8(inf) + ")", resultText(uninstallPackage(w(inf))));
  say("ELTNSetUpRunOnceEntry()", resultText(runOnce()));
  if (road_.connection == Road::Connection::Usb) {
    winsim::detachUsbDevice(road_.portName);
    say("the printer unplugged from " + u8(road_.portName), "done");
  }
  release();
  const bool deleted = deleteSetupFolder();
  say("C:\\Setup deleted (the installer's own files)", deleted ? "done" : "error " + std::to_string(GetLastError()));
  if (!deleted) return fail(problem, "cannot delete C:\\Setup");

  // The clean-up runs when the user next logs on: its library removes what
  // is left and starts a batch that deletes the library once it is let go.
  const std::vector<winsim::LogOnCommand> ran = winsim::logOn(120000);
  for (const winsim::LogOnCommand &c : ran)
    say("at log-on: " + u8(c.commandLine), !c.started ? "not started (error " + std::to_string(c.error) + ")"
                                           : c.exitCode == STILL_ACTIVE ? "still running"
                                                                        : "exit code " + std::to_string(c.exitCode));
  const bool batchEnded = winsim::waitForProcessEnd(u"cmd.exe", 120000);
  say("the self-deleting batch", batchEnded ? "ended" : "still running");
  if (!batchEnded) return fail(problem, "the clean-up's batch did not end");
  return true;
}

namespace {

// The printer's default settings (PRINTER_INFO_2's DEVMODE), empty when it
// has none.
std::vector<BYTE> defaultSettings(HANDLE printer) {
  DWORD needed = 0;
  GetPrinterW(printer, 2, nullptr, 0, &needed);
  std::vector<BYTE> info(needed);
  if (!needed || !GetPrinterW(printer, 2, info.data(), needed, &needed)) return {};
  const DEVMODEW *dm = reinterpret_cast<PRINTER_INFO_2W *>(info.data())->pDevMode;
  if (!dm) return {};
  const BYTE *bytes = reinterpret_cast<const BYTE *>(dm);
  return std::vector<BYTE>(bytes, bytes + dm->dmSize + dm->dmDriverExtra);
}

// The version text at its place in the driver's part of the settings.
std::u16string versionIn(const std::vector<BYTE> &settings) {
  constexpr size_t kStampAt = card::kStandardPartSize + 3862, kStampChars = 16;
  if (settings.size() < kStampAt + kStampChars) return {};
  const char *text = reinterpret_cast<const char *>(settings.data()) + kStampAt;
  return std::u16string(text, text + strnlen(text, kStampChars));
}

std::string shown(const std::u16string &version) {
  return version.empty() ? std::string("no version there") : "\"" + u8(version) + "\"";
}

}  // namespace

bool stampVersion(std::u16string &stamp, std::string &problem) {
  std::printf("\nAfter an update the installer stamps the version:\n");
  PRINTER_DEFAULTSW access = {nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(w(kPrinterName)), &printer, &access))
    return fail(problem, "cannot open the printer");
  say("the default settings' version (private offset 3862) before", shown(versionIn(defaultSettings(printer))));
  ClosePrinter(printer);

  if (!copyOnMachine(inSetup(u"verstamp.dll"), inSystem(u"verstamp.dll"), problem)) return false;
  std::u16string program = inSystem(u"rundll32.exe");
  std::u16string commandLine = u"rundll32 verstamp.dll,UpdateVersionInfo";
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(w(program), reinterpret_cast<LPWSTR>(commandLine.data()), nullptr, nullptr, FALSE, 0, nullptr,
                      w(std::u16string(kSystemFolder)), &si, &pi)) {
    problem = "cannot start rundll32 (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  say(u8(commandLine), "exit code " + std::to_string(code));
  // The library deletes its own file once rundll32 has let it go.
  winsim::waitForProcessEnd(u"cmd.exe", 60000);

  if (!OpenPrinterW(const_cast<LPWSTR>(w(kPrinterName)), &printer, nullptr))
    return fail(problem, "cannot open the printer");
  stamp = versionIn(defaultSettings(printer));
  ClosePrinter(printer);
  say("the default settings' version (private offset 3862) after", shown(stamp));
  return true;
}

}  // namespace carddemo
