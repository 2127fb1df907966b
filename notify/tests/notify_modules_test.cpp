// notifysrv.dll and notifytray.exe on the simulated machine: a monitor's call
// inside the spooler starts the tray program in the user's session, the user
// sees the message and dismisses it, and the call returns.
#include <gtest/gtest.h>
#include <windows.h>
#include <winsim/testing.h>

#include <filesystem>
#include <string>

#include "shared/notification_payload.h"
#include "shared/proc_address.h"

namespace {

using card::NotificationPayload;
using SendProc = int(WINAPI *)(LPCWSTR printerName, LPCVOID payload);

const char16_t kPrinter[] = u"Card Printer";

bool copyToDrive(const char *hostFile, const std::u16string &windowsPath) {
  const std::string host = winsim::hostPath(windowsPath);
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(host).parent_path(), ec);
  return std::filesystem::copy_file(hostFile, host, std::filesystem::copy_options::overwrite_existing, ec);
}

class NotifyModules : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::resetMachine();
    winsim::setClockScale(50);
    ASSERT_TRUE(copyToDrive(NOTIFYSRV_DLL, u"C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\notifysrv.dll"));
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
  void installTray() { ASSERT_TRUE(copyToDrive(NOTIFYTRAY_EXE, u"C:\\Windows\\system32\\notifytray.exe")); }

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

TEST_F(NotifyModules, NobodyListeningGivesUpAfterTheGraceTime) {
  // No tray program on the drive: nobody registers.
  Call c{send_, {}};
  card::makeLiteralMessage(c.payload, kPrinter, u"Anyone?", nullptr);
  const ULONGLONG start = GetTickCount64();
  EXPECT_EQ(sendAndWait(c, 60000), 0u);
  const ULONGLONG took = GetTickCount64() - start;
  EXPECT_GE(took, 10000u);
  EXPECT_LT(took, 12000u);
  ASSERT_TRUE(winsim::waitForAsyncNotifyIdle());
  EXPECT_EQ(winsim::asyncNotifyLiveObjects().channels, 0u);
}

}  // namespace
