// notifysrv.dll and notifytray.exe on the simulated machine: a monitor's call
// inside the spooler starts the tray program in the user's session, the user
// sees the message and dismisses it, and the call returns.
#include <gtest/gtest.h>
#include <windows.h>
#include <winsim/testing.h>

#include <string>

#include "shared/notification_payload.h"
#include "shared/proc_address.h"

namespace {

using card::NotificationPayload;
using SendProc = int(WINAPI *)(LPCWSTR printerName, LPCVOID payload);

const char16_t kPrinter[] = u"Card Printer";

class NotifyModules : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::resetMachine();
    winsim::setClockScale(50);
    ASSERT_TRUE(winsim::copyToDrive(NOTIFYSRV_DLL, u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\notifysrv.dll"));
    winsim::PrinterSetup setup;
    setup.printerName = kPrinter;
    setup.driverName = u"Pellor CA1 Card Printer USB";
    ASSERT_TRUE(winsim::installPrinter(setup));
    winsim::setProcessImageName(u"spoolsv.exe");
    module_ = LoadLibraryW(u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\notifysrv.dll");
    ASSERT_NE(module_, nullptr);
    send_ = card::procAddress<SendProc>(module_, "SendAsyncNotification");
    ASSERT_NE(send_, nullptr);
  }
  void TearDown() override {
    winsim::resetMachine();
    if (module_) FreeLibrary(module_);
    EXPECT_TRUE(winsim::takeAsyncNotifyFaults().empty());
  }
  void installTray() { ASSERT_TRUE(winsim::copyToDrive(NOTIFYTRAY_EXE, u"C:\\Windows\\system32\\notifytray.exe")); }

  struct Call {
    SendProc send;
    NotificationPayload payload;
  };
  static DWORD WINAPI sendThread(LPVOID p) {
    auto *c = static_cast<Call *>(p);
    return DWORD(c->send(kPrinter, &c->payload));
  }
  DWORD sendAndWait(Call &c, DWORD timeoutMs = 20000) {
    HANDLE t = CreateThread(nullptr, 0, sendThread, &c, 0, nullptr);
    EXPECT_EQ(WaitForSingleObject(t, timeoutMs), DWORD(WAIT_OBJECT_0));
    DWORD code = 99;
    GetExitCodeThread(t, &code);
    CloseHandle(t);
    return code;
  }

  // Starts the tray program as the configuration module does, with
  // `arguments` after its quoted path.
  HANDLE startTray(const std::u16string &arguments) {
    std::u16string commandLine = u"\"C:\\Windows\\system32\\notifytray.exe\"";
    if (!arguments.empty()) commandLine += u" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
      return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
  }
  static DWORD exitCodeOf(HANDLE process) {
    EXPECT_EQ(WaitForSingleObject(process, 20000), DWORD(WAIT_OBJECT_0));
    DWORD code = 99;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return code;
  }
  // Waits until the tray program has registered for `count` printers.
  static bool registered(size_t count) {
    for (int i = 0; i < 2000; ++i) {
      if (winsim::asyncNotifyRegistrations().size() >= count) return true;
      Sleep(5);
    }
    return false;
  }

  HMODULE module_ = nullptr;
  SendProc send_ = nullptr;
};

TEST_F(NotifyModules, MessageShownInTheUserSessionAndAcknowledged) {
  installTray();
  winsim::UserScript ok;
  ok.caption = kPrinter;
  ok.timing = winsim::AnswerTiming::AfterDelay;
  ok.delayMs = 1000;
  winsim::scriptUser(ok);
  Call c{send_, {}};
  card::makeLiteralMessage(c.payload, kPrinter, u"Printer is out of cards", u"Monitor");
  EXPECT_EQ(sendAndWait(c), 1u);
  const auto shown = winsim::shownMessages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, kPrinter);
  EXPECT_EQ(shown[0].text, u"Printer is out of cards");
  EXPECT_EQ(shown[0].flags, UINT(MB_OK | MB_SYSTEMMODAL | MB_SETFOREGROUND | MB_TOPMOST));
  const auto processes = winsim::runningProcesses();
  ASSERT_EQ(processes.size(), 1u);
  EXPECT_EQ(processes[0].imageName, u"notifytray.exe");
  EXPECT_EQ(processes[0].sessionId, 1u);
  EXPECT_EQ(winsim::trayIcons().size(), 1u);
  ASSERT_TRUE(winsim::waitForAsyncNotifyIdle());
  EXPECT_EQ(winsim::asyncNotifyLiveObjects().channels, 0u);
  EXPECT_EQ(winsim::asyncNotifyLiveObjects().dataObjects, 0u);
}

TEST_F(NotifyModules, CloseRequestTakesTheBoxAway) {
  installTray();
  winsim::UserScript open;
  open.caption = kPrinter;
  open.timing = winsim::AnswerTiming::LeaveOpen;
  winsim::scriptUser(open);
  Call message{send_, {}};
  card::makeLiteralMessage(message.payload, kPrinter, u"Cover open", nullptr);
  HANDLE t = CreateThread(nullptr, 0, sendThread, &message, 0, nullptr);
  ASSERT_TRUE(winsim::waitForShownMessages(1));
  Call close{send_, {}};
  card::makeCloseRequest(close.payload, kPrinter);
  EXPECT_EQ(sendAndWait(close), 1u);
  ASSERT_EQ(WaitForSingleObject(t, 20000), DWORD(WAIT_OBJECT_0));
  DWORD code = 99;
  GetExitCodeThread(t, &code);
  CloseHandle(t);
  EXPECT_EQ(code, 1u);
  EXPECT_EQ(winsim::shownMessages()[0].end, winsim::MessageEnd::Closed);
}

TEST_F(NotifyModules, RunningTrayIsUsedAndItsEndEndsTheWait) {
  installTray();
  HANDLE tray = startTray(u"");
  ASSERT_NE(tray, nullptr);
  ASSERT_TRUE(registered(1));
  EXPECT_EQ(winsim::asyncNotifyRegistrations()[0].name, u"CARD PRINTER");
  winsim::UserScript open;
  open.caption = kPrinter;
  open.timing = winsim::AnswerTiming::LeaveOpen;
  winsim::scriptUser(open);
  Call c{send_, {}};
  card::makeLiteralMessage(c.payload, kPrinter, u"Cover open", nullptr);
  HANDLE t = CreateThread(nullptr, 0, sendThread, &c, 0, nullptr);
  ASSERT_TRUE(winsim::waitForShownMessages(1));
  // Nothing else was started for the message.
  EXPECT_EQ(winsim::runningProcesses().size(), 1u);
  // The program ends with the message open: the conversation is over, and
  // the call says nobody answered.
  TerminateProcess(tray, 5);
  EXPECT_EQ(exitCodeOf(tray), 5u);
  ASSERT_EQ(WaitForSingleObject(t, 20000), DWORD(WAIT_OBJECT_0));
  DWORD code = 99;
  GetExitCodeThread(t, &code);
  CloseHandle(t);
  EXPECT_EQ(code, 0u);
}

// A second start without arguments replaces the first as well: the
// road's tests (tests/notify_road_test.cpp) start one while a job waits.
TEST_F(NotifyModules, KillProcessClosesTheRunningInstance) {
  installTray();
  HANDLE tray = startTray(u"\\\\server\\Card Printer,more");
  ASSERT_NE(tray, nullptr);
  ASSERT_TRUE(registered(1));
  // The printer named on the command line and found by the enumeration has
  // one registration.
  Sleep(500);
  EXPECT_EQ(winsim::asyncNotifyRegistrations().size(), 1u);
  // "KillProcess" in any case closes it and starts nothing.
  EXPECT_EQ(exitCodeOf(startTray(u"killPROCESS")), 1u);
  EXPECT_EQ(exitCodeOf(tray), 0u);
  EXPECT_TRUE(winsim::runningProcesses().empty());
  EXPECT_TRUE(winsim::trayIcons().empty());
}

TEST_F(NotifyModules, TrayIconAndItsMenu) {
  installTray();
  HANDLE tray = startTray(u"");
  ASSERT_TRUE(winsim::waitForTrayIcons(1));
  const auto icon = winsim::trayIcons()[0];
  EXPECT_EQ(icon.tip, u"Pellor AsyncUI Client");
  EXPECT_EQ(icon.id, 1u);
  EXPECT_EQ(icon.callbackMessage, 0x8000u);
  EXPECT_NE(icon.icon, nullptr);
  winsim::MenuScript exit;
  exit.item = u"Exit";
  winsim::scriptMenu(exit);
  ASSERT_TRUE(winsim::clickTrayIcon(u"Pellor AsyncUI Client", winsim::TrayClick::RightClick));
  EXPECT_EQ(exitCodeOf(tray), 0u);
  const auto menus = winsim::shownMenus();
  ASSERT_EQ(menus.size(), 1u);
  ASSERT_EQ(menus[0].items.size(), 2u);
  EXPECT_EQ(menus[0].items[0].text, u"About...");
  EXPECT_EQ(menus[0].items[0].id, 2000u);
  EXPECT_EQ(menus[0].items[1].text, u"Exit");
  EXPECT_EQ(menus[0].items[1].id, 2001u);
  EXPECT_EQ(menus[0].defaultId, 2000u);
  EXPECT_TRUE(winsim::trayIcons().empty());
}

// Two messages for one printer are two boxes; a close request takes one of
// them away and releases its sender only, and the user's answer the other.
TEST_F(NotifyModules, TwoCallsForOnePrinterEachWaitForTheirOwnAnswer) {
  installTray();
  HANDLE tray = startTray(u"");
  ASSERT_TRUE(registered(1));
  winsim::UserScript open;
  open.caption = kPrinter;
  open.timing = winsim::AnswerTiming::LeaveOpen;
  winsim::scriptUser(open);
  Call a{send_, {}}, b{send_, {}};
  card::makeLiteralMessage(a.payload, kPrinter, u"first", nullptr);
  card::makeLiteralMessage(b.payload, kPrinter, u"second", nullptr);
  HANDLE ta = CreateThread(nullptr, 0, sendThread, &a, 0, nullptr);
  HANDLE tb = CreateThread(nullptr, 0, sendThread, &b, 0, nullptr);
  ASSERT_TRUE(winsim::waitForShownMessages(2));

  Call close{send_, {}};
  card::makeCloseRequest(close.payload, kPrinter);
  EXPECT_EQ(sendAndWait(close), 1u);
  HANDLE both[2] = {ta, tb};
  const DWORD ended = WaitForMultipleObjects(2, both, FALSE, 20000);
  ASSERT_LT(ended, DWORD(WAIT_OBJECT_0 + 2));
  HANDLE closedSender = both[ended - WAIT_OBJECT_0], otherSender = both[1 - (ended - WAIT_OBJECT_0)];
  EXPECT_EQ(WaitForSingleObject(otherSender, 200), DWORD(WAIT_TIMEOUT));
  DWORD code = 99;
  GetExitCodeThread(closedSender, &code);
  EXPECT_EQ(code, 1u);
  auto shown = winsim::shownMessages();
  ASSERT_EQ(shown.size(), 2u);
  const bool firstClosed = shown[0].end == winsim::MessageEnd::Closed;
  EXPECT_NE(firstClosed, shown[1].end == winsim::MessageEnd::Closed);  // exactly one of them

  ASSERT_TRUE(winsim::answerMessage(firstClosed ? shown[1].id : shown[0].id, IDOK));
  EXPECT_EQ(WaitForSingleObject(otherSender, 20000), DWORD(WAIT_OBJECT_0));
  GetExitCodeThread(otherSender, &code);
  EXPECT_EQ(code, 1u);
  CloseHandle(ta);
  CloseHandle(tb);
  TerminateProcess(tray, 0);
  CloseHandle(tray);
}

TEST_F(NotifyModules, SpoolerRestartEndsTheRegistrations) {
  installTray();
  HANDLE tray = startTray(u"");
  ASSERT_TRUE(registered(1));
  winsim::restartSpooler();
  for (int i = 0; i < 2000 && !winsim::asyncNotifyRegistrations().empty(); ++i) Sleep(5);
  EXPECT_TRUE(winsim::asyncNotifyRegistrations().empty());
  EXPECT_TRUE(winsim::shownMessages().empty());
  TerminateProcess(tray, 0);
  CloseHandle(tray);
}

TEST_F(NotifyModules, ResourceMessageWithoutTheResourceLibraryIsAcknowledgedUnshown) {
  installTray();
  HANDLE tray = startTray(u"");
  ASSERT_TRUE(registered(1));
  Call c{send_, {}};
  card::makeResourceMessage(c.payload, kPrinter, 2010, 2541);
  EXPECT_EQ(sendAndWait(c), 1u);
  EXPECT_TRUE(winsim::shownMessages().empty());
  TerminateProcess(tray, 0);
  CloseHandle(tray);
}

TEST_F(NotifyModules, NobodyListeningGivesUpAfterTheGraceTime) {
  // No tray program on the drive: nobody registers.
  Call c{send_, {}};
  card::makeLiteralMessage(c.payload, kPrinter, u"Anyone?", nullptr);
  const ULONGLONG start = GetTickCount64();
  EXPECT_EQ(sendAndWait(c, 60000), 0u);
  const ULONGLONG took = GetTickCount64() - start;
  EXPECT_GE(took, 10000u);
  // Simulated time runs 50 times faster: the bound leaves a slow (sanitized)
  // build its real milliseconds of start-up and polling.
  EXPECT_LT(took, 15000u);
  ASSERT_TRUE(winsim::waitForAsyncNotifyIdle());
  EXPECT_EQ(winsim::asyncNotifyLiveObjects().channels, 0u);
}

}  // namespace
