// Job control as a monitor meets it: the status bits GetJobW shows while the
// job is on the port, SetJobW's delete and restart taking effect once the
// port call under way has returned, the monitors' own job controls, and a
// printer set to work offline holding its queue.
#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include <winsim/testing.h>

#include "winsim/tests/spoolss/monitor_support.h"

using namespace monitor_test;

namespace {

// A port monitor whose writes can be held inside the port, as a printer that
// is slow to take a block; each call notes the job's status as the monitor
// reads it with GetJobW.
struct GatePort {
  std::mutex lock;
  std::condition_variable changed;
  bool hold = false;
  int inside = 0;
  std::u16string printer;
  DWORD jobId = 0;
  std::string received;
  std::vector<std::string> calls;
  // As a language monitor that finds its job restarting on a printer set to
  // work offline: it deletes the job in EndDocPort.
  bool deleteWhenRestartingOffline = false;
};
GatePort g_gate;
int g_gateHandle;

std::string hex(DWORD v) {
  char b[16];
  snprintf(b, sizeof b, "%x", unsigned(v));
  return b;
}

HANDLE openGatePrinter() {
  std::u16string name;
  {
    std::lock_guard<std::mutex> g(g_gate.lock);
    name = g_gate.printer;
  }
  HANDLE h = nullptr;
  return OpenPrinterW(name.data(), &h, nullptr) ? h : nullptr;
}

DWORD gateJob() {
  std::lock_guard<std::mutex> g(g_gate.lock);
  return g_gate.jobId;
}

void note(const std::string &call) {
  std::lock_guard<std::mutex> g(g_gate.lock);
  g_gate.calls.push_back(call);
}

DWORD printerAttributes(HANDLE h) {
  DWORD need = 0;
  GetPrinterW(h, 2, nullptr, 0, &need);
  std::vector<BYTE> b(need);
  if (!need || !GetPrinterW(h, 2, b.data(), need, &need)) return 0;
  return reinterpret_cast<PRINTER_INFO_2W *>(b.data())->Attributes;
}

BOOL WINAPI gateOpenPort(LPWSTR, PHANDLE pHandle) {
  *pHandle = &g_gateHandle;
  return TRUE;
}
BOOL WINAPI gateStartDocPort(HANDLE, LPWSTR pPrinterName, DWORD JobId, DWORD, LPBYTE) {
  {
    std::lock_guard<std::mutex> g(g_gate.lock);
    g_gate.printer = pPrinterName;
    g_gate.jobId = JobId;
  }
  note("start");
  return TRUE;
}
BOOL WINAPI gateWritePort(HANDLE, LPBYTE pBuffer, DWORD cbBuf, LPDWORD pcbWritten) {
  {
    std::unique_lock<std::mutex> lk(g_gate.lock);
    ++g_gate.inside;
    g_gate.changed.notify_all();
    g_gate.changed.wait(lk, [] { return !g_gate.hold; });
    --g_gate.inside;
    g_gate.received.append(reinterpret_cast<const char *>(pBuffer), cbBuf);
  }
  *pcbWritten = cbBuf;
  HANDLE h = openGatePrinter();
  note("write " + hex(jobStatus(h, gateJob())));
  ClosePrinter(h);
  return TRUE;
}
BOOL WINAPI gateReadPort(HANDLE, LPBYTE, DWORD, LPDWORD pcbRead) {
  *pcbRead = 0;
  return TRUE;
}
BOOL WINAPI gateEndDocPort(HANDLE) {
  HANDLE h = openGatePrinter();
  DWORD id = gateJob();
  DWORD status = jobStatus(h, id);
  bool deleteIt;
  {
    std::lock_guard<std::mutex> g(g_gate.lock);
    deleteIt = g_gate.deleteWhenRestartingOffline;
  }
  const DWORD restarting = JOB_STATUS_PRINTING | JOB_STATUS_RESTART;
  if (deleteIt && (status & restarting) == restarting && (printerAttributes(h) & PRINTER_ATTRIBUTE_WORK_OFFLINE))
    SetJobW(h, id, 0, nullptr, JOB_CONTROL_DELETE);
  SetJobW(h, id, 0, nullptr, JOB_CONTROL_SENT_TO_PRINTER);
  DWORD sent = jobStatus(h, id);
  SetJobW(h, id, 0, nullptr, JOB_CONTROL_LAST_PAGE_EJECTED);
  note("end " + hex(status) + " " + hex(sent) + " " + hex(jobStatus(h, id)));
  ClosePrinter(h);
  return TRUE;
}
BOOL WINAPI gateClosePort(HANDLE) { return TRUE; }

const MONITOR kGateTable = [] {
  MONITOR m{};
  m.pfnOpenPort = gateOpenPort;
  m.pfnStartDocPort = gateStartDocPort;
  m.pfnWritePort = gateWritePort;
  m.pfnReadPort = gateReadPort;
  m.pfnEndDocPort = gateEndDocPort;
  m.pfnClosePort = gateClosePort;
  return m;
}();

// Three blocks: the spooler hands a port 64 KiB per write.
std::string threeBlocks() {
  std::string s;
  for (char c : {'a', 'b', 'c'}) s += std::string(0x10000, c);
  return s;
}

class JobControl : public Monitors {
 protected:
  void SetUp() override {
    Monitors::SetUp();
    {
      std::lock_guard<std::mutex> g(g_gate.lock);
      g_gate.hold = false;
      g_gate.inside = 0;
      g_gate.received.clear();
      g_gate.calls.clear();
      g_gate.deleteWhenRestartingOffline = false;
    }
    ASSERT_TRUE(winsim::addPortMonitor(u"Gate Port Monitor", &kGateTable, {u"GATE1:"}));
    addPrinter(u"Gate", u"GATE1:", nullptr);
    printer = open(u"Gate");
  }
  void TearDown() override {
    release();
    ClosePrinter(printer);
    Monitors::TearDown();
  }
  static void holdWrites() {
    std::lock_guard<std::mutex> g(g_gate.lock);
    g_gate.hold = true;
  }
  static void release() {
    std::lock_guard<std::mutex> g(g_gate.lock);
    g_gate.hold = false;
    g_gate.changed.notify_all();
  }
  static bool writeUnderWay() {
    std::unique_lock<std::mutex> lk(g_gate.lock);
    return g_gate.changed.wait_for(lk, std::chrono::seconds(30), [] { return g_gate.inside > 0; });
  }
  static std::vector<std::string> calls() {
    std::lock_guard<std::mutex> g(g_gate.lock);
    return g_gate.calls;
  }
  static std::string received() {
    std::lock_guard<std::mutex> g(g_gate.lock);
    return g_gate.received;
  }
  HANDLE printer = nullptr;
};

const DWORD kPrinting = JOB_STATUS_PRINTING;

bool inQueue(HANDLE printer, DWORD id) {
  BYTE info[512];
  DWORD needed = 0;
  return GetJobW(printer, id, 1, info, sizeof info, &needed) != FALSE;
}

TEST_F(JobControl, DeleteTakesEffectOnceThePortCallReturns) {
  holdWrites();
  DWORD id = print(printer, threeBlocks());
  ASSERT_TRUE(writeUnderWay());
  EXPECT_EQ(jobStatus(printer, id), kPrinting);
  ASSERT_TRUE(SetJobW(printer, id, 0, nullptr, JOB_CONTROL_DELETE));
  // Still there while the port has it, marked as being deleted.
  EXPECT_EQ(jobStatus(printer, id), kPrinting | JOB_STATUS_DELETING);
  release();
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"Gate"));

  // The write under way saw the deleting bit; no write followed, the port
  // ended the document, and the job went.
  const std::string deleting = hex(kPrinting | JOB_STATUS_DELETING);
  std::vector<std::string> expected = {
      "start", "write " + deleting,
      "end " + deleting + " " + hex(kPrinting | JOB_STATUS_DELETING | JOB_STATUS_COMPLETE) + " " +
          hex(kPrinting | JOB_STATUS_DELETING | JOB_STATUS_COMPLETE | JOB_STATUS_PRINTED)};
  EXPECT_EQ(calls(), expected);
  EXPECT_EQ(received(), std::string(0x10000, 'a'));
  SetLastError(0);
  EXPECT_FALSE(inQueue(printer, id));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  auto jobs = winsim::printJobs(u"Gate");
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_TRUE(jobs[0].aborted);
  EXPECT_TRUE(jobs[0].status & JOB_STATUS_DELETED);
  EXPECT_EQ(jobs[0].controls,
            (std::vector<DWORD>{JOB_CONTROL_DELETE, JOB_CONTROL_SENT_TO_PRINTER, JOB_CONTROL_LAST_PAGE_EJECTED}));
}

TEST_F(JobControl, RestartSendsTheWholeJobAgainAfterThePortEndsIt) {
  holdWrites();
  const std::string job = threeBlocks();
  DWORD id = print(printer, job);
  ASSERT_TRUE(writeUnderWay());
  ASSERT_TRUE(SetJobW(printer, id, 0, nullptr, JOB_CONTROL_RESTART));
  EXPECT_EQ(jobStatus(printer, id), kPrinting | JOB_STATUS_RESTART);
  release();
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"Gate"));

  const std::string restarting = hex(kPrinting | JOB_STATUS_RESTART);
  const std::string ended = hex(kPrinting) + " " + hex(kPrinting | JOB_STATUS_COMPLETE) + " " +
                            hex(kPrinting | JOB_STATUS_COMPLETE | JOB_STATUS_PRINTED);
  std::vector<std::string> expected = {
      "start", "write " + restarting,
      "end " + restarting + " " + hex(kPrinting | JOB_STATUS_RESTART | JOB_STATUS_COMPLETE) + " " +
          hex(kPrinting | JOB_STATUS_RESTART | JOB_STATUS_COMPLETE | JOB_STATUS_PRINTED),
      // Again from its first byte, no longer restarting.
      "start", "write " + hex(kPrinting), "write " + hex(kPrinting), "write " + hex(kPrinting), "end " + ended};
  EXPECT_EQ(calls(), expected);
  EXPECT_EQ(received(), std::string(0x10000, 'a') + job);
  auto jobs = winsim::printJobs(u"Gate");
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_FALSE(jobs[0].aborted);
  EXPECT_EQ(jobs[0].status & (JOB_STATUS_PRINTED | JOB_STATUS_RESTART | JOB_STATUS_PRINTING),
            DWORD(JOB_STATUS_PRINTED));
  EXPECT_EQ(jobs[0].controls.front(), DWORD(JOB_CONTROL_RESTART));
}

// The end of a job found restarting on a printer set to work offline: the
// monitor deletes it, so it is not sent again; the printer holds the job
// behind it until it is back online.
TEST_F(JobControl, WorkOfflineIsAPrinterAttributeThatHoldsTheQueue) {
  {
    std::lock_guard<std::mutex> g(g_gate.lock);
    g_gate.deleteWhenRestartingOffline = true;
  }
  holdWrites();
  DWORD first = print(printer, threeBlocks());
  ASSERT_TRUE(writeUnderWay());
  DWORD second = print(printer, "second job");

  // Offline through SetPrinterW level 2, the documented get-change-set.
  DWORD need = 0;
  GetPrinterW(printer, 2, nullptr, 0, &need);
  std::vector<BYTE> buf(need);
  ASSERT_TRUE(GetPrinterW(printer, 2, buf.data(), need, &need));
  auto *pi = reinterpret_cast<PRINTER_INFO_2W *>(buf.data());
  pi->Attributes |= PRINTER_ATTRIBUTE_WORK_OFFLINE;
  ASSERT_TRUE(SetPrinterW(printer, 2, buf.data(), 0));
  EXPECT_TRUE(printerAttributes(printer) & PRINTER_ATTRIBUTE_WORK_OFFLINE);
  ASSERT_TRUE(SetJobW(printer, first, 0, nullptr, JOB_CONTROL_RESTART));
  release();

  // The queue stops with the second job waiting: idle, as nothing moves.
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"Gate", 30000));
  EXPECT_FALSE(inQueue(printer, first));  // deleted, not restarted
  EXPECT_TRUE(inQueue(printer, second));
  EXPECT_EQ(jobStatus(printer, second), 0u);  // waiting
  auto c = calls();
  ASSERT_EQ(c.size(), 3u);
  EXPECT_EQ(c[2].substr(0, 4), "end ");
  EXPECT_EQ(received(), std::string(0x10000, 'a'));

  ASSERT_TRUE(winsim::setPrinterWorkOffline(u"Gate", false));
  EXPECT_FALSE(printerAttributes(printer) & PRINTER_ATTRIBUTE_WORK_OFFLINE);
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"Gate"));
  EXPECT_EQ(received(), std::string(0x10000, 'a') + "second job");
  auto jobs = winsim::printJobs(u"Gate");
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_TRUE(jobs[0].aborted);
  EXPECT_EQ(jobs[0].controls, (std::vector<DWORD>{JOB_CONTROL_RESTART, JOB_CONTROL_DELETE, JOB_CONTROL_SENT_TO_PRINTER,
                                                  JOB_CONTROL_LAST_PAGE_EJECTED}));
  EXPECT_FALSE(jobs[1].aborted);
  EXPECT_TRUE(jobs[1].status & JOB_STATUS_PRINTED);

  // A paused printer holds its queue the same way.
  ASSERT_TRUE(SetPrinterW(printer, 0, nullptr, PRINTER_CONTROL_PAUSE));
  DWORD third = print(printer, "third");
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"Gate"));
  EXPECT_TRUE(inQueue(printer, third));
  EXPECT_EQ(jobStatus(printer, third), 0u);
  ASSERT_TRUE(SetPrinterW(printer, 0, nullptr, PRINTER_CONTROL_RESUME));
  ASSERT_TRUE(winsim::waitForSpoolerIdle(u"Gate"));
  EXPECT_EQ(received(), std::string(0x10000, 'a') + "second jobthird");
  EXPECT_FALSE(winsim::setPrinterWorkOffline(u"No Such Printer", true));
}

}  // namespace
