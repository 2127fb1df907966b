// The service control manager: the errors its calls document, a kernel-mode
// driver's service from creation to deletion with its device, a service
// deleted while handles to it are open, and the print spooler stopped and
// started again as an installer does around its work.
#include <gtest/gtest.h>

#include <windows.h>
#include <prnasnot.h>
#include <winsvc.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <winsim/testing.h>

#include "../fixtures.h"
#include "../spoolss/monitor_support.h"

namespace winsim_test {
namespace {

constexpr char16_t kDriver[] = u"CardUsb";
constexpr char16_t kDriverImage[] = u"System32\\drivers\\cardusb.sys";
constexpr char16_t kDriverDevice[] = u"\\\\.\\CardUsb";
constexpr char16_t kServicesKey[] = u"SYSTEM\\CurrentControlSet\\Services\\";

class Services : public Winsim {
 protected:
  void SetUp() override {
    Winsim::SetUp();
    scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(scm, nullptr);
  }
  void TearDown() override { CloseServiceHandle(scm); }

  SC_HANDLE createDriver(DWORD access = SERVICE_ALL_ACCESS) {
    return CreateServiceW(scm, kDriver, u"Card USB Driver", access, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                          SERVICE_ERROR_NORMAL, kDriverImage, nullptr, nullptr, nullptr, nullptr, nullptr);
  }
  static void placeDriverFile() {
    std::filesystem::path host = winsim::hostPath(u"C:\\Windows\\System32\\drivers\\cardusb.sys");
    std::filesystem::create_directories(host.parent_path());
    std::ofstream(host) << "driver";
  }
  static SERVICE_STATUS status(SC_HANDLE service) {
    SERVICE_STATUS st{};
    EXPECT_TRUE(QueryServiceStatus(service, &st));
    return st;
  }
  static bool keyExists(const std::u16string &service) {
    HKEY k;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kServicesKey + service).c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
      return false;
    RegCloseKey(k);
    return true;
  }
  static DWORD dwordValue(const std::u16string &service, const char16_t *name) {
    DWORD v = 0xFFFFFFFF, size = sizeof v;
    RegGetValueW(HKEY_LOCAL_MACHINE, (kServicesKey + service).c_str(), name, RRF_RT_REG_DWORD, nullptr, &v, &size);
    return v;
  }
  static HANDLE openDevice() {
    return CreateFileW(kDriverDevice, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  }

  SC_HANDLE scm = nullptr;
};

#define EXPECT_FAILS_WITH(call, error)       \
  do {                                       \
    SetLastError(0);                         \
    EXPECT_FALSE(call);                      \
    EXPECT_EQ(GetLastError(), DWORD(error)); \
  } while (0)

TEST_F(Services, ManagerAndHandleErrorsAreTheDocumentedOnes) {
  // Only the active database exists, and only this machine answers.
  EXPECT_FAILS_WITH(OpenSCManagerW(nullptr, u"ServicesFailed", SC_MANAGER_CONNECT), ERROR_DATABASE_DOES_NOT_EXIST);
  EXPECT_FAILS_WITH(OpenSCManagerW(u"\\\\PRINTSRV", nullptr, SC_MANAGER_CONNECT), RPC_S_SERVER_UNAVAILABLE);
  SC_HANDLE byName = OpenSCManagerW(nullptr, SERVICES_ACTIVE_DATABASEW, SC_MANAGER_CONNECT);
  ASSERT_NE(byName, nullptr);

  EXPECT_FAILS_WITH(OpenServiceW(scm, u"NoSuchService", SERVICE_QUERY_STATUS), ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_FAILS_WITH(OpenServiceW(scm, nullptr, SERVICE_QUERY_STATUS), ERROR_INVALID_NAME);
  // Creating needs SC_MANAGER_CREATE_SERVICE; a name with a backslash or no
  // binary is refused.
  EXPECT_FAILS_WITH(
      CreateServiceW(byName, kDriver, nullptr, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                     SERVICE_ERROR_NORMAL, kDriverImage, nullptr, nullptr, nullptr, nullptr, nullptr),
      ERROR_ACCESS_DENIED);
  EXPECT_FAILS_WITH(
      CreateServiceW(scm, u"Card\\Usb", nullptr, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                     SERVICE_ERROR_NORMAL, kDriverImage, nullptr, nullptr, nullptr, nullptr, nullptr),
      ERROR_INVALID_NAME);
  EXPECT_FAILS_WITH(
      CreateServiceW(scm, kDriver, nullptr, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                     SERVICE_ERROR_NORMAL, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
      ERROR_INVALID_PARAMETER);
  // A program cannot start with the system, only a driver can.
  EXPECT_FAILS_WITH(
      CreateServiceW(scm, u"CardTool", nullptr, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_BOOT_START,
                     SERVICE_ERROR_NORMAL, u"C:\\tool.exe", nullptr, nullptr, nullptr, nullptr, nullptr),
      ERROR_INVALID_PARAMETER);

  SC_HANDLE driver = createDriver(SERVICE_START);
  ASSERT_NE(driver, nullptr);
  EXPECT_FAILS_WITH(createDriver(), ERROR_SERVICE_EXISTS);
  // The display name may not be another service's name or display name.
  EXPECT_FAILS_WITH(
      CreateServiceW(scm, u"CardUsb2", u"cardusb", SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                     SERVICE_ERROR_NORMAL, kDriverImage, nullptr, nullptr, nullptr, nullptr, nullptr),
      ERROR_DUPLICATE_SERVICE_NAME);

  // Each call needs its right on the handle.
  SERVICE_STATUS st{};
  EXPECT_FAILS_WITH(QueryServiceStatus(driver, &st), ERROR_ACCESS_DENIED);
  EXPECT_FAILS_WITH(ControlService(driver, SERVICE_CONTROL_STOP, &st), ERROR_ACCESS_DENIED);
  EXPECT_FAILS_WITH(DeleteService(driver), ERROR_ACCESS_DENIED);
  SC_HANDLE query = OpenServiceW(scm, u"cardusb", SERVICE_QUERY_STATUS);
  ASSERT_NE(query, nullptr);
  EXPECT_FAILS_WITH(StartServiceW(query, 0, nullptr), ERROR_ACCESS_DENIED);
  // GENERIC_READ maps to the query rights.
  SC_HANDLE reader = OpenServiceW(scm, kDriver, GENERIC_READ);
  ASSERT_NE(reader, nullptr);
  EXPECT_TRUE(QueryServiceStatus(reader, &st));
  EXPECT_FAILS_WITH(StartServiceW(reader, 0, nullptr), ERROR_ACCESS_DENIED);

  // Undefined control codes are refused before anything else is looked at.
  EXPECT_FAILS_WITH(ControlService(reader, 0x7F, &st), ERROR_INVALID_PARAMETER);

  // A manager handle is no service handle, nor the reverse; SC_HANDLEs are
  // no kernel objects; a closed handle is no handle.
  EXPECT_FAILS_WITH(QueryServiceStatus(scm, &st), ERROR_INVALID_HANDLE);
  EXPECT_FAILS_WITH(OpenServiceW(driver, kDriver, SERVICE_QUERY_STATUS), ERROR_INVALID_HANDLE);
  EXPECT_FAILS_WITH(CloseHandle(reinterpret_cast<HANDLE>(reader)), ERROR_INVALID_HANDLE);
  EXPECT_TRUE(CloseServiceHandle(reader));
  EXPECT_FAILS_WITH(CloseServiceHandle(reader), ERROR_INVALID_HANDLE);
  EXPECT_FAILS_WITH(QueryServiceStatus(reader, &st), ERROR_INVALID_HANDLE);

  EXPECT_TRUE(CloseServiceHandle(query));
  EXPECT_TRUE(CloseServiceHandle(driver));
  EXPECT_TRUE(CloseServiceHandle(byName));
}

TEST_F(Services, KernelDriverRunsWithItsDeviceUntilStopped) {
  SC_HANDLE driver = createDriver();
  ASSERT_NE(driver, nullptr);
  // The database entry as Windows keeps it in the registry.
  EXPECT_EQ(dwordValue(kDriver, u"Type"), DWORD(SERVICE_KERNEL_DRIVER));
  EXPECT_EQ(dwordValue(kDriver, u"Start"), DWORD(SERVICE_DEMAND_START));
  EXPECT_EQ(dwordValue(kDriver, u"ErrorControl"), DWORD(SERVICE_ERROR_NORMAL));
  HKEY key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, (std::u16string(kServicesKey) + kDriver).c_str(), 0, KEY_READ, &key),
            ERROR_SUCCESS);
  WCHAR text[MAX_PATH] = {};
  DWORD type = 0, size = sizeof text - sizeof(WCHAR);
  EXPECT_EQ(RegQueryValueExW(key, u"ImagePath", nullptr, &type, reinterpret_cast<BYTE *>(text), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, DWORD(REG_EXPAND_SZ));
  EXPECT_EQ(std::u16string(text), kDriverImage);
  size = sizeof text - sizeof(WCHAR);
  EXPECT_EQ(RegQueryValueExW(key, u"DisplayName", nullptr, &type, reinterpret_cast<BYTE *>(text), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(text), u"Card USB Driver");
  RegCloseKey(key);

  // Never started: stopped, with the exit code that says so.
  SERVICE_STATUS st = status(driver);
  EXPECT_EQ(st.dwServiceType, DWORD(SERVICE_KERNEL_DRIVER));
  EXPECT_EQ(st.dwCurrentState, DWORD(SERVICE_STOPPED));
  EXPECT_EQ(st.dwWin32ExitCode, DWORD(ERROR_SERVICE_NEVER_STARTED));
  EXPECT_EQ(st.dwControlsAccepted, 0u);
  EXPECT_EQ(openDevice(), INVALID_HANDLE_VALUE);

  // Its file is not there yet (nor its folder).
  EXPECT_FAILS_WITH(StartServiceW(driver, 0, nullptr), ERROR_PATH_NOT_FOUND);
  placeDriverFile();
  ASSERT_TRUE(StartServiceW(driver, 0, nullptr));
  st = status(driver);
  EXPECT_EQ(st.dwCurrentState, DWORD(SERVICE_RUNNING));
  EXPECT_EQ(st.dwControlsAccepted, DWORD(SERVICE_ACCEPT_STOP));
  EXPECT_EQ(st.dwWin32ExitCode, DWORD(NO_ERROR));
  EXPECT_FAILS_WITH(StartServiceW(driver, 0, nullptr), ERROR_SERVICE_ALREADY_RUNNING);

  // The driver's device opens while it runs; it reads and writes nothing.
  HANDLE device = openDevice();
  ASSERT_NE(device, INVALID_HANDLE_VALUE);
  char byte = 0;
  DWORD done = 0;
  EXPECT_FAILS_WITH(ReadFile(device, &byte, 1, &done, nullptr), ERROR_INVALID_FUNCTION);
  WCHAR target[64] = {};
  EXPECT_GT(QueryDosDeviceW(kDriver, target, 64), 0u);
  EXPECT_EQ(std::u16string(target), u"\\Device\\CardUsb");

  // A driver takes no pause; the status comes back with the refusal.
  st = SERVICE_STATUS{};
  EXPECT_FAILS_WITH(ControlService(driver, SERVICE_CONTROL_PAUSE, &st), ERROR_INVALID_SERVICE_CONTROL);
  EXPECT_EQ(st.dwCurrentState, DWORD(SERVICE_RUNNING));
  st = SERVICE_STATUS{};
  ASSERT_TRUE(ControlService(driver, SERVICE_CONTROL_INTERROGATE, &st));
  EXPECT_EQ(st.dwCurrentState, DWORD(SERVICE_RUNNING));

  ASSERT_TRUE(ControlService(driver, SERVICE_CONTROL_STOP, &st));
  EXPECT_EQ(st.dwCurrentState, DWORD(SERVICE_STOPPED));
  EXPECT_EQ(status(driver).dwCurrentState, DWORD(SERVICE_STOPPED));
  EXPECT_EQ(status(driver).dwWin32ExitCode, DWORD(NO_ERROR));
  // Stopped: its device opens no more; the handle opened before still closes.
  SetLastError(0);
  EXPECT_EQ(openDevice(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(CloseHandle(device));
  st = SERVICE_STATUS{};
  EXPECT_FAILS_WITH(ControlService(driver, SERVICE_CONTROL_STOP, &st), ERROR_SERVICE_NOT_ACTIVE);
  EXPECT_EQ(st.dwCurrentState, DWORD(SERVICE_STOPPED));

  // Started again, it serves its device again.
  ASSERT_TRUE(StartServiceW(driver, 0, nullptr));
  device = openDevice();
  EXPECT_NE(device, INVALID_HANDLE_VALUE);
  CloseHandle(device);
  EXPECT_TRUE(CloseServiceHandle(driver));
}

TEST_F(Services, DeletedServiceGoesWithItsLastHandleOnceStopped) {
  placeDriverFile();
  SC_HANDLE first = createDriver();
  ASSERT_NE(first, nullptr);
  SC_HANDLE second = OpenServiceW(scm, kDriver, DELETE | SERVICE_START | SERVICE_STOP);
  ASSERT_NE(second, nullptr);
  ASSERT_TRUE(StartServiceW(first, 0, nullptr));

  ASSERT_TRUE(DeleteService(second));
  EXPECT_EQ(dwordValue(kDriver, u"DeleteFlag"), 1u);
  EXPECT_FAILS_WITH(DeleteService(first), ERROR_SERVICE_MARKED_FOR_DELETE);
  EXPECT_FAILS_WITH(createDriver(), ERROR_SERVICE_MARKED_FOR_DELETE);

  // Every handle closed, but still running: it stays, and still opens so
  // that it can be stopped.
  EXPECT_TRUE(CloseServiceHandle(first));
  EXPECT_TRUE(CloseServiceHandle(second));
  EXPECT_TRUE(keyExists(kDriver));
  SC_HANDLE again = OpenServiceW(scm, kDriver, SERVICE_ALL_ACCESS);
  ASSERT_NE(again, nullptr);
  SERVICE_STATUS st{};
  ASSERT_TRUE(ControlService(again, SERVICE_CONTROL_STOP, &st));
  EXPECT_FAILS_WITH(StartServiceW(again, 0, nullptr), ERROR_SERVICE_MARKED_FOR_DELETE);
  // Stopped and its last handle closed: gone from the database and the
  // registry, and the name is free again.
  EXPECT_TRUE(keyExists(kDriver));
  EXPECT_TRUE(CloseServiceHandle(again));
  EXPECT_FALSE(keyExists(kDriver));
  EXPECT_FAILS_WITH(OpenServiceW(scm, kDriver, SERVICE_QUERY_STATUS), ERROR_SERVICE_DOES_NOT_EXIST);
  SC_HANDLE fresh = createDriver();
  EXPECT_NE(fresh, nullptr);
  CloseServiceHandle(fresh);
}

TEST_F(Services, SpoolerIsARunningAutoStartServiceOfItsOwnProcess) {
  SC_HANDLE spooler = OpenServiceW(scm, u"Spooler", SERVICE_ALL_ACCESS);
  ASSERT_NE(spooler, nullptr);
  SERVICE_STATUS st = status(spooler);
  EXPECT_EQ(st.dwServiceType, DWORD(SERVICE_WIN32_OWN_PROCESS));
  EXPECT_EQ(st.dwCurrentState, DWORD(SERVICE_RUNNING));
  EXPECT_TRUE(st.dwControlsAccepted & SERVICE_ACCEPT_STOP);
  EXPECT_FALSE(st.dwControlsAccepted & SERVICE_ACCEPT_PAUSE_CONTINUE);
  EXPECT_EQ(dwordValue(u"Spooler", u"Type"), DWORD(SERVICE_WIN32_OWN_PROCESS));
  EXPECT_EQ(dwordValue(u"Spooler", u"Start"), DWORD(SERVICE_AUTO_START));
  EXPECT_FAILS_WITH(StartServiceW(spooler, 0, nullptr), ERROR_SERVICE_ALREADY_RUNNING);
  EXPECT_FAILS_WITH(ControlService(spooler, SERVICE_CONTROL_PAUSE, &st), ERROR_INVALID_SERVICE_CONTROL);
  // A machine reset finds it running, even when it was stopped.
  ASSERT_TRUE(ControlService(spooler, SERVICE_CONTROL_STOP, &st));
  winsim::resetMachine();
  SC_HANDLE after = OpenServiceW(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT), u"Spooler", GENERIC_READ);
  ASSERT_NE(after, nullptr);
  EXPECT_EQ(status(after).dwCurrentState, DWORD(SERVICE_RUNNING));
  EXPECT_FAILS_WITH(QueryServiceStatus(spooler, &st), ERROR_INVALID_HANDLE);
}

}  // namespace
}  // namespace winsim_test

namespace monitor_test {
namespace {

const char16_t kMon2[] = u"Test Port Monitor 2";

class SpoolerService : public Monitors {
 protected:
  void SetUp() override {
    Monitors::SetUp();
    ASSERT_TRUE(winsim::installMonitor(kMon2, WINSIM_TESTPM2));
    // The test keeps the monitor's DLL loaded, so that what it recorded
    // outlives the spooler's unloading it.
    pin = LoadLibraryW(u"C:\\Windows\\system32\\winsim_testpm2.dll");
    ASSERT_NE(pin, nullptr);
    scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    spooler = OpenServiceW(scm, u"Spooler", SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS);
    ASSERT_NE(spooler, nullptr);
  }
  void TearDown() override {
    CloseServiceHandle(spooler);
    CloseServiceHandle(scm);
    Monitors::TearDown();
    FreeLibrary(pin);
  }

  std::string pm2Calls() {
    using Calls = DWORD(WINAPI *)(char *, DWORD);
    auto fn = reinterpret_cast<Calls>(reinterpret_cast<void *>(GetProcAddress(pin, "TestPm2Calls")));
    std::string out(fn(nullptr, 0) + 1, '\0');
    out.resize(fn(out.data(), DWORD(out.size())));
    return out;
  }
  static size_t count(const std::string &text, const std::string &line) {
    size_t n = 0;
    for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++n;
    return n;
  }

  HMODULE pin = nullptr;
  SC_HANDLE scm = nullptr, spooler = nullptr;
};

TEST_F(SpoolerService, StoppedSpoolerAnswersNoClientAndResumesItsQueueWhenStarted) {
  addPrinter(u"Card", u"USB001", kMon2);
  HANDLE h = open(u"Card");
  print(h, "first");
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"Card"));
  ASSERT_TRUE(eventually([&] { return device->received() == "PM2:first"; }));
  // A job queued behind a printer that works offline waits over the stop.
  ASSERT_TRUE(winsim::setPrinterWorkOffline(u"Card", true));
  print(h, "second");

  SERVICE_STATUS st{};
  ASSERT_TRUE(ControlService(spooler, SERVICE_CONTROL_STOP, &st));
  EXPECT_EQ(st.dwCurrentState, DWORD(SERVICE_STOPPED));
  EXPECT_EQ(st.dwControlsAccepted, 0u);
  // The monitor's port was closed, then the monitor shut down.
  std::string calls = pm2Calls();
  ASSERT_NE(calls.find("Shutdown\n"), std::string::npos) << calls;
  EXPECT_LT(calls.rfind("ClosePort"), calls.rfind("Shutdown"));

  // Every client call fails as an RPC call to a server that is not there.
  HANDLE other = nullptr;
  std::u16string name = u"Card";
  EXPECT_FAILS_WITH(OpenPrinterW(name.data(), &other, nullptr), RPC_S_SERVER_UNAVAILABLE);
  DWORD needed = 0, returned = 0;
  EXPECT_FAILS_WITH(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned),
                    RPC_S_SERVER_UNAVAILABLE);
  DRIVER_INFO_3W di{};
  EXPECT_FAILS_WITH(AddPrinterDriverExW(nullptr, 3, reinterpret_cast<LPBYTE>(&di), APD_COPY_NEW_FILES),
                    RPC_S_SERVER_UNAVAILABLE);
  PRINTER_INFO_2W pi{};
  EXPECT_FAILS_WITH(AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&pi)), RPC_S_SERVER_UNAVAILABLE);
  EXPECT_FAILS_WITH(GetPrinterW(h, 2, nullptr, 0, &needed), RPC_S_SERVER_UNAVAILABLE);
  std::string reply;
  EXPECT_EQ(getData(h, "Status", reply), DWORD(RPC_S_SERVER_UNAVAILABLE));
  HANDLE notify = nullptr;
  EXPECT_EQ(RegisterForPrintAsyncNotifications(u"Card", const_cast<GUID *>(&NOTIFICATION_RELEASE), kPerUser,
                                               kUniDirectional, nullptr, &notify),
            HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE));
  EXPECT_FAILS_WITH(ControlService(spooler, SERVICE_CONTROL_STOP, &st), ERROR_SERVICE_NOT_ACTIVE);

  // Started again: the installed monitor is loaded (and initialised) again,
  // the waiting job prints once the printer is back, and so does a new one.
  ASSERT_TRUE(StartServiceW(spooler, 0, nullptr));
  SERVICE_STATUS running{};
  ASSERT_TRUE(QueryServiceStatus(spooler, &running));
  EXPECT_EQ(running.dwCurrentState, DWORD(SERVICE_RUNNING));
  EXPECT_EQ(count(pm2Calls(), "InitializePrintMonitor2"), 2u);
  EXPECT_EQ(device->received(), "PM2:first");
  ASSERT_TRUE(winsim::setPrinterWorkOffline(u"Card", false));
  ASSERT_TRUE(eventually([&] { return device->received() == "PM2:firstPM2:second"; })) << device->received();
  print(h, "third");
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"Card"));
  ASSERT_TRUE(eventually([&] { return device->received() == "PM2:firstPM2:secondPM2:third"; }));
  ClosePrinter(h);
}

TEST_F(SpoolerService, JobOnThePortWhenTheSpoolerStopsIsSentAgainFromItsStart) {
  auto gated = std::make_shared<GatedDevice>();
  ASSERT_TRUE(winsim::attachUsbDevice(u"USB001", gated));
  addPrinter(u"Card", u"USB001", nullptr);
  HANDLE h = open(u"Card");
  DWORD id = print(h, "abcdefghij");
  ASSERT_TRUE(gated->waitUntilInside());
  // The stop marks the job on the port to be sent again and waits for the
  // port call under way; the job then leaves the port.
  std::thread stopper([&] {
    SERVICE_STATUS st{};
    EXPECT_TRUE(ControlService(spooler, SERVICE_CONTROL_STOP, &st));
  });
  EXPECT_TRUE(eventually([&] { return (jobStatus(h, id) & JOB_STATUS_RESTART) != 0; }));
  gated->openGate();
  stopper.join();
  EXPECT_EQ(gated->received(), "abcdefghij");
  ASSERT_TRUE(StartServiceW(spooler, 0, nullptr));
  ASSERT_TRUE(eventually([&] { return gated->received() == "abcdefghijabcdefghij"; })) << gated->received();
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"Card"));
  // One job, printed once it was sent whole, no longer restarting.
  auto jobs = winsim::printJobs(u"Card");
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_TRUE(jobs[0].despooled);
  EXPECT_FALSE(jobs[0].aborted);
  EXPECT_FALSE(jobs[0].status & JOB_STATUS_RESTART);
  ClosePrinter(h);
}

TEST_F(SpoolerService, JobWaitingForARefusingPrinterWaitsOverTheStop) {
  addPrinter(u"Card", u"USB001", nullptr);
  HANDLE h = open(u"Card");
  // Unplugged: the port monitor refuses the start and the job waits in error.
  winsim::detachUsbDevice(u"USB001");
  DWORD id = print(h, "later");
  ASSERT_TRUE(eventually([&] { return jobStatus(h, id) & JOB_STATUS_ERROR; }));
  // The stop does not wait for the next try; the job is not given up.
  SERVICE_STATUS st{};
  EXPECT_LT(realMs([&] { ASSERT_TRUE(ControlService(spooler, SERVICE_CONTROL_STOP, &st)); }), 5000.0);
  ASSERT_TRUE(winsim::attachUsbDevice(u"USB001", device));
  ASSERT_TRUE(StartServiceW(spooler, 0, nullptr));
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"Card"));
  EXPECT_EQ(device->received(), "later");
  auto jobs = winsim::printJobs(u"Card");
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_FALSE(jobs[0].aborted);
  ClosePrinter(h);
}

// A query whose port is still being opened when the spooler stops keeps the
// language monitor loaded until it is done with the port; the port is not
// kept, and the monitor goes once the query lets go of it.
TEST_F(SpoolerService, AMonitorStaysLoadedWhileAPortOpenedThroughItIsInUse) {
  installHeldOpeningMonitor();
  addPrinter(u"Card", u"USB001", kLm);
  HANDLE h = open(u"Card");
  HANDLE go = CreateEventW(nullptr, TRUE, FALSE, u"TestLmOpen");
  HANDLE query = startStatusQuery(h);
  ASSERT_NE(query, nullptr);
  ASSERT_TRUE(eventually([] { return lmCalls().find("OpenPortEx USB001") != std::string::npos; }));
  SERVICE_STATUS st{};
  ASSERT_TRUE(ControlService(spooler, SERVICE_CONTROL_STOP, &st));
  // The opening is still under way inside the monitor.
  EXPECT_NE(GetModuleHandleW(u"winsim_testlm.dll"), nullptr);
  SetEvent(go);
  CloseHandle(go);
  EXPECT_EQ(threadResult(query), DWORD(ERROR_SUCCESS));
  EXPECT_EQ(GetModuleHandleW(u"winsim_testlm.dll"), nullptr);

  // Started again, the monitor is loaded anew and prints.
  ASSERT_TRUE(StartServiceW(spooler, 0, nullptr));
  print(h, "job");
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"Card"));
  EXPECT_EQ(device->received(), "LM:job");
  ClosePrinter(h);
}

}  // namespace
}  // namespace monitor_test
