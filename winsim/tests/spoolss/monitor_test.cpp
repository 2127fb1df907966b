// Language monitors stacked on the USB port monitor, and each printer's
// despooling thread: order, shared ports, stalls and refused starts.
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

// ------------------------------------------------------------ language monitors

TEST_F(Monitors, AddMonitorLoadsTheDllAndRefusesBadOnes) {
  std::u16string name = kLm, dll = u"winsim_testlm.dll", env = u"Windows x64", wrongEnv = u"Windows 4.0";
  MONITOR_INFO_2W mi{name.data(), env.data(), dll.data()};
  EXPECT_FALSE(AddMonitorW(nullptr, 1, reinterpret_cast<LPBYTE>(&mi)));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_LEVEL));
  // Not in the system folder yet: not installed, nothing left in the registry.
  EXPECT_FALSE(AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&mi)));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(winsim::exportRegistry(u"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\" + name)
                .find("Driver"),
            std::string::npos);
  // A DLL without the monitor entry point.
  std::filesystem::copy_file(WINSIM_TESTMOD, winsim::hostPath(u"C:\\Windows\\system32\\winsim_testmod.dll"));
  std::u16string mod = u"winsim_testmod.dll";
  MONITOR_INFO_2W notMonitor{name.data(), nullptr, mod.data()};
  EXPECT_FALSE(AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&notMonitor)));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PROC_NOT_FOUND));

  ASSERT_TRUE(winsim::installMonitor(kLm, WINSIM_TESTLM));
  EXPECT_NE(lmCalls().find("InitializeMonitorEx SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Test Language "
                           "Monitor\n"),
            std::string::npos);
  EXPECT_FALSE(AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&mi)));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PRINT_MONITOR_ALREADY_INSTALLED));
  MONITOR_INFO_2W other{name.data(), wrongEnv.data(), dll.data()};
  EXPECT_FALSE(AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&other)));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_ENVIRONMENT));

  // In use by an open port: it stays; once unused it goes.
  addPrinter(u"Card", u"USB001", kLm);
  HANDLE h = open(u"Card");
  std::string reply;
  EXPECT_EQ(getData(h, "Status", reply), DWORD(ERROR_SUCCESS));
  EXPECT_FALSE(DeleteMonitorW(nullptr, nullptr, name.data()));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PRINT_MONITOR_IN_USE));
  // The printer deleted, the spooler lets go of its port: the monitor goes.
  EXPECT_TRUE(DeletePrinter(h));
  ClosePrinter(h);
  EXPECT_TRUE(DeleteMonitorW(nullptr, nullptr, name.data()));
}

TEST_F(Monitors, JobsPassThroughTheLanguageMonitorToTheDevice) {
  ASSERT_TRUE(winsim::installMonitor(kLm, WINSIM_TESTLM));
  addPrinter(u"Card", u"USB001", kLm);
  HANDLE h = open(u"Card");
  // More than one of the spooler's blocks, to a device that takes a little at
  // a time: every byte arrives once and in order, behind the monitor's prefix.
  std::string job(150000, '\0');
  for (size_t i = 0; i < job.size(); ++i) job[i] = char('a' + i % 23);
  device->setPerWrite(7000);
  DWORD id = print(h, job, u"XLINETOOL");
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"Card"));
  EXPECT_EQ(device->received(), "LM:" + job);

  std::string calls = lmCalls();
  EXPECT_NE(calls.find("OpenPortEx USB001 Card\n"), std::string::npos);
  EXPECT_NE(calls.find("StartDocPort Card " + std::to_string(id) + " 1 XLINETOOL\n"), std::string::npos);
  EXPECT_NE(calls.find("WritePort 65536\n"), std::string::npos);
  // GetJobW inside EndDocPort: the job is printing.
  EXPECT_NE(calls.find("EndDocPort " + std::to_string(JOB_STATUS_PRINTING) + "\n"), std::string::npos);
  EXPECT_LT(calls.find("StartDocPort"), calls.find("EndDocPort"));

  auto jobs = winsim::printJobs(u"Card");
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_TRUE(jobs[0].despooled);
  EXPECT_FALSE(jobs[0].aborted);
  EXPECT_EQ(jobs[0].controls, std::vector<DWORD>{JOB_CONTROL_LAST_PAGE_EJECTED});
  EXPECT_TRUE(jobs[0].status & JOB_STATUS_PRINTED);
  // A finished job has left the queue.
  BYTE info[512];
  DWORD needed = 0;
  EXPECT_FALSE(GetJobW(h, id, 1, info, sizeof(info), &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

  // The port stays open between jobs: one OpenPortEx for two jobs.
  print(h, "second");
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"Card"));
  EXPECT_EQ(device->received(), "LM:" + job + "LM:second");
  calls = lmCalls();
  EXPECT_EQ(calls.find("OpenPortEx"), calls.rfind("OpenPortEx"));
  ClosePrinter(h);
  // The spooler closes the port when it stops; the test keeps the module
  // loaded to read its record afterwards.
  HMODULE keep = LoadLibraryW(u"winsim_testlm.dll");
  ASSERT_NE(keep, nullptr);
  winsim::resetMachine();
  EXPECT_NE(lmCalls().find("ClosePort\n"), std::string::npos);
  FreeLibrary(keep);
}

TEST_F(Monitors, PrinterDataQueriesReachTheLanguageMonitorAndTheDevice) {
  ASSERT_TRUE(winsim::installMonitor(kLm, WINSIM_TESTLM));
  addPrinter(u"Card", u"USB001", kLm);
  HANDLE h = open(u"Card");
  device->setResponder([](const std::string &in) { return "[" + in + "]"; });
  device->setStatus(0x18);

  std::string reply;
  EXPECT_EQ(getData(h, "Echo:\x1bV\r", reply), DWORD(ERROR_SUCCESS));
  EXPECT_EQ(reply, "[\x1bV\r]");
  EXPECT_EQ(getData(h, "Status", reply), DWORD(ERROR_SUCCESS));
  EXPECT_EQ(reply, "\x18");
  // A short buffer: the size wanted.
  EXPECT_EQ(getData(h, "Echo:abcdef", reply, 4), DWORD(ERROR_MORE_DATA));
  EXPECT_EQ(reply, "8");
  EXPECT_EQ(getData(h, "Unknown", reply), DWORD(ERROR_FILE_NOT_FOUND));
  // A caller that claims a buffer far larger than it has still gets its
  // reply, and nothing is allocated to the claimed size.
  BYTE small[8] = {};
  DWORD type = 0, needed = 0;
  std::u16string status = u"Status";
  EXPECT_EQ(GetPrinterDataW(h, status.data(), &type, small, 0x7FFFFFFF, &needed), DWORD(ERROR_SUCCESS));
  EXPECT_EQ(needed, 1u);
  EXPECT_EQ(small[0], 0x18);
  std::string calls = lmCalls();
  EXPECT_NE(calls.find("GetPrinterDataFromPort 0 Echo:\x1bV\r\n"), std::string::npos);
  // Values the printer holds never reach the monitor.
  std::u16string mine = u"Mine";
  DWORD v = 7;
  ASSERT_EQ(SetPrinterDataW(h, mine.data(), REG_DWORD, reinterpret_cast<LPBYTE>(&v), 4), DWORD(ERROR_SUCCESS));
  EXPECT_EQ(getData(h, "Mine", reply), DWORD(ERROR_SUCCESS));
  EXPECT_EQ(lmCalls().find("GetPrinterDataFromPort 0 Mine"), std::string::npos);

  // A printer that does not answer: the query ends after the read time-out of
  // the simulated clock.
  device->setResponder(nullptr);
  DWORD t0 = GetTickCount();
  double real = realMs([&] { EXPECT_EQ(getData(h, "Echo:x", reply), DWORD(ERROR_TIMEOUT)); });
  EXPECT_GE(GetTickCount() - t0, 5000u);
  EXPECT_LT(real, 2000.0);
  ClosePrinter(h);
}

TEST_F(Monitors, WithoutTheEntryQueriesGoToThePortMonitor) {
  // Registered by hand, as an installer writing the spooler's key would; the
  // spooler loads it when the printer first needs its port.
  std::filesystem::copy_file(WINSIM_TESTLM, winsim::hostPath(u"C:\\Windows\\system32\\winsim_testlm.dll"));
  ASSERT_TRUE(winsim::importRegistry(
      "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Test Language Monitor]\n"
      "\"Driver\"=\"winsim_testlm.dll\"\n\"Options\"=dword:00000001\n"));
  addPrinter(u"Card", u"USB001", kLm);
  HANDLE h = open(u"Card");
  std::string reply;
  EXPECT_EQ(getData(h, "Status", reply), DWORD(ERROR_NOT_SUPPORTED));
  std::string calls = lmCalls();
  EXPECT_NE(calls.find("OpenPortEx USB001 Card"), std::string::npos);
  EXPECT_EQ(calls.find("GetPrinterDataFromPort"), std::string::npos);
  // Jobs still take the language monitor's road.
  print(h, "job");
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"Card"));
  EXPECT_EQ(device->received(), "LM:job");
  ClosePrinter(h);
}

TEST_F(Monitors, AQueryAndAJobThatFindThePortClosedOpenItOnce) {
  // A monitor that refuses a second open of its port while the first is under
  // way: the job must wait for the query's opening instead of failing.
  installHeldOpeningMonitor();
  addPrinter(u"Card", u"USB001", kLm);
  HANDLE h = open(u"Card");
  HANDLE go = CreateEventW(nullptr, TRUE, FALSE, u"TestLmOpen");
  HANDLE query = startStatusQuery(h);
  ASSERT_NE(query, nullptr);
  // The job reaches the port while the query's opening is still under way;
  // the opening goes on once the job's thread had time to try its own.
  while (lmCalls().find("OpenPortEx USB001") == std::string::npos) Sleep(1);
  print(h, "job");
  for (int i = 0; i < 40 && lmCalls().find("OpenPortEx refused") == std::string::npos; ++i) Sleep(5000);
  SetEvent(go);
  CloseHandle(go);
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"Card"));
  EXPECT_EQ(threadResult(query), DWORD(ERROR_SUCCESS));
  EXPECT_EQ(device->received(), "LM:job");
  EXPECT_EQ(lmCalls().find("OpenPortEx refused"), std::string::npos);
  auto jobs = winsim::printJobs(u"Card");
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_FALSE(jobs[0].aborted);
  ClosePrinter(h);
}

TEST_F(Monitors, AMonitorThatCannotLoadFailsTheJob) {
  addPrinter(u"Card", u"USB001", u"Missing Monitor");
  HANDLE h = open(u"Card");
  print(h, "job");
  auto jobs = winsim::printJobs(u"Card");
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_TRUE(jobs[0].aborted);
  EXPECT_EQ(device->received(), "");
  std::string reply;
  EXPECT_EQ(getData(h, "Status", reply), DWORD(ERROR_UNKNOWN_PRINT_MONITOR));
  ClosePrinter(h);
}

// ------------------------------------------------------------ the despooling thread

TEST_F(Monitors, EachPrinterDespoolsItsJobsInOrderOnItsOwnThread) {
  // The stall limit (five simulated minutes) is six real seconds away at this
  // scale: far beyond what the steps below take on any machine.
  winsim::setClockScale(50.0);
  addPrinter(u"Card", u"USB001", nullptr);  // straight on the port monitor
  HANDLE h = open(u"Card");
  // EndDocPrinter returns while the device takes nothing: the job waits in
  // the queue, the application goes on.
  device->setStalled(true);
  DWORD first = 0, second = 0, third = 0;
  double real = realMs([&] {
    first = print(h, "one;");
    second = print(h, "two;");
    third = print(h, "three;");
  });
  EXPECT_LT(real, 1000.0);
  ASSERT_TRUE(eventually([&] { return jobStatus(h, first) & JOB_STATUS_PRINTING; }));
  Sleep(1000);
  EXPECT_FALSE(winsim::waitForSpoolerIdle(u"Card", 0));
  EXPECT_EQ(device->received(), "");

  // The jobs as a monitor sees them: the first printing, the others waiting
  // behind it; the second is deleted before its turn.
  BYTE info[512];
  DWORD needed = 0;
  ASSERT_TRUE(GetJobW(h, first, 1, info, sizeof(info), &needed));
  auto *ji = reinterpret_cast<JOB_INFO_1W *>(info);
  EXPECT_EQ(ji->Status & JOB_STATUS_PRINTING, DWORD(JOB_STATUS_PRINTING));
  EXPECT_EQ(ji->Position, 1u);
  EXPECT_EQ(std::u16string(ji->pDocument), u"raw job");
  EXPECT_EQ(std::u16string(ji->pPrinterName), u"Card");
  EXPECT_FALSE(GetJobW(h, first, 1, info, 10, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  ASSERT_TRUE(GetJobW(h, third, 1, info, sizeof(info), &needed));
  EXPECT_EQ(ji->Status, 0u);
  EXPECT_EQ(ji->Position, 3u);
  EXPECT_FALSE(GetJobW(h, first, 2, info, sizeof(info), &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_LEVEL));
  ASSERT_TRUE(SetJobW(h, second, 0, nullptr, JOB_CONTROL_DELETE));
  EXPECT_FALSE(SetJobW(h, second, 0, nullptr, JOB_CONTROL_DELETE));  // gone from the queue
  EXPECT_FALSE(SetJobW(h, third, 0, nullptr, 99));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

  device->setStalled(false);
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"Card"));
  EXPECT_EQ(device->received(), "one;three;");
  auto jobs = winsim::printJobs(u"Card");
  ASSERT_EQ(jobs.size(), 3u);
  EXPECT_FALSE(jobs[0].aborted);
  EXPECT_TRUE(jobs[1].aborted);
  EXPECT_TRUE(jobs[1].status & JOB_STATUS_DELETED);
  EXPECT_FALSE(jobs[2].aborted);
  ClosePrinter(h);
}

TEST_F(Monitors, PrintersSharingAPortTakeTurns) {
  addPrinter(u"Front", u"USB001", nullptr);
  addPrinter(u"Back", u"USB001", nullptr);
  HANDLE a = open(u"Front"), b = open(u"Back");
  device->setPerWrite(1);  // slow enough for the two queues to meet at the port
  const std::string one(3000, '1'), two(3000, '2');
  print(a, one);
  print(b, two);
  ASSERT_TRUE(winsim::waitForSpoolerIdle());
  std::string got = device->received();
  EXPECT_TRUE(got == one + two || got == two + one) << got.substr(0, 40);
  ClosePrinter(a);
  ClosePrinter(b);
}

TEST_F(Monitors, ADeviceThatNeverTakesBytesDoesNotHoldTheQueueForEver) {
  // Until the job is deleted its stall limit must stay far off: three real
  // seconds at this scale.
  winsim::setClockScale(100.0);
  addPrinter(u"Card", u"USB001", nullptr);
  addPrinter(u"Other", u"USB002", nullptr);
  auto other = std::make_shared<FakeDevice>();
  ASSERT_TRUE(winsim::attachUsbDevice(u"USB002", other));
  HANDLE h = open(u"Card"), h2 = open(u"Other");
  device->setStalled(true);
  DWORD id = print(h, "stuck");
  // Another printer's queue runs on while this one waits.
  print(h2, "free");
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"Other"));
  EXPECT_EQ(other->received(), "free");

  // Deleting the job ends its wait at the next write, long before the stall
  // limit.
  ASSERT_TRUE(SetJobW(h, id, 0, nullptr, JOB_CONTROL_DELETE));
  double real = realMs([&] { EXPECT_TRUE(winsim::waitForSpoolerIdle(u"Card")); });
  EXPECT_LT(real, 2000.0);
  EXPECT_TRUE(winsim::printJobs(u"Card")[0].aborted);

  // Left alone, the spooler gives the job up after its stall limit.
  winsim::setClockScale(1000.0);
  print(h, "stuck again");
  EXPECT_TRUE(winsim::waitForSpoolerIdle(u"Card"));
  auto jobs = winsim::printJobs(u"Card");
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_TRUE(jobs[1].aborted);
  EXPECT_EQ(device->received(), "");
  ClosePrinter(h);
  ClosePrinter(h2);
}

TEST_F(Monitors, ARefusedJobStartIsTriedAgainUntilThePrinterIsBack) {
  // The job must outlast the steps until the device is back: its stall limit
  // is three real seconds away at this scale, its next try 30 ms.
  winsim::setClockScale(100.0);
  addPrinter(u"Card", u"USB001", nullptr);
  HANDLE h = open(u"Card");
  // Unplugged: the port monitor refuses the start; the job waits in error.
  winsim::detachUsbDevice(u"USB001");
  DWORD id = print(h, "later");
  ASSERT_TRUE(eventually([&] { return jobStatus(h, id) & JOB_STATUS_ERROR; }));
  Sleep(10000);
  EXPECT_FALSE(winsim::waitForSpoolerIdle(u"Card", 0));
  EXPECT_EQ(jobStatus(h, id) & JOB_STATUS_ERROR, DWORD(JOB_STATUS_ERROR));
  // Plugged in again: the next try prints it.
  ASSERT_TRUE(winsim::attachUsbDevice(u"USB001", device));
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"Card"));
  EXPECT_EQ(device->received(), "later");
  auto jobs = winsim::printJobs(u"Card");
  EXPECT_FALSE(jobs[0].aborted);
  EXPECT_EQ(jobs[0].status & JOB_STATUS_ERROR, 0u);

  // Never back: given up after the stall limit.
  winsim::setClockScale(1000.0);
  winsim::detachUsbDevice(u"USB001");
  print(h, "never");
  EXPECT_TRUE(winsim::waitForSpoolerIdle(u"Card"));
  EXPECT_TRUE(winsim::printJobs(u"Card")[1].aborted);
  ClosePrinter(h);
}

TEST_F(Monitors, PrinterClientIdentitySwitchesSucceed) {
  HANDLE token = RevertToPrinterSelf();
  ASSERT_NE(token, nullptr);
  EXPECT_TRUE(ImpersonatePrinterClient(token));
  EXPECT_FALSE(CloseHandle(token));  // consumed by ImpersonatePrinterClient
  EXPECT_FALSE(ImpersonatePrinterClient(nullptr));
}

}  // namespace
